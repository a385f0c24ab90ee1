// Raster operations: every code against its truth table, on colour and monochrome pixels.
#include <gtest/gtest.h>

#include <functional>

#include "gdi_test_support.h"

namespace win {
namespace {

using gdi_test::Canvas;
using gdi_test::ScopedBrush;

// The truth table itself: result bit for pattern p, source s, destination d.
std::uint32_t Expected(unsigned code, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
  std::uint32_t out = 0;
  for (int bit = 0; bit < 24; ++bit) {
    const unsigned index = (((p >> bit) & 1) << 2) | (((s >> bit) & 1) << 1) | ((d >> bit) & 1);
    out |= ((code >> index) & 1u) << bit;
  }
  return out;
}

TEST(RasterOperations, EveryCodeFollowsItsTruthTableThroughBitBlt) {
  // Pattern 0xF0, source 0xCC, destination 0xAA in every channel: the result is the code.
  Canvas source(1, 1);
  Canvas dest(1, 1);
  ScopedBrush brush(dest.dc(), RGB(0xF0, 0xF0, 0xF0));
  source.Set(0, 0, 0xCCCCCC);
  for (unsigned code = 0; code < 256; ++code) {
    dest.Set(0, 0, 0xAAAAAA);
    ASSERT_TRUE(BitBlt(dest.dc(), 0, 0, 1, 1, source.dc(), 0, 0, code << 16));
    EXPECT_EQ(dest.At(0, 0), code * 0x010101u) << "code " << code;
  }
}

struct NamedRop {
  const char* name;
  DWORD rop;
  std::function<std::uint32_t(std::uint32_t p, std::uint32_t s, std::uint32_t d)> formula;
};

class NamedRasterOperation : public ::testing::TestWithParam<NamedRop> {};

TEST_P(NamedRasterOperation, MatchesItsFormulaOnMixedPixels) {
  const NamedRop& op = GetParam();
  const std::uint32_t p = 0x3C5A0F;
  const std::uint32_t s = 0x12F0A5;
  const std::uint32_t d = 0xC3669F;
  Canvas source(2, 1);
  Canvas dest(2, 1);
  ScopedBrush brush(dest.dc(), RGB(0x3C, 0x5A, 0x0F));
  source.Set(1, 0, s);
  dest.Set(1, 0, d);
  ASSERT_TRUE(BitBlt(dest.dc(), 1, 0, 1, 1, source.dc(), 1, 0, op.rop));
  EXPECT_EQ(dest.At(1, 0), op.formula(p, s, d) & 0xFFFFFF);
  EXPECT_EQ(dest.At(1, 0), Expected(op.rop >> 16, p, s, d));
}

INSTANTIATE_TEST_SUITE_P(
    Families, NamedRasterOperation,
    ::testing::Values(
        NamedRop{"SRCCOPY", SRCCOPY, [](auto, auto s, auto) { return s; }},
        NamedRop{"SRCPAINT", SRCPAINT, [](auto, auto s, auto d) { return s | d; }},
        NamedRop{"SRCAND", SRCAND, [](auto, auto s, auto d) { return s & d; }},
        NamedRop{"SRCINVERT", SRCINVERT, [](auto, auto s, auto d) { return s ^ d; }},
        NamedRop{"SRCERASE", SRCERASE, [](auto, auto s, auto d) { return s & ~d; }},
        NamedRop{"NOTSRCCOPY", NOTSRCCOPY, [](auto, auto s, auto) { return ~s; }},
        NamedRop{"NOTSRCERASE", NOTSRCERASE, [](auto, auto s, auto d) { return ~(s | d); }},
        NamedRop{"MERGECOPY", MERGECOPY, [](auto p, auto s, auto) { return p & s; }},
        NamedRop{"MERGEPAINT", MERGEPAINT, [](auto, auto s, auto d) { return ~s | d; }},
        NamedRop{"PATCOPY", PATCOPY, [](auto p, auto, auto) { return p; }},
        NamedRop{"PATPAINT", PATPAINT, [](auto p, auto s, auto d) { return p | ~s | d; }},
        NamedRop{"PATINVERT", PATINVERT, [](auto p, auto, auto d) { return p ^ d; }},
        NamedRop{"DSTINVERT", DSTINVERT, [](auto, auto, auto d) { return ~d; }},
        NamedRop{"BLACKNESS", BLACKNESS, [](auto, auto, auto) { return 0u; }},
        NamedRop{"WHITENESS", WHITENESS, [](auto, auto, auto) { return 0xFFFFFFu; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RasterOperations, MonochromeBitmapsEvaluateEveryCodeBitwise) {
  // Destination bits 10101010, source bits 11001100; pattern black (0) then white (1).
  HDC dest = CreateCompatibleDC(nullptr);
  HDC source = CreateCompatibleDC(nullptr);
  const BYTE source_bits[2] = {0xCC, 0x00};
  HBITMAP source_bitmap = CreateBitmap(8, 1, 1, 1, source_bits);
  SelectObject(source, source_bitmap);
  for (unsigned code : {0x00u, 0x11u, 0x33u, 0x44u, 0x55u, 0x5Au, 0x66u, 0x88u, 0xB8u, 0xBBu, 0xC0u,
                        0xCCu, 0xE2u, 0xEEu, 0xF0u, 0xFBu, 0xFFu}) {
    for (std::uint32_t pattern : {0u, 1u}) {
      const BYTE dest_bits[2] = {0xAA, 0x00};
      HBITMAP dest_bitmap = CreateBitmap(8, 1, 1, 1, dest_bits);
      HGDIOBJ old_bitmap = SelectObject(dest, dest_bitmap);
      HGDIOBJ old_brush = SelectObject(dest, GetStockObject(pattern ? WHITE_BRUSH : BLACK_BRUSH));
      ASSERT_TRUE(BitBlt(dest, 0, 0, 8, 1, source, 0, 0, code << 16));
      for (int x = 0; x < 8; ++x) {
        const unsigned s = (0xCC >> (7 - x)) & 1;
        const unsigned d = (0xAA >> (7 - x)) & 1;
        const unsigned want = (code >> ((pattern << 2) | (s << 1) | d)) & 1;
        const COLORREF pixel = GetPixel(dest, x, 0);
        EXPECT_EQ(pixel, want ? RGB(255, 255, 255) : RGB(0, 0, 0)) << "code " << code << " x " << x;
      }
      SelectObject(dest, old_brush);
      SelectObject(dest, old_bitmap);
      DeleteObject(dest_bitmap);
    }
  }
  DeleteDC(dest);
  DeleteDC(source);
  DeleteObject(source_bitmap);
}

TEST(RasterOperations, PatBltRefusesCodesThatReadASource) {
  Canvas dest(2, 2);
  EXPECT_FALSE(PatBlt(dest.dc(), 0, 0, 2, 2, SRCCOPY));
  EXPECT_TRUE(PatBlt(dest.dc(), 0, 0, 2, 2, BLACKNESS));
  EXPECT_EQ(dest.At(1, 1), 0u);
  EXPECT_TRUE(PatBlt(dest.dc(), 0, 0, 2, 2, DSTINVERT));
  EXPECT_EQ(dest.At(1, 1), 0xFFFFFFu);
}

TEST(RasterOperations, PatBltUsesTheSelectedBrushAndHonoursAHollowOne) {
  Canvas dest(3, 1);
  dest.Fill(0x101010);
  {
    ScopedBrush brush(dest.dc(), RGB(1, 2, 3));
    EXPECT_TRUE(PatBlt(dest.dc(), 1, 0, 1, 1, PATCOPY));
  }
  EXPECT_EQ(dest.At(0, 0), 0x101010u);
  EXPECT_EQ(dest.At(1, 0), 0x010203u);
  SelectObject(dest.dc(), GetStockObject(NULL_BRUSH));
  EXPECT_TRUE(PatBlt(dest.dc(), 0, 0, 3, 1, PATCOPY));
  EXPECT_EQ(dest.At(0, 0), 0x101010u);
}

TEST(RasterOperations, ScrollingWithinOneBitmapCopiesTheOriginalPixels) {
  Canvas canvas(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) canvas.Set(x, y, static_cast<std::uint32_t>(y * 4 + x));
  ASSERT_TRUE(BitBlt(canvas.dc(), 1, 1, 3, 3, canvas.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(canvas.At(1, 1), 0u);
  EXPECT_EQ(canvas.At(3, 3), 10u);
  ASSERT_TRUE(BitBlt(canvas.dc(), 0, 0, 3, 3, canvas.dc(), 1, 1, SRCCOPY));
  EXPECT_EQ(canvas.At(0, 0), 0u);
  EXPECT_EQ(canvas.At(2, 2), 10u);
}

TEST(RasterOperations, SourceOutsideItsBitmapLeavesTheDestination) {
  Canvas source(2, 2);
  Canvas dest(4, 4);
  source.Fill(0x00FF00);
  dest.Fill(0x0000FF);
  ASSERT_TRUE(BitBlt(dest.dc(), 0, 0, 4, 4, source.dc(), -1, -1, SRCCOPY));
  EXPECT_EQ(dest.Picture(0x00FF00), (std::vector<std::string>{"....", ".##.", ".##.", "...."}));
}

}  // namespace
}  // namespace win
