// TNamespace items keep the bytes of their file's name: a name that is no valid UTF-8 or holds
// "*" and "?" answers its own file's size, never a look-alike's; a rename to a name without
// bytes of its own is refused; plain reads answer what the enumeration saw until the item is
// refreshed, and verbs look at the file as it is now.
#include "components/shell/namespace.h"
#include "components/shell/shell_utilities.h"
#include "platform/core/errors.h"
#include "platform/core/strings.h"
#include "platform/shell/shell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "shell_test_support.h"

namespace dashtune {
namespace {

namespace fs = std::filesystem;

class TNamespaceNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    root_ = fs::path(getenv("HOME")) / ("names-" + std::to_string(++counter));
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  void Write(const std::string& name, const std::string& bytes) { std::ofstream(root_ / name, std::ios::binary) << bytes; }
  std::unique_ptr<TNamespace> Folder() { return TNamespace::CreateFromFileName(win::Utf8ToUtf16(root_.string())); }

  fs::path root_;
};

TEST_F(TNamespaceNamesTest, EveryItemAnswersItsOwnFilesSize) {
  const std::map<std::string, std::string> files = {
      {"bad\xFF" "name", "the invalid one"},
      {"bad\xEF\xBF\xBD" "name", "its look-alike, longer"},
      {"star*?", "12345"},
      {"q?", "1"},
  };
  for (const auto& [name, bytes] : files) Write(name, bytes);
  const std::unique_ptr<TNamespace> folder = Folder();
  std::map<std::string, std::int64_t> sizes;
  folder->EnumerateFolderEx(
      nullptr, {TFileObject::foNonFolders},
      [&](win::HWND, win::LPITEMIDLIST id, TNamespace* parent, void*, bool&) {
        TNamespace item(id, parent);
        sizes[win::item_ids::DecodeId(item.GetRelativePIDL()->mkid).name] = item.SizeOfFileInt64();
        return true;
      },
      nullptr);
  ASSERT_EQ(sizes.size(), files.size());
  for (const auto& [name, bytes] : files) EXPECT_EQ(sizes[name], static_cast<std::int64_t>(bytes.size())) << name;
}

TEST_F(TNamespaceNamesTest, RenamingToAnUnpairedSurrogateIsRefused) {
  Write("plain", "p");
  const std::unique_ptr<TNamespace> item = TNamespace::CreateFromFileName(win::Utf8ToUtf16((root_ / "plain").string()));
  EXPECT_FALSE(item->SetNameOf(u"x\xD800"));
  EXPECT_TRUE(fs::exists(root_ / "plain"));
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 1);
  EXPECT_TRUE(item->SetNameOf(u"x\u00E4"));
  EXPECT_TRUE(fs::exists(root_ / "x\xC3\xA4"));
}

TEST_F(TNamespaceNamesTest, RenamingToANameHoldingNulIsRefused) {
  Write("plain", "p");
  const std::unique_ptr<TNamespace> item = TNamespace::CreateFromFileName(win::Utf8ToUtf16((root_ / "plain").string()));
  for (const std::u16string& name : {std::u16string(u"nu\0l", 4), std::u16string(u"\0", 1), std::u16string(u"end\0", 4)}) {
    win::SetLastError(win::ERROR_SUCCESS);
    EXPECT_FALSE(item->SetNameOf(name));
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_NAME);
  }
  EXPECT_TRUE(fs::exists(root_ / "plain"));
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 1);
  EXPECT_EQ(item->NameInFolder(), u"plain");
}

// Plain reads answer what the enumeration saw; a refresh reads the file as it is now, and finds
// out when it has gone; verbs look at the file first.
TEST_F(TNamespaceNamesTest, PlainReadsAnswerTheEnumerationUntilARefresh) {
  Write("changing", "short");
  const std::unique_ptr<TNamespace> folder = Folder();
  std::unique_ptr<TNamespace> item;
  folder->EnumerateFolderEx(
      nullptr, {TFileObject::foNonFolders},
      [&](win::HWND, win::LPITEMIDLIST id, TNamespace* parent, void*, bool&) {
        item = std::make_unique<TNamespace>(id, parent);
        return true;
      },
      nullptr);
  ASSERT_NE(item, nullptr);
  fs::remove(root_ / "changing");
  Write("changing", std::string(3000, 'x'));
  fs::permissions(root_ / "changing", fs::perms::owner_read);
  EXPECT_FALSE(item->ReadOnlyFile());
  EXPECT_EQ(item->DetailsOf(1), u"1 KB");
  EXPECT_EQ(item->DetailsOf(4), u"");

  item->InvalidateNamespace(true);
  EXPECT_TRUE(item->ReadOnlyFile());
  EXPECT_EQ(item->DetailsOf(1), u"3 KB");
  EXPECT_EQ(item->DetailsOf(4), u"R");
  EXPECT_EQ(item->SizeOfFileInt64(), 3000);

  fs::remove(root_ / "changing");
  EXPECT_EQ(item->DetailsOf(1), u"3 KB");
  item->InvalidateNamespace(true);
  EXPECT_FALSE(item->ReadOnlyFile());
  EXPECT_EQ(item->FileName(), u"");
  EXPECT_EQ(item->SizeOfFileInt64(), 0);
  EXPECT_EQ(item->LastWriteTime(), u"");
  for (int column = 0; column < 5; ++column) EXPECT_EQ(item->DetailsOf(column), u"") << column;
  EXPECT_EQ(item->DetailsOfEx(1), u"");
  // Deleting what has gone trashes nothing, and says so.
  EXPECT_FALSE(item->Delete({item.get()}));

  Write("changing", "back");
  item->InvalidateNamespace(false);
  EXPECT_EQ(item->FileName(), u"changing");
  EXPECT_EQ(item->DetailsOf(1), u"1 KB");
}

}  // namespace
}  // namespace dashtune
