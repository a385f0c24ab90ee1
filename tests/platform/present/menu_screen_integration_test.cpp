// Popup menus on a real display (Xvfb, clicks by xdotool): the screen shows the menu window's own
// pixels with the bold default item, grey text, marks, a second column and a mirrored layout,
// and an item of a submenu is picked by pointing and clicking.
#include "platform/gdi/gdi.h"
#include "platform/com/com_init.h"
#include "platform/present/presenter.h"
#include "platform/shell/namespace_model.h"
#include "platform/shell/properties_window.h"
#include "platform/user/menu_window.h"
#include "platform/user/menus.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/surfaces.h"
#include "platform/user/system_metrics.h"
#include "platform/user/timers.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"
#include "platform_test_support.h"
#include "xvfb_server.h"
#include "xvfb_suite.h"
#include "../user/menu_test_items.h"
#include "../user/user_test_window.h"

#include <gtest/gtest.h>
// Xlib after GoogleTest: its macros (None, Bool) would break GoogleTest's own names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using dashtune::testing::StartDisplayTool;
using dashtune::testing::WaitTool;

constexpr int kMark = 18;  // the room for marks before an item's text

std::uint32_t Pixel(win::COLORREF colour) {
  return ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

void AddItem(win::HMENU menu, const char16_t* text, win::UINT id, win::UINT type, win::UINT state,
             win::HMENU submenu = nullptr) {
  ASSERT_TRUE(dashtune::testing::AddMenuItem(menu, text, id, type, state, submenu));
}

// What a step inside the menu's loop does; run from a timer.
std::function<void()> g_step;
void RunStep(win::HWND, win::UINT, win::UINT_PTR id, win::DWORD) {
  win::KillTimer(nullptr, id);
  const std::function<void()> step = g_step;  // a step may set the next one
  if (step) step();
}

// Ends a hung menu instead of hanging the test, and says so.
bool g_hung = false;
void EndHungMenu(win::HWND, win::UINT, win::UINT_PTR id, win::DWORD) {
  g_hung = true;
  win::KillTimer(nullptr, id);
  win::PostMessageA(nullptr, win::WM_KEYDOWN, 0x1B, 1);
  win::PostMessageA(nullptr, win::WM_KEYDOWN, 0x1B, 1);
}

// A screenshot of a window's area, as 0xRRGGBB pixels.
struct Shot {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
  int Count(const win::RECT& r, std::uint32_t colour) const {
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) count += At(x, y) == colour ? 1 : 0;
    return count;
  }
};

class MenuScreenIntegration : public dashtune::testing::XvfbSuite {
 protected:
  void SetUp() override {
    XvfbSuite::SetUp();
    menu_ = win::CreatePopupMenu();
  }
  void TearDown() override {
    win::DestroyMenu(menu_);
    g_step = nullptr;
    XvfbSuite::TearDown();
  }
  // Tracks the menu through the presenter's chooser with `step` run inside its loop.
  win::UINT Track(std::function<void()> step, win::HWND owner = nullptr) {
    g_step = std::move(step);
    win::SetTimer(nullptr, 0, 0, &RunStep);
    const win::UINT_PTR guard = win::SetTimer(nullptr, 0, 20000, &EndHungMenu);
    const auto chosen = static_cast<win::UINT>(win::TrackPopupMenuEx(menu_, win::TPM_RETURNCMD, 40, 30, owner, nullptr));
    win::KillTimer(nullptr, guard);
    return chosen;
  }
  // Shows the menu, takes the screen under its window and dismisses it.
  Shot ShownMenu() {
    Shot shot;
    EXPECT_EQ(Track([&] {
                shot = ScreenOf(win::FindWindowA(win::MENU_WINDOW_CLASSA, nullptr));
                win::PostMessageA(nullptr, win::WM_KEYDOWN, 0x1B, 1);
              }),
              0u);
    return shot;
  }
  // The screen under a window, checked against the window's own pixels.
  Shot ScreenOf(win::HWND window) {
    EXPECT_TRUE(presenter_->Flush());
    win::RECT rect{};
    win::GetWindowRect(window, &rect);
    win::WindowPixels own;
    EXPECT_TRUE(win::ReadWindowPixels(window, &own));
    // The part of the window on the screen.
    const win::RECT screen{0, 0, DisplayWidth(peer_, DefaultScreen(peer_)), DisplayHeight(peer_, DefaultScreen(peer_))};
    win::RECT shown{};
    win::IntersectRect(&shown, &rect, &screen);
    const Shot shot = RootShot(shown);
    int mismatches = 0;
    for (int y = 0; y < shot.height && !shot.pixels.empty(); ++y)
      for (int x = 0; x < shot.width; ++x)
        mismatches += shot.At(x, y) != own.At(x + shown.left - rect.left, y + shown.top - rect.top) ? 1 : 0;
    EXPECT_EQ(mismatches, 0) << "the screen shows the window's surface";
    return shot;
  }
  // The screen (the root window) in a rectangle.
  Shot RootShot(const win::RECT& rect) {
    Shot shot{rect.right - rect.left, rect.bottom - rect.top, {}};
    XImage* image = XGetImage(peer_, DefaultRootWindow(peer_), rect.left, rect.top, static_cast<unsigned>(shot.width),
                              static_cast<unsigned>(shot.height), AllPlanes, ZPixmap);
    EXPECT_NE(image, nullptr);
    if (image == nullptr) return shot;
    for (int y = 0; y < shot.height; ++y)
      for (int x = 0; x < shot.width; ++x) shot.pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
    XDestroyImage(image);
    return shot;
  }

  win::HMENU menu_ = nullptr;
};

// A top-level window of a class that paints it in one colour; visible, owned by `owner`.
win::HWND MakeColouredWindow(win::HWND owner, win::RECT rect, win::COLORREF colour, win::DWORD style) {
  const std::string name = "Coloured" + std::to_string(colour);
  win::WNDCLASSA window_class{};
  window_class.lpfnWndProc = &win::DefWindowProcA;
  window_class.hbrBackground = win::CreateSolidBrush(colour);
  window_class.lpszClassName = name.c_str();
  win::RegisterClassA(&window_class);
  return win::CreateWindowExA(0, name.c_str(), "", style | win::WS_VISIBLE, rect.left, rect.top, rect.right - rect.left,
                              rect.bottom - rect.top, owner, nullptr, nullptr, nullptr);
}

// What a slow first paint does halfway, between its two halves.
std::function<void()> g_halfway;
constexpr win::COLORREF kTopHalf = win::RGB(250, 220, 0), kBottomHalf = win::RGB(200, 30, 30);

win::LRESULT PaintSlowly(win::HWND window, win::UINT message, win::WPARAM wParam, win::LPARAM lParam) {
  if (message != win::WM_PAINT) return win::DefWindowProcA(window, message, wParam, lParam);
  win::PAINTSTRUCT paint{};
  const win::HDC dc = win::BeginPaint(window, &paint);
  win::RECT client{};
  win::GetClientRect(window, &client);
  const win::LONG middle = client.bottom / 2;
  for (const bool top : {true, false}) {
    const win::RECT half{0, top ? 0 : middle, client.right, top ? middle : client.bottom};
    const win::HBRUSH brush = win::CreateSolidBrush(top ? kTopHalf : kBottomHalf);
    win::FillRect(dc, &half, brush);
    win::DeleteObject(brush);
    if (top && g_halfway) g_halfway();
  }
  win::EndPaint(window, &paint);
  return 0;
}

// Whether every window of the thread has painted what it was asked to.
bool Painted(std::initializer_list<win::HWND> windows) {
  for (const win::HWND window : windows)
    if (win::GetUpdateRect(window, nullptr, win::FALSE)) return false;
  return true;
}

// The height of a row of a one-column window of `rows` items (a frame of 2 around them).
int RowHeight(const Shot& shot, int rows) { return (shot.height - 4) / rows; }

TEST_F(MenuScreenIntegration, MarksBoldGreyAndASecondColumnOnTheScreen) {
  AddItem(menu_, u"Open", 1, win::MFT_STRING, win::MFS_DEFAULT);
  AddItem(menu_, u"Open", 2, win::MFT_STRING, win::MFS_CHECKED);
  AddItem(menu_, u"Open", 3, win::MFT_STRING, win::MFS_GRAYED);
  AddItem(menu_, u"Next", 4, win::MFT_MENUBREAK | win::MFT_RADIOCHECK, win::MFS_CHECKED);
  const Shot shot = ShownMenu();
  ASSERT_GT(shot.width, 0);
  const int row = RowHeight(shot, 3);
  const std::uint32_t ink = Pixel(win::GetSysColor(win::COLOR_MENUTEXT));
  const std::uint32_t grey = Pixel(win::GetSysColor(win::COLOR_GRAYTEXT));
  // The first column's texts lie between its mark and the middle of the window (its column).
  auto text_of = [&](int r) { return win::RECT{2 + kMark, 2 + r * row, shot.width / 2, 2 + (r + 1) * row}; };
  auto mark_of = [&](int r) { return win::RECT{2, 2 + r * row, 2 + kMark, 2 + (r + 1) * row}; };
  EXPECT_GT(shot.Count(text_of(0), ink), shot.Count(text_of(1), ink)) << "bold default";
  EXPECT_EQ(shot.Count(text_of(2), ink), 0);
  EXPECT_GT(shot.Count(text_of(2), grey), 0) << "grey disabled";
  EXPECT_EQ(shot.Count(mark_of(0), ink), 0);
  EXPECT_EQ(shot.Count(mark_of(1), ink), 21) << "a check mark";
  // The second column's radio dot, in its own mark room at the top.
  const win::RECT second{shot.width / 2, 2, shot.width - 2, 2 + row};
  EXPECT_GE(shot.Count(second, ink), 32) << "the dot and the text of the second column";
}

TEST_F(MenuScreenIntegration, ARightToLeftMenuIsMirroredOnTheScreen) {
  AddItem(menu_, u"Eins", 1, win::MFT_RIGHTJUSTIFY, win::MFS_CHECKED);
  AddItem(menu_, u"Zwei", 2, win::MFT_RIGHTJUSTIFY, 0);
  const Shot shot = ShownMenu();
  ASSERT_GT(shot.width, 0);
  const int row = RowHeight(shot, 2);
  const std::uint32_t ink = Pixel(win::GetSysColor(win::COLOR_MENUTEXT));
  EXPECT_EQ(shot.Count(win::RECT{shot.width - 2 - kMark, 2, shot.width - 2, 2 + row}, ink), 21) << "mark on the right";
  EXPECT_EQ(shot.Count(win::RECT{2, 2, 2 + kMark, 2 + row}, ink), 0);
}

TEST_F(MenuScreenIntegration, AnItemOfASubmenuPickedByPointingAndClicking) {
  const win::HMENU more = win::CreatePopupMenu();
  AddItem(more, u"Inner", 10, win::MFT_STRING, 0);
  AddItem(more, u"Picked", 11, win::MFT_STRING, 0);
  AddItem(menu_, u"Open", 1, win::MFT_STRING, 0);
  AddItem(menu_, u"More", 0, win::MFT_STRING, 0, more);
  pid_t pointing = 0, clicking = 0;
  const std::string display = DisplayString(peer_);
  EXPECT_EQ(Track([&] {
              const win::HWND shown = win::FindWindowA(win::MENU_WINDOW_CLASSA, nullptr);
              presenter_->Flush();
              win::RECT rect{};
              win::GetWindowRect(shown, &rect);
              const int row = (rect.bottom - rect.top - 4) / 2;
              // Point at "More": its submenu opens to the right, level with it.
              pointing = StartDisplayTool(display, {"xdotool", "mousemove", std::to_string(rect.left + 30),
                                                std::to_string(rect.top + 2 + row + row / 2)});
              g_step = [&, rect, row] {
                const win::HWND first = win::FindWindowA(win::MENU_WINDOW_CLASSA, nullptr);
                if (first != nullptr && win::FindWindowExA(nullptr, first, win::MENU_WINDOW_CLASSA, nullptr) == nullptr) {
                  win::SetTimer(nullptr, 0, 20, &RunStep);  // not open yet: look again
                  return;
                }
                presenter_->Flush();
                // "Picked", the submenu's second item: right of the menu, one row below "More".
                clicking = StartDisplayTool(display, {"xdotool", "mousemove", std::to_string(rect.right + 30),
                                                  std::to_string(rect.top + 2 + 2 * row + row / 2), "click", "1"});
              };
              win::SetTimer(nullptr, 0, 20, &RunStep);
            }),
            11u);
  EXPECT_EQ(WaitTool(pointing), 0);
  EXPECT_EQ(WaitTool(clicking), 0);
}

// A menu of the program's form, opened many times: each time the screen shows the menu's
// picture, over the form, before anything else happens.
TEST_F(MenuScreenIntegration, AMenuShowsItsPictureOverItsOwnerEveryTime) {
  AddItem(menu_, u"Open", 1, win::MFT_STRING, win::MFS_DEFAULT);
  AddItem(menu_, u"Properties", 2, win::MFT_STRING, 0);
  const win::HWND form = MakeColouredWindow(nullptr, win::RECT{10, 10, 250, 200}, win::RGB(30, 120, 200), win::WS_POPUP);
  ASSERT_TRUE(dashtune::testing::PumpUntil([&] { return Painted({form}); }));
  constexpr int kTimes = 20;
  for (int time = 1; time <= kTimes; ++time) {
    SCOPED_TRACE("time " + std::to_string(time));
    EXPECT_EQ(Track(
                  [&] {
                    ScreenOf(win::FindWindowA(win::MENU_WINDOW_CLASSA, nullptr));
                    win::PostMessageA(nullptr, win::WM_KEYDOWN, 0x1B, 1);
                  },
                  form),
              0u);
    if (HasFailure()) break;
  }
  win::DestroyWindow(form);
}

// A window the form owns, shown the way a properties window is shown (painted by the message
// loop after it shows), many times: each time the screen shows its picture above the form.
TEST_F(MenuScreenIntegration, AnOwnedWindowShowsItsPictureAboveItsOwnerEveryTime) {
  const win::HWND form = MakeColouredWindow(nullptr, win::RECT{10, 10, 250, 200}, win::RGB(30, 120, 200), win::WS_POPUP);
  ASSERT_TRUE(dashtune::testing::PumpUntil([&] { return Painted({form}); }));
  constexpr int kTimes = 20;
  for (int time = 1; time <= kTimes; ++time) {
    SCOPED_TRACE("time " + std::to_string(time));
    const win::HWND owned = MakeColouredWindow(form, win::RECT{60, 50, 200, 150}, win::RGB(240, 200, 20),
                                               win::WS_OVERLAPPED | win::WS_CAPTION | win::WS_SYSMENU);
    ASSERT_NE(owned, nullptr);
    ASSERT_TRUE(dashtune::testing::PumpUntil([&] { return Painted({form, owned}); }));
    ScreenOf(owned);
    win::DestroyWindow(owned);
    if (HasFailure()) break;
  }
  win::DestroyWindow(form);
}

// The shell's properties window of a file, opened over its owner many times: each time the
// screen shows it, lines and all, once its paint is done.
TEST_F(MenuScreenIntegration, APropertiesWindowShowsItsPictureAboveItsOwnerEveryTime) {
  const std::filesystem::path file = std::filesystem::path(std::getenv("HOME")) / "shown properties.txt";
  std::ofstream(file) << "seven b";
  const win::LPITEMIDLIST list = win::shell_model::PathToList(file.string());
  ASSERT_NE(list, nullptr);
  const std::optional<win::shell_model::Item> item = win::shell_model::Resolve(list);
  win::CoTaskMemFree(list);
  ASSERT_TRUE(item.has_value());
  const win::HWND form = MakeColouredWindow(nullptr, win::RECT{0, 0, 320, 240}, win::RGB(30, 120, 200), win::WS_POPUP);
  ASSERT_TRUE(dashtune::testing::PumpUntil([&] { return Painted({form}); }));
  constexpr int kTimes = 20;
  for (int time = 1; time <= kTimes; ++time) {
    SCOPED_TRACE("time " + std::to_string(time));
    ASSERT_TRUE(win::properties_window::Show({*item}, form));
    const win::HWND window = win::FindWindowA(win::properties_window::kWindowClass, nullptr);
    ASSERT_NE(window, nullptr);
    const auto painted = [&] {
      std::vector<win::HWND> windows = {form, window};
      for (win::HWND line = win::FindWindowExA(window, nullptr, win::properties_window::kLineClass, nullptr);
           line != nullptr; line = win::FindWindowExA(window, line, win::properties_window::kLineClass, nullptr))
        windows.push_back(line);
      return std::all_of(windows.begin(), windows.end(), [](win::HWND w) { return Painted({w}); });
    };
    ASSERT_TRUE(dashtune::testing::PumpUntil(painted));
    const Shot shot = ScreenOf(window);
    // Lines of text: the screen there is not one colour.
    EXPECT_GT(shot.width * shot.height - shot.Count(win::RECT{0, 0, shot.width, shot.height}, shot.At(0, 0)), 100);
    win::DestroyWindow(window);
    if (HasFailure()) break;
  }
  win::DestroyWindow(form);
  std::filesystem::remove(file);
}

// Clicks on the owner, beside the window it owns: the owned window stays above it on the screen.
TEST_F(MenuScreenIntegration, AnOwnedWindowStaysAboveItsOwnerWhenTheOwnerIsClicked) {
  dashtune::testing::MessageLog::Get().Clear();
  const win::HWND form = dashtune::testing::MakeWindow(nullptr, "form", win::WS_POPUP | win::WS_VISIBLE);
  win::SetWindowPos(form, nullptr, 10, 10, 240, 190, win::SWP_NOZORDER);
  const win::HWND owned = MakeColouredWindow(form, win::RECT{60, 50, 200, 150}, win::RGB(240, 200, 20),
                                             win::WS_OVERLAPPED | win::WS_CAPTION | win::WS_SYSMENU);
  ASSERT_TRUE(dashtune::testing::PumpUntil([&] { return Painted({form, owned}); }));
  ASSERT_TRUE(presenter_->Flush());
  const auto clicks_on_form = [&] {
    return dashtune::testing::MessageLog::Get().Messages(form, win::WM_LBUTTONDOWN, win::WM_LBUTTONDOWN).size();
  };
  constexpr std::size_t kClicks = 5;
  for (std::size_t click = 1; click <= kClicks; ++click) {
    SCOPED_TRACE("click " + std::to_string(click));
    ASSERT_EQ(WaitTool(StartDisplayTool(DisplayString(peer_), {"xdotool", "mousemove", "20", "180", "click", "1"})), 0);
    ASSERT_TRUE(dashtune::testing::PumpUntil([&] { return clicks_on_form() == click; }));
    ASSERT_TRUE(dashtune::testing::PumpUntil([&] { return Painted({form, owned}); }));
    ScreenOf(owned);
    if (HasFailure()) break;
  }
  win::DestroyWindow(owned);
  win::DestroyWindow(form);
  dashtune::testing::MessageLog::Get().Clear();
}

// The pointer away from every window of the program: Escape and a click there still reach the
// open menu and close it.
TEST_F(MenuScreenIntegration, EscapeAndAClickOutsideTheProgramsWindowsCloseTheMenu) {
  AddItem(menu_, u"Open", 1, win::MFT_STRING, 0);
  const win::HWND form = MakeColouredWindow(nullptr, win::RECT{10, 10, 150, 120}, win::RGB(30, 120, 200), win::WS_POPUP);
  ASSERT_TRUE(dashtune::testing::PumpUntil([&] { return Painted({form}); }));
  const std::string display = DisplayString(peer_);
  const std::vector<std::vector<std::string>> dismissals = {{"key", "Escape"}, {"click", "1"}};
  for (const std::vector<std::string>& dismissal : dismissals) {
    SCOPED_TRACE(dismissal[0]);
    pid_t tool = 0;
    g_hung = false;
    EXPECT_EQ(Track(
                  [&] {
                    presenter_->Flush();
                    std::vector<std::string> args = {"xdotool", "mousemove", "300", "220"};
                    args.insert(args.end(), dismissal.begin(), dismissal.end());
                    tool = StartDisplayTool(display, args);
                  },
                  form),
              0u);
    EXPECT_EQ(WaitTool(tool), 0);
    EXPECT_FALSE(g_hung) << "the menu stayed open";
    EXPECT_EQ(win::FindWindowA(win::MENU_WINDOW_CLASSA, nullptr), nullptr);
  }
  win::DestroyWindow(form);
}

// Another client holds the pointer and keyboard as the menu opens: the presenter waits for them
// without redrawing meanwhile, and takes them once they are free, so Escape still closes the menu.
TEST_F(MenuScreenIntegration, AMenuTakesPointerAndKeyboardOnceAnotherClientLetsThemGo) {
  AddItem(menu_, u"Open", 1, win::MFT_STRING, 0);
  const win::HWND form = MakeColouredWindow(nullptr, win::RECT{10, 10, 150, 120}, win::RGB(30, 120, 200), win::WS_POPUP);
  ASSERT_TRUE(dashtune::testing::PumpUntil([&] { return Painted({form}); }));
  ASSERT_TRUE(presenter_->Flush());
  const Window root = DefaultRootWindow(peer_);
  ASSERT_EQ(XGrabPointer(peer_, root, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, 0, 0, CurrentTime),
            GrabSuccess);
  ASSERT_EQ(XGrabKeyboard(peer_, root, False, GrabModeAsync, GrabModeAsync, CurrentTime), GrabSuccess);
  XSync(peer_, False);
  const std::string display = DisplayString(peer_);
  std::uint64_t puts_while_held = 0;
  pid_t tool = 0;
  g_hung = false;
  EXPECT_EQ(Track(
                [&] {
                  presenter_->Flush();
                  const std::uint64_t before = presenter_->ImagesPut();
                  std::this_thread::sleep_for(std::chrono::milliseconds(300));
                  puts_while_held = presenter_->ImagesPut() - before;
                  XUngrabPointer(peer_, CurrentTime);
                  XUngrabKeyboard(peer_, CurrentTime);
                  XSync(peer_, False);
                  tool = StartDisplayTool(display, {"xdotool", "sleep", "0.2", "mousemove", "300", "220", "key", "Escape"});
                },
                form),
            0u);
  EXPECT_EQ(WaitTool(tool), 0);
  EXPECT_FALSE(g_hung) << "the menu stayed open";
  EXPECT_EQ(puts_while_held, 0u) << "the presenter redrew while it waited for the grabs";
  win::DestroyWindow(form);
}

// A window whose first paint is slow, while another window changes meanwhile (as a clip plays
// beside it): the screen shows nothing of it halfway, and all of it once the paint is done.
TEST_F(MenuScreenIntegration, ANewWindowShowsOnlyOnceItsFirstPaintIsDone) {
  const win::HWND form = MakeColouredWindow(nullptr, win::RECT{10, 10, 250, 200}, win::RGB(30, 120, 200), win::WS_POPUP);
  ASSERT_TRUE(dashtune::testing::PumpUntil([&] { return Painted({form}); }));
  ASSERT_TRUE(presenter_->Flush());
  const win::RECT rect{60, 50, 200, 150};
  const std::uint32_t top_half = Pixel(kTopHalf);
  int top_half_shown_halfway = -1;
  g_halfway = [&] {
    // The form changes; the presenter shows that.
    const std::uint64_t before = presenter_->ImagesPut();
    const win::HDC dc = win::GetDC(form);
    const win::RECT corner{0, 0, 8, 8};
    win::FillRect(dc, &corner, static_cast<win::HBRUSH>(win::GetStockObject(win::WHITE_BRUSH)));
    win::ReleaseDC(form, dc);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (presenter_->ImagesPut() == before && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the display has had time to show it
    const Shot halfway = RootShot(rect);
    top_half_shown_halfway = halfway.Count(win::RECT{0, 0, halfway.width, halfway.height}, top_half);
  };
  win::WNDCLASSA window_class{};
  window_class.lpfnWndProc = &PaintSlowly;
  window_class.lpszClassName = "PaintsSlowly";
  win::RegisterClassA(&window_class);
  const win::HWND slow = win::CreateWindowExA(0, "PaintsSlowly", "", win::WS_POPUP | win::WS_VISIBLE, rect.left, rect.top,
                                             rect.right - rect.left, rect.bottom - rect.top, form, nullptr, nullptr,
                                             nullptr);
  ASSERT_NE(slow, nullptr);
  ASSERT_TRUE(dashtune::testing::PumpUntil([&] { return Painted({form, slow}); }));
  g_halfway = nullptr;
  EXPECT_EQ(top_half_shown_halfway, 0) << "the screen showed the window half painted";
  const Shot done = ScreenOf(slow);
  EXPECT_EQ(done.Count(win::RECT{0, 0, done.width, done.height / 2}, top_half), done.width * (done.height / 2));
  win::DestroyWindow(slow);
  win::DestroyWindow(form);
}

}  // namespace
