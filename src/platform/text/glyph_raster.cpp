#include "platform/text/glyph_raster.h"

#include <algorithm>
#include <cstdint>

namespace win::text {
namespace {

// The part of [left, right) x [top, bottom) inside the surface and the clip rectangle; empty
// when right <= left or bottom <= top. Computed in 64 bits so far-away coordinates cannot wrap.
struct Span2D {
  int left, top, right, bottom;
  bool Empty() const { return right <= left || bottom <= top; }
};

Span2D Intersect(const BgraSurface& surface, const RECT& clip, std::int64_t left, std::int64_t top,
                 std::int64_t right, std::int64_t bottom) {
  const std::int64_t l = std::max({left, std::int64_t{clip.left}, std::int64_t{0}});
  const std::int64_t t = std::max({top, std::int64_t{clip.top}, std::int64_t{0}});
  const std::int64_t r = std::min({right, std::int64_t{clip.right}, std::int64_t{surface.width}});
  const std::int64_t b =
      std::min({bottom, std::int64_t{clip.bottom}, std::int64_t{surface.height}});
  if (r <= l || b <= t) return {0, 0, 0, 0};
  return {static_cast<int>(l), static_cast<int>(t), static_cast<int>(r), static_cast<int>(b)};
}

std::uint8_t* PixelAt(const BgraSurface& surface, int x, int y) {
  return surface.pixels + static_cast<std::ptrdiff_t>(y) * surface.stride +
         static_cast<std::ptrdiff_t>(x) * 4;
}

std::uint8_t Mix(std::uint8_t destination, std::uint8_t source, unsigned coverage) {
  return static_cast<std::uint8_t>((destination * (255u - coverage) + source * coverage + 127u) /
                                   255u);
}

bool Usable(const BgraSurface& surface) {
  const std::ptrdiff_t row_bytes = static_cast<std::ptrdiff_t>(surface.width) * 4;
  return surface.pixels && surface.width > 0 && surface.height > 0 &&
         (surface.stride >= row_bytes || surface.stride <= -row_bytes);
}

}  // namespace

void FillSolid(const BgraSurface& surface, std::span<const RECT> clips, const RECT& rect,
               COLORREF color) {
  if (!Usable(surface)) return;
  for (const RECT& clip : clips) {
    const Span2D area = Intersect(surface, clip, rect.left, rect.top, rect.right, rect.bottom);
    for (int y = area.top; y < area.bottom; ++y) {
      for (int x = area.left; x < area.right; ++x) {
        std::uint8_t* pixel = PixelAt(surface, x, y);
        pixel[0] = GetBValue(color);
        pixel[1] = GetGValue(color);
        pixel[2] = GetRValue(color);
      }
    }
  }
}

void BlendCoverage(const BgraSurface& surface, std::span<const RECT> clips, int left, int top,
                   int width, int height, const std::uint8_t* coverage, std::ptrdiff_t stride,
                   COLORREF color) {
  if (!Usable(surface) || !coverage || width <= 0 || height <= 0 || stride < width) return;
  for (const RECT& clip : clips) {
    const Span2D area =
        Intersect(surface, clip, left, top, std::int64_t{left} + width, std::int64_t{top} + height);
    for (int y = area.top; y < area.bottom; ++y) {
      const std::uint8_t* row = coverage + static_cast<std::ptrdiff_t>(y - top) * stride;
      for (int x = area.left; x < area.right; ++x) {
        const unsigned alpha = row[x - left];
        if (alpha == 0) continue;
        std::uint8_t* pixel = PixelAt(surface, x, y);
        pixel[0] = Mix(pixel[0], GetBValue(color), alpha);
        pixel[1] = Mix(pixel[1], GetGValue(color), alpha);
        pixel[2] = Mix(pixel[2], GetRValue(color), alpha);
      }
    }
  }
}

}  // namespace win::text
