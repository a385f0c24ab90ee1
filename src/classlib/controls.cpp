#include "classlib/controls.h"
#include "classlib/drag_session.h"
#include "classlib/menus.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <unordered_map>

#include "classlib/form.h"
#include "classlib/forms.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"
#include "platform/user/cursors.h"
#include "platform/user/input_state.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"

namespace dashtune {

// Ties a window to its control from the first message on, before CreateWindowEx returns.
struct WindowBinding {
  static void Bind(TWinControl* control, win::HWND window) { control->handle_ = window; }
};

namespace {

// Windows of the controls, so the shared window procedure finds the control of a window.
std::unordered_map<win::HWND, TWinControl*>& ControlWindows() {
  static std::unordered_map<win::HWND, TWinControl*> windows;
  return windows;
}

// The control whose window is being made: the first messages arrive before CreateWindowEx returns.
thread_local TWinControl* creating_control = nullptr;

win::LRESULT ControlWindowProc(win::HWND hwnd, win::UINT msg, win::WPARAM wparam, win::LPARAM lparam) {
  auto& windows = ControlWindows();
  auto it = windows.find(hwnd);
  TWinControl* control = nullptr;
  if (it != windows.end()) {
    control = it->second;
  } else if (creating_control != nullptr) {
    control = creating_control;
    windows[hwnd] = control;
    WindowBinding::Bind(control, hwnd);
  }
  if (control == nullptr) return win::DefWindowProcA(hwnd, msg, wparam, lparam);
  TMessage message{msg, wparam, lparam, 0};
  // A failing handler must not unwind through the platform's message dispatch.
  try {
    control->WindowProc(message);
  } catch (...) {
    if (Application != nullptr)
      Application->HandleException(control);
    else
      ShowException(std::current_exception());
  }
  return message.Result;
}

// Registers the window class of a control class once per name.
void EnsureWindowClass(const TCreateParams& params) {
  static std::set<std::string> registered;
  static std::mutex lock;
  std::lock_guard guard(lock);
  if (registered.count(params.WinClassName)) return;
  win::WNDCLASSA window_class{};
  window_class.style = params.WindowClassStyle;
  window_class.lpfnWndProc = &ControlWindowProc;
  window_class.lpszClassName = params.WinClassName.c_str();
  window_class.hCursor = win::LoadCursorA(nullptr, win::IDC_ARROW);
  win::RegisterClassA(&window_class);
  registered.insert(params.WinClassName);
}

int SignedLow(win::LPARAM value) { return static_cast<std::int16_t>(value & 0xFFFF); }
int SignedHigh(win::LPARAM value) { return static_cast<std::int16_t>((value >> 16) & 0xFFFF); }

bool IsMouseMessage(win::UINT msg) { return msg >= win::WM_MOUSEMOVE && msg <= win::WM_MBUTTONDBLCLK; }

// The shift keys held according to the keyboard state, for key events.
TShiftState KeyboardShiftState() {
  TShiftState shift;
  if (win::GetKeyState(win::VK_SHIFT) < 0) shift.Include(ssShift);
  if (win::GetKeyState(win::VK_CONTROL) < 0) shift.Include(ssCtrl);
  if (win::GetKeyState(win::VK_MENU) < 0) shift.Include(ssAlt);
  return shift;
}

}  // namespace

TWinControl* FindControl(win::HWND Handle) {
  auto& windows = ControlWindows();
  auto it = windows.find(Handle);
  return it == windows.end() ? nullptr : it->second;
}

// --- control canvas ------------------------------------------------------------------------

TControlCanvas::TControlCanvas(TControl* control) : control_(control) {}

TControlCanvas::~TControlCanvas() { FreeHandle(); }

void TControlCanvas::FreeHandle() {
  if (window_ == nullptr) return;
  win::HDC dc = CurrentHandle();
  pen_pos_ = GetPenPos();
  SetHandle(nullptr);
  win::ReleaseDC(window_, dc);
  window_ = nullptr;
}

void TControlCanvas::Changed() {
  TCanvas::Changed();
  if (GetLockCount() == 0) FreeHandle();
}

void TControlCanvas::PaintOn(win::HDC DC, const std::function<void()>& paint) {
  Lock();
  FreeHandle();
  SetHandle(DC);
  try {
    paint();
  } catch (...) {
    SetHandle(nullptr);
    Unlock();
    throw;
  }
  SetHandle(nullptr);
  Unlock();
}

void TControlCanvas::CreateHandle() {
  auto* window_control = dynamic_cast<TWinControl*>(control_);
  TWinControl* owner_window = window_control != nullptr ? window_control : control_->GetParent();
  if (owner_window == nullptr) return;
  win::HWND window = owner_window->GetHandle();
  win::HDC dc = win::GetDC(window);
  if (dc == nullptr) return;
  if (window_control == nullptr) {
    // A graphic control draws into its parent's window at its own position and size.
    win::SetViewportOrgEx(dc, control_->GetLeft(), control_->GetTop(), nullptr);
    win::IntersectClipRect(dc, 0, 0, control_->GetWidth(), control_->GetHeight());
  }
  window_ = window;
  SetHandle(dc);
  MoveTo(pen_pos_.x, pen_pos_.y);
}

// --- control -------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), font_(std::make_unique<TFont>()) {
  WindowProc = [this](TMessage& message) { WndProc(message); };
  font_->OnChange = [this](TObject*) {
    parent_font_ = false;
    FontChanged();
  };
}

TControl::~TControl() {
  DragSession::Forget(this);
  if (parent_ != nullptr) parent_->RemoveControl(this);
}

void TControl::BeforeDestruction() {
  TComponent::BeforeDestruction();
  DragSession::Forget(this);
  if (parent_ != nullptr) parent_->RemoveControl(this);
}

void TControl::SetParent(TWinControl* Value) {
  if (Value == parent_) return;
  if (Value == this) throw EInvalidOperation("Ein Steuerelement kann nicht sein eigener Vorfahr sein");
  if (parent_ != nullptr) parent_->RemoveControl(this);
  if (Value != nullptr) Value->InsertControl(this);
}

void TControl::ParentChanged() {
  if (parent_ == nullptr) return;
  if (parent_font_) {
    font_->OnChange = nullptr;
    font_->Assign(parent_->GetFont());
    font_->OnChange = [this](TObject*) {
      parent_font_ = false;
      FontChanged();
    };
    FontChanged();
  }
  if (parent_color_ && color_ != parent_->GetColor()) {
    color_ = parent_->GetColor();
    ColorChanged();
  }
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (ALeft == left_ && ATop == top_ && AWidth == width_ && AHeight == height_) return;
  ConstrainSize(AWidth, AHeight);
  const bool resized = AWidth != width_ || AHeight != height_;
  if (parent_ != nullptr && visible_) Invalidate();
  left_ = ALeft;
  top_ = ATop;
  width_ = AWidth;
  height_ = AHeight;
  if (parent_ != nullptr && visible_) Invalidate();
  if (resized) Resize();
  if (align_ != alNone && parent_ != nullptr) parent_->AlignControls();
}

void TControl::SetAlign(TAlign Value) {
  if (Value == align_) return;
  align_ = Value;
  if (parent_ != nullptr) parent_->AlignControls();
}

void TControl::ConstrainSize(int& AWidth, int& AHeight) {
  if ((AWidth != width_ || AHeight != height_) && !CanResize(AWidth, AHeight)) {
    AWidth = width_;
    AHeight = height_;
  }
  int min_width = 0, min_height = 0, max_width = 0, max_height = 0;
  ConstrainedResize(min_width, min_height, max_width, max_height);
  if (max_width > 0) AWidth = std::min(AWidth, max_width);
  if (max_height > 0) AHeight = std::min(AHeight, max_height);
  AWidth = std::max({AWidth, min_width, 0});
  AHeight = std::max({AHeight, min_height, 0});
}

bool TControl::CanResize(int& NewWidth, int& NewHeight) {
  bool resize = true;
  if (OnCanResize) OnCanResize(this, NewWidth, NewHeight, resize);
  return resize;
}

void TControl::ConstrainedResize(int& MinWidth, int& MinHeight, int& MaxWidth, int& MaxHeight) {
  if (OnConstrainedResize) OnConstrainedResize(this, MinWidth, MinHeight, MaxWidth, MaxHeight);
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

void TControl::SetVisible(bool Value) {
  if (Value == visible_) return;
  if (!Value && parent_ != nullptr) Invalidate();
  visible_ = Value;
  VisibleChanged();
  if (Value && parent_ != nullptr) Invalidate();
  if (align_ != alNone && parent_ != nullptr) parent_->AlignControls();
}

void TControl::VisibleChanged() {}

bool TControl::GetShowing() const { return visible_ && parent_ != nullptr && parent_->GetShowing(); }

void TControl::SetEnabled(bool Value) {
  if (Value == enabled_) return;
  enabled_ = Value;
  Invalidate();
}

void TControl::SetColor(TColor Value) {
  parent_color_ = false;
  if (Value == color_) return;
  color_ = Value;
  ColorChanged();
}

void TControl::SetParentColor(bool Value) {
  if (Value == parent_color_) return;
  parent_color_ = Value;
  if (Value) ParentChanged();
}

void TControl::SetParentFont(bool Value) {
  if (Value == parent_font_) return;
  parent_font_ = Value;
  if (Value) ParentChanged();
}

void TControl::FontChanged() { Invalidate(); }
void TControl::ColorChanged() { Invalidate(); }

void TControl::SetCursor(TCursor Value) {
  if (Value == cursor_) return;
  cursor_ = Value;
  win::POINT pos{};
  win::GetCursorPos(&pos);
  const win::POINT local = ScreenToClient(pos);
  const win::RECT client = GetClientRect();
  if (GetShowing() && local.x >= 0 && local.y >= 0 && local.x < client.right && local.y < client.bottom)
    Screen->ApplyCursor(this);
}

bool TControl::GetMouseCapture() const {
  const auto* window = dynamic_cast<const TWinControl*>(this);
  if (window != nullptr) return window->HandleAllocated() && win::GetCapture() == window->handle_;
  return parent_ != nullptr && parent_->mouse_control_ == this && win::GetCapture() == parent_->handle_;
}

void TControl::SetMouseCapture(bool Value) {
  if (Value == GetMouseCapture()) return;
  auto* window = dynamic_cast<TWinControl*>(this);
  TWinControl* holder = window != nullptr ? window : parent_;
  if (holder == nullptr) return;
  if (Value) {
    if (window == nullptr) parent_->mouse_control_ = this;
    win::SetCapture(holder->GetHandle());
  } else {
    if (window == nullptr) parent_->mouse_control_ = nullptr;
    win::ReleaseCapture();
  }
}

void TControl::SetCaption(const std::string& Value) {
  if (Value == caption_) return;
  caption_ = Value;
  if (auto* window = dynamic_cast<TWinControl*>(this); window != nullptr && window->HandleAllocated())
    win::SetWindowTextA(window->GetHandle(), Value.c_str());
  else
    Invalidate();
}

win::LRESULT TControl::Perform(win::UINT Msg, win::WPARAM WParam, win::LPARAM LParam) {
  TMessage message{Msg, WParam, LParam, 0};
  WindowProc(message);
  return message.Result;
}

TShiftState TControl::ShiftFromKeys(win::WPARAM keys) {
  TShiftState shift;
  if (keys & win::MK_SHIFT) shift.Include(ssShift);
  if (keys & win::MK_CONTROL) shift.Include(ssCtrl);
  if (keys & win::MK_LBUTTON) shift.Include(ssLeft);
  if (keys & win::MK_RBUTTON) shift.Include(ssRight);
  if (keys & win::MK_MBUTTON) shift.Include(ssMiddle);
  return shift;
}

void TControl::SetControlStateItem(TControlStateItem Item, bool On) {
  if (On)
    control_state_.Include(Item);
  else
    control_state_.Exclude(Item);
}

void TControl::HandleMouseMessage(TMessage& Message) {
  const int x = SignedLow(Message.LParam), y = SignedHigh(Message.LParam);
  TShiftState shift = ShiftFromKeys(Message.WParam);
  const auto button_of = [](win::UINT msg) {
    if (msg <= win::WM_LBUTTONDBLCLK) return mbLeft;
    if (msg <= win::WM_RBUTTONDBLCLK) return mbRight;
    return mbMiddle;
  };
  switch (Message.Msg) {
    case win::WM_MOUSEMOVE:
      MouseMove(shift, x, y);
      return;
    case win::WM_LBUTTONDBLCLK:
    case win::WM_RBUTTONDBLCLK:
    case win::WM_MBUTTONDBLCLK:
      if (control_style_.Contains(csDoubleClicks)) {
        shift.Include(ssDouble);
        if (Message.Msg == win::WM_LBUTTONDBLCLK) DblClick();
      }
      [[fallthrough]];
    case win::WM_LBUTTONDOWN:
    case win::WM_RBUTTONDOWN:
    case win::WM_MBUTTONDOWN: {
      const TMouseButton button = button_of(Message.Msg);
      if (button == mbLeft && control_style_.Contains(csClickEvents)) control_state_.Include(csClicked);
      if (button == mbLeft) control_state_.Include(csLButtonDown);
      if (button == mbLeft && drag_mode_ == dmAutomatic && !DragSession::IsSource(this))
        DragSession::Begin(this, false, -1, ClientToScreen(win::POINT{x, y}));
      MouseDown(button, shift, x, y);
      return;
    }
    default: {  // button up
      const TMouseButton button = button_of(Message.Msg);
      if (button == mbLeft) {
        control_state_.Exclude(csLButtonDown);
        const bool clicked = control_state_.Contains(csClicked);
        control_state_.Exclude(csClicked);
        const win::RECT client = GetClientRect();
        if (clicked && x >= 0 && y >= 0 && x < client.right && y < client.bottom) Click();
      }
      MouseUp(button, shift, x, y);
      return;
    }
  }
}

void TControl::WndProc(TMessage& Message) {
  if (IsMouseMessage(Message.Msg)) {
    // The default procedure sees the message first (a system control tracks the mouse there,
    // and a released right button asks for a context menu), then the control's handlers.
    DefaultHandler(Message);
    HandleMouseMessage(Message);
    return;
  }
  if (Message.Msg == win::WM_CONTEXTMENU && ShowPopupMenu(Message)) {
    Message.Result = 1;
    return;
  }
  if (Message.Msg == win::WM_MOUSEWHEEL) {
    const win::POINT pos{SignedLow(Message.LParam), SignedHigh(Message.LParam)};
    const int delta = static_cast<std::int16_t>((Message.WParam >> 16) & 0xFFFF);
    if (DoMouseWheel(ShiftFromKeys(Message.WParam & 0xFFFF), delta, pos)) {
      Message.Result = 1;
      return;
    }
  }
  DefaultHandler(Message);
}

void TControl::DefaultHandler(TMessage&) {}

void TControl::SetPopupMenu(TPopupMenu* Value) {
  if (Value == popup_menu_) return;
  if (popup_menu_ != nullptr) popup_menu_->RemoveFreeNotification(this);
  popup_menu_ = Value;
  if (Value != nullptr) Value->FreeNotification(this);
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == popup_menu_) popup_menu_ = nullptr;
}

bool TControl::ShowPopupMenu(const TMessage& Message) {
  if (popup_menu_ == nullptr || !popup_menu_->GetAutoPopup()) return false;
  win::POINT at{SignedLow(Message.LParam), SignedHigh(Message.LParam)};
  // (-1, -1): asked from the keyboard; the menu shows at the control's top-left corner.
  if (at.x == -1 && at.y == -1) at = ClientToScreen(win::POINT{0, 0});
  popup_menu_->SetPopupComponent(this);
  popup_menu_->Popup(at.x, at.y);
  return true;
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

bool TControl::DoMouseWheel(TShiftState Shift, int WheelDelta, win::POINT MousePos) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, Shift, WheelDelta, MousePos, handled);
  if (handled) return true;
  if (WheelDelta < 0 && OnMouseWheelDown) OnMouseWheelDown(this, Shift, MousePos, handled);
  if (WheelDelta > 0 && OnMouseWheelUp) OnMouseWheelUp(this, Shift, MousePos, handled);
  return handled;
}

void TControl::Invalidate() {
  if (parent_ == nullptr || !parent_->HandleAllocated()) return;
  const win::RECT bounds = GetBoundsRect();
  win::InvalidateRect(parent_->GetHandle(), &bounds, control_style_.Contains(csOpaque) ? win::FALSE : win::TRUE);
}

void TControl::Update() {
  if (parent_ != nullptr) parent_->Update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::BringToFront() {
  if (parent_ == nullptr) return;
  auto& siblings = parent_->controls_;
  siblings.erase(std::find(siblings.begin(), siblings.end(), this));
  siblings.push_back(this);
  Invalidate();
}

void TControl::SendToBack() {
  if (parent_ == nullptr) return;
  auto& siblings = parent_->controls_;
  siblings.erase(std::find(siblings.begin(), siblings.end(), this));
  siblings.insert(siblings.begin(), this);
  Invalidate();
}

win::POINT TControl::GetClientOrigin() const {
  if (parent_ == nullptr) return {left_, top_};
  const win::POINT origin = parent_->GetClientOrigin();
  return {origin.x + left_, origin.y + top_};
}

win::POINT TControl::ClientToScreen(win::POINT Point) const {
  const win::POINT origin = GetClientOrigin();
  return {Point.x + origin.x, Point.y + origin.y};
}

win::POINT TControl::ScreenToClient(win::POINT Point) const {
  const win::POINT origin = GetClientOrigin();
  return {Point.x - origin.x, Point.y - origin.y};
}

// --- windowed control ----------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

void TWinControl::BeforeDestruction() {
  TControl::BeforeDestruction();
  // Children still parented here leave before the window goes.
  while (!controls_.empty()) controls_.back()->SetParent(nullptr);
  DestroyHandle();
}

TWinControl::~TWinControl() {
  while (!controls_.empty()) controls_.back()->SetParent(nullptr);
  DestroyHandle();
}

TControl* TWinControl::GetControl(int Index) const {
  if (Index < 0 || Index >= GetControlCount()) throw EListError("Listenindex überschreitet das Maximum (%d)", {Index});
  return controls_[static_cast<std::size_t>(Index)];
}

void TWinControl::InsertControl(TControl* AControl) {
  controls_.push_back(AControl);
  AControl->parent_ = this;
  AControl->ParentChanged();
  if (auto* window = dynamic_cast<TWinControl*>(AControl)) {
    if (window->HandleAllocated() && HandleAllocated())
      win::SetParent(window->handle_, handle_);
    else if (window->HandleAllocated())
      window->DestroyHandle();
    window->UpdateShowing();
  } else {
    AControl->Invalidate();
  }
  if (AControl->align_ != alNone) AlignControls();
}

void TWinControl::RemoveControl(TControl* AControl) {
  if (mouse_control_ == AControl) mouse_control_ = nullptr;
  if (auto* window = dynamic_cast<TWinControl*>(AControl)) window->PassFocusToHolder();
  AControl->Invalidate();
  controls_.erase(std::remove(controls_.begin(), controls_.end(), AControl), controls_.end());
  AControl->parent_ = nullptr;
  if (auto* window = dynamic_cast<TWinControl*>(AControl); window != nullptr && window->HandleAllocated())
    window->DestroyHandle();
  if (AControl->align_ != alNone) AlignControls();
}

void TWinControl::AlignControls() {
  if (aligning_ || GetComponentState().Contains(csDestroying)) return;
  aligning_ = true;
  win::RECT free = GetClientRect();
  const auto width = [&] { return std::max<int>(free.right - free.left, 0); };
  const auto height = [&] { return std::max<int>(free.bottom - free.top, 0); };
  for (TAlign side : {alTop, alBottom, alLeft, alRight, alClient}) {
    for (TControl* child : std::vector<TControl*>(controls_)) {
      if (child->align_ != side || !child->visible_) continue;
      switch (side) {
        case alTop:
          child->SetBounds(free.left, free.top, width(), child->height_);
          free.top += child->height_;
          break;
        case alBottom:
          child->SetBounds(free.left, free.bottom - child->height_, width(), child->height_);
          free.bottom -= child->height_;
          break;
        case alLeft:
          child->SetBounds(free.left, free.top, child->width_, height());
          free.left += child->width_;
          break;
        case alRight:
          child->SetBounds(free.right - child->width_, free.top, child->width_, height());
          free.right -= child->width_;
          break;
        default:
          child->SetBounds(free.left, free.top, width(), height());
          break;
      }
    }
  }
  aligning_ = false;
}

TControl* TWinControl::ControlAtPos(win::POINT Pos) const {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    TControl* child = *it;
    if (dynamic_cast<TWinControl*>(child) != nullptr || !child->GetVisible()) continue;
    const win::RECT r = child->GetBoundsRect();
    if (Pos.x >= r.left && Pos.y >= r.top && Pos.x < r.right && Pos.y < r.bottom) return child;
  }
  return nullptr;
}

void TWinControl::CreateParams(TCreateParams& Params) {
  Params.Caption = GetCaption();
  Params.Style = win::WS_CLIPCHILDREN | win::WS_CLIPSIBLINGS;
  if (GetParent() != nullptr) Params.Style |= win::WS_CHILD;
  else Params.Style |= win::WS_POPUP;
  if (GetVisible() && GetParent() != nullptr && GetParent()->GetShowing()) Params.Style |= win::WS_VISIBLE;
  if (!GetEnabled()) Params.Style |= win::WS_DISABLED;
  Params.X = GetLeft();
  Params.Y = GetTop();
  Params.Width = GetWidth();
  Params.Height = GetHeight();
  Params.WndParent = GetParent() != nullptr ? GetParent()->GetHandle() : nullptr;
  Params.WinClassName = ClassName();
  Params.WindowClassStyle = GetControlStyle().Contains(csDoubleClicks) ? win::CS_DBLCLKS : 0;
}

void TWinControl::CreateWnd() {
  TCreateParams params;
  CreateParams(params);
  EnsureWindowClass(params);
  TWinControl* previous = creating_control;
  creating_control = this;
  const bool subclassed = !params.SubClassOf.empty();
  const std::string& class_name = subclassed ? params.SubClassOf : params.WinClassName;
  win::HWND window = win::CreateWindowExA(params.ExStyle, class_name.c_str(), params.Caption.c_str(),
                                         params.Style, params.X, params.Y, params.Width, params.Height,
                                         params.WndParent, nullptr, nullptr, nullptr);
  creating_control = previous;
  if (window == nullptr) throw EOutOfResources();
  ControlWindows()[window] = this;
  handle_ = window;
  if (subclassed) {
    // The system class's procedure becomes the control's default handler.
    default_procedure_ = reinterpret_cast<win::WNDPROC>(
        win::SetWindowLongPtrA(window, win::GWLP_WNDPROC, reinterpret_cast<win::LONG_PTR>(&ControlWindowProc)));
  }
}

void TWinControl::DestroyWnd() {
  win::HWND window = handle_;
  SetControlStateItem(csDestroyingHandle, true);
  win::DestroyWindow(window);
  SetControlStateItem(csDestroyingHandle, false);
  ControlWindows().erase(window);
  handle_ = nullptr;
}

win::HWND TWinControl::GetHandle() {
  if (handle_ == nullptr) {
    if (GetParent() != nullptr) GetParent()->HandleNeeded();
    CreateWnd();
  }
  return handle_;
}

void TWinControl::DestroyHandle() {
  if (handle_ == nullptr) return;
  for (TControl* child : controls_)
    if (auto* window = dynamic_cast<TWinControl*>(child)) window->DestroyHandle();
  DestroyWnd();
}

bool TWinControl::GetShowing() const {
  if (!GetVisible()) return false;
  if (GetParent() == nullptr) return handle_ != nullptr && win::IsWindowVisible(handle_);
  return GetParent()->GetShowing();
}

void TWinControl::UpdateShowing() {
  if (GetParent() == nullptr) return;
  const bool showing = GetVisible() && GetParent()->GetShowing();
  if (showing) {
    HandleNeeded();
    win::ShowWindow(handle_, win::SW_SHOWNA);
  } else if (handle_ != nullptr) {
    win::ShowWindow(handle_, win::SW_HIDE);
  }
  for (TControl* child : controls_)
    if (auto* window = dynamic_cast<TWinControl*>(child)) window->UpdateShowing();
}

void TWinControl::SetVisible(bool Value) {
  if (Value == GetVisible()) return;
  if (!Value) PassFocusToHolder();
  TControl::SetVisible(Value);
  if (GetParent() != nullptr)
    UpdateShowing();
  else if (handle_ != nullptr)
    win::ShowWindow(handle_, Value ? win::SW_SHOWNA : win::SW_HIDE);
}

void TWinControl::SetEnabled(bool Value) {
  if (Value == GetEnabled()) return;
  TControl::SetEnabled(Value);
  if (handle_ != nullptr) win::EnableWindow(handle_, Value ? win::TRUE : win::FALSE);
}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const int old_width = GetWidth(), old_height = GetHeight();
  if (ALeft == GetLeft() && ATop == GetTop() && AWidth == old_width && AHeight == old_height) return;
  ConstrainSize(AWidth, AHeight);
  // A window moves itself: no repaint of the parent is needed.
  left_ = ALeft;
  top_ = ATop;
  width_ = AWidth;
  height_ = AHeight;
  if (handle_ != nullptr)
    win::SetWindowPos(handle_, nullptr, ALeft, ATop, AWidth, AHeight, win::SWP_NOZORDER | win::SWP_NOACTIVATE);
  if (AWidth != old_width || AHeight != old_height) {
    Resize();
    AlignControls();
  }
  if (GetAlign() != alNone && GetParent() != nullptr) GetParent()->AlignControls();
}

void TWinControl::SyncBoundsFromWindow() {
  win::RECT r{};
  win::GetWindowRect(handle_, &r);
  win::POINT top_left{r.left, r.top};
  if (GetParent() != nullptr && GetParent()->HandleAllocated()) win::ScreenToClient(GetParent()->handle_, &top_left);
  const int width = r.right - r.left, height = r.bottom - r.top;
  const bool resized = width != width_ || height != height_;
  left_ = top_left.x;
  top_ = top_left.y;
  width_ = width;
  height_ = height;
  if (resized) {
    Resize();
    AlignControls();
  }
}

void TWinControl::Invalidate() {
  if (handle_ != nullptr)
    win::InvalidateRect(handle_, nullptr, GetControlStyle().Contains(csOpaque) ? win::FALSE : win::TRUE);
}

void TWinControl::Update() {
  if (handle_ != nullptr) win::UpdateWindow(handle_);
}

win::POINT TWinControl::GetClientOrigin() const {
  if (handle_ == nullptr) return TControl::GetClientOrigin();
  win::POINT origin{0, 0};
  win::ClientToScreen(handle_, &origin);
  return origin;
}

bool TWinControl::CanFocus() const {
  for (const TWinControl* control = this; control != nullptr; control = control->GetParent())
    if (!control->GetVisible() || !control->GetEnabled()) return false;
  return true;
}

bool TWinControl::Focused() const { return handle_ != nullptr && win::GetFocus() == handle_; }

bool TWinControl::ContainsFocus() const {
  const win::HWND focus = win::GetFocus();
  return handle_ != nullptr && focus != nullptr && (focus == handle_ || win::IsChild(handle_, focus));
}

// A control that is hidden or goes while it holds the focus gives it to the nearest control
// around it that can take it, so that the keys keep reaching the form (a window that is hidden
// would keep the focus, and one destroyed would leave none).
void TWinControl::PassFocusToHolder() {
  if (!ContainsFocus()) return;
  for (TWinControl* holder = GetParent(); holder != nullptr; holder = holder->GetParent()) {
    if (holder->GetComponentState().Contains(csDestroying) || !holder->CanFocus()) continue;
    holder->SetFocus();
    // The form itself holding the focus has no active control.
    if (TCustomForm* form = dynamic_cast<TCustomForm*>(holder)) form->SetActiveControl(nullptr);
    return;
  }
}

void TWinControl::TakeFocusOnClick() {
  if (GetTabStop() && CanFocus() && !Focused()) SetFocus();
}

void TWinControl::SetFocus() {
  if (!CanFocus()) throw EInvalidOperation("Ein deaktiviertes oder unsichtbares Fenster kann nicht den Fokus erhalten");
  win::SetFocus(GetHandle());
}

void TWinControl::FontChanged() {
  TControl::FontChanged();
  for (TControl* child : controls_)
    if (child->GetParentFont()) child->ParentChanged();
}

void TWinControl::ColorChanged() {
  TControl::ColorChanged();
  for (TControl* child : controls_)
    if (child->GetParentColor()) child->ParentChanged();
}

void TWinControl::PaintWindow(win::HDC DC) {
  TMessage message{win::WM_PAINT, reinterpret_cast<win::WPARAM>(DC), 0, 0};
  DefaultHandler(message);
}

void TWinControl::PaintControls(win::HDC DC) {
  for (TControl* child : controls_) {
    if (dynamic_cast<TWinControl*>(child) != nullptr || !child->GetVisible()) continue;
    if (child->GetWidth() <= 0 || child->GetHeight() <= 0) continue;
    const int saved = win::SaveDC(DC);
    win::POINT origin{};
    win::GetViewportOrgEx(DC, &origin);
    win::SetViewportOrgEx(DC, origin.x + child->GetLeft(), origin.y + child->GetTop(), nullptr);
    win::IntersectClipRect(DC, 0, 0, child->GetWidth(), child->GetHeight());
    child->Perform(win::WM_PAINT, reinterpret_cast<win::WPARAM>(DC), 0);
    win::RestoreDC(DC, saved);
  }
}

void TWinControl::PaintHandler(TMessage& Message) {
  win::HDC dc = reinterpret_cast<win::HDC>(Message.WParam);
  win::PAINTSTRUCT paint{};
  if (dc == nullptr) dc = win::BeginPaint(handle_, &paint);
  PaintWindow(dc);
  PaintControls(dc);
  if (Message.WParam == 0) win::EndPaint(handle_, &paint);
}

bool TWinControl::ForwardMouseToChild(TMessage& Message) {
  const win::POINT pos{SignedLow(Message.LParam), SignedHigh(Message.LParam)};
  TControl* target = mouse_control_ != nullptr ? mouse_control_ : ControlAtPos(pos);
  if (target == nullptr || !target->GetEnabled()) return false;
  const bool down = Message.Msg == win::WM_LBUTTONDOWN || Message.Msg == win::WM_RBUTTONDOWN ||
                    Message.Msg == win::WM_MBUTTONDOWN || Message.Msg == win::WM_LBUTTONDBLCLK;
  const bool up = Message.Msg == win::WM_LBUTTONUP || Message.Msg == win::WM_RBUTTONUP ||
                  Message.Msg == win::WM_MBUTTONUP;
  if (down && target->GetControlStyle().Contains(csCaptureMouse)) {
    mouse_control_ = target;
    win::SetCapture(handle_);
  }
  const win::LPARAM local = win::MAKELPARAM(static_cast<win::WORD>(pos.x - target->GetLeft()),
                                            static_cast<win::WORD>(pos.y - target->GetTop()));
  Message.Result = target->Perform(Message.Msg, Message.WParam, local);
  if (up && mouse_control_ == target) {
    mouse_control_ = nullptr;
    if (win::GetCapture() == handle_) win::ReleaseCapture();
  }
  return true;
}

void TWinControl::WndProc(TMessage& Message) {
  if (DragSession::Intercepts(this, Message)) return;
  switch (Message.Msg) {
    case win::WM_PAINT:
      PaintHandler(Message);
      return;
    case win::WM_ERASEBKGND: {
      if (!GetControlStyle().Contains(csOpaque)) {
        const win::ScopedGdiObject<win::HBRUSH> brush(win::CreateSolidBrush(ColorToRGB(GetColor())));
        const win::RECT client = GetClientRect();
        win::FillRect(reinterpret_cast<win::HDC>(Message.WParam), &client, brush.Get());
      }
      Message.Result = 1;
      return;
    }
    case win::WM_NCDESTROY:
      // The window may go without DestroyHandle (its parent window was destroyed).
      DefaultHandler(Message);
      ControlWindows().erase(handle_);
      handle_ = nullptr;
      default_procedure_ = nullptr;
      return;
    case win::WM_WINDOWPOSCHANGED:
      SyncBoundsFromWindow();
      DefaultHandler(Message);
      return;
    case win::WM_SETFOCUS:
      if (TCustomForm* form = GetParentForm(this); form != nullptr && form != this) form->SetActiveControl(this);
      DoEnter();
      DefaultHandler(Message);
      return;
    case win::WM_KILLFOCUS:
      DoExit();
      DefaultHandler(Message);
      return;
    case win::WM_KEYDOWN:
    case win::WM_SYSKEYDOWN: {
      auto key = static_cast<std::uint16_t>(Message.WParam);
      KeyDown(key, KeyboardShiftState());
      if (key == 0) return;
      break;
    }
    case win::WM_KEYUP:
    case win::WM_SYSKEYUP: {
      auto key = static_cast<std::uint16_t>(Message.WParam);
      KeyUp(key, KeyboardShiftState());
      if (key == 0) return;
      break;
    }
    case win::WM_CHAR: {
      char key = static_cast<char>(Message.WParam);
      KeyPress(key);
      if (key == 0) return;
      Message.WParam = static_cast<unsigned char>(key);
      break;
    }
    case win::WM_ACTIVATEAPP:
      if (GetParent() == nullptr && Application != nullptr) Application->ActivateApp(Message.WParam != 0);
      break;
    case win::WM_CTLCOLOREDIT: {
      // An edit box asks its parent for its colours: the box's own control answers.
      const auto child = ControlWindows().find(reinterpret_cast<win::HWND>(Message.LParam));
      if (child != ControlWindows().end() && child->second != this) {
        Message.Result = child->second->Perform(Message.Msg, Message.WParam, Message.LParam);
        return;
      }
      break;
    }
    case win::WM_SETCURSOR:
      if (reinterpret_cast<win::HWND>(Message.WParam) == handle_ && (Message.LParam & 0xFFFF) == win::HTCLIENT) {
        win::POINT pos{};
        win::GetCursorPos(&pos);
        win::ScreenToClient(handle_, &pos);
        TControl* child = ControlAtPos(pos);
        Screen->ApplyCursor(child != nullptr ? child : this);
        Message.Result = 1;
        return;
      }
      break;
    default:
      if (IsMouseButtonPress(Message.Msg)) TakeFocusOnClick();
      if (IsMouseMessage(Message.Msg) && ForwardMouseToChild(Message)) return;
      if (Message.Msg == win::WM_LBUTTONDOWN && GetControlStyle().Contains(csCaptureMouse)) win::SetCapture(handle_);
      if (Message.Msg == win::WM_LBUTTONUP && win::GetCapture() == handle_) win::ReleaseCapture();
      break;
  }
  TControl::WndProc(Message);
}

void TWinControl::DefaultHandler(TMessage& Message) {
  if (handle_ == nullptr) return;
  Message.Result = default_procedure_ != nullptr
                       ? win::CallWindowProcA(default_procedure_, handle_, Message.Msg, Message.WParam, Message.LParam)
                       : win::DefWindowProcA(handle_, Message.Msg, Message.WParam, Message.LParam);
}

void TWinControl::KeyDown(std::uint16_t& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TWinControl::KeyPress(char& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

void TWinControl::KeyUp(std::uint16_t& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

// --- graphic and custom controls -----------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent* AOwner)
    : TControl(AOwner), canvas_(std::make_unique<TControlCanvas>(this)) {}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::WndProc(TMessage& Message) {
  if (Message.Msg == win::WM_PAINT && Message.WParam != 0) {
    canvas_->PaintOn(reinterpret_cast<win::HDC>(Message.WParam), [this] { Paint(); });
    return;
  }
  TControl::WndProc(Message);
}

TCustomControl::TCustomControl(TComponent* AOwner)
    : TWinControl(AOwner), canvas_(std::make_unique<TControlCanvas>(this)) {}

TCustomControl::~TCustomControl() { canvas_->FreeHandle(); }

void TCustomControl::DestroyWnd() {
  canvas_->FreeHandle();
  TWinControl::DestroyWnd();
}

void TCustomControl::PaintWindow(win::HDC DC) {
  canvas_->PaintOn(DC, [this] { Paint(); });
}

}  // namespace dashtune
