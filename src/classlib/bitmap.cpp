#include "classlib/bitmap.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"
#include "platform/ole/clipboard.h"

namespace dashtune {
namespace {

// A BITMAPINFO with room for a full colour table.
struct InfoBuffer {
  win::BITMAPINFOHEADER header{};
  win::RGBQUAD colors[256]{};
  win::BITMAPINFO* Info() { return reinterpret_cast<win::BITMAPINFO*>(this); }
};

InfoBuffer MakeInfo(const bmp::Image& layout) {
  InfoBuffer info;
  info.header.biSize = sizeof(win::BITMAPINFOHEADER);
  info.header.biWidth = layout.width;
  info.header.biHeight = layout.row_order == bmp::RowOrder::TopDown ? -layout.height : layout.height;
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<win::WORD>(layout.bits_per_pixel);
  info.header.biCompression = win::BI_RGB;
  const std::size_t count = std::min<std::size_t>(layout.colors.size(), 256);
  info.header.biClrUsed = static_cast<win::DWORD>(count);
  for (std::size_t i = 0; i < count; ++i)
    info.colors[i] = win::RGBQUAD{layout.colors[i].blue, layout.colors[i].green, layout.colors[i].red, 0};
  return info;
}

// A new section of the image's layout holding a copy of its pixels.
win::HBITMAP CreateSection(const bmp::Image& image, std::uint8_t** bits) {
  InfoBuffer info = MakeInfo(image);
  void* memory = nullptr;
  win::ScopedGdiObject<win::HBITMAP> section(
      win::CreateDIBSection(nullptr, info.Info(), win::DIB_RGB_COLORS, &memory, nullptr, 0));
  if (!section || memory == nullptr) throw EOutOfResources();
  if (!image.bits.empty()) std::memcpy(memory, image.bits.data(), image.bits.size());
  *bits = static_cast<std::uint8_t*>(memory);
  return section.Detach();
}

// A LOGPALETTE with room for a full colour table, made on the stack.
struct PaletteBuffer {
  win::LOGPALETTE header{};
  win::PALETTEENTRY more[255];
};

win::HPALETTE PaletteFromColors(const std::vector<bmp::Quad>& colors) {
  if (colors.empty()) return nullptr;
  const std::size_t count = std::min<std::size_t>(colors.size(), 256);
  PaletteBuffer buffer;
  win::LOGPALETTE* palette = &buffer.header;
  palette->palVersion = 0x300;
  palette->palNumEntries = static_cast<win::WORD>(count);
  for (std::size_t i = 0; i < count; ++i)
    palette->palPalEntry[i] = win::PALETTEENTRY{colors[i].red, colors[i].green, colors[i].blue, 0};
  return win::CreatePalette(palette);
}

std::vector<bmp::Quad> ColorsFromPalette(win::HPALETTE palette, std::size_t limit) {
  if (palette == nullptr) return {};
  const win::UINT count = std::min<win::UINT>(win::GetPaletteEntries(palette, 0, 0, nullptr), static_cast<win::UINT>(limit));
  std::vector<win::PALETTEENTRY> entries(count);
  if (count > 0) win::GetPaletteEntries(palette, 0, count, entries.data());
  std::vector<bmp::Quad> colors;
  colors.reserve(count);
  for (const auto& e : entries) colors.push_back(bmp::Quad{e.peBlue, e.peGreen, e.peRed, 0});
  return colors;
}

win::HPALETTE CopyPalette(win::HPALETTE palette) {
  return palette == nullptr ? nullptr : PaletteFromColors(ColorsFromPalette(palette, 256));
}

// The pixels of any bitmap handle (section or not), read through the platform in top-down rows.
bmp::Image ReadBitmapHandle(win::HBITMAP handle) {
  win::BITMAP info{};
  if (win::GetObjectA(handle, sizeof info, &info) == 0 || info.bmWidth <= 0 || info.bmHeight == 0)
    throw EInvalidGraphic(graphics::SInvalidBitmap);
  const int bits = win::gdi::IsSupportedDepth(info.bmBitsPixel) ? info.bmBitsPixel : 32;
  bmp::Image image;
  try {
    image = bmp::MakeImage(info.bmWidth, std::abs(info.bmHeight), bits, bmp::RowOrder::TopDown);
  } catch (const bmp::FormatError&) {
    throw EInvalidGraphic(graphics::SInvalidBitmap);
  }
  InfoBuffer request = MakeInfo(image);
  request.header.biClrUsed = 0;
  const win::ScopedGdiObject<win::HDC> dc(win::CreateCompatibleDC(nullptr));
  const int rows = win::GetDIBits(dc.Get(), handle, 0, static_cast<win::UINT>(image.height), image.bits.data(),
                                  request.Info(), win::DIB_RGB_COLORS);
  if (rows != image.height) throw EInvalidGraphic(graphics::SInvalidBitmap);
  if (bits <= 8) {
    image.colors.resize(std::size_t{1} << bits);
    for (std::size_t i = 0; i < image.colors.size(); ++i)
      image.colors[i] = bmp::Quad{request.colors[i].rgbBlue, request.colors[i].rgbGreen, request.colors[i].rgbRed, 0};
  }
  return image;
}

// A DIB section that a bitmap can keep as it is (uncompressed, of a depth bitmaps hold, selected
// into no context): its layout, and its pixels where they are.
struct KeepableSection {
  bmp::Image layout;
  std::uint8_t* bits = nullptr;
};

std::optional<KeepableSection> FindKeepableSection(win::HBITMAP handle) {
  win::DIBSECTION section{};
  if (win::GetObjectA(handle, sizeof section, &section) != static_cast<int>(sizeof section) ||
      section.dsBm.bmBits == nullptr)
    return std::nullopt;
  const win::BITMAPINFOHEADER& header = section.dsBmih;
  if (header.biCompression != win::BI_RGB || !win::gdi::IsSupportedDepth(header.biBitCount) || header.biWidth <= 0 ||
      header.biHeight == 0)
    return std::nullopt;
  KeepableSection kept;
  kept.bits = static_cast<std::uint8_t*>(section.dsBm.bmBits);
  bmp::Image& layout = kept.layout;
  try {
    layout = bmp::MakeLayout(header.biWidth, std::abs(header.biHeight), header.biBitCount,
                             header.biHeight < 0 ? bmp::RowOrder::TopDown : bmp::RowOrder::BottomUp);
  } catch (const bmp::FormatError&) {
    return std::nullopt;
  }
  // Selecting it shows that no other context holds it (the bitmap's canvas must be able to), and
  // lets its colour table be read.
  const win::ScopedGdiObject<win::HDC> dc(win::CreateCompatibleDC(nullptr));
  const win::ScopedSelect selection(dc.Get(), handle);
  if (!selection) return std::nullopt;
  if (layout.bits_per_pixel > 8) return kept;
  win::RGBQUAD quads[256];
  layout.colors.resize(win::GetDIBColorTable(dc.Get(), 0, 256, quads));
  for (std::size_t i = 0; i < layout.colors.size(); ++i)
    layout.colors[i] = bmp::Quad{quads[i].rgbBlue, quads[i].rgbGreen, quads[i].rgbRed, 0};
  return kept;
}

// A monochrome bitmap (rows of 2-byte units, first pixel in the high bit) that is 1 where
// `is_set` holds for the pixel.
template <class Predicate>
win::HBITMAP MakeMonoBitmap(int width, int height, Predicate is_set) {
  const std::size_t stride = win::gdi::DibRowStride(width, 1, 2);
  std::vector<std::uint8_t> rows(stride * static_cast<std::size_t>(height), 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (is_set(x, y)) rows[stride * y + (x >> 3)] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
  return win::CreateBitmap(width, height, 1, 1, rows.data());
}

// Row y, counted from the top, of pixels laid out as `layout` says, stored at `bits`.
std::uint8_t* TopRowOf(const bmp::Image& layout, std::uint8_t* bits, int y) {
  const std::size_t stride = win::gdi::DibRowStride(layout.width, layout.bits_per_pixel);
  const int stored = layout.row_order == bmp::RowOrder::TopDown ? y : layout.height - 1 - y;
  return bits + stride * static_cast<std::size_t>(stored);
}

// Makes every pixel of the block at `bits`, laid out as `layout` says, white.
void FillWhite(const bmp::Image& layout, std::uint8_t* bits) {
  const std::size_t size = bmp::PixelBytes(layout);
  if (layout.bits_per_pixel == 32) {
    // Whole pixels at a time (blue, green, red 255, the fourth byte 0), which vectorises.
    constexpr std::uint8_t kWhite[4] = {0xFF, 0xFF, 0xFF, 0};
    for (std::size_t i = 0; i < size; i += 4) std::memcpy(bits + i, kWhite, 4);
    return;
  }
  if (layout.bits_per_pixel > 8) {
    std::fill_n(bits, size, 0xFF);
    return;
  }
  const int white = std::max(bmp::NearestIndex(layout.colors, 0xFFFFFF), 0);
  if (layout.bits_per_pixel == 8) {
    for (int y = 0; y < layout.height; ++y)
      std::memset(TopRowOf(layout, bits, y), white, static_cast<std::size_t>(layout.width));
    return;
  }
  for (int y = 0; y < layout.height; ++y)
    for (int x = 0; x < layout.width; ++x) bmp::SetRowIndex(TopRowOf(layout, bits, y), x, layout.bits_per_pixel, white);
}

// Copies the pixels `from` and the block at `bits` (laid out as `to` says) have in common.
void CopyOverlap(const bmp::Image& from, const bmp::Image& to, std::uint8_t* bits) {
  const int rows = std::min(from.height, to.height);
  const int columns = std::min(from.width, to.width);
  const int depth = to.bits_per_pixel;
  for (int y = 0; y < rows; ++y) {
    std::uint8_t* row = TopRowOf(to, bits, y);
    if (depth >= 8) {
      std::memcpy(row, from.TopRow(y), static_cast<std::size_t>(columns) * (depth / 8));
    } else {
      for (int x = 0; x < columns; ++x) bmp::SetRowIndex(row, x, depth, bmp::RowIndex(from.TopRow(y), x, depth));
    }
  }
}

// Draws through a monochrome mask: the destination keeps its pixels where the mask is 1 and
// takes the source's elsewhere. Without the contexts or the work bitmap it needs, draws nothing.
void TransparentStretch(win::HDC dest, const win::RECT& rect, win::HDC source, int width, int height,
                        win::HBITMAP mask) {
  const win::ScopedGdiObject<win::HDC> mask_dc(win::CreateCompatibleDC(nullptr));
  const win::ScopedGdiObject<win::HDC> work_dc(win::CreateCompatibleDC(nullptr));
  const win::ScopedGdiObject<win::HBITMAP> work(win::CreateCompatibleBitmap(source, width, height));
  if (!mask_dc || !work_dc || !work) return;
  const win::ScopedSelect mask_selection(mask_dc.Get(), mask);
  const win::ScopedSelect work_selection(work_dc.Get(), work.Get());
  if (!mask_selection || !work_selection) return;
  // A copy of the source whose transparent pixels are black.
  win::BitBlt(work_dc.Get(), 0, 0, width, height, source, 0, 0, win::SRCCOPY);
  win::SetTextColor(work_dc.Get(), win::RGB(0, 0, 0));
  win::SetBkColor(work_dc.Get(), win::RGB(255, 255, 255));
  win::BitBlt(work_dc.Get(), 0, 0, width, height, mask_dc.Get(), 0, 0, 0x00220326);  // DSna: clear where the mask is 1

  const int dest_width = rect.right - rect.left;
  const int dest_height = rect.bottom - rect.top;
  const win::COLORREF old_text = win::SetTextColor(dest, win::RGB(0, 0, 0));
  const win::COLORREF old_back = win::SetBkColor(dest, win::RGB(255, 255, 255));
  win::StretchBlt(dest, rect.left, rect.top, dest_width, dest_height, mask_dc.Get(), 0, 0, width, height, win::SRCAND);
  win::StretchBlt(dest, rect.left, rect.top, dest_width, dest_height, work_dc.Get(), 0, 0, width, height, win::SRCPAINT);
  win::SetTextColor(dest, old_text);
  win::SetBkColor(dest, old_back);
}

std::vector<bmp::Quad> BlackAndWhite() { return {{0, 0, 0, 0}, {255, 255, 255, 0}}; }

std::vector<bmp::Quad> HalftoneColors() {
  const win::ScopedGdiObject<win::HPALETTE> halftone(win::CreateHalftonePalette(nullptr));
  return ColorsFromPalette(halftone.Get(), 256);
}

bmp::ReadFunction StreamReader(TStream* stream) {
  return [stream](void* buffer, std::size_t size) -> std::size_t {
    const int wanted = static_cast<int>(std::min<std::size_t>(size, std::numeric_limits<int>::max()));
    const int got = stream->Read(buffer, wanted);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  };
}

}  // namespace

namespace graphics {

int BitsPerPixelOf(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::pfDevice: {
      const win::ScopedGdiObject<win::HDC> screen(win::CreateCompatibleDC(nullptr));
      const int bits = win::GetDeviceCaps(screen.Get(), win::BITSPIXEL) * win::GetDeviceCaps(screen.Get(), win::PLANES);
      return win::gdi::IsSupportedDepth(bits) ? bits : 32;
    }
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pf32bit: return 32;
    default: return 0;
  }
}

const std::vector<bmp::Quad>& SixteenColors() {
  static const std::vector<bmp::Quad> colors = {
      {0, 0, 0, 0},       {0, 0, 128, 0},   {0, 128, 0, 0},   {0, 128, 128, 0},
      {128, 0, 0, 0},     {128, 0, 128, 0}, {128, 128, 0, 0}, {192, 192, 192, 0},
      {128, 128, 128, 0}, {0, 0, 255, 0},   {0, 255, 0, 0},   {0, 255, 255, 0},
      {255, 0, 0, 0},     {255, 0, 255, 0}, {255, 255, 0, 0}, {255, 255, 255, 0}};
  return colors;
}

}  // namespace graphics

// --- bitmap canvas -------------------------------------------------------------------------

TBitmapCanvas::TBitmapCanvas(TBitmap* bitmap) : bitmap_(bitmap) {}

TBitmapCanvas::~TBitmapCanvas() { FreeContext(); }

void TBitmapCanvas::CreateHandle() {
  win::ScopedGdiObject<win::HDC> context(win::CreateCompatibleDC(nullptr));
  if (!context) throw EOutOfResources();
  if (bitmap_->handle_) bitmap_selection_.emplace(context.Get(), bitmap_->handle_.Get());
  if (bitmap_->palette_) {
    old_palette_ = win::SelectPalette(context.Get(), bitmap_->palette_.Get(), win::TRUE);
    win::RealizePalette(context.Get());
  }
  context_ = std::move(context);
  SetHandle(context_.Get());
}

void TBitmapCanvas::FreeContext() {
  if (!HandleAllocated()) return;
  Lock();
  SetHandle(nullptr);
  bitmap_selection_.reset();
  if (old_palette_ != nullptr) win::SelectPalette(context_.Get(), old_palette_, win::TRUE);
  old_palette_ = nullptr;
  context_.Reset();
  Unlock();
}

// --- bitmap --------------------------------------------------------------------------------

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
  canvas_.reset();
  DropSection();
}

void TBitmap::DropSection() {
  if (canvas_) canvas_->FreeContext();
  handle_.Reset();
  bits_ = nullptr;
}

void TBitmap::DropMask() {
  mask_.Reset();
}

void TBitmap::Install(const bmp::Image& image) {
  std::uint8_t* bits = nullptr;
  win::HBITMAP section = CreateSection(image, &bits);
  Adopt(image, section, bits);
}

void TBitmap::Adopt(const bmp::Image& image, win::HBITMAP section, std::uint8_t* bits) {
  DropSection();
  DropMask();
  handle_.Reset(section);
  bits_ = bits;
  image_.width = image.width;
  image_.height = image.height;
  image_.row_order = image.row_order;
  image_.bits_per_pixel = image.bits_per_pixel;
  image_.colors = image.colors;
  image_.bits.clear();
  if (image.bits_per_pixel <= 8) {
    palette_.Reset(PaletteFromColors(image.colors));
  }
}

bmp::Image TBitmap::GetImage() const {
  bmp::Image image = image_;
  if (!handle_) return image;
  win::GdiFlush();
  const std::size_t size = win::gdi::DibRowStride(image.width, image.bits_per_pixel) * image.height;
  image.bits.assign(bits_, bits_ + size);
  return image;
}

void TBitmap::SetImage(const bmp::Image& Image) {
  Install(Image);
  Changed(this);
}

std::vector<bmp::Quad> TBitmap::TableFor(int bits) const {
  if (handle_ && image_.bits_per_pixel <= 8 && image_.colors.size() <= (std::size_t{1} << bits))
    return image_.colors;
  if (bits == 1) return BlackAndWhite();
  if (bits == 4) return graphics::SixteenColors();
  if (palette_) return ColorsFromPalette(palette_.Get(), 256);
  return HalftoneColors();
}

void TBitmap::SetSize(int AWidth, int AHeight) {
  if (AWidth == image_.width && AHeight == image_.height && handle_) return;
  if (AWidth <= 0 || AHeight <= 0) {
    if (!handle_) return;
    empty_format_ = GetPixelFormat();
    DropSection();
    DropMask();
    image_ = bmp::Image{};
    Changed(this);
    return;
  }
  const bmp::Image old = GetImage();
  const int bits = handle_ ? old.bits_per_pixel : graphics::BitsPerPixelOf(empty_format_);
  bmp::Image resized;
  try {
    resized = bmp::MakeLayout(AWidth, AHeight, bits, handle_ ? old.row_order : bmp::RowOrder::BottomUp);
  } catch (const bmp::FormatError&) {
    throw EInvalidGraphic(graphics::SInvalidBitmap);
  }
  if (bits <= 8) resized.colors = TableFor(bits);
  const bool had_pixels = static_cast<bool>(handle_);
  // The new section comes zeroed from the platform and is painted where it is: a large bitmap
  // is not built beside it and copied in.
  Install(resized);
  FillWhite(resized, bits_);
  if (had_pixels) CopyOverlap(old, resized, bits_);
  Changed(this);
}

void TBitmap::SetPalette(win::HPALETTE Value) {
  if (Value == palette_.Get()) return;
  palette_.Reset(Value);
  if (handle_ && image_.bits_per_pixel <= 8 && Value != nullptr) {
    // Below 16 bits the palette becomes the colour table; the indices stay.
    bmp::Image image = GetImage();
    image.colors = ColorsFromPalette(Value, std::size_t{1} << image.bits_per_pixel);
    std::uint8_t* bits = nullptr;
    win::HBITMAP section = CreateSection(image, &bits);
    DropSection();
    handle_.Reset(section);
    bits_ = bits;
    image_.colors = image.colors;
  } else if (canvas_) {
    canvas_->FreeContext();
  }
  SetPaletteModified(true);
  Changed(this);
}

TCanvas* TBitmap::GetCanvas() {
  if (!canvas_) {
    canvas_ = std::make_unique<TBitmapCanvas>(this);
    canvas_->OnChange = [this](TObject* sender) { Changed(sender); };
  }
  return canvas_.get();
}

void TBitmap::SetHandle(win::HBITMAP Value) {
  if (Value == handle_.Get()) return;
  if (Value == nullptr) {
    FreeImage();
    Changed(this);
    return;
  }
  // A section is taken over as it is; other bitmaps are copied into a new section.
  if (const std::optional<KeepableSection> section = FindKeepableSection(Value)) {
    Adopt(section->layout, Value, section->bits);
    Changed(this);
    return;
  }
  const bmp::Image image = ReadBitmapHandle(Value);
  win::DeleteObject(Value);
  Install(image);
  Changed(this);
}

void TBitmap::AdoptSection(win::HBITMAP Section, const bmp::Image& Layout, std::uint8_t* Bits) {
  if (Section == handle_.Get()) return;
  Adopt(Layout, Section, Bits);
  Changed(this);
}

win::HBITMAP TBitmap::ReleaseHandle() {
  if (canvas_) canvas_->FreeContext();
  if (handle_) empty_format_ = GetPixelFormat();
  win::HBITMAP handle = handle_.Detach();
  bits_ = nullptr;
  image_ = bmp::Image{};
  DropMask();
  return handle;
}

void TBitmap::FreeImage() {
  if (handle_) empty_format_ = GetPixelFormat();
  DropSection();
  DropMask();
  image_ = bmp::Image{};
  palette_.Reset();
}

TPixelFormat TBitmap::GetPixelFormat() const {
  if (!handle_) return empty_format_;
  switch (image_.bits_per_pixel) {
    case 1: return TPixelFormat::pf1bit;
    case 4: return TPixelFormat::pf4bit;
    case 8: return TPixelFormat::pf8bit;
    case 24: return TPixelFormat::pf24bit;
    default: return TPixelFormat::pf32bit;
  }
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  const int bits = graphics::BitsPerPixelOf(Value);
  if (bits == 0) throw EInvalidGraphic(graphics::SInvalidPixelFormat);
  if (!handle_) {
    empty_format_ = Value;
    return;
  }
  if (bits == image_.bits_per_pixel) return;
  const std::vector<bmp::Quad> table = bits <= 8 ? TableFor(bits) : std::vector<bmp::Quad>{};
  Install(bmp::Convert(GetImage(), bits, table));
  Changed(this);
}

void TBitmap::SetMonochrome(bool Value) {
  if (Value == GetMonochrome()) return;
  if (!handle_) {
    empty_format_ = Value ? TPixelFormat::pf1bit : TPixelFormat::pfDevice;
    return;
  }
  if (Value) {
    Install(bmp::Convert(GetImage(), 1, BlackAndWhite()));
    Changed(this);
  } else {
    SetPixelFormat(TPixelFormat::pfDevice);
  }
}

void* TBitmap::GetScanLine(int Row) {
  if (!handle_ || Row < 0 || Row >= image_.height) throw EInvalidGraphicOperation(graphics::SScanLine);
  win::GdiFlush();
  const std::size_t stride = win::gdi::DibRowStride(image_.width, image_.bits_per_pixel);
  const int stored = image_.row_order == bmp::RowOrder::TopDown ? Row : image_.height - 1 - Row;
  return bits_ + stride * static_cast<std::size_t>(stored);
}

TColor TBitmap::GetTransparentColor() const {
  if (transparent_mode_ == TTransparentMode::tmFixed) return transparent_color_;
  if (!handle_) return clDefault;
  win::GdiFlush();
  const std::size_t stride = win::gdi::DibRowStride(image_.width, image_.bits_per_pixel);
  const int bottom = image_.row_order == bmp::RowOrder::TopDown ? image_.height - 1 : 0;
  const std::uint32_t rgb = bmp::RowPixelRGB(bits_ + stride * bottom, 0, image_.bits_per_pixel, image_.colors);
  return static_cast<TColor>(rgb | 0x02000000);
}

void TBitmap::SetTransparentColor(TColor Value) {
  if (Value == transparent_color_ && transparent_mode_ == (Value == clDefault ? TTransparentMode::tmAuto : TTransparentMode::tmFixed))
    return;
  transparent_color_ = Value;
  transparent_mode_ = Value == clDefault ? TTransparentMode::tmAuto : TTransparentMode::tmFixed;
  DropMask();
  if (GetTransparent()) Changed(this);
}

void TBitmap::SetTransparentMode(TTransparentMode Value) {
  if (Value == transparent_mode_) return;
  if (Value == TTransparentMode::tmAuto)
    SetTransparentColor(clDefault);
  else
    SetTransparentColor(GetTransparentColor());
}

void TBitmap::Mask(TColor TransparentColor) {
  SetTransparentColor(TransparentColor);
  GetMaskHandle();
}

win::HBITMAP TBitmap::GetMaskHandle() {
  if (mask_ || !handle_) return mask_.Get();
  win::GdiFlush();
  const win::COLORREF key = ColorToRGB(GetTransparentColor() & 0xFFFFFF);
  const std::size_t stride = win::gdi::DibRowStride(image_.width, image_.bits_per_pixel);
  mask_.Reset(MakeMonoBitmap(image_.width, image_.height, [&](int x, int y) {
    const int stored = image_.row_order == bmp::RowOrder::TopDown ? y : image_.height - 1 - y;
    return bmp::RowPixelRGB(bits_ + stride * stored, x, image_.bits_per_pixel, image_.colors) == key;
  }));
  return mask_.Get();
}

void TBitmap::Draw(TCanvas* ACanvas, const win::RECT& Rect) {
  if (!handle_) return;
  win::HDC dest = ACanvas->GetCopyDestHandle();
  win::HDC source = GetCanvas()->GetCopySourceHandle();
  win::HPALETTE old_palette = nullptr;
  if (palette_) {
    old_palette = win::SelectPalette(dest, palette_.Get(), win::TRUE);
    win::RealizePalette(dest);
  }
  const int old_mode = win::SetStretchBltMode(dest, win::COLORONCOLOR);
  if (GetTransparent()) {
    TransparentStretch(dest, Rect, source, image_.width, image_.height, GetMaskHandle());
  } else {
    win::StretchBlt(dest, Rect.left, Rect.top, Rect.right - Rect.left, Rect.bottom - Rect.top, source, 0, 0,
                    image_.width, image_.height, static_cast<win::DWORD>(ACanvas->GetCopyMode()));
  }
  win::SetStretchBltMode(dest, old_mode);
  if (old_palette != nullptr) win::SelectPalette(dest, old_palette, win::TRUE);
}

void TBitmap::LoadFromStream(TStream* Stream) {
  // The rows are read straight into the new section; a stream that cannot tell its size is
  // read apart first, so a header alone never makes a large section.
  const std::int64_t position = Stream->GetPosition();
  const std::int64_t size = Stream->GetSize();
  const bool sized = position >= 0 && size >= position;
  win::ScopedGdiObject<win::HBITMAP> section;
  std::uint8_t* bits = nullptr;
  const auto place = [&](const bmp::Image& layout, std::uint64_t bytes_to_read) {
    if (bytes_to_read > static_cast<std::uint64_t>(Stream->GetSize() - Stream->GetPosition()))
      throw bmp::FormatError("BMP data ends early");
    section.Reset(CreateSection(layout, &bits));
    return bits;
  };
  bmp::Image image;
  try {
    image = sized ? bmp::ReadInPlace(StreamReader(Stream), place) : bmp::Read(StreamReader(Stream));
  } catch (const bmp::FormatError&) {
    throw EInvalidGraphic(graphics::SInvalidBitmap);
  }
  if (sized) {
    Adopt(image, section.Detach(), bits);
  } else {
    Install(image);
  }
  Changed(this);
}

void TBitmap::SaveToStream(TStream* Stream) {
  if (!handle_) return;
  const std::vector<std::uint8_t> file = bmp::Write(GetImage());
  Stream->WriteBuffer(file.data(), static_cast<int>(file.size()));
}

void TBitmap::LoadFromClipboardFormat(std::uint16_t AFormat, win::HANDLE AData, win::HPALETTE APalette) {
  if (AFormat != win::CF_BITMAP || AData == nullptr) throw EInvalidGraphic(graphics::SUnknownClipboardFormat);
  bmp::Image image = ReadBitmapHandle(static_cast<win::HBITMAP>(AData));
  if (APalette != nullptr && image.bits_per_pixel <= 8) {
    std::vector<bmp::Quad> colors = ColorsFromPalette(APalette, std::size_t{1} << image.bits_per_pixel);
    if (!colors.empty()) image.colors = std::move(colors);
  }
  Install(image);
  Changed(this);
}

void TBitmap::SaveToClipboardFormat(std::uint16_t& AFormat, win::HANDLE& AData, win::HPALETTE& APalette) {
  AFormat = static_cast<std::uint16_t>(win::CF_BITMAP);
  AData = nullptr;
  APalette = nullptr;
  if (!handle_) return;
  std::uint8_t* bits = nullptr;
  AData = CreateSection(GetImage(), &bits);
  APalette = CopyPalette(palette_.Get());
}

void TBitmap::Assign(const TPersistent* Source) {
  if (Source == nullptr) {
    FreeImage();
    Changed(this);
    return;
  }
  const auto* source = dynamic_cast<const TBitmap*>(Source);
  if (source == nullptr) {
    TGraphic::Assign(Source);
    return;
  }
  if (source == this) return;
  if (source->handle_) {
    Install(source->GetImage());
  } else {
    FreeImage();
    empty_format_ = source->empty_format_;
  }
  if (source->image_.bits_per_pixel > 8 || !source->handle_) {
    palette_.Reset(CopyPalette(source->palette_.Get()));
  }
  transparent_mode_ = source->transparent_mode_;
  transparent_color_ = source->transparent_color_;
  handle_type_ = source->handle_type_;
  SetTransparent(source->GetTransparent());
  Changed(this);
}

// --- icon ----------------------------------------------------------------------------------

namespace {

constexpr std::int64_t kMaxIconFile = std::int64_t{16} << 20;

// The icon image of an icon file: the colour image and its 1-bit mask, same size and row order.
struct IconImages {
  bmp::Image color;
  bmp::Image mask;
};

IconImages ParseIconFile(const std::vector<std::uint8_t>& file) {
  constexpr std::size_t kDirectorySize = 6, kEntrySize = 16;
  if (file.size() < kDirectorySize + kEntrySize) throw bmp::FormatError("icon file too short");
  if (bmp::Get16(file.data()) != 0 || bmp::Get16(file.data() + 2) != 1 ||
      bmp::Get16(file.data() + 4) == 0)
    throw bmp::FormatError("not an icon file");
  const std::uint8_t* entry = file.data() + kDirectorySize;
  const std::uint32_t size = bmp::Get32(entry + 8);
  const std::uint32_t offset = bmp::Get32(entry + 12);
  if (offset > file.size() || size > file.size() - offset) throw bmp::FormatError("icon image outside the file");
  const std::uint8_t* image = file.data() + offset;
  std::size_t position = 0;
  const bmp::ReadFunction read = [&](void* buffer, std::size_t wanted) {
    const std::size_t n = std::min<std::size_t>(wanted, size - position);
    if (n > 0) std::memcpy(buffer, image + position, n);
    position += n;
    return n;
  };
  IconImages icon;
  icon.color = bmp::ReadDib(read, true);
  icon.mask = bmp::MakeImage(icon.color.width, icon.color.height, 1, icon.color.row_order);
  icon.mask.colors = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  if (icon.mask.bits.size() > size - position) throw bmp::FormatError("icon mask ends early");
  std::memcpy(icon.mask.bits.data(), image + position, icon.mask.bits.size());
  return icon;
}

std::vector<std::uint8_t> BuildIconFile(const bmp::Image& color, const bmp::Image& mask) {
  std::vector<std::uint8_t> dib = bmp::WriteDib(color, 2);
  // The mask follows in the colour image's row order.
  for (int stored = 0; stored < color.height; ++stored) {
    const int top = color.row_order == bmp::RowOrder::TopDown ? stored : color.height - 1 - stored;
    const std::uint8_t* row = mask.TopRow(top);
    dib.insert(dib.end(), row, row + win::gdi::DibRowStride(mask.width, 1));
  }
  std::vector<std::uint8_t> out;
  bmp::Put16(out, 0);
  bmp::Put16(out, 1);
  bmp::Put16(out, 1);
  out.push_back(static_cast<std::uint8_t>(color.width >= 256 ? 0 : color.width));
  out.push_back(static_cast<std::uint8_t>(color.height >= 256 ? 0 : color.height));
  out.push_back(static_cast<std::uint8_t>(color.bits_per_pixel < 8 ? (1 << color.bits_per_pixel) : 0));
  out.push_back(0);
  bmp::Put16(out, 1);
  bmp::Put16(out, static_cast<std::uint32_t>(color.bits_per_pixel));
  bmp::Put32(out, static_cast<std::uint32_t>(dib.size()));
  bmp::Put32(out, 22);
  out.insert(out.end(), dib.begin(), dib.end());
  return out;
}

}  // namespace

TIcon::TIcon() {
  color_.OnChange = [this](TObject*) { Changed(this); };
}

TIcon::~TIcon() = default;

void TIcon::SetWidth(int) { throw EInvalidGraphicOperation(graphics::SChangeIconSize); }
void TIcon::SetHeight(int) { throw EInvalidGraphicOperation(graphics::SChangeIconSize); }

void TIcon::SetBitmaps(const TBitmap* Color, const TBitmap* MaskBitmap) {
  if (Color == nullptr || MaskBitmap == nullptr || Color->GetWidth() != MaskBitmap->GetWidth() ||
      Color->GetHeight() != MaskBitmap->GetHeight())
    throw EInvalidGraphic(graphics::SInvalidIcon);
  mask_.Assign(MaskBitmap);
  mask_.SetMonochrome(true);
  color_.Assign(Color);
}

void TIcon::LoadFromStream(TStream* Stream) {
  const std::int64_t remaining = Stream->GetSize() - Stream->GetPosition();
  if (remaining <= 0 || remaining > kMaxIconFile) throw EInvalidGraphic(graphics::SInvalidIcon);
  std::vector<std::uint8_t> file(static_cast<std::size_t>(remaining));
  Stream->ReadBuffer(file.data(), static_cast<int>(file.size()));
  IconImages icon;
  try {
    icon = ParseIconFile(file);
  } catch (const bmp::FormatError&) {
    throw EInvalidGraphic(graphics::SInvalidIcon);
  }
  mask_.SetImage(icon.mask);
  color_.SetImage(icon.color);
}

void TIcon::SaveToStream(TStream* Stream) {
  if (GetEmpty()) return;
  const std::vector<std::uint8_t> file = BuildIconFile(color_.GetImage(), mask_.GetImage());
  Stream->WriteBuffer(file.data(), static_cast<int>(file.size()));
}

void TIcon::LoadFromClipboardFormat(std::uint16_t, win::HANDLE, win::HPALETTE) {
  throw EInvalidGraphic(graphics::SUnknownClipboardFormat);
}

void TIcon::SaveToClipboardFormat(std::uint16_t&, win::HANDLE&, win::HPALETTE&) {
  throw EInvalidGraphic(graphics::SUnknownClipboardFormat);
}

void TIcon::Draw(TCanvas* ACanvas, const win::RECT& Rect) {
  if (GetEmpty()) return;
  const bmp::Image mask = mask_.GetImage();
  const win::ScopedGdiObject<win::HBITMAP> mono(MakeMonoBitmap(mask.width, mask.height, [&](int x, int y) {
    return bmp::RowIndex(mask.TopRow(y), x, 1) != 0;
  }));
  const win::ScopedGdiObject<win::HDC> mask_dc(win::CreateCompatibleDC(nullptr));
  const win::ScopedSelect mask_selection(mask_dc.Get(), mono.Get());
  win::HDC dest = ACanvas->GetHandle();
  const int width = Rect.right - Rect.left, height = Rect.bottom - Rect.top;
  const win::COLORREF old_text = win::SetTextColor(dest, win::RGB(0, 0, 0));
  const win::COLORREF old_back = win::SetBkColor(dest, win::RGB(255, 255, 255));
  const int old_mode = win::SetStretchBltMode(dest, win::COLORONCOLOR);
  // Screen = (screen AND mask) XOR image: mask 1 keeps the screen, the image's black leaves it.
  win::StretchBlt(dest, Rect.left, Rect.top, width, height, mask_dc.Get(), 0, 0, mask.width, mask.height, win::SRCAND);
  win::StretchBlt(dest, Rect.left, Rect.top, width, height, color_.GetCanvas()->GetHandle(), 0, 0,
                  color_.GetWidth(), color_.GetHeight(), win::SRCINVERT);
  win::SetStretchBltMode(dest, old_mode);
  win::SetTextColor(dest, old_text);
  win::SetBkColor(dest, old_back);
}

void TIcon::Assign(const TPersistent* Source) {
  if (Source == nullptr) {
    color_.Assign(nullptr);
    mask_.Assign(nullptr);
    return;
  }
  if (const auto* icon = dynamic_cast<const TIcon*>(Source)) {
    if (icon == this) return;
    mask_.Assign(&icon->mask_);
    color_.Assign(&icon->color_);
    return;
  }
  TGraphic::Assign(Source);
}

void TIcon::AssignTo(TPersistent* Dest) const {
  if (auto* bitmap = dynamic_cast<TBitmap*>(Dest)) {
    bitmap->Assign(&color_);
    return;
  }
  TGraphic::AssignTo(Dest);
}

}  // namespace dashtune
