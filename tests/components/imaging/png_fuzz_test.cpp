// Mutation fuzzing of the decoder over the conformance suite: seeded, with a fixed budget, so a
// failure reproduces. Every input either loads or raises one of the codec's own exceptions;
// loaded pictures are also drawn and saved. DASHTUNE_FUZZ_ITERATIONS and DASHTUNE_FUZZ_SEED
// lengthen or vary the run (scripts/fuzz).
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <random>

#include "classlib/bitmap.h"
#include "png_test_support.h"

#if defined(__SANITIZE_ADDRESS__)
// No single allocation of the codec tests may pass what the largest picture the pixel limit
// allows needs (64 Mi pixels of 24 bits is 192 MiB): anything bigger stops the run.
extern "C" const char* __asan_default_options() { return "max_allocation_size_mb=256"; }
#endif

namespace dashtune {
namespace {

using pngtest::Bytes;

constexpr int kShards = 4;

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != 0 ? std::strtoull(value, nullptr, 10) : fallback;
}

const std::vector<Bytes>& Corpus() {
  static const std::vector<Bytes> corpus = [] {
    std::vector<Bytes> files;
    for (const char* folder : {"background", "basic", "chunk", "corrupted", "filter", "gamma", "interlacing", "odd",
                               "order", "palette", "transparency", "zlib"})
      for (const std::string& path : pngtest::SuiteFiles(folder)) files.push_back(pngtest::ReadFileBytes(path));
    return files;
  }();
  return corpus;
}

// Recomputes every complete chunk's CRC, so mutations reach past the CRC check.
void FixCrcs(Bytes& file) {
  std::size_t pos = 8;
  while (pos + 12 <= file.size()) {
    const std::uint32_t length = (std::uint32_t{file[pos]} << 24) | (std::uint32_t{file[pos + 1]} << 16) |
                                 (std::uint32_t{file[pos + 2]} << 8) | file[pos + 3];
    if (length > file.size() - pos - 12) return;
    const uLong crc = crc32(0, file.data() + pos + 4, static_cast<uInt>(length + 4));
    const Bytes stored = pngtest::BigEndian(static_cast<std::uint32_t>(crc));
    std::copy(stored.begin(), stored.end(), file.begin() + static_cast<std::ptrdiff_t>(pos + 8 + length));
    pos += 12 + length;
  }
}

Bytes Mutate(Bytes file, std::mt19937_64& rng) {
  const auto pick = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng() % n); };
  const int steps = 1 + static_cast<int>(rng() % 4);
  for (int s = 0; s < steps && !file.empty(); ++s) {
    switch (rng() % 7) {
      case 0:
        file[pick(file.size())] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        break;
      case 1: {
        static constexpr std::uint8_t kInteresting[] = {0, 1, 0x7F, 0x80, 0xFF, 16, 2, 3, 4, 6};
        file[pick(file.size())] = kInteresting[pick(sizeof kInteresting)];
        break;
      }
      case 2:
        file.resize(pick(file.size()));
        break;
      case 3:
        file.insert(file.begin() + static_cast<std::ptrdiff_t>(pick(file.size())), static_cast<std::uint8_t>(rng()));
        break;
      case 4:
        file.erase(file.begin() + static_cast<std::ptrdiff_t>(pick(file.size())));
        break;
      case 5: {
        // Copy a run of bytes over another place (moves chunks and lengths around).
        const std::size_t from = pick(file.size()), to = pick(file.size());
        const std::size_t n = std::min({pick(64) + 1, file.size() - from, file.size() - to});
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(from), n,
                    file.begin() + static_cast<std::ptrdiff_t>(to));
        break;
      }
      default:
        file[pick(file.size())] = static_cast<std::uint8_t>(rng());
        break;
    }
  }
  if (rng() % 4 != 0) FixCrcs(file);
  return file;
}

void Exercise(const Bytes& input) {
  std::unique_ptr<TPNGPicture> picture;
  try {
    picture = pngtest::Load(input);
  } catch (const EPngError&) {
    return;  // refused with one of the codec's exceptions: fine
  }
  if (picture->GetWidth() > 256 || picture->GetHeight() > 256) return;
  TBitmap target;
  target.SetPixelFormat(pf24bit);
  target.SetSize(40, 30);
  target.GetCanvas()->StretchDraw(win::RECT{0, 0, 40, 30}, picture.get());
  target.GetCanvas()->Draw(3, 2, picture.get());
  const Bytes saved = pngtest::Save(*picture);
  pngtest::Load(saved);  // what the codec writes, it reads
}

class PngFuzz : public testing::TestWithParam<int> {};

TEST_P(PngFuzz, MutatedSuiteFilesLoadOrRaiseCodecErrors) {
  const auto& corpus = Corpus();
  ASSERT_FALSE(corpus.empty());
  const std::uint64_t iterations = EnvNumber("DASHTUNE_FUZZ_ITERATIONS", 40000) / kShards;
  const std::uint64_t seed =
      EnvNumber("DASHTUNE_FUZZ_SEED", 20261207) * kShards + static_cast<std::uint64_t>(GetParam());
  std::mt19937_64 rng(seed);
  for (std::uint64_t i = 0; i < iterations; ++i) {
    const Bytes input = Mutate(corpus[rng() % corpus.size()], rng);
    try {
      Exercise(input);
    } catch (const std::exception& e) {
      FAIL() << "seed " << seed << " iteration " << i << ": " << typeid(e).name() << ": " << e.what();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, PngFuzz, testing::Range(0, kShards));

}  // namespace
}  // namespace dashtune
