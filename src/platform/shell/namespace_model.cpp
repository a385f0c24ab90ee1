#include "platform/shell/namespace_model.h"

#include "platform/core/errors.h"
#include "platform/core/strings.h"
#include "platform/shell/file_info.h"
#include "platform/shell/places.h"
#include "platform/shell/shell_types.h"
#include "platform/shell/trash.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <span>

namespace win::shell_model {
namespace {

using item_ids::ItemId;
using item_ids::ItemKind;

constexpr std::u16string_view kFileScheme = u"file://";
constexpr std::u16string_view kComputerUri = u"computer:///";
constexpr std::u16string_view kTrashUri = u"trash:///";
constexpr std::string_view kLinkSuffix = ".desktop";

void FailWithErrno() { SetLastError(file_info::Win32ErrorOfErrno(errno)); }

ItemId VirtualId(ItemKind kind) {
  ItemId id;
  id.kind = kind;
  return id;
}

bool IsFolderKind(const ItemId& id) {
  return id.kind == ItemKind::Computer || id.kind == ItemKind::Home || id.kind == ItemKind::Trash ||
         id.kind == ItemKind::Volume || id.kind == ItemKind::Folder;
}

bool IsHidden(const ItemId& id) {
  return item_ids::HasSnapshot(id.kind) && (id.snapshot.attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
}

bool PassesFilter(const ItemId& id, DWORD flags) {
  if (IsHidden(id) && (flags & SHCONTF_INCLUDEHIDDEN) == 0) return false;
  return IsFolderKind(id) ? (flags & SHCONTF_FOLDERS) != 0 : (flags & SHCONTF_NONFOLDERS) != 0;
}

// The entries of a file-system folder, one statx each; nothing, with the last error set, when
// the folder cannot be read (no permission, not searchable, a path too long to open).
std::optional<std::vector<ItemId>> FolderEntries(const std::string& path, DWORD flags) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path.c_str()), closedir);
  if (dir == nullptr) return FailWithErrno(), std::nullopt;
  const std::set<std::string> hidden = file_info::ReadHiddenNames(path);
  std::vector<ItemId> ids;
  errno = 0;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::optional<ItemId> id = file_info::MakeFileIdAt(dirfd(dir.get()), entry->d_name, name, hidden);
    // An entry that cannot be looked at: the folder is not searchable.
    if (!id && errno == EACCES) return FailWithErrno(), std::nullopt;
    if (id && PassesFilter(*id, flags)) ids.push_back(std::move(*id));
    errno = 0;
  }
  if (errno != 0) return FailWithErrno(), std::nullopt;
  return ids;
}

std::string VolumeDisplayName(const std::string& mount_path) {
  if (mount_path == "/") return "File System";
  return mount_path.substr(mount_path.rfind('/') + 1);
}

// Splits an absolute path into components, resolving "." and ".." lexically.
std::vector<std::string> PathComponents(std::string_view path) {
  std::vector<std::string> components;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string_view part = path.substr(start, end - start);
    if (part == "..") {
      if (!components.empty()) components.pop_back();
    } else if (!part.empty() && part != ".") {
      components.emplace_back(part);
    }
    start = end + 1;
  }
  return components;
}

std::optional<std::string> PercentDecode(const std::string& text) {
  std::string path;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && text.size() - i >= 3 && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      const char digits[3] = {text[i + 1], text[i + 2], 0};
      const char byte = static_cast<char>(std::strtol(digits, nullptr, 16));
      if (byte == 0) return std::nullopt;
      path.push_back(byte);
      i += 2;
    } else {
      path.push_back(text[i]);
    }
  }
  return path;
}

std::optional<ItemId> TrashEntryId(const trash::TrashEntry& entry) {
  std::optional<ItemId> id = file_info::MakeFileId(entry.files_path, entry.files_path, {});
  if (!id) return std::nullopt;
  id->kind = ItemKind::TrashEntry;
  id->snapshot.attributes &= ~FILE_ATTRIBUTE_HIDDEN;
  return id;
}

// "trash:///<entry>" searches the trash folders in order; "trash:///<path of the trashed file>"
// names one trash folder's entry.
bool IsValidUtf8(const std::string& text) { return Utf16ToUtf8(Utf8ToUtf16(text)) == text; }

// A path as a wide parsing name that parses back to its very bytes: the path itself, or, when
// it is no valid UTF-8 (which a wide string cannot carry), its file URI.
std::u16string WidePath(const std::string& path) {
  if (IsValidUtf8(path)) return Utf8ToUtf16(path);
  return std::u16string(kFileScheme) + u"" + Utf8ToUtf16(file_info::PercentEncode(path));
}

LPITEMIDLIST TrashEntryList(const std::string& name) {
  const std::vector<trash::TrashFolder> folders = trash::ListedTrashFolders();
  const std::optional<trash::TrashEntry> found =
      name.find('/') == std::string::npos ? trash::FindEntry(folders, name) : trash::EntryAt(folders, "/" + name);
  if (!found) return nullptr;
  const std::optional<ItemId> id = TrashEntryId(*found);
  return id ? item_ids::MakeList({VirtualId(ItemKind::Trash), *id}) : nullptr;
}

int Sign(long long value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

// Virtual items first, in a fixed order, then volumes, then folders, then other items.
int KindRank(ItemKind kind) {
  switch (kind) {
    case ItemKind::Computer: return 0;
    case ItemKind::Home: return 1;
    case ItemKind::Trash: return 2;
    case ItemKind::Volume: return 3;
    case ItemKind::Folder: return 4;
    default: return 5;
  }
}

// `ids` followed by the IDs of the path components below `folder`, each looked at as it is now;
// every component but the last must be a folder.
LPITEMIDLIST ListOfComponents(std::vector<ItemId> ids, const std::string& folder, std::span<const std::string> components) {
  std::string current = folder;
  for (std::size_t i = 0; i < components.size(); ++i) {
    std::optional<ItemId> id = FileIdAt(current = file_info::JoinPath(current, components[i]));
    if (!id) return FailWithErrno(), nullptr;
    if (i + 1 < components.size() && id->kind != ItemKind::Folder) return SetLastError(ERROR_PATH_NOT_FOUND), nullptr;
    ids.push_back(std::move(*id));
  }
  return item_ids::MakeList(ids);
}

}  // namespace

std::string DesktopFolderPath() { return places::SpecialFolderPath(CSIDL_DESKTOPDIRECTORY); }

std::optional<std::string> PathOfParsingName(std::u16string_view name) {
  if (name.starts_with(kFileScheme)) {
    // Only local "file:///..." URIs.
    const std::optional<std::string> path = PercentDecode(Utf16ToUtf8(name.substr(kFileScheme.size())));
    if (!path || path->empty() || path->front() != '/') return std::nullopt;
    return path;
  }
  // Unpaired surrogates name no file: they have no bytes of their own.
  const std::string path = Utf16ToUtf8(name);
  if (Utf8ToUtf16(path) != name || path.find('\0') != std::string::npos) return std::nullopt;
  return path;
}

std::optional<Item> ResolveBelow(const Item& folder, LPCITEMIDLIST relative) {
  Item item;
  if (!ResolveBelowInto(folder, relative, item)) return std::nullopt;
  return item;
}

bool ResolveBelowInto(const Item& folder, LPCITEMIDLIST relative, Item& item) {
  if (relative == nullptr) return false;
  if (item_ids::IsEmptyList(relative)) {
    item = folder;
    return true;
  }
  // The first child is resolved from the folder itself: most lists name one child, and the
  // folder need not be copied for it.
  if (relative->mkid.cb < item_ids::kHeaderSize || !ChildInto(folder, item_ids::DecodeId(relative->mkid), item))
    return false;
  for (LPCITEMIDLIST id = item_ids::NextId(relative); !item_ids::IsEmptyList(id); id = item_ids::NextId(id)) {
    const Item parent = item;
    if (id->mkid.cb < item_ids::kHeaderSize || !ChildInto(parent, item_ids::DecodeId(id->mkid), item)) return false;
  }
  return true;
}

namespace {

// Where an ID of `kind` stands inside a folder at `folder` whose own ID is of `folder_kind`;
// nothing when it cannot live there.
std::optional<Place> ChildPlace(Place folder, ItemKind folder_kind, ItemKind kind) {
  switch (folder) {
    case Place::Desktop:
      if (kind == ItemKind::Computer) return Place::Computer;
      if (kind == ItemKind::Home) return Place::Home;
      if (kind == ItemKind::Trash) return Place::Trash;
      if (item_ids::IsFileKind(kind)) return Place::FileSystem;
      return std::nullopt;
    case Place::Computer:
      if (kind == ItemKind::Volume) return Place::Volume;
      return std::nullopt;
    case Place::Trash:
      if (kind == ItemKind::TrashEntry) return Place::TrashEntry;
      return std::nullopt;
    case Place::Home:
    case Place::Volume:
    case Place::FileSystem:
      if (!item_ids::IsFileKind(kind) || (folder == Place::FileSystem && folder_kind != ItemKind::Folder))
        return std::nullopt;
      return Place::FileSystem;
    case Place::TrashEntry:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::optional<Item> ChildOf(const Item& folder, ItemId child_id) {
  Item child;
  if (!ChildInto(folder, std::move(child_id), child)) return std::nullopt;
  return child;
}

bool ChildInto(const Item& folder, ItemId child_id, Item& child) {
  const std::optional<Place> place = ChildPlace(folder.place, folder.id.kind, child_id.kind);
  if (!place) return false;
  child.place = *place;
  child.id = std::move(child_id);
  child.removable = folder.removable;
  child.path.clear();
  child.original_path.clear();
  child.deletion_date.clear();
  switch (folder.place) {
    case Place::Desktop:
      if (child.place == Place::Home) child.path = places::HomeDirectory();
      if (child.place == Place::FileSystem) {
        const std::string desktop = DesktopFolderPath();
        if (desktop.empty()) return false;
        file_info::AssignJoinedPath(child.path, desktop, child.id.name);
      }
      return true;
    case Place::Computer:
      child.path = child.id.name;
      child.removable = places::DeepestMountOf(child.id.name).removable;
      return true;
    case Place::Trash: {
      const std::optional<trash::TrashEntry> entry = trash::EntryAt(trash::ListedTrashFolders(), child.id.name);
      if (entry) {
        child.path = entry->files_path;
        child.original_path = entry->info.original_path;
        child.deletion_date = entry->info.deletion_date;
      }
      return true;
    }
    default:
      file_info::AssignJoinedPath(child.path, folder.path, child.id.name);
      return true;
  }
}

std::optional<ItemId> LastIdBelow(const Item& folder, LPCITEMIDLIST relative) {
  if (item_ids::IsEmptyList(relative)) return std::nullopt;
  Place place = folder.place;
  ItemKind kind = folder.id.kind;
  std::optional<ItemId> last;
  for (LPCITEMIDLIST id = relative; !item_ids::IsEmptyList(id); id = item_ids::NextId(id)) {
    if (id->mkid.cb < item_ids::kHeaderSize) return std::nullopt;
    last = item_ids::DecodeId(id->mkid);
    const std::optional<Place> child = ChildPlace(place, kind, last->kind);
    if (!child) return std::nullopt;
    place = *child;
    kind = last->kind;
  }
  return last;
}

std::optional<Item> Resolve(LPCITEMIDLIST absolute) {
  Item item;
  const UINT count = item_ids::ListCount(absolute);
  LPCITEMIDLIST id = absolute;
  for (UINT i = 0; i < count; ++i, id = item_ids::NextId(id)) {
    if (id->mkid.cb < item_ids::kHeaderSize) return std::nullopt;
    std::optional<Item> child = ChildOf(item, item_ids::DecodeId(id->mkid));
    if (!child) return std::nullopt;
    item = std::move(*child);
  }
  return item;
}

bool IsContainer(const Item& item) {
  switch (item.place) {
    case Place::Desktop:
    case Place::Computer:
    case Place::Home:
    case Place::Trash:
    case Place::Volume:
      return true;
    case Place::FileSystem:
      return item.id.kind == ItemKind::Folder;
    case Place::TrashEntry:
      return false;
  }
  return false;
}

std::optional<std::vector<ItemId>> Children(const Item& folder, DWORD flags) {
  std::vector<ItemId> ids;
  switch (folder.place) {
    case Place::Desktop: {
      if ((flags & SHCONTF_FOLDERS) != 0)
        for (ItemKind kind : {ItemKind::Computer, ItemKind::Home, ItemKind::Trash}) ids.push_back(VirtualId(kind));
      const std::string desktop = DesktopFolderPath();
      if (!desktop.empty()) {
        const std::optional<std::vector<ItemId>> entries = FolderEntries(desktop, flags);
        if (entries) ids.insert(ids.end(), entries->begin(), entries->end());
      }
      return ids;
    }
    case Place::Computer:
      if ((flags & SHCONTF_FOLDERS) == 0) return ids;
      for (const places::Mount& mount : places::VisibleMounts()) {
        std::optional<ItemId> id = file_info::MakeFileId(mount.path, mount.path, {});
        if (!id) continue;
        id->kind = ItemKind::Volume;
        ids.push_back(std::move(*id));
      }
      return ids;
    case Place::Trash:
      if ((flags & SHCONTF_NONFOLDERS) == 0) return ids;
      for (const trash::TrashEntry& entry : trash::ListEntries(trash::ListedTrashFolders()))
        if (std::optional<ItemId> id = TrashEntryId(entry)) ids.push_back(std::move(*id));
      return ids;
    case Place::Home:
    case Place::Volume:
    case Place::FileSystem:
      if (!IsContainer(folder)) return ids;
      return FolderEntries(folder.path, flags);
    case Place::TrashEntry:
      return ids;
  }
  return ids;
}

std::optional<ItemId> FileIdAt(const std::string& path) {
  const std::string name = file_info::BaseName(path);
  const std::string folder = path.substr(0, path.size() - name.size());
  return file_info::MakeFileId(path, name, file_info::ReadHiddenNames(folder.empty() ? "/" : folder));
}

std::u16string DisplayName(const Item& item) {
  switch (item.place) {
    case Place::Desktop: return u"Desktop";
    case Place::Computer: return u"Computer";
    case Place::Home: return u"Home";
    case Place::Trash: return u"Trash";
    case Place::Volume: return Utf8ToUtf16(VolumeDisplayName(item.id.name));
    case Place::FileSystem: return Utf8ToUtf16(item.id.name);
    case Place::TrashEntry:
      return Utf8ToUtf16(file_info::BaseName(item.original_path.empty() ? item.id.name : item.original_path));
  }
  return {};
}

std::u16string ParsingName(const Item& item) {
  switch (item.place) {
    case Place::Desktop: return Utf8ToUtf16(DesktopFolderPath());
    case Place::Computer: return std::u16string(kComputerUri);
    case Place::Trash: return std::u16string(kTrashUri);
    case Place::TrashEntry: return u"trash://" + Utf8ToUtf16(file_info::PercentEncode(item.id.name));
    case Place::Home:
    case Place::Volume:
    case Place::FileSystem: return WidePath(item.path);
  }
  return {};
}

std::u16string ParsingNameInFolder(const Item& item) {
  switch (item.place) {
    case Place::FileSystem:
    case Place::Volume: return Utf8ToUtf16(item.id.name);
    case Place::TrashEntry: return Utf8ToUtf16(file_info::BaseName(item.id.name));
    default: return ParsingName(item);
  }
}

ULONG Attributes(const Item& item) {
  constexpr ULONG kBrowsableFolder = SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_FILESYSANCESTOR;
  constexpr ULONG kFileSystemFolder = kBrowsableFolder | SFGAO_FILESYSTEM | SFGAO_DROPTARGET | SFGAO_STORAGE |
                                      SFGAO_STORAGEANCESTOR | SFGAO_HASPROPSHEET;
  ULONG attributes = 0;
  switch (item.place) {
    case Place::Desktop: attributes = kBrowsableFolder | SFGAO_DROPTARGET | SFGAO_STORAGEANCESTOR; break;
    case Place::Computer: attributes = kBrowsableFolder; break;
    case Place::Trash: attributes = SFGAO_FOLDER | SFGAO_DROPTARGET | SFGAO_HASPROPSHEET; break;
    case Place::Home:
    case Place::Volume: attributes = kFileSystemFolder | SFGAO_CANLINK | SFGAO_CANCOPY; break;
    case Place::TrashEntry: attributes = SFGAO_CANDELETE | SFGAO_HASPROPSHEET; break;
    case Place::FileSystem:
      attributes = SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANLINK | SFGAO_CANRENAME | SFGAO_CANDELETE |
                   SFGAO_HASPROPSHEET | SFGAO_FILESYSTEM;
      if (item.id.kind == ItemKind::Folder) attributes |= kFileSystemFolder;
      else attributes |= SFGAO_STREAM;
      if (item.id.kind == ItemKind::File && item.id.name.ends_with(kLinkSuffix)) attributes |= SFGAO_LINK;
      break;
  }
  if (item_ids::HasSnapshot(item.id.kind)) {
    if ((item.id.snapshot.attributes & FILE_ATTRIBUTE_HIDDEN) != 0) attributes |= SFGAO_HIDDEN;
    if ((item.id.snapshot.attributes & FILE_ATTRIBUTE_READONLY) != 0) attributes |= SFGAO_READONLY;
  }
  if (item.removable && item.place != Place::Desktop) attributes |= SFGAO_REMOVABLE;
  return attributes;
}

bool Exists(const Item& item) {
  if (item.path.empty()) return item.place != Place::TrashEntry;
  struct stat info {};
  return lstat(item.path.c_str(), &info) == 0;
}

std::optional<ItemId> Refreshed(const Item& item) {
  if (item.path.empty()) return item.place == Place::TrashEntry ? std::nullopt : std::optional<ItemId>(item.id);
  std::optional<ItemId> id =
      item.place == Place::FileSystem ? FileIdAt(item.path) : file_info::MakeFileId(item.path, item.id.name, {});
  if (!id) return std::nullopt;
  if (item.place != Place::FileSystem) id->kind = item.id.kind;
  id->name = item.id.name;
  return id;
}

int CompareIds(const ItemId& first, const ItemId& second, int column) {
  if (const int rank = KindRank(first.kind) - KindRank(second.kind); rank != 0) return Sign(rank);
  if (column == 1 && first.snapshot.size != second.snapshot.size)
    return first.snapshot.size < second.snapshot.size ? -1 : 1;
  if (column == 3) {
    const ULONGLONG a = file_info::FileTimeValue(first.snapshot.last_write);
    const ULONGLONG b = file_info::FileTimeValue(second.snapshot.last_write);
    if (a != b) return a < b ? -1 : 1;
  }
  if (const int by_name = CompareIgnoreCase(Utf8ToUtf16(first.name), Utf8ToUtf16(second.name)); by_name != 0)
    return Sign(by_name);
  return Sign(first.name.compare(second.name));
}

LPITEMIDLIST PathToList(const std::string& path) {
  if (path.empty() || path.front() != '/') return nullptr;
  const std::vector<std::string> components = PathComponents(path);
  std::string normalised = "/";
  for (std::size_t i = 0; i < components.size(); ++i) normalised += (i == 0 ? "" : "/") + components[i];
  const places::Mount mount = places::DeepestMountOf(normalised);
  std::optional<ItemId> volume = file_info::MakeFileId(mount.path, mount.path, {});
  if (!volume) return nullptr;
  volume->kind = ItemKind::Volume;
  std::vector<ItemId> ids{VirtualId(ItemKind::Computer), std::move(*volume)};
  const std::size_t skip = PathComponents(mount.path).size();
  return ListOfComponents(std::move(ids), mount.path, std::span(components).subspan(skip));
}

LPITEMIDLIST PathToListBelow(const std::string& folder, const std::string& path) {
  const std::vector<std::string> folder_components = PathComponents(folder);
  const std::vector<std::string> components = PathComponents(path);
  if (path.empty() || path.front() != '/' || components.size() <= folder_components.size() ||
      !std::equal(folder_components.begin(), folder_components.end(), components.begin())) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return ListOfComponents({}, folder, std::span(components).subspan(folder_components.size()));
}

LPITEMIDLIST ParseName(std::u16string_view name) {
  if (name == kComputerUri || name == u"computer://") return item_ids::MakeList({VirtualId(ItemKind::Computer)});
  if (name == kTrashUri || name == u"trash://") return item_ids::MakeList({VirtualId(ItemKind::Trash)});
  if (name.starts_with(kTrashUri)) {
    const std::optional<std::string> entry = PercentDecode(Utf16ToUtf8(name.substr(kTrashUri.size())));
    return entry ? TrashEntryList(*entry) : nullptr;
  }
  const std::optional<std::string> path = PathOfParsingName(name);
  return path ? PathToList(*path) : nullptr;
}

}  // namespace win::shell_model
