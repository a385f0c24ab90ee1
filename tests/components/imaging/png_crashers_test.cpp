// Every input that once crashed, hung or misdecoded the codec loads as libpng reads it.
// Each file of tests/fixtures/png/crashers is listed with its origin in crashers/ORIGINS. A file
// loads or is refused with one of the codec's exceptions; when libpng reads it, the picture draws
// libpng's pixels over two backgrounds (alpha included), and saving and loading it again
// changes nothing after the first time.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "png_test_support.h"

namespace dashtune {
namespace {

using pngtest::Bytes;

// The file names of crashers/ORIGINS, whose lines read "name: origin".
std::vector<std::string> Crashers() {
  std::ifstream in(std::string(PNG_FIXTURES_DIR) + "/crashers/ORIGINS");
  std::vector<std::string> names;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') names.push_back(line.substr(0, line.find(':')));
  return names;
}

class PngCrashers : public testing::TestWithParam<std::string> {};

TEST_P(PngCrashers, LoadsAsLibpngReadsIt) {
  const Bytes file = pngtest::CrasherFile(GetParam());
  std::unique_ptr<TPNGPicture> picture;
  try {
    picture = pngtest::Load(file);
  } catch (const EPngError&) {
    EXPECT_THROW(pngtest::LibpngRead(file), std::runtime_error);
    return;
  }
  // Saving passes colours through the inverse gamma table and keeps 16-bit samples' high bytes,
  // so the first reload may differ; from then on saving changes nothing.
  auto reloaded = pngtest::Load(pngtest::Save(*picture));
  auto again = pngtest::Load(pngtest::Save(*reloaded));
  for (const TColor background : {pngtest::Rgb(0x30, 0x60, 0xC0), pngtest::Rgb(0xF0, 0xE0, 0x0D)}) {
    SCOPED_TRACE(background);
    EXPECT_EQ(pngtest::DrawnOver(*picture, background), pngtest::LibpngBlendedOver(file, background));
    EXPECT_EQ(pngtest::DrawnOver(*again, background), pngtest::DrawnOver(*reloaded, background));
  }
}

INSTANTIATE_TEST_SUITE_P(Files, PngCrashers, testing::ValuesIn(Crashers()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return info.param.substr(0, info.param.find('.'));
                         });

TEST(PngCrasherList, EveryFileHasItsOrigin) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(PNG_FIXTURES_DIR) + "/crashers"))
    if (entry.path().extension() == ".png") files.push_back(entry.path().filename().string());
  std::vector<std::string> listed = Crashers();
  std::sort(files.begin(), files.end());
  std::sort(listed.begin(), listed.end());
  EXPECT_FALSE(files.empty());
  EXPECT_EQ(files, listed);
}

}  // namespace
}  // namespace dashtune
