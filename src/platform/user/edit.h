// The edit window class "EDIT": a box of text the user types into. Single line, or with
// ES_MULTILINE several lines that wrap at word boundaries, aligned left, centred (ES_CENTER) or
// right (ES_RIGHT). A caret and a selection, typing (WM_CHAR), Backspace, Delete, the arrow keys,
// Home and End (Shift extends the selection), a click placing the caret and a drag selecting.
//
// The text is kept as UTF-16; WM_SETTEXT, WM_GETTEXT and EM_REPLACESEL take and give UTF-8.
// Positions (EM_GETSEL, EM_SETSEL) count UTF-16 code units; a surrogate pair and a CR LF line
// break are always passed as one. A WM_CHAR byte is read through the keyboard layout's code page.
// The box asks its parent (or, top-level, itself) for its colours with WM_CTLCOLOREDIT: the
// answer is the background brush (0: the window colour) and the handler may set the context's
// text colour. WS_BORDER draws a one-pixel frame and WS_EX_CLIENTEDGE a sunken edge, both inside
// the window. The box shows no context menu of its own: WM_CONTEXTMENU is answered with 0.
#pragma once

#include "platform/core/types.h"

namespace win {

inline constexpr char WC_EDITA[] = "EDIT";

constexpr DWORD ES_LEFT = 0x0000;
constexpr DWORD ES_CENTER = 0x0001;
constexpr DWORD ES_RIGHT = 0x0002;
constexpr DWORD ES_MULTILINE = 0x0004;
constexpr DWORD ES_AUTOVSCROLL = 0x0040;
constexpr DWORD ES_AUTOHSCROLL = 0x0080;

// wParam, lParam: DWORD* receiving start and end (either may be null); answers both packed in a
// DWORD (low word start, high word end; 0xFFFF beyond 65535).
constexpr UINT EM_GETSEL = 0x00B0;
// wParam: the anchor, lParam: the caret; an anchor of -1 drops the selection (the caret stays),
// a caret of -1 (or past the end) is the end of the text.
constexpr UINT EM_SETSEL = 0x00B1;
// lParam: UTF-8 text put in place of the selection; the caret follows it.
constexpr UINT EM_REPLACESEL = 0x00C2;

// Registers "EDIT" (a global class) before the first box is made; later calls do nothing.
void RegisterEditClass();

}  // namespace win
