// The GIF encoders: the writer that cuts image data into sub-blocks, the LZW compressor with its
// hashed string table, and the run-length encoder that writes a code stream of literals and run
// codes only. Frames call CompressFrame when a picture is saved.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "classlib/streams.h"
#include "components/imaging/gif/gif_format.h"

namespace dashtune {

class TGIFSubImage;

// A write-only stream over a target stream; reading and seeking raise "Invalid stream operation".
class TGIFStream : public TStream {
 public:
  explicit TGIFStream(TStream* Stream) : stream_(Stream) {}  // Stream: not owned, outlives this
  int Read(void* Buffer, int Count) override;
  int Write(const void* Buffer, int Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;

 protected:
  TStream* stream_;
};

// Cuts what is written into data sub-blocks of at most 255 bytes. The last, partly filled
// sub-block is written by Flush or when the writer goes.
class TGIFWriter : public TGIFStream {
 public:
  using TGIFStream::TGIFStream;
  ~TGIFWriter() override;
  int Write(const void* Buffer, int Count) override;
  void WriteByte(std::uint8_t Value) {
    buffer_[fill_++] = Value;
    if (fill_ == buffer_.size()) Flush();
  }
  // Four bytes, lowest first.
  void WriteWord(std::uint32_t Value) {
    if (fill_ + 4 > buffer_.size()) {
      for (int shift = 0; shift < 32; shift += 8) WriteByte(static_cast<std::uint8_t>(Value >> shift));
      return;
    }
    for (int shift = 0; shift < 32; shift += 8) buffer_[fill_++] = static_cast<std::uint8_t>(Value >> shift);
    if (fill_ == buffer_.size()) Flush();
  }
  void Flush();

 private:
  // Byte 0 is the size byte of the sub-block being filled.
  std::array<std::uint8_t, gif::kMaxSubBlockSize + 1> buffer_{};
  std::size_t fill_ = 1;
};

// Strings of the LZW encoder: key (prefix code << 8 | pixel, 20 bits) to code, open addressing over
// a prime number of slots.
class THashTable {
 public:
  static constexpr std::size_t kSlots = 8009;
  THashTable() { Clear(); }
  void Clear();
  // Key must not be present; the table holds fewer than kSlots keys.
  void Insert(std::uint32_t Key, int Code) {
    std::size_t slot = HomeSlot(Key);
    while (slots_[slot] != kEmpty) slot = NextSlot(slot);
    InsertAt(slot, Key, Code);
  }
  // The key's code, or -1.
  int Lookup(std::uint32_t Key) const {
    std::size_t slot = 0;
    return Find(Key, slot);
  }
  // The key's code, or -1 with `Slot` set to the free slot where the key would go, so that a
  // miss is inserted without probing again.
  int Find(std::uint32_t Key, std::size_t& Slot) const {
    for (Slot = HomeSlot(Key); slots_[Slot] != kEmpty; Slot = NextSlot(Slot))
      if (slots_[Slot] >> kCodeBits == Key) return static_cast<int>(slots_[Slot] & kCodeMask);
    return -1;
  }
  // Slot: as Find answered for the key.
  void InsertAt(std::size_t Slot, std::uint32_t Key, int Code) {
    slots_[Slot] = Key << kCodeBits | static_cast<std::uint32_t>(Code);
  }
  static std::size_t HomeSlot(std::uint32_t Key) { return ((Key >> 4) ^ Key) % kSlots; }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;
  static constexpr int kCodeBits = 12;
  static constexpr std::uint32_t kCodeMask = (1u << kCodeBits) - 1;
  // Every slot is reached, so inserts and lookups end however the keys collide.
  static std::size_t NextSlot(std::size_t Slot) { return Slot + 1 == kSlots ? 0 : Slot + 1; }
  std::array<std::uint32_t, kSlots> slots_;
};

// The state shared by both encoders: codes packed into bytes, the pixel walk (in interlace order
// when asked) and the framing of the image data.
class TGIFEncoder : public TObject {
 public:
  // Writes the minimum code size, the codes in sub-blocks and the terminator. A pixel not below
  // Colors raises "Color not in color table".
  void Encode(TStream* Stream, int BitsPerPixel, int Colors, const std::uint8_t* Pixels, bool Interlaced,
              int Height, int Width);

 protected:
  virtual void Output(int Code);
  virtual void Clear();
  virtual void Compress() = 0;

  // The next pixel in writing order, checked against the colour count; false after the last.
  bool NextPixel(int& Pixel);
  // The pixels of the current row not taken yet (all pixels of a frame that is not interlaced),
  // unchecked, taken at once; false after the last.
  bool NextRun(const std::uint8_t*& Run, std::size_t& Count);
  // Adds the code to the bit stream at the current code size; the end code also writes out the
  // last bits.
  void Pack(int Code) {
    accumulator_ |= static_cast<std::uint64_t>(Code) << bit_count_;
    bit_count_ += code_size_;
    if (bit_count_ >= kWordBits) {
      writer_->WriteWord(static_cast<std::uint32_t>(accumulator_));
      accumulator_ >>= kWordBits;
      bit_count_ -= kWordBits;
    }
    if (Code == end_code_) FlushBits();
  }

  int colors_ = 0;
  int code_size_ = 0;
  int initial_code_size_ = 0;
  int max_code_ = 0;
  int clear_code_ = 0;
  int end_code_ = 0;
  int first_free_code_ = 0;
  bool clear_flag_ = false;

 private:
  static constexpr int kWordBits = 32;
  void AdvanceRow();
  void FlushBits();

  TGIFWriter* writer_ = nullptr;
  std::uint64_t accumulator_ = 0;  // fewer than kWordBits bits between codes
  int bit_count_ = 0;
  const std::uint8_t* pixels_ = nullptr;
  const std::uint8_t* pixel_ = nullptr;
  std::size_t pixels_left_ = 0;
  int width_ = 0;
  int height_ = 0;
  bool interlaced_ = false;
  int row_ = 0;
  int pass_ = 0;
};

class TLZWEncoder : public TGIFEncoder {
 protected:
  void Output(int Code) override { Emit(Code); }
  void Clear() override;
  void Compress() override;

 private:
  // Packs the code, then widens the codes when the next free code needs it, or narrows them
  // again after a clear.
  void Emit(int Code) {
    Pack(Code);
    if (clear_flag_) {
      code_size_ = initial_code_size_;
      max_code_ = (1 << code_size_) - 1;
      clear_flag_ = false;
    } else if (next_free_code_ > max_code_) {
      ++code_size_;
      max_code_ = code_size_ >= gif::kMaxCodeBits ? gif::kTableSize : (1 << code_size_) - 1;
    }
  }

  std::unique_ptr<THashTable> table_;
  int next_free_code_ = 0;
};

// Writes runs of one pixel value as codes the decoder's table would give them, without a table of
// its own; a clear comes before the decoder's table would need wider codes than it tracks.
class TRLEEncoder : public TGIFEncoder {
 protected:
  void Clear() override;
  void Compress() override;

 private:
  void PlainOutput(int Code);
  void Flush(int Count);
  void FlushFromClear(int Count);
  void FlushClearOrRepeat(int Count);
  void FlushWithTable(int Count);
  void ResetClearLimit();

  int bump_start_ = 0;
  int clear_start_ = 0;
  int most_codes_ = 0;
  int next_bump_ = 0;
  int clear_limit_ = 0;
  int codes_out_ = 0;
  int table_run_length_ = 0;
  int table_pixel_ = -1;
  int pixel_ = -1;
};

namespace gif {

// Codes needed to write a run of Count pixels from a cleared table, at most MaxCodes per clear.
int TriangleCost(int Count, int MaxCodes);
// The integer square root (Newton's iteration).
int IntegerSquareRoot(int Value);

// Writes the frame's image data with the encoder its picture's Compression chooses.
void CompressFrame(TGIFSubImage* Frame, TStream* Stream);

}  // namespace gif
}  // namespace dashtune
