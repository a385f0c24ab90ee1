#include "components/listview/header.h"

#include <algorithm>
#include <cmath>

#include "classlib/imagelist.h"
#include "components/listview/common/common_utilities.h"
#include "components/listview/header_painter.h"
#include "components/listview/listview.h"
#include "components/listview/rect_helpers.h"
#include "components/listview/sort.h"
#include "platform/gdi/gdi.h"
#include "platform/user/messages.h"
#include "platform/user/system_metrics.h"

namespace dashtune {

namespace {

// How near a column's right edge the pointer resizes it.
constexpr int kResizeBorder = 4;
// How far right of its cell a column stays hot.
constexpr int kHotTrackSlack = 5;

TTouchColumn* ColumnOf(const TList& list, int index) { return static_cast<TTouchColumn*>(list.Get(index)); }

}  // namespace

// ---- Properties ----

TTouchHeader::TTouchHeader(TCustomTouchListview* AOwner)
    : TTouchOwnedPersistent(AOwner),
      columns_(std::make_unique<TTouchColumns>(AOwner)),
      drag_manager_(std::make_unique<TTouchHeaderDragManager>(AOwner)),
      font_(std::make_unique<TFont>()) {
  drag_manager_->SetHeader(this);
  font_->OnChange = [this](TObject*) { FontChanged(); };
}

TTouchHeader::~TTouchHeader() { font_->OnChange = nullptr; }

void TTouchHeader::FontChanged() {
  if (TCustomTouchListview* control = GetOwnerListview()) control->SetParentFont(false);
  Invalidate(false);
}

void TTouchHeader::SetColor(TColor Value) {
  if (color_ == Value) return;
  color_ = Value;
  Invalidate(false);
}

void TTouchHeader::SetHeight(int Value) {
  Value = std::max(Value, 0);
  if (height_ == Value) return;
  height_ = Value;
  LayoutChanged();
}

void TTouchHeader::SetVisible(bool Value) {
  if (visible_ == Value) return;
  visible_ = Value;
  LayoutChanged();
}

void TTouchHeader::SetShowInAllViews(bool Value) {
  if (show_in_all_views_ == Value) return;
  show_in_all_views_ = Value;
  LayoutChanged();
}

void TTouchHeader::SetImages(TCustomImageList* Value) {
  if (images_ == Value) return;
  images_ = Value;
  if (TCustomTouchListview* control = GetOwnerListview()) common::SafeInvalidateRect(control, nullptr, false);
}

void TTouchHeader::SetFixedSingleColumn(bool Value) {
  if (fixed_single_column_ == Value) return;
  fixed_single_column_ = Value;
  columns_->Clear(true);
  if (!Value) return;
  TCustomTouchListview* control = GetOwnerListview();
  TTouchColumn* column = columns_->AddColumn();
  column->StoreWidth(control ? control->GetClientWidth() - 1 : 0);
  LayoutChanged();
}

void TTouchHeader::LayoutChanged() {
  if (TCustomTouchListview* control = GetOwnerListview()) {
    control->GetGroups()->Rebuild(false);
    common::SafeInvalidateRect(control, nullptr, false);
  }
}

void TTouchHeader::Invalidate(bool ImmediateUpdate) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || control->GetInvalidateLockCount() > 0) return;
  common::SafeInvalidateRect(control, nullptr, ImmediateUpdate);
}

void TTouchHeader::Forget(TTouchCollectionItem* Object) {
  if (hot_column_ == Object) hot_column_ = nullptr;
  if (pressed_column_ == Object) pressed_column_ = nullptr;
  if (resize_column_ == Object) resize_column_ = nullptr;
  if (check_column_ == Object) check_column_ = nullptr;
  drag_manager_->Forget(Object);
}

TTouchViewColumn* TTouchHeader::GetPainter() {
  if (!painter_) painter_ = std::make_unique<TTouchViewColumn>(GetOwnerListview());
  return painter_.get();
}

void TTouchHeader::LoadFromStream(TStream* S) { columns_->LoadFromStream(S); }
void TTouchHeader::SaveToStream(TStream* S) { columns_->SaveToStream(S); }

// ---- Columns and cells ----

int TTouchHeader::TotalWidth() const {
  int width = 0;
  const TList& positions = columns_->GetPositions();
  for (int i = 0; i < positions.GetCount(); ++i)
    if (ColumnOf(positions, i)->GetVisible()) width += ColumnOf(positions, i)->GetWidth();
  return width;
}

int TTouchHeader::ColumnsWidth() const {
  const TTouchColumn* last = LastColumn();
  return last ? last->GetDisplayRect().right : 0;
}

TTouchColumn* TTouchHeader::FirstColumn() const {
  const TList& positions = columns_->GetPositions();
  return positions.GetCount() > 0 ? ColumnOf(positions, 0) : nullptr;
}

TTouchColumn* TTouchHeader::LastColumn() const {
  const TList& positions = columns_->GetPositions();
  return positions.GetCount() > 0 ? ColumnOf(positions, positions.GetCount() - 1) : nullptr;
}

TTouchColumn* TTouchHeader::FirstVisibleColumn() const {
  const TList& positions = columns_->GetPositions();
  for (int i = 0; i < positions.GetCount(); ++i)
    if (ColumnOf(positions, i)->GetVisible()) return ColumnOf(positions, i);
  return nullptr;
}

TTouchColumn* TTouchHeader::LastVisibleColumn() const {
  const TList& positions = columns_->GetPositions();
  for (int i = positions.GetCount() - 1; i >= 0; --i)
    if (ColumnOf(positions, i)->GetVisible()) return ColumnOf(positions, i);
  return nullptr;
}

TTouchColumn* TTouchHeader::FirstColumnByIndex() const {
  return columns_->GetCount() > 0 ? columns_->GetColumn(0) : nullptr;
}

TTouchColumn* TTouchHeader::LastColumnByIndex() const {
  return columns_->GetCount() > 0 ? columns_->GetColumn(columns_->GetCount() - 1) : nullptr;
}

namespace {
// The column's place in its collection: the cached Index when it still names it, else a search.
int IndexIn(const TTouchColumns& columns, TTouchColumn* column) {
  const int index = column->GetIndex();
  if (index >= 0 && index < columns.GetCount() && columns.GetColumn(index) == column) return index;
  return columns.GetList().IndexOf(column);
}
}  // namespace

TTouchColumn* TTouchHeader::NextColumn(TTouchColumn* Column) const {
  if (Column == nullptr) return nullptr;
  const int index = IndexIn(*columns_, Column);
  for (int i = index + 1; index >= 0 && i < columns_->GetCount(); ++i)
    if (columns_->GetColumn(i)->GetVisible()) return columns_->GetColumn(i);
  return nullptr;
}

TTouchColumn* TTouchHeader::PrevColumn(TTouchColumn* Column) const {
  if (Column == nullptr) return nullptr;
  for (int i = IndexIn(*columns_, Column) - 1; i >= 0; --i)
    if (columns_->GetColumn(i)->GetVisible()) return columns_->GetColumn(i);
  return nullptr;
}

namespace {
bool Meets(TTouchColumn* column, const win::RECT& rect) {
  win::RECT meeting{};
  return column->GetVisible() && win::IntersectRect(&meeting, &column->GetDisplayRect(), &rect);
}
}  // namespace

TTouchColumn* TTouchHeader::FirstColumnInRect(const win::RECT& ViewRect) const {
  TTouchColumn* column = FirstColumnByIndex();
  return column == nullptr || Meets(column, ViewRect) ? column : NextColumnInRect(column, ViewRect);
}

TTouchColumn* TTouchHeader::NextColumnInRect(TTouchColumn* Column, const win::RECT& ViewRect) const {
  for (Column = NextColumn(Column); Column && !Meets(Column, ViewRect); Column = NextColumn(Column)) {
  }
  return Column;
}

void TTouchHeader::Rebuild(bool Force) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return;
  if (!Force && (control->GetInvalidateLockCount() > 0 || control->GetComponentState().Contains(csLoading) ||
                 !control->HandleAllocated()))
    return;
  columns_->StartVisibleList();
  for (int i = 0; i < columns_->GetCount(); ++i) {
    TTouchColumn* column = columns_->GetColumn(i);
    column->SetVisibleIndex(column->GetVisible() ? columns_->AddVisible(column) : -1);
  }
  // Cells follow one another in header order; a hidden column keeps a zero-width cell.
  const TList& positions = columns_->GetPositions();
  int left = 0;
  view_rect_ = {};
  for (int i = 0; i < positions.GetCount(); ++i) {
    TTouchColumn* column = ColumnOf(positions, i);
    const int width = column->GetVisible() ? column->GetWidth() : 0;
    column->SetDisplayRect({left, 0, left + width, height_});
    win::UnionRect(&view_rect_, &view_rect_, &column->GetDisplayRect());
    left += width;
  }
  view_rect_.right = std::max<int>(view_rect_.right, control->GetClientWidth());
  view_rect_.bottom = std::max<int>(view_rect_.bottom, height_);
}

void TTouchHeader::ClientWidthChanged(int NewClientWidth) {
  if (client_width_ < 0) {
    client_width_ = NewClientWidth;
    return;
  }
  const int change = NewClientWidth - client_width_;
  client_width_ = NewClientWidth;
  if (fixed_single_column_) {
    if (TTouchColumn* first = FirstColumn()) first->StoreWidth(NewClientWidth - 1);
  } else if (change != 0) {
    SpreadOverSprings(change);
  }
}

void TTouchHeader::SpreadOverSprings(int Change) {
  std::vector<TTouchColumn*> springs;
  for (int i = 0; i < columns_->GetCount(); ++i) {
    TTouchColumn* column = columns_->GetColumn(i);
    if (column->GetVisible() && column->GetAutoSpring()) springs.push_back(column);
  }
  if (springs.empty()) return;
  const int sign = Change > 0 ? 1 : -1;
  int remaining = std::abs(Change);
  const double share = static_cast<double>(remaining) / static_cast<double>(springs.size());
  // Each column takes its share with the fraction it kept from before, in whole pixels, until
  // exactly the change is spread; a shrinking column stops at width 0.
  while (remaining > 0) {
    bool any_can_change = false;
    for (TTouchColumn* column : springs) {
      if (remaining == 0) break;
      const int room = sign > 0 ? remaining : std::min(remaining, column->GetWidth());
      if (room > 0) any_can_change = true;
      const double owed = column->GetSpringFraction() + share;
      const int whole = static_cast<int>(std::floor(owed));
      column->SetSpringFraction(owed - whole);
      const int applied = std::min(whole, room);
      column->StoreWidth(column->GetWidth() + sign * applied);
      remaining -= applied;
    }
    if (!any_can_change) break;
  }
}

// ---- Hit tests ----

win::POINT TTouchHeader::ToView(win::POINT WindowPoint) const {
  const TCustomTouchListview* control = GetOwnerListview();
  return {WindowPoint.x + (control ? control->GetScrollbars()->GetOffsetX() : 0), WindowPoint.y};
}

TTouchColumn* TTouchHeader::ColumnAt(win::POINT WindowPoint) const {
  const win::POINT point = ToView(WindowPoint);
  const TList& positions = columns_->GetPositions();
  int left = 0;
  for (int i = 0; i < positions.GetCount(); ++i) {
    TTouchColumn* column = ColumnOf(positions, i);
    if (!column->GetVisible()) continue;
    if (point.x >= left && point.x < left + column->GetWidth()) return column;
    left += column->GetWidth();
  }
  return nullptr;
}

TTouchColumn* TTouchHeader::CheckBoxAt(win::POINT WindowPoint) {
  TTouchColumn* column = ColumnAt(WindowPoint);
  if (column == nullptr || column->GetCheckType() == ectNone) return nullptr;
  TTouchRectArrayObject rects;
  TCustomTouchListview* control = GetOwnerListview();
  GetPainter()->ItemRects(column, control->GetCanvas(), rects);
  return win::PtInRect(&rects.CheckRect, ToView(WindowPoint)) ? column : nullptr;
}

TTouchColumn* TTouchHeader::ClickableColumnAt(win::POINT WindowPoint) const {
  const win::POINT point = ToView(WindowPoint);
  const TList& positions = columns_->GetPositions();
  for (int i = positions.GetCount() - 1; i >= 0; --i) {
    TTouchColumn* column = ColumnOf(positions, i);
    if (column->GetVisible() && column->GetClickable() && win::PtInRect(&column->GetDisplayRect(), point))
      return column;
  }
  return nullptr;
}

TTouchColumn* TTouchHeader::HotColumnAt(win::POINT WindowPoint) const {
  const TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || !control->GetPaintInfoColumn()->GetHotTrack()) return nullptr;
  const win::POINT point = ToView(WindowPoint);
  const int client_right = control->GetClientWidth() + control->GetScrollbars()->GetOffsetX();
  const TList& positions = columns_->GetPositions();
  for (int i = 0; i < positions.GetCount(); ++i) {
    TTouchColumn* column = ColumnOf(positions, i);
    if (!column->GetVisible()) continue;
    win::RECT cell = column->GetDisplayRect();
    cell.right = std::min<int>(cell.right + kHotTrackSlack, client_right);
    if (win::PtInRect(&cell, point)) return column;
  }
  return nullptr;
}

TTouchColumn* TTouchHeader::ResizeColumnAt(win::POINT WindowPoint) const {
  const TCustomTouchListview* control = GetOwnerListview();
  if (!sizeable_ || control == nullptr) return nullptr;
  if (WindowPoint.y < 1 || WindowPoint.y > height_ - 1 || WindowPoint.x > control->GetClientWidth()) return nullptr;
  const win::POINT point = ToView(WindowPoint);
  const TList& positions = columns_->GetPositions();
  for (int i = positions.GetCount() - 1; i >= 0; --i) {
    TTouchColumn* column = ColumnOf(positions, i);
    if (column->GetVisible() && std::abs(point.x - column->GetDisplayRect().right) <= kResizeBorder) return column;
  }
  return nullptr;
}

// ---- Painting ----

void TTouchHeader::PaintTo(TCanvas* ACanvas, const win::RECT& Rect) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || ACanvas == nullptr) return;
  const win::HDC dc = ACanvas->GetHandle();
  const int saved = win::SaveDC(dc);
  bool handled = false;
  control->DoPaintHeaderBkGnd(ACanvas, Rect, handled);
  TTouchViewColumn* painter = GetPainter();
  for (TTouchColumn* column = FirstColumnInRect(Rect); column; column = NextColumnInRect(column, Rect)) {
    win::SelectClipRgn(ACanvas->GetHandle(), nullptr);
    painter->Paint(column, ACanvas, false);
  }
  listview::RestoreCanvasDC(ACanvas, saved);
}

// ---- Mouse ----

void TTouchHeader::CaptureMouse(bool Capture) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return;
  control->SetMouseCapture(Capture);
  SetState(ehmsCaptured, Capture);
}

void TTouchHeader::UpdateHotColumn(win::POINT WindowPoint) {
  TTouchColumn* hot = HotColumnAt(WindowPoint);
  if (hot == hot_column_) return;
  if (hot_column_) hot_column_->Invalidate(false);
  hot_column_ = hot;
  if (hot_column_) hot_column_->Invalidate(false);
}

void TTouchHeader::ShowSplitCursor(bool Show) {
  if (TCustomTouchListview* control = GetOwnerListview())
    control->SetCursor(Show ? listview::crHeaderSplit : crDefault);
}

void TTouchHeader::LeftButtonDown(TShiftState Shift, int X, int Y) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return;
  const win::POINT point{X, Y};
  SetState(ehmsLeftButton, true);
  down_point_ = point;
  if (Has(ehmsOverResizeBorder) && resize_column_) {
    SetState(ehmsResizing, true);
    return;
  }
  if (TTouchColumn* checked = CheckBoxAt(point)) {
    SetState(ehmsCheckPressed, true);
    pressed_column_ = checked;
    control->GetHotTrack()->SetHotObject(nullptr, {});
    control->GetCheckManager()->SetPendingObject(checked);
    return;
  }
  TTouchColumn* column = ColumnAt(point);
  if (column == nullptr) return;
  UpdateHotColumn(point);
  CaptureMouse(true);
  if (column->GetClickable()) {
    SetState(ehmsClickPending, true);
    pressed_column_ = column;
    column->SetClicking(true);
  }
  if (GetDraggable()) SetState(ehmsDragPending, true);
  column->Invalidate(true);
  control->DoHeaderMouseDown(mbLeft, Shift, X, Y, column);
}

void TTouchHeader::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return;
  const win::POINT point{X, Y};
  if (hot_column_ && !Has(ehmsCaptured)) CaptureMouse(true);
  UpdateHotColumn(point);
  if (Has(ehmsResizing) && resize_column_) {
    // The pointer left of the cell asks for width 0, never a negative one.
    const int new_width = std::max(0, X + control->GetScrollbars()->GetOffsetX() -
                                          static_cast<int>(resize_column_->GetDisplayRect().left));
    bool allow = true;
    control->DoColumnSizeChanging(resize_column_, resize_column_->GetWidth(), new_width, allow);
    if (allow && new_width != resize_column_->GetWidth()) {
      resize_column_->StoreWidth(new_width);
      control->GetGroups()->Rebuild(true);
      Invalidate(false);
    }
    return;
  }
  if (Has(ehmsOverResizeBorder) && ResizeColumnAt(point) == nullptr) {
    resize_column_ = nullptr;
    SetState(ehmsOverResizeBorder, false);
    CaptureMouse(false);
    ShowSplitCursor(false);
  }
  if (Has(ehmsDragPending) && drag_manager_->GetEnabled() && TTouchHeaderDragManager::LeftThreshold(down_point_, point)) {
    DragPressedColumn(Shift);
    return;
  }
  if (!Has(ehmsClickPending) && !Has(ehmsCheckPressed)) {
    check_column_ = CheckBoxAt(point);
    TTouchColumn* border = ResizeColumnAt(point);
    bool allow = border != nullptr;
    if (border) control->DoColumnSizeChanging(border, border->GetWidth(), border->GetWidth(), allow);
    if (allow) {
      CaptureMouse(false);
      resize_column_ = border;
      SetState(ehmsOverResizeBorder, true);
      ShowSplitCursor(true);
      CaptureMouse(true);
    } else {
      ShowSplitCursor(false);
      control->DoHeaderMouseMove(Shift, X, Y);
    }
  }
  if (Has(ehmsCheckPressed) && pressed_column_) {
    const bool over_own_box = CheckBoxAt(point) == pressed_column_;
    pressed_column_->SetCheckHovering(!over_own_box);
  }
  TTouchColumn* hovered = CheckBoxAt(point);
  control->GetHotTrack()->SetCheckHoverObject(hovered == pressed_column_ && Has(ehmsCheckPressed) ? nullptr : hovered);
}

void TTouchHeader::ClickColumn(TTouchColumn* Column) {
  TCustomTouchListview* control = GetOwnerListview();
  if (!Column->GetAutoToggleSortGlyph()) {
    control->DoColumnClick(mbLeft, Column);
    return;
  }
  control->BeginUpdate();
  TTouchSelectionManager* selection = control->GetSelection();
  TTouchColumn* previous = selection->HasFocusedColumn() ? selection->GetFocusedColumn() : nullptr;
  selection->SetFocusedColumn(Column);
  if (previous && previous != Column) previous->SetSortDirection(esdNone);
  Column->SetSortDirection(Column->GetSortDirection() == esdAscending ? esdDescending : esdAscending);
  TTouchSortManager* sort = control->GetSort();
  if (sort->GetAutoRegroup())
    sort->Regroup(Column);
  else if (sort->GetAutoSort() || Column->GetAutoSortOnClick())
    sort->SortAll(true);
  control->EndUpdate(true);
}

void TTouchHeader::LeftButtonUp(TShiftState Shift, int X, int Y) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return;
  const win::POINT point{X, Y};
  const bool resizing = Has(ehmsResizing), dragging = Has(ehmsDragging);
  if (Has(ehmsCheckPressed)) {
    if (pressed_column_) {
      if (CheckBoxAt(point) == pressed_column_) pressed_column_->SetChecked(!pressed_column_->GetChecked());
      pressed_column_->SetCheckHovering(false);
    }
    control->GetCheckManager()->SetPendingObject(nullptr);
  } else if (resizing) {
    if (resize_column_) control->DoColumnSizeChanged(resize_column_);
  } else if (pressed_column_) {
    TTouchColumn* column = pressed_column_;
    if (!column->GetClicking() || ColumnAt(point) != column) {
      column->SetClicking(false);
      column->Invalidate(false);
    } else {
      column->SetClicking(false);
      ClickColumn(column);
    }
  }
  if (!resizing && !dragging) control->DoHeaderMouseUp(mbLeft, Shift, X, Y, ColumnAt(point));
  pressed_column_ = nullptr;
  SetState(ehmsLeftButton | ehmsResizing | ehmsClickPending | ehmsDragging | ehmsDragPending | ehmsCheckPressed,
           false);
  if (!Has(ehmsOverResizeBorder)) CaptureMouse(false);
}

void TTouchHeader::DragPressedColumn(TShiftState Shift) {
  TCustomTouchListview* control = GetOwnerListview();
  SetState(ehmsClickPending | ehmsDragPending, false);
  SetState(ehmsDragging, true);
  if (pressed_column_) {
    pressed_column_->SetClicking(false);
    pressed_column_->Invalidate(false);
  }
  drag_manager_->SetColumn(pressed_column_);
  win::DWORD keys = win::MK_LBUTTON;
  if (Shift.Contains(ssShift)) keys |= win::MK_SHIFT;
  if (Shift.Contains(ssCtrl)) keys |= win::MK_CONTROL;
  const std::weak_ptr<const void> lifetime = control->Lifetime();
  drag_manager_->BeginDrag(down_point_, keys);
  if (lifetime.expired()) return;
  // The release went to the drag (or, for the class library's dragging, goes to it).
  drag_manager_->SetColumn(nullptr);
  pressed_column_ = nullptr;
  SetState(ehmsLeftButton | ehmsClickPending | ehmsDragging | ehmsDragPending, false);
  if (!Has(ehmsOverResizeBorder) && drag_manager_->GetDragType() == edtOLE) CaptureMouse(false);
}

void TTouchHeader::DoubleClick(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return;
  if (TTouchColumn* border = ResizeColumnAt({X, Y}); border && border->GetAutoSizeOnDblClk()) border->AutoSizeToFit();
  control->DoHeaderDblClick(Button, {X, Y}, Shift);
}

void TTouchHeader::RightButtonDown(TShiftState Shift, int X, int Y) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return;
  SetState(ehmsRightButton, true);
  control->DoHeaderMouseDown(mbRight, Shift, X, Y, ColumnAt({X, Y}));
}

void TTouchHeader::RightButtonUp(TShiftState Shift, int X, int Y) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return;
  SetState(ehmsRightButton | ehmsResizing | ehmsClickPending | ehmsDragging | ehmsDragPending, false);
  control->DoHeaderMouseUp(mbRight, Shift, X, Y, ColumnAt({X, Y}));
}

}  // namespace dashtune
