// Bitmaps: DIB section layouts and row orders, monochrome bitmaps, size checks and the copies
// between bitmaps and DIB buffers.
#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <tuple>
#include <vector>

#include "gdi_test_support.h"
#include "platform/gdi/dib_rows.h"

namespace win {
namespace {

using gdi_test::Canvas;
using gdi_test::DibInfo;

struct Layout {
  int bits;
  int width;
  int stride;
};

class DibSectionLayout : public ::testing::TestWithParam<Layout> {};

TEST_P(DibSectionLayout, RowsAreAlignedToFourBytes) {
  const Layout& l = GetParam();
  DibInfo info(l.width, 3, l.bits);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, info.info(), DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(bitmap, nullptr);
  DIBSECTION ds;
  ASSERT_EQ(GetObject(bitmap, sizeof(ds), &ds), static_cast<int>(sizeof(DIBSECTION)));
  EXPECT_EQ(ds.dsBm.bmWidthBytes, l.stride);
  EXPECT_EQ(ds.dsBm.bmBitsPixel, l.bits);
  EXPECT_EQ(ds.dsBm.bmBits, bits);
  EXPECT_EQ(ds.dsBmih.biSizeImage, static_cast<DWORD>(l.stride * 3));
  BITMAP bm;
  EXPECT_EQ(GetObject(bitmap, sizeof(bm), &bm), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(GetObjectType(bitmap), OBJ_BITMAP);
  DeleteObject(bitmap);
}

INSTANTIATE_TEST_SUITE_P(Depths, DibSectionLayout,
                         ::testing::Values(Layout{1, 1, 4}, Layout{1, 33, 8}, Layout{4, 9, 8},
                                           Layout{8, 5, 8}, Layout{24, 3, 12}, Layout{24, 5, 16},
                                           Layout{32, 3, 12}));

TEST(DibSection, PositiveHeightStoresTheBottomRowFirst) {
  for (int sign : {+1, -1}) {
    Canvas canvas(2, 3, 24, sign);
    ASSERT_NE(SetPixel(canvas.dc(), 0, 0, RGB(0x11, 0x22, 0x33)), CLR_INVALID);
    const std::uint8_t* first_row = canvas.bits();
    const std::uint8_t* last_row = canvas.bits() + 2 * 8;
    const std::uint8_t* top = sign > 0 ? last_row : first_row;
    EXPECT_EQ(top[0], 0x33) << sign;  // blue, green, red
    EXPECT_EQ(top[1], 0x22) << sign;
    EXPECT_EQ(top[2], 0x11) << sign;
  }
}

TEST(DibSection, IndexedPixelsShowTheirColourTable) {
  const std::vector<RGBQUAD> table = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}};
  Canvas canvas(4, 1, 4, -1, table);
  canvas.bits()[0] = 0x12;  // pixels 1 and 2, high nibble first
  canvas.bits()[1] = 0x30;
  EXPECT_EQ(GetPixel(canvas.dc(), 0, 0), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(canvas.dc(), 1, 0), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(canvas.dc(), 2, 0), RGB(255, 0, 0));
  // Drawing picks the nearest entry.
  SetPixel(canvas.dc(), 3, 0, RGB(250, 10, 10));
  EXPECT_EQ(canvas.bits()[1] & 0x0F, 3);
  RGBQUAD read[8];
  EXPECT_EQ(GetDIBColorTable(canvas.dc(), 1, 3, read), 3u);
  EXPECT_EQ(read[0].rgbBlue, 255);
  // The table has the depth's 16 entries, unused ones black.
  EXPECT_EQ(GetDIBColorTable(canvas.dc(), 14, 8, read), 2u);
  EXPECT_EQ(read[0].rgbRed, 0);
}

TEST(DibSection, RefusesSizesThatAreZeroNegativeOrEnormous) {
  struct Case {
    LONG width;
    LONG height;
    WORD bits;
    WORD planes;
  };
  for (const Case& c : {Case{0, 1, 32, 1}, Case{-4, 4, 32, 1}, Case{4, 0, 32, 1}, Case{4, INT_MIN, 32, 1},
                        Case{100000, 100000, 32, 1}, Case{INT_MAX, 1, 32, 1}, Case{4, 4, 16, 1},
                        Case{4, 4, 32, 2}, Case{4, 4, 7, 1}}) {
    DibInfo info(c.width, c.height, c.bits);
    info.header.biPlanes = c.planes;
    void* bits = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateDIBSection(nullptr, info.info(), DIB_RGB_COLORS, &bits, nullptr, 0), nullptr)
        << c.width << "x" << c.height << "x" << c.bits;
    EXPECT_EQ(bits, nullptr);
  }
  EXPECT_EQ(CreateBitmap(0, 5, 1, 1, nullptr), nullptr);
  EXPECT_EQ(CreateBitmap(5, -5, 1, 1, nullptr), nullptr);
  EXPECT_EQ(CreateBitmap(70000, 70000, 1, 32, nullptr), nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(dc, 0, 0), nullptr);
  // Sides may reach 65535 now, so 40000 x 40000 at 1 bit (200 MB) is allowed; past the side is not.
  EXPECT_EQ(CreateCompatibleBitmap(dc, 70000, 70000), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(dc, 40000, 60000), nullptr);  // 300 MB: past the memory cap
  DeleteDC(dc);
}

// Bitmaps take sides up to 65535 pixels as long as their pixel memory stays under the cap;
// every blit reaches their far pixels, clipped to what exists.
TEST(DibSection, SidesUpTo65535PixelsWithinThePixelCap) {
  const int side = gdi::kMaxBitmapSide;
  EXPECT_EQ(side, 65535);
  for (const auto& [width, height, bits] : {std::tuple{side, 1, 24}, {1, side, 24}, {side, 1024, 24}, {side, 1, 32}}) {
    DibInfo info(width, height, bits);
    void* pixels = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, info.info(), DIB_RGB_COLORS, &pixels, nullptr, 0);
    EXPECT_NE(section, nullptr) << width << "x" << height << "x" << bits;
    EXPECT_NE(pixels, nullptr);
    DeleteObject(section);
  }
  for (const auto& [width, height, bits] : {std::tuple{side + 1, 1, 24}, {1, side + 1, 24}, {side, side, 32}}) {
    DibInfo info(width, height, bits);
    void* pixels = nullptr;
    EXPECT_EQ(CreateDIBSection(nullptr, info.info(), DIB_RGB_COLORS, &pixels, nullptr, 0), nullptr)
        << width << "x" << height << "x" << bits;
  }
  HBITMAP bitmap = CreateBitmap(side, 2, 1, 1, nullptr);
  EXPECT_NE(bitmap, nullptr);
  DeleteObject(bitmap);
  EXPECT_EQ(CreateBitmap(side + 1, 2, 1, 1, nullptr), nullptr);
}

TEST(DibSection, BlitsReachTheFarPixelsOfA65535PixelSide) {
  const int side = gdi::kMaxBitmapSide;
  Canvas wide(side, 1);
  Canvas tall(1, side);
  wide.Set(side - 1, 0, 0x112233);
  tall.Set(0, side - 1, 0x445566);
  Canvas target(4, 4);
  EXPECT_TRUE(BitBlt(target.dc(), 0, 0, 4, 1, wide.dc(), side - 2, 0, SRCCOPY));
  EXPECT_EQ(target.At(1, 0), 0x112233u);
  EXPECT_EQ(target.At(2, 0), 0u);  // past the source's last column
  EXPECT_TRUE(BitBlt(target.dc(), 3, 0, 1, 4, tall.dc(), 0, side - 3, SRCCOPY));
  EXPECT_EQ(target.At(3, 2), 0x445566u);
  // The whole side shrunk to four pixels: the last one comes from the last quarter.
  target.Fill(0);
  SetStretchBltMode(target.dc(), COLORONCOLOR);
  EXPECT_TRUE(StretchBlt(target.dc(), 0, 1, 4, 1, wide.dc(), 0, 0, side, 1, SRCCOPY));
  const DibInfo info(side, 1, 32);
  EXPECT_EQ(StretchDIBits(target.dc(), 0, 2, 4, 1, side - 4, 0, 4, 1, wide.bits(), info.info(), DIB_RGB_COLORS,
                          SRCCOPY),
            1);
  EXPECT_EQ(target.At(3, 2), 0x112233u);
  // Drawing into the far end is clipped to the bitmap.
  target.Fill(0x00FF00);
  EXPECT_TRUE(BitBlt(wide.dc(), side - 2, 0, 4, 4, target.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(wide.At(side - 1, 0), 0x00FF00u);
  EXPECT_EQ(wide.At(side - 3, 0), 0u);
  BLENDFUNCTION half{AC_SRC_OVER, 0, 128, 0};
  EXPECT_TRUE(AlphaBlend(target.dc(), 0, 0, 4, 4, wide.dc(), 0, 0, side, 1, half));
  EXPECT_TRUE(AlphaBlend(wide.dc(), 0, 0, side, 1, target.dc(), 0, 0, 1, 1, half));
  EXPECT_NE(wide.At(0, 0), 0u);
  std::vector<std::uint32_t> column(side);
  DibInfo read(1, -side, 32);
  EXPECT_EQ(GetDIBits(tall.dc(), tall.bitmap(), 0, side, column.data(), read.info(), DIB_RGB_COLORS), side);
  EXPECT_EQ(column.back() & 0xFFFFFF, 0x445566u);
}

TEST(MonochromeBitmap, RowsAreTwoByteAlignedMostSignificantBitFirst) {
  // 9 pixels wide: two bytes a row. Row 0: pixel 0 and pixel 8 set; row 1: pixel 1 set.
  const BYTE bits[4] = {0x80, 0x80, 0x40, 0x00};
  HBITMAP bitmap = CreateBitmap(9, 2, 1, 1, bits);
  ASSERT_NE(bitmap, nullptr);
  BITMAP bm;
  ASSERT_EQ(GetObject(bitmap, sizeof(bm), &bm), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(bm.bmWidthBytes, 2);
  EXPECT_EQ(bm.bmBitsPixel, 1);
  EXPECT_EQ(bm.bmBits, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, bitmap);
  std::string row0, row1;
  for (int x = 0; x < 9; ++x) {
    row0 += GetPixel(dc, x, 0) == RGB(255, 255, 255) ? '1' : '0';
    row1 += GetPixel(dc, x, 1) == RGB(255, 255, 255) ? '1' : '0';
  }
  EXPECT_EQ(row0, "100000001");
  EXPECT_EQ(row1, "010000000");
  DeleteDC(dc);
  DeleteObject(bitmap);
}

TEST(CompatibleBitmap, FollowsTheContextsSelectedBitmap) {
  HDC screen_compatible = CreateCompatibleDC(nullptr);
  // A fresh memory context holds a 1x1 monochrome bitmap, so its compatible bitmaps are mono.
  HBITMAP mono = CreateCompatibleBitmap(screen_compatible, 4, 4);
  BITMAP bm;
  GetObject(mono, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmBitsPixel, 1);
  {
    Canvas dib(2, 2, 8, -1, {{0, 0, 0, 0}, {255, 255, 255, 0}});
    HBITMAP like_dib = CreateCompatibleBitmap(dib.dc(), 3, 3);
    DIBSECTION ds;
    EXPECT_EQ(GetObject(like_dib, sizeof(ds), &ds), static_cast<int>(sizeof(DIBSECTION)));
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 8);
    DeleteObject(like_dib);
  }
  HDC screen = gdi_test::ScreenDC();
  HBITMAP colour = CreateCompatibleBitmap(screen, 4, 4);
  GetObject(colour, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmBitsPixel, 32);
  DeleteObject(colour);
  DeleteDC(screen);
  DeleteObject(mono);
  DeleteDC(screen_compatible);
}

struct RoundTrip {
  int bits;
  int height_sign;
};

class DibCopies : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(DibCopies, SetThenGetReturnsTheSamePixels) {
  const RoundTrip& r = GetParam();
  const int width = 5;
  const int height = 3;
  std::vector<RGBQUAD> table;
  if (r.bits <= 8)
    for (int i = 0; i < (1 << r.bits); ++i)
      table.push_back(RGBQUAD{static_cast<BYTE>(i * 7), static_cast<BYTE>(255 - i), static_cast<BYTE>(i), 0});
  DibInfo info(width, height * r.height_sign, r.bits, table);
  const int stride = ((width * r.bits + 31) / 32) * 4;
  std::vector<BYTE> pixels(static_cast<std::size_t>(stride * height));
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<BYTE>(i * 37 + 11);
  // Mask the bits past each row's last pixel, which no copy keeps.
  const int used_bits = width * r.bits;
  for (int y = 0; y < height; ++y)
    for (int bit = used_bits; bit < stride * 8; ++bit)
      pixels[static_cast<std::size_t>(y * stride + bit / 8)] &= static_cast<BYTE>(~(0x80 >> (bit % 8)));
  if (r.bits == 32)
    for (std::size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 0;

  Canvas target(width, height, r.bits, r.height_sign, table);
  ASSERT_EQ(SetDIBits(target.dc(), target.bitmap(), 0, height, pixels.data(), info.info(), DIB_RGB_COLORS), height);
  DibInfo out(width, height * r.height_sign, r.bits);
  std::vector<BYTE> read(pixels.size(), 0xEE);
  // GetDIBits needs the bitmap out of any context on some systems; ours reads it in place.
  ASSERT_EQ(GetDIBits(target.dc(), target.bitmap(), 0, height, read.data(), out.info(), DIB_RGB_COLORS), height);
  for (int y = 0; y < height; ++y)
    for (int i = 0; i < (used_bits + 7) / 8; ++i)
      EXPECT_EQ(read[static_cast<std::size_t>(y * stride + i)], pixels[static_cast<std::size_t>(y * stride + i)])
          << "row " << y << " byte " << i;
}

INSTANTIATE_TEST_SUITE_P(Formats, DibCopies,
                         ::testing::Values(RoundTrip{1, 1}, RoundTrip{1, -1}, RoundTrip{4, 1}, RoundTrip{4, -1},
                                           RoundTrip{8, 1}, RoundTrip{8, -1}, RoundTrip{24, 1},
                                           RoundTrip{24, -1}, RoundTrip{32, 1}, RoundTrip{32, -1}));

TEST(DibCopies, GetDIBitsConvertsToTheAskedDepthAndFillsTheTable) {
  Canvas canvas(2, 1);
  canvas.Set(0, 0, 0xFF0000);
  canvas.Set(1, 0, 0x00FF00);
  DibInfo info(2, 1, 8);
  BYTE pixels[4] = {};
  ASSERT_EQ(GetDIBits(canvas.dc(), canvas.bitmap(), 0, 1, pixels, info.info(), DIB_RGB_COLORS), 1);
  EXPECT_EQ(info.colours[pixels[0]].rgbRed, 255);
  EXPECT_EQ(info.colours[pixels[0]].rgbGreen, 0);
  EXPECT_EQ(info.colours[pixels[1]].rgbGreen, 255);
  EXPECT_EQ(info.colours[pixels[1]].rgbRed, 0);
  // With no bit count, only the description is filled in.
  DibInfo query(0, 0, 0);
  EXPECT_EQ(GetDIBits(canvas.dc(), canvas.bitmap(), 0, 0, nullptr, query.info(), DIB_RGB_COLORS), 1);
  EXPECT_EQ(query.header.biWidth, 2);
  EXPECT_EQ(query.header.biHeight, -1);
  EXPECT_EQ(query.header.biBitCount, 32);
  EXPECT_EQ(query.header.biSizeImage, 8u);
}

TEST(DibCopies, BottomUpLinesCountFromTheBitmapsBottom) {
  Canvas canvas(1, 3);
  canvas.Set(0, 0, 0x000001);
  canvas.Set(0, 1, 0x000002);
  canvas.Set(0, 2, 0x000003);
  DibInfo info(1, 3, 32);
  std::uint32_t line = 0;
  ASSERT_EQ(GetDIBits(canvas.dc(), canvas.bitmap(), 0, 1, &line, info.info(), DIB_RGB_COLORS), 1);
  EXPECT_EQ(line & 0xFFFFFF, 3u);
  ASSERT_EQ(GetDIBits(canvas.dc(), canvas.bitmap(), 2, 5, &line, info.info(), DIB_RGB_COLORS), 1);
  EXPECT_EQ(line & 0xFFFFFF, 1u);
  EXPECT_EQ(GetDIBits(canvas.dc(), canvas.bitmap(), 3, 1, &line, info.info(), DIB_RGB_COLORS), 0);
}

TEST(DibCopies, CreateDIBitmapInitialisesAColourBitmap) {
  HDC screen = gdi_test::ScreenDC();
  DibInfo info(2, 1, 24);
  const BYTE pixels[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0, 0};
  HBITMAP bitmap = CreateDIBitmap(screen, &info.header, CBM_INIT, pixels, info.info(), DIB_RGB_COLORS);
  ASSERT_NE(bitmap, nullptr);
  HDC dc = CreateCompatibleDC(screen);
  SelectObject(dc, bitmap);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0x03, 0x02, 0x01));
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(0x06, 0x05, 0x04));
  DeleteDC(dc);
  DeleteObject(bitmap);
  DeleteDC(screen);
}

TEST(DibRows, StrideIsPaddedToTheAlignmentAndZeroForWhatDoesNotFit) {
  struct Case {
    std::int64_t width;
    int bits, alignment;
    std::size_t stride;
  };
  constexpr std::int64_t kHuge = std::numeric_limits<std::int64_t>::max();
  const Case cases[] = {{1, 1, 4, 4},   {32, 1, 4, 4},  {33, 1, 4, 8},  {7, 4, 4, 4},       {9, 4, 4, 8},
                        {3, 24, 4, 12}, {5, 24, 4, 16}, {1, 32, 4, 4},  {5, 16, 4, 12},     {16, 1, 2, 2},
                        {17, 1, 2, 4},  {3, 8, 1, 3},   {0, 32, 4, 0},  {-1, 32, 4, 0},     {5, 0, 4, 0},
                        {5, 33, 4, 0},  {5, 8, 0, 0},   {kHuge, 32, 4, 0}, {kHuge / 64, 1, 4, std::size_t{1} << 54}};
  for (const Case& c : cases)
    EXPECT_EQ(gdi::DibRowStride(c.width, c.bits, c.alignment), c.stride) << c.width << " x " << c.bits;
}

TEST(DibRows, SupportedDepthsAreOneFourEightTwentyFourAndThirtyTwo) {
  for (int bits = -1; bits <= 64; ++bits)
    EXPECT_EQ(gdi::IsSupportedDepth(bits), bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32) << bits;
}

}  // namespace
}  // namespace win
