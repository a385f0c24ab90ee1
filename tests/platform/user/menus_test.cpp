// Menus: items by position and command, submenu cycles, destruction, TrackPopupMenu's chooser.
#include "platform/core/errors.h"
#include "platform/user/menus.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"
#include "platform_test_support.h"
#include "user_test_window.h"

#include <gtest/gtest.h>

namespace {

using dashtune::testing::MakeWindow;
using dashtune::testing::MessageLog;
using dashtune::testing::PumpPending;

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MessageLog::Get().Clear();
    menu_ = win::CreatePopupMenu();
    submenu_ = win::CreatePopupMenu();
    win::AppendMenuA(menu_, win::MF_STRING, 10, "Play");
    win::AppendMenuA(menu_, win::MF_SEPARATOR, 0, nullptr);
    win::AppendMenuA(menu_, win::MF_STRING | win::MF_GRAYED, 11, "Stop");
    win::AppendMenuW(submenu_, win::MF_STRING | win::MF_CHECKED, 20, u"Gro\u00DF");
    win::AppendMenuA(menu_, win::MF_POPUP, reinterpret_cast<win::UINT_PTR>(submenu_), "Zoom");
  }
  void TearDown() override {
    win::SetMenuChooser(nullptr);
    win::DestroyMenu(menu_);
    PumpPending();
    MessageLog::Get().Clear();
  }
  win::HMENU menu_ = nullptr;
  win::HMENU submenu_ = nullptr;
};

TEST_F(MenuTest, ItemsReadBackByPositionAndByCommand) {
  EXPECT_EQ(win::GetMenuItemCount(menu_), 4);
  EXPECT_EQ(win::GetMenuItemID(menu_, 0), 10u);
  EXPECT_EQ(win::GetMenuItemID(menu_, 3), 0xFFFFFFFFu) << "a submenu has no command";
  EXPECT_EQ(win::GetSubMenu(menu_, 3), submenu_);
  char text[8];
  EXPECT_EQ(win::GetMenuStringA(menu_, 20, text, sizeof text, win::MF_BYCOMMAND), 5) << "found inside the submenu";
  EXPECT_STREQ(text, "Gro\xC3\x9F");
  EXPECT_EQ(win::CheckMenuItem(menu_, 20, win::MF_BYCOMMAND | win::MF_UNCHECKED), win::MF_CHECKED);

  win::MENUITEMINFOW info;
  info.fMask = win::MIIM_STRING | win::MIIM_ID | win::MIIM_STATE | win::MIIM_DATA | win::MIIM_FTYPE;
  info.fType = win::MFT_RADIOCHECK;
  info.fState = win::MFS_DEFAULT;
  info.wID = 30;
  info.dwItemData = 0xABCD;
  char16_t caption[] = u"Rename";
  info.dwTypeData = caption;
  ASSERT_TRUE(win::InsertMenuItemW(menu_, 0, win::TRUE, &info));
  EXPECT_FALSE(win::InsertMenuItemW(menu_, 999, win::FALSE, &info)) << "no command 999 to insert before";

  win::MENUITEMINFOA out;
  char buffer[4];
  out.fMask = info.fMask;
  out.dwTypeData = buffer;
  out.cch = sizeof buffer;
  ASSERT_TRUE(win::GetMenuItemInfoA(menu_, 0, win::TRUE, &out));
  EXPECT_EQ(out.wID, 30u);
  EXPECT_EQ(out.fType, win::MFT_RADIOCHECK);
  EXPECT_EQ(out.fState, win::MFS_DEFAULT);
  EXPECT_EQ(out.dwItemData, 0xABCDu);
  EXPECT_STREQ(buffer, "Ren") << "cut to the buffer";
  EXPECT_EQ(out.cch, 6u);
}

TEST_F(MenuTest, ASubmenuThatWouldMakeACycleIsRefused) {
  EXPECT_FALSE(win::AppendMenuA(submenu_, win::MF_POPUP, reinterpret_cast<win::UINT_PTR>(menu_), "Loop"));
  EXPECT_FALSE(win::AppendMenuA(menu_, win::MF_POPUP, reinterpret_cast<win::UINT_PTR>(menu_), "Self"));
  EXPECT_EQ(win::GetMenuItemCount(submenu_), 1);
}

TEST_F(MenuTest, DestroyingAMenuDestroysItsSubmenus) {
  EXPECT_TRUE(win::DeleteMenu(menu_, 3, win::MF_BYPOSITION));
  EXPECT_FALSE(win::IsMenu(submenu_));
  const win::HMENU kept = win::CreatePopupMenu();
  win::AppendMenuA(menu_, win::MF_POPUP, reinterpret_cast<win::UINT_PTR>(kept), "Kept");
  EXPECT_TRUE(win::RemoveMenu(menu_, 3, win::MF_BYPOSITION));
  EXPECT_TRUE(win::IsMenu(kept));
  win::DestroyMenu(kept);
  EXPECT_FALSE(win::IsMenu(kept));
  EXPECT_EQ(win::GetMenuItemCount(kept), -1);
}

TEST_F(MenuTest, TrackPopupMenuTakesTheChoosersPickIfItIsAnEnabledCommand) {
  const win::HWND owner = MakeWindow();
  struct Case {
    win::UINT pick;
    win::UINT answered;
  };
  for (const Case& c : {Case{0, 0}, Case{10, 10}, Case{20, 20}, Case{11, 0}, Case{99, 0}}) {
    win::POINT seen_at{};
    win::SetMenuChooser([&](win::HMENU, win::POINT at, win::HWND) {
      seen_at = at;
      return c.pick;
    });
    EXPECT_EQ(win::TrackPopupMenuEx(menu_, win::TPM_RETURNCMD | win::TPM_RIGHTBUTTON, 40, 50, owner, nullptr),
              static_cast<win::BOOL>(c.answered))
        << c.pick;
    EXPECT_EQ(seen_at.x, 40);
  }
  EXPECT_EQ(MessageLog::Get().Messages(owner, win::WM_INITMENUPOPUP, win::WM_INITMENUPOPUP).size(), 5u);

  win::SetMenuChooser([](win::HMENU, win::POINT, win::HWND) { return 10u; });
  EXPECT_TRUE(win::TrackPopupMenu(menu_, 0, 0, 0, 0, owner, nullptr));
  win::MSG msg;
  ASSERT_TRUE(win::PeekMessageA(&msg, owner, win::WM_COMMAND, win::WM_COMMAND, win::PM_REMOVE));
  EXPECT_EQ(msg.wParam, 10u);
  win::SetMenuChooser(nullptr);
  EXPECT_EQ(win::TrackPopupMenuEx(menu_, win::TPM_RETURNCMD, 0, 0, owner, nullptr), 0) << "headless: nothing chosen";
  win::DestroyWindow(owner);
}

}  // namespace
