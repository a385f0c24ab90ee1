// BMP files: the byte layout of the file header, the info header, the colour table and the pixel
// rows, read into and written from a plain image record. Reading checks every length against what
// the source still holds; nothing is allocated on a header's word alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/gdi/dib_rows.h"

namespace dashtune::bmp {

// One colour-table entry in file order (blue, green, red, reserved).
struct Quad {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  std::uint8_t reserved = 0;
  friend bool operator==(const Quad&, const Quad&) = default;
};

enum class RowOrder { BottomUp, TopDown };

// Pixels exactly as a DIB holds them: rows of win::gdi::DibRowStride bytes in storage order.
struct Image {
  std::int32_t width = 0;
  std::int32_t height = 0;  // always positive; the order is in row_order
  RowOrder row_order = RowOrder::BottomUp;
  int bits_per_pixel = 0;   // 1, 4, 8, 24 or 32
  std::vector<Quad> colors; // at most 2^bits_per_pixel entries, only below 16 bits
  std::vector<std::uint8_t> bits;

  // Address of the row counted from the top, whatever the storage order.
  std::uint8_t* TopRow(int row);
  const std::uint8_t* TopRow(int row) const;
};

// A malformed or unsupported file; the text says what is wrong.
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::uint16_t kSignature = 0x4D42;  // "BM"
// The largest pixel block accepted, so a hostile header cannot ask for unbounded memory.
constexpr std::uint64_t kMaxPixelBytes = std::uint64_t{1} << 28;

// An image of the size and depth without its pixel block (bits empty); FormatError when out of
// range.
Image MakeLayout(std::int32_t width, std::int32_t height, int bits_per_pixel, RowOrder order);
// A blank image of the size and depth with a zeroed pixel block; FormatError when out of range.
Image MakeImage(std::int32_t width, std::int32_t height, int bits_per_pixel, RowOrder order);
// Bytes of the pixel block of an image of the layout.
std::size_t PixelBytes(const Image& layout);

// Reads up to `size` bytes into `buffer`, answering how many were read (0 at the end).
using ReadFunction = std::function<std::size_t(void* buffer, std::size_t size)>;

// Reads one BMP file (file header first). Accepts the 40-, 108- and 124-byte info headers;
// BI_RGB at 1, 4, 8, 24 and 32 bits; 16-bit pixels (5-5-5, or any masks) widened to 24 bits;
// BI_BITFIELDS at 32 bits (other masks than 8-8-8 are converted); RLE8 and RLE4 decoded to
// plain 8 and 4 bits.
Image Read(const ReadFunction& read);
// Where the pixel rows of a file go: called once the headers are read, with the image's layout
// (bits empty) and how many bytes the rows still take from the source; answers a block of
// PixelBytes(layout) bytes. It may throw, to refuse a block the source cannot fill.
using PlaceFunction = std::function<std::uint8_t*(const Image& layout, std::uint64_t bytes_to_read)>;
// Reads one BMP file as Read does, but stores the rows in the block `place` answers, without a
// copy of their own where they are stored plainly; the image answered has no bits.
Image ReadInPlace(const ReadFunction& read, const PlaceFunction& place);
// Reads an info header, its colour table and the rows that follow at once (no file header).
// With `icon_height` the header's height counts the image and its mask, and the image is the
// first half.
Image ReadDib(const ReadFunction& read, bool icon_height);
// Reads the BMP file held in `data`.
Image Read(const std::uint8_t* data, std::size_t size);
// The complete file: file header, 40-byte info header (negative height for top-down rows),
// the colour table and the rows as stored.
std::vector<std::uint8_t> Write(const Image& image);

// The info header (height multiplied by `height_factor`), the colour table and the rows.
std::vector<std::uint8_t> WriteDib(const Image& image, int height_factor);

// Little-endian fields, as every word of the file is stored.
std::uint16_t Get16(const std::uint8_t* p);
std::uint32_t Get32(const std::uint8_t* p);
void Put16(std::vector<std::uint8_t>& out, std::uint32_t v);
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v);

// Colour-table index of pixel x of a row at 1, 4 or 8 bits (the first pixel in the high bits).
int RowIndex(const std::uint8_t* row, int x, int bits);
void SetRowIndex(std::uint8_t* row, int x, int bits, int index);
// Colour of pixel x of a row, as red | green << 8 | blue << 16 (0 for indices past the table).
std::uint32_t RowPixelRGB(const std::uint8_t* row, int x, int bits, const std::vector<Quad>& colors);
// Colour of pixel (x, y), counted from the top, as red | green << 8 | blue << 16.
std::uint32_t PixelRGB(const Image& image, int x, int y);
// Stores the colour at (x, y); below 16 bits the nearest colour-table entry is stored.
void SetPixelRGB(Image& image, int x, int y, std::uint32_t rgb);
// Index of the entry nearest to the colour (squared distance), the lowest index on ties.
int NearestIndex(const std::vector<Quad>& colors, std::uint32_t rgb);
// The same pixels at another depth; `colors` is the colour table for depths below 16 bits.
Image Convert(const Image& source, int bits_per_pixel, const std::vector<Quad>& colors);

}  // namespace dashtune::bmp
