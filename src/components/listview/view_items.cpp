#include "components/listview/view_items.h"

#include <algorithm>
#include <cmath>

#include "classlib/bitmap.h"
#include "classlib/imagelist.h"
#include "components/listview/common/common_objects.h"
#include "components/listview/common/common_utilities.h"
#include "components/listview/listview.h"
#include "components/listview/rect_helpers.h"
#include "components/listview/unit_startup.h"
#include "platform/gdi/scoped_gdi.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/image_list.h"

namespace dashtune {

namespace {

using listview::IsEmpty;
using listview::Union;

bool Inside(const win::RECT& inner, const win::RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right && inner.bottom <= outer.bottom;
}

bool IsFirstColumn(TTouchColumn* column) { return column == nullptr || column->GetPosition() == 0; }

int ColumnIndexOf(TTouchColumn* column) { return column ? column->GetIndex() : 0; }

// The position OnItemPaintText is told of a caption: its column's.
int PositionOf(TTouchColumn* column) { return column ? column->GetPosition() : 0; }

}  // namespace

// ---- Canvas store and check boxes ----

void TTouchCanvasStore::StoreCanvas(TCanvas* Canvas) {
  if (!pen_) pen_ = std::make_unique<TPen>();
  if (!brush_) brush_ = std::make_unique<TBrush>();
  if (!font_) font_ = std::make_unique<TFont>();
  pen_->Assign(Canvas->GetPen());
  brush_->Assign(Canvas->GetBrush());
  font_->Assign(Canvas->GetFont());
}

void TTouchCanvasStore::RestoreCanvas(TCanvas* Canvas) {
  if (pen_) Canvas->SetPen(pen_.get());
  if (brush_) Canvas->SetBrush(brush_.get());
  if (font_) Canvas->SetFont(font_.get());
}

TTouchCanvasStore* TTouchOwnedPersistentView::CanvasStore() {
  if (!canvas_store_) canvas_store_ = std::make_unique<TTouchCanvasStore>();
  return canvas_store_.get();
}

void TTouchOwnedPersistentView::DrawCheckBox(TTouchCheckType CheckType, const win::RECT& Rect, TCanvas* ACanvas,
                                             bool Checked, bool Enabled, bool Hot, bool Pressed, bool Flat) {
  if (CheckType != ectBox && CheckType != ectRadio) return;
  if (GetOwnerListview() && GetOwnerListview()->Themed() && common::DrawThemeBackgroundRoutine) {
    const int part = CheckType == ectBox ? 3 : 2;
    int state = !Enabled ? 4 : Hot ? 2 : Pressed ? 3 : 1;
    if (Checked) state += 4;
    common::DrawThemeBackgroundRoutine(ACanvas->GetHandle(), part, state, Rect);
    return;
  }
  common::TCommonCheckColors colors;
  if (Enabled)
    colors = Flat ? common::TCommonCheckColors{clBlack, clBlack, clBlack, clBlack, clBtnFace, clWhite}
                  : common::TCommonCheckColors{cl3DLight, cl3DDkShadow, clBtnHighlight, clBtnShadow, clBtnFace, clWhite};
  else
    colors = Flat ? common::TCommonCheckColors{clBtnShadow, clBtnShadow, clBtnShadow, clBtnShadow, clBtnFace, clBtnFace}
                  : common::TCommonCheckColors{cl3DLight, cl3DDkShadow, clBtnHighlight, clBtnShadow, clBtnFace, clBtnFace};
  if (CheckType == ectBox)
    common::DrawCheckBoxClassic(ACanvas, Rect, Checked, Pressed, colors);
  else
    common::DrawRadioButtonClassic(ACanvas, Rect, Checked, Pressed, colors);
}

void listview::SizeRectArrayToColumns(TCustomTouchListview* Control, TTouchRectArrayObjectArray& List) {
  const int columns = Control ? Control->GetHeader()->GetColumns()->GetPositions().GetCount() : 0;
  if (columns == 0) {
    List.assign(1, TTouchRectArrayObject{});
    return;
  }
  List.resize(static_cast<std::size_t>(columns));
}

// ---- TTouchViewItem: rectangles ----

WideString TTouchViewItem::CaptionOf(TTouchItem* Item, TTouchColumn* Column) {
  return Column ? Item->GetCaptions(Column->GetIndex()) : Item->GetCaption();
}

TCustomImageList* TTouchViewItem::ImageListFor(TTouchColumn* Column, TTouchItem* Item, int Kind) {
  const int column = ColumnIndexOf(Column);
  if (Kind == 2) return Item->GetStateImageList(column);
  TCustomImageList* list = Item->GetImageList(column, ImageSizeKind());
  if (list == nullptr && ImageSizeKind() == 2) list = Item->GetImageList(column, 1);
  return list;
}

win::RECT TTouchViewItem::TextHitRect(TTouchItem* Item, const TTouchRectArrayObject& Rects) {
  TCustomTouchListview* control = GetOwnerListview();
  return Item->GetFocused() && control && control->Focused() ? Rects.FocusChangeInvalidRect : Rects.TextRect;
}

win::RECT TTouchViewItem::CellRect(TTouchItem* Item, TTouchColumn*) { return Item->GetDisplayRect(); }

void TTouchViewItem::ImageSize(TTouchItem* Item, TTouchColumn* Column, int& Width, int& Height) {
  Width = Height = 0;
  if (Item->GetImageIndexes(ColumnIndexOf(Column)) < 0) return;
  if (Item->ImageDrawIsCustom(Column)) {
    Item->ImageDrawGetSize(Column, Width, Height);
    return;
  }
  if (TCustomImageList* list = ImageListFor(Column, Item, 0)) {
    Width = list->GetWidth();
    Height = list->GetHeight();
  }
}

void TTouchViewItem::DeriveRects(TTouchRectArrayObject& Rects) {
  const win::RECT& text = Rects.TextRect;
  Rects.ShortTextRect = text;
  Rects.ShortTextRect.bottom -= static_cast<int>(std::lround((text.bottom - text.top) / 5.0));
  Rects.FocusChangeInvalidRect = text;
  Rects.FullTextRect = text;
  // An item without text has no text areas to grow.
  if (!IsEmpty(text)) win::InflateRect(&Rects.FullTextRect, 2, 2);
  Rects.SelectionRect = Rects.FullTextRect;
  Rects.FullFocusSelRect = Union(Rects.IconRect, Rects.FocusChangeInvalidRect);
  Rects.ClickSelectBoundsRect = Rects.FullFocusSelRect;
  Rects.DragSelectBoundsRect = Rects.FullFocusSelRect;
}

void TTouchViewItem::ItemRects(TTouchItem* Item, TTouchColumn*, TCanvas*, TTouchRectArrayObject& Rects) {
  Rects = TTouchRectArrayObject{};
  win::RECT bounds = Item->GetDisplayRect();
  win::InflateRect(&bounds, -Item->GetBorder(), -Item->GetBorder());
  Rects.BoundsRect = Rects.LabelRect = Rects.IconRect = Rects.TextRect = Rects.IconBandRect = bounds;
  Rects.ShortTextRect = Rects.FocusChangeInvalidRect = Rects.FullTextRect = Rects.SelectionRect = bounds;
  Rects.FullFocusSelRect = Rects.ClickSelectBoundsRect = Rects.DragSelectBoundsRect = bounds;
  Rects.TextRects.assign(1, bounds);
}

void TTouchViewItem::ItemRect(TTouchItem* Item, TTouchColumn* Column, win::RECT& Rect, TTouchRectKind Kind) {
  TTouchRectArrayObject rects;
  TCustomTouchListview* control = GetOwnerListview();
  ItemRects(Item, Column, control ? control->GetCanvas() : nullptr, rects);
  switch (Kind) {
    case ekrBounds: Rect = rects.BoundsRect; break;
    case ekrIcon: Rect = rects.IconRect; break;
    case ekrLabel: Rect = rects.LabelRect; break;
    case ekrIconBand: Rect = rects.IconBandRect; break;
    case ekrShortText: Rect = rects.ShortTextRect; break;
    case ekrText: Rect = rects.TextRect; break;
    case ekrFocusChange: Rect = rects.FocusChangeInvalidRect; break;
  }
}

int TTouchViewItem::CaptionLines(TTouchItem*, TTouchColumn*) { return listview::DefaultCaptionLines; }

unsigned TTouchViewItem::CaptionFlags(TTouchItem* Item, TTouchColumn* Column, int Lines) {
  unsigned flags = common::dtWordBreak | common::dtEndEllipsis | VAlignmentFlag(Column);
  switch (CaptionAlignment(Item, Column)) {
    case 1: flags |= common::dtRight; break;
    case 2: flags |= common::dtCenter; break;
    default: flags |= common::dtLeft; break;
  }
  if (Lines == 1) flags |= common::dtSingleLine;
  return flags;
}

int TTouchViewItem::ShowableCaptionLines() {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || !control->HandleAllocated()) return 2;
  TCanvas* canvas = control->GetCanvas();
  canvas->SetFont(control->GetFont());
  const int line_height = std::max(canvas->TextHeight("Wg"), 1);
  return std::max(control->GetClientHeight() / line_height + 1, 2);
}

void TTouchViewItem::MeasureCaption(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, int Lines,
                                    win::RECT& Rect) {
  if (Lines < 0) Lines = ShowableCaptionLines();
  PrepareCanvas(Item, Column, Item->GetSelected(), ACanvas, PositionOf(Column));
  const WideString caption = CaptionOf(Item, Column);
  const unsigned flags =
      CaptionFlags(Item, Column, Lines) | common::dtCalcRect | common::dtCalcRectAdjR | common::dtCalcRectAlign;
  common::DrawCaptionText(ACanvas->GetHandle(), caption.empty() ? WideString(u" ") : caption, Rect, Lines, flags);
}

// ---- TTouchViewItem: painting ----

bool TTouchViewItem::Editing(TTouchItem* Item, TTouchColumn* Column) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return false;
  TTouchEditManager* editor = control->GetEditManager();
  if (editor->GetEditItem() != Item) return false;
  // An edit without a column edits the item's own caption, that of column index 0.
  return control->GetView() != elsReport || ColumnIndexOf(editor->GetEditColumn()) == ColumnIndexOf(Column);
}

bool TTouchViewItem::SelectedLook(TTouchItem* Item, TTouchColumn* Column) {
  if (!Item->GetSelected() && !Item->GetDropTarget()) return false;
  TCustomTouchListview* control = GetOwnerListview();
  return IsFirstColumn(Column) || FullRowRule() || (control && control->GetSelection()->GetGroupSelections());
}

void TTouchViewItem::PrepareCanvas(TTouchItem* Item, TTouchColumn*, bool SelectedLook, TCanvas* ACanvas, int Position) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return;
  ACanvas->SetFont(control->GetFont());
  ACanvas->GetBrush()->SetStyle(bsClear);
  TFont* font = ACanvas->GetFont();
  if (control->DrawsDisabled()) {
    font->SetColor(clGrayText);
  } else {
    TTouchSelectionManager* selection = control->GetSelection();
    if (SelectedLook)
      font->SetColor(control->Focused() || Item->GetDropTarget() ? selection->GetTextColor()
                                                                 : selection->GetInactiveTextColor());
    TTouchHotTrackManager* hot = control->GetHotTrack();
    if (hot->GetEnabled() && hot->GetHotObject() == Item && !Item->GetDropTarget() && !Item->GetSelected()) {
      font->SetColor(hot->GetColor());
      if (hot->GetUnderline()) font->SetStyle(font->GetStyle() + TFontStyles{fsUnderline});
    }
  }
  if (Item->GetBold()) font->SetStyle(font->GetStyle() + TFontStyles{fsBold});
  control->DoItemPaintText(Item, Position, ACanvas);
}

void TTouchViewItem::PaintItem(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, bool ForceSelectionRect) {
  if (!Item->GetVisible() || ACanvas == nullptr) return;
  TTouchCanvasStore* store = CanvasStore();
  store->StoreCanvas(ACanvas);
  TTouchRectArrayObject rects;
  ItemRects(Item, Column, ACanvas, rects);
  if (!PaintBefore(Item, Column, ACanvas, rects)) {
    const bool editing = Editing(Item, Column);
    if (!editing) PaintSelectionRect(Item, Column, ACanvas, rects, ForceSelectionRect);
    PaintImage(Item, Column, ACanvas, rects);
    if (!editing) {
      PaintText(Item, Column, ACanvas, rects, CaptionLines(Item, Column));
      TCustomTouchListview* control = GetOwnerListview();
      if (control && control->GetSelection()->GetUseFocusRect()) PaintFocusRect(Item, Column, ACanvas, rects);
    }
    PaintCheckBox(Item, Column, ACanvas, rects);
    PaintAfter(Item, Column, ACanvas, rects);
  }
  store->RestoreCanvas(ACanvas);
}

bool TTouchViewItem::PaintBefore(TTouchItem* Item, TTouchColumn*, TCanvas* ACanvas, const TTouchRectArrayObject& Rects) {
  if (Item->GetBorder() > 0) {
    ACanvas->GetBrush()->SetStyle(bsSolid);
    ACanvas->GetBrush()->SetColor(Item->GetBorderColor());
    ACanvas->FrameRect(Rects.BoundsRect);
  }
  return false;
}

void TTouchViewItem::PaintText(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects,
                               int LinesToDraw) {
  if (IsEmpty(Rects.TextRect)) return;
  PrepareCanvas(Item, Column, SelectedLook(Item, Column), ACanvas, PositionOf(Column));
  win::RECT rect = Rects.TextRect;
  common::DrawCaptionText(ACanvas->GetHandle(), CaptionOf(Item, Column), rect, LinesToDraw,
                          CaptionFlags(Item, Column, LinesToDraw));
}

void TTouchViewItem::PaintImage(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return;
  const win::HDC dc = ACanvas->GetHandle();
  const win::RECT& cell = Item->GetDisplayRect();
  // An image rectangle reaching out of the cell is clipped to the cell while drawing.
  const bool clip = !Inside(Rects.IconRect, cell);
  int saved = 0;
  if (clip) {
    saved = win::SaveDC(dc);
    win::IntersectClipRect(dc, cell.left, cell.top, cell.right, cell.bottom);
  }
  if (control->IsThumbnailView() && !DrawsThumbnailDefault(Item, ACanvas, Rects)) {
    if (clip) listview::RestoreCanvasDC(ACanvas, saved);
    return;
  }
  if (Item->ImageDrawIsCustom(Column)) {
    Item->ImageDraw(Column, ACanvas, Rects, listview::SharedAlphaBlender());
  } else {
    const int column = ColumnIndexOf(Column);
    TCustomImageList* list = ImageListFor(Column, Item, 0);
    const int index = Item->GetImageIndexes(column);
    const int overlay = Item->GetImageOverlayIndexes(column);
    if (ShowStateImage()) {
      TCustomImageList* states = ImageListFor(Column, Item, 2);
      const int state = Item->GetStateImageIndexes(column);
      if (states && state >= 0) {
        const win::RECT& r = Rects.StateRect;
        win::ImageList_DrawEx(states->GetHandle(), state, dc, r.left + (r.right - r.left - states->GetWidth()) / 2,
                              r.top + (r.bottom - r.top - states->GetHeight()) / 2, 0, 0, win::CLR_NONE, win::CLR_NONE,
                              win::ILD_TRANSPARENT);
      }
    }
    if (list && index >= 0) {
      const win::RECT& r = Rects.IconRect;
      const int x = r.left + (r.right - r.left - list->GetWidth()) / 2;
      const int y = r.top + (r.bottom - r.top - list->GetHeight()) / 2;
      TTouchSelectionManager* selection = control->GetSelection();
      win::UINT style = win::ILD_TRANSPARENT;
      win::COLORREF blend = win::CLR_NONE;
      const bool selected_look = (control->Focused() && Item->GetSelected()) || (Item->GetDropTarget() && IsFirstColumn(Column));
      if (selection->GetBlendIcon() && selected_look) {
        style |= win::ILD_BLEND50;
        blend = selection->GetForceDefaultBlend() ? win::CLR_DEFAULT : ColorToRGB(selection->GetColor());
      } else if (!Item->GetEnabled() || Item->GetCut() || Item->GetGhosted() || control->DrawsDisabled()) {
        style |= win::ILD_BLEND50;
        blend = ColorToRGB(control->GetColor());
      }
      if (overlay >= 0) style |= win::INDEXTOOVERLAYMASK(static_cast<win::UINT>(overlay));
      win::ImageList_DrawEx(list->GetHandle(), index, dc, x, y, 0, 0, win::CLR_NONE, blend, style);
    }
  }
  if (clip) listview::RestoreCanvasDC(ACanvas, saved);
}

bool TTouchViewItem::DrawsThumbnailDefault(TTouchItem* Item, TCanvas* ACanvas, const TTouchRectArrayObject& Rects) {
  bool do_default = true;
  Item->ThumbnailDraw(ACanvas, listview::Inflated(Rects.IconRect, -Item->GetBorder()), listview::SharedAlphaBlender(),
                      do_default);
  return do_default;
}

void TTouchViewItem::PaintCheckBox(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects) {
  const TTouchCheckType type = Item->GetCheckType();
  if ((type != ectBox && type != ectRadio) || !IsFirstColumn(Column)) return;
  TCustomTouchListview* control = GetOwnerListview();
  const bool pending = Item->GetCheckPending() || (control && control->GetCheckManager()->GetPendingObject() == Item);
  DrawCheckBox(type, Rects.CheckRect, ACanvas, Item->GetChecked(), Item->GetEnabled(), Item->GetCheckHovering(), pending,
               Item->GetCheckFlat());
}

void TTouchViewItem::PaintFocusRect(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || !Item->GetFocused() || !IsFirstColumn(Column) || !control->Focused()) return;
  TTouchSelectionManager* selection = control->GetSelection();
  win::RECT rect;
  if (selection->GetFullCellPaint()) {
    rect = Item->GetDisplayRect();
    // A report row's cell is the first column's.
    if (Column != nullptr && control->GetView() == elsReport) {
      rect.left = Column->GetDisplayRect().left;
      rect.right = rect.left + Column->GetWidth();
    }
  } else {
    rect = Rects.FullTextRect;
    if (selection->GetFullItemPaint()) rect = Union(rect, Rects.IconRect);
  }
  ACanvas->GetBrush()->SetStyle(bsSolid);
  ACanvas->GetBrush()->SetColor(control->GetColor());
  ACanvas->GetFont()->SetColor(clBlack);
  ACanvas->DrawFocusRect(rect);
}

// ---- Selection ----

namespace {

std::uint8_t Channel(win::COLORREF color, int shift) { return static_cast<std::uint8_t>((color >> shift) & 0xFF); }

// Rows from the area's top to its bottom, each a line in the colour between Top and Bottom.
void VerticalGradient(TCanvas* canvas, const win::RECT& area, TColor top_color, TColor bottom_color) {
  const win::COLORREF top = ColorToRGB(top_color), bottom = ColorToRGB(bottom_color);
  const int height = area.bottom - area.top;
  if (height <= 0) return;
  const TColor pen_color = canvas->GetPen()->GetColor();
  for (int y = area.top; y < area.bottom; ++y) {
    win::COLORREF mixed = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
      const int start = Channel(top, shift), end = Channel(bottom, shift);
      const int value = start + static_cast<int>(std::lround(static_cast<double>(end - start) * (y - area.top) / height));
      mixed |= static_cast<win::COLORREF>(value) << shift;
    }
    canvas->GetPen()->SetColor(static_cast<TColor>(mixed));
    canvas->MoveTo(area.left, y);
    canvas->LineTo(area.right, y);
  }
  canvas->GetPen()->SetColor(pen_color);
  canvas->GetBrush()->SetColor(pen_color);
}

// A 32-bit bitmap holding a copy of an area of a canvas.
std::unique_ptr<TBitmap> CopyOfArea(TCanvas* canvas, const win::RECT& area) {
  auto copy = std::make_unique<TBitmap>();
  copy->SetPixelFormat(pf32bit);
  copy->SetSize(listview::Width(area), listview::Height(area));
  win::BitBlt(copy->GetCanvas()->GetHandle(), 0, 0, copy->GetWidth(), copy->GetHeight(), canvas->GetHandle(), area.left,
              area.top, win::SRCCOPY);
  return copy;
}

// Mixes a vertical gradient from Top to Bottom into a background: each channel becomes
// (80 x gradient + 20 x background) / 100. With Blur each interior background pixel is first
// replaced by (its eight neighbours + half itself) / 9, read from the bitmap as it is written.
void MixGradient(TBitmap& background, TColor top, TColor bottom, bool blur) {
  const int width = background.GetWidth(), height = background.GetHeight();
  TBitmap gradient;
  gradient.SetPixelFormat(pf32bit);
  gradient.SetSize(width, height);
  VerticalGradient(gradient.GetCanvas(), {0, 0, width, height}, top, bottom);
  const auto channel = [&background](int x, int y, int c) {
    return static_cast<int>(static_cast<const std::uint8_t*>(background.GetScanLine(y))[x * 4 + c]);
  };
  for (int y = 0; y < height; ++y) {
    const auto* shade = static_cast<const std::uint8_t*>(gradient.GetScanLine(y));
    auto* pixel = static_cast<std::uint8_t*>(background.GetScanLine(y));
    for (int x = 0; x < width; ++x) {
      const bool interior = x > 0 && y > 0 && x < width - 1 && y < height - 1;
      for (int c = 0; c < 3; ++c) {
        int back = pixel[x * 4 + c];
        if (blur && interior) {
          int sum = 0;
          for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
              if (dx != 0 || dy != 0) sum += channel(x + dx, y + dy, c);
          back = (sum + back / 2) / 9;
        }
        pixel[x * 4 + c] = static_cast<std::uint8_t>((80 * shade[x * 4 + c] + 20 * back) / 100);
      }
    }
  }
}

// Draws a bitmap back over the area, through a rounded region of the radius when Rounded (within
// the context's clip region).
void CopyBack(TCanvas* canvas, TBitmap& copy, const win::RECT& area, int radius, bool rounded) {
  const win::HDC dc = canvas->GetHandle();
  const int saved = win::SaveDC(dc);
  if (rounded) {
    // Regions are in device coordinates.
    win::POINT window{}, viewport{};
    win::GetWindowOrgEx(dc, &window);
    win::GetViewportOrgEx(dc, &viewport);
    const int dx = viewport.x - window.x, dy = viewport.y - window.y;
    win::ScopedGdiObject<win::HRGN> region(
        win::CreateRoundRectRgn(area.left + dx, area.top + dy, area.right + dx, area.bottom + dy, radius, radius));
    win::ScopedGdiObject<win::HRGN> current(win::CreateRectRgn(0, 0, 0, 0));
    if (win::GetClipRgn(dc, current.Get()) == 1) win::CombineRgn(region.Get(), region.Get(), current.Get(), win::RGN_AND);
    win::SelectClipRgn(dc, region.Get());
  }
  win::BitBlt(dc, area.left, area.top, copy.GetWidth(), copy.GetHeight(), copy.GetCanvas()->GetHandle(), 0, 0,
              win::SRCCOPY);
  listview::RestoreCanvasDC(canvas, saved);
}

bool HasBlendableBitmap(win::HDC dc) {
  const win::HGDIOBJ bitmap = win::GetCurrentObject(dc, win::OBJ_BITMAP);
  win::DIBSECTION section{};
  return bitmap && win::GetObject(bitmap, sizeof(section), &section) == static_cast<int>(sizeof(section)) &&
         section.dsBm.bmBits != nullptr && section.dsBm.bmBitsPixel == 32;
}

}  // namespace

void TTouchViewItem::PaintSelectionRect(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas,
                                        const TTouchRectArrayObject& Rects, bool ForceSelectionRect) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return;
  const bool highlighted = (Item->GetSelected() && !control->DrawsDisabled()) || Item->GetDropTarget();
  if (!ForceSelectionRect && !(highlighted && IsFirstColumn(Column) && !FullRowRule())) return;
  TTouchSelectionManager* selection = control->GetSelection();

  const bool active = control->Focused() || Item->GetDropTarget();
  TColor fill, pen, gradient_top, gradient_bottom;
  if (!active) {
    pen = selection->GetInactiveBorderColor();
    fill = selection->GetInactiveColor();
    gradient_top = control->GetColor();
    gradient_bottom = selection->GetInactiveColor();
  } else {
    fill = selection->GetColor();
    pen = selection->GetUseFocusRect() && selection->GetFocusedItem() == Item ? clSilver : selection->GetBorderColor();
    gradient_top = selection->GetGradientColorTop();
    gradient_bottom = selection->GetGradientColorBottom();
  }
  ACanvas->GetPen()->SetColor(pen);
  ACanvas->GetBrush()->SetStyle(bsSolid);
  ACanvas->GetBrush()->SetColor(fill);

  win::RECT area = Rects.FullTextRect;
  if (selection->GetFullItemPaint()) area = Union(area, Rects.IconRect);
  if (selection->GetFullCellPaint()) area = Item->GetDisplayRect();
  // Group selections in report view: the row across the columns, drawn as part of the run of
  // adjacent selected rows it belongs to, each row painting its own band of the run.
  win::RECT band{};
  const bool grouped = selection->GetGroupSelections() && control->GetView() == elsReport;
  if (grouped) {
    band = area = Item->GetDisplayRect();
    if (const TTouchSelectionGroupList* run = Item->GetSelectionGroup()) area = run->GetDisplayRect();
  }
  SelectionRectHook(Item, area);
  if (grouped) {
    band.left = area.left;
    band.right = area.right;
  }
  // Clip to what the window shows below the header; the right edge may take the corner radius
  // back, but no further than it reached before clipping.
  const int unclipped_right = area.right;
  TTouchScrollbarManager* scrollbars = control->GetScrollbars();
  const win::RECT shown = scrollbars->MapWindowRectToView(
      {0, control->GetHeader()->GetHeight(), control->GetClientWidth(), control->GetClientHeight()});
  win::RECT clipped{};
  if (!win::IntersectRect(&clipped, &area, &shown)) return;
  clipped.right = std::min(clipped.right + selection->GetRoundRectRadius(), unclipped_right);
  area = clipped;
  if (IsEmpty(area)) return;

  const win::HDC dc = ACanvas->GetHandle();
  const int saved = win::SaveDC(dc);
  if (grouped) win::IntersectClipRect(dc, band.left, band.top, band.right, band.bottom);
  const int radius = selection->GetRoundRectRadius();
  const bool blend = selection->GetAlphaBlend() && common::CanAlphaBlend();
  if (selection->GetGradient() && !selection->GetAlphaBlend()) {
    VerticalGradient(ACanvas, area, gradient_top, gradient_bottom);
    ACanvas->FrameRect(area);
  } else if (blend && (selection->GetRoundRect() || selection->GetGradient())) {
    // Mixed in a copy of the area, then copied back (through the rounded outline when round).
    std::unique_ptr<TBitmap> copy = CopyOfArea(ACanvas, area);
    TCanvas* mixing = copy->GetCanvas();
    const win::RECT whole{0, 0, copy->GetWidth(), copy->GetHeight()};
    if (selection->GetRoundRect()) {
      mixing->GetPen()->SetColor(pen);
      mixing->GetBrush()->SetStyle(bsClear);
      mixing->RoundRect(whole.left, whole.top, whole.right, whole.bottom, radius, radius);
    }
    if (selection->GetGradient())
      MixGradient(*copy, gradient_top, gradient_bottom, selection->GetBlurAlphaBkGnd());
    else
      common::AlphaBlend(mixing->GetHandle(), whole, fill, selection->GetBlendAlphaTextRect());
    CopyBack(ACanvas, *copy, area, radius, selection->GetRoundRect());
  } else if (blend && HasBlendableBitmap(dc)) {
    common::AlphaBlend(dc, area, fill, selection->GetBlendAlphaTextRect());
    ACanvas->GetBrush()->SetStyle(bsClear);
    ACanvas->Rectangle(area);
  } else if (selection->GetRoundRect()) {
    ACanvas->RoundRect(area.left, area.top, area.right, area.bottom, radius, radius);
  } else {
    ACanvas->Rectangle(area);
  }
  listview::RestoreCanvasDC(ACanvas, saved);
}

// ---- Hit tests ----

bool TTouchViewItem::PointInText(TTouchItem* Item, win::POINT ViewportPoint) {
  if (!Item->GetEnabled()) return false;
  TCustomTouchListview* control = GetOwnerListview();
  TTouchRectArrayObject rects;
  ItemRects(Item, control ? control->GetHeader()->FirstColumn() : nullptr, control ? control->GetCanvas() : nullptr, rects);
  return win::PtInRect(&rects.TextRect, ViewportPoint) != 0;
}

int TTouchViewItem::ComparePoint(TTouchItem* Item, win::POINT ViewportPoint) {
  const win::RECT& cell = Item->GetDisplayRect();
  if (ViewportPoint.y < cell.top || (ViewportPoint.y < cell.bottom && ViewportPoint.x < cell.left)) return 1;
  if (ViewportPoint.y >= cell.bottom || ViewportPoint.x >= cell.right) return -1;
  return 0;
}

bool TTouchViewItem::SelectionHit(TTouchItem* Item, const win::RECT& Rect) {
  if (!Item->GetEnabled()) return false;
  TCustomTouchListview* control = GetOwnerListview();
  TTouchRectArrayObject rects;
  ItemRects(Item, nullptr, control ? control->GetCanvas() : nullptr, rects);
  win::RECT meeting{};
  const win::RECT text = TextHitRect(Item, rects), image = ImageHitRect(rects);
  return win::IntersectRect(&meeting, &Rect, &text) || win::IntersectRect(&meeting, &Rect, &image);
}

bool TTouchViewItem::SelectionHitPoint(TTouchItem* Item, win::POINT Point) {
  if (!Item->GetEnabled()) return false;
  TCustomTouchListview* control = GetOwnerListview();
  TTouchRectArrayObject rects;
  ItemRects(Item, nullptr, control ? control->GetCanvas() : nullptr, rects);
  const win::RECT text = TextHitRect(Item, rects), image = ImageHitRect(rects);
  return win::PtInRect(&text, Point) || win::PtInRect(&image, Point);
}

// ---- TTouchViewTileItem ----

win::RECT TTouchViewTileItem::TextHitRect(TTouchItem*, const TTouchRectArrayObject& Rects) {
  win::RECT rect = Union(Rects.IconRect, Rects.TextRect);
  rect.top = Rects.BoundsRect.top + 2;
  rect.bottom = Rects.BoundsRect.bottom - 2;
  return rect;
}

unsigned TTouchViewTileItem::LineFlags(int Lines) {
  return common::dtEndEllipsis | common::dtTop | common::dtLeft | (Lines == 1 ? common::dtSingleLine : 0u);
}

void TTouchViewTileItem::MeasureLine(TTouchItem* Item, TCanvas* ACanvas, const WideString& Text, int Position, int Lines,
                                     win::RECT& Line) {
  if (ACanvas == nullptr) {
    Line.bottom = Line.top;
    return;
  }
  PrepareCanvas(Item, nullptr, Item->GetSelected(), ACanvas, Position);
  const unsigned flags = LineFlags(Lines) | common::dtCalcRect | common::dtCalcRectAdjR | common::dtCalcRectAlign;
  common::DrawCaptionText(ACanvas->GetHandle(), Text.empty() ? WideString(u" ") : Text, Line, Lines, flags);
}

void TTouchViewTileItem::ItemRects(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, TTouchRectArrayObject& Rects) {
  if (!Item->GetInitialized()) Item->SetInitialized(true);
  Rects = TTouchRectArrayObject{};
  int image_width = 0, image_height = 0;
  ImageSize(Item, Column, image_width, image_height);

  win::RECT bounds = Item->GetDisplayRect();
  win::InflateRect(&bounds, -Item->GetBorder(), -Item->GetBorder());
  Rects.BoundsRect = bounds;

  if (Item->GetCheckType() != ectNone) {
    const win::SIZE box = common::TCommonCheckBoundManager::Add(GetOwnerListview(), Item->GetCheckSize());
    const int left = bounds.left + Item->GetCheckIndent();
    const int top = bounds.top + (bounds.bottom - bounds.top - box.cy) / 2;
    Rects.CheckRect = {left, top, left + box.cx, top + box.cy};
  } else {
    Rects.CheckRect = {bounds.left, bounds.top, bounds.left, bounds.bottom};
  }

  const int image_left = Rects.CheckRect.right + Item->GetImageIndent();
  Rects.IconRect = {image_left, bounds.top, image_left + image_width + 4, bounds.bottom};
  Rects.LabelRect = {Rects.IconRect.right + Item->GetCaptionIndent() + 2, bounds.top, bounds.right - 2, bounds.bottom};
  const win::RECT& label = Rects.LabelRect;

  const int line_count = std::max(Item->GetDetailCount(), 0);
  std::vector<win::RECT> lines(static_cast<std::size_t>(line_count));
  auto caption_of = [Item](int line) {
    const int detail = Item->GetDetails(line);
    return detail < 0 ? WideString() : Item->GetCaptions(detail);
  };
  if (line_count > 0) {
    lines[0] = label;
    MeasureLine(Item, ACanvas, caption_of(0), 0, CaptionLines(Item, Column), lines[0]);
    if (lines[0].bottom <= label.bottom) {
      for (int i = 1; i < line_count; ++i) {
        const int top = lines[static_cast<std::size_t>(i) - 1].bottom;
        if (top >= label.bottom) break;
        win::RECT line{label.left, top, label.right, top};
        MeasureLine(Item, ACanvas, caption_of(i), i, 1, line);
        if (line.bottom > label.bottom) break;
        lines[static_cast<std::size_t>(i)] = line;
      }
    } else {
      lines[0] = {};
    }
  }
  // The text is the union of the leading lines that were laid out.
  std::size_t used = 0;
  while (used < lines.size() && !IsEmpty(lines[used])) ++used;
  lines.resize(used);
  win::RECT text{};
  for (const win::RECT& line : lines) text = IsEmpty(text) ? line : Union(text, line);

  int shift = 0;
  const int spare = (label.bottom - label.top) - (text.bottom - text.top);
  if (!lines.empty() && Item->GetVAlignment() == cvaCenter) shift = spare / 2;
  if (!lines.empty() && Item->GetVAlignment() == cvaBottom) shift = label.bottom - text.bottom;
  for (win::RECT& line : lines) win::OffsetRect(&line, 0, shift);
  if (!lines.empty()) win::OffsetRect(&text, 0, shift);

  Rects.TextRect = text;
  Rects.TextRects = std::move(lines);
  Rects.IconBandRect = Rects.IconRect;
  DeriveRects(Rects);
}

void TTouchViewTileItem::PaintText(TTouchItem* Item, TTouchColumn*, TCanvas* ACanvas, const TTouchRectArrayObject& Rects,
                                   int LinesToDraw) {
  if (Rects.TextRects.empty()) return;
  // The handle is asked for after each preparation, so that the prepared font is selected.
  if (const int detail = Item->GetDetails(0); detail >= 0) {
    PrepareCanvas(Item, nullptr, Item->GetSelected(), ACanvas, 0);
    win::RECT line = Rects.TextRects[0];
    common::DrawCaptionText(ACanvas->GetHandle(), Item->GetCaptions(detail), line, LinesToDraw, LineFlags(LinesToDraw));
  }
  for (std::size_t i = 1; i < Rects.TextRects.size(); ++i) {
    const int detail = Item->GetDetails(static_cast<int>(i));
    if (detail <= -1) continue;
    PrepareCanvas(Item, nullptr, Item->GetSelected(), ACanvas, static_cast<int>(i));
    win::RECT line = Rects.TextRects[i];
    common::DrawCaptionText(ACanvas->GetHandle(), Item->GetCaptions(detail), line, 1, LineFlags(1));
  }
}

}  // namespace dashtune
