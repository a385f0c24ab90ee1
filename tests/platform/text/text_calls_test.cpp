// Text metrics of the fixed and DejaVu fonts, DT_CALCRECT, DrawText clipping.
#include "platform/text/text_calls.h"

#include <gtest/gtest.h>

#include "text_test_support.h"

namespace win::text {
namespace {

using testing::Canvas;

TEST(TextCallsTest, TextMetricsOfTheFixedFontAreItsCell) {
  TEXTMETRICW metrics;
  metrics.tmOverhang = 99;  // every field is written
  FillTextMetrics(*RealizeFont(RequestFromLogFont(
                      testing::LogFontW(kFixedMetricsFaceName, -12, FW_BOLD, true, true))),
                  metrics);
  EXPECT_EQ(metrics.tmHeight, 12);
  EXPECT_EQ(metrics.tmAscent, 9);
  EXPECT_EQ(metrics.tmDescent, 3);
  EXPECT_EQ(metrics.tmInternalLeading, 0);
  EXPECT_EQ(metrics.tmExternalLeading, 0);
  EXPECT_EQ(metrics.tmAveCharWidth, 6);
  EXPECT_EQ(metrics.tmMaxCharWidth, 6);
  EXPECT_EQ(metrics.tmWeight, FW_BOLD);
  EXPECT_EQ(metrics.tmOverhang, 0);
  EXPECT_EQ(metrics.tmItalic, 1);
  EXPECT_EQ(metrics.tmUnderlined, 1);
  EXPECT_EQ(metrics.tmStruckOut, 0);
  EXPECT_EQ(metrics.tmDigitizedAspectY, 96);
  EXPECT_EQ(metrics.tmLastChar, u'\xFFFC');
}

TEST(TextCallsTest, TextMetricsOfDejaVuMarkAVariablePitchOutlineFont) {
  TEXTMETRICA metrics;
  FillTextMetrics(*testing::DejaVu(-11), metrics);
  EXPECT_EQ(metrics.tmHeight, 13);
  EXPECT_EQ(metrics.tmAscent + metrics.tmDescent, metrics.tmHeight);
  EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, 11);
  EXPECT_EQ(metrics.tmPitchAndFamily, FF_SWISS | TMPF_FIXED_PITCH | TMPF_VECTOR | TMPF_TRUETYPE);
  EXPECT_GT(metrics.tmMaxCharWidth, metrics.tmAveCharWidth);
  EXPECT_EQ(static_cast<unsigned char>(metrics.tmLastChar), 0xFF);
}

TEST(TextCallsTest, CalcRectMeasuresWithoutATarget) {
  RECT rect{5, 5, 1000, 1000};
  const int height = DrawDecodedText(nullptr, *testing::FixedFont(10), DecodeUtf8("ab\ncde"), rect,
                                     DT_CALCRECT);
  EXPECT_EQ(height, 20);
  EXPECT_EQ(rect.right, 20);
  EXPECT_EQ(rect.bottom, 25);
}

TEST(TextCallsTest, DrawTextClipsToItsRectangleUnlessNoClip) {
  const auto font = testing::FixedFont(4);  // advance 2, box 1 x 4
  for (UINT extra : {0u, DT_NOCLIP}) {
    Canvas canvas(8, 6, RGB(255, 255, 255));
    BgraSink sink(canvas.Surface(), {RECT{0, 0, 8, 6}});
    TextTarget target;
    target.sink = &sink;
    target.opaque_background = false;
    RECT rect{1, 1, 4, 3};
    EXPECT_EQ(DrawDecodedText(&target, *font, DecodeUtf8("abc"), rect, DT_SINGLELINE | extra), 4);
    EXPECT_EQ(rect.right, 4);  // not a measuring call: the rectangle is left alone
    const std::vector<std::string> clipped{"........", ".#.#....", ".#.#....", "........",
                                           "........", "........"};
    const std::vector<std::string> unclipped{"........", ".#.#.#..", ".#.#.#..", ".#.#.#..",
                                             ".#.#.#..", "........"};
    EXPECT_EQ(canvas.Picture(RGB(0, 0, 0), RGB(255, 255, 255)), extra ? unclipped : clipped);
  }
}

}  // namespace
}  // namespace win::text
