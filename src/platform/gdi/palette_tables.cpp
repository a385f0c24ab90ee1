#include "platform/gdi/palette_tables.h"

namespace win::gdi {

const std::array<PALETTEENTRY, 20>& DefaultPaletteColours() {
  static const std::array<PALETTEENTRY, 20> kColours = {{
      {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
      {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
      {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
      {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
      {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
  }};
  return kColours;
}

const std::array<PALETTEENTRY, 16>& VgaColours() {
  static const std::array<PALETTEENTRY, 16> kColours = {{
      {0, 0, 0, 0},     {128, 0, 0, 0},   {0, 128, 0, 0},   {128, 128, 0, 0},
      {0, 0, 128, 0},   {128, 0, 128, 0}, {0, 128, 128, 0}, {192, 192, 192, 0},
      {128, 128, 128, 0}, {255, 0, 0, 0}, {0, 255, 0, 0},   {255, 255, 0, 0},
      {0, 0, 255, 0},   {255, 0, 255, 0}, {0, 255, 255, 0}, {255, 255, 255, 0},
  }};
  return kColours;
}

namespace {

std::array<PALETTEENTRY, 256> BuildHalftone() {
  std::array<PALETTEENTRY, 256> colours{};
  const auto& statics = DefaultPaletteColours();
  std::size_t next = 0;
  for (std::size_t i = 0; i < 10; ++i) colours[next++] = statics[i];
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        colours[next++] = PALETTEENTRY{static_cast<BYTE>(r * 51), static_cast<BYTE>(g * 51),
                                       static_cast<BYTE>(b * 51), 0};
  // Ten greys between the cube's steps.
  for (int i = 1; i <= 10; ++i) {
    const BYTE grey = static_cast<BYTE>(i * 255 / 11);
    colours[next++] = PALETTEENTRY{grey, grey, grey, 0};
  }
  for (std::size_t i = 10; i < 20; ++i) colours[next++] = statics[i];
  return colours;
}

}  // namespace

const std::array<PALETTEENTRY, 256>& HalftoneColours() {
  static const std::array<PALETTEENTRY, 256> kColours = BuildHalftone();
  return kColours;
}

}  // namespace win::gdi
