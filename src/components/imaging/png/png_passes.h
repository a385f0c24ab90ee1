// Row helpers shared by the decoder, the encoder and the picture: the Adam7 interlace passes and
// samples packed several to a byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace dashtune::png {

struct Pass {
  std::size_t row_start, column_start, row_step, column_step;
};

inline constexpr std::array<Pass, 7> kAdam7 = {
    {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4}, {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}}};
// A plain image is one pass over every row and column.
inline constexpr Pass kNoInterlace = {0, 0, 1, 1};

// Pixels of a row of the pass in an image `width` pixels wide.
inline std::size_t PassWidth(const Pass& pass, std::size_t width) {
  return width > pass.column_start ? (width - pass.column_start + pass.column_step - 1) / pass.column_step : 0;
}

// Rows of the pass in an image `height` rows high.
inline std::size_t PassHeight(const Pass& pass, std::size_t height) {
  return height > pass.row_start ? (height - pass.row_start + pass.row_step - 1) / pass.row_step : 0;
}

// Sample x of a row packed `bits` bits a sample (1, 2, 4 or 8), first sample in the high bits.
inline unsigned GetPacked(const std::uint8_t* row, std::size_t x, int bits) {
  const std::size_t bit = x * static_cast<std::size_t>(bits);
  const int shift = 8 - bits - static_cast<int>(bit % 8);
  return (row[bit / 8] >> shift) & ((1u << bits) - 1);
}

inline void PutPacked(std::uint8_t* row, std::size_t x, int bits, unsigned value) {
  const std::size_t bit = x * static_cast<std::size_t>(bits);
  const int shift = 8 - bits - static_cast<int>(bit % 8);
  const unsigned mask = ((1u << bits) - 1) << shift;
  row[bit / 8] = static_cast<std::uint8_t>((row[bit / 8] & ~mask) | ((value << shift) & mask));
}

}  // namespace dashtune::png
