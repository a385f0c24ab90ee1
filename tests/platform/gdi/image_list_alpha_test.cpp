// Image lists of 32-bit images with alpha: drawn over the destination by their premultiplied
// alpha, blends that mix colour and keep alpha, masks still honoured, and alpha-less images opaque.
#include <gtest/gtest.h>

#include "gdi_test_support.h"
#include "platform/gdi/image_list.h"

namespace win {
namespace {

using gdi_test::Canvas;

// Four 1 x 1 images in a 32-bit list: opaque red, half-transparent red (premultiplied 0x80),
// fully transparent, and a quarter-covered green (premultiplied 0x40).
class AlphaImageList : public ::testing::Test {
 protected:
  void SetUp() override {
    list_ = ImageList_Create(1, 1, ILC_COLOR32 | ILC_MASK, 4, 4);
    ASSERT_NE(list_, nullptr);
    Canvas images(4, 1);
    images.Set(0, 0, 0xFFFF0000);
    images.Set(1, 0, 0x80800000);
    images.Set(2, 0, 0x00000000);
    images.Set(3, 0, 0x40004000);
    ASSERT_EQ(ImageList_Add(list_, images.bitmap(), nullptr), 0);
  }
  void TearDown() override { ImageList_Destroy(list_); }

  std::uint32_t DrawOver(int index, std::uint32_t below, UINT style = ILD_TRANSPARENT, COLORREF blend = CLR_NONE) {
    Canvas dest(1, 1);
    dest.Fill(below);
    EXPECT_TRUE(ImageList_DrawEx(list_, index, dest.dc(), 0, 0, 0, 0, CLR_NONE, blend, style));
    return dest.At(0, 0);
  }

  HIMAGELIST list_ = nullptr;
};

TEST_F(AlphaImageList, PixelsGoOverTheDestinationByTheirAlpha) {
  struct Case {
    int index;
    std::uint32_t below;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {0, 0x0000FF, 0xFF0000},  // opaque
      {1, 0x0000FF, 0x80007F},  // 0x80 red + blue x 127/255
      {1, 0xFFFFFF, 0xFF7F7F},
      {2, 0x123456, 0x123456},  // transparent: untouched
      {3, 0x000000, 0x004000},
      {3, 0xFFFFFF, 0xBFFFBF},  // 0x40 green + 255 x 191/255
  };
  for (const Case& c : cases) EXPECT_EQ(DrawOver(c.index, c.below), c.expected) << c.index << " over " << c.below;
}

TEST_F(AlphaImageList, BlendsMixTheColourAtThePixelsAlphaAndKeepIt) {
  // Half-transparent red blended 50 % with white taken at alpha 0x80: (0x80 + 0x80) / 2 = 0x80
  // red, (0 + 0x80) / 2 = 0x40 green and blue; then over black.
  EXPECT_EQ(DrawOver(1, 0x000000, ILD_TRANSPARENT | ILD_BLEND50, RGB(255, 255, 255)), 0x804040u);
  // Opaque pixels blend as before: (3 x red + white) / 4.
  EXPECT_EQ(DrawOver(0, 0x000000, ILD_TRANSPARENT | ILD_BLEND25, RGB(255, 255, 255)), 0xFF3F3Fu);
}

TEST_F(AlphaImageList, TheMaskShowsTransparentPixelsWhite) {
  Canvas dest(1, 1);
  ASSERT_TRUE(ImageList_DrawEx(list_, 2, dest.dc(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_MASK));
  EXPECT_EQ(dest.At(0, 0), 0xFFFFFFu);
  ASSERT_TRUE(ImageList_DrawEx(list_, 1, dest.dc(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_MASK));
  EXPECT_EQ(dest.At(0, 0), 0x000000u);
}

TEST(AlphaImageListKinds, ImagesWithoutAlphaAndListsBelow32BitsDrawOpaque) {
  for (UINT depth : {ILC_COLOR32, ILC_COLOR24}) {
    HIMAGELIST list = ImageList_Create(1, 1, depth, 1, 1);
    Canvas image(1, 1);
    image.Set(0, 0, depth == ILC_COLOR32 ? 0x00336699 : 0x80336699);
    ASSERT_EQ(ImageList_Add(list, image.bitmap(), nullptr), 0);
    Canvas dest(1, 1);
    dest.Fill(0xFFFFFF);
    ASSERT_TRUE(ImageList_DrawEx(list, 0, dest.dc(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_TRANSPARENT));
    EXPECT_EQ(dest.At(0, 0), 0x336699u) << depth;
    ImageList_Destroy(list);
  }
}

TEST(AlphaImageListKinds, AMaskStillMakesAPixelTransparent) {
  HIMAGELIST list = ImageList_Create(2, 1, ILC_COLOR32 | ILC_MASK, 1, 1);
  Canvas image(2, 1);
  image.Set(0, 0, 0xFF00FF00);
  image.Set(1, 0, 0xFF00FF00);
  const BYTE mask_bits[2] = {0x40, 0x00};  // the right pixel transparent
  HBITMAP mask = CreateBitmap(2, 1, 1, 1, mask_bits);
  ASSERT_EQ(ImageList_Add(list, image.bitmap(), mask), 0);
  DeleteObject(mask);
  Canvas dest(2, 1);
  dest.Fill(0x0000FF);
  ASSERT_TRUE(ImageList_DrawEx(list, 0, dest.dc(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_TRANSPARENT));
  EXPECT_EQ(dest.At(0, 0), 0x00FF00u);
  EXPECT_EQ(dest.At(1, 0), 0x0000FFu);
  ImageList_Destroy(list);
}

}  // namespace
}  // namespace win
