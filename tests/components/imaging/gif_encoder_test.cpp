// The encoders: exact bytes of small frames, code widths and clears of LZW, the interlace order,
// run-length codes, the hash table's probing, the failures, and files written with either
// encoder read back by giflib and by the codec.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "components/imaging/gif/gif_encoder.h"
#include "gif_test_support.h"

namespace dashtune {
namespace {

using giftest::Bytes;
using giftest::GiflibImage;

constexpr std::uint8_t kLZW = 0;
constexpr std::uint8_t kRLE = 1;

Bytes Encode(TGIFEncoder&& encoder, int bits, int colors, const Bytes& pixels, bool interlaced, int height,
             int width) {
  TMemoryStream stream;
  encoder.Encode(&stream, bits, colors, pixels.data(), interlaced, height, width);
  return Bytes(stream.GetMemory(), stream.GetMemory() + stream.GetSize());
}

// The codes of image data (minimum code size byte, sub-blocks, terminator), read with the
// decoder's widths; every code is listed with the width it was read at.
std::vector<giftest::Code> ReadCodes(const Bytes& data) {
  const int min_size = data.at(0);
  Bytes packed;
  std::size_t pos = 1;
  while (pos < data.size() && data[pos] != 0) {
    const std::size_t size = data[pos];
    packed.insert(packed.end(), data.begin() + static_cast<std::ptrdiff_t>(pos + 1),
                  data.begin() + static_cast<std::ptrdiff_t>(pos + 1 + size));
    pos += 1 + size;
  }
  const int clear = 1 << min_size, end = clear + 1;
  int width = min_size + 1, next = clear + 2;
  bool after_clear = true;
  std::vector<giftest::Code> codes;
  std::size_t bit = 0;
  while (bit + static_cast<std::size_t>(width) <= packed.size() * 8) {
    int code = 0;
    for (int i = 0; i < width; ++i, ++bit) code |= ((packed[bit / 8] >> (bit % 8)) & 1) << i;
    codes.push_back({code, width});
    if (code == end) break;
    if (code == clear) {
      width = min_size + 1;
      next = clear + 2;
      after_clear = true;
      continue;
    }
    if (!after_clear && next < 4096) ++next;
    after_clear = false;
    if (next == (1 << width) && width < 12) ++width;
  }
  return codes;
}

TEST(GifEncoder, OnePixelIsClearPixelAndEndInOneSubBlock) {
  EXPECT_EQ(Encode(TLZWEncoder(), 1, 2, {0}, false, 1, 1), (Bytes{0x02, 0x02, 0x44, 0x01, 0x00}));
  EXPECT_EQ(Encode(TRLEEncoder(), 1, 2, {0}, false, 1, 1), (Bytes{0x02, 0x02, 0x44, 0x01, 0x00}));
}

TEST(GifEncoder, TwoColoursUseCodeSizeTwo) {
  const Bytes data = Encode(TLZWEncoder(), 1, 2, {0, 1, 1, 0}, false, 2, 2);
  EXPECT_EQ(data[0], 2);
  const auto codes = ReadCodes(data);
  EXPECT_EQ(codes.front().value, 4);
  EXPECT_EQ(codes.front().bits, 3);
}

TEST(GifEncoder, NoisyFrameClearsAtFullTableThenStartsAtNineBits) {
  std::mt19937 rng(5);
  Bytes pixels(200 * 200);
  for (auto& p : pixels) p = static_cast<std::uint8_t>(rng());
  const auto codes = ReadCodes(Encode(TLZWEncoder(), 8, 256, pixels, false, 200, 200));
  ASSERT_EQ(codes.front().value, 256);
  std::size_t second_clear = 0;
  for (std::size_t i = 1; i < codes.size() && second_clear == 0; ++i)
    if (codes[i].value == 256) second_clear = i;
  ASSERT_GT(second_clear, 0u);
  // After k codes the decoder's table holds 258 + k - 1 entries: 4095 when the clear comes.
  EXPECT_EQ(258 + (second_clear - 1) - 1, 4095u);
  EXPECT_EQ(codes[second_clear].bits, 12);
  EXPECT_EQ(codes[second_clear + 1].bits, 9);
}

TEST(GifEncoder, InterlacedRowsFollowTheDecodersPassOrder) {
  constexpr int kWidth = 3;
  for (int height = 1; height <= 17; ++height) {
    SCOPED_TRACE(height);
    Bytes pixels;
    for (int row = 0; row < height; ++row) pixels.insert(pixels.end(), kWidth, static_cast<std::uint8_t>(row));
    const Bytes file = giftest::Concat({giftest::Header(kWidth, height, giftest::GrayTable(32)),
                                        giftest::Descriptor(0, 0, kWidth, height, true),
                                        Encode(TLZWEncoder(), 5, 32, pixels, true, height, kWidth), {0x3B}});
    const auto ref = giftest::GiflibRead(file);
    ASSERT_TRUE(ref.has_value());
    ASSERT_EQ(ref->frames.size(), 1u);
    EXPECT_EQ(ref->frames[0].pixels, pixels);
  }
  // Height 10 is written in the order 0, 8, 4, 2, 6, 1, 3, 5, 7, 9.
  Bytes rows;
  for (int row = 0; row < 10; ++row) rows.push_back(static_cast<std::uint8_t>(row));
  std::vector<int> written;
  for (const auto& code : ReadCodes(Encode(TRLEEncoder(), 4, 16, rows, true, 10, 1)))
    if (code.value < 16) written.push_back(code.value);
  EXPECT_EQ(written, (std::vector<int>{0, 8, 4, 2, 6, 1, 3, 5, 7, 9}));
}

TEST(GifEncoder, RunLengthCodingOfOneHundredEqualPixelsTakesFourteenCodes) {
  const auto codes = ReadCodes(Encode(TRLEEncoder(), 8, 256, Bytes(100, 7), false, 10, 10));
  ASSERT_GE(codes.size(), 2u);
  EXPECT_EQ(codes.front().value, 256);
  EXPECT_EQ(codes.back().value, 257);
  EXPECT_EQ(codes.size() - 2, 14u);
  // Literal, then runs of 2, 3, ... 13 and a last run of 9: codes 258 + n - 2.
  EXPECT_EQ(codes[1].value, 7);
  EXPECT_EQ(codes[2].value, 258);
  EXPECT_EQ(codes[14].value, 258 + 9 - 2);
}

TEST(GifEncoder, RandomRunsAtEveryDepthDecodeInGiflib) {
  std::mt19937 rng(17);
  for (int bits = 1; bits <= 8; ++bits) {
    const int colors = 1 << bits;
    Bytes pixels;
    while (pixels.size() < 60000) {
      const std::size_t run = 1 + rng() % 5000;
      pixels.insert(pixels.end(), run, static_cast<std::uint8_t>(rng() % static_cast<unsigned>(colors)));
    }
    // Short runs too, where the encoder switches between literals and table runs.
    for (int i = 0; i < 3000; ++i)
      pixels.insert(pixels.end(), 1 + rng() % 6, static_cast<std::uint8_t>(rng() % static_cast<unsigned>(colors)));
    const int width = 100, height = static_cast<int>(pixels.size() / 100);
    pixels.resize(static_cast<std::size_t>(width * height));
    for (std::uint8_t compression : {kLZW, kRLE}) {
      SCOPED_TRACE(testing::Message() << "bits " << bits << " compression " << int{compression});
      const Bytes data = compression == kRLE ? Encode(TRLEEncoder(), bits, colors, pixels, false, height, width)
                                             : Encode(TLZWEncoder(), bits, colors, pixels, false, height, width);
      const Bytes file = giftest::Concat({giftest::Header(width, height, giftest::GrayTable(colors)),
                                          giftest::Descriptor(0, 0, width, height), data, {0x3B}});
      const auto ref = giftest::GiflibRead(file);
      ASSERT_TRUE(ref.has_value());
      EXPECT_TRUE(ref->frames[0].pixels == pixels);
    }
  }
}

TEST(GifEncoder, HashTableFindsEveryKeyOfOneDoublingCycle) {
  // The slots that doubling from slot 1 visits: 4004 of the 8009.
  std::vector<bool> in_cycle(THashTable::kSlots, false);
  std::size_t slot = 1;
  do {
    in_cycle[slot] = true;
    slot = slot * 2 % THashTable::kSlots;
  } while (slot != 1);
  std::vector<std::uint32_t> keys;
  for (std::uint32_t key = 0; keys.size() < 4089 && key < (1u << 20); ++key)
    if (in_cycle[THashTable::HomeSlot(key)]) keys.push_back(key);
  ASSERT_EQ(keys.size(), 4089u);
  THashTable table;
  for (std::size_t i = 0; i < keys.size(); ++i) table.Insert(keys[i], static_cast<int>(i));
  for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(table.Lookup(keys[i]), static_cast<int>(i));
  EXPECT_EQ(table.Lookup(keys.back() + 1), -1);
}

TEST(GifEncoder, TriangleCostAndSquareRoot) {
  EXPECT_EQ(gif::IntegerSquareRoot(0), 0);
  EXPECT_EQ(gif::IntegerSquareRoot(1), 1);
  EXPECT_EQ(gif::IntegerSquareRoot(15), 3);
  EXPECT_EQ(gif::IntegerSquareRoot(16), 4);
  EXPECT_EQ(gif::IntegerSquareRoot(1 << 30), 1 << 15);
  // Runs 1 + 2 + 3 + 4 = 10 pixels in four codes; 11 need five.
  EXPECT_EQ(gif::TriangleCost(10, 100), 4);
  EXPECT_EQ(gif::TriangleCost(11, 100), 5);
  // Past one full table (3 codes cover 6 pixels): 3 more codes per 6 pixels.
  EXPECT_EQ(gif::TriangleCost(13, 3), 3 + 3 + 1);
}

TEST(GifEncoder, FailuresRaiseTheirTexts) {
  try {
    Encode(TLZWEncoder(), 1, 2, {0, 2}, false, 1, 2);
    ADD_FAILURE() << "no exception";
  } catch (const GIFException& e) {
    EXPECT_EQ(e.GetMessage(), "Color not in color table");
  }
  TMemoryStream target;
  TGIFWriter writer(&target);
  std::uint8_t byte = 0;
  for (const auto& call : std::vector<std::function<void()>>{[&] { writer.Read(&byte, 1); },
                                                             [&] { writer.Seek(0, TSeekOrigin::soBeginning); }}) {
    try {
      call();
      ADD_FAILURE() << "no exception";
    } catch (const GIFException&) {
      ADD_FAILURE() << "the class library's general exception is expected";
    } catch (const Exception& e) {
      EXPECT_EQ(e.GetMessage(), "Invalid stream operation");
    }
  }
  TGIFPicture empty;
  TMemoryStream stream;
  try {
    empty.SaveToStream(&stream);
    ADD_FAILURE() << "no exception";
  } catch (const GIFException& e) {
    EXPECT_EQ(e.GetMessage(), "Unsupported GIF version");
  }
}

TEST(GifEncoder, WriterCutsSubBlocksOf255Bytes) {
  TMemoryStream target;
  {
    TGIFWriter writer(&target);
    const Bytes data(300, 0xAB);
    writer.WriteBuffer(data.data(), static_cast<int>(data.size()));
  }
  ASSERT_EQ(target.GetSize(), 1 + 255 + 1 + 45);
  EXPECT_EQ(target.GetMemory()[0], 255);
  EXPECT_EQ(target.GetMemory()[256], 45);
}

// ---- Whole files ----

TEST(GifEncoder, FrameWithoutLocalTableAcceptsEveryValueOfTheGlobalDepth) {
  // Three global colours are written as a table of four: value 3 is a colour of the file.
  const Bytes file = giftest::Concat({giftest::Header(2, 2, giftest::GrayTable(3)), giftest::Descriptor(0, 0, 2, 2),
                                      giftest::ImageData({0, 1, 2, 3}, 2), {0x3B}});
  auto loaded = giftest::Load(file);
  ASSERT_EQ(loaded.error, "");
  const auto ref = giftest::GiflibRead(giftest::Save(*loaded.picture));
  ASSERT_TRUE(ref.has_value());
  EXPECT_EQ(ref->frames[0].pixels, (Bytes{0, 1, 2, 3}));
}

TEST(GifEncoder, LoopExtensionIsWrittenByteForByte) {
  GiflibImage a{0, 0, 2, 1, false, {}, {0, 1}};
  GiflibImage b{0, 0, 2, 1, false, {}, {1, 0}};
  auto loaded = giftest::Load(giftest::GiflibWrite(2, 1, giftest::GrayTable(2), {a, b}, 0x0305));
  ASSERT_EQ(loaded.error, "");
  const Bytes saved = giftest::Save(*loaded.picture);
  const Bytes loop = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 0x03, 0x01, 0x05, 0x03, 0x00};
  EXPECT_NE(std::search(saved.begin(), saved.end(), loop.begin(), loop.end()), saved.end());
}

}  // namespace
}  // namespace dashtune
