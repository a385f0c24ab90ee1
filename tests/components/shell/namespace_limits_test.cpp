// TNamespace at the edge of what an item-ID list can hold: the deepest folder a list fits names
// itself, clones whole and stays itself through its copies; a child one level deeper is never
// handed out and the enumeration says so; a path too long for a list or for the system's lookups
// says that it is too long.
#include "components/shell/namespace.h"
#include "components/shell/shell_utilities.h"
#include "platform/com/com_init.h"
#include "platform/core/errors.h"
#include "platform/core/message_box.h"
#include "platform/core/strings.h"
#include "platform/shell/shell.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "shell_test_support.h"

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
  try {
    TNamespace::CreateFromFileName(win::Utf8ToUtf16(PathAt(fits + 1)));
    ADD_FAILURE() << "no exception";
  } catch (const EShellInvalidFileName& error) {
    EXPECT_EQ(error.GetMessage(), "Trying to create a TNamespace on a path too long for an item ID list");
  }

  // Its child cannot be an item: it is not handed out, and the enumeration says why.
  const auto children_of = [](TNamespace* folder, win::DWORD& error) {
    std::vector<std::u16string> names;
    win::SetLastError(win::ERROR_SUCCESS);
    const int counted = folder->EnumerateFolderEx(
        nullptr, {TFileObject::foFolders, TFileObject::foNonFolders},
        [&](win::HWND, win::LPITEMIDLIST id, TNamespace* parent, void*, bool&) {
          TNamespace child(id, parent);
          EXPECT_NE(child.GetAbsolutePIDL(), nullptr);
          names.push_back(child.NameInFolder());
          return true;
        },
        nullptr);
    error = win::GetLastError();
    EXPECT_EQ(counted, static_cast<int>(names.size()));
    return names;
  };
  win::DWORD error = 0;
  EXPECT_EQ(children_of(deepest.get(), error), std::vector<std::u16string>{});
  EXPECT_EQ(error, win::ERROR_FILENAME_EXCED_RANGE);
  EXPECT_EQ(deepest->EnumerateFolderEx(nullptr, {TFileObject::foFolders}, nullptr, nullptr), 0);

  // One level up, a sibling whose long name does not fit is left out; the one that fits is not.
  const std::unique_ptr<TNamespace> above = TNamespace::CreateFromFileName(win::Utf8ToUtf16(PathAt(fits - 1)));
  const std::string long_name(200, 'n');
  fs::create_directory(PathAt(fits - 1) + "/" + long_name);
  EXPECT_EQ(children_of(above.get(), error), std::vector<std::u16string>{u"d"});
  EXPECT_EQ(error, win::ERROR_FILENAME_EXCED_RANGE);
  EXPECT_EQ(children_of(TNamespace::CreateFromFileName(win::Utf8ToUtf16(root_.string())).get(), error),
            std::vector<std::u16string>{u"d"});
  EXPECT_EQ(error, win::ERROR_SUCCESS);
}

// A folder reached one level at a time whose path is past what the system looks up: enumerating
// it with a message window shows why, as every folder that cannot be read does.
TEST_F(TNamespaceLimitsTest, AFolderPastThePathLimitSaysWhyItCannotBeRead) {
  const std::string part(200, 'p');
  fs::create_directories(root_);
  const int root_fd = open(root_.c_str(), O_RDONLY | O_DIRECTORY);
  int fd = root_fd;
  std::size_t length = root_.string().size();
  for (; length <= PATH_MAX; length += part.size() + 1) {
    ASSERT_EQ(mkdirat(fd, part.c_str(), 0700), 0);
    const int next = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd != root_fd) close(fd);
    fd = next;
  }
  close(fd);
  close(root_fd);
  std::vector<std::unique_ptr<TNamespace>> chain;
  chain.push_back(TNamespace::CreateFromFileName(win::Utf8ToUtf16(root_.string())));
  while (std::unique_ptr<TNamespace> child = testing::FirstChild(chain.back().get(), {TFileObject::foFolders}))
    chain.push_back(std::move(child));
  ASSERT_GE(chain.back()->NameForParsing().size(), static_cast<std::size_t>(PATH_MAX));

  std::vector<std::string> shown;
  const win::MessageBoxSink previous = win::SetMessageBoxSink([&](win::HWND, std::string_view text, std::string_view, win::UINT) {
    shown.emplace_back(text);
    return win::IDOK;
  });
  const win::HWND owner = reinterpret_cast<win::HWND>(std::uintptr_t{0x1234});
  int handed_out = 0;
  const int counted = chain.back()->EnumerateFolderEx(
      owner, {TFileObject::foFolders, TFileObject::foNonFolders},
      [&](win::HWND, win::LPITEMIDLIST id, TNamespace*, void*, bool&) {
        win::CoTaskMemFree(id);
        return ++handed_out > 0;
      },
      nullptr);
  win::SetMessageBoxSink(previous);
  EXPECT_EQ(counted, 0);
  EXPECT_EQ(handed_out, 0);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_TRUE(shown[0].ends_with(" is not accessible.\n\nThe filename or extension is too long.")) << shown[0];
}

}  // namespace
}  // namespace dashtune
