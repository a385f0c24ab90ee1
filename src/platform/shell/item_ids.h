// Item-identifier lists and the layout of this platform's item IDs.
//
// A list is a run of IDs ended by a zero 16-bit count. Each ID of this platform is
//   u16 count (little-endian, counting itself) | u8 kind | u8 layout version |
//   for file kinds: the lstat snapshot (see FileSnapshot) | the name (raw bytes, no terminator).
// A file kind's name is one path component; a volume's name is its mount path; a trash entry's
// the path of its trashed file, which names its trash folder as well as its entry; the virtual
// items (Computer, Home, Trash) have no name. An item's identity is its kind and its name: the
// snapshot only caches what the file looked like when the ID was made.
#pragma once

#include "platform/core/types.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace win {

#pragma pack(push, 1)
struct SHITEMID {
  USHORT cb;
  BYTE abID[1];
};
struct ITEMIDLIST {
  SHITEMID mkid;
};
#pragma pack(pop)

using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;
using PIDLIST_ABSOLUTE = ITEMIDLIST*;
using PCIDLIST_ABSOLUTE = const ITEMIDLIST*;

namespace item_ids {

enum class ItemKind : BYTE {
  Computer = 1,
  Home = 2,
  Trash = 3,
  Volume = 4,
  Folder = 5,
  File = 6,
  Other = 7,  // devices, fifos, sockets
  TrashEntry = 8,
};

inline constexpr BYTE kLayoutVersion = 1;
inline constexpr std::size_t kCountSize = 2;
inline constexpr std::size_t kHeaderSize = 4;     // count, kind, version
inline constexpr std::size_t kSnapshotSize = 40;  // see FileSnapshot
// A list, terminator included, is never longer than this.
inline constexpr std::size_t kMaxListSize = 65536;

// What lstat (or statx) said about a file when its ID was made. Written little-endian in this
// field order: attributes u32, size u64, creation, last access, last write (FILETIME, low half
// first), mode u32.
struct FileSnapshot {
  DWORD attributes = 0;
  ULONGLONG size = 0;
  FILETIME creation;
  FILETIME last_access;
  FILETIME last_write;
  DWORD mode = 0;
};

struct ItemId {
  ItemKind kind = ItemKind::File;
  FileSnapshot snapshot;
  std::string name;
};

enum class ListError {
  None,
  Truncated,     // a count or an ID runs past the bytes given, or no terminator
  TooLong,       // the list is longer than kMaxListSize
  BadCount,      // a count too small for the ID's header
  UnknownKind,
  BadVersion,
  BadName,       // empty, ".", "..", "/" or NUL where they are not allowed
  BadSnapshot,   // a file kind without room for its snapshot
};

// Text naming the error, for messages and tests.
std::string_view ListErrorText(ListError error);

constexpr bool HasSnapshot(ItemKind kind) {
  return kind == ItemKind::Volume || kind == ItemKind::Folder || kind == ItemKind::File ||
         kind == ItemKind::Other || kind == ItemKind::TrashEntry;
}
constexpr bool IsFileKind(ItemKind kind) {
  return kind == ItemKind::Folder || kind == ItemKind::File || kind == ItemKind::Other;
}

// Checks a list that arrives as bytes: every count within the bytes left, the whole list at
// most kMaxListSize, known kinds and version, valid names. On success `list_size` is the
// list's size with its terminator.
ListError ValidateList(const BYTE* bytes, std::size_t available, std::size_t* list_size);

// Decodes one ID of a list that passed ValidateList (or was made by EncodeId).
ItemId DecodeId(const SHITEMID& id);

// The bytes of one ID (without a list terminator), and their count.
std::vector<BYTE> EncodeId(const ItemId& id);
std::size_t EncodedSize(const ItemId& id);
// Writes the EncodedSize(id) bytes of one ID at `at`; answers the byte after them.
BYTE* WriteId(const ItemId& id, BYTE* at);

// Size of a list in bytes with its terminator, and the number of IDs in it. The list's counts
// are trusted, as the platform trusts lists handed over by pointer; a walk never goes past
// kMaxListSize: a list whose IDs would run past it counts as ending before the first ID that
// does, and is copied (CopyList) with a terminator there. No list this layer makes is longer.
std::size_t ListSize(LPCITEMIDLIST list);
UINT ListCount(LPCITEMIDLIST list);
LPCITEMIDLIST NextId(LPCITEMIDLIST list);
bool IsEmptyList(LPCITEMIDLIST list);

// The identity of an ID: kind and name, never the snapshot.
bool SameItem(const SHITEMID& a, const SHITEMID& b);

// The builders below answer a task-allocated list, or nullptr with the last error set:
// ERROR_FILENAME_EXCED_RANGE when the list would be longer than kMaxListSize (an item too deep
// for the format), ERROR_NOT_ENOUGH_MEMORY.
// A list holding `ids` followed by the terminator.
LPITEMIDLIST MakeList(const std::vector<ItemId>& ids);
// A copy of the list as ListSize sees it, with its terminator.
LPITEMIDLIST CopyList(LPCITEMIDLIST list);
// A copy of bytes [list, list + size) followed by a terminator.
LPITEMIDLIST CopyListBytes(LPCITEMIDLIST list, std::size_t size_without_terminator);
// The concatenation of two lists.
LPITEMIDLIST AppendLists(LPCITEMIDLIST first, LPCITEMIDLIST second);
// Decodes every ID of a list.
std::vector<ItemId> DecodeList(LPCITEMIDLIST list);

}  // namespace item_ids
}  // namespace win
