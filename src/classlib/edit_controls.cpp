#include "classlib/edit_controls.h"

#include <algorithm>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/user/edit.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/window.h"

namespace dashtune {

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
  SetBounds(0, 0, 121, 21);
  SetTabStop(true);
  SetParentColor(false);
  SetColor(clWindow);
  TControlStyle style = GetControlStyle();
  style.Exclude(csSetCaption);
  style.Include(csDoubleClicks);
  SetControlStyle(style);
}

void TCustomEdit::CreateParams(TCreateParams& Params) {
  win::RegisterEditClass();
  TWinControl::CreateParams(Params);
  Params.SubClassOf = win::WC_EDITA;
  Params.Style |= win::WS_TABSTOP | win::ES_AUTOHSCROLL;
  if (border_style_ == bsSingle) {
    if (ctl3d_)
      Params.ExStyle |= win::WS_EX_CLIENTEDGE;
    else
      Params.Style |= win::WS_BORDER;
  }
}

void TCustomEdit::CreateWnd() {
  TWinControl::CreateWnd();
  win::SendMessageA(GetHandle(), win::WM_SETFONT, reinterpret_cast<win::WPARAM>(GetFont()->GetHandle()), 0);
}

void TCustomEdit::DestroyWnd() {
  // The text outlives the window: a window made later starts with it.
  const std::string text = GetText();
  TWinControl::DestroyWnd();
  SetCaption(text);
}

void TCustomEdit::FontChanged() {
  TWinControl::FontChanged();
  if (HandleAllocated())
    win::SendMessageA(GetHandle(), win::WM_SETFONT, reinterpret_cast<win::WPARAM>(GetFont()->GetHandle()),
                      win::TRUE);
}

std::string TCustomEdit::GetText() const {
  if (!HandleAllocated()) return GetCaption();
  win::HWND window = const_cast<TCustomEdit*>(this)->GetHandle();
  const auto length = static_cast<std::size_t>(win::SendMessageA(window, win::WM_GETTEXTLENGTH, 0, 0));
  std::vector<char> buffer(length + 1, '\0');
  const auto copied = static_cast<std::size_t>(
      win::SendMessageA(window, win::WM_GETTEXT, buffer.size(), reinterpret_cast<win::LPARAM>(buffer.data())));
  return std::string(buffer.data(), std::min(copied, length));
}

void TCustomEdit::SetText(const std::string& Value) {
  SetCaption(Value);
  // The caption may already hold Value while the box holds what the user typed since.
  if (HandleAllocated() && GetText() != Value) win::SetWindowTextA(GetHandle(), Value.c_str());
}

void TCustomEdit::SetBorderStyle(TBorderStyle Value) {
  if (Value == border_style_) return;
  border_style_ = Value;
  UpdateWindowStyle();
}

void TCustomEdit::SetCtl3D(bool Value) {
  if (Value == ctl3d_) return;
  ctl3d_ = Value;
  UpdateWindowStyle();
}

void TCustomEdit::UpdateWindowStyle() {
  if (!HandleAllocated()) return;
  TCreateParams params;
  CreateParams(params);
  win::HWND window = GetHandle();
  constexpr win::DWORD kKept = win::WS_VISIBLE | win::WS_DISABLED;
  const auto current = static_cast<win::DWORD>(win::GetWindowLongA(window, win::GWL_STYLE));
  win::SetWindowLongA(window, win::GWL_STYLE, static_cast<win::LONG>((params.Style & ~kKept) | (current & kKept)));
  win::SetWindowLongA(window, win::GWL_EXSTYLE, static_cast<win::LONG>(params.ExStyle));
  Invalidate();
}

void TCustomEdit::SelectAll() { win::SendMessageA(GetHandle(), win::EM_SETSEL, 0, -1); }

win::HBRUSH TCustomEdit::AnswerColours(win::HDC DC) {
  win::SetTextColor(DC, ColorToRGB(GetFont()->GetColor()));
  win::SetBkColor(DC, ColorToRGB(GetColor()));
  if (brush_.Get() == nullptr || brush_color_ != GetColor()) {
    brush_ = win::ScopedGdiObject<win::HBRUSH>(win::CreateSolidBrush(ColorToRGB(GetColor())));
    brush_color_ = GetColor();
  }
  return brush_.Get();
}

void TCustomEdit::WndProc(TMessage& Message) {
  if (Message.Msg == win::WM_CTLCOLOREDIT && HandleAllocated() &&
      reinterpret_cast<win::HWND>(Message.LParam) == GetHandle()) {
    Message.Result = reinterpret_cast<win::LRESULT>(AnswerColours(reinterpret_cast<win::HDC>(Message.WParam)));
    return;
  }
  TWinControl::WndProc(Message);
}

TCustomMemo::TCustomMemo(TComponent* AOwner) : TCustomEdit(AOwner) { SetBounds(0, 0, 185, 89); }

void TCustomMemo::CreateParams(TCreateParams& Params) {
  TCustomEdit::CreateParams(Params);
  // Lines wrap at words: no horizontal scrolling.
  Params.Style = (Params.Style & ~win::ES_AUTOHSCROLL) | win::ES_MULTILINE | win::ES_AUTOVSCROLL;
  if (alignment_ == taCenter) Params.Style |= win::ES_CENTER;
  if (alignment_ == taRightJustify) Params.Style |= win::ES_RIGHT;
}

void TCustomMemo::SetAlignment(TAlignment Value) {
  if (Value == alignment_) return;
  alignment_ = Value;
  UpdateWindowStyle();
}

}  // namespace dashtune
