// The properties window of several items: totals counted from the files when it opens, folders
// with all they hold, links not followed, bounded by a count of entries, cut short when cancelled.
#include "platform/com/com_init.h"
#include "platform/shell/properties_window.h"
#include "platform/shell/shell.h"
#include "platform/user/window.h"

#include "platform_test_support.h"

#include <gtest/gtest.h>

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
