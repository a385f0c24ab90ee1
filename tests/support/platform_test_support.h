// Helpers every test executable may use: pumping the calling thread's messages with a real-time
// bound, and moving the fake clock while pumping.
#pragma once

#include "platform/core/clock.h"

#include <chrono>
#include <cstdint>
#include <functional>

namespace dashtune::testing {

using namespace std::chrono_literals;

// Handles the calling thread's pending messages without waiting; answers how many it dispatched.
int PumpPending();

// Pumps the calling thread's messages until `done` answers true (true) or `real_timeout` passes
// on the real clock (false), whichever clock the platform runs on.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds real_timeout = 5s);

// Moves the installed fake clock forward by `milliseconds`, stopping at each of the calling
// thread's timer deadlines on the way to pump, so timers fire in order as if time had passed.
void AdvanceAndPump(std::uint64_t milliseconds);

}  // namespace dashtune::testing

#include "platform/core/message_box.h"

#include <mutex>
#include <string>
#include <vector>

namespace dashtune::testing {

// Captures every message box while it lives, answering each with `answer` (or the box's default
// button when `answer` is 0), and restores the previous sink afterwards.
class MessageBoxCapture {
 public:
  struct Box {
    win::HWND owner;
    std::string text;
    std::string caption;
    win::UINT type;
  };

  explicit MessageBoxCapture(win::INT answer = 0);
  ~MessageBoxCapture();
  MessageBoxCapture(const MessageBoxCapture&) = delete;
  MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;

  std::vector<Box> Boxes() const;
  std::vector<std::string> Texts() const;

 private:
  win::INT answer_;
  win::MessageBoxSink previous_;
  mutable std::mutex mutex_;
  std::vector<Box> boxes_;
};

}  // namespace dashtune::testing
