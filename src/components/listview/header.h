// The column header bar: owns the columns, lays out their cells in header order, spreads a
// resize of the control over its spring columns, paints the cells and turns mouse input on the
// bar into clicks, check-box toggles, resizing, dragging and sorting.
#pragma once

#include <memory>

#include "components/listview/drag_managers.h"
#include "components/listview/groups.h"

namespace dashtune {

class TTouchHeader;
class TTouchViewColumn;

// Bits of the header's mouse state.
enum TTouchHeaderMouseState : std::uint16_t {
  ehmsCaptured = 0x0001,
  ehmsResizing = 0x0002,
  ehmsDragging = 0x0004,
  ehmsDragPending = 0x0008,
  ehmsClickPending = 0x0010,
  ehmsCheckPressed = 0x0020,
  ehmsOverResizeBorder = 0x0040,
  ehmsLeftButton = 0x0080,
  ehmsRightButton = 0x0100,
};

class TTouchHeader : public TTouchOwnedPersistent {
 public:
  explicit TTouchHeader(TCustomTouchListview* AOwner);
  ~TTouchHeader() override;

  TColor GetColor() const { return color_; }
  void SetColor(TColor Value);
  TTouchColumns* GetColumns() const { return columns_.get(); }
  bool GetDraggable() const { return drag_manager_->GetEnabled(); }
  void SetDraggable(bool Value) { drag_manager_->SetEnabled(Value); }
  TTouchHeaderDragManager* GetDragManager() const { return drag_manager_.get(); }
  bool GetFixedSingleColumn() const { return fixed_single_column_; }
  // True: one column as wide as the client less one pixel; False: no column. Either clears the
  // columns, on a change only.
  void SetFixedSingleColumn(bool Value);
  TFont* GetFont() const { return font_.get(); }
  void SetFont(TFont* Value) { font_->Assign(Value); }
  // The height while the header shows (RuntimeHeight), else 0. Asked by every item's
  // invalidation: defined inline in listview.h, where the control is complete.
  inline int GetHeight() const;
  int GetStoredHeight() const { return height_; }
  // Negatives become 0; a change lays the control out anew.
  void SetHeight(int Value);
  TCustomImageList* GetImages() const { return images_; }
  void SetImages(TCustomImageList* Value);
  bool GetShowInAllViews() const { return show_in_all_views_; }
  void SetShowInAllViews(bool Value);
  bool GetSizeable() const { return sizeable_; }
  void SetSizeable(bool Value) { sizeable_ = Value; }
  bool GetVisible() const { return visible_; }
  void SetVisible(bool Value);

  // The union of the header cells, at least as wide as the client area.
  const win::RECT& GetViewRect() const { return view_rect_; }
  // The sum of the visible columns' widths.
  int TotalWidth() const;
  // The right edge of the last column in header order (0 without columns).
  int ColumnsWidth() const;
  // The columns in header order.
  TTouchColumn* FirstColumn() const;
  TTouchColumn* LastColumn() const;
  TTouchColumn* FirstVisibleColumn() const;
  TTouchColumn* LastVisibleColumn() const;
  // The columns in collection order; next and previous skip hidden columns.
  TTouchColumn* FirstColumnByIndex() const;
  TTouchColumn* LastColumnByIndex() const;
  TTouchColumn* NextColumn(TTouchColumn* Column) const;
  TTouchColumn* PrevColumn(TTouchColumn* Column) const;
  // The first visible column whose header cell meets ViewRect, and the next such after Column.
  TTouchColumn* FirstColumnInRect(const win::RECT& ViewRect) const;
  TTouchColumn* NextColumnInRect(TTouchColumn* Column, const win::RECT& ViewRect) const;
  TTouchColumn* HotColumn() const { return hot_column_; }
  TTouchColumn* PressedColumn() const { return pressed_column_; }
  std::uint16_t GetMouseState() const { return mouse_state_; }

  // Hit tests of a client point (the horizontal scroll offset is added).
  TTouchColumn* ColumnAt(win::POINT WindowPoint) const;
  TTouchColumn* CheckBoxAt(win::POINT WindowPoint);
  TTouchColumn* ClickableColumnAt(win::POINT WindowPoint) const;
  TTouchColumn* HotColumnAt(win::POINT WindowPoint) const;
  TTouchColumn* ResizeColumnAt(win::POINT WindowPoint) const;

  // Lays out the header cells (without Force: not while the invalidation lock is held, while the
  // control loads or without a window).
  void Rebuild(bool Force);
  // Spreads a change of the client width over the columns.
  void ClientWidthChanged(int NewClientWidth);
  // Paints the visible columns whose cells meet Rect (header coordinates) after the control's
  // background hook.
  void PaintTo(TCanvas* ACanvas, const win::RECT& Rect);
  // Repaints the whole control (nothing while its invalidation lock is held).
  void Invalidate(bool ImmediateUpdate);
  void Forget(TTouchCollectionItem* Object);
  // The painter of the header cells (made on first use).
  TTouchViewColumn* GetPainter();

  void LoadFromStream(TStream* S);
  void SaveToStream(TStream* S);

  // Mouse input on the bar, in client coordinates.
  void LeftButtonDown(TShiftState Shift, int X, int Y);
  void MouseMove(TShiftState Shift, int X, int Y);
  void LeftButtonUp(TShiftState Shift, int X, int Y);
  void DoubleClick(TMouseButton Button, TShiftState Shift, int X, int Y);
  void RightButtonDown(TShiftState Shift, int X, int Y);
  void RightButtonUp(TShiftState Shift, int X, int Y);

 private:
  void LayoutChanged();
  void FontChanged();
  bool Has(std::uint16_t bit) const { return (mouse_state_ & bit) != 0; }
  void SetState(std::uint16_t bit, bool on) { mouse_state_ = on ? (mouse_state_ | bit) : (mouse_state_ & ~bit); }
  void CaptureMouse(bool Capture);
  void UpdateHotColumn(win::POINT WindowPoint);
  void ShowSplitCursor(bool Show);
  void SpreadOverSprings(int Change);
  void ClickColumn(TTouchColumn* Column);
  // Starts dragging the pressed column; the drag has ended when this returns (the release went
  // to the drag), so the press ends here too.
  void DragPressedColumn(TShiftState Shift);
  win::POINT ToView(win::POINT WindowPoint) const;

  TColor color_ = clBtnFace;
  std::unique_ptr<TTouchColumns> columns_;
  std::unique_ptr<TTouchHeaderDragManager> drag_manager_;
  std::unique_ptr<TFont> font_;
  std::unique_ptr<TTouchViewColumn> painter_;
  bool fixed_single_column_ = false;
  int height_ = 21;
  TCustomImageList* images_ = nullptr;  // not owned
  bool show_in_all_views_ = false;
  bool sizeable_ = true;
  bool visible_ = false;
  win::RECT view_rect_{};
  int client_width_ = -1;
  TTouchColumn* hot_column_ = nullptr;      // not owned
  TTouchColumn* pressed_column_ = nullptr;  // not owned
  TTouchColumn* resize_column_ = nullptr;   // not owned
  TTouchColumn* check_column_ = nullptr;    // not owned: the column whose check box is under the pointer
  win::POINT down_point_{};
  std::uint16_t mouse_state_ = 0;
};

}  // namespace dashtune
