// Whether the X server shows a visible cursor now (XFixes). Include after Xlib.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace dashtune::testing {

inline bool CursorVisible(Display* display) {
  XFixesCursorImage* image = XFixesGetCursorImage(display);
  if (image == nullptr) return false;
  bool visible = false;
  for (int i = 0; i < image->width * image->height; ++i) visible = visible || (image->pixels[i] >> 24) != 0;
  XFree(image);
  return visible;
}

}  // namespace dashtune::testing
