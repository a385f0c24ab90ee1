// The text calls on device contexts: extents, metrics, font objects, TextOut and DrawText pictures.
#include "platform/text/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "dib_canvas.h"
#include "platform/gdi/gdi.h"
#include "platform/text/font.h"
#include "text_test_support.h"

namespace win {
namespace {

using Picture = std::vector<std::string>;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kInk = RGB(200, 0, 0);
constexpr COLORREF kBack = RGB(0, 0, 180);

// A memory context over a white DIB section of the given depth (top-down), read back through
// GetPixel so that every depth is checked the same way.
class DibDc : public dashtune::testing::DibCanvas {
 public:
  DibDc(int width, int height, int bits = 32) : DibCanvas(width, height, bits) {
    const RECT all{0, 0, width, height};
    FillRect(dc(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }

  // '#' for ink, '.' for white, 'o' for anything else.
  std::vector<std::string> Draw(COLORREF ink = kInk) const {
    std::vector<std::string> rows;
    for (int y = 0; y < height(); ++y) {
      std::string row;
      for (int x = 0; x < width(); ++x) {
        const COLORREF pixel = GetPixel(dc(), x, y);
        row += pixel == ink ? '#' : pixel == kWhite ? '.' : 'o';
      }
      rows.push_back(row);
    }
    return rows;
  }
};

// A created font selected into a context for the scope.
class SelectedFont {
 public:
  SelectedFont(HDC dc, const LOGFONTW& log_font)
      : font_(CreateFontIndirectW(&log_font)), selection_(dc, font_.Get()) {}
  HFONT font() const { return font_.Get(); }

 private:
  ScopedGdiObject<HFONT> font_;
  ScopedSelect selection_;
};

LOGFONTW Fixed(LONG height, bool underline = false) {
  return text::testing::LogFontW(text::kFixedMetricsFaceName, height, FW_NORMAL, false, underline);
}

void Prepare(HDC dc, int bk_mode = TRANSPARENT) {
  SetTextColor(dc, kInk);
  SetBkColor(dc, kBack);
  SetBkMode(dc, bk_mode);
}

// ---- Measuring ----

struct ExtentCase {
  const char* name;
  std::u16string wide;
  std::string narrow;
  LONG cx;
};

class TextExtentTest : public ::testing::TestWithParam<ExtentCase> {};

TEST_P(TextExtentTest, FixedFontMeasuresExactly) {
  DibDc canvas(4, 4);
  SelectedFont font(canvas.dc(), Fixed(-10));  // advance 5, height 10
  const ExtentCase& c = GetParam();
  SIZE wide{-1, -1};
  ASSERT_TRUE(GetTextExtentPoint32W(canvas.dc(), c.wide.data(), static_cast<int>(c.wide.size()), &wide));
  EXPECT_EQ(wide.cx, c.cx);
  EXPECT_EQ(wide.cy, 10);
  SIZE narrow{-1, -1};
  ASSERT_TRUE(GetTextExtentPoint32A(canvas.dc(), c.narrow.data(), static_cast<int>(c.narrow.size()), &narrow));
  EXPECT_EQ(narrow.cx, c.cx);
  EXPECT_EQ(narrow.cy, 10);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TextExtentTest,
    ::testing::Values(ExtentCase{"Empty", u"", "", 0}, ExtentCase{"Word", u"Hello", "Hello", 25},
                      ExtentCase{"Spaces", u"a b  c", "a b  c", 30},
                      ExtentCase{"Accented", u"caf\u00E9", "caf\xC3\xA9", 20},
                      ExtentCase{"OutsideTheBasicPlane", u"x\U0001F600", "x\xF0\x9F\x98\x80", 10},
                      ExtentCase{"ControlCharactersTakeNoRoom", u"a\tb\r\n", "a\tb\r\n", 10}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextApiTest, ExtentCountsCodeUnitsAndRefusesBadArguments) {
  DibDc canvas(4, 4);
  SelectedFont font(canvas.dc(), Fixed(-10));
  SIZE size;
  ASSERT_TRUE(GetTextExtentPoint32W(canvas.dc(), u"abcdef", 3, &size));
  EXPECT_EQ(size.cx, 15);
  EXPECT_FALSE(GetTextExtentPoint32W(canvas.dc(), u"abc", -1, &size));
  EXPECT_FALSE(GetTextExtentPoint32W(canvas.dc(), u"abc", 3, nullptr));
  EXPECT_FALSE(GetTextExtentPoint32A(canvas.dc(), nullptr, 3, &size));
  EXPECT_FALSE(GetTextExtentPoint32A(reinterpret_cast<HDC>(0x1234), "a", 1, &size));
  EXPECT_TRUE(GetTextExtentPoint32A(canvas.dc(), nullptr, 0, &size));
}

TEST(TextApiTest, MetricsFollowTheSelectedFont) {
  DibDc canvas(4, 4);
  TEXTMETRICW metrics;
  ASSERT_TRUE(GetTextMetricsW(canvas.dc(), &metrics));
  EXPECT_EQ(metrics.tmHeight, 16);  // a new context has the bold system font
  EXPECT_EQ(metrics.tmWeight, FW_BOLD);
  {
    SelectedFont font(canvas.dc(), Fixed(-12));
    TEXTMETRICA narrow;
    ASSERT_TRUE(GetTextMetricsA(canvas.dc(), &narrow));
    EXPECT_EQ(narrow.tmHeight, 12);
    EXPECT_EQ(narrow.tmAveCharWidth, 6);
  }
  ASSERT_TRUE(GetTextMetricsW(canvas.dc(), &metrics));
  EXPECT_EQ(metrics.tmHeight, 16);
  EXPECT_FALSE(GetTextMetricsW(canvas.dc(), nullptr));
  EXPECT_FALSE(GetTextMetricsW(nullptr, &metrics));
}

// ---- Fonts as objects ----

TEST(TextApiTest, FontObjectAnswersItsLogicalFont) {
  LOGFONTW wanted = text::testing::LogFontW("Caf\xC3\xA9 Sans", -13, FW_BOLD, true, true);
  wanted.lfFaceName[3] = u'\u00E9';
  wanted.lfFaceName[4] = u' ';
  std::memcpy(wanted.lfFaceName + 4, u" Sans", 6 * sizeof(WCHAR));
  const HFONT font = CreateFontIndirectW(&wanted);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(GetObjectType(font), OBJ_FONT);
  EXPECT_EQ(GetObjectW(font, 0, nullptr), static_cast<int>(sizeof(LOGFONTW)));
  LOGFONTW wide;
  ASSERT_EQ(GetObjectW(font, sizeof(wide), &wide), static_cast<int>(sizeof(LOGFONTW)));
  EXPECT_EQ(std::memcmp(&wide, &wanted, sizeof(LOGFONTW)), 0);
  LOGFONTA narrow;
  ASSERT_EQ(GetObjectA(font, sizeof(narrow), &narrow), static_cast<int>(sizeof(LOGFONTA)));
  EXPECT_STREQ(narrow.lfFaceName, "Caf\xC3\xA9 Sans");
  EXPECT_EQ(narrow.lfHeight, -13);
  EXPECT_EQ(narrow.lfItalic, 1);
  EXPECT_EQ(GetObjectW(font, sizeof(wide) - 1, &wide), 0);
  EXPECT_TRUE(DeleteObject(font));
  EXPECT_EQ(GetObjectType(font), 0u);
  EXPECT_EQ(CreateFontIndirectW(nullptr), nullptr);
}

TEST(TextApiTest, NarrowFaceNameBecomesWide) {
  LOGFONTA narrow;
  narrow.lfHeight = 20;
  std::strcpy(narrow.lfFaceName, "Stra\xC3\x9F" "e");
  const HFONT font = CreateFontIndirectA(&narrow);
  LOGFONTW wide;
  ASSERT_EQ(GetObjectW(font, sizeof(wide), &wide), static_cast<int>(sizeof(LOGFONTW)));
  EXPECT_EQ(std::u16string(wide.lfFaceName), u"Stra\u00DFe");
  EXPECT_EQ(wide.lfHeight, 20);
  DeleteObject(font);
}

TEST(TextApiTest, NarrowRecordCutsTheFaceAtACharacterBoundary) {
  LOGFONTW wide;
  for (int i = 0; i < LF_FACESIZE - 1; ++i) wide.lfFaceName[i] = u'\u00E9';  // two bytes each
  const HFONT font = CreateFontIndirectW(&wide);
  LOGFONTA narrow;
  ASSERT_EQ(GetObjectA(font, sizeof(narrow), &narrow), static_cast<int>(sizeof(LOGFONTA)));
  EXPECT_EQ(std::strlen(narrow.lfFaceName), 30u);
  DeleteObject(font);
}

TEST(TextApiTest, StockFontsAreRealFonts) {
  const HGDIOBJ gui = GetStockObject(DEFAULT_GUI_FONT);
  EXPECT_EQ(GetObjectType(gui), OBJ_FONT);
  LOGFONTW log_font;
  ASSERT_EQ(GetObjectW(gui, sizeof(log_font), &log_font), static_cast<int>(sizeof(LOGFONTW)));
  EXPECT_EQ(log_font.lfHeight, -11);
  EXPECT_FALSE(DeleteObject(gui) && GetObjectType(gui) == 0);
  DibDc canvas(4, 4);
  SelectObject(canvas.dc(), gui);
  TEXTMETRICW metrics;
  ASSERT_TRUE(GetTextMetricsW(canvas.dc(), &metrics));
  EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, 11);
}

// ---- Drawing ----

// The fixed font at cell height 4: ascent 3, advance 2, one-column boxes.
TEST(TextApiTest, TextOutTransparentAndOpaque) {
  DibDc canvas(8, 6);
  SelectedFont font(canvas.dc(), Fixed(4));
  Prepare(canvas.dc(), TRANSPARENT);
  ASSERT_TRUE(TextOutW(canvas.dc(), 1, 1, u"ab", 2));
  Prepare(canvas.dc(), OPAQUE);
  ASSERT_TRUE(TextOutA(canvas.dc(), 5, 0, "c", 1));
  EXPECT_EQ(canvas.Draw(), (Picture{".....#o.",
                                    ".#.#.#o.",
                                    ".#.#.#o.",
                                    ".#.#.#o.",
                                    ".#.#....",
                                    "........"}));
  EXPECT_EQ(GetPixel(canvas.dc(), 6, 0), kBack);
  EXPECT_FALSE(TextOutW(canvas.dc(), 0, 0, u"a", -1));
}

struct AlignCase {
  const char* name;
  UINT align;
  Picture picture;
};

class TextAlignTest : public ::testing::TestWithParam<AlignCase> {};

TEST_P(TextAlignTest, TextOutPlacesTheCellByTheAlignment) {
  DibDc canvas(10, 9);
  SelectedFont font(canvas.dc(), Fixed(4));
  Prepare(canvas.dc());
  SetTextAlign(canvas.dc(), GetParam().align);
  ASSERT_TRUE(TextOutW(canvas.dc(), 5, 4, u"ab", 2));
  EXPECT_EQ(canvas.Draw(), GetParam().picture);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TextAlignTest,
    ::testing::Values(
        AlignCase{"LeftTop", TA_LEFT | TA_TOP,
                  {"..........", "..........", "..........", "..........", ".....#.#..",
                   ".....#.#..", ".....#.#..", ".....#.#..", ".........."}},
        AlignCase{"RightBottom", TA_RIGHT | TA_BOTTOM,
                  {".#.#......", ".#.#......", ".#.#......", ".#.#......", "..........",
                   "..........", "..........", "..........", ".........."}},
        AlignCase{"CentreBaseline", TA_CENTER | TA_BASELINE,
                  {"..........", "...#.#....", "...#.#....", "...#.#....", "...#.#....",
                   "..........", "..........", "..........", ".........."}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextApiTest, UpdateCurrentPositionDrawsThereAndMovesIt) {
  DibDc canvas(10, 4);
  SelectedFont font(canvas.dc(), Fixed(4));
  Prepare(canvas.dc());
  SetTextAlign(canvas.dc(), TA_UPDATECP);
  MoveToEx(canvas.dc(), 1, 0, nullptr);
  ASSERT_TRUE(TextOutW(canvas.dc(), 99, 99, u"ab", 2));
  ASSERT_TRUE(TextOutW(canvas.dc(), 99, 99, u"c", 1));
  POINT position;
  ASSERT_TRUE(GetCurrentPositionEx(canvas.dc(), &position));
  EXPECT_EQ(position.x, 7);
  EXPECT_EQ(position.y, 0);
  EXPECT_EQ(canvas.Draw()[0], ".#.#.#....");
}

TEST(TextApiTest, ExtTextOutOpaqueRectangleClipAndWidths) {
  DibDc canvas(10, 5);
  SelectedFont font(canvas.dc(), Fixed(4));
  Prepare(canvas.dc(), TRANSPARENT);
  const RECT rect{1, 0, 8, 3};
  const INT dx[] = {3, 3, 3};
  ASSERT_TRUE(ExtTextOutW(canvas.dc(), 1, 1, ETO_OPAQUE | ETO_CLIPPED, &rect, u"abc", 3, dx));
  EXPECT_EQ(canvas.Draw(), (Picture{".ooooooo..",
                                    ".#oo#oo#..",
                                    ".#oo#oo#..",
                                    "..........",
                                    ".........."}));
}

TEST(TextApiTest, UnderlinedFontDrawsTheUnderline) {
  DibDc canvas(8, 5);
  SelectedFont font(canvas.dc(), Fixed(4, true));
  Prepare(canvas.dc());
  ASSERT_TRUE(TextOutW(canvas.dc(), 0, 0, u"a b", 3));
  EXPECT_EQ(canvas.Draw()[3], "######..");
}

TEST(TextApiTest, DrawingFollowsTheOriginsAndTheClipRegion) {
  DibDc canvas(10, 5);
  SelectedFont font(canvas.dc(), Fixed(4));
  Prepare(canvas.dc());
  SetViewportOrgEx(canvas.dc(), 2, 1, nullptr);
  IntersectClipRect(canvas.dc(), 0, 0, 3, 10);  // logical: device columns 2..4
  ASSERT_TRUE(TextOutW(canvas.dc(), 0, 0, u"abcd", 4));
  SetViewportOrgEx(canvas.dc(), 0, 0, nullptr);  // read back in device coordinates
  SelectClipRgn(canvas.dc(), nullptr);
  EXPECT_EQ(canvas.Draw(), (Picture{"..........",
                                    "..#.#.....",
                                    "..#.#.....",
                                    "..#.#.....",
                                    "..#.#....."}));
}

// ---- DrawText ----

struct DrawTextCase {
  const char* name;
  const char16_t* text;
  UINT format;
  int height;
  Picture picture;
};

class DrawTextDcTest : public ::testing::TestWithParam<DrawTextCase> {};

// The rectangle (1, 1)-(9, 8): 8 wide (four characters), 7 high.
TEST_P(DrawTextDcTest, DrawsAlignedClippedAndEllipsised) {
  DibDc canvas(10, 9);
  SelectedFont font(canvas.dc(), Fixed(4));
  Prepare(canvas.dc());
  RECT rect{1, 1, 9, 8};
  EXPECT_EQ(DrawTextW(canvas.dc(), GetParam().text, -1, &rect, GetParam().format), GetParam().height);
  EXPECT_EQ(canvas.Draw(), GetParam().picture);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DrawTextDcTest,
    ::testing::Values(
        DrawTextCase{"RightBottom", u"ab", DT_SINGLELINE | DT_RIGHT | DT_BOTTOM, 7,
                     {"..........", "..........", "..........", "..........", ".....#.#..",
                      ".....#.#..", ".....#.#..", ".....#.#..", ".........."}},
        DrawTextCase{"CentreVerticalCentre", u"ab", DT_SINGLELINE | DT_CENTER | DT_VCENTER, 5,
                     {"..........", "..........", "...#.#....", "...#.#....", "...#.#....",
                      "...#.#....", "..........", "..........", ".........."}},
        DrawTextCase{"EndEllipsis", u"abcdef", DT_SINGLELINE | DT_END_ELLIPSIS, 4,
                     {"..........", ".#.#.#.#..", ".#.#.#.#..", ".#.#.#.#..", ".#.#.#.#..",
                      "..........", "..........", "..........", ".........."}},
        DrawTextCase{"ClippedToTheRectangle", u"abcdef", DT_SINGLELINE, 4,
                     {"..........", ".#.#.#.#..", ".#.#.#.#..", ".#.#.#.#..", ".#.#.#.#..",
                      "..........", "..........", "..........", ".........."}},
        DrawTextCase{"NoClip", u"abcdef", DT_SINGLELINE | DT_NOCLIP, 4,
                     {"..........", ".#.#.#.#.#", ".#.#.#.#.#", ".#.#.#.#.#", ".#.#.#.#.#",
                      "..........", "..........", "..........", ".........."}},
        DrawTextCase{"WordBreakClipsTheLastLine", u"ab cd ef", DT_WORDBREAK, 12,
                     {"..........", ".#.#......", ".#.#......", ".#.#......", ".#.#......",
                      ".#.#......", ".#.#......", ".#.#......", ".........."}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DrawTextDcTest2, CalcRectMeasuresWithoutDrawing) {
  DibDc canvas(10, 9);
  SelectedFont font(canvas.dc(), Fixed(-10));
  Prepare(canvas.dc(), OPAQUE);
  RECT rect{3, 4, 20, 100};
  // 17 pixels hold three characters: "aa b" does not fit, nor "bb c".
  EXPECT_EQ(DrawTextA(canvas.dc(), "aa bb cc", -1, &rect, DT_CALCRECT | DT_WORDBREAK), 30);
  EXPECT_EQ(rect.left, 3);
  EXPECT_EQ(rect.top, 4);
  EXPECT_EQ(rect.right, 3 + 10);
  EXPECT_EQ(rect.bottom, 4 + 30);
  for (const std::string& row : canvas.Draw()) EXPECT_EQ(row, "..........");
}

TEST(DrawTextDcTest2, MeasuringAgreesWithTheExtentForDejaVu) {
  DibDc canvas(4, 4);
  SelectedFont font(canvas.dc(), text::testing::LogFontW("Any Face", -13, FW_BOLD));
  for (const char16_t* sample : {u"Playlist", u"A  wide\tgap", u"\u00C9t\u00E9 \U0001F600", u"iiiWWW"}) {
    SIZE extent;
    const int length = static_cast<int>(std::u16string(sample).size());
    ASSERT_TRUE(GetTextExtentPoint32W(canvas.dc(), sample, length, &extent));
    RECT rect{10, 20, 10, 20};
    EXPECT_EQ(DrawTextW(canvas.dc(), sample, -1, &rect, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX),
              extent.cy);
    EXPECT_EQ(rect.right - rect.left, extent.cx);
    EXPECT_EQ(rect.bottom - rect.top, extent.cy);
  }
}

TEST(DrawTextDcTest2, RefusesMissingArguments) {
  DibDc canvas(4, 4);
  RECT rect{0, 0, 4, 4};
  EXPECT_EQ(DrawTextW(canvas.dc(), u"a", 1, nullptr, 0), 0);
  EXPECT_EQ(DrawTextW(nullptr, u"a", 1, &rect, 0), 0);
  EXPECT_EQ(DrawTextW(canvas.dc(), nullptr, 1, &rect, 0), 0);
  EXPECT_EQ(DrawTextA(canvas.dc(), "a", -2, &rect, 0), 0);
}

// ---- DejaVu through device contexts of several depths ----

class DejaVuDrawingTest : public ::testing::TestWithParam<int> {};

TEST_P(DejaVuDrawingTest, TextShowsGlyphPixelsOfTheChosenColour) {
  DibDc canvas(90, 24, GetParam());
  SelectedFont font(canvas.dc(), text::testing::LogFontW("Any Face", -16));
  SetBkMode(canvas.dc(), TRANSPARENT);
  const COLORREF red = RGB(255, 0, 0);
  SetTextColor(canvas.dc(), red);
  RECT rect{0, 0, 90, 24};
  ASSERT_GT(DrawTextW(canvas.dc(), u"Hello", -1, &rect, DT_SINGLELINE | DT_CENTER | DT_VCENTER), 0);
  int ink = 0;
  int left = 90, right = 0;
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 90; ++x) {
      const COLORREF pixel = GetPixel(canvas.dc(), x, y);
      if (pixel == kWhite) continue;
      EXPECT_EQ(GetRValue(pixel), 255) << x << "," << y;
      EXPECT_EQ(GetGValue(pixel), GetBValue(pixel)) << x << "," << y;
      ink += pixel == red;
      left = std::min(left, x);
      right = std::max(right, x);
    }
  }
  EXPECT_GT(ink, 10);
  // Centred: the ink sits about as far from the left edge as from the right.
  EXPECT_LE(std::abs(left - (89 - right)), 3);
}

INSTANTIATE_TEST_SUITE_P(Depths, DejaVuDrawingTest, ::testing::Values(32, 24));

TEST(TextApiTest, DejaVuUnderlineIsASolidRowUnderTheWholeRun) {
  DibDc canvas(60, 20);
  SelectedFont font(canvas.dc(), text::testing::LogFontW("Any Face", -14, FW_NORMAL, false, true));
  SetBkMode(canvas.dc(), TRANSPARENT);
  SetTextColor(canvas.dc(), kInk);
  SIZE extent;
  ASSERT_TRUE(GetTextExtentPoint32W(canvas.dc(), u"a b", 3, &extent));
  ASSERT_TRUE(TextOutW(canvas.dc(), 2, 1, u"a b", 3));
  TEXTMETRICW metrics;
  ASSERT_TRUE(GetTextMetricsW(canvas.dc(), &metrics));
  const std::string solid = std::string(2, '.') + std::string(extent.cx, '#') +
                            std::string(60 - 2 - extent.cx, '.');
  const Picture picture = canvas.Draw();
  int solid_rows = 0;
  for (int y = 1 + metrics.tmAscent; y < 1 + metrics.tmHeight; ++y) solid_rows += picture[y] == solid;
  EXPECT_GE(solid_rows, 1);
}

TEST(TextApiTest, ThreadsDrawingWithOneFontGetTheSamePixels) {
  const HFONT font = CreateFontIndirectW(&static_cast<const LOGFONTW&>(
      text::testing::LogFontW("Any Face", -14)));
  auto draw = [font] {
    DibDc canvas(120, 20);
    SelectObject(canvas.dc(), font);
    SetBkMode(canvas.dc(), TRANSPARENT);
    TextOutW(canvas.dc(), 2, 2, u"Threads share fonts", 19);
    return canvas.Draw(RGB(0, 0, 0));
  };
  const Picture expected = draw();
  std::vector<Picture> results(4);
  std::vector<std::thread> threads;
  for (auto& result : results) threads.emplace_back([&result, &draw] { result = draw(); });
  for (auto& thread : threads) thread.join();
  for (const Picture& result : results) EXPECT_EQ(result, expected);
  DeleteObject(font);
}

}  // namespace
}  // namespace win
