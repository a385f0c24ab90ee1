// The LZW decoder: hand-made code streams (every minimum code size, full tables, clears, codes
// across sub-blocks of any size), how a frame ends (end codes, short data, truncated streams,
// trailing data), interlace orders, hostile tables, and random code streams against a plain
// reference decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

#include "gif_test_support.h"

namespace dashtune {
namespace {

using giftest::Bytes;
using giftest::Code;
using giftest::Concat;
using giftest::ControlExtension;
using giftest::Descriptor;
using giftest::GrayTable;
using giftest::Header;
using giftest::PackCodes;
using giftest::SubBlocks;

// One frame of width x height with the given image data, then a second 1 x 1 frame of value 1 so
// that a frame that ends in the wrong place shows in the next one.
Bytes TwoFrames(int width, int height, const Bytes& data, int colors = 256, const Bytes& before = {}) {
  return Concat({Header(static_cast<unsigned>(width), static_cast<unsigned>(height), GrayTable(colors)), before,
                 Descriptor(0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height)), data,
                 Descriptor(0, 0, 1, 1), giftest::ImageData({1}, 2), {0x3B}});
}

Bytes Pattern(std::size_t count, int colors, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes pixels(count);
  // Runs and noise, so strings of every length occur.
  for (std::size_t i = 0; i < count; ++i)
    pixels[i] = static_cast<std::uint8_t>(rng() % 4 == 0 ? rng() % static_cast<unsigned>(colors)
                                                         : (i > 0 ? pixels[i - 1] : 0));
  return pixels;
}

void ExpectSecondFrameIntact(const giftest::Loaded& loaded) {
  ASSERT_EQ(loaded.picture->GetImages()->GetCount(), 2);
  EXPECT_EQ(loaded.picture->GetImages()->GetFrame(1)->GetData(), Bytes{1});
}

TEST(GifLzw, EveryMinimumCodeSizeDecodesAndAgreesWithGiflib) {
  for (int size = 1; size <= 8; ++size) {
    SCOPED_TRACE(size);
    const int colors = 1 << size;
    Bytes pixels = Pattern(40 * 30, colors, static_cast<unsigned>(size));
    // Size 1 has room for a string code only from the third code on.
    pixels[0] = 0;
    pixels[1] = 1;
    const Bytes file = TwoFrames(40, 30, giftest::ImageData(pixels, size), std::max(colors, 2));
    const auto loaded = giftest::Load(file);
    ASSERT_EQ(loaded.error, "");
    // Size 1 is below what the format allows, but its codes are plain.
    EXPECT_EQ(loaded.warnings, size < 2 ? std::vector<std::string>{"Invalid GIF data"} : std::vector<std::string>{});
    EXPECT_EQ(loaded.picture->GetImages()->GetFrame(0)->GetData(), pixels);
    ExpectSecondFrameIntact(loaded);
    // Giflib widens its codes one code earlier after a clear when the minimum size is 1.
    if (size >= 2) {
      const auto ref = giftest::GiflibRead(file);
      ASSERT_TRUE(ref.has_value());
      EXPECT_EQ(ref->frames[0].pixels, pixels);
    }
  }
}

TEST(GifLzw, CodesSpanningSubBlocksOfEverySizeUseNoStaleBits) {
  const Bytes pixels = Pattern(64 * 64, 256, 7);
  const Bytes codes = PackCodes(giftest::EncodeLzw(pixels, 8));
  for (const std::vector<std::size_t>& sizes :
       {std::vector<std::size_t>{1}, {2}, {3}, {1, 2, 1, 254}, {255}, {17, 1}}) {
    SCOPED_TRACE(sizes[0]);
    const Bytes data = Concat({{8}, SubBlocks(codes, sizes)});
    const auto loaded = giftest::Load(TwoFrames(64, 64, data));
    ASSERT_EQ(loaded.error, "");
    EXPECT_TRUE(loaded.warnings.empty());
    EXPECT_EQ(loaded.picture->GetImages()->GetFrame(0)->GetData(), pixels);
    ExpectSecondFrameIntact(loaded);
  }
}

TEST(GifLzw, FullTableWithoutClearKeepsTwelveBitCodes) {
  Bytes pixels = Pattern(200 * 200, 256, 3);
  const std::vector<Code> codes = giftest::EncodeLzw(pixels, 8, false);
  ASSERT_GT(codes.size(), 4096u);
  EXPECT_EQ(codes[codes.size() - 2].bits, 12);
  const Bytes file = TwoFrames(200, 200, Concat({{8}, SubBlocks(PackCodes(codes))}));
  const auto loaded = giftest::Load(file);
  ASSERT_EQ(loaded.error, "");
  EXPECT_EQ(loaded.picture->GetImages()->GetFrame(0)->GetData(), pixels);
  const auto ref = giftest::GiflibRead(file);
  ASSERT_TRUE(ref.has_value());
  EXPECT_EQ(ref->frames[0].pixels, pixels);
}

TEST(GifLzw, TwoClearsInARowAreAccepted) {
  std::vector<Code> codes = giftest::EncodeLzw({1, 2, 3, 0}, 2);
  codes.insert(codes.begin(), codes.front());
  const Bytes data = Concat({{2}, SubBlocks(PackCodes(codes))});
  const auto loaded = giftest::Load(TwoFrames(2, 2, data, 4));
  EXPECT_TRUE(loaded.warnings.empty());
  EXPECT_EQ(loaded.picture->GetImages()->GetFrame(0)->GetData(), (Bytes{1, 2, 3, 0}));
  ExpectSecondFrameIntact(loaded);
}

TEST(GifLzw, DataAfterTheEndCodeIsSkippedToTheTerminator) {
  const Bytes codes = PackCodes(giftest::EncodeLzw({1, 2, 3, 0}, 2));
  const Bytes data = Concat({{2, static_cast<std::uint8_t>(codes.size())}, codes, {3, 9, 9, 9, 1, 7, 0}});
  const auto loaded = giftest::Load(TwoFrames(2, 2, data, 4));
  EXPECT_TRUE(loaded.warnings.empty());
  EXPECT_EQ(loaded.picture->GetImages()->GetFrame(0)->GetData(), (Bytes{1, 2, 3, 0}));
  ExpectSecondFrameIntact(loaded);
}

TEST(GifLzw, ShortDataKeepsTheFillAndWarnsOnce) {
  struct Case {
    const char* name;
    bool transparent;
    std::uint8_t fill;
  };
  for (const Case& c : {Case{"opaque", false, 0}, Case{"transparent", true, 3}}) {
    SCOPED_TRACE(c.name);
    // Half of a 4 x 2 frame in exactly two bytes, then a proper zero-size sub-block.
    const Bytes data = Concat({{2}, SubBlocks(PackCodes({{4, 3}, {1, 3}, {2, 3}, {1, 3}, {2, 4}}))});
    const Bytes before = c.transparent ? ControlExtension(0, true, 3) : Bytes{};
    const auto loaded = giftest::Load(TwoFrames(4, 2, data, 4, before));
    EXPECT_EQ(loaded.warnings, std::vector<std::string>{"Decoder bit buffer under-run"});
    EXPECT_EQ(loaded.picture->GetImages()->GetFrame(0)->GetData(), (Bytes{1, 2, 1, 2, c.fill, c.fill, c.fill, c.fill}));
    ExpectSecondFrameIntact(loaded);
  }
}

TEST(GifLzw, EarlyEndCodeStopsThePixelsQuietly) {
  const Bytes data = Concat({{2}, SubBlocks(PackCodes({{4, 3}, {1, 3}, {5, 3}}))});
  const auto loaded = giftest::Load(TwoFrames(2, 2, data, 4));
  EXPECT_TRUE(loaded.warnings.empty());
  EXPECT_EQ(loaded.picture->GetImages()->GetFrame(0)->GetData(), (Bytes{1, 0, 0, 0}));
  ExpectSecondFrameIntact(loaded);
}

TEST(GifLzw, EndCodeOrStringCodeRightAfterAClearEndsTheFrame) {
  // The end code right after the clear: an empty frame, not a pixel of value 5.
  const Bytes end_after_clear = Concat({{2}, SubBlocks(PackCodes({{4, 3}, {5, 3}}))});
  auto loaded = giftest::Load(TwoFrames(2, 2, end_after_clear, 4));
  EXPECT_TRUE(loaded.warnings.empty());
  EXPECT_EQ(loaded.picture->GetImages()->GetFrame(0)->GetData(), Bytes(4, 0));
  ExpectSecondFrameIntact(loaded);
  // A string code cannot start the table.
  const Bytes string_after_clear = Concat({{2}, SubBlocks(PackCodes({{4, 3}, {6, 3}, {1, 3}, {5, 3}}))});
  loaded = giftest::Load(TwoFrames(2, 2, string_after_clear, 4));
  EXPECT_EQ(loaded.warnings, std::vector<std::string>{"Invalid GIF data"});
  EXPECT_EQ(loaded.picture->GetImages()->GetFrame(0)->GetData(), Bytes(4, 0));
  ExpectSecondFrameIntact(loaded);
}

TEST(GifLzw, TruncationInsideASubBlockDecodesWhatIsThere) {
  const Bytes pixels = Pattern(30 * 30, 16, 5);
  Bytes file = Concat({Header(30, 30, GrayTable(16)), Descriptor(0, 0, 30, 30), giftest::ImageData(pixels, 4, {255})});
  file.erase(file.end() - 40, file.end());
  const auto loaded = giftest::Load(file);
  EXPECT_EQ(loaded.error, "");
  EXPECT_EQ(loaded.warnings, std::vector<std::string>{"Premature end of data"});
  const Bytes& got = loaded.picture->GetImages()->GetFrame(0)->GetData();
  // A prefix of the pixels is exact; the rest keeps the fill.
  std::size_t same = 0;
  while (same < got.size() && got[same] == pixels[same]) ++same;
  EXPECT_GT(same, pixels.size() / 2);
  EXPECT_LT(same, pixels.size());
  for (std::size_t i = same + 64; i < got.size(); ++i) ASSERT_EQ(got[i], 0) << i;
}

TEST(GifLzw, StreamEndingAtASizeByteStopsQuietly) {
  const Bytes pixels = Pattern(10 * 10, 4, 1);
  const Bytes codes = PackCodes(giftest::EncodeLzw(pixels, 2));
  // Whole sub-blocks of 5 bytes and no terminator.
  const Bytes blocks = SubBlocks(Bytes(codes.begin(), codes.begin() + static_cast<std::ptrdiff_t>(codes.size() / 5 * 5)),
                                 {5}, false);
  const Bytes file = Concat({Header(10, 10, GrayTable(4)), Descriptor(0, 0, 10, 10), {2}, blocks});
  const auto loaded = giftest::Load(file);
  EXPECT_EQ(loaded.error, "");
  EXPECT_TRUE(loaded.warnings.empty());
  ASSERT_EQ(loaded.picture->GetImages()->GetCount(), 1);
}

TEST(GifLzw, MissingCodeSizeByteKeepsTheFill) {
  const Bytes file = Concat({Header(2, 2, GrayTable(4)), ControlExtension(0, true, 2), Descriptor(0, 0, 2, 2)});
  const auto loaded = giftest::Load(file);
  EXPECT_EQ(loaded.error, "");
  EXPECT_TRUE(loaded.warnings.empty());
  EXPECT_EQ(loaded.picture->GetImages()->GetFrame(0)->GetData(), Bytes(4, 2));
}

TEST(GifLzw, MinimumCodeSizeOutsideTwoToElevenWarnsAndLoadingGoesOn) {
  // Sizes 1 to 11 decode; above, the clear code lies past the tables and the data is skipped,
  // leaving the fill. Size 0 (no room for its own end code) decodes what it can.
  const std::vector<std::string> warned = {"Invalid GIF data"};
  const struct {
    std::uint8_t size;
    bool warns;
  } cases[] = {{0, true}, {1, true}, {2, false}, {11, false}, {12, true}, {13, true}, {255, true}};
  const Bytes pixels = {0, 1, 0, 1, 1, 0, 1, 0, 0};
  for (const auto& c : cases) {
    SCOPED_TRACE(int{c.size});
    const bool encoded = c.size >= 1 && c.size <= 11;
    const Bytes data = encoded ? giftest::ImageData(pixels, c.size) : Concat({{c.size}, SubBlocks(Bytes(300, 0xFF))});
    const auto loaded = giftest::Load(TwoFrames(3, 3, data, 4));
    EXPECT_EQ(loaded.error, "");
    if (c.size == 0) {
      ASSERT_FALSE(loaded.warnings.empty());
      EXPECT_EQ(loaded.warnings.front(), warned.front());
    } else {
      EXPECT_EQ(loaded.warnings, c.warns ? warned : std::vector<std::string>{});
      EXPECT_EQ(loaded.picture->GetImages()->GetFrame(0)->GetData(), encoded ? pixels : Bytes(9, 0));
    }
    ExpectSecondFrameIntact(loaded);
  }
}

TEST(GifLzw, SelfReferencingEntryRaises) {
  // Code 7 names an entry past the table; the entry defined next (7) then gets 7 as its prefix,
  // and naming it again walks into itself.
  const Bytes data = Concat({{2}, SubBlocks(PackCodes({{4, 3}, {1, 3}, {7, 3}, {7, 3}, {7, 4}, {5, 4}}))});
  const auto loaded = giftest::Load(TwoFrames(8, 8, data, 4));
  EXPECT_EQ(loaded.error, "Circular decoder table entry");
}

TEST(GifLzw, EntriesOfTheTableBeforeAClearReadAsEmpty) {
  // Entries 6 and 7 are made (7 = 6 + 1), then a clear. Two codes past the new table then walk
  // entry 7 before it is made again: it must read as empty, not as the 1 1 1 it held before.
  const Bytes data = Concat({{2}, SubBlocks(PackCodes({{4, 3}, {1, 3}, {6, 3}, {7, 3}, {4, 4}, {0, 3}, {7, 3},
                                                       {7, 3}, {5, 4}}))});
  const auto loaded = giftest::Load(TwoFrames(4, 3, data, 4));
  ASSERT_EQ(loaded.error, "");
  EXPECT_EQ(loaded.warnings, std::vector<std::string>{"Invalid GIF data"});
  EXPECT_EQ(loaded.picture->GetImages()->GetFrame(0)->GetData(), (Bytes{1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0}));
  ExpectSecondFrameIntact(loaded);
}

TEST(GifLzw, LongPrefixCycleRaisesBeforeTheStackFills) {
  // Codes past the table make entry 259 + j point to 260 + j; entry 459 is then defined with
  // prefix 259, closing a cycle of 201 entries that the last code walks into.
  std::vector<Code> codes = {{256, 9}, {1, 9}};
  for (int k = 1; k <= 200; ++k) codes.push_back({259 + k, 9});
  codes.push_back({259, 9});
  codes.push_back({1, 9});
  codes.push_back({259, 9});
  const Bytes data = Concat({{8}, SubBlocks(PackCodes(codes))});
  const auto loaded = giftest::Load(TwoFrames(200, 200, data));
  EXPECT_EQ(loaded.error, "Circular decoder table entry");
}

TEST(GifLzw, InterlacedRowsArriveInPassOrder) {
  struct Case {
    int height;
    std::vector<int> order;
  };
  for (const Case& c : {Case{1, {0}}, Case{2, {0, 1}}, Case{3, {0, 2, 1}}, Case{5, {0, 4, 2, 1, 3}},
                        Case{9, {0, 8, 4, 2, 6, 1, 3, 5, 7}}}) {
    SCOPED_TRACE(c.height);
    // Row k of the stream holds the value k: the frame shows which stream row went where.
    Bytes stream_rows;
    for (int k = 0; k < c.height; ++k) stream_rows.insert(stream_rows.end(), 3, static_cast<std::uint8_t>(k));
    const Bytes file = Concat({Header(3, static_cast<unsigned>(c.height), GrayTable(16)),
                               Descriptor(0, 0, 3, static_cast<unsigned>(c.height), true),
                               giftest::ImageData(stream_rows, 4), {0x3B}});
    const auto loaded = giftest::Load(file);
    ASSERT_EQ(loaded.error, "");
    TGIFSubImage* frame = loaded.picture->GetImages()->GetFrame(0);
    for (int k = 0; k < c.height; ++k) EXPECT_EQ(frame->GetPixel(0, c.order[static_cast<std::size_t>(k)]), k);
  }
}

TEST(GifLzw, HugeFramesAreRefusedBeforeAllocating) {
  // 65535 x 65535 pixels from a few bytes.
  const Bytes file = Concat({Header(65535, 65535, GrayTable(4)), Descriptor(0, 0, 65535, 65535), {2, 0}});
  const auto loaded = giftest::Load(file);
  EXPECT_EQ(loaded.error, "Failed to allocate memory for GIF DIB");
  // Many frames that are each allowed, but together too much.
  Bytes many = Header(8000, 8000, GrayTable(4));
  for (int i = 0; i < 5; ++i) many = Concat({many, Descriptor(0, 0, 8000, 8000), {2, 0}});
  const auto all = giftest::Load(many);
  EXPECT_EQ(all.error, "Failed to allocate memory for GIF DIB");
  EXPECT_EQ(all.picture->GetImages()->GetCount(), 4);
}

// The decoder written plainly: every string walked onto a stack, one pixel at a time, the chains
// followed as they stand and checked for cycles. It also tells the width of the next code.
class ReferenceLzw {
 public:
  explicit ReferenceLzw(int data_size) : data_size_(data_size), clear_(1 << data_size), end_(clear_ + 1) {
    Reset();
  }

  int Width() const { return code_size_; }
  int Clear() const { return clear_; }
  int End() const { return end_; }
  int NextFree() const { return max_code_; }
  const Bytes& Pixels() const { return pixels_; }
  const std::string& Error() const { return error_; }

  // Decodes one code; false once the frame has ended (end code, a bad first code, a cycle).
  bool Feed(int code) {
    if (code == clear_) {
      Reset();
      return true;
    }
    if (after_clear_) {
      after_clear_ = false;
      if (code >= clear_) return false;
      first_ = old_ = code;
      pixels_.push_back(static_cast<std::uint8_t>(code));
      return true;
    }
    if (code == end_) return false;
    const int in_code = code;
    std::vector<int> stack;
    if (code >= max_code_) {
      stack.push_back(first_);
      code = old_;
    }
    for (int chain = 0; code >= clear_;) {
      stack.push_back(suffix_[static_cast<std::size_t>(code)]);
      const int prefix = prefix_[static_cast<std::size_t>(code)];
      if (prefix == code || ++chain > 4096) {
        error_ = "Circular decoder table entry";
        return false;
      }
      code = prefix;
    }
    first_ = suffix_[static_cast<std::size_t>(code)];
    stack.push_back(first_);
    if (max_code_ < 4096) {
      prefix_[static_cast<std::size_t>(max_code_)] = old_;
      suffix_[static_cast<std::size_t>(max_code_)] = first_;
      if (++max_code_ >= (1 << code_size_) && code_size_ < 12) ++code_size_;
    }
    old_ = in_code;
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) pixels_.push_back(static_cast<std::uint8_t>(*it));
    return true;
  }

 private:
  void Reset() {
    for (int i = 0; i < 4096; ++i) {
      prefix_[static_cast<std::size_t>(i)] = 0;
      suffix_[static_cast<std::size_t>(i)] = i < clear_ ? i : 0;
    }
    code_size_ = data_size_ + 1;
    max_code_ = clear_ + 2;
    after_clear_ = true;
  }

  int data_size_, clear_, end_;
  int code_size_ = 0, max_code_ = 0, first_ = 0, old_ = 0;
  bool after_clear_ = true;
  std::array<int, 4096> prefix_{}, suffix_{};
  Bytes pixels_;
  std::string error_;
};

TEST(GifLzw, RandomCodeStreamsDecodeAsThePlainReference) {
  // Mostly codes of the table, some past it (which turn the table's chains hostile until the next
  // clear), clears, and sub-blocks of random sizes, so that strings cross rows, sub-blocks and
  // interlace passes.
  std::mt19937 rng(20261207);
  for (int round = 0; round < 300; ++round) {
    const int data_size = 2 + static_cast<int>(rng() % 7);
    const int width = 1 + static_cast<int>(rng() % 40), height = 1 + static_cast<int>(rng() % 40);
    const bool interlaced = rng() % 3 == 0;
    const std::size_t wanted = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    ReferenceLzw reference(data_size);
    std::vector<Code> codes;
    bool ended = false;
    while (!ended && reference.Pixels().size() < wanted && codes.size() < 4 * wanted) {
      const int width_bits = reference.Width();
      const bool after_clear = codes.empty() || codes.back().value == reference.Clear();
      const unsigned choice = rng() % 100;
      int code = 0;
      if (after_clear && choice >= 10) {
        code = static_cast<int>(rng() % static_cast<unsigned>(reference.Clear()));
      } else if (choice < 2) {
        code = reference.Clear();
      } else if (choice < 6 && reference.NextFree() + 1 < (1 << width_bits)) {
        const auto past_table = static_cast<unsigned>((1 << width_bits) - reference.NextFree() - 1);
        code = reference.NextFree() + 1 + static_cast<int>(rng() % past_table);
      } else if (choice < 30) {
        code = static_cast<int>(rng() % static_cast<unsigned>(reference.Clear()));
      } else {
        // A table entry or the one being made.
        const int first_entry = reference.End() + 1;
        const auto entries = static_cast<unsigned>(std::max(reference.NextFree() - first_entry + 1, 1));
        code = first_entry + static_cast<int>(rng() % entries);
        code = std::min(code, (1 << width_bits) - 1);
      }
      codes.push_back({code, width_bits});
      ended = !reference.Feed(code);
    }
    if (!ended) codes.push_back({reference.End(), reference.Width()});
    std::vector<std::size_t> sizes;
    for (int i = 0; i < 8; ++i) sizes.push_back(1 + rng() % 255);
    const Bytes data = Concat({{static_cast<std::uint8_t>(data_size)}, SubBlocks(PackCodes(codes), sizes)});
    const auto w = static_cast<unsigned>(width), h = static_cast<unsigned>(height);
    const Bytes file = Concat({Header(w, h, GrayTable(256)), Descriptor(0, 0, w, h, interlaced), data, {0x3B}});
    SCOPED_TRACE("round " + std::to_string(round));
    const auto loaded = giftest::Load(file);
    ASSERT_EQ(loaded.error, reference.Error());
    if (!loaded.error.empty()) continue;
    // Stream order, then rows in the frame's order.
    Bytes stream(wanted, 0);
    std::copy_n(reference.Pixels().begin(), std::min(wanted, reference.Pixels().size()), stream.begin());
    Bytes expected(wanted, 0);
    std::size_t next = 0;
    const auto put_row = [&](int row) {
      std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(next), width,
                  expected.begin() + static_cast<std::ptrdiff_t>(row) * width);
      next += static_cast<std::size_t>(width);
    };
    if (interlaced) {
      for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
        for (int row = start; row < height; row += step) put_row(row);
    } else {
      for (int row = 0; row < height; ++row) put_row(row);
    }
    ASSERT_EQ(loaded.picture->GetImages()->GetFrame(0)->GetData(), expected);
  }
}

}  // namespace
}  // namespace dashtune
