// Two things a drag and the focus do to the view: a drag over the control near an edge scrolls
// it in growing steps after a delay, and a group grows below a focused item whose caption needs
// more lines than its cell holds.
#include <gtest/gtest.h>

#include <string>

#include "components/listview/drag_managers.h"
#include "components/listview/listview.h"
#include "listview_test_support.h"
#include "platform/core/clock.h"
#include "platform_test_support.h"

namespace dashtune {
namespace {

using testing::ListviewOnForm;

// 100 tiles in one column on a 400 x 300 client: a view 5800 pixels tall.
struct TallList {
  TallList() : host(400, 300) {
    listview()->SetView(elsTile);
    for (int i = 0; i < 100; ++i) listview()->GetItems()->AddVirtual();
    listview()->GetGroups()->Rebuild(true);
  }
  TTouchListview* listview() { return host.listview; }
  int OffsetY() { return listview()->GetScrollbars()->GetOffsetY(); }
  void DragOver(win::POINT at) {
    win::DROPEFFECT effect = win::DROPEFFECT_COPY;
    listview()->GetDragManager()->DragOver(0, at, effect);
    EXPECT_EQ(effect, win::DROPEFFECT_NONE);
  }
  ListviewOnForm host;
};

TEST(DragAutoScroll, NearAnEdgeTheViewScrollsInGrowingStepsAfterTheDelay) {
  win::ScopedFakeClock clock;
  TallList list;
  TTouchOLEDragManager* drag = list.listview()->GetDragManager();
  ASSERT_EQ(drag->GetAutoScrollDelay(), 500);
  ASSERT_EQ(drag->GetAutoScrollTime(), 50);
  ASSERT_EQ(drag->GetAutoScrollAccelerator(), 2);
  list.DragOver({100, 290});  // within 15 pixels of the bottom
  testing::AdvanceAndPump(450);
  EXPECT_EQ(list.OffsetY(), 0);
  list.DragOver({100, 291});  // moving near the edge keeps the running delay
  testing::AdvanceAndPump(60);
  EXPECT_EQ(list.OffsetY(), 2);  // step n scrolls n x 2
  testing::AdvanceAndPump(60);
  EXPECT_EQ(list.OffsetY(), 6);
  testing::AdvanceAndPump(60);
  EXPECT_EQ(list.OffsetY(), 12);
  list.DragOver({100, 150});  // away from every edge: it stops
  testing::AdvanceAndPump(1000);
  EXPECT_EQ(list.OffsetY(), 12);
  list.DragOver({100, 5});  // near the top: up, after the delay again
  testing::AdvanceAndPump(510);
  EXPECT_EQ(list.OffsetY(), 10);
  drag->DragLeave();
  testing::AdvanceAndPump(1000);
  EXPECT_EQ(list.OffsetY(), 10);
}

TEST(DragAutoScroll, NothingScrollsWithAutoScrollOff) {
  win::ScopedFakeClock clock;
  TallList list;
  list.listview()->GetDragManager()->SetAutoScroll(false);
  list.DragOver({100, 295});
  testing::AdvanceAndPump(2000);
  EXPECT_EQ(list.OffsetY(), 0);
}

// Forty words: many more lines than an icon cell holds.
const WideString kLongCaption = [] {
  WideString text;
  for (int i = 0; i < 40; ++i) text += u"word ";
  return text;
}();

// Icon cells of 75 x 75 on a 400 x 300 client; the first item's caption needs many lines.
struct IconGroups {
  IconGroups() : host(400, 300) {
    listview()->SetView(elsIcon);
    listview()->GetFont()->SetName("Dashtune Fixed Metrics");
    listview()->GetFont()->SetHeight(10);
    listview()->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem* item, int, WideString& caption) {
      caption = item->GetIndex() == 0 && item->GetOwnerGroup() == item->GetOwnerListview()->GetGroups()->GetGroup(0)
                    ? kLongCaption
                    : u"x";
    };
    first = listview()->GetGroups()->AddGroup();
    for (int i = 0; i < 2; ++i) first->GetItems()->AddVirtual();
  }
  TTouchListview* listview() { return host.listview; }
  // How far the focused item's unlimited caption reaches below its cell.
  int Overhang(TTouchItem* item) {
    TTouchRectArrayObject rects;
    item->ItemRects(nullptr, listview()->GetCanvas(), rects);
    return rects.FocusChangeInvalidRect.bottom - item->GetDisplayRect().bottom;
  }
  ListviewOnForm host;
  TTouchGroup* first = nullptr;
};

TEST(FocusRoom, TheLastGroupGrowsBelowAFocusedLongCaption) {
  IconGroups list;
  list.listview()->GetGroups()->Rebuild(true);
  EXPECT_EQ(list.first->GetDisplayRect().bottom, 75);
  list.first->GetItem(0)->SetFocused(true);
  list.listview()->GetGroups()->Rebuild(true);
  const int overhang = list.Overhang(list.first->GetItem(0));
  ASSERT_GT(overhang, 0);
  EXPECT_EQ(list.first->GetDisplayRect().bottom, 75 + overhang);
  EXPECT_EQ(list.listview()->GetScrollbars()->GetViewRect().bottom, 75 + overhang);
}

TEST(FocusRoom, AnEarlierGroupGrowsOnlyWithResizeGroupOnFocus) {
  for (bool resize : {false, true}) {
    SCOPED_TRACE(resize);
    IconGroups list;
    TTouchGroup* second = list.listview()->GetGroups()->AddGroup();
    second->GetItems()->AddVirtual();
    list.listview()->GetSelection()->SetResizeGroupOnFocus(resize);
    list.first->GetItem(0)->SetFocused(true);
    list.listview()->GetGroups()->Rebuild(true);
    const int overhang = list.Overhang(list.first->GetItem(0));
    ASSERT_GT(overhang, 0);
    const int bottom = 75 + (resize ? overhang : 0);
    EXPECT_EQ(list.first->GetDisplayRect().bottom, bottom);
    EXPECT_EQ(second->GetItem(0)->GetDisplayRect().top, bottom);
  }
}

TEST(FocusRoom, AShortCaptionTakesNoExtraRoom) {
  IconGroups list;
  list.first->GetItem(1)->SetFocused(true);
  list.listview()->GetGroups()->Rebuild(true);
  EXPECT_LE(list.Overhang(list.first->GetItem(1)), 0);
  EXPECT_EQ(list.first->GetDisplayRect().bottom, 75);
}

}  // namespace
}  // namespace dashtune
