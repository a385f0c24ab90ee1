#include "platform/user/window_position.h"

#include "platform/core/errors.h"
#include "platform/core/process.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/paint_internal.h"
#include "platform/user/window.h"

#include <algorithm>

namespace win {

using namespace user_detail;

namespace {

void PlaceInZOrderLocked(const std::shared_ptr<Window>& window, HWND insert_after) {
  std::vector<HWND>* siblings = SiblingListLocked(*window);
  if (siblings == nullptr) return;
  if (insert_after == HWND_TOPMOST) window->ex_style |= WS_EX_TOPMOST;
  if (insert_after == HWND_NOTOPMOST) window->ex_style &= ~WS_EX_TOPMOST;
  std::erase(*siblings, window->handle);
  std::size_t index = 0;
  if (insert_after == HWND_BOTTOM) {
    index = siblings->size();
  } else if (insert_after != HWND_TOP && insert_after != HWND_TOPMOST && insert_after != HWND_NOTOPMOST) {
    const auto after = std::find(siblings->begin(), siblings->end(), insert_after);
    if (after != siblings->end()) index = static_cast<std::size_t>(after - siblings->begin()) + 1;
  }
  InsertSiblingLocked(*window, index);
}

// Uncovers the window's old place in its parent, so what lay beneath is painted again.
void ExposeInParentLocked(const Window& window, const RECT& area) {
  if (window.parent == nullptr) return;
  if (const std::shared_ptr<Window> parent = FindWindowLocked(window.parent)) InvalidateLocked(parent, gdi::Region(area), true);
}

HWND RootHandleLocked(const std::shared_ptr<Window>& window) {
  POINT offset;
  return RootOfLocked(window, &offset)->handle;
}

// Applies a WINDOWPOS; answers the top-level windows whose surfaces changed.
std::vector<HWND> ApplyWindowPos(const std::shared_ptr<Window>& window, const WINDOWPOS& pos) {
  Lock lock(UserMutex());
  if (window->destroyed) return {};
  const RECT old_rect = window->rect;
  const bool was_visible = IsVisibleLocked(*window);
  RECT rect = old_rect;
  if (!(pos.flags & SWP_NOMOVE)) {
    rect.right = pos.x + (rect.right - rect.left);
    rect.bottom = pos.y + (rect.bottom - rect.top);
    rect.left = pos.x;
    rect.top = pos.y;
  }
  if (!(pos.flags & SWP_NOSIZE)) {
    rect.right = rect.left + std::max(pos.cx, 0);
    rect.bottom = rect.top + std::max(pos.cy, 0);
  }
  window->rect = rect;
  if (!(pos.flags & SWP_NOZORDER)) PlaceInZOrderLocked(window, pos.hwndInsertAfter);
  if (pos.flags & SWP_SHOWWINDOW) window->style |= WS_VISIBLE;
  if (pos.flags & SWP_HIDEWINDOW) window->style &= ~WS_VISIBLE;
  const bool visible = IsVisibleLocked(*window);
  const bool resized = rect.right - rect.left != old_rect.right - old_rect.left ||
                       rect.bottom - rect.top != old_rect.bottom - old_rect.top;
  const bool moved = rect.left != old_rect.left || rect.top != old_rect.top;
  const bool restacked = !(pos.flags & SWP_NOZORDER);
  if (!(pos.flags & SWP_NOREDRAW)) {
    if (was_visible && (moved || resized || !visible || restacked)) ExposeInParentLocked(*window, old_rect);
    const bool child = window->parent != nullptr;
    if (visible && (resized || visible != was_visible || (child && (moved || restacked)))) InvalidateAllLocked(window, true);
  }
  POINT offset;
  SyncSurfaceLocked(RootOfLocked(window, &offset));
  return {RootHandleLocked(window)};
}

// Moves a window to another place in the tree: under `parent`, or to the top level.
void ReparentLocked(const std::shared_ptr<Window>& window, const std::shared_ptr<Window>& parent, HWND owner) {
  const std::shared_ptr<Window> old_root = [&] {
    POINT offset;
    return RootOfLocked(window, &offset);
  }();
  if (IsVisibleLocked(*window)) ExposeInParentLocked(*window, window->rect);
  if (std::vector<HWND>* siblings = SiblingListLocked(*window)) std::erase(*siblings, window->handle);
  window->parent = parent ? parent->handle : nullptr;
  window->owner = parent ? nullptr : owner;
  if (parent) {
    window->style |= WS_CHILD;
    window->surface.reset();
  } else {
    window->style &= ~WS_CHILD;
  }
  InsertSiblingLocked(*window, 0);
  InvalidateAllLocked(window, true);
  SyncSurfaceLocked(old_root);
  POINT offset;
  SyncSurfaceLocked(RootOfLocked(window, &offset));
}

POINT ScreenOriginLocked(const std::shared_ptr<Window>& window) {
  POINT offset;
  const std::shared_ptr<Window> root = RootOfLocked(window, &offset);
  return POINT{offset.x + root->rect.left, offset.y + root->rect.top};
}

bool ScreenOrigin(HWND handle, POINT* origin) {
  if (handle == nullptr) {
    *origin = POINT{};
    return true;
  }
  Lock lock(UserMutex());
  const std::shared_ptr<Window> window = LookupWindowLocked(handle);
  if (!window) return false;
  *origin = ScreenOriginLocked(window);
  return true;
}

bool Contains(const RECT& rect, POINT point) {
  return point.x >= rect.left && point.x < rect.right && point.y >= rect.top && point.y < rect.bottom;
}

// The deepest visible descendant under a point given in `window`'s client coordinates.
HWND DeepestVisibleLocked(const std::shared_ptr<Window>& window, POINT point) {
  for (const HWND child : window->children) {
    const std::shared_ptr<Window> record = FindWindowLocked(child);
    if (!record || !(record->style & WS_VISIBLE) || !Contains(record->rect, point)) continue;
    return DeepestVisibleLocked(record, POINT{point.x - record->rect.left, point.y - record->rect.top});
  }
  return window->handle;
}

}  // namespace

namespace user_detail {

void StyleChanged(HWND handle, INT index, DWORD old_style, DWORD new_style) {
  if (index != GWL_STYLE || ((old_style ^ new_style) & (WS_VISIBLE | WS_CHILD)) == 0) return;
  std::vector<HWND> roots;
  {
    Lock lock(UserMutex());
    const std::shared_ptr<Window> window = FindWindowLocked(handle);
    if (!window || window->message_only) return;
    if ((old_style ^ new_style) & WS_CHILD) {
      // A child that loses WS_CHILD becomes a top-level window owned by its old parent, and a
      // top-level window that gains it becomes a child of its owner.
      if (!(new_style & WS_CHILD) && window->parent != nullptr) {
        const HWND old_parent = window->parent;
        ReparentLocked(window, nullptr, old_parent);
      } else if ((new_style & WS_CHILD) && window->parent == nullptr && window->owner != nullptr) {
        if (const std::shared_ptr<Window> owner = FindWindowLocked(window->owner)) ReparentLocked(window, owner, nullptr);
      }
      window->style = new_style;
    }
    if ((old_style ^ new_style) & WS_VISIBLE) {
      if (new_style & WS_VISIBLE) {
        InvalidateAllLocked(window, true);
      } else {
        ExposeInParentLocked(*window, window->rect);
      }
    }
    POINT offset;
    SyncSurfaceLocked(RootOfLocked(window, &offset));
    roots.push_back(RootHandleLocked(window));
  }
  for (const HWND root : roots) NotifySurfaceChanged(root);
}

void DefaultWindowPosChanged(HWND window, LPARAM window_pos) {
  const auto* pos = reinterpret_cast<const WINDOWPOS*>(window_pos);
  if (pos == nullptr) return;
  RECT rect;
  if (!GetWindowRect(window, &rect)) return;
  POINT origin{rect.left, rect.top};
  if (const HWND parent = GetParent(window); parent != nullptr && (GetWindowLongA(window, GWL_STYLE) & WS_CHILD))
    ScreenToClient(parent, &origin);
  if (!(pos->flags & SWP_NOMOVE))
    SendMessageA(window, WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(origin.x), static_cast<WORD>(origin.y)));
  if (!(pos->flags & SWP_NOSIZE))
    SendMessageA(window, WM_SIZE, SIZE_RESTORED,
                 MAKELPARAM(static_cast<WORD>(rect.right - rect.left), static_cast<WORD>(rect.bottom - rect.top)));
}

}  // namespace user_detail

BOOL SetWindowPos(HWND handle, HWND insert_after, INT x, INT y, INT width, INT height, UINT flags) {
  const std::shared_ptr<Window> window = LookupWindow(handle);
  if (!window) return FALSE;
  WINDOWPOS pos{handle, insert_after, x, y, width, height, flags};
  SendMessageA(handle, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
  const std::vector<HWND> roots = ApplyWindowPos(window, pos);
  SendMessageA(handle, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
  for (const HWND root : roots) NotifySurfaceChanged(root);
  return TRUE;
}

BOOL MoveWindow(HWND window, INT x, INT y, INT width, INT height, BOOL repaint) {
  return SetWindowPos(window, nullptr, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0u : SWP_NOREDRAW));
}

BOOL ShowWindow(HWND handle, INT command) {
  const std::shared_ptr<Window> window = LookupWindow(handle);
  if (!window) return FALSE;
  bool was_visible;
  bool top_level;
  {
    Lock lock(UserMutex());
    was_visible = (window->style & WS_VISIBLE) != 0;
    top_level = window->parent == nullptr;
  }
  const bool show = command != SW_HIDE;
  if (show != was_visible) {
    SendMessageA(handle, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    SetWindowPos(handle, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
  }
  const bool activates = command == SW_SHOWNORMAL || command == SW_SHOW || command == SW_SHOWMAXIMIZED;
  if (activates && top_level && window->queue->thread_id == GetCurrentThreadId()) SetActiveWindow(handle);
  return was_visible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND handle) {
  Lock lock(UserMutex());
  const std::shared_ptr<Window> window = FindWindowLocked(handle);
  return window && IsVisibleLocked(*window) ? TRUE : FALSE;
}

BOOL EnableWindow(HWND handle, BOOL enable) {
  const std::shared_ptr<Window> window = LookupWindow(handle);
  if (!window) return FALSE;
  bool was_disabled;
  {
    Lock lock(UserMutex());
    was_disabled = (window->style & WS_DISABLED) != 0;
    if (enable) {
      window->style &= ~WS_DISABLED;
    } else {
      window->style |= WS_DISABLED;
    }
  }
  if (was_disabled == !enable) return was_disabled ? TRUE : FALSE;
  SendMessageA(handle, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return was_disabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND handle) {
  Lock lock(UserMutex());
  const std::shared_ptr<Window> window = FindWindowLocked(handle);
  return window && !(window->style & WS_DISABLED) ? TRUE : FALSE;
}

HWND SetParent(HWND handle, HWND parent_handle) {
  std::vector<HWND> roots;
  HWND previous = nullptr;
  {
    Lock lock(UserMutex());
    const std::shared_ptr<Window> window = FindWindowLocked(handle);
    const std::shared_ptr<Window> parent = parent_handle ? FindWindowLocked(parent_handle) : nullptr;
    if (!window || (parent_handle != nullptr && !parent)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    if (window->message_only || parent_handle == handle || (parent && IsDescendantLocked(handle, parent_handle))) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    previous = window->parent;
    POINT offset;
    roots.push_back(RootOfLocked(window, &offset)->handle);
    ReparentLocked(window, parent, nullptr);
    roots.push_back(RootOfLocked(window, &offset)->handle);
  }
  for (const HWND root : roots) NotifySurfaceChanged(root);
  return previous;
}

HWND GetParent(HWND handle) {
  Lock lock(UserMutex());
  const std::shared_ptr<Window> window = LookupWindowLocked(handle);
  if (!window) return nullptr;
  return window->parent ? window->parent : window->owner;
}

HWND GetWindow(HWND handle, UINT command) {
  Lock lock(UserMutex());
  const std::shared_ptr<Window> window = LookupWindowLocked(handle);
  if (!window) return nullptr;
  if (command == GW_OWNER) return window->owner;
  if (command == GW_CHILD) return window->children.empty() ? nullptr : window->children.front();
  const std::vector<HWND>* siblings = SiblingListLocked(*window);
  if (siblings == nullptr || siblings->empty()) return nullptr;
  const auto self = std::find(siblings->begin(), siblings->end(), handle);
  switch (command) {
    case GW_HWNDFIRST:
      return siblings->front();
    case GW_HWNDLAST:
      return siblings->back();
    case GW_HWNDNEXT:
      return self + 1 < siblings->end() ? *(self + 1) : nullptr;
    case GW_HWNDPREV:
      return self != siblings->begin() && self != siblings->end() ? *(self - 1) : nullptr;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
}

BOOL GetWindowRect(HWND handle, LPRECT rect) {
  if (rect == nullptr) return FALSE;
  Lock lock(UserMutex());
  const std::shared_ptr<Window> window = LookupWindowLocked(handle);
  if (!window) return FALSE;
  const POINT origin = ScreenOriginLocked(window);
  const RECT client = ClientRectOf(*window);
  *rect = RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
  return TRUE;
}

BOOL GetClientRect(HWND handle, LPRECT rect) {
  if (rect == nullptr) return FALSE;
  Lock lock(UserMutex());
  const std::shared_ptr<Window> window = LookupWindowLocked(handle);
  if (!window) return FALSE;
  *rect = ClientRectOf(*window);
  return TRUE;
}

BOOL ClientToScreen(HWND handle, LPPOINT point) {
  POINT origin;
  if (point == nullptr || handle == nullptr || !ScreenOrigin(handle, &origin)) return FALSE;
  point->x += origin.x;
  point->y += origin.y;
  return TRUE;
}

BOOL ScreenToClient(HWND handle, LPPOINT point) {
  POINT origin;
  if (point == nullptr || handle == nullptr || !ScreenOrigin(handle, &origin)) return FALSE;
  point->x -= origin.x;
  point->y -= origin.y;
  return TRUE;
}

INT MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
  POINT from_origin, to_origin;
  if (!ScreenOrigin(from, &from_origin) || !ScreenOrigin(to, &to_origin)) return 0;
  const LONG dx = from_origin.x - to_origin.x;
  const LONG dy = from_origin.y - to_origin.y;
  for (UINT i = 0; points != nullptr && i < count; ++i) {
    points[i].x += dx;
    points[i].y += dy;
  }
  SetLastError(ERROR_SUCCESS);
  return static_cast<INT>(MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy)));
}

HWND WindowFromPoint(POINT point) {
  Lock lock(UserMutex());
  for (const HWND top : Windows().top_level) {
    const std::shared_ptr<Window> window = FindWindowLocked(top);
    if (!window || !(window->style & WS_VISIBLE) || !Contains(window->rect, point)) continue;
    return DeepestVisibleLocked(window, POINT{point.x - window->rect.left, point.y - window->rect.top});
  }
  return nullptr;
}

HWND ChildWindowFromPoint(HWND parent, POINT point) {
  Lock lock(UserMutex());
  const std::shared_ptr<Window> window = FindWindowLocked(parent);
  if (!window || !Contains(ClientRectOf(*window), point)) return nullptr;
  for (const HWND child : window->children) {
    const std::shared_ptr<Window> record = FindWindowLocked(child);
    if (record && Contains(record->rect, point)) return child;
  }
  return parent;
}

}  // namespace win
