// The header chunk and the image buffers it owns: the DIB section in its memory context, the
// palette of images with a colour table, the alpha plane and the plane of 16-bit low bytes.
#include <algorithm>
#include <cstring>
#include <new>

#include "components/imaging/png/png_chunks.h"
#include "components/imaging/png/png_picture.h"
#include "platform/gdi/dib_rows.h"

namespace dashtune {
namespace {

[[noreturn]] void OutOfMemory() { png::RaiseError<EPNGOutMemory>(png::EPNGOutMemoryText); }

// A vector of n zero bytes (or of `fill`), EPNGOutMemory when it cannot be had.
void AllocatePlane(std::vector<std::uint8_t>* plane, std::size_t n, std::uint8_t fill = 0) {
  try {
    plane->assign(n, fill);
  } catch (const std::bad_alloc&) {
    OutOfMemory();
  }
}

}  // namespace

TChunkIHDR::TChunkIHDR(TPNGPicture* Owner) : TChunk(Owner, "IHDR") {}

TChunkIHDR::~TChunkIHDR() { FreeImageData(); }

int TChunkIHDR::DibBitCount() const {
  switch (ColorType) {
    case png::kColorTypeTruecolor:
    case png::kColorTypeTruecolorAlpha:
      return 24;
    case png::kColorTypeGrayAlpha:
      return 8;
    default:
      switch (BitDepth) {
        case 1:
          return 1;
        case 2:
        case 4:
          return 4;
        default:
          return 8;
      }
  }
}

void TChunkIHDR::FreeImageData() {
  if (ImageDC != nullptr) {
    // Only the context this header gave the canvas is taken back; asking the canvas for its
    // handle would make it realise its drawing objects.
    if (gave_canvas_handle_) GetOwner()->GetCanvas()->SetHandle(nullptr);
    gave_canvas_handle_ = false;
    if (old_bitmap_ != nullptr) win::SelectObject(ImageDC, old_bitmap_);
    if (old_palette_ != nullptr) win::SelectPalette(ImageDC, old_palette_, win::FALSE);
    win::DeleteDC(ImageDC);
  }
  if (ImageHandle != nullptr) win::DeleteObject(ImageHandle);
  if (ImagePalette != nullptr) win::DeleteObject(ImagePalette);
  ImageDC = nullptr;
  ImageHandle = nullptr;
  ImagePalette = nullptr;
  ImageData = nullptr;
  old_bitmap_ = nullptr;
  old_palette_ = nullptr;
  ImageAlpha = {};
  ExtraAlpha = {};
  ExtraImageData = {};
  KeyMask = {};
}

win::HPALETTE TChunkIHDR::CreateGrayscalePalette(int depth) const {
  const int n = depth >= 8 ? 256 : 1 << depth;
  std::vector<std::uint8_t> storage(sizeof(win::LOGPALETTE) + 256 * sizeof(win::PALETTEENTRY));
  auto* palette = reinterpret_cast<win::LOGPALETTE*>(storage.data());
  palette->palVersion = 0x300;
  palette->palNumEntries = static_cast<win::WORD>(n);
  const auto& gamma = GetOwner()->GammaTable;
  // n - 1 (1, 3, 15 or 255) divides 255, so level k is exactly k * 255 / (n - 1).
  const int level_step = 255 / (n - 1);
  for (int k = 0; k < n; ++k) {
    const std::uint8_t level = gamma[static_cast<std::size_t>(k * level_step) & 0xFF];
    palette->palPalEntry[k] = win::PALETTEENTRY{level, level, level, 0};
  }
  return win::CreatePalette(palette);
}

void TChunkIHDR::InstallColorTable() {
  const win::UINT colors = win::UINT{1} << DibBitCount();
  const win::UINT count = std::min(win::GetPaletteEntries(ImagePalette, 0, 0, nullptr), colors);
  std::array<win::PALETTEENTRY, 256> entries{};
  win::GetPaletteEntries(ImagePalette, 0, count, entries.data());
  // Entries past the palette's own count are black, whatever the table held before.
  for (win::UINT i = 0; i < 256; ++i) {
    win::RGBQUAD& q = BitmapInfo.bmiColors[i];
    q = i < count ? win::RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0} : win::RGBQUAD{};
  }
  if (ImageDC != nullptr && ImageHandle != nullptr)
    win::SetDIBColorTable(ImageDC, 0, colors, BitmapInfo.bmiColors.data());
}

void TChunkIHDR::PrepareImageData() {
  FreeImageData();
  BitmapInfo = {};
  HasPalette = ColorType == png::kColorTypeGray || ColorType == png::kColorTypeIndexed ||
               ColorType == png::kColorTypeGrayAlpha;
  const int bits = DibBitCount();
  win::BITMAPINFOHEADER& h = BitmapInfo.bmiHeader;
  h.biSize = sizeof(win::BITMAPINFOHEADER);
  h.biWidth = static_cast<win::LONG>(Width);
  h.biHeight = static_cast<win::LONG>(Height);
  h.biPlanes = 1;
  h.biBitCount = static_cast<win::WORD>(bits);
  h.biCompression = win::BI_RGB;
  if (HasPalette) h.biClrUsed = 1u << bits;
  BytesPerRow = win::gdi::DibRowStride(Width, bits);

  const std::size_t pixels = std::size_t{Width} * Height;
  if (ColorType == png::kColorTypeGrayAlpha || ColorType == png::kColorTypeTruecolorAlpha) {
    AllocatePlane(&ImageAlpha, pixels);
    if (BitDepth == 16) AllocatePlane(&ExtraAlpha, pixels);
  }
  if (BitDepth == 16) AllocatePlane(&ExtraImageData, BytesPerRow * Height);

  ImageDC = win::CreateCompatibleDC(nullptr);
  if (ImageDC == nullptr) OutOfMemory();
  if (HasPalette) {
    ImagePalette =
        ColorType == png::kColorTypeIndexed ? win::CreateHalftonePalette(ImageDC) : CreateGrayscalePalette(bits);
    GrayGamma = GetOwner()->GammaTable;
    win::ResizePalette(ImagePalette, 1u << bits);
    old_palette_ = win::SelectPalette(ImageDC, ImagePalette, win::FALSE);
    win::RealizePalette(ImageDC);
    InstallColorTable();
  }
  void* bits_pointer = nullptr;
  ImageHandle = win::CreateDIBSection(ImageDC, BitmapInfo.Info(), win::DIB_RGB_COLORS, &bits_pointer, nullptr, 0);
  if (ImageHandle == nullptr || bits_pointer == nullptr) {
    FreeImageData();
    OutOfMemory();
  }
  // The platform hands out the section's pixels zeroed.
  ImageData = static_cast<std::uint8_t*>(bits_pointer);
  old_bitmap_ = win::SelectObject(ImageDC, ImageHandle);
  GetOwner()->GetCanvas()->SetHandle(ImageDC);
  gave_canvas_handle_ = true;
}

bool TChunkIHDR::SetImagePalette(win::HPALETTE Palette) {
  if (!HasPalette || ImageDC == nullptr || Palette == nullptr) return false;
  const win::HPALETTE previous = ImagePalette;
  ImagePalette = Palette;
  win::SelectPalette(ImageDC, Palette, win::FALSE);
  win::RealizePalette(ImageDC);
  InstallColorTable();
  if (previous != nullptr && previous != Palette) win::DeleteObject(previous);
  return true;
}

void TChunkIHDR::ValidateFields() const {
  if (Width == 0 || Height == 0) png::RaiseError<EPngInvalidIHDR>(png::EPNGInvalidIHDRText);
  if (Width > 65535 || Height > 65535) png::RaiseError<EPNGSizeExceeds>(png::EPNGSizeExceedsText);
  if (CompressionMethod != 0) png::RaiseError<EPNGUnknownCompression>(png::EPNGUnknownCompressionText);
  if (InterlaceMethod > png::kInterlaceAdam7) png::RaiseError<EPNGUnknownInterlace>(png::EPNGUnknownInterlaceText);
  if (!png::ValidColorTypeAndDepth(ColorType, BitDepth)) png::RaiseError<EPngInvalidIHDR>(png::EPNGInvalidIHDRText);
  if (std::uint64_t{Width} * Height > png::kMaxPixels) OutOfMemory();
}

bool TChunkIHDR::LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) {
  const bool result = TChunk::LoadFromStream(Stream, ChunkName, Size);
  if (GetDataSize() < 13) png::RaiseError<EPngInvalidIHDR>(png::EPNGInvalidIHDRText);
  // A header anywhere but first would redefine an image already being built.
  if (GetOwner()->GetChunks().Item(0) != this) png::RaiseError<EPngInvalidIHDR>(png::EPNGInvalidIHDRText);
  const std::uint8_t* d = GetData();
  Width = png::BigEndian32(d);
  Height = png::BigEndian32(d + 4);
  BitDepth = d[8];
  ColorType = d[9];
  CompressionMethod = d[10];
  FilterMethod = d[11];
  InterlaceMethod = d[12];
  try {
    ValidateFields();
  } catch (...) {
    // A refused header describes no image.
    Width = Height = 0;
    throw;
  }
  GetOwner()->SetInterlaceMethod(InterlaceMethod);
  PrepareImageData();
  return result;
}

bool TChunkIHDR::SaveToStream(TStream* Stream) {
  ResizeData(13);
  std::uint8_t* d = GetData();
  png::PutBigEndian32(d, Width);
  png::PutBigEndian32(d + 4, Height);
  d[8] = WrittenBitDepth();
  d[9] = ColorType;
  d[10] = CompressionMethod;
  d[11] = FilterMethod;
  d[12] = GetOwner()->GetInterlaceMethod();
  return TChunk::SaveToStream(Stream);
}

void TChunkIHDR::Assign(const TChunk* Source) {
  const TChunkIHDR* source = Compatible<TChunkIHDR>(Source);
  Width = source->Width;
  Height = source->Height;
  BitDepth = source->BitDepth;
  ColorType = source->ColorType;
  CompressionMethod = source->CompressionMethod;
  FilterMethod = source->FilterMethod;
  InterlaceMethod = source->InterlaceMethod;
  PrepareImageData();
  std::memcpy(ImageData, source->ImageData, BytesPerRow * Height);
  if (!ImageAlpha.empty() && source->ImageAlpha.size() == ImageAlpha.size())
    std::memcpy(ImageAlpha.data(), source->ImageAlpha.data(), ImageAlpha.size());
  if (!ExtraAlpha.empty() && source->ExtraAlpha.size() == ExtraAlpha.size())
    std::memcpy(ExtraAlpha.data(), source->ExtraAlpha.data(), ExtraAlpha.size());
  if (!ExtraImageData.empty() && source->ExtraImageData.size() == ExtraImageData.size())
    std::memcpy(ExtraImageData.data(), source->ExtraImageData.data(), ExtraImageData.size());
  KeyMask = source->KeyMask;
  if (HasPalette) {
    const win::UINT count = win::GetPaletteEntries(source->ImagePalette, 0, 0, nullptr);
    std::array<win::PALETTEENTRY, 256> entries{};
    win::GetPaletteEntries(source->ImagePalette, 0, std::min<win::UINT>(count, 256), entries.data());
    if (count > 0) {
      win::ResizePalette(ImagePalette, count);
      win::SetPaletteEntries(ImagePalette, 0, std::min<win::UINT>(count, 256), entries.data());
    }
    BitmapInfo.bmiColors = source->BitmapInfo.bmiColors;
    win::SetDIBColorTable(ImageDC, 0, 1u << DibBitCount(), BitmapInfo.bmiColors.data());
  }
}

void TChunkIHDR::ResizeImage(std::uint32_t NewWidth, std::uint32_t NewHeight) {
  const int bits = DibBitCount();
  TPngBitmapInfo info = BitmapInfo;
  info.bmiHeader.biWidth = static_cast<win::LONG>(NewWidth);
  info.bmiHeader.biHeight = static_cast<win::LONG>(NewHeight);
  const std::size_t new_row_bytes = win::gdi::DibRowStride(NewWidth, bits);

  std::vector<std::uint8_t> alpha;
  std::vector<std::uint8_t> extra_alpha;
  std::vector<std::uint8_t> extra;
  if (!ImageAlpha.empty()) AllocatePlane(&alpha, std::size_t{NewWidth} * NewHeight, 255);
  if (!ExtraAlpha.empty()) AllocatePlane(&extra_alpha, std::size_t{NewWidth} * NewHeight, 255);
  if (!ExtraImageData.empty()) AllocatePlane(&extra, new_row_bytes * NewHeight);
  win::HDC dc = win::CreateCompatibleDC(nullptr);
  if (dc == nullptr) OutOfMemory();
  void* bits_pointer = nullptr;
  win::HBITMAP bitmap = win::CreateDIBSection(dc, info.Info(), win::DIB_RGB_COLORS, &bits_pointer, nullptr, 0);
  if (bitmap == nullptr || bits_pointer == nullptr) {
    win::DeleteDC(dc);
    OutOfMemory();
  }
  auto* data = static_cast<std::uint8_t*>(bits_pointer);
  const std::size_t rows = std::min(Height, NewHeight);
  const std::size_t row_copy = (static_cast<std::size_t>(bits) * std::min(Width, NewWidth) + 7) / 8;
  for (std::size_t y = 0; y < rows; ++y) {
    std::memcpy(data + new_row_bytes * (NewHeight - 1 - y), ImageRow(y), row_copy);
    if (!extra.empty()) std::memcpy(extra.data() + new_row_bytes * (NewHeight - 1 - y), ExtraRow(y), row_copy);
    if (!alpha.empty()) std::memcpy(alpha.data() + NewWidth * y, AlphaRow(y), std::min(Width, NewWidth));
    if (!extra_alpha.empty())
      std::memcpy(extra_alpha.data() + NewWidth * y, ExtraAlphaRow(y), std::min(Width, NewWidth));
  }

  // Move the palette to the new context, then drop the old context and section.
  win::HPALETTE palette = ImagePalette;
  if (old_palette_ != nullptr) win::SelectPalette(ImageDC, old_palette_, win::FALSE);
  if (old_bitmap_ != nullptr) win::SelectObject(ImageDC, old_bitmap_);
  TCanvas* canvas = GetOwner()->GetCanvas();
  canvas->SetHandle(nullptr);
  win::DeleteDC(ImageDC);
  win::DeleteObject(ImageHandle);

  ImageDC = dc;
  ImageHandle = bitmap;
  ImageData = data;
  BytesPerRow = new_row_bytes;
  BitmapInfo = info;
  ImageAlpha = std::move(alpha);
  ExtraAlpha = std::move(extra_alpha);
  ExtraImageData = std::move(extra);
  KeyMask = {};
  Width = NewWidth;
  Height = NewHeight;
  old_bitmap_ = win::SelectObject(ImageDC, ImageHandle);
  old_palette_ = palette != nullptr ? win::SelectPalette(ImageDC, palette, win::FALSE) : nullptr;
  if (palette != nullptr) {
    win::RealizePalette(ImageDC);
    win::SetDIBColorTable(ImageDC, 0, 1u << bits, BitmapInfo.bmiColors.data());
  }
  canvas->SetHandle(ImageDC);
  gave_canvas_handle_ = true;
}

}  // namespace dashtune
