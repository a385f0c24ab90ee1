// Scoped holds of the dispatcher's locks.
#pragma once

#include <atomic>
#include <thread>

#include "platform/core/sync.h"

namespace dashtune::serial {

class Locked {
 public:
  explicit Locked(win::CRITICAL_SECTION& section) : section_(section) { win::EnterCriticalSection(&section_); }
  ~Locked() { win::LeaveCriticalSection(&section_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  win::CRITICAL_SECTION& section_;
};

// A lock for data that is held only for a short copy and taken very often (once for every
// received byte the application reads): taking it free costs one atomic exchange, no call into
// the C library. A thread that finds it held yields until it is free. Not recursive.
class SpinLock {
 public:
  void lock() {
    while (held_.exchange(true, std::memory_order_acquire)) {
      while (held_.load(std::memory_order_relaxed)) std::this_thread::yield();
    }
  }
  void unlock() { held_.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> held_{false};
};

}  // namespace dashtune::serial
