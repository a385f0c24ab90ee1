// List items: starting values without handlers, what virtual items ask of the control's events,
// stored data arrays, the shared detail count, grid positions, and scrolling an item into view.
#include <gtest/gtest.h>

#include "components/listview/listview.h"
#include "components/listview/view_items.h"
#include "listview_test_support.h"

namespace dashtune {
namespace {

using testing::ListviewOnForm;

TEST(VirtualItem, StartingValuesStandWithoutHandlers) {
  TTouchListview listview(nullptr);
  TTouchItemVirtual* item = listview.GetItems()->AddVirtual(7);
  EXPECT_EQ(item->GetData(), 7);
  EXPECT_EQ(item->GetCaption(), u"");
  EXPECT_EQ(item->GetImageIndex(), -1);
  EXPECT_EQ(item->GetImageOverlayIndex(), -1);
  EXPECT_EQ(item->GetStateImageIndex(), -1);
  EXPECT_EQ(item->GetDetailCount(), 0);
  EXPECT_EQ(item->GetDetails(0), 0);
  EXPECT_EQ(item->GetGroupKey(0), 0u);
  EXPECT_EQ(item->GetImageList(0, 2), nullptr);
  EXPECT_EQ(item->GetStateImageList(0), nullptr);
  EXPECT_FALSE(item->ImageDrawIsCustom(nullptr));
  EXPECT_TRUE(item->GetVisible());
  EXPECT_TRUE(item->GetEnabled());
  EXPECT_EQ(item->GetState(), esfVisible | esfEnabled);
  EXPECT_EQ(item->GetVisibleIndexInGroup(), -1);
  EXPECT_EQ(item->GetDisplayName(), "TTouchItemVirtual");
}

TEST(VirtualItem, AddVirtualMakesOneDefaultGroup) {
  TTouchListview listview(nullptr);
  listview.GetItems()->AddVirtual();
  listview.GetItems()->AddVirtual();
  ASSERT_EQ(listview.GetGroups()->GetCount(), 1);
  EXPECT_EQ(listview.GetGroups()->GetGroup(0)->GetCaption(), u"Default Group");
  EXPECT_EQ(listview.GetItems()->GetCount(), 2);
  EXPECT_EQ(listview.GetItems()->GetItem(1)->GetIndex(), 1);
  EXPECT_EQ(listview.GetItems()->GetItem(2), nullptr);
}

TEST(VirtualItem, AsksAndTellsTheControlsEvents) {
  TTouchListview listview(nullptr);
  TCustomImageList large(nullptr, 32, 32);
  listview.SetImagesLarge(&large);
  listview.OnItemGetCaption = [](TCustomTouchListview*, TTouchItem* item, int column, WideString& caption) {
    caption = column == 0 ? u"Titel" : u"Spalte " + WideString(1, static_cast<char16_t>(u'0' + column));
    if (item->GetData() == 2) caption += u"!";
  };
  listview.OnItemGetImageIndex = [](TCustomTouchListview*, TTouchItem*, int, TTouchImageKind kind, int& index) {
    index = kind == eikNormal ? 4 : kind == eikOverlay ? 1 : 2;
  };
  listview.OnItemGetTileDetailCount = [](TCustomTouchListview*, TTouchItem*, int& count) { count = 3; };
  listview.OnItemGetTileDetail = [](TCustomTouchListview*, TTouchItem*, int line, int& detail) { detail = line * 2; };
  std::vector<std::u16string> set_captions;
  listview.OnItemSetCaption = [&set_captions](TCustomTouchListview*, TTouchItem*, int, const WideString& caption) {
    set_captions.push_back(caption);
  };
  TTouchItemVirtual* item = listview.GetItems()->AddVirtual(2);
  EXPECT_EQ(item->GetCaption(), u"Titel!");
  EXPECT_EQ(item->GetCaptions(3), u"Spalte 3!");
  EXPECT_EQ(item->GetImageIndex(), 4);
  EXPECT_EQ(item->GetImageOverlayIndex(), 1);
  EXPECT_EQ(item->GetStateImageIndex(), 2);
  EXPECT_EQ(item->GetDetailCount(), 3);
  EXPECT_EQ(item->GetDetails(2), 4);
  EXPECT_EQ(item->GetImageList(0, 1), &large);
  item->SetCaption(u"Neu");
  EXPECT_EQ(set_captions, std::vector<std::u16string>{u"Neu"});
}

TEST(StoredItem, ArraysGrowWithDefaults) {
  TTouchListview listview(nullptr);
  TTouchItemStored* item = listview.GetItems()->AddStored();
  item->SetCaptions(3, u"vier");
  EXPECT_EQ(item->GetDataHelper().GetCaptionCount(), 4);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(item->GetCaptions(i), u"");
  EXPECT_EQ(item->GetCaptions(3), u"vier");
  EXPECT_EQ(item->GetCaptions(9), u"");
  item->SetGroupKey(2, 5);
  EXPECT_EQ(item->GetGroupKey(0), 0xFFFFu);
  EXPECT_EQ(item->GetGroupKey(1), 0xFFFFu);
  EXPECT_EQ(item->GetGroupKey(2), 5u);
  item->SetImageIndexes(1, 8);
  EXPECT_EQ(item->GetImageIndexes(0), -1);
  EXPECT_EQ(item->GetImageIndexes(1), 8);
  EXPECT_EQ(item->GetImageOverlayIndexes(4), -1);
  EXPECT_EQ(item->GetStateImageIndexes(4), -1);
  EXPECT_EQ(item->GetDetails(4), 0);
}

TEST(StoredItem, AllStoredItemsShareOneDetailCount) {
  TTouchListview listview(nullptr);
  TTouchItemStored* first = listview.GetItems()->AddStored();
  TTouchItemStored* second = listview.GetItems()->AddStored();
  EXPECT_EQ(first->GetDetailCount(), 1);
  first->SetDetailCount(3);
  EXPECT_EQ(second->GetDetailCount(), 3);
  EXPECT_EQ(listview.GetPaintInfoItem()->GetTileDetailCount(), 3);
}

TEST(ItemGrid, PositionsAreMinusOneWithoutColumnsOrRows) {
  ListviewOnForm host;
  int layouts = 0;
  TTouchItem* item = host.listview->GetItems()->AddVirtual();
  TTouchGroup* group = item->GetOwnerGroup();
  group->SetGrid(nullptr);
  EXPECT_EQ(item->ColumnPos(), -1);
  EXPECT_EQ(item->RowPos(), -1);
  group->SetGrid(std::make_unique<testing::TCountingGrid>(host.listview, group, &layouts));
  host.listview->GetGroups()->Rebuild(true);
  EXPECT_EQ(item->ColumnPos(), 0);
  EXPECT_EQ(item->RowPos(), 0);
  item->SetVisible(false);
  EXPECT_EQ(item->ColumnPos(), -1);
  EXPECT_EQ(item->RowPos(), -1);
}

struct MakeVisibleCase {
  int position;
  int offset_x;
  int offset_y;
};

TEST(ItemMakeVisible, ScrollsByPosition) {
  // A 100 x 80 client over a 2000 x 2000 view. Without image and text the item's area is its
  // image column (1002..1006 in a tile at 1000) grown by 6 and 1: (996, 1199, 1012, 1261).
  const MakeVisibleCase cases[] = {
      {0, 996, 1199},             // the area's left and top
      {1, 996 - 50, 1199 - 40},   // centred: half the client size before the area's corner
      {2, 1012 - 100, 1261 - 80},  // the area's right and bottom at the client's
      {3, 1012 - 100, 1261 - 80},  // the least scroll from (0, 0)
  };
  for (const MakeVisibleCase& c : cases) {
    ListviewOnForm host(100, 80);
    TTouchListview* listview = host.listview;
    listview->SetView(elsTile);
    TTouchItem* item = listview->GetItems()->AddVirtual();
    listview->GetScrollbars()->SetViewRect({0, 0, 2000, 2000});
    item->SetDisplayRect({1000, 1200, 1100, 1260});
    listview->GetPaintInfoItem()->SetBorder(0);
    item->MakeVisible(c.position);
    EXPECT_EQ(listview->GetScrollbars()->GetOffsetX(), c.offset_x) << "position " << c.position;
    EXPECT_EQ(listview->GetScrollbars()->GetOffsetY(), c.offset_y) << "position " << c.position;
  }
}

TEST(ItemMakeVisible, LeavesAShownItemAndHiddenItemsAlone) {
  ListviewOnForm host(100, 80);
  TTouchListview* listview = host.listview;
  TTouchItem* item = listview->GetItems()->AddVirtual();
  listview->GetScrollbars()->SetViewRect({0, 0, 2000, 2000});
  item->SetDisplayRect({10, 10, 40, 30});
  item->MakeVisible(0);
  EXPECT_EQ(listview->GetScrollbars()->GetOffsetY(), 0);
  item->SetDisplayRect({500, 500, 540, 530});
  item->SetVisible(false);
  item->MakeVisible(0);
  EXPECT_EQ(listview->GetScrollbars()->GetOffsetY(), 0);
}

TEST(Scrollbars, OffsetsAreClampedToTheView) {
  ListviewOnForm host(100, 80);
  TTouchScrollbarManager* scrollbars = host.listview->GetScrollbars();
  scrollbars->SetViewRect({0, 0, 300, 200});
  scrollbars->SetOffsetX(-5);
  scrollbars->SetOffsetY(1000);
  EXPECT_EQ(scrollbars->GetOffsetX(), 0);
  EXPECT_EQ(scrollbars->GetOffsetY(), 120);
  scrollbars->SetOffsetX(50);
  const win::RECT window = scrollbars->MapViewRectToWindow({60, 130, 70, 140});
  EXPECT_EQ(window.left, 10);
  EXPECT_EQ(window.top, 10);
  const win::RECT view = scrollbars->MapWindowRectToView(window);
  EXPECT_EQ(view.right, 70);
  EXPECT_EQ(view.bottom, 140);
  scrollbars->SetViewRect({0, 0, 50, 50});
  EXPECT_EQ(scrollbars->GetOffsetX(), 0);
  EXPECT_EQ(scrollbars->GetOffsetY(), 0);
}

}  // namespace
}  // namespace dashtune
