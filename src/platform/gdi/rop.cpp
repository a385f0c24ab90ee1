// The ternary raster-operation evaluator: every one of the 256 codes is the same sum of
// minterms, instantiated per code so that each compiles to straight bit operations.
#include <array>
#include <cstring>
#include <utility>

#include "platform/gdi/raster.h"

namespace win::gdi {
namespace {

template <unsigned Code, class Word>
inline Word Rop3Value(Word p, Word s, Word d) {
  Word r = 0;
  if constexpr ((Code & 0x01) != 0) r |= ~p & ~s & ~d;
  if constexpr ((Code & 0x02) != 0) r |= ~p & ~s & d;
  if constexpr ((Code & 0x04) != 0) r |= ~p & s & ~d;
  if constexpr ((Code & 0x08) != 0) r |= ~p & s & d;
  if constexpr ((Code & 0x10) != 0) r |= p & ~s & ~d;
  if constexpr ((Code & 0x20) != 0) r |= p & ~s & d;
  if constexpr ((Code & 0x40) != 0) r |= p & s & ~d;
  if constexpr ((Code & 0x80) != 0) r |= p & s & d;
  return r;
}

template <unsigned Code>
void RopRowImpl(std::uint32_t* d, const std::uint32_t* s, const std::uint32_t* p, int n) {
  for (int i = 0; i < n; ++i) d[i] = Rop3Value<Code, std::uint32_t>(p[i], s[i], d[i]);
}

// Packed bytes, eight at a time: the operation is bitwise, so it needs no pixel boundaries.
template <unsigned Code>
void RopBytesImpl(std::uint8_t* d, const std::uint8_t* s, const std::uint8_t* p, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t dw, sw, pw;
    std::memcpy(&dw, d + i, 8);
    std::memcpy(&sw, s + i, 8);
    std::memcpy(&pw, p + i, 8);
    dw = Rop3Value<Code, std::uint64_t>(pw, sw, dw);
    std::memcpy(d + i, &dw, 8);
  }
  for (; i < n; ++i) d[i] = static_cast<std::uint8_t>(Rop3Value<Code, std::uint32_t>(p[i], s[i], d[i]));
}

template <std::size_t... Codes>
constexpr std::array<RopRow, 256> MakeRopTable(std::index_sequence<Codes...>) {
  return {&RopRowImpl<static_cast<unsigned>(Codes)>...};
}

template <std::size_t... Codes>
constexpr std::array<RopBytes, 256> MakeRopBytesTable(std::index_sequence<Codes...>) {
  return {&RopBytesImpl<static_cast<unsigned>(Codes)>...};
}

constexpr std::array<RopRow, 256> kRopRows = MakeRopTable(std::make_index_sequence<256>{});
constexpr std::array<RopBytes, 256> kRopBytes = MakeRopBytesTable(std::make_index_sequence<256>{});

}  // namespace

std::uint32_t ApplyRop3(std::uint8_t code, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
  std::uint32_t out = d;
  kRopRows[code](&out, &s, &p, 1);
  return out;
}

RopRow RopRowFor(std::uint8_t code) { return kRopRows[code]; }

RopBytes RopBytesFor(std::uint8_t code) { return kRopBytes[code]; }

std::uint8_t RopFromRop2(int rop2) {
  // Bit (p<<1 | d) of (rop2 - 1) is the result for pen bit p and destination bit d.
  const unsigned table = static_cast<unsigned>(rop2 - 1) & 0xF;
  std::uint8_t code = 0;
  for (unsigned i = 0; i < 8; ++i) {
    const unsigned p = (i >> 2) & 1;
    const unsigned d = i & 1;
    if ((table >> ((p << 1) | d)) & 1) code = static_cast<std::uint8_t>(code | (1u << i));
  }
  return code;
}

}  // namespace win::gdi
