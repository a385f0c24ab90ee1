// X input to window messages.
#pragma once

#include "platform/core/types.h"

union _XEvent;  // Xlib's XEvent, kept out of this header with its macros

namespace win::present {

// The virtual key of an X key symbol; 0 for keys without one.
WORD VirtualKeyOfKeysym(unsigned long keysym);

// Turns the pointer and key events of the X windows into posted messages, keeps the keyboard
// state (GetKeyState) and makes double clicks for classes that ask for them (CS_DBLCLKS).
// Used by the presenter's thread only.
class InputTranslator {
 public:
  // Posts the messages for an event on the X window of top-level window `top_level`.
  void Post(const _XEvent& event, HWND top_level);

 private:
  struct Click {
    HWND window = nullptr;
    unsigned int button = 0;
    unsigned long time = 0;
    POINT screen;
  };
  UINT ButtonDownMessage(HWND target, unsigned int button, unsigned long time, POINT screen);
  Click last_click_;
};

}  // namespace win::present
