// The picture object: drawing, scaling, assignment, resizing, pixel access and loading by name.
// Drawing with a transparent colour and with per-pixel alpha onto bitmaps, scaling, assignment,
// resizing, pixel access and loading by extension through the container.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "classlib/bitmap.h"
#include "png_test_support.h"

namespace dashtune {
namespace {

using pngtest::Bytes;
using pngtest::Chunk;
using pngtest::Concat;
using pngtest::Ihdr;
using pngtest::Signature;

using pngtest::Background;
using pngtest::Iend;
using pngtest::Image;

TColor PixelOf(TBitmap& bitmap, int x, int y) { return bitmap.GetCanvas()->GetPixel(x, y); }

TEST(PngDrawing, AlphaBlendsByTheFormula) {
  struct Case {
    std::uint8_t source, alpha;
    std::uint8_t expected;  // over a background of 100
  };
  for (const Case& c : {Case{200, 128, 150}, Case{200, 0, 100}, Case{200, 255, 200}, Case{0, 64, 75}}) {
    SCOPED_TRACE(int{c.alpha});
    auto picture = pngtest::Load(Image(1, 1, 8, 6, {{c.source, c.source, c.source, c.alpha}}));
    auto target = Background(1, 1, 0x646464);
    target->GetCanvas()->Draw(0, 0, picture.get());
    EXPECT_EQ(PixelOf(*target, 0, 0), TColor(c.expected * 0x010101));
  }
}

TEST(PngDrawing, GrayWithAlphaBlends) {
  auto picture = pngtest::Load(Image(1, 1, 8, 4, {{200, 128}}));
  auto target = Background(1, 1, 0x646464);
  target->GetCanvas()->Draw(0, 0, picture.get());
  EXPECT_EQ(PixelOf(*target, 0, 0), TColor(0x969696));
}

TEST(PngDrawing, PaletteTransparency) {
  const Bytes plte = Chunk("PLTE", {200, 200, 200, 10, 20, 30});
  // Entry 0 half transparent: blended.
  auto partial = pngtest::Load(Image(2, 1, 8, 3, {{0, 1}}, {plte, Chunk("tRNS", {128})}));
  ASSERT_EQ(partial->GetTransparencyMode(), tmPartial);
  auto target = Background(2, 1, 0x646464);
  target->GetCanvas()->Draw(0, 0, partial.get());
  EXPECT_EQ(PixelOf(*target, 0, 0), TColor(0x969696));
  EXPECT_EQ(PixelOf(*target, 1, 0), TColor(0x1E140A));

  // Entry 0 fully transparent: through the mask.
  auto single = pngtest::Load(Image(2, 1, 8, 3, {{0, 1}}, {plte, Chunk("tRNS", {0})}));
  ASSERT_EQ(single->GetTransparencyMode(), tmSingleColor);
  auto masked = Background(4, 2, 0x646464);
  masked->GetCanvas()->StretchDraw(win::RECT{0, 0, 4, 2}, single.get());
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(PixelOf(*masked, 0, y), TColor(0x646464));
    EXPECT_EQ(PixelOf(*masked, 1, y), TColor(0x646464));
    EXPECT_EQ(PixelOf(*masked, 2, y), TColor(0x1E140A));
    EXPECT_EQ(PixelOf(*masked, 3, y), TColor(0x1E140A));
  }
}

TEST(PngDrawing, GrayTransparentColorThroughTheMask) {
  auto picture = pngtest::Load(Image(2, 1, 8, 0, {{7, 9}}, {Chunk("tRNS", {0, 7})}));
  auto target = Background(2, 1, 0x0000FF);
  target->GetCanvas()->Draw(0, 0, picture.get());
  EXPECT_EQ(PixelOf(*target, 0, 0), TColor(0x0000FF));
  EXPECT_EQ(PixelOf(*target, 1, 0), TColor(0x090909));
}

TEST(PngDrawing, PaletteIndexPastThePaletteIsBlack) {
  auto picture = pngtest::Load(Image(2, 1, 8, 3, {{0, 5}}, {Chunk("PLTE", {200, 200, 200}), Chunk("tRNS", {128})}));
  auto target = Background(2, 1, 0xFFFFFF);
  ASSERT_NO_THROW(target->GetCanvas()->Draw(0, 0, picture.get()));
  EXPECT_EQ(PixelOf(*target, 1, 0), TColor(0));
}

TEST(PngDrawing, ScalingRepeatsColumnsAndComparesBothDimensions) {
  // Plain image twice as wide.
  auto plain = pngtest::Load(Image(2, 1, 8, 2, {{10, 20, 30, 40, 50, 60}}));
  auto wide = Background(4, 1, 0);
  wide->GetCanvas()->StretchDraw(win::RECT{0, 0, 4, 1}, plain.get());
  EXPECT_EQ(PixelOf(*wide, 0, 0), TColor(0x1E140A));
  EXPECT_EQ(PixelOf(*wide, 1, 0), TColor(0x1E140A));
  EXPECT_EQ(PixelOf(*wide, 2, 0), TColor(0x3C3228));
  EXPECT_EQ(PixelOf(*wide, 3, 0), TColor(0x3C3228));

  // A 2x8 image into 4x4: the same area, still scaled.
  std::vector<Bytes> rows;
  for (std::uint8_t y = 0; y < 8; ++y) rows.push_back({y, y, y, 255, static_cast<std::uint8_t>(100 + y), 0, 0, 255});
  auto tall = pngtest::Load(Image(2, 8, 8, 6, rows));
  auto square = Background(4, 4, 0xFFFFFF);
  square->GetCanvas()->StretchDraw(win::RECT{0, 0, 4, 4}, tall.get());
  for (int y = 0; y < 4; ++y) {
    const int source_row = y * 2;
    EXPECT_EQ(PixelOf(*square, 1, y), TColor(source_row * 0x010101));
    EXPECT_EQ(PixelOf(*square, 2, y), TColor(100 + source_row));
  }
}

TEST(PngPicture, AssignNilEmpties) {
  auto picture = pngtest::Load(Image(1, 1, 8, 0, {{1}}));
  picture->Assign(nullptr);
  EXPECT_TRUE(picture->GetEmpty());
  EXPECT_EQ(picture->GetWidth(), 0);
  EXPECT_EQ(picture->GetHeight(), 0);
}

TEST(PngPicture, ResizeKeepsTheOverlapAndMakesNewAreaOpaqueBlack) {
  auto picture = pngtest::Load(Image(1, 1, 8, 6, {{10, 20, 30, 40}}));
  picture->Resize(3, 2);
  EXPECT_EQ(picture->GetWidth(), 3);
  EXPECT_EQ(picture->GetHeight(), 2);
  EXPECT_EQ(picture->GetPixels(0, 0), TColor(0x1E140A));
  EXPECT_EQ(picture->AlphaScanline(0)[0], 40);
  EXPECT_EQ(picture->GetPixels(2, 1), TColor(0));
  EXPECT_EQ(picture->AlphaScanline(1)[2], 255);
}

TEST(PngPicture, AssignCopiesEveryChunk) {
  auto source = pngtest::Load(Image(2, 1, 8, 3, {{0, 1}}, {Chunk("PLTE", {1, 2, 3, 4, 5, 6}), Chunk("tRNS", {0})}));
  TPNGPicture copy;
  copy.Assign(source.get());
  EXPECT_EQ(pngtest::Save(copy), pngtest::Save(*source));
}

TEST(PngPicture, BitmapsInAndOut) {
  auto source = pngtest::Load(Image(2, 2, 8, 2, {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}}));
  TBitmap bitmap;
  bitmap.Assign(source.get());
  ASSERT_EQ(bitmap.GetWidth(), 2);
  EXPECT_EQ(PixelOf(bitmap, 1, 1), TColor(0x0C0B0A));
  TPNGPicture back;
  back.Assign(&bitmap);
  EXPECT_EQ(back.Header()->ColorType, 2);
  EXPECT_EQ(back.GetPixels(0, 1), TColor(0x090807));
  EXPECT_EQ(back.GetPixels(1, 0), TColor(0x060504));
}

TEST(PngPicture, PixelAccess) {
  // 2-bit gray keeps white white.
  auto gray = pngtest::Load(Image(4, 1, 2, 0, {{0x1B}}));
  EXPECT_EQ(gray->GetPixels(0, 0), TColor(0));
  EXPECT_EQ(gray->GetPixels(1, 0), TColor(0x555555));
  EXPECT_EQ(gray->GetPixels(2, 0), TColor(0xAAAAAA));
  EXPECT_EQ(gray->GetPixels(3, 0), TColor(0xFFFFFF));
  EXPECT_EQ(gray->GetPixels(4, 0), TColor(0));  // outside

  auto rgb = pngtest::Load(Image(1, 1, 8, 2, {{1, 2, 3}}));
  rgb->SetPixels(0, 0, 0x0A0B0C);
  rgb->SetPixels(5, 5, 0x0A0B0C);  // outside: nothing
  EXPECT_EQ(rgb->GetPixels(0, 0), TColor(0x0A0B0C));
}

TEST(PngPicture, PictureLoadsPngByExtension) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("png_test_" + std::to_string(getpid()) + ".PNG")).string();
  {
    const Bytes file = Image(3, 2, 8, 0, {{1, 2, 3}, {4, 5, 6}});
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
  }
  EXPECT_TRUE(TPicture::GraphicClassForExtension("png").InheritsFrom(TClass::Of<TPNGPicture>()));
  TPicture picture;
  picture.LoadFromFile(path);
  std::filesystem::remove(path);
  ASSERT_NE(dynamic_cast<TPNGPicture*>(picture.GetGraphic()), nullptr);
  EXPECT_EQ(picture.GetWidth(), 3);
  EXPECT_EQ(picture.GetHeight(), 2);
}

}  // namespace
}  // namespace dashtune

namespace dashtune {
namespace {

TEST(PngPicture, CanvasDrawsIntoTheImageWhileThereIsOne) {
  auto picture = pngtest::Load(Image(2, 2, 8, 2, {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}}));
  TCanvas* canvas = picture->GetCanvas();
  ASSERT_TRUE(canvas->HandleAllocated());
  canvas->GetBrush()->SetColor(0x332211);
  canvas->FillRect(win::RECT{1, 1, 2, 2});
  EXPECT_EQ(picture->GetPixels(1, 1), TColor(0x332211));
  EXPECT_EQ(picture->GetPixels(0, 0), TColor(0x030201));
  picture->Assign(nullptr);
  EXPECT_FALSE(canvas->HandleAllocated());
}

}  // namespace
}  // namespace dashtune

namespace dashtune {
namespace {

TEST(PngPicture, ClipboardFormatRoundTrip) {
  auto source = pngtest::Load(Image(2, 1, 8, 2, {{10, 20, 30, 40, 50, 60}}));
  std::uint16_t format = 0;
  win::HANDLE data = nullptr;
  win::HPALETTE palette = nullptr;
  source->SaveToClipboardFormat(format, data, palette);
  ASSERT_NE(data, nullptr);
  TPNGPicture back;
  back.LoadFromClipboardFormat(format, data, palette);
  win::DeleteObject(data);
  if (palette != nullptr) win::DeleteObject(palette);
  ASSERT_EQ(back.GetWidth(), 2);
  EXPECT_EQ(back.GetPixels(0, 0), TColor(0x1E140A));
  EXPECT_EQ(back.GetPixels(1, 0), TColor(0x3C3228));
}

}  // namespace
}  // namespace dashtune
