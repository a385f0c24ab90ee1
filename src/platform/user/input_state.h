// Keyboard focus, mouse capture and the active window, kept per thread like the platform does.
#pragma once

#include "platform/core/types.h"

namespace win {

constexpr WORD WA_INACTIVE = 0;
constexpr WORD WA_ACTIVE = 1;
constexpr WORD WA_CLICKACTIVE = 2;

// Sends WM_KILLFOCUS to the old and WM_SETFOCUS to the new focus; answers the old focus.
HWND SetFocus(HWND window);
HWND GetFocus();
// Sends WM_CAPTURECHANGED to the window losing the capture; answers the old capture.
HWND SetCapture(HWND window);
BOOL ReleaseCapture();
HWND GetCapture();
// Sends WM_ACTIVATE (WA_INACTIVE) to the old and WM_ACTIVATE (WA_ACTIVE) to the new window.
// When activation leaves the program's windows (no new window) every top-level window of the
// thread then hears WM_ACTIVATEAPP (FALSE); when a window is activated while the program is
// inactive they hear WM_ACTIVATEAPP (TRUE) first. The program starts active.
HWND SetActiveWindow(HWND window);
// For the display's presenter, from any thread: the program's windows lost (FALSE) or regained
// (TRUE) the display's input focus. The owner thread carries it out the next time it looks at its
// queue: losing deactivates its active window and, if the program was active, sends
// WM_ACTIVATEAPP (FALSE) to its top-level windows; regaining sends WM_ACTIVATEAPP (TRUE) if it
// was inactive.
BOOL RequestAppActivation(DWORD thread_id, BOOL active);
HWND GetActiveWindow();
HWND GetForegroundWindow();

struct GUITHREADINFO {
  DWORD cbSize = sizeof(GUITHREADINFO);
  DWORD flags = 0;
  HWND hwndActive = nullptr;
  HWND hwndFocus = nullptr;
  HWND hwndCapture = nullptr;
  HWND hwndMenuOwner = nullptr;
  HWND hwndMoveSize = nullptr;
  HWND hwndCaret = nullptr;
  RECT rcCaret;
};
constexpr INT VK_LBUTTON = 0x01;
constexpr INT VK_RBUTTON = 0x02;
constexpr INT VK_MBUTTON = 0x04;
constexpr INT VK_SHIFT = 0x10;
constexpr INT VK_CONTROL = 0x11;
constexpr INT VK_MENU = 0x12;
constexpr INT VK_CAPITAL = 0x14;
// A character typed without a key of its own: WM_KEYDOWN's scan-code byte (bits 16 to 23 of
// lParam) holds it, and TranslateMessage makes it WM_CHAR.
constexpr INT VK_PACKET = 0xE7;

// The keyboard state of the process, one byte per virtual key: bit 7 down, bit 0 toggled. The
// presenter keeps it up to date from the display's input.
BOOL GetKeyboardState(BYTE* state);        // 256 bytes
BOOL SetKeyboardState(const BYTE* state);  // 256 bytes
// Negative while the key is down; bit 0 when toggled.
SHORT GetKeyState(INT key);
SHORT GetAsyncKeyState(INT key);

// The keyboard layout of the locale in $LANG: its low word is the locale's language
// (0x0407 for de_DE, 0x0409 for en_US and by default). The display's key symbols arrive as
// Latin-1, so a language whose ANSI code page is not 1252 gets the English layout. Every thread
// shares it (`thread_id` is ignored).
HKL GetKeyboardLayout(DWORD thread_id);
// The ANSI code page that WM_CHAR's bytes are in: that of the keyboard layout's locale.
UINT KeyboardCodePage();

// The longest time between the clicks of a double click, in milliseconds.
UINT GetDoubleClickTime();

// The active, focus and capture windows of a thread (0: the calling thread); lets input from the
// display go where that thread's state says. FALSE for a thread without a queue.
BOOL GetGUIThreadInfo(DWORD thread_id, GUITHREADINFO* info);
BOOL SetForegroundWindow(HWND window);

}  // namespace win
