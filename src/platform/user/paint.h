// Painting: update regions, WM_PAINT and WM_ERASEBKGND, and device contexts on windows.
// A visible top-level window owns a 32-bit surface; a child draws into its top-level ancestor's
// surface, clipped to its parent and to the siblings above it, and a parent's drawing leaves out
// its visible children. Windows have no frame: the window and client areas are the same.
#pragma once

#include "platform/core/types.h"

namespace win {

struct PAINTSTRUCT {
  HDC hdc = nullptr;
  BOOL fErase = FALSE;  // TRUE when WM_ERASEBKGND left the background to the painter
  RECT rcPaint;         // bounds of the area being painted, client coordinates
  BOOL fRestore = FALSE;
  BOOL fIncUpdate = FALSE;
  BYTE rgbReserved[32] = {};
};
using LPPAINTSTRUCT = PAINTSTRUCT*;

// Adds the rectangle (null: the whole client area) to the window's update region and to those
// of its children beneath it; `erase` asks for WM_ERASEBKGND at the next BeginPaint. A null
// window invalidates every top-level window. The window's thread gets one WM_PAINT per window
// once its queue is otherwise empty, however often the window was invalidated.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
// Takes the rectangle (null: everything) out of the update region.
BOOL ValidateRect(HWND window, const RECT* rect);
// Bounds of the update region (client coordinates); FALSE when it is empty.
BOOL GetUpdateRect(HWND window, LPRECT rect, BOOL erase);
// Sends WM_PAINT at once to the window and then to its descendants whose update region is not
// empty.
BOOL UpdateWindow(HWND window);

// A context clipped to the update region (and the visible area); the region is validated.
// Sends WM_ERASEBKGND first when an erase was asked for.
HDC BeginPaint(HWND window, LPPAINTSTRUCT paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);

// A context on the window's client area, clipped to its visible area; a hidden window's context
// draws nothing. A null window gives a context on the screen. Release with ReleaseDC.
HDC GetDC(HWND window);
HDC GetWindowDC(HWND window);
INT ReleaseDC(HWND window, HDC dc);

}  // namespace win
