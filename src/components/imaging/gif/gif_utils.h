// The GIF codec's utilities: its exception and message texts, the stream byte and sub-block
// routines, row-size arithmetic, the 216-colour web palette, the size limits of decoded images,
// and the row accessors TDIBReader and TDIBWriter over the class library's bitmaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/bitmap.h"
#include "classlib/streams.h"
#include "classlib/strings.h"
#include "components/imaging/gif/gif_format.h"
#include "platform/gdi/gdi_types.h"
#include "platform/gdi/scoped_gdi.h"

namespace dashtune {

// Every failure of the GIF codec (except running out of memory) is a GIFException.
class GIFException : public EInvalidGraphic {
 public:
  using EInvalidGraphic::EInvalidGraphic;
};

namespace gif {

// The codec's message texts.
inline constexpr std::string_view sPrematureEndOfData = "Premature end of data";
inline constexpr std::string_view sInvalidSignature = "Invalid GIF signature";
inline constexpr std::string_view sUnsupportedVersion = "Unsupported GIF version";
inline constexpr std::string_view sInvalidScreenColors = "Invalid number of colors specified in Screen Descriptor";
inline constexpr std::string_view sInvalidImageColors = "Invalid number of colors specified in Image Descriptor";
inline constexpr std::string_view sUnknownBlockType = "Unknown GIF block type";
inline constexpr std::string_view sInvalidExtensionIntroducer = "Invalid extension introducer";
inline constexpr std::string_view sUnknownExtensionType = "Unknown extension type";
inline constexpr std::string_view sExtensionLabelMismatch =
    "Internal error: Extension Instance does not match Extension Label";
inline constexpr std::string_view sUnsupportedAppBlockSize = "Unsupported Application Extension block size";
inline constexpr std::string_view sInvalidData = "Invalid GIF data";
inline constexpr std::string_view sInvalidTrailer = "Invalid Image trailer";
inline constexpr std::string_view sColorTableOverflow = "Color table overflow";
inline constexpr std::string_view sInvalidColorIndex = "Invalid color index";
inline constexpr std::string_view sColorTableEmpty = "Color table is empty";
inline constexpr std::string_view sBitBufferUnderrun = "Decoder bit buffer under-run";
inline constexpr std::string_view sCircularTableEntry = "Circular decoder table entry";
inline constexpr std::string_view sImageExceedsScreen = "Image exceeds Logical Screen size";
inline constexpr std::string_view sWidthTooSmall = "Image width too small for contained frames";
inline constexpr std::string_view sHeightTooSmall = "Image height too small for contained frames";
inline constexpr std::string_view sInvalidPixelCoordinates = "Invalid pixel coordinates";
inline constexpr std::string_view sImageEmpty = "Image is empty";
inline constexpr std::string_view sUnsupportedPixelFormat = "Unsupported PixelFormat";
inline constexpr std::string_view sInvalidImageDimensions = "Invalid image dimensions";
inline constexpr std::string_view sNoDIB = "Image has no DIB";
inline constexpr std::string_view sOutOfMemoryDIB = "Failed to allocate memory for GIF DIB";
inline constexpr std::string_view sUnsupportedObject = "Object type not supported for operation";
inline constexpr std::string_view sNoColorTable = "No global or local color table defined";
inline constexpr std::string_view sClipboardStoreFailed = "Failed to store GIF on clipboard";
inline constexpr std::string_view sColorNotInTable = "Color not in color table";
inline constexpr std::string_view sInvalidStreamOperation = "Invalid stream operation";
inline constexpr std::string_view sInvalidReductionMethod = "Invalid reduction method";
// Progress messages.
inline constexpr std::string_view sProgressLoading = "Loading...";
inline constexpr std::string_view sProgressSaving = "Saving...";
inline constexpr std::string_view sProgressRendering = "Rendering...";
inline constexpr std::string_view sProgressCopying = "Copying...";
inline constexpr std::string_view sProgressConverting = "Converting...";
inline constexpr std::string_view sProgressOptimizing = "Optimizing...";

// Severity of the codec's warnings.
inline constexpr int kWarningSeverity = 1;

[[noreturn]] void RaiseGIFError(std::string_view text);

// The largest image the codec decodes or builds (the PNG codec's limit), and the most that all
// frames of one picture may hold together. Larger asks raise EOutOfMemory with sOutOfMemoryDIB.
inline constexpr std::uint64_t kMaxImagePixels = std::uint64_t{64} << 20;
inline constexpr std::uint64_t kMaxPicturePixels = 4 * kMaxImagePixels;
// Width x height without overflow, checked against kMaxImagePixels.
std::size_t CheckedPixelCount(std::uint64_t width, std::uint64_t height);

// ---- Stream routines ----
void WriteByte(TStream* Stream, std::uint8_t Value);
// 0 when nothing can be read.
std::uint8_t ReadByte(TStream* Stream);
// One byte, or false at the end of the stream.
bool TryReadByte(TStream* Stream, std::uint8_t& Value);
// Exactly Size bytes; fewer raise sPrematureEndOfData.
void ReadCheck(TStream* Stream, void* Buffer, std::size_t Size);
// As many of Size bytes as the stream holds.
std::size_t ReadUpTo(TStream* Stream, void* Buffer, std::size_t Size);
// Skips Count bytes (fewer when the stream ends first); answers how many were skipped.
std::size_t SkipBytes(TStream* Stream, std::size_t Count);
// Skips data sub-blocks through the zero size byte (or to the end of the stream).
void SkipSubBlocks(TStream* Stream);
// Each line as sub-blocks of at most 255 bytes (an empty line writes nothing), then a 0.
void WriteStrings(TStream* Stream, const TStrings* Strings);
// Clears the list; each sub-block until a 0 (or the end of the stream) becomes one line, zero
// bytes included.
void ReadStrings(TStream* Stream, TStrings* Strings);
// True when the lines hold no byte at all (WriteStrings would write only the terminator).
bool StringsEmpty(const TStrings* Strings);
std::uint16_t LittleEndian16(const std::uint8_t* p);
std::uint32_t LittleEndian32(const std::uint8_t* p);
void PutLittleEndian16(std::uint8_t* p, std::uint16_t value);
void PutLittleEndian32(std::uint8_t* p, std::uint32_t value);

// ---- Arithmetic and system results ----
// ((Pixels x Bits + Alignment - 1) and not (Alignment - 1)) div 8.
std::size_t BytesPerScanline(std::size_t Pixels, std::size_t BitsPerPixel, std::size_t Alignment);
// 0 for 0; 1 for 1 or 2; else the smallest n >= 2 with 2^n >= Colors.
int ColorsToBitsPerPixel(int Colors);
// Answers Value when it is not 0/null; otherwise raises EOutOfResources with the system's text of
// the last error (or the class library's "Systemressourcen erschöpft.").
template <class T>
T CheckWin32Result(T Value);
[[noreturn]] void RaiseLastWin32Error();

// ---- Palettes ----
// 216 entries: entry 36 r + 6 g + b is (51 r, 51 g, 51 b), flags 0. The caller deletes it.
win::HPALETTE WebPalette();
// Up to 256 entries of a palette (none for a null palette).
std::vector<win::PALETTEENTRY> PaletteEntries(win::HPALETTE Palette);
// A palette of the entries (at least one entry); the caller deletes it.
win::HPALETTE MakePalette(const std::vector<win::PALETTEENTRY>& Entries);
// A copy of a palette (null for null).
win::HPALETTE CopyPalette(win::HPALETTE Palette);

TPixelFormat GetPixelFormat(TBitmap* Bitmap);
void SetPixelFormat(TBitmap* Bitmap, TPixelFormat PixelFormat);

}  // namespace gif

template <class T>
T gif::CheckWin32Result(T Value) {
  if (!Value) RaiseLastWin32Error();
  return Value;
}

// Row access to a bitmap in one pixel format.
class TDIB : public TObject {
 public:
  TDIB(TBitmap* ABitmap, TPixelFormat APixelFormat) : Bitmap(ABitmap), PixelFormat(APixelFormat) {}
  // The address of a row counted from the top.
  virtual std::uint8_t* Scanline(int Row) = 0;

  TBitmap* Bitmap;  // not owned
  TPixelFormat PixelFormat;
};

// Converts the bitmap to the format and reads its own rows.
class TDIBReader : public TDIB {
 public:
  TDIBReader(TBitmap* ABitmap, TPixelFormat APixelFormat);
  std::uint8_t* Scanline(int Row) override;
};

// Builds an 8- or 24-bit DIB section of its own and hands it to the bitmap when destroyed: the
// bitmap keeps the section, so the pixels are written once.
class TDIBWriter : public TDIB {
 public:
  // Palette: not owned; its entries (at most 256) become the colour table of an 8-bit DIB.
  TDIBWriter(TBitmap* ABitmap, TPixelFormat APixelFormat, int AWidth, int AHeight, win::HPALETTE APalette);
  ~TDIBWriter() override;
  std::uint8_t* Scanline(int Row) override;

  // The DIB as a BMP image: file header, info header (and colour table), pixels.
  std::vector<std::uint8_t> BmpImage();
  // Hands the DIB to the bitmap now (the destructor does so otherwise, but cannot pass on a
  // failure).
  void UpdateBitmap();

  win::HPALETTE Palette;
  int Height;
  int Width;

 private:
  void CreateDIB();
  void FreeDIB();

  // The header of the section and, for 8 bits, its 256 colours.
  struct Info {
    win::BITMAPINFOHEADER header{};
    win::RGBQUAD colors[gif::kMaxColors]{};
  };

  Info info_;
  win::ScopedGdiObject<win::HBITMAP> section_;  // null before CreateDIB and once handed over
  std::uint8_t* bits_ = nullptr;                 // the section's bottom-up rows
  std::size_t row_bytes_ = 0;
};

}  // namespace dashtune
