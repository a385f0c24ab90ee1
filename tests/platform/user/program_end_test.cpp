// A program that ends (exit) while threads it did not stop still wait and post to its windows, as
// a media engine's streaming thread posts frames: the end must not free what they use.
#include "platform/core/wait.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

namespace {

constexpr char kClass[] = "ProgramEndTarget";

win::HWND MakeTarget() {
  win::WNDCLASSA window_class{};
  window_class.lpfnWndProc = &win::DefWindowProcA;
  window_class.lpszClassName = kClass;
  win::RegisterClassA(&window_class);
  return win::CreateWindowExA(0, kClass, "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

// Posts to the window and waits briefly, over and over, until the process ends under it.
[[noreturn]] void PostAndWaitForEver(win::HWND window, std::atomic<int>& rounds) {
  for (;;) {
    win::PostMessageA(window, win::WM_USER, 0, 0);
    win::Sleep(1);
    ++rounds;
  }
}

TEST(ProgramEndTest, ThreadsStillPostingAndWaitingWhenTheProgramEndsDoNoHarm) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Each run has a few chances of a thread inside the table or the registry as the end frees it.
  constexpr int kRuns = 8;
  for (int run = 0; run < kRuns; ++run) {
    EXPECT_EXIT(
        {
          const win::HWND window = MakeTarget();
          std::atomic<int> rounds{0};
          for (int i = 0; i < 4; ++i) std::thread([&] { PostAndWaitForEver(window, rounds); }).detach();
          while (rounds < 40) std::this_thread::yield();
          std::exit(0);
        },
        ::testing::ExitedWithCode(0), "")
        << "run " << run;
  }
}

}  // namespace
