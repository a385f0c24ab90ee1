// Colour reduction to 256 colours against libimagequant in the same run, reported and not gated:
// ReduceColors with the octree quantizer (nearest colour and Floyd-Steinberg) and libimagequant at
// 256 colours without and with dithering, on ImageMagick's rose picture and a seeded plasma.
// Both sides' results are checked to be whole pictures of at most 256 colours before timing;
// the summary gives the median CPU time of five runs and the PSNR of each result against the
// source, ours beside libimagequant's.
#include <benchmark/benchmark.h>
#include <libimagequant.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_summary.h"
#include "classlib/bitmap.h"
#include "components/imaging/gif/gif_reduction.h"

namespace {

// A picture as 8-bit red, green, blue triples, rows from the top.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

// Runs ImageMagick with `arguments` (a built-in picture or a generator) and reads the PPM it writes.
RgbImage ImageMagickPicture(const std::string& arguments) {
  const std::string command = "convert " + arguments + " -depth 8 ppm:-";
  const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) throw std::runtime_error("cannot run " + command);
  RgbImage image;
  int max_value = 0;
  if (std::fscanf(pipe.get(), "P6 %d %d %d", &image.width, &image.height, &max_value) != 3 || max_value != 255 ||
      std::fgetc(pipe.get()) == EOF || image.width <= 0 || image.height <= 0)
    throw std::runtime_error("no 8-bit PPM from " + command);
  image.rgb.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3);
  if (std::fread(image.rgb.data(), 1, image.rgb.size(), pipe.get()) != image.rgb.size())
    throw std::runtime_error("short PPM from " + command);
  return image;
}

// Peak signal-to-noise ratio of `reduced` against `source` over all three channels, in dB.
double Psnr(const RgbImage& source, const std::vector<std::uint8_t>& reduced) {
  double squared = 0;
  for (std::size_t i = 0; i < source.rgb.size(); ++i) {
    const double difference = static_cast<double>(source.rgb[i]) - reduced[i];
    squared += difference * difference;
  }
  const double mean = squared / static_cast<double>(source.rgb.size());
  return mean == 0 ? std::numeric_limits<double>::infinity() : 10 * std::log10(255.0 * 255.0 / mean);
}

// Ours: ReduceColors on a 24-bit bitmap of the picture.
std::unique_ptr<dashtune::TBitmap> ToBitmap(const RgbImage& image) {
  auto bitmap = std::make_unique<dashtune::TBitmap>();
  bitmap->SetPixelFormat(dashtune::pf24bit);
  bitmap->SetSize(image.width, image.height);
  for (int y = 0; y < image.height; ++y) {
    auto* row = static_cast<std::uint8_t*>(bitmap->GetScanLine(y));
    const std::uint8_t* from = image.rgb.data() + static_cast<std::size_t>(y) * image.width * 3;
    for (int x = 0; x < image.width; ++x) {
      row[3 * x] = from[3 * x + 2];
      row[3 * x + 1] = from[3 * x + 1];
      row[3 * x + 2] = from[3 * x];
    }
  }
  return bitmap;
}

std::unique_ptr<dashtune::TBitmap> OursReduce(dashtune::TBitmap* source, bool dither) {
  return dashtune::ReduceColors(source, dashtune::TColorReduction::crQuantize,
                                dither ? dashtune::ditherFloydSteinberg : dashtune::ditherNearest, 8, nullptr);
}

// The reduced bitmap's colours as RGB triples; empty unless it is an image of at most 256 colours
// of the source's size.
std::vector<std::uint8_t> OursColours(dashtune::TBitmap& reduced, const RgbImage& source) {
  const dashtune::bmp::Image image = reduced.GetImage();
  if (image.width != source.width || image.height != source.height || image.bits_per_pixel > 8) return {};
  std::vector<std::uint8_t> rgb;
  rgb.reserve(source.rgb.size());
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      const std::uint32_t colour = dashtune::bmp::PixelRGB(image, x, y);
      rgb.insert(rgb.end(), {static_cast<std::uint8_t>(colour), static_cast<std::uint8_t>(colour >> 8),
                             static_cast<std::uint8_t>(colour >> 16)});
    }
  return rgb;
}

// libimagequant: a 256-colour palette and the remapped indices, dithered or not.
struct LiqResult {
  std::vector<std::uint8_t> indices;
  liq_palette palette{};
};

LiqResult LiqReduce(const std::vector<std::uint8_t>& rgba, int width, int height, bool dither) {
  const std::unique_ptr<liq_attr, void (*)(liq_attr*)> attr(liq_attr_create(), liq_attr_destroy);
  liq_set_max_colors(attr.get(), 256);
  const std::unique_ptr<liq_image, void (*)(liq_image*)> image(
      liq_image_create_rgba(attr.get(), rgba.data(), width, height, 0), liq_image_destroy);
  liq_result* raw = nullptr;
  if (!image || liq_image_quantize(image.get(), attr.get(), &raw) != LIQ_OK) throw std::runtime_error("liq failed");
  const std::unique_ptr<liq_result, void (*)(liq_result*)> result(raw, liq_result_destroy);
  liq_set_dithering_level(result.get(), dither ? 1.0f : 0.0f);
  LiqResult out;
  out.indices.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  if (liq_write_remapped_image(result.get(), image.get(), out.indices.data(), out.indices.size()) != LIQ_OK)
    throw std::runtime_error("liq remap failed");
  out.palette = *liq_get_palette(result.get());
  return out;
}

std::vector<std::uint8_t> LiqColours(const LiqResult& result) {
  std::vector<std::uint8_t> rgb;
  rgb.reserve(result.indices.size() * 3);
  for (const std::uint8_t index : result.indices) {
    if (index >= result.palette.count) return {};
    const liq_color& c = result.palette.entries[index];
    rgb.insert(rgb.end(), {c.r, c.g, c.b});
  }
  return rgb;
}

std::vector<std::uint8_t> ToRgba(const RgbImage& image) {
  std::vector<std::uint8_t> rgba;
  rgba.reserve(image.rgb.size() / 3 * 4);
  for (std::size_t i = 0; i < image.rgb.size(); i += 3)
    rgba.insert(rgba.end(), {image.rgb[i], image.rgb[i + 1], image.rgb[i + 2], 255});
  return rgba;
}

struct Quality {
  double ours = dashtune::bench::kNone;
  double peer = dashtune::bench::kNone;
};
std::vector<std::pair<std::string, Quality>>& Qualities() {
  static std::vector<std::pair<std::string, Quality>> qualities;
  return qualities;
}

benchmark::internal::Benchmark* Configure(benchmark::internal::Benchmark* b) {
  return b->Unit(benchmark::kMillisecond)->MinTime(0.1)->Repetitions(5)->ReportAggregatesOnly(true);
}

void Register(const std::string& label, const std::shared_ptr<RgbImage>& source, bool dither) {
  const auto bitmap = std::shared_ptr<dashtune::TBitmap>(ToBitmap(*source));
  const auto rgba = std::make_shared<std::vector<std::uint8_t>>(ToRgba(*source));
  const std::vector<std::uint8_t> ours = OursColours(*OursReduce(bitmap.get(), dither), *source);
  const std::vector<std::uint8_t> theirs = LiqColours(LiqReduce(*rgba, source->width, source->height, dither));
  const bool whole = ours.size() == source->rgb.size() && theirs.size() == source->rgb.size();
  if (whole) Qualities().push_back({label, {Psnr(*source, ours), Psnr(*source, theirs)}});
  Configure(benchmark::RegisterBenchmark(("reduce/" + label + "/ours").c_str(), [=](benchmark::State& state) {
    if (!whole) return dashtune::bench::FailCheck(state, "a reduction gave no whole 256-colour picture");
    for (auto _ : state) benchmark::DoNotOptimize(OursReduce(bitmap.get(), dither));
  }));
  Configure(benchmark::RegisterBenchmark(("reduce/" + label + "/libimagequant").c_str(), [=](benchmark::State& state) {
    if (!whole) return dashtune::bench::FailCheck(state, "a reduction gave no whole 256-colour picture");
    for (auto _ : state) benchmark::DoNotOptimize(LiqReduce(*rgba, source->width, source->height, dither));
  }));
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::pair<std::string, std::string>> pictures = {
      {"rose", "rose:"}, {"plasma-640x480", "-seed 5 -size 640x480 plasma:"}};
  std::vector<std::string> labels;
  for (const auto& [name, arguments] : pictures) {
    const auto source = std::make_shared<RgbImage>(ImageMagickPicture(arguments));
    for (const bool dither : {false, true}) {
      labels.push_back(name + (dither ? "/floyd-steinberg" : "/nearest"));
      Register(labels.back(), source, dither);
    }
  }
  benchmark::Initialize(&argc, argv);
  dashtune::bench::TimesReporter times(dashtune::bench::TimesReporter::Measure::kCpuTime);
  benchmark::RunSpecifiedBenchmarks(&times);
  benchmark::Shutdown();
  std::vector<dashtune::bench::SummaryLine> lines;
  for (const std::string& label : labels)
    lines.push_back({"reduce/" + label + " [ms]", times.Seconds("reduce/" + label + "/ours") * 1e3,
                     times.Seconds("reduce/" + label + "/libimagequant") * 1e3});
  for (const auto& [label, quality] : Qualities())
    lines.push_back({"psnr/" + label + " [dB]", quality.ours, quality.peer});
  dashtune::bench::PrintSummary(
      "Median CPU time of five runs and PSNR against the source, 256 colours; peer: libimagequant (reported, not "
      "gated; ratio = ours / peer)",
      lines);
  return dashtune::bench::ExitCode();
}
