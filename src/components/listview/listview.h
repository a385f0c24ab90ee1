// The touch list view control: owns the groups, the header with its columns, the managers, the
// cell sizes and the paint infos; dispatches the item events and compares items for sorting.
// Without a window it keeps its model but paints, measures and lays out nothing.
#pragma once

#include <memory>

#include "classlib/controls.h"
#include "classlib/imagelist.h"
#include "components/listview/cell_sizes.h"
#include "components/listview/edit_manager.h"
#include "components/listview/groups.h"
#include "components/listview/header.h"
#include "components/listview/incremental_search.h"
#include "components/listview/items.h"
#include "components/listview/managers.h"
#include "components/listview/paint_info.h"

namespace dashtune {

class TBitmap;
class TTouchSortManager;

namespace listview {
// The caption line count the base painters answer; hosting code may change it at any time (the
// application sets it in its caption handlers).
extern int DefaultCaptionLines;
// The screen cursor the header shows over a column's resize border.
inline constexpr TCursor crHeaderSplit = 768;
// The caption of the group AddVirtual makes.
inline constexpr char16_t kDefaultGroupCaption[] = u"Default Group";
}  // namespace listview

// The control's items across all groups.
class TTouchGlobalItems : public TTouchOwnedPersistent {
 public:
  using TTouchOwnedPersistent::TTouchOwnedPersistent;
  // Adds a virtual item carrying Data to the last group, making a "Default Group" first when
  // there is no group.
  TTouchItemVirtual* AddVirtual(std::intptr_t Data = 0);
  TTouchItemStored* AddStored(std::intptr_t Data = 0);
  int GetCount() const;
  // The item at an index counted across all groups (nullptr outside 0..Count-1).
  TTouchItem* GetItem(int Index) const;
  // Frees every item of every group; the groups stay.
  void Clear();

 private:
  TTouchGroup* LastGroup() const;
};

class TCustomTouchListview : public TCustomControl {
 public:
  explicit TCustomTouchListview(TComponent* AOwner);
  ~TCustomTouchListview() override;
  // True from the start of the destructor: nothing is laid out, sorted or painted.
  bool IsDestroying() const { return destroying_; }

  TTouchListStyle GetView() const { return view_; }
  // A new view gives every group the grid of that view and lays the control out anew.
  void SetView(TTouchListStyle Value);
  // Whether the header shows in the current view (asked by every item's invalidation).
  bool HeaderShows() const {
    return view_ == elsReport || view_ == elsGrid || header_->GetShowInAllViews();
  }
  // Whether the current view is a thumbnail view (thumbnail or film strip).
  bool IsThumbnailView() const { return view_ == elsThumbnail || view_ == elsFilmStrip; }

  // While the lock count is above 0, item and header invalidation does nothing.
  int GetInvalidateLockCount() const { return invalidate_lock_count_; }
  void LockInvalidate() { ++invalidate_lock_count_; }
  void UnlockInvalidate() { if (invalidate_lock_count_ > 0) --invalidate_lock_count_; }
  // With Reset the canvas's clip region is removed; otherwise the window origin is reset and,
  // while the header shows, its strip is excluded from drawing.
  void ClipHeader(TCanvas* ACanvas, bool Reset);
  // While the control is disabled, captions are grey and images blended with the background.
  bool DrawsDisabled() const { return !GetEnabled(); }
  bool GetShowGroupMargins() const { return show_group_margins_; }
  void SetShowGroupMargins(bool Value);
  // Themes are never active on this platform.
  bool Themed() const { return false; }

  TCustomImageList* GetImagesSmall() const { return images_small_; }
  void SetImagesSmall(TCustomImageList* Value) { SetImageList(images_small_, Value); }
  TCustomImageList* GetImagesLarge() const { return images_large_; }
  void SetImagesLarge(TCustomImageList* Value) { SetImageList(images_large_, Value); }
  TCustomImageList* GetImagesExLarge() const { return images_ex_large_; }
  void SetImagesExLarge(TCustomImageList* Value) { SetImageList(images_ex_large_, Value); }
  TCustomImageList* GetImagesState() const { return images_state_; }
  void SetImagesState(TCustomImageList* Value) { SetImageList(images_state_, Value); }

  // The nested update bracket; it also locks the sort manager, whose last EndUpdate may sort.
  void BeginUpdate();
  void EndUpdate(bool Invalidate = true);
  int GetUpdateCount() const { return update_count_; }

  // The control's whole state: the header's columns, the groups, then each group's items, each
  // as its collection's stream. A load lays the control out once, after the last record (also
  // when a bad record ends it with EReadError).
  void LoadStateFromStream(TStream* S);
  void SaveStateToStream(TStream* S);

  TTouchGlobalItems* GetItems() const { return items_.get(); }
  TTouchGroups* GetGroups() const { return groups_.get(); }
  TTouchHeader* GetHeader() const { return header_.get(); }
  TTouchCellSizes* GetCellSizes() const { return cell_sizes_.get(); }
  TTouchSelectionManager* GetSelection() const { return selection_.get(); }
  TTouchCheckManager* GetCheckManager() const { return check_manager_.get(); }
  TTouchHotTrackManager* GetHotTrack() const { return hot_track_.get(); }
  TTouchScrollbarManager* GetScrollbars() const { return scrollbars_.get(); }
  TTouchEditManager* GetEditManager() const { return edit_manager_.get(); }
  TTouchOLEDragManager* GetDragManager() const { return drag_manager_.get(); }
  TTouchIncrementalSearchManager* GetIncrementalSearch() const { return incremental_search_.get(); }
  TTouchSortManager* GetSort() const { return sort_.get(); }

  TTouchPaintInfoItem* GetPaintInfoItem() const { return paint_info_item_.get(); }
  void SetPaintInfoItem(const TTouchPaintInfoItem* Value) { paint_info_item_->Assign(Value); }
  TTouchPaintInfoGroup* GetPaintInfoGroup() const { return paint_info_group_.get(); }
  void SetPaintInfoGroup(const TTouchPaintInfoGroup* Value) { paint_info_group_->Assign(Value); }
  TTouchPaintInfoColumn* GetPaintInfoColumn() const { return paint_info_column_.get(); }
  void SetPaintInfoColumn(const TTouchPaintInfoColumn* Value) { paint_info_column_->Assign(Value); }

  // How disabled items and the images of an unfocused control are tinted.
  std::uint8_t GetDisabledBlendAlpha() const { return disabled_blend_alpha_; }
  void SetDisabledBlendAlpha(std::uint8_t Value);
  TColor GetDisabledBlendColor() const { return disabled_blend_color_; }
  void SetDisabledBlendColor(TColor Value);
  // The hint information handed to OnHintCustomInfo and OnHintCustomDraw.
  TTouchHintInfo* GetHintInfo() const { return hint_info_.get(); }

  TTouchWheelScroll GetWheelMouseDefaultScroll() const { return wheel_mouse_default_scroll_; }
  void SetWheelMouseDefaultScroll(TTouchWheelScroll Value) { wheel_mouse_default_scroll_ = Value; }

  // Makes every manager drop its references to a member that is being freed.
  void ForgetMember(TTouchCollectionItem* Member);

  // Expires when the control is freed: code that runs a local loop (a drag) checks it before it
  // touches the control again.
  std::weak_ptr<const void> Lifetime() const { return lifetime_; }
  // The control's window as an OLE drop target (for the header drag); Register does nothing
  // without a window, while the item drag manager uses the class library's dragging, or when
  // OLE is not initialised on this thread.
  void RegisterDropTarget();
  void RevokeDropTarget();

  // Comparisons handed to the sorters: the event when assigned, else the captions of the
  // column's Index (column 0 without a column) compared without case, negated for a descending
  // column; groups compare as column 0 ascending.
  int ItemCompare(TTouchColumn* Column, TTouchGroup* Group, TTouchItem* Item1, TTouchItem* Item2) {
    return OnItemCompare ? OnItemCompare(this, Column, Group, Item1, Item2) : DefaultCompare(Column, Item1, Item2);
  }
  int GroupCompare(TTouchGroup* Item1, TTouchGroup* Item2);
  static int DefaultCompare(TTouchColumn* Column, TTouchCollectionItem* Item1, TTouchCollectionItem* Item2);

  // Event dispatchers: each raises its event when assigned; var arguments keep their values
  // otherwise.
  void DoItemGetCaption(TTouchItem* Item, int Column, WideString& Caption);
  void DoItemGetImageIndex(TTouchItem* Item, int Column, TTouchImageKind ImageKind, TCommonImageIndexInteger& ImageIndex);
  void DoItemGetImageList(TTouchItem* Item, int Column, TCustomImageList*& ImageList);
  void DoItemGetStateImageList(TTouchItem* Item, int Column, TCustomImageList*& ImageList);
  void DoItemGetTileDetailCount(TTouchItem* Item, int& Count);
  void DoItemGetTileDetail(TTouchItem* Item, int Line, int& Detail);
  void DoItemGetGroupKey(TTouchItem* Item, int FocusedColumn, std::uint32_t& GroupKey);
  void DoItemSetCaption(TTouchItem* Item, int Column, const WideString& Caption);
  void DoItemSetImageIndex(TTouchItem* Item, int Column, TTouchImageKind ImageKind, int ImageIndex);
  void DoItemSetTileDetail(TTouchItem* Item, int Line, int Detail);
  void DoItemSetGroupKey(TTouchItem* Item, int Column, std::uint32_t Key);
  void DoItemImageDraw(TTouchItem* Item, TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& RectArray, TTouchAlphaBlender* AlphaBlender);
  void DoItemImageDrawIsCustom(TTouchItem* Item, TTouchColumn* Column, bool& IsCustom);
  void DoItemImageGetSize(TTouchItem* Item, TTouchColumn* Column, int& ImageWidth, int& ImageHeight);
  void DoItemThumbnailDraw(TTouchItem* Item, TCanvas* ACanvas, const win::RECT& ARect, TTouchAlphaBlender* AlphaBlender, bool& DoDefault);
  // The state changes' events, raised for every item of a bulk change: kept inline, so that an
  // unassigned one costs a test.
  void DoItemCheckChanging(TTouchItem* Item, bool& Allow) { if (OnItemCheckChanging) OnItemCheckChanging(this, Item, Allow); }
  void DoItemCheckChange(TTouchItem* Item) { if (OnItemCheckChange) OnItemCheckChange(this, Item); }
  void DoItemEnableChanging(TTouchItem* Item, bool& Allow) { if (OnItemEnableChanging) OnItemEnableChanging(this, Item, Allow); }
  void DoItemEnableChange(TTouchItem* Item) { if (OnItemEnableChange) OnItemEnableChange(this, Item); }
  void DoItemFocusChanging(TTouchItem* Item, bool& Allow) { if (OnItemFocusChanging) OnItemFocusChanging(this, Item, Allow); }
  void DoItemFocusChanged(TTouchItem* Item) { if (OnItemFocusChanged) OnItemFocusChanged(this, Item); }
  void DoItemSelectionChanging(TTouchItem* Item, bool& Allow) {
    if (OnItemSelectionChanging) OnItemSelectionChanging(this, Item, Allow);
  }
  void DoItemSelectionChanged(TTouchItem* Item) { if (OnItemSelectionChanged) OnItemSelectionChanged(this, Item); }
  void DoItemVisibilityChanging(TTouchItem* Item, bool& Allow) {
    if (OnItemVisibilityChanging) OnItemVisibilityChanging(this, Item, Allow);
  }
  void DoItemVisibilityChanged(TTouchItem* Item) { if (OnItemVisibilityChanged) OnItemVisibilityChanged(this, Item); }
  void DoItemFreeing(TTouchItem* Item);
  void DoItemInitialize(TTouchItem* Item);
  void DoItemHotTrack(TTouchItem* Item, TTouchHotTrackState State, win::POINT MousePos);
  void DoItemLoadFromStream(TTouchItem* Item, TStream* S, int Version);
  void DoItemSaveToStream(TTouchItem* Item, TStream* S, int Version);
  void DoItemCustomView(TTouchItem* Item, TTouchListStyle ViewStyle, TTouchViewItemClass& View);
  void DoItemPaintText(TTouchItem* Item, int Position, TCanvas* ACanvas);
  void DoItemClick(TTouchItem* Item, TMouseButton Button, TShiftState Shift, win::POINT MousePos);
  void DoItemDblClick(TTouchItem* Item, TMouseButton Button, TShiftState Shift, win::POINT MousePos);
  void DoItemMouseDown(TTouchItem* Item, TMouseButton Button, TShiftState Shift, int X, int Y);
  void DoItemMouseUp(TTouchItem* Item, TMouseButton Button, TShiftState Shift, int X, int Y);
  void DoItemEditEnd(TTouchItem* Item);
  void DoColumnPaintText(TTouchColumn* Column, TCanvas* ACanvas);
  void DoItemCreateEditor(TTouchItem* Item, ITouchCellEditor*& Editor);
  void DoItemGetEditCaption(TTouchItem* Item, TTouchColumn* Column, WideString& Caption);
  void DoItemEdited(TTouchItem* Item, WideString& NewValue, bool& Accept);
  void DoItemGetEditMenu(ITouchCellEditor* Editor, TPopupMenu*& Menu);
  // The result starts at 0 (a match), whatever the caller set.
  void DoIncrementalSearch(TTouchItem* Item, const WideString& SearchBuffer, int& CompareResult);
  void DoOLEGetDataObject(win::ComPtr<win::IDataObject>& DataObject);
  void DoColumnClick(TMouseButton Button, TTouchColumn* Column);
  void DoColumnSizeChanging(TTouchColumn* Column, int Width, int NewWidth, bool& Allow);
  void DoColumnSizeChanged(TTouchColumn* Column);
  void DoPaintHeaderBkGnd(TCanvas* ACanvas, const win::RECT& ARect, bool& Handled);
  void DoHeaderMouseDown(TMouseButton MouseButton, TShiftState Shift, int X, int Y, TTouchColumn* Column);
  void DoHeaderMouseUp(TMouseButton MouseButton, TShiftState Shift, int X, int Y, TTouchColumn* Column);
  void DoHeaderMouseMove(TShiftState Shift, int X, int Y);
  void DoHeaderDblClick(TMouseButton MouseButton, win::POINT MousePos, TShiftState ShiftState);
  void DoHintCustomInfo(TTouchCollectionItem* TargetObj, TTouchHintInfo* Info);
  void DoHintCustomDraw(TTouchCollectionItem* TargetObj, TTouchHintInfo* Info);
  void DoAutoGroupGetKey(TTouchItem* Item, int ColumnIndex, TTouchGroups* Groups, std::uint32_t& Key);
  // Raises OnAutoSortGroupCreate; when it leaves Group nil, a stored group is added.
  void DoAutoSortGroupCreate(TTouchItem* Item, int ColumnIndex, TTouchGroups* Groups, TTouchGroup*& Group, bool& DoDefaultAction);

  TTouchItemGetCaptionEvent OnItemGetCaption;
  TTouchItemGetImageIndexEvent OnItemGetImageIndex;
  TTouchItemGetImageListEvent OnItemGetImageList;
  TTouchItemGetImageListEvent OnItemGetStateImageList;  // not published
  TTouchItemGetTileDetailCountEvent OnItemGetTileDetailCount;
  TTouchItemGetTileDetailEvent OnItemGetTileDetail;
  TTouchItemGetGroupKeyEvent OnItemGetGroupKey;
  TTouchItemSetCaptionEvent OnItemSetCaption;
  TTouchItemSetImageIndexEvent OnItemSetImageIndex;
  TTouchItemSetTileDetailEvent OnItemSetTileDetail;
  TTouchItemSetGroupKeyEvent OnItemSetGroupKey;
  TTouchItemImageDrawEvent OnItemImageDraw;
  TTouchItemImageDrawIsCustomEvent OnItemImageDrawIsCustom;
  TTouchItemImageGetSizeEvent OnItemImageGetSize;
  TTouchItemThumbnailDrawEvent OnItemThumbnailDraw;
  TTouchItemChangingEvent OnItemCheckChanging;
  TTouchItemNotifyEvent OnItemCheckChange;
  TTouchItemChangingEvent OnItemEnableChanging;
  TTouchItemNotifyEvent OnItemEnableChange;
  TTouchItemChangingEvent OnItemFocusChanging;
  TTouchItemNotifyEvent OnItemFocusChanged;
  TTouchItemChangingEvent OnItemSelectionChanging;
  TTouchItemNotifyEvent OnItemSelectionChanged;
  TTouchItemChangingEvent OnItemVisibilityChanging;
  TTouchItemNotifyEvent OnItemVisibilityChanged;
  TTouchItemNotifyEvent OnItemFreeing;
  TTouchItemNotifyEvent OnItemInitialize;
  TTouchItemHotTrackEvent OnItemHotTrack;
  TTouchItemStreamEvent OnItemLoadFromStream;
  TTouchItemStreamEvent OnItemSaveToStream;
  TTouchItemCustomViewEvent OnItemCustomView;
  TTouchItemPaintTextEvent OnItemPaintText;
  TTouchItemClickEvent OnItemClick;
  TTouchItemClickEvent OnItemDblClick;
  TTouchItemMouseEvent OnItemMouseDown;
  TTouchItemMouseEvent OnItemMouseUp;
  TTouchItemNotifyEvent OnItemEditEnd;
  TTouchItemCompareEvent OnItemCompare;
  TTouchGroupCompareEvent OnGroupCompare;
  TTouchAutoGroupGetKeyEvent OnAutoGroupGetKey;
  TTouchAutoSortGroupCreateEvent OnAutoSortGroupCreate;
  TTouchColumnPaintTextEvent OnColumnPaintText;
  TTouchItemCreateEditorEvent OnItemCreateEditor;
  TTouchItemGetEditCaptionEvent OnItemGetEditCaption;
  TTouchItemEditedEvent OnItemEdited;
  TTouchItemGetEditMenuEvent OnItemGetEditMenu;
  TTouchIncrementalSearchEvent OnIncrementalSearch;
  TTouchOLEGetDataObjectEvent OnOLEGetDataObject;
  TTouchColumnClickEvent OnColumnClick;
  TTouchColumnSizeChangingEvent OnColumnSizeChanging;
  TTouchColumnNotifyEvent OnColumnSizeChanged;
  TTouchPaintHeaderBkGndEvent OnPaintHeaderBkGnd;
  TTouchHeaderMouseEvent OnHeaderMouseDown;
  TTouchHeaderMouseEvent OnHeaderMouseUp;
  TTouchHeaderMouseMoveEvent OnHeaderMouseMove;
  TTouchHeaderDblClickEvent OnHeaderDblClick;
  TTouchHintCustomInfoEvent OnHintCustomInfo;
  TTouchHintCustomDrawEvent OnHintCustomDraw;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // A new window lays out what was added while there was none and becomes a drop target.
  void CreateWnd() override;
  void DestroyWnd() override;
  // The background, the items of the visible groups that meet the update area, then the header.
  void Paint() override;
  // The header spreads the change of the client width, then the control is laid out anew.
  void Resize() override;
  // Mouse input on the header strip goes to the header, elsewhere to the item under the pointer
  // (check box, focus, selection, hot tracking and the item mouse events).
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  // After the wheel events: one cell per notch in WheelMouseDefaultScroll's direction.
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, win::POINT MousePos) override;
  // Arrows and pages move the focus to the neighbouring item, Home and End to the first and last
  // visible item.
  void KeyDown(std::uint16_t& Key, TShiftState Shift) override;
  // Typed characters extend a running type-ahead search.
  void KeyPress(char& Key) override;
  // The armed edit's timer.
  void WndProc(TMessage& Message) override;
  // What the items show follows the focus (the focus rectangle, active or inactive selection
  // colours, blended images): gaining or losing it repaints the client area.
  void DoEnter() override;
  void DoExit() override;

 private:
  void SetImageList(TCustomImageList*& field, TCustomImageList* value);
  // The client-sized 32-bit bitmap the control paints into first.
  TCanvas* PaintBuffer();
  void PaintItems(TCanvas* canvas, const win::RECT& view_update);
  void PaintHeader(TCanvas* canvas, const win::RECT& update);
  bool MouseOnHeader(int y) const;
  // input.cpp: the item side of the mouse and the keys.
  TTouchItem* ItemUnder(win::POINT WindowPoint, TTouchItemHitTestInfoSet& HitInfo) const;
  void ItemMouseDown(TMouseButton Button, TShiftState Shift, win::POINT WindowPoint);
  void ItemMouseMove(TShiftState Shift, win::POINT WindowPoint);
  void ItemMouseUp(TMouseButton Button, TShiftState Shift, win::POINT WindowPoint);
  void TrackHotItem(win::POINT WindowPoint);
  // Focuses the item (the application may refuse) and, while selecting is enabled, makes it the
  // only selected item.
  void FocusAndSelect(TTouchItem* Item);
  bool MoveFocusByKey(std::uint16_t Key);
  // A click on the caption of the item that had the focus before it arms an edit; the edit
  // begins once the double-click time has passed with no other press, key or wheel turn, so that
  // a double tap never edits.
  void ArmEdit(TTouchItem* Item);
  void DisarmEdit();
  void BeginArmedEdit();

  // The item a button went down on; its button comes up as a click when still over it.
  struct ItemPress {
    TTouchItem* item = nullptr;  // not owned; forgotten when the item is freed
    TMouseButton button = mbLeft;
    bool double_click = false;  // the second press of a double click raises no click
    bool on_check = false;      // the press went to the item's check box
    bool was_focused = false;   // the item had the focus before the press
  };
  ItemPress press_;
  TTouchItem* armed_edit_ = nullptr;  // not owned; forgotten when the item is freed
  // Wheel movement short of a whole notch, kept for the next message.
  int wheel_rest_ = 0;

  TTouchListStyle view_ = elsIcon;
  bool destroying_ = false;
  int invalidate_lock_count_ = 0;
  int update_count_ = 0;
  bool show_group_margins_ = false;
  TTouchWheelScroll wheel_mouse_default_scroll_ = edwsVert;
  std::uint8_t disabled_blend_alpha_ = 128;
  TColor disabled_blend_color_ = clWindow;
  TCustomImageList* images_small_ = nullptr;     // not owned
  TCustomImageList* images_large_ = nullptr;     // not owned
  TCustomImageList* images_ex_large_ = nullptr;  // not owned
  TCustomImageList* images_state_ = nullptr;     // not owned
  // Declared in the order they are made; the collections go first when the control is freed.
  std::unique_ptr<TTouchPaintInfoItem> paint_info_item_;
  std::unique_ptr<TTouchPaintInfoGroup> paint_info_group_;
  std::unique_ptr<TTouchPaintInfoColumn> paint_info_column_;
  std::unique_ptr<TTouchCellSizes> cell_sizes_;
  std::unique_ptr<TTouchSelectionManager> selection_;
  std::unique_ptr<TTouchCheckManager> check_manager_;
  std::unique_ptr<TTouchHotTrackManager> hot_track_;
  std::unique_ptr<TTouchScrollbarManager> scrollbars_;
  std::unique_ptr<TTouchEditManager> edit_manager_;
  std::unique_ptr<TTouchOLEDragManager> drag_manager_;
  std::unique_ptr<TTouchIncrementalSearchManager> incremental_search_;
  std::unique_ptr<TTouchSortManager> sort_;
  std::unique_ptr<TTouchHintInfo> hint_info_;
  std::unique_ptr<TBitmap> paint_buffer_;
  std::unique_ptr<TTouchHeader> header_;
  std::unique_ptr<TTouchGroups> groups_;
  std::unique_ptr<TTouchGlobalItems> items_;
  win::ComPtr<TTouchDropTarget> drop_target_;  // made with the window, detached when the control goes
  win::HWND drop_target_window_ = nullptr;     // the window it is registered for
  std::shared_ptr<const void> lifetime_ = std::make_shared<int>(0);
};

inline int TTouchHeader::GetHeight() const {
  const TCustomTouchListview* control = GetOwnerListview();
  return visible_ && control && control->HeaderShows() ? height_ : 0;
}

inline win::RECT TTouchScrollbarManager::ClientViewRect() const {
  const TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return {};
  const win::RECT client = control->GetClientRect();
  const int dy = offset_y_ - control->GetHeader()->GetHeight();
  return {client.left + offset_x_, client.top + dy, client.right + offset_x_, client.bottom + dy};
}

class TTouchListview : public TCustomTouchListview {
 public:
  using TCustomTouchListview::TCustomTouchListview;
};

}  // namespace dashtune
