// Timers: deadline order on the fake clock, late pumps, reset and kill, callbacks, forged messages.
#include "platform/core/clock.h"
#include "platform/user/messages.h"
#include "platform/user/timers.h"
#include "platform/user/window.h"
#include "platform_test_support.h"
#include "user_test_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <time.h>

namespace {

using dashtune::testing::AdvanceAndPump;
using dashtune::testing::MakeWindow;
using dashtune::testing::MessageLog;
using dashtune::testing::PumpPending;
using namespace std::chrono_literals;

struct Firing {
  win::DWORD tick;
  win::UINT_PTR id;
  bool operator==(const Firing&) const = default;
};

std::vector<Firing>* callback_firings = nullptr;

win::DWORD callback_start = 0;

void RecordCallback(win::HWND, win::UINT message, win::UINT_PTR id, win::DWORD time) {
  if (message == win::WM_TIMER && callback_firings) callback_firings->push_back({time - callback_start, id});
}

class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MessageLog::Get().Clear();
    window_ = MakeWindow();
    start_ = win::GetTickCount();
    MessageLog::Get().React(window_, [this](win::HWND, win::UINT message, win::WPARAM wParam, win::LPARAM, bool* handled) {
      if (message == win::WM_TIMER) firings_.push_back({win::GetTickCount() - start_, wParam});
      *handled = message == win::WM_TIMER;
      return static_cast<win::LRESULT>(0);
    });
    callback_firings = &firings_;
    callback_start = start_;
  }
  void TearDown() override {
    callback_firings = nullptr;
    win::DestroyWindow(window_);
    PumpPending();
    MessageLog::Get().Clear();
  }
  win::ScopedFakeClock fake_;
  win::HWND window_ = nullptr;
  win::DWORD start_ = 0;
  std::vector<Firing> firings_;
};

TEST_F(TimerTest, TimersFireInDeadlineOrderWithoutRealSleeping) {
  ASSERT_EQ(win::SetTimer(window_, 1, 100, nullptr), 1u);
  ASSERT_EQ(win::SetTimer(window_, 2, 250, nullptr), 2u);
  const auto real_start = std::chrono::steady_clock::now();
  AdvanceAndPump(99);
  EXPECT_TRUE(firings_.empty());
  AdvanceAndPump(501);
  EXPECT_EQ(firings_, (std::vector<Firing>{{100, 1}, {200, 1}, {250, 2}, {300, 1}, {400, 1}, {500, 2}, {500, 1}, {600, 1}}));
  EXPECT_LT(std::chrono::steady_clock::now() - real_start, 2s);
}

TEST_F(TimerTest, ALatePumpGetsOneMessageNotABacklog) {
  win::SetTimer(window_, 7, 100, nullptr);
  fake_.Advance(1000);
  PumpPending();
  EXPECT_EQ(firings_, (std::vector<Firing>{{1000, 7}}));
  AdvanceAndPump(100);
  EXPECT_EQ(firings_.size(), 2u);
}

TEST_F(TimerTest, ResettingRestartsTheIntervalAndKillingStopsIt) {
  win::SetTimer(window_, 1, 100, nullptr);
  AdvanceAndPump(80);
  win::SetTimer(window_, 1, 100, nullptr);
  AdvanceAndPump(90);
  EXPECT_TRUE(firings_.empty()) << "the reset timer counts from the reset";
  AdvanceAndPump(10);
  EXPECT_EQ(firings_, (std::vector<Firing>{{180, 1}}));
  EXPECT_EQ(win::KillTimer(window_, 1), win::TRUE);
  EXPECT_EQ(win::KillTimer(window_, 1), win::FALSE);
  AdvanceAndPump(500);
  EXPECT_EQ(firings_.size(), 1u);
}

TEST_F(TimerTest, CallbacksAndThreadTimersRunThroughDispatchMessage) {
  const win::UINT_PTR thread_timer = win::SetTimer(nullptr, 0, 30, RecordCallback);
  ASSERT_NE(thread_timer, 0u);
  win::SetTimer(window_, 5, 50, RecordCallback);
  AdvanceAndPump(100);
  EXPECT_EQ(firings_, (std::vector<Firing>{{30, thread_timer}, {50, 5}, {60, thread_timer}, {90, thread_timer}, {100, 5}}));
  EXPECT_TRUE(MessageLog::Get().Messages(window_, win::WM_TIMER, win::WM_TIMER).empty())
      << "a callback timer does not reach the window procedure";
  win::KillTimer(nullptr, thread_timer);
}

TEST_F(TimerTest, AForgedTimerMessageDoesNotCallItsPointer) {
  win::MSG forged;
  forged.hwnd = window_;
  forged.message = win::WM_TIMER;
  forged.wParam = 9;
  forged.lParam = reinterpret_cast<win::LPARAM>(&RecordCallback);
  win::DispatchMessageA(&forged);
  EXPECT_TRUE(firings_.empty());
}

TEST_F(TimerTest, GetMessageWaitsForTheNextTimerOnTheFakeClock) {
  const std::size_t others = win::ScopedFakeClock::WaitingThreads();
  win::SetTimer(window_, 3, 3000, nullptr);
  std::atomic<bool> advanced{false};
  std::thread advancer([&] {
    win::ScopedFakeClock::AwaitWaitingThreads(others + 1, 5s);
    fake_.Advance(2999);
    std::this_thread::sleep_for(20ms);
    advanced = true;
    fake_.Advance(1);
  });
  win::MSG msg;
  ASSERT_EQ(win::GetMessageA(&msg, nullptr, 0, 0), win::TRUE);
  advancer.join();
  EXPECT_TRUE(advanced.load()) << "the timer came before its deadline";
  EXPECT_EQ(msg.message, win::WM_TIMER);
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_EQ(msg.time - start_, 3000u);
}

}  // namespace

namespace {

TEST_F(TimerTest, AFilteredWaitIsNotWokenAgainAndAgainByAnotherWindowsDueTimer) {
  const std::size_t others = win::ScopedFakeClock::WaitingThreads();
  const win::HWND other = MakeWindow();
  win::SetTimer(other, 1, 10, nullptr);
  fake_.Advance(10);  // due, but GetMessage below filters it out
  std::thread poster([&] {
    win::ScopedFakeClock::AwaitWaitingThreads(others + 1, 5s);
    std::this_thread::sleep_for(50ms);  // long enough for a spinning wait to show
    win::PostMessageA(window_, win::WM_USER, 0, 0);
  });
  const auto cpu_now = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1'000'000'000ll + t.tv_nsec;
  };
  const long long cpu_before = cpu_now();
  win::MSG msg;
  ASSERT_EQ(win::GetMessageA(&msg, window_, 0, 0), win::TRUE);
  const long long cpu_used = cpu_now() - cpu_before;
  poster.join();
  EXPECT_EQ(msg.message, win::WM_USER);
  EXPECT_LT(cpu_used, 25'000'000) << "the wait spun";
  win::DestroyWindow(other);
}

}  // namespace
