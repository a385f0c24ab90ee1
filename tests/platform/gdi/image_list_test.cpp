// Image lists: adding with masks, transparent and blended drawing, overlays.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "gdi_test_support.h"
#include "platform/gdi/image_list.h"

namespace win {
namespace {

using gdi_test::Canvas;

// A list of 2 x 1 images: image 0 red with a transparent right pixel, image 1 an overlay
// whose left pixel is green and right pixel transparent.
class ImageListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list_ = ImageList_Create(2, 1, ILC_COLOR24 | ILC_MASK, 2, 2);
    ASSERT_NE(list_, nullptr);
    Canvas images(4, 1);
    images.Set(0, 0, 0xFF0000);
    images.Set(1, 0, 0xFF0000);
    images.Set(2, 0, 0x00FF00);
    images.Set(3, 0, 0x123456);
    const BYTE mask_bits[2] = {0x50, 0x00};  // 0101: pixels 1 and 3 transparent
    HBITMAP mask = CreateBitmap(4, 1, 1, 1, mask_bits);
    EXPECT_EQ(ImageList_Add(list_, images.bitmap(), mask), 0);
    DeleteObject(mask);
    EXPECT_EQ(ImageList_GetImageCount(list_), 2);
  }
  void TearDown() override { EXPECT_TRUE(ImageList_Destroy(list_)); }

  HIMAGELIST list_ = nullptr;
};

TEST_F(ImageListTest, TransparentDrawingLeavesMaskedPixels) {
  Canvas dest(2, 1);
  dest.Fill(0x0000FF);
  ASSERT_TRUE(ImageList_DrawEx(list_, 0, dest.dc(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_TRANSPARENT));
  EXPECT_EQ(dest.At(0, 0), 0xFF0000u);
  EXPECT_EQ(dest.At(1, 0), 0x0000FFu);
}

TEST_F(ImageListTest, OpaqueDrawingFillsMaskedPixelsWithTheBackground) {
  Canvas dest(2, 1);
  ASSERT_TRUE(ImageList_DrawEx(list_, 0, dest.dc(), 0, 0, 0, 0, RGB(1, 2, 3), CLR_NONE, ILD_NORMAL));
  EXPECT_EQ(dest.At(1, 0), 0x010203u);
  // The list's own background colour through CLR_DEFAULT.
  EXPECT_EQ(ImageList_SetBkColor(list_, RGB(9, 9, 9)), CLR_NONE);
  ASSERT_TRUE(ImageList_Draw(list_, 0, dest.dc(), 0, 0, ILD_NORMAL));
  EXPECT_EQ(dest.At(1, 0), 0x090909u);
}

TEST_F(ImageListTest, BlendFiftyMixesHalfAndHalfWithTheBlendColour) {
  Canvas dest(2, 1);
  dest.Fill(0x0000FF);
  ASSERT_TRUE(ImageList_DrawEx(list_, 0, dest.dc(), 0, 0, 0, 0, CLR_NONE, RGB(0, 0, 255), ILD_TRANSPARENT | ILD_BLEND50));
  EXPECT_EQ(dest.At(0, 0), 0x7F007Fu);  // (255 + 0) / 2, (0 + 255) / 2
  EXPECT_EQ(dest.At(1, 0), 0x0000FFu);
  ASSERT_TRUE(ImageList_DrawEx(list_, 0, dest.dc(), 0, 0, 0, 0, CLR_NONE, RGB(0, 0, 255), ILD_TRANSPARENT | ILD_BLEND25));
  EXPECT_EQ(dest.At(0, 0), 0xBF003Fu);  // (3 x 255 + 0) / 4, (0 + 255) / 4
  // CLR_NONE as the blend colour blends with what is underneath.
  dest.Fill(0x00FF00);
  ASSERT_TRUE(ImageList_DrawEx(list_, 0, dest.dc(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_TRANSPARENT | ILD_BLEND50));
  EXPECT_EQ(dest.At(0, 0), 0x7F7F00u);
}

TEST_F(ImageListTest, OverlayIsDrawnTransparentlyOnTop) {
  ASSERT_TRUE(ImageList_SetOverlayImage(list_, 1, 1));
  EXPECT_FALSE(ImageList_SetOverlayImage(list_, 1, 16));
  EXPECT_FALSE(ImageList_SetOverlayImage(list_, 5, 2));
  Canvas dest(2, 1);
  dest.Fill(0x0000FF);
  ASSERT_TRUE(ImageList_DrawEx(list_, 0, dest.dc(), 0, 0, 0, 0, CLR_NONE, CLR_NONE,
                               ILD_TRANSPARENT | INDEXTOOVERLAYMASK(1)));
  EXPECT_EQ(dest.At(0, 0), 0x00FF00u);
  EXPECT_EQ(dest.At(1, 0), 0x0000FFu);
  // An overlay number without an image draws only the image.
  ASSERT_TRUE(ImageList_DrawEx(list_, 0, dest.dc(), 0, 0, 0, 0, CLR_NONE, CLR_NONE,
                               ILD_TRANSPARENT | INDEXTOOVERLAYMASK(2)));
  EXPECT_EQ(dest.At(0, 0), 0xFF0000u);
}

TEST_F(ImageListTest, DrawingIsClippedAndPlacedByTheContext) {
  Canvas dest(4, 2);
  SetViewportOrgEx(dest.dc(), 1, 1, nullptr);
  ASSERT_TRUE(ImageList_DrawEx(list_, 1, dest.dc(), 0, 0, 1, 0, CLR_NONE, CLR_NONE, ILD_TRANSPARENT));
  EXPECT_EQ(dest.Picture(0x00FF00), (std::vector<std::string>{"....", ".#.."}));
  EXPECT_FALSE(ImageList_DrawEx(list_, 2, dest.dc(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_NORMAL));
}

TEST_F(ImageListTest, MaskStyleDrawsTheMask) {
  Canvas dest(2, 1);
  ASSERT_TRUE(ImageList_DrawEx(list_, 0, dest.dc(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_MASK));
  EXPECT_EQ(dest.At(0, 0), 0x000000u);
  EXPECT_EQ(dest.At(1, 0), 0xFFFFFFu);
}

TEST_F(ImageListTest, RemovingAnImageRenumbersTheOverlays) {
  ASSERT_TRUE(ImageList_SetOverlayImage(list_, 1, 1));
  ASSERT_TRUE(ImageList_Remove(list_, 0));
  EXPECT_EQ(ImageList_GetImageCount(list_), 1);
  Canvas dest(2, 1);
  dest.Fill(0x0000FF);
  ASSERT_TRUE(ImageList_DrawEx(list_, 0, dest.dc(), 0, 0, 0, 0, CLR_NONE, CLR_NONE,
                               ILD_TRANSPARENT | INDEXTOOVERLAYMASK(1)));
  EXPECT_EQ(dest.At(0, 0), 0x00FF00u);
  ASSERT_TRUE(ImageList_Remove(list_, -1));
  EXPECT_EQ(ImageList_GetImageCount(list_), 0);
}

TEST(ImageList, AddMaskedMakesTheKeyColourTransparent) {
  HIMAGELIST list = ImageList_Create(2, 1, ILC_COLOR32 | ILC_MASK, 1, 1);
  Canvas image(2, 1);
  image.Set(0, 0, 0xFF00FF);
  image.Set(1, 0, 0x345678);
  EXPECT_EQ(ImageList_AddMasked(list, image.bitmap(), RGB(255, 0, 255)), 0);
  Canvas dest(2, 1);
  dest.Fill(0x111111);
  ASSERT_TRUE(ImageList_DrawEx(list, 0, dest.dc(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_TRANSPARENT));
  EXPECT_EQ(dest.At(0, 0), 0x111111u);
  EXPECT_EQ(dest.At(1, 0), 0x345678u);
  int width = 0, height = 0;
  EXPECT_TRUE(ImageList_GetIconSize(list, &width, &height));
  EXPECT_EQ(width, 2);
  // A bitmap narrower than one image adds nothing.
  Canvas narrow(1, 1);
  EXPECT_EQ(ImageList_Add(list, narrow.bitmap(), nullptr), -1);
  ImageList_Destroy(list);
  EXPECT_FALSE(ImageList_Destroy(list));
}

// Masked images drawn onto 32 bits (copied row by row) and onto 24 bits (pixel by pixel) at
// seeded places, clips and styles show the same colours; on 32 bits each pixel drawn has alpha 0
// and every other pixel keeps its own.
TEST(ImageList, ThirtyTwoBitDrawingMatchesTwentyFourBitDrawing) {
  std::mt19937 random(36);
  const auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  // Image and background colours have an even blue byte, what lies below an odd one: a pixel
  // drawn on always changes.
  const std::uint32_t inks[] = {0xFF0000, 0x00FF00, 0x123456, 0x808080};
  constexpr int kWidth = 20, kHeight = 14;
  for (int trial = 0; trial < 300; ++trial) {
    const int w = pick(1, 9), h = pick(1, 9);
    const std::uint32_t key = inks[pick(0, 3)];
    Canvas strip(2 * w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < 2 * w; ++x) strip.Set(x, y, inks[pick(0, 3)]);
    const HIMAGELIST list = ImageList_Create(w, h, ILC_COLOR24 | ILC_MASK, 2, 2);
    ASSERT_EQ(ImageList_AddMasked(list, strip.bitmap(), RGB(key >> 16, (key >> 8) & 0xFF, key & 0xFF)), 0);

    const bool bottom_up = pick(0, 1) == 1;
    Canvas deep(kWidth, kHeight, 32, bottom_up ? 1 : -1), shallow(kWidth, kHeight, 24);
    const auto deep_row = [bottom_up](int y) { return bottom_up ? kHeight - 1 - y : y; };  // in memory
    const auto shallow_at = [&shallow](int x, int y) {
      const std::uint8_t* p = shallow.bits() + static_cast<std::size_t>(y) * ((kWidth * 3 + 3) & ~3) + x * 3;
      return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16);
    };
    std::vector<std::uint32_t> below(kWidth * kHeight);
    for (std::uint32_t& colour : below) colour = static_cast<std::uint32_t>(pick(0, 0xFFFFFF)) | 1;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const std::uint32_t colour = below[static_cast<std::size_t>(y) * kWidth + x];
        deep.Set(x, deep_row(y), colour | 0xAB000000);
        SetPixel(shallow.dc(), x, y, RGB(colour >> 16, (colour >> 8) & 0xFF, colour & 0xFF));
      }
    const int left = pick(-2, kWidth), top = pick(-2, kHeight);
    const RECT clip{left, top, pick(left, kWidth + 2), pick(top, kHeight + 2)};
    const int x = pick(-w, kWidth), y = pick(-h, kHeight), index = pick(0, 1);
    const std::uint32_t ground = inks[pick(0, 3)];
    const COLORREF background = pick(0, 2) ? RGB(ground >> 16, (ground >> 8) & 0xFF, ground & 0xFF) : CLR_NONE;
    const UINT style = pick(0, 1) ? ILD_TRANSPARENT : ILD_NORMAL;
    for (const HDC dc : {deep.dc(), shallow.dc()}) {
      IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
      ASSERT_TRUE(ImageList_DrawEx(list, index, dc, x, y, 0, 0, background, CLR_NONE, style));
    }
    for (int py = 0; py < kHeight; ++py)
      for (int px = 0; px < kWidth; ++px) {
        const std::uint32_t was = below[static_cast<std::size_t>(py) * kWidth + px];
        const std::uint32_t shown = shallow_at(px, py);
        ASSERT_EQ(deep.At(px, deep_row(py)), shown) << "trial " << trial << " at " << px << "," << py;
        ASSERT_EQ(deep.RawAt(px, deep_row(py)) >> 24, shown == was ? 0xABu : 0u) << "trial " << trial << " at " << px << "," << py;
      }
    ImageList_Destroy(list);
  }
}

TEST(ImageList, RefusesZeroNegativeAndEnormousSizes) {
  EXPECT_EQ(ImageList_Create(0, 16, ILC_COLOR24, 1, 1), nullptr);
  EXPECT_EQ(ImageList_Create(16, -1, ILC_COLOR24, 1, 1), nullptr);
  EXPECT_EQ(ImageList_Create(30000, 30000, ILC_COLOR24, 1, 1), nullptr);
}

}  // namespace
}  // namespace win
