#include "platform/text/text_decode.h"

#include "platform/core/strings.h"

#include <cstdint>

namespace win::text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes the sequence starting at bytes[at]; answers the character and its length, or the
// replacement character and length 1 when the sequence is malformed.
std::pair<char32_t, std::size_t> DecodeUtf8Sequence(std::string_view bytes, std::size_t at) {
  const auto lead = static_cast<std::uint8_t>(bytes[at]);
  if (lead < 0x80) return {lead, 1};
  std::size_t length;
  char32_t value;
  char32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return {kReplacement, 1};
  }
  if (length > bytes.size() - at) return {kReplacement, 1};
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<std::uint8_t>(bytes[at + i]);
    if ((next & 0xC0) != 0x80) return {kReplacement, 1};
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return {kReplacement, 1};
  return {value, length};
}

}  // namespace

DecodedText DecodeUtf8(std::string_view bytes) {
  DecodedText text;
  text.characters.reserve(bytes.size());
  text.first_unit.reserve(bytes.size() + 1);
  std::size_t at = 0;
  while (at < bytes.size()) {
    const auto [character, length] = DecodeUtf8Sequence(bytes, at);
    text.characters.push_back(character);
    text.first_unit.push_back(static_cast<int>(at));
    at += length;
  }
  text.first_unit.push_back(static_cast<int>(bytes.size()));
  return text;
}

DecodedText DecodeUtf16(std::u16string_view units) {
  DecodedText text;
  text.characters.reserve(units.size());
  text.first_unit.reserve(units.size() + 1);
  for (std::size_t at = 0; at < units.size();) {
    text.first_unit.push_back(static_cast<int>(at));
    text.characters.push_back(NextUtf16CodePoint(units, at));
  }
  text.first_unit.push_back(static_cast<int>(units.size()));
  return text;
}

}  // namespace win::text
