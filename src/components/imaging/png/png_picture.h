// TPNGPicture: the PNG picture of the graphics classes. It owns the chunks of the file, draws the
// image its header holds (plainly, through a mask of one transparent colour, or blended by
// per-pixel alpha) and registers itself with the picture container for ".png" files.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/graphics.h"
#include "classlib/set.h"
#include "components/imaging/png/png_chunks.h"

namespace dashtune {

enum TFilter : int { filterNone, filterSub, filterUp, filterAverage, filterPaeth };
using TFilters = Set<TFilter>;

enum TPNGTransparencyMode : int { tmNone, tmSingleColor, tmPartial };

class TPNGPicture : public TGraphic {
 public:
  TPNGPicture();
  ~TPNGPicture() override;

  void Assign(const TPersistent* Source) override;
  void Draw(TCanvas* ACanvas, const win::RECT& Rect) override;
  bool GetEmpty() const override { return chunks_.GetCount() == 0; }
  int GetHeight() const override;
  int GetWidth() const override;
  void SetHeight(int Value) override { Resize(GetWidth(), Value); }
  void SetWidth(int Value) override { Resize(Value, GetHeight()); }
  win::HPALETTE GetPalette() const override;
  // Installs the palette in the image's colour table and keeps it (the previous one is deleted);
  // an image without a colour table leaves the palette with the caller.
  void SetPalette(win::HPALETTE Palette) override;
  // Raises EPNGHeaderNotPresent on an empty picture.
  bool GetTransparent() const override { return GetTransparencyMode() != tmNone; }

  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  void LoadFromClipboardFormat(std::uint16_t AFormat, win::HANDLE AData, win::HPALETTE APalette) override;
  void SaveToClipboardFormat(std::uint16_t& AFormat, win::HANDLE& AData, win::HPALETTE& APalette) override;

  // The Pixels property: RGB colours (red in the low byte); 0 and no change outside the image.
  virtual TColor GetPixels(int X, int Y) const;
  virtual void SetPixels(int X, int Y, TColor Value);

  TCanvas* GetCanvas() const { return canvas_.get(); }
  TPNGList& GetChunks() { return chunks_; }
  const TPNGList& GetChunks() const { return chunks_; }
  TFilters GetFilters() const { return filters_; }
  void SetFilters(TFilters Value) { filters_ = Value; }
  int GetCompressionLevel() const { return compression_level_; }
  void SetCompressionLevel(int Value) { compression_level_ = Value; }
  int GetMaxIdatSize() const { return max_idat_size_; }
  // Values below 65535 become 65535.
  void SetMaxIdatSize(int Value) { max_idat_size_ = Value < 65535 ? 65535 : Value; }
  std::uint8_t GetInterlaceMethod() const { return interlace_method_; }
  void SetInterlaceMethod(std::uint8_t Value) { interlace_method_ = Value; }

  // Raises EPNGHeaderNotPresent on an empty picture.
  TPNGTransparencyMode GetTransparencyMode() const;
  // The first chunk as the header; EPNGHeaderNotPresent when it is not one.
  TChunkIHDR* Header() const;

  // One bit a pixel in the rows of a 1-bit bitmap, top-down, 1 where the pixel holds the tRNS
  // chunk's stored sample: palette images by index, gray by the whole sample, truecolour by the
  // mask made while decoding (else by the colour the image holds).
  std::vector<std::uint8_t> TransparentKeyMask() const;

  void AssignPNG(const TPNGPicture* Source);
  // Imports a bitmap: palette image below 16 bits per pixel, RGB otherwise.
  void AssignHandle(win::HBITMAP Bitmap, bool Transparent, win::COLORREF TransparentColor);
  // Frees every chunk and resets both gamma tables to identity.
  void ClearChunks();
  void InitializeGamma();
  // New size, keeping the overlap; a size below 1 raises EPNGInvalidNewSize.
  void Resize(int CX, int CY);

  // Rows counted from the top; AlphaScanline is nil without an alpha plane, ExtraScanline without
  // a low-byte plane.
  std::uint8_t* Scanline(int Row) const;
  std::uint8_t* AlphaScanline(int Row) const;
  std::uint8_t* ExtraScanline(int Row) const;

  // Applied to colours while decoding and, inverted, while encoding.
  std::array<std::uint8_t, 256> GammaTable{};
  std::array<std::uint8_t, 256> InverseGamma{};

 protected:
  void AssignTo(TPersistent* Dest) const override;

 private:
  // Draws with every pixel of the transparent stored sample (TransparentKeyMask) left out.
  void DrawTransparentMask(win::HDC DC, const win::RECT& Rect) const;
  void DrawPartialTrans(win::HDC DC, win::RECT Rect) const;
  // Blends the pixels of `visible`, a part of the drawing rectangle Rect, onto 32-bit top-down
  // rows of that part's width.
  void BlendOnto(std::uint8_t* pixels, const win::RECT& Rect, const win::RECT& visible) const;

  std::unique_ptr<TCanvas> canvas_;
  TFilters filters_{filterSub};
  int compression_level_ = 7;
  int max_idat_size_ = 65535;
  std::uint8_t interlace_method_ = 0;
  TPNGList chunks_;
};

}  // namespace dashtune
