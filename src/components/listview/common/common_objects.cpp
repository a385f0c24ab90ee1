#include "components/listview/common/common_objects.h"

#include <algorithm>

namespace dashtune::common {

win::SIZE TCommonCheckBoundManager::Add(const TControl*, int CheckSize) {
  const int side = std::max(CheckSize, 1);
  return {side, side};
}

}  // namespace dashtune::common
