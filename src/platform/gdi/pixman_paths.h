// The blits, blends and fills the raster engine hands to pixman: 24- and 32-bit surfaces in
// the cases where pixman draws exactly the pixels the engine's own rules give. Each call answers
// false, having drawn nothing, for a case it does not take; the caller then draws in-house.
// pixman refuses images of 32767 pixels or more a side, so larger surfaces never get here.
#pragma once

#include <vector>

#include "platform/gdi/gdi_types.h"
#include "platform/gdi/surface.h"

namespace win::gdi::pixman_paths {

// Destination pixels of one operation: `rect` in surface coordinates, drawn only inside the
// clip rectangles `clip` (surface coordinates, not overlapping).
struct Target {
  const Surface* surface = nullptr;
  RECT rect{};
  const std::vector<RECT>* clip = nullptr;
};

// Sets every pixel of the 32-bit target to `value`.
bool Fill(const Target& target, std::uint32_t value);

// Copies source pixel (source_x + i, source_y + j) to target pixel (rect.left + i, rect.top + j):
// 32 to 32, 24 to 24 and 32 to 24 bits (alpha dropped).
bool Copy(const Surface& source, int source_x, int source_y, const Target& target);

// Nearest-pixel stretch of 32 or 24 bits to the same depth: target column rect.left + k takes
// source column origin_x + floor((first_x + k) * source_width / dest_width), rows likewise.
// Taken only where that ratio is exact in pixman's 16.16 fixed point and nothing is mirrored.
struct Stretch {
  int origin_x = 0, origin_y = 0;
  int first_x = 0, first_y = 0;
  int source_width = 0, source_height = 0;
  int dest_width = 0, dest_height = 0;
};
bool StretchCopy(const Surface& source, const Stretch& stretch, const Target& target);

// Per-pixel alpha blend of a premultiplied 32-bit source over a 32-bit target, the source scaled
// by `constant` / 255 first: src' = src x constant / 255, out = src' + dst x (255 - src'.alpha) / 255
// per channel, rounded to nearest, saturated at 255.
bool BlendPremultiplied(const Surface& source, int source_x, int source_y, unsigned constant,
                        const Target& target);

}  // namespace win::gdi::pixman_paths
