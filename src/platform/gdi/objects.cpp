#include "platform/gdi/objects.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "platform/gdi/dc_access.h"
#include "platform/gdi/device_context.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/palette_tables.h"

namespace win::gdi {
namespace {

struct ObjectTable {
  std::unordered_map<std::uintptr_t, std::shared_ptr<GdiObject>> objects;
  // Handles start well above the system colour brushes (1..31) and are never reused.
  std::uintptr_t next_handle = 0x10000;
  std::array<HGDIOBJ, DEFAULT_GUI_FONT + 1> stock{};
  std::array<std::shared_ptr<GdiObject>, DEFAULT_GUI_FONT + 1> stock_objects;  // never unregistered
  StockFontMaker font_maker;
};

ObjectTable& Table() {
  static ObjectTable* table = new ObjectTable();  // lives for the whole process
  return *table;
}

template <class Record>
int CopyRecord(const Record& record, int size, void* buffer) {
  if (buffer == nullptr) return static_cast<int>(sizeof(Record));
  if (size < static_cast<int>(sizeof(Record))) return 0;
  std::memcpy(buffer, &record, sizeof(Record));
  return static_cast<int>(sizeof(Record));
}

std::shared_ptr<GdiObject> MakeStockObject(int index) {
  auto brush = [](UINT style, COLORREF colour) {
    auto object = std::make_shared<BrushObject>();
    object->brush = LOGBRUSH{style, colour, 0};
    return object;
  };
  auto pen = [](int style, COLORREF colour) {
    auto object = std::make_shared<PenObject>();
    object->pen = LOGPEN{static_cast<UINT>(style), POINT{1, 0}, colour};
    return object;
  };
  switch (index) {
    case WHITE_BRUSH: return brush(BS_SOLID, RGB(255, 255, 255));
    case LTGRAY_BRUSH: return brush(BS_SOLID, RGB(192, 192, 192));
    case GRAY_BRUSH: return brush(BS_SOLID, RGB(128, 128, 128));
    case DKGRAY_BRUSH: return brush(BS_SOLID, RGB(64, 64, 64));
    case BLACK_BRUSH: return brush(BS_SOLID, RGB(0, 0, 0));
    case NULL_BRUSH: return brush(BS_NULL, 0);
    case WHITE_PEN: return pen(PS_SOLID, RGB(255, 255, 255));
    case BLACK_PEN: return pen(PS_SOLID, RGB(0, 0, 0));
    case NULL_PEN: return pen(PS_NULL, 0);
    case DEFAULT_PALETTE: return DefaultPalette();
    case OEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
    case ANSI_VAR_FONT:
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT:
    case SYSTEM_FIXED_FONT:
    case DEFAULT_GUI_FONT: {
      ObjectTable& table = Table();
      if (table.font_maker) {
        if (auto font = table.font_maker(index)) return font;
      }
      return std::make_shared<StockFontObject>(index);
    }
    default: return nullptr;
  }
}

}  // namespace

std::recursive_mutex& EngineMutex() {
  static std::recursive_mutex* mutex = new std::recursive_mutex();
  return *mutex;
}

int GdiObject::Describe(int, void*, bool) const { return 0; }

HGDIOBJ RegisterObject(std::shared_ptr<GdiObject> object) {
  if (!object) return nullptr;
  EngineLock lock = LockEngine();
  ObjectTable& table = Table();
  const std::uintptr_t value = table.next_handle;
  table.next_handle += 4;
  table.objects.emplace(value, std::move(object));
  return reinterpret_cast<HGDIOBJ>(value);
}

std::shared_ptr<GdiObject> FindObject(HGDIOBJ handle) {
  EngineLock lock = LockEngine();
  const auto& objects = Table().objects;
  auto found = objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == objects.end() ? nullptr : found->second;
}

GdiObject* BorrowObject(HGDIOBJ handle) {
  const auto& objects = Table().objects;
  auto found = objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == objects.end() ? nullptr : found->second.get();
}

bool UnregisterObject(HGDIOBJ handle) {
  EngineLock lock = LockEngine();
  return Table().objects.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
}

std::shared_ptr<BitmapObject> MakeBitmap(int width, int height, int bits_per_pixel, int alignment,
                                         bool top_down) {
  if (!SizeAllowed(width, height, bits_per_pixel, alignment)) return nullptr;
  auto bitmap = std::make_shared<BitmapObject>();
  Surface& s = bitmap->surface;
  s.width = width;
  s.height = height;
  s.bits_per_pixel = bits_per_pixel;
  s.top_down = top_down;
  s.stride = static_cast<std::ptrdiff_t>(DibRowStride(width, bits_per_pixel, alignment));
  const std::size_t bytes = static_cast<std::size_t>(s.stride) * static_cast<std::size_t>(height);
  bitmap->storage.reset(static_cast<std::uint8_t*>(std::calloc(bytes, 1)));
  if (!bitmap->storage) return nullptr;
  s.bits = bitmap->storage.get();
  return bitmap;
}

int BitmapObject::Describe(int size, void* buffer, bool) const {
  BITMAP bm;
  bm.bmType = 0;
  bm.bmWidth = surface.width;
  bm.bmHeight = surface.height;
  bm.bmWidthBytes = static_cast<LONG>(surface.stride);
  bm.bmPlanes = 1;
  bm.bmBitsPixel = static_cast<WORD>(surface.bits_per_pixel);
  bm.bmBits = dib_section ? surface.bits : nullptr;
  if (dib_section && (buffer == nullptr || size >= static_cast<int>(sizeof(DIBSECTION)))) {
    DIBSECTION ds;
    ds.dsBm = bm;
    ds.dsBmih = dib_header;
    return CopyRecord(ds, size, buffer);
  }
  return CopyRecord(bm, size, buffer);
}

int BrushObject::Describe(int size, void* buffer, bool) const { return CopyRecord(brush, size, buffer); }

int PenObject::Describe(int size, void* buffer, bool) const { return CopyRecord(pen, size, buffer); }

int PaletteObject::Describe(int size, void* buffer, bool) const {
  return CopyRecord(static_cast<WORD>(entries.size()), size, buffer);
}

int StockFontObject::Describe(int, void*, bool) const { return 0; }

std::shared_ptr<PaletteObject> DefaultPalette() {
  static const std::shared_ptr<PaletteObject> palette = [] {
    auto object = std::make_shared<PaletteObject>();
    object->stock = true;
    const auto& colours = DefaultPaletteColours();
    object->entries.assign(colours.begin(), colours.end());
    return object;
  }();
  return palette;
}

std::shared_ptr<GdiObject> StockObject(int index, HGDIOBJ* handle) {
  ObjectTable& table = Table();
  *handle = nullptr;
  if (index < 0 || index >= static_cast<int>(table.stock.size())) return nullptr;
  const auto slot = static_cast<std::size_t>(index);
  if (table.stock[slot] == nullptr) {
    std::shared_ptr<GdiObject> object = MakeStockObject(index);
    if (!object) return nullptr;
    object->stock = true;
    table.stock_objects[slot] = object;
    table.stock[slot] = RegisterObject(std::move(object));
  }
  *handle = table.stock[slot];
  return table.stock_objects[slot];
}

void SetStockFontMaker(StockFontMaker maker) {
  EngineLock lock = LockEngine();
  Table().font_maker = std::move(maker);
}

int StockFontIndex(HFONT font) {
  EngineLock lock = LockEngine();
  const auto* object = BorrowAs<StockFontObject>(font);
  return object != nullptr ? object->stock_index : -1;
}

}  // namespace win::gdi

namespace win {

using namespace win::gdi;

HGDIOBJ GetStockObject(int index) {
  EngineLock lock = LockEngine();
  HGDIOBJ handle = nullptr;
  StockObject(index, &handle);
  return handle;
}

BOOL DeleteObject(HGDIOBJ handle) {
  EngineLock lock = LockEngine();
  const GdiObject* object = BorrowObject(handle);
  if (object == nullptr) return FALSE;
  if (object->stock) return TRUE;
  if (IsA<DeviceContext>(object)) return FALSE;
  // A context that still has the object selected keeps it alive until it selects another.
  return UnregisterObject(handle) ? TRUE : FALSE;
}

int GetObjectA(HGDIOBJ handle, int size, LPVOID buffer) {
  EngineLock lock = LockEngine();
  const GdiObject* object = BorrowObject(handle);
  if (object == nullptr || size < 0) return 0;
  return object->Describe(size, buffer, false);
}

int GetObjectW(HGDIOBJ handle, int size, LPVOID buffer) {
  EngineLock lock = LockEngine();
  const GdiObject* object = BorrowObject(handle);
  if (object == nullptr || size < 0) return 0;
  return object->Describe(size, buffer, true);
}

DWORD GetObjectType(HGDIOBJ handle) {
  EngineLock lock = LockEngine();
  const GdiObject* object = BorrowObject(handle);
  return object != nullptr ? object->Type() : 0;
}

BOOL GdiFlush() { return TRUE; }  // drawing is never batched

HBRUSH CreateSolidBrush(COLORREF color) {
  LOGBRUSH brush{BS_SOLID, color, 0};
  return CreateBrushIndirect(&brush);
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* brush) {
  if (brush == nullptr || (brush->lbStyle != BS_SOLID && brush->lbStyle != BS_NULL)) return nullptr;
  auto object = std::make_shared<BrushObject>();
  object->brush = *brush;
  object->brush.lbHatch = 0;
  return static_cast<HBRUSH>(RegisterObject(std::move(object)));
}

HPEN CreatePen(int style, int width, COLORREF color) {
  LOGPEN pen{static_cast<UINT>(style), POINT{width, 0}, color};
  return CreatePenIndirect(&pen);
}

HPEN CreatePenIndirect(const LOGPEN* pen) {
  constexpr LONG kMaxPenWidth = 1024;
  if (pen == nullptr || pen->lopnStyle > PS_INSIDEFRAME || pen->lopnWidth.x < 0 ||
      pen->lopnWidth.x > kMaxPenWidth)
    return nullptr;
  auto object = std::make_shared<PenObject>();
  object->pen = *pen;
  object->pen.lopnWidth.y = 0;
  return static_cast<HPEN>(RegisterObject(std::move(object)));
}

}  // namespace win
