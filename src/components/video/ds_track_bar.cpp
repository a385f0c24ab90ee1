#include "components/video/ds_track_bar.h"

#include <algorithm>
#include <climits>

#include "classlib/forms.h"
#include "classlib/messages.h"
#include "classlib/sysutils.h"
#include "platform/core/mul_div.h"
#include "platform/dshow/event_codes.h"
#include "platform/user/messages.h"
#include "platform/user/timers.h"

namespace dashtune {

namespace {

constexpr win::UINT_PTR kTimerId = 1;
// Reference time (100 ns) per millisecond.
constexpr win::LONGLONG kRefTimePerMs = 10000;

// A duration or position as the bar counts it: milliseconds in media time, else the raw low
// 32 bits.
std::uint32_t BarUnits(win::LONGLONG value, bool media_time) {
  return media_time ? static_cast<std::uint32_t>(value / kRefTimePerMs) : static_cast<std::uint32_t>(value);
}

// A range end the bar can hold.
int RangeEnd(std::int64_t value) { return static_cast<int>(std::clamp<std::int64_t>(value, 0, INT_MAX)); }

std::uint32_t HMSOf(const win::DVD_HMSF_TIMECODE& time) {
  return video::HMSToMs(time.bHours, time.bMinutes, time.bSeconds);
}

// value x part / whole, truncated toward zero, for 0 <= part <= whole and 0 < whole < 2^32 (a
// track bar's span), without overflowing 64 bits on the way: value = q x whole + r with |r| < whole,
// so q x part stays within |value| and |r| x part below 2^64.
std::int64_t ScaleWide(std::int64_t value, std::int64_t part, std::int64_t whole) {
  const std::int64_t quotient = value / whole;
  const std::int64_t remainder = value % whole;
  const std::uint64_t magnitude = remainder < 0 ? 0 - static_cast<std::uint64_t>(remainder) : static_cast<std::uint64_t>(remainder);
  const auto fraction = static_cast<std::int64_t>(magnitude * static_cast<std::uint64_t>(part) / static_cast<std::uint64_t>(whole));
  return quotient * part + (remainder < 0 ? -fraction : fraction);
}

}  // namespace

namespace video {

std::uint32_t HMSToMs(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds) {
  return (static_cast<std::uint32_t>(minutes) + 60u * hours) * 60000u + 1000u * seconds;
}

void MsToHMS(std::uint32_t ms, std::uint8_t& hours, std::uint8_t& minutes, std::uint8_t& seconds) {
  hours = static_cast<std::uint8_t>(ms / 3600000u);
  minutes = static_cast<std::uint8_t>((ms % 3600000u) / 60000u);
  seconds = static_cast<std::uint8_t>((ms % 60000u) / 1000u);
}

}  // namespace video

TDSTrackBar::TDSTrackBar(TComponent* AOwner) : TTrackBar(AOwner) {
  timer_window_ = AllocateHWnd([this](TMessage& Message) { TimerWindowProc(Message); });
}

TDSTrackBar::~TDSTrackBar() {
  timer_enabled_ = false;
  UpdateTimer();
  SetFilterGraph(nullptr);
  DeallocateHWnd(timer_window_);
  timer_window_ = nullptr;
  media_seeking_.Reset();
}

win::HRESULT TDSTrackBar::QueryInterface(win::REFIID riid, void** ppv) {
  if (ppv == nullptr) return win::E_POINTER;
  *ppv = nullptr;
  if (riid != win::IID_IUnknown && riid != IID_IGraphListener) return win::E_NOINTERFACE;
  *ppv = static_cast<IGraphListener*>(this);
  return win::S_OK;
}

template <class Interface>
win::ComPtr<Interface> TDSTrackBar::AskGraph(const win::IID& iid) const {
  win::ComPtr<Interface> result;
  if (filter_graph_ != nullptr) {
    filter_graph_->QueryInterface(iid, reinterpret_cast<void**>(result.ReleaseAndGetAddressOf()));
  }
  return result;
}

void TDSTrackBar::Notification(TComponent* AComponent, TOperation Operation) {
  TTrackBar::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent != nullptr && AComponent == filter_graph_) {
    media_seeking_.Reset();
    filter_graph_ = nullptr;
  }
}

void TDSTrackBar::SetFilterGraph(TFilterGraph* Value) { video::RelinkControl(this, nullptr, this, filter_graph_, Value); }

void TDSTrackBar::SetTimerInterval(std::uint32_t Value) {
  if (Value == timer_interval_) return;
  timer_interval_ = Value;
  UpdateTimer();
}

void TDSTrackBar::SetOnTimer(TTimerEvent Value) {
  on_timer_ = std::move(Value);
  UpdateTimer();
}

void TDSTrackBar::SetTimerEnabled(bool Value) {
  if (Value == timer_enabled_) return;
  timer_enabled_ = Value;
  UpdateTimer();
}

void TDSTrackBar::UpdateTimer() {
  if (timer_window_ == nullptr) return;
  win::KillTimer(timer_window_, kTimerId);
  if (timer_interval_ == 0 || !timer_enabled_) return;
  if (win::SetTimer(timer_window_, kTimerId, timer_interval_, nullptr) == 0) {
    throw EOutOfResources("Nicht genügend Timer verfügbar");
  }
}

void TDSTrackBar::TimerWindowProc(TMessage& Message) {
  if (Message.Msg != win::WM_TIMER) {
    Message.Result = win::DefWindowProcA(timer_window_, Message.Msg, Message.WParam, Message.LParam);
    return;
  }
  // A failing tick is reported and the timer goes on.
  try {
    TimerTick();
  } catch (...) {
    if (Application != nullptr) {
      Application->HandleException(this);
    } else {
      ShowException(std::current_exception());
    }
  }
}

void TDSTrackBar::TimerTick() {
  if (!media_seeking_ || thumb_held_) return;
  win::LONGLONG duration = 0;
  win::LONGLONG current = 0;
  media_seeking_->GetDuration(&duration);
  media_seeking_->GetCurrentPosition(&current);
  const bool media_time = media_seeking_->IsUsingTimeFormat(&win::TIME_FORMAT_MEDIA_TIME) == win::S_OK;
  const std::uint32_t current_pos = BarUnits(current, media_time);
  const std::uint32_t stop_pos = BarUnits(duration, media_time);
  SetPosition(win::MulDiv(static_cast<int>(current_pos), GetMax() - GetMin(), static_cast<int>(stop_pos)) + GetMin());
  if (on_timer_) on_timer_(this, current_pos, stop_pos);
}

void TDSTrackBar::ControlEvent(TGraphControlEvent Event, win::LONG_PTR Param) {
  switch (Event) {
    case gcPlay:
      SetTimerEnabled(GetEnabled());
      break;
    case gcPause:
      SetTimerEnabled(true);
      break;
    case gcStop:
      SetTimerEnabled(false);
      break;
    case gcActivation:
      if (Param == 1) {
        media_seeking_ = AskGraph<win::IMediaSeeking>(win::IID_IMediaSeeking);
      } else if (Param == 0) {
        media_seeking_.Reset();
      }
      break;
    default:
      break;
  }
}

void TDSTrackBar::SetRangeSetting(TRangeSetting Value) {
  range_setting_ = Value;
  if (Value != rsAutomatic) return;
  if (media_seeking_) {
    win::LONGLONG duration = 0;
    media_seeking_->GetDuration(&duration);
    const bool media_time = media_seeking_->IsUsingTimeFormat(&win::TIME_FORMAT_MEDIA_TIME) == win::S_OK;
    const std::int64_t length = media_time ? duration / kRefTimePerMs : static_cast<std::uint32_t>(duration);
    SetMin(0);
    SetMax(RangeEnd(length));
    return;
  }
  if (win::ComPtr<win::IDvdInfo2> info = AskGraph<win::IDvdInfo2>(win::IID_IDvdInfo2)) {
    win::DVD_HMSF_TIMECODE total;
    win::ULONG flags = 0;
    info->GetTotalTitleTime(&total, &flags);
    SetMin(0);
    SetMax(RangeEnd(HMSOf(total)));
  }
}

void TDSTrackBar::GraphEvent(win::LONG Event, win::LONG_PTR Param1, win::LONG_PTR) {
  if (Event == win::EC_CLOCK_CHANGED) {
    ClockChanged();
  } else if (Event == win::EC_DVD_CURRENT_HMSF_TIME) {
    FollowDvdTime(Param1);
  }
}

void TDSTrackBar::ClockChanged() {
  if (media_seeking_) {
    win::LONGLONG duration = 0;
    media_seeking_->GetDuration(&duration);
    win::LONGLONG start = 0;
    media_seeking_->SetPositions(&start, win::AM_SEEKING_AbsolutePositioning, &duration, win::AM_SEEKING_NoPositioning);
  } else if (win::ComPtr<win::IDvdControl2> control = AskGraph<win::IDvdControl2>(win::IID_IDvdControl2)) {
    // The navigator then reports its time as hours, minutes, seconds and frames.
    control->SetOption(win::DVD_HMSF_TimeCodeEvents, -1);
  }
  SetRangeSetting(range_setting_);
}

void TDSTrackBar::FollowDvdTime(win::LONG_PTR Param1) {
  win::ComPtr<win::IDvdInfo2> info = AskGraph<win::IDvdInfo2>(win::IID_IDvdInfo2);
  if (!info) {
    SetPosition(0);
    return;
  }
  win::DVD_HMSF_TIMECODE total;
  win::ULONG flags = 0;
  info->GetTotalTitleTime(&total, &flags);
  const auto packed = static_cast<std::uint32_t>(Param1);
  const std::uint32_t now = video::HMSToMs(static_cast<std::uint8_t>(packed), static_cast<std::uint8_t>(packed >> 8),
                                           static_cast<std::uint8_t>(packed >> 16));
  SetPosition(win::MulDiv(static_cast<int>(now), GetMax() - GetMin(), static_cast<int>(HMSOf(total))) + GetMin());
}

void TDSTrackBar::SeekTo(std::int64_t Position) {
  const std::int64_t low = GetMin();
  const std::int64_t range = static_cast<std::int64_t>(GetMax()) - low;
  if (range == 0) return;
  Position = std::clamp<std::int64_t>(Position, low, GetMax());
  if (media_seeking_) {
    win::LONGLONG stop = 0;
    win::LONGLONG duration = 0;
    media_seeking_->GetStopPosition(&stop);
    media_seeking_->GetDuration(&duration);
    win::LONGLONG target = ScaleWide(duration, Position - low, range);
    media_seeking_->SetPositions(&target, win::AM_SEEKING_AbsolutePositioning, &stop, win::AM_SEEKING_NoPositioning);
    SetPosition(static_cast<int>(Position));
    return;
  }
  win::ComPtr<win::IDvdInfo2> info = AskGraph<win::IDvdInfo2>(win::IID_IDvdInfo2);
  if (!info) return;
  win::DVD_HMSF_TIMECODE total;
  win::ULONG flags = 0;
  info->GetTotalTitleTime(&total, &flags);
  win::ComPtr<win::IDvdControl2> control = AskGraph<win::IDvdControl2>(win::IID_IDvdControl2);
  if (!control) return;
  const auto target_ms = static_cast<std::uint32_t>(ScaleWide(HMSOf(total), Position - low, range));
  win::DVD_HMSF_TIMECODE target = total;  // the frames byte keeps the title's
  video::MsToHMS(target_ms, target.bHours, target.bMinutes, target.bSeconds);
  control->PlayAtTime(&target, win::DVD_CMD_FLAG_Flush, nullptr);
  SetPosition(static_cast<int>(Position));
}

void TDSTrackBar::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TTrackBar::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft) thumb_held_ = true;
}

void TDSTrackBar::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TTrackBar::MouseUp(Button, Shift, X, Y);
  if (Button == mbLeft) SeekTo(GetPosition());
  thumb_held_ = false;
}

}  // namespace dashtune
