// The byte mutations the decoders' seeded fuzz tests share, and the numbers a longer run takes
// from the environment. Each mutation draws from the generator in a fixed order, so a seed gives
// the same inputs run after run.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

namespace dashtune::fuzz {

using Bytes = std::vector<std::uint8_t>;
using Random = std::mt19937_64;

// The named variable as a number (DASHTUNE_FUZZ_ITERATIONS, DASHTUNE_FUZZ_SEED), or the fallback
// when it is unset or empty.
inline std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != 0 ? std::strtoull(value, nullptr, 10) : fallback;
}

// A position below n; 0 when n is 0.
inline std::size_t Pick(Random& rng, std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng() % n); }

// Each mutation below needs a file of at least one byte.

inline void FlipBit(Bytes& file, Random& rng) {
  file[Pick(rng, file.size())] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
}

// One byte set to one of the values a format gives meaning to.
template <std::size_t N>
void SetInterestingByte(Bytes& file, Random& rng, const std::uint8_t (&values)[N]) {
  file[Pick(rng, file.size())] = values[Pick(rng, N)];
}

inline void SetRandomByte(Bytes& file, Random& rng) { file[Pick(rng, file.size())] = static_cast<std::uint8_t>(rng()); }

inline void Truncate(Bytes& file, Random& rng) { file.resize(Pick(rng, file.size())); }

inline void InsertByte(Bytes& file, Random& rng) {
  file.insert(file.begin() + static_cast<std::ptrdiff_t>(Pick(rng, file.size())), static_cast<std::uint8_t>(rng()));
}

inline void EraseByte(Bytes& file, Random& rng) {
  file.erase(file.begin() + static_cast<std::ptrdiff_t>(Pick(rng, file.size())));
}

// A run of up to max_run bytes copied over another place: moves lengths, labels and whole blocks.
inline void CopyRun(Bytes& file, Random& rng, std::size_t max_run) {
  const std::size_t from = Pick(rng, file.size()), to = Pick(rng, file.size());
  const std::size_t n = std::min({Pick(rng, max_run) + 1, file.size() - from, file.size() - to});
  std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(from), n, file.begin() + static_cast<std::ptrdiff_t>(to));
}

}  // namespace dashtune::fuzz
