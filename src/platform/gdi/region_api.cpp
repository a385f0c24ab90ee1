// Region objects.
#include <algorithm>

#include "platform/gdi/device_context.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/raster.h"

namespace win {

using namespace win::gdi;

namespace {

constexpr int kLimit = 1 << 27;

RECT Ordered(int left, int top, int right, int bottom) {
  left = std::clamp(left, -kLimit, kLimit);
  right = std::clamp(right, -kLimit, kLimit);
  top = std::clamp(top, -kLimit, kLimit);
  bottom = std::clamp(bottom, -kLimit, kLimit);
  return RECT{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
}

HRGN RegisterRegion(Region region) {
  auto object = std::make_shared<RegionObject>();
  object->region = std::move(region);
  return static_cast<HRGN>(RegisterObject(std::move(object)));
}

std::shared_ptr<RegionObject> FindRegion(HRGN handle) { return FindAs<RegionObject>(handle); }

}  // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
  return RegisterRegion(Region(Ordered(left, top, right, bottom)));
}

HRGN CreateRectRgnIndirect(const RECT* rect) {
  if (rect == nullptr) return nullptr;
  return CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
}

HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipse_width, int ellipse_height) {
  return RegisterRegion(Region::RoundRect(Ordered(left, top, right, bottom), ellipse_width, ellipse_height));
}

BOOL SetRectRgn(HRGN handle, int left, int top, int right, int bottom) {
  EngineLock lock = LockEngine();
  auto region = FindRegion(handle);
  if (!region) return FALSE;
  region->region = Region(Ordered(left, top, right, bottom));
  return TRUE;
}

int CombineRgn(HRGN dest, HRGN source1, HRGN source2, int mode) {
  EngineLock lock = LockEngine();
  auto out = FindRegion(dest);
  auto a = FindRegion(source1);
  if (!out || !a) return ERROR;
  if (mode == RGN_COPY) {
    out->region = a->region;
    return out->region.Complexity();
  }
  auto b = FindRegion(source2);
  if (!b) return ERROR;
  Region::Op op;
  switch (mode) {
    case RGN_AND: op = Region::Op::kAnd; break;
    case RGN_OR: op = Region::Op::kOr; break;
    case RGN_XOR: op = Region::Op::kXor; break;
    case RGN_DIFF: op = Region::Op::kDiff; break;
    default: return ERROR;
  }
  out->region = Region::Combine(a->region, b->region, op);
  return out->region.Complexity();
}

int OffsetRgn(HRGN handle, int dx, int dy) {
  EngineLock lock = LockEngine();
  auto region = FindRegion(handle);
  if (!region) return ERROR;
  const RECT box = region->region.Bounds();
  const long long limit = kLimit;
  if (std::llabs(static_cast<long long>(box.left) + dx) > limit ||
      std::llabs(static_cast<long long>(box.right) + dx) > limit ||
      std::llabs(static_cast<long long>(box.top) + dy) > limit ||
      std::llabs(static_cast<long long>(box.bottom) + dy) > limit)
    return ERROR;
  region->region.Offset(dx, dy);
  return region->region.Complexity();
}

int GetRgnBox(HRGN handle, LPRECT box) {
  EngineLock lock = LockEngine();
  auto region = FindRegion(handle);
  if (!region || box == nullptr) return ERROR;
  *box = region->region.Bounds();
  return region->region.Complexity();
}

BOOL PtInRegion(HRGN handle, int x, int y) {
  EngineLock lock = LockEngine();
  auto region = FindRegion(handle);
  return region && region->region.Contains(x, y) ? TRUE : FALSE;
}

BOOL RectInRegion(HRGN handle, const RECT* rect) {
  EngineLock lock = LockEngine();
  auto region = FindRegion(handle);
  if (!region || rect == nullptr) return FALSE;
  return region->region.Intersects(Ordered(rect->left, rect->top, rect->right, rect->bottom)) ? TRUE : FALSE;
}

BOOL EqualRgn(HRGN a, HRGN b) {
  EngineLock lock = LockEngine();
  auto ra = FindRegion(a);
  auto rb = FindRegion(b);
  return ra && rb && ra->region == rb->region ? TRUE : FALSE;
}

BOOL FillRgn(HDC handle, HRGN region_handle, HBRUSH brush_handle) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  auto region = FindRegion(region_handle);
  std::shared_ptr<BrushObject> brush;
  if (!dc || !region || !BrushFromHandle(brush_handle, &brush)) return FALSE;
  std::uint32_t value = 0;
  if (!BrushValue(*dc, brush.get(), &value)) return TRUE;
  const DrawTarget target = dc->Target();
  Region shape = region->region;  // logical coordinates
  shape.Offset(target.offset.x, target.offset.y);
  PaintRegion(target, shape, RopCode(PATCOPY), value);
  return TRUE;
}

}  // namespace win
