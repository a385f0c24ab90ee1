// The one clock of the platform layer. Every tick count, performance counter and timed wait
// reads it. Tests may replace it with a fake clock that moves only when the test advances it;
// while the fake clock is installed a timed wait ends on its event or when the clock is advanced
// past its deadline, never by itself.
#pragma once

#include "platform/core/types.h"

#include <chrono>
#include <cstddef>

namespace win {

constexpr DWORD INFINITE = 0xFFFFFFFF;

// Milliseconds since an arbitrary start, wrapping at 2^32 (about 49.7 days).
DWORD GetTickCount();
DWORD timeGetTime();

// The counter ticks in nanoseconds of the same clock.
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);

namespace clock {

// Nanoseconds on the current clock (fake while one is installed).
std::uint64_t NowNanoseconds();

// Whether a fake clock is installed.
bool IsFake();

// A point on the current clock at which a timed wait gives up.
class Deadline {
 public:
  static Deadline After(DWORD milliseconds);  // INFINITE never passes
  static Deadline Never();
  static Deadline AtNanoseconds(std::uint64_t at_ns);  // a point on the current clock

  // Passed once the clock reaches it, or once the clock it was made on is replaced (installing
  // or removing the fake clock ends the timed waits begun before).

  bool Passed() const;
  bool IsNever() const { return never_; }
  // The poll() timeout to wait with: real milliseconds left on the real clock (rounded up), -1
  // while the fake clock is installed or for a deadline that never passes.
  int PollTimeoutMs() const;

 private:
  Deadline(std::uint64_t at_ns, bool never);
  std::uint64_t at_ns_;
  bool never_;
  std::uint64_t clock_generation_;  // a deadline is measured on the clock it was made on
};

// Wakes every thread currently in a timed wait so that it re-reads the clock.
void WakeAllWaiters();

}  // namespace clock

// Installs a fake clock for its lifetime (one at a time). Starts at `start_ms` milliseconds.
class ScopedFakeClock {
 public:
  explicit ScopedFakeClock(std::uint64_t start_ms = 1'000'000);
  ~ScopedFakeClock();
  ScopedFakeClock(const ScopedFakeClock&) = delete;
  ScopedFakeClock& operator=(const ScopedFakeClock&) = delete;

  // Moves the clock forward and wakes every timed wait so that those now past their deadline end.
  void Advance(std::uint64_t milliseconds);
  void AdvanceNanoseconds(std::uint64_t nanoseconds);

  // The installed fake clock, or null.
  static ScopedFakeClock* Current();

  // Number of threads currently blocked in a wait of the platform layer.
  static std::size_t WaitingThreads();
  // Waits, on the real clock, until at least `count` threads are blocked in a wait; false when
  // the real time-out passes first. Lets a test advance only once a thread has started waiting.
  static bool AwaitWaitingThreads(std::size_t count, std::chrono::milliseconds real_timeout);
};

}  // namespace win
