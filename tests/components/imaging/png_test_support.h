// Helpers of the PNG tests: files made chunk by chunk, libpng as reader and writer, loading.
// Files made chunk by chunk, libpng as the independent reader and writer, loading through the
// codec from memory, and drawings compared with libpng's pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/bitmap.h"
#include "components/imaging/png/png_picture.h"

namespace dashtune::pngtest {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFileBytes(const std::string& path);
// A file of tests/fixtures/png/crashers by name.
Bytes CrasherFile(const std::string& name);
// All .png files under a folder of the conformance suite, sorted.
std::vector<std::string> SuiteFiles(const std::string& folder);

// One chunk record: length, name, data and CRC (computed by zlib, not by the codec).
Bytes Chunk(const std::string& name, const Bytes& data);
Bytes Signature();
Bytes Concat(std::initializer_list<Bytes> parts);
Bytes Ihdr(std::uint32_t width, std::uint32_t height, int depth, int color_type, int interlace = 0);
Bytes BigEndian(std::uint32_t value);
// A zlib stream of the bytes.
Bytes Deflate(const Bytes& raw, int level = 6);

// Splits a file's chunks into records; rebuilds a file from records.
struct RawChunk {
  std::string name;
  Bytes data;
};
std::vector<RawChunk> SplitChunks(const Bytes& file);
Bytes JoinChunks(const std::vector<RawChunk>& chunks);
// The same file with its image data cut into IDAT chunks of the given sizes (the last size repeats).
Bytes Rechunk(const Bytes& file, const std::vector<std::size_t>& sizes);

// An image as libpng reads it: samples unpacked to one byte (depths below 8), 16-bit samples as
// two bytes big-endian; rows of the full image (interlacing undone).
struct LibpngImage {
  std::uint32_t width = 0, height = 0;
  int color_type = 0, depth = 0, interlace = 0;
  bool has_gamma = false;
  std::uint32_t gamma = 0;  // gamma times 100000
  int filter = -1;          // when writing: the one row filter of every row, or -1 for libpng's choice
  std::vector<Bytes> rows;
  std::size_t Channels() const;
  // Sample c of pixel x in row y, as stored (8-bit value, or 16-bit value).
  unsigned Sample(std::size_t y, std::size_t x, std::size_t c) const;
};
// What libpng is asked to give: the samples as stored, or every pixel as 8-bit red, green, blue
// and alpha (palette and gray expanded, the tRNS chunk as alpha, 16-bit samples cut to their
// high byte).
enum class LibpngOutput { kSamples, kRgba8 };
// Throws std::runtime_error with libpng's message on failure.
LibpngImage LibpngRead(const Bytes& file, LibpngOutput output = LibpngOutput::kSamples);
// Writes samples (same layout as LibpngImage rows) with libpng, as one IDAT stream.
Bytes LibpngWrite(const LibpngImage& image);

// A file of one image from its rows of samples (filter byte 0 added); the extra chunks go
// between the header and the image data.
Bytes Image(std::uint32_t w, std::uint32_t h, int depth, int type, const std::vector<Bytes>& rows,
            std::initializer_list<Bytes> extra = {});
Bytes Iend();
// A 24-bit bitmap filled with one colour.
std::unique_ptr<TBitmap> Background(int w, int h, TColor color);

constexpr TColor Rgb(unsigned r, unsigned g, unsigned b) { return static_cast<TColor>(r | (g << 8) | (b << 16)); }
// Every pixel of the picture drawn at its own size over a background of one colour, row by row.
std::vector<TColor> DrawnOver(TPNGPicture& picture, TColor background);
// What the picture should draw: libpng's RGBA of the file, colours through the gamma table of
// the gAMA value libpng took, blended over the background by the picture's formula.
std::vector<TColor> LibpngBlendedOver(const Bytes& file, TColor background);

// Loads through TPNGPicture from memory.
std::unique_ptr<TPNGPicture> Load(const Bytes& file);
Bytes Save(TPNGPicture& picture);

// "" when the picture holds the samples as the codec keeps them (palette and gray by index, 2-bit
// gray as 5 x v, colours through the gamma table, 16-bit high bytes in the image and low bytes in
// the extra plane), else the first difference.
std::string CompareWithSamples(const LibpngImage& ref, const TPNGPicture& picture,
                               const std::array<std::uint8_t, 256>& gamma);

// The gamma table the codec should build for a gAMA value (identity for none).
std::array<std::uint8_t, 256> ExpectedGamma(bool has_gamma, std::uint32_t value);

}  // namespace dashtune::pngtest
