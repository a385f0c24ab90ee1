// Line-setting arithmetic of the dispatcher: baud codes and the settle time before new line
// settings apply.
#pragma once

#include <cstdint>

#include "platform/core/types.h"

namespace dashtune::serial {

// The baud rate a baud code stands for (0xFEFF, and 0xFF10 to 0xFF27 where the code table has
// an entry); any other value is a plain rate and is answered unchanged.
win::DWORD BaudFromCode(win::DWORD baud);

// The longest settle time: at very low rates 18 character times would hold the caller for
// minutes (180 s at 1 baud).
inline constexpr win::DWORD kMaxSettleMilliseconds = 1000;

// Milliseconds to wait once the output has drained before new line settings apply: 18
// character times, or 36 when 18 are less than a millisecond, rounded up, and at most
// kMaxSettleMilliseconds. A character is the byte size plus start and stop bit, plus one with
// parity and one more with a longer stop code.
win::DWORD DrainSettleMilliseconds(win::DWORD baud, int byteSize, int parity, int stopCode);

// The code a line setting is refused with before it reaches a device, 0 when it may be tried:
// a negative rate gives the unsupported-rate code; data bits other than 5 to 8 (9 keeps the
// current size) and parities other than 0 to 4 (5 keeps the current one) give the invalid
// parameter code that a device answers them with. Rate 0 keeps the current rate and any stop
// bit count is clamped, so neither is refused.
int RefusedLineValue(std::int32_t baud, int parity, int dataBits);

}  // namespace dashtune::serial
