// PNG decode and encode against libpng and libspng in the same run. Each image class and size is
// measured with all codecs; the end of the run prints our time divided by each peer's.
// Goals: decode no slower than libpng and within 1.2x of libspng; encode at level 7 within 1.2x
// of libpng. Peers are configured to the same output: rows in the file's own sample format
// (libpng additionally in blue-green-red order, as the codec's bitmap holds them), level 7 and the
// Sub filter when encoding.
#include <benchmark/benchmark.h>
#include <png.h>
#include <spng.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <random>
#include <stdexcept>

#include "components/imaging/png/png_picture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using dashtune::TPNGPicture;

struct ImageClass {
  const char* name;
  int color_type;
  int depth;
  int interlace;
};

const ImageClass kClasses[] = {{"RGBA8", 6, 8, 0}, {"RGB8", 2, 8, 0},    {"palette", 3, 8, 0},
                               {"gray", 0, 8, 0},  {"RGBA16", 6, 16, 0}, {"interlaced", 6, 8, 1}};
const std::pair<int, int> kSizes[] = {{64, 64}, {1024, 768}, {4096, 4096}};

int Channels(int color_type) { return color_type == 2 ? 3 : color_type == 4 ? 2 : color_type == 6 ? 4 : 1; }

// A picture-like image: smooth gradients with a little noise, so it compresses like a skin picture.
Bytes MakeRows(const ImageClass& c, int w, int h) {
  const std::size_t bytes_per_sample = c.depth == 16 ? 2 : 1;
  const std::size_t row = static_cast<std::size_t>(w) * Channels(c.color_type) * bytes_per_sample;
  Bytes pixels(row * static_cast<std::size_t>(h));
  std::mt19937 rng(1);
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < row; ++i)
      pixels[static_cast<std::size_t>(y) * row + i] = static_cast<std::uint8_t>((i / 3 + y) / 4 + rng() % 4);
  return pixels;
}

void OnError(png_structp png, png_const_charp message) {
  std::cerr << "libpng: " << message << "\n";
  png_longjmp(png, 1);
}

Bytes LibpngEncode(const ImageClass& c, int w, int h, const Bytes& pixels) {
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
  png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), c.depth, c.color_type, c.interlace,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (c.color_type == 3) {
    std::vector<png_color> palette(256);
    for (int i = 0; i < 256; ++i)
      palette[static_cast<std::size_t>(i)] = {static_cast<png_byte>(i), static_cast<png_byte>(255 - i),
                                              static_cast<png_byte>(i / 2)};
    png_set_PLTE(png, info, palette.data(), 256);
  }
  png_set_compression_level(png, 7);
  png_set_filter(png, 0, PNG_FILTER_SUB);
  png_write_info(png, info);
  const std::size_t row = pixels.size() / static_cast<std::size_t>(h);
  std::vector<png_bytep> rows;
  for (int y = 0; y < h; ++y) rows.push_back(const_cast<png_bytep>(pixels.data() + row * static_cast<std::size_t>(y)));
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

void LibpngDecode(const Bytes& file, Bytes& out) {
  struct Reader {
    const Bytes* data;
    std::size_t pos;
  } reader{&file, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    throw std::runtime_error("libpng decode failed");
  }
  png_set_read_fn(png, &reader, [](png_structp p, png_bytep o, png_size_t n) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(p));
    if (r->pos + n > r->data->size()) png_error(p, "past end");
    std::memcpy(o, r->data->data() + r->pos, n);
    r->pos += n;
  });
  png_read_info(png, info);
  png_set_bgr(png);
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

void SpngDecode(const Bytes& file, Bytes& out) {
  spng_ctx* ctx = spng_ctx_new(0);
  spng_set_png_buffer(ctx, file.data(), file.size());
  std::size_t size = 0;
  spng_decoded_image_size(ctx, SPNG_FMT_PNG, &size);
  out.resize(size);
  if (spng_decode_image(ctx, out.data(), size, SPNG_FMT_PNG, 0) != 0) {
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

std::vector<Bytes> SuiteFiles() {
  std::vector<Bytes> files;
  const std::filesystem::path root = "/usr/share/doc/libsixel-examples/examples/images/pngsuite";
  if (!std::filesystem::exists(root)) return files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.path().extension() != ".png" || entry.path().parent_path().filename() == "corrupted") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return files;
}

enum class Codec { Ours, Libpng, Spng };
const char* CodecName(Codec c) { return c == Codec::Ours ? "ours" : c == Codec::Libpng ? "libpng" : "libspng"; }

void Decode(Codec codec, const Bytes& file, Bytes& scratch) {
  switch (codec) {
    case Codec::Ours:
      benchmark::DoNotOptimize(OursDecode(file));
      break;
    case Codec::Libpng:
      LibpngDecode(file, scratch);
      break;
    case Codec::Spng:
      SpngDecode(file, scratch);
      break;
  }
  benchmark::ClobberMemory();
}

// The images of one case, made on first use so that a filtered run makes only what it measures.
struct Case {
  ImageClass image_class{};
  int width = 0, height = 0;
  std::vector<Bytes> files;  // the suite, or the one file made from the pixels
  Bytes pixels;
  std::unique_ptr<TPNGPicture> picture;
  bool made = false;

  void Make() {
    if (made) return;
    made = true;
    if (width == 0) return;
    pixels = MakeRows(image_class, width, height);
    files = {LibpngEncode(image_class, width, height, pixels)};
    picture = OursDecode(files[0]);
    picture->SetCompressionLevel(7);
  }
};

void Register(const std::string& label, const std::shared_ptr<Case>& c) {
  for (Codec codec : {Codec::Ours, Codec::Libpng, Codec::Spng}) {
    benchmark::RegisterBenchmark(("decode/" + label + "/" + CodecName(codec)).c_str(),
                                 [c, codec](benchmark::State& state) {
                                   c->Make();
                                   Bytes scratch;
                                   for (auto _ : state)
                                     for (const Bytes& f : c->files) Decode(codec, f, scratch);
                                 })
        ->Unit(benchmark::kMillisecond)
        ->MinTime(0.2);
  }
  if (c->width == 0) return;
  benchmark::RegisterBenchmark(("encode/" + label + "/ours").c_str(),
                               [c](benchmark::State& state) {
                                 c->Make();
                                 for (auto _ : state) benchmark::DoNotOptimize(OursEncode(*c->picture));
                               })
      ->Unit(benchmark::kMillisecond)
      ->MinTime(0.2);
  benchmark::RegisterBenchmark(
      ("encode/" + label + "/libpng").c_str(),
      [c](benchmark::State& state) {
        c->Make();
        for (auto _ : state) benchmark::DoNotOptimize(LibpngEncode(c->image_class, c->width, c->height, c->pixels));
      })
      ->Unit(benchmark::kMillisecond)
      ->MinTime(0.2);
}

// Prints the usual table, then our time over each peer's for every case.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const std::string name = run.run_name.function_name;
      const auto slash = name.rfind('/');
      times_[name.substr(0, slash)][name.substr(slash + 1)] = run.GetAdjustedRealTime();
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::cout << "\nratio (ours / peer; below 1 is faster)\n";
    for (const auto& [name, codecs] : times_) {
      std::cout << name;
      for (const char* peer : {"libpng", "libspng"})
        if (codecs.count(peer) && codecs.count("ours"))
          std::cout << "  " << peer << " " << codecs.at("ours") / codecs.at(peer);
      std::cout << "\n";
    }
  }

 private:
  std::map<std::string, std::map<std::string, double>> times_;
};

}  // namespace

int main(int argc, char** argv) {
  dashtune::png::RegisterCommonChunks();
  benchmark::Initialize(&argc, argv);
  std::vector<std::shared_ptr<Case>> cases;
  auto suite = std::make_shared<Case>();
  cases.push_back(suite);
  suite->files = SuiteFiles();
  Register("suite", suite);
  for (const ImageClass& c : kClasses) {
    for (const auto& [w, h] : kSizes) {
      auto one = std::make_shared<Case>();
      cases.push_back(one);
      one->image_class = c;
      one->width = w;
      one->height = h;
      Register(std::string(c.name) + "/" + std::to_string(w) + "x" + std::to_string(h), one);
    }
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  // The registered benchmarks live until the process ends; their pictures go while the platform
  // still stands.
  for (const auto& c : cases) c->picture.reset();
  return 0;
}
