// The control core: dispatchers without handlers keep the caller's values, the incremental
// search starts from a match, the groups' rebuild walk, the header's column services, the
// header clip, the update bracket and hit tests of a tile.
#include <gtest/gtest.h>

#include "classlib/bitmap.h"
#include "components/listview/listview.h"
#include "components/listview/sort.h"
#include "listview_test_support.h"
#include "platform/gdi/gdi.h"

namespace dashtune {
namespace {

using testing::ListviewOnForm;

TEST(Dispatchers, VarArgumentsKeepTheirValuesWithoutHandlers) {
  TTouchListview listview(nullptr);
  TTouchItem* item = listview.GetItems()->AddVirtual();
  WideString caption = u"bleibt";
  listview.DoItemGetCaption(item, 0, caption);
  EXPECT_EQ(caption, u"bleibt");
  int index = 7;
  listview.DoItemGetImageIndex(item, 0, eikNormal, index);
  EXPECT_EQ(index, 7);
  bool allow = false;
  listview.DoItemFocusChanging(item, allow);
  EXPECT_FALSE(allow);
  bool accept = true;
  WideString value = u"neu";
  listview.DoItemEdited(item, value, accept);
  EXPECT_TRUE(accept);
  bool handled = false;
  listview.DoPaintHeaderBkGnd(nullptr, {}, handled);
  EXPECT_FALSE(handled);
}

TEST(Dispatchers, TheIncrementalSearchStartsFromAMatch) {
  TTouchListview listview(nullptr);
  TTouchItem* item = listview.GetItems()->AddVirtual();
  int result = 5;
  listview.DoIncrementalSearch(item, u"ab", result);
  EXPECT_EQ(result, 0);
  listview.OnIncrementalSearch = [](TTouchItem*, const WideString& buffer, int& compare) {
    compare = buffer == u"ab" ? 0 : 1;
  };
  listview.DoIncrementalSearch(item, u"x", result);
  EXPECT_EQ(result, 1);
}

TEST(Dispatchers, HandlersGetTheControlAsSender) {
  TTouchListview listview(nullptr);
  TTouchItem* item = listview.GetItems()->AddVirtual();
  std::vector<TCustomTouchListview*> senders;
  listview.OnItemClick = [&senders](TCustomTouchListview* sender, TTouchItem*, TMouseButton, TShiftState, win::POINT) {
    senders.push_back(sender);
  };
  listview.OnColumnClick = [&senders](TCustomTouchListview* sender, TMouseButton, TTouchColumn*) { senders.push_back(sender); };
  listview.DoItemClick(item, mbLeft, {}, {});
  listview.DoColumnClick(mbLeft, nullptr);
  listview.OnItemClick = nullptr;
  listview.OnColumnClick = nullptr;
  EXPECT_EQ(senders, (std::vector<TCustomTouchListview*>{&listview, &listview}));
}

TEST(GroupsRebuild, NumbersVisibleGroupsAndHandsTheViewToTheScrollBars) {
  ListviewOnForm host(300, 100);
  TTouchListview* listview = host.listview;
  listview->GetCellSizes()->GetTile()->SetSize(100, 50);
  int layouts = 0;
  std::vector<TTouchGroup*> groups;
  for (int g = 0; g < 3; ++g) {
    TTouchGroup* group = listview->GetGroups()->AddGroup();
    group->SetGrid(std::make_unique<testing::TCountingGrid>(listview, group, &layouts));
    for (int i = 0; i < 4; ++i) group->GetItems()->AddVirtual();
    groups.push_back(group);
  }
  groups[1]->SetVisible(false);
  listview->GetGroups()->Rebuild(true);
  EXPECT_EQ(groups[0]->GetVisibleIndex(), 0);
  EXPECT_EQ(groups[1]->GetVisibleIndex(), -1);
  EXPECT_EQ(groups[2]->GetVisibleIndex(), 1);
  EXPECT_EQ(listview->GetGroups()->GetVisibleCount(), 2);
  // Four tiles of 100 x 50 in rows of three: each group is two rows. The stand-in grid lays out
  // the hidden group's items too, but the third group follows the visible one before it.
  EXPECT_EQ(groups[2]->GetItem(3)->GetVisibleIndex(), 11);
  EXPECT_EQ(groups[2]->GetDisplayRect().top, 100);
  const win::RECT& view = listview->GetScrollbars()->GetViewRect();
  EXPECT_EQ(view.bottom, 200);
  listview->GetScrollbars()->SetOffsetY(1000);
  EXPECT_EQ(listview->GetScrollbars()->GetOffsetY(), 100);
  EXPECT_EQ(listview->GetGroups()->ItemAtPoint({150, 120}), groups[2]->GetItem(1));
}

TEST(Header, ColumnServicesFollowTheHeaderOrder) {
  TTouchListview listview(nullptr);
  TTouchColumns* columns = listview.GetHeader()->GetColumns();
  TTouchColumn* first = columns->AddColumn();
  TTouchColumn* second = columns->AddColumn();
  TTouchColumn* third = columns->AddColumn();
  second->SetWidth(80);
  third->SetPosition(0);
  EXPECT_EQ(third->GetPosition(), 0);
  EXPECT_EQ(first->GetPosition(), 1);
  EXPECT_EQ(listview.GetHeader()->FirstColumn(), third);
  EXPECT_EQ(listview.GetHeader()->TotalWidth(), 180);
  EXPECT_EQ(listview.GetHeader()->ColumnAt({60, 0}), first);
  EXPECT_EQ(listview.GetHeader()->ColumnAt({120, 0}), second);
  second->SetVisible(false);
  EXPECT_EQ(listview.GetHeader()->LastVisibleColumn(), first);
  EXPECT_EQ(listview.GetSelection()->GetFocusedColumn(), third);  // the first column by default
  delete third;
  EXPECT_EQ(listview.GetHeader()->FirstColumn(), first);
  EXPECT_EQ(columns->GetCount(), 2);
}

TEST(Header, ShowsInReportAndGridOrInEveryViewWhenAsked) {
  TTouchListview listview(nullptr);
  listview.GetHeader()->SetVisible(true);
  const struct {
    TTouchListStyle view;
    bool shows;
  } cases[] = {{elsIcon, false}, {elsReport, true}, {elsGrid, true}, {elsTile, false}, {elsThumbnail, false}};
  for (const auto& c : cases) {
    listview.SetView(c.view);
    EXPECT_EQ(listview.HeaderShows(), c.shows) << c.view;
    EXPECT_EQ(listview.GetHeader()->GetHeight(), c.shows ? 21 : 0) << c.view;
  }
  listview.GetHeader()->SetShowInAllViews(true);
  listview.SetView(elsTile);
  EXPECT_TRUE(listview.HeaderShows());
  EXPECT_TRUE(listview.IsThumbnailView() == false);
  listview.SetView(elsFilmStrip);
  EXPECT_TRUE(listview.IsThumbnailView());
}

TEST(Header, TheClipKeepsDrawingOutOfTheHeaderStrip) {
  TTouchListview listview(nullptr);
  listview.SetBounds(0, 0, 40, 40);
  listview.SetView(elsReport);
  listview.GetHeader()->SetVisible(true);
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf32bit);
  bitmap.SetSize(40, 40);
  TCanvas* canvas = bitmap.GetCanvas();
  listview.ClipHeader(canvas, false);
  canvas->GetBrush()->SetColor(clRed);
  canvas->FillRect(win::RECT{0, 0, 40, 40});
  const auto red_at = [&bitmap](int y) {
    const auto* pixel = static_cast<const std::uint8_t*>(bitmap.GetScanLine(y));
    return pixel[0] == 0 && pixel[1] == 0 && pixel[2] == 0xFF;
  };
  EXPECT_FALSE(red_at(20));  // inside the 21-pixel header strip
  EXPECT_TRUE(red_at(21));
  listview.ClipHeader(canvas, true);
  canvas->FillRect(win::RECT{0, 0, 40, 40});
  EXPECT_TRUE(red_at(0));
}

TEST(UpdateBracket, NestsAndLocksTheSortManager) {
  TTouchListview listview(nullptr);
  listview.BeginUpdate();
  listview.BeginUpdate();
  EXPECT_EQ(listview.GetUpdateCount(), 2);
  EXPECT_EQ(listview.GetSort()->GetLockCount(), 2);
  listview.EndUpdate();
  listview.EndUpdate();
  EXPECT_EQ(listview.GetUpdateCount(), 0);
  EXPECT_EQ(listview.GetSort()->GetLockCount(), 0);
}

TEST(TileHitTest, ImageTextAndEmptyParts) {
  TTouchListview listview(nullptr);
  listview.SetView(elsTile);
  listview.GetFont()->SetName("Dashtune Fixed Metrics");
  listview.GetFont()->SetHeight(20);
  listview.OnItemGetCaption = [](TCustomTouchListview*, TTouchItem*, int, WideString& caption) { caption = u"AB"; };
  listview.OnItemGetTileDetailCount = [](TCustomTouchListview*, TTouchItem*, int& count) { count = 1; };
  TTouchItem* item = listview.GetItems()->AddVirtual();
  item->SetDisplayRect({0, 0, 218, 58});
  // No image: image column 6..10, label from 16, text (16, 19, 36, 39).
  TTouchItemHitTestInfoSet hit;
  EXPECT_TRUE(item->HitTestAt({20, 25}, hit));
  EXPECT_TRUE(hit.Contains(ehtOnText));
  EXPECT_TRUE(hit.Contains(ehtOnLabel));
  EXPECT_FALSE(hit.Contains(ehtOnIcon));
  EXPECT_TRUE(item->HitTestAt({8, 50}, hit));
  EXPECT_TRUE(hit.Contains(ehtOnIcon));
  EXPECT_FALSE(item->HitTestAt({300, 300}, hit));
  EXPECT_TRUE(item->SelectionHitPt({20, 25}));
  EXPECT_TRUE(item->SelectionHitPt({8, 10}));    // the text hit area spans the image too
  EXPECT_FALSE(item->SelectionHitPt({100, 25}));  // right of the text
  item->SetEnabled(false);
  EXPECT_FALSE(item->SelectionHitPt({20, 25}));
}

}  // namespace
}  // namespace dashtune
