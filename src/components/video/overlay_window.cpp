#include "components/video/overlay_window.h"

#include <vector>

#include "classlib/forms.h"
#include "classlib/sysutils.h"
#include "components/video/ds_conversions.h"
#include "components/video/ds_util.h"
#include "components/video/linked_renderer.h"
#include "platform/com/com_init.h"
#include "platform/core/clock.h"
#include "platform/core/strings.h"
#include "platform/dshow/event_codes.h"
#include "platform/dshow/media_objects.h"
#include "platform/dshow/video_interfaces.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"
#include "platform/user/cursors.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"

namespace dashtune {

namespace {

using video::Ask;

constexpr win::WPARAM SC_SCREENSAVE = 0xF140;
constexpr win::WPARAM SC_MONITORPOWER = 0xF170;
constexpr win::DWORD kAllColorControls = 0x7F;

// The filter a pin belongs to (counted), or nil.
win::ComPtr<win::IBaseFilter> FilterOfPin(win::IPin* pin) {
  win::ComPtr<win::IBaseFilter> filter;
  win::PIN_INFO info;
  if (pin != nullptr && win::SUCCEEDED(pin->QueryPinInfo(&info))) filter.Attach(info.pFilter);
  return filter;
}

win::ComPtr<win::IPin> PeerOf(win::IPin* pin) {
  win::ComPtr<win::IPin> peer;
  if (pin != nullptr) pin->ConnectedTo(peer.ReleaseAndGetAddressOf());
  return peer;
}

win::PIN_DIRECTION DirectionOf(win::IPin* pin) {
  win::PIN_DIRECTION direction = win::PINDIR_INPUT;
  pin->QueryDirection(&direction);
  return direction;
}

std::string RangeMessage(const char* range) {
  return std::string("Value %d out of range. Value must bee between ") + range;
}

void CheckRange(int value, int low, int high, const char* range) {
  if (value < low || value > high) throw Exception(RangeMessage(range), {value});
}

}  // namespace

// --- the overlay mixer's callback ----------------------------------------------------------

class TOverlayCallback final : public win::IDDrawExclModeVideoCallback {
 public:
  explicit TOverlayCallback(TDSVideoWindowEx2* window) : window_(window) {}

  win::HRESULT QueryInterface(win::REFIID riid, void** ppv) override {
    if (ppv == nullptr) return win::E_POINTER;
    *ppv = nullptr;
    if (riid != win::IID_IUnknown && riid != win::IID_IDDrawExclModeVideoCallback) return win::E_NOINTERFACE;
    *ppv = static_cast<win::IDDrawExclModeVideoCallback*>(this);
    AddRef();
    return win::S_OK;
  }
  win::ULONG AddRef() override { return ++references_; }
  win::ULONG Release() override {
    const win::ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  win::HRESULT OnUpdateOverlay(win::BOOL, win::DWORD, win::BOOL, const win::RECT*, const win::RECT*, win::BOOL,
                               const win::RECT*, const win::RECT*) override {
    return win::S_OK;
  }
  win::HRESULT OnUpdateColorKey(const win::COLORKEY* key, win::DWORD) override {
    if (window_ == nullptr || key == nullptr) return win::S_OK;
    window_->color_key_ = key->HighColorValue;
    if (window_->OnColorKeyChanged) window_->OnColorKeyChanged(window_);
    return win::S_OK;
  }
  win::HRESULT OnUpdateSize(win::DWORD, win::DWORD, win::DWORD, win::DWORD) override {
    if (window_ == nullptr) return win::S_OK;
    window_->ComputeVideoRect();
    window_->RepaintVideo();
    return win::S_OK;
  }

  // A callback the window dropped does nothing any more.
  void Detach() { window_ = nullptr; }

 private:
  TDSVideoWindowEx2* window_;  // not owned; nil once dropped
  win::ULONG references_ = 1;
};

// --- colour control ------------------------------------------------------------------------

TColorControl::TColorControl(TDSVideoWindowEx2* AOwner) : owner_(AOwner) {}

win::ComPtr<win::IMixerPinConfig2> TColorControl::OverlayPin() const {
  win::ComPtr<win::IMixerPinConfig2> config;
  TFilterGraph* graph = owner_->filter_graph_;
  if (owner_->Designing() || graph == nullptr || !graph->GetActive()) return config;
  win::ComPtr<win::IFilterGraph> filters;
  if (win::FAILED(graph->QueryInterface(win::IID_IFilterGraph, reinterpret_cast<void**>(filters.ReleaseAndGetAddressOf())))) {
    return config;
  }
  // The last overlay mixer of the graph.
  win::ComPtr<win::IBaseFilter> mixer;
  TFilterList list(filters.Get());
  for (int index = 0; index < list.GetCount(); ++index) {
    win::ComPtr<win::IBaseFilter> filter = list.GetItem(index);
    if (video::IsFilterClass(filter.Get(), win::CLSID_OverlayMixer) || video::IsFilterClass(filter.Get(), win::CLSID_OverlayMixer2)) mixer = filter;
  }
  win::ComPtr<win::IEnumPins> pins;
  if (!mixer || win::FAILED(mixer->EnumPins(pins.ReleaseAndGetAddressOf()))) return config;
  win::IPin* pin = nullptr;
  while (pins->Next(1, &pin, nullptr) == win::S_OK) {
    win::ComPtr<win::IPin> held;
    held.Attach(pin);
    win::PIN_DIRECTION direction = win::PINDIR_OUTPUT;
    if (win::FAILED(held->QueryDirection(&direction))) return config;
    if (direction != win::PINDIR_INPUT) continue;
    Ask(held.Get(), config);
    return config;
  }
  return config;
}

void TColorControl::ReadDefaults() {
  win::ComPtr<win::IMixerPinConfig2> pin = OverlayPin();
  if (!pin) return;
  win::DDCOLORCONTROL record{};
  record.dwSize = sizeof record;
  if (win::SUCCEEDED(pin->GetOverlaySurfaceColorControls(&record))) device_ = record;
}

void TColorControl::Apply() {
  win::ComPtr<win::IMixerPinConfig2> pin = OverlayPin();
  if (!pin) return;
  win::DDCOLORCONTROL record{sizeof(win::DDCOLORCONTROL), kAllColorControls, brightness_, contrast_, hue_,
                             saturation_, sharpness_, gamma_, color_enable_ ? 1 : 0, 0};
  pin->SetOverlaySurfaceColorControls(&record);
}

void TColorControl::ReadCurrent() {
  win::ComPtr<win::IMixerPinConfig2> pin = OverlayPin();
  if (!pin) return;
  win::DDCOLORCONTROL record{};
  record.dwSize = sizeof record;
  if (win::FAILED(pin->GetOverlaySurfaceColorControls(&record))) {
    record = win::DDCOLORCONTROL{40, kAllColorControls, 750, 10000, 0, 10000, 5, 1, 1, 0};
  }
  brightness_ = record.lBrightness;
  contrast_ = record.lContrast;
  hue_ = record.lHue;
  saturation_ = record.lSaturation;
  sharpness_ = record.lSharpness;
  gamma_ = record.lGamma;
  color_enable_ = record.lColorEnable != 0;
}

void TColorControl::RestoreDefaults() {
  brightness_ = device_.lBrightness;
  contrast_ = device_.lContrast;
  hue_ = device_.lHue;
  saturation_ = device_.lSaturation;
  sharpness_ = device_.lSharpness;
  gamma_ = device_.lGamma;
  color_enable_ = device_.lColorEnable != 0;
  Apply();
}

template <class T>
void TColorControl::Set(T& field, T value) {
  field = value;
  Apply();
}

int TColorControl::GetBrightness() {
  ReadCurrent();
  return brightness_;
}
void TColorControl::SetBrightness(int Value) {
  CheckRange(Value, 0, 10000, "0 -> 10.000");
  Set(brightness_, Value);
}
int TColorControl::GetContrast() {
  ReadCurrent();
  return contrast_;
}
void TColorControl::SetContrast(int Value) {
  CheckRange(Value, 0, 20000, "0 -> 20.000");
  Set(contrast_, Value);
}
int TColorControl::GetHue() {
  ReadCurrent();
  return hue_;
}
void TColorControl::SetHue(int Value) {
  CheckRange(Value, -180, 180, "-180 -> 180");
  Set(hue_, Value);
}
int TColorControl::GetSaturation() {
  ReadCurrent();
  return saturation_;
}
void TColorControl::SetSaturation(int Value) {
  CheckRange(Value, 0, 20000, "0 -> 20.000");
  Set(saturation_, Value);
}
int TColorControl::GetSharpness() {
  ReadCurrent();
  return sharpness_;
}
void TColorControl::SetSharpness(int Value) {
  CheckRange(Value, 0, 10, "0 -> 10");
  Set(sharpness_, Value);
}
int TColorControl::GetGamma() {
  ReadCurrent();
  return gamma_;
}
void TColorControl::SetGamma(int Value) {
  CheckRange(Value, 1, 500, "1 -> 500");
  Set(gamma_, Value);
}
bool TColorControl::GetColorEnable() {
  ReadCurrent();
  return color_enable_;
}
void TColorControl::SetColorEnable(bool Value) { Set(color_enable_, Value); }

// --- capabilities --------------------------------------------------------------------------

TDSVideoWindowEx2Caps::TDSVideoWindowEx2Caps(TDSVideoWindowEx2* AOwner) : owner_(AOwner) {}

bool TDSVideoWindowEx2Caps::GetCanOverlayGraphic() const { return owner_->HoldsOverlayMixer(); }

bool TDSVideoWindowEx2Caps::Supports(win::DWORD flag) const {
  const TColorControl* colors = owner_->GetColorControl();
  return colors != nullptr && (colors->GetDeviceRecord().dwFlags & flag) != 0;
}

// --- the window ----------------------------------------------------------------------------

// The application's idle handler while this window's is installed; a named type, so the window
// can tell its own handler from one installed later.
struct TDSVideoWindowEx2::IdleHandler {
  TDSVideoWindowEx2* window;
  void operator()(TObject*, bool& Done) const { window->OnIdle(Done); }
};

TDSVideoWindowEx2::TDSVideoWindowEx2(TComponent* AOwner)
    : TLinkedVideoControl(AOwner),
      color_control_(std::make_unique<TColorControl>(this)),
      capabilities_(std::make_unique<TDSVideoWindowEx2Caps>(this)) {
  win::RegisterMediaGraphClasses();
  SetControlStyle(TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csDoubleClicks, csReflector});
  SetTabStop(true);
  SetBounds(GetLeft(), GetTop(), 320, 240);
  SetColor(clBlack);
  SetAspectRatio(rmLetterBox);
  SetDigitalZoom(0);
  if (Designing()) return;
  full_screen_form_ = std::make_unique<TForm>(nullptr);
  full_screen_form_->SetBorderStyle(bsNone);
  full_screen_form_->SetColor(GetColor());
  // The form closes only with the window.
  full_screen_form_->OnCloseQuery = [this](TObject*, bool& CanClose) {
    CanClose = GetComponentState().Contains(csDestroying);
  };
  if (Application != nullptr) Application->OnIdle = IdleHandler{this};
}

TDSVideoWindowEx2::~TDSVideoWindowEx2() {
  // The graph takes the renderer out while everything it touches is still held.
  SetFilterGraph(nullptr);
  DropCallback();
  excl_mode_.Reset();
  overlay_mixer_.Reset();
  renderer_window_.Reset();
  graph_renderer_.Reset();
  renderer_.Reset();
  // A handler installed after ours stays.
  if (Application != nullptr) {
    const IdleHandler* installed = Application->OnIdle.target<IdleHandler>();
    if (installed != nullptr && installed->window == this) Application->OnIdle = nullptr;
  }
  full_screen_form_.reset();
  capabilities_.reset();
  color_control_.reset();
}

void TDSVideoWindowEx2::Loaded() {
  TCustomControl::Loaded();
  saved_style_ = win::GetWindowLongA(GetHandle(), win::GWL_STYLE);
  saved_ex_style_ = win::GetWindowLongA(GetHandle(), win::GWL_EXSTYLE);
}

// --- joining and leaving the graph ---------------------------------------------------------

void TDSVideoWindowEx2::NotifyFilter(TLinkedFilterOperation operation, int) {
  switch (operation) {
    case lfAdding:
      insertion_tried_ = false;
      renderer_.Reset();
      win::CoCreateInstance(win::CLSID_VideoRenderer, nullptr, win::CLSCTX_INPROC_SERVER, win::IID_IBaseFilter,
                            reinterpret_cast<void**>(renderer_.ReleaseAndGetAddressOf()));
      break;
    case lfAdded:
      if (renderer_) Ask(renderer_.Get(), renderer_window_);
      break;
    case lfRemoving:
      // Only what is held is touched.
      if (overlay_mixer_) color_control_->RestoreDefaults();
      if (renderer_) renderer_->Stop();
      StopAndDisconnect(overlay_mixer_.Get(), false);
      StopAndDisconnect(renderer_.Get(), true);
      if (excl_mode_) excl_mode_->SetCallbackInterface(nullptr, 0);
      DropCallback();
      break;
    case lfRemoved:
      insertion_tried_ = false;
      excl_mode_.Reset();
      overlay_mixer_.Reset();
      graph_renderer_.Reset();
      renderer_window_.Reset();
      renderer_.Reset();
      overlay_active_ = false;
      overlay_visible_ = false;
      break;
  }
}

void TDSVideoWindowEx2::StopAndDisconnect(win::IBaseFilter* filter, bool stop) {
  if (filter == nullptr) return;
  if (stop) filter->Stop();
  TPinList pins(filter);
  for (int index = 0; index < pins.GetCount(); ++index) pins.GetItem(index)->Disconnect();
}

void TDSVideoWindowEx2::DropCallback() {
  if (overlay_callback_) overlay_callback_->Detach();
  overlay_callback_.Reset();
}

// --- graph events --------------------------------------------------------------------------

void TDSVideoWindowEx2::RunInsertion() {
  overlay_active_ = win::SUCCEEDED(InsertOverlay());
  if (overlay_active_) {
    color_control_->ReadDefaults();
    color_control_->Apply();
  }
  UpdateRendererWindow();
}

void TDSVideoWindowEx2::ControlEvent(TGraphControlEvent Event, win::LONG_PTR) {
  switch (Event) {
    case gcPlay:
    case gcPause:
      if (!insertion_tried_) RunInsertion();
      if (overlay_active_ && !overlay_visible_) {
        overlay_visible_ = true;
        if (OnOverlayVisible) OnOverlayVisible(this, true);
        RepaintVideo();
      }
      break;
    case gcStop:
      if (!insertion_tried_) RunInsertion();
      if (overlay_active_ && overlay_visible_) {
        overlay_visible_ = false;
        RepaintVideo();
        if (OnOverlayVisible) OnOverlayVisible(this, false);
      }
      break;
    case gcFileRendered:
      RunInsertion();
      break;
    case gcDVDRendered:
      AdoptDvdRenderer();
      break;
    default:
      break;
  }
}

// After a DVD render: a renderer of the DVD graph builder takes the place of ours, or ours joins
// a graph the builder gave a mixing renderer.
void TDSVideoWindowEx2::AdoptDvdRenderer() {
  const win::ComPtr<win::IFilterGraph> graph = video::GraphWithoutOwnRenderer(renderer_.Get(), filter_graph_);
  if (!graph) return;
  TFilterList filters(graph.Get());
  for (int index = 0; index < filters.GetCount(); ++index) {
    win::ComPtr<win::IBaseFilter> filter = filters.GetItem(index);
    if (video::IsFilterClass(filter.Get(), win::CLSID_VideoRenderer)) {
      renderer_window_.Reset();
      renderer_ = filter;
      Ask(renderer_.Get(), renderer_window_);
    } else if (video::IsFilterClass(filter.Get(), win::CLSID_VideoMixingRenderer)) {
      if (renderer_) graph->AddFilter(renderer_.Get(), win::Utf8ToUtf16(GetName()).c_str());
    } else {
      continue;
    }
    RunInsertion();
    return;
  }
}

void TDSVideoWindowEx2::GraphEvent(win::LONG Event, win::LONG_PTR, win::LONG_PTR) {
  if (Event == win::EC_PALETTE_CHANGED) {
    UpdateRendererWindow();
  } else if (Event == win::EC_CLOCK_CHANGED) {
    if (overlay_active_) RefreshColorKey();
    SetDigitalZoom(digital_zoom_);
    SetAspectRatio(aspect_ratio_);
    if (overlay_active_) RepaintVideo();
  }
}

void TDSVideoWindowEx2::UpdateRendererWindow() {
  if (!renderer_window_) return;
  const win::HWND parent = GetParent() != nullptr ? GetParent()->GetHandle() : nullptr;
  renderer_window_->put_Owner(reinterpret_cast<win::OAHWND>(parent));
  renderer_window_->put_WindowStyle(saved_style_ | static_cast<win::LONG>(win::WS_CHILD | win::WS_CLIPSIBLINGS));
  renderer_window_->put_WindowStyleEx(saved_ex_style_);
  renderer_window_->SetWindowPosition(GetLeft(), GetTop(), GetWidth(), GetHeight());
  if (!GetName().empty()) renderer_window_->put_Caption(win::Utf8ToUtf16(GetName()));
  renderer_window_->put_MessageDrain(reinterpret_cast<win::OAHWND>(GetHandle()));
  if (Application != nullptr) Application->ProcessMessages();
  renderer_window_->put_AutoShow(win::OATRUE);
}

win::ComPtr<win::IMixerPinConfig2> TDSVideoWindowEx2::FirstOverlayPinConfig() const {
  win::ComPtr<win::IMixerPinConfig2> config;
  if (!overlay_mixer_) return config;
  TPinList pins(overlay_mixer_.Get());
  if (pins.GetCount() > 0) Ask(pins.GetItem(0).Get(), config);
  return config;
}

// The renderer's window goes right behind the control; the overlay's colour key is read again.
void TDSVideoWindowEx2::RefreshColorKey() {
  const std::string& name = GetName();
  const win::HWND parent = GetParent() != nullptr ? GetParent()->GetHandle() : nullptr;
  win::HWND renderer = parent != nullptr ? win::FindWindowExA(parent, nullptr, "VideoRenderer", name.c_str()) : nullptr;
  if (renderer == nullptr) renderer = win::FindWindowExA(nullptr, nullptr, "VideoRenderer", name.c_str());
  if (renderer == nullptr) return;
  win::SetWindowPos(renderer, GetHandle(), 0, 0, 0, 0,
                    win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOACTIVATE | win::SWP_SHOWWINDOW | win::SWP_NOCOPYBITS);
  win::ComPtr<win::IMixerPinConfig2> config = FirstOverlayPinConfig();
  if (!config) return;
  win::COLORKEY key{win::CK_INDEX | win::CK_RGB, 0, 0x000F000F, 0x000F000F};
  win::DWORD color = 0;
  if (win::FAILED(config->GetColorKey(&key, &color))) return;
  color_key_ = key.HighColorValue;
  if (OnColorKeyChanged) OnColorKeyChanged(this);
}

// --- the overlay insertion -----------------------------------------------------------------

// The graph changes of one insertion, undone in reverse order when it fails.
class TDSVideoWindowEx2::Insertion {
 public:
  explicit Insertion(win::IGraphBuilder* builder) : builder_(builder) {}

  win::HRESULT Connect(win::IPin* out, win::IPin* in) {
    const win::HRESULT result = builder_->Connect(out, in);
    if (win::SUCCEEDED(result)) steps_.push_back({kConnected, win::ComPtr<win::IPin>(out), win::ComPtr<win::IPin>(in), {}});
    return result;
  }
  // Breaks the connection of an input pin at both ends; answers the output pin it came from.
  win::ComPtr<win::IPin> Break(win::IPin* in) {
    win::ComPtr<win::IPin> out = PeerOf(in);
    if (!out) return out;
    out->Disconnect();
    in->Disconnect();
    steps_.push_back({kBroken, out, win::ComPtr<win::IPin>(in), {}});
    return out;
  }
  win::HRESULT Add(win::IBaseFilter* filter, const char16_t* name) {
    const win::HRESULT result = builder_->AddFilter(filter, name);
    if (win::SUCCEEDED(result)) steps_.push_back({kAdded, {}, {}, win::ComPtr<win::IBaseFilter>(filter)});
    return result;
  }
  void Undo() {
    for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
      switch (step->kind) {
        case kConnected:
          step->out->Disconnect();
          step->in->Disconnect();
          break;
        case kBroken:
          builder_->Connect(step->out.Get(), step->in.Get());
          break;
        case kAdded:
          builder_->RemoveFilter(step->filter.Get());
          break;
      }
    }
    steps_.clear();
  }

 private:
  enum Kind { kConnected, kBroken, kAdded };
  struct Step {
    Kind kind;
    win::ComPtr<win::IPin> out;
    win::ComPtr<win::IPin> in;
    win::ComPtr<win::IBaseFilter> filter;
  };
  win::IGraphBuilder* builder_;
  std::vector<Step> steps_;
};

namespace {

// The first input pin of the filter that is not connected, or nil.
win::ComPtr<win::IPin> FreeInput(win::IBaseFilter* filter) {
  TPinList pins(filter);
  for (int index = 0; index < pins.GetCount(); ++index) {
    win::ComPtr<win::IPin> pin = pins.GetItem(index);
    if (DirectionOf(pin.Get()) == win::PINDIR_INPUT && !pins.Connected(index)) return pin;
  }
  return {};
}

win::ComPtr<win::IPin> PinAt(win::IBaseFilter* filter, int index) {
  TPinList pins(filter);
  return index < pins.GetCount() ? pins.GetItem(index) : win::ComPtr<win::IPin>();
}

// Whether one of the filter's pins of that direction is connected (to a pin of `peer_filter`
// when given).
bool HasConnected(win::IBaseFilter* filter, win::PIN_DIRECTION direction, win::IBaseFilter* peer_filter) {
  TPinList pins(filter);
  for (int index = 0; index < pins.GetCount(); ++index) {
    win::ComPtr<win::IPin> pin = pins.GetItem(index);
    if (DirectionOf(pin.Get()) != direction) continue;
    win::ComPtr<win::IPin> peer = PeerOf(pin.Get());
    if (!peer) continue;
    if (peer_filter == nullptr || FilterOfPin(peer.Get()).Get() == peer_filter) return true;
  }
  return false;
}

}  // namespace

win::HRESULT TDSVideoWindowEx2::InsertOverlay() {
  insertion_tried_ = true;
  overlay_mixer_.Reset();
  graph_renderer_.Reset();
  win::ComPtr<win::IBaseFilter> mixing_renderer;
  win::ComPtr<win::IGraphBuilder> builder;
  if (filter_graph_ == nullptr) return win::E_FAIL;
  const win::HRESULT asked =
      filter_graph_->QueryInterface(win::IID_IGraphBuilder, reinterpret_cast<void**>(builder.ReleaseAndGetAddressOf()));
  if (win::FAILED(asked)) return asked;
  {
    TFilterList filters(builder.Get());
    for (int index = 0; index < filters.GetCount(); ++index) {
      win::ComPtr<win::IBaseFilter> filter = filters.GetItem(index);
      if (video::IsFilterClass(filter.Get(), win::CLSID_OverlayMixer)) overlay_mixer_ = filter;
      if (video::IsFilterClass(filter.Get(), win::CLSID_VideoMixingRenderer)) mixing_renderer = filter;
      if (video::IsFilterClass(filter.Get(), win::CLSID_VideoRenderer)) graph_renderer_ = filter;
    }
  }
  win::ComPtr<win::IBaseFilter> replaced_decoder;
  if (overlay_mixer_) {
    // One already in the graph must be in use: feeding the renderer and fed itself.
    if (!graph_renderer_ || !HasConnected(overlay_mixer_.Get(), win::PINDIR_OUTPUT, graph_renderer_.Get()) ||
        !HasConnected(overlay_mixer_.Get(), win::PINDIR_INPUT, nullptr)) {
      return win::E_FAIL;
    }
    const win::HRESULT result = Ask(overlay_mixer_.Get(), excl_mode_);
    if (win::FAILED(result)) return result;
  } else {
    Insertion insertion(builder.Get());
    const win::HRESULT result = RouteThroughNewMixer(insertion, mixing_renderer.Get(), replaced_decoder);
    if (win::FAILED(result)) {
      insertion.Undo();
      overlay_mixer_.Reset();
      excl_mode_.Reset();
      if (mixing_renderer) {
        // The video stays with the mixing renderer: it is the graph's renderer again.
        if (renderer_) builder->RemoveFilter(renderer_.Get());
        graph_renderer_ = mixing_renderer;
        renderer_window_.Reset();
        Ask(mixing_renderer.Get(), renderer_window_);
      }
      return result;
    }
  }
  overlay_callback_.Attach(new TOverlayCallback(this));
  excl_mode_->SetCallbackInterface(overlay_callback_.Get(), 0);
  if (replaced_decoder) builder->RemoveFilter(replaced_decoder.Get());
  if (mixing_renderer) builder->RemoveFilter(mixing_renderer.Get());
  return win::S_OK;
}

// A new overlay mixer between the video's source and the graph's renderer (the line-21 stream
// of a DVD's mixing renderer through a new line-21 decoder into the mixer too).
win::HRESULT TDSVideoWindowEx2::RouteThroughNewMixer(Insertion& insertion, win::IBaseFilter* mixing_renderer,
                                                    win::ComPtr<win::IBaseFilter>& replaced_decoder) {
  win::ComPtr<win::IBaseFilter> mixer;
  win::HRESULT result = win::CoCreateInstance(win::CLSID_OverlayMixer, nullptr,
                                              win::CLSCTX_INPROC_SERVER | win::CLSCTX_INPROC_HANDLER,
                                              win::IID_IBaseFilter, reinterpret_cast<void**>(mixer.ReleaseAndGetAddressOf()));
  if (win::FAILED(result)) return result;
  result = insertion.Add(mixer.Get(), u"Overlay Mixer");
  if (win::FAILED(result)) return result;
  overlay_mixer_ = mixer;
  if (!graph_renderer_) return win::E_FAIL;
  win::ComPtr<win::IPin> renderer_input = PinAt(graph_renderer_.Get(), 0);
  if (!renderer_input || DirectionOf(renderer_input.Get()) != win::PINDIR_INPUT) return win::E_FAIL;
  if (mixing_renderer != nullptr) {
    std::vector<win::ComPtr<win::IPin>> sources;
    TPinList inputs(mixing_renderer);
    for (int index = 0; index < inputs.GetCount(); ++index) {
      win::ComPtr<win::IPin> pin = inputs.GetItem(index);
      if (DirectionOf(pin.Get()) != win::PINDIR_INPUT) continue;
      if (win::ComPtr<win::IPin> source = insertion.Break(pin.Get())) sources.push_back(source);
    }
    for (const win::ComPtr<win::IPin>& source : sources) {
      result = RouteSource(insertion, source.Get(), replaced_decoder);
      if (win::FAILED(result)) return result;
    }
  } else {
    win::ComPtr<win::IPin> source = insertion.Break(renderer_input.Get());
    if (!source) return win::VFW_E_NOT_CONNECTED;
    win::ComPtr<win::IPin> free = FreeInput(overlay_mixer_.Get());
    if (!free) return win::E_FAIL;
    result = insertion.Connect(source.Get(), free.Get());
    if (win::FAILED(result)) return result;
  }
  win::ComPtr<win::IPin> output;
  result = overlay_mixer_->FindPin(u"Output", output.ReleaseAndGetAddressOf());
  if (win::FAILED(result)) return result;
  result = insertion.Connect(output.Get(), renderer_input.Get());
  if (win::FAILED(result)) return result;
  return Ask(overlay_mixer_.Get(), excl_mode_);
}

// One stream the mixing renderer had into the next free input of the overlay mixer; a line-21
// stream through a new line-21 decoder.
win::HRESULT TDSVideoWindowEx2::RouteSource(Insertion& insertion, win::IPin* source,
                                           win::ComPtr<win::IBaseFilter>& replaced_decoder) {
  win::ComPtr<win::IPin> free = FreeInput(overlay_mixer_.Get());
  if (!free) return win::E_FAIL;
  win::ComPtr<win::IBaseFilter> source_filter = FilterOfPin(source);
  if (!video::IsFilterClass(source_filter.Get(), win::CLSID_Line21Decoder2)) return insertion.Connect(source, free.Get());
  win::ComPtr<win::IPin> old_input = PinAt(source_filter.Get(), 0);
  win::ComPtr<win::IPin> captions = old_input ? insertion.Break(old_input.Get()) : win::ComPtr<win::IPin>();
  win::ComPtr<win::IBaseFilter> decoder;
  win::HRESULT result = win::CoCreateInstance(win::CLSID_Line21Decoder, nullptr, win::CLSCTX_INPROC_SERVER,
                                              win::IID_IBaseFilter, reinterpret_cast<void**>(decoder.ReleaseAndGetAddressOf()));
  if (win::FAILED(result)) return result;
  result = insertion.Add(decoder.Get(), u"Line21 Decoder");
  if (win::FAILED(result)) return result;
  win::ComPtr<win::IPin> decoder_input = PinAt(decoder.Get(), 0);
  win::ComPtr<win::IPin> decoder_output = PinAt(decoder.Get(), 1);
  if (!captions || !decoder_input || !decoder_output) return win::E_FAIL;
  result = insertion.Connect(captions.Get(), decoder_input.Get());
  if (win::FAILED(result)) return result;
  result = insertion.Connect(decoder_output.Get(), free.Get());
  if (win::FAILED(result)) return result;
  replaced_decoder = source_filter;
  return win::S_OK;
}

// --- painting ------------------------------------------------------------------------------

win::HRESULT TDSVideoWindowEx2::ComputeVideoRect() {
  if (!renderer_window_ || !renderer_ || !excl_mode_ || !graph_renderer_ || !overlay_mixer_) return win::E_FAIL;
  const win::RECT client{0, 0, GetWidth(), GetHeight()};
  if (aspect_ratio_ != rmLetterBox) {
    video_rect_ = client;
    return win::S_OK;
  }
  win::DWORD width = 0, height = 0, aspect_width = 0, aspect_height = 0;
  const win::HRESULT result = excl_mode_->GetNativeVideoProps(&width, &height, &aspect_width, &aspect_height);
  if (win::FAILED(result)) return result;
  const win::RECT picture{0, 0, static_cast<win::LONG>(aspect_width), static_cast<win::LONG>(aspect_height)};
  video::FitRectKeepAspect(client, picture, video_rect_);
  return win::S_OK;
}

void TDSVideoWindowEx2::RepaintVideo() {
  if (GetComponentState().Contains(csDestroying) || !HandleAllocated()) return;
  Invalidate();
  Update();
}

void TDSVideoWindowEx2::Paint() {
  if (GetComponentState().Contains(csDestroying)) return;
  const int width = GetWidth();
  const int height = GetHeight();
  win::HDC target = GetCanvas()->GetHandle();
  const win::ScopedGdiObject<win::HDC> buffer(win::CreateCompatibleDC(target));
  const win::ScopedGdiObject<win::HBITMAP> bitmap(win::CreateCompatibleBitmap(target, width, height));
  if (!buffer || !bitmap) return;
  {
    const win::ScopedSelect selected(buffer.Get(), bitmap.Get());
    const win::RECT client{0, 0, width, height};
    const win::ScopedGdiObject<win::HBRUSH> background(win::CreateSolidBrush(ColorToRGB(GetColor())));
    win::FillRect(buffer.Get(), &client, background.Get());
    if (!Designing() && overlay_visible_ && win::SUCCEEDED(ComputeVideoRect())) {
      const win::ScopedGdiObject<win::HBRUSH> key(win::CreateSolidBrush(color_key_));
      win::FillRect(buffer.Get(), &video_rect_, key.Get());
    }
    win::BitBlt(target, 0, 0, width, height, buffer.Get(), 0, 0, win::SRCCOPY);
  }
  if (OnPaint) OnPaint(this);
}

void TDSVideoWindowEx2::Resize() {
  // The inherited handling (and OnResize) does not run.
  if (renderer_window_) renderer_window_->SetWindowPosition(GetLeft(), GetTop(), GetWidth(), GetHeight());
}

// --- zoom and aspect -----------------------------------------------------------------------

void TDSVideoWindowEx2::SetDigitalZoom(int Value) {
  CheckRange(Value, 0, 99, "0 -> 99");
  digital_zoom_ = Value;
  if (Designing() || !graph_renderer_) return;
  win::ComPtr<win::IBasicVideo2> basic;
  if (win::FAILED(Ask(graph_renderer_.Get(), basic))) return;
  basic->SetDefaultSourcePosition();
  win::LONG source_width = 0;
  win::LONG source_height = 0;
  basic->get_SourceWidth(&source_width);
  basic->get_SourceHeight(&source_height);
  // An empty source has no shape to keep.
  if (source_width == 0 || source_height == 0) return;
  const double full_width = source_width;
  const double full_height = source_height;
  const double width = full_width - Value * full_width / 100.0;
  const double height = width * full_height / full_width;
  basic->put_SourceWidth(static_cast<win::LONG>(width));
  basic->put_SourceHeight(static_cast<win::LONG>(height));
  basic->put_SourceLeft(static_cast<win::LONG>((full_width - width) / 2));
  basic->put_SourceTop(static_cast<win::LONG>((full_height - height) / 2));
}

void TDSVideoWindowEx2::SetAspectRatio(TRatioModes Value) {
  if (Designing() || !graph_renderer_ || !overlay_mixer_) {
    aspect_ratio_ = Value;
    return;
  }
  win::ComPtr<win::IMixerPinConfig2> config = FirstOverlayPinConfig();
  if (config && win::SUCCEEDED(config->SetAspectRatioMode(static_cast<win::AM_ASPECT_RATIO_MODE>(Value)))) {
    aspect_ratio_ = Value;
  }
  if (overlay_active_) RepaintVideo();
}

// --- messages, mouse and cursor ------------------------------------------------------------

void TDSVideoWindowEx2::WndProc(TMessage& Message) {
  if (!Designing()) {
    if (Message.Msg == win::WM_ERASEBKGND && overlay_active_) {
      Message.Result = -1;
      return;
    }
    const win::WPARAM command = Message.WParam & 0xFFF0;
    if (no_screen_saver_ && Message.Msg == win::WM_SYSCOMMAND && (command == SC_SCREENSAVE || command == SC_MONITORPOWER)) {
      Message.Result = 0;
      return;
    }
  }
  TCustomControl::WndProc(Message);
}

// Moves the pointer to where it is, so that a cursor change shows at once.
static void NudgePointer() {
  win::POINT at{};
  win::GetCursorPos(&at);
  win::SetCursorPos(at.x, at.y);
}

void TDSVideoWindowEx2::OnIdle(bool& Done) {
  Done = true;
  if (auto_hide_cursor_ == 0 || Designing() || !renderer_window_) return;
  if (win::GetTickCount() - last_activity_tick_ < static_cast<win::DWORD>(auto_hide_cursor_)) return;
  if (overlay_active_) {
    if (GetCursor() == crNone) return;
    saved_cursor_ = GetCursor();
    SetCursor(crNone);
  } else {
    win::LONG hidden = win::OAFALSE;
    if (win::FAILED(renderer_window_->IsCursorHidden(&hidden)) || hidden != win::OAFALSE) return;
    renderer_window_->HideCursor(win::OATRUE);
    renderer_cursor_hidden_ = true;
  }
  NudgePointer();
  if (OnCursorShowHide) OnCursorShowHide(this, false);
}

void TDSVideoWindowEx2::ShowCursorAgain() {
  if (!overlay_active_) {
    if (!renderer_cursor_hidden_ || !renderer_window_) return;
    renderer_window_->HideCursor(win::OAFALSE);
    renderer_cursor_hidden_ = false;
  } else {
    if (GetCursor() != crNone) return;
    SetCursor(saved_cursor_);
  }
  if (OnCursorShowHide) OnCursorShowHide(this, true);
}

void TDSVideoWindowEx2::MouseMove(TShiftState Shift, int X, int Y) {
  if (renderer_window_ && (X != last_mouse_pos_.x || Y != last_mouse_pos_.y)) {
    last_mouse_pos_ = win::POINT{X, Y};
    last_activity_tick_ = win::GetTickCount();
    ShowCursorAgain();
  }
  TCustomControl::MouseMove(Shift, X, Y);
}

void TDSVideoWindowEx2::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (renderer_window_ && (renderer_cursor_hidden_ || GetCursor() == crNone)) {
    ShowCursorAgain();
    last_mouse_pos_ = win::POINT{X, Y};
    last_activity_tick_ = win::GetTickCount();
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TDSVideoWindowEx2::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (renderer_window_ && (renderer_cursor_hidden_ || GetCursor() == crNone)) {
    ShowCursorAgain();
    last_mouse_pos_ = win::POINT{X, Y};
    last_activity_tick_ = win::GetTickCount();
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

}  // namespace dashtune
