// Handling the main thread's messages in the serial tests, bounded on the real clock.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "components/serial/serial_misc.h"

namespace dashtune::serial {

// Handles the main thread's messages until done() holds or the real time-out passes.
inline bool Pump(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    if (SafeYield() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace dashtune::serial
