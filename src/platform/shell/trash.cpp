#include "platform/shell/trash.h"

#include "platform/shell/file_info.h"

#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

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

bool ReadSmallFile(const std::string& path, std::string& text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  text.resize(kMaxInfoFileSize + 1);
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(file.gcount()));
  return text.size() <= kMaxInfoFileSize;
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
  for (const std::string& mount : mount_paths) {
    const std::string shared = file_info::JoinPath(mount, ".Trash");
    if (IsSharedTrashRoot(shared) && IsFolder(shared + "/" + uid)) folders.push_back({shared + "/" + uid, mount});
    const std::string own = file_info::JoinPath(mount, ".Trash-" + uid);
    if (IsFolder(own)) folders.push_back({own, mount});
  }
  return folders;
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

}  // namespace win::trash
