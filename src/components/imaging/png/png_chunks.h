// The chunks of a PNG picture: the chunk base class and its registry of chunk classes, the CRC,
// the chunk classes of the header, palette, transparency, gamma, physical size, time, text and
// image data, and the checked stream reads every chunk uses.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/streams.h"
#include "classlib/system.h"
#include "components/imaging/png/png_errors.h"
#include "components/imaging/png/png_format.h"
#include "platform/gdi/gdi.h"

namespace dashtune {

class TPNGPicture;
class TChunk;
class TChunkIHDR;

using TChunkClass = TClassOf<TChunk, TPNGPicture*>;

// One chunk of the file. Chunks of unregistered ancillary kinds keep their data and are written
// back unchanged.
class TChunk : public TObject {
 public:
  explicit TChunk(TPNGPicture* Owner) : TChunk(Owner, "") {}
  ~TChunk() override = default;
  TChunk(const TChunk&) = delete;
  TChunk& operator=(const TChunk&) = delete;

  // The chunk name a class stands for: its class name without "TChunk" ("IHDR" for TChunkIHDR,
  // "" for TChunk itself).
  static std::string NameOfClass(const TClass* cls);

  // Copies name, size and data of another chunk.
  virtual void Assign(const TChunk* Source);
  // Reads Size data bytes and the CRC that follows them; a CRC mismatch raises EPngInvalidCRC.
  virtual bool LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size);
  // Writes length, name, data and CRC.
  virtual bool SaveToStream(TStream* Stream);

  const std::string& GetName() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  TPNGPicture* GetOwner() const { return owner_; }
  std::uint8_t* GetData() { return data_.data(); }
  const std::uint8_t* GetData() const { return data_.data(); }
  std::uint32_t GetDataSize() const { return data_size_; }
  // Size n, contents kept up to the smaller size; the buffer is always one byte longer.
  void ResizeData(std::uint32_t n);
  // The owner's header chunk (EPNGHeaderNotPresent when the first chunk is not one).
  TChunkIHDR* Header() const;

 protected:
  TChunk(TPNGPicture* Owner, std::string_view name);
  // Raises EPngError "The chunks must be compatible to be assigned." unless Source is a T.
  template <class T>
  static const T* Compatible(const TChunk* Source) {
    const T* typed = dynamic_cast<const T*>(Source);
    if (typed == nullptr) png::RaiseError<EPngError>(png::EPNGCannotAssignChunkText);
    return typed;
  }
  // The CRC of name and data as the file stores it.
  std::uint32_t ComputeCrc() const;
  // The name as the file stores it: four bytes, zero-padded.
  std::array<char, 4> NameBytes() const;

 private:
  TPNGPicture* owner_;  // not owned; owns this chunk
  std::string name_;
  std::vector<std::uint8_t> data_;
  std::uint32_t data_size_ = 0;
};

// The DIB header and colour table the image buffers are described by.
struct TPngBitmapInfo {
  win::BITMAPINFOHEADER bmiHeader;
  std::array<win::RGBQUAD, 256> bmiColors;
  const win::BITMAPINFO* Info() const { return reinterpret_cast<const win::BITMAPINFO*>(this); }
  win::BITMAPINFO* Info() { return reinterpret_cast<win::BITMAPINFO*>(this); }
};

// The header: image size and format, and the image itself as a DIB section (rows bottom-up)
// with a separate alpha plane and a plane for the low bytes of 16-bit samples.
class TChunkIHDR : public TChunk {
 public:
  explicit TChunkIHDR(TPNGPicture* Owner);
  ~TChunkIHDR() override;

  void Assign(const TChunk* Source) override;
  bool LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) override;
  bool SaveToStream(TStream* Stream) override;

  // Builds every buffer for the current header fields (EPNGOutMemory when the platform refuses).
  void PrepareImageData();
  void FreeImageData();
  // A gray palette of 2^depth entries (256 for 16) through the owner's gamma table; the caller
  // owns it.
  win::HPALETTE CreateGrayscalePalette(int depth) const;
  // Bits per pixel of the DIB that holds the image.
  int DibBitCount() const;
  // The bit depth the image is written with: 2-bit images are held with 4 bits a pixel and
  // written so, while the header keeps the depth that was read.
  std::uint8_t WrittenBitDepth() const { return BitDepth == 2 ? 4 : BitDepth; }
  // Address of image row y (top = 0) in the DIB, the alpha planes and the low-byte plane.
  std::uint8_t* ImageRow(std::size_t y) const { return ImageData + BytesPerRow * (Height - 1 - y); }
  std::uint8_t* AlphaRow(std::size_t y) { return ImageAlpha.data() + std::size_t{Width} * y; }
  const std::uint8_t* AlphaRow(std::size_t y) const { return ImageAlpha.data() + std::size_t{Width} * y; }
  std::uint8_t* ExtraAlphaRow(std::size_t y) { return ExtraAlpha.data() + std::size_t{Width} * y; }
  const std::uint8_t* ExtraAlphaRow(std::size_t y) const { return ExtraAlpha.data() + std::size_t{Width} * y; }
  std::uint8_t* ExtraRow(std::size_t y) { return ExtraImageData.data() + BytesPerRow * (Height - 1 - y); }
  const std::uint8_t* ExtraRow(std::size_t y) const { return ExtraImageData.data() + BytesPerRow * (Height - 1 - y); }
  // Copies the palette's entries into the DIB colour table (entries past its count black),
  // selects it and keeps it, deleting the previous one; false (palette left with the caller)
  // when the image has no colour table.
  bool SetImagePalette(win::HPALETTE Palette);
  // Moves the image to a new size, keeping the overlap (used by the picture's resize).
  void ResizeImage(std::uint32_t NewWidth, std::uint32_t NewHeight);

  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
  std::uint8_t BitDepth = 0;
  std::uint8_t ColorType = 0;
  std::uint8_t CompressionMethod = 0;
  std::uint8_t FilterMethod = 0;
  std::uint8_t InterlaceMethod = 0;

  win::HBITMAP ImageHandle = nullptr;
  win::HDC ImageDC = nullptr;
  win::HPALETTE ImagePalette = nullptr;
  bool HasPalette = false;
  TPngBitmapInfo BitmapInfo{};
  std::uint8_t* ImageData = nullptr;  // the DIB section's pixels, owned by the section
  std::size_t BytesPerRow = 0;
  std::vector<std::uint8_t> ImageAlpha;       // top-down, Width bytes a row; colour types 4 and 6
  std::vector<std::uint8_t> ExtraImageData;   // like ImageData; bit depth 16
  // The low bytes of 16-bit alpha samples, laid out like ImageAlpha, so that saving writes back
  // every bit that was read.
  std::vector<std::uint8_t> ExtraAlpha;
  std::array<std::uint8_t, 256> GrayGamma{};  // the gamma table the gray levels were made with
  // Truecolour images with a tRNS colour read before the image data: 1 where the stored sample
  // (all 16 bits, before gamma) is that colour, in rows of KeyMaskRowBytes top-down, first pixel
  // in the high bit. Made while decoding, because the image holds the colours through the gamma
  // table; empty when not made or when the pixels or the colour changed since.
  std::vector<std::uint8_t> KeyMask;
  std::size_t KeyMaskRowBytes() const { return (std::size_t{Width} + 15) / 16 * 2; }

 private:
  void ValidateFields() const;
  void InstallColorTable();
  win::HGDIOBJ old_bitmap_ = nullptr;
  win::HPALETTE old_palette_ = nullptr;
  bool gave_canvas_handle_ = false;  // ImageDC is the owner's canvas handle
};

class TChunkPLTE : public TChunk {
 public:
  explicit TChunkPLTE(TPNGPicture* Owner) : TChunk(Owner, "PLTE") {}
  void Assign(const TChunk* Source) override;
  bool LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) override;
  bool SaveToStream(TStream* Stream) override;

  // Entry i of the header's DIB colour table (blue, green, red, reserved as one value); an
  // index not below Count raises EPngError.
  std::uint32_t Item(int i) const;
  int Count = 0;
};

class TChunktRNS : public TChunk {
 public:
  explicit TChunktRNS(TPNGPicture* Owner) : TChunk(Owner, "tRNS") { PaletteValues.fill(255); }
  void Assign(const TChunk* Source) override;
  bool LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) override;
  bool SaveToStream(TStream* Stream) override;

  // The single transparent colour as an RGB value (red in the low byte).
  std::uint32_t GetTransparentColor() const;
  void SetTransparentColor(std::uint32_t Value);
  // A truecolour key's six data bytes as saving writes them: each sample the way the image
  // data writes the samples it holds, through the gamma table and back.
  std::array<std::uint8_t, 6> WrittenTruecolorKey() const;

  bool BitTransparency = false;
  std::array<std::uint8_t, 256> PaletteValues{};
};

class TChunkgAMA : public TChunk {
 public:
  explicit TChunkgAMA(TPNGPicture* Owner);
  void Assign(const TChunk* Source) override;
  bool LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) override;

  // Gamma times 100000; a chunk of another size than 4 reads as 1 (and becomes that).
  std::uint32_t GetGamma();
  void SetGamma(std::uint32_t Value);
};

class TChunkpHYs : public TChunk {
 public:
  explicit TChunkpHYs(TPNGPicture* Owner) : TChunk(Owner, "pHYs") {}
  void Assign(const TChunk* Source) override;
  bool LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) override;
  bool SaveToStream(TStream* Stream) override;

  std::uint32_t PPUnitX = 0;
  std::uint32_t PPUnitY = 0;
  std::uint8_t UnitType = 0;
};

class TChunktIME : public TChunk {
 public:
  explicit TChunktIME(TPNGPicture* Owner) : TChunk(Owner, "tIME") {}
  void Assign(const TChunk* Source) override;
  bool LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) override;
  bool SaveToStream(TStream* Stream) override;

  std::uint16_t Year = 0;
  std::uint8_t Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

class TChunktEXt : public TChunk {
 public:
  explicit TChunktEXt(TPNGPicture* Owner) : TChunk(Owner, "tEXt") {}
  void Assign(const TChunk* Source) override;
  bool LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) override;
  bool SaveToStream(TStream* Stream) override;

  std::string Keyword;
  std::string Text;

 protected:
  TChunktEXt(TPNGPicture* Owner, std::string_view name) : TChunk(Owner, name) {}
  // Finds the keyword's zero separator; false (text dropped) when there is none.
  bool ReadKeyword(std::size_t* separator);
};

class TChunkzTXt : public TChunktEXt {
 public:
  explicit TChunkzTXt(TPNGPicture* Owner) : TChunktEXt(Owner, "zTXt") {}
  bool LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) override;
  bool SaveToStream(TStream* Stream) override;
};

class TChunkIEND : public TChunk {
 public:
  explicit TChunkIEND(TPNGPicture* Owner) : TChunk(Owner, "IEND") {}
};

// The image data: the zlib stream of filtered rows over one or more consecutive IDAT chunks.
// Loading decodes it into the header's buffers; saving encodes those buffers.
class TChunkIDAT : public TChunk {
 public:
  explicit TChunkIDAT(TPNGPicture* Owner) : TChunk(Owner, "IDAT") {}
  bool LoadFromStream(TStream* Stream, const std::string& ChunkName, std::uint32_t Size) override;
  bool SaveToStream(TStream* Stream) override;
};

// The picture's chunks in file order, header first; owns them.
class TPNGList {
 public:
  explicit TPNGList(TPNGPicture* Owner) : owner_(Owner) {}
  TPNGPicture* GetOwner() const { return owner_; }
  int GetCount() const { return static_cast<int>(items_.size()); }
  // nil for an index outside the list.
  TChunk* Item(int i) const;
  TChunk* Add(std::unique_ptr<TChunk> chunk);
  // Takes the last slot holding p out of the list and hands it over; nil when absent.
  std::unique_ptr<TChunk> Remove(TChunk* p);
  void Clear() { items_.clear(); }
  // The first chunk of the class or of a descendant, else nil.
  TChunk* ItemFromClass(const TClass* cls) const;
  template <class T>
  T* ItemFromClass() const {
    return static_cast<T*>(ItemFromClass(TClass::Of<T>()));
  }

 private:
  TPNGPicture* owner_;  // not owned
  std::vector<std::unique_ptr<TChunk>> items_;
};

namespace png {

// Images above this many pixels are refused before anything is allocated.
inline constexpr std::uint64_t kMaxPixels = std::uint64_t{64} << 20;
// Longest text an inflated zTXt chunk may have; longer ones are dropped.
inline constexpr std::size_t kMaxInflatedText = std::size_t{1} << 20;
inline constexpr std::array<std::uint8_t, 8> kSignature = {137, 80, 78, 71, 13, 10, 26, 10};

// The chunk-class registry.
void RegisterChunk(const TChunkClass& ChunkClass);
void RegisterCommonChunks();
void FreeChunkClassList();
// A chunk of the first registered class named Name, else a plain TChunk; its name is Name.
std::unique_ptr<TChunk> CreateChunkByName(TPNGPicture* Owner, const std::string& Name);
// Whether the chunk is of plain TChunk (no registered class knew its name).
bool IsUnknownChunk(const TChunk* chunk);

// The CRC-32 register run over count bytes (start with 0xFFFFFFFF, complement at the end).
std::uint32_t UpdateCrc(std::uint32_t crc, const void* buffer, std::size_t count);
// The PNG standard's predictor: left (a), above (b) or upper left (c), whichever is nearest to
// a + b - c; inline because the filters call it for every byte.
inline std::uint8_t PaethPredictor(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
  const int pa = b > c ? b - c : c - b;
  const int pb = a > c ? a - c : c - a;
  const int sum = int{a} + b - 2 * c;
  const int pc = sum < 0 ? -sum : sum;
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}
// Bytes of `pixels` pixels of a row; 0 for an unknown colour type.
std::size_t BytesForPixels(std::size_t pixels, int ColorType, int BitDepth);
// Bytes per complete pixel (the filter distance).
std::size_t FilterOffset(int ColorType, int BitDepth);
// Whether the PNG standard allows the colour type at the bit depth.
bool ValidColorTypeAndDepth(int ColorType, int BitDepth);

// Inflates a zlib stream; false (with zlib's message) on a failure or when the output would
// exceed max_output bytes.
bool DecompressZLIB(const std::uint8_t* input, std::size_t size, std::size_t max_output,
                    std::vector<std::uint8_t>* output, std::string* error_text);
// Deflates at the level; false with zlib's message on a failure.
bool CompressZLIB(const std::uint8_t* input, std::size_t size, int level, std::vector<std::uint8_t>* output,
                  std::string* error_text);

// Checked stream reads: a short read raises EPngUnexpectedEnd.
void ReadExact(TStream* stream, void* buffer, std::size_t count);
std::uint32_t ReadBigEndian32(TStream* stream);
// Refuses (EPngUnexpectedEnd) a chunk length above 2^31-1 or one whose data and CRC do not fit
// in what the stream has left.
void CheckChunkLength(TStream* stream, std::uint32_t length);
// Moves the stream forward by count bytes (reading them when it cannot seek).
void SkipBytes(TStream* stream, std::uint64_t count);
void WriteBigEndian32(TStream* stream, std::uint32_t value);
// Writes one chunk record: length, name, data and the CRC over name and data.
void WriteChunk(TStream* stream, const std::array<char, 4>& name, const std::uint8_t* data, std::size_t size);
inline std::uint32_t BigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
inline void PutBigEndian32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

}  // namespace png
}  // namespace dashtune
