// Seeded mutation fuzzing of the decoder, with what it decoded hashed and compared per seed.
// Seeded, with a fixed budget, so a failure reproduces. Every input either loads or raises one of
// the codec's own exceptions; loaded pictures are also drawn and saved. What each input decoded to
// (or the text it was refused with) is hashed, and the hash of each shard is compared with the one
// stored in png_fuzz_hashes.txt for the same seed and budget, so a change of speed that changes
// output fails. DASHTUNE_FUZZ_ITERATIONS and DASHTUNE_FUZZ_SEED lengthen or vary the run
// (scripts/fuzz); budgets without a stored hash print theirs.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <random>

#include "classlib/bitmap.h"
#include "fuzz_mutations.h"
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
constexpr std::uint64_t kDefaultSeed = 20261207;

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
  const int steps = 1 + static_cast<int>(rng() % 4);
  for (int s = 0; s < steps && !file.empty(); ++s) {
    switch (rng() % 7) {
      case 0:
        fuzz::FlipBit(file, rng);
        break;
      case 1: {
        static constexpr std::uint8_t kInteresting[] = {0, 1, 0x7F, 0x80, 0xFF, 16, 2, 3, 4, 6};
        fuzz::SetInterestingByte(file, rng, kInteresting);
        break;
      }
      case 2:
        fuzz::Truncate(file, rng);
        break;
      case 3:
        fuzz::InsertByte(file, rng);
        break;
      case 4:
        fuzz::EraseByte(file, rng);
        break;
      case 5:
        fuzz::CopyRun(file, rng, 64);
        break;
      default:
        fuzz::SetRandomByte(file, rng);
        break;
    }
  }
  if (rng() % 4 != 0) FixCrcs(file);
  return file;
}

// FNV-1a over the outcome of every input.
class OutcomeHash {
 public:
  void Add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) value_ = (value_ ^ bytes[i]) * 0x100000001B3ull;
  }
  void Add(std::uint32_t number) { Add(&number, sizeof number); }
  std::string Hex() const {
    std::ostringstream out;
    out << std::hex << value_;
    return out.str();
  }

 private:
  std::uint64_t value_ = 0xCBF29CE484222325ull;
};

// The header fields and, for pictures small enough to draw, every plane's pixel bytes.
void HashPicture(const TPNGPicture& picture, OutcomeHash& hash) {
  const TChunkIHDR* h = picture.Header();
  for (std::uint32_t field : {h->Width, h->Height, std::uint32_t{h->BitDepth}, std::uint32_t{h->ColorType}})
    hash.Add(field);
  if (h->Width > 256 || h->Height > 256 || h->ImageData == nullptr) return;
  const std::size_t row_bytes = (std::size_t{h->Width} * static_cast<std::size_t>(h->DibBitCount()) + 7) / 8;
  for (std::size_t y = 0; y < h->Height; ++y) {
    hash.Add(h->ImageRow(y), row_bytes);
    if (!h->ExtraImageData.empty()) hash.Add(h->ExtraRow(y), row_bytes);
  }
  hash.Add(h->ImageAlpha.data(), h->ImageAlpha.size());
  hash.Add(h->BitmapInfo.bmiColors.data(), sizeof h->BitmapInfo.bmiColors);
}

void Exercise(const Bytes& input, OutcomeHash& hash) {
  std::unique_ptr<TPNGPicture> picture;
  try {
    picture = pngtest::Load(input);
  } catch (const EPngError& e) {
    hash.Add(e.what(), std::strlen(e.what()));
    return;  // refused with one of the codec's exceptions: fine
  }
  HashPicture(*picture, hash);
  if (picture->GetWidth() > 256 || picture->GetHeight() > 256) return;
  TBitmap target;
  target.SetPixelFormat(pf24bit);
  target.SetSize(40, 30);
  target.GetCanvas()->StretchDraw(win::RECT{0, 0, 40, 30}, picture.get());
  target.GetCanvas()->Draw(3, 2, picture.get());
  const Bytes saved = pngtest::Save(*picture);
  pngtest::Load(saved);  // what the codec writes, it reads
}

// The stored hash of a shard's run: lines "seed iterations shard hash".
std::optional<std::string> StoredHash(std::uint64_t seed, std::uint64_t iterations, int shard) {
  std::ifstream in(PNG_FUZZ_HASHES);
  std::uint64_t s = 0, n = 0;
  int k = 0;
  std::string hash;
  while (in >> s >> n >> k >> hash)
    if (s == seed && n == iterations && k == shard) return hash;
  return std::nullopt;
}

class PngFuzz : public testing::TestWithParam<int> {};

TEST_P(PngFuzz, MutatedSuiteFilesLoadOrRaiseCodecErrors) {
  const auto& corpus = Corpus();
  ASSERT_FALSE(corpus.empty());
  const std::uint64_t iterations = fuzz::EnvNumber("DASHTUNE_FUZZ_ITERATIONS", 40000) / kShards;
  const std::uint64_t seed =
      fuzz::EnvNumber("DASHTUNE_FUZZ_SEED", kDefaultSeed) * kShards + static_cast<std::uint64_t>(GetParam());
  std::mt19937_64 rng(seed);
  OutcomeHash hash;
  for (std::uint64_t i = 0; i < iterations; ++i) {
    const Bytes input = Mutate(corpus[rng() % corpus.size()], rng);
    try {
      Exercise(input, hash);
    } catch (const std::exception& e) {
      FAIL() << "seed " << seed << " iteration " << i << ": " << typeid(e).name() << ": " << e.what();
    }
  }
  const std::uint64_t base_seed = fuzz::EnvNumber("DASHTUNE_FUZZ_SEED", kDefaultSeed);
  const std::string line = std::to_string(base_seed) + " " + std::to_string(iterations) + " " +
                           std::to_string(GetParam()) + " " + hash.Hex();
  if (const auto stored = StoredHash(base_seed, iterations, GetParam()))
    EXPECT_EQ(hash.Hex(), *stored) << "decoded output changed; this run: " << line;
  else
    std::cout << "no stored hash for this budget: " << line << "\n";
}

INSTANTIATE_TEST_SUITE_P(Shards, PngFuzz, testing::Range(0, kShards));

}  // namespace
}  // namespace dashtune
