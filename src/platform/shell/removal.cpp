#include "platform/shell/removal.h"

#include "platform/core/errors.h"
#include "platform/shell/file_info.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <utility>

namespace win::removal {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Reset(); }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// Which file an entry is and which mount it lies on. Kernels older than mount IDs in statx
// tell mounts apart by device only (a bind mount of the same file system then looks alike).
struct Identity {
  bool knows_mount = false;
  std::uint64_t mount_id = 0;
  dev_t device = 0;
  ino_t inode = 0;
  mode_t mode = 0;

  bool IsFolder() const { return S_ISDIR(mode); }
};

std::optional<Identity> IdentityAt(int folder_fd, const char* name, int flags) {
  struct statx info {};
  if (statx(folder_fd, name, flags | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MODE | STATX_INO | STATX_MNT_ID,
            &info) != 0)
    return std::nullopt;
  Identity id;
  id.knows_mount = (info.stx_mask & STATX_MNT_ID) != 0;
  id.mount_id = info.stx_mnt_id;
  id.device = makedev(info.stx_dev_major, info.stx_dev_minor);
  id.inode = info.stx_ino;
  id.mode = info.stx_mode;
  return id;
}

std::optional<Identity> IdentityOf(int fd) { return IdentityAt(fd, "", AT_EMPTY_PATH); }

bool SameFile(const Identity& a, const Identity& b) { return a.device == b.device && a.inode == b.inode; }

bool SameMount(const Identity& a, const Identity& b) {
  if (a.device != b.device) return false;
  return !(a.knows_mount && b.knows_mount) || a.mount_id == b.mount_id;
}

// The names in an open folder, read whole before anything in it changes.
std::optional<std::vector<std::string>> NamesIn(int folder_fd) {
  const int copy = dup(folder_fd);
  if (copy < 0) return std::nullopt;
  DIR* dir = fdopendir(copy);
  if (dir == nullptr) {
    close(copy);
    return std::nullopt;
  }
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
    errno = 0;
  }
  const int failure = errno;
  closedir(dir);
  if (failure != 0) return errno = failure, std::nullopt;
  return names;
}

enum class Mode { Remove, Look };

// Depth first through one mount, holding only the current folder open, so trees of any depth
// need two descriptors. Each folder's names are read whole on entering it; leaving it climbs
// through "..", checked to be the folder that was entered from.
class Walk {
 public:
  Walk(Mode mode, bool open_up) : mode_(mode), open_up_(open_up) {}

  Outcome Run(const std::string& path) {
    const std::string name = file_info::BaseName(path);
    if (name.empty() || name == "." || name == "..") return Fail(ERROR_INVALID_PARAMETER);
    start_ = file_info::FolderOf(path);
    current_.Reset(open(start_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::optional<Identity> folder;
    if (!current_.Valid() || !(folder = IdentityOf(current_.Get()))) return Fail(file_info::Win32ErrorOfErrno(errno));
    frames_.push_back({std::string(), *folder, {name}, false});
    while (!aborted_) {
      Frame& frame = frames_.back();
      if (frame.pending.empty()) {
        if (frames_.size() == 1) break;
        Leave();
        continue;
      }
      const std::string entry = std::move(frame.pending.back());
      frame.pending.pop_back();
      Handle(entry);
    }
    return std::move(outcome_);
  }

 private:
  struct Frame {
    std::string name;                  // in the folder above; empty for the starting folder
    Identity id;
    std::vector<std::string> pending;  // entries not handled yet
    bool keeps = false;                // something below stays, so this folder does too
  };

  Outcome Fail(DWORD error) {
    outcome_.error = error;
    return std::move(outcome_);
  }

  // The first mount is the starting folder's: the item removed must lie on it too.
  const Identity& Home() const { return frames_.front().id; }

  std::string PathOf(const std::string& name) const {
    std::string path = start_;
    for (std::size_t i = 1; i < frames_.size(); ++i) path = file_info::JoinPath(path, frames_[i].name);
    return file_info::JoinPath(path, name);
  }

  void Keep(const std::string& name, DWORD error) {
    frames_.back().keeps = true;
    outcome_.left.push_back(PathOf(name));
    if (outcome_.error == ERROR_SUCCESS) outcome_.error = error;
  }

  void KeepForErrno(const std::string& name) { Keep(name, file_info::Win32ErrorOfErrno(errno)); }

  void Handle(const std::string& name) {
    const std::optional<Identity> id = IdentityAt(current_.Get(), name.c_str(), 0);
    if (!id) {
      // What went meanwhile needs no removing; only the item asked for must be there.
      if (errno != ENOENT || frames_.size() == 1) KeepForErrno(name);
      return;
    }
    if (!id->IsFolder()) {
      if (mode_ == Mode::Remove && unlinkat(current_.Get(), name.c_str(), 0) != 0 && errno != ENOENT) KeepForErrno(name);
      return;
    }
    if (!SameMount(*id, Home())) return Keep(name, ERROR_DIR_NOT_EMPTY);
    Enter(name, *id);
  }

  Descriptor OpenFolder(const std::string& name) {
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    Descriptor folder(openat(current_.Get(), name.c_str(), kFlags));
    if (!folder.Valid() && errno == EACCES && open_up_ &&
        fchmodat(current_.Get(), name.c_str(), S_IRWXU, AT_SYMLINK_NOFOLLOW) == 0)
      folder.Reset(openat(current_.Get(), name.c_str(), kFlags));
    return folder;
  }

  void Enter(const std::string& name, const Identity& seen) {
    Descriptor folder = OpenFolder(name);
    if (!folder.Valid()) return KeepForErrno(name);
    // What was opened must be what was looked at: a folder swapped for another (or mounted on)
    // in between is left alone.
    const std::optional<Identity> opened = IdentityOf(folder.Get());
    if (!opened || !SameFile(*opened, seen) || !SameMount(*opened, Home())) return Keep(name, ERROR_DIR_NOT_EMPTY);
    if (open_up_ && (opened->mode & S_IRWXU) != S_IRWXU) fchmod(folder.Get(), S_IRWXU);
    std::optional<std::vector<std::string>> names = NamesIn(folder.Get());
    if (!names) return KeepForErrno(name);
    frames_.push_back({name, *opened, std::move(*names), false});
    current_ = std::move(folder);
  }

  void Leave() {
    Frame done = std::move(frames_.back());
    frames_.pop_back();
    Descriptor above(openat(current_.Get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const std::optional<Identity> id = above.Valid() ? IdentityOf(above.Get()) : std::nullopt;
    if (!id || !SameFile(*id, frames_.back().id)) {
      // The folder was moved away while being walked: stop rather than go on somewhere else.
      Keep(done.name, ERROR_PATH_NOT_FOUND);
      aborted_ = true;
      return;
    }
    current_ = std::move(above);
    if (done.keeps) {
      frames_.back().keeps = true;
      return;
    }
    if (mode_ == Mode::Remove && unlinkat(current_.Get(), done.name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT)
      KeepForErrno(done.name);
  }

  const Mode mode_;
  const bool open_up_;
  std::string start_;
  Descriptor current_;  // the folder of frames_.back()
  std::vector<Frame> frames_;
  bool aborted_ = false;
  Outcome outcome_;
};

}  // namespace

Outcome RemoveTree(const std::string& path, bool open_up) { return Walk(Mode::Remove, open_up).Run(path); }

Outcome FindMountsInside(const std::string& path) { return Walk(Mode::Look, false).Run(path); }

}  // namespace win::removal
