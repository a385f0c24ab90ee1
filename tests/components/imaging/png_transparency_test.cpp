// Transparency and chunk order, checked against libpng's RGBA blended by the picture's formula.
// Every transparency file of the conformance suite, drawn over two backgrounds, equals the blend
// formula applied to libpng's pixels (colours through the gamma table libpng reports); a
// transparent colour hides only the pixels whose stored sample is it; gAMA, PLTE and tRNS out of
// their place are ignored.
#include <gtest/gtest.h>

#include <filesystem>

#include "png_test_support.h"

namespace dashtune {
namespace {

using pngtest::Bytes;
using pngtest::DrawnOver;
using pngtest::Rgb;

void ExpectDrawsLikeLibpng(const Bytes& file) {
  auto picture = pngtest::Load(file);
  for (const TColor background : {Rgb(0x30, 0x60, 0xC0), Rgb(0xF0, 0xE0, 0x0D)}) {
    SCOPED_TRACE(background);
    EXPECT_EQ(DrawnOver(*picture, background), pngtest::LibpngBlendedOver(file, background));
  }
}

std::vector<std::string> TransparencyFiles() {
  std::vector<std::string> files;
  for (const std::string& path : pngtest::SuiteFiles("transparency")) {
    const std::string name = std::filesystem::path(path).filename().string();
    if (name.starts_with("tb") || name.starts_with("tm") || name.starts_with("tp")) files.push_back(path);
  }
  return files;
}

class PngTransparencySuite : public testing::TestWithParam<std::string> {};

TEST_P(PngTransparencySuite, DrawsLikeLibpngsAlphaOverTwoBackgrounds) {
  ExpectDrawsLikeLibpng(pngtest::ReadFileBytes(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Suite, PngTransparencySuite, testing::ValuesIn(TransparencyFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return std::filesystem::path(info.param).stem().string();
                         });

TEST(PngTransparency, SuiteHasItsTransparencyFiles) { EXPECT_EQ(TransparencyFiles().size(), 14u); }

Bytes Gamma(std::uint32_t value) { return pngtest::Chunk("gAMA", pngtest::BigEndian(value)); }

// The transparent colour hides the pixels whose stored sample is it, and only those. The files
// are those that once hid opaque pixels too (tests/fixtures/png/crashers).
struct KeyCase {
  const char* file;
  std::vector<bool> hidden;  // per pixel of the one row
};

const std::vector<KeyCase>& KeyCases() {
  static const std::vector<KeyCase> cases = {
      // Gamma 1.0 maps 254 to 255: the opaque near-white stays.
      {"key_white_gamma.png", {true, false}},
      // 16-bit samples differing from the key only in the low byte stay.
      {"key_gray16_low_byte.png", {true, false, false}},
      // A dark gamma merges the dark levels into black: only the key's own pixels go.
      {"key_gamma_dark_levels.png", {true, false, false}},
      // Two equal palette colours, the second transparent: by index, the first stays.
      {"key_palette_equal_colours.png", {false, true}},
  };
  return cases;
}

TEST(PngTransparency, TheColourHidesOnlyPixelsWithItsStoredSample) {
  for (const KeyCase& c : KeyCases()) {
    SCOPED_TRACE(c.file);
    const Bytes file = pngtest::CrasherFile(c.file);
    auto picture = pngtest::Load(file);
    ASSERT_EQ(picture->GetTransparencyMode(), tmSingleColor);
    ExpectDrawsLikeLibpng(file);
    const TColor background = Rgb(1, 2, 3);
    const std::vector<TColor> drawn = DrawnOver(*picture, background);
    for (std::size_t x = 0; x < c.hidden.size(); ++x) EXPECT_EQ(drawn[x] == background, c.hidden[x]) << "pixel " << x;
  }
}

TEST(PngTransparency, TruecolourKeysCompareAllSixteenBits) {
  const Bytes file =
      pngtest::Image(2, 1, 16, 2, {{1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 7}}, {pngtest::Chunk("tRNS", {1, 2, 3, 4, 5, 6})});
  ExpectDrawsLikeLibpng(file);
  auto picture = pngtest::Load(file);
  const std::vector<TColor> drawn = DrawnOver(*picture, Rgb(1, 2, 3));
  EXPECT_EQ(drawn[0], Rgb(1, 2, 3));
  EXPECT_EQ(drawn[1], Rgb(1, 3, 5));
}

TEST(PngTransparency, StretchedAndAssignedPicturesKeepTheStoredSampleMask) {
  auto picture = pngtest::Load(pngtest::CrasherFile("key_white_gamma.png"));
  auto stretched = pngtest::Background(4, 2, Rgb(1, 2, 3));
  stretched->GetCanvas()->StretchDraw(win::RECT{0, 0, 4, 2}, picture.get());
  EXPECT_EQ(stretched->GetCanvas()->GetPixel(1, 1), Rgb(1, 2, 3));
  EXPECT_EQ(stretched->GetCanvas()->GetPixel(2, 1), Rgb(255, 255, 255));
  TPNGPicture copy;
  copy.Assign(picture.get());
  EXPECT_EQ(DrawnOver(copy, Rgb(1, 2, 3)), DrawnOver(*picture, Rgb(1, 2, 3)));
  // A pixel changed by hand is judged by the colour it now holds.
  copy.SetPixels(1, 0, static_cast<TColor>(copy.GetPixels(0, 0)));
  EXPECT_EQ(DrawnOver(copy, Rgb(1, 2, 3))[1], Rgb(1, 2, 3));
}

// Chunks out of their place, as the standard orders them: ignored, so the pixels are libpng's.
struct OrderCase {
  const char* name;
  Bytes file;
};

Bytes Idat(const Bytes& raw) { return pngtest::Chunk("IDAT", pngtest::Deflate(raw)); }

std::vector<OrderCase> OrderCases() {
  const Bytes palette = pngtest::Chunk("PLTE", {100, 150, 200, 10, 20, 30});
  const Bytes rgb_pixels = Idat({0, 10, 20, 30, 200, 100, 50});
  return {
      {"late_gama_palette", pngtest::CrasherFile("late_gama_palette.png")},
      {"plte_after_idat", pngtest::CrasherFile("plte_after_idat.png")},
      {"trns_after_idat", pngtest::CrasherFile("trns_after_idat.png")},
      {"gama_after_idat",
       pngtest::Concat({pngtest::Signature(), pngtest::Ihdr(2, 1, 8, 2), rgb_pixels, Gamma(50000), pngtest::Iend()})},
      {"second_gama", pngtest::Concat({pngtest::Signature(), pngtest::Ihdr(2, 1, 8, 2), Gamma(100000), Gamma(50000),
                                       rgb_pixels, pngtest::Iend()})},
      {"palette_trns_after_idat", pngtest::Concat({pngtest::Signature(), pngtest::Ihdr(2, 1, 8, 3), palette,
                                                   Idat({0, 0, 1}), pngtest::Chunk("tRNS", {0}), pngtest::Iend()})},
  };
}

TEST(PngChunkOrder, ChunksOutOfPlaceAreIgnoredLikeLibpngDoes) {
  for (const OrderCase& c : OrderCases()) {
    SCOPED_TRACE(c.name);
    ExpectDrawsLikeLibpng(c.file);
    auto picture = pngtest::Load(c.file);
    EXPECT_EQ(picture->GetTransparencyMode(), tmNone);
  }
}

TEST(PngChunkOrder, LateGammaNoLongerDarkensAPaletteOnEverySave) {
  Bytes file = OrderCases()[0].file;
  for (int round = 0; round < 3; ++round) {
    auto picture = pngtest::Load(file);
    EXPECT_EQ(picture->GetPixels(0, 0), Rgb(100, 150, 200)) << "round " << round;
    file = pngtest::Save(*picture);
  }
}

TEST(PngChunkOrder, TheFirstOfTwoGammaChunksCounts) {
  auto picture = pngtest::Load(OrderCases()[4].file);
  EXPECT_EQ(picture->GammaTable, pngtest::ExpectedGamma(true, 100000));
}

}  // namespace
}  // namespace dashtune
