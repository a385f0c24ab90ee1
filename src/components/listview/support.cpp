#include "components/listview/support.h"

#include <algorithm>
#include <cstdint>

#include "classlib/bitmap.h"
#include "components/listview/common/common_utilities.h"
#include "components/listview/listview.h"
#include "platform/core/strings.h"
#include "platform/gdi/gdi.h"

namespace dashtune {

// ---- Alpha blender ----

namespace {

// The size of the device-independent bitmap selected into a context, when there is one.
bool SelectedBitmapSize(win::HDC dc, win::SIZE& size) {
  const win::HGDIOBJ bitmap = win::GetCurrentObject(dc, win::OBJ_BITMAP);
  win::DIBSECTION section{};
  if (bitmap == nullptr || win::GetObject(bitmap, sizeof(section), &section) != static_cast<int>(sizeof(section)) ||
      section.dsBm.bmBits == nullptr)
    return false;
  size = {section.dsBm.bmWidth, section.dsBm.bmHeight};
  return size.cx > 0 && size.cy > 0;
}

std::uint8_t Mix(int colour, int pixel, int alpha) {
  return static_cast<std::uint8_t>((colour * alpha + pixel * (255 - alpha) + 127) / 255);
}

// Tints every pixel of a 32-bit bitmap but those of the skipped colour (0xRRGGBB, or -1 for
// none); the alpha byte is kept.
void TintPixels(TBitmap& bitmap, win::COLORREF colour, int alpha, std::int64_t skipped) {
  const int red = static_cast<int>(colour & 0xFF), green = static_cast<int>(colour >> 8 & 0xFF),
            blue = static_cast<int>(colour >> 16 & 0xFF);
  for (int y = 0; y < bitmap.GetHeight(); ++y) {
    auto* pixel = static_cast<std::uint8_t*>(bitmap.GetScanLine(y));
    for (int x = 0; x < bitmap.GetWidth(); ++x, pixel += 4) {
      const std::int64_t rgb = std::int64_t{pixel[2]} << 16 | std::int64_t{pixel[1]} << 8 | pixel[0];
      if (rgb == skipped) continue;
      pixel[0] = Mix(blue, pixel[0], alpha);
      pixel[1] = Mix(green, pixel[1], alpha);
      pixel[2] = Mix(red, pixel[2], alpha);
    }
  }
}

}  // namespace

void TTouchAlphaBlender::Blend(TCustomTouchListview* Listview, TCanvas* ACanvas, bool ViewportCoordinates, int Alpha,
                               TColor Color, const win::RECT& Rect) {
  if (ACanvas == nullptr || Listview == nullptr || win::IsRectEmpty(&Rect)) return;
  const win::HDC dc = ACanvas->GetHandle();
  win::SIZE size{};
  if (!SelectedBitmapSize(dc, size)) return;
  win::RECT limit{0, 0, size.cx, size.cy};
  if (ViewportCoordinates)
    limit = Listview->GetScrollbars()->MapWindowRectToView(limit);
  else
    limit = Listview->GetClientRect();
  win::RECT area{};
  if (!win::IntersectRect(&area, &Rect, &limit)) return;
  common::AlphaBlend(dc, area, static_cast<TColor>(ColorToRGB(Color)), Alpha);
}

bool TTouchAlphaBlender::ItemBlend(TCustomTouchListview* Listview, TTouchItem* Item, int& Alpha, TColor& Color) {
  TTouchSelectionManager* selection = Listview->GetSelection();
  if (!Listview->Focused()) {
    Alpha = Listview->GetDisabledBlendAlpha();
    Color = selection->GetInactiveColor();
  } else if (!Item->GetEnabled()) {
    Alpha = Listview->GetDisabledBlendAlpha();
    Color = Listview->GetDisabledBlendColor();
  } else {
    Alpha = selection->GetBlendAlphaImage();
    Color = selection->GetColor();
  }
  return Item->GetSelected() || Item->GetDropTarget() || !Item->GetEnabled();
}

void TTouchAlphaBlender::BlendImage(TCustomTouchListview* Listview, TTouchItem* Item, TBitmap* Bitmap,
                                    const win::RECT& Rect, TCanvas* ACanvas) {
  if (Listview == nullptr || Item == nullptr || Bitmap == nullptr || ACanvas == nullptr || Bitmap->GetEmpty()) return;
  const int x = Rect.left + (Rect.right - Rect.left - Bitmap->GetWidth()) / 2;
  const int y = Rect.top + (Rect.bottom - Rect.top - Bitmap->GetHeight()) / 2;
  int alpha = 0;
  TColor colour = clNone;
  if (!ItemBlend(Listview, Item, alpha, colour) || !common::CanAlphaBlend()) {
    ACanvas->Draw(x, y, Bitmap);
    return;
  }
  TBitmap copy;
  copy.Assign(Bitmap);
  copy.SetPixelFormat(pf32bit);
  copy.SetTransparentMode(Bitmap->GetTransparentMode());
  copy.SetTransparentColor(Bitmap->GetTransparentColor());
  copy.SetTransparent(Bitmap->GetTransparent());
  // The transparent colour as 0xRRGGBB (ColorToRGB answers 0x00BBGGRR).
  std::int64_t skipped = -1;
  if (Bitmap->GetTransparent()) {
    const win::COLORREF key = ColorToRGB(Bitmap->GetTransparentColor());
    skipped = std::int64_t{key & 0xFF} << 16 | (key & 0xFF00) | (key >> 16 & 0xFF);
  }
  TintPixels(copy, ColorToRGB(colour), alpha, skipped);
  ACanvas->Draw(x, y, &copy);
}

// ---- Selection group list ----

void TTouchSelectionGroupList::Release() {
  if (--ref_count_ <= 0) delete this;
}

// ---- Hint window ----

void TTouchHintWindow::ActivateHintData(const win::RECT& Rect, const std::string& AHint, void* AData) {
  if (AData) data_ = *static_cast<TTouchHintInfoRec*>(AData);
  THintWindow::ActivateHintData(Rect, AHint, AData);
}

win::RECT TTouchHintWindow::CalcHintRect(int MaxWidth, const std::string& AHint, void* AData) {
  if (AData == nullptr) return THintWindow::CalcHintRect(MaxWidth, AHint, AData);
  auto& record = *static_cast<TTouchHintInfoRec*>(AData);
  TCustomTouchListview* control = record.Listview;
  if (control == nullptr) return THintWindow::CalcHintRect(MaxWidth, AHint, AData);
  TTouchHintInfo* info = control->GetHintInfo();
  record.Bounds = {0, 0, MaxWidth, 0};
  info->CopyFrom(record);
  control->DoHintCustomInfo(record.TargetObj, info);
  info->CopyTo(record);
  if (record.HintType == ehtText || record.HintType == ehtToolTip) {
    TCanvas* canvas = GetCanvas();
    canvas->SetFont(GetFont());
    win::RECT rect = record.Bounds;
    common::DrawCaptionText(canvas->GetHandle(), record.Text, rect, -1,
                            common::dtLeft | common::dtCalcRect | common::dtCalcRectAdjR | common::dtWordBreak);
    rect.right += 6;
    rect.bottom += 2;
    record.Bounds = rect;
    info->SetBounds(rect);
  }
  data_ = record;
  return record.Bounds;
}

void TTouchHintWindow::Paint() {
  TCanvas* canvas = GetCanvas();
  win::RECT rect = GetClientRect();
  if (data_.HintType == ehtCustomDraw) {
    if (TCustomTouchListview* control = data_.Listview) {
      win::InflateRect(&rect, -2, -2);
      TTouchHintInfo* info = control->GetHintInfo();
      info->CopyFrom(data_);
      info->SetCanvas(canvas);
      info->SetBounds(rect);
      control->DoHintCustomDraw(data_.TargetObj, info);
    }
    return;
  }
  canvas->SetFont(GetFont());
  canvas->GetBrush()->SetStyle(bsClear);
  const WideString text = data_.Listview ? data_.Text : win::Utf8ToUtf16(GetCaption());
  // Broken into lines as CalcHintRect measured it: unbroken, a hint longer than one line would be
  // drawn as a single line cut off on both sides of the window.
  common::DrawCaptionText(canvas->GetHandle(), text, rect, -1,
                          common::dtCenter | common::dtVCenter | common::dtWordBreak);
}

}  // namespace dashtune
