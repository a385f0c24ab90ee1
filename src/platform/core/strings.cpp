#include "platform/core/strings.h"

#include <algorithm>

namespace win {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one code point at `pos`, advancing it; malformed input yields U+FFFD and consumes the
// offending lead byte only (or the valid prefix of a truncated sequence).
char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
  const unsigned char lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) return lead;
  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 1, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 2, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 3, value = lead & 0x07, minimum = 0x10000;
  } else {
    return kReplacement;
  }
  const std::size_t start = pos;
  for (std::size_t i = 0; i < length; ++i) {
    if (pos >= text.size() || !IsContinuation(static_cast<unsigned char>(text[pos]))) {
      return kReplacement;
    }
    value = (value << 6) | (static_cast<unsigned char>(text[pos++]) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    pos = start;
    return kReplacement;
  }
  return value;
}

void AppendUtf8(std::string& out, char32_t value) {
  if (value < 0x80) {
    out += static_cast<char>(value);
  } else if (value < 0x800) {
    out += static_cast<char>(0xC0 | (value >> 6));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else if (value < 0x10000) {
    out += static_cast<char>(0xE0 | (value >> 12));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (value >> 18));
    out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t value) {
  if (value < 0x10000) {
    out += static_cast<char16_t>(value);
  } else {
    value -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (value >> 10));
    out += static_cast<char16_t>(0xDC00 + (value & 0x3FF));
  }
}

}  // namespace

char32_t NextUtf16CodePoint(std::u16string_view text, std::size_t& pos) {
  const char16_t unit = text[pos++];
  if (unit < 0xD800 || unit > 0xDFFF) return unit;
  if (unit >= 0xDC00 || pos >= text.size() || text[pos] < 0xDC00 || text[pos] > 0xDFFF) {
    return kReplacement;
  }
  const char16_t low = text[pos++];
  return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00);
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) AppendUtf16(out, DecodeUtf8(text, pos));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) AppendUtf8(out, NextUtf16CodePoint(text, pos));
  return out;
}

std::string Narrow(LPCWSTR text) { return text == nullptr ? std::string() : Utf16ToUtf8(text); }

char32_t FoldCase(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 32;
  if (c < 0xC0) return c;
  if (c <= 0xDE) return c == 0xD7 ? c : c + 32;                        // Latin-1 letters
  if (c >= 0x100 && c <= 0x17F) {                                      // Latin Extended-A pairs
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
    if (c == 0x178) return 0xFF;
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    return (c & 1) ? c : c + 1;
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;            // Greek capitals
  if (c >= 0x410 && c <= 0x42F) return c + 32;                          // Cyrillic capitals
  if (c >= 0x400 && c <= 0x40F) return c + 80;                          // Cyrillic Ѐ..Џ
  return c;
}

int CompareIgnoreCase(std::u16string_view left, std::u16string_view right) {
  // Code point by code point, folded on the way: no copies of either text.
  std::size_t i = 0, j = 0;
  while (i < left.size() && j < right.size()) {
    const char32_t a = FoldCase(NextUtf16CodePoint(left, i));
    const char32_t b = FoldCase(NextUtf16CodePoint(right, j));
    if (a != b) return a < b ? -1 : 1;
  }
  if (i < left.size()) return 1;
  return j < right.size() ? -1 : 0;
}

void AppendFolded(std::u16string& out, std::u16string_view text) {
  for (std::size_t pos = 0; pos < text.size();) AppendUtf16(out, FoldCase(NextUtf16CodePoint(text, pos)));
}

namespace {
// UTF-16 units rearranged so that comparing them orders by code point: surrogates (which make
// up code points above U+FFFF) move above U+E000..U+FFFF.
char16_t InCodePointOrder(char16_t unit) {
  if (unit < 0xD800) return unit;
  return static_cast<char16_t>(unit >= 0xE000 ? unit - 0x800 : unit + 0x2000);
}
}  // namespace

int CompareFolded(std::u16string_view left, std::u16string_view right) {
  const std::size_t common = std::min(left.size(), right.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (left[i] == right[i]) continue;
    return InCodePointOrder(left[i]) < InCodePointOrder(right[i]) ? -1 : 1;
  }
  return left.size() < right.size() ? -1 : (left.size() > right.size() ? 1 : 0);
}

int CompareIgnoreCase(std::string_view left, std::string_view right) {
  return CompareIgnoreCase(Utf8ToUtf16(left), Utf8ToUtf16(right));
}

int lstrcmpiW(LPCWSTR left, LPCWSTR right) {
  return CompareIgnoreCase(std::u16string_view(left ? left : u""), std::u16string_view(right ? right : u""));
}

int lstrcmpiA(LPCSTR left, LPCSTR right) {
  return CompareIgnoreCase(std::string_view(left ? left : ""), std::string_view(right ? right : ""));
}

int lstrlenW(LPCWSTR text) {
  return text ? static_cast<int>(std::u16string_view(text).size()) : 0;
}

}  // namespace win
