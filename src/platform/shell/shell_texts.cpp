#include "platform/shell/shell_texts.h"

#include "platform/core/strings.h"
#include "platform/shell/file_info.h"
#include "platform/shell/shell.h"

#include <cstdio>
#include <memory>
#include <mutex>

namespace win::shell_texts {
namespace {

struct State {
  std::mutex mutex;
  std::shared_ptr<const Formatters> formatters = std::make_shared<const Formatters>();
};

State& TheState() {
  static State state;
  return state;
}

std::shared_ptr<const Formatters> Current() {
  std::lock_guard lock(TheState().mutex);
  return TheState().formatters;
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
  auto installed = std::make_shared<const Formatters>(std::move(formatters));
  std::lock_guard lock(TheState().mutex);
  TheState().formatters = std::move(installed);
}

std::u16string Kilobytes(ULONGLONG size) {
  if (const auto formatters = Current(); formatters->kilobytes) return formatters->kilobytes(size);
  const ULONGLONG kilobytes = (size + 512) / 1024;
  return Grouped(kilobytes == 0 ? 1 : kilobytes) + u" KB";
}

std::u16string Bytes(ULONGLONG size) {
  if (const auto formatters = Current(); formatters->bytes) return formatters->bytes(size);
  return Grouped(size);
}

std::u16string Time(const FILETIME& time) {
  if (const auto formatters = Current(); formatters->time) return formatters->time(time);
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
