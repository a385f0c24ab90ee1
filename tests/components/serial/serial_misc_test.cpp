// Serial helpers: yielding to the message loop and the other small routines of the library.
#include "components/serial/serial_misc.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/core/clock.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"

namespace dashtune::serial {
namespace {

TEST(SerialMisc, ClockFollowsThePlatformClock) {
  win::ScopedFakeClock clock(5'000'000);
  win::DWORD start = SerTimeGetTime();
  win::DWORD ticks = CurrentTicks();
  clock.Advance(1234);
  EXPECT_EQ(SerTimeGetTime() - start, 1234u);
  EXPECT_EQ(CurrentTicks(), (start + 1234) / kTickMilliseconds);
  EXPECT_EQ(ticks, start / kTickMilliseconds);
  EventTimer timer;
  NewTimer(timer, 2);
  clock.Advance(110);
  EXPECT_FALSE(TimerExpired(timer));
  clock.Advance(55);
  EXPECT_TRUE(TimerExpired(timer));
}

win::LRESULT CountingProcedure(win::HWND window, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
  if (msg == win::WM_USER + 5) return 0;
  return win::DefWindowProcA(window, msg, wParam, lParam);
}

TEST(SerialMisc, SafeYieldTakesOneMessageAndKeepsAQuit) {
  win::MSG drained;
  while (win::PeekMessageA(&drained, nullptr, 0, 0, win::PM_REMOVE)) {
  }
  EXPECT_EQ(SafeYield(), 0u);
  win::WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &CountingProcedure;
  windowClass.lpszClassName = "serialYieldTest";
  win::RegisterClassA(&windowClass);
  win::HWND window =
      win::CreateWindowExA(0, "serialYieldTest", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  win::PostMessageA(window, win::WM_USER + 5, 0, 0);
  win::PostMessageA(window, win::WM_USER + 5, 0, 0);
  win::DWORD answer = SafeYield();
  EXPECT_EQ(win::LOWORD(answer), win::WM_USER + 5);
  EXPECT_EQ(win::HIWORD(answer), static_cast<win::WORD>(reinterpret_cast<std::uintptr_t>(window)));
  EXPECT_EQ(win::LOWORD(SafeYield()), win::WM_USER + 5);
  EXPECT_EQ(SafeYield(), 0u);
  win::PostQuitMessage(7);
  EXPECT_EQ(win::LOWORD(SafeYield()), win::WM_QUIT);
  win::MSG quit;
  ASSERT_TRUE(win::PeekMessageA(&quit, nullptr, 0, 0, win::PM_REMOVE));
  EXPECT_EQ(quit.message, win::WM_QUIT);
  EXPECT_EQ(quit.wParam, 7u);
  win::DestroyWindow(window);
}

TEST(SerialMisc, ExistFileIsTrueOnlyForFiles) {
  std::string name = ::testing::TempDir() + "serial_exists.txt";
  std::FILE* file = std::fopen(name.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_TRUE(ExistFile(name));
  EXPECT_FALSE(ExistFile(::testing::TempDir()));
  std::remove(name.c_str());
  EXPECT_FALSE(ExistFile(name));
}

}  // namespace
}  // namespace dashtune::serial
