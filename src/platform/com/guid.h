// Globally unique identifiers: interface and class ids.
#pragma once

#include "platform/core/types.h"

#include <string>
#include <string_view>

namespace win {

struct GUID {
  DWORD Data1 = 0;
  WORD Data2 = 0;
  WORD Data3 = 0;
  BYTE Data4[8] = {};

  friend constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
      if (a.Data4[i] != b.Data4[i]) return false;
    return true;
  }
};

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr GUID GUID_NULL{};

inline BOOL IsEqualGUID(REFGUID a, REFGUID b) { return a == b ? TRUE : FALSE; }
inline BOOL IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline BOOL IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }

namespace guid_detail {
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
constexpr unsigned long long Hex(std::string_view text, std::size_t pos, std::size_t digits, bool& ok) {
  unsigned long long value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const int digit = pos + i < text.size() ? HexDigit(text[pos + i]) : -1;
    if (digit < 0) ok = false;
    value = value * 16 + static_cast<unsigned>(digit < 0 ? 0 : digit);
  }
  return value;
}
}  // namespace guid_detail

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", with or without braces; `ok` reports whether the
// text had that form. Usable at compile time for the ids the code names.
constexpr GUID ParseGuid(std::string_view text, bool& ok) {
  ok = true;
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') {
    ok = false;
    return GUID_NULL;
  }
  GUID guid;
  guid.Data1 = static_cast<DWORD>(guid_detail::Hex(text, 0, 8, ok));
  guid.Data2 = static_cast<WORD>(guid_detail::Hex(text, 9, 4, ok));
  guid.Data3 = static_cast<WORD>(guid_detail::Hex(text, 14, 4, ok));
  guid.Data4[0] = static_cast<BYTE>(guid_detail::Hex(text, 19, 2, ok));
  guid.Data4[1] = static_cast<BYTE>(guid_detail::Hex(text, 21, 2, ok));
  for (std::size_t i = 0; i < 6; ++i) guid.Data4[2 + i] = static_cast<BYTE>(guid_detail::Hex(text, 24 + 2 * i, 2, ok));
  return ok ? guid : GUID_NULL;
}

// For ids written in the code: a malformed literal does not compile.
consteval GUID MakeGuid(std::string_view text) {
  bool ok = false;
  const GUID guid = ParseGuid(text, ok);
  if (!ok) throw "malformed GUID literal";
  return guid;
}

// "{70E102B0-5556-11CE-97C0-00AA0055595A}": upper-case hex in braces.
std::string GuidToString(REFGUID guid);

}  // namespace win
