#include "platform/user/messages.h"
#include "platform/user/window_table.h"

namespace win::user_detail {

// Windows have no update regions yet: nothing ever needs painting.
bool NeedsPaintLocked(const ThreadQueue&) { return false; }

bool TakePaintMessageLocked(ThreadQueue&, HWND, UINT, UINT, MSG*) { return false; }

LRESULT DefaultPaint(HWND, UINT message, WPARAM) { return message == WM_ERASEBKGND ? 0 : 0; }

void WindowCreated(HWND) {}
void WindowDestroying(HWND) {}
void StyleChanged(HWND, INT, DWORD, DWORD) {}

}  // namespace win::user_detail
