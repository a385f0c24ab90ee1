// DrawText layout: alignment, ellipses, word wrapping and line breaks.
#include "platform/text/text_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text_test_support.h"

namespace win::text {
namespace {

// The fixed font at cell height 10: ascent 8, every character 5 pixels wide.
constexpr int kAdvance = 5;
constexpr int kLine = 10;

TextLayout Layout(std::u32string_view text, RECT rect, UINT format) {
  return LayoutDrawText(text, *testing::FixedFont(10), rect, format);
}

std::vector<std::u32string> LineTexts(const TextLayout& layout) {
  std::vector<std::u32string> texts;
  for (const auto& line : layout.lines) texts.push_back(line.text);
  return texts;
}

struct AlignmentCase {
  const char* name;
  UINT format;
  LONG x, y, height;
};

class DrawTextAlignmentTest : public ::testing::TestWithParam<AlignmentCase> {};

TEST_P(DrawTextAlignmentTest, PlacesTheLineInTheRectangle) {
  const AlignmentCase& c = GetParam();
  const TextLayout layout = Layout(U"abcd", RECT{10, 20, 111, 50}, c.format | DT_SINGLELINE);
  ASSERT_EQ(layout.lines.size(), 1u);
  EXPECT_EQ(layout.lines[0].x, c.x);
  EXPECT_EQ(layout.lines[0].y, c.y);
  EXPECT_EQ(layout.lines[0].width, 4 * kAdvance);
  EXPECT_EQ(layout.height, c.height);
}

// Rectangle 101 wide and 30 high; the line is 20 wide and 10 high.
INSTANTIATE_TEST_SUITE_P(
    Table, DrawTextAlignmentTest,
    ::testing::Values(AlignmentCase{"LeftTop", DT_LEFT | DT_TOP, 10, 20, 10},
                      AlignmentCase{"Centre", DT_CENTER, 10 + 81 / 2, 20, 10},
                      AlignmentCase{"Right", DT_RIGHT, 111 - 20, 20, 10},
                      AlignmentCase{"VerticalCentre", DT_VCENTER, 10, 30, 20},
                      AlignmentCase{"Bottom", DT_BOTTOM, 10, 40, 30},
                      AlignmentCase{"RightBottom", DT_RIGHT | DT_BOTTOM, 91, 40, 30},
                      AlignmentCase{"CentreVerticalCentre", DT_CENTER | DT_VCENTER, 50, 30, 20}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DrawTextLayoutTest, CentringAWiderLineMovesItLeftOfTheRectangle) {
  const TextLayout layout = Layout(U"abcdefgh", RECT{0, 0, 21, 10}, DT_SINGLELINE | DT_CENTER);
  EXPECT_EQ(layout.lines[0].x, (21 - 40) / 2);
}

TEST(DrawTextLayoutTest, VerticalAlignmentIgnoredForMultipleLines) {
  const TextLayout layout = Layout(U"a\nb", RECT{0, 0, 50, 100}, DT_VCENTER | DT_BOTTOM);
  ASSERT_EQ(layout.lines.size(), 2u);
  EXPECT_EQ(layout.lines[0].y, 0);
  EXPECT_EQ(layout.lines[1].y, kLine);
  EXPECT_EQ(layout.height, 2 * kLine);
}

struct EllipsisCase {
  LONG width;
  std::u32string text;
  std::u32string shown;
  LONG shown_width;
};

class DrawTextEllipsisTest : public ::testing::TestWithParam<EllipsisCase> {};

TEST_P(DrawTextEllipsisTest, CutsTheEndUntilTheDotsFit) {
  const EllipsisCase& c = GetParam();
  const RECT rect{0, 0, c.width, 10};
  const TextLayout layout = Layout(c.text, rect, DT_SINGLELINE | DT_END_ELLIPSIS);
  ASSERT_EQ(layout.lines.size(), 1u);
  EXPECT_EQ(layout.lines[0].text, c.shown);
  EXPECT_EQ(layout.lines[0].width, c.shown_width);
  EXPECT_EQ(layout.lines[0].advances.size(), c.shown.size());
  const TextLayout measured = Layout(c.text, rect, DT_SINGLELINE | DT_END_ELLIPSIS | DT_CALCRECT);
  EXPECT_EQ(measured.calculated.right, c.shown_width);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DrawTextEllipsisTest,
    ::testing::Values(EllipsisCase{40, U"abcdefgh", U"abcdefgh", 40},   // fits exactly
                      EllipsisCase{39, U"abcdefgh", U"abcd...", 35},
                      EllipsisCase{32, U"abcdefgh", U"abc...", 30},
                      EllipsisCase{15, U"abcdefgh", U"...", 15},
                      EllipsisCase{14, U"abcdefgh", U"...", 15},        // not even the dots fit
                      EllipsisCase{0, U"ab", U"...", 15}));

TEST(DrawTextLayoutTest, EllipsisRightAlignedEndsAtTheRightEdge) {
  const TextLayout layout =
      Layout(U"abcdefgh", RECT{0, 0, 32, 10}, DT_SINGLELINE | DT_END_ELLIPSIS | DT_RIGHT);
  EXPECT_EQ(layout.lines[0].x, 2);
}

struct WrapCase {
  const char* name;
  std::u32string text;
  LONG width;
  UINT extra;
  std::vector<std::u32string> lines;
};

class DrawTextWrapTest : public ::testing::TestWithParam<WrapCase> {};

TEST_P(DrawTextWrapTest, BreaksLines) {
  const WrapCase& c = GetParam();
  const TextLayout layout = Layout(c.text, RECT{0, 0, c.width, 100}, DT_WORDBREAK | c.extra);
  EXPECT_EQ(LineTexts(layout), c.lines);
  for (std::size_t i = 0; i < layout.lines.size(); ++i) EXPECT_EQ(layout.lines[i].y, LONG(i) * kLine);
  EXPECT_EQ(layout.height, LONG(c.lines.size()) * kLine);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DrawTextWrapTest,
    ::testing::Values(
        WrapCase{"FitsOnOneLine", U"aa bb", 25, 0, {U"aa bb"}},
        WrapCase{"BreaksAfterTheLastFittingWord", U"aa bb cc", 27, 0, {U"aa bb", U"cc"}},
        WrapCase{"DropsTheSpacesAtABreak", U"aa   bb", 20, 0, {U"aa", U"bb"}},
        WrapCase{"KeepsLeadingSpacesOfAParagraph", U"  aa", 50, 0, {U"  aa"}},
        WrapCase{"BreaksAWordTooWide", U"abcdefghij", 22, 0, {U"abcd", U"efgh", U"ij"}},
        WrapCase{"OneCharacterPerLineWhenNoneFits", U"abc", 3, 0, {U"a", U"b", U"c"}},
        WrapCase{"LongWordAmongShortOnes", U"ab abcdefgh c", 20, 0, {U"ab", U"abcd", U"efgh", U"c"}},
        WrapCase{"EllipsisKeepsALongWordWhole", U"abcdefghij kl", 22, DT_END_ELLIPSIS, {U"a...", U"kl"}},
        WrapCase{"LineBreaksStillCount", U"aa\nbb cc", 100, 0, {U"aa", U"bb cc"}},
        WrapCase{"TabIsABreakOpportunity", U"aa\tbb", 10, 0, {U"aa", U"bb"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct LineBreakCase {
  std::u32string text;
  std::vector<std::u32string> lines;
};

class DrawTextLineBreakTest : public ::testing::TestWithParam<LineBreakCase> {};

TEST_P(DrawTextLineBreakTest, SplitsAtLineBreaks) {
  EXPECT_EQ(LineTexts(Layout(GetParam().text, RECT{0, 0, 100, 100}, 0)), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Table, DrawTextLineBreakTest,
                         ::testing::Values(LineBreakCase{U"a\r\nb\nc\rd", {U"a", U"b", U"c", U"d"}},
                                           LineBreakCase{U"a\n", {U"a"}},
                                           LineBreakCase{U"a\n\nb", {U"a", U"", U"b"}},
                                           LineBreakCase{U"\n", {U""}},
                                           LineBreakCase{U"", {}}));

TEST(DrawTextLayoutTest, SingleLineKeepsBreaksAsInvisibleCharacters) {
  const TextLayout layout = Layout(U"a\r\nb", RECT{0, 0, 100, 100}, DT_SINGLELINE);
  ASSERT_EQ(layout.lines.size(), 1u);
  EXPECT_EQ(layout.lines[0].width, 2 * kAdvance);
}

struct CalcRectCase {
  const char* name;
  std::u32string text;
  UINT format;
  RECT expected;
};

class DrawTextCalcRectTest : public ::testing::TestWithParam<CalcRectCase> {};

TEST_P(DrawTextCalcRectTest, KeepsLeftAndTopAndBoundsTheText) {
  const CalcRectCase& c = GetParam();
  const TextLayout layout = Layout(c.text, RECT{7, 9, 37, 19}, c.format | DT_CALCRECT);
  EXPECT_EQ(layout.calculated.left, c.expected.left);
  EXPECT_EQ(layout.calculated.top, c.expected.top);
  EXPECT_EQ(layout.calculated.right, c.expected.right);
  EXPECT_EQ(layout.calculated.bottom, c.expected.bottom);
}

// The rectangle is 30 wide (six characters).
INSTANTIATE_TEST_SUITE_P(
    Table, DrawTextCalcRectTest,
    ::testing::Values(CalcRectCase{"SingleLine", U"abcdefghij", DT_SINGLELINE, {7, 9, 57, 19}},
                      CalcRectCase{"SingleLineCentredKeepsLeft", U"ab", DT_SINGLELINE | DT_CENTER, {7, 9, 17, 19}},
                      CalcRectCase{"Lines", U"abc\nabcde\na", 0, {7, 9, 32, 39}},
                      CalcRectCase{"Wrapped", U"aaa bbb ccc", DT_WORDBREAK, {7, 9, 22, 39}},
                      CalcRectCase{"WrappedNarrowsToTheWidestLine", U"aa b", DT_WORDBREAK, {7, 9, 27, 19}},
                      CalcRectCase{"Ellipsis", U"abcdefghij", DT_SINGLELINE | DT_END_ELLIPSIS, {7, 9, 37, 19}},
                      CalcRectCase{"Empty", U"", DT_SINGLELINE, {7, 9, 7, 9}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DrawTextLayoutTest, PrefixesAreRemovedAndUnderlineTheNextCharacter) {
  struct Case {
    std::u32string text;
    UINT format;
    std::u32string shown;
    int underline;
  };
  for (const Case& c : {Case{U"&File", 0, U"File", 0}, Case{U"Sa&ve", 0, U"Save", 2},
                        Case{U"a&&b", 0, U"a&b", -1}, Case{U"ab&", 0, U"ab", -1},
                        Case{U"&a&b", 0, U"ab", 0}, Case{U"&File", DT_HIDEPREFIX, U"File", -1},
                        Case{U"&File", DT_NOPREFIX, U"&File", -1}}) {
    const TextLayout layout = Layout(c.text, RECT{0, 0, 100, 10}, DT_SINGLELINE | c.format);
    EXPECT_EQ(layout.lines[0].text, c.shown);
    EXPECT_EQ(layout.lines[0].underline_index, c.underline);
  }
}

TEST(DrawTextLayoutTest, PrefixUnderlineFollowsItsLineAndIsLostToTheEllipsis) {
  TextLayout layout = Layout(U"ab\nc&d", RECT{0, 0, 100, 100}, 0);
  EXPECT_EQ(layout.lines[0].underline_index, -1);
  EXPECT_EQ(layout.lines[1].underline_index, 1);
  layout = Layout(U"abcdefg&h", RECT{0, 0, 30, 10}, DT_SINGLELINE | DT_END_ELLIPSIS);
  EXPECT_EQ(layout.lines[0].underline_index, -1);
}

TEST(DrawTextLayoutTest, TabsExpandToEightAverageWidths) {
  const TextLayout layout = Layout(U"a\tb\tc", RECT{0, 0, 500, 10}, DT_SINGLELINE | DT_EXPANDTABS);
  EXPECT_EQ(layout.lines[0].advances, (std::vector<int>{5, 35, 5, 35, 5}));
  EXPECT_EQ(layout.lines[0].width, 85);
  const TextLayout plain = Layout(U"a\tb", RECT{0, 0, 500, 10}, DT_SINGLELINE);
  EXPECT_EQ(plain.lines[0].width, 10);
}

TEST(DrawTextLayoutTest, FarAwayRectanglesDoNotOverflow) {
  const RECT rect{INT32_MAX - 10, INT32_MAX - 10, INT32_MAX, INT32_MAX};
  const TextLayout layout = Layout(U"abc\ndef", rect, DT_CALCRECT | DT_RIGHT);
  EXPECT_EQ(layout.calculated.right, INT32_MAX);
  EXPECT_EQ(layout.calculated.bottom, INT32_MAX);
  EXPECT_EQ(layout.lines[1].y, INT32_MAX);
}

}  // namespace
}  // namespace win::text
