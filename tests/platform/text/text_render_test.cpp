// Text rendering: transparent and opaque modes, underlines, prefixes, clipping and origins.
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
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);

// A canvas as a text target, clipped to the whole canvas unless told otherwise.
struct Drawing {
  Drawing(Canvas& canvas, bool opaque, POINT offset = {})
      : Drawing(canvas, opaque, {RECT{0, 0, canvas.width(), canvas.height()}}, offset) {}
  Drawing(Canvas& canvas, bool opaque, std::vector<RECT> clips, POINT offset = {})
      : sink(canvas.Surface(), std::move(clips), offset) {
    target.sink = &sink;
    target.text_color = kInk;
    target.background_color = kBack;
    target.opaque_background = opaque;
  }
  BgraSink sink;
  TextTarget target;
};

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
  DrawFixedRun(Drawing(canvas, false).target, *Tiny(), 1, 1, U"a b");
  EXPECT_EQ(canvas.Picture(kInk, kPaper), (Picture{"........",
                                                   ".#...#..",
                                                   ".#...#..",
                                                   ".#...#..",
                                                   ".#...#..",
                                                   "........"}));
}

TEST(TextRenderTest, OpaqueModeFillsTheCellsWithTheBackgroundFirst) {
  Canvas canvas(8, 6, kPaper);
  DrawFixedRun(Drawing(canvas, true).target, *Tiny(), 1, 1, U"a b");
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
  DrawFixedRun(Drawing(canvas, false).target, *Tiny(true), 1, 0, U"a b");
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
  DrawFixedRun(Drawing(canvas, false).target, *Tiny(), 0, 0, U"abc", options);
  EXPECT_EQ(canvas.Picture(kInk, kPaper), (Picture{"#.#.#...",
                                                   "#.#.#...",
                                                   "#.#.#...",
                                                   "#.###...",
                                                   "........"}));
}

TEST(TextRenderTest, ClipRectangleAndOriginApply) {
  Canvas canvas(10, 6, kPaper);
  Drawing drawing(canvas, true, POINT{2, 1});
  const RECT clip{1, 0, 4, 2};  // logical; device columns 3..5, rows 1..2
  RunOptions options;
  options.clip = &clip;
  DrawFixedRun(drawing.target, *Tiny(), 0, 0, U"abc", options);
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
  DrawFixedRun(Drawing(canvas, false).target, *Tiny(), 0, 0, U"", options);
  EXPECT_EQ(canvas.Picture(kBack, kPaper), (Picture{"######", "######", "......", "......"}));
}

TEST(TextRenderTest, NoClipRectanglesMeansNothingIsDrawn) {
  Canvas canvas(4, 4, kPaper);
  Drawing drawing(canvas, true, std::vector<RECT>{});
  DrawFixedRun(drawing.target, *Tiny(), 0, 0, U"ab");
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
  DrawLayout(Drawing(canvas, false).target, *font, layout, &rect);
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

TEST(TextRenderTest, FixedFontRunDrawsOneBoxPerVisibleCharacter) {
  Canvas canvas(30, 12, kWhite);
  const auto font = testing::FixedFont(10);  // ascent 8, advance 5, box 4 x 10
  const std::u32string text = U"a b";
  const std::vector<int> advances{5, 5, 5};
  Drawing drawing(canvas, false);
  drawing.target.text_color = kRed;
  DrawRun(drawing.target, *font, 2, 1, text, advances, {});
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 30; ++x) {
      const bool in_row = y >= 1 && y < 11;
      const bool in_box = (x >= 2 && x < 6) || (x >= 12 && x < 16);
      EXPECT_EQ(canvas.At(x, y), in_row && in_box ? kRed : kWhite) << x << "," << y;
    }
  }
}

TEST(TextRenderTest, DejaVuTextShowsGlyphPixelsOfTheChosenColour) {
  Canvas canvas(80, 24, kWhite);
  const auto font = testing::DejaVu(-16);
  const std::u32string text = U"Hello";
  std::vector<int> advances;
  for (char32_t c : text) advances.push_back(font->Advance(c));
  Drawing drawing(canvas, false);
  drawing.target.text_color = kRed;
  DrawRun(drawing.target, *font, 3, 2, text, advances, {});

  int full = 0, partial = 0;
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 80; ++x) {
      const COLORREF pixel = canvas.At(x, y);
      if (pixel == kWhite) continue;
      // Every touched pixel lies between white and red: red stays full, green equals blue.
      EXPECT_EQ(GetRValue(pixel), 255) << x << "," << y;
      EXPECT_EQ(GetGValue(pixel), GetBValue(pixel)) << x << "," << y;
      EXPECT_GE(y, 2);
      EXPECT_LT(y, 2 + font->GetMetrics().height);
      EXPECT_GE(x, 3);
      (pixel == kRed ? full : partial)++;
    }
  }
  EXPECT_GT(full, 20);  // the stems of H, l and l are about 12 pixels high
  EXPECT_GT(partial, 0);
}

}  // namespace
}  // namespace win::text
