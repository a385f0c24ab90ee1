#include "components/video/video_window.h"

#include "classlib/menus.h"
#include "components/video/ds_conversions.h"
#include "components/video/ds_util.h"
#include "components/video/linked_renderer.h"
#include "platform/com/com_init.h"
#include "platform/core/strings.h"
#include "platform/dshow/event_codes.h"
#include "platform/dshow/media_objects.h"
#include "platform/user/cursors.h"
#include "platform/user/messages.h"
#include "platform/user/system_metrics.h"
#include "platform/user/window.h"

namespace dashtune {

namespace {

using video::CheckDSResult;
using video::Ask;

// Styles a full-screen renderer window drops: caption and sizing frame; and the extended
// styles: dialog frame, window edge, client edge and static edge.
constexpr win::LONG kFullScreenDroppedStyle = 0x00C40000;
constexpr win::LONG kFullScreenDroppedExStyle = 0x00020301;

// Creating the mixing renderer changes the x87 control word: it is loaded back, also when the
// creation or its configuration fails.
class ScopedFPUControlWord {
 public:
  ScopedFPUControlWord() : saved_(video::GetFPUControlWord()) {}
  ~ScopedFPUControlWord() { video::SetFPUControlWord(saved_); }
  ScopedFPUControlWord(const ScopedFPUControlWord&) = delete;
  ScopedFPUControlWord& operator=(const ScopedFPUControlWord&) = delete;

 private:
  std::uint16_t saved_;
};

win::ComPtr<win::IBaseFilter> CreateFilter(const win::CLSID& class_id, win::DWORD context) {
  win::ComPtr<win::IBaseFilter> filter;
  win::CoCreateInstance(class_id, nullptr, context, win::IID_IBaseFilter,
                        reinterpret_cast<void**>(filter.ReleaseAndGetAddressOf()));
  return filter;
}

}  // namespace

// --- options -------------------------------------------------------------------------------

TVMROptions::TVMROptions(TVideoWindow* AOwner) : owner_(AOwner) {}

void TVMROptions::SetMode(TVMRVideoMode Value) {
  mode_ = Value;
  RecreateRenderer();
}

void TVMROptions::SetStreams(std::uint32_t Value) {
  streams_ = Value >= 1 && Value <= win::MAX_MIXER_STREAMS ? Value : 1;
  RecreateRenderer();
}

void TVMROptions::SetPreferences(TVMRPreferences Value) {
  preferences_ = Value;
  RecreateRenderer();
}

void TVMROptions::SetKeepAspectRatio(bool Value) {
  keep_aspect_ratio_ = Value;
  if (mode_ != vmrWindowed && mode_ != vmrWindowless) return;
  win::ComPtr<win::IVMRAspectRatioControl9> aspect;
  if (win::FAILED(owner_->QueryInterface(win::IID_IVMRAspectRatioControl9,
                                         reinterpret_cast<void**>(aspect.ReleaseAndGetAddressOf())))) {
    return;
  }
  CheckDSResult(aspect->SetAspectRatioMode(Value ? win::VMR9ARMode_LetterBox : win::VMR9ARMode_None));
}

void TVMROptions::RecreateRenderer() {
  if (owner_->mode_ == vmVMR) owner_->RecreateRenderer();
}

// --- video window --------------------------------------------------------------------------

TVideoWindow::TVideoWindow(TComponent* AOwner)
    : TLinkedVideoControl(AOwner), vmr_options_(std::make_unique<TVMROptions>(this)) {
  win::RegisterMediaGraphClasses();
  SetControlStyle(TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csDoubleClicks, csReflector});
  SetTabStop(true);
  SetBounds(GetLeft(), GetTop(), 160, 120);
  SetColor(clBlack);
}

TVideoWindow::~TVideoWindow() {
  // Nothing may leave a destructor: a renderer that fails to stop (a stalled engine) still
  // leaves the graph, and the graph reports the failure as its error event.
  video::UnlinkControlQuietly(this, this, this, filter_graph_);
  vmr_options_.reset();
}

void TVideoWindow::Loaded() {
  TCustomControl::Loaded();
  saved_style_ = win::GetWindowLongA(GetHandle(), win::GWL_STYLE);
  saved_ex_style_ = win::GetWindowLongA(GetHandle(), win::GWL_EXSTYLE);
}

win::HRESULT TVideoWindow::QueryInterface(win::REFIID riid, void** ppv) {
  if (ppv == nullptr) return win::E_POINTER;
  *ppv = nullptr;
  if (riid == win::IID_IVMRWindowlessControl9 && windowless_) {
    *ppv = windowless_.Get();
    windowless_->AddRef();
    return win::S_OK;
  }
  return TLinkedVideoControl::QueryInterface(riid, ppv);
}

bool TVideoWindow::LinkedToActiveGraph() const { return filter_graph_ != nullptr && filter_graph_->GetActive(); }

void TVideoWindow::RecreateRenderer() {
  if (!LinkedToActiveGraph()) return;
  filter_graph_->RemoveLinkedFilter(this);
  filter_graph_->AddLinkedFilter(this);
}

void TVideoWindow::SetMode(TVideoMode Value) {
  mode_ = Value == vmVMR && !IsVMR9Available() ? vmNormal : Value;
  RecreateRenderer();
}

bool TVideoWindow::IsVMR9Available() {
  ScopedFPUControlWord keep;
  return static_cast<bool>(
      CreateFilter(win::CLSID_VideoMixingRenderer9, win::CLSCTX_INPROC_SERVER | win::CLSCTX_INPROC_HANDLER));
}

bool TVideoWindow::RendererInputConnected() const {
  if (!renderer_) return false;
  TPinList pins(renderer_.Get());
  for (int index = 0; index < pins.GetCount(); ++index) {
    if (pins.Connected(index)) return true;
  }
  return false;
}

// --- the renderer's joining and leaving ----------------------------------------------------

void TVideoWindow::NotifyFilter(TLinkedFilterOperation operation, int) {
  switch (operation) {
    case lfAdding:
      CreateRenderer();
      break;
    case lfAdded:
      TakeRendererInterfaces();
      break;
    case lfRemoving:
      StopRenderer();
      break;
    case lfRemoved:
      ReleaseRendererInterfaces();
      break;
  }
}

void TVideoWindow::CreateRenderer() {
  if (mode_ == vmVMR) {
    CreateMixingRenderer();
  } else {
    // A renderer that cannot be made leaves the filter nil; the graph then adds nothing.
    renderer_ = CreateFilter(win::CLSID_VideoRenderer, win::CLSCTX_INPROC_SERVER);
  }
}

void TVideoWindow::CreateMixingRenderer() {
  ScopedFPUControlWord keep;
  win::ComPtr<win::IBaseFilter> renderer =
      CreateFilter(win::CLSID_VideoMixingRenderer9, win::CLSCTX_INPROC_SERVER | win::CLSCTX_INPROC_HANDLER);
  // A mixing renderer that cannot be made leaves the filter nil.
  if (!renderer) return;
  win::ComPtr<win::IVMRFilterConfig9> config;
  CheckDSResult(Ask(renderer.Get(), config));
  switch (vmr_options_->mode_) {
    case vmrWindowed:
      CheckDSResult(config->SetRenderingMode(win::VMR9Mode_Windowed));
      break;
    case vmrWindowless:
      CheckDSResult(config->SetRenderingMode(win::VMR9Mode_Windowless));
      break;
    case vmrRenderless:
      renderer_ = renderer;
      try {
        ConfigureRenderless(config.Get());
      } catch (...) {
        // A renderer that could not be configured does not join the graph.
        renderer_.Reset();
        throw;
      }
      return;
  }
  renderer_ = renderer;
}

void TVideoWindow::ConfigureRenderless(win::IVMRFilterConfig9* config) {
  if (!allocator_class_) throw EDSMediaException("Allocator class not set.");
  win::HRESULT result = win::S_OK;
  win::ComPtr<win::IUnknown> allocator;
  allocator.Attach(allocator_class_(result, GetHandle(), nullptr, nullptr));
  if (win::FAILED(result)) throw EDSMediaException("Error Creating Allocator", result);
  if (!allocator) throw EDSMediaException("Error Creating Allocator", win::E_POINTER);
  CheckDSResult(config->SetRenderingMode(win::VMR9Mode_Renderless));
  win::ComPtr<win::IVMRSurfaceAllocatorNotify9> notify;
  CheckDSResult(Ask(renderer_.Get(), notify));
  win::ComPtr<win::IVMRSurfaceAllocator9> surfaces;
  CheckDSResult(Ask(allocator.Get(), surfaces));
  notify->AdviseSurfaceAllocator(allocator_user_id_, surfaces.Get());
  allocator_ = allocator;
  surfaces->AdviseNotify(notify.Get());
}

void TVideoWindow::TakeRendererInterfaces() {
  // Nothing was made: nothing joined the graph.
  if (!renderer_) return;
  if (mode_ == vmNormal) {
    CheckDSResult(Ask(renderer_.Get(), renderer_window_));
    return;
  }
  TakeMixingInterfaces();
}

void TVideoWindow::TakeMixingInterfaces() {
  win::ComPtr<win::IVMRFilterConfig9> config;
  if (CheckDSResult(Ask(renderer_.Get(), config)) != win::S_OK) return;
  TVMROptions& options = *vmr_options_;
  if (options.streams_ != 4 || options.preferences_.Contains(vpForceMixer)) {
    CheckDSResult(config->SetNumberOfStreams(options.streams_));
    win::DWORD streams = 0;
    CheckDSResult(config->GetNumberOfStreams(&streams));
    options.streams_ = streams;
  }
  switch (options.mode_) {
    case vmrWindowed:
      CheckDSResult(Ask(renderer_.Get(), renderer_window_));
      ApplyRenderingPrefs();
      break;
    case vmrWindowless:
      CheckDSResult(Ask(renderer_.Get(), windowless_));
      CheckDSResult(windowless_->SetVideoClippingWindow(GetHandle()));
      ApplyRenderingPrefs();
      Resize();
      break;
    case vmrRenderless:
      break;
  }
  options.SetKeepAspectRatio(options.keep_aspect_ratio_);
}

// The preferences go without vpForceMixer, which only asks for the mixer's streams; what the
// renderer kept comes back, vpForceMixer added again when it was asked for.
void TVideoWindow::ApplyRenderingPrefs() {
  win::ComPtr<win::IVMRFilterConfig9> config;
  CheckDSResult(Ask(renderer_.Get(), config));
  TVMROptions& options = *vmr_options_;
  const bool force_mixer = options.preferences_.Contains(vpForceMixer);
  TVMRPreferences sent = options.preferences_;
  sent.Exclude(vpForceMixer);
  CheckDSResult(config->SetRenderingPrefs(static_cast<win::DWORD>(sent.ToBits())));
  win::DWORD kept = 0;
  CheckDSResult(config->GetRenderingPrefs(&kept));
  options.preferences_ = TVMRPreferences::FromBits(kept);
  if (force_mixer) options.preferences_.Include(vpForceMixer);
}

// Every step runs, so the renderer always leaves the graph stopped as far as it can be and
// disconnected; the first failure is raised afterwards.
void TVideoWindow::StopRenderer() {
  if (!renderer_) return;
  win::HRESULT failure = win::S_OK;
  auto note = [&failure](win::HRESULT result) {
    if (win::FAILED(result) && win::SUCCEEDED(failure)) failure = result;
  };
  note(renderer_->Stop());
  TPinList pins(renderer_.Get());
  for (int index = 0; index < pins.GetCount(); ++index) note(pins.GetItem(index)->Disconnect());
  if (mode_ == vmVMR && vmr_options_->mode_ == vmrRenderless) allocator_.Reset();
  CheckDSResult(failure);
}

void TVideoWindow::ReleaseRendererInterfaces() {
  renderer_window_.Reset();
  windowless_.Reset();
  renderer_.Reset();
}

// --- graph events --------------------------------------------------------------------------

void TVideoWindow::ShowRendererWindowAsOwn() {
  if (!GetName().empty()) renderer_window_->put_Caption(win::Utf8ToUtf16(GetName()));
  renderer_window_->put_MessageDrain(reinterpret_cast<win::OAHWND>(GetHandle()));
}

void TVideoWindow::GraphEvent(win::LONG Event, win::LONG_PTR, win::LONG_PTR) {
  if (Event == win::EC_PALETTE_CHANGED && renderer_window_) {
    SetFullScreen(full_screen_);
    ShowRendererWindowAsOwn();
  } else if (Event == win::EC_VMR_RENDERDEVICE_SET && vmr_options_->mode_ == vmrWindowed && renderer_window_) {
    ShowRendererWindowAsOwn();
  }
}

void TVideoWindow::ControlEvent(TGraphControlEvent Event, win::LONG_PTR) {
  if (Event == gcPlay && RendererInputConnected()) {
    if (mode_ == vmNormal && renderer_window_) {
      SetFullScreen(full_screen_);
      ShowRendererWindowAsOwn();
    } else if (mode_ == vmVMR) {
      SetFullScreen(full_screen_);
    }
  } else if (Event == gcDVDRendered && mode_ == vmNormal) {
    AdoptGraphRenderer();
  }
}

// The DVD graph builder brings its own renderer when ours is not in the graph: take that one.
void TVideoWindow::AdoptGraphRenderer() {
  const win::ComPtr<win::IFilterGraph> graph = video::GraphWithoutOwnRenderer(renderer_.Get(), filter_graph_);
  if (!graph) return;
  TFilterList filters(graph.Get());
  for (int index = 0; index < filters.GetCount(); ++index) {
    win::ComPtr<win::IBaseFilter> filter = filters.GetItem(index);
    if (!video::IsFilterClass(filter.Get(), win::CLSID_VideoRenderer)) continue;
    ReleaseRendererInterfaces();
    renderer_ = filter;
    Ask(renderer_.Get(), renderer_window_);
    return;
  }
}

// --- placing the renderer's window ---------------------------------------------------------

win::HWND TVideoWindow::OwnerWindow() {
  if (owns_renderer_window_) return GetHandle();
  return GetParent() != nullptr ? GetParent()->GetHandle() : nullptr;
}

void TVideoWindow::PlaceRendererWindow() {
  if (owns_renderer_window_) {
    renderer_window_->SetWindowPosition(0, 0, GetWidth(), GetHeight());
  } else {
    renderer_window_->SetWindowPosition(GetLeft(), GetTop(), GetWidth(), GetHeight());
  }
}

void TVideoWindow::SetFullScreen(bool Value) {
  if (renderer_window_ && RendererInputConnected()) {
    if (Value) {
      CheckDSResult(renderer_window_->put_Owner(0));
      CheckDSResult(renderer_window_->put_WindowStyle(saved_style_ & ~kFullScreenDroppedStyle));
      const win::LONG top_most = full_screen_top_most_ ? static_cast<win::LONG>(win::WS_EX_TOPMOST) : 0;
      CheckDSResult(renderer_window_->put_WindowStyleEx((saved_ex_style_ & ~kFullScreenDroppedExStyle) | top_most));
      CheckDSResult(renderer_window_->SetWindowPosition(0, 0, win::GetSystemMetrics(win::SM_CXSCREEN),
                                                        win::GetSystemMetrics(win::SM_CYSCREEN)));
      full_screen_active_ = true;
    } else {
      CheckDSResult(renderer_window_->put_Owner(reinterpret_cast<win::OAHWND>(OwnerWindow())));
      CheckDSResult(renderer_window_->put_WindowStyle(
          saved_style_ | static_cast<win::LONG>(win::WS_CHILD | win::WS_CLIPSIBLINGS)));
      CheckDSResult(renderer_window_->put_WindowStyleEx(saved_ex_style_));
      if (owns_renderer_window_) {
        CheckDSResult(renderer_window_->SetWindowPosition(0, 0, GetWidth(), GetHeight()));
      } else {
        CheckDSResult(renderer_window_->SetWindowPosition(GetLeft(), GetTop(), GetWidth(), GetHeight()));
      }
      full_screen_active_ = false;
    }
  }
  if (windowless_) full_screen_active_ = false;
  full_screen_ = Value;
}

void TVideoWindow::SetFullScreenTopMost(bool Value) {
  full_screen_top_most_ = Value;
  if (full_screen_) SetFullScreen(true);
}

std::uintptr_t TVideoWindow::GetVideoHandle() {
  if (!renderer_window_) return reinterpret_cast<std::uintptr_t>(GetCanvas()->GetHandle());
  win::HWND parent = GetParent() != nullptr ? GetParent()->GetHandle() : nullptr;
  return reinterpret_cast<std::uintptr_t>(win::FindWindowExA(parent, nullptr, "VideoRenderer", GetName().c_str()));
}

void TVideoWindow::SetVisible(bool Value) {
  TCustomControl::SetVisible(Value);
  if (renderer_window_) CheckDSResult(renderer_window_->put_Visible(Value ? win::OATRUE : win::OAFALSE));
}

void TVideoWindow::Paint() {
  TCustomControl::Paint();
  if (OnPaint) OnPaint(this);
}

void TVideoWindow::Resize() {
  TCustomControl::Resize();
  const bool windowed = mode_ == vmNormal || vmr_options_->mode_ == vmrWindowed;
  if (windowed) {
    if (renderer_window_ && !full_screen_) PlaceRendererWindow();
  } else if (vmr_options_->mode_ == vmrWindowless && windowless_) {
    const win::RECT area{0, 0, GetWidth(), GetHeight()};
    windowless_->SetVideoPosition(nullptr, &area);
  }
}

void TVideoWindow::ConstrainedResize(int& MinWidth, int& MinHeight, int& MaxWidth, int& MaxHeight) {
  TCustomControl::ConstrainedResize(MinWidth, MinHeight, MaxWidth, MaxHeight);
  Resize();
}

void TVideoWindow::WndProc(TMessage& Message) {
  if (full_screen_ && Message.Msg == win::WM_CONTEXTMENU) {
    TPopupMenu* menu = GetPopupMenu();
    if (menu != nullptr && menu->GetAutoPopup()) {
      win::POINT cursor{};
      win::GetCursorPos(&cursor);
      menu->SetPopupComponent(this);
      menu->Popup(cursor.x, cursor.y);
    }
    Message.Result = 1;
    return;
  }
  TCustomControl::WndProc(Message);
}

win::POINT TVideoWindow::MousePoint(int X, int Y) const {
  if (!full_screen_active_) return win::POINT{X, Y};
  win::POINT cursor{};
  win::GetCursorPos(&cursor);
  return cursor;
}

void TVideoWindow::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const win::POINT at = MousePoint(X, Y);
  TCustomControl::MouseDown(Button, Shift, at.x, at.y);
}

void TVideoWindow::MouseMove(TShiftState Shift, int X, int Y) {
  const win::POINT at = MousePoint(X, Y);
  TCustomControl::MouseMove(Shift, at.x, at.y);
}

void TVideoWindow::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const win::POINT at = MousePoint(X, Y);
  TCustomControl::MouseUp(Button, Shift, at.x, at.y);
}

}  // namespace dashtune
