#include "platform/gdi/region.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/gdi/gdi_types.h"

namespace win::gdi {
namespace {

using Spans = std::vector<std::pair<int, int>>;

struct Band {
  int top;
  int bottom;
  Spans spans;
};

std::vector<Band> ToBands(const std::vector<RECT>& rects) {
  std::vector<Band> bands;
  for (const RECT& r : rects) {
    if (bands.empty() || bands.back().top != r.top) bands.push_back({r.top, r.bottom, {}});
    bands.back().spans.emplace_back(r.left, r.right);
  }
  return bands;
}

// Appends a band, merging it into the previous one when they touch and have the same spans.
void AppendBand(std::vector<Band>& bands, int top, int bottom, Spans spans) {
  if (spans.empty() || top >= bottom) return;
  if (!bands.empty() && bands.back().bottom == top && bands.back().spans == spans) {
    bands.back().bottom = bottom;
    return;
  }
  bands.push_back({top, bottom, std::move(spans)});
}

std::vector<RECT> FromBands(const std::vector<Band>& bands) {
  std::vector<RECT> rects;
  for (const Band& band : bands)
    for (const auto& [left, right] : band.spans) rects.push_back({left, band.top, right, band.bottom});
  return rects;
}

bool Keep(bool in_a, bool in_b, Region::Op op) {
  switch (op) {
    case Region::Op::kAnd: return in_a && in_b;
    case Region::Op::kOr: return in_a || in_b;
    case Region::Op::kXor: return in_a != in_b;
    case Region::Op::kDiff: return in_a && !in_b;
  }
  return false;
}

bool Covers(const Spans& spans, std::size_t& cursor, int x) {
  while (cursor < spans.size() && spans[cursor].second <= x) ++cursor;
  return cursor < spans.size() && spans[cursor].first <= x;
}

Spans CombineSpans(const Spans& a, const Spans& b, Region::Op op) {
  std::vector<int> xs;
  for (const auto& [l, r] : a) { xs.push_back(l); xs.push_back(r); }
  for (const auto& [l, r] : b) { xs.push_back(l); xs.push_back(r); }
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  Spans out;
  std::size_t cursor_a = 0;
  std::size_t cursor_b = 0;
  for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
    const bool in_a = Covers(a, cursor_a, xs[i]);
    const bool in_b = Covers(b, cursor_b, xs[i]);
    if (!Keep(in_a, in_b, op)) continue;
    if (!out.empty() && out.back().second == xs[i])
      out.back().second = xs[i + 1];
    else
      out.emplace_back(xs[i], xs[i + 1]);
  }
  return out;
}

const Spans& SpansAt(const std::vector<Band>& bands, std::size_t& cursor, int y) {
  static const Spans kNone;
  while (cursor < bands.size() && bands[cursor].bottom <= y) ++cursor;
  if (cursor < bands.size() && bands[cursor].top <= y) return bands[cursor].spans;
  return kNone;
}

}  // namespace

bool RectIsEmpty(const RECT& rect) { return rect.left >= rect.right || rect.top >= rect.bottom; }

RECT IntersectRects(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (RectIsEmpty(r)) return RECT{};
  return r;
}

Region::Region(const RECT& rect) {
  if (!RectIsEmpty(rect)) rects_.push_back(rect);
}

Region Region::FromRowSpans(int top, int bottom,
                            const std::function<void(int, int&, int&)>& span) {
  std::vector<Band> bands;
  for (int y = top; y < bottom; ++y) {
    int left = 0;
    int right = 0;
    span(y, left, right);
    if (left < right) AppendBand(bands, y, y + 1, Spans{{left, right}});
  }
  Region region;
  region.rects_ = FromBands(bands);
  return region;
}

Region Region::RoundRect(const RECT& rect, int ellipse_width, int ellipse_height, const RECT* within) {
  if (RectIsEmpty(rect)) return Region();
  if (within != nullptr) {
    // Rows outside `within` are never made; the rest is cut to it at the end.
    const int top_row = std::max(rect.top, within->top);
    const int bottom_row = std::min(rect.bottom, within->bottom);
    if (top_row >= bottom_row) return Region();
    Region whole = RoundRectRows(rect, ellipse_width, ellipse_height, top_row, bottom_row);
    return Combine(whole, Region(*within), Op::kAnd);
  }
  return RoundRectRows(rect, ellipse_width, ellipse_height, rect.top, rect.bottom);
}

Region Region::RoundRectRows(const RECT& rect, int ellipse_width, int ellipse_height, int first_row,
                             int end_row) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  // Corners larger than the largest surface look the same as corners of that size there.
  constexpr int kMaxCorner = 1 << 16;
  const auto corner = [](int size, int limit) {
    return static_cast<int>(std::min<long long>({std::llabs(static_cast<long long>(size)), limit, kMaxCorner}));
  };
  const int corner_w = corner(ellipse_width, width);
  const int corner_h = corner(ellipse_height, height);
  if (corner_w < 2 || corner_h < 2) return Region(RECT{rect.left, first_row, rect.right, end_row});
  const double rx = corner_w / 2.0;
  const double ry = corner_h / 2.0;
  // A pixel belongs to the shape when its centre lies inside the corner ellipse. Only the
  // corner rows vary; the rows between them are one band.
  const auto corner_row = [&](int y, int& left, int& right) {
    const double centre = y + 0.5;
    const double from_edge = std::min(centre - rect.top, rect.bottom - centre);
    int inset = 0;
    if (from_edge < ry) {
      const double t = (ry - from_edge) / ry;
      const double half = rx * std::sqrt(std::max(0.0, 1.0 - t * t));
      inset = static_cast<int>(std::ceil(rx - half - 0.5));
      inset = std::clamp(inset, 0, width / 2);
    }
    left = rect.left + inset;
    right = rect.right - inset;
  };
  const int corner_rows = (corner_h + 1) / 2;
  const int top_end = std::min<int>(rect.top + corner_rows, rect.bottom);
  const int bottom_start = std::max<int>(rect.bottom - corner_rows, top_end);
  Region top = FromRowSpans(std::max(rect.top, first_row), std::min(top_end, end_row), corner_row);
  Region middle(RECT{rect.left, std::max(top_end, first_row), rect.right, std::min(bottom_start, end_row)});
  Region bottom = FromRowSpans(std::max(bottom_start, first_row), std::min<int>(rect.bottom, end_row), corner_row);
  return Combine(Combine(top, middle, Op::kOr), bottom, Op::kOr);
}

Region Region::Combine(const Region& a, const Region& b, Op op) {
  const std::vector<Band> bands_a = ToBands(a.rects_);
  const std::vector<Band> bands_b = ToBands(b.rects_);
  std::vector<int> ys;
  for (const Band& band : bands_a) { ys.push_back(band.top); ys.push_back(band.bottom); }
  for (const Band& band : bands_b) { ys.push_back(band.top); ys.push_back(band.bottom); }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

  std::vector<Band> out;
  std::size_t cursor_a = 0;
  std::size_t cursor_b = 0;
  for (std::size_t i = 0; i + 1 < ys.size(); ++i) {
    const Spans& spans_a = SpansAt(bands_a, cursor_a, ys[i]);
    const Spans& spans_b = SpansAt(bands_b, cursor_b, ys[i]);
    AppendBand(out, ys[i], ys[i + 1], CombineSpans(spans_a, spans_b, op));
  }
  Region result;
  result.rects_ = FromBands(out);
  return result;
}

RECT Region::Bounds() const {
  if (rects_.empty()) return RECT{};
  RECT box = rects_.front();
  for (const RECT& r : rects_) {
    box.left = std::min(box.left, r.left);
    box.right = std::max(box.right, r.right);
    box.bottom = std::max(box.bottom, r.bottom);
  }
  return box;
}

int Region::Complexity() const {
  if (rects_.empty()) return NULLREGION;
  return rects_.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

bool Region::Contains(int x, int y) const {
  for (const RECT& r : rects_) {
    if (r.top > y) break;
    if (y < r.bottom && x >= r.left && x < r.right) return true;
  }
  return false;
}

bool Region::Intersects(const RECT& rect) const {
  for (const RECT& r : rects_)
    if (!RectIsEmpty(IntersectRects(r, rect))) return true;
  return false;
}

void Region::Offset(int dx, int dy) {
  for (RECT& r : rects_) {
    r.left += dx;
    r.right += dx;
    r.top += dy;
    r.bottom += dy;
  }
}

bool Region::operator==(const Region& other) const {
  if (rects_.size() != other.rects_.size()) return false;
  for (std::size_t i = 0; i < rects_.size(); ++i) {
    const RECT& a = rects_[i];
    const RECT& b = other.rects_[i];
    if (a.left != b.left || a.top != b.top || a.right != b.right || a.bottom != b.bottom) return false;
  }
  return true;
}

}  // namespace win::gdi
