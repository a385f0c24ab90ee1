// Colour reduction: the lookups' exact answers, every error-diffusion kernel on flat grays, the
// octree quantizer's exactness, each method's palette entries and flags, and refused arguments.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <random>
#include <set>

#include "classlib/bitmap.h"
#include "components/imaging/gif/gif_reduction.h"
#include "gif_test_support.h"
#include "platform/gdi/gdi.h"

namespace dashtune {
namespace {

std::unique_ptr<TBitmap> Flat(int width, int height, TColor color) {
  return giftest::FilledBitmap(pf24bit, width, height, color);
}

// Colours of a 24-bit bitmap, red in the low byte.
TColor Pixel(TBitmap& bitmap, int x, int y) {
  const auto* row = static_cast<const std::uint8_t*>(bitmap.GetScanLine(y)) + 3 * x;
  return static_cast<TColor>(win::RGB(row[2], row[1], row[0]));
}

TEST(GifLookups, WebLookupRoundsEachChannelToMultiplesOf51) {
  TNetscapeColorLookup lookup;
  int r = 0, g = 0, b = 0;
  EXPECT_EQ(lookup.Lookup(255, 128, 0, r, g, b), 36 * 5 + 6 * 2 + 0);
  EXPECT_EQ((std::array<int, 3>{r, g, b}), (std::array<int, 3>{255, 102, 0}));
  EXPECT_EQ(lookup.Colors, 216);
}

TEST(GifLookups, MonochromeSwitchesAtHalfLuminance) {
  // Find colours whose weighted sums are exactly 32512 and 32513.
  const auto find = [](int sum) {
    for (int r = 0; r < 256; ++r)
      for (int g = 0; g < 256; ++g) {
        const int rest = sum - 77 * r - 150 * g;
        if (rest >= 0 && rest % 29 == 0 && rest / 29 < 256) return std::array<int, 3>{r, g, rest / 29};
      }
    return std::array<int, 3>{-1, -1, -1};
  };
  TMonochromeLookup lookup;
  int r = 0, g = 0, b = 0;
  const auto black = find(32512), white = find(32513);
  ASSERT_GE(black[0], 0);
  ASSERT_GE(white[0], 0);
  EXPECT_EQ(lookup.Lookup(black[0], black[1], black[2], r, g, b), 0);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(lookup.Lookup(white[0], white[1], white[2], r, g, b), 1);
  EXPECT_EQ(r + g + b, 3 * 255);
}

TEST(GifLookups, GrayScaleByWeightedLuminance) {
  TGrayScaleLookup lookup;
  int r = 0, g = 0, b = 0;
  EXPECT_EQ(lookup.Lookup(255, 0, 0, r, g, b), 76);
  EXPECT_EQ(lookup.Lookup(255, 255, 255, r, g, b), 255);
  EXPECT_EQ(g, 255);
}

TEST(GifDither, NearestEngineWalksSerpentine) {
  TNetscapeColorLookup lookup;
  TDitherEngine engine(5, &lookup);
  int r = 0, g = 0, b = 0;
  engine.Dither(0, 0, 0, r, g, b);
  EXPECT_EQ(engine.Column, 1);
  engine.NextLine();
  EXPECT_EQ(engine.Direction, -1);
  EXPECT_EQ(engine.Column, 4);
  engine.NextLine();
  EXPECT_EQ(engine.Direction, 1);
  EXPECT_EQ(engine.Column, 0);
}

// ---- Kernels worked by hand ----

constexpr int kGridWidth = 7, kGridHeight = 5;
using Grid = std::array<std::array<int, kGridWidth>, kGridHeight>;

struct Seed {
  int row, column, value, answer;
};

// A lookup that answers each colour with itself, so that no error arises, except at the seeds,
// which it answers with their colour of choice; it notes the gray level it was asked for.
class SeedLookup : public TColorLookup {
 public:
  SeedLookup() : TColorLookup(256) {}
  int Lookup(int Red, int Green, int Blue, int& R, int& G, int& B) override {
    EXPECT_TRUE(Red == Green && Green == Blue);
    asked = Red;
    R = G = B = answer.value_or(Red);
    return 0;
  }
  std::optional<int> answer;
  int asked = -1;
};

// The gray level each pixel of a 7 x 5 image of `base` with the seeds is looked up at: the
// seeds' errors spread by the kernel, rounded and divided once per pixel.
Grid Diffuse(TDitherEngine& ditherer, SeedLookup& lookup, int base, const std::vector<Seed>& seeds) {
  Grid grid{};
  for (int y = 0; y < kGridHeight; ++y) {
    for (int x = ditherer.Column; x >= 0 && x < kGridWidth; x = ditherer.Column) {
      const auto seed = std::find_if(seeds.begin(), seeds.end(), [&](const Seed& s) { return s.row == y && s.column == x; });
      const int value = seed != seeds.end() ? seed->value : base;
      lookup.answer = seed != seeds.end() ? std::optional<int>(seed->answer) : std::nullopt;
      int r = 0, g = 0, b = 0;
      ditherer.Dither(value, value, value, r, g, b);
      grid[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = lookup.asked;
    }
    ditherer.NextLine();
  }
  return grid;
}

using DithererMaker = std::function<std::unique_ptr<TDitherEngine>(TColorLookup*)>;
template <class T>
DithererMaker Maker() {
  return [](TColorLookup* lookup) { return std::make_unique<T>(kGridWidth, lookup); };
}

TEST(GifDither, EachKernelSpreadsOneErrorByItsWeightsAndMirrorsThemOnReturningRows) {
  // One pixel at row 0, column 3 errs by the kernel's divisor, so each pixel it reaches is looked
  // up at exactly its weight.
  const struct {
    const char* name;
    DithererMaker make;
    int divisor;
    Grid weights;
  } kernels[] = {
      {"Floyd-Steinberg", Maker<TFloydSteinbergDitherer>(), 16,
       {{{0, 0, 0, 16, 7, 0, 0}, {0, 0, 3, 5, 1, 0, 0}}}},
      {"Stucki", Maker<TStuckiDitherer>(), 42,
       {{{0, 0, 0, 42, 8, 4, 0}, {0, 2, 4, 8, 4, 2, 0}, {0, 1, 2, 4, 2, 1, 0}}}},
      {"Sierra", Maker<TSierraDitherer>(), 32,
       {{{0, 0, 0, 32, 5, 3, 0}, {0, 2, 4, 5, 4, 2, 0}, {0, 0, 2, 3, 2, 0, 0}}}},
      {"JaJuNi", Maker<TJaJuNiDitherer>(), 48,
       {{{0, 0, 0, 48, 7, 5, 0}, {0, 3, 5, 7, 5, 3, 0}, {0, 1, 3, 5, 3, 1, 0}}}},
      {"Stevenson-Arce", Maker<TSteveArcheDitherer>(), 200,
       {{{0, 0, 0, 200, 0, 32, 0}, {12, 0, 26, 0, 30, 0, 16}, {0, 12, 0, 26, 0, 12, 0}, {5, 0, 12, 0, 12, 0, 5}}}},
      {"Burkes", Maker<TBurkesDitherer>(), 32, {{{0, 0, 0, 32, 8, 4, 0}, {0, 2, 4, 8, 4, 2, 0}}}},
  };
  for (const auto& k : kernels) {
    SCOPED_TRACE(k.name);
    SeedLookup lookup;
    EXPECT_EQ(Diffuse(*k.make(&lookup), lookup, 0, {{0, 3, k.divisor, 0}}), k.weights);
    // Row 1 runs right to left: the same weights, one row down, ahead meaning to the left.
    Grid mirrored{};
    for (int y = 0; y + 1 < kGridHeight; ++y)
      for (int x = 0; x < kGridWidth; ++x)
        mirrored[static_cast<std::size_t>(y + 1)][static_cast<std::size_t>(x)] =
            k.weights[static_cast<std::size_t>(y)][static_cast<std::size_t>(kGridWidth - 1 - x)];
    SeedLookup mirrored_lookup;
    EXPECT_EQ(Diffuse(*k.make(&mirrored_lookup), mirrored_lookup, 0, {{1, 3, k.divisor, 0}}), mirrored);
  }
}

TEST(GifDither, ErrorsAreSummedThenRoundedAndDividedOnceTowardZero) {
  // Floyd-Steinberg, by hand. A negative error of -255 over gray 128: 128 + (-255 w + 8) div 16
  // with div truncating: w 7 gives -1777 div 16 = -111, so 17 (flooring would give 16); w 3: 81;
  // w 5: 49; w 1: 113.
  SeedLookup lookup;
  TFloydSteinbergDitherer negative(kGridWidth, &lookup);
  const Grid spread = Diffuse(negative, lookup, 128, {{0, 3, 0, 255}});
  EXPECT_EQ(spread[0], (std::array<int, kGridWidth>{128, 128, 128, 0, 17, 128, 128}));
  EXPECT_EQ(spread[1], (std::array<int, kGridWidth>{128, 128, 81, 49, 113, 128, 128}));
  // Three neighbours err by 1 each (the 7 each passes on rounds to 0, so each errs by exactly 1).
  // Below the middle one meet 1 + 5 + 3 = 9 sixteenths and left of that 5 + 3 = 8: both
  // round to 1, though each share alone would round to 0. Right of it 1 + 5 = 6 round to 0.
  SeedLookup sum_lookup;
  TFloydSteinbergDitherer sum(kGridWidth, &sum_lookup);
  const Grid summed = Diffuse(sum, sum_lookup, 0, {{0, 2, 1, 0}, {0, 3, 1, 0}, {0, 4, 1, 0}});
  EXPECT_EQ(summed[0], (std::array<int, kGridWidth>{0, 0, 1, 1, 1, 0, 0}));
  EXPECT_EQ(summed[1], (std::array<int, kGridWidth>{0, 0, 1, 1, 0, 0, 0}));
}

TEST(GifDither, EveryKernelMatchesTheGrayLevelInWhiteShare) {
  for (TDitherMode mode : {ditherFloydSteinberg, ditherStucki, ditherSierra, ditherJaJuNi, ditherSteveArche,
                           ditherBurkes}) {
    for (int level : {32, 96, 128, 200}) {
      SCOPED_TRACE(std::to_string(mode) + " at " + std::to_string(level));
      constexpr int kSide = 256;
      auto source = Flat(kSide, kSide, static_cast<TColor>(level * 0x010101));
      const auto result = ReduceColors(source.get(), TColorReduction::crMonochrome, mode, 8, nullptr);
      ASSERT_EQ(result->GetWidth(), kSide);
      int white = 0;
      for (int y = 0; y < kSide; ++y) {
        const auto* row = static_cast<const std::uint8_t*>(result->GetScanLine(y));
        for (int x = 0; x < kSide; ++x) white += row[x];
      }
      EXPECT_NEAR(white / double(kSide * kSide), level / 255.0, 0.01);
    }
  }
}

TEST(GifReduction, QuantizeIsExactForUpTo256Colours) {
  TBitmap source;
  source.SetPixelFormat(pf24bit);
  source.SetSize(20, 12);
  std::mt19937 rng(4);
  std::vector<TColor> palette;
  for (int i = 0; i < 240; ++i) palette.push_back(static_cast<TColor>(rng() & 0xFFFFFF));
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 20; ++x) source.GetCanvas()->SetPixel(x, y, palette[static_cast<std::size_t>(y * 20 + x)]);
  const auto result = ReduceColors(&source, TColorReduction::crQuantize, ditherNearest, 8, nullptr);
  result->SetPixelFormat(pf24bit);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(Pixel(*result, x, y), palette[static_cast<std::size_t>(y * 20 + x)]);
}

TEST(GifReduction, OneColourGivesItAsTheFirstEntry) {
  auto source = Flat(8, 8, 0x336699);
  const auto result = ReduceColors(source.get(), TColorReduction::crQuantize, ditherNearest, 8, nullptr);
  const std::vector<win::PALETTEENTRY> entries = gif::PaletteEntries(result->GetPalette());
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries[0].peRed, 0x99);
  EXPECT_EQ(entries[0].peGreen, 0x66);
  EXPECT_EQ(entries[0].peBlue, 0x33);
}

TEST(GifReduction, NoneCopiesAt24BitsAndUnknownArgumentsGiveAnEmptyBitmap) {
  auto source = Flat(4, 4, clRed);
  const auto copy = ReduceColors(source.get(), TColorReduction::crNone, static_cast<TDitherMode>(42), 8, nullptr);
  EXPECT_EQ(copy->GetPixelFormat(), pf24bit);
  EXPECT_EQ(Pixel(*copy, 3, 3), clRed);
  EXPECT_TRUE(ReduceColors(source.get(), static_cast<TColorReduction>(10), ditherNearest, 8, nullptr)->GetEmpty());
  EXPECT_TRUE(ReduceColors(source.get(), TColorReduction::crWebPalette, static_cast<TDitherMode>(7), 8, nullptr)->GetEmpty());
}

TEST(GifReduction, MethodPalettesAndFlags) {
  struct Case {
    TColorReduction method;
    std::size_t entries;
    win::BYTE flags;  // of every entry, or 0xFF when mixed
  };
  for (const Case& c : {Case{TColorReduction::crWindows20, 20, 0xFF}, Case{TColorReduction::crWindowsGray, 4, win::PC_NOCOLLAPSE},
                        Case{TColorReduction::crMonochrome, 2, win::PC_NOCOLLAPSE}, Case{TColorReduction::crGrayScale, 256, win::PC_NOCOLLAPSE},
                        Case{TColorReduction::crWebPalette, 216, 0}, Case{TColorReduction::crQuantizeWindows, 256, 0xFF}}) {
    SCOPED_TRACE(static_cast<int>(c.method));
    auto source = Flat(4, 4, 0x204060);
    const auto result = ReduceColors(source.get(), c.method, ditherNearest, 8, nullptr);
    ASSERT_FALSE(result->GetEmpty());
    // The colour table of the result holds the palette's colours.
    const bmp::Image image = result->GetImage();
    EXPECT_EQ(image.bits_per_pixel, 8);
    EXPECT_GE(image.colors.size(), c.entries);
  }
  const win::HPALETTE gray = CreateWindowsGrayPalette();
  const auto entries = gif::PaletteEntries(gray);
  win::DeleteObject(gray);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ((std::array<int, 4>{entries[0].peRed, entries[1].peRed, entries[2].peRed, entries[3].peRed}),
            (std::array<int, 4>{0, 128, 192, 255}));
  for (const auto& e : entries) EXPECT_EQ(e.peFlags, win::PC_NOCOLLAPSE);
}

TEST(GifReduction, OptimizedPaletteFlagsAndSystemColours) {
  auto source = Flat(4, 4, 0x204060);
  TDIBReader reader(source.get(), pf24bit);
  const win::HPALETTE plain = CreateOptimizedPalette(&reader, 16, 8, false);
  const auto entries = gif::PaletteEntries(plain);
  win::DeleteObject(plain);
  ASSERT_EQ(entries.size(), 16u);
  EXPECT_EQ(entries[0].peFlags, 0);  // the one leaf
  EXPECT_EQ(entries[0].peRed, 0x60);
  for (std::size_t i = 1; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].peFlags, win::PC_NOCOLLAPSE) << i;
    EXPECT_EQ(entries[i].peRed + entries[i].peGreen + entries[i].peBlue, 0) << i;
  }
  const win::HPALETTE system = CreateOptimizedPalette(&reader, 256, 8, true);
  const auto with_system = gif::PaletteEntries(system);
  win::DeleteObject(system);
  const auto defaults = gif::PaletteEntries(static_cast<win::HPALETTE>(win::GetStockObject(win::DEFAULT_PALETTE)));
  ASSERT_EQ(with_system.size(), 256u);
  ASSERT_EQ(defaults.size(), 20u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(with_system[static_cast<std::size_t>(i)].peRed, defaults[static_cast<std::size_t>(i)].peRed);
    EXPECT_EQ(with_system[static_cast<std::size_t>(246 + i)].peBlue, defaults[static_cast<std::size_t>(10 + i)].peBlue);
  }
  EXPECT_EQ(with_system[10].peRed, 0x60);
}

TEST(GifReduction, ReductionBitsAreClippedToOneToEight) {
  TBitmap source;
  source.SetPixelFormat(pf24bit);
  source.SetSize(16, 16);
  for (int i = 0; i < 256; ++i) source.GetCanvas()->SetPixel(i % 16, i / 16, static_cast<TColor>(i * 0x010101));
  for (auto [bits, most] : {std::pair{0, 2}, {1, 2}, {3, 8}, {12, 256}}) {
    SCOPED_TRACE(bits);
    TBitmap copy;
    copy.Assign(&source);
    const auto result = ReduceColors(&copy, TColorReduction::crQuantize, ditherNearest, bits, nullptr);
    std::set<int> used;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) used.insert(static_cast<const std::uint8_t*>(result->GetScanLine(y))[x]);
    EXPECT_LE(static_cast<int>(used.size()), most);
    EXPECT_GE(static_cast<int>(used.size()), std::min(most, 2));
  }
}

TEST(GifReduction, CustomPalettesLargerThanATableAreCut) {
  std::vector<win::PALETTEENTRY> entries(600);
  for (std::size_t i = 0; i < entries.size(); ++i)
    entries[i] = win::PALETTEENTRY{static_cast<win::BYTE>(i % 256), static_cast<win::BYTE>(i / 256 * 50), 0, 0};
  const win::HPALETTE large = gif::MakePalette(entries);
  auto source = Flat(4, 4, 0x000010);
  const auto result = ReduceColors(source.get(), TColorReduction::crCustomPalette, ditherFloydSteinberg, 8, large);
  win::DeleteObject(large);
  ASSERT_FALSE(result->GetEmpty());
  EXPECT_LE(result->GetImage().colors.size(), 256u);
  result->SetPixelFormat(pf24bit);
  EXPECT_EQ(Pixel(*result, 0, 0), 0x000010);
}

}  // namespace
}  // namespace dashtune
