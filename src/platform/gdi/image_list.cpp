#include "platform/gdi/image_list.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/gdi/device_context.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/raster.h"

namespace win::gdi {
namespace {

// Most pixels one list may hold, over all its images.
constexpr std::size_t kMaxListPixels = std::size_t{64} << 20;

struct Image {
  std::vector<std::uint32_t> rgb;    // 0x00RRGGBB, row by row (premultiplied where alpha is kept)
  std::vector<std::uint8_t> clear;   // 1 where the pixel is transparent
  std::vector<std::uint8_t> alpha;   // per pixel, for 32-bit images that carry alpha; else empty
};

struct ImageList {
  int width = 0;
  int height = 0;
  bool masked = false;
  bool colour32 = false;  // ILC_COLOR32: 32-bit images with alpha are drawn by their alpha
  COLORREF background = CLR_NONE;
  std::vector<Image> images;
  std::array<int, 16> overlays{};  // overlay number -> image index, -1 when unset
};

struct ListTable {
  std::unordered_map<std::uintptr_t, std::unique_ptr<ImageList>> lists;
  std::uintptr_t next_handle = 0x20000;
};

ListTable& Lists() {
  static ListTable* table = new ListTable();  // lives for the whole process
  return *table;
}

ImageList* FindList(HIMAGELIST handle) {
  auto& lists = Lists().lists;
  auto found = lists.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == lists.end() ? nullptr : found->second.get();
}

// Whether the images cut from a 32-bit bitmap into a 32-bit list keep their alpha: unless every
// alpha byte of the strip is 0, which is how bitmaps without alpha come, and those show opaque.
bool StripHasAlpha(const ImageList& list, const Surface& bitmap, int count) {
  if (!list.colour32 || bitmap.bits_per_pixel != 32) return false;
  for (int y = 0; y < std::min(list.height, bitmap.height); ++y)
    for (int x = 0; x < count * list.width; ++x)
      if ((ReadValue(bitmap, x, y) >> 24) != 0) return true;
  return false;
}

// Cuts a bitmap into images of the list's size; `clear_of(x, y, rgb)` decides transparency.
template <class ClearFn>
std::vector<Image> Slice(const ImageList& list, const Surface& bitmap, ClearFn clear_of) {
  std::vector<Image> images;
  const int count = bitmap.width / list.width;
  const bool keep_alpha = StripHasAlpha(list, bitmap, count);
  for (int i = 0; i < count; ++i) {
    Image image;
    image.rgb.assign(static_cast<std::size_t>(list.width) * list.height, 0);
    image.clear.assign(image.rgb.size(), 0);
    if (keep_alpha) image.alpha.assign(image.rgb.size(), 0);
    for (int y = 0; y < std::min(list.height, bitmap.height); ++y)
      for (int x = 0; x < list.width; ++x) {
        const int bx = i * list.width + x;
        const std::uint32_t rgb = RgbOfValue(bitmap, ReadValue(bitmap, bx, y));
        const std::size_t at = static_cast<std::size_t>(y) * list.width + x;
        image.rgb[at] = rgb;
        image.clear[at] = list.masked && clear_of(bx, y, rgb) ? 1 : 0;
        if (keep_alpha) image.alpha[at] = static_cast<std::uint8_t>(ReadValue(bitmap, bx, y) >> 24);
      }
    images.push_back(std::move(image));
  }
  return images;
}

std::vector<Image> SliceWithMask(const ImageList& list, HBITMAP image, HBITMAP mask) {
  auto bitmap = FindAs<BitmapObject>(image);
  if (!bitmap) return {};
  auto mask_bitmap = mask ? FindAs<BitmapObject>(mask) : nullptr;
  if (mask && !mask_bitmap) return {};
  const Surface* m = mask_bitmap ? &mask_bitmap->surface : nullptr;
  return Slice(list, bitmap->surface, [m](int x, int y, std::uint32_t) {
    if (m == nullptr || x >= m->width || y >= m->height) return false;
    return RgbOfValue(*m, ReadValue(*m, x, y)) != 0;
  });
}

int Append(ImageList& list, std::vector<Image> images) {
  const std::size_t per_image = static_cast<std::size_t>(list.width) * list.height;
  if (images.empty() || (list.images.size() + images.size()) * per_image > kMaxListPixels) return -1;
  const int first = static_cast<int>(list.images.size());
  for (Image& image : images) list.images.push_back(std::move(image));
  return first;
}

std::uint32_t Mix(std::uint32_t image, std::uint32_t colour, int image_weight, int colour_weight) {
  std::uint32_t out = 0;
  const int total = image_weight + colour_weight;
  for (int shift = 0; shift <= 16; shift += 8) {
    const std::uint32_t a = (image >> shift) & 0xFF;
    const std::uint32_t b = (colour >> shift) & 0xFF;
    out |= ((a * static_cast<std::uint32_t>(image_weight) + b * static_cast<std::uint32_t>(colour_weight)) /
            static_cast<std::uint32_t>(total))
           << shift;
  }
  return out;
}

struct DrawRequest {
  int x, y, width, height;
  bool transparent;
  bool fill_background;
  std::uint32_t background_rgb;
  int blend;  // 0, 25 or 50
  bool blend_with_destination;
  std::uint32_t blend_rgb;
  bool mask_only;
};

// A premultiplied pixel over what is below it. A blend mixes the blend colour, taken at the
// pixel's alpha, into the pixel's colour and keeps the alpha.
std::uint32_t OverByAlpha(std::uint32_t premultiplied, int alpha, const DrawRequest& r, std::uint32_t below) {
  std::uint32_t colour = premultiplied;
  if (r.blend != 0) {
    const std::uint32_t with = r.blend_with_destination ? below : r.blend_rgb;
    const std::uint32_t with_at_alpha = Mix(with, 0, alpha, 255 - alpha);
    colour = r.blend == 50 ? Mix(colour, with_at_alpha, 1, 1) : Mix(colour, with_at_alpha, 3, 1);
  }
  std::uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const std::uint32_t c = (colour >> shift) & 0xFF;
    const std::uint32_t d = (below >> shift) & 0xFF;
    out |= std::min<std::uint32_t>(c + (d * static_cast<std::uint32_t>(255 - alpha) + 127) / 255, 0xFF) << shift;
  }
  return out;
}

// Whether the image's pixels are only copied or left out: no alpha, no blend, onto 32 bits.
bool CopiesPlainly(const Surface& s, const Image& image, const DrawRequest& r) {
  return s.bits_per_pixel == 32 && image.alpha.empty() && r.blend == 0 && !r.mask_only;
}

// The plain case row by row: a pixel shows the image's colour, or the background where it is
// clear (unless drawn transparently), as a 32-bit value without alpha.
void CopyPlainly(const Surface& s, const Image& image, int image_width, const DrawRequest& r, const RECT& area,
                 const RECT& piece) {
  const bool skip_clear = r.transparent || !r.fill_background;
  for (int py = piece.top; py < piece.bottom; ++py) {
    const std::size_t at = static_cast<std::size_t>(py - area.top) * image_width + (piece.left - area.left);
    const std::uint32_t* rgb = image.rgb.data() + at;
    const std::uint8_t* clear = image.clear.data() + at;
    std::uint8_t* out = s.Row(py) + static_cast<std::ptrdiff_t>(piece.left) * 4;
    for (int i = 0; i < piece.right - piece.left; ++i, out += 4) {
      if (clear[i] != 0 && skip_clear) continue;
      const std::uint32_t value = clear[i] != 0 ? r.background_rgb : rgb[i];
      std::memcpy(out, &value, 4);
    }
  }
}

void DrawImage(DeviceContext& dc, const Image& image, int image_width, const DrawRequest& r) {
  const DrawTarget target = dc.Target();
  if (target.surface == nullptr || target.surface->bits == nullptr) return;
  const Surface& s = *target.surface;
  const RECT corner = ToSurface(target, r.x, r.y, r.x, r.y);
  const RECT area{corner.left, corner.top, corner.left + r.width, corner.top + r.height};
  const bool plain = CopiesPlainly(s, image, r);
  for (const RECT& clip : target.clip->Rects()) {
    const RECT piece = IntersectRects(clip, area);
    if (plain) {
      if (piece.left < piece.right) CopyPlainly(s, image, image_width, r, area, piece);
      continue;
    }
    for (int py = piece.top; py < piece.bottom; ++py)
      for (int px = piece.left; px < piece.right; ++px) {
        const std::size_t at = static_cast<std::size_t>(py - area.top) * image_width + (px - area.left);
        const bool clear = image.clear[at] != 0;
        const int alpha = image.alpha.empty() ? 0xFF : image.alpha[at];
        std::uint32_t rgb;
        if (r.mask_only) {
          rgb = clear || alpha == 0 ? 0xFFFFFF : 0;
        } else if (alpha != 0xFF && !clear) {
          if (alpha == 0) continue;
          rgb = OverByAlpha(image.rgb[at], alpha, r, RgbOfValue(s, ReadValue(s, px, py)));
        } else if (clear) {
          if (r.transparent || !r.fill_background) continue;
          rgb = r.background_rgb;
        } else {
          rgb = image.rgb[at];
          if (r.blend != 0) {
            const std::uint32_t with =
                r.blend_with_destination ? RgbOfValue(s, ReadValue(s, px, py)) : r.blend_rgb;
            rgb = r.blend == 50 ? Mix(rgb, with, 1, 1) : Mix(rgb, with, 3, 1);
          }
        }
        WriteValue(s, px, py, ValueOfRgb(s, rgb));
      }
  }
}

}  // namespace
}  // namespace win::gdi

namespace win {

using namespace win::gdi;

HIMAGELIST ImageList_Create(int width, int height, UINT flags, int, int) {
  if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension ||
      static_cast<std::size_t>(width) * static_cast<std::size_t>(height) > kMaxListPixels)
    return nullptr;
  EngineLock lock = LockEngine();
  auto list = std::make_unique<ImageList>();
  list->width = width;
  list->height = height;
  list->masked = (flags & ILC_MASK) != 0;
  list->colour32 = (flags & ILC_COLORDDB) == ILC_COLOR32;
  list->overlays.fill(-1);
  ListTable& table = Lists();
  const std::uintptr_t handle = table.next_handle;
  table.next_handle += 4;
  table.lists.emplace(handle, std::move(list));
  return reinterpret_cast<HIMAGELIST>(handle);
}

BOOL ImageList_Destroy(HIMAGELIST handle) {
  EngineLock lock = LockEngine();
  return Lists().lists.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0 ? TRUE : FALSE;
}

int ImageList_GetImageCount(HIMAGELIST handle) {
  EngineLock lock = LockEngine();
  ImageList* list = FindList(handle);
  return list ? static_cast<int>(list->images.size()) : 0;
}

BOOL ImageList_GetIconSize(HIMAGELIST handle, int* width, int* height) {
  EngineLock lock = LockEngine();
  ImageList* list = FindList(handle);
  if (!list || width == nullptr || height == nullptr) return FALSE;
  *width = list->width;
  *height = list->height;
  return TRUE;
}

BOOL ImageList_SetIconSize(HIMAGELIST handle, int width, int height) {
  EngineLock lock = LockEngine();
  ImageList* list = FindList(handle);
  if (!list || width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension ||
      static_cast<std::size_t>(width) * static_cast<std::size_t>(height) > kMaxListPixels)
    return FALSE;
  list->width = width;
  list->height = height;
  list->images.clear();
  list->overlays.fill(-1);
  return TRUE;
}

int ImageList_Add(HIMAGELIST handle, HBITMAP image, HBITMAP mask) {
  EngineLock lock = LockEngine();
  ImageList* list = FindList(handle);
  if (!list) return -1;
  return Append(*list, SliceWithMask(*list, image, mask));
}

int ImageList_AddMasked(HIMAGELIST handle, HBITMAP image, COLORREF mask_colour) {
  EngineLock lock = LockEngine();
  ImageList* list = FindList(handle);
  auto bitmap = FindAs<BitmapObject>(image);
  if (!list || !bitmap) return -1;
  const std::uint32_t key = RgbFromColorref(mask_colour & 0xFFFFFF);
  return Append(*list, Slice(*list, bitmap->surface, [key](int, int, std::uint32_t rgb) { return rgb == key; }));
}

BOOL ImageList_Replace(HIMAGELIST handle, int index, HBITMAP image, HBITMAP mask) {
  EngineLock lock = LockEngine();
  ImageList* list = FindList(handle);
  if (!list || index < 0 || index >= static_cast<int>(list->images.size())) return FALSE;
  std::vector<Image> images = SliceWithMask(*list, image, mask);
  if (images.empty()) return FALSE;
  list->images[static_cast<std::size_t>(index)] = std::move(images.front());
  return TRUE;
}

BOOL ImageList_Remove(HIMAGELIST handle, int index) {
  EngineLock lock = LockEngine();
  ImageList* list = FindList(handle);
  if (!list) return FALSE;
  if (index == -1) {
    list->images.clear();
    list->overlays.fill(-1);
    return TRUE;
  }
  if (index < 0 || index >= static_cast<int>(list->images.size())) return FALSE;
  list->images.erase(list->images.begin() + index);
  for (int& overlay : list->overlays) {
    if (overlay == index) overlay = -1;
    else if (overlay > index) --overlay;
  }
  return TRUE;
}

COLORREF ImageList_SetBkColor(HIMAGELIST handle, COLORREF colour) {
  EngineLock lock = LockEngine();
  ImageList* list = FindList(handle);
  if (!list) return CLR_NONE;
  const COLORREF previous = list->background;
  list->background = colour;
  return previous;
}

COLORREF ImageList_GetBkColor(HIMAGELIST handle) {
  EngineLock lock = LockEngine();
  ImageList* list = FindList(handle);
  return list ? list->background : CLR_NONE;
}

BOOL ImageList_SetOverlayImage(HIMAGELIST handle, int image, int overlay) {
  EngineLock lock = LockEngine();
  ImageList* list = FindList(handle);
  if (!list || overlay < 1 || overlay > 15 || image < 0 || image >= static_cast<int>(list->images.size()))
    return FALSE;
  list->overlays[static_cast<std::size_t>(overlay)] = image;
  return TRUE;
}

BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style) {
  return ImageList_DrawEx(list, index, dc, x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, style);
}

BOOL ImageList_DrawEx(HIMAGELIST handle, int index, HDC dc_handle, int x, int y, int width, int height,
                      COLORREF background, COLORREF foreground, UINT style) {
  EngineLock lock = LockEngine();
  ImageList* list = FindList(handle);
  auto dc = BorrowDC(dc_handle);
  if (!list || !dc || index < 0 || index >= static_cast<int>(list->images.size()) || width < 0 || height < 0)
    return FALSE;
  const COLORREF bk = background == CLR_DEFAULT ? list->background : background;
  DrawRequest request{};
  request.x = x;
  request.y = y;
  request.width = width == 0 ? list->width : std::min(width, list->width);
  request.height = height == 0 ? list->height : std::min(height, list->height);
  request.transparent = (style & ILD_TRANSPARENT) != 0 || bk == CLR_NONE;
  request.fill_background = list->masked && bk != CLR_NONE;
  request.background_rgb = RgbFromColorref(dc->ResolveColour(bk & 0xFFFFFF));
  request.blend = (style & ILD_BLEND50) ? 50 : (style & ILD_BLEND25) ? 25 : 0;
  request.blend_with_destination = foreground == CLR_NONE;
  const COLORREF blend_colour = foreground == CLR_DEFAULT ? SystemColour(COLOR_HIGHLIGHT) : foreground;
  request.blend_rgb = RgbFromColorref(dc->ResolveColour(blend_colour & 0xFFFFFF));
  request.mask_only = (style & ILD_MASK) != 0;
  DrawImage(*dc, list->images[static_cast<std::size_t>(index)], list->width, request);

  const UINT overlay = (style & ILD_OVERLAYMASK) >> 8;
  if (overlay != 0 && !request.mask_only) {
    const int overlay_image = list->overlays[overlay];
    if (overlay_image >= 0) {
      request.transparent = true;
      DrawImage(*dc, list->images[static_cast<std::size_t>(overlay_image)], list->width, request);
    }
  }
  return TRUE;
}

}  // namespace win
