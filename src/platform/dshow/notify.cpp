#include "platform/dshow/notify.h"

#include "platform/user/messages.h"

namespace win {

void PostGraphNotification(LONG_PTR window, LONG message, LONG_PTR instance) {
  PostMessageW(reinterpret_cast<HWND>(window), static_cast<UINT>(message), 0, instance);
}

}  // namespace win
