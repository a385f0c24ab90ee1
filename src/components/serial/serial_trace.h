// The dispatcher's trace buffer (every byte sent and received) and the text form of its entries
// and of the log's entries. The dispatcher guards both with its state lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dashtune::serial {

inline constexpr int kMaxTraceEntries = 4000000;
inline constexpr std::uint8_t kTraceTransmit = 'T';
inline constexpr std::uint8_t kTraceReceive = 'R';

struct TraceEntry {
  std::uint8_t Kind = 0;
  std::uint8_t Byte = 0;
};

class TraceBuffer {
 public:
  // Allocates a buffer of capacity entries, or clears the one that exists; then recording is on.
  // A capacity below 1 or above kMaxTraceEntries is refused with -1002.
  int Start(int capacity);
  void Stop();
  void Clear();
  void Pause() { active_ = false; }
  void Resume() { active_ = !entries_.empty(); }
  // Records one entry while active; the oldest entries are overwritten once the buffer is full.
  void Add(std::uint8_t kind, std::uint8_t byte);

  bool Active() const { return active_; }
  bool Exists() const { return !entries_.empty(); }
  // The recorded entries, oldest first.
  std::vector<TraceEntry> Entries() const;

 private:
  std::vector<TraceEntry> entries_;
  std::size_t index_ = 0;
  bool wrapped_ = false;
  bool active_ = false;
};

// One byte as the trace and log files write it: "[XX]" with allHex; otherwise a printable byte
// (from 32, or from 33 with hexUnprintable, up to 126) as itself and any other as "[XX]" with
// hexUnprintable or "[decimal]" without.
std::string FormatTraceByte(std::uint8_t byte, bool allHex, bool hexUnprintable);

// The lines of a trace file: a new line headed "Transmit: ", "Receive: " or "Special-k: " at
// every change of kind, and a line break before an item that takes the line past 78 columns.
std::vector<std::string> FormatTraceLines(const std::vector<TraceEntry>& entries, bool allHex, bool hexUnprintable);

}  // namespace dashtune::serial
