// Decoding the image data: the zlib stream that runs through consecutive IDAT chunks is inflated
// row by row, unfiltered and copied into the header's buffers for its colour type and depth.
#include <zlib.h>

// The SSE2 blocks; a portable build (DASHTUNE_PORTABLE) runs the scalar paths instead.
#if defined(__SSE2__) && !defined(DASHTUNE_PORTABLE)
#define DASHTUNE_PNG_SSE2 1
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>

#include "components/imaging/png/png_chunks.h"
#include "components/imaging/png/png_passes.h"
#include "components/imaging/png/png_picture.h"

namespace dashtune {
namespace {

constexpr std::size_t kInputBlock = 65535;
// Inflated bytes decoded at a time (at least one row).
constexpr std::size_t kBatchBytes = 16 * 1024;

[[noreturn]] void ZlibError(int result) {
  png::RaiseError<EPNGZLIBError>(std::string(png::EPNGZLIBErrorText) + std::string(png::ZLibResultName(result)));
}

// The inflated bytes of the image data, read through as many IDAT chunks as the zlib stream
// needs, with every chunk's CRC checked.
class IdatStream {
 public:
  IdatStream(TStream* stream, std::uint32_t first_size)
      : stream_(stream),
        input_(std::make_unique_for_overwrite<std::uint8_t[]>(kInputBlock)),
        left_in_chunk_(first_size) {
    if (inflateInit(&zlib_) != Z_OK) ZlibError(Z_MEM_ERROR);
  }
  ~IdatStream() { inflateEnd(&zlib_); }
  IdatStream(const IdatStream&) = delete;
  IdatStream& operator=(const IdatStream&) = delete;

  // Fills count bytes; answers fewer when the stream itself has no more bytes or when a failure
  // stopped it. A failure is kept for Rethrow, so that the rows finished before it are kept.
  std::size_t Read(std::uint8_t* out, std::size_t count) {
    zlib_.next_out = out;
    zlib_.avail_out = static_cast<uInt>(count);
    try {
      while (zlib_.avail_out > 0) {
        // Inflate can make no more progress once the stream has ended: a row is still missing.
        if (ended_) ZlibError(Z_STREAM_END);
        if (zlib_.avail_in == 0 && !FillInput()) break;
        const uInt space = zlib_.avail_out;
        const int result = inflate(&zlib_, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
          ended_ = true;
        } else if (result == Z_NEED_DICT || result < 0) {
          failed_after_output_ = zlib_.avail_out < space;
          ZlibError(result);
        }
      }
    } catch (...) {
      failure_ = std::current_exception();
    }
    return count - zlib_.avail_out;
  }

  bool Failed() const { return failure_ != nullptr; }

  // Inflating a row at a time, a fault that inflate finds in the same step that ends a row
  // fails the read of that row: such a row is not shown.
  bool FailedAtEndOfOutput() const { return failure_ != nullptr && failed_after_output_; }

  void Rethrow() const {
    if (failure_) std::rethrow_exception(failure_);
  }

  // Reads what is left of the current chunk (the zlib stream may end before it) and its CRC.
  void Finish() {
    while (left_in_chunk_ > 0) {
      const std::size_t step = std::min<std::size_t>(left_in_chunk_, kInputBlock);
      png::ReadExact(stream_, input_.get(), step);
      crc_ = png::UpdateCrc(crc_, input_.get(), step);
      left_in_chunk_ -= static_cast<std::uint32_t>(step);
    }
    CheckCrc();
  }

 private:
  bool FillInput() {
    while (left_in_chunk_ == 0) NextChunk();
    const int want = static_cast<int>(std::min<std::size_t>(left_in_chunk_, kInputBlock));
    const int got = stream_->Read(input_.get(), want);
    if (got <= 0) return false;
    crc_ = png::UpdateCrc(crc_, input_.get(), static_cast<std::size_t>(got));
    left_in_chunk_ -= static_cast<std::uint32_t>(got);
    zlib_.next_in = input_.get();
    zlib_.avail_in = static_cast<uInt>(got);
    return true;
  }

  void CheckCrc() {
    if (png::ReadBigEndian32(stream_) != ~crc_) png::RaiseError<EPngInvalidCRC>(png::EPNGInvalidCRCText);
  }

  void NextChunk() {
    CheckCrc();
    const std::uint32_t length = png::ReadBigEndian32(stream_);
    char name[4];
    png::ReadExact(stream_, name, 4);
    if (std::memcmp(name, "IDAT", 4) != 0) png::RaiseError<EPNGMissingMultipleIDAT>(png::EPNGMissingMultipleIDATText);
    png::CheckChunkLength(stream_, length);
    crc_ = png::UpdateCrc(0xFFFFFFFFu, "IDAT", 4);
    left_in_chunk_ = length;
  }

  TStream* stream_;
  z_stream zlib_{};
  std::unique_ptr<std::uint8_t[]> input_;
  std::uint32_t left_in_chunk_;
  std::uint32_t crc_ = png::UpdateCrc(0xFFFFFFFFu, "IDAT", 4);
  bool ended_ = false;
  bool failed_after_output_ = false;
  std::exception_ptr failure_;
};

// Byte-wise sums modulo 256 of a whole word at once.
template <typename Word>
inline Word AddBytes(Word a, Word b) {
  constexpr Word kLow = static_cast<Word>(0x7F7F7F7F7F7F7F7Full);
  constexpr Word kHigh = static_cast<Word>(0x8080808080808080ull);
  return ((a & kLow) + (b & kLow)) ^ ((a ^ b) & kHigh);
}

// The Sub filter of pixels of two, four or eight bytes, a pixel per step.
template <std::size_t kBytes>
void SubPixels(std::uint8_t* r, std::size_t length) {
#if defined(DASHTUNE_PNG_SSE2)
  if constexpr (kBytes >= 4) {
    __m128i left = _mm_setzero_si128();
    for (std::size_t i = 0; i + kBytes <= length; i += kBytes) {
      if constexpr (kBytes == 4) {
        std::int32_t v;
        std::memcpy(&v, r + i, 4);
        left = _mm_add_epi8(left, _mm_cvtsi32_si128(v));
        v = _mm_cvtsi128_si32(left);
        std::memcpy(r + i, &v, 4);
      } else {
        left = _mm_add_epi8(left, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(r + i)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(r + i), left);
      }
    }
    return;
  }
#endif
  using Word = std::conditional_t<(kBytes > 4), std::uint64_t, std::uint32_t>;
  Word left = 0;
  for (std::size_t i = 0; i + kBytes <= length; i += kBytes) {
    Word value = 0;
    std::memcpy(&value, r + i, kBytes);
    left = AddBytes(value, left);
    std::memcpy(r + i, &left, kBytes);
  }
}

// The Sub filter of one-, three- and six-byte pixels, with the running sums held in registers.
template <std::size_t kBytes>
void SubBytes(std::uint8_t* r, std::size_t length) {
  std::array<std::uint8_t, kBytes> left{};
  for (std::size_t i = 0; i + kBytes <= length; i += kBytes) {
    for (std::size_t j = 0; j < kBytes; ++j) {
      left[j] = static_cast<std::uint8_t>(left[j] + r[i + j]);
      r[i + j] = left[j];
    }
  }
}

// The Average filter, with the bytes of the pixel to the left held in registers.
template <std::size_t kBytes>
void AveragePixels(std::uint8_t* r, const std::uint8_t* p, std::size_t length) {
  std::array<std::uint8_t, kBytes> left{};
  for (std::size_t i = 0; i + kBytes <= length; i += kBytes) {
    for (std::size_t j = 0; j < kBytes; ++j) {
      left[j] = static_cast<std::uint8_t>(r[i + j] + ((left[j] + p[i + j]) >> 1));
      r[i + j] = left[j];
    }
  }
}

#if defined(DASHTUNE_PNG_SSE2)
// A pixel of kBytes bytes as the low bytes of a register, and back. Assembled byte by byte: a
// copy into a wider variable would go through memory, and reading that back as one word waits
// for the narrower stores before it.
template <std::size_t kBytes>
inline std::uint64_t LoadPixel(const std::uint8_t* from) {
  std::uint64_t v = 0;
  for (std::size_t k = 0; k < kBytes; ++k) v |= std::uint64_t{from[k]} << (8 * k);
  return v;
}

template <std::size_t kBytes>
inline void StorePixel(std::uint8_t* to, std::uint64_t v) {
  for (std::size_t k = 0; k < kBytes; ++k) to[k] = static_cast<std::uint8_t>(v >> (8 * k));
}

// The Paeth filter with the bytes of a pixel (one to eight) side by side in 16-bit lanes; the
// choice follows the standard's order of preference (left, above, upper left). Each pixel waits
// for the one to its left, so only the work that needs it stands between two pixels: the
// distance to the pixel above, and above against upper left, are known before.
template <std::size_t kBytes>
void PaethPixels(std::uint8_t* r, const std::uint8_t* p, std::size_t length) {
  const __m128i zero = _mm_setzero_si128();
  const auto load = [&](const std::uint8_t* from) {
    return _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(LoadPixel<kBytes>(from))), zero);
  };
  const auto absolute = [&](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
  __m128i a = zero, c = zero;
  for (std::size_t i = 0; i + kBytes <= length; i += kBytes) {
    const __m128i b = load(p + i);
    const __m128i x = load(r + i);
    const __m128i to_b = _mm_sub_epi16(b, c);
    const __m128i pa = absolute(to_b);
    const __m128i b_xor_c = _mm_xor_si128(b, c);
    const __m128i to_a = _mm_sub_epi16(a, c);
    const __m128i pb = absolute(to_a);
    const __m128i pc = absolute(_mm_add_epi16(to_b, to_a));
    // Not a when pa exceeds pb or pc; then c when pb exceeds pc, else b.
    const __m128i not_a = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
    const __m128i b_or_c = _mm_xor_si128(c, _mm_andnot_si128(_mm_cmpgt_epi16(pb, pc), b_xor_c));
    const __m128i nearest = _mm_xor_si128(a, _mm_and_si128(not_a, _mm_xor_si128(a, b_or_c)));
    // Lanes hold one byte each: a byte-wise sum wraps as the filter's sum modulo 256 does.
    a = _mm_add_epi8(x, nearest);
    StorePixel<kBytes>(r + i, static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_packus_epi16(a, zero))));
    c = b;
  }
}
#endif

void Unfilter(std::uint8_t* row, const std::uint8_t* prior, std::size_t length, std::size_t offset) {
  const std::uint8_t filter = row[0];
  std::uint8_t* r = row + 1;
  const std::uint8_t* p = prior + 1;
  switch (filter) {
    case png::kFilterSub:
      switch (offset) {
        case 1: SubBytes<1>(r, length); break;
        case 2: SubPixels<2>(r, length); break;
        case 3: SubBytes<3>(r, length); break;
        case 4: SubPixels<4>(r, length); break;
        case 6: SubBytes<6>(r, length); break;
        default: SubPixels<8>(r, length); break;
      }
      break;
    case png::kFilterUp:
      for (std::size_t i = 0; i < length; ++i) r[i] = static_cast<std::uint8_t>(r[i] + p[i]);
      break;
    case png::kFilterAverage:
      switch (offset) {
        case 1: AveragePixels<1>(r, p, length); break;
        case 2: AveragePixels<2>(r, p, length); break;
        case 3: AveragePixels<3>(r, p, length); break;
        case 4: AveragePixels<4>(r, p, length); break;
        case 6: AveragePixels<6>(r, p, length); break;
        default: AveragePixels<8>(r, p, length); break;
      }
      break;
    case png::kFilterPaeth:
#if defined(DASHTUNE_PNG_SSE2)
      switch (offset) {
        case 1: PaethPixels<1>(r, p, length); break;
        case 2: PaethPixels<2>(r, p, length); break;
        case 3: PaethPixels<3>(r, p, length); break;
        case 4: PaethPixels<4>(r, p, length); break;
        case 6: PaethPixels<6>(r, p, length); break;
        default: PaethPixels<8>(r, p, length); break;
      }
      break;
#endif
      for (std::size_t i = 0; i < std::min(offset, length); ++i) r[i] = static_cast<std::uint8_t>(r[i] + p[i]);
      for (std::size_t i = offset; i < length; ++i)
        r[i] = static_cast<std::uint8_t>(r[i] + png::PaethPredictor(r[i - offset], p[i], p[i - offset]));
      break;
    default:
      break;  // unknown filters leave the row as it is
  }
}

// Where the pixels of one decoded row go: image row y, pixel k at column start + k * step.
struct RowTarget {
  std::uint8_t* image;
  std::uint8_t* alpha;
  std::uint8_t* extra;
  std::uint8_t* extra_alpha;
  std::size_t start;
  std::size_t step;
  std::size_t pixels;
};

using Gamma = std::array<std::uint8_t, 256>;

// One copy routine per colour type and depth, chosen once per image.
using CopyRow = void (*)(const std::uint8_t* src, const RowTarget& t, const Gamma& g, int depth);

void CopyPacked(const std::uint8_t* src, const RowTarget& t, const Gamma&, int depth) {
  if (t.step == 1) {
    std::memcpy(t.image, src, (t.pixels * static_cast<std::size_t>(depth) + 7) / 8);
    return;
  }
  for (std::size_t k = 0; k < t.pixels; ++k)
    png::PutPacked(t.image, t.start + k * t.step, depth, png::GetPacked(src, k, depth));
}

// 2-bit palette samples become 4-bit pixels of the same index.
void CopyPalette2(const std::uint8_t* src, const RowTarget& t, const Gamma&, int) {
  for (std::size_t k = 0; k < t.pixels; ++k)
    png::PutPacked(t.image, t.start + k * t.step, 4, png::GetPacked(src, k, 2));
}

// 2-bit gray samples become the 4-bit levels 0, 5, 10 and 15 of the 16-level gray table.
void CopyGray2(const std::uint8_t* src, const RowTarget& t, const Gamma&, int) {
  for (std::size_t k = 0; k < t.pixels; ++k)
    png::PutPacked(t.image, t.start + k * t.step, 4, png::GetPacked(src, k, 2) * 5);
}

// The copy routines step through the target with pointers of their own: a store through a byte
// pointer could change the target's fields, which would then be read again for every pixel.

void CopyGray16(const std::uint8_t* src, const RowTarget& t, const Gamma&, int) {
  std::uint8_t* d = t.image + t.start;
  std::uint8_t* e = t.extra + t.start;
  const std::size_t step = t.step;
  for (std::size_t k = 0, n = t.pixels; k < n; ++k, src += 2, d += step, e += step) {
    const std::uint8_t high = src[0], low = src[1];
    *d = high;
    *e = low;
  }
}

// Red, green, blue (with any fourth byte above) as blue, green, red in the low three bytes.
inline std::uint32_t BgrOf(const std::uint8_t* s) {
  std::uint32_t v;
  std::memcpy(&v, s, 4);
  return __builtin_bswap32(v) >> 8;
}

// A pixel copy that stores four bytes where the fourth is the next pixel's and is written again
// by it; only for adjacent pixels, and never for the last one of a row.
template <std::size_t kSourceBytes>
std::uint8_t* CopyAdjacentBgr(const std::uint8_t*& src, std::uint8_t* d, std::size_t n) {
  for (std::size_t k = 1; k < n; ++k, src += kSourceBytes, d += 3) {
    const std::uint32_t v = BgrOf(src);
    std::memcpy(d, &v, 4);
  }
  return d;
}

void CopyRgb8(const std::uint8_t* src, const RowTarget& t, const Gamma& g, int) {
  std::uint8_t* d = t.image + 3 * t.start;
  const std::size_t step = 3 * t.step;
  for (std::size_t k = 0, n = t.pixels; k < n; ++k, src += 3, d += step) {
    const std::uint8_t red = g[src[0]], green = g[src[1]], blue = g[src[2]];
    d[0] = blue;
    d[1] = green;
    d[2] = red;
  }
}

// The same without a gamma table to apply.
void CopyRgb8Linear(const std::uint8_t* src, const RowTarget& t, const Gamma&, int) {
  std::uint8_t* d = t.image + 3 * t.start;
  const std::size_t step = 3 * t.step;
  std::size_t n = t.pixels;
  if (step == 3 && n > 1) {
    d = CopyAdjacentBgr<3>(src, d, n);
    n = 1;
  }
  for (std::size_t k = 0; k < n; ++k, src += 3, d += step) {
    const std::uint8_t red = src[0], green = src[1], blue = src[2];
    d[0] = blue;
    d[1] = green;
    d[2] = red;
  }
}

// 16-bit samples through the gamma table, or as they are when the table is the identity.
template <bool kGamma>
inline std::uint8_t Mapped(const Gamma& g, std::uint8_t v) {
  return kGamma ? g[v] : v;
}

template <bool kGamma>
void CopyRgb16(const std::uint8_t* src, const RowTarget& t, const Gamma& g, int) {
  std::uint8_t* d = t.image + 3 * t.start;
  std::uint8_t* e = t.extra + 3 * t.start;
  const std::size_t step = 3 * t.step;
  for (std::size_t k = 0, n = t.pixels; k < n; ++k, src += 6, d += step, e += step) {
    const std::uint8_t s0 = Mapped<kGamma>(g, src[0]), s1 = Mapped<kGamma>(g, src[1]), s2 = Mapped<kGamma>(g, src[2]);
    const std::uint8_t s3 = Mapped<kGamma>(g, src[3]), s4 = Mapped<kGamma>(g, src[4]), s5 = Mapped<kGamma>(g, src[5]);
    d[0] = s4;
    d[1] = s2;
    d[2] = s0;
    e[0] = s5;
    e[1] = s3;
    e[2] = s1;
  }
}

void CopyGrayAlpha8(const std::uint8_t* src, const RowTarget& t, const Gamma&, int) {
  std::uint8_t* d = t.image + t.start;
  std::uint8_t* a = t.alpha + t.start;
  const std::size_t step = t.step;
  for (std::size_t k = 0, n = t.pixels; k < n; ++k, src += 2, d += step, a += step) {
    const std::uint8_t gray = src[0], alpha = src[1];
    *d = gray;
    *a = alpha;
  }
}

void CopyGrayAlpha16(const std::uint8_t* src, const RowTarget& t, const Gamma&, int) {
  std::uint8_t* d = t.image + t.start;
  std::uint8_t* e = t.extra + t.start;
  std::uint8_t* a = t.alpha + t.start;
  std::uint8_t* f = t.extra_alpha + t.start;
  const std::size_t step = t.step;
  for (std::size_t k = 0, n = t.pixels; k < n; ++k, src += 4, d += step, e += step, a += step, f += step) {
    const std::uint8_t high = src[0], low = src[1], alpha = src[2], alpha_low = src[3];
    *d = high;
    *e = low;
    *a = alpha;
    *f = alpha_low;
  }
}

void CopyRgba8(const std::uint8_t* src, const RowTarget& t, const Gamma& g, int) {
  std::uint8_t* d = t.image + 3 * t.start;
  std::uint8_t* a = t.alpha + t.start;
  const std::size_t step = t.step;
  for (std::size_t k = 0, n = t.pixels; k < n; ++k, src += 4, d += 3 * step, a += step) {
    const std::uint8_t red = g[src[0]], green = g[src[1]], blue = g[src[2]], alpha = src[3];
    d[0] = blue;
    d[1] = green;
    d[2] = red;
    *a = alpha;
  }
}

void CopyRgba8Linear(const std::uint8_t* src, const RowTarget& t, const Gamma&, int) {
  std::uint8_t* d = t.image + 3 * t.start;
  std::uint8_t* a = t.alpha + t.start;
  const std::size_t step = t.step;
  std::size_t n = t.pixels;
  if (step == 1 && n > 1) {
    for (std::size_t k = 1; k < n; ++k) a[k - 1] = src[4 * (k - 1) + 3];
    a += n - 1;
    d = CopyAdjacentBgr<4>(src, d, n);
    n = 1;
  }
  for (std::size_t k = 0; k < n; ++k, src += 4, d += 3 * step, a += step) {
    const std::uint8_t red = src[0], green = src[1], blue = src[2], alpha = src[3];
    d[0] = blue;
    d[1] = green;
    d[2] = red;
    *a = alpha;
  }
}

#if defined(DASHTUNE_PNG_SSE2)
// Adjacent 16-bit RGBA pixels two at a time: high bytes as blue, green, red into `d`, low bytes so
// into `e`, alpha's high and low bytes into `a` and `f`. Each three-byte pixel is stored as four
// bytes whose last belongs to the next pixel and is written again by it, so at least one pixel
// must follow.
void CopyRgba16Pairs(const std::uint8_t* src, std::uint8_t* d, std::uint8_t* e, std::uint8_t* a, std::uint8_t* f,
                     std::size_t pairs) {
  const __m128i low_byte = _mm_set1_epi16(0x00FF);
  const __m128i byte0 = _mm_set1_epi32(0xFF), byte1 = _mm_set1_epi32(0xFF00);
  for (std::size_t k = 0; k < pairs; ++k, src += 16, d += 6, e += 6, a += 2, f += 2) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    // 32-bit lanes: red, green, blue, alpha of the high bytes of pixels 0 and 1, then of the low bytes.
    const __m128i rgba = _mm_packus_epi16(_mm_and_si128(v, low_byte), _mm_srli_epi16(v, 8));
    const __m128i bgr =
        _mm_or_si128(_mm_or_si128(_mm_slli_epi32(_mm_and_si128(rgba, byte0), 16), _mm_and_si128(rgba, byte1)),
                     _mm_and_si128(_mm_srli_epi32(rgba, 16), byte0));
    const auto store = [](std::uint8_t* to, __m128i lane) {
      const std::int32_t value = _mm_cvtsi128_si32(lane);
      std::memcpy(to, &value, 4);
    };
    store(d, bgr);
    store(d + 3, _mm_shuffle_epi32(bgr, 1));
    store(e, _mm_shuffle_epi32(bgr, 2));
    store(e + 3, _mm_shuffle_epi32(bgr, 3));
    // Alpha of the four lanes, packed into bytes 0 to 3: high bytes of pixels 0 and 1, then low bytes.
    const __m128i alphas = _mm_srli_epi32(rgba, 24);
    const auto packed =
        static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(alphas, alphas), alphas)));
    a[0] = static_cast<std::uint8_t>(packed);
    a[1] = static_cast<std::uint8_t>(packed >> 8);
    f[0] = static_cast<std::uint8_t>(packed >> 16);
    f[1] = static_cast<std::uint8_t>(packed >> 24);
  }
}
#endif

template <bool kGamma>
void CopyRgba16(const std::uint8_t* src, const RowTarget& t, const Gamma& g, int) {
  std::uint8_t* d = t.image + 3 * t.start;
  std::uint8_t* e = t.extra + 3 * t.start;
  std::uint8_t* a = t.alpha + t.start;
  std::uint8_t* f = t.extra_alpha + t.start;
  const std::size_t step = t.step;
  std::size_t n = t.pixels;
#if defined(DASHTUNE_PNG_SSE2)
  if (!kGamma && step == 1) {
    const std::size_t pairs = n > 2 ? (n - 1) / 2 : 0;
    CopyRgba16Pairs(src, d, e, a, f, pairs);
    src += 16 * pairs;
    d += 6 * pairs;
    e += 6 * pairs;
    a += 2 * pairs;
    f += 2 * pairs;
    n -= 2 * pairs;
  }
#endif
  for (std::size_t k = 0; k < n; ++k, src += 8, d += 3 * step, e += 3 * step, a += step, f += step) {
    const std::uint8_t s0 = Mapped<kGamma>(g, src[0]), s1 = Mapped<kGamma>(g, src[1]), s2 = Mapped<kGamma>(g, src[2]);
    const std::uint8_t s3 = Mapped<kGamma>(g, src[3]), s4 = Mapped<kGamma>(g, src[4]), s5 = Mapped<kGamma>(g, src[5]);
    const std::uint8_t alpha = src[6], alpha_low = src[7];
    d[0] = s4;
    d[1] = s2;
    d[2] = s0;
    e[0] = s5;
    e[1] = s3;
    e[2] = s1;
    *a = alpha;
    *f = alpha_low;
  }
}

bool IsIdentity(const Gamma& g) {
  for (std::size_t i = 0; i < g.size(); ++i)
    if (g[i] != i) return false;
  return true;
}

CopyRow ChooseCopy(int color_type, int depth, const Gamma& gamma) {
  if (IsIdentity(gamma)) {
    if (color_type == png::kColorTypeTruecolor) return depth == 16 ? CopyRgb16<false> : CopyRgb8Linear;
    if (color_type == png::kColorTypeTruecolorAlpha) return depth == 16 ? CopyRgba16<false> : CopyRgba8Linear;
  }
  switch (color_type) {
    case png::kColorTypeGray:
      if (depth == 2) return CopyGray2;
      return depth == 16 ? CopyGray16 : CopyPacked;
    case png::kColorTypeIndexed:
      return depth == 2 ? CopyPalette2 : CopyPacked;
    case png::kColorTypeTruecolor:
      return depth == 16 ? CopyRgb16<true> : CopyRgb8;
    case png::kColorTypeGrayAlpha:
      return depth == 16 ? CopyGrayAlpha16 : CopyGrayAlpha8;
    default:
      return depth == 16 ? CopyRgba16<true> : CopyRgba8;
  }
}

// The transparent colour of a truecolour image as stored samples (red, green, blue).
using ColorKey = std::array<std::uint16_t, 3>;

std::optional<ColorKey> TruecolorKey(const TPNGPicture& owner, const TChunkIHDR& header) {
  if (header.ColorType != png::kColorTypeTruecolor) return std::nullopt;
  const auto* trns = owner.GetChunks().ItemFromClass<TChunktRNS>();
  if (trns == nullptr || trns->GetDataSize() < 6) return std::nullopt;
  const std::uint8_t* d = trns->PaletteValues.data();
  const auto sample = [d](int c) { return static_cast<std::uint16_t>((d[2 * c] << 8) | d[2 * c + 1]); };
  return ColorKey{sample(0), sample(1), sample(2)};
}

// Sets the key mask's bit of every pixel of a decoded row (pass pixels from `start`, `step`
// apart) whose stored samples are the key.
void MarkKeyedPixels(const std::uint8_t* src, const ColorKey& key, int depth, std::uint8_t* mask_row,
                     std::size_t start, std::size_t step, std::size_t pixels) {
  const std::size_t sample_bytes = depth == 16 ? 2 : 1;
  const auto sample = [&](const std::uint8_t* s) {
    return static_cast<std::uint16_t>(sample_bytes == 2 ? (s[0] << 8) | s[1] : s[0]);
  };
  for (std::size_t k = 0; k < pixels; ++k, src += 3 * sample_bytes) {
    if (sample(src) != key[0] || sample(src + sample_bytes) != key[1] || sample(src + 2 * sample_bytes) != key[2])
      continue;
    const std::size_t x = start + k * step;
    mask_row[x / 8] = static_cast<std::uint8_t>(mask_row[x / 8] | (0x80u >> (x % 8)));
  }
}

}  // namespace

bool TChunkIDAT::LoadFromStream(TStream* Stream, const std::string&, std::uint32_t Size) {
  TChunkIHDR* header = Header();
  TPNGPicture* owner = GetOwner();
  // A gAMA chunk read since the header changed the gamma table: rebuild the gray levels.
  if ((header->ColorType == png::kColorTypeGray || header->ColorType == png::kColorTypeGrayAlpha) &&
      header->GrayGamma != owner->GammaTable) {
    const win::HPALETTE gray = header->CreateGrayscalePalette(header->DibBitCount());
    if (!header->SetImagePalette(gray)) win::DeleteObject(gray);
    header->GrayGamma = owner->GammaTable;
  }

  png::CheckChunkLength(Stream, Size);
  IdatStream data(Stream, Size);
  const std::size_t width = header->Width;
  const std::size_t height = header->Height;
  const std::size_t offset = png::FilterOffset(header->ColorType, header->BitDepth);
  const Gamma& gamma = owner->GammaTable;
  const CopyRow copy = ChooseCopy(header->ColorType, header->BitDepth, gamma);
  const std::size_t full_row = png::BytesForPixels(width, header->ColorType, header->BitDepth);
  // Rows are inflated many at a time, so that inflate works on large blocks. Batches fill two
  // halves of the buffer in turn, so the first row of a batch finds the row before it where the
  // last batch left it; a row of zeros in front stands before the first row of a pass.
  const std::size_t batch_rows = std::clamp<std::size_t>(kBatchBytes / (full_row + 1), 1, height);
  const auto rows = std::make_unique_for_overwrite<std::uint8_t[]>((full_row + 1) * (2 * batch_rows + 1));

  const std::optional<ColorKey> key = TruecolorKey(*owner, *header);
  header->KeyMask.assign(key ? header->KeyMaskRowBytes() * height : 0, 0);

  const bool interlaced = header->InterlaceMethod == png::kInterlaceAdam7;
  const int passes = interlaced ? static_cast<int>(png::kAdam7.size()) : 1;
  bool stopped = false;
  for (int pass = 0; pass < passes && !stopped; ++pass) {
    const png::Pass p = interlaced ? png::kAdam7[pass] : png::kNoInterlace;
    const std::size_t pass_width = png::PassWidth(p, width);
    const std::size_t row_bytes = png::BytesForPixels(pass_width, header->ColorType, header->BitDepth);
    if (row_bytes == 0 || p.row_start >= height) continue;
    const std::size_t stride = row_bytes + 1;
    std::fill_n(rows.get(), stride, 0);
    const std::uint8_t* prior = rows.get();
    std::size_t half = 0;
    std::size_t y = p.row_start;
    while (y < height && !stopped) {
      std::uint8_t* batch = rows.get() + stride * (1 + half * batch_rows);
      half ^= 1;
      const std::size_t wanted = std::min(batch_rows, (height - y + p.row_step - 1) / p.row_step);
      const std::size_t got = data.Read(batch, wanted * stride);
      std::size_t complete = got / stride;
      if (complete > 0 && got % stride == 0 && data.FailedAtEndOfOutput()) --complete;
      // The file ended or the data failed: the rows not reached stay zero.
      stopped = complete < wanted;
      for (std::size_t i = 0; i < complete; ++i, y += p.row_step) {
        std::uint8_t* row = batch + stride * i;
        Unfilter(row, prior, row_bytes, offset);
        const RowTarget target{header->ImageRow(y),
                               header->ImageAlpha.empty() ? nullptr : header->AlphaRow(y),
                               header->ExtraImageData.empty() ? nullptr : header->ExtraRow(y),
                               header->ExtraAlpha.empty() ? nullptr : header->ExtraAlphaRow(y),
                               p.column_start,
                               p.column_step,
                               pass_width};
        copy(row + 1, target, gamma, header->BitDepth);
        if (key)
          MarkKeyedPixels(row + 1, *key, header->BitDepth, header->KeyMask.data() + header->KeyMaskRowBytes() * y,
                          p.column_start, p.column_step, pass_width);
        prior = row;
      }
    }
  }
  data.Rethrow();
  data.Finish();
  return true;
}

}  // namespace dashtune
