// The list view at scale: the point query's cell arithmetic against a walk over every item (all
// layouts, random shapes), page moves and selection clearing bounded by the work they do, and
// hostile sizes: cells of 65535 pixels, very long captions and large saved states.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "components/listview/common/common_utilities.h"
#include "components/listview/grid_layout.h"
#include "components/listview/listview.h"
#include "components/listview/paint_info.h"
#include "components/listview/view_items.h"
#include "listview_test_support.h"
#include "platform/core/strings.h"
#include "platform/user/paint.h"

namespace dashtune {
namespace {

using testing::ListviewOnForm;

// The plain query: the first visible item of the group under the point that holds it.
TTouchItem* WalkedItemAt(TTouchGroups* groups, win::POINT point) {
  TTouchGroup* group = groups->GroupAt(point);
  if (group == nullptr) return nullptr;
  const TTouchVisibleMembers visible = group->GetVisibleItems();
  for (int i = 0; i < visible.GetCount(); ++i) {
    auto* item = static_cast<TTouchItem*>(visible.Get(i));
    if (win::PtInRect(&item->GetDisplayRect(), point)) return item;
  }
  return nullptr;
}

// Random points over the view and a margin around it; every point of some cells' edges.
std::vector<win::POINT> ProbePoints(TTouchListview* listview, std::mt19937& random) {
  const win::RECT view = listview->GetScrollbars()->GetViewRect();
  std::uniform_int_distribution<int> x(view.left - 40, view.right + 40), y(view.top - 40, view.bottom + 40);
  std::vector<win::POINT> points;
  for (int i = 0; i < 300; ++i) points.push_back({x(random), y(random)});
  TTouchGroups* groups = listview->GetGroups();
  for (TTouchItem* item = groups->FirstVisibleItem(); item && points.size() < 600; item = groups->NextVisibleItem(item)) {
    const win::RECT& cell = item->GetDisplayRect();
    points.push_back({cell.left, cell.top});
    points.push_back({cell.right - 1, cell.bottom - 1});
    points.push_back({cell.right, cell.bottom});
  }
  return points;
}

void ExpectSameAnswers(TTouchListview* listview, std::mt19937& random, const std::string& what) {
  TTouchGroups* groups = listview->GetGroups();
  for (const win::POINT point : ProbePoints(listview, random)) {
    ASSERT_EQ(groups->ItemAtPoint(point), WalkedItemAt(groups, point))
        << what << " at (" << point.x << "," << point.y << ")";
  }
}

// A random control of a view: groups with margins, hidden and collapsed groups, hidden items,
// header columns of random widths.
void Shape(TTouchListview* listview, TTouchListStyle view, std::mt19937& random) {
  auto chance = [&random](int percent) { return static_cast<int>(random() % 100) < percent; };
  listview->SetView(view);
  listview->SetShowGroupMargins(chance(50));
  listview->GetPaintInfoGroup()->GetMarginTop()->SetSize(static_cast<int>(random() % 30));
  listview->GetPaintInfoGroup()->GetMarginLeft()->SetSize(static_cast<int>(random() % 20));
  listview->GetCellSizes()->GetTile()->SetSize(40 + static_cast<int>(random() % 200), 20 + static_cast<int>(random() % 60));
  listview->GetCellSizes()->GetList()->SetSize(40 + static_cast<int>(random() % 200), 12 + static_cast<int>(random() % 30));
  listview->GetHeader()->SetVisible(view == elsReport || view == elsGrid);
  TTouchColumns* columns = listview->GetHeader()->GetColumns();
  for (int c = static_cast<int>(random() % 4); c >= 0; --c) columns->AddColumn()->SetWidth(static_cast<int>(random() % 120));
  listview->BeginUpdate();
  for (int g = 1 + static_cast<int>(random() % 4); g > 0; --g) {
    TTouchGroup* group = listview->GetGroups()->AddGroup();
    const int count = static_cast<int>(random() % 60);
    for (int i = 0; i < count; ++i) group->GetItems()->AddVirtual()->SetVisible(!chance(15));
    if (chance(15)) group->SetExpanded(false);
    if (chance(10)) group->SetVisible(false);
  }
  listview->EndUpdate(true);
  listview->GetGroups()->Rebuild(true);
}

TEST(PointQuery, AnswersAsAWalkOverEveryItemInEveryLayout) {
  std::mt19937 random(36201);
  for (TTouchListStyle view :
       {elsIcon, elsSmallIcon, elsList, elsReport, elsThumbnail, elsTile, elsFilmStrip, elsGrid}) {
    for (int round = 0; round < 6; ++round) {
      const std::string what = "view " + std::to_string(view) + " round " + std::to_string(round);
      ListviewOnForm host(150 + static_cast<int>(random() % 700), 100 + static_cast<int>(random() % 400));
      Shape(host.listview, view, random);
      ExpectSameAnswers(host.listview, random, what);
      // A cell moved by hand and an item freed: the layout's cells no longer tell.
      TTouchItem* first = host.listview->GetGroups()->FirstVisibleItem();
      if (first == nullptr) continue;
      first->SetDisplayRect({5, 5, 400, 400});
      ExpectSameAnswers(host.listview, random, what + " after a moved cell");
      host.listview->GetGroups()->Rebuild(true);
      if (TTouchItem* second = host.listview->GetGroups()->NextVisibleItem(host.listview->GetGroups()->FirstVisibleItem()))
        delete second;
      ExpectSameAnswers(host.listview, random, what + " after a freed item");
    }
  }
}

// A tile list of the application's size with many items.
struct BigTileList {
  explicit BigTileList(int items) : host(800, 480) {
    listview()->SetView(elsTile);
    listview()->GetCellSizes()->GetTile()->SetSize(218, 58);
    listview()->BeginUpdate();
    for (int i = 0; i < items; ++i) listview()->GetItems()->AddVirtual(i);
    listview()->EndUpdate(true);
    listview()->GetGroups()->Rebuild(true);
  }
  TTouchListview* listview() { return host.listview; }
  TTouchGroup* group() { return listview()->GetGroups()->GetGroup(0); }
  ListviewOnForm host;
};

TEST(PointQuery, TestsOneCellInAUniformGridAndPageDownAFewRows) {
  constexpr int kItems = 100000;
  BigTileList list(kItems);
  TTouchGroups* groups = list.listview()->GetGroups();
  TTouchItem* last = list.group()->GetItem(kItems - 1);
  const win::RECT cell = last->GetDisplayRect();
  std::uint64_t before = listview::CellsTested();
  EXPECT_EQ(groups->ItemAtPoint({cell.left + 3, cell.top + 3}), last);
  EXPECT_LE(listview::CellsTested() - before, 1u);
  // Page Down from item N-100 probes a few rows, each from the item's column leftwards.
  TTouchItem* from = list.group()->GetItem(kItems - 100);
  before = listview::CellsTested();
  TTouchItem* down = list.group()->GetGrid()->AdjacentItem(from, acdPageDown);
  ASSERT_NE(down, nullptr);
  EXPECT_GT(down->GetIndex(), from->GetIndex());
  EXPECT_LE(listview::CellsTested() - before, 30u);
}

// Items that count how often their place is read: what a walk over the items costs.
int places_read = 0;
class TPlaceCountingItem : public TTouchItemVirtual {
 public:
  using TTouchItemVirtual::TTouchItemVirtual;
  int GetIndex() const override {
    ++places_read;
    return TTouchItemVirtual::GetIndex();
  }
};

TEST(SelectionClear, DeselectsInItemOrderAndCostsWhatIsSelected) {
  constexpr int kItems = 50000;
  ListviewOnForm host(800, 480);
  TTouchListview* listview = host.listview;
  std::vector<TTouchGroup*> groups;
  listview->BeginUpdate();
  for (int g = 0; g < 2; ++g) {
    groups.push_back(listview->GetGroups()->AddGroup());
    groups[g]->GetItems()->SetItemClass(TTouchCollectionItemClass::Of<TPlaceCountingItem>());
    for (int i = 0; i < kItems; ++i) groups[g]->GetItems()->Add(g * kItems + i);  // of the item class
  }
  listview->EndUpdate(true);
  ASSERT_NE(dynamic_cast<TPlaceCountingItem*>(groups[1]->GetItem(0)), nullptr);
  // Selected out of order, near the ends of both groups.
  const std::vector<TTouchItem*> picked = {groups[1]->GetItem(kItems - 1), groups[0]->GetItem(kItems - 2),
                                           groups[1]->GetItem(3), groups[0]->GetItem(kItems - 5)};
  for (TTouchItem* item : picked) item->SetSelected(true);
  ASSERT_EQ(listview->GetSelection()->GetCount(), 4);
  std::vector<std::intptr_t> order;
  listview->OnItemSelectionChanged = [&order](TCustomTouchListview*, TTouchItem* item) { order.push_back(item->GetData()); };
  places_read = 0;
  listview->GetSelection()->ClearAll();
  EXPECT_EQ(order, (std::vector<std::intptr_t>{kItems - 5, kItems - 2, kItems + 3, 2 * kItems - 1}));
  EXPECT_EQ(listview->GetSelection()->GetCount(), 0);
  EXPECT_LE(places_read, 100);

  // A handler that frees a selected item and selects another meanwhile: the freed one is skipped,
  // the new one cleared too.
  for (TTouchItem* item : {groups[0]->GetItem(1), groups[0]->GetItem(2), groups[1]->GetItem(9)}) item->SetSelected(true);
  TTouchItem* doomed = groups[0]->GetItem(2);
  TTouchItem* latecomer = groups[1]->GetItem(20);
  order.clear();
  listview->OnItemSelectionChanged = [&](TCustomTouchListview*, TTouchItem* item) {
    order.push_back(item->GetData());
    if (item->GetData() == 1) {
      delete doomed;
      latecomer->SetSelected(true);
    }
  };
  listview->GetSelection()->ClearAll();
  EXPECT_EQ(listview->GetSelection()->GetCount(), 0);
  EXPECT_FALSE(latecomer->GetSelected());
  EXPECT_EQ(order.front(), 1);
  EXPECT_EQ(std::count(order.begin(), order.end(), 2), 1);  // lost once, while being freed

  // A handler that clears the selection again from inside a clear.
  const std::vector<TTouchItem*> again = {groups[0]->GetItem(4), groups[0]->GetItem(6), groups[1]->GetItem(7)};
  for (TTouchItem* item : again) item->SetSelected(true);
  bool nested = false;
  listview->OnItemSelectionChanged = [&](TCustomTouchListview*, TTouchItem*) {
    if (nested) return;
    nested = true;
    listview->GetSelection()->ClearAll();
  };
  listview->GetSelection()->ClearAll();
  EXPECT_EQ(listview->GetSelection()->GetCount(), 0);
  for (TTouchItem* item : again) EXPECT_FALSE(item->GetSelected());
  groups[0]->GetItem(8)->SetSelected(true);
  listview->GetSelection()->ClearAll();
  EXPECT_FALSE(groups[0]->GetItem(8)->GetSelected());
}

TEST(SelectionClear, AllSelectedClearsEveryItem) {
  BigTileList list(3000);
  for (int i = 0; i < 3000; ++i) list.group()->GetItem(i)->SetSelected(true);
  list.listview()->GetSelection()->ClearAll();
  EXPECT_EQ(list.listview()->GetSelection()->GetCount(), 0);
  for (int i = 0; i < 3000; i += 7) EXPECT_FALSE(list.group()->GetItem(i)->GetSelected());
  // The selection is whole again afterwards.
  list.group()->GetItem(5)->SetSelected(true);
  list.group()->GetItem(6)->SetSelected(true);
  list.group()->GetItem(5)->SetSelected(false);
  list.listview()->GetSelection()->ClearAll();
  EXPECT_FALSE(list.group()->GetItem(6)->GetSelected());
}

TEST(SelectionClear, AWalkOverEveryItemGoesOnPastItemsAHandlerFrees) {
  constexpr int kItems = 2000;
  BigTileList list(kItems);
  for (int i = 0; i < kItems; ++i) list.group()->GetItem(i)->SetSelected(true);
  TTouchItem* ahead = list.group()->GetItem(10);   // still selected when freed
  TTouchItem* behind = list.group()->GetItem(3);   // already cleared when freed
  std::vector<std::intptr_t> order;
  list.listview()->OnItemSelectionChanged = [&](TCustomTouchListview*, TTouchItem* item) {
    order.push_back(item->GetData());
    if (item->GetData() != 5) return;
    delete ahead;
    delete behind;
  };
  list.listview()->GetSelection()->ClearAll();
  std::vector<std::intptr_t> expected = {0, 1, 2, 3, 4, 5, 10};
  for (int i = 6; i < kItems; ++i)
    if (i != 10) expected.push_back(i);
  EXPECT_EQ(order, expected);
  EXPECT_EQ(list.listview()->GetSelection()->GetCount(), 0);
  ASSERT_EQ(list.group()->GetItemCount(), kItems - 2);
  for (int i = 0; i < kItems - 2; ++i) ASSERT_FALSE(list.group()->GetItem(i)->GetSelected()) << i;
}

// A changed selection repaints the item where it shows and nothing for an item out of sight,
// whatever the scroll offset and the header take from the client area.
TEST(SelectionClear, AChangeRepaintsOnlyAnItemTheClientAreaShows) {
  BigTileList list(3000);
  TTouchListview* listview = list.listview();
  listview->GetHeader()->SetShowInAllViews(true);
  listview->GetHeader()->SetVisible(true);
  listview->GetHeader()->SetHeight(24);
  list.host.form->Show();
  const int header = listview->GetHeader()->GetHeight();
  ASSERT_EQ(header, 24);
  // The shown area starts on a row's top edge: the row above ends there.
  TTouchItem* on_edge = list.group()->GetItem(600);
  listview->GetScrollbars()->SetOffsetY(on_edge->GetDisplayRect().top + header);
  const win::RECT shown = listview->GetScrollbars()->ClientViewRect();
  ASSERT_EQ(shown.top, on_edge->GetDisplayRect().top);
  EXPECT_EQ(shown.bottom - shown.top, listview->GetClientHeight());
  const auto first_in_row_at = [&](int y) {
    for (int i = 0; i < list.group()->GetItemCount(); ++i)
      if (const win::RECT& cell = list.group()->GetItem(i)->GetDisplayRect(); cell.top <= y && y < cell.bottom)
        return list.group()->GetItem(i);
    return static_cast<TTouchItem*>(nullptr);
  };
  TTouchItem* above = first_in_row_at(shown.top - 1);
  TTouchItem* inside = first_in_row_at(shown.top + (shown.bottom - shown.top) / 2);
  TTouchItem* crossing_bottom = first_in_row_at(shown.bottom - 1);
  ASSERT_TRUE(above && inside && crossing_bottom);
  TTouchItem* below = first_in_row_at(crossing_bottom->GetDisplayRect().bottom);
  ASSERT_NE(below, nullptr);
  ASSERT_EQ(above->GetDisplayRect().bottom, shown.top);
  const struct {
    TTouchItem* item;
    bool repainted;
  } cases[] = {{above, false}, {on_edge, true}, {inside, true}, {crossing_bottom, true}, {below, false}};
  for (const auto& one : cases) {
    win::UpdateWindow(list.host.form->GetHandle());
    win::ValidateRect(listview->GetHandle(), nullptr);
    one.item->SetSelected(!one.item->GetSelected());
    win::RECT update{};
    EXPECT_EQ(win::GetUpdateRect(listview->GetHandle(), &update, win::FALSE) != 0, one.repainted) << one.item->GetIndex();
    if (!one.repainted) continue;
    const win::RECT cell = listview->GetScrollbars()->MapViewRectToWindow(one.item->GetDisplayRect());
    EXPECT_LE(update.left, std::max(cell.left, 0));
    EXPECT_LE(update.top, std::max(cell.top, header));
    EXPECT_GE(update.right, std::min<int>(cell.right, listview->GetClientWidth()));
  }
}

// The data of the items a group shows, in display order.
std::vector<std::intptr_t> ShownData(TTouchGroup* group) {
  std::vector<std::intptr_t> shown;
  const TTouchVisibleMembers visible = group->GetVisibleItems();
  for (int i = 0; i < visible.GetCount(); ++i) shown.push_back(static_cast<TTouchItem*>(visible.Get(i))->GetData());
  return shown;
}

// The visible list shares the member list while every item shows in member order; what it
// answers must not depend on that, between layouts too.
TEST(VisibleList, AnswersTheLastLayoutWhateverHappenedToTheMembersSince) {
  ListviewOnForm host(400, 300);
  TTouchListview* listview = host.listview;
  listview->SetView(elsIcon);
  for (int i = 0; i < 6; ++i) listview->GetItems()->AddVirtual(i);
  listview->GetGroups()->Rebuild(true);
  TTouchGroup* group = listview->GetGroups()->GetGroup(0);
  TTouchItems* items = group->GetItems();
  ASSERT_EQ(ShownData(group), (std::vector<std::intptr_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(items->FirstVisible(), items->GetItem(0));
  EXPECT_EQ(items->LastVisible(), items->GetItem(5));

  // Between layouts: an added item is not shown yet, a freed one is gone at once, a reorder is
  // not seen until the next layout.
  listview->BeginUpdate();
  items->AddVirtual(6);
  delete items->GetItem(2);
  EXPECT_EQ(ShownData(group), (std::vector<std::intptr_t>{0, 1, 3, 4, 5}));
  TTouchItem* first = items->GetItem(0);
  items->SetItem(0, items->GetItem(4));
  items->SetItem(4, first);
  EXPECT_EQ(ShownData(group), (std::vector<std::intptr_t>{0, 1, 3, 4, 5}));
  items->GetItem(1)->SetVisible(false);
  listview->EndUpdate(true);
  listview->GetGroups()->Rebuild(true);
  EXPECT_EQ(ShownData(group), (std::vector<std::intptr_t>{5, 3, 4, 0, 6}));
  EXPECT_EQ(items->GetItem(3)->GetVisibleIndexInGroup(), 2);
  EXPECT_EQ(items->GetItem(1)->GetVisibleIndexInGroup(), -1);

  // Freeing a shown item while the list is its own, and showing every item again.
  delete items->GetItem(0);
  EXPECT_EQ(ShownData(group), (std::vector<std::intptr_t>{3, 4, 0, 6}));
  items->MakeAllVisible();
  listview->GetGroups()->Rebuild(true);
  EXPECT_EQ(ShownData(group), (std::vector<std::intptr_t>{1, 3, 4, 0, 6}));
  delete items->GetItem(4);
  EXPECT_EQ(ShownData(group), (std::vector<std::intptr_t>{1, 3, 4, 0}));
  EXPECT_EQ(items->LastVisible(), items->GetItem(3));
  items->Clear();
  EXPECT_EQ(group->GetVisibleItems().GetCount(), 0);
  EXPECT_EQ(items->FirstVisible(), nullptr);
}

// A million items are a million of these: the fields few items carry live apart, made on first
// use, and read as their defaults before.
TEST(ItemSize, RareFieldsLiveApartAndReadAsDefaultsUntilSet) {
  EXPECT_LE(sizeof(TTouchItemVirtual), 72u);
  ListviewOnForm host(400, 300);
  host.listview->SetView(elsIcon);
  TTouchItem* item = host.listview->GetItems()->AddVirtual();
  TTouchItem* other = host.listview->GetItems()->AddVirtual();
  EXPECT_EQ(item->GetTag(), 0);
  EXPECT_EQ(item->GetDataInf(), nullptr);
  EXPECT_EQ(item->GetOwnPaintInfo(), nullptr);
  EXPECT_EQ(item->GetSelectionGroup(), nullptr);
  item->SetTag(0);
  item->SetTag(-7);
  EXPECT_EQ(item->GetTag(), -7);
  EXPECT_EQ(other->GetTag(), 0);
  auto own = std::make_unique<TTouchPaintInfoItem>(host.listview);
  TTouchPaintInfoBasic* own_pointer = own.get();
  item->SetOwnPaintInfo(std::move(own));
  EXPECT_EQ(item->GetPaintInfo(), own_pointer);
  EXPECT_EQ(other->GetPaintInfo(), host.listview->GetPaintInfoItem());
  TTouchViewItem* view = item->GetView();
  EXPECT_EQ(item->GetView(), view);
  host.listview->SetView(elsTile);
  EXPECT_NE(item->GetView()->ClassName(), view->ClassName());
  // Adjacent selected items share a list, held by each; freeing one lets go of its hold.
  host.listview->GetGroups()->Rebuild(true);
  host.listview->GetSelection()->SetGroupSelections(true);
  item->SetSelected(true);
  other->SetSelected(true);
  ASSERT_NE(item->GetSelectionGroup(), nullptr);
  EXPECT_EQ(item->GetSelectionGroup(), other->GetSelectionGroup());
  delete item;
  EXPECT_EQ(host.listview->GetSelection()->GetCount(), 1);
}

// ---- Hostile sizes ----

TEST(HostileSizes, CellsOf65535PixelsStayInsideTheViewsBounds) {
  for (TTouchListStyle view : {elsTile, elsList, elsReport}) {
    SCOPED_TRACE(view);
    ListviewOnForm host(800, 480);
    TTouchListview* listview = host.listview;
    listview->SetView(view);
    listview->GetCellSizes()->GetTile()->SetSize(65535, 65535);
    listview->GetCellSizes()->GetList()->SetSize(65535, 65535);
    listview->GetCellSizes()->GetReport()->SetSize(65535, 65535);
    listview->GetHeader()->GetColumns()->AddColumn()->SetWidth(300);
    listview->BeginUpdate();
    for (int i = 0; i < 40000; ++i) listview->GetItems()->AddVirtual();
    listview->EndUpdate(true);
    listview->GetGroups()->Rebuild(true);
    TTouchGroup* group = listview->GetGroups()->GetGroup(0);
    // Cells never go back, and the far ones are held at the bound.
    for (int i = 1; i < group->GetItemCount(); ++i) {
      const win::RECT& a = group->GetItem(i - 1)->GetDisplayRect();
      const win::RECT& b = group->GetItem(i)->GetDisplayRect();
      ASSERT_TRUE(b.top >= a.top || b.left >= a.left) << i;
      ASSERT_LE(b.bottom, 1 << 29);
      ASSERT_LE(b.right, 1 << 29);
    }
    // The view ends a group's bottom space below the bound.
    const win::RECT view_rect = listview->GetScrollbars()->GetViewRect();
    EXPECT_LE(view_rect.bottom, (1 << 29) + 100);
    std::mt19937 random(36224);
    ExpectSameAnswers(listview, random, "huge cells");
    // Scrolled to the far end and painted.
    listview->GetScrollbars()->SetOffsetY(view_rect.bottom);
    listview->GetScrollbars()->SetOffsetX(view_rect.right);
    listview->Invalidate();
    listview->Update();
    group->GetItem(39999)->MakeVisible(3);
  }
}

TEST(HostileSizes, ALongCaptionCostsAScreenfulToMeasureAndPaint) {
  std::u16string caption;
  for (int i = 0; caption.size() < 100000; ++i) caption += i % 7 == 0 ? u"Wort " : u"abc";
  for (TTouchListStyle view : {elsIcon, elsThumbnail, elsFilmStrip}) {
    SCOPED_TRACE(view);
    ListviewOnForm host(400, 300);
    TTouchListview* listview = host.listview;
    listview->SetView(view);
    host.form->Show();
    TTouchItemStored* item = listview->GetGroups()->AddGroup()->GetItems()->AddStored();
    listview->GetGroups()->Rebuild(true);
    const std::uint64_t before = common::MeasuredCharacters();
    item->SetCaption(caption);
    listview->SetFocus();
    item->SetFocused(true);
    listview->Invalidate();
    listview->Update();
    TTouchRectArrayObject rects;
    item->ItemRects(nullptr, listview->GetCanvas(), rects);
    // Each measure reads the rest of the caption once for its last line, and a screenful of
    // lines a few times each; measuring line after line anew would read it thousands of times.
    EXPECT_LT(common::MeasuredCharacters() - before, 40 * caption.size());
    EXPECT_LE(rects.FocusChangeInvalidRect.bottom - rects.FocusChangeInvalidRect.top, 2 * 300);
    EXPECT_LE(rects.FocusChangeInvalidRect.right - rects.FocusChangeInvalidRect.left,
              item->GetDisplayRect().right - item->GetDisplayRect().left);
  }
}

TEST(HostileSizes, LoadingASavedStateLaysOutOnce) {
  constexpr int kItems = 40000;
  TMemoryStream saved;
  {
    TTouchListview source(nullptr);
    TTouchItems* items = source.GetGroups()->AddGroup()->GetItems();
    items->SetItemClass(TTouchCollectionItemClass::Of<TTouchItemStored>());
    for (int i = 0; i < kItems; ++i) items->AddStored()->SetCaption(win::Utf8ToUtf16(std::to_string(i)));
    items->SaveToStream(&saved);
  }
  ASSERT_LE(saved.GetSize(), 2 * 1024 * 1024);
  ListviewOnForm host(800, 480);
  int layouts = 0;
  TTouchGroup* group = host.listview->GetGroups()->AddGroup();
  group->SetGrid(std::make_unique<testing::TCountingGrid>(host.listview, group, &layouts));
  group->GetItems()->SetItemClass(TTouchCollectionItemClass::Of<TTouchItemStored>());
  saved.SetPosition(0);
  group->GetItems()->LoadFromStream(&saved);
  EXPECT_EQ(group->GetItemCount(), kItems);
  EXPECT_EQ(group->GetItem(kItems - 1)->GetCaption(), u"39999");
  EXPECT_LE(layouts, 2);
  // A record cut short ends the load with an error; the bracket still closes.
  TMemoryStream cut;
  cut.WriteBuffer(saved.GetMemory(), 4000);
  cut.SetPosition(0);
  EXPECT_THROW(group->GetItems()->LoadFromStream(&cut), EReadError);
  EXPECT_EQ(host.listview->GetUpdateCount(), 0);
}

TEST(HostileSizes, LoadingAWholeStateOfManyGroupsLaysOutOnce) {
  constexpr int kGroups = 3000;
  TMemoryStream saved;
  {
    TTouchListview source(nullptr);
    source.GetHeader()->GetColumns()->AddColumn()->SetCaption(u"Name");
    source.GetHeader()->GetColumns()->AddColumn()->SetWidth(80);
    for (int g = 0; g < kGroups; ++g) {
      TTouchGroupStored* group = source.GetGroups()->AddGroup();
      group->SetCaption(u"Group " + win::Utf8ToUtf16(std::to_string(g)));
      group->GetItems()->AddStored()->SetCaption(win::Utf8ToUtf16(std::to_string(g)));
    }
    TTouchItem* kept = source.GetGroups()->GetGroup(1)->GetItem(0);
    kept->SetChecked(true);
    kept->SetEnabled(false);
    source.SaveStateToStream(&saved);
  }
  ListviewOnForm host(800, 480);
  TTouchListview* listview = host.listview;
  listview->SetView(elsTile);
  // Every layout writes each group's rectangle once.
  const std::uint32_t writes_before = listview->GetGroups()->GetRectWrites();
  saved.SetPosition(0);
  listview->LoadStateFromStream(&saved);
  EXPECT_EQ(saved.GetPosition(), saved.GetSize());
  EXPECT_LE(listview->GetGroups()->GetRectWrites() - writes_before, 2u * kGroups);
  ASSERT_EQ(listview->GetGroups()->GetCount(), kGroups);
  EXPECT_EQ(listview->GetHeader()->GetColumns()->GetCount(), 2);
  TTouchItem* last = listview->GetGroups()->GetGroup(kGroups - 1)->GetItem(0);
  EXPECT_EQ(last->GetCaption(), u"2999");
  EXPECT_EQ(last->GetVisibleIndex(), kGroups - 1);  // laid out
  TTouchItem* kept = listview->GetGroups()->GetGroup(1)->GetItem(0);
  EXPECT_TRUE(kept->GetChecked());
  EXPECT_FALSE(kept->GetEnabled());
  EXPECT_EQ(listview->GetUpdateCount(), 0);
  TMemoryStream again;
  listview->SaveStateToStream(&again);
  EXPECT_EQ(testing::BytesOf(again), testing::BytesOf(saved));
  // A state cut short ends the load with an error; the bracket still closes.
  TMemoryStream cut;
  cut.WriteBuffer(saved.GetMemory(), saved.GetSize() / 2);
  cut.SetPosition(0);
  EXPECT_THROW(listview->LoadStateFromStream(&cut), EReadError);
  EXPECT_EQ(listview->GetUpdateCount(), 0);
}

}  // namespace
}  // namespace dashtune
