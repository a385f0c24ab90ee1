// Checks of device-independent bitmap headers and their colour tables.
#pragma once

#include <vector>

#include "platform/gdi/gdi_types.h"
#include "platform/gdi/surface.h"

namespace win::gdi {

// Fills the geometry of `out` (no pixels) from a header: BI_RGB, one plane, 1/4/8/24/32 bits,
// a non-zero height (negative: top-down), rows aligned to 4 bytes, inside the size limits.
bool DescribeDib(const BITMAPINFOHEADER& header, Surface* out);
// Entries of the colour table that follows the header (biSize bytes after its start), padded
// with black to 2^bits entries; empty for 24 and 32 bits.
std::vector<RGBQUAD> ReadColourTable(const BITMAPINFO* info, int bits_per_pixel);
// Bytes of the DIB's pixels.
std::size_t DibImageSize(const Surface& layout);

}  // namespace win::gdi
