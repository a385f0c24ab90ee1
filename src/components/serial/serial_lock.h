// A scoped hold of a critical section.
#pragma once

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

}  // namespace dashtune::serial
