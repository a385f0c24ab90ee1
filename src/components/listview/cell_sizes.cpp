#include "components/listview/cell_sizes.h"

#include <algorithm>

#include "components/listview/listview.h"

namespace dashtune {

void TTouchCellSize::Assign(const TPersistent* Source) {
  const auto* source = dynamic_cast<const TTouchCellSize*>(Source);
  if (source == nullptr) return;
  width_ = source->GetWidth();
  height_ = source->GetHeight();
}

void TTouchCellSize::SetSize(int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (AWidth == width_ && AHeight == height_) return;
  width_ = AWidth;
  height_ = AHeight;
  if (TCustomTouchListview* control = GetOwnerListview()) control->GetGroups()->Rebuild(false);
}

TTouchCellSizes::TTouchCellSizes(TCustomTouchListview* AOwner)
    : TTouchOwnedPersistent(AOwner),
      icon_(std::make_unique<TTouchCellSizeIcon>(AOwner)),
      small_icon_(std::make_unique<TTouchCellSizeSmallIcon>(AOwner)),
      thumbnail_(std::make_unique<TTouchCellSizeThumbnail>(AOwner)),
      tile_(std::make_unique<TTouchCellSizeTile>(AOwner)),
      list_(std::make_unique<TTouchCellSizeList>(AOwner)),
      report_(std::make_unique<TTouchCellSizeReport>(AOwner)),
      film_strip_(std::make_unique<TTouchCellSizeFilmStrip>(AOwner)),
      grid_(std::make_unique<TTouchCellGrid>(AOwner)) {}

TTouchCellSize* TTouchCellSizes::ForView(TTouchListStyle View) const {
  switch (View) {
    case elsIcon: return GetIcon();
    case elsSmallIcon: return GetSmallIcon();
    case elsList: return GetList();
    case elsReport: return GetReport();
    case elsThumbnail: return GetThumbnail();
    case elsTile: return GetTile();
    case elsFilmStrip: return GetFilmStrip();
    case elsGrid: return GetGrid();
  }
  return GetIcon();
}

}  // namespace dashtune
