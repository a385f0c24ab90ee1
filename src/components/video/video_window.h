// TVideoWindow: a control that shows the video of a TFilterGraph. It supplies the graph's video
// renderer (the classic renderer, or the mixing renderer 9 in windowed, windowless or renderless
// mode) while the graph is active, places the renderer's window over itself on play, and can put
// that window over the whole screen. TVMROptions holds the mixing renderer's settings.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "classlib/controls.h"
#include "classlib/set.h"
#include "components/video/filter_graph.h"
#include "components/video/linked_renderer.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/video_interfaces.h"

namespace dashtune {

class TVideoWindow;

enum TVMRVideoMode { vmrWindowed = 0, vmrWindowless = 1, vmrRenderless = 2 };
enum TVMRPreference {
  vpForceOffscreen,
  vpForceOverlays,
  vpForceMixer,
  vpDoNotRenderColorKeyAndBorder,
  vpRestrictToInitialMonitor,
  vpPreferAGPMemWhenMixing
};
using TVMRPreferences = Set<TVMRPreference>;

enum TVideoMode { vmNormal = 0, vmVMR = 1 };

// Makes a renderless mode's allocator: gets the result variable to set, the video window's
// window and two optional device references; answers an object offering IVMRSurfaceAllocator9
// (a new reference) or nil.
using TAllocatorClass = std::function<win::IUnknown*(win::HRESULT& Result, win::HWND Window, win::IUnknown* Device,
                                                      win::IUnknown* Direct3D)>;

// The mixing renderer's settings. A change of Mode, Streams or Preferences builds the renderer
// again when the owner uses the mixing renderer in an active graph.
class TVMROptions : public TPersistent {
 public:
  explicit TVMROptions(TVideoWindow* AOwner);  // AOwner: not owned, owns these options

  TVMRVideoMode GetMode() const { return mode_; }
  void SetMode(TVMRVideoMode Value);
  std::uint32_t GetStreams() const { return streams_; }
  // 1 to 16 are stored; any other value stores 1.
  void SetStreams(std::uint32_t Value);
  TVMRPreferences GetPreferences() const { return preferences_; }
  void SetPreferences(TVMRPreferences Value);
  bool GetKeepAspectRatio() const { return keep_aspect_ratio_; }
  // Applied at once to a windowed or windowless renderer.
  void SetKeepAspectRatio(bool Value);

 private:
  friend class TVideoWindow;
  void RecreateRenderer();

  TVideoWindow* owner_;
  TVMRVideoMode mode_ = vmrWindowed;
  std::uint32_t streams_ = 4;
  TVMRPreferences preferences_{vpForceMixer};
  bool keep_aspect_ratio_ = true;
};

class TVideoWindow : public TLinkedVideoControl {
 public:
  explicit TVideoWindow(TComponent* AOwner);
  // Leaves the graph before the options go: the renderer's removal may read them.
  ~TVideoWindow() override;

  void Loaded() override;

  // IUnknown: the windowless control while held, then as every linked video control answers.
  win::HRESULT QueryInterface(win::REFIID riid, void** ppv) override;

  TVideoMode GetMode() const { return mode_; }
  // vmVMR is kept only where the mixing renderer 9 can be made; otherwise vmNormal.
  void SetMode(TVideoMode Value);
  TVMROptions* GetVMROptions() const { return vmr_options_.get(); }
  bool GetFullScreen() const { return full_screen_; }
  // Places the renderer's window over the whole screen (True) or over the control again; with
  // no renderer window or no connected input the value waits for the next play.
  void SetFullScreen(bool Value);
  bool GetFullScreenTopMost() const { return full_screen_top_most_; }
  void SetFullScreenTopMost(bool Value);
  // The renderer's window, or the canvas's device context while there is none.
  std::uintptr_t GetVideoHandle();
  void SetVisible(bool Value) override;

  // Whether the mixing renderer 9 can be made here.
  static bool IsVMR9Available();

  // Renderless mode: the allocator maker and the id it is advised under (nobody sets them in
  // the application).
  void SetAllocatorClass(TAllocatorClass Value) { allocator_class_ = std::move(Value); }
  void SetAllocatorUserId(win::DWORD_PTR Value) { allocator_user_id_ = Value; }

  // ILinkedFilter
  void NotifyFilter(TLinkedFilterOperation operation, int param) override;
  // IGraphListener
  void GraphEvent(win::LONG Event, win::LONG_PTR Param1, win::LONG_PTR Param2) override;
  void ControlEvent(TGraphControlEvent Event, win::LONG_PTR Param) override;

  void WndProc(TMessage& Message) override;

  TNotifyEvent OnPaint;

 protected:
  void Paint() override;
  void Resize() override;
  void ConstrainedResize(int& MinWidth, int& MinHeight, int& MaxWidth, int& MaxHeight) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  friend class TVMROptions;

  bool LinkedToActiveGraph() const;
  void RecreateRenderer();
  bool RendererInputConnected() const;
  void CreateRenderer();
  void CreateMixingRenderer();
  void ConfigureRenderless(win::IVMRFilterConfig9* config);
  void TakeRendererInterfaces();
  void TakeMixingInterfaces();
  void ReleaseRendererInterfaces();
  void StopRenderer();
  void ApplyRenderingPrefs();
  void ApplyAspectRatio();
  void PlaceRendererWindow();
  void ShowRendererWindowAsOwn();
  void AdoptGraphRenderer();
  win::HWND OwnerWindow();
  // The cursor's screen position while the renderer's window covers the screen, else (X, Y).
  win::POINT MousePoint(int X, int Y) const;

  TVideoMode mode_ = vmNormal;
  std::unique_ptr<TVMROptions> vmr_options_;
  bool full_screen_ = false;
  bool full_screen_top_most_ = false;
  bool full_screen_active_ = false;
  // The control itself, rather than its parent, owns the renderer's window (nothing sets it).
  bool owns_renderer_window_ = false;
  win::LONG saved_style_ = 0;
  win::LONG saved_ex_style_ = 0;

  win::ComPtr<win::IVideoWindow> renderer_window_;
  win::ComPtr<win::IVMRWindowlessControl9> windowless_;
  TAllocatorClass allocator_class_;
  win::ComPtr<win::IUnknown> allocator_;
  win::DWORD_PTR allocator_user_id_ = 0;
};

}  // namespace dashtune
