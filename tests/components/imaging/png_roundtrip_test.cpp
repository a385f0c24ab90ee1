// Round trips through libpng, both ways, whatever the IDAT chunking.
// Images written by libpng decode exactly, whatever the IDAT chunking; images written by the
// codec read back in libpng as they were, every bit of 16-bit samples (alpha too) included,
// except for what the encoder changes on purpose (2-bit gray written as 4-bit).
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "png_test_support.h"

namespace dashtune {
namespace {

using pngtest::Bytes;
using pngtest::LibpngImage;

struct Format {
  int color_type;
  int depth;
};

const std::vector<Format> kFormats = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                                      {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};

LibpngImage RandomImage(Format f, std::uint32_t w, std::uint32_t h, int interlace, std::mt19937& rng) {
  LibpngImage image;
  image.width = w;
  image.height = h;
  image.color_type = f.color_type;
  image.depth = f.depth;
  image.interlace = interlace;
  const std::size_t samples = w * image.Channels();
  const std::size_t bytes = f.depth == 16 ? samples * 2 : samples;
  const unsigned limit = f.depth >= 8 ? 255 : (1u << f.depth) - 1;
  image.rows.assign(h, Bytes(bytes));
  for (Bytes& row : image.rows)
    for (auto& b : row) b = static_cast<std::uint8_t>(rng() % (limit + 1));
  return image;
}

// What libpng should read back from the codec's file of `source`.
LibpngImage AsEncoded(const LibpngImage& source) {
  LibpngImage expected = source;
  if (source.depth == 2) {
    expected.depth = 4;
    if (source.color_type == 0)
      for (Bytes& row : expected.rows)
        for (auto& b : row) b = static_cast<std::uint8_t>(b * 5);
  }
  return expected;
}

std::string Describe(Format f, std::uint32_t w, std::uint32_t h, int interlace) {
  return "type " + std::to_string(f.color_type) + " depth " + std::to_string(f.depth) + " " + std::to_string(w) + "x" +
         std::to_string(h) + (interlace ? " interlaced" : "");
}

class PngRoundTrip : public testing::TestWithParam<Format> {};

TEST_P(PngRoundTrip, ThroughLibpngBothWays) {
  const Format f = GetParam();
  std::mt19937 rng(static_cast<unsigned>(f.color_type * 100 + f.depth));
  const std::vector<TFilters> filter_sets = {TFilters{filterSub}, TFilters{}, TFilters{filterUp},
                                             TFilters{filterNone, filterSub, filterUp, filterAverage, filterPaeth},
                                             TFilters{filterAverage, filterPaeth}};
  int case_index = 0;
  for (std::uint32_t s = 1; s <= 33; ++s) {
    for (const auto& [w, h] : {std::pair{s, s}, std::pair{s, 34 - s}}) {
      for (int interlace = 0; interlace <= 1; ++interlace, ++case_index) {
        SCOPED_TRACE(Describe(f, w, h, interlace));
        const LibpngImage source = RandomImage(f, w, h, interlace, rng);
        const Bytes written = pngtest::LibpngWrite(source);
        // One-byte chunks on even cases, random sizes on odd ones.
        std::vector<std::size_t> sizes = {1};
        if (case_index % 2 == 1) {
          sizes.clear();
          for (int i = 0; i < 64; ++i) sizes.push_back(1 + rng() % 200);
        }
        std::unique_ptr<TPNGPicture> picture;
        ASSERT_NO_THROW(picture = pngtest::Load(pngtest::Rechunk(written, sizes)));
        ASSERT_EQ(pngtest::CompareWithSamples(source, *picture, pngtest::ExpectedGamma(false, 0)), "");

        picture->SetInterlaceMethod(static_cast<std::uint8_t>(case_index % 3 == 0 ? 1 - interlace : interlace));
        picture->SetFilters(filter_sets[static_cast<std::size_t>(case_index) % filter_sets.size()]);
        const LibpngImage back = pngtest::LibpngRead(pngtest::Save(*picture));
        const LibpngImage expected = AsEncoded(source);
        ASSERT_EQ(back.depth, expected.depth);
        ASSERT_EQ(back.interlace, picture->GetInterlaceMethod());
        ASSERT_TRUE(back.rows == expected.rows);
      }
    }
  }
}

// Samples whose low bytes differ from their high bytes in every channel, alpha included, keep all
// 16 bits through the codec both ways: libpng's file decoded and saved again, and the codec's own
// file read by libpng.
TEST(PngRoundTrip16, EveryChannelKeepsItsLowByte) {
  for (const int color_type : {0, 2, 4, 6}) {
    SCOPED_TRACE("type " + std::to_string(color_type));
    LibpngImage source;
    source.width = 7;
    source.height = 3;
    source.color_type = color_type;
    source.depth = 16;
    const std::size_t samples = source.width * source.Channels();
    source.rows.assign(source.height, Bytes(2 * samples));
    for (std::size_t y = 0; y < source.height; ++y)
      for (std::size_t i = 0; i < samples; ++i) {
        const unsigned value = 0x1234u * static_cast<unsigned>(1 + i + y * samples);  // low byte != high byte
        source.rows[y][2 * i] = static_cast<std::uint8_t>(value >> 8);
        source.rows[y][2 * i + 1] = static_cast<std::uint8_t>(value);
      }
    auto picture = pngtest::Load(pngtest::LibpngWrite(source));
    ASSERT_EQ(pngtest::CompareWithSamples(source, *picture, pngtest::ExpectedGamma(false, 0)), "");
    const Bytes saved = pngtest::Save(*picture);
    const LibpngImage back = pngtest::LibpngRead(saved);
    ASSERT_EQ(back.depth, 16);
    EXPECT_TRUE(back.rows == source.rows);
    auto reloaded = pngtest::Load(saved);
    EXPECT_EQ(pngtest::CompareWithSamples(source, *reloaded, pngtest::ExpectedGamma(false, 0)), "");
  }
}

// Every row filter on every pixel size, each filter alone on every row.
TEST_P(PngRoundTrip, EachRowFilterDecodesLikeLibpng) {
  const Format f = GetParam();
  std::mt19937 rng(static_cast<unsigned>(f.color_type * 100 + f.depth + 1));
  for (int filter = 0; filter <= 4; ++filter) {
    for (const auto& [w, h] : {std::pair{1u, 3u}, std::pair{5u, 9u}, std::pair{33u, 7u}}) {
      for (int interlace = 0; interlace <= 1; ++interlace) {
        SCOPED_TRACE(Describe(f, w, h, interlace) + " filter " + std::to_string(filter));
        LibpngImage source = RandomImage(f, w, h, interlace, rng);
        source.filter = filter;
        std::unique_ptr<TPNGPicture> picture;
        ASSERT_NO_THROW(picture = pngtest::Load(pngtest::LibpngWrite(source)));
        ASSERT_EQ(pngtest::CompareWithSamples(source, *picture, pngtest::ExpectedGamma(false, 0)), "");
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, PngRoundTrip, testing::ValuesIn(kFormats),
                         [](const testing::TestParamInfo<Format>& info) {
                           return "Type" + std::to_string(info.param.color_type) + "Depth" +
                                  std::to_string(info.param.depth);
                         });

// The palette that libpng wrote comes back through the colour table.
TEST(PngRoundTripPalette, PaletteSurvivesSaving) {
  std::mt19937 rng(7);
  const LibpngImage source = RandomImage({3, 4}, 5, 5, 0, rng);
  const Bytes written = pngtest::LibpngWrite(source);
  auto picture = pngtest::Load(written);
  Bytes original, saved;
  for (const auto& c : pngtest::SplitChunks(written))
    if (c.name == "PLTE") original = c.data;
  for (const auto& c : pngtest::SplitChunks(pngtest::Save(*picture)))
    if (c.name == "PLTE") saved = c.data;
  EXPECT_EQ(saved, original);
}

Bytes IdatData(const Bytes& file) {
  Bytes idat;
  for (const auto& c : pngtest::SplitChunks(file))
    if (c.name == "IDAT") idat.insert(idat.end(), c.data.begin(), c.data.end());
  return idat;
}

TEST(PngEncoding, DefaultFiltersWriteSubOnEveryRow) {
  std::mt19937 rng(3);
  const LibpngImage source = RandomImage({2, 8}, 9, 6, 0, rng);
  auto picture = pngtest::Load(pngtest::LibpngWrite(source));
  const Bytes idat = IdatData(pngtest::Save(*picture));
  Bytes raw(6 * 28);
  uLongf size = raw.size();
  ASSERT_EQ(uncompress(raw.data(), &size, idat.data(), idat.size()), Z_OK);
  for (std::size_t y = 0; y < 6; ++y) EXPECT_EQ(raw[y * 28], 1);
}

Bytes DeflateWithFullWindow(const Bytes& raw, int level) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes out(deflateBound(&zs, raw.size()));
  zs.next_in = const_cast<Bytef*>(raw.data());
  zs.avail_in = static_cast<uInt>(raw.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

// A small picture is deflated with the smallest window that reaches back over all its filtered
// data with zlib's 262 bytes of lookahead to spare, so the deflate data is the full window's
// byte for byte and only the stream header names the smaller window.
TEST(PngEncoding, TheWindowIsTheSmallestThatReachesOverTheData) {
  struct Case {
    Format format;
    std::uint32_t width, height;
    int window_bits;
  };
  const Case cases[] = {
      {{0, 8}, 1, 1, 9},        // 2 bytes
      {{0, 8}, 70, 54, 12},     // 3834 bytes: 3834 + 262 fills 4096 exactly
      {{0, 8}, 3834, 1, 13},    // 3835 bytes
      {{3, 8}, 64, 64, 13},     // 4160 bytes
      {{2, 8}, 64, 64, 14},     // 12352 bytes
      {{6, 8}, 64, 64, 15},     // 16448 bytes
      {{6, 8}, 300, 300, 15},   // beyond every window
  };
  std::mt19937 rng(11);
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c.format, c.width, c.height, 0));
    LibpngImage source = RandomImage(c.format, c.width, c.height, 0, rng);
    for (std::size_t y = 0; y < source.height; ++y)  // some repeats, so matches reach far back
      if (y % 3 == 2) source.rows[y] = source.rows[y - 2];
    auto picture = pngtest::Load(pngtest::LibpngWrite(source));
    const Bytes file = pngtest::Save(*picture);
    EXPECT_TRUE(pngtest::LibpngRead(file).rows == source.rows);

    const Bytes idat = IdatData(file);
    ASSERT_GE(idat.size(), 2u);
    EXPECT_EQ((idat[0] >> 4) + 8, c.window_bits);
    Bytes raw(source.height * (source.rows[0].size() + 1));
    uLongf size = raw.size();
    ASSERT_EQ(uncompress(raw.data(), &size, idat.data(), idat.size()), Z_OK);
    ASSERT_EQ(size, raw.size());
    const Bytes full = DeflateWithFullWindow(raw, picture->GetCompressionLevel());
    EXPECT_TRUE(Bytes(idat.begin() + 2, idat.end()) == Bytes(full.begin() + 2, full.end()));
  }
}

TEST(PngEncoding, ImageDataIsCutIntoChunksOfMaxIdatSize) {
  std::mt19937 rng(5);
  const LibpngImage source = RandomImage({6, 8}, 300, 300, 0, rng);  // incompressible noise
  auto picture = pngtest::Load(pngtest::LibpngWrite(source));
  picture->SetMaxIdatSize(1000);
  EXPECT_EQ(picture->GetMaxIdatSize(), 65535);
  picture->SetMaxIdatSize(100000);
  std::vector<std::size_t> sizes;
  for (const auto& c : pngtest::SplitChunks(pngtest::Save(*picture)))
    if (c.name == "IDAT") sizes.push_back(c.data.size());
  ASSERT_EQ(sizes.size(), 4u);  // 360000 raw bytes do not shrink
  EXPECT_EQ(sizes[0], 100000u);
  EXPECT_EQ(sizes[1], 100000u);
  EXPECT_EQ(sizes[2], 100000u);
  EXPECT_LT(sizes[3], 100000u);

  std::mt19937 small_rng(6);
  auto small = pngtest::Load(pngtest::LibpngWrite(RandomImage({0, 8}, 20, 20, 0, small_rng)));
  int chunks = 0;
  for (const auto& c : pngtest::SplitChunks(pngtest::Save(*small))) chunks += c.name == "IDAT";
  EXPECT_EQ(chunks, 1);
}

}  // namespace
}  // namespace dashtune
