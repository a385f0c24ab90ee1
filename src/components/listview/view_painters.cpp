#include "components/listview/view_painters.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "classlib/imagelist.h"
#include "components/listview/common/common_objects.h"
#include "components/listview/common/common_utilities.h"
#include "components/listview/listview.h"
#include "components/listview/rect_helpers.h"
#include "platform/gdi/gdi.h"

namespace dashtune {

namespace {

using listview::CentredVertically;
using listview::Height;
using listview::Inflated;
using listview::IsEmpty;
using listview::Union;
using listview::Width;

bool ValidColumn(TTouchColumn* column) { return column == nullptr || column->GetPosition() >= 0; }

win::RECT CheckBoxBelow(TTouchItem* item, TCustomTouchListview* control, const win::RECT& bounds, int top) {
  if (item->GetCheckType() == ectNone) return {bounds.left, top, bounds.left, bounds.bottom};
  const win::SIZE box = common::TCommonCheckBoundManager::Add(control, item->GetCheckSize());
  const int left = bounds.left + item->GetCheckIndent();
  return {left, top, left + box.cx, top + box.cy};
}

}  // namespace

// ---- Icon ----

int TTouchViewIconItem::CaptionLines(TTouchItem* Item, TTouchColumn*) {
  TCustomTouchListview* control = GetOwnerListview();
  return Item->GetFocused() && control && control->Focused() ? ShowableCaptionLines() : 2;
}

void TTouchViewIconItem::SelectionRectHook(TTouchItem*, win::RECT& Rect) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control && control->GetSelection()->GetFullCellPaint()) win::InflateRect(&Rect, -2, -2);
}

void TTouchViewIconItem::ItemRects(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas,
                                   TTouchRectArrayObject& Rects) {
  if (!Item->GetInitialized()) Item->SetInitialized(true);
  Rects = TTouchRectArrayObject{};
  if (!ValidColumn(Column)) return;
  TCustomTouchListview* control = GetOwnerListview();
  int image_width = 0, image_height = 0;
  ImageSize(Item, Column, image_width, image_height);

  win::RECT bounds = Item->GetDisplayRect();
  bounds.left += 1;
  Rects.BoundsRect = bounds;
  const int image_left = bounds.left + (Width(bounds) - image_width) / 2;
  Rects.IconRect = {image_left, bounds.top + 2, image_left + image_width, bounds.top + 2 + image_height + 4};
  Rects.CheckRect = CheckBoxBelow(Item, control, bounds, Rects.IconRect.bottom + 1);
  if (Item->GetCheckType() == ectNone) Rects.CheckRect.top = Rects.IconRect.bottom;
  Rects.LabelRect = {Rects.CheckRect.right, Rects.IconRect.bottom + 1, bounds.right, bounds.bottom};
  Rects.TextRect = Rects.FocusChangeInvalidRect = Inflated(Rects.LabelRect, -2);
  if (ACanvas) {
    MeasureCaption(Item, Column, ACanvas, -1, Rects.FocusChangeInvalidRect);
    MeasureCaption(Item, Column, ACanvas, 2, Rects.TextRect);
  }
  Rects.TextRects.assign(1, Rects.TextRect);
  Rects.FullTextRect = Inflated(Rects.TextRect, 2);
  Rects.SelectionRect = Inflated(Rects.FocusChangeInvalidRect, 2);
  Rects.IconBandRect = Rects.ShortTextRect = Union(Rects.IconRect, Rects.TextRect);
  Rects.FullFocusSelRect = Union(Rects.IconRect, Rects.SelectionRect);
  Rects.ClickSelectBoundsRect = Rects.DragSelectBoundsRect = Rects.FullFocusSelRect;
}

// ---- Small icon, list, report, grid ----

int TTouchViewSmallIconItem::CaptionAlignment(TTouchItem*, TTouchColumn* Column) {
  if (Column == nullptr) return 0;
  switch (Column->GetAlignment()) {
    case taRightJustify: return 1;
    case taCenter: return 2;
    default: return 0;
  }
}

unsigned TTouchViewSmallIconItem::VAlignmentFlag(TTouchColumn* Column) {
  if (Column == nullptr) return common::dtVCenter;
  switch (Column->GetVAlignment()) {
    case cvaTop: return common::dtTop;
    case cvaBottom: return common::dtBottom;
    default: return common::dtVCenter;
  }
}

win::RECT TTouchViewSmallIconItem::TextHitRect(TTouchItem*, const TTouchRectArrayObject& Rects) {
  win::RECT rect = Union(Rects.IconRect, Rects.TextRect);
  rect.top = Rects.BoundsRect.top;
  rect.bottom = Rects.BoundsRect.bottom;
  return rect;
}

void TTouchViewSmallIconItem::ItemRects(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas,
                                        TTouchRectArrayObject& Rects) {
  if (!Item->GetInitialized()) Item->SetInitialized(true);
  Rects = TTouchRectArrayObject{};
  if (!ValidColumn(Column)) return;
  TCustomTouchListview* control = GetOwnerListview();
  const int column = Column ? Column->GetIndex() : 0;
  const win::RECT bounds = CellRect(Item, Column);
  Rects.BoundsRect = bounds;

  const bool first_column = Column == nullptr || Column->GetPosition() == 0;
  Rects.CheckRect = {bounds.left, bounds.top, bounds.left, bounds.bottom};
  if (first_column && Item->GetCheckType() != ectNone) {
    const win::SIZE box = common::TCommonCheckBoundManager::Add(control, Item->GetCheckSize());
    Rects.CheckRect = CentredVertically(bounds, bounds.left + Item->GetCheckIndent(), box.cx, box.cy);
  }
  TCustomImageList* states = ImageListFor(Column, Item, 2);
  Rects.StateRect = {Rects.CheckRect.right, bounds.top, Rects.CheckRect.right, bounds.bottom};
  if (ShowStateImage() && states && Item->GetStateImageIndexes(column) >= 0)
    Rects.StateRect = CentredVertically(bounds, Rects.CheckRect.right + Item->GetImageIndent(), states->GetWidth(),
                                        states->GetHeight());
  int image_width = 0, image_height = 0;
  ImageSize(Item, Column, image_width, image_height);
  Rects.IconRect = {Rects.StateRect.right, bounds.top, Rects.StateRect.right, bounds.bottom};
  if (Item->GetImageIndexes(column) >= 0)
    Rects.IconRect = CentredVertically(bounds, Rects.StateRect.right + Item->GetImageIndent(), image_width, image_height);
  const int label_left = Rects.IconRect.right + Item->GetCaptionIndent();
  if (label_left <= bounds.right - 2) Rects.LabelRect = {label_left, bounds.top, bounds.right, bounds.bottom};

  if (!IsEmpty(Rects.LabelRect)) {
    const win::RECT area = Inflated(Rects.LabelRect, -2);
    win::RECT measured = area;
    if (ACanvas) MeasureCaption(Item, Column, ACanvas, 1, measured);
    const int width = std::min(Width(measured), Width(area)), height = std::min(Height(measured), Height(area));
    int left = area.left + (Width(area) - width) / 2;
    const int alignment = CaptionAlignment(Item, Column);
    if (alignment == 0) left = area.left;
    if (alignment == 1) left = area.right - width;
    const int top = area.top + (Height(area) - height) / 2;
    Rects.TextRect = {left, top, left + width, top + height};
  }
  Rects.TextRects.assign(1, Rects.TextRect);
  Rects.FocusChangeInvalidRect = Rects.TextRect;
  // A row without text (no room for a label) has no text areas to grow.
  Rects.FullTextRect = Rects.SelectionRect = IsEmpty(Rects.TextRect) ? Rects.TextRect : Inflated(Rects.TextRect, 2);
  Rects.IconBandRect = Union(Rects.IconRect, Rects.FullTextRect);
  Rects.ShortTextRect = Rects.IconBandRect;
  const int narrow = static_cast<int>(std::lround(Width(Rects.IconBandRect) * 0.15));
  Rects.ShortTextRect.left += narrow;
  Rects.ShortTextRect.right -= narrow;
  Rects.FullFocusSelRect = Union(Rects.IconRect, Rects.FocusChangeInvalidRect);
  Rects.ClickSelectBoundsRect = Rects.DragSelectBoundsRect = Rects.FullFocusSelRect;
}

// ---- Report ----

bool TTouchViewReportItem::FullRowRule() {
  TCustomTouchListview* control = GetOwnerListview();
  return control && control->GetSelection()->GetFullRowSelect();
}

win::RECT TTouchViewReportItem::FullRowRect(TTouchItem* Item) {
  const TTouchGroup* group = Item->GetOwnerGroup();
  win::RECT row = Item->GetDisplayRect();
  row.left = group ? group->GetDisplayRect().left + group->MarginLeftSize() : row.left;
  return row;
}

void TTouchViewReportItem::SelectionRectHook(TTouchItem* Item, win::RECT& Rect) {
  if (!FullRowRule()) return;
  const win::RECT row = FullRowRect(Item);
  Rect.left = row.left;
  Rect.right = row.right;
}

win::RECT TTouchViewReportItem::CellRect(TTouchItem* Item, TTouchColumn* Column) {
  win::RECT cell = Item->GetDisplayRect();
  if (Column == nullptr) return cell;
  const TTouchGroup* group = Item->GetOwnerGroup();
  const win::RECT& header_cell = Column->GetDisplayRect();
  cell.left = header_cell.left;
  cell.right = header_cell.right;
  TCustomTouchListview* control = GetOwnerListview();
  if (group && Column->GetPosition() == 0) cell.left = group->MarginLeftSize();
  if (group && control && control->GetHeader()->LastVisibleColumn() == Column) cell.right -= group->MarginRightSize();
  return cell;
}

bool TTouchViewReportItem::SelectionHit(TTouchItem* Item, const win::RECT& Rect) {
  if (!Item->GetEnabled() || IsEmpty(Rect)) return false;
  TTouchRectArrayObject rects;
  TCustomTouchListview* control = GetOwnerListview();
  ItemRects(Item, nullptr, control ? control->GetCanvas() : nullptr, rects);
  win::RECT meeting{};
  if (win::IntersectRect(&meeting, &Rect, &rects.SelectionRect)) return true;
  const win::RECT row = FullRowRect(Item);
  return FullRowRule() && win::IntersectRect(&meeting, &Rect, &row);
}

bool TTouchViewReportItem::SelectionHitPoint(TTouchItem* Item, win::POINT Point) {
  return SelectionHit(Item, {Point.x, Point.y, Point.x + 1, Point.y + 1});
}

bool TTouchViewReportItem::PointInText(TTouchItem* Item, win::POINT ViewportPoint) {
  if (!FullRowRule()) return TTouchViewSmallIconItem::PointInText(Item, ViewportPoint);
  if (!Item->GetSelected()) return false;
  TTouchRectArrayObject rects;
  TCustomTouchListview* control = GetOwnerListview();
  ItemRects(Item, nullptr, control ? control->GetCanvas() : nullptr, rects);
  win::RECT row = rects.SelectionRect;
  SelectionRectHook(Item, row);
  const win::RECT area = Union(rects.SelectionRect, row);
  return win::PtInRect(&area, ViewportPoint) != 0;
}

// ---- Thumbnail and film strip ----

int TTouchViewThumbnailItem::CaptionLines(TTouchItem* Item, TTouchColumn*) {
  TCustomTouchListview* control = GetOwnerListview();
  return Item->GetFocused() && control && control->Focused() ? ShowableCaptionLines() : 2;
}

unsigned TTouchViewThumbnailItem::VAlignmentFlag(TTouchColumn*) { return common::dtVCenter; }

win::RECT TTouchViewThumbnailItem::TextHitRect(TTouchItem* Item, const TTouchRectArrayObject& Rects) {
  win::RECT rect = TTouchViewItem::TextHitRect(Item, Rects);
  rect.top = Rects.IconRect.bottom;
  return rect;
}

void TTouchViewThumbnailItem::ItemRects(TTouchItem* Item, TTouchColumn* Column, TCanvas*,
                                        TTouchRectArrayObject& Rects) {
  if (!Item->GetInitialized()) Item->SetInitialized(true);
  Rects = TTouchRectArrayObject{};
  TCustomTouchListview* control = GetOwnerListview();
  if (!ValidColumn(Column) || control == nullptr) return;
  const bool hide_caption = control->GetPaintInfoItem()->GetHideCaption();
  win::RECT bounds = Item->GetDisplayRect();
  win::InflateRect(&bounds, -Item->GetBorder(), -Item->GetBorder());
  Rects.BoundsRect = Rects.IconRect = bounds;
  // Measuring happens on a canvas of its own, so that the thumbnail's layout needs no paint.
  std::unique_ptr<TControlCanvas> measuring;
  if (control->HandleAllocated()) {
    measuring = std::make_unique<TControlCanvas>(control);
    measuring->SetFont(control->GetFont());
  }
  if (!hide_caption && measuring) Rects.IconRect.bottom -= 2 * measuring->TextHeight("Wg");
  Rects.CheckRect = CheckBoxBelow(Item, control, bounds, Rects.IconRect.bottom + 1);
  if (Item->GetCheckType() == ectNone) Rects.CheckRect.top = Rects.IconRect.bottom;
  if (hide_caption) {
    Rects.FullTextRect = Rects.SelectionRect = Rects.FullFocusSelRect = Rects.IconRect;
    Rects.IconBandRect = Rects.ShortTextRect = Rects.IconRect;
  } else {
    Rects.LabelRect = {Rects.CheckRect.right + Item->GetCaptionIndent(), Rects.IconRect.bottom + 1, bounds.right,
                       bounds.bottom};
    Rects.TextRect = Rects.FocusChangeInvalidRect = Inflated(Rects.LabelRect, -2);
    if (measuring) {
      MeasureCaption(Item, Column, measuring.get(), -1, Rects.FocusChangeInvalidRect);
      MeasureCaption(Item, Column, measuring.get(), 2, Rects.TextRect);
    }
    Rects.TextRects.assign(1, Rects.TextRect);
    Rects.FullTextRect = Inflated(Rects.TextRect, 2);
    Rects.SelectionRect = Inflated(Rects.FocusChangeInvalidRect, 2);
    Rects.FullFocusSelRect = Union(Rects.IconRect, Rects.SelectionRect);
    Rects.IconBandRect = Union(Rects.IconRect, Item->GetFocused() ? Rects.SelectionRect : Rects.FullTextRect);
    Rects.ShortTextRect = Rects.TextRect;
  }
  Rects.ClickSelectBoundsRect = Rects.DragSelectBoundsRect = Rects.FullFocusSelRect;
}

void TTouchViewThumbnailItem::PaintAfter(TTouchItem* Item, TTouchColumn*, TCanvas* ACanvas,
                                         const TTouchRectArrayObject& Rects) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || !Item->GetPaintInfo() || !Item->GetPaintInfo()->GetShowBorder()) return;
  TTouchSelectionManager* selection = control->GetSelection();
  ACanvas->GetBrush()->SetStyle(bsSolid);
  win::RECT frame = Rects.IconRect;
  if ((Item->GetSelected() || Item->GetDropTarget()) && !selection->GetGradient()) {
    const bool active = control->Focused() || Item->GetDropTarget();
    ACanvas->GetBrush()->SetColor(active ? selection->GetColor() : selection->GetInactiveColor());
    for (int ring = 0; ring < 3; ++ring) {
      ACanvas->FrameRect(frame);
      win::InflateRect(&frame, -1, -1);
    }
  } else {
    ACanvas->GetBrush()->SetColor(Item->GetBorderColor());
    ACanvas->FrameRect(frame);
  }
}

}  // namespace dashtune
