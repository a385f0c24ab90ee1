// Cell sizes: one fixed cell size per view, read by the layout and the painters.
#pragma once

#include <memory>

#include "components/listview/collection.h"

namespace dashtune {

class TTouchCellSize : public TTouchOwnedPersistent {
 public:
  TTouchCellSize(TCustomTouchListview* AOwner, int AWidth, int AHeight, bool AAutoSize = false)
      : TTouchOwnedPersistent(AOwner), auto_size_(AAutoSize), width_(AWidth), height_(AHeight) {}
  // Copies the height and width of another cell size (as read) without a rebuild.
  void Assign(const TPersistent* Source) override;

  int GetWidth() const { return width_ < 1 ? 1 : width_; }
  int GetHeight() const { return height_ < 1 ? 1 : height_; }
  void SetWidth(int Value) { SetSize(Value, height_); }
  void SetHeight(int Value) { SetSize(width_, Value); }
  // Negatives become 0; a change stores both and rebuilds the control's layout.
  void SetSize(int AWidth, int AHeight);
  bool GetAutoSize() const { return auto_size_; }
  void SetAutoSize(bool Value) { auto_size_ = Value; }

 private:
  bool auto_size_;
  int width_;
  int height_;
};

#define DASHTUNE_CELL_SIZE_CLASS(Name, Base, W, H, Auto)                            \
  class Name : public Base {                                                       \
   public:                                                                         \
    explicit Name(TCustomTouchListview* AOwner) : Base(AOwner, W, H, Auto) {}      \
                                                                                   \
   protected:                                                                      \
    Name(TCustomTouchListview* AOwner, int AWidth, int AHeight, bool AAutoSize)    \
        : Base(AOwner, AWidth, AHeight, AAutoSize) {}                              \
  };
DASHTUNE_CELL_SIZE_CLASS(TTouchCellSizeIcon, TTouchCellSize, 75, 75, false)
DASHTUNE_CELL_SIZE_CLASS(TTouchCellSizeSmallIcon, TTouchCellSize, 200, 17, false)
DASHTUNE_CELL_SIZE_CLASS(TTouchCellSizeThumbnail, TTouchCellSize, 125, 143, false)
DASHTUNE_CELL_SIZE_CLASS(TTouchCellSizeFilmStrip, TTouchCellSizeThumbnail, 125, 143, false)
DASHTUNE_CELL_SIZE_CLASS(TTouchCellSizeTile, TTouchCellSize, 218, 58, false)
DASHTUNE_CELL_SIZE_CLASS(TTouchCellSizeList, TTouchCellSize, 200, 17, true)
DASHTUNE_CELL_SIZE_CLASS(TTouchCellSizeReport, TTouchCellSize, 75, 17, false)
DASHTUNE_CELL_SIZE_CLASS(TTouchCellGrid, TTouchCellSizeReport, 75, 17, false)
#undef DASHTUNE_CELL_SIZE_CLASS

// The cell size of every view; owns them.
class TTouchCellSizes : public TTouchOwnedPersistent {
 public:
  explicit TTouchCellSizes(TCustomTouchListview* AOwner);

  TTouchCellSize* GetIcon() const { return icon_.get(); }
  TTouchCellSize* GetSmallIcon() const { return small_icon_.get(); }
  TTouchCellSize* GetThumbnail() const { return thumbnail_.get(); }
  TTouchCellSize* GetTile() const { return tile_.get(); }
  TTouchCellSize* GetList() const { return list_.get(); }
  TTouchCellSize* GetReport() const { return report_.get(); }
  TTouchCellSize* GetFilmStrip() const { return film_strip_.get(); }
  TTouchCellSize* GetGrid() const { return grid_.get(); }
  // The grid view's cell size object is replaced (the grid layout hands over its own).
  void SetGrid(std::unique_ptr<TTouchCellSize> Value) { if (Value) grid_ = std::move(Value); }
  // The cell size of a view.
  TTouchCellSize* ForView(TTouchListStyle View) const;

 private:
  std::unique_ptr<TTouchCellSize> icon_;
  std::unique_ptr<TTouchCellSize> small_icon_;
  std::unique_ptr<TTouchCellSize> thumbnail_;
  std::unique_ptr<TTouchCellSize> tile_;
  std::unique_ptr<TTouchCellSize> list_;
  std::unique_ptr<TTouchCellSize> report_;
  std::unique_ptr<TTouchCellSize> film_strip_;
  std::unique_ptr<TTouchCellSize> grid_;
};

}  // namespace dashtune
