// Messages and message queues. Every thread has its own queue; a window's messages go to the
// queue of the thread that created it. Sent messages are always handled before posted ones.
// Narrow (A) and wide (W) forms are the same call for messages without text.
#pragma once

#include "platform/core/types.h"

#include <functional>

namespace win {

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETREDRAW = 0x000B;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUERYENDSESSION = 0x0011;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SYSCOLORCHANGE = 0x0015;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_ACTIVATEAPP = 0x001C;
constexpr UINT WM_CANCELMODE = 0x001F;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_MOUSEACTIVATE = 0x0021;
constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_GETFONT = 0x0031;
constexpr UINT WM_WINDOWPOSCHANGING = 0x0046;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_CONTEXTMENU = 0x007B;
constexpr UINT WM_STYLECHANGING = 0x007C;
constexpr UINT WM_STYLECHANGED = 0x007D;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_NCPAINT = 0x0085;
constexpr UINT WM_NCACTIVATE = 0x0086;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCHAR = 0x0106;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_CTLCOLOREDIT = 0x0133;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_CAPTURECHANGED = 0x0215;
constexpr UINT WM_MOUSELEAVE = 0x02A3;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// Key and button flags in the wParam of mouse messages.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;

// The hit-test code of the client area (the low word of WM_SETCURSOR's lParam).
constexpr LPARAM HTCLIENT = 1;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
constexpr UINT PM_NOYIELD = 0x0002;

// Queue-state bits for MsgWaitForMultipleObjects.
constexpr DWORD QS_KEY = 0x0001;
constexpr DWORD QS_MOUSEMOVE = 0x0002;
constexpr DWORD QS_MOUSEBUTTON = 0x0004;
constexpr DWORD QS_POSTMESSAGE = 0x0008;
constexpr DWORD QS_TIMER = 0x0010;
constexpr DWORD QS_PAINT = 0x0020;
constexpr DWORD QS_SENDMESSAGE = 0x0040;
constexpr DWORD QS_HOTKEY = 0x0080;
constexpr DWORD QS_MOUSE = QS_MOUSEMOVE | QS_MOUSEBUTTON;
constexpr DWORD QS_INPUT = QS_MOUSE | QS_KEY;
constexpr DWORD QS_ALLEVENTS = QS_INPUT | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY;
constexpr DWORD QS_ALLINPUT = QS_ALLEVENTS | QS_SENDMESSAGE;
constexpr DWORD QS_ALLPOSTMESSAGE = 0x0100;

constexpr UINT SMTO_NORMAL = 0x0000;
constexpr UINT SMTO_BLOCK = 0x0001;
constexpr UINT SMTO_ABORTIFHUNG = 0x0002;
constexpr UINT SMTO_NOTIMEOUTIFNOTHUNG = 0x0008;

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;
  POINT pt;
};
using LPMSG = MSG*;

// Same thread: calls the procedure. Other thread: queues the message for that thread, and while
// waiting for it handles the messages other threads send to this one. 0 for an invalid window.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
inline LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageA(window, message, wParam, lParam);
}

// Like SendMessage, but gives up after `timeout` ms (ERROR_TIMEOUT, answer 0). A message the
// receiver has not started by then is withdrawn: it is never delivered later. With SMTO_BLOCK the
// caller handles no messages sent to it while it waits. Nonzero on success; *result (optional)
// takes the procedure's answer.
LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                            UINT timeout, DWORD_PTR* result);
LRESULT SendMessageTimeoutW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                            UINT timeout, DWORD_PTR* result);
inline LRESULT SendMessageTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                                  UINT timeout, DWORD_PTR* result) {
  return SendMessageTimeoutA(window, message, wParam, lParam, flags, timeout, result);
}

// Queues the message for the window's thread (a null window: the calling thread).
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
inline BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return PostMessageA(window, message, wParam, lParam);
}
BOOL PostThreadMessageA(DWORD thread_id, UINT message, WPARAM wParam, LPARAM lParam);
inline BOOL PostThreadMessage(DWORD thread_id, UINT message, WPARAM wParam, LPARAM lParam) {
  return PostThreadMessageA(thread_id, message, wParam, lParam);
}

// Handles the pending sent messages, then answers (in this order) a posted message, WM_QUIT,
// WM_PAINT, then a due WM_TIMER. A window filter takes that window and its descendants;
// (HWND)-1 takes thread messages only. A range of 0, 0 takes every message.
BOOL PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT remove);
BOOL PeekMessageW(LPMSG msg, HWND window, UINT first, UINT last, UINT remove);
inline BOOL PeekMessage(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
  return PeekMessageA(msg, window, first, last, remove);
}
// Waits for a message; FALSE for WM_QUIT, -1 for an invalid window filter.
BOOL GetMessageA(LPMSG msg, HWND window, UINT first, UINT last);
BOOL GetMessageW(LPMSG msg, HWND window, UINT first, UINT last);
inline BOOL GetMessage(LPMSG msg, HWND window, UINT first, UINT last) {
  return GetMessageA(msg, window, first, last);
}
BOOL WaitMessage();
// Posts WM_CHAR for a WM_KEYDOWN of a character key or of VK_PACKET; TRUE when it did. A nonzero
// scan-code byte (bits 16 to 23 of lParam; the display puts the typed Latin-1 character there) is
// the character; without one letters are in upper case while Shift is down or Caps Lock on, by
// the keyboard state. With Ctrl down a letter gives its control code (Ctrl+A: 1).
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
inline LRESULT DispatchMessage(const MSG* msg) { return DispatchMessageA(msg); }
void PostQuitMessage(INT exit_code);

// Bits of the calling thread's queue: high word what is there, low word what is new since the
// last retrieval.
DWORD GetQueueStatus(UINT flags);

// Waits for the objects, or (answering WAIT_OBJECT_0 + count) for new queue input of the kinds
// in `wake_mask` since the thread last looked at its queue.
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all, DWORD milliseconds,
                                DWORD wake_mask);

// A call run on the calling thread whenever it retrieves messages (GetMessage, PeekMessage with
// PM_REMOVE) and whenever such a wait wakes up; wake the thread through CurrentThreadWaker() of
// core/wait.h to have it run. One per thread; an empty function removes it.
void SetMessageRetrievalHook(std::function<void()> hook);

// Whether the calling thread is handling a message sent from another thread.
BOOL InSendMessage();

}  // namespace win
