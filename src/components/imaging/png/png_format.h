// The PNG format's numbers, named once: colour types, row filter types and interlace methods as
// the header and the rows store them.
#pragma once

#include <cstdint>

namespace dashtune::png {

// Colour types: bit 0 palette, bit 1 colour, bit 2 alpha.
inline constexpr std::uint8_t kColorTypeGray = 0;
inline constexpr std::uint8_t kColorTypeTruecolor = 2;
inline constexpr std::uint8_t kColorTypeIndexed = 3;
inline constexpr std::uint8_t kColorTypeGrayAlpha = 4;
inline constexpr std::uint8_t kColorTypeTruecolorAlpha = 6;

// The filter type byte in front of every row.
inline constexpr std::uint8_t kFilterNone = 0;
inline constexpr std::uint8_t kFilterSub = 1;
inline constexpr std::uint8_t kFilterUp = 2;
inline constexpr std::uint8_t kFilterAverage = 3;
inline constexpr std::uint8_t kFilterPaeth = 4;

inline constexpr std::uint8_t kInterlaceNone = 0;
inline constexpr std::uint8_t kInterlaceAdam7 = 1;

}  // namespace dashtune::png
