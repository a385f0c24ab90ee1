// The row layout of device-independent bitmaps, defined once for the engine, the class
// library's bitmap files and the codecs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace win::gdi {

// The depths a DIB section or bitmap may have: 1, 4, 8, 24 or 32 bits per pixel.
constexpr bool IsSupportedDepth(int bits_per_pixel) {
  return bits_per_pixel == 1 || bits_per_pixel == 4 || bits_per_pixel == 8 || bits_per_pixel == 24 ||
         bits_per_pixel == 32;
}

// Bytes of one row of `width` pixels of `bits_per_pixel` bits (1 to 32, not only the supported
// depths: files carry 16-bit rows too), padded to a multiple of `alignment` bytes (DIBs: 4,
// device-dependent monochrome bitmaps: 2). 0 for a width or depth out of range, an alignment
// that is not positive, or a row too long for std::size_t.
constexpr std::size_t DibRowStride(std::int64_t width, int bits_per_pixel, int alignment = 4) {
  if (width <= 0 || bits_per_pixel <= 0 || bits_per_pixel > 32 || alignment <= 0) return 0;
  const auto align_bits = static_cast<std::uint64_t>(alignment) * 8;
  const std::uint64_t limit = std::numeric_limits<std::size_t>::max() - align_bits;
  if (static_cast<std::uint64_t>(width) > limit / static_cast<std::uint64_t>(bits_per_pixel)) return 0;
  const std::uint64_t bits = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bits_per_pixel);
  return static_cast<std::size_t>((bits + align_bits - 1) / align_bits * static_cast<std::uint64_t>(alignment));
}

}  // namespace win::gdi
