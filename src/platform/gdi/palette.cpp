// Logical palettes. Contexts draw in true colour or into a bitmap's own colour table; a
// context's palette resolves PALETTEINDEX colours and is what RealizePalette reports.
#include <algorithm>

#include "platform/gdi/device_context.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/palette_tables.h"

namespace win {

using namespace win::gdi;

HPALETTE CreatePalette(const LOGPALETTE* palette) {
  if (palette == nullptr || palette->palVersion != 0x300 || palette->palNumEntries == 0 ||
      palette->palNumEntries > kMaxPaletteEntries)
    return nullptr;
  auto object = std::make_shared<PaletteObject>();
  const PALETTEENTRY* entries = palette->palPalEntry;
  object->entries.assign(entries, entries + palette->palNumEntries);
  return static_cast<HPALETTE>(RegisterObject(std::move(object)));
}

HPALETTE CreateHalftonePalette(HDC dc) {
  EngineLock lock = LockEngine();
  if (dc != nullptr && !BorrowDC(dc)) return nullptr;
  auto object = std::make_shared<PaletteObject>();
  const auto& colours = HalftoneColours();
  object->entries.assign(colours.begin(), colours.end());
  return static_cast<HPALETTE>(RegisterObject(std::move(object)));
}

UINT GetPaletteEntries(HPALETTE handle, UINT start, UINT count, PALETTEENTRY* entries) {
  EngineLock lock = LockEngine();
  auto* palette = BorrowAs<PaletteObject>(handle);
  if (!palette) return 0;
  const UINT size = static_cast<UINT>(palette->entries.size());
  if (entries == nullptr) return size;
  if (start >= size) return 0;
  const UINT n = std::min(count, size - start);
  std::copy_n(palette->entries.begin() + start, n, entries);
  return n;
}

UINT SetPaletteEntries(HPALETTE handle, UINT start, UINT count, const PALETTEENTRY* entries) {
  EngineLock lock = LockEngine();
  auto* palette = BorrowAs<PaletteObject>(handle);
  if (!palette || palette->stock || entries == nullptr) return 0;
  const UINT size = static_cast<UINT>(palette->entries.size());
  if (start >= size) return 0;
  const UINT n = std::min(count, size - start);
  std::copy_n(entries, n, palette->entries.begin() + start);
  return n;
}

BOOL ResizePalette(HPALETTE handle, UINT count) {
  EngineLock lock = LockEngine();
  auto* palette = BorrowAs<PaletteObject>(handle);
  if (!palette || palette->stock || count == 0 || count > kMaxPaletteEntries) return FALSE;
  palette->entries.resize(count, PALETTEENTRY{});  // new entries are black
  return TRUE;
}

HPALETTE SelectPalette(HDC handle, HPALETTE palette_handle, BOOL) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  auto palette = FindAs<PaletteObject>(palette_handle);  // shared: the context keeps it
  if (!dc || !palette) return nullptr;
  HPALETTE previous = static_cast<HPALETTE>(dc->state.palette_handle);
  dc->state.palette_handle = palette_handle;
  dc->state.palette = std::move(palette);
  return previous;
}

UINT RealizePalette(HDC handle) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc) return GDI_ERROR;
  // The default palette is always realised; another maps all of its entries.
  if (!dc->state.palette || dc->state.palette->stock) return 0;
  return static_cast<UINT>(dc->state.palette->entries.size());
}

UINT GetNearestPaletteIndex(HPALETTE handle, COLORREF color) {
  EngineLock lock = LockEngine();
  auto* palette = BorrowAs<PaletteObject>(handle);
  if (!palette || palette->entries.empty()) return CLR_INVALID;
  const auto& entries = palette->entries;
  if ((color >> 24) == 0x01) {
    const UINT index = color & 0xFFFF;
    return index < entries.size() ? index : CLR_INVALID;
  }
  std::vector<RGBQUAD> table;
  table.reserve(entries.size());
  for (const PALETTEENTRY& e : entries) table.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
  return NearestIndex(table.data(), table.size(), RgbFromColorref(color & 0xFFFFFF));
}

UINT GetSystemPaletteEntries(HDC dc, UINT start, UINT count, PALETTEENTRY* entries) {
  EngineLock lock = LockEngine();
  if (!BorrowDC(dc)) return 0;
  // A palette device shows the halftone set; a true-colour screen has no system palette.
  if (GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) {
    const auto& colours = HalftoneColours();
    if (entries == nullptr) return static_cast<UINT>(colours.size());
    if (start >= colours.size()) return 0;
    const UINT n = std::min<UINT>(count, static_cast<UINT>(colours.size()) - start);
    std::copy_n(colours.begin() + start, n, entries);
    return n;
  }
  return 0;
}

}  // namespace win
