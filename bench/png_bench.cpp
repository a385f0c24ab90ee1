// PNG decode and encode against libpng and libspng in the same run, with a ratio per class.
// Classes: the conformance suite; synthetic images of every colour type saved by libpng with its
// default adaptive filtering (so every filter is measured); real photographs as shipped by
// python3-skimage (when installed) and 4 x 4 tilings of them re-saved by libpng at levels 1, 6
// and 9 in RGB and RGBA; the chunk CRC against the eight-table CRC the codec once had.
// Before timing, every file is decoded by all three codecs and their pixels compared; a case
// whose peers disagree fails, and the program exits non-zero. Peers run at the same settings: rows in the file's own
// sample format (libpng in blue-green-red order, as the codec's bitmap holds them); encoding at
// the same level, the default strategy and the Sub filter on both sides, sizes reported.
// Each case runs five times; the ratios at the end are of the medians.
// Goals: decode <= 1.0x libpng and <= 1.2x libspng; encode <= 1.0x libpng, size <= 1.02x.
#include <benchmark/benchmark.h>
#include <png.h>
#include <spng.h>
#include <zlib.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "bench_summary.h"
#include "components/imaging/png/png_passes.h"
#include "components/imaging/png/png_picture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using dashtune::TPNGPicture;

// ---- Images ----

struct Raw {
  int width = 0, height = 0, color_type = 0, depth = 8;
  Bytes pixels;  // rows of samples as the file stores them, 16-bit big-endian
};

struct ImageClass {
  const char* name;
  int color_type;
  int depth;
  int interlace;
};

const ImageClass kClasses[] = {{"RGBA8", 6, 8, 0}, {"RGB8", 2, 8, 0},    {"palette", 3, 8, 0},
                               {"gray", 0, 8, 0},  {"RGBA16", 6, 16, 0}, {"interlaced", 6, 8, 1}};
const std::pair<int, int> kSizes[] = {{64, 64}, {1024, 768}, {4096, 4096}};
const char* const kPhotographs[] = {"astronaut", "coffee", "chelsea", "motorcycle_left", "motorcycle_right"};
constexpr const char* kPhotographFolder = "/usr/lib/python3/dist-packages/skimage/data";

int Channels(int color_type) { return color_type == 2 ? 3 : color_type == 4 ? 2 : color_type == 6 ? 4 : 1; }

// A picture-like image: smooth gradients with a little noise, so it compresses like a skin picture.
Raw Synthetic(const ImageClass& c, int w, int h) {
  Raw raw{w, h, c.color_type, c.depth, {}};
  const std::size_t bytes_per_sample = c.depth == 16 ? 2 : 1;
  const std::size_t row = static_cast<std::size_t>(w) * Channels(c.color_type) * bytes_per_sample;
  raw.pixels.resize(row * static_cast<std::size_t>(h));
  std::mt19937 rng(1);
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < row; ++i)
      raw.pixels[static_cast<std::size_t>(y) * row + i] = static_cast<std::uint8_t>((i / 3 + y) / 4 + rng() % 4);
  return raw;
}

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
  std::cerr << "libpng: " << message << "\n";
  png_longjmp(png, 1);
}

// libpng's writer. filter: PNG_ALL_FILTERS for its adaptive choice, or one PNG_FILTER_* flag;
// strategy: zlib's, or libpng's own choice (Z_FILTERED for filtered rows) when -1.
Bytes LibpngEncode(const Raw& raw, int level, int filters, int interlace = 0, int strategy = -1) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, nullptr);
  png_infop info = png_create_info_struct(png);
  Bytes out;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("libpng encode failed");
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep d, png_size_t n) {
        auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
        o->insert(o->end(), d, d + n);
      },
      nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(raw.width), static_cast<png_uint_32>(raw.height), raw.depth,
               raw.color_type, interlace, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (raw.color_type == 3) {
    std::vector<png_color> palette(256);
    for (int i = 0; i < 256; ++i)
      palette[static_cast<std::size_t>(i)] = {static_cast<png_byte>(i), static_cast<png_byte>(255 - i),
                                              static_cast<png_byte>(i / 2)};
    png_set_PLTE(png, info, palette.data(), 256);
  }
  png_set_compression_level(png, level);
  if (strategy >= 0) png_set_compression_strategy(png, strategy);
  png_set_filter(png, 0, filters);
  png_write_info(png, info);
  const std::size_t row = raw.pixels.size() / static_cast<std::size_t>(raw.height);
  std::vector<png_bytep> rows;
  for (int y = 0; y < raw.height; ++y)
    rows.push_back(const_cast<png_bytep>(raw.pixels.data() + row * static_cast<std::size_t>(y)));
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

struct Reader {
  const Bytes* data;
  std::size_t pos;
};

void ReadFromMemory(png_structp p, png_bytep o, png_size_t n) {
  auto* r = static_cast<Reader*>(png_get_io_ptr(p));
  if (r->pos + n > r->data->size()) png_error(p, "past end");
  std::memcpy(o, r->data->data() + r->pos, n);
  r->pos += n;
}

// libpng's reader: rows in the file's own format (blue-green-red), or as 8-bit RGBA.
void LibpngDecode(const Bytes& file, Bytes& out, bool rgba8 = false) {
  Reader reader{&file, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    throw std::runtime_error("libpng decode failed");
  }
  png_set_read_fn(png, &reader, ReadFromMemory);
  png_read_info(png, info);
  if (rgba8) {
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  } else {
    png_set_bgr(png);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const std::size_t row = png_get_rowbytes(png, info);
  const std::size_t h = png_get_image_height(png, info);
  out.resize(row * h);
  for (std::size_t y = 0; y < h; ++y) rows.push_back(out.data() + row * y);
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
}

Raw LibpngRaw(const Bytes& file) {
  Raw raw;
  Reader reader{&file, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    throw std::runtime_error("libpng decode failed");
  }
  png_set_read_fn(png, &reader, ReadFromMemory);
  png_read_info(png, info);
  raw.width = static_cast<int>(png_get_image_width(png, info));
  raw.height = static_cast<int>(png_get_image_height(png, info));
  raw.color_type = png_get_color_type(png, info);
  raw.depth = png_get_bit_depth(png, info);
  png_destroy_read_struct(&png, &info, nullptr);
  LibpngDecode(file, raw.pixels);
  // Back from blue-green-red to the file's order.
  if (raw.color_type == 2 || raw.color_type == 6) {
    const std::size_t sample = raw.depth == 16 ? 2 : 1, pixel = Channels(raw.color_type) * sample;
    for (std::size_t i = 0; i + pixel <= raw.pixels.size(); i += pixel)
      for (std::size_t b = 0; b < sample; ++b) std::swap(raw.pixels[i + b], raw.pixels[i + 2 * sample + b]);
  }
  return raw;
}

void SpngDecode(const Bytes& file, Bytes& out, int format = SPNG_FMT_PNG) {
  spng_ctx* ctx = spng_ctx_new(0);
  spng_set_png_buffer(ctx, file.data(), file.size());
  std::size_t size = 0;
  spng_decoded_image_size(ctx, format, &size);
  out.resize(size);
  const int flags = format == SPNG_FMT_RGBA8 ? SPNG_DECODE_TRNS : 0;
  if (spng_decode_image(ctx, out.data(), size, format, flags) != 0) {
    spng_ctx_free(ctx);
    throw std::runtime_error("spng decode failed");
  }
  spng_ctx_free(ctx);
}

std::unique_ptr<TPNGPicture> OursDecode(const Bytes& file) {
  dashtune::TMemoryStream stream;
  stream.WriteBuffer(file.data(), static_cast<int>(file.size()));
  stream.SetPosition(0);
  auto picture = std::make_unique<TPNGPicture>();
  picture->LoadFromStream(&stream);
  return picture;
}

Bytes OursEncode(TPNGPicture& picture) {
  dashtune::TMemoryStream stream;
  picture.SaveToStream(&stream);
  return Bytes(stream.GetMemory(), stream.GetMemory() + stream.GetSize());
}

// ---- Same pixels before timing ----

// Our picture as 8-bit RGBA, colours as the picture holds them (through its gamma table, which
// the check applies to the peers' colours too). Alpha: the alpha plane or the palette's tRNS
// entries; 255 where the picture keeps none (single-colour keys).
Bytes OursRgba8(const TPNGPicture& picture) {
  const int w = picture.GetWidth(), h = picture.GetHeight();
  const dashtune::TChunkIHDR* header = picture.Header();
  const auto* trns = picture.GetChunks().ItemFromClass<dashtune::TChunktRNS>();
  Bytes out;
  out.reserve(static_cast<std::size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* alpha = picture.AlphaScanline(y);
    const std::uint8_t* row = picture.Scanline(y);
    for (int x = 0; x < w; ++x) {
      const auto c = static_cast<std::uint32_t>(picture.GetPixels(x, y));
      std::uint8_t a = alpha ? alpha[x] : 255;
      if (header->ColorType == dashtune::png::kColorTypeIndexed && trns != nullptr)
        a = trns->PaletteValues[dashtune::png::GetPacked(row, static_cast<std::size_t>(x), header->DibBitCount())];
      out.insert(out.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                             static_cast<std::uint8_t>(c >> 16), a});
    }
  }
  return out;
}

// Empty when all three codecs read the same pixels from the file; otherwise what differs.
std::string SamePixelsError(const Bytes& file) {
  Bytes reference, spng;
  LibpngDecode(file, reference, true);
  SpngDecode(file, spng, SPNG_FMT_RGBA8);
  if (spng != reference) return "libspng and libpng differ";
  const auto picture = OursDecode(file);
  const Bytes ours = OursRgba8(*picture);
  const auto& gamma = picture->GammaTable;
  const int type = picture->Header()->ColorType;
  // Single-colour keys of gray and truecolour images are drawn through a mask, not kept as alpha.
  const bool keyed = (type == 0 || type == 2) && picture->GetChunks().ItemFromClass<dashtune::TChunktRNS>();
  if (ours.size() != reference.size()) return "sizes differ";
  for (std::size_t i = 0; i < ours.size(); ++i) {
    const bool is_alpha = i % 4 == 3;
    if (is_alpha && keyed) continue;
    // Gray with alpha is blended from its gray byte as stored, without the gamma table.
    const std::uint8_t want = is_alpha || type == 4 ? reference[i] : gamma[reference[i]];
    if (ours[i] != want) {
      const auto* h = picture->Header();
      return "ours and libpng differ at byte " + std::to_string(i) + " of a " + std::to_string(h->Width) + "x" +
             std::to_string(h->Height) + " image of colour type " + std::to_string(type) + ", depth " +
             std::to_string(h->BitDepth) + ": " + std::to_string(ours[i]) + " for " + std::to_string(want);
    }
  }
  return "";
}

// ---- Cases ----

enum class Codec { Ours, Libpng, Spng, CrcTables };
const char* CodecName(Codec c) {
  switch (c) {
    case Codec::Ours: return "ours";
    case Codec::Libpng: return "libpng";
    case Codec::Spng: return "libspng";
    default: return "tables";
  }
}

void Decode(Codec codec, const Bytes& file, Bytes& scratch) {
  switch (codec) {
    case Codec::Ours:
      benchmark::DoNotOptimize(OursDecode(file));
      break;
    case Codec::Libpng:
      LibpngDecode(file, scratch);
      break;
    default:
      SpngDecode(file, scratch);
      break;
  }
  benchmark::ClobberMemory();
}

// What the summary compares: our benchmark and its peers', by their registered names.
enum class CaseKind { kDecode, kEncode, kCrc };
struct SummaryCase {
  CaseKind kind;
  std::string label;
};

std::vector<SummaryCase>& SummaryCases() {
  static std::vector<SummaryCase> cases;
  return cases;
}

// The files of one decode case, made on first use so that a filtered run makes only what it
// measures, and checked once.
struct DecodeCase {
  std::function<std::vector<Bytes>()> make;
  std::vector<Bytes> files;
  std::string error;  // empty when every file decoded alike in all three codecs
  bool ready = false;

  const std::vector<Bytes>& Files() {
    if (!ready) {
      ready = true;
      files = make();
      for (const Bytes& f : files)
        if (error.empty()) error = SamePixelsError(f);
    }
    return files;
  }
};

constexpr int kRepetitions = 5;

benchmark::internal::Benchmark* Configure(benchmark::internal::Benchmark* b) {
  return b->Unit(benchmark::kMillisecond)->MinTime(0.2)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);
}

void RegisterDecode(const std::string& label, std::function<std::vector<Bytes>()> make) {
  auto c = std::make_shared<DecodeCase>();
  c->make = std::move(make);
  SummaryCases().push_back({CaseKind::kDecode, "decode/" + label});
  for (Codec codec : {Codec::Ours, Codec::Libpng, Codec::Spng}) {
    Configure(benchmark::RegisterBenchmark(("decode/" + label + "/" + CodecName(codec)).c_str(),
                                           [c, codec](benchmark::State& state) {
                                             const auto& files = c->Files();
                                             if (!c->error.empty()) {
                                               dashtune::bench::FailCheck(state, c->error);
                                               return;
                                             }
                                             Bytes scratch;
                                             for (auto _ : state)
                                               for (const Bytes& f : files) Decode(codec, f, scratch);
                                           }));
  }
}

// Encoding at equal settings: level 7, the default strategy, the Sub filter on every row.
struct EncodeCase {
  std::function<Raw()> make;
  Raw raw;
  std::unique_ptr<TPNGPicture> picture;
  std::string error;  // empty when libpng reads the codec's file to the same pixels
  bool ready = false;

  void Make() {
    if (ready) return;
    ready = true;
    raw = make();
    picture = OursDecode(LibpngEncode(raw, 7, PNG_FILTER_SUB));
    picture->SetCompressionLevel(7);
    picture->SetFilters(dashtune::TFilters{dashtune::filterSub});
    error = SamePixelsError(OursEncode(*picture));
  }
};

std::vector<std::shared_ptr<EncodeCase>>& EncodeCases() {
  static std::vector<std::shared_ptr<EncodeCase>> cases;
  return cases;
}

void RegisterEncode(const std::string& label, std::function<Raw()> make) {
  auto c = std::make_shared<EncodeCase>();
  c->make = std::move(make);
  EncodeCases().push_back(c);
  SummaryCases().push_back({CaseKind::kEncode, "encode/" + label});
  Configure(benchmark::RegisterBenchmark(("encode/" + label + "/ours").c_str(), [c](benchmark::State& state) {
    c->Make();
    if (!c->error.empty()) {
      dashtune::bench::FailCheck(state, c->error);
      return;
    }
    std::size_t size = 0;
    for (auto _ : state) size = OursEncode(*c->picture).size();
    state.counters["bytes"] = static_cast<double>(size);
  }));
  Configure(benchmark::RegisterBenchmark(("encode/" + label + "/libpng").c_str(), [c](benchmark::State& state) {
    c->Make();
    std::size_t size = 0;
    // The codec deflates with zlib's default strategy.
    for (auto _ : state) size = LibpngEncode(c->raw, 7, PNG_FILTER_SUB, 0, Z_DEFAULT_STRATEGY).size();
    state.counters["bytes"] = static_cast<double>(size);
  }));
}

// The eight-table CRC the codec used before it called zlib's crc32, kept as the peer that
// decided for crc32.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;
constexpr CrcTables MakeCrcTables() {
  CrcTables tables{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    tables[0][n] = c;
  }
  for (std::size_t t = 1; t < 8; ++t)
    for (std::size_t n = 0; n < 256; ++n) tables[t][n] = (tables[t - 1][n] >> 8) ^ tables[0][tables[t - 1][n] & 0xFF];
  return tables;
}
constexpr CrcTables kCrcTables = MakeCrcTables();

std::uint32_t TableCrc(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count) {
  const auto& t = kCrcTables;
  for (; count >= 8; count -= 8, bytes += 8) {
    const std::uint32_t low = crc ^ (std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
                                     (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24));
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^ t[3][bytes[4]] ^
          t[2][bytes[5]] ^ t[1][bytes[6]] ^ t[0][bytes[7]];
  }
  for (; count > 0; --count, ++bytes) crc = t[0][(crc ^ *bytes) & 0xFF] ^ (crc >> 8);
  return crc;
}

void RegisterCrc(std::size_t size) {
  auto data = std::make_shared<Bytes>(size);
  std::mt19937 rng(2);
  for (auto& b : *data) b = static_cast<std::uint8_t>(rng());
  if (dashtune::png::UpdateCrc(0xFFFFFFFFu, data->data(), size) != TableCrc(0xFFFFFFFFu, data->data(), size))
    throw std::runtime_error("CRCs differ");
  const std::string label = "crc/" + std::to_string(size) + "B/";
  SummaryCases().push_back({CaseKind::kCrc, "crc/" + std::to_string(size) + "B"});
  Configure(benchmark::RegisterBenchmark((label + "ours").c_str(), [data](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(dashtune::png::UpdateCrc(0xFFFFFFFFu, data->data(), data->size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data->size()));
  }))->Unit(benchmark::kMicrosecond);
  Configure(benchmark::RegisterBenchmark((label + "tables").c_str(), [data](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(TableCrc(0xFFFFFFFFu, data->data(), data->size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data->size()));
  }))->Unit(benchmark::kMicrosecond);
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<Bytes> SuiteFiles() {
  std::vector<Bytes> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(PNGSUITE_DIR)) {
    if (entry.path().extension() != ".png" || entry.path().parent_path().filename() == "corrupted") continue;
    files.push_back(ReadFile(entry.path()));
  }
  return files;
}

// A photograph as RGB or RGBA (opaque) rows, tiled 4 x 4.
Raw Tiled(const Bytes& photograph, bool with_alpha) {
  const Raw photo = LibpngRaw(photograph);
  if (photo.color_type != 2 || photo.depth != 8) throw std::runtime_error("photographs are 8-bit RGB");
  Raw raw{photo.width * 4, photo.height * 4, with_alpha ? 6 : 2, 8, {}};
  const std::size_t channels = with_alpha ? 4 : 3;
  raw.pixels.reserve(static_cast<std::size_t>(raw.width) * raw.height * channels);
  for (int y = 0; y < raw.height; ++y) {
    const std::uint8_t* row = photo.pixels.data() + static_cast<std::size_t>(y % photo.height) * photo.width * 3;
    for (int x = 0; x < raw.width; ++x) {
      const std::uint8_t* p = row + static_cast<std::size_t>(x % photo.width) * 3;
      raw.pixels.insert(raw.pixels.end(), p, p + 3);
      if (with_alpha) raw.pixels.push_back(255);
    }
  }
  return raw;
}

void RegisterPhotographs() {
  const std::filesystem::path folder = kPhotographFolder;
  if (!std::filesystem::exists(folder / "astronaut.png")) {
    std::cerr << "python3-skimage is not installed: no photographs (scripts/bench installs it)\n";
    return;
  }
  for (const char* name : kPhotographs) {
    const std::filesystem::path path = folder / (std::string(name) + ".png");
    RegisterDecode(std::string("photo/") + name, [path] { return std::vector<Bytes>{ReadFile(path)}; });
  }
  for (const bool alpha : {false, true}) {
    for (const int level : {1, 6, 9}) {
      const std::string label =
          std::string("photo-tiles/") + (alpha ? "RGBA" : "RGB") + "/level" + std::to_string(level);
      RegisterDecode(label, [folder, alpha, level] {
        std::vector<Bytes> files;
        for (const char* name : kPhotographs)
          files.push_back(
              LibpngEncode(Tiled(ReadFile(folder / (std::string(name) + ".png")), alpha), level, PNG_ALL_FILTERS));
        return files;
      });
    }
  }
  RegisterEncode("photo-tiles/astronaut-RGB", [folder] { return Tiled(ReadFile(folder / "astronaut.png"), false); });
}

// One line per case and peer: median CPU times in milliseconds (microseconds for the CRC), and
// the encoded sizes in bytes.
void PrintPngSummary(const dashtune::bench::TimesReporter& times) {
  std::vector<dashtune::bench::SummaryLine> lines;
  const auto ms = [&times](const std::string& name) { return times.Seconds(name) * 1e3; };
  for (const SummaryCase& c : SummaryCases()) {
    switch (c.kind) {
      case CaseKind::kDecode:
        lines.push_back({c.label + " vs libpng [ms]", ms(c.label + "/ours"), ms(c.label + "/libpng")});
        lines.push_back({c.label + " vs libspng [ms]", ms(c.label + "/ours"), ms(c.label + "/libspng")});
        break;
      case CaseKind::kEncode:
        lines.push_back({c.label + " vs libpng [ms]", ms(c.label + "/ours"), ms(c.label + "/libpng")});
        lines.push_back({c.label + " size [bytes]", times.Counter(c.label + "/ours", "bytes"),
                         times.Counter(c.label + "/libpng", "bytes")});
        break;
      case CaseKind::kCrc:
        lines.push_back({c.label + " vs eight tables [us]", times.Seconds(c.label + "/ours") * 1e6,
                         times.Seconds(c.label + "/tables") * 1e6});
        break;
    }
  }
  dashtune::bench::PrintSummary(
      "Median CPU time of five runs of each side, and encoded sizes; ratio = ours / peer (goals: decode at most "
      "1.0 against libpng and 1.2 against libspng; encode at most 1.0, size at most 1.02)",
      lines);
}

}  // namespace

int main(int argc, char** argv) {
  dashtune::png::RegisterCommonChunks();
  dashtune::bench::InitializeInterleaved(&argc, argv);
  RegisterDecode("suite", SuiteFiles);
  for (const ImageClass& c : kClasses) {
    for (const auto& [w, h] : kSizes) {
      const std::string label = std::string(c.name) + "/" + std::to_string(w) + "x" + std::to_string(h);
      RegisterDecode(label, [c, w, h] {
        return std::vector<Bytes>{LibpngEncode(Synthetic(c, w, h), 6, PNG_ALL_FILTERS, c.interlace)};
      });
      if (c.interlace == 0) RegisterEncode(label, [c, w, h] { return Synthetic(c, w, h); });
    }
  }
  RegisterPhotographs();
  for (const std::size_t size : {13, 8192, 65536}) RegisterCrc(size);
  dashtune::bench::TimesReporter times(dashtune::bench::TimesReporter::Measure::kCpuTime);
  benchmark::RunSpecifiedBenchmarks(&times);
  benchmark::Shutdown();
  PrintPngSummary(times);
  // The registered benchmarks live until the process ends; their pictures go while the platform
  // still stands.
  for (const auto& c : EncodeCases()) c->picture.reset();
  return dashtune::bench::ExitCode();
}
