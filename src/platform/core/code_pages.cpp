#include "platform/core/code_pages.h"

#include "platform/core/errors.h"
#include "platform/core/strings.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace win {

namespace {

// Code page 1252 differs from Latin-1 only in 0x80..0x9F; its five unassigned bytes there map to
// the C1 control characters of the same value, as the platform maps them.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::u16string FromWindows1252(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (const char byte : text) {
    const auto value = static_cast<unsigned char>(byte);
    out.push_back(value >= 0x80 && value < 0xA0 ? kWindows1252High[value - 0x80] : static_cast<char16_t>(value));
  }
  return out;
}

// Whether every U+FFFD of the conversion stands for an encoded U+FFFD of the input.
bool DecodedCleanly(std::string_view text, const std::u16string& wide) {
  constexpr std::string_view kEncodedReplacement = "\xEF\xBF\xBD";
  std::size_t encoded = 0;
  for (std::size_t pos = text.find(kEncodedReplacement); pos != std::string_view::npos;
       pos = text.find(kEncodedReplacement, pos + kEncodedReplacement.size()))
    ++encoded;
  return static_cast<std::size_t>(std::count(wide.begin(), wide.end(), u'\xFFFD')) == encoded;
}

INT Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

UINT GetACP() { return CP_UTF8; }

BOOL IsValidCodePage(UINT code_page) {
  return code_page == CP_UTF8 || code_page == CP_WINDOWS_1252 ? TRUE : FALSE;
}

INT MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR text, INT count, LPWSTR wide, INT wide_size) {
  if (code_page == CP_ACP) code_page = GetACP();
  if (!IsValidCodePage(code_page) || text == nullptr || count < -1 || count == 0 || wide_size < 0 ||
      (wide_size > 0 && wide == nullptr))
    return Fail(ERROR_INVALID_PARAMETER);
  if ((flags & ~(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS)) != 0) return Fail(ERROR_INVALID_FLAGS);
  // With -1 the terminator is converted too.
  const std::size_t length = count == -1 ? std::strlen(text) + 1 : static_cast<std::size_t>(count);
  const std::string_view input(text, length);
  std::u16string converted;
  if (code_page == CP_UTF8) {
    converted = Utf8ToUtf16(input);
    if ((flags & MB_ERR_INVALID_CHARS) != 0 && !DecodedCleanly(input, converted))
      return Fail(ERROR_NO_UNICODE_TRANSLATION);
  } else {
    converted = FromWindows1252(input);
  }
  if (converted.size() > static_cast<std::size_t>(std::numeric_limits<INT>::max())) return Fail(ERROR_INVALID_PARAMETER);
  const INT needed = static_cast<INT>(converted.size());
  if (wide_size == 0) return needed;
  if (wide_size < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::copy(converted.begin(), converted.end(), wide);
  return needed;
}

}  // namespace win
