// GLib is included only here: its TRUE and FALSE would clash with the platform's.
#include "platform/shell/places.h"

#include "platform/core/strings.h"
#include "platform/shell/shell_types.h"

#include <gio/gio.h>
#include <gio/gunixmounts.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>

namespace win::places {
namespace {

struct GFreeDeleter {
  void operator()(void* block) const { g_free(block); }
};
using GString = std::unique_ptr<char, GFreeDeleter>;

struct ObjectDeleter {
  void operator()(void* object) const { g_object_unref(object); }
};

bool IsFolder(const char* path) {
  struct stat info {};
  return path != nullptr && stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ExistingFolder(const char* path) { return IsFolder(path) ? std::string(path) : std::string(); }

// Looks content types up by their text without making a string of it.
struct TypeHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view type) const { return std::hash<std::string_view>{}(type); }
};

// The description of a content type, asked of the MIME database once per type: a details view
// asks for the type of every item, and a folder's items share few types. Records are never
// erased, so the ones handed out stay valid.
const TypeName& DescriptionOfType(const char* type) {
  static std::mutex mutex;
  static std::unordered_map<std::string, TypeName, TypeHash, std::equal_to<>> descriptions;
  const std::lock_guard lock(mutex);
  if (const auto known = descriptions.find(std::string_view(type)); known != descriptions.end()) return known->second;
  TypeName& added = descriptions[type];
  if (const GString description(g_content_type_get_description(type)); description != nullptr)
    added = {description.get(), Utf8ToUtf16(description.get())};
  return added;
}

bool IsUnder(const std::string& path, const std::string& mount) {
  if (mount == "/") return !path.empty() && path.front() == '/';
  return path.compare(0, mount.size(), mount) == 0 && (path.size() == mount.size() || path[mount.size()] == '/');
}

std::vector<Mount>& ExtraMounts() {
  static std::vector<Mount> mounts;
  return mounts;
}

}  // namespace

std::string HomeDirectory() { return g_get_home_dir(); }

std::string UserDataDirectory() { return g_get_user_data_dir(); }

void ReloadSpecialFolders() { g_reload_user_special_dirs_cache(); }

std::string SpecialFolderPath(int csidl) {
  switch (csidl) {
    case CSIDL_DESKTOPDIRECTORY: return ExistingFolder(g_get_user_special_dir(G_USER_DIRECTORY_DESKTOP));
    case CSIDL_PERSONAL: return ExistingFolder(g_get_user_special_dir(G_USER_DIRECTORY_DOCUMENTS));
    case CSIDL_TEMPLATES: return ExistingFolder(g_get_user_special_dir(G_USER_DIRECTORY_TEMPLATES));
    case CSIDL_APPDATA: return ExistingFolder(g_get_user_config_dir());
    default: return {};
  }
}

std::vector<Mount> VisibleMounts() {
  std::vector<Mount> mounts{{"/", false}};
  GList* entries = g_unix_mounts_get(nullptr);
  for (GList* node = entries; node != nullptr; node = node->next) {
    auto* entry = static_cast<GUnixMountEntry*>(node->data);
    const std::string path = g_unix_mount_get_mount_path(entry);
    if (path != "/" && g_unix_mount_guess_should_display(entry))
      mounts.push_back({path, g_unix_mount_guess_can_eject(entry) != 0});
  }
  g_list_free_full(entries, reinterpret_cast<GDestroyNotify>(g_unix_mount_free));
  mounts.insert(mounts.end(), ExtraMounts().begin(), ExtraMounts().end());
  return mounts;
}

namespace {

// File systems that hold no user files: the kernel's views of itself, and automount triggers.
bool HoldsNoFiles(std::string_view type) {
  static constexpr std::string_view kTypes[] = {
      "autofs",   "binfmt_misc", "bpf",    "cgroup", "cgroup2",   "configfs", "debugfs", "devpts",  "efivarfs",
      "fusectl",  "hugetlbfs",   "mqueue", "nsfs",   "proc",      "pstore",   "rpc_pipefs", "securityfs",
      "selinuxfs", "sysfs",      "tracefs"};
  return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

}  // namespace

std::vector<std::string> AllMountPaths() {
  std::vector<std::string> paths;
  GList* entries = g_unix_mounts_get(nullptr);
  for (GList* node = entries; node != nullptr; node = node->next) {
    auto* entry = static_cast<GUnixMountEntry*>(node->data);
    if (!HoldsNoFiles(g_unix_mount_get_fs_type(entry))) paths.emplace_back(g_unix_mount_get_mount_path(entry));
  }
  g_list_free_full(entries, reinterpret_cast<GDestroyNotify>(g_unix_mount_free));
  for (const Mount& mount : ExtraMounts()) paths.push_back(mount.path);
  return paths;
}

void SetExtraMountsForTesting(std::vector<Mount> mounts) { ExtraMounts() = std::move(mounts); }

Mount DeepestMountOf(const std::string& path) {
  Mount deepest{"/", false};
  for (const Mount& mount : VisibleMounts())
    if (IsUnder(path, mount.path) && mount.path.size() > deepest.path.size()) deepest = mount;
  return deepest;
}

const TypeName& TypeDescription(std::string_view file_name, bool is_folder) {
  static const TypeName kFolder{"Folder", u"Folder"};
  static const TypeName kUnknown;
  if (is_folder) return kFolder;
  const std::string name(file_name);
  gboolean uncertain = 0;
  const GString type(g_content_type_guess(name.c_str(), nullptr, 0, &uncertain));
  if (type == nullptr || g_content_type_is_unknown(type.get())) return kUnknown;
  return DescriptionOfType(type.get());
}

std::vector<std::string> ContentIconNames(std::string_view file_name, bool is_folder) {
  const std::string name(file_name);
  gboolean uncertain = 0;
  GString type(is_folder ? g_strdup("inode/directory") : g_content_type_guess(name.c_str(), nullptr, 0, &uncertain));
  std::vector<std::string> names;
  if (type == nullptr) return names;
  std::unique_ptr<GIcon, ObjectDeleter> icon(g_content_type_get_icon(type.get()));
  if (icon != nullptr && G_IS_THEMED_ICON(icon.get())) {
    const gchar* const* icon_names = g_themed_icon_get_names(G_THEMED_ICON(icon.get()));
    for (; icon_names != nullptr && *icon_names != nullptr; ++icon_names) names.emplace_back(*icon_names);
  }
  return names;
}

}  // namespace win::places
