// Item painters: where the parts of an item lie inside its cell (check box, image, caption and
// detail lines, focus and selection areas) and how they are drawn. TTouchViewItem holds the
// shared painting; TTouchViewTileItem lays out the tile view: the image at the left of a wide
// cell and, to its right, the caption with detail lines below it. Also the canvas store and the
// check-box drawing the painters share, and the alpha blender handed to custom image drawing.
#pragma once

#include <memory>
#include <vector>

#include "components/listview/collection.h"
#include "components/listview/support.h"
#include "platform/gdi/gdi.h"

namespace dashtune {

// Saves a canvas's pen, brush and font and puts them back.
class TTouchCanvasStore : public TObject {
 public:
  void StoreCanvas(TCanvas* Canvas);
  void RestoreCanvas(TCanvas* Canvas);

 private:
  std::unique_ptr<TBrush> brush_;
  std::unique_ptr<TFont> font_;
  std::unique_ptr<TPen> pen_;
};

// Base of the item, group and column painters: a canvas store made on first use.
class TTouchOwnedPersistentView : public TTouchOwnedPersistent {
 public:
  using TTouchOwnedPersistent::TTouchOwnedPersistent;
  TTouchCanvasStore* CanvasStore();
  // Draws a check box or radio button (other check types draw nothing) in its state.
  void DrawCheckBox(TTouchCheckType CheckType, const win::RECT& Rect, TCanvas* ACanvas, bool Checked, bool Enabled,
                    bool Hot, bool Pressed, bool Flat);

 private:
  std::unique_ptr<TTouchCanvasStore> canvas_store_;
};

// One rectangle set per header column: the parts of a report row.
using TTouchRectArrayObjectArray = std::vector<TTouchRectArrayObject>;

namespace listview {
// Sizes List to the control's columns (their count in the header's positions list), new entries
// zeroed; with no columns (or no control) List holds one zeroed entry.
void SizeRectArrayToColumns(TCustomTouchListview* Control, TTouchRectArrayObjectArray& List);
}  // namespace listview

// What ItemRect answers.
enum TTouchRectKind : int {
  ekrBounds, ekrIcon, ekrLabel, ekrIconBand, ekrShortText, ekrText, ekrFocusChange
};

// The painter of an item for one view; the base lays every part over the whole bounds.
class TTouchViewItem : public TTouchOwnedPersistentView {
 public:
  explicit TTouchViewItem(TCustomTouchListview* AOwner) : TTouchOwnedPersistentView(AOwner) {}

  virtual bool ShowStateImage() { return false; }
  virtual void SelectionRectHook(TTouchItem*, win::RECT&) {}
  virtual bool FullRowRule() { return false; }
  // Whether the control paints the item once per header column.
  virtual bool PaintsColumns() { return false; }
  // Kind 0: the item's image list for ImageSizeKind (extra large falls back to large); kind 2:
  // its state image list.
  virtual TCustomImageList* ImageListFor(TTouchColumn* Column, TTouchItem* Item, int Kind);
  virtual void ImageSize(TTouchItem* Item, TTouchColumn* Column, int& Width, int& Height);
  void ItemRect(TTouchItem* Item, TTouchColumn* Column, win::RECT& Rect, TTouchRectKind Kind);
  virtual void ItemRects(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, TTouchRectArrayObject& Rects);
  virtual void PrepareCanvas(TTouchItem* Item, TTouchColumn* Column, bool SelectedLook, TCanvas* ACanvas, int Position);
  // Paints a visible item: selection, image, text, focus rectangle, check box.
  virtual void PaintItem(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, bool ForceSelectionRect);
  virtual bool PaintBefore(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects);
  virtual void PaintAfter(TTouchItem*, TTouchColumn*, TCanvas*, const TTouchRectArrayObject&) {}
  virtual void PaintCheckBox(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects);
  virtual void PaintFocusRect(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects);
  virtual void PaintImage(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects);
  virtual void PaintSelectionRect(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas,
                                  const TTouchRectArrayObject& Rects, bool ForceSelectionRect);
  virtual void PaintText(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects,
                         int LinesToDraw);
  virtual int ImageSizeKind() { return 0; }
  // 0 left, 1 right, 2 centred.
  virtual int CaptionAlignment(TTouchItem*, TTouchColumn*) { return 2; }
  virtual int CaptionLines(TTouchItem* Item, TTouchColumn* Column);
  // The caption's vertical text flag (dtTop, dtBottom or dtVCenter).
  virtual unsigned VAlignmentFlag(TTouchColumn*) { return 0x0010; }
  virtual win::RECT ImageHitRect(const TTouchRectArrayObject& Rects) { return Rects.IconRect; }
  // The focus-change rectangle of the focused item while the control has the focus, else the
  // text rectangle.
  virtual win::RECT TextHitRect(TTouchItem* Item, const TTouchRectArrayObject& Rects);
  // The item's cell for a column (the whole display rectangle here).
  virtual win::RECT CellRect(TTouchItem* Item, TTouchColumn* Column);
  // Whether a point lies in the text of an enabled item (in the header's first column).
  virtual bool PointInText(TTouchItem* Item, win::POINT ViewportPoint);
  // 1 above the cell or level with it and to its left, -1 below or to its right, 0 inside.
  int ComparePoint(TTouchItem* Item, win::POINT ViewportPoint);
  // One zeroed rectangle set per column of the header, for a report row.
  virtual void SizeRectArray(TTouchRectArrayObjectArray& List) {
    listview::SizeRectArrayToColumns(GetOwnerListview(), List);
  }
  virtual bool SelectionHit(TTouchItem* Item, const win::RECT& Rect);
  virtual bool SelectionHitPoint(TTouchItem* Item, win::POINT Point);

 protected:
  // The caption of a column (the item's caption without a column).
  static WideString CaptionOf(TTouchItem* Item, TTouchColumn* Column);
  // The text flags a caption is measured and drawn with: word breaking, end ellipsis,
  // alignment, vertical alignment, single line for one line.
  unsigned CaptionFlags(TTouchItem* Item, TTouchColumn* Column, int Lines);
  // Measures the caption of a column into Rect (its left, top and right given) in Lines lines
  // (-1: ShowableCaptionLines) with the flags it is drawn with, so that the lines measured are
  // the lines drawn; an empty caption measures as one blank.
  void MeasureCaption(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, int Lines, win::RECT& Rect);
  // The lines a caption without a line limit takes at most: as many as the client area shows (at
  // least two), so that a caption of any length costs no more than a screenful.
  int ShowableCaptionLines();
  // Fills the rectangles that follow from the text, image and bounds rectangles.
  static void DeriveRects(TTouchRectArrayObject& Rects);
  bool SelectedLook(TTouchItem* Item, TTouchColumn* Column);
  // Offers the thumbnail (the image rectangle inside the border) to the item's own drawing;
  // answers whether the image is still to be drawn.
  bool DrawsThumbnailDefault(TTouchItem* Item, TCanvas* ACanvas, const TTouchRectArrayObject& Rects);
  // Whether the in-place editor edits the item's caption shown in Column (in report view only
  // that column's; in the others any column of the item).
  bool Editing(TTouchItem* Item, TTouchColumn* Column);
};

class TTouchViewTileItem : public TTouchViewItem {
 public:
  using TTouchViewItem::TTouchViewItem;

  int ImageSizeKind() override { return 2; }
  int CaptionAlignment(TTouchItem*, TTouchColumn*) override { return 0; }
  void SelectionRectHook(TTouchItem*, win::RECT& Rect) override { win::InflateRect(&Rect, -2, -2); }
  win::RECT ImageHitRect(const TTouchRectArrayObject&) override { return {}; }
  win::RECT TextHitRect(TTouchItem* Item, const TTouchRectArrayObject& Rects) override;
  void ItemRects(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, TTouchRectArrayObject& Rects) override;
  void PaintText(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& Rects,
                 int LinesToDraw) override;
  bool PaintBefore(TTouchItem*, TTouchColumn*, TCanvas*, const TTouchRectArrayObject&) override { return false; }

 private:
  // The flags of a tile's text lines, measured and drawn alike: end ellipsis, top, left.
  static unsigned LineFlags(int Lines);
  // Measures one line's text into Line (its left, top and right given) with Lines lines.
  void MeasureLine(TTouchItem* Item, TCanvas* ACanvas, const WideString& Text, int Position, int Lines, win::RECT& Line);
};

}  // namespace dashtune
