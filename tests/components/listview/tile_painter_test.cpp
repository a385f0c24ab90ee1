// The tile painter: the rectangles of a tile with the fixed-metrics face, line layout rules,
// and the pixels of a tile painted into a 32-bit bitmap (image, caption, recoloured detail,
// disabled look, focus dots, selection blends: plain, rounded, gradient, grouped rows).
#include <gtest/gtest.h>

#include <cmath>

#include "classlib/bitmap.h"
#include "classlib/imagelist.h"
#include "components/listview/listview.h"
#include "components/listview/view_items.h"
#include "listview_test_support.h"
#include "platform/user/surfaces.h"

namespace dashtune {
namespace {

constexpr win::RECT kCell{0, 0, 218, 58};
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kRed = 0xFF0000;  // as 0xRRGGBB

bool SameRect(const win::RECT& a, const win::RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}


// 0xRRGGBB of a bitmap pixel.
std::uint32_t Pixel(TBitmap& bitmap, int x, int y) {
  const auto* row = static_cast<const std::uint8_t*>(bitmap.GetScanLine(y));
  const std::uint8_t* p = row + x * 4;
  return static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

std::uint32_t Rgb(TColor color) {
  const win::COLORREF rgb = ColorToRGB(color);
  return (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
}

// A tile list as the application sets one up: virtual items in tile view, the fixed-metrics
// face at 20 pixels, an extra-large image list of 32 x 32 red images.
class TilePainter : public ::testing::Test {
 protected:
  void SetUp() override {
    listview_.SetBounds(0, 0, 218, 58);
    listview_.SetView(elsTile);
    listview_.GetFont()->SetName("Dashtune Fixed Metrics");
    listview_.GetFont()->SetHeight(20);
    listview_.GetFont()->SetColor(clBlack);
    TBitmap red;
    red.SetPixelFormat(pf24bit);
    red.SetSize(32, 32);
    red.GetCanvas()->GetBrush()->SetColor(clRed);
    red.GetCanvas()->FillRect(win::RECT{0, 0, 32, 32});
    images_.Add(&red, nullptr);
    listview_.SetImagesExLarge(&images_);
    listview_.OnItemGetCaption = [](TCustomTouchListview*, TTouchItem*, int column, WideString& caption) {
      static const char16_t* const captions[] = {u"AB", u"CD", u"EF"};
      caption = column >= 0 && column < 3 ? captions[column] : u"";
    };
    listview_.OnItemGetImageIndex = [](TCustomTouchListview*, TTouchItem*, int, TTouchImageKind kind, int& index) {
      if (kind == eikNormal) index = 0;
    };
    listview_.OnItemGetTileDetailCount = [this](TCustomTouchListview*, TTouchItem*, int& count) { count = detail_count_; };
    listview_.OnItemGetTileDetail = [this](TCustomTouchListview*, TTouchItem*, int line, int& detail) {
      detail = line == 0 ? first_detail_ : line;
    };
    item_ = listview_.GetItems()->AddVirtual();
    item_->SetDisplayRect(kCell);
    bitmap_.SetPixelFormat(pf32bit);
    bitmap_.SetSize(218, 58);
    bitmap_.GetCanvas()->GetBrush()->SetColor(clWhite);
    bitmap_.GetCanvas()->FillRect(kCell);
  }

  TTouchRectArrayObject Rects() {
    TTouchRectArrayObject rects;
    item_->ItemRects(nullptr, bitmap_.GetCanvas(), rects);
    return rects;
  }

  void Paint() { item_->Paint(bitmap_.GetCanvas(), kCell, nullptr, false); }

  TTouchListview listview_{nullptr};
  TCustomImageList images_{nullptr, 32, 32};
  TBitmap bitmap_;
  TTouchItem* item_ = nullptr;
  int detail_count_ = 3;
  int first_detail_ = 0;
};

TEST_F(TilePainter, RectanglesOfADefaultTile) {
  const TTouchRectArrayObject rects = Rects();
  EXPECT_RECT(rects.BoundsRect, 4, 4, 214, 54);
  EXPECT_RECT(rects.CheckRect, 4, 4, 4, 54);
  EXPECT_RECT(rects.IconRect, 6, 4, 42, 54);
  EXPECT_RECT(rects.IconBandRect, 6, 4, 42, 54);
  EXPECT_RECT(rects.LabelRect, 48, 4, 212, 54);
  // Two lines of 20 pixels fit the 50-pixel label; the third does not. Centred: 5 down.
  ASSERT_EQ(rects.TextRects.size(), 2u);
  EXPECT_RECT(rects.TextRects[0], 48, 9, 68, 29);
  EXPECT_RECT(rects.TextRects[1], 48, 29, 68, 49);
  EXPECT_RECT(rects.TextRect, 48, 9, 68, 49);
  EXPECT_RECT(rects.ShortTextRect, 48, 9, 68, 41);
  EXPECT_RECT(rects.FullTextRect, 46, 7, 70, 51);
  EXPECT_RECT(rects.FullFocusSelRect, 6, 4, 68, 54);
}

TEST_F(TilePainter, TheItemIsInitializedBeforeMeasuring) {
  std::vector<std::string> order;
  listview_.OnItemInitialize = [&order](TCustomTouchListview*, TTouchItem* item) {
    order.push_back(item->GetInitialized() ? "initialized" : "initializing");
  };
  listview_.OnItemGetTileDetailCount = [&order](TCustomTouchListview*, TTouchItem*, int& count) {
    order.push_back("count");
    count = 1;
  };
  EXPECT_FALSE(item_->GetInitialized());
  Rects();
  EXPECT_TRUE(item_->GetInitialized());
  // The bit is set when OnItemInitialize runs, and both come before the first measuring.
  ASSERT_GE(order.size(), 2u);
  EXPECT_EQ(order[0], "initialized");
  EXPECT_EQ(order[1], "count");
  order.clear();
  Rects();
  EXPECT_EQ(order, std::vector<std::string>{"count"});
}

TEST_F(TilePainter, LineRulesAndAlignment) {
  struct Case {
    const char* name;
    int detail_count;
    TCommonVAlignment alignment;
    int font_height;
    size_t lines;
    win::RECT text;
  };
  const Case cases[] = {
      {"no detail count: no line", 0, cvaCenter, 20, 0, {0, 0, 0, 0}},
      {"one line, centred", 1, cvaCenter, 20, 1, {48, 19, 68, 39}},
      {"one line, top", 1, cvaTop, 20, 1, {48, 4, 68, 24}},
      {"two lines, bottom", 2, cvaBottom, 20, 2, {48, 14, 68, 54}},
      {"a caption taller than the label: no line", 3, cvaCenter, 60, 0, {0, 0, 0, 0}},
      {"exactly fitting lines", 5, cvaTop, 25, 2, {48, 4, 68 + 4, 54}},
  };
  for (const Case& c : cases) {
    detail_count_ = c.detail_count;
    listview_.GetPaintInfoItem()->SetVAlignment(c.alignment);
    listview_.GetFont()->SetHeight(c.font_height);
    const TTouchRectArrayObject rects = Rects();
    EXPECT_EQ(rects.TextRects.size(), c.lines) << c.name;
    EXPECT_TRUE(SameRect(rects.TextRect, c.text)) << c.name << " " << testing::ShowRect(rects.TextRect);
  }
}

TEST_F(TilePainter, PaintsImageCaptionAndRecolouredDetail) {
  listview_.OnItemPaintText = [](TCustomTouchListview*, TTouchItem*, int position, TCanvas* canvas) {
    if (position == 1) canvas->GetFont()->SetColor(clRed);
  };
  Paint();
  // The 32 x 32 image centred in (6, 4, 42, 54): drawn at (8, 13).
  EXPECT_EQ(Pixel(bitmap_, 8, 13), kRed);
  EXPECT_EQ(Pixel(bitmap_, 39, 44), kRed);
  EXPECT_EQ(Pixel(bitmap_, 7, 13), kWhite);
  EXPECT_EQ(Pixel(bitmap_, 8, 12), kWhite);
  EXPECT_EQ(Pixel(bitmap_, 40, 45), kWhite);
  // "AB" in line 0 at (48, 9): solid 9-pixel boxes with a blank column between them.
  EXPECT_EQ(Pixel(bitmap_, 48, 9), kBlack);
  EXPECT_EQ(Pixel(bitmap_, 56, 28), kBlack);
  EXPECT_EQ(Pixel(bitmap_, 57, 9), kWhite);
  EXPECT_EQ(Pixel(bitmap_, 48, 8), kWhite);
  // "CD" of line 1 in the colour OnItemPaintText chose.
  EXPECT_EQ(Pixel(bitmap_, 48, 29), kRed);
  EXPECT_EQ(Pixel(bitmap_, 66, 48), kRed);
  EXPECT_EQ(Pixel(bitmap_, 48, 49), kWhite);
  // The third detail did not fit: nothing below line 1.
  EXPECT_EQ(Pixel(bitmap_, 50, 50), kWhite);
  // No selection, no focus: the frame area stays white.
  EXPECT_EQ(Pixel(bitmap_, 47, 7), kWhite);
}

TEST_F(TilePainter, ANegativeFirstDetailSkipsOnlyTheCaptionLine) {
  first_detail_ = -1;
  Paint();
  EXPECT_EQ(Pixel(bitmap_, 48, 9), kWhite);
  EXPECT_EQ(Pixel(bitmap_, 48, 29), kBlack);
}

TEST_F(TilePainter, ADisabledControlPaintsGreyTextAndAHalfBlendedImage) {
  listview_.SetEnabled(false);
  Paint();
  EXPECT_EQ(Pixel(bitmap_, 48, 9), Rgb(clGrayText));
  EXPECT_EQ(Pixel(bitmap_, 48, 29), Rgb(clGrayText));
  // Red blended half with the control's window colour.
  const std::uint32_t window = Rgb(clWindow);
  const std::uint32_t expected = ((0xFF + (window >> 16 & 0xFF)) / 2) << 16 | ((window >> 8 & 0xFF) / 2) << 8 |
                                 ((window & 0xFF) / 2);
  EXPECT_EQ(Pixel(bitmap_, 20, 20), expected);
}

TEST_F(TilePainter, ADisabledItemBlendsItsImage) {
  item_->SetEnabled(false);
  Paint();
  EXPECT_NE(Pixel(bitmap_, 20, 20), kRed);
  EXPECT_EQ(Pixel(bitmap_, 48, 9), kBlack);
}

TEST_F(TilePainter, SelectionBlendsAtOneHundredTwentyEight) {
  listview_.GetSelection()->SetAlphaBlend(true);
  item_->SetSelected(true);
  Paint();
  // Inactive look: the button-face colour over white at 128 of 255, inside the area
  // (48, 9, 68, 49); the gap column between the letters shows it.
  const std::uint32_t face = Rgb(clBtnFace);
  std::uint32_t expected = 0;
  for (int shift = 0; shift <= 16; shift += 8)
    expected |= ((((face >> shift) & 0xFF) * 128 + 0xFF * 127 + 127) / 255) << shift;
  EXPECT_EQ(Pixel(bitmap_, 57, 15), expected);
  // The frame is the inactive border colour; outside the area stays white.
  EXPECT_EQ(Pixel(bitmap_, 48, 9 + 0), Rgb(clWindowText));  // text over the frame corner
  EXPECT_EQ(Pixel(bitmap_, 67, 48), Rgb(clBtnFace));
  EXPECT_EQ(Pixel(bitmap_, 69, 30), kWhite);
  EXPECT_EQ(Pixel(bitmap_, 60, 50), kWhite);
}

TEST_F(TilePainter, ASelectionClippedAwayPaintsNothing) {
  listview_.SetBounds(0, 0, 40, 58);  // the client ends left of the text
  listview_.GetSelection()->SetAlphaBlend(true);
  item_->SetSelected(true);
  Paint();
  EXPECT_EQ(Pixel(bitmap_, 57, 15), kWhite);
  EXPECT_EQ(Pixel(bitmap_, 67, 48), kWhite);
}

TEST_F(TilePainter, ARoundBlendIsCopiedBackThroughItsRoundedOutline) {
  listview_.GetSelection()->SetAlphaBlend(true);
  listview_.GetSelection()->SetRoundRect(true);
  listview_.GetSelection()->SetInactiveBorderColor(clBlack);
  item_->SetSelected(true);
  Paint();
  // The area (48, 9, 68, 49): its corner stays outside the rounded region, the outline runs
  // along its edges under the blend, the inside is blended.
  const std::uint32_t face = Rgb(clBtnFace);
  const auto mixed = [](std::uint32_t colour, std::uint32_t under) {
    std::uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8)
      result |= ((((colour >> shift) & 0xFF) * 128 + ((under >> shift) & 0xFF) * 127 + 127) / 255) << shift;
    return result;
  };
  EXPECT_EQ(Pixel(bitmap_, 67, 48), kWhite);
  EXPECT_EQ(Pixel(bitmap_, 57, 9), mixed(face, kBlack));
  EXPECT_EQ(Pixel(bitmap_, 57, 15), mixed(face, kWhite));
  EXPECT_EQ(Pixel(bitmap_, 69, 30), kWhite);
}

TEST_F(TilePainter, AGradientBlendMixesEightyToTwenty) {
  listview_.SetColor(clBlack);  // the inactive gradient runs from the control's colour
  listview_.GetSelection()->SetAlphaBlend(true);
  listview_.GetSelection()->SetGradient(true);
  item_->SetSelected(true);
  Paint();
  // Rows 9 to 48 of the area: black at the top to the inactive colour at the bottom, mixed
  // 80 : 20 with the white below; column 57 runs between the letters.
  const std::uint32_t face = Rgb(clBtnFace);
  const auto expected = [face](int row) {
    std::uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
      const int shade = static_cast<int>(std::lround(static_cast<double>((face >> shift) & 0xFF) * row / 40));
      result |= static_cast<std::uint32_t>((80 * shade + 20 * 255) / 100) << shift;
    }
    return result;
  };
  EXPECT_EQ(Pixel(bitmap_, 57, 9), expected(0));
  EXPECT_EQ(Pixel(bitmap_, 57, 48), expected(39));
  EXPECT_EQ(Pixel(bitmap_, 69, 30), kWhite);
}

TEST(GroupSelections, AdjacentSelectedRowsShareOneOutline) {
  for (const bool grouped : {false, true}) {
    SCOPED_TRACE(grouped);
    testing::ListviewOnForm host(300, 100);
    TTouchListview* listview = host.listview;
    listview->SetView(elsReport);
    listview->GetHeader()->GetColumns()->AddColumn()->SetWidth(200);
    TTouchSelectionManager* selection = listview->GetSelection();
    selection->SetAlphaBlend(true);
    selection->SetRoundRect(true);
    selection->SetFullCellPaint(true);
    selection->SetInactiveBorderColor(clBlack);
    selection->SetInactiveColor(clBlue);
    selection->SetGroupSelections(grouped);
    for (int i = 0; i < 3; ++i) listview->GetItems()->AddVirtual();
    listview->GetItems()->GetItem(0)->SetSelected(true);
    listview->GetItems()->GetItem(1)->SetSelected(true);
    host.form->Show();
    host.form->SetFocus();  // inactive selection colours: the list must not hold the focus
    listview->Invalidate();
    listview->Update();
    win::WindowPixels pixels;
    ASSERT_TRUE(win::ReadWindowPixels(listview->GetHandle(), &pixels));
    const std::uint32_t over_white = 0x7F7FFF;  // blue at 128 over white
    const std::uint32_t over_black = 0x000080;             // blue at 128 over the black outline
    // Rows at 2..19 and 19..36: the top edge of the second row is an outline only when each row
    // has its own.
    EXPECT_EQ(pixels.At(100, 19), grouped ? over_white : over_black);
    EXPECT_EQ(pixels.At(100, 2), over_black);
    EXPECT_EQ(pixels.At(100, 35), over_black);
    EXPECT_EQ(pixels.At(100, 40), 0xFFFFFFu);
  }
}

TEST(TilePainterFocus, TheFocusedItemOfAFocusedControlGetsDots) {
  testing::ListviewOnForm host(218, 58);
  TTouchListview* listview = host.listview;
  listview->SetView(elsTile);
  listview->GetFont()->SetName("Dashtune Fixed Metrics");
  listview->GetFont()->SetHeight(20);
  listview->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem*, int, WideString& caption) { caption = u"AB"; };
  listview->OnItemGetTileDetailCount = [](TCustomTouchListview*, TTouchItem*, int& count) { count = 1; };
  host.form->Show();
  listview->SetFocus();
  ASSERT_TRUE(listview->Focused());
  TTouchItem* item = listview->GetItems()->AddVirtual();
  item->SetDisplayRect(kCell);
  item->SetFocused(true);
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf32bit);
  bitmap.SetSize(218, 58);
  bitmap.GetCanvas()->GetBrush()->SetColor(clWhite);
  bitmap.GetCanvas()->FillRect(kCell);
  item->Paint(bitmap.GetCanvas(), kCell, nullptr, false);
  // No image: the label starts at 6 + 4 + 4 + 2 = 16. One line: text (16, 19, 36, 39); the focus
  // frame is the full text rectangle (14, 17, 38, 41), every other pixel inverted.
  EXPECT_EQ(Pixel(bitmap, 15, 17), kBlack);
  EXPECT_EQ(Pixel(bitmap, 14, 17), kWhite);
  EXPECT_EQ(Pixel(bitmap, 37, 19), kBlack);
  EXPECT_EQ(Pixel(bitmap, 37, 18), kWhite);
  EXPECT_EQ(Pixel(bitmap, 13, 17), kWhite);
  EXPECT_EQ(Pixel(bitmap, 16, 19), kBlack);  // the caption
  // Without the focus the frame is not drawn.
  bitmap.GetCanvas()->FillRect(kCell);
  item->SetFocused(false);
  item->Paint(bitmap.GetCanvas(), kCell, nullptr, false);
  EXPECT_EQ(Pixel(bitmap, 15, 17), kWhite);
}

TEST(TilePainterApplication, TheApplicationsRoad) {
  // The application: virtual items added inside an update, the tile size from the skin, its
  // indents, the caption line count set inside OnItemGetCaption, selection off, focus set.
  testing::ListviewOnForm host(440, 200);
  TTouchListview* listview = host.listview;
  listview->SetView(elsTile);
  listview->GetFont()->SetName("Dashtune Fixed Metrics");
  listview->GetFont()->SetHeight(10);
  listview->GetCellSizes()->GetTile()->SetSize(200, 60);
  listview->GetPaintInfoItem()->SetCaptionIndent(10);
  listview->GetPaintInfoItem()->SetImageIndent(0);
  listview->GetSelection()->SetEnabled(false);
  std::vector<std::u16string> titles = {u"Erster Titel", u"Zweiter Titel ist lang und geht weiter"};
  listview->OnItemGetCaption = [&titles](TCustomTouchListview*, TTouchItem* item, int, WideString& caption) {
    listview::DefaultCaptionLines = 2;
    caption = titles[static_cast<std::size_t>(item->GetData())];
  };
  listview->OnItemGetTileDetailCount = [](TCustomTouchListview*, TTouchItem*, int& count) { count = 1; };
  std::vector<bool> initialized_when_asked;
  listview->OnItemGetImageIndex = [&initialized_when_asked](TCustomTouchListview*, TTouchItem* item, int,
                                                             TTouchImageKind kind, int& index) {
    if (kind == eikNormal) initialized_when_asked.push_back(item->GetInitialized());
    index = -1;
  };
  listview->BeginUpdate();
  for (int i = 0; i < 2; ++i) listview->GetItems()->AddVirtual(i);
  listview->EndUpdate();
  TTouchItem* second = listview->GetItems()->GetItem(1);
  second->SetDisplayRect({0, 60, 200, 120});
  second->SetFocused(true);
  second->SetSelected(true);
  EXPECT_TRUE(second->GetFocused());
  EXPECT_FALSE(second->GetSelected());
  EXPECT_EQ(listview->GetSelection()->GetFocusedItem(), second);

  TBitmap bitmap;
  bitmap.SetPixelFormat(pf32bit);
  bitmap.SetSize(200, 120);
  bitmap.GetCanvas()->GetBrush()->SetColor(clWhite);
  bitmap.GetCanvas()->FillRect(win::RECT{0, 0, 200, 120});
  second->Paint(bitmap.GetCanvas(), {0, 0, 200, 120}, nullptr, false);
  EXPECT_TRUE(second->GetInitialized());
  EXPECT_FALSE(initialized_when_asked.empty());
  // Label from 4 + 0 + 4 + 10 + 2 = 20 to 194 (34 characters of 5 pixels); the caption takes two
  // lines of 10 pixels, centred in the label's 52: top 60 + 4 + 16.
  TTouchRectArrayObject rects;
  second->ItemRects(nullptr, bitmap.GetCanvas(), rects);
  ASSERT_EQ(rects.TextRects.size(), 1u);
  EXPECT_RECT(rects.TextRects[0], 20, 80, 20 + 5 * 34, 100);
  EXPECT_EQ(Pixel(bitmap, 20, 80), Rgb(clWindowText));
  EXPECT_EQ(Pixel(bitmap, 20, 90), Rgb(clWindowText));
  listview::DefaultCaptionLines = 1;
}

}  // namespace
}  // namespace dashtune
