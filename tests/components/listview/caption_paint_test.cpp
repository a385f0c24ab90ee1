// Captions as the control draws them in every view, read back from its pixels: no caption pixel
// outside its item's text rectangle (a focused caption of any length included), and the lines
// drawn are the lines measured, broken at spaces and cut with an ellipsis on the last line.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "classlib/bitmap.h"
#include "classlib/imagelist.h"
#include "components/listview/listview.h"
#include "components/listview/view_items.h"
#include "listview_test_support.h"
#include "platform/user/surfaces.h"

namespace dashtune {
namespace {

using testing::ListviewOnForm;

// The fixed-metrics font at this height: every character a solid box 5 pixels wide on an
// advance of 6, over the whole line height; a space is blank.
constexpr int kLineHeight = 12;
constexpr int kAdvance = 6;
constexpr int kItems = 20;
constexpr int kFocusedItem = 5;
const WideString kCaption = u"Rechnung 2024-03.pdf";
const WideString kLongCaption = u"Rechnung 2024 und noch viel mehr Text, der nicht passt";

// Each caption is drawn in a colour of its own, told apart from everything else the control
// draws: red 0x11 + position, green 0x90 + item, blue 0x37.
TColor InkColor(int item, int position) {
  return static_cast<TColor>(0x37 << 16 | (0x90 + item) << 8 | (0x11 + position));
}
struct Ink {
  int item = -1, position = -1;
};
Ink InkOf(std::uint32_t pixel) {
  const int red = static_cast<int>(pixel >> 16 & 0xFF), green = static_cast<int>(pixel >> 8 & 0xFF);
  if ((pixel & 0xFF) != 0x37 || green < 0x90 || green >= 0x90 + kItems || red < 0x11 || red > 0x14) return {};
  return {green - 0x90, red - 0x11};
}

class CaptionPaint : public ::testing::Test {
 protected:
  void SetUp() override {
    lv_->GetFont()->SetName("Dashtune Fixed Metrics");
    lv_->GetFont()->SetHeight(kLineHeight);
    testing::AddSolidImage(small_, 16);
    testing::AddSolidImage(large_, 32);
    testing::AddSolidImage(extra_large_, 48);
    lv_->SetImagesSmall(&small_);
    lv_->SetImagesLarge(&large_);
    lv_->SetImagesExLarge(&extra_large_);
    lv_->GetHeader()->SetVisible(true);
    TTouchColumns* columns = lv_->GetHeader()->GetColumns();
    columns->AddColumn()->SetWidth(150);
    columns->AddColumn()->SetWidth(120);
    lv_->OnItemGetImageIndex = [](TCustomTouchListview*, TTouchItem*, int, TTouchImageKind kind, int& index) {
      if (kind == eikNormal) index = 0;
    };
    lv_->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem* item, int column, WideString& caption) {
      if (column == 1) caption = u"12 kB";
      else caption = item->GetIndex() == kFocusedItem ? kLongCaption : kCaption;
    };
    lv_->OnItemGetTileDetailCount = [](TCustomTouchListview*, TTouchItem*, int& count) { count = 2; };
    lv_->OnItemPaintText = [](TCustomTouchListview*, TTouchItem* item, int position, TCanvas* canvas) {
      canvas->GetFont()->SetColor(InkColor(item->GetIndex(), position));
    };
    for (int i = 0; i < kItems; ++i) lv_->GetItems()->AddVirtual();
    lv_->GetPaintInfoItem()->SetShowBorder(true);
    host_.form->Show();
    TTouchItem* focused = lv_->GetItems()->GetItem(kFocusedItem);
    focused->SetFocused(true);
    focused->SetSelected(true);
    lv_->SetFocus();
  }

  win::WindowPixels PaintIn(TTouchListStyle view) {
    lv_->SetView(view);
    lv_->Invalidate();
    lv_->Update();
    win::WindowPixels pixels;
    EXPECT_TRUE(win::ReadWindowPixels(lv_->GetHandle(), &pixels));
    return pixels;
  }
  // The column a caption position is painted for: report rows paint one per column.
  TTouchColumn* ColumnAt(int position) {
    if (!lv_->GetItems()->GetItem(0)->GetView()->PaintsColumns()) return nullptr;
    TTouchColumns* columns = lv_->GetHeader()->GetColumns();
    for (int i = 0; i < columns->GetCount(); ++i)
      if (columns->GetColumn(i)->GetPosition() == position) return columns->GetColumn(i);
    return nullptr;
  }
  // The item's text rectangle for a caption position, in window coordinates.
  win::RECT TextRectInWindow(int item, int position) {
    TTouchRectArrayObject rects;
    lv_->GetItems()->GetItem(item)->ItemRects(ColumnAt(position), lv_->GetCanvas(), rects);
    return lv_->GetScrollbars()->MapViewRectToWindow(rects.TextRect);
  }
  // The words of a drawn line, each as its number of characters, read from one caption's ink in
  // the band of line `line` of its text rectangle: a box per character, one blank column
  // between the boxes of a word, more between words.
  static std::vector<int> WordsOfLine(const win::WindowPixels& pixels, const win::RECT& text, int line, Ink ink) {
    std::vector<int> words;
    int blank = 0;
    for (int x = text.left; x < text.right; ++x) {
      bool inked = false;
      for (int y = text.top + line * kLineHeight; y < text.top + (line + 1) * kLineHeight; ++y) {
        const Ink at = InkOf(pixels.At(x, y));
        inked |= at.item == ink.item && at.position == ink.position;
      }
      if (!inked) {
        ++blank;
        continue;
      }
      const bool box_starts = x == text.left || blank > 0;
      if (box_starts && (words.empty() || blank > 1)) words.push_back(0);
      if (box_starts) ++words.back();
      blank = 0;
    }
    return words;
  }

  ListviewOnForm host_{500, 400};
  TTouchListview* lv_ = host_.listview;
  TCustomImageList small_{nullptr}, large_{nullptr}, extra_large_{nullptr};
};

TEST_F(CaptionPaint, NoCaptionPixelLiesOutsideItsTextRectangleInAnyView) {
  for (const TTouchListStyle view :
       {elsIcon, elsSmallIcon, elsList, elsReport, elsThumbnail, elsTile, elsFilmStrip, elsGrid}) {
    SCOPED_TRACE(view);
    const win::WindowPixels pixels = PaintIn(view);
    std::map<std::pair<int, int>, win::RECT> text_rects;
    int outside = 0, focused_ink = 0;
    std::string first_outside;
    for (int y = 0; y < pixels.height; ++y) {
      for (int x = 0; x < pixels.width; ++x) {
        const Ink ink = InkOf(pixels.At(x, y));
        if (ink.item < 0) continue;
        focused_ink += ink.item == kFocusedItem;
        const auto [known, fresh] = text_rects.try_emplace({ink.item, ink.position});
        if (fresh) known->second = TextRectInWindow(ink.item, ink.position);
        const win::RECT& text = known->second;
        if (x >= text.left && x < text.right && y >= text.top && y < text.bottom) continue;
        if (outside++ == 0)
          first_outside = "item " + std::to_string(ink.item) + " at " + std::to_string(x) + "," + std::to_string(y) +
                          " outside " + testing::ShowRect(text);
      }
    }
    EXPECT_EQ(outside, 0) << first_outside;
    EXPECT_GT(focused_ink, 0);
  }
}

TEST_F(CaptionPaint, TheLinesDrawnAreTheLinesMeasuredBrokenAtSpaces) {
  // Icon labels hold 11 characters a line, thumbnail and film strip labels 18. Two lines at
  // most; the last one takes the rest, cut with "..." (three boxes after the cut).
  using Lines = std::vector<std::vector<int>>;
  const struct Case {
    TTouchListStyle view;
    int item;
    Lines lines;
  } cases[] = {
      {elsIcon, 0, {{8}, {11}}},                 // "Rechnung" / "2024-03.pdf"
      {elsIcon, kFocusedItem, {{8}, {4, 6}}},    // "Rechnung" / "2024 und..."
      {elsThumbnail, 0, {{8}, {11}}},            // "Rechnung" / "2024-03.pdf"
      {elsThumbnail, kFocusedItem, {{8, 4, 3}, {4, 4, 4, 3}}},  // "... und" / "noch viel mehr ..."
      {elsFilmStrip, 0, {{8}, {11}}},
      {elsFilmStrip, kFocusedItem, {{8, 4, 3}, {4, 4, 4, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::ShowRect({c.view, c.item, 0, 0}));
    const win::WindowPixels pixels = PaintIn(c.view);
    const win::RECT text = TextRectInWindow(c.item, 0);
    ASSERT_EQ((text.bottom - text.top) / kLineHeight, static_cast<int>(c.lines.size())) << testing::ShowRect(text);
    Lines drawn;
    for (int line = 0; line < static_cast<int>(c.lines.size()); ++line)
      drawn.push_back(WordsOfLine(pixels, text, line, Ink{c.item, 0}));
    EXPECT_EQ(drawn, c.lines);
  }
}

}  // namespace
}  // namespace dashtune
