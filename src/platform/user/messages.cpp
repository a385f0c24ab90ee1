#include "platform/user/messages.h"

#include "platform/core/clock.h"
#include "platform/core/errors.h"
#include "platform/core/process.h"
#include "platform/core/wait.h"
#include "platform/user/cursors.h"
#include "platform/user/input_state.h"
#include "platform/user/timers.h"
#include "platform/user/window_table.h"

#include <algorithm>
#include <vector>

namespace win {

using namespace user_detail;

namespace {

const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<INT_PTR>(-1));

MSG MakeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg;
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = GetTickCount();
  GetCursorPos(&msg.pt);
  return msg;
}

void RunRetrievalHook(const std::shared_ptr<ThreadQueue>& queue) {
  std::function<void()> hook;
  {
    Lock lock(UserMutex());
    hook = queue->retrieval_hook;
  }
  if (hook) hook();
}

bool TakePostedLocked(ThreadQueue& queue, HWND filter, UINT first, UINT last, bool remove, MSG* out) {
  for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
    if (!PassesFilterLocked(filter, it->hwnd, it->message, first, last)) continue;
    *out = *it;
    if (remove) queue.posted.erase(it);
    return true;
  }
  return false;
}

bool TakeQuitLocked(ThreadQueue& queue, UINT first, UINT last, bool remove, MSG* out) {
  if (!queue.quit_posted) return false;
  if (!(first == 0 && last == 0) && (WM_QUIT < first || WM_QUIT > last)) return false;
  *out = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quit_code), 0);
  if (remove) queue.quit_posted = false;
  return true;
}

// One look at the queue in the platform's order: sent messages are handled first, then a
// posted message, WM_QUIT, WM_PAINT, a due timer.
bool PeekQueue(const std::shared_ptr<ThreadQueue>& queue, MSG* msg, HWND filter, UINT first, UINT last,
               UINT flags) {
  HandleSentMessages(queue);
  HandleActivationRequest(queue);
  const bool remove = (flags & PM_REMOVE) != 0;
  Lock lock(UserMutex());
  queue->new_input = 0;
  MSG found;
  const bool got = TakePostedLocked(*queue, filter, first, last, remove, &found) ||
                   TakeQuitLocked(*queue, first, last, remove, &found) ||
                   TakePaintMessageLocked(*queue, filter, first, last, &found) ||
                   TakeDueTimerLocked(*queue, filter, first, last, remove, &found);
  if (got && msg != nullptr) *msg = found;
  return got;
}

bool IsValidFilter(HWND filter) {
  if (filter == nullptr || filter == kThreadMessagesOnly) return true;
  Lock lock(UserMutex());
  return LookupWindowLocked(filter) != nullptr;
}

clock::Deadline TimerDeadline(const std::optional<std::uint64_t>& due) {
  return due ? clock::Deadline::AtNanoseconds(*due) : clock::Deadline::Never();
}

std::optional<std::uint64_t> NextTimerDue(const std::shared_ptr<ThreadQueue>& queue) {
  Lock lock(UserMutex());
  return NextTimerDueLocked(*queue);
}

enum class SendOutcome { kDelivered, kTimedOut, kFailed };

// Queues a message for another thread's window and waits for its answer.
SendOutcome SendToOtherThread(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam, LPARAM lParam,
                              bool block, clock::Deadline deadline, LRESULT* result) {
  auto sent = std::make_shared<SentMessage>();
  sent->window = window->handle;
  sent->message = message;
  sent->wParam = wParam;
  sent->lParam = lParam;
  const std::shared_ptr<ThreadQueue> own = CurrentQueue();
  sent->sender = own->waker;
  {
    Lock lock(UserMutex());
    if (!window->queue->alive || window->destroyed) return SendOutcome::kFailed;
    window->queue->sent.push_back(sent);
    WakeQueueLocked(*window->queue, QS_SENDMESSAGE);
  }
  const bool answered = WaitUntil(
      [&] {
        if (!block) HandleSentMessages(own);
        Lock lock(UserMutex());
        return sent->state == SentMessage::State::kDone;
      },
      {}, deadline);
  Lock lock(UserMutex());
  if (!answered && sent->state != SentMessage::State::kDone) {
    if (sent->state == SentMessage::State::kPending) {
      std::erase(window->queue->sent, sent);
      sent->state = SentMessage::State::kWithdrawn;
    }
    return SendOutcome::kTimedOut;
  }
  *result = sent->result;
  return SendOutcome::kDelivered;
}

SendOutcome Send(HWND handle, UINT message, WPARAM wParam, LPARAM lParam, bool block, clock::Deadline deadline,
                 LRESULT* result) {
  *result = 0;
  const std::shared_ptr<Window> window = LookupWindow(handle);
  if (!window) return SendOutcome::kFailed;
  if (window->queue->thread_id == GetCurrentThreadId()) {
    *result = CallProcedure(window, message, wParam, lParam);
    return SendOutcome::kDelivered;
  }
  return SendToOtherThread(window, message, wParam, lParam, block, deadline, result);
}

BOOL PostTo(const std::shared_ptr<ThreadQueue>& queue, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const MSG msg = MakeMessage(window, message, wParam, lParam);
  Lock lock(UserMutex());
  if (!queue->alive) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  queue->posted.push_back(msg);
  WakeQueueLocked(*queue, QS_POSTMESSAGE | QS_ALLPOSTMESSAGE);
  return TRUE;
}

// The QS_ bits of what the queue holds now.
DWORD PresentInputLocked(const ThreadQueue& queue) {
  DWORD bits = 0;
  if (!queue.sent.empty()) bits |= QS_SENDMESSAGE;
  if (!queue.posted.empty() || queue.quit_posted) bits |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
  if (HasDueTimerLocked(queue)) bits |= QS_TIMER;
  if (NeedsPaintLocked(queue)) bits |= QS_PAINT;
  return bits;
}

}  // namespace

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  Send(window, message, wParam, lParam, false, clock::Deadline::Never(), &result);
  return result;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageA(window, message, wParam, lParam);
}

LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeout,
                            DWORD_PTR* result) {
  LRESULT answer = 0;
  const SendOutcome outcome =
      Send(window, message, wParam, lParam, (flags & SMTO_BLOCK) != 0, clock::Deadline::After(timeout), &answer);
  if (outcome == SendOutcome::kTimedOut) SetLastError(ERROR_TIMEOUT);
  if (outcome != SendOutcome::kDelivered) return 0;
  if (result != nullptr) *result = static_cast<DWORD_PTR>(answer);
  return 1;
}

LRESULT SendMessageTimeoutW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeout,
                            DWORD_PTR* result) {
  return SendMessageTimeoutA(window, message, wParam, lParam, flags, timeout, result);
}

BOOL PostMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  if (handle == nullptr) return PostTo(CurrentQueue(), nullptr, message, wParam, lParam);
  const std::shared_ptr<Window> window = LookupWindow(handle);
  if (!window) return FALSE;
  return PostTo(window->queue, handle, message, wParam, lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return PostMessageA(window, message, wParam, lParam);
}

BOOL PostThreadMessageA(DWORD thread_id, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<ThreadQueue> queue;
  {
    Lock lock(UserMutex());
    queue = QueueOfThreadLocked(thread_id);
  }
  if (!queue) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  return PostTo(queue, nullptr, message, wParam, lParam);
}

BOOL PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
  const std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  if ((remove & PM_REMOVE) != 0) RunRetrievalHook(queue);
  return PeekQueue(queue, msg, window, first, last, remove) ? TRUE : FALSE;
}

BOOL PeekMessageW(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
  return PeekMessageA(msg, window, first, last, remove);
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT first, UINT last) {
  if (msg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!IsValidFilter(window)) return -1;
  const std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  for (;;) {
    // Wait until a message comes, or the next timer falls due, or a new timer is due sooner.
    const std::optional<std::uint64_t> due = NextTimerDue(queue);
    bool got = false;
    WaitUntil(
        [&] {
          RunRetrievalHook(queue);
          got = PeekQueue(queue, msg, window, first, last, PM_REMOVE);
          return got || NextTimerDue(queue) != due;
        },
        {}, TimerDeadline(due));
    if (got) return msg->message == WM_QUIT ? FALSE : TRUE;
  }
}

BOOL GetMessageW(LPMSG msg, HWND window, UINT first, UINT last) { return GetMessageA(msg, window, first, last); }

BOOL WaitMessage() {
  return MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT) == WAIT_FAILED ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG* msg) {
  constexpr WPARAM kBack = 0x08, kTab = 0x09, kReturn = 0x0D, kEscape = 0x1B, kSpace = 0x20;
  if (msg == nullptr || msg->message != WM_KEYDOWN) return FALSE;
  const WPARAM key = msg->wParam;
  // The scan-code byte, when the display gave one, is the character the key typed on the layout
  // in force: the case and the symbol were settled when the key went down.
  const auto typed = static_cast<WPARAM>((msg->lParam >> 16) & 0xFF);
  const bool letter = key >= 'A' && key <= 'Z';
  const bool prints = letter || key == kSpace || (key >= '0' && key <= '9') || key == static_cast<WPARAM>(VK_PACKET);
  WPARAM character = 0;
  if (key == kBack || key == kTab || key == kReturn || key == kEscape) {
    character = key;
  } else if (letter && GetKeyState(VK_CONTROL) < 0) {
    character = key - 'A' + 1;  // Ctrl+A is 1
  } else if (prints && typed != 0) {
    character = typed;
  } else if (key == kSpace || (key >= '0' && key <= '9')) {
    character = key;
  } else if (letter) {
    const bool upper = (GetKeyState(VK_SHIFT) < 0) != ((GetKeyState(VK_CAPITAL) & 1) != 0);
    character = upper ? key : key - 'A' + 'a';
  } else {
    return FALSE;
  }
  return PostMessageA(msg->hwnd, WM_CHAR, character, msg->lParam);
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg == nullptr) return 0;
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    bool is_callback;
    {
      Lock lock(UserMutex());
      is_callback = IsTimerCallbackLocked(msg->hwnd, msg->wParam, msg->lParam);
    }
    // Only a callback this layer registered is called; a forged WM_TIMER is not.
    if (!is_callback) return 0;
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
    return 0;
  }
  if (msg->hwnd == nullptr) return 0;
  const std::shared_ptr<Window> window = LookupWindow(msg->hwnd);
  if (!window) return 0;
  if (window->queue->thread_id != GetCurrentThreadId()) {
    SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
    return 0;
  }
  return CallProcedure(window, msg->message, msg->wParam, msg->lParam);
}

LRESULT DispatchMessageW(const MSG* msg) { return DispatchMessageA(msg); }

void PostQuitMessage(INT exit_code) {
  const std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  Lock lock(UserMutex());
  queue->quit_posted = true;
  queue->quit_code = exit_code;
  WakeQueueLocked(*queue, QS_POSTMESSAGE | QS_ALLPOSTMESSAGE);
}

DWORD GetQueueStatus(UINT flags) {
  const std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  Lock lock(UserMutex());
  const DWORD status = ((PresentInputLocked(*queue) & flags) << 16) | (queue->new_input & flags);
  queue->new_input = 0;
  return status;
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all, DWORD milliseconds,
                                DWORD wake_mask) {
  if (count > MAXIMUM_WAIT_OBJECTS - 1 || (count > 0 && handles == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  const std::optional<WaitableObjects> waitables = LookupWaitables(std::span(handles, count));
  if (!waitables) return WAIT_FAILED;
  const std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  auto input_arrived = [&] {
    RunRetrievalHook(queue);
    Lock lock(UserMutex());
    const DWORD present = PresentInputLocked(*queue);
    const DWORD waiting = (present & (QS_SENDMESSAGE | QS_TIMER | QS_PAINT)) | queue->new_input;
    return (waiting & wake_mask) != 0;
  };
  const std::optional<std::uint64_t> end =
      milliseconds == INFINITE ? std::nullopt
                               : std::optional<std::uint64_t>(clock::NowNanoseconds() + milliseconds * 1'000'000ull);
  for (;;) {
    // A timer falling due is input too: wake for it and look again.
    std::optional<std::uint64_t> until = end;
    if (const std::optional<std::uint64_t> due = NextTimerDue(queue); due && (wake_mask & QS_TIMER))
      until = until ? std::min(*until, *due) : *due;
    const DWORD result = WaitForObjects(waitables->objects, wait_all != FALSE, TimerDeadline(until), input_arrived, {});
    if (result != WAIT_TIMEOUT) return result;
    if (end && clock::NowNanoseconds() >= *end) return WAIT_TIMEOUT;
  }
}

void SetMessageRetrievalHook(std::function<void()> hook) {
  const std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  Lock lock(UserMutex());
  queue->retrieval_hook = std::move(hook);
}

BOOL InSendMessage() {
  const std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  Lock lock(UserMutex());
  return queue->handling_sent > 0 ? TRUE : FALSE;
}

}  // namespace win
