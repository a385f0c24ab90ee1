#include "platform/gdi/surface.h"

#include <cstring>

#include "platform/gdi/palette_tables.h"

namespace win::gdi {

std::uint32_t Surface::ValueMask() const {
  switch (bits_per_pixel) {
    case 1: return 0x1;
    case 4: return 0xF;
    case 8: return 0xFF;
    case 24: return 0xFFFFFF;
    default: return 0xFFFFFFFF;
  }
}

bool SizeAllowed(int width, int height, int bits_per_pixel, int alignment) {
  if (width <= 0 || width > kMaxBitmapSide || height <= 0 || height > kMaxBitmapSide ||
      !IsSupportedDepth(bits_per_pixel))
    return false;
  const std::size_t stride = DibRowStride(width, bits_per_pixel, alignment);
  return stride != 0 && stride * static_cast<std::size_t>(height) <= kMaxSurfaceBytes;
}

std::uint32_t ReadValue(const Surface& surface, int x, int y) {
  const std::uint8_t* row = surface.Row(y);
  switch (surface.bits_per_pixel) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (row[x >> 1] & 0xF) : (row[x >> 1] >> 4);
    case 8: return row[x];
    case 24: {
      const std::uint8_t* p = row + x * 3;
      return p[0] | (p[1] << 8) | (static_cast<std::uint32_t>(p[2]) << 16);
    }
    default: {
      std::uint32_t value;
      std::memcpy(&value, row + x * 4, 4);
      return value;
    }
  }
}

void WriteValue(const Surface& surface, int x, int y, std::uint32_t value) {
  std::uint8_t* row = surface.Row(y);
  switch (surface.bits_per_pixel) {
    case 1: {
      const std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (x & 7));
      row[x >> 3] = (value & 1) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit);
      break;
    }
    case 4: {
      std::uint8_t& byte = row[x >> 1];
      byte = (x & 1) ? static_cast<std::uint8_t>((byte & 0xF0) | (value & 0xF))
                     : static_cast<std::uint8_t>((byte & 0x0F) | ((value & 0xF) << 4));
      break;
    }
    case 8: row[x] = static_cast<std::uint8_t>(value); break;
    case 24: {
      std::uint8_t* p = row + x * 3;
      p[0] = static_cast<std::uint8_t>(value);
      p[1] = static_cast<std::uint8_t>(value >> 8);
      p[2] = static_cast<std::uint8_t>(value >> 16);
      break;
    }
    default: std::memcpy(row + x * 4, &value, 4); break;
  }
}

void ReadRow(const Surface& surface, int y, int x, int count, std::uint32_t* out) {
  if (surface.bits_per_pixel == 32) {
    std::memcpy(out, surface.Row(y) + static_cast<std::ptrdiff_t>(x) * 4,
                static_cast<std::size_t>(count) * 4);
    return;
  }
  for (int i = 0; i < count; ++i) out[i] = ReadValue(surface, x + i, y);
}

void WriteRow(const Surface& surface, int y, int x, int count, const std::uint32_t* values) {
  if (surface.bits_per_pixel == 32) {
    std::memcpy(surface.Row(y) + static_cast<std::ptrdiff_t>(x) * 4, values,
                static_cast<std::size_t>(count) * 4);
    return;
  }
  for (int i = 0; i < count; ++i) WriteValue(surface, x + i, y, values[i]);
}

std::uint32_t NearestIndex(const RGBQUAD* table, std::size_t count, std::uint32_t rgb) {
  const int r = (rgb >> 16) & 0xFF;
  const int g = (rgb >> 8) & 0xFF;
  const int b = rgb & 0xFF;
  std::uint32_t best = 0;
  int best_distance = 1 << 30;
  for (std::size_t i = 0; i < count; ++i) {
    const int dr = table[i].rgbRed - r;
    const int dg = table[i].rgbGreen - g;
    const int db = table[i].rgbBlue - b;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < best_distance) {  // strict: the first (lowest) index wins a tie
      best_distance = distance;
      best = static_cast<std::uint32_t>(i);
    }
  }
  return best;
}

std::uint32_t ValueOfRgb(const Surface& surface, std::uint32_t rgb) {
  if (!surface.Indexed()) return rgb & 0xFFFFFF;
  if (surface.monochrome) {
    static const std::vector<RGBQUAD> kMono = MonochromeTable();
    return NearestIndex(kMono.data(), kMono.size(), rgb);
  }
  if (surface.colour_table.empty()) return 0;
  return NearestIndex(surface.colour_table.data(), surface.colour_table.size(), rgb);
}

std::vector<RGBQUAD> MonochromeTable() { return {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}}; }

std::vector<RGBQUAD> DefaultTable(int bits_per_pixel) {
  std::vector<RGBQUAD> table;
  auto add = [&table](const PALETTEENTRY& e) { table.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0}); };
  switch (bits_per_pixel) {
    case 1: return MonochromeTable();
    case 4:
      for (const PALETTEENTRY& e : VgaColours()) add(e);
      break;
    case 8:
      for (const PALETTEENTRY& e : HalftoneColours()) add(e);
      break;
    default: break;
  }
  return table;
}

}  // namespace win::gdi
