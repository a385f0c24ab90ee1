// The Adam7 interlace passes shared by the decoder and the encoder.
#pragma once

#include <array>
#include <cstddef>

namespace dashtune::png {

struct Pass {
  std::size_t row_start, column_start, row_step, column_step;
};

inline constexpr std::array<Pass, 7> kAdam7 = {{{0, 0, 8, 8},
                                                {0, 4, 8, 8},
                                                {4, 0, 8, 4},
                                                {0, 2, 4, 4},
                                                {2, 0, 4, 2},
                                                {0, 1, 2, 2},
                                                {1, 0, 2, 1}}};
// A plain image is one pass over every row and column.
inline constexpr Pass kNoInterlace = {0, 0, 1, 1};

// Pixels of a row of the pass in an image `width` pixels wide.
inline std::size_t PassWidth(const Pass& pass, std::size_t width) {
  return width > pass.column_start ? (width - pass.column_start + pass.column_step - 1) / pass.column_step : 0;
}

}  // namespace dashtune::png
