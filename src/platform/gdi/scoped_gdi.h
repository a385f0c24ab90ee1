// Owners for GDI handles and selections: an object deleted when its owner ends, and an object
// selected into a context for a scope, the previous one selected back at its end.
#pragma once

#include <type_traits>
#include <utility>

#include "platform/gdi/gdi.h"

namespace win {

// Owns one GDI object (a context is deleted with DeleteDC, every other object with
// DeleteObject). Movable, not copyable; a null handle owns nothing.
template <class H>
class ScopedGdiObject {
  static_assert(std::is_pointer_v<H>, "a GDI handle type");

 public:
  ScopedGdiObject() = default;
  explicit ScopedGdiObject(H handle) : handle_(handle) {}
  ~ScopedGdiObject() { Reset(); }
  ScopedGdiObject(ScopedGdiObject&& other) noexcept : handle_(other.Detach()) {}
  ScopedGdiObject& operator=(ScopedGdiObject&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }
  ScopedGdiObject(const ScopedGdiObject&) = delete;
  ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;

  H Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

  // Deletes what is held and takes `handle` instead.
  void Reset(H handle = nullptr) {
    const H old = std::exchange(handle_, handle);
    if (old != nullptr) Delete(old);
  }
  // Gives up the handle without deleting it.
  H Detach() { return std::exchange(handle_, nullptr); }

 private:
  static void Delete(H handle) {
    if constexpr (std::is_same_v<H, HDC>) {
      DeleteDC(handle);
    } else {
      DeleteObject(handle);
    }
  }

  H handle_ = nullptr;
};

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
