#include "platform/text/glyph_raster.h"

#include <algorithm>
#include <cstdint>
#include <limits>

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
  const std::int64_t b = std::min({bottom, std::int64_t{clip.bottom}, std::int64_t{surface.height}});
  if (r <= l || b <= t) return {0, 0, 0, 0};
  return {static_cast<int>(l), static_cast<int>(t), static_cast<int>(r), static_cast<int>(b)};
}

std::uint8_t* PixelAt(const BgraSurface& surface, int x, int y) {
  return surface.pixels + static_cast<std::ptrdiff_t>(y) * surface.stride +
         static_cast<std::ptrdiff_t>(x) * 4;
}

std::uint8_t Mix(std::uint8_t destination, std::uint8_t source, unsigned coverage) {
  return static_cast<std::uint8_t>((destination * (255u - coverage) + source * coverage + 127u) / 255u);
}

bool Usable(const BgraSurface& surface) {
  return surface.pixels && surface.width > 0 && surface.height > 0 &&
         surface.stride >= static_cast<std::ptrdiff_t>(surface.width) * 4;
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
                   int width, int height, const std::uint8_t* coverage, COLORREF color) {
  if (!Usable(surface) || !coverage || width <= 0 || height <= 0) return;
  for (const RECT& clip : clips) {
    const Span2D area = Intersect(surface, clip, left, top, std::int64_t{left} + width,
                                  std::int64_t{top} + height);
    for (int y = area.top; y < area.bottom; ++y) {
      const std::uint8_t* row = coverage + static_cast<std::ptrdiff_t>(y - top) * width;
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

void DrawGlyphRun(const BgraSurface& surface, std::span<const RECT> clips, const Font& font, int x,
                  int baseline, std::u32string_view characters, std::span<const int> advances,
                  COLORREF color) {
  std::int64_t pen = x;
  const std::size_t count = std::min(characters.size(), advances.size());
  for (std::size_t i = 0; i < count; ++i) {
    const char32_t c = characters[i];
    if (c >= 0x20 && c != 0x7F) {
      const Glyph& glyph = font.GetGlyph(c);
      const std::int64_t left = pen + glyph.left;
      const std::int64_t top = std::int64_t{baseline} - glyph.top;
      if (left > std::numeric_limits<int>::min() && left < std::numeric_limits<int>::max() &&
          top > std::numeric_limits<int>::min() && top < std::numeric_limits<int>::max())
        BlendCoverage(surface, clips, static_cast<int>(left), static_cast<int>(top), glyph.width,
                      glyph.height, glyph.coverage.data(), color);
    }
    pen += advances[i];
  }
}

void DrawUnderline(const BgraSurface& surface, std::span<const RECT> clips, const Font& font, int x,
                   int baseline, int width, COLORREF color) {
  const FontMetrics& metrics = font.GetMetrics();
  const std::int64_t top = std::int64_t{baseline} + metrics.underline_offset;
  const RECT bar{x, static_cast<LONG>(std::clamp<std::int64_t>(top, INT32_MIN, INT32_MAX)),
                 static_cast<LONG>(std::clamp<std::int64_t>(std::int64_t{x} + width, INT32_MIN, INT32_MAX)),
                 static_cast<LONG>(std::clamp<std::int64_t>(top + metrics.underline_thickness, INT32_MIN,
                                                            INT32_MAX))};
  FillSolid(surface, clips, bar, color);
}

}  // namespace win::text
