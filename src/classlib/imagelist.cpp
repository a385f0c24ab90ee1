#include "classlib/imagelist.h"

#include "platform/gdi/gdi.h"
#include "platform/gdi/image_list.h"

namespace dashtune {
namespace {

win::COLORREF ImageListColor(TColor color) {
  if (color == clNone) return win::CLR_NONE;
  if (color == clDefault) return win::CLR_DEFAULT;
  return ColorToRGB(color);
}

}  // namespace

TCustomImageList::TCustomImageList(TComponent* AOwner) : TComponent(AOwner) {}

TCustomImageList::TCustomImageList(TComponent* AOwner, int AWidth, int AHeight) : TComponent(AOwner) {
  SetSize(AWidth, AHeight);
}

TCustomImageList::~TCustomImageList() { FreeHandle(); }

void TCustomImageList::FreeHandle() {
  if (handle_ != nullptr) win::ImageList_Destroy(handle_);
  handle_ = nullptr;
}

win::HIMAGELIST TCustomImageList::GetHandle() {
  if (handle_ == nullptr) {
    const win::UINT flags = win::ILC_COLOR32 | (masked_ ? win::ILC_MASK : 0);
    handle_ = win::ImageList_Create(width_, height_, flags, 4, 4);
    if (handle_ == nullptr) throw EOutOfResources();
    win::ImageList_SetBkColor(handle_, ImageListColor(bk_color_));
  }
  return handle_;
}

void TCustomImageList::SetSize(int AWidth, int AHeight) {
  if (AWidth < 1 || AHeight < 1) throw EInvalidOperation("Ungültige Bildgröße");
  if (AWidth == width_ && AHeight == height_) return;
  width_ = AWidth;
  height_ = AHeight;
  FreeHandle();
  Change();
}

int TCustomImageList::GetCount() const { return handle_ == nullptr ? 0 : win::ImageList_GetImageCount(handle_); }

void TCustomImageList::SetMasked(bool Value) {
  if (Value == masked_) return;
  masked_ = Value;
  FreeHandle();
  Change();
}

void TCustomImageList::SetBkColor(TColor Value) {
  bk_color_ = Value;
  if (handle_ != nullptr) win::ImageList_SetBkColor(handle_, ImageListColor(Value));
  Change();
}

int TCustomImageList::Add(TBitmap* Image, TBitmap* Mask) {
  if (Image == nullptr || Image->GetEmpty()) return -1;
  win::HBITMAP mask = Mask != nullptr && masked_ ? Mask->GetHandle() : nullptr;
  const int index = win::ImageList_Add(GetHandle(), Image->GetHandle(), mask);
  Change();
  return index;
}

int TCustomImageList::AddMasked(TBitmap* Image, TColor MaskColor) {
  if (Image == nullptr || Image->GetEmpty()) return -1;
  const int index = win::ImageList_AddMasked(GetHandle(), Image->GetHandle(), ColorToRGB(MaskColor));
  Change();
  return index;
}

void TCustomImageList::Delete(int Index) {
  if (handle_ == nullptr || Index < 0 || Index >= GetCount()) return;
  win::ImageList_Remove(handle_, Index);
  Change();
}

void TCustomImageList::Clear() {
  if (handle_ != nullptr) win::ImageList_Remove(handle_, -1);
  Change();
}

void TCustomImageList::Draw(TCanvas* Canvas, int X, int Y, int Index, bool Enabled) {
  if (handle_ == nullptr || Index < 0 || Index >= GetCount()) return;
  win::UINT style = image_type_ == itMask ? win::ILD_MASK : win::ILD_NORMAL;
  if (masked_ && image_type_ == itImage) style |= win::ILD_TRANSPARENT;
  win::COLORREF foreground = ImageListColor(blend_color_);
  if (!Enabled) {
    style |= win::ILD_BLEND50;
    if (blend_color_ == clNone) foreground = ColorToRGB(clBtnFace);
  } else if (drawing_style_ == dsFocus) {
    style |= win::ILD_FOCUS;
  } else if (drawing_style_ == dsSelected) {
    style |= win::ILD_SELECTED;
  }
  win::ImageList_DrawEx(handle_, Index, Canvas->GetHandle(), X, Y, 0, 0, ImageListColor(bk_color_), foreground, style);
}

void TCustomImageList::GetBitmap(int Index, TBitmap* Image) {
  if (Image == nullptr || handle_ == nullptr || Index < 0 || Index >= GetCount()) return;
  Image->SetPixelFormat(pf32bit);
  Image->SetSize(width_, height_);
  TCanvas* canvas = Image->GetCanvas();
  canvas->GetBrush()->SetColor(bk_color_ == clNone ? clWhite : bk_color_);
  canvas->FillRect(win::RECT{0, 0, width_, height_});
  win::ImageList_Draw(handle_, Index, canvas->GetHandle(), 0, 0, win::ILD_NORMAL);
}

void TCustomImageList::Overlay(int ImageIndex, int OverlayIndex) {
  if (handle_ == nullptr || ImageIndex < 0 || ImageIndex >= GetCount()) return;
  win::ImageList_SetOverlayImage(handle_, ImageIndex, OverlayIndex);
}

void TCustomImageList::Change() {
  if (OnChange) OnChange(this);
}

}  // namespace dashtune
