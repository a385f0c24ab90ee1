#include "components/serial/serial_timer.h"

#include <algorithm>

namespace dashtune::serial {

void NewTimerAt(EventTimer& timer, win::DWORD nowTicks, int ticks) {
  auto duration = static_cast<win::DWORD>(std::clamp<int>(ticks, 0, static_cast<int>(kMaxTimerTicks)));
  timer.StartTicks = nowTicks % kTickRange;
  timer.ExpireTicks = timer.StartTicks + duration;
}

bool TimerExpiredAt(const EventTimer& timer, win::DWORD nowTicks) {
  win::DWORD duration = timer.ExpireTicks - timer.StartTicks;
  win::DWORD elapsed = (nowTicks % kTickRange + kTickRange - timer.StartTicks) % kTickRange;
  return elapsed > duration;
}

}  // namespace dashtune::serial
