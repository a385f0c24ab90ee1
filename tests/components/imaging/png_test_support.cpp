// Helpers of the PNG tests: chunk records, libpng as reader and writer, loading and saving.
#include "png_test_support.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace dashtune::pngtest {

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes CrasherFile(const std::string& name) {
  return ReadFileBytes(std::string(PNG_FIXTURES_DIR) + "/crashers/" + name);
}

std::vector<std::string> SuiteFiles(const std::string& folder) {
  std::vector<std::string> files;
  const std::filesystem::path dir = std::filesystem::path(PNGSUITE_DIR) / folder;
  if (!std::filesystem::exists(dir)) return files;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == ".png") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

Bytes BigEndian(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

Bytes Chunk(const std::string& name, const Bytes& data) {
  Bytes out = BigEndian(static_cast<std::uint32_t>(data.size()));
  out.insert(out.end(), name.begin(), name.end());
  out.insert(out.end(), data.begin(), data.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(name.data()), static_cast<uInt>(name.size()));
  if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
  const Bytes c = BigEndian(static_cast<std::uint32_t>(crc));
  out.insert(out.end(), c.begin(), c.end());
  return out;
}

Bytes Signature() { return {137, 80, 78, 71, 13, 10, 26, 10}; }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Ihdr(std::uint32_t width, std::uint32_t height, int depth, int color_type, int interlace) {
  Bytes data = Concat({BigEndian(width), BigEndian(height)});
  data.push_back(static_cast<std::uint8_t>(depth));
  data.push_back(static_cast<std::uint8_t>(color_type));
  data.push_back(0);
  data.push_back(0);
  data.push_back(static_cast<std::uint8_t>(interlace));
  return Chunk("IHDR", data);
}

Bytes Deflate(const Bytes& raw, int level) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes out(size);
  if (compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), level) != Z_OK)
    throw std::runtime_error("compress2 failed");
  out.resize(size);
  return out;
}

std::vector<RawChunk> SplitChunks(const Bytes& file) {
  std::vector<RawChunk> chunks;
  std::size_t pos = 8;
  while (pos + 12 <= file.size()) {
    const std::uint32_t length = (std::uint32_t{file[pos]} << 24) | (std::uint32_t{file[pos + 1]} << 16) |
                                 (std::uint32_t{file[pos + 2]} << 8) | file[pos + 3];
    if (pos + 12 + length > file.size()) break;
    RawChunk chunk;
    chunk.name.assign(reinterpret_cast<const char*>(file.data() + pos + 4), 4);
    chunk.data.assign(file.begin() + static_cast<std::ptrdiff_t>(pos + 8),
                      file.begin() + static_cast<std::ptrdiff_t>(pos + 8 + length));
    chunks.push_back(std::move(chunk));
    pos += 12 + length;
  }
  return chunks;
}

Bytes JoinChunks(const std::vector<RawChunk>& chunks) {
  Bytes out = Signature();
  for (const RawChunk& c : chunks) {
    const Bytes record = Chunk(c.name, c.data);
    out.insert(out.end(), record.begin(), record.end());
  }
  return out;
}

Bytes Rechunk(const Bytes& file, const std::vector<std::size_t>& sizes) {
  std::vector<RawChunk> in = SplitChunks(file);
  Bytes data;
  for (const RawChunk& c : in)
    if (c.name == "IDAT") data.insert(data.end(), c.data.begin(), c.data.end());
  std::vector<RawChunk> out;
  bool placed = false;
  for (const RawChunk& c : in) {
    if (c.name != "IDAT") {
      out.push_back(c);
      continue;
    }
    if (placed) continue;
    placed = true;
    std::size_t pos = 0, k = 0;
    while (pos < data.size()) {
      const std::size_t n = std::min(sizes[std::min(k, sizes.size() - 1)], data.size() - pos);
      out.push_back({"IDAT", Bytes(data.begin() + static_cast<std::ptrdiff_t>(pos),
                                   data.begin() + static_cast<std::ptrdiff_t>(pos + n))});
      pos += n;
      ++k;
    }
  }
  return JoinChunks(out);
}

std::size_t LibpngImage::Channels() const {
  switch (color_type) {
    case 2:
      return 3;
    case 4:
      return 2;
    case 6:
      return 4;
    default:
      return 1;
  }
}

unsigned LibpngImage::Sample(std::size_t y, std::size_t x, std::size_t c) const {
  const Bytes& row = rows[y];
  if (depth == 16) {
    const std::size_t i = (x * Channels() + c) * 2;
    return (unsigned{row[i]} << 8) | row[i + 1];
  }
  return row[x * Channels() + c];
}

namespace {

struct MemoryReader {
  const Bytes* data;
  std::size_t pos;
};

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
  *static_cast<std::string*>(png_get_error_ptr(png)) = message;
  png_longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

}  // namespace

LibpngImage LibpngRead(const Bytes& file, LibpngOutput output) {
  std::string error;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, OnError, OnWarning);
  png_infop info = png_create_info_struct(png);
  MemoryReader reader{&file, 0};
  LibpngImage image;
  std::vector<png_bytep> pointers;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    throw std::runtime_error("libpng: " + error);
  }
  png_set_read_fn(png, &reader, [](png_structp p, png_bytep out, png_size_t n) {
    auto* r = static_cast<MemoryReader*>(png_get_io_ptr(p));
    if (r->pos + n > r->data->size()) png_error(p, "read past end");
    std::memcpy(out, r->data->data() + r->pos, n);
    r->pos += n;
  });
  png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
  png_read_info(png, info);
  image.width = png_get_image_width(png, info);
  image.height = png_get_image_height(png, info);
  image.color_type = png_get_color_type(png, info);
  image.depth = png_get_bit_depth(png, info);
  image.interlace = png_get_interlace_type(png, info);
  png_fixed_point gamma = 0;
  if (png_get_gAMA_fixed(png, info, &gamma)) {
    image.has_gamma = true;
    image.gamma = static_cast<std::uint32_t>(gamma);
  }
  if (output == LibpngOutput::kRgba8) {
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    image.color_type = PNG_COLOR_TYPE_RGB_ALPHA;
    image.depth = 8;
  } else if (image.depth < 8) {
    png_set_packing(png);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const std::size_t row_bytes = png_get_rowbytes(png, info);
  image.rows.assign(image.height, Bytes(row_bytes));
  for (auto& row : image.rows) pointers.push_back(row.data());
  png_read_image(png, pointers.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return image;
}

Bytes LibpngWrite(const LibpngImage& image) {
  std::string error;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, OnError, OnWarning);
  png_infop info = png_create_info_struct(png);
  Bytes out;
  std::vector<Bytes> packed;
  std::vector<png_bytep> pointers;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("libpng: " + error);
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
        o->insert(o->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, image.width, image.height, image.depth, image.color_type, image.interlace,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (image.color_type == 3) {
    std::vector<png_color> palette(std::size_t{1} << image.depth);
    for (std::size_t i = 0; i < palette.size(); ++i)
      palette[i] = {static_cast<png_byte>(i * 7), static_cast<png_byte>(255 - i), static_cast<png_byte>(i * 3)};
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  }
  if (image.filter >= 0) png_set_filter(png, 0, PNG_FILTER_NONE << image.filter);
  png_write_info(png, info);
  if (image.depth < 8) png_set_packing(png);
  const int passes = png_set_interlace_handling(png);
  for (const Bytes& row : image.rows) pointers.push_back(const_cast<png_bytep>(row.data()));
  for (int pass = 0; pass < passes; ++pass) png_write_rows(png, pointers.data(), image.height);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes Iend() { return Chunk("IEND", {}); }

Bytes Image(std::uint32_t w, std::uint32_t h, int depth, int type, const std::vector<Bytes>& rows,
            std::initializer_list<Bytes> extra) {
  Bytes raw;
  for (const Bytes& row : rows) {
    raw.push_back(0);
    raw.insert(raw.end(), row.begin(), row.end());
  }
  Bytes file = Concat({Signature(), Ihdr(w, h, depth, type)});
  for (const Bytes& e : extra) file.insert(file.end(), e.begin(), e.end());
  return Concat({file, Chunk("IDAT", Deflate(raw)), Iend()});
}

std::unique_ptr<TBitmap> Background(int w, int h, TColor color) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf24bit);
  bitmap->SetSize(w, h);
  bitmap->GetCanvas()->GetBrush()->SetColor(color);
  bitmap->GetCanvas()->FillRect(win::RECT{0, 0, w, h});
  return bitmap;
}

std::vector<TColor> DrawnOver(TPNGPicture& picture, TColor background) {
  const int w = picture.GetWidth(), h = picture.GetHeight();
  auto target = Background(w, h, background);
  picture.Draw(target->GetCanvas(), win::RECT{0, 0, w, h});
  std::vector<TColor> pixels;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) pixels.push_back(target->GetCanvas()->GetPixel(x, y));
  return pixels;
}

std::vector<TColor> LibpngBlendedOver(const Bytes& file, TColor background) {
  const LibpngImage ref = LibpngRead(file, LibpngOutput::kRgba8);
  const auto gamma = ExpectedGamma(ref.has_gamma, ref.gamma);
  const unsigned back[3] = {background & 0xFFu, (background >> 8) & 0xFFu, (background >> 16) & 0xFFu};
  std::vector<TColor> pixels;
  for (std::size_t y = 0; y < ref.height; ++y) {
    for (std::size_t x = 0; x < ref.width; ++x) {
      const unsigned a = ref.Sample(y, x, 3);
      unsigned out[3];
      for (std::size_t c = 0; c < 3; ++c) out[c] = (gamma[ref.Sample(y, x, c)] * a + 255 + (255 - a) * back[c]) >> 8;
      pixels.push_back(Rgb(out[0], out[1], out[2]));
    }
  }
  return pixels;
}

std::unique_ptr<TPNGPicture> Load(const Bytes& file) {
  TMemoryStream stream;
  stream.WriteBuffer(file.data(), static_cast<int>(file.size()));
  stream.SetPosition(0);
  auto picture = std::make_unique<TPNGPicture>();
  picture->LoadFromStream(&stream);
  return picture;
}

Bytes Save(TPNGPicture& picture) {
  TMemoryStream stream;
  picture.SaveToStream(&stream);
  return Bytes(stream.GetMemory(), stream.GetMemory() + stream.GetSize());
}

namespace {
unsigned Packed(const std::uint8_t* row, std::size_t x, int bits) {
  const std::size_t bit = x * static_cast<std::size_t>(bits);
  return (row[bit / 8] >> (8 - bits - static_cast<int>(bit % 8))) & ((1u << bits) - 1);
}
}  // namespace

std::string CompareWithSamples(const LibpngImage& ref, const TPNGPicture& picture,
                               const std::array<std::uint8_t, 256>& gamma) {
  TChunkIHDR* h = picture.Header();
  if (h->Width != ref.width || h->Height != ref.height || h->ColorType != ref.color_type) return "header differs";
  const int bits = h->DibBitCount();
  const bool wide = ref.depth == 16;
  for (std::size_t y = 0; y < ref.height; ++y) {
    const std::uint8_t* row = h->ImageRow(y);
    for (std::size_t x = 0; x < ref.width; ++x) {
      const auto hi = [&](std::size_t c) { return wide ? ref.Sample(y, x, c) >> 8 : ref.Sample(y, x, c); };
      const auto lo = [&](std::size_t c) { return ref.Sample(y, x, c) & 0xFF; };
      std::vector<unsigned> got, want;
      switch (ref.color_type) {
        case 0:
        case 3:
          got.push_back(wide ? row[x] : Packed(row, x, bits));
          want.push_back(ref.color_type == 0 && ref.depth == 2 ? ref.Sample(y, x, 0) * 5 : hi(0));
          if (wide) {
            got.push_back(h->ExtraRow(y)[x]);
            want.push_back(lo(0));
          }
          break;
        case 4:
          got = {row[x], h->AlphaRow(y)[x]};
          want = {hi(0), hi(1)};
          if (wide) {
            got.insert(got.end(), {h->ExtraRow(y)[x], h->ExtraAlphaRow(y)[x]});
            want.insert(want.end(), {lo(0), lo(1)});
          }
          break;
        default:
          for (std::size_t c = 0; c < 3; ++c) {
            got.push_back(row[3 * x + 2 - c]);
            want.push_back(gamma[hi(c)]);
            if (wide) {
              got.push_back(h->ExtraRow(y)[3 * x + 2 - c]);
              want.push_back(gamma[lo(c)]);
            }
          }
          if (ref.color_type == 6) {
            got.push_back(h->AlphaRow(y)[x]);
            want.push_back(hi(3));
            if (wide) {
              got.push_back(h->ExtraAlphaRow(y)[x]);
              want.push_back(lo(3));
            }
          }
      }
      if (got != want) return "pixel " + std::to_string(x) + "," + std::to_string(y) + " differs";
    }
  }
  return "";
}

std::array<std::uint8_t, 256> ExpectedGamma(bool has_gamma, std::uint32_t value) {
  std::array<std::uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    double g = i;
    if (has_gamma && value != 0) g = std::nearbyint(255.0 * std::pow(i / 255.0, 100000.0 / (value * 2.2)));
    table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(g);
  }
  return table;
}

}  // namespace dashtune::pngtest
