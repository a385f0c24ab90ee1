#include "platform/shell/trash.h"

#include "platform/shell/file_info.h"
#include "platform/shell/places.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace win::trash {
namespace {

constexpr std::string_view kGroupHeader = "[Trash Info]";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> PercentDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded.push_back(text[i]);
      continue;
    }
    if (text.size() - i < 3) return std::nullopt;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
    decoded.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return decoded;
}

std::string_view TrimLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
  return line;
}

// An info file is read only as a regular file of at most kMaxInfoFileSize bytes.
bool ReadSmallFile(const std::string& path, std::string& text) {
  std::optional<std::string> read = file_info::ReadRegularFilePrefix(path, kMaxInfoFileSize + 1);
  if (!read || read->size() > kMaxInfoFileSize) return false;
  text = std::move(*read);
  return true;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// ".Trash" of a mount counts only as a sticky folder that is no symbolic link.
bool IsSharedTrashRoot(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0;
}

bool SameFolder(const std::string& a, const std::string& b) {
  struct stat first {}, second {};
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

bool SameDevice(const std::string& a, const std::string& b) {
  struct stat first {}, second {};
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev;
}

// The top of the file system `folder` lies on: its highest ancestor on the same device.
std::string TopDirectoryOf(std::string folder) {
  while (folder != "/") {
    const std::string parent = file_info::FolderOf(folder);
    if (!SameDevice(parent, folder)) break;
    folder = parent;
  }
  return folder;
}

// A folder of the user's own that is no symbolic link, made with mode 0700 when missing.
bool MakeOwnFolder(const std::string& path) {
  if (mkdir(path.c_str(), S_IRWXU) != 0 && errno != EEXIST) return false;
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid();
}

bool MakeFolders(const std::string& path) {
  if (path.empty() || IsFolder(path)) return IsFolder(path);
  const std::string parent = file_info::FolderOf(path);
  if (parent != path && !MakeFolders(parent)) return false;
  return mkdir(path.c_str(), S_IRWXU) == 0 || (errno == EEXIST && IsFolder(path));
}

std::optional<TrashFolder> WithSubfolders(TrashFolder folder) {
  if (!MakeOwnFolder(folder.path + "/files") || !MakeOwnFolder(folder.path + "/info")) return std::nullopt;
  return folder;
}

std::optional<TrashEntry> EntryOf(const TrashFolder& folder, const std::string& info_name) {
  if (info_name.size() <= kInfoSuffix.size() ||
      info_name.compare(info_name.size() - kInfoSuffix.size(), kInfoSuffix.size(), kInfoSuffix) != 0)
    return std::nullopt;
  const std::string entry = info_name.substr(0, info_name.size() - kInfoSuffix.size());
  std::string text;
  if (!ReadSmallFile(file_info::JoinPath(folder.path + "/info", info_name), text)) return std::nullopt;
  std::optional<TrashInfo> info = ParseTrashInfo(text, folder.top_directory);
  const std::string files_path = file_info::JoinPath(folder.path + "/files", entry);
  if (!info || !Exists(files_path)) return std::nullopt;
  return TrashEntry{entry, files_path, std::move(*info)};
}

}  // namespace

std::optional<TrashInfo> ParseTrashInfo(std::string_view text, const std::string& top_directory) {
  bool in_group = false;
  bool seen_group = false;
  std::optional<std::string> path;
  TrashInfo info;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = TrimLineEnd(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      in_group = line == kGroupHeader;
      seen_group = seen_group || in_group;
      continue;
    }
    if (!in_group) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = TrimLineEnd(line.substr(0, equals));
    const std::string_view value = line.substr(equals + 1);
    if (key == "Path" && !path) {
      path = PercentDecode(value);
      if (!path || path->empty()) return std::nullopt;
    } else if (key == "DeletionDate") {
      info.deletion_date = std::string(value);
    }
  }
  if (!seen_group || !path) return std::nullopt;
  info.original_path = path->front() == '/' ? *path : file_info::JoinPath(top_directory, *path);
  return info;
}

std::vector<TrashFolder> TrashFolders(const std::string& data_home, const std::vector<std::string>& mount_paths) {
  std::vector<TrashFolder> folders;
  const std::string home_trash = file_info::JoinPath(data_home, "Trash");
  if (IsFolder(home_trash)) folders.push_back({home_trash, "/"});
  const std::string uid = std::to_string(getuid());
  const auto add = [&folders](TrashFolder folder) {
    if (!IsAmong(folder, folders)) folders.push_back(std::move(folder));
  };
  for (const std::string& mount : mount_paths) {
    const std::string shared = file_info::JoinPath(mount, ".Trash");
    if (IsSharedTrashRoot(shared) && IsFolder(shared + "/" + uid)) add({shared + "/" + uid, mount});
    const std::string own = file_info::JoinPath(mount, ".Trash-" + uid);
    if (IsFolder(own)) add({own, mount});
  }
  return folders;
}

std::vector<TrashFolder> ListedTrashFolders() {
  return TrashFolders(places::UserDataDirectory(), places::AllMountPaths());
}

bool IsAmong(const TrashFolder& folder, const std::vector<TrashFolder>& folders) {
  for (const TrashFolder& listed : folders)
    if (listed.path == folder.path || SameFolder(listed.path, folder.path)) return true;
  return false;
}

std::vector<TrashEntry> ListEntries(const std::vector<TrashFolder>& folders) {
  std::vector<TrashEntry> entries;
  for (const TrashFolder& folder : folders) {
    DIR* dir = opendir((folder.path + "/info").c_str());
    if (dir == nullptr) continue;
    while (const dirent* item = readdir(dir)) {
      if (std::optional<TrashEntry> entry = EntryOf(folder, item->d_name)) entries.push_back(std::move(*entry));
    }
    closedir(dir);
  }
  return entries;
}

std::optional<TrashEntry> FindEntry(const std::vector<TrashFolder>& folders, const std::string& entry) {
  if (entry.empty() || entry.find('/') != std::string::npos || entry == "." || entry == "..") return std::nullopt;
  for (const TrashFolder& folder : folders)
    if (std::optional<TrashEntry> found = EntryOf(folder, entry + std::string(kInfoSuffix))) return found;
  return std::nullopt;
}

std::optional<TrashEntry> EntryAt(const std::vector<TrashFolder>& folders, const std::string& files_path) {
  const std::size_t slash = files_path.find_last_of('/');
  if (slash == std::string::npos) return std::nullopt;
  const std::string files_folder = files_path.substr(0, slash);
  const std::string entry = files_path.substr(slash + 1);
  if (entry.empty() || entry == "." || entry == "..") return std::nullopt;
  for (const TrashFolder& folder : folders)
    if (folder.path + "/files" == files_folder) return EntryOf(folder, entry + std::string(kInfoSuffix));
  return std::nullopt;
}

std::optional<TrashFolder> TrashFolderFor(const std::string& path, const std::string& data_home) {
  const std::string folder = file_info::FolderOf(path);
  const std::string home_trash = file_info::JoinPath(data_home, "Trash");
  if (MakeFolders(data_home) && SameDevice(folder, data_home)) {
    if (!MakeFolders(home_trash)) return std::nullopt;
    return WithSubfolders({home_trash, "/"});
  }
  const std::string top = TopDirectoryOf(folder);
  const std::string uid = std::to_string(getuid());
  const std::string shared = file_info::JoinPath(top, ".Trash");
  if (IsSharedTrashRoot(shared) && MakeOwnFolder(shared + "/" + uid)) return WithSubfolders({shared + "/" + uid, top});
  const std::string own = file_info::JoinPath(top, ".Trash-" + uid);
  if (MakeOwnFolder(own)) return WithSubfolders({own, top});
  return std::nullopt;
}

std::string InfoText(const TrashFolder& folder, const std::string& original_path, const std::string& deletion_date) {
  std::string_view path = original_path;
  const std::string& top = folder.top_directory;
  if (top != "/" && path.size() > top.size() && path.compare(0, top.size(), top) == 0 && path[top.size()] == '/')
    path.remove_prefix(top.size() + 1);
  return std::string(kGroupHeader) + "\nPath=" + file_info::PercentEncode(path) + "\nDeletionDate=" + deletion_date + "\n";
}

std::string DeletionDateNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  localtime_r(&now, &local);
  char text[32];
  return std::string(text, std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%S", &local));
}

}  // namespace win::trash
