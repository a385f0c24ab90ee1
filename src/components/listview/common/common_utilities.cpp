#include "components/listview/common/common_utilities.h"

#include "platform/user/paint.h"

namespace dashtune::common {

void SafeInvalidateRect(TWinControl* Control, const win::RECT* Rect, bool ImmediateUpdate) {
  if (Control == nullptr || !Control->HandleAllocated()) return;
  win::HWND window = Control->GetHandle();
  win::InvalidateRect(window, Rect, win::FALSE);
  if (ImmediateUpdate) win::UpdateWindow(window);
}

}  // namespace dashtune::common
