// Encoding the image data: each row of the header's buffers is turned back into PNG samples,
// given the row filter that the picture's Filters allow and that scores best, deflated, and
// written as IDAT chunks of at most MaxIdatSize bytes.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <span>

#include "components/imaging/png/png_chunks.h"
#include "components/imaging/png/png_passes.h"
#include "components/imaging/png/png_picture.h"

namespace dashtune {
namespace {

[[noreturn]] void ZlibError(int result) {
  png::RaiseError<EPNGZLIBError>(std::string(png::EPNGZLIBErrorText) + std::string(png::ZLibResultName(result)));
}

// Deflates into an output buffer of at most MaxIdatSize bytes and writes each full buffer as one
// IDAT chunk, the rest as a last one when the stream is finished. The window and the buffer are
// sized for the data: a small picture then neither allocates nor touches memory it cannot use.
class IdatWriter {
 public:
  IdatWriter(TStream* stream, int level, std::size_t max_idat, std::size_t data_size) : stream_(stream) {
    const int result = deflateInit2(&zlib_, level, Z_DEFLATED, WindowBits(data_size), 8, Z_DEFAULT_STRATEGY);
    if (result != Z_OK) ZlibError(result);
    output_size_ = std::min<std::size_t>(max_idat, deflateBound(&zlib_, data_size));
    output_ = std::make_unique_for_overwrite<std::uint8_t[]>(output_size_);
    ResetOutput();
  }
  ~IdatWriter() { deflateEnd(&zlib_); }
  IdatWriter(const IdatWriter&) = delete;
  IdatWriter& operator=(const IdatWriter&) = delete;

  void Write(const std::uint8_t* data, std::size_t count) {
    zlib_.next_in = const_cast<Bytef*>(data);
    zlib_.avail_in = static_cast<uInt>(count);
    while (zlib_.avail_in > 0) {
      const int result = deflate(&zlib_, Z_NO_FLUSH);
      if (result < 0 && result != Z_BUF_ERROR) ZlibError(result);
      if (zlib_.avail_out == 0) FlushOutput();
    }
  }

  void Finish() {
    for (;;) {
      const int result = deflate(&zlib_, Z_FINISH);
      if (result == Z_STREAM_END) break;
      if (result < 0 && result != Z_BUF_ERROR) ZlibError(result);
      if (zlib_.avail_out == 0) FlushOutput();
    }
    if (zlib_.avail_out < output_size_) FlushOutput();
  }

 private:
  // The smallest window, as zlib allows from 2^9 bytes, that still reaches back over the whole
  // data with zlib's lookahead to spare: every match a full window finds is still found.
  static int WindowBits(std::size_t data_size) {
    constexpr std::size_t kLookahead = 262;
    int bits = 15;
    while (bits > 9 && data_size + kLookahead <= (std::size_t{1} << (bits - 1))) --bits;
    return bits;
  }

  void ResetOutput() {
    zlib_.next_out = output_.get();
    zlib_.avail_out = static_cast<uInt>(output_size_);
  }
  void FlushOutput() {
    png::WriteChunk(stream_, {'I', 'D', 'A', 'T'}, output_.get(), output_size_ - zlib_.avail_out);
    ResetOutput();
  }

  TStream* stream_;
  z_stream zlib_{};
  std::size_t output_size_ = 0;
  std::unique_ptr<std::uint8_t[]> output_;
};

// The sample bytes of one image row: the header's planes, with null for a plane it does not have.
struct SourceRow {
  const std::uint8_t* image;
  const std::uint8_t* extra;        // low bytes of 16-bit samples, laid out like image
  const std::uint8_t* alpha;
  const std::uint8_t* extra_alpha;  // low bytes of 16-bit alpha

  SourceRow(const TChunkIHDR& h, std::size_t y)
      : image(h.ImageRow(y)),
        extra(h.ExtraImageData.empty() ? nullptr : h.ExtraRow(y)),
        alpha(h.ImageAlpha.empty() ? nullptr : h.AlphaRow(y)),
        extra_alpha(h.ExtraAlpha.empty() ? nullptr : h.ExtraAlphaRow(y)) {}
};

// Writes a sample of 8 or 16 bits; a 16-bit sample takes its low byte from the low-byte plane
// (0 where there is none).
inline void PutSample(std::uint8_t* d, bool wide, std::uint8_t high, const std::uint8_t* low, std::size_t at) {
  d[0] = high;
  if (wide) d[1] = low != nullptr ? low[at] : 0;
}

// The same for a colour sample, both bytes through the inverse gamma table as they were read
// through the gamma table.
inline void PutColor(std::uint8_t* d, bool wide, const std::array<std::uint8_t, 256>& inverse, std::uint8_t high,
                     const std::uint8_t* low, std::size_t at) {
  d[0] = inverse[high];
  if (wide) d[1] = low != nullptr ? inverse[low[at]] : 0;
}

// Keeps a truecolour pixel that is not the transparent colour from being written as it. Where the
// gamma table merges levels, a colour written back through the inverse table can land on the
// key's written samples although the pixel was not the key; such a pixel gets, in one sample,
// another level that the gamma table maps onto the same colour, so that it reloads as it drew.
class KeyGuard {
 public:
  KeyGuard(const TPNGPicture& picture, const TChunkIHDR& header) {
    const auto* trns = picture.GetChunks().ItemFromClass<TChunktRNS>();
    if (header.ColorType != png::kColorTypeTruecolor || trns == nullptr || trns->GetDataSize() < 6) return;
    const auto& gamma = picture.GammaTable;
    bool identity = true;
    for (std::size_t v = 0; v < 256; ++v) identity = identity && gamma[v] == v;
    if (identity) return;  // every pixel is written as it was read
    const std::array<std::uint8_t, 6> key = trns->WrittenTruecolorKey();
    const bool wide = header.BitDepth == 16;
    // An 8-bit sample is the low byte of the key's 16-bit value: a high byte other than 0 is no key.
    if (!wide && (key[0] | key[2] | key[4]) != 0) return;
    pixel_bytes_ = wide ? 6 : 3;
    for (std::size_t i = 0; i < pixel_bytes_; ++i) key_[i] = wide ? key[i] : key[2 * i + 1];
    mask_ = picture.TransparentKeyMask();
    mask_row_bytes_ = header.KeyMaskRowBytes();
    for (std::size_t v = 0; v < 256; ++v) {
      same_colour_[v] = -1;
      for (std::size_t i = 0; i < 256 && same_colour_[v] < 0; ++i)
        if (i != v && gamma[i] == gamma[v]) same_colour_[v] = static_cast<std::int16_t>(i);
    }
  }

  // pixel: the written samples of image pixel (x, y).
  void Apply(std::uint8_t* pixel, std::size_t y, std::size_t x) const {
    if (pixel_bytes_ == 0 || !std::equal(pixel, pixel + pixel_bytes_, key_.begin())) return;
    if (mask_[mask_row_bytes_ * y + x / 8] & (0x80u >> (x % 8))) return;
    for (std::size_t i = 0; i < pixel_bytes_; ++i) {
      if (same_colour_[pixel[i]] >= 0) {
        pixel[i] = static_cast<std::uint8_t>(same_colour_[pixel[i]]);
        return;
      }
    }
    // A colour set into the image that no stored sample gives: it cannot reload as it was, but
    // it stays opaque.
    pixel[pixel_bytes_ - 1] ^= 1;
  }

 private:
  std::size_t pixel_bytes_ = 0;  // 0: no pixel needs guarding
  std::array<std::uint8_t, 6> key_{};
  std::vector<std::uint8_t> mask_;
  std::size_t mask_row_bytes_ = 0;
  std::array<std::int16_t, 256> same_colour_{};  // another level of the same colour, or -1
};

// Writes the pixels of image row y that a pass covers as PNG samples into raw.
void ConvertRow(const TChunkIHDR& h, const std::array<std::uint8_t, 256>& inverse, const KeyGuard& guard,
                std::size_t y, const png::Pass& p, std::size_t pixels, std::uint8_t* raw, std::size_t row_bytes) {
  const SourceRow src(h, y);
  const bool wide = h.BitDepth == 16;
  const std::size_t sample = wide ? 2 : 1;
  std::memset(raw, 0, row_bytes);
  const auto x_of = [&](std::size_t k) { return p.column_start + k * p.column_step; };
  switch (h.ColorType) {
    case png::kColorTypeGray:
    case png::kColorTypeIndexed:
      if (wide) {
        for (std::size_t k = 0; k < pixels; ++k) PutSample(raw + 2 * k, true, src.image[x_of(k)], src.extra, x_of(k));
      } else if (p.column_step == 1) {
        std::memcpy(raw, src.image, row_bytes);
      } else {
        const int bits = h.WrittenBitDepth();
        for (std::size_t k = 0; k < pixels; ++k)
          png::PutPacked(raw, k, bits, png::GetPacked(src.image, x_of(k), bits));
      }
      break;
    case png::kColorTypeTruecolor:
    case png::kColorTypeTruecolorAlpha: {
      const bool has_alpha = h.ColorType == png::kColorTypeTruecolorAlpha;
      const std::size_t channels = has_alpha ? 4 : 3;
      for (std::size_t k = 0; k < pixels; ++k) {
        const std::size_t x = x_of(k);
        const std::uint8_t* s = src.image + 3 * x;
        std::uint8_t* d = raw + channels * sample * k;
        // The image holds blue, green, red; the file red, green, blue.
        PutColor(d, wide, inverse, s[2], src.extra, 3 * x + 2);
        PutColor(d + sample, wide, inverse, s[1], src.extra, 3 * x + 1);
        PutColor(d + 2 * sample, wide, inverse, s[0], src.extra, 3 * x);
        if (has_alpha)
          PutSample(d + 3 * sample, wide, src.alpha[x], src.extra_alpha, x);
        else
          guard.Apply(d, y, x);
      }
      break;
    }
    case png::kColorTypeGrayAlpha:
      for (std::size_t k = 0; k < pixels; ++k) {
        const std::size_t x = x_of(k);
        PutSample(raw + 2 * sample * k, wide, src.image[x], src.extra, x);
        PutSample(raw + 2 * sample * k + sample, wide, src.alpha[x], src.extra_alpha, x);
      }
      break;
    default:
      break;
  }
}

// Positions from 2 on whose byte repeats one of the two bytes before it.
std::size_t Score(const std::uint8_t* row, std::size_t length) {
  std::size_t score = 0;
  for (std::size_t i = 2; i < length; ++i) score += (row[i] == row[i - 1] || row[i] == row[i - 2]) ? 1 : 0;
  return score;
}

// The picture's filter set names the file's filter types in their own order.
static_assert(filterNone == png::kFilterNone && filterSub == png::kFilterSub && filterUp == png::kFilterUp &&
              filterAverage == png::kFilterAverage && filterPaeth == png::kFilterPaeth);

// Each row buffer holds the filter type byte and then the filtered row, so that a row goes to
// zlib as one piece, as it stands in the data.
class RowFilter {
 public:
  RowFilter(TFilters filters, std::size_t row_bytes, std::size_t offset)
      : filters_(filters), offset_(offset), previous_(row_bytes + 1) {
    for (int f = filterSub; f <= filterPaeth; ++f)
      if (filters_.Contains(static_cast<TFilter>(f))) {
        rows_[static_cast<std::size_t>(f)].resize(row_bytes + 1);
        rows_[static_cast<std::size_t>(f)][0] = static_cast<std::uint8_t>(f);
      }
  }

  void StartPass() { std::fill(previous_.begin(), previous_.end(), 0); }

  // Filters raw (length bytes) and answers the filter type byte followed by its row; raw becomes
  // the prior row.
  std::span<const std::uint8_t> Encode(const std::uint8_t* r, std::size_t length) {
    const std::uint8_t* p = previous_.data() + 1;
    const std::size_t o = offset_;
    if (!rows_[filterSub].empty()) {
      std::uint8_t* out = rows_[filterSub].data() + 1;
      for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<std::uint8_t>(r[i] - (i >= o ? r[i - o] : 0));
    }
    if (!rows_[filterUp].empty()) {
      std::uint8_t* out = rows_[filterUp].data() + 1;
      for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<std::uint8_t>(r[i] - p[i]);
    }
    if (!rows_[filterAverage].empty()) {
      std::uint8_t* out = rows_[filterAverage].data() + 1;
      for (std::size_t i = 0; i < length; ++i)
        out[i] = static_cast<std::uint8_t>(r[i] - (((i >= o ? r[i - o] : 0) + p[i]) >> 1));
    }
    if (!rows_[filterPaeth].empty()) {
      std::uint8_t* out = rows_[filterPaeth].data() + 1;
      for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t left = i >= o ? r[i - o] : 0;
        const std::uint8_t upper_left = i >= o ? p[i - o] : 0;
        out[i] = static_cast<std::uint8_t>(r[i] - png::PaethPredictor(left, p[i], upper_left));
      }
    }
    std::memcpy(previous_.data() + 1, r, length);
    const std::uint8_t chosen = Choose(length);
    return {chosen == 0 ? previous_.data() : rows_[chosen].data(), length + 1};
  }

 private:
  std::uint8_t Choose(std::size_t length) const {
    if (filters_.Empty() || filters_ == TFilters{filterNone}) return 0;
    std::uint8_t best = 0;
    std::size_t best_score = 0;
    for (int f = filterNone; f <= filterPaeth; ++f) {
      const auto filter = static_cast<TFilter>(f);
      if (!filters_.Contains(filter)) continue;
      if (filters_ == TFilters{filter}) return static_cast<std::uint8_t>(f);
      const std::uint8_t* row = f == 0 ? previous_.data() : rows_[static_cast<std::size_t>(f)].data();
      const std::size_t score = Score(row + 1, length);
      if (score > best_score) {
        best = static_cast<std::uint8_t>(f);
        best_score = score;
      }
    }
    return best;
  }

  TFilters filters_;
  std::size_t offset_;
  std::vector<std::uint8_t> previous_;  // type byte 0 (no filter), then the prior raw row
  std::array<std::vector<std::uint8_t>, 5> rows_;
};

// The passes a picture is written in.
std::span<const png::Pass> PassesOf(bool interlaced) {
  return interlaced ? std::span<const png::Pass>(png::kAdam7) : std::span<const png::Pass>(&png::kNoInterlace, 1);
}

// Bytes of the filtered image data: each row of each pass with a filter type byte before it.
std::size_t FilteredSize(const TChunkIHDR& h, std::span<const png::Pass> passes) {
  std::size_t size = 0;
  for (const png::Pass& p : passes) {
    const std::size_t row_bytes = png::BytesForPixels(png::PassWidth(p, h.Width), h.ColorType, h.WrittenBitDepth());
    if (row_bytes != 0) size += png::PassHeight(p, h.Height) * (row_bytes + 1);
  }
  return size;
}

}  // namespace

bool TChunkIDAT::SaveToStream(TStream* Stream) {
  TChunkIHDR* header = Header();
  TPNGPicture* owner = GetOwner();
  const std::size_t width = header->Width;
  const std::size_t height = header->Height;
  const std::uint8_t depth = header->WrittenBitDepth();
  const std::size_t full_row = png::BytesForPixels(width, header->ColorType, depth);
  const std::size_t offset = png::FilterOffset(header->ColorType, depth);
  const KeyGuard guard(*owner, *header);
  const auto passes = PassesOf(owner->GetInterlaceMethod() == png::kInterlaceAdam7);
  std::vector<std::uint8_t> raw(full_row);
  RowFilter filter(owner->GetFilters(), full_row, offset);
  IdatWriter writer(Stream, owner->GetCompressionLevel(), static_cast<std::size_t>(owner->GetMaxIdatSize()),
                    FilteredSize(*header, passes));

  for (const png::Pass& p : passes) {
    const std::size_t pixels = png::PassWidth(p, width);
    const std::size_t row_bytes = png::BytesForPixels(pixels, header->ColorType, depth);
    if (row_bytes == 0) continue;
    filter.StartPass();
    for (std::size_t y = p.row_start; y < height; y += p.row_step) {
      ConvertRow(*header, owner->InverseGamma, guard, y, p, pixels, raw.data(), row_bytes);
      const auto row = filter.Encode(raw.data(), row_bytes);
      writer.Write(row.data(), row.size());
    }
  }
  writer.Finish();
  return true;
}

}  // namespace dashtune
