// Bitmaps and icons of the graphics classes. A bitmap keeps its pixels in a device-independent
// section of the platform (1, 4, 8, 24 or 32 bits per pixel, either row order) and draws
// through a memory device context that its canvas owns.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "classlib/bmp_format.h"
#include "classlib/graphics.h"
#include "platform/gdi/scoped_gdi.h"

namespace dashtune {

enum TPixelFormat : int { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TTransparentMode : int { tmAuto, tmFixed };
enum TBitmapHandleType : int { bmDIB, bmDDB };

class TBitmap;

namespace graphics {
// Bits per pixel of a format (the virtual screen's depth for pfDevice); 0 for unsupported ones.
int BitsPerPixelOf(TPixelFormat format);
// The sixteen colours of the standard 16-colour palette, in its order.
const std::vector<bmp::Quad>& SixteenColors();
}  // namespace graphics

// The canvas of a bitmap: a memory device context with the bitmap selected, made on first use.
class TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap* bitmap);  // bitmap: not owned, owns this canvas
  ~TBitmapCanvas() override;
  // Deselects the bitmap and deletes the context, so the bitmap may replace its section.
  void FreeContext();

 protected:
  void CreateHandle() override;

 private:
  TBitmap* bitmap_;
  win::ScopedGdiObject<win::HDC> context_;           // the canvas's handle while allocated
  std::optional<win::ScopedSelect> bitmap_selection_;
  win::HPALETTE old_palette_ = nullptr;
};

class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;

  void Assign(const TPersistent* Source) override;
  void Draw(TCanvas* ACanvas, const win::RECT& Rect) override;
  bool GetEmpty() const override { return !handle_; }
  int GetWidth() const override { return image_.width; }
  int GetHeight() const override { return image_.height; }
  void SetWidth(int Value) override { SetSize(Value, image_.height); }
  void SetHeight(int Value) override { SetSize(image_.width, Value); }
  // Keeps the overlapping pixels (top-left aligned); new pixels are white; 0 empties the bitmap.
  void SetSize(int AWidth, int AHeight);
  // The bitmap owns its palette; set one replaces it (and the colour table below 16 bits).
  win::HPALETTE GetPalette() const override { return palette_.Get(); }
  void SetPalette(win::HPALETTE Value) override;

  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  void LoadFromClipboardFormat(std::uint16_t AFormat, win::HANDLE AData, win::HPALETTE APalette) override;
  void SaveToClipboardFormat(std::uint16_t& AFormat, win::HANDLE& AData, win::HPALETTE& APalette) override;

  TCanvas* GetCanvas();
  // The section's handle, owned by the bitmap (nullptr when empty).
  win::HBITMAP GetHandle() const { return handle_.Get(); }
  // Takes ownership of a bitmap handle. A DIB section that no context holds is kept as it is
  // (its pixels are not copied); other bitmaps are converted into a new section.
  void SetHandle(win::HBITMAP Value);
  // Takes ownership of a DIB section its caller has just made and holds in no context, laid out
  // as `Layout` says (its full colour table included), pixels at `Bits`: kept as it is, without
  // asking the platform what it is as SetHandle must.
  void AdoptSection(win::HBITMAP Section, const bmp::Image& Layout, std::uint8_t* Bits);
  // Gives up the section: the caller owns it and the bitmap is empty.
  win::HBITMAP ReleaseHandle();
  // A monochrome mask of the transparent colour (1 where the pixel has that colour), owned.
  win::HBITMAP GetMaskHandle();
  TBitmapHandleType GetHandleType() const { return handle_type_; }
  void SetHandleType(TBitmapHandleType Value) { handle_type_ = Value; }
  TPixelFormat GetPixelFormat() const;
  // Converts the pixels; below 16 bits each colour takes its nearest entry of the new table.
  void SetPixelFormat(TPixelFormat Value);
  bool GetMonochrome() const { return handle_ && image_.bits_per_pixel == 1; }
  void SetMonochrome(bool Value);
  // Row `Row` counted from the top; EInvalidGraphicOperation outside the image.
  void* GetScanLine(int Row);
  TColor GetTransparentColor() const;
  void SetTransparentColor(TColor Value);
  TTransparentMode GetTransparentMode() const { return transparent_mode_; }
  void SetTransparentMode(TTransparentMode Value);
  // Makes the mask from the colour (stored as the fixed transparent colour).
  void Mask(TColor TransparentColor);
  // Frees the pixels and the palette, leaving an empty bitmap of the same pixel format.
  void FreeImage();

  // The pixels as a plain image (a copy).
  bmp::Image GetImage() const;
  // Replaces the pixels with a copy of the image.
  void SetImage(const bmp::Image& Image);

 private:
  friend class TBitmapCanvas;
  void Install(const bmp::Image& image);
  // Takes the section (owned from now on) whose pixels at `bits` are laid out as `image` says.
  void Adopt(const bmp::Image& image, win::HBITMAP section, std::uint8_t* bits);
  void DropSection();
  void DropMask();
  std::vector<bmp::Quad> TableFor(int bits) const;

  win::ScopedGdiObject<win::HBITMAP> handle_;
  bmp::Image image_;            // layout of the section; its bits live in the section, not here
  std::uint8_t* bits_ = nullptr;
  win::ScopedGdiObject<win::HPALETTE> palette_;
  win::ScopedGdiObject<win::HBITMAP> mask_;
  TPixelFormat empty_format_ = TPixelFormat::pfDevice;
  TBitmapHandleType handle_type_ = TBitmapHandleType::bmDIB;
  TTransparentMode transparent_mode_ = TTransparentMode::tmAuto;
  TColor transparent_color_ = clDefault;
  std::unique_ptr<TBitmapCanvas> canvas_;
};

// An icon: a colour bitmap and a monochrome mask (1 = transparent), read from and written to
// icon files (the first image of the file).
class TIcon : public TGraphic {
 public:
  TIcon();
  ~TIcon() override;

  void Assign(const TPersistent* Source) override;
  void Draw(TCanvas* ACanvas, const win::RECT& Rect) override;
  bool GetEmpty() const override { return color_.GetEmpty(); }
  int GetWidth() const override { return color_.GetWidth(); }
  int GetHeight() const override { return color_.GetHeight(); }
  // An icon's size follows its images: EInvalidGraphicOperation.
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;
  bool GetTransparent() const override { return true; }

  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  // Icons have no clipboard format: EInvalidGraphic.
  void LoadFromClipboardFormat(std::uint16_t AFormat, win::HANDLE AData, win::HPALETTE APalette) override;
  void SaveToClipboardFormat(std::uint16_t& AFormat, win::HANDLE& AData, win::HPALETTE& APalette) override;

  // The colour image and the mask (both owned by the icon).
  TBitmap* GetColorBitmap() { return &color_; }
  TBitmap* GetMaskBitmap() { return &mask_; }
  // Takes copies of the two bitmaps; the mask must be the colour bitmap's size.
  void SetBitmaps(const TBitmap* Color, const TBitmap* MaskBitmap);

 protected:
  void AssignTo(TPersistent* Dest) const override;

 private:
  TBitmap color_;
  TBitmap mask_;
};

}  // namespace dashtune
