// Alpha blending of one context's pixels over another's.
//   constant alpha A:       out = (src x A + dst x (255 - A)) / 255, per channel;
//   per-pixel alpha (premultiplied source, AC_SRC_ALPHA): src' = src x A / 255 for all four
//   channels, then out = src' + dst x (255 - src'.alpha) / 255.
// Every division rounds to nearest; the source is stretched by nearest pixel. Unstretched
// 32-bit blends take fast paths (pixman for per-pixel alpha, a loop the compiler vectorises for
// constant alpha) that give the same pixels.
#include <algorithm>

#include "platform/gdi/device_context.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/pixman_paths.h"

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

// The constant-alpha rule over the bytes of a row of 32-bit pixels, every channel alike: with
// t = s x A + d x (255 - A) + 128, (t + (t >> 8)) >> 8 is t / 255 rounded to nearest, and t
// stays below 2^16, so the loop runs on 16-bit lanes. The rows are distinct memory.
__attribute__((always_inline)) inline void LerpBytes(std::uint8_t* __restrict dest,
                                                     const std::uint8_t* __restrict source, int count,
                                                     std::uint32_t constant) {
  const auto take = static_cast<std::uint16_t>(constant);
  const auto keep = static_cast<std::uint16_t>(255 - constant);
  for (int i = 0; i < count * 4; ++i) {
    const auto t = static_cast<std::uint16_t>(source[i] * take + dest[i] * keep + 128);
    dest[i] = static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
  }
}

// The loop is bound by its arithmetic, so it is built for AVX2 as well and that build is taken
// when the processor has it. Chosen at the first call rather than by an ifunc: a resolver runs
// before the sanitizers' runtimes are ready.
__attribute__((target("avx2"))) void LerpRowAvx2(std::uint8_t* dest, const std::uint8_t* source, int count,
                                                 std::uint32_t constant) {
  LerpBytes(dest, source, count, constant);
}

void LerpRowPlain(std::uint8_t* dest, const std::uint8_t* source, int count, std::uint32_t constant) {
  LerpBytes(dest, source, count, constant);
}

void LerpRow(std::uint8_t* dest, const std::uint8_t* source, int count, std::uint32_t constant) {
  static const auto row = __builtin_cpu_supports("avx2") ? &LerpRowAvx2 : &LerpRowPlain;
  row(dest, source, count, constant);
}

// One blend, everything in surface coordinates; the source rectangle lies inside the source.
struct Blend {
  const Surface* source = nullptr;
  const Surface* dest = nullptr;
  RECT dest_rect{};
  int source_x = 0, source_y = 0, source_width = 0, source_height = 0;
  unsigned constant = 255;
  bool per_pixel = false;

  bool Stretched() const {
    return source_width != dest_rect.right - dest_rect.left || source_height != dest_rect.bottom - dest_rect.top;
  }
};

std::vector<RECT> Pieces(const Blend& blend, const Region& clip) {
  std::vector<RECT> pieces;
  for (const RECT& r : clip.Rects()) {
    const RECT piece = IntersectRects(r, blend.dest_rect);
    if (!RectIsEmpty(piece)) pieces.push_back(piece);
  }
  return pieces;
}

void BlendAnyPixels(const Blend& b, const std::vector<RECT>& pieces) {
  const Surface& s = *b.source;
  const Surface& d = *b.dest;
  const long long width = b.dest_rect.right - b.dest_rect.left;
  const long long height = b.dest_rect.bottom - b.dest_rect.top;
  for (const RECT& piece : pieces) {
    for (int py = piece.top; py < piece.bottom; ++py) {
      const int sy = static_cast<int>(b.source_y + (py - b.dest_rect.top) * b.source_height / height);
      for (int px = piece.left; px < piece.right; ++px) {
        const int sx = static_cast<int>(b.source_x + (px - b.dest_rect.left) * b.source_width / width);
        const std::uint32_t sv = ReadValue(s, sx, sy);
        const std::uint32_t src_pixel = s.bits_per_pixel == 32 ? sv : RgbOfValue(s, sv);
        const std::uint32_t dv = ReadValue(d, px, py);
        const std::uint32_t dst_pixel = d.bits_per_pixel == 32 ? dv : RgbOfValue(d, dv);
        const std::uint32_t out = BlendPixel(src_pixel, dst_pixel, b.constant, b.per_pixel);
        WriteValue(d, px, py, d.bits_per_pixel == 32 ? out : ValueOfRgb(d, out & 0xFFFFFF));
      }
    }
  }
}

// Unstretched constant alpha between two 32-bit surfaces, row by row.
void LerpPixels(const Blend& b, const std::vector<RECT>& pieces) {
  for (const RECT& piece : pieces) {
    const int sx = b.source_x + (piece.left - b.dest_rect.left);
    for (int py = piece.top; py < piece.bottom; ++py) {
      const int sy = b.source_y + (py - b.dest_rect.top);
      LerpRow(b.dest->Row(py) + 4 * static_cast<std::ptrdiff_t>(piece.left),
              b.source->Row(sy) + 4 * static_cast<std::ptrdiff_t>(sx), piece.right - piece.left, b.constant);
    }
  }
}

void RunBlend(const Blend& b, const Region& clip) {
  const std::vector<RECT> pieces = Pieces(b, clip);
  if (pieces.empty()) return;
  const bool plain = !b.Stretched() && b.source->bits_per_pixel == 32 && b.dest->bits_per_pixel == 32;
  if (plain && b.per_pixel &&
      pixman_paths::BlendPremultiplied(*b.source, b.source_x, b.source_y, b.constant,
                                       pixman_paths::Target{b.dest, b.dest_rect, &pieces}))
    return;
  if (plain && !b.per_pixel && b.source->bits != b.dest->bits) {
    LerpPixels(b, pieces);
    return;
  }
  BlendAnyPixels(b, pieces);
}

bool ValidBlendFunction(const BLENDFUNCTION& blend) {
  return blend.BlendOp == AC_SRC_OVER && blend.BlendFlags == 0 && (blend.AlphaFormat & ~AC_SRC_ALPHA) == 0;
}

LONG ClampPosition(long long v) { return static_cast<LONG>(std::clamp<long long>(v, -(1 << 28), 1 << 28)); }

}  // namespace
}  // namespace win::gdi

namespace win {

using namespace win::gdi;

BOOL AlphaBlend(HDC dest, int x, int y, int width, int height, HDC source, int source_x, int source_y,
                int source_width, int source_height, BLENDFUNCTION blend) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(dest);
  auto src = BorrowDC(source);
  if (!dc || !src || !ValidBlendFunction(blend)) return FALSE;
  if (width <= 0 || height <= 0 || source_width <= 0 || source_height <= 0 || width > kMaxBitmapSide ||
      height > kMaxBitmapSide)
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
  Blend b;
  b.source = &s;
  b.dest = to.surface;
  const LONG left = ClampPosition(static_cast<long long>(x) + to.offset.x);
  const LONG top = ClampPosition(static_cast<long long>(y) + to.offset.y);
  b.dest_rect = RECT{left, top, left + width, top + height};
  b.source_x = static_cast<int>(sx0);
  b.source_y = static_cast<int>(sy0);
  b.source_width = source_width;
  b.source_height = source_height;
  b.constant = blend.SourceConstantAlpha;
  b.per_pixel = per_pixel;
  RunBlend(b, *to.clip);
  return TRUE;
}

}  // namespace win
