// Window classes, windows and their procedures.
#pragma once

#include "platform/core/types.h"

#include <string>

namespace win {

using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Class styles.
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_DBLCLKS = 0x0008;
constexpr UINT CS_OWNDC = 0x0020;
constexpr UINT CS_PARENTDC = 0x0080;
constexpr UINT CS_GLOBALCLASS = 0x4000;

// Window styles.
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;

constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_TRANSPARENT = 0x00000020;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;
constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;

constexpr INT CW_USEDEFAULT = static_cast<INT>(0x80000000);

// Indices of Get/SetWindowLong; non-negative indices address the window's extra bytes.
constexpr INT GWLP_WNDPROC = -4;
constexpr INT GWLP_HINSTANCE = -6;
constexpr INT GWLP_HWNDPARENT = -8;
constexpr INT GWLP_ID = -12;
constexpr INT GWL_STYLE = -16;
constexpr INT GWL_EXSTYLE = -20;
constexpr INT GWLP_USERDATA = -21;
constexpr INT GWL_WNDPROC = GWLP_WNDPROC;
constexpr INT GWL_HINSTANCE = GWLP_HINSTANCE;
constexpr INT GWL_ID = GWLP_ID;
constexpr INT GWL_USERDATA = GWLP_USERDATA;

// Parent of a message-only window: never shown, never found by FindWindowEx unless asked.
inline const HWND HWND_MESSAGE = reinterpret_cast<HWND>(static_cast<INT_PTR>(-3));
inline const HWND HWND_BROADCAST = reinterpret_cast<HWND>(static_cast<INT_PTR>(0xFFFF));

struct WNDCLASSA {
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  INT cbClsExtra = 0;
  INT cbWndExtra = 0;
  HINSTANCE hInstance = nullptr;
  HICON hIcon = nullptr;
  HCURSOR hCursor = nullptr;
  HBRUSH hbrBackground = nullptr;
  LPCSTR lpszMenuName = nullptr;
  LPCSTR lpszClassName = nullptr;
};

struct WNDCLASSW {
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  INT cbClsExtra = 0;
  INT cbWndExtra = 0;
  HINSTANCE hInstance = nullptr;
  HICON hIcon = nullptr;
  HCURSOR hCursor = nullptr;
  HBRUSH hbrBackground = nullptr;
  LPCWSTR lpszMenuName = nullptr;
  LPCWSTR lpszClassName = nullptr;
};

struct CREATESTRUCTA {
  LPVOID lpCreateParams = nullptr;
  HINSTANCE hInstance = nullptr;
  HMENU hMenu = nullptr;
  HWND hwndParent = nullptr;
  INT cy = 0;
  INT cx = 0;
  INT y = 0;
  INT x = 0;
  LONG style = 0;
  LPCSTR lpszName = nullptr;
  LPCSTR lpszClass = nullptr;
  DWORD dwExStyle = 0;
};

// Class names compare without regard to case; classes are kept per instance handle. A class
// answers its atom; 0 on failure (ERROR_CLASS_ALREADY_EXISTS, ERROR_INVALID_PARAMETER for
// negative extra sizes or sizes above 40 bytes, or a missing name or procedure).
ATOM RegisterClassA(const WNDCLASSA* window_class);
ATOM RegisterClassW(const WNDCLASSW* window_class);
inline ATOM RegisterClass(const WNDCLASSA* window_class) { return RegisterClassA(window_class); }
// Fails with ERROR_CLASS_HAS_WINDOWS while windows of the class exist.
BOOL UnregisterClassA(LPCSTR class_name, HINSTANCE instance);
BOOL GetClassInfoA(HINSTANCE instance, LPCSTR class_name, WNDCLASSA* window_class);
INT GetClassNameA(HWND window, LPSTR buffer, INT size);

constexpr INT GCLP_HBRBACKGROUND = -10;
constexpr INT GCLP_HCURSOR = -12;
constexpr INT GCL_CBWNDEXTRA = -18;
constexpr INT GCLP_WNDPROC = -24;
constexpr INT GCL_STYLE = -26;
// A field of the window's class; 0 with ERROR_INVALID_INDEX for other indices.
ULONG_PTR GetClassLongPtrA(HWND window, INT index);

// Sends WM_NCCREATE and WM_CREATE; a FALSE or -1 answer destroys the window and answers 0.
// A parent of HWND_MESSAGE makes a message-only window. Handles are never reused.
HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, INT x, INT y,
                     INT width, INT height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
HWND CreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR window_name, DWORD style, INT x, INT y,
                     INT width, INT height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
inline HWND CreateWindowEx(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, INT x,
                           INT y, INT width, INT height, HWND parent, HMENU menu, HINSTANCE instance,
                           LPVOID param) {
  return CreateWindowExA(ex_style, class_name, window_name, style, x, y, width, height, parent, menu,
                         instance, param);
}

// Only the owner thread may destroy a window (ERROR_ACCESS_DENIED otherwise). Sends WM_DESTROY,
// destroys the children, then sends WM_NCDESTROY; the handle is invalid from then on. The
// window's record is freed once every procedure call running for it has returned, so a window
// may destroy itself from inside its own procedure.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);

// Default handling: WM_NCCREATE takes the window text, WM_SETTEXT/WM_GETTEXT/WM_GETTEXTLENGTH
// keep it (the A form in UTF-8, the W form in UTF-16), WM_CLOSE destroys the window,
// WM_ERASEBKGND fills with the class background, WM_PAINT validates, WM_RBUTTONUP sends
// WM_CONTEXTMENU (wParam: the window, lParam: the pointer in screen coordinates), a child passes
// WM_CONTEXTMENU on to its parent; everything else answers 0.
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
inline LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}
LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
inline LRESULT CallWindowProc(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcA(procedure, window, message, wParam, lParam);
}

// 0 with ERROR_INVALID_INDEX for an index outside the extra bytes, ERROR_INVALID_WINDOW_HANDLE
// for a bad window (also 0, so callers that care clear the last error first). The setters
// answer the previous value.
LONG_PTR GetWindowLongPtrA(HWND window, INT index);
LONG_PTR SetWindowLongPtrA(HWND window, INT index, LONG_PTR value);
LONG GetWindowLongA(HWND window, INT index);
LONG SetWindowLongA(HWND window, INT index, LONG value);
inline LONG_PTR GetWindowLongPtr(HWND window, INT index) { return GetWindowLongPtrA(window, index); }
inline LONG_PTR SetWindowLongPtr(HWND window, INT index, LONG_PTR value) {
  return SetWindowLongPtrA(window, index, value);
}
inline LONG GetWindowLong(HWND window, INT index) { return GetWindowLongA(window, index); }
inline LONG SetWindowLong(HWND window, INT index, LONG value) { return SetWindowLongA(window, index, value); }

BOOL SetWindowTextA(HWND window, LPCSTR text);
INT GetWindowTextA(HWND window, LPSTR buffer, INT size);
INT GetWindowTextLengthA(HWND window);

// Searches the children of `parent` (null: the top-level windows; HWND_MESSAGE: the message-only
// windows) after `child_after` (null: from the first) for a class and title; a null class or
// title matches any. Message-only windows are found only through HWND_MESSAGE.
HWND FindWindowExA(HWND parent, HWND child_after, LPCSTR class_name, LPCSTR window_name);
HWND FindWindowExW(HWND parent, HWND child_after, LPCWSTR class_name, LPCWSTR window_name);
inline HWND FindWindowEx(HWND parent, HWND child_after, LPCSTR class_name, LPCSTR window_name) {
  return FindWindowExA(parent, child_after, class_name, window_name);
}
HWND FindWindowA(LPCSTR class_name, LPCSTR window_name);

DWORD GetWindowThreadProcessId(HWND window, DWORD* process_id);
BOOL IsChild(HWND parent, HWND window);
HWND GetDesktopWindow();

}  // namespace win
