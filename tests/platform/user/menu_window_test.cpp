// The on-screen menu chooser: keys, clicks on items and elsewhere, Escape, WM_QUIT posted again,
// the owner going away, placement on the screen, the top-most window, its painted items (marks,
// bold default, grey, arrows, columns, right to left) and submenus opened and picked from.
#include "platform/user/menu_window.h"

#include <gtest/gtest.h>

#include <algorithm>
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
#include "menu_test_items.h"
#include "user_test_window.h"

namespace {

constexpr win::WPARAM kEscape = 0x1B, kReturn = 0x0D, kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28;

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

// --- what items carry, drawn, and submenus ---------------------------------------------------

constexpr int kMark = 18;  // the room for marks before the text and for arrows after it

void AddItem(win::HMENU menu, const char16_t* text, win::UINT id, win::UINT type, win::UINT state,
             win::HMENU submenu = nullptr) {
  ASSERT_TRUE(dashtune::testing::AddMenuItem(menu, text, id, type, state, submenu));
}

// The pixels of exactly `colour` in a rectangle of the window's pixels.
int CountColour(const win::WindowPixels& pixels, const win::RECT& r, win::COLORREF colour) {
  int count = 0;
  for (int y = std::max<int>(r.top, 0); y < std::min<int>(r.bottom, pixels.height); ++y)
    for (int x = std::max<int>(r.left, 0); x < std::min<int>(r.right, pixels.width); ++x)
      count += pixels.At(x, y) == Pixel(colour) ? 1 : 0;
  return count;
}

// Every menu window up now, the menu first (it holds the capture), then its open submenus.
std::vector<win::HWND> MenuWindows() {
  std::vector<win::HWND> windows{win::GetCapture()};
  for (win::HWND w = win::FindWindowExA(nullptr, nullptr, win::MENU_WINDOW_CLASSA, nullptr); w != nullptr;
       w = win::FindWindowExA(nullptr, w, win::MENU_WINDOW_CLASSA, nullptr))
    if (w != windows[0]) windows.push_back(w);
  return windows;
}

// Row `row` of a one-column menu of equal items: its rectangle in the window's client area.
win::RECT Row(const win::WindowPixels& pixels, int row) {
  const int top = 2 + row * ItemHeight();
  return win::RECT{2, top, pixels.width - 2, top + ItemHeight()};
}

win::RECT Left(const win::RECT& r, int width) { return win::RECT{r.left, r.top, r.left + width, r.bottom}; }
win::RECT Right(const win::RECT& r, int width) { return win::RECT{r.right - width, r.top, r.right, r.bottom}; }
win::RECT Between(const win::RECT& r) { return win::RECT{r.left + kMark, r.top, r.right - kMark, r.bottom}; }

class DrawnMenuTest : public ::testing::Test {
 protected:
  void SetUp() override { menu_ = win::CreatePopupMenu(); }
  void TearDown() override {
    win::DestroyMenu(menu_);
    g_action = nullptr;
    dashtune::testing::PumpPending();
  }
  // Shows the menu, reads the pixels of its window and dismisses it.
  win::WindowPixels Shown() {
    win::WindowPixels pixels;
    g_action = [&pixels](win::HWND window) {
      win::ReadWindowPixels(window, &pixels);
      win::PostMessageA(nullptr, win::WM_KEYDOWN, kEscape, 1);
    };
    win::SetTimer(nullptr, 0, 0, &RunAction);
    EXPECT_EQ(win::ChooseFromMenuWindow(menu_, win::POINT{10, 10}, nullptr), 0u);
    return pixels;
  }
  win::HMENU menu_ = nullptr;
};

TEST_F(DrawnMenuTest, MarksBoldDefaultGreyTextAndSubmenuArrows) {
  const win::COLORREF ink = win::GetSysColor(win::COLOR_MENUTEXT), grey = win::GetSysColor(win::COLOR_GRAYTEXT);
  const win::HMENU sub = win::CreatePopupMenu();
  AddItem(sub, u"Inner", 10, win::MFT_STRING, 0);
  AddItem(menu_, u"Open", 1, win::MFT_STRING, win::MFS_DEFAULT);
  AddItem(menu_, u"Open", 2, win::MFT_STRING, win::MFS_CHECKED);
  AddItem(menu_, u"Open", 3, win::MFT_STRING, win::MFS_GRAYED);
  AddItem(menu_, u"Open", 4, win::MFT_RADIOCHECK, win::MFS_CHECKED);
  AddItem(menu_, u"Open", 0, win::MFT_STRING, 0, sub);
  const win::WindowPixels pixels = Shown();
  ASSERT_EQ(pixels.height, 4 + 5 * ItemHeight());
  const int bold = CountColour(pixels, Between(Row(pixels, 0)), ink);
  const int regular = CountColour(pixels, Between(Row(pixels, 1)), ink);
  EXPECT_GT(regular, 0);
  EXPECT_GT(bold, regular) << "the default item is drawn bold";
  EXPECT_EQ(CountColour(pixels, Between(Row(pixels, 2)), ink), 0) << "the disabled item has no black ink";
  EXPECT_GT(CountColour(pixels, Between(Row(pixels, 2)), grey), 0) << "but grey ink";
  // The marks: a check of 21 pixels, a dot of 32; nothing beside the other items.
  const struct {
    int row;
    int mark;
    int arrow;
  } marks[] = {{0, 0, 0}, {1, 21, 0}, {2, 0, 0}, {3, 32, 0}, {4, 0, 16}};
  for (const auto& m : marks) {
    EXPECT_EQ(CountColour(pixels, Left(Row(pixels, m.row), kMark), ink), m.mark) << "row " << m.row;
    EXPECT_EQ(CountColour(pixels, Right(Row(pixels, m.row), kMark), ink), m.arrow) << "row " << m.row;
  }
}

TEST_F(DrawnMenuTest, ARightToLeftMenuIsMirrored) {
  AddItem(menu_, u"Eins", 1, win::MFT_RIGHTJUSTIFY, win::MFS_CHECKED);
  AddItem(menu_, u"Zweiundzwanzig", 2, win::MFT_RIGHTJUSTIFY, 0);
  const win::COLORREF ink = win::GetSysColor(win::COLOR_MENUTEXT);
  const win::WindowPixels pixels = Shown();
  const win::RECT first = Row(pixels, 0);
  EXPECT_EQ(CountColour(pixels, Right(first, kMark), ink), 21) << "the check mark on the right";
  EXPECT_EQ(CountColour(pixels, Left(first, kMark), ink), 0);
  // The short text lies at the right end of its row: its left half is empty.
  const win::RECT text = Between(first);
  EXPECT_EQ(CountColour(pixels, win::RECT{text.left, text.top, (text.left + text.right) / 2, text.bottom}, ink), 0);
  EXPECT_GT(CountColour(pixels, win::RECT{(text.left + text.right) / 2, text.top, text.right, text.bottom}, ink), 0);
}

TEST_F(DrawnMenuTest, BreaksStartColumnsABarBreakBehindALine) {
  AddItem(menu_, u"A", 1, win::MFT_STRING, 0);
  AddItem(menu_, u"B", 2, win::MFT_STRING, 0);
  AddItem(menu_, u"C", 3, win::MFT_MENUBREAK, 0);
  AddItem(menu_, u"D", 4, win::MFT_MENUBARBREAK, 0);
  // Columns of "A", "B" / "C" / "D": two rows high, three columns; the pointer over "D" lights
  // the top right corner only.
  win::WindowPixels pixels;
  g_action = [&pixels](win::HWND window) {
    win::RECT client{};
    win::GetClientRect(window, &client);
    win::SendMessageA(window, win::WM_MOUSEMOVE, 0, Point(client.right - 4, 4));
    win::UpdateWindow(window);
    win::ReadWindowPixels(window, &pixels);
    win::SendMessageA(window, win::WM_LBUTTONUP, 0, Point(client.right - 4, 4));
  };
  win::SetTimer(nullptr, 0, 0, &RunAction);
  EXPECT_EQ(win::ChooseFromMenuWindow(menu_, win::POINT{10, 10}, nullptr), 4u);
  ASSERT_EQ(pixels.height, 4 + 2 * ItemHeight());
  const std::uint32_t light = Pixel(win::GetSysColor(win::COLOR_HIGHLIGHT));
  EXPECT_EQ(pixels.At(pixels.width - 4, 4), light);
  EXPECT_NE(pixels.At(4, 4), light);
  EXPECT_NE(pixels.At(pixels.width - 4, 4 + ItemHeight()), light) << "nothing under D";
  // A bar break draws one etched line, the plain break none: count the columns of shadow.
  const std::uint32_t shadow = Pixel(win::GetSysColor(win::COLOR_BTNSHADOW));
  int lines = 0;
  for (int x = 3; x < pixels.width - 3; ++x) lines += pixels.At(x, 2 + ItemHeight()) == shadow ? 1 : 0;
  EXPECT_EQ(lines, 1);
}

TEST_F(DrawnMenuTest, ARightToLeftMenuStartsItsColumnsOnTheRight) {
  AddItem(menu_, u"Eins", 1, win::MFT_RIGHTJUSTIFY, 0);
  AddItem(menu_, u"Zwei", 2, win::MFT_RIGHTJUSTIFY | win::MFT_MENUBREAK, 0);
  g_action = [](win::HWND window) {
    win::RECT client{};
    win::GetClientRect(window, &client);
    win::SendMessageA(window, win::WM_LBUTTONUP, 0, Point(client.right - 4, 4));
  };
  win::SetTimer(nullptr, 0, 0, &RunAction);
  EXPECT_EQ(win::ChooseFromMenuWindow(menu_, win::POINT{10, 10}, nullptr), 1u);
}

// Items of a menu with a submenu: Open (1), More > {Inner (10), Deeper > {Deepest (20)}}, Close (3).
class SubmenuTest : public DrawnMenuTest {
 protected:
  void SetUp() override {
    DrawnMenuTest::SetUp();
    deeper_ = win::CreatePopupMenu();
    AddItem(deeper_, u"Deepest", 20, win::MFT_STRING, 0);
    more_ = win::CreatePopupMenu();
    AddItem(more_, u"Inner", 10, win::MFT_STRING, 0);
    AddItem(more_, u"Deeper", 0, win::MFT_STRING, 0, deeper_);
    AddItem(menu_, u"Open", 1, win::MFT_STRING, 0);
    AddItem(menu_, u"More", 0, win::MFT_STRING, 0, more_);
    AddItem(menu_, u"Close", 3, win::MFT_STRING, 0);
  }
  static win::LPARAM RowPoint(int row) { return Point(30, 2 + row * ItemHeight() + ItemHeight() / 2); }
  // A point of row `row` of `window`, in the client coordinates of the window with the capture.
  static win::LPARAM CapturedPoint(win::HWND window, int row) {
    win::POINT p{30, 2 + row * ItemHeight() + ItemHeight() / 2};
    win::ClientToScreen(window, &p);
    win::ScreenToClient(win::GetCapture(), &p);
    return Point(p.x, p.y);
  }
  win::HMENU more_ = nullptr, deeper_ = nullptr;
};

TEST_F(SubmenuTest, PointingOpensTheSubmenuBesideItsItemAndAClickThereHasItsCommand) {
  win::RECT menu_rect{}, sub_rect{};
  std::size_t shown_while_pointing_at_close = 0;
  g_action = [&](win::HWND window) {
    win::SendMessageA(window, win::WM_LBUTTONUP, 0, RowPoint(1));  // a submenu item is no command
    std::vector<win::HWND> windows = MenuWindows();
    ASSERT_EQ(windows.size(), 2u);
    win::GetWindowRect(windows[0], &menu_rect);
    win::GetWindowRect(windows[1], &sub_rect);
    win::SendMessageA(window, win::WM_MOUSEMOVE, 0, RowPoint(2));  // another item closes it
    shown_while_pointing_at_close = MenuWindows().size();
    win::SendMessageA(window, win::WM_MOUSEMOVE, 0, RowPoint(1));
    windows = MenuWindows();
    ASSERT_EQ(windows.size(), 2u);
    win::SendMessageA(window, win::WM_MOUSEMOVE, 0, CapturedPoint(windows[1], 0));
    win::SendMessageA(window, win::WM_LBUTTONUP, 0, CapturedPoint(windows[1], 0));
  };
  win::SetTimer(nullptr, 0, 0, &RunAction);
  EXPECT_EQ(win::ChooseFromMenuWindow(menu_, win::POINT{10, 10}, nullptr), 10u);
  EXPECT_EQ(shown_while_pointing_at_close, 1u);
  EXPECT_EQ(sub_rect.left, menu_rect.right) << "to the right of the menu";
  EXPECT_EQ(sub_rect.top, menu_rect.top + 2 + ItemHeight() - 2) << "level with its item";
  EXPECT_EQ(MenuWindows(), std::vector<win::HWND>{nullptr}) << "every window is gone";
}

TEST_F(SubmenuTest, KeysOpenAndCloseSubmenus) {
  struct Case {
    std::vector<win::WPARAM> keys;
    win::UINT chosen;
  };
  for (const Case& c : {Case{{kDown, kDown, kRight, kReturn}, 10}, Case{{kDown, kDown, kReturn, kDown, kRight, kReturn}, 20},
                        Case{{kDown, kDown, kRight, kLeft, kDown, kReturn}, 3},
                        Case{{kDown, kDown, kRight, kEscape, kUp, kReturn}, 1}, Case{{kDown, kDown, kRight, kEscape, kEscape}, 0}}) {
    for (const win::WPARAM key : c.keys) win::PostMessageA(nullptr, win::WM_KEYDOWN, key, 1);
    EXPECT_EQ(win::ChooseFromMenuWindow(menu_, win::POINT{5, 5}, nullptr), c.chosen);
    dashtune::testing::PumpPending();
  }
}

TEST_F(SubmenuTest, ASubmenuNearTheRightEdgeOpensLeftwardsAndTheOwnerHearsOfIt) {
  dashtune::testing::MessageLog::Get().Clear();
  const win::HWND owner = dashtune::testing::MakeWindow(nullptr);
  win::RECT menu_rect{}, sub_rect{};
  g_action = [&](win::HWND window) {
    win::SendMessageA(window, win::WM_MOUSEMOVE, 0, RowPoint(1));
    const std::vector<win::HWND> windows = MenuWindows();
    ASSERT_EQ(windows.size(), 2u);
    win::GetWindowRect(windows[0], &menu_rect);
    win::GetWindowRect(windows[1], &sub_rect);
    win::PostMessageA(nullptr, win::WM_KEYDOWN, kEscape, 1);
    win::PostMessageA(nullptr, win::WM_KEYDOWN, kEscape, 1);
  };
  win::SetTimer(nullptr, 0, 0, &RunAction);
  const win::POINT corner{win::GetSystemMetrics(win::SM_CXSCREEN) - 3, 10};
  EXPECT_EQ(win::ChooseFromMenuWindow(menu_, corner, owner), 0u);
  EXPECT_EQ(sub_rect.right, menu_rect.left);
  std::vector<win::WPARAM> initialised;
  for (const dashtune::testing::Received& r : dashtune::testing::MessageLog::Get().Entries())
    if (r.window == owner && r.message == win::WM_INITMENUPOPUP) initialised.push_back(r.wParam);
  EXPECT_EQ(initialised, std::vector<win::WPARAM>{reinterpret_cast<win::WPARAM>(more_)});
  win::DestroyWindow(owner);
}

}  // namespace
