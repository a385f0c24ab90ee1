// Text conversion between UTF-8 (narrow) and UTF-16 (wide), and case-insensitive comparison.
#pragma once

#include "platform/core/types.h"

#include <string>
#include <string_view>

namespace win {

// Malformed input (stray or truncated sequences, unpaired surrogates, overlong forms) becomes
// U+FFFD, one per offending unit; the conversion never reads past the input.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// The UTF-8 form of a null-terminated wide string; empty for a null pointer.
std::string Narrow(LPCWSTR text);

// Decodes the code point that starts at text[pos] (pos < text.size()) and moves pos past it; an
// unpaired surrogate gives U+FFFD and moves pos one unit.
char32_t NextUtf16CodePoint(std::u16string_view text, std::size_t& pos);

// Simple case folding of one code point (ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic).
char32_t FoldCase(char32_t code_point);

// Ordinal comparison after case folding: negative, 0 or positive.
int CompareIgnoreCase(std::u16string_view left, std::u16string_view right);
int CompareIgnoreCase(std::string_view left, std::string_view right);

// Keys for sorting many texts without case: each text folded once (unpaired surrogates as
// U+FFFD) and appended to out; two folded texts compare by CompareFolded exactly as their
// originals compare by CompareIgnoreCase.
void AppendFolded(std::u16string& out, std::u16string_view text);
int CompareFolded(std::u16string_view left, std::u16string_view right);

// Null-terminated forms; a null pointer compares as the empty string.
int lstrcmpiW(LPCWSTR left, LPCWSTR right);
int lstrcmpiA(LPCSTR left, LPCSTR right);
int lstrlenW(LPCWSTR text);

}  // namespace win
