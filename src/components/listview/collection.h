// The base of everything the list view keeps in collections (items, groups, columns): the state
// word and the rule by which a state change is asked for, applied and announced, the stream
// record, the cell's invalidation; and the ordered collection that holds such members.
#pragma once

#include <cstdint>
#include <memory>

#include "classlib/classes.h"
#include "classlib/lists.h"
#include "classlib/streams.h"
#include "components/listview/listview_types.h"
#include "platform/com/com_ptr.h"
#include "platform/com/unknown.h"

namespace dashtune {

class TTouchPaintInfoBasic;

// Base of the control's auxiliary objects.
class TTouchPersistent : public TPersistent {};

// An auxiliary object of a control; the control is not owned and outlives the object.
class TTouchOwnedPersistent : public TTouchPersistent {
 public:
  explicit TTouchOwnedPersistent(TCustomTouchListview* AOwner) : owner_listview_(AOwner) {}
  TCustomTouchListview* GetOwnerListview() const { return owner_listview_; }

 private:
  TCustomTouchListview* owner_listview_;
};

class TTouchCollectionItem : public TTouchPersistent {
 public:
  explicit TTouchCollectionItem(TTouchCollection* ACollection);  // not owned: it owns the item
  ~TTouchCollectionItem() override;
  TTouchCollectionItem(const TTouchCollectionItem&) = delete;
  TTouchCollectionItem& operator=(const TTouchCollectionItem&) = delete;

  TTouchCollection* GetCollection() const { return collection_; }
  // Asked several times by every state change: defined where the collection is complete.
  inline TCustomTouchListview* GetOwnerListview() const;

  std::intptr_t GetData() const { return data_; }
  virtual void SetData(std::intptr_t Value) { data_ = Value; }
  // The interface calls of a member: it counts no references (its collection owns it) and
  // hands out no interface.
  virtual std::int32_t _AddRef() { return -1; }
  virtual std::int32_t _Release() { return -1; }
  virtual win::HRESULT QueryInterface(win::REFIID IID, void** Obj);
  // The interface held for the caller (a counted reference).
  win::ComPtr<win::IUnknown> GetDataInf() const { return rare_ ? rare_->data_inf : nullptr; }
  void SetDataInf(win::ComPtr<win::IUnknown> Value);

  const win::RECT& GetDisplayRect() const { return display_rect_; }
  // Counted by the collection, so that plans of where its members lie can tell they are stale.
  void SetDisplayRect(const win::RECT& Value);
  std::intptr_t GetTag() const { return rare_ ? rare_->tag : 0; }
  void SetTag(std::intptr_t Value);
  std::uint16_t GetState() const { return state_; }

  // The cached position, written by re-indexing.
  virtual int GetIndex() const { return index_; }
  void SetIndexCache(int Value) { index_ = Value; }

  // The item's own paint info (nullptr: the control's default for its kind is read).
  TTouchPaintInfoBasic* GetOwnPaintInfo() const { return rare_ ? rare_->paint_info.get() : nullptr; }
  void SetOwnPaintInfo(std::unique_ptr<TTouchPaintInfoBasic> Value);
  TTouchPaintInfoBasic* GetPaintInfo() const;

  // Paint properties read through the paint info.
  int GetBorder() const;
  TColor GetBorderColor() const;
  int GetCaptionIndent() const;
  bool GetCheckFlat() const;
  int GetCheckIndent() const;
  int GetCheckSize() const;
  TTouchCheckType GetCheckType() const;
  int GetImageIndent() const;
  TCommonVAlignment GetVAlignment() const;
  TAlignment GetAlignment() const;

  bool GetBold() const { return Has(esfBold); }
  void SetBold(bool Value);
  virtual bool GetChecked() const { return Has(esfChecked); }
  virtual void SetChecked(bool Value);
  bool GetCheckPending() const { return Has(esfCheckPending); }
  void SetCheckPending(bool Value) { SetPaintOnlyBit(esfCheckPending, Value); }
  bool GetCheckHovering() const { return Has(esfCheckHovering); }
  void SetCheckHovering(bool Value) { SetPaintOnlyBit(esfCheckHovering, Value); }
  bool GetClicking() const { return Has(esfClicking); }
  void SetClicking(bool Value) { SetBit(esfClicking, Value); }
  bool GetCut() const { return Has(esfCut); }
  void SetCut(bool Value) { SetPaintOnlyBit(esfCut, Value); }
  bool GetDestroying() const { return Has(esfDestroying); }
  // Marks the last phase of the member's life; never cleared.
  void SetDestroying() { state_ |= esfDestroying; }
  bool GetGhosted() const { return Has(esfGhosted); }
  void SetGhosted(bool Value);
  bool GetDropTarget() const { return Has(esfDropTarget); }
  void SetDropTarget(bool Value);
  bool GetEnabled() const { return Has(esfEnabled); }
  void SetEnabled(bool Value);
  bool GetFocused() const { return Has(esfFocused); }
  void SetFocused(bool Value);
  bool GetInitialized() const { return Has(esfInitialized); }
  virtual void SetInitialized(bool Value);
  bool GetSelected() const { return Has(esfSelected); }
  void SetSelected(bool Value);
  bool GetVisible() const { return Has(esfVisible); }
  void SetVisible(bool Value);
  bool GetHotTracking() const { return Has(esfHotTracking); }
  void SetHotTracking(bool Value, win::POINT MousePos);

  // Captions, images and data, filled by the concrete members.
  WideString GetCaption() { return GetCaptions(0); }
  void SetCaption(const WideString& Value) { SetCaptions(0, Value); }
  virtual WideString GetCaptions(int Column) = 0;
  virtual void SetCaptions(int Column, const WideString& Value) = 0;
  int GetImageIndex() { return GetImageIndexes(0); }
  void SetImageIndex(int Value) { SetImageIndexes(0, Value); }
  virtual TCommonImageIndexInteger GetImageIndexes(int Column) = 0;
  virtual void SetImageIndexes(int Column, TCommonImageIndexInteger Value) = 0;
  int GetImageOverlayIndex() { return GetImageOverlayIndexes(0); }
  void SetImageOverlayIndex(int Value) { SetImageOverlayIndexes(0, Value); }
  virtual TCommonImageIndexInteger GetImageOverlayIndexes(int Column) = 0;
  virtual void SetImageOverlayIndexes(int Column, TCommonImageIndexInteger Value) = 0;
  // The image list for an image size (0 small, 1 large, 2 extra large).
  virtual TCustomImageList* GetImageList(int Column, int ImageSize) = 0;
  virtual int GetDetailCount() = 0;
  virtual void SetDetailCount(int Value) = 0;
  virtual int GetDetails(int Line) = 0;
  virtual void SetDetails(int Line, int Value) = 0;
  virtual void ImageDraw(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& RectArray,
                         TTouchAlphaBlender* AlphaBlender) = 0;
  virtual void ImageDrawGetSize(TTouchColumn* Column, int& ImageWidth, int& ImageHeight) = 0;
  virtual bool ImageDrawIsCustom(TTouchColumn* Column) = 0;
  virtual void ThumbnailDraw(TCanvas* ACanvas, const win::RECT& ARect, TTouchAlphaBlender* AlphaBlender,
                             bool& DoDefault) = 0;
  // The control's image list for an image size: 0 ImagesSmall, 1 ImagesLarge, 2 ImagesExLarge.
  virtual TCustomImageList* DefaultImageList(int ImageSize) const;
  // The caption, or the class name when the caption is empty.
  std::string GetDisplayName();

  // Repaints the member's cell.
  virtual void Invalidate(bool ImmediateUpdate);

  // The stream record: marker, version, persistent state bits; descendants append their data.
  // Version: in, ignored; out, the record's version (2 for a record without marker). A load
  // restores every stored bit the state rule lets the member hold together.
  virtual void LoadFromStream(TStream* S, int& Version);
  virtual void SaveToStream(TStream* S, int Version);

  static constexpr std::uint32_t kStreamMarker = 0x00CEFEFF;

 protected:
  bool Has(std::uint16_t bit) const { return (state_ & bit) != 0; }
  void SetBit(std::uint16_t bit, bool on) { state_ = on ? (state_ | bit) : (state_ & ~bit); }
  void SetPaintOnlyBit(std::uint16_t bit, bool on);
  // Applies the persistent bits of a stream record through the setters.
  void RestorePersistentState(std::uint16_t stored);

  // Asking: whether a change to Value may happen.
  virtual bool CanChangeBold(bool Value) = 0;
  virtual bool CanChangeCheck(bool Value) = 0;
  virtual bool CanChangeEnable(bool Value) = 0;
  virtual bool CanChangeFocus(bool Value) = 0;
  virtual bool CanChangeHotTracking(bool Value) = 0;
  virtual bool CanChangeSelection(bool Value) = 0;
  virtual bool CanChangeVisibility(bool Value) = 0;
  // Notifications after the bit changed.
  virtual void BoldGained() = 0;
  virtual void BoldLost() = 0;
  virtual void CheckGained() = 0;
  virtual void CheckLost() = 0;
  virtual void EnableGained() = 0;
  virtual void EnableLost() = 0;
  virtual void FocusGained() = 0;
  virtual void FocusLost() = 0;
  virtual void GhostedGained() = 0;
  virtual void GhostedLost() = 0;
  virtual void DropTargetGained() = 0;
  virtual void DropTargetLost() = 0;
  virtual void HotTrackingGained(win::POINT MousePos) = 0;
  virtual void HotTrackingLost(win::POINT MousePos) = 0;
  virtual void SelectionGained() = 0;
  virtual void SelectionLost() = 0;
  virtual void VisibilityGained() = 0;
  virtual void VisibilityLost() = 0;
  // Runs when Initialized becomes true.
  virtual void Initialize() = 0;
  // The control's paint info for the member's kind.
  virtual TTouchPaintInfoBasic* DefaultPaintInfo() const = 0;
  // Runs while the member is freed, before its destructors.
  virtual void ReleaseNotification() = 0;

  // What few members carry (a data interface, their own paint info, a tag, an item's painter and
  // selection group list), kept apart: a member carrying none pays one pointer for them all.
  struct TRareFields {
    ~TRareFields();  // where the painter's type is complete
    win::ComPtr<win::IUnknown> data_inf;
    std::unique_ptr<TTouchPaintInfoBasic> paint_info;
    std::intptr_t tag = 0;
    std::unique_ptr<TTouchViewItem> view;
    TTouchSelectionGroupList* selection_group = nullptr;  // a descendant holds its reference
  };
  TRareFields* GetRareFields() const { return rare_.get(); }
  // Made on first use.
  TRareFields& RareFields();

 public:
  // Deleting runs this while the member is whole: marks it destroying, makes the control forget
  // it, then the release notification. Descendants extend it.
  void BeforeDestruction() override;

 private:
  // One setter for the asked-for bits: the state-change rule, made once for each bit so that
  // a change asks and announces without looking the bit up.
  template <std::uint16_t kBit>
  void ChangeState(bool value, win::POINT mouse_pos = {});
  template <std::uint16_t kBit>
  bool Ask(bool value);
  template <std::uint16_t kBit>
  void Announce(bool gained, win::POINT mouse_pos);

  // A million items are a million of these: the fields are ordered so that no padding falls
  // between them, and a descendant's small fields take the room left at the end.
  friend class TTouchCollection;
  TTouchCollection* collection_;
  std::intptr_t data_ = 0;
  std::unique_ptr<TRareFields> rare_;
  win::RECT display_rect_{};
  int index_ = -1;
  std::uint16_t state_ = esfVisible | esfEnabled;
};

// The factory of a collection's members.
using TTouchCollectionItemClass = TClassOf<TTouchCollectionItem, TTouchCollection*>;

// The members a collection shows, in display order: read like a list.
class TTouchVisibleMembers {
 public:
  TTouchVisibleMembers(const TList& List, int Count) : list_(&List), count_(Count) {}
  int GetCount() const { return count_; }
  // Unchecked beyond the list's own check: the caller keeps Index in 0..Count-1.
  void* Get(int Index) const { return list_->Get(Index); }
  void* First() const { return list_->Get(0); }
  void* Last() const { return list_->Get(count_ - 1); }

 private:
  const TList* list_;
  int count_;
};

// An ordered collection of members. It owns its members.
class TTouchCollection : public TTouchOwnedPersistent {
 public:
  explicit TTouchCollection(TCustomTouchListview* AOwner);
  ~TTouchCollection() override;
  TTouchCollection(const TTouchCollection&) = delete;
  TTouchCollection& operator=(const TTouchCollection&) = delete;

  // Creates a member of ItemClass, appends it, sets its Index, then DoItemAdd, SetData and
  // DoStructureChange; answers it.
  TTouchCollectionItem* Add(std::intptr_t Data);
  int GetCount() const { return list_.GetCount(); }
  // Unchecked: the caller keeps Index in 0..Count-1.
  TTouchCollectionItem* GetItem(int Index) const { return static_cast<TTouchCollectionItem*>(list_.Get(Index)); }
  void SetItem(int Index, TTouchCollectionItem* Value);
  // The member list and the visible list (members in display order, filled by the layout).
  // Members are reordered through SetItem, never through the list itself.
  TList& GetList() { return list_; }
  const TList& GetList() const { return list_; }
  TTouchVisibleMembers GetVisibleList() const;
  int GetVisibleCount() const { return GetVisibleList().GetCount(); }
  // Filling the visible list: emptied, then each shown member in display order; Add answers the
  // member's place in it.
  void StartVisibleList();
  int AddVisible(TTouchCollectionItem* Item);

  virtual TTouchCollectionItem* FirstVisible();
  virtual TTouchCollectionItem* LastVisible();
  virtual TTouchCollectionItem* NextVisible(TTouchCollectionItem* Item);
  virtual TTouchCollectionItem* PrevVisible(TTouchCollectionItem* Item);
  virtual void BeginUpdate();
  virtual void EndUpdate(bool Invalidate = true);
  // Clears focus and selection of every member, marks them destroying and, with FreeItems,
  // frees them; empties both lists.
  virtual void Clear(bool FreeItems = true);
  virtual void MakeAllVisible();
  // Stream: version 4, count, then each member's record.
  virtual void LoadFromStream(TStream* S);
  virtual void SaveToStream(TStream* S);

  int GetUpdateCount() const { return update_count_; }
  void SetUpdating(bool Value);
  // Sets every member's Index to its position (unless the control's groups are updating).
  void ReIndexItems();
  // Sets every member's Index, whatever the groups' state (after a reorder).
  void ReIndexAll();

  bool GetNoStore() const { return no_store_; }
  void SetNoStore(bool Value) { no_store_ = Value; }
  // Whether the "Items" binary property is written: members and no no-store flag.
  bool StoresItems() const { return GetCount() > 0 && !no_store_; }
  // The binary property "Items": the collection's stream.
  void DefineProperties(TFiler* Filer) override;

  // The group whose items the members are; nullptr for groups and columns. Asked for every item
  // the layout places, so no type test.
  virtual TTouchGroup* GetOwnerGroup() const { return nullptr; }

  TTouchCollectionItemClass GetItemClass() const { return item_class_; }
  void SetItemClass(TTouchCollectionItemClass Value) { item_class_ = Value; }

  // Takes a member that is freed out of the lists (nothing while the collection clears).
  void ForgetMember(TTouchCollectionItem* Item);
  // Appends a new member; sets its Index.
  void AppendMember(TTouchCollectionItem* Item);
  // Takes over a member that another collection has let go of (regrouping).
  void AdoptMember(TTouchCollectionItem* Item);
  // How many times a member's display rectangle was written (wraps; only equality counts).
  std::uint32_t GetRectWrites() const { return rect_writes_; }

 protected:
  virtual void DoItemAdd(TTouchCollectionItem* Item, int Index);
  virtual void DoStructureChange();
  // The stream's parts a descendant may extend: the version a save starts with, each member's
  // record, the fewest bytes a record of a version takes, and loading one record into a new
  // member (false when no member could be made).
  virtual std::int32_t SaveVersion() const { return 4; }
  virtual void SaveMember(TStream* S, TTouchCollectionItem* Item, std::int32_t Version);
  // Every record holds at least its 2-byte state word.
  virtual std::int64_t MinimumRecordSize(std::int32_t) const { return 2; }
  virtual bool LoadMember(TStream* S, std::int32_t Version);

 private:
  // Copies the shared leading members into a list of their own.
  void SeparateVisibleList();

  friend class TTouchCollectionItem;
  TList list_;
  // While every member shown so far is the member at that place (the usual case: all shown, in
  // member order), the visible list is the first shared_visible_ members of list_ and takes no
  // room of its own; otherwise (-1) it is visible_list_.
  TList visible_list_;
  int shared_visible_ = 0;
  std::uint32_t rect_writes_ = 0;
  int update_count_ = 0;
  bool clearing_ = false;
  bool no_store_ = false;
  TTouchCollectionItemClass item_class_;
};

inline TCustomTouchListview* TTouchCollectionItem::GetOwnerListview() const {
  return collection_ ? collection_->GetOwnerListview() : nullptr;
}

inline void TTouchCollectionItem::SetDisplayRect(const win::RECT& Value) {
  display_rect_ = Value;
  if (collection_) ++collection_->rect_writes_;
}

namespace listview {

// An update bracket held open for a scope (a collection or the control): one layout when it
// closes, also when an exception leaves the scope.
template <class Updatable>
class UpdateBracket {
 public:
  explicit UpdateBracket(Updatable* target) : target_(target) { target_->BeginUpdate(); }
  ~UpdateBracket() { target_->EndUpdate(true); }
  UpdateBracket(const UpdateBracket&) = delete;
  UpdateBracket& operator=(const UpdateBracket&) = delete;

 private:
  Updatable* target_;
};

}  // namespace listview

}  // namespace dashtune
