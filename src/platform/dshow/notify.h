// Delivery of the graph's notification message to the window its client named.
#pragma once

#include "platform/core/types.h"

namespace win {

// Posts `message` with lParam `instance` to the window; called on any thread.
void PostGraphNotification(LONG_PTR window, LONG message, LONG_PTR instance);

}  // namespace win
