// The list views on a real display (Xvfb): a form with a tile list and a report list with its
// header, shown by the X11 presenter; the screenshot equals the form's surface, and spot pixels
// show the images, captions, focus dots and selection.
#include <gtest/gtest.h>

#include <algorithm>

#include "classlib/bitmap.h"
#include "classlib/form.h"
#include "classlib/imagelist.h"
#include "components/listview/listview.h"
#include "platform/present/presenter.h"
#include "platform/user/surfaces.h"
#include "xvfb_server.h"

// Xlib after GoogleTest: its macros (None, Bool) would break GoogleTest's own names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace dashtune {
namespace {

using testing::XvfbServer;

constexpr int kFormWidth = 760;
constexpr int kFormHeight = 300;
constexpr std::uint32_t kRed = 0xFF0000;

std::uint32_t Rgb(TColor color) {
  const win::COLORREF c = ColorToRGB(color);
  return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}

class ListviewScreenIntegration : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Running()) << "Xvfb could not be started";
    presenter_ = win::present::X11Presenter::Open(server_.Display().c_str());
    ASSERT_NE(presenter_, nullptr);
    peer_ = XOpenDisplay(server_.Display().c_str());
    ASSERT_NE(peer_, nullptr);
    images_.SetWidth(32);
    images_.SetHeight(32);
    TBitmap red;
    red.SetPixelFormat(pf24bit);
    red.SetSize(32, 32);
    red.GetCanvas()->GetBrush()->SetColor(clRed);
    red.GetCanvas()->FillRect(win::RECT{0, 0, 32, 32});
    images_.Add(&red, nullptr);
  }
  void TearDown() override {
    form_.reset();
    presenter_.reset();
    if (peer_) XCloseDisplay(peer_);
  }

  void BuildForm() {
    form_ = std::make_unique<TForm>(nullptr);
    form_->SetBounds(0, 0, kFormWidth, kFormHeight);
    tiles_ = new TTouchListview(form_.get());
    tiles_->SetParent(form_.get());
    tiles_->SetBounds(0, 0, 460, 240);
    tiles_->SetView(elsTile);
    tiles_->GetFont()->SetName("DejaVu Sans");
    tiles_->GetFont()->SetHeight(14);
    tiles_->GetFont()->SetColor(clBlack);
    tiles_->SetImagesExLarge(&images_);
    tiles_->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem* item, int, WideString& caption) {
      caption = u"Titel " + std::u16string(1, static_cast<char16_t>(u'1' + item->GetIndex()));
    };
    tiles_->OnItemGetTileDetailCount = [](TCustomTouchListview*, TTouchItem*, int& count) { count = 1; };
    tiles_->OnItemGetImageIndex = [](TCustomTouchListview*, TTouchItem*, int, TTouchImageKind kind, int& index) {
      if (kind == eikNormal) index = 0;
    };
    for (int i = 0; i < 7; ++i) tiles_->GetItems()->AddVirtual();

    report_ = new TTouchListview(form_.get());
    report_->SetParent(form_.get());
    report_->SetBounds(470, 0, 280, 240);
    report_->SetView(elsReport);
    report_->GetFont()->SetName("DejaVu Sans");
    report_->GetFont()->SetHeight(12);
    report_->GetHeader()->SetVisible(true);
    report_->GetHeader()->GetFont()->SetName("DejaVu Sans");
    report_->GetHeader()->GetFont()->SetHeight(12);
    TTouchColumn* name = report_->GetHeader()->GetColumns()->AddColumn();
    name->SetCaption(u"Name");
    name->SetWidth(150);
    TTouchColumn* size = report_->GetHeader()->GetColumns()->AddColumn();
    size->SetCaption(u"Größe");
    size->SetWidth(100);
    report_->OnItemGetCaption = [](TCustomTouchListview*, TTouchItem*, int column, WideString& caption) {
      caption = column == 0 ? u"Datei" : u"12 kB";
    };
    for (int i = 0; i < 4; ++i) report_->GetItems()->AddVirtual();
    form_->Show();
    tiles_->GetItems()->GetItem(4)->SetFocused(true);
    tiles_->SetFocus();
    report_->GetSelection()->SetColor(clRed);
    report_->GetItems()->GetItem(1)->SetSelected(true);
    for (TTouchListview* list : {tiles_, report_}) {
      list->Invalidate();
      list->Update();
    }
  }

  XvfbServer server_{800, 600};
  std::unique_ptr<win::present::X11Presenter> presenter_;
  Display* peer_ = nullptr;
  TCustomImageList images_{nullptr};
  std::unique_ptr<TForm> form_;
  TTouchListview* tiles_ = nullptr;   // owned by the form
  TTouchListview* report_ = nullptr;  // owned by the form
};

TEST_F(ListviewScreenIntegration, TheScreenShowsTheListsAsPainted) {
  BuildForm();
  ASSERT_TRUE(presenter_->Flush());
  win::WindowPixels form_pixels;
  ASSERT_TRUE(win::ReadWindowPixels(form_->GetHandle(), &form_pixels));
  const win::POINT origin = form_->ClientToScreen({0, 0});
  XImage* shot = XGetImage(peer_, DefaultRootWindow(peer_), origin.x, origin.y, static_cast<unsigned>(form_pixels.width),
                           static_cast<unsigned>(form_pixels.height), AllPlanes, ZPixmap);
  ASSERT_NE(shot, nullptr);
  int mismatches = 0;
  for (int y = 0; y < form_pixels.height; ++y)
    for (int x = 0; x < form_pixels.width; ++x)
      mismatches += (XGetPixel(shot, x, y) & 0xFFFFFF) != form_pixels.At(x, y);
  EXPECT_EQ(mismatches, 0);
  const auto screen = [shot](int x, int y) { return static_cast<std::uint32_t>(XGetPixel(shot, x, y) & 0xFFFFFF); };

  // Two tiles to a row in the 460-pixel list: images of tiles 0, 1 and 3; no eighth tile.
  EXPECT_EQ(screen(8 + 10, 13 + 10), kRed);
  EXPECT_EQ(screen(218 + 8 + 10, 13 + 10), kRed);
  EXPECT_EQ(screen(218 + 8 + 10, 58 + 13 + 10), kRed);
  EXPECT_EQ(screen(8 + 10, 174 + 13 + 10), kRed);
  EXPECT_EQ(screen(218 + 8 + 10, 174 + 13 + 10), Rgb(clWindow));
  // The captions leave ink right of the images.
  int ink = 0;
  for (int y = 4; y < 54; ++y)
    for (int x = 50; x < 210; ++x) ink += screen(x, y) != Rgb(clWindow);
  EXPECT_GT(ink, 20);
  // The focused tile (4: row 2, column 0) shows the dotted focus rectangle around its caption:
  // a run of pixels alternating between two colours along its top or bottom edge.
  int longest_run = 0;
  for (int y = 116 + 2; y < 116 + 56; ++y) {
    int run = 0;
    for (int x = 40; x < 214; ++x) {
      const bool alternates = screen(x, y) != screen(x + 1, y) && screen(x, y) == screen(x + 2, y);
      run = alternates ? run + 1 : 0;
      longest_run = std::max(longest_run, run);
    }
  }
  EXPECT_GE(longest_run, 20);
  // The report: the header strip, then the selected second row in the inactive colour.
  EXPECT_EQ(screen(470 + 260, 10), Rgb(clBtnFace));
  const std::uint32_t inactive = Rgb(report_->GetSelection()->GetInactiveColor());
  int selected = 0;
  for (int x = 470; x < 470 + 150; ++x) selected += screen(x, 21 + 2 + 17 + 8) == inactive;
  EXPECT_GT(selected, 10);
  XDestroyImage(shot);
}

}  // namespace
}  // namespace dashtune
