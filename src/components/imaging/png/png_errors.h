// The PNG codec's failures: one exception class per kind of fault, each with its fixed text, and
// the names of zlib's results that the decompression message ends with.
#pragma once

#include <string>
#include <string_view>

#include "classlib/sysutils.h"

namespace dashtune {

// Every failure of the codec is an EPngError or one of its descendants.
class EPngError : public Exception {
 public:
  using Exception::Exception;
};

#define DASHTUNE_PNG_ERROR_CLASS(name) \
  class name : public EPngError {      \
   public:                             \
    using EPngError::EPngError;        \
  }

DASHTUNE_PNG_ERROR_CLASS(EPngInvalidCRC);
DASHTUNE_PNG_ERROR_CLASS(EPngInvalidIHDR);
DASHTUNE_PNG_ERROR_CLASS(EPNGMissingMultipleIDAT);
DASHTUNE_PNG_ERROR_CLASS(EPNGZLIBError);
DASHTUNE_PNG_ERROR_CLASS(EPNGInvalidPalette);
DASHTUNE_PNG_ERROR_CLASS(EPNGInvalidFileHeader);
DASHTUNE_PNG_ERROR_CLASS(EPNGIHDRNotFirst);
DASHTUNE_PNG_ERROR_CLASS(EPNGSizeExceeds);
DASHTUNE_PNG_ERROR_CLASS(EPNGUnknownCriticalChunk);
DASHTUNE_PNG_ERROR_CLASS(EPNGUnknownCompression);
DASHTUNE_PNG_ERROR_CLASS(EPNGUnknownInterlace);
DASHTUNE_PNG_ERROR_CLASS(EPngUnexpectedEnd);
DASHTUNE_PNG_ERROR_CLASS(EPNGNoImageData);
DASHTUNE_PNG_ERROR_CLASS(EPNGOutMemory);
DASHTUNE_PNG_ERROR_CLASS(EPNGHeaderNotPresent);
DASHTUNE_PNG_ERROR_CLASS(EPNGInvalidNewSize);

#undef DASHTUNE_PNG_ERROR_CLASS

namespace png {

// The codec's message texts.
extern const std::string_view EPNGInvalidCRCText;
extern const std::string_view EPNGInvalidIHDRText;
extern const std::string_view EPNGMissingMultipleIDATText;
extern const std::string_view EPNGZLIBErrorText;  // followed by the zlib result name
extern const std::string_view EPNGInvalidPaletteText;
extern const std::string_view EPNGInvalidFileHeaderText;
extern const std::string_view EPNGIHDRNotFirstText;
extern const std::string_view EPNGSizeExceedsText;
extern const std::string_view EPNGUnknownPalEntryText;
extern const std::string_view EPNGUnknownCriticalChunkText;
extern const std::string_view EPNGUnknownCompressionText;
extern const std::string_view EPNGUnknownInterlaceText;
extern const std::string_view EPNGCannotAssignChunkText;
extern const std::string_view EPNGUnexpectedEndText;
extern const std::string_view EPNGNoImageDataText;
extern const std::string_view EPNGOutMemoryText;
extern const std::string_view EPNGHeaderNotPresentText;
extern const std::string_view EPNGInvalidNewSizeText;

// "stream end (1)" and the like for a zlib result code; "" for codes outside -6..2.
std::string_view ZLibResultName(int result);

// Raises a new exception of class E with the text.
template <class E>
[[noreturn]] void RaiseError(std::string_view text) {
  throw E(std::string(text));
}

}  // namespace png
}  // namespace dashtune
