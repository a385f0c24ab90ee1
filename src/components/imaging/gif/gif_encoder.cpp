// The GIF encoders: sub-block writer, LZW with a hashed string table, and run-length coding.
#include "components/imaging/gif/gif_encoder.h"

#include <algorithm>

#include "components/imaging/gif/gif_blocks.h"
#include "components/imaging/gif/gif_picture.h"

namespace dashtune {
namespace {

constexpr std::uint8_t kCompressionRLE = 1;
// The LZW encoder clears its table before the decoder's would pass 4095 entries.
constexpr int kLZWLastFreeCode = gif::kTableSize - 1;
constexpr int kBitsPerByte = 8;

[[noreturn]] void RaiseInvalidStreamOperation() { throw Exception(std::string(gif::sInvalidStreamOperation)); }

}  // namespace

// ---- Streams ----

int TGIFStream::Read(void*, int) { RaiseInvalidStreamOperation(); }
int TGIFStream::Write(const void*, int) { RaiseInvalidStreamOperation(); }
std::int64_t TGIFStream::Seek(std::int64_t, TSeekOrigin) { RaiseInvalidStreamOperation(); }

TGIFWriter::~TGIFWriter() {
  try {
    Flush();
  } catch (...) {
    // A target that fails here has already failed a write the caller saw.
  }
}

int TGIFWriter::Write(const void* Buffer, int Count) {
  const auto* bytes = static_cast<const std::uint8_t*>(Buffer);
  for (int i = 0; i < Count; ++i) WriteByte(bytes[i]);
  return std::max(Count, 0);
}

void TGIFWriter::Flush() {
  if (fill_ == 1) return;
  buffer_[0] = static_cast<std::uint8_t>(fill_ - 1);
  const std::size_t size = fill_;
  fill_ = 1;
  stream_->WriteBuffer(buffer_.data(), static_cast<int>(size));
}

// ---- Hash table ----

void THashTable::Clear() { slots_.fill(kEmpty); }

// ---- Base encoder ----

void TGIFEncoder::Encode(TStream* Stream, int BitsPerPixel, int Colors, const std::uint8_t* Pixels,
                         bool Interlaced, int Height, int Width) {
  const int bits = std::clamp(BitsPerPixel, 2, kBitsPerByte);
  gif::WriteByte(Stream, static_cast<std::uint8_t>(bits));
  colors_ = Colors;
  initial_code_size_ = bits + 1;
  code_size_ = initial_code_size_;
  max_code_ = (1 << code_size_) - 1;
  clear_code_ = 1 << bits;
  end_code_ = clear_code_ + 1;
  first_free_code_ = clear_code_ + 2;
  accumulator_ = 0;
  bit_count_ = 0;
  width_ = std::max(Width, 0);
  height_ = std::max(Height, 0);
  interlaced_ = Interlaced;
  pixels_ = Pixels;
  pixel_ = Pixels;
  pixels_left_ = interlaced_ ? static_cast<std::size_t>(width_)
                             : static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  row_ = 0;
  pass_ = 0;
  TGIFWriter writer(Stream);
  writer_ = &writer;
  if (Pixels != nullptr && width_ > 0 && height_ > 0) Compress();
  Output(end_code_);
  writer.Flush();
  writer_ = nullptr;
  gif::WriteByte(Stream, gif::kBlockTerminator);
}

bool TGIFEncoder::NextRun(const std::uint8_t*& Run, std::size_t& Count) {
  if (pixels_left_ == 0) {
    AdvanceRow();
    if (pixels_left_ == 0) return false;
  }
  Run = pixel_;
  Count = pixels_left_;
  pixel_ += pixels_left_;
  pixels_left_ = 0;
  return true;
}

bool TGIFEncoder::NextPixel(int& Pixel) {
  if (pixels_left_ == 0) {
    AdvanceRow();
    if (pixels_left_ == 0) return false;
  }
  --pixels_left_;
  Pixel = *pixel_++;
  if (Pixel >= colors_) gif::RaiseGIFError(gif::sColorNotInTable);
  return true;
}

// Interlaced frames go on with the next row of the decoder's pass order; a pass whose first row
// lies past the height is skipped, so short frames keep every row.
void TGIFEncoder::AdvanceRow() {
  if (!interlaced_ || pass_ >= static_cast<int>(gif::kInterlaceStart.size())) return;
  row_ += gif::kInterlaceStep[pass_];
  while (row_ >= height_) {
    if (++pass_ >= static_cast<int>(gif::kInterlaceStart.size())) return;
    row_ = gif::kInterlaceStart[pass_];
  }
  pixel_ = pixels_ + static_cast<std::size_t>(row_) * static_cast<std::size_t>(width_);
  pixels_left_ = static_cast<std::size_t>(width_);
}

void TGIFEncoder::Output(int Code) { Pack(Code); }

void TGIFEncoder::FlushBits() {
  for (; bit_count_ > 0; bit_count_ -= kBitsPerByte) {
    writer_->WriteByte(static_cast<std::uint8_t>(accumulator_));
    accumulator_ >>= kBitsPerByte;
  }
  accumulator_ = 0;
  bit_count_ = 0;
}

void TGIFEncoder::Clear() {
  clear_flag_ = true;
  Output(clear_code_);
}

// ---- LZW ----

void TLZWEncoder::Clear() {
  TGIFEncoder::Clear();
  table_->Clear();
  next_free_code_ = first_free_code_;
}

// Rows are taken whole and each pixel is checked as the string reaches it.
void TLZWEncoder::Compress() {
  table_ = std::make_unique<THashTable>();
  THashTable& table = *table_;
  Clear();
  int prefix = -1;
  const std::uint8_t* run = nullptr;
  std::size_t count = 0;
  while (NextRun(run, count)) {
    for (const std::uint8_t* const end = run + count; run != end; ++run) {
      const int pixel = *run;
      if (pixel >= colors_) gif::RaiseGIFError(gif::sColorNotInTable);
      if (prefix < 0) {
        prefix = pixel;
        continue;
      }
      const std::uint32_t key = static_cast<std::uint32_t>(prefix) << kBitsPerByte | static_cast<std::uint32_t>(pixel);
      std::size_t slot = 0;
      const int code = table.Find(key, slot);
      if (code >= 0) {
        prefix = code;
        continue;
      }
      Emit(prefix);
      prefix = pixel;
      if (next_free_code_ >= kLZWLastFreeCode) {
        Clear();
      } else {
        table.InsertAt(slot, key, next_free_code_++);
      }
    }
  }
  if (prefix >= 0) Emit(prefix);
  table_.reset();
}

// ---- Run-length coding ----
// Code first_free_code_ + n - 2 is, right after a clear, the decoder's entry for a run of n
// pixels of the value written first, as long as the runs written since grow by one each time.

void TRLEEncoder::Clear() {
  next_bump_ = bump_start_;
  clear_limit_ = clear_start_;
  codes_out_ = 0;
  table_run_length_ = 0;
  TGIFEncoder::Clear();
  code_size_ = initial_code_size_;
}

void TRLEEncoder::PlainOutput(int Code) {
  clear_flag_ = false;
  Output(Code);
  ++codes_out_;
  if (codes_out_ >= next_bump_) {
    ++code_size_;
    next_bump_ += 1 << (code_size_ - 1);
  }
  if (codes_out_ >= clear_limit_) Clear();
}

void TRLEEncoder::Compress() {
  bump_start_ = clear_code_ - 1;
  clear_start_ = initial_code_size_ - 1 > 3 ? bump_start_ - 1 : 9;
  most_codes_ = kLZWLastFreeCode - first_free_code_;
  Clear();
  pixel_ = -1;
  int run = 0;
  for (int pixel = 0; NextPixel(pixel);) {
    if (run > 0 && pixel != pixel_) {
      Flush(run);
      run = 0;
    }
    if (pixel != pixel_) {
      pixel_ = pixel;
      run = 1;
    } else {
      ++run;
    }
  }
  if (run > 0) Flush(run);
}

void TRLEEncoder::Flush(int Count) {
  if (Count == 1) {
    PlainOutput(pixel_);
  } else if (clear_flag_) {
    FlushFromClear(Count);
  } else if (table_run_length_ < 2 || table_pixel_ != pixel_) {
    FlushClearOrRepeat(Count);
  } else {
    FlushWithTable(Count);
  }
}

void TRLEEncoder::FlushFromClear(int Count) {
  clear_limit_ = most_codes_;
  table_pixel_ = pixel_;
  int step = 1;
  while (Count > 0) {
    if (step == 1) {
      table_run_length_ = 1;
      PlainOutput(pixel_);
      --Count;
    } else if (Count >= step) {
      table_run_length_ = step;
      PlainOutput(first_free_code_ + step - 2);
      Count -= step;
    } else {
      ++table_run_length_;
      PlainOutput(Count == 1 ? pixel_ : first_free_code_ + Count - 2);
      Count = 0;
    }
    step = codes_out_ == 0 ? 1 : step + 1;
  }
  ResetClearLimit();
}

void TRLEEncoder::ResetClearLimit() {
  clear_limit_ = clear_start_;
  if (codes_out_ >= clear_limit_) Clear();
}

void TRLEEncoder::FlushClearOrRepeat(int Count) {
  if (1 + gif::TriangleCost(Count, most_codes_) < Count) {
    Clear();
    FlushFromClear(Count);
    return;
  }
  for (; Count > 0; --Count) PlainOutput(pixel_);
}

void TRLEEncoder::FlushWithTable(int Count) {
  int repeats = Count / table_run_length_;
  int leftover = Count % table_run_length_;
  int extra = leftover != 0 ? 1 : 0;
  if (codes_out_ + repeats + extra > most_codes_) {
    repeats = most_codes_ - codes_out_;
    leftover = Count - repeats * table_run_length_;
    extra = 1 + gif::TriangleCost(leftover, most_codes_);
  }
  if (1 + gif::TriangleCost(Count, most_codes_) < repeats + extra) {
    Clear();
    FlushFromClear(Count);
    return;
  }
  clear_limit_ = most_codes_;
  for (; repeats > 0; --repeats) PlainOutput(first_free_code_ + table_run_length_ - 2);
  if (leftover > 0) {
    if (clear_flag_) {
      FlushFromClear(leftover);
    } else {
      PlainOutput(leftover == 1 ? pixel_ : first_free_code_ + leftover - 2);
    }
  }
  ResetClearLimit();
}

namespace gif {

int IntegerSquareRoot(int Value) {
  if (Value < 2) return std::max(Value, 0);
  int root = 1;
  for (int v = Value; v != 0; v >>= 2) root <<= 1;
  for (;;) {
    const int next = (Value / root + root) / 2;
    if (next == root || next == root + 1) return root;
    root = next;
  }
}

int TriangleCost(int Count, int MaxCodes) {
  // A run of n codes from a clear covers 1 + 2 + ... + n pixels.
  const std::int64_t per_clear = static_cast<std::int64_t>(MaxCodes) * (MaxCodes + 1) / 2;
  std::int64_t left = Count;
  int cost = 0;
  while (left >= per_clear && per_clear > 0) {
    cost += MaxCodes;
    left -= per_clear;
  }
  if (left > 0) {
    std::int64_t n = IntegerSquareRoot(static_cast<int>(left));
    while (n * (n + 1) >= 2 * left) --n;
    while (n * (n + 1) < 2 * left) ++n;
    cost += static_cast<int>(n);
  }
  return cost;
}

void CompressFrame(TGIFSubImage* Frame, TStream* Stream) {
  TGIFPicture* picture = Frame->GetImage();
  int bits = Frame->GetActiveColorMap()->BitsPerPixel();
  int colors = Frame->GetActiveColorMap()->GetCount();
  if (Frame->GetColorMap()->GetCount() == 0 && picture != nullptr) {
    bits = picture->GetHeader()->GetBitsPerPixel();
    colors = 1 << bits;
  }
  std::unique_ptr<TGIFEncoder> encoder;
  if (picture != nullptr && picture->GetCompression() == kCompressionRLE) {
    encoder = std::make_unique<TRLEEncoder>();
  } else {
    encoder = std::make_unique<TLZWEncoder>();
  }
  encoder->Encode(Stream, bits, colors, Frame->GetData().data(), Frame->GetInterlaced(), Frame->GetHeight(),
                  Frame->GetWidth());
}

}  // namespace gif
}  // namespace dashtune
