#include "components/listview/edit_manager.h"

#include <optional>

#include "classlib/forms.h"
#include "classlib/messages.h"
#include "components/listview/groups.h"
#include "components/listview/items.h"
#include "components/listview/listview.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/window_position.h"

namespace dashtune {

namespace {

constexpr win::WPARAM kTabKey = 0x09;
constexpr win::WPARAM kEscapeKey = 0x1B;

int SignedLow(win::LPARAM value) { return static_cast<std::int16_t>(value & 0xFFFF); }
int SignedHigh(win::LPARAM value) { return static_cast<std::int16_t>((value >> 16) & 0xFFFF); }

// Views whose captions take several lines get the memo editor.
bool WantsMemoEditor(TTouchListStyle view) {
  return view == elsIcon || view == elsThumbnail || view == elsTile || view == elsFilmStrip;
}

}  // namespace

// The running edit, kept on BeginEdit's stack so that the loop can tell when the control (and
// this manager with it) has been freed under it.
struct TTouchEditManager::Session {
  win::ComPtr<ITouchCellEditor> editor;
  bool manager_gone = false;
  bool target_gone = false;  // the edited item or column was freed
  std::optional<win::MSG> deliver_after;  // a press outside the box, handled once the edit is over
  bool move_on = false;                   // Tab accepted the edit: the next item's begins
  bool backwards = false;
};

TTouchEditManager::TTouchEditManager(TCustomTouchListview* AOwner)
    : TTouchOwnedPersistent(AOwner), font_(std::make_unique<TFont>()) {}

TTouchEditManager::~TTouchEditManager() {
  if (session_ != nullptr) session_->manager_gone = true;
  if (Application != nullptr) Application->UnhookDeactivation(this);
}

void TTouchEditManager::Forget(TTouchCollectionItem* Object) {
  if (Object == nullptr) return;
  if (Object != edit_item_ && Object != edit_column_) return;
  if (Object == edit_item_) edit_item_ = nullptr;
  if (Object == edit_column_) edit_column_ = nullptr;
  if (session_ != nullptr) session_->target_gone = true;
}

void TTouchEditManager::EndEdit() {
  TCustomTouchListview* control = GetOwnerListview();
  if (session_ == nullptr || !control->HandleAllocated()) return;
  win::PostMessageA(control->GetHandle(), listview::kEndEditMessage, 0, 0);
}

win::ComPtr<ITouchCellEditor> TTouchEditManager::MakeEditor(TTouchItem* Item) {
  TCustomTouchListview* control = GetOwnerListview();
  ITouchCellEditor* given = nullptr;
  control->DoItemCreateEditor(Item, given);
  if (given != nullptr) return win::ComPtr<ITouchCellEditor>(given);
  if (WantsMemoEditor(control->GetView())) return win::ComPtr<ITouchCellEditor>(new TTouchMemoEditor);
  return win::ComPtr<ITouchCellEditor>(new TTouchStringEditor);
}

void TTouchEditManager::BeginEdit(TTouchItem* Item, TTouchColumn* Column) {
  TCustomTouchListview* control = GetOwnerListview();
  if (session_ != nullptr || Item == nullptr || !control->HandleAllocated()) return;
  Session session;
  session.editor = MakeEditor(Item);
  session_ = &session;
  edit_item_ = Item;
  edit_column_ = Column;
  editor_ = session.editor;
  try {
    session.editor->Initialize(Item, Column);
    session.editor->Show();
    session.editor->SetEditorFocus();
  } catch (...) {
    session.editor->Finalize();
    edit_item_ = nullptr;
    edit_column_ = nullptr;
    editor_ = nullptr;
    session_ = nullptr;
    throw;
  }
  Item->Invalidate(false);
  if (Application != nullptr) Application->HookDeactivation(this, [this] { EndEdit(); });
  RunLoop(session);
  if (session.manager_gone) {
    // The control is gone: no event of it any more, only the box goes.
    try {
      session.editor->Finalize();
    } catch (...) {
      if (Application != nullptr) Application->HandleException(nullptr);
    }
    return;
  }
  TTouchItem* next = session.move_on ? NextItemForTab(Item, session.backwards) : nullptr;
  TTouchColumn* column = edit_column_;
  if (!Finish(session)) return;
  if (session.deliver_after) {
    win::TranslateMessage(&*session.deliver_after);
    win::DispatchMessageA(&*session.deliver_after);
    return;  // the press may have freed the control
  }
  if (next != nullptr) BeginEdit(next, column);
}

void TTouchEditManager::RunLoop(Session& session) {
  win::MSG msg{};
  while (!session.manager_gone && !session.target_gone) {
    const win::BOOL got = win::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      win::PostQuitMessage(static_cast<win::INT>(msg.wParam));  // for the loop outside
      return;
    }
    if (got < 0) return;
    switch (Classify(msg)) {
      case Step::kEnd:
        return;
      case Step::kEndThenDeliver:
        session.deliver_after = msg;
        return;
      case Step::kSelectAll:
        session.editor->SelectAll();
        continue;
      case Step::kMoveOn: {
        bool accepted = false;
        try {
          accepted = session.editor->AcceptEdit();
        } catch (...) {
          if (Application != nullptr) Application->HandleException(GetOwnerListview());
        }
        if (session.manager_gone) return;
        if (!accepted) continue;
        session.move_on = true;
        session.backwards = win::GetKeyState(win::VK_SHIFT) < 0;
        return;
      }
      case Step::kDispatch:
        break;
    }
    win::TranslateMessage(&msg);
    win::DispatchMessageA(&msg);
  }
}

TTouchEditManager::Step TTouchEditManager::Classify(const win::MSG& Msg) const {
  switch (Msg.message) {
    case listview::kEndEditMessage:
      return Msg.hwnd == GetOwnerListview()->GetHandle() ? Step::kEnd : Step::kDispatch;
    case win::WM_KEYDOWN:
      if (Msg.wParam == kEscapeKey) return Step::kEnd;
      if (Msg.wParam == 'A' && win::GetKeyState(win::VK_CONTROL) < 0) return Step::kSelectAll;
      if (Msg.wParam == kTabKey && tab_move_focus_) return Step::kMoveOn;
      return Step::kDispatch;
    case win::WM_MOUSEWHEEL:
      return Step::kEnd;
    default:
      return IsMouseButtonPress(Msg.message) && IsOutsideEditBox(Msg) ? Step::kEndThenDeliver : Step::kDispatch;
  }
}

bool TTouchEditManager::IsOutsideEditBox(const win::MSG& Msg) const {
  const win::HWND box = editor_ ? editor_->GetHandle() : nullptr;
  if (Msg.hwnd == nullptr) return true;
  if (Msg.hwnd == box) return false;
  win::POINT point{SignedLow(Msg.lParam), SignedHigh(Msg.lParam)};
  win::ClientToScreen(Msg.hwnd, &point);
  win::ScreenToClient(GetOwnerListview()->GetHandle(), &point);
  return !editor_->PtInEditControl(point);
}

bool TTouchEditManager::Finish(Session& session) {
  TCustomTouchListview* control = GetOwnerListview();
  if (Application != nullptr) Application->UnhookDeactivation(this);
  TTouchItem* item = edit_item_;  // nil when it was freed
  // Each step's handlers may fail (their exception goes to the application) or free the control.
  const auto step = [&](auto&& action) {
    try {
      action();
    } catch (...) {
      if (Application != nullptr) Application->HandleException(session.manager_gone ? nullptr : control);
    }
    return !session.manager_gone;
  };
  if (!step([&] { session.editor->Hide(); })) return false;
  if (!step([&] { control->DoItemEditEnd(item); })) return false;
  if (!step([&] { session.editor->Finalize(); })) return false;
  session.editor = nullptr;
  editor_ = nullptr;
  item = edit_item_;
  edit_item_ = nullptr;
  edit_column_ = nullptr;
  session_ = nullptr;
  // An end asked for twice (EndEdit after Enter, a deactivation meanwhile) ends nothing later.
  win::MSG stale{};
  while (control->HandleAllocated() &&
         win::PeekMessageA(&stale, control->GetHandle(), listview::kEndEditMessage, listview::kEndEditMessage,
                           win::PM_REMOVE)) {
  }
  if (item != nullptr) item->Invalidate(false);
  return true;
}

TTouchItem* TTouchEditManager::NextItemForTab(TTouchItem* Item, bool Backwards) const {
  TTouchGroups* groups = GetOwnerListview()->GetGroups();
  if (!Backwards) return groups->NextVisibleItem(Item);
  TTouchItem* previous = groups->PrevItem(Item);
  while (previous != nullptr && !previous->GetVisible()) previous = groups->PrevItem(previous);
  return previous;
}

}  // namespace dashtune
