// ComPtr<T>: holds one reference to a counted interface.
#pragma once

#include "platform/com/unknown.h"

#include <utility>

namespace win {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to `pointer`.
  ComPtr(T* pointer) : pointer_(pointer) { AddRefHeld(); }
  ComPtr(const ComPtr& other) : pointer_(other.pointer_) { AddRefHeld(); }
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  template <class U>
  ComPtr(const ComPtr<U>& other) : pointer_(other.Get()) { AddRefHeld(); }
  ~ComPtr() { Reset(); }

  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(pointer_, other.pointer_);
    return *this;
  }

  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  T& operator*() const { return *pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

  // Releases what is held and answers the slot for an out parameter.
  T** ReleaseAndGetAddressOf() {
    Reset();
    return &pointer_;
  }
  T** GetAddressOf() { return &pointer_; }

  void Reset() {
    if (pointer_ != nullptr) std::exchange(pointer_, nullptr)->Release();
  }
  // Adopts a reference the caller already owns.
  void Attach(T* pointer) {
    Reset();
    pointer_ = pointer;
  }
  // Gives up the reference without releasing it.
  T* Detach() { return std::exchange(pointer_, nullptr); }

  // QueryInterface for U into `out`.
  template <class U>
  HRESULT As(ComPtr<U>* out) const {
    if (pointer_ == nullptr) return E_POINTER;
    return pointer_->QueryInterface(U::iid, reinterpret_cast<void**>(out->ReleaseAndGetAddressOf()));
  }

  // Hands an added reference to an out parameter.
  HRESULT CopyTo(T** out) const {
    if (out == nullptr) return E_POINTER;
    *out = pointer_;
    AddRefHeld();
    return S_OK;
  }

  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.pointer_ == b.pointer_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.pointer_ == nullptr; }

 private:
  void AddRefHeld() const {
    if (pointer_ != nullptr) pointer_->AddRef();
  }
  T* pointer_ = nullptr;
};

// Makes a counted object and holds its first reference.
template <class T, class... Args>
ComPtr<T> MakeCom(Args&&... args) {
  return ComPtr<T>(new T(std::forward<Args>(args)...));
}

}  // namespace win
