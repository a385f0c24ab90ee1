// What the shell knows of a file from the file system: the snapshot kept in its item ID, its
// kind, FILETIME conversions and errno translation.
#pragma once

#include "platform/shell/item_ids.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace win::file_info {

// Seconds between 1601-01-01 and 1970-01-01.
inline constexpr ULONGLONG kUnixEpochSeconds = 11644473600ULL;

// (seconds + kUnixEpochSeconds) * 10^7 + nanoseconds / 100; times before 1601 become 0.
FILETIME UnixTimeToFileTime(std::int64_t seconds, std::uint32_t nanoseconds);
ULONGLONG FileTimeValue(const FILETIME& time);
FILETIME FileTimeFromValue(ULONGLONG value);

// The ID of the file at `path` named `name` in its folder: kind and snapshot from one statx
// without following a final symbolic link; a link takes its target's data (and keeps the reparse
// attribute), a dangling link its own. `hidden_names` are the folder's ".hidden" entries.
// Nothing when the file does not exist (errno tells why).
std::optional<item_ids::ItemId> MakeFileId(const std::string& path, const std::string& name,
                                           const std::set<std::string>& hidden_names);
// The same for `path` relative to the open folder `folder_fd` (AT_FDCWD: the working folder), so
// that a folder's entries are looked up without walking the folder's own path again.
std::optional<item_ids::ItemId> MakeFileIdAt(int folder_fd, const char* path, const std::string& name,
                                             const std::set<std::string>& hidden_names);

// A ".hidden" file lists names, not content: only this much of one is read.
inline constexpr std::size_t kMaxHiddenFileSize = 1 << 20;

// Up to `limit` bytes from the start of the file at `path`, read only when it is a regular file
// (a fifo or device on a hostile medium would block or never end): it is opened without
// blocking and without following a final link, and checked again once open. Nothing when it is
// no regular file or cannot be read.
std::optional<std::string> ReadRegularFilePrefix(const std::string& path, std::size_t limit);

// The names listed in a folder's ".hidden" file (one a line), empty when there is none; past
// kMaxHiddenFileSize the rest is ignored.
std::set<std::string> ReadHiddenNames(const std::string& folder);

// The bytes of a path with every byte but letters, digits, "-._~" and "/" written as %XX, as
// URIs and trash info files carry paths.
std::string PercentEncode(std::string_view path);

// A system error number for an errno value.
DWORD Win32ErrorOfErrno(int error);

// "dir/name" without doubling a slash.
std::string JoinPath(const std::string& dir, const std::string& name);
// The same into `path`, whose buffer is reused.
void AssignJoinedPath(std::string& path, const std::string& dir, const std::string& name);
// What follows the last slash of `path` (all of it when there is none).
std::string BaseName(const std::string& path);
// What precedes the last slash of `path`: "." for a bare name, "/" for a name at the root.
std::string FolderOf(const std::string& path);

}  // namespace win::file_info
