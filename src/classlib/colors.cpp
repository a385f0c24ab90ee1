#include "classlib/graphics.h"
#include "platform/gdi/gdi.h"

namespace dashtune {
namespace {

// The platform's colour of a system colour index: a brush handle of index + 1 paints it.
win::COLORREF SystemColour(int index) {
  win::BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(win::BITMAPINFOHEADER);
  info.bmiHeader.biWidth = 1;
  info.bmiHeader.biHeight = 1;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  win::HBITMAP pixel = win::CreateDIBSection(nullptr, &info, win::DIB_RGB_COLORS, &bits, nullptr, 0);
  win::HDC dc = win::CreateCompatibleDC(nullptr);
  win::HGDIOBJ old = win::SelectObject(dc, pixel);
  const win::RECT one{0, 0, 1, 1};
  win::FillRect(dc, &one, reinterpret_cast<win::HBRUSH>(static_cast<win::INT_PTR>(index + 1)));
  const win::COLORREF colour = win::GetPixel(dc, 0, 0);
  win::SelectObject(dc, old);
  win::DeleteDC(dc);
  win::DeleteObject(pixel);
  return colour;
}

}  // namespace

win::COLORREF ColorToRGB(TColor color) {
  if (color < 0) return SystemColour(color & 0xFF);
  return static_cast<win::COLORREF>(color) & 0xFFFFFF;
}

}  // namespace dashtune
