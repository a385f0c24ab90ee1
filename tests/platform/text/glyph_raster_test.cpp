#include "platform/text/glyph_raster.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "text_test_support.h"

namespace win::text {
namespace {

using testing::Canvas;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);

struct BlendCase {
  COLORREF destination;
  COLORREF source;
  std::uint8_t coverage;
  COLORREF expected;
};

class BlendCoverageTest : public ::testing::TestWithParam<BlendCase> {};

TEST_P(BlendCoverageTest, MixesByCoverageRoundedToNearest) {
  const BlendCase& c = GetParam();
  Canvas canvas(1, 1, c.destination);
  const RECT all{0, 0, 1, 1};
  BlendCoverage(canvas.Surface(), std::span(&all, 1), 0, 0, 1, 1, &c.coverage, c.source);
  EXPECT_EQ(canvas.At(0, 0), c.expected);
  EXPECT_EQ(canvas.AlphaAt(0, 0), 0x5A);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BlendCoverageTest,
    ::testing::Values(BlendCase{RGB(0, 0, 0), RGB(255, 255, 255), 0, RGB(0, 0, 0)},
                      BlendCase{RGB(0, 0, 0), RGB(255, 255, 255), 255, RGB(255, 255, 255)},
                      // (0 * 127 + 255 * 128 + 127) / 255 = 128; (255 * 127 + 0 + 127) / 255 = 127
                      BlendCase{RGB(0, 0, 0), RGB(255, 255, 255), 128, RGB(128, 128, 128)},
                      BlendCase{RGB(255, 255, 255), RGB(0, 0, 0), 128, RGB(127, 127, 127)},
                      // (200 * 191 + 100 * 64 + 127) / 255 = 175, (10 * 191 + 250 * 64 + 127) / 255 = 70
                      BlendCase{RGB(200, 10, 0), RGB(100, 250, 0), 64, RGB(175, 70, 0)},
                      BlendCase{RGB(1, 2, 3), RGB(40, 50, 60), 255, RGB(40, 50, 60)}));

TEST(GlyphRasterTest, BlendingStaysInsideTheClipRectanglesAndTheSurface) {
  Canvas canvas(6, 4, kWhite);
  const std::vector<std::uint8_t> coverage(10 * 10, 255);
  const std::array<RECT, 2> clips{RECT{0, 0, 2, 4}, RECT{4, 1, 9, 3}};
  BlendCoverage(canvas.Surface(), clips, -3, -3, 10, 10, coverage.data(), kRed);
  for (int y = 0; y < canvas.height(); ++y) {
    for (int x = 0; x < canvas.width(); ++x) {
      const bool inside = x < 2 || (x >= 4 && y >= 1 && y < 3);
      EXPECT_EQ(canvas.At(x, y), inside ? kRed : kWhite) << x << "," << y;
    }
  }
  EXPECT_TRUE(canvas.PaddingIntact());
}

TEST(GlyphRasterTest, FarAwayAndEmptyDrawingsTouchNothing) {
  Canvas canvas(4, 4, kWhite);
  const std::vector<std::uint8_t> coverage(16, 255);
  const RECT all{0, 0, 4, 4};
  BlendCoverage(canvas.Surface(), std::span(&all, 1), INT32_MAX - 1, INT32_MAX - 1, 4, 4,
                coverage.data(), kRed);
  BlendCoverage(canvas.Surface(), std::span(&all, 1), INT32_MIN, 0, 4, 4, coverage.data(), kRed);
  BlendCoverage(canvas.Surface(), std::span(&all, 1), 0, 0, -4, 4, coverage.data(), kRed);
  FillSolid(canvas.Surface(), std::span(&all, 1), RECT{3, 3, 1, 1}, kRed);
  FillSolid(canvas.Surface(), {}, all, kRed);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(canvas.At(x, y), kWhite);
}

TEST(GlyphRasterTest, FixedFontRunDrawsOneBoxPerVisibleCharacter) {
  Canvas canvas(30, 12, kWhite);
  const auto font = testing::FixedFont(10);  // ascent 8, advance 5, box 4 x 10
  const RECT all{0, 0, 30, 12};
  const std::u32string text = U"a b";
  const std::vector<int> advances{5, 5, 5};
  DrawGlyphRun(canvas.Surface(), std::span(&all, 1), *font, 2, 1 + 8, text, advances, kRed);
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 30; ++x) {
      const bool in_row = y >= 1 && y < 11;
      const bool in_box = (x >= 2 && x < 6) || (x >= 12 && x < 16);
      EXPECT_EQ(canvas.At(x, y), in_row && in_box ? kRed : kWhite) << x << "," << y;
    }
  }
}

TEST(GlyphRasterTest, UnderlineSitsBelowTheBaseline) {
  Canvas canvas(10, 12, kWhite);
  const auto font = testing::FixedFont(8);  // ascent 6, descent 2, underline 1 row below
  const RECT all{0, 0, 10, 12};
  DrawUnderline(canvas.Surface(), std::span(&all, 1), *font, 1, 6, 5, kRed);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 10; ++x)
      EXPECT_EQ(canvas.At(x, y), y == 7 && x >= 1 && x < 6 ? kRed : kWhite) << x << "," << y;
}

TEST(GlyphRasterTest, DejaVuTextShowsGlyphPixelsOfTheChosenColour) {
  Canvas canvas(80, 24, kWhite);
  const auto font = testing::DejaVu(-16);
  const std::u32string text = U"Hello";
  std::vector<int> advances;
  for (char32_t c : text) advances.push_back(font->Advance(c));
  const RECT all{0, 0, 80, 24};
  const int baseline = 2 + font->GetMetrics().ascent;
  DrawGlyphRun(canvas.Surface(), std::span(&all, 1), *font, 3, baseline, text, advances, kRed);

  int full = 0, partial = 0;
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 80; ++x) {
      const COLORREF pixel = canvas.At(x, y);
      if (pixel == kWhite) continue;
      // Every touched pixel lies between white and red: red stays full, green equals blue.
      EXPECT_EQ(GetRValue(pixel), 255) << x << "," << y;
      EXPECT_EQ(GetGValue(pixel), GetBValue(pixel)) << x << "," << y;
      EXPECT_GE(y, 2);
      EXPECT_LT(y, 2 + font->GetMetrics().height);
      EXPECT_GE(x, 3);
      (pixel == kRed ? full : partial)++;
    }
  }
  EXPECT_GT(full, 20);  // the stems of H, l and l are about 12 pixels high
  EXPECT_GT(partial, 0);
}

}  // namespace
}  // namespace win::text
