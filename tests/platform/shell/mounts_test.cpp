// Removals never reach into what is mounted inside a folder (trash delete, moves to another file
// system, trees deeper than a path can name), the Trash lists what is trashed on any mounted file
// system, and a folder pasted into itself or holding itself through a bind mount is refused
// before copying. The tests that mount run in a private mount namespace.
#include "platform/com/com_init.h"
#include "platform/core/errors.h"
#include "platform/shell/context_menu.h"
#include "platform/shell/file_operations.h"
#include "platform/shell/namespace_model.h"
#include "platform/shell/places.h"
#include "platform/shell/removal.h"
#include "platform/shell/shell.h"

#include "mount_namespace.h"
#include "shell_verbs_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace win {
namespace {

namespace fs = std::filesystem;
using file_operations::Transfer;

using shell_tests::OwnedList;
using shell_tests::Read;

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// Every entry below `root` (through mounts): "folder", or the bytes of a file.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
    tree[fs::relative(entry.path(), root).string()] = entry.is_directory() ? "folder" : "file:" + Read(entry.path());
  return tree;
}

class MountsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    root_ = fs::path(getenv("HOME")) / ("mounts" + std::to_string(++counter));
    fs::create_directories(root_);
    ASSERT_EQ(SHGetDesktopFolder(desktop_.ReleaseAndGetAddressOf()), S_OK);
  }
  void TearDown() override {
    for (auto mount = mounted_.rbegin(); mount != mounted_.rend(); ++mount) umount2(mount->c_str(), MNT_DETACH);
    for (const fs::path& folder : outside_root_) fs::remove_all(folder);
    fs::remove_all(root_);
  }

  void Tmpfs(const fs::path& folder) {
    fs::create_directories(folder);
    ASSERT_EQ(dashtune::testing::Mount("tmpfs", folder, "tmpfs", 0, "size=16m"), "");
    mounted_.push_back(folder);
  }
  void Bind(const fs::path& source, const fs::path& folder) {
    fs::create_directories(folder);
    ASSERT_EQ(dashtune::testing::Mount(source, folder, nullptr, MS_BIND), "");
    mounted_.push_back(folder);
  }
  // A tmpfs at a new folder of /tmp: no mount the desktop shows, and on no file system of home.
  fs::path TmpfsUnderTmp() {
    std::string pattern = "/tmp/dashtune-mount-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return {};
    outside_root_.push_back(pattern);
    Tmpfs(pattern);
    return pattern;
  }

  // "elsewhere" with e.txt and sub/f.txt, and a/G holding files and the mount point at
  // `mount_below` (relative to G) where "elsewhere" is bound.
  void MakeFolderHoldingAMount(const std::string& mount_below) {
    Write(root_ / "elsewhere/e.txt", "bytes of e");
    Write(root_ / "elsewhere/sub/f.txt", "bytes of f");
    Write(root_ / "a/G/g.txt", "bytes of g");
    Write(root_ / "a/G/inner/i.txt", "bytes of i");
    Bind(root_ / "elsewhere", root_ / "a/G" / mount_below);
  }

  ComPtr<IShellFolder> FolderAt(const fs::path& path) {
    const OwnedList list(shell_model::PathToList(path.string()));
    ComPtr<IShellFolder> folder;
    desktop_->BindToObject(list.list, nullptr, IShellFolder::iid, reinterpret_cast<void**>(folder.GetAddressOf()));
    return folder;
  }

  HRESULT RunVerbOn(const fs::path& item, const char* verb) {
    const OwnedList child(item_ids::MakeList({*shell_model::FileIdAt(item.string())}));
    return shell_tests::RunItemsVerb(FolderAt(item.parent_path()).Get(), {child.list}, verb);
  }

  HRESULT PasteInto(const fs::path& folder) {
    ComPtr<IContextMenu> menu;
    FolderAt(folder)->CreateViewObject(nullptr, IContextMenu::iid, reinterpret_cast<void**>(menu.GetAddressOf()));
    CMINVOKECOMMANDINFO info;
    info.lpVerb = "paste";
    return menu->InvokeCommand(&info);
  }

  std::map<std::u16string, std::vector<BYTE>> TrashChildren() { return shell_tests::TrashChildren(desktop_.Get(), trash_); }

  HRESULT DeleteTrashChild(const std::vector<BYTE>& child) {
    return shell_tests::RunItemsVerb(trash_.Get(), {reinterpret_cast<LPCITEMIDLIST>(child.data())}, "delete");
  }

  static std::u16string TrashName(const fs::path& files_path) { return u"trash://" + files_path.u16string(); }

  fs::path root_;
  std::vector<fs::path> mounted_;
  std::vector<fs::path> outside_root_;
  ComPtr<IShellFolder> desktop_;
  ComPtr<IShellFolder> trash_;
};

const char* const kMountPlaces[] = {"m", "x/y/m"};

TEST_F(MountsTest, DeletingATrashedFolderForGoodLeavesWhatIsMountedInsideWhole) {
  DASHTUNE_RUN_IN_PRIVATE_MOUNT_NAMESPACE();
  const fs::path home_trash = fs::path(getenv("XDG_DATA_HOME")) / "Trash";
  for (const std::string mount_below : kMountPlaces) {
    SCOPED_TRACE(mount_below);
    MakeFolderHoldingAMount(mount_below);
    const auto elsewhere_before = Snapshot(root_ / "elsewhere");
    ASSERT_EQ(RunVerbOn(root_ / "a/G", "delete"), S_OK);
    ASSERT_FALSE(fs::exists(root_ / "a/G"));
    const fs::path entry = home_trash / "files/G";
    ASSERT_EQ(Read(entry / mount_below / "e.txt"), "bytes of e");

    const auto children = TrashChildren();
    ASSERT_EQ(children.count(TrashName(entry)), 1u);
    EXPECT_EQ(DeleteTrashChild(children.at(TrashName(entry))), HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY));
    EXPECT_EQ(Snapshot(root_ / "elsewhere"), elsewhere_before);
    EXPECT_EQ(Snapshot(entry / mount_below), elsewhere_before);
    // Everything else went; the entry stays listed with what could not go.
    EXPECT_FALSE(fs::exists(entry / "g.txt"));
    EXPECT_FALSE(fs::exists(entry / "inner"));
    EXPECT_EQ(TrashChildren().count(TrashName(entry)), 1u);

    ASSERT_EQ(umount2((entry / mount_below).c_str(), 0), 0);
    mounted_.pop_back();
    EXPECT_EQ(DeleteTrashChild(TrashChildren().at(TrashName(entry))), S_OK);
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_FALSE(fs::exists(home_trash / "info/G.trashinfo"));
    EXPECT_EQ(Snapshot(root_ / "elsewhere"), elsewhere_before);
    fs::remove_all(root_ / "elsewhere");
  }
}

TEST_F(MountsTest, AFolderHoldingAMountIsNotMovedToAnotherFileSystem) {
  DASHTUNE_RUN_IN_PRIVATE_MOUNT_NAMESPACE();
  const fs::path other = TmpfsUnderTmp();
  for (const std::string mount_below : kMountPlaces) {
    SCOPED_TRACE(mount_below);
    MakeFolderHoldingAMount(mount_below);
    const auto before = Snapshot(root_);
    ASSERT_EQ(RunVerbOn(root_ / "a/G", "cut"), S_OK);
    EXPECT_EQ(PasteInto(other), HRESULT_FROM_WIN32(ERROR_NOT_SAME_DEVICE));
    EXPECT_EQ(Snapshot(root_), before);
    EXPECT_TRUE(fs::is_empty(other));

    // Without the mount the same move goes through, every byte with it.
    ASSERT_EQ(umount2((root_ / "a/G" / mount_below).c_str(), 0), 0);
    mounted_.pop_back();
    const auto moved = Snapshot(root_ / "a/G");
    DWORD error = ERROR_SUCCESS;
    ASSERT_TRUE(file_operations::TransferInto((root_ / "a/G").string(), other.string(), Transfer::Move, error));
    EXPECT_FALSE(fs::exists(root_ / "a/G"));
    EXPECT_EQ(Snapshot(other / "G"), moved);
    fs::remove_all(other / "G");
    fs::remove_all(root_);
  }
}

TEST_F(MountsTest, TheRemovalWalkLeavesAMountTwoLevelsDownWithTheFoldersAboveIt) {
  DASHTUNE_RUN_IN_PRIVATE_MOUNT_NAMESPACE();
  // The walk every removal goes through, as a move's source side meets a mount made after its check.
  MakeFolderHoldingAMount("x/y/m");
  const auto elsewhere_before = Snapshot(root_ / "elsewhere");
  const removal::Outcome outcome = removal::RemoveTree((root_ / "a/G").string());
  EXPECT_EQ(outcome.error, ERROR_DIR_NOT_EMPTY);
  EXPECT_EQ(outcome.left, std::vector<std::string>{(root_ / "a/G/x/y/m").string()});
  EXPECT_EQ(Snapshot(root_ / "elsewhere"), elsewhere_before);
  EXPECT_EQ(Snapshot(root_ / "a/G/x/y/m"), elsewhere_before);
  EXPECT_FALSE(fs::exists(root_ / "a/G/g.txt"));
  EXPECT_FALSE(fs::exists(root_ / "a/G/inner"));
  // A mount point asked for itself is left whole.
  const removal::Outcome itself = removal::RemoveTree((root_ / "a/G/x/y/m").string());
  EXPECT_EQ(itself.error, ERROR_DIR_NOT_EMPTY);
  EXPECT_EQ(Snapshot(root_ / "elsewhere"), elsewhere_before);
}

TEST_F(MountsTest, TrashOnAMountTheDesktopDoesNotShowIsListedRestoredAndDeleted) {
  DASHTUNE_RUN_IN_PRIVATE_MOUNT_NAMESPACE();
  const fs::path stick = TmpfsUnderTmp();
  const fs::path song = stick / "music/song.txt";
  const fs::path trash = stick / (".Trash-" + std::to_string(getuid()));
  Write(song, "la la");
  for (const bool restore : {true, false}) {
    SCOPED_TRACE(restore ? "restored" : "deleted");
    ASSERT_EQ(RunVerbOn(song, "delete"), S_OK);
    ASSERT_FALSE(fs::exists(song));
    EXPECT_EQ(Read(trash / "files/song.txt"), "la la");
    const std::map<std::u16string, std::vector<BYTE>> children = TrashChildren();
    ASSERT_EQ(children.count(TrashName(trash / "files/song.txt")), 1u);
    const std::vector<BYTE>& child = children.at(TrashName(trash / "files/song.txt"));
    const OwnedList absolute(shell_model::ParseName(TrashName(trash / "files/song.txt")));
    const std::optional<shell_model::Item> entry = shell_model::Resolve(absolute.list);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->original_path, song.string());
    EXPECT_EQ(shell_model::DisplayName(*entry), u"song.txt");
    if (restore) {
      // Put back where the Trash says it came from: the entry leaves the Trash.
      ASSERT_EQ(rename(entry->path.c_str(), entry->original_path.c_str()), 0);
      ASSERT_TRUE(fs::remove(trash / "info/song.txt.trashinfo"));
      EXPECT_EQ(Read(song), "la la");
      EXPECT_EQ(TrashChildren().count(TrashName(trash / "files/song.txt")), 0u);
    } else {
      EXPECT_EQ(DeleteTrashChild(child), S_OK);
      EXPECT_TRUE(fs::is_empty(trash / "files"));
      EXPECT_TRUE(fs::is_empty(trash / "info"));
      EXPECT_EQ(TrashChildren().count(TrashName(trash / "files/song.txt")), 0u);
    }
  }
}

TEST_F(MountsTest, AFolderPastedIntoItselfThroughABindMountIsRefusedBeforeCopying) {
  DASHTUNE_RUN_IN_PRIVATE_MOUNT_NAMESPACE();
  Write(root_ / "a/file.txt", "bytes");
  Write(root_ / "a/inner/deep.txt", "deep bytes");
  Bind(root_ / "a", root_ / "view");
  const auto before = Snapshot(root_ / "a");
  for (const Transfer how : {Transfer::Copy, Transfer::Move}) {
    for (const char* into : {"view", "view/inner"}) {
      SCOPED_TRACE(into);
      DWORD error = ERROR_SUCCESS;
      EXPECT_FALSE(file_operations::TransferInto((root_ / "a").string(), (root_ / into).string(), how, error));
      EXPECT_EQ(error, ERROR_INVALID_PARAMETER);
      EXPECT_EQ(Snapshot(root_ / "a"), before);
    }
  }
  ASSERT_EQ(RunVerbOn(root_ / "a", "copy"), S_OK);
  EXPECT_EQ(PasteInto(root_ / "view/inner"), HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Snapshot(root_ / "a"), before);
}

TEST_F(MountsTest, AFolderHoldingABindMountOfItselfIsNotCopiedRoundAndRound) {
  DASHTUNE_RUN_IN_PRIVATE_MOUNT_NAMESPACE();
  Write(root_ / "a/file.txt", "bytes");
  Write(root_ / "a/inner/deep.txt", "deep bytes");
  fs::create_directories(root_ / "dst");
  for (const char* loop : {"loop", "inner/loop"}) {
    SCOPED_TRACE(loop);
    Bind(root_ / "a", root_ / "a" / loop);
    DWORD error = ERROR_SUCCESS;
    EXPECT_FALSE(file_operations::TransferInto((root_ / "a").string(), (root_ / "dst").string(), Transfer::Copy, error));
    EXPECT_EQ(error, ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(fs::is_empty(root_ / "dst"));
    ASSERT_EQ(umount2((root_ / "a" / loop).c_str(), 0), 0);
    mounted_.pop_back();
    EXPECT_EQ(Read(root_ / "a/file.txt"), "bytes");
    EXPECT_EQ(Read(root_ / "a/inner/deep.txt"), "deep bytes");
    fs::remove(root_ / "a" / loop);
  }
}

TEST(RemovalTest, TreesDeeperThanAPathCanNameAreRemovedWhole) {
  const fs::path root = fs::path(getenv("HOME")) / "deep-removal";
  fs::create_directories(root);
  // 2,000 levels of 8-byte names: a path to the bottom is four times as long as a path may be.
  int folder = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int level = 0; level < 2000 && folder >= 0; ++level) {
    ASSERT_EQ(mkdirat(folder, "level-07", 0700), 0);
    const int below = openat(folder, "level-07", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(folder);
    folder = below;
  }
  ASSERT_GE(folder, 0);
  const int file = openat(folder, "bottom.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(file, 0);
  close(file);
  close(folder);
  const removal::Outcome outcome = removal::RemoveTree((root / "level-07").string());
  EXPECT_TRUE(outcome.Complete()) << outcome.error;
  EXPECT_TRUE(outcome.left.empty());
  EXPECT_TRUE(fs::is_empty(root));
  fs::remove_all(root);
}

TEST(RemovalTest, LinksGoAndTheirTargetsStay) {
  const fs::path root = fs::path(getenv("HOME")) / "link-removal";
  Write(root / "target/kept.txt", "kept");
  Write(root / "tree/file.txt", "goes");
  fs::create_directory_symlink(root / "target", root / "tree/to-folder");
  fs::create_symlink(root / "target/kept.txt", root / "tree/to-file");
  EXPECT_TRUE(removal::RemoveTree((root / "tree").string()).Complete());
  EXPECT_FALSE(fs::exists(root / "tree"));
  EXPECT_EQ(Read(root / "target/kept.txt"), "kept");
  // A link asked for itself goes as a link.
  fs::create_directory_symlink(root / "target", root / "link");
  EXPECT_TRUE(removal::RemoveTree((root / "link").string()).Complete());
  EXPECT_EQ(Read(root / "target/kept.txt"), "kept");
  // What is not there is not removed, and says so.
  const removal::Outcome missing = removal::RemoveTree((root / "missing").string());
  EXPECT_EQ(missing.error, ERROR_FILE_NOT_FOUND);
  fs::remove_all(root);
}


// The Trash looks for trash folders on the mounts that hold files: never into the kernel's own
// file systems, which hold none, nor into an automount trigger, which a look would set off.
TEST(TrashMounts, TheKernelsOwnFileSystemsAreNotLookedInto) {
  const std::set<std::string> kernel_types{"proc", "sysfs", "cgroup", "cgroup2", "devpts", "autofs", "mqueue"};
  std::set<std::string> kernel_paths, file_paths;
  std::ifstream table("/proc/self/mounts");
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string device, path, type;
    fields >> device >> path >> type;
    (kernel_types.count(type) != 0 ? kernel_paths : file_paths).insert(path);
  }
  ASSERT_EQ(kernel_paths.count("/proc"), 1u) << "no proc mounted here";
  for (const std::string& path : places::AllMountPaths()) {
    // A path mounted over by another file system is listed for that one.
    if (file_paths.count(path) == 0) EXPECT_EQ(kernel_paths.count(path), 0u) << path;
  }
  const std::vector<std::string> listed = places::AllMountPaths();
  EXPECT_NE(std::find(listed.begin(), listed.end(), "/"), listed.end());
}

}  // namespace
}  // namespace win
