// Saving a picture with a transparent colour changes neither the picture nor what it shows: every
// committed file with a tRNS chunk, and files libpng writes with the cases the suite lacks (2-bit
// gray keys, keys on levels a gamma table merges), is loaded, drawn, saved, drawn again and
// reloaded; both drawings and the reloaded one are the same over two backgrounds, and libpng
// reads the same alpha from the saved file as from the original.
#include <gtest/gtest.h>

#include <filesystem>

#include "png_test_support.h"

namespace dashtune {
namespace {

using pngtest::Bytes;
using pngtest::DrawnOver;
using pngtest::LibpngImage;
using pngtest::Rgb;

struct KeyedFile {
  std::string name;
  Bytes bytes;
};

void PrintTo(const KeyedFile& file, std::ostream* os) { *os << file.name; }

bool HasTransparencyChunk(const Bytes& file) {
  for (const pngtest::RawChunk& chunk : pngtest::SplitChunks(file))
    if (chunk.name == "tRNS") return true;
  return false;
}

std::vector<KeyedFile> CommittedKeyedFiles() {
  std::vector<KeyedFile> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(PNG_FIXTURES_DIR)) {
    if (entry.path().extension() != ".png") continue;
    Bytes bytes = pngtest::ReadFileBytes(entry.path().string());
    if (HasTransparencyChunk(bytes)) files.push_back({entry.path().stem().string(), std::move(bytes)});
  }
  std::sort(files.begin(), files.end(), [](const KeyedFile& a, const KeyedFile& b) { return a.name < b.name; });
  return files;
}

// libpng's file of the image with gAMA (when gamma is not 0) and tRNS chunks put in front of the
// image data.
Bytes WithChunks(const LibpngImage& image, std::uint32_t gamma, const Bytes& transparency) {
  std::vector<pngtest::RawChunk> chunks = pngtest::SplitChunks(pngtest::LibpngWrite(image));
  auto at = std::find_if(chunks.begin(), chunks.end(), [](const pngtest::RawChunk& c) { return c.name == "IDAT"; });
  at = chunks.insert(at, {"tRNS", transparency});
  if (gamma != 0) chunks.insert(at, {"gAMA", pngtest::BigEndian(gamma)});
  return pngtest::JoinChunks(chunks);
}

Bytes Sample16(unsigned value) { return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)}; }

// 2-bit gray of every level, for each key, without gamma and with the gammas 1.8 and 1.0.
std::vector<KeyedFile> TwoBitGrayFiles() {
  std::vector<KeyedFile> files;
  for (const std::uint32_t gamma : {0u, 55556u, 100000u}) {
    for (unsigned key = 0; key < 4; ++key) {
      for (int interlace = 0; interlace <= 1; ++interlace) {
        LibpngImage image;
        image.width = 9;
        image.height = 3;
        image.depth = 2;
        image.color_type = 0;
        image.interlace = interlace;
        for (std::uint8_t y = 0; y < 3; ++y) {
          Bytes row;
          for (std::uint8_t x = 0; x < 9; ++x) row.push_back(static_cast<std::uint8_t>((x + y) % 4));
          image.rows.push_back(row);
        }
        files.push_back({"gray2_gamma" + std::to_string(gamma) + "_key" + std::to_string(key) +
                             (interlace ? "_interlaced" : ""),
                         WithChunks(image, gamma, Sample16(key))});
      }
    }
  }
  return files;
}

// Gamma 1.0 maps 254 and 255 alike: with the key on 254, a pixel of 255 in any channel looks like
// the key without being it.
std::vector<KeyedFile> MergedKeyFiles() {
  const std::vector<std::array<unsigned, 3>> pixels = {
      {0xFE, 0xFE, 0xFE}, {0xFF, 0xFF, 0xFF}, {0xFF, 0xFE, 0xFE}, {0xFE, 0xFE, 0xFF},
      {0x80, 0x40, 0x20}, {0xFE, 0xFE, 0xFE}, {0x00, 0x00, 0x00}, {0xFD, 0xFE, 0xFE}};
  std::vector<KeyedFile> files;
  for (const int depth : {8, 16}) {
    LibpngImage image;
    image.width = static_cast<std::uint32_t>(pixels.size());
    image.height = 2;
    image.depth = depth;
    image.color_type = 2;
    for (std::uint32_t y = 0; y < image.height; ++y) {
      Bytes row;
      for (const auto& p : pixels) {
        for (const unsigned c : p) {
          if (depth == 16) {
            // The second row differs from the first only in the low bytes.
            const Bytes sample = Sample16(c << 8 | (y == 0 ? c : c ^ 1));
            row.insert(row.end(), sample.begin(), sample.end());
          } else {
            row.push_back(static_cast<std::uint8_t>(c));
          }
        }
      }
      image.rows.push_back(row);
    }
    const unsigned key = depth == 16 ? 0xFEFE : 0xFE;
    Bytes transparency;
    for (int c = 0; c < 3; ++c) {
      const Bytes sample = Sample16(key);
      transparency.insert(transparency.end(), sample.begin(), sample.end());
    }
    files.push_back({"rgb" + std::to_string(depth) + "_gamma100000_key_on_merged_level",
                     WithChunks(image, 100000, transparency)});
  }
  return files;
}

std::vector<KeyedFile> AllKeyedFiles() {
  std::vector<KeyedFile> files = CommittedKeyedFiles();
  for (auto& made : {TwoBitGrayFiles(), MergedKeyFiles()}) files.insert(files.end(), made.begin(), made.end());
  return files;
}

std::vector<unsigned> LibpngAlpha(const Bytes& file) {
  const LibpngImage image = pngtest::LibpngRead(file, pngtest::LibpngOutput::kRgba8);
  std::vector<unsigned> alpha;
  for (std::size_t y = 0; y < image.height; ++y)
    for (std::size_t x = 0; x < image.width; ++x) alpha.push_back(image.Sample(y, x, 3));
  return alpha;
}

constexpr TColor kBackgrounds[] = {Rgb(0x30, 0x60, 0xC0), Rgb(0xF0, 0xE0, 0x0D)};

class PngSaveKeepsTransparency : public testing::TestWithParam<KeyedFile> {};

TEST_P(PngSaveKeepsTransparency, PictureFileAndReloadDrawAlike) {
  const Bytes& original = GetParam().bytes;
  auto picture = pngtest::Load(original);
  const std::uint8_t depth = picture->Header()->BitDepth;
  std::vector<std::vector<TColor>> drawn;
  for (const TColor background : kBackgrounds) drawn.push_back(DrawnOver(*picture, background));

  const Bytes saved = pngtest::Save(*picture);
  EXPECT_EQ(picture->Header()->BitDepth, depth);
  EXPECT_EQ(pngtest::Save(*picture), saved) << "a second save writes the same file";
  auto reloaded = pngtest::Load(saved);
  for (std::size_t i = 0; i < std::size(kBackgrounds); ++i) {
    SCOPED_TRACE(kBackgrounds[i]);
    EXPECT_EQ(DrawnOver(*picture, kBackgrounds[i]), drawn[i]) << "the picture after its save";
    EXPECT_EQ(DrawnOver(*reloaded, kBackgrounds[i]), drawn[i]) << "the saved file";
  }
  EXPECT_EQ(LibpngAlpha(saved), LibpngAlpha(original));
}

INSTANTIATE_TEST_SUITE_P(Files, PngSaveKeepsTransparency, testing::ValuesIn(AllKeyedFiles()),
                         [](const testing::TestParamInfo<KeyedFile>& info) { return info.param.name; });

// Eleven files of the conformance suite and five crashers carry a tRNS chunk.
TEST(PngSaveKeepsTransparencyFiles, EveryCommittedKeyedFileIsTried) {
  EXPECT_EQ(CommittedKeyedFiles().size(), 16u);
}

// The key of a 2-bit gray picture is written as the 4-bit level its pixels are written as.
TEST(PngSaveKeepsTransparencyFiles, TwoBitGrayKeyIsWrittenAsItsFourBitLevel) {
  for (unsigned key = 0; key < 4; ++key) {
    SCOPED_TRACE(key);
    auto picture = pngtest::Load(TwoBitGrayFiles()[2 * key].bytes);
    const std::vector<pngtest::RawChunk> saved = pngtest::SplitChunks(pngtest::Save(*picture));
    ASSERT_EQ(saved[0].name, "IHDR");
    EXPECT_EQ(saved[0].data[8], 4);
    const auto trns = std::find_if(saved.begin(), saved.end(), [](const auto& c) { return c.name == "tRNS"; });
    ASSERT_NE(trns, saved.end());
    EXPECT_EQ(trns->data, Sample16(5 * key));
  }
}

}  // namespace
}  // namespace dashtune
