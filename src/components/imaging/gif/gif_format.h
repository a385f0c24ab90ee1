// Facts of the GIF format, named once: signatures, block introducers, extension labels, the bits of
// the packed fields, disposal methods and the limits of the LZW code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace dashtune::gif {

// Header: "GIF" and a three-character version.
inline constexpr std::array<char, 3> kSignature = {'G', 'I', 'F'};
inline constexpr std::array<char, 3> kVersion87a = {'8', '7', 'a'};
inline constexpr std::array<char, 3> kVersion89a = {'8', '9', 'a'};
inline constexpr std::size_t kHeaderSize = 6;
// A header that does not begin the stream is looked for once more this far on.
inline constexpr std::int64_t kHeaderRetrySkip = 4;
inline constexpr std::size_t kScreenDescriptorSize = 7;
// The image descriptor with its separator.
inline constexpr std::size_t kImageDescriptorSize = 10;

// Block introducers.
inline constexpr std::uint8_t kExtensionIntroducer = 0x21;  // "!"
inline constexpr std::uint8_t kImageSeparator = 0x2C;       // ","
inline constexpr std::uint8_t kTrailer = 0x3B;              // ";"
// Zero bytes between blocks are skipped; a zero size byte ends a run of data sub-blocks.
inline constexpr std::uint8_t kBlockTerminator = 0x00;
inline constexpr std::size_t kMaxSubBlockSize = 255;

// Extension labels.
inline constexpr std::uint8_t kTextExtensionLabel = 0x01;
inline constexpr std::uint8_t kGraphicControlLabel = 0xF9;
inline constexpr std::uint8_t kCommentExtensionLabel = 0xFE;
inline constexpr std::uint8_t kApplicationExtensionLabel = 0xFF;

// Fixed parts of the extensions after "!" and the label.
inline constexpr std::size_t kGraphicControlSize = 6;   // with its block size byte and terminator
inline constexpr std::uint8_t kGraphicControlBlockSize = 4;
inline constexpr std::size_t kTextExtensionSize = 13;   // with its block size byte
inline constexpr std::uint8_t kTextExtensionBlockSize = 12;
inline constexpr std::size_t kAppIdentifierSize = 8;
inline constexpr std::size_t kAppAuthenticationSize = 3;
inline constexpr std::size_t kAppBlockSize = kAppIdentifierSize + kAppAuthenticationSize;  // 11
// Some writers give the application block 10 bytes; such blocks are kept as unknown ones.
inline constexpr std::size_t kShortAppBlockSize = 10;

// Loop extension sub-blocks: an id byte (masked) then the field.
inline constexpr std::uint8_t kLoopSubBlockIdMask = 0x07;
inline constexpr std::uint8_t kLoopCountId = 1;
inline constexpr std::uint8_t kLoopBufferSizeId = 2;
inline constexpr std::size_t kLoopCountSize = 2;
inline constexpr std::size_t kLoopBufferSizeSize = 4;

// Logical screen descriptor packed fields.
inline constexpr std::uint8_t kScreenGlobalTable = 0x80;
inline constexpr std::uint8_t kScreenResolutionMask = 0x70;
inline constexpr int kScreenResolutionShift = 4;
inline constexpr std::uint8_t kScreenSorted = 0x08;
inline constexpr std::uint8_t kTableSizeMask = 0x07;

// Image descriptor packed fields.
inline constexpr std::uint8_t kImageLocalTable = 0x80;
inline constexpr std::uint8_t kImageInterlaced = 0x40;
inline constexpr std::uint8_t kImageSorted = 0x20;

// Graphic control packed fields.
inline constexpr std::uint8_t kControlTransparent = 0x01;
inline constexpr std::uint8_t kControlUserInput = 0x02;
inline constexpr std::uint8_t kControlDisposalMask = 0x1C;
inline constexpr int kControlDisposalShift = 2;

// Colour tables: 2 << size-field entries of three bytes, red, green, blue.
inline constexpr int kMaxColors = 256;
// Pixel values a frame can hold (one byte each), whatever its table's size.
inline constexpr std::size_t kPixelValues = 256;
inline constexpr std::size_t kColorSize = 3;
constexpr int TableEntries(std::uint8_t packed) { return 2 << (packed & kTableSizeMask); }

// The 216-colour web palette: six levels of each channel, 51 apart.
inline constexpr int kWebLevels = 6;
inline constexpr int kWebStep = 51;
inline constexpr int kWebColors = kWebLevels * kWebLevels * kWebLevels;

// LZW: codes of at most 12 bits, tables of 4096 entries.
inline constexpr int kMaxCodeBits = 12;
inline constexpr int kTableSize = 1 << kMaxCodeBits;
// Minimum code sizes: the smallest the format allows, and the largest whose clear and end codes
// fit the tables.
inline constexpr int kMinDataSize = 2;
inline constexpr int kMaxDataSize = kMaxCodeBits - 1;

// Interlaced frames: four passes of rows, each with its first row and step.
inline constexpr std::array<int, 4> kInterlaceStart = {0, 4, 2, 1};
inline constexpr std::array<int, 4> kInterlaceStep = {8, 8, 4, 2};

}  // namespace dashtune::gif
