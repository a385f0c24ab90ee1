#include "classlib/timer.h"

#include "classlib/forms.h"
#include "platform/user/messages.h"
#include "platform/user/timers.h"
#include "platform/user/window.h"

namespace dashtune {

namespace {
constexpr win::UINT_PTR kTimerId = 1;
}  // namespace

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
  window_ = AllocateHWnd([this](TMessage& Message) { WndProc(Message); });
}

TTimer::~TTimer() {
  win::KillTimer(window_, kTimerId);
  DeallocateHWnd(window_);
}

void TTimer::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned value) {
  if (value == interval_) return;
  interval_ = value;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent value) {
  on_timer_ = std::move(value);
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  win::KillTimer(window_, kTimerId);
  if (interval_ != 0 && enabled_ && on_timer_) {
    if (win::SetTimer(window_, kTimerId, interval_, nullptr) == 0) {
      throw EOutOfResources(std::string(sysconst::SNoTimers));
    }
  }
}

void TTimer::WndProc(TMessage& Message) {
  if (Message.Msg != win::WM_TIMER) {
    Message.Result = win::DefWindowProcA(window_, Message.Msg, Message.WParam, Message.LParam);
    return;
  }
  try {
    Timer();
  } catch (...) {
    if (Application) {
      Application->HandleException(this);
    } else {
      ShowException(std::current_exception());
    }
  }
}

void TTimer::Timer() {
  if (on_timer_) on_timer_(this);
}

}  // namespace dashtune
