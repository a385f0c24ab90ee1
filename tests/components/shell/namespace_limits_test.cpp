// TNamespace at the edge of what an item-ID list can hold: the deepest folder a list fits names
// itself, clones whole and stays itself through its copies; a child one level deeper is refused
// as an item and never stands for its parent.
#include "components/shell/namespace.h"
#include "components/shell/shell_utilities.h"
#include "platform/com/com_init.h"
#include "platform/core/strings.h"
#include "platform/shell/shell.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

namespace dashtune {
namespace {

namespace fs = std::filesystem;

class TNamespaceLimitsTest : public ::testing::Test {
 protected:
  void SetUp() override { root_ = fs::path(getenv("HOME")) / "limits"; }
  void TearDown() override { std::system(("rm -rf '" + root_.string() + "'").c_str()); }

  // "root/d/d/.../d" with `depth` folders below root.
  std::string PathAt(int depth) const {
    std::string path = root_.string();
    for (int i = 0; i < depth; ++i) path += "/d";
    return path;
  }

  fs::path root_;
};

TEST_F(TNamespaceLimitsTest, TheDeepestItemNamesItselfAndItsChildrenAreRefused) {
  constexpr int kDepth = 1500;  // past what a list of one-letter folders can hold
  fs::create_directories(root_);
  for (int depth = 1; depth <= kDepth; ++depth) ASSERT_EQ(mkdir(PathAt(depth).c_str(), 0700), 0);
  // The deepest depth whose list can be made, found by halving.
  int fits = 1, refused = kDepth;
  ASSERT_EQ(shell::PathToPIDL(win::Utf8ToUtf16(PathAt(refused))), nullptr);
  while (refused - fits > 1) {
    const int middle = (fits + refused) / 2;
    win::LPITEMIDLIST list = shell::PathToPIDL(win::Utf8ToUtf16(PathAt(middle)));
    (list != nullptr ? fits : refused) = middle;
    win::CoTaskMemFree(list);
  }
  ASSERT_GT(fits, 1000);

  const std::unique_ptr<TNamespace> deepest = TNamespace::CreateFromFileName(win::Utf8ToUtf16(PathAt(fits)));
  EXPECT_EQ(deepest->NameForParsing(), win::Utf8ToUtf16(PathAt(fits)));
  const std::unique_ptr<TNamespace> clone = deepest->Clone(true);
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->NameForParsing(), win::Utf8ToUtf16(PathAt(fits)));
  EXPECT_TRUE(clone->Folder());
  EXPECT_THROW(TNamespace::CreateFromFileName(win::Utf8ToUtf16(PathAt(fits + 1))), EShellInvalidFileName);

  // Its child is handed out as an ID, but the item made of it is no item: never its parent.
  int children = 0;
  deepest->EnumerateFolderEx(
      nullptr, {TFileObject::foFolders},
      [&](win::HWND, win::LPITEMIDLIST id, TNamespace* parent, void*, bool&) {
        TNamespace child(id, parent);
        EXPECT_EQ(child.GetAbsolutePIDL(), nullptr);
        EXPECT_NE(child.NameForParsing(), deepest->NameForParsing());
        ++children;
        return true;
      },
      nullptr);
  EXPECT_EQ(children, 1);
}

}  // namespace
}  // namespace dashtune
