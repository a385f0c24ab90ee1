// The report view: page moves by the rows under the client area (with and without header
// columns, and from a focused item scrolled out of view), and the point hit test of a row under
// full-row selection.
#include <gtest/gtest.h>

#include "components/listview/grid_layout.h"
#include "components/listview/listview.h"
#include "components/listview/view_painters.h"
#include "listview_test_support.h"
#include "platform/user/virtual_keys.h"

namespace dashtune {
namespace {

using testing::ListviewOnForm;

// A report list of 400 x 300 pixels with rows of 17 pixels from y = 2, the header hidden.
struct ReportList {
  ReportList(int items, int columns) : host(400, 300) {
    listview()->SetView(elsReport);
    for (int i = 0; i < columns; ++i) listview()->GetHeader()->GetColumns()->AddColumn()->SetWidth(100);
    // One layout for all the items, not one per item added.
    listview()->BeginUpdate();
    group = listview()->GetGroups()->AddGroup();
    for (int i = 0; i < items; ++i) group->GetItems()->AddVirtual();
    listview()->EndUpdate();
  }
  TTouchListview* listview() { return host.listview; }
  TTouchItem* Item(int index) { return group->GetItem(index); }
  // The index of the item a page move from `from` reaches (-1 for none).
  int PageMove(int from, TTouchAdjacentCellDir direction) {
    TTouchItem* found = group->GetGrid()->AdjacentItem(Item(from), direction);
    return found ? found->GetIndex() : -1;
  }
  ListviewOnForm host;
  TTouchGroup* group = nullptr;
};

TEST(ReportPageMove, ReachesTheRowAtTheOtherEdgeOfThePage) {
  struct Case {
    int columns;
    int offset_y;
    int from;
    TTouchAdjacentCellDir direction;
    int expected;
  };
  const Case cases[] = {
      // The row under y = 298: (298 - 2) / 17 = row 17.
      {1, 0, 0, acdPageDown, 17},
      {0, 0, 0, acdPageDown, 17},
      // From the bottom row a page further: the probe from its top + 299.
      {1, 0, 17, acdPageDown, 34},
      {0, 0, 17, acdPageDown, 34},
      // Focus scrolled out above the view: the row at the view's bottom (17000 + 298).
      {1, 17000, 0, acdPageDown, 1017},
      {0, 17000, 0, acdPageDown, 1017},
      // Focus scrolled out below the view: the first row of the view.
      {1, 0, 1999, acdPageUp, 0},
      {0, 0, 1999, acdPageUp, 0},
      // Page up from the view's top row goes a page up.
      {0, 17 * 100 + 2, 100, acdPageUp, 83},
      // Nothing before the first row, nothing after the last.
      {0, 0, 0, acdPageUp, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.columns << " columns, offset " << c.offset_y << ", from " << c.from);
    ReportList list(2000, c.columns);
    list.listview()->GetScrollbars()->SetOffsetY(c.offset_y);
    ASSERT_EQ(list.listview()->GetScrollbars()->GetOffsetY(), c.offset_y);
    EXPECT_EQ(list.PageMove(c.from, c.direction), c.expected);
  }
}

TEST(ReportPageMove, TheLastRowHasNoPageBelowIt) {
  for (int columns : {0, 2}) {
    SCOPED_TRACE(columns);
    ReportList list(30, columns);
    EXPECT_EQ(list.PageMove(29, acdPageDown), -1);
    EXPECT_EQ(list.PageMove(20, acdPageDown), 29);
  }
}

TEST(ReportPageMove, ThePageKeysMoveTheFocusWithoutColumns) {
  ReportList list(20000, 0);
  list.Item(5)->SetFocused(true);
  TTouchScrollbarManager* scrollbars = list.listview()->GetScrollbars();
  scrollbars->SetOffsetY(17 * 15000);
  list.listview()->Perform(win::WM_KEYDOWN, win::VK_NEXT, 0);
  TTouchItem* focused = list.listview()->GetSelection()->GetFocusedItem();
  ASSERT_NE(focused, nullptr);
  EXPECT_EQ(focused->GetIndex(), 15017);
  // The row is scrolled just into view at the bottom: (15017 + 1) x 17 + 2 + 1 - 300.
  EXPECT_EQ(scrollbars->GetOffsetY(), 255009);
  list.listview()->Perform(win::WM_KEYDOWN, win::VK_PRIOR, 0);
  focused = list.listview()->GetSelection()->GetFocusedItem();
  ASSERT_NE(focused, nullptr);
  // The row under the view's top + 1: (255010 - 2) / 17.
  EXPECT_EQ(focused->GetIndex(), 15000);
}

TEST(ReportFullRowHit, ASelectedRowIsHitAcrossItsWidth) {
  ReportList list(3, 2);
  list.listview()->GetFont()->SetName("Dashtune Fixed Metrics");
  list.listview()->GetFont()->SetHeight(12);
  list.listview()->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem*, int, WideString& caption) { caption = u"ab"; };
  list.Item(0)->SetSelected(true);
  TTouchSelectionManager* selection = list.listview()->GetSelection();
  // Row 0 spans (0,2)-(200,19); its caption "ab" ends well before x = 150.
  const win::POINT beyond_caption{150, 10};
  const struct {
    bool full_row;
    int item;
    bool hit;
  } cases[] = {{true, 0, true}, {true, 1, false}, {false, 0, false}, {false, 1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "full row " << c.full_row << ", item " << c.item);
    selection->SetFullRowSelect(c.full_row);
    TTouchItem* item = list.Item(c.item);
    const win::POINT point{beyond_caption.x, beyond_caption.y + 17 * c.item};
    EXPECT_EQ(item->GetView()->PointInText(item, point), c.hit);
    TTouchItemHitTestInfoSet hit;
    item->HitTestAt(point, hit);
    EXPECT_EQ(hit.Contains(ehtOnText), c.hit);
  }
  // On the caption itself the text is hit either way.
  selection->SetFullRowSelect(false);
  EXPECT_TRUE(list.Item(1)->GetView()->PointInText(list.Item(1), {8, 27}));
}

}  // namespace
}  // namespace dashtune
