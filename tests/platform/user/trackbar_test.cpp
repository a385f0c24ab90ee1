// The track bar class: range and position rules, dragging the thumb with the order of the
// parent's notifications, the right button's context-menu request, and the painted thumb, also
// into a context handed over with WM_PAINT.
#include "platform/user/trackbar.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/surfaces.h"
#include "platform/user/system_metrics.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"
#include "platform_test_support.h"
#include "user_test_window.h"

namespace {

using dashtune::testing::MakeWindow;
using dashtune::testing::MessageLog;

win::LPARAM Point(int x, int y) { return win::MAKELPARAM(static_cast<win::WORD>(x), static_cast<win::WORD>(y)); }

class TrackBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win::InitCommonControls();
    MessageLog::Get().Clear();
    parent_ = MakeWindow(nullptr, "parent", win::WS_POPUP | win::WS_VISIBLE);
    win::SetWindowPos(parent_, nullptr, 0, 0, 300, 60, win::SWP_NOZORDER);
    bar_ = win::CreateWindowExA(0, win::TRACKBAR_CLASSA, "", win::WS_CHILD | win::WS_VISIBLE, 0, 0, 214, 30, parent_,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(bar_, nullptr);
    // Track bars hook the parent's scroll notifications: record them with their codes.
    MessageLog::Get().React(parent_, [this](win::HWND, win::UINT message, win::WPARAM wParam, win::LPARAM lParam,
                                            bool* handled) -> win::LRESULT {
      if (message == win::WM_HSCROLL && reinterpret_cast<win::HWND>(lParam) == bar_) {
        notes_.push_back({win::LOWORD(wParam), win::HIWORD(wParam)});
        *handled = true;
      }
      if (message == win::WM_CONTEXTMENU) {
        menu_requests_.push_back(lParam);
        *handled = true;
      }
      return 0;
    });
  }
  void TearDown() override {
    win::DestroyWindow(parent_);
    MessageLog::Get().Clear();
  }
  long Send(win::UINT message, win::WPARAM wParam = 0, win::LPARAM lParam = 0) {
    return static_cast<long>(win::SendMessageA(bar_, message, wParam, lParam));
  }
  // The client x of position p: the channel runs from 7 to width - 7, 200 pixels here.
  static int XOf(int position, int minimum, int maximum) { return 7 + (position - minimum) * 200 / (maximum - minimum); }

  struct Note {
    win::WORD code;
    win::WORD position;
    bool operator==(const Note&) const = default;
  };
  win::HWND parent_ = nullptr;
  win::HWND bar_ = nullptr;
  std::vector<Note> notes_;
  std::vector<win::LPARAM> menu_requests_;
};

TEST_F(TrackBarTest, PositionsStayInTheRange) {
  EXPECT_EQ(Send(win::TBM_GETRANGEMIN), 0);
  EXPECT_EQ(Send(win::TBM_GETRANGEMAX), 100);
  struct Case {
    long minimum, maximum, set, expected;
  };
  const Case cases[] = {{0, 1000, 500, 500}, {0, 1000, -5, 0}, {0, 1000, 5000, 1000}, {-50, 50, -60, -50},
                        {10, 20, 15, 15}};
  for (const Case& c : cases) {
    Send(win::TBM_SETRANGEMIN, win::FALSE, c.minimum);
    Send(win::TBM_SETRANGEMAX, win::FALSE, c.maximum);
    Send(win::TBM_SETPOS, win::TRUE, c.set);
    EXPECT_EQ(Send(win::TBM_GETPOS), c.expected) << c.minimum << ".." << c.maximum << " set " << c.set;
  }
  // A narrower range takes the position with it.
  Send(win::TBM_SETRANGEMIN, win::FALSE, 0);
  Send(win::TBM_SETRANGEMAX, win::FALSE, 100);
  Send(win::TBM_SETPOS, win::TRUE, 90);
  Send(win::TBM_SETRANGEMAX, win::TRUE, 40);
  EXPECT_EQ(Send(win::TBM_GETPOS), 40);
  Send(win::TBM_SETRANGE, win::TRUE, win::MAKELPARAM(5, 8));
  EXPECT_EQ(Send(win::TBM_GETRANGEMIN), 5);
  EXPECT_EQ(Send(win::TBM_GETRANGEMAX), 8);
  EXPECT_EQ(Send(win::TBM_GETPOS), 8);
  EXPECT_TRUE(notes_.empty()) << "setting values tells the parent nothing";
}

TEST_F(TrackBarTest, TheThumbFollowsTheDraggingMouseAndTheParentHearsEachStep) {
  Send(win::TBM_SETRANGEMAX, win::FALSE, 1000);
  Send(win::TBM_SETPOS, win::TRUE, 100);
  win::RECT thumb{};
  Send(win::TBM_GETTHUMBRECT, 0, reinterpret_cast<win::LPARAM>(&thumb));
  EXPECT_EQ((thumb.left + thumb.right) / 2, XOf(100, 0, 1000));
  EXPECT_EQ(thumb.right - thumb.left, 11);

  Send(win::WM_LBUTTONDOWN, win::MK_LBUTTON, Point(XOf(100, 0, 1000), 15));
  EXPECT_EQ(win::GetCapture(), bar_);
  Send(win::WM_MOUSEMOVE, win::MK_LBUTTON, Point(XOf(600, 0, 1000), 15));
  EXPECT_EQ(Send(win::TBM_GETPOS), 600);
  Send(win::WM_MOUSEMOVE, win::MK_LBUTTON, Point(500, 15));  // past the end
  EXPECT_EQ(Send(win::TBM_GETPOS), 1000);
  Send(win::WM_LBUTTONUP, 0, Point(XOf(750, 0, 1000), 15));
  EXPECT_EQ(Send(win::TBM_GETPOS), 750);
  EXPECT_EQ(win::GetCapture(), nullptr);
  const std::vector<Note> expected = {{win::TB_THUMBTRACK, 600}, {win::TB_THUMBTRACK, 1000},
                                      {win::TB_THUMBTRACK, 750}, {win::TB_THUMBPOSITION, 750},
                                      {win::TB_ENDTRACK, 750}};
  EXPECT_EQ(notes_, expected);

  // Without the button held the mouse moves nothing.
  notes_.clear();
  Send(win::WM_MOUSEMOVE, 0, Point(XOf(200, 0, 1000), 15));
  EXPECT_EQ(Send(win::TBM_GETPOS), 750);
  EXPECT_TRUE(notes_.empty());
}

TEST_F(TrackBarTest, LosingTheCaptureEndsTheTrackWhereTheThumbIs) {
  Send(win::TBM_SETRANGEMAX, win::FALSE, 200);
  Send(win::WM_LBUTTONDOWN, win::MK_LBUTTON, Point(XOf(50, 0, 200), 15));
  win::ReleaseCapture();
  const std::vector<Note> expected = {{win::TB_THUMBTRACK, 50}, {win::TB_THUMBPOSITION, 50}, {win::TB_ENDTRACK, 50}};
  EXPECT_EQ(notes_, expected);
  Send(win::WM_MOUSEMOVE, win::MK_LBUTTON, Point(XOf(150, 0, 200), 15));
  EXPECT_EQ(Send(win::TBM_GETPOS), 50);
}

TEST_F(TrackBarTest, AReleasedRightButtonAsksTheParentForAContextMenuAtTheScreenPoint) {
  win::SetWindowPos(parent_, nullptr, 40, 50, 300, 60, win::SWP_NOZORDER);
  win::SetWindowPos(bar_, nullptr, 10, 20, 214, 30, win::SWP_NOZORDER);
  Send(win::WM_RBUTTONUP, 0, Point(3, 4));
  ASSERT_EQ(menu_requests_.size(), 1u);
  EXPECT_EQ(win::LOWORD(menu_requests_[0]), 53);
  EXPECT_EQ(win::HIWORD(menu_requests_[0]), 74);
}

TEST_F(TrackBarTest, PaintsTheFaceAndTheThumbWhereThePositionIs) {
  Send(win::TBM_SETRANGEMAX, win::FALSE, 100);
  Send(win::TBM_SETPOS, win::TRUE, 50);
  win::UpdateWindow(bar_);
  win::WindowPixels pixels;
  ASSERT_TRUE(win::ReadWindowPixels(bar_, &pixels));
  const win::DWORD face_colour = win::GetSysColor(win::COLOR_BTNFACE);
  const std::uint32_t face = ((face_colour & 0xFF) << 16) | (face_colour & 0xFF00) | ((face_colour >> 16) & 0xFF);
  EXPECT_EQ(pixels.At(1, 1), face);
  win::RECT thumb{};
  Send(win::TBM_GETTHUMBRECT, 0, reinterpret_cast<win::LPARAM>(&thumb));
  // The raised edge: light on the thumb's top-left, dark on its bottom-right.
  EXPECT_NE(pixels.At(thumb.left, thumb.top + 3), face);
  EXPECT_NE(pixels.At(thumb.right - 1, thumb.top + 3), face);
  EXPECT_NE(pixels.At(thumb.left, thumb.top + 3), pixels.At(thumb.right - 1, thumb.top + 3));
  // Away from the thumb, the channel shows at mid-height only.
  EXPECT_NE(pixels.At(30, 14), face);
  EXPECT_EQ(pixels.At(30, 5), face);

  Send(win::TBM_SETPOS, win::TRUE, 0);
  win::UpdateWindow(bar_);
  ASSERT_TRUE(win::ReadWindowPixels(bar_, &pixels));
  EXPECT_EQ(pixels.At(thumb.left, thumb.top + 3), face) << "the old thumb is painted over";
}

// A subclassing control begins the paint itself and passes its context in wParam: the bar paints
// there, although the window holds nothing to update any more.
TEST_F(TrackBarTest, PaintsIntoTheContextGivenWithThePaintMessage) {
  win::UpdateWindow(bar_);
  win::PAINTSTRUCT paint{};
  win::InvalidateRect(bar_, nullptr, win::FALSE);
  win::HDC dc = win::BeginPaint(bar_, &paint);
  ASSERT_NE(dc, nullptr);
  const win::ScopedGdiObject<win::HBRUSH> black(win::CreateSolidBrush(0));
  const win::RECT client{0, 0, 214, 30};
  win::FillRect(dc, &client, black.Get());
  Send(win::WM_PAINT, reinterpret_cast<win::WPARAM>(dc));
  win::EndPaint(bar_, &paint);
  win::WindowPixels pixels;
  ASSERT_TRUE(win::ReadWindowPixels(bar_, &pixels));
  const win::DWORD face_colour = win::GetSysColor(win::COLOR_BTNFACE);
  const std::uint32_t face = ((face_colour & 0xFF) << 16) | (face_colour & 0xFF00) | ((face_colour >> 16) & 0xFF);
  EXPECT_EQ(pixels.At(1, 1), face);
}

}  // namespace
