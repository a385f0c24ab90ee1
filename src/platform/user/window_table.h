// Inside the window manager: the records behind window handles, thread queues and the lock that
// guards them all. Not for use outside src/platform/user.
#pragma once

#include "platform/core/types.h"
#include "platform/core/wait.h"
#include "platform/gdi/dc_access.h"
#include "platform/gdi/region.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace win::user_detail {

// Guards every record below. Never held while a window procedure runs.
std::mutex& UserMutex();
using Lock = std::unique_lock<std::mutex>;

struct WindowClass {
  std::string name;
  ATOM atom = 0;
  HINSTANCE instance = nullptr;
  UINT style = 0;
  WNDPROC procedure = nullptr;
  INT class_extra = 0;
  INT window_extra = 0;
  HICON icon = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  int windows = 0;
};

// A message sent from another thread, waiting in the receiver's queue.
struct SentMessage {
  enum class State { kPending, kStarted, kDone, kWithdrawn };
  HWND window = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  State state = State::kPending;
  LRESULT result = 0;
  std::shared_ptr<ThreadWaker> sender;
};

struct ThreadQueue {
  DWORD thread_id = 0;
  std::shared_ptr<ThreadWaker> waker;
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::deque<MSG> posted;
  bool quit_posted = false;
  INT quit_code = 0;
  DWORD new_input = 0;  // QS_ bits added since the thread last looked at its queue
  int handling_sent = 0;
  HWND focus = nullptr;
  HWND capture = nullptr;
  HWND active = nullptr;
  bool app_active = true;                  // the program holds the activation
  std::optional<bool> activation_request;  // from the presenter's thread, run by the owner
  std::function<void()> retrieval_hook;
  bool alive = true;
};

// The 32-bit pixels of a visible top-level window. Shared with the device contexts drawing into
// it, so a context outliving a resize or a hide never writes into freed memory.
struct SurfaceStore {
  std::vector<std::uint8_t> bits;
  int width = 0;
  int height = 0;
  gdi::SurfaceDesc Desc() {
    return gdi::SurfaceDesc{bits.data(), width, height, static_cast<std::ptrdiff_t>(width) * 4};
  }
};

struct Window {
  HWND handle = nullptr;
  std::shared_ptr<WindowClass> window_class;
  std::shared_ptr<ThreadQueue> queue;  // the owner thread's queue
  WNDPROC procedure = nullptr;
  DWORD style = 0;
  DWORD ex_style = 0;
  HINSTANCE instance = nullptr;
  LONG_PTR id = 0;
  LONG_PTR user_data = 0;
  std::vector<BYTE> extra;
  std::string text;  // UTF-8
  bool message_only = false;
  HWND parent = nullptr;  // for child windows only
  HWND owner = nullptr;   // for owned top-level windows
  std::vector<HWND> children;  // in z-order, topmost first
  RECT rect;  // relative to the parent's client area; screen coordinates for top-level windows
  bool destroying = false;
  bool destroyed = false;
  // Painting.
  gdi::Region update;  // client coordinates
  bool erase_pending = false;
  std::shared_ptr<SurfaceStore> surface;  // visible top-level windows only
};

// A device context handed out for a window (GetDC, BeginPaint), kept so that its geometry
// follows the window when it moves, resizes, hides or changes parent.
struct DcRecord {
  HDC dc = nullptr;
  HWND window = nullptr;
  std::optional<gdi::Region> paint_area;  // BeginPaint: the update region it paints
  std::shared_ptr<SurfaceStore> surface;
};

struct WindowTable {
  std::unordered_map<std::uintptr_t, std::shared_ptr<Window>> windows;
  std::vector<HWND> top_level;     // in z-order, topmost first
  std::vector<HWND> message_only;  // in creation order, newest first
  std::uintptr_t next_handle = 0x20000;
  std::vector<DcRecord> dcs;
};

// All of these need UserMutex() held.
WindowTable& Windows();
std::shared_ptr<Window> FindWindowLocked(HWND handle);
// FindWindowLocked that sets ERROR_INVALID_WINDOW_HANDLE when there is no such window.
std::shared_ptr<Window> LookupWindowLocked(HWND handle);
// Marks the window destroyed and takes it out of the table, its sibling list and its class's
// count of windows; a window already destroyed is left alone.
void RemoveWindowLocked(const std::shared_ptr<Window>& window);
std::vector<HWND>* SiblingListLocked(const Window& window);
// Puts the window at `index` of its sibling list (0: on top; past the end: at the bottom). Among
// top-level windows those with WS_EX_TOPMOST stay above the others.
void InsertSiblingLocked(const Window& window, std::size_t index);
bool IsDescendantLocked(HWND ancestor, HWND window);
void WakeQueueLocked(ThreadQueue& queue, DWORD new_input);
std::shared_ptr<ThreadQueue> QueueOfThreadLocked(DWORD thread_id);

// The calling thread's queue, made on first use.
std::shared_ptr<ThreadQueue> CurrentQueue();

// A window of the calling thread, or null with ERROR_INVALID_WINDOW_HANDLE.
std::shared_ptr<Window> LookupWindow(HWND handle);

// Calls the window's current procedure (without the lock); 0 once the window is gone.
LRESULT CallProcedure(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam, LPARAM lParam);

// Handles the messages other threads sent to the calling thread; answers whether it handled any.
bool HandleSentMessages(const std::shared_ptr<ThreadQueue>& queue);
// Carries out an activation change another thread asked the calling thread for (input_state.cpp).
void HandleActivationRequest(const std::shared_ptr<ThreadQueue>& queue);

// Timers (timers.cpp), with the lock held.
bool TakeDueTimerLocked(ThreadQueue& queue, HWND filter, UINT first, UINT last, bool remove, MSG* out);
bool HasDueTimerLocked(const ThreadQueue& queue);
std::optional<std::uint64_t> NextTimerDueLocked(const ThreadQueue& queue);
bool IsTimerCallbackLocked(HWND window, UINT_PTR id, LPARAM callback);
void KillWindowTimersLocked(HWND window);
void KillThreadTimersLocked(const ThreadQueue& queue);

// Painting (paint.cpp), with the lock held: whether a window of the queue needs WM_PAINT, and
// that message for the first such window passing the filter.
bool NeedsPaintLocked(const ThreadQueue& queue);
bool TakePaintMessageLocked(ThreadQueue& queue, HWND filter, UINT first, UINT last, MSG* out);
// Without the lock: default WM_ERASEBKGND / WM_PAINT handling, and the window manager's notes
// to painting about windows made, about to be destroyed and restyled.
LRESULT DefaultPaint(HWND window, UINT message, WPARAM wParam);
void WindowCreated(HWND window);
void WindowDestroying(HWND window);
void StyleChanged(HWND window, INT index, DWORD old_style, DWORD new_style);
// DefWindowProc's WM_WINDOWPOSCHANGED: WM_MOVE and WM_SIZE.
void DefaultWindowPosChanged(HWND window, LPARAM window_pos);

// Whether a visible top-level window's picture is unfinished: a device context is drawing into
// its surface, or it or a visible window inside it awaits a paint.
bool PictureUnfinishedLocked(const Window& top_level);

// Whether a message for `window` passes a PeekMessage filter.
bool PassesFilterLocked(HWND filter, HWND window, UINT message, UINT first, UINT last);

}  // namespace win::user_detail
