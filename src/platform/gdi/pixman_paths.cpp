#include "platform/gdi/pixman_paths.h"

#include <pixman.h>

#include <cstdlib>

#include "platform/gdi/region.h"

namespace win::gdi::pixman_paths {
namespace {

// pixman's images and 16.16 coordinates stop short of 32767.
constexpr long long kLimit = 32767;

bool FitsCoordinate(long long v) { return v > -kLimit && v < kLimit; }

bool Fits(const Surface& surface) {
  return surface.bits != nullptr && surface.width < kLimit && surface.height < kLimit &&
         (surface.bits_per_pixel == 32 || surface.bits_per_pixel == 24) && surface.stride > 0 &&
         surface.stride % 4 == 0 && reinterpret_cast<std::uintptr_t>(surface.bits) % 4 == 0;
}

bool Fits(const RECT& r) {
  return FitsCoordinate(r.left) && FitsCoordinate(r.top) && FitsCoordinate(r.right) && FitsCoordinate(r.bottom);
}

pixman_format_code_t FormatOf(const Surface& surface) {
  return surface.bits_per_pixel == 32 ? PIXMAN_a8r8g8b8 : PIXMAN_r8g8b8;
}

// A rectangle in memory rows (row 0 first in memory) instead of rows from the top.
RECT InMemoryRows(const Surface& surface, const RECT& r) {
  if (surface.top_down) return r;
  return RECT{r.left, surface.height - r.bottom, r.right, surface.height - r.top};
}

// A pixman image over a surface's memory, rows in memory order.
class Image {
 public:
  explicit Image(const Surface& surface)
      : image_(pixman_image_create_bits_no_clear(FormatOf(surface), surface.width, surface.height,
                                                 reinterpret_cast<std::uint32_t*>(surface.bits),
                                                 static_cast<int>(surface.stride))) {}
  ~Image() {
    if (image_ != nullptr) pixman_image_unref(image_);
  }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  pixman_image_t* Get() const { return image_; }

 private:
  pixman_image_t* image_;
};

// The target's clip rectangles in memory rows, as pixman's clip region of the target image.
class Clip {
 public:
  explicit Clip(const Target& target) {
    std::vector<pixman_box32_t> boxes;
    boxes.reserve(target.clip->size());
    for (const RECT& r : *target.clip) {
      const RECT piece = InMemoryRows(*target.surface, IntersectRects(r, target.rect));
      if (!RectIsEmpty(piece)) boxes.push_back(pixman_box32_t{piece.left, piece.top, piece.right, piece.bottom});
    }
    pixman_region32_init_rects(&region_, boxes.data(), static_cast<int>(boxes.size()));
  }
  ~Clip() { pixman_region32_fini(&region_); }
  Clip(const Clip&) = delete;
  Clip& operator=(const Clip&) = delete;

  pixman_region32_t* Get() { return &region_; }
  bool Empty() { return !pixman_region32_not_empty(&region_); }

 private:
  pixman_region32_t region_;
};

bool TargetFits(const Target& target) {
  return target.surface != nullptr && target.clip != nullptr && Fits(*target.surface) && Fits(target.rect) &&
         !RectIsEmpty(target.rect);
}

// Composites `source` (with an optional mask) onto the target; `source_x`/`source_y` is the
// source point, in the source image's coordinates, that the target rectangle's corner takes.
bool Composite(pixman_op_t op, pixman_image_t* source, pixman_image_t* mask, int source_x, int source_y,
               const Target& target) {
  Image dest(*target.surface);
  Clip clip(target);
  if (dest.Get() == nullptr) return false;
  if (clip.Empty()) return true;
  if (!pixman_image_set_clip_region32(dest.Get(), clip.Get())) return false;
  const RECT r = InMemoryRows(*target.surface, target.rect);
  pixman_image_composite32(op, source, mask, dest.Get(), source_x, source_y, 0, 0, r.left, r.top,
                           r.right - r.left, r.bottom - r.top);
  return true;
}

// The row, in the source image's memory order, that lines up with the target rectangle's first
// memory row when both surfaces keep their rows in the same order.
int SourceMemoryTop(const Surface& source, int source_y, const Target& target) {
  if (source.top_down) return source_y;
  return source.height - (source_y + (target.rect.bottom - target.rect.top));
}

// 16.16 step of a ratio, when it is exact: 0 otherwise.
pixman_fixed_t ExactStep(int source_len, int dest_len) {
  if (source_len <= 0 || dest_len <= 0) return 0;
  const long long scaled = static_cast<long long>(source_len) * pixman_fixed_1;
  if (scaled % dest_len != 0 || scaled / dest_len > 0x7FFFFFFF) return 0;
  return static_cast<pixman_fixed_t>(scaled / dest_len);
}

// The offset that makes pixman's nearest sample of index i (taken at i + 0.5, the step's
// half rounded up, then one unit below) land on origin + floor(i * step).
pixman_fixed_t NearestOffset(int origin, pixman_fixed_t step) {
  return pixman_int_to_fixed(origin) + pixman_fixed_e - (step + 1) / 2;
}

}  // namespace

bool Fill(const Target& target, std::uint32_t value) {
  if (!TargetFits(target) || target.surface->bits_per_pixel != 32) return false;
  const Surface& s = *target.surface;
  for (const RECT& r : *target.clip) {
    const RECT piece = InMemoryRows(s, IntersectRects(r, target.rect));
    if (RectIsEmpty(piece)) continue;
    if (!pixman_fill(reinterpret_cast<std::uint32_t*>(s.bits), static_cast<int>(s.stride / 4), 32, piece.left,
                     piece.top, piece.right - piece.left, piece.bottom - piece.top, value))
      return false;  // nothing can be drawn yet: pixman checks before it writes
  }
  return true;
}

bool Copy(const Surface& source, int source_x, int source_y, const Target& target) {
  if (!TargetFits(target) || !Fits(source) || source.top_down != target.surface->top_down) return false;
  const int from = source.bits_per_pixel, to = target.surface->bits_per_pixel;
  if (from != to && !(from == 32 && to == 24)) return false;
  if (!FitsCoordinate(source_x) || !FitsCoordinate(source_y)) return false;
  Image image(source);
  if (image.Get() == nullptr) return false;
  return Composite(PIXMAN_OP_SRC, image.Get(), nullptr, source_x, SourceMemoryTop(source, source_y, target), target);
}

bool StretchCopy(const Surface& source, const Stretch& stretch, const Target& target) {
  if (!TargetFits(target) || !Fits(source) || !source.top_down || !target.surface->top_down ||
      source.bits_per_pixel != target.surface->bits_per_pixel)
    return false;
  const pixman_fixed_t step_x = ExactStep(stretch.source_width, stretch.dest_width);
  const pixman_fixed_t step_y = ExactStep(stretch.source_height, stretch.dest_height);
  if (step_x == 0 || step_y == 0 || !FitsCoordinate(stretch.origin_x) || !FitsCoordinate(stretch.origin_y) ||
      !FitsCoordinate(stretch.first_x) || !FitsCoordinate(stretch.first_y) ||
      !FitsCoordinate(stretch.dest_width) || !FitsCoordinate(stretch.dest_height))
    return false;
  Image image(source);
  if (image.Get() == nullptr) return false;
  pixman_transform_t transform;
  pixman_transform_init_identity(&transform);
  transform.matrix[0][0] = step_x;
  transform.matrix[0][2] = NearestOffset(stretch.origin_x, step_x);
  transform.matrix[1][1] = step_y;
  transform.matrix[1][2] = NearestOffset(stretch.origin_y, step_y);
  if (!pixman_image_set_transform(image.Get(), &transform)) return false;
  pixman_image_set_filter(image.Get(), PIXMAN_FILTER_NEAREST, nullptr, 0);
  return Composite(PIXMAN_OP_SRC, image.Get(), nullptr, stretch.first_x, stretch.first_y, target);
}

bool BlendPremultiplied(const Surface& source, int source_x, int source_y, unsigned constant,
                        const Target& target) {
  if (!TargetFits(target) || !Fits(source) || source.bits_per_pixel != 32 ||
      target.surface->bits_per_pixel != 32 || source.top_down != target.surface->top_down ||
      source.bits == target.surface->bits || !FitsCoordinate(source_x) || !FitsCoordinate(source_y))
    return false;
  Image image(source);
  if (image.Get() == nullptr) return false;
  pixman_image_t* mask = nullptr;
  if (constant < 255) {
    const auto alpha = static_cast<std::uint16_t>(constant * 0x101);
    const pixman_color_t colour{0, 0, 0, alpha};
    mask = pixman_image_create_solid_fill(&colour);
    if (mask == nullptr) return false;
  }
  const bool drawn = Composite(PIXMAN_OP_OVER, image.Get(), mask, source_x,
                               SourceMemoryTop(source, source_y, target), target);
  if (mask != nullptr) pixman_image_unref(mask);
  return drawn;
}

}  // namespace win::gdi::pixman_paths
