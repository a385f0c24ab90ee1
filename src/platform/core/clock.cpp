#include "platform/core/clock.h"

#include <atomic>
#include <cassert>
#include <ctime>

namespace win {

namespace {

constexpr std::uint64_t kNanosecondsPerMillisecond = 1'000'000;

std::atomic<bool> fake_installed{false};
std::atomic<std::uint64_t> fake_now_ns{0};
std::atomic<std::uint64_t> clock_generation{0};
std::atomic<ScopedFakeClock*> installed_clock{nullptr};

std::uint64_t RealNowNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(now.tv_nsec);
}

}  // namespace

namespace clock {

std::uint64_t NowNanoseconds() {
  return fake_installed.load(std::memory_order_acquire) ? fake_now_ns.load(std::memory_order_acquire)
                                                         : RealNowNanoseconds();
}

bool IsFake() { return fake_installed.load(std::memory_order_acquire); }

Deadline::Deadline(std::uint64_t at_ns, bool never)
    : at_ns_(at_ns), never_(never), clock_generation_(clock_generation.load(std::memory_order_acquire)) {}

Deadline Deadline::After(DWORD milliseconds) {
  if (milliseconds == INFINITE) return Never();
  return Deadline(NowNanoseconds() + milliseconds * kNanosecondsPerMillisecond, false);
}

Deadline Deadline::Never() { return Deadline(0, true); }

Deadline Deadline::AtNanoseconds(std::uint64_t at_ns) { return Deadline(at_ns, false); }

bool Deadline::Passed() const {
  if (never_) return false;
  return clock_generation.load(std::memory_order_acquire) != clock_generation_ || NowNanoseconds() >= at_ns_;
}

int Deadline::PollTimeoutMs() const {
  if (never_ || IsFake()) return -1;
  if (clock_generation.load(std::memory_order_acquire) != clock_generation_) return 0;
  const std::uint64_t now = RealNowNanoseconds();
  if (now >= at_ns_) return 0;
  const std::uint64_t left_ms = (at_ns_ - now + kNanosecondsPerMillisecond - 1) / kNanosecondsPerMillisecond;
  return left_ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left_ms);
}

}  // namespace clock

DWORD GetTickCount() {
  return static_cast<DWORD>(clock::NowNanoseconds() / kNanosecondsPerMillisecond);
}

DWORD timeGetTime() { return GetTickCount(); }

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  if (count == nullptr) return FALSE;
  count->QuadPart = static_cast<LONGLONG>(clock::NowNanoseconds());
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (frequency == nullptr) return FALSE;
  frequency->QuadPart = 1'000'000'000;
  return TRUE;
}

ScopedFakeClock::ScopedFakeClock(std::uint64_t start_ms) {
  fake_now_ns.store(start_ms * kNanosecondsPerMillisecond, std::memory_order_release);
  const bool was_installed = fake_installed.exchange(true, std::memory_order_acq_rel);
  assert(!was_installed && "one fake clock at a time");
  (void)was_installed;
  clock_generation.fetch_add(1, std::memory_order_acq_rel);
  installed_clock.store(this, std::memory_order_release);
  clock::WakeAllWaiters();
}

ScopedFakeClock* ScopedFakeClock::Current() { return installed_clock.load(std::memory_order_acquire); }

ScopedFakeClock::~ScopedFakeClock() {
  installed_clock.store(nullptr, std::memory_order_release);
  fake_installed.store(false, std::memory_order_release);
  clock_generation.fetch_add(1, std::memory_order_acq_rel);
  clock::WakeAllWaiters();
}

void ScopedFakeClock::Advance(std::uint64_t milliseconds) {
  AdvanceNanoseconds(milliseconds * kNanosecondsPerMillisecond);
}

void ScopedFakeClock::AdvanceNanoseconds(std::uint64_t nanoseconds) {
  fake_now_ns.fetch_add(nanoseconds, std::memory_order_acq_rel);
  clock::WakeAllWaiters();
}

}  // namespace win
