#include "classlib/hint_window.h"

#include "platform/text/text.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"

namespace dashtune {

THintWindow::THintWindow(TComponent* AOwner) : TCustomControl(AOwner) {
  SetVisible(false);
  SetParentColor(false);
  SetParentFont(false);
  SetColor(clInfoBk);
  GetFont()->SetColor(clInfoText);
}

void THintWindow::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  Params.Style = win::WS_POPUP | win::WS_BORDER;
  Params.ExStyle |= win::WS_EX_TOOLWINDOW | win::WS_EX_TOPMOST;
  Params.WndParent = nullptr;
}

void THintWindow::ActivateHint(const win::RECT& Rect, const std::string& AHint) {
  SetCaption(AHint);
  SetBoundsRect(Rect);
  SetVisible(true);
  win::SetWindowPos(GetHandle(), win::HWND_TOPMOST, Rect.left, Rect.top, Rect.right - Rect.left,
                    Rect.bottom - Rect.top, win::SWP_SHOWWINDOW | win::SWP_NOACTIVATE);
  Invalidate();
}

void THintWindow::ActivateHintData(const win::RECT& Rect, const std::string& AHint, void*) {
  ActivateHint(Rect, AHint);
}

win::RECT THintWindow::CalcHintRect(int MaxWidth, const std::string& AHint, void*) {
  win::RECT rect{0, 0, MaxWidth, 0};
  TCanvas* canvas = GetCanvas();
  canvas->SetFont(GetFont());
  win::DrawTextA(canvas->GetHandle(), AHint.c_str(), static_cast<int>(AHint.size()), &rect,
                 win::DT_CALCRECT | win::DT_LEFT | win::DT_WORDBREAK | win::DT_NOPREFIX);
  rect.right += 6;
  rect.bottom += 2;
  return rect;
}

bool THintWindow::IsHintMsg(const win::MSG& Msg) {
  const win::UINT m = Msg.message;
  return (m >= win::WM_KEYDOWN && m <= win::WM_SYSCHAR) || m == win::WM_COMMAND ||
         (m > win::WM_MOUSEMOVE && m <= win::WM_MOUSEWHEEL) || m == win::WM_ACTIVATEAPP;
}

void THintWindow::ReleaseHandle() {
  SetVisible(false);
  DestroyHandle();
}

void THintWindow::Paint() {
  TCanvas* canvas = GetCanvas();
  win::RECT rect = GetClientRect();
  rect.left += 2;
  rect.top += 2;
  canvas->SetFont(GetFont());
  canvas->GetBrush()->SetStyle(bsClear);
  const std::string& text = GetCaption();
  win::DrawTextA(canvas->GetHandle(), text.c_str(), static_cast<int>(text.size()), &rect,
                 win::DT_LEFT | win::DT_NOPREFIX | win::DT_WORDBREAK);
}

}  // namespace dashtune
