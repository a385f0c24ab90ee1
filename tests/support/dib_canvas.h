// Test and benchmark surfaces: a memory context with a DIB section selected, whose pixels the
// caller reads and writes directly.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"

namespace dashtune::testing {

// A BITMAPINFO with room for a full colour table.
struct DibInfo {
  win::BITMAPINFOHEADER header{};
  win::RGBQUAD colours[256]{};

  DibInfo(int width, int height, int bits, const std::vector<win::RGBQUAD>& table = {}) {
    header.biSize = sizeof(win::BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<win::WORD>(bits);
    header.biCompression = win::BI_RGB;
    header.biClrUsed = static_cast<win::DWORD>(table.size());
    for (std::size_t i = 0; i < table.size() && i < 256; ++i) colours[i] = table[i];
  }
  const win::BITMAPINFO* info() const { return reinterpret_cast<const win::BITMAPINFO*>(this); }
  win::BITMAPINFO* info() { return reinterpret_cast<win::BITMAPINFO*>(this); }
};

// A memory context with a DIB section selected; 32 bits top-down unless asked otherwise
// (height_sign +1: bottom-up rows).
class DibCanvas {
 public:
  DibCanvas(int width, int height, int bits = 32, int height_sign = -1,
            const std::vector<win::RGBQUAD>& table = {})
      : width_(width), height_(height), dc_(win::CreateCompatibleDC(nullptr)),
        bitmap_(CreateSection(dc_.Get(), DibInfo(width, height * height_sign, bits, table), &bits_)),
        selection_(dc_.Get(), bitmap_.Get()) {}

  win::HDC dc() const { return dc_.Get(); }
  win::HBITMAP bitmap() const { return bitmap_.Get(); }
  std::uint8_t* bits() const { return bits_; }
  int width() const { return width_; }
  int height() const { return height_; }

  // 32-bit canvases only: the pixel as 0x00RRGGBB, the raw pixel, writing and filling.
  std::uint32_t At(int x, int y) const { return RawAt(x, y) & 0xFFFFFF; }
  std::uint32_t RawAt(int x, int y) const {
    std::uint32_t v;
    std::memcpy(&v, PixelAt(x, y), 4);
    return v;
  }
  void Set(int x, int y, std::uint32_t v) { std::memcpy(PixelAt(x, y), &v, 4); }
  void Fill(std::uint32_t v) {
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) Set(x, y, v);
  }
  // Rows as text, one character per pixel: '#' where the pixel equals `ink`, '.' elsewhere.
  std::vector<std::string> Picture(std::uint32_t ink) const {
    std::vector<std::string> rows;
    for (int y = 0; y < height_; ++y) {
      std::string row;
      for (int x = 0; x < width_; ++x) row += At(x, y) == ink ? '#' : '.';
      rows.push_back(row);
    }
    return rows;
  }

 private:
  static win::HBITMAP CreateSection(win::HDC dc, const DibInfo& info, std::uint8_t** bits) {
    void* pixels = nullptr;
    const win::HBITMAP bitmap = win::CreateDIBSection(dc, info.info(), win::DIB_RGB_COLORS, &pixels, nullptr, 0);
    *bits = static_cast<std::uint8_t*>(pixels);
    return bitmap;
  }
  std::uint8_t* PixelAt(int x, int y) const {
    return bits_ + (static_cast<std::size_t>(y) * width_ + x) * 4;
  }

  int width_;
  int height_;
  std::uint8_t* bits_ = nullptr;
  win::ScopedGdiObject<win::HDC> dc_;
  win::ScopedGdiObject<win::HBITMAP> bitmap_;
  win::ScopedSelect selection_;
};

}  // namespace dashtune::testing
