// The GIF stream: utilities, header and signature, the block loop, extensions and their registry,
// colour tables, and every exception and warning text of the reader with its sender.
#include <gtest/gtest.h>

#include <cstring>

#include "classlib/bitmap.h"
#include "gif_test_support.h"
#include "platform/gdi/gdi.h"

namespace dashtune {
namespace {

using giftest::Bytes;
using giftest::Concat;
using giftest::Descriptor;
using giftest::GrayTable;
using giftest::Header;
using giftest::ImageData;

Bytes StreamBytes(TMemoryStream& stream) {
  Bytes out(static_cast<std::size_t>(stream.GetSize()));
  stream.SetPosition(0);
  if (!out.empty()) stream.ReadBuffer(out.data(), static_cast<int>(out.size()));
  return out;
}

void Fill(TMemoryStream& stream, const Bytes& bytes) {
  stream.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
  stream.SetPosition(0);
}

// A 2 x 2 image of four grays with the given extensions before it.
Bytes SmallFile(const Bytes& before_image = {}, const Bytes& after = {0x3B}) {
  return Concat({Header(2, 2, GrayTable(4)), before_image, Descriptor(0, 0, 2, 2), ImageData({0, 1, 2, 3}, 2), after});
}

TEST(GifUtilities, ColorsToBitsPerPixel) {
  const std::pair<int, int> cases[] = {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {17, 5}, {256, 8}};
  for (auto [colors, bits] : cases) EXPECT_EQ(gif::ColorsToBitsPerPixel(colors), bits) << colors;
}

TEST(GifUtilities, BytesPerScanlineRoundsToTheAlignment) {
  EXPECT_EQ(gif::BytesPerScanline(3, 24, 32), 12u);
  EXPECT_EQ(gif::BytesPerScanline(17, 1, 16), 4u);
  EXPECT_EQ(gif::BytesPerScanline(5, 8, 32), 8u);
}

TEST(GifUtilities, StringsAreWrittenAsSubBlocksAndReadBackPerBlock) {
  TStringList lines;
  lines.Add(std::string(300, 'x'));
  lines.Add("");
  lines.Add("end");
  TMemoryStream stream;
  gif::WriteStrings(&stream, &lines);
  const Bytes bytes = StreamBytes(stream);
  ASSERT_EQ(bytes.size(), 1u + 255 + 1 + 45 + 1 + 3 + 1);
  EXPECT_EQ(bytes[0], 255);
  EXPECT_EQ(bytes[256], 45);
  EXPECT_EQ(bytes[302], 3);
  EXPECT_EQ(bytes.back(), 0);
  stream.SetPosition(0);
  TStringList read;
  gif::ReadStrings(&stream, &read);
  ASSERT_EQ(read.GetCount(), 3);
  EXPECT_EQ(read.Get(0), std::string(255, 'x'));
  EXPECT_EQ(read.Get(1), std::string(45, 'x'));
  EXPECT_EQ(read.Get(2), "end");
}

TEST(GifUtilities, ReadStringsKeepsZeroBytesAndShortBlocksRaise) {
  TMemoryStream stream;
  Fill(stream, {4, 'a', 0, 'b', 'c', 1, 0, 0});
  TStringList lines;
  gif::ReadStrings(&stream, &lines);
  ASSERT_EQ(lines.GetCount(), 2);
  EXPECT_EQ(lines.Get(0), std::string("a\0bc", 4));
  EXPECT_EQ(lines.Get(1), std::string(1, '\0'));
  TMemoryStream short_stream;
  Fill(short_stream, {5, 'a', 'b'});
  try {
    gif::ReadStrings(&short_stream, &lines);
    FAIL();
  } catch (const GIFException& e) {
    EXPECT_EQ(e.GetMessage(), "Premature end of data");
  }
}

TEST(GifUtilities, WebPaletteEntries) {
  const win::HPALETTE palette = gif::WebPalette();
  const std::vector<win::PALETTEENTRY> entries = gif::PaletteEntries(palette);
  win::DeleteObject(palette);
  ASSERT_EQ(entries.size(), 216u);
  const win::PALETTEENTRY e = entries[36 * 5 + 6 * 2 + 1];
  EXPECT_EQ(e.peRed, 255);
  EXPECT_EQ(e.peGreen, 102);
  EXPECT_EQ(e.peBlue, 51);
  EXPECT_EQ(e.peFlags, 0);
}

TEST(GifDIBWriter, EightBitTableAndBottomUpRows) {
  std::vector<win::PALETTEENTRY> entries;
  for (int i = 0; i < 16; ++i) entries.push_back({static_cast<win::BYTE>(i * 16), 1, 2, 0});
  const win::HPALETTE palette = gif::MakePalette(entries);
  TBitmap bitmap;
  TDIBWriter writer(&bitmap, pf8bit, 3, 2, palette);
  writer.Scanline(0)[0] = 7;
  writer.Scanline(1)[0] = 9;
  const Bytes image = writer.BmpImage();
  win::DeleteObject(palette);
  ASSERT_EQ(image.size(), 14u + 40 + 1024 + 4 * 2);
  EXPECT_EQ(image[0], 'B');
  EXPECT_EQ(image[1], 'M');
  EXPECT_EQ(gif::LittleEndian32(image.data() + 10), 14u + 40 + 1024);
  EXPECT_EQ(gif::LittleEndian32(image.data() + 14 + 32), 256u);  // biClrUsed
  EXPECT_EQ(gif::LittleEndian32(image.data() + 14 + 36), 16u);   // biClrImportant
  const std::uint8_t* table = image.data() + 14 + 40;
  EXPECT_EQ(table[4 * 15 + 2], 240);  // red of entry 15, in RGBQUAD order
  EXPECT_EQ(table[4 * 15 + 0], 2);
  for (int i = 16; i < 256; ++i) EXPECT_EQ(gif::LittleEndian32(table + 4 * i), 0u) << i;
  // Row 0 is the last row in memory.
  EXPECT_EQ(image[14 + 40 + 1024 + 4], 7);
  EXPECT_EQ(image[14 + 40 + 1024], 9);
  writer.UpdateBitmap();
  EXPECT_EQ(bitmap.GetWidth(), 3);
  EXPECT_EQ(static_cast<const std::uint8_t*>(bitmap.GetScanLine(0))[0], 7);
}

TEST(GifDIBWriter, TheBitmapEqualsItsBmpImageLoadedFromAStream) {
  // The writer hands the bitmap its section with the layout it made it with; loading the same
  // image as a BMP file gives the same pixels, colour table and palette.
  std::vector<win::PALETTEENTRY> entries;
  for (int i = 0; i < 5; ++i) entries.push_back({static_cast<win::BYTE>(i * 50), static_cast<win::BYTE>(255 - i), 9, 0});
  const win::HPALETTE palette = gif::MakePalette(entries);
  for (const TPixelFormat format : {pf8bit, pf24bit}) {
    TBitmap written;
    TBitmap loaded;
    {
      TDIBWriter writer(&written, format, 5, 3, palette);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) writer.Scanline(y)[x] = static_cast<std::uint8_t>(x + 7 * y);
      const Bytes image = writer.BmpImage();
      TMemoryStream stream;
      stream.WriteBuffer(image.data(), static_cast<int>(image.size()));
      stream.SetPosition(0);
      loaded.LoadFromStream(&stream);
    }
    const bmp::Image a = written.GetImage(), b = loaded.GetImage();
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.row_order, b.row_order);
    EXPECT_EQ(a.bits_per_pixel, b.bits_per_pixel);
    EXPECT_EQ(a.colors, b.colors);
    EXPECT_EQ(a.bits, b.bits);
    const auto written_palette = gif::PaletteEntries(written.GetPalette());
    const auto loaded_palette = gif::PaletteEntries(loaded.GetPalette());
    ASSERT_EQ(written_palette.size(), loaded_palette.size());
    EXPECT_EQ(std::memcmp(written_palette.data(), loaded_palette.data(), written_palette.size() * sizeof(win::PALETTEENTRY)), 0);
    if (format == pf8bit) {
      ASSERT_EQ(a.colors.size(), 256u);
      EXPECT_EQ(a.colors[4], (bmp::Quad{9, 251, 200, 0}));
      EXPECT_EQ(a.colors[5], (bmp::Quad{}));
    }
  }
  win::DeleteObject(palette);
}

TEST(GifDIBWriter, TheBitmapKeepsTheRowsWhereTheyWereWritten) {
  TBitmap bitmap;
  std::uint8_t* top = nullptr;
  {
    TDIBWriter writer(&bitmap, pf24bit, 2, 3, nullptr);
    top = writer.Scanline(0);
    top[2] = 0xFF;  // red of the top-left pixel
    writer.Scanline(2)[3] = 0xFF;  // blue of the bottom-right pixel
  }
  ASSERT_FALSE(bitmap.GetEmpty());
  EXPECT_EQ(bitmap.GetPixelFormat(), pf24bit);
  EXPECT_EQ(bitmap.GetScanLine(0), top);
  EXPECT_EQ(bitmap.GetCanvas()->GetPixel(0, 0), clRed);
  EXPECT_EQ(bitmap.GetCanvas()->GetPixel(1, 2), clBlue);
  EXPECT_EQ(bitmap.GetCanvas()->GetPixel(1, 0), clBlack);
  // A second writer gives the bitmap a new section and leaves nothing of the first.
  TDIBWriter again(&bitmap, pf8bit, 1, 1, nullptr);
  again.Scanline(0)[0] = 0;
  again.UpdateBitmap();
  EXPECT_EQ(bitmap.GetPixelFormat(), pf8bit);
  EXPECT_EQ(bitmap.GetWidth(), 1);
}

TEST(GifDIBWriter, RefusesFormatsSizesAndRows) {
  TBitmap bitmap;
  const auto message = [&](auto make) {
    try {
      make();
    } catch (const Exception& e) {
      return e.GetMessage();
    }
    return std::string();
  };
  EXPECT_EQ(message([&] { TDIBWriter w(&bitmap, pf4bit, 1, 1, nullptr); }), "Unsupported PixelFormat");
  EXPECT_EQ(message([&] { TDIBWriter w(&bitmap, pf8bit, 0, 1, nullptr); }), "Invalid image dimensions");
  EXPECT_EQ(message([&] {
              TDIBWriter w(&bitmap, pf24bit, 2, 2, nullptr);
              w.Scanline(2);
            }),
            "Bereichsüberschreitung bei Zeilenindex");
  EXPECT_EQ(message([&] {
              TDIBWriter w(&bitmap, pf8bit, 65535, 65535, nullptr);
              w.Scanline(0);
            }),
            "Failed to allocate memory for GIF DIB");
}

TEST(GifHeader, ForeignBytesBeforeTheHeaderAreSkippedOnce) {
  const auto loaded = giftest::Load(Concat({{1, 2, 3, 4}, SmallFile()}));
  EXPECT_EQ(loaded.error, "");
  EXPECT_EQ(loaded.picture->GetImages()->GetCount(), 1);
  EXPECT_EQ(giftest::Load(Concat({{1, 2, 3, 4, 5}, SmallFile()})).error, "Invalid GIF signature");
  EXPECT_EQ(giftest::Load({'G', 'I', 'F'}).error, "Premature end of data");
}

TEST(GifHeader, VersionIsNotCheckedOnReading) {
  Bytes file = SmallFile();
  file[3] = '8';
  file[4] = '8';
  file[5] = 'z';
  const auto loaded = giftest::Load(file);
  EXPECT_EQ(loaded.error, "");
  EXPECT_EQ(loaded.picture->GetImages()->GetCount(), 1);
}

TEST(GifBlocks, ZeroBytesBetweenBlocksAndAMissingTrailerAreAccepted) {
  const Bytes file = Concat({Header(2, 2, GrayTable(4)), {0, 0}, Descriptor(0, 0, 2, 2), ImageData({0, 1, 2, 3}, 2),
                             {0, 0}, Descriptor(0, 0, 2, 2), ImageData({3, 2, 1, 0}, 2), {0}});
  const auto loaded = giftest::Load(file);
  EXPECT_EQ(loaded.error, "");
  EXPECT_TRUE(loaded.warnings.empty());
  ASSERT_EQ(loaded.picture->GetImages()->GetCount(), 2);
  EXPECT_EQ(loaded.picture->GetImages()->GetFrame(1)->GetPixel(0, 0), 3);
}

TEST(GifBlocks, ReaderMessagesByInput) {
  struct Case {
    const char* name;
    Bytes file;
    std::string error;
    std::vector<std::string> warnings;
    int frames;
  };
  const Bytes image = Concat({Descriptor(0, 0, 2, 2), ImageData({0, 1, 2, 3}, 2)});
  const Case cases[] = {
      {"unknown block", Concat({Header(2, 2, GrayTable(4)), image, {0x00, 0x42}}), "",
       {"Unknown GIF block type", "Invalid Image trailer"}, 1},
      // The block loop meets the byte first; the trailer then reads it too.
      {"bad trailer", SmallFile({}, {0x99}), "", {"Unknown GIF block type", "Invalid Image trailer"}, 1},
      // An extension no class reads is skipped by its sub-blocks; one cut short still raises.
      {"unknown extension", SmallFile({0x21, 0x02, 0}), "", {"Unknown extension type"}, 1},
      {"unknown extension with data", SmallFile({0x21, 0x02, 3, 1, 2, 3, 2, 0x2C, 0x3B, 0}), "",
       {"Unknown extension type"}, 1},
      {"unknown extension cut short", Concat({Header(2, 2, GrayTable(4)), {0x21, 0x02, 5, 1, 2}}),
       "Premature end of data", {"Unknown extension type"}, 0},
      {"unknown extension without terminator", Concat({Header(2, 2, GrayTable(4)), {0x21, 0x02, 1, 1}}),
       "Premature end of data", {"Unknown extension type"}, 0},
      {"extension without label", Concat({Header(2, 2, GrayTable(4)), {0x21}}), "Premature end of data",
       {"Unknown extension type"}, 0},
      {"short app block", SmallFile({0x21, 0xFF, 9, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 0}),
       "Unsupported Application Extension block size", {}, 0},
      {"loop sub-block too short",
       SmallFile(Concat({{0x21, 0xFF, 11}, Bytes{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'}, {2, 1, 5, 0}})),
       "Invalid GIF data", {}, 0},
      {"short graphic control", Concat({Header(2, 2, GrayTable(4)), {0x21, 0xF9, 4, 1}}), "",
       {"Premature end of data"}, 1},
      {"short table",
       [] {
         Bytes header = Header(2, 2, GrayTable(4));
         header.resize(header.size() - 2);
         return header;
       }(),
       "Premature end of data", {}, 0},
      {"zero width", Concat({Header(4, 3, GrayTable(4)), Descriptor(0, 0, 0, 2), ImageData(Bytes(12, 1), 2), {0x3B}}),
       "", {"Image exceeds Logical Screen size"}, 1},
      {"stray byte after an extension",
       Concat({Header(2, 2, GrayTable(4)), {0x21, 0xFE, 1, 'c', 0, 0x42}, image, {0x3B}}), "",
       {"Invalid extension introducer", "Unknown GIF block type", "Invalid Image trailer"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto loaded = giftest::Load(c.file);
    EXPECT_EQ(loaded.error, c.error);
    EXPECT_EQ(loaded.warnings, c.warnings);
    EXPECT_EQ(loaded.picture->GetImages()->GetCount(), c.frames);
  }
}

TEST(GifBlocks, WarningsCarryTheirBlockAsSender) {
  TGIFPicture picture;
  std::vector<std::string> senders;
  picture.OnWarning = [&](TObject* sender, int severity, const std::string&) {
    EXPECT_EQ(severity, 1);
    senders.push_back(sender->ClassName());
  };
  const Bytes file = Concat({Header(2, 2, GrayTable(4)), Descriptor(0, 0, 2, 2),
                             Bytes{2}, giftest::SubBlocks(giftest::PackCodes({{4, 3}, {0, 3}}), {255}), {0x99}});
  TMemoryStream stream;
  Fill(stream, file);
  picture.LoadFromStream(&stream);
  EXPECT_EQ(senders, (std::vector<std::string>{"TGIFSubImage", "TGIFFrameList", "TGIFTrailer"}));
}

TEST(GifBlocks, FramesBeforeAFailureStay) {
  const Bytes image = Concat({Descriptor(0, 0, 2, 2), ImageData({0, 1, 2, 3}, 2)});
  const Bytes file = Concat({Header(2, 2, GrayTable(4)), image, image, {0x21, 0xFF, 3, 'a', 'b', 'c', 0}, image, {0x3B}});
  const auto loaded = giftest::Load(file);
  EXPECT_EQ(loaded.error, "Unsupported Application Extension block size");
  EXPECT_EQ(loaded.picture->GetImages()->GetCount(), 2);
}

TEST(GifBlocks, UnknownExtensionsAreSkippedAndEverythingElseLoadsAsGiflibReadsIt) {
  // Data that looks like blocks, and a sub-block of the largest size.
  const Bytes unknown = {0x21, 0x02, 4, 0x21, 0x2C, 0x3B, 0, 0};
  const Bytes long_unknown = Concat({{0x21, 0x03, 255}, Bytes(255, 9), {0}});
  const Bytes file =
      Concat({Header(2, 2, GrayTable(4)), unknown, giftest::ControlExtension(1, true, 3, 7), Descriptor(0, 0, 2, 2),
              ImageData({0, 1, 2, 3}, 2), long_unknown, Descriptor(0, 0, 2, 2), ImageData({3, 2, 1, 0}, 2), {0x3B}});
  const auto ref = giftest::GiflibRead(file);
  ASSERT_TRUE(ref.has_value());
  const auto loaded = giftest::Load(file);
  ASSERT_EQ(loaded.error, "");
  EXPECT_EQ(loaded.warnings, (std::vector<std::string>{"Unknown extension type", "Unknown extension type"}));
  EXPECT_EQ(giftest::CompareFrames(*ref, *loaded.picture), "");
  EXPECT_EQ(loaded.picture->GetImages()->GetFrame(0)->GetExtensions()->GetCount(), 1);
}

// A block that notes, when it is freed, its number and how many blocks its list still held.
class CountedBlock : public TGIFItem {
 public:
  CountedBlock(int number, const TGIFList* list, std::vector<int>* freed, std::uint64_t* still_held)
      : TGIFItem(nullptr), number_(number), list_(list), freed_(freed), still_held_(still_held) {}
  ~CountedBlock() override {
    freed_->push_back(number_);
    *still_held_ += static_cast<std::uint64_t>(list_->GetCount());
  }
  void SaveToStream(TStream*) override {}
  void LoadFromStream(TStream*) override {}

 private:
  int number_;
  const TGIFList* list_;
  std::vector<int>* freed_;
  std::uint64_t* still_held_;
};

TEST(GifBlocks, ClearingAListOfManyBlocksFreesEachOnceFrontFirstWithoutMovingTheRest) {
  constexpr int kBlocks = 100000;
  TGIFList list(nullptr);
  std::vector<int> freed;
  std::uint64_t still_held = 0;
  for (int i = 0; i < kBlocks; ++i) list.Add(std::make_unique<CountedBlock>(i, &list, &freed, &still_held));
  list.Clear();
  EXPECT_EQ(list.GetCount(), 0);
  ASSERT_EQ(freed.size(), static_cast<std::size_t>(kBlocks));
  for (int i = 0; i < kBlocks; ++i) ASSERT_EQ(freed[static_cast<std::size_t>(i)], i);
  // The work: a list that gives up its items one at a time from the front moves every block it
  // still holds down a place per block freed, kBlocks * (kBlocks - 1) / 2 moves in all.
  EXPECT_LE(still_held, static_cast<std::uint64_t>(kBlocks));
}

TEST(GifExtensions, ApplicationIdentifiersChooseTheirClass) {
  const Bytes loop = Concat({{0x21, 0xFF, 11}, Bytes{'A', 'N', 'I', 'M', 'E', 'X', 'T', 'S', '1', '.', '0'},
                             {5, 1, 7, 0, 9, 9, 0}});
  const Bytes other = Concat({{0x21, 0xFF, 11}, Bytes{'X', 'M', 'P', ' ', 'D', 'a', 't', 'a', 'X', 'M', 'P'},
                              {3, 'a', 'b', 'c', 1, 'd', 0}});
  // Ten identifier bytes: the reader goes on right after them, with their next byte as data.
  const Bytes ten = Concat({{0x21, 0xFF, 10}, Bytes{'S', 'H', 'O', 'R', 'T', 'I', 'D', 'E', 'N', 'T'}, {2, 'x', 'y', 0}});
  const auto loaded = giftest::Load(SmallFile(Concat({loop, other, ten})));
  ASSERT_EQ(loaded.error, "");
  TGIFExtensionList* extensions = loaded.picture->GetImages()->GetFrame(0)->GetExtensions();
  ASSERT_EQ(extensions->GetCount(), 3);
  auto* ns = dynamic_cast<TGIFAppExtNSLoop*>(extensions->GetExtension(0));
  ASSERT_NE(ns, nullptr);
  EXPECT_EQ(ns->Loops, 7);
  auto* unknown = dynamic_cast<TGIFUnknownAppExtension*>(extensions->GetExtension(1));
  ASSERT_NE(unknown, nullptr);
  ASSERT_EQ(unknown->GetBlocks().size(), 2u);
  EXPECT_EQ(unknown->GetBlocks()[1]->Data, Bytes{'d'});
  auto* short_id = dynamic_cast<TGIFUnknownAppExtension*>(extensions->GetExtension(2));
  ASSERT_NE(short_id, nullptr);
  ASSERT_EQ(short_id->GetBlocks().size(), 1u);
  EXPECT_EQ(short_id->GetBlocks()[0]->Data, (Bytes{'x', 'y'}));
}

TEST(GifExtensions, LoopExtensionBytes) {
  TGIFSubImage frame(nullptr);
  TGIFAppExtNSLoop loop(&frame);
  loop.Loops = 0x1234;
  TMemoryStream stream;
  loop.SaveToStream(&stream);
  EXPECT_EQ(StreamBytes(stream), Concat({{0x21, 0xFF, 11}, Bytes{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'},
                                         {3, 1, 0x34, 0x12, 0}}));
  loop.BufferSize = 0x01020304;
  TMemoryStream with_buffer;
  loop.SaveToStream(&with_buffer);
  const Bytes bytes = StreamBytes(with_buffer);
  EXPECT_EQ(Bytes(bytes.end() - 7, bytes.end()), (Bytes{5, 2, 4, 3, 2, 1, 0}));
}

TEST(GifExtensions, TextCommentAndControlRoundTrip) {
  const Bytes text = Concat({{0x21, 0x01, 12}, giftest::Le16(1), giftest::Le16(2), giftest::Le16(30), giftest::Le16(40),
                             {8, 16, 1, 2}, {5, 'h', 'e', 'l', 'l', 'o', 0}});
  const Bytes comment = {0x21, 0xFE, 3, 'o', 'n', 'e', 3, 't', 'w', 'o', 0};
  const Bytes control = giftest::ControlExtension(2, true, 3, 0x0102);
  const Bytes file = SmallFile(Concat({text, comment, control}));
  const auto loaded = giftest::Load(file);
  ASSERT_EQ(loaded.error, "");
  TGIFSubImage* frame = loaded.picture->GetImages()->GetFrame(0);
  auto* t = dynamic_cast<TGIFTextExtension*>(frame->GetExtensions()->GetExtension(0));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->GridWidth, 30);
  EXPECT_EQ(t->CharHeight, 16);
  EXPECT_EQ(t->GetText()->Get(0), "hello");
  auto* c = dynamic_cast<TGIFCommentExtension*>(frame->GetExtensions()->GetExtension(1));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->GetText()->GetCount(), 2);
  TGIFGraphicControlExtension* gce = frame->GetGraphicControlExtension();
  ASSERT_NE(gce, nullptr);
  EXPECT_EQ(gce->GetDisposal(), dmBackground);
  EXPECT_EQ(gce->GetDelay(), 0x0102);
  EXPECT_TRUE(frame->GetTransparent());
  // Written back block by block, the extensions are the bytes that were read.
  TMemoryStream stream;
  frame->GetExtensions()->SaveToStream(&stream);
  EXPECT_EQ(StreamBytes(stream), Concat({text, comment, control}));
}

TEST(GifExtensions, CommentsKeepTheirZeroBytesAndEmptyCommentsAreLeftOut) {
  const Bytes zero_inside = {0x21, 0xFE, 5, 'a', 'b', 0, 'c', 'd', 1, 0, 0};
  const Bytes only_zero = {0x21, 0xFE, 1, 0, 0};
  const Bytes file = SmallFile(Concat({zero_inside, only_zero}));
  const auto loaded = giftest::Load(file);
  ASSERT_EQ(loaded.error, "");
  TGIFSubImage* frame = loaded.picture->GetImages()->GetFrame(0);
  ASSERT_EQ(frame->GetExtensions()->GetCount(), 2);
  // Saved, the comments are the bytes that were read, and giflib reads them as they were.
  const Bytes saved = giftest::Save(*loaded.picture);
  const auto ref = giftest::GiflibRead(saved);
  ASSERT_TRUE(ref.has_value());
  ASSERT_EQ(ref->frames.size(), 1u);
  EXPECT_EQ(ref->frames[0].extensions, (std::vector<Bytes>{zero_inside, only_zero}));
  // A comment emptied by the program is not written: giflib would take the next block for its data.
  auto* comment = dynamic_cast<TGIFCommentExtension*>(frame->GetExtensions()->GetExtension(0));
  ASSERT_NE(comment, nullptr);
  comment->GetText()->Clear();
  comment->GetText()->Add("");
  const auto emptied = giftest::GiflibRead(giftest::Save(*loaded.picture));
  ASSERT_TRUE(emptied.has_value());
  ASSERT_EQ(emptied->frames.size(), 1u);
  EXPECT_EQ(emptied->frames[0].extensions, std::vector<Bytes>{only_zero});
  EXPECT_EQ(emptied->frames[0].pixels, (Bytes{0, 1, 2, 3}));
}

TEST(GifExtensions, ControlExtensionOwnsTheFramesTransparency) {
  TGIFPicture picture;
  auto frame = std::make_unique<TGIFSubImage>(&picture);
  frame->GetColorMap()->ImportQuads({{0, 0, 0, 0}, {255, 255, 255, 0}});
  std::vector<std::string> warnings;
  picture.OnWarning = [&](TObject*, int, const std::string& m) { warnings.push_back(m); };
  {
    auto first = std::make_unique<TGIFGraphicControlExtension>(frame.get());
    TGIFGraphicControlExtension second(frame.get());
    EXPECT_EQ(frame->GetGraphicControlExtension(), first.get());
    first->SetTransparent(true);
    EXPECT_TRUE(frame->GetTransparent());
    first->SetTransparentColorIndex(2);
    EXPECT_EQ(warnings, std::vector<std::string>{"Invalid color index"});
    EXPECT_EQ(first->GetTransparentColorIndex(), 0);
    first->SetDisposal(dmPrevious);
    EXPECT_EQ(first->GetPackedFields(), 0x0D);
  }
  EXPECT_FALSE(frame->GetTransparent());
  EXPECT_EQ(frame->GetGraphicControlExtension(), nullptr);
}

TEST(GifExtensions, RegistryAnswersTheLastRegistrationAndNothingForUnknownLabels) {
  EXPECT_FALSE(gif::FindExtension(0x02).has_value());
  EXPECT_TRUE(*gif::FindExtension(0xFE) == TGIFExtensionClass::Of<TGIFCommentExtension>());
  TGIFApplicationExtension::Identifier ident{};
  std::memcpy(ident.data(), "ANIMEXTS1.0", 11);
  EXPECT_TRUE(*gif::FindAppExtension(ident) == TGIFExtensionClass::Of<TGIFAppExtNSLoop>());
  // Finding the class keeps the stream where it was.
  TMemoryStream stream;
  Fill(stream, Concat({{0xFF, 11}, Bytes(ident.begin(), ident.end())}));
  EXPECT_TRUE(*gif::FindExtensionClass(&stream) == TGIFExtensionClass::Of<TGIFAppExtNSLoop>());
  EXPECT_EQ(stream.GetPosition(), 0);
}

class GifColorMapTest : public testing::Test {
 protected:
  TGIFPicture picture_;
  TGIFGlobalColorMap* map_ = picture_.GetHeader()->GetColorMap();
};

TEST_F(GifColorMapTest, CapacityGrowsBy16ThenBy32UpTo256) {
  std::vector<std::pair<int, int>> seen;
  for (int i = 0; i < 256; ++i) {
    map_->Add(static_cast<TColor>(i));
    if (i == 0 || i == 15 || i == 16 || i == 31 || i == 32 || i == 255) seen.push_back({i + 1, map_->GetCapacity()});
  }
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{1, 16}, {16, 16}, {17, 32}, {32, 32}, {33, 64}, {256, 256}}));
  try {
    map_->Add(clWhite);
    FAIL();
  } catch (const GIFException& e) {
    EXPECT_EQ(e.GetMessage(), "Color table overflow");
  }
}

TEST_F(GifColorMapTest, IndexOfPicksByTheOptimizedFlag) {
  map_->Add(clRed);
  map_->Add(clBlue);
  map_->Add(clRed);
  EXPECT_EQ(map_->IndexOf(clRed), 2);
  map_->SetOptimized(true);
  EXPECT_EQ(map_->IndexOf(clRed), 0);
  EXPECT_EQ(map_->IndexOf(clLime), -1);
}

TEST_F(GifColorMapTest, IndexErrors) {
  std::vector<std::string> warnings;
  picture_.OnWarning = [&](TObject*, int, const std::string& m) { warnings.push_back(m); };
  try {
    map_->GetColor(0);
    FAIL();
  } catch (const GIFException& e) {
    EXPECT_EQ(e.GetMessage(), "Color table is empty");
  }
  map_->Add(clRed);
  EXPECT_EQ(map_->GetColor(5), clRed);
  EXPECT_EQ(warnings, (std::vector<std::string>{"Invalid color index", "Invalid color index"}));
  try {
    map_->Delete(1);
    FAIL();
  } catch (const GIFException& e) {
    EXPECT_EQ(e.GetMessage(), "Invalid color index");
  }
}

TEST_F(GifColorMapTest, TablesArePaddedWithBlackWhenWritten) {
  for (int i = 1; i <= 5; ++i) map_->Add(static_cast<TColor>(0x010101 * i));
  TMemoryStream stream;
  map_->SaveToStream(&stream);
  const Bytes bytes = StreamBytes(stream);
  ASSERT_EQ(bytes.size(), 24u);
  EXPECT_EQ(Bytes(bytes.begin() + 12, bytes.begin() + 15), (Bytes{5, 5, 5}));
  EXPECT_EQ(Bytes(bytes.begin() + 15, bytes.end()), Bytes(9, 0));
}

TEST_F(GifColorMapTest, OptimizeSortsByUseCoversAllPixelValuesAndKeepsTheBackground) {
  // Global table of 4; pixels use entries 2 (x3) and 1 (x1), and value 9 lies past the table.
  const Bytes file = Concat({Header(5, 1, GrayTable(4), 3), Descriptor(0, 0, 5, 1), ImageData({2, 1, 2, 9, 2}, 4), {0x3B}});
  auto loaded = giftest::Load(file);
  ASSERT_EQ(loaded.error, "");
  TGIFColorMap* map = loaded.picture->GetHeader()->GetColorMap();
  const TGIFColor background = map->Data()[3];
  const TGIFColor most_used = map->Data()[2];
  EXPECT_TRUE(map->Optimize());
  EXPECT_TRUE(map->GetOptimized());
  TGIFSubImage* frame = loaded.picture->GetImages()->GetFrame(0);
  EXPECT_EQ(frame->GetData(), (Bytes{0, 1, 0, 9, 0}));
  EXPECT_EQ(map->Data()[0], most_used);
  // The unused background colour keeps its entry, and the index follows it.
  const int background_index = loaded.picture->GetHeader()->GetBackgroundColorIndex();
  ASSERT_LT(background_index, map->GetCount());
  EXPECT_EQ(map->Data()[background_index], background);
  EXPECT_EQ(map->GetCount(), 3);
}

TEST(GifWriting, HeaderPackedFieldsFollowEveryTable) {
  TGIFPicture picture;
  for (int i = 0; i < 4; ++i) picture.GetHeader()->GetColorMap()->Add(static_cast<TColor>(i));
  auto frame = std::make_unique<TGIFSubImage>(&picture);
  frame->SetBounds(0, 0, 2, 1);
  for (int i = 0; i < 256; ++i) frame->GetColorMap()->Add(static_cast<TColor>(i));
  picture.Add(std::move(frame));
  TMemoryStream stream;
  picture.GetHeader()->SaveToStream(&stream);
  const Bytes bytes = StreamBytes(stream);
  // The version follows the frames only.
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 6), (Bytes{'G', 'I', 'F', '8', '7', 'a'}));
  EXPECT_EQ(bytes[10], 0x80 | (7 << 4) | 1);
  EXPECT_EQ(bytes.size(), 13u + 12);
}

TEST(GifWriting, PictureWithoutFramesHasNoVersion) {
  TGIFPicture picture;
  TMemoryStream stream;
  try {
    picture.SaveToStream(&stream);
    FAIL();
  } catch (const GIFException& e) {
    EXPECT_EQ(e.GetMessage(), "Unsupported GIF version");
  }
}

TEST(GifWriting, FramesWithoutExtensionsAre87a) {
  auto loaded = giftest::Load(SmallFile());
  const Bytes saved = giftest::Save(*loaded.picture);
  EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 6), (Bytes{'G', 'I', 'F', '8', '7', 'a'}));
  auto again = giftest::Load(saved);
  EXPECT_EQ(again.error, "");
  EXPECT_EQ(again.picture->GetImages()->GetFrame(0)->GetData(), (Bytes{0, 1, 2, 3}));
}

}  // namespace
}  // namespace dashtune
