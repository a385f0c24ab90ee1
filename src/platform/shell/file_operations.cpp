// GLib is included only here: its TRUE and FALSE would clash with the platform's.
#include "platform/shell/file_operations.h"

#include "platform/core/errors.h"
#include "platform/shell/file_info.h"
#include "platform/shell/places.h"
#include "platform/shell/removal.h"
#include "platform/shell/trash.h"

#include <dirent.h>
#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

namespace win::file_operations {
namespace {

// Enough for any folder a person fills; stops a loop over a folder that answers "exists" always.
constexpr int kMaxNumber = 10000;

struct ObjectDeleter {
  void operator()(void* object) const { g_object_unref(object); }
};
using File = std::unique_ptr<GFile, ObjectDeleter>;
struct ErrorDeleter {
  void operator()(GError* error) const { g_error_free(error); }
};
using Error = std::unique_ptr<GError, ErrorDeleter>;

enum class Outcome { Done, Exists, Failed };

DWORD ErrorOfGio(const GError* error) {
  if (error == nullptr || error->domain != G_IO_ERROR) return ERROR_GEN_FAILURE;
  switch (error->code) {
    case G_IO_ERROR_NOT_FOUND: return ERROR_FILE_NOT_FOUND;
    case G_IO_ERROR_EXISTS: return ERROR_ALREADY_EXISTS;
    case G_IO_ERROR_PERMISSION_DENIED:
    case G_IO_ERROR_READ_ONLY: return ERROR_ACCESS_DENIED;
    case G_IO_ERROR_NO_SPACE: return ERROR_DISK_FULL;
    case G_IO_ERROR_NOT_SUPPORTED: return ERROR_NOT_SUPPORTED;
    case G_IO_ERROR_INVALID_FILENAME: return ERROR_INVALID_NAME;
    case G_IO_ERROR_FILENAME_TOO_LONG: return ERROR_FILENAME_EXCED_RANGE;
    default: return ERROR_GEN_FAILURE;
  }
}

Outcome FailWithErrno(DWORD& error) {
  error = file_info::Win32ErrorOfErrno(errno);
  return errno == EEXIST ? Outcome::Exists : Outcome::Failed;
}

std::optional<std::string> RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
  if (resolved == nullptr) return std::nullopt;
  return std::string(resolved.get());
}

// Whether the folder at `path` is the folder `folder` or lies inside it, told by device and inode
// of each folder above `path` up to the root: a bind mount of `folder` further down shows the
// same folder under another path.
bool LiesInside(const std::string& path, const struct stat& folder) {
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat info {};
  bool inside = false;
  while (fd >= 0 && fstat(fd, &info) == 0) {
    if (info.st_dev == folder.st_dev && info.st_ino == folder.st_ino) {
      inside = true;
      break;
    }
    const int above = openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat above_info {};
    // The root is its own "..".
    const bool at_root = above >= 0 && fstat(above, &above_info) == 0 && above_info.st_dev == info.st_dev &&
                         above_info.st_ino == info.st_ino;
    close(fd);
    fd = at_root ? (close(above), -1) : above;
  }
  if (fd >= 0) close(fd);
  return inside;
}

// Files other than regular files, folders and symbolic links: fifos, sockets and devices. Reading
// one blocks or never ends, so none is ever copied or moved.
bool IsSpecialFile(mode_t mode) { return !S_ISREG(mode) && !S_ISDIR(mode) && !S_ISLNK(mode); }

Outcome RefuseSpecialFile(DWORD& error) {
  error = ERROR_NOT_SUPPORTED;
  return Outcome::Failed;
}

Outcome CopyFile(const std::string& source, const std::string& target, DWORD& error) {
  File from(g_file_new_for_path(source.c_str()));
  File to(g_file_new_for_path(target.c_str()));
  GError* raw = nullptr;
  if (g_file_copy(from.get(), to.get(), static_cast<GFileCopyFlags>(G_FILE_COPY_NOFOLLOW_SYMLINKS | G_FILE_COPY_ALL_METADATA),
                  nullptr, nullptr, nullptr, &raw))
    return Outcome::Done;
  const Error failure(raw);
  error = ErrorOfGio(failure.get());
  return g_error_matches(failure.get(), G_IO_ERROR, G_IO_ERROR_EXISTS) ? Outcome::Exists : Outcome::Failed;
}

// The folders a copy is inside of, by device and inode: a bind mount of one of them below
// would have the copy go round until its paths grew too long, filling the destination.
using FolderChain = std::vector<std::pair<dev_t, ino_t>>;

bool IsOnChain(const FolderChain& chain, const struct stat& info) {
  return std::find(chain.begin(), chain.end(), std::pair(info.st_dev, info.st_ino)) != chain.end();
}

// Copies `source` to `target`, which must not exist yet; folders entry by entry. A folder takes
// its source's mode only when `set_folder_mode`: a folder that may not be written cannot be
// renamed into place, so the top one gets its mode after that. A folder inside itself is
// refused (ERROR_INVALID_PARAMETER).
Outcome CopyTree(const std::string& source, const std::string& target, bool set_folder_mode, FolderChain& chain,
                 DWORD& error) {
  struct stat info {};
  if (lstat(source.c_str(), &info) != 0) return FailWithErrno(error);
  if (IsSpecialFile(info.st_mode)) return RefuseSpecialFile(error);
  if (!S_ISDIR(info.st_mode)) return CopyFile(source, target, error);
  if (IsOnChain(chain, info)) {
    error = ERROR_INVALID_PARAMETER;
    return Outcome::Failed;
  }
  if (mkdir(target.c_str(), S_IRWXU) != 0) return FailWithErrno(error);
  chain.emplace_back(info.st_dev, info.st_ino);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(source.c_str()), closedir);
  if (dir == nullptr) return FailWithErrno(error), Outcome::Failed;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    // Inside a folder made just now nothing is in the way: any failure is a failure.
    if (CopyTree(file_info::JoinPath(source, name), file_info::JoinPath(target, name), true, chain, error) != Outcome::Done)
      return Outcome::Failed;
  }
  chain.pop_back();
  if (set_folder_mode) chmod(target.c_str(), info.st_mode & 07777);
  return Outcome::Done;
}

// Removes through the one walk that never leaves the item's mount.
bool RemoveTree(const std::string& path, DWORD& error, bool open_up = false) {
  const removal::Outcome outcome = removal::RemoveTree(path, open_up);
  if (!outcome.Complete()) error = outcome.error;
  return outcome.Complete();
}

// Renames without ever replacing what is at `target`: EEXIST when something is there.
int RenameNoReplace(const std::string& source, const std::string& target) {
  if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL) return errno;
  // A file system without the flag: the check and the rename are two steps there.
  struct stat info {};
  if (lstat(target.c_str(), &info) == 0) return EEXIST;
  return rename(source.c_str(), target.c_str()) == 0 ? 0 : errno;
}

// A folder of this operation's own, made beside the copy's destination: the copy is made in it
// and renamed into place only when whole, so a failed copy leaves nothing behind and never
// touches a file that was there before. Removed with what is left in it.
class Staging {
 public:
  explicit Staging(const std::string& folder) : path_(file_info::JoinPath(folder, ".partial-copy-XXXXXX")) {
    if (mkdtemp(path_.data()) == nullptr) path_.clear();
  }
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;
  ~Staging() {
    if (path_.empty()) return;
    // Copied folders may have taken modes that forbid removing what they hold.
    DWORD ignored = 0;
    RemoveTree(path_, ignored, true);
  }

  bool Made() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The names a new item of `folder` tries in turn: its own, then the numbered ones.
std::string CandidateName(const std::string& folder, const std::string& name, bool is_folder, int number) {
  return file_info::JoinPath(folder, number == 1 ? name : NumberedName(name, is_folder, number));
}

// Copies `source` into `folder` under its own or the first free numbered name.
std::optional<std::string> StagedCopy(const std::string& source, const std::string& folder, const std::string& name,
                                      DWORD& error) {
  struct stat info {};
  if (lstat(source.c_str(), &info) != 0) return FailWithErrno(error), std::nullopt;
  const Staging staging(folder);
  if (!staging.Made()) return FailWithErrno(error), std::nullopt;
  const std::string staged = file_info::JoinPath(staging.Path(), name);
  FolderChain chain;
  if (CopyTree(source, staged, false, chain, error) != Outcome::Done) return std::nullopt;
  for (int number = 1; number <= kMaxNumber; ++number) {
    const std::string target = CandidateName(folder, name, S_ISDIR(info.st_mode), number);
    const int failure = RenameNoReplace(staged, target);
    if (failure == EEXIST || failure == ENOTEMPTY) continue;
    if (failure != 0) {
      error = file_info::Win32ErrorOfErrno(failure);
      return std::nullopt;
    }
    if (S_ISDIR(info.st_mode)) chmod(target.c_str(), info.st_mode & 07777);
    return target;
  }
  error = ERROR_ALREADY_EXISTS;
  return std::nullopt;
}

// Writes `text` whole into a file made new at `path`: 0, or the errno; a file that could not be
// written whole is removed again. EEXIST when something is at `path`.
int WriteNewFile(const std::string& path, std::string_view text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd < 0) return errno;
  int failure = 0;
  while (!text.empty() && failure == 0) {
    const ssize_t written = write(fd, text.data(), text.size());
    if (written > 0) text.remove_prefix(static_cast<std::size_t>(written));
    else if (written < 0 && errno != EINTR) failure = errno;
    else if (written == 0) failure = EIO;
  }
  if (close(fd) != 0 && failure == 0) failure = errno;
  if (failure != 0) unlink(path.c_str());
  return failure;
}

// A move to another file system: a whole copy first, then the source goes. A folder that holds a
// mount point is refused before anything is copied: its removal would have to leave the mount
// point behind, and a copy holding the mounted files beside it is a duplicate, not a move.
std::optional<std::string> MoveAcross(const std::string& source, const std::string& folder, const std::string& name,
                                      DWORD& error) {
  if (const removal::Outcome mounts = removal::FindMountsInside(source); !mounts.Complete()) {
    error = mounts.error == ERROR_DIR_NOT_EMPTY ? ERROR_NOT_SAME_DEVICE : mounts.error;
    return std::nullopt;
  }
  std::optional<std::string> target = StagedCopy(source, folder, name, error);
  if (!target || !RemoveTree(source, error)) return std::nullopt;
  return target;
}

}  // namespace

std::string NumberedName(const std::string& name, bool is_folder, int number) {
  const std::string suffix = " (" + std::to_string(number) + ")";
  const std::size_t dot = is_folder ? std::string::npos : name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name + suffix;
  return name.substr(0, dot) + suffix + name.substr(dot);
}

std::optional<std::string> TransferInto(const std::string& source, const std::string& folder, Transfer how,
                                        DWORD& error) {
  struct stat info {};
  if (lstat(source.c_str(), &info) != 0) return FailWithErrno(error), std::nullopt;
  if (how != Transfer::Link && IsSpecialFile(info.st_mode)) return RefuseSpecialFile(error), std::nullopt;
  const bool is_folder = S_ISDIR(info.st_mode);
  const std::optional<std::string> real_folder = RealPath(folder);
  const std::optional<std::string> real_source_folder = RealPath(file_info::FolderOf(source));
  if (!real_folder || !real_source_folder) return FailWithErrno(error), std::nullopt;
  const std::string name = file_info::BaseName(source);
  const std::string real_source = file_info::JoinPath(*real_source_folder, name);
  if (how != Transfer::Link && is_folder && LiesInside(*real_folder, info)) {
    error = ERROR_INVALID_PARAMETER;
    return std::nullopt;
  }
  if (how == Transfer::Move && *real_folder == *real_source_folder) return source;
  if (how == Transfer::Copy) return StagedCopy(real_source, folder, name, error);
  for (int number = 1; number <= kMaxNumber; ++number) {
    const std::string target = CandidateName(folder, name, is_folder, number);
    const int failure = how == Transfer::Link ? (symlink(real_source.c_str(), target.c_str()) == 0 ? 0 : errno)
                                              : RenameNoReplace(real_source, target);
    if (failure == 0) return target;
    if (failure == EEXIST || failure == ENOTEMPTY) continue;
    if (how == Transfer::Move && failure == EXDEV) return MoveAcross(real_source, folder, name, error);
    error = file_info::Win32ErrorOfErrno(failure);
    return std::nullopt;
  }
  error = ERROR_ALREADY_EXISTS;
  return std::nullopt;
}

bool MoveToTrash(const std::string& path, DWORD& error) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return FailWithErrno(error), false;
  const std::optional<trash::TrashFolder> folder = trash::TrashFolderFor(path, places::UserDataDirectory());
  // A file the Trash would not list could be neither seen, restored nor deleted there.
  if (!folder || !trash::IsAmong(*folder, trash::ListedTrashFolders())) {
    error = ERROR_NOT_SUPPORTED;
    return false;
  }
  const std::string text = trash::InfoText(*folder, path, trash::DeletionDateNow());
  const std::string name = file_info::BaseName(path);
  for (int number = 1; number <= kMaxNumber; ++number) {
    const std::string entry = number == 1 ? name : NumberedName(name, S_ISDIR(info.st_mode), number);
    // Only an entry whose info file is whole can be listed and restored: a name with no room
    // for the info file's suffix is refused before anything moves.
    if (entry.size() + trash::kInfoSuffix.size() > NAME_MAX) {
      error = ERROR_FILENAME_EXCED_RANGE;
      return false;
    }
    const std::string info_path = file_info::JoinPath(folder->path + "/info", entry + std::string(trash::kInfoSuffix));
    const int failure = WriteNewFile(info_path, text);
    if (failure == EEXIST) continue;
    if (failure != 0) {
      error = file_info::Win32ErrorOfErrno(failure);
      return false;
    }
    const int moved = RenameNoReplace(path, file_info::JoinPath(folder->path + "/files", entry));
    if (moved == 0) return true;
    unlink(info_path.c_str());
    if (moved == EEXIST || moved == ENOTEMPTY) continue;
    error = file_info::Win32ErrorOfErrno(moved);
    return false;
  }
  error = ERROR_ALREADY_EXISTS;
  return false;
}

bool RemoveTrashEntry(const std::string& files_path, DWORD& error) {
  const std::string files_folder = file_info::FolderOf(files_path);
  const std::string entry = file_info::BaseName(files_path);
  if (file_info::BaseName(files_folder) != "files" || entry.empty() || entry == "." || entry == "..") {
    error = ERROR_INVALID_PARAMETER;
    return false;
  }
  const std::string info_path =
      file_info::JoinPath(file_info::JoinPath(file_info::FolderOf(files_folder), "info"), entry + std::string(trash::kInfoSuffix));
  if (!RemoveTree(files_path, error)) return false;
  if (unlink(info_path.c_str()) != 0 && errno != ENOENT) {
    error = file_info::Win32ErrorOfErrno(errno);
    return false;
  }
  return true;
}

}  // namespace win::file_operations
