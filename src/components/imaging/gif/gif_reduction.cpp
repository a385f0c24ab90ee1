#include "components/imaging/gif/gif_reduction.h"

#include <algorithm>
#include <cstdlib>

#include "platform/gdi/gdi.h"
#include "platform/user/paint.h"

namespace dashtune {
namespace {

// Luminance weights of the gray and monochrome lookups (sum 256).
constexpr int kRedWeight = 77;
constexpr int kGreenWeight = 150;
constexpr int kBlueWeight = 29;
constexpr int kLuminanceShift = 8;
// Weighted sums from here on are white.
constexpr int kMonochromeThreshold = 32513;
// Above this many pixels the result starts at 1 bit per pixel before its DIB is written.
constexpr std::uint64_t kLargeBitmapPixels = 500000;
constexpr int kSystemColorsEachEnd = 10;
constexpr int kMaxReductionBits = 8;
constexpr int kMinReductionBits = 1;
constexpr int kBytesPerRgb = 3;

int Luminance(int red, int green, int blue) { return red * kRedWeight + green * kGreenWeight + blue * kBlueWeight; }

win::PALETTEENTRY Gray(int level, win::BYTE flags) {
  const auto v = static_cast<win::BYTE>(level);
  return win::PALETTEENTRY{v, v, v, flags};
}

// The system's default palette, as entries.
std::vector<win::PALETTEENTRY> DefaultPaletteEntries() {
  const auto palette = static_cast<win::HPALETTE>(win::GetStockObject(win::DEFAULT_PALETTE));
  return gif::PaletteEntries(palette);
}

// ---- Octree quantizer ----

struct TOctreeNode {
  bool IsLeaf = false;
  std::uint64_t PixelCount = 0;
  std::uint64_t RedSum = 0;
  std::uint64_t GreenSum = 0;
  std::uint64_t BlueSum = 0;
  TOctreeNode* Next = nullptr;  // next reducible node of the same level
  std::array<std::unique_ptr<TOctreeNode>, 8> Children;
};

class TColorQuantizer {
 public:
  TColorQuantizer(int MaxColors, int ColorBits)
      : max_colors_(std::max(MaxColors, 1)), color_bits_(std::clamp(ColorBits, 1, 8)) {}

  void ProcessImage(TDIBReader* Reader) {
    const int width = Reader->Bitmap->GetWidth();
    const int height = Reader->Bitmap->GetHeight();
    for (int y = 0; y < height; ++y) {
      const std::uint8_t* row = Reader->Scanline(y);
      for (int x = 0; x < width; ++x, row += kBytesPerRgb) {
        AddColor(tree_, row[2], row[1], row[0], 0);
        while (leaf_count_ > max_colors_) ReduceTree();
      }
    }
  }

  // The leaves' mean colours, depth first, children in order.
  std::vector<win::PALETTEENTRY> GetColorTable() const {
    std::vector<win::PALETTEENTRY> table;
    if (tree_) Collect(*tree_, table);
    return table;
  }

 private:
  void AddColor(std::unique_ptr<TOctreeNode>& node, int red, int green, int blue, int level) {
    if (!node) {
      node = std::make_unique<TOctreeNode>();
      if (level == color_bits_) {
        node->IsLeaf = true;
        ++leaf_count_;
      } else {
        node->Next = reducible_[static_cast<std::size_t>(level)];
        reducible_[static_cast<std::size_t>(level)] = node.get();
      }
    }
    if (node->IsLeaf) {
      ++node->PixelCount;
      node->RedSum += static_cast<std::uint64_t>(red);
      node->GreenSum += static_cast<std::uint64_t>(green);
      node->BlueSum += static_cast<std::uint64_t>(blue);
      return;
    }
    const int mask = 0x80 >> level;
    const int shift = 7 - level;
    const int child = (((red & mask) >> shift) << 2) | (((green & mask) >> shift) << 1) | ((blue & mask) >> shift);
    AddColor(node->Children[static_cast<std::size_t>(child)], red, green, blue, level + 1);
  }

  void ReduceTree() {
    int level = color_bits_ - 1;
    while (level > 0 && reducible_[static_cast<std::size_t>(level)] == nullptr) --level;
    TOctreeNode* node = reducible_[static_cast<std::size_t>(level)];
    if (node == nullptr) return;
    reducible_[static_cast<std::size_t>(level)] = node->Next;
    int children = 0;
    for (auto& child : node->Children) {
      if (!child) continue;
      node->PixelCount += child->PixelCount;
      node->RedSum += child->RedSum;
      node->GreenSum += child->GreenSum;
      node->BlueSum += child->BlueSum;
      child.reset();
      ++children;
    }
    node->IsLeaf = true;
    leaf_count_ += 1 - children;
  }

  static void Collect(const TOctreeNode& node, std::vector<win::PALETTEENTRY>& table) {
    if (node.IsLeaf) {
      const std::uint64_t n = node.PixelCount;
      const auto mean = [n](std::uint64_t sum) { return static_cast<win::BYTE>(n == 0 ? 0 : sum / n); };
      table.push_back(win::PALETTEENTRY{mean(node.RedSum), mean(node.GreenSum), mean(node.BlueSum), 0});
      return;
    }
    for (const auto& child : node.Children)
      if (child) Collect(*child, table);
  }

  int max_colors_;
  int color_bits_;
  int leaf_count_ = 0;
  std::unique_ptr<TOctreeNode> tree_;
  std::array<TOctreeNode*, 9> reducible_{};
};

std::unique_ptr<TColorLookup> MakeLookup(TColorReduction method, win::HPALETTE palette) {
  switch (method) {
    case TColorReduction::crMonochrome:
      return std::make_unique<TMonochromeLookup>();
    case TColorReduction::crGrayScale:
      return std::make_unique<TGrayScaleLookup>();
    case TColorReduction::crWebPalette:
      return std::make_unique<TNetscapeColorLookup>();
    default:
      return std::make_unique<TSlowColorLookup>(palette);
  }
}

win::HPALETTE MakeReductionPalette(TColorReduction method, TDIBReader* reader, int bits, win::HPALETTE custom) {
  switch (method) {
    case TColorReduction::crWindows20:
      return gif::MakePalette(DefaultPaletteEntries());
    case TColorReduction::crWindows256:
      return CreateHalftoneScreenPalette();
    case TColorReduction::crWindowsGray:
      return CreateWindowsGrayPalette();
    case TColorReduction::crMonochrome:
      return CreateMonochromePalette();
    case TColorReduction::crGrayScale:
      return CreateGrayRampPalette();
    case TColorReduction::crWebPalette:
      return gif::WebPalette();
    case TColorReduction::crQuantize:
      return CreateOptimizedPalette(reader, 1 << bits, 8, false);
    case TColorReduction::crQuantizeWindows:
      return CreateOptimizedPalette(reader, gif::kMaxColors, 8, true);
    case TColorReduction::crCustomPalette: {
      // A platform palette may hold up to 1024 entries; a GIF table takes 256.
      std::vector<win::PALETTEENTRY> entries = gif::PaletteEntries(custom);
      return entries.empty() ? nullptr : gif::MakePalette(entries);
    }
    default:
      return nullptr;
  }
}

std::unique_ptr<TDitherEngine> MakeDitherer(TDitherMode mode, int width, TColorLookup* lookup) {
  switch (mode) {
    case ditherNearest:
      return std::make_unique<TDitherEngine>(width, lookup);
    case ditherFloydSteinberg:
      return std::make_unique<TFloydSteinbergDitherer>(width, lookup);
    case ditherStucki:
      return std::make_unique<TStuckiDitherer>(width, lookup);
    case ditherSierra:
      return std::make_unique<TSierraDitherer>(width, lookup);
    case ditherJaJuNi:
      return std::make_unique<TJaJuNiDitherer>(width, lookup);
    case ditherSteveArche:
      return std::make_unique<TSteveArcheDitherer>(width, lookup);
    case ditherBurkes:
      return std::make_unique<TBurkesDitherer>(width, lookup);
  }
  return nullptr;
}

}  // namespace

// ---- Lookups ----

TSlowColorLookup::TSlowColorLookup(win::HPALETTE Palette) : TColorLookup(0) {
  entries_ = gif::PaletteEntries(Palette);
  Colors = static_cast<int>(entries_.size());
  if (!entries_.empty()) palette_.Reset(gif::MakePalette(entries_));
}

int TSlowColorLookup::Lookup(int Red, int Green, int Blue, int& R, int& G, int& B) {
  const win::UINT index = win::GetNearestPaletteIndex(palette_.Get(), win::RGB(static_cast<win::BYTE>(Red),
                                                                         static_cast<win::BYTE>(Green),
                                                                         static_cast<win::BYTE>(Blue)));
  const win::PALETTEENTRY& e = entries_[std::min<std::size_t>(index, entries_.size() - 1)];
  R = e.peRed;
  G = e.peGreen;
  B = e.peBlue;
  return static_cast<int>(index);
}

int TNetscapeColorLookup::Lookup(int Red, int Green, int Blue, int& R, int& G, int& B) {
  const int r = (Red + 3) / gif::kWebStep, g = (Green + 3) / gif::kWebStep, b = (Blue + 3) / gif::kWebStep;
  R = r * gif::kWebStep;
  G = g * gif::kWebStep;
  B = b * gif::kWebStep;
  return (r * gif::kWebLevels + g) * gif::kWebLevels + b;
}

int TGrayScaleLookup::Lookup(int Red, int Green, int Blue, int& R, int& G, int& B) {
  const int y = Luminance(Red, Green, Blue) >> kLuminanceShift;
  R = G = B = y;
  return y;
}

int TMonochromeLookup::Lookup(int Red, int Green, int Blue, int& R, int& G, int& B) {
  const bool white = Luminance(Red, Green, Blue) >= kMonochromeThreshold;
  R = G = B = white ? 255 : 0;
  return white ? 1 : 0;
}

// ---- Ditherers ----

int TDitherEngine::Dither(int Red, int Green, int Blue, int& R, int& G, int& B) {
  const int index = Lookup->Lookup(Red, Green, Blue, R, G, B);
  NextColumn();
  return index;
}

void TDitherEngine::NextLine() {
  Direction = -Direction;
  Column = Direction > 0 ? 0 : Width - 1;
}

TErrorDiffusionDitherer::TErrorDiffusionDitherer(int AWidth, TColorLookup* ALookup, std::vector<TDitherWeight> Kernel,
                                                 int Divisor)
    : TDitherEngine(AWidth, ALookup), kernel_(std::move(Kernel)), divisor_(Divisor), rows_(1), guard_(0) {
  for (const TDitherWeight& w : kernel_) {
    rows_ = std::max(rows_, w.row + 1);
    guard_ = std::max(guard_, std::abs(w.offset));
  }
  row_length_ = static_cast<std::size_t>(std::max(AWidth, 0)) + 2 * static_cast<std::size_t>(guard_);
  errors_.assign(static_cast<std::size_t>(rows_) * 3 * row_length_, 0);
}

int& TErrorDiffusionDitherer::ErrorAt(int row, int channel, int column) {
  return errors_[(static_cast<std::size_t>(row) * 3 + static_cast<std::size_t>(channel)) * row_length_ +
                 static_cast<std::size_t>(column + guard_)];
}

int TErrorDiffusionDitherer::Dither(int Red, int Green, int Blue, int& R, int& G, int& B) {
  const int in[3] = {Red, Green, Blue};
  int value[3];
  for (int c = 0; c < 3; ++c) {
    // Rounded and divided once, truncating toward zero.
    const int error = (ErrorAt(0, c, Column) + divisor_ / 2) / divisor_;
    value[c] = std::clamp(in[c] + error, 0, 255);
  }
  const int index = Lookup->Lookup(value[0], value[1], value[2], R, G, B);
  const int chosen[3] = {R, G, B};
  for (int c = 0; c < 3; ++c) {
    const int error = value[c] - chosen[c];
    if (error == 0) continue;
    for (const TDitherWeight& w : kernel_) {
      const int column = Column + w.offset * Direction;
      // Guard entries take what falls off either end of the row.
      ErrorAt(w.row, c, column) += error * w.weight;
    }
  }
  NextColumn();
  return index;
}

void TErrorDiffusionDitherer::NextLine() {
  // The current row is cleared and becomes the last; the others move up one.
  const auto first = errors_.begin();
  const auto row_size = static_cast<std::ptrdiff_t>(3 * row_length_);
  std::fill(first, first + row_size, 0);
  std::rotate(first, first + row_size, errors_.end());
  TDitherEngine::NextLine();
}

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int AWidth, TColorLookup* ALookup)
    : TErrorDiffusionDitherer(AWidth, ALookup, {{0, 1, 7}, {1, -1, 3}, {1, 0, 5}, {1, 1, 1}}, 16) {}

TStuckiDitherer::TStuckiDitherer(int AWidth, TColorLookup* ALookup)
    : T5by3Ditherer(AWidth, ALookup,
                    {{0, 1, 8}, {0, 2, 4},                                       //
                     {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},    //
                     {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}},
                    42) {}

TSierraDitherer::TSierraDitherer(int AWidth, TColorLookup* ALookup)
    : T5by3Ditherer(AWidth, ALookup,
                    {{0, 1, 5}, {0, 2, 3},                                       //
                     {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2},    //
                     {2, -1, 2}, {2, 0, 3}, {2, 1, 2}},
                    32) {}

TJaJuNiDitherer::TJaJuNiDitherer(int AWidth, TColorLookup* ALookup)
    : T5by3Ditherer(AWidth, ALookup,
                    {{0, 1, 7}, {0, 2, 5},                                       //
                     {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},    //
                     {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}},
                    48) {}

TSteveArcheDitherer::TSteveArcheDitherer(int AWidth, TColorLookup* ALookup)
    : TErrorDiffusionDitherer(AWidth, ALookup,
                              {{0, 2, 32},                                          //
                               {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16},    //
                               {2, -2, 12}, {2, 0, 26}, {2, 2, 12},                 //
                               {3, -3, 5}, {3, -1, 12}, {3, 1, 12}, {3, 3, 5}},
                              200) {}

TBurkesDitherer::TBurkesDitherer(int AWidth, TColorLookup* ALookup)
    : TErrorDiffusionDitherer(AWidth, ALookup,
                              {{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}}, 32) {}

// ---- Palettes ----

win::HPALETTE CreateOptimizedPalette(TDIBReader* Reader, int Colors, int ColorBits, bool UseSystemColors) {
  const int total = UseSystemColors ? gif::kMaxColors : std::clamp(Colors, 1, gif::kMaxColors);
  const int quantized = UseSystemColors ? gif::kMaxColors - 2 * kSystemColorsEachEnd : total;
  std::vector<win::PALETTEENTRY> entries(static_cast<std::size_t>(total), win::PALETTEENTRY{0, 0, 0, win::PC_NOCOLLAPSE});
  int first = 0;
  if (UseSystemColors) {
    const std::vector<win::PALETTEENTRY> system = DefaultPaletteEntries();
    const int n = static_cast<int>(system.size());
    for (int i = 0; i < kSystemColorsEachEnd && i < n; ++i) {
      entries[static_cast<std::size_t>(i)] = system[static_cast<std::size_t>(i)];
      entries[static_cast<std::size_t>(gif::kMaxColors - kSystemColorsEachEnd + i)] =
          system[static_cast<std::size_t>(std::max(n - kSystemColorsEachEnd + i, 0))];
    }
    first = kSystemColorsEachEnd;
  }
  TColorQuantizer quantizer(quantized, ColorBits);
  quantizer.ProcessImage(Reader);
  const std::vector<win::PALETTEENTRY> table = quantizer.GetColorTable();
  // Entries beyond the leaves found stay black, with the no-collapse flag.
  const int leaves = std::min(quantized, static_cast<int>(table.size()));
  for (int i = 0; i < leaves; ++i) {
    const win::PALETTEENTRY& leaf = table[static_cast<std::size_t>(i)];
    entries[static_cast<std::size_t>(first + i)] = win::PALETTEENTRY{leaf.peRed, leaf.peGreen, leaf.peBlue, 0};
  }
  return gif::MakePalette(entries);
}

win::HPALETTE CreateOptimizedPaletteForBitmap(TBitmap* Bitmap, int Colors, int ColorBits, bool UseSystemColors) {
  TDIBReader reader(Bitmap, pf24bit);
  return CreateOptimizedPalette(&reader, Colors, ColorBits, UseSystemColors);
}

win::HPALETTE CreateGrayRampPalette() {
  std::vector<win::PALETTEENTRY> entries;
  for (int i = 0; i < gif::kMaxColors; ++i) entries.push_back(Gray(i, win::PC_NOCOLLAPSE));
  return gif::MakePalette(entries);
}

win::HPALETTE CreateMonochromePalette() {
  return gif::MakePalette({Gray(0, win::PC_NOCOLLAPSE), Gray(255, win::PC_NOCOLLAPSE)});
}

win::HPALETTE CreateWindowsGrayPalette() {
  return gif::MakePalette({Gray(0, win::PC_NOCOLLAPSE), Gray(128, win::PC_NOCOLLAPSE), Gray(192, win::PC_NOCOLLAPSE),
                           Gray(255, win::PC_NOCOLLAPSE)});
}

win::HPALETTE CreateHalftoneScreenPalette() {
  const win::HDC dc = gif::CheckWin32Result(win::GetDC(nullptr));
  const win::HPALETTE palette = win::CreateHalftonePalette(dc);
  win::ReleaseDC(nullptr, dc);
  return gif::CheckWin32Result(palette);
}

// ---- Reduction ----

std::unique_ptr<TBitmap> ReduceColors(TBitmap* Bitmap, TColorReduction ColorReduction, TDitherMode DitherMode,
                                      int ReductionBits, win::HPALETTE CustomPalette) {
  auto result = std::make_unique<TBitmap>();
  if (ColorReduction == TColorReduction::crNone) {
    result->Assign(Bitmap);
    result->SetPixelFormat(pf24bit);
    return result;
  }
  const int width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
  if (static_cast<std::uint64_t>(std::max(width, 0)) * static_cast<std::uint64_t>(std::max(height, 0)) >
      kLargeBitmapPixels)
    result->SetPixelFormat(pf1bit);
  if (ColorReduction < TColorReduction::crWindows20 || ColorReduction > TColorReduction::crCustomPalette) return result;
  if (DitherMode < ditherNearest || DitherMode > ditherBurkes) return result;
  if (Bitmap->GetEmpty()) return result;

  TDIBReader reader(Bitmap, pf24bit);
  const int bits = std::clamp(ReductionBits, kMinReductionBits, kMaxReductionBits);
  const win::ScopedGdiObject<win::HPALETTE> owned_palette(
      MakeReductionPalette(ColorReduction, &reader, bits, CustomPalette));
  const win::HPALETTE palette = owned_palette.Get();
  if (palette == nullptr) return result;
  const std::unique_ptr<TColorLookup> lookup = MakeLookup(ColorReduction, palette);
  if (lookup->Colors == 0) return result;
  const std::unique_ptr<TDitherEngine> ditherer = MakeDitherer(DitherMode, width, lookup.get());

  TDIBWriter writer(result.get(), pf8bit, width, height, palette);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* source = reader.Scanline(y);
    std::uint8_t* target = writer.Scanline(y);
    for (int x = ditherer->Column; x >= 0 && x < width; x = ditherer->Column) {
      const std::uint8_t* p = source + static_cast<std::size_t>(x) * kBytesPerRgb;
      int r = 0, g = 0, b = 0;
      target[x] = static_cast<std::uint8_t>(ditherer->Dither(p[2], p[1], p[0], r, g, b));
    }
    ditherer->NextLine();
  }
  writer.UpdateBitmap();
  return result;
}

}  // namespace dashtune
