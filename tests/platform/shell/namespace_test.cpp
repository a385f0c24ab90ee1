// The shell namespace over the file system: parsing, enumeration compared with GIO's, names,
// attributes, renaming, the item-list tests and the trash, in the test process's temporary home.
#include "platform/com/com_init.h"
#include "platform/com/com_ptr.h"
#include "platform/core/errors.h"
#include "platform/core/strings.h"
#include "platform/shell/file_info.h"
#include "platform/shell/places.h"
#include "platform/shell/shell.h"
// GLib after the platform headers: its TRUE and FALSE are macros.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <utility>

namespace win {
namespace {

namespace fs = std::filesystem;

struct TaskList {
  LPITEMIDLIST list = nullptr;
  TaskList() = default;
  explicit TaskList(LPITEMIDLIST owned) : list(owned) {}
  TaskList(TaskList&& other) noexcept : list(std::exchange(other.list, nullptr)) {}
  TaskList& operator=(TaskList&&) = delete;
  ~TaskList() { CoTaskMemFree(list); }
  LPITEMIDLIST* Out() { return &list; }
};

void WriteFile(const fs::path& path, std::size_t size) {
  std::ofstream(path, std::ios::binary) << std::string(size, 'x');
}

class NamespaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    root_ = fs::path(getenv("HOME")) / ("ns-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
    fs::create_directories(root_);
    ASSERT_EQ(SHGetDesktopFolder(desktop_.ReleaseAndGetAddressOf()), S_OK);
  }
  void TearDown() override { fs::remove_all(root_); }

  TaskList Parse(const std::string& path) {
    std::u16string name = Utf8ToUtf16(path);
    TaskList list;
    desktop_->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, list.Out(), nullptr);
    return list;
  }

  ComPtr<IShellFolder> Bind(LPCITEMIDLIST absolute) {
    ComPtr<IShellFolder> folder;
    EXPECT_EQ(desktop_->BindToObject(absolute, nullptr, IShellFolder::iid,
                                     reinterpret_cast<void**>(folder.ReleaseAndGetAddressOf())),
              S_OK);
    return folder;
  }

  std::u16string NameOf(IShellFolder* folder, LPCITEMIDLIST list, DWORD flags) {
    STRRET name;
    if (folder->GetDisplayNameOf(list, flags, &name) != S_OK) return u"<failed>";
    std::u16string text = name.pOleStr;
    CoTaskMemFree(name.pOleStr);
    return text;
  }

  fs::path root_;
  ComPtr<IShellFolder> desktop_;
};

TEST_F(NamespaceTest, ParsingNamesGoBelowTheDeepestVolumeAndBack) {
  WriteFile(root_ / "a.txt", 5);
  const TaskList list = Parse((root_ / "a.txt").string());
  ASSERT_NE(list.list, nullptr);
  EXPECT_EQ(NameOf(desktop_.Get(), list.list, SHGDN_FORPARSING), Utf8ToUtf16((root_ / "a.txt").string()));
  EXPECT_EQ(NameOf(desktop_.Get(), list.list, SHGDN_NORMAL), u"a.txt");
  const std::string uri = "file://" + (root_ / "a.txt").string();
  const TaskList from_uri = Parse(uri);
  EXPECT_TRUE(ILIsEqual(list.list, from_uri.list));
  EXPECT_EQ(Parse((root_ / "missing").string()).list, nullptr);
  EXPECT_EQ(Parse("relative/path").list, nullptr);
  EXPECT_EQ(NameOf(desktop_.Get(), Parse("computer:///").list, SHGDN_NORMAL), u"Computer");
}

TEST_F(NamespaceTest, IdsOfOneFileStayEqualWhenItChanges) {
  WriteFile(root_ / "f", 1);
  const TaskList before = Parse((root_ / "f").string());
  WriteFile(root_ / "f", 4000);
  const TaskList after = Parse((root_ / "f").string());
  EXPECT_TRUE(ILIsEqual(before.list, after.list));
  const TaskList folder = Parse(root_.string());
  EXPECT_TRUE(ILIsParent(folder.list, after.list, TRUE));
  EXPECT_FALSE(ILIsParent(after.list, folder.list, FALSE));
  const TaskList home = Parse(getenv("HOME"));
  EXPECT_TRUE(ILIsParent(home.list, after.list, FALSE));
  EXPECT_FALSE(ILIsParent(home.list, after.list, TRUE));
}

struct PeerEntry {
  bool hidden = false;
  bool folder = false;
  bool link = false;
  guint64 size = 0;
  guint64 modified_us = 0;
  guint64 accessed_us = 0;
  bool read_only = false;
};

// What GIO says about every entry of a folder, by raw name.
std::map<std::string, PeerEntry> GioEntries(const fs::path& folder) {
  std::map<std::string, PeerEntry> entries;
  GFile* file = g_file_new_for_path(folder.c_str());
  GFileEnumerator* enumerator = g_file_enumerate_children(file, "standard::*,time::*,unix::mode", G_FILE_QUERY_INFO_NONE,
                                                          nullptr, nullptr);
  while (GFileInfo* info = g_file_enumerator_next_file(enumerator, nullptr, nullptr)) {
    PeerEntry entry;
    entry.hidden = g_file_info_get_is_hidden(info);
    entry.folder = g_file_info_get_file_type(info) == G_FILE_TYPE_DIRECTORY;
    entry.link = g_file_info_get_is_symlink(info);
    entry.size = g_file_info_get_size(info);
    entry.modified_us = g_file_info_get_attribute_uint64(info, "time::modified") * 1000000 +
                        g_file_info_get_attribute_uint32(info, "time::modified-usec");
    entry.accessed_us = g_file_info_get_attribute_uint64(info, "time::access") * 1000000 +
                        g_file_info_get_attribute_uint32(info, "time::access-usec");
    entry.read_only = (g_file_info_get_attribute_uint32(info, "unix::mode") & S_IWUSR) == 0;
    entries[g_file_info_get_name(info)] = entry;
    g_object_unref(info);
  }
  g_object_unref(enumerator);
  g_object_unref(file);
  return entries;
}

guint64 Microseconds(const FILETIME& time) {
  const ULONGLONG ticks = time.dwLowDateTime | (static_cast<ULONGLONG>(time.dwHighDateTime) << 32);
  return ticks / 10 - 11644473600ULL * 1000000;
}

TEST_F(NamespaceTest, EnumerationAgreesWithGio) {
  fs::create_directories(root_ / "sub");
  WriteFile(root_ / ".dotfile", 3);
  WriteFile(root_ / "listed", 100);
  WriteFile(root_ / "plain.png", 2048);
  WriteFile(root_ / "bad-\xff-name", 7);
  std::ofstream(root_ / ".hidden") << "listed\n";
  fs::create_symlink(root_ / "nowhere", root_ / "dangling");
  fs::create_directory_symlink(root_ / "sub", root_ / "folder-link");
  fs::create_symlink("plain.png", root_ / "relative-link");
  chmod((root_ / "plain.png").c_str(), 0444);

  // Reading ".hidden" and the links moves their access times once (relatime): let that happen
  // before either side looks.
  GioEntries(root_);
  const TaskList folder_list = Parse(root_.string());
  ASSERT_NE(folder_list.list, nullptr);
  ComPtr<IShellFolder> folder = Bind(folder_list.list);
  ComPtr<IEnumIDList> enumerator;
  ASSERT_EQ(folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN,
                                enumerator.ReleaseAndGetAddressOf()),
            S_OK);
  const std::map<std::string, PeerEntry> peer = GioEntries(root_);
  std::size_t seen = 0;
  LPITEMIDLIST child = nullptr;
  while (enumerator->Next(1, &child, nullptr) == S_OK) {
    const TaskList owned(child);
    WIN32_FIND_DATAW data;
    ASSERT_EQ(SHGetDataFromIDListW(folder.Get(), child, SHGDFIL_FINDDATA, &data, sizeof(data)), S_OK);
    const std::string raw_name = Utf16ToUtf8(NameOf(folder.Get(), child, SHGDN_INFOLDER | SHGDN_FORPARSING));
    // Non-UTF-8 names come through as U+FFFD; find the peer's entry by that form.
    const auto match = std::find_if(peer.begin(), peer.end(), [&](const auto& entry) {
      return Utf16ToUtf8(Utf8ToUtf16(entry.first)) == raw_name;
    });
    ASSERT_NE(match, peer.end()) << raw_name;
    SCOPED_TRACE(match->first);
    const PeerEntry& expected = match->second;
    ++seen;
    ULONG attributes = SFGAO_FOLDER | SFGAO_HIDDEN | SFGAO_READONLY | SFGAO_FILESYSTEM;
    LPCITEMIDLIST items[] = {child};
    ASSERT_EQ(folder->GetAttributesOf(1, items, &attributes), S_OK);
    EXPECT_EQ((attributes & SFGAO_FOLDER) != 0, expected.folder);
    EXPECT_EQ((attributes & SFGAO_HIDDEN) != 0, expected.hidden);
    EXPECT_EQ((data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0, expected.hidden);
    EXPECT_EQ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, expected.folder);
    EXPECT_EQ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0, expected.link);
    EXPECT_EQ((data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0, expected.read_only);
    if (!expected.folder) {
      EXPECT_EQ((static_cast<guint64>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, expected.size);
    }
    EXPECT_EQ(Microseconds(data.ftLastWriteTime), expected.modified_us);
    EXPECT_EQ(Microseconds(data.ftLastAccessTime), expected.accessed_us);
    EXPECT_EQ(Utf16ToUtf8(data.cFileName), raw_name);
  }
  EXPECT_EQ(seen, peer.size());
}

TEST_F(NamespaceTest, HiddenItemsNeedTheirFlag) {
  WriteFile(root_ / ".dot", 1);
  WriteFile(root_ / "shown", 1);
  fs::create_directories(root_ / "dir");
  const TaskList folder_list = Parse(root_.string());
  ComPtr<IShellFolder> folder = Bind(folder_list.list);
  const auto count = [&](DWORD flags) {
    ComPtr<IEnumIDList> enumerator;
    EXPECT_EQ(folder->EnumObjects(nullptr, flags, enumerator.ReleaseAndGetAddressOf()), S_OK);
    int n = 0;
    LPITEMIDLIST child = nullptr;
    while (enumerator->Next(1, &child, nullptr) == S_OK) ++n, CoTaskMemFree(child);
    return n;
  };
  EXPECT_EQ(count(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS), 2);
  EXPECT_EQ(count(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN), 3);
  EXPECT_EQ(count(SHCONTF_FOLDERS), 1);
  EXPECT_EQ(count(SHCONTF_NONFOLDERS), 1);
}

TEST_F(NamespaceTest, EnumeratorHandsOutEachChildOnceThroughNextSkipCloneAndReset) {
  for (const char* name : {"a", "b", "c", "d"}) WriteFile(root_ / name, 1);
  const TaskList folder_list = Parse(root_.string());
  ComPtr<IShellFolder> folder = Bind(folder_list.list);
  ComPtr<IEnumIDList> enumerator;
  ASSERT_EQ(folder->EnumObjects(nullptr, SHCONTF_NONFOLDERS, enumerator.ReleaseAndGetAddressOf()), S_OK);
  const auto name_of = [&](LPITEMIDLIST child) {
    const TaskList owned(child);
    EXPECT_EQ(item_ids::ListCount(child), 1u);
    return Utf16ToUtf8(NameOf(folder.Get(), child, SHGDN_INFOLDER));
  };
  std::vector<std::string> order;
  LPITEMIDLIST child = nullptr;
  while (enumerator->Next(1, &child, nullptr) == S_OK) order.push_back(name_of(child));
  ASSERT_EQ(order.size(), 4u);
  EXPECT_EQ(std::set<std::string>(order.begin(), order.end()), (std::set<std::string>{"a", "b", "c", "d"}));

  ASSERT_EQ(enumerator->Reset(), S_OK);
  LPITEMIDLIST two[2] = {};
  ULONG fetched = 0;
  ASSERT_EQ(enumerator->Next(2, two, &fetched), S_OK);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(name_of(two[0]), order[0]);
  EXPECT_EQ(name_of(two[1]), order[1]);
  ComPtr<IEnumIDList> clone;
  ASSERT_EQ(enumerator->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(enumerator->Skip(1), S_OK);
  ASSERT_EQ(enumerator->Next(1, &child, nullptr), S_OK);
  EXPECT_EQ(name_of(child), order[3]);
  EXPECT_EQ(enumerator->Skip(1), S_FALSE);
  LPITEMIDLIST rest[3] = {};
  EXPECT_EQ(enumerator->Next(3, rest, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);

  // The clone goes on from where the original stood when it was made.
  ASSERT_EQ(clone->Next(3, rest, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(name_of(rest[0]), order[2]);
  EXPECT_EQ(name_of(rest[1]), order[3]);
  EXPECT_EQ(clone->Skip(2), S_FALSE);
}

TEST_F(NamespaceTest, ListsOfSeveralIdsResolveOneFolderAfterTheOther) {
  fs::create_directories(root_ / "sub");
  WriteFile(root_ / "sub" / "leaf", 1);
  WriteFile(root_ / "file", 1);
  const TaskList root_list = Parse(root_.string());
  const TaskList leaf_list = Parse((root_ / "sub" / "leaf").string());
  const TaskList through_file = Parse((root_ / "file").string());
  ComPtr<IShellFolder> folder = Bind(root_list.list);
  // The last two IDs of the leaf's list: "sub" then "leaf", relative to root_.
  const auto last_ids = [](LPCITEMIDLIST list, UINT keep) {
    for (UINT skip = item_ids::ListCount(list) - keep; skip > 0; --skip) list = item_ids::NextId(list);
    return list;
  };
  LPCITEMIDLIST relative = last_ids(leaf_list.list, 2);
  EXPECT_EQ(NameOf(folder.Get(), relative, SHGDN_FORPARSING), Utf8ToUtf16((root_ / "sub" / "leaf").string()));
  ComPtr<IShellFolder> sub;
  ASSERT_EQ(folder->BindToObject(last_ids(leaf_list.list, 2), nullptr, IShellFolder::iid,
                                 reinterpret_cast<void**>(sub.ReleaseAndGetAddressOf())),
            E_FAIL);  // a file is no folder to bind to
  // A file's ID followed by another ID names nothing.
  const TaskList below_file(item_ids::AppendLists(last_ids(through_file.list, 1), last_ids(leaf_list.list, 1)));
  EXPECT_EQ(NameOf(folder.Get(), below_file.list, SHGDN_FORPARSING), u"<failed>");
  // The empty list is the folder itself.
  const ITEMIDLIST empty{};
  EXPECT_EQ(NameOf(folder.Get(), &empty, SHGDN_FORPARSING), Utf8ToUtf16(root_.string()));
}

TEST(JoinPathTest, OneSlashBetweenFolderAndName) {
  const struct {
    const char* folder;
    const char* name;
    const char* path;
  } kCases[] = {{"", "a", "a"}, {"/", "a", "/a"}, {"/x", "a", "/x/a"}, {"/x/", "a", "/x/a"}, {"/x", "", "/x/"}};
  for (const auto& c : kCases) EXPECT_EQ(file_info::JoinPath(c.folder, c.name), c.path) << c.folder << " + " << c.name;
}

TEST_F(NamespaceTest, RenamingNeverReplacesAndRefusesSlashes) {
  WriteFile(root_ / "one", 1);
  WriteFile(root_ / "two", 2);
  const TaskList folder_list = Parse(root_.string());
  ComPtr<IShellFolder> folder = Bind(folder_list.list);
  const TaskList one = Parse((root_ / "one").string());
  LPCITEMIDLIST relative = one.list;
  for (UINT i = 1; i < item_ids::ListCount(one.list); ++i) relative = item_ids::NextId(relative);
  LPITEMIDLIST renamed = nullptr;
  EXPECT_EQ(folder->SetNameOf(nullptr, relative, u"two", 0, &renamed), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(fs::file_size(root_ / "two"), 2u);
  EXPECT_EQ(folder->SetNameOf(nullptr, relative, u"a/b", 0, &renamed), E_INVALIDARG);
  EXPECT_EQ(folder->SetNameOf(nullptr, relative, u"..", 0, &renamed), E_INVALIDARG);
  ASSERT_EQ(folder->SetNameOf(nullptr, relative, u"three", 0, &renamed), S_OK);
  const TaskList owned(renamed);
  EXPECT_TRUE(fs::exists(root_ / "three"));
  EXPECT_EQ(NameOf(folder.Get(), renamed, SHGDN_NORMAL), u"three");
}

TEST_F(NamespaceTest, FindFirstFileReadsOneNameAndFailsClearly) {
  WriteFile(root_ / "f", 1234567);
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW(Utf8ToUtf16((root_ / "f").string()).c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 1234567u);
  EXPECT_EQ(std::u16string(data.cFileName), u"f");
  EXPECT_TRUE(FindClose(find));
  EXPECT_EQ(FindFirstFileW(Utf8ToUtf16((root_ / "gone").string()).c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(FindFirstFileW(Utf8ToUtf16((root_ / "*").string()).c_str(), &data), INVALID_HANDLE_VALUE);
}

TEST_F(NamespaceTest, CompareIdsPutsFoldersFirstAndReadsAsSigned16Bit) {
  fs::create_directories(root_ / "zeta");
  WriteFile(root_ / "Alpha", 1);
  WriteFile(root_ / "beta", 1);
  const TaskList zeta = Parse((root_ / "zeta").string());
  const TaskList alpha = Parse((root_ / "Alpha").string());
  const TaskList beta = Parse((root_ / "beta").string());
  const TaskList folder_list = Parse(root_.string());
  ComPtr<IShellFolder> folder = Bind(folder_list.list);
  const auto last = [](LPCITEMIDLIST list) {
    for (UINT i = 1; i < item_ids::ListCount(list); ++i) list = item_ids::NextId(list);
    return list;
  };
  const auto order = [&](LPCITEMIDLIST a, LPCITEMIDLIST b) {
    const HRESULT result = folder->CompareIDs(0, last(a), last(b));
    EXPECT_TRUE(SUCCEEDED(result));
    return static_cast<SHORT>(HRESULT_CODE(result));
  };
  EXPECT_EQ(order(zeta.list, alpha.list), -1);
  EXPECT_EQ(order(alpha.list, beta.list), -1);
  EXPECT_EQ(order(beta.list, alpha.list), 1);
  EXPECT_EQ(order(beta.list, beta.list), 0);
}

TEST_F(NamespaceTest, SpecialFoldersAndTheDesktopRoot) {
  TaskList computer;
  ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, computer.Out()), S_OK);
  EXPECT_EQ(NameOf(desktop_.Get(), computer.list, SHGDN_FORPARSING), u"computer:///");
  TaskList config;
  ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_APPDATA, config.Out()), S_OK);
  EXPECT_EQ(NameOf(desktop_.Get(), config.list, SHGDN_FORPARSING), Utf8ToUtf16(getenv("XDG_CONFIG_HOME")));
  for (int missing : {CSIDL_CONTROLS, CSIDL_PRINTERS, CSIDL_FAVORITES, CSIDL_NETWORK, CSIDL_HISTORY}) {
    TaskList none;
    EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, missing, none.Out()), E_FAIL) << missing;
    EXPECT_EQ(none.list, nullptr);
  }
  ComPtr<IEnumIDList> enumerator;
  ASSERT_EQ(desktop_->EnumObjects(nullptr, SHCONTF_FOLDERS, enumerator.ReleaseAndGetAddressOf()), S_OK);
  std::vector<std::u16string> names;
  LPITEMIDLIST child = nullptr;
  while (enumerator->Next(1, &child, nullptr) == S_OK) {
    names.push_back(NameOf(desktop_.Get(), child, SHGDN_NORMAL));
    CoTaskMemFree(child);
  }
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ(names[0], u"Computer");
  EXPECT_EQ(names[1], u"Home");
  EXPECT_EQ(names[2], u"Trash");
}

TEST_F(NamespaceTest, TrashShowsOriginalNamesAndSkipsInfoWithoutFile) {
  const fs::path trash = fs::path(getenv("XDG_DATA_HOME")) / "Trash";
  fs::create_directories(trash / "files");
  fs::create_directories(trash / "info");
  WriteFile(trash / "files" / "by-hand", 1);
  std::ofstream(trash / "info" / "by-hand.trashinfo")
      << "[Trash Info]\nPath=/somewhere/Original%20Name.txt\nDeletionDate=2026-12-07T09:30:00\n";
  std::ofstream(trash / "info" / "orphan.trashinfo") << "[Trash Info]\nPath=/x/orphan\n";
  WriteFile(root_ / "trashed-by-gio.txt", 3);
  const std::string command = "gio trash '" + (root_ / "trashed-by-gio.txt").string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);

  TaskList trash_list;
  ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, trash_list.Out()), S_OK);
  ComPtr<IShellFolder> folder = Bind(trash_list.list);
  ComPtr<IEnumIDList> enumerator;
  ASSERT_EQ(folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, enumerator.ReleaseAndGetAddressOf()), S_OK);
  std::vector<std::u16string> names;
  LPITEMIDLIST child = nullptr;
  while (enumerator->Next(1, &child, nullptr) == S_OK) {
    names.push_back(NameOf(folder.Get(), child, SHGDN_NORMAL));
    CoTaskMemFree(child);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Original Name.txt", u"trashed-by-gio.txt"}));
  fs::remove_all(trash);
}

// The description record of an item below the desktop, through the wide and the narrow call, as
// its 20 bytes: the kind, little-endian, then the class.
std::vector<BYTE> DescriptionBytes(IShellFolder* desktop, LPCITEMIDLIST absolute) {
  std::vector<BYTE> wide(sizeof(SHDESCRIPTIONID), 0xEE);
  std::vector<BYTE> narrow(sizeof(SHDESCRIPTIONID), 0xDD);
  if (SHGetDataFromIDListW(desktop, absolute, SHGDFIL_DESCRIPTIONID, wide.data(), static_cast<int>(wide.size())) != S_OK ||
      SHGetDataFromIDListA(desktop, absolute, SHGDFIL_DESCRIPTIONID, narrow.data(), static_cast<int>(narrow.size())) != S_OK ||
      wide != narrow)
    return {};
  return wide;
}

std::vector<BYTE> ExpectedBytes(DWORD kind, const CLSID& clsid) {
  std::vector<BYTE> bytes{static_cast<BYTE>(kind), 0, 0, 0};
  const BYTE* id = reinterpret_cast<const BYTE*>(&clsid);
  bytes.insert(bytes.end(), id, id + sizeof(CLSID));
  return bytes;
}

TEST_F(NamespaceTest, DescriptionRecordsNameTheKindOfEachItem) {
  fs::create_directories(root_ / "stick");
  fs::create_directories(root_ / "gone-folder");
  WriteFile(root_ / "gone-folder" / "inside", 1);
  const std::string command = "gio trash '" + (root_ / "gone-folder").string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  places::SetExtraMountsForTesting({{(root_ / "stick").string(), true}});
  const struct {
    const char* name;
    DWORD kind;
    CLSID clsid;
  } kCases[] = {
      {"computer:///", SHDID_ROOT_REGITEM, CLSID_MyComputer},
      {"trash:///", SHDID_ROOT_REGITEM, CLSID_RecycleBin},
      {"/", SHDID_COMPUTER_FIXED, GUID_NULL},
      {"STICK", SHDID_COMPUTER_REMOVABLE, GUID_NULL},
      {"trash:///gone-folder", SHDID_FS_DIRECTORY, CLSID_TrashEntry},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const TaskList list = Parse(c.name == std::string("STICK") ? (root_ / "stick").string() : c.name);
    ASSERT_NE(list.list, nullptr);
    EXPECT_EQ(DescriptionBytes(desktop_.Get(), list.list), ExpectedBytes(c.kind, c.clsid));
  }
  places::SetExtraMountsForTesting({});
  fs::remove_all(fs::path(getenv("XDG_DATA_HOME")) / "Trash");

  // Calls that cannot be answered leave the record alone.
  const TaskList folder = Parse(root_.string());
  SHDESCRIPTIONID record{};
  record.dwDescriptionId = 77;
  const ITEMIDLIST empty{};
  EXPECT_EQ(SHGetDataFromIDListW(desktop_.Get(), folder.list, SHGDFIL_DESCRIPTIONID, &record, sizeof(record) - 1), E_INVALIDARG);
  EXPECT_EQ(SHGetDataFromIDListA(desktop_.Get(), folder.list, SHGDFIL_FINDDATA, &record, sizeof(WIN32_FIND_DATAW)), E_INVALIDARG);
  EXPECT_EQ(SHGetDataFromIDListA(desktop_.Get(), &empty, SHGDFIL_DESCRIPTIONID, &record, sizeof(record)), E_INVALIDARG);
  EXPECT_EQ(SHGetDataFromIDListA(nullptr, folder.list, SHGDFIL_DESCRIPTIONID, &record, sizeof(record)), E_INVALIDARG);
  EXPECT_EQ(SHGetDataFromIDListW(desktop_.Get(), folder.list, 2, &record, sizeof(WIN32_FIND_DATAW)), E_INVALIDARG);
  EXPECT_EQ(record.dwDescriptionId, 77u);
  EXPECT_EQ(SHGetDataFromIDListA(desktop_.Get(), folder.list, SHGDFIL_DESCRIPTIONID, nullptr, sizeof(record)), E_INVALIDARG);
  EXPECT_EQ(DescriptionBytes(desktop_.Get(), folder.list), ExpectedBytes(SHDID_FS_DIRECTORY, GUID_NULL));
}

TEST_F(NamespaceTest, TypeNamesComeFromTheContentType) {
  SHFILEINFOW info;
  WriteFile(root_ / "a.png", 1);
  WriteFile(root_ / "data.xyz", 1);
  const TaskList png = Parse((root_ / "a.png").string());
  ASSERT_NE(SHGetFileInfoW(reinterpret_cast<LPCWSTR>(png.list), 0, &info, sizeof(info), SHGFI_PIDL | SHGFI_TYPENAME), 0u);
  EXPECT_EQ(std::u16string(info.szTypeName), u"PNG image");
  const TaskList xyz = Parse((root_ / "data.xyz").string());
  ASSERT_NE(SHGetFileInfoW(reinterpret_cast<LPCWSTR>(xyz.list), 0, &info, sizeof(info), SHGFI_PIDL | SHGFI_TYPENAME), 0u);
  EXPECT_EQ(std::u16string(info.szTypeName), u"");
}

}  // namespace
}  // namespace win
