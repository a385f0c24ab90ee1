// X input to window messages.
#pragma once

#include "platform/core/types.h"

union _XEvent;  // Xlib's XEvent, kept out of this header with its macros

namespace win::present {

// The virtual key of an X key symbol; 0 for keys without one.
WORD VirtualKeyOfKeysym(unsigned long keysym);

// Posts the messages for a pointer or key event on the X window of top-level window `top_level`.
void PostInputEvent(const _XEvent& event, HWND top_level);

}  // namespace win::present
