// The serial library's 55 ms tick timers.
#pragma once

#include "platform/core/types.h"

namespace dashtune::serial {

inline constexpr win::DWORD kTickMilliseconds = 55;
// The tick counter (the 32-bit millisecond clock div 55) runs from 0 to (2^32 - 1) div 55 and
// then wraps to 0.
inline constexpr win::DWORD kTickRange = 0xFFFFFFFFu / kTickMilliseconds + 1;
// The longest timer, half the tick range, so that expiry stays unambiguous across a wrap.
inline constexpr win::DWORD kMaxTimerTicks = 39045157;

struct EventTimer {
  win::DWORD StartTicks = 0;
  win::DWORD ExpireTicks = 0;  // StartTicks + duration, not reduced to the tick range
};

// Starts a timer of ticks ticks at nowTicks (negative counts as 0, longer than kMaxTimerTicks
// is cut).
void NewTimerAt(EventTimer& timer, win::DWORD nowTicks, int ticks);
// Whether more than the timer's duration has passed at nowTicks; the elapsed time is taken
// modulo the tick range, so a timer started just before the counter wraps fires on time.
bool TimerExpiredAt(const EventTimer& timer, win::DWORD nowTicks);

}  // namespace dashtune::serial
