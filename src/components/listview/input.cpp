// The list view's input away from the header: presses, releases and moves over items (check
// boxes, focus, selection, hot tracking, the item mouse events, a click that begins an edit), the
// wheel, the keys that move the focus, and the repaint when the control gains or loses the focus.
#include <memory>

#include "components/listview/common/common_utilities.h"
#include "components/listview/grid_layout.h"
#include "components/listview/listview.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/timers.h"
#include "platform/user/virtual_keys.h"

namespace dashtune {

namespace {

// One notch of the wheel.
constexpr int kWheelDelta = 120;
// The control's timer that begins an armed edit.
constexpr win::UINT_PTR kArmedEditTimer = 1;

bool OnCaption(TTouchItemHitTestInfoSet hit) { return hit.Contains(ehtOnLabel) || hit.Contains(ehtOnText); }

bool HitsTrackedPart(TTouchHotTrackRectItems track, TTouchItemHitTestInfoSet hit) {
  if (track.Contains(htiAnyWhere)) return true;
  if (track.Contains(htiIcon) && hit.Contains(ehtOnIcon)) return true;
  return track.Contains(htiText) && (hit.Contains(ehtOnText) || hit.Contains(ehtOnLabel));
}

// Whether the last layout gave the item a cell: only such an item has neighbours to move to.
bool Placed(const TTouchItem* item) {
  return item->GetVisible() && item->GetOwnerGroup()->GetVisible() && item->GetVisibleIndexInGroup() >= 0;
}

// The first or last item the layout placed, in display order; nullptr when it placed none.
TTouchItem* EndPlacedItem(const TTouchGroups* groups, bool last) {
  const TTouchVisibleMembers shown = groups->GetVisibleList();
  for (int i = 0; i < shown.GetCount(); ++i) {
    const auto* group = static_cast<const TTouchGroup*>(shown.Get(last ? shown.GetCount() - 1 - i : i));
    const TTouchVisibleMembers items = group->GetVisibleItems();
    if (items.GetCount() > 0) return static_cast<TTouchItem*>(last ? items.Last() : items.First());
  }
  return nullptr;
}

}  // namespace

TTouchItem* TCustomTouchListview::ItemUnder(win::POINT WindowPoint, TTouchItemHitTestInfoSet& HitInfo) const {
  HitInfo = {};
  const win::POINT view = scrollbars_->MapWindowToView(WindowPoint);
  TTouchItem* item = groups_->ItemAtPoint(view);
  if (item == nullptr) return nullptr;
  item->HitTestAt(view, HitInfo);
  return item;
}

void TCustomTouchListview::FocusAndSelect(TTouchItem* Item) {
  Item->SetFocused(true);
  if (!selection_->GetEnabled()) return;
  if (!Item->GetSelected() || selection_->GetCount() > 1) selection_->ClearAll();
  Item->SetSelected(true);
}

void TCustomTouchListview::ItemMouseDown(TMouseButton Button, TShiftState Shift, win::POINT WindowPoint) {
  TTouchItemHitTestInfoSet hit;
  TTouchItem* item = ItemUnder(WindowPoint, hit);
  press_ = ItemPress{};
  if (item == nullptr || hit.Empty()) return;
  const bool double_click = Shift.Contains(ssDouble);
  press_ = ItemPress{item, Button, double_click, false, item->GetFocused()};
  if (Button == mbLeft && hit.Contains(ehtOnCheck) && item->GetEnabled()) {
    press_.on_check = true;
    hot_track_->SetCheckHoverObject(nullptr);
    check_manager_->SetPendingObject(item);
  } else if (!double_click && Button != mbMiddle) {
    FocusAndSelect(item);
    drag_manager_->MouseDown(Button, WindowPoint);
  }
  // A handler above may have freed the item.
  if (press_.item == nullptr) return;
  DoItemMouseDown(item, Button, Shift, WindowPoint.x, WindowPoint.y);
  if (double_click && press_.item != nullptr) DoItemDblClick(item, Button, Shift, WindowPoint);
}

void TCustomTouchListview::ItemMouseMove(TShiftState Shift, win::POINT WindowPoint) {
  if (press_.item != nullptr && !press_.on_check) {
    win::DWORD keys = 0;
    if (Shift.Contains(ssShift)) keys |= win::MK_SHIFT;
    if (Shift.Contains(ssCtrl)) keys |= win::MK_CONTROL;
    const std::weak_ptr<const void> lifetime = Lifetime();
    if (drag_manager_->MouseMove(WindowPoint, keys)) {
      if (lifetime.expired()) return;
      // The drag took the release: the press is over.
      press_ = ItemPress{};
      if (drag_manager_->GetDragType() == edtOLE && GetMouseCapture()) SetMouseCapture(false);
      return;
    }
  }
  if (press_.on_check && press_.item != nullptr) {
    TTouchItemHitTestInfoSet hit;
    const bool over_own_box = ItemUnder(WindowPoint, hit) == press_.item && hit.Contains(ehtOnCheck);
    // A pressed box shows hot while the pointer is off it.
    press_.item->SetCheckHovering(!over_own_box);
    return;
  }
  TrackHotItem(WindowPoint);
}

void TCustomTouchListview::TrackHotItem(win::POINT WindowPoint) {
  TTouchItemHitTestInfoSet hit;
  TTouchItem* item = ItemUnder(WindowPoint, hit);
  const win::RECT client = GetClientRect();
  if (!win::PtInRect(&client, WindowPoint)) item = nullptr;  // the capture brings moves from outside
  TTouchItem* hot = hot_track_->GetEnabled() && item && HitsTrackedPart(hot_track_->GetItemTrack(), hit) ? item : nullptr;
  hot_track_->SetHotObject(hot, WindowPoint);
  hot_track_->SetCheckHoverObject(item && hit.Contains(ehtOnCheck) ? item : nullptr);
}

void TCustomTouchListview::ItemMouseUp(TMouseButton Button, TShiftState Shift, win::POINT WindowPoint) {
  const ItemPress press = press_;
  if (Button != press.button) return;
  press_ = ItemPress{};
  drag_manager_->MouseUp();
  TTouchItemHitTestInfoSet hit;
  TTouchItem* item = ItemUnder(WindowPoint, hit);
  if (hit.Empty()) item = nullptr;
  if (press.on_check) {
    check_manager_->SetPendingObject(nullptr);
    if (press.item == nullptr) return;
    press.item->SetCheckHovering(false);
    if (item == press.item && hit.Contains(ehtOnCheck)) press.item->SetChecked(!press.item->GetChecked());
    return;
  }
  if (item == nullptr) return;
  // The click needs the item still there after the mouse-up handler.
  press_.item = item;
  DoItemMouseUp(item, Button, Shift, WindowPoint.x, WindowPoint.y);
  const bool still_there = press_.item == item;
  press_ = ItemPress{};
  if (!still_there || item != press.item || press.double_click) return;
  const bool edits = Button == mbLeft && press.was_focused && OnCaption(hit) && edit_manager_->GetEnabled();
  // The click handler may free the item or the control.
  if (edits) armed_edit_ = item;
  const std::weak_ptr<const void> lifetime = Lifetime();
  DoItemClick(item, Button, Shift, WindowPoint);
  if (lifetime.expired() || !edits) return;
  if (armed_edit_ == item) ArmEdit(item);
}

void TCustomTouchListview::ArmEdit(TTouchItem* Item) {
  armed_edit_ = Item;
  if (!HandleAllocated() || win::SetTimer(GetHandle(), kArmedEditTimer, win::GetDoubleClickTime(), nullptr) == 0)
    armed_edit_ = nullptr;
}

void TCustomTouchListview::DisarmEdit() {
  if (armed_edit_ == nullptr) return;
  armed_edit_ = nullptr;
  if (HandleAllocated()) win::KillTimer(GetHandle(), kArmedEditTimer);
}

void TCustomTouchListview::BeginArmedEdit() {
  TTouchItem* item = armed_edit_;
  DisarmEdit();
  if (item != nullptr && item->GetFocused() && edit_manager_->GetEnabled()) edit_manager_->BeginEdit(item);
}

void TCustomTouchListview::WndProc(TMessage& Message) {
  if (Message.Msg == win::WM_TIMER && Message.WParam == kArmedEditTimer) {
    BeginArmedEdit();
    return;
  }
  TCustomControl::WndProc(Message);
}

void TCustomTouchListview::DoEnter() {
  common::SafeInvalidateRect(this, nullptr, false);
  TCustomControl::DoEnter();
}

void TCustomTouchListview::DoExit() {
  common::SafeInvalidateRect(this, nullptr, false);
  TCustomControl::DoExit();
}

bool TCustomTouchListview::DoMouseWheel(TShiftState Shift, int WheelDelta, win::POINT MousePos) {
  DisarmEdit();
  if (TCustomControl::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
  wheel_rest_ += WheelDelta;
  const int notches = wheel_rest_ / kWheelDelta;
  wheel_rest_ %= kWheelDelta;
  if (notches == 0) return true;
  const TTouchCellSize* cell = cell_sizes_->ForView(view_);
  // Turning the wheel away from the user scrolls towards the start.
  if (wheel_mouse_default_scroll_ == edwsVert)
    scrollbars_->SetOffsetY(scrollbars_->GetOffsetY() - notches * cell->GetHeight());
  else
    scrollbars_->SetOffsetX(scrollbars_->GetOffsetX() - notches * cell->GetWidth());
  return true;
}

bool TCustomTouchListview::MoveFocusByKey(std::uint16_t Key) {
  TTouchAdjacentCellDir direction;
  switch (Key) {
    case win::VK_LEFT: direction = acdLeft; break;
    case win::VK_RIGHT: direction = acdRight; break;
    case win::VK_UP: direction = acdUp; break;
    case win::VK_DOWN: direction = acdDown; break;
    case win::VK_PRIOR: direction = acdPageUp; break;
    case win::VK_NEXT: direction = acdPageDown; break;
    case win::VK_HOME:
    case win::VK_END: {
      TTouchItem* target = EndPlacedItem(groups_.get(), Key == win::VK_END);
      if (target == nullptr) return true;
      FocusAndSelect(target);
      if (selection_->GetFocusedItem() == target) target->MakeVisible(3);
      return true;
    }
    default:
      return false;
  }
  TTouchItem* from = selection_->GetFocusedItem();
  TTouchItem* target = nullptr;
  if (from == nullptr || !Placed(from))
    target = EndPlacedItem(groups_.get(), false);
  else if (TTouchGridGroup* grid = from->GetOwnerGroup()->GetGrid())
    target = grid->AdjacentItem(from, direction);
  if (target == nullptr) return true;
  FocusAndSelect(target);
  if (selection_->GetFocusedItem() == target) target->MakeVisible(3);
  return true;
}

void TCustomTouchListview::KeyDown(std::uint16_t& Key, TShiftState Shift) {
  DisarmEdit();
  TCustomControl::KeyDown(Key, Shift);
  if (Key == 0) return;
  if (MoveFocusByKey(Key))
    Key = 0;
  else
    incremental_search_->KeyDown(Key, Shift);
}

void TCustomTouchListview::KeyPress(char& Key) {
  TCustomControl::KeyPress(Key);
  if (Key != 0) incremental_search_->KeyPress(Key);
}

}  // namespace dashtune
