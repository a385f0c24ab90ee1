// Test helpers: memory contexts over DIB sections whose pixels the tests read directly.
#pragma once

#include "dib_canvas.h"
#include "platform/gdi/dc_access.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"

namespace win::gdi_test {

using dashtune::testing::DibInfo;
using Canvas = dashtune::testing::DibCanvas;

// A context on the virtual screen; the caller deletes it.
inline HDC ScreenDC() { return gdi::CreateScreenDC(); }

// A solid brush selected for the lifetime of the object.
class ScopedBrush {
 public:
  ScopedBrush(HDC dc, COLORREF colour) : brush_(CreateSolidBrush(colour)), selection_(dc, brush_.Get()) {}
  HBRUSH get() const { return brush_.Get(); }

 private:
  ScopedGdiObject<HBRUSH> brush_;
  ScopedSelect selection_;
};

}  // namespace win::gdi_test
