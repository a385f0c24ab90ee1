#include "platform/shell/cida.h"

#include "platform/com/com_init.h"

#include <cstring>

namespace win::cida {
namespace {

constexpr std::size_t kWord = sizeof(UINT);

UINT ReadWord(const BYTE* at) {
  return static_cast<UINT>(at[0]) | static_cast<UINT>(at[1]) << 8 | static_cast<UINT>(at[2]) << 16 |
         static_cast<UINT>(at[3]) << 24;
}

void WriteWord(std::vector<BYTE>& out, std::size_t at, UINT value) {
  for (std::size_t i = 0; i < kWord; ++i) out[at + i] = static_cast<BYTE>(value >> (8 * i));
}

void Append(std::vector<BYTE>& out, LPCITEMIDLIST list) {
  const auto* bytes = reinterpret_cast<const BYTE*>(list);
  out.insert(out.end(), bytes, bytes + item_ids::ListSize(list) - item_ids::kCountSize);
  out.insert(out.end(), item_ids::kCountSize, 0);
}

Error Fail(Error* out, Error error) {
  if (out != nullptr) *out = error;
  return error;
}

// The list starting at `offset`, validated within the block.
std::optional<std::vector<BYTE>> ListAt(const BYTE* bytes, std::size_t size, std::size_t table_end, UINT offset) {
  if (offset < table_end || offset >= size) return std::nullopt;
  std::size_t list_size = 0;
  if (item_ids::ValidateList(bytes + offset, size - offset, &list_size) != item_ids::ListError::None) return std::nullopt;
  return std::vector<BYTE>(bytes + offset, bytes + offset + list_size);
}

// Places whose files a paste may copy, move or link.
bool IsTransferable(const shell_model::Item& item) {
  using shell_model::Place;
  return (item.place == Place::FileSystem || item.place == Place::Home || item.place == Place::Volume) &&
         !item.path.empty();
}

}  // namespace

std::optional<std::vector<BYTE>> Encode(LPCITEMIDLIST parent, std::span<const LPCITEMIDLIST> members) {
  if (members.size() > kMaxMembers) return std::nullopt;
  const ITEMIDLIST empty{};
  const std::size_t table_end = kWord * (members.size() + 2);
  std::vector<BYTE> out(table_end);
  WriteWord(out, 0, static_cast<UINT>(members.size()));
  WriteWord(out, kWord, static_cast<UINT>(out.size()));
  Append(out, parent == nullptr ? &empty : parent);
  for (std::size_t i = 0; i < members.size(); ++i) {
    WriteWord(out, kWord * (i + 2), static_cast<UINT>(out.size()));
    Append(out, members[i] == nullptr ? &empty : members[i]);
  }
  return out;
}

std::optional<Record> Decode(const BYTE* bytes, std::size_t size, Error* error) {
  Fail(error, Error::None);
  if (bytes == nullptr || size < kWord) return Fail(error, Error::Truncated), std::nullopt;
  const UINT count = ReadWord(bytes);
  if (count == 0) return Fail(error, Error::NoMembers), std::nullopt;
  if (count > kMaxMembers) return Fail(error, Error::TooManyMembers), std::nullopt;
  const std::size_t table_end = kWord * (static_cast<std::size_t>(count) + 2);
  if (table_end > size) return Fail(error, Error::Truncated), std::nullopt;
  Record record;
  // Lists lie side by side after the table: copied, they never take more than the block holds.
  // This bounds the work and the memory by the record's own size however its offsets point.
  std::size_t copied = 0;
  for (UINT i = 0; i <= count; ++i) {
    const UINT offset = ReadWord(bytes + kWord * (i + 1));
    if (offset < table_end || offset >= size) return Fail(error, Error::BadOffset), std::nullopt;
    std::optional<std::vector<BYTE>> list = ListAt(bytes, size, table_end, offset);
    if (!list) return Fail(error, Error::BadList), std::nullopt;
    copied += list->size();
    if (copied > size - table_end) return Fail(error, Error::OverlappingLists), std::nullopt;
    if (i == 0) record.parent = std::move(*list);
    else record.members.push_back(std::move(*list));
  }
  return record;
}

std::optional<std::vector<shell_model::Item>> ResolveMembers(const Record& record) {
  const auto* parent = reinterpret_cast<LPCITEMIDLIST>(record.parent.data());
  std::vector<shell_model::Item> items;
  for (const std::vector<BYTE>& member : record.members) {
    // Both lists carry a terminator; the joined list carries one.
    if (record.parent.size() + member.size() - item_ids::kCountSize > item_ids::kMaxListSize) return std::nullopt;
    LPITEMIDLIST joined = item_ids::AppendLists(parent, reinterpret_cast<LPCITEMIDLIST>(member.data()));
    if (joined == nullptr) return std::nullopt;
    std::optional<shell_model::Item> item = shell_model::Resolve(joined);
    CoTaskMemFree(joined);
    if (!item || !IsTransferable(*item)) return std::nullopt;
    items.push_back(std::move(*item));
  }
  return items;
}

}  // namespace win::cida
