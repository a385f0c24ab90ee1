// The user's places as GLib knows them: home, special folders, mounts and content types. This
// header carries no GLib types, so it mixes with the platform's headers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace win::places {

std::string HomeDirectory();
// $XDG_DATA_HOME (the home trash lives below it).
std::string UserDataDirectory();

// Re-reads the XDG user directories (user-dirs.dirs); GLib caches them otherwise.
void ReloadSpecialFolders();

// The folder behind a file-system special folder (CSIDL 5, 16, 21, 26), empty when the system
// has none or it does not exist as a folder.
std::string SpecialFolderPath(int csidl);

struct Mount {
  std::string path;
  bool removable = false;
};

// "/" first, then the mounts a user should see, in mount-table order, then those added for tests.
std::vector<Mount> VisibleMounts();

// The top folder of every mounted file system that can hold files, in mount-table order, then
// those added for tests: the folders whose trash folders the Trash lists. The kernel's own file
// systems (proc, sysfs, cgroups...) and automount triggers are left out: looking into them finds
// no trash and may mount what an automounter serves.
std::vector<std::string> AllMountPaths();

// Folders that count as mounts from now on, as a stick's would; tests make their media so.
void SetExtraMountsForTesting(std::vector<Mount> mounts);

// The mount whose path is the longest prefix of `path` (always at least "/").
Mount DeepestMountOf(const std::string& path);

// A content type's description, as UTF-8 and as UTF-16.
struct TypeName {
  std::string text;
  std::u16string wide;
};

// The content type's description for a file name ("PNG image"), or "Folder"; empty when the
// type cannot be told from the name. The record lives as long as the program.
const TypeName& TypeDescription(std::string_view file_name, bool is_folder);

// The themed icon names for a file name's content type, most specific first.
std::vector<std::string> ContentIconNames(std::string_view file_name, bool is_folder);

}  // namespace win::places
