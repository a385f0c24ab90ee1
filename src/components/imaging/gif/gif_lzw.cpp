// The LZW decoder of a frame's image data: variable-length codes read from data sub-blocks, string
// tables of 4096 entries, a pixel stack, and rows filled in order or in the four interlace passes.
#include <algorithm>
#include <array>

#include "components/imaging/gif/gif_blocks.h"

namespace dashtune {
namespace {

constexpr int kNoData = -1;   // the data ended before the code was complete
constexpr int kEndCode = -2;  // the end code (or a code that cannot start a string)
// A string is at most one entry per table slot long; a longer prefix chain is a cycle.
constexpr int kStackSize = 2 * gif::kTableSize;
// The bit buffer takes whole bytes while it holds at most this many bits.
constexpr int kRefillBits = 64 - 8;

// Decodes strings straight into the frame's rows. While every code so far named an entry of the
// table or the one being made, each entry's prefix lies before it, so the table keeps each
// string's length and a string is written back to front where it belongs. A code past that
// (hostile data) makes the table's chains change meaning as entries are made; from there to the
// next clear code, strings are walked onto a stack with every chain checked for cycles.
class LzwDecoder {
 public:
  LzwDecoder(TStream* stream, TGIFSubImage* frame, int data_size)
      : stream_(stream),
        frame_(frame),
        data_size_(data_size),
        clear_code_(1 << data_size),
        end_code_(clear_code_ + 1) {
    // The literals, the clear code and the end code never change; entries above them are made
    // before they are read, or read as empty (see PrefixOf).
    for (int i = 0; i <= end_code_; ++i) {
      prefix_[static_cast<std::size_t>(i)] = 0;
      suffix_[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(i < clear_code_ ? i : 0);
      length_[static_cast<std::size_t>(i)] = 1;
    }
  }

  // Fills `count` pixels; false when the data stopped first (the rest keeps its fill value).
  bool Fill(std::uint8_t* out, std::size_t count) {
    std::size_t i = 0;
    while (i < count) {
      if (stack_pointer_ > 0) {
        // The rest of a string that did not fit where it began.
        const std::size_t n = std::min(static_cast<std::size_t>(stack_pointer_), count - i);
        const std::uint16_t* top = stack_.data() + stack_pointer_;  // local: pixel stores may alias members
        for (std::size_t k = 0; k < n; ++k) out[i + k] = static_cast<std::uint8_t>(*--top);
        stack_pointer_ -= static_cast<int>(n);
        i += n;
        continue;
      }
      i += PlainStrings(out + i, count - i);
      if (i == count) break;
      const int written = NextString(out + i, count - i);
      if (written < 0) return false;
      i += static_cast<std::size_t>(written);
    }
    return true;
  }

  // True once the zero-size sub-block that ends the data has been read.
  bool ZeroBlockRead() const { return zero_block_; }

 private:
  // Reads the next sub-block into the block buffer; false when the stream holds no size byte.
  bool NextSubBlock() {
    std::uint8_t size = 0;
    if (!gif::TryReadByte(stream_, size)) return false;
    if (size == 0) {
      zero_block_ = true;
      return true;
    }
    const std::size_t got = gif::ReadUpTo(stream_, block_.data(), size);
    if (got < size) frame_->Warning(gif::kWarningSeverity, std::string(gif::sPrematureEndOfData));
    block_length_ = got;
    block_position_ = 0;
    return true;
  }

  // Makes the bit buffer hold at least `bits` bits, taking whole bytes of the current sub-block
  // and the next sub-block only when this one is used up; false when the data ends first.
  bool Refill(int bits) {
    for (;;) {
      while (bit_count_ <= kRefillBits && block_position_ < block_length_) {
        bit_buffer_ |= std::uint64_t{block_[block_position_++]} << bit_count_;
        bit_count_ += 8;
      }
      if (bit_count_ >= bits) return true;
      if (zero_block_) {
        if (!underrun_warned_) frame_->Warning(gif::kWarningSeverity, std::string(gif::sBitBufferUnderrun));
        underrun_warned_ = true;
        return false;
      }
      if (!NextSubBlock()) return false;
      if (!zero_block_ && block_length_ == 0) return false;
    }
  }

  // The next code of `bits` bits, taken across as many sub-blocks as it needs.
  int NextCode(int bits) {
    if (first_call_) {
      first_call_ = false;
      return clear_code_;
    }
    if (bit_count_ < bits && !Refill(bits)) return kNoData;
    const int code = static_cast<int>(bit_buffer_ & ((std::uint64_t{1} << bits) - 1));
    bit_buffer_ >>= bits;
    bit_count_ -= bits;
    return code;
  }

  // Empties the table: the entries from max_code_ up read as empty from now on.
  void ResetTable() {
    code_size_ = data_size_ + 1;
    max_code_size_ = 2 * clear_code_;
    max_code_ = clear_code_ + 2;
    stack_pointer_ = 0;
    lengths_known_ = true;
  }

  // Makes the next table entry, widening the codes when it fills the current width.
  void AddEntry(int prefix, int suffix) { AddEntryTo(prefix, suffix, max_code_, max_code_size_, code_size_); }

  // The same on counters the caller holds, so that PlainStrings can keep them in locals.
  void AddEntryTo(int prefix, int suffix, int& max_code, int& max_code_size, int& code_size) {
    if (max_code >= gif::kTableSize) return;
    const auto entry = static_cast<std::size_t>(max_code);
    prefix_[entry] = static_cast<std::uint16_t>(prefix);
    suffix_[entry] = static_cast<std::uint16_t>(suffix);
    length_[entry] = static_cast<std::uint16_t>(length_[static_cast<std::size_t>(prefix)] + 1);
    ++max_code;
    if (max_code >= max_code_size && max_code_size < gif::kTableSize) {
      max_code_size *= 2;
      ++code_size;
    }
  }

  // An entry of any code: one not made since the table was emptied is empty (prefix and
  // suffix 0), whatever an earlier table left in it.
  int PrefixOf(int code) const { return code < max_code_ ? prefix_[static_cast<std::size_t>(code)] : 0; }
  int SuffixOf(int code) const { return code < max_code_ ? suffix_[static_cast<std::size_t>(code)] : 0; }

  void Push(int value) {
    if (stack_pointer_ >= kStackSize) gif::RaiseGIFError(gif::sCircularTableEntry);
    stack_[static_cast<std::size_t>(stack_pointer_++)] = static_cast<std::uint16_t>(value);
  }

  void WarnInvalidCode() {
    if (!invalid_code_warned_) frame_->Warning(gif::kWarningSeverity, std::string(gif::sInvalidData));
    invalid_code_warned_ = true;
  }

  // Decodes codes of known strings while they fit in `room` pixels, with the decoder's state in
  // locals: a pixel store may alias any member, so members would be read again after each one.
  // Stops, before reading it, at a code that needs NextString: a clear or end code, a code not in
  // the table, a string that does not fit, or one whose bits lie in the next sub-block. Answers
  // the pixels written; NextString's results for the same codes are the same.
  std::size_t PlainStrings(std::uint8_t* const out, const std::size_t room) {
    if (!lengths_known_ || first_call_) return 0;
    std::uint64_t bit_buffer = bit_buffer_;
    int bit_count = bit_count_;
    int code_size = code_size_;
    int max_code = max_code_;
    int max_code_size = max_code_size_;
    int old_code = old_code_;
    int first_code = first_code_;
    std::size_t block_position = block_position_;
    const std::size_t block_length = block_length_;
    const int clear_code = clear_code_;
    std::size_t written = 0;
    for (;;) {
      while (bit_count <= kRefillBits && block_position < block_length) {
        bit_buffer |= std::uint64_t{block_[block_position++]} << bit_count;
        bit_count += 8;
      }
      if (bit_count < code_size) break;
      const int code = static_cast<int>(bit_buffer & ((std::uint64_t{1} << code_size) - 1));
      if ((code >= clear_code && code <= clear_code + 1) || code > max_code) break;
      // The string being defined now is the last one and its own first pixel.
      const bool defining = code == max_code;
      const std::size_t length =
          length_[static_cast<std::size_t>(defining ? old_code : code)] + (defining ? 1u : 0u);
      if (length > room - written) break;
      bit_buffer >>= code_size;
      bit_count -= code_size;
      std::uint8_t* const end = out + written + length;
      int first = 0;
      if (defining) {
        end[-1] = static_cast<std::uint8_t>(first_code);
        first = WriteString(old_code, end - 1);
      } else {
        first = WriteString(code, end);
      }
      AddEntryTo(old_code, first, max_code, max_code_size, code_size);
      first_code = first;
      old_code = code;
      written += length;
    }
    bit_buffer_ = bit_buffer;
    bit_count_ = bit_count;
    code_size_ = code_size;
    max_code_ = max_code;
    max_code_size_ = max_code_size;
    old_code_ = old_code;
    first_code_ = first_code;
    block_position_ = block_position;
    return written;
  }

  // Decodes the next code's string: written at out as far as it fits in `room` pixels, the rest
  // (or, for hostile codes, all of it) left on the stack for Fill. Answers the pixels written at
  // out, or kNoData or kEndCode.
  int NextString(std::uint8_t* out, std::size_t room) {
    int code = NextCode(code_size_);
    if (code < 0) return code;
    if (code == clear_code_) {
      ResetTable();
      do code = NextCode(code_size_);
      while (code == clear_code_);
      if (code < 0) return code;
      // Only a literal can start the table again: an end code or a string code ends the frame.
      if (code >= clear_code_) {
        if (code != end_code_) WarnInvalidCode();
        return kEndCode;
      }
      first_code_ = old_code_ = code;
      out[0] = static_cast<std::uint8_t>(code);
      return 1;
    }
    if (code == end_code_) return kEndCode;
    if (code > max_code_) {
      // Not in the table yet: decoded as the string being defined now.
      WarnInvalidCode();
      lengths_known_ = false;
    }
    if (!lengths_known_) {
      WalkString(code);
      return 0;
    }
    // The string being defined now is the last one and its own first pixel: make it first.
    const bool defining = code == max_code_;
    if (defining) AddEntry(old_code_, first_code_);
    const std::size_t length = length_[static_cast<std::size_t>(code)];
    const bool fits = length <= room;
    const int first = fits ? WriteString(code, out + length) : SplitString(code, length, out, room);
    if (!defining) AddEntry(old_code_, first);
    first_code_ = first;
    old_code_ = code;
    return static_cast<int>(fits ? length : room);
  }

  // Writes the string of a code whose length is known back to front, ending just before `end`.
  // Answers its first pixel.
  int WriteString(int code, std::uint8_t* end) const {
    const int clear_code = clear_code_;  // held in a register: the pixel stores may alias members
    while (code >= clear_code) {
      *--end = static_cast<std::uint8_t>(suffix_[static_cast<std::size_t>(code)]);
      code = prefix_[static_cast<std::size_t>(code)];
    }
    *--end = static_cast<std::uint8_t>(code);
    return code;
  }

  // The string of a code whose length is known and above `room`: its first `room` pixels are
  // written at out, the rest left on the empty stack (its first pixel on top) for the next row.
  // Answers its first pixel.
  int SplitString(int code, std::size_t length, std::uint8_t* out, std::size_t room) {
    std::uint16_t* stack = stack_.data();
    for (std::size_t left = length - room; left > 0; --left) {
      *stack++ = suffix_[static_cast<std::size_t>(code)];
      code = prefix_[static_cast<std::size_t>(code)];
    }
    stack_pointer_ = static_cast<int>(stack - stack_.data());
    return WriteString(code, out + room);
  }

  // Pushes the string of any code onto the stack, first pixel on top, following the chains as
  // they stand and raising on a cycle; makes the next entry.
  void WalkString(int code) {
    const int in_code = code;
    if (code >= max_code_) {
      Push(first_code_);
      code = old_code_;
    }
    int chain = 0;
    while (code >= clear_code_) {
      Push(SuffixOf(code));
      const int prefix = PrefixOf(code);
      if (prefix == code || ++chain > gif::kTableSize) gif::RaiseGIFError(gif::sCircularTableEntry);
      code = prefix;
    }
    first_code_ = SuffixOf(code);
    Push(first_code_);
    if (max_code_ < gif::kTableSize) {
      prefix_[static_cast<std::size_t>(max_code_)] = static_cast<std::uint16_t>(old_code_);
      suffix_[static_cast<std::size_t>(max_code_)] = static_cast<std::uint16_t>(first_code_);
      ++max_code_;
      if (max_code_ >= max_code_size_ && max_code_size_ < gif::kTableSize) {
        max_code_size_ *= 2;
        ++code_size_;
      }
    }
    old_code_ = in_code;
  }

  TStream* stream_;
  TGIFSubImage* frame_;
  int data_size_;
  int clear_code_;
  int end_code_;
  int code_size_ = 0;
  int max_code_ = 0;
  int max_code_size_ = 0;
  int first_code_ = 0;
  int old_code_ = 0;
  bool first_call_ = true;
  bool zero_block_ = false;
  bool underrun_warned_ = false;
  bool invalid_code_warned_ = false;
  bool lengths_known_ = true;
  std::uint64_t bit_buffer_ = 0;
  int bit_count_ = 0;
  // The buffers and tables are not cleared: only what was written is read (a frame of a few
  // pixels would otherwise pay for clearing 40 KiB).
  std::array<std::uint8_t, gif::kMaxSubBlockSize> block_;
  std::size_t block_length_ = 0;
  std::size_t block_position_ = 0;
  std::array<std::uint16_t, gif::kTableSize> prefix_;
  std::array<std::uint16_t, gif::kTableSize> suffix_;
  std::array<std::uint16_t, gif::kTableSize> length_;
  std::array<std::uint16_t, kStackSize> stack_;
  int stack_pointer_ = 0;
};

}  // namespace

void TGIFSubImage::Decompress(TStream* Stream) {
  const bool transparent = transparent_ && gce_ != nullptr;
  AllocatePixels(transparent ? gce_->GetTransparentColorIndex() : 0);
  std::uint8_t data_size = 0;
  if (!gif::TryReadByte(Stream, data_size)) return;
  if (data_size < gif::kMinDataSize || data_size > gif::kMaxDataSize)
    Warning(gif::kWarningSeverity, std::string(gif::sInvalidData));
  if (data_size > gif::kMaxDataSize) {
    // Its clear code would lie past the tables: the frame keeps its fill value.
    gif::SkipSubBlocks(Stream);
    return;
  }
  const auto decoder = std::make_unique<LzwDecoder>(Stream, this, data_size);
  const std::size_t width = width_;
  if (!pixels_.empty()) {
    if (!GetInterlaced()) {
      decoder->Fill(pixels_.data(), pixels_.size());
    } else {
      bool complete = true;
      for (std::size_t pass = 0; pass < gif::kInterlaceStart.size() && complete; ++pass)
        for (std::size_t row = static_cast<std::size_t>(gif::kInterlaceStart[pass]); row < height_ && complete;
             row += static_cast<std::size_t>(gif::kInterlaceStep[pass]))
          complete = decoder->Fill(pixels_.data() + row * width, width);
    }
  }
  // Leave the stream after the data, whatever ended the pixels.
  if (!decoder->ZeroBlockRead()) gif::SkipSubBlocks(Stream);
}

}  // namespace dashtune
