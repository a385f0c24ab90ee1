// Every input that once crashed, hung or misdecoded the codec loads as libpng reads it.
// Each file of tests/fixtures/png/crashers is listed with its origin in crashers/ORIGINS. A file
// loads or is refused with one of the codec's exceptions; when libpng reads it, the picture draws
// libpng's pixels over two backgrounds (alpha included), and saving and loading it again
// changes nothing after the first time.
#include <gtest/gtest.h>

#include "crasher_list.h"
#include "png_test_support.h"

namespace dashtune {
namespace {

using pngtest::Bytes;

const std::string kCrashers = std::string(PNG_FIXTURES_DIR) + "/crashers";

std::vector<std::string> Crashers() { return crashers::Listed(kCrashers); }

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
  const std::vector<std::string> files = crashers::Present(kCrashers, ".png");
  EXPECT_FALSE(files.empty());
  EXPECT_EQ(files, crashers::Sorted(Crashers()));
}

}  // namespace
}  // namespace dashtune
