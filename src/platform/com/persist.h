// IPersist: an object that answers the class that can make it again. The shell's folders and
// link files and the media graph's filters all derive from it, so it is defined once here.
#pragma once

#include "platform/com/guid.h"
#include "platform/com/result.h"
#include "platform/com/unknown.h"

namespace win {

class IPersist : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("0000010C-0000-0000-C000-000000000046");
  virtual HRESULT GetClassID(CLSID* clsid) = 0;
};

inline constexpr IID IID_IPersist = IPersist::iid;

}  // namespace win
