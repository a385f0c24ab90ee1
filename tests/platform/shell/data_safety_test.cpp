// No verb destroys data: copies that fail (fifos, sockets, devices, unreadable files, folders
// holding such files) through the transfer itself, paste and drag-copy leave every file that was
// there byte for byte; two trashes holding the same name each keep their own entry for delete
// and properties; long names are trashed with a whole info file or refused before moving.
#include "platform/com/com_init.h"
#include "platform/core/errors.h"
#include "platform/core/strings.h"
#include "platform/ole/clipboard.h"
#include "platform/shell/context_menu.h"
#include "platform/shell/item_data.h"
#include "platform/user/messages.h"
#include "platform/shell/file_operations.h"
#include "platform/shell/places.h"
#include "platform/shell/properties_window.h"
#include "platform/shell/shell.h"
#include "platform/shell/trash.h"

#include "shell_verbs_support.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

namespace win {
namespace {

namespace fs = std::filesystem;
using file_operations::Transfer;

using shell_tests::OwnedList;
using shell_tests::Read;
using shell_tests::RunItemsVerb;

void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Every entry below `root`: its type, and the bytes of regular files.
using Tree = std::map<std::string, std::string>;

Tree Snapshot(const fs::path& root) {
  Tree tree;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied)) {
    const fs::file_status status = entry.symlink_status();
    std::string what = "other";
    if (fs::is_directory(status)) what = "folder";
    else if (fs::is_fifo(status)) what = "fifo";
    else if (fs::is_socket(status)) what = "socket";
    else if (fs::is_regular_file(status)) what = "file:" + ((status.permissions() & fs::perms::owner_read) != fs::perms::none ? Read(entry.path()) : "unreadable");
    tree[fs::relative(entry.path(), root).string()] = what;
  }
  return tree;
}

// What `before` held is still there unchanged, and nothing half-made is left beside it.
void ExpectKept(const Tree& before, const Tree& after) {
  for (const auto& [path, what] : before) {
    const auto found = after.find(path);
    ASSERT_NE(found, after.end()) << path << " was removed";
    EXPECT_EQ(found->second, what) << path << " was changed";
  }
  for (const auto& [path, what] : after) EXPECT_EQ(path.find(".partial-copy"), std::string::npos) << path << " left behind";
}

void MakeFifo(const fs::path& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }

// A bound socket file; the descriptor stays open until the test ends.
struct SocketFile {
  explicit SocketFile(const fs::path& path) : fd(socket(AF_UNIX, SOCK_STREAM, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    EXPECT_LT(text.size(), sizeof(address.sun_path));
    std::copy(text.begin(), text.end(), address.sun_path);
    EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  }
  ~SocketFile() { close(fd); }
  int fd;
};

bool ReadableDespiteMode() { return geteuid() == 0; }

class DataSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    // Short: socket paths have a small limit.
    root_ = fs::path(getenv("HOME")) / ("ds" + std::to_string(++counter));
    fs::create_directories(root_ / "src");
    fs::create_directories(root_ / "dst");
    ASSERT_EQ(SHGetDesktopFolder(desktop_.ReleaseAndGetAddressOf()), S_OK);
  }
  void TearDown() override {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root_, fs::directory_options::skip_permission_denied))
      if (!entry.is_symlink()) fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(root_);
    places::SetExtraMountsForTesting({});
  }

  ComPtr<IShellFolder> FolderAt(const fs::path& path) {
    const OwnedList list(shell_model::PathToList(path.string()));
    ComPtr<IShellFolder> folder;
    desktop_->BindToObject(list.list, nullptr, IShellFolder::iid, reinterpret_cast<void**>(folder.GetAddressOf()));
    return folder;
  }

  HRESULT CopyThenPaste(const fs::path& source, const fs::path& into) {
    const OwnedList child(item_ids::MakeList({*shell_model::FileIdAt(source.string())}));
    const HRESULT copied = RunItemsVerb(FolderAt(source.parent_path()).Get(), {child.list}, "copy");
    if (FAILED(copied)) return copied;
    ComPtr<IContextMenu> menu;
    FolderAt(into)->CreateViewObject(nullptr, IContextMenu::iid, reinterpret_cast<void**>(menu.GetAddressOf()));
    CMINVOKECOMMANDINFO info;
    info.lpVerb = "paste";
    return menu->InvokeCommand(&info);
  }

  HRESULT DragCopy(const fs::path& source, const fs::path& into) {
    const OwnedList child(item_ids::MakeList({*shell_model::FileIdAt(source.string())}));
    LPCITEMIDLIST lists[] = {child.list};
    ComPtr<IDataObject> data;
    if (HRESULT made = FolderAt(source.parent_path())
                           ->GetUIObjectOf(nullptr, 1, lists, IDataObject::iid, nullptr, reinterpret_cast<void**>(data.GetAddressOf()));
        FAILED(made))
      return made;
    ComPtr<IDropTarget> target;
    FolderAt(into)->CreateViewObject(nullptr, IDropTarget::iid, reinterpret_cast<void**>(target.GetAddressOf()));
    DROPEFFECT effect = DROPEFFECT_COPY;
    target->DragEnter(data.Get(), MK_CONTROL, POINTL{}, &effect);
    effect = DROPEFFECT_COPY;
    return target->Drop(data.Get(), MK_CONTROL, POINTL{}, &effect);
  }

  fs::path root_;
  ComPtr<IShellFolder> desktop_;
};

// How a case's source is made in "src" and what stands in "dst" under its name.
struct CopyCase {
  const char* what;
  std::function<void(const fs::path& source, const fs::path& in_the_way)> make;
  bool refused_even_for_root;
};

std::vector<CopyCase> FailingCopies() {
  return {
      {"fifo onto a file", [](const fs::path& s, const fs::path& d) { MakeFifo(s); Write(d, "keep me"); }, true},
      {"fifo onto a folder",
       [](const fs::path& s, const fs::path& d) {
         MakeFifo(s);
         fs::create_directories(d / "inner");
         Write(d / "inner/kept.txt", "folder content");
       },
       true},
      {"unreadable file onto a file",
       [](const fs::path& s, const fs::path& d) {
         Write(s, "secret");
         fs::permissions(s, fs::perms::none);
         Write(d, "keep me");
       },
       false},
      {"folder holding a fifo onto a folder",
       [](const fs::path& s, const fs::path& d) {
         fs::create_directories(s);
         Write(s / "a.txt", "a");
         MakeFifo(s / "pipe");
         fs::create_directories(d);
         Write(d / "a.txt", "the old a");
       },
       true},
  };
}

TEST_F(DataSafetyTest, FailedCopiesKeepEveryFileThatWasThere) {
  enum class Way { Transfer, Paste, DragCopy };
  for (const Way way : {Way::Transfer, Way::Paste, Way::DragCopy}) {
    for (const CopyCase& c : FailingCopies()) {
      SCOPED_TRACE(std::string(c.what) + " by way " + std::to_string(static_cast<int>(way)));
      const fs::path source = root_ / "src/item";
      c.make(source, root_ / "dst/item");
      const Tree before = Snapshot(root_);
      bool done = false;
      DWORD error = ERROR_SUCCESS;
      if (way == Way::Transfer) done = file_operations::TransferInto(source.string(), (root_ / "dst").string(), Transfer::Copy, error).has_value();
      else if (way == Way::Paste) done = SUCCEEDED(CopyThenPaste(source, root_ / "dst"));
      else done = SUCCEEDED(DragCopy(source, root_ / "dst"));
      if (c.refused_even_for_root || !ReadableDespiteMode()) {
        EXPECT_FALSE(done);
      }
      if (way == Way::Transfer && !done) {
        EXPECT_NE(error, ERROR_SUCCESS);
      }
      ExpectKept(before, Snapshot(root_));
      TearDown();
      SetUp();
    }
  }
}

TEST_F(DataSafetyTest, SpecialFilesAreRefusedBeforeAnythingIsTouched) {
  MakeFifo(root_ / "src/pipe");
  const SocketFile socket_file(root_ / "src/sock");
  fs::create_directories(root_ / "dst/sock");
  Write(root_ / "dst/sock/kept", "in a folder named like the socket");
  Write(root_ / "dst/null", "named like the device");
  const Tree before = Snapshot(root_);
  for (const fs::path& source : {root_ / "src/pipe", root_ / "src/sock", fs::path("/dev/null")}) {
    for (const Transfer how : {Transfer::Copy, Transfer::Move}) {
      SCOPED_TRACE(source.string());
      DWORD error = ERROR_SUCCESS;
      EXPECT_FALSE(file_operations::TransferInto(source.string(), (root_ / "dst").string(), how, error));
      EXPECT_EQ(error, ERROR_NOT_SUPPORTED);
    }
  }
  ExpectKept(before, Snapshot(root_));
  EXPECT_EQ(before.size(), Snapshot(root_).size());
  EXPECT_TRUE(fs::exists("/dev/null"));
}

TEST_F(DataSafetyTest, UnreadableFileCopiedIntoItsOwnFolderKeepsTheOriginal) {
  Write(root_ / "src/locked.txt", "original bytes");
  fs::permissions(root_ / "src/locked.txt", fs::perms::none);
  const Tree before = Snapshot(root_);
  DWORD error = ERROR_SUCCESS;
  const std::optional<std::string> copy =
      file_operations::TransferInto((root_ / "src/locked.txt").string(), (root_ / "src").string(), Transfer::Copy, error);
  if (!ReadableDespiteMode()) {
    EXPECT_FALSE(copy);
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Snapshot(root_), before);
  } else {
    EXPECT_EQ(copy, (root_ / "src/locked (2).txt").string());
  }
  ExpectKept(before, Snapshot(root_));
  fs::permissions(root_ / "src/locked.txt", fs::perms::owner_read);
  EXPECT_EQ(Read(root_ / "src/locked.txt"), "original bytes");
}

TEST_F(DataSafetyTest, WholeCopiesStillTakeTheFirstFreeNameAndTheSourceMode) {
  fs::create_directories(root_ / "src/tree/sub");
  Write(root_ / "src/tree/sub/f", "deep");
  fs::permissions(root_ / "src/tree", fs::perms::owner_read | fs::perms::owner_exec);
  fs::create_directories(root_ / "dst/tree");
  Write(root_ / "dst/tree/old", "old");
  DWORD error = ERROR_SUCCESS;
  EXPECT_EQ(file_operations::TransferInto((root_ / "src/tree").string(), (root_ / "dst").string(), Transfer::Copy, error),
            (root_ / "dst/tree (2)").string());
  EXPECT_EQ(Read(root_ / "dst/tree (2)/sub/f"), "deep");
  EXPECT_EQ(fs::status(root_ / "dst/tree (2)").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(Read(root_ / "dst/tree/old"), "old");
  EXPECT_FALSE(fs::exists(root_ / "dst/tree/sub"));
}

// Moves to another file system copy first and remove the source only once the copy is whole.
TEST_F(DataSafetyTest, MovesAcrossFileSystemsKeepBothSidesUntilTheCopyIsWhole) {
  const fs::path other = fs::path("/dev/shm") / ("ds-move-" + std::to_string(getpid()));
  struct stat here {}, there {};
  if (stat("/dev/shm", &there) != 0 || stat(root_.c_str(), &here) != 0 || here.st_dev == there.st_dev)
    GTEST_SKIP() << "no second file system at /dev/shm";
  fs::create_directories(other / "tree/sub");
  Write(other / "tree/sub/f", "moved bytes");
  MakeFifo(other / "tree/pipe");
  fs::create_directories(root_ / "dst/tree");
  Write(root_ / "dst/tree/old", "old bytes");
  const Tree source_before = Snapshot(other);
  const Tree target_before = Snapshot(root_);
  DWORD error = ERROR_SUCCESS;
  EXPECT_FALSE(file_operations::TransferInto((other / "tree").string(), (root_ / "dst").string(), Transfer::Move, error));
  EXPECT_EQ(error, ERROR_NOT_SUPPORTED);
  EXPECT_EQ(Snapshot(other), source_before);
  EXPECT_EQ(Snapshot(root_), target_before);
  fs::remove(other / "tree/pipe");
  EXPECT_EQ(file_operations::TransferInto((other / "tree").string(), (root_ / "dst").string(), Transfer::Move, error),
            (root_ / "dst/tree (2)").string());
  EXPECT_FALSE(fs::exists(other / "tree"));
  EXPECT_EQ(Read(root_ / "dst/tree (2)/sub/f"), "moved bytes");
  ExpectKept(target_before, Snapshot(root_));
  fs::remove_all(other);
}

// A stick's trash beside the home trash, both holding an entry named "same.txt".
class TwoTrashesTest : public DataSafetyTest {
 protected:
  void SetUp() override {
    DataSafetyTest::SetUp();
    home_trash_ = fs::path(getenv("XDG_DATA_HOME")) / "Trash";
    stick_ = root_ / "stick";
    stick_trash_ = stick_ / (".Trash-" + std::to_string(getuid()));
    for (const fs::path& trash : {home_trash_, stick_trash_}) {
      fs::create_directories(trash / "files");
      fs::create_directories(trash / "info");
    }
    Write(home_trash_ / "files/same.txt", "home copy");
    Write(home_trash_ / "info/same.txt.trashinfo", "[Trash Info]\nPath=/home-place/same.txt\nDeletionDate=2026-12-07T09:30:00\n");
    Write(stick_trash_ / "files/same.txt", "stick copy");
    Write(stick_trash_ / "info/same.txt.trashinfo", "[Trash Info]\nPath=music/same.txt\nDeletionDate=2026-12-08T10:00:00\n");
    places::SetExtraMountsForTesting({{stick_.string(), true}});
  }
  void TearDown() override {
    fs::remove_all(home_trash_);
    DataSafetyTest::TearDown();
  }

  std::map<std::u16string, std::vector<BYTE>> TrashChildren() { return shell_tests::TrashChildren(desktop_.Get(), trash_folder_); }

  fs::path home_trash_, stick_, stick_trash_;
  ComPtr<IShellFolder> trash_folder_;
};

TEST_F(TwoTrashesTest, EachEntryNamesItsOwnTrashForDeleteAndProperties) {
  const std::u16string home_name = u"trash://" + Utf8ToUtf16((home_trash_ / "files/same.txt").string());
  const std::u16string stick_name = u"trash://" + Utf8ToUtf16((stick_trash_ / "files/same.txt").string());
  std::map<std::u16string, std::vector<BYTE>> children = TrashChildren();
  ASSERT_EQ(children.size(), 2u);
  ASSERT_EQ(children.count(home_name), 1u);
  ASSERT_EQ(children.count(stick_name), 1u);

  // Each resolves to its own file, original place and date.
  const OwnedList stick_list(shell_model::ParseName(stick_name));
  ASSERT_NE(stick_list.list, nullptr);
  const std::optional<shell_model::Item> stick_item = shell_model::Resolve(stick_list.list);
  ASSERT_TRUE(stick_item);
  EXPECT_EQ(stick_item->path, (stick_trash_ / "files/same.txt").string());
  EXPECT_EQ(stick_item->original_path, (stick_ / "music/same.txt").string());
  const std::vector<std::string> lines = properties_window::LinesFor({*stick_item});
  EXPECT_NE(std::find_if(lines.begin(), lines.end(), [&](const std::string& line) { return line.find((stick_ / "music").string()) != std::string::npos; }),
            lines.end());
  // The old short form still finds the first trash's entry.
  const OwnedList short_list(shell_model::ParseName(u"trash:///same.txt"));
  EXPECT_EQ(shell_model::Resolve(short_list.list)->path, (home_trash_ / "files/same.txt").string());

  const Tree home_before = Snapshot(home_trash_);
  const std::vector<BYTE>& stick_child = children[stick_name];
  ASSERT_EQ(RunItemsVerb(trash_folder_.Get(), {reinterpret_cast<LPCITEMIDLIST>(stick_child.data())}, "delete"), S_OK);
  EXPECT_EQ(Snapshot(home_trash_), home_before);
  EXPECT_FALSE(fs::exists(stick_trash_ / "files/same.txt"));
  EXPECT_FALSE(fs::exists(stick_trash_ / "info/same.txt.trashinfo"));
  children = TrashChildren();
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children.begin()->first, home_name);
}

TEST_F(TwoTrashesTest, ListsNamingATrashFolderThatIsNotOneNameNothingToDelete) {
  fs::create_directories(root_ / "files");
  Write(root_ / "files/victim", "not trash");
  item_ids::ItemId forged;
  forged.kind = item_ids::ItemKind::TrashEntry;
  forged.name = (root_ / "files/victim").string();
  const OwnedList list(item_ids::MakeList({forged}));
  TrashChildren();
  EXPECT_EQ(RunItemsVerb(trash_folder_.Get(), {list.list}, "delete"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Read(root_ / "files/victim"), "not trash");
}

TEST_F(TwoTrashesTest, LongNamesAreTrashedWithAWholeInfoFileOrRefusedBeforeMoving) {
  fs::remove_all(home_trash_);
  for (const std::size_t length : {238u, 239u, 242u, 245u, 246u, 250u, 255u}) {
    SCOPED_TRACE(length);
    const std::string name = std::string(length - 4, 'n') + ".txt";
    const fs::path file = root_ / "src" / name;
    const std::string bytes = "bytes of " + std::to_string(length);
    Write(file, bytes);
    const OwnedList child(item_ids::MakeList({*shell_model::FileIdAt(file.string())}));
    const HRESULT deleted = RunItemsVerb(FolderAt(root_ / "src").Get(), {child.list}, "delete");
    if (length + trash::kInfoSuffix.size() > NAME_MAX) {
      EXPECT_EQ(deleted, HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
      EXPECT_EQ(Read(file), bytes);
      continue;
    }
    ASSERT_EQ(deleted, S_OK);
    EXPECT_FALSE(fs::exists(file));
    const std::string info_text = Read(home_trash_ / "info" / (name + ".trashinfo"));
    const std::optional<trash::TrashInfo> info = trash::ParseTrashInfo(info_text, "/");
    ASSERT_TRUE(info) << info_text;
    EXPECT_EQ(info->original_path, file.string());
    EXPECT_EQ(info->deletion_date.size(), 19u);
    const std::u16string parsing = u"trash://" + Utf8ToUtf16((home_trash_ / "files" / name).string());
    ASSERT_EQ(TrashChildren().count(parsing), 1u);
    EXPECT_EQ(Read(home_trash_ / "files" / name), bytes);
  }
}

TEST_F(TwoTrashesTest, ASecondFileOfTheSameNameTakesANumberedEntry) {
  fs::remove_all(home_trash_);
  DWORD error = ERROR_SUCCESS;
  for (const char* bytes : {"first", "second"}) {
    Write(root_ / "src/twice.txt", bytes);
    ASSERT_TRUE(file_operations::MoveToTrash((root_ / "src/twice.txt").string(), error));
  }
  EXPECT_EQ(Read(home_trash_ / "files/twice.txt"), "first");
  EXPECT_EQ(Read(home_trash_ / "files/twice (2).txt"), "second");
  EXPECT_EQ(trash::ParseTrashInfo(Read(home_trash_ / "info/twice (2).txt.trashinfo"), "/")->original_path,
            (root_ / "src/twice.txt").string());
}

TEST_F(TwoTrashesTest, AnInfoFileThatCannotBeWrittenLeavesTheFileWhereItIs) {
  if (ReadableDespiteMode()) GTEST_SKIP() << "modes do not bind this user";
  Write(root_ / "src/stays.txt", "stays");
  fs::permissions(home_trash_ / "info", fs::perms::owner_read | fs::perms::owner_exec);
  DWORD error = ERROR_SUCCESS;
  EXPECT_FALSE(file_operations::MoveToTrash((root_ / "src/stays.txt").string(), error));
  EXPECT_EQ(error, ERROR_ACCESS_DENIED);
  EXPECT_EQ(Read(root_ / "src/stays.txt"), "stays");
  fs::permissions(home_trash_ / "info", fs::perms::owner_all);
}

TEST(TrashInfoTextTest, PathsAreEscapedAndRelativeToTheirTopDirectory) {
  const trash::TrashFolder home{"/h/.local/share/Trash", "/"};
  const trash::TrashFolder stick{"/media/s/.Trash-1000", "/media/s"};
  EXPECT_EQ(trash::InfoText(home, "/a b/ä%.txt", "2026-12-07T09:30:00"),
            "[Trash Info]\nPath=/a%20b/%C3%A4%25.txt\nDeletionDate=2026-12-07T09:30:00\n");
  EXPECT_EQ(trash::InfoText(stick, "/media/s/music/x", "D"), "[Trash Info]\nPath=music/x\nDeletionDate=D\n");
  EXPECT_EQ(trash::InfoText(stick, "/media/sx/y", "D"), "[Trash Info]\nPath=/media/sx/y\nDeletionDate=D\n");
  for (const std::string path : {"/a b/ä%.txt", "/x\n[Trash Info]\nPath=/etc", "/media/s/music/x"}) {
    const std::optional<trash::TrashInfo> info = trash::ParseTrashInfo(trash::InfoText(stick, path, "D"), "/media/s");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->original_path, path);
  }
}

}  // namespace
}  // namespace win
