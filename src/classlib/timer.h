// TTimer: a component that raises OnTimer every Interval milliseconds on the thread that made
// it, through a hidden window and the platform's timers (so it follows the platform clock).
#pragma once

#include <string_view>

#include "classlib/classes.h"

namespace dashtune {

namespace sysconst {
inline constexpr std::string_view SNoTimers = "Nicht genügend Timer verfügbar";
}  // namespace sysconst

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  // The timer runs while Enabled, Interval is not 0 and OnTimer is assigned; each setter
  // restarts it. When the platform has no timer left, the setter raises EOutOfResources
  // "Nicht genügend Timer verfügbar".
  bool GetEnabled() const { return enabled_; }
  void SetEnabled(bool value);
  unsigned GetInterval() const { return interval_; }
  void SetInterval(unsigned value);
  const TNotifyEvent& GetOnTimer() const { return on_timer_; }
  void SetOnTimer(TNotifyEvent value);

 protected:
  // Raises OnTimer with the timer as Sender.
  virtual void Timer();

 private:
  void UpdateTimer();
  void WndProc(TMessage& Message);

  win::HWND window_ = nullptr;
  bool enabled_ = true;
  unsigned interval_ = 1000;
  TNotifyEvent on_timer_;
};

}  // namespace dashtune
