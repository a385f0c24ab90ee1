// Pixel storage as the raster engine sees it: a view of rows in one of the formats 1, 4, 8
// (indexes into a colour table), 24 or 32 bits (blue, green, red[, alpha] bytes). A pixel
// "value" is what a row holds for one pixel: the index, or 0xAARRGGBB read little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/core/types.h"
#include "platform/gdi/dib_rows.h"
#include "platform/gdi/gdi_types.h"

namespace win::gdi {

// Largest width or height of windows, the virtual screen, image lists and drawing extents.
constexpr int kMaxDimension = 1 << 15;
// Largest width or height of a bitmap or DIB section (a picture file may be 65535 pixels a
// side), and largest pixel memory of one surface, which bounds both sides together.
constexpr int kMaxBitmapSide = 65535;
constexpr std::size_t kMaxSurfaceBytes = std::size_t{256} << 20;

struct Surface {
  int width = 0;
  int height = 0;
  int bits_per_pixel = 32;
  bool top_down = true;    // row 0 in memory is the top row
  bool monochrome = false;  // device-dependent 1-bit bitmap: colour conversions use DC colours
  std::ptrdiff_t stride = 0;  // bytes from one memory row to the next
  std::uint8_t* bits = nullptr;
  std::vector<RGBQUAD> colour_table;  // formats up to 8 bits

  std::uint8_t* Row(int y) const {  // y counted from the top
    const std::ptrdiff_t memory_row = top_down ? y : height - 1 - y;
    return bits + memory_row * stride;
  }
  bool Indexed() const { return bits_per_pixel <= 8; }
  std::uint32_t ValueMask() const;
};

// True when width x height at a supported depth, rows aligned to `alignment` bytes, stays inside
// the limits above.
bool SizeAllowed(int width, int height, int bits_per_pixel, int alignment);

// Row access in values; x ranges are the caller's to keep inside the surface.
std::uint32_t ReadValue(const Surface& surface, int x, int y);
void WriteValue(const Surface& surface, int x, int y, std::uint32_t value);
void ReadRow(const Surface& surface, int y, int x, int count, std::uint32_t* out);
void WriteRow(const Surface& surface, int y, int x, int count, const std::uint32_t* values);

// Colours as 0x00RRGGBB ("rgb"), the form 24/32-bit values have without alpha.
constexpr std::uint32_t RgbFromColorref(COLORREF c) {
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
constexpr COLORREF ColorrefFromRgb(std::uint32_t rgb) {
  return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}
constexpr std::uint32_t RgbOfQuad(const RGBQUAD& quad) {
  return (static_cast<std::uint32_t>(quad.rgbRed) << 16) | (static_cast<std::uint32_t>(quad.rgbGreen) << 8) |
         quad.rgbBlue;
}

// The colour a value shows (monochrome: 0 black, 1 white), as rgb. Inline: blits build tables
// of it per call.
inline std::uint32_t RgbOfValue(const Surface& surface, std::uint32_t value) {
  if (!surface.Indexed()) return value & 0xFFFFFF;
  if (surface.monochrome) return value ? 0xFFFFFF : 0;
  if (value < surface.colour_table.size()) return RgbOfQuad(surface.colour_table[value]);
  return 0;
}
// The value that shows an rgb colour best: itself at 24/32 bits, else the nearest table entry
// (lowest index on ties; monochrome: black or white).
std::uint32_t ValueOfRgb(const Surface& surface, std::uint32_t rgb);
// Index of the nearest colour (squared distance), the lowest index on ties.
std::uint32_t NearestIndex(const RGBQUAD* table, std::size_t count, std::uint32_t rgb);

// Colour tables used when a depth is asked for without a table of its own.
std::vector<RGBQUAD> MonochromeTable();
std::vector<RGBQUAD> DefaultTable(int bits_per_pixel);

}  // namespace win::gdi
