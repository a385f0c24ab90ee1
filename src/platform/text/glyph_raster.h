// Drawing text into a plain 32-bit pixel buffer: antialiased glyph coverage blended over the
// destination in one colour, solid background boxes and underlines, each limited to a list of
// clip rectangles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/text/font.h"

namespace win::text {

// Top-down rows of 4-byte pixels in blue, green, red, alpha order. The alpha byte is left as it
// is by every routine here.
struct BgraSurface {
  std::uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;  // bytes from one row to the next
};

// Clip rectangles are in surface coordinates and must not overlap (a region's rectangles);
// drawing reaches only pixels inside one of them and inside the surface.

// Sets the pixels of the rectangle to the colour.
void FillSolid(const BgraSurface& surface, std::span<const RECT> clips, const RECT& rect,
               COLORREF color);

// Blends the colour over the pixels whose coverage is above 0: result = destination +
// (colour - destination) * coverage / 255, rounded to nearest, per channel.
void BlendCoverage(const BgraSurface& surface, std::span<const RECT> clips, int left, int top,
                   int width, int height, const std::uint8_t* coverage, COLORREF color);

// Draws characters with their advances, the first one's pen at x, on the baseline row y.
void DrawGlyphRun(const BgraSurface& surface, std::span<const RECT> clips, const Font& font, int x,
                  int baseline, std::u32string_view characters, std::span<const int> advances,
                  COLORREF color);

// The font's underline from x over width pixels below the baseline row y.
void DrawUnderline(const BgraSurface& surface, std::span<const RECT> clips, const Font& font, int x,
                   int baseline, int width, COLORREF color);

}  // namespace win::text
