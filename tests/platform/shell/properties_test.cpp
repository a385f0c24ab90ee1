// The properties window: totals counted from the files when it opens, folders with all they
// hold, links not followed, what is reached twice counted once, bounded by a count of entries, cut
// short when cancelled; several items show their total, one folder its size and contents.
#include "platform/com/com_init.h"
#include "platform/shell/properties_window.h"
#include "platform/shell/shell.h"
#include "platform/user/window.h"

#include "mount_namespace.h"
#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace win {
namespace {

namespace fs = std::filesystem;

class PropertiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    root_ = fs::path(getenv("HOME")) / ("properties-" + std::to_string(++counter));
    fs::create_directories(root_ / "tree/sub/deeper");
    File("tree/a", 100);
    File("tree/sub/b", 20);
    File("tree/sub/deeper/c", 3);
    // A link counts as itself (its target's name), never as what it points to.
    fs::create_symlink(root_ / "big", root_ / "tree/sub/link-to-big");
    File("big", 5000);
    File("single", 7);
  }
  void TearDown() override {
    fs::permissions(root_ / "tree/sub", fs::perms::owner_all);
    fs::remove_all(root_);
  }
  void File(const std::string& relative, std::size_t size) { std::ofstream(root_ / relative) << std::string(size, 'x'); }
  std::uint64_t LinkSize() const { return (root_ / "big").string().size(); }
  std::vector<std::string> Paths() const { return {(root_ / "tree").string(), (root_ / "single").string()}; }

  fs::path root_;
};

TEST_F(PropertiesTest, CountAddsFoldersWithAllTheyHold) {
  const std::atomic<bool> running{false};
  const properties_window::Totals totals = properties_window::Count(Paths(), 1000, running);
  EXPECT_TRUE(totals.complete);
  EXPECT_EQ(totals.bytes, 100 + 20 + 3 + 7 + LinkSize());
  // What the paths hold: a, b, c and the link; sub and deeper.
  EXPECT_EQ(totals.files, 4u);
  EXPECT_EQ(totals.folders, 2u);
}

TEST_F(PropertiesTest, WhatIsReachedTwiceCountsOnce) {
  const std::atomic<bool> running{false};
  fs::create_hard_link(root_ / "tree/a", root_ / "tree/sub/also-a");
  const properties_window::Totals linked = properties_window::Count(Paths(), 1000, running);
  EXPECT_TRUE(linked.complete);
  EXPECT_EQ(linked.bytes, 100 + 20 + 3 + 7 + LinkSize());
  // The tree mounted inside itself, and another folder mounted twice inside it, two levels down.
  fs::create_directories(root_ / "elsewhere");
  File("elsewhere/e", 1000);
  fs::create_directories(root_ / "tree/self");
  fs::create_directories(root_ / "tree/sub/deeper/first");
  fs::create_directories(root_ / "tree/sub/second");
  properties_window::Totals mounted;
  const std::string reason = dashtune::testing::InPrivateMountNamespace([&]() -> std::string {
    for (const auto& [source, target] : {std::pair{"tree", "tree/self"}, std::pair{"elsewhere", "tree/sub/deeper/first"},
                                         std::pair{"elsewhere", "tree/sub/second"}})
      if (std::string failed = dashtune::testing::Mount((root_ / source).string(), (root_ / target).string(), nullptr, MS_BIND);
          !failed.empty())
        return failed;
    mounted = properties_window::Count({(root_ / "tree").string()}, 1000, running);
    return {};
  });
  if (!reason.empty()) GTEST_SKIP() << reason;
  EXPECT_TRUE(mounted.complete);
  EXPECT_EQ(mounted.bytes, 100 + 20 + 3 + 1000 + LinkSize());
  // a (once for its two links), b, c, the link, e; sub, deeper, and "elsewhere" as "first" (as
  // "self" and "second" they were reached before).
  EXPECT_EQ(mounted.files, 5u);
  EXPECT_EQ(mounted.folders, 3u);
}

TEST_F(PropertiesTest, CountIsBoundedAndCancellable) {
  const std::atomic<bool> running{false};
  // The tree holds 8 entries with the folders themselves.
  const properties_window::Totals bounded = properties_window::Count(Paths(), 3, running);
  EXPECT_FALSE(bounded.complete);
  EXPECT_LT(bounded.bytes, 100 + 20 + 3 + 7 + LinkSize());
  const std::atomic<bool> cancelled{true};
  const properties_window::Totals stopped = properties_window::Count(Paths(), 1000, cancelled);
  EXPECT_FALSE(stopped.complete);
  EXPECT_EQ(stopped.bytes, 0u);
  if (geteuid() != 0) {
    fs::permissions(root_ / "tree/sub", fs::perms::none);
    const properties_window::Totals unreadable = properties_window::Count(Paths(), 1000, running);
    EXPECT_FALSE(unreadable.complete);
    EXPECT_EQ(unreadable.bytes, 100u + 7u);
  }
}

std::vector<std::string> LinesOf(HWND window) {
  std::vector<std::string> lines;
  for (HWND line = FindWindowExA(window, nullptr, properties_window::kLineClass, nullptr); line != nullptr;
       line = FindWindowExA(window, line, properties_window::kLineClass, nullptr)) {
    char text[256] = {};
    GetWindowTextA(line, text, sizeof(text));
    lines.emplace_back(text);
  }
  return lines;
}

std::vector<shell_model::Item> ItemsAt(const std::vector<std::string>& paths) {
  std::vector<shell_model::Item> items;
  for (const std::string& path : paths) {
    const LPITEMIDLIST list = shell_model::PathToList(path);
    items.push_back(*shell_model::Resolve(list));
    CoTaskMemFree(list);
  }
  return items;
}

TEST_F(PropertiesTest, WindowOfSeveralItemsShowsTheTotalCountedWhenItOpens) {
  const std::vector<shell_model::Item> items = ItemsAt(Paths());
  // Changed after the items were read: the window counts what is there now.
  File("single", 4096);
  ASSERT_TRUE(properties_window::Show(items, nullptr));
  const HWND window = FindWindowA(properties_window::kWindowClass, "2 Items Properties");
  ASSERT_NE(window, nullptr);
  std::vector<std::string> lines = LinesOf(window);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Items: 2");
  ASSERT_TRUE(dashtune::testing::PumpUntil([&] { return LinesOf(window)[1] != "Total size: counting..."; }));
  const unsigned long long total = 100 + 20 + 3 + 4096 + LinkSize();
  char bytes[32];
  std::snprintf(bytes, sizeof(bytes), "(%llu,%03llu bytes)", total / 1000, total % 1000);
  lines = LinesOf(window);
  EXPECT_EQ(lines[1].rfind("Total size: ", 0), 0u) << lines[1];
  EXPECT_NE(lines[1].find(bytes), std::string::npos) << lines[1];
  EXPECT_EQ(lines[1].find("at least"), std::string::npos) << lines[1];
  EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(PropertiesTest, WindowOfOneFolderShowsItsSizeAndWhatItHolds) {
  // 1,000 files of 100 to 1,099 bytes: 599,500 bytes, and one empty folder.
  fs::create_directories(root_ / "thousand/inner");
  for (int i = 0; i < 1000; ++i) File("thousand/file-" + std::to_string(i), 100 + i);
  ASSERT_TRUE(properties_window::Show(ItemsAt({(root_ / "thousand").string()}), nullptr));
  const HWND window = FindWindowA(properties_window::kWindowClass, "thousand Properties");
  ASSERT_NE(window, nullptr);
  std::vector<std::string> lines = LinesOf(window);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], "Name: thousand");
  EXPECT_EQ(lines[1], "Type: Folder");
  EXPECT_EQ(lines[2], "Location: " + root_.string());
  // Counted on the worker: until it is done the lines say so.
  ASSERT_TRUE(dashtune::testing::PumpUntil([&] { return LinesOf(window)[4] != "Contains: counting..."; }));
  lines = LinesOf(window);
  EXPECT_EQ(lines[3].rfind("Size: ", 0), 0u) << lines[3];
  EXPECT_NE(lines[3].find("(599,500 bytes)"), std::string::npos) << lines[3];
  EXPECT_EQ(lines[3].find("at least"), std::string::npos) << lines[3];
  EXPECT_EQ(lines[4], "Contains: 1,000 files, 1 folder");
  EXPECT_EQ(lines[5].rfind("Modified: ", 0), 0u) << lines[5];
  EXPECT_TRUE(DestroyWindow(window));

  // A file's window counts nothing: its size is its own.
  ASSERT_TRUE(properties_window::Show(ItemsAt({(root_ / "single").string()}), nullptr));
  const HWND file_window = FindWindowA(properties_window::kWindowClass, "single Properties");
  ASSERT_NE(file_window, nullptr);
  lines = LinesOf(file_window);
  EXPECT_EQ(lines[3], "Size: 1 KB (7 bytes)");
  EXPECT_EQ(lines[4].rfind("Modified: ", 0), 0u) << lines[4];
  EXPECT_TRUE(DestroyWindow(file_window));
}

TEST_F(PropertiesTest, ClosingTheWindowStopsItsCount) {
  for (int i = 0; i < 2000; ++i) File("tree/sub/many-" + std::to_string(i), 1);
  ASSERT_TRUE(properties_window::Show(ItemsAt(Paths()), nullptr));
  const HWND window = FindWindowA(properties_window::kWindowClass, "2 Items Properties");
  ASSERT_NE(window, nullptr);
  // Waits for the worker, whatever it had reached; nothing it posts afterwards reaches anyone.
  EXPECT_TRUE(DestroyWindow(window));
  dashtune::testing::PumpPending();
  EXPECT_EQ(FindWindowA(properties_window::kWindowClass, "2 Items Properties"), nullptr);
}

}  // namespace
}  // namespace win
