// Text conversion (Narrow) and case-insensitive comparison of wide, narrow and null-terminated strings.
#include "platform/core/strings.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct ConversionCase {
  std::string utf8;
  std::u16string utf16;
};

class Utf8ToUtf16Test : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Utf8ToUtf16Test, DecodesAndRoundTrips) {
  const ConversionCase& c = GetParam();
  EXPECT_EQ(win::Utf8ToUtf16(c.utf8), c.utf16);
  EXPECT_EQ(win::Utf16ToUtf8(c.utf16), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Valid, Utf8ToUtf16Test,
    ::testing::Values(ConversionCase{"", u""}, ConversionCase{"COM1", u"COM1"},
                      ConversionCase{"Gr\xC3\xBC\xC3\x9F" "e", u"Gr\u00FC\u00DFe"},
                      ConversionCase{"\xE2\x82\xAC", u"\u20AC"},
                      ConversionCase{"\xF0\x9F\x8E\xB5", u"\U0001F3B5"},
                      ConversionCase{std::string("a\0b", 3), std::u16string(u"a\0b", 3)}));

struct MalformedCase {
  std::string utf8;
  std::u16string expected;
};

class MalformedUtf8Test : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedUtf8Test, BecomesReplacementCharacters) {
  EXPECT_EQ(win::Utf8ToUtf16(GetParam().utf8), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, MalformedUtf8Test,
    ::testing::Values(MalformedCase{"\x80", u"\uFFFD"},                    // stray continuation
                      MalformedCase{"a\xE2\x82", u"a\uFFFD"},             // truncated at the end
                      MalformedCase{"\xE2(", u"\uFFFD("},                 // broken sequence
                      MalformedCase{"\xC0\xAF", u"\uFFFD\uFFFD"},         // overlong '/'
                      MalformedCase{"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
                      MalformedCase{"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
                      MalformedCase{"\xFF", u"\uFFFD"}));

TEST(Utf16ToUtf8, UnpairedSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(win::Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(win::Utf16ToUtf8(std::u16string{char16_t(0xDC00), u'a'}), "\xEF\xBF\xBD" "a");
  EXPECT_EQ(win::Utf16ToUtf8(std::u16string{char16_t(0xD800), u'a'}), "\xEF\xBF\xBD" "a");
}

struct CompareCase {
  std::u16string left, right;
  int expected;
};

class CompareIgnoreCaseTest : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CompareIgnoreCaseTest, WideNarrowAndNullTerminatedAgree) {
  const CompareCase& c = GetParam();
  EXPECT_EQ(win::CompareIgnoreCase(c.left, c.right), c.expected);
  EXPECT_EQ(win::lstrcmpiW(c.left.c_str(), c.right.c_str()), c.expected);
  EXPECT_EQ(win::lstrcmpiA(win::Utf16ToUtf8(c.left).c_str(), win::Utf16ToUtf8(c.right).c_str()), c.expected);
  EXPECT_EQ(win::CompareIgnoreCase(c.right, c.left), -c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CompareIgnoreCaseTest,
    ::testing::Values(CompareCase{u"Track", u"tRACK", 0}, CompareCase{u"abc", u"abd", -1},
                      CompareCase{u"ab", u"abc", -1}, CompareCase{u"", u"", 0},
                      CompareCase{u"\u00C4pfel", u"\u00E4PFEL", 0},  // Ä / ä
                      CompareCase{u"\u0141\u00F3d\u017A", u"\u0142\u00D3D\u0179", 0},
                      CompareCase{u"\u0178", u"\u00FF", 0},
                      CompareCase{u"\u039C\u03A5", u"\u03BC\u03C5", 0},  // Greek
                      CompareCase{u"\u041C\u0418\u0420", u"\u043C\u0438\u0440", 0},  // Cyrillic
                      CompareCase{u"Z", u"a", 1}));

// The comparison by its definition: both texts folded code point by code point into copies,
// the copies compared.
int FoldedCopiesCompare(std::u16string_view left, std::u16string_view right) {
  auto fold = [](std::u16string_view text) {
    std::u32string out;
    for (std::size_t pos = 0; pos < text.size();) out += win::FoldCase(win::NextUtf16CodePoint(text, pos));
    return out;
  };
  const int result = fold(left).compare(fold(right));
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

// Texts from units where folding and code point order are easy to get wrong: case pairs of every
// folded script, units above the surrogates, surrogate pairs and lone surrogates.
std::u16string RandomText(std::mt19937& random) {
  static const char16_t kUnits[] = {u'a', u'A', u'z', u'Z', u'_', 0xC4, 0xE4, 0xD7, 0xFF, 0x178, 0x141, 0x142,
                                    0x39C, 0x3BC, 0x41C, 0x43C, 0x401, 0x451, 0xE000, 0xFFFD, 0xFFFF,
                                    0xD83D, 0xDE00, 0xD800, 0xDC00};
  std::u16string text;
  for (int n = static_cast<int>(random() % 6); n > 0; --n) text += kUnits[random() % std::size(kUnits)];
  return text;
}

TEST(CompareIgnoreCase, InPlaceAndFoldedKeysAgreeWithFoldedCopies) {
  std::mt19937 random(36202);
  for (int round = 0; round < 20000; ++round) {
    const std::u16string left = RandomText(random);
    std::u16string right = round % 2 ? left.substr(0, random() % (left.size() + 1)) + RandomText(random) : RandomText(random);
    const int expected = FoldedCopiesCompare(left, right);
    ASSERT_EQ(win::CompareIgnoreCase(left, right), expected) << round;
    std::u16string left_key, right_key;
    win::AppendFolded(left_key, left);
    win::AppendFolded(right_key, right);
    ASSERT_EQ(win::CompareFolded(left_key, right_key), expected) << round;
  }
}

TEST(CompareIgnoreCase, NullPointersCompareAsEmpty) {
  EXPECT_EQ(win::lstrcmpiW(nullptr, u""), 0);
  EXPECT_EQ(win::lstrcmpiA("a", nullptr), 1);
  EXPECT_EQ(win::lstrlenW(nullptr), 0);
  EXPECT_EQ(win::lstrlenW(u"four"), 4);
}

TEST(Narrow, GivesUtf8AndEmptyForANullPointer) {
  EXPECT_EQ(win::Narrow(nullptr), "");
  EXPECT_EQ(win::Narrow(u""), "");
  EXPECT_EQ(win::Narrow(u"B\u00E4r \U0001F600"), "B\xC3\xA4r \xF0\x9F\x98\x80");
  const char16_t unpaired[] = {u'a', 0xD800, 0};
  EXPECT_EQ(win::Narrow(unpaired), "a\xEF\xBF\xBD");
}

}  // namespace
