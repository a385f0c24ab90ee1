// Locale information: the English names and ANSI code pages of the common languages, and the
// locale of a POSIX locale name.
#pragma once

#include "platform/core/types.h"

#include <string_view>

namespace win {

using LCTYPE = DWORD;

constexpr LCTYPE LOCALE_SENGLANGUAGE = 0x00001001;
constexpr LCTYPE LOCALE_IDEFAULTANSICODEPAGE = 0x00001004;
constexpr LCTYPE LOCALE_NOUSEROVERRIDE = 0x80000000;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;

// LOCALE_SENGLANGUAGE: the English name of the LCID's language ("German" for 0x0407 and 0x0807
// alike); LOCALE_IDEFAULTANSICODEPAGE: its ANSI code page in decimal ("1252"; "0" for a language
// written in Unicode only). The defaults are English. Answers the characters written with the terminator,
// or, for a size of 0, the size needed; 0 with ERROR_INVALID_PARAMETER for an unknown language or
// information type, ERROR_INSUFFICIENT_BUFFER when the name does not fit.
INT GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR buffer, INT size);

// The ANSI code page of the LCID's language; 0 for an unknown language or none.
UINT AnsiCodePageOfLocale(LCID locale);
// The LCID of a POSIX locale name such as "de_DE.UTF-8" (0x0407) or "en_GB" (0x0809): the
// territory's locale where it is not the language's first one, otherwise the language's first;
// 0 for "C", "POSIX" and unknown languages.
LCID LcidOfLocaleName(std::string_view name);

}  // namespace win
