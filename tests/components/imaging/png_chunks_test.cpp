// The chunk stream: exception texts, the CRC and each chunk's own rules.
// Every exception class with its exact text, the CRC, and the chunks' own rules (dropped, kept
// and rewritten chunks, gamma, text, transparency).
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "png_test_support.h"

namespace dashtune {
namespace {

using pngtest::Bytes;
using pngtest::Chunk;
using pngtest::Concat;
using pngtest::Ihdr;
using pngtest::Signature;

// A w x h 8-bit gray image, every row filter 0 and filled with `value`.
Bytes GrayIdat(std::uint32_t w, std::uint32_t h, std::uint8_t value = 0x40) {
  Bytes raw;
  for (std::uint32_t y = 0; y < h; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), w, value);
  }
  return Chunk("IDAT", pngtest::Deflate(raw));
}

using pngtest::Iend;

Bytes GrayFile(std::initializer_list<Bytes> extra_before_idat = {}) {
  Bytes file = Concat({Signature(), Ihdr(4, 3, 8, 0)});
  for (const Bytes& b : extra_before_idat) file.insert(file.end(), b.begin(), b.end());
  return Concat({file, GrayIdat(4, 3), Iend()});
}

Bytes WithBadCrc(Bytes file, std::size_t crc_end) {
  file[crc_end - 1] ^= 0xFF;
  return file;
}

// A zlib stream that asks for a preset dictionary.
Bytes DictionaryStream() {
  z_stream z{};
  deflateInit(&z, 6);
  const char dictionary[] = "dictionary";
  deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dictionary), sizeof dictionary);
  Bytes raw(13, 0), out(256);
  z.next_in = raw.data();
  z.avail_in = static_cast<uInt>(raw.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  return out;
}

struct ExceptionCase {
  const char* name;
  std::function<void()> action;
  std::function<bool(const std::exception&)> is_class;
  std::string text;
};

template <class E>
bool Is(const std::exception& e) {
  return dynamic_cast<const E*>(&e) != nullptr && typeid(e) == typeid(E);
}

void LoadBytes(const Bytes& file) { pngtest::Load(file); }

TEST(PngExceptions, EveryClassRaisesItsText) {
  const std::string zlib = std::string(png::EPNGZLIBErrorText);
  Bytes full_rows;
  for (int y = 0; y < 2; ++y) full_rows.insert(full_rows.end(), {0, 1, 2, 3, 4});
  const Bytes short_stream = pngtest::Deflate(full_rows);  // 2 of 3 rows, then the stream ends
  Bytes three_rows = full_rows;
  three_rows.insert(three_rows.end(), {0, 1, 2, 3, 4});
  Bytes cut = pngtest::Deflate(three_rows);
  cut.resize(cut.size() / 2);

  const std::vector<ExceptionCase> cases = {
      {"crc", [] { LoadBytes(WithBadCrc(GrayFile(), 8 + 25)); }, Is<EPngInvalidCRC>,
       std::string(png::EPNGInvalidCRCText)},
      {"crc of a later IDAT",
       [] {
         Bytes file = pngtest::Rechunk(GrayFile(), {5});
         LoadBytes(WithBadCrc(file, 8 + 25 + 12 + 5 + 12 + 5));
       },
       Is<EPngInvalidCRC>, std::string(png::EPNGInvalidCRCText)},
      {"short header",
       [] {
         LoadBytes(Concat({Signature(), Chunk("IHDR", Bytes(12, 1)), GrayIdat(1, 1), Iend()}));
       },
       Is<EPngInvalidIHDR>, std::string(png::EPNGInvalidIHDRText)},
      {"width 0",
       [] {
         LoadBytes(Concat({Signature(), Ihdr(0, 3, 8, 0), GrayIdat(1, 1), Iend()}));
       },
       Is<EPngInvalidIHDR>, std::string(png::EPNGInvalidIHDRText)},
      {"height 0",
       [] {
         LoadBytes(Concat({Signature(), Ihdr(3, 0, 8, 0), GrayIdat(1, 1), Iend()}));
       },
       Is<EPngInvalidIHDR>, std::string(png::EPNGInvalidIHDRText)},
      {"RGB at depth 4",
       [] {
         LoadBytes(Concat({Signature(), Ihdr(3, 3, 4, 2), GrayIdat(1, 1), Iend()}));
       },
       Is<EPngInvalidIHDR>, std::string(png::EPNGInvalidIHDRText)},
      {"palette at depth 16",
       [] {
         LoadBytes(Concat({Signature(), Ihdr(3, 3, 16, 3), GrayIdat(1, 1), Iend()}));
       },
       Is<EPngInvalidIHDR>, std::string(png::EPNGInvalidIHDRText)},
      {"second header", [] { LoadBytes(GrayFile({Ihdr(4, 3, 8, 0)})); }, Is<EPngInvalidIHDR>,
       std::string(png::EPNGInvalidIHDRText)},
      {"image data cut short",
       [cut] {
         LoadBytes(Concat({Signature(), Ihdr(4, 3, 8, 0), Chunk("IDAT", cut), Iend()}));
       },
       Is<EPNGMissingMultipleIDAT>, std::string(png::EPNGMissingMultipleIDATText)},
      {"garbage image data",
       [] {
         LoadBytes(Concat({Signature(), Ihdr(4, 3, 8, 0), Chunk("IDAT", Bytes(20, 0xAB)), Iend()}));
       },
       Is<EPNGZLIBError>, zlib + "data error (-3)"},
      {"stream ends before the last row",
       [short_stream] {
         LoadBytes(Concat({Signature(), Ihdr(4, 3, 8, 0), Chunk("IDAT", short_stream), Iend()}));
       },
       Is<EPNGZLIBError>, zlib + "stream end (1)"},
      {"preset dictionary",
       [] {
         LoadBytes(Concat({Signature(), Ihdr(4, 3, 8, 0), Chunk("IDAT", DictionaryStream()), Iend()}));
       },
       Is<EPNGZLIBError>, zlib + "need dictionary (2)"},
      {"palette not of whole entries", [] { LoadBytes(GrayFile({Chunk("PLTE", Bytes(4, 0))})); },
       Is<EPNGInvalidPalette>, std::string(png::EPNGInvalidPaletteText)},
      {"palette of 257 entries", [] { LoadBytes(GrayFile({Chunk("PLTE", Bytes(257 * 3, 0))})); },
       Is<EPNGInvalidPalette>, std::string(png::EPNGInvalidPaletteText)},
      {"tRNS of 257 bytes", [] { LoadBytes(GrayFile({Chunk("tRNS", Bytes(257, 0))})); }, Is<EPNGInvalidPalette>,
       std::string(png::EPNGInvalidPaletteText)},
      {"signature",
       [] {
         Bytes f = GrayFile();
         f[1] = 'p';
         LoadBytes(f);
       },
       Is<EPNGInvalidFileHeader>, std::string(png::EPNGInvalidFileHeaderText)},
      {"empty stream", [] { LoadBytes({}); }, Is<EPNGInvalidFileHeader>, std::string(png::EPNGInvalidFileHeaderText)},
      {"header not first",
       [] {
         LoadBytes(Concat({Signature(), Chunk("gAMA", pngtest::BigEndian(45455)), Ihdr(1, 1, 8, 0)}));
       },
       Is<EPNGIHDRNotFirst>,
       "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n(IHDR chunk is not the "
       "first)"},
      {"width 65536",
       [] {
         LoadBytes(Concat({Signature(), Ihdr(65536, 1, 8, 0), GrayIdat(1, 1), Iend()}));
       },
       Is<EPNGSizeExceeds>, std::string(png::EPNGSizeExceedsText)},
      {"palette entry",
       [] {
         auto picture = pngtest::Load(GrayFile());
         TChunkPLTE plte(picture.get());
         plte.Item(0);
       },
       Is<EPngError>, "There is no such palette entry."},
      {"unknown critical chunk",
       [] {
         LoadBytes(GrayFile({Chunk("ABCD", {1, 2})}));
       },
       Is<EPNGUnknownCriticalChunk>, std::string(png::EPNGUnknownCriticalChunkText)},
      {"compression 1",
       [] {
         Bytes ihdr = Ihdr(4, 3, 8, 0);
         ihdr[8 + 10] = 1;
         LoadBytes(
             Concat({Signature(), Chunk("IHDR", Bytes(ihdr.begin() + 8, ihdr.end() - 4)), GrayIdat(4, 3), Iend()}));
       },
       Is<EPNGUnknownCompression>, std::string(png::EPNGUnknownCompressionText)},
      {"interlace 2",
       [] {
         LoadBytes(Concat({Signature(), Ihdr(4, 3, 8, 0, 2), GrayIdat(4, 3), Iend()}));
       },
       Is<EPNGUnknownInterlace>, std::string(png::EPNGUnknownInterlaceText)},
      {"assign from another chunk class",
       [] {
         auto picture = pngtest::Load(GrayFile());
         TChunkPLTE plte(picture.get());
         TChunkIHDR header(picture.get());
         header.Assign(&plte);
       },
       Is<EPngError>, "The chunks must be compatible to be assigned."},
      {"end after the header",
       [] {
         LoadBytes(Concat({Signature(), Ihdr(4, 3, 8, 0)}));
       },
       Is<EPngUnexpectedEnd>, std::string(png::EPNGUnexpectedEndText)},
      {"length above 2^31-1",
       [] {
         LoadBytes(Concat({Signature(), Ihdr(4, 3, 8, 0), pngtest::BigEndian(0x80000000u), Bytes{'t', 'E', 'X', 't'}}));
       },
       Is<EPngUnexpectedEnd>, std::string(png::EPNGUnexpectedEndText)},
      {"length beyond the stream",
       [] {
         LoadBytes(Concat({Signature(), Ihdr(4, 3, 8, 0), pngtest::BigEndian(1000), Bytes{'t', 'E', 'X', 't', 1, 2}}));
       },
       Is<EPngUnexpectedEnd>, std::string(png::EPNGUnexpectedEndText)},
      {"no image data",
       [] {
         LoadBytes(Concat({Signature(), Ihdr(4, 3, 8, 0), Iend()}));
       },
       Is<EPNGNoImageData>, std::string(png::EPNGNoImageDataText)},
      {"above the pixel limit",
       [] {
         LoadBytes(Concat({Signature(), Ihdr(10000, 10000, 8, 0), GrayIdat(1, 1), Iend()}));
       },
       Is<EPNGOutMemory>, std::string(png::EPNGOutMemoryText)},
      {"no header", [] { TPNGPicture().GetTransparent(); }, Is<EPNGHeaderNotPresent>,
       std::string(png::EPNGHeaderNotPresentText)},
      {"resize to 0", [] { pngtest::Load(GrayFile())->Resize(0, 5); }, Is<EPNGInvalidNewSize>,
       std::string(png::EPNGInvalidNewSizeText)},
  };
  for (const ExceptionCase& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.action();
      ADD_FAILURE() << "no exception";
    } catch (const std::exception& e) {
      EXPECT_TRUE(c.is_class(e)) << typeid(e).name();
      EXPECT_EQ(e.what(), c.text);
    }
  }
}

TEST(PngExceptions, AllDeriveFromTheClassLibraryException) {
  try {
    pngtest::Load({1, 2, 3});
  } catch (const Exception& e) {
    EXPECT_NE(dynamic_cast<const EPngError*>(&e), nullptr);
    return;
  }
  FAIL();
}

TEST(PngExceptions, ZlibResultNames) {
  const std::vector<std::pair<int, std::string>> names = {{-6, "incompatible version (-6)"},
                                                          {-5, "buffer error (-5)"},
                                                          {-4, "insufficient memory (-4)"},
                                                          {-3, "data error (-3)"},
                                                          {-2, "stream error (-2)"},
                                                          {-1, "file error (-1)"},
                                                          {0, "(0)"},
                                                          {1, "stream end (1)"},
                                                          {2, "need dictionary (2)"}};
  for (const auto& [code, name] : names) EXPECT_EQ(png::ZLibResultName(code), name);
}

TEST(PngChunks, CrcMatchesZlib) {
  const Bytes data = {'I', 'E', 'N', 'D'};
  EXPECT_EQ(~png::UpdateCrc(0xFFFFFFFFu, data.data(), data.size()), 0xAE426082u);
}

TEST(PngChunks, AcceptsWidth65535PastTheSizeCheck) {
  try {
    pngtest::Load(Concat({Signature(), Ihdr(65535, 1, 1, 0), GrayIdat(1, 1), Iend()}));
  } catch (const EPNGSizeExceeds&) {
    FAIL() << "65535 refused by the size check";
  } catch (const EPngError&) {
    // The platform's bitmaps may be narrower than that; any other refusal is not the size check.
  }
}

TEST(PngChunks, UnknownAncillaryChunkIsKeptAndChromaticityDropped) {
  const Bytes file = GrayFile({Chunk("cHRM", Bytes(32, 7)), Chunk("abCd", {9, 8, 7})});
  auto picture = pngtest::Load(file);
  const auto chunks = pngtest::SplitChunks(pngtest::Save(*picture));
  std::vector<std::string> names;
  for (const auto& c : chunks) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"IHDR", "abCd", "IDAT", "IEND"}));
  EXPECT_EQ(chunks[1].data, (Bytes{9, 8, 7}));
}

TEST(PngChunks, GammaOfWrongSizeOrZeroLeavesIdentity) {
  for (const Bytes& gama : {Chunk("gAMA", Bytes{0, 0, 0, 0}), Chunk("gAMA", Bytes{0, 1, 0x86})}) {
    auto picture = pngtest::Load(GrayFile({gama}));
    EXPECT_EQ(picture->GammaTable, pngtest::ExpectedGamma(false, 0));
  }
  // A value with the high bit set is a huge gamma, not a negative one.
  auto picture = pngtest::Load(GrayFile({Chunk("gAMA", pngtest::BigEndian(0x80000000u))}));
  EXPECT_EQ(picture->GammaTable, pngtest::ExpectedGamma(true, 0x80000000u));
}

TEST(PngChunks, TextChunks) {
  std::string long_text(300, 'x');
  const Bytes ztxt_data = Concat({Bytes{'K', 0, 0}, pngtest::Deflate(Bytes(long_text.begin(), long_text.end()))});
  const Bytes bomb = Concat({Bytes{'B', 0, 0}, pngtest::Deflate(Bytes((1u << 20) + 1, 'a'), 9)});
  auto picture = pngtest::Load(
      GrayFile({Chunk("tEXt", {'T', 'i', 't', 'l', 'e', 0, 'H', 'i'}), Chunk("tEXt", {'n', 'o', 's', 'e', 'p'}),
                Chunk("zTXt", ztxt_data), Chunk("zTXt", bomb)}));
  std::vector<TChunktEXt*> texts;
  for (int i = 0; i < picture->GetChunks().GetCount(); ++i)
    if (auto* t = dynamic_cast<TChunktEXt*>(picture->GetChunks().Item(i))) texts.push_back(t);
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0]->Keyword, "Title");
  EXPECT_EQ(texts[0]->Text, "Hi");
  EXPECT_EQ(texts[1]->Keyword, "");  // no separator: dropped
  EXPECT_EQ(texts[1]->Text, "");
  EXPECT_EQ(texts[2]->Text, long_text);
  EXPECT_EQ(texts[3]->Text, "");  // inflates beyond 1 MiB: dropped

  texts[2]->Text.clear();
  const auto saved = pngtest::SplitChunks(pngtest::Save(*picture));
  for (const auto& c : saved) {
    if (c.name != "zTXt" || c.data[0] != 'K') continue;
    std::vector<std::uint8_t> text;
    std::string error;
    ASSERT_TRUE(png::DecompressZLIB(c.data.data() + 3, c.data.size() - 3, 100, &text, &error));
    EXPECT_EQ(text, (Bytes{' '}));
  }
}

TEST(PngChunks, PaletteTransparencyModes) {
  struct Case {
    Bytes alphas;
    TPNGTransparencyMode mode;
  };
  const std::vector<Case> cases = {{{255, 0}, tmSingleColor},
                                   {{0}, tmSingleColor},
                                   {{255, 128}, tmPartial},
                                   {{0, 0}, tmPartial},
                                   {{255, 255}, tmPartial}};
  for (const Case& c : cases) {
    const Bytes file = Concat({Signature(), Ihdr(2, 1, 8, 3), Chunk("PLTE", {10, 20, 30, 40, 50, 60}),
                               Chunk("tRNS", c.alphas), Chunk("IDAT", pngtest::Deflate({0, 0, 1})), Iend()});
    EXPECT_EQ(pngtest::Load(file)->GetTransparencyMode(), c.mode);
  }
}

TEST(PngChunks, TransparentColorOfSixteenBitRgbUsesTheHighByte) {
  Bytes raw = {0};
  for (int i = 0; i < 6; ++i) raw.push_back(static_cast<std::uint8_t>(i));
  const Bytes file = Concat({Signature(), Ihdr(1, 1, 16, 2), Chunk("tRNS", {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}),
                             Chunk("IDAT", pngtest::Deflate(raw)), Iend()});
  auto picture = pngtest::Load(file);
  EXPECT_EQ(picture->GetChunks().ItemFromClass<TChunktRNS>()->GetTransparentColor(), 0x9A5612u);
}

TEST(PngChunks, LastImageChunkLongerThanTheStreamIsSkippedToItsCrc) {
  Bytes raw;
  for (int y = 0; y < 3; ++y) raw.insert(raw.end(), {0, 5, 6, 7, 8});
  const Bytes data = Concat({pngtest::Deflate(raw), Bytes(9, 0xEE)});
  auto picture =
      pngtest::Load(Concat({Signature(), Ihdr(4, 3, 8, 0), Chunk("IDAT", data), Chunk("tEXt", {'a', 0, 'b'}), Iend()}));
  EXPECT_EQ(picture->Scanline(2)[3], 8);
  EXPECT_NE(picture->GetChunks().ItemFromClass<TChunktEXt>(), nullptr);
}

// Rows 0 to `rows` - 1 of a 4-pixel gray image (row y all y + 1), flushed, then a block of the
// reserved type: inflate fails right after the last of those rows.
Bytes RowsThenInvalidBlock(int rows) {
  Bytes raw;
  for (int y = 0; y < rows; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), 4, static_cast<std::uint8_t>(y + 1));
  }
  z_stream z{};
  deflateInit(&z, 6);
  Bytes out(256);
  z.next_in = raw.data();
  z.avail_in = static_cast<uInt>(raw.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FULL_FLUSH);
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  out.push_back(0x07);  // last block, type 3
  return out;
}

// A fault in the image data keeps the rows finished before it; the row whose inflate step met
// the fault is not shown.
TEST(PngChunks, FaultInTheImageDataKeepsTheRowsBeforeIt) {
  TMemoryStream stream;
  const Bytes file = Concat({Signature(), Ihdr(4, 8, 8, 0), Chunk("IDAT", RowsThenInvalidBlock(4)), Iend()});
  stream.WriteBuffer(file.data(), static_cast<int>(file.size()));
  stream.SetPosition(0);
  TPNGPicture picture;
  EXPECT_THROW(picture.LoadFromStream(&stream), EPNGZLIBError);
  for (int y = 0; y < 8; ++y)
    EXPECT_EQ(picture.Scanline(y)[3], y < 3 ? y + 1 : 0) << "row " << y;
}

TEST(PngChunks, FilterByteFiveLeavesTheRow) {
  const Bytes raw = {5, 1, 2, 3, 4};
  auto picture = pngtest::Load(Concat({Signature(), Ihdr(4, 1, 8, 0), Chunk("IDAT", pngtest::Deflate(raw)), Iend()}));
  EXPECT_EQ(Bytes(picture->Scanline(0), picture->Scanline(0) + 4), (Bytes{1, 2, 3, 4}));
}

}  // namespace
}  // namespace dashtune

namespace dashtune {
namespace {

TEST(PngChunks, TransparentColorOfAPaletteNeverWritesMoreThan256Entries) {
  Bytes palette;
  for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {static_cast<std::uint8_t>(i), 0, 0});
  auto picture = pngtest::Load(
      Concat({Signature(), Ihdr(1, 1, 8, 3), Chunk("PLTE", palette), Chunk("IDAT", pngtest::Deflate({0, 0})), Iend()}));
  TChunktRNS trns(picture.get());
  trns.SetTransparentColor(0x000002);  // entry 2
  EXPECT_EQ(trns.GetDataSize(), 3u);
  EXPECT_EQ(trns.PaletteValues[0], 255);
  EXPECT_EQ(trns.PaletteValues[2], 0);
  trns.SetTransparentColor(0x0000FF00);  // in no entry
  EXPECT_EQ(trns.GetDataSize(), 256u);
  TMemoryStream stream;
  trns.SaveToStream(&stream);
  EXPECT_EQ(stream.GetSize(), 12 + 256);
}

}  // namespace
}  // namespace dashtune

namespace dashtune {
namespace {

TEST(PngChunks, PaletteAfterTheImageDataLeavesGrayLevels) {
  auto picture = pngtest::Load(Concat(
      {Signature(), Ihdr(1, 1, 8, 0), Chunk("IDAT", pngtest::Deflate({0, 200})), Chunk("PLTE", {255, 0, 0}), Iend()}));
  EXPECT_EQ(picture->GetPixels(0, 0), TColor(0xC8C8C8));
  EXPECT_EQ(picture->Header()->BitmapInfo.bmiColors[0].rgbRed, 0);
}

}  // namespace
}  // namespace dashtune

namespace dashtune {
namespace {

// A stream that cannot seek or tell its size, like a device: reads only.
class ForwardOnlyStream : public TStream {
 public:
  explicit ForwardOnlyStream(Bytes data) : data_(std::move(data)) {}
  int Read(void* buffer, int count) override {
    const int n = std::min<int>(count, static_cast<int>(data_.size() - pos_));
    std::memcpy(buffer, data_.data() + pos_, static_cast<std::size_t>(std::max(n, 0)));
    pos_ += static_cast<std::size_t>(std::max(n, 0));
    return std::max(n, 0);
  }
  int Write(const void*, int) override { return 0; }
  std::int64_t Seek(std::int64_t, TSeekOrigin) override { return -1; }

 private:
  Bytes data_;
  std::size_t pos_ = 0;
};

TEST(PngChunks, StreamsThatCannotSeekAreReadInCheckedSteps) {
  const Bytes file = pngtest::Rechunk(GrayFile({Chunk("cHRM", Bytes(32, 1))}), {3});
  ForwardOnlyStream good(file);
  TPNGPicture picture;
  picture.LoadFromStream(&good);
  EXPECT_EQ(picture.Scanline(2)[3], 0x40);

  // A length of 2^31-1 over a few bytes: refused once the bytes run out, nothing large allocated.
  ForwardOnlyStream hostile(Concat(
      {Signature(), Ihdr(4, 3, 8, 0), pngtest::BigEndian(0x7FFFFFFFu), Bytes{'t', 'E', 'X', 't'}, Bytes(100, 7)}));
  EXPECT_THROW(picture.LoadFromStream(&hostile), EPngUnexpectedEnd);
}

}  // namespace
}  // namespace dashtune
