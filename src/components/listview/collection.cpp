#include "components/listview/collection.h"

#include "classlib/filer.h"
#include "components/listview/common/common_utilities.h"
#include "components/listview/listview.h"
#include "components/listview/stream_integers.h"
#include "components/listview/view_items.h"
#include "platform/core/strings.h"
#include "platform/gdi/gdi.h"

namespace dashtune {

using listview::ReadInteger;
using listview::WriteInteger;

// ---- TTouchCollectionItem ----

TTouchCollectionItem::TTouchCollectionItem(TTouchCollection* ACollection) : collection_(ACollection) {}

TTouchCollectionItem::~TTouchCollectionItem() = default;

void TTouchCollectionItem::BeforeDestruction() {
  SetDestroying();
  if (TCustomTouchListview* control = GetOwnerListview()) control->ForgetMember(this);
  ReleaseNotification();
  if (collection_) collection_->ForgetMember(this);
}

TTouchCollectionItem::TRareFields::~TRareFields() = default;

TTouchCollectionItem::TRareFields& TTouchCollectionItem::RareFields() {
  if (!rare_) rare_ = std::make_unique<TRareFields>();
  return *rare_;
}

void TTouchCollectionItem::SetDataInf(win::ComPtr<win::IUnknown> Value) {
  if (Value || rare_) RareFields().data_inf = std::move(Value);
}

void TTouchCollectionItem::SetTag(std::intptr_t Value) {
  if (Value != 0 || rare_) RareFields().tag = Value;
}

void TTouchCollectionItem::SetOwnPaintInfo(std::unique_ptr<TTouchPaintInfoBasic> Value) {
  if (Value || rare_) RareFields().paint_info = std::move(Value);
}

TTouchPaintInfoBasic* TTouchCollectionItem::GetPaintInfo() const {
  TTouchPaintInfoBasic* own = GetOwnPaintInfo();
  return own ? own : DefaultPaintInfo();
}

namespace {
// The paint info's value, or the paint info's default when the member has none to read.
template <class T>
T ReadPaint(const TTouchPaintInfoBasic* info, T (TTouchPaintInfoBasic::*getter)() const) {
  static const TTouchPaintInfoBasic defaults(nullptr);
  return ((info ? info : &defaults)->*getter)();
}
}  // namespace

int TTouchCollectionItem::GetBorder() const { return ReadPaint(GetPaintInfo(), &TTouchPaintInfoBasic::GetBorder); }
TColor TTouchCollectionItem::GetBorderColor() const { return ReadPaint(GetPaintInfo(), &TTouchPaintInfoBasic::GetBorderColor); }
int TTouchCollectionItem::GetCaptionIndent() const { return ReadPaint(GetPaintInfo(), &TTouchPaintInfoBasic::GetCaptionIndent); }
bool TTouchCollectionItem::GetCheckFlat() const { return ReadPaint(GetPaintInfo(), &TTouchPaintInfoBasic::GetCheckFlat); }
int TTouchCollectionItem::GetCheckIndent() const { return ReadPaint(GetPaintInfo(), &TTouchPaintInfoBasic::GetCheckIndent); }
int TTouchCollectionItem::GetCheckSize() const { return ReadPaint(GetPaintInfo(), &TTouchPaintInfoBasic::GetCheckSize); }
TTouchCheckType TTouchCollectionItem::GetCheckType() const { return ReadPaint(GetPaintInfo(), &TTouchPaintInfoBasic::GetCheckType); }
int TTouchCollectionItem::GetImageIndent() const { return ReadPaint(GetPaintInfo(), &TTouchPaintInfoBasic::GetImageIndent); }
TCommonVAlignment TTouchCollectionItem::GetVAlignment() const { return ReadPaint(GetPaintInfo(), &TTouchPaintInfoBasic::GetVAlignment); }
TAlignment TTouchCollectionItem::GetAlignment() const { return ReadPaint(GetPaintInfo(), &TTouchPaintInfoBasic::GetAlignment); }

TCustomImageList* TTouchCollectionItem::DefaultImageList(int ImageSize) const {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return nullptr;
  switch (ImageSize) {
    case 0: return control->GetImagesSmall();
    case 1: return control->GetImagesLarge();
    case 2: return control->GetImagesExLarge();
    default: return nullptr;
  }
}

std::string TTouchCollectionItem::GetDisplayName() {
  const WideString caption = GetCaption();
  if (caption.empty()) return ClassName();
  return win::Utf16ToUtf8(caption);
}

win::HRESULT TTouchCollectionItem::QueryInterface(win::REFIID, void** Obj) {
  if (Obj) *Obj = nullptr;
  return win::E_NOINTERFACE;
}

void TTouchCollectionItem::SetBold(bool Value) { ChangeState<esfBold>(Value); }
void TTouchCollectionItem::SetChecked(bool Value) { ChangeState<esfChecked>(Value); }
void TTouchCollectionItem::SetEnabled(bool Value) { ChangeState<esfEnabled>(Value); }
void TTouchCollectionItem::SetFocused(bool Value) { ChangeState<esfFocused>(Value); }
void TTouchCollectionItem::SetSelected(bool Value) { ChangeState<esfSelected>(Value); }
void TTouchCollectionItem::SetVisible(bool Value) { ChangeState<esfVisible>(Value); }
void TTouchCollectionItem::SetHotTracking(bool Value, win::POINT MousePos) { ChangeState<esfHotTracking>(Value, MousePos); }

void TTouchCollectionItem::SetGhosted(bool Value) {
  if (GetGhosted() == Value) return;
  SetBit(esfGhosted, Value);
  Value ? GhostedGained() : GhostedLost();
}

void TTouchCollectionItem::SetPaintOnlyBit(std::uint16_t bit, bool on) {
  SetBit(bit, on);
  Invalidate(false);
}

void TTouchCollectionItem::SetDropTarget(bool Value) {
  if (GetDropTarget() == Value) return;
  if (!Value && GetDestroying()) {
    SetFocused(false);
    SetSelected(false);
  }
  SetBit(esfDropTarget, Value);
  Value ? DropTargetGained() : DropTargetLost();
}

void TTouchCollectionItem::SetInitialized(bool Value) {
  if (Value) {
    SetBit(esfInitialized, true);
    Initialize();
  } else {
    SetBit(esfInitialized, false);
  }
}

template <std::uint16_t kBit>
void TTouchCollectionItem::ChangeState(bool value, win::POINT mouse_pos) {
  if constexpr (kBit == esfFocused || kBit == esfSelected)
    if (value && !(GetVisible() && GetEnabled())) return;
  if (Has(kBit) == value) return;
  // A member on its way out only lets go of its states, never takes one on.
  if (value && GetDestroying()) return;
  if constexpr (kBit == esfEnabled) {
    if (!value) {
      SetFocused(false);
      SetSelected(false);
    }
  } else if constexpr (kBit == esfVisible) {
    if (!value) {
      SetFocused(false);
      SetSelected(false);
      SetChecked(false);
    }
  }
  if (!GetDestroying() && !Ask<kBit>(value)) return;
  // An asking handler may have changed the state meanwhile.
  if (Has(kBit) == value) return;
  SetBit(kBit, value);
  Announce<kBit>(value, mouse_pos);
}

template <std::uint16_t kBit>
bool TTouchCollectionItem::Ask(bool value) {
  if constexpr (kBit == esfBold) return CanChangeBold(value);
  else if constexpr (kBit == esfChecked) return CanChangeCheck(value);
  else if constexpr (kBit == esfEnabled) return CanChangeEnable(value);
  else if constexpr (kBit == esfFocused) return CanChangeFocus(value);
  else if constexpr (kBit == esfHotTracking) return CanChangeHotTracking(value);
  else if constexpr (kBit == esfSelected) return CanChangeSelection(value);
  else {
    static_assert(kBit == esfVisible, "only the asked-for bits change by the rule");
    return CanChangeVisibility(value);
  }
}

template <std::uint16_t kBit>
void TTouchCollectionItem::Announce(bool gained, win::POINT mouse_pos) {
  if constexpr (kBit == esfBold) gained ? BoldGained() : BoldLost();
  else if constexpr (kBit == esfChecked) gained ? CheckGained() : CheckLost();
  else if constexpr (kBit == esfEnabled) gained ? EnableGained() : EnableLost();
  else if constexpr (kBit == esfFocused) gained ? FocusGained() : FocusLost();
  else if constexpr (kBit == esfHotTracking) gained ? HotTrackingGained(mouse_pos) : HotTrackingLost(mouse_pos);
  else if constexpr (kBit == esfSelected) gained ? SelectionGained() : SelectionLost();
  else {
    static_assert(kBit == esfVisible, "only the asked-for bits change by the rule");
    gained ? VisibilityGained() : VisibilityLost();
  }
}

void TTouchCollectionItem::Invalidate(bool ImmediateUpdate) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || control->GetInvalidateLockCount() > 0 || !control->HandleAllocated()) return;
  const win::RECT mapped = control->GetScrollbars()->MapViewRectToWindow(display_rect_);
  const win::RECT client = control->GetClientRect();
  win::RECT visible{};
  if (win::IntersectRect(&visible, &mapped, &client)) common::SafeInvalidateRect(control, &visible, ImmediateUpdate);
}

void TTouchCollectionItem::LoadFromStream(TStream* S, int& Version) {
  const std::int64_t start = S->GetPosition();
  std::uint8_t head[4];
  const int read = S->Read(head, 4);
  const std::uint32_t marker = head[0] | (head[1] << 8) | (head[2] << 16) | (static_cast<std::uint32_t>(head[3]) << 24);
  if (read == 4 && marker == kStreamMarker) {
    Version = ReadInteger(S);
  } else {
    // No marker: an old record; step back by what was read.
    S->SetPosition(start);
    Version = 2;
  }
  std::uint8_t state[2];
  S->ReadBuffer(state, 2);
  RestorePersistentState(static_cast<std::uint16_t>(state[0] | (state[1] << 8)));
}

// The setters depend on each other: a disabled member refuses a check, disabling keeps the check
// but drops the selection, hiding drops check and selection, and only a shown, enabled member
// takes the selection. So visibility comes first, then a stored or needed enabling, then check
// and selection, and a stored disabling last.
void TTouchCollectionItem::RestorePersistentState(std::uint16_t stored) {
  const auto has = [stored](std::uint16_t bit) { return (stored & bit) != 0; };
  SetVisible(has(esfVisible));
  if (has(esfEnabled) || has(esfChecked) != GetChecked()) SetEnabled(true);
  SetChecked(has(esfChecked));
  SetSelected(has(esfSelected));
  if (!has(esfEnabled)) SetEnabled(false);
  SetBold(has(esfBold));
}

void TTouchCollectionItem::SaveToStream(TStream* S, int Version) {
  WriteInteger(S, static_cast<std::int32_t>(kStreamMarker));
  WriteInteger(S, Version);
  const std::uint16_t stored = state_ & kPersistentStateMask;
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(stored), static_cast<std::uint8_t>(stored >> 8)};
  S->WriteBuffer(bytes, 2);
}

// ---- TTouchCollection ----

TTouchCollection::TTouchCollection(TCustomTouchListview* AOwner) : TTouchOwnedPersistent(AOwner) {}

TTouchCollection::~TTouchCollection() = default;

TTouchCollectionItem* TTouchCollection::Add(std::intptr_t Data) {
  if (!item_class_) return nullptr;
  std::unique_ptr<TTouchCollectionItem> made = item_class_.Create(this);
  TTouchCollectionItem* item = made.release();
  AppendMember(item);
  DoItemAdd(item, GetCount() - 1);
  item->SetData(Data);
  DoStructureChange();
  return item;
}

void TTouchCollection::AppendMember(TTouchCollectionItem* Item) {
  list_.Add(Item);
  // Only the new member needs its index: the others keep their places.
  Item->SetIndexCache(GetCount() - 1);
}

void TTouchCollection::AdoptMember(TTouchCollectionItem* Item) {
  Item->collection_ = this;
  AppendMember(Item);
}

void TTouchCollection::ForgetMember(TTouchCollectionItem* Item) {
  if (clearing_) return;
  if (shared_visible_ < 0) visible_list_.Remove(Item);
  const int place = list_.Remove(Item);
  if (place < 0) return;
  if (place < shared_visible_) --shared_visible_;
  ReIndexItems();
}

void TTouchCollection::SetItem(int Index, TTouchCollectionItem* Value) {
  if (Index < shared_visible_) SeparateVisibleList();
  list_.Put(Index, Value);
}

TTouchVisibleMembers TTouchCollection::GetVisibleList() const {
  if (shared_visible_ >= 0) return {list_, shared_visible_};
  return {visible_list_, visible_list_.GetCount()};
}

void TTouchCollection::StartVisibleList() {
  visible_list_.Clear();
  shared_visible_ = 0;
}

int TTouchCollection::AddVisible(TTouchCollectionItem* Item) {
  if (shared_visible_ >= 0) {
    if (shared_visible_ < list_.GetCount() && list_.Get(shared_visible_) == Item) return shared_visible_++;
    SeparateVisibleList();
  }
  return visible_list_.Add(Item);
}

void TTouchCollection::SeparateVisibleList() {
  if (shared_visible_ < 0) return;
  visible_list_.Clear();
  visible_list_.SetCapacity(list_.GetCount());
  for (int i = 0; i < shared_visible_; ++i) visible_list_.Add(list_.Get(i));
  shared_visible_ = -1;
}

void TTouchCollection::DoItemAdd(TTouchCollectionItem*, int) {}
void TTouchCollection::DoStructureChange() {}

TTouchCollectionItem* TTouchCollection::FirstVisible() {
  const TTouchVisibleMembers visible = GetVisibleList();
  return visible.GetCount() > 0 ? static_cast<TTouchCollectionItem*>(visible.First()) : nullptr;
}

TTouchCollectionItem* TTouchCollection::LastVisible() {
  const TTouchVisibleMembers visible = GetVisibleList();
  return visible.GetCount() > 0 ? static_cast<TTouchCollectionItem*>(visible.Last()) : nullptr;
}

TTouchCollectionItem* TTouchCollection::NextVisible(TTouchCollectionItem* Item) {
  if (Item == nullptr) return nullptr;
  for (int i = list_.IndexOf(Item) + 1; i > 0 && i < GetCount(); ++i)
    if (GetItem(i)->GetVisible()) return GetItem(i);
  return nullptr;
}

TTouchCollectionItem* TTouchCollection::PrevVisible(TTouchCollectionItem* Item) {
  if (Item == nullptr) return nullptr;
  for (int i = list_.IndexOf(Item) - 1; i >= 0; --i)
    if (GetItem(i)->GetVisible()) return GetItem(i);
  return nullptr;
}

void TTouchCollection::BeginUpdate() {
  if (GetOwnerListview()) GetOwnerListview()->BeginUpdate();
}

void TTouchCollection::EndUpdate(bool Invalidate) {
  if (GetOwnerListview()) GetOwnerListview()->EndUpdate(Invalidate);
}

void TTouchCollection::Clear(bool FreeItems) {
  if (GetCount() == 0) return;
  BeginUpdate();
  for (int i = 0; i < GetCount(); ++i) {
    TTouchCollectionItem* item = GetItem(i);
    item->SetDestroying();
    item->SetFocused(false);
    item->SetSelected(false);
  }
  if (FreeItems) {
    clearing_ = true;
    for (int i = GetCount() - 1; i >= 0; --i) delete GetItem(i);
    clearing_ = false;
  }
  list_.Clear();
  StartVisibleList();
  TCustomTouchListview* control = GetOwnerListview();
  if (control && control->HandleAllocated()) {
    control->GetScrollbars()->SetOffsetX(0);
    control->GetScrollbars()->SetOffsetY(0);
  }
  EndUpdate(true);
}

void TTouchCollection::MakeAllVisible() {
  for (int i = 0; i < GetCount(); ++i) GetItem(i)->SetVisible(true);
}

void TTouchCollection::SetUpdating(bool Value) {
  if (Value) {
    ++update_count_;
  } else if (--update_count_ < 1) {
    update_count_ = 0;
    ReIndexItems();
  }
}

void TTouchCollection::ReIndexItems() {
  TCustomTouchListview* control = GetOwnerListview();
  if (control && control->GetGroups()->GetUpdateCount() > 0) return;
  ReIndexAll();
}

void TTouchCollection::ReIndexAll() {
  for (int i = 0; i < GetCount(); ++i) GetItem(i)->SetIndexCache(i);
}

void TTouchCollection::SaveToStream(TStream* S) {
  const std::int32_t version = SaveVersion();
  WriteInteger(S, version);
  WriteInteger(S, GetCount());
  for (int i = 0; i < GetCount(); ++i) SaveMember(S, GetItem(i), version);
}

void TTouchCollection::LoadFromStream(TStream* S) {
  Clear(true);
  const std::int32_t version = ReadInteger(S);
  const std::int32_t count = listview::ReadCount(S, MinimumRecordSize(version));
  // One layout for all the records, also when a bad record ends the load.
  const listview::UpdateBracket bracket(this);
  for (std::int32_t i = 0; i < count; ++i)
    if (!LoadMember(S, version)) return;
}

void TTouchCollection::DefineProperties(TFiler* Filer) {
  TTouchOwnedPersistent::DefineProperties(Filer);
  Filer->DefineBinaryProperty(
      "Items", [this](TStream* S) { LoadFromStream(S); }, [this](TStream* S) { SaveToStream(S); }, StoresItems());
}

void TTouchCollection::SaveMember(TStream* S, TTouchCollectionItem* Item, std::int32_t) { Item->SaveToStream(S, 4); }

bool TTouchCollection::LoadMember(TStream* S, std::int32_t) {
  TTouchCollectionItem* item = Add(0);
  if (item == nullptr) return false;
  int version = 4;  // the records carry their own
  item->LoadFromStream(S, version);
  return true;
}

}  // namespace dashtune
