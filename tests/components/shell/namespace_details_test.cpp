// TNamespace's details columns: the fallback columns, counting, caching of texts, states,
// visible columns, texts from the folders of this shell (files, Home, Trash) and their values.
#include "components/shell/namespace.h"
#include "components/shell/shell_utilities.h"
#include "shell_test_support.h"
#include "platform/com/com_init.h"
#include "platform/core/strings.h"
#include "platform/shell/shell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace dashtune {
namespace {

namespace fs = std::filesystem;

// A folder object that answers every column query, or the first `columns` of them.
class CountingFolder : public win::ComObject<win::IShellFolder2> {
 public:
  explicit CountingFolder(int columns) : columns_(columns) {}
  win::HRESULT QueryInterface(win::REFIID iid, void** object) override {
    if (object != nullptr && iid == win::IShellFolder::iid) {
      *object = static_cast<win::IShellFolder*>(this);
      AddRef();
      return win::S_OK;
    }
    return ComObject::QueryInterface(iid, object);
  }
  win::HRESULT GetDefaultColumnState(win::UINT column, win::SHCOLSTATEF* flags) override {
    if (columns_ >= 0 && static_cast<int>(column) >= columns_) return win::E_INVALIDARG;
    *flags = win::SHCOLSTATE_TYPE_STR | win::SHCOLSTATE_ONBYDEFAULT;
    return win::S_OK;
  }
  win::HRESULT GetDetailsOf(win::LPCITEMIDLIST, win::UINT column, win::SHELLDETAILS* details) override {
    if (columns_ >= 0 && static_cast<int>(column) >= columns_) return win::E_INVALIDARG;
    details->str.uType = win::STRRET_CSTR;
    details->str.cStr[0] = 'C';
    return win::S_OK;
  }
  win::HRESULT ParseDisplayName(win::HWND, win::IBindCtx*, win::LPWSTR, win::ULONG*, win::LPITEMIDLIST*, win::ULONG*) override { return win::E_NOTIMPL; }
  win::HRESULT EnumObjects(win::HWND, win::DWORD, win::IEnumIDList**) override { return win::E_NOTIMPL; }
  win::HRESULT BindToObject(win::LPCITEMIDLIST, win::IBindCtx*, win::REFIID, void**) override { return win::E_NOTIMPL; }
  win::HRESULT BindToStorage(win::LPCITEMIDLIST, win::IBindCtx*, win::REFIID, void**) override { return win::E_NOTIMPL; }
  win::HRESULT CompareIDs(win::LPARAM, win::LPCITEMIDLIST, win::LPCITEMIDLIST) override { return win::E_NOTIMPL; }
  win::HRESULT CreateViewObject(win::HWND, win::REFIID, void**) override { return win::E_NOINTERFACE; }
  win::HRESULT GetAttributesOf(win::UINT, win::LPCITEMIDLIST*, win::ULONG*) override { return win::E_NOTIMPL; }
  win::HRESULT GetUIObjectOf(win::HWND, win::UINT, win::LPCITEMIDLIST*, win::REFIID, win::UINT*, void**) override { return win::E_NOTIMPL; }
  win::HRESULT GetDisplayNameOf(win::LPCITEMIDLIST, win::DWORD, win::STRRET*) override { return win::E_NOTIMPL; }
  win::HRESULT SetNameOf(win::HWND, win::LPCITEMIDLIST, win::LPCWSTR, win::DWORD, win::LPITEMIDLIST*) override { return win::E_NOTIMPL; }
  win::HRESULT GetDefaultSearchGUID(win::GUID*) override { return win::E_NOTIMPL; }
  win::HRESULT EnumSearches(win::IUnknown**) override { return win::E_NOTIMPL; }
  win::HRESULT GetDefaultColumn(win::DWORD, win::ULONG*, win::ULONG*) override { return win::E_NOTIMPL; }
  win::HRESULT GetDetailsEx(win::LPCITEMIDLIST, const win::SHCOLUMNID*, win::VARIANT*) override { return win::E_NOTIMPL; }
  win::HRESULT MapColumnToSCID(win::UINT, win::SHCOLUMNID*) override { return win::E_NOTIMPL; }

 private:
  int columns_;
};

// A namespace whose own folder is a CountingFolder.
class CountedNamespace : public TNamespace {
 public:
  explicit CountedNamespace(int columns)
      : TNamespace(win::item_ids::MakeList({}), nullptr), folder_(win::MakeCom<CountingFolder>(columns)) {}
  win::IShellFolder* ShellFolder() override { return folder_.Get(); }

 private:
  win::ComPtr<CountingFolder> folder_;
};

// Answers five column titles through the older details interface and fails every item's text.
class TitlesOnlyDetails : public win::ComObject<win::IShellDetails> {
 public:
  win::HRESULT GetDetailsOf(win::LPCITEMIDLIST list, win::UINT column, win::SHELLDETAILS* details) override {
    if (list != nullptr || column >= 5) return win::E_FAIL;
    details->str.uType = win::STRRET_CSTR;
    details->str.cStr[0] = 'T';
    return win::S_OK;
  }
  win::HRESULT ColumnClick(win::UINT) override { return win::E_NOTIMPL; }
};

// A folder with five columns whose items' texts all fail; with `older_interface_only` it offers
// the older details interface instead of its own.
class FailingItemsFolder : public CountingFolder {
 public:
  explicit FailingItemsFolder(bool older_interface_only) : CountingFolder(5), older_only_(older_interface_only) {}
  win::HRESULT QueryInterface(win::REFIID iid, void** object) override {
    if (older_only_ && object != nullptr && iid == win::IShellFolder2::iid) {
      *object = nullptr;
      return win::E_NOINTERFACE;
    }
    return CountingFolder::QueryInterface(iid, object);
  }
  win::HRESULT GetDetailsOf(win::LPCITEMIDLIST list, win::UINT column, win::SHELLDETAILS* details) override {
    return list != nullptr ? win::E_FAIL : CountingFolder::GetDetailsOf(list, column, details);
  }
  win::HRESULT CreateViewObject(win::HWND, win::REFIID iid, void** object) override {
    if (!older_only_ || iid != win::IShellDetails::iid) return win::E_NOINTERFACE;
    return win::MakeCom<TitlesOnlyDetails>()->QueryInterface(iid, object);
  }

 private:
  bool older_only_;
};

class FailingItemsNamespace : public TNamespace {
 public:
  explicit FailingItemsNamespace(bool older_interface_only)
      : TNamespace(win::item_ids::MakeList({}), nullptr),
        folder_(win::MakeCom<FailingItemsFolder>(older_interface_only)) {}
  win::IShellFolder* ShellFolder() override { return folder_.Get(); }

 private:
  win::ComPtr<FailingItemsFolder> folder_;
};

class NamespaceDetailsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    root_ = fs::path(getenv("HOME")) / ("details-" + std::to_string(++counter));
    fs::create_directories(root_);
  }
  void TearDown() override {
    fs::remove_all(root_);
    fs::remove_all(fs::path(getenv("XDG_DATA_HOME")) / "Trash");
  }
  fs::path File(const std::string& name, std::size_t size) {
    std::ofstream(root_ / name, std::ios::binary) << std::string(size, 'd');
    return root_ / name;
  }
  static std::unique_ptr<TNamespace> Item(const fs::path& path) {
    return TNamespace::CreateFromFileName(win::Utf8ToUtf16(path.string()));
  }

  fs::path root_;
};

TEST_F(NamespaceDetailsTest, FolderWithoutColumnsHasTheFiveFallbackColumns) {
  const auto custom = TNamespace::CreateCustomNamespace(7, nullptr);
  EXPECT_EQ(custom->DetailsSupportedColumns(), 5);
  const std::u16string titles[] = {u"Name", u"Size", u"Type", u"Modified", u"Attributes"};
  for (int column = 0; column < 5; ++column) EXPECT_EQ(custom->DetailsColumnTitle(column), titles[column]);
  EXPECT_EQ(custom->DetailsColumnTitle(5), u"");
  EXPECT_EQ(custom->DetailsColumnTitle(-1), u"");
  EXPECT_EQ(custom->DetailsDefaultColumnTitle(-1), u"Name");
  EXPECT_EQ(custom->DetailsDefaultColumnTitle(9), u"Custom");
  EXPECT_EQ(custom->DetailsDefaultColumnTitle(10), u"");
  // A state that cannot be asked is "on by default", so all five show.
  EXPECT_EQ(custom->DetailsGetDefaultColumnState(3), TSHColumnStates{TSHColumnState::csOnByDefault});
  EXPECT_EQ(custom->DetailsSupportedVisibleColumns(), (std::vector<win::WORD>{0, 1, 2, 3, 4}));
  EXPECT_EQ(custom->DetailsOf(0), u"");
  EXPECT_FALSE(custom->DetailsSupported());
}

TEST_F(NamespaceDetailsTest, CountReachingTheLimitCountsAsNone) {
  EXPECT_EQ(CountedNamespace(-1).DetailsSupportedColumns(), 5);
  EXPECT_EQ(CountedNamespace(7).DetailsSupportedColumns(), 7);
  EXPECT_EQ(CountedNamespace(999).DetailsSupportedColumns(), 999);
}

TEST_F(NamespaceDetailsTest, FailedItemTextsFallBackOnlyWhereTheFolderHasItsOwnColumns) {
  win::item_ids::ItemId id;
  id.name = "x.txt";
  // Texts the folder cannot give come from the item itself: column 2 of an item outside the
  // file system is "System Folder".
  FailingItemsNamespace own_columns(false);
  TNamespace in_own(win::item_ids::MakeList({id}), &own_columns);
  EXPECT_EQ(in_own.DetailsOf(2), u"System Folder");
  // A folder with only the older interface leaves its failed texts empty.
  FailingItemsNamespace older_only(true);
  ASSERT_EQ(older_only.DetailsSupportedColumns(), 5);
  EXPECT_EQ(older_only.DetailsColumnTitle(1), u"T");
  TNamespace in_older(win::item_ids::MakeList({id}), &older_only);
  EXPECT_EQ(in_older.DetailsOf(2), u"");
}

TEST_F(NamespaceDetailsTest, DesktopItemHasNoDetails) {
  for (int column = -1; column < 6; ++column) EXPECT_EQ(shell::DesktopFolder->DetailsOf(column), u"") << column;
}

TEST_F(NamespaceDetailsTest, TextsComeFromTheFolderOnceUntilInvalidated) {
  const fs::path path = File("x.txt", 3000);
  chmod(path.c_str(), 0444);
  const auto item = Item(path);
  const win::ULONG before = win::ShellFolderDetailsCallsForTesting();
  EXPECT_EQ(item->DetailsOf(1), u"3 KB");
  EXPECT_EQ(win::ShellFolderDetailsCallsForTesting(), before + 1);
  EXPECT_EQ(item->DetailsOf(1), u"3 KB");
  EXPECT_EQ(win::ShellFolderDetailsCallsForTesting(), before + 1);
  item->InvalidateNamespace();
  EXPECT_EQ(item->DetailsOf(1), u"3 KB");
  EXPECT_EQ(win::ShellFolderDetailsCallsForTesting(), before + 2);
  // The folder's texts read as the item's own.
  EXPECT_EQ(item->DetailsOf(0), item->NameInFolder());
  EXPECT_EQ(item->DetailsOf(1), item->SizeOfFileKB());
  EXPECT_EQ(item->DetailsOf(2), item->FileType());
  EXPECT_EQ(item->DetailsOf(3), item->LastWriteTime());
  EXPECT_EQ(item->DetailsOf(4), u"R");
  EXPECT_EQ(item->DetailsOf(4), item->AttributesString());
  EXPECT_EQ(item->DetailsOf(5), item->CreationTime());
  EXPECT_EQ(item->DetailsOf(7), u"");
  EXPECT_EQ(item->DetailsOfEx(1), u"3000");
  EXPECT_EQ(item->DetailsOfEx(0), u"x.txt");
}

TEST_F(NamespaceDetailsTest, FileFolderColumnsTitlesAlignmentAndStates) {
  const auto folder = Item(root_);
  EXPECT_EQ(folder->DetailsSupportedColumns(), 7);
  EXPECT_EQ(folder->DetailsColumnTitle(5), u"Created");
  EXPECT_EQ(folder->DetailsColumnTitle(6), u"Accessed");
  EXPECT_EQ(folder->DetailsAlignment(1), taRightJustify);
  EXPECT_EQ(folder->DetailsAlignment(0), taLeftJustify);
  EXPECT_EQ(folder->DetailsAlignment(9), taLeftJustify);
  const TSHColumnStates modified = folder->DetailsGetDefaultColumnState(3);
  EXPECT_TRUE(modified.Contains(TSHColumnState::csDate));
  EXPECT_TRUE(modified.Contains(TSHColumnState::csOnByDefault));
  const TSHColumnStates name = folder->DetailsGetDefaultColumnState(0);
  EXPECT_TRUE(name.Contains(TSHColumnState::csString));
  EXPECT_FALSE(name.Contains(TSHColumnState::csDate));
  EXPECT_FALSE(folder->DetailsGetDefaultColumnState(6).Contains(TSHColumnState::csOnByDefault));
  EXPECT_EQ(folder->DetailsGetDefaultColumnState(7), TSHColumnStates{});
}

TEST_F(NamespaceDetailsTest, HomeShowsAttributesAmongItsVisibleColumns) {
  TNamespace home(win::item_ids::MakeList({win::item_ids::ItemId{win::item_ids::ItemKind::Home, {}, {}}}), nullptr);
  EXPECT_EQ(home.DetailsSupportedVisibleColumns(), (std::vector<win::WORD>{0, 1, 2, 3, 4}));
  EXPECT_TRUE(home.DetailsSupported());
  EXPECT_EQ(home.DetailsOf(2), u"System Folder");
}

TEST_F(NamespaceDetailsTest, TrashedFileHasAllTrashColumns) {
  const auto x = Item(File("x.txt", 10));
  // Read while the file is there: once it has gone, its own details are gone too.
  const std::u16string file_type = x->FileType();
  const std::u16string written = x->LastWriteTime();
  ASSERT_TRUE(x->Delete({x.get()}));
  const std::unique_ptr<TNamespace> entry = testing::FirstChild(shell::RecycleBinFolder, {TFileObject::foNonFolders});
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(shell::RecycleBinFolder->DetailsSupportedColumns(), 6);
  EXPECT_EQ(shell::RecycleBinFolder->DetailsColumnTitle(1), u"Original Location");
  EXPECT_EQ(entry->DetailsOf(0), u"x.txt");
  EXPECT_EQ(entry->DetailsOf(1), win::Utf8ToUtf16(root_.string()));
  EXPECT_NE(entry->DetailsOf(2), u"");
  EXPECT_EQ(entry->DetailsOf(3), u"1 KB");
  // Past the desktop's four columns: they come all the same.
  EXPECT_EQ(entry->DetailsOf(4), file_type);
  EXPECT_EQ(entry->DetailsOf(5), written);
  EXPECT_EQ(entry->DetailsOf(6), u"");
  entry->SetThreadedDetailLoading(5, true);
  EXPECT_TRUE(entry->ThreadedDetailLoading(5));
  entry->SetThreadedDetailLoaded(6, true);
  EXPECT_FALSE(entry->ThreadedDetailLoaded(6));
}

}  // namespace
}  // namespace dashtune
