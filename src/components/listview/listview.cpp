#include "components/listview/listview.h"
#include "components/listview/rect_helpers.h"

#include <algorithm>

#include "classlib/bitmap.h"
#include "components/listview/common/common_utilities.h"
#include "components/listview/grid_layout.h"
#include "components/listview/sort.h"
#include "components/listview/view_items.h"
#include "platform/core/strings.h"
#include "platform/gdi/gdi.h"

namespace dashtune {

int listview::DefaultCaptionLines = 1;

// ---- TTouchGlobalItems ----

TTouchGroup* TTouchGlobalItems::LastGroup() const {
  TTouchGroups* groups = GetOwnerListview()->GetGroups();
  if (groups->GetCount() == 0) groups->AddGroup()->SetCaption(listview::kDefaultGroupCaption);
  return groups->GetGroup(groups->GetCount() - 1);
}

TTouchItemVirtual* TTouchGlobalItems::AddVirtual(std::intptr_t Data) { return LastGroup()->GetItems()->AddVirtual(Data); }

TTouchItemStored* TTouchGlobalItems::AddStored(std::intptr_t Data) { return LastGroup()->GetItems()->AddStored(Data); }

int TTouchGlobalItems::GetCount() const { return GetOwnerListview()->GetGroups()->ItemCount(); }

TTouchItem* TTouchGlobalItems::GetItem(int Index) const { return GetOwnerListview()->GetGroups()->ItemAt(Index); }

void TTouchGlobalItems::Clear() {
  TTouchGroups* groups = GetOwnerListview()->GetGroups();
  GetOwnerListview()->BeginUpdate();
  for (int i = 0; i < groups->GetCount(); ++i) groups->GetGroup(i)->GetItems()->Clear(true);
  GetOwnerListview()->EndUpdate(true);
}

// ---- TCustomTouchListview ----

TCustomTouchListview::TCustomTouchListview(TComponent* AOwner)
    : TCustomControl(AOwner),
      paint_info_item_(std::make_unique<TTouchPaintInfoItem>(this)),
      paint_info_group_(std::make_unique<TTouchPaintInfoGroup>(this)),
      paint_info_column_(std::make_unique<TTouchPaintInfoColumn>(this)),
      cell_sizes_(std::make_unique<TTouchCellSizes>(this)),
      selection_(std::make_unique<TTouchSelectionManager>(this)),
      check_manager_(std::make_unique<TTouchCheckManager>(this)),
      hot_track_(std::make_unique<TTouchHotTrackManager>(this)),
      scrollbars_(std::make_unique<TTouchScrollbarManager>(this)),
      edit_manager_(std::make_unique<TTouchEditManager>(this)),
      drag_manager_(std::make_unique<TTouchOLEDragManager>(this)),
      incremental_search_(std::make_unique<TTouchIncrementalSearchManager>(this)),
      sort_(std::make_unique<TTouchSortManager>(this)),
      hint_info_(std::make_unique<TTouchHintInfo>(this)),
      header_(std::make_unique<TTouchHeader>(this)),
      groups_(std::make_unique<TTouchGroups>(this)),
      items_(std::make_unique<TTouchGlobalItems>(this)) {
  // The control's group footer always holds the paint info that other footers fall back to.
  paint_info_group_->GetMarginBottom()->SetOwnPaintInfo(TCustomTouchFooterMargin::MakeFooterPaintInfo(this));
  SetColor(clWindow);
  SetParentColor(false);
  SetTabStop(true);
}

TCustomTouchListview::~TCustomTouchListview() {
  // The items go while every manager that may name them is still there; nothing is laid out,
  // sorted or painted any more.
  destroying_ = true;
  lifetime_.reset();
  RevokeDropTarget();
  groups_->Clear(true);
  header_->GetColumns()->Clear(true);
}

void TCustomTouchListview::SetView(TTouchListStyle Value) {
  if (view_ == Value) return;
  view_ = Value;
  for (int i = 0; i < groups_->GetCount(); ++i) {
    TTouchGroup* group = groups_->GetGroup(i);
    group->SetGrid(listview::MakeGrid(this, group, view_));
  }
  groups_->Rebuild(false);
  common::SafeInvalidateRect(this, nullptr, false);
}

// ---- Painting ----

namespace {

// The first item of a group's visible list that may meet the update area: the list is in
// layout order, so a binary search finds it and a paint costs what shows, not the item count.
int FirstItemToPaint(TTouchGroup* group, const win::RECT& update) {
  const TTouchVisibleMembers visible = group->GetVisibleItems();
  const bool by_columns = group->GetGrid() && group->GetGrid()->GetLayout() == eglHorz;
  int low = 0, high = visible.GetCount();
  while (low < high) {
    const int middle = low + (high - low) / 2;
    auto* item = static_cast<TTouchItem*>(visible.Get(middle));
    const win::RECT& cell = item->GetDisplayRect();
    const bool before = by_columns ? cell.right <= update.left
                                   : item->GetView()->ComparePoint(item, {update.left, update.top}) < 0;
    if (before)
      low = middle + 1;
    else
      high = middle;
  }
  return low;
}

bool PastUpdate(TTouchGroup* group, const win::RECT& cell, const win::RECT& update) {
  const bool by_columns = group->GetGrid() && group->GetGrid()->GetLayout() == eglHorz;
  return by_columns ? cell.left >= update.right : cell.top >= update.bottom;
}

}  // namespace

TCanvas* TCustomTouchListview::PaintBuffer() {
  const int width = std::max(GetClientWidth(), 1), height = std::max(GetClientHeight(), 1);
  if (!paint_buffer_) {
    paint_buffer_ = std::make_unique<TBitmap>();
    paint_buffer_->SetPixelFormat(pf32bit);
  }
  if (paint_buffer_->GetWidth() != width || paint_buffer_->GetHeight() != height) paint_buffer_->SetSize(width, height);
  return paint_buffer_->GetCanvas();
}

void TCustomTouchListview::Paint() {
  TCanvas* target = GetCanvas();
  win::RECT update{};
  win::GetClipBox(target->GetHandle(), &update);
  if (update.right <= update.left || update.bottom <= update.top) return;
  // Drawn into a 32-bit bitmap of the client first, so that blends have pixels to mix; then the
  // update area is copied to the window.
  TCanvas* canvas = PaintBuffer();
  const win::HDC dc = canvas->GetHandle();
  const int whole = win::SaveDC(dc);
  win::IntersectClipRect(dc, update.left, update.top, update.right, update.bottom);
  canvas->GetBrush()->SetStyle(bsSolid);
  canvas->GetBrush()->SetColor(GetColor());
  canvas->FillRect(update);
  const int saved = win::SaveDC(dc);
  ClipHeader(canvas, false);
  // The items draw in view coordinates.
  const win::POINT origin = scrollbars_->MapViewToWindow({0, 0});
  win::SetWindowOrgEx(dc, -origin.x, -origin.y, nullptr);
  PaintItems(canvas, scrollbars_->MapWindowRectToView(update));
  listview::RestoreCanvasDC(canvas, saved);
  PaintHeader(canvas, update);
  listview::RestoreCanvasDC(canvas, whole);
  win::BitBlt(target->GetHandle(), update.left, update.top, update.right - update.left, update.bottom - update.top, dc,
              update.left, update.top, win::SRCCOPY);
}

void TCustomTouchListview::PaintItems(TCanvas* canvas, const win::RECT& view_update) {
  const TTouchVisibleMembers visible_groups = groups_->GetVisibleList();
  TTouchColumns* columns = header_->GetColumns();
  for (int g = 0; g < visible_groups.GetCount(); ++g) {
    auto* group = static_cast<TTouchGroup*>(visible_groups.Get(g));
    win::RECT meeting{};
    if (!win::IntersectRect(&meeting, &group->GetDisplayRect(), &view_update)) continue;
    const TTouchVisibleMembers items = group->GetVisibleItems();
    for (int i = FirstItemToPaint(group, view_update); i < items.GetCount(); ++i) {
      auto* item = static_cast<TTouchItem*>(items.Get(i));
      const win::RECT& cell = item->GetDisplayRect();
      if (PastUpdate(group, cell, view_update)) break;
      if (!win::IntersectRect(&meeting, &cell, &view_update)) continue;
      if (!item->GetView()->PaintsColumns() || columns->GetVisibleCount() == 0) {
        item->Paint(canvas, view_update, nullptr, false);
        continue;
      }
      // A full-row highlight is painted once, under the first column, across the row.
      const bool full_row = item->GetView()->FullRowRule() && (item->GetSelected() || item->GetDropTarget());
      const TTouchVisibleMembers shown = columns->GetVisibleList();
      for (int c = 0; c < shown.GetCount(); ++c)
        item->Paint(canvas, view_update, static_cast<TTouchColumn*>(shown.Get(c)), full_row && c == 0);
    }
  }
}

void TCustomTouchListview::PaintHeader(TCanvas* canvas, const win::RECT& update) {
  const int height = header_->GetHeight();
  const win::RECT strip{0, 0, GetClientWidth(), height};
  win::RECT meeting{};
  if (height <= 0 || !win::IntersectRect(&meeting, &strip, &update)) return;
  const win::HDC dc = canvas->GetHandle();
  const int saved = win::SaveDC(dc);
  ClipHeader(canvas, true);
  win::IntersectClipRect(dc, strip.left, strip.top, strip.right, strip.bottom);
  const int offset_x = scrollbars_->GetOffsetX();
  win::SetWindowOrgEx(dc, offset_x, 0, nullptr);
  win::RECT view_strip = strip;
  win::OffsetRect(&view_strip, offset_x, 0);
  canvas->GetBrush()->SetStyle(bsSolid);
  canvas->GetBrush()->SetColor(header_->GetColor());
  canvas->FillRect(view_strip);
  header_->PaintTo(canvas, view_strip);
  listview::RestoreCanvasDC(canvas, saved);
}

void TCustomTouchListview::CreateWnd() {
  TCustomControl::CreateWnd();
  header_->ClientWidthChanged(GetClientWidth());
  groups_->Rebuild(false);
  RegisterDropTarget();
}

void TCustomTouchListview::DestroyWnd() {
  DisarmEdit();
  RevokeDropTarget();
  TCustomControl::DestroyWnd();
}

void TCustomTouchListview::RegisterDropTarget() {
  if (!HandleAllocated() || drag_manager_->GetDragType() == edtClassLib) return;
  if (drop_target_ && drop_target_window_ == GetHandle()) return;
  // A window destroyed from outside may have left its registration behind.
  RevokeDropTarget();
  auto target = win::MakeCom<TTouchDropTarget>(this);
  if (win::RegisterDragDrop(GetHandle(), target.Get()) != win::S_OK) return;
  drop_target_ = target;
  drop_target_window_ = GetHandle();
}

void TCustomTouchListview::RevokeDropTarget() {
  if (!drop_target_) return;
  drop_target_->Detach();
  win::RevokeDragDrop(drop_target_window_);
  drop_target_.Reset();
  drop_target_window_ = nullptr;
}

void TCustomTouchListview::Resize() {
  header_->ClientWidthChanged(GetClientWidth());
  groups_->Rebuild(false);
  common::SafeInvalidateRect(this, nullptr, false);
  TCustomControl::Resize();
}

// ---- Mouse on the header ----

bool TCustomTouchListview::MouseOnHeader(int y) const {
  const int height = header_->GetHeight();
  const std::uint16_t busy = ehmsCaptured | ehmsResizing | ehmsDragging | ehmsCheckPressed | ehmsLeftButton;
  return height > 0 && (y < height || (header_->GetMouseState() & busy) != 0);
}

void TCustomTouchListview::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  DisarmEdit();
  if (MouseOnHeader(Y)) {
    if (Shift.Contains(ssDouble))
      header_->DoubleClick(Button, Shift, X, Y);
    else if (Button == mbLeft)
      header_->LeftButtonDown(Shift, X, Y);
    else if (Button == mbRight)
      header_->RightButtonDown(Shift, X, Y);
  } else {
    ItemMouseDown(Button, Shift, {X, Y});
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TCustomTouchListview::MouseMove(TShiftState Shift, int X, int Y) {
  if (MouseOnHeader(Y))
    header_->MouseMove(Shift, X, Y);
  else
    ItemMouseMove(Shift, {X, Y});
  TCustomControl::MouseMove(Shift, X, Y);
}

void TCustomTouchListview::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (MouseOnHeader(Y)) {
    if (Button == mbLeft) header_->LeftButtonUp(Shift, X, Y);
    if (Button == mbRight) header_->RightButtonUp(Shift, X, Y);
  } else {
    ItemMouseUp(Button, Shift, {X, Y});
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TCustomTouchListview::ClipHeader(TCanvas* ACanvas, bool Reset) {
  const win::HDC dc = ACanvas->GetHandle();
  if (Reset) {
    win::SelectClipRgn(dc, nullptr);
    return;
  }
  const int height = header_->GetHeight();
  if (height <= 0) return;
  win::SetWindowOrgEx(dc, 0, 0, nullptr);
  win::ExcludeClipRect(dc, 0, 0, GetClientWidth(), height);
}

void TCustomTouchListview::SetShowGroupMargins(bool Value) {
  if (show_group_margins_ == Value) return;
  show_group_margins_ = Value;
  groups_->Rebuild(false);
}

void TCustomTouchListview::SetDisabledBlendAlpha(std::uint8_t Value) {
  if (disabled_blend_alpha_ == Value) return;
  disabled_blend_alpha_ = Value;
  common::SafeInvalidateRect(this, nullptr, false);
}

void TCustomTouchListview::SetDisabledBlendColor(TColor Value) {
  if (disabled_blend_color_ == Value) return;
  disabled_blend_color_ = Value;
  common::SafeInvalidateRect(this, nullptr, false);
}

void TCustomTouchListview::SetImageList(TCustomImageList*& field, TCustomImageList* value) {
  if (field == value) return;
  if (field) field->RemoveFreeNotification(this);
  field = value;
  if (value) value->FreeNotification(this);
  groups_->Rebuild(false);
  common::SafeInvalidateRect(this, nullptr, false);
}

void TCustomTouchListview::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  for (TCustomImageList** list : {&images_small_, &images_large_, &images_ex_large_, &images_state_})
    if (*list == AComponent) *list = nullptr;
}

void TCustomTouchListview::BeginUpdate() {
  ++update_count_;
  sort_->BeginUpdate();
}

void TCustomTouchListview::EndUpdate(bool Invalidate) {
  if (update_count_ > 0) --update_count_;
  if (destroying_) return;
  sort_->EndUpdate();
  if (update_count_ == 0) {
    groups_->Rebuild(false);
    if (Invalidate) common::SafeInvalidateRect(this, nullptr, false);
  }
}

void TCustomTouchListview::SaveStateToStream(TStream* S) {
  header_->SaveToStream(S);
  groups_->SaveToStream(S);
  for (int i = 0; i < groups_->GetCount(); ++i) groups_->GetGroup(i)->GetItems()->SaveToStream(S);
}

void TCustomTouchListview::LoadStateFromStream(TStream* S) {
  // Each collection's load would close its own bracket and lay out every group: quadratic in
  // the groups. One bracket around them all lays out once.
  const listview::UpdateBracket bracket(this);
  header_->LoadFromStream(S);
  groups_->LoadFromStream(S);
  for (int i = 0; i < groups_->GetCount(); ++i) groups_->GetGroup(i)->GetItems()->LoadFromStream(S);
}

void TCustomTouchListview::ForgetMember(TTouchCollectionItem* Member) {
  hot_track_->Forget(Member);
  check_manager_->Forget(Member);
  edit_manager_->Forget(Member);
  drag_manager_->Forget(Member);
  incremental_search_->Forget(Member);
  header_->Forget(Member);
  if (selection_->GetFocusedItem() == Member) selection_->StoreFocusedItem(nullptr);
  if (press_.item == Member) press_ = ItemPress{};
  if (armed_edit_ == Member) DisarmEdit();
}

// ---- Comparisons ----

int TCustomTouchListview::DefaultCompare(TTouchColumn* Column, TTouchCollectionItem* Item1, TTouchCollectionItem* Item2) {
  const int index = Column ? Column->GetIndex() : 0;
  const WideString a = Item1->GetCaptions(index);
  const WideString b = Item2->GetCaptions(index);
  const int result = win::lstrcmpiW(reinterpret_cast<win::LPCWSTR>(a.c_str()), reinterpret_cast<win::LPCWSTR>(b.c_str()));
  return Column && Column->GetSortDirection() == esdDescending ? -result : result;
}

int TCustomTouchListview::GroupCompare(TTouchGroup* Item1, TTouchGroup* Item2) {
  if (OnGroupCompare) return OnGroupCompare(this, Item1, Item2);
  return DefaultCompare(nullptr, Item1, Item2);
}

// ---- Event dispatchers ----

void TCustomTouchListview::DoItemGetCaption(TTouchItem* Item, int Column, WideString& Caption) {
  if (OnItemGetCaption) OnItemGetCaption(this, Item, Column, Caption);
}
void TCustomTouchListview::DoItemGetImageIndex(TTouchItem* Item, int Column, TTouchImageKind ImageKind,
                                               TCommonImageIndexInteger& ImageIndex) {
  if (OnItemGetImageIndex) OnItemGetImageIndex(this, Item, Column, ImageKind, ImageIndex);
}
void TCustomTouchListview::DoItemGetImageList(TTouchItem* Item, int Column, TCustomImageList*& ImageList) {
  if (OnItemGetImageList) OnItemGetImageList(this, Item, Column, ImageList);
}
void TCustomTouchListview::DoItemGetStateImageList(TTouchItem* Item, int Column, TCustomImageList*& ImageList) {
  if (OnItemGetStateImageList) OnItemGetStateImageList(this, Item, Column, ImageList);
}
void TCustomTouchListview::DoItemGetTileDetailCount(TTouchItem* Item, int& Count) {
  if (OnItemGetTileDetailCount) OnItemGetTileDetailCount(this, Item, Count);
}
void TCustomTouchListview::DoItemGetTileDetail(TTouchItem* Item, int Line, int& Detail) {
  if (OnItemGetTileDetail) OnItemGetTileDetail(this, Item, Line, Detail);
}
void TCustomTouchListview::DoItemGetGroupKey(TTouchItem* Item, int FocusedColumn, std::uint32_t& GroupKey) {
  if (OnItemGetGroupKey) OnItemGetGroupKey(this, Item, FocusedColumn, GroupKey);
}
void TCustomTouchListview::DoItemSetCaption(TTouchItem* Item, int Column, const WideString& Caption) {
  if (OnItemSetCaption) OnItemSetCaption(this, Item, Column, Caption);
}
void TCustomTouchListview::DoItemSetImageIndex(TTouchItem* Item, int Column, TTouchImageKind ImageKind, int ImageIndex) {
  if (OnItemSetImageIndex) OnItemSetImageIndex(this, Item, Column, ImageKind, ImageIndex);
}
void TCustomTouchListview::DoItemSetTileDetail(TTouchItem* Item, int Line, int Detail) {
  if (OnItemSetTileDetail) OnItemSetTileDetail(this, Item, Line, Detail);
}
void TCustomTouchListview::DoItemSetGroupKey(TTouchItem* Item, int Column, std::uint32_t Key) {
  if (OnItemSetGroupKey) OnItemSetGroupKey(this, Item, Column, Key);
}
void TCustomTouchListview::DoItemImageDraw(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas,
                                           const TTouchRectArrayObject& RectArray, TTouchAlphaBlender* AlphaBlender) {
  if (OnItemImageDraw) OnItemImageDraw(this, Item, Column, ACanvas, RectArray, AlphaBlender);
}
void TCustomTouchListview::DoItemImageDrawIsCustom(TTouchItem* Item, TTouchColumn* Column, bool& IsCustom) {
  if (OnItemImageDrawIsCustom) OnItemImageDrawIsCustom(this, Item, Column, IsCustom);
}
void TCustomTouchListview::DoItemImageGetSize(TTouchItem* Item, TTouchColumn* Column, int& ImageWidth, int& ImageHeight) {
  if (OnItemImageGetSize) OnItemImageGetSize(this, Item, Column, ImageWidth, ImageHeight);
}
void TCustomTouchListview::DoItemThumbnailDraw(TTouchItem* Item, TCanvas* ACanvas, const win::RECT& ARect,
                                               TTouchAlphaBlender* AlphaBlender, bool& DoDefault) {
  if (OnItemThumbnailDraw) OnItemThumbnailDraw(this, Item, ACanvas, ARect, AlphaBlender, DoDefault);
}
void TCustomTouchListview::DoItemFreeing(TTouchItem* Item) {
  if (OnItemFreeing) OnItemFreeing(this, Item);
}
void TCustomTouchListview::DoItemInitialize(TTouchItem* Item) {
  if (OnItemInitialize) OnItemInitialize(this, Item);
}
void TCustomTouchListview::DoItemHotTrack(TTouchItem* Item, TTouchHotTrackState State, win::POINT MousePos) {
  if (OnItemHotTrack) OnItemHotTrack(this, Item, State, MousePos);
}
void TCustomTouchListview::DoItemLoadFromStream(TTouchItem* Item, TStream* S, int Version) {
  if (OnItemLoadFromStream) OnItemLoadFromStream(this, Item, S, Version);
}
void TCustomTouchListview::DoItemSaveToStream(TTouchItem* Item, TStream* S, int Version) {
  if (OnItemSaveToStream) OnItemSaveToStream(this, Item, S, Version);
}
void TCustomTouchListview::DoItemCustomView(TTouchItem* Item, TTouchListStyle ViewStyle, TTouchViewItemClass& View) {
  if (OnItemCustomView) OnItemCustomView(this, Item, ViewStyle, View);
}
void TCustomTouchListview::DoItemPaintText(TTouchItem* Item, int Position, TCanvas* ACanvas) {
  if (OnItemPaintText) OnItemPaintText(this, Item, Position, ACanvas);
}
void TCustomTouchListview::DoItemClick(TTouchItem* Item, TMouseButton Button, TShiftState Shift, win::POINT MousePos) {
  if (OnItemClick) OnItemClick(this, Item, Button, Shift, MousePos);
}
void TCustomTouchListview::DoItemDblClick(TTouchItem* Item, TMouseButton Button, TShiftState Shift, win::POINT MousePos) {
  if (OnItemDblClick) OnItemDblClick(this, Item, Button, Shift, MousePos);
}
void TCustomTouchListview::DoItemMouseDown(TTouchItem* Item, TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnItemMouseDown) OnItemMouseDown(this, Item, Button, Shift, X, Y);
}
void TCustomTouchListview::DoItemMouseUp(TTouchItem* Item, TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnItemMouseUp) OnItemMouseUp(this, Item, Button, Shift, X, Y);
}
void TCustomTouchListview::DoItemEditEnd(TTouchItem* Item) {
  if (OnItemEditEnd) OnItemEditEnd(this, Item);
}
void TCustomTouchListview::DoColumnPaintText(TTouchColumn* Column, TCanvas* ACanvas) {
  if (OnColumnPaintText) OnColumnPaintText(this, Column, ACanvas);
}
void TCustomTouchListview::DoItemCreateEditor(TTouchItem* Item, ITouchCellEditor*& Editor) {
  if (OnItemCreateEditor) OnItemCreateEditor(this, Item, Editor);
}
void TCustomTouchListview::DoItemGetEditCaption(TTouchItem* Item, TTouchColumn* Column, WideString& Caption) {
  if (OnItemGetEditCaption) OnItemGetEditCaption(this, Item, Column, Caption);
}
void TCustomTouchListview::DoItemEdited(TTouchItem* Item, WideString& NewValue, bool& Accept) {
  if (OnItemEdited) OnItemEdited(this, Item, NewValue, Accept);
}
void TCustomTouchListview::DoItemGetEditMenu(ITouchCellEditor* Editor, TPopupMenu*& Menu) {
  if (OnItemGetEditMenu) OnItemGetEditMenu(this, Editor, Menu);
}
void TCustomTouchListview::DoIncrementalSearch(TTouchItem* Item, const WideString& SearchBuffer, int& CompareResult) {
  CompareResult = 0;
  if (OnIncrementalSearch) OnIncrementalSearch(Item, SearchBuffer, CompareResult);
}
void TCustomTouchListview::DoOLEGetDataObject(win::ComPtr<win::IDataObject>& DataObject) {
  if (OnOLEGetDataObject) OnOLEGetDataObject(this, DataObject);
}
void TCustomTouchListview::DoColumnClick(TMouseButton Button, TTouchColumn* Column) {
  if (OnColumnClick) OnColumnClick(this, Button, Column);
}
void TCustomTouchListview::DoColumnSizeChanging(TTouchColumn* Column, int Width, int NewWidth, bool& Allow) {
  if (OnColumnSizeChanging) OnColumnSizeChanging(this, Column, Width, NewWidth, Allow);
}
void TCustomTouchListview::DoColumnSizeChanged(TTouchColumn* Column) {
  if (OnColumnSizeChanged) OnColumnSizeChanged(this, Column);
}
void TCustomTouchListview::DoPaintHeaderBkGnd(TCanvas* ACanvas, const win::RECT& ARect, bool& Handled) {
  if (OnPaintHeaderBkGnd) OnPaintHeaderBkGnd(this, ACanvas, ARect, Handled);
}
void TCustomTouchListview::DoHeaderMouseDown(TMouseButton MouseButton, TShiftState Shift, int X, int Y, TTouchColumn* Column) {
  if (OnHeaderMouseDown) OnHeaderMouseDown(this, MouseButton, Shift, X, Y, Column);
}
void TCustomTouchListview::DoHeaderMouseUp(TMouseButton MouseButton, TShiftState Shift, int X, int Y, TTouchColumn* Column) {
  if (OnHeaderMouseUp) OnHeaderMouseUp(this, MouseButton, Shift, X, Y, Column);
}
void TCustomTouchListview::DoHeaderMouseMove(TShiftState Shift, int X, int Y) {
  if (OnHeaderMouseMove) OnHeaderMouseMove(this, Shift, X, Y);
}
void TCustomTouchListview::DoHeaderDblClick(TMouseButton MouseButton, win::POINT MousePos, TShiftState ShiftState) {
  if (OnHeaderDblClick) OnHeaderDblClick(this, MouseButton, MousePos, ShiftState);
}
void TCustomTouchListview::DoHintCustomInfo(TTouchCollectionItem* TargetObj, TTouchHintInfo* Info) {
  if (OnHintCustomInfo) OnHintCustomInfo(this, TargetObj, Info);
}
void TCustomTouchListview::DoHintCustomDraw(TTouchCollectionItem* TargetObj, TTouchHintInfo* Info) {
  if (OnHintCustomDraw) OnHintCustomDraw(this, TargetObj, Info);
}
void TCustomTouchListview::DoAutoGroupGetKey(TTouchItem* Item, int ColumnIndex, TTouchGroups* Groups, std::uint32_t& Key) {
  if (OnAutoGroupGetKey) OnAutoGroupGetKey(this, Item, ColumnIndex, Groups, Key);
}
void TCustomTouchListview::DoAutoSortGroupCreate(TTouchItem* Item, int ColumnIndex, TTouchGroups* Groups,
                                                 TTouchGroup*& Group, bool& DoDefaultAction) {
  if (OnAutoSortGroupCreate) OnAutoSortGroupCreate(this, Item, ColumnIndex, Groups, Group, DoDefaultAction);
  if (Group == nullptr) Group = Groups->AddGroup();
}

}  // namespace dashtune
