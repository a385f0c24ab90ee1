#include "components/listview/grid_layout.h"

#include <algorithm>

#include "components/listview/cell_sizes.h"
#include "components/listview/listview.h"
#include "components/listview/view_items.h"
#include "platform/user/system_metrics.h"
#include "platform/user/window.h"

namespace dashtune {

namespace {

// View coordinates stay within this bound, so that sums and differences of a few of them (scroll
// offsets, window mapping, extents) still fit an int however many cells a layout holds.
constexpr std::int64_t kViewLimit = std::int64_t{1} << 29;

// Turns coordinates computed in 64 bits into view coordinates, clamping what lies beyond the
// bound; remembers whether it had to (the cells then are no longer evenly spaced).
struct ViewClamp {
  bool clamped = false;
  int operator()(std::int64_t value) {
    const std::int64_t kept = std::clamp(value, -kViewLimit, kViewLimit);
    clamped = clamped || kept != value;
    return static_cast<int>(kept);
  }
  win::RECT Rect(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom) {
    return {(*this)(left), (*this)(top), (*this)(right), (*this)(bottom)};
  }
};

// The margins of a group as the layout counts them.
struct Margins {
  int left, top, right, bottom;
};

// The group's margins as its grid lays the items out: the grid's space above the items counts
// into the top margin.
Margins MarginsOf(const TTouchGridGroup* grid) {
  const TTouchGroup* group = grid->GetOwnerGroup();
  return {group->MarginLeftSize(), group->MarginTopSize() + grid->StaticSpaceAboveItems() + grid->DynamicSpaceAboveItems(),
          group->MarginRightSize(), group->MarginBottomSize()};
}

TTouchItem* VisibleAt(TTouchGroup* group, int index) {
  const TTouchVisibleMembers visible = group->GetVisibleItems();
  return index >= 0 && index < visible.GetCount() ? static_cast<TTouchItem*>(visible.Get(index)) : nullptr;
}

int VisibleCountOf(TTouchGroup* group) { return group->GetVisibleItems().GetCount(); }

void StartVisibleList(TTouchGroup* group) { group->GetItems()->StartVisibleList(); }

// Takes a visible item into the group's visible list and numbers it.
void PlaceVisible(TTouchGroup* group, TTouchItem* item, int& next_visible_index) {
  item->SetVisibleIndexInGroup(group->GetItems()->AddVisible(item));
  item->SetVisibleIndex(next_visible_index++);
}

void MarkUnplaced(TTouchItem* item, const win::RECT& rect) {
  item->SetVisibleIndexInGroup(-1);
  item->SetDisplayRect(rect);
}

bool HoldsFocus(TCustomTouchListview* control, TTouchGroup* group) {
  TTouchItem* focused = control->GetSelection()->GetFocusedItem();
  return focused && focused->GetOwnerGroup() == group;
}

// Items of a hidden group lose their selection, and the focus when it is among them.
void ReleaseHiddenGroup(TCustomTouchListview* control, TTouchGroup* group) {
  TTouchSelectionManager* selection = control->GetSelection();
  for (int i = 0; i < group->GetItemCount() && selection->GetCount() >= 1; ++i) group->GetItem(i)->SetSelected(false);
  if (HoldsFocus(control, group)) selection->SetFocusedItem(nullptr);
  for (int i = 0; i < group->GetItemCount(); ++i) group->GetItem(i)->SetVisibleIndexInGroup(-1);
}

// A collapsed or empty group gives the focus to the next item shown in an expanded group.
void PassFocusOn(TCustomTouchListview* control, TTouchGroup* group) {
  for (int i = 0; i < group->GetItemCount(); ++i) group->GetItem(i)->SetVisibleIndexInGroup(-1);
  if (!HoldsFocus(control, group)) return;
  TTouchGroups* groups = control->GetGroups();
  TTouchItem* next = groups->NextVisibleItem(control->GetSelection()->GetFocusedItem());
  while (next && (next->GetOwnerGroup() == group || !next->GetOwnerGroup()->GetExpanded()))
    next = groups->NextVisibleItem(next);
  control->GetSelection()->SetFocusedItem(next);
}

bool IsLastVisibleGroup(TCustomTouchListview* control, TTouchGroup* group) {
  const TTouchVisibleMembers visible = control->GetGroups()->GetVisibleList();
  return visible.GetCount() > 0 && visible.Last() == group;
}

// The width the row-by-row layouts fill: the client width less one pixel, less a vertical
// scroll bar's width while the window shows none (so that one may come without a new layout).
int RowLayoutWidth(TCustomTouchListview* control) {
  int width = control->GetClientWidth() - 1;
  const auto style = static_cast<win::DWORD>(win::GetWindowLongA(control->GetHandle(), win::GWL_STYLE));
  if ((style & win::WS_VSCROLL) == 0) width -= win::GetSystemMetrics(win::SM_CXVSCROLL);
  return width;
}

// The groups before and after a group in the visible list.
TTouchGroup* VisibleGroup(TCustomTouchListview* control, int index) {
  const TTouchVisibleMembers visible = control->GetGroups()->GetVisibleList();
  return index >= 0 && index < visible.GetCount() ? static_cast<TTouchGroup*>(visible.Get(index)) : nullptr;
}

void CheckAdjacentSource(TTouchItem* item) {
  if (!item->GetVisible() || item->GetVisibleIndexInGroup() < 0)
    throw EAssertionFailed(listview::kAdjacentItemOfInvisibleItem);
}

// The nearest group before (step -1) or after (step 1) `group` for which `pick` answers an item.
template <class Pick>
TTouchItem* SearchGroups(TCustomTouchListview* control, TTouchGroup* group, int step, Pick pick) {
  for (int g = group->GetVisibleIndex() + step; TTouchGroup* other = VisibleGroup(control, g); g += step)
    if (TTouchItem* found = pick(other)) return found;
  return nullptr;
}

TTouchItem* LastVisibleIn(TTouchGroup* group) { return VisibleAt(group, VisibleCountOf(group) - 1); }
TTouchItem* FirstVisibleIn(TTouchGroup* group) { return VisibleAt(group, 0); }

int ColumnCountOf(TTouchGroup* group) { return group->GetGrid() ? group->GetGrid()->GetColumnCount() : 0; }
int RowCountOf(TTouchGroup* group) { return group->GetGrid() ? group->GetGrid()->GetRowCount() : 0; }

// Neighbours in a grid filled row by row.
TTouchItem* RowByRowAdjacent(TCustomTouchListview* control, TTouchItem* item, TTouchAdjacentCellDir direction);

// Page moves by probing the view: rows are probed from `start_y` one cell height at a time
// down to `stop_y` (exclusive), each row from the item's column leftwards; the first item found
// on the asked side of `item` (later or earlier) answers.
TTouchItem* ProbeRows(TCustomTouchListview* control, TTouchItem* item, int start_y, int stop_y, bool later) {
  TTouchGroups* groups = control->GetGroups();
  const win::RECT& cell = item->GetDisplayRect();
  const int cell_width = std::max<int>(cell.right - cell.left, 1);
  const int cell_height = std::max<int>(cell.bottom - cell.top, 1);
  for (int y = start_y; y < stop_y; y += cell_height) {
    TTouchGroup* group = groups->GroupAt({cell.left, y});
    if (group == nullptr) continue;
    for (int x = cell.left; x >= group->GetDisplayRect().left; x -= cell_width) {
      TTouchItem* found = groups->ItemAtPoint({x, y});
      if (found == nullptr) continue;
      const int order = found->GetVisibleIndex() - item->GetVisibleIndex();
      if (later ? order > 0 : order < 0) return found;
    }
  }
  return nullptr;
}

int VisibleContentBottom(TCustomTouchListview* control) {
  const TTouchVisibleMembers visible = control->GetGroups()->GetVisibleList();
  if (visible.GetCount() == 0) return 0;
  const auto* last = static_cast<TTouchGroup*>(visible.Last());
  return last->GetDisplayRect().bottom - last->MarginBottomSize();
}

int VisibleContentTop(TCustomTouchListview* control) {
  const TTouchVisibleMembers visible = control->GetGroups()->GetVisibleList();
  if (visible.GetCount() == 0) return 0;
  const auto* first = static_cast<TTouchGroup*>(visible.First());
  return first->GetDisplayRect().top + first->MarginTopSize();
}

int ViewHeight(TCustomTouchListview* control) {
  return std::max(control->GetClientHeight() - control->GetHeader()->GetHeight(), 1);
}

TTouchItem* PageDownByProbe(TCustomTouchListview* control, TTouchItem* item) {
  const win::RECT& cell = item->GetDisplayRect();
  const int bottom = VisibleContentBottom(control);
  const int start = std::min<int>(cell.top + ViewHeight(control), bottom - 1);
  return ProbeRows(control, item, start, bottom, true);
}

TTouchItem* PageUpByProbe(TCustomTouchListview* control, TTouchItem* item) {
  const win::RECT& cell = item->GetDisplayRect();
  const int start = std::max<int>(cell.bottom - ViewHeight(control), VisibleContentTop(control));
  // Downwards towards the item: the first row found above it.
  return ProbeRows(control, item, start, cell.top, false);
}

TTouchItem* RowByRowAdjacent(TCustomTouchListview* control, TTouchItem* item, TTouchAdjacentCellDir direction) {
  TTouchGroup* group = item->GetOwnerGroup();
  const int index = item->GetVisibleIndexInGroup();
  const int columns = std::max(ColumnCountOf(group), 1);
  const int column = index % columns;
  switch (direction) {
    case acdLeft:
      if (index > 0) return VisibleAt(group, index - 1);
      return SearchGroups(control, group, -1, LastVisibleIn);
    case acdRight:
      if (index + 1 < VisibleCountOf(group)) return VisibleAt(group, index + 1);
      return SearchGroups(control, group, 1, FirstVisibleIn);
    case acdUp:
      if (index >= columns) return VisibleAt(group, index - columns);
      return SearchGroups(control, group, -1, [column](TTouchGroup* other) -> TTouchItem* {
        const int count = VisibleCountOf(other), other_columns = ColumnCountOf(other);
        if (count == 0 || column >= other_columns) return nullptr;
        int candidate = (count - 1) / other_columns * other_columns + column;
        if (candidate >= count) candidate -= other_columns;
        return VisibleAt(other, candidate);
      });
    case acdDown:
      if (index + columns < VisibleCountOf(group)) return VisibleAt(group, index + columns);
      return SearchGroups(control, group, 1, [column](TTouchGroup* other) {
        return column < ColumnCountOf(other) ? VisibleAt(other, column) : nullptr;
      });
    case acdPageDown: return PageDownByProbe(control, item);
    case acdPageUp: return PageUpByProbe(control, item);
  }
  return nullptr;
}

// The drop place under a point: the item's index, or the one after it in the cell's right half.
void InsertPositionByPoint(TCustomTouchListview* control, win::POINT point, TTouchGroup*& group, int& index) {
  group = control->GetGroups()->GroupAt(point);
  index = -1;
  if (group == nullptr) return;
  TTouchItem* item = control->GetGroups()->ItemAtPoint(point);
  if (item == nullptr || item->GetOwnerGroup() != group) return;
  const win::RECT& cell = item->GetDisplayRect();
  index = item->GetIndex() + (point.x >= cell.left + (cell.right - cell.left) / 2 ? 1 : 0);
}

// Grows the bottom of a group whose focused item shows more caption lines than its cell holds.
void MakeFocusRoom(TCustomTouchListview* control, TTouchGroup* group, TTouchItem* focused) {
  if (focused == nullptr) return;
  if (!control->GetSelection()->GetResizeGroupOnFocus() && !IsLastVisibleGroup(control, group)) return;
  TTouchRectArrayObject rects;
  focused->ItemRects(nullptr, control->GetCanvas(), rects);
  win::RECT rect = group->GetDisplayRect();
  if (rect.bottom - group->MarginBottomSize() < rects.FocusChangeInvalidRect.bottom) {
    rect.bottom += rects.FocusChangeInvalidRect.bottom - focused->GetDisplayRect().bottom;
    group->SetDisplayRect(rect);
  }
}

}  // namespace

// ---- The base ----

TTouchItem* TTouchGridGroup::AdjacentItem(TTouchItem* Item, TTouchAdjacentCellDir) {
  if (Item) CheckAdjacentSource(Item);
  return nullptr;
}

int TTouchGridGroup::ColumnsThatFit(TTouchGroup* Group, int Width) {
  return (Width - Group->MarginLeftSize() - Group->MarginRightSize()) / GetCellSize()->GetWidth();
}

void TTouchGridGroup::SetCellSize(const TTouchCellSize* Value) {
  if (Value) GetCellSize()->SetSize(Value->GetWidth(), Value->GetHeight());
}

void TTouchGridGroup::FindInsertPosition(win::POINT, TTouchGroup*&, int&) {}

// ---- Row by row ----

TTouchCellSize* TTouchGridIconGroup::GetCellSize() const { return GetOwnerListview()->GetCellSizes()->GetIcon(); }
TTouchCellSize* TTouchGridSmallIconGroup::GetCellSize() const {
  return GetOwnerListview()->GetCellSizes()->GetSmallIcon();
}
TTouchCellSize* TTouchGridThumbnailGroup::GetCellSize() const {
  return GetOwnerListview()->GetCellSizes()->GetThumbnail();
}
TTouchCellSize* TTouchGridTileGroup::GetCellSize() const { return GetOwnerListview()->GetCellSizes()->GetTile(); }

void TTouchGridIconGroup::Rebuild(TTouchGroup* PrevGroup, int& NextVisibleItemIndex) {
  TCustomTouchListview* control = GetOwnerListview();
  TTouchGroup* group = GetOwnerGroup();
  const int cell_width = GetCellSize()->GetWidth(), cell_height = GetCellSize()->GetHeight();
  const Margins margin = MarginsOf(this);
  const int width = std::max(RowLayoutWidth(control), margin.left + margin.right + cell_width);
  // A group starts where the one before it ends; its items start below its top margin.
  const int top = PrevGroup ? PrevGroup->GetDisplayRect().bottom : 0;
  win::RECT rect{0, top, width, top};
  StartVisibleList(group);
  ForgetCellPlan();
  TTouchItem* focused = nullptr;
  SetColumnCount(0);
  SetRowCount(0);
  if (group->GetVisible() && group->GetExpanded() && group->GetItemCount() > 0) {
    const int columns = ColumnsThatFit(group, width);
    const std::int64_t row_width = static_cast<std::int64_t>(columns) * cell_width;
    const std::int64_t origin_x = margin.left, origin_y = static_cast<std::int64_t>(top) + margin.top;
    std::int64_t x = 0, y = 0;
    ViewClamp clamp;
    for (int i = 0; i < group->GetItemCount(); ++i) {
      TTouchItem* item = group->GetItem(i);
      if (x + cell_width > row_width) {
        x = 0;
        y += cell_height;
      }
      const std::int64_t left = origin_x + x, cell_top = origin_y + y;
      if (item->GetVisible()) {
        PlaceVisible(group, item, NextVisibleItemIndex);
        item->SetDisplayRect(clamp.Rect(left, cell_top, left + cell_width, cell_top + cell_height));
        x += cell_width;
      } else {
        MarkUnplaced(item, clamp.Rect(left, cell_top, left, cell_top + cell_height));
      }
      if (item->GetFocused()) focused = item;
    }
    const int placed = VisibleCountOf(group);
    if (placed > 0 && columns >= 1) {
      SetColumnCount(columns);
      SetRowCount(placed / columns + (placed % columns ? 1 : 0));
    }
    rect.bottom = clamp(origin_y + static_cast<std::int64_t>(GetRowCount()) * cell_height + margin.bottom);
    if (columns >= 1 && !clamp.clamped)
      KeepCellPlan({TCellPlan::kRowMajor, margin.left, static_cast<int>(origin_y), cell_width, cell_height, columns,
                    placed});
  } else if (group->GetVisible()) {
    rect.bottom = top + margin.top + margin.bottom;
    PassFocusOn(control, group);
  } else {
    ReleaseHiddenGroup(control, group);
  }
  group->SetDisplayRect(rect);
  MakeFocusRoom(control, group, focused);
}

TTouchItem* TTouchGridIconGroup::AdjacentItem(TTouchItem* Item, TTouchAdjacentCellDir Direction) {
  if (Item == nullptr) return nullptr;
  CheckAdjacentSource(Item);
  return RowByRowAdjacent(GetOwnerListview(), Item, Direction);
}

void TTouchGridIconGroup::FindInsertPosition(win::POINT ViewportPoint, TTouchGroup*& Group, int& Index) {
  InsertPositionByPoint(GetOwnerListview(), ViewportPoint, Group, Index);
}

// ---- Column by column ----

TTouchCellSize* TTouchGridListGroup::GetCellSize() const { return GetOwnerListview()->GetCellSizes()->GetList(); }
TTouchCellSize* TTouchGridFilmStripGroup::GetCellSize() const {
  return GetOwnerListview()->GetCellSizes()->GetFilmStrip();
}

void TTouchGridListGroup::Rebuild(TTouchGroup* PrevGroup, int& NextVisibleItemIndex) {
  TCustomTouchListview* control = GetOwnerListview();
  TTouchGroup* group = GetOwnerGroup();
  const int cell_width = GetCellSize()->GetWidth(), cell_height = GetCellSize()->GetHeight();
  const Margins margin = MarginsOf(this);
  const int height = std::max(control->GetClientHeight() - win::GetSystemMetrics(win::SM_CYHSCROLL) -
                                  control->GetHeader()->GetHeight(),
                              margin.top + margin.bottom + cell_height);
  const int left = PrevGroup ? PrevGroup->GetDisplayRect().right : 0;
  win::RECT rect{left, 0, left, height};
  StartVisibleList(group);
  ForgetCellPlan();
  SetColumnCount(0);
  SetRowCount(0);
  if (group->GetVisible() && group->GetExpanded() && group->GetItemCount() > 0) {
    // A column holds the cells that end above the bottom margin; the row count says the same, so
    // that an item's row and column follow from its visible index.
    const int rows = std::max((height - margin.top - margin.bottom) / cell_height, 1);
    const std::int64_t origin_x = static_cast<std::int64_t>(left) + margin.left;
    std::int64_t x = origin_x, y = margin.top;
    int columns = 1;
    ViewClamp clamp;
    for (int i = 0; i < group->GetItemCount(); ++i) {
      TTouchItem* item = group->GetItem(i);
      if (!item->GetVisible()) {
        MarkUnplaced(item, clamp.Rect(x, y, x, y + cell_height));
        continue;
      }
      if (VisibleCountOf(group) > 0 && VisibleCountOf(group) % rows == 0) {
        x += cell_width;
        y = margin.top;
        ++columns;
      }
      PlaceVisible(group, item, NextVisibleItemIndex);
      item->SetDisplayRect(clamp.Rect(x, y, x + cell_width, y + cell_height));
      y += cell_height;
    }
    if (VisibleCountOf(group) > 0) {
      SetRowCount(rows);
      SetColumnCount(columns);
      rect.right = clamp(x + cell_width + margin.right);
      if (!clamp.clamped)
        KeepCellPlan({TCellPlan::kColumnMajor, static_cast<int>(origin_x), margin.top, cell_width, cell_height, rows,
                      VisibleCountOf(group)});
    }
  } else if (group->GetVisible()) {
    PassFocusOn(control, group);
  } else {
    ReleaseHiddenGroup(control, group);
  }
  if (GetColumnCount() == 0 && group->GetVisible()) {
    // An empty group is as wide as its caption (and image); a hidden one takes no room.
    rect.right = rect.left + margin.left + margin.right + group->CaptionWidth() + group->ImageWidth();
  }
  group->SetDisplayRect(rect);
}

TTouchItem* TTouchGridListGroup::AdjacentItem(TTouchItem* Item, TTouchAdjacentCellDir Direction) {
  if (Item == nullptr) return nullptr;
  CheckAdjacentSource(Item);
  TCustomTouchListview* control = GetOwnerListview();
  TTouchGroup* group = Item->GetOwnerGroup();
  const int index = Item->GetVisibleIndexInGroup(), count = VisibleCountOf(group);
  const int rows = std::max(RowCountOf(group), 1);
  const int row = index % rows, column_start = index - row;
  switch (Direction) {
    case acdLeft:
      if (index >= rows) return VisibleAt(group, index - rows);
      return SearchGroups(control, group, -1, [row](TTouchGroup* other) -> TTouchItem* {
        const int other_count = VisibleCountOf(other), other_rows = RowCountOf(other);
        if (other_count == 0 || row >= other_rows) return nullptr;
        int candidate = (other_count - 1) / other_rows * other_rows + row;
        if (candidate >= other_count) candidate -= other_rows;
        return VisibleAt(other, candidate);
      });
    case acdRight:
      if (index + rows < count) return VisibleAt(group, index + rows);
      return SearchGroups(control, group, 1, [row](TTouchGroup* other) { return VisibleAt(other, row); });
    case acdUp:
      if (index > 0) return VisibleAt(group, index - 1);
      return SearchGroups(control, group, -1, LastVisibleIn);
    case acdDown:
      if (index + 1 < count) return VisibleAt(group, index + 1);
      return SearchGroups(control, group, 1, FirstVisibleIn);
    case acdPageDown: {
      TTouchItem* last = VisibleAt(group, std::min(column_start + rows, count) - 1);
      return last == Item ? nullptr : last;
    }
    case acdPageUp: {
      TTouchItem* first = VisibleAt(group, column_start);
      return first == Item ? nullptr : first;
    }
  }
  return nullptr;
}

// ---- One item per row ----

TTouchCellSize* TTouchGridReportGroup::GetCellSize() const { return GetOwnerListview()->GetCellSizes()->GetReport(); }

namespace {

// Rows of cells under the header: the visible item placed n-th takes the cell `cell_of` answers
// for n; a hidden item, or any item when there is no cell, gets an empty rectangle where the
// next cell would start. Answers the group's rectangle.
template <class CellOf>
win::RECT RebuildRows(TCustomTouchListview* control, TTouchGroup* group, const Margins& margin, int top,
                      int& next_visible_index, CellOf cell_of) {
  const int header_width = control->GetHeader()->GetViewRect().right;
  StartVisibleList(group);
  if (!group->GetVisible()) {
    ReleaseHiddenGroup(control, group);
    return {0, top, header_width, top};
  }
  if (!group->GetExpanded() || group->GetItemCount() == 0) {
    PassFocusOn(control, group);
    return {0, top, header_width, top + margin.top + margin.bottom};
  }
  int content_bottom = top + margin.top;
  for (int i = 0; i < group->GetItemCount(); ++i) {
    TTouchItem* item = group->GetItem(i);
    win::RECT cell{};
    const bool has_cell = cell_of(VisibleCountOf(group), cell);
    if (has_cell && item->GetVisible()) {
      PlaceVisible(group, item, next_visible_index);
      item->SetDisplayRect(cell);
    } else {
      if (!has_cell) cell = {margin.left, top, margin.left, top};
      cell = {cell.left, cell.top, cell.left, cell.top};
      MarkUnplaced(item, cell);
    }
    content_bottom = std::max<int>(content_bottom, cell.bottom);
  }
  const int bottom_space = IsLastVisibleGroup(control, group) ? 4 : margin.bottom;
  return {0, top, header_width, content_bottom + bottom_space};
}

}  // namespace

void TTouchGridReportGroup::Rebuild(TTouchGroup* PrevGroup, int& NextVisibleItemIndex) {
  TCustomTouchListview* control = GetOwnerListview();
  TTouchGroup* group = GetOwnerGroup();
  const int cell_height = GetCellSize()->GetHeight();
  const Margins margin = MarginsOf(this);
  const TTouchColumn* last = control->GetHeader()->LastColumn();
  const int right = last ? last->GetDisplayRect().right - margin.right : 0;
  const int top = PrevGroup ? PrevGroup->GetDisplayRect().bottom : 2;
  const std::int64_t origin_y = static_cast<std::int64_t>(top) + margin.top;
  ViewClamp clamp;
  ForgetCellPlan();
  const win::RECT rect =
      RebuildRows(control, group, margin, top, NextVisibleItemIndex, [&](int placed, win::RECT& cell) {
        const std::int64_t y = origin_y + static_cast<std::int64_t>(placed) * cell_height;
        cell = clamp.Rect(margin.left, y, right, y + cell_height);
        return true;
      });
  group->SetDisplayRect(rect);
  const int placed = VisibleCountOf(group);
  SetColumnCount(placed > 0 ? 1 : 0);
  SetRowCount(placed);
  // Rows of one cell each: the row under a point names the one item that may hold it.
  if (!clamp.clamped) KeepCellPlan({TCellPlan::kRowMajor, margin.left, static_cast<int>(origin_y), 0, cell_height, 1, placed});
}

namespace {

// The previous (step -1) or next (step 1) visible item of the whole control.
TTouchItem* StepVisible(TCustomTouchListview* control, TTouchItem* item, int step) {
  TTouchGroup* group = item->GetOwnerGroup();
  if (TTouchItem* found = VisibleAt(group, item->GetVisibleIndexInGroup() + step)) return found;
  return SearchGroups(control, group, step, step < 0 ? LastVisibleIn : FirstVisibleIn);
}

// The visible item whose row spans view y. A row spans the whole width (without columns it has
// no width at all), so the row follows from y alone.
TTouchItem* RowAt(TCustomTouchListview* control, int y) {
  TTouchGroup* group = control->GetGroups()->GroupAt({0, y});
  TTouchItem* first = group ? FirstVisibleIn(group) : nullptr;
  if (first == nullptr) return nullptr;
  const win::RECT& cell = first->GetDisplayRect();
  if (y < cell.top) return nullptr;
  return VisibleAt(group, (y - cell.top) / std::max<int>(cell.bottom - cell.top, 1));
}

// The item at the row of a view y, probing by whole cells from `start` towards `stop` (step's
// sign); the item itself counts as found.
TTouchItem* ProbeColumnOfRows(TCustomTouchListview* control, int start, int stop, int step) {
  for (int y = start; step > 0 ? y <= stop : y >= stop; y += step)
    if (TTouchItem* found = RowAt(control, y)) return found;
  return nullptr;
}

}  // namespace

TTouchItem* TTouchGridReportGroup::AdjacentItem(TTouchItem* Item, TTouchAdjacentCellDir Direction) {
  if (Item == nullptr) return nullptr;
  CheckAdjacentSource(Item);
  TCustomTouchListview* control = GetOwnerListview();
  const win::RECT& cell = Item->GetDisplayRect();
  const int cell_height = std::max<int>(cell.bottom - cell.top, 1);
  const int page = ViewHeight(control);
  const int view_top = control->GetScrollbars()->GetOffsetY();
  TTouchItem* found = nullptr;
  switch (Direction) {
    case acdUp: return StepVisible(control, Item, -1);
    case acdDown: return StepVisible(control, Item, 1);
    case acdPageDown:
      found = ProbeColumnOfRows(control, view_top + page - 2, cell.top, -cell_height);
      if (found == Item || found == nullptr) {
        const int further = std::min(cell.top + page - 1, VisibleContentBottom(control) - 1);
        found = ProbeColumnOfRows(control, further, cell.bottom, -cell_height);
      }
      return found && found->GetVisibleIndex() > Item->GetVisibleIndex() ? found : nullptr;
    case acdPageUp:
      found = ProbeColumnOfRows(control, view_top + 1, cell.bottom - 1, cell_height);
      if (found == Item || found == nullptr) {
        const int further = std::max(cell.bottom - page + 1, VisibleContentTop(control));
        found = ProbeColumnOfRows(control, further, cell.top - 1, cell_height);
      }
      return found && found->GetVisibleIndex() < Item->GetVisibleIndex() ? found : nullptr;
    default: return RowByRowAdjacent(control, Item, Direction);
  }
}

// ---- One item per header column ----

TTouchCellSize* TTouchGridGridGroup::GetCellSize() const { return GetOwnerListview()->GetCellSizes()->GetGrid(); }

void TTouchGridGridGroup::SetCellSize(const TTouchCellSize* Value) {
  if (Value == nullptr) return;
  auto copy = std::make_unique<TTouchCellGrid>(GetOwnerListview());
  copy->Assign(Value);
  GetOwnerListview()->GetCellSizes()->SetGrid(std::move(copy));
}

void TTouchGridGridGroup::Rebuild(TTouchGroup* PrevGroup, int& NextVisibleItemIndex) {
  TCustomTouchListview* control = GetOwnerListview();
  TTouchGroup* group = GetOwnerGroup();
  const int cell_height = GetCellSize()->GetHeight();
  const Margins margin = MarginsOf(this);
  const TTouchVisibleMembers header_columns = control->GetHeader()->GetColumns()->GetVisibleList();
  const int columns = header_columns.GetCount();
  const int top = PrevGroup ? PrevGroup->GetDisplayRect().bottom : 0;
  const std::int64_t origin_y = static_cast<std::int64_t>(top) + margin.top;
  ViewClamp clamp;
  ForgetCellPlan();
  // Without header columns there is no cell: the items stay unplaced at the group's top.
  const win::RECT rect =
      RebuildRows(control, group, margin, top, NextVisibleItemIndex, [&](int placed, win::RECT& cell) {
        if (columns == 0) return false;
        const win::RECT& column = static_cast<TTouchColumn*>(header_columns.Get(placed % columns))->GetDisplayRect();
        const std::int64_t y = origin_y + static_cast<std::int64_t>(placed / columns) * cell_height;
        cell = clamp.Rect(static_cast<std::int64_t>(margin.left) + column.left, y,
                          static_cast<std::int64_t>(margin.left) + column.right, y + cell_height);
        return true;
      });
  group->SetDisplayRect(rect);
  const int placed = VisibleCountOf(group);
  SetColumnCount(placed > 0 ? columns : 0);
  SetRowCount(placed > 0 ? placed / columns + (placed % columns ? 1 : 0) : 0);
  // The header's columns vary in width: the row under a point names the items that may hold it.
  if (!clamp.clamped)
    KeepCellPlan({TCellPlan::kRowMajor, margin.left, static_cast<int>(origin_y), 0, cell_height, columns, placed});
}

TTouchItem* TTouchGridGridGroup::AdjacentItem(TTouchItem* Item, TTouchAdjacentCellDir Direction) {
  if (Item == nullptr) return nullptr;
  CheckAdjacentSource(Item);
  return RowByRowAdjacent(GetOwnerListview(), Item, Direction);
}

void TTouchGridGridGroup::FindInsertPosition(win::POINT ViewportPoint, TTouchGroup*& Group, int& Index) {
  InsertPositionByPoint(GetOwnerListview(), ViewportPoint, Group, Index);
}

// ---- Making grids ----

std::unique_ptr<TTouchGridGroup> listview::MakeGrid(TCustomTouchListview* Listview, TTouchGroup* Group,
                                                    TTouchListStyle View) {
  switch (View) {
    case elsIcon: return std::make_unique<TTouchGridIconGroup>(Listview, Group);
    case elsSmallIcon: return std::make_unique<TTouchGridSmallIconGroup>(Listview, Group);
    case elsList: return std::make_unique<TTouchGridListGroup>(Listview, Group);
    case elsReport: return std::make_unique<TTouchGridReportGroup>(Listview, Group);
    case elsThumbnail: return std::make_unique<TTouchGridThumbnailGroup>(Listview, Group);
    case elsTile: return std::make_unique<TTouchGridTileGroup>(Listview, Group);
    case elsFilmStrip: return std::make_unique<TTouchGridFilmStripGroup>(Listview, Group);
    case elsGrid: return std::make_unique<TTouchGridGridGroup>(Listview, Group);
  }
  return nullptr;
}

}  // namespace dashtune
