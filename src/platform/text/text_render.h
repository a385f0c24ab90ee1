// Drawing runs and laid-out text onto a device's pixels: what TextOut, ExtTextOut and DrawText do
// once the device context has given its surface, clip rectangles, origin and colours.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "platform/text/font.h"
#include "platform/text/glyph_raster.h"
#include "platform/text/text_decode.h"
#include "platform/text/text_layout.h"

namespace win::text {

// What a device context contributes to drawing text.
struct TextTarget {
  BgraSurface surface;
  std::vector<RECT> clips;        // device coordinates, not overlapping
  POINT logical_to_device{};      // added to logical coordinates to get device pixels
  COLORREF text_color = RGB(0, 0, 0);
  COLORREF background_color = RGB(255, 255, 255);
  bool opaque_background = true;  // background mode OPAQUE: a run's cell is filled first
};

// Per-character advances of decoded text; `dx`, when given, holds one advance per code unit of
// the original text (a character takes the sum of its units' entries).
std::vector<int> RunAdvances(const Font& font, const DecodedText& text, const INT* dx);

// The extent of a run: the sum of its advances, and the font's height.
SIZE RunExtent(const Font& font, std::span<const int> advances);

struct RunOptions {
  const RECT* clip = nullptr;    // logical; drawing stays inside it when given
  const RECT* opaque = nullptr;  // logical; filled with the background colour first when given
  int underline_index = -1;      // one character underlined (a prefix), -1 for none
};

// Draws a run whose cell's top-left corner is the logical point (x, y). In opaque background
// mode the cell (advances wide, font height high) is filled with the background colour first.
// The font's underline, when it has one, runs under the whole run.
void DrawRun(const TextTarget& target, const Font& font, LONG x, LONG y,
             std::u32string_view characters, std::span<const int> advances, const RunOptions& options);

// Draws every line of a DrawText layout, clipped to `clip` (logical) when given.
void DrawLayout(const TextTarget& target, const Font& font, const TextLayout& layout, const RECT* clip);

}  // namespace win::text
