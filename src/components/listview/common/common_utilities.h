// Small drawing services shared by the list view and the shell library.
#pragma once

#include "classlib/controls.h"
#include "platform/core/types.h"

namespace dashtune::common {

// Invalidates Rect (nullptr: the whole client area) of Control's window and, with
// ImmediateUpdate, repaints it at once. A control without a window is left alone.
void SafeInvalidateRect(TWinControl* Control, const win::RECT* Rect, bool ImmediateUpdate);

}  // namespace dashtune::common
