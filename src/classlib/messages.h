// Window messages as the class library's objects see them, and hidden windows whose procedure
// is an object's method.
#pragma once

#include <functional>

#include "platform/core/types.h"

namespace dashtune {

// A window message as the class library's procedures see it; Result is the answer.
struct TMessage {
  win::UINT Msg = 0;
  win::WPARAM WParam = 0;
  win::LPARAM LParam = 0;
  win::LRESULT Result = 0;
};

// A window procedure that is a method of an object: [this](TMessage& Message) { ... }.
using TWndMethod = std::function<void(TMessage& Message)>;

// Makes a hidden message-only window on the calling thread whose messages all go to Method
// (which passes those it does not handle to DefWindowProcA). An exception escaping Method goes
// to the application's exception handling. Failure raises EOutOfResources.
win::HWND AllocateHWnd(TWndMethod Method);
// Destroys a window made by AllocateHWnd (on the thread that made it); from then on Method is
// not called again, even when the window's destruction waits for a procedure that is running.
// Nil is allowed.
void DeallocateHWnd(win::HWND Wnd);

// True for a message saying a mouse button went down (a press or a double click, any button).
bool IsMouseButtonPress(win::UINT Msg);

}  // namespace dashtune
