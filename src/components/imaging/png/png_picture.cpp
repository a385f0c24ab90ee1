#include "components/imaging/png/png_picture.h"

#include <algorithm>
#include <cstring>

#include "classlib/bitmap.h"
#include "classlib/units.h"
#include "components/imaging/png/png_passes.h"
#include "platform/gdi/scoped_gdi.h"

namespace dashtune {
namespace {

constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return r | (g << 8) | (b << 16); }

// One channel blended as the picture draws it: source over destination by alpha a.
inline std::uint8_t Blend(unsigned src, unsigned dst, unsigned a) {
  return static_cast<std::uint8_t>((src * a + 255 + (255 - a) * dst) >> 8);
}

// A memory context compatible with a target, holding one bitmap for one drawing call; the
// bitmap and the context are released in any case, the context's own bitmap selected back first.
class BitmapContext {
 public:
  BitmapContext(win::HDC target, win::HBITMAP bitmap)
      : context_(win::CreateCompatibleDC(target)), bitmap_(bitmap), selection_(context_.Get(), bitmap) {}
  bool Ready() const { return static_cast<bool>(selection_); }
  win::HDC dc() const { return context_.Get(); }

 private:
  win::ScopedGdiObject<win::HDC> context_;
  win::ScopedGdiObject<win::HBITMAP> bitmap_;
  win::ScopedSelect selection_;
};

// The order rules of the chunks the standard places: a chunk out of its place is skipped, as
// if it were not there.
class ChunkOrder {
 public:
  bool Ignores(const std::string& name) const {
    // The first IDAT's loader has read every IDAT chunk its zlib stream ran through.
    if (name == "IDAT") return image_data_;
    // Gamma applies to the palette and the image data that follow it, and only the first counts.
    if (name == "gAMA") return gamma_ || palette_ || image_data_;
    if (name == "PLTE" || name == "tRNS") return image_data_;
    return false;
  }
  void Saw(const std::string& name) {
    gamma_ = gamma_ || name == "gAMA";
    palette_ = palette_ || name == "PLTE";
    image_data_ = image_data_ || name == "IDAT";
  }
  bool SawImageData() const { return image_data_; }

 private:
  bool gamma_ = false, palette_ = false, image_data_ = false;
};

void InitializeUnit() {
  png::FreeChunkClassList();
  png::RegisterCommonChunks();
  TPicture::RegisterFileFormat("PNG", "Portable Network Graphics", TGraphicClass::Of<TPNGPicture>());
}

void FinalizeUnit() {
  TPicture::UnregisterGraphicClass(TGraphicClass::Of<TPNGPicture>());
  png::FreeChunkClassList();
}

// The codec starts with the image units, after the list view's and before the serial library's.
const TUnitRegistration kPngCodecUnit("PngCodec", 40, InitializeUnit, FinalizeUnit);

}  // namespace

TPNGPicture::TPNGPicture() : canvas_(std::make_unique<TCanvas>()), chunks_(this) { InitializeGamma(); }

TPNGPicture::~TPNGPicture() { ClearChunks(); }

void TPNGPicture::InitializeGamma() {
  for (int i = 0; i < 256; ++i) {
    GammaTable[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    InverseGamma[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  }
}

void TPNGPicture::ClearChunks() {
  InitializeGamma();
  chunks_.Clear();
}

TChunkIHDR* TPNGPicture::Header() const {
  auto* header = dynamic_cast<TChunkIHDR*>(chunks_.Item(0));
  if (header == nullptr) png::RaiseError<EPNGHeaderNotPresent>(png::EPNGHeaderNotPresentText);
  return header;
}

int TPNGPicture::GetWidth() const {
  auto* header = dynamic_cast<TChunkIHDR*>(chunks_.Item(0));
  return header ? static_cast<int>(header->Width) : 0;
}

int TPNGPicture::GetHeight() const {
  auto* header = dynamic_cast<TChunkIHDR*>(chunks_.Item(0));
  return header ? static_cast<int>(header->Height) : 0;
}

win::HPALETTE TPNGPicture::GetPalette() const {
  auto* header = dynamic_cast<TChunkIHDR*>(chunks_.Item(0));
  return header ? header->ImagePalette : nullptr;
}

void TPNGPicture::SetPalette(win::HPALETTE Palette) { Header()->SetImagePalette(Palette); }

TPNGTransparencyMode TPNGPicture::GetTransparencyMode() const {
  const TChunkIHDR* header = Header();
  const TChunktRNS* trns = chunks_.ItemFromClass<TChunktRNS>();
  switch (header->ColorType) {
    case png::kColorTypeGray:
    case png::kColorTypeTruecolor:
      return trns ? tmSingleColor : tmNone;
    case png::kColorTypeIndexed:
      if (trns == nullptr) return tmNone;
      return trns->BitTransparency ? tmSingleColor : tmPartial;
    case png::kColorTypeGrayAlpha:
    case png::kColorTypeTruecolorAlpha:
      return tmPartial;
    default:
      return tmNone;
  }
}

// ---- Streams ----

void TPNGPicture::LoadFromStream(TStream* Stream) {
  ClearChunks();
  std::array<std::uint8_t, 8> signature{};
  int got = 0;
  while (got < 8) {
    const int n = Stream->Read(signature.data() + got, 8 - got);
    if (n <= 0) break;
    got += n;
  }
  if (got < 8 || signature != png::kSignature) png::RaiseError<EPNGInvalidFileHeader>(png::EPNGInvalidFileHeaderText);

  ChunkOrder order;
  for (int index = 0;; ++index) {
    std::uint8_t length_bytes[4];
    const int first = Stream->Read(length_bytes, 4);
    if (first <= 0) png::RaiseError<EPngUnexpectedEnd>(png::EPNGUnexpectedEndText);
    if (first < 4) png::ReadExact(Stream, length_bytes + first, static_cast<std::size_t>(4 - first));
    const std::uint32_t length = png::BigEndian32(length_bytes);
    char name_bytes[4];
    png::ReadExact(Stream, name_bytes, 4);
    const std::string name(name_bytes, 4);
    if (index == 0 && name != "IHDR") {
      chunks_.Clear();
      png::RaiseError<EPNGIHDRNotFirst>(png::EPNGIHDRNotFirstText);
    }
    png::CheckChunkLength(Stream, length);
    if (name == "cHRM" || order.Ignores(name)) {
      png::SkipBytes(Stream, std::uint64_t{length} + 4);
      continue;
    }
    order.Saw(name);
    TChunk* chunk = chunks_.Add(png::CreateChunkByName(this, name));
    if (png::IsUnknownChunk(chunk) && (name_bytes[0] & 0x20) == 0)
      png::RaiseError<EPNGUnknownCriticalChunk>(png::EPNGUnknownCriticalChunkText);
    if (!chunk->LoadFromStream(Stream, name, length) || name == "IEND") break;
  }
  if (!order.SawImageData()) png::RaiseError<EPNGNoImageData>(png::EPNGNoImageDataText);
  Changed(this);
}

void TPNGPicture::SaveToStream(TStream* Stream) {
  Stream->WriteBuffer(png::kSignature.data(), static_cast<int>(png::kSignature.size()));
  for (int i = 0; i < chunks_.GetCount(); ++i) chunks_.Item(i)->SaveToStream(Stream);
}

// ---- Drawing ----

void TPNGPicture::Draw(TCanvas* ACanvas, const win::RECT& Rect) {
  if (GetEmpty()) return;
  TChunkIHDR* header = Header();
  if (header->ImageData == nullptr) return;
  const win::HDC dc = ACanvas->GetHandle();
  switch (GetTransparencyMode()) {
    case tmNone:
      win::SetStretchBltMode(dc, win::COLORONCOLOR);
      win::StretchDIBits(dc, Rect.left, Rect.top, Rect.right - Rect.left, Rect.bottom - Rect.top, 0, 0,
                         static_cast<int>(header->Width), static_cast<int>(header->Height), header->ImageData,
                         header->BitmapInfo.Info(), win::DIB_RGB_COLORS, win::SRCCOPY);
      break;
    case tmSingleColor:
      DrawTransparentMask(dc, Rect);
      break;
    case tmPartial:
      DrawPartialTrans(dc, Rect);
      break;
  }
}

std::vector<std::uint8_t> TPNGPicture::TransparentKeyMask() const {
  const TChunkIHDR* header = Header();
  if (!header->KeyMask.empty()) return header->KeyMask;
  const std::size_t row_bytes = header->KeyMaskRowBytes();
  std::vector<std::uint8_t> mask(row_bytes * header->Height, 0);
  const auto fill = [&](auto is_key) {
    for (std::size_t y = 0; y < header->Height; ++y) {
      std::uint8_t* out = mask.data() + row_bytes * y;
      for (std::size_t x = 0; x < header->Width; ++x)
        if (is_key(y, x)) out[x / 8] = static_cast<std::uint8_t>(out[x / 8] | (0x80u >> (x % 8)));
    }
  };
  const TChunktRNS* trns = chunks_.ItemFromClass<TChunktRNS>();
  // The stored samples as read or as last set (the chunk's data follows them on save).
  const std::uint8_t* data = trns->PaletteValues.data();
  const int bits = header->DibBitCount();
  switch (header->ColorType) {
    case png::kColorTypeIndexed: {
      const std::uint32_t entries = std::min<std::uint32_t>(trns->GetDataSize(), 256);
      const auto first = trns->PaletteValues.begin();
      const auto index = static_cast<unsigned>(std::find(first, first + entries, 0) - first);
      if (index < entries)
        fill([&](std::size_t y, std::size_t x) { return png::GetPacked(header->ImageRow(y), x, bits) == index; });
      break;
    }
    case png::kColorTypeGray: {
      if (trns->GetDataSize() < 2) break;
      const unsigned key = (unsigned{data[0]} << 8) | data[1];
      if (header->BitDepth == 16) {
        fill([&](std::size_t y, std::size_t x) {
          return ((unsigned{header->ImageRow(y)[x]} << 8) | header->ExtraRow(y)[x]) == key;
        });
      } else {
        // 2-bit gray is held as the 4-bit levels 0, 5, 10 and 15.
        const unsigned held = header->BitDepth == 2 ? key * 5 : key;
        fill([&](std::size_t y, std::size_t x) { return png::GetPacked(header->ImageRow(y), x, bits) == held; });
      }
      break;
    }
    case png::kColorTypeTruecolor: {
      if (trns->GetDataSize() < 6) break;
      const bool wide = header->BitDepth == 16;
      // Without the decoder's mask the image's colours are all there is: the key through the
      // same gamma table, the high bytes (and the low bytes of 16-bit samples) compared.
      std::array<std::uint8_t, 3> high{}, low{};
      for (std::size_t c = 0; c < 3; ++c) {
        if (!wide && data[2 * c] != 0) return mask;  // no 8-bit sample has this value
        high[2 - c] = GammaTable[wide ? data[2 * c] : data[2 * c + 1]];
        low[2 - c] = GammaTable[data[2 * c + 1]];
      }
      fill([&](std::size_t y, std::size_t x) {
        const std::uint8_t* p = header->ImageRow(y) + 3 * x;
        if (p[0] != high[0] || p[1] != high[1] || p[2] != high[2]) return false;
        if (!wide) return true;
        const std::uint8_t* e = header->ExtraRow(y) + 3 * x;
        return e[0] == low[0] && e[1] == low[1] && e[2] == low[2];
      });
      break;
    }
    default:
      break;
  }
  return mask;
}

void TPNGPicture::DrawTransparentMask(win::HDC DC, const win::RECT& Rect) const {
  const TChunkIHDR* header = Header();
  const int w = static_cast<int>(header->Width), h = static_cast<int>(header->Height);
  const int W = Rect.right - Rect.left, H = Rect.bottom - Rect.top;
  if (W == 0 || H == 0) return;
  const int aw = std::abs(W), ah = std::abs(H);
  const BitmapContext source(DC, win::CreateDIBitmap(DC, &header->BitmapInfo.bmiHeader, win::CBM_INIT,
                                                     header->ImageData, header->BitmapInfo.Info(),
                                                     win::DIB_RGB_COLORS));
  const BitmapContext mask(DC, win::CreateBitmap(aw, ah, 1, 1, nullptr));
  const BitmapContext inverse(DC, win::CreateBitmap(aw, ah, 1, 1, nullptr));
  const BitmapContext save(DC, win::CreateCompatibleBitmap(DC, aw, ah));
  const BitmapContext key(DC, win::CreateBitmap(w, h, 1, 1, TransparentKeyMask().data()));
  for (const BitmapContext* context : {&source, &mask, &inverse, &save, &key})
    if (!context->Ready()) png::RaiseError<EPNGOutMemory>(png::EPNGOutMemoryText);

  // Pixels of the transparent stored sample become 1 in the mask.
  win::StretchBlt(mask.dc(), 0, 0, aw, ah, key.dc(), 0, 0, w, h, win::SRCCOPY);
  win::BitBlt(inverse.dc(), 0, 0, aw, ah, mask.dc(), 0, 0, win::NOTSRCCOPY);
  // Background where transparent, black elsewhere; the image black where transparent; merged.
  win::BitBlt(save.dc(), 0, 0, aw, ah, DC, std::min(Rect.left, Rect.right), std::min(Rect.top, Rect.bottom),
              win::SRCCOPY);
  win::BitBlt(save.dc(), 0, 0, aw, ah, mask.dc(), 0, 0, win::SRCAND);
  win::StretchBlt(source.dc(), 0, 0, w, h, inverse.dc(), 0, 0, aw, ah, win::SRCAND);
  win::StretchBlt(save.dc(), 0, 0, aw, ah, source.dc(), 0, 0, w, h, win::SRCPAINT);
  win::BitBlt(DC, std::min(Rect.left, Rect.right), std::min(Rect.top, Rect.bottom), aw, ah, save.dc(), 0, 0,
              win::SRCCOPY);
}

void TPNGPicture::DrawPartialTrans(win::HDC DC, win::RECT Rect) const {
  if (Rect.left == Rect.right || Rect.top == Rect.bottom) return;
  if (Rect.left > Rect.right) std::swap(Rect.left, Rect.right);
  if (Rect.top > Rect.bottom) std::swap(Rect.top, Rect.bottom);
  // Only the part of the rectangle that the target shows is read, blended and written back.
  win::RECT visible = Rect;
  win::RECT clip{};
  if (win::GetClipBox(DC, &clip) != win::ERROR && !win::IntersectRect(&visible, &Rect, &clip)) return;
  const int VW = visible.right - visible.left, VH = visible.bottom - visible.top;

  win::BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(win::BITMAPINFOHEADER);
  info.bmiHeader.biWidth = VW;
  info.bmiHeader.biHeight = -VH;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = win::BI_RGB;
  void* bits = nullptr;
  const BitmapContext target(DC, win::CreateDIBSection(DC, &info, win::DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!target.Ready() || bits == nullptr) png::RaiseError<EPNGOutMemory>(png::EPNGOutMemoryText);
  win::BitBlt(target.dc(), 0, 0, VW, VH, DC, visible.left, visible.top, win::SRCCOPY);
  BlendOnto(static_cast<std::uint8_t*>(bits), Rect, visible);
  win::BitBlt(DC, visible.left, visible.top, VW, VH, target.dc(), 0, 0, win::SRCCOPY);
}

void TPNGPicture::BlendOnto(std::uint8_t* pixels, const win::RECT& Rect, const win::RECT& visible) const {
  const TChunkIHDR* header = Header();
  const std::size_t w = header->Width, h = header->Height;
  const std::size_t W = static_cast<std::size_t>(std::int64_t{Rect.right} - Rect.left);
  const std::size_t H = static_cast<std::size_t>(std::int64_t{Rect.bottom} - Rect.top);
  const std::size_t left = static_cast<std::size_t>(visible.left - Rect.left);
  const std::size_t top = static_cast<std::size_t>(visible.top - Rect.top);
  const std::size_t VW = static_cast<std::size_t>(visible.right - visible.left);
  const std::size_t VH = static_cast<std::size_t>(visible.bottom - visible.top);

  // Both dimensions decide whether to scale; source positions by exact integer arithmetic.
  const bool scaled = W != w || H != h;
  const auto source_of = [scaled](std::size_t d, std::size_t n, std::size_t N) {
    return scaled ? std::min(d * n / N, n - 1) : d;
  };
  std::vector<std::size_t> columns(VW);
  for (std::size_t x = 0; x < VW; ++x) columns[x] = source_of(left + x, w, W);

  const auto* trns = chunks_.ItemFromClass<TChunktRNS>();
  const auto* plte = chunks_.ItemFromClass<TChunkPLTE>();
  const int bits_per_pixel = header->DibBitCount();
  for (std::size_t y = 0; y < VH; ++y) {
    const std::size_t sy = source_of(top + y, h, H);
    const std::uint8_t* row = header->ImageRow(sy);
    const std::uint8_t* alpha = header->ImageAlpha.empty() ? nullptr : header->ImageAlpha.data() + w * sy;
    std::uint8_t* out = pixels + 4 * VW * y;
    for (std::size_t x = 0; x < VW; ++x, out += 4) {
      const std::size_t sx = columns[x];
      if (header->ColorType == png::kColorTypeTruecolor || header->ColorType == png::kColorTypeTruecolorAlpha) {
        const unsigned a = alpha ? alpha[sx] : 255;
        if (a == 0) continue;
        const std::uint8_t* s = row + 3 * sx;
        for (int c = 0; c < 3; ++c) out[c] = a == 255 ? s[c] : Blend(s[c], out[c], a);
      } else if (header->ColorType == png::kColorTypeGrayAlpha) {
        const unsigned a = alpha[sx];
        for (int c = 0; c < 3; ++c) out[c] = Blend(row[sx], out[c], a);
      } else {
        const unsigned index = png::GetPacked(row, sx, bits_per_pixel);
        const unsigned a = trns ? trns->PaletteValues[index] : 255;
        // Indices past the palette paint black.
        const bool known = plte != nullptr && static_cast<int>(index) < plte->Count;
        const win::RGBQUAD q = known ? header->BitmapInfo.bmiColors[index] : win::RGBQUAD{};
        out[0] = Blend(q.rgbBlue, out[0], a);
        out[1] = Blend(q.rgbGreen, out[1], a);
        out[2] = Blend(q.rgbRed, out[2], a);
      }
    }
  }
}

// ---- Assignment ----

void TPNGPicture::Assign(const TPersistent* Source) {
  if (Source == nullptr) {
    ClearChunks();
    Changed(this);
  } else if (const auto* png = dynamic_cast<const TPNGPicture*>(Source)) {
    AssignPNG(png);
  } else if (const auto* bitmap = dynamic_cast<const TBitmap*>(Source)) {
    AssignHandle(bitmap->GetHandle(), bitmap->GetTransparent(), ColorToRGB(bitmap->GetTransparentColor()));
  } else {
    TGraphic::Assign(Source);
  }
}

void TPNGPicture::AssignPNG(const TPNGPicture* Source) {
  if (Source == this) return;
  interlace_method_ = Source->interlace_method_;
  max_idat_size_ = Source->max_idat_size_;
  compression_level_ = Source->compression_level_;
  filters_ = Source->filters_;
  ClearChunks();
  for (int i = 0; i < Source->chunks_.GetCount(); ++i) {
    const TChunk* source = Source->chunks_.Item(i);
    chunks_.Add(png::CreateChunkByName(this, source->GetName()))->Assign(source);
  }
  Changed(this);
}

void TPNGPicture::AssignHandle(win::HBITMAP Bitmap, bool Transparent, win::COLORREF TransparentColor) {
  ClearChunks();
  win::BITMAP info{};
  if (Bitmap == nullptr || win::GetObject(Bitmap, sizeof info, &info) == 0) return;
  auto* header = static_cast<TChunkIHDR*>(chunks_.Add(std::make_unique<TChunkIHDR>(this)));
  header->Width = static_cast<std::uint32_t>(info.bmWidth);
  header->Height = static_cast<std::uint32_t>(std::abs(info.bmHeight));
  const int bits = info.bmBitsPixel * std::max<int>(info.bmPlanes, 1);
  if (bits < 16) {
    header->ColorType = png::kColorTypeIndexed;
    header->BitDepth = static_cast<std::uint8_t>(bits <= 1 ? 1 : bits <= 4 ? 4 : 8);
  } else {
    header->ColorType = png::kColorTypeTruecolor;
    header->BitDepth = 8;
  }
  header->PrepareImageData();
  win::GetDIBits(header->ImageDC, Bitmap, 0, header->Height, header->ImageData, header->BitmapInfo.Info(),
                 win::DIB_RGB_COLORS);
  if (header->HasPalette) {
    const int colors = 1 << header->DibBitCount();
    std::vector<std::uint8_t> storage(sizeof(win::LOGPALETTE) + 256 * sizeof(win::PALETTEENTRY));
    auto* palette = reinterpret_cast<win::LOGPALETTE*>(storage.data());
    palette->palVersion = 0x300;
    palette->palNumEntries = static_cast<win::WORD>(colors);
    for (int i = 0; i < colors; ++i) {
      const win::RGBQUAD& q = header->BitmapInfo.bmiColors[static_cast<std::size_t>(i)];
      palette->palPalEntry[i] = win::PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
    }
    const win::HPALETTE handle = win::CreatePalette(palette);
    if (!header->SetImagePalette(handle)) win::DeleteObject(handle);
    static_cast<TChunkPLTE*>(chunks_.Add(std::make_unique<TChunkPLTE>(this)))->Count = colors;
  }
  if (Transparent)
    static_cast<TChunktRNS*>(chunks_.Add(std::make_unique<TChunktRNS>(this)))->SetTransparentColor(TransparentColor);
  chunks_.Add(std::make_unique<TChunkIDAT>(this));
  chunks_.Add(std::make_unique<TChunkIEND>(this));
  Changed(this);
}

void TPNGPicture::AssignTo(TPersistent* Dest) const {
  if (auto* png = dynamic_cast<TPNGPicture*>(Dest)) {
    png->AssignPNG(this);
    return;
  }
  auto* bitmap = dynamic_cast<TBitmap*>(Dest);
  if (bitmap == nullptr || GetEmpty()) {
    TGraphic::AssignTo(Dest);
    return;
  }
  const TChunkIHDR* header = Header();
  const TPNGTransparencyMode mode = GetTransparencyMode();
  TPixelFormat format = pf24bit;
  if (mode != tmPartial) {
    switch (header->BitDepth) {
      case 1:
        format = pf1bit;
        break;
      case 2:
      case 4:
        format = pf4bit;
        break;
      case 8:
      case 16:
        if (header->ColorType == png::kColorTypeIndexed) {
          format = pf8bit;
        } else if (header->ColorType != png::kColorTypeGray && header->ColorType != png::kColorTypeTruecolor) {
          throw Exception("");
        }
        break;
      default:
        throw Exception("");
    }
  }
  bitmap->SetPixelFormat(format);
  bitmap->SetSize(static_cast<int>(header->Width), static_cast<int>(header->Height));
  const_cast<TPNGPicture*>(this)->Draw(bitmap->GetCanvas(), win::RECT{0, 0, static_cast<win::LONG>(header->Width),
                                                                      static_cast<win::LONG>(header->Height)});
  if (mode == tmSingleColor) {
    bitmap->SetTransparentColor(static_cast<TColor>(chunks_.ItemFromClass<TChunktRNS>()->GetTransparentColor()));
    bitmap->SetTransparent(true);
  }
}

// ---- Size and pixels ----

void TPNGPicture::Resize(int CX, int CY) {
  if (CX < 1 || CY < 1) png::RaiseError<EPNGInvalidNewSize>(png::EPNGInvalidNewSizeText);
  TChunkIHDR* header = Header();
  if (header->ImageData == nullptr) png::RaiseError<EPNGHeaderNotPresent>(png::EPNGHeaderNotPresentText);
  header->ResizeImage(static_cast<std::uint32_t>(CX), static_cast<std::uint32_t>(CY));
  Changed(this);
}

std::uint8_t* TPNGPicture::Scanline(int Row) const {
  TChunkIHDR* header = Header();
  if (header->ImageData == nullptr || Row < 0 || static_cast<std::uint32_t>(Row) >= header->Height) return nullptr;
  return header->ImageRow(static_cast<std::size_t>(Row));
}

std::uint8_t* TPNGPicture::AlphaScanline(int Row) const {
  TChunkIHDR* header = Header();
  if (header->ImageAlpha.empty() || Row < 0 || static_cast<std::uint32_t>(Row) >= header->Height) return nullptr;
  return header->AlphaRow(static_cast<std::size_t>(Row));
}

std::uint8_t* TPNGPicture::ExtraScanline(int Row) const {
  TChunkIHDR* header = Header();
  if (header->ExtraImageData.empty() || Row < 0 || static_cast<std::uint32_t>(Row) >= header->Height) return nullptr;
  return header->ExtraRow(static_cast<std::size_t>(Row));
}

TColor TPNGPicture::GetPixels(int X, int Y) const {
  TChunkIHDR* header = Header();
  if (header->ImageData == nullptr || X < 0 || Y < 0 || static_cast<std::uint32_t>(X) >= header->Width ||
      static_cast<std::uint32_t>(Y) >= header->Height)
    return 0;
  const std::uint8_t* row = header->ImageRow(static_cast<std::size_t>(Y));
  const std::size_t x = static_cast<std::size_t>(X);
  switch (header->ColorType) {
    case png::kColorTypeGray: {
      const unsigned value = png::GetPacked(row, x, header->DibBitCount());
      // 1-bit levels are 0 and 255; 4-bit pixels (2-bit images included) are 17 apart.
      const unsigned scale = header->DibBitCount() == 1 ? 255 : header->DibBitCount() == 4 ? 17 : 1;
      const std::uint8_t gray = GammaTable[(value * scale) & 0xFF];
      return static_cast<TColor>(Rgb(gray, gray, gray));
    }
    case png::kColorTypeIndexed: {
      // The colour table already holds the colours through the gamma table.
      const win::RGBQUAD& q = header->BitmapInfo.bmiColors[png::GetPacked(row, x, header->DibBitCount())];
      return static_cast<TColor>(Rgb(q.rgbRed, q.rgbGreen, q.rgbBlue));
    }
    case png::kColorTypeGrayAlpha:
      return static_cast<TColor>(Rgb(row[x], row[x], row[x]));
    default: {
      const std::uint8_t* p = row + 3 * x;
      return static_cast<TColor>(Rgb(p[2], p[1], p[0]));
    }
  }
}

void TPNGPicture::SetPixels(int X, int Y, TColor Value) {
  TChunkIHDR* header = Header();
  if (header->ImageData == nullptr || X < 0 || Y < 0 || static_cast<std::uint32_t>(X) >= header->Width ||
      static_cast<std::uint32_t>(Y) >= header->Height)
    return;
  std::uint8_t* row = header->ImageRow(static_cast<std::size_t>(Y));
  const std::size_t x = static_cast<std::size_t>(X);
  const auto color = static_cast<std::uint32_t>(Value);
  header->KeyMask = {};  // no longer the stored samples'
  switch (header->ColorType) {
    case png::kColorTypeGray:
    case png::kColorTypeIndexed: {
      const win::UINT index = win::GetNearestPaletteIndex(header->ImagePalette, color & 0xFFFFFF);
      if (index != win::CLR_INVALID) png::PutPacked(row, x, header->DibBitCount(), index);
      break;
    }
    case png::kColorTypeGrayAlpha:
      row[x] = static_cast<std::uint8_t>(color);
      break;
    default: {
      std::uint8_t* p = row + 3 * x;
      p[0] = static_cast<std::uint8_t>(color >> 16);
      p[1] = static_cast<std::uint8_t>(color >> 8);
      p[2] = static_cast<std::uint8_t>(color);
    }
  }
}

// ---- Clipboard ----

void TPNGPicture::LoadFromClipboardFormat(std::uint16_t AFormat, win::HANDLE AData, win::HPALETTE APalette) {
  TBitmap bitmap;
  bitmap.LoadFromClipboardFormat(AFormat, AData, APalette);
  AssignHandle(bitmap.GetHandle(), false, 0);
}

void TPNGPicture::SaveToClipboardFormat(std::uint16_t& AFormat, win::HANDLE& AData, win::HPALETTE& APalette) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(GetWidth(), GetHeight());
  Draw(bitmap.GetCanvas(), win::RECT{0, 0, GetWidth(), GetHeight()});
  bitmap.SaveToClipboardFormat(AFormat, AData, APalette);
}

}  // namespace dashtune
