// The GDI object table and the objects the raster engine keeps in it. Internal to the
// platform layer: other areas (text, user) reach it through dc_access.h.
#pragma once

#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <typeinfo>
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

// Issues a new handle (never one issued before) for the object.
HGDIOBJ RegisterObject(std::shared_ptr<GdiObject> object);
// The object of a handle, shared: for keeping it past the engine lock or past its handle's
// unregistering (a context's selection). Hold the engine lock while using it all the same: an
// object may lose its last other reference meanwhile.
std::shared_ptr<GdiObject> FindObject(HGDIOBJ handle);
// The object of a handle, borrowed: valid while the caller holds the engine lock and does not
// unregister the handle. Every GDI call holds the lock for its whole run, so a lookup that is
// only read or drawn on borrows and touches no reference count.
GdiObject* BorrowObject(HGDIOBJ handle);
bool UnregisterObject(HGDIOBJ handle);
// A stock object (made on first use, kept for the process) and its handle, without a table
// look-up; nullptr and a null handle for an unknown index. Hold the engine lock.
std::shared_ptr<GdiObject> StockObject(int index, HGDIOBJ* handle);

// Every object class is final, so the exact type test is the cast check (no dynamic_cast).
template <class T>
bool IsA(const GdiObject* object) {
  static_assert(std::is_final_v<T>, "GDI object classes are final");
  return object != nullptr && typeid(*object) == typeid(T);
}
template <class T>
std::shared_ptr<T> SharedAs(std::shared_ptr<GdiObject> object) {
  return IsA<T>(object.get()) ? std::static_pointer_cast<T>(std::move(object)) : nullptr;
}
template <class T>
std::shared_ptr<T> FindAs(HGDIOBJ handle) {
  return SharedAs<T>(FindObject(handle));
}
template <class T>
T* BorrowAs(HGDIOBJ handle) {
  GdiObject* object = BorrowObject(handle);
  return IsA<T>(object) ? static_cast<T*>(object) : nullptr;
}

class DeviceContext;

// Releases what calloc gave.
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

class BitmapObject final : public GdiObject {
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

class BrushObject final : public GdiObject {
 public:
  DWORD Type() const override { return OBJ_BRUSH; }
  int Describe(int size, void* buffer, bool wide) const override;
  LOGBRUSH brush;
};

class PenObject final : public GdiObject {
 public:
  DWORD Type() const override { return OBJ_PEN; }
  int Describe(int size, void* buffer, bool wide) const override;
  LOGPEN pen;
};

class PaletteObject final : public GdiObject {
 public:
  DWORD Type() const override { return OBJ_PAL; }
  int Describe(int size, void* buffer, bool wide) const override;
  std::vector<PALETTEENTRY> entries;
};

class RegionObject final : public GdiObject {
 public:
  DWORD Type() const override { return OBJ_REGION; }
  Region region;
};

// Placeholder for the stock fonts until the text engine realises them; it knows its index.
class StockFontObject final : public GdiObject {
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
