// Every input that once crashed, hung or misdecoded the GIF codec loads as giflib reads it.
// Each file of tests/fixtures/gif/crashers is listed with its origin in crashers/ORIGINS. A file
// loads or is refused with a GIFException as giflib refuses it; when giflib reads it, the frames
// are giflib's; whatever loaded saves as a file giflib reads back to the same frames and comments.
#include <gtest/gtest.h>

#include "crasher_list.h"
#include "gif_test_support.h"

namespace dashtune {
namespace {

using giftest::Bytes;

const std::string kCrashers = std::string(GIF_FIXTURES_DIR) + "/crashers";

std::vector<std::string> Crashers() { return crashers::Listed(kCrashers); }

// Each frame's comment extensions as giflib keeps them.
std::vector<std::vector<Bytes>> Comments(const giftest::GiflibFile& file) {
  constexpr std::uint8_t kCommentLabel = 0xFE;
  std::vector<std::vector<Bytes>> comments;
  for (const giftest::GiflibFrame& frame : file.frames) {
    comments.emplace_back();
    for (const Bytes& extension : frame.extensions)
      if (extension.size() > 1 && extension[1] == kCommentLabel) comments.back().push_back(extension);
  }
  return comments;
}

class GifCrashers : public testing::TestWithParam<std::string> {};

TEST_P(GifCrashers, LoadsAsGiflibReadsItAndSavesWhatGiflibReadsBack) {
  const Bytes file = giftest::ReadFile(kCrashers + "/" + GetParam());
  ASSERT_FALSE(file.empty());
  const auto ref = giftest::GiflibRead(file);
  const auto loaded = giftest::Load(file);
  if (!loaded.error.empty()) {
    EXPECT_FALSE(ref.has_value()) << loaded.error;
    return;
  }
  if (ref.has_value()) {
    EXPECT_EQ(giftest::CompareFrames(*ref, *loaded.picture), "");
  }
  const auto saved = giftest::GiflibRead(giftest::Save(*loaded.picture));
  ASSERT_TRUE(saved.has_value());
  EXPECT_EQ(giftest::CompareFrames(*saved, *loaded.picture), "");
  if (ref.has_value()) {
    EXPECT_EQ(Comments(*saved), Comments(*ref));
  }
}

INSTANTIATE_TEST_SUITE_P(Files, GifCrashers, testing::ValuesIn(Crashers()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return info.param.substr(0, info.param.find('.'));
                         });

TEST(GifCrasherList, EveryFileHasItsOrigin) {
  const std::vector<std::string> files = crashers::Present(kCrashers, ".gif");
  EXPECT_FALSE(files.empty());
  EXPECT_EQ(files, crashers::Sorted(Crashers()));
}

}  // namespace
}  // namespace dashtune
