#include "platform/core/locale.h"

#include "platform/core/errors.h"

#include <cstring>
#include <string>

namespace win {

namespace {

struct Language {
  WORD primary;
  const char* iso_code;   // the language part of a POSIX locale name
  const char* name;
  UINT ansi_code_page;    // 0: the language has no ANSI code page (Unicode only)
};

constexpr Language kLanguages[] = {
    {0x01, "ar", "Arabic", 1256},     {0x02, "bg", "Bulgarian", 1251},  {0x03, "ca", "Catalan", 1252},
    {0x04, "zh", "Chinese", 936},     {0x05, "cs", "Czech", 1250},      {0x06, "da", "Danish", 1252},
    {0x07, "de", "German", 1252},     {0x08, "el", "Greek", 1253},      {0x09, "en", "English", 1252},
    {0x0A, "es", "Spanish", 1252},    {0x0B, "fi", "Finnish", 1252},    {0x0C, "fr", "French", 1252},
    {0x0D, "he", "Hebrew", 1255},     {0x0E, "hu", "Hungarian", 1250},  {0x0F, "is", "Icelandic", 1252},
    {0x10, "it", "Italian", 1252},    {0x11, "ja", "Japanese", 932},    {0x12, "ko", "Korean", 949},
    {0x13, "nl", "Dutch", 1252},      {0x14, "nb", "Norwegian", 1252},  {0x15, "pl", "Polish", 1250},
    {0x16, "pt", "Portuguese", 1252}, {0x18, "ro", "Romanian", 1250},   {0x19, "ru", "Russian", 1251},
    {0x1A, "hr", "Croatian", 1250},   {0x1B, "sk", "Slovak", 1250},     {0x1C, "sq", "Albanian", 1250},
    {0x1D, "sv", "Swedish", 1252},    {0x1E, "th", "Thai", 874},        {0x1F, "tr", "Turkish", 1254},
    {0x21, "id", "Indonesian", 1252}, {0x22, "uk", "Ukrainian", 1251},  {0x23, "be", "Belarusian", 1251},
    {0x24, "sl", "Slovenian", 1250},  {0x25, "et", "Estonian", 1257},   {0x26, "lv", "Latvian", 1257},
    {0x27, "lt", "Lithuanian", 1257}, {0x29, "fa", "Farsi", 1256},      {0x2A, "vi", "Vietnamese", 1258},
    {0x39, "hi", "Hindi", 0},         {0x3E, "ms", "Malay", 1252},
};

// Countries whose locale is not the language's first sub-language.
struct Variant {
  const char* name;  // language_TERRITORY
  LCID lcid;
};

constexpr Variant kVariants[] = {
    {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de_LU", 0x1007}, {"en_GB", 0x0809}, {"en_AU", 0x0C09},
    {"en_CA", 0x1009}, {"en_NZ", 0x1409}, {"en_IE", 0x1809}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C},
    {"fr_CH", 0x100C}, {"nl_BE", 0x0813}, {"pt_PT", 0x0816}, {"it_CH", 0x0810}, {"sv_FI", 0x081D},
};

constexpr LCID kEnglishUnitedStates = 0x0409;

const Language* LanguageOf(LCID locale) {
  if (locale == LOCALE_SYSTEM_DEFAULT || locale == LOCALE_USER_DEFAULT) locale = kEnglishUnitedStates;
  const WORD primary = static_cast<WORD>(locale & 0x3FF);
  for (const Language& language : kLanguages)
    if (language.primary == primary) return &language;
  return nullptr;
}

// Copies `value` with its terminator as GetLocaleInfoA does.
INT AnswerText(const std::string& value, LPSTR buffer, INT size) {
  const INT needed = static_cast<INT>(value.size()) + 1;
  if (size == 0) return needed;
  if (size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, value.c_str(), static_cast<std::size_t>(needed));
  return needed;
}

}  // namespace

INT GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR buffer, INT size) {
  const Language* language = LanguageOf(locale);
  const LCTYPE kind = type & ~LOCALE_NOUSEROVERRIDE;
  const bool known_kind = kind == LOCALE_SENGLANGUAGE || kind == LOCALE_IDEFAULTANSICODEPAGE;
  if (!known_kind || language == nullptr || size < 0 || (size > 0 && buffer == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (kind == LOCALE_SENGLANGUAGE) return AnswerText(language->name, buffer, size);
  return AnswerText(std::to_string(language->ansi_code_page), buffer, size);
}

UINT AnsiCodePageOfLocale(LCID locale) {
  const Language* language = LanguageOf(locale);
  return language != nullptr ? language->ansi_code_page : 0;
}

LCID LcidOfLocaleName(std::string_view name) {
  // "de_DE.UTF-8@euro": language, territory, then code set and modifier, which do not matter.
  const std::size_t end = name.find_first_of(".@");
  const std::string_view base = name.substr(0, end);
  for (const Variant& variant : kVariants)
    if (base == variant.name) return variant.lcid;
  const std::string_view code = base.substr(0, base.find('_'));
  for (const Language& language : kLanguages)
    if (code == language.iso_code || (language.primary == 0x14 && (code == "nn" || code == "no")))
      return static_cast<LCID>(0x0400 | language.primary);
  return 0;
}

}  // namespace win
