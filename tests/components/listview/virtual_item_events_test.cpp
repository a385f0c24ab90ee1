// What a virtual item hands to the control's events: every write of its data, and the drawing
// of an image the application draws itself (its size, the question and the drawing), which
// stored items share.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/bitmap.h"
#include "components/listview/listview.h"
#include "components/listview/unit_startup.h"
#include "components/listview/view_items.h"
#include "listview_test_support.h"

namespace dashtune {
namespace {

TEST(VirtualItemWrites, EachWriteGoesToItsEvent) {
  TTouchListview listview(nullptr);
  std::vector<std::string> events;
  const auto kind_name = [](TTouchImageKind kind) {
    return kind == eikNormal ? "normal" : kind == eikOverlay ? "overlay" : "state";
  };
  listview.OnItemSetCaption = [&](TCustomTouchListview* sender, TTouchItem* item, int column, const WideString& caption) {
    EXPECT_EQ(sender, &listview);
    events.push_back("caption " + std::to_string(item->GetData()) + " " + std::to_string(column) + " " +
                     std::string(caption.begin(), caption.end()));
  };
  listview.OnItemSetImageIndex = [&](TCustomTouchListview*, TTouchItem*, int column, TTouchImageKind kind, int index) {
    events.push_back(std::string("image ") + kind_name(kind) + " " + std::to_string(column) + " " + std::to_string(index));
  };
  listview.OnItemSetTileDetail = [&](TCustomTouchListview*, TTouchItem*, int line, int detail) {
    events.push_back("detail " + std::to_string(line) + " " + std::to_string(detail));
  };
  listview.OnItemSetGroupKey = [&](TCustomTouchListview*, TTouchItem*, int column, std::uint32_t key) {
    events.push_back("key " + std::to_string(column) + " " + std::to_string(key));
  };
  TTouchItemVirtual* item = listview.GetItems()->AddVirtual(7);
  item->SetCaption(u"Neu");
  item->SetCaptions(2, u"Zwei");
  item->SetImageIndex(4);
  item->SetImageOverlayIndexes(1, 2);
  item->SetStateImageIndex(3);
  item->SetDetails(1, -1);
  item->SetGroupKey(2, 65);
  item->SetDetailCount(5);  // no event exists for it
  EXPECT_EQ(events, (std::vector<std::string>{"caption 7 0 Neu", "caption 7 2 Zwei", "image normal 0 4",
                                              "image overlay 1 2", "image state 0 3", "detail 1 -1", "key 2 65"}));
  // Nothing is kept: reads still ask (and find no handler).
  EXPECT_EQ(item->GetCaption(), u"");
  EXPECT_EQ(item->GetImageIndex(), -1);
  EXPECT_EQ(item->GetDetailCount(), 0);
}

// Tile items of 218 x 58 whose image the application draws itself, 50 x 20 pixels.
struct CustomImage : ::testing::Test {
  void SetUp() override {
    listview_.SetView(elsTile);
    listview_.OnItemGetImageIndex = [](TCustomTouchListview*, TTouchItem*, int, TTouchImageKind kind, int& index) {
      if (kind == eikNormal) index = 0;
    };
    listview_.OnItemImageDrawIsCustom = [this](TCustomTouchListview*, TTouchItem* item, TTouchColumn* column,
                                               bool& custom) {
      EXPECT_FALSE(custom);  // starts cleared
      EXPECT_EQ(column, nullptr);
      custom = item->GetData() == 1;
      ++asked_;
    };
    listview_.OnItemImageGetSize = [](TCustomTouchListview*, TTouchItem*, TTouchColumn*, int& width, int& height) {
      width = 50;
      height = 20;
    };
    listview_.OnItemImageDraw = [this](TCustomTouchListview*, TTouchItem* item, TTouchColumn*, TCanvas* canvas,
                                       const TTouchRectArrayObject& rects, TTouchAlphaBlender* blender) {
      EXPECT_EQ(blender, listview::SharedAlphaBlender());
      drawn_.push_back(item->GetData());
      drawn_icon_ = rects.IconRect;
      canvas->GetBrush()->SetColor(clLime);
      canvas->FillRect(rects.IconRect);
    };
    target_.SetPixelFormat(pf32bit);
    target_.SetSize(218, 58);
  }
  TTouchRectArrayObject Paint(TTouchItem* item) {
    item->SetDisplayRect({0, 0, 218, 58});
    TTouchRectArrayObject rects;
    TTouchViewItem* painter = item->GetView();
    painter->ItemRects(item, nullptr, nullptr, rects);
    painter->PaintImage(item, nullptr, target_.GetCanvas(), rects);
    return rects;
  }

  TTouchListview listview_{nullptr};
  TBitmap target_;
  int asked_ = 0;
  std::vector<std::intptr_t> drawn_;
  win::RECT drawn_icon_{};
};

TEST_F(CustomImage, TheApplicationSizesAndDrawsItsImageForBothKindsOfItem) {
  for (TTouchItem* item : {static_cast<TTouchItem*>(listview_.GetItems()->AddVirtual(1)),
                           static_cast<TTouchItem*>(listview_.GetItems()->AddStored(1))}) {
    SCOPED_TRACE(item->ClassName());
    item->SetImageIndex(0);  // the stored item keeps it; the virtual one asks the event above
    drawn_.clear();
    const TTouchRectArrayObject rects = Paint(item);
    // The image box: the custom width plus 4, over the cell's height (border 4 inside).
    EXPECT_EQ(rects.IconRect.right - rects.IconRect.left, 54);
    EXPECT_EQ(drawn_, std::vector<std::intptr_t>{1});
    EXPECT_RECT(drawn_icon_, rects.IconRect.left, rects.IconRect.top, rects.IconRect.right, rects.IconRect.bottom);
  }
}

TEST_F(CustomImage, AnItemThatDrawsNoCustomImageUsesItsImageList) {
  TCustomImageList large(nullptr, 32, 32);
  listview_.SetImagesLarge(&large);
  TTouchItem* item = listview_.GetItems()->AddVirtual(2);
  const TTouchRectArrayObject rects = Paint(item);
  EXPECT_GT(asked_, 0);
  EXPECT_TRUE(drawn_.empty());
  EXPECT_EQ(rects.IconRect.right - rects.IconRect.left, 36);
}

}  // namespace
}  // namespace dashtune
