// One frame: its descriptor, local table, extensions and pixels; the bitmap, mask and palette
// rendered from them; drawing; and the conversion of bitmaps and icons into a frame.
#include <algorithm>
#include <array>
#include <cstring>

#include "components/imaging/gif/gif_blocks.h"
#include "components/imaging/gif/gif_encoder.h"
#include "components/imaging/gif/gif_picture.h"
#include "components/imaging/gif/gif_reduction.h"
#include "platform/core/mul_div.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"

namespace dashtune {
namespace {

// Above this many pixels a frame's bitmap starts at 1 bit per pixel before its DIB is written.
constexpr std::uint64_t kLargeBitmapPixels = 500000;
// Recent colours remembered while a true-colour bitmap is mapped to a table.
constexpr std::size_t kColorCacheSize = 8;
constexpr int kBytesPerRgb = 3;
// Mask rows are padded to 16 bits, most significant bit first.
constexpr std::size_t kMaskRowAlignmentBits = 16;
// Transparent blit of equal sizes: keep the destination where the mask is set, copy elsewhere.
constexpr win::DWORD kMaskBltKeepTransparent = win::MAKEROP4(0x00AA0029, win::SRCCOPY);

std::uint16_t ClipToWord(int value) { return static_cast<std::uint16_t>(std::clamp(value, 0, 0xFFFF)); }

void TransparentStretchBlt(win::HDC dest, const win::RECT& target, win::HDC source, int source_width,
                           int source_height, win::HBITMAP mask) {
  const int width = target.right - target.left, height = target.bottom - target.top;
  if (width == 0 || height == 0) return;
  if (width == source_width && height == source_height) {
    win::MaskBlt(dest, target.left, target.top, width, height, source, 0, 0, mask, 0, 0, kMaskBltKeepTransparent);
    return;
  }
  const win::ScopedGdiObject<win::HDC> mask_dc(win::CreateCompatibleDC(dest));
  const win::ScopedGdiObject<win::HDC> inverse_dc(win::CreateCompatibleDC(dest));
  const win::ScopedGdiObject<win::HDC> prepared_dc(win::CreateCompatibleDC(dest));
  const win::ScopedSelect mask_selection(mask_dc.Get(), mask);
  // The inverted mask: set where the frame is opaque.
  const win::ScopedGdiObject<win::HBITMAP> inverse(win::CreateBitmap(source_width, source_height, 1, 1, nullptr));
  const win::ScopedSelect inverse_selection(inverse_dc.Get(), inverse.Get());
  win::BitBlt(inverse_dc.Get(), 0, 0, source_width, source_height, mask_dc.Get(), 0, 0, win::NOTSRCCOPY);
  // The frame, black where transparent.
  const win::ScopedGdiObject<win::HBITMAP> prepared(win::CreateCompatibleBitmap(dest, source_width, source_height));
  const win::ScopedSelect prepared_selection(prepared_dc.Get(), prepared.Get());
  win::HPALETTE palette = static_cast<win::HPALETTE>(win::GetCurrentObject(dest, win::OBJ_PAL));
  if (palette == nullptr) palette = static_cast<win::HPALETTE>(win::GetStockObject(win::DEFAULT_PALETTE));
  const win::HPALETTE old_palette = win::SelectPalette(prepared_dc.Get(), palette, 0);
  win::RealizePalette(prepared_dc.Get());
  win::BitBlt(prepared_dc.Get(), 0, 0, source_width, source_height, inverse_dc.Get(), 0, 0, win::SRCCOPY);
  win::BitBlt(prepared_dc.Get(), 0, 0, source_width, source_height, source, 0, 0, win::SRCAND);
  const win::COLORREF old_text = win::SetTextColor(dest, win::RGB(0, 0, 0));
  const win::COLORREF old_background = win::SetBkColor(dest, win::RGB(255, 255, 255));
  win::StretchBlt(dest, target.left, target.top, width, height, mask_dc.Get(), 0, 0, source_width, source_height,
                  win::SRCAND);
  win::StretchBlt(dest, target.left, target.top, width, height, prepared_dc.Get(), 0, 0, source_width, source_height,
                  win::SRCPAINT);
  win::SetTextColor(dest, old_text);
  win::SetBkColor(dest, old_background);
  if (old_palette != nullptr) win::SelectPalette(prepared_dc.Get(), old_palette, 0);
}

// The table's colours for every pixel value; values past the table are black.
std::array<TGIFColor, gif::kPixelValues> ExpandedTable(const TGIFColorMap* map) {
  std::array<TGIFColor, gif::kPixelValues> table{};
  if (map != nullptr) std::copy_n(map->Data(), map->GetCount(), table.begin());
  return table;
}

}  // namespace

TGIFSubImage::TGIFSubImage(TGIFPicture* image) : TGIFItem(image), color_map_(this), extensions_(this) {}

TGIFSubImage::~TGIFSubImage() { Clear(); }

TGIFVersion TGIFSubImage::GetVersion() const {
  return color_map_.GetOptimized() || extensions_.GetCount() > 0 ? gv89a : gv87a;
}

TGIFColorMap* TGIFSubImage::GetActiveColorMap() {
  if (color_map_.GetCount() > 0) return &color_map_;
  if (image_ != nullptr && image_->GetHeader()->GetColorMap()->GetCount() > 0)
    return image_->GetHeader()->GetColorMap();
  return &color_map_;
}

// ---- Pixels and bounds ----

void TGIFSubImage::AllocatePixels(std::uint8_t Fill) {
  const std::size_t count = gif::CheckedPixelCount(width_, height_);
  if (image_ != nullptr) image_->AccountPixels(count, pixels_.size());
  pixels_.assign(count, Fill);
}

void TGIFSubImage::FreePixels() {
  if (image_ != nullptr) image_->AccountPixels(0, pixels_.size());
  pixels_.clear();
  pixels_.shrink_to_fit();
}

void TGIFSubImage::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const std::uint16_t left = ClipToWord(ALeft), top = ClipToWord(ATop);
  const std::uint16_t width = ClipToWord(AWidth), height = ClipToWord(AHeight);
  if (width != width_ || height != height_) {
    FreeBitmap();
    FreePixels();
    width_ = width;
    height_ = height;
    AllocatePixels(0);
  }
  left_ = left;
  top_ = top;
  if (image_ == nullptr) return;
  TGIFHeader* header = image_->GetHeader();
  bool grown = false;
  if (left + width > header->GetWidth()) {
    if (header->GetWidth() > 0) Warning(gif::kWarningSeverity, std::string(gif::sWidthTooSmall));
    grown = header->GetWidth() > 0;
    header->SetWidth(ClipToWord(left + width));
  }
  if (top + height > header->GetHeight()) {
    if (header->GetHeight() > 0) Warning(gif::kWarningSeverity, std::string(gif::sHeightTooSmall));
    grown = grown || header->GetHeight() > 0;
    header->SetHeight(ClipToWord(top + height));
  }
  if (grown) Warning(gif::kWarningSeverity, std::string(gif::sImageExceedsScreen));
}

win::RECT TGIFSubImage::GetBoundsRect() const { return win::RECT{left_, top_, left_ + width_, top_ + height_}; }

void TGIFSubImage::SetInterlaced(bool Value) {
  packed_ = static_cast<std::uint8_t>(Value ? packed_ | gif::kImageInterlaced : packed_ & ~gif::kImageInterlaced);
}

void TGIFSubImage::CheckPixelAccess(int X, int Y) {
  if (X < 0 || X >= width_ || Y < 0 || Y >= height_) gif::RaiseGIFError(gif::sInvalidPixelCoordinates);
  if (pixels_.empty()) AllocatePixels(0);
  if (pixels_.empty()) gif::RaiseGIFError(gif::sImageEmpty);
}

std::uint8_t TGIFSubImage::GetPixel(int X, int Y) {
  CheckPixelAccess(X, Y);
  return pixels_[static_cast<std::size_t>(Y) * width_ + static_cast<std::size_t>(X)];
}

void TGIFSubImage::SetPixel(int X, int Y, std::uint8_t Value) {
  CheckPixelAccess(X, Y);
  pixels_[static_cast<std::size_t>(Y) * width_ + static_cast<std::size_t>(X)] = Value;
  FreeBitmap();
}

std::uint8_t* TGIFSubImage::GetScanline(int Y) {
  CheckPixelAccess(0, Y);
  return pixels_.data() + static_cast<std::size_t>(Y) * width_;
}

// ---- Loading and saving ----

void TGIFSubImage::LoadFromStream(TStream* Stream) {
  Clear();
  extensions_.LoadFromStream(Stream, this);
  std::uint8_t separator = 0;
  if (!gif::TryReadByte(Stream, separator)) return;
  Stream->Seek(-1, TSeekOrigin::soCurrent);
  // Only "," starts a descriptor; anything else leaves a frame of extensions only.
  if (separator != gif::kImageSeparator) return;
  std::array<std::uint8_t, gif::kImageDescriptorSize> descriptor{};
  gif::ReadCheck(Stream, descriptor.data(), descriptor.size());
  left_ = gif::LittleEndian16(descriptor.data() + 1);
  top_ = gif::LittleEndian16(descriptor.data() + 3);
  width_ = gif::LittleEndian16(descriptor.data() + 5);
  height_ = gif::LittleEndian16(descriptor.data() + 7);
  packed_ = descriptor[9];
  if ((width_ == 0 || height_ == 0) && image_ != nullptr) {
    width_ = image_->GetHeader()->GetWidth();
    height_ = image_->GetHeader()->GetHeight();
    Warning(gif::kWarningSeverity, std::string(gif::sImageExceedsScreen));
  }
  if ((packed_ & gif::kImageLocalTable) != 0) color_map_.LoadFromStream(Stream, gif::TableEntries(packed_));
  Decompress(Stream);
  if (gif::GetRenderOnLoad()) GetBitmap();
}

void TGIFSubImage::SaveToStream(TStream* Stream) {
  extensions_.SaveToStream(Stream);
  if (GetEmpty()) return;
  std::uint8_t packed = packed_ & static_cast<std::uint8_t>(~(gif::kImageLocalTable | gif::kImageSorted |
                                                              gif::kTableSizeMask));
  if (color_map_.GetCount() > 0) {
    packed |= gif::kImageLocalTable;
    if (color_map_.GetOptimized()) packed |= gif::kImageSorted;
    packed |= static_cast<std::uint8_t>((color_map_.BitsPerPixel() - 1) & gif::kTableSizeMask);
  }
  packed_ = packed;
  std::array<std::uint8_t, gif::kImageDescriptorSize> descriptor{};
  descriptor[0] = gif::kImageSeparator;
  gif::PutLittleEndian16(descriptor.data() + 1, left_);
  gif::PutLittleEndian16(descriptor.data() + 3, top_);
  gif::PutLittleEndian16(descriptor.data() + 5, width_);
  gif::PutLittleEndian16(descriptor.data() + 7, height_);
  descriptor[9] = packed_;
  Stream->WriteBuffer(descriptor.data(), static_cast<int>(descriptor.size()));
  color_map_.SaveToStream(Stream);
  gif::CompressFrame(this, Stream);
}

// ---- Rendering ----

void TGIFSubImage::FreeMask() {
  mask_.Reset();
  needs_mask_ = true;
}

void TGIFSubImage::FreeBitmap() {
  bitmap_.reset();
  FreeMask();
}

TBitmap* TGIFSubImage::GetBitmap() {
  if (!bitmap_ && !GetEmpty()) BuildBitmap();
  return bitmap_.get();
}

bool TGIFSubImage::HasMask() {
  if (needs_mask_ && transparent_ && !GetEmpty()) {
    GetBitmap();
    BuildMask();
  }
  return static_cast<bool>(mask_);
}

void TGIFSubImage::BuildBitmap() {
  gif::ProgressScope progress(image_, gif::sProgressRendering);
  auto bitmap = std::make_unique<TBitmap>();
  const int width = width_, height = height_;
  if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kLargeBitmapPixels)
    bitmap->SetPixelFormat(pf1bit);
  const bool dither = image_ != nullptr && image_->GetDoDither();
  {
    TDIBWriter writer(bitmap.get(), pf8bit, width, height, GetPalette());
    if (!dither) {
      for (int y = 0; y < height; ++y) {
        std::memcpy(writer.Scanline(y), pixels_.data() + static_cast<std::size_t>(y) * width_, width_);
        progress.Row(y, height);
      }
    } else {
      const std::array<TGIFColor, gif::kPixelValues> colors = ExpandedTable(GetActiveColorMap());
      const int transparent_index = transparent_ && gce_ != nullptr ? gce_->GetTransparentColorIndex() : -1;
      TNetscapeColorLookup lookup;
      TFloydSteinbergDitherer ditherer(width, &lookup);
      for (int y = 0; y < height; ++y) {
        const std::uint8_t* source = pixels_.data() + static_cast<std::size_t>(y) * width_;
        std::uint8_t* target = writer.Scanline(y);
        for (int x = ditherer.Column; x >= 0 && x < width; x = ditherer.Column) {
          const TGIFColor& c = colors[source[x]];
          int r = 0, g = 0, b = 0;
          if (source[x] == transparent_index) {
            // Covered by the mask: no error is spread from or to it.
            target[x] = static_cast<std::uint8_t>(lookup.Lookup(c.Red, c.Green, c.Blue, r, g, b));
            ditherer.Column += ditherer.Direction;
          } else {
            target[x] = static_cast<std::uint8_t>(ditherer.Dither(c.Red, c.Green, c.Blue, r, g, b));
          }
        }
        ditherer.NextLine();
        progress.Row(y, height);
      }
    }
    writer.UpdateBitmap();
  }
  bitmap_ = std::move(bitmap);
  BuildMask();
  progress.Done();
  if (image_ != nullptr && image_->GetPaletteModified()) image_->Changed(this);
}

void TGIFSubImage::BuildMask() {
  if (!needs_mask_ || !transparent_ || gce_ == nullptr || mask_ || GetEmpty()) return;
  needs_mask_ = false;
  const std::size_t row_bytes = gif::BytesPerScanline(width_, 1, kMaskRowAlignmentBits);
  std::vector<std::uint8_t> bits(row_bytes * height_, 0);
  const std::uint8_t transparent_index = gce_->GetTransparentColorIndex();
  bool any = false;
  for (std::size_t y = 0; y < height_; ++y) {
    const std::uint8_t* row = pixels_.data() + y * width_;
    std::uint8_t* out = bits.data() + y * row_bytes;
    for (std::size_t x = 0; x < width_; ++x)
      if (row[x] == transparent_index) {
        out[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
        any = true;
      }
  }
  if (any) mask_.Reset(gif::CheckWin32Result(win::CreateBitmap(width_, height_, 1, 1, bits.data())));
}

win::HPALETTE TGIFSubImage::GetPalette() {
  if (bitmap_ && bitmap_->GetPalette() != nullptr) return bitmap_->GetPalette();
  if (palette_) return palette_.Get();
  if (image_ != nullptr && image_->GetDoDither()) {
    palette_.Reset(gif::WebPalette());
  } else if (color_map_.GetCount() == 0) {
    return image_ != nullptr ? image_->GetPalette() : nullptr;
  } else {
    palette_.Reset(color_map_.ExportPalette());
  }
  return palette_.Get();
}

void TGIFSubImage::SetPalette(win::HPALETTE Value) {
  if (Value == palette_.Get()) return;
  palette_.Reset(Value);
  if (bitmap_ && bitmap_->GetPalette() != Value) {
    FreeBitmap();
    if (image_ != nullptr) {
      image_->SetPaletteModified(true);
      image_->Changed(this);
    }
  }
}

// ---- Drawing ----

void TGIFSubImage::Draw(TCanvas* ACanvas, const win::RECT& ARect, bool DoTransparent, bool DoTile) {
  if (DoTile) {
    StretchDraw(ACanvas, ARect, DoTransparent, true);
    return;
  }
  // The frame's place within the picture, scaled to the rectangle.
  const int image_width = image_ != nullptr && image_->GetWidth() > 0 ? image_->GetWidth() : left_ + width_;
  const int image_height = image_ != nullptr && image_->GetHeight() > 0 ? image_->GetHeight() : top_ + height_;
  const int rect_width = ARect.right - ARect.left, rect_height = ARect.bottom - ARect.top;
  const win::RECT target{ARect.left + win::MulDiv(left_, rect_width, image_width),
                         ARect.top + win::MulDiv(top_, rect_height, image_height),
                         ARect.left + win::MulDiv(left_ + width_, rect_width, image_width),
                         ARect.top + win::MulDiv(top_ + height_, rect_height, image_height)};
  StretchDraw(ACanvas, target, DoTransparent, false);
}

void TGIFSubImage::StretchDraw(TCanvas* ACanvas, const win::RECT& ARect, bool DoTransparent, bool DoTile) {
  TBitmap* bitmap = GetBitmap();
  if (bitmap == nullptr) return;
  // Tiles step by the picture's size; a picture of size 0 draws one tile.
  const int step_x = image_ != nullptr ? image_->GetWidth() : 0;
  const int step_y = image_ != nullptr ? image_->GetHeight() : 0;
  const auto for_each_tile = [&](const auto& draw) {
    for (int x = ARect.left + left_; x < ARect.right; x += step_x) {
      for (int y = ARect.top + top_; y < ARect.bottom; y += step_y) {
        draw(x, y);
        if (step_y <= 0) break;
      }
      if (step_x <= 0) break;
    }
  };
  const win::HDC dc = ACanvas->GetHandle();
  if (DoTransparent && transparent_ && HasMask()) {
    // The bitmap's own canvas holds it selected once it has drawn itself; a bitmap is selected
    // into one context at a time, so another context would blit from an empty one.
    const win::HDC source = bitmap->GetCanvas()->GetCopySourceHandle();
    if (DoTile) {
      for_each_tile([&](int x, int y) {
        TransparentStretchBlt(dc, win::RECT{x, y, x + width_, y + height_}, source, width_, height_, mask_.Get());
      });
    } else {
      TransparentStretchBlt(dc, ARect, source, width_, height_, mask_.Get());
    }
    return;
  }
  if (DoTile) {
    for_each_tile([&](int x, int y) { ACanvas->Draw(x, y, bitmap); });
  } else {
    ACanvas->StretchDraw(ARect, bitmap);
  }
}

// ---- Editing ----

void TGIFSubImage::Crop() {
  if (!transparent_ || gce_ == nullptr || GetEmpty()) return;
  const std::uint8_t transparent_index = gce_->GetTransparentColorIndex();
  std::size_t first_x = width_, last_x = 0, first_y = height_, last_y = 0;
  for (std::size_t y = 0; y < height_; ++y) {
    const std::uint8_t* row = pixels_.data() + y * width_;
    for (std::size_t x = 0; x < width_; ++x) {
      if (row[x] == transparent_index) continue;
      first_x = std::min(first_x, x);
      last_x = std::max(last_x, x);
      first_y = std::min(first_y, y);
      last_y = std::max(last_y, y);
    }
  }
  if (first_x > last_x) {
    Clear();
    return;
  }
  const std::size_t width = last_x - first_x + 1, height = last_y - first_y + 1;
  std::vector<std::uint8_t> inner(width * height);
  for (std::size_t y = 0; y < height; ++y)
    std::memcpy(inner.data() + y * width, pixels_.data() + (first_y + y) * width_ + first_x, width);
  if (image_ != nullptr) image_->AccountPixels(inner.size(), pixels_.size());
  pixels_ = std::move(inner);
  left_ = static_cast<std::uint16_t>(left_ + first_x);
  top_ = static_cast<std::uint16_t>(top_ + first_y);
  width_ = static_cast<std::uint16_t>(width);
  height_ = static_cast<std::uint16_t>(height);
  FreeBitmap();
}

void TGIFSubImage::Clear() {
  extensions_.Clear();
  color_map_.Clear();
  FreePixels();
  width_ = height_ = 0;
  transparent_ = false;
  gce_ = nullptr;
  FreeBitmap();
}

// ---- Assignment ----

void TGIFSubImage::Assign(const TPersistent* Source) {
  if (Source == this) return;
  if (const auto* frame = dynamic_cast<const TGIFSubImage*>(Source)) {
    AssignSubImage(frame);
  } else if (const auto* picture = dynamic_cast<const TPicture*>(Source)) {
    Assign(picture->GetGraphic());
  } else if (const auto* icon = dynamic_cast<const TIcon*>(Source)) {
    AssignIcon(const_cast<TIcon*>(icon));
  } else if (const auto* bitmap = dynamic_cast<const TBitmap*>(Source)) {
    // The reduction converts its source: work on a copy.
    TBitmap copy;
    copy.Assign(bitmap);
    AssignBitmap(&copy);
  } else if (const auto* graphic = dynamic_cast<const TGraphic*>(Source)) {
    TBitmap copy;
    copy.Assign(graphic);
    AssignBitmap(&copy);
  } else {
    TGIFItem::Assign(Source);
  }
}

void TGIFSubImage::AssignTo(TPersistent* Dest) const {
  if (auto* bitmap = dynamic_cast<TBitmap*>(Dest)) {
    bitmap->Assign(const_cast<TGIFSubImage*>(this)->GetBitmap());
    return;
  }
  TGIFItem::AssignTo(Dest);
}

void TGIFSubImage::AssignSubImage(const TGIFSubImage* Source) {
  Clear();
  if (Source->GetEmpty()) return;
  left_ = Source->left_;
  top_ = Source->top_;
  width_ = Source->width_;
  height_ = Source->height_;
  packed_ = Source->packed_;
  transparent_ = Source->transparent_;
  AllocatePixels(0);
  pixels_ = Source->pixels_;
  color_map_.Assign(&Source->color_map_);
  TMemoryStream stream;
  const_cast<TGIFExtensionList&>(Source->extensions_).SaveToStream(&stream);
  stream.SetPosition(0);
  extensions_.LoadFromStream(&stream, this);
  if (Source->bitmap_) {
    bitmap_ = std::make_unique<TBitmap>();
    bitmap_->Assign(Source->bitmap_.get());
  }
}

void TGIFSubImage::AssignBitmap(TBitmap* Source) {
  Clear();
  SetBounds(0, 0, Source->GetWidth(), Source->GetHeight());
  if (GetEmpty()) return;
  std::unique_ptr<TBitmap> reduced;
  TBitmap* bitmap = Source;
  const int source_bits = Source->GetImage().bits_per_pixel;
  if (source_bits > 8) {
    const TColorReduction method = image_ != nullptr ? image_->GetColorReduction() : TColorReduction::crWebPalette;
    const int reduction_bits = image_ != nullptr ? image_->GetReductionBits() : 8;
    const TDitherMode dither = image_ != nullptr ? image_->GetDitherMode() : ditherNearest;
    reduced = ReduceColors(Source, method, dither, reduction_bits, nullptr);
    bitmap = reduced.get();
  }
  gif::ProgressScope progress(image_, gif::sProgressConverting);
  const bmp::Image image = bitmap->GetImage();
  if (image.width != width_ || image.height != height_) gif::RaiseGIFError(gif::sInvalidImageDimensions);
  if (image.bits_per_pixel <= 8) {
    color_map_.ImportQuads(image.colors);
    for (int y = 0; y < image.height; ++y) {
      const std::uint8_t* row = image.TopRow(y);
      std::uint8_t* out = pixels_.data() + static_cast<std::size_t>(y) * width_;
      for (int x = 0; x < image.width; ++x) out[x] = static_cast<std::uint8_t>(bmp::RowIndex(row, x, image.bits_per_pixel));
      progress.Row(y, image.height);
    }
  } else {
    std::array<std::pair<TColor, std::uint8_t>, kColorCacheSize> cache{};
    std::size_t cached = 0, next_slot = 0;
    const std::size_t step = static_cast<std::size_t>(image.bits_per_pixel / 8);
    for (int y = 0; y < image.height; ++y) {
      const std::uint8_t* row = image.TopRow(y);
      std::uint8_t* out = pixels_.data() + static_cast<std::size_t>(y) * width_;
      for (int x = 0; x < image.width; ++x, row += step) {
        const TColor color = static_cast<TColor>(win::RGB(row[2], row[1], row[0]));
        const auto hit = std::find_if(cache.begin(), cache.begin() + static_cast<std::ptrdiff_t>(cached),
                                      [color](const auto& entry) { return entry.first == color; });
        if (hit != cache.begin() + static_cast<std::ptrdiff_t>(cached)) {
          out[x] = hit->second;
          continue;
        }
        const auto index = static_cast<std::uint8_t>(color_map_.AddUnique(color));
        cache[next_slot] = {color, index};
        next_slot = (next_slot + 1) % kColorCacheSize;
        cached = std::min(cached + 1, kColorCacheSize);
        out[x] = index;
      }
      progress.Row(y, image.height);
    }
  }
  progress.Done();
}

void TGIFSubImage::AssignIcon(TIcon* Source) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(Source->GetWidth(), Source->GetHeight());
  bitmap.GetCanvas()->Draw(0, 0, Source);
  AssignBitmap(&bitmap);
  MakeTransparentFromMask(Source->GetMaskBitmap());
}

void TGIFSubImage::MakeTransparentFromMask(TBitmap* Mask) {
  if (GetEmpty() || Mask == nullptr || Mask->GetEmpty()) return;
  color_map_.Optimize();
  if (color_map_.GetCount() == 0 || color_map_.GetCount() >= gif::kMaxColors) return;
  const int transparent_index = color_map_.Add(clBlack);
  const bmp::Image mask = Mask->GetImage();
  bool changed = false;
  const int rows = std::min<int>(mask.height, height_), columns = std::min<int>(mask.width, width_);
  for (int y = 0; y < rows; ++y) {
    const std::uint8_t* row = mask.TopRow(y);
    for (int x = 0; x < columns; ++x) {
      if (bmp::RowPixelRGB(row, x, mask.bits_per_pixel, mask.colors) == 0) continue;
      pixels_[static_cast<std::size_t>(y) * width_ + static_cast<std::size_t>(x)] =
          static_cast<std::uint8_t>(transparent_index);
      changed = true;
    }
  }
  // Only a mask that hid something makes the frame transparent: an index naming no pixel would
  // otherwise be clipped to 0 and hide real colours.
  if (!changed) {
    color_map_.Delete(transparent_index);
    return;
  }
  auto control = std::make_unique<TGIFGraphicControlExtension>(this);
  control->SetTransparent(true);
  control->SetTransparentColorIndex(static_cast<std::uint8_t>(transparent_index));
  extensions_.Add(std::move(control));
  FreeBitmap();
}

}  // namespace dashtune
