// BMP byte layouts, pixel access at every depth, hostile headers, and round trips through
// ImageMagick's convert as an independent reader and writer.
#include "classlib/bmp_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace dashtune::bmp {
namespace {

std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t Get16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::vector<Quad> FourColours() {
  return {{0, 0, 0, 0}, {0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}};
}

// The colour a test pixel at (x, y) gets: drawn from the table, so every depth can hold it.
std::uint32_t PatternRGB(int x, int y, int bits) {
  static const std::uint32_t kColours[] = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
  const int count = bits == 1 ? 2 : 4;
  return kColours[(x * 3 + y) % count];
}

Image PatternImage(int width, int height, int bits, RowOrder order) {
  Image image = MakeImage(width, height, bits, order);
  if (bits <= 8) image.colors = bits == 1 ? std::vector<Quad>{{0, 0, 0, 0}, {0, 0, 255, 0}} : FourColours();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) SetPixelRGB(image, x, y, PatternRGB(x, y, bits));
  return image;
}

struct LayoutCase {
  int bits;
  RowOrder order;
};

class BmpLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(BmpLayoutTest, WritesHeadersRowsAndPaddingAndReadsThemBack) {
  const auto [bits, order] = GetParam();
  const int width = 5, height = 3;
  const Image image = PatternImage(width, height, bits, order);
  const std::vector<std::uint8_t> file = Write(image);

  const std::size_t stride = (width * bits + 31) / 32 * 4;
  const std::size_t colours = bits == 1 ? 2 : bits <= 8 ? 4 : 0;
  const std::size_t offset = 14 + 40 + 4 * colours;
  ASSERT_EQ(file.size(), offset + stride * height);
  EXPECT_EQ(Get16(file, 0), 0x4D42);
  EXPECT_EQ(Get32(file, 2), file.size());
  EXPECT_EQ(Get32(file, 6), 0u);
  EXPECT_EQ(Get32(file, 10), offset);
  EXPECT_EQ(Get32(file, 14), 40u);
  EXPECT_EQ(static_cast<std::int32_t>(Get32(file, 18)), width);
  EXPECT_EQ(static_cast<std::int32_t>(Get32(file, 22)), order == RowOrder::TopDown ? -height : height);
  EXPECT_EQ(Get16(file, 26), 1);
  EXPECT_EQ(Get16(file, 28), bits);
  EXPECT_EQ(Get32(file, 30), 0u);
  EXPECT_EQ(Get32(file, 34), stride * height);
  // A full colour table is written with a used count of 0; a partial one names its size.
  EXPECT_EQ(Get32(file, 46), colours == (bits <= 8 ? (1u << bits) : 0u) ? 0u : colours);

  // The first stored row is the top row for top-down files and the bottom row otherwise.
  const int first_stored = order == RowOrder::TopDown ? 0 : height - 1;
  const std::uint8_t* stored = file.data() + offset;
  const std::uint32_t first = PatternRGB(0, first_stored, bits);
  if (bits == 24 || bits == 32) {
    EXPECT_EQ(stored[0] | (stored[1] << 8) | (stored[2] << 16),
              static_cast<int>(((first & 0xFF) << 16) | (first & 0xFF00) | (first >> 16)));
  } else {
    const int index = NearestIndex(image.colors, first);
    const int stored_index = bits == 8 ? stored[0] : stored[0] >> (8 - bits);
    EXPECT_EQ(stored_index, index);
  }

  const Image back = Read(file.data(), file.size());
  EXPECT_EQ(back.width, width);
  EXPECT_EQ(back.height, height);
  EXPECT_EQ(back.row_order, order);
  EXPECT_EQ(back.bits_per_pixel, bits);
  EXPECT_EQ(back.colors, image.colors);
  EXPECT_EQ(back.bits, image.bits);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) EXPECT_EQ(PixelRGB(back, x, y), PatternRGB(x, y, bits)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(EveryDepthAndOrder, BmpLayoutTest,
                         ::testing::Values(LayoutCase{1, RowOrder::BottomUp}, LayoutCase{1, RowOrder::TopDown},
                                           LayoutCase{4, RowOrder::BottomUp}, LayoutCase{4, RowOrder::TopDown},
                                           LayoutCase{8, RowOrder::BottomUp}, LayoutCase{8, RowOrder::TopDown},
                                           LayoutCase{24, RowOrder::BottomUp}, LayoutCase{24, RowOrder::TopDown},
                                           LayoutCase{32, RowOrder::BottomUp}, LayoutCase{32, RowOrder::TopDown}));

TEST(BmpPixels, PackedIndicesPutTheFirstPixelInTheHighBits) {
  Image image = MakeImage(9, 1, 1, RowOrder::TopDown);
  image.colors = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  SetPixelRGB(image, 0, 0, 0xFFFFFF);
  SetPixelRGB(image, 8, 0, 0xFFFFFF);
  EXPECT_EQ(image.bits[0], 0x80);
  EXPECT_EQ(image.bits[1], 0x80);
  Image nibbles = MakeImage(3, 1, 4, RowOrder::TopDown);
  nibbles.colors = FourColours();
  SetPixelRGB(nibbles, 0, 0, 0x0000FF);  // red: entry 1
  SetPixelRGB(nibbles, 1, 0, 0xFF0000);  // blue: entry 3
  EXPECT_EQ(nibbles.bits[0], 0x13);
}

TEST(BmpPixels, NearestIndexTakesTheLowestIndexOnTies) {
  const std::vector<Quad> colours = {{0, 0, 100, 0}, {0, 0, 200, 0}, {0, 0, 100, 0}};
  EXPECT_EQ(NearestIndex(colours, 150), 0);
  EXPECT_EQ(NearestIndex(colours, 151), 1);
  EXPECT_EQ(NearestIndex({}, 0), -1);
}

TEST(BmpPixels, ConvertKeepsColoursAcrossEveryDepth) {
  const Image source = PatternImage(7, 4, 24, RowOrder::BottomUp);
  for (int bits : {32, 8, 4}) {
    const Image converted = Convert(source, bits, FourColours());
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 7; ++x) EXPECT_EQ(PixelRGB(converted, x, y), PatternRGB(x, y, 24)) << bits;
  }
  Image grays = MakeImage(3, 1, 24, RowOrder::TopDown);
  SetPixelRGB(grays, 0, 0, 0x7F7F7F);
  SetPixelRGB(grays, 1, 0, 0x808080);
  SetPixelRGB(grays, 2, 0, 0x0000FF);
  const Image mono = Convert(grays, 1, {{0, 0, 0, 0}, {255, 255, 255, 0}});
  EXPECT_EQ(mono.bits[0], 0x40);  // only the lighter middle gray is nearer white
}

std::vector<std::uint8_t> ValidFile() { return Write(PatternImage(5, 3, 8, RowOrder::BottomUp)); }

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct HostileCase {
  const char* name;
  std::function<void(std::vector<std::uint8_t>&)> damage;
};

TEST(BmpHostile, MalformedFilesAreRefusedWithoutOverreading) {
  const std::vector<HostileCase> cases = {
      {"bad signature", [](auto& b) { b[0] = 'X'; }},
      {"truncated pixels", [](auto& b) { b.pop_back(); }},
      {"truncated header", [](auto& b) { b.resize(30); }},
      {"header size 20", [](auto& b) { Put32(b, 14, 20); }},
      {"zero width", [](auto& b) { Put32(b, 18, 0); }},
      {"negative width", [](auto& b) { Put32(b, 18, 0xFFFFFFFF); }},
      {"zero height", [](auto& b) { Put32(b, 22, 0); }},
      {"most negative height", [](auto& b) { Put32(b, 22, 0x80000000); }},
      {"enormous size", [](auto& b) { Put32(b, 18, 0x7FFFFFFF); Put32(b, 22, 0x7FFFFFFF); }},
      {"depth 2", [](auto& b) { b[28] = 2; }},
      {"depth 0", [](auto& b) { b[28] = 0; }},
      {"two planes", [](auto& b) { b[26] = 2; }},
      {"run-length at 24 bits", [](auto& b) { Put32(b, 30, 1); b[28] = 24; }},
      {"run-length without a size", [](auto& b) { Put32(b, 30, 1); Put32(b, 34, 0); }},
      {"run-length top-down", [](auto& b) { Put32(b, 30, 1); Put32(b, 22, static_cast<std::uint32_t>(-3)); }},
      {"run-length data past the end", [](auto& b) { Put32(b, 30, 1); Put32(b, 34, 0x100000); }},
      {"run-length image far larger than its data",
       [](auto& b) { Put32(b, 30, 1); Put32(b, 18, 8000); Put32(b, 22, 8000); }},
      {"16-bit masks with a gap", [](auto& b) { b[28] = 16; Put32(b, 30, 3); Put32(b, 54, 0xF0F0); }},
      {"bit fields at 8 bits", [](auto& b) { Put32(b, 30, 3); }},
      {"too many colours", [](auto& b) { Put32(b, 46, 257); }},
      {"pixel offset inside headers", [](auto& b) { Put32(b, 10, 20); }},
      {"pixel offset past the end", [](auto& b) { Put32(b, 10, 0x10000000); }},
  };
  for (const auto& c : cases) {
    std::vector<std::uint8_t> file = ValidFile();
    c.damage(file);
    // A copy of exactly the damaged size lets AddressSanitizer catch any read past the end.
    auto* exact = new std::uint8_t[file.size()];
    std::copy(file.begin(), file.end(), exact);
    EXPECT_THROW(Read(exact, file.size()), FormatError) << c.name;
    delete[] exact;
  }
}

TEST(BmpHostile, MakeImageRefusesZeroNegativeAndEnormousSizes) {
  EXPECT_THROW(MakeImage(0, 1, 24, RowOrder::BottomUp), FormatError);
  EXPECT_THROW(MakeImage(1, -1, 24, RowOrder::BottomUp), FormatError);
  EXPECT_THROW(MakeImage(100000, 100000, 32, RowOrder::BottomUp), FormatError);
  EXPECT_THROW(MakeImage(4, 4, 16, RowOrder::BottomUp), FormatError);
}

TEST(BmpRead, SkipsAGapBeforeThePixelsAndReadsABitFieldsHeader) {
  Image image = PatternImage(2, 2, 32, RowOrder::TopDown);
  std::vector<std::uint8_t> file = Write(image);
  // Turn the header into BI_BITFIELDS with the three standard masks and a 4-byte gap.
  Put32(file, 30, 3);
  const std::uint8_t masks[] = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE};
  file.insert(file.begin() + 54, std::begin(masks), std::end(masks));
  Put32(file, 10, 54 + sizeof masks);
  const Image back = Read(file.data(), file.size());
  EXPECT_EQ(back.bits, image.bits);
}

// A BMP file around the given info-header fields, colour table and pixel data.
std::vector<std::uint8_t> FileWith(int width, int height, int bits, std::uint32_t compression,
                                   const std::vector<std::uint8_t>& table, const std::vector<std::uint8_t>& data) {
  Image shape = MakeImage(1, 1, 24, RowOrder::BottomUp);
  std::vector<std::uint8_t> file = Write(shape);
  file.resize(54);
  Put32(file, 18, static_cast<std::uint32_t>(width));
  Put32(file, 22, static_cast<std::uint32_t>(height));
  file[28] = static_cast<std::uint8_t>(bits);
  Put32(file, 30, compression);
  Put32(file, 34, static_cast<std::uint32_t>(data.size()));
  Put32(file, 46, static_cast<std::uint32_t>(table.size() / 4));
  file.insert(file.end(), table.begin(), table.end());
  Put32(file, 10, static_cast<std::uint32_t>(file.size()));
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

std::string Indices(const Image& image, int bits) {
  std::string text;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) text += static_cast<char>('0' + RowIndex(image.TopRow(y), x, bits));
    text += '/';
  }
  return text;
}

TEST(BmpRunLength, EightBitRunsLiteralsDeltasAndLineEnds) {
  const std::vector<std::uint8_t> table(4 * 8, 0);
  const std::vector<std::uint8_t> data = {
      3, 5,              // bottom row: three 5s
      0, 3, 1, 2, 3, 0,  // literal 1 2 3, padded to even
      0, 0,              // end of line
      0, 2, 2, 1,        // move two right, one up: third row from the bottom
      9, 7,              // a run past the right edge is clipped
      0, 1};             // end of bitmap
  const std::vector<std::uint8_t> file = FileWith(6, 3, 8, 1, table, data);
  const Image image = Read(file.data(), file.size());
  EXPECT_EQ(image.bits_per_pixel, 8);
  EXPECT_EQ(Indices(image, 8), "007777/000000/555123/");
}

TEST(BmpRunLength, FourBitRunsAlternateNibbles) {
  const std::vector<std::uint8_t> table(4 * 16, 0);
  const std::vector<std::uint8_t> data = {5, 0x12, 0, 3, 0x34, 0x50, 0, 1};
  const std::vector<std::uint8_t> file = FileWith(9, 1, 4, 2, table, data);
  const Image image = Read(file.data(), file.size());
  EXPECT_EQ(Indices(image, 4), "121213450/");
}

TEST(BmpRunLength, ALiteralPastTheDataFails) {
  const std::vector<std::uint8_t> table(4 * 2, 0);
  const std::vector<std::uint8_t> file = FileWith(4, 1, 8, 1, table, {0, 9, 1, 2});
  EXPECT_THROW(Read(file.data(), file.size()), FormatError);
}

TEST(BmpMasks, SixteenBitPixelsWidenToTwentyFourBits) {
  // 5-5-5 without masks: white, pure red, mid green (16 of 31 -> 132), blue.
  const std::vector<std::uint8_t> data = {0xFF, 0x7F, 0x00, 0x7C, 0x00, 0x02, 0x1F, 0x00};
  const std::vector<std::uint8_t> file = FileWith(4, 1, 16, 0, {}, data);
  const Image image = Read(file.data(), file.size());
  EXPECT_EQ(image.bits_per_pixel, 24);
  EXPECT_EQ(PixelRGB(image, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(PixelRGB(image, 1, 0), 0x0000FFu);
  EXPECT_EQ(PixelRGB(image, 2, 0), 0x008400u);
  EXPECT_EQ(PixelRGB(image, 3, 0), 0xFF0000u);
}

// Reading in place puts the same rows where the caller says, once; plain rows are read there
// directly (the place is told how many bytes are still to come), converted ones are handed over
// whole.
TEST(BmpReadInPlace, PutsTheRowsOfEveryEncodingWhereThePlaceSays) {
  const struct {
    const char* name;
    std::vector<std::uint8_t> file;
    std::uint64_t bytes_to_read;
  } cases[] = {
      {"plain 8-bit", Write(PatternImage(5, 3, 8, RowOrder::BottomUp)), 8 * 3},
      {"plain 32-bit top-down", Write(PatternImage(3, 2, 32, RowOrder::TopDown)), 12 * 2},
      {"16-bit masks", FileWith(4, 1, 16, 0, {}, {0xFF, 0x7F, 0x00, 0x7C, 0x00, 0x02, 0x1F, 0x00}), 0},
      {"run-length", FileWith(6, 2, 8, 1, std::vector<std::uint8_t>(4 * 8, 0), {3, 5, 0, 0, 2, 7, 0, 1}), 0},
  };
  for (const auto& c : cases) {
    const Image expected = Read(c.file.data(), c.file.size());
    std::size_t position = 0;
    const ReadFunction read = [&](void* buffer, std::size_t wanted) {
      const std::size_t n = std::min(wanted, c.file.size() - position);
      std::memcpy(buffer, c.file.data() + position, n);
      position += n;
      return n;
    };
    std::vector<std::uint8_t> block;
    int calls = 0;
    const Image layout = ReadInPlace(read, [&](const Image& shape, std::uint64_t bytes_to_read) {
      ++calls;
      EXPECT_TRUE(shape.bits.empty()) << c.name;
      EXPECT_EQ(bytes_to_read, c.bytes_to_read) << c.name;
      block.assign(PixelBytes(shape), 0xAA);
      return block.data();
    });
    EXPECT_EQ(calls, 1) << c.name;
    EXPECT_TRUE(layout.bits.empty()) << c.name;
    EXPECT_EQ(layout.width, expected.width) << c.name;
    EXPECT_EQ(layout.bits_per_pixel, expected.bits_per_pixel) << c.name;
    EXPECT_EQ(layout.colors, expected.colors) << c.name;
    EXPECT_EQ(block, expected.bits) << c.name;
    EXPECT_EQ(position, c.file.size()) << c.name;
  }
}

TEST(BmpReadInPlace, APlaceThatRefusesStopsTheReadBeforeTheRows) {
  const std::vector<std::uint8_t> file = Write(PatternImage(4, 4, 24, RowOrder::BottomUp));
  std::size_t position = 0;
  const ReadFunction read = [&](void* buffer, std::size_t wanted) {
    const std::size_t n = std::min(wanted, file.size() - position);
    std::memcpy(buffer, file.data() + position, n);
    position += n;
    return n;
  };
  EXPECT_THROW(ReadInPlace(read, [](const Image&, std::uint64_t) -> std::uint8_t* { throw FormatError("no room"); }),
               FormatError);
  EXPECT_EQ(position, 54u);
}

// Seeded mutations of valid files: every outcome is an image or FormatError, never a read
// outside the buffer (AddressSanitizer watches the exact-size copies).
TEST(BmpFuzz, MutatedFilesNeverReadOutOfBounds) {
  std::vector<std::vector<std::uint8_t>> seeds;
  for (int bits : {1, 4, 8, 24, 32}) seeds.push_back(Write(PatternImage(7, 5, bits, RowOrder::BottomUp)));
  seeds.push_back(FileWith(6, 3, 8, 1, std::vector<std::uint8_t>(32, 0),
                           {3, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 9, 7, 0, 1}));
  seeds.push_back(FileWith(4, 1, 16, 0, {}, {0xFF, 0x7F, 0x00, 0x7C, 0x00, 0x02, 0x1F, 0x00}));
  std::uint32_t state = 12345;
  const auto next = [&] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  int decoded = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> file = seeds[next() % seeds.size()];
    const int changes = 1 + next() % 4;
    for (int c = 0; c < changes; ++c) {
      switch (next() % 3) {
        case 0: file[next() % file.size()] = static_cast<std::uint8_t>(next()); break;
        case 1: file.resize(next() % (file.size() + 1)); break;
        default: if (file.size() > 40) file[14 + next() % 40] ^= static_cast<std::uint8_t>(1u << (next() % 8)); break;
      }
      if (file.empty()) file.push_back(0);
    }
    auto* exact = new std::uint8_t[file.size()];
    std::copy(file.begin(), file.end(), exact);
    try {
      const Image image = Read(exact, file.size());
      EXPECT_EQ(image.bits.size(), win::gdi::DibRowStride(image.width, image.bits_per_pixel) * image.height);
      ++decoded;
    } catch (const FormatError&) {
    }
    delete[] exact;
  }
  EXPECT_GT(decoded, 0);
}

// --- ImageMagick as the independent peer -------------------------------------------------

std::string TempPath(const std::string& name) { return ::testing::TempDir() + "dashtune_bmp_" + name; }

bool RunShell(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

std::vector<std::uint8_t> Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Spit(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
}

// A picture with `colours` distinct colours, so the peer chooses the depth it is asked for.
std::vector<std::uint8_t> RawPicture(int width, int height, int colours) {
  std::vector<std::uint8_t> rgb;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int c = (x + y * width) % colours;
      rgb.insert(rgb.end(), {static_cast<std::uint8_t>(c * 255 / std::max(colours - 1, 1)),
                             static_cast<std::uint8_t>(c * 37 % 256), static_cast<std::uint8_t>(200 - c)});
    }
  return rgb;
}

struct PeerCase {
  int bits;
  int colours;
  const char* options;
};

class BmpPeerIntegrationTest : public ::testing::TestWithParam<PeerCase> {
 protected:
  void SetUp() override {
    if (!RunShell("convert -version >/dev/null")) GTEST_SKIP() << "ImageMagick convert is not installed";
  }
};

TEST_P(BmpPeerIntegrationTest, ReadsWhatThePeerWritesAndThePeerReadsWhatWeWrite) {
  const auto [bits, colours, options] = GetParam();
  const int width = 13, height = 5;
  const std::vector<std::uint8_t> raw = RawPicture(width, height, colours);
  const std::string tag = std::to_string(bits);
  Spit(TempPath(tag + ".rgb"), raw);
  ASSERT_TRUE(RunShell("convert -size 13x5 -depth 8 rgb:" + TempPath(tag + ".rgb") + " " + options + " -compress None BMP3:" +
                  TempPath(tag + ".bmp")));

  const std::vector<std::uint8_t> peer_file = Slurp(TempPath(tag + ".bmp"));
  const Image image = Read(peer_file.data(), peer_file.size());
  ASSERT_EQ(image.bits_per_pixel, bits);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = raw.data() + 3 * (y * width + x);
      EXPECT_EQ(PixelRGB(image, x, y), static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)))
          << x << "," << y;
    }

  for (RowOrder order : {RowOrder::BottomUp, RowOrder::TopDown}) {
    Image ours = image;
    if (order != image.row_order) {
      ours = MakeImage(width, height, bits, order);
      ours.colors = image.colors;
      for (int y = 0; y < height; ++y)
        std::copy_n(image.TopRow(y), win::gdi::DibRowStride(width, bits), ours.TopRow(y));
    }
    const std::string ours_path = TempPath(tag + (order == RowOrder::TopDown ? "td" : "bu") + ".bmp");
    Spit(ours_path, Write(ours));
    ASSERT_TRUE(RunShell("convert " + ours_path + " -depth 8 rgb:" + TempPath(tag + ".out")));
    EXPECT_EQ(Slurp(TempPath(tag + ".out")), raw) << (order == RowOrder::TopDown ? "top-down" : "bottom-up");
  }
}

INSTANTIATE_TEST_SUITE_P(EveryDepth, BmpPeerIntegrationTest,
                         ::testing::Values(PeerCase{1, 2, "-type Palette"},
                                           PeerCase{4, 9, "-type Palette"},
                                           PeerCase{8, 40, "-type Palette"},
                                           PeerCase{24, 65, "-type TrueColor"},
                                           PeerCase{32, 65, "-alpha on -define bmp3:alpha=true"}));

struct DecodeCase {
  const char* name;
  const char* options;
};

class BmpPeerDecodeIntegrationTest : public ::testing::TestWithParam<DecodeCase> {
 protected:
  void SetUp() override {
    if (!RunShell("convert -version >/dev/null")) GTEST_SKIP() << "ImageMagick convert is not installed";
  }
};

// The peer writes a compressed or 16-bit file; its own reading of that file is the truth.
TEST_P(BmpPeerDecodeIntegrationTest, DecodesLikeThePeer) {
  const auto [name, options] = GetParam();
  const int width = 13, height = 5;
  const std::string tag = std::string("decode_") + name;
  Spit(TempPath(tag + ".rgb"), RawPicture(width, height, 40));
  ASSERT_TRUE(RunShell("convert -size 13x5 -depth 8 rgb:" + TempPath(tag + ".rgb") + " " + options +
                       TempPath(tag + ".bmp")));
  ASSERT_TRUE(RunShell("convert " + TempPath(tag + ".bmp") + " -depth 8 rgb:" + TempPath(tag + ".truth")));
  const std::vector<std::uint8_t> truth = Slurp(TempPath(tag + ".truth"));
  const std::vector<std::uint8_t> file = Slurp(TempPath(tag + ".bmp"));
  const Image image = Read(file.data(), file.size());
  ASSERT_EQ(truth.size(), static_cast<std::size_t>(3 * width * height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = truth.data() + 3 * (y * width + x);
      EXPECT_EQ(PixelRGB(image, x, y), static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16))) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(CompressedAndSixteenBit, BmpPeerDecodeIntegrationTest,
                         ::testing::Values(DecodeCase{"rle8", "-type Palette -compress RLE BMP3:"},
                                           DecodeCase{"rgb565", "-define bmp:subtype=RGB565 BMP:"},
                                           DecodeCase{"rgb555", "-define bmp:subtype=RGB555 BMP:"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dashtune::bmp
