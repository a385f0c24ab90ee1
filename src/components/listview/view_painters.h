// The item painters of the views other than the tile view: icon, small icon (with list, report
// and grid below it), thumbnail (with film strip below it). They share TTouchViewItem's painting
// and differ in a few decisions and in where they put an item's parts in its cell.
#pragma once

#include "components/listview/view_items.h"

namespace dashtune {

// A large image centred at the top of the cell, the caption in up to two lines below it (all
// lines for the focused item while the control has the focus).
class TTouchViewIconItem : public TTouchViewItem {
 public:
  using TTouchViewItem::TTouchViewItem;
  int ImageSizeKind() override { return 1; }
  int CaptionLines(TTouchItem* Item, TTouchColumn* Column) override;
  void SelectionRectHook(TTouchItem* Item, win::RECT& Rect) override;
  bool PaintBefore(TTouchItem*, TTouchColumn*, TCanvas*, const TTouchRectArrayObject&) override { return false; }
  void ItemRects(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, TTouchRectArrayObject& Rects) override;
};

// One line: check box, state image, small image and caption side by side, the caption aligned
// as its column says.
class TTouchViewSmallIconItem : public TTouchViewItem {
 public:
  using TTouchViewItem::TTouchViewItem;
  bool ShowStateImage() override { return true; }
  int ImageSizeKind() override { return 0; }
  int CaptionAlignment(TTouchItem* Item, TTouchColumn* Column) override;
  int CaptionLines(TTouchItem*, TTouchColumn*) override { return 1; }
  unsigned VAlignmentFlag(TTouchColumn* Column) override;
  win::RECT ImageHitRect(const TTouchRectArrayObject&) override { return {}; }
  win::RECT TextHitRect(TTouchItem* Item, const TTouchRectArrayObject& Rects) override;
  bool PaintBefore(TTouchItem*, TTouchColumn*, TCanvas*, const TTouchRectArrayObject&) override { return false; }
  void ItemRects(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, TTouchRectArrayObject& Rects) override;
};

class TTouchViewListItem : public TTouchViewSmallIconItem {
 public:
  using TTouchViewSmallIconItem::TTouchViewSmallIconItem;
};

// A row of cells, one per header column; with FullRowSelect a selected row is hit and
// highlighted across its width.
class TTouchViewReportItem : public TTouchViewSmallIconItem {
 public:
  using TTouchViewSmallIconItem::TTouchViewSmallIconItem;
  bool PaintsColumns() override { return true; }
  bool FullRowRule() override;
  void SelectionRectHook(TTouchItem* Item, win::RECT& Rect) override;
  // The item's row narrowed to the column: the first column starts at the group's left margin,
  // the last ends the group's right margin before its right edge.
  win::RECT CellRect(TTouchItem* Item, TTouchColumn* Column) override;
  // Enabled items with a non-empty area: the area meets the selection rectangle, or else the
  // full-row rectangle.
  bool SelectionHit(TTouchItem* Item, const win::RECT& Rect) override;
  bool SelectionHitPoint(TTouchItem* Item, win::POINT Point) override;
  // With FullRowSelect only a selected item is hit, anywhere in its selection rectangle or in
  // that rectangle widened across the row.
  bool PointInText(TTouchItem* Item, win::POINT ViewportPoint) override;

 private:
  // The row's highlight from the group's left margin to the item's right edge.
  win::RECT FullRowRect(TTouchItem* Item);
};

class TTouchViewGridItem : public TTouchViewSmallIconItem {
 public:
  using TTouchViewSmallIconItem::TTouchViewSmallIconItem;
};

// A picture filling the cell above two caption lines (or the whole cell with HideCaption),
// framed after painting.
class TTouchViewThumbnailItem : public TTouchViewItem {
 public:
  using TTouchViewItem::TTouchViewItem;
  int ImageSizeKind() override { return 2; }
  int CaptionLines(TTouchItem* Item, TTouchColumn* Column) override;
  unsigned VAlignmentFlag(TTouchColumn*) override;
  void SelectionRectHook(TTouchItem*, win::RECT& Rect) override { win::InflateRect(&Rect, -2, -2); }
  win::RECT TextHitRect(TTouchItem* Item, const TTouchRectArrayObject& Rects) override;
  bool PaintBefore(TTouchItem*, TTouchColumn*, TCanvas*, const TTouchRectArrayObject&) override { return false; }
  void PaintAfter(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects) override;
  void ItemRects(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, TTouchRectArrayObject& Rects) override;
};

class TTouchViewFilmStripItem : public TTouchViewThumbnailItem {
 public:
  using TTouchViewThumbnailItem::TTouchViewThumbnailItem;
};

}  // namespace dashtune
