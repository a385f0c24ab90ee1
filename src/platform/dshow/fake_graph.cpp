#include "platform/dshow/fake_graph.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/core/strings.h"
#include "platform/dshow/com_plumbing.h"
#include "platform/dshow/media_objects.h"
#include "platform/dshow/notify.h"
#include "platform/dshow/overlay_interfaces.h"
#include "platform/dshow/snapshot_enumerator.h"
#include "platform/dshow/video_interfaces.h"

namespace win::fake {

namespace {

FakeGraphScript* active_script = nullptr;

void LoadFpuControlWord(std::uint16_t word) {
#if defined(__x86_64__) || defined(__i386__)
  asm volatile("fnclex\n\tfldcw %0" : : "m"(word));
#else
  (void)word;
#endif
}

// A wide argument as the call log shows it.
std::string Logged(LPCWSTR text) { return text == nullptr ? std::string("(nil)") : Narrow(text); }

class FakeFilter;

class FakePin : public IPin {
 public:
  FakePin(FakeFilter* owner, std::string name, PIN_DIRECTION direction)
      : owner_(owner), name_(std::move(name)), direction_(direction) {}
  virtual ~FakePin() = default;

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  // A pin lives as long as its filter: counting goes to the filter.
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT ConnectedTo(IPin** pPin) override {
    if (pPin == nullptr) return E_POINTER;
    *pPin = peer_;
    if (peer_ == nullptr) return VFW_E_NOT_CONNECTED;
    peer_->AddRef();
    return S_OK;
  }
  HRESULT Disconnect() override;
  HRESULT QueryPinInfo(PIN_INFO* pInfo) override;
  HRESULT QueryDirection(PIN_DIRECTION* pPinDir) override {
    if (pPinDir == nullptr) return E_POINTER;
    *pPinDir = direction_;
    return S_OK;
  }
  HRESULT QueryId(std::u16string* id) override {
    if (id == nullptr) return E_POINTER;
    *id = Utf8ToUtf16(name_);
    return S_OK;
  }

  const std::string& name() const { return name_; }
  // "<filter>.<pin>" as the call log shows it.
  std::string Label() const;
  FakePin* peer_ = nullptr;

 private:
  FakeFilter* owner_;
  std::string name_;
  PIN_DIRECTION direction_;
};

class FakeGraph;

class FakeFilter : public IBaseFilter, public MediaObjectCount {
 public:
  FakeFilter(FakeGraphScript& script, std::string name, const CLSID& class_id = GUID_NULL)
      : script_(script), name_(std::move(name)), class_id_(class_id) {}
  ~FakeFilter() override {
    for (auto& pin : pins_) {
      if (pin->peer_ != nullptr && pin->peer_->peer_ == pin.get()) pin->peer_->peer_ = nullptr;
    }
  }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    return AnswerOwnInterface(static_cast<IBaseFilter*>(this), riid, ppv, {IID_IBaseFilter, IID_IMediaFilter, IID_IPersist});
  }
  // Logged as "Stop <name>"; answers the result scripted for "FilterStop".
  HRESULT Stop() override {
    script_.calls.push_back("Stop " + name_);
    return script_.ResultOf("FilterStop");
  }
  ULONG AddRef() override { return CountUp(); }
  ULONG Release() override { return CountDown(); }

  HRESULT GetClassID(CLSID* pClassID) override {
    if (pClassID == nullptr) return E_POINTER;
    *pClassID = class_id_;
    return S_OK;
  }
  HRESULT EnumPins(IEnumPins** ppEnum) override;
  HRESULT FindPin(LPCWSTR Id, IPin** ppPin) override {
    if (Id == nullptr || ppPin == nullptr) return E_POINTER;
    *ppPin = Pin(Utf16ToUtf8(Id));
    if (*ppPin == nullptr) return VFW_E_NOT_FOUND;
    (*ppPin)->AddRef();
    return S_OK;
  }
  HRESULT QueryFilterInfo(FILTER_INFO* pInfo) override;
  HRESULT JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) override {
    graph_ = pGraph;
    // A filter added under a name takes it, as the call log shows it.
    if (pGraph != nullptr && pName != nullptr && *pName != 0) name_ = Narrow(pName);
    return S_OK;
  }

  void AddPin(const std::string& name, PIN_DIRECTION direction) {
    pins_.push_back(std::make_unique<FakePin>(this, name, direction));
  }
  void AddPin(std::unique_ptr<FakePin> pin) { pins_.push_back(std::move(pin)); }
  FakePin* Pin(const std::string& name) {
    for (auto& pin : pins_) {
      if (pin->name() == name) return pin.get();
    }
    return nullptr;
  }

  FakeGraphScript& script_;
  std::string name_;
  CLSID class_id_;
  IFilterGraph* graph_ = nullptr;  // not counted: the graph clears it when the filter leaves
  std::vector<std::unique_ptr<FakePin>> pins_;
};

HRESULT FakePin::QueryInterface(REFIID riid, void** ppv) {
  return AnswerOwnInterface(static_cast<IPin*>(this), riid, ppv, {IID_IPin});
}
ULONG FakePin::AddRef() { return owner_->AddRef(); }
ULONG FakePin::Release() { return owner_->Release(); }

std::string FakePin::Label() const { return owner_->name_ + "." + name_; }

HRESULT FakePin::Disconnect() {
  owner_->script_.calls.push_back("Disconnect " + owner_->name_ + "." + name_);
  const HRESULT result = owner_->script_.ResultOf("Disconnect");
  if (FAILED(result)) return result;
  if (peer_ == nullptr) return S_FALSE;
  // Both ends let go, so that neither points at a pin that may go first.
  if (peer_->peer_ == this) peer_->peer_ = nullptr;
  peer_ = nullptr;
  return S_OK;
}

HRESULT FakePin::QueryPinInfo(PIN_INFO* pInfo) {
  if (pInfo == nullptr) return E_POINTER;
  *pInfo = PIN_INFO{};
  pInfo->pFilter = owner_;
  owner_->AddRef();
  pInfo->dir = direction_;
  CopyName(Utf8ToUtf16(name_), pInfo->achName);
  return S_OK;
}

HRESULT FakeFilter::EnumPins(IEnumPins** ppEnum) {
  if (ppEnum == nullptr) return E_POINTER;
  std::vector<ComPtr<IPin>> pins;
  for (auto& pin : pins_) pins.emplace_back(static_cast<IPin*>(pin.get()));
  *ppEnum = new SnapshotEnumerator<IPin, IEnumPins>(std::move(pins), IID_IEnumPins);
  return S_OK;
}

HRESULT FakeFilter::QueryFilterInfo(FILTER_INFO* pInfo) {
  if (pInfo == nullptr) return E_POINTER;
  *pInfo = FILTER_INFO{};
  CopyName(Utf8ToUtf16(name_), pInfo->achName);
  pInfo->pGraph = graph_;
  if (graph_ != nullptr) graph_->AddRef();
  return S_OK;
}

// A scripted video renderer: the classic renderer's window and source rectangle, and for the
// mixing renderer 9 its configuration, aspect-ratio, windowless and renderless interfaces. Every
// call is logged as "<method> <values>" and answers the result scripted under the method's name.
class FakeRenderer final : public FakeFilter,
                           public IVideoWindow,
                           public IBasicVideo2,
                           public IVMRFilterConfig9,
                           public IVMRAspectRatioControl9,
                           public IVMRWindowlessControl9,
                           public IVMRSurfaceAllocatorNotify9 {
 public:
  FakeRenderer(FakeGraphScript& script, const std::string& name, const CLSID& class_id)
      : FakeFilter(script, name, class_id), mixing_(class_id == CLSID_VideoMixingRenderer9) {
    AddPin(mixing_ ? "VMR Input0" : "In", PINDIR_INPUT);
  }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IVideoWindow && Shown("IVideoWindow")) {
      *ppv = static_cast<IVideoWindow*>(this);
    } else if (riid == IID_IBasicVideo2 && Shown("IBasicVideo2")) {
      *ppv = static_cast<IBasicVideo2*>(this);
    } else if (riid == IID_IVMRFilterConfig9 && mixing_ && Shown("IVMRFilterConfig9")) {
      *ppv = static_cast<IVMRFilterConfig9*>(this);
    } else if (riid == IID_IVMRAspectRatioControl9 && mixing_ && Shown("IVMRAspectRatioControl9")) {
      *ppv = static_cast<IVMRAspectRatioControl9*>(this);
    } else if (riid == IID_IVMRWindowlessControl9 && mixing_ && Shown("IVMRWindowlessControl9")) {
      *ppv = static_cast<IVMRWindowlessControl9*>(this);
    } else if (riid == IID_IVMRSurfaceAllocatorNotify9 && mixing_ && Shown("IVMRSurfaceAllocatorNotify9")) {
      *ppv = static_cast<IVMRSurfaceAllocatorNotify9*>(this);
    } else {
      return FakeFilter::QueryInterface(riid, ppv);
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return FakeFilter::AddRef(); }
  ULONG Release() override { return FakeFilter::Release(); }

  // IVideoWindow
  HRESULT put_Caption(const std::u16string& caption) override { return Log("put_Caption " + Utf16ToUtf8(caption)); }
  HRESULT get_Caption(std::u16string* caption) override { return caption == nullptr ? E_POINTER : E_NOTIMPL; }
  HRESULT put_WindowStyle(LONG style) override { return Log("put_WindowStyle " + Hex(style)); }
  HRESULT get_WindowStyle(LONG* style) override { return style == nullptr ? E_POINTER : E_NOTIMPL; }
  HRESULT put_WindowStyleEx(LONG style) override { return Log("put_WindowStyleEx " + Hex(style)); }
  HRESULT get_WindowStyleEx(LONG* style) override { return style == nullptr ? E_POINTER : E_NOTIMPL; }
  HRESULT put_AutoShow(LONG auto_show) override { return Log("put_AutoShow " + std::to_string(auto_show)); }
  HRESULT get_AutoShow(LONG* auto_show) override { return auto_show == nullptr ? E_POINTER : E_NOTIMPL; }
  HRESULT put_Visible(LONG visible) override { return Log("put_Visible " + std::to_string(visible)); }
  HRESULT get_Visible(LONG* visible) override { return visible == nullptr ? E_POINTER : E_NOTIMPL; }
  HRESULT put_Owner(OAHWND owner) override { return Log("put_Owner " + std::to_string(owner)); }
  HRESULT get_Owner(OAHWND* owner) override { return owner == nullptr ? E_POINTER : E_NOTIMPL; }
  HRESULT put_MessageDrain(OAHWND drain) override { return Log("put_MessageDrain " + std::to_string(drain)); }
  HRESULT get_MessageDrain(OAHWND* drain) override { return drain == nullptr ? E_POINTER : E_NOTIMPL; }
  HRESULT SetWindowPosition(LONG left, LONG top, LONG width, LONG height) override {
    return Log("SetWindowPosition " + Values({left, top, width, height}));
  }
  HRESULT GetWindowPosition(LONG*, LONG*, LONG*, LONG*) override { return E_NOTIMPL; }
  HRESULT HideCursor(LONG hide) override {
    const HRESULT result = Log("HideCursor " + std::to_string(hide));
    if (SUCCEEDED(result)) script_.renderer_cursor_hidden = hide != OAFALSE;
    return result;
  }
  HRESULT IsCursorHidden(LONG* hidden) override {
    if (hidden == nullptr) return E_POINTER;
    *hidden = script_.renderer_cursor_hidden ? OATRUE : OAFALSE;
    return script_.ResultOf("IsCursorHidden");
  }

  // IBasicVideo2: the source rectangle within the scripted native size.
  HRESULT get_VideoWidth(LONG* width) override { return Answer(width, script_.video_width, "get_VideoWidth"); }
  HRESULT get_VideoHeight(LONG* height) override { return Answer(height, script_.video_height, "get_VideoHeight"); }
  HRESULT put_SourceLeft(LONG left) override { return Store(&source_.left, left, "put_SourceLeft"); }
  HRESULT get_SourceLeft(LONG* left) override { return Answer(left, source_.left, "get_SourceLeft"); }
  HRESULT put_SourceTop(LONG top) override { return Store(&source_.top, top, "put_SourceTop"); }
  HRESULT get_SourceTop(LONG* top) override { return Answer(top, source_.top, "get_SourceTop"); }
  HRESULT put_SourceWidth(LONG width) override { return Store(&source_.right, width, "put_SourceWidth"); }
  HRESULT get_SourceWidth(LONG* width) override { return Answer(width, source_.right, "get_SourceWidth"); }
  HRESULT put_SourceHeight(LONG height) override { return Store(&source_.bottom, height, "put_SourceHeight"); }
  HRESULT get_SourceHeight(LONG* height) override { return Answer(height, source_.bottom, "get_SourceHeight"); }
  HRESULT SetDefaultSourcePosition() override {
    source_ = RECT{0, 0, script_.video_width, script_.video_height};  // left, top, width, height
    return Log("SetDefaultSourcePosition");
  }

  // IVMRFilterConfig9: streams and preferences are kept as the scripted renderer was told.
  HRESULT SetNumberOfStreams(DWORD count) override {
    const HRESULT result = Log("SetNumberOfStreams " + std::to_string(count));
    if (SUCCEEDED(result)) streams_ = count;
    return result;
  }
  HRESULT GetNumberOfStreams(DWORD* count) override { return Answer(count, streams_, "GetNumberOfStreams"); }
  HRESULT SetRenderingPrefs(DWORD prefs) override {
    const HRESULT result = Log("SetRenderingPrefs " + std::to_string(prefs));
    if (SUCCEEDED(result)) prefs_ = prefs & RenderPrefs9_Mask;
    return result;
  }
  HRESULT GetRenderingPrefs(DWORD* prefs) override { return Answer(prefs, prefs_, "GetRenderingPrefs"); }
  HRESULT SetRenderingMode(DWORD mode) override { return Log("SetRenderingMode " + std::to_string(mode)); }
  HRESULT GetRenderingMode(DWORD* mode) override { return mode == nullptr ? E_POINTER : E_NOTIMPL; }

  // IVMRAspectRatioControl9
  HRESULT GetAspectRatioMode(DWORD* mode) override { return mode == nullptr ? E_POINTER : E_NOTIMPL; }
  HRESULT SetAspectRatioMode(DWORD mode) override { return Log("SetAspectRatioMode " + std::to_string(mode)); }

  // IVMRWindowlessControl9
  HRESULT GetNativeVideoSize(LONG* width, LONG* height, LONG*, LONG*) override {
    if (width == nullptr || height == nullptr) return E_POINTER;
    *width = script_.video_width;
    *height = script_.video_height;
    return S_OK;
  }
  HRESULT SetVideoPosition(const RECT* source, const RECT* destination) override {
    return Log("SetVideoPosition " + RectText(source) + " " + RectText(destination));
  }
  HRESULT GetVideoPosition(RECT*, RECT*) override { return E_NOTIMPL; }
  HRESULT SetVideoClippingWindow(HWND window) override {
    return Log("SetVideoClippingWindow " + std::to_string(reinterpret_cast<std::uintptr_t>(window)));
  }
  HRESULT RepaintVideo(HWND, HDC) override { return Log("RepaintVideo"); }

  // IVMRSurfaceAllocatorNotify9
  HRESULT AdviseSurfaceAllocator(DWORD_PTR user_id, IVMRSurfaceAllocator9* allocator) override {
    if (allocator == nullptr) return E_POINTER;
    return Log("AdviseSurfaceAllocator " + std::to_string(user_id));
  }

 private:
  bool Shown(const char* name) const { return script_.hidden.count(name) == 0; }
  HRESULT Log(const std::string& call) {
    script_.calls.push_back(call);
    return script_.ResultOf(call.substr(0, call.find(' ')));
  }
  template <class T>
  HRESULT Answer(T* target, T value, const char* method) {
    if (target == nullptr) return E_POINTER;
    const HRESULT result = script_.ResultOf(method);
    if (SUCCEEDED(result)) *target = value;
    return result;
  }
  HRESULT Store(LONG* field, LONG value, const char* method) {
    const HRESULT result = Log(std::string(method) + " " + std::to_string(value));
    if (SUCCEEDED(result)) *field = value;
    return result;
  }
  static std::string Hex(LONG value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
    return text;
  }
  static std::string Values(std::initializer_list<LONG> values) {
    std::string text;
    for (LONG value : values) text += (text.empty() ? "" : " ") + std::to_string(value);
    return text;
  }
  static std::string RectText(const RECT* rect) {
    return rect == nullptr ? "nil" : Values({rect->left, rect->top, rect->right, rect->bottom});
  }

  bool mixing_;
  RECT source_{0, 0, script_.video_width, script_.video_height};  // left, top, width, height
  DWORD streams_ = 1;
  DWORD prefs_ = 0;
};

// The scripted overlay mixer's first input pin: colour key, aspect-ratio mode and the overlay
// surface's colour controls, kept in the script.
class FakeMixerPin final : public FakePin, public IMixerPinConfig2 {
 public:
  FakeMixerPin(FakeFilter* owner, FakeGraphScript& script) : FakePin(owner, "Input0", PINDIR_INPUT), script_(script) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IMixerPinConfig2 && script_.hidden.count("IMixerPinConfig2") == 0) {
      *ppv = static_cast<IMixerPinConfig2*>(this);
      AddRef();
      return S_OK;
    }
    return FakePin::QueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return FakePin::AddRef(); }
  ULONG Release() override { return FakePin::Release(); }

  HRESULT SetColorKey(COLORKEY* key) override {
    if (key == nullptr) return E_POINTER;
    script_.calls.push_back("SetColorKey");
    script_.overlay_color_key = *key;
    return script_.ResultOf("SetColorKey");
  }
  HRESULT GetColorKey(COLORKEY* key, DWORD* color) override {
    script_.calls.push_back("GetColorKey");
    const HRESULT result = script_.ResultOf("GetColorKey");
    if (FAILED(result)) return result;
    if (key != nullptr) *key = script_.overlay_color_key;
    if (color != nullptr) *color = script_.overlay_color_key.HighColorValue;
    return result;
  }
  HRESULT SetAspectRatioMode(AM_ASPECT_RATIO_MODE mode) override {
    script_.calls.push_back("SetAspectRatioMode " + std::to_string(mode));
    return script_.ResultOf("SetAspectRatioMode");
  }
  HRESULT GetAspectRatioMode(AM_ASPECT_RATIO_MODE* mode) override { return mode == nullptr ? E_POINTER : E_NOTIMPL; }
  // Logged as "SetOverlaySurfaceColorControls <flags> <seven values>".
  HRESULT SetOverlaySurfaceColorControls(DDCOLORCONTROL* controls) override {
    if (controls == nullptr) return E_POINTER;
    char text[160];
    std::snprintf(text, sizeof text, "SetOverlaySurfaceColorControls %X %ld %ld %ld %ld %ld %ld %ld",
                  static_cast<unsigned>(controls->dwFlags), static_cast<long>(controls->lBrightness),
                  static_cast<long>(controls->lContrast), static_cast<long>(controls->lHue),
                  static_cast<long>(controls->lSaturation), static_cast<long>(controls->lSharpness),
                  static_cast<long>(controls->lGamma), static_cast<long>(controls->lColorEnable));
    script_.calls.push_back(text);
    const HRESULT result = script_.ResultOf("SetOverlaySurfaceColorControls");
    if (SUCCEEDED(result)) script_.overlay_colors = *controls;
    return result;
  }
  HRESULT GetOverlaySurfaceColorControls(DDCOLORCONTROL* controls) override {
    if (controls == nullptr) return E_POINTER;
    const HRESULT result = script_.ResultOf("GetOverlaySurfaceColorControls");
    if (SUCCEEDED(result)) *controls = script_.overlay_colors;
    return result;
  }

 private:
  FakeGraphScript& script_;
};

// The scripted overlay mixer: inputs "Input0" (with IMixerPinConfig2) and "Input1", output
// "Output", and the exclusive-mode interface answering the scripted native video properties.
class FakeOverlayMixer final : public FakeFilter, public IDDrawExclModeVideo {
 public:
  explicit FakeOverlayMixer(FakeGraphScript& script) : FakeFilter(script, "OverlayMixer", CLSID_OverlayMixer) {
    AddPin(std::make_unique<FakeMixerPin>(this, script));
    AddPin("Input1", PINDIR_INPUT);
    AddPin("Output", PINDIR_OUTPUT);
  }
  ~FakeOverlayMixer() override {
    if (script_.overlay_callback == callback_.Get()) script_.overlay_callback = nullptr;
  }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IDDrawExclModeVideo && script_.hidden.count("IDDrawExclModeVideo") == 0) {
      *ppv = static_cast<IDDrawExclModeVideo*>(this);
      AddRef();
      return S_OK;
    }
    return FakeFilter::QueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return FakeFilter::AddRef(); }
  ULONG Release() override { return FakeFilter::Release(); }

  HRESULT GetNativeVideoProps(DWORD* width, DWORD* height, DWORD* aspect_width, DWORD* aspect_height) override {
    if (width == nullptr || height == nullptr || aspect_width == nullptr || aspect_height == nullptr) return E_POINTER;
    const HRESULT result = script_.ResultOf("GetNativeVideoProps");
    if (FAILED(result)) return result;
    *width = static_cast<DWORD>(script_.video_width);
    *height = static_cast<DWORD>(script_.video_height);
    *aspect_width = script_.aspect_width;
    *aspect_height = script_.aspect_height;
    return result;
  }
  // Logged as "SetCallbackInterface <set|nil> <flags>"; the script keeps the callback.
  HRESULT SetCallbackInterface(IDDrawExclModeVideoCallback* callback, DWORD flags) override {
    script_.calls.push_back(std::string("SetCallbackInterface ") + (callback != nullptr ? "set " : "nil ") +
                            std::to_string(flags));
    const HRESULT result = script_.ResultOf("SetCallbackInterface");
    if (FAILED(result)) return result;
    callback_ = ComPtr<IDDrawExclModeVideoCallback>(callback);
    script_.overlay_callback = callback;
    return result;
  }

 private:
  ComPtr<IDDrawExclModeVideoCallback> callback_;
};

// The fake graph: each call is recorded and answers the scripted result.
class FakeGraph final : public IFilterGraph2,
                        public IMediaControl,
                        public IMediaEventEx,
                        public IMediaSeeking,
                        public IBasicAudio,
                        public IObjectWithSite,
                        public IServiceProvider,
                        public MediaObjectCount {
 public:
  explicit FakeGraph(FakeGraphScript& script) : script_(script) {}
  ~FakeGraph() override {
    for (auto& filter : filters_) filter->JoinFilterGraph(nullptr, nullptr);
    if (script_.site == site_.Get()) script_.site = nullptr;
  }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    return AnswerGraphInterface(this, riid, ppv, [this](const char* name) { return Shown(name); });
  }
  ULONG AddRef() override { return CountUp(); }
  ULONG Release() override { return CountDown(); }

  HRESULT AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override {
    script_.calls.push_back("AddFilter " + Logged(pName));
    if (pFilter == nullptr) return E_POINTER;
    const HRESULT result = script_.ResultOf("AddFilter");
    if (FAILED(result)) return result;
    filters_.emplace_back(pFilter);
    pFilter->JoinFilterGraph(this, pName);
    return result;
  }
  HRESULT RemoveFilter(IBaseFilter* pFilter) override {
    script_.calls.push_back("RemoveFilter " + NameOf(pFilter));
    const HRESULT result = script_.ResultOf("RemoveFilter");
    if (FAILED(result)) return result;
    auto found = std::find_if(filters_.begin(), filters_.end(),
                              [pFilter](const ComPtr<IBaseFilter>& item) { return item.Get() == pFilter; });
    if (found == filters_.end()) return VFW_E_NOT_FOUND;
    pFilter->JoinFilterGraph(nullptr, nullptr);
    filters_.erase(found);
    return result;
  }
  HRESULT EnumFilters(IEnumFilters** ppEnum) override {
    if (ppEnum == nullptr) return E_POINTER;
    *ppEnum = new SnapshotEnumerator<IBaseFilter, IEnumFilters>(filters_, IID_IEnumFilters);
    return S_OK;
  }
  HRESULT FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override {
    if (pName == nullptr || ppFilter == nullptr) return E_POINTER;
    *ppFilter = nullptr;
    for (auto& filter : filters_) {
      if (NameOf(filter.Get()) == Utf16ToUtf8(pName)) {
        *ppFilter = filter.Get();
        filter->AddRef();
        return S_OK;
      }
    }
    return VFW_E_NOT_FOUND;
  }
  HRESULT Disconnect(IPin* ppin) override { return ppin == nullptr ? E_POINTER : ppin->Disconnect(); }
  // Joins two fake pins: logged as "Connect <filter>.<pin> <filter>.<pin>"; the call numbered
  // connect_failing_at fails with E_FAIL.
  HRESULT Connect(IPin* ppinOut, IPin* ppinIn) override {
    auto* out = dynamic_cast<FakePin*>(ppinOut);
    auto* in = dynamic_cast<FakePin*>(ppinIn);
    if (out == nullptr || in == nullptr) return E_INVALIDARG;
    script_.calls.push_back("Connect " + out->Label() + " " + in->Label());
    if (++script_.connects == script_.connect_failing_at) return E_FAIL;
    const HRESULT result = script_.ResultOf("Connect");
    if (FAILED(result)) return result;
    if (out->peer_ != nullptr || in->peer_ != nullptr) return VFW_E_ALREADY_CONNECTED;
    out->peer_ = in;
    in->peer_ = out;
    return result;
  }
  HRESULT RenderFile(LPCWSTR lpcwstrFile, LPCWSTR) override {
    script_.calls.push_back("RenderFile " + Logged(lpcwstrFile));
    return script_.ResultOf("RenderFile");
  }
  HRESULT SetLogFile(DWORD_PTR hFile) override {
    script_.calls.push_back(hFile == 0 ? "SetLogFile 0" : "SetLogFile handle");
    return script_.ResultOf("SetLogFile");
  }

  HRESULT Run() override {
    const HRESULT result = Record("Run");
    if (SUCCEEDED(result)) script_.state = State_Running;
    return result;
  }
  HRESULT Pause() override {
    const HRESULT result = Record("Pause");
    if (SUCCEEDED(result)) script_.state = State_Paused;
    return result;
  }
  HRESULT Stop() override {
    const HRESULT result = Record("Stop");
    if (SUCCEEDED(result)) script_.state = State_Stopped;
    return result;
  }
  HRESULT GetState(LONG msTimeout, OAFilterState* pfs) override {
    script_.calls.push_back("GetState " + std::to_string(msTimeout));
    if (pfs == nullptr) return E_POINTER;
    *pfs = script_.state;
    return script_.ResultOf("GetState");
  }

  HRESULT GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, LONG) override {
    if (lEventCode == nullptr || lParam1 == nullptr || lParam2 == nullptr) return E_POINTER;
    if (script_.events.empty()) return E_ABORT;
    const std::vector<LONG_PTR> event = script_.events.front();
    script_.events.pop_front();
    *lEventCode = static_cast<LONG>(event[0]);
    *lParam1 = event[1];
    *lParam2 = event[2];
    return S_OK;
  }
  HRESULT FreeEventParams(LONG, LONG_PTR, LONG_PTR) override {
    ++script_.freed_events;
    return S_OK;
  }
  HRESULT SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData) override {
    script_.calls.push_back("SetNotifyWindow " + std::to_string(lMsg));
    script_.notify_window = hwnd;
    script_.notify_message = lMsg;
    script_.notify_instance = lInstanceData;
    return S_OK;
  }
  HRESULT SetNotifyFlags(LONG lNoNotifyFlags) override {
    script_.calls.push_back("SetNotifyFlags " + std::to_string(lNoNotifyFlags));
    script_.notify_flags = lNoNotifyFlags;
    return S_OK;
  }
  HRESULT GetNotifyFlags(LONG* flags) override {
    if (flags == nullptr) return E_POINTER;
    *flags = script_.notify_flags;
    return S_OK;
  }

  HRESULT GetDuration(LONGLONG* pDuration) override {
    if (pDuration == nullptr) return E_POINTER;
    *pDuration = script_.duration;
    return Record("GetDuration");
  }
  HRESULT GetCurrentPosition(LONGLONG* pCurrent) override {
    if (pCurrent == nullptr) return E_POINTER;
    *pCurrent = script_.current_position;
    return Record("GetCurrentPosition");
  }
  HRESULT GetStopPosition(LONGLONG* pStop) override {
    if (pStop == nullptr) return E_POINTER;
    *pStop = script_.stop_position < 0 ? script_.duration : script_.stop_position;
    return Record("GetStopPosition");
  }
  // Logged as "SetPositions <current> <flags> <stop> <flags>", "nil" for a missing value.
  HRESULT SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop, DWORD dwStopFlags) override {
    const auto shown = [](const LONGLONG* value) { return value == nullptr ? std::string("nil") : std::to_string(*value); };
    script_.calls.push_back("SetPositions " + shown(pCurrent) + " " + std::to_string(dwCurrentFlags) + " " +
                            shown(pStop) + " " + std::to_string(dwStopFlags));
    const HRESULT result = script_.ResultOf("SetPositions");
    if (FAILED(result)) return result;
    if (pCurrent != nullptr && (dwCurrentFlags & AM_SEEKING_PositioningBitsMask) == AM_SEEKING_AbsolutePositioning) {
      script_.current_position = *pCurrent;
    }
    if (pStop != nullptr && (dwStopFlags & AM_SEEKING_PositioningBitsMask) == AM_SEEKING_AbsolutePositioning) {
      script_.stop_position = *pStop;
    }
    return result;
  }
  HRESULT IsUsingTimeFormat(const GUID* pFormat) override {
    if (pFormat == nullptr) return E_POINTER;
    script_.calls.push_back("IsUsingTimeFormat");
    return *pFormat == TIME_FORMAT_MEDIA_TIME && script_.media_time_format ? S_OK : S_FALSE;
  }
  HRESULT SetRate(double dRate) override {
    char text[48];
    std::snprintf(text, sizeof text, "SetRate %g", dRate);
    script_.calls.push_back(text);
    return script_.ResultOf("SetRate");
  }
  HRESULT GetRate(double* pdRate) override {
    if (pdRate == nullptr) return E_POINTER;
    *pdRate = 1.0;
    return S_OK;
  }

  HRESULT put_Volume(LONG lVolume) override {
    script_.calls.push_back("put_Volume " + std::to_string(lVolume));
    return script_.ResultOf("put_Volume");
  }
  HRESULT get_Volume(LONG* plVolume) override { return plVolume == nullptr ? E_POINTER : E_NOTIMPL; }
  HRESULT put_Balance(LONG lBalance) override {
    script_.calls.push_back("put_Balance " + std::to_string(lBalance));
    return script_.ResultOf("put_Balance");
  }
  HRESULT get_Balance(LONG* plBalance) override { return plBalance == nullptr ? E_POINTER : E_NOTIMPL; }

  HRESULT SetSite(IUnknown* pUnkSite) override {
    script_.calls.push_back(pUnkSite == nullptr ? "SetSite nil" : "SetSite");
    site_ = ComPtr<IUnknown>(pUnkSite);
    script_.site = pUnkSite;
    return S_OK;
  }
  HRESULT GetSite(REFIID riid, void** ppvSite) override { return GetKeptSite(site_, riid, ppvSite); }
  HRESULT QueryService(REFGUID guidService, REFIID riid, void** ppvObject) override {
    return QueryKeptSiteService(site_, guidService, riid, ppvObject);
  }

 private:
  bool Shown(const char* name) const { return script_.hidden.count(name) == 0; }
  HRESULT Record(const std::string& method) {
    script_.calls.push_back(method);
    return script_.ResultOf(method);
  }
  static std::string NameOf(IBaseFilter* filter) {
    if (filter == nullptr) return "(nil)";
    FILTER_INFO info;
    if (FAILED(filter->QueryFilterInfo(&info))) return "(unnamed)";
    if (info.pGraph != nullptr) info.pGraph->Release();
    return Utf16ToUtf8(info.achName);
  }

  FakeGraphScript& script_;
  std::vector<ComPtr<IBaseFilter>> filters_;
  ComPtr<IUnknown> site_;
};

class FakeCaptureBuilder final : public ICaptureGraphBuilder2, public MediaObjectCount {
 public:
  explicit FakeCaptureBuilder(FakeGraphScript& script) : script_(script) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    return AnswerOwnInterface(static_cast<ICaptureGraphBuilder2*>(this), riid, ppv, {IID_ICaptureGraphBuilder2});
  }
  ULONG AddRef() override { return CountUp(); }
  ULONG Release() override { return CountDown(); }
  HRESULT SetFiltergraph(IGraphBuilder* pfg) override {
    script_.calls.push_back("SetFiltergraph");
    graph_ = ComPtr<IGraphBuilder>(pfg);
    return S_OK;
  }
  HRESULT GetFiltergraph(IGraphBuilder** ppfg) override {
    if (ppfg == nullptr) return E_POINTER;
    *ppfg = graph_.Get();
    if (*ppfg != nullptr) (*ppfg)->AddRef();
    return graph_ ? S_OK : E_UNEXPECTED;
  }

 private:
  FakeGraphScript& script_;
  ComPtr<IGraphBuilder> graph_;
};

class FakeDvdBuilder final : public IDvdGraphBuilder, public IDvdControl2, public IDvdInfo2, public MediaObjectCount {
 public:
  explicit FakeDvdBuilder(FakeGraphScript& script) : script_(script), graph_(new FakeGraph(script)) {}
  ~FakeDvdBuilder() override { graph_->Release(); }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    return AnswerOwnInterface(static_cast<IDvdGraphBuilder*>(this), riid, ppv, {IID_IDvdGraphBuilder});
  }
  ULONG AddRef() override { return CountUp(); }
  ULONG Release() override { return CountDown(); }

  HRESULT GetFiltergraph(IGraphBuilder** ppGB) override {
    if (ppGB == nullptr) return E_POINTER;
    script_.calls.push_back("GetFiltergraph");
    *ppGB = static_cast<IFilterGraph2*>(graph_);
    graph_->AddRef();
    return S_OK;
  }
  HRESULT GetDvdInterface(REFIID riid, void** ppvIF) override {
    if (ppvIF == nullptr) return E_POINTER;
    *ppvIF = nullptr;
    if (riid == IID_IDvdControl2 && script_.hidden.count("IDvdControl2") == 0) {
      *ppvIF = static_cast<IDvdControl2*>(this);
    } else if (riid == IID_IDvdInfo2 && script_.hidden.count("IDvdInfo2") == 0) {
      *ppvIF = static_cast<IDvdInfo2*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  HRESULT RenderDvdVideoVolume(LPCWSTR path, DWORD dwFlags, AM_DVD_RENDERSTATUS* pStatus) override {
    script_.calls.push_back("RenderDvdVideoVolume " + Logged(path) + " " + std::to_string(dwFlags));
    if (pStatus != nullptr) *pStatus = AM_DVD_RENDERSTATUS{};
    return script_.ResultOf("RenderDvdVideoVolume");
  }
  HRESULT SetOption(DVD_OPTION_FLAG flag, BOOL state) override {
    script_.calls.push_back("SetOption " + std::to_string(flag) + " " + std::to_string(state));
    return S_OK;
  }
  // Logged as "PlayAtTime h:m:s.f flags".
  HRESULT PlayAtTime(DVD_HMSF_TIMECODE* pTime, DWORD dwFlags, IDvdCmd** ppCmd) override {
    if (ppCmd != nullptr) *ppCmd = nullptr;
    if (pTime == nullptr) return E_POINTER;
    char text[64];
    std::snprintf(text, sizeof text, "PlayAtTime %d:%d:%d.%d %u", pTime->bHours, pTime->bMinutes, pTime->bSeconds,
                  pTime->bFrames, static_cast<unsigned>(dwFlags));
    script_.calls.push_back(text);
    return script_.ResultOf("PlayAtTime");
  }
  HRESULT GetTotalTitleTime(DVD_HMSF_TIMECODE* time, ULONG*) override {
    if (time == nullptr) return E_POINTER;
    script_.calls.push_back("GetTotalTitleTime");
    *time = script_.total_title_time;
    return script_.ResultOf("GetTotalTitleTime");
  }
  HRESULT GetAudioLanguage(ULONG stream, LCID* language) override {
    script_.calls.push_back("GetAudioLanguage " + std::to_string(stream));
    if (language == nullptr) return E_POINTER;
    *language = script_.audio_language;
    return script_.ResultOf("GetAudioLanguage");
  }
  HRESULT GetSubpictureLanguage(ULONG stream, LCID* language) override {
    script_.calls.push_back("GetSubpictureLanguage " + std::to_string(stream));
    if (language == nullptr) return E_POINTER;
    *language = script_.subpicture_language;
    return script_.ResultOf("GetSubpictureLanguage");
  }

 private:
  FakeGraphScript& script_;
  FakeGraph* graph_;
};

}  // namespace

HRESULT FakeGraphScript::ResultOf(const std::string& method) const {
  auto found = results.find(method);
  return found == results.end() ? S_OK : found->second;
}

void FakeGraphScript::Fire(LONG code, LONG_PTR param1, LONG_PTR param2) {
  events.push_back({code, param1, param2});
  if (notify_window != 0 && notify_flags == 0) PostGraphNotification(notify_window, notify_message, notify_instance);
}

std::vector<std::string> FakeGraphScript::CallsStartingWith(const std::string& prefix) const {
  std::vector<std::string> matching;
  for (const std::string& call : calls) {
    if (call.rfind(prefix, 0) == 0) matching.push_back(call);
  }
  return matching;
}

ScopedFakeMediaGraph::ScopedFakeMediaGraph() {
  RegisterMediaGraphClasses();
  active_script = &script_;
}

ScopedFakeMediaGraph::~ScopedFakeMediaGraph() { active_script = nullptr; }

FakeGraphScript* ActiveScript() { return active_script; }

IBaseFilter* CreateFakeFilter(FakeGraphScript& script, const std::string& name,
                              const std::vector<std::pair<std::string, PIN_DIRECTION>>& pins, const CLSID& class_id) {
  auto* filter = new FakeFilter(script, name, class_id);
  for (const auto& [pin_name, direction] : pins) filter->AddPin(pin_name, direction);
  return filter;
}

void ConnectFakePins(IBaseFilter* output_filter, const std::string& output_pin, IBaseFilter* input_filter,
                     const std::string& input_pin) {
  FakePin* out = static_cast<FakeFilter*>(output_filter)->Pin(output_pin);
  FakePin* in = static_cast<FakeFilter*>(input_filter)->Pin(input_pin);
  if (out == nullptr || in == nullptr) return;
  out->peer_ = in;
  in->peer_ = out;
}

HRESULT CreateFakeVideoRenderer(FakeGraphScript& script, const CLSID& class_id, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  const bool mixing = class_id == CLSID_VideoMixingRenderer9;
  const char* name = mixing ? "VideoMixingRenderer9" : "VideoRenderer";
  if (script.uncreatable.count(name) != 0) return REGDB_E_CLASSNOTREG;
  script.calls.push_back(std::string("Create ") + name);
  if (mixing && script.fpu_word_on_create != 0) LoadFpuControlWord(script.fpu_word_on_create);
  return AnswerNewObject(static_cast<IBaseFilter*>(new FakeRenderer(script, name, class_id)), riid, ppv);
}

HRESULT CreateFakeOverlayFilter(FakeGraphScript& script, const CLSID& class_id, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  const char* name = class_id == CLSID_OverlayMixer ? "OverlayMixer"
                     : class_id == CLSID_Line21Decoder ? "Line21Decoder"
                                                         : "Line21Decoder2";
  if (script.uncreatable.count(name) != 0) return REGDB_E_CLASSNOTREG;
  script.calls.push_back(std::string("Create ") + name);
  if (class_id == CLSID_OverlayMixer) return AnswerNewObject(static_cast<IBaseFilter*>(new FakeOverlayMixer(script)), riid, ppv);
  auto* decoder = new FakeFilter(script, name, class_id);
  decoder->AddPin("In", PINDIR_INPUT);
  decoder->AddPin("Out", PINDIR_OUTPUT);
  return AnswerNewObject(static_cast<IBaseFilter*>(decoder), riid, ppv);
}

HRESULT CreateFakeFilterGraph(FakeGraphScript& script, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (script.uncreatable.count("FilterGraph") != 0) return REGDB_E_CLASSNOTREG;
  return AnswerNewObject(static_cast<IFilterGraph2*>(new FakeGraph(script)), riid, ppv);
}

HRESULT CreateFakeCaptureGraphBuilder(FakeGraphScript& script, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (script.uncreatable.count("CaptureGraphBuilder2") != 0) return REGDB_E_CLASSNOTREG;
  return AnswerNewObject(new FakeCaptureBuilder(script), riid, ppv);
}

HRESULT CreateFakeDvdGraphBuilder(FakeGraphScript& script, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (script.uncreatable.count("DvdGraphBuilder") != 0) return REGDB_E_CLASSNOTREG;
  return AnswerNewObject(static_cast<IDvdGraphBuilder*>(new FakeDvdBuilder(script)), riid, ppv);
}

}  // namespace win::fake
