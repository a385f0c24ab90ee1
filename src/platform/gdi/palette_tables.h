// The fixed colour sets of the engine: the 20 static colours of the default palette, the 16
// colours of a 4-bit table and the 256 colours of the halftone palette.
#pragma once

#include <array>

#include "platform/gdi/gdi_types.h"

namespace win::gdi {

const std::array<PALETTEENTRY, 20>& DefaultPaletteColours();
const std::array<PALETTEENTRY, 16>& VgaColours();
// The first ten and last ten entries are the static colours; between them the 6x6x6 colour
// cube (steps of 51, red slowest) and a grey ramp fill the rest.
const std::array<PALETTEENTRY, 256>& HalftoneColours();

}  // namespace win::gdi
