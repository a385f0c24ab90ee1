#include "components/serial/serial_trace.h"

#include <cstdio>

#include "components/serial/serial_errors.h"

namespace dashtune::serial {
namespace {

constexpr std::size_t kTraceLineWidth = 78;

std::string KindHeader(std::uint8_t kind) {
  if (kind == kTraceTransmit) return "Transmit: ";
  if (kind == kTraceReceive) return "Receive: ";
  return std::string("Special-") + static_cast<char>(kind) + ": ";
}

}  // namespace

int TraceBuffer::Start(int capacity) {
  if (entries_.empty()) {
    if (capacity < 1 || capacity > kMaxTraceEntries) return kErrBadArgument;
    entries_.assign(static_cast<std::size_t>(capacity), TraceEntry{});
  }
  Clear();
  active_ = true;
  return kOK;
}

void TraceBuffer::Stop() {
  active_ = false;
  entries_.clear();
  entries_.shrink_to_fit();
  Clear();
}

void TraceBuffer::Clear() {
  index_ = 0;
  wrapped_ = false;
}

void TraceBuffer::Add(std::uint8_t kind, std::uint8_t byte) {
  if (!active_ || entries_.empty()) return;
  entries_[index_] = TraceEntry{kind, byte};
  if (++index_ == entries_.size()) {
    index_ = 0;
    wrapped_ = true;
  }
}

std::vector<TraceEntry> TraceBuffer::Entries() const {
  std::vector<TraceEntry> ordered;
  if (wrapped_) {
    ordered.assign(entries_.begin() + static_cast<std::ptrdiff_t>(index_), entries_.end());
  }
  ordered.insert(ordered.end(), entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(index_));
  return ordered;
}

std::string FormatTraceByte(std::uint8_t byte, bool allHex, bool hexUnprintable) {
  char text[8];
  if (!allHex) {
    int lowest = hexUnprintable ? 33 : 32;
    if (byte >= lowest && byte <= 126) return std::string(1, static_cast<char>(byte));
    if (!hexUnprintable) {
      std::snprintf(text, sizeof text, "[%u]", static_cast<unsigned>(byte));
      return text;
    }
  }
  std::snprintf(text, sizeof text, "[%02X]", static_cast<unsigned>(byte));
  return text;
}

std::vector<std::string> FormatTraceLines(const std::vector<TraceEntry>& entries, bool allHex, bool hexUnprintable) {
  std::vector<std::string> lines;
  std::size_t column = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i == 0 || entries[i].Kind != entries[i - 1].Kind) {
      lines.push_back(KindHeader(entries[i].Kind));
      column = 0;
    }
    std::string item = FormatTraceByte(entries[i].Byte, allHex, hexUnprintable);
    column += item.size();
    if (column > kTraceLineWidth) {
      lines.emplace_back();
      column = item.size();
    }
    lines.back() += item;
  }
  return lines;
}

}  // namespace dashtune::serial
