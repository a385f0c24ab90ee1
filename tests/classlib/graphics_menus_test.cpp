// Popup menus and the track bar control: a released right button showing a control's popup menu
// at the pointer (or at the control for a keyboard request), only enabled and visible items
// offered, the chosen item's click, the menu forgotten when it goes; the track bar's range rules,
// the user's drag raising OnChange, and the bar painted on a shown form.
#include <gtest/gtest.h>

#include <vector>

#include "classlib/controls.h"
#include "classlib/form.h"
#include "classlib/menus.h"
#include "classlib/sysutils.h"
#include "classlib/track_bar.h"
#include "platform/user/menus.h"
#include "platform/user/messages.h"
#include "platform/user/surfaces.h"
#include "platform/user/window_position.h"

namespace dashtune {
namespace {

win::LPARAM Point(int x, int y) { return win::MAKELPARAM(static_cast<win::WORD>(x), static_cast<win::WORD>(y)); }

// Records what the menu chooser was shown and picks a command.
class ChooserScope {
 public:
  explicit ChooserScope(win::UINT pick) {
    previous_ = win::SetMenuChooser([this, pick](win::HMENU menu, win::POINT at, win::HWND) {
      shown_at = at;
      offered = win::GetMenuItemCount(menu);
      return pick;
    });
  }
  ~ChooserScope() { win::SetMenuChooser(previous_); }
  win::POINT shown_at{-100, -100};
  int offered = -1;

 private:
  win::MenuChooser previous_;
};

class PopupMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_.SetBounds(100, 50, 300, 200);
    control_ = new TCustomControl(&form_);
    control_->SetParent(&form_);
    control_->SetBounds(10, 20, 100, 50);
    control_->HandleNeeded();
    for (const char* caption : {"Play", "Pause", "Hidden"}) {
      auto* item = new TMenuItem(nullptr);
      item->SetCaption(caption);
      item->OnClick = [this, caption](TObject*) { clicked_.push_back(caption); };
      menu_.GetItems()->Add(item);
    }
    menu_.GetItems()->GetItem(1)->SetEnabled(false);
    menu_.GetItems()->GetItem(2)->SetVisible(false);
    control_->SetPopupMenu(&menu_);
  }
  TForm form_{nullptr};
  TCustomControl* control_ = nullptr;  // owned by the form
  TPopupMenu menu_{nullptr};
  std::vector<std::string> clicked_;
};

TEST_F(PopupMenuTest, AReleasedRightButtonShowsTheMenuAtThePointer) {
  ChooserScope chooser(menu_.GetItems()->GetItem(0)->GetCommand());
  int popups = 0;
  menu_.OnPopup = [&](TObject*) { ++popups; };
  control_->Perform(win::WM_RBUTTONUP, 0, Point(5, 6));
  EXPECT_EQ(popups, 1);
  EXPECT_EQ(chooser.offered, 2) << "the hidden item is left out";
  EXPECT_EQ(chooser.shown_at.x, 100 + 10 + 5);
  EXPECT_EQ(chooser.shown_at.y, 50 + 20 + 6);
  EXPECT_EQ(clicked_, std::vector<std::string>{"Play"});
  EXPECT_EQ(menu_.GetPopupComponent(), control_);
}

TEST_F(PopupMenuTest, AKeyboardRequestShowsTheMenuAtTheControl) {
  ChooserScope chooser(0);
  EXPECT_EQ(control_->Perform(win::WM_CONTEXTMENU, 0, Point(0xFFFF, 0xFFFF)), 1);
  EXPECT_EQ(chooser.shown_at.x, 110);
  EXPECT_EQ(chooser.shown_at.y, 70);
  EXPECT_TRUE(clicked_.empty()) << "dismissed";
}

TEST_F(PopupMenuTest, ADisabledItemCannotBeChosenAndAutoPopupOffShowsNothing) {
  {
    ChooserScope chooser(menu_.GetItems()->GetItem(1)->GetCommand());
    control_->Perform(win::WM_CONTEXTMENU, 0, Point(1, 1));
    EXPECT_TRUE(clicked_.empty());
  }
  ChooserScope chooser(menu_.GetItems()->GetItem(0)->GetCommand());
  menu_.SetAutoPopup(false);
  control_->Perform(win::WM_CONTEXTMENU, 0, Point(1, 1));
  EXPECT_EQ(chooser.offered, -1);
}

TEST_F(PopupMenuTest, AMenuThatGoesIsForgotten) {
  auto* menu = new TPopupMenu(nullptr);
  control_->SetPopupMenu(menu);
  delete menu;
  EXPECT_EQ(control_->GetPopupMenu(), nullptr);
  ChooserScope chooser(0);
  control_->Perform(win::WM_CONTEXTMENU, 0, Point(1, 1));
  EXPECT_EQ(chooser.offered, -1);
}

TEST(MenuItems, ItemsLeaveTheirParentAndFreeTheirOwn) {
  TMenuItem root(nullptr);
  auto* child = new TMenuItem(nullptr);
  auto* grandchild = new TMenuItem(nullptr);
  root.Add(child);
  child->Add(grandchild);
  EXPECT_EQ(root.FindCommand(grandchild->GetCommand()), grandchild);
  EXPECT_THROW(root.GetItem(1), EListError);
  delete child;  // takes the grandchild along
  EXPECT_EQ(root.GetCount(), 0);
}

TEST(TrackBars, KeepThePositionInTheRangeAndTellOfChanges) {
  TForm form(nullptr);
  auto* bar = new TTrackBar(&form);
  bar->SetParent(&form);
  int changes = 0;
  bar->OnChange = [&](TObject*) { ++changes; };
  EXPECT_EQ(bar->GetMax(), 10);
  bar->SetMax(1000);
  bar->SetPosition(1500);
  EXPECT_EQ(bar->GetPosition(), 1000);
  EXPECT_THROW(bar->SetMin(2000), EInvalidOperation);
  EXPECT_EQ(changes, 1);
  // The window takes the values; the user's drag moves the position and tells of it.
  bar->SetBounds(0, 0, 214, 30);
  bar->HandleNeeded();
  bar->Perform(win::WM_LBUTTONDOWN, win::MK_LBUTTON, Point(7 + 50, 15));
  bar->Perform(win::WM_MOUSEMOVE, win::MK_LBUTTON, Point(7 + 100, 15));
  bar->Perform(win::WM_LBUTTONUP, 0, Point(7 + 100, 15));
  EXPECT_EQ(bar->GetPosition(), 500);
  EXPECT_EQ(changes, 3);
}

TEST(TrackBars, PaintOnAShownForm) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 240, 60);
  form.SetColor(clRed);
  auto* bar = new TTrackBar(&form);
  bar->SetParent(&form);
  bar->SetBounds(10, 10, 214, 30);
  form.Show();
  form.Update();
  win::WindowPixels pixels;
  ASSERT_TRUE(win::ReadWindowPixels(bar->GetHandle(), &pixels));
  // The bar's face, not the form's red, where neither the channel nor the thumb lies.
  const win::COLORREF face = ColorToRGB(clBtnFace);
  EXPECT_EQ(pixels.At(1, 1), (face & 0xFF) << 16 | (face & 0xFF00) | (face >> 16 & 0xFF));
}

}  // namespace
}  // namespace dashtune
