#include "platform/user/timers.h"

#include "platform/core/clock.h"
#include "platform/core/errors.h"
#include "platform/core/process.h"
#include "platform/user/cursors.h"
#include "platform/user/messages.h"
#include "platform/user/window_table.h"

#include <algorithm>
#include <tuple>
#include <vector>

namespace win {

using namespace user_detail;

namespace {

constexpr std::uint64_t kNanosecondsPerMillisecond = 1'000'000;
// Ids of thread timers: far from the small ids windows choose for their own timers.
constexpr UINT_PTR kFirstThreadTimerId = 0x7FFF0000;

struct Timer {
  HWND window = nullptr;
  UINT_PTR id = 0;
  const ThreadQueue* queue = nullptr;
  TIMERPROC callback = nullptr;
  std::uint64_t interval_ns = 0;
  std::uint64_t due_ns = 0;
  std::uint64_t order = 0;  // ties between timers due together go in the order they were set
};

struct TimerList {
  std::vector<Timer> timers;
  std::uint64_t next_order = 0;
  UINT_PTR next_thread_id = kFirstThreadTimerId;
};

TimerList& Timers() {
  static TimerList list;
  return list;
}

Timer* EarliestDueLocked(const ThreadQueue& queue, HWND filter, UINT first, UINT last) {
  const std::uint64_t now = clock::NowNanoseconds();
  Timer* earliest = nullptr;
  for (Timer& timer : Timers().timers) {
    if (timer.queue != &queue || timer.due_ns > now) continue;
    if (!PassesFilterLocked(filter, timer.window, WM_TIMER, first, last)) continue;
    if (!earliest || std::tie(timer.due_ns, timer.order) < std::tie(earliest->due_ns, earliest->order)) earliest = &timer;
  }
  return earliest;
}

}  // namespace

namespace user_detail {

bool TakeDueTimerLocked(ThreadQueue& queue, HWND filter, UINT first, UINT last, bool remove, MSG* out) {
  Timer* timer = EarliestDueLocked(queue, filter, first, last);
  if (!timer) return false;
  const std::uint64_t now = clock::NowNanoseconds();
  out->hwnd = timer->window;
  out->message = WM_TIMER;
  out->wParam = timer->id;
  out->lParam = reinterpret_cast<LPARAM>(timer->callback);
  out->time = static_cast<DWORD>(now / kNanosecondsPerMillisecond);
  GetCursorPos(&out->pt);
  if (remove) {
    // The next period starts when this one is taken: a late pump gets one message, not a backlog.
    timer->due_ns = now + timer->interval_ns;
    timer->order = Timers().next_order++;
  }
  return true;
}

bool HasDueTimerLocked(const ThreadQueue& queue) {
  return EarliestDueLocked(queue, nullptr, 0, 0) != nullptr;
}

std::optional<std::uint64_t> NextTimerDueLocked(const ThreadQueue& queue) {
  // Timers already due are left out: a wait that filters them away must not wake for them again
  // and again; a wait that takes them finds them before it waits.
  const std::uint64_t now = clock::NowNanoseconds();
  std::optional<std::uint64_t> next;
  for (const Timer& timer : Timers().timers)
    if (timer.queue == &queue && timer.due_ns > now && (!next || timer.due_ns < *next)) next = timer.due_ns;
  return next;
}

bool IsTimerCallbackLocked(HWND window, UINT_PTR id, LPARAM callback) {
  return std::any_of(Timers().timers.begin(), Timers().timers.end(), [&](const Timer& timer) {
    return timer.window == window && timer.id == id && reinterpret_cast<LPARAM>(timer.callback) == callback;
  });
}

void KillWindowTimersLocked(HWND window) {
  std::erase_if(Timers().timers, [&](const Timer& timer) { return timer.window == window; });
}

void KillThreadTimersLocked(const ThreadQueue& queue) {
  std::erase_if(Timers().timers, [&](const Timer& timer) { return timer.queue == &queue; });
}

}  // namespace user_detail

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT interval, TIMERPROC callback) {
  const std::shared_ptr<ThreadQueue> own = CurrentQueue();
  std::shared_ptr<ThreadQueue> queue = own;
  if (window != nullptr) {
    const std::shared_ptr<Window> record = LookupWindow(window);
    if (!record) return 0;
    if (record->queue != own) {
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
  }
  const UINT clamped = std::clamp(interval, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
  Lock lock(UserMutex());
  TimerList& list = Timers();
  if (window == nullptr) {
    const auto existing = std::find_if(list.timers.begin(), list.timers.end(), [&](const Timer& timer) {
      return timer.window == nullptr && timer.id == id && timer.queue == queue.get();
    });
    if (existing == list.timers.end()) id = list.next_thread_id++;
  }
  std::erase_if(list.timers, [&](const Timer& timer) {
    return timer.window == window && timer.id == id && timer.queue == queue.get();
  });
  Timer timer;
  timer.window = window;
  timer.id = id;
  timer.queue = queue.get();
  timer.callback = callback;
  timer.interval_ns = clamped * kNanosecondsPerMillisecond;
  timer.due_ns = clock::NowNanoseconds() + timer.interval_ns;
  timer.order = list.next_order++;
  list.timers.push_back(timer);
  queue->waker->Wake();  // a thread waiting for its next timer must look at the new one
  return window == nullptr ? id : (id == 0 ? 1 : id);
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  const std::shared_ptr<ThreadQueue> own = CurrentQueue();
  Lock lock(UserMutex());
  const std::size_t removed = std::erase_if(Timers().timers, [&](const Timer& timer) {
    return timer.window == window && timer.id == id && (window != nullptr || timer.queue == own.get());
  });
  if (removed == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

std::optional<std::uint64_t> NextTimerDueNanoseconds() {
  const std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  Lock lock(UserMutex());
  return NextTimerDueLocked(*queue);
}

}  // namespace win
