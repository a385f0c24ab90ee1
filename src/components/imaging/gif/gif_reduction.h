// Colour reduction: turns a true-colour bitmap into an 8-bit one of at most 256 colours. A palette
// is chosen (fixed system palettes, gray ramps, the web palette, an octree-quantized palette or
// the caller's), every pixel is mapped to an index through a colour lookup, and the quantisation
// error is optionally spread by an error-diffusion kernel, walking the rows in serpentine order.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "components/imaging/gif/gif_utils.h"
#include "platform/gdi/scoped_gdi.h"

namespace dashtune {

// Scoped: the cursor constants of the class library have a crNone of their own.
enum class TColorReduction : int {
  crNone,
  crWindows20,
  crWindows256,
  crWindowsGray,
  crMonochrome,
  crGrayScale,
  crWebPalette,
  crQuantize,
  crQuantizeWindows,
  crCustomPalette
};

enum TDitherMode : int {
  ditherNearest,
  ditherFloydSteinberg,
  ditherStucki,
  ditherSierra,
  ditherJaJuNi,
  ditherSteveArche,
  ditherBurkes
};

// Maps a colour to a palette index and the colour of that entry.
class TColorLookup : public TObject {
 public:
  explicit TColorLookup(int AColors) : Colors(AColors) {}
  virtual int Lookup(int Red, int Green, int Blue, int& R, int& G, int& B) = 0;
  int Colors;  // entries of the palette
};

// The palette's nearest entry (lowest index on ties), over at most 256 entries read once.
class TSlowColorLookup : public TColorLookup {
 public:
  explicit TSlowColorLookup(win::HPALETTE Palette);
  int Lookup(int Red, int Green, int Blue, int& R, int& G, int& B) override;

 private:
  win::ScopedGdiObject<win::HPALETTE> palette_;  // a copy of at most 256 entries
  std::vector<win::PALETTEENTRY> entries_;
};

// The 216-colour web palette: each channel rounded to a multiple of 51.
class TNetscapeColorLookup : public TColorLookup {
 public:
  TNetscapeColorLookup() : TColorLookup(gif::kWebColors) {}
  int Lookup(int Red, int Green, int Blue, int& R, int& G, int& B) override;
};

// 256 grays by luminance.
class TGrayScaleLookup : public TColorLookup {
 public:
  TGrayScaleLookup() : TColorLookup(gif::kMaxColors) {}
  int Lookup(int Red, int Green, int Blue, int& R, int& G, int& B) override;
};

// Black below half luminance, white from there.
class TMonochromeLookup : public TColorLookup {
 public:
  TMonochromeLookup() : TColorLookup(2) {}
  int Lookup(int Red, int Green, int Blue, int& R, int& G, int& B) override;
};

// The nearest-colour engine: walks a row in Direction and reverses at every new line.
class TDitherEngine : public TObject {
 public:
  TDitherEngine(int AWidth, TColorLookup* ALookup) : Lookup(ALookup), Width(AWidth) {}
  virtual int Dither(int Red, int Green, int Blue, int& R, int& G, int& B);
  virtual void NextLine();

  TColorLookup* Lookup;  // not owned
  int Width;
  int Direction = 1;
  int Column = 0;

 protected:
  void NextColumn() { Column += Direction; }
};

// One weight of an error-diffusion kernel: row below the current one, column offset ahead.
struct TDitherWeight {
  int row;
  int offset;
  int weight;
};

// Error diffusion by a kernel: each channel keeps one error row per kernel row, `Width` plus
// guard entries long; a pixel's accumulated error is rounded and divided when it is reached.
class TErrorDiffusionDitherer : public TDitherEngine {
 public:
  TErrorDiffusionDitherer(int AWidth, TColorLookup* ALookup, std::vector<TDitherWeight> Kernel, int Divisor);
  int Dither(int Red, int Green, int Blue, int& R, int& G, int& B) override;
  void NextLine() override;

 private:
  int& ErrorAt(int row, int channel, int column);

  std::vector<TDitherWeight> kernel_;
  int divisor_;
  int rows_;
  int guard_;
  std::size_t row_length_;
  std::vector<int> errors_;  // rows_ x 3 channels x row_length_
};

class TFloydSteinbergDitherer : public TErrorDiffusionDitherer {
 public:
  TFloydSteinbergDitherer(int AWidth, TColorLookup* ALookup);
};
// The 5-wide, 3-row kernels.
class T5by3Ditherer : public TErrorDiffusionDitherer {
 public:
  using TErrorDiffusionDitherer::TErrorDiffusionDitherer;
};
class TStuckiDitherer : public T5by3Ditherer {
 public:
  TStuckiDitherer(int AWidth, TColorLookup* ALookup);
};
class TSierraDitherer : public T5by3Ditherer {
 public:
  TSierraDitherer(int AWidth, TColorLookup* ALookup);
};
class TJaJuNiDitherer : public T5by3Ditherer {
 public:
  TJaJuNiDitherer(int AWidth, TColorLookup* ALookup);
};
class TSteveArcheDitherer : public TErrorDiffusionDitherer {
 public:
  TSteveArcheDitherer(int AWidth, TColorLookup* ALookup);
};
class TBurkesDitherer : public TErrorDiffusionDitherer {
 public:
  TBurkesDitherer(int AWidth, TColorLookup* ALookup);
};

// A new bitmap (owned by the caller) of at most 256 colours; TColorReduction::crNone gives a 24-bit copy. The
// source is converted to 24 bits in place. ReductionBits is clipped to 1..8; CustomPalette (not
// owned) is used for TColorReduction::crCustomPalette. Unknown methods and modes give an empty bitmap.
std::unique_ptr<TBitmap> ReduceColors(TBitmap* Bitmap, TColorReduction ColorReduction, TDitherMode DitherMode,
                                      int ReductionBits, win::HPALETTE CustomPalette);

// New palettes; the caller deletes them. The octree quantizer gives Colors entries (256 with the
// system colours in the first and last ten); entries it cannot fill are black.
win::HPALETTE CreateOptimizedPalette(TDIBReader* Reader, int Colors, int ColorBits, bool UseSystemColors);
win::HPALETTE CreateOptimizedPaletteForBitmap(TBitmap* Bitmap, int Colors, int ColorBits, bool UseSystemColors);
win::HPALETTE CreateGrayRampPalette();
win::HPALETTE CreateMonochromePalette();
win::HPALETTE CreateWindowsGrayPalette();
win::HPALETTE CreateHalftoneScreenPalette();

}  // namespace dashtune
