// The header cell painter: the classic edge per button style and state, the drop mark's pixels,
// the image rectangles for the four image positions and where the sort glyph goes.
#include <gtest/gtest.h>

#include "classlib/bitmap.h"
#include "classlib/imagelist.h"
#include "components/listview/header_painter.h"
#include "components/listview/listview.h"
#include "listview_test_support.h"

namespace dashtune {
namespace {

using testing::ListviewOnForm;

TEST(HeaderEdges, ClassicEdgeAndFlagsPerStyle) {
  const struct {
    TTouchHeaderButtonStyle style;
    bool pressed, drop_target;
    win::UINT edge, flags;
  } cases[] = {
      {ehbsThick, false, false, 5, 0x300F},  {ehbsThick, true, false, 5, 0x700F},  {ehbsThick, false, true, 5, 0x300F},
      {ehbsFlat, false, false, 4, 0x200F},   {ehbsFlat, true, false, 2, 0x200F},   {ehbsFlat, false, true, 4, 0x200F},
      {ehbsPlate, false, false, 4, 0x300F},  {ehbsPlate, true, false, 2, 0x200F},  {ehbsPlate, false, true, 4, 0x200F},
      {ehbsThemed, false, false, 4, 0x300F}, {ehbsThemed, true, false, 2, 0x200F}, {ehbsThemed, false, true, 4, 0x300F},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.style) + (c.pressed ? " pressed" : "") + (c.drop_target ? " drop" : ""));
    const TTouchHeaderEdge edge = HeaderEdgeFor(c.style, c.pressed, c.drop_target);
    EXPECT_EQ(edge.Edge, c.edge);
    EXPECT_EQ(edge.Flags, c.flags);
  }
}

struct HeaderCell : ::testing::Test {
  void SetUp() override {
    column_ = listview_.GetHeader()->GetColumns()->AddColumn();
    column_->SetDisplayRect({0, 0, 100, 40});
    images_.SetWidth(16);
    images_.SetHeight(16);
    TBitmap image;
    image.SetPixelFormat(pf24bit);
    image.SetSize(16, 16);
    images_.Add(&image, nullptr);
  }
  TTouchRectArrayObject Rects(TCanvas* canvas = nullptr) {
    TTouchRectArrayObject rects;
    listview_.GetHeader()->GetPainter()->ItemRects(column_, canvas, rects);
    return rects;
  }
  TTouchListview listview_{nullptr};
  TCustomImageList images_{nullptr};
  TTouchColumn* column_ = nullptr;
};

TEST_F(HeaderCell, ImageRectanglesForTheFourPositions) {
  listview_.GetHeader()->SetImages(&images_);
  column_->SetImageIndex(0);
  const struct {
    TTouchHeaderImagePosition position;
    win::RECT image, label;
  } cases[] = {
      {ehpLeft, {4, 12, 20, 28}, {24, 2, 98, 38}},
      {ehpTop, {2, 4, 98, 20}, {2, 24, 98, 38}},
      {ehpRight, {80, 12, 96, 28}, {2, 2, 76, 38}},
      {ehpBottom, {2, 20, 98, 36}, {2, 2, 98, 16}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.position);
    listview_.GetPaintInfoColumn()->SetImagePosition(c.position);
    const TTouchRectArrayObject rects = Rects();
    EXPECT_RECT(rects.BoundsRect, 2, 2, 98, 38);
    EXPECT_RECT(rects.IconRect, c.image.left, c.image.top, c.image.right, c.image.bottom);
    EXPECT_RECT(rects.LabelRect, c.label.left, c.label.top, c.label.right, c.label.bottom);
  }
}

TEST_F(HeaderCell, WithoutAnImageTheLabelTakesTheBounds) {
  const TTouchRectArrayObject rects = Rects();
  EXPECT_RECT(rects.IconRect, 0, 0, 0, 0);
  EXPECT_RECT(rects.LabelRect, 2, 2, 98, 38);
  EXPECT_RECT(rects.SortRect, 0, 0, 0, 0);
}

TEST_F(HeaderCell, TheSortGlyphFollowsOnlyARightAlignedCaption) {
  ListviewOnForm host(300, 100);
  TTouchListview* listview = host.listview;
  listview->GetHeader()->GetFont()->SetName("Dashtune Fixed Metrics");
  listview->GetHeader()->GetFont()->SetHeight(10);
  TTouchColumn* column = listview->GetHeader()->GetColumns()->AddColumn();
  column->SetDisplayRect({0, 0, 100, 21});
  column->SetSortDirection(esdAscending);
  TTouchViewColumn* painter = listview->GetHeader()->GetPainter();
  TTouchPaintInfoColumn* info = listview->GetPaintInfoColumn();
  TTouchRectArrayObject rects;

  // Right aligned, with a caption: the glyph starts where the caption ends.
  column->SetCaption(u"Ab");
  painter->ItemRects(column, listview->GetCanvas(), rects);
  EXPECT_EQ(rects.SortRect.left, rects.TextRect.right);
  EXPECT_EQ(rects.SortRect.right - rects.SortRect.left, listview::kSortGlyphWidth);
  EXPECT_EQ(rects.SortRect.bottom - rects.SortRect.top, listview::kSortGlyphHeight);

  // Without a caption it stays at the label's right.
  column->SetCaption(u"");
  painter->ItemRects(column, listview->GetCanvas(), rects);
  EXPECT_EQ(rects.SortRect.right, 98);
  EXPECT_RECT(rects.TextRect, 0, 0, 0, 0);

  // Left aligned: at the label's left, the caption after it, the glyph stays.
  column->SetCaption(u"Ab");
  info->SetSortGlyphAlign(esgaLeft);
  painter->ItemRects(column, listview->GetCanvas(), rects);
  EXPECT_EQ(rects.SortRect.left, 2);
  EXPECT_EQ(rects.LabelRect.left, 2 + info->GetSortGlyphIndent() + listview::kSortGlyphWidth);
  EXPECT_GE(rects.TextRect.left, rects.LabelRect.left);

  column->SetSortDirection(esdNone);
  painter->ItemRects(column, listview->GetCanvas(), rects);
  EXPECT_RECT(rects.SortRect, 0, 0, 0, 0);
}

TEST_F(HeaderCell, TheDropMarkIsATwoPixelBlueBarAtTheRightEdge) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf32bit);
  bitmap.SetSize(100, 40);
  column_->SetDropMark(true);
  listview_.GetHeader()->GetPainter()->Paint(column_, bitmap.GetCanvas(), false);
  const auto pixel = [&bitmap](int x, int y) {
    const auto* row = static_cast<const std::uint8_t*>(bitmap.GetScanLine(y));
    return std::array<int, 3>{row[x * 4 + 2], row[x * 4 + 1], row[x * 4]};  // red, green, blue
  };
  for (int y : {0, 20, 39}) {
    EXPECT_EQ(pixel(98, y), (std::array<int, 3>{0, 0, 255}));
    EXPECT_EQ(pixel(99, y), (std::array<int, 3>{0, 0, 255}));
  }
  EXPECT_NE(pixel(97, 20), (std::array<int, 3>{0, 0, 255}));
  // Without the mark the edge is the button's.
  column_->SetDropMark(false);
  listview_.GetHeader()->GetPainter()->Paint(column_, bitmap.GetCanvas(), false);
  EXPECT_NE(pixel(99, 20), (std::array<int, 3>{0, 0, 255}));
}

TEST_F(HeaderCell, ThePressedThickButtonIsDrawnFlat) {
  TBitmap normal, pressed;
  for (TBitmap* bitmap : {&normal, &pressed}) {
    bitmap->SetPixelFormat(pf32bit);
    bitmap->SetSize(100, 40);
  }
  listview_.GetHeader()->GetPainter()->Paint(column_, normal.GetCanvas(), false);
  column_->SetClicking(true);
  listview_.GetHeader()->GetPainter()->Paint(column_, pressed.GetCanvas(), false);
  const auto top_left = [](TBitmap& bitmap) {
    const auto* row = static_cast<const std::uint8_t*>(bitmap.GetScanLine(0));
    return static_cast<std::uint32_t>(row[2]) << 16 | row[1] << 8 | row[0];
  };
  EXPECT_NE(top_left(normal), top_left(pressed));
}

}  // namespace
}  // namespace dashtune
