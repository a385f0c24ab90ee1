#include "platform/text/text_render.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace win::text {
namespace {

LONG Clamp(std::int64_t value) {
  return static_cast<LONG>(std::clamp<std::int64_t>(value, std::numeric_limits<LONG>::min(),
                                                    std::numeric_limits<LONG>::max()));
}

// A rectangle with 64-bit edges, so that a far-away run cannot wrap around.
struct Box {
  std::int64_t left, top, right, bottom;
  bool Empty() const { return right <= left || bottom <= top; }
  Box Crop(const RECT& limit) const {
    return {std::max<std::int64_t>(left, limit.left), std::max<std::int64_t>(top, limit.top),
            std::min<std::int64_t>(right, limit.right),
            std::min<std::int64_t>(bottom, limit.bottom)};
  }
};

// The area a run may touch: the sink's bounds, narrowed by the run's clip.
RECT DrawableArea(const TextSink& sink, const RECT* clip) {
  RECT area = sink.Bounds();
  if (!clip) return area;
  return {std::max(area.left, clip->left), std::max(area.top, clip->top),
          std::min(area.right, clip->right), std::min(area.bottom, clip->bottom)};
}

void FillCropped(TextSink& sink, const RECT& area, const Box& box, COLORREF color) {
  const Box cropped = box.Crop(area);
  if (cropped.Empty()) return;
  sink.Fill(
      RECT{Clamp(cropped.left), Clamp(cropped.top), Clamp(cropped.right), Clamp(cropped.bottom)},
      color);
}

void BlendGlyph(TextSink& sink, const RECT& area, std::int64_t left, std::int64_t top,
                const Glyph& glyph, COLORREF color) {
  const Box cropped = Box{left, top, left + glyph.width, top + glyph.height}.Crop(area);
  if (cropped.Empty()) return;
  const std::uint8_t* first =
      glyph.coverage.data() + (cropped.top - top) * glyph.width + (cropped.left - left);
  sink.Blend(Clamp(cropped.left), Clamp(cropped.top),
             static_cast<int>(cropped.right - cropped.left),
             static_cast<int>(cropped.bottom - cropped.top), first, glyph.width, color);
}

std::int64_t Sum(std::span<const int> advances) {
  std::int64_t total = 0;
  for (int advance : advances) total += advance;
  return total;
}

bool Drawable(char32_t c) { return c >= 0x20 && c != 0x7F; }

}  // namespace

void BgraSink::Fill(const RECT& rect, COLORREF color) {
  const RECT pixels{
      Clamp(std::int64_t{rect.left} + offset_.x), Clamp(std::int64_t{rect.top} + offset_.y),
      Clamp(std::int64_t{rect.right} + offset_.x), Clamp(std::int64_t{rect.bottom} + offset_.y)};
  FillSolid(surface_, clips_, pixels, color);
}

void BgraSink::Blend(LONG left, LONG top, int width, int height, const std::uint8_t* coverage,
                     std::ptrdiff_t stride, COLORREF color) {
  BlendCoverage(surface_, clips_, Clamp(std::int64_t{left} + offset_.x),
                Clamp(std::int64_t{top} + offset_.y), width, height, coverage, stride, color);
}

RECT BgraSink::Bounds() const {
  return {Clamp(-std::int64_t{offset_.x}), Clamp(-std::int64_t{offset_.y}),
          Clamp(std::int64_t{surface_.width} - offset_.x),
          Clamp(std::int64_t{surface_.height} - offset_.y)};
}

std::vector<int> RunAdvances(const Font& font, const DecodedText& text, const INT* dx) {
  std::vector<int> advances;
  advances.reserve(text.characters.size());
  for (std::size_t i = 0; i < text.characters.size(); ++i) {
    if (!dx) {
      advances.push_back(Drawable(text.characters[i]) ? font.Advance(text.characters[i]) : 0);
      continue;
    }
    std::int64_t sum = 0;
    for (int unit = text.first_unit[i]; unit < text.first_unit[i + 1]; ++unit) sum += dx[unit];
    advances.push_back(static_cast<int>(Clamp(sum)));
  }
  return advances;
}

SIZE RunExtent(const Font& font, std::span<const int> advances) {
  return {Clamp(Sum(advances)), font.GetMetrics().height};
}

void DrawRun(const TextTarget& target, const Font& font, LONG x, LONG y,
             std::u32string_view characters, std::span<const int> advances,
             const RunOptions& options) {
  if (!target.sink) return;
  TextSink& sink = *target.sink;
  const RECT area = DrawableArea(sink, options.clip);
  if (area.right <= area.left || area.bottom <= area.top) return;
  if (options.opaque) {
    const RECT& r = *options.opaque;
    FillCropped(sink, area, Box{r.left, r.top, r.right, r.bottom}, target.background_color);
  }

  const FontMetrics& metrics = font.GetMetrics();
  const std::int64_t width = Sum(advances);
  if (target.opaque_background)
    FillCropped(sink, area, Box{x, y, x + width, std::int64_t{y} + metrics.height},
                target.background_color);

  const std::int64_t baseline = std::int64_t{y} + metrics.ascent;
  std::int64_t pen = x;
  const std::size_t count = std::min(characters.size(), advances.size());
  for (std::size_t i = 0; i < count; ++i) {
    if (Drawable(characters[i])) {
      const Glyph& glyph = font.GetGlyph(characters[i]);
      BlendGlyph(sink, area, pen + glyph.left, baseline - glyph.top, glyph, target.text_color);
    }
    pen += advances[i];
  }

  const std::int64_t underline_top = baseline + metrics.underline_offset;
  const std::int64_t underline_bottom = underline_top + metrics.underline_thickness;
  if (metrics.underline) {
    FillCropped(sink, area, Box{x, underline_top, x + width, underline_bottom}, target.text_color);
  } else if (options.underline_index >= 0 &&
             static_cast<std::size_t>(options.underline_index) < count) {
    const std::size_t index = static_cast<std::size_t>(options.underline_index);
    const std::int64_t start = x + Sum(advances.first(index));
    FillCropped(sink, area, Box{start, underline_top, start + advances[index], underline_bottom},
                target.text_color);
  }
}

void DrawLayout(const TextTarget& target, const Font& font, const TextLayout& layout,
                const RECT* clip) {
  for (const LaidOutLine& line : layout.lines) {
    RunOptions options;
    options.clip = clip;
    options.underline_index = line.underline_index;
    DrawRun(target, font, line.x, line.y, line.text, line.advances, options);
  }
}

}  // namespace win::text
