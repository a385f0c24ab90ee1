// The raster engine against pixman doing the same operation and against memcpy of the same
// bytes, on photographs (astronaut over coffee) at 1024x768 and 800x480, 32 bits per pixel:
// BitBlt with the common raster operations, StretchBlt 2x and 0.5x, AlphaBlend with constant and
// per-pixel alpha. Every pair's outputs are compared before anything is timed; a summary line
// per case ("case  ours  peer  ratio", CPU time per call) follows Google Benchmark's own report.
#include <benchmark/benchmark.h>
#include <png.h>
#include <pixman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench_summary.h"
#include "dib_canvas.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"

namespace {

using dashtune::testing::DibCanvas;

#ifndef DASHTUNE_PHOTO_DIR
#define DASHTUNE_PHOTO_DIR "/usr/lib/python3/dist-packages/skimage/data"
#endif

// A photograph as 0xAARRGGBB pixels, opaque.
struct Photo {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
};

Photo LoadPhoto(const char* name) {
  const std::string path = std::string(DASHTUNE_PHOTO_DIR) + "/" + name;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    std::fprintf(stderr, "gdi_bench: cannot read %s (Debian package python3-skimage)\n", path.c_str());
    std::exit(2);
  }
  image.format = PNG_FORMAT_BGRA;
  Photo photo;
  photo.width = static_cast<int>(image.width);
  photo.height = static_cast<int>(image.height);
  photo.pixels.resize(static_cast<std::size_t>(photo.width) * photo.height);
  if (!png_image_finish_read(&image, nullptr, photo.pixels.data(), 0, nullptr)) {
    std::fprintf(stderr, "gdi_bench: cannot decode %s\n", path.c_str());
    std::exit(2);
  }
  return photo;
}

// A 32-bit top-down canvas tiled with a photograph. With `alpha`, each pixel gets its own
// luminance as alpha and is premultiplied, as a glow overlay would be.
std::unique_ptr<DibCanvas> Tiled(const Photo& photo, int width, int height, bool alpha) {
  auto canvas = std::make_unique<DibCanvas>(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint32_t p = photo.pixels[static_cast<std::size_t>(y % photo.height) * photo.width + x % photo.width];
      if (alpha) {
        const std::uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        const std::uint32_t a = (r * 77 + g * 150 + b * 29) >> 8;
        p = a << 24 | (r * a + 127) / 255 << 16 | (g * a + 127) / 255 << 8 | (b * a + 127) / 255;
      }
      canvas->Set(x, y, p);
    }
  return canvas;
}

pixman_image_t* PixmanView(const DibCanvas& canvas, pixman_format_code_t format) {
  return pixman_image_create_bits(format, canvas.width(), canvas.height(),
                                  reinterpret_cast<std::uint32_t*>(canvas.bits()), canvas.width() * 4);
}

std::size_t Bytes(const DibCanvas& canvas) { return static_cast<std::size_t>(canvas.width()) * canvas.height() * 4; }

// One side of a case: a fresh destination is prepared before timing, then `draw` runs.
using Draw = std::function<void(DibCanvas& dest)>;

struct Case {
  std::string name;
  Draw ours;
  Draw peer;
  std::string peer_name;
  // Compares the two outputs; an empty answer means they agree.
  std::function<std::string(const DibCanvas& ours, const DibCanvas& peer)> check;
};

// Inputs shared by every case of one size.
struct Inputs {
  int width, height;
  std::unique_ptr<DibCanvas> source;        // the astronaut, opaque
  std::unique_ptr<DibCanvas> half;          // the astronaut at half size (stretch sources)
  std::unique_ptr<DibCanvas> double_size;   // the astronaut at twice the size
  std::unique_ptr<DibCanvas> glow;          // premultiplied, alpha from luminance
  std::unique_ptr<DibCanvas> background;    // coffee, the destination's starting pixels
};

std::string Exact(const DibCanvas& a, const DibCanvas& b) {
  if (std::memcmp(a.bits(), b.bits(), Bytes(a)) == 0) return "";
  return "outputs differ";
}

// Channels within one of each other (the peer rounds twice where we round once).
std::string WithinOne(const DibCanvas& a, const DibCanvas& b) {
  for (std::size_t i = 0; i < Bytes(a); ++i)
    if (std::abs(a.bits()[i] - b.bits()[i]) > 1) return "outputs differ by more than one";
  return "";
}

void Restore(DibCanvas& dest, const DibCanvas& from) { std::memcpy(dest.bits(), from.bits(), Bytes(dest)); }

// Our raster operation against the same operation written as a plain word loop, then timed
// against memcpy of the destination's bytes.
Case RopCase(const Inputs& in, const char* name, win::DWORD rop,
             std::uint32_t (*plain)(std::uint32_t s, std::uint32_t d, std::uint32_t p)) {
  const DibCanvas* source = in.source.get();
  const DibCanvas* background = in.background.get();
  auto brush = std::make_shared<win::ScopedGdiObject<win::HBRUSH>>(win::CreateSolidBrush(win::RGB(0x20, 0x80, 0xE0)));
  Case c;
  c.name = name;
  c.ours = [=](DibCanvas& dest) {
    const win::ScopedSelect selection(dest.dc(), brush->Get());
    win::BitBlt(dest.dc(), 0, 0, dest.width(), dest.height(), source->dc(), 0, 0, rop);
  };
  c.peer = [=](DibCanvas& dest) { std::memcpy(dest.bits(), source->bits(), Bytes(dest)); };
  c.peer_name = "memcpy";
  c.check = [=](const DibCanvas& ours, const DibCanvas&) {
    DibCanvas expected(ours.width(), ours.height());
    Restore(expected, *background);
    for (int y = 0; y < ours.height(); ++y)
      for (int x = 0; x < ours.width(); ++x)
        expected.Set(x, y, plain(source->RawAt(x, y), expected.RawAt(x, y), 0x2080E0));
    return Exact(ours, expected);
  };
  return c;
}

std::vector<Case> MakeCases(const Inputs& in) {
  std::vector<Case> cases;
  const DibCanvas* source = in.source.get();
  cases.push_back(Case{"BitBlt SRCCOPY",
                       [=](DibCanvas& d) { win::BitBlt(d.dc(), 0, 0, d.width(), d.height(), source->dc(), 0, 0, win::SRCCOPY); },
                       [=](DibCanvas& d) { std::memcpy(d.bits(), source->bits(), Bytes(d)); }, "memcpy", Exact});
  cases.push_back(Case{"BitBlt SRCCOPY",
                       [=](DibCanvas& d) { win::BitBlt(d.dc(), 0, 0, d.width(), d.height(), source->dc(), 0, 0, win::SRCCOPY); },
                       [=](DibCanvas& d) {
                         pixman_blt(reinterpret_cast<std::uint32_t*>(source->bits()), reinterpret_cast<std::uint32_t*>(d.bits()),
                                    source->width(), d.width(), 32, 32, 0, 0, 0, 0, d.width(), d.height());
                       },
                       "pixman", Exact});
  cases.push_back(RopCase(in, "BitBlt SRCAND", win::SRCAND, [](std::uint32_t s, std::uint32_t d, std::uint32_t) { return s & d; }));
  cases.push_back(RopCase(in, "BitBlt SRCPAINT", win::SRCPAINT, [](std::uint32_t s, std::uint32_t d, std::uint32_t) { return s | d; }));
  cases.push_back(RopCase(in, "BitBlt SRCINVERT", win::SRCINVERT, [](std::uint32_t s, std::uint32_t d, std::uint32_t) { return s ^ d; }));
  cases.push_back(RopCase(in, "BitBlt NOTSRCCOPY", win::NOTSRCCOPY, [](std::uint32_t s, std::uint32_t, std::uint32_t) { return ~s; }));
  cases.push_back(RopCase(in, "BitBlt PATINVERT", win::PATINVERT, [](std::uint32_t, std::uint32_t d, std::uint32_t p) { return p ^ d; }));
  cases.push_back(RopCase(in, "BitBlt DSTINVERT", win::DSTINVERT, [](std::uint32_t, std::uint32_t d, std::uint32_t) { return ~d; }));

  const auto stretch = [](const DibCanvas* from) {
    return [=](DibCanvas& d) {
      win::SetStretchBltMode(d.dc(), win::COLORONCOLOR);
      win::StretchBlt(d.dc(), 0, 0, d.width(), d.height(), from->dc(), 0, 0, from->width(), from->height(), win::SRCCOPY);
    };
  };
  const auto pixman_stretch = [](const DibCanvas* from) {
    return [=](DibCanvas& d) {
      pixman_image_t* src = PixmanView(*from, PIXMAN_a8r8g8b8);
      pixman_image_t* dst = PixmanView(d, PIXMAN_a8r8g8b8);
      pixman_transform_t t;
      pixman_transform_init_scale(&t, pixman_int_to_fixed(from->width()) / d.width(),
                                  pixman_int_to_fixed(from->height()) / d.height());
      pixman_image_set_transform(src, &t);
      pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
      pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, d.width(), d.height());
      pixman_image_unref(src);
      pixman_image_unref(dst);
    };
  };
  cases.push_back(Case{"StretchBlt 2x", stretch(in.half.get()), pixman_stretch(in.half.get()), "pixman", Exact});
  cases.push_back(Case{"StretchBlt 0.5x", stretch(in.double_size.get()), pixman_stretch(in.double_size.get()), "pixman", Exact});

  const DibCanvas* glow = in.glow.get();
  const auto alpha_blend = [](const DibCanvas* from, std::uint8_t constant, bool per_pixel) {
    return [=](DibCanvas& d) {
      const win::BLENDFUNCTION blend{win::AC_SRC_OVER, 0, constant, static_cast<win::BYTE>(per_pixel ? win::AC_SRC_ALPHA : 0)};
      win::AlphaBlend(d.dc(), 0, 0, d.width(), d.height(), from->dc(), 0, 0, from->width(), from->height(), blend);
    };
  };
  // pixman's nearest equivalent: the source IN a solid mask of the constant, OVER the destination.
  const auto pixman_blend = [](const DibCanvas* from, std::uint8_t constant, pixman_format_code_t format) {
    return [=](DibCanvas& d) {
      pixman_image_t* src = PixmanView(*from, format);
      pixman_image_t* dst = PixmanView(d, PIXMAN_a8r8g8b8);
      const pixman_color_t colour{0, 0, 0, static_cast<std::uint16_t>(constant * 0x101)};
      pixman_image_t* mask = constant == 255 ? nullptr : pixman_image_create_solid_fill(&colour);
      pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, d.width(), d.height());
      if (mask != nullptr) pixman_image_unref(mask);
      pixman_image_unref(src);
      pixman_image_unref(dst);
    };
  };
  cases.push_back(Case{"AlphaBlend per-pixel", alpha_blend(glow, 255, true), pixman_blend(glow, 255, PIXMAN_a8r8g8b8), "pixman", Exact});
  cases.push_back(Case{"AlphaBlend per-pixel 50%", alpha_blend(glow, 128, true), pixman_blend(glow, 128, PIXMAN_a8r8g8b8), "pixman", Exact});
  // Constant alpha mixes every channel (alpha too) with one rounding; pixman has no such
  // operator, so its closest one is timed and its output only checked to within one.
  cases.push_back(Case{"AlphaBlend constant 50%", alpha_blend(source, 128, false), pixman_blend(source, 128, PIXMAN_x8r8g8b8), "pixman",
                       WithinOne});
  return cases;
}

struct Registered {
  std::string label;  // "case WxH"
  std::string ours;
  std::string peer;
};

std::vector<Registered> RegisterSize(int width, int height, const Photo& astronaut, const Photo& coffee,
                                     std::vector<std::unique_ptr<Inputs>>& keep) {
  auto in = std::make_unique<Inputs>();
  in->width = width;
  in->height = height;
  in->source = Tiled(astronaut, width, height, false);
  in->half = Tiled(astronaut, width / 2, height / 2, false);
  in->double_size = Tiled(astronaut, width * 2, height * 2, false);
  in->glow = Tiled(astronaut, width, height, true);
  in->background = Tiled(coffee, width, height, false);
  std::vector<Registered> out;
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  for (Case& c : MakeCases(*in)) {
    DibCanvas ours(width, height), peer(width, height);
    Restore(ours, *in->background);
    Restore(peer, *in->background);
    c.ours(ours);
    c.peer(peer);
    const std::string problem = c.check(ours, peer);
    if (!problem.empty()) {
      std::fprintf(stderr, "gdi_bench: %s %s against %s: %s\n", c.name.c_str(), size.c_str(), c.peer_name.c_str(),
                   problem.c_str());
      std::exit(1);
    }
    const DibCanvas* background = in->background.get();
    const auto timed = [background, width, height](Draw draw) {
      return [=](benchmark::State& state) {
        DibCanvas dest(width, height);
        for (auto _ : state) {
          state.PauseTiming();
          Restore(dest, *background);
          state.ResumeTiming();
          draw(dest);
          benchmark::ClobberMemory();
        }
        state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(width) * height * 4);
      };
    };
    Registered r{c.name + " " + size + " vs " + c.peer_name, "ours/" + c.name + "/" + size + "/vs " + c.peer_name,
                 c.peer_name + "/" + c.name + "/" + size};
    benchmark::RegisterBenchmark(r.ours.c_str(), timed(c.ours));
    if (std::none_of(out.begin(), out.end(), [&](const Registered& o) { return o.peer == r.peer; }))
      benchmark::RegisterBenchmark(r.peer.c_str(), timed(c.peer));
    out.push_back(r);
  }
  keep.push_back(std::move(in));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const Photo astronaut = LoadPhoto("astronaut.png");
  const Photo coffee = LoadPhoto("coffee.png");
  std::vector<std::unique_ptr<Inputs>> inputs;
  std::vector<Registered> cases = RegisterSize(1024, 768, astronaut, coffee, inputs);
  const std::vector<Registered> small = RegisterSize(800, 480, astronaut, coffee, inputs);
  cases.insert(cases.end(), small.begin(), small.end());

  benchmark::Initialize(&argc, argv);
  // CPU time, not wall time: the operations are single-threaded and never wait, and on a shared
  // machine wall time mostly measures the neighbours.
  dashtune::bench::TimesReporter times(dashtune::bench::TimesReporter::Measure::kCpuTime);
  benchmark::RunSpecifiedBenchmarks(&times);
  benchmark::Shutdown();
  std::vector<dashtune::bench::SummaryLine> lines;
  for (const Registered& c : cases) lines.push_back({c.label, times.Seconds(c.ours) * 1e3, times.Seconds(c.peer) * 1e3});
  dashtune::bench::PrintSummary(
      "CPU milliseconds per call; ratio = ours / peer (for memcpy: below 1.25 is 0.8x its throughput)", lines);
  return 0;
}
