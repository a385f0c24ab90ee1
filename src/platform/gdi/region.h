// An area of the pixel plane as a list of disjoint rectangles in bands: rectangles sorted by
// top, then left; every rectangle of a band shares its top and bottom; neighbouring bands with
// identical spans are merged. Regions are values; HRGN objects and device-context clips hold them.
#pragma once

#include <functional>
#include <vector>

#include "platform/core/types.h"

namespace win::gdi {

class Region {
 public:
  enum class Op { kAnd, kOr, kXor, kDiff };

  Region() = default;
  explicit Region(const RECT& rect);
  // The rounded rectangle [left, right) x [top, bottom) with elliptic corners of the given size;
  // with `within`, only the part inside it.
  static Region RoundRect(const RECT& rect, int ellipse_width, int ellipse_height,
                          const RECT* within = nullptr);
  // One rectangle per row span, rows taken from `spans(y, left, right)` for y in [top, bottom).
  static Region FromRowSpans(int top, int bottom, const std::function<void(int, int&, int&)>& span);

  static Region Combine(const Region& a, const Region& b, Op op);

  bool IsEmpty() const { return rects_.empty(); }
  const std::vector<RECT>& Rects() const { return rects_; }
  RECT Bounds() const;
  int Complexity() const;  // NULLREGION, SIMPLEREGION or COMPLEXREGION
  bool Contains(int x, int y) const;
  bool Intersects(const RECT& rect) const;
  void Offset(int dx, int dy);
  bool operator==(const Region& other) const;

 private:
  static Region RoundRectRows(const RECT& rect, int ellipse_width, int ellipse_height, int first_row,
                              int end_row);

  std::vector<RECT> rects_;
};

bool RectIsEmpty(const RECT& rect);
RECT IntersectRects(const RECT& a, const RECT& b);  // empty rectangles collapse to {0,0,0,0}

}  // namespace win::gdi
