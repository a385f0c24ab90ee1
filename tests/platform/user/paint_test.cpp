// Painting: invalidation, update regions, child clipping, erasing, UpdateWindow, GetDC.
#include "platform/gdi/gdi.h"
#include "platform/user/cursors.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/surfaces.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"
#include "platform_test_support.h"
#include "user_test_window.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using dashtune::testing::MakeWindow;
using dashtune::testing::MessageLog;
using dashtune::testing::PumpPending;

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

std::map<win::HWND, std::uint32_t>& FillColours() {
  static std::map<win::HWND, std::uint32_t> colours;
  return colours;
}

std::vector<win::RECT>& PaintedRects() {
  static std::vector<win::RECT> rects;
  return rects;
}

// Paints the whole client area in the window's colour from FillColours().
win::LRESULT FillingProcedure(win::HWND window, win::UINT message, win::WPARAM wParam, win::LPARAM lParam) {
  MessageLog::Get().Add({window, message, wParam, 0});
  if (message != win::WM_PAINT) return win::DefWindowProcA(window, message, wParam, lParam);
  win::PAINTSTRUCT paint;
  const win::HDC dc = win::BeginPaint(window, &paint);
  PaintedRects().push_back(paint.rcPaint);
  const std::uint32_t rgb = FillColours()[window];
  const win::HBRUSH brush = win::CreateSolidBrush(win::RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
  win::RECT client;
  win::GetClientRect(window, &client);
  win::FillRect(dc, &client, brush);
  win::DeleteObject(brush);
  win::EndPaint(window, &paint);
  return 0;
}

class PaintTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    win::WNDCLASSA info;
    info.lpfnWndProc = FillingProcedure;
    info.lpszClassName = "FillingWindow";
    info.hbrBackground = reinterpret_cast<win::HBRUSH>(static_cast<win::INT_PTR>(win::COLOR_WINDOW + 1));
    win::RegisterClassA(&info);
  }
  void SetUp() override {
    MessageLog::Get().Clear();
    FillColours().clear();
    PaintedRects().clear();
  }
  void TearDown() override {
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
      if (win::IsWindow(*it)) win::DestroyWindow(*it);
    PumpPending();
    MessageLog::Get().Clear();
  }
  win::HWND Make(win::HWND parent, win::RECT r, std::uint32_t colour, win::DWORD style = win::WS_VISIBLE) {
    const win::HWND window =
        win::CreateWindowExA(0, "FillingWindow", "", style | (parent ? win::WS_CHILD : 0u), r.left, r.top,
                             r.right - r.left, r.bottom - r.top, parent, nullptr, nullptr, nullptr);
    EXPECT_NE(window, nullptr);
    FillColours()[window] = colour;
    windows_.push_back(window);
    return window;
  }
  int PaintsOf(win::HWND window) {
    return static_cast<int>(MessageLog::Get().Messages(window, win::WM_PAINT, win::WM_PAINT).size());
  }
  // One letter per pixel of the window as shown: r g b w for the test colours, '.' for black.
  static std::vector<std::string> Picture(win::HWND window) {
    win::WindowPixels pixels;
    EXPECT_TRUE(win::ReadWindowPixels(window, &pixels));
    const std::map<std::uint32_t, char> legend{{kRed, 'r'}, {kGreen, 'g'}, {kBlue, 'b'}, {kWhite, 'w'}, {0, '.'}};
    std::vector<std::string> rows;
    for (int y = 0; y < pixels.height; ++y) {
      std::string row;
      for (int x = 0; x < pixels.width; ++x) {
        const auto found = legend.find(pixels.At(x, y));
        row += found == legend.end() ? '?' : found->second;
      }
      rows.push_back(row);
    }
    return rows;
  }
  std::vector<win::HWND> windows_;
};

TEST_F(PaintTest, InvalidationCoalescesIntoOnePaintAfterOtherMessages) {
  const win::HWND window = Make(nullptr, {0, 0, 8, 4}, kRed);
  PumpPending();
  PaintedRects().clear();
  MessageLog::Get().Clear();
  const win::RECT a{0, 0, 2, 2}, b{5, 1, 7, 3};
  win::InvalidateRect(window, &a, win::FALSE);
  win::PostMessageA(window, win::WM_USER, 0, 0);
  win::InvalidateRect(window, &b, win::FALSE);
  win::InvalidateRect(window, &a, win::FALSE);
  PumpPending();
  EXPECT_EQ(MessageLog::Get().Messages(window, win::WM_PAINT, win::WM_USER),
            (std::vector<win::UINT>{win::WM_USER, win::WM_PAINT}));
  ASSERT_EQ(PaintedRects().size(), 1u);
  EXPECT_EQ(PaintedRects()[0].left, 0);
  EXPECT_EQ(PaintedRects()[0].right, 7);
  EXPECT_EQ(PaintedRects()[0].bottom, 3);
  EXPECT_EQ(Picture(window), (std::vector<std::string>{"rrrrrrrr", "rrrrrrrr", "rrrrrrrr", "rrrrrrrr"}));
  win::RECT update;
  EXPECT_FALSE(win::GetUpdateRect(window, &update, win::FALSE));
}

TEST_F(PaintTest, PaintingOnlyTouchesTheUpdateRegion) {
  const win::HWND window = Make(nullptr, {0, 0, 6, 3}, kRed);
  PumpPending();
  FillColours()[window] = kBlue;
  const win::RECT middle{2, 1, 4, 2};
  win::InvalidateRect(window, &middle, win::FALSE);
  PumpPending();
  EXPECT_EQ(Picture(window), (std::vector<std::string>{"rrrrrr", "rrbbrr", "rrrrrr"}));
  win::InvalidateRect(window, nullptr, win::FALSE);
  win::ValidateRect(window, nullptr);
  EXPECT_EQ(PumpPending(), 0) << "a validated window gets no WM_PAINT";
}

TEST_F(PaintTest, AChildPaintsOnlyInsideItsParentAndBelowItsUpperSiblings) {
  const win::HWND top = Make(nullptr, {0, 0, 8, 6}, kWhite);
  const win::HWND lower = Make(top, {1, 1, 5, 5}, kRed);
  const win::HWND upper = Make(top, {3, 3, 10, 8}, kBlue);  // created later: above, and runs past the parent
  PumpPending();
  EXPECT_EQ(Picture(top), (std::vector<std::string>{"wwwwwwww", "wrrrrwww", "wrrrrwww", "wrrbbbbb", "wrrbbbbb", "wwwbbbbb"}));
  EXPECT_EQ(PaintsOf(lower), 1);
  FillColours()[top] = kGreen;
  win::InvalidateRect(top, nullptr, win::FALSE);  // the parent's painting leaves its children alone
  FillColours()[lower] = kRed;
  PumpPending();
  EXPECT_EQ(Picture(top), (std::vector<std::string>{"gggggggg", "grrrrggg", "grrrrggg", "grrbbbbb", "grrbbbbb", "gggbbbbb"}));
  EXPECT_EQ(Picture(upper), (std::vector<std::string>{"bbbbb..", "bbbbb..", "bbbbb..", ".......", "......."}))
      << "only the part inside the parent shows";
}

TEST_F(PaintTest, AChildReachingOutAboveAndLeftOfItsParentReadsBlackThere) {
  const win::HWND top = Make(nullptr, {0, 0, 6, 3}, kWhite);
  const win::HWND child = Make(top, {-2, -1, 3, 2}, kRed);
  PumpPending();
  EXPECT_EQ(Picture(child), (std::vector<std::string>{".....", "..rrr", "..rrr"}));
  EXPECT_EQ(Picture(top), (std::vector<std::string>{"rrrwww", "rrrwww", "wwwwww"}));
}

TEST_F(PaintTest, RestackingAndHidingRepaintWhatWasCovered) {
  const win::HWND top = Make(nullptr, {0, 0, 6, 2}, kWhite);
  const win::HWND left = Make(top, {0, 0, 4, 2}, kRed);
  Make(top, {2, 0, 6, 2}, kBlue);
  PumpPending();
  EXPECT_EQ(Picture(top), (std::vector<std::string>{"rrbbbb", "rrbbbb"}));
  win::SetWindowPos(left, win::HWND_TOP, 0, 0, 0, 0, win::SWP_NOMOVE | win::SWP_NOSIZE);
  PumpPending();
  EXPECT_EQ(Picture(top), (std::vector<std::string>{"rrrrbb", "rrrrbb"}));
  win::ShowWindow(left, win::SW_HIDE);
  PumpPending();
  EXPECT_EQ(Picture(top), (std::vector<std::string>{"wwbbbb", "wwbbbb"}));
  EXPECT_FALSE(win::IsWindowVisible(left));
  win::WindowPixels pixels;
  EXPECT_FALSE(win::ReadWindowPixels(left, &pixels));
}

TEST_F(PaintTest, EraseBackgroundFillsWithTheClassBrushBeforePaint) {
  const win::HWND window = Make(nullptr, {0, 0, 3, 1}, kRed);
  PumpPending();
  MessageLog::Get().Clear();
  win::InvalidateRect(window, nullptr, win::TRUE);
  PumpPending();
  EXPECT_EQ(MessageLog::Get().Messages(window, win::WM_PAINT, win::WM_ERASEBKGND),
            (std::vector<win::UINT>{win::WM_PAINT, win::WM_ERASEBKGND}));
  // A painter that does not paint still gets the erased background.
  win::PAINTSTRUCT paint;
  win::InvalidateRect(window, nullptr, win::TRUE);
  const win::HDC dc = win::BeginPaint(window, &paint);
  ASSERT_NE(dc, nullptr);
  EXPECT_FALSE(paint.fErase) << "the class brush erased it";
  win::EndPaint(window, &paint);
  EXPECT_EQ(Picture(window), (std::vector<std::string>{"www"}));
}

TEST_F(PaintTest, UpdateWindowPaintsAtOnce) {
  const win::HWND top = Make(nullptr, {0, 0, 4, 2}, kGreen);
  const win::HWND child = Make(top, {2, 0, 4, 2}, kBlue);
  EXPECT_EQ(PaintsOf(top), 0);
  win::UpdateWindow(top);
  EXPECT_EQ(PaintsOf(top), 1);
  EXPECT_EQ(PaintsOf(child), 1);
  EXPECT_EQ(Picture(top), (std::vector<std::string>{"ggbb", "ggbb"}));
  EXPECT_EQ(PumpPending(), 0);
}

TEST_F(PaintTest, GetDcDrawsIntoTheVisibleAreaAndAHiddenWindowsDrawsNowhere) {
  const win::HWND top = Make(nullptr, {0, 0, 4, 2}, kWhite);
  const win::HWND child = Make(top, {1, 0, 3, 2}, kWhite, 0);  // hidden
  PumpPending();
  const win::HBRUSH red = win::CreateSolidBrush(win::RGB(255, 0, 0));
  const win::RECT all{0, 0, 10, 10};
  win::HDC dc = win::GetDC(child);
  ASSERT_NE(dc, nullptr);
  win::FillRect(dc, &all, red);
  EXPECT_EQ(win::ReleaseDC(child, dc), 1);
  EXPECT_EQ(Picture(top), (std::vector<std::string>{"wwww", "wwww"}));
  win::ShowWindow(child, win::SW_SHOWNA);
  PumpPending();
  dc = win::GetDC(top);
  win::FillRect(dc, &all, red);
  win::ReleaseDC(top, dc);
  EXPECT_EQ(Picture(top), (std::vector<std::string>{"rwwr", "rwwr"})) << "the parent's context leaves the child out";
  EXPECT_EQ(win::ReleaseDC(top, dc), 0) << "released once";
  win::DeleteObject(red);
}

TEST_F(PaintTest, AContextFollowsItsWindowWhenTheWindowMoves) {
  const win::HWND top = Make(nullptr, {0, 0, 4, 1}, kWhite);
  const win::HWND child = Make(top, {0, 0, 1, 1}, kWhite);
  PumpPending();
  const win::HDC dc = win::GetDC(child);
  win::SetWindowPos(child, nullptr, 3, 0, 0, 0, win::SWP_NOSIZE | win::SWP_NOZORDER);
  PumpPending();
  const win::HBRUSH blue = win::CreateSolidBrush(win::RGB(0, 0, 255));
  const win::RECT one{0, 0, 1, 1};
  win::FillRect(dc, &one, blue);
  win::ReleaseDC(child, dc);
  win::DeleteObject(blue);
  EXPECT_EQ(Picture(top), (std::vector<std::string>{"wwwb"}));
}

TEST_F(PaintTest, SetWindowPosReportsMoveAndSizeAndResizesTheSurface) {
  const win::HWND window = Make(nullptr, {10, 20, 14, 22}, kRed);
  PumpPending();
  MessageLog::Get().Clear();
  win::SetWindowPos(window, nullptr, 5, 6, 3, 2, win::SWP_NOZORDER);
  const auto messages = MessageLog::Get().Messages(window, win::WM_MOVE, win::WM_WINDOWPOSCHANGED);
  EXPECT_EQ(messages, (std::vector<win::UINT>{win::WM_WINDOWPOSCHANGING, win::WM_WINDOWPOSCHANGED, win::WM_MOVE, win::WM_SIZE}));
  win::RECT rect;
  win::GetWindowRect(window, &rect);
  EXPECT_EQ(rect.left, 5);
  EXPECT_EQ(rect.bottom, 8);
  PumpPending();
  EXPECT_EQ(Picture(window), (std::vector<std::string>{"rrr", "rrr"}));
}

TEST_F(PaintTest, SetParentMovesAWindowBetweenTopLevelAndChild) {
  const win::HWND host = Make(nullptr, {0, 0, 4, 2}, kWhite);
  const win::HWND roaming = Make(nullptr, {2, 0, 4, 2}, kBlue);
  PumpPending();
  EXPECT_EQ(Picture(roaming), (std::vector<std::string>{"bb", "bb"}));
  EXPECT_EQ(win::SetParent(roaming, host), nullptr);
  EXPECT_EQ(win::GetParent(roaming), host);
  EXPECT_TRUE(win::GetWindowLongA(roaming, win::GWL_STYLE) & win::WS_CHILD);
  PumpPending();
  EXPECT_EQ(Picture(host), (std::vector<std::string>{"wwbb", "wwbb"}));
  int surfaces = 0;
  win::VisitTopLevelSurfaces([&](const win::TopLevelSurface& s) { surfaces += s.window == roaming; });
  EXPECT_EQ(surfaces, 0) << "a child has no surface of its own";
  EXPECT_EQ(win::SetParent(host, roaming), nullptr) << "no cycles";
  EXPECT_EQ(win::SetParent(roaming, nullptr), host);
  PumpPending();
  EXPECT_EQ(Picture(host), (std::vector<std::string>{"wwww", "wwww"}));
  EXPECT_EQ(Picture(roaming), (std::vector<std::string>{"bb", "bb"}));
}

TEST_F(PaintTest, ClearingWsChildByStyleMakesATopLevelWindow) {
  const win::HWND host = Make(nullptr, {0, 0, 2, 1}, kWhite);
  const win::HWND child = Make(host, {0, 0, 1, 1}, kRed);
  PumpPending();
  win::SetWindowLongA(child, win::GWL_STYLE, static_cast<win::LONG>(win::WS_VISIBLE));
  EXPECT_EQ(win::GetParent(child), host) << "now owned by its old parent";
  EXPECT_FALSE(win::IsChild(host, child));
  PumpPending();
  EXPECT_EQ(Picture(host), (std::vector<std::string>{"ww"}));
  EXPECT_EQ(Picture(child), (std::vector<std::string>{"r"}));
}

TEST_F(PaintTest, CoordinatesMapThroughTheTree) {
  const win::HWND top = Make(nullptr, {100, 50, 300, 250}, kWhite);
  const win::HWND child = Make(top, {10, 20, 60, 70}, kWhite);
  const win::HWND grandchild = Make(child, {5, 5, 15, 15}, kWhite);
  win::POINT p{1, 2};
  win::ClientToScreen(grandchild, &p);
  EXPECT_EQ(p.x, 116);
  EXPECT_EQ(p.y, 77);
  win::ScreenToClient(child, &p);
  EXPECT_EQ(p.x, 6);
  EXPECT_EQ(p.y, 7);
  win::POINT points[] = {{0, 0}, {3, 4}};
  const int offsets = win::MapWindowPoints(grandchild, top, points, 2);
  EXPECT_EQ(points[1].x, 18);
  EXPECT_EQ(points[1].y, 29);
  EXPECT_EQ(win::LOWORD(static_cast<win::DWORD>(offsets)), 15);
  EXPECT_EQ(win::WindowFromPoint(win::POINT{116, 77}), grandchild);
  EXPECT_EQ(win::WindowFromPoint(win::POINT{101, 51}), top);
  EXPECT_EQ(win::WindowFromPoint(win::POINT{99, 51}), nullptr);
  EXPECT_EQ(win::ChildWindowFromPoint(top, win::POINT{12, 22}), child);
  EXPECT_EQ(win::ChildWindowFromPoint(top, win::POINT{2, 2}), top);
  EXPECT_EQ(win::GetWindow(top, win::GW_CHILD), child);
  win::SetCursorPos(7, 8);
  win::POINT cursor;
  win::GetCursorPos(&cursor);
  EXPECT_EQ(cursor.x, 7);
  EXPECT_EQ(cursor.y, 8);
}

TEST_F(PaintTest, TheSurfaceListenerHearsOfDrawingAndHiding) {
  std::vector<win::HWND> heard;
  win::SetSurfaceListener([&](win::HWND window) { heard.push_back(window); });
  const win::HWND top = Make(nullptr, {0, 0, 2, 2}, kRed);
  const win::HWND child = Make(top, {0, 0, 1, 1}, kRed);
  heard.clear();
  PumpPending();
  EXPECT_FALSE(heard.empty());
  EXPECT_TRUE(std::all_of(heard.begin(), heard.end(), [&](win::HWND w) { return w == top; }));
  heard.clear();
  win::ShowWindow(child, win::SW_HIDE);
  EXPECT_EQ(heard, std::vector<win::HWND>{top});
  win::SetSurfaceListener(nullptr);
}

}  // namespace
