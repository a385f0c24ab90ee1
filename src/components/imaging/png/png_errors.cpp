#include "components/imaging/png/png_errors.h"

#include <array>

namespace dashtune::png {

const std::string_view EPNGInvalidCRCText =
    "This \"Portable Network Graphics\" image is not valid because it contains invalid pieces of data (crc error)";
const std::string_view EPNGInvalidIHDRText =
    "The \"Portable Network Graphics\" image could not be loaded because one of its main piece of data (ihdr) "
    "might be corrupted";
const std::string_view EPNGMissingMultipleIDATText =
    "This \"Portable Network Graphics\" image is invalid because it has missing image parts.";
const std::string_view EPNGZLIBErrorText =
    "Could not decompress the image because it contains invalid compressed data.\r\n Description: ";
const std::string_view EPNGInvalidPaletteText = "The \"Portable Network Graphics\" image contains an invalid palette.";
const std::string_view EPNGInvalidFileHeaderText =
    "The file being readed is not a valid \"Portable Network Graphics\" image because it contains an invalid "
    "header. This file may be corruped, try obtaining it again.";
const std::string_view EPNGIHDRNotFirstText =
    "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n"
    "(IHDR chunk is not the first)";
const std::string_view EPNGSizeExceedsText =
    "This \"Portable Network Graphics\" image is not supported because either it's width or height exceeds the "
    "maximum size, which is 65535 pixels length.";
const std::string_view EPNGUnknownPalEntryText = "There is no such palette entry.";
const std::string_view EPNGUnknownCriticalChunkText =
    "This \"Portable Network Graphics\" image contains an unknown critical part which could not be decoded.";
const std::string_view EPNGUnknownCompressionText =
    "This \"Portable Network Graphics\" image is encoded with an unknown compression scheme which could not be "
    "decoded.";
const std::string_view EPNGUnknownInterlaceText =
    "This \"Portable Network Graphics\" image uses an unknown interlace scheme which could not be decoded.";
const std::string_view EPNGCannotAssignChunkText = "The chunks must be compatible to be assigned.";
const std::string_view EPNGUnexpectedEndText =
    "This \"Portable Network Graphics\" image is invalid because the decoder found an unexpected end of the file.";
const std::string_view EPNGNoImageDataText = "This \"Portable Network Graphics\" image contains no data.";
const std::string_view EPNGOutMemoryText =
    "Some operation could not be performed because the system is out of resources. Close some windows and try "
    "again.";
const std::string_view EPNGHeaderNotPresentText =
    "This operation is not valid because the current image contains no valid header.";
const std::string_view EPNGInvalidNewSizeText = "The new size provided for image resizing is invalid.";

std::string_view ZLibResultName(int result) {
  static constexpr std::array<std::string_view, 9> kNames = {"incompatible version (-6)",
                                                             "buffer error (-5)",
                                                             "insufficient memory (-4)",
                                                             "data error (-3)",
                                                             "stream error (-2)",
                                                             "file error (-1)",
                                                             "(0)",
                                                             "stream end (1)",
                                                             "need dictionary (2)"};
  if (result < -6 || result > 2) return {};
  return kNames[static_cast<std::size_t>(result + 6)];
}

}  // namespace dashtune::png
