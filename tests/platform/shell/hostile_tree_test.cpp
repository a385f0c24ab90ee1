// Hostile trees and media: ".hidden" and trash info files that are fifos, devices or huge sparse
// files never block or grow the program; folders that cannot be read report their error; lists
// too deep for the format are refused and every list made names the right item; names keep the
// bytes of their file; find data answers the ID's snapshot until the item's ID is taken anew,
// and verbs look at the file as it is now.
#include "platform/com/com_init.h"
#include "platform/core/errors.h"
#include "platform/core/message_box.h"
#include "platform/core/strings.h"
#include "platform/shell/context_menu.h"
#include "platform/shell/file_info.h"
#include "platform/shell/places.h"
#include "platform/shell/shell.h"
#include "platform/shell/shell_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <set>

namespace win {
namespace {

namespace fs = std::filesystem;

struct OwnedList {
  explicit OwnedList(LPITEMIDLIST value) : list(value) {}
  OwnedList(const OwnedList&) = delete;
  ~OwnedList() { CoTaskMemFree(list); }
  LPITEMIDLIST list;
};

void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

bool ModesBind() { return geteuid() != 0; }

class HostileTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    root_ = fs::path(getenv("HOME")) / ("hostile-" + std::to_string(++counter));
    fs::create_directories(root_);
    ASSERT_EQ(SHGetDesktopFolder(desktop_.GetAddressOf()), S_OK);
  }
  void TearDown() override {
    // rm walks by descriptors: trees deeper than PATH_MAX go too.
    const std::string command = "chmod -R u+rwx '" + root_.string() + "' && rm -rf '" + root_.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }

  // Binds the folder at `absolute` and enumerates it: the parsing names of its children, or the
  // enumeration's failure.
  HRESULT Enumerate(LPCITEMIDLIST absolute, std::set<std::u16string>* names, DWORD flags = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS) {
    ComPtr<IShellFolder> folder;
    const HRESULT bound = item_ids::IsEmptyList(absolute)
                              ? desktop_->QueryInterface(IShellFolder::iid, reinterpret_cast<void**>(folder.GetAddressOf()))
                              : desktop_->BindToObject(absolute, nullptr, IShellFolder::iid, reinterpret_cast<void**>(folder.GetAddressOf()));
    if (FAILED(bound)) return bound;
    ComPtr<IEnumIDList> enumerator;
    const HRESULT enumerated = folder->EnumObjects(nullptr, flags, enumerator.GetAddressOf());
    if (FAILED(enumerated)) return enumerated;
    LPITEMIDLIST child = nullptr;
    while (enumerator->Next(1, &child, nullptr) == S_OK) {
      STRRET name;
      folder->GetDisplayNameOf(child, SHGDN_FORPARSING | SHGDN_INFOLDER, &name);
      if (names != nullptr) names->insert(name.pOleStr);
      CoTaskMemFree(name.pOleStr);
      CoTaskMemFree(child);
    }
    return S_OK;
  }

  HRESULT EnumeratePath(const fs::path& path, std::set<std::u16string>* names, DWORD flags = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS) {
    const OwnedList list(shell_model::PathToList(path.string()));
    if (list.list == nullptr) return E_FAIL;
    return Enumerate(list.list, names, flags);
  }

  fs::path root_;
  ComPtr<IShellFolder> desktop_;
};

TEST_F(HostileTreeTest, HiddenFilesAreReadOnlyAsBoundedRegularFiles) {
  struct Case {
    const char* what;
    std::function<void(const fs::path& hidden)> make;
    std::set<std::u16string> shown;  // of a, b, c
  };
  const std::vector<Case> cases = {
      {"regular", [](const fs::path& h) { Write(h, "a\r\nb\n"); }, {u"c"}},
      {"fifo", [](const fs::path& h) { ASSERT_EQ(mkfifo(h.c_str(), 0600), 0); }, {u"a", u"b", u"c"}},
      {"link to a device", [](const fs::path& h) { fs::create_symlink("/dev/zero", h); }, {u"a", u"b", u"c"}},
      {"sparse 3 GiB, names past the bound ignored",
       [](const fs::path& h) {
         Write(h, "a\n");
         const int fd = open(h.c_str(), O_WRONLY);
         ASSERT_GE(fd, 0);
         ASSERT_EQ(pwrite(fd, "\nb\n", 3, 2 * file_info::kMaxHiddenFileSize), 3);
         ASSERT_EQ(ftruncate(fd, 3LL << 30), 0);
         close(fd);
       },
       {u"b", u"c"}},
      {"a folder", [](const fs::path& h) { fs::create_directories(h); }, {u"a", u"b", u"c"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path folder = root_ / "media";
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const char* name : {"a", "b", "c"}) Write(folder / name, name);
    c.make(folder / ".hidden");
    std::set<std::u16string> names;
    ASSERT_EQ(EnumeratePath(folder, &names, SHCONTF_NONFOLDERS), S_OK);
    EXPECT_EQ(names, c.shown);
  }
  EXPECT_FALSE(file_info::ReadRegularFilePrefix("/dev/zero", 16));
  EXPECT_EQ(file_info::ReadRegularFilePrefix((root_ / "media/a").string(), 16), "a");
}

TEST_F(HostileTreeTest, AFifoAmongTrashInfoFilesIsSkippedWithoutBlocking) {
  const fs::path stick = root_ / "stick";
  const fs::path trash = stick / (".Trash-" + std::to_string(getuid()));
  fs::create_directories(trash / "files");
  fs::create_directories(trash / "info");
  ASSERT_EQ(mkfifo((trash / "info/pipe.trashinfo").c_str(), 0600), 0);
  Write(trash / "files/pipe", "p");
  Write(trash / "files/fine", "f");
  Write(trash / "info/fine.trashinfo", "[Trash Info]\nPath=fine\n");
  fs::create_directories(trash / "info/dir.trashinfo");
  places::SetExtraMountsForTesting({{stick.string(), true}});
  const OwnedList trash_list(shell_model::ParseName(u"trash:///"));
  std::set<std::u16string> names;
  EXPECT_EQ(Enumerate(trash_list.list, &names), S_OK);
  EXPECT_EQ(names.count(u"fine"), 1u);
  EXPECT_EQ(names.count(u"pipe"), 0u);
  EXPECT_EQ(names.count(u"dir"), 0u);
  // The trash's icon looks at the same files.
  SHFILEINFOW info;
  SHGetFileInfoW(reinterpret_cast<LPCWSTR>(trash_list.list), 0, &info, sizeof(info), SHGFI_PIDL | SHGFI_SYSICONINDEX);
  places::SetExtraMountsForTesting({});
}

TEST_F(HostileTreeTest, FoldersThatCannotBeReadReportTheirError) {
  // Past PATH_MAX: reached one folder at a time, as a user browsing down would.
  fs::path deep = root_ / "long";
  fs::create_directories(deep);
  const std::string part(200, 'p');
  OwnedList list(shell_model::PathToList(deep.string()));
  std::size_t length = deep.string().size();
  const int root_fd = open(deep.c_str(), O_RDONLY | O_DIRECTORY);
  int fd = root_fd;
  while (length <= PATH_MAX) {
    ASSERT_EQ(mkdirat(fd, part.c_str(), 0700), 0);
    const int next = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd != root_fd) close(fd);
    fd = next;
    item_ids::ItemId id;
    id.kind = item_ids::ItemKind::Folder;
    id.name = part;
    const OwnedList child(item_ids::MakeList({id}));
    LPITEMIDLIST joined = item_ids::AppendLists(list.list, child.list);
    CoTaskMemFree(list.list);
    list.list = joined;
    length += part.size() + 1;
  }
  close(fd);
  close(root_fd);
  EXPECT_EQ(Enumerate(list.list, nullptr), HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
  // Given a window, the folder shows why, once.
  std::vector<std::string> shown;
  const MessageBoxSink previous = SetMessageBoxSink([&](HWND, std::string_view text, std::string_view, UINT) {
    shown.emplace_back(text);
    return IDOK;
  });
  ComPtr<IShellFolder> folder;
  ASSERT_EQ(desktop_->BindToObject(list.list, nullptr, IShellFolder::iid, reinterpret_cast<void**>(folder.GetAddressOf())), S_OK);
  ComPtr<IEnumIDList> enumerator;
  const HWND owner = reinterpret_cast<HWND>(std::uintptr_t{0x1234});
  EXPECT_EQ(folder->EnumObjects(owner, SHCONTF_FOLDERS, enumerator.GetAddressOf()), HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
  SetMessageBoxSink(previous);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_TRUE(shown[0].ends_with(" is not accessible.\n\nThe filename or extension is too long.")) << shown[0];
  std::set<std::u16string> names;
  EXPECT_EQ(EnumeratePath(root_, &names), S_OK);
  EXPECT_EQ(names, (std::set<std::u16string>{u"long"}));

  if (!ModesBind()) GTEST_SKIP() << "modes do not bind this user";
  const fs::path closed = root_ / "closed";
  fs::create_directories(closed);
  Write(closed / "inside", "x");
  fs::permissions(closed, fs::perms::none);
  EXPECT_EQ(EnumeratePath(closed, nullptr), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  fs::permissions(closed, fs::perms::owner_read);
  EXPECT_EQ(EnumeratePath(closed, nullptr), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  fs::permissions(closed, fs::perms::owner_all);
  EXPECT_EQ(EnumeratePath(closed, nullptr), S_OK);
}

// One folder per level, one-letter names: each level's list either names exactly that folder or
// is refused as too long, and the refusal comes only once the format's limit is passed.
TEST_F(HostileTreeTest, DeepTreesNameTheRightItemOrAreRefusedClearly) {
  std::string path = (root_ / "d").string();
  fs::create_directories(path);
  int refused_at = 0;
  for (int depth = 1; depth < 1600 && refused_at == 0; ++depth) {
    path += "/d";
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0) << depth;
    // Parsing walks the whole path: only some depths, and every one near the limit.
    if (depth % 97 != 0 && depth < 1430) continue;
    std::u16string wide = Utf8ToUtf16(path);
    LPITEMIDLIST parsed = nullptr;
    const HRESULT result = desktop_->ParseDisplayName(nullptr, nullptr, wide.data(), nullptr, &parsed, nullptr);
    if (FAILED(result)) {
      EXPECT_EQ(result, HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
      refused_at = depth;
      break;
    }
    const OwnedList list(parsed);
    ASSERT_LE(item_ids::ListSize(list.list), item_ids::kMaxListSize);
    {
      STRRET name;
      ASSERT_EQ(desktop_->GetDisplayNameOf(list.list, SHGDN_FORPARSING, &name), S_OK);
      EXPECT_EQ(std::u16string(name.pOleStr), wide) << depth;
      CoTaskMemFree(name.pOleStr);
      // The deepest list that fits also binds and its copies stay whole.
      const OwnedList copy(item_ids::CopyList(list.list));
      EXPECT_EQ(item_ids::ListCount(copy.list), item_ids::ListCount(list.list));
    }
  }
  ASSERT_GT(refused_at, 1000);
  // A child of the deepest folder cannot be made either, by any way in.
  const OwnedList parent(shell_model::PathToList(path.substr(0, path.size() - 2)));
  ComPtr<IShellFolder> folder;
  ASSERT_EQ(desktop_->BindToObject(parent.list, nullptr, IShellFolder::iid, reinterpret_cast<void**>(folder.GetAddressOf())), S_OK);
  const OwnedList child(item_ids::MakeList({*shell_model::FileIdAt(path)}));
  ComPtr<IShellFolder> deeper;
  EXPECT_EQ(folder->BindToObject(child.list, nullptr, IShellFolder::iid, reinterpret_cast<void**>(deeper.GetAddressOf())),
            HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_EQ(item_ids::AppendLists(parent.list, child.list), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
}

// Bytes from elsewhere whose IDs run past the limit: the size stops before the ID that crosses
// it and every copy ends with a terminator there.
TEST(ListLimitsTest, OverlongListsAreCutWithATerminatorAndNeverMade) {
  item_ids::ItemId id;
  id.kind = item_ids::ItemKind::Folder;
  id.name = "d";
  const std::vector<BYTE> one = item_ids::EncodeId(id);
  const std::size_t fitting = (item_ids::kMaxListSize - item_ids::kCountSize) / one.size();
  std::vector<BYTE> bytes;
  for (std::size_t i = 0; i < fitting + 20; ++i) bytes.insert(bytes.end(), one.begin(), one.end());
  bytes.insert(bytes.end(), {0, 0});
  const auto* list = reinterpret_cast<LPCITEMIDLIST>(bytes.data());
  EXPECT_EQ(item_ids::ListSize(list), fitting * one.size() + item_ids::kCountSize);
  EXPECT_EQ(item_ids::ListCount(list), fitting);
  std::size_t size = 0;
  EXPECT_EQ(item_ids::ValidateList(bytes.data(), bytes.size(), &size), item_ids::ListError::TooLong);
  const OwnedList copy(item_ids::CopyList(list));
  ASSERT_NE(copy.list, nullptr);
  const auto* copied = reinterpret_cast<const BYTE*>(copy.list);
  EXPECT_EQ(copied[fitting * one.size()], 0);
  EXPECT_EQ(copied[fitting * one.size() + 1], 0);
  EXPECT_EQ(item_ids::MakeList(std::vector<item_ids::ItemId>(fitting + 1, id)), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
  const OwnedList most(item_ids::MakeList(std::vector<item_ids::ItemId>(fitting, id)));
  EXPECT_NE(most.list, nullptr);
}

TEST_F(HostileTreeTest, NamesKeepTheBytesOfTheirFile) {
  const std::string bad = "bad\xFF" "name";
  const std::string replaced = "bad\xEF\xBF\xBD" "name";  // the same with U+FFFD
  Write(root_ / bad, "the invalid one");
  Write(root_ / replaced, "the other file, longer");
  Write(root_ / "star*?", "12345");
  std::set<std::u16string> names;
  ASSERT_EQ(EnumeratePath(root_, &names), S_OK);
  const OwnedList bad_list(shell_model::PathToList((root_ / bad).string()));
  STRRET name;
  ASSERT_EQ(desktop_->GetDisplayNameOf(bad_list.list, SHGDN_FORPARSING, &name), S_OK);
  const std::u16string parsing = name.pOleStr;
  CoTaskMemFree(name.pOleStr);
  EXPECT_TRUE(parsing.starts_with(u"file:///")) << Utf16ToUtf8(parsing);
  // The parsing name comes back to the invalid one, never to its look-alike.
  std::u16string editable = parsing;
  LPITEMIDLIST parsed = nullptr;
  ASSERT_EQ(desktop_->ParseDisplayName(nullptr, nullptr, editable.data(), nullptr, &parsed, nullptr), S_OK);
  const OwnedList back(parsed);
  EXPECT_EQ(shell_model::Resolve(back.list)->path, (root_ / bad).string());
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(parsing.c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 15u);
  FindClose(find);
  // A name with wildcard characters is a name.
  const std::u16string star = Utf8ToUtf16((root_ / "star*?").string());
  find = FindFirstFileW(star.c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  FindClose(find);
  EXPECT_EQ(FindFirstFileW(Utf8ToUtf16((root_ / "*").string()).c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  // A lone surrogate has no bytes: no file is named by it, and nothing is renamed to it.
  const std::u16string lone = Utf8ToUtf16(root_.string()) + u"/bad\xD800name";
  EXPECT_EQ(FindFirstFileW(lone.c_str(), &data), INVALID_HANDLE_VALUE);
  const OwnedList folder_list(shell_model::PathToList(root_.string()));
  ComPtr<IShellFolder> folder;
  ASSERT_EQ(desktop_->BindToObject(folder_list.list, nullptr, IShellFolder::iid, reinterpret_cast<void**>(folder.GetAddressOf())), S_OK);
  Write(root_ / "plain", "p");
  const OwnedList plain(item_ids::MakeList({*shell_model::FileIdAt((root_ / "plain").string())}));
  EXPECT_EQ(folder->SetNameOf(nullptr, plain.list, u"x\xDC00y", 0, nullptr), HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_TRUE(fs::exists(root_ / "plain"));
  EXPECT_FALSE(fs::exists(root_ / "x\xEF\xBF\xBDy"));
}

// Find data is what the ID holds, as the file was when the ID was made; the folder parsing the
// item's name takes the ID anew from the file as it is now, and verbs look at the file first.
TEST_F(HostileTreeTest, FindDataAnswersTheIdUntilTheFolderTakesItAnew) {
  Write(root_ / "changing", "short");
  const OwnedList folder_list(shell_model::PathToList(root_.string()));
  ComPtr<IShellFolder> folder;
  ASSERT_EQ(desktop_->BindToObject(folder_list.list, nullptr, IShellFolder::iid, reinterpret_cast<void**>(folder.GetAddressOf())), S_OK);
  const OwnedList child(item_ids::MakeList({*shell_model::FileIdAt((root_ / "changing").string())}));
  const auto size_of = [&](LPCITEMIDLIST list) {
    WIN32_FIND_DATAW data;
    EXPECT_EQ(SHGetDataFromIDListW(folder.Get(), list, SHGDFIL_FINDDATA, &data, sizeof(data)), S_OK);
    return data.nFileSizeLow;
  };
  std::u16string name = Utf8ToUtf16((root_ / "changing").string());
  const auto parse = [&](LPITEMIDLIST* list) { return folder->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, list, nullptr); };

  fs::remove(root_ / "changing");
  Write(root_ / "changing", "a good deal longer");
  EXPECT_EQ(size_of(child.list), 5u);
  LPITEMIDLIST raw = nullptr;
  ASSERT_EQ(parse(&raw), S_OK);
  const OwnedList fresh(raw);
  EXPECT_EQ(item_ids::ListCount(fresh.list), 1u);
  EXPECT_EQ(size_of(fresh.list), 18u);

  fs::remove(root_ / "changing");
  EXPECT_EQ(size_of(fresh.list), 18u);
  raw = nullptr;
  EXPECT_EQ(parse(&raw), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(raw, nullptr);
  LPCITEMIDLIST lists[] = {fresh.list};
  ComPtr<IContextMenu> menu;
  ASSERT_EQ(folder->GetUIObjectOf(nullptr, 1, lists, IContextMenu::iid, nullptr, reinterpret_cast<void**>(menu.GetAddressOf())), S_OK);
  for (const char* verb : {"copy", "delete", "properties"}) {
    CMINVOKECOMMANDINFO info;
    info.lpVerb = verb;
    EXPECT_EQ(menu->InvokeCommand(&info), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) << verb;
  }
}

// Every folder parses the parsing names of what lies below it into lists relative to itself;
// only the desktop answers absolute lists.
TEST_F(HostileTreeTest, FoldersParseNamesBelowThemselves) {
  fs::create_directories(root_ / "sub");
  Write(root_ / "sub/leaf", "1234");
  const std::string leaf = (root_ / "sub/leaf").string();
  const struct {
    std::vector<item_ids::ItemId> folder;  // from the desktop
    std::string name;
    HRESULT result;
    std::vector<std::string> names;  // of the IDs answered
  } cases[] = {
      {{}, "computer:///", S_OK, {""}},
      {{{item_ids::ItemKind::Computer, {}, {}}}, "/", S_OK, {"/"}},
      {{{item_ids::ItemKind::Computer, {}, {}}}, "trash:///", HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), {}},
      {{{item_ids::ItemKind::Home, {}, {}}}, leaf, S_OK, {root_.filename().string(), "sub", "leaf"}},
      {{{item_ids::ItemKind::Home, {}, {}}}, "/etc", HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), {}},
      {{{item_ids::ItemKind::Home, {}, {}}}, root_.string() + "/gone/leaf", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), {}},
      {{{item_ids::ItemKind::Home, {}, {}}}, leaf + "/below-a-file", HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), {}},
  };
  for (const auto& c : cases) {
    ComPtr<IShellFolder> folder;
    const OwnedList folder_list(item_ids::MakeList(c.folder));
    if (c.folder.empty()) folder = desktop_;
    else
      ASSERT_EQ(desktop_->BindToObject(folder_list.list, nullptr, IShellFolder::iid, reinterpret_cast<void**>(folder.GetAddressOf())), S_OK);
    std::u16string name = Utf8ToUtf16(c.name);
    LPITEMIDLIST raw = nullptr;
    EXPECT_EQ(folder->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &raw, nullptr), c.result) << c.name;
    const OwnedList parsed(raw);
    std::vector<std::string> names;
    for (const item_ids::ItemId& id : item_ids::DecodeList(parsed.list)) names.push_back(id.name);
    EXPECT_EQ(names, c.names) << c.name;
  }
}

}  // namespace
}  // namespace win
