// Code pages: narrow text to UTF-16. The process's ANSI code page is UTF-8 (narrow strings are
// UTF-8 throughout); code page 1252 is the one the keyboard layouts of the western European
// locales type in.
#pragma once

#include "platform/core/types.h"

namespace win {

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;
constexpr UINT CP_WINDOWS_1252 = 1252;

constexpr DWORD MB_PRECOMPOSED = 0x00000001;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;

// The process's ANSI code page: CP_UTF8.
UINT GetACP();
// Whether MultiByteToWideChar knows the code page.
BOOL IsValidCodePage(UINT code_page);

// Converts `count` bytes of `text` (-1: up to and including its terminating zero) to UTF-16 and
// answers the code units written, or with a `wide_size` of 0 the code units needed. Malformed
// UTF-8 becomes U+FFFD, or with MB_ERR_INVALID_CHARS fails with ERROR_NO_UNICODE_TRANSLATION.
// Fails (0) with ERROR_INVALID_PARAMETER for an unknown code page or bad pointers and sizes,
// ERROR_INVALID_FLAGS for flags other than the two above, ERROR_INSUFFICIENT_BUFFER when the
// result does not fit (nothing is then written). An empty input also answers 0.
INT MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR text, INT count, LPWSTR wide, INT wide_size);

}  // namespace win
