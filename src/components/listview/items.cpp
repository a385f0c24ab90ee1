#include "components/listview/items.h"

#include <algorithm>

#include "components/listview/common/common_utilities.h"
#include "components/listview/groups.h"
#include "components/listview/listview.h"
#include "components/listview/rect_helpers.h"
#include "components/listview/view_items.h"
#include "components/listview/support.h"
#include "components/listview/stream_integers.h"
#include "components/listview/view_painters.h"
#include "platform/gdi/gdi.h"

namespace dashtune {

namespace {
// Whether two rectangles share any point (an empty one meets nothing).
bool Meet(const win::RECT& a, const win::RECT& b) {
  return std::max(a.left, b.left) < std::min(a.right, b.right) && std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}
}  // namespace

// ---- TTouchItem ----

// A million items are a million of these: each fills one 64-byte slot of the item storage.
static_assert(sizeof(TTouchItemVirtual) <= 64);

TTouchItem::TTouchItem(TTouchCollection* ACollection) : TTouchCollectionItem(ACollection) {}

TTouchItem::~TTouchItem() = default;

void TTouchItem::operator delete(TTouchItem* item, std::destroying_delete_t) {
  DestroyAndRelease(item, listview::ReleaseItemStorage);
}

void TTouchItem::BeforeDestruction() {
  SetDestroying();
  if (TTouchSelectionGroupList* group = GetSelectionGroup()) group->Remove(this);
  SetSelectionGroup(nullptr);
  if (TCustomTouchListview* control = GetOwnerListview()) control->ForgetMember(this);
  SetVisible(false);
  TTouchCollectionItem::BeforeDestruction();
}

TTouchGroup* TTouchItem::GetOwnerGroup() const {
  return GetCollection() ? GetCollection()->GetOwnerGroup() : nullptr;
}

int TTouchItem::GetVisibleIndex() const {
  const TTouchGroup* group = visible_index_in_group_ < 0 ? nullptr : GetOwnerGroup();
  return group ? group->GetFirstVisibleItemIndex() + visible_index_in_group_ : -1;
}

void TTouchItem::SetVisibleIndex(int Value) {
  TTouchGroup* group = visible_index_in_group_ < 0 ? nullptr : GetOwnerGroup();
  if (group) group->SetFirstVisibleItemIndex(Value - visible_index_in_group_);
}

int TTouchItem::ColumnPos() const {
  const TTouchGroup* group = GetOwnerGroup();
  const TTouchGridGroup* grid = group ? group->GetGrid() : nullptr;
  if (visible_index_in_group_ < 0 || grid == nullptr || grid->GetColumnCount() < 1) return -1;
  return visible_index_in_group_ % grid->GetColumnCount();
}

int TTouchItem::RowPos() const {
  const TTouchGroup* group = GetOwnerGroup();
  const TTouchGridGroup* grid = group ? group->GetGrid() : nullptr;
  if (visible_index_in_group_ < 0 || grid == nullptr || grid->GetRowCount() < 1) return -1;
  return visible_index_in_group_ % grid->GetRowCount();
}

bool TTouchItem::CanChangeCheck(bool) {
  if (!GetEnabled()) return false;
  bool allow = true;
  if (TCustomTouchListview* control = GetOwnerListview()) control->DoItemCheckChanging(this, allow);
  return allow;
}

bool TTouchItem::CanChangeEnable(bool) {
  bool allow = true;
  if (TCustomTouchListview* control = GetOwnerListview()) control->DoItemEnableChanging(this, allow);
  return allow;
}

bool TTouchItem::CanChangeFocus(bool) {
  bool allow = true;
  if (TCustomTouchListview* control = GetOwnerListview()) control->DoItemFocusChanging(this, allow);
  return allow;
}

bool TTouchItem::CanChangeSelection(bool Value) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return true;
  if (Value && !control->GetSelection()->GetEnabled()) return false;
  bool allow = true;
  control->DoItemSelectionChanging(this, allow);
  return allow;
}

bool TTouchItem::CanChangeVisibility(bool Value) {
  const TTouchGroup* group = GetOwnerGroup();
  if (Value && group && !group->GetVisible()) return false;
  bool allow = true;
  if (TCustomTouchListview* control = GetOwnerListview()) control->DoItemVisibilityChanging(this, allow);
  return allow;
}

void TTouchItem::CheckGained() {
  if (TCustomTouchListview* control = GetOwnerListview()) {
    control->GetCheckManager()->IncCheckedCount();
    control->DoItemCheckChange(this);
  }
  Invalidate(false);
}

void TTouchItem::CheckLost() {
  if (TCustomTouchListview* control = GetOwnerListview()) {
    control->GetCheckManager()->DecCheckedCount();
    control->DoItemCheckChange(this);
  }
  InvalidateUnlessDestroying();
}

void TTouchItem::EnableGained() {
  if (TCustomTouchListview* control = GetOwnerListview()) control->DoItemEnableChange(this);
  Invalidate(false);
}

void TTouchItem::EnableLost() {
  if (TCustomTouchListview* control = GetOwnerListview()) control->DoItemEnableChange(this);
  InvalidateUnlessDestroying();
}

void TTouchItem::SetSelectionGroup(TTouchSelectionGroupList* Value) {
  TTouchSelectionGroupList* held = GetSelectionGroup();
  if (held == Value) return;
  if (Value) Value->AddRef();
  if (held) held->Release();
  RareFields().selection_group = Value;
}

void TTouchItem::SelectionLookChanged() {
  TCustomTouchListview* control = GetOwnerListview();
  if (control && control->GetSelection()->GetGroupSelections()) {
    if (!GetDestroying()) control->GetSelection()->BuildSelectionGroupings();
    common::SafeInvalidateRect(control, nullptr, false);
  } else {
    Invalidate(false);
  }
}

void TTouchItem::FocusGained() {
  TCustomTouchListview* control = GetOwnerListview();
  if (control) {
    TTouchSelectionManager* selection = control->GetSelection();
    // One item holds the focus: the previous one gives it up first.
    if (TTouchItem* previous = selection->GetFocusedItem(); previous && previous != this) previous->SetFocused(false);
    control->DoItemFocusChanged(this);
    selection->StoreFocusedItem(this);
  }
  SelectionLookChanged();
}

void TTouchItem::FocusLost() {
  TCustomTouchListview* control = GetOwnerListview();
  if (control) {
    if (control->GetSelection()->GetFocusedItem() == this) control->GetSelection()->StoreFocusedItem(nullptr);
    control->DoItemFocusChanged(this);
  }
  if (GetDestroying()) return;
  // The focused look covers more than the cell: invalidate it with the focus bit set.
  SetBit(esfFocused, true);
  Invalidate(false);
  SetBit(esfFocused, false);
  if (control && control->GetSelection()->GetGroupSelections()) common::SafeInvalidateRect(control, nullptr, false);
}

void TTouchItem::SelectionGained() {
  if (TCustomTouchListview* control = GetOwnerListview()) {
    control->GetSelection()->AddSelected(this);
    control->DoItemSelectionChanged(this);
  }
  SelectionLookChanged();
}

void TTouchItem::SelectionLost() {
  if (TCustomTouchListview* control = GetOwnerListview()) {
    control->GetSelection()->RemoveSelected(this);
    control->DoItemSelectionChanged(this);
  }
  if (!GetDestroying()) SelectionLookChanged();
}

void TTouchItem::VisibilityGained() {
  if (TCustomTouchListview* control = GetOwnerListview()) {
    control->GetGroups()->Rebuild(false);
    control->DoItemVisibilityChanged(this);
  }
}

void TTouchItem::VisibilityLost() {
  if (TCustomTouchListview* control = GetOwnerListview()) {
    control->GetGroups()->Rebuild(false);
    control->DoItemVisibilityChanged(this);
  }
}

void TTouchItem::HotTrackingGained(win::POINT MousePos) {
  if (TCustomTouchListview* control = GetOwnerListview()) control->DoItemHotTrack(this, ehsEnable, MousePos);
  Invalidate(true);
}

void TTouchItem::HotTrackingLost(win::POINT) {
  if (TCustomTouchListview* control = GetOwnerListview()) control->DoItemHotTrack(this, ehsDisable, {0, 0});
  Invalidate(true);
}

void TTouchItem::Initialize() {
  if (TCustomTouchListview* control = GetOwnerListview()) control->DoItemInitialize(this);
  SetBit(esfInitialized, true);
}

void TTouchItem::SetInitialized(bool Value) {
  if (GetInitialized() == Value) return;
  TTouchCollectionItem::SetInitialized(Value);
}

TTouchPaintInfoBasic* TTouchItem::DefaultPaintInfo() const {
  const TCustomTouchListview* control = GetOwnerListview();
  return control ? control->GetPaintInfoItem() : nullptr;
}

void TTouchItem::ReleaseNotification() {
  if (TCustomTouchListview* control = GetOwnerListview()) control->DoItemFreeing(this);
}

TTouchViewItemClass TTouchItem::ViewClass() {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return TTouchViewItemClass::Of<TTouchViewItem>();
  TTouchViewItemClass chosen;
  control->DoItemCustomView(this, control->GetView(), chosen);
  if (chosen) return chosen;
  // The list view scrolls sideways: the wheel follows it.
  control->SetWheelMouseDefaultScroll(control->GetView() == elsList ? edwsHorz : edwsVert);
  switch (control->GetView()) {
    case elsIcon: return TTouchViewItemClass::Of<TTouchViewIconItem>();
    case elsSmallIcon: return TTouchViewItemClass::Of<TTouchViewSmallIconItem>();
    case elsList: return TTouchViewItemClass::Of<TTouchViewListItem>();
    case elsReport: return TTouchViewItemClass::Of<TTouchViewReportItem>();
    case elsThumbnail: return TTouchViewItemClass::Of<TTouchViewThumbnailItem>();
    case elsTile: return TTouchViewItemClass::Of<TTouchViewTileItem>();
    case elsFilmStrip: return TTouchViewItemClass::Of<TTouchViewFilmStripItem>();
    case elsGrid: return TTouchViewItemClass::Of<TTouchViewGridItem>();
  }
  return TTouchViewItemClass::Of<TTouchViewItem>();
}

TTouchViewItem* TTouchItem::GetView() {
  const TTouchViewItemClass wanted = ViewClass();
  std::unique_ptr<TTouchViewItem>& view = RareFields().view;
  if (view && view->ClassName() != wanted.ClassName()) view.reset();
  if (!view) view = wanted.Create(GetOwnerListview());
  return view.get();
}

void TTouchItem::ItemRects(TTouchColumn* Column, TCanvas* ACanvas, TTouchRectArrayObject& RectArray) {
  TTouchViewItem* view = GetView();
  if (view == nullptr) {
    RectArray = TTouchRectArrayObject{};
    return;
  }
  view->ItemRects(this, Column, ACanvas, RectArray);
}

void TTouchItem::Paint(TCanvas* ACanvas, const win::RECT&, TTouchColumn* Column, bool ForceSelectionRect) {
  if (TTouchViewItem* view = GetView()) view->PaintItem(this, Column, ACanvas, ForceSelectionRect);
}

bool TTouchItem::HitTestAt(win::POINT ViewportPoint, TTouchItemHitTestInfoSet& HitInfo) {
  HitInfo = {};
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr) return false;
  TTouchRectArrayObject rects;
  ItemRects(nullptr, control->GetCanvas(), rects);
  win::RECT icon = rects.IconRect;
  const bool sideways = control->GetView() == elsList || control->GetView() == elsFilmStrip;
  (sideways ? icon.right : icon.bottom) += GetCaptionIndent();
  const auto hit = [&](const win::RECT& rect, TTouchItemHitTestInfo info) {
    if (win::PtInRect(&rect, ViewportPoint)) HitInfo.Include(info);
  };
  hit(icon, ehtOnIcon);
  hit(rects.CheckRect, ehtOnCheck);
  hit(rects.SelectionRect, ehtOnText);
  // The painter's own text test reaches further in some views (a selected row, full-row).
  if (TTouchViewItem* view = GetView(); view && view->PointInText(this, ViewportPoint)) HitInfo.Include(ehtOnText);
  hit(rects.LabelRect, ehtOnLabel);
  hit(rects.ClickSelectBoundsRect, ehtOnClickSelectBounds);
  hit(rects.DragSelectBoundsRect, ehtOnDragSelectBounds);
  hit(rects.StateRect, ehtStateIcon);
  return !HitInfo.Empty();
}

bool TTouchItem::SelectionHit(const win::RECT& SelectViewportRect) {
  TTouchViewItem* view = GetView();
  return view && view->SelectionHit(this, SelectViewportRect);
}

bool TTouchItem::SelectionHitPt(win::POINT ViewportPoint) {
  TTouchViewItem* view = GetView();
  return view && view->SelectionHitPoint(this, ViewportPoint);
}

void TTouchItem::Invalidate(bool ImmediateUpdate) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || control->GetInvalidateLockCount() > 0 || !control->HandleAllocated()) return;
  // Most items of a large change lie off screen: they are told apart with as little as can be.
  if (Meet(control->GetScrollbars()->ClientViewRect(), GetDisplayRect())) InvalidateShown(control, ImmediateUpdate);
}

void TTouchItem::InvalidateShown(TCustomTouchListview* control, bool ImmediateUpdate) {
  TTouchRectArrayObject rects;
  ItemRects(nullptr, control->GetCanvas(), rects);
  win::RECT area{};
  win::UnionRect(&area, &rects.FullFocusSelRect, &GetDisplayRect());
  const win::RECT window = control->GetScrollbars()->MapViewRectToWindow(area);
  common::SafeInvalidateRect(control, &window, ImmediateUpdate);
}

void TTouchItem::MakeVisible(int Position) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || !GetVisible() || Position < 0 || Position > 3) return;
  TTouchRectArrayObject rects;
  ItemRects(nullptr, control->GetCanvas(), rects);
  win::RECT area{};
  win::UnionRect(&area, &rects.IconRect, &rects.SelectionRect);
  // An item that shows no part (a report row without columns) still has its cell's rows.
  if (listview::IsEmpty(area)) area = {GetDisplayRect().left, GetDisplayRect().top, GetDisplayRect().left, GetDisplayRect().bottom};
  win::InflateRect(&area, 6, 1);
  TTouchScrollbarManager* scrollbars = control->GetScrollbars();
  const int client_width = control->GetClientWidth();
  const int client_height = control->GetClientHeight();
  const int header_height = control->GetHeader()->GetHeight();
  const win::RECT visible = scrollbars->MapWindowRectToView({0, header_height, client_width, client_height});
  if (area.left >= visible.left && area.top >= visible.top && area.right <= visible.right &&
      area.bottom <= visible.bottom)
    return;
  int x = scrollbars->GetOffsetX();
  int y = scrollbars->GetOffsetY();
  switch (Position) {
    case 0:
      y = area.top;
      x = area.left;
      break;
    case 1:
      // Centred: the area's corner half a client size in from the window's corner.
      y = area.top - client_height / 2;
      x = area.left - client_width / 2;
      break;
    case 2:
      y = area.bottom - client_height + header_height;
      x = area.right - client_width;
      break;
    default:
      if (area.bottom > visible.bottom)
        y = area.bottom - client_height + header_height;
      else if (area.top < visible.top)
        y = area.top;
      if (area.right > visible.right)
        x = area.right - client_width;
      else if (area.left < visible.left)
        x = area.left;
      break;
  }
  scrollbars->SetOffsetY(y);
  scrollbars->SetOffsetX(x);
}

void TTouchItem::LoadFromStream(TStream* S, int& Version) {
  TTouchCollectionItem::LoadFromStream(S, Version);
  if (TCustomTouchListview* control = GetOwnerListview()) control->DoItemLoadFromStream(this, S, Version);
}

void TTouchItem::SaveToStream(TStream* S, int Version) {
  TTouchCollectionItem::SaveToStream(S, 4);
  if (TCustomTouchListview* control = GetOwnerListview()) control->DoItemSaveToStream(this, S, Version);
}

// ---- TTouchItemVirtual ----

namespace {
TCustomTouchListview* ControlOf(const TTouchItem* item) { return item->GetOwnerListview(); }
}  // namespace

WideString TTouchItemVirtual::GetCaptions(int Column) {
  WideString caption;
  if (TCustomTouchListview* control = ControlOf(this)) control->DoItemGetCaption(this, Column, caption);
  return caption;
}

void TTouchItemVirtual::SetCaptions(int Column, const WideString& Value) {
  if (TCustomTouchListview* control = ControlOf(this)) control->DoItemSetCaption(this, Column, Value);
  Invalidate(false);
}

namespace {
int AskImageIndex(TTouchItem* item, int column, TTouchImageKind kind) {
  TCommonImageIndexInteger index = -1;
  if (TCustomTouchListview* control = item->GetOwnerListview()) control->DoItemGetImageIndex(item, column, kind, index);
  return index;
}
void TellImageIndex(TTouchItem* item, int column, TTouchImageKind kind, int value) {
  if (TCustomTouchListview* control = item->GetOwnerListview()) control->DoItemSetImageIndex(item, column, kind, value);
  item->Invalidate(false);
}
}  // namespace

TCommonImageIndexInteger TTouchItemVirtual::GetImageIndexes(int Column) { return AskImageIndex(this, Column, eikNormal); }
void TTouchItemVirtual::SetImageIndexes(int Column, TCommonImageIndexInteger Value) { TellImageIndex(this, Column, eikNormal, Value); }
TCommonImageIndexInteger TTouchItemVirtual::GetImageOverlayIndexes(int Column) { return AskImageIndex(this, Column, eikOverlay); }
void TTouchItemVirtual::SetImageOverlayIndexes(int Column, TCommonImageIndexInteger Value) { TellImageIndex(this, Column, eikOverlay, Value); }
TCommonImageIndexInteger TTouchItemVirtual::GetStateImageIndexes(int Column) { return AskImageIndex(this, Column, eikState); }
void TTouchItemVirtual::SetStateImageIndexes(int Column, TCommonImageIndexInteger Value) { TellImageIndex(this, Column, eikState, Value); }

TCustomImageList* TTouchItemVirtual::GetImageList(int Column, int ImageSize) {
  TCustomImageList* list = nullptr;
  if (TCustomTouchListview* control = ControlOf(this)) control->DoItemGetImageList(this, Column, list);
  return list ? list : DefaultImageList(ImageSize);
}

TCustomImageList* TTouchItemVirtual::GetStateImageList(int Column) {
  TCustomTouchListview* control = ControlOf(this);
  if (control == nullptr) return nullptr;
  TCustomImageList* list = nullptr;
  control->DoItemGetStateImageList(this, Column, list);
  return list ? list : control->GetImagesState();
}

int TTouchItemVirtual::GetDetailCount() {
  int count = 0;
  if (TCustomTouchListview* control = ControlOf(this)) control->DoItemGetTileDetailCount(this, count);
  return count;
}

int TTouchItemVirtual::GetDetails(int Line) {
  int detail = 0;
  if (TCustomTouchListview* control = ControlOf(this)) control->DoItemGetTileDetail(this, Line, detail);
  return detail;
}

void TTouchItemVirtual::SetDetails(int Line, int Value) {
  if (TCustomTouchListview* control = ControlOf(this)) control->DoItemSetTileDetail(this, Line, Value);
  Invalidate(false);
}

std::uint32_t TTouchItemVirtual::GetGroupKey(int FocusedColumn) {
  std::uint32_t key = 0;
  if (TCustomTouchListview* control = ControlOf(this)) control->DoItemGetGroupKey(this, FocusedColumn, key);
  return key;
}

void TTouchItemVirtual::SetGroupKey(int FocusedColumn, std::uint32_t Value) {
  if (TCustomTouchListview* control = ControlOf(this)) control->DoItemSetGroupKey(this, FocusedColumn, Value);
}

// Both kinds of item draw custom images through the same events.
namespace {
void DrawImageByEvent(TTouchItem* item, TTouchColumn* column, TCanvas* canvas, const TTouchRectArrayObject& rects,
                      TTouchAlphaBlender* blender) {
  if (TCustomTouchListview* control = item->GetOwnerListview()) control->DoItemImageDraw(item, column, canvas, rects, blender);
}
void ImageSizeByEvent(TTouchItem* item, TTouchColumn* column, int& width, int& height) {
  if (TCustomTouchListview* control = item->GetOwnerListview()) control->DoItemImageGetSize(item, column, width, height);
}
bool ImageIsCustomByEvent(TTouchItem* item, TTouchColumn* column) {
  bool custom = false;
  if (TCustomTouchListview* control = item->GetOwnerListview()) control->DoItemImageDrawIsCustom(item, column, custom);
  return custom;
}
void ThumbnailByEvent(TTouchItem* item, TCanvas* canvas, const win::RECT& rect, TTouchAlphaBlender* blender,
                      bool& do_default) {
  if (TCustomTouchListview* control = item->GetOwnerListview())
    control->DoItemThumbnailDraw(item, canvas, rect, blender, do_default);
}
}  // namespace

void TTouchItemVirtual::ImageDraw(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& RectArray,
                                  TTouchAlphaBlender* AlphaBlender) {
  DrawImageByEvent(this, Column, ACanvas, RectArray, AlphaBlender);
}
void TTouchItemVirtual::ImageDrawGetSize(TTouchColumn* Column, int& ImageWidth, int& ImageHeight) {
  ImageSizeByEvent(this, Column, ImageWidth, ImageHeight);
}
bool TTouchItemVirtual::ImageDrawIsCustom(TTouchColumn* Column) { return ImageIsCustomByEvent(this, Column); }
void TTouchItemVirtual::ThumbnailDraw(TCanvas* ACanvas, const win::RECT& ARect, TTouchAlphaBlender* AlphaBlender,
                                      bool& DoDefault) {
  ThumbnailByEvent(this, ACanvas, ARect, AlphaBlender, DoDefault);
}

// ---- TTouchItemStored ----

void TTouchItemStored::SetStateImageIndexes(int Column, TCommonImageIndexInteger Value) {
  data_.SetStateImageIndex(Column, Value);
  Invalidate(false);
}
void TTouchItemStored::SetDetails(int Line, int Value) {
  data_.SetDetail(Line, Value);
  Invalidate(false);
}

TCustomImageList* TTouchItemStored::GetStateImageList(int) {
  TCustomTouchListview* control = GetOwnerListview();
  return control ? control->GetImagesState() : nullptr;
}

int TTouchItemStored::GetDetailCount() {
  TCustomTouchListview* control = GetOwnerListview();
  return control ? control->GetPaintInfoItem()->GetTileDetailCount() : 0;
}

void TTouchItemStored::SetDetailCount(int Value) {
  if (TCustomTouchListview* control = GetOwnerListview()) control->GetPaintInfoItem()->SetTileDetailCount(Value);
}

void TTouchItemStored::ImageDraw(TTouchColumn* Column, TCanvas* ACanvas, const TTouchRectArrayObject& RectArray,
                                 TTouchAlphaBlender* AlphaBlender) {
  DrawImageByEvent(this, Column, ACanvas, RectArray, AlphaBlender);
}
void TTouchItemStored::ImageDrawGetSize(TTouchColumn* Column, int& ImageWidth, int& ImageHeight) {
  ImageSizeByEvent(this, Column, ImageWidth, ImageHeight);
}
bool TTouchItemStored::ImageDrawIsCustom(TTouchColumn* Column) { return ImageIsCustomByEvent(this, Column); }
void TTouchItemStored::ThumbnailDraw(TCanvas* ACanvas, const win::RECT& ARect, TTouchAlphaBlender* AlphaBlender,
                                     bool& DoDefault) {
  ThumbnailByEvent(this, ACanvas, ARect, AlphaBlender, DoDefault);
}

// ---- TTouchItems ----

TTouchItems::TTouchItems(TCustomTouchListview* AOwner, TTouchGroup* AOwnerGroup)
    : TTouchCollection(AOwner), owner_group_(AOwnerGroup) {
  SetItemClass(TTouchCollectionItemClass::Of<TTouchItemStored>());
}

TTouchItems::~TTouchItems() { Clear(true); }

TTouchItemVirtual* TTouchItems::AddVirtual(std::intptr_t Data) {
  auto* item = new TTouchItemVirtual(this);
  AppendMember(item);
  DoItemAdd(item, GetCount() - 1);
  item->SetData(Data);
  DoStructureChange();
  return item;
}

TTouchItemStored* TTouchItems::AddStored(std::intptr_t Data) {
  return static_cast<TTouchItemStored*>(Add(Data));
}

void TTouchItems::Clear(bool FreeItems) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control && !control->IsDestroying() && GetCount() > 0) control->GetIncrementalSearch()->EndSearch();
  TTouchCollection::Clear(FreeItems);
}

namespace {
// The stream version of an item collection whose records each follow their item's kind.
constexpr std::int32_t kKindedItemsVersion = 5;
enum TItemKind : std::int32_t { ikStored = 0, ikVirtual = 1 };

bool IsVirtual(const TTouchCollectionItem* item) { return dynamic_cast<const TTouchItemVirtual*>(item) != nullptr; }
}  // namespace

std::int32_t TTouchItems::SaveVersion() const {
  for (int i = 0; i < GetCount(); ++i)
    if (IsVirtual(GetItem(i))) return kKindedItemsVersion;
  return TTouchCollection::SaveVersion();
}

void TTouchItems::SaveMember(TStream* S, TTouchCollectionItem* Item, std::int32_t Version) {
  if (Version >= kKindedItemsVersion) listview::WriteInteger(S, IsVirtual(Item) ? ikVirtual : ikStored);
  TTouchCollection::SaveMember(S, Item, Version);
}

std::int64_t TTouchItems::MinimumRecordSize(std::int32_t Version) const {
  const std::int64_t record = TTouchCollection::MinimumRecordSize(Version);
  return Version >= kKindedItemsVersion ? record + 4 : record;
}

bool TTouchItems::LoadMember(TStream* S, std::int32_t Version) {
  if (Version < kKindedItemsVersion) return TTouchCollection::LoadMember(S, Version);
  const std::int32_t kind = listview::ReadInteger(S);
  if (kind != ikStored && kind != ikVirtual) throw EReadError(std::string(sysconst::SReadError));
  if (kind == ikStored) return TTouchCollection::LoadMember(S, Version);
  int version = 4;
  AddVirtual()->LoadFromStream(S, version);
  return true;
}

void TTouchItems::DoStructureChange() {
  if (TCustomTouchListview* control = GetOwnerListview()) control->GetGroups()->Rebuild(false);
}

}  // namespace dashtune
