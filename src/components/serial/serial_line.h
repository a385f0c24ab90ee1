// Line-setting arithmetic of the dispatcher: baud codes and the settle time before new line
// settings apply.
#pragma once

#include "platform/core/types.h"

namespace dashtune::serial {

// The baud rate a baud code stands for (0xFEFF, and 0xFF10 to 0xFF27 where the code table has
// an entry); any other value is a plain rate and is answered unchanged.
win::DWORD BaudFromCode(win::DWORD baud);

// Milliseconds to wait once the output has drained before new line settings apply: 18
// character times, or 36 when 18 are less than a millisecond, rounded up. A character is the
// byte size plus start and stop bit, plus one with parity and one more with a longer stop code.
win::DWORD DrainSettleMilliseconds(win::DWORD baud, int byteSize, int parity, int stopCode);

}  // namespace dashtune::serial
