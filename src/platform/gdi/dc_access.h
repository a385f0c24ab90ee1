// The raster engine's interface for the other platform areas.
//
// Text engine: read a context's text state with GetTextState, then draw glyphs with
// BlendCoverage (8-bit coverage blended in the text colour, clipped and mapped like every other
// drawing call) and FillSolidRect (opaque backgrounds). Hold LockEngine() around a sequence of
// calls that must see one consistent state.
// Fonts are GDI objects: derive from GdiObject (Type() == OBJ_FONT), RegisterObject it and give
// out the handle; SelectObject stores the handle and GetObject calls Describe. Stock fonts are
// StockFontObject placeholders until SetStockFontMaker installs the real maker.
//
// Windows: CreateSurfaceDC makes a context that draws into a window's top-level 32-bit surface
// at a device origin, limited to a visible region (child clipping); DeleteDC releases it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/types.h"
#include "platform/gdi/device_context.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/region.h"

namespace win::gdi {

struct TextState {
  HFONT font = nullptr;
  COLORREF text_colour = 0;  // palette forms already resolved to RGB
  COLORREF bk_colour = 0;
  int bk_mode = OPAQUE;
  UINT text_align = 0;
  POINT position;  // current position, logical coordinates
};
bool GetTextState(HDC dc, TextState* state);
bool SetCurrentPosition(HDC dc, POINT position);

// Blends `colour` over a width x height block at logical (x, y): each pixel takes
// colour x c / 255 + destination x (255 - c) / 255 with c its coverage byte (rounded).
bool BlendCoverage(HDC dc, int x, int y, int width, int height, const std::uint8_t* coverage,
                   std::ptrdiff_t coverage_stride, COLORREF colour);
// Fills a logical rectangle with a colour, clipped (ExtTextOut's opaque box).
bool FillSolidRect(HDC dc, const RECT& rect, COLORREF colour);

// Fonts.
using StockFontMaker = std::function<std::shared_ptr<GdiObject>(int stock_index)>;
void SetStockFontMaker(StockFontMaker maker);
int StockFontIndex(HFONT font);  // -1 when the handle is not a stock placeholder

// Window surfaces: 32-bit pixels, blue-green-red-alpha, rows top-down, `stride` bytes apart.
struct SurfaceDesc {
  std::uint8_t* bits = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;
};
// `origin`: where device (0, 0) lies on the surface; `visible`: the area the context may draw
// in, device coordinates (nullptr: the whole surface).
HDC CreateSurfaceDC(const SurfaceDesc& surface, POINT origin, const Region* visible);
bool SetSurfaceDCGeometry(HDC dc, const SurfaceDesc& surface, POINT origin, const Region* visible);
// A context on the virtual screen: it answers the screen's capabilities and draws nothing.
HDC CreateScreenDC();

// System colours for edges, focus rectangles and COLOR_ brushes; user installs its table.
using SystemColourSource = COLORREF (*)(int index);
void SetSystemColourSource(SystemColourSource source);

// The virtual screen that GetDeviceCaps describes.
struct VirtualScreen {
  int width = 1024;
  int height = 768;
  int bits_per_pixel = 32;
  int dpi = 96;
};
// Refuses (false) a depth other than 1, 4, 8, 16, 24 or 32 bits and sizes out of range.
bool SetVirtualScreen(const VirtualScreen& screen);
VirtualScreen GetVirtualScreen();

}  // namespace win::gdi
