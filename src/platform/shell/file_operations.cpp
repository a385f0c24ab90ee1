// GLib is included only here: its TRUE and FALSE would clash with the platform's.
#include "platform/shell/file_operations.h"

#include "platform/core/errors.h"
#include "platform/shell/file_info.h"
#include "platform/shell/trash.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

namespace win::file_operations {
namespace {

// Enough for any folder a person fills; stops a loop over a folder that answers "exists" always.
constexpr int kMaxNumber = 10000;
constexpr DWORD ERROR_DISK_FULL = 112;

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
    case G_IO_ERROR_INVALID_FILENAME:
    case G_IO_ERROR_FILENAME_TOO_LONG: return ERROR_INVALID_NAME;
    default: return ERROR_GEN_FAILURE;
  }
}

Outcome FailWithErrno(DWORD& error) {
  error = file_info::Win32ErrorOfErrno(errno);
  return errno == EEXIST ? Outcome::Exists : Outcome::Failed;
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

std::optional<std::string> RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
  if (resolved == nullptr) return std::nullopt;
  return std::string(resolved.get());
}

bool IsSameOrBelow(const std::string& path, const std::string& ancestor) {
  if (ancestor == "/") return true;
  return path.compare(0, ancestor.size(), ancestor) == 0 && (path.size() == ancestor.size() || path[ancestor.size()] == '/');
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

// Copies `source` to `target`, which must not exist yet; folders entry by entry.
Outcome CopyTree(const std::string& source, const std::string& target, DWORD& error) {
  struct stat info {};
  if (lstat(source.c_str(), &info) != 0) return FailWithErrno(error);
  if (!S_ISDIR(info.st_mode)) return CopyFile(source, target, error);
  if (mkdir(target.c_str(), S_IRWXU) != 0) return FailWithErrno(error);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(source.c_str()), closedir);
  if (dir == nullptr) return FailWithErrno(error), Outcome::Failed;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    // Inside a folder made just now nothing is in the way: any failure is a failure.
    if (CopyTree(file_info::JoinPath(source, name), file_info::JoinPath(target, name), error) != Outcome::Done)
      return Outcome::Failed;
  }
  chmod(target.c_str(), info.st_mode & 07777);
  return Outcome::Done;
}

int RemoveEntry(const char* path, const struct stat*, int kind, struct FTW*) {
  return kind == FTW_DP ? rmdir(path) : unlink(path);
}

bool RemoveTree(const std::string& path, DWORD& error) {
  if (nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS) == 0) return true;
  error = file_info::Win32ErrorOfErrno(errno);
  return false;
}

Outcome MoveTree(const std::string& source, const std::string& target, DWORD& error) {
  File from(g_file_new_for_path(source.c_str()));
  File to(g_file_new_for_path(target.c_str()));
  GError* raw = nullptr;
  if (g_file_move(from.get(), to.get(),
                  static_cast<GFileCopyFlags>(G_FILE_COPY_NOFOLLOW_SYMLINKS | G_FILE_COPY_NO_FALLBACK_FOR_MOVE |
                                              G_FILE_COPY_ALL_METADATA),
                  nullptr, nullptr, nullptr, &raw))
    return Outcome::Done;
  const Error failure(raw);
  error = ErrorOfGio(failure.get());
  if (g_error_matches(failure.get(), G_IO_ERROR, G_IO_ERROR_EXISTS)) return Outcome::Exists;
  if (!g_error_matches(failure.get(), G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED)) return Outcome::Failed;
  // Another file system: copy, then remove the source only once the copy is whole.
  const Outcome copied = CopyTree(source, target, error);
  if (copied != Outcome::Done) {
    DWORD ignored = 0;
    if (copied == Outcome::Failed) RemoveTree(target, ignored);
    return copied;
  }
  return RemoveTree(source, error) ? Outcome::Done : Outcome::Failed;
}

Outcome Place(const std::string& source, const std::string& target, Transfer how, DWORD& error) {
  switch (how) {
    case Transfer::Copy: {
      const Outcome outcome = CopyTree(source, target, error);
      DWORD ignored = 0;
      if (outcome == Outcome::Failed) RemoveTree(target, ignored);  // no half copy stays behind
      return outcome;
    }
    case Transfer::Move: return MoveTree(source, target, error);
    case Transfer::Link: return symlink(source.c_str(), target.c_str()) == 0 ? Outcome::Done : FailWithErrno(error);
  }
  return Outcome::Failed;
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
  const bool is_folder = S_ISDIR(info.st_mode);
  const std::optional<std::string> real_folder = RealPath(folder);
  const std::optional<std::string> real_source_folder = RealPath(FolderOf(source));
  if (!real_folder || !real_source_folder) return FailWithErrno(error), std::nullopt;
  const std::string real_source = file_info::JoinPath(*real_source_folder, BaseName(source));
  if (how != Transfer::Link && is_folder && IsSameOrBelow(*real_folder, real_source)) {
    error = ERROR_INVALID_PARAMETER;
    return std::nullopt;
  }
  if (how == Transfer::Move && *real_folder == *real_source_folder) return source;
  const std::string name = BaseName(source);
  for (int number = 1; number <= kMaxNumber; ++number) {
    const std::string target =
        file_info::JoinPath(folder, number == 1 ? name : NumberedName(name, is_folder, number));
    switch (Place(real_source, target, how, error)) {
      case Outcome::Done: return target;
      case Outcome::Failed: return std::nullopt;
      case Outcome::Exists: break;
    }
  }
  error = ERROR_ALREADY_EXISTS;
  return std::nullopt;
}

bool MoveToTrash(const std::string& path, DWORD& error) {
  File file(g_file_new_for_path(path.c_str()));
  GError* raw = nullptr;
  if (g_file_trash(file.get(), nullptr, &raw)) return true;
  const Error failure(raw);
  error = ErrorOfGio(failure.get());
  return false;
}

bool RemoveTrashEntry(const std::string& files_path, DWORD& error) {
  const std::string files_folder = FolderOf(files_path);
  const std::string entry = BaseName(files_path);
  if (BaseName(files_folder) != "files" || entry.empty() || entry == "." || entry == "..") {
    error = ERROR_INVALID_PARAMETER;
    return false;
  }
  const std::string info_path =
      file_info::JoinPath(file_info::JoinPath(FolderOf(files_folder), "info"), entry + std::string(trash::kInfoSuffix));
  if (!RemoveTree(files_path, error)) return false;
  if (unlink(info_path.c_str()) != 0 && errno != ENOENT) {
    error = file_info::Win32ErrorOfErrno(errno);
    return false;
  }
  return true;
}

}  // namespace win::file_operations
