#include "platform/ole/drag_drop.h"

#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/com/com_init.h"
#include "platform/com/com_ptr.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/virtual_keys.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"

namespace win {
namespace {

struct TargetRegistry {
  std::mutex lock;
  std::map<HWND, ComPtr<IDropTarget>> targets;
};

TargetRegistry& Registry() {
  static TargetRegistry registry;
  return registry;
}

ComPtr<IDropTarget> RegisteredTarget(HWND window) {
  TargetRegistry& registry = Registry();
  std::lock_guard guard(registry.lock);
  auto it = registry.targets.find(window);
  return it == registry.targets.end() ? nullptr : it->second;
}

// The target of the window under a screen point: the window's own, else its nearest parent's.
ComPtr<IDropTarget> TargetAt(POINT screen) {
  for (HWND window = WindowFromPoint(screen); window != nullptr; window = GetParent(window)) {
    if (ComPtr<IDropTarget> target = RegisteredTarget(window)) return target;
    if ((GetWindowLongA(window, GWL_STYLE) & WS_CHILD) == 0) break;  // a top-level window's owner is no container
  }
  return nullptr;
}

bool IsMouseInput(UINT message) { return message >= WM_MOUSEMOVE && message <= WM_MBUTTONDBLCLK; }

bool IsKeyInput(UINT message) {
  return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN || message == WM_SYSKEYUP ||
         message == WM_CHAR || message == WM_SYSCHAR;
}

constexpr DWORD kButtonBits = MK_LBUTTON | MK_RBUTTON | MK_MBUTTON;

// The button a button-up message releases: it no longer counts as held, whatever wParam says.
DWORD ReleasedButton(UINT message) {
  switch (message) {
    case WM_LBUTTONUP: return MK_LBUTTON;
    case WM_RBUTTONUP: return MK_RBUTTON;
    case WM_MBUTTONUP: return MK_MBUTTON;
    default: return 0;
  }
}

// The keys of a mouse message's wParam with those the keyboard state holds down.
DWORD KeyStateWith(DWORD mouse_keys) {
  DWORD keys = mouse_keys & (kButtonBits | MK_SHIFT | MK_CONTROL);
  if (GetKeyState(VK_SHIFT) < 0) keys |= MK_SHIFT;
  if (GetKeyState(VK_CONTROL) < 0) keys |= MK_CONTROL;
  if (GetKeyState(VK_MENU) < 0) keys |= MK_ALT;
  return keys;
}

// One drag: the source, the data, and the target under the pointer with its last answer.
class DragLoop {
 public:
  DragLoop(IDataObject* data, IDropSource* source, DROPEFFECT allowed)
      : data_(data), source_(source), allowed_(allowed) {}

  HRESULT Run(DROPEFFECT* effect) {
    MSG msg;
    for (;;) {
      const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
      if (got <= 0) {
        Leave();
        // The outer loop must still see the request to quit.
        if (got == 0) PostQuitMessage(static_cast<INT>(msg.wParam));
        return DRAGDROP_S_CANCEL;
      }
      std::optional<HRESULT> ended;
      if (IsMouseInput(msg.message)) {
        POINT point{static_cast<SHORT>(LOWORD(msg.lParam)), static_cast<SHORT>(HIWORD(msg.lParam))};
        ClientToScreen(msg.hwnd, &point);
        point_ = point;
        keys_ = KeyStateWith(static_cast<DWORD>(msg.wParam)) & ~ReleasedButton(msg.message);
        ended = Step(false);
      } else if (IsKeyInput(msg.message)) {
        const bool escape = msg.message == WM_KEYDOWN && msg.wParam == static_cast<WPARAM>(VK_ESCAPE);
        keys_ = KeyStateWith(keys_ & kButtonBits);
        ended = Step(escape);
      } else if (msg.message != WM_MOUSEWHEEL) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      if (ended) {
        *effect = effect_;
        return *ended;
      }
    }
  }

 private:
  // Asks the source whether to go on; answers the drag's result once it ends.
  std::optional<HRESULT> Step(bool escape) {
    const HRESULT verdict = source_->QueryContinueDrag(escape ? TRUE : FALSE, keys_);
    if (verdict == S_OK) {
      Track();
      source_->GiveFeedback(effect_);
      return std::nullopt;
    }
    if (verdict == DRAGDROP_S_DROP && target_ && effect_ != DROPEFFECT_NONE) {
      DROPEFFECT effect = allowed_;
      const ComPtr<IDropTarget> target = std::exchange(target_, nullptr);
      if (FAILED(target->Drop(data_, keys_, Where(), &effect))) effect = DROPEFFECT_NONE;
      effect_ = effect & allowed_;
      return DRAGDROP_S_DROP;
    }
    Leave();
    // Dropping where no target accepts is a cancel; a failing source ends with its failure.
    return FAILED(verdict) ? verdict : DRAGDROP_S_CANCEL;
  }

  // Follows the pointer: leaves the old target and enters a new one, or moves over the same.
  void Track() {
    const ComPtr<IDropTarget> under = TargetAt(point_);
    DROPEFFECT effect = allowed_;
    if (under == target_) {
      if (target_ && FAILED(target_->DragOver(keys_, Where(), &effect))) effect = DROPEFFECT_NONE;
    } else {
      Leave();
      target_ = under;
      if (target_ && FAILED(target_->DragEnter(data_, keys_, Where(), &effect))) {
        target_.Reset();
        effect = DROPEFFECT_NONE;
      }
    }
    effect_ = target_ ? (effect & allowed_) : DROPEFFECT_NONE;
  }

  void Leave() {
    if (const ComPtr<IDropTarget> target = std::exchange(target_, nullptr)) target->DragLeave();
    effect_ = DROPEFFECT_NONE;
  }

  POINTL Where() const { return POINTL{point_.x, point_.y}; }

  IDataObject* data_;
  IDropSource* source_;
  DROPEFFECT allowed_;
  ComPtr<IDropTarget> target_;
  DROPEFFECT effect_ = DROPEFFECT_NONE;
  POINT point_{};
  DWORD keys_ = 0;
};

}  // namespace

HRESULT RegisterDragDrop(HWND window, IDropTarget* target) {
  if (OleInitializeCount() == 0) return E_OUTOFMEMORY;
  if (target == nullptr) return E_INVALIDARG;
  if (!IsWindow(window)) return DRAGDROP_E_INVALIDHWND;
  TargetRegistry& registry = Registry();
  std::lock_guard guard(registry.lock);
  if (registry.targets.count(window) != 0) return DRAGDROP_E_ALREADYREGISTERED;
  registry.targets.emplace(window, ComPtr<IDropTarget>(target));
  return S_OK;
}

HRESULT RevokeDragDrop(HWND window) {
  ComPtr<IDropTarget> released;  // released outside the lock: its last Release may run code
  {
    TargetRegistry& registry = Registry();
    std::lock_guard guard(registry.lock);
    auto it = registry.targets.find(window);
    if (it == registry.targets.end()) return IsWindow(window) ? DRAGDROP_E_NOTREGISTERED : DRAGDROP_E_INVALIDHWND;
    released = std::move(it->second);
    registry.targets.erase(it);
  }
  return S_OK;
}

HRESULT DoDragDrop(IDataObject* data, IDropSource* source, DROPEFFECT allowed, DROPEFFECT* effect) {
  if (data == nullptr || source == nullptr || effect == nullptr) return E_INVALIDARG;
  *effect = DROPEFFECT_NONE;
  // Both stay alive for the whole drag, whatever the handlers release meanwhile.
  const ComPtr<IDataObject> held_data(data);
  const ComPtr<IDropSource> held_source(source);
  DragLoop loop(data, source, allowed);
  return loop.Run(effect);
}

}  // namespace win
