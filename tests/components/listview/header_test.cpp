// The column header bar: cells in header order, the height rule, spreading a resize over spring
// columns, the single fixed column, and the mouse handlers (sort clicks, check boxes, resize
// borders and their cursor).
#include <gtest/gtest.h>

#include <numeric>

#include "components/listview/grid_layout.h"
#include "components/listview/header.h"
#include "components/listview/header_painter.h"
#include "components/listview/listview.h"
#include "listview_test_support.h"

namespace dashtune {
namespace {

using testing::ListviewOnForm;

// A report list with a visible header on a 400 x 300 client.
struct ReportList {
  ReportList() : host(400, 300) {
    listview()->SetView(elsReport);
    header()->SetVisible(true);
  }
  TTouchListview* listview() { return host.listview; }
  TTouchHeader* header() { return host.listview->GetHeader(); }
  TTouchColumn* AddColumn(int width) {
    TTouchColumn* column = header()->GetColumns()->AddColumn();
    column->SetWidth(width);
    return column;
  }
  ListviewOnForm host;
};

TEST(HeaderLayout, HiddenColumnsKeepAZeroWidthCell) {
  ReportList list;
  TTouchColumn* a = list.AddColumn(50);
  TTouchColumn* b = list.AddColumn(80);
  TTouchColumn* c = list.AddColumn(60);
  b->SetVisible(false);
  list.header()->Rebuild(true);
  EXPECT_RECT(a->GetDisplayRect(), 0, 0, 50, 21);
  EXPECT_RECT(b->GetDisplayRect(), 50, 0, 50, 21);
  EXPECT_RECT(c->GetDisplayRect(), 50, 0, 110, 21);
  EXPECT_EQ(list.header()->ColumnsWidth(), 110);
  // The header's view reaches at least across the client.
  EXPECT_RECT(list.header()->GetViewRect(), 0, 0, 400, 21);
  EXPECT_EQ(list.header()->GetColumns()->GetVisibleCount(), 2);
}

TEST(HeaderLayout, ANegativeHeightStoresZeroAndRebuilds) {
  ReportList list;
  list.AddColumn(50);
  TTouchGroup* group = list.listview()->GetGroups()->AddGroup();
  int layouts = 0;
  group->SetGrid(std::make_unique<testing::TCountingGrid>(list.listview(), group, &layouts));
  list.header()->SetHeight(-3);
  EXPECT_EQ(list.header()->GetStoredHeight(), 0);
  EXPECT_EQ(list.header()->GetHeight(), 0);
  EXPECT_EQ(layouts, 1);
  list.header()->SetHeight(-3);
  EXPECT_EQ(layouts, 1);
}

TEST(HeaderLayout, TheHeaderShowsInReportAndGridOrEverywhereWhenAsked) {
  ReportList list;
  EXPECT_EQ(list.header()->GetHeight(), 21);
  list.listview()->SetView(elsTile);
  EXPECT_EQ(list.header()->GetHeight(), 0);
  list.header()->SetShowInAllViews(true);
  EXPECT_EQ(list.header()->GetHeight(), 21);
  list.header()->SetVisible(false);
  EXPECT_EQ(list.header()->GetHeight(), 0);
}

TEST(HeaderSprings, AWidthChangeIsSpreadExactlyOverTheSpringColumns) {
  struct Case {
    int change;
    int springs;
    int start_width;
  } cases[] = {{10, 3, 50}, {-10, 3, 50}, {1, 3, 50}, {7, 2, 50}, {-200, 2, 50}, {100, 1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change);
    ReportList list;
    std::vector<TTouchColumn*> springs;
    for (int i = 0; i < c.springs; ++i) {
      springs.push_back(list.AddColumn(c.start_width));
      springs.back()->SetAutoSpring(true);
    }
    TTouchColumn* fixed = list.AddColumn(40);
    list.header()->ClientWidthChanged(400);
    list.header()->ClientWidthChanged(400 + c.change);
    int total = 0;
    for (TTouchColumn* column : springs) {
      EXPECT_GE(column->GetWidth(), 0);
      total += column->GetWidth();
    }
    const int expected = std::max(c.springs * c.start_width + c.change, 0);
    EXPECT_EQ(total, expected);
    EXPECT_EQ(fixed->GetWidth(), 40);
  }
}

TEST(HeaderSprings, NothingIsSpreadWithoutSpringColumns) {
  ReportList list;
  TTouchColumn* column = list.AddColumn(70);
  list.header()->ClientWidthChanged(400);
  list.header()->ClientWidthChanged(300);
  EXPECT_EQ(column->GetWidth(), 70);
}

TEST(HeaderSprings, TheFixedSingleColumnFollowsTheClient) {
  ReportList list;
  list.AddColumn(70);
  list.AddColumn(30);
  list.header()->SetFixedSingleColumn(true);
  ASSERT_EQ(list.header()->GetColumns()->GetCount(), 1);
  TTouchColumn* only = list.header()->GetColumns()->GetColumn(0);
  EXPECT_EQ(only->GetWidth(), 399);
  list.listview()->SetBounds(0, 0, 300, 300);
  EXPECT_EQ(only->GetWidth(), 299);
  list.header()->SetFixedSingleColumn(false);
  EXPECT_EQ(list.header()->GetColumns()->GetCount(), 0);
  // Without a column a width change does nothing.
  list.header()->SetFixedSingleColumn(true);
  list.header()->GetColumns()->Clear(true);
  list.header()->ClientWidthChanged(250);
}

TEST(HeaderMouse, ThreeClicksSortAscendingDescendingAscending) {
  ReportList list;
  TTouchColumn* first = list.AddColumn(100);
  TTouchColumn* second = list.AddColumn(100);
  list.header()->Rebuild(true);
  std::vector<TTouchSortDirection> seen;
  for (int click = 0; click < 3; ++click) {
    list.header()->LeftButtonDown({}, 150, 10);
    list.header()->LeftButtonUp({}, 150, 10);
    seen.push_back(second->GetSortDirection());
  }
  EXPECT_EQ(seen, (std::vector<TTouchSortDirection>{esdAscending, esdDescending, esdAscending}));
  EXPECT_EQ(list.listview()->GetSelection()->GetFocusedColumn(), second);
  // Clicking another column makes it the sorted one and clears the first.
  list.header()->LeftButtonDown({}, 50, 10);
  list.header()->LeftButtonUp({}, 50, 10);
  EXPECT_EQ(first->GetSortDirection(), esdAscending);
  EXPECT_EQ(second->GetSortDirection(), esdNone);
  EXPECT_FALSE(second->GetClicking());
}

TEST(HeaderMouse, WithoutAutoToggleAClickIsReported) {
  ReportList list;
  TTouchColumn* column = list.AddColumn(100);
  column->SetAutoToggleSortGlyph(false);
  list.header()->Rebuild(true);
  std::vector<std::string> events;
  list.listview()->OnColumnClick = [&](TCustomTouchListview*, TMouseButton, TTouchColumn* c) {
    events.push_back(c == column ? "click" : "other");
  };
  list.listview()->OnHeaderMouseDown = [&](TCustomTouchListview*, TMouseButton, TShiftState, int, int, TTouchColumn*) {
    events.push_back("down");
  };
  list.listview()->OnHeaderMouseUp = [&](TCustomTouchListview*, TMouseButton, TShiftState, int, int, TTouchColumn*) {
    events.push_back("up");
  };
  list.header()->LeftButtonDown({}, 20, 10);
  EXPECT_TRUE(column->GetClicking());
  list.header()->LeftButtonUp({}, 20, 10);
  EXPECT_EQ(events, (std::vector<std::string>{"down", "click", "up"}));
  EXPECT_EQ(column->GetSortDirection(), esdNone);
}

TEST(HeaderMouse, ReleasingOffAPressedCheckBoxLeavesItsState) {
  ReportList list;
  TTouchColumn* column = list.AddColumn(100);
  list.listview()->GetPaintInfoColumn()->SetCheckType(ectBox);
  list.header()->Rebuild(true);
  TTouchRectArrayObject rects;
  list.header()->GetPainter()->ItemRects(column, list.listview()->GetCanvas(), rects);
  const win::POINT box{(rects.CheckRect.left + rects.CheckRect.right) / 2, (rects.CheckRect.top + rects.CheckRect.bottom) / 2};
  ASSERT_EQ(list.header()->CheckBoxAt(box), column);
  list.header()->LeftButtonDown({}, box.x, box.y);
  EXPECT_EQ(list.listview()->GetCheckManager()->GetPendingObject(), column);
  list.header()->MouseMove({}, 80, 10);
  list.header()->LeftButtonUp({}, 80, 10);
  EXPECT_FALSE(column->GetChecked());
  EXPECT_EQ(list.listview()->GetCheckManager()->GetPendingObject(), nullptr);
  list.header()->LeftButtonDown({}, box.x, box.y);
  list.header()->LeftButtonUp({}, box.x, box.y);
  EXPECT_TRUE(column->GetChecked());
}

TEST(HeaderMouse, TheResizeBorderLiesWithinFourPixels) {
  ReportList list;
  TTouchColumn* first = list.AddColumn(100);
  list.AddColumn(100);
  list.header()->Rebuild(true);
  const struct {
    int x, y;
    bool border;
  } points[] = {{96, 10, true}, {104, 10, true}, {95, 10, false}, {105, 10, false}, {100, 0, false}, {100, 20, true},
                {100, 21, false}};
  for (const auto& p : points) {
    SCOPED_TRACE(std::to_string(p.x) + "," + std::to_string(p.y));
    EXPECT_EQ(list.header()->ResizeColumnAt({p.x, p.y}) == first, p.border);
  }
  list.header()->SetSizeable(false);
  EXPECT_EQ(list.header()->ResizeColumnAt({100, 10}), nullptr);
}

TEST(HeaderMouse, ResizingShowsTheSplitCursorAndAsksEachWidth) {
  ReportList list;
  TTouchColumn* first = list.AddColumn(100);
  list.header()->Rebuild(true);
  std::vector<int> asked;
  bool refuse = false;
  list.listview()->OnColumnSizeChanging = [&](TCustomTouchListview*, TTouchColumn*, int, int width, bool& allow) {
    asked.push_back(width);
    allow = !refuse;
  };
  int changed = 0;
  list.listview()->OnColumnSizeChanged = [&](TCustomTouchListview*, TTouchColumn*) { ++changed; };
  list.header()->MouseMove({}, 101, 10);
  EXPECT_EQ(list.listview()->GetCursor(), listview::crHeaderSplit);
  list.header()->LeftButtonDown({}, 101, 10);
  list.header()->MouseMove({}, 140, 10);
  EXPECT_EQ(first->GetWidth(), 140);
  // Left of the cell the width asked for is 0, never negative.
  list.header()->MouseMove({}, -30, 10);
  EXPECT_EQ(first->GetWidth(), 0);
  list.header()->LeftButtonUp({}, -30, 10);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(asked, (std::vector<int>{100, 140, 0}));
  for (int width : asked) EXPECT_GE(width, 0);
  // A refused border shows no split cursor.
  list.header()->MouseMove({}, 200, 10);
  EXPECT_EQ(list.listview()->GetCursor(), crDefault);
  first->SetWidth(100);
  refuse = true;
  list.header()->MouseMove({}, 101, 10);
  EXPECT_EQ(list.listview()->GetCursor(), crDefault);
  EXPECT_EQ(list.header()->GetMouseState() & ehmsOverResizeBorder, 0);
}

TEST(HeaderMouse, TheRightButtonReportsDownAndUp) {
  ReportList list;
  TTouchColumn* column = list.AddColumn(100);
  list.header()->Rebuild(true);
  std::vector<std::pair<TMouseButton, TTouchColumn*>> events;
  const auto record = [&](TCustomTouchListview*, TMouseButton button, TShiftState, int, int, TTouchColumn* c) {
    events.emplace_back(button, c);
  };
  list.listview()->OnHeaderMouseDown = record;
  list.listview()->OnHeaderMouseUp = record;
  list.header()->RightButtonDown({}, 10, 10);
  EXPECT_NE(list.header()->GetMouseState() & ehmsRightButton, 0);
  list.header()->RightButtonUp({}, 10, 10);
  EXPECT_EQ(list.header()->GetMouseState() & ehmsRightButton, 0);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].first, mbRight);
  EXPECT_EQ(events[1].second, column);
}

}  // namespace
}  // namespace dashtune
