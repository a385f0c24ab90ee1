// Test helpers: memory contexts over DIB sections whose pixels the tests read directly.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include <string>

#include "platform/gdi/dc_access.h"
#include "platform/gdi/gdi.h"

namespace win::gdi_test {

// A BITMAPINFO with room for a full colour table.
struct DibInfo {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];

  DibInfo(int width, int height, int bits, std::vector<RGBQUAD> table = {}) {
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bits);
    header.biCompression = BI_RGB;
    header.biClrUsed = static_cast<DWORD>(table.size());
    for (std::size_t i = 0; i < table.size() && i < 256; ++i) colours[i] = table[i];
  }
  const BITMAPINFO* info() const { return reinterpret_cast<const BITMAPINFO*>(this); }
  BITMAPINFO* info() { return reinterpret_cast<BITMAPINFO*>(this); }
};

// A memory context with a DIB section selected; 32 bits top-down unless asked otherwise.
class Canvas {
 public:
  Canvas(int width, int height, int bits = 32, int height_sign = -1, std::vector<RGBQUAD> table = {})
      : width_(width), height_(height) {
    DibInfo info(width, height * height_sign, bits, std::move(table));
    dc_ = CreateCompatibleDC(nullptr);
    void* pixels = nullptr;
    bitmap_ = CreateDIBSection(dc_, info.info(), DIB_RGB_COLORS, &pixels, nullptr, 0);
    bits_ = static_cast<std::uint8_t*>(pixels);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_; }
  HBITMAP bitmap() const { return bitmap_; }
  std::uint8_t* bits() const { return bits_; }
  // 32-bit canvases only: the pixel as 0x00RRGGBB.
  std::uint32_t At(int x, int y) const {
    std::uint32_t v;
    std::memcpy(&v, bits_ + (static_cast<std::size_t>(y) * width_ + x) * 4, 4);
    return v & 0xFFFFFF;
  }
  std::uint32_t RawAt(int x, int y) const {
    std::uint32_t v;
    std::memcpy(&v, bits_ + (static_cast<std::size_t>(y) * width_ + x) * 4, 4);
    return v;
  }
  void Set(int x, int y, std::uint32_t v) {
    std::memcpy(bits_ + (static_cast<std::size_t>(y) * width_ + x) * 4, &v, 4);
  }
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
  int width_;
  int height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  std::uint8_t* bits_ = nullptr;
};

// A context on the virtual screen; the caller deletes it.
inline HDC ScreenDC() { return gdi::CreateScreenDC(); }

// A solid brush selected for the lifetime of the object.
class ScopedBrush {
 public:
  ScopedBrush(HDC dc, COLORREF colour) : dc_(dc), brush_(CreateSolidBrush(colour)) {
    old_ = SelectObject(dc_, brush_);
  }
  ~ScopedBrush() {
    SelectObject(dc_, old_);
    DeleteObject(brush_);
  }
  HBRUSH get() const { return brush_; }

 private:
  HDC dc_;
  HBRUSH brush_;
  HGDIOBJ old_;
};

}  // namespace win::gdi_test
