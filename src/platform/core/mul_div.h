#pragma once

#include "platform/core/types.h"

namespace win {

// number * numerator / denominator with a 64-bit intermediate, rounded half away from zero.
// Answers -1 for a zero denominator or a result outside the 32-bit range.
INT MulDiv(INT number, INT numerator, INT denominator);

}  // namespace win
