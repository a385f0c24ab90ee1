// Groups and columns: the group (its items, expansion, margins, key and layout object), the
// stored group, the group collection with its walks and rebuild; the column, the stored column,
// the column collection and the header that holds it.
#pragma once

#include <algorithm>
#include <memory>

#include "components/listview/collection.h"
#include "components/listview/dynamic_data.h"
#include "components/listview/items.h"

namespace dashtune {

class TTouchPaintInfoBaseGroup;

class TTouchCellSize;

// How a grid fills its cells: column by column, row by row, or one row per item (or per header
// column).
enum TTouchGridLayout : std::uint8_t { eglHorz, eglVert, eglGrid };

// Directions of AdjacentItem.
enum TTouchAdjacentCellDir : int { acdLeft, acdRight, acdUp, acdDown, acdPageDown, acdPageUp };

// The layout object of a group for the control's view: places the group's items in cells, finds
// the neighbour of an item and the place a dropped item would take.
class TTouchGridGroup : public TTouchOwnedPersistent {
 public:
  TTouchGridGroup(TCustomTouchListview* AOwner, TTouchGroup* AGroup, TTouchGridLayout ALayout = eglVert)
      : TTouchOwnedPersistent(AOwner), owner_group_(AGroup), layout_(ALayout) {}
  TTouchGroup* GetOwnerGroup() const { return owner_group_; }
  TTouchGridLayout GetLayout() const { return layout_; }
  int GetColumnCount() const { return column_count_; }
  int GetRowCount() const { return row_count_; }

  // The visible item reached from Item in Direction; nullptr for nullptr or when there is none.
  // A hidden item raises EAssertionFailed.
  virtual TTouchItem* AdjacentItem(TTouchItem* Item, TTouchAdjacentCellDir Direction);
  // The control's cell size of this grid's view.
  virtual TTouchCellSize* GetCellSize() const = 0;
  // (Width - left margin - right margin) div cell width.
  virtual int ColumnsThatFit(TTouchGroup* Group, int Width);
  // Room a descendant keeps above the group's items, which the layouts add to the top margin:
  // one alike for every group of the view, one that may follow the group. None in every grid here.
  virtual int StaticSpaceAboveItems() const { return 0; }
  virtual int DynamicSpaceAboveItems() const { return 0; }
  // Copies Value's width and height into the control's cell size of this view.
  virtual void SetCellSize(const TTouchCellSize* Value);
  // The group under the point (nullptr for none) and the index a dropped item would take there
  // (-1 when no item is under the point); grids that take no drops leave both alone.
  virtual void FindInsertPosition(win::POINT ViewportPoint, TTouchGroup*& Group, int& Index);
  // Lays out the group below PrevGroup (nullptr for the first), numbering visible items on from
  // NextVisibleItemIndex.
  virtual void Rebuild(TTouchGroup* PrevGroup, int& NextVisibleItemIndex) = 0;

  // The visible items (by visible index in the group, First..Last) that alone can hold a point,
  // answered from the cells the last layout placed; false when that layout kept no cells or
  // anything moved an item or changed the visible items since (the caller then walks them all).
  bool CandidatesAt(win::POINT ViewportPoint, int& First, int& Last) const;

 protected:
  void SetColumnCount(int Value) { column_count_ = Value; }
  void SetRowCount(int Value) { row_count_ = Value; }

  // How the last layout placed the visible items, so that a point finds its cell by arithmetic.
  // kRowMajor: item k in row k / per_line; with a cell width, in column k % per_line, else any
  // of its row (cells of varying width). kColumnMajor: item k in column k / per_line, row
  // k % per_line. Every cell is cell_width x cell_height from (origin_x, origin_y) onwards.
  struct TCellPlan {
    enum Order : std::uint8_t { kNone, kRowMajor, kColumnMajor } order = kNone;
    int origin_x = 0, origin_y = 0;
    int cell_width = 0;  // 0: the cells of a row vary in width
    int cell_height = 0;
    int per_line = 0;
    int count = 0;                // visible items placed
    std::uint32_t rect_stamp = 0;  // the items' rectangle writes when the plan was made
  };
  // Keeps the plan of the layout just finished: its cells must be all the visible items' display
  // rectangles, disjoint, with every coordinate as placed (none clamped).
  void KeepCellPlan(const TCellPlan& Plan);
  void ForgetCellPlan() { plan_.order = TCellPlan::kNone; }

 private:
  TTouchGroup* owner_group_;  // not owned: it owns this object
  TTouchGridLayout layout_;
  int column_count_ = 0;
  int row_count_ = 0;
  TCellPlan plan_;
};

// A group or column: asked-for changes are always allowed (a check only while enabled), and every
// change repaints the member; a change of visibility lays the control out anew. Groups and
// columns take no part in the detail, image-draw and thumbnail services of items.
class TTouchHeaderOrGroupMember : public TTouchCollectionItem {
 public:
  using TTouchCollectionItem::TTouchCollectionItem;

  int GetDetails(int) override { return 0; }
  void SetDetails(int, int) override {}
  void ImageDraw(TTouchColumn*, TCanvas*, const TTouchRectArrayObject&, TTouchAlphaBlender*) override {}
  void ImageDrawGetSize(TTouchColumn*, int&, int&) override {}
  bool ImageDrawIsCustom(TTouchColumn*) override { return false; }
  void ThumbnailDraw(TCanvas*, const win::RECT&, TTouchAlphaBlender*, bool&) override {}
  TCustomImageList* GetImageList(int, int ImageSize) override { return DefaultImageList(ImageSize); }
  // Lays the control out anew after a change of size or visibility.
  virtual void LayoutChanged() = 0;

  // The place among the visible groups or columns, -1 when hidden.
  int GetVisibleIndex() const { return visible_index_; }
  void SetVisibleIndex(int Value) { visible_index_ = Value; }

 protected:
  bool CanChangeBold(bool) override { return true; }
  bool CanChangeCheck(bool) override { return GetEnabled(); }
  bool CanChangeEnable(bool) override { return true; }
  bool CanChangeFocus(bool) override { return true; }
  bool CanChangeHotTracking(bool) override { return true; }
  bool CanChangeSelection(bool) override { return true; }
  bool CanChangeVisibility(bool) override { return true; }
  void BoldGained() override { Invalidate(false); }
  void BoldLost() override { Invalidate(false); }
  void CheckGained() override { Invalidate(false); }
  void CheckLost() override { Invalidate(false); }
  void EnableGained() override { Invalidate(false); }
  void EnableLost() override { Invalidate(false); }
  void FocusGained() override { Invalidate(false); }
  void FocusLost() override { Invalidate(false); }
  void GhostedGained() override { Invalidate(false); }
  void GhostedLost() override { Invalidate(false); }
  void DropTargetGained() override { Invalidate(false); }
  void DropTargetLost() override { Invalidate(false); }
  void HotTrackingGained(win::POINT) override { Invalidate(false); }
  void HotTrackingLost(win::POINT) override { Invalidate(false); }
  void SelectionGained() override { Invalidate(false); }
  void SelectionLost() override { Invalidate(false); }
  void VisibilityGained() override { LayoutChanged(); }
  void VisibilityLost() override { LayoutChanged(); }
  void Initialize() override {}

 private:
  int visible_index_ = -1;
};

class TTouchGroup : public TTouchHeaderOrGroupMember {
 public:
  explicit TTouchGroup(TTouchCollection* ACollection);
  ~TTouchGroup() override;

  TTouchItems* GetItems() const { return items_.get(); }
  TTouchItem* GetItem(int Index) const { return items_->GetItem(Index); }
  int GetItemCount() const { return items_->GetCount(); }
  bool GetExpanded() const { return expanded_; }
  void SetExpanded(bool Value);
  // The visible items in display order, filled by the layout.
  TTouchVisibleMembers GetVisibleItems() const { return items_->GetVisibleList(); }
  // The place among all visible items of the control that the layout gave this group's first
  // visible item; the items' places follow from it.
  int GetFirstVisibleItemIndex() const { return first_visible_item_index_; }
  void SetFirstVisibleItemIndex(int Value) { first_visible_item_index_ = Value; }
  std::uint32_t GetKey() const { return key_; }
  void SetKey(std::uint32_t Value) { key_ = Value; }

  // The group's paint info: its own, else the control's PaintInfoGroup.
  TTouchPaintInfoBaseGroup* GetGroupPaintInfo() const;
  // Margins as the layout counts them: Size when the group and the margin are visible and the
  // control shows group margins, else 0.
  int MarginLeftSize() const;
  int MarginTopSize() const;
  int MarginRightSize() const;
  int MarginBottomSize() const;

  // The caption's width in the control's font and the group image's width with its indent (0
  // without a window or an image).
  int CaptionWidth();
  int ImageWidth();

  TTouchGridGroup* GetGrid() const { return grid_.get(); }
  void SetGrid(std::unique_ptr<TTouchGridGroup> Value) { grid_ = std::move(Value); }

  // The detail count is the caption line count of the group's paint info.
  int GetDetailCount() override;
  void SetDetailCount(int Value) override;
  void LayoutChanged() override;

 protected:
  TTouchPaintInfoBasic* DefaultPaintInfo() const override;
  void ReleaseNotification() override {}

 private:
  int CountedMargin(const class TTouchMargin* margin) const;

  std::unique_ptr<TTouchItems> items_;
  std::unique_ptr<TTouchGridGroup> grid_;
  bool expanded_ = true;
  std::uint32_t key_ = 0;
  int first_visible_item_index_ = 0;
};

// A group whose caption and images are kept in a data record.
class TTouchBaseGroupStored : public TTouchStoredData<TTouchGroup> {
 public:
  using TTouchStoredData<TTouchGroup>::TTouchStoredData;
};
using TTouchGroupStored = TTouchBaseGroupStored;

class TTouchGroups : public TTouchCollection {
 public:
  explicit TTouchGroups(TCustomTouchListview* AOwner);
  ~TTouchGroups() override;

  TTouchGroup* GetGroup(int Index) const { return static_cast<TTouchGroup*>(GetItem(Index)); }
  TTouchGroupStored* AddGroup(std::intptr_t Data = 0);

  // Lays out the header and every group (unless inside an update, without Force) and hands the united
  // rectangle to the scroll bars as the view size.
  void Rebuild(bool Force = false);
  bool GetRebuilding() const { return rebuilding_; }

  // Walks over the items of all groups.
  int ItemCount() const;
  // The item at an index counted across all groups (nullptr outside 0..ItemCount-1).
  TTouchItem* ItemAt(int Index) const;
  TTouchItem* FirstItem() const;
  TTouchItem* LastItem() const;
  TTouchItem* NextItem(TTouchItem* Item) const;
  TTouchItem* PrevItem(TTouchItem* Item) const;
  TTouchItem* FirstVisibleItem() const;
  TTouchItem* NextVisibleItem(TTouchItem* Item) const;
  TTouchItem* FirstInitializedItem() const;
  TTouchItem* NextInitializedItem(TTouchItem* Item) const;
  // The same walks backwards.
  TTouchItem* LastVisibleItem() const;
  TTouchItem* PrevVisibleItem(TTouchItem* Item) const;
  TTouchItem* LastInitializedItem() const;
  TTouchItem* PrevInitializedItem(TTouchItem* Item) const;
  // The visible group and item at a point of the view.
  TTouchGroup* GroupAt(win::POINT ViewportPoint) const;
  TTouchItem* ItemAtPoint(win::POINT ViewportPoint) const;

 protected:
  // A new group gets the grid of the control's view.
  void DoItemAdd(TTouchCollectionItem* Item, int Index) override;

 private:
  TTouchItem* NextItemWhere(TTouchItem* Item, bool (*accept)(TTouchItem*)) const;
  TTouchItem* PrevItemWhere(TTouchItem* Item, bool (*accept)(TTouchItem*)) const;
  bool rebuilding_ = false;
};

class TTouchColumn : public TTouchHeaderOrGroupMember {
 public:
  explicit TTouchColumn(TTouchCollection* ACollection);
  ~TTouchColumn() override;

  // The column's place in the header's order.
  int GetPosition() const;
  void SetPosition(int Value);
  TTouchSortDirection GetSortDirection() const { return sort_direction_; }
  virtual void SetSortDirection(TTouchSortDirection Value);
  int GetWidth() const { return width_; }
  virtual void SetWidth(int Value);
  // Stores a width without laying anything out (the header spreads a resize this way).
  void StoreWidth(int Value) { width_ = std::max(Value, 0); }
  // The share of a spread resize not yet applied (less than one pixel).
  double GetSpringFraction() const { return spring_fraction_; }
  void SetSpringFraction(double Value) { spring_fraction_ = Value; }
  // Whether a dragged column would be dropped after this one (painted as a mark).
  bool GetDropMark() const { return Has(esfDropMark); }
  void SetDropMark(bool Value) { SetPaintOnlyBit(esfDropMark, Value); }
  // Sizes the column to its widest caption among the visible items (and its own caption).
  void AutoSizeToFit();
  TAlignment GetAlignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);
  bool GetAutoSizeOnDblClk() const { return auto_size_on_dbl_clk_; }
  void SetAutoSizeOnDblClk(bool Value) { auto_size_on_dbl_clk_ = Value; }
  bool GetAutoSortOnClick() const { return auto_sort_on_click_; }
  void SetAutoSortOnClick(bool Value) { auto_sort_on_click_ = Value; }
  bool GetAutoSpring() const { return auto_spring_; }
  void SetAutoSpring(bool Value) { auto_spring_ = Value; }
  bool GetAutoToggleSortGlyph() const { return auto_toggle_sort_glyph_; }
  void SetAutoToggleSortGlyph(bool Value) { auto_toggle_sort_glyph_ = Value; }
  bool GetClickable() const { return clickable_; }
  void SetClickable(bool Value) { clickable_ = Value; }

  // The detail count is the caption line count of the control's column paint info.
  int GetDetailCount() override;
  void SetDetailCount(int Value) override;
  void Invalidate(bool ImmediateUpdate) override;
  // The header and the items are laid out anew.
  void LayoutChanged() override;

 protected:
  TTouchPaintInfoBasic* DefaultPaintInfo() const override;
  void ReleaseNotification() override;

 private:
  TTouchSortDirection sort_direction_ = esdNone;
  int width_ = 50;
  double spring_fraction_ = 0;
  TAlignment alignment_ = taLeftJustify;
  bool auto_size_on_dbl_clk_ = true;
  bool auto_sort_on_click_ = false;
  bool auto_spring_ = false;
  bool auto_toggle_sort_glyph_ = true;
  bool clickable_ = true;
};

// A column whose caption and images are kept in a data record.
class TTouchColumnStored : public TTouchStoredData<TTouchColumn> {
 public:
  using TTouchStoredData<TTouchColumn>::TTouchStoredData;
  // A direction other than none makes the column the focused one and, with AutoSort, sorts.
  void SetSortDirection(TTouchSortDirection Value) override;
};

namespace listview {
// The item rectangles point queries have tested since the program started: tests bound a
// query's work by it.
std::uint64_t CellsTested();
}  // namespace listview

class TTouchColumns : public TTouchCollection {
 public:
  explicit TTouchColumns(TCustomTouchListview* AOwner);
  ~TTouchColumns() override;

  TTouchColumn* GetColumn(int Index) const { return static_cast<TTouchColumn*>(GetItem(Index)); }
  TTouchColumnStored* AddColumn(std::intptr_t Data = 0);
  void Clear(bool FreeItems = true) override;
  // The columns in header order.
  TList& GetPositions() { return positions_; }
  const TList& GetPositions() const { return positions_; }
  // Moves Column to Position in the header order.
  void MoveToPosition(TTouchColumn* Column, int Position);

 protected:
  void DoItemAdd(TTouchCollectionItem* Item, int Index) override;

 private:
  friend class TTouchColumn;
  TList positions_;
};

}  // namespace dashtune
