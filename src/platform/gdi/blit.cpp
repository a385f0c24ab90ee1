// Blits: BitBlt, StretchBlt, PatBlt, MaskBlt and StretchDIBits all build one job (destination
// rectangle, source mapping, codes, pattern) and run it through the row evaluator.
#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <unordered_map>

#include "platform/gdi/dc_access.h"
#include "platform/gdi/dib_layout.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/pixman_paths.h"
#include "platform/gdi/raster.h"

namespace win::gdi {
namespace {

constexpr int kCoordinateLimit = 1 << 27;

int ClampCoordinate(long long v) {
  return static_cast<int>(std::clamp<long long>(v, -kCoordinateLimit, kCoordinateLimit));
}

bool SameTable(const Surface& a, const Surface& b) {
  if (a.colour_table.size() != b.colour_table.size()) return false;
  for (std::size_t i = 0; i < a.colour_table.size(); ++i)
    if (RgbOfQuad(a.colour_table[i]) != RgbOfQuad(b.colour_table[i])) return false;
  return true;
}

// Turns source values into destination values by the conversion rules: monochrome to colour
// uses the destination's text (0) and background (1) colours; colour to monochrome gives 1
// where the source shows the source context's background colour.
class Converter {
 public:
  Converter(const Surface& source, const Surface& dest, std::uint32_t source_bk_rgb,
            std::uint32_t text_value, std::uint32_t bk_value)
      : dest_(dest), source_bk_rgb_(source_bk_rgb) {
    if (source.monochrome && dest.monochrome) {
      mode_ = Mode::kIdentity;
    } else if (source.monochrome) {
      mode_ = Mode::kTable;
      table_ = {text_value, bk_value};
    } else if (dest.monochrome) {
      if (source.Indexed()) {
        mode_ = Mode::kTable;
        for (std::uint32_t i = 0; i < (1u << source.bits_per_pixel); ++i)
          table_.push_back(RgbOfValue(source, i) == source_bk_rgb ? 1 : 0);
      } else {
        mode_ = Mode::kToMono;
      }
    } else if (source.Indexed() && source.bits_per_pixel == dest.bits_per_pixel &&
               SameTable(source, dest)) {
      mode_ = Mode::kIdentity;
    } else if (source.Indexed()) {
      mode_ = Mode::kTable;
      table_.resize(std::size_t{1} << source.bits_per_pixel);
      // A true-colour destination's value of a colour is the colour itself.
      for (std::uint32_t i = 0; i < table_.size(); ++i) {
        const std::uint32_t rgb = RgbOfValue(source, i);
        table_[i] = dest.Indexed() ? ValueOfRgb(dest, rgb) : rgb;
      }
    } else if (dest.bits_per_pixel == 32) {
      mode_ = Mode::kIdentity;
    } else if (dest.bits_per_pixel == 24) {
      mode_ = Mode::kMask24;
    } else {
      mode_ = Mode::kNearest;
    }
  }

  bool Identity() const { return mode_ == Mode::kIdentity; }
  // The destination value of each source value, when the conversion is a look-up.
  const std::vector<std::uint32_t>* Table() const { return mode_ == Mode::kTable ? &table_ : nullptr; }

  void Convert(std::uint32_t* values, int count) {
    switch (mode_) {
      case Mode::kIdentity: return;
      case Mode::kTable:
        for (int i = 0; i < count; ++i) values[i] = values[i] < table_.size() ? table_[values[i]] : 0;
        return;
      case Mode::kToMono:
        for (int i = 0; i < count; ++i) values[i] = (values[i] & 0xFFFFFF) == source_bk_rgb_ ? 1 : 0;
        return;
      case Mode::kMask24:
        for (int i = 0; i < count; ++i) values[i] &= 0xFFFFFF;
        return;
      case Mode::kNearest:
        for (int i = 0; i < count; ++i) {
          const std::uint32_t rgb = values[i] & 0xFFFFFF;
          auto found = cache_.find(rgb);
          if (found == cache_.end()) found = cache_.emplace(rgb, ValueOfRgb(dest_, rgb)).first;
          values[i] = found->second;
        }
        return;
    }
  }

 private:
  enum class Mode { kIdentity, kTable, kToMono, kMask24, kNearest };
  const Surface& dest_;
  std::uint32_t source_bk_rgb_;
  Mode mode_ = Mode::kIdentity;
  std::vector<std::uint32_t> table_;
  std::unordered_map<std::uint32_t, std::uint32_t> cache_;
};

// Source ranges per destination column (or row): [from, to), one pixel unless shrinking with
// a combining stretch mode; mirrored when exactly one side has a negative extent.
struct AxisMap {
  std::vector<int> from;
  std::vector<int> to;
};

// Maps destination pixels [first, first + count) of a destination span `dest_len` long.
AxisMap MapAxis(int dest_len, int first, int count, long long source_start, long long source_len,
                bool mirror, bool combine) {
  AxisMap map;
  map.from.resize(static_cast<std::size_t>(count));
  map.to.resize(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) {
    const long long i = first + k;
    // Unstretched axes (the common case) need no division per pixel.
    const long long a = source_len == dest_len ? i : i * source_len / dest_len;
    long long b = source_len == dest_len ? i + 1 : (i + 1) * source_len / dest_len;
    if (!combine || b <= a) b = a + 1;
    const long long from = mirror ? source_start + source_len - b : source_start + a;
    const long long to = mirror ? source_start + source_len - a : source_start + b;
    map.from[static_cast<std::size_t>(k)] = ClampCoordinate(from);
    map.to[static_cast<std::size_t>(k)] = ClampCoordinate(to);
  }
  return map;
}

// Keeps the destination pixels whose source range lies inside [0, limit): the valid ones form
// one run because the mapping is monotonic. Answers false when none is left.
bool TrimToSource(AxisMap& map, int limit, LONG& dest_start, LONG& dest_end) {
  std::size_t first = map.from.size();
  std::size_t last = 0;
  for (std::size_t i = 0; i < map.from.size(); ++i) {
    map.from[i] = std::max(map.from[i], 0);
    map.to[i] = std::min(map.to[i], limit);
    if (map.from[i] < map.to[i]) {
      first = std::min(first, i);
      last = i;
    }
  }
  if (first > last || first == map.from.size()) return false;
  for (std::vector<int>* side : {&map.from, &map.to}) {
    side->resize(last + 1);
    side->erase(side->begin(), side->begin() + static_cast<std::ptrdiff_t>(first));
  }
  dest_end = dest_start + static_cast<LONG>(last) + 1;
  dest_start += static_cast<LONG>(first);
  return true;
}

struct SourceSide {
  const Surface* surface = nullptr;
  AxisMap columns;
  AxisMap rows;
  int combine = 0;  // 0 none, BLACKONWHITE (AND) or WHITEONBLACK (OR)
  std::uint32_t bk_rgb = 0xFFFFFF;
  RECT rect{};  // the source rectangle, corners ordered
  bool mirrored = false;  // on either axis
  bool snapshot = false;  // reading from a copy of its rows (see SelfBlitSnapshot)
};

struct Job {
  DrawTarget target;
  RECT unclipped{};  // the whole destination rectangle, surface coordinates
  RECT dest{};  // the part drawn, surface coordinates
  std::uint8_t fore = 0;
  std::uint8_t back = 0;
  std::uint32_t pattern = 0;
  std::uint32_t text_value = 0;
  std::uint32_t bk_value = 0;
  SourceSide source;
  bool has_source = false;
  const Surface* mask = nullptr;  // mask pixel = destination pixel + mask_offset
  POINT mask_offset;
};

void Combine(std::uint32_t& acc, std::uint32_t v, int mode) {
  acc = mode == BLACKONWHITE ? (acc & v) : (acc | v);
}

// Source values for destination columns [x, x + n) of destination row y, converted.
class SourceRows {
 public:
  SourceRows(const Job& job, Converter* converter) : job_(job), converter_(converter) {}

  const std::uint32_t* Fetch(int y, int x, int n) {
    const SourceSide& src = job_.source;
    const std::size_t row_index = static_cast<std::size_t>(y - job_.dest.top);
    const std::size_t col_index = static_cast<std::size_t>(x - job_.dest.left);
    out_.resize(static_cast<std::size_t>(n));
    if (src.combine == 0)
      Gather(src.rows.from[row_index], col_index, n);
    else
      GatherCombined(src.rows.from[row_index], src.rows.to[row_index], col_index, n);
    converter_->Convert(out_.data(), n);
    return out_.data();
  }

 private:
  // One source pixel per destination pixel: read the row piece once, then pick.
  void Gather(int sy, std::size_t col_index, int n) {
    const AxisMap& columns = job_.source.columns;
    const int a = columns.from[col_index];
    const int b = columns.from[col_index + static_cast<std::size_t>(n) - 1];
    const int low = std::min(a, b);
    line_.resize(static_cast<std::size_t>(std::abs(b - a) + 1));
    ReadRow(*job_.source.surface, sy, low, static_cast<int>(line_.size()), line_.data());
    for (int i = 0; i < n; ++i)
      out_[static_cast<std::size_t>(i)] = line_[static_cast<std::size_t>(columns.from[col_index + static_cast<std::size_t>(i)] - low)];
  }

  // Shrinking with BLACKONWHITE or WHITEONBLACK: every source pixel of the destination
  // pixel's block is combined.
  void GatherCombined(int row_from, int row_to, std::size_t col_index, int n) {
    const SourceSide& src = job_.source;
    for (int sy = row_from; sy < row_to; ++sy) {
      for (int i = 0; i < n; ++i) {
        const std::size_t c = col_index + static_cast<std::size_t>(i);
        std::uint32_t v = ReadValue(*src.surface, src.columns.from[c], sy);
        for (int sx = src.columns.from[c] + 1; sx < src.columns.to[c]; ++sx)
          Combine(v, ReadValue(*src.surface, sx, sy), src.combine);
        if (sy == row_from)
          out_[static_cast<std::size_t>(i)] = v;
        else
          Combine(out_[static_cast<std::size_t>(i)], v, src.combine);
      }
    }
  }

  const Job& job_;
  Converter* converter_;
  std::vector<std::uint32_t> out_;
  std::vector<std::uint32_t> line_;
};

// The destination's clip rectangles cut to the job's rectangle.
std::vector<RECT> ClipPieces(const Job& job) {
  std::vector<RECT> pieces;
  for (const RECT& r : job.target.clip->Rects()) {
    const RECT piece = IntersectRects(r, job.dest);
    if (!RectIsEmpty(piece)) pieces.push_back(piece);
  }
  return pieces;
}

// One source pixel per destination pixel, left to right, top to bottom.
bool Unstretched(const AxisMap& map) {
  return map.from.back() - map.from.front() == static_cast<int>(map.from.size()) - 1;
}

// Source values that need no conversion to be destination values of the same depth.
bool SameValues(const Job& job, const Converter& converter) {
  const int bits = job.target.surface->bits_per_pixel;
  return job.source.surface->bits_per_pixel == bits && (converter.Identity() || bits == 24);
}

// Copies and nearest-pixel stretches of 24 and 32 bits, and 32-bit fills, drawn by pixman
// where it gives the same pixels; false when the job is left to the row evaluator.
bool RunOnPixman(const Job& job, const Converter* converter, const std::vector<RECT>& pieces) {
  if (job.mask != nullptr) return false;
  const pixman_paths::Target target{job.target.surface, job.dest, &pieces};
  if (!job.has_source) return job.fore == 0xF0 && pixman_paths::Fill(target, job.pattern);
  const SourceSide& src = job.source;
  if (job.fore != 0xCC || src.combine != 0 || src.mirrored) return false;
  const int from = src.surface->bits_per_pixel, to = job.target.surface->bits_per_pixel;
  if (Unstretched(src.columns) && Unstretched(src.rows)) {
    const bool converts_alike = SameValues(job, *converter) || (from == 32 && to == 24);
    return converts_alike && pixman_paths::Copy(*src.surface, src.columns.from.front(), src.rows.from.front(), target);
  }
  if (src.snapshot || !SameValues(job, *converter)) return false;
  const pixman_paths::Stretch stretch{src.rect.left,
                                      src.rect.top,
                                      job.dest.left - job.unclipped.left,
                                      job.dest.top - job.unclipped.top,
                                      src.rect.right - src.rect.left,
                                      src.rect.bottom - src.rect.top,
                                      job.unclipped.right - job.unclipped.left,
                                      job.unclipped.bottom - job.unclipped.top};
  return pixman_paths::StretchCopy(*src.surface, stretch, target);
}

// The bytes of one pixel value repeated along a row: whole pixels for 8 bits and more, the
// value replicated through each byte below that.
std::vector<std::uint8_t> RepeatedValue(std::uint32_t value, int bits, std::size_t length) {
  std::vector<std::uint8_t> cycle;
  if (bits >= 8) {
    for (int i = 0; i < bits / 8; ++i) cycle.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  } else {
    std::uint8_t byte = 0;
    for (int shift = 0; shift < 8; shift += bits) byte = static_cast<std::uint8_t>(byte | (value & ((1u << bits) - 1)) << shift);
    cycle.push_back(byte);
  }
  std::vector<std::uint8_t> out(length);
  for (std::size_t i = 0; i < length; ++i) out[i] = cycle[i % cycle.size()];
  return out;
}

// Jobs whose rows can be worked as packed bytes: no mask, and a source (if any) of the same
// depth needing no conversion, read one pixel per destination pixel from the same bit position
// within a byte.
bool PackedRowsApply(const Job& job, const Converter* converter) {
  if (job.mask != nullptr) return false;
  if (!job.has_source) return true;
  const SourceSide& src = job.source;
  const int bits = job.target.surface->bits_per_pixel;
  const long long bit_shift = (static_cast<long long>(src.columns.from.front()) - job.dest.left) * bits;
  return src.combine == 0 && SameValues(job, *converter) && src.columns.from.size() > 1 &&
         Unstretched(src.columns) && bit_shift % 8 == 0;
}

// Runs the code over the packed bytes of each row piece, keeping the bits of neighbouring
// pixels that share the piece's first and last bytes.
class PackedRows {
 public:
  explicit PackedRows(const Job& job)
      : job_(job), bits_(job.target.surface->bits_per_pixel), rop_(RopBytesFor(job.fore)) {
    const std::size_t longest = static_cast<std::size_t>(job.dest.right - job.dest.left) * 4 + 8;
    pattern_ = RepeatedValue(job.pattern, bits_, longest);
    if (!job.has_source) zeros_.assign(longest, 0);
  }

  void Run(int y, int x, int n) {
    const std::size_t first_bit = static_cast<std::size_t>(x) * static_cast<std::size_t>(bits_);
    const std::size_t end_bit = first_bit + static_cast<std::size_t>(n) * static_cast<std::size_t>(bits_);
    const std::size_t count = (end_bit + 7) / 8 - first_bit / 8;
    std::uint8_t* d = job_.target.surface->Row(y) + first_bit / 8;
    const std::uint8_t head = d[0];
    const std::uint8_t tail = d[count - 1];
    if (job_.fore == 0xCC)
      std::memmove(d, SourceBytes(y, x), count);
    else
      rop_(d, job_.has_source ? SourceBytes(y, x) : zeros_.data(), pattern_.data(), count);
    const unsigned lead = first_bit % 8;
    const unsigned trail = end_bit % 8;
    if (lead != 0) d[0] = Merge(head, d[0], static_cast<std::uint8_t>(0xFF00u >> lead));
    if (trail != 0) d[count - 1] = Merge(tail, d[count - 1], static_cast<std::uint8_t>(0xFFu >> trail));
  }

 private:
  // Bits of `kept` where `keep` is 1, bits of `drawn` elsewhere.
  static std::uint8_t Merge(std::uint8_t kept, std::uint8_t drawn, std::uint8_t keep) {
    return static_cast<std::uint8_t>((kept & keep) | (drawn & ~keep));
  }
  const std::uint8_t* SourceBytes(int y, int x) const {
    const SourceSide& src = job_.source;
    const int sx = src.columns.from[static_cast<std::size_t>(x - job_.dest.left)];
    const int sy = src.rows.from[static_cast<std::size_t>(y - job_.dest.top)];
    return src.surface->Row(sy) + static_cast<std::size_t>(sx) * static_cast<std::size_t>(bits_) / 8;
  }

  const Job& job_;
  int bits_;
  RopBytes rop_;
  std::vector<std::uint8_t> pattern_;
  std::vector<std::uint8_t> zeros_;
};

// The general evaluator: rows as values, converted source, optional mask.
void RunRows(const Job& job, Converter* converter, const std::vector<RECT>& pieces) {
  const Surface& dest = *job.target.surface;
  SourceRows source_rows(job, converter);
  const int width = job.dest.right - job.dest.left;
  std::vector<std::uint32_t> pattern(static_cast<std::size_t>(width), job.pattern);
  std::vector<std::uint32_t> zeros(static_cast<std::size_t>(width), 0);
  std::vector<std::uint32_t> row(static_cast<std::size_t>(width));
  std::vector<std::uint32_t> back_row(static_cast<std::size_t>(width));
  const RopRow fore = RopRowFor(job.fore);
  const RopRow back = RopRowFor(job.back);
  const std::uint32_t value_mask = dest.ValueMask();
  for (const RECT& piece : pieces) {
    const int n = piece.right - piece.left;
    for (int y = piece.top; y < piece.bottom; ++y) {
      const std::uint32_t* s = job.has_source ? source_rows.Fetch(y, piece.left, n) : zeros.data();
      ReadRow(dest, y, piece.left, n, row.data());
      if (job.mask == nullptr) {
        fore(row.data(), s, pattern.data(), n);
      } else {
        std::copy_n(row.begin(), n, back_row.begin());
        fore(row.data(), s, pattern.data(), n);
        back(back_row.data(), s, pattern.data(), n);
        const int my = y + job.mask_offset.y;
        for (int i = 0; i < n; ++i) {
          if (ReadValue(*job.mask, piece.left + i + job.mask_offset.x, my) == 0)
            row[static_cast<std::size_t>(i)] = back_row[static_cast<std::size_t>(i)];
        }
      }
      if (value_mask != 0xFFFFFFFF)
        for (int i = 0; i < n; ++i) row[static_cast<std::size_t>(i)] &= value_mask;
      WriteRow(dest, y, piece.left, n, row.data());
    }
  }
}

// Unstretched copies of 8-bit palette pixels to 32 bits (a GIF or PNG frame drawn on screen):
// one table look-up per pixel instead of the general evaluator's passes over each row.
bool IndexedCopyApplies(const Job& job, const Converter* converter) {
  if (job.mask != nullptr || !job.has_source || job.fore != 0xCC) return false;
  const SourceSide& src = job.source;
  const std::vector<std::uint32_t>* table = converter->Table();
  return src.combine == 0 && src.surface->bits_per_pixel == 8 && job.target.surface->bits_per_pixel == 32 &&
         table != nullptr && table->size() == 256 && src.columns.from.size() > 1 &&
         Unstretched(src.columns);
}

void RunIndexedCopy(const Job& job, const Converter& converter, const std::vector<RECT>& pieces) {
  const std::uint32_t* table = converter.Table()->data();
  const SourceSide& src = job.source;
  for (const RECT& piece : pieces) {
    const auto n = static_cast<std::size_t>(piece.right - piece.left);
    const int sx = src.columns.from[static_cast<std::size_t>(piece.left - job.dest.left)];
    for (int y = piece.top; y < piece.bottom; ++y) {
      const std::uint8_t* s = src.surface->Row(src.rows.from[static_cast<std::size_t>(y - job.dest.top)]) + sx;
      std::uint8_t* d = job.target.surface->Row(y) + static_cast<std::size_t>(piece.left) * 4;
      for (std::size_t i = 0; i < n; ++i) std::memcpy(d + 4 * i, &table[s[i]], 4);
    }
  }
}

// Draws the job's pixels inside `pieces` (within the job's rectangle, not overlapping).
void RunPieces(const Job& job, Converter* converter, const std::vector<RECT>& pieces) {
  if (pieces.empty() || RunOnPixman(job, converter, pieces)) return;
  if (IndexedCopyApplies(job, converter)) {
    RunIndexedCopy(job, *converter, pieces);
    return;
  }
  if (PackedRowsApply(job, converter)) {
    PackedRows packed(job);
    for (const RECT& piece : pieces)
      for (int y = piece.top; y < piece.bottom; ++y) packed.Run(y, piece.left, piece.right - piece.left);
    return;
  }
  RunRows(job, converter, pieces);
}

void RunJob(const Job& job) {
  std::unique_ptr<Converter> converter;
  if (job.has_source)
    converter = std::make_unique<Converter>(*job.source.surface, *job.target.surface, job.source.bk_rgb,
                                            job.text_value, job.bk_value);
  RunPieces(job, converter.get(), ClipPieces(job));
}

// Destination [start, start + extent) with a negative extent meaning the pixels
// (start + extent, start], mirrored.
void Normalise(long long start, long long extent, LONG& from, LONG& to, bool& mirrored) {
  mirrored = extent < 0;
  if (extent < 0) {
    from = ClampCoordinate(start + extent + 1);
    to = ClampCoordinate(start + 1);
  } else {
    from = ClampCoordinate(start);
    to = ClampCoordinate(start + extent);
  }
}

struct BlitRequest {
  int x, y, width, height;
  const Surface* source = nullptr;  // surface coordinates below
  long long source_x = 0, source_y = 0;
  int source_width = 0, source_height = 0;
  std::uint32_t source_bk_rgb = 0xFFFFFF;
  std::uint8_t fore = 0, back = 0;
  const Surface* mask = nullptr;
  int mask_x = 0, mask_y = 0;
};

// The destination rectangle of a request in surface coordinates, corners ordered, and which
// axes it mirrors.
struct Destination {
  RECT unclipped{};
  bool mirror_x = false;
  bool mirror_y = false;
};

Destination NormaliseDestination(const BlitRequest& request, const DrawTarget& target) {
  Destination d;
  Normalise(static_cast<long long>(request.x) + target.offset.x, request.width, d.unclipped.left,
            d.unclipped.right, d.mirror_x);
  Normalise(static_cast<long long>(request.y) + target.offset.y, request.height, d.unclipped.top,
            d.unclipped.bottom, d.mirror_y);
  return d;
}

// Maps the job's destination pixels to source pixels and trims the destination to those whose
// source lies inside the source surface; false when none is left.
bool MapSource(const BlitRequest& request, int stretch_mode, const Destination& dest, Job& job) {
  LONG sx0, sx1, sy0, sy1;
  bool source_mirror_x = false;
  bool source_mirror_y = false;
  Normalise(request.source_x, request.source_width, sx0, sx1, source_mirror_x);
  Normalise(request.source_y, request.source_height, sy0, sy1, source_mirror_y);
  const RECT& unclipped = dest.unclipped;
  const int dest_w = unclipped.right - unclipped.left;
  const int dest_h = unclipped.bottom - unclipped.top;
  const bool shrink_x = sx1 - sx0 > dest_w;
  const bool shrink_y = sy1 - sy0 > dest_h;
  const bool combining = stretch_mode == BLACKONWHITE || stretch_mode == WHITEONBLACK;
  const int combine = combining && (shrink_x || shrink_y) ? stretch_mode : 0;
  job.has_source = true;
  job.source.surface = request.source;
  job.source.bk_rgb = request.source_bk_rgb;
  job.source.combine = combine;
  job.source.rect = RECT{sx0, sy0, sx1, sy1};
  job.source.mirrored = dest.mirror_x != source_mirror_x || dest.mirror_y != source_mirror_y;
  job.source.columns = MapAxis(dest_w, job.dest.left - unclipped.left, job.dest.right - job.dest.left, sx0,
                               sx1 - sx0, dest.mirror_x != source_mirror_x, combine != 0 && shrink_x);
  job.source.rows = MapAxis(dest_h, job.dest.top - unclipped.top, job.dest.bottom - job.dest.top, sy0,
                            sy1 - sy0, dest.mirror_y != source_mirror_y, combine != 0 && shrink_y);
  return TrimToSource(job.source.columns, request.source->width, job.dest.left, job.dest.right) &&
         TrimToSource(job.source.rows, request.source->height, job.dest.top, job.dest.bottom);
}

// Drops the first `skip` entries of a map and keeps `count`.
void TrimMap(AxisMap& map, std::size_t skip, std::size_t count) {
  const auto first = static_cast<std::ptrdiff_t>(skip);
  const auto last = static_cast<std::ptrdiff_t>(skip + count);
  map.from = std::vector<int>(map.from.begin() + first, map.from.begin() + last);
  map.to = std::vector<int>(map.to.begin() + first, map.to.begin() + last);
}

// Keeps only the part of the job's destination that the mask covers; false when none is left.
bool TrimToMask(const BlitRequest& request, const RECT& unclipped, Job& job) {
  job.mask = request.mask;
  job.mask_offset = POINT{request.mask_x - unclipped.left, request.mask_y - unclipped.top};
  const RECT covered{unclipped.left - request.mask_x, unclipped.top - request.mask_y,
                     unclipped.left - request.mask_x + request.mask->width,
                     unclipped.top - request.mask_y + request.mask->height};
  const RECT kept = IntersectRects(job.dest, covered);
  if (RectIsEmpty(kept)) return false;
  // Trimming the destination moves the start of the source maps with it.
  if (job.has_source) {
    TrimMap(job.source.columns, static_cast<std::size_t>(kept.left - job.dest.left),
            static_cast<std::size_t>(kept.right - kept.left));
    TrimMap(job.source.rows, static_cast<std::size_t>(kept.top - job.dest.top),
            static_cast<std::size_t>(kept.bottom - kept.top));
  }
  job.dest = kept;
  return true;
}

// Source rows a job reads, [first, last).
std::pair<int, int> SourceRowSpan(const AxisMap& rows) {
  return {*std::min_element(rows.from.begin(), rows.from.end()), *std::max_element(rows.to.begin(), rows.to.end())};
}

// A copy of the source rows a job reads when the job writes to the same pixels (scrolling),
// so that no row is read after it was overwritten. Rows the destination does not touch are not
// copied, and neither is anything when it touches none of them.
class SelfBlitSnapshot {
 public:
  explicit SelfBlitSnapshot(Job& job) {
    const Surface& source = *job.source.surface;
    if (source.bits != job.target.surface->bits) return;
    const auto [first, last] = SourceRowSpan(job.source.rows);
    if (last <= job.dest.top || first >= job.dest.bottom) return;
    copy_ = source;
    copy_.top_down = true;
    copy_.height = last - first;
    copy_.stride = std::abs(source.stride);
    rows_.resize(static_cast<std::size_t>(copy_.stride) * static_cast<std::size_t>(copy_.height));
    for (int y = first; y < last; ++y)
      std::memcpy(rows_.data() + static_cast<std::size_t>(y - first) * static_cast<std::size_t>(copy_.stride),
                  source.Row(y), static_cast<std::size_t>(copy_.stride));
    copy_.bits = rows_.data();
    for (int& row : job.source.rows.from) row -= first;
    for (int& row : job.source.rows.to) row -= first;
    job.source.surface = &copy_;
    job.source.snapshot = true;
  }

 private:
  Surface copy_;
  std::vector<std::uint8_t> rows_;
};

// Builds and runs the job on the destination context; false for an invalid request.
bool Blit(DeviceContext& dc, const BlitRequest& request) {
  if (request.width == 0 || request.height == 0) return false;
  Job job;
  job.target = dc.Target();
  if (job.target.surface == nullptr || job.target.surface->bits == nullptr) return true;
  job.fore = request.fore;
  job.back = request.back;
  const bool needs_pattern = RopUsesPattern(job.fore) || (request.mask && RopUsesPattern(job.back));
  if (needs_pattern && !BrushValue(dc, dc.state.brush.get(), &job.pattern)) return true;
  job.text_value = dc.ValueOf(dc.state.text_colour);
  job.bk_value = dc.ValueOf(dc.state.bk_colour);

  const Destination dest = NormaliseDestination(request, job.target);
  job.unclipped = dest.unclipped;
  // Only the part inside the clip is mapped, so a huge request costs no more than the clip.
  job.dest = IntersectRects(dest.unclipped, job.target.clip->Bounds());
  if (RectIsEmpty(job.dest)) return true;
  if (request.source != nullptr) {
    if (request.source_width == 0 || request.source_height == 0) return false;
    if (!MapSource(request, dc.state.stretch_mode, dest, job)) return true;
  }
  if (request.mask != nullptr && !TrimToMask(request, dest.unclipped, job)) return true;
  std::optional<SelfBlitSnapshot> snapshot;
  if (job.has_source) snapshot.emplace(job);
  RunJob(job);
  return true;
}

const Surface* SourceSurface(DeviceContext& source, POINT* offset) {
  const DrawTarget t = source.Target();
  *offset = t.offset;
  if (t.surface == nullptr || t.surface->bits == nullptr) return nullptr;
  return t.surface;
}

// Points the request at the surface of the source context, from (x, y) in its logical
// coordinates; false when the source is no context or has no pixels.
bool SetSource(BlitRequest& request, HDC source, int x, int y, int width, int height) {
  auto src = BorrowDC(source);
  if (!src) return false;
  POINT offset;
  request.source = SourceSurface(*src, &offset);
  if (request.source == nullptr) return false;
  request.source_x = static_cast<long long>(x) + offset.x;
  request.source_y = static_cast<long long>(y) + offset.y;
  request.source_width = width;
  request.source_height = height;
  request.source_bk_rgb = RgbFromColorref(src->ResolveColour(src->state.bk_colour));
  return true;
}

}  // namespace

RECT ToSurface(const DrawTarget& target, int left, int top, int right, int bottom) {
  RECT r{ClampCoordinate(static_cast<long long>(left) + target.offset.x),
         ClampCoordinate(static_cast<long long>(top) + target.offset.y),
         ClampCoordinate(static_cast<long long>(right) + target.offset.x),
         ClampCoordinate(static_cast<long long>(bottom) + target.offset.y)};
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  return r;
}

bool BrushValue(const DeviceContext& dc, const BrushObject* brush, std::uint32_t* value) {
  if (brush == nullptr || brush->brush.lbStyle != BS_SOLID) return false;
  *value = dc.ValueOf(brush->brush.lbColor);
  return true;
}

bool BrushFromHandle(HBRUSH handle, std::shared_ptr<BrushObject>* brush) {
  const auto raw = reinterpret_cast<std::uintptr_t>(handle);
  if (raw >= 1 && raw <= 31) {
    auto object = std::make_shared<BrushObject>();
    object->brush = LOGBRUSH{BS_SOLID, SystemColour(static_cast<int>(raw) - 1), 0};
    *brush = std::move(object);
    return true;
  }
  *brush = FindAs<BrushObject>(handle);
  return *brush != nullptr;
}

void PaintRegion(const DrawTarget& target, const Region& shape, std::uint8_t code,
                 std::uint32_t pattern, const PatternFn& pattern_fn) {
  if (target.surface == nullptr || target.surface->bits == nullptr) return;
  const Region area = Region::Combine(shape, *target.clip, Region::Op::kAnd);
  if (!pattern_fn) {
    Job job;
    job.target = target;
    job.dest = job.unclipped = area.Bounds();
    job.fore = job.back = code;
    job.pattern = pattern;
    RunPieces(job, nullptr, area.Rects());
    return;
  }
  const Surface& dest = *target.surface;
  const RopRow rop = RopRowFor(code);
  const std::uint32_t value_mask = dest.ValueMask();
  std::vector<std::uint32_t> row;
  std::vector<std::uint32_t> pat;
  std::vector<std::uint32_t> zeros;
  for (const RECT& r : area.Rects()) {
    const int n = r.right - r.left;
    row.resize(static_cast<std::size_t>(n));
    zeros.assign(static_cast<std::size_t>(n), 0);
    pat.resize(static_cast<std::size_t>(n));
    for (int y = r.top; y < r.bottom; ++y) {
      pattern_fn(y, r.left, n, pat.data());
      ReadRow(dest, y, r.left, n, row.data());
      rop(row.data(), zeros.data(), pat.data(), n);
      if (value_mask != 0xFFFFFFFF)
        for (auto& v : row) v &= value_mask;
      WriteRow(dest, y, r.left, n, row.data());
    }
  }
}

}  // namespace win::gdi

namespace win {

using namespace win::gdi;

BOOL PatBlt(HDC dest, int x, int y, int width, int height, DWORD rop) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(dest);
  const std::uint8_t code = RopCode(rop);
  if (!dc || RopUsesSource(code)) return FALSE;
  BlitRequest request{x, y, width, height};
  request.fore = request.back = code;
  return Blit(*dc, request) ? TRUE : FALSE;
}

BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int source_x,
                int source_y, int source_width, int source_height, DWORD rop) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(dest);
  const std::uint8_t code = RopCode(rop);
  if (!dc) return FALSE;
  BlitRequest request{x, y, width, height};
  request.fore = request.back = code;
  if (RopUsesSource(code) && !SetSource(request, source, source_x, source_y, source_width, source_height))
    return FALSE;
  return Blit(*dc, request) ? TRUE : FALSE;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int source_x, int source_y,
            DWORD rop) {
  return StretchBlt(dest, x, y, width, height, source, source_x, source_y, width, height, rop);
}

BOOL MaskBlt(HDC dest, int x, int y, int width, int height, HDC source, int source_x, int source_y,
             HBITMAP mask, int mask_x, int mask_y, DWORD rop4) {
  EngineLock lock = LockEngine();
  if (mask == nullptr) return BitBlt(dest, x, y, width, height, source, source_x, source_y, rop4 & 0xFFFFFF);
  auto dc = BorrowDC(dest);
  const auto* mask_bitmap = BorrowAs<BitmapObject>(mask);
  if (!dc || !mask_bitmap || mask_bitmap->surface.bits_per_pixel != 1 || width <= 0 || height <= 0)
    return FALSE;
  BlitRequest request{x, y, width, height};
  request.fore = RopCode(rop4);
  request.back = static_cast<std::uint8_t>(rop4 >> 24);
  const bool uses_source = RopUsesSource(request.fore) || RopUsesSource(request.back);
  if (uses_source && !SetSource(request, source, source_x, source_y, width, height)) return FALSE;
  request.mask = &mask_bitmap->surface;
  request.mask_x = mask_x;
  request.mask_y = mask_y;
  return Blit(*dc, request) ? TRUE : FALSE;
}

int StretchDIBits(HDC dest, int x, int y, int width, int height, int source_x, int source_y,
                  int source_width, int source_height, LPCVOID bits, const BITMAPINFO* info,
                  UINT usage, DWORD rop) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(dest);
  if (!dc || info == nullptr || usage != DIB_RGB_COLORS) return 0;
  const std::uint8_t code = RopCode(rop);
  BlitRequest request{x, y, width, height};
  request.fore = request.back = code;
  Surface image;
  if (RopUsesSource(code)) {
    if (bits == nullptr || !DescribeDib(info->bmiHeader, &image)) return 0;
    image.colour_table = ReadColourTable(info, image.bits_per_pixel);
    image.bits = static_cast<std::uint8_t*>(const_cast<void*>(bits));  // read only
    request.source = &image;
    // Bottom-up images count source_y from their last row.
    const long long top =
        image.top_down ? source_y : static_cast<long long>(image.height) - source_y - source_height;
    request.source_x = source_x;
    request.source_y = top;
    request.source_width = source_width;
    request.source_height = source_height;
    request.source_bk_rgb = RgbFromColorref(dc->ResolveColour(dc->state.bk_colour));
  }
  if (!Blit(*dc, request)) return 0;
  return std::abs(source_height == 0 ? height : source_height);
}

}  // namespace win
