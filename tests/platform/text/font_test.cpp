// Fonts: the fixed-metrics face, font requests by name, weight and style, DejaVu heights.
#include "platform/text/font.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "platform/text/font_files.h"
#include "text_test_support.h"

namespace win::text {
namespace {

using testing::DejaVu;
using testing::FixedFont;
using testing::LogFontA;
using testing::LogFontW;

struct FixedMetricsCase {
  LONG lf_height;
  int height, ascent, descent, advance;
};

class FixedMetricsFontTest : public ::testing::TestWithParam<FixedMetricsCase> {};

TEST_P(FixedMetricsFontTest, EveryCharacterHasTheSameAdvanceAndCell) {
  const FixedMetricsCase& c = GetParam();
  const auto font = FixedFont(c.lf_height);
  ASSERT_TRUE(font->IsFixedMetrics());
  const FontMetrics& metrics = font->GetMetrics();
  EXPECT_EQ(metrics.height, c.height);
  EXPECT_EQ(metrics.ascent, c.ascent);
  EXPECT_EQ(metrics.descent, c.descent);
  EXPECT_EQ(metrics.internal_leading, 0);
  EXPECT_EQ(metrics.average_char_width, c.advance);
  EXPECT_EQ(metrics.max_char_width, c.advance);
  for (char32_t character : {U'i', U'W', U' ', U'.', U'\u00E9', U'\U0001F600'})
    EXPECT_EQ(font->Advance(character), c.advance);
  const Glyph& box = font->GetGlyph(U'x');
  EXPECT_EQ(box.width, std::max(1, c.advance - 1));
  EXPECT_EQ(box.height, c.height);
  EXPECT_EQ(box.top, c.ascent);
  EXPECT_EQ(box.left, 0);
  EXPECT_TRUE(std::all_of(box.coverage.begin(), box.coverage.end(), [](auto v) { return v == 255; }));
  EXPECT_TRUE(font->GetGlyph(U' ').coverage.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, FixedMetricsFontTest,
                         ::testing::Values(FixedMetricsCase{-10, 10, 8, 2, 5},
                                           FixedMetricsCase{10, 10, 8, 2, 5},
                                           FixedMetricsCase{12, 12, 9, 3, 6},
                                           FixedMetricsCase{0, 16, 12, 4, 8},
                                           FixedMetricsCase{1, 1, 1, 0, 1},
                                           FixedMetricsCase{INT_MIN, 1024, 768, 256, 512}));

TEST(FontRequestTest, FixedFontIsChosenByFaceNameIgnoringCase) {
  EXPECT_TRUE(RequestFromLogFont(LogFontW("dashtune FIXED metrics", 10)).fixed_metrics);
  EXPECT_TRUE(RequestFromLogFont(LogFontA(kFixedMetricsFaceName, 10)).fixed_metrics);
  EXPECT_FALSE(RequestFromLogFont(LogFontW("Dashtune Fixed Metrics2", 10)).fixed_metrics);
  EXPECT_FALSE(RequestFromLogFont(LogFontA("Some Sans", 10)).fixed_metrics);
}

TEST(FontRequestTest, BoldFromSemiboldUpItalicAndUnderlineFromTheirBytes) {
  EXPECT_FALSE(RequestFromLogFont(LogFontW("x", 10, FW_MEDIUM)).bold);
  EXPECT_TRUE(RequestFromLogFont(LogFontW("x", 10, FW_SEMIBOLD)).bold);
  EXPECT_TRUE(RequestFromLogFont(LogFontW("x", 10, FW_HEAVY)).bold);
  const FontRequest request = RequestFromLogFont(LogFontW("x", -12, FW_NORMAL, true, true));
  EXPECT_TRUE(request.italic);
  EXPECT_TRUE(request.underline);
  EXPECT_EQ(request.height, -12);
}

TEST(FontRequestTest, FaceNameWithoutTerminatorIsReadOnlyWithinItsField) {
  LOGFONTW font;
  std::fill(std::begin(font.lfFaceName), std::end(font.lfFaceName), u'x');
  EXPECT_FALSE(RequestFromLogFont(font).fixed_metrics);
}

TEST(DejaVuFontTest, NegativeHeightIsTheCharacterHeight) {
  const auto font = DejaVu(-11);
  ASSERT_FALSE(font->IsFixedMetrics());
  const FontMetrics& metrics = font->GetMetrics();
  // DejaVu Sans: 2048 units per em, Windows ascent 1901, descent 483.
  EXPECT_EQ(metrics.ascent, 10);
  EXPECT_EQ(metrics.descent, 3);
  EXPECT_EQ(metrics.height, 13);
  EXPECT_EQ(metrics.internal_leading, 2);
  EXPECT_EQ(metrics.weight, FW_NORMAL);
}

TEST(DejaVuFontTest, PositiveHeightIsTheCellHeight) {
  for (LONG height : {8, 13, 20, 33}) {
    const FontMetrics& metrics = DejaVu(height)->GetMetrics();
    EXPECT_EQ(metrics.height, height);
    EXPECT_EQ(metrics.ascent + metrics.descent, height);
    EXPECT_GT(metrics.internal_leading, 0);
  }
  EXPECT_EQ(DejaVu(0)->GetMetrics().height, kDefaultCellHeight);
}

TEST(DejaVuFontTest, EveryFaceNameMapsToTheSameFont) {
  const auto reference = DejaVu(-12);
  for (const char* face : {"", "Sans Serif", "System", "No Such Face"}) {
    const auto other = RealizeFont(RequestFromLogFont(LogFontW(face, -12)));
    for (char32_t c : std::u32string(U"Hello, World"))
      EXPECT_EQ(other->Advance(c), reference->Advance(c)) << face;
  }
}

TEST(DejaVuFontTest, ProportionalAdvancesAndBoldIsWider) {
  const auto regular = DejaVu(-12);
  const auto bold = DejaVu(-12, FW_BOLD);
  EXPECT_LT(regular->Advance(U'i'), regular->Advance(U'W'));
  EXPECT_EQ(bold->GetMetrics().weight, FW_BOLD);
  const std::u32string sample = U"Bold makes the text wider";
  auto width = [&](const Font& font) {
    return std::accumulate(sample.begin(), sample.end(), 0,
                           [&](int sum, char32_t c) { return sum + font.Advance(c); });
  };
  EXPECT_GT(width(*bold), width(*regular));
}

TEST(DejaVuFontTest, ItalicSlantsTheGlyphButKeepsTheAdvance) {
  const auto upright = DejaVu(-20);
  const auto italic = DejaVu(-20, FW_NORMAL, true);
  EXPECT_TRUE(italic->GetMetrics().italic);
  EXPECT_EQ(italic->Advance(U'l'), upright->Advance(U'l'));
  EXPECT_NE(italic->GetGlyph(U'l').coverage, upright->GetGlyph(U'l').coverage);
}

TEST(DejaVuFontTest, GlyphsHaveCoverageInsideTheCell) {
  const auto font = DejaVu(-16);
  const Glyph& glyph = font->GetGlyph(U'H');
  ASSERT_GT(glyph.width, 0);
  ASSERT_EQ(glyph.coverage.size(), static_cast<std::size_t>(glyph.width) * glyph.height);
  EXPECT_EQ(*std::max_element(glyph.coverage.begin(), glyph.coverage.end()), 255);
  EXPECT_LE(glyph.top, font->GetMetrics().ascent);
  EXPECT_GE(glyph.top - glyph.height, -font->GetMetrics().descent);
}

TEST(DejaVuFontTest, ExtremeHeightsAreClamped) {
  const FontMetrics& metrics = DejaVu(INT_MIN)->GetMetrics();
  EXPECT_GE(metrics.height, 1024);
  EXPECT_LE(metrics.height, 1300);
}

TEST(DejaVuFontTest, RealisingTheSameRequestReusesTheFont) {
  EXPECT_EQ(DejaVu(-13).get(), DejaVu(-13).get());
  EXPECT_NE(DejaVu(-13).get(), DejaVu(-14).get());
}

TEST(DejaVuFontTest, SeveralThreadsMeasureAndRenderTheSameFontAlike) {
  const auto font = DejaVu(-15);
  const std::u32string sample = U"The quick brown fox jumps over the lazy dog 0123456789 \u00E9\u00DF";
  auto measure = [&] {
    long long total = 0;
    for (char32_t c : sample) total += font->Advance(c) + font->GetGlyph(c).width;
    return total;
  };
  std::vector<long long> results(4);
  std::vector<std::thread> threads;
  for (auto& result : results) threads.emplace_back([&] { result = measure(); });
  for (auto& thread : threads) thread.join();
  for (long long result : results) EXPECT_EQ(result, measure());
}

class FontFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            ("dashtune-fonts-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(root_);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  void Touch(const std::filesystem::path& path) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "font";
  }
  std::filesystem::path root_;
};

TEST_F(FontFilesTest, FindsTheFileDirectlyOrBelowTheDirectories) {
  Touch(root_ / "b" / "truetype" / "dejavu" / "DejaVuSans.ttf");
  Touch(root_ / "a" / "DejaVuSans-Bold.ttf");
  EXPECT_EQ(FindFontFile("DejaVuSans-Bold.ttf", {root_ / "a"}), root_ / "a" / "DejaVuSans-Bold.ttf");
  EXPECT_EQ(FindFontFile("DejaVuSans.ttf", {root_ / "a", root_ / "b"}),
            root_ / "b" / "truetype" / "dejavu" / "DejaVuSans.ttf");
  EXPECT_EQ(FindFontFile("DejaVuSans.ttf", {root_ / "a", root_ / "missing"}), std::nullopt);
}

TEST_F(FontFilesTest, DirectoryWithTheFontsNameIsNotAFont) {
  std::filesystem::create_directories(root_ / "DejaVuSans.ttf");
  EXPECT_EQ(FindFontFile("DejaVuSans.ttf", {root_}), std::nullopt);
}

TEST_F(FontFilesTest, FilesThatAreNotFontsAreRefused) {
  Touch(root_ / "garbage.ttf");
  const auto installed = InstalledFontFiles();
  ASSERT_TRUE(installed.regular.has_value());
  std::string bytes(4096, '\0');
  std::ifstream(*installed.regular, std::ios::binary).read(bytes.data(), bytes.size());
  std::ofstream(root_ / "truncated.ttf", std::ios::binary).write(bytes.data(), bytes.size());

  const FontRequest regular = RequestFromLogFont(LogFontW("x", -12));
  EXPECT_EQ(OpenFontFile(regular, {}), nullptr);
  EXPECT_EQ(OpenFontFile(regular, {root_ / "garbage.ttf", std::nullopt}), nullptr);
  EXPECT_EQ(OpenFontFile(regular, {root_ / "missing.ttf", std::nullopt}), nullptr);
  // A truncated face is refused, or opens and answers empty glyphs: never a crash.
  if (auto font = OpenFontFile(regular, {root_ / "truncated.ttf", std::nullopt})) {
    for (char32_t c : std::u32string(U"Ab")) EXPECT_GE(font->GetGlyph(c).advance, 0);
  }
}

TEST_F(FontFilesTest, BoldWithoutABoldFileEmboldensTheRegularFace) {
  const auto installed = InstalledFontFiles();
  const FontRequest bold = RequestFromLogFont(LogFontW("x", -20, FW_BOLD));
  const auto emboldened = OpenFontFile(bold, {installed.regular, root_ / "no-bold.ttf"});
  const auto regular = OpenFontFile(RequestFromLogFont(LogFontW("x", -20)), installed);
  ASSERT_NE(emboldened, nullptr);
  ASSERT_NE(regular, nullptr);
  EXPECT_EQ(emboldened->GetMetrics().weight, FW_BOLD);
  EXPECT_GT(emboldened->Advance(U'm'), regular->Advance(U'm'));
}

TEST_F(FontFilesTest, SearchStopsAtBoundedDepth) {
  Touch(root_ / "1" / "2" / "3" / "4" / "5" / "6" / "DejaVuSans.ttf");
  EXPECT_EQ(FindFontFile("DejaVuSans.ttf", {root_}), std::nullopt);
}

TEST(FontFilesLocateTest, ConfiguredDirectoryIsSearchedFirst) {
  const char* saved = std::getenv("DASHTUNE_FONT_DIR");
  const std::string previous = saved ? saved : "";
  setenv("DASHTUNE_FONT_DIR", "/opt/fonts", 1);
  const auto directories = DefaultFontDirectories();
  ASSERT_FALSE(directories.empty());
  EXPECT_EQ(directories.front(), "/opt/fonts");
  setenv("DASHTUNE_FONT_DIR", "", 1);
  EXPECT_EQ(DefaultFontDirectories().front(), "/usr/share/fonts/truetype/dejavu");
  if (saved)
    setenv("DASHTUNE_FONT_DIR", previous.c_str(), 1);
  else
    unsetenv("DASHTUNE_FONT_DIR");
}

TEST(FontFilesLocateTest, TheInstalledDejaVuFilesAreFound) {
  ASSERT_TRUE(LocateFontFile(FontStyle::kRegular).has_value());
  EXPECT_EQ(LocateFontFile(FontStyle::kRegular)->filename(), "DejaVuSans.ttf");
  ASSERT_TRUE(LocateFontFile(FontStyle::kBold).has_value());
  EXPECT_EQ(LocateFontFile(FontStyle::kBold)->filename(), "DejaVuSans-Bold.ttf");
}

}  // namespace
}  // namespace win::text
