#include "components/listview/managers.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "components/listview/common/common_utilities.h"
#include "components/listview/listview.h"
#include "components/listview/support.h"

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

void TTouchSelectionManager::AddSelected(TTouchItem* Item) {
  ++count_;
  if (Item->selected_slot_ >= 0) return;
  Item->selected_slot_ = static_cast<int>(selected_.size());
  if (selected_.size() == selected_.capacity()) {
    AppendGrowing(Item);
    return;
  }
  selected_.push_back(Item);
}

void TTouchSelectionManager::AppendGrowing(TTouchItem* Item) { selected_.push_back(Item); }

void TTouchSelectionManager::RemoveSelected(TTouchItem* Item) {
  if (count_ > 0) --count_;
  const int slot = Item->selected_slot_;
  if (slot < 0 || static_cast<std::size_t>(slot) >= selected_.size() || selected_[slot] != Item) return;
  Item->selected_slot_ = -1;
  if (clearing_) {
    selected_[slot] = nullptr;
    return;
  }
  // The last selected item takes the place; when it is the item itself, nothing moves.
  TTouchItem* last = selected_.back();
  selected_.pop_back();
  if (last == Item) return;
  selected_[slot] = last;
  last->selected_slot_ = slot;
}

void TTouchSelectionManager::RenumberSelected() {
  std::erase(selected_, nullptr);
  for (std::size_t i = 0; i < selected_.size(); ++i) selected_[i]->selected_slot_ = static_cast<int>(i);
}

namespace {
// The item's place in item order: its group's place, then its own (the cached indexes where they
// still name it).
std::uint64_t OrderKey(TTouchItem* item) {
  const auto place = [](TTouchCollectionItem* member, const TTouchCollection* collection) -> std::uint64_t {
    const int cached = member->GetIndex();
    if (cached >= 0 && cached < collection->GetCount() && collection->GetItem(cached) == member)
      return static_cast<std::uint32_t>(cached);
    return static_cast<std::uint32_t>(collection->GetList().IndexOf(member));
  };
  TTouchGroup* group = item->GetOwnerGroup();
  const std::uint64_t group_place = group && group->GetCollection() ? place(group, group->GetCollection()) : 0;
  return group_place << 32 | place(item, item->GetCollection());
}
}  // namespace

void TTouchSelectionManager::SortSelected() {
  std::erase(selected_, nullptr);  // holes of a clear that a handler interrupted with this one
  std::vector<std::pair<std::uint64_t, TTouchItem*>> keyed;
  keyed.reserve(selected_.size());
  for (TTouchItem* item : selected_) keyed.emplace_back(OrderKey(item), item);
  std::sort(keyed.begin(), keyed.end());
  for (std::size_t i = 0; i < keyed.size(); ++i) selected_[i] = keyed[i].second;
  RenumberSelected();
}

void TTouchSelectionManager::ClearByWalk(TTouchGroups* groups) {
  // By place, not by asking each item for its neighbour: a handler that adds or frees members
  // shifts the places, so a place moves on only once the member cleared there still holds it.
  for (int g = 0; g < groups->GetCount() && count_ > 0;) {
    TTouchGroup* group = groups->GetGroup(g);
    for (int i = 0; i < group->GetItemCount() && count_ > 0;) {
      TTouchItem* item = group->GetItem(i);
      item->SetSelected(false);
      if (i < group->GetItemCount() && group->GetItem(i) == item) ++i;
    }
    if (g < groups->GetCount() && groups->GetGroup(g) == group) ++g;
  }
}

void TTouchSelectionManager::ClearAll() {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || count_ == 0) return;
  TTouchGroups* groups = control->GetGroups();
  // Each lost selection leaves a hole rather than moving the last selected item (another item,
  // likely out of cache) into its place; handlers may select or free items meanwhile: a freed
  // item leaves a hole, a new one is added. The outermost clear closes the holes.
  struct ClearingScope {
    ~ClearingScope() {
      manager->clearing_ = nested;
      if (!nested) manager->RenumberSelected();
    }
    TTouchSelectionManager* manager;
    bool nested;
  } scope{this, std::exchange(clearing_, true)};
  // With most items selected a walk over all of them costs no more than sorting the selected.
  constexpr int kWalkShare = 8;
  if (count_ >= groups->ItemCount() / kWalkShare) {
    ClearByWalk(groups);
    return;
  }
  SortSelected();
  for (std::size_t i = 0; i < selected_.size() && count_ > 0; ++i)
    if (TTouchItem* item = selected_[i]) item->SetSelected(false);
}

void TTouchSelectionManager::SetGroupSelections(bool Value) {
  if (group_selections_ == Value) return;
  group_selections_ = Value;
  BuildSelectionGroupings();
  Repaint();
}

void TTouchSelectionManager::BuildSelectionGroupings() {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return;
  TTouchGroups* groups = control->GetGroups();
  for (TTouchItem* item = groups->FirstItem(); item; item = groups->NextItem(item)) item->SetSelectionGroup(nullptr);
  if (!group_selections_) return;
  const TTouchVisibleMembers visible_groups = groups->GetVisibleList();
  for (int g = 0; g < visible_groups.GetCount(); ++g) {
    const TTouchVisibleMembers items = static_cast<TTouchGroup*>(visible_groups.Get(g))->GetVisibleItems();
    TTouchSelectionGroupList* run = nullptr;  // the list of the current run of selected items
    for (int i = 0; i < items.GetCount(); ++i) {
      auto* item = static_cast<TTouchItem*>(items.Get(i));
      if (!item->GetSelected()) {
        run = nullptr;
        continue;
      }
      win::RECT united = item->GetDisplayRect();
      if (run == nullptr)
        run = new TTouchSelectionGroupList();  // freed by the last item that releases it
      else
        win::UnionRect(&united, &run->GetDisplayRect(), &united);
      run->Add(item);
      run->SetDisplayRect(united);
      item->SetSelectionGroup(run);
    }
  }
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

int TTouchScrollbarManager::HeaderHeight() const {
  const TCustomTouchListview* control = GetOwnerListview();
  return control ? control->GetHeader()->GetHeight() : 0;
}

win::POINT TTouchScrollbarManager::MapViewToWindow(win::POINT ViewPoint) const {
  return {ViewPoint.x - offset_x_, ViewPoint.y - offset_y_ + HeaderHeight()};
}

win::POINT TTouchScrollbarManager::MapWindowToView(win::POINT WindowPoint) const {
  return {WindowPoint.x + offset_x_, WindowPoint.y + offset_y_ - HeaderHeight()};
}

win::RECT TTouchScrollbarManager::MapViewRectToWindow(const win::RECT& ViewRect) const {
  const win::POINT top_left = MapViewToWindow({ViewRect.left, ViewRect.top});
  const win::POINT bottom_right = MapViewToWindow({ViewRect.right, ViewRect.bottom});
  return {top_left.x, top_left.y, bottom_right.x, bottom_right.y};
}

win::RECT TTouchScrollbarManager::MapWindowRectToView(const win::RECT& WindowRect) const {
  const win::POINT top_left = MapWindowToView({WindowRect.left, WindowRect.top});
  const win::POINT bottom_right = MapWindowToView({WindowRect.right, WindowRect.bottom});
  return {top_left.x, top_left.y, bottom_right.x, bottom_right.y};
}

}  // namespace dashtune

