// Image lists: adding with masks, transparent and blended drawing, overlays.
#include <gtest/gtest.h>

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

TEST(ImageList, RefusesZeroNegativeAndEnormousSizes) {
  EXPECT_EQ(ImageList_Create(0, 16, ILC_COLOR24, 1, 1), nullptr);
  EXPECT_EQ(ImageList_Create(16, -1, ILC_COLOR24, 1, 1), nullptr);
  EXPECT_EQ(ImageList_Create(30000, 30000, ILC_COLOR24, 1, 1), nullptr);
}

}  // namespace
}  // namespace win
