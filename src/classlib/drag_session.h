// The running class-library drag (one per program, on the main thread): the dragged control,
// the control under the pointer and whether it accepts. Used by the controls' message handling.
#pragma once

#include "classlib/controls.h"

namespace dashtune {

class DragSession {
 public:
  // Starts a drag of Source; Start is the pointer in screen coordinates.
  static void Begin(TControl* Source, bool Immediate, int Threshold, win::POINT Start);
  // Ends the drag of Source (if it is the one running).
  static void End(TControl* Source, bool Drop);
  static bool IsSource(const TControl* Control);
  // Mouse input, Escape and a lost capture while a drag runs: handled here (true) instead of by
  // the window's control.
  static bool Intercepts(TWinControl* Window, const TMessage& Message);
  // A control being freed takes no further part: no event reaches it.
  static void Forget(const TControl* Control);
};

}  // namespace dashtune
