// The grid layouts of the views: row by row (icon, small icon, thumbnail, tile), column by column
// (list, film strip), one item per row (report) and one item per header column (grid). Each
// group owns the grid of the control's current view.
#pragma once

#include <memory>

#include "components/listview/groups.h"

namespace dashtune {

// Row by row: as many cells per row as fit the client width (at least one).
class TTouchGridIconGroup : public TTouchGridGroup {
 public:
  TTouchGridIconGroup(TCustomTouchListview* AOwner, TTouchGroup* AGroup) : TTouchGridGroup(AOwner, AGroup, eglVert) {}
  TTouchCellSize* GetCellSize() const override;
  TTouchItem* AdjacentItem(TTouchItem* Item, TTouchAdjacentCellDir Direction) override;
  void FindInsertPosition(win::POINT ViewportPoint, TTouchGroup*& Group, int& Index) override;
  void Rebuild(TTouchGroup* PrevGroup, int& NextVisibleItemIndex) override;
};

class TTouchGridSmallIconGroup : public TTouchGridIconGroup {
 public:
  using TTouchGridIconGroup::TTouchGridIconGroup;
  TTouchCellSize* GetCellSize() const override;
};

class TTouchGridThumbnailGroup : public TTouchGridIconGroup {
 public:
  using TTouchGridIconGroup::TTouchGridIconGroup;
  TTouchCellSize* GetCellSize() const override;
};

// The application's layout: tiles row by row; takes no drops.
class TTouchGridTileGroup : public TTouchGridIconGroup {
 public:
  using TTouchGridIconGroup::TTouchGridIconGroup;
  TTouchCellSize* GetCellSize() const override;
  void FindInsertPosition(win::POINT, TTouchGroup*&, int&) override {}
};

// Column by column: as many cells per column as fit the client height (at least one); groups
// stand side by side.
class TTouchGridListGroup : public TTouchGridGroup {
 public:
  TTouchGridListGroup(TCustomTouchListview* AOwner, TTouchGroup* AGroup) : TTouchGridGroup(AOwner, AGroup, eglHorz) {}
  TTouchCellSize* GetCellSize() const override;
  TTouchItem* AdjacentItem(TTouchItem* Item, TTouchAdjacentCellDir Direction) override;
  void Rebuild(TTouchGroup* PrevGroup, int& NextVisibleItemIndex) override;
};

class TTouchGridFilmStripGroup : public TTouchGridListGroup {
 public:
  using TTouchGridListGroup::TTouchGridListGroup;
  TTouchCellSize* GetCellSize() const override;
};

// One item per row, as wide as the header's columns.
class TTouchGridReportGroup : public TTouchGridGroup {
 public:
  TTouchGridReportGroup(TCustomTouchListview* AOwner, TTouchGroup* AGroup) : TTouchGridGroup(AOwner, AGroup, eglGrid) {}
  TTouchCellSize* GetCellSize() const override;
  TTouchItem* AdjacentItem(TTouchItem* Item, TTouchAdjacentCellDir Direction) override;
  void Rebuild(TTouchGroup* PrevGroup, int& NextVisibleItemIndex) override;
};

// One item per header column, rows of as many items as the header has visible columns.
class TTouchGridGridGroup : public TTouchGridGroup {
 public:
  TTouchGridGridGroup(TCustomTouchListview* AOwner, TTouchGroup* AGroup) : TTouchGridGroup(AOwner, AGroup, eglGrid) {}
  TTouchCellSize* GetCellSize() const override;
  // Replaces the control's grid cell size by a copy of Value (the caller keeps Value).
  void SetCellSize(const TTouchCellSize* Value) override;
  TTouchItem* AdjacentItem(TTouchItem* Item, TTouchAdjacentCellDir Direction) override;
  void FindInsertPosition(win::POINT ViewportPoint, TTouchGroup*& Group, int& Index) override;
  void Rebuild(TTouchGroup* PrevGroup, int& NextVisibleItemIndex) override;
};

namespace listview {
// The grid of a view for a group.
std::unique_ptr<TTouchGridGroup> MakeGrid(TCustomTouchListview* Listview, TTouchGroup* Group, TTouchListStyle View);
// Message of AdjacentItem for a hidden item.
inline constexpr char kAdjacentItemOfInvisibleItem[] = "Can not find TTouchGroups.AdjacentItem of an Invisible Item";
}  // namespace listview

}  // namespace dashtune
