// The X11 presenter under Xvfb: what the screen shows, pointer and keys becoming messages, the cursors
// shown (the program's own among them), key mapping, Latin-1 keys after a layout change, activation
// following the X input focus.
#include "platform/gdi/gdi.h"
#include "platform/present/presenter.h"
#include "platform/present/x11_input.h"
#include "platform/user/cursors.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/overlay_planes.h"
#include "platform/user/paint.h"
#include "platform/user/surfaces.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"
#include "platform_test_support.h"
#include "xvfb_suite.h"
#include "../user/user_test_window.h"

#include <gtest/gtest.h>
// Xlib after GoogleTest: its macros (None, Bool) would break GoogleTest's own names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include "x_cursor.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

using dashtune::testing::MessageLog;
using dashtune::testing::PumpUntil;
using namespace std::chrono_literals;

class PresenterIntegrationTest : public dashtune::testing::XvfbSuite {
 protected:
  void SetUp() override {
    XvfbSuite::SetUp();
    MessageLog::Get().Clear();
  }
  void TearDown() override {
    if (window_) win::DestroyWindow(window_);
    XvfbSuite::TearDown();
    MessageLog::Get().Clear();
    const win::BYTE released[256] = {};
    win::SetKeyboardState(released);  // the keys pressed here stay down otherwise
  }

  // A visible top-level window painted in four coloured quarters.
  void MakePaintedWindow(win::RECT rect) {
    window_ = dashtune::testing::MakeWindow(nullptr, "shown", win::WS_VISIBLE);
    PlaceAndPaint(rect);
  }

  // Moves and sizes the window to `rect` and paints it in four coloured quarters.
  void PlaceAndPaint(win::RECT rect) {
    win::SetWindowPos(window_, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                      win::SWP_NOZORDER);
    const win::HDC dc = win::GetDC(window_);
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    const win::COLORREF colours[] = {win::RGB(255, 0, 0), win::RGB(0, 255, 0), win::RGB(0, 0, 255), win::RGB(250, 200, 10)};
    for (int i = 0; i < 4; ++i) {
      const win::RECT quarter{(i % 2) * w / 2, (i / 2) * h / 2, (i % 2 + 1) * w / 2, (i / 2 + 1) * h / 2};
      const win::HBRUSH brush = win::CreateSolidBrush(colours[i]);
      win::FillRect(dc, &quarter, brush);
      win::DeleteObject(brush);
    }
    win::ReleaseDC(window_, dc);
    win::ValidateRect(window_, nullptr);
  }

  win::HWND window_ = nullptr;
};

TEST_F(PresenterIntegrationTest, TheScreenShowsTheWindowsSurface) {
  const win::RECT rect{30, 20, 70, 50};
  MakePaintedWindow(rect);
  ASSERT_TRUE(presenter_->Flush());
  win::WindowPixels expected;
  ASSERT_TRUE(win::ReadWindowPixels(window_, &expected));
  XImage* shot = XGetImage(peer_, DefaultRootWindow(peer_), rect.left, rect.top, 40, 30, AllPlanes, ZPixmap);
  ASSERT_NE(shot, nullptr);
  int mismatches = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) mismatches += (XGetPixel(shot, x, y) & 0xFFFFFF) != expected.At(x, y);
  EXPECT_EQ(expected.At(0, 0), 0xFF0000u);
  EXPECT_EQ(expected.At(39, 29), 0xFAC80Au);
  EXPECT_EQ(mismatches, 0);
  XDestroyImage(shot);
  XImage* outside = XGetImage(peer_, DefaultRootWindow(peer_), rect.left - 1, rect.top, 1, 1, AllPlanes, ZPixmap);
  EXPECT_NE(XGetPixel(outside, 0, 0) & 0xFFFFFF, 0xFF0000u) << "nothing drawn beside the window";
  XDestroyImage(outside);
}

// A window shown at one size and then painted at another shows its new picture over all of its
// new place: its first shown size, then a larger and a smaller one.
TEST_F(PresenterIntegrationTest, AResizedWindowShowsItsNewPicture) {
  const win::RECT rects[] = {{30, 20, 70, 50}, {20, 10, 100, 70}, {40, 30, 60, 44}};
  MakePaintedWindow(rects[0]);
  for (const win::RECT& rect : rects) {
    PlaceAndPaint(rect);
    ASSERT_TRUE(presenter_->Flush());
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    win::WindowPixels expected;
    ASSERT_TRUE(win::ReadWindowPixels(window_, &expected));
    XImage* shot = XGetImage(peer_, DefaultRootWindow(peer_), rect.left, rect.top, static_cast<unsigned>(w),
                             static_cast<unsigned>(h), AllPlanes, ZPixmap);
    ASSERT_NE(shot, nullptr);
    int mismatches = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) mismatches += (XGetPixel(shot, x, y) & 0xFFFFFF) != expected.At(x, y);
    XDestroyImage(shot);
    EXPECT_EQ(expected.At(w - 1, h - 1), 0xFAC80Au) << w << " x " << h;
    EXPECT_EQ(mismatches, 0) << w << " x " << h;
  }
}

// A page that no longer repaints when the presenter opens (a message loop taking over from an
// earlier presenter) still shows.
TEST_F(PresenterIntegrationTest, AWindowPaintedBeforeThePresenterOpensShowsWithoutAnotherPaint) {
  MakePaintedWindow(win::RECT{30, 20, 70, 50});
  ReopenPresenter();
  ASSERT_NE(presenter_, nullptr);
  const auto shown = [&] {
    XImage* shot = XGetImage(peer_, DefaultRootWindow(peer_), 30, 20, 1, 1, AllPlanes, ZPixmap);
    const bool red = shot != nullptr && (XGetPixel(shot, 0, 0) & 0xFFFFFF) == 0xFF0000u;
    if (shot != nullptr) XDestroyImage(shot);
    return red;
  };
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (!shown() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(shown());
}

TEST_F(PresenterIntegrationTest, PointerAndKeysBecomeMessagesForTheWindow) {
  MakePaintedWindow(win::RECT{10, 10, 50, 40});
  ASSERT_TRUE(presenter_->Flush());
  Window x_window = 0;
  Window root_return, parent_return, *children = nullptr;
  unsigned int count = 0;
  XQueryTree(peer_, DefaultRootWindow(peer_), &root_return, &parent_return, &children, &count);
  ASSERT_GE(count, 1u);
  x_window = children[count - 1];
  XFree(children);

  XEvent press{};
  press.xbutton.type = ButtonPress;
  press.xbutton.window = x_window;
  press.xbutton.x = 5;
  press.xbutton.y = 7;
  press.xbutton.button = Button1;
  XSendEvent(peer_, x_window, False, ButtonPressMask, &press);
  XEvent key{};
  key.xkey.type = KeyPress;
  key.xkey.window = x_window;
  key.xkey.display = peer_;
  key.xkey.keycode = XKeysymToKeycode(peer_, XK_Return);
  XSendEvent(peer_, x_window, False, KeyPressMask, &key);
  XFlush(peer_);

  ASSERT_TRUE(PumpUntil([&] { return MessageLog::Get().Messages(window_, win::WM_KEYDOWN, win::WM_KEYDOWN).size() == 1; }));
  std::vector<dashtune::testing::Received> input;
  for (const auto& r : MessageLog::Get().Entries())
    if (r.window == window_ && (r.message == win::WM_LBUTTONDOWN || r.message == win::WM_KEYDOWN)) input.push_back(r);
  ASSERT_EQ(input.size(), 2u);
  EXPECT_EQ(input[0].message, win::WM_LBUTTONDOWN);
  EXPECT_EQ(input[1].wParam, 0x0Du);
}

// The X window the presenter shows a window in (the topmost one).
Window TopXWindow(Display* peer) {
  Window root_return, parent_return, *children = nullptr;
  unsigned int count = 0;
  XQueryTree(peer, DefaultRootWindow(peer), &root_return, &parent_return, &children, &count);
  const Window top = count > 0 ? children[count - 1] : 0;
  XFree(children);
  return top;
}

TEST_F(PresenterIntegrationTest, TheWindowUnderThePointerChoosesTheCursorBeforeEachMove) {
  MakePaintedWindow(win::RECT{10, 10, 50, 40});
  ASSERT_TRUE(presenter_->Flush());
  const Window x_window = TopXWindow(peer_);
  ASSERT_NE(x_window, 0u);
  XEvent motion{};
  motion.xmotion.type = MotionNotify;
  motion.xmotion.window = x_window;
  motion.xmotion.x = 5;
  motion.xmotion.y = 7;
  XSendEvent(peer_, x_window, False, PointerMotionMask, &motion);
  XFlush(peer_);
  ASSERT_TRUE(PumpUntil([&] { return !MessageLog::Get().Messages(window_, win::WM_MOUSEMOVE, win::WM_MOUSEMOVE).empty(); }));
  std::vector<dashtune::testing::Received> pointer;
  for (const auto& r : MessageLog::Get().Entries())
    if (r.window == window_ && (r.message == win::WM_SETCURSOR || r.message == win::WM_MOUSEMOVE)) pointer.push_back(r);
  ASSERT_EQ(pointer.size(), 2u);
  EXPECT_EQ(pointer[0].message, win::WM_SETCURSOR);
  EXPECT_EQ(pointer[0].wParam, reinterpret_cast<win::WPARAM>(window_));
  EXPECT_EQ(pointer[1].message, win::WM_MOUSEMOVE);
  win::POINT at{};
  win::GetCursorPos(&at);
  EXPECT_EQ(at.x, 15);
  EXPECT_EQ(at.y, 17);
}

TEST_F(PresenterIntegrationTest, SetCursorPosMovesTheRealPointer) {
  win::SetCursorPos(100, 60);
  EXPECT_TRUE(PumpUntil([&] {
    Window root, child;
    int root_x = 0, root_y = 0, x = 0, y = 0;
    unsigned int mask = 0;
    XQueryPointer(peer_, DefaultRootWindow(peer_), &root, &child, &root_x, &root_y, &x, &y, &mask);
    return root_x == 100 && root_y == 60;
  }));
}

using dashtune::testing::CursorVisible;

TEST_F(PresenterIntegrationTest, TheCursorShownIsTheProgramsAndBlankWhileHidden) {
  MakePaintedWindow(win::RECT{0, 0, 320, 240});
  win::SetCursor(win::LoadCursorA(nullptr, win::IDC_ARROW));
  win::SetCursorPos(100, 100);
  ASSERT_TRUE(presenter_->Flush());
  EXPECT_TRUE(PumpUntil([&] { return CursorVisible(peer_); }));
  win::ShowCursor(win::FALSE);
  EXPECT_TRUE(PumpUntil([&] { return !CursorVisible(peer_); })) << "a negative show count shows no cursor";
  win::ShowCursor(win::TRUE);
  EXPECT_TRUE(PumpUntil([&] { return CursorVisible(peer_); }));
  win::SetCursor(nullptr);
  EXPECT_TRUE(PumpUntil([&] { return !CursorVisible(peer_); })) << "no cursor set shows none";
}

// The cursor image the X server shows now, as 0xAARRGGBB pixels, with its hot spot.
struct ShownXCursor {
  int width = 0;
  int height = 0;
  int hot_x = 0;
  int hot_y = 0;
  std::vector<std::uint32_t> pixels;
  bool operator==(const ShownXCursor&) const = default;
};

ShownXCursor ReadShownXCursor(Display* display) {
  ShownXCursor shown;
  XFixesCursorImage* image = XFixesGetCursorImage(display);
  if (image == nullptr) return shown;
  shown.width = image->width;
  shown.height = image->height;
  shown.hot_x = image->xhot;
  shown.hot_y = image->yhot;
  for (int i = 0; i < image->width * image->height; ++i) shown.pixels.push_back(static_cast<std::uint32_t>(image->pixels[i]));
  XFree(image);
  return shown;
}

// A 16 x 2 cursor: row 0 runs through transparent, black, white and inverted pixels four at a
// time; row 1 is white but for its last pixel.
struct MadeCursorCase {
  win::INT hot_x, hot_y;
  int shown_hot_x, shown_hot_y;
};

class MadeCursorTest : public PresenterIntegrationTest, public ::testing::WithParamInterface<MadeCursorCase> {};

TEST_P(MadeCursorTest, AProgramsOwnCursorShowsItsPixelsOnX) {
  const win::BYTE and_plane[] = {0xF0, 0x0F, 0x00, 0x01};
  const win::BYTE xor_plane[] = {0x00, 0xFF, 0xFF, 0xFE};
  const win::HCURSOR cursor = win::CreateCursor(nullptr, GetParam().hot_x, GetParam().hot_y, 16, 2, and_plane, xor_plane);
  ASSERT_NE(cursor, nullptr);
  MakePaintedWindow(win::RECT{0, 0, 320, 240});
  win::SetCursor(cursor);
  win::SetCursorPos(100, 100);
  ASSERT_TRUE(presenter_->Flush());
  constexpr std::uint32_t kClear = 0, kBlack = 0xFF000000, kWhite = 0xFFFFFFFF;
  ShownXCursor expected{16, 2, GetParam().shown_hot_x, GetParam().shown_hot_y, {}};
  for (const std::uint32_t run : {kClear, kBlack, kWhite, kBlack})  // X cannot invert: black
    expected.pixels.insert(expected.pixels.end(), 4, run);
  expected.pixels.insert(expected.pixels.end(), 15, kWhite);
  expected.pixels.push_back(kClear);
  EXPECT_TRUE(PumpUntil([&] { return ReadShownXCursor(peer_) == expected; }));
  const ShownXCursor shown = ReadShownXCursor(peer_);
  EXPECT_EQ(shown.hot_x, expected.hot_x);
  EXPECT_EQ(shown.hot_y, expected.hot_y);
  EXPECT_EQ(shown.pixels, expected.pixels);
  // Destroying the cursor shown leaves no cursor, as setting none does.
  ASSERT_TRUE(win::DestroyCursor(cursor));
  EXPECT_TRUE(PumpUntil([&] { return !CursorVisible(peer_); }));
}

INSTANTIATE_TEST_SUITE_P(HotSpots, MadeCursorTest,
                         ::testing::Values(MadeCursorCase{3, 1, 3, 1},
                                           // X refuses a hot spot outside the cursor: it is kept inside
                                           MadeCursorCase{40, -3, 15, 0}, MadeCursorCase{-1, 9, 0, 1}));

TEST_F(PresenterIntegrationTest, AnOverlayPlaneShowsItsPictureWhereTheKeyIs) {
  const win::RECT rect{20, 20, 60, 40};
  MakePaintedWindow(rect);
  // The left half in the key colour.
  const win::HDC dc = win::GetDC(window_);
  const win::RECT left{0, 0, 20, 20};
  const win::HBRUSH key = win::CreateSolidBrush(win::RGB(16, 0, 16));
  win::FillRect(dc, &left, key);
  win::DeleteObject(key);
  win::ReleaseDC(window_, dc);
  win::OverlayPlane plane;
  plane.area = rect;
  plane.picture_rect = rect;
  plane.key = 0x100010;
  plane.picture = [](const win::OverlayPictureUse& use) {
    const std::uint32_t pixels[] = {0x00FF00, 0x0000FF};  // green, then blue
    use(win::OverlayPicture{2, 1, 2, pixels});
    return true;
  };
  const win::OverlayPlaneId id = win::AddOverlayPlane(plane);
  ASSERT_TRUE(presenter_->Flush());
  XImage* shot = XGetImage(peer_, DefaultRootWindow(peer_), rect.left, rect.top, 40, 20, AllPlanes, ZPixmap);
  ASSERT_NE(shot, nullptr);
  EXPECT_EQ(XGetPixel(shot, 5, 5) & 0xFFFFFF, 0x00FF00u) << "key pixels show the picture";
  EXPECT_EQ(XGetPixel(shot, 25, 5) & 0xFFFFFF, 0x00FF00u) << "other pixels stay";
  EXPECT_EQ(XGetPixel(shot, 25, 15) & 0xFFFFFF, 0xFAC80Au);
  XDestroyImage(shot);
  win::WindowPixels screen;
  ASSERT_TRUE(win::ReadScreenPixels(rect, &screen));
  EXPECT_EQ(screen.At(5, 5), 0x00FF00u);
  EXPECT_EQ(screen.At(25, 15), 0xFAC80Au);
  win::RemoveOverlayPlane(id);
  ASSERT_TRUE(win::ReadScreenPixels(rect, &screen));
  EXPECT_EQ(screen.At(5, 5), 0x100010u) << "without the plane the key shows";
}

// A key code without symbols, for binding one in a test.
int SpareKeycode(Display* peer) {
  int first = 0, last = 0;
  XDisplayKeycodes(peer, &first, &last);
  int per_code = 0;
  KeySym* map = XGetKeyboardMapping(peer, static_cast<KeyCode>(first), last - first + 1, &per_code);
  int spare = 0;
  for (int code = last; code >= first && spare == 0; --code) {
    bool empty = true;
    for (int i = 0; i < per_code; ++i) empty = empty && map[(code - first) * per_code + i] == NoSymbol;
    if (empty) spare = code;
  }
  XFree(map);
  return spare;
}

TEST_F(PresenterIntegrationTest, ALatin1KeyTypesItsCharacterOnTheLayoutInForceNow) {
  MakePaintedWindow(win::RECT{10, 10, 50, 40});
  ASSERT_TRUE(presenter_->Flush());
  const Window x_window = TopXWindow(peer_);
  const int code = SpareKeycode(peer_);
  ASSERT_NE(code, 0);
  // The layout changes under the running presenter, as setxkbmap does: a key now types ä.
  KeySym symbols[2] = {XK_adiaeresis, XK_Adiaeresis};
  XChangeKeyboardMapping(peer_, code, 2, symbols, 1);
  XEvent key{};
  key.xkey.type = KeyPress;
  key.xkey.window = x_window;
  key.xkey.display = peer_;
  key.xkey.keycode = static_cast<unsigned int>(code);
  XSendEvent(peer_, x_window, False, KeyPressMask, &key);
  XFlush(peer_);
  std::vector<win::WPARAM> chars;
  ASSERT_TRUE(PumpUntil([&] {
    chars.clear();
    for (const auto& r : MessageLog::Get().Entries())
      if (r.window == window_ && r.message == win::WM_CHAR) chars.push_back(r.wParam);
    return !chars.empty();
  }));
  EXPECT_EQ(chars, (std::vector<win::WPARAM>{0xE4}));
  KeySym none[2] = {NoSymbol, NoSymbol};
  XChangeKeyboardMapping(peer_, code, 2, none, 1);
  XSync(peer_, False);
}

TEST_F(PresenterIntegrationTest, TheProgramIsDeactivatedWhenItsXWindowLosesTheFocus) {
  MakePaintedWindow(win::RECT{10, 10, 50, 40});
  ASSERT_TRUE(presenter_->Flush());
  const Window x_window = TopXWindow(peer_);
  const auto app_activation = [&] {
    std::vector<win::WPARAM> heard;
    for (const auto& r : MessageLog::Get().Entries())
      if (r.window == window_ && r.message == win::WM_ACTIVATEAPP) heard.push_back(r.wParam);
    return heard;
  };
  XSetInputFocus(peer_, x_window, RevertToNone, CurrentTime);
  XSync(peer_, False);
  XSetInputFocus(peer_, None, RevertToNone, CurrentTime);
  XSync(peer_, False);
  ASSERT_TRUE(PumpUntil([&] { return !app_activation().empty(); }));
  XSetInputFocus(peer_, x_window, RevertToNone, CurrentTime);
  XSync(peer_, False);
  ASSERT_TRUE(PumpUntil([&] { return app_activation().size() == 2; }));
  EXPECT_EQ(app_activation(), (std::vector<win::WPARAM>{win::FALSE, win::TRUE}));
  XSetInputFocus(peer_, PointerRoot, RevertToPointerRoot, CurrentTime);
  XSync(peer_, False);
}

TEST(PresenterKeys, MapsKeySymbolsToVirtualKeys) {
  struct Case {
    unsigned long keysym;
    win::WORD key;
  };
  for (const Case& c : {Case{XK_a, 'A'}, Case{XK_Z, 'Z'}, Case{XK_5, '5'}, Case{XK_Return, 0x0D}, Case{XK_Left, 0x25},
                        Case{XK_F1, 0x70}, Case{XK_F12, 0x7B}, Case{XK_Escape, 0x1B}, Case{XK_odiaeresis, 0}})
    EXPECT_EQ(win::present::VirtualKeyOfKeysym(c.keysym), c.key) << c.keysym;
}

}  // namespace
