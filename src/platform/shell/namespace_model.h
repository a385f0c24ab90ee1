// The shell namespace of this platform over the file system: what an absolute item-ID list
// names, a folder's children, names, attributes and order.
//
// The desktop is a virtual root holding Computer, Home, Trash and the entries of the XDG desktop
// folder. Computer holds "/" and the user-visible mounts; Home is the home folder; Trash holds
// the entries of the FreeDesktop trash folders. Below a volume, Home or a desktop entry, IDs are
// path components.
#pragma once

#include "platform/shell/item_ids.h"

#include <optional>
#include <string>
#include <vector>

namespace win::shell_model {

enum class Place { Desktop, Computer, Home, Trash, Volume, FileSystem, TrashEntry };

struct Item {
  Place place = Place::Desktop;
  item_ids::ItemId id;        // the last ID of the list (none for the desktop)
  std::string path;           // the file behind it: Home, Volume, FileSystem, TrashEntry
  bool removable = false;     // on a removable volume
  std::string original_path;  // TrashEntry: where the file was
  std::string deletion_date;  // TrashEntry: when it was trashed, as its info file says
};

// What an absolute list names; nothing when the list's structure does not fit the namespace
// (a volume outside Computer, a path component at the root without a desktop folder...). The
// file itself is not asked for: a file may have gone since its ID was made.
std::optional<Item> Resolve(LPCITEMIDLIST absolute);

// The item named by `id` inside `folder`; nothing when `id` cannot live there.
std::optional<Item> ChildOf(const Item& folder, item_ids::ItemId id);
// The same into `child`, whose strings are reused; false when `id` cannot live there.
bool ChildInto(const Item& folder, item_ids::ItemId id, Item& child);

// The last ID of a list relative to `folder`, when each of its IDs can live where it stands;
// nothing else is looked at, the files least of all.
std::optional<item_ids::ItemId> LastIdBelow(const Item& folder, LPCITEMIDLIST relative);

// The item a list relative to `folder` names, one ID after the other; nothing for a null list or
// an ID that cannot live where it stands.
std::optional<Item> ResolveBelow(const Item& folder, LPCITEMIDLIST relative);
// The same into `item`, whose strings are reused (`item` is not `folder`); false for nothing.
bool ResolveBelowInto(const Item& folder, LPCITEMIDLIST relative, Item& item);

// Whether the item holds children.
bool IsContainer(const Item& item);

// The children's IDs, filtered by SHCONTF_ flags (virtual items and folders count as folders);
// nothing, with the last error set, when a file-system folder cannot be read.
std::optional<std::vector<item_ids::ItemId>> Children(const Item& folder, DWORD flags);

// The ID of the file at `path` as a child of a file-system folder (one statx); nothing when it
// does not exist.
std::optional<item_ids::ItemId> FileIdAt(const std::string& path);

// Names: file names as they are (bad UTF-8 becomes U+FFFD); "Desktop", "Computer", "Home",
// "Trash"; a trash entry by its original name.
std::u16string DisplayName(const Item& item);
// Absolute paths (a "file:///" URI when the path is no valid UTF-8), "computer:///",
// "trash://<path of the trashed file, escaped>"; the desktop's is its folder's path.
std::u16string ParsingName(const Item& item);
// The name inside its folder used for parsing: the raw file name, the mount path...
std::u16string ParsingNameInFolder(const Item& item);

// SFGAO_ attributes of an item from its ID's snapshot.
ULONG Attributes(const Item& item);
// Whether the file behind the item still exists (virtual items always do).
bool Exists(const Item& item);

// The item's ID as its file is now (kind and snapshot read again, name kept); nothing when the
// file has gone. Virtual items answer their ID.
std::optional<item_ids::ItemId> Refreshed(const Item& item);

// The order of two IDs of one folder for a details column (0 name, 1 size, 3 last write):
// negative, 0 or positive. Virtual items come first, then folders, then the rest.
int CompareIds(const item_ids::ItemId& first, const item_ids::ItemId& second, int column);

// The absolute list for a parsing name: an absolute path or file:// URI (placed below the
// deepest volume holding it), "computer:///", "trash:///", "trash:///<entry>" (the first trash
// folder holding one of that name) or "trash://<path of the trashed file>". Nothing when the
// name has none of these forms or the item does not exist.
LPITEMIDLIST ParseName(std::u16string_view name);
// The absolute list of an existing file-system path.
LPITEMIDLIST PathToList(const std::string& path);
// The list relative to the file-system folder at `folder` of an existing path below it, each ID
// made from its file as it is now; nullptr with the last error set otherwise
// (ERROR_INVALID_PARAMETER for a path not below the folder).
LPITEMIDLIST PathToListBelow(const std::string& folder, const std::string& path);

// The file-system path a parsing name stands for: a plain path, or the bytes of a "file:///" URI
// (how ParsingName writes paths that are no valid UTF-8). Nothing for other names, names with
// unpaired surrogates or NUL bytes.
std::optional<std::string> PathOfParsingName(std::u16string_view name);

// The desktop folder's path, empty when it does not exist.
std::string DesktopFolderPath();

}  // namespace win::shell_model
