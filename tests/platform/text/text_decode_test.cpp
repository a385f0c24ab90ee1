// Decoding UTF-8 and UTF-16 text into characters and their first code units.
#include "platform/text/text_decode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace win::text {
namespace {

struct Utf8Case {
  std::string bytes;
  std::u32string characters;
  std::vector<int> first_unit;
};

class DecodeUtf8Test : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(DecodeUtf8Test, DecodesAndReplacesMalformedBytes) {
  const DecodedText text = DecodeUtf8(GetParam().bytes);
  EXPECT_EQ(text.characters, GetParam().characters);
  EXPECT_EQ(text.first_unit, GetParam().first_unit);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeUtf8Test,
    ::testing::Values(Utf8Case{"", U"", {0}}, Utf8Case{"Ab", U"Ab", {0, 1, 2}},
                      Utf8Case{"\xC3\xA9x", U"\u00E9x", {0, 2, 3}},
                      Utf8Case{"\xE2\x82\xAC", U"\u20AC", {0, 3}},
                      Utf8Case{"\xF0\x9F\x98\x80!", U"\U0001F600!", {0, 4, 5}},
                      // a stray continuation byte, a truncated sequence, an overlong slash
                      Utf8Case{"\x80", U"\uFFFD", {0, 1}},
                      Utf8Case{"\xE2\x82", U"\uFFFD\uFFFD", {0, 1, 2}},
                      Utf8Case{"\xC0\xAF", U"\uFFFD\uFFFD", {0, 1, 2}},
                      // an encoded surrogate and a value above the last code point
                      Utf8Case{"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD", {0, 1, 2, 3}},
                      Utf8Case{"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD", {0, 1, 2, 3, 4}},
                      Utf8Case{"\xFFz", U"\uFFFDz", {0, 1, 2}}));

struct Utf16Case {
  std::u16string units;
  std::u32string characters;
  std::vector<int> first_unit;
};

class DecodeUtf16Test : public ::testing::TestWithParam<Utf16Case> {};

TEST_P(DecodeUtf16Test, JoinsPairsAndReplacesLoneSurrogates) {
  const DecodedText text = DecodeUtf16(GetParam().units);
  EXPECT_EQ(text.characters, GetParam().characters);
  EXPECT_EQ(text.first_unit, GetParam().first_unit);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeUtf16Test,
    ::testing::Values(Utf16Case{u"", U"", {0}}, Utf16Case{u"a\u00E9", U"a\u00E9", {0, 1, 2}},
                      Utf16Case{u"\U0001F600b", U"\U0001F600b", {0, 2, 3}},
                      Utf16Case{std::u16string{u'\xD83D'}, U"\uFFFD", {0, 1}},
                      Utf16Case{std::u16string{u'\xDE00', u'x'}, U"\uFFFDx", {0, 1, 2}},
                      Utf16Case{std::u16string{u'\xD83D', u'\xD83D', u'\xDE00'},
                                U"\uFFFD\U0001F600", {0, 1, 3}}));

}  // namespace
}  // namespace win::text
