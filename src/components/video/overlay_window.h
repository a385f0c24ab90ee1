// TDSVideoWindowEx2: a control that shows a TFilterGraph's video through an overlay mixer it
// inserts in front of the video renderer. It keeps the renderer's window placed over itself,
// paints the overlay's colour key into the video area (bars around a letter-boxed picture),
// zooms into the picture, sets the overlay's aspect-ratio mode and hides the mouse cursor after
// a while without mouse activity. TColorControl passes the picture adjustments to the overlay;
// TDSVideoWindowEx2Caps tells which of them the overlay supports.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "classlib/controls.h"
#include "classlib/form.h"
#include "components/video/filter_graph.h"
#include "components/video/linked_renderer.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/overlay_interfaces.h"
#include "platform/dshow/video_interfaces.h"

namespace dashtune {

class TDSVideoWindowEx2;

enum TRatioModes { rmStretched = 0, rmLetterBox = 1, rmCrop = 2 };

using TOverlayVisibleEvent = std::function<void(TObject* Sender, bool Visible)>;
using TCursorVisibleEvent = std::function<void(TObject* Sender, bool Visible)>;

// The overlay surface's picture adjustments. Setters check their range and pass every value to
// the overlay while the window's graph is active; getters read the overlay first.
class TColorControl : public TPersistent {
 public:
  explicit TColorControl(TDSVideoWindowEx2* AOwner);  // AOwner: not owned, owns this object

  int GetBrightness();
  void SetBrightness(int Value);  // 0 to 10000
  int GetContrast();
  void SetContrast(int Value);  // 0 to 20000
  int GetHue();
  void SetHue(int Value);  // -180 to 180
  int GetSaturation();
  void SetSaturation(int Value);  // 0 to 20000
  int GetSharpness();
  void SetSharpness(int Value);  // 0 to 10
  int GetGamma();
  void SetGamma(int Value);  // 1 to 500
  bool GetColorEnable();
  void SetColorEnable(bool Value);

  // The overlay's own values and flags once read; the defaults until then.
  const win::DDCOLORCONTROL& GetDeviceRecord() const { return device_; }

  // Takes the overlay's values as the device record (after the overlay was inserted).
  void ReadDefaults();
  // Passes the seven values to the overlay.
  void Apply();
  // Takes the device record's values and passes them to the overlay (the overlay is leaving).
  void RestoreDefaults();

 private:
  // The overlay mixer's input pin with its colour interface, or nil when the overlay is not
  // reachable (design mode, no graph, inactive graph, no overlay mixer).
  win::ComPtr<win::IMixerPinConfig2> OverlayPin() const;
  // Reads the overlay's values into the properties (the defaults when the overlay refuses).
  void ReadCurrent();
  template <class T>
  void Set(T& field, T value);

  TDSVideoWindowEx2* owner_;
  int brightness_ = 750;
  int contrast_ = 10000;
  int hue_ = 0;
  int saturation_ = 10000;
  int sharpness_ = 5;
  int gamma_ = 1;
  bool color_enable_ = true;
  win::DDCOLORCONTROL device_{40, 0x7F, 750, 10000, 0, 10000, 5, 1, 1, 0};
};

// Which adjustments the window's overlay supports.
class TDSVideoWindowEx2Caps : public TPersistent {
 public:
  explicit TDSVideoWindowEx2Caps(TDSVideoWindowEx2* AOwner);  // AOwner: not owned

  bool GetCanOverlayGraphic() const;
  bool GetCanControlBrigtness() const { return Supports(win::DDCOLOR_BRIGHTNESS); }
  bool GetCanControlContrast() const { return Supports(win::DDCOLOR_CONTRAST); }
  bool GetCanControlHue() const { return Supports(win::DDCOLOR_HUE); }
  bool GetCanControlSaturation() const { return Supports(win::DDCOLOR_SATURATION); }
  bool GetCanControlSharpness() const { return Supports(win::DDCOLOR_SHARPNESS); }
  bool GetCanControlGamma() const { return Supports(win::DDCOLOR_GAMMA); }
  bool GetCanControlColorEnabled() const { return Supports(win::DDCOLOR_COLORENABLE); }

 private:
  bool Supports(win::DWORD flag) const;

  TDSVideoWindowEx2* owner_;
};

class TOverlayCallback;

class TDSVideoWindowEx2 : public TLinkedVideoControl {
 public:
  explicit TDSVideoWindowEx2(TComponent* AOwner);
  // Leaves the graph first (its removal still finds everything held), then lets go of the rest.
  ~TDSVideoWindowEx2() override;

  void Loaded() override;

  TRatioModes GetAspectRatio() const { return aspect_ratio_; }
  void SetAspectRatio(TRatioModes Value);
  int GetAutoHideCursor() const { return auto_hide_cursor_; }
  void SetAutoHideCursor(int Value) { auto_hide_cursor_ = Value; }
  int GetDigitalZoom() const { return digital_zoom_; }
  // 0 to 99 (percent of the picture cut away); anything else raises.
  void SetDigitalZoom(int Value);
  bool GetFullScreenTopMost() const { return full_screen_top_most_; }
  void SetFullScreenTopMost(bool Value) { full_screen_top_most_ = Value; }
  bool GetNoScreenSaver() const { return no_screen_saver_; }
  void SetNoScreenSaver(bool Value) { no_screen_saver_ = Value; }
  TColorControl* GetColorControl() const { return color_control_.get(); }
  TDSVideoWindowEx2Caps* GetCapabilities() const { return capabilities_.get(); }

  win::COLORREF GetColorKey() const { return color_key_; }
  bool GetOverlayActive() const { return overlay_active_; }
  bool GetOverlayVisible() const { return overlay_visible_; }
  const win::RECT& GetVideoRect() const { return video_rect_; }
  // The borderless form for full-screen playback (nil in design mode).
  TForm* GetFullScreenForm() const { return full_screen_form_.get(); }
  bool HoldsOverlayMixer() const { return static_cast<bool>(overlay_mixer_); }

  // ILinkedFilter
  void NotifyFilter(TLinkedFilterOperation operation, int param) override;
  // IGraphListener
  void GraphEvent(win::LONG Event, win::LONG_PTR Param1, win::LONG_PTR Param2) override;
  void ControlEvent(TGraphControlEvent Event, win::LONG_PTR Param) override;

  void WndProc(TMessage& Message) override;

  TNotifyEvent OnColorKeyChanged;
  TOverlayVisibleEvent OnOverlayVisible;
  TNotifyEvent OnPaint;
  TCursorVisibleEvent OnCursorShowHide;

 protected:
  void Paint() override;
  void Resize() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  friend class TColorControl;
  friend class TOverlayCallback;
  struct IdleHandler;
  class Insertion;

  bool Designing() const { return GetComponentState().Contains(csDesigning); }
  void OnIdle(bool& Done);
  void RunInsertion();
  win::HRESULT InsertOverlay();
  win::HRESULT RouteThroughNewMixer(Insertion& insertion, win::IBaseFilter* mixing_renderer,
                                    win::ComPtr<win::IBaseFilter>& replaced_decoder);
  win::HRESULT RouteSource(Insertion& insertion, win::IPin* source, win::ComPtr<win::IBaseFilter>& replaced_decoder);
  void UpdateRendererWindow();
  void AdoptDvdRenderer();
  void RefreshColorKey();
  win::HRESULT ComputeVideoRect();
  void RepaintVideo();
  void ShowCursorAgain();
  void StopAndDisconnect(win::IBaseFilter* filter, bool stop);
  void DropCallback();
  win::ComPtr<win::IMixerPinConfig2> FirstOverlayPinConfig() const;

  win::ComPtr<win::IVideoWindow> renderer_window_;
  win::ComPtr<win::IBaseFilter> overlay_mixer_;
  win::ComPtr<win::IBaseFilter> graph_renderer_;
  win::ComPtr<win::IDDrawExclModeVideo> excl_mode_;
  win::COLORREF color_key_ = 0x00100010;
  win::LONG saved_style_ = 0;
  win::LONG saved_ex_style_ = 0;
  win::RECT video_rect_{};
  std::unique_ptr<TColorControl> color_control_;
  std::unique_ptr<TDSVideoWindowEx2Caps> capabilities_;
  int digital_zoom_ = 0;
  TRatioModes aspect_ratio_ = rmLetterBox;
  bool no_screen_saver_ = false;
  int auto_hide_cursor_ = 0;
  bool full_screen_top_most_ = false;
  std::unique_ptr<TForm> full_screen_form_;
  bool insertion_tried_ = false;
  win::ComPtr<TOverlayCallback> overlay_callback_;
  bool overlay_active_ = false;
  bool overlay_visible_ = false;
  win::POINT last_mouse_pos_{-1, -1};
  win::DWORD last_activity_tick_ = 0;
  TCursor saved_cursor_ = crDefault;
  bool renderer_cursor_hidden_ = false;
};

}  // namespace dashtune
