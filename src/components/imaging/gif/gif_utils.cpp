#include "components/imaging/gif/gif_utils.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "platform/core/errors.h"
#include "platform/core/format_message.h"
#include "platform/gdi/gdi.h"

namespace dashtune {
namespace gif {

void RaiseGIFError(std::string_view text) { throw GIFException(std::string(text)); }

std::size_t CheckedPixelCount(std::uint64_t width, std::uint64_t height) {
  // Both sides are at most 32 bits here, so the product cannot wrap in 64 bits.
  if (width > std::numeric_limits<std::uint32_t>::max() || height > std::numeric_limits<std::uint32_t>::max() ||
      width * height > kMaxImagePixels)
    throw EOutOfMemory(std::string(sOutOfMemoryDIB));
  return static_cast<std::size_t>(width * height);
}

// ---- Stream routines ----

void WriteByte(TStream* Stream, std::uint8_t Value) { Stream->WriteBuffer(&Value, 1); }

bool TryReadByte(TStream* Stream, std::uint8_t& Value) { return Stream->Read(&Value, 1) == 1; }

std::uint8_t ReadByte(TStream* Stream) {
  std::uint8_t value = 0;
  return TryReadByte(Stream, value) ? value : 0;
}

std::size_t ReadUpTo(TStream* Stream, void* Buffer, std::size_t Size) {
  auto* out = static_cast<std::uint8_t*>(Buffer);
  std::size_t got = 0;
  while (got < Size) {
    const std::size_t chunk = std::min<std::size_t>(Size - got, std::numeric_limits<int>::max());
    const int n = Stream->Read(out + got, static_cast<int>(chunk));
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

void ReadCheck(TStream* Stream, void* Buffer, std::size_t Size) {
  if (ReadUpTo(Stream, Buffer, Size) != Size) RaiseGIFError(sPrematureEndOfData);
}

std::size_t SkipBytes(TStream* Stream, std::size_t Count) {
  const std::int64_t position = Stream->GetPosition();
  const std::int64_t size = Stream->GetSize();
  if (position >= 0 && size >= position) {
    const std::size_t skip = std::min<std::size_t>(Count, static_cast<std::size_t>(size - position));
    Stream->Seek(static_cast<std::int64_t>(skip), TSeekOrigin::soCurrent);
    return skip;
  }
  // A stream that cannot tell its size: read through.
  std::array<std::uint8_t, 256> scratch{};
  std::size_t skipped = 0;
  while (skipped < Count) {
    const std::size_t n = ReadUpTo(Stream, scratch.data(), std::min(scratch.size(), Count - skipped));
    if (n == 0) break;
    skipped += n;
  }
  return skipped;
}

void SkipSubBlocks(TStream* Stream) {
  std::uint8_t size = 0;
  while (TryReadByte(Stream, size) && size != 0)
    if (SkipBytes(Stream, size) != size) return;
}

void WriteStrings(TStream* Stream, const TStrings* Strings) {
  for (int i = 0; i < Strings->GetCount(); ++i) {
    const std::string line = Strings->Get(i);
    for (std::size_t pos = 0; pos < line.size(); pos += kMaxSubBlockSize) {
      const std::size_t n = std::min(kMaxSubBlockSize, line.size() - pos);
      WriteByte(Stream, static_cast<std::uint8_t>(n));
      Stream->WriteBuffer(line.data() + pos, static_cast<int>(n));
    }
  }
  WriteByte(Stream, 0);
}

void ReadStrings(TStream* Stream, TStrings* Strings) {
  Strings->Clear();
  std::array<char, 256> block{};
  std::uint8_t size = 0;
  while (TryReadByte(Stream, size) && size != 0) {
    ReadCheck(Stream, block.data(), size);
    // Zero bytes are kept: a comment is bytes, and cutting it would lose what follows them.
    Strings->Add(std::string(block.data(), size));
  }
}

bool StringsEmpty(const TStrings* Strings) {
  for (int i = 0; i < Strings->GetCount(); ++i)
    if (!Strings->Get(i).empty()) return false;
  return true;
}

std::uint16_t LittleEndian16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t LittleEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

void PutLittleEndian16(std::uint8_t* p, std::uint16_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLittleEndian32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// ---- Arithmetic and system results ----

std::size_t BytesPerScanline(std::size_t Pixels, std::size_t BitsPerPixel, std::size_t Alignment) {
  return ((Pixels * BitsPerPixel + Alignment - 1) & ~(Alignment - 1)) / 8;
}

int ColorsToBitsPerPixel(int Colors) {
  if (Colors <= 0) return 0;
  if (Colors <= 2) return 1;
  int bits = 2;
  while ((1 << bits) < Colors) ++bits;
  return bits;
}

void RaiseLastWin32Error() {
  const win::DWORD error = win::GetLastError();
  if (error != 0) {
    std::array<char, 256> text{};
    const win::DWORD length =
        win::FormatMessageA(win::FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error,
                            win::MAKELANGID(win::LANG_NEUTRAL, win::SUBLANG_DEFAULT), text.data(),
                            static_cast<win::DWORD>(text.size()), nullptr);
    if (length != 0) throw EOutOfResources(std::string(text.data(), length));
  }
  throw EOutOfResources();
}

// ---- Palettes ----

std::vector<win::PALETTEENTRY> PaletteEntries(win::HPALETTE Palette) {
  if (Palette == nullptr) return {};
  const win::UINT count = std::min<win::UINT>(win::GetPaletteEntries(Palette, 0, 0, nullptr), kMaxColors);
  std::vector<win::PALETTEENTRY> entries(count);
  if (count != 0) win::GetPaletteEntries(Palette, 0, count, entries.data());
  return entries;
}

win::HPALETTE MakePalette(const std::vector<win::PALETTEENTRY>& Entries) {
  std::vector<std::uint8_t> storage(sizeof(win::LOGPALETTE) + Entries.size() * sizeof(win::PALETTEENTRY));
  auto* palette = reinterpret_cast<win::LOGPALETTE*>(storage.data());
  palette->palVersion = 0x300;
  palette->palNumEntries = static_cast<win::WORD>(Entries.size());
  std::copy(Entries.begin(), Entries.end(), palette->palPalEntry);
  return CheckWin32Result(win::CreatePalette(palette));
}

win::HPALETTE CopyPalette(win::HPALETTE Palette) {
  if (Palette == nullptr) return nullptr;
  // Platform palettes may hold more than a GIF table: copy every entry.
  const win::UINT count = win::GetPaletteEntries(Palette, 0, 0, nullptr);
  std::vector<win::PALETTEENTRY> entries(count);
  if (count != 0) win::GetPaletteEntries(Palette, 0, count, entries.data());
  if (entries.empty()) return nullptr;
  return MakePalette(entries);
}

win::HPALETTE WebPalette() {
  std::vector<win::PALETTEENTRY> entries;
  entries.reserve(kWebColors);
  for (int r = 0; r < kWebLevels; ++r)
    for (int g = 0; g < kWebLevels; ++g)
      for (int b = 0; b < kWebLevels; ++b)
        entries.push_back(win::PALETTEENTRY{static_cast<win::BYTE>(r * kWebStep), static_cast<win::BYTE>(g * kWebStep),
                                            static_cast<win::BYTE>(b * kWebStep), 0});
  return MakePalette(entries);
}

TPixelFormat GetPixelFormat(TBitmap* Bitmap) { return Bitmap->GetPixelFormat(); }
void SetPixelFormat(TBitmap* Bitmap, TPixelFormat PixelFormat) { Bitmap->SetPixelFormat(PixelFormat); }

}  // namespace gif

// ---- DIB accessors ----

TDIBReader::TDIBReader(TBitmap* ABitmap, TPixelFormat APixelFormat) : TDIB(ABitmap, APixelFormat) {
  gif::SetPixelFormat(ABitmap, APixelFormat);
}

std::uint8_t* TDIBReader::Scanline(int Row) { return static_cast<std::uint8_t*>(Bitmap->GetScanLine(Row)); }

namespace {
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kQuadSize = 4;
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint16_t kBmpSignature = 0x4D42;  // "BM"
constexpr std::size_t kRowAlignmentBits = 32;

int BitsOf(TPixelFormat format) { return format == pf8bit ? 8 : 24; }
}  // namespace

TDIBWriter::TDIBWriter(TBitmap* ABitmap, TPixelFormat APixelFormat, int AWidth, int AHeight, win::HPALETTE APalette)
    : TDIB(ABitmap, APixelFormat), Palette(APalette), Height(AHeight), Width(AWidth) {
  if (APixelFormat != pf8bit && APixelFormat != pf24bit) gif::RaiseGIFError(gif::sUnsupportedPixelFormat);
  if (AWidth <= 0 || AHeight <= 0) gif::RaiseGIFError(gif::sInvalidImageDimensions);
}

TDIBWriter::~TDIBWriter() {
  try {
    UpdateBitmap();
  } catch (...) {
    // A destructor may not throw; a bitmap that could not take the image stays as it was.
  }
  FreeDIB();
}

void TDIBWriter::FreeDIB() {
  section_.Reset();
  bits_ = nullptr;
}

void TDIBWriter::CreateDIB() {
  FreeDIB();
  const int bits = BitsOf(PixelFormat);
  gif::CheckedPixelCount(static_cast<std::uint64_t>(Width), static_cast<std::uint64_t>(Height));
  row_bytes_ = gif::BytesPerScanline(static_cast<std::size_t>(Width), static_cast<std::size_t>(bits),
                                     kRowAlignmentBits);
  info_ = Info{};
  win::BITMAPINFOHEADER& h = info_.header;
  h.biSize = static_cast<win::DWORD>(kInfoHeaderSize);
  h.biWidth = Width;
  h.biHeight = Height;  // positive: bottom-up
  h.biPlanes = 1;
  h.biBitCount = static_cast<win::WORD>(bits);
  h.biCompression = win::BI_RGB;
  if (bits == 8) {
    const std::vector<win::PALETTEENTRY> entries = gif::PaletteEntries(Palette);
    h.biClrUsed = gif::kMaxColors;
    h.biClrImportant = static_cast<win::DWORD>(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
      info_.colors[i] = win::RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
  }
  // The rows are written straight into the section the bitmap will keep.
  void* memory = nullptr;
  section_.Reset(win::CreateDIBSection(nullptr, reinterpret_cast<const win::BITMAPINFO*>(&info_),
                                       win::DIB_RGB_COLORS, &memory, nullptr, 0));
  if (!section_ || memory == nullptr) {
    FreeDIB();
    throw EOutOfMemory(std::string(gif::sOutOfMemoryDIB));
  }
  bits_ = static_cast<std::uint8_t*>(memory);
}

std::uint8_t* TDIBWriter::Scanline(int Row) {
  if (!section_) CreateDIB();
  if (bits_ == nullptr) gif::RaiseGIFError(gif::sNoDIB);
  if (Row < 0 || Row >= Height) throw EInvalidGraphicOperation(graphics::SScanLine);
  win::GdiFlush();
  return bits_ + row_bytes_ * static_cast<std::size_t>(Height - 1 - Row);
}

std::vector<std::uint8_t> TDIBWriter::BmpImage() {
  if (!section_) return {};
  const std::size_t table = info_.header.biBitCount == 8 ? gif::kMaxColors * kQuadSize : 0;
  const std::size_t pixel_offset = kFileHeaderSize + kInfoHeaderSize + table;
  const std::size_t pixels = row_bytes_ * static_cast<std::size_t>(Height);
  std::vector<std::uint8_t> image(pixel_offset + pixels);
  std::uint8_t* p = image.data();
  gif::PutLittleEndian16(p, kBmpSignature);
  gif::PutLittleEndian32(p + 2, static_cast<std::uint32_t>(image.size()));
  gif::PutLittleEndian32(p + 10, static_cast<std::uint32_t>(pixel_offset));
  const win::BITMAPINFOHEADER& header = info_.header;
  std::uint8_t* h = p + kFileHeaderSize;
  gif::PutLittleEndian32(h + 0, header.biSize);
  gif::PutLittleEndian32(h + 4, static_cast<std::uint32_t>(header.biWidth));
  gif::PutLittleEndian32(h + 8, static_cast<std::uint32_t>(header.biHeight));
  gif::PutLittleEndian16(h + 12, header.biPlanes);
  gif::PutLittleEndian16(h + 14, header.biBitCount);
  gif::PutLittleEndian32(h + 16, header.biCompression);
  gif::PutLittleEndian32(h + 32, header.biClrUsed);
  gif::PutLittleEndian32(h + 36, header.biClrImportant);
  for (std::size_t i = 0; i < table / kQuadSize; ++i) {
    std::uint8_t* quad = h + kInfoHeaderSize + i * kQuadSize;
    quad[0] = info_.colors[i].rgbBlue;
    quad[1] = info_.colors[i].rgbGreen;
    quad[2] = info_.colors[i].rgbRed;
  }
  win::GdiFlush();
  std::memcpy(p + pixel_offset, bits_, pixels);
  return image;
}

void TDIBWriter::UpdateBitmap() {
  if (!section_) return;
  // The section's layout is known here: the bitmap need not ask the platform for it.
  const win::BITMAPINFOHEADER& header = info_.header;
  bmp::Image layout = bmp::MakeLayout(header.biWidth, header.biHeight, header.biBitCount, bmp::RowOrder::BottomUp);
  if (header.biBitCount == 8) {
    layout.colors.reserve(gif::kMaxColors);
    for (const win::RGBQUAD& quad : info_.colors)
      layout.colors.push_back(bmp::Quad{quad.rgbBlue, quad.rgbGreen, quad.rgbRed, 0});
  }
  // From here the bitmap owns the section; while it raises, the section is still ours.
  Bitmap->AdoptSection(section_.Get(), layout, bits_);
  section_.Detach();
  bits_ = nullptr;
}

}  // namespace dashtune
