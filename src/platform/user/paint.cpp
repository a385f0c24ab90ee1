#include "platform/user/paint.h"

#include "platform/core/errors.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/objects.h"
#include "platform/user/messages.h"
#include "platform/user/paint_internal.h"
#include "platform/user/surfaces.h"
#include "platform/user/window.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace win {

using namespace user_detail;

namespace {

std::mutex listener_mutex;
SurfaceListener surface_listener;

// Contexts of windows that show nothing draw into this: one pixel, never visible.
std::shared_ptr<SurfaceStore> NowhereSurface() {
  static const std::shared_ptr<SurfaceStore> nowhere = [] {
    auto store = std::make_shared<SurfaceStore>();
    store->bits.assign(4, 0);
    store->width = 1;
    store->height = 1;
    return store;
  }();
  return nowhere;
}

struct Geometry {
  std::shared_ptr<SurfaceStore> surface;
  POINT origin;
  gdi::Region visible;
};

Geometry GeometryLocked(const std::shared_ptr<Window>& window, const std::optional<gdi::Region>& paint_area) {
  if (window && !window->destroyed && IsVisibleLocked(*window)) {
    POINT offset;
    const std::shared_ptr<Window> root = RootOfLocked(window, &offset);
    if (root->surface) {
      gdi::Region visible = VisibleRegionLocked(window, true);
      if (paint_area) visible = gdi::Region::Combine(visible, *paint_area, gdi::Region::Op::kAnd);
      return Geometry{root->surface, offset, std::move(visible)};
    }
  }
  return Geometry{NowhereSurface(), POINT{}, gdi::Region()};
}

HDC MakeContextLocked(const std::shared_ptr<Window>& window, std::optional<gdi::Region> paint_area) {
  Geometry geometry = GeometryLocked(window, paint_area);
  const HDC dc = gdi::CreateSurfaceDC(geometry.surface->Desc(), geometry.origin, &geometry.visible);
  if (dc != nullptr) Windows().dcs.push_back(DcRecord{dc, window->handle, std::move(paint_area), geometry.surface});
  return dc;
}

bool SubtreeNeedsPaint(const std::shared_ptr<Window>& window, const ThreadQueue& queue, HWND filter, HWND* found) {
  if (!(window->style & WS_VISIBLE)) return false;
  if (window->queue.get() == &queue && !window->update.IsEmpty() &&
      (filter == nullptr || window->handle == filter || IsDescendantLocked(filter, window->handle))) {
    *found = window->handle;
    return true;
  }
  for (const HWND child : window->children)
    if (auto record = FindWindowLocked(child); record && SubtreeNeedsPaint(record, queue, filter, found)) return true;
  return false;
}

// The first window of the queue, parents before children, that is visible and needs painting.
HWND WindowNeedingPaintLocked(const ThreadQueue& queue, HWND filter) {
  HWND found = nullptr;
  for (const HWND top : Windows().top_level)
    if (auto record = FindWindowLocked(top); record && SubtreeNeedsPaint(record, queue, filter, &found)) return found;
  return nullptr;
}

void UpdateSubtree(HWND handle) {
  std::vector<HWND> children;
  bool needs_paint = false;
  {
    Lock lock(UserMutex());
    const std::shared_ptr<Window> window = FindWindowLocked(handle);
    if (!window) return;
    needs_paint = !window->update.IsEmpty() && IsVisibleLocked(*window);
    children = window->children;
  }
  if (needs_paint) SendMessageA(handle, WM_PAINT, 0, 0);
  for (auto it = children.rbegin(); it != children.rend(); ++it) UpdateSubtree(*it);
}

HWND RootHandle(HWND window) {
  Lock lock(UserMutex());
  const std::shared_ptr<Window> record = FindWindowLocked(window);
  if (!record) return nullptr;
  POINT offset;
  return RootOfLocked(record, &offset)->handle;
}

}  // namespace

namespace user_detail {

RECT ClientRectOf(const Window& window) {
  return RECT{0, 0, window.rect.right - window.rect.left, window.rect.bottom - window.rect.top};
}

bool IsVisibleLocked(const Window& window) {
  if (window.message_only || !(window.style & WS_VISIBLE)) return false;
  std::shared_ptr<Window> parent = window.parent ? FindWindowLocked(window.parent) : nullptr;
  while (parent) {
    if (!(parent->style & WS_VISIBLE)) return false;
    parent = parent->parent ? FindWindowLocked(parent->parent) : nullptr;
  }
  return true;
}

std::shared_ptr<Window> RootOfLocked(const std::shared_ptr<Window>& window, POINT* offset) {
  *offset = POINT{};
  std::shared_ptr<Window> current = window;
  while (current->parent != nullptr) {
    std::shared_ptr<Window> parent = FindWindowLocked(current->parent);
    if (!parent) break;
    offset->x += current->rect.left;
    offset->y += current->rect.top;
    current = std::move(parent);
  }
  return current;
}

gdi::Region VisibleRegionLocked(const std::shared_ptr<Window>& window, bool exclude_children) {
  if (!IsVisibleLocked(*window)) return gdi::Region();
  gdi::Region region(ClientRectOf(*window));
  if (exclude_children) {
    for (const HWND child : window->children) {
      const std::shared_ptr<Window> record = FindWindowLocked(child);
      if (record && (record->style & WS_VISIBLE))
        region = gdi::Region::Combine(region, gdi::Region(record->rect), gdi::Region::Op::kDiff);
    }
  }
  // Walk up: clip to each parent's client area and cut out the siblings above on each level.
  POINT origin{};  // the current window's client origin, in the window's coordinates
  std::shared_ptr<Window> current = window;
  while (current->parent != nullptr) {
    const std::shared_ptr<Window> parent = FindWindowLocked(current->parent);
    if (!parent) break;
    const POINT parent_origin{origin.x - current->rect.left, origin.y - current->rect.top};
    gdi::Region parent_area(ClientRectOf(*parent));
    parent_area.Offset(parent_origin.x, parent_origin.y);
    region = gdi::Region::Combine(region, parent_area, gdi::Region::Op::kAnd);
    for (const HWND sibling : parent->children) {
      if (sibling == current->handle) break;
      const std::shared_ptr<Window> above = FindWindowLocked(sibling);
      if (!above || !(above->style & WS_VISIBLE)) continue;
      gdi::Region covered(above->rect);
      covered.Offset(parent_origin.x, parent_origin.y);
      region = gdi::Region::Combine(region, covered, gdi::Region::Op::kDiff);
    }
    origin = parent_origin;
    current = parent;
  }
  return region;
}

void InvalidateLocked(const std::shared_ptr<Window>& window, const gdi::Region& area, bool erase) {
  const gdi::Region inside = gdi::Region::Combine(area, gdi::Region(ClientRectOf(*window)), gdi::Region::Op::kAnd);
  if (inside.IsEmpty()) return;
  window->update = gdi::Region::Combine(window->update, inside, gdi::Region::Op::kOr);
  window->erase_pending = window->erase_pending || erase;
  WakeQueueLocked(*window->queue, QS_PAINT);
  for (const HWND child : window->children) {
    const std::shared_ptr<Window> record = FindWindowLocked(child);
    if (!record || !(record->style & WS_VISIBLE)) continue;
    gdi::Region child_area = gdi::Region::Combine(inside, gdi::Region(record->rect), gdi::Region::Op::kAnd);
    child_area.Offset(-record->rect.left, -record->rect.top);
    InvalidateLocked(record, child_area, erase);
  }
}

void InvalidateAllLocked(const std::shared_ptr<Window>& window, bool erase) {
  InvalidateLocked(window, gdi::Region(ClientRectOf(*window)), erase);
}

void SyncSurfaceLocked(const std::shared_ptr<Window>& root) {
  const RECT client = ClientRectOf(*root);
  const bool wanted = root->parent == nullptr && !root->destroyed && IsVisibleLocked(*root) && client.right > 0 &&
                      client.bottom > 0 && client.right <= gdi::kMaxDimension && client.bottom <= gdi::kMaxDimension &&
                      static_cast<std::size_t>(client.right) * client.bottom * 4 <= gdi::kMaxSurfaceBytes;
  if (!wanted) {
    root->surface.reset();
  } else if (!root->surface || root->surface->width != client.right || root->surface->height != client.bottom) {
    auto surface = std::make_shared<SurfaceStore>();
    surface->width = client.right;
    surface->height = client.bottom;
    surface->bits.assign(static_cast<std::size_t>(client.right) * client.bottom * 4, 0);
    root->surface = std::move(surface);
    InvalidateAllLocked(root, true);
  }
  RefreshContextsLocked();
}

void RefreshContextsLocked() {
  for (DcRecord& record : Windows().dcs) {
    Geometry geometry = GeometryLocked(FindWindowLocked(record.window), record.paint_area);
    gdi::SetSurfaceDCGeometry(record.dc, geometry.surface->Desc(), geometry.origin, &geometry.visible);
    record.surface = std::move(geometry.surface);
  }
}

void NotifySurfaceChanged(HWND top_level) {
  SurfaceListener listener;
  {
    std::lock_guard lock(listener_mutex);
    listener = surface_listener;
  }
  if (listener && top_level != nullptr) listener(top_level);
}

bool NeedsPaintLocked(const ThreadQueue& queue) { return WindowNeedingPaintLocked(queue, nullptr) != nullptr; }

bool TakePaintMessageLocked(ThreadQueue& queue, HWND filter, UINT first, UINT last, MSG* out) {
  if (!(first == 0 && last == 0) && (WM_PAINT < first || WM_PAINT > last)) return false;
  const HWND thread_only = reinterpret_cast<HWND>(static_cast<INT_PTR>(-1));
  if (filter == thread_only) return false;
  const HWND window = WindowNeedingPaintLocked(queue, filter);
  if (window == nullptr) return false;
  *out = MSG{};
  out->hwnd = window;
  out->message = WM_PAINT;
  return true;
}

LRESULT DefaultPaint(HWND window, UINT message, WPARAM wParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
    return 0;
  }
  HBRUSH background = nullptr;
  RECT client{};
  {
    Lock lock(UserMutex());
    const std::shared_ptr<Window> record = FindWindowLocked(window);
    if (!record) return 0;
    background = record->window_class->background;
    client = ClientRectOf(*record);
  }
  if (background == nullptr) return 0;
  FillRect(reinterpret_cast<HDC>(wParam), &client, background);
  return 1;
}

void WindowCreated(HWND handle) {
  {
    Lock lock(UserMutex());
    const std::shared_ptr<Window> window = FindWindowLocked(handle);
    if (!window || !(window->style & WS_VISIBLE)) return;
    POINT offset;
    const std::shared_ptr<Window> root = RootOfLocked(window, &offset);
    SyncSurfaceLocked(root);
    InvalidateAllLocked(window, true);
  }
  NotifySurfaceChanged(RootHandle(handle));
}

void WindowDestroying(HWND handle) {
  HWND root_handle = nullptr;
  {
    Lock lock(UserMutex());
    const std::shared_ptr<Window> window = FindWindowLocked(handle);
    if (!window) return;
    const bool was_visible = IsVisibleLocked(*window);
    window->style &= ~WS_VISIBLE;
    if (window->parent == nullptr) {
      window->surface.reset();
      RefreshContextsLocked();
      root_handle = handle;
    } else if (was_visible) {
      const std::shared_ptr<Window> parent = FindWindowLocked(window->parent);
      if (parent) InvalidateLocked(parent, gdi::Region(window->rect), true);
      POINT offset;
      root_handle = RootOfLocked(window, &offset)->handle;
      RefreshContextsLocked();
    }
  }
  NotifySurfaceChanged(root_handle);
}

}  // namespace user_detail

BOOL InvalidateRect(HWND handle, const RECT* rect, BOOL erase) {
  Lock lock(UserMutex());
  if (handle == nullptr) {
    for (const HWND top : Windows().top_level)
      if (auto window = FindWindowLocked(top)) InvalidateAllLocked(window, erase != FALSE);
    return TRUE;
  }
  const std::shared_ptr<Window> window = LookupWindowLocked(handle);
  if (!window) return FALSE;
  InvalidateLocked(window, rect ? gdi::Region(*rect) : gdi::Region(ClientRectOf(*window)), erase != FALSE);
  return TRUE;
}

BOOL ValidateRect(HWND handle, const RECT* rect) {
  Lock lock(UserMutex());
  const std::shared_ptr<Window> window = LookupWindowLocked(handle);
  if (!window) return FALSE;
  window->update = rect ? gdi::Region::Combine(window->update, gdi::Region(*rect), gdi::Region::Op::kDiff) : gdi::Region();
  if (window->update.IsEmpty()) window->erase_pending = false;
  return TRUE;
}

BOOL GetUpdateRect(HWND handle, LPRECT rect, BOOL) {
  Lock lock(UserMutex());
  const std::shared_ptr<Window> window = LookupWindowLocked(handle);
  if (!window) return FALSE;
  const RECT bounds = window->update.IsEmpty() ? RECT{} : window->update.Bounds();
  if (rect != nullptr) *rect = bounds;
  return window->update.IsEmpty() ? FALSE : TRUE;
}

BOOL UpdateWindow(HWND handle) {
  if (!IsWindow(handle)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  UpdateSubtree(handle);
  return TRUE;
}

HDC BeginPaint(HWND handle, LPPAINTSTRUCT paint) {
  if (paint == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  *paint = PAINTSTRUCT{};
  HDC dc = nullptr;
  bool erase = false;
  {
    Lock lock(UserMutex());
    const std::shared_ptr<Window> window = LookupWindowLocked(handle);
    if (!window) return nullptr;
    gdi::Region area = std::exchange(window->update, gdi::Region());
    erase = std::exchange(window->erase_pending, false);
    paint->rcPaint = area.IsEmpty() ? RECT{} : area.Bounds();
    dc = MakeContextLocked(window, std::move(area));
  }
  if (dc == nullptr) return nullptr;
  if (erase) paint->fErase = SendMessageA(handle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0 ? TRUE : FALSE;
  paint->hdc = dc;
  return dc;
}

BOOL EndPaint(HWND handle, const PAINTSTRUCT* paint) {
  if (paint == nullptr) return FALSE;
  ReleaseDC(handle, paint->hdc);
  return TRUE;
}

HDC GetDC(HWND handle) {
  if (handle == nullptr) return gdi::CreateScreenDC();
  Lock lock(UserMutex());
  const std::shared_ptr<Window> window = LookupWindowLocked(handle);
  if (!window) return nullptr;
  return MakeContextLocked(window, std::nullopt);
}

HDC GetWindowDC(HWND handle) { return GetDC(handle); }

INT ReleaseDC(HWND handle, HDC dc) {
  bool found = false;
  {
    Lock lock(UserMutex());
    auto& dcs = Windows().dcs;
    const auto it = std::find_if(dcs.begin(), dcs.end(), [&](const DcRecord& record) { return record.dc == dc; });
    if (it != dcs.end()) {
      dcs.erase(it);
      found = true;
    }
  }
  if (!found) {
    // The screen context is not recorded: release it as it came.
    if (handle == nullptr && dc != nullptr) return DeleteDC(dc) ? 1 : 0;
    return 0;
  }
  DeleteDC(dc);
  NotifySurfaceChanged(RootHandle(handle));
  return 1;
}

BOOL ReadWindowPixels(HWND handle, WindowPixels* out) {
  if (out == nullptr) return FALSE;
  Lock lock(UserMutex());
  const std::shared_ptr<Window> window = FindWindowLocked(handle);
  if (!window || !IsVisibleLocked(*window)) return FALSE;
  POINT offset;
  const std::shared_ptr<Window> root = RootOfLocked(window, &offset);
  if (!root->surface) return FALSE;
  const gdi::EngineLock drawing = gdi::LockEngine();  // the raster engine writes these pixels
  const RECT client = ClientRectOf(*window);
  const int width = client.right, height = client.bottom;
  out->width = width;
  out->height = height;
  out->pixels.assign(static_cast<std::size_t>(width) * height, 0);
  const SurfaceStore& surface = *root->surface;
  // The client's columns that lie on the surface; what lies off it stays black.
  const int first = std::clamp(-offset.x, 0, width);
  const int last = std::clamp(surface.width - offset.x, first, width);
  for (int y = 0; y < height && first < last; ++y) {
    const int sy = y + offset.y;
    if (sy < 0 || sy >= surface.height) continue;
    std::uint32_t* row = out->pixels.data() + static_cast<std::size_t>(y) * width;
    const std::uint8_t* source = surface.bits.data() + (static_cast<std::size_t>(sy) * surface.width + first + offset.x) * 4;
    // Blue, green, red, alpha bytes read little-endian are 0xAARRGGBB: the alpha is dropped.
    static_assert(std::endian::native == std::endian::little);
    std::memcpy(row + first, source, static_cast<std::size_t>(last - first) * 4);
    for (int x = first; x < last; ++x) row[x] &= 0x00FFFFFF;
  }
  return TRUE;
}

void VisitTopLevelSurfaces(const std::function<void(const TopLevelSurface&)>& visit) {
  Lock lock(UserMutex());
  const gdi::EngineLock drawing = gdi::LockEngine();  // the raster engine writes these pixels
  const std::vector<HWND>& tops = Windows().top_level;
  for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
    const std::shared_ptr<Window> window = FindWindowLocked(*it);
    if (!window || !window->surface) continue;
    TopLevelSurface view;
    view.window = window->handle;
    view.screen_rect = window->rect;
    view.bits = window->surface->bits.data();
    view.width = window->surface->width;
    view.height = window->surface->height;
    view.stride = static_cast<std::ptrdiff_t>(window->surface->width) * 4;
    view.title = window->text;
    view.unfinished = PictureUnfinishedLocked(*window);
    visit(view);
  }
}

void SetSurfaceListener(SurfaceListener listener) {
  std::lock_guard lock(listener_mutex);
  surface_listener = std::move(listener);
}

}  // namespace win
