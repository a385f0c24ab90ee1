// Glyph rasterising: coverage blending, clipping, strides and bottom-up surfaces.
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
  BlendCoverage(canvas.Surface(), std::span(&all, 1), 0, 0, 1, 1, &c.coverage, 1, c.source);
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
  BlendCoverage(canvas.Surface(), clips, -3, -3, 10, 10, coverage.data(), 10, kRed);
  for (int y = 0; y < canvas.height(); ++y) {
    for (int x = 0; x < canvas.width(); ++x) {
      const bool inside = x < 2 || (x >= 4 && y >= 1 && y < 3);
      EXPECT_EQ(canvas.At(x, y), inside ? kRed : kWhite) << x << "," << y;
    }
  }
  EXPECT_TRUE(canvas.PaddingIntact());
}

TEST(GlyphRasterTest, CoverageRowsFollowTheirStrideAndBottomUpSurfacesWork) {
  Canvas canvas(3, 2, kWhite);
  // A bottom-up view of the same pixels: the top row is the last in memory.
  BgraSurface flipped = canvas.Surface();
  flipped.pixels += flipped.stride;
  flipped.stride = -flipped.stride;
  const std::uint8_t coverage[] = {255, 0, 9, 9, 0, 255, 9, 9};
  const RECT all{0, 0, 3, 2};
  BlendCoverage(flipped, std::span(&all, 1), 0, 0, 2, 2, coverage, 4, kRed);
  EXPECT_EQ(canvas.Picture(kRed, kWhite), (std::vector<std::string>{".#.", "#.."}));
}

TEST(GlyphRasterTest, FarAwayAndEmptyDrawingsTouchNothing) {
  Canvas canvas(4, 4, kWhite);
  const std::vector<std::uint8_t> coverage(16, 255);
  const RECT all{0, 0, 4, 4};
  BlendCoverage(canvas.Surface(), std::span(&all, 1), INT32_MAX - 1, INT32_MAX - 1, 4, 4,
                coverage.data(), 4, kRed);
  BlendCoverage(canvas.Surface(), std::span(&all, 1), INT32_MIN, 0, 4, 4, coverage.data(), 4, kRed);
  BlendCoverage(canvas.Surface(), std::span(&all, 1), 0, 0, -4, 4, coverage.data(), 4, kRed);
  BlendCoverage(canvas.Surface(), std::span(&all, 1), 0, 0, 4, 4, coverage.data(), 3, kRed);
  FillSolid(canvas.Surface(), std::span(&all, 1), RECT{3, 3, 1, 1}, kRed);
  FillSolid(canvas.Surface(), {}, all, kRed);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(canvas.At(x, y), kWhite);
}

}  // namespace
}  // namespace win::text
