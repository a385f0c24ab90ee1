#include "platform/dshow/dvd_language.h"

namespace win {

namespace {

struct LanguageCode {
  char code[3];
  WORD primary;
};

constexpr LanguageCode kLanguageCodes[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06}, {"de", 0x07},
    {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C}, {"he", 0x0D}, {"hu", 0x0E},
    {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13}, {"no", 0x14}, {"pl", 0x15},
    {"pt", 0x16}, {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A}, {"sk", 0x1B}, {"sq", 0x1C}, {"sv", 0x1D},
    {"th", 0x1E}, {"tr", 0x1F}, {"id", 0x21}, {"uk", 0x22}, {"be", 0x23}, {"sl", 0x24}, {"et", 0x25},
    {"lv", 0x26}, {"lt", 0x27}, {"fa", 0x29}, {"vi", 0x2A}, {"hi", 0x39}, {"ms", 0x3E},
};

constexpr LCID kSublangDefault = 0x01;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

LCID LocaleOfLanguageCode(std::string_view code) {
  if (code.size() != 2) return 0;
  for (const LanguageCode& entry : kLanguageCodes) {
    if (entry.code[0] == Lower(code[0]) && entry.code[1] == Lower(code[1])) {
      return (kSublangDefault << 10) | entry.primary;
    }
  }
  return 0;
}

}  // namespace win
