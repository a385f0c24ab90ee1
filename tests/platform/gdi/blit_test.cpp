// Blits between formats: monochrome/colour conversions, MaskBlt, stretching and DIB drawing.
#include <gtest/gtest.h>

#include "gdi_test_support.h"

namespace win {
namespace {

using gdi_test::Canvas;
using gdi_test::DibInfo;

// A memory context holding a monochrome bitmap made from rows of '0'/'1'.
class MonoCanvas {
 public:
  explicit MonoCanvas(const std::vector<std::string>& rows)
      : width_(static_cast<int>(rows.front().size())), height_(static_cast<int>(rows.size())),
        bitmap_(CreateBitmap(width_, height_, 1, 1, Pack(rows).data())), dc_(CreateCompatibleDC(nullptr)),
        selection_(dc_.Get(), bitmap_.Get()) {}
  HDC dc() const { return dc_.Get(); }
  HBITMAP bitmap() const { return bitmap_.Get(); }
  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    for (int y = 0; y < height_; ++y) {
      std::string row;
      for (int x = 0; x < width_; ++x) row += GetPixel(dc(), x, y) == RGB(255, 255, 255) ? '1' : '0';
      rows.push_back(row);
    }
    return rows;
  }

 private:
  // Rows of 2-byte units, the first pixel in the high bit.
  static std::vector<BYTE> Pack(const std::vector<std::string>& rows) {
    const int width = static_cast<int>(rows.front().size());
    const std::size_t stride = gdi::DibRowStride(width, 1, 2);
    std::vector<BYTE> bits(stride * rows.size(), 0);
    for (std::size_t y = 0; y < rows.size(); ++y)
      for (int x = 0; x < width; ++x)
        if (rows[y][static_cast<std::size_t>(x)] == '1')
          bits[y * stride + static_cast<std::size_t>(x / 8)] |= static_cast<BYTE>(0x80 >> (x % 8));
    return bits;
  }

  int width_;
  int height_;
  ScopedGdiObject<HBITMAP> bitmap_;
  ScopedGdiObject<HDC> dc_;
  ScopedSelect selection_;
};

TEST(Conversion, MonochromeToColourUsesTextForZeroAndBackgroundForOne) {
  MonoCanvas mono({"0110"});
  Canvas colour(4, 1);
  SetTextColor(colour.dc(), RGB(0x10, 0x20, 0x30));
  SetBkColor(colour.dc(), RGB(0xA0, 0xB0, 0xC0));
  ASSERT_TRUE(BitBlt(colour.dc(), 0, 0, 4, 1, mono.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(colour.At(0, 0), 0x102030u);
  EXPECT_EQ(colour.At(1, 0), 0xA0B0C0u);
  EXPECT_EQ(colour.At(2, 0), 0xA0B0C0u);
  EXPECT_EQ(colour.At(3, 0), 0x102030u);
}

TEST(Conversion, OneBitDibSectionsShowTheirColourTableNotTheContextColours) {
  Canvas dib(2, 1, 1, -1, {{0, 0, 255, 0}, {255, 0, 0, 0}});  // 0 red, 1 blue
  dib.bits()[0] = 0x40;                                       // pixels 0, 1
  Canvas colour(2, 1);
  SetTextColor(colour.dc(), RGB(0, 255, 0));
  ASSERT_TRUE(BitBlt(colour.dc(), 0, 0, 2, 1, dib.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(colour.At(0, 0), 0xFF0000u);
  EXPECT_EQ(colour.At(1, 0), 0x0000FFu);
}

TEST(Conversion, ColourToMonochromeMakesTheSourceBackgroundColourOne) {
  Canvas colour(4, 1);
  colour.Set(0, 0, 0x00FF00);
  colour.Set(1, 0, 0xFFFFFF);
  colour.Set(2, 0, 0x000000);
  colour.Set(3, 0, 0x00FF00);
  SetBkColor(colour.dc(), RGB(0, 255, 0));
  MonoCanvas mono({"0000"});
  ASSERT_TRUE(BitBlt(mono.dc(), 0, 0, 4, 1, colour.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(mono.Rows(), (std::vector<std::string>{"1001"}));
}

TEST(Conversion, ColourToMonochromeAppliesTheOperationToTheConvertedBits) {
  Canvas colour(2, 1);
  colour.Set(0, 0, 0x123456);
  SetBkColor(colour.dc(), RGB(0x12, 0x34, 0x56));
  MonoCanvas mono({"11"});
  ASSERT_TRUE(BitBlt(mono.dc(), 0, 0, 2, 1, colour.dc(), 0, 0, SRCINVERT));
  EXPECT_EQ(mono.Rows(), (std::vector<std::string>{"01"}));
}

TEST(MaskBlt, UsesTheForegroundCodeWhereTheMaskIsOneAndTheBackgroundCodeElsewhere) {
  Canvas source(4, 1);
  Canvas dest(4, 1);
  source.Fill(0x00FF00);
  dest.Fill(0x0000FF);
  MonoCanvas mask({"1010"});
  // Keep the destination where the mask is 1, copy the source where it is 0.
  ASSERT_TRUE(MaskBlt(dest.dc(), 0, 0, 4, 1, source.dc(), 0, 0, mask.bitmap(), 0, 0, 0xCCAA0029));
  EXPECT_EQ(dest.Picture(0x00FF00), (std::vector<std::string>{".#.#"}));
  // MAKEROP4 with the codes the other way round inverts the picture.
  dest.Fill(0x0000FF);
  ASSERT_TRUE(MaskBlt(dest.dc(), 0, 0, 4, 1, source.dc(), 0, 0, mask.bitmap(), 0, 0, MAKEROP4(SRCCOPY, 0x00AA0029)));
  EXPECT_EQ(dest.Picture(0x00FF00), (std::vector<std::string>{"#.#."}));
}

TEST(MaskBlt, MaskOffsetsAndPatternCodes) {
  Canvas dest(3, 1);
  dest.Fill(0x000000);
  MonoCanvas mask({"0011"});
  gdi_test::ScopedBrush brush(dest.dc(), RGB(255, 0, 0));
  // Pattern where the mask is 1, destination inverted where it is 0; no source needed.
  ASSERT_TRUE(MaskBlt(dest.dc(), 0, 0, 3, 1, nullptr, 0, 0, mask.bitmap(), 1, 0, MAKEROP4(PATCOPY, DSTINVERT)));
  EXPECT_EQ(dest.At(0, 0), 0xFFFFFFu);
  EXPECT_EQ(dest.At(1, 0), 0xFF0000u);
  EXPECT_EQ(dest.At(2, 0), 0xFF0000u);
  EXPECT_FALSE(MaskBlt(dest.dc(), 0, 0, 3, 1, nullptr, 0, 0, mask.bitmap(), 0, 0, MAKEROP4(SRCCOPY, DSTINVERT)));
  Canvas colour_mask(3, 1);
  EXPECT_FALSE(MaskBlt(dest.dc(), 0, 0, 3, 1, nullptr, 0, 0, colour_mask.bitmap(), 0, 0, MAKEROP4(PATCOPY, DSTINVERT)));
}

TEST(MaskBlt, TransparentDrawingStepsOfTheCodecsGiveTheExpectedPicture) {
  // The classic sequence: mask from the transparent colour, SRCAND with the mask, the source
  // with its transparent pixels blackened, SRCPAINT.
  Canvas image(3, 1);
  image.Set(0, 0, 0xFF00FF);  // transparent colour
  image.Set(1, 0, 0x123456);
  image.Set(2, 0, 0xFF00FF);
  Canvas target(3, 1);
  target.Fill(0x0000AA);
  MonoCanvas mask({"000"});
  SetBkColor(image.dc(), RGB(255, 0, 255));
  ASSERT_TRUE(BitBlt(mask.dc(), 0, 0, 3, 1, image.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(mask.Rows(), (std::vector<std::string>{"101"}));
  // Monochrome sources take the destination's colours: 0 text (black), 1 background (white).
  SetBkColor(image.dc(), RGB(255, 255, 255));
  MonoCanvas inverse({"000"});
  ASSERT_TRUE(BitBlt(inverse.dc(), 0, 0, 3, 1, mask.dc(), 0, 0, NOTSRCCOPY));
  EXPECT_EQ(inverse.Rows(), (std::vector<std::string>{"010"}));
  ASSERT_TRUE(BitBlt(target.dc(), 0, 0, 3, 1, mask.dc(), 0, 0, SRCAND));
  ASSERT_TRUE(BitBlt(image.dc(), 0, 0, 3, 1, inverse.dc(), 0, 0, SRCAND));
  ASSERT_TRUE(BitBlt(target.dc(), 0, 0, 3, 1, image.dc(), 0, 0, SRCPAINT));
  EXPECT_EQ(target.At(0, 0), 0x0000AAu);
  EXPECT_EQ(target.At(1, 0), 0x123456u);
  EXPECT_EQ(target.At(2, 0), 0x0000AAu);
}

TEST(StretchBlt, MapsEachDestinationPixelToTheNearestSourcePixelBelowIt) {
  // Source column of destination column x is x * source width / destination width, truncated.
  Canvas source(3, 1);
  source.Set(0, 0, 1);
  source.Set(1, 0, 2);
  source.Set(2, 0, 3);
  Canvas dest(7, 2);
  SetStretchBltMode(dest.dc(), COLORONCOLOR);
  ASSERT_TRUE(StretchBlt(dest.dc(), 0, 0, 7, 2, source.dc(), 0, 0, 3, 1, SRCCOPY));
  std::string row0, row1;
  for (int x = 0; x < 7; ++x) {
    row0 += static_cast<char>('0' + dest.At(x, 0));
    row1 += static_cast<char>('0' + dest.At(x, 1));
  }
  EXPECT_EQ(row0, "1112233");
  EXPECT_EQ(row1, row0);
  // Shrinking drops pixels the same way: 7 -> 3 takes columns 0, 2 and 4.
  Canvas small(3, 1);
  SetStretchBltMode(small.dc(), COLORONCOLOR);
  ASSERT_TRUE(StretchBlt(small.dc(), 0, 0, 3, 1, dest.dc(), 0, 0, 7, 1, SRCCOPY));
  EXPECT_EQ(small.At(0, 0), 1u);
  EXPECT_EQ(small.At(1, 0), 1u);
  EXPECT_EQ(small.At(2, 0), 2u);
}

TEST(StretchBlt, NegativeWidthMirrors) {
  Canvas source(3, 1);
  source.Set(0, 0, 1);
  source.Set(1, 0, 2);
  source.Set(2, 0, 3);
  Canvas dest(3, 1);
  ASSERT_TRUE(StretchBlt(dest.dc(), 2, 0, -3, 1, source.dc(), 0, 0, 3, 1, SRCCOPY));
  EXPECT_EQ(dest.At(0, 0), 3u);
  EXPECT_EQ(dest.At(1, 0), 2u);
  EXPECT_EQ(dest.At(2, 0), 1u);
}

TEST(StretchBlt, ShrinkingInAndOrModesCombinesThePixelsItDrops) {
  MonoCanvas source({"0111", "1111"});
  for (const auto& [mode, expected] : {std::pair{BLACKONWHITE, std::string("01")}, std::pair{WHITEONBLACK, std::string("11")},
                                       std::pair{COLORONCOLOR, std::string("01")}}) {
    MonoCanvas dest({"00"});
    SetStretchBltMode(dest.dc(), mode);
    ASSERT_TRUE(StretchBlt(dest.dc(), 0, 0, 2, 1, source.dc(), 0, 0, 4, 2, SRCCOPY));
    EXPECT_EQ(dest.Rows().front(), expected) << mode;
  }
  MonoCanvas black_wins({"10"});
  MonoCanvas dest({"0"});
  SetStretchBltMode(dest.dc(), BLACKONWHITE);
  ASSERT_TRUE(StretchBlt(dest.dc(), 0, 0, 1, 1, black_wins.dc(), 0, 0, 2, 1, SRCCOPY));
  EXPECT_EQ(dest.Rows().front(), "0");
}

TEST(StretchDIBits, DrawsABottomUpImageCountingTheSourceFromItsLastRow) {
  // Two rows, bottom-up: memory row 0 is the bottom row (blue), row 1 the top row (red).
  DibInfo info(1, 2, 32);
  const std::uint32_t pixels[2] = {0x0000FF, 0xFF0000};
  Canvas dest(1, 2);
  SetStretchBltMode(dest.dc(), COLORONCOLOR);
  ASSERT_EQ(StretchDIBits(dest.dc(), 0, 0, 1, 2, 0, 0, 1, 2, pixels, info.info(), DIB_RGB_COLORS, SRCCOPY), 2);
  EXPECT_EQ(dest.At(0, 0), 0xFF0000u);
  EXPECT_EQ(dest.At(0, 1), 0x0000FFu);
  // source_y 0 with height 1 is the bottom row.
  dest.Fill(0);
  ASSERT_NE(StretchDIBits(dest.dc(), 0, 0, 1, 1, 0, 0, 1, 1, pixels, info.info(), DIB_RGB_COLORS, SRCCOPY), 0);
  EXPECT_EQ(dest.At(0, 0), 0x0000FFu);
  // An 8-bit image through its colour table, stretched.
  DibInfo indexed(2, -1, 8, {{0, 0, 0, 0}, {0, 255, 0, 0}});
  const BYTE index_pixels[4] = {1, 0, 0, 0};
  ASSERT_NE(StretchDIBits(dest.dc(), 0, 0, 1, 2, 0, 0, 2, 1, index_pixels, indexed.info(), DIB_RGB_COLORS, SRCCOPY), 0);
  EXPECT_EQ(dest.At(0, 0), 0x00FF00u);
  EXPECT_EQ(dest.At(0, 1), 0x00FF00u);
  DibInfo bad(1, 0, 32);
  EXPECT_EQ(StretchDIBits(dest.dc(), 0, 0, 1, 1, 0, 0, 1, 1, pixels, bad.info(), DIB_RGB_COLORS, SRCCOPY), 0);
}

TEST(BitBlt, ClipsToTheDestinationsClipRegion) {
  Canvas source(4, 4);
  Canvas dest(4, 4);
  source.Fill(0xFFFFFF);
  dest.Fill(0);
  IntersectClipRect(dest.dc(), 1, 1, 3, 3);
  ASSERT_TRUE(BitBlt(dest.dc(), 0, 0, 4, 4, source.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(dest.Picture(0xFFFFFF), (std::vector<std::string>{"....", ".##.", ".##.", "...."}));
}

TEST(BitBlt, ToAnIndexedBitmapPicksTheNearestEntry) {
  Canvas source(2, 1);
  source.Set(0, 0, 0xF01010);
  source.Set(1, 0, 0x1010F0);
  Canvas dest(2, 1, 8, -1, {{0, 0, 0, 0}, {0, 0, 255, 0}, {255, 0, 0, 0}});
  ASSERT_TRUE(BitBlt(dest.dc(), 0, 0, 2, 1, source.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(dest.bits()[0], 1);
  EXPECT_EQ(dest.bits()[1], 2);
}

}  // namespace
}  // namespace win

namespace win {
namespace {

class EveryDepth : public ::testing::TestWithParam<int> {};

// Tables of black, red, green, blue, white, then black to the depth's size.
std::vector<RGBQUAD> SmallTable(int bits) {
  std::vector<RGBQUAD> table = {{0, 0, 0, 0}, {0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}, {255, 255, 255, 0}};
  table.resize(bits == 1 ? 2 : std::size_t{1} << bits, RGBQUAD{});
  if (bits == 1) table[1] = RGBQUAD{255, 255, 255, 0};
  return table;
}

TEST_P(EveryDepth, DrawingOnePixelLeavesItsNeighboursAlone) {
  const int bits = GetParam();
  gdi_test::Canvas canvas(9, 1, bits, -1, bits <= 8 ? SmallTable(bits) : std::vector<RGBQUAD>{});
  const COLORREF ink = bits == 1 ? RGB(255, 255, 255) : RGB(0, 255, 0);
  gdi_test::ScopedBrush brush(canvas.dc(), ink);
  ASSERT_TRUE(PatBlt(canvas.dc(), 4, 0, 1, 1, PATCOPY));
  for (int x = 0; x < 9; ++x) EXPECT_EQ(GetPixel(canvas.dc(), x, 0), x == 4 ? ink : RGB(0, 0, 0)) << x;
  // Inverting twice restores every pixel.
  ASSERT_TRUE(PatBlt(canvas.dc(), 3, 0, 3, 1, DSTINVERT));
  ASSERT_TRUE(PatBlt(canvas.dc(), 3, 0, 3, 1, DSTINVERT));
  for (int x = 0; x < 9; ++x) EXPECT_EQ(GetPixel(canvas.dc(), x, 0), x == 4 ? ink : RGB(0, 0, 0)) << x;
}

TEST_P(EveryDepth, CopiesToAndFromThirtyTwoBitsKeepTheColours) {
  const int bits = GetParam();
  gdi_test::Canvas canvas(5, 1, bits, -1, bits <= 8 ? SmallTable(bits) : std::vector<RGBQUAD>{});
  gdi_test::Canvas colour(5, 1);
  const std::vector<std::uint32_t> colours =
      bits == 1 ? std::vector<std::uint32_t>{0, 0xFFFFFF, 0, 0xFFFFFF, 0}
                : std::vector<std::uint32_t>{0, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  for (int x = 0; x < 5; ++x) colour.Set(x, 0, colours[static_cast<std::size_t>(x)]);
  ASSERT_TRUE(BitBlt(canvas.dc(), 0, 0, 5, 1, colour.dc(), 0, 0, SRCCOPY));
  gdi_test::Canvas back(5, 1);
  ASSERT_TRUE(BitBlt(back.dc(), 0, 0, 5, 1, canvas.dc(), 0, 0, SRCCOPY));
  for (int x = 0; x < 5; ++x) EXPECT_EQ(back.At(x, 0), colours[static_cast<std::size_t>(x)]) << x;
}

INSTANTIATE_TEST_SUITE_P(DibSections, EveryDepth, ::testing::Values(1, 4, 8, 24, 32));

// A blit within one surface draws what the same blit from an untouched copy of it draws,
// whichever way the rows overlap.
struct SelfBlitCase {
  const char* name;
  int x, y, width, height, source_x, source_y, source_width, source_height;
  int height_sign;  // -1 top-down, +1 bottom-up
};

class SelfBlit : public ::testing::TestWithParam<SelfBlitCase> {};

TEST_P(SelfBlit, DrawsWhatABlitFromACopyDraws) {
  const SelfBlitCase& c = GetParam();
  Canvas canvas(12, 10, 32, c.height_sign);
  Canvas copy(12, 10, 32, c.height_sign);
  Canvas expected(12, 10, 32, c.height_sign);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 12; ++x) {
      const auto v = static_cast<std::uint32_t>(0x010000 * y + x + 1);
      canvas.Set(x, y, v);
      copy.Set(x, y, v);
      expected.Set(x, y, v);
    }
  SetStretchBltMode(canvas.dc(), COLORONCOLOR);
  SetStretchBltMode(expected.dc(), COLORONCOLOR);
  ASSERT_TRUE(StretchBlt(expected.dc(), c.x, c.y, c.width, c.height, copy.dc(), c.source_x, c.source_y,
                         c.source_width, c.source_height, SRCCOPY));
  ASSERT_TRUE(StretchBlt(canvas.dc(), c.x, c.y, c.width, c.height, canvas.dc(), c.source_x, c.source_y,
                         c.source_width, c.source_height, SRCCOPY));
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 12; ++x) ASSERT_EQ(canvas.RawAt(x, y), expected.RawAt(x, y)) << x << ", " << y;
}

INSTANTIATE_TEST_SUITE_P(
    Overlaps, SelfBlit,
    ::testing::Values(SelfBlitCase{"ScrollDown", 0, 2, 12, 8, 0, 0, 12, 8, -1},
                      SelfBlitCase{"ScrollUp", 0, 0, 12, 8, 0, 2, 12, 8, -1},
                      SelfBlitCase{"ScrollDownBottomUp", 1, 3, 10, 6, 0, 1, 10, 6, 1},
                      SelfBlitCase{"ScrollRightWithinTheRows", 3, 0, 9, 10, 0, 0, 9, 10, -1},
                      SelfBlitCase{"MirroredOverItself", 0, 0, 12, -10, 0, 0, 12, 10, -1},
                      SelfBlitCase{"StretchedDownOverTheSource", 0, 1, 12, 9, 0, 0, 6, 4, 1},
                      SelfBlitCase{"DisjointRows", 0, 6, 12, 4, 0, 0, 12, 4, -1},
                      SelfBlitCase{"SourcePartlyOutside", 2, 2, 10, 8, -3, -3, 10, 8, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace win
