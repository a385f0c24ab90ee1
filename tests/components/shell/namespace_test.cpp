// TNamespace over real files in the temporary home: sizes, attributes, types, times, caching,
// comparison, and the library routines' table of values.
#include "components/shell/namespace.h"
#include "components/shell/shell_utilities.h"
#include "platform/core/strings.h"
#include "platform/shell/shell.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace dashtune {
namespace {

namespace fs = std::filesystem;

class TNamespaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    root_ = fs::path(getenv("HOME")) / ("items-" + std::to_string(++counter));
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path File(const std::string& name, std::size_t size) {
    std::ofstream(root_ / name, std::ios::binary) << std::string(size, 'x');
    return root_ / name;
  }
  static std::unique_ptr<TNamespace> Item(const fs::path& path) {
    return TNamespace::CreateFromFileName(win::Utf8ToUtf16(path.string()));
  }

  fs::path root_;
};

TEST_F(TNamespaceTest, MissingFileRaisesTheFixedText) {
  try {
    Item(root_ / "missing");
    FAIL() << "no exception";
  } catch (const EShellInvalidFileName& error) {
    EXPECT_EQ(error.GetMessage(), "Trying to create a TNamespace on a non existant File object");
  }
  EXPECT_EQ(shell::PathToPIDL(win::Utf8ToUtf16((root_ / "missing").string())), nullptr);
}

TEST_F(TNamespaceTest, SizeTexts) {
  struct Case {
    std::size_t size;
    const char16_t* kb;
    const char16_t* bytes;
  };
  const Case cases[] = {{0, u"1 KB", u"0"}, {100, u"1 KB", u"100"}, {2048, u"2 KB", u"2,048"}, {1234567, u"1,206 KB", u"1,234,567"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const auto item = Item(File("f" + std::to_string(c.size), c.size));
    EXPECT_EQ(item->SizeOfFileKB(), c.kb);
    EXPECT_EQ(item->SizeOfFile(), c.bytes);
    EXPECT_EQ(item->SizeOfFileInt64(), static_cast<std::int64_t>(c.size));
  }
  fs::create_directories(root_ / "dir");
  EXPECT_EQ(Item(root_ / "dir")->SizeOfFileKB(), u"");
}

TEST_F(TNamespaceTest, AttributesStringOfHiddenReadOnlyFile) {
  const fs::path path = File(".secret", 1);
  chmod(path.c_str(), 0444);
  const auto item = Item(path);
  EXPECT_EQ(item->AttributesString(), u"HR");
  EXPECT_TRUE(item->Hidden());
  EXPECT_TRUE(item->ReadOnlyFile());
  EXPECT_FALSE(item->Archive());
  EXPECT_FALSE(item->Directory());
  EXPECT_EQ(Item(File("plain", 1))->AttributesString(), u"");
}

TEST_F(TNamespaceTest, FileTypeFromContentTypeOrExtension) {
  EXPECT_EQ(Item(File("a.png", 1))->FileType(), u"PNG image");
  EXPECT_EQ(Item(File("data.xyz", 1))->FileType(), u".XYZ File");
}

TEST_F(TNamespaceTest, TypeIsAskedOnceUntilTheNamespaceIsInvalidated) {
  const auto item = Item(File("cached.png", 1));
  const win::ULONG before = win::SHGetFileInfoWCallsForTesting();
  EXPECT_EQ(item->FileType(), u"PNG image");
  EXPECT_EQ(win::SHGetFileInfoWCallsForTesting(), before + 1);
  EXPECT_EQ(item->FileType(), u"PNG image");
  EXPECT_EQ(win::SHGetFileInfoWCallsForTesting(), before + 1);
  item->InvalidateNamespace(true);
  EXPECT_EQ(item->FileType(), u"PNG image");
  EXPECT_EQ(win::SHGetFileInfoWCallsForTesting(), before + 2);
}

TEST_F(TNamespaceTest, RenamingRefreshesNamesAndType) {
  const fs::path path = File("a.png", 1);
  const auto item = Item(path);
  EXPECT_EQ(item->FileType(), u"PNG image");
  ASSERT_TRUE(item->SetNameOf(u"renamed.xyz"));
  EXPECT_EQ(item->NameNormal(), u"renamed.xyz");
  EXPECT_EQ(item->FileType(), u".XYZ File");
}

TEST_F(TNamespaceTest, TimesFromTheFile) {
  const fs::path path = File("old", 1);
  const struct timeval epoch[2] = {{0, 0}, {0, 0}};
  ASSERT_EQ(utimes(path.c_str(), epoch), 0);
  const auto item = Item(path);
  const win::FILETIME written = item->LastWriteTimeRaw();
  EXPECT_EQ(written.dwLowDateTime | (static_cast<std::uint64_t>(written.dwHighDateTime) << 32), 116444736000000000ULL);
  EXPECT_EQ(shell::ConvertFileTimeToString(win::FILETIME{}), u"");
  EXPECT_EQ(shell::ConvertFileTimeToDateTime(win::FILETIME{}), 0.0);
  EXPECT_FALSE(shell::IsValidFileTime(win::FILETIME{}));
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(shell::ConvertFileTimeToString(written), u"01/01/1970 00:00:00");
  EXPECT_NEAR(shell::ConvertFileTimeToDateTime(written), 25569.0, 1e-9);
}

TEST_F(TNamespaceTest, RoutinesTable) {
  EXPECT_EQ(shell::FileObjectsToFlags({TFileObject::foFolders, TFileObject::foNonFolders, TFileObject::foHidden,
                                       TFileObject::foShareable, TFileObject::foNetPrinterSearch}),
            0x6E0u);
  const std::pair<win::DWORD, win::DWORD> effects[] = {{0, 2}, {8, 1}, {12, 4}, {4, 0}};
  for (const auto& [keys, effect] : effects) EXPECT_EQ(shell::KeyStateToDropEffect(keys), effect) << keys;
}

TEST_F(TNamespaceTest, ComparePIDLAnswersSignsAndMinusOneOnFailure) {
  const auto alpha = Item(File("alpha", 1));
  const auto beta = Item(File("beta", 1));
  EXPECT_EQ(alpha->ComparePIDL(nullptr, false), -1);
  EXPECT_EQ(alpha->ComparePIDL(beta->GetRelativePIDL(), false), 1);
  EXPECT_EQ(beta->ComparePIDL(alpha->GetRelativePIDL(), false), -1);
  EXPECT_EQ(alpha->ComparePIDL(alpha->GetAbsolutePIDL(), true), 0);
  EXPECT_EQ(alpha->ComparePIDL(beta->GetAbsolutePIDL(), true), 1);
  EXPECT_EQ(alpha->ComparePIDL(shell::DrivesFolder->GetAbsolutePIDL(), true), -1);
  const auto custom = TNamespace::CreateCustomNamespace(7, nullptr);
  EXPECT_EQ(custom->ComparePIDL(alpha->GetAbsolutePIDL(), true), -1);
  EXPECT_EQ(custom->NameNormal(), u"");
  EXPECT_FALSE(custom->FileSystem());
  EXPECT_EQ(custom->GetCustomData(), 7);
}

TEST_F(TNamespaceTest, RelationsAndEnumeration) {
  fs::create_directories(root_ / "sub");
  File("sub/one", 1);
  File("sub/.two", 1);
  const auto folder = Item(root_ / "sub");
  const auto child = Item(root_ / "sub" / "one");
  EXPECT_TRUE(folder->IsChild(child.get(), true));
  EXPECT_TRUE(child->IsParent(folder.get(), true));
  EXPECT_FALSE(child->IsChild(folder.get(), false));
  EXPECT_EQ(child->GetParent(), nullptr);
  std::vector<std::u16string> names;
  const int counted = folder->EnumerateFolderEx(
      nullptr, {TFileObject::foNonFolders, TFileObject::foHidden},
      [&](win::HWND, win::LPITEMIDLIST id, TNamespace* parent, void*, bool&) {
        TNamespace item(id, parent);
        names.push_back(item.NameNormal());
        return true;
      },
      nullptr);
  EXPECT_EQ(counted, 2);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u".two", u"one"}));
  EXPECT_EQ(folder->EnumerateFolderEx(nullptr, {TFileObject::foNonFolders}, nullptr, nullptr), 1);
  EXPECT_TRUE(folder->SubItems());
  EXPECT_FALSE(folder->SubFolders());
  EXPECT_TRUE(child->Valid());
  fs::remove(root_ / "sub" / "one");
  EXPECT_FALSE(child->Valid());
}

TEST_F(TNamespaceTest, IdsStayEqualWhenTheFileChanges) {
  const fs::path path = File("changing", 1);
  const auto before = Item(path);
  File("changing", 5000);
  const auto after = Item(path);
  EXPECT_TRUE(shell::ILIsEqual(before->GetAbsolutePIDL(), after->GetAbsolutePIDL()));
  EXPECT_EQ(before->ComparePIDL(after->GetAbsolutePIDL(), true), 0);
}

}  // namespace
}  // namespace dashtune
