// The seeded mutation tests' budget: a fixed default for scripts/test, longer runs from
// scripts/fuzz through DASHTUNE_FUZZ_ITERATIONS and DASHTUNE_FUZZ_SEED.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

namespace win::testing {

inline std::uint64_t FuzzEnvNumber(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  return std::strtoull(text, nullptr, 10);
}

inline std::uint64_t FuzzIterations(std::uint64_t fallback) { return FuzzEnvNumber("DASHTUNE_FUZZ_ITERATIONS", fallback); }
inline std::uint32_t FuzzSeed(std::uint32_t fallback) {
  return static_cast<std::uint32_t>(FuzzEnvNumber("DASHTUNE_FUZZ_SEED", fallback));
}

}  // namespace win::testing
