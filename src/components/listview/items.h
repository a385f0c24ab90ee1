// List items: the item's answers to state-change questions and its announcements (each through
// an event of the control), its painter object, hit testing, invalidation and scrolling into
// view; the virtual item (every datum asked of the control's events) and the stored item (data
// kept in an owned record); the item collection of a group.
#pragma once

#include <memory>
#include <new>

#include "components/listview/collection.h"
#include "components/listview/dynamic_data.h"
#include "components/listview/item_storage.h"

namespace dashtune {

class TTouchItem : public TTouchCollectionItem {
 public:
  explicit TTouchItem(TTouchCollection* ACollection);
  ~TTouchItem() override;
  // Marks the item destroying, makes the managers forget it and hides it.
  void BeforeDestruction() override;

  // Items live in the list view's item storage, packed by size; deleting one still runs its
  // BeforeDestruction first. An over-aligned item class does not compile.
  static void* operator new(std::size_t size) { return listview::AllocateItemStorage(size); }
  static void* operator new(std::size_t size, std::align_val_t alignment) = delete;
  static void operator delete(void* storage) noexcept { listview::ReleaseItemStorage(storage); }
  void operator delete(TTouchItem* item, std::destroying_delete_t);

  // The group that owns the item's collection (nullptr outside a group).
  TTouchGroup* GetOwnerGroup() const;
  int GetVisibleIndexInGroup() const { return visible_index_in_group_; }
  void SetVisibleIndexInGroup(int Value) { visible_index_in_group_ = Value; }
  // The place among the visible items of the whole control, -1 when the item has no place in a
  // group. Kept by the group as the place of its first visible item, so that a million items do
  // not each hold it; written by the layout after the place in the group.
  int GetVisibleIndex() const;
  void SetVisibleIndex(int Value);
  // The column in a row-major grid and the row in a column-major grid; -1 for a hidden item or
  // a grid without columns (rows).
  int ColumnPos() const;
  int RowPos() const;

  int GetStateImageIndex() { return GetStateImageIndexes(0); }
  void SetStateImageIndex(int Value) { SetStateImageIndexes(0, Value); }
  virtual TCommonImageIndexInteger GetStateImageIndexes(int Column) = 0;
  virtual void SetStateImageIndexes(int Column, TCommonImageIndexInteger Value) = 0;
  virtual TCustomImageList* GetStateImageList(int Column) = 0;
  virtual std::uint32_t GetGroupKey(int FocusedColumn) { (void)FocusedColumn; return 0; }
  virtual void SetGroupKey(int FocusedColumn, std::uint32_t Value) = 0;

  // The shared list of adjacent selected items this item belongs to (nil outside one); the item
  // holds one reference.
  TTouchSelectionGroupList* GetSelectionGroup() const { return GetRareFields() ? GetRareFields()->selection_group : nullptr; }
  void SetSelectionGroup(TTouchSelectionGroupList* Value);

  // The painter for the control's current view (made or replaced on request).
  TTouchViewItem* GetView();
  TTouchViewItemClass ViewClass();
  // The rectangles of the item's parts (zero-filled without a painter).
  void ItemRects(TTouchColumn* Column, TCanvas* ACanvas, TTouchRectArrayObject& RectArray);
  // Paints the item into ACanvas (view coordinates); ForceSelectionRect paints the highlight.
  void Paint(TCanvas* ACanvas, const win::RECT& ViewportClipRect, TTouchColumn* Column, bool ForceSelectionRect);
  bool HitTestAt(win::POINT ViewportPoint, TTouchItemHitTestInfoSet& HitInfo);
  bool SelectionHit(const win::RECT& SelectViewportRect);
  bool SelectionHitPt(win::POINT ViewportPoint);
  // Scrolls the control so that the item shows: 0 to the top left, 1 centred, 2 to the bottom
  // right, 3 the least scroll.
  void MakeVisible(int Position);

  void Invalidate(bool ImmediateUpdate) override;
  void LoadFromStream(TStream* S, int& Version) override;
  void SaveToStream(TStream* S, int Version) override;
  void SetInitialized(bool Value) override;

 protected:
  bool CanChangeBold(bool) override { return true; }
  bool CanChangeCheck(bool Value) override;
  bool CanChangeEnable(bool Value) override;
  bool CanChangeFocus(bool Value) override;
  bool CanChangeHotTracking(bool) override { return true; }
  bool CanChangeSelection(bool Value) override;
  bool CanChangeVisibility(bool Value) override;
  void BoldGained() override { Invalidate(false); }
  void BoldLost() override { Invalidate(false); }
  void CheckGained() override;
  void CheckLost() override;
  void EnableGained() override;
  void EnableLost() override;
  void FocusGained() override;
  void FocusLost() override;
  void GhostedGained() override { Invalidate(false); }
  void GhostedLost() override { InvalidateUnlessDestroying(); }
  void DropTargetGained() override { Invalidate(true); }
  void DropTargetLost() override { Invalidate(true); }
  void HotTrackingGained(win::POINT MousePos) override;
  void HotTrackingLost(win::POINT MousePos) override;
  void SelectionGained() override;
  void SelectionLost() override;
  void VisibilityGained() override;
  void VisibilityLost() override;
  void Initialize() override;
  TTouchPaintInfoBasic* DefaultPaintInfo() const override;
  void ReleaseNotification() override;
  void InvalidateUnlessDestroying() { if (!GetDestroying()) Invalidate(false); }

 private:
  // Repaints for a changed selection or focus: the whole control with GroupSelections.
  void SelectionLookChanged();
  // Invalidate's work for an item the client area shows: its cell and its full focus rectangle.
  void InvalidateShown(TCustomTouchListview* control, bool ImmediateUpdate);

  friend class TTouchSelectionManager;
  int visible_index_in_group_ = -1;
  int selected_slot_ = -1;  // the item's place among the selection manager's selected items
};

// An item without data: every caption, image and detail is asked of the control's events.
class TTouchItemVirtual : public TTouchItem {
 public:
  using TTouchItem::TTouchItem;

  WideString GetCaptions(int Column) override;
  void SetCaptions(int Column, const WideString& Value) override;
  TCommonImageIndexInteger GetImageIndexes(int Column) override;
  void SetImageIndexes(int Column, TCommonImageIndexInteger Value) override;
  TCommonImageIndexInteger GetImageOverlayIndexes(int Column) override;
  void SetImageOverlayIndexes(int Column, TCommonImageIndexInteger Value) override;
  TCommonImageIndexInteger GetStateImageIndexes(int Column) override;
  void SetStateImageIndexes(int Column, TCommonImageIndexInteger Value) override;
  TCustomImageList* GetImageList(int Column, int ImageSize) override;
  TCustomImageList* GetStateImageList(int Column) override;
  int GetDetailCount() override;
  void SetDetailCount(int) override { Invalidate(false); }
  int GetDetails(int Line) override;
  void SetDetails(int Line, int Value) override;
  std::uint32_t GetGroupKey(int FocusedColumn) override;
  void SetGroupKey(int FocusedColumn, std::uint32_t Value) override;
  void ImageDraw(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& RectArray,
                 TTouchAlphaBlender* AlphaBlender) override;
  void ImageDrawGetSize(TTouchColumn* Column, int& ImageWidth, int& ImageHeight) override;
  bool ImageDrawIsCustom(TTouchColumn* Column) override;
  void ThumbnailDraw(TCanvas* ACanvas, const win::RECT& ARect, TTouchAlphaBlender* AlphaBlender,
                     bool& DoDefault) override;
};

// An item that keeps its data in an owned record, streamed with the item.
class TTouchItemStored : public TTouchStoredData<TTouchItem, TTouchItemDynamicDataHelper> {
 public:
  using TTouchStoredData<TTouchItem, TTouchItemDynamicDataHelper>::TTouchStoredData;

  TCommonImageIndexInteger GetStateImageIndexes(int Column) override { return data_.GetStateImageIndex(Column); }
  void SetStateImageIndexes(int Column, TCommonImageIndexInteger Value) override;
  TCustomImageList* GetImageList(int, int ImageSize) override { return DefaultImageList(ImageSize); }
  TCustomImageList* GetStateImageList(int Column) override;
  // One detail count for every stored item: the control's PaintInfoItem.TileDetailCount.
  int GetDetailCount() override;
  void SetDetailCount(int Value) override;
  int GetDetails(int Line) override { return data_.GetDetail(Line); }
  void SetDetails(int Line, int Value) override;
  std::uint32_t GetGroupKey(int FocusedColumn) override { return data_.GetGroupKey(FocusedColumn); }
  void SetGroupKey(int FocusedColumn, std::uint32_t Value) override { data_.SetGroupKey(FocusedColumn, Value); }
  void ImageDraw(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& RectArray,
                 TTouchAlphaBlender* AlphaBlender) override;
  void ImageDrawGetSize(TTouchColumn* Column, int& ImageWidth, int& ImageHeight) override;
  bool ImageDrawIsCustom(TTouchColumn* Column) override;
  void ThumbnailDraw(TCanvas* ACanvas, const win::RECT& ARect, TTouchAlphaBlender* AlphaBlender,
                     bool& DoDefault) override;
};

// The items of one group.
class TTouchItems : public TTouchCollection {
 public:
  TTouchItems(TCustomTouchListview* AOwner, TTouchGroup* AOwnerGroup);
  ~TTouchItems() override;

  TTouchGroup* GetOwnerGroup() const override { return owner_group_; }
  TTouchItem* GetItem(int Index) const { return static_cast<TTouchItem*>(TTouchCollection::GetItem(Index)); }
  TTouchItemVirtual* AddVirtual(std::intptr_t Data = 0);
  TTouchItemStored* AddStored(std::intptr_t Data = 0);
  // Clearing also ends a running type-ahead search, as its reset timer does.
  void Clear(bool FreeItems = true) override;

 protected:
  void DoStructureChange() override;
  // Virtual items keep no data record: a collection holding any is saved with the kind of each
  // item before its record, so that it loads back as it was.
  std::int32_t SaveVersion() const override;
  void SaveMember(TStream* S, TTouchCollectionItem* Item, std::int32_t Version) override;
  std::int64_t MinimumRecordSize(std::int32_t Version) const override;
  bool LoadMember(TStream* S, std::int32_t Version) override;

 private:
  TTouchGroup* owner_group_;  // not owned: it owns this collection
};

}  // namespace dashtune
