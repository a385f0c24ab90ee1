// Shapes, lines, focus rectangles, edges and alpha blending.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>

#include "gdi_test_support.h"
#include "platform/gdi/image_list.h"

namespace win {
namespace {

using gdi_test::Canvas;
using gdi_test::ScopedBrush;

// Pixels as letters: each known colour has one; anything else is '?'.
std::vector<std::string> Letters(const Canvas& canvas, int width, int height,
                                 const std::map<std::uint32_t, char>& legend) {
  std::vector<std::string> rows;
  for (int y = 0; y < height; ++y) {
    std::string row;
    for (int x = 0; x < width; ++x) {
      auto found = legend.find(canvas.At(x, y));
      row += found == legend.end() ? '?' : found->second;
    }
    rows.push_back(row);
  }
  return rows;
}

TEST(FillRect, FillsTheRectangleWithoutItsRightAndBottomEdges) {
  Canvas canvas(4, 3);
  HBRUSH brush = CreateSolidBrush(RGB(255, 255, 255));
  const RECT r{1, 0, 3, 2};
  EXPECT_EQ(FillRect(canvas.dc(), &r, brush), 1);
  EXPECT_EQ(canvas.Picture(0xFFFFFF), (std::vector<std::string>{".##.", ".##.", "...."}));
  DeleteObject(brush);
  // A brush handle of a system colour index plus one.
  const RECT all{0, 0, 4, 3};
  EXPECT_EQ(FillRect(canvas.dc(), &all, reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_BTNFACE + 1))), 1);
  EXPECT_EQ(canvas.At(0, 0), 0xC0C0C0u);
  EXPECT_EQ(FillRect(canvas.dc(), &all, reinterpret_cast<HBRUSH>(std::uintptr_t{0x7777})), 0);
}

TEST(FrameRect, DrawsAOnePixelBorder) {
  Canvas canvas(4, 4);
  HBRUSH brush = CreateSolidBrush(RGB(255, 255, 255));
  const RECT r{0, 0, 4, 4};
  EXPECT_EQ(FrameRect(canvas.dc(), &r, brush), 1);
  EXPECT_EQ(canvas.Picture(0xFFFFFF), (std::vector<std::string>{"####", "#..#", "#..#", "####"}));
  DeleteObject(brush);
}

TEST(Rectangle, OutlinesWithThePenAndFillsWithTheBrush) {
  Canvas canvas(5, 4);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HGDIOBJ old_pen = SelectObject(canvas.dc(), pen);
  ScopedBrush brush(canvas.dc(), RGB(0, 0, 255));
  EXPECT_TRUE(Rectangle(canvas.dc(), 0, 0, 4, 4));
  const std::map<std::uint32_t, char> legend{{0, '.'}, {0xFF0000, 'r'}, {0x0000FF, 'b'}};
  EXPECT_EQ(Letters(canvas, 5, 4, legend), (std::vector<std::string>{"rrrr.", "rbbr.", "rbbr.", "rrrr."}));
  // Without a pen the filled area loses its last column and row.
  SelectObject(canvas.dc(), GetStockObject(NULL_PEN));
  canvas.Fill(0);
  EXPECT_TRUE(Rectangle(canvas.dc(), 0, 0, 4, 4));
  EXPECT_EQ(Letters(canvas, 5, 4, legend), (std::vector<std::string>{"bbb..", "bbb..", "bbb..", "....."}));
  SelectObject(canvas.dc(), old_pen);
  DeleteObject(pen);
}

TEST(RoundRect, OutlinesTheRoundedShapeAndLeavesTheCornersAlone) {
  Canvas canvas(12, 10);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HGDIOBJ old_pen = SelectObject(canvas.dc(), pen);
  SelectObject(canvas.dc(), GetStockObject(NULL_BRUSH));
  EXPECT_TRUE(RoundRect(canvas.dc(), 0, 0, 12, 10, 8, 8));
  EXPECT_EQ(canvas.Picture(0xFF0000), (std::vector<std::string>{
                                          "..########..",
                                          ".#........#.",
                                          "#..........#",
                                          "#..........#",
                                          "#..........#",
                                          "#..........#",
                                          "#..........#",
                                          "#..........#",
                                          ".#........#.",
                                          "..########..",
                                      }));
  SelectObject(canvas.dc(), old_pen);
  DeleteObject(pen);
}

TEST(Lines, LineToDrawsUpToButNotIncludingTheEndPoint) {
  Canvas canvas(5, 5);
  SelectObject(canvas.dc(), GetStockObject(WHITE_PEN));
  POINT previous;
  EXPECT_TRUE(MoveToEx(canvas.dc(), 0, 0, &previous));
  EXPECT_TRUE(LineTo(canvas.dc(), 4, 4));
  EXPECT_TRUE(LineTo(canvas.dc(), 4, 0));
  POINT position;
  EXPECT_TRUE(GetCurrentPositionEx(canvas.dc(), &position));
  EXPECT_EQ(position.x, 4);
  EXPECT_EQ(position.y, 0);
  EXPECT_EQ(canvas.Picture(0xFFFFFF), (std::vector<std::string>{"#....", ".#..#", "..#.#", "...##", "....#"}));
}

TEST(Lines, MixModesApplyToThePen) {
  Canvas canvas(3, 1);
  canvas.Fill(0x00FF00);
  SelectObject(canvas.dc(), GetStockObject(WHITE_PEN));
  SetROP2(canvas.dc(), R2_XORPEN);
  MoveToEx(canvas.dc(), 0, 0, nullptr);
  LineTo(canvas.dc(), 2, 0);
  EXPECT_EQ(canvas.At(0, 0), 0xFF00FFu);
  EXPECT_EQ(canvas.At(2, 0), 0x00FF00u);
  SetROP2(canvas.dc(), R2_NOP);
  MoveToEx(canvas.dc(), 0, 0, nullptr);
  LineTo(canvas.dc(), 3, 0);
  EXPECT_EQ(canvas.At(2, 0), 0x00FF00u);
}

TEST(Lines, DottedPensSkipTheirGaps) {
  Canvas canvas(8, 1);
  HPEN pen = CreatePen(PS_DOT, 1, RGB(255, 255, 255));
  SelectObject(canvas.dc(), pen);
  MoveToEx(canvas.dc(), 0, 0, nullptr);
  LineTo(canvas.dc(), 8, 0);
  EXPECT_EQ(canvas.Picture(0xFFFFFF), (std::vector<std::string>{"###...##"}));
  SelectObject(canvas.dc(), GetStockObject(BLACK_PEN));
  DeleteObject(pen);
}

TEST(Pixels, OutsideTheClipAnswerInvalid) {
  Canvas canvas(2, 2);
  EXPECT_EQ(SetPixel(canvas.dc(), 1, 1, RGB(1, 2, 3)), RGB(1, 2, 3));
  EXPECT_EQ(GetPixel(canvas.dc(), 1, 1), RGB(1, 2, 3));
  EXPECT_EQ(GetPixel(canvas.dc(), 2, 0), CLR_INVALID);
  EXPECT_EQ(SetPixel(canvas.dc(), -1, 0, 0), CLR_INVALID);
  IntersectClipRect(canvas.dc(), 0, 0, 1, 1);
  EXPECT_EQ(GetPixel(canvas.dc(), 1, 1), CLR_INVALID);
}

TEST(DrawFocusRect, InvertsEveryOtherPixelOfTheFrameAndUndoesItself) {
  Canvas canvas(5, 4);
  const RECT r{0, 0, 5, 4};
  EXPECT_TRUE(DrawFocusRect(canvas.dc(), &r));
  EXPECT_EQ(canvas.Picture(0xFFFFFF), (std::vector<std::string>{"#.#.#", ".....", "#...#", ".#.#."}));
  EXPECT_TRUE(DrawFocusRect(canvas.dc(), &r));
  EXPECT_EQ(canvas.Picture(0), (std::vector<std::string>{"#####", "#####", "#####", "#####"}));
}

TEST(DrawFocusRect, PatternFollowsDevicePositions) {
  Canvas canvas(4, 3);
  SetWindowOrgEx(canvas.dc(), -1, 0, nullptr);  // logical 0 is device 1
  const RECT r{0, 0, 3, 3};
  EXPECT_TRUE(DrawFocusRect(canvas.dc(), &r));
  EXPECT_EQ(canvas.Picture(0xFFFFFF), (std::vector<std::string>{"..#.", ".#.#", "..#."}));
}

struct EdgeCase {
  UINT edge;
  UINT flags;
  std::vector<std::string> picture;
  RECT adjusted;
};

class DrawEdgePatterns : public ::testing::TestWithParam<EdgeCase> {};

// Classic colours: h highlight 255, l light 223, f face 192, s shadow 128, d dark shadow 0.
TEST_P(DrawEdgePatterns, DrawsTheLayersInTheirColours) {
  const EdgeCase& c = GetParam();
  Canvas canvas(6, 5);
  canvas.Fill(0x123456);
  RECT r{0, 0, 6, 5};
  EXPECT_TRUE(DrawEdge(canvas.dc(), &r, c.edge, c.flags));
  const std::map<std::uint32_t, char> legend{{0x123456, '.'}, {0xFFFFFF, 'h'}, {0xDFDFDF, 'l'},
                                             {0xC0C0C0, 'f'}, {0x808080, 's'}, {0x000000, 'd'}};
  EXPECT_EQ(Letters(canvas, 6, 5, legend), c.picture);
  EXPECT_EQ(r.left, c.adjusted.left);
  EXPECT_EQ(r.top, c.adjusted.top);
  EXPECT_EQ(r.right, c.adjusted.right);
  EXPECT_EQ(r.bottom, c.adjusted.bottom);
}

INSTANTIATE_TEST_SUITE_P(
    HeaderStyles, DrawEdgePatterns,
    ::testing::Values(
        EdgeCase{EDGE_RAISED, BF_RECT, {"llllld", "lhhhsd", "lh..sd", "lssssd", "dddddd"}, RECT{0, 0, 6, 5}},
        EdgeCase{EDGE_RAISED, BF_RECT | BF_SOFT | BF_ADJUST,
                 {"hhhhhd", "hlllsd", "hl..sd", "hssssd", "dddddd"}, RECT{2, 2, 4, 3}},
        EdgeCase{EDGE_RAISED, BF_RECT | BF_SOFT | BF_ADJUST | BF_FLAT,
                 {"ssssss", "sffffs", "sf..fs", "sffffs", "ssssss"}, RECT{2, 2, 4, 3}},
        EdgeCase{BDR_RAISEDINNER, BF_RECT | BF_SOFT | BF_ADJUST,
                 {"llllls", "l....s", "l....s", "l....s", "ssssss"}, RECT{1, 1, 5, 4}},
        EdgeCase{BDR_RAISEDINNER, BF_RECT | BF_ADJUST,
                 {"hhhhhs", "h....s", "h....s", "h....s", "ssssss"}, RECT{1, 1, 5, 4}},
        EdgeCase{BDR_SUNKENOUTER, BF_RECT | BF_ADJUST,
                 {"sssssh", "s....h", "s....h", "s....h", "hhhhhh"}, RECT{1, 1, 5, 4}},
        EdgeCase{EDGE_SUNKEN, BF_LEFT | BF_TOP | BF_MIDDLE,
                 {"ssssss", "sddddd", "sdffff", "sdffff", "sdffff"}, RECT{0, 0, 6, 5}}));

struct BlendCase {
  BYTE constant;
  BYTE format;
  std::uint32_t source;  // 0xAARRGGBB
  std::uint32_t dest;
};

class AlphaBlendFormula : public ::testing::TestWithParam<BlendCase> {};

std::uint32_t Round255(std::uint32_t v) { return (v + 127) / 255; }

TEST_P(AlphaBlendFormula, BlendsEveryChannel) {
  const BlendCase& c = GetParam();
  Canvas source(1, 1);
  Canvas dest(1, 1);
  source.Set(0, 0, c.source);
  dest.Set(0, 0, c.dest);
  BLENDFUNCTION blend{AC_SRC_OVER, 0, c.constant, c.format};
  ASSERT_TRUE(AlphaBlend(dest.dc(), 0, 0, 1, 1, source.dc(), 0, 0, 1, 1, blend));
  const std::uint32_t out = dest.RawAt(0, 0);
  const std::uint32_t src_alpha = Round255(((c.source >> 24) & 0xFF) * c.constant);
  for (int shift = 0; shift <= 24; shift += 8) {
    const std::uint32_t s = (c.source >> shift) & 0xFF;
    const std::uint32_t d = (c.dest >> shift) & 0xFF;
    const std::uint32_t want = c.format == AC_SRC_ALPHA
                                   ? std::min<std::uint32_t>(255, Round255(s * c.constant) + Round255(d * (255 - src_alpha)))
                                   : Round255(s * c.constant + d * (255 - c.constant));
    EXPECT_EQ((out >> shift) & 0xFF, want) << "channel at bit " << shift;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, AlphaBlendFormula,
                         ::testing::Values(BlendCase{128, 0, 0x00C86432, 0x00643296},
                                           BlendCase{255, 0, 0x00FFFFFF, 0x00000000},
                                           BlendCase{0, 0, 0x00FFFFFF, 0x00102030},
                                           BlendCase{255, AC_SRC_ALPHA, 0x80402000, 0xFF808080},
                                           BlendCase{128, AC_SRC_ALPHA, 0xFF806040, 0x00204060},
                                           BlendCase{255, AC_SRC_ALPHA, 0x00000000, 0x55AABBCC}));

TEST(AlphaBlend, ExactValuesForHalfConstantAlpha) {
  Canvas source(1, 1);
  Canvas dest(1, 1);
  source.Set(0, 0, 0x00C80000);  // red 200
  dest.Set(0, 0, 0x00640000);    // red 100
  ASSERT_TRUE(AlphaBlend(dest.dc(), 0, 0, 1, 1, source.dc(), 0, 0, 1, 1, BLENDFUNCTION{AC_SRC_OVER, 0, 128, 0}));
  EXPECT_EQ(dest.At(0, 0) >> 16, 150u);  // (200 x 128 + 100 x 127) / 255 = 150.2
}

TEST(AlphaBlend, RefusesASourceRectangleOutsideTheSourceAndBadFormats) {
  Canvas source(2, 2);
  Canvas dest(2, 2);
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, 0};
  EXPECT_FALSE(AlphaBlend(dest.dc(), 0, 0, 2, 2, source.dc(), 1, 0, 2, 2, blend));
  EXPECT_FALSE(AlphaBlend(dest.dc(), 0, 0, -2, 2, source.dc(), 0, 0, 2, 2, blend));
  EXPECT_FALSE(AlphaBlend(dest.dc(), 0, 0, 2, 2, source.dc(), 0, 0, 2, 2, BLENDFUNCTION{1, 0, 255, 0}));
  Canvas indexed(2, 2, 8, -1, {{0, 0, 0, 0}});
  EXPECT_FALSE(AlphaBlend(dest.dc(), 0, 0, 2, 2, indexed.dc(), 0, 0, 2, 2, BLENDFUNCTION{0, 0, 255, AC_SRC_ALPHA}));
}

TEST(AlphaBlend, StretchesTheSourceByNearestPixel) {
  Canvas source(2, 1);
  source.Set(0, 0, 0xFF0000);
  source.Set(1, 0, 0x0000FF);
  Canvas dest(4, 1);
  ASSERT_TRUE(AlphaBlend(dest.dc(), 0, 0, 4, 1, source.dc(), 0, 0, 2, 1, BLENDFUNCTION{0, 0, 255, 0}));
  EXPECT_EQ(dest.At(1, 0), 0xFF0000u);
  EXPECT_EQ(dest.At(2, 0), 0x0000FFu);
}

}  // namespace
}  // namespace win

namespace win {
namespace {

// Coordinates and sizes far outside the bitmap cost no more than the visible part.
TEST(HostileSizes, HugeShapesAndBlitsDrawOnlyTheVisiblePixels) {
  gdi_test::Canvas canvas(4, 4);
  gdi_test::Canvas source(4, 4);
  source.Fill(0xFFFFFF);
  EXPECT_TRUE(BitBlt(canvas.dc(), -(1 << 30), -(1 << 30), 1 << 30, 1 << 30, source.dc(), 0, 0, SRCCOPY));
  EXPECT_TRUE(StretchBlt(canvas.dc(), 0, 0, INT_MAX, INT_MAX, source.dc(), 0, 0, 4, 4, SRCCOPY));
  EXPECT_EQ(canvas.At(3, 3), 0xFFFFFFu);
  canvas.Fill(0);
  EXPECT_TRUE(PatBlt(canvas.dc(), INT_MAX, INT_MAX, INT_MAX, INT_MAX, WHITENESS));
  EXPECT_TRUE(PatBlt(canvas.dc(), INT_MIN, INT_MIN, INT_MIN, INT_MIN, WHITENESS));
  HPEN wide = CreatePen(PS_SOLID, 3, RGB(255, 0, 0));
  SelectObject(canvas.dc(), wide);
  EXPECT_TRUE(RoundRect(canvas.dc(), -100000000, -100000000, 100000000, 100000000, INT_MIN, INT_MAX));
  EXPECT_TRUE(Rectangle(canvas.dc(), INT_MIN, INT_MIN, INT_MAX, INT_MAX));
  MoveToEx(canvas.dc(), 0, -100000000, nullptr);
  EXPECT_TRUE(LineTo(canvas.dc(), 1, 100000000));
  EXPECT_EQ(canvas.At(0, 2), 0xFF0000u);
  HRGN huge = CreateRoundRectRgn(INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MAX, INT_MAX);
  EXPECT_NE(huge, nullptr);
  SelectObject(canvas.dc(), GetStockObject(BLACK_PEN));
  DeleteObject(wide);
  DeleteObject(huge);
}

}  // namespace
}  // namespace win

namespace win {
namespace {

TEST(TextSupport, BlendCoverageMixesTheColourByCoverageInsideTheClip) {
  gdi_test::Canvas canvas(4, 2);
  canvas.Fill(0x204060);
  SetViewportOrgEx(canvas.dc(), 1, 0, nullptr);
  IntersectClipRect(canvas.dc(), 0, 0, 2, 2);  // pixels 1 and 2 of each row
  const std::uint8_t coverage[8] = {0, 128, 255, 255, 255, 255, 255, 255};
  ASSERT_TRUE(gdi::BlendCoverage(canvas.dc(), 0, 0, 4, 2, coverage, 4, RGB(255, 255, 255)));
  EXPECT_EQ(canvas.At(0, 0), 0x204060u);  // outside the clip
  EXPECT_EQ(canvas.At(1, 0), 0x204060u);  // coverage 0
  // (255 x 128 + c x 127 + 127) / 255 per channel
  EXPECT_EQ(canvas.At(2, 0), (((255 * 128 + 0x20 * 127 + 127) / 255) << 16) |
                                 (((255 * 128 + 0x40 * 127 + 127) / 255) << 8) |
                                 ((255 * 128 + 0x60 * 127 + 127) / 255));
  EXPECT_EQ(canvas.At(3, 0), 0x204060u);  // outside the clip
  EXPECT_EQ(canvas.At(1, 1), 0xFFFFFFu);
  EXPECT_FALSE(gdi::BlendCoverage(canvas.dc(), 0, 0, 4, 2, coverage, 3, 0));  // stride too short
  EXPECT_FALSE(gdi::BlendCoverage(canvas.dc(), 0, 0, 0, 2, coverage, 4, 0));
}

// Seeded coverage blocks at random places and clips onto 32-bit canvases (top-down and
// bottom-up) and a 24-bit one: every pixel is the plain formula's mix, and 32-bit pixels keep
// their alpha byte.
TEST(TextSupport, BlendCoverageAtEveryDepthMatchesTheFormula) {
  std::mt19937 random(36);
  const auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  constexpr int kWidth = 17, kHeight = 11;
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<std::uint32_t> below(kWidth * kHeight);
    for (std::uint32_t& pixel : below) pixel = static_cast<std::uint32_t>(pick(0, 0xFFFFFF)) | pick(0, 255) << 24;
    const int w = pick(1, 12), h = pick(1, 8), x = pick(-w, kWidth), y = pick(-h, kHeight);
    std::vector<std::uint8_t> coverage(static_cast<std::size_t>(w) * h);
    for (std::uint8_t& c : coverage) c = static_cast<std::uint8_t>(pick(0, 3) == 0 ? 0 : pick(0, 3) == 0 ? 255 : pick(0, 255));
    const int left = pick(-2, kWidth), top = pick(-2, kHeight);
    const RECT clip{left, top, pick(left, kWidth + 2), pick(top, kHeight + 2)};
    const std::uint32_t ink = static_cast<std::uint32_t>(pick(0, 0xFFFFFF));
    const COLORREF colour = RGB(ink >> 16, (ink >> 8) & 0xFF, ink & 0xFF);
    const auto expected = [&](int px, int py) {
      const std::uint32_t under = below[static_cast<std::size_t>(py) * kWidth + px] & 0xFFFFFF;
      const bool inside = px >= x && px < x + w && py >= y && py < y + h && px >= clip.left && px < clip.right &&
                          py >= clip.top && py < clip.bottom;
      if (!inside) return under;
      const unsigned c = coverage[static_cast<std::size_t>(py - y) * w + (px - x)];
      std::uint32_t mixed = 0;
      for (int shift = 0; shift <= 16; shift += 8)
        mixed |= ((((ink >> shift) & 0xFF) * c + ((under >> shift) & 0xFF) * (255 - c) + 127) / 255) << shift;
      return mixed;
    };
    for (const int bits : {32, 32, 24}) {
      const bool bottom_up = bits == 32 && pick(0, 1) == 1;
      Canvas canvas(kWidth, kHeight, bits, bottom_up ? 1 : -1);
      const std::size_t stride = bits == 32 ? kWidth * 4 : (kWidth * 3 + 3) & ~3;
      const auto pixel = [&](int px, int py) {  // rows counted from the top
        return canvas.bits() + stride * static_cast<std::size_t>(bottom_up ? kHeight - 1 - py : py) + px * (bits / 8);
      };
      for (int py = 0; py < kHeight; ++py)
        for (int px = 0; px < kWidth; ++px) std::memcpy(pixel(px, py), &below[static_cast<std::size_t>(py) * kWidth + px], bits / 8);
      IntersectClipRect(canvas.dc(), clip.left, clip.top, clip.right, clip.bottom);
      ASSERT_TRUE(gdi::BlendCoverage(canvas.dc(), x, y, w, h, coverage.data(), w, colour));
      for (int py = 0; py < kHeight; ++py)
        for (int px = 0; px < kWidth; ++px) {
          std::uint32_t shown = 0;
          std::memcpy(&shown, pixel(px, py), bits / 8);
          const std::uint32_t alpha = bits == 32 ? below[static_cast<std::size_t>(py) * kWidth + px] & 0xFF000000u : 0;
          ASSERT_EQ(shown, expected(px, py) | alpha) << "trial " << trial << ", " << bits << " bits, at " << px << "," << py;
        }
    }
  }
}

TEST(TextSupport, FillSolidRectAndTextStateFollowTheContext) {
  gdi_test::Canvas canvas(3, 1);
  SetTextColor(canvas.dc(), RGB(1, 2, 3));
  SetBkMode(canvas.dc(), TRANSPARENT);
  SetTextAlign(canvas.dc(), TA_UPDATECP);
  MoveToEx(canvas.dc(), 5, 6, nullptr);
  gdi::TextState state;
  ASSERT_TRUE(gdi::GetTextState(canvas.dc(), &state));
  EXPECT_EQ(state.text_colour, RGB(1, 2, 3));
  EXPECT_EQ(state.bk_mode, TRANSPARENT);
  EXPECT_EQ(state.text_align, TA_UPDATECP);
  EXPECT_EQ(state.position.x, 5);
  EXPECT_EQ(state.font, GetCurrentObject(canvas.dc(), OBJ_FONT));
  ASSERT_TRUE(gdi::SetCurrentPosition(canvas.dc(), POINT{7, 8}));
  POINT position;
  GetCurrentPositionEx(canvas.dc(), &position);
  EXPECT_EQ(position.x, 7);
  ASSERT_TRUE(gdi::FillSolidRect(canvas.dc(), RECT{1, 0, 2, 1}, RGB(0, 0, 255)));
  EXPECT_EQ(canvas.Picture(0x0000FF), (std::vector<std::string>{".#."}));
}

}  // namespace
}  // namespace win

namespace win {
namespace {

TEST(HostileSizes, ExtremeCoordinatesInEdgesImagesAndGlyphsAreHarmless) {
  gdi_test::Canvas canvas(4, 4);
  RECT r{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
  EXPECT_TRUE(DrawEdge(canvas.dc(), &r, EDGE_RAISED, BF_RECT | BF_ADJUST | BF_MIDDLE));
  EXPECT_TRUE(DrawFocusRect(canvas.dc(), &r));
  EXPECT_EQ(FrameRect(canvas.dc(), &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), 1);
  const std::uint8_t coverage[4] = {255, 255, 255, 255};
  EXPECT_TRUE(gdi::BlendCoverage(canvas.dc(), INT_MAX, INT_MAX, 2, 2, coverage, 2, 0));
  EXPECT_TRUE(gdi::BlendCoverage(canvas.dc(), INT_MIN, INT_MIN, 2, 2, coverage, 2, 0));
  HIMAGELIST list = ImageList_Create(2, 2, ILC_COLOR24, 1, 1);
  gdi_test::Canvas image(2, 2);
  ASSERT_EQ(ImageList_Add(list, image.bitmap(), nullptr), 0);
  EXPECT_TRUE(ImageList_DrawEx(list, 0, canvas.dc(), INT_MAX, INT_MAX, 0, 0, CLR_NONE, CLR_NONE, ILD_NORMAL));
  EXPECT_TRUE(ImageList_DrawEx(list, 0, canvas.dc(), INT_MIN, INT_MIN, 0, 0, CLR_NONE, CLR_NONE, ILD_NORMAL));
  ImageList_Destroy(list);
}

}  // namespace
}  // namespace win
