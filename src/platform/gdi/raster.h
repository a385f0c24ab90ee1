// The raster core: one ternary raster-operation evaluator and the row machinery that feeds
// it destination, source and pattern values. Blits, pattern fills, shapes and lines all end
// here, so every operation code behaves the same everywhere.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/gdi/device_context.h"

namespace win::gdi {

// Result bit for pattern bit p, source bit s, destination bit d is bit (p<<2 | s<<1 | d) of
// the code, applied to all bits of the values at once.
std::uint32_t ApplyRop3(std::uint8_t code, std::uint32_t p, std::uint32_t s, std::uint32_t d);
using RopRow = void (*)(std::uint32_t* d, const std::uint32_t* s, const std::uint32_t* p, int n);
RopRow RopRowFor(std::uint8_t code);
// The same over `n` bytes of packed pixels of one depth, whole registers at a time; the three
// buffers must not overlap.
using RopBytes = void (*)(std::uint8_t* d, const std::uint8_t* s, const std::uint8_t* p, std::size_t n);
RopBytes RopBytesFor(std::uint8_t code);

constexpr std::uint8_t RopCode(DWORD rop) { return static_cast<std::uint8_t>(rop >> 16); }
constexpr bool RopUsesSource(std::uint8_t c) { return ((c >> 2) & 0x33) != (c & 0x33); }
constexpr bool RopUsesPattern(std::uint8_t c) { return (c >> 4) != (c & 0x0F); }
// The ternary code of a pen mix mode (R2_...): the pen takes the pattern's place.
std::uint8_t RopFromRop2(int rop2);

// Fills `per_row` pattern values for row y starting at column x (surface coordinates).
using PatternFn = std::function<void(int y, int x, int count, std::uint32_t* out)>;

// Applies `code` with pattern values (constant `pattern` or `pattern_fn`) to every pixel of
// `shape` (surface coordinates) inside the target's clip.
void PaintRegion(const DrawTarget& target, const Region& shape, std::uint8_t code,
                 std::uint32_t pattern, const PatternFn& pattern_fn = nullptr);

// Surface-coordinate rectangle of a logical rectangle, corners ordered.
RECT ToSurface(const DrawTarget& target, int left, int top, int right, int bottom);

// The brush's pattern value for the context's target; false for a hollow brush.
bool BrushValue(const DeviceContext& dc, const BrushObject* brush, std::uint32_t* value);
// A brush handle from 1 to 31 stands for a system colour (index + 1).
bool BrushFromHandle(HBRUSH handle, std::shared_ptr<BrushObject>* brush);

}  // namespace win::gdi
