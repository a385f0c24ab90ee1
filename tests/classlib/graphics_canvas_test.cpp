// TCanvas over a bitmap: the drawing calls with pen, brush and copy mode, object reselection
// after changes, change events, and the drawing lock.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "classlib/bitmap.h"
#include "classlib/graphics.h"
#include "platform/gdi/gdi.h"
#include "platform/text/font.h"

namespace dashtune {
namespace {

class CanvasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bitmap_.SetPixelFormat(pf32bit);
    bitmap_.SetSize(8, 6);
    canvas_ = bitmap_.GetCanvas();
    canvas_->GetBrush()->SetColor(clWhite);
    canvas_->FillRect(win::RECT{0, 0, 8, 6});
  }
  // One character per pixel: '.' white, 'R' red, 'B' blue, 'K' black, '?' anything else.
  std::string Row(int y) {
    std::string row;
    for (int x = 0; x < 8; ++x) {
      switch (canvas_->GetPixel(x, y)) {
        case clWhite: row += '.'; break;
        case clRed: row += 'R'; break;
        case clBlue: row += 'B'; break;
        case clBlack: row += 'K'; break;
        default: row += '?';
      }
    }
    return row;
  }
  TBitmap bitmap_;
  TCanvas* canvas_ = nullptr;
};

TEST_F(CanvasTest, RectangleFramesWithThePenAndFillsWithTheBrush) {
  canvas_->GetPen()->SetColor(clRed);
  canvas_->GetBrush()->SetColor(clBlue);
  canvas_->Rectangle(1, 1, 5, 4);
  EXPECT_EQ(Row(0), "........");
  EXPECT_EQ(Row(1), ".RRRR...");
  EXPECT_EQ(Row(2), ".RBBR...");
  EXPECT_EQ(Row(3), ".RRRR...");
  EXPECT_EQ(Row(4), "........");
}

TEST_F(CanvasTest, AClearBrushLeavesTheInsideAndAChangedPenIsSelectedAgain) {
  canvas_->GetPen()->SetColor(clBlack);
  canvas_->GetBrush()->SetStyle(bsClear);
  canvas_->Rectangle(0, 0, 4, 3);
  canvas_->GetPen()->SetColor(clRed);  // must be reselected before the next line
  canvas_->MoveTo(0, 4);
  canvas_->LineTo(6, 4);
  EXPECT_EQ(Row(0), "KKKK....");
  EXPECT_EQ(Row(1), "K..K....");
  EXPECT_EQ(Row(4), "RRRRRR..");
  EXPECT_EQ(canvas_->GetPenPos().x, 6);
}

TEST_F(CanvasTest, PenModeXorInvertsWhatItCrosses) {
  canvas_->GetPen()->SetColor(clWhite);
  canvas_->GetPen()->SetMode(pmXor);
  canvas_->MoveTo(0, 0);
  canvas_->LineTo(4, 0);
  EXPECT_EQ(Row(0), "KKKK....");
}

TEST_F(CanvasTest, CopyRectStretchesWithTheCopyMode) {
  TBitmap source;
  source.SetPixelFormat(pf24bit);
  source.SetSize(2, 1);
  source.GetCanvas()->SetPixel(0, 0, clRed);
  source.GetCanvas()->SetPixel(1, 0, clBlue);
  canvas_->CopyRect(win::RECT{0, 0, 4, 2}, source.GetCanvas(), win::RECT{0, 0, 2, 1});
  EXPECT_EQ(Row(0), "RRBB....");
  EXPECT_EQ(Row(1), "RRBB....");
  canvas_->SetCopyMode(static_cast<TCopyMode>(win::NOTSRCCOPY));
  canvas_->CopyRect(win::RECT{4, 0, 6, 1}, source.GetCanvas(), win::RECT{0, 0, 2, 1});
  EXPECT_EQ(canvas_->GetPixel(4, 0), static_cast<TColor>(0xFFFF00));  // not red
}

TEST_F(CanvasTest, DrawingCallsRaiseChangingThenChanged) {
  std::string events;
  canvas_->OnChanging = [&](TObject*) { events += '<'; };
  canvas_->OnChange = [&](TObject*) { events += '>'; };
  canvas_->FillRect(win::RECT{0, 0, 1, 1});
  canvas_->SetPixel(2, 2, clRed);
  EXPECT_EQ(events, "<><>");
  // A bitmap hears of every drawing call on its canvas.
  TBitmap other;
  other.SetSize(2, 2);
  int other_changes = 0;
  other.OnChange = [&](TObject*) { ++other_changes; };
  other.GetCanvas()->FillRect(win::RECT{0, 0, 1, 1});
  EXPECT_EQ(other_changes, 1);
}

TEST_F(CanvasTest, FrameAndFocusRectangles) {
  canvas_->GetBrush()->SetColor(clRed);
  canvas_->FrameRect(win::RECT{0, 0, 3, 3});
  EXPECT_EQ(Row(0), "RRR.....");
  EXPECT_EQ(Row(1), "R.R.....");
  canvas_->GetBrush()->SetColor(clWhite);
  canvas_->DrawFocusRect(win::RECT{4, 0, 8, 1});
  EXPECT_EQ(Row(0).substr(4), "K.K.");  // dotted, inverted
}

TEST(CanvasLock, LockSerialisesThreadsAndCounts) {
  TCanvas canvas;
  canvas.Lock();
  canvas.Lock();
  EXPECT_EQ(canvas.GetLockCount(), 2);
  std::atomic<bool> other_locked{false};
  std::thread other([&] { other_locked = canvas.TryLock(); });
  other.join();
  EXPECT_FALSE(other_locked);
  canvas.Unlock();
  canvas.Unlock();
  std::thread later([&] {
    other_locked = canvas.TryLock();
    if (other_locked) canvas.Unlock();
  });
  later.join();
  EXPECT_TRUE(other_locked);
  EXPECT_EQ(canvas.GetLockCount(), 0);
}

TEST(CanvasHandle, APlainCanvasWithoutHandleRefusesToDraw) {
  TCanvas canvas;
  EXPECT_THROW(canvas.FillRect(win::RECT{0, 0, 1, 1}), EInvalidOperation);
}

TEST(DrawingObjects, FontSizeFollowsThePixelsPerInchAndAssignCopies) {
  TFont font;
  font.SetSize(12);
  EXPECT_EQ(font.GetHeight(), -16);
  EXPECT_EQ(font.GetSize(), 12);
  font.SetStyle(TFontStyles{fsBold, fsUnderline});
  font.SetColor(clRed);
  font.SetName("DejaVu Sans");
  TFont copy;
  int changes = 0;
  copy.OnChange = [&](TObject*) { ++changes; };
  copy.Assign(&font);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(copy.GetHeight(), -16);
  EXPECT_TRUE(copy.GetStyle().Contains(fsBold));
  EXPECT_EQ(copy.GetColor(), clRed);
  EXPECT_EQ(copy.GetName(), "DejaVu Sans");
  TPen pen;
  EXPECT_THROW(pen.Assign(&font), EConvertError);
  pen.SetWidth(-1);
  EXPECT_EQ(pen.GetWidth(), 1);
}

TEST(Colors, SystemColoursResolveAndPlainColoursLoseTheirHighByte) {
  EXPECT_EQ(ColorToRGB(clRed), 0x0000FFu);
  EXPECT_EQ(ColorToRGB(clRed | 0x02000000), 0x0000FFu);
  EXPECT_EQ(ColorToRGB(clBtnFace) & 0xFF000000u, 0u);
}

}  // namespace
}  // namespace dashtune

namespace dashtune {
namespace {

// With the fixed-metrics font a cell height of 16 gives an advance of 8 and solid boxes of 7
// columns for visible characters.
class CanvasTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bitmap_.SetPixelFormat(pf32bit);
    bitmap_.SetSize(40, 20);
    canvas_ = bitmap_.GetCanvas();
    canvas_->GetBrush()->SetColor(clWhite);
    canvas_->FillRect(win::RECT{0, 0, 40, 20});
    canvas_->GetFont()->SetName(win::text::kFixedMetricsFaceName);
    canvas_->GetFont()->SetHeight(16);
    canvas_->GetFont()->SetColor(clRed);
  }
  TBitmap bitmap_;
  TCanvas* canvas_ = nullptr;
};

TEST_F(CanvasTextTest, MeasuresExactlyWithTheFixedFont) {
  EXPECT_EQ(canvas_->TextWidth("abc"), 24);
  EXPECT_EQ(canvas_->TextHeight("abc"), 16);
  EXPECT_EQ(canvas_->TextWidth(""), 0);
}

TEST_F(CanvasTextTest, TextOutDrawsInTheFontColourAndMovesThePen) {
  canvas_->GetBrush()->SetStyle(bsClear);
  canvas_->TextOut(2, 1, "a b");
  EXPECT_EQ(canvas_->GetPixel(2, 1), clRed);
  EXPECT_EQ(canvas_->GetPixel(8, 16), clRed);   // last box column, last row
  EXPECT_EQ(canvas_->GetPixel(9, 1), clWhite);  // the gap after the box
  EXPECT_EQ(canvas_->GetPixel(12, 5), clWhite); // the blank
  EXPECT_EQ(canvas_->GetPixel(18, 5), clRed);
  EXPECT_EQ(canvas_->GetPenPos().x, 26);
}

TEST_F(CanvasTextTest, TextRectClipsAndFillsWithTheBrush) {
  canvas_->GetBrush()->SetColor(clBlue);
  canvas_->TextRect(win::RECT{0, 0, 12, 10}, 0, 0, "ab");
  EXPECT_EQ(canvas_->GetPixel(0, 0), clRed);
  EXPECT_EQ(canvas_->GetPixel(7, 0), clBlue);     // the gap, filled by the brush
  EXPECT_EQ(canvas_->GetPixel(11, 9), clRed);     // second box inside the rectangle
  EXPECT_EQ(canvas_->GetPixel(12, 0), clWhite);   // clipped
  EXPECT_EQ(canvas_->GetPixel(0, 10), clWhite);   // clipped
}

}  // namespace
}  // namespace dashtune
