#include "classlib/graphics.h"
#include "platform/user/system_metrics.h"

namespace dashtune {

win::COLORREF ColorToRGB(TColor color) {
  if (color < 0) return win::GetSysColor(color & 0xFF);
  return static_cast<win::COLORREF>(color) & 0xFFFFFF;
}

}  // namespace dashtune
