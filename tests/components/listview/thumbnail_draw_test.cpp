// Thumbnail drawing: in the thumbnail and film-strip views the item is offered its image
// rectangle inside the border first, and the image list's picture follows only when the
// application leaves that to the control.
#include <gtest/gtest.h>

#include <cstdint>

#include "classlib/bitmap.h"
#include "classlib/imagelist.h"
#include "components/listview/listview.h"
#include "components/listview/unit_startup.h"
#include "components/listview/view_items.h"
#include "listview_test_support.h"

namespace dashtune {
namespace {

struct ThumbnailDraw : ::testing::Test {
  void SetUp() override {
    large_.SetWidth(32);
    large_.SetHeight(32);
    TBitmap image;
    image.SetPixelFormat(pf24bit);
    image.SetSize(32, 32);
    image.GetCanvas()->GetBrush()->SetColor(clRed);
    image.GetCanvas()->FillRect(win::RECT{0, 0, 32, 32});
    large_.Add(&image, nullptr);
    listview_.SetImagesLarge(&large_);
    listview_.GetPaintInfoItem()->SetHideCaption(true);
    listview_.OnItemGetImageIndex = [](TCustomTouchListview*, TTouchItem*, int, TTouchImageKind kind, int& index) {
      if (kind == eikNormal) index = 0;
    };
    listview_.OnItemThumbnailDraw = [this](TCustomTouchListview* sender, TTouchItem* item, TCanvas* canvas,
                                           const win::RECT& rect, TTouchAlphaBlender* blender, bool& do_default) {
      EXPECT_EQ(sender, &listview_);
      EXPECT_EQ(item, item_);
      EXPECT_EQ(canvas, target_.GetCanvas());
      EXPECT_EQ(blender, listview::SharedAlphaBlender());
      offered_.push_back(rect);
      do_default = keep_default_;
    };
    item_ = listview_.GetItems()->AddVirtual();
    item_->SetDisplayRect({0, 0, 60, 60});
    target_.SetPixelFormat(pf32bit);
    target_.SetSize(60, 60);
    target_.GetCanvas()->GetBrush()->SetColor(clWhite);
    target_.GetCanvas()->FillRect(win::RECT{0, 0, 60, 60});
  }
  void PaintImage() {
    TTouchRectArrayObject rects;
    TTouchViewItem* painter = item_->GetView();
    painter->ItemRects(item_, nullptr, nullptr, rects);
    painter->PaintImage(item_, nullptr, target_.GetCanvas(), rects);
  }
  std::uint32_t Pixel(int x, int y) {
    const auto* row = static_cast<const std::uint8_t*>(target_.GetScanLine(y));
    return static_cast<std::uint32_t>(row[x * 4 + 2]) << 16 | row[x * 4 + 1] << 8 | row[x * 4];
  }

  TTouchListview listview_{nullptr};
  TCustomImageList large_{nullptr};
  TTouchItem* item_ = nullptr;
  TBitmap target_;
  bool keep_default_ = true;
  std::vector<win::RECT> offered_;
};

TEST_F(ThumbnailDraw, TheItemIsOfferedTheImageInsideItsBorderAndMayTakeItOver) {
  for (TTouchListStyle view : {elsThumbnail, elsFilmStrip}) {
    for (bool keep : {true, false}) {
      SCOPED_TRACE(std::to_string(view) + (keep ? " default" : " taken over"));
      listview_.SetView(view);
      keep_default_ = keep;
      offered_.clear();
      target_.GetCanvas()->FillRect(win::RECT{0, 0, 60, 60});
      PaintImage();
      // Cell (0,0,60,60), border 4: image rectangle (4,4,56,56), offered (8,8,52,52).
      ASSERT_EQ(offered_.size(), 1u);
      EXPECT_RECT(offered_[0], 8, 8, 52, 52);
      // The 32-pixel picture centred in the image rectangle: (14,14) to (46,46).
      EXPECT_EQ(Pixel(30, 30), keep ? 0xFF0000u : 0xFFFFFFu);
      EXPECT_EQ(Pixel(13, 30), 0xFFFFFFu);
    }
  }
}

TEST_F(ThumbnailDraw, OtherViewsDrawTheirImageWithoutAsking) {
  keep_default_ = false;
  for (TTouchListStyle view : {elsIcon, elsSmallIcon, elsTile, elsReport}) {
    SCOPED_TRACE(view);
    listview_.SetView(view);
    PaintImage();
    EXPECT_TRUE(offered_.empty());
  }
}

}  // namespace
}  // namespace dashtune
