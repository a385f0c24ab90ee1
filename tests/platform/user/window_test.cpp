// Windows: creation messages, classes, extra bytes, subclassing, destruction from inside and by the
// owner, top-most windows staying above the others.
#include "platform/core/errors.h"
#include "platform/gdi/dc_access.h"
#include "platform/user/cursors.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/system_metrics.h"
#include "platform/user/timers.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"
#include "platform_test_support.h"
#include "user_test_window.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace {

using dashtune::testing::kRecordingClass;
using dashtune::testing::MakeWindow;
using dashtune::testing::MessageLog;
using dashtune::testing::PumpPending;

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { MessageLog::Get().Clear(); }
  void TearDown() override {
    PumpPending();
    MessageLog::Get().Clear();
  }
};

TEST_F(WindowTest, CreationSendsNcCreateThenCreateAndKeepsTheTitle) {
  const win::HWND window = MakeWindow(nullptr, "Player");
  ASSERT_NE(window, nullptr);
  const auto messages = MessageLog::Get().Messages(window);
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages[0], win::WM_NCCREATE);
  EXPECT_EQ(messages[1], win::WM_CREATE);
  char title[16];
  EXPECT_EQ(win::GetWindowTextA(window, title, sizeof title), 6);
  EXPECT_STREQ(title, "Player");
  EXPECT_EQ(win::GetWindowTextA(window, title, 4), 3) << "cut to the buffer";
  EXPECT_STREQ(title, "Pla");
  char16_t wide[16];
  EXPECT_EQ(win::DefWindowProcW(window, win::WM_GETTEXT, 16, reinterpret_cast<win::LPARAM>(wide)), 6);
  EXPECT_EQ(std::u16string(wide), u"Player");
  win::DestroyWindow(window);
}

TEST_F(WindowTest, ARefusedCreationLeavesNoWindow) {
  struct Case {
    win::UINT refuse;
    win::LRESULT answer;
  };
  for (const Case& c : {Case{win::WM_NCCREATE, 0}, Case{win::WM_CREATE, -1}}) {
    static Case current;
    current = c;
    win::WNDCLASSA info;
    info.lpfnWndProc = [](win::HWND w, win::UINT m, win::WPARAM wp, win::LPARAM lp) -> win::LRESULT {
      MessageLog::Get().Add({w, m, wp, 0});
      return m == current.refuse ? current.answer : win::DefWindowProcA(w, m, wp, lp);
    };
    const std::string name = "Refusing" + std::to_string(c.refuse);
    info.lpszClassName = name.c_str();
    ASSERT_NE(win::RegisterClassA(&info), 0);
    EXPECT_EQ(win::CreateWindowExA(0, name.c_str(), "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(MessageLog::Get().Entries().back().message, win::WM_NCDESTROY);
    EXPECT_EQ(win::FindWindowExA(nullptr, nullptr, name.c_str(), nullptr), nullptr);
    EXPECT_EQ(win::UnregisterClassA(name.c_str(), nullptr), win::TRUE) << "no window of the class is left";
  }
}

TEST_F(WindowTest, ClassesRefuseDuplicatesBadSizesAndUnregisteringWhileUsed) {
  win::WNDCLASSA info;
  info.lpfnWndProc = win::DefWindowProcA;
  info.lpszClassName = "serComWindowTest";
  ASSERT_NE(win::RegisterClassA(&info), 0);
  info.lpszClassName = "SERCOMWINDOWTEST";
  win::SetLastError(0);
  EXPECT_EQ(win::RegisterClassA(&info), 0);
  EXPECT_EQ(win::GetLastError(), win::ERROR_CLASS_ALREADY_EXISTS);
  info.lpszClassName = "TooMuch";
  info.cbWndExtra = 41;
  EXPECT_EQ(win::RegisterClassA(&info), 0);
  EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_PARAMETER);

  const win::HWND window =
      win::CreateWindowExA(0, "sercomwindowtest", "", 0, 0, 0, 0, 0, win::HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(win::UnregisterClassA("serComWindowTest", nullptr), win::FALSE);
  EXPECT_EQ(win::GetLastError(), win::ERROR_CLASS_HAS_WINDOWS);
  win::DestroyWindow(window);
  EXPECT_EQ(win::UnregisterClassA("serComWindowTest", nullptr), win::TRUE);
  EXPECT_EQ(win::CreateWindowExA(0, "serComWindowTest", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(win::GetLastError(), win::ERROR_CANNOT_FIND_WND_CLASS);
}

TEST_F(WindowTest, ExtraBytesAndFieldsReadBackAndRefuseOutOfRangeIndices) {
  const win::HWND window = MakeWindow();  // 16 extra bytes
  EXPECT_EQ(win::SetWindowLongPtrA(window, 8, 0x1122334455667788), 0);
  EXPECT_EQ(win::GetWindowLongPtrA(window, 8), 0x1122334455667788);
  EXPECT_EQ(win::GetWindowLongA(window, 8), 0x55667788) << "the low four bytes";
  EXPECT_EQ(win::SetWindowLongA(window, 12, 5), 0x11223344);
  EXPECT_EQ(win::GetWindowLongA(window, 12), 5);
  EXPECT_EQ(win::SetWindowLongPtrA(window, win::GWLP_USERDATA, 77), 0);
  EXPECT_EQ(win::GetWindowLongPtrA(window, win::GWLP_USERDATA), 77);
  for (const win::INT index : {9, 16, -100}) {
    win::SetLastError(0);
    EXPECT_EQ(win::GetWindowLongPtrA(window, index), 0) << index;
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_INDEX) << index;
    EXPECT_EQ(win::SetWindowLongPtrA(window, index, 1), 0) << index;
  }
  EXPECT_EQ(win::GetWindowLongA(window, 13), 0) << "four bytes from 13 pass the end";
  EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_INDEX);
  win::DestroyWindow(window);
}

win::WNDPROC original_procedure = nullptr;

win::LRESULT Subclass(win::HWND window, win::UINT message, win::WPARAM wParam, win::LPARAM lParam) {
  if (message == win::WM_USER) return 1000 + win::CallWindowProcA(original_procedure, window, message, wParam, lParam);
  return win::CallWindowProcA(original_procedure, window, message, wParam, lParam);
}

TEST_F(WindowTest, ReplacingTheProcedureSubclassesTheWindow) {
  const win::HWND window = MakeWindow();
  MessageLog::Get().React(window, [](win::HWND, win::UINT message, win::WPARAM, win::LPARAM, bool* handled) {
    *handled = message == win::WM_USER;
    return static_cast<win::LRESULT>(1);
  });
  original_procedure = reinterpret_cast<win::WNDPROC>(
      win::SetWindowLongPtrA(window, win::GWLP_WNDPROC, reinterpret_cast<win::LONG_PTR>(&Subclass)));
  EXPECT_EQ(original_procedure, &dashtune::testing::RecordingProcedure);
  EXPECT_EQ(win::GetWindowLongPtrA(window, win::GWLP_WNDPROC), reinterpret_cast<win::LONG_PTR>(&Subclass));
  EXPECT_EQ(win::SendMessageA(window, win::WM_USER, 0, 0), 1001);

  win::LONG_PTR from_other_thread = -1;
  std::thread([&] {
    from_other_thread = win::SetWindowLongPtrA(window, win::GWLP_WNDPROC, reinterpret_cast<win::LONG_PTR>(&win::DefWindowProcA));
  }).join();
  EXPECT_EQ(from_other_thread, 0) << "only the owner thread replaces the procedure";
  EXPECT_EQ(win::SendMessageA(window, win::WM_USER, 0, 0), 1001);
  win::DestroyWindow(window);
}

TEST_F(WindowTest, AWindowDestroyedFromInsideItsOwnProcedure) {
  const win::HWND window = MakeWindow();
  const win::HWND child = MakeWindow(window, "", win::WS_CHILD);
  win::SetTimer(window, 1, 10, nullptr);
  win::PostMessageA(window, win::WM_USER + 1, 0, 0);
  bool valid_after = true;
  MessageLog::Get().React(window, [&](win::HWND self, win::UINT message, win::WPARAM, win::LPARAM, bool* handled) {
    *handled = message == win::WM_USER;
    if (!*handled) return static_cast<win::LRESULT>(0);
    EXPECT_EQ(win::DestroyWindow(self), win::TRUE);
    valid_after = win::IsWindow(self);
    return static_cast<win::LRESULT>(5);
  });
  EXPECT_EQ(win::SendMessageA(window, win::WM_USER, 0, 0), 5);
  EXPECT_FALSE(valid_after);
  EXPECT_FALSE(win::IsWindow(window));
  EXPECT_FALSE(win::IsWindow(child));
  const auto entries = MessageLog::Get().Entries();
  std::vector<std::pair<win::HWND, win::UINT>> ending;
  for (const auto& r : entries)
    if (r.message == win::WM_DESTROY || r.message == win::WM_NCDESTROY) ending.emplace_back(r.window, r.message);
  EXPECT_EQ(ending, (std::vector<std::pair<win::HWND, win::UINT>>{{window, win::WM_DESTROY},
                                                                   {child, win::WM_DESTROY},
                                                                   {child, win::WM_NCDESTROY},
                                                                   {window, win::WM_NCDESTROY}}));
  win::MSG msg;
  EXPECT_FALSE(win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE)) << "its posted messages went with it";
  EXPECT_FALSE(win::NextTimerDueNanoseconds().has_value()) << "and its timers";
  EXPECT_EQ(win::DestroyWindow(window), win::FALSE);
}

TEST_F(WindowTest, OnlyTheOwnerThreadDestroysAWindow) {
  const win::HWND window = MakeWindow();
  win::BOOL destroyed = win::TRUE;
  win::DWORD error = 0;
  std::thread([&] {
    destroyed = win::DestroyWindow(window);
    error = win::GetLastError();
  }).join();
  EXPECT_EQ(destroyed, win::FALSE);
  EXPECT_EQ(error, win::ERROR_ACCESS_DENIED);
  EXPECT_TRUE(win::IsWindow(window));
  win::DestroyWindow(window);
}

TEST_F(WindowTest, HandlesAreNeverReused) {
  std::set<win::HWND> seen;
  for (int i = 0; i < 50; ++i) {
    const win::HWND window = MakeWindow();
    EXPECT_TRUE(seen.insert(window).second);
    win::DestroyWindow(window);
  }
}

TEST_F(WindowTest, TopMostWindowsStayAboveTheOthers) {
  dashtune::testing::RegisterRecordingClass();
  const win::DWORD shown = win::WS_POPUP | win::WS_VISIBLE;
  const win::HWND top_most = win::CreateWindowExA(win::WS_EX_TOPMOST, kRecordingClass, "top", shown, 0, 0, 100, 50,
                                                  nullptr, nullptr, nullptr, nullptr);
  const win::HWND plain = MakeWindow(nullptr, "plain", shown);
  const win::POINT inside{10, 10};
  EXPECT_EQ(win::WindowFromPoint(inside), top_most) << "a newer window goes below the top-most one";
  win::SetWindowPos(plain, win::HWND_TOP, 0, 0, 0, 0, win::SWP_NOMOVE | win::SWP_NOSIZE);
  EXPECT_EQ(win::WindowFromPoint(inside), top_most) << "raising stops below it";
  win::SetWindowPos(top_most, win::HWND_NOTOPMOST, 0, 0, 0, 0, win::SWP_NOMOVE | win::SWP_NOSIZE);
  EXPECT_EQ(win::GetWindowLongA(top_most, win::GWL_EXSTYLE) & win::WS_EX_TOPMOST, 0);
  win::SetWindowPos(plain, win::HWND_TOP, 0, 0, 0, 0, win::SWP_NOMOVE | win::SWP_NOSIZE);
  EXPECT_EQ(win::WindowFromPoint(inside), plain);
  win::SetWindowPos(top_most, win::HWND_TOPMOST, 0, 0, 0, 0, win::SWP_NOMOVE | win::SWP_NOSIZE);
  EXPECT_EQ(win::WindowFromPoint(inside), top_most);
  EXPECT_NE(win::GetWindowLongA(top_most, win::GWL_EXSTYLE) & win::WS_EX_TOPMOST, 0);
  win::DestroyWindow(plain);
  win::DestroyWindow(top_most);
}

TEST_F(WindowTest, FindWindowExSeesMessageOnlyWindowsOnlyWhenAskedFor) {
  const win::HWND hidden = MakeWindow(win::HWND_MESSAGE, "port");
  const win::HWND top = MakeWindow(nullptr, "VideoHost");
  const win::HWND first = MakeWindow(top, "port", win::WS_CHILD);
  const win::HWND second = MakeWindow(top, "Port", win::WS_CHILD);
  EXPECT_EQ(win::FindWindowExA(nullptr, nullptr, kRecordingClass, "port"), nullptr);
  EXPECT_EQ(win::FindWindowExA(win::HWND_MESSAGE, nullptr, kRecordingClass, "port"), hidden);
  EXPECT_EQ(win::FindWindowExA(nullptr, nullptr, "recordingwindow", "videohost"), top);
  const win::HWND found = win::FindWindowExA(top, nullptr, kRecordingClass, "PORT");
  ASSERT_NE(found, nullptr);
  const win::HWND next = win::FindWindowExA(top, found, kRecordingClass, "port");
  EXPECT_EQ(std::set<win::HWND>({found, next}), std::set<win::HWND>({first, second}));
  EXPECT_EQ(win::FindWindowExA(top, next, kRecordingClass, "port"), nullptr);
  EXPECT_EQ(win::FindWindowExA(top, nullptr, "VideoRenderer", nullptr), nullptr);
  EXPECT_EQ(win::FindWindowExW(top, nullptr, u"RecordingWindow", nullptr), second) << "newest child on top";
  EXPECT_TRUE(win::IsChild(top, first));
  EXPECT_FALSE(win::IsChild(first, top));
  win::DestroyWindow(top);
  win::DestroyWindow(hidden);
}

TEST_F(WindowTest, FocusCaptureAndActivationTellTheWindowsInvolved) {
  const win::HWND a = MakeWindow(nullptr, "a");
  const win::HWND b = MakeWindow(nullptr, "b");
  MessageLog::Get().Clear();
  EXPECT_EQ(win::SetFocus(a), nullptr);
  EXPECT_EQ(win::SetFocus(b), a);
  EXPECT_EQ(win::GetFocus(), b);
  EXPECT_EQ(win::SetCapture(a), nullptr);
  EXPECT_EQ(win::GetCapture(), a);
  win::ReleaseCapture();
  EXPECT_EQ(win::GetCapture(), nullptr);
  EXPECT_EQ(win::SetActiveWindow(a), nullptr);
  EXPECT_EQ(win::SetActiveWindow(b), a);
  EXPECT_EQ(win::GetActiveWindow(), b);
  EXPECT_EQ(win::GetForegroundWindow(), b);
  std::vector<std::pair<win::HWND, win::UINT>> seen;
  for (const auto& r : MessageLog::Get().Entries()) seen.emplace_back(r.window, r.message);
  EXPECT_EQ(seen, (std::vector<std::pair<win::HWND, win::UINT>>{{a, win::WM_SETFOCUS},
                                                                {a, win::WM_KILLFOCUS},
                                                                {b, win::WM_SETFOCUS},
                                                                {a, win::WM_CAPTURECHANGED},
                                                                {a, win::WM_ACTIVATE},
                                                                {a, win::WM_ACTIVATE},
                                                                {b, win::WM_ACTIVATE}}));
  win::DestroyWindow(b);
  EXPECT_EQ(win::GetFocus(), nullptr) << "a destroyed window loses the focus";
  EXPECT_EQ(win::GetActiveWindow(), nullptr);
  win::DestroyWindow(a);
}

TEST(SystemTables, MetricsColoursAndCursors) {
  EXPECT_EQ(win::GetSystemMetrics(win::SM_CXSCREEN), win::gdi::GetVirtualScreen().width);
  EXPECT_EQ(win::GetSystemMetrics(win::SM_CYSCREEN), win::gdi::GetVirtualScreen().height);
  EXPECT_EQ(win::GetSystemMetrics(win::SM_CXVSCROLL), 17);
  EXPECT_EQ(win::GetSystemMetrics(9999), 0);
  EXPECT_EQ(win::GetSysColor(win::COLOR_WINDOW), win::RGB(255, 255, 255));
  EXPECT_EQ(win::GetSysColor(win::COLOR_HIGHLIGHT), win::RGB(0, 0, 128));
  EXPECT_EQ(win::gdi::SystemColour(win::COLOR_INFOBK), win::RGB(255, 255, 225)) << "the raster engine reads this table";
  EXPECT_EQ(win::GetSysColor(win::COLOR_BTNFACE), win::GetSysColor(win::COLOR_3DFACE));
  EXPECT_EQ(win::GetSysColor(-1), 0u);
  EXPECT_EQ(win::GetSysColor(31), 0u);

  const win::HCURSOR arrow = win::LoadCursorA(nullptr, win::IDC_ARROW);
  ASSERT_NE(arrow, nullptr);
  EXPECT_EQ(win::LoadCursorA(nullptr, win::IDC_ARROW), arrow);
  EXPECT_NE(win::LoadCursorA(nullptr, win::IDC_HAND), arrow);
  EXPECT_EQ(win::SystemCursorId(arrow), 32512);
  EXPECT_EQ(win::LoadCursorA(nullptr, win::MakeIntResourceA(1)), nullptr);
  const win::HCURSOR before = win::SetCursor(arrow);
  EXPECT_EQ(win::GetCursor(), arrow);
  win::SetCursor(before);
  EXPECT_EQ(win::ShowCursor(win::FALSE), -1);
  EXPECT_EQ(win::ShowCursor(win::TRUE), 0);
}

}  // namespace
