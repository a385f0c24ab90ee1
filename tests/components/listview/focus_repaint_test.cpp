// The look of the items follows the control's focus: gaining or losing it (to another control or
// to the in-place edit box) repaints the focus rectangle and the active or inactive selection
// colours, so that what shows equals a forced repaint.
#include <gtest/gtest.h>

#include "components/listview/listview.h"
#include "listview_test_support.h"
#include "platform/user/surfaces.h"

namespace dashtune {
namespace {

using testing::InsideLoop;
using testing::ListviewOnForm;

constexpr std::uint32_t kActive = 0xFF0000;    // clRed on screen
constexpr std::uint32_t kInactive = 0x00FF00;  // clLime on screen

int DifferingPixels(const win::WindowPixels& a, const win::WindowPixels& b) {
  if (a.width != b.width || a.height != b.height) return -1;
  int differing = 0;
  for (std::size_t i = 0; i < a.pixels.size(); ++i) differing += a.pixels[i] != b.pixels[i];
  return differing;
}

class FocusRepaint : public ::testing::Test {
 protected:
  void SetUp() override {
    lv_->GetFont()->SetName("Dashtune Fixed Metrics");
    lv_->GetFont()->SetHeight(12);
    lv_->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem*, int, WideString& caption) { caption = u"Datei"; };
    TTouchSelectionManager* selection = lv_->GetSelection();
    selection->SetColor(clRed);
    selection->SetInactiveColor(clLime);
    selection->SetUseFocusRect(true);
    for (int i = 0; i < 3; ++i) lv_->GetItems()->AddVirtual();
    // Another control to take the focus, in the list's bottom right corner where no item lies.
    other_ = new TTouchListview(host_.form.get());
    other_->SetParent(host_.form.get());
    other_->SetBounds(290, 190, 10, 10);
    host_.form->Show();
    Item(0)->SetFocused(true);
    Item(0)->SetSelected(true);
    Item(1)->SetSelected(true);
  }
  TTouchItem* Item(int index) { return lv_->GetItems()->GetItem(index); }
  // What shows after the pending paints, without asking for any.
  win::WindowPixels Shown() {
    lv_->Update();
    other_->Update();
    win::WindowPixels pixels;
    EXPECT_TRUE(win::ReadWindowPixels(lv_->GetHandle(), &pixels));
    return pixels;
  }
  win::WindowPixels Repainted() {
    lv_->Invalidate();
    return Shown();
  }
  // A pixel of the selection fill of item 1 (inside its frame, beside its text).
  std::uint32_t SelectionFill(const win::WindowPixels& pixels) {
    TTouchRectArrayObject rects;
    Item(1)->ItemRects(nullptr, lv_->GetCanvas(), rects);
    const win::RECT area = lv_->GetScrollbars()->MapViewRectToWindow(rects.FullTextRect);
    return pixels.At(area.left + 1, area.top + 1);
  }

  ListviewOnForm host_{300, 200};
  TTouchListview* lv_ = host_.listview;
  TTouchListview* other_ = nullptr;  // owned by the form
};

TEST_F(FocusRepaint, TheLookFollowsTheFocusToAnotherControlAndBack) {
  lv_->SetFocus();
  const win::WindowPixels active = Repainted();
  EXPECT_EQ(SelectionFill(active), kActive);

  other_->SetFocus();
  const win::WindowPixels after_exit = Shown();
  const win::WindowPixels inactive = Repainted();
  EXPECT_EQ(SelectionFill(inactive), kInactive);
  EXPECT_GT(DifferingPixels(active, inactive), 0);
  EXPECT_EQ(DifferingPixels(after_exit, inactive), 0);

  lv_->SetFocus();
  const win::WindowPixels after_enter = Shown();
  EXPECT_EQ(DifferingPixels(after_enter, active), 0);
}

TEST_F(FocusRepaint, TheEditBoxTakingTheFocusShowsTheInactiveLook) {
  lv_->SetFocus();
  const win::WindowPixels active = Repainted();
  int stale = -1;
  std::uint32_t fill_during_edit = 0;
  InsideLoop inside;
  inside.Then([&] {
    const win::WindowPixels during = Shown();
    const win::WindowPixels repainted = Repainted();
    stale = DifferingPixels(during, repainted);
    fill_during_edit = SelectionFill(during);
    win::PostMessageA(lv_->GetHandle(), listview::kEndEditMessage, 0, 0);
  });
  lv_->GetEditManager()->BeginEdit(Item(0));
  EXPECT_EQ(stale, 0);
  EXPECT_EQ(fill_during_edit, kInactive);
  // The focus back on the list: the active look again.
  lv_->SetFocus();
  const win::WindowPixels after = Shown();
  EXPECT_EQ(SelectionFill(after), kActive);
  EXPECT_EQ(DifferingPixels(after, Repainted()), 0);
  EXPECT_EQ(DifferingPixels(after, active), 0);
}

}  // namespace
}  // namespace dashtune
