#include "platform/core/locale.h"

#include "platform/core/errors.h"

#include <cstring>

namespace win {

namespace {

struct Language {
  WORD primary;
  const char* name;
};

constexpr Language kLanguages[] = {
    {0x01, "Arabic"},    {0x02, "Bulgarian"},  {0x03, "Catalan"},   {0x04, "Chinese"},    {0x05, "Czech"},
    {0x06, "Danish"},    {0x07, "German"},     {0x08, "Greek"},     {0x09, "English"},    {0x0A, "Spanish"},
    {0x0B, "Finnish"},   {0x0C, "French"},     {0x0D, "Hebrew"},    {0x0E, "Hungarian"},  {0x0F, "Icelandic"},
    {0x10, "Italian"},   {0x11, "Japanese"},   {0x12, "Korean"},    {0x13, "Dutch"},      {0x14, "Norwegian"},
    {0x15, "Polish"},    {0x16, "Portuguese"}, {0x18, "Romanian"},  {0x19, "Russian"},    {0x1A, "Croatian"},
    {0x1B, "Slovak"},    {0x1C, "Albanian"},   {0x1D, "Swedish"},   {0x1E, "Thai"},       {0x1F, "Turkish"},
    {0x21, "Indonesian"}, {0x22, "Ukrainian"}, {0x23, "Belarusian"}, {0x24, "Slovenian"}, {0x25, "Estonian"},
    {0x26, "Latvian"},   {0x27, "Lithuanian"}, {0x29, "Farsi"},     {0x2A, "Vietnamese"}, {0x39, "Hindi"},
    {0x3E, "Malay"},
};

const char* LanguageName(LCID locale) {
  if (locale == LOCALE_SYSTEM_DEFAULT || locale == LOCALE_USER_DEFAULT) locale = 0x0409;
  const WORD primary = static_cast<WORD>(locale & 0x3FF);
  for (const Language& language : kLanguages)
    if (language.primary == primary) return language.name;
  return nullptr;
}

}  // namespace

INT GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR buffer, INT size) {
  const char* name = LanguageName(locale);
  if ((type & ~LOCALE_NOUSEROVERRIDE) != LOCALE_SENGLANGUAGE || name == nullptr || size < 0 ||
      (size > 0 && buffer == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const INT needed = static_cast<INT>(std::strlen(name)) + 1;
  if (size == 0) return needed;
  if (size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, name, static_cast<std::size_t>(needed));
  return needed;
}

}  // namespace win
