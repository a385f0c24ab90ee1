// The item painters of the other views: the per-view decisions and the rectangle sets of the
// icon, small icon (list, report) and thumbnail views, and the thumbnail frame.
#include <gtest/gtest.h>

#include "classlib/bitmap.h"
#include "classlib/imagelist.h"
#include "components/listview/listview.h"
#include "components/listview/view_painters.h"
#include "listview_test_support.h"

namespace dashtune {
namespace {

using testing::ListviewOnForm;

struct PainterList : ::testing::Test {
  void SetUp() override {
    testing::AddSolidImage(small_, 16);
    testing::AddSolidImage(large_, 32);
    listview_.SetImagesSmall(&small_);
    listview_.SetImagesLarge(&large_);
    listview_.OnItemGetImageIndex = [](TCustomTouchListview*, TTouchItem*, int, TTouchImageKind kind, int& index) {
      if (kind == eikNormal) index = 0;
    };
    item_ = listview_.GetItems()->AddVirtual();
  }
  TTouchRectArrayObject RectsIn(TTouchListStyle view, const win::RECT& cell, TTouchColumn* column = nullptr) {
    listview_.SetView(view);
    item_->SetDisplayRect(cell);
    TTouchRectArrayObject rects;
    item_->GetView()->ItemRects(item_, column, nullptr, rects);
    return rects;
  }
  TTouchListview listview_{nullptr};
  TCustomImageList small_{nullptr};
  TCustomImageList large_{nullptr};
  TTouchItem* item_ = nullptr;
};

TEST_F(PainterList, EachViewHasItsPainter) {
  const struct {
    TTouchListStyle view;
    const char* painter;
  } views[] = {{elsIcon, "TTouchViewIconItem"},           {elsSmallIcon, "TTouchViewSmallIconItem"},
               {elsList, "TTouchViewListItem"},           {elsReport, "TTouchViewReportItem"},
               {elsThumbnail, "TTouchViewThumbnailItem"}, {elsTile, "TTouchViewTileItem"},
               {elsFilmStrip, "TTouchViewFilmStripItem"}, {elsGrid, "TTouchViewGridItem"}};
  for (const auto& v : views) {
    listview_.SetView(v.view);
    EXPECT_EQ(item_->GetView()->ClassName(), v.painter);
  }
}

TEST_F(PainterList, PerViewDecisions) {
  const struct {
    TTouchListStyle view;
    int image_size, alignment, lines;
    unsigned vertical;
    bool columns;
  } views[] = {
      {elsIcon, 1, 2, 2, 0x0010, false},      {elsSmallIcon, 0, 0, 1, 0x0040, false},
      {elsReport, 0, 0, 1, 0x0040, true},     {elsThumbnail, 2, 2, 2, 0x0040, false},
      {elsFilmStrip, 2, 2, 2, 0x0040, false}, {elsTile, 2, 0, 1, 0x0010, false},
  };
  for (const auto& v : views) {
    SCOPED_TRACE(v.view);
    listview_.SetView(v.view);
    TTouchViewItem* painter = item_->GetView();
    EXPECT_EQ(painter->ImageSizeKind(), v.image_size);
    EXPECT_EQ(painter->CaptionAlignment(item_, nullptr), v.alignment);
    EXPECT_EQ(painter->CaptionLines(item_, nullptr), v.lines);
    EXPECT_EQ(painter->VAlignmentFlag(nullptr), v.vertical);
    EXPECT_EQ(painter->PaintsColumns(), v.columns);
  }
}

TEST_F(PainterList, TheSmallIconFamilyFollowsItsColumn) {
  TTouchColumn* column = listview_.GetHeader()->GetColumns()->AddColumn();
  listview_.SetView(elsReport);
  TTouchViewItem* painter = item_->GetView();
  column->SetAlignment(taRightJustify);
  listview_.GetPaintInfoColumn()->SetVAlignment(cvaBottom);
  EXPECT_EQ(painter->CaptionAlignment(item_, column), 1);
  EXPECT_EQ(painter->VAlignmentFlag(column), 0x0020u);
}

TEST_F(PainterList, IconRectangles) {
  const TTouchRectArrayObject rects = RectsIn(elsIcon, {0, 0, 75, 75});
  EXPECT_RECT(rects.BoundsRect, 1, 0, 75, 75);
  EXPECT_RECT(rects.IconRect, 22, 2, 54, 38);
  EXPECT_RECT(rects.CheckRect, 1, 38, 1, 75);
  EXPECT_RECT(rects.LabelRect, 1, 39, 75, 75);
  EXPECT_RECT(rects.TextRect, 3, 41, 73, 73);
  EXPECT_RECT(rects.FullTextRect, 1, 39, 75, 75);
  EXPECT_RECT(rects.SelectionRect, 1, 39, 75, 75);
  EXPECT_RECT(rects.FullFocusSelRect, 1, 2, 75, 75);
  EXPECT_TRUE(item_->GetInitialized());
}

TEST_F(PainterList, IconRectanglesWithACheckBox) {
  listview_.GetPaintInfoItem()->SetCheckType(ectBox);
  const TTouchRectArrayObject rects = RectsIn(elsIcon, {0, 0, 75, 75});
  EXPECT_RECT(rects.CheckRect, 3, 39, 15, 51);
  EXPECT_EQ(rects.LabelRect.left, 15);
}

TEST_F(PainterList, SmallIconRectangles) {
  const TTouchRectArrayObject rects = RectsIn(elsSmallIcon, {0, 0, 200, 17});
  EXPECT_RECT(rects.BoundsRect, 0, 0, 200, 17);
  EXPECT_RECT(rects.CheckRect, 0, 0, 0, 17);
  EXPECT_RECT(rects.StateRect, 0, 0, 0, 17);
  EXPECT_RECT(rects.IconRect, 2, 0, 18, 16);
  EXPECT_RECT(rects.LabelRect, 22, 0, 200, 17);
  EXPECT_RECT(rects.TextRect, 24, 2, 198, 15);
  EXPECT_RECT(rects.SelectionRect, 22, 0, 200, 17);
  EXPECT_RECT(rects.IconBandRect, 2, 0, 200, 17);
  // The short text is the band narrowed by 15 % of its width on each side: 198 x 0.15 = 30.
  EXPECT_RECT(rects.ShortTextRect, 32, 0, 170, 17);
}

TEST_F(PainterList, ASmallIconCellTooNarrowForACaptionHasNoLabel) {
  const TTouchRectArrayObject rects = RectsIn(elsSmallIcon, {0, 0, 23, 17});
  EXPECT_RECT(rects.LabelRect, 0, 0, 0, 0);
  EXPECT_RECT(rects.TextRect, 0, 0, 0, 0);
}

TEST_F(PainterList, ReportCellsFollowTheHeaderColumns) {
  ListviewOnForm host(400, 200);
  TTouchListview* listview = host.listview;
  listview->SetView(elsReport);
  listview->GetHeader()->SetVisible(true);
  TTouchColumn* first = listview->GetHeader()->GetColumns()->AddColumn();
  TTouchColumn* second = listview->GetHeader()->GetColumns()->AddColumn();
  first->SetWidth(100);
  second->SetWidth(80);
  TTouchItem* item = listview->GetItems()->AddVirtual();
  listview->GetGroups()->Rebuild(true);
  auto* painter = item->GetView();
  EXPECT_RECT(painter->CellRect(item, first), 0, 2, 100, 19);
  EXPECT_RECT(painter->CellRect(item, second), 100, 2, 180, 19);
  EXPECT_RECT(painter->CellRect(item, nullptr), 0, 2, 180, 19);
}

TEST_F(PainterList, ThumbnailRectanglesWithAndWithoutCaption) {
  listview_.GetPaintInfoItem()->SetHideCaption(true);
  TTouchRectArrayObject rects = RectsIn(elsThumbnail, {0, 0, 125, 143});
  EXPECT_RECT(rects.BoundsRect, 4, 4, 121, 139);
  EXPECT_RECT(rects.IconRect, 4, 4, 121, 139);
  EXPECT_RECT(rects.SelectionRect, 4, 4, 121, 139);
  EXPECT_RECT(rects.FullFocusSelRect, 4, 4, 121, 139);
  EXPECT_RECT(rects.LabelRect, 0, 0, 0, 0);
  EXPECT_RECT(rects.TextRect, 0, 0, 0, 0);

  ListviewOnForm host(400, 300);
  TTouchListview* listview = host.listview;
  listview->GetFont()->SetName("Dashtune Fixed Metrics");
  listview->GetFont()->SetHeight(20);
  listview->SetView(elsThumbnail);
  TTouchItem* item = listview->GetItems()->AddVirtual();
  item->SetDisplayRect({0, 0, 125, 143});
  item->GetView()->ItemRects(item, nullptr, nullptr, rects);
  // Two caption lines of 20 pixels below the picture.
  EXPECT_RECT(rects.IconRect, 4, 4, 121, 99);
  EXPECT_RECT(rects.LabelRect, 8, 100, 121, 139);
  EXPECT_EQ(rects.TextRect.top, 102);
  EXPECT_EQ(rects.ShortTextRect.top, rects.TextRect.top);
}

TEST_F(PainterList, TheThumbnailFrameMarksTheSelection) {
  listview_.SetView(elsThumbnail);
  listview_.GetPaintInfoItem()->SetHideCaption(true);
  listview_.GetSelection()->SetInactiveColor(clBlue);
  item_->SetDisplayRect({0, 0, 40, 40});
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf32bit);
  bitmap.SetSize(40, 40);
  bitmap.GetCanvas()->GetBrush()->SetColor(clWhite);
  bitmap.GetCanvas()->FillRect(win::RECT{0, 0, 40, 40});
  const auto pixel = [&bitmap](int x, int y) {
    const auto* row = static_cast<const std::uint8_t*>(bitmap.GetScanLine(y));
    return static_cast<std::uint32_t>(row[x * 4 + 2]) << 16 | row[x * 4 + 1] << 8 | row[x * 4];
  };
  TTouchRectArrayObject rects;
  item_->GetView()->ItemRects(item_, nullptr, nullptr, rects);
  item_->GetView()->PaintAfter(item_, nullptr, bitmap.GetCanvas(), rects);
  // Not selected: one frame in the border colour (clHighlight) at the image's edge.
  EXPECT_EQ(pixel(4, 20), ColorToRGB(clHighlight) >> 16 | (ColorToRGB(clHighlight) & 0xFF00) |
                              (ColorToRGB(clHighlight) & 0xFF) << 16);
  EXPECT_EQ(pixel(5, 20), 0xFFFFFFu);
  item_->SetSelected(true);
  item_->GetView()->PaintAfter(item_, nullptr, bitmap.GetCanvas(), rects);
  // Selected in an unfocused control: three frames in the inactive colour.
  for (int x = 4; x < 7; ++x) EXPECT_EQ(pixel(x, 20), 0x0000FFu) << x;
  EXPECT_EQ(pixel(7, 20), 0xFFFFFFu);
}

}  // namespace
}  // namespace dashtune
