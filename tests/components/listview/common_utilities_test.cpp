// Drawing services of the common units: invalidation only for controls that have a window.
#include <gtest/gtest.h>

#include "classlib/controls.h"
#include "classlib/form.h"
#include "components/listview/common/common_utilities.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"

namespace dashtune {
namespace {

class TCountingControl : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  int paints = 0;

 protected:
  void Paint() override { ++paints; }
};

TEST(SafeInvalidateRect, LeavesAControlWithoutAWindowWithoutOne) {
  TCountingControl control(nullptr);
  common::SafeInvalidateRect(&control, nullptr, true);
  EXPECT_FALSE(control.HandleAllocated());
  EXPECT_EQ(control.paints, 0);
}

TEST(SafeInvalidateRect, InvalidatesTheRectangleAndPaintsAtOnceWhenAsked) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 60, 40);
  auto* control = new TCountingControl(&form);
  control->SetParent(&form);
  control->SetBounds(0, 0, 40, 30);
  form.Show();
  win::UpdateWindow(form.GetHandle());
  const int before = control->paints;

  const win::RECT part{2, 3, 12, 13};
  common::SafeInvalidateRect(control, &part, false);
  win::RECT update{};
  ASSERT_TRUE(win::GetUpdateRect(control->GetHandle(), &update, win::FALSE));
  EXPECT_EQ(update.left, 2);
  EXPECT_EQ(update.top, 3);
  EXPECT_EQ(update.right, 12);
  EXPECT_EQ(update.bottom, 13);
  EXPECT_EQ(control->paints, before);

  common::SafeInvalidateRect(control, nullptr, true);
  EXPECT_EQ(control->paints, before + 1);
  EXPECT_FALSE(win::GetUpdateRect(control->GetHandle(), &update, win::FALSE));
}

}  // namespace
}  // namespace dashtune
