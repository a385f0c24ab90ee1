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

RECT ToDevice(const TextTarget& target, const RECT& logical) {
  const std::int64_t dx = target.logical_to_device.x;
  const std::int64_t dy = target.logical_to_device.y;
  return {Clamp(logical.left + dx), Clamp(logical.top + dy), Clamp(logical.right + dx),
          Clamp(logical.bottom + dy)};
}

// The target's clip rectangles narrowed to a device rectangle.
std::vector<RECT> NarrowClips(const std::vector<RECT>& clips, const RECT& limit) {
  std::vector<RECT> narrowed;
  for (const RECT& clip : clips) {
    const RECT part{std::max(clip.left, limit.left), std::max(clip.top, limit.top),
                    std::min(clip.right, limit.right), std::min(clip.bottom, limit.bottom)};
    if (part.left < part.right && part.top < part.bottom) narrowed.push_back(part);
  }
  return narrowed;
}

std::int64_t Sum(std::span<const int> advances) {
  std::int64_t total = 0;
  for (int advance : advances) total += advance;
  return total;
}

bool Drawable(char32_t c) { return c >= 0x20 && c != 0x7F; }

}  // namespace

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
             std::u32string_view characters, std::span<const int> advances, const RunOptions& options) {
  const std::vector<RECT> clips =
      options.clip ? NarrowClips(target.clips, ToDevice(target, *options.clip)) : target.clips;
  if (clips.empty()) return;
  if (options.opaque) FillSolid(target.surface, clips, ToDevice(target, *options.opaque), target.background_color);

  const FontMetrics& metrics = font.GetMetrics();
  const LONG left = Clamp(std::int64_t{x} + target.logical_to_device.x);
  const LONG top = Clamp(std::int64_t{y} + target.logical_to_device.y);
  const LONG width = Clamp(Sum(advances));
  if (target.opaque_background)
    FillSolid(target.surface, clips, RECT{left, top, Clamp(std::int64_t{left} + width), Clamp(std::int64_t{top} + metrics.height)},
              target.background_color);
  const LONG baseline = Clamp(std::int64_t{top} + metrics.ascent);
  DrawGlyphRun(target.surface, clips, font, left, baseline, characters, advances, target.text_color);
  if (metrics.underline) DrawUnderline(target.surface, clips, font, left, baseline, width, target.text_color);
  const auto underlined = static_cast<std::size_t>(options.underline_index);
  if (options.underline_index >= 0 && underlined < advances.size() && !metrics.underline) {
    const std::int64_t offset = Sum(advances.first(underlined));
    DrawUnderline(target.surface, clips, font, Clamp(left + offset), baseline, advances[underlined],
                  target.text_color);
  }
}

void DrawLayout(const TextTarget& target, const Font& font, const TextLayout& layout, const RECT* clip) {
  for (const LaidOutLine& line : layout.lines) {
    RunOptions options;
    options.clip = clip;
    options.underline_index = line.underline_index;
    DrawRun(target, font, line.x, line.y, line.text, line.advances, options);
  }
}

}  // namespace win::text
