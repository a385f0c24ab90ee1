// A window class for the message-layer tests: records every message it gets, by thread.
#pragma once

#include "platform/core/process.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace dashtune::testing {

struct Received {
  win::HWND window;
  win::UINT message;
  win::WPARAM wParam;
  win::DWORD thread;
};

// Every message of every RecordingWindow, in the order of arrival; an optional reaction per window.
class MessageLog {
 public:
  static MessageLog& Get() {
    static MessageLog log;
    return log;
  }
  void Add(const Received& received) {
    std::lock_guard lock(mutex_);
    entries_.push_back(received);
  }
  std::vector<Received> Entries() {
    std::lock_guard lock(mutex_);
    return entries_;
  }
  // The messages of `window` in the range [first, last], in order.
  std::vector<win::UINT> Messages(win::HWND window, win::UINT first = 0, win::UINT last = 0xFFFFFFFF) {
    std::vector<win::UINT> out;
    for (const Received& r : Entries())
      if (r.window == window && r.message >= first && r.message <= last) out.push_back(r.message);
    return out;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    reactions_.clear();
  }
  using Reaction = std::function<win::LRESULT(win::HWND, win::UINT, win::WPARAM, win::LPARAM, bool* handled)>;
  void React(win::HWND window, Reaction reaction) {
    std::lock_guard lock(mutex_);
    reactions_.emplace_back(window, std::move(reaction));
  }
  Reaction ReactionFor(win::HWND window) {
    std::lock_guard lock(mutex_);
    for (auto& [w, r] : reactions_)
      if (w == window) return r;
    return nullptr;
  }

 private:
  std::mutex mutex_;
  std::vector<Received> entries_;
  std::vector<std::pair<win::HWND, Reaction>> reactions_;
};

inline win::LRESULT RecordingProcedure(win::HWND window, win::UINT message, win::WPARAM wParam, win::LPARAM lParam) {
  MessageLog::Get().Add({window, message, wParam, win::GetCurrentThreadId()});
  if (auto reaction = MessageLog::Get().ReactionFor(window)) {
    bool handled = false;
    const win::LRESULT result = reaction(window, message, wParam, lParam, &handled);
    if (handled) return result;
  }
  return win::DefWindowProcA(window, message, wParam, lParam);
}

inline constexpr const char* kRecordingClass = "RecordingWindow";

inline void RegisterRecordingClass() {
  static const bool registered = [] {
    win::WNDCLASSA info;
    info.lpfnWndProc = RecordingProcedure;
    info.cbWndExtra = 16;
    info.lpszClassName = kRecordingClass;
    return win::RegisterClassA(&info) != 0;
  }();
  (void)registered;
}

inline win::HWND MakeWindow(win::HWND parent = win::HWND_MESSAGE, const char* title = "", win::DWORD style = 0) {
  RegisterRecordingClass();
  return win::CreateWindowExA(0, kRecordingClass, title, style, 0, 0, 100, 50, parent, nullptr, nullptr, nullptr);
}

}  // namespace dashtune::testing
