#include "platform/user/overlay_planes.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/gdi/gdi.h"
#include "platform/user/paint_internal.h"
#include "platform/user/window.h"

namespace win {

namespace {

constexpr std::uint32_t kColourMask = 0x00FFFFFF;

struct PlaneTable {
  std::mutex lock;
  std::map<OverlayPlaneId, OverlayPlane> planes;
  OverlayPlaneId next = 1;
};

PlaneTable& Planes() {
  static PlaneTable table;
  return table;
}

void Changed() { user_detail::NotifySurfaceChanged(GetDesktopWindow()); }

bool Empty(const RECT& rect) { return rect.right <= rect.left || rect.bottom <= rect.top; }

// Draws one plane into the pixels of `screen_rect`.
void ApplyPlane(const OverlayPlane& plane, const OverlayPicture& picture, std::uint32_t* pixels,
                std::size_t stride, const RECT& screen_rect) {
  RECT source = plane.source;
  const RECT whole{0, 0, picture.width, picture.height};
  if (Empty(source) || source.left < 0 || source.top < 0 || source.right > picture.width ||
      source.bottom > picture.height) {
    source = whole;
  }
  const RECT& target = plane.picture_rect;
  if (Empty(target) || Empty(source)) return;
  const LONG left = std::max({plane.area.left, target.left, screen_rect.left});
  const LONG right = std::min({plane.area.right, target.right, screen_rect.right});
  const LONG top = std::max({plane.area.top, target.top, screen_rect.top});
  const LONG bottom = std::min({plane.area.bottom, target.bottom, screen_rect.bottom});
  const long long target_width = target.right - target.left;
  const long long target_height = target.bottom - target.top;
  for (LONG y = top; y < bottom; ++y) {
    const long long sy = source.top + (y - target.top) * static_cast<long long>(source.bottom - source.top) / target_height;
    std::uint32_t* row = pixels + static_cast<std::size_t>(y - screen_rect.top) * stride;
    const std::uint32_t* picture_row = picture.pixels.data() + static_cast<std::size_t>(sy) * picture.width;
    for (LONG x = left; x < right; ++x) {
      std::uint32_t& pixel = row[x - screen_rect.left];
      if ((pixel & kColourMask) != plane.key) continue;
      const long long sx =
          source.left + (x - target.left) * static_cast<long long>(source.right - source.left) / target_width;
      pixel = (pixel & ~kColourMask) | (picture_row[sx] & kColourMask);
    }
  }
}

}  // namespace

OverlayPlaneId AddOverlayPlane(OverlayPlane plane) {
  OverlayPlaneId id = 0;
  {
    std::lock_guard<std::mutex> guard(Planes().lock);
    id = Planes().next++;
    Planes().planes.emplace(id, std::move(plane));
  }
  Changed();
  return id;
}

void UpdateOverlayPlane(OverlayPlaneId id, OverlayPlane plane) {
  {
    std::lock_guard<std::mutex> guard(Planes().lock);
    auto found = Planes().planes.find(id);
    if (found == Planes().planes.end()) return;
    found->second = std::move(plane);
  }
  Changed();
}

void OverlayPictureChanged() { Changed(); }

void RemoveOverlayPlane(OverlayPlaneId id) {
  {
    std::lock_guard<std::mutex> guard(Planes().lock);
    if (Planes().planes.erase(id) == 0) return;
  }
  Changed();
}

void ApplyOverlayPlanes(std::uint32_t* pixels, std::size_t stride_pixels, const RECT& screen_rect) {
  std::vector<OverlayPlane> planes;
  {
    std::lock_guard<std::mutex> guard(Planes().lock);
    for (const auto& [id, plane] : Planes().planes) planes.push_back(plane);
  }
  for (const OverlayPlane& plane : planes) {
    RECT overlap{};
    if (!plane.picture || !IntersectRect(&overlap, &plane.area, &screen_rect)) continue;
    OverlayPicture picture;
    if (!plane.picture(picture) || picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() < static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height)) {
      continue;
    }
    ApplyPlane(plane, picture, pixels, stride_pixels, screen_rect);
  }
}

BOOL ReadScreenPixels(const RECT& area, WindowPixels* out) {
  if (out == nullptr || Empty(area)) return FALSE;
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  out->width = width;
  out->height = height;
  out->pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
  VisitTopLevelSurfaces([&](const TopLevelSurface& surface) {
    RECT overlap{};
    if (!IntersectRect(&overlap, &surface.screen_rect, &area)) return;
    for (LONG y = overlap.top; y < overlap.bottom; ++y) {
      const std::uint8_t* row = surface.bits + (y - surface.screen_rect.top) * surface.stride;
      for (LONG x = overlap.left; x < overlap.right; ++x) {
        const std::uint8_t* pixel = row + static_cast<std::ptrdiff_t>(x - surface.screen_rect.left) * 4;
        out->pixels[static_cast<std::size_t>(y - area.top) * width + (x - area.left)] =
            (static_cast<std::uint32_t>(pixel[2]) << 16) | (static_cast<std::uint32_t>(pixel[1]) << 8) | pixel[0];
      }
    }
  });
  ApplyOverlayPlanes(out->pixels.data(), static_cast<std::size_t>(width), area);
  return TRUE;
}

}  // namespace win
