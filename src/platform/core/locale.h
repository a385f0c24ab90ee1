// Locale information: the English names of the common languages.
#pragma once

#include "platform/core/types.h"

namespace win {

using LCTYPE = DWORD;

constexpr LCTYPE LOCALE_SENGLANGUAGE = 0x00001001;
constexpr LCTYPE LOCALE_NOUSEROVERRIDE = 0x80000000;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;

// Only LOCALE_SENGLANGUAGE: the English name of the LCID's language ("German" for 0x0407 and
// 0x0807 alike); the defaults are English. Answers the characters written with the terminator,
// or, for a size of 0, the size needed; 0 with ERROR_INVALID_PARAMETER for an unknown language or
// information type, ERROR_INSUFFICIENT_BUFFER when the name does not fit.
INT GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR buffer, INT size);

}  // namespace win
