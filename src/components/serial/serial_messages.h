// The serial library's message table: a text for every library error code and for the status,
// log and network numbers, looked up by ErrorMsg.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace dashtune::serial {

struct SerMessageNumberLookupRecord {
  std::int32_t MessageNumber;  // negative for error codes, positive for status and log texts
  const char* MessageString;
};

inline constexpr std::size_t kMessageCount = 897;

// Sorted by the absolute value of MessageNumber; no two records share that value.
extern const std::array<SerMessageNumberLookupRecord, kMessageCount> kMessageTable;

// Message numbers of the dispatcher log's texts.
inline constexpr int kLogKindTextBase = 15001;    // + log kind
inline constexpr int kLogCodeTextBase = 15100;    // + log code
inline constexpr int kLogColumnHeaderText = 15501;
inline constexpr int kLogColumnUnderlineText = 15502;

}  // namespace dashtune::serial
