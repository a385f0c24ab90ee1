// Frames: placement and tiling when drawn, transparency masks on both blit paths, pixel access,
// bounds, cropping, dithering by display depth, and frames made from bitmaps and icons.
#include <gtest/gtest.h>

#include "classlib/bitmap.h"
#include "gif_test_support.h"
#include "platform/gdi/dc_access.h"

namespace dashtune {
namespace {

using giftest::Bytes;
using giftest::Concat;
using giftest::ControlExtension;
using giftest::Descriptor;
using giftest::Header;
using giftest::ImageData;

constexpr TColor kBackground = 0x0000FF;  // red

// Index 0 black, 1 white, 2 green, 3 blue.
const std::vector<TGIFColor> kTable = {{0, 0, 0}, {255, 255, 255}, {0, 255, 0}, {0, 0, 255}};

std::unique_ptr<TBitmap> Canvas(int width, int height) {
  return giftest::FilledBitmap(pf32bit, width, height, kBackground);
}

TColor At(TBitmap& bitmap, int x, int y) { return bitmap.GetCanvas()->GetPixel(x, y); }

giftest::Loaded LoadOk(const Bytes& file) {
  auto loaded = giftest::Load(file);
  EXPECT_EQ(loaded.error, "");
  return loaded;
}

TEST(GifFrameDrawing, FramePlacedByItsPositionInTheScaledPicture) {
  auto loaded = LoadOk(Concat({Header(40, 10, kTable), Descriptor(20, 0, 10, 10), ImageData(Bytes(100, 1), 2), {0x3B}}));
  auto target = Canvas(80, 10);
  target->GetCanvas()->StretchDraw(win::RECT{0, 0, 80, 10}, loaded.picture.get());
  EXPECT_EQ(At(*target, 39, 5), kBackground);
  EXPECT_EQ(At(*target, 40, 5), clWhite);
  EXPECT_EQ(At(*target, 59, 5), clWhite);
  EXPECT_EQ(At(*target, 60, 5), kBackground);
}

TEST(GifFrameDrawing, TilesStepByThePictureSize) {
  Bytes pixels(40 * 40, 1);
  pixels[0] = 2;  // a green marker at each tile's corner
  auto loaded = LoadOk(Concat({Header(40, 40, kTable), Descriptor(0, 0, 40, 40), ImageData(pixels, 2), {0x3B}}));
  loaded.picture->SetDrawOptions(loaded.picture->GetDrawOptions() + TGIFDrawOptions{doTile});
  auto target = Canvas(100, 50);
  target->GetCanvas()->StretchDraw(win::RECT{0, 0, 100, 50}, loaded.picture.get());
  for (int x : {0, 40, 80})
    for (int y : {0, 40}) EXPECT_EQ(At(*target, x, y), clLime) << x << "," << y;
  EXPECT_EQ(At(*target, 1, 1), clWhite);
  EXPECT_EQ(At(*target, 99, 49), clWhite);
}

TEST(GifFrameDrawing, TilingAPictureOfSizeZeroDrawsOneTile) {
  // The screen says 0 x 0; the frame has a size of its own.
  auto loaded = LoadOk(Concat({Header(0, 0, kTable), Descriptor(0, 0, 2, 2), ImageData(Bytes(4, 1), 2), {0x3B}}));
  loaded.picture->SetDrawOptions(loaded.picture->GetDrawOptions() + TGIFDrawOptions{doTile});
  auto target = Canvas(10, 10);
  target->GetCanvas()->StretchDraw(win::RECT{0, 0, 10, 10}, loaded.picture.get());
  EXPECT_EQ(At(*target, 1, 1), clWhite);
  EXPECT_EQ(At(*target, 2, 2), kBackground);
}

TEST(GifFrameDrawing, PictureOfSizeZeroScalesByItsFrame) {
  auto loaded = LoadOk(Concat({Header(0, 0, kTable), Descriptor(0, 0, 2, 2), ImageData(Bytes(4, 1), 2), {0x3B}}));
  auto target = Canvas(10, 10);
  target->GetCanvas()->StretchDraw(win::RECT{0, 0, 10, 10}, loaded.picture.get());
  EXPECT_EQ(At(*target, 0, 0), clWhite);
  EXPECT_EQ(At(*target, 9, 9), clWhite);
}

TEST(GifFrameDrawing, TransparentPixelsShowTheBackgroundOnBothBlitPaths) {
  const Bytes file = Concat({Header(4, 1, kTable), ControlExtension(0, true, 1), Descriptor(0, 0, 4, 1),
                             ImageData({0, 1, 2, 1}, 2), {0x3B}});
  auto loaded = LoadOk(file);
  for (int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    auto target = Canvas(4 * scale, scale);
    target->GetCanvas()->StretchDraw(win::RECT{0, 0, 4 * scale, scale}, loaded.picture.get());
    const TColor expected[] = {clBlack, kBackground, clLime, kBackground};
    for (int x = 0; x < 4 * scale; ++x) EXPECT_EQ(At(*target, x, scale - 1), expected[x / scale]) << x;
  }
  // Without doTransparent the frame is opaque.
  loaded.picture->SetDrawOptions(loaded.picture->GetDrawOptions() - TGIFDrawOptions{doTransparent});
  auto opaque = Canvas(4, 1);
  opaque->GetCanvas()->StretchDraw(win::RECT{0, 0, 4, 1}, loaded.picture.get());
  EXPECT_EQ(At(*opaque, 1, 0), clWhite);
}

TEST(GifFrameDrawing, StretchDrawFillsTheRectangleThatDrawPlacesTheFrameIn) {
  // A frame of white and (transparent) black at left 2 of a 4 x 2 picture, drawn into 8 x 2.
  auto loaded = LoadOk(Concat({Header(4, 2, kTable), ControlExtension(0, true, 0), Descriptor(2, 0, 2, 1),
                               ImageData({1, 0}, 2), {0x3B}}));
  TGIFSubImage* frame = loaded.picture->GetImages()->GetFrame(0);
  constexpr TColor R = kBackground, W = clWhite, K = clBlack;
  const struct {
    const char* name;
    bool stretch, transparent, tile;
    std::array<TColor, 8> top, bottom;
  } cases[] = {
      {"draw", false, false, false, {R, R, R, R, W, W, K, K}, {R, R, R, R, R, R, R, R}},
      {"draw masked", false, true, false, {R, R, R, R, W, W, R, R}, {R, R, R, R, R, R, R, R}},
      {"stretch", true, false, false, {W, W, W, W, K, K, K, K}, {W, W, W, W, K, K, K, K}},
      {"stretch masked", true, true, false, {W, W, W, W, R, R, R, R}, {W, W, W, W, R, R, R, R}},
      // Tiles start at the frame's offset and step by the picture's size.
      {"stretch tiled", true, false, true, {R, R, W, K, R, R, W, K}, {R, R, R, R, R, R, R, R}},
      {"draw tiled masked", false, true, true, {R, R, W, R, R, R, W, R}, {R, R, R, R, R, R, R, R}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto target = Canvas(8, 2);
    const win::RECT rect{0, 0, 8, 2};
    if (c.stretch) {
      frame->StretchDraw(target->GetCanvas(), rect, c.transparent, c.tile);
    } else {
      frame->Draw(target->GetCanvas(), rect, c.transparent, c.tile);
    }
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(At(*target, x, 0), c.top[static_cast<std::size_t>(x)]) << x;
      EXPECT_EQ(At(*target, x, 1), c.bottom[static_cast<std::size_t>(x)]) << x;
    }
  }
}

TEST(GifFrameDrawing, FrameDrawnOpaqueOnceStillDrawsThroughItsMask) {
  // The picture's Bitmap is its first frame drawn opaque (the frame does not cover the screen).
  auto loaded = LoadOk(Concat({Header(4, 1, kTable), ControlExtension(0, true, 0), Descriptor(2, 0, 2, 1),
                               ImageData({1, 0}, 2), {0x3B}}));
  ASSERT_NE(loaded.picture->GetBitmap(), nullptr);
  auto target = Canvas(4, 1);
  target->GetCanvas()->StretchDraw(win::RECT{0, 0, 4, 1}, loaded.picture.get());
  const TColor expected[] = {kBackground, kBackground, clWhite, kBackground};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(At(*target, x, 0), expected[x]) << x;
}

TEST(GifFrameDrawing, TransparentFrameThatNeverUsesItsIndexHasNoMask) {
  auto loaded = LoadOk(Concat({Header(2, 1, kTable), ControlExtension(0, true, 3), Descriptor(0, 0, 2, 1),
                               ImageData({0, 1}, 2), {0x3B}}));
  TGIFSubImage* frame = loaded.picture->GetImages()->GetFrame(0);
  EXPECT_TRUE(frame->GetTransparent());
  EXPECT_FALSE(frame->HasMask());
  auto target = Canvas(2, 1);
  target->GetCanvas()->StretchDraw(win::RECT{0, 0, 2, 1}, loaded.picture.get());
  EXPECT_EQ(At(*target, 0, 0), clBlack);
  EXPECT_EQ(At(*target, 1, 0), clWhite);
}

TEST(GifFrame, PixelAccessOutsideTheFrameRaises) {
  auto loaded = LoadOk(Concat({Header(3, 2, kTable), Descriptor(0, 0, 3, 2), ImageData({0, 1, 2, 3, 0, 1}, 2), {0x3B}}));
  TGIFSubImage* frame = loaded.picture->GetImages()->GetFrame(0);
  EXPECT_EQ(frame->GetPixel(2, 1), 1);
  for (auto [x, y] : {std::pair{3, 0}, {0, 2}, {-1, 0}}) {
    try {
      frame->GetPixel(x, y);
      FAIL() << x << "," << y;
    } catch (const GIFException& e) {
      EXPECT_EQ(e.GetMessage(), "Invalid pixel coordinates");
    }
  }
}

TEST(GifFrame, BoundsGrowThePictureWithWarnings) {
  TGIFPicture picture;
  std::vector<std::string> warnings;
  picture.OnWarning = [&](TObject*, int, const std::string& m) { warnings.push_back(m); };
  auto frame = std::make_unique<TGIFSubImage>(&picture);
  frame->SetBounds(0, 0, 10, 10);
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(picture.GetWidth(), 10);
  frame->SetBounds(5, 0, 10, 12);
  EXPECT_EQ(warnings, (std::vector<std::string>{"Image width too small for contained frames",
                                                "Image height too small for contained frames",
                                                "Image exceeds Logical Screen size"}));
  EXPECT_EQ(picture.GetWidth(), 15);
  EXPECT_EQ(picture.GetHeight(), 12);
  EXPECT_EQ(frame->GetDataSize(), 120u);
  picture.Add(std::move(frame));
  try {
    picture.SetWidth(14);
    FAIL();
  } catch (const GIFException& e) {
    EXPECT_EQ(e.GetMessage(), "Image width too small for contained frames");
  }
  EXPECT_EQ(picture.GetWidth(), 15);
}

TEST(GifFrame, CropTrimsTransparentBordersAndEmptiesAFullyTransparentFrame) {
  Bytes pixels(5 * 4, 3);
  pixels[1 * 5 + 2] = 1;
  pixels[2 * 5 + 3] = 2;
  auto loaded = LoadOk(Concat({Header(5, 4, kTable), ControlExtension(0, true, 3), Descriptor(0, 0, 5, 4),
                               ImageData(pixels, 2), {0x3B}}));
  TGIFSubImage* frame = loaded.picture->GetImages()->GetFrame(0);
  frame->Crop();
  EXPECT_EQ(frame->GetLeft(), 2);
  EXPECT_EQ(frame->GetTop(), 1);
  EXPECT_EQ(frame->GetWidth(), 2);
  EXPECT_EQ(frame->GetHeight(), 2);
  EXPECT_EQ(frame->GetData(), (Bytes{1, 3, 3, 2}));
  auto empty = LoadOk(Concat({Header(2, 2, kTable), ControlExtension(0, true, 3), Descriptor(0, 0, 2, 2),
                              ImageData(Bytes(4, 3), 2), {0x3B}}));
  empty.picture->GetImages()->GetFrame(0)->Crop();
  EXPECT_TRUE(empty.picture->GetImages()->GetFrame(0)->GetEmpty());
}

TEST(GifFrame, FrameOfExtensionsOnlyIsSavedAsItsExtensions) {
  const Bytes comment = {0x21, 0xFE, 2, 'h', 'i', 0};
  auto loaded = LoadOk(Concat({Header(2, 2, kTable), Descriptor(0, 0, 2, 2), ImageData({0, 1, 2, 3}, 2), comment,
                               {0x3B}}));
  ASSERT_EQ(loaded.picture->GetImages()->GetCount(), 2);
  TGIFSubImage* last = loaded.picture->GetImages()->GetFrame(1);
  EXPECT_TRUE(last->GetEmpty());
  TMemoryStream stream;
  last->SaveToStream(&stream);
  EXPECT_EQ(stream.GetSize(), static_cast<std::int64_t>(comment.size()));
}

TEST(GifFrame, DitheredOnlyOnPaletteDisplays) {
  const Bytes file = Concat({Header(2, 1, kTable), Descriptor(0, 0, 2, 1), ImageData({2, 3}, 2), {0x3B}});
  const win::gdi::VirtualScreen saved = win::gdi::GetVirtualScreen();
  for (int bits : {8, 32}) {
    SCOPED_TRACE(bits);
    win::gdi::VirtualScreen screen = saved;
    screen.bits_per_pixel = bits;
    ASSERT_TRUE(win::gdi::SetVirtualScreen(screen));
    gif::ReadDisplayDepth();
    auto loaded = LoadOk(file);
    EXPECT_EQ(loaded.picture->GetDoDither(), bits == 8);
    TBitmap* bitmap = loaded.picture->GetImages()->GetFrame(0)->GetBitmap();
    ASSERT_NE(bitmap, nullptr);
    // The halftone palette, or the frame's own table, in a table of 256 entries.
    const std::vector<win::PALETTEENTRY> entries = gif::PaletteEntries(bitmap->GetPalette());
    ASSERT_EQ(entries.size(), 256u);
    const win::PALETTEENTRY last = entries[bits == 8 ? 215 : 3];
    EXPECT_EQ(last.peRed + last.peGreen + last.peBlue, bits == 8 ? 3 * 255 : 255);
    EXPECT_EQ(entries[bits == 8 ? 216 : 4].peBlue, 0);
    // Pure green and blue are in the web palette: dithering keeps them.
    auto target = Canvas(2, 1);
    target->GetCanvas()->Draw(0, 0, bitmap);
    EXPECT_EQ(At(*target, 0, 0), clLime);
    EXPECT_EQ(At(*target, 1, 0), clBlue);
  }
  win::gdi::SetVirtualScreen(saved);
  gif::ReadDisplayDepth();
}

// ---- Frames from other graphics ----

TEST(GifFrameAssign, BitmapsOfEveryDepthKeepPureRed) {
  for (TPixelFormat format : {pf1bit, pf4bit, pf8bit, pf24bit, pf32bit}) {
    SCOPED_TRACE(static_cast<int>(format));
    const TColor color = format == pf1bit ? clWhite : clRed;
    auto source = giftest::FilledBitmap(format, 3, 2, color);
    const TPixelFormat before = source->GetPixelFormat();
    TGIFPicture picture;
    picture.Add(source.get());
    EXPECT_EQ(source->GetPixelFormat(), before);  // the source is left as it was
    ASSERT_EQ(picture.GetImages()->GetCount(), 1);
    TGIFSubImage* frame = picture.GetImages()->GetFrame(0);
    EXPECT_EQ(frame->GetWidth(), 3);
    EXPECT_EQ(picture.GetWidth(), 3);
    const TColor got = frame->GetActiveColorMap()->GetColor(frame->GetPixel(2, 1));
    EXPECT_EQ(got, color);
    auto target = Canvas(3, 2);
    target->GetCanvas()->Draw(0, 0, &picture);
    EXPECT_EQ(At(*target, 1, 1), color);
  }
}

TEST(GifFrameAssign, TrueColourWithoutReductionKeepsEveryColourUpTo256) {
  TBitmap source;
  source.SetPixelFormat(pf24bit);
  source.SetSize(16, 17);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 16; ++x) source.GetCanvas()->SetPixel(x, y, static_cast<TColor>(x * 16 + y * 0x100 * 15));
  TGIFPicture picture;
  picture.SetColorReduction(TColorReduction::crNone);
  try {
    picture.Add(&source);
    FAIL();
  } catch (const GIFException& e) {
    EXPECT_EQ(e.GetMessage(), "Color table overflow");
  }
  source.SetSize(16, 16);
  picture.Add(&source);
  TGIFSubImage* frame = picture.GetImages()->GetFrame(0);
  EXPECT_EQ(frame->GetColorMap()->GetCount(), 256);
  EXPECT_EQ(frame->GetActiveColorMap()->GetColor(frame->GetPixel(5, 7)), static_cast<TColor>(5 * 16 + 7 * 0x100 * 15));
}

TEST(GifFrameAssign, IconMaskBecomesTransparency) {
  TBitmap color, mask;
  color.SetPixelFormat(pf24bit);
  color.SetSize(4, 4);
  color.GetCanvas()->GetBrush()->SetColor(clBlue);
  color.GetCanvas()->FillRect(win::RECT{0, 0, 4, 4});
  mask.SetMonochrome(true);
  mask.SetSize(4, 4);
  mask.GetCanvas()->GetBrush()->SetColor(clBlack);
  mask.GetCanvas()->FillRect(win::RECT{0, 0, 4, 4});
  mask.GetCanvas()->SetPixel(0, 0, clWhite);
  mask.GetCanvas()->SetPixel(3, 3, clWhite);
  TIcon icon;
  icon.SetBitmaps(&color, &mask);
  TGIFPicture picture;
  picture.Add(&icon);
  TGIFSubImage* frame = picture.GetImages()->GetFrame(0);
  ASSERT_NE(frame->GetGraphicControlExtension(), nullptr);
  EXPECT_TRUE(frame->GetTransparent());
  const int transparent = frame->GetGraphicControlExtension()->GetTransparentColorIndex();
  EXPECT_EQ(frame->GetPixel(0, 0), transparent);
  EXPECT_EQ(frame->GetPixel(3, 3), transparent);
  EXPECT_NE(frame->GetPixel(1, 1), transparent);
  auto target = Canvas(4, 4);
  target->GetCanvas()->Draw(0, 0, &picture);
  EXPECT_EQ(At(*target, 0, 0), kBackground);
  EXPECT_EQ(At(*target, 2, 1), clBlue);
}

TEST(GifFrameAssign, IconWithAnEmptyMaskStaysOpaque) {
  TBitmap color, mask;
  color.SetPixelFormat(pf24bit);
  color.SetSize(2, 2);
  mask.SetMonochrome(true);
  mask.SetSize(2, 2);
  mask.GetCanvas()->GetBrush()->SetColor(clBlack);
  mask.GetCanvas()->FillRect(win::RECT{0, 0, 2, 2});
  TIcon icon;
  icon.SetBitmaps(&color, &mask);
  TGIFPicture picture;
  picture.Add(&icon);
  TGIFSubImage* frame = picture.GetImages()->GetFrame(0);
  EXPECT_EQ(frame->GetGraphicControlExtension(), nullptr);
  EXPECT_FALSE(frame->GetTransparent());
}

TEST(GifFrameAssign, FrameCopiesKeepPixelsTablesAndExtensions) {
  auto loaded = LoadOk(Concat({Header(4, 1, kTable), ControlExtension(2, true, 1, 7), Descriptor(0, 0, 4, 1),
                               ImageData({0, 1, 2, 1}, 2), {0x3B}}));
  TGIFPicture copy;
  copy.Assign(loaded.picture.get());
  TGIFSubImage* frame = copy.GetImages()->GetFrame(0);
  EXPECT_EQ(frame->GetData(), (Bytes{0, 1, 2, 1}));
  ASSERT_NE(frame->GetGraphicControlExtension(), nullptr);
  EXPECT_EQ(frame->GetGraphicControlExtension()->GetDelay(), 7);
  EXPECT_TRUE(frame->GetTransparent());
  EXPECT_EQ(frame->GetImage(), &copy);
}

}  // namespace
}  // namespace dashtune
