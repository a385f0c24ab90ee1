// The clock: fake tick counts and counters, wrapping, real time, Sleep and waits under the fake clock.
#include "platform/core/clock.h"
#include "platform/core/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// How long a test gives a woken thread to run, on the real clock. Only ever waited out in full
// where a test checks that something did not happen.
constexpr auto kGrace = 30ms;
constexpr auto kBound = 5s;

bool EventuallyTrue(const std::atomic<bool>& flag, std::chrono::milliseconds bound) {
  const auto until = std::chrono::steady_clock::now() + bound;
  while (!flag.load()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(FakeClock, TickCountsAndCounterMoveOnlyWhenAdvanced) {
  win::ScopedFakeClock fake(5000);
  EXPECT_TRUE(win::clock::IsFake());
  win::LARGE_INTEGER frequency, before, after;
  ASSERT_TRUE(win::QueryPerformanceFrequency(&frequency));
  ASSERT_TRUE(win::QueryPerformanceCounter(&before));
  EXPECT_EQ(win::GetTickCount(), 5000u);
  EXPECT_EQ(win::timeGetTime(), 5000u);
  std::this_thread::sleep_for(2ms);
  EXPECT_EQ(win::GetTickCount(), 5000u);
  fake.Advance(1234);
  ASSERT_TRUE(win::QueryPerformanceCounter(&after));
  EXPECT_EQ(win::GetTickCount(), 6234u);
  EXPECT_EQ(after.QuadPart - before.QuadPart, 1234 * frequency.QuadPart / 1000);
}

TEST(FakeClock, TickCountWrapsAt32Bits) {
  win::ScopedFakeClock fake(0xFFFFFFFFull - 10);
  const win::DWORD start = win::GetTickCount();
  fake.Advance(20);
  EXPECT_EQ(win::GetTickCount(), 9u);
  EXPECT_EQ(win::GetTickCount() - start, 20u);
}

TEST(RealClock, MovesForwardAndCounterMatchesTicks) {
  EXPECT_FALSE(win::clock::IsFake());
  win::LARGE_INTEGER a, b;
  win::QueryPerformanceCounter(&a);
  win::Sleep(5);
  win::QueryPerformanceCounter(&b);
  EXPECT_GE(b.QuadPart - a.QuadPart, 5'000'000);
}

TEST(FakeClock, SleepEndsExactlyWhenAdvancedPastItsDeadline) {
  const std::size_t others = win::ScopedFakeClock::WaitingThreads();
  win::ScopedFakeClock fake;
  std::atomic<bool> woke{false};
  std::atomic<win::DWORD> woke_at{0};
  const win::DWORD start = win::GetTickCount();
  std::thread sleeper([&] {
    win::Sleep(3000);
    woke_at = win::GetTickCount();
    woke = true;
  });
  ASSERT_TRUE(win::ScopedFakeClock::AwaitWaitingThreads(others + 1, kBound));
  fake.Advance(2999);
  std::this_thread::sleep_for(kGrace);
  EXPECT_FALSE(woke.load()) << "woke before its deadline";
  fake.Advance(1);
  EXPECT_TRUE(EventuallyTrue(woke, kBound));
  sleeper.join();
  EXPECT_EQ(woke_at.load() - start, 3000u);
}

TEST(FakeClock, NeverEndsAWaitByItself) {
  const std::size_t others = win::ScopedFakeClock::WaitingThreads();
  win::ScopedFakeClock fake;
  std::atomic<bool> woke{false};
  std::thread sleeper([&] {
    win::Sleep(1);
    woke = true;
  });
  ASSERT_TRUE(win::ScopedFakeClock::AwaitWaitingThreads(others + 1, kBound));
  std::this_thread::sleep_for(kGrace);
  EXPECT_FALSE(woke.load());
  fake.Advance(1);
  EXPECT_TRUE(EventuallyTrue(woke, kBound));
  sleeper.join();
}

TEST(FakeClock, RemovingItEndsTheWaitsBegunUnderIt) {
  const std::size_t others = win::ScopedFakeClock::WaitingThreads();
  std::atomic<bool> woke{false};
  std::thread sleeper;
  {
    win::ScopedFakeClock fake;
    sleeper = std::thread([&] {
      win::Sleep(60'000);
      woke = true;
    });
    ASSERT_TRUE(win::ScopedFakeClock::AwaitWaitingThreads(others + 1, kBound));
  }
  EXPECT_TRUE(EventuallyTrue(woke, kBound));
  sleeper.join();
}

}  // namespace
