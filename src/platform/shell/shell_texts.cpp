#include "platform/shell/shell_texts.h"

#include "platform/core/strings.h"
#include "platform/shell/file_info.h"
#include "platform/shell/shell.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

namespace win::shell_texts {
namespace {

// Every text of a details view asks for the formatting: reading it takes one load. Formatting
// once installed stays until the program ends, so a reader never sees it freed.
struct State {
  std::mutex mutex;
  std::vector<std::unique_ptr<const Formatters>> installed;  // guarded by mutex
  std::atomic<const Formatters*> current{nullptr};
};

State& TheState() {
  static State state;
  return state;
}

const Formatters& Current() {
  static const Formatters kFixed;
  const Formatters* formatters = TheState().current.load(std::memory_order_acquire);
  return formatters != nullptr ? *formatters : kFixed;
}

std::u16string Grouped(ULONGLONG value) {
  const std::string digits = std::to_string(value);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return Utf8ToUtf16(grouped);
}

}  // namespace

void SetFormatters(Formatters formatters) {
  State& state = TheState();
  std::lock_guard lock(state.mutex);
  state.installed.push_back(std::make_unique<const Formatters>(std::move(formatters)));
  state.current.store(state.installed.back().get(), std::memory_order_release);
}

std::u16string Kilobytes(ULONGLONG size) {
  if (const Formatters& formatters = Current(); formatters.kilobytes) return formatters.kilobytes(size);
  const ULONGLONG kilobytes = (size + 512) / 1024;
  return Grouped(kilobytes == 0 ? 1 : kilobytes) + u" KB";
}

std::u16string Bytes(ULONGLONG size) {
  if (const Formatters& formatters = Current(); formatters.bytes) return formatters.bytes(size);
  return Grouped(size);
}

std::u16string Time(const FILETIME& time) {
  if (const Formatters& formatters = Current(); formatters.time) return formatters.time(time);
  FILETIME local;
  SYSTEMTIME parts;
  if (file_info::FileTimeValue(time) == 0 || !FileTimeToLocalFileTime(&time, &local) ||
      !FileTimeToSystemTime(&local, &parts))
    return {};
  char text[64];
  std::snprintf(text, sizeof(text), "%02u/%02u/%04u %02u:%02u:%02u", parts.wDay, parts.wMonth, parts.wYear, parts.wHour,
                parts.wMinute, parts.wSecond);
  return Utf8ToUtf16(text);
}

}  // namespace win::shell_texts
