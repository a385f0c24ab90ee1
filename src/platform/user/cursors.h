// Cursors: the system cursor ids, the current cursor and the show count.
#pragma once

#include "platform/core/types.h"

#include <functional>
#include <vector>

namespace win {

// Resource ids travel in the name pointer, as the platform does.
constexpr LPCSTR MakeIntResourceA(WORD id) { return reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(id)); }
constexpr bool IsIntResource(LPCSTR name) { return (reinterpret_cast<UINT_PTR>(name) >> 16) == 0; }

inline const LPCSTR IDC_ARROW = MakeIntResourceA(32512);
inline const LPCSTR IDC_IBEAM = MakeIntResourceA(32513);
inline const LPCSTR IDC_WAIT = MakeIntResourceA(32514);
inline const LPCSTR IDC_CROSS = MakeIntResourceA(32515);
inline const LPCSTR IDC_UPARROW = MakeIntResourceA(32516);
inline const LPCSTR IDC_SIZENWSE = MakeIntResourceA(32642);
inline const LPCSTR IDC_SIZENESW = MakeIntResourceA(32643);
inline const LPCSTR IDC_SIZEWE = MakeIntResourceA(32644);
inline const LPCSTR IDC_SIZENS = MakeIntResourceA(32645);
inline const LPCSTR IDC_SIZEALL = MakeIntResourceA(32646);
inline const LPCSTR IDC_NO = MakeIntResourceA(32648);
inline const LPCSTR IDC_HAND = MakeIntResourceA(32649);
inline const LPCSTR IDC_APPSTARTING = MakeIntResourceA(32650);
inline const LPCSTR IDC_HELP = MakeIntResourceA(32651);

// System cursors (null instance and an IDC_ id) answer one fixed handle per id; anything else
// answers 0 with ERROR_RESOURCE_NAME_NOT_FOUND.
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
inline HCURSOR LoadCursor(HINSTANCE instance, LPCSTR name) { return LoadCursorA(instance, name); }
// The system cursor id behind a handle from LoadCursor, or 0.
WORD SystemCursorId(HCURSOR cursor);

// A monochrome cursor of width x height pixels: each plane holds rows of ((width + 15) / 16)
// words, most significant bit first. Screen pixel = (screen AND and-plane) XOR xor-plane, so
// and 1 / xor 0 is transparent, 0/0 black, 0/1 white, 1/1 inverted. Null with
// ERROR_INVALID_PARAMETER for a missing plane or a size outside 1..256.
HCURSOR CreateCursor(HINSTANCE instance, INT hot_x, INT hot_y, INT width, INT height, const void* and_plane,
                     const void* xor_plane);
// Frees a cursor made by CreateCursor (system cursors are not freed). False for any other handle.
BOOL DestroyCursor(HCURSOR cursor);

// What CreateCursor was given, for whoever shows cursors (and for tests).
struct CursorImage {
  INT hot_x = 0;
  INT hot_y = 0;
  INT width = 0;
  INT height = 0;
  std::vector<BYTE> and_plane;
  std::vector<BYTE> xor_plane;
};
// False for a handle that CreateCursor did not make or that was destroyed.
bool GetCursorImage(HCURSOR cursor, CursorImage& image);

HCURSOR SetCursor(HCURSOR cursor);  // answers the previous cursor
HCURSOR GetCursor();
// Adds one to (show) or takes one from (hide) the display count and answers it; the cursor
// shows while the count is 0 or more.
INT ShowCursor(BOOL show);

// The pointer position in screen coordinates (the presenter moves it with the real pointer).
BOOL GetCursorPos(LPPOINT point);
// Moves the pointer; a presenter moves the real pointer there too.
BOOL SetCursorPos(INT x, INT y);

// For the presenter: the cursor to show (null while none is set or the show count is negative),
// the real pointer's position as the display reports it (no warp), and an observer told, on the
// calling thread and outside the cursor state's lock, when the cursor to show changes and when a
// program moves the pointer. One observer; empty callbacks remove it.
HCURSOR GetShownCursor();
void RecordCursorPos(INT x, INT y);
struct CursorObserver {
  std::function<void()> shown_cursor_changed;
  std::function<void(POINT)> pointer_moved;
};
void SetCursorObserver(CursorObserver observer);

}  // namespace win
