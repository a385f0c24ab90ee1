#include "components/listview/header_painter.h"

#include <algorithm>
#include <memory>

#include "classlib/bitmap.h"
#include "classlib/imagelist.h"
#include "components/listview/common/common_objects.h"
#include "components/listview/common/common_utilities.h"
#include "components/listview/header.h"
#include "components/listview/listview.h"
#include "components/listview/rect_helpers.h"
#include "components/listview/unit_startup.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/image_list.h"

namespace dashtune {

namespace {

using listview::CentredVertically;
using listview::Height;
using listview::IsEmpty;
using listview::Width;

unsigned AlignmentFlag(TAlignment alignment) {
  switch (alignment) {
    case taRightJustify: return common::dtRight;
    case taCenter: return common::dtCenter;
    default: return common::dtLeft;
  }
}

void ImageSizeOf(TTouchColumn* column, TTouchHeader* header, int& width, int& height) {
  width = height = 0;
  if (column->ImageDrawIsCustom(nullptr)) {
    column->ImageDrawGetSize(nullptr, width, height);
  } else if (header->GetImages() && column->GetImageIndex() >= 0) {
    width = header->GetImages()->GetWidth();
    height = header->GetImages()->GetHeight();
  }
}

// The image and label rectangles for an image at one of the four places of the bounds.
void PlaceImage(TTouchHeaderImagePosition position, const win::RECT& bounds, const win::RECT& check, int image_width,
                int image_height, int image_indent, int caption_indent, win::RECT& image, win::RECT& label) {
  switch (position) {
    case ehpLeft:
      image = CentredVertically(bounds, check.right + image_indent, image_width, image_height);
      label = {image.right + caption_indent, bounds.top, bounds.right, bounds.bottom};
      break;
    case ehpTop:
      image = {bounds.left, bounds.top + image_indent, bounds.right, bounds.top + image_indent + image_height};
      label = {check.right, image.bottom + caption_indent, bounds.right, bounds.bottom};
      break;
    case ehpRight:
      image = CentredVertically(bounds, bounds.right - image_indent - image_width, image_width, image_height);
      label = {check.right, bounds.top, image.left - caption_indent, bounds.bottom};
      break;
    case ehpBottom:
      image = {bounds.left, bounds.bottom - image_indent - image_height, bounds.right, bounds.bottom - image_indent};
      label = {check.right, bounds.top, bounds.right, image.top - caption_indent};
      break;
  }
}

std::unique_ptr<TBitmap> ascending_glyph;
std::unique_ptr<TBitmap> descending_glyph;

// A triangle of the glyph size on a transparent ground, its point up or down.
std::unique_ptr<TBitmap> MakeArrow(bool up) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf24bit);
  bitmap->SetSize(listview::kSortGlyphWidth, listview::kSortGlyphHeight);
  TCanvas* canvas = bitmap->GetCanvas();
  canvas->GetBrush()->SetColor(clFuchsia);
  canvas->FillRect(win::RECT{0, 0, listview::kSortGlyphWidth, listview::kSortGlyphHeight});
  canvas->GetPen()->SetColor(clBtnShadow);
  for (int row = 0; row < listview::kSortGlyphHeight; ++row) {
    // Row 0 of an up arrow is its point: one pixel, each row below two wider.
    const int half = up ? row : listview::kSortGlyphHeight - 1 - row;
    const int centre = listview::kSortGlyphWidth / 2;
    canvas->MoveTo(centre - half, row);
    canvas->LineTo(centre + half + 1, row);
  }
  bitmap->SetTransparentColor(clFuchsia);
  bitmap->SetTransparent(true);
  return bitmap;
}

}  // namespace

// ---- Sort glyphs ----

void listview::MakeSortGlyphs() {
  if (!ascending_glyph) ascending_glyph = MakeArrow(true);
  if (!descending_glyph) descending_glyph = MakeArrow(false);
}

void listview::FreeSortGlyphs() {
  ascending_glyph.reset();
  descending_glyph.reset();
}

TBitmap* listview::SortGlyph(TTouchSortDirection Direction) {
  if (Direction == esdNone) return nullptr;
  MakeSortGlyphs();
  return Direction == esdAscending ? ascending_glyph.get() : descending_glyph.get();
}

// ---- Edges ----

TTouchHeaderEdge HeaderEdgeFor(TTouchHeaderButtonStyle Style, bool Pressed, bool DropTarget) {
  constexpr win::UINT kSides = win::BF_RECT;
  switch (Style) {
    case ehbsThick:
      return Pressed ? TTouchHeaderEdge{win::EDGE_RAISED, kSides | win::BF_SOFT | win::BF_ADJUST | win::BF_FLAT}
                     : TTouchHeaderEdge{win::EDGE_RAISED, kSides | win::BF_SOFT | win::BF_ADJUST};
    case ehbsFlat:
      return Pressed ? TTouchHeaderEdge{win::BDR_SUNKENOUTER, kSides | win::BF_ADJUST}
                     : TTouchHeaderEdge{win::BDR_RAISEDINNER, kSides | win::BF_ADJUST};
    case ehbsPlate:
      if (Pressed) return {win::BDR_SUNKENOUTER, kSides | win::BF_ADJUST};
      if (DropTarget) return {win::BDR_RAISEDINNER, kSides | win::BF_ADJUST};
      return {win::BDR_RAISEDINNER, kSides | win::BF_SOFT | win::BF_ADJUST};
    case ehbsThemed:
      break;
  }
  // The themed style without themes, which this platform never has.
  return Pressed ? TTouchHeaderEdge{win::BDR_SUNKENOUTER, kSides | win::BF_ADJUST}
                 : TTouchHeaderEdge{win::BDR_RAISEDINNER, kSides | win::BF_SOFT | win::BF_ADJUST};
}

// ---- Rectangles ----

void TTouchViewColumn::PrepareCanvas(TTouchColumn*, TCanvas* ACanvas) {
  if (TCustomTouchListview* control = GetOwnerListview()) ACanvas->SetFont(control->GetHeader()->GetFont());
}

void TTouchViewColumn::ItemRects(TTouchColumn* Column, TCanvas* ACanvas, TTouchRectArrayObject& Rects) {
  TCustomTouchListview* control = GetOwnerListview();
  Rects = TTouchRectArrayObject{};
  if (control == nullptr) return;
  if (!Column->GetInitialized()) Column->SetInitialized(true);
  TTouchHeader* header = control->GetHeader();
  TTouchPaintInfoColumn* info = control->GetPaintInfoColumn();
  int image_width = 0, image_height = 0;
  ImageSizeOf(Column, header, image_width, image_height);

  win::RECT bounds = Column->GetDisplayRect();
  win::InflateRect(&bounds, -2, -2);
  Rects.BoundsRect = bounds;

  Rects.CheckRect = {bounds.left, bounds.top, bounds.left, bounds.bottom};
  if (Column->GetCheckType() != ectNone) {
    const win::SIZE box = common::TCommonCheckBoundManager::Add(control, Column->GetCheckSize());
    Rects.CheckRect = CentredVertically(bounds, bounds.left + Column->GetCheckIndent(), box.cx, box.cy);
  }
  win::RECT label{Rects.CheckRect.right, bounds.top, bounds.right, bounds.bottom};
  if (Column->GetImageIndex() >= 0)
    PlaceImage(info->GetImagePosition(), bounds, Rects.CheckRect, image_width, image_height, Column->GetImageIndent(),
               Column->GetCaptionIndent(), Rects.IconRect, label);

  const TTouchSortDirection direction = Column->GetSortDirection();
  const TTouchSortGlyphAlign glyph_align = info->GetSortGlyphAlign();
  if (direction != esdNone) {
    const int glyph_room = info->GetSortGlyphIndent() + listview::kSortGlyphWidth;
    const int glyph_left = glyph_align == esgaLeft ? label.left : label.right - listview::kSortGlyphWidth;
    Rects.SortRect = CentredVertically(label, glyph_left, listview::kSortGlyphWidth, listview::kSortGlyphHeight);
    (glyph_align == esgaLeft ? label.left += glyph_room : label.right -= glyph_room);
  }
  Rects.LabelRect = label;

  const WideString caption = Column->GetCaption();
  if (!caption.empty()) {
    win::RECT text{label.left + Column->GetCaptionIndent(), label.top, label.right, label.bottom};
    win::InflateRect(&text, -2, -2);
    const win::RECT area = text;
    if (ACanvas) {
      PrepareCanvas(Column, ACanvas);
      const int lines = info->GetCaptionLines();
      const unsigned flags = common::dtWordBreak | common::dtTop | AlignmentFlag(Column->GetAlignment()) |
                             common::dtCalcRect | common::dtCalcRectAdjR | common::dtCalcRectAlign |
                             (lines == 1 ? common::dtSingleLine : 0u);
      common::DrawCaptionText(ACanvas->GetHandle(), caption, text, lines, flags);
      text.bottom = std::min(text.bottom, area.bottom);
      // The block keeps its height and moves down for bottom or centred alignment.
      int shift = 0;
      if (Column->GetVAlignment() == cvaBottom) shift = area.bottom - text.bottom;
      if (Column->GetVAlignment() == cvaCenter) shift = (Height(area) - Height(text)) / 2;
      win::OffsetRect(&text, 0, shift);
    }
    Rects.TextRect = text;
    Rects.TextRects.assign(1, text);
    // A right glyph follows the caption; a left one, or one beside no caption, stays put.
    if (direction != esdNone && glyph_align == esgaRight && !IsEmpty(text))
      win::OffsetRect(&Rects.SortRect, text.right - Rects.SortRect.left, 0);
  }
}

void TTouchViewColumn::MeasureCaption(TTouchColumn* Column, TCanvas* ACanvas, win::RECT& Rect) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return;
  std::unique_ptr<TControlCanvas> temporary;
  if (ACanvas == nullptr) {
    temporary = std::make_unique<TControlCanvas>(control);
    ACanvas = temporary.get();
  }
  PrepareCanvas(Column, ACanvas);
  const unsigned vertical = Column->GetVAlignment() == cvaBottom   ? common::dtBottom
                            : Column->GetVAlignment() == cvaCenter ? common::dtVCenter
                                                                   : common::dtTop;
  const unsigned flags = AlignmentFlag(Column->GetAlignment()) | vertical | common::dtSingleLine | common::dtCalcRect |
                         common::dtCalcRectAdjR;
  common::DrawCaptionText(ACanvas->GetHandle(), Column->GetCaption(), Rect, 1, flags);
}

// ---- Painting ----

void TTouchViewColumn::Paint(TTouchColumn* Column, TCanvas* ACanvas, bool) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || ACanvas == nullptr) return;
  TTouchCanvasStore* store = CanvasStore();
  store->StoreCanvas(ACanvas);
  TTouchRectArrayObject rects;
  ItemRects(Column, ACanvas, rects);
  const win::HDC dc = ACanvas->GetHandle();
  const int saved = win::SaveDC(dc);
  // The edges lie outside the bounds: the whole cell is drawn into.
  const win::RECT& cell = Column->GetDisplayRect();
  win::IntersectClipRect(dc, cell.left, cell.top, cell.right, cell.bottom);
  PaintBackground(Column, ACanvas, rects);
  PaintImage(Column, ACanvas, rects);
  PaintText(Column, ACanvas, rects, control->GetPaintInfoColumn()->GetCaptionLines());
  PaintSortGlyph(Column, ACanvas, rects);
  PaintCheckBox(Column, ACanvas, rects);
  PaintDropMark(Column, ACanvas, rects);
  listview::RestoreCanvasDC(ACanvas, saved);
  store->RestoreCanvas(ACanvas);
}

void TTouchViewColumn::PaintBackground(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject&) {
  TCustomTouchListview* control = GetOwnerListview();
  TTouchPaintInfoColumn* info = control->GetPaintInfoColumn();
  win::RECT cell = Column->GetDisplayRect();
  ACanvas->GetBrush()->SetStyle(bsSolid);
  ACanvas->GetBrush()->SetColor(info->GetColor());
  ACanvas->FillRect(cell);
  const TTouchHeaderEdge edge = HeaderEdgeFor(info->GetStyle(), Column->GetClicking(), Column->GetDropTarget());
  win::DrawEdge(ACanvas->GetHandle(), &cell, edge.Edge, edge.Flags);
}

void TTouchViewColumn::PaintImage(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects) {
  TCustomTouchListview* control = GetOwnerListview();
  if (Column->ImageDrawIsCustom(nullptr)) {
    Column->ImageDraw(nullptr, ACanvas, Rects, listview::SharedAlphaBlender());
    return;
  }
  TCustomImageList* images = control->GetHeader()->GetImages();
  const int index = Column->GetImageIndex();
  if (images == nullptr || index <= -1) return;
  win::UINT style = win::ILD_TRANSPARENT;
  if (const int overlay = Column->GetImageOverlayIndex(); overlay >= 0) {
    win::ImageList_SetOverlayImage(images->GetHandle(), overlay, 1);
    style |= win::INDEXTOOVERLAYMASK(1);
  }
  const win::RECT& r = Rects.IconRect;
  win::ImageList_DrawEx(images->GetHandle(), index, ACanvas->GetHandle(), r.left + (Width(r) - images->GetWidth()) / 2,
                        r.top + (Height(r) - images->GetHeight()) / 2, 0, 0, win::CLR_NONE, win::CLR_NONE, style);
}

void TTouchViewColumn::PaintText(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects,
                                 int LinesToDraw) {
  if (IsEmpty(Rects.TextRect)) return;
  TCustomTouchListview* control = GetOwnerListview();
  ACanvas->GetBrush()->SetStyle(bsClear);
  PrepareCanvas(Column, ACanvas);
  if (Column->GetBold()) ACanvas->GetFont()->SetStyle(ACanvas->GetFont()->GetStyle() + TFontStyles{fsBold});
  control->DoColumnPaintText(Column, ACanvas);
  const unsigned flags = common::dtEndEllipsis | common::dtTop | AlignmentFlag(Column->GetAlignment()) |
                         (LinesToDraw == 1 ? common::dtSingleLine : common::dtWordBreak);
  for (win::RECT line : Rects.TextRects)
    common::DrawCaptionText(ACanvas->GetHandle(), Column->GetCaption(), line, LinesToDraw, flags);
}

void TTouchViewColumn::PaintSortGlyph(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects) {
  if (TBitmap* glyph = listview::SortGlyph(Column->GetSortDirection()))
    ACanvas->Draw(Rects.SortRect.left, Rects.SortRect.top, glyph);
}

void TTouchViewColumn::PaintCheckBox(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects) {
  DrawCheckBox(Column->GetCheckType(), Rects.CheckRect, ACanvas, Column->GetChecked(), Column->GetEnabled(),
               Column->GetCheckHovering(), false, Column->GetCheckFlat());
}

void TTouchViewColumn::PaintDropMark(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject&) {
  if (!Column->GetDropMark()) return;
  const win::RECT& cell = Column->GetDisplayRect();
  ACanvas->GetBrush()->SetStyle(bsSolid);
  ACanvas->GetBrush()->SetColor(listview::kDropMarkColor);
  ACanvas->FillRect(win::RECT{cell.right - 2, cell.top, cell.right, cell.bottom});
}

}  // namespace dashtune
