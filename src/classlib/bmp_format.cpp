#include "classlib/bmp_format.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace dashtune::bmp {
namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::size_t kV4HeaderSize = 108;
constexpr std::size_t kV5HeaderSize = 124;
// Pixel rows are read in pieces of this size, so a short file fails before a large allocation.
constexpr std::size_t kReadChunk = 1 << 20;

void ReadExactly(const ReadFunction& read, void* buffer, std::size_t size) {
  auto* dest = static_cast<std::uint8_t*>(buffer);
  while (size > 0) {
    const std::size_t got = read(dest, size);
    if (got == 0 || got > size) throw FormatError("BMP data ends early");
    dest += got;
    size -= got;
  }
}

void Skip(const ReadFunction& read, std::uint64_t size) {
  std::uint8_t scratch[256];
  while (size > 0) {
    const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof scratch));
    ReadExactly(read, scratch, piece);
    size -= piece;
  }
}

struct InfoHeader {
  std::int32_t width = 0;
  std::int32_t height = 0;
  int bits = 0;
  std::uint32_t compression = 0;
  std::uint32_t size_image = 0;
  std::uint32_t colors_used = 0;
  std::uint32_t masks[3] = {0, 0, 0};
};

bool StandardMasks(const std::uint32_t (&masks)[3]) {
  return masks[0] == 0x00FF0000 && masks[1] == 0x0000FF00 && masks[2] == 0x000000FF;
}

InfoHeader ReadInfoHeader(const ReadFunction& read, std::uint64_t& consumed) {
  std::uint8_t size_bytes[4];
  ReadExactly(read, size_bytes, 4);
  const std::uint32_t header_size = Get32(size_bytes);
  if (header_size != kInfoHeaderSize && header_size != kV4HeaderSize && header_size != kV5HeaderSize)
    throw FormatError("unsupported BMP info header size");
  std::uint8_t header[kV5HeaderSize] = {};
  ReadExactly(read, header + 4, header_size - 4);
  consumed += header_size;

  InfoHeader info;
  info.width = static_cast<std::int32_t>(Get32(header + 4));
  info.height = static_cast<std::int32_t>(Get32(header + 8));
  if (Get16(header + 12) != 1) throw FormatError("BMP plane count is not 1");
  info.bits = Get16(header + 14);
  info.compression = Get32(header + 16);
  info.size_image = Get32(header + 20);
  info.colors_used = Get32(header + 32);
  if (info.compression == kBiBitfields) {
    std::uint8_t mask_bytes[12];
    const std::uint8_t* masks = header + 40;
    if (header_size == kInfoHeaderSize) {
      ReadExactly(read, mask_bytes, sizeof mask_bytes);
      consumed += sizeof mask_bytes;
      masks = mask_bytes;
    }
    for (int i = 0; i < 3; ++i) info.masks[i] = Get32(masks + 4 * i);
  }
  return info;
}

// How the rows are stored: as the image keeps them, through colour masks (16 and 32 bits, read
// into 24 or 32 bits), or run-length encoded (8 and 4 bits, bottom-up only).
enum class Encoding { Plain, Masked, RunLength };

bool ValidMask(std::uint32_t mask) {
  if (mask == 0) return false;
  while ((mask & 1) == 0) mask >>= 1;
  return (mask & (mask + 1)) == 0 && mask <= 0xFFFF;  // contiguous, at most 16 bits
}

Encoding CheckInfoHeader(InfoHeader& info) {
  if (info.width <= 0 || info.height == 0 || info.height == std::numeric_limits<std::int32_t>::min())
    throw FormatError("invalid BMP dimensions");
  if (info.bits <= 8 && info.colors_used > (1u << info.bits)) throw FormatError("BMP colour table too large");
  if (info.compression == kBiRgb && win::gdi::IsSupportedDepth(info.bits)) return Encoding::Plain;
  if (info.compression == kBiRgb && info.bits == 16) {
    info.masks[0] = 0x7C00;
    info.masks[1] = 0x03E0;
    info.masks[2] = 0x001F;
    return Encoding::Masked;
  }
  if (info.compression == kBiBitfields && info.bits == 32 && StandardMasks(info.masks)) return Encoding::Plain;
  if (info.compression == kBiBitfields && (info.bits == 16 || info.bits == 32) && ValidMask(info.masks[0]) &&
      ValidMask(info.masks[1]) && ValidMask(info.masks[2]))
    return Encoding::Masked;
  if (((info.compression == kBiRle8 && info.bits == 8) || (info.compression == kBiRle4 && info.bits == 4))) {
    if (info.height < 0) throw FormatError("run-length BMP stored top-down");
    if (info.size_image == 0 || info.size_image > kMaxPixelBytes) throw FormatError("invalid run-length data size");
    return Encoding::RunLength;
  }
  throw FormatError("unsupported BMP depth or compression");
}

std::vector<Quad> ReadColorTable(const ReadFunction& read, const InfoHeader& info,
                                 std::uint64_t& consumed) {
  if (info.bits > 8) return {};
  const std::uint32_t count = info.colors_used != 0 ? info.colors_used : (1u << info.bits);
  std::vector<std::uint8_t> raw(std::size_t{count} * 4);
  ReadExactly(read, raw.data(), raw.size());
  consumed += raw.size();
  std::vector<Quad> colors(count);
  for (std::uint32_t i = 0; i < count; ++i)
    colors[i] = Quad{raw[4 * i], raw[4 * i + 1], raw[4 * i + 2], 0};
  return colors;
}

void ReadPixels(const ReadFunction& read, Image& image) {
  const std::size_t total = win::gdi::DibRowStride(image.width, image.bits_per_pixel) * image.height;
  image.bits.clear();
  while (image.bits.size() < total) {
    const std::size_t piece = std::min(kReadChunk, total - image.bits.size());
    const std::size_t at = image.bits.size();
    image.bits.resize(at + piece);
    ReadExactly(read, image.bits.data() + at, piece);
  }
}

// Reads `size` bytes in pieces, so a short source fails before a large allocation.
std::vector<std::uint8_t> ReadBlock(const ReadFunction& read, std::size_t size) {
  std::vector<std::uint8_t> block;
  while (block.size() < size) {
    const std::size_t piece = std::min(kReadChunk, size - block.size());
    const std::size_t at = block.size();
    block.resize(at + piece);
    ReadExactly(read, block.data() + at, piece);
  }
  return block;
}

// A channel value under a mask, widened to 8 bits by repeating its bits (5 bits abcde become
// abcdeabc), so 0 stays 0 and the largest value becomes 255.
std::uint8_t Channel(std::uint32_t value, std::uint32_t mask) {
  int shift = 0;
  while (((mask >> shift) & 1) == 0) ++shift;
  int width = 0;
  while (((mask >> (shift + width)) & 1) != 0) ++width;
  const std::uint32_t channel = (value & mask) >> shift;
  std::uint64_t repeated = 0;
  int filled = 0;
  while (filled < 8) {
    repeated = (repeated << width) | channel;
    filled += width;
  }
  return static_cast<std::uint8_t>(repeated >> (filled - 8));
}

void ReadMaskedPixels(const ReadFunction& read, const InfoHeader& info, Image& image) {
  const std::size_t source_stride = win::gdi::DibRowStride(info.width, info.bits);
  const std::size_t target_stride = win::gdi::DibRowStride(image.width, image.bits_per_pixel);
  const int target_bytes = image.bits_per_pixel / 8;
  image.bits.assign(target_stride * image.height, 0);
  std::vector<std::uint8_t> row(source_stride);
  for (int stored = 0; stored < image.height; ++stored) {
    ReadExactly(read, row.data(), row.size());
    std::uint8_t* out = image.bits.data() + target_stride * stored;
    for (int x = 0; x < image.width; ++x) {
      const std::uint32_t value = info.bits == 16 ? Get16(row.data() + 2 * x) : Get32(row.data() + 4 * x);
      std::uint8_t* pixel = out + static_cast<std::size_t>(x) * target_bytes;
      pixel[0] = Channel(value, info.masks[2]);
      pixel[1] = Channel(value, info.masks[1]);
      pixel[2] = Channel(value, info.masks[0]);
    }
  }
}

// Decodes run-length rows (bottom-up) into the image; runs past the right edge are clipped and
// decoding ends at the last row, at the end marker or at the end of the data.
void DecodeRunLength(const std::vector<std::uint8_t>& data, int bits, Image& image) {
  const std::size_t stride = win::gdi::DibRowStride(image.width, bits);
  image.bits.assign(stride * image.height, 0);
  int x = 0, y = 0;
  const auto put = [&](int index) {
    if (x >= image.width) return;
    SetRowIndex(image.bits.data() + stride * y, x, bits, index);
    ++x;
  };
  std::size_t pos = 0;
  while (pos + 2 <= data.size() && y < image.height) {
    const int count = data[pos], value = data[pos + 1];
    pos += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) put(bits == 8 ? value : ((i & 1) ? (value & 0x0F) : (value >> 4)));
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      return;
    } else if (value == 2) {  // move right and up
      if (pos + 2 > data.size()) throw FormatError("run-length delta ends early");
      x = std::min(x + data[pos], image.width);
      y += data[pos + 1];
      pos += 2;
    } else {  // a literal run of `value` pixels, padded to a 16-bit boundary
      const std::size_t bytes = bits == 8 ? value : (value + 1) / 2;
      if (pos + bytes > data.size()) throw FormatError("run-length literal ends early");
      for (int i = 0; i < value; ++i) {
        const std::uint8_t byte = data[pos + (bits == 8 ? i : i / 2)];
        put(bits == 8 ? byte : ((i & 1) ? (byte & 0x0F) : (byte >> 4)));
      }
      pos += bytes + (bytes & 1);
    }
  }
}

std::uint32_t QuadToRGB(const Quad& q) {
  return static_cast<std::uint32_t>(q.red) | (static_cast<std::uint32_t>(q.green) << 8) |
         (static_cast<std::uint32_t>(q.blue) << 16);
}

void CheckPixel(const Image& image, int x, int y) {
  if (x < 0 || y < 0 || x >= image.width || y >= image.height)
    throw std::out_of_range("pixel outside the image");
}

}  // namespace

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

int RowIndex(const std::uint8_t* row, int x, int bits) {
  switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    default: return row[x];
  }
}

void SetRowIndex(std::uint8_t* row, int x, int bits, int index) {
  switch (bits) {
    case 1: {
      const auto bit = static_cast<std::uint8_t>(0x80 >> (x & 7));
      row[x >> 3] = static_cast<std::uint8_t>(index ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
      break;
    }
    case 4:
      if (x & 1)
        row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0xF0) | (index & 0x0F));
      else
        row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0x0F) | ((index & 0x0F) << 4));
      break;
    default: row[x] = static_cast<std::uint8_t>(index); break;
  }
}

std::uint8_t* Image::TopRow(int row) {
  return const_cast<std::uint8_t*>(static_cast<const Image*>(this)->TopRow(row));
}

const std::uint8_t* Image::TopRow(int row) const {
  const std::size_t stride = win::gdi::DibRowStride(width, bits_per_pixel);
  const int stored = row_order == RowOrder::TopDown ? row : height - 1 - row;
  return bits.data() + stride * static_cast<std::size_t>(stored);
}

Image MakeLayout(std::int32_t width, std::int32_t height, int bits_per_pixel, RowOrder order) {
  if (!win::gdi::IsSupportedDepth(bits_per_pixel)) throw FormatError("unsupported bit depth");
  if (width <= 0 || height <= 0) throw FormatError("invalid image dimensions");
  const std::uint64_t total = static_cast<std::uint64_t>(win::gdi::DibRowStride(width, bits_per_pixel)) *
                              static_cast<std::uint64_t>(height);
  if (total > kMaxPixelBytes) throw FormatError("image too large");
  Image image;
  image.width = width;
  image.height = height;
  image.row_order = order;
  image.bits_per_pixel = bits_per_pixel;
  return image;
}

Image MakeImage(std::int32_t width, std::int32_t height, int bits_per_pixel, RowOrder order) {
  Image image = MakeLayout(width, height, bits_per_pixel, order);
  image.bits.assign(PixelBytes(image), 0);
  return image;
}

std::size_t PixelBytes(const Image& layout) {
  return win::gdi::DibRowStride(layout.width, layout.bits_per_pixel) * static_cast<std::size_t>(layout.height);
}

namespace {

// Reads the info header and colour table; the rows follow after `pixel_offset` (0: at once).
// With `place`, the rows end up in the block it answers instead of the image's bits.
Image ReadDibBody(const ReadFunction& read, std::uint64_t consumed, std::uint32_t pixel_offset,
                  bool icon_height, const PlaceFunction& place = nullptr) {
  InfoHeader info = ReadInfoHeader(read, consumed);
  if (icon_height) {
    if (info.height <= 0 || info.height % 2 != 0) throw FormatError("invalid icon image height");
    info.height /= 2;
  }
  const Encoding encoding = CheckInfoHeader(info);
  const std::int64_t rows = info.height < 0 ? -static_cast<std::int64_t>(info.height) : info.height;
  const int bits = encoding == Encoding::Masked ? (info.bits == 16 ? 24 : 32) : info.bits;
  const std::uint64_t total = static_cast<std::uint64_t>(std::max(win::gdi::DibRowStride(info.width, bits),
                                                                  win::gdi::DibRowStride(info.width, info.bits))) *
                              static_cast<std::uint64_t>(rows);
  if (total > kMaxPixelBytes) throw FormatError("BMP image too large");
  // A few bytes of runs must not make a huge image: no real encoder compresses this far.
  if (encoding == Encoding::RunLength && total > std::uint64_t{info.size_image} * 1024 + (1 << 20))
    throw FormatError("run-length image larger than its data can describe");

  Image image;
  image.width = info.width;
  image.height = static_cast<std::int32_t>(rows);
  image.row_order = info.height < 0 ? RowOrder::TopDown : RowOrder::BottomUp;
  image.bits_per_pixel = bits;
  image.colors = ReadColorTable(read, info, consumed);
  // A zero offset means the rows follow at once; an offset inside the headers is malformed.
  if (pixel_offset != 0) {
    if (pixel_offset < consumed) throw FormatError("BMP pixel offset inside the headers");
    Skip(read, pixel_offset - consumed);
  }
  if (encoding == Encoding::Plain && place) {
    const std::size_t size = PixelBytes(image);
    ReadExactly(read, place(image, size), size);
    return image;
  }
  switch (encoding) {
    case Encoding::Plain: ReadPixels(read, image); break;
    case Encoding::Masked: ReadMaskedPixels(read, info, image); break;
    case Encoding::RunLength: DecodeRunLength(ReadBlock(read, info.size_image), info.bits, image); break;
  }
  if (place) {
    // Converted rows are built apart and handed over once complete.
    std::vector<std::uint8_t> bits = std::move(image.bits);
    image.bits.clear();
    std::memcpy(place(image, 0), bits.data(), bits.size());
  }
  return image;
}

}  // namespace

Image Read(const ReadFunction& read) { return ReadInPlace(read, nullptr); }

Image ReadInPlace(const ReadFunction& read, const PlaceFunction& place) {
  std::uint8_t file_header[kFileHeaderSize];
  ReadExactly(read, file_header, sizeof file_header);
  if (Get16(file_header) != kSignature) throw FormatError("not a BMP file");
  return ReadDibBody(read, kFileHeaderSize, Get32(file_header + 10), false, place);
}

Image ReadDib(const ReadFunction& read, bool icon_height) { return ReadDibBody(read, 0, 0, icon_height); }

Image Read(const std::uint8_t* data, std::size_t size) {
  std::size_t position = 0;
  return Read([&](void* buffer, std::size_t wanted) {
    const std::size_t n = std::min(wanted, size - position);
    if (n > 0) std::memcpy(buffer, data + position, n);
    position += n;
    return n;
  });
}

namespace {

std::size_t WrittenColorCount(const Image& image) {
  const std::size_t max_colors = image.bits_per_pixel <= 8 ? (std::size_t{1} << image.bits_per_pixel) : 0;
  return std::min(image.colors.size(), max_colors);
}

void CheckWritable(const Image& image) {
  if (!win::gdi::IsSupportedDepth(image.bits_per_pixel) || image.width <= 0 || image.height <= 0)
    throw FormatError("invalid image to write");
  if (image.bits.size() != win::gdi::DibRowStride(image.width, image.bits_per_pixel) * image.height)
    throw FormatError("pixel block does not match the size");
}

}  // namespace

std::vector<std::uint8_t> WriteDib(const Image& image, int height_factor) {
  CheckWritable(image);
  const std::size_t color_count = WrittenColorCount(image);
  const std::size_t max_colors = image.bits_per_pixel <= 8 ? (std::size_t{1} << image.bits_per_pixel) : 0;
  std::vector<std::uint8_t> out;
  out.reserve(kInfoHeaderSize + 4 * color_count + image.bits.size());
  Put32(out, kInfoHeaderSize);
  Put32(out, static_cast<std::uint32_t>(image.width));
  const std::int32_t height = image.height * height_factor;
  Put32(out, static_cast<std::uint32_t>(image.row_order == RowOrder::TopDown ? -height : height));
  Put16(out, 1);
  Put16(out, static_cast<std::uint32_t>(image.bits_per_pixel));
  Put32(out, kBiRgb);
  Put32(out, static_cast<std::uint32_t>(image.bits.size()));
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, color_count == max_colors ? 0 : static_cast<std::uint32_t>(color_count));
  Put32(out, 0);
  for (std::size_t i = 0; i < color_count; ++i) {
    const Quad& q = image.colors[i];
    out.insert(out.end(), {q.blue, q.green, q.red, 0});
  }
  out.insert(out.end(), image.bits.begin(), image.bits.end());
  return out;
}

std::vector<std::uint8_t> Write(const Image& image) {
  CheckWritable(image);
  const std::vector<std::uint8_t> dib = WriteDib(image, 1);
  const std::size_t offset = kFileHeaderSize + dib.size() - image.bits.size();
  std::vector<std::uint8_t> out;
  out.reserve(kFileHeaderSize + dib.size());
  Put16(out, kSignature);
  Put32(out, static_cast<std::uint32_t>(kFileHeaderSize + dib.size()));
  Put32(out, 0);
  Put32(out, static_cast<std::uint32_t>(offset));
  out.insert(out.end(), dib.begin(), dib.end());
  return out;
}

std::uint32_t RowPixelRGB(const std::uint8_t* row, int x, int bits, const std::vector<Quad>& colors) {
  if (bits <= 8) {
    const int index = RowIndex(row, x, bits);
    return static_cast<std::size_t>(index) < colors.size() ? QuadToRGB(colors[index]) : 0;
  }
  const std::uint8_t* p = row + static_cast<std::size_t>(x) * (bits / 8);
  return static_cast<std::uint32_t>(p[2]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[0]) << 16);
}

std::uint32_t PixelRGB(const Image& image, int x, int y) {
  CheckPixel(image, x, y);
  return RowPixelRGB(image.TopRow(y), x, image.bits_per_pixel, image.colors);
}

void SetPixelRGB(Image& image, int x, int y, std::uint32_t rgb) {
  CheckPixel(image, x, y);
  std::uint8_t* row = image.TopRow(y);
  if (image.bits_per_pixel <= 8) {
    SetRowIndex(row, x, image.bits_per_pixel, std::max(NearestIndex(image.colors, rgb), 0));
    return;
  }
  std::uint8_t* p = row + static_cast<std::size_t>(x) * (image.bits_per_pixel / 8);
  p[0] = static_cast<std::uint8_t>(rgb >> 16);
  p[1] = static_cast<std::uint8_t>(rgb >> 8);
  p[2] = static_cast<std::uint8_t>(rgb);
}

int NearestIndex(const std::vector<Quad>& colors, std::uint32_t rgb) {
  int best = -1;
  long best_distance = std::numeric_limits<long>::max();
  const int red = rgb & 0xFF, green = (rgb >> 8) & 0xFF, blue = (rgb >> 16) & 0xFF;
  for (std::size_t i = 0; i < colors.size(); ++i) {
    const long dr = colors[i].red - red, dg = colors[i].green - green, db = colors[i].blue - blue;
    const long distance = dr * dr + dg * dg + db * db;
    if (distance < best_distance) {
      best_distance = distance;
      best = static_cast<int>(i);
    }
  }
  return best;
}

Image Convert(const Image& source, int bits_per_pixel, const std::vector<Quad>& colors) {
  Image result = MakeImage(source.width, source.height, bits_per_pixel, source.row_order);
  if (bits_per_pixel <= 8) {
    result.colors.assign(colors.begin(),
                         colors.begin() + std::min(colors.size(), std::size_t{1} << bits_per_pixel));
  }
  for (int y = 0; y < source.height; ++y)
    for (int x = 0; x < source.width; ++x) SetPixelRGB(result, x, y, PixelRGB(source, x, y));
  return result;
}

}  // namespace dashtune::bmp
