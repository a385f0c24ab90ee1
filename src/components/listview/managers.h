// The control's managers as the core needs them: selection (focused item and column, the
// selected count and the selection options), check (the checked count and the pending box),
// scroll bars (offsets within the view size, view-window mappings), and the item references of
// the edit manager.
#pragma once

#include <vector>

#include "components/listview/collection.h"

namespace dashtune {

class TTouchSelectionManager : public TTouchOwnedPersistent {
 public:
  using TTouchOwnedPersistent::TTouchOwnedPersistent;

  // The switch the application turns off: while false, items cannot be selected.
  bool GetEnabled() const { return enabled_; }
  void SetEnabled(bool Value);

  TTouchItem* GetFocusedItem() const { return focused_item_; }
  // Moves the focus: the old item loses it, the new one gains it (each through its setter).
  void SetFocusedItem(TTouchItem* Value);
  // The item whose FocusGained or FocusLost ran: stores the reference only.
  void StoreFocusedItem(TTouchItem* Value) { focused_item_ = Value; }
  // The focused column: the header's first column when none is set.
  TTouchColumn* GetFocusedColumn() const;
  // Stores the column and invalidates the old and the new one.
  void SetFocusedColumn(TTouchColumn* Value);
  // Whether a column was set (the header's first column is only a fallback).
  bool HasFocusedColumn() const { return focused_column_ != nullptr; }
  // Forgets a column that is being freed.
  void ForgetColumn(TTouchColumn* Column);

  int GetCount() const { return count_; }
  // An item's selection was gained or lost: counted, and the item kept among (or taken out of)
  // the selected items.
  void AddSelected(TTouchItem* Item);
  void RemoveSelected(TTouchItem* Item);
  // Clears the selection of every item of the control, in item order; the work is proportional
  // to the selected items, not to all.
  void ClearAll();

  bool GetGroupSelections() const { return group_selections_; }
  // A change rebuilds the selection groups (or lets them go) and repaints.
  void SetGroupSelections(bool Value);
  // With GroupSelections: runs of adjacent selected items in the visible order become shared
  // selection group lists; without it every item leaves its list.
  void BuildSelectionGroupings();
  bool GetFullRowSelect() const { return full_row_select_; }
  void SetFullRowSelect(bool Value) { StoreAndRepaint(full_row_select_, Value); }
  bool GetResizeGroupOnFocus() const { return resize_group_on_focus_; }
  void SetResizeGroupOnFocus(bool Value) { resize_group_on_focus_ = Value; }
  bool GetUseFocusRect() const { return use_focus_rect_; }
  void SetUseFocusRect(bool Value) { StoreAndRepaint(use_focus_rect_, Value); }
  bool GetFullCellPaint() const { return full_cell_paint_; }
  void SetFullCellPaint(bool Value) { StoreAndRepaint(full_cell_paint_, Value); }
  bool GetFullItemPaint() const { return full_item_paint_; }
  void SetFullItemPaint(bool Value) { StoreAndRepaint(full_item_paint_, Value); }
  bool GetBlendIcon() const { return blend_icon_; }
  void SetBlendIcon(bool Value) { StoreAndRepaint(blend_icon_, Value); }
  bool GetForceDefaultBlend() const { return force_default_blend_; }
  void SetForceDefaultBlend(bool Value) { StoreAndRepaint(force_default_blend_, Value); }
  bool GetAlphaBlend() const { return alpha_blend_; }
  void SetAlphaBlend(bool Value) { StoreAndRepaint(alpha_blend_, Value); }
  bool GetGradient() const { return gradient_; }
  void SetGradient(bool Value) { StoreAndRepaint(gradient_, Value); }
  bool GetRoundRect() const { return round_rect_; }
  void SetRoundRect(bool Value) { StoreAndRepaint(round_rect_, Value); }
  int GetRoundRectRadius() const { return round_rect_radius_; }
  void SetRoundRectRadius(int Value) { StoreAndRepaint(round_rect_radius_, Value); }
  bool GetBlurAlphaBkGnd() const { return blur_alpha_bkgnd_; }
  void SetBlurAlphaBkGnd(bool Value) { StoreAndRepaint(blur_alpha_bkgnd_, Value); }
  std::uint8_t GetBlendAlphaImage() const { return blend_alpha_image_; }
  void SetBlendAlphaImage(std::uint8_t Value) { StoreAndRepaint(blend_alpha_image_, Value); }
  std::uint8_t GetBlendAlphaTextRect() const { return blend_alpha_text_rect_; }
  void SetBlendAlphaTextRect(std::uint8_t Value) { StoreAndRepaint(blend_alpha_text_rect_, Value); }
  TColor GetColor() const { return color_; }
  void SetColor(TColor Value) { StoreAndRepaint(color_, Value); }
  TColor GetTextColor() const { return text_color_; }
  void SetTextColor(TColor Value) { StoreAndRepaint(text_color_, Value); }
  TColor GetBorderColor() const { return border_color_; }
  void SetBorderColor(TColor Value) { StoreAndRepaint(border_color_, Value); }
  TColor GetInactiveColor() const { return inactive_color_; }
  void SetInactiveColor(TColor Value) { StoreAndRepaint(inactive_color_, Value); }
  TColor GetInactiveTextColor() const { return inactive_text_color_; }
  void SetInactiveTextColor(TColor Value) { StoreAndRepaint(inactive_text_color_, Value); }
  TColor GetInactiveBorderColor() const { return inactive_border_color_; }
  void SetInactiveBorderColor(TColor Value) { StoreAndRepaint(inactive_border_color_, Value); }
  TColor GetGradientColorTop() const { return gradient_color_top_; }
  void SetGradientColorTop(TColor Value) { StoreAndRepaint(gradient_color_top_, Value); }
  TColor GetGradientColorBottom() const { return gradient_color_bottom_; }
  void SetGradientColorBottom(TColor Value) { StoreAndRepaint(gradient_color_bottom_, Value); }

 private:
  template <class T>
  void StoreAndRepaint(T& field, T value) {
    if (field == value) return;
    field = value;
    Repaint();
  }
  void Repaint();
  // Puts the selected items in item order (groups in order, then items in order).
  void SortSelected();
  void RenumberSelected();
  // Appends when selected_ is full: apart, so that adding into room costs a few instructions.
  [[gnu::noinline]] void AppendGrowing(TTouchItem* Item);
  // Clears every item in item order, walking the groups' item lists.
  void ClearByWalk(TTouchGroups* groups);

  // The selected items, each knowing its place here; in no order except during ClearAll, when a
  // lost selection leaves a hole instead of moving the last item into its place.
  std::vector<TTouchItem*> selected_;
  bool clearing_ = false;
  bool enabled_ = true;
  TTouchItem* focused_item_ = nullptr;      // not owned
  TTouchColumn* focused_column_ = nullptr;  // not owned
  int count_ = 0;
  bool group_selections_ = false;
  bool full_row_select_ = false;
  bool resize_group_on_focus_ = false;
  bool use_focus_rect_ = true;
  bool full_cell_paint_ = false;
  bool full_item_paint_ = false;
  bool blend_icon_ = true;
  bool force_default_blend_ = false;
  bool alpha_blend_ = false;
  bool gradient_ = false;
  bool round_rect_ = false;
  int round_rect_radius_ = 4;
  bool blur_alpha_bkgnd_ = false;
  std::uint8_t blend_alpha_image_ = 128;
  std::uint8_t blend_alpha_text_rect_ = 128;
  TColor color_ = clHighlight;
  TColor text_color_ = clHighlightText;
  TColor border_color_ = clHighlight;
  TColor inactive_color_ = clBtnFace;
  TColor inactive_text_color_ = clWindowText;
  TColor inactive_border_color_ = clBtnFace;
  TColor gradient_color_top_ = clWindow;
  TColor gradient_color_bottom_ = clHighlight;
};

// Check boxes: the count of checked items and the box being pressed.
class TTouchCheckManager : public TTouchOwnedPersistent {
 public:
  using TTouchOwnedPersistent::TTouchOwnedPersistent;

  int GetCheckedCount() const { return checked_count_; }
  void IncCheckedCount() { ++checked_count_; }
  void DecCheckedCount() { if (checked_count_ > 0) --checked_count_; }
  TTouchCollectionItem* GetPendingObject() const { return pending_object_; }
  // The pressed box: the old member's CheckPending is cleared, the new one's set.
  void SetPendingObject(TTouchCollectionItem* Value);
  void Forget(TTouchCollectionItem* Object);

 private:
  int checked_count_ = 0;
  TTouchCollectionItem* pending_object_ = nullptr;  // not owned
};

// Scroll offsets into the view (the united rectangle of the groups).
class TTouchScrollbarManager : public TTouchOwnedPersistent {
 public:
  using TTouchOwnedPersistent::TTouchOwnedPersistent;

  int GetOffsetX() const { return offset_x_; }
  int GetOffsetY() const { return offset_y_; }
  // Clamped to 0..(view extent - client extent); a change repaints the control.
  void SetOffsetX(int Value);
  void SetOffsetY(int Value);
  const win::RECT& GetViewRect() const { return view_rect_; }
  // Takes the view's new extent and clamps the offsets to it.
  void SetViewRect(const win::RECT& Value);

  // View coordinates to window coordinates and back: the offsets subtracted or added; the view
  // starts below the header.
  win::RECT MapViewRectToWindow(const win::RECT& ViewRect) const;
  win::RECT MapWindowRectToView(const win::RECT& WindowRect) const;
  win::POINT MapWindowToView(win::POINT WindowPoint) const;
  win::POINT MapViewToWindow(win::POINT ViewPoint) const;
  // The part of the view the client area shows below the header. Every item's invalidation asks
  // it: defined inline in listview.h, where the control is complete.
  inline win::RECT ClientViewRect() const;

 private:
  int HeaderHeight() const;
  int ClampX(int value) const;
  int ClampY(int value) const;

  int offset_x_ = 0;
  int offset_y_ = 0;
  win::RECT view_rect_{};
};

}  // namespace dashtune
