// Drawing runs and laid-out text: what TextOut, ExtTextOut and DrawText do once the font, the
// colours and the place to draw are known. The place is a TextSink, which fills and blends in
// logical coordinates and applies its own mapping and clip: a device context, or a plain 32-bit
// buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/text/font.h"
#include "platform/text/glyph_raster.h"
#include "platform/text/text_decode.h"
#include "platform/text/text_layout.h"

namespace win::text {

class TextSink {
 public:
  virtual ~TextSink() = default;
  // Every pixel of the rectangle takes the colour.
  virtual void Fill(const RECT& rect, COLORREF color) = 0;
  // Blends the colour over a block by coverage (`height` rows of `width` bytes, `stride` apart).
  virtual void Blend(LONG left, LONG top, int width, int height, const std::uint8_t* coverage,
                     std::ptrdiff_t stride, COLORREF color) = 0;
  // The logical rectangle outside which nothing can show; drawing is cropped to it first.
  virtual RECT Bounds() const = 0;
};

// A plain 32-bit buffer: logical coordinates plus `offset` are pixels, drawing stays inside
// `clips` (pixel coordinates, not overlapping).
class BgraSink final : public TextSink {
 public:
  BgraSink(const BgraSurface& surface, std::vector<RECT> clips, POINT offset = {})
      : surface_(surface), clips_(std::move(clips)), offset_(offset) {}
  void Fill(const RECT& rect, COLORREF color) override;
  void Blend(LONG left, LONG top, int width, int height, const std::uint8_t* coverage,
             std::ptrdiff_t stride, COLORREF color) override;
  RECT Bounds() const override;

 private:
  BgraSurface surface_;
  std::vector<RECT> clips_;
  POINT offset_;
};

struct TextTarget {
  TextSink* sink = nullptr;  // not owned
  COLORREF text_color = RGB(0, 0, 0);
  COLORREF background_color = RGB(255, 255, 255);
  bool opaque_background = true;  // background mode OPAQUE: a run's cell is filled first
};

// Per-character advances of decoded text; `dx`, when given, holds one advance per code unit of
// the original text (a character takes the sum of its units' entries). Control characters take
// no room.
std::vector<int> RunAdvances(const Font& font, const DecodedText& text, const INT* dx);

// The extent of a run: the sum of its advances, and the font's height.
SIZE RunExtent(const Font& font, std::span<const int> advances);

struct RunOptions {
  const RECT* clip = nullptr;    // drawing stays inside it when given
  const RECT* opaque = nullptr;  // filled with the background colour first when given
  int underline_index = -1;      // one character underlined (a prefix), -1 for none
};

// Draws a run whose cell's top-left corner is the logical point (x, y). In opaque background
// mode the cell (advances wide, font height high) is filled with the background colour first.
// The font's underline, when it has one, runs under the whole run.
void DrawRun(const TextTarget& target, const Font& font, LONG x, LONG y,
             std::u32string_view characters, std::span<const int> advances,
             const RunOptions& options);

// Draws every line of a DrawText layout, clipped to `clip` when given.
void DrawLayout(const TextTarget& target, const Font& font, const TextLayout& layout,
                const RECT* clip);

}  // namespace win::text
