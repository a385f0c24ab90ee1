// Randomised differential test of the raster engine's fast paths: seeded blits, stretches, fills
// and alpha blends, every pixel compared with a plain reference of each rule kept here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "gdi_test_support.h"

namespace win {
namespace {

constexpr int kCases = 10000;

// ---- The reference: pixels as plain values, each rule written out directly ----

struct Pixels {
  int width = 0, height = 0, bits = 32;
  bool top_down = true;
  std::vector<std::uint8_t> bytes;  // a copy of the DIB's memory

  std::size_t Stride() const { return static_cast<std::size_t>((width * bits + 31) / 32 * 4); }
  std::size_t Offset(int y) const { return Stride() * static_cast<std::size_t>(top_down ? y : height - 1 - y); }
  std::uint32_t Get(int x, int y) const {
    const std::uint8_t* row = bytes.data() + Offset(y);
    switch (bits) {
      case 1: return (row[x / 8] >> (7 - x % 8)) & 1u;
      case 4: return x % 2 ? row[x / 2] & 0xFu : row[x / 2] >> 4;
      case 8: return row[x];
      case 24: return row[x * 3] | row[x * 3 + 1] << 8 | static_cast<std::uint32_t>(row[x * 3 + 2]) << 16;
      default: return row[x * 4] | row[x * 4 + 1] << 8 | row[x * 4 + 2] << 16 | static_cast<std::uint32_t>(row[x * 4 + 3]) << 24;
    }
  }
  void Put(int x, int y, std::uint32_t v) {
    std::uint8_t* row = bytes.data() + Offset(y);
    switch (bits) {
      case 1: row[x / 8] = static_cast<std::uint8_t>((row[x / 8] & ~(0x80 >> x % 8)) | (v & 1) << (7 - x % 8)); break;
      case 4:
        row[x / 2] = static_cast<std::uint8_t>(x % 2 ? (row[x / 2] & 0xF0) | (v & 0xF) : (row[x / 2] & 0x0F) | (v & 0xF) << 4);
        break;
      case 8: row[x] = static_cast<std::uint8_t>(v); break;
      case 24:
        for (int i = 0; i < 3; ++i) row[x * 3 + i] = static_cast<std::uint8_t>(v >> (8 * i));
        break;
      default:
        for (int i = 0; i < 4; ++i) row[x * 4 + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
  }
  std::uint32_t Mask() const { return bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1; }
};

// Bit i of the code is the result where the pattern, source and destination bits are those of
// i (4, 2 and 1): the result is the union of the combinations the code lists.
std::uint32_t Rop3(std::uint8_t code, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
  std::uint32_t out = 0;
  for (unsigned i = 0; i < 8; ++i) {
    if (((code >> i) & 1) == 0) continue;
    out |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
  }
  return out;
}

// One axis of a request: destination start and extent (negative: mirrored, the pixels
// (start + extent, start]), and the source's likewise.
struct Axis {
  int dest, dest_extent, source, source_extent;
};

// The pixels [first, first + length) an extent covers, and whether it runs backwards.
void Span(int start, int extent, int* first, int* length, bool* backwards) {
  *backwards = extent < 0;
  *first = extent < 0 ? start + extent + 1 : start;
  *length = std::abs(extent);
}

// The source pixel for destination index i of the axis (nearest-pixel rule: floor of the
// proportional position, counted from the other end when exactly one side runs backwards).
int SourceIndex(const Axis& axis, int i) {
  int dest_first, dest_length, source_first, source_length;
  bool dest_back, source_back;
  Span(axis.dest, axis.dest_extent, &dest_first, &dest_length, &dest_back);
  Span(axis.source, axis.source_extent, &source_first, &source_length, &source_back);
  const long long a = static_cast<long long>(i) * source_length / dest_length;
  return static_cast<int>(dest_back != source_back ? source_first + source_length - 1 - a : source_first + a);
}

struct ClipBox {
  int left, top, right, bottom;
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

void ReferenceBlit(const Pixels& source, Pixels& dest, const Axis& ax, const Axis& ay, std::uint8_t code,
                   std::uint32_t pattern, const ClipBox& clip) {
  int x0, w, y0, h;
  bool bx, by;
  Span(ax.dest, ax.dest_extent, &x0, &w, &bx);
  Span(ay.dest, ay.dest_extent, &y0, &h, &by);
  const bool uses_source = ((code >> 2) & 0x33) != (code & 0x33);
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) {
      const int x = x0 + i, y = y0 + j;
      if (x < 0 || y < 0 || x >= dest.width || y >= dest.height || !clip.Contains(x, y)) continue;
      std::uint32_t s = 0;
      if (uses_source) {
        const int sx = SourceIndex(ax, i), sy = SourceIndex(ay, j);
        if (sx < 0 || sy < 0 || sx >= source.width || sy >= source.height) continue;
        s = source.Get(sx, sy);
      }
      dest.Put(x, y, Rop3(code, pattern, s, dest.Get(x, y)) & dest.Mask());
    }
  }
}

std::uint32_t Div255(std::uint32_t v) { return (v + 127) / 255; }

std::uint32_t ReferenceBlendPixel(std::uint32_t s, std::uint32_t d, std::uint32_t constant, bool per_pixel) {
  std::uint32_t out = 0;
  const std::uint32_t alpha = Div255((s >> 24) * constant);
  for (int shift = 0; shift < 32; shift += 8) {
    const std::uint32_t sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
    const std::uint32_t v = per_pixel ? std::min<std::uint32_t>(255, Div255(sc * constant) + Div255(dc * (255 - alpha)))
                                      : Div255(sc * constant + dc * (255 - constant));
    out |= v << shift;
  }
  return out;
}

void ReferenceBlend(const Pixels& source, Pixels& dest, const RECT& to, const RECT& from, std::uint32_t constant,
                    bool per_pixel, const ClipBox& clip) {
  const int w = to.right - to.left, h = to.bottom - to.top;
  const int sw = from.right - from.left, sh = from.bottom - from.top;
  for (int y = std::max(0, static_cast<int>(to.top)); y < std::min(dest.height, static_cast<int>(to.bottom)); ++y) {
    for (int x = std::max(0, static_cast<int>(to.left)); x < std::min(dest.width, static_cast<int>(to.right)); ++x) {
      if (!clip.Contains(x, y)) continue;
      const int sx = from.left + (x - to.left) * sw / w, sy = from.top + (y - to.top) * sh / h;
      dest.Put(x, y, ReferenceBlendPixel(source.Get(sx, sy), dest.Get(x, y), constant, per_pixel));
    }
  }
}

// ---- Random cases ----

class Case {
 public:
  explicit Case(unsigned seed) : random_(seed) {}

  int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  std::uint32_t Word() { return static_cast<std::uint32_t>(random_()); }
  bool Chance(int percent) { return Int(0, 99) < percent; }
  int NonZero(int low, int high) {
    const int v = Int(low, high);
    return v == 0 ? 1 : v;
  }

 private:
  std::mt19937 random_;
};

std::vector<RGBQUAD> DistinctTable(int bits) {
  std::vector<RGBQUAD> table;
  for (int i = 0; i < (1 << bits); ++i)
    table.push_back(RGBQUAD{static_cast<BYTE>(i * 7), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 3 + 1), 0});
  return table;
}

// A canvas of random pixels and the reference's copy of them.
struct TestSurface {
  gdi_test::Canvas canvas;
  Pixels pixels;

  TestSurface(Case& c, int width, int height, int bits, bool top_down)
      : canvas(width, height, bits, top_down ? -1 : 1, bits <= 8 ? DistinctTable(bits) : std::vector<RGBQUAD>{}) {
    pixels.width = width;
    pixels.height = height;
    pixels.bits = bits;
    pixels.top_down = top_down;
    pixels.bytes.resize(pixels.Stride() * static_cast<std::size_t>(height));
    for (auto& b : pixels.bytes) b = static_cast<std::uint8_t>(c.Word());
    std::memcpy(canvas.bits(), pixels.bytes.data(), pixels.bytes.size());
  }
  bool Matches(const Pixels& expected) const {
    return std::memcmp(canvas.bits(), expected.bytes.data(), expected.bytes.size()) == 0;
  }
  // Where the canvas first differs from the expected pixels.
  std::string FirstDifference(const Pixels& expected) const {
    Pixels actual = expected;
    std::memcpy(actual.bytes.data(), canvas.bits(), actual.bytes.size());
    for (int y = 0; y < expected.height; ++y)
      for (int x = 0; x < expected.width; ++x)
        if (actual.Get(x, y) != expected.Get(x, y))
          return "at (" + std::to_string(x) + ", " + std::to_string(y) + ") drawn " + std::to_string(actual.Get(x, y)) +
                 ", expected " + std::to_string(expected.Get(x, y));
    return "in the padding";
  }
};

// A clip rectangle, or the whole surface, selected into the context and given to the reference.
ClipBox RandomClip(Case& c, HDC dc, int width, int height) {
  if (!c.Chance(30)) return ClipBox{0, 0, width, height};
  const int left = c.Int(-2, width), top = c.Int(-2, height);
  const ClipBox box{left, top, c.Int(left, width + 2), c.Int(top, height + 2)};
  IntersectClipRect(dc, box.left, box.top, box.right, box.bottom);
  return box;
}

constexpr DWORD kCommonRops[] = {SRCCOPY, SRCAND, SRCPAINT, SRCINVERT, NOTSRCCOPY, PATINVERT, DSTINVERT, PATCOPY,
                                 BLACKNESS, WHITENESS, MERGECOPY, SRCERASE};

DWORD RandomRop(Case& c) {
  if (c.Chance(15)) return static_cast<DWORD>(c.Int(0, 255)) << 16;
  return kCommonRops[c.Int(0, static_cast<int>(std::size(kCommonRops)) - 1)];
}

// A solid brush whose value on the surface the reference knows: a colour of the table for
// indexed surfaces, any colour otherwise.
struct Brush {
  COLORREF colour;
  std::uint32_t value;
};

Brush RandomBrush(Case& c, int bits) {
  if (bits <= 8) {
    const auto table = DistinctTable(bits);
    const int index = c.Int(0, static_cast<int>(table.size()) - 1);
    const RGBQUAD& q = table[static_cast<std::size_t>(index)];
    return Brush{RGB(q.rgbRed, q.rgbGreen, q.rgbBlue), static_cast<std::uint32_t>(index)};
  }
  const std::uint32_t rgb = c.Word() & 0xFFFFFF;
  return Brush{RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF), rgb};
}

// A start for an extent that mostly overlaps [0, size), now and then not at all.
int Start(Case& c, int extent, int size) { return extent < 0 ? c.Int(0, size + 3) : c.Int(-3, size - 1); }

// Forward extents in one of a few ratios whose steps are exact in 16.16 fixed point.
void PlainExtents(Case& c, int size, Axis* axis) {
  constexpr int kRatios[][2] = {{1, 1}, {1, 1}, {2, 1}, {1, 2}, {3, 1}, {1, 4}, {3, 4}};  // source : destination
  const auto& ratio = kRatios[c.Int(0, static_cast<int>(std::size(kRatios)) - 1)];
  const int units = c.Int(1, std::max(1, (size + 4) / ratio[1]));
  axis->dest_extent = ratio[1] * units;
  axis->source_extent = ratio[0] * units;
}

std::string Describe(unsigned seed) { return "seed " + std::to_string(seed); }

// A blit or stretch between two surfaces of one depth (or 24 and 32 bits, or within one surface),
// every raster operation, mirrored and clipped rectangles.
void RunBlitCase(unsigned seed) {
  Case c(seed);
  constexpr int kDepths[] = {32, 32, 32, 24, 24, 8, 4, 1};
  const int bits = kDepths[c.Int(0, 7)];
  const int dw = c.Int(1, 40), dh = c.Int(1, 24);
  TestSurface dest(c, dw, dh, bits, c.Chance(70));
  const bool self = c.Chance(15);
  std::optional<TestSurface> own_source;
  // 24 and 32 bits convert into each other by dropping or zeroing the alpha byte.
  const int source_bits = bits >= 24 && c.Chance(25) ? 56 - bits : bits;
  if (!self)
    own_source.emplace(c, c.Int(1, 40), c.Int(1, 24), source_bits, c.Chance(80) ? dest.pixels.top_down : c.Chance(50));
  const TestSurface& source = self ? dest : *own_source;
  const Pixels source_before = source.pixels;

  const Brush brush = RandomBrush(c, bits);
  gdi_test::ScopedBrush selected(dest.canvas.dc(), brush.colour);
  SetStretchBltMode(dest.canvas.dc(), COLORONCOLOR);
  const ClipBox clip = RandomClip(c, dest.canvas.dc(), dw, dh);
  const bool stretch = c.Chance(50);
  Axis ax{0, c.NonZero(-dw - 4, dw + 4), 0, 0};
  Axis ay{0, c.NonZero(-dh - 4, dh + 4), 0, 0};
  ax.source_extent = stretch ? c.NonZero(-2 * dw, 2 * dw) : ax.dest_extent;
  ay.source_extent = stretch ? c.NonZero(-2 * dh, 2 * dh) : ay.dest_extent;
  if (c.Chance(35)) {  // the shapes the fast paths take: nothing mirrored, exact ratios
    PlainExtents(c, dw, &ax);
    PlainExtents(c, dh, &ay);
  }
  ax.dest = Start(c, ax.dest_extent, dw);
  ay.dest = Start(c, ay.dest_extent, dh);
  ax.source = Start(c, ax.source_extent, source.pixels.width);
  ay.source = Start(c, ay.source_extent, source.pixels.height);
  const DWORD rop = c.Chance(30) ? SRCCOPY : RandomRop(c);

  Pixels expected = dest.pixels;
  ReferenceBlit(source_before, expected, ax, ay, static_cast<std::uint8_t>(rop >> 16), brush.value, clip);
  ASSERT_TRUE(StretchBlt(dest.canvas.dc(), ax.dest, ay.dest, ax.dest_extent, ay.dest_extent, source.canvas.dc(),
                         ax.source, ay.source, ax.source_extent, ay.source_extent, rop))
      << Describe(seed);
  ASSERT_TRUE(dest.Matches(expected)) << Describe(seed) << " " << dest.FirstDifference(expected) << " rop " << std::hex << rop << std::dec << " bits " << bits
                                      << (self ? " self" : "");
}

// Solid fills through PatBlt and FillRect.
void RunFillCase(unsigned seed) {
  Case c(seed);
  constexpr int kDepths[] = {32, 32, 24, 8, 4, 1};
  const int bits = kDepths[c.Int(0, 5)];
  const int dw = c.Int(1, 48), dh = c.Int(1, 24);
  TestSurface dest(c, dw, dh, bits, c.Chance(60));
  const Brush brush = RandomBrush(c, bits);
  const ClipBox clip = RandomClip(c, dest.canvas.dc(), dw, dh);
  Axis ax{0, c.NonZero(-dw - 4, dw + 4), 0, 1};
  Axis ay{0, c.NonZero(-dh - 4, dh + 4), 0, 1};
  ax.dest = Start(c, ax.dest_extent, dw);
  ay.dest = Start(c, ay.dest_extent, dh);
  Pixels expected = dest.pixels;
  ReferenceBlit(expected, expected, ax, ay, 0xF0, brush.value, clip);
  if (c.Chance(50)) {
    gdi_test::ScopedBrush selected(dest.canvas.dc(), brush.colour);
    ASSERT_TRUE(PatBlt(dest.canvas.dc(), ax.dest, ay.dest, ax.dest_extent, ay.dest_extent, PATCOPY)) << Describe(seed);
  } else {
    // FillRect orders the corners itself: give it the pixels PatBlt's extents cover.
    int left, width, top, height;
    bool backwards;
    Span(ax.dest, ax.dest_extent, &left, &width, &backwards);
    Span(ay.dest, ay.dest_extent, &top, &height, &backwards);
    const ScopedGdiObject<HBRUSH> solid(CreateSolidBrush(brush.colour));
    const RECT r{left, top, left + width, top + height};
    FillRect(dest.canvas.dc(), &r, solid.Get());
  }
  ASSERT_TRUE(dest.Matches(expected)) << Describe(seed) << " " << dest.FirstDifference(expected) << " bits " << bits;
}

// Alpha blends of 32-bit surfaces: constant and per-pixel alpha, stretched or not, the source
// rectangle inside the source or not (refused).
void RunBlendCase(unsigned seed) {
  Case c(seed);
  const int dw = c.Int(1, 40), dh = c.Int(1, 24);
  TestSurface dest(c, dw, dh, 32, c.Chance(70));
  TestSurface source(c, c.Int(1, 40), c.Int(1, 24), 32, c.Chance(80) ? dest.pixels.top_down : c.Chance(50));
  const ClipBox clip = RandomClip(c, dest.canvas.dc(), dw, dh);
  const bool per_pixel = c.Chance(60);
  const std::uint32_t constant = c.Chance(30) ? 255 : static_cast<std::uint32_t>(c.Int(0, 255));
  const int sw = c.Int(1, source.pixels.width), sh = c.Int(1, source.pixels.height);
  const bool outside = c.Chance(10);
  const RECT from{outside ? c.Int(-1, source.pixels.width) : c.Int(0, source.pixels.width - sw),
                  outside ? c.Int(-1, source.pixels.height) : c.Int(0, source.pixels.height - sh), 0, 0};
  const bool stretch = c.Chance(30);
  const int w = stretch ? c.Int(1, dw + 4) : sw, h = stretch ? c.Int(1, dh + 4) : sh;
  const RECT to{c.Int(-4, dw - 1), c.Int(-4, dh - 1), 0, 0};
  const bool inside = from.left >= 0 && from.top >= 0 && from.left + sw <= source.pixels.width &&
                      from.top + sh <= source.pixels.height;
  Pixels expected = dest.pixels;
  if (inside)
    ReferenceBlend(source.pixels, expected, RECT{to.left, to.top, to.left + w, to.top + h},
                   RECT{from.left, from.top, from.left + sw, from.top + sh}, constant, per_pixel, clip);
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(constant), static_cast<BYTE>(per_pixel ? AC_SRC_ALPHA : 0)};
  EXPECT_EQ(AlphaBlend(dest.canvas.dc(), to.left, to.top, w, h, source.canvas.dc(), from.left, from.top, sw, sh, blend),
            inside ? TRUE : FALSE)
      << Describe(seed);
  ASSERT_TRUE(dest.Matches(expected)) << Describe(seed) << " " << dest.FirstDifference(expected) << (per_pixel ? " per pixel" : " constant") << " alpha "
                                      << constant;
}

TEST(RasterDifferential, SeededCasesMatchThePlainReferencePixelForPixel) {
  for (unsigned seed = 1; seed <= kCases; ++seed) {
    switch (seed % 4) {
      case 0: RunFillCase(seed); break;
      case 1: RunBlendCase(seed); break;
      default: RunBlitCase(seed); break;
    }
    if (::testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace win
