#include "classlib/drag_session.h"

#include <cstdlib>
#include <cstdint>

#include "platform/user/input_state.h"
#include "platform/user/cursors.h"
#include "platform/user/messages.h"
#include "platform/user/system_metrics.h"
#include "platform/user/virtual_keys.h"
#include "platform/user/window_position.h"

namespace dashtune {
namespace {

struct Session {
  TControl* source = nullptr;  // not owned; nullptr while no drag runs
  TWinControl* holder = nullptr;  // the window holding the capture for the source
  bool started = false;           // false until the pointer passes the threshold
  int threshold = 0;
  win::POINT start{};
  win::POINT last{};  // last pointer, screen coordinates
  TControl* target = nullptr;  // not owned
  bool accepted = false;
};

Session& Current() {
  static Session session;
  return session;
}

// The control under a screen point: a window's control, or its graphic child there.
TControl* ControlAt(win::POINT screen) {
  TWinControl* window = FindControl(win::WindowFromPoint(screen));
  if (window == nullptr) return nullptr;
  if (TControl* child = window->ControlAtPos(window->ScreenToClient(screen))) return child;
  return window;
}

win::POINT ScreenPointOf(TWinControl* window, win::LPARAM lParam) {
  const win::POINT local{static_cast<std::int16_t>(lParam & 0xFFFF), static_cast<std::int16_t>((lParam >> 16) & 0xFFFF)};
  return window->ClientToScreen(local);
}

bool PassedThreshold(const Session& session, win::POINT now) {
  const int x_limit = session.threshold >= 0 ? session.threshold : win::GetSystemMetrics(win::SM_CXDRAG);
  const int y_limit = session.threshold >= 0 ? session.threshold : win::GetSystemMetrics(win::SM_CYDRAG);
  return std::abs(now.x - session.start.x) > x_limit || std::abs(now.y - session.start.y) > y_limit;
}

}  // namespace

void DragSession::Begin(TControl* Source, bool Immediate, int Threshold, win::POINT Start) {
  Session& session = Current();
  if (session.source != nullptr) return;
  auto* window = dynamic_cast<TWinControl*>(Source);
  TWinControl* holder = window != nullptr ? window : Source->GetParent();
  if (holder == nullptr) return;
  // Captured first: the window losing the capture must not end the new drag.
  Source->SetMouseCapture(true);
  session = Session{Source, holder, false, Threshold, Start, Start, nullptr, false};
  if (Immediate) {
    session.started = true;
    Source->DoStartDrag();
  }
}

bool DragSession::IsSource(const TControl* Control) { return Control != nullptr && Current().source == Control; }

void DragSession::End(TControl* Source, bool Drop) {
  Session& session = Current();
  if (session.source == nullptr || session.source != Source) return;
  // The session is over before any handler runs: a handler may begin the next drag.
  const Session ended = session;
  session = Session{};
  if (Source->GetMouseCapture()) Source->SetMouseCapture(false);
  if (!ended.started) return;
  TControl* taker = nullptr;
  win::POINT at{};
  if (ended.target != nullptr) {
    at = ended.target->ScreenToClient(ended.last);
    if (Drop && ended.accepted) {
      taker = ended.target;
      ended.target->DragDrop(Source, at.x, at.y);
    } else {
      bool accept = false;
      ended.target->DragOver(Source, at.x, at.y, dsDragLeave, accept);
    }
  }
  Source->DoEndDrag(taker, at.x, at.y);
}

bool DragSession::Intercepts(TWinControl* Window, const TMessage& Message) {
  Session& session = Current();
  if (session.source == nullptr) return false;
  if (Message.Msg == win::WM_KEYDOWN && Message.WParam == static_cast<win::WPARAM>(win::VK_ESCAPE)) {
    End(session.source, false);
    return true;
  }
  if (Window != session.holder) return false;
  if (Message.Msg == win::WM_CAPTURECHANGED) {
    End(session.source, false);
    return false;
  }
  if (Message.Msg < win::WM_MOUSEMOVE || Message.Msg > win::WM_MBUTTONDBLCLK) return false;
  session.last = ScreenPointOf(Window, Message.LParam);
  if (Message.Msg == win::WM_LBUTTONUP) {
    End(session.source, true);
    return true;
  }
  if (Message.Msg != win::WM_MOUSEMOVE) return true;
  TControl* source = session.source;
  if (!session.started) {
    if (!PassedThreshold(session, session.last)) return true;
    session.started = true;
    source->DoStartDrag();
    if (Current().source != source) return true;  // the handler ended the drag
  }
  TControl* under = ControlAt(session.last);
  TControl* previous = session.target;
  if (under != previous && previous != nullptr) {
    const win::POINT at = previous->ScreenToClient(session.last);
    bool accept = false;
    session.target = nullptr;
    session.accepted = false;
    previous->DragOver(source, at.x, at.y, dsDragLeave, accept);
    if (Current().source != source) return true;
  }
  if (under != nullptr) {
    const win::POINT at = under->ScreenToClient(session.last);
    bool accept = false;
    session.target = under;
    under->DragOver(source, at.x, at.y, under != previous ? dsDragEnter : dsDragMove, accept);
    if (Current().source == source && Current().target == under) Current().accepted = accept;
  }
  return true;
}

void DragSession::Forget(const TControl* Control) {
  Session& session = Current();
  if (session.source == nullptr) return;
  if (session.source == Control || session.holder == Control) {
    session = Session{};
    return;
  }
  if (session.target == Control) {
    session.target = nullptr;
    session.accepted = false;
  }
}

// --- the control's side ----------------------------------------------------------------------

void TControl::BeginDrag(bool Immediate, int Threshold) {
  win::POINT start{};
  win::GetCursorPos(&start);
  DragSession::Begin(this, Immediate, Threshold, start);
}

void TControl::EndDrag(bool Drop) { DragSession::End(this, Drop); }

bool TControl::Dragging() const { return DragSession::IsSource(this); }

void TControl::DoStartDrag() {
  if (OnStartDrag) OnStartDrag(this);
}

void TControl::DragOver(TObject* Source, int X, int Y, TDragState State, bool& Accept) {
  if (OnDragOver) OnDragOver(this, Source, X, Y, State, Accept);
}

void TControl::DragDrop(TObject* Source, int X, int Y) {
  if (OnDragDrop) OnDragDrop(this, Source, X, Y);
}

void TControl::DoEndDrag(TObject* Target, int X, int Y) {
  if (OnEndDrag) OnEndDrag(this, Target, X, Y);
}

}  // namespace dashtune
