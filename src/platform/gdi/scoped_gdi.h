// Owners for GDI handles and selections: an object deleted when its owner ends, and an object
// selected into a context for a scope, the previous one selected back at its end.
#pragma once

#include <type_traits>

#include "platform/core/unique_handle.h"
#include "platform/gdi/gdi.h"

namespace win {

// Deletes a context with DeleteDC and every other GDI object with DeleteObject; null owns nothing.
template <class H>
struct GdiObjectTraits {
  static_assert(std::is_pointer_v<H>, "a GDI handle type");
  static bool Owns(H handle) { return handle != nullptr; }
  static void Release(H handle) {
    if constexpr (std::is_same_v<H, HDC>) {
      DeleteDC(handle);
    } else {
      DeleteObject(handle);
    }
  }
};

// Owns one GDI object. Movable, not copyable.
template <class H>
using ScopedGdiObject = UniqueHandle<H, GdiObjectTraits<H>>;

// Selects an object (bitmap, brush, pen, font) into a context for the scope and selects the
// previous object back at its end. A failed selection (null context or object) restores nothing.
// Regions are copied by SelectObject, not selected, so they have no use for this type.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object)
      : dc_(dc), previous_(dc != nullptr && object != nullptr ? SelectObject(dc, object) : nullptr) {}
  ~ScopedSelect() {
    if (previous_ != nullptr) SelectObject(dc_, previous_);
  }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

  // The object that was selected before; null when the selection failed.
  HGDIOBJ Previous() const { return previous_; }
  explicit operator bool() const { return previous_ != nullptr; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace win
