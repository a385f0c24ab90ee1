// The trash info reader: valid and broken info files, relative paths, and seeded mutations.
#include "platform/shell/trash.h"

#include <gtest/gtest.h>

#include "fuzz_budget.h"

#include <random>

namespace win::trash {
namespace {

struct InfoCase {
  const char* what;
  std::string text;
  std::optional<std::string> path;  // nothing: not an info file
};

TEST(TrashInfoTest, ReadsPathAndDateOrRefuses) {
  const std::vector<InfoCase> cases = {
      {"plain", "[Trash Info]\nPath=/home/u/a.txt\nDeletionDate=2026-12-07T09:30:00\n", "/home/u/a.txt"},
      {"escaped", "[Trash Info]\nPath=/home/u/a%20b%C3%A4.txt\n", "/home/u/a b\xC3\xA4.txt"},
      {"relative to the mount", "[Trash Info]\nPath=docs/x\n", "/media/usb/docs/x"},
      {"CRLF lines", "[Trash Info]\r\nPath=/a\r\n", "/a"},
      {"comment and other group", "# c\n[Other]\nPath=/wrong\n[Trash Info]\nPath=/right\n", "/right"},
      {"no group", "Path=/a\n", std::nullopt},
      {"no path", "[Trash Info]\nDeletionDate=2026-12-07T09:30:00\n", std::nullopt},
      {"empty path", "[Trash Info]\nPath=\n", std::nullopt},
      {"bad escape", "[Trash Info]\nPath=/a%zz\n", std::nullopt},
      {"cut escape", "[Trash Info]\nPath=/a%2\n", std::nullopt},
      {"escaped NUL", "[Trash Info]\nPath=/a%00b\n", std::nullopt},
      {"empty text", "", std::nullopt},
  };
  for (const InfoCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<TrashInfo> info = ParseTrashInfo(c.text, "/media/usb");
    ASSERT_EQ(info.has_value(), c.path.has_value());
    if (info) {
      EXPECT_EQ(info->original_path, *c.path);
    }
  }
  EXPECT_EQ(ParseTrashInfo("[Trash Info]\nPath=/a\nDeletionDate=2026-12-07T09:30:00\n", "/")->deletion_date,
            "2026-12-07T09:30:00");
}

TEST(TrashInfoTest, FuzzedInfoFilesGiveAbsolutePathsOrNothing) {
  std::mt19937 random(win::testing::FuzzSeed(7));
  const std::string seed = "[Trash Info]\nPath=/home/u/a%20b.txt\nDeletionDate=2026-12-07T09:30:00\n";
  const std::uint64_t rounds = win::testing::FuzzIterations(20000);
  for (std::uint64_t round = 0; round < rounds; ++round) {
    std::string text = seed;
    for (int e = 0; e < 1 + static_cast<int>(random() % 5); ++e) {
      const std::size_t at = random() % (text.size() + 1);
      if (random() % 2 == 0 && at < text.size()) text.erase(at, 1 + random() % 3);
      else text.insert(at, 1, "%[]=\n\0/aZ"[random() % 10]);
    }
    const std::optional<TrashInfo> info = ParseTrashInfo(text, "/mnt");
    if (info) {
      EXPECT_FALSE(info->original_path.empty());
      EXPECT_EQ(info->original_path.front(), '/');
    }
  }
}

}  // namespace
}  // namespace win::trash
