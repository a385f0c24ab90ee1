// The pixels of top-level windows, for the presenter and for tests.
#pragma once

#include "platform/core/types.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace win {

// A window's client area as shown: its pixels and those of the children above it, read from its
// top-level surface; 0x00RRGGBB per pixel, rows top-down.
struct WindowPixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};
// FALSE when the window is invalid or not visible.
BOOL ReadWindowPixels(HWND window, WindowPixels* out);

// One visible top-level window's surface: blue, green, red, alpha bytes, rows top-down.
struct TopLevelSurface {
  HWND window = nullptr;
  RECT screen_rect;
  const std::uint8_t* bits = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;
  std::string_view title;  // the window's text, UTF-8
  bool unfinished = false;  // being drawn, or it or a window inside it awaits a paint
};
// Visits the visible top-level surfaces bottom first while the window manager and the raster
// engine are locked: `visit` must copy what it needs and call nothing of this layer.
void VisitTopLevelSurfaces(const std::function<void(const TopLevelSurface&)>& visit);

// Called, on the thread that changed it, after a top-level window's surface was drawn on
// (ReleaseDC, EndPaint), shown, hidden, moved, resized, retitled or destroyed. One listener; empty removes.
using SurfaceListener = std::function<void(HWND top_level)>;
void SetSurfaceListener(SurfaceListener listener);

}  // namespace win
