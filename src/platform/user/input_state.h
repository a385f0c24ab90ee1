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
HWND SetActiveWindow(HWND window);
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

// The keyboard state of the process, one byte per virtual key: bit 7 down, bit 0 toggled. The
// presenter keeps it up to date from the display's input.
BOOL GetKeyboardState(BYTE* state);        // 256 bytes
BOOL SetKeyboardState(const BYTE* state);  // 256 bytes
// Negative while the key is down; bit 0 when toggled.
SHORT GetKeyState(INT key);
SHORT GetAsyncKeyState(INT key);

// The longest time between the clicks of a double click, in milliseconds.
UINT GetDoubleClickTime();

// The active, focus and capture windows of a thread (0: the calling thread); lets input from the
// display go where that thread's state says. FALSE for a thread without a queue.
BOOL GetGUIThreadInfo(DWORD thread_id, GUITHREADINFO* info);
BOOL SetForegroundWindow(HWND window);

}  // namespace win
