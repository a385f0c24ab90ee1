// IUnknown and the reference-counting base for objects that implement interfaces.
// Every interface declares its id as `static constexpr IID iid`.
#pragma once

#include "platform/com/guid.h"
#include "platform/com/result.h"

#include <atomic>
#include <tuple>

namespace win {

class IUnknown {
 public:
  static constexpr IID iid = MakeGuid("00000000-0000-0000-C000-000000000046");

  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;  // freed by the last Release, never through this interface
};

constexpr IID IID_IUnknown = IUnknown::iid;

// Implements counting and QueryInterface for a class that implements the listed interfaces. The
// object starts with a count of 0 (hold it in a ComPtr at once) and deletes itself at the last
// Release. QueryInterface answers IUnknown and each listed interface; a class whose interfaces
// extend others adds those by overriding QueryInterface and calling this one for the rest.
template <class... Interfaces>
class ComObject : public Interfaces... {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == IUnknown::iid) {
      *object = static_cast<IUnknown*>(static_cast<FirstInterface*>(this));
    } else {
      (void)((iid == Interfaces::iid ? (*object = static_cast<Interfaces*>(this), true) : false) || ...);
    }
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }

  ULONG AddRef() override { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }

  ULONG Release() override {
    const ULONG left = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~ComObject() = default;

 private:
  using FirstInterface = std::tuple_element_t<0, std::tuple<Interfaces...>>;
  std::atomic<ULONG> count_{0};
};

}  // namespace win
