// The on-screen menu chooser: keys, clicks on items and elsewhere, Escape, WM_QUIT posted again,
// the owner going away, placement on the screen, the top-most window and its painted items.
#include "platform/user/menu_window.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"
#include "platform/text/text.h"
#include "platform/user/input_state.h"
#include "platform/user/menus.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/surfaces.h"
#include "platform/user/system_metrics.h"
#include "platform/user/timers.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"
#include "platform_test_support.h"
#include "user_test_window.h"

namespace {

constexpr win::WPARAM kEscape = 0x1B, kReturn = 0x0D, kUp = 0x26, kDown = 0x28;

// A COLORREF as the surface's 0xRRGGBB.
std::uint32_t Pixel(win::COLORREF colour) {
  return ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

win::LPARAM Point(int x, int y) { return win::MAKELPARAM(static_cast<win::WORD>(x), static_cast<win::WORD>(y)); }

// What to do with the menu window once the loop runs (from a timer inside the loop).
std::function<void(win::HWND menu_window)> g_action;
void RunAction(win::HWND, win::UINT, win::UINT_PTR id, win::DWORD) {
  win::KillTimer(nullptr, id);
  if (g_action) g_action(win::FindWindowA(win::MENU_WINDOW_CLASSA, nullptr));
}

// The height of one item: the menu font's height and 6.
int ItemHeight() {
  const win::HDC dc = win::GetDC(nullptr);
  win::TEXTMETRICW metrics{};
  {
    const win::ScopedSelect font(dc, win::GetStockObject(win::DEFAULT_GUI_FONT));
    win::GetTextMetricsW(dc, &metrics);
  }
  win::ReleaseDC(nullptr, dc);
  return metrics.tmHeight + 6;
}

class MenuWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Open (1), a line, Greyed (2, disabled), Close (3).
    menu_ = win::CreatePopupMenu();
    win::AppendMenuA(menu_, win::MF_STRING, 1, "Open");
    win::AppendMenuA(menu_, win::MF_SEPARATOR, 0, nullptr);
    win::AppendMenuA(menu_, win::MF_STRING | win::MF_GRAYED, 2, "Greyed");
    win::AppendMenuA(menu_, win::MF_STRING, 3, "Close");
  }
  void TearDown() override {
    win::DestroyMenu(menu_);
    g_action = nullptr;
    dashtune::testing::PumpPending();
  }
  // Runs the chooser with `action` done from inside its loop.
  win::UINT Choose(std::function<void(win::HWND)> action, win::POINT at = {20, 30}, win::HWND owner = nullptr) {
    g_action = std::move(action);
    win::SetTimer(nullptr, 0, 0, &RunAction);
    return win::ChooseFromMenuWindow(menu_, at, owner);
  }
  // The middle of item `index` (separators 9 high) in client coordinates.
  static win::LPARAM ItemPoint(int index) {
    const int heights[] = {ItemHeight(), 9, ItemHeight(), ItemHeight()};
    int y = 2;
    for (int i = 0; i < index; ++i) y += heights[i];
    return Point(30, y + heights[index] / 2);
  }
  win::HMENU menu_ = nullptr;
};

TEST_F(MenuWindowTest, AClickReleasedOnAnEnabledCommandPicksIt) {
  EXPECT_EQ(Choose([](win::HWND window) {
              win::SendMessageA(window, win::WM_LBUTTONDOWN, win::MK_LBUTTON, ItemPoint(3));
              win::SendMessageA(window, win::WM_LBUTTONUP, 0, ItemPoint(3));
            }),
            3u);
}

TEST_F(MenuWindowTest, TheDisabledItemAndTheSeparatorPickNothingAndTheMenuStays) {
  EXPECT_EQ(Choose([](win::HWND window) {
              win::SendMessageA(window, win::WM_LBUTTONUP, 0, ItemPoint(2));
              win::SendMessageA(window, win::WM_LBUTTONUP, 0, ItemPoint(1));
              ASSERT_TRUE(win::IsWindow(window));
              win::SendMessageA(window, win::WM_LBUTTONUP, 0, ItemPoint(0));
            }),
            1u);
}

TEST_F(MenuWindowTest, KeysMoveOverChoosableItemsOnly) {
  struct Case {
    std::vector<win::WPARAM> keys;
    win::UINT chosen;
  };
  for (const Case& c : {Case{{kDown, kReturn}, 1}, Case{{kDown, kDown, kReturn}, 3}, Case{{kUp, kReturn}, 3},
                        Case{{kDown, kDown, kDown, kReturn}, 1}, Case{{kReturn, kEscape}, 0}, Case{{kEscape}, 0}}) {
    for (const win::WPARAM key : c.keys) win::PostMessageA(nullptr, win::WM_KEYDOWN, key, 1);
    EXPECT_EQ(win::ChooseFromMenuWindow(menu_, win::POINT{5, 5}, nullptr), c.chosen);
    dashtune::testing::PumpPending();
  }
}

TEST_F(MenuWindowTest, APressOutsideOrLosingTheCaptureDismisses) {
  EXPECT_EQ(Choose([](win::HWND window) {
              win::SendMessageA(window, win::WM_LBUTTONDOWN, win::MK_LBUTTON, Point(-4, 3));
              win::SendMessageA(window, win::WM_LBUTTONUP, 0, ItemPoint(0));  // too late
            }),
            0u);
  EXPECT_EQ(Choose([](win::HWND) { win::ReleaseCapture(); }), 0u);
  EXPECT_EQ(win::FindWindowA(win::MENU_WINDOW_CLASSA, nullptr), nullptr) << "the window is gone";
}

TEST_F(MenuWindowTest, QuitEndsTheLoopAndIsPostedAgain) {
  EXPECT_EQ(Choose([](win::HWND) { win::PostQuitMessage(7); }), 0u);
  win::MSG msg{};
  ASSERT_TRUE(win::PeekMessageA(&msg, nullptr, win::WM_QUIT, win::WM_QUIT, win::PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(MenuWindowTest, TheOwnerGoingAwayEndsTheLoop) {
  const win::HWND owner = dashtune::testing::MakeWindow(nullptr);
  EXPECT_EQ(Choose([owner](win::HWND) { win::DestroyWindow(owner); }, {20, 30}, owner), 0u);
}

TEST_F(MenuWindowTest, ATopMostWindowOnTheScreenWithTheHotItemHighlighted) {
  const win::POINT near_corner{win::GetSystemMetrics(win::SM_CXSCREEN) - 3, win::GetSystemMetrics(win::SM_CYSCREEN) - 3};
  win::RECT placed{};
  win::DWORD ex_style = 0;
  win::WindowPixels pixels;
  EXPECT_EQ(Choose(
                [&](win::HWND window) {
                  win::GetWindowRect(window, &placed);
                  ex_style = static_cast<win::DWORD>(win::GetWindowLongA(window, win::GWL_EXSTYLE));
                  win::SendMessageA(window, win::WM_MOUSEMOVE, 0, ItemPoint(3));
                  win::UpdateWindow(window);
                  win::ReadWindowPixels(window, &pixels);
                  win::PostMessageA(nullptr, win::WM_KEYDOWN, kEscape, 1);
                },
                near_corner),
            0u);
  EXPECT_NE(ex_style & win::WS_EX_TOPMOST, 0u);
  EXPECT_EQ(placed.right, win::GetSystemMetrics(win::SM_CXSCREEN)) << "moved back onto the screen";
  EXPECT_EQ(placed.bottom, win::GetSystemMetrics(win::SM_CYSCREEN));
  ASSERT_GT(pixels.width, 0);
  const win::LPARAM hot = ItemPoint(3), cold = ItemPoint(0);
  EXPECT_EQ(pixels.At(4, win::HIWORD(hot)), Pixel(win::GetSysColor(win::COLOR_HIGHLIGHT)));
  EXPECT_EQ(pixels.At(4, win::HIWORD(cold)), Pixel(win::GetSysColor(win::COLOR_MENU)));
}

TEST_F(MenuWindowTest, TrackPopupMenuThroughTheChooser) {
  const win::MenuChooser previous = win::SetMenuChooser(&win::ChooseFromMenuWindow);
  g_action = [](win::HWND window) { win::SendMessageA(window, win::WM_LBUTTONUP, 0, ItemPoint(0)); };
  win::SetTimer(nullptr, 0, 0, &RunAction);
  EXPECT_EQ(win::TrackPopupMenuEx(menu_, win::TPM_RETURNCMD, 10, 10, nullptr, nullptr), 1);
  win::SetMenuChooser(previous);
}

}  // namespace
