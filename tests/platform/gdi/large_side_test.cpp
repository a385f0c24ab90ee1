// Every blit path at the far end of bitmaps 65535 pixels a side, which pixman cannot take,
// pinned pixel for pixel against the same operation between small bitmaps.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gdi_test_support.h"
#include "platform/gdi/dib_rows.h"
#include "platform/gdi/surface.h"

namespace win {
namespace {

using gdi_test::Canvas;
using gdi_test::ScopedBrush;

// The piece of a canvas an operation works on: its top-left pixel and size.
struct Region {
  int x = 0, y = 0, width = 0, height = 0;
};

// One drawing call from a source region to a destination region of the same size.
using Operation = std::function<BOOL(HDC dest, Region to, HDC source, Region from)>;

struct Case {
  std::string name;
  int dest_bits;
  int source_bits;
  Operation draw;
};

std::size_t StrideOf(const Canvas& canvas, int bits) {
  return gdi::DibRowStride(canvas.width(), bits);
}

// Bytes of a region, row after row.
std::vector<std::uint8_t> BytesOf(const Canvas& canvas, int bits, const Region& r) {
  std::vector<std::uint8_t> out;
  const std::size_t stride = StrideOf(canvas, bits);
  for (int y = r.y; y < r.y + r.height; ++y) {
    const std::uint8_t* row = canvas.bits() + stride * static_cast<std::size_t>(y);
    out.insert(out.end(), row + r.x * bits / 8, row + (r.x + r.width) * bits / 8);
  }
  return out;
}

// Fills a region with seeded bytes; 32-bit pixels are premultiplied (no channel above alpha).
void Paint(Canvas& canvas, int bits, const Region& r, unsigned seed) {
  std::mt19937 random(seed);
  const std::size_t stride = StrideOf(canvas, bits);
  for (int y = r.y; y < r.y + r.height; ++y) {
    std::uint8_t* row = canvas.bits() + stride * static_cast<std::size_t>(y);
    for (int x = r.x; x < r.x + r.width; ++x) {
      std::uint8_t* pixel = row + x * bits / 8;
      const unsigned alpha = random() % 256;
      for (int c = 0; c < bits / 8; ++c)
        pixel[c] = static_cast<std::uint8_t>(c == 3 ? alpha : bits == 32 ? random() % (alpha + 1) : random() % 256);
    }
  }
}

std::vector<Case> Cases() {
  const auto copy = [](DWORD rop) {
    return [rop](HDC d, Region to, HDC s, Region from) {
      return BitBlt(d, to.x, to.y, to.width, to.height, s, from.x, from.y, rop);
    };
  };
  // Enlarging reads half the source region; shrinking draws half the destination region.
  const auto stretch = [](int mode, bool shrink) {
    return [mode, shrink](HDC d, Region to, HDC s, Region from) {
      SetStretchBltMode(d, mode);
      const int divide_to = shrink ? 2 : 1, divide_from = shrink ? 1 : 2;
      return StretchBlt(d, to.x, to.y, to.width / divide_to, to.height / divide_to, s, from.x, from.y,
                        from.width / divide_from, from.height / divide_from, SRCCOPY);
    };
  };
  // Source where the mask's bit is 1, the destination inverted where it is 0.
  const auto masked = [](HDC d, Region to, HDC s, Region from) {
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(gdi::DibRowStride(to.width, 1, 2)) * to.height);
    for (std::size_t i = 0; i < bits.size(); ++i) bits[i] = static_cast<std::uint8_t>(0x5A ^ (i * 37));
    const ScopedGdiObject<HBITMAP> mask(CreateBitmap(to.width, to.height, 1, 1, bits.data()));
    return MaskBlt(d, to.x, to.y, to.width, to.height, s, from.x, from.y, mask.Get(), 0, 0,
                   MAKEROP4(SRCCOPY, DSTINVERT));
  };
  const auto blend = [](BYTE constant, BYTE format) {
    return [constant, format](HDC d, Region to, HDC s, Region from) {
      const BLENDFUNCTION function{AC_SRC_OVER, 0, constant, format};
      return AlphaBlend(d, to.x, to.y, to.width, to.height, s, from.x, from.y, from.width, from.height, function);
    };
  };
  return {
      {"fill", 32, 32,
       [](HDC d, Region to, HDC, Region) {
         const ScopedBrush brush(d, RGB(0x12, 0x34, 0x56));
         return PatBlt(d, to.x, to.y, to.width, to.height, PATCOPY);
       }},
      {"copy 32 to 32", 32, 32, copy(SRCCOPY)},
      {"copy 24 to 24", 24, 24, copy(SRCCOPY)},
      {"copy 32 to 24", 24, 32, copy(SRCCOPY)},
      {"invert 32 to 32", 32, 32, copy(SRCINVERT)},
      {"nearest enlargement", 32, 32, stretch(COLORONCOLOR, false)},
      {"nearest enlargement 24", 24, 24, stretch(COLORONCOLOR, false)},
      {"nearest shrink", 32, 32, stretch(COLORONCOLOR, true)},
      {"combining shrink", 32, 32, stretch(BLACKONWHITE, true)},
      {"masked", 32, 32, masked},
      {"per-pixel alpha", 32, 32, blend(200, AC_SRC_ALPHA)},
      {"constant alpha", 32, 32, blend(128, 0)},
  };
}

// A canvas `side` pixels long one way and `across` the other, the region at its far end.
struct Shape {
  bool wide;
  int across;
  int Width(int side) const { return wide ? side : across; }
  int Height(int side) const { return wide ? across : side; }
};

// The operation drawn three ways: small onto small, small onto the far end of a large
// canvas, the far end of a large canvas onto small. The drawn bytes must agree. The destination
// region hangs two pixels past the far end, so clipping there is compared too.
void ExpectSameAtTheFarEnd(const Case& c, Shape shape) {
  const int side = gdi::kMaxBitmapSide, length = 24;
  const Region small_region{0, 0, shape.Width(length), shape.Height(length)};
  const Region far_region{shape.Width(side) - small_region.width, shape.Height(side) - small_region.height,
                          small_region.width, small_region.height};
  const auto overhang = [&](Region r) {
    (shape.wide ? r.x : r.y) += 2;
    return r;
  };
  const auto make = [&](int bits, int total, const Region& r, unsigned seed) {
    auto canvas = std::make_unique<Canvas>(shape.Width(total), shape.Height(total), bits);
    if (canvas->bits() != nullptr) Paint(*canvas, bits, r, seed);
    return canvas;
  };

  const auto expected = make(c.dest_bits, length, small_region, 1);
  const std::vector<std::uint8_t> before = BytesOf(*expected, c.dest_bits, small_region);
  const auto small_source = make(c.source_bits, length, small_region, 2);
  ASSERT_TRUE(c.draw(expected->dc(), overhang(small_region), small_source->dc(), small_region)) << c.name;
  const std::vector<std::uint8_t> want = BytesOf(*expected, c.dest_bits, small_region);
  ASSERT_NE(want, before) << c.name << " drew nothing";

  const auto large_dest = make(c.dest_bits, side, far_region, 1);
  ASSERT_NE(large_dest->bits(), nullptr);
  EXPECT_TRUE(c.draw(large_dest->dc(), overhang(far_region), small_source->dc(), small_region)) << c.name;
  EXPECT_EQ(BytesOf(*large_dest, c.dest_bits, far_region), want) << c.name << ": onto the far end";

  const auto small_dest = make(c.dest_bits, length, small_region, 1);
  const auto large_source = make(c.source_bits, side, far_region, 2);
  ASSERT_NE(large_source->bits(), nullptr);
  EXPECT_TRUE(c.draw(small_dest->dc(), overhang(small_region), large_source->dc(), far_region)) << c.name;
  EXPECT_EQ(BytesOf(*small_dest, c.dest_bits, small_region), want) << c.name << ": from the far end";
}

TEST(LargeSide, EveryBlitPathDrawsTheFarEndOfAWideBitmapAsOfASmallOne) {
  for (const Case& c : Cases()) ExpectSameAtTheFarEnd(c, Shape{true, 6});
}

TEST(LargeSide, EveryBlitPathDrawsTheFarEndOfATallBitmapAsOfASmallOne) {
  for (const Case& c : Cases()) ExpectSameAtTheFarEnd(c, Shape{false, 6});
}

}  // namespace
}  // namespace win
