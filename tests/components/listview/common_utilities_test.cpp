// Drawing services of the common units: invalidation only for controls that have a window, caption
// text measured and drawn in limited lines, and blending a colour over a 32-bit bitmap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "classlib/bitmap.h"
#include "classlib/controls.h"
#include "classlib/form.h"
#include "components/listview/common/common_utilities.h"
#include "platform/user/messages.h"
#include "platform/gdi/gdi.h"
#include "platform/text/text.h"
#include "platform/user/paint.h"

namespace dashtune {
namespace {

class TCountingControl : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  int paints = 0;

 protected:
  void Paint() override { ++paints; }
};

TEST(SafeInvalidateRect, LeavesAControlWithoutAWindowWithoutOne) {
  TCountingControl control(nullptr);
  common::SafeInvalidateRect(&control, nullptr, true);
  EXPECT_FALSE(control.HandleAllocated());
  EXPECT_EQ(control.paints, 0);
}

TEST(SafeInvalidateRect, InvalidatesTheRectangleAndPaintsAtOnceWhenAsked) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 60, 40);
  auto* control = new TCountingControl(&form);
  control->SetParent(&form);
  control->SetBounds(0, 0, 40, 30);
  form.Show();
  win::UpdateWindow(form.GetHandle());
  const int before = control->paints;

  const win::RECT part{2, 3, 12, 13};
  common::SafeInvalidateRect(control, &part, false);
  win::RECT update{};
  ASSERT_TRUE(win::GetUpdateRect(control->GetHandle(), &update, win::FALSE));
  EXPECT_EQ(update.left, 2);
  EXPECT_EQ(update.top, 3);
  EXPECT_EQ(update.right, 12);
  EXPECT_EQ(update.bottom, 13);
  EXPECT_EQ(control->paints, before);

  common::SafeInvalidateRect(control, nullptr, true);
  EXPECT_EQ(control->paints, before + 1);
  EXPECT_FALSE(win::GetUpdateRect(control->GetHandle(), &update, win::FALSE));
}

}  // namespace
}  // namespace dashtune

namespace dashtune {
namespace {

// Draws or measures captions with the fixed-metrics face (10 pixels a character, 20 a line).
class CaptionText : public ::testing::Test {
 protected:
  void SetUp() override {
    bitmap_.SetPixelFormat(pf32bit);
    bitmap_.SetSize(200, 100);
    canvas_ = bitmap_.GetCanvas();
    canvas_->GetBrush()->SetColor(clWhite);
    canvas_->FillRect(win::RECT{0, 0, 200, 100});
    canvas_->GetBrush()->SetStyle(bsClear);
    canvas_->GetFont()->SetName("Dashtune Fixed Metrics");
    canvas_->GetFont()->SetHeight(20);
    canvas_->GetFont()->SetColor(clBlack);
  }
  win::RECT Measure(const std::u16string& text, win::RECT rect, int lines, unsigned flags) {
    common::DrawCaptionText(canvas_->GetHandle(), text, rect, lines, flags | common::dtCalcRect);
    return rect;
  }
  std::uint32_t Pixel(int x, int y) {
    const auto* p = static_cast<const std::uint8_t*>(bitmap_.GetScanLine(y)) + x * 4;
    return static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
  }
  TBitmap bitmap_;
  TCanvas* canvas_ = nullptr;
};

TEST_F(CaptionText, MeasuresLinesByTheirLimit) {
  using namespace common;
  struct Case {
    const char16_t* text;
    int lines;
    unsigned flags;
    win::RECT expected;
  };
  const Case cases[] = {
      {u"ABCDEFGHIJKL", 1, dtSingleLine, {0, 0, 100, 20}},            // one line, width kept
      {u"ABCDEFGHIJKL", 3, 0, {0, 0, 100, 40}},                        // 10 + 2 characters
      {u"ABCDEFGHIJKLMNOPQRSTUVWXYZ", 2, 0, {0, 0, 100, 40}},         // the rest in the last line
      {u"ABCDEFGHIJKLMNOPQRSTUVWXYZ", -1, 0, {0, 0, 100, 60}},        // no limit
      {u"AB CD EFGHIJ", -1, dtWordBreak, {0, 0, 100, 40}},            // breaks after "CD"
      {u"AB", 2, dtCalcRectAdjR, {0, 0, 20, 20}},                     // narrowed to the text
      {u"AB", 1, dtCalcRectAdjR | dtCalcRectAlign | dtRight, {80, 0, 100, 20}},
      {u"AB", 1, dtCalcRectAdjR | dtCalcRectAlign | dtCenter, {40, 0, 60, 20}},
      {u"ABCDEFGHIJKL", 1, dtCalcRectAdjR | dtEndEllipsis, {0, 0, 100, 20}},
      {u"", 2, 0, {0, 0, 100, 0}},                                     // no text, no lines
  };
  for (const Case& c : cases) {
    const win::RECT r = Measure(c.text, {0, 0, 100, 50}, c.lines, c.flags);
    EXPECT_EQ(r.left, c.expected.left) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    EXPECT_EQ(r.top, c.expected.top);
    EXPECT_EQ(r.right, c.expected.right) << c.lines;
    EXPECT_EQ(r.bottom, c.expected.bottom) << c.lines;
  }
}

TEST_F(CaptionText, AFittingCaptionIsMeasuredOnceForItsWidth) {
  for (const std::u16string& text : {std::u16string(u"ABCD"), std::u16string(9, u'W')}) {
    const std::uint64_t before = common::MeasuredCharacters();
    const win::RECT r = Measure(text, {0, 0, 100, 50}, 2, common::dtCalcRectAdjR | common::dtWordBreak);
    EXPECT_EQ(r.right, 10 * static_cast<int>(text.size()));
    EXPECT_EQ(common::MeasuredCharacters() - before, text.size());
  }
}

TEST_F(CaptionText, DrawsEachLineWhereTheFlagsPlaceIt) {
  win::RECT rect{0, 0, 100, 60};
  EXPECT_EQ(common::DrawCaptionText(canvas_->GetHandle(), u"ABCDEFGHIJKL", rect, 2,
                                    common::dtVCenter | common::dtRight),
            40);
  // Two lines centred in 60: rows 10 to 50; line 1 right-aligned: "KL" at 80.
  EXPECT_EQ(Pixel(0, 10), 0x000000u);
  EXPECT_EQ(Pixel(0, 9), 0xFFFFFFu);
  EXPECT_EQ(Pixel(80, 30), 0x000000u);
  EXPECT_EQ(Pixel(79, 30), 0xFFFFFFu);
  EXPECT_EQ(Pixel(80, 50), 0xFFFFFFu);
}

TEST_F(CaptionText, DrawnLinesStayInsideTheRectangle) {
  // 26 characters make three lines of 10; a rectangle holds as many whole lines as its height
  // allows (the last of them taking the rest), a single line taller than it is cut at its edges.
  const struct Case {
    const char* name;
    win::RECT rect;
    int lines;
    unsigned flags;
    int first_ink_row, last_ink_row;
  } cases[] = {
      {"no limit, two lines fit", {0, 10, 100, 50}, -1, 0, 10, 49},
      {"five asked, two fit", {0, 10, 100, 55}, 5, 0, 10, 49},
      {"one line taller than the rectangle", {0, 10, 100, 22}, 3, 0, 10, 21},
      {"centred: one line fits", {0, 10, 100, 40}, -1, common::dtVCenter, 15, 34},
      {"bottom: the block ends at the bottom", {0, 10, 100, 55}, -1, common::dtBottom, 15, 54},
      {"centred single line cut at both edges", {0, 10, 100, 20}, 1, common::dtVCenter, 10, 19},
  };
  for (const Case& c : cases) {
    canvas_->GetBrush()->SetStyle(bsSolid);
    canvas_->FillRect(win::RECT{0, 0, 200, 100});
    canvas_->GetBrush()->SetStyle(bsClear);
    win::RECT rect = c.rect;
    common::DrawCaptionText(canvas_->GetHandle(), u"ABCDEFGHIJKLMNOPQRSTUVWXYZ", rect, c.lines, c.flags);
    int first = -1, last = -1;
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 200; ++x)
        if (Pixel(x, y) != 0xFFFFFFu) {
          if (first < 0) first = y;
          last = y;
          EXPECT_TRUE(x >= c.rect.left && x < c.rect.right) << c.name << " x " << x;
        }
    EXPECT_EQ(first, c.first_ink_row) << c.name;
    EXPECT_EQ(last, c.last_ink_row) << c.name;
  }
}

// The line breaker by its definition: each line takes the most characters whose prefix fits
// (at least one), found by halving over the whole rest, which is measured whole first; a word
// break moves the end back to the last space. Answers the lines.
std::vector<std::u16string> LinesByDefinition(win::HDC dc, const std::u16string& text, int width, int lines,
                                              bool word_break) {
  auto width_of = [dc](std::u16string_view part) {
    win::SIZE size{};
    if (!part.empty())
      win::GetTextExtentPoint32W(dc, reinterpret_cast<win::LPCWSTR>(part.data()), static_cast<int>(part.size()), &size);
    return static_cast<int>(size.cx);
  };
  std::vector<std::u16string> out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::u16string_view rest = std::u16string_view(text).substr(pos);
    if ((lines >= 0 && static_cast<int>(out.size()) + 1 >= lines) || width_of(rest) <= width) {
      out.emplace_back(rest);
      break;
    }
    std::size_t low = 1, high = rest.size();
    while (low < high) {
      const std::size_t middle = (low + high + 1) / 2;
      if (width_of(rest.substr(0, middle)) <= width) low = middle;
      else high = middle - 1;
    }
    std::size_t end = low, next = low;
    if (word_break) {
      const std::size_t space = rest.substr(0, end + 1).find_last_of(u' ');
      if (space != std::u16string_view::npos && space > 0) end = next = space;
    }
    out.emplace_back(rest.substr(0, end));
    pos += next;
    while (pos < text.size() && text[pos] == u' ') ++pos;
  }
  return out;
}

TEST_F(CaptionText, BreaksLinesAsTheDefinitionDoesWithAProportionalFace) {
  canvas_->GetFont()->SetName("DejaVu Sans");
  canvas_->GetFont()->SetHeight(14);
  const win::HDC dc = canvas_->GetHandle();
  win::TEXTMETRICW metrics{};
  win::GetTextMetricsW(dc, &metrics);
  std::mt19937 random(36221);
  static const char16_t kUnits[] = {u'i', u'l', u'W', u'M', u'a', u'e', u' ', u' ', u'.', 0xC4, 0x416};
  for (int round = 0; round < 400; ++round) {
    std::u16string text;
    for (int n = static_cast<int>(random() % 700); n > 0; --n) text += kUnits[random() % std::size(kUnits)];
    const int width = 5 + static_cast<int>(random() % 200);
    const int lines = static_cast<int>(random() % 5) - 1;  // -1 (no limit) to 3
    const bool word_break = random() % 2 == 0;
    const std::vector<std::u16string> expected = LinesByDefinition(dc, text, width, lines, word_break);
    int widest = 0;
    for (const std::u16string& line : expected) {
      win::SIZE size{};
      if (!line.empty())
        win::GetTextExtentPoint32W(dc, reinterpret_cast<win::LPCWSTR>(line.data()), static_cast<int>(line.size()), &size);
      widest = std::max(widest, static_cast<int>(size.cx));
    }
    const win::RECT measured = Measure(text, {0, 0, width, 0}, lines,
                                       common::dtCalcRectAdjR | (word_break ? common::dtWordBreak : 0u));
    ASSERT_EQ(measured.bottom, static_cast<int>(expected.size()) * metrics.tmHeight) << round;
    ASSERT_EQ(measured.right, widest) << round;
  }
}

TEST(AlphaBlendRoutine, BlendsAColourOverA32BitBitmapAndRefusesOthers) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf32bit);
  bitmap.SetSize(4, 4);
  bitmap.GetCanvas()->GetBrush()->SetColor(clWhite);
  bitmap.GetCanvas()->FillRect(win::RECT{0, 0, 4, 4});
  common::AlphaBlend(bitmap.GetCanvas()->GetHandle(), {1, 1, 10, 3}, clBlue, 128);
  const auto* row = static_cast<const std::uint8_t*>(bitmap.GetScanLine(1));
  // Blue 255 stays 255; green and red: (0 x 128 + 255 x 127 + 127) / 255 = 127.
  EXPECT_EQ(row[4 + 0], 255);
  EXPECT_EQ(row[4 + 1], 127);
  EXPECT_EQ(row[4 + 2], 127);
  EXPECT_EQ(row[0 + 1], 255);  // column 0 is outside
  const auto* below = static_cast<const std::uint8_t*>(bitmap.GetScanLine(3));
  EXPECT_EQ(below[4 + 1], 255);

  TBitmap deep24;
  deep24.SetPixelFormat(pf24bit);
  deep24.SetSize(4, 4);
  try {
    common::AlphaBlend(deep24.GetCanvas()->GetHandle(), {0, 0, 4, 4}, clBlue, 128);
    FAIL() << "a 24-bit bitmap was blended";
  } catch (const common::EAlphaBlendError& error) {
    EXPECT_STREQ(error.what(), "Alpha blending error: bitmap must use 32 bpp.");
  }
  const win::HDC bare = win::CreateCompatibleDC(nullptr);
  try {
    common::AlphaBlend(bare, {0, 0, 4, 4}, clBlue, 128);
    FAIL() << "a context without a bitmap was blended";
  } catch (const common::EAlphaBlendError& error) {
    EXPECT_STREQ(error.what(), "Alpha blending DC error: no bitmap available.");
  }
  win::DeleteDC(bare);
}

}  // namespace
}  // namespace dashtune
