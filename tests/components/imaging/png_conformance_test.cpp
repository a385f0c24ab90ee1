// The PNG conformance suite: good files decode as libpng does, corrupted ones raise their errors.
// Every good file matches libpng pixel for pixel (palette and gray images by index, colours
// through the gamma table, 16-bit samples on their high byte), and every corrupted file raises
// its exception class and text.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "platform/core/mul_div.h"
#include "png_test_support.h"

namespace dashtune {
namespace {

using pngtest::Bytes;

// Compares the decoded picture with libpng's reading of the same file.
void ExpectMatchesLibpng(const Bytes& file, const TPNGPicture& picture) {
  const pngtest::LibpngImage ref = pngtest::LibpngRead(file);
  const auto gamma = pngtest::ExpectedGamma(ref.has_gamma, ref.gamma);
  ASSERT_EQ(picture.GammaTable, gamma);
  EXPECT_EQ(pngtest::CompareWithSamples(ref, picture, gamma), "");
}

// The colour table: gray levels through the gamma table, or the palette through it (black past
// the palette's entries).
void ExpectColorTable(const Bytes& file, const TPNGPicture& picture) {
  TChunkIHDR* h = picture.Header();
  if (!h->HasPalette) return;
  const int n = 1 << h->DibBitCount();
  for (int k = 0; k < n; ++k) {
    std::uint8_t r = 0, g = 0, b = 0;
    if (h->ColorType == 3) {
      for (const auto& chunk : pngtest::SplitChunks(file)) {
        if (chunk.name == "PLTE" && static_cast<std::size_t>(k) * 3 + 2 < chunk.data.size()) {
          r = picture.GammaTable[chunk.data[static_cast<std::size_t>(k) * 3]];
          g = picture.GammaTable[chunk.data[static_cast<std::size_t>(k) * 3 + 1]];
          b = picture.GammaTable[chunk.data[static_cast<std::size_t>(k) * 3 + 2]];
        }
      }
    } else {
      r = g = b = picture.GammaTable[static_cast<std::size_t>(win::MulDiv(k, 255, n - 1))];
    }
    const win::RGBQUAD& q = h->BitmapInfo.bmiColors[static_cast<std::size_t>(k)];
    ASSERT_EQ(q.rgbRed, r) << "entry " << k;
    ASSERT_EQ(q.rgbGreen, g) << "entry " << k;
    ASSERT_EQ(q.rgbBlue, b) << "entry " << k;
  }
}

std::vector<std::string> GoodFiles() {
  std::vector<std::string> all;
  for (const char* folder : {"background", "basic", "chunk", "filter", "gamma", "interlacing", "odd", "order",
                             "palette", "transparency", "zlib"}) {
    const auto files = pngtest::SuiteFiles(folder);
    all.insert(all.end(), files.begin(), files.end());
  }
  return all;
}

std::string TestName(const testing::TestParamInfo<std::string>& info) {
  return std::filesystem::path(info.param).stem().string();
}

class PngConformance : public testing::TestWithParam<std::string> {};

TEST_P(PngConformance, DecodesLikeLibpng) {
  const Bytes file = pngtest::ReadFileBytes(GetParam());
  std::unique_ptr<TPNGPicture> picture;
  ASSERT_NO_THROW(picture = pngtest::Load(file));
  ExpectMatchesLibpng(file, *picture);
  ExpectColorTable(file, *picture);
}

INSTANTIATE_TEST_SUITE_P(Suite, PngConformance, testing::ValuesIn(GoodFiles()), TestName);

TEST(PngConformanceSuite, IsInstalled) {
  EXPECT_EQ(GoodFiles().size() + pngtest::SuiteFiles("corrupted").size(), 174u);
}

struct CorruptCase {
  const char* file;
  std::function<bool(const std::exception&)> is_class;
  std::string_view text;
};

template <class E>
bool Is(const std::exception& e) {
  return dynamic_cast<const E*>(&e) != nullptr;
}

TEST(PngConformanceSuite, CorruptedFilesRaiseTheirExceptions) {
  const std::vector<CorruptCase> cases = {
      {"xs1n0g01", Is<EPNGInvalidFileHeader>, png::EPNGInvalidFileHeaderText},
      {"xs2n0g01", Is<EPNGInvalidFileHeader>, png::EPNGInvalidFileHeaderText},
      {"xs4n0g01", Is<EPNGInvalidFileHeader>, png::EPNGInvalidFileHeaderText},
      {"xs7n0g01", Is<EPNGInvalidFileHeader>, png::EPNGInvalidFileHeaderText},
      {"xcrn0g04", Is<EPNGInvalidFileHeader>, png::EPNGInvalidFileHeaderText},
      {"xlfn0g04", Is<EPNGInvalidFileHeader>, png::EPNGInvalidFileHeaderText},
      {"xc1n0g08", Is<EPngInvalidIHDR>, png::EPNGInvalidIHDRText},
      {"xc9n2c08", Is<EPngInvalidIHDR>, png::EPNGInvalidIHDRText},
      {"xd0n2c08", Is<EPngInvalidIHDR>, png::EPNGInvalidIHDRText},
      {"xd3n2c08", Is<EPngInvalidIHDR>, png::EPNGInvalidIHDRText},
      {"xd9n2c08", Is<EPngInvalidIHDR>, png::EPNGInvalidIHDRText},
      {"xhdn0g08", Is<EPngInvalidCRC>, png::EPNGInvalidCRCText},
      {"xcsn0g01", Is<EPngInvalidCRC>, png::EPNGInvalidCRCText},
      {"xdtn0g01", Is<EPNGNoImageData>, png::EPNGNoImageDataText},
  };
  const auto files = pngtest::SuiteFiles("corrupted");
  ASSERT_EQ(files.size(), cases.size());
  for (const CorruptCase& c : cases) {
    SCOPED_TRACE(c.file);
    const Bytes file = pngtest::ReadFileBytes(std::string(PNGSUITE_DIR) + "/corrupted/" + c.file + ".png");
    try {
      pngtest::Load(file);
      ADD_FAILURE() << "loaded";
    } catch (const std::exception& e) {
      EXPECT_TRUE(c.is_class(e)) << typeid(e).name();
      EXPECT_EQ(e.what(), std::string(c.text));
    }
  }
}

}  // namespace
}  // namespace dashtune
