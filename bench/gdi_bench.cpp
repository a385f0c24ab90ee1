// BitBlt and StretchBlt of a 1024x768 32-bit surface, reported in bytes per second next to
// memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "dib_canvas.h"
#include "platform/gdi/gdi.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr std::int64_t kBytes = std::int64_t{kWidth} * kHeight * 4;

// A 32-bit top-down surface filled with one byte value.
class Surface : public dashtune::testing::DibCanvas {
 public:
  Surface(int width, int height) : DibCanvas(width, height) {
    std::memset(bits(), 0x5A, static_cast<std::size_t>(width) * height * 4);
  }
};

void BM_Memcpy(benchmark::State& state) {
  std::vector<std::uint8_t> from(kBytes, 0x5A);
  std::vector<std::uint8_t> to(kBytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK(BM_Memcpy);

void BM_BitBlt(benchmark::State& state) {
  Surface source(kWidth, kHeight);
  Surface dest(kWidth, kHeight);
  const auto rop = static_cast<win::DWORD>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(win::BitBlt(dest.dc(), 0, 0, kWidth, kHeight, source.dc(), 0, 0, rop));
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK(BM_BitBlt)->Arg(win::SRCCOPY)->Arg(win::SRCINVERT)->Arg(win::SRCAND);

void BM_StretchBlt(benchmark::State& state) {
  // Half-size source stretched to full size: the destination's bytes are what is reported.
  Surface source(kWidth / 2, kHeight / 2);
  Surface dest(kWidth, kHeight);
  win::SetStretchBltMode(dest.dc(), win::COLORONCOLOR);
  for (auto _ : state)
    benchmark::DoNotOptimize(win::StretchBlt(dest.dc(), 0, 0, kWidth, kHeight, source.dc(), 0, 0, kWidth / 2,
                                             kHeight / 2, win::SRCCOPY));
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK(BM_StretchBlt);

}  // namespace

BENCHMARK_MAIN();
