// Inside the window manager: geometry and painting helpers shared by painting and positioning.
// All need UserMutex() held. Not for use outside src/platform/user.
#pragma once

#include "platform/user/window_table.h"

namespace win::user_detail {

bool IsVisibleLocked(const Window& window);
// The top-level ancestor (the window itself when top-level), and where the window's client
// origin lies on its surface.
std::shared_ptr<Window> RootOfLocked(const std::shared_ptr<Window>& window, POINT* offset);
// The part of the client area that shows, in client coordinates: inside every ancestor, outside
// the visible siblings above it and each ancestor, and (with exclude_children) outside its own
// visible children.
gdi::Region VisibleRegionLocked(const std::shared_ptr<Window>& window, bool exclude_children);
// Adds client-coordinate area to the update regions of the window and of its visible children
// beneath it, and wakes the owner thread for WM_PAINT.
void InvalidateLocked(const std::shared_ptr<Window>& window, const gdi::Region& area, bool erase);
void InvalidateAllLocked(const std::shared_ptr<Window>& window, bool erase);
// Gives a top-level window the surface its visibility and size call for (a new surface is wholly
// invalid), then lets every handed-out context follow its window.
void SyncSurfaceLocked(const std::shared_ptr<Window>& root);
void RefreshContextsLocked();
RECT ClientRectOf(const Window& window);

// Calls the surface listener (without the lock).
void NotifySurfaceChanged(HWND top_level);

}  // namespace win::user_detail
