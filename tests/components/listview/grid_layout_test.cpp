// The grid layouts: tiles row by row at the application's size, margins between groups, hidden
// items and groups, the list, report and grid layouts, neighbour search, page moves and the
// insert position under a point.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "components/listview/grid_layout.h"
#include "components/listview/listview.h"
#include "listview_test_support.h"

namespace dashtune {
namespace {

using testing::ListviewOnForm;

// A tile list of the application's size: 800 x 480, tiles 218 x 58.
struct TileList {
  explicit TileList(int width = 800, int height = 480) : host(width, height) {
    listview()->SetView(elsTile);
  }
  TTouchListview* listview() { return host.listview; }
  TTouchGroup* AddGroup(int items) {
    TTouchGroup* group = listview()->GetGroups()->AddGroup();
    for (int i = 0; i < items; ++i) group->GetItems()->AddVirtual();
    return group;
  }
  void Rebuild() { listview()->GetGroups()->Rebuild(true); }
  ListviewOnForm host;
};

TEST(TileLayout, ThreeColumnsFitTheApplicationsClient) {
  TileList list;
  TTouchGroup* group = list.AddGroup(7);
  list.Rebuild();
  // 800 - 1 - 17 (the scroll bar the window does not show) = 782: three tiles of 218.
  EXPECT_EQ(group->GetGrid()->GetColumnCount(), 3);
  EXPECT_EQ(group->GetGrid()->GetRowCount(), 3);
  const int tops[] = {0, 0, 0, 58, 58, 58, 116};
  const int lefts[] = {0, 218, 436, 0, 218, 436, 0};
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    EXPECT_RECT(group->GetItem(i)->GetDisplayRect(), lefts[i], tops[i], lefts[i] + 218, tops[i] + 58);
    EXPECT_EQ(group->GetItem(i)->GetVisibleIndex(), i);
  }
  EXPECT_RECT(group->GetDisplayRect(), 0, 0, 782, 174);
  EXPECT_EQ(list.listview()->GetScrollbars()->GetViewRect().bottom, 174);
}

// Each item's place among all visible items, read back after every layout.
std::vector<int> VisibleIndexes(const std::vector<TTouchGroup*>& groups) {
  std::vector<int> indexes;
  for (TTouchGroup* group : groups)
    for (int i = 0; i < group->GetItemCount(); ++i) indexes.push_back(group->GetItem(i)->GetVisibleIndex());
  return indexes;
}

TEST(TileLayout, VisibleIndexesRunAcrossGroupsAndFollowEveryLayout) {
  TileList list;
  const std::vector<TTouchGroup*> groups = {list.AddGroup(3), list.AddGroup(2), list.AddGroup(3)};
  groups[0]->GetItem(1)->SetVisible(false);
  struct Step {
    const char* what;
    std::function<void()> change;
    std::vector<int> expected;
  };
  const std::vector<Step> steps = {
      {"a hidden item has no place", [] {}, {0, -1, 1, 2, 3, 4, 5, 6}},
      {"a hidden group's items have none", [&] { groups[1]->SetVisible(false); }, {0, -1, 1, -1, -1, 2, 3, 4}},
      {"shown again, the later groups move on", [&] { groups[1]->SetVisible(true); }, {0, -1, 1, 2, 3, 4, 5, 6}},
      {"an item shown again takes its place", [&] { groups[0]->GetItem(1)->SetVisible(true); }, {0, 1, 2, 3, 4, 5, 6, 7}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.change();
    list.Rebuild();
    EXPECT_EQ(VisibleIndexes(groups), step.expected);
  }
  // Outside a group an item has no place among a control's items.
  TTouchItems loose(nullptr, nullptr);
  TTouchItem* item = loose.AddVirtual();
  item->SetVisibleIndexInGroup(0);
  item->SetVisibleIndex(5);
  EXPECT_EQ(item->GetVisibleIndex(), -1);
}

TEST(TileLayout, AControlNarrowerThanACellStillHasOneColumn) {
  TileList list(100, 300);
  TTouchGroup* group = list.AddGroup(2);
  list.Rebuild();
  EXPECT_EQ(group->GetGrid()->GetColumnCount(), 1);
  EXPECT_RECT(group->GetItem(1)->GetDisplayRect(), 0, 58, 218, 116);
  EXPECT_RECT(group->GetDisplayRect(), 0, 0, 218, 116);
}

TEST(TileLayout, HiddenItemsTakeNoCellAndRowsCountPlacedItems) {
  TileList list;
  TTouchGroup* group = list.AddGroup(7);
  group->GetItem(1)->SetVisible(false);
  group->GetItem(5)->SetVisible(false);
  list.Rebuild();
  EXPECT_EQ(group->GetItem(1)->GetVisibleIndexInGroup(), -1);
  EXPECT_EQ(group->GetItem(5)->GetVisibleIndexInGroup(), -1);
  EXPECT_RECT(group->GetItem(2)->GetDisplayRect(), 218, 0, 436, 58);
  EXPECT_EQ(group->GetItem(6)->GetVisibleIndexInGroup(), 4);
  EXPECT_RECT(group->GetItem(6)->GetDisplayRect(), 218, 58, 436, 116);
  // Five placed items take two rows.
  EXPECT_EQ(group->GetGrid()->GetRowCount(), 2);
  EXPECT_EQ(group->GetDisplayRect().bottom, 116);
}

TEST(TileLayout, GroupsFollowEachOtherBelowTheirTopMargins) {
  TileList list;
  list.listview()->SetShowGroupMargins(true);
  list.listview()->GetPaintInfoGroup()->GetMarginTop()->SetSize(30);
  TTouchGroup* first = list.AddGroup(4);
  TTouchGroup* second = list.AddGroup(1);
  list.Rebuild();
  EXPECT_EQ(first->GetItem(0)->GetDisplayRect().top, 30);
  EXPECT_EQ(first->GetDisplayRect().bottom, 146);
  EXPECT_EQ(second->GetDisplayRect().top, 146);
  EXPECT_EQ(second->GetItem(0)->GetDisplayRect().top, 176);
}

TEST(TileLayout, ACollapsedGroupPassesItsFocusOn) {
  TileList list;
  TTouchGroup* first = list.AddGroup(2);
  TTouchGroup* second = list.AddGroup(2);
  list.Rebuild();
  first->GetItem(1)->SetFocused(true);
  first->SetExpanded(false);
  EXPECT_EQ(list.listview()->GetSelection()->GetFocusedItem(), second->GetItem(0));
  EXPECT_EQ(first->GetDisplayRect().bottom - first->GetDisplayRect().top, 0);
  EXPECT_EQ(first->GetGrid()->GetColumnCount(), 0);
}

TEST(TileLayout, AHiddenGroupLetsGoOfSelectionAndFocus) {
  TileList list;
  TTouchGroup* first = list.AddGroup(2);
  TTouchGroup* second = list.AddGroup(1);
  list.Rebuild();
  first->GetItem(0)->SetSelected(true);
  first->GetItem(1)->SetFocused(true);
  first->SetVisible(false);
  EXPECT_FALSE(first->GetItem(0)->GetSelected());
  EXPECT_EQ(list.listview()->GetSelection()->GetFocusedItem(), nullptr);
  EXPECT_EQ(second->GetItem(0)->GetDisplayRect().top, 0);
}

TEST(AdjacentItem, RowByRowMovesAndCrossesGroups) {
  TileList list;
  TTouchGroup* first = list.AddGroup(7);
  TTouchGroup* second = list.AddGroup(2);
  list.Rebuild();
  TTouchGridGroup* grid = first->GetGrid();
  struct Case {
    TTouchItem* from;
    TTouchAdjacentCellDir direction;
    TTouchItem* expected;
  } cases[] = {
      {first->GetItem(4), acdLeft, first->GetItem(3)},   {first->GetItem(4), acdRight, first->GetItem(5)},
      {first->GetItem(4), acdUp, first->GetItem(1)},     {first->GetItem(4), acdDown, second->GetItem(1)},
      {first->GetItem(0), acdLeft, nullptr},             {first->GetItem(6), acdRight, second->GetItem(0)},
      {first->GetItem(3), acdDown, first->GetItem(6)},   {first->GetItem(0), acdUp, nullptr},
      {second->GetItem(1), acdUp, first->GetItem(4)},    {second->GetItem(0), acdUp, first->GetItem(6)},
      {second->GetItem(0), acdLeft, first->GetItem(6)},  {nullptr, acdDown, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.direction));
    TTouchGridGroup* from_grid = c.from ? c.from->GetOwnerGroup()->GetGrid() : grid;
    EXPECT_EQ(from_grid->AdjacentItem(c.from, c.direction), c.expected);
  }
}

TEST(AdjacentItem, AHiddenItemFailsTheCheck) {
  TileList list;
  TTouchGroup* group = list.AddGroup(3);
  group->GetItem(1)->SetVisible(false);
  list.Rebuild();
  try {
    group->GetGrid()->AdjacentItem(group->GetItem(1), acdRight);
    FAIL() << "no assertion";
  } catch (const EAssertionFailed& error) {
    EXPECT_STREQ(error.what(), "Can not find TTouchGroups.AdjacentItem of an Invisible Item");
  }
}

TEST(AdjacentItem, PageMovesNeverGoBackwards) {
  TileList list(800, 200);
  TTouchGroup* group = list.AddGroup(20);  // 7 rows of 3, the last with 2
  list.Rebuild();
  TTouchGridGroup* grid = group->GetGrid();
  // 200 pixels down from row 0 lands in row 3.
  EXPECT_EQ(grid->AdjacentItem(group->GetItem(1), acdPageDown), group->GetItem(10));
  // From the last row nothing lies below: nil, never an earlier item.
  EXPECT_EQ(grid->AdjacentItem(group->GetItem(19), acdPageDown), nullptr);
  // The last row has no third column: the probe moves left to its last item.
  EXPECT_EQ(grid->AdjacentItem(group->GetItem(14), acdPageDown), group->GetItem(19));
  EXPECT_EQ(grid->AdjacentItem(group->GetItem(13), acdPageUp), group->GetItem(4));
  EXPECT_EQ(grid->AdjacentItem(group->GetItem(1), acdPageUp), nullptr);
  for (int i = 0; i < 20; ++i) {
    TTouchItem* item = group->GetItem(i);
    if (TTouchItem* down = grid->AdjacentItem(item, acdPageDown)) {
      EXPECT_GT(down->GetVisibleIndex(), i);
    }
    if (TTouchItem* up = grid->AdjacentItem(item, acdPageUp)) {
      EXPECT_LT(up->GetVisibleIndex(), i);
    }
  }
}

TEST(InsertPosition, TheRightHalfOfACellInsertsAfterIt) {
  TileList list;
  list.listview()->SetView(elsIcon);  // tiles take no drops; icons do
  TTouchGroup* group = list.AddGroup(3);
  list.Rebuild();
  TTouchGroup* found = nullptr;
  int index = 99;
  group->GetGrid()->FindInsertPosition({75 + 10, 10}, found, index);
  EXPECT_EQ(found, group);
  EXPECT_EQ(index, 1);
  group->GetGrid()->FindInsertPosition({75 + 37, 10}, found, index);  // 75 + 75 / 2: the right half
  EXPECT_EQ(index, 2);
  group->GetGrid()->FindInsertPosition({75 + 36, 10}, found, index);
  EXPECT_EQ(index, 1);
  group->GetGrid()->FindInsertPosition({500, 10}, found, index);
  EXPECT_EQ(found, group);
  EXPECT_EQ(index, -1);
  group->GetGrid()->FindInsertPosition({10, 400}, found, index);
  EXPECT_EQ(found, nullptr);
}

TEST(ListLayout, FillsColumnsAndAnEmptyGroupIsAsWideAsItsCaption) {
  ListviewOnForm host(400, 100);
  TTouchListview* listview = host.listview;
  listview->SetView(elsList);
  listview->GetFont()->SetName("Dashtune Fixed Metrics");
  listview->GetFont()->SetHeight(20);
  listview->GetCellSizes()->GetList()->SetSize(100, 20);
  TTouchGroup* group = listview->GetGroups()->AddGroup();
  for (int i = 0; i < 9; ++i) group->GetItems()->AddVirtual();
  TTouchGroup* empty = listview->GetGroups()->AddGroup();
  empty->SetCaption(u"Leer");
  listview->GetGroups()->Rebuild(true);
  // 100 - 17 (horizontal scroll bar) = 83: four rows of 20 per column.
  EXPECT_EQ(group->GetGrid()->GetRowCount(), 4);
  EXPECT_EQ(group->GetGrid()->GetColumnCount(), 3);
  EXPECT_RECT(group->GetItem(4)->GetDisplayRect(), 100, 0, 200, 20);
  EXPECT_EQ(group->GetDisplayRect().right, 300);
  EXPECT_EQ(empty->GetDisplayRect().left, 300);
  EXPECT_GT(empty->GetDisplayRect().right, 300);
  EXPECT_EQ(empty->GetDisplayRect().right - empty->GetDisplayRect().left, empty->CaptionWidth());
  TTouchGridGroup* grid = group->GetGrid();
  EXPECT_EQ(grid->AdjacentItem(group->GetItem(6), acdPageUp), group->GetItem(4));
  EXPECT_EQ(grid->AdjacentItem(group->GetItem(5), acdPageDown), group->GetItem(7));
  EXPECT_EQ(grid->AdjacentItem(group->GetItem(8), acdPageDown), nullptr);
  EXPECT_EQ(grid->AdjacentItem(group->GetItem(5), acdLeft), group->GetItem(1));
  EXPECT_EQ(grid->AdjacentItem(group->GetItem(4), acdRight), group->GetItem(8));
  EXPECT_EQ(grid->AdjacentItem(group->GetItem(5), acdRight), nullptr);
}

TEST(ReportLayout, RowsStartAtTwoAndSpanTheColumns) {
  ListviewOnForm host(400, 300);
  TTouchListview* listview = host.listview;
  listview->SetView(elsReport);
  listview->GetHeader()->SetVisible(true);
  TTouchColumns* columns = listview->GetHeader()->GetColumns();
  columns->AddColumn()->SetWidth(100);
  columns->AddColumn()->SetWidth(60);
  TTouchGroup* group = listview->GetGroups()->AddGroup();
  for (int i = 0; i < 3; ++i) group->GetItems()->AddVirtual();
  listview->GetGroups()->Rebuild(true);
  EXPECT_RECT(group->GetItem(0)->GetDisplayRect(), 0, 2, 160, 19);
  EXPECT_RECT(group->GetItem(2)->GetDisplayRect(), 0, 36, 160, 53);
  // The last group ends four pixels below its last row.
  EXPECT_EQ(group->GetDisplayRect().bottom, 57);
  EXPECT_EQ(group->GetGrid()->AdjacentItem(group->GetItem(1), acdUp), group->GetItem(0));
  EXPECT_EQ(group->GetGrid()->AdjacentItem(group->GetItem(1), acdDown), group->GetItem(2));
}

TEST(GridLayout, OneItemPerHeaderColumn) {
  ListviewOnForm host(400, 300);
  TTouchListview* listview = host.listview;
  listview->SetView(elsGrid);
  listview->GetHeader()->SetVisible(true);
  TTouchColumns* columns = listview->GetHeader()->GetColumns();
  columns->AddColumn()->SetWidth(50);
  columns->AddColumn()->SetWidth(70);
  TTouchGroup* group = listview->GetGroups()->AddGroup();
  for (int i = 0; i < 3; ++i) group->GetItems()->AddVirtual();
  listview->GetGroups()->Rebuild(true);
  EXPECT_RECT(group->GetItem(0)->GetDisplayRect(), 0, 0, 50, 17);
  EXPECT_RECT(group->GetItem(1)->GetDisplayRect(), 50, 0, 120, 17);
  EXPECT_RECT(group->GetItem(2)->GetDisplayRect(), 0, 17, 50, 34);
  EXPECT_EQ(group->GetGrid()->GetColumnCount(), 2);
  EXPECT_EQ(group->GetGrid()->GetRowCount(), 2);
  EXPECT_EQ(group->GetGrid()->AdjacentItem(group->GetItem(2), acdUp), group->GetItem(0));
}

TEST(GridLayout, WithoutHeaderColumnsNoItemIsPlaced) {
  ListviewOnForm host(400, 300);
  TTouchListview* listview = host.listview;
  listview->SetView(elsGrid);
  TTouchGroup* group = listview->GetGroups()->AddGroup();
  for (int i = 0; i < 3; ++i) group->GetItems()->AddVirtual();
  listview->GetGroups()->Rebuild(true);
  EXPECT_EQ(group->GetGrid()->GetColumnCount(), 0);
  EXPECT_EQ(group->GetGrid()->GetRowCount(), 0);
  EXPECT_EQ(group->GetVisibleItems().GetCount(), 0);
  EXPECT_RECT(group->GetItem(2)->GetDisplayRect(), 0, 0, 0, 0);
  EXPECT_EQ(group->GetItem(2)->GetVisibleIndexInGroup(), -1);
}

TEST(ViewChange, EveryGroupGetsTheGridOfTheNewView) {
  TileList list;
  TTouchGroup* group = list.AddGroup(1);
  EXPECT_NE(dynamic_cast<TTouchGridTileGroup*>(group->GetGrid()), nullptr);
  const struct {
    TTouchListStyle view;
    TTouchGridLayout layout;
  } views[] = {{elsIcon, eglVert},   {elsSmallIcon, eglVert}, {elsList, eglHorz},      {elsReport, eglGrid},
               {elsThumbnail, eglVert}, {elsFilmStrip, eglHorz}, {elsGrid, eglGrid}, {elsTile, eglVert}};
  for (const auto& v : views) {
    list.listview()->SetView(v.view);
    EXPECT_EQ(group->GetGrid()->GetLayout(), v.layout);
    EXPECT_EQ(group->GetGrid()->GetCellSize(), list.listview()->GetCellSizes()->ForView(v.view));
  }
}

// A grid of a view that keeps room above its items, as a descendant may.
template <class Grid>
class TSpacedGrid : public Grid {
 public:
  using Grid::Grid;
  int StaticSpaceAboveItems() const override { return 5; }
  int DynamicSpaceAboveItems() const override { return 7; }
};

template <class Grid>
std::unique_ptr<TTouchGridGroup> MakeSpaced(TTouchListview* listview, TTouchGroup* group) {
  return std::make_unique<TSpacedGrid<Grid>>(listview, group);
}

TEST(SpaceAboveItems, NoGridKeepsAnyAndTheLayoutsAddWhatADescendantKeeps) {
  ListviewOnForm host(400, 300);
  TTouchListview* listview = host.listview;
  listview->GetHeader()->GetColumns()->AddColumn()->SetWidth(120);
  TTouchGroup* group = listview->GetGroups()->AddGroup();
  for (int i = 0; i < 3; ++i) group->GetItems()->AddVirtual();
  const struct {
    TTouchListStyle view;
    std::unique_ptr<TTouchGridGroup> (*spaced)(TTouchListview*, TTouchGroup*);
  } views[] = {{elsIcon, MakeSpaced<TTouchGridIconGroup>},         {elsSmallIcon, MakeSpaced<TTouchGridSmallIconGroup>},
               {elsList, MakeSpaced<TTouchGridListGroup>},         {elsReport, MakeSpaced<TTouchGridReportGroup>},
               {elsThumbnail, MakeSpaced<TTouchGridThumbnailGroup>}, {elsTile, MakeSpaced<TTouchGridTileGroup>},
               {elsFilmStrip, MakeSpaced<TTouchGridFilmStripGroup>}, {elsGrid, MakeSpaced<TTouchGridGridGroup>}};
  for (const auto& v : views) {
    SCOPED_TRACE(v.view);
    listview->SetView(v.view);
    listview->GetGroups()->Rebuild(true);
    EXPECT_EQ(group->GetGrid()->StaticSpaceAboveItems(), 0);
    EXPECT_EQ(group->GetGrid()->DynamicSpaceAboveItems(), 0);
    std::vector<win::RECT> plain;
    for (int i = 0; i < 3; ++i) plain.push_back(group->GetItem(i)->GetDisplayRect());
    group->SetGrid(v.spaced(listview, group));
    listview->GetGroups()->Rebuild(true);
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(i);
      const win::RECT& r = plain[i];
      EXPECT_RECT(group->GetItem(i)->GetDisplayRect(), r.left, r.top + 12, r.right, r.bottom + 12);
    }
  }
}

}  // namespace
}  // namespace dashtune
