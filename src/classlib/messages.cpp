#include "classlib/messages.h"

#include <map>
#include <memory>
#include <mutex>

#include "classlib/forms.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"

namespace dashtune {
namespace {

constexpr char kUtilWindowClass[] = "TUtilWindow";

// The methods of the hidden windows, by window. A procedure call holds its method through a
// shared pointer, so a window deallocated from inside its own method finishes that call safely.
struct MethodTable {
  std::mutex lock;
  std::map<win::HWND, std::shared_ptr<TWndMethod>> methods;
};

MethodTable& Methods() {
  static MethodTable table;
  return table;
}

std::shared_ptr<TWndMethod> MethodOf(win::HWND window) {
  MethodTable& table = Methods();
  std::lock_guard guard(table.lock);
  auto it = table.methods.find(window);
  return it == table.methods.end() ? nullptr : it->second;
}

win::LRESULT UtilWindowProc(win::HWND window, win::UINT message, win::WPARAM wParam, win::LPARAM lParam) {
  std::shared_ptr<TWndMethod> method = MethodOf(window);
  if (!method) return win::DefWindowProcA(window, message, wParam, lParam);
  TMessage Message{message, wParam, lParam, 0};
  try {
    (*method)(Message);
  } catch (...) {
    if (Application) {
      Application->HandleException(nullptr);
    } else {
      ShowException(std::current_exception());
    }
  }
  return Message.Result;
}

void RegisterUtilWindowClass() {
  static std::once_flag once;
  std::call_once(once, [] {
    win::WNDCLASSA window_class{};
    window_class.lpfnWndProc = &UtilWindowProc;
    window_class.lpszClassName = kUtilWindowClass;
    win::RegisterClassA(&window_class);
  });
}

}  // namespace

win::HWND AllocateHWnd(TWndMethod Method) {
  RegisterUtilWindowClass();
  win::HWND window = win::CreateWindowExA(0, kUtilWindowClass, "", 0, 0, 0, 0, 0, win::HWND_MESSAGE, nullptr,
                                          nullptr, nullptr);
  if (!window) throw EOutOfResources();
  MethodTable& table = Methods();
  std::lock_guard guard(table.lock);
  table.methods[window] = std::make_shared<TWndMethod>(std::move(Method));
  return window;
}

void DeallocateHWnd(win::HWND Wnd) {
  if (!Wnd) return;
  std::shared_ptr<TWndMethod> method;  // released after the lock: the method may own objects
  {
    MethodTable& table = Methods();
    std::lock_guard guard(table.lock);
    auto it = table.methods.find(Wnd);
    if (it != table.methods.end()) {
      method = std::move(it->second);
      table.methods.erase(it);
    }
  }
  win::DestroyWindow(Wnd);
}

bool IsMouseButtonPress(win::UINT Msg) {
  switch (Msg) {
    case win::WM_LBUTTONDOWN:
    case win::WM_LBUTTONDBLCLK:
    case win::WM_RBUTTONDOWN:
    case win::WM_RBUTTONDBLCLK:
    case win::WM_MBUTTONDOWN:
    case win::WM_MBUTTONDBLCLK:
      return true;
    default:
      return false;
  }
}

}  // namespace dashtune
