#include "platform/shell/file_info.h"

#include "platform/core/errors.h"
#include "platform/shell/shell_types.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace win::file_info {
namespace {

constexpr ULONGLONG kTicksPerSecond = 10'000'000;

FILETIME StatxTime(const struct statx_timestamp& time) { return UnixTimeToFileTime(time.tv_sec, time.tv_nsec); }

// What an item's kind and snapshot are made of, and nothing else.
constexpr unsigned kSnapshotFields =
    STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_BLOCKS | STATX_ATIME | STATX_MTIME | STATX_BTIME;

bool StatxAt(int folder_fd, const char* path, int flags, struct statx& info) {
  return statx(folder_fd, path, flags, kSnapshotFields, &info) == 0;
}

item_ids::ItemKind KindOfMode(unsigned mode) {
  if (S_ISDIR(mode)) return item_ids::ItemKind::Folder;
  if (S_ISREG(mode) || S_ISLNK(mode)) return item_ids::ItemKind::File;
  return item_ids::ItemKind::Other;
}

DWORD AttributesOf(const struct statx& info, bool is_link, bool hidden) {
  DWORD attributes = 0;
  if (S_ISDIR(info.stx_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if (hidden) attributes |= FILE_ATTRIBUTE_HIDDEN;
  if ((info.stx_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  if (S_ISCHR(info.stx_mode) || S_ISBLK(info.stx_mode) || S_ISFIFO(info.stx_mode) || S_ISSOCK(info.stx_mode))
    attributes |= FILE_ATTRIBUTE_SYSTEM;
  if (is_link) attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  if (S_ISREG(info.stx_mode) && info.stx_blocks * 512 < info.stx_size) attributes |= FILE_ATTRIBUTE_SPARSE_FILE;
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  return attributes;
}

}  // namespace

FILETIME UnixTimeToFileTime(std::int64_t seconds, std::uint32_t nanoseconds) {
  if (seconds < -static_cast<std::int64_t>(kUnixEpochSeconds)) return FILETIME{};
  const ULONGLONG ticks =
      (static_cast<ULONGLONG>(seconds + static_cast<std::int64_t>(kUnixEpochSeconds))) * kTicksPerSecond +
      nanoseconds / 100;
  return FileTimeFromValue(ticks);
}

ULONGLONG FileTimeValue(const FILETIME& time) {
  return time.dwLowDateTime | (static_cast<ULONGLONG>(time.dwHighDateTime) << 32);
}

FILETIME FileTimeFromValue(ULONGLONG value) {
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

std::optional<item_ids::ItemId> MakeFileId(const std::string& path, const std::string& name,
                                           const std::set<std::string>& hidden_names) {
  return MakeFileIdAt(AT_FDCWD, path.c_str(), name, hidden_names);
}

std::optional<item_ids::ItemId> MakeFileIdAt(int folder_fd, const char* path, const std::string& name,
                                             const std::set<std::string>& hidden_names) {
  struct statx own {};
  if (!StatxAt(folder_fd, path, AT_SYMLINK_NOFOLLOW, own)) return std::nullopt;
  const bool is_link = S_ISLNK(own.stx_mode);
  struct statx target {};
  const struct statx& info = is_link && StatxAt(folder_fd, path, 0, target) ? target : own;
  item_ids::ItemId id;
  id.kind = KindOfMode(info.stx_mode);
  id.name = name;
  const bool hidden = (!name.empty() && name.front() == '.') || hidden_names.contains(name);
  id.snapshot.attributes = AttributesOf(info, is_link, hidden);
  id.snapshot.size = S_ISDIR(info.stx_mode) ? 0 : info.stx_size;
  if (info.stx_mask & STATX_BTIME) id.snapshot.creation = StatxTime(info.stx_btime);
  id.snapshot.last_access = StatxTime(info.stx_atime);
  id.snapshot.last_write = StatxTime(info.stx_mtime);
  id.snapshot.mode = info.stx_mode;
  return id;
}

std::optional<std::string> ReadRegularFilePrefix(const std::string& path, std::size_t limit) {
  struct stat before {};
  if (lstat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return std::nullopt;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat opened {};
  std::optional<std::string> text;
  // The name may have been replaced between the two looks.
  if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) {
    text.emplace(std::min<std::size_t>(limit, static_cast<std::size_t>(opened.st_size)), '\0');
    std::size_t filled = 0;
    while (filled < text->size()) {
      const ssize_t got = read(fd, text->data() + filled, text->size() - filled);
      if (got > 0) filled += static_cast<std::size_t>(got);
      else if (got == 0 || errno != EINTR) break;
    }
    text->resize(filled);
  }
  close(fd);
  return text;
}

std::set<std::string> ReadHiddenNames(const std::string& folder) {
  std::set<std::string> names;
  const std::optional<std::string> text = ReadRegularFilePrefix(JoinPath(folder, ".hidden"), kMaxHiddenFileSize);
  if (!text) return names;
  std::string_view rest = *text;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    // A line cut by the bound is no whole name.
    if (end == std::string_view::npos && text->size() == kMaxHiddenFileSize) break;
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) names.emplace(line);
  }
  return names;
}

namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~' || c == '/';
}

}  // namespace

std::string PercentEncode(std::string_view path) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsUnreserved(byte)) {
      encoded.push_back(c);
    } else {
      encoded.push_back('%');
      encoded.push_back(kDigits[byte >> 4]);
      encoded.push_back(kDigits[byte & 15]);
    }
  }
  return encoded;
}

DWORD Win32ErrorOfErrno(int error) {
  switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST:
    case ENOTEMPTY: return ERROR_ALREADY_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EBUSY: return ERROR_SHARING_VIOLATION;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    default: return ERROR_GEN_FAILURE;
  }
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  std::string path;
  AssignJoinedPath(path, dir, name);
  return path;
}

void AssignJoinedPath(std::string& path, const std::string& dir, const std::string& name) {
  if (dir.empty()) {
    path = name;
    return;
  }
  path.reserve(dir.size() + 1 + name.size());
  path.assign(dir);
  if (dir.back() != '/') path += '/';
  path += name;
}

}  // namespace win::file_info
