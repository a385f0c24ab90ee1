#include "platform/core/mul_div.h"

#include <cstdlib>
#include <limits>

namespace win {

INT MulDiv(INT number, INT numerator, INT denominator) {
  if (denominator == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
  const bool negative = (product < 0) != (denominator < 0);
  const std::uint64_t magnitude = static_cast<std::uint64_t>(std::llabs(product));
  const std::uint64_t divisor = static_cast<std::uint64_t>(std::llabs(static_cast<std::int64_t>(denominator)));
  const std::uint64_t rounded = (magnitude + divisor / 2) / divisor;
  if (rounded > static_cast<std::uint64_t>(std::numeric_limits<INT>::max()) + (negative ? 1u : 0u))
    return -1;
  return negative ? static_cast<INT>(-static_cast<std::int64_t>(rounded)) : static_cast<INT>(rounded);
}

}  // namespace win
