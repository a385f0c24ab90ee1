// The texts the shell shows for sizes and times in details columns and the properties window.
// The shell library installs its own formatting when it starts, so that these read exactly as
// its items' texts do; until then a fixed English form is used.
#pragma once

#include "platform/core/types.h"

#include <functional>
#include <string>

namespace win::shell_texts {

struct Formatters {
  std::function<std::u16string(ULONGLONG size)> kilobytes;  // "1,206 KB"
  std::function<std::u16string(ULONGLONG size)> bytes;      // "1,234,567"
  std::function<std::u16string(const FILETIME& time)> time;  // local time, empty for none
};

// Replaces the formatting (an empty member keeps the fixed form for that text). Call it while
// no other thread asks for texts (the shell library's start).
void SetFormatters(Formatters formatters);

std::u16string Kilobytes(ULONGLONG size);
std::u16string Bytes(ULONGLONG size);
std::u16string Time(const FILETIME& time);

}  // namespace win::shell_texts
