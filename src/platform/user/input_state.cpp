#include "platform/user/input_state.h"

#include "platform/core/code_pages.h"
#include "platform/core/errors.h"
#include "platform/core/locale.h"
#include "platform/core/process.h"
#include "platform/user/messages.h"
#include "platform/user/window_table.h"

#include <algorithm>
#include <cstdlib>
#include <atomic>
#include <iterator>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace win {

using namespace user_detail;

namespace {

std::atomic<HWND> foreground_window{nullptr};

constexpr UINT kDoubleClickTime = 500;

struct KeyboardState {
  std::mutex mutex;
  BYTE keys[256] = {};
};

KeyboardState& Keyboard() {
  static KeyboardState keyboard;
  return keyboard;
}

// The window when it belongs to the calling thread; a null window passes. Fails otherwise.
bool AcceptableTarget(HWND window, const std::shared_ptr<ThreadQueue>& queue) {
  if (window == nullptr) return true;
  const std::shared_ptr<Window> record = LookupWindow(window);
  if (!record) return false;
  if (record->queue != queue) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return true;
}

HWND Exchange(HWND ThreadQueue::*field, HWND window) {
  const std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  Lock lock(UserMutex());
  return std::exchange((*queue).*field, window);
}

HWND Read(HWND ThreadQueue::*field) {
  const std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  Lock lock(UserMutex());
  return (*queue).*field;
}

// The calling thread's record of the program's activation; answers whether it changed.
bool ChangeAppActivation(const std::shared_ptr<ThreadQueue>& queue, bool active) {
  Lock lock(UserMutex());
  return std::exchange(queue->app_active, active) != active;
}

void TellTopLevelWindows(const std::shared_ptr<ThreadQueue>& queue, bool active) {
  std::vector<HWND> windows;
  {
    Lock lock(UserMutex());
    for (const HWND handle : Windows().top_level) {
      const std::shared_ptr<Window> window = FindWindowLocked(handle);
      if (window && window->queue == queue) windows.push_back(handle);
    }
  }
  for (const HWND window : windows) SendMessageA(window, WM_ACTIVATEAPP, active ? TRUE : FALSE, 0);
}

}  // namespace

namespace user_detail {

void HandleActivationRequest(const std::shared_ptr<ThreadQueue>& queue) {
  std::optional<bool> request;
  {
    Lock lock(UserMutex());
    request = std::exchange(queue->activation_request, std::nullopt);
  }
  if (!request) return;
  if (!*request) {
    const HWND old = Exchange(&ThreadQueue::active, nullptr);
    if (old != nullptr) SendMessageA(old, WM_ACTIVATE, WA_INACTIVE, 0);
  }
  if (ChangeAppActivation(queue, *request)) TellTopLevelWindows(queue, *request);
}

}  // namespace user_detail

BOOL RequestAppActivation(DWORD thread_id, BOOL active) {
  Lock lock(UserMutex());
  const std::shared_ptr<ThreadQueue> queue = QueueOfThreadLocked(thread_id);
  if (!queue) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  queue->activation_request = active != FALSE;
  WakeQueueLocked(*queue, QS_SENDMESSAGE);
  return TRUE;
}

HWND SetFocus(HWND window) {
  if (!AcceptableTarget(window, CurrentQueue())) return nullptr;
  const HWND old = Exchange(&ThreadQueue::focus, window);
  if (old == window) return old;
  if (old != nullptr) SendMessageA(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
  if (window != nullptr) SendMessageA(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND GetFocus() { return Read(&ThreadQueue::focus); }

HWND SetCapture(HWND window) {
  if (!AcceptableTarget(window, CurrentQueue())) return nullptr;
  const HWND old = Exchange(&ThreadQueue::capture, window);
  if (old != nullptr && old != window) SendMessageA(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(window));
  return old;
}

BOOL ReleaseCapture() {
  const HWND old = Exchange(&ThreadQueue::capture, nullptr);
  if (old != nullptr) SendMessageA(old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND GetCapture() { return Read(&ThreadQueue::capture); }

HWND SetActiveWindow(HWND window) {
  if (!AcceptableTarget(window, CurrentQueue())) return nullptr;
  const HWND old = Exchange(&ThreadQueue::active, window);
  if (old == window) return old;
  if (window != nullptr) foreground_window.store(window);
  const std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  if (window != nullptr && ChangeAppActivation(queue, true)) TellTopLevelWindows(queue, true);
  if (old != nullptr) SendMessageA(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(window));
  if (window != nullptr) SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
  if (window == nullptr && ChangeAppActivation(queue, false)) TellTopLevelWindows(queue, false);
  return old;
}

HWND GetActiveWindow() { return Read(&ThreadQueue::active); }

HWND GetForegroundWindow() {
  const HWND window = foreground_window.load();
  return IsWindow(window) ? window : nullptr;
}

BOOL GetKeyboardState(BYTE* state) {
  if (state == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(Keyboard().mutex);
  std::copy(std::begin(Keyboard().keys), std::end(Keyboard().keys), state);
  return TRUE;
}

BOOL SetKeyboardState(const BYTE* state) {
  if (state == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(Keyboard().mutex);
  std::copy(state, state + 256, Keyboard().keys);
  return TRUE;
}

SHORT GetKeyState(INT key) {
  if (key < 0 || key > 255) return 0;
  std::lock_guard lock(Keyboard().mutex);
  const BYTE value = Keyboard().keys[key];
  return static_cast<SHORT>(((value & 0x80) ? 0x8000 : 0) | (value & 0x01));
}

SHORT GetAsyncKeyState(INT key) { return static_cast<SHORT>(GetKeyState(key) & 0x8000); }

HKL GetKeyboardLayout(DWORD) {
  const char* name = std::getenv("LANG");
  const LCID lcid = name != nullptr ? LcidOfLocaleName(name) : 0;
  const LCID layout = AnsiCodePageOfLocale(lcid) == CP_WINDOWS_1252 ? lcid : LCID{0x0409};
  return reinterpret_cast<HKL>(static_cast<UINT_PTR>(MAKELONG(static_cast<WORD>(layout), static_cast<WORD>(layout))));
}

UINT KeyboardCodePage() {
  const auto layout = static_cast<LCID>(LOWORD(reinterpret_cast<UINT_PTR>(GetKeyboardLayout(0))));
  return AnsiCodePageOfLocale(layout);
}

UINT GetDoubleClickTime() { return kDoubleClickTime; }

BOOL GetGUIThreadInfo(DWORD thread_id, GUITHREADINFO* info) {
  if (info == nullptr || info->cbSize != sizeof(GUITHREADINFO)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::shared_ptr<ThreadQueue> own = thread_id == 0 ? CurrentQueue() : nullptr;
  Lock lock(UserMutex());
  const std::shared_ptr<ThreadQueue> queue = own ? own : QueueOfThreadLocked(thread_id);
  if (!queue) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  *info = GUITHREADINFO{};
  info->hwndActive = queue->active;
  info->hwndFocus = queue->focus;
  info->hwndCapture = queue->capture;
  return TRUE;
}

BOOL SetForegroundWindow(HWND window) {
  if (!IsWindow(window)) return FALSE;
  DWORD process = 0;
  if (GetWindowThreadProcessId(window, &process) == GetCurrentThreadId()) return SetActiveWindow(window), TRUE;
  foreground_window.store(window);
  return TRUE;
}

}  // namespace win
