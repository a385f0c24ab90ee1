#include "platform/text/text_render.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text_test_support.h"

namespace win::text {
namespace {

using testing::Canvas;
using Picture = std::vector<std::string>;

constexpr COLORREF kInk = RGB(10, 20, 200);
constexpr COLORREF kPaper = RGB(255, 255, 255);
constexpr COLORREF kBack = RGB(0, 200, 0);

TextTarget TargetOn(Canvas& canvas, bool opaque) {
  TextTarget target;
  target.surface = canvas.Surface();
  target.clips = {RECT{0, 0, canvas.width(), canvas.height()}};
  target.text_color = kInk;
  target.background_color = kBack;
  target.opaque_background = opaque;
  return target;
}

// The fixed font at cell height 4: ascent 3, descent 1, advance 2, boxes 1 x 4, underline on
// the row below the baseline.
std::shared_ptr<const Font> Tiny(bool underline = false) {
  return RealizeFont(RequestFromLogFont(
      testing::LogFontW(kFixedMetricsFaceName, 4, FW_NORMAL, false, underline)));
}

void DrawFixedRun(const TextTarget& target, const Font& font, LONG x, LONG y, std::u32string_view text,
         const RunOptions& options = {}) {
  std::vector<int> advances(text.size(), font.Advance(U'x'));
  DrawRun(target, font, x, y, text, advances, options);
}

TEST(TextRenderTest, TransparentModeDrawsOnlyTheGlyphs) {
  Canvas canvas(8, 6, kPaper);
  DrawFixedRun(TargetOn(canvas, false), *Tiny(), 1, 1, U"a b");
  EXPECT_EQ(canvas.Picture(kInk, kPaper), (Picture{"........",
                                                   ".#...#..",
                                                   ".#...#..",
                                                   ".#...#..",
                                                   ".#...#..",
                                                   "........"}));
}

TEST(TextRenderTest, OpaqueModeFillsTheCellsWithTheBackgroundFirst) {
  Canvas canvas(8, 6, kPaper);
  DrawFixedRun(TargetOn(canvas, true), *Tiny(), 1, 1, U"a b");
  EXPECT_EQ(canvas.Picture(kInk, kPaper), (Picture{"........",
                                                   ".#ooo#o.",
                                                   ".#ooo#o.",
                                                   ".#ooo#o.",
                                                   ".#ooo#o.",
                                                   "........"}));
  EXPECT_EQ(canvas.At(2, 1), kBack);
  EXPECT_EQ(canvas.At(3, 1), kBack);  // the blank
}

TEST(TextRenderTest, UnderlinedFontUnderlinesTheWholeRun) {
  Canvas canvas(8, 6, kPaper);
  DrawFixedRun(TargetOn(canvas, false), *Tiny(true), 1, 0, U"a b");
  EXPECT_EQ(canvas.Picture(kInk, kPaper), (Picture{".#...#..",
                                                   ".#...#..",
                                                   ".#...#..",
                                                   ".######.",
                                                   "........",
                                                   "........"}));
}

TEST(TextRenderTest, PrefixUnderlinesOneCharacter) {
  Canvas canvas(8, 5, kPaper);
  RunOptions options;
  options.underline_index = 1;
  DrawFixedRun(TargetOn(canvas, false), *Tiny(), 0, 0, U"abc", options);
  EXPECT_EQ(canvas.Picture(kInk, kPaper), (Picture{"#.#.#...",
                                                   "#.#.#...",
                                                   "#.#.#...",
                                                   "#.###...",
                                                   "........"}));
}

TEST(TextRenderTest, ClipRectangleAndOriginApply) {
  Canvas canvas(10, 6, kPaper);
  TextTarget target = TargetOn(canvas, true);
  target.logical_to_device = {2, 1};
  const RECT clip{1, 0, 4, 2};  // logical; device columns 3..5, rows 1..2
  RunOptions options;
  options.clip = &clip;
  DrawFixedRun(target, *Tiny(), 0, 0, U"abc", options);
  EXPECT_EQ(canvas.Picture(kInk, kPaper), (Picture{"..........",
                                                   "...o#o....",
                                                   "...o#o....",
                                                   "..........",
                                                   "..........",
                                                   ".........."}));
}

TEST(TextRenderTest, OpaqueRectangleIsFilledEvenInTransparentMode) {
  Canvas canvas(6, 4, kPaper);
  const RECT opaque{0, 0, 6, 2};
  RunOptions options;
  options.opaque = &opaque;
  DrawFixedRun(TargetOn(canvas, false), *Tiny(), 0, 0, U"", options);
  EXPECT_EQ(canvas.Picture(kBack, kPaper), (Picture{"######", "######", "......", "......"}));
}

TEST(TextRenderTest, NoClipRectanglesMeansNothingIsDrawn) {
  Canvas canvas(4, 4, kPaper);
  TextTarget target = TargetOn(canvas, true);
  target.clips.clear();
  DrawFixedRun(target, *Tiny(), 0, 0, U"ab");
  EXPECT_EQ(canvas.Picture(kInk, kPaper), (Picture{"....", "....", "....", "...."}));
}

TEST(TextRenderTest, AdvancesComeFromTheFontOrFromThePerUnitWidths) {
  const auto font = testing::FixedFont(10);  // advance 5
  const DecodedText text = DecodeUtf16(u"a\tb\U0001F600");
  EXPECT_EQ(RunAdvances(*font, text, nullptr), (std::vector<int>{5, 0, 5, 5}));
  const INT dx[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(RunAdvances(*font, text, dx), (std::vector<int>{1, 2, 3, 9}));
  const std::vector<int> advances{1, 2, 3, 9};
  const SIZE extent = RunExtent(*font, advances);
  EXPECT_EQ(extent.cx, 15);
  EXPECT_EQ(extent.cy, 10);
}

TEST(TextRenderTest, LayoutLinesAreDrawnWhereTheLayoutPutsThem) {
  Canvas canvas(10, 10, kPaper);
  const auto font = Tiny();
  const RECT rect{0, 1, 10, 9};
  const TextLayout layout = LayoutDrawText(U"ab\nc", *font, rect, DT_RIGHT);
  DrawLayout(TargetOn(canvas, false), *font, layout, &rect);
  EXPECT_EQ(canvas.Picture(kInk, kPaper), (Picture{"..........",
                                                   "......#.#.",
                                                   "......#.#.",
                                                   "......#.#.",
                                                   "......#.#.",
                                                   "........#.",
                                                   "........#.",
                                                   "........#.",
                                                   "........#.",
                                                   ".........."}));
}

}  // namespace
}  // namespace win::text
