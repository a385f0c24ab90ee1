// Structure-aware mutation fuzzing of the GIF codec: seeded, with a fixed budget, so a failure
// reproduces. Every input either loads and draws or raises one of the codec's exceptions; when
// giflib accepts an input that the codec loads without a warning, the frames agree. A loaded
// picture is saved with both encoders and giflib reads back its pixels (or the save refuses a
// pixel past its table); then it is optimised and plays one pass.
// DASHTUNE_FUZZ_ITERATIONS and DASHTUNE_FUZZ_SEED lengthen or vary the run (scripts/fuzz).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "classlib/bitmap.h"
#include "components/imaging/gif/gif_painter.h"
#include "fuzz_mutations.h"
#include "gif_test_support.h"
#include "platform_test_support.h"

namespace dashtune {
namespace {

using giftest::Bytes;

constexpr int kShards = 4;
// About a minute a shard on a loaded two-core machine under the sanitizers; scripts/fuzz runs
// longer. The first inputs of a shard stay the same whatever the budget.
constexpr std::uint64_t kDefaultIterations = 4800;
constexpr const char* kSampleDir = "/usr/share/doc/libsixel-examples/examples/images/";

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Small seeds of every layout: tables, interlace, transparency, extensions, several frames.
const std::vector<Bytes>& Corpus() {
  static const std::vector<Bytes> corpus = [] {
    std::vector<Bytes> files;
    std::mt19937 rng(77);
    const auto pixels = [&](int w, int h, int colors) {
      Bytes p(static_cast<std::size_t>(w * h));
      for (auto& v : p) v = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(colors));
      return p;
    };
    for (int colors : {2, 4, 16, 256}) {
      const auto table = giftest::GrayTable(colors);
      files.push_back(giftest::GiflibWrite(12, 9, table, {{0, 0, 12, 9, false, {}, pixels(12, 9, colors)}}));
      giftest::GiflibImage a{1, 1, 8, 7, true, giftest::GrayTable(colors), pixels(8, 7, colors)};
      a.transparent = 1;
      a.disposal = 2;
      a.comments = {"fuzz"};
      giftest::GiflibImage b{3, 0, 9, 9, false, {}, pixels(9, 9, colors)};
      b.disposal = 3;
      b.delay = 4;
      files.push_back(giftest::GiflibWrite(12, 9, table, {a, b}, 2));
    }
    files.push_back(giftest::Reblock(files[1], {1}));
    // A text extension and an unknown application block.
    files.push_back(giftest::Concat(
        {giftest::Header(4, 4, giftest::GrayTable(4)),
         {0x21, 0x01, 12, 0, 0, 0, 0, 4, 0, 4, 0, 1, 1, 1, 0, 2, 'h', 'i', 0},
         {0x21, 0xFF, 11, 'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X', '1', '.', '0', 2, 7, 7, 0},
         giftest::Descriptor(0, 0, 4, 4), giftest::ImageData(pixels(4, 4, 4), 2, {3}), {0x3B}}));
    const Bytes snake = ReadFile(std::string(kSampleDir) + "snake.gif");
    if (!snake.empty()) files.push_back(snake);
    return files;
  }();
  return corpus;
}

// Offsets of the structure's fields in a file: size bytes of sub-blocks, code sizes, descriptor
// sizes and flags, labels. Mutations aim at them half of the time.
// Offsets of the structure's fields; code_sizes gets the minimum code size bytes and
// fixed_sizes the block size bytes of the extensions whose fixed part the codec reads whole.
std::vector<std::size_t> FieldOffsets(const Bytes& file, std::vector<std::size_t>* code_sizes = nullptr,
                                      std::vector<std::pair<std::size_t, std::uint8_t>>* fixed_sizes = nullptr) {
  std::vector<std::size_t> offsets;
  if (file.size() < 13) return offsets;
  for (std::size_t i : {6, 7, 8, 9, 10}) offsets.push_back(i);
  std::size_t pos = 13 + ((file[10] & 0x80) ? 3u * (2u << (file[10] & 7)) : 0u);
  const auto sub_blocks = [&] {
    while (pos < file.size()) {
      offsets.push_back(pos);
      const std::size_t size = file[pos++];
      if (size == 0) return;
      pos += size;
    }
  };
  while (pos < file.size()) {
    if (file[pos] == 0x21 && pos + 1 < file.size()) {
      offsets.push_back(pos + 1);
      if (fixed_sizes != nullptr && pos + 2 < file.size()) fixed_sizes->push_back({pos + 2, file[pos + 1]});
      pos += 2;
      sub_blocks();
    } else if (file[pos] == 0x2C && pos + 10 < file.size()) {
      for (std::size_t i = 5; i <= 9; ++i) offsets.push_back(pos + i);
      const std::uint8_t packed = file[pos + 9];
      pos += 10 + ((packed & 0x80) ? 3u * (2u << (packed & 7)) : 0u);
      offsets.push_back(pos);  // minimum code size
      if (code_sizes != nullptr) code_sizes->push_back(pos);
      ++pos;
      sub_blocks();
    } else {
      break;
    }
  }
  return offsets;
}

Bytes Mutate(Bytes file, std::mt19937_64& rng) {
  const int steps = 1 + static_cast<int>(rng() % 3);
  for (int s = 0; s < steps && !file.empty(); ++s) {
    const std::vector<std::size_t> fields = FieldOffsets(file);
    if (!fields.empty() && rng() % 2 == 0) {
      static constexpr std::uint8_t kInteresting[] = {0, 1, 2, 3, 7, 8, 11, 12, 0x21, 0x2C, 0x3B, 0x40, 0x80,
                                                      0xF9, 0xFE, 0xFF};
      const std::size_t at = fields[fuzz::Pick(rng, fields.size())];
      if (at < file.size())
        file[at] = rng() % 3 == 0 ? static_cast<std::uint8_t>(rng()) : kInteresting[fuzz::Pick(rng, sizeof kInteresting)];
      continue;
    }
    switch (rng() % 6) {
      case 0:
        fuzz::FlipBit(file, rng);
        break;
      case 1:
        fuzz::Truncate(file, rng);
        break;
      case 2:
        fuzz::InsertByte(file, rng);
        break;
      case 3:
        fuzz::EraseByte(file, rng);
        break;
      case 4:
        fuzz::CopyRun(file, rng, 32);
        break;
      default:
        fuzz::SetRandomByte(file, rng);
        break;
    }
  }
  return file;
}

// Frames whose data starts with a minimum code size below 2: giflib widens its codes after a
// clear one code earlier than the codec for size 1, and refuses 0.
bool HasSmallCodeSize(const Bytes& file) {
  std::vector<std::size_t> code_sizes;
  FieldOffsets(file, &code_sizes);
  for (std::size_t at : code_sizes)
    if (at < file.size() && file[at] < 2) return true;
  return false;
}

// The codec reads the graphic control and text extensions' fixed parts whole (the control block
// with its terminator), as their sizes are fixed; giflib reads them as sub-blocks of the size they
// give. Files whose size or terminator bytes disagree with the fixed layout are read differently
// by design.
bool HasOddFixedSize(const Bytes& file) {
  std::vector<std::pair<std::size_t, std::uint8_t>> fixed;
  FieldOffsets(file, nullptr, &fixed);
  for (auto [at, label] : fixed)
    if ((label == 0xF9 && (file[at] != 4 || at + 5 >= file.size() || file[at + 5] != 0)) ||
        (label == 0x01 && file[at] != 12))
      return true;
  return false;
}

// Both encoders write what giflib reads back as the codec's pixels.
std::string SaveAndReadBack(TGIFPicture& picture) {
  // Empty frames are saved as their extensions only; giflib refuses files without an image.
  std::vector<TGIFSubImage*> frames = giftest::ImageFrames(picture);
  std::erase_if(frames, [](TGIFSubImage* frame) { return frame->GetEmpty(); });
  if (frames.empty()) return "";
  for (std::uint8_t compression : {0, 1}) {
    picture.SetCompression(compression);
    Bytes saved;
    try {
      saved = giftest::Save(picture);
    } catch (const GIFException& e) {
      if (e.GetMessage() == "Color not in color table") continue;
      return "save: " + e.GetMessage();
    }
    const auto ref = giftest::GiflibRead(saved);
    if (!ref) return "giflib refuses the saved file";
    if (ref->frames.size() != frames.size()) return "saved frame count";
    for (std::size_t i = 0; i < frames.size(); ++i)
      if (ref->frames[i].pixels != frames[i]->GetData()) return "giflib reads frame " + std::to_string(i) + " of the saved file otherwise";
  }
  return "";
}

// Optimises the picture and plays one pass straight onto a bitmap, without delays.
void OptimizeAndPlay(TGIFPicture& picture) {
  picture.Optimize(TGIFOptimizeOptions{ooCrop, ooMerge, ooCleanup, ooColorMap}, TColorReduction::crNone, ditherNearest, 8);
  if (picture.GetImages()->GetCount() < 2 || picture.GetPixelsHeld() > 1u << 16) return;
  picture.SetAnimationSpeed(std::numeric_limits<int>::max());
  picture.SetDrawOptions(picture.GetDrawOptions() + TGIFDrawOptions{doDirect} - TGIFDrawOptions{doLoop});
  TBitmap target;
  target.SetPixelFormat(pf24bit);
  target.SetSize(20, 15);
  try {
    target.GetCanvas()->StretchDraw(win::RECT{0, 0, 20, 15}, &picture);
  } catch (const GIFException&) {
    // A picture without any colour table cannot be rendered.
  }
  testing::PumpUntil([&] { return picture.GetPainter() == nullptr; });
}

std::string Exercise(const Bytes& input) {
  auto loaded = giftest::Load(input);
  if (!loaded.error.empty()) return "";  // refused with a codec exception: fine
  TGIFPicture& picture = *loaded.picture;
  if (!picture.GetEmpty() && picture.GetPixelsHeld() <= 1u << 16) {
    TBitmap target;
    target.SetPixelFormat(pf24bit);
    target.SetSize(20, 15);
    try {
      target.GetCanvas()->StretchDraw(win::RECT{0, 0, 20, 15}, &picture);
      picture.SetDrawOptions(picture.GetDrawOptions() + TGIFDrawOptions{doTile});
      target.GetCanvas()->StretchDraw(win::RECT{0, 0, 20, 15}, &picture);
    } catch (const GIFException& e) {
      // A picture without any colour table cannot be rendered.
      if (e.GetMessage() != "No global or local color table defined") return "draw: " + e.GetMessage();
    } catch (const EOutOfMemory&) {
      // A frame wider or taller than the platform's bitmaps cannot be rendered.
    }
  }
  // Large fuzzed frames only cost time here.
  std::string difference = !picture.GetEmpty() && picture.GetPixelsHeld() <= 1u << 18 ? SaveAndReadBack(picture) : "";
  if (difference.empty() && loaded.warnings.empty() && !HasOddFixedSize(input)) {
    const auto ref = giftest::GiflibRead(input);
    // Giflib keeps zero sizes and frames past 64 Mi pixels; the codec takes the screen's size.
    const auto zero_size = [](const giftest::GiflibFrame& frame) { return frame.width == 0 || frame.height == 0; };
    if (ref && std::none_of(ref->frames.begin(), ref->frames.end(), zero_size))
      difference = giftest::CompareFrames(*ref, picture);
  }
  if (difference.empty()) OptimizeAndPlay(picture);
  return difference;
}

class GifFuzz : public ::testing::TestWithParam<int> {};

TEST_P(GifFuzz, MutatedFilesLoadAndDrawOrRaiseCodecErrors) {
  const auto& corpus = Corpus();
  ASSERT_FALSE(corpus.empty());
  const std::uint64_t iterations = fuzz::EnvNumber("DASHTUNE_FUZZ_ITERATIONS", kDefaultIterations) / kShards;
  const std::uint64_t seed =
      fuzz::EnvNumber("DASHTUNE_FUZZ_SEED", 20261207) * kShards + static_cast<std::uint64_t>(GetParam());
  std::mt19937_64 rng(seed);
  for (std::uint64_t i = 0; i < iterations; ++i) {
    const Bytes input = Mutate(corpus[rng() % corpus.size()], rng);
    std::string problem;
    try {
      problem = Exercise(input);
    } catch (const std::exception& e) {
      problem = std::string(typeid(e).name()) + ": " + e.what();
    }
    if (!problem.empty() && HasSmallCodeSize(input) && problem.find("pixels") != std::string::npos) problem.clear();
    if (!problem.empty()) {
      const std::string path = "/tmp/dashtune-gif-fuzz-" + std::to_string(seed) + "-" + std::to_string(i) + ".gif";
      std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(input.data()),
                                                  static_cast<std::streamsize>(input.size()));
      FAIL() << "seed " << seed << " iteration " << i << " (input in " << path << "): " << problem;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, GifFuzz, ::testing::Range(0, kShards));

}  // namespace
}  // namespace dashtune
