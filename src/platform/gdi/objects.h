// The GDI object table and the objects the raster engine keeps in it. Internal to the
// platform layer: other areas (text, user) reach it through dc_access.h.
#pragma once

#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/core/types.h"
#include "platform/gdi/gdi_types.h"
#include "platform/gdi/region.h"
#include "platform/gdi/surface.h"

namespace win::gdi {

// Every GDI call holds this lock for its whole duration; it is recursive so that calls may
// use other calls.
std::recursive_mutex& EngineMutex();
using EngineLock = std::unique_lock<std::recursive_mutex>;
inline EngineLock LockEngine() { return EngineLock(EngineMutex()); }

class GdiObject {
 public:
  virtual ~GdiObject() = default;
  virtual DWORD Type() const = 0;  // an OBJ_ value
  // Copies the object's record into `buffer` when it holds `size` bytes or more and answers the
  // bytes copied; a null buffer answers the size needed; 0 when the object has no record.
  virtual int Describe(int size, void* buffer, bool wide) const;

  bool stock = false;  // stock objects ignore DeleteObject
};

// Issues a new handle (never one issued before) for the object. Hold the engine lock while
// using what FindObject answers: an object may lose its last other reference meanwhile.
HGDIOBJ RegisterObject(std::shared_ptr<GdiObject> object);
std::shared_ptr<GdiObject> FindObject(HGDIOBJ handle);
template <class T>
std::shared_ptr<T> FindAs(HGDIOBJ handle) {
  return std::dynamic_pointer_cast<T>(FindObject(handle));
}
bool UnregisterObject(HGDIOBJ handle);

class DeviceContext;

// Releases what calloc gave.
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

class BitmapObject : public GdiObject {
 public:
  DWORD Type() const override { return OBJ_BITMAP; }
  int Describe(int size, void* buffer, bool wide) const override;

  Surface surface;
  // Zeroed by calloc, which leaves fresh pages of a large block as the system gave them
  // (already zero) instead of writing them once more.
  std::unique_ptr<std::uint8_t, FreeDeleter> storage;
  bool dib_section = false;
  BITMAPINFOHEADER dib_header;     // DIB sections: the header they were made from
  DeviceContext* selected_in = nullptr;  // a bitmap is selected into at most one DC
};

// Allocates zeroed pixel memory; nullptr when the size is not allowed.
std::shared_ptr<BitmapObject> MakeBitmap(int width, int height, int bits_per_pixel, int alignment,
                                         bool top_down);

class BrushObject : public GdiObject {
 public:
  DWORD Type() const override { return OBJ_BRUSH; }
  int Describe(int size, void* buffer, bool wide) const override;
  LOGBRUSH brush;
};

class PenObject : public GdiObject {
 public:
  DWORD Type() const override { return OBJ_PEN; }
  int Describe(int size, void* buffer, bool wide) const override;
  LOGPEN pen;
};

class PaletteObject : public GdiObject {
 public:
  DWORD Type() const override { return OBJ_PAL; }
  int Describe(int size, void* buffer, bool wide) const override;
  std::vector<PALETTEENTRY> entries;
};

class RegionObject : public GdiObject {
 public:
  DWORD Type() const override { return OBJ_REGION; }
  Region region;
};

// Placeholder for the stock fonts until the text engine realises them; it knows its index.
class StockFontObject : public GdiObject {
 public:
  explicit StockFontObject(int index) : stock_index(index) {}
  DWORD Type() const override { return OBJ_FONT; }
  int Describe(int size, void* buffer, bool wide) const override;
  int stock_index;
};

// Largest number of palette entries accepted.
constexpr UINT kMaxPaletteEntries = 1024;

std::shared_ptr<PaletteObject> DefaultPalette();

}  // namespace win::gdi
