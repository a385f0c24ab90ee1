// The header cell painter: where a column's check box, image, caption and sort glyph lie in its
// header cell, and how the cell is drawn (classic edges per button style, the drop mark of a
// header drag). Also the sort glyphs the painter draws.
#pragma once

#include "components/listview/view_items.h"

namespace dashtune {

class TBitmap;

class TTouchViewColumn : public TTouchOwnedPersistentView {
 public:
  using TTouchOwnedPersistentView::TTouchOwnedPersistentView;

  // The rectangles of the column's cell parts, in view coordinates; SortRect holds the glyph.
  virtual void ItemRects(TTouchColumn* Column, TCanvas* ACanvas, TTouchRectArrayObject& Rects);
  // The canvas font becomes the header's font.
  virtual void PrepareCanvas(TTouchColumn* Column, TCanvas* ACanvas);
  // Paints the cell; Mirrored only matters to themed drawing, which this platform lacks.
  virtual void Paint(TTouchColumn* Column, TCanvas* ACanvas, bool Mirrored);
  virtual void PaintBackground(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects);
  virtual void PaintImage(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects);
  virtual void PaintText(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects, int LinesToDraw);
  virtual void PaintSortGlyph(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects);
  virtual void PaintCheckBox(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects);
  virtual void PaintDropMark(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects);
  // The caption measured as one line with the column's alignments; without a canvas a
  // temporary one of the control is used.
  void MeasureCaption(TTouchColumn* Column, TCanvas* ACanvas, win::RECT& Rect);
  // One zeroed rectangle set per column of the header.
  virtual void SizeRectArray(TTouchRectArrayObjectArray& List) {
    listview::SizeRectArrayToColumns(GetOwnerListview(), List);
  }
};

// The edge and DrawEdge flags the classic header draws for a style and state.
struct TTouchHeaderEdge {
  win::UINT Edge;
  win::UINT Flags;
};
TTouchHeaderEdge HeaderEdgeFor(TTouchHeaderButtonStyle Style, bool Pressed, bool DropTarget);

namespace listview {
// The sort glyphs: small arrows, ascending pointing up, descending pointing down, drawn in the
// button shadow colour on a transparent ground.
inline constexpr int kSortGlyphWidth = 9;
inline constexpr int kSortGlyphHeight = 5;
TBitmap* SortGlyph(TTouchSortDirection Direction);
// Made at the list view unit's start (and on first use before it); freed at its end.
void MakeSortGlyphs();
void FreeSortGlyphs();
// The colour of the drop mark (red 0, green 0, blue 255 on screen).
inline constexpr TColor kDropMarkColor = static_cast<TColor>(0xFF0000);
}  // namespace listview

}  // namespace dashtune
