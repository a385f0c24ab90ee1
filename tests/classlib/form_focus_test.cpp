// Where the keyboard focus goes on a form: a shown form focuses its active control or its first
// control that has TabStop and can take the focus; a pressed button focuses such a control; the
// form's active control follows the focus. Headless, then through X key and pointer events
// (xdotool on Xvfb) with no SetFocus call anywhere in the test.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/controls.h"
#include "classlib/form.h"
#include "platform/present/presenter.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform_test_support.h"
#include "xvfb_suite.h"

namespace dashtune {
namespace {

// A window control that records the keys it gets.
class TKeyTaker : public TCustomControl {
 public:
  TKeyTaker(TWinControl* parent, const std::string& name, win::RECT bounds, bool tab_stop) : TCustomControl(parent) {
    SetParent(parent);
    SetName(name);
    SetBoundsRect(bounds);
    SetTabStop(tab_stop);
    OnKeyDown = [this](TObject*, std::uint16_t& key, TShiftState) { keys += GetName() + ":" + std::to_string(key) + ";"; };
  }
  static std::string keys;
};

std::string TKeyTaker::keys;

win::LPARAM Point(int x, int y) { return win::MAKELPARAM(static_cast<win::WORD>(x), static_cast<win::WORD>(y)); }

std::string FocusedName() {
  TWinControl* control = FindControl(win::GetFocus());
  return control != nullptr ? control->GetName() : "";
}

struct ShowCase {
  const char* name;
  bool first_hidden;
  bool first_disabled;
  bool first_without_tab_stop;
  const char* active;  // name of the active control set before Show, or ""
  const char* focused;
};

class FormFocusOnShow : public ::testing::TestWithParam<ShowCase> {};

TEST_P(FormFocusOnShow, TheActiveOrFirstFocusableControlTakesTheFocus) {
  const ShowCase& c = GetParam();
  TForm form(nullptr);
  // A panel without TabStop holds "first"; "second" and "third" follow on the form.
  auto* panel = new TKeyTaker(&form, "panel", {0, 0, 100, 50}, false);
  auto* first = new TKeyTaker(panel, "first", {0, 0, 40, 20}, !c.first_without_tab_stop);
  auto* second = new TKeyTaker(&form, "second", {0, 60, 40, 80}, true);
  auto* third = new TKeyTaker(&form, "third", {50, 60, 90, 80}, true);
  first->SetVisible(!c.first_hidden);
  first->SetEnabled(!c.first_disabled);
  if (std::string(c.active) == "third") form.SetActiveControl(third);
  if (std::string(c.active) == "first") form.SetActiveControl(first);
  EXPECT_EQ(FocusedName(), "") << "nothing is focused before the form shows";
  form.Show();
  EXPECT_EQ(FocusedName(), c.focused);
  EXPECT_EQ(form.GetActiveControl() != nullptr ? form.GetActiveControl()->GetName() : "", c.focused);
  (void)second;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormFocusOnShow,
    ::testing::Values(ShowCase{"FirstInChildOrderInsideAPanel", false, false, false, "", "first"},
                      ShowCase{"HiddenIsSkipped", true, false, false, "", "second"},
                      ShowCase{"DisabledIsSkipped", false, true, false, "", "second"},
                      ShowCase{"WithoutTabStopIsSkipped", false, false, true, "", "second"},
                      ShowCase{"TheActiveControlWins", false, false, false, "third", "third"},
                      ShowCase{"AnActiveControlThatCannotFocusGivesWay", false, true, false, "first", "second"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FormFocus, APressedButtonFocusesATabStopControlAndTheFormFollows) {
  TForm form(nullptr);
  auto* first = new TKeyTaker(&form, "first", {0, 0, 40, 20}, true);
  auto* second = new TKeyTaker(&form, "second", {50, 0, 90, 20}, true);
  auto* plain = new TKeyTaker(&form, "plain", {0, 30, 40, 50}, false);
  form.Show();
  ASSERT_EQ(FocusedName(), "first");
  const std::vector<std::pair<win::UINT, TKeyTaker*>> presses = {
      {win::WM_LBUTTONDOWN, second}, {win::WM_RBUTTONDOWN, first}, {win::WM_LBUTTONDBLCLK, second}};
  for (const auto& [message, target] : presses) {
    target->Perform(message, 0, Point(3, 3));
    EXPECT_EQ(FocusedName(), target->GetName()) << message;
    EXPECT_EQ(form.GetActiveControl(), target);
  }
  // A control without TabStop leaves the focus where it is; so does a move.
  plain->Perform(win::WM_LBUTTONDOWN, 0, Point(3, 3));
  first->Perform(win::WM_MOUSEMOVE, 0, Point(3, 3));
  EXPECT_EQ(FocusedName(), "second");
  // Focus set from outside the form's own calls is followed too.
  win::SetFocus(first->GetHandle());
  EXPECT_EQ(form.GetActiveControl(), first);
}

TEST(FormFocus, SettingTheActiveControlOfAShowingFormFocusesItAndAFreedOneIsForgotten) {
  TForm form(nullptr);
  auto* first = new TKeyTaker(&form, "first", {0, 0, 40, 20}, true);
  auto* second = new TKeyTaker(&form, "second", {50, 0, 90, 20}, true);
  form.Show();
  form.SetActiveControl(second);
  EXPECT_EQ(FocusedName(), "second");
  delete second;
  EXPECT_EQ(form.GetActiveControl(), nullptr);
  form.SetActiveControl(first);
  EXPECT_EQ(FocusedName(), "first");
}

// A control that leaves while it holds the focus: hidden, freed, or taken off its parent.
enum class Leaving { kHideIt, kHideItsPanel, kFreeIt, kFreeItsPanel, kTakeItOff, kHideItInADisabledPanel, kHideAnother };

struct LeaveCase {
  const char* name;
  Leaving leaving;
  const char* focused;  // the control holding the focus afterwards
  const char* active;   // the form's active control afterwards, "" for none
  const char* events;   // the focus events, in order
};

class FormFocusOnLeaving : public ::testing::TestWithParam<LeaveCase> {};

TEST_P(FormFocusOnLeaving, TheFocusGoesToTheNearestHolderThatCanTakeIt) {
  const LeaveCase& c = GetParam();
  std::string events;  // outlives the form, whose end still reports focus events
  TForm form(nullptr);
  form.SetName("form");
  // The panel, without TabStop, holds "inner", which takes the focus when the form shows.
  auto* panel = new TKeyTaker(&form, "panel", {0, 0, 100, 50}, false);
  auto* inner = new TKeyTaker(panel, "inner", {0, 0, 40, 20}, true);
  auto* other = new TKeyTaker(&form, "other", {0, 60, 40, 80}, true);
  for (TWinControl* control : std::vector<TWinControl*>{&form, panel, inner, other}) {
    control->OnEnter = [&events, control](TObject*) { events += "enter " + control->GetName() + ";"; };
    control->OnExit = [&events, control](TObject*) { events += "exit " + control->GetName() + ";"; };
  }
  form.Show();
  ASSERT_EQ(FocusedName(), "inner");
  events.clear();
  switch (c.leaving) {
    case Leaving::kHideIt: inner->SetVisible(false); break;
    case Leaving::kHideItsPanel: panel->SetVisible(false); break;
    case Leaving::kFreeIt: delete inner; break;
    case Leaving::kFreeItsPanel: delete panel; break;
    case Leaving::kTakeItOff: inner->SetParent(nullptr); break;
    case Leaving::kHideItInADisabledPanel:
      panel->SetEnabled(false);
      inner->SetVisible(false);
      break;
    case Leaving::kHideAnother: other->SetVisible(false); break;
  }
  EXPECT_EQ(FocusedName(), c.focused);
  EXPECT_EQ(form.GetActiveControl() != nullptr ? form.GetActiveControl()->GetName() : "", c.active);
  EXPECT_EQ(events, c.events);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormFocusOnLeaving,
    ::testing::Values(
        LeaveCase{"HidingTheFocusedControl", Leaving::kHideIt, "panel", "panel", "exit inner;enter panel;"},
        LeaveCase{"HidingItsHolder", Leaving::kHideItsPanel, "form", "", "exit inner;enter form;"},
        LeaveCase{"FreeingTheFocusedControl", Leaving::kFreeIt, "panel", "panel", "exit inner;enter panel;"},
        LeaveCase{"FreeingItsHolder", Leaving::kFreeItsPanel, "form", "", "exit inner;enter form;"},
        LeaveCase{"TakingItOffItsHolder", Leaving::kTakeItOff, "panel", "panel", "exit inner;enter panel;"},
        LeaveCase{"AHolderThatCannotTakeItIsPassed", Leaving::kHideItInADisabledPanel, "form", "",
                  "exit inner;enter form;"},
        LeaveCase{"HidingAnotherControlLeavesTheFocus", Leaving::kHideAnother, "inner", "inner", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// On a display: keys typed after the form shows reach its first control; a click moves them to
// another.
class FormFocusScreenIntegration : public dashtune::testing::XvfbSuite {};

TEST_F(FormFocusScreenIntegration, XKeysReachTheShownFormsControlAndFollowAClick) {
  TKeyTaker::keys.clear();
  TForm form(nullptr);
  form.SetBounds(0, 0, 200, 100);
  new TKeyTaker(&form, "left", {0, 0, 90, 90}, true);
  new TKeyTaker(&form, "right", {100, 0, 190, 90}, true);
  form.Show();
  ASSERT_TRUE(presenter_->Flush());
  const auto xdotool = [&](std::vector<std::string> args) {
    return dashtune::testing::RunXdotool(DisplayName(), std::move(args));
  };
  // The pointer rests over the form: the display gives its keys to the window under it.
  ASSERT_TRUE(xdotool({"mousemove", "150", "50", "key", "Down"}));
  ASSERT_TRUE(dashtune::testing::PumpUntil([] { return !TKeyTaker::keys.empty(); }, std::chrono::seconds(10)));
  ASSERT_TRUE(xdotool({"click", "1"}));
  ASSERT_TRUE(dashtune::testing::PumpUntil([&] { return form.GetActiveControl()->GetName() == "right"; },
                                           std::chrono::seconds(10)));
  ASSERT_TRUE(xdotool({"key", "Up"}));
  ASSERT_TRUE(dashtune::testing::PumpUntil([] { return TKeyTaker::keys.find("right") != std::string::npos; },
                                           std::chrono::seconds(10)));
  EXPECT_EQ(TKeyTaker::keys, "left:40;right:38;");
}

}  // namespace
}  // namespace dashtune
