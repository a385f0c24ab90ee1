// Shapes, lines, single pixels, focus rectangles and edges; every pixel goes through the
// raster evaluator with the pen or brush as the pattern.
#include <algorithm>
#include <array>
#include <cstdlib>

#include "platform/gdi/dc_access.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/raster.h"

namespace win::gdi {
namespace {

Region Shifted(const Region& region, int dx, int dy) {
  Region copy = region;
  copy.Offset(dx, dy);
  return copy;
}

// The pixels of `shape` that have all four neighbours inside it.
Region Eroded(const Region& shape) {
  Region inner = Region::Combine(shape, Shifted(shape, 1, 0), Region::Op::kAnd);
  inner = Region::Combine(inner, Shifted(shape, -1, 0), Region::Op::kAnd);
  inner = Region::Combine(inner, Shifted(shape, 0, 1), Region::Op::kAnd);
  return Region::Combine(inner, Shifted(shape, 0, -1), Region::Op::kAnd);
}

struct PenInfo {
  std::uint32_t value = 0;
  int width = 1;
  int style = PS_SOLID;
};

bool PenOf(const DeviceContext& dc, PenInfo* pen) {
  if (!dc.state.pen || dc.state.pen->pen.lopnStyle == PS_NULL) return false;
  pen->value = dc.ValueOf(dc.state.pen->pen.lopnColor);
  pen->width = std::max<int>(1, dc.state.pen->pen.lopnWidth.x);
  pen->style = static_cast<int>(dc.state.pen->pen.lopnStyle);
  return true;
}

// Draws a closed shape: the brush fills it, the pen draws its border `width` pixels deep
// inside it, both with the context's mix mode. Without a pen the shape loses its last
// column and row, as the outline would have covered them.
void DrawShape(DeviceContext& dc, const RECT& logical,
               Region (*make)(const RECT&, int, int, const RECT&), int corner_w, int corner_h) {
  const DrawTarget target = dc.Target();
  RECT rect = ToSurface(target, logical.left, logical.top, logical.right, logical.bottom);
  PenInfo pen;
  const bool has_pen = PenOf(dc, &pen);
  if (!has_pen) {
    rect.right -= 1;
    rect.bottom -= 1;
  }
  // Work only near the visible area: a border cut off here lies more than the pen's width
  // outside the clip, so it never shows.
  RECT limit = target.clip->Bounds();
  const int margin = (has_pen ? pen.width : 0) + 1;
  limit = RECT{limit.left - margin, limit.top - margin, limit.right + margin, limit.bottom + margin};
  const Region shape = make(rect, corner_w, corner_h, limit);
  const std::uint8_t code = RopFromRop2(dc.state.rop2);
  Region inner = shape;
  if (has_pen)
    for (int i = 0; i < pen.width && !inner.IsEmpty(); ++i) inner = Eroded(inner);
  std::uint32_t brush = 0;
  if (BrushValue(dc, dc.state.brush.get(), &brush)) PaintRegion(target, has_pen ? inner : shape, code, brush);
  if (has_pen) PaintRegion(target, Region::Combine(shape, inner, Region::Op::kDiff), code, pen.value);
}

Region RectShape(const RECT& rect, int, int, const RECT& within) { return Region(IntersectRects(rect, within)); }
Region RoundShape(const RECT& rect, int w, int h, const RECT& within) {
  return Region::RoundRect(rect, w, h, &within);
}

// On/off run lengths of the dashed pen styles.
const std::vector<int>& DashPattern(int style) {
  static const std::vector<int> kSolid;
  static const std::vector<int> kDash{18, 6};
  static const std::vector<int> kDot{3, 3};
  static const std::vector<int> kDashDot{9, 6, 3, 6};
  static const std::vector<int> kDashDotDot{9, 3, 3, 3, 3, 3};
  switch (style) {
    case PS_DASH: return kDash;
    case PS_DOT: return kDot;
    case PS_DASHDOT: return kDashDot;
    case PS_DASHDOTDOT: return kDashDotDot;
    default: return kSolid;
  }
}

bool DashOn(const std::vector<int>& pattern, long long step) {
  if (pattern.empty()) return true;
  int period = 0;
  for (int run : pattern) period += run;
  int at = static_cast<int>(step % period);
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (at < pattern[i]) return i % 2 == 0;
    at -= pattern[i];
  }
  return true;
}

// The segment from `a` to `b` (end point excluded) walked along its longer axis: step k is at
// major = a + k along that axis and minor = a + round(k x minor length / major length).
class LineWalk {
 public:
  LineWalk(POINT a, POINT b) : a_(a) {
    const long long dx = static_cast<long long>(b.x) - a.x;
    const long long dy = static_cast<long long>(b.y) - a.y;
    x_major_ = std::llabs(dx) >= std::llabs(dy);
    steps_ = std::max(std::llabs(dx), std::llabs(dy));
    minor_len_ = x_major_ ? std::llabs(dy) : std::llabs(dx);
    step_x_ = dx < 0 ? -1 : 1;
    step_y_ = dy < 0 ? -1 : 1;
  }
  long long Steps() const { return steps_; }
  POINT At(long long k) const {
    const long long major = k;
    const long long minor = steps_ == 0 ? 0 : (2 * k * minor_len_ + steps_) / (2 * steps_);
    return x_major_ ? POINT{static_cast<LONG>(a_.x + step_x_ * major), static_cast<LONG>(a_.y + step_y_ * minor)}
                    : POINT{static_cast<LONG>(a_.x + step_x_ * minor), static_cast<LONG>(a_.y + step_y_ * major)};
  }
  // The steps whose pixels lie inside `box`: one run, as both coordinates move monotonically.
  bool StepsInside(const RECT& box, long long* first, long long* last) const {
    long long lo = 0;
    long long hi = steps_ - 1;
    Narrow([](POINT p) { return p.x; }, step_x_, box.left, box.right - 1, lo, hi);
    Narrow([](POINT p) { return p.y; }, step_y_, box.top, box.bottom - 1, lo, hi);
    *first = lo;
    *last = hi;
    return lo <= hi;
  }

 private:
  template <class Coord>
  void Narrow(Coord coord, int step, long long min, long long max, long long& lo, long long& hi) const {
    if (lo > hi) return;
    // Entered: from here on the coordinate has reached the range; left: still not past it.
    auto entered = [&](long long k) { return step > 0 ? coord(At(k)) >= min : coord(At(k)) <= max; };
    auto not_past = [&](long long k) { return step > 0 ? coord(At(k)) <= max : coord(At(k)) >= min; };
    long long a = lo, b = hi + 1;
    while (a < b) {  // first step that entered
      const long long m = a + (b - a) / 2;
      if (entered(m)) b = m; else a = m + 1;
    }
    const long long first = a;
    a = lo - 1;
    b = hi;
    while (a < b) {  // last step not past
      const long long m = b - (b - a) / 2;
      if (not_past(m)) a = m; else b = m - 1;
    }
    lo = std::max(lo, first);
    hi = std::min(hi, a);
  }

  POINT a_;
  bool x_major_ = true;
  long long steps_ = 0;
  long long minor_len_ = 0;
  int step_x_ = 1;
  int step_y_ = 1;
};

// A straight wide line: squares of the pen's width centred on the line's pixels. Their union
// is convex, so each row is one span; only rows inside `box` are made.
Region WideLine(const LineWalk& walk, int width, const RECT& box) {
  const int half = width / 2;
  const RECT reach{box.left - width, box.top - width, box.right + width, box.bottom + width};
  long long first = 0;
  long long last = -1;
  if (!walk.StepsInside(reach, &first, &last)) return Region();
  const int top = box.top;
  const int bottom = box.bottom;
  std::vector<int> lefts(static_cast<std::size_t>(bottom - top), 1 << 30);
  std::vector<int> rights(static_cast<std::size_t>(bottom - top), -(1 << 30));
  for (long long k = first; k <= last; ++k) {
    const POINT p = walk.At(k);
    for (int y = std::max<int>(p.y - half, top); y < std::min<int>(p.y - half + width, bottom); ++y) {
      const std::size_t i = static_cast<std::size_t>(y - top);
      lefts[i] = std::min<int>(lefts[i], p.x - half);
      rights[i] = std::max<int>(rights[i], p.x - half + width);
    }
  }
  return Region::FromRowSpans(top, bottom, [&](int y, int& l, int& r) {
    l = lefts[static_cast<std::size_t>(y - top)];
    r = rights[static_cast<std::size_t>(y - top)];
  });
}

void DrawLine(DeviceContext& dc, POINT from, POINT to) {
  PenInfo pen;
  if (!PenOf(dc, &pen)) return;
  const DrawTarget target = dc.Target();
  if (target.surface == nullptr || target.clip->IsEmpty()) return;
  const POINT a{from.x + target.offset.x, from.y + target.offset.y};
  const POINT b{to.x + target.offset.x, to.y + target.offset.y};
  if (a.x == b.x && a.y == b.y) return;
  const std::uint8_t code = RopFromRop2(dc.state.rop2);
  const std::vector<int>& dashes = DashPattern(pen.style);
  const RECT box = target.clip->Bounds();
  if (pen.width == 1 && dashes.empty() && (a.y == b.y || a.x == b.x)) {
    // Horizontal or vertical: one rectangle from the start up to the end point.
    const RECT span = a.y == b.y ? RECT{a.x < b.x ? a.x : b.x + 1, a.y, a.x < b.x ? b.x : a.x + 1, a.y + 1}
                                 : RECT{a.x, a.y < b.y ? a.y : b.y + 1, a.x + 1, a.y < b.y ? b.y : a.y + 1};
    PaintRegion(target, Region(span), code, pen.value);
    return;
  }
  const LineWalk walk(a, b);
  if (pen.width > 1) {
    PaintRegion(target, WideLine(walk, pen.width, box), code, pen.value);
    return;
  }
  long long first = 0;
  long long last = -1;
  if (!walk.StepsInside(box, &first, &last)) return;
  for (long long k = first; k <= last; ++k) {
    if (!DashOn(dashes, k)) continue;
    const POINT p = walk.At(k);
    if (!target.clip->Contains(p.x, p.y)) continue;
    WriteValue(*target.surface, p.x, p.y,
               ApplyRop3(code, pen.value, 0, ReadValue(*target.surface, p.x, p.y)) & target.surface->ValueMask());
  }
}

// One edge layer: top and left in `light`, right and bottom in `dark`, on the sides asked for.
void EdgeLayer(DeviceContext& dc, const DrawTarget& target, const RECT& r, UINT flags, COLORREF light,
               COLORREF dark) {
  const std::uint8_t code = RopCode(PATCOPY);
  auto line = [&](int left, int top, int right, int bottom, COLORREF colour) {
    PaintRegion(target, Region(ToSurface(target, left, top, right, bottom)), code, dc.ValueOf(colour));
  };
  // The corners shared with the right and bottom lines belong to those lines when drawn.
  const int top_end = (flags & BF_RIGHT) ? r.right - 1 : r.right;
  const int left_end = (flags & BF_BOTTOM) ? r.bottom - 1 : r.bottom;
  if (flags & BF_TOP) line(r.left, r.top, top_end, r.top + 1, light);
  if (flags & BF_LEFT) line(r.left, r.top, r.left + 1, left_end, light);
  if (flags & BF_RIGHT) line(r.right - 1, r.top, r.right, r.bottom, dark);
  if (flags & BF_BOTTOM) line(r.left, r.bottom - 1, r.right, r.bottom, dark);
}

void Deflate(RECT& r, UINT flags) {
  if (flags & BF_LEFT) ++r.left;
  if (flags & BF_TOP) ++r.top;
  if (flags & BF_RIGHT) --r.right;
  if (flags & BF_BOTTOM) --r.bottom;
}

struct LayerColours {
  COLORREF light;
  COLORREF dark;
};

// Colours of the outer (outer = true) or inner layer of an edge.
LayerColours EdgeColours(UINT edge, UINT flags, bool outer) {
  if (flags & (BF_MONO | BF_FLAT)) {
    const COLORREF c = outer ? SystemColour((flags & BF_MONO) ? COLOR_WINDOWFRAME : COLOR_3DSHADOW)
                             : SystemColour((flags & BF_MONO) ? COLOR_WINDOW : COLOR_3DFACE);
    return {c, c};
  }
  const bool raised = outer ? (edge & BDR_RAISEDOUTER) != 0 : (edge & BDR_RAISEDINNER) != 0;
  // With BF_SOFT a layer's top-left takes the colour the other layer of its kind would use.
  const bool soft = (flags & BF_SOFT) != 0;
  const bool outer_look = outer != soft;
  if (raised)
    return {SystemColour(outer_look ? COLOR_3DLIGHT : COLOR_BTNHIGHLIGHT),
            SystemColour(outer ? COLOR_3DDKSHADOW : COLOR_BTNSHADOW)};
  return {SystemColour(outer_look ? COLOR_BTNSHADOW : COLOR_3DDKSHADOW),
          SystemColour(outer ? COLOR_BTNHIGHLIGHT : COLOR_3DLIGHT)};
}

}  // namespace

namespace {

// Text's common case, a run of 32-bit pixels: blue, green and red each mixed by the coverage,
// the alpha byte kept.
void BlendCoverageRow32(std::uint8_t* pixels, int count, const std::uint8_t* coverage, std::uint32_t rgb) {
  const unsigned colour[3] = {rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF};
  for (int i = 0; i < count; ++i, pixels += 4) {
    const unsigned c = coverage[i];
    if (c == 0) continue;
    for (int k = 0; k < 3; ++k)
      pixels[k] = static_cast<std::uint8_t>((colour[k] * c + pixels[k] * (255 - c) + 127) / 255);
  }
}

}  // namespace

bool BlendCoverage(HDC handle, int x, int y, int width, int height, const std::uint8_t* coverage,
                   std::ptrdiff_t coverage_stride, COLORREF colour) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc || coverage == nullptr || width <= 0 || height <= 0 || width > kMaxDimension ||
      height > kMaxDimension || coverage_stride < width)
    return false;
  const DrawTarget target = dc->Target();
  if (target.surface == nullptr || target.surface->bits == nullptr) return true;
  const Surface& s = *target.surface;
  const std::uint32_t rgb = RgbFromColorref(dc->ResolveColour(colour));
  const RECT corner = ToSurface(target, x, y, x, y);
  const RECT block{corner.left, corner.top, corner.left + width, corner.top + height};
  for (const RECT& r : target.clip->Rects()) {
    const RECT piece = IntersectRects(r, block);
    for (int py = piece.top; py < piece.bottom; ++py) {
      const std::uint8_t* cov = coverage + (py - block.top) * coverage_stride;
      if (s.bits_per_pixel == 32) {
        BlendCoverageRow32(s.Row(py) + static_cast<std::ptrdiff_t>(piece.left) * 4, piece.right - piece.left,
                           cov + (piece.left - block.left), rgb);
        continue;
      }
      for (int px = piece.left; px < piece.right; ++px) {
        const unsigned c = cov[px - block.left];
        if (c == 0) continue;
        const std::uint32_t value = ReadValue(s, px, py);
        const std::uint32_t under = RgbOfValue(s, value);
        std::uint32_t mixed = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
          const unsigned fg = (rgb >> shift) & 0xFF;
          const unsigned bg = (under >> shift) & 0xFF;
          mixed |= ((fg * c + bg * (255 - c) + 127) / 255) << shift;
        }
        const std::uint32_t alpha = s.bits_per_pixel == 32 ? (value & 0xFF000000u) : 0;
        WriteValue(s, px, py, ValueOfRgb(s, mixed) | alpha);
      }
    }
  }
  return true;
}

bool FillSolidRect(HDC handle, const RECT& rect, COLORREF colour) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc) return false;
  const DrawTarget target = dc->Target();
  PaintRegion(target, Region(ToSurface(target, rect.left, rect.top, rect.right, rect.bottom)),
              RopCode(PATCOPY), dc->ValueOf(colour));
  return true;
}

}  // namespace win::gdi

namespace win {

using namespace win::gdi;

int FillRect(HDC handle, const RECT* rect, HBRUSH brush_handle) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  std::shared_ptr<BrushObject> brush;
  if (!dc || rect == nullptr || !BrushFromHandle(brush_handle, &brush)) return 0;
  std::uint32_t value = 0;
  if (!BrushValue(*dc, brush.get(), &value)) return 1;
  const DrawTarget target = dc->Target();
  if (IsRectEmpty(rect)) return 1;
  PaintRegion(target, Region(ToSurface(target, rect->left, rect->top, rect->right, rect->bottom)),
              RopCode(PATCOPY), value);
  return 1;
}

int FrameRect(HDC handle, const RECT* rect, HBRUSH brush_handle) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  std::shared_ptr<BrushObject> brush;
  if (!dc || rect == nullptr || !BrushFromHandle(brush_handle, &brush)) return 0;
  std::uint32_t value = 0;
  if (!BrushValue(*dc, brush.get(), &value) || IsRectEmpty(rect)) return 1;
  const DrawTarget target = dc->Target();
  const RECT outer = ToSurface(target, rect->left, rect->top, rect->right, rect->bottom);
  const RECT inner{outer.left + 1, outer.top + 1, outer.right - 1, outer.bottom - 1};
  PaintRegion(target, Region::Combine(Region(outer), Region(inner), Region::Op::kDiff), RopCode(PATCOPY), value);
  return 1;
}

BOOL Rectangle(HDC handle, int left, int top, int right, int bottom) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc) return FALSE;
  DrawShape(*dc, RECT{left, top, right, bottom}, RectShape, 0, 0);
  return TRUE;
}

BOOL RoundRect(HDC handle, int left, int top, int right, int bottom, int ellipse_width, int ellipse_height) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc) return FALSE;
  DrawShape(*dc, RECT{left, top, right, bottom}, RoundShape, ellipse_width, ellipse_height);
  return TRUE;
}

BOOL LineTo(HDC handle, int x, int y) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc) return FALSE;
  constexpr int kLimit = 1 << 27;
  const POINT to{std::clamp(x, -kLimit, kLimit), std::clamp(y, -kLimit, kLimit)};
  DrawLine(*dc, dc->state.position, to);
  dc->state.position = to;
  return TRUE;
}

COLORREF SetPixel(HDC handle, int x, int y, COLORREF color) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc) return CLR_INVALID;
  const DrawTarget target = dc->Target();
  const RECT r = ToSurface(target, x, y, x, y);
  if (target.surface == nullptr || !target.clip->Contains(r.left, r.top)) return CLR_INVALID;
  const std::uint32_t value = dc->ValueOf(color);
  WriteValue(*target.surface, r.left, r.top, value);
  return ColorrefFromRgb(RgbOfValue(*target.surface, value));
}

COLORREF GetPixel(HDC handle, int x, int y) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc) return CLR_INVALID;
  const DrawTarget target = dc->Target();
  const RECT r = ToSurface(target, x, y, x, y);
  if (target.surface == nullptr || !target.clip->Contains(r.left, r.top)) return CLR_INVALID;
  return ColorrefFromRgb(RgbOfValue(*target.surface, ReadValue(*target.surface, r.left, r.top)));
}

BOOL DrawFocusRect(HDC handle, const RECT* rect) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc || rect == nullptr) return FALSE;
  const DrawTarget target = dc->Target();
  if (target.surface == nullptr || IsRectEmpty(rect)) return TRUE;
  const RECT outer = ToSurface(target, rect->left, rect->top, rect->right, rect->bottom);
  const RECT inner{outer.left + 1, outer.top + 1, outer.right - 1, outer.bottom - 1};
  // Every other pixel of the frame (by device position) is inverted, so drawing twice restores.
  const std::uint32_t invert = target.surface->ValueMask() & 0x00FFFFFFu;
  const POINT origin = dc->surface_origin;
  PaintRegion(target, Region::Combine(Region(outer), Region(inner), Region::Op::kDiff), RopCode(PATINVERT), 0,
              [invert, origin](int y, int x, int count, std::uint32_t* out) {
                for (int i = 0; i < count; ++i)
                  out[i] = (((x + i - origin.x) + (y - origin.y)) & 1) == 0 ? invert : 0;
              });
  return TRUE;
}

BOOL DrawEdge(HDC handle, LPRECT rect, UINT edge, UINT flags) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc || rect == nullptr) return FALSE;
  const DrawTarget target = dc->Target();
  // Far-out coordinates are pulled in so that the edge arithmetic cannot overflow.
  constexpr int kLimit = 1 << 27;
  RECT r{std::clamp<LONG>(rect->left, -kLimit, kLimit), std::clamp<LONG>(rect->top, -kLimit, kLimit),
         std::clamp<LONG>(rect->right, -kLimit, kLimit), std::clamp<LONG>(rect->bottom, -kLimit, kLimit)};
  if (edge & BDR_OUTER) {
    const LayerColours c = EdgeColours(edge, flags, true);
    EdgeLayer(*dc, target, r, flags, c.light, c.dark);
    Deflate(r, flags);
  }
  if (edge & BDR_INNER) {
    const LayerColours c = EdgeColours(edge, flags, false);
    EdgeLayer(*dc, target, r, flags, c.light, c.dark);
    Deflate(r, flags);
  }
  if ((flags & BF_MIDDLE) && !IsRectEmpty(&r)) {
    const COLORREF middle = SystemColour((flags & BF_MONO) ? COLOR_WINDOW : COLOR_3DFACE);
    PaintRegion(target, Region(ToSurface(target, r.left, r.top, r.right, r.bottom)), RopCode(PATCOPY),
                dc->ValueOf(middle));
  }
  if (flags & BF_ADJUST) *rect = r;
  return TRUE;
}

// ---- Rectangles ----

BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom) {
  if (rect == nullptr) return FALSE;
  *rect = RECT{left, top, right, bottom};
  return TRUE;
}

BOOL SetRectEmpty(LPRECT rect) { return SetRect(rect, 0, 0, 0, 0); }

BOOL IsRectEmpty(const RECT* rect) {
  return rect == nullptr || rect->right <= rect->left || rect->bottom <= rect->top ? TRUE : FALSE;
}

namespace {

// Rectangle coordinates wrap around like 32-bit registers instead of overflowing.
LONG Wrapped(LONG value, long long delta) {
  return static_cast<LONG>(static_cast<std::uint32_t>(value) + static_cast<std::uint32_t>(delta));
}

}  // namespace

BOOL OffsetRect(LPRECT rect, int dx, int dy) {
  if (rect == nullptr) return FALSE;
  *rect = RECT{Wrapped(rect->left, dx), Wrapped(rect->top, dy), Wrapped(rect->right, dx), Wrapped(rect->bottom, dy)};
  return TRUE;
}

BOOL InflateRect(LPRECT rect, int dx, int dy) {
  if (rect == nullptr) return FALSE;
  *rect = RECT{Wrapped(rect->left, -static_cast<long long>(dx)), Wrapped(rect->top, -static_cast<long long>(dy)),
               Wrapped(rect->right, dx), Wrapped(rect->bottom, dy)};
  return TRUE;
}

BOOL IntersectRect(LPRECT dest, const RECT* a, const RECT* b) {
  if (dest == nullptr || a == nullptr || b == nullptr) return FALSE;
  *dest = IntersectRects(*a, *b);
  return IsRectEmpty(dest) ? FALSE : TRUE;
}

BOOL UnionRect(LPRECT dest, const RECT* a, const RECT* b) {
  if (dest == nullptr || a == nullptr || b == nullptr) return FALSE;
  if (IsRectEmpty(a)) {
    *dest = IsRectEmpty(b) ? RECT{} : *b;
  } else if (IsRectEmpty(b)) {
    *dest = *a;
  } else {
    *dest = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                 std::max(a->bottom, b->bottom)};
  }
  return IsRectEmpty(dest) ? FALSE : TRUE;
}

BOOL EqualRect(const RECT* a, const RECT* b) {
  if (a == nullptr || b == nullptr) return FALSE;
  return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

BOOL PtInRect(const RECT* rect, POINT point) {
  if (rect == nullptr) return FALSE;
  return point.x >= rect->left && point.x < rect->right && point.y >= rect->top && point.y < rect->bottom;
}

}  // namespace win
