#include "platform/user/overlay_planes.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"
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

// The picture's part `source` stretched to `target` (relative to the scaled pixels' own corner)
// by the raster engine's nearest-pixel stretch, into a DIB section of width x height pixels;
// `use` reads its rows (top-down, packed). Nothing happens when the section cannot be made.
void WithScaledPicture(const OverlayPicture& picture, const RECT& source, const RECT& target, int width, int height,
                       const std::function<void(const std::uint32_t*)>& use) {
  BITMAPINFO section_info{};
  section_info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  section_info.bmiHeader.biWidth = width;
  section_info.bmiHeader.biHeight = -height;  // rows top-down
  section_info.bmiHeader.biPlanes = 1;
  section_info.bmiHeader.biBitCount = 32;
  section_info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const ScopedGdiObject<HDC> dc(CreateCompatibleDC(nullptr));
  const ScopedGdiObject<HBITMAP> section(CreateDIBSection(dc.Get(), &section_info, DIB_RGB_COLORS, &bits, nullptr, 0));
  const ScopedSelect selected(dc.Get(), section.Get());
  if (!selected || bits == nullptr) return;
  BITMAPINFO picture_info = section_info;
  picture_info.bmiHeader.biWidth = static_cast<LONG>(picture.stride);
  picture_info.bmiHeader.biHeight = -picture.height;
  // Video is scaled by picking the nearest pixels, as the renderer's own window scales it.
  SetStretchBltMode(dc.Get(), COLORONCOLOR);
  StretchDIBits(dc.Get(), target.left, target.top, target.right - target.left, target.bottom - target.top, source.left,
                source.top, source.right - source.left, source.bottom - source.top, picture.pixels, &picture_info,
                DIB_RGB_COLORS, SRCCOPY);
  use(static_cast<const std::uint32_t*>(bits));
}

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
  if (right <= left || bottom <= top) return;
  const int width = right - left;
  RECT scaled_target = target;
  OffsetRect(&scaled_target, -left, -top);
  WithScaledPicture(picture, source, scaled_target, width, bottom - top, [&](const std::uint32_t* scaled) {
    for (LONG y = top; y < bottom; ++y) {
      std::uint32_t* row = pixels + static_cast<std::size_t>(y - screen_rect.top) * stride +
                           static_cast<std::size_t>(left - screen_rect.left);
      const std::uint32_t* scaled_row = scaled + static_cast<std::size_t>(y - top) * static_cast<std::size_t>(width);
      for (int x = 0; x < width; ++x) {
        const bool keyed = (row[x] & kColourMask) == plane.key;
        row[x] = keyed ? (row[x] & ~kColourMask) | (scaled_row[x] & kColourMask) : row[x];
      }
    }
  });
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
    plane.picture([&](const OverlayPicture& picture) {
      if (picture.width <= 0 || picture.height <= 0 || picture.pixels == nullptr ||
          picture.stride < static_cast<std::size_t>(picture.width)) {
        return;
      }
      ApplyPlane(plane, picture, pixels, stride_pixels, screen_rect);
    });
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
