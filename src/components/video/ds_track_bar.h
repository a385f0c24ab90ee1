// TDSTrackBar: a track bar bound to a TFilterGraph. While the graph plays, a timer moves the
// thumb to the playing position and reports position and length in milliseconds; releasing the
// thumb seeks the graph. Works through the graph's seeking interface, or for a DVD through the
// navigator's time and jump interfaces in hours, minutes and seconds.
#pragma once

#include <cstdint>
#include <functional>

#include "classlib/track_bar.h"
#include "components/video/filter_graph.h"
#include "platform/dshow/dshow.h"

namespace dashtune {

using TTimerEvent = std::function<void(TObject* Sender, std::uint32_t CurrentPos, std::uint32_t StopPos)>;

enum TRangeSetting { rsAutomatic, rsManual };

namespace video {

// (minutes + 60 hours) x 60000 + 1000 seconds.
std::uint32_t HMSToMs(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds);
// Hours, minutes and seconds of a time in milliseconds, each kept to a byte.
void MsToHMS(std::uint32_t ms, std::uint8_t& hours, std::uint8_t& minutes, std::uint8_t& seconds);

}  // namespace video

class TDSTrackBar : public TTrackBar, public IGraphListener {
 public:
  explicit TDSTrackBar(TComponent* AOwner);
  ~TDSTrackBar() override;

  // IUnknown: the listener interface. Counting never frees the bar: its owner does.
  win::HRESULT QueryInterface(win::REFIID riid, void** ppv) override;
  win::ULONG AddRef() override { return 2; }
  win::ULONG Release() override { return 1; }

  TFilterGraph* GetFilterGraph() const { return filter_graph_; }
  // Leaves the old graph's listeners and joins the new one's; the seeking interface is taken at
  // the new graph's next activation.
  void SetFilterGraph(TFilterGraph* Value);
  std::uint32_t GetTimerInterval() const { return timer_interval_; }
  // 0 stops the timer.
  void SetTimerInterval(std::uint32_t Value);
  const TTimerEvent& GetOnTimer() const { return on_timer_; }
  void SetOnTimer(TTimerEvent Value);
  TRangeSetting GetRangeSetting() const { return range_setting_; }
  // rsAutomatic sets Min 0 and Max the medium's length in milliseconds (the title's for a DVD).
  void SetRangeSetting(TRangeSetting Value);

  // Seeks the graph to a position in bar units (clamped to Min..Max) and moves the thumb there.
  void SeekTo(std::int64_t Position);

  // IGraphListener
  void GraphEvent(win::LONG Event, win::LONG_PTR Param1, win::LONG_PTR Param2) override;
  void ControlEvent(TGraphControlEvent Event, win::LONG_PTR Param) override;

  // The hidden window whose timer drives the bar (for tests).
  win::HWND GetTimerWindow() const { return timer_window_; }
  bool GetTimerEnabled() const { return timer_enabled_; }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  virtual void TimerTick();

 private:
  void SetTimerEnabled(bool Value);
  void UpdateTimer();
  void TimerWindowProc(TMessage& Message);
  void ClockChanged();
  void FollowDvdTime(win::LONG_PTR Param1);
  template <class Interface>
  win::ComPtr<Interface> AskGraph(const win::IID& iid) const;

  TFilterGraph* filter_graph_ = nullptr;  // not owned
  std::uint32_t timer_interval_ = 1000;
  TTimerEvent on_timer_;
  TRangeSetting range_setting_ = rsAutomatic;
  win::ComPtr<win::IMediaSeeking> media_seeking_;  // held from activation to deactivation
  win::HWND timer_window_ = nullptr;
  bool timer_enabled_ = false;
  bool thumb_held_ = false;
};

}  // namespace dashtune
