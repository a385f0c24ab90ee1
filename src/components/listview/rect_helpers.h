// Small rectangle helpers the painters share, and the restore of a canvas's saved context.
#pragma once

#include "classlib/graphics.h"
#include "platform/gdi/gdi.h"

namespace dashtune::listview {

inline bool IsEmpty(const win::RECT& rect) { return rect.right <= rect.left || rect.bottom <= rect.top; }
inline int Width(const win::RECT& rect) { return rect.right - rect.left; }
inline int Height(const win::RECT& rect) { return rect.bottom - rect.top; }

inline win::RECT Union(const win::RECT& a, const win::RECT& b) {
  win::RECT result{};
  win::UnionRect(&result, &a, &b);
  return result;
}

inline win::RECT Inflated(win::RECT rect, int by) {
  win::InflateRect(&rect, by, by);
  return rect;
}

// A rectangle of the given size at `left`, centred vertically in `within`.
inline win::RECT CentredVertically(const win::RECT& within, int left, int width, int height) {
  const int top = within.top + (Height(within) - height) / 2;
  return {left, top, left + width, top + height};
}

// Restores a context state saved with SaveDC on a canvas's handle; the canvas selects its pen,
// brush and font (and the background mode) again on its next drawing call, since the restore
// took them out behind its back.
inline void RestoreCanvasDC(TCanvas* canvas, int saved) {
  win::RestoreDC(canvas->GetHandle(), saved);
  canvas->Refresh();
}

}  // namespace dashtune::listview
