// Test helpers every executable shares: pumping messages with a real-time bound, advancing the fake clock.
#include "platform_test_support.h"

#include "platform/core/wait.h"
#include "platform/user/messages.h"
#include "platform/user/timers.h"

#include <poll.h>

#include <algorithm>
#include <cassert>
#include <stdexcept>

namespace dashtune::testing {

namespace {

constexpr std::uint64_t kNanosecondsPerMillisecond = 1'000'000;

// Waits for the thread's waker on the real clock, at most `slice`.
void WaitForWake(std::chrono::milliseconds slice) {
  const auto waker = win::CurrentThreadWaker();
  pollfd polled{waker->Descriptor(), POLLIN, 0};
  poll(&polled, 1, static_cast<int>(slice.count()));
}

}  // namespace

int PumpPending() {
  int dispatched = 0;
  win::MSG msg;
  while (win::PeekMessageA(&msg, nullptr, 0, 0, win::PM_REMOVE)) {
    win::TranslateMessage(&msg);
    win::DispatchMessageA(&msg);
    ++dispatched;
  }
  return dispatched;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds real_timeout) {
  const auto until = std::chrono::steady_clock::now() + real_timeout;
  for (;;) {
    PumpPending();
    if (done()) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    WaitForWake(std::min(left, std::chrono::milliseconds(5)));
  }
}

void AdvanceAndPump(std::uint64_t milliseconds) {
  win::ScopedFakeClock* fake = win::ScopedFakeClock::Current();
  if (fake == nullptr) throw std::logic_error("AdvanceAndPump needs a ScopedFakeClock");
  const std::uint64_t target = win::clock::NowNanoseconds() + milliseconds * kNanosecondsPerMillisecond;
  PumpPending();
  for (;;) {
    const std::uint64_t now = win::clock::NowNanoseconds();
    const std::optional<std::uint64_t> due = win::NextTimerDueNanoseconds();
    const std::uint64_t step_to = due && *due > now ? std::min(*due, target) : target;
    if (step_to > now) fake->AdvanceNanoseconds(step_to - now);
    PumpPending();
    if (step_to >= target) return;
  }
}

}  // namespace dashtune::testing

namespace dashtune::testing {

MessageBoxCapture::MessageBoxCapture(win::INT answer) : answer_(answer) {
  previous_ = win::SetMessageBoxSink([this](win::HWND owner, std::string_view text, std::string_view caption, win::UINT type) {
    std::lock_guard lock(mutex_);
    boxes_.push_back({owner, std::string(text), std::string(caption), type});
    return answer_ != 0 ? answer_ : win::DefaultMessageBoxAnswer(type);
  });
}

MessageBoxCapture::~MessageBoxCapture() { win::SetMessageBoxSink(std::move(previous_)); }

std::vector<MessageBoxCapture::Box> MessageBoxCapture::Boxes() const {
  std::lock_guard lock(mutex_);
  return boxes_;
}

std::vector<std::string> MessageBoxCapture::Texts() const {
  std::vector<std::string> texts;
  for (const Box& box : Boxes()) texts.push_back(box.text);
  return texts;
}

}  // namespace dashtune::testing
