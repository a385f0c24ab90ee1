// Rules that hold across the list view's parts: a member on its way out only lets go of its
// states; hidden groups take no room in the layout; the wheel follows the view's direction.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "components/listview/grid_layout.h"
#include "components/listview/listview.h"
#include "components/listview/view_items.h"
#include "listview_test_support.h"

namespace dashtune {
namespace {

using testing::ListviewOnForm;

TEST(DestroyingItem, TakesOnNoStateAndAsksNobody) {
  TTouchListview listview(nullptr);
  TTouchItems* items = listview.GetGroups()->AddGroup()->GetItems();
  TTouchItem* item = items->AddVirtual();
  TTouchItem* keeper = items->AddVirtual();
  keeper->SetChecked(true);
  items->Clear(false);  // both stay alive, marked destroying
  std::vector<std::string> events;
  const auto asked = [&events](const char* what) {
    return [&events, what](TCustomTouchListview*, TTouchItem*, bool&) { events.push_back(what); };
  };
  listview.OnItemFocusChanging = asked("focus?");
  listview.OnItemSelectionChanging = asked("select?");
  listview.OnItemCheckChanging = asked("check?");
  listview.OnItemFocusChanged = [&events](TCustomTouchListview*, TTouchItem*) { events.push_back("focus"); };
  listview.OnItemCheckChange = [&events](TCustomTouchListview*, TTouchItem*) { events.push_back("check"); };

  item->SetFocused(true);
  item->SetSelected(true);
  item->SetBold(true);
  item->SetChecked(true);
  EXPECT_FALSE(item->GetFocused());
  EXPECT_FALSE(item->GetSelected());
  EXPECT_FALSE(item->GetBold());
  EXPECT_FALSE(item->GetChecked());
  EXPECT_EQ(listview.GetSelection()->GetFocusedItem(), nullptr);
  EXPECT_EQ(listview.GetSelection()->GetCount(), 0);
  EXPECT_TRUE(events.empty());

  // Letting go still happens, announced but not asked.
  keeper->SetChecked(false);
  EXPECT_FALSE(keeper->GetChecked());
  EXPECT_EQ(events, std::vector<std::string>{"check"});
  delete item;
  delete keeper;
}

// A list view of 100 x 20 cells, 400 x 100 pixels: four rows to a column.
struct ListView {
  ListView() : host(400, 100) {
    listview()->SetView(elsList);
    listview()->GetFont()->SetName("Dashtune Fixed Metrics");
    listview()->GetFont()->SetHeight(20);
    listview()->GetCellSizes()->GetList()->SetSize(100, 20);
  }
  TTouchListview* listview() { return host.listview; }
  TTouchGroup* AddGroup(int items, const char16_t* caption) {
    TTouchGroup* group = listview()->GetGroups()->AddGroup();
    group->SetCaption(caption);
    for (int i = 0; i < items; ++i) group->GetItems()->AddVirtual();
    return group;
  }
  ListviewOnForm host;
};

TEST(HiddenGroupLayout, TakesNoRoomInTheListView) {
  struct Case {
    const char* name;
    int hidden_items;
  };
  for (const Case& c : {Case{"empty", 0}, Case{"with items", 3}}) {
    SCOPED_TRACE(c.name);
    ListView list;
    TTouchGroup* first = list.AddGroup(3, u"Eins");
    TTouchGroup* hidden = list.AddGroup(c.hidden_items, u"Versteckt");
    TTouchGroup* third = list.AddGroup(2, u"Drei");
    hidden->SetVisible(false);
    list.listview()->GetGroups()->Rebuild(true);
    EXPECT_EQ(first->GetDisplayRect().right, 100);
    EXPECT_EQ(hidden->GetDisplayRect().right - hidden->GetDisplayRect().left, 0);
    EXPECT_EQ(third->GetDisplayRect().left, 100);
    EXPECT_RECT(third->GetItem(0)->GetDisplayRect(), 100, 0, 200, 20);
    EXPECT_EQ(list.listview()->GetScrollbars()->GetViewRect().right, 200);
    // The keys cross from the first group to the third.
    EXPECT_EQ(first->GetGrid()->AdjacentItem(first->GetItem(0), acdRight), third->GetItem(0));
  }
}

// Records the group each layout is handed as the one before it.
class TRecordingGrid : public TTouchGridIconGroup {
 public:
  TRecordingGrid(TCustomTouchListview* AOwner, TTouchGroup* AGroup, std::vector<TTouchGroup*>* seen)
      : TTouchGridIconGroup(AOwner, AGroup), seen_(seen) {}
  void Rebuild(TTouchGroup* PrevGroup, int& NextVisibleItemIndex) override {
    seen_->push_back(PrevGroup);
    TTouchGridIconGroup::Rebuild(PrevGroup, NextVisibleItemIndex);
  }

 private:
  std::vector<TTouchGroup*>* seen_;
};

TEST(HiddenGroupLayout, TheGroupBeforeIsTheVisibleOneBefore) {
  ListviewOnForm host(400, 300);
  TTouchGroups* groups = host.listview->GetGroups();
  std::vector<TTouchGroup*> seen;
  std::vector<TTouchGroup*> made;
  for (int i = 0; i < 4; ++i) {
    made.push_back(groups->AddGroup());
    made.back()->GetItems()->AddVirtual();
    made.back()->SetGrid(std::make_unique<TRecordingGrid>(host.listview, made.back(), &seen));
  }
  made[1]->SetVisible(false);
  made[2]->SetVisible(false);
  seen.clear();
  groups->Rebuild(true);
  // Hidden groups are still laid out (they let go of their items) but are nobody's predecessor.
  EXPECT_EQ(seen, (std::vector<TTouchGroup*>{nullptr, made[0], made[0], made[0]}));
  EXPECT_EQ(made[3]->GetDisplayRect().top, made[0]->GetDisplayRect().bottom);
}

TEST(WheelDirection, FollowsTheViewsPainter) {
  const struct {
    TTouchListStyle view;
    TTouchWheelScroll wheel;
  } cases[] = {{elsList, edwsHorz},      {elsIcon, edwsVert}, {elsSmallIcon, edwsVert}, {elsReport, edwsVert},
               {elsThumbnail, edwsVert}, {elsTile, edwsVert}, {elsFilmStrip, edwsVert}, {elsGrid, edwsVert}};
  ListviewOnForm host(400, 300);
  TTouchItem* item = host.listview->GetItems()->AddVirtual();
  // Start from the other direction each time, so that every view has to set it.
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.view));
    host.listview->SetWheelMouseDefaultScroll(c.wheel == edwsVert ? edwsHorz : edwsVert);
    host.listview->SetView(c.view);
    ASSERT_NE(item->GetView(), nullptr);
    EXPECT_EQ(host.listview->GetWheelMouseDefaultScroll(), c.wheel);
  }
}

TEST(WheelDirection, ACustomPainterLeavesItAlone) {
  ListviewOnForm host(400, 300);
  TTouchItem* item = host.listview->GetItems()->AddVirtual();
  host.listview->SetView(elsList);
  host.listview->OnItemCustomView = [](TCustomTouchListview*, TTouchItem*, TTouchListStyle, TTouchViewItemClass& view) {
    view = TTouchViewItemClass::Of<TTouchViewTileItem>();
  };
  host.listview->SetWheelMouseDefaultScroll(edwsVert);
  item->GetView();
  EXPECT_EQ(host.listview->GetWheelMouseDefaultScroll(), edwsVert);
}

}  // namespace
}  // namespace dashtune
