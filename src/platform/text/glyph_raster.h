// Drawing into a plain 32-bit pixel buffer: antialiased coverage blended over the destination in
// one colour and solid boxes, each limited to a list of clip rectangles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/core/types.h"

namespace win::text {

// Top-down rows of 4-byte pixels in blue, green, red, alpha order. The alpha byte is left as it
// is by every routine here.
struct BgraSurface {
  std::uint8_t* pixels = nullptr;  // the top row
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;  // bytes from one row to the next below it (negative: bottom-up)
};

// Clip rectangles are in surface coordinates and must not overlap (a region's rectangles);
// drawing reaches only pixels inside one of them and inside the surface.

// Sets the pixels of the rectangle to the colour.
void FillSolid(const BgraSurface& surface, std::span<const RECT> clips, const RECT& rect,
               COLORREF color);

// Blends the colour over the pixels whose coverage is above 0: result = destination +
// (colour - destination) * coverage / 255, rounded to nearest, per channel.
// `coverage` holds `height` rows of `width` bytes, `stride` bytes apart.
void BlendCoverage(const BgraSurface& surface, std::span<const RECT> clips, int left, int top,
                   int width, int height, const std::uint8_t* coverage, std::ptrdiff_t stride,
                   COLORREF color);

}  // namespace win::text
