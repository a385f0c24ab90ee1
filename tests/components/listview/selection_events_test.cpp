// Selecting, deselecting and clearing the selection, item by item: what each item is asked and
// told, in what order, what the selection manager counts meanwhile, and which items repaint
// (every changed item invalidates itself; only one the client area shows asks for its painter and
// reaches the window).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "components/listview/listview.h"
#include "listview_test_support.h"
#include "platform/user/paint.h"

namespace dashtune {
namespace {

using testing::ListviewOnForm;

std::vector<std::string>* item_log = nullptr;

// An item that notes each invalidation in the shared log before doing it.
class TLoggedItem : public TTouchItemVirtual {
 public:
  using TTouchItemVirtual::TTouchItemVirtual;
  void Invalidate(bool ImmediateUpdate) override {
    if (item_log) item_log->push_back("repaint " + std::to_string(GetData()));
    TTouchItemVirtual::Invalidate(ImmediateUpdate);
  }
};

// 60 tiles of 218 x 58, three to a row, in an 800 x 480 client scrolled down five rows: items 15
// to 41 show (rows 5 to 13), the others lie above or below the client area.
constexpr int kItems = 60;
constexpr int kFirstShown = 15;
constexpr int kLastShown = 41;

struct SelectionList {
  SelectionList() : host(800, 480) {
    listview()->SetView(elsTile);
    listview()->GetCellSizes()->GetTile()->SetSize(218, 58);
    TTouchItems* items = listview()->GetGroups()->AddGroup()->GetItems();
    items->SetItemClass(TTouchCollectionItemClass::Of<TLoggedItem>());
    listview()->BeginUpdate();
    for (int i = 0; i < kItems; ++i) items->Add(i);
    listview()->EndUpdate(true);
    host.form->Show();
    listview()->GetScrollbars()->SetOffsetY(5 * 58);
    item_log = &log;
  }
  ~SelectionList() { item_log = nullptr; }
  SelectionList(const SelectionList&) = delete;
  SelectionList& operator=(const SelectionList&) = delete;

  TTouchListview* listview() { return host.listview; }
  TTouchItem* item(int i) { return listview()->GetGroups()->GetGroup(0)->GetItem(i); }
  int count() { return listview()->GetSelection()->GetCount(); }
  void Select(std::initializer_list<int> items) {
    for (int i : items) item(i)->SetSelected(true);
  }

  // From here on: every ask, change and painter request is logged, and the window has nothing
  // left to paint.
  void StartLogging() {
    win::UpdateWindow(host.form->GetHandle());
    win::ValidateRect(listview()->GetHandle(), nullptr);
    log.clear();
    listview()->OnItemSelectionChanging = [this](TCustomTouchListview*, TTouchItem* item, bool& allow) {
      log.push_back("ask " + std::to_string(item->GetData()));
      allow = refused.count(static_cast<int>(item->GetData())) == 0;
    };
    listview()->OnItemSelectionChanged = [this](TCustomTouchListview*, TTouchItem* item) {
      log.push_back("changed " + std::to_string(item->GetData()) + ", " + std::to_string(count()) + " selected");
    };
    listview()->OnItemCustomView = [this](TCustomTouchListview*, TTouchItem* item, TTouchListStyle, TTouchViewItemClass&) {
      log.push_back("painter " + std::to_string(item->GetData()));
    };
  }

  // Whether the window has something to paint, and the cells of which items it covers.
  bool UpdatePending(win::RECT& update) { return win::GetUpdateRect(listview()->GetHandle(), &update, win::FALSE) != 0; }
  win::RECT ShownCell(int i) {
    win::RECT cell = listview()->GetScrollbars()->MapViewRectToWindow(item(i)->GetDisplayRect());
    const win::RECT client = listview()->GetClientRect();
    win::IntersectRect(&cell, &cell, &client);
    return cell;
  }

  // The log and the refusals outlive the control, whose last events they still hear.
  std::vector<std::string> log;
  std::set<int> refused;  // items whose handler refuses the change
  ListviewOnForm host;
};

// The log of one change that goes through: asked, counted and announced, then repainted (a shown
// item's invalidation asks for its painter).
std::vector<std::string> Change(int item, int selected_after) {
  std::vector<std::string> log = {"ask " + std::to_string(item),
                                  "changed " + std::to_string(item) + ", " + std::to_string(selected_after) + " selected",
                                  "repaint " + std::to_string(item)};
  if (item >= kFirstShown && item <= kLastShown) log.push_back("painter " + std::to_string(item));
  return log;
}

std::vector<std::string> operator+(std::vector<std::string> first, const std::vector<std::string>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

TEST(SelectionEvents, TheLayoutIsTheOneTheCasesAssume) {
  SelectionList list;
  EXPECT_RECT(list.item(kFirstShown)->GetDisplayRect(), 0, 290, 218, 348);
  EXPECT_RECT(list.item(kLastShown)->GetDisplayRect(), 436, 754, 654, 812);
  EXPECT_RECT(list.listview()->GetScrollbars()->ClientViewRect(), 0, 290, 800, 770);
}

// What the window must repaint after a step.
enum class Repaint { kNothing, kCells, kWholeClient };

struct StepCase {
  const char* name;
  std::function<void(SelectionList&)> before;  // untimed set-up, not logged
  std::function<void(SelectionList&)> step;
  std::vector<std::string> log;
  int selected_after;
  Repaint repaint;
  std::vector<int> repainted_cells;  // with kCells
};

void ExpectRepaint(SelectionList& list, const StepCase& one) {
  win::RECT update{};
  const bool pending = list.UpdatePending(update);
  EXPECT_EQ(pending, one.repaint != Repaint::kNothing) << one.name;
  if (!pending) return;
  if (one.repaint == Repaint::kWholeClient) {
    EXPECT_RECT(update, 0, 0, 800, 480);
    return;
  }
  win::RECT cells{};
  for (int i : one.repainted_cells) {
    const win::RECT cell = list.ShownCell(i);
    win::UnionRect(&cells, &cells, &cell);
  }
  // The caption may reach beyond the cell, never the update area beyond the client.
  EXPECT_LE(update.left, cells.left) << one.name;
  EXPECT_LE(update.top, cells.top) << one.name;
  EXPECT_GE(update.right, cells.right) << one.name;
  EXPECT_GE(update.bottom, cells.bottom) << one.name;
}

void RunCases(const std::vector<StepCase>& cases) {
  for (const StepCase& one : cases) {
    SelectionList list;
    if (one.before) one.before(list);
    list.StartLogging();
    one.step(list);
    EXPECT_EQ(list.log, one.log) << one.name;
    EXPECT_EQ(list.count(), one.selected_after) << one.name;
    ExpectRepaint(list, one);
  }
}

TEST(SelectionEvents, OneItemSelectedOrDeselected) {
  const auto select = [](int i) { return [i](SelectionList& list) { list.item(i)->SetSelected(true); }; };
  const auto deselect = [](int i) { return [i](SelectionList& list) { list.item(i)->SetSelected(false); }; };
  const auto preselect = [](std::initializer_list<int> items) {
    return [items](SelectionList& list) { list.Select(items); };
  };
  RunCases({
      {"a shown item", nullptr, select(20), Change(20, 1), 1, Repaint::kCells, {20}},
      {"an item above the client area", nullptr, select(3), Change(3, 1), 1, Repaint::kNothing, {}},
      {"an item below the client area", nullptr, select(50), Change(50, 1), 1, Repaint::kNothing, {}},
      {"the first row shown", nullptr, select(kFirstShown), Change(kFirstShown, 1), 1, Repaint::kCells, {kFirstShown}},
      {"the row the client's bottom cuts", nullptr, select(kLastShown), Change(kLastShown, 1), 1, Repaint::kCells,
       {kLastShown}},
      {"beside others", preselect({2, 30}), select(20), Change(20, 3), 3, Repaint::kCells, {20}},
      {"already selected", preselect({20}), select(20), {}, 1, Repaint::kNothing, {}},
      {"refused", [](SelectionList& list) { list.refused = {20}; }, select(20), {"ask 20"}, 0, Repaint::kNothing, {}},
      {"hidden: nobody asked",
       [](SelectionList& list) {
         list.item(20)->SetVisible(false);
         win::UpdateWindow(list.host.form->GetHandle());
       },
       select(20), {}, 0, Repaint::kNothing, {}},
      {"disabled: nobody asked", [](SelectionList& list) { list.item(20)->SetEnabled(false); }, select(20), {}, 0,
       Repaint::kNothing, {}},
      {"the selection switched off: nobody asked",
       [](SelectionList& list) { list.listview()->GetSelection()->SetEnabled(false); }, select(20), {}, 0,
       Repaint::kNothing, {}},
      {"deselected, shown", preselect({20, 30}), deselect(20), Change(20, 1), 1, Repaint::kCells, {20}},
      {"deselected, below", preselect({50}), deselect(50), Change(50, 0), 0, Repaint::kNothing, {}},
      {"deselecting refused", [](SelectionList& list) { list.Select({20}), list.refused = {20}; }, deselect(20),
       {"ask 20"}, 1, Repaint::kNothing, {}},
      {"not selected", nullptr, deselect(20), {}, 0, Repaint::kNothing, {}},
      // With selection groups the whole control repaints instead of the item.
      {"grouped selections",
       [](SelectionList& list) {
         list.listview()->GetSelection()->SetGroupSelections(true);
         win::UpdateWindow(list.host.form->GetHandle());
       },
       select(3), {"ask 3", "changed 3, 1 selected"}, 1, Repaint::kWholeClient, {}},
  });
}

TEST(SelectionEvents, ClearingDeselectsEachSelectedItemInItemOrder) {
  const auto clear = [](SelectionList& list) { list.listview()->GetSelection()->ClearAll(); };
  const auto every = [](int from, int to, int step) {
    std::vector<int> items;
    for (int i = from; i <= to; i += step) items.push_back(i);
    return items;
  };
  // The log of clearing these items, in order, all going through.
  const auto cleared = [](const std::vector<int>& items) {
    std::vector<std::string> log;
    int left = static_cast<int>(items.size());
    for (int i : items) {
      const std::vector<std::string> one = Change(i, --left);
      log.insert(log.end(), one.begin(), one.end());
    }
    return log;
  };
  const auto shown_of = [](const std::vector<int>& items) {
    std::vector<int> shown;
    for (int i : items)
      if (i >= kFirstShown && i <= kLastShown) shown.push_back(i);
    return shown;
  };
  const auto selecting = [](std::vector<int> items) {
    return [items](SelectionList& list) {
      for (int i : items) list.item(i)->SetSelected(true);
    };
  };
  const std::vector<int> all = every(0, kItems - 1, 1);
  const std::vector<int> halves = every(1, kItems - 1, 2);
  std::vector<int> backwards = all;
  std::reverse(backwards.begin(), backwards.end());
  RunCases({
      {"nothing selected", nullptr, clear, {}, 0, Repaint::kNothing, {}},
      {"one shown item", selecting({20}), clear, cleared({20}), 0, Repaint::kCells, {20}},
      {"one item off screen", selecting({55}), clear, cleared({55}), 0, Repaint::kNothing, {}},
      {"a few, selected out of order", selecting({55, 3, 20, 41}), clear, cleared({3, 20, 41, 55}), 0, Repaint::kCells,
       {20, 41}},
      {"every other item", selecting(halves), clear, cleared(halves), 0, Repaint::kCells, shown_of(halves)},
      {"every item", selecting(all), clear, cleared(all), 0, Repaint::kCells, shown_of(all)},
      {"every item, selected backwards", selecting(backwards), clear, cleared(all), 0, Repaint::kCells,
       shown_of(all)},
  });
}

// A refused deselection leaves that item selected and counted; the others are still cleared.
TEST(SelectionEvents, ClearingGoesOnPastARefusal) {
  for (const bool many : {false, true}) {
    SelectionList list;
    std::vector<int> selected = many ? std::vector<int>{} : std::vector<int>{3, 20, 50};
    if (many)
      for (int i = 0; i < kItems; ++i) selected.push_back(i);
    for (int i : selected) list.item(i)->SetSelected(true);
    list.refused = {20};
    list.StartLogging();
    list.listview()->GetSelection()->ClearAll();
    std::vector<std::string> expected;
    int left = static_cast<int>(selected.size());
    for (int i : selected) {
      if (i == 20) {
        expected.push_back("ask 20");
        continue;
      }
      const std::vector<std::string> one = Change(i, --left);
      expected.insert(expected.end(), one.begin(), one.end());
    }
    EXPECT_EQ(list.log, expected) << many;
    EXPECT_EQ(list.count(), 1);
    EXPECT_TRUE(list.item(20)->GetSelected());
    // The selection stays whole: the refused item clears once allowed.
    list.refused.clear();
    list.StartLogging();
    list.listview()->GetSelection()->ClearAll();
    EXPECT_EQ(list.log, Change(20, 0));
  }
}

// The focused item keeps the focus while its selection is cleared; a clear selects nothing anew.
TEST(SelectionEvents, ClearingLeavesTheFocusAndSelectionCanStartAgain) {
  SelectionList list;
  for (int i = 0; i < kItems; ++i) list.item(i)->SetSelected(true);
  list.item(30)->SetFocused(true);
  list.listview()->GetSelection()->ClearAll();
  EXPECT_EQ(list.listview()->GetSelection()->GetFocusedItem(), list.item(30));
  EXPECT_TRUE(list.item(30)->GetFocused());
  list.StartLogging();
  list.item(30)->SetSelected(true);
  EXPECT_EQ(list.log, Change(30, 1));
  list.StartLogging();
  list.listview()->GetSelection()->ClearAll();
  EXPECT_EQ(list.log, Change(30, 0));
}

// Whatever order items were selected and deselected in, a clear finds every selected item: the
// manager's list of them stays whole (the last one taken out, selected again, is back in it).
TEST(SelectionEvents, ClearingFindsItemsSelectedAgain) {
  const struct {
    const char* name;
    std::vector<std::pair<int, bool>> changes;  // item, selected
    std::vector<int> cleared;
  } cases[] = {
      {"the last selected, deselected and selected again", {{20, true}, {30, true}, {30, false}, {30, true}}, {20, 30}},
      {"the only one, twice", {{30, true}, {30, false}, {30, true}}, {30}},
      {"the first, deselected and selected again", {{20, true}, {30, true}, {20, false}, {20, true}}, {20, 30}},
      {"every one in turn", {{3, true}, {20, true}, {50, true}, {50, false}, {20, false}, {3, false}, {50, true}, {3, true}},
       {3, 50}},
  };
  for (const auto& one : cases) {
    SelectionList list;
    for (const auto& [item, selected] : one.changes) list.item(item)->SetSelected(selected);
    list.StartLogging();
    list.listview()->GetSelection()->ClearAll();
    std::vector<std::string> expected;
    int left = static_cast<int>(one.cleared.size());
    for (int i : one.cleared) {
      const std::vector<std::string> change = Change(i, --left);
      expected.insert(expected.end(), change.begin(), change.end());
    }
    EXPECT_EQ(list.log, expected) << one.name;
    EXPECT_EQ(list.count(), 0) << one.name;
  }
}

// A handler may clear the selection again, or fail, in the middle of a clear; either way each
// item is announced once and the next clear still finds every item left selected.
TEST(SelectionEvents, AClearInterruptedByItsHandlersLeavesTheSelectionWhole) {
  for (const bool many : {false, true}) {
    SCOPED_TRACE(many ? "walking every item" : "the selected items only");
    const std::vector<int> selected = many ? std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11} : std::vector<int>{4, 30};
    {
      SelectionList list;
      for (int i : selected) list.item(i)->SetSelected(true);
      std::vector<std::intptr_t> announced;
      bool nested = false;
      list.listview()->OnItemSelectionChanged = [&](TCustomTouchListview*, TTouchItem* item) {
        announced.push_back(item->GetData());
        if (std::exchange(nested, true)) return;
        list.listview()->GetSelection()->ClearAll();
      };
      list.listview()->GetSelection()->ClearAll();
      EXPECT_EQ(announced, std::vector<std::intptr_t>(selected.begin(), selected.end()));
      EXPECT_EQ(list.count(), 0);
      list.listview()->OnItemSelectionChanged = nullptr;
      list.Select({30, 4});
      list.StartLogging();
      list.listview()->GetSelection()->ClearAll();
      EXPECT_EQ(list.log, Change(4, 1) + Change(30, 0));
    }
    {
      SelectionList list;
      for (int i : selected) list.item(i)->SetSelected(true);
      list.listview()->OnItemSelectionChanged = [](TCustomTouchListview*, TTouchItem* item) {
        if (item->GetData() == 4) throw std::runtime_error("handler failed");
      };
      EXPECT_THROW(list.listview()->GetSelection()->ClearAll(), std::runtime_error);
      EXPECT_FALSE(list.item(4)->GetSelected());
      list.listview()->OnItemSelectionChanged = nullptr;
      list.item(4)->SetSelected(true);
      list.listview()->GetSelection()->ClearAll();
      EXPECT_EQ(list.count(), 0);
      for (int i : selected) EXPECT_FALSE(list.item(i)->GetSelected()) << i;
    }
  }
}

}  // namespace
}  // namespace dashtune
