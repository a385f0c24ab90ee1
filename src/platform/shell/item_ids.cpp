#include "platform/shell/item_ids.h"

#include "platform/com/com_init.h"
#include "platform/core/errors.h"

#include <algorithm>
#include <cstring>

namespace win::item_ids {
namespace {

USHORT ReadU16(const BYTE* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }

DWORD ReadU32(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
         (static_cast<DWORD>(p[3]) << 24);
}

ULONGLONG ReadU64(const BYTE* p) { return ReadU32(p) | (static_cast<ULONGLONG>(ReadU32(p + 4)) << 32); }

FILETIME ReadFileTime(const BYTE* p) { return FILETIME{ReadU32(p), ReadU32(p + 4)}; }

BYTE* WriteU16(BYTE* at, USHORT value) {
  at[0] = static_cast<BYTE>(value);
  at[1] = static_cast<BYTE>(value >> 8);
  return at + 2;
}

BYTE* WriteU32(BYTE* at, DWORD value) {
  for (int shift = 0; shift < 32; shift += 8) *at++ = static_cast<BYTE>(value >> shift);
  return at;
}

BYTE* WriteU64(BYTE* at, ULONGLONG value) { return WriteU32(WriteU32(at, static_cast<DWORD>(value)), static_cast<DWORD>(value >> 32)); }

BYTE* WriteFileTime(BYTE* at, const FILETIME& time) { return WriteU32(WriteU32(at, time.dwLowDateTime), time.dwHighDateTime); }

bool IsKnownKind(BYTE kind) {
  return kind >= static_cast<BYTE>(ItemKind::Computer) && kind <= static_cast<BYTE>(ItemKind::TrashEntry);
}

bool IsPathComponent(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

// An absolute path without empty, "." or ".." components ("/" itself is allowed).
bool IsMountPath(std::string_view path) {
  if (path.empty() || path.front() != '/' || path.find('\0') != std::string_view::npos) return false;
  if (path == "/") return true;
  std::size_t start = 1;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string_view component = path.substr(start, end - start);
    if (component.empty() || component == "." || component == "..") return false;
    start = end + 1;
  }
  return true;
}

bool IsValidName(ItemKind kind, std::string_view name) {
  switch (kind) {
    case ItemKind::Computer:
    case ItemKind::Home:
    case ItemKind::Trash:
      return name.empty();
    case ItemKind::Volume:
    case ItemKind::TrashEntry:
      return IsMountPath(name);
    default:
      return IsPathComponent(name);
  }
}

std::size_t NameOffset(ItemKind kind) { return kHeaderSize + (HasSnapshot(kind) ? kSnapshotSize : 0); }

// Checks one ID of `count` bytes starting at `id` (count already within the bytes left).
ListError ValidateId(const BYTE* id, std::size_t count) {
  if (count < kHeaderSize) return ListError::BadCount;
  if (!IsKnownKind(id[2])) return ListError::UnknownKind;
  if (id[3] != kLayoutVersion) return ListError::BadVersion;
  const auto kind = static_cast<ItemKind>(id[2]);
  const std::size_t name_offset = NameOffset(kind);
  if (count < name_offset) return ListError::BadSnapshot;
  const std::string_view name(reinterpret_cast<const char*>(id + name_offset), count - name_offset);
  return IsValidName(kind, name) ? ListError::None : ListError::BadName;
}

// A new list of `size` bytes, terminator included; nullptr, with ERROR_FILENAME_EXCED_RANGE as
// the last error, when that is more than a list may hold.
BYTE* NewList(std::size_t size) {
  if (size > kMaxListSize) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  auto* bytes = static_cast<BYTE*>(CoTaskMemAlloc(size));
  if (bytes == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return bytes;
}

}  // namespace

std::string_view ListErrorText(ListError error) {
  switch (error) {
    case ListError::None: return "valid";
    case ListError::Truncated: return "item ID list runs past its bytes";
    case ListError::TooLong: return "item ID list longer than 64 KiB";
    case ListError::BadCount: return "item ID shorter than its header";
    case ListError::UnknownKind: return "unknown item kind";
    case ListError::BadVersion: return "unknown item layout version";
    case ListError::BadName: return "invalid item name";
    case ListError::BadSnapshot: return "file item without its snapshot";
  }
  return "unknown error";
}

ListError ValidateList(const BYTE* bytes, std::size_t available, std::size_t* list_size) {
  if (bytes == nullptr) return ListError::Truncated;
  std::size_t offset = 0;
  for (;;) {
    if (available - offset < kCountSize) return offset + kCountSize > kMaxListSize ? ListError::TooLong : ListError::Truncated;
    const USHORT count = ReadU16(bytes + offset);
    if (count == 0) break;
    if (count > available - offset) return ListError::Truncated;
    if (offset + count + kCountSize > kMaxListSize) return ListError::TooLong;
    if (const ListError error = ValidateId(bytes + offset, count); error != ListError::None) return error;
    offset += count;
  }
  if (offset + kCountSize > kMaxListSize) return ListError::TooLong;
  if (list_size != nullptr) *list_size = offset + kCountSize;
  return ListError::None;
}

ItemId DecodeId(const SHITEMID& id) {
  const auto* bytes = reinterpret_cast<const BYTE*>(&id);
  ItemId decoded;
  if (id.cb < kHeaderSize) return decoded;
  decoded.kind = static_cast<ItemKind>(bytes[2]);
  if (HasSnapshot(decoded.kind) && id.cb >= kHeaderSize + kSnapshotSize) {
    const BYTE* p = bytes + kHeaderSize;
    decoded.snapshot.attributes = ReadU32(p);
    decoded.snapshot.size = ReadU64(p + 4);
    decoded.snapshot.creation = ReadFileTime(p + 12);
    decoded.snapshot.last_access = ReadFileTime(p + 20);
    decoded.snapshot.last_write = ReadFileTime(p + 28);
    decoded.snapshot.mode = ReadU32(p + 36);
  }
  const std::size_t name_offset = NameOffset(decoded.kind);
  const std::size_t count = id.cb;
  if (count > name_offset) decoded.name.assign(reinterpret_cast<const char*>(bytes + name_offset), count - name_offset);
  return decoded;
}

std::size_t EncodedSize(const ItemId& id) { return std::min<std::size_t>(NameOffset(id.kind) + id.name.size(), 0xFFFF); }

BYTE* WriteId(const ItemId& id, BYTE* at) {
  const std::size_t count = EncodedSize(id);
  BYTE* p = WriteU16(at, static_cast<USHORT>(count));
  *p++ = static_cast<BYTE>(id.kind);
  *p++ = kLayoutVersion;
  if (HasSnapshot(id.kind)) {
    p = WriteU32(p, id.snapshot.attributes);
    p = WriteU64(p, id.snapshot.size);
    p = WriteFileTime(p, id.snapshot.creation);
    p = WriteFileTime(p, id.snapshot.last_access);
    p = WriteFileTime(p, id.snapshot.last_write);
    p = WriteU32(p, id.snapshot.mode);
  }
  // A name too long for the count is cut where the count ends.
  const std::size_t name_bytes = count - static_cast<std::size_t>(p - at);
  if (name_bytes != 0) std::memcpy(p, id.name.data(), name_bytes);
  return at + count;
}

std::vector<BYTE> EncodeId(const ItemId& id) {
  std::vector<BYTE> out(EncodedSize(id));
  WriteId(id, out.data());
  return out;
}

LPCITEMIDLIST NextId(LPCITEMIDLIST list) {
  if (list == nullptr || list->mkid.cb == 0) return list;
  return reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const BYTE*>(list) + list->mkid.cb);
}

bool IsEmptyList(LPCITEMIDLIST list) { return list == nullptr || list->mkid.cb == 0; }

std::size_t ListSize(LPCITEMIDLIST list) {
  if (list == nullptr) return 0;
  std::size_t size = 0;
  const auto* bytes = reinterpret_cast<const BYTE*>(list);
  for (USHORT count = ReadU16(bytes); count != 0; count = ReadU16(bytes + size)) {
    if (size + count + kCountSize > kMaxListSize) break;
    size += count;
  }
  return size + kCountSize;
}

UINT ListCount(LPCITEMIDLIST list) {
  if (list == nullptr) return 0;
  const std::size_t size = ListSize(list);
  UINT count = 0;
  for (std::size_t offset = 0; offset + kCountSize < size; ++count)
    offset += ReadU16(reinterpret_cast<const BYTE*>(list) + offset);
  return count;
}

bool SameItem(const SHITEMID& a, const SHITEMID& b) {
  const auto* pa = reinterpret_cast<const BYTE*>(&a);
  const auto* pb = reinterpret_cast<const BYTE*>(&b);
  if (a.cb < kHeaderSize || b.cb < kHeaderSize || pa[2] != pb[2]) return false;
  const std::size_t offset = NameOffset(static_cast<ItemKind>(pa[2]));
  if (a.cb < offset || b.cb < offset || a.cb - offset != b.cb - offset) return false;
  return std::memcmp(pa + offset, pb + offset, a.cb - offset) == 0;
}

LPITEMIDLIST CopyList(LPCITEMIDLIST list) {
  return list == nullptr ? nullptr : CopyListBytes(list, ListSize(list) - kCountSize);
}

LPITEMIDLIST CopyListBytes(LPCITEMIDLIST list, std::size_t size_without_terminator) {
  BYTE* bytes = NewList(size_without_terminator + kCountSize);
  if (bytes == nullptr) return nullptr;
  if (size_without_terminator != 0) std::memcpy(bytes, list, size_without_terminator);
  bytes[size_without_terminator] = 0;
  bytes[size_without_terminator + 1] = 0;
  return reinterpret_cast<LPITEMIDLIST>(bytes);
}

LPITEMIDLIST AppendLists(LPCITEMIDLIST first, LPCITEMIDLIST second) {
  const std::size_t first_size = first == nullptr ? 0 : ListSize(first) - kCountSize;
  const std::size_t second_size = second == nullptr ? 0 : ListSize(second) - kCountSize;
  BYTE* bytes = NewList(first_size + second_size + kCountSize);
  if (bytes == nullptr) return nullptr;
  if (first_size != 0) std::memcpy(bytes, first, first_size);
  if (second_size != 0) std::memcpy(bytes + first_size, second, second_size);
  bytes[first_size + second_size] = 0;
  bytes[first_size + second_size + 1] = 0;
  return reinterpret_cast<LPITEMIDLIST>(bytes);
}

LPITEMIDLIST MakeList(const std::vector<ItemId>& ids) {
  std::size_t size = kCountSize;
  for (const ItemId& id : ids) size += EncodedSize(id);
  BYTE* bytes = NewList(size);
  if (bytes == nullptr) return nullptr;
  BYTE* at = bytes;
  for (const ItemId& id : ids) at = WriteId(id, at);
  WriteU16(at, 0);
  return reinterpret_cast<LPITEMIDLIST>(bytes);
}

std::vector<ItemId> DecodeList(LPCITEMIDLIST list) {
  std::vector<ItemId> ids;
  const UINT count = ListCount(list);
  LPCITEMIDLIST id = list;
  for (UINT i = 0; i < count; ++i, id = NextId(id)) ids.push_back(DecodeId(id->mkid));
  return ids;
}

}  // namespace win::item_ids
