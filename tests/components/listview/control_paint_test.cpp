// Painting the whole control: background, the tiles of the visible area at their scroll offset,
// the header strip above report rows, the cost of a paint bounded by what shows, and the
// layout following a resize.
#include <gtest/gtest.h>

#include "classlib/bitmap.h"
#include "classlib/imagelist.h"
#include "components/listview/listview.h"
#include "listview_test_support.h"
#include "platform/user/paint.h"
#include "platform/user/surfaces.h"
#include "platform/user/window.h"

namespace dashtune {
namespace {

using testing::ListviewOnForm;

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kRed = 0xFF0000;

std::uint32_t Rgb(TColor color) {
  const win::COLORREF c = ColorToRGB(color);
  return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}

// The application's tile list: 7 virtual items with 32 x 32 red images and captions.
struct PaintedTiles {
  explicit PaintedTiles(int items = 7, int width = 800, int height = 480) : host(width, height) {
    TTouchListview* listview = host.listview;
    listview->SetView(elsTile);
    listview->GetFont()->SetName("Dashtune Fixed Metrics");
    listview->GetFont()->SetHeight(20);
    images.SetWidth(32);
    images.SetHeight(32);
    TBitmap red;
    red.SetPixelFormat(pf24bit);
    red.SetSize(32, 32);
    red.GetCanvas()->GetBrush()->SetColor(clRed);
    red.GetCanvas()->FillRect(win::RECT{0, 0, 32, 32});
    images.Add(&red, nullptr);
    listview->SetImagesExLarge(&images);
    listview->OnItemGetCaption = [this](TCustomTouchListview*, TTouchItem*, int, WideString& caption) {
      ++captions_asked;
      caption = u"Titel";
    };
    listview->OnItemGetTileDetailCount = [](TCustomTouchListview*, TTouchItem*, int& count) { count = 1; };
    listview->OnItemGetImageIndex = [](TCustomTouchListview*, TTouchItem*, int, TTouchImageKind kind, int& index) {
      if (kind == eikNormal) index = 0;
    };
    listview->BeginUpdate();
    for (int i = 0; i < items; ++i) listview->GetItems()->AddVirtual();
    listview->EndUpdate(true);
    host.form->Show();
  }
  win::WindowPixels Paint() {
    host.listview->Invalidate();
    host.listview->Update();
    win::WindowPixels pixels;
    if (!win::ReadWindowPixels(host.listview->GetHandle(), &pixels)) {
      ADD_FAILURE() << "the list view shows no pixels";
      pixels.width = host.listview->GetClientWidth();
      pixels.height = host.listview->GetClientHeight();
      pixels.pixels.assign(static_cast<std::size_t>(pixels.width * pixels.height), 0);
    }
    return pixels;
  }
  ListviewOnForm host;
  TCustomImageList images{nullptr};
  int captions_asked = 0;
};

TEST(ControlPaint, TilesShowTheirImagesOnTheBackground) {
  PaintedTiles tiles;
  const win::WindowPixels pixels = tiles.Paint();
  // A tile's image is drawn at (8, 13) of its cell; tiles are 218 x 58, three to a row.
  const struct {
    int x, y;
    std::uint32_t colour;
  } spots[] = {
      {8, 13, kRed},   {39, 44, kRed},  {218 + 8, 13, kRed}, {436 + 8, 58 + 13, kRed}, {8, 116 + 13, kRed},
      {218 + 8, 116 + 13, Rgb(clWindow)}, {7, 13, Rgb(clWindow)}, {790, 470, Rgb(clWindow)},
  };
  for (const auto& spot : spots) EXPECT_EQ(pixels.At(spot.x, spot.y), spot.colour) << spot.x << "," << spot.y;
  // The caption is drawn to the right of the image.
  bool caption_ink = false;
  for (int x = 56; x < 210; ++x)
    for (int y = 5; y < 50; ++y) caption_ink |= pixels.At(x, y) != Rgb(clWindow);
  EXPECT_TRUE(caption_ink);
}

TEST(ControlPaint, TheScrollOffsetMovesTheTiles) {
  PaintedTiles tiles(30, 800, 200);
  tiles.host.listview->GetScrollbars()->SetOffsetY(58);
  const win::WindowPixels pixels = tiles.Paint();
  EXPECT_EQ(pixels.At(8, 13), kRed);             // row 1 now at the top
  EXPECT_EQ(pixels.At(8, 13 + 58 * 3), kRed);    // row 4
  tiles.host.listview->GetScrollbars()->SetOffsetY(29);
  const win::WindowPixels half = tiles.Paint();
  EXPECT_EQ(half.At(8, 13 - 29 + 58), kRed);
  EXPECT_EQ(half.At(8, 20), Rgb(clWindow));  // row 0's cell below its image
}

TEST(ControlPaint, APaintAsksOnlyForTheItemsThatShow) {
  PaintedTiles tiles(100000, 800, 480);
  tiles.Paint();
  tiles.captions_asked = 0;
  const win::RECT corner{0, 0, 100, 50};
  win::InvalidateRect(tiles.host.listview->GetHandle(), &corner, win::FALSE);
  tiles.host.listview->Update();
  // One tile meets the corner; its caption is asked a few times, not once per item.
  EXPECT_GT(tiles.captions_asked, 0);
  EXPECT_LT(tiles.captions_asked, 20);
  tiles.captions_asked = 0;
  tiles.host.listview->GetScrollbars()->SetOffsetY(58 * 20000);
  tiles.Paint();
  EXPECT_LT(tiles.captions_asked, 9 * 3 * 10);
}

TEST(ControlPaint, ReportRowsStartBelowTheHeader) {
  ListviewOnForm host(300, 200);
  TTouchListview* listview = host.listview;
  listview->SetView(elsReport);
  listview->GetHeader()->SetVisible(true);
  listview->GetHeader()->GetColumns()->AddColumn()->SetWidth(100);
  listview->GetHeader()->GetColumns()->AddColumn()->SetWidth(80);
  listview->GetSelection()->SetColor(clRed);
  host.form->Show();
  host.form->SetFocus();  // the shown form gave the list the focus: it goes back to the form
  TTouchItem* first = listview->GetItems()->AddVirtual();
  listview->GetItems()->AddVirtual();
  listview->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem*, int, WideString& caption) { caption = u"Zeile"; };
  listview->GetGroups()->Rebuild(true);
  listview->GetSelection()->SetFullRowSelect(true);
  listview->GetSelection()->SetFullCellPaint(true);
  first->SetSelected(true);
  listview->Invalidate();
  listview->Update();
  win::WindowPixels pixels;
  ASSERT_TRUE(win::ReadWindowPixels(listview->GetHandle(), &pixels));
  // The header strip: button-face cells with edges, the empty rest of the bar in the header colour.
  EXPECT_EQ(pixels.At(50, 10), Rgb(clBtnFace));
  EXPECT_EQ(pixels.At(250, 10), Rgb(clBtnFace));
  // The first row (view y 2) is drawn at window y 21 + 2 and is highlighted (the selection is
  // inactive: the control has no focus).
  EXPECT_EQ(pixels.At(90, 21 + 8), Rgb(listview->GetSelection()->GetInactiveColor()));
  EXPECT_EQ(pixels.At(170, 21 + 8), Rgb(listview->GetSelection()->GetInactiveColor()));
  EXPECT_EQ(pixels.At(90, 21 + 1), Rgb(clWindow));
  EXPECT_EQ(pixels.At(90, 21 + 17 + 2 + 8), Rgb(clWindow));
}

TEST(ControlResize, TheLayoutFollowsTheClientWidth) {
  PaintedTiles tiles(7, 800, 480);
  TTouchGroup* group = tiles.host.listview->GetGroups()->GetGroup(0);
  EXPECT_EQ(group->GetGrid()->GetColumnCount(), 3);
  tiles.host.listview->SetBounds(0, 0, 500, 480);
  EXPECT_EQ(group->GetGrid()->GetColumnCount(), 2);
  EXPECT_EQ(group->GetItem(2)->GetDisplayRect().top, 58);
  tiles.host.listview->SetBounds(0, 0, 1000, 480);
  EXPECT_EQ(group->GetGrid()->GetColumnCount(), 4);
}

}  // namespace
}  // namespace dashtune
