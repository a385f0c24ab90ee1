// TBitmap: BMP streams at every depth and row order, scan lines, pixel-format conversion, sizes,
// transparency, drawing and the clipboard pair; TIcon files and masked drawing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "classlib/bitmap.h"
#include "classlib/bmp_format.h"
#include "platform/gdi/gdi.h"
#include "platform/ole/clipboard.h"

namespace dashtune {
namespace {

using bmp::RowOrder;

// Black, red, green and white in turn (black and white at 1 bit).
std::uint32_t TestColour(int x, int y, int bits) {
  static const std::uint32_t kColours[] = {0x000000, 0x0000FF, 0x00FF00, 0xFFFFFF};
  const int i = (x + 2 * y) % 4;
  if (bits == 1) return (i % 2) ? 0xFFFFFF : 0x000000;
  return kColours[i];
}

bmp::Image TestImage(int width, int height, int bits, RowOrder order) {
  bmp::Image image = bmp::MakeImage(width, height, bits, order);
  if (bits == 1) image.colors = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  if (bits == 4 || bits == 8) image.colors = {{0, 0, 0, 0}, {0, 0, 255, 0}, {0, 255, 0, 0}, {255, 255, 255, 0}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) bmp::SetPixelRGB(image, x, y, TestColour(x, y, bits));
  return image;
}

void LoadBytes(TBitmap& bitmap, const std::vector<std::uint8_t>& bytes) {
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
  stream.SetPosition(0);
  bitmap.LoadFromStream(&stream);
}

std::vector<std::uint8_t> SaveBytes(TBitmap& bitmap) {
  TMemoryStream stream;
  bitmap.SaveToStream(&stream);
  return {stream.GetMemory(), stream.GetMemory() + stream.GetSize()};
}

struct DepthCase {
  int bits;
  TPixelFormat format;
  RowOrder order;
};

class BitmapStreamTest : public ::testing::TestWithParam<DepthCase> {};

TEST_P(BitmapStreamTest, LoadsScanLinesAndSavesTheSameBytes) {
  const auto [bits, format, order] = GetParam();
  const bmp::Image image = TestImage(7, 3, bits, order);
  const std::vector<std::uint8_t> file = bmp::Write(image);
  TBitmap bitmap;
  LoadBytes(bitmap, file);
  EXPECT_EQ(bitmap.GetWidth(), 7);
  EXPECT_EQ(bitmap.GetHeight(), 3);
  EXPECT_EQ(bitmap.GetPixelFormat(), format);
  // ScanLine counts rows from the top whatever the storage order.
  for (int y = 0; y < 3; ++y)
    EXPECT_EQ(std::memcmp(bitmap.GetScanLine(y), image.TopRow(y), win::gdi::DibRowStride(7, bits)), 0) << y;
  EXPECT_EQ(SaveBytes(bitmap), file);
  // The canvas reads the same colours through the device context.
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x)
      EXPECT_EQ(static_cast<std::uint32_t>(bitmap.GetCanvas()->GetPixel(x, y)), TestColour(x, y, bits)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(
    EveryDepthAndOrder, BitmapStreamTest,
    ::testing::Values(DepthCase{1, pf1bit, RowOrder::BottomUp}, DepthCase{1, pf1bit, RowOrder::TopDown},
                      DepthCase{4, pf4bit, RowOrder::BottomUp}, DepthCase{4, pf4bit, RowOrder::TopDown},
                      DepthCase{8, pf8bit, RowOrder::BottomUp}, DepthCase{8, pf8bit, RowOrder::TopDown},
                      DepthCase{24, pf24bit, RowOrder::BottomUp}, DepthCase{24, pf24bit, RowOrder::TopDown},
                      DepthCase{32, pf32bit, RowOrder::BottomUp}, DepthCase{32, pf32bit, RowOrder::TopDown}));

// The section of a new size is painted where it lies: white (alpha 0 at 32 bits) around the
// overlap, which keeps its pixels, at every depth and in both row orders; a new bitmap is white.
TEST_P(BitmapStreamTest, ResizingPaintsTheNewSectionInPlace) {
  const auto [bits, format, order] = GetParam();
  TBitmap bitmap;
  LoadBytes(bitmap, bmp::Write(TestImage(3, 2, bits, order)));
  bitmap.SetSize(9, 3);
  const bmp::Image image = bitmap.GetImage();
  EXPECT_EQ(image.row_order, order);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 9; ++x)
      EXPECT_EQ(bmp::PixelRGB(image, x, y), (x < 3 && y < 2) ? TestColour(x, y, bits) : 0xFFFFFFu) << x << "," << y;
  if (bits == 32) {
    EXPECT_EQ(static_cast<const std::uint8_t*>(bitmap.GetScanLine(2))[8 * 4 + 3], 0);
  }
  TBitmap fresh;
  fresh.SetPixelFormat(format);
  fresh.SetSize(5, 2);
  const bmp::Image blank = fresh.GetImage();
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(bmp::PixelRGB(blank, x, y), 0xFFFFFFu) << x << "," << y;
}

TEST(BitmapStream, MalformedDataRaisesTheInvalidGraphicException) {
  TBitmap bitmap;
  std::vector<std::uint8_t> file = bmp::Write(TestImage(4, 4, 24, RowOrder::BottomUp));
  file.resize(file.size() - 3);
  try {
    LoadBytes(bitmap, file);
    FAIL() << "no exception";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.GetMessage(), "Bitmap ist ungültig");
  }
  EXPECT_TRUE(bitmap.GetEmpty());
}

// A picture embedded in a longer stream: loaded from where the stream stands, which is left just
// past the picture's rows.
TEST(BitmapStream, LoadsFromTheMiddleOfAStreamAndStopsAfterThePicture) {
  const bmp::Image image = TestImage(5, 3, 24, RowOrder::BottomUp);
  const std::vector<std::uint8_t> file = bmp::Write(image);
  TMemoryStream stream;
  stream.WriteBuffer("head", 4);
  stream.WriteBuffer(file.data(), static_cast<int>(file.size()));
  stream.WriteBuffer("tail", 4);
  stream.SetPosition(4);
  TBitmap bitmap;
  bitmap.LoadFromStream(&stream);
  EXPECT_EQ(stream.GetPosition(), static_cast<std::int64_t>(4 + file.size()));
  EXPECT_EQ(bitmap.GetImage().bits, image.bits);
}

// A memory stream that keeps the largest read asked of it.
class WatchedStream : public TMemoryStream {
 public:
  int Read(void* buffer, int count) override {
    largest_read = std::max(largest_read, count);
    return TMemoryStream::Read(buffer, count);
  }
  int largest_read = 0;
};

// The header of an 8192 x 8192 32-bit picture followed by only 100 bytes.
std::vector<std::uint8_t> HugeHeader() {
  std::vector<std::uint8_t> huge = bmp::Write(TestImage(1, 1, 32, RowOrder::BottomUp));
  huge.resize(54 + 100);
  for (const std::size_t at : {std::size_t{18}, std::size_t{22}}) {
    huge[at] = 0;
    huge[at + 1] = 0x20;
  }
  return huge;
}

// A header that promises more rows than the stream holds is refused before a section is made
// and filled for it (the rows are never asked for), and the bitmap keeps the picture it had.
TEST(BitmapStream, AHeaderPromisingMoreThanTheStreamHoldsKeepsThePicture) {
  TBitmap bitmap;
  LoadBytes(bitmap, bmp::Write(TestImage(2, 2, 8, RowOrder::BottomUp)));
  const std::vector<std::uint8_t> before = SaveBytes(bitmap);
  const std::vector<std::uint8_t> huge = HugeHeader();
  WatchedStream stream;
  stream.WriteBuffer(huge.data(), static_cast<int>(huge.size()));
  stream.SetPosition(0);
  EXPECT_THROW(bitmap.LoadFromStream(&stream), EInvalidGraphic);
  EXPECT_LT(stream.largest_read, 100);
  EXPECT_EQ(SaveBytes(bitmap), before);
}

// A stream that reads forwards only and cannot tell its size (a pipe, say).
class ForwardStream : public TStream {
 public:
  explicit ForwardStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  int Read(void* buffer, int count) override {
    largest_read = std::max(largest_read, count);
    const int n = std::max(0, std::min(count, static_cast<int>(bytes_.size() - position_)));
    std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(n));
    position_ += static_cast<std::size_t>(n);
    return n;
  }
  int Write(const void*, int) override { return 0; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    if (origin == TSeekOrigin::soCurrent && offset == 0) return static_cast<std::int64_t>(position_);
    return -1;
  }
  int largest_read = 0;

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

TEST(BitmapStream, AStreamThatCannotTellItsSizeLoadsAllTheSame) {
  for (const int bits : {4, 32}) {
    const bmp::Image image = TestImage(6, 2, bits, RowOrder::TopDown);
    ForwardStream stream(bmp::Write(image));
    TBitmap bitmap;
    bitmap.LoadFromStream(&stream);
    EXPECT_EQ(bitmap.GetImage().bits, image.bits) << bits;
    std::vector<std::uint8_t> cut = bmp::Write(image);
    cut.pop_back();
    ForwardStream short_stream(cut);
    EXPECT_THROW(bitmap.LoadFromStream(&short_stream), EInvalidGraphic) << bits;
    EXPECT_EQ(bitmap.GetImage().bits, image.bits) << bits;
  }
  // Without a size to check against, the rows are read in pieces into memory of their own.
  ForwardStream huge(HugeHeader());
  TBitmap bitmap;
  EXPECT_THROW(bitmap.LoadFromStream(&huge), EInvalidGraphic);
  EXPECT_LE(huge.largest_read, 1 << 20);
}

TEST(BitmapScanLine, RowsOutsideTheImageRaiseTheInvalidOperationException) {
  TBitmap bitmap;
  EXPECT_THROW(bitmap.GetScanLine(0), EInvalidGraphicOperation);
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(2, 2);
  EXPECT_NE(bitmap.GetScanLine(1), nullptr);
  for (int row : {-1, 2}) {
    try {
      bitmap.GetScanLine(row);
      FAIL() << row;
    } catch (const EInvalidGraphicOperation& e) {
      EXPECT_EQ(e.GetMessage(), "Bereichsüberschreitung bei Zeilenindex");
    }
  }
}

TEST(BitmapPixelFormat, ConversionsKeepColoursTheNewTableHolds) {
  TBitmap bitmap;
  LoadBytes(bitmap, bmp::Write(TestImage(5, 4, 24, RowOrder::BottomUp)));
  const struct {
    TPixelFormat format;
    int bits;
  } steps[] = {{pf32bit, 32}, {pf8bit, 8}, {pf4bit, 4}, {pf24bit, 24}, {pf4bit, 4}, {pf32bit, 32}};
  for (const auto& step : steps) {
    bitmap.SetPixelFormat(step.format);
    EXPECT_EQ(bitmap.GetPixelFormat(), step.format);
    const bmp::Image image = bitmap.GetImage();
    EXPECT_EQ(image.bits_per_pixel, step.bits);
    // Black, red, green and white are in the 16-colour and the halftone tables.
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 5; ++x) EXPECT_EQ(bmp::PixelRGB(image, x, y), TestColour(x, y, 24)) << step.bits;
  }
  bitmap.SetPixelFormat(pf1bit);
  EXPECT_TRUE(bitmap.GetMonochrome());
  const bmp::Image mono = bitmap.GetImage();
  EXPECT_EQ(bmp::PixelRGB(mono, 3, 0), 0xFFFFFFu);  // white stays white
  EXPECT_EQ(bmp::PixelRGB(mono, 1, 0), 0u);         // pure red is nearer black
  EXPECT_THROW(bitmap.SetPixelFormat(pf16bit), EInvalidGraphic);
}

TEST(BitmapSize, ResizingKeepsTheOverlapAndFillsNewPixelsWhite) {
  TBitmap bitmap;
  LoadBytes(bitmap, bmp::Write(TestImage(3, 2, 8, RowOrder::BottomUp)));
  int changes = 0;
  bitmap.OnChange = [&](TObject*) { ++changes; };
  bitmap.SetSize(5, 3);
  EXPECT_EQ(changes, 1);
  const bmp::Image image = bitmap.GetImage();
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(bmp::PixelRGB(image, x, y), (x < 3 && y < 2) ? TestColour(x, y, 8) : 0xFFFFFFu) << x << "," << y;
  bitmap.SetWidth(0);
  EXPECT_TRUE(bitmap.GetEmpty());
  EXPECT_EQ(bitmap.GetPixelFormat(), pf8bit);
}

TEST(BitmapTransparency, AutomaticColourIsTheBottomLeftPixelAndDrawingSkipsIt) {
  TBitmap sprite;
  sprite.SetPixelFormat(pf24bit);
  sprite.SetSize(2, 2);
  TCanvas* canvas = sprite.GetCanvas();
  canvas->GetBrush()->SetColor(clLime);
  canvas->FillRect(win::RECT{0, 0, 2, 2});
  canvas->SetPixel(1, 0, clRed);
  EXPECT_EQ(sprite.GetTransparentColor(), clLime | 0x02000000);
  sprite.SetTransparent(true);

  TBitmap target;
  target.SetPixelFormat(pf32bit);
  target.SetSize(4, 4);
  target.GetCanvas()->GetBrush()->SetColor(clBlue);
  target.GetCanvas()->FillRect(win::RECT{0, 0, 4, 4});
  target.GetCanvas()->StretchDraw(win::RECT{0, 0, 4, 4}, &sprite);
  // Each sprite pixel covers 2 x 2 target pixels; only the red one is drawn.
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(target.GetCanvas()->GetPixel(x, y), (x >= 2 && y < 2) ? clRed : clBlue) << x << "," << y;

  sprite.SetTransparentColor(clRed);
  EXPECT_EQ(sprite.GetTransparentMode(), tmFixed);
  target.GetCanvas()->Draw(0, 0, &sprite);
  EXPECT_EQ(target.GetCanvas()->GetPixel(0, 0), clLime);
  EXPECT_EQ(target.GetCanvas()->GetPixel(1, 0), clBlue);  // red is now the transparent colour
}

TEST(BitmapClipboard, RoundTripsThroughTheClipboardAsABitmap) {
  TBitmap source;
  LoadBytes(source, bmp::Write(TestImage(6, 5, 4, RowOrder::TopDown)));
  std::uint16_t format = 0;
  win::HANDLE data = nullptr;
  win::HPALETTE palette = nullptr;
  source.SaveToClipboardFormat(format, data, palette);
  EXPECT_EQ(format, win::CF_BITMAP);
  ASSERT_NE(data, nullptr);
  ASSERT_TRUE(win::OpenClipboard(nullptr));
  ASSERT_TRUE(win::EmptyClipboard());
  win::SetClipboardData(format, data);
  win::SetClipboardData(win::CF_PALETTE, palette);

  TBitmap copy;
  copy.LoadFromClipboardFormat(win::CF_BITMAP, win::GetClipboardData(win::CF_BITMAP),
                               static_cast<win::HPALETTE>(win::GetClipboardData(win::CF_PALETTE)));
  EXPECT_TRUE(win::EmptyClipboard());
  EXPECT_TRUE(win::CloseClipboard());
  const bmp::Image image = copy.GetImage();
  EXPECT_EQ(copy.GetPixelFormat(), pf4bit);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(bmp::PixelRGB(image, x, y), TestColour(x, y, 4));
  EXPECT_THROW(copy.LoadFromClipboardFormat(win::CF_DIB, data, nullptr), EInvalidGraphic);
}

TEST(BitmapAssign, CopiesPixelsAndTransparencyAndNilEmpties) {
  TBitmap source;
  LoadBytes(source, bmp::Write(TestImage(3, 3, 32, RowOrder::BottomUp)));
  source.SetTransparentColor(clWhite);
  source.SetTransparent(true);
  TBitmap copy;
  copy.Assign(&source);
  EXPECT_NE(copy.GetHandle(), source.GetHandle());
  EXPECT_EQ(SaveBytes(copy), SaveBytes(source));
  EXPECT_TRUE(copy.GetTransparent());
  EXPECT_EQ(copy.GetTransparentColor(), clWhite);
  copy.Assign(nullptr);
  EXPECT_TRUE(copy.GetEmpty());
}

TEST(Icon, FileRoundTripAndMaskedDrawing) {
  TBitmap colour;
  colour.SetPixelFormat(pf24bit);
  colour.SetSize(2, 2);
  colour.GetCanvas()->GetBrush()->SetColor(clBlack);
  colour.GetCanvas()->FillRect(win::RECT{0, 0, 2, 2});
  colour.GetCanvas()->SetPixel(0, 0, clRed);
  TBitmap mask;
  mask.SetPixelFormat(pf1bit);
  mask.SetSize(2, 2);  // white: every pixel transparent
  mask.GetCanvas()->SetPixel(0, 0, clBlack);
  TIcon icon;
  icon.SetBitmaps(&colour, &mask);

  TMemoryStream stream;
  icon.SaveToStream(&stream);
  const std::uint8_t* bytes = stream.GetMemory();
  EXPECT_EQ(bytes[2], 1);   // icon resource type
  EXPECT_EQ(bytes[4], 1);   // one image
  EXPECT_EQ(bytes[6], 2);   // width
  EXPECT_EQ(bytes[22 + 8], 4);  // the info header counts image and mask rows
  stream.SetPosition(0);
  TIcon loaded;
  loaded.LoadFromStream(&stream);
  EXPECT_EQ(loaded.GetWidth(), 2);
  EXPECT_THROW(loaded.SetWidth(3), EInvalidGraphicOperation);

  TBitmap target;
  target.SetPixelFormat(pf24bit);
  target.SetSize(2, 2);
  target.GetCanvas()->GetBrush()->SetColor(clBlue);
  target.GetCanvas()->FillRect(win::RECT{0, 0, 2, 2});
  target.GetCanvas()->Draw(0, 0, &loaded);
  EXPECT_EQ(target.GetCanvas()->GetPixel(0, 0), clRed);
  EXPECT_EQ(target.GetCanvas()->GetPixel(1, 1), clBlue);

  std::vector<std::uint8_t> broken(stream.GetMemory(), stream.GetMemory() + 30);
  TMemoryStream short_stream;
  short_stream.WriteBuffer(broken.data(), static_cast<int>(broken.size()));
  short_stream.SetPosition(0);
  EXPECT_THROW(loaded.LoadFromStream(&short_stream), EInvalidGraphic);
}

}  // namespace
}  // namespace dashtune

namespace dashtune {
namespace {

// ImageMagick's convert writes the file the picture container loads by its extension, and reads
// back what the bitmap saves.
TEST(BitmapPeerIntegration, PictureLoadsThePeersFileAndThePeerReadsOurs) {
  if (std::system("convert -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick convert is not installed";
  const std::string dir = ::testing::TempDir();
  // Four pixels: red, green, blue, white (rows top-down).
  const unsigned char rgb[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
  {
    std::ofstream out(dir + "peer_in.rgb", std::ios::binary);
    out.write(reinterpret_cast<const char*>(rgb), sizeof rgb);
  }
  ASSERT_EQ(std::system(("convert -size 2x2 -depth 8 rgb:" + dir + "peer_in.rgb -type Palette -compress None BMP3:" +
                         dir + "peer.bmp 2>/dev/null")
                            .c_str()),
            0);
  TPicture picture;
  picture.LoadFromFile(dir + "peer.bmp");
  auto* bitmap = dynamic_cast<TBitmap*>(picture.GetGraphic());
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->GetCanvas()->GetPixel(0, 0), clRed);
  EXPECT_EQ(bitmap->GetCanvas()->GetPixel(1, 0), clLime);
  EXPECT_EQ(bitmap->GetCanvas()->GetPixel(0, 1), clBlue);
  EXPECT_EQ(bitmap->GetCanvas()->GetPixel(1, 1), clWhite);

  bitmap->SetPixelFormat(pf32bit);
  picture.SaveToFile(dir + "ours.bmp");
  ASSERT_EQ(std::system(("convert " + dir + "ours.bmp -depth 8 rgb:" + dir + "peer_out.rgb 2>/dev/null").c_str()), 0);
  std::ifstream in(dir + "peer_out.rgb", std::ios::binary);
  const std::vector<char> back{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_EQ(back.size(), sizeof rgb);
  EXPECT_EQ(std::memcmp(back.data(), rgb, sizeof rgb), 0);
}

}  // namespace
}  // namespace dashtune

namespace dashtune {
namespace {

win::HPALETTE PaletteOf(std::initializer_list<win::COLORREF> colours) {
  std::vector<std::uint8_t> buffer(sizeof(win::LOGPALETTE) + colours.size() * sizeof(win::PALETTEENTRY));
  auto* palette = reinterpret_cast<win::LOGPALETTE*>(buffer.data());
  palette->palVersion = 0x300;
  palette->palNumEntries = static_cast<win::WORD>(colours.size());
  int i = 0;
  for (win::COLORREF c : colours)
    palette->palPalEntry[i++] = win::PALETTEENTRY{win::GetRValue(c), win::GetGValue(c), win::GetBValue(c), 0};
  return win::CreatePalette(palette);
}

TEST(BitmapPalette, ANewPaletteRecoloursTheIndicesOfAPaletteBitmap) {
  TBitmap bitmap;
  LoadBytes(bitmap, bmp::Write(TestImage(4, 1, 4, RowOrder::BottomUp)));  // black, red, green, white
  int changes = 0;
  bitmap.OnChange = [&](TObject*) { ++changes; };
  bitmap.SetPalette(PaletteOf({win::RGB(0, 0, 255), win::RGB(1, 1, 1), win::RGB(2, 2, 2), win::RGB(3, 3, 3)}));
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(bitmap.GetPaletteModified());
  EXPECT_EQ(bitmap.GetCanvas()->GetPixel(0, 0), clBlue);  // index 0 now blue
  EXPECT_EQ(bitmap.GetCanvas()->GetPixel(3, 0), static_cast<TColor>(0x030303));
  win::PALETTEENTRY first{};
  ASSERT_EQ(win::GetPaletteEntries(bitmap.GetPalette(), 0, 1, &first), 1u);
  EXPECT_EQ(first.peBlue, 255);
}

// A DIB section of width x height pixels; `colors` (at most 4) become its colour table.
win::HBITMAP MakeSection(int width, int height, int bits, const std::vector<win::RGBQUAD>& colors,
                         std::uint8_t** pixels) {
  struct {
    win::BITMAPINFOHEADER header{};
    win::RGBQUAD colors[4]{};
  } info;
  info.header.biSize = sizeof(win::BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<win::WORD>(bits);
  info.header.biCompression = win::BI_RGB;
  info.header.biClrUsed = static_cast<win::DWORD>(colors.size());
  std::copy(colors.begin(), colors.end(), info.colors);
  void* memory = nullptr;
  const win::HBITMAP section = win::CreateDIBSection(nullptr, reinterpret_cast<win::BITMAPINFO*>(&info),
                                                     win::DIB_RGB_COLORS, &memory, nullptr, 0);
  *pixels = static_cast<std::uint8_t*>(memory);
  return section;
}

TEST(BitmapHandle, ASectionIsKeptWithItsPixelsWhereTheyAre) {
  // 8 bits, top-down: the rows stay where they were written, with the section's table.
  std::uint8_t* pixels = nullptr;
  const win::HBITMAP section = MakeSection(5, -3, 8, {{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}}, &pixels);
  ASSERT_NE(section, nullptr);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) pixels[y * 8 + x] = static_cast<std::uint8_t>((x + y) % 3);
  TBitmap bitmap;
  int changes = 0;
  bitmap.OnChange = [&](TObject*) { ++changes; };
  bitmap.SetHandle(section);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(bitmap.GetHandle(), section);
  EXPECT_EQ(bitmap.GetScanLine(0), pixels);
  EXPECT_EQ(bitmap.GetPixelFormat(), pf8bit);
  EXPECT_EQ(bitmap.GetWidth(), 5);
  EXPECT_EQ(bitmap.GetHeight(), 3);
  const TColor colours[] = {clRed, clLime, clBlue};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(bitmap.GetCanvas()->GetPixel(x, y), colours[(x + y) % 3]) << x << "," << y;
  win::PALETTEENTRY third{};
  ASSERT_EQ(win::GetPaletteEntries(bitmap.GetPalette(), 2, 1, &third), 1u);
  EXPECT_EQ(third.peBlue, 255);
  EXPECT_EQ(third.peRed, 0);

  // 24 bits, bottom-up: row 0 is the last in memory.
  const win::HBITMAP wide = MakeSection(2, 4, 24, {}, &pixels);
  ASSERT_NE(wide, nullptr);
  pixels[3 * 8 + 2] = 0xFF;  // red of the top-left pixel
  bitmap.SetHandle(wide);
  EXPECT_EQ(bitmap.GetHandle(), wide);
  EXPECT_EQ(bitmap.GetScanLine(0), pixels + 3 * 8);
  EXPECT_EQ(bitmap.GetPixelFormat(), pf24bit);
  EXPECT_EQ(bitmap.GetCanvas()->GetPixel(0, 0), clRed);
}

TEST(BitmapHandle, ASectionAContextHoldsAndOtherBitmapsAreCopied) {
  std::uint8_t* pixels = nullptr;
  const win::HBITMAP section = MakeSection(3, 1, 8, {{0, 0, 0, 0}, {255, 255, 255, 0}}, &pixels);
  pixels[1] = 1;
  const win::HDC dc = win::CreateCompatibleDC(nullptr);
  const win::HGDIOBJ previous = win::SelectObject(dc, section);
  TBitmap bitmap;
  bitmap.SetHandle(section);
  EXPECT_NE(bitmap.GetHandle(), section);
  EXPECT_EQ(bitmap.GetCanvas()->GetPixel(0, 0), clBlack);
  EXPECT_EQ(bitmap.GetCanvas()->GetPixel(1, 0), clWhite);
  // The context still draws on the caller's section.
  EXPECT_EQ(win::GetPixel(dc, 1, 0), win::RGB(255, 255, 255));
  win::SelectObject(dc, previous);
  win::DeleteDC(dc);
  win::DeleteObject(section);

  const std::uint8_t row[2] = {0x40, 0};  // the second pixel set
  bitmap.SetHandle(win::CreateBitmap(3, 1, 1, 1, row));
  EXPECT_EQ(bitmap.GetPixelFormat(), pf1bit);
  EXPECT_EQ(bitmap.GetCanvas()->GetPixel(0, 0), clBlack);
  EXPECT_EQ(bitmap.GetCanvas()->GetPixel(1, 0), clWhite);
}

TEST(BitmapEquals, EqualPixelsAndClassAreEqual) {
  TBitmap a, b;
  LoadBytes(a, bmp::Write(TestImage(3, 3, 24, RowOrder::BottomUp)));
  LoadBytes(b, bmp::Write(TestImage(3, 3, 24, RowOrder::BottomUp)));
  EXPECT_TRUE(a.Equals(&b));
  b.GetCanvas()->SetPixel(1, 1, clRed);
  EXPECT_FALSE(a.Equals(&b));
  TBitmap empty1, empty2;
  EXPECT_TRUE(empty1.Equals(&empty2));
  EXPECT_FALSE(a.Equals(&empty1));
  EXPECT_FALSE(a.Equals(nullptr));
}

}  // namespace
}  // namespace dashtune
