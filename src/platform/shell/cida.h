// The "Shell IDList Array" record (CIDA) that copied, cut and dragged items travel in:
//   u32 count | u32 offsets[count + 1] | the lists at those offsets,
// offsets counted from the block's start; offsets[0] is the parent folder's absolute list, the
// others are the members' lists relative to it (absolute when the parent is the desktop).
#pragma once

#include "platform/shell/item_ids.h"
#include "platform/shell/namespace_model.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace win {

struct CIDA {
  UINT cidl;
  UINT aoffset[1];
};

namespace cida {

inline constexpr std::string_view kFormatName = "Shell IDList Array";
inline constexpr std::string_view kPreferredDropEffectName = "Preferred DropEffect";
// No real selection comes near this; it bounds the offset table of a hostile block.
inline constexpr UINT kMaxMembers = 1u << 20;

// The record's bytes; nothing when it would hold more than kMaxMembers members.
std::optional<std::vector<BYTE>> Encode(LPCITEMIDLIST parent, std::span<const LPCITEMIDLIST> members);

// OverlappingLists: the lists would take more bytes than the block holds after its table, as
// when offsets point into one another's lists or at one list many times.
enum class Error { None, Truncated, TooManyMembers, BadOffset, BadList, NoMembers, OverlappingLists };

// The lists of a record, each copied with its terminator.
struct Record {
  std::vector<BYTE> parent;
  std::vector<std::vector<BYTE>> members;
};

// Reads a record that arrives as bytes: the count and its offset table inside the block, every
// offset past the table and inside the block, every list valid (item_ids::ValidateList) within
// the bytes after its offset, no two lists sharing bytes, at least one member.
std::optional<Record> Decode(const BYTE* bytes, std::size_t size, Error* error = nullptr);

// What each member names: the parent joined with the member and resolved in the namespace.
// Nothing when a joined list is too long or names nothing the namespace knows; members that are
// not files, folders or file-system places (Computer, Trash, the desktop) are refused too.
std::optional<std::vector<shell_model::Item>> ResolveMembers(const Record& record);

}  // namespace cida
}  // namespace win
