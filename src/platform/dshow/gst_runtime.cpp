#include "platform/dshow/gst_runtime.h"

#include <gst/gst.h>

#include <mutex>

namespace win::gst {

bool EnsureStarted() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] { started = gst_init_check(nullptr, nullptr, nullptr) == TRUE; });
  return started;
}

}  // namespace win::gst
