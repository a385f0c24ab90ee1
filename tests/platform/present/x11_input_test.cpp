// X input translation: double clicks, buttons to the child under the pointer, Shift and Caps Lock.
#include "platform/present/x11_input.h"
#include "platform/user/cursors.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"
#include "platform_test_support.h"
#include "../user/user_test_window.h"

#include <gtest/gtest.h>
// Xlib after GoogleTest: its macros (None, Bool) would break GoogleTest's own names.
#include <X11/Xlib.h>

namespace {

using dashtune::testing::MessageLog;
using dashtune::testing::PumpPending;
using dashtune::testing::RecordingProcedure;

class InputTranslatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MessageLog::Get().Clear();
    static const bool registered = [] {
      win::WNDCLASSA info;
      info.style = win::CS_DBLCLKS;
      info.lpfnWndProc = RecordingProcedure;
      info.lpszClassName = "DoubleClickWindow";
      return win::RegisterClassA(&info) != 0;
    }();
    ASSERT_TRUE(registered);
  }
  void TearDown() override {
    for (const win::HWND window : windows_) win::DestroyWindow(window);
    PumpPending();
    MessageLog::Get().Clear();
    const win::BYTE cleared[256] = {};
    win::SetKeyboardState(cleared);
  }
  win::HWND Make(const char* class_name) {
    windows_.push_back(win::CreateWindowExA(0, class_name, "", win::WS_VISIBLE, 100, 100, 50, 50, nullptr, nullptr,
                                            nullptr, nullptr));
    return windows_.back();
  }
  static XEvent Button(int type, unsigned int button, int x, int y, unsigned long time) {
    XEvent event{};
    event.xbutton.type = type;
    event.xbutton.button = button;
    event.xbutton.x = x;
    event.xbutton.y = y;
    event.xbutton.time = time;
    return event;
  }
  std::vector<win::UINT> Clicks(win::HWND window) {
    PumpPending();
    return MessageLog::Get().Messages(window, win::WM_LBUTTONDOWN, win::WM_RBUTTONDBLCLK);
  }
  std::vector<win::HWND> windows_;
};

TEST_F(InputTranslatorTest, TwoQuickClicksMakeADoubleClickOnlyForClassesThatAskForIt) {
  struct Press {
    unsigned long time;
    int x;
  };
  const Press presses[] = {{1000, 5}, {1300, 6}, {1400, 6}, {2500, 6}, {2600, 20}};
  for (const char* class_name : {"DoubleClickWindow", dashtune::testing::kRecordingClass}) {
    dashtune::testing::RegisterRecordingClass();
    const win::HWND window = Make(class_name);
    win::present::InputTranslator translator;
    for (const Press& p : presses) {
      translator.Post(Button(ButtonPress, Button1, p.x, 5, p.time), window);
      translator.Post(Button(ButtonRelease, Button1, p.x, 5, p.time + 10), window);
    }
    const bool doubles = std::string(class_name) == "DoubleClickWindow";
    using V = std::vector<win::UINT>;
    constexpr win::UINT D = win::WM_LBUTTONDOWN, U = win::WM_LBUTTONUP, DD = win::WM_LBUTTONDBLCLK;
    // 1300: second click in time; 1400: starts anew; 2500: too late; 2600: too far away.
    EXPECT_EQ(Clicks(window), doubles ? (V{D, U, DD, U, D, U, D, U, D, U}) : (V{D, U, D, U, D, U, D, U, D, U}))
        << class_name;
  }
}

TEST_F(InputTranslatorTest, ButtonsGoToTheChildUnderThePointerInClientCoordinates) {
  const win::HWND top = Make("DoubleClickWindow");
  const win::HWND child = win::CreateWindowExA(0, "DoubleClickWindow", "", win::WS_CHILD | win::WS_VISIBLE, 10, 20, 10,
                                               10, top, nullptr, nullptr, nullptr);
  win::present::InputTranslator translator;
  translator.Post(Button(ButtonPress, Button3, 12, 23, 1), top);
  PumpPending();
  const auto entries = MessageLog::Get().Entries();
  const auto press = std::find_if(entries.begin(), entries.end(), [](auto& r) { return r.message == win::WM_RBUTTONDOWN; });
  ASSERT_NE(press, entries.end());
  EXPECT_EQ(press->window, child);
  win::POINT cursor;
  win::GetCursorPos(&cursor);
  EXPECT_EQ(cursor.x, 112);
  EXPECT_EQ(cursor.y, 123);
  EXPECT_LT(win::GetKeyState(win::VK_RBUTTON), 0) << "the button is down";
  translator.Post(Button(ButtonRelease, Button3, 12, 23, 2), top);
  EXPECT_GE(win::GetKeyState(win::VK_RBUTTON), 0);
}

TEST_F(InputTranslatorTest, TranslateMessageFollowsShiftAndCapsLock) {
  const win::HWND window = Make("DoubleClickWindow");
  struct Case {
    bool shift, caps;
    win::WPARAM expected;
  };
  for (const Case& c : {Case{false, false, 'q'}, Case{true, false, 'Q'}, Case{false, true, 'Q'}, Case{true, true, 'q'}}) {
    win::BYTE keys[256] = {};
    keys[win::VK_SHIFT] = c.shift ? 0x80 : 0;
    keys[win::VK_CAPITAL] = c.caps ? 0x01 : 0;
    ASSERT_TRUE(win::SetKeyboardState(keys));
    win::MSG key;
    key.hwnd = window;
    key.message = win::WM_KEYDOWN;
    key.wParam = 'Q';
    ASSERT_TRUE(win::TranslateMessage(&key));
    win::MSG msg;
    ASSERT_TRUE(win::PeekMessageA(&msg, window, win::WM_CHAR, win::WM_CHAR, win::PM_REMOVE));
    EXPECT_EQ(msg.wParam, c.expected);
  }
  EXPECT_EQ(win::GetClassLongPtrA(window, win::GCL_STYLE), win::CS_DBLCLKS);
  EXPECT_EQ(win::GetClassLongPtrA(window, 5), 0u);
}

}  // namespace
