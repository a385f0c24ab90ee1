// Logical fonts for the text tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>
#include <string_view>

#include "platform/text/font.h"
#include "platform/text/glyph_raster.h"

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
  return RealizeFont(RequestFromLogFont(LogFontW("Any Face", height, weight, italic)));
}

// A small 32-bit surface filled with one colour and a marker alpha, with bytes around the rows
// so that writes past a row's end show up.
class Canvas {
 public:
  Canvas(int width, int height, COLORREF fill, std::uint8_t alpha = 0x5A)
      : width_(width), height_(height), stride_(width * 4 + 8),
        bytes_(static_cast<std::size_t>(stride_) * height, 0xEE) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) Set(x, y, fill, alpha);
  }
  BgraSurface Surface() { return {bytes_.data(), width_, height_, stride_}; }
  COLORREF At(int x, int y) const {
    const std::uint8_t* p = &bytes_[static_cast<std::size_t>(y) * stride_ + x * 4];
    return RGB(p[2], p[1], p[0]);
  }
  std::uint8_t AlphaAt(int x, int y) const { return bytes_[static_cast<std::size_t>(y) * stride_ + x * 4 + 3]; }
  bool PaddingIntact() const {
    for (int y = 0; y < height_; ++y)
      for (int i = width_ * 4; i < stride_; ++i)
        if (bytes_[static_cast<std::size_t>(y) * stride_ + i] != 0xEE) return false;
    return true;
  }
  // The rows as text: '#' for ink, '.' for paper, 'o' for any other colour.
  std::vector<std::string> Picture(COLORREF ink, COLORREF paper) const {
    std::vector<std::string> rows;
    for (int y = 0; y < height_; ++y) {
      std::string row;
      for (int x = 0; x < width_; ++x) row += At(x, y) == ink ? '#' : At(x, y) == paper ? '.' : 'o';
      rows.push_back(row);
    }
    return rows;
  }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  void Set(int x, int y, COLORREF color, std::uint8_t alpha) {
    std::uint8_t* p = &bytes_[static_cast<std::size_t>(y) * stride_ + x * 4];
    p[0] = GetBValue(color), p[1] = GetGValue(color), p[2] = GetRValue(color), p[3] = alpha;
  }
  int width_, height_, stride_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace win::text::testing
