#include "components/listview/groups.h"

#include <algorithm>

#include "classlib/imagelist.h"
#include "components/listview/common/common_utilities.h"
#include "components/listview/grid_layout.h"
#include "components/listview/listview.h"
#include "components/listview/sort.h"
#include "platform/gdi/gdi.h"

namespace dashtune {

// ---- TTouchGroup ----

TTouchGroup::TTouchGroup(TTouchCollection* ACollection)
    : TTouchHeaderOrGroupMember(ACollection),
      items_(std::make_unique<TTouchItems>(ACollection ? ACollection->GetOwnerListview() : nullptr, this)) {}

TTouchGroup::~TTouchGroup() = default;

void TTouchGroup::SetExpanded(bool Value) {
  if (expanded_ == Value) return;
  expanded_ = Value;
  LayoutChanged();
}

void TTouchGroup::LayoutChanged() {
  if (TCustomTouchListview* control = GetOwnerListview()) control->GetGroups()->Rebuild(false);
}

TTouchPaintInfoBaseGroup* TTouchGroup::GetGroupPaintInfo() const {
  if (auto* own = dynamic_cast<TTouchPaintInfoBaseGroup*>(GetOwnPaintInfo())) return own;
  const TCustomTouchListview* control = GetOwnerListview();
  return control ? control->GetPaintInfoGroup() : nullptr;
}

TTouchPaintInfoBasic* TTouchGroup::DefaultPaintInfo() const {
  const TCustomTouchListview* control = GetOwnerListview();
  return control ? control->GetPaintInfoGroup() : nullptr;
}

int TTouchGroup::CountedMargin(const TTouchMargin* margin) const {
  return margin && GetVisible() ? margin->RuntimeSize() : 0;
}

int TTouchGroup::MarginLeftSize() const {
  const TTouchPaintInfoBaseGroup* info = GetGroupPaintInfo();
  return CountedMargin(info ? info->GetMarginLeft() : nullptr);
}
int TTouchGroup::MarginTopSize() const {
  const TTouchPaintInfoBaseGroup* info = GetGroupPaintInfo();
  return CountedMargin(info ? info->GetMarginTop() : nullptr);
}
int TTouchGroup::MarginRightSize() const {
  const TTouchPaintInfoBaseGroup* info = GetGroupPaintInfo();
  return CountedMargin(info ? info->GetMarginRight() : nullptr);
}
int TTouchGroup::MarginBottomSize() const {
  const TTouchPaintInfoBaseGroup* info = GetGroupPaintInfo();
  return CountedMargin(info ? info->GetMarginBottom() : nullptr);
}

int TTouchGroup::CaptionWidth() {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || !control->HandleAllocated()) return 0;
  TCanvas* canvas = control->GetCanvas();
  canvas->SetFont(control->GetFont());
  win::RECT rect{0, 0, 0, 0};
  const WideString caption = GetCaption();
  common::DrawCaptionText(canvas->GetHandle(), caption.empty() ? WideString(u" ") : caption, rect, 1,
                          common::dtSingleLine | common::dtLeft | common::dtCalcRect | common::dtCalcRectAdjR);
  return rect.right - rect.left;
}

int TTouchGroup::ImageWidth() {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || GetImageIndex() < 0) return 0;
  TCustomImageList* images = GetImageList(0, 0);
  return images ? images->GetWidth() + GetImageIndent() : 0;
}

int TTouchGroup::GetDetailCount() {
  const TTouchPaintInfoBaseGroup* info = GetGroupPaintInfo();
  return info ? info->GetCaptionLines() : 0;
}

void TTouchGroup::SetDetailCount(int Value) {
  if (TTouchPaintInfoBaseGroup* info = GetGroupPaintInfo()) info->SetCaptionLines(Value);
}

// ---- TTouchGridGroup ----

namespace {
// The line of cells (counted from 0) a coordinate falls in; negative before the first.
std::int64_t LineOf(int coordinate, int origin, int cell) {
  const std::int64_t offset = static_cast<std::int64_t>(coordinate) - origin;
  return offset >= 0 ? offset / cell : -1;
}
}  // namespace

void TTouchGridGroup::KeepCellPlan(const TCellPlan& Plan) {
  plan_ = Plan;
  plan_.rect_stamp = owner_group_->GetItems()->GetRectWrites();
  if (Plan.cell_height < 1 || Plan.cell_width < 0 || Plan.per_line < 1) ForgetCellPlan();
}

bool TTouchGridGroup::CandidatesAt(win::POINT ViewportPoint, int& First, int& Last) const {
  TTouchItems* items = owner_group_->GetItems();
  if (plan_.order == TCellPlan::kNone || plan_.count != items->GetVisibleCount() ||
      plan_.rect_stamp != items->GetRectWrites())
    return false;
  First = 0, Last = -1;  // none, unless a cell holds the point
  const std::int64_t row = LineOf(ViewportPoint.y, plan_.origin_y, plan_.cell_height);
  const std::int64_t column = plan_.cell_width > 0 ? LineOf(ViewportPoint.x, plan_.origin_x, plan_.cell_width) : 0;
  if (row < 0 || column < 0) return true;
  std::int64_t first = 0, last = 0;
  if (plan_.order == TCellPlan::kColumnMajor) {
    if (row >= plan_.per_line) return true;
    first = last = column * plan_.per_line + row;
  } else if (plan_.cell_width > 0) {
    if (column >= plan_.per_line) return true;
    first = last = row * plan_.per_line + column;
  } else {
    first = row * plan_.per_line;
    last = first + plan_.per_line - 1;
  }
  if (first >= plan_.count) return true;
  First = static_cast<int>(first);
  Last = static_cast<int>(std::min<std::int64_t>(last, plan_.count - 1));
  return true;
}

// ---- TTouchGroups ----

TTouchGroups::TTouchGroups(TCustomTouchListview* AOwner) : TTouchCollection(AOwner) {
  SetItemClass(TTouchCollectionItemClass::Of<TTouchGroupStored>());
}

TTouchGroups::~TTouchGroups() { Clear(true); }

TTouchGroupStored* TTouchGroups::AddGroup(std::intptr_t Data) { return static_cast<TTouchGroupStored*>(Add(Data)); }

void TTouchGroups::DoItemAdd(TTouchCollectionItem* Item, int Index) {
  TTouchCollection::DoItemAdd(Item, Index);
  TCustomTouchListview* control = GetOwnerListview();
  auto* group = static_cast<TTouchGroup*>(Item);
  if (control && !group->GetGrid()) group->SetGrid(listview::MakeGrid(control, group, control->GetView()));
}

void TTouchGroups::Rebuild(bool Force) {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || rebuilding_) return;
  if (control->GetUpdateCount() > 0 && !Force) return;
  if (control->IsDestroying() || control->GetComponentState().Contains(csDestroying) || !control->HandleAllocated())
    return;
  rebuilding_ = true;
  StartVisibleList();
  for (int i = 0; i < GetCount(); ++i) {
    TTouchGroup* group = GetGroup(i);
    group->SetVisibleIndex(group->GetVisible() ? AddVisible(group) : -1);
  }
  control->GetHeader()->Rebuild(Force);
  int next_visible_item = 0;
  TTouchGroup* previous = nullptr;
  win::RECT united{};
  for (int i = 0; i < GetCount(); ++i) {
    TTouchGroup* group = GetGroup(i);
    if (TTouchGridGroup* grid = group->GetGrid()) grid->Rebuild(previous, next_visible_item);
    win::UnionRect(&united, &united, &group->GetDisplayRect());
    // A hidden group takes no room: the next group follows the visible one before it.
    if (group->GetVisible()) previous = group;
  }
  rebuilding_ = false;
  if (control->GetSelection()->GetGroupSelections()) control->GetSelection()->BuildSelectionGroupings();
  control->GetScrollbars()->SetViewRect(united);
}

int TTouchGroups::ItemCount() const {
  int count = 0;
  for (int i = 0; i < GetCount(); ++i) count += GetGroup(i)->GetItemCount();
  return count;
}

TTouchItem* TTouchGroups::ItemAt(int Index) const {
  if (Index < 0) return nullptr;
  for (int i = 0; i < GetCount(); ++i) {
    const int count = GetGroup(i)->GetItemCount();
    if (Index < count) return GetGroup(i)->GetItem(Index);
    Index -= count;
  }
  return nullptr;
}

TTouchItem* TTouchGroups::FirstItem() const {
  for (int i = 0; i < GetCount(); ++i)
    if (GetGroup(i)->GetItemCount() > 0) return GetGroup(i)->GetItem(0);
  return nullptr;
}

TTouchItem* TTouchGroups::LastItem() const {
  for (int i = GetCount() - 1; i >= 0; --i)
    if (const int count = GetGroup(i)->GetItemCount(); count > 0) return GetGroup(i)->GetItem(count - 1);
  return nullptr;
}

namespace {
// The item's place in its group: the cached Index when it still names the item, else a search.
int PlaceInGroup(TTouchItem* item, TTouchGroup* group) {
  const int index = item->GetIndex();
  if (index >= 0 && index < group->GetItemCount() && group->GetItem(index) == item) return index;
  return group->GetItems()->GetList().IndexOf(item);
}
}  // namespace

TTouchItem* TTouchGroups::NextItem(TTouchItem* Item) const {
  if (Item == nullptr) return nullptr;
  TTouchGroup* group = Item->GetOwnerGroup();
  if (group == nullptr) return nullptr;
  const int index = PlaceInGroup(Item, group);
  if (index + 1 < group->GetItemCount()) return group->GetItem(index + 1);
  for (int g = GetList().IndexOf(group) + 1; g > 0 && g < GetCount(); ++g)
    if (GetGroup(g)->GetItemCount() > 0) return GetGroup(g)->GetItem(0);
  return nullptr;
}

TTouchItem* TTouchGroups::PrevItem(TTouchItem* Item) const {
  if (Item == nullptr) return nullptr;
  TTouchGroup* group = Item->GetOwnerGroup();
  if (group == nullptr) return nullptr;
  const int index = PlaceInGroup(Item, group);
  if (index > 0) return group->GetItem(index - 1);
  for (int g = GetList().IndexOf(group) - 1; g >= 0; --g)
    if (const int count = GetGroup(g)->GetItemCount(); count > 0) return GetGroup(g)->GetItem(count - 1);
  return nullptr;
}

TTouchItem* TTouchGroups::NextItemWhere(TTouchItem* Item, bool (*accept)(TTouchItem*)) const {
  for (Item = NextItem(Item); Item && !accept(Item); Item = NextItem(Item)) {
  }
  return Item;
}

namespace {
bool IsShown(TTouchItem* item) { return item->GetVisible() && item->GetOwnerGroup()->GetVisible(); }
bool IsInitialized(TTouchItem* item) { return item->GetInitialized(); }
}  // namespace

TTouchItem* TTouchGroups::FirstVisibleItem() const {
  TTouchItem* first = FirstItem();
  return first && IsShown(first) ? first : NextItemWhere(first, IsShown);
}
TTouchItem* TTouchGroups::NextVisibleItem(TTouchItem* Item) const { return NextItemWhere(Item, IsShown); }
TTouchItem* TTouchGroups::FirstInitializedItem() const {
  TTouchItem* first = FirstItem();
  return first && IsInitialized(first) ? first : NextItemWhere(first, IsInitialized);
}
TTouchItem* TTouchGroups::NextInitializedItem(TTouchItem* Item) const { return NextItemWhere(Item, IsInitialized); }

TTouchItem* TTouchGroups::PrevItemWhere(TTouchItem* Item, bool (*accept)(TTouchItem*)) const {
  for (Item = PrevItem(Item); Item && !accept(Item); Item = PrevItem(Item)) {
  }
  return Item;
}

TTouchItem* TTouchGroups::LastVisibleItem() const {
  TTouchItem* last = LastItem();
  return last && IsShown(last) ? last : PrevItemWhere(last, IsShown);
}
TTouchItem* TTouchGroups::PrevVisibleItem(TTouchItem* Item) const { return PrevItemWhere(Item, IsShown); }
TTouchItem* TTouchGroups::LastInitializedItem() const {
  TTouchItem* last = LastItem();
  return last && IsInitialized(last) ? last : PrevItemWhere(last, IsInitialized);
}
TTouchItem* TTouchGroups::PrevInitializedItem(TTouchItem* Item) const { return PrevItemWhere(Item, IsInitialized); }

TTouchGroup* TTouchGroups::GroupAt(win::POINT ViewportPoint) const {
  for (int i = 0; i < GetCount(); ++i) {
    TTouchGroup* group = GetGroup(i);
    if (group->GetVisible() && win::PtInRect(&group->GetDisplayRect(), ViewportPoint)) return group;
  }
  return nullptr;
}

namespace {
std::uint64_t cells_tested = 0;
}  // namespace

std::uint64_t listview::CellsTested() { return cells_tested; }

TTouchItem* TTouchGroups::ItemAtPoint(win::POINT ViewportPoint) const {
  TTouchGroup* group = GroupAt(ViewportPoint);
  if (group == nullptr) return nullptr;
  const TTouchVisibleMembers visible = group->GetVisibleItems();
  // The layout's cells narrow the walk down; the first item holding the point answers either way.
  int first = 0, last = 0;
  const TTouchGridGroup* grid = group->GetGrid();
  if (grid == nullptr || !grid->CandidatesAt(ViewportPoint, first, last)) {
    first = 0;
    last = visible.GetCount() - 1;
  }
  for (int i = first; i <= last; ++i) {
    auto* item = static_cast<TTouchItem*>(visible.Get(i));
    ++cells_tested;
    if (win::PtInRect(&item->GetDisplayRect(), ViewportPoint)) return item;
  }
  return nullptr;
}

// ---- TTouchColumn ----

TTouchColumn::TTouchColumn(TTouchCollection* ACollection) : TTouchHeaderOrGroupMember(ACollection) {}

TTouchColumn::~TTouchColumn() = default;

namespace {
TTouchColumns* ColumnsOf(const TTouchColumn* column) { return dynamic_cast<TTouchColumns*>(column->GetCollection()); }
}  // namespace

int TTouchColumn::GetPosition() const {
  TTouchColumns* columns = ColumnsOf(this);
  return columns ? columns->GetPositions().IndexOf(this) : -1;
}

void TTouchColumn::SetPosition(int Value) {
  if (TTouchColumns* columns = ColumnsOf(this)) columns->MoveToPosition(this, Value);
}

void TTouchColumn::SetSortDirection(TTouchSortDirection Value) {
  if (sort_direction_ == Value) return;
  sort_direction_ = Value;
  Invalidate(false);
}

void TTouchColumn::SetWidth(int Value) {
  if (width_ == Value) return;
  width_ = Value;
  LayoutChanged();
}

void TTouchColumn::SetAlignment(TAlignment Value) {
  if (alignment_ == Value) return;
  alignment_ = Value;
  Invalidate(false);
}

void TTouchColumn::AutoSizeToFit() {
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || !control->HandleAllocated()) return;
  TCanvas* canvas = control->GetCanvas();
  const auto width_of = [canvas](TFont* font, const WideString& text) {
    canvas->SetFont(font);
    win::RECT rect{0, 0, 0, 0};
    common::DrawCaptionText(canvas->GetHandle(), text, rect, 1,
                            common::dtSingleLine | common::dtLeft | common::dtCalcRect | common::dtCalcRectAdjR);
    return static_cast<int>(rect.right - rect.left);
  };
  // Room for the text's inset on both sides of a cell.
  constexpr int kPadding = 12;
  int widest = width_of(control->GetHeader()->GetFont(), GetCaption());
  TTouchGroups* groups = control->GetGroups();
  for (TTouchItem* item = groups->FirstVisibleItem(); item; item = groups->NextVisibleItem(item))
    widest = std::max(widest, width_of(control->GetFont(), item->GetCaptions(GetIndex())));
  SetWidth(widest + kPadding);
}

void TTouchColumn::LayoutChanged() {
  if (TCustomTouchListview* control = GetOwnerListview()) control->GetGroups()->Rebuild(false);
  Invalidate(false);
}

void TTouchColumn::Invalidate(bool ImmediateUpdate) {
  if (TCustomTouchListview* control = GetOwnerListview()) control->GetHeader()->Invalidate(ImmediateUpdate);
}

int TTouchColumn::GetDetailCount() {
  const TCustomTouchListview* control = GetOwnerListview();
  return control ? control->GetPaintInfoColumn()->GetCaptionLines() : 0;
}

void TTouchColumn::SetDetailCount(int Value) {
  if (TCustomTouchListview* control = GetOwnerListview()) control->GetPaintInfoColumn()->SetCaptionLines(Value);
}

TTouchPaintInfoBasic* TTouchColumn::DefaultPaintInfo() const {
  const TCustomTouchListview* control = GetOwnerListview();
  return control ? control->GetPaintInfoColumn() : nullptr;
}

void TTouchColumn::ReleaseNotification() {
  if (TTouchColumns* columns = ColumnsOf(this)) columns->positions_.Remove(this);
  if (TCustomTouchListview* control = GetOwnerListview()) control->GetSelection()->ForgetColumn(this);
}

void TTouchColumnStored::SetSortDirection(TTouchSortDirection Value) {
  if (GetSortDirection() == Value) return;
  TTouchColumn::SetSortDirection(Value);
  TCustomTouchListview* control = GetOwnerListview();
  if (control == nullptr || Value == esdNone) return;
  control->GetSelection()->SetFocusedColumn(this);
  if (control->GetSort()->GetAutoSort()) control->GetSort()->SortAll(false);
}

// ---- TTouchColumns ----

TTouchColumns::TTouchColumns(TCustomTouchListview* AOwner) : TTouchCollection(AOwner) {
  SetItemClass(TTouchCollectionItemClass::Of<TTouchColumnStored>());
}

TTouchColumns::~TTouchColumns() { Clear(true); }

TTouchColumnStored* TTouchColumns::AddColumn(std::intptr_t Data) { return static_cast<TTouchColumnStored*>(Add(Data)); }

void TTouchColumns::DoItemAdd(TTouchCollectionItem* Item, int) { positions_.Add(Item); }

void TTouchColumns::Clear(bool FreeItems) {
  TTouchCollection::Clear(FreeItems);
  positions_.Clear();
}

void TTouchColumns::MoveToPosition(TTouchColumn* Column, int Position) {
  const int current = positions_.IndexOf(Column);
  if (current < 0) return;
  Position = std::clamp(Position, 0, positions_.GetCount() - 1);
  if (Position == current) return;
  positions_.Move(current, Position);
  Column->LayoutChanged();
}

}  // namespace dashtune
