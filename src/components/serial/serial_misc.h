// Small services of the serial library: its millisecond clock, 55 ms tick timers, a one-message
// pump and a file test.
#pragma once

#include <cstdint>
#include <string>

#include "components/serial/serial_timer.h"
#include "platform/core/types.h"

namespace dashtune::serial {

// Milliseconds since an arbitrary start, from the performance counter; wraps at 2^32.
win::DWORD SerTimeGetTime();

// The tick counter: SerTimeGetTime div 55.
win::DWORD CurrentTicks();

// A tick timer of ticks ticks from now, and whether it has expired by now.
void NewTimer(EventTimer& timer, int ticks);
bool TimerExpired(const EventTimer& timer);

// Takes one pending message of the calling thread and dispatches it (a quit message is posted
// again). Answers the message number in the low word and the window handle's low word in the
// high word, or 0 when the queue was empty.
win::DWORD SafeYield();

// Whether a file of that name exists and is not a directory.
bool ExistFile(const std::string& name);

// Modem initialisation strings offered to applications; nothing here sends them.
inline constexpr const char* kDefaultModemInits[] = {"ATE0Q0V1X4S0=0S2=43", "ATE0Q0V1X3S0=0S2=43",
                                                     "ATE0Q0V1X2S0=0S2=43", "ATE0Q0V1X1S0=0S2=43",
                                                     "ATE0Q0V1S0=0S2=43"};

}  // namespace dashtune::serial
