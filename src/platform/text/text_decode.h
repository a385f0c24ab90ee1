// Text arguments of the narrow (UTF-8 bytes) and wide (UTF-16) calls as characters. Counts and
// per-character widths of the calls are in code units, so each character remembers where its
// units start.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace win::text {

struct DecodedText {
  std::u32string characters;
  // first_unit[i] is the index of the first code unit of characters[i]; one extra entry holds
  // the total unit count.
  std::vector<int> first_unit;
};

// Malformed sequences (stray continuation bytes, truncated or overlong sequences, surrogates,
// values above U+10FFFF, unpaired UTF-16 surrogates) become U+FFFD, one per offending unit.
DecodedText DecodeUtf8(std::string_view bytes);
DecodedText DecodeUtf16(std::u16string_view units);

}  // namespace win::text
