// Logical fonts for the text tests.
#pragma once

#include <algorithm>
#include <string_view>

#include "platform/text/font.h"

namespace win::text::testing {

inline LOGFONTW LogFontW(std::string_view face, LONG height, LONG weight = FW_NORMAL,
                         bool italic = false, bool underline = false) {
  LOGFONTW font;
  font.lfHeight = height;
  font.lfWeight = weight;
  font.lfItalic = italic;
  font.lfUnderline = underline;
  const std::size_t length = std::min<std::size_t>(face.size(), LF_FACESIZE - 1);
  for (std::size_t i = 0; i < length; ++i) font.lfFaceName[i] = static_cast<WCHAR>(face[i]);
  return font;
}

inline LOGFONTA LogFontA(std::string_view face, LONG height) {
  LOGFONTA font;
  font.lfHeight = height;
  const std::size_t length = std::min<std::size_t>(face.size(), LF_FACESIZE - 1);
  std::copy_n(face.data(), length, font.lfFaceName);
  return font;
}

inline std::shared_ptr<const Font> FixedFont(LONG height) {
  return RealizeFont(RequestFromLogFont(LogFontW(kFixedMetricsFaceName, height)));
}

inline std::shared_ptr<const Font> DejaVu(LONG height, LONG weight = FW_NORMAL, bool italic = false) {
  return RealizeFont(RequestFromLogFont(LogFontW("Tahoma", height, weight, italic)));
}

}  // namespace win::text::testing
