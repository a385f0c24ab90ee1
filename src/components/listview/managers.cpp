#include "components/listview/managers.h"

#include <algorithm>

#include "components/listview/common/common_utilities.h"
#include "components/listview/listview.h"

namespace dashtune {

// ---- TTouchSelectionManager ----

void TTouchSelectionManager::Repaint() {
  if (GetOwnerListview()) common::SafeInvalidateRect(GetOwnerListview(), nullptr, false);
}

void TTouchSelectionManager::SetEnabled(bool Value) {
  if (enabled_ == Value) return;
  enabled_ = Value;
  if (!Value) ClearAll();
}

void TTouchSelectionManager::SetFocusedItem(TTouchItem* Value) {
  if (Value == focused_item_) return;
  if (focused_item_) focused_item_->SetFocused(false);
  if (Value) Value->SetFocused(true);
}

TTouchColumn* TTouchSelectionManager::GetFocusedColumn() const {
  if (focused_column_) return focused_column_;
  return GetOwnerListview() ? GetOwnerListview()->GetHeader()->FirstColumn() : nullptr;
}

void TTouchSelectionManager::SetFocusedColumn(TTouchColumn* Value) {
  if (Value == focused_column_) return;
  TTouchColumn* old = focused_column_;
  focused_column_ = Value;
  if (old) old->Invalidate(false);
  if (Value) Value->Invalidate(false);
}

void TTouchSelectionManager::ForgetColumn(TTouchColumn* Column) {
  if (focused_column_ == Column) focused_column_ = nullptr;
}

void TTouchSelectionManager::ClearAll() {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return;
  TTouchGroups* groups = control->GetGroups();
  for (TTouchItem* item = groups->FirstItem(); item != nullptr && count_ > 0; item = groups->NextItem(item))
    item->SetSelected(false);
}

void TTouchSelectionManager::SetGroupSelections(bool Value) {
  if (group_selections_ == Value) return;
  group_selections_ = Value;
  Repaint();
}

// ---- TTouchCheckManager ----

void TTouchCheckManager::SetPendingObject(TTouchCollectionItem* Value) {
  if (Value == pending_object_) return;
  if (pending_object_) pending_object_->SetCheckPending(false);
  pending_object_ = Value;
  if (Value) Value->SetCheckPending(true);
}

void TTouchCheckManager::Forget(TTouchCollectionItem* Object) {
  if (pending_object_ == Object) pending_object_ = nullptr;
}

// ---- TTouchScrollbarManager ----

int TTouchScrollbarManager::ClampX(int value) const {
  const TCustomTouchListview* control = GetOwnerListview();
  const int client = control ? control->GetClientWidth() : 0;
  const int extent = view_rect_.right - view_rect_.left;
  return std::clamp(value, 0, std::max(extent - client, 0));
}

int TTouchScrollbarManager::ClampY(int value) const {
  const TCustomTouchListview* control = GetOwnerListview();
  const int client = control ? control->GetClientHeight() - control->GetHeader()->GetHeight() : 0;
  const int extent = view_rect_.bottom - view_rect_.top;
  return std::clamp(value, 0, std::max(extent - client, 0));
}

void TTouchScrollbarManager::SetOffsetX(int Value) {
  Value = ClampX(Value);
  if (Value == offset_x_) return;
  offset_x_ = Value;
  if (GetOwnerListview()) common::SafeInvalidateRect(GetOwnerListview(), nullptr, false);
}

void TTouchScrollbarManager::SetOffsetY(int Value) {
  Value = ClampY(Value);
  if (Value == offset_y_) return;
  offset_y_ = Value;
  if (GetOwnerListview()) common::SafeInvalidateRect(GetOwnerListview(), nullptr, false);
}

void TTouchScrollbarManager::SetViewRect(const win::RECT& Value) {
  view_rect_ = Value;
  SetOffsetX(offset_x_);
  SetOffsetY(offset_y_);
}

win::RECT TTouchScrollbarManager::MapViewRectToWindow(const win::RECT& ViewRect) const {
  return {ViewRect.left - offset_x_, ViewRect.top - offset_y_, ViewRect.right - offset_x_, ViewRect.bottom - offset_y_};
}

win::RECT TTouchScrollbarManager::MapWindowRectToView(const win::RECT& WindowRect) const {
  return {WindowRect.left + offset_x_, WindowRect.top + offset_y_, WindowRect.right + offset_x_,
          WindowRect.bottom + offset_y_};
}

win::POINT TTouchScrollbarManager::MapWindowToView(win::POINT WindowPoint) const {
  return {WindowPoint.x + offset_x_, WindowPoint.y + offset_y_};
}

win::POINT TTouchScrollbarManager::MapViewToWindow(win::POINT ViewPoint) const {
  return {ViewPoint.x - offset_x_, ViewPoint.y - offset_y_};
}

// ---- Edit and drag references ----

void TTouchEditManager::Forget(TTouchCollectionItem* Object) {
  if (edit_item_ == Object) edit_item_ = nullptr;
  if (edit_column_ == Object) edit_column_ = nullptr;
}

void TTouchDragManager::Forget(TTouchCollectionItem* Object) {
  if (drop_target_ == Object) drop_target_ = nullptr;
}

}  // namespace dashtune

