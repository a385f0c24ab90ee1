// The link file reader: applications and URLs, field codes, the Dashtune keys, broken files.
#include "platform/shell/desktop_entry.h"

#include <gtest/gtest.h>

#include "fuzz_budget.h"

#include <random>

namespace win::desktop_entry {
namespace {

TEST(DesktopEntryTest, ApplicationLinkGivesProgramArgumentsAndKeys) {
  const std::optional<LinkData> link = Parse(
      "[Desktop Entry]\nType=Application\nName=Edit\nExec=sh -c \"echo hi\" %F --x=%% %u\nComment=Says hi\n"
      "Path=/tmp\nIcon=accessories-text-editor\nX-Dashtune-IconIndex=3\nX-Dashtune-HotKey=0x0674\n"
      "X-Dashtune-ShowCommand=7\n");
  ASSERT_TRUE(link);
  EXPECT_TRUE(link->target.ends_with("/sh")) << link->target;
  EXPECT_EQ(link->arguments, "-c \"echo hi\" --x=%");
  EXPECT_EQ(link->description, "Says hi");
  EXPECT_EQ(link->working_directory, "/tmp");
  EXPECT_EQ(link->icon_location, "accessories-text-editor");
  EXPECT_EQ(link->icon_index, 3);
  EXPECT_EQ(link->hot_key, 0x0674);
  EXPECT_EQ(link->show_command, 7);
}

TEST(DesktopEntryTest, UrlLinksAndDefaults) {
  const std::optional<LinkData> file = Parse("[Desktop Entry]\nType=Link\nURL=file:///home/u/a%20b\n");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->target, "/home/u/a b");
  EXPECT_EQ(file->show_command, 1);
  EXPECT_EQ(file->hot_key, 0);
  const std::optional<LinkData> web = Parse("[Desktop Entry]\nType=Link\nURL=https://example.org/\n");
  ASSERT_TRUE(web);
  EXPECT_EQ(web->target, "https://example.org/");
}

TEST(DesktopEntryTest, BrokenFilesAreRefused) {
  const char* broken[] = {
      "",
      "not a key file",
      "[Other]\nType=Link\nURL=x\n",
      "[Desktop Entry]\nType=Directory\n",
      "[Desktop Entry]\nType=Link\n",
      "[Desktop Entry]\nType=Application\nExec=\"unterminated\n",
      "[Desktop Entry]\nType=Application\nExec=%f\n",
  };
  for (const char* text : broken) EXPECT_FALSE(Parse(text)) << text;
  EXPECT_EQ(Parse("[Desktop Entry]\nType=Link\nURL=x\nX-Dashtune-HotKey=70000\n")->hot_key, 0);
  EXPECT_EQ(Parse("[Desktop Entry]\nType=Link\nURL=x\nX-Dashtune-ShowCommand=-1\n")->show_command, 1);
}

TEST(DesktopEntryTest, FuzzedFilesNeverBreakTheReader) {
  std::mt19937 random(win::testing::FuzzSeed(11));
  const std::string seed =
      "[Desktop Entry]\nType=Application\nExec=prog --a %f \"q r\"\nComment=c\nX-Dashtune-HotKey=0x0674\n";
  int parsed = 0;
  const std::uint64_t rounds = win::testing::FuzzIterations(5000);
  for (std::uint64_t round = 0; round < rounds; ++round) {
    std::string text = seed;
    for (int e = 0; e < 1 + static_cast<int>(random() % 4); ++e) {
      const std::size_t at = random() % (text.size() + 1);
      if (random() % 2 == 0 && at < text.size()) text.erase(at, 1 + random() % 4);
      else text.insert(at, 1, "[]=%\"\\\n;\xff"[random() % 10]);
    }
    if (const std::optional<LinkData> link = Parse(text)) {
      ++parsed;
      EXPECT_FALSE(link->target.empty());
    }
  }
  EXPECT_GT(parsed, 0);
}

}  // namespace
}  // namespace win::desktop_entry
