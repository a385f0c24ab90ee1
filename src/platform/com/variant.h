// The least variant the platform's callers read: empty, a wide string, an unsigned 64-bit
// number or a date. The string is held by value, so a variant owns what it carries.
#pragma once

#include "platform/com/result.h"
#include "platform/core/types.h"

#include <string>

namespace win {

enum VARTYPE_VALUES : WORD { VT_EMPTY = 0, VT_DATE = 7, VT_BSTR = 8, VT_UI8 = 21 };

// Days since 1899-12-30, the fraction being the time of day.
using DATE = double;

struct VARIANT {
  WORD vt = VT_EMPTY;
  std::u16string bstrVal;
  ULONGLONG ullVal = 0;
  DATE date = 0;
};

inline void VariantInit(VARIANT* value) {
  if (value != nullptr) *value = VARIANT{};
}

// Empties the variant (freeing its string); E_INVALIDARG for a null one.
inline HRESULT VariantClear(VARIANT* value) {
  if (value == nullptr) return E_INVALIDARG;
  *value = VARIANT{};
  return S_OK;
}

}  // namespace win
