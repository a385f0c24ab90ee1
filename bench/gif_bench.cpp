// GIF decoding and encoding against giflib in the same run.
// Decode: the codec's LoadFromStream with every frame drawn into a 32-bit bitmap, against
// DGifSlurp with every frame's indices expanded through its colour map into the same 32-bit
// layout; both outputs are compared before timing (the copy of our bitmaps' rows that the
// comparison needs is not timed). Goal: at most 1.0x giflib.
// Encode: SaveToStream (LZW) of the loaded picture into memory, against EGifSpew of the same
// indices, tables and extensions into memory (giflib's side includes copying the frames into its
// write handle, which EGifSpew frees); giflib reads the codec's file back to the same colours
// before timing. Goal: at most 1.2x giflib. Sizes of both and the run-length encoder's time and
// size are reported.
// Each case runs five times; the summary at the end gives the median CPU times per image class
// and our time over giflib's. A case whose check fails makes the program exit non-zero.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <stdexcept>

#include "bench_summary.h"
#include "classlib/bitmap.h"
#include "components/imaging/gif/gif_picture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Pixels = std::vector<std::uint32_t>;

constexpr int kInterlaceStart[] = {0, 4, 2, 1};
constexpr int kInterlaceStep[] = {8, 8, 4, 2};

// A picture-like image: smooth gradients with a little noise, in `colors` indices.
Bytes MakeIndices(int w, int h, int colors, unsigned seed) {
  Bytes pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] =
          static_cast<std::uint8_t>(((x / 7 + y / 5) + (rng() % 8 == 0 ? 1 : 0)) % colors);
  return pixels;
}

struct Frame {
  int left = 0, top = 0, width = 0, height = 0;
  bool interlace = false;
  Bytes pixels;
};

// A giflib write handle appending to `out`.
GifFileType* GiflibOpenMemory(Bytes* out) {
  int error = 0;
  return EGifOpen(out,
                  [](GifFileType* g, const GifByteType* b, int n) {
                    auto* o = static_cast<Bytes*>(g->UserData);
                    o->insert(o->end(), b, b + n);
                    return n;
                  },
                  &error);
}

Bytes GiflibWrite(int width, int height, int colors, const std::vector<Frame>& frames) {
  Bytes out;
  GifFileType* gif = GiflibOpenMemory(&out);
  gif->SWidth = width;
  gif->SHeight = height;
  gif->SColorResolution = 8;
  std::vector<GifColorType> table(static_cast<std::size_t>(std::max(colors, 2)));
  for (std::size_t i = 0; i < table.size(); ++i)
    table[i] = {static_cast<GifByteType>(i * 37), static_cast<GifByteType>(255 - i), static_cast<GifByteType>(i * 3)};
  gif->SColorMap = GifMakeMapObject(static_cast<int>(table.size()), table.data());
  for (const Frame& f : frames) {
    SavedImage* image = GifMakeSavedImage(gif, nullptr);
    image->ImageDesc = {f.left, f.top, f.width, f.height, f.interlace, nullptr};
    image->RasterBits = static_cast<GifByteType*>(malloc(f.pixels.size()));
    std::size_t k = 0;
    for (int pass = 0; pass < (f.interlace ? 4 : 1); ++pass)
      for (int y = f.interlace ? kInterlaceStart[pass] : 0; y < f.height; y += f.interlace ? kInterlaceStep[pass] : 1)
        std::memcpy(image->RasterBits + (k++) * static_cast<std::size_t>(f.width),
                    f.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(f.width),
                    static_cast<std::size_t>(f.width));
  }
  if (EGifSpew(gif) != GIF_OK) throw std::runtime_error("EGifSpew failed");
  return out;
}

struct Reader {
  const Bytes* data;
  std::size_t pos;
};

// A slurped read handle over the bytes (which must outlive it).
GifFileType* GiflibSlurp(Reader& reader) {
  int error = 0;
  GifFileType* gif = DGifOpen(&reader,
                              [](GifFileType* g, GifByteType* b, int n) {
                                auto* r = static_cast<Reader*>(g->UserData);
                                const std::size_t k = std::min<std::size_t>(static_cast<std::size_t>(n),
                                                                            r->data->size() - r->pos);
                                std::memcpy(b, r->data->data() + r->pos, k);
                                r->pos += k;
                                return static_cast<int>(k);
                              },
                              &error);
  if (gif == nullptr || DGifSlurp(gif) != GIF_OK) throw std::runtime_error("DGifSlurp failed");
  return gif;
}

// Giflib writes a slurped file again into memory: the same screen, table and frames.
Bytes GiflibSpew(const GifFileType* source) {
  Bytes out;
  GifFileType* gif = GiflibOpenMemory(&out);
  gif->SWidth = source->SWidth;
  gif->SHeight = source->SHeight;
  gif->SColorResolution = source->SColorResolution;
  gif->SBackGroundColor = source->SBackGroundColor;
  if (source->SColorMap != nullptr)
    gif->SColorMap = GifMakeMapObject(source->SColorMap->ColorCount, source->SColorMap->Colors);
  for (int i = 0; i < source->ImageCount; ++i) GifMakeSavedImage(gif, &source->SavedImages[i]);
  if (EGifSpew(gif) != GIF_OK) throw std::runtime_error("EGifSpew failed");
  return out;
}

// Giflib: slurp, then every frame's indices through its colour map.
std::vector<Pixels> GiflibDecode(const Bytes& file) {
  Reader reader{&file, 0};
  int error = 0;
  GifFileType* gif = GiflibSlurp(reader);
  std::vector<Pixels> frames;
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& image = gif->SavedImages[i];
    const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
    std::uint32_t expanded[256] = {};
    for (int c = 0; c < map->ColorCount; ++c)
      expanded[c] = 0xFF000000u | (std::uint32_t{map->Colors[c].Red} << 16) |
                    (std::uint32_t{map->Colors[c].Green} << 8) | map->Colors[c].Blue;
    const std::size_t count = static_cast<std::size_t>(image.ImageDesc.Width) * static_cast<std::size_t>(image.ImageDesc.Height);
    Pixels out(count);
    for (std::size_t p = 0; p < count; ++p) out[p] = expanded[image.RasterBits[p]];
    frames.push_back(std::move(out));
  }
  DGifCloseFile(gif, &error);
  return frames;
}

std::unique_ptr<dashtune::TGIFPicture> OursLoad(const Bytes& file) {
  dashtune::TMemoryStream stream;
  stream.WriteBuffer(file.data(), static_cast<int>(file.size()));
  stream.SetPosition(0);
  auto picture = std::make_unique<dashtune::TGIFPicture>();
  picture->LoadFromStream(&stream);
  return picture;
}

Bytes OursSave(dashtune::TGIFPicture& picture) {
  dashtune::TMemoryStream stream;
  picture.SaveToStream(&stream);
  return Bytes(stream.GetMemory(), stream.GetMemory() + stream.GetSize());
}

using Bitmaps = std::vector<std::unique_ptr<dashtune::TBitmap>>;

// Ours, as timed: load, then every frame drawn into a 32-bit bitmap of its size.
Bitmaps OursDraw(const Bytes& file) {
  const std::unique_ptr<dashtune::TGIFPicture> loaded = OursLoad(file);
  dashtune::TGIFPicture& picture = *loaded;
  Bitmaps frames;
  for (int i = 0; i < picture.GetImages()->GetCount(); ++i) {
    dashtune::TGIFSubImage* frame = picture.GetImages()->GetFrame(i);
    auto target = std::make_unique<dashtune::TBitmap>();
    target->SetPixelFormat(dashtune::pf32bit);
    target->SetSize(frame->GetWidth(), frame->GetHeight());
    target->GetCanvas()->Draw(0, 0, frame->GetBitmap());
    frames.push_back(std::move(target));
  }
  return frames;
}

// The drawn frames' pixels in giflib's layout, for the check before timing.
std::vector<Pixels> OursDecode(const Bytes& file) {
  std::vector<Pixels> frames;
  for (const std::unique_ptr<dashtune::TBitmap>& bitmap : OursDraw(file)) {
    const auto width = static_cast<std::size_t>(bitmap->GetWidth());
    Pixels out(width * static_cast<std::size_t>(bitmap->GetHeight()));
    for (int y = 0; y < bitmap->GetHeight(); ++y)
      std::memcpy(out.data() + static_cast<std::size_t>(y) * width, bitmap->GetScanLine(y), width * 4);
    frames.push_back(std::move(out));
  }
  return frames;
}

bool SameColours(const std::vector<Pixels>& a, const std::vector<Pixels>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t f = 0; f < a.size(); ++f) {
    if (a[f].size() != b[f].size()) return false;
    for (std::size_t p = 0; p < a[f].size(); ++p)
      if ((a[f][p] & 0xFFFFFF) != (b[f][p] & 0xFFFFFF)) return false;
  }
  return true;
}

// The labels in the order registered, and each label's encoded sizes.
struct EncodedSizes {
  double lzw = 0, rle = 0, giflib = 0;
};
std::vector<std::string>& Labels() {
  static std::vector<std::string> labels;
  return labels;
}
std::map<std::string, EncodedSizes>& Sizes() {
  static std::map<std::string, EncodedSizes> sizes;
  return sizes;
}

constexpr int kRepetitions = 5;

benchmark::internal::Benchmark* Configure(benchmark::internal::Benchmark* b) {
  return b->Unit(benchmark::kMillisecond)->MinTime(0.1)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);
}

void RegisterEncode(const std::string& label, std::shared_ptr<Bytes> file);

void Register(const std::string& label, std::shared_ptr<Bytes> file) {
  Labels().push_back(label);
  RegisterEncode(label, file);
  // Both sides give the same colours before either is timed.
  auto same = std::make_shared<std::optional<bool>>();
  for (bool ours : {true, false}) {
    Configure(benchmark::RegisterBenchmark(("decode/" + label + (ours ? "/ours" : "/giflib")).c_str(),
                                           [file, ours, same](benchmark::State& state) {
                                             if (!same->has_value())
                                               *same = SameColours(OursDecode(*file), GiflibDecode(*file));
                                             if (!**same) {
                                               dashtune::bench::FailCheck(state, "the codec and giflib decode other colours");
                                               return;
                                             }
                                             for (auto _ : state) {
                                               if (ours)
                                                 benchmark::DoNotOptimize(OursDraw(*file));
                                               else
                                                 benchmark::DoNotOptimize(GiflibDecode(*file));
                                             }
                                           }));
  }
}

void RegisterEncode(const std::string& label, std::shared_ptr<Bytes> file) {
  std::shared_ptr<dashtune::TGIFPicture> picture = OursLoad(*file);
  auto reader = std::make_shared<Reader>(Reader{file.get(), 0});
  std::shared_ptr<GifFileType> slurped(GiflibSlurp(*reader), [reader](GifFileType* gif) {
    int error = 0;
    DGifCloseFile(gif, &error);
  });
  const Bytes lzw = OursSave(*picture);
  picture->SetCompression(1);
  const Bytes rle = OursSave(*picture);
  picture->SetCompression(0);
  const Bytes theirs = GiflibSpew(slurped.get());
  const bool same = SameColours(GiflibDecode(lzw), GiflibDecode(*file)) && SameColours(GiflibDecode(rle), GiflibDecode(*file));
  Sizes()[label] = {static_cast<double>(lzw.size()), static_cast<double>(rle.size()), static_cast<double>(theirs.size())};
  for (int side : {0, 1, 2}) {
    const char* name = side == 0 ? "/ours" : side == 1 ? "/giflib" : "/ours-rle";
    Configure(benchmark::RegisterBenchmark(("encode/" + label + name).c_str(), [=](benchmark::State& state) {
      if (!same) {
        dashtune::bench::FailCheck(state, "giflib reads other colours from the codec's file");
        return;
      }
      picture->SetCompression(side == 2 ? 1 : 0);
      for (auto _ : state) benchmark::DoNotOptimize(side == 1 ? GiflibSpew(slurped.get()) : OursSave(*picture));
      picture->SetCompression(0);
    }));
  }
}

// One line per class and direction, times in milliseconds, then the encoded sizes.
void PrintGifSummary(const dashtune::bench::TimesReporter& times) {
  std::vector<dashtune::bench::SummaryLine> lines;
  const auto ms = [&times](const std::string& name) { return times.Seconds(name) * 1e3; };
  for (const std::string& label : Labels()) {
    lines.push_back({"decode/" + label + " [ms]", ms("decode/" + label + "/ours"), ms("decode/" + label + "/giflib")});
    lines.push_back({"encode/" + label + " [ms]", ms("encode/" + label + "/ours"), ms("encode/" + label + "/giflib")});
    lines.push_back({"encode/" + label + " run-length [ms]", ms("encode/" + label + "/ours-rle"),
                     ms("encode/" + label + "/giflib")});
  }
  for (const std::string& label : Labels()) {
    const EncodedSizes& size = Sizes()[label];
    lines.push_back({"size/" + label + " [bytes]", size.lzw, size.giflib});
    lines.push_back({"size/" + label + " run-length [bytes]", size.rle, size.giflib});
  }
  dashtune::bench::PrintSummary(
      "Median CPU time of five runs of each side, and encoded sizes; peer: giflib; ratio = ours / peer (goals: "
      "decode at most 1.0, LZW encode at most 1.2; run-length coding and sizes reported)",
      lines);
}

}  // namespace

int main(int argc, char** argv) {
  for (int colors : {256, 16, 2})
    for (bool interlace : {false, true})
      for (auto [w, h] : {std::pair{64, 64}, {1024, 768}, {4096, 4096}}) {
        const std::string label = std::to_string(colors) + "c" + (interlace ? "i" : "") + "/" + std::to_string(w) +
                                  "x" + std::to_string(h);
        auto file = std::make_shared<Bytes>(
            GiflibWrite(w, h, colors, {{0, 0, w, h, interlace, MakeIndices(w, h, colors, 1)}}));
        Register(label, file);
      }
  std::vector<Frame> animation;
  for (int i = 0; i < 100; ++i) animation.push_back({i % 10, i % 7, 120, 90, false, MakeIndices(120, 90, 64, static_cast<unsigned>(i))});
  Register("animation-100", std::make_shared<Bytes>(GiflibWrite(130, 100, 64, animation)));
  std::ifstream in("/usr/share/doc/libsixel-examples/examples/images/seq2gif.gif", std::ios::binary);
  auto seq2gif = std::make_shared<Bytes>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!seq2gif->empty()) Register("seq2gif", seq2gif);
  dashtune::bench::InitializeInterleaved(&argc, argv);
  dashtune::bench::TimesReporter times(dashtune::bench::TimesReporter::Measure::kCpuTime);
  benchmark::RunSpecifiedBenchmarks(&times);
  benchmark::Shutdown();
  PrintGifSummary(times);
  return dashtune::bench::ExitCode();
}
