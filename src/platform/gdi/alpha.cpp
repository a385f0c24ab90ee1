// Alpha blending of one context's pixels over another's.
//   constant alpha A:       out = (src x A + dst x (255 - A)) / 255, per channel;
//   per-pixel alpha (premultiplied source, AC_SRC_ALPHA): src' = src x A / 255 for all four
//   channels, then out = src' + dst x (255 - src'.alpha) / 255.
// Every division rounds to nearest; the source is stretched by nearest pixel.
#include <algorithm>

#include "platform/gdi/device_context.h"
#include "platform/gdi/gdi.h"

namespace win::gdi {
namespace {

std::uint32_t Div255(std::uint32_t v) { return (v + 127) / 255; }

std::uint32_t BlendPixel(std::uint32_t src, std::uint32_t dst, unsigned constant, bool per_pixel) {
  std::uint32_t out = 0;
  if (!per_pixel) {
    for (int shift = 0; shift <= 24; shift += 8) {
      const std::uint32_t s = (src >> shift) & 0xFF;
      const std::uint32_t d = (dst >> shift) & 0xFF;
      out |= Div255(s * constant + d * (255 - constant)) << shift;
    }
    return out;
  }
  const std::uint32_t src_alpha = Div255(((src >> 24) & 0xFF) * constant);
  for (int shift = 0; shift <= 24; shift += 8) {
    const std::uint32_t s = Div255(((src >> shift) & 0xFF) * constant);
    const std::uint32_t d = (dst >> shift) & 0xFF;
    out |= std::min<std::uint32_t>(255, s + Div255(d * (255 - src_alpha))) << shift;
  }
  return out;
}

}  // namespace
}  // namespace win::gdi

namespace win {

using namespace win::gdi;

BOOL AlphaBlend(HDC dest, int x, int y, int width, int height, HDC source, int source_x, int source_y,
                int source_width, int source_height, BLENDFUNCTION blend) {
  EngineLock lock = LockEngine();
  auto dc = FindDC(dest);
  auto src = FindDC(source);
  if (!dc || !src || blend.BlendOp != AC_SRC_OVER || blend.BlendFlags != 0 ||
      (blend.AlphaFormat & ~AC_SRC_ALPHA) != 0)
    return FALSE;
  if (width <= 0 || height <= 0 || source_width <= 0 || source_height <= 0 || width > kMaxDimension ||
      height > kMaxDimension)
    return FALSE;
  const DrawTarget from = src->Target();
  if (from.surface == nullptr || from.surface->bits == nullptr) return FALSE;
  const Surface& s = *from.surface;
  const bool per_pixel = (blend.AlphaFormat & AC_SRC_ALPHA) != 0;
  if (per_pixel && s.bits_per_pixel != 32) return FALSE;
  // The source rectangle must lie inside the source's pixels.
  const long long sx0 = static_cast<long long>(source_x) + from.offset.x;
  const long long sy0 = static_cast<long long>(source_y) + from.offset.y;
  if (sx0 < 0 || sy0 < 0 || sx0 + source_width > s.width || sy0 + source_height > s.height) return FALSE;

  const DrawTarget to = dc->Target();
  if (to.surface == nullptr || to.surface->bits == nullptr) return TRUE;
  const Surface& d = *to.surface;
  const long long dx0 = static_cast<long long>(x) + to.offset.x;
  const long long dy0 = static_cast<long long>(y) + to.offset.y;
  const RECT area{static_cast<LONG>(std::clamp<long long>(dx0, -(1 << 28), 1 << 28)),
                  static_cast<LONG>(std::clamp<long long>(dy0, -(1 << 28), 1 << 28)), 0, 0};
  const RECT dest_rect{area.left, area.top, area.left + width, area.top + height};
  const unsigned constant = blend.SourceConstantAlpha;
  for (const RECT& clip : to.clip->Rects()) {
    const RECT piece = IntersectRects(clip, dest_rect);
    for (int py = piece.top; py < piece.bottom; ++py) {
      const int sy = static_cast<int>(sy0 + static_cast<long long>(py - dest_rect.top) * source_height / height);
      for (int px = piece.left; px < piece.right; ++px) {
        const int sx = static_cast<int>(sx0 + static_cast<long long>(px - dest_rect.left) * source_width / width);
        const std::uint32_t sv = ReadValue(s, sx, sy);
        const std::uint32_t src_pixel = s.bits_per_pixel == 32 ? sv : RgbOfValue(s, sv);
        const std::uint32_t dv = ReadValue(d, px, py);
        const std::uint32_t dst_pixel = d.bits_per_pixel == 32 ? dv : RgbOfValue(d, dv);
        const std::uint32_t out = BlendPixel(src_pixel, dst_pixel, constant, per_pixel);
        WriteValue(d, px, py, d.bits_per_pixel == 32 ? out : ValueOfRgb(d, out & 0xFFFFFF));
      }
    }
  }
  return TRUE;
}

}  // namespace win
