// The FreeDesktop trash: the home trash and the trash folders of other mounts, read from their
// info files.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace win::trash {

inline constexpr std::string_view kInfoSuffix = ".trashinfo";
// Info files are a few lines; anything longer is not one.
inline constexpr std::size_t kMaxInfoFileSize = 64 * 1024;

struct TrashInfo {
  std::string original_path;  // absolute, percent-decoded
  std::string deletion_date;  // as written ("2026-12-07T09:30:00"), empty when absent
};

// Reads the text of an info file; `top_directory` completes a relative "Path" (the mount a
// per-mount trash belongs to). Nothing when the text is not a valid info file: no
// "[Trash Info]" group, no "Path", a bad escape, or a path with a NUL.
std::optional<TrashInfo> ParseTrashInfo(std::string_view text, const std::string& top_directory);

struct TrashEntry {
  std::string entry;      // the info file's name without ".trashinfo"
  std::string files_path; // the trashed file itself
  TrashInfo info;
};

struct TrashFolder {
  std::string path;           // holds "files" and "info"
  std::string top_directory;  // what relative paths are relative to
};

// The home trash and, for each of `mount_paths`, its ".Trash/$uid" (when ".Trash" is a sticky
// folder, not a link) and ".Trash-$uid" folders that exist; a folder seen again through another
// mount of its file system is listed once.
std::vector<TrashFolder> TrashFolders(const std::string& data_home, const std::vector<std::string>& mount_paths);

// The trash folders the Trash lists: the home trash and those at the top of every mounted file
// system, which are all the folders TrashFolderFor answers.
std::vector<TrashFolder> ListedTrashFolders();

// Whether `folder` is one of `folders`, under any path.
bool IsAmong(const TrashFolder& folder, const std::vector<TrashFolder>& folders);

// The entries of the trash folders whose info file is valid and whose file still exists.
std::vector<TrashEntry> ListEntries(const std::vector<TrashFolder>& folders);

// The entry named `entry`, searched in the folders' order.
std::optional<TrashEntry> FindEntry(const std::vector<TrashFolder>& folders, const std::string& entry);

// The entry whose trashed file is `files_path` ("<trash folder>/files/<entry>"), when that lies
// in one of the folders.
std::optional<TrashEntry> EntryAt(const std::vector<TrashFolder>& folders, const std::string& files_path);

// The trash folder a file at the absolute `path` goes to, with its "files" and "info" made when
// missing: the home trash below `data_home` for files on its file system, else the file
// system's ".Trash/$uid" or ".Trash-$uid". Nothing when the file system offers none.
std::optional<TrashFolder> TrashFolderFor(const std::string& path, const std::string& data_home);

// The text of an info file for a file trashed from the absolute `original_path` into `folder`
// at `deletion_date`: the path relative to the folder's top directory when it has one.
std::string InfoText(const TrashFolder& folder, const std::string& original_path, const std::string& deletion_date);

// Now as an info file's deletion date: local time, "2026-12-07T09:30:00".
std::string DeletionDateNow();

}  // namespace win::trash
