#include "classlib/track_bar.h"

#include <algorithm>

#include "classlib/sysutils.h"
#include "platform/user/messages.h"
#include "platform/user/trackbar.h"

namespace dashtune {

TTrackBar::TTrackBar(TComponent* AOwner) : TWinControl(AOwner) {
  SetBounds(0, 0, 150, 45);
  SetTabStop(true);
}

void TTrackBar::CreateParams(TCreateParams& Params) {
  win::InitCommonControls();
  TWinControl::CreateParams(Params);
  Params.SubClassOf = win::TRACKBAR_CLASSA;
}

void TTrackBar::CreateWnd() {
  TWinControl::CreateWnd();
  win::HWND window = GetHandle();
  win::SendMessageA(window, win::TBM_SETRANGEMIN, win::FALSE, min_);
  win::SendMessageA(window, win::TBM_SETRANGEMAX, win::FALSE, max_);
  win::SendMessageA(window, win::TBM_SETPOS, win::TRUE, position_);
}

int TTrackBar::GetPosition() const {
  auto* self = const_cast<TTrackBar*>(this);
  if (!HandleAllocated()) return position_;
  return static_cast<int>(win::SendMessageA(self->GetHandle(), win::TBM_GETPOS, 0, 0));
}

void TTrackBar::SetParams(int APosition, int AMin, int AMax) {
  if (AMax < AMin) throw EInvalidOperation(ClassName() + " Eigenschaft außerhalb des gültigen Bereichs");
  APosition = std::clamp(APosition, AMin, AMax);
  const bool allocated = HandleAllocated();
  if (AMin != min_) {
    min_ = AMin;
    if (allocated) win::SendMessageA(GetHandle(), win::TBM_SETRANGEMIN, win::TRUE, AMin);
  }
  if (AMax != max_) {
    max_ = AMax;
    if (allocated) win::SendMessageA(GetHandle(), win::TBM_SETRANGEMAX, win::TRUE, AMax);
  }
  if (APosition != position_) {
    position_ = APosition;
    if (allocated) win::SendMessageA(GetHandle(), win::TBM_SETPOS, win::TRUE, APosition);
    Changed();
  }
}

void TTrackBar::WndProc(TMessage& Message) {
  TWinControl::WndProc(Message);
  if (Message.Msg >= win::WM_MOUSEMOVE && Message.Msg <= win::WM_MBUTTONDBLCLK) FollowWindow();
}

void TTrackBar::FollowWindow() {
  if (!HandleAllocated()) return;
  const int position = GetPosition();
  if (position == position_) return;
  position_ = position;
  Changed();
}

void TTrackBar::Changed() {
  if (OnChange) OnChange(this);
}

}  // namespace dashtune
