#include "platform/user/window_table.h"

#include "platform/core/errors.h"
#include "platform/core/process.h"

#include <algorithm>

namespace win::user_detail {

namespace {

struct QueueMap {
  std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> queues;
};

// Never destroyed, as the window table below.
QueueMap& Queues() {
  static QueueMap& map = *new QueueMap;
  return map;
}

// A thread that ends takes its windows with it: they vanish without messages, and whoever was
// sending to the thread gets 0.
void EndThreadLocked(ThreadQueue& queue) {
  queue.alive = false;
  for (const std::shared_ptr<SentMessage>& sent : queue.sent) {
    sent->state = SentMessage::State::kDone;
    sent->result = 0;
    sent->sender->Wake();
  }
  queue.sent.clear();
  queue.posted.clear();
  std::vector<std::shared_ptr<Window>> owned;
  for (const auto& [value, window] : Windows().windows)
    if (window->queue.get() == &queue) owned.push_back(window);
  for (const std::shared_ptr<Window>& window : owned) RemoveWindowLocked(window);
  KillThreadTimersLocked(queue);
  Queues().queues.erase(queue.thread_id);
}

struct QueueOwner {
  std::shared_ptr<ThreadQueue> queue;
  ~QueueOwner() {
    if (!queue) return;
    Lock lock(UserMutex());
    EndThreadLocked(*queue);
  }
};

}  // namespace

std::mutex& UserMutex() {
  static std::mutex mutex;
  return mutex;
}

// Never destroyed: threads the program did not stop (a media engine's posting frames) may still
// post to windows after static destructors have run.
WindowTable& Windows() {
  static WindowTable& table = *new WindowTable;
  return table;
}

std::shared_ptr<Window> FindWindowLocked(HWND handle) {
  const auto found = Windows().windows.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == Windows().windows.end() ? nullptr : found->second;
}

std::shared_ptr<Window> LookupWindowLocked(HWND handle) {
  std::shared_ptr<Window> window = FindWindowLocked(handle);
  if (!window) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return window;
}

void RemoveWindowLocked(const std::shared_ptr<Window>& window) {
  if (window->destroyed) return;
  window->destroyed = true;
  if (std::vector<HWND>* siblings = SiblingListLocked(*window)) std::erase(*siblings, window->handle);
  Windows().windows.erase(reinterpret_cast<std::uintptr_t>(window->handle));
  --window->window_class->windows;
}

std::vector<HWND>* SiblingListLocked(const Window& window) {
  if (window.message_only) return &Windows().message_only;
  if (window.parent == nullptr) return &Windows().top_level;
  const std::shared_ptr<Window> parent = FindWindowLocked(window.parent);
  return parent ? &parent->children : nullptr;
}

void InsertSiblingLocked(const Window& window, std::size_t index) {
  std::vector<HWND>* siblings = SiblingListLocked(window);
  if (siblings == nullptr) return;
  std::erase(*siblings, window.handle);
  if (window.parent == nullptr && !window.message_only) {
    // Top-most windows come first; a window keeps to its own band.
    const auto top_most = [](HWND handle) {
      const std::shared_ptr<Window> sibling = FindWindowLocked(handle);
      return sibling && (sibling->ex_style & WS_EX_TOPMOST) != 0;
    };
    const auto band_end = std::find_if_not(siblings->begin(), siblings->end(), top_most);
    const auto band = static_cast<std::size_t>(band_end - siblings->begin());
    index = (window.ex_style & WS_EX_TOPMOST) != 0 ? std::min(index, band) : std::max(index, band);
  }
  siblings->insert(siblings->begin() + static_cast<std::ptrdiff_t>(std::min(index, siblings->size())), window.handle);
}

bool IsDescendantLocked(HWND ancestor, HWND handle) {
  std::shared_ptr<Window> window = FindWindowLocked(handle);
  while (window && window->parent != nullptr) {
    if (window->parent == ancestor) return true;
    window = FindWindowLocked(window->parent);
  }
  return false;
}

void WakeQueueLocked(ThreadQueue& queue, DWORD new_input) {
  queue.new_input |= new_input;
  queue.waker->Wake();
}

std::shared_ptr<ThreadQueue> QueueOfThreadLocked(DWORD thread_id) {
  const auto found = Queues().queues.find(thread_id);
  return found == Queues().queues.end() ? nullptr : found->second;
}

std::shared_ptr<ThreadQueue> CurrentQueue() {
  thread_local QueueOwner owner;
  if (!owner.queue) {
    auto queue = std::make_shared<ThreadQueue>();
    queue->thread_id = GetCurrentThreadId();
    queue->waker = CurrentThreadWaker();
    Lock lock(UserMutex());
    Queues().queues[queue->thread_id] = queue;
    owner.queue = std::move(queue);
  }
  return owner.queue;
}

std::shared_ptr<Window> LookupWindow(HWND handle) {
  Lock lock(UserMutex());
  return LookupWindowLocked(handle);
}

LRESULT CallProcedure(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC procedure;
  {
    Lock lock(UserMutex());
    if (window->destroyed) return 0;
    procedure = window->procedure;
  }
  return procedure ? procedure(window->handle, message, wParam, lParam) : 0;
}

bool HandleSentMessages(const std::shared_ptr<ThreadQueue>& queue) {
  bool handled = false;
  for (;;) {
    std::shared_ptr<SentMessage> sent;
    std::shared_ptr<Window> window;
    {
      Lock lock(UserMutex());
      if (queue->sent.empty()) return handled;
      sent = queue->sent.front();
      queue->sent.pop_front();
      sent->state = SentMessage::State::kStarted;
      window = FindWindowLocked(sent->window);
      ++queue->handling_sent;
    }
    handled = true;
    const LRESULT result = window ? CallProcedure(window, sent->message, sent->wParam, sent->lParam) : 0;
    Lock lock(UserMutex());
    --queue->handling_sent;
    sent->result = result;
    sent->state = SentMessage::State::kDone;
    sent->sender->Wake();
  }
}

namespace {

bool AwaitsPaintLocked(const Window& window) {
  if ((window.style & WS_VISIBLE) == 0) return false;
  if (!window.update.IsEmpty()) return true;
  for (const HWND child : window.children)
    if (const std::shared_ptr<Window> record = FindWindowLocked(child); record && AwaitsPaintLocked(*record)) return true;
  return false;
}

}  // namespace

bool PictureUnfinishedLocked(const Window& top_level) {
  for (const DcRecord& record : Windows().dcs)
    if (record.surface != nullptr && record.surface == top_level.surface) return true;
  return AwaitsPaintLocked(top_level);
}

bool PassesFilterLocked(HWND filter, HWND window, UINT message, UINT first, UINT last) {
  const HWND thread_only = reinterpret_cast<HWND>(static_cast<INT_PTR>(-1));
  if (filter == thread_only) {
    if (window != nullptr) return false;
  } else if (filter != nullptr && window != filter && !IsDescendantLocked(filter, window)) {
    return false;
  }
  if (first == 0 && last == 0) return true;
  return message >= first && message <= last;
}

}  // namespace win::user_detail
