// The ternary raster-operation evaluator: every one of the 256 codes is the same sum of
// minterms, instantiated per code so that each compiles to straight bit operations.
#include <array>
#include <cstring>
#include <utility>

#include "platform/gdi/raster.h"

namespace win::gdi {
namespace {

// The code as the union of the combinations of pattern, source and destination bits it lists.
template <unsigned Code, class Word>
inline Word Minterms(Word p, Word s, Word d) {
  [[maybe_unused]] const Word np = static_cast<Word>(~p), ns = static_cast<Word>(~s), nd = static_cast<Word>(~d);
  Word r{};
  if constexpr ((Code & 0x01) != 0) r = static_cast<Word>(r | (np & ns & nd));
  if constexpr ((Code & 0x02) != 0) r = static_cast<Word>(r | (np & ns & d));
  if constexpr ((Code & 0x04) != 0) r = static_cast<Word>(r | (np & s & nd));
  if constexpr ((Code & 0x08) != 0) r = static_cast<Word>(r | (np & s & d));
  if constexpr ((Code & 0x10) != 0) r = static_cast<Word>(r | (p & ns & nd));
  if constexpr ((Code & 0x20) != 0) r = static_cast<Word>(r | (p & ns & d));
  if constexpr ((Code & 0x40) != 0) r = static_cast<Word>(r | (p & s & nd));
  if constexpr ((Code & 0x80) != 0) r = static_cast<Word>(r | (p & s & d));
  return r;
}

// The common codes written out: compilers do not reduce every sum of minterms.
template <unsigned Code, class Word>
inline Word Rop3Value(Word p, Word s, Word d) {
  if constexpr (Code == 0x00) return Word{0};                         // BLACKNESS
  else if constexpr (Code == 0x11) return static_cast<Word>(~(s | d));  // NOTSRCERASE
  else if constexpr (Code == 0x33) return static_cast<Word>(~s);        // NOTSRCCOPY
  else if constexpr (Code == 0x44) return static_cast<Word>(s & ~d);    // SRCERASE
  else if constexpr (Code == 0x55) return static_cast<Word>(~d);        // DSTINVERT
  else if constexpr (Code == 0x5A) return static_cast<Word>(p ^ d);     // PATINVERT
  else if constexpr (Code == 0x66) return static_cast<Word>(s ^ d);     // SRCINVERT
  else if constexpr (Code == 0x88) return static_cast<Word>(s & d);     // SRCAND
  else if constexpr (Code == 0xBB) return static_cast<Word>(~s | d);    // MERGEPAINT
  else if constexpr (Code == 0xC0) return static_cast<Word>(p & s);     // MERGECOPY
  else if constexpr (Code == 0xCC) return s;                            // SRCCOPY
  else if constexpr (Code == 0xEE) return static_cast<Word>(s | d);     // SRCPAINT
  else if constexpr (Code == 0xF0) return p;                            // PATCOPY
  else if constexpr (Code == 0xFF) return static_cast<Word>(~Word{0});  // WHITENESS
  else return Minterms<Code, Word>(p, s, d);
}

template <unsigned Code>
void RopRowImpl(std::uint32_t* d, const std::uint32_t* s, const std::uint32_t* p, int n) {
  for (int i = 0; i < n; ++i) d[i] = Rop3Value<Code, std::uint32_t>(p[i], s[i], d[i]);
}

// Sixteen bytes as one value (the compiler's vector extension, lowered to the target's SIMD
// registers); the bit operations of Rop3Value apply to it as they are.
using Block = std::uint8_t __attribute__((vector_size(16)));

inline Block LoadBlock(const std::uint8_t* at) {
  Block b;
  std::memcpy(&b, at, sizeof b);
  return b;
}

inline void StoreBlock(std::uint8_t* at, Block b) { std::memcpy(at, &b, sizeof b); }

template <unsigned Code>
inline Block RopBlock(std::uint8_t* d, const std::uint8_t* s, const std::uint8_t* p) {
  return Rop3Value<Code, Block>(LoadBlock(p), LoadBlock(s), LoadBlock(d));
}

// Packed bytes: the operation is bitwise, so it needs no pixel boundaries. Each step makes four
// blocks before it stores any: a loop storing each block as soon as it is made runs at half of
// memcpy's speed on large rows, this one at its speed.
template <unsigned Code>
void RopBytesImpl(std::uint8_t* d, const std::uint8_t* s, const std::uint8_t* p, std::size_t n) {
  constexpr std::size_t kBlock = sizeof(Block);
  std::size_t i = 0;
  for (; i + 4 * kBlock <= n; i += 4 * kBlock) {
    const Block r0 = RopBlock<Code>(d + i, s + i, p + i);
    const Block r1 = RopBlock<Code>(d + i + kBlock, s + i + kBlock, p + i + kBlock);
    const Block r2 = RopBlock<Code>(d + i + 2 * kBlock, s + i + 2 * kBlock, p + i + 2 * kBlock);
    const Block r3 = RopBlock<Code>(d + i + 3 * kBlock, s + i + 3 * kBlock, p + i + 3 * kBlock);
    StoreBlock(d + i, r0);
    StoreBlock(d + i + kBlock, r1);
    StoreBlock(d + i + 2 * kBlock, r2);
    StoreBlock(d + i + 3 * kBlock, r3);
  }
  for (; i < n; ++i) d[i] = Rop3Value<Code, std::uint8_t>(p[i], s[i], d[i]);
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
