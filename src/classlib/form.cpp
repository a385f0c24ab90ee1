#include "classlib/form.h"

#include <algorithm>

#include "platform/user/cursors.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/system_metrics.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"

namespace dashtune {
namespace {

// Posted to a form by Release, from the class library's own control messages (0xB000 up); the
// form frees itself when it arrives.
constexpr win::UINT kReleaseMessage = 0xB021;

// The first window control under `parent`, depth first in child order, that has TabStop and can
// take the focus.
TWinControl* FirstFocusable(const TWinControl* parent) {
  for (int i = 0; i < parent->GetControlCount(); ++i) {
    auto* window = dynamic_cast<TWinControl*>(parent->GetControl(i));
    if (window == nullptr || !window->CanFocus()) continue;
    if (window->GetTabStop()) return window;
    if (TWinControl* inner = FirstFocusable(window)) return inner;
  }
  return nullptr;
}

}  // namespace

TCustomForm* GetParentForm(TControl* Control) {
  if (Control == nullptr) return nullptr;
  while (Control->GetParent() != nullptr) Control = Control->GetParent();
  return dynamic_cast<TCustomForm*>(Control);
}

// --- forms ---------------------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* AOwner)
    : TWinControl(AOwner), canvas_(std::make_unique<TControlCanvas>(this)) {
  TWinControl::SetVisible(false);
  SetParentColor(false);
  SetParentFont(false);
  SetColor(clBtnFace);
  SetBounds(0, 0, 320, 240);
  Screen->AddForm(this);
}

TCustomForm::~TCustomForm() {
  SetActiveControl(nullptr);
  Screen->RemoveForm(this);
  canvas_->FreeHandle();
}

void TCustomForm::SetBorderStyle(TBorderStyle Value) {
  if (Value == border_style_) return;
  border_style_ = Value;
  if (HandleAllocated()) {
    const bool shown = GetShowing();
    DestroyHandle();
    if (shown) {
      HandleNeeded();
      win::ShowWindow(GetHandle(), win::SW_SHOW);
    }
  }
}

void TCustomForm::SetFormStyle(TFormStyle Value) {
  if (Value == form_style_) return;
  form_style_ = Value;
  if (HandleAllocated())
    win::SetWindowPos(GetHandle(), Value == fsStayOnTop ? win::HWND_TOPMOST : win::HWND_NOTOPMOST, 0, 0, 0, 0,
                      win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOACTIVATE);
}

void TCustomForm::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.Style &= ~(win::WS_CHILD | win::WS_VISIBLE);
  Params.Style |= border_style_ == bsNone ? win::WS_POPUP : (win::WS_POPUP | win::WS_CAPTION);
  Params.WndParent = nullptr;
  if (form_style_ == fsStayOnTop) Params.ExStyle |= win::WS_EX_TOPMOST;
}

bool TCustomForm::GetShowing() const { return GetVisible() && HandleAllocated(); }

void TCustomForm::SetVisible(bool Value) {
  if (Value == GetVisible()) return;
  TControl::SetVisible(Value);
  if (Value) {
    win::ShowWindow(GetHandle(), win::SW_SHOW);
    for (int i = 0; i < GetControlCount(); ++i)
      if (auto* window = dynamic_cast<TWinControl*>(GetControl(i))) window->UpdateShowing();
    FocusFirstControl();
    if (OnShow) OnShow(this);
  } else {
    if (HandleAllocated()) win::ShowWindow(GetHandle(), win::SW_HIDE);
    if (OnHide) OnHide(this);
  }
}

void TCustomForm::Show() {
  SetVisible(true);
  win::SetWindowPos(GetHandle(), win::HWND_TOP, 0, 0, 0, 0, win::SWP_NOMOVE | win::SWP_NOSIZE);
}

void TCustomForm::SetActiveControl(TWinControl* Value) {
  if (Value != active_control_) {
    if (active_control_ != nullptr) active_control_->RemoveFreeNotification(this);
    active_control_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
  }
  if (Value != nullptr && GetShowing() && Value->CanFocus() && !Value->Focused()) Value->SetFocus();
}

void TCustomForm::FocusFirstControl() {
  TWinControl* target = active_control_ != nullptr && active_control_->CanFocus() ? active_control_ : FirstFocusable(this);
  if (target != nullptr && !target->Focused()) target->SetFocus();
}

void TCustomForm::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == active_control_) active_control_ = nullptr;
}

bool TCustomForm::CloseQuery() {
  bool can_close = true;
  if (OnCloseQuery) OnCloseQuery(this, can_close);
  return can_close;
}

void TCustomForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

void TCustomForm::Close() {
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  DoClose(action);
  switch (action) {
    case caHide: Hide(); break;
    case caFree: Release(); break;
    case caMinimize: Hide(); break;
    case caNone: break;
  }
}

void TCustomForm::Release() { win::PostMessageA(GetHandle(), kReleaseMessage, 0, 0); }

void TCustomForm::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case win::WM_CLOSE:
      Close();
      return;
    case kReleaseMessage:
      delete this;
      return;
    default:
      TWinControl::WndProc(Message);
  }
}

void TCustomForm::PaintWindow(win::HDC DC) {
  canvas_->PaintOn(DC, [this] { Paint(); });
}

void TCustomForm::DestroyWnd() {
  canvas_->FreeHandle();
  TWinControl::DestroyWnd();
}

void TCustomForm::Paint() {
  if (OnPaint) OnPaint(this);
}

// --- screen --------------------------------------------------------------------------------

namespace {

struct StockCursor {
  TCursor index;
  win::LPCSTR name;
};

}  // namespace

TScreen::TScreen() = default;

TScreen::~TScreen() = default;

void TScreen::LoadStockCursors() {
  if (!cursors_.empty()) return;
  const StockCursor stock[] = {
      {crDefault, win::IDC_ARROW},    {crArrow, win::IDC_ARROW},      {crCross, win::IDC_CROSS},
      {crIBeam, win::IDC_IBEAM},      {crSizeNESW, win::IDC_SIZENESW}, {crSizeNS, win::IDC_SIZENS},
      {crSizeNWSE, win::IDC_SIZENWSE}, {crSizeWE, win::IDC_SIZEWE},   {crUpArrow, win::IDC_UPARROW},
      {crHourGlass, win::IDC_WAIT},   {crDrag, win::IDC_ARROW},       {crNoDrop, win::IDC_NO},
      {crHSplit, win::IDC_SIZEWE},    {crVSplit, win::IDC_SIZENS},    {crMultiDrag, win::IDC_ARROW},
      {crSQLWait, win::IDC_WAIT},     {crNo, win::IDC_NO},            {crAppStart, win::IDC_APPSTARTING},
      {crHelp, win::IDC_HELP},        {crHandPoint, win::IDC_HAND},   {crSizeAll, win::IDC_SIZEALL}};
  for (const StockCursor& cursor : stock) cursors_[cursor.index] = win::LoadCursorA(nullptr, cursor.name);
  cursors_[crNone] = nullptr;
}

int TScreen::GetWidth() const { return win::GetSystemMetrics(win::SM_CXSCREEN); }
int TScreen::GetHeight() const { return win::GetSystemMetrics(win::SM_CYSCREEN); }

win::HCURSOR TScreen::GetCursors(TCursor Index) const {
  const_cast<TScreen*>(this)->LoadStockCursors();
  auto it = cursors_.find(Index);
  return it != cursors_.end() ? it->second : cursors_.at(crDefault);
}

void TScreen::SetCursors(TCursor Index, win::HCURSOR Handle) {
  LoadStockCursors();
  auto it = cursors_.find(Index);
  if (it != cursors_.end()) {
    if (it->second == Handle) return;
    cursors_.erase(it);
  }
  if (Index == crDefault && Handle == nullptr) {
    cursors_[crDefault] = win::LoadCursorA(nullptr, win::IDC_ARROW);
    return;
  }
  if (Handle == nullptr) return;
  cursors_[Index] = Handle;
}

void TScreen::SetCursor(TCursor Value) {
  if (Value == cursor_) return;
  cursor_ = Value;
  win::SetCursor(GetCursors(Value));
}

void TScreen::ApplyCursor(const TControl* Control) {
  const TCursor cursor = cursor_ != crDefault || Control == nullptr ? cursor_ : Control->GetCursor();
  win::SetCursor(GetCursors(cursor));
}

void TScreen::RemoveForm(TCustomForm* form) { std::erase(forms_, form); }

namespace {
TScreen screen_instance;
}  // namespace

TScreen* const Screen = &screen_instance;

}  // namespace dashtune
