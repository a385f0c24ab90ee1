// Code pages and locales: 1252, UTF-8 and CP_ACP to UTF-16, sizes and failures, ANSI code pages and
// POSIX locale names.
#include "platform/core/code_pages.h"
#include "platform/core/errors.h"
#include "platform/core/locale.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Convert(win::UINT code_page, const std::string& bytes, win::DWORD flags = 0) {
  char16_t wide[64] = {};
  const int written =
      win::MultiByteToWideChar(code_page, flags, bytes.data(), static_cast<int>(bytes.size()), wide, 64);
  return std::u16string(wide, static_cast<std::size_t>(written));
}

TEST(CodePages, Windows1252DiffersFromLatin1OnlyFrom0x80To0x9F) {
  struct Case {
    unsigned char byte;
    char16_t expected;
  };
  for (const Case& c : {Case{0x41, u'A'}, Case{0x80, u'\x20AC'}, Case{0x81, u'\x0081'}, Case{0x8A, u'\x0160'},
                        Case{0x9F, u'\x0178'}, Case{0xA0, u'\x00A0'}, Case{0xC4, u'\x00C4'}, Case{0xE4, u'\x00E4'},
                        Case{0xDF, u'\x00DF'}, Case{0xFF, u'\x00FF'}}) {
    EXPECT_EQ(Convert(win::CP_WINDOWS_1252, std::string(1, static_cast<char>(c.byte))), std::u16string(1, c.expected))
        << static_cast<int>(c.byte);
  }
}

TEST(CodePages, TheAnsiCodePageIsUtf8) {
  EXPECT_EQ(win::GetACP(), win::CP_UTF8);
  EXPECT_EQ(Convert(win::CP_ACP, "B\xC3\xA4r"), u"B\u00E4r");
  EXPECT_EQ(Convert(win::CP_UTF8, "\xD0\x96\xD1\x83\xD0\xBA"), u"\u0416\u0443\u043A");
  EXPECT_EQ(Convert(win::CP_UTF8, "\xF0\x9F\x8E\xB5"), u"\xD83C\xDFB5");
}

TEST(CodePages, MinusOneConvertsTheTerminatorAndSizeZeroAsksForTheSize) {
  EXPECT_EQ(win::MultiByteToWideChar(win::CP_UTF8, 0, "B\xC3\xA4r", -1, nullptr, 0), 4);
  char16_t wide[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(win::MultiByteToWideChar(win::CP_UTF8, 0, "B\xC3\xA4r", -1, wide, 4), 4);
  EXPECT_EQ(std::u16string(wide, 4), std::u16string(u"B\u00E4r\0", 4));
}

TEST(CodePages, FailuresWriteNothingAndSayWhy) {
  struct Case {
    win::UINT code_page;
    win::DWORD flags;
    const char* text;
    int count;
    int size;
    win::DWORD error;
  };
  for (const Case& c : {Case{1251, 0, "a", 1, 8, win::ERROR_INVALID_PARAMETER},
                        Case{win::CP_UTF8, 0, "a", 0, 8, win::ERROR_INVALID_PARAMETER},
                        Case{win::CP_UTF8, 0, "a", -2, 8, win::ERROR_INVALID_PARAMETER},
                        Case{win::CP_UTF8, 0, nullptr, 1, 8, win::ERROR_INVALID_PARAMETER},
                        Case{win::CP_UTF8, 0x40, "a", 1, 8, win::ERROR_INVALID_FLAGS},
                        Case{win::CP_UTF8, 0, "abc", 3, 2, win::ERROR_INSUFFICIENT_BUFFER},
                        Case{win::CP_UTF8, win::MB_ERR_INVALID_CHARS, "a\xC3", 2, 8, win::ERROR_NO_UNICODE_TRANSLATION},
                        Case{win::CP_UTF8, win::MB_ERR_INVALID_CHARS, "\xED\xA0\x80", 3, 8,
                             win::ERROR_NO_UNICODE_TRANSLATION}}) {
    char16_t wide[8] = {u'k', u'k', u'k', u'k', u'k', u'k', u'k', u'k'};
    win::SetLastError(0);
    EXPECT_EQ(win::MultiByteToWideChar(c.code_page, c.flags, c.text, c.count, wide, c.size), 0);
    EXPECT_EQ(win::GetLastError(), c.error);
    EXPECT_EQ(wide[0], u'k') << "nothing written";
  }
  // Malformed UTF-8 without the flag becomes U+FFFD; an encoded U+FFFD is no fault with it.
  EXPECT_EQ(Convert(win::CP_UTF8, "a\xC3"), u"a\xFFFD");
  EXPECT_EQ(Convert(win::CP_UTF8, "\xEF\xBF\xBD", win::MB_ERR_INVALID_CHARS), u"\xFFFD");
}

TEST(Locales, AnsiCodePageOfTheLanguage) {
  struct Case {
    win::LCID lcid;
    const char* expected;
  };
  for (const Case& c : {Case{0x0407, "1252"}, Case{0x0C07, "1252"}, Case{0x0409, "1252"}, Case{0x0419, "1251"},
                        Case{0x0415, "1250"}, Case{0x0411, "932"}, Case{0x0439, "0"}}) {
    char buffer[8] = {};
    EXPECT_EQ(win::GetLocaleInfoA(c.lcid, win::LOCALE_IDEFAULTANSICODEPAGE, buffer, sizeof buffer),
              static_cast<int>(std::string(c.expected).size()) + 1);
    EXPECT_STREQ(buffer, c.expected) << std::hex << c.lcid;
  }
}

TEST(Locales, PosixLocaleNames) {
  struct Case {
    const char* name;
    win::LCID expected;
  };
  for (const Case& c : {Case{"de_DE.UTF-8", 0x0407}, Case{"de_DE", 0x0407}, Case{"de_AT.UTF-8", 0x0C07},
                        Case{"de_CH", 0x0807}, Case{"en_US.UTF-8", 0x0409}, Case{"en_GB.UTF-8@euro", 0x0809},
                        Case{"en", 0x0409}, Case{"pt_BR", 0x0416}, Case{"pt_PT", 0x0816}, Case{"nn_NO", 0x0414},
                        Case{"C", 0}, Case{"POSIX", 0}, Case{"C.UTF-8", 0}, Case{"", 0}, Case{"xx_YY", 0}}) {
    EXPECT_EQ(win::LcidOfLocaleName(c.name), c.expected) << c.name;
  }
}

}  // namespace
