// One owner for every kind of platform handle: the handle is released when its owner ends or
// takes another. Each kind says through its traits which values own nothing and how a handle is
// released.
#pragma once

#include <utility>

namespace win {

// Traits: `static bool Owns(H)` (false for the values that name nothing) and
// `static void Release(H)`.
template <class H, class Traits>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(H handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Detach()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  H Get() const { return handle_; }
  explicit operator bool() const { return Traits::Owns(handle_); }

  // Releases what is held and takes `handle` instead.
  void Reset(H handle = H{}) {
    const H old = std::exchange(handle_, handle);
    if (Traits::Owns(old)) Traits::Release(old);
  }
  // Gives up the handle without releasing it.
  H Detach() { return std::exchange(handle_, H{}); }

 private:
  H handle_{};
};

}  // namespace win
