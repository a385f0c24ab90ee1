// Timers on the platform clock: a due timer appears as WM_TIMER when its thread's queue has
// nothing else to give; a timer with a callback has DispatchMessage call the callback instead
// of the window procedure.
#pragma once

#include "platform/core/types.h"

#include <cstdint>
#include <optional>

namespace win {

using TIMERPROC = void (*)(HWND window, UINT message, UINT_PTR id, DWORD time);

constexpr UINT USER_TIMER_MINIMUM = 10;
constexpr UINT USER_TIMER_MAXIMUM = 0x7FFFFFFF;

// Starts, or restarts with the new interval and callback, timer `id` of the window. Without a
// window the timer belongs to the calling thread and gets a new id, which is answered. Intervals
// are clamped to USER_TIMER_MINIMUM..USER_TIMER_MAXIMUM. 0 on failure.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT interval, TIMERPROC callback);
BOOL KillTimer(HWND window, UINT_PTR id);

// When the calling thread's next timer falls due, on the platform clock (nanoseconds); nothing
// without timers still to fall due. Lets a pump advance a fake clock from one deadline to the next.
std::optional<std::uint64_t> NextTimerDueNanoseconds();

}  // namespace win
