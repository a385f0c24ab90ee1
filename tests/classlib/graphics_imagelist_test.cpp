// TCustomImageList: adding strips with masks and by mask colour, drawing transparent and
// disabled, overlays, deleting, and size changes that empty the list.
#include <gtest/gtest.h>

#include "classlib/bitmap.h"
#include "classlib/imagelist.h"

namespace dashtune {
namespace {

// A strip of `count` square images of `size`, image i filled with colours[i] and a clLime dot
// at its top-left pixel.
void MakeStrip(TBitmap& strip, int size, std::initializer_list<TColor> colours) {
  strip.SetPixelFormat(pf24bit);
  strip.SetSize(size * static_cast<int>(colours.size()), size);
  int i = 0;
  for (TColor colour : colours) {
    strip.GetCanvas()->GetBrush()->SetColor(colour);
    strip.GetCanvas()->FillRect(win::RECT{i * size, 0, (i + 1) * size, size});
    strip.GetCanvas()->SetPixel(i * size, 0, clLime);
    ++i;
  }
}

void PrepareTarget(TBitmap& target, int size) {
  target.SetPixelFormat(pf32bit);
  target.SetSize(size, size);
  target.GetCanvas()->GetBrush()->SetColor(clWhite);
  target.GetCanvas()->FillRect(win::RECT{0, 0, size, size});
}

TEST(ImageList, AddsAStripAndDrawsTheMaskedColourTransparent) {
  TCustomImageList images(nullptr, 4, 4);
  int changes = 0;
  images.OnChange = [&](TObject*) { ++changes; };
  TBitmap strip;
  MakeStrip(strip, 4, {clRed, clBlue});
  EXPECT_EQ(images.AddMasked(&strip, clLime), 0);
  EXPECT_EQ(images.GetCount(), 2);
  EXPECT_EQ(changes, 1);

  TBitmap target;
  PrepareTarget(target, 4);
  images.Draw(target.GetCanvas(), 0, 0, 1);
  EXPECT_EQ(target.GetCanvas()->GetPixel(0, 0), clWhite);  // the lime dot is transparent
  EXPECT_EQ(target.GetCanvas()->GetPixel(3, 3), clBlue);
  images.Draw(target.GetCanvas(), 0, 0, 5);  // out of range: nothing
  EXPECT_EQ(target.GetCanvas()->GetPixel(0, 0), clWhite);
}

TEST(ImageList, AddTakesAMaskBitmapWhoseWhitePixelsAreTransparent) {
  TCustomImageList images(nullptr, 2, 2);
  TBitmap image;
  MakeStrip(image, 2, {clRed});
  TBitmap mask;
  mask.SetPixelFormat(pf1bit);
  mask.SetSize(2, 2);  // white: all transparent
  mask.GetCanvas()->SetPixel(1, 1, clBlack);
  EXPECT_EQ(images.Add(&image, &mask), 0);
  TBitmap target;
  PrepareTarget(target, 2);
  images.Draw(target.GetCanvas(), 0, 0, 0);
  EXPECT_EQ(target.GetCanvas()->GetPixel(0, 1), clWhite);
  EXPECT_EQ(target.GetCanvas()->GetPixel(1, 1), clRed);
}

TEST(ImageList, DisabledImagesBlendHalfWithTheBlendColour) {
  TCustomImageList images(nullptr, 2, 2);
  images.SetMasked(false);
  TBitmap image;
  MakeStrip(image, 2, {clRed});
  images.Add(&image, nullptr);
  images.SetBlendColor(clBlue);
  TBitmap target;
  PrepareTarget(target, 2);
  images.Draw(target.GetCanvas(), 0, 0, 0, false);
  // (image + colour) / 2 per channel: red 255 and blue 255 give 127 each.
  EXPECT_EQ(target.GetCanvas()->GetPixel(1, 1), static_cast<TColor>(0x7F007F));
}

TEST(ImageList, DeleteClearAndResizeEmptyTheList) {
  TCustomImageList images(nullptr, 3, 3);
  TBitmap strip;
  MakeStrip(strip, 3, {clRed, clBlue, clBlack});
  images.AddMasked(&strip, clLime);
  images.Delete(1);
  EXPECT_EQ(images.GetCount(), 2);
  images.Delete(7);
  EXPECT_EQ(images.GetCount(), 2);
  images.Clear();
  EXPECT_EQ(images.GetCount(), 0);
  images.AddMasked(&strip, clLime);
  images.SetSize(5, 5);
  EXPECT_EQ(images.GetCount(), 0);
  EXPECT_EQ(images.GetWidth(), 5);
  EXPECT_THROW(images.SetWidth(0), EInvalidOperation);
  EXPECT_EQ(images.Add(nullptr, nullptr), -1);
}

TEST(ImageList, GetBitmapCopiesOneImage) {
  TCustomImageList images(nullptr, 2, 2);
  TBitmap strip;
  MakeStrip(strip, 2, {clRed, clBlue});
  images.AddMasked(&strip, clNone);
  TBitmap copy;
  images.GetBitmap(1, &copy);
  EXPECT_EQ(copy.GetWidth(), 2);
  EXPECT_EQ(copy.GetCanvas()->GetPixel(1, 1), clBlue);
}

}  // namespace
}  // namespace dashtune
