// Position, size, z-order, visibility and parentage of windows. Positions are relative to the
// parent's client area (screen coordinates for top-level windows).
#pragma once

#include "platform/core/types.h"

namespace win {

constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
constexpr UINT SWP_NOCOPYBITS = 0x0100;
constexpr UINT SWP_NOOWNERZORDER = 0x0200;

inline const HWND HWND_TOP = nullptr;
inline const HWND HWND_BOTTOM = reinterpret_cast<HWND>(static_cast<INT_PTR>(1));
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(static_cast<INT_PTR>(-1));
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(static_cast<INT_PTR>(-2));

constexpr INT SW_HIDE = 0;
constexpr INT SW_SHOWNORMAL = 1;
constexpr INT SW_SHOWMAXIMIZED = 3;
constexpr INT SW_SHOWNOACTIVATE = 4;
constexpr INT SW_SHOW = 5;
constexpr INT SW_SHOWNA = 8;

constexpr WPARAM SIZE_RESTORED = 0;

constexpr UINT GW_HWNDFIRST = 0;
constexpr UINT GW_HWNDLAST = 1;
constexpr UINT GW_HWNDNEXT = 2;
constexpr UINT GW_HWNDPREV = 3;
constexpr UINT GW_OWNER = 4;
constexpr UINT GW_CHILD = 5;

struct WINDOWPOS {
  HWND hwnd = nullptr;
  HWND hwndInsertAfter = nullptr;
  INT x = 0;
  INT y = 0;
  INT cx = 0;
  INT cy = 0;
  UINT flags = 0;
};

// Sends WM_WINDOWPOSCHANGING (whose procedure may change the WINDOWPOS), applies it, then sends
// WM_WINDOWPOSCHANGED, from which DefWindowProc sends WM_MOVE and WM_SIZE. Uncovered areas are
// invalidated unless SWP_NOREDRAW.
BOOL SetWindowPos(HWND window, HWND insert_after, INT x, INT y, INT width, INT height, UINT flags);
BOOL MoveWindow(HWND window, INT x, INT y, INT width, INT height, BOOL repaint);
// Answers whether the window was visible before.
BOOL ShowWindow(HWND window, INT command);
// Visible when it and all its ancestors have WS_VISIBLE.
BOOL IsWindowVisible(HWND window);
BOOL EnableWindow(HWND window, BOOL enable);  // answers whether it was disabled before
BOOL IsWindowEnabled(HWND window);

// Makes the window a child of `parent` (WS_CHILD set) or, for a null parent, a top-level window
// (WS_CHILD cleared); answers the previous parent. Refuses a parent inside the window's own tree.
HWND SetParent(HWND window, HWND parent);
// The parent of a child window, the owner of a top-level window.
HWND GetParent(HWND window);
HWND GetWindow(HWND window, UINT command);

BOOL GetWindowRect(HWND window, LPRECT rect);  // screen coordinates
BOOL GetClientRect(HWND window, LPRECT rect);  // (0, 0, width, height)
BOOL ClientToScreen(HWND window, LPPOINT point);
BOOL ScreenToClient(HWND window, LPPOINT point);
// Maps points from one window's client coordinates to another's (null: the screen); answers the
// horizontal offset in the low word and the vertical one in the high word.
INT MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count);
// The deepest visible window under a screen point.
HWND WindowFromPoint(POINT point);
// The child under a client point (hidden ones too), the window itself when none, null outside.
HWND ChildWindowFromPoint(HWND parent, POINT point);

}  // namespace win
