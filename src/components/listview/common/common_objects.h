// Small shared objects of the common units: the check-bound manager.
#pragma once

#include "classlib/controls.h"
#include "platform/core/types.h"

namespace dashtune::common {

// The pixel size of check boxes. Boxes are drawn at the size asked for: this platform draws at
// 96 pixels per inch and has no themed boxes whose parts could be larger.
class TCommonCheckBoundManager {
 public:
  // The size of a check box of CheckSize pixels for Control (at least 1 x 1).
  static win::SIZE Add(const TControl* Control, int CheckSize);
};

}  // namespace dashtune::common
