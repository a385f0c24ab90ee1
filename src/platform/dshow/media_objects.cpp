#include "platform/dshow/media_objects.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/strings.h"
#include "platform/dshow/com_plumbing.h"
#include "platform/dshow/dvd_language.h"
#include "platform/dshow/graph_log.h"
#include "platform/dshow/gst_forward.h"
#include "platform/dshow/gst_ref.h"
#include "platform/dshow/gst_runtime.h"
#include "platform/dshow/media_pipeline.h"
#include "platform/dshow/notify.h"
#include "platform/dshow/overlay_mixer.h"
#include "platform/dshow/property_bag.h"
#include "platform/dshow/renderer_control.h"
#include "platform/dshow/renderer_window.h"
#include "platform/dshow/snapshot_enumerator.h"
#include "platform/dshow/video_interfaces.h"
#include "platform/dshow/video_renderer_bin.h"

#include <gst/gst.h>

namespace win {

namespace {

// Asked of our own filters to reach the element behind them.
inline constexpr IID IID_IElementFilter{0x3C1E9A40, 0x6B2D, 0x4F51, {0x9A, 0x7E, 0x21, 0x5D, 0x0C, 0x8B, 0x44, 0x19}};
// Asked of our own pins to reach the pad behind them.
inline constexpr IID IID_IElementPin{0x3C1E9A41, 0x6B2D, 0x4F51, {0x9A, 0x7E, 0x21, 0x5D, 0x0C, 0x8B, 0x44, 0x19}};

const char kFilterMark[] = "dashtune-filter";
const char kWindowMark[] = "dashtune-renderer-window";
const char kGraphMark[] = "dashtune-graph";
// Marks the elements a client added to a graph (not those a render made).
const char kAddedFilterMark[] = "dashtune-added-filter";
// Marks the elements a graph left with a stuck engine, with the graph's serial number.
const char kLetGoMark[] = "dashtune-let-go-by";

class FilterGraph;
class ElementFilter;

std::u16string WideFrom(const char* text) { return text == nullptr ? std::u16string() : Utf8ToUtf16(text); }

// The filter object of an element: the existing one, or a new one.
ElementFilter* FilterOf(GstElement* element);

// Guards the element's mark naming its filter object (elements are reached from any thread).
std::mutex& FilterMarkLock() {
  static std::mutex lock;
  return lock;
}

// ---- pins ----

class ElementPin final : public IPin, public MediaObjectCount {
 public:
  explicit ElementPin(GstPad* pad) : pad_(GST_PAD(gst_object_ref(pad))) {}
  ~ElementPin() override { gst_object_unref(pad_); }

  // The overlay mixer's input pin also answers its colour interface.
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    const HRESULT own = AnswerOwnInterface(static_cast<IPin*>(this), riid, ppv, {IID_IPin, IID_IElementPin});
    if (own != E_NOINTERFACE) return own;
    return QueryMixerPinInterface(this, pad_, riid, ppv);
  }

  GstPad* pad() const { return pad_; }
  ULONG AddRef() override { return CountUp(); }
  ULONG Release() override { return CountDown(); }

  HRESULT ConnectedTo(IPin** pPin) override {
    if (pPin == nullptr) return E_POINTER;
    *pPin = nullptr;
    GstPad* peer = gst_pad_get_peer(pad_);
    if (peer == nullptr) return VFW_E_NOT_CONNECTED;
    *pPin = new ElementPin(peer);
    gst_object_unref(peer);
    return S_OK;
  }

  HRESULT Disconnect() override;

  HRESULT QueryPinInfo(PIN_INFO* pInfo) override;

  HRESULT QueryDirection(PIN_DIRECTION* pPinDir) override {
    if (pPinDir == nullptr) return E_POINTER;
    *pPinDir = GST_PAD_IS_SRC(pad_) ? PINDIR_OUTPUT : PINDIR_INPUT;
    return S_OK;
  }

  HRESULT QueryId(std::u16string* id) override {
    if (id == nullptr) return E_POINTER;
    gchar* name = gst_pad_get_name(pad_);
    *id = WideFrom(name);
    g_free(name);
    return S_OK;
  }

 private:
  GstPad* pad_;
};

// ---- filters ----

// A filter over one element (or bin). The element remembers its filter object (weakly), so an
// element has one filter object for as long as anyone holds it.
class ElementFilter : public IBaseFilter, public MediaObjectCount {
 public:
  ElementFilter(GstElement* element, const CLSID& class_id) : element_(element), class_id_(class_id) {
    gst_object_ref_sink(element_);
    std::lock_guard<std::mutex> guard(FilterMarkLock());
    g_object_set_data(G_OBJECT(element_), kFilterMark, this);
    gchar* name = gst_element_get_name(element_);
    name_ = WideFrom(name);
    g_free(name);
  }
  ~ElementFilter() override {
    {
      // A newer filter object may have taken the element's mark meanwhile: leave it alone.
      std::lock_guard<std::mutex> guard(FilterMarkLock());
      if (g_object_get_data(G_OBJECT(element_), kFilterMark) == this) {
        g_object_set_data(G_OBJECT(element_), kFilterMark, nullptr);
      }
    }
    gst_object_unref(element_);
  }

  GstElement* element() const { return element_; }
  bool CountUpIfAlive() { return MediaObjectCount::CountUpIfAlive(); }

  // A video renderer also answers its window, source rectangle and mixing interfaces.
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    const HRESULT own = AnswerOwnInterface(static_cast<IBaseFilter*>(this), riid, ppv,
                                           {IID_IBaseFilter, IID_IMediaFilter, IID_IPersist, IID_IElementFilter});
    if (own != E_NOINTERFACE) return own;
    if (gst::IsVideoRendererBin(element_)) return QueryRendererInterface(this, element_, riid, ppv);
    return QueryOverlayMixerInterface(this, element_, riid, ppv);
  }
  ULONG AddRef() override { return CountUp(); }
  ULONG Release() override { return CountDown(); }

  HRESULT GetClassID(CLSID* pClassID) override {
    if (pClassID == nullptr) return E_POINTER;
    *pClassID = class_id_;
    return S_OK;
  }

  HRESULT EnumPins(IEnumPins** ppEnum) override {
    if (ppEnum == nullptr) return E_POINTER;
    std::vector<ComPtr<IPin>> pins;
    GST_OBJECT_LOCK(element_);
    for (GList* item = GST_ELEMENT_PADS(element_); item != nullptr; item = item->next) {
      ComPtr<IPin> pin;
      pin.Attach(new ElementPin(GST_PAD(item->data)));
      pins.push_back(pin);
    }
    GST_OBJECT_UNLOCK(element_);
    *ppEnum = new SnapshotEnumerator<IPin, IEnumPins>(std::move(pins), IID_IEnumPins);
    return S_OK;
  }

  HRESULT FindPin(LPCWSTR Id, IPin** ppPin) override {
    if (Id == nullptr || ppPin == nullptr) return E_POINTER;
    *ppPin = nullptr;
    GstPad* pad = gst_element_get_static_pad(element_, Utf16ToUtf8(Id).c_str());
    if (pad == nullptr) return VFW_E_NOT_FOUND;
    *ppPin = new ElementPin(pad);
    gst_object_unref(pad);
    return S_OK;
  }

  HRESULT QueryFilterInfo(FILTER_INFO* pInfo) override;
  HRESULT Stop() override;

  HRESULT JoinFilterGraph(IFilterGraph*, LPCWSTR pName) override {
    if (pName != nullptr) name_ = pName;
    return S_OK;
  }

  const std::u16string& name() const { return name_; }

 private:
  GstElement* element_;
  CLSID class_id_;
  std::u16string name_;
};

// Our own filter object behind an interface, or null for another filter. Not counted: the
// caller's reference keeps it.
ElementFilter* OurFilter(IBaseFilter* filter) {
  if (filter == nullptr) return nullptr;
  void* ours = nullptr;
  if (FAILED(filter->QueryInterface(IID_IElementFilter, &ours))) return nullptr;
  auto* element_filter = static_cast<ElementFilter*>(static_cast<IBaseFilter*>(ours));
  element_filter->Release();
  return element_filter;
}

// Our renderer has its class id; other elements have the id that stands for their factory, the
// one the builder callbacks saw in the factory's property bag.
// Our own pad behind a pin, or null for another pin. Not counted: the caller's reference keeps it.
GstPad* OurPad(IPin* pin) {
  if (pin == nullptr) return nullptr;
  void* ours = nullptr;
  if (FAILED(pin->QueryInterface(IID_IElementPin, &ours))) return nullptr;
  auto* element_pin = static_cast<ElementPin*>(static_cast<IPin*>(ours));
  element_pin->Release();
  return element_pin->pad();
}

CLSID ClassIdOf(GstElement* element) {
  if (gst::OverlayMixerStateOf(element) != nullptr) return CLSID_OverlayMixer;
  if (const gst::RendererSettings* settings = gst::RendererSettingsOf(element)) {
    return settings->mixing ? CLSID_VideoMixingRenderer9 : CLSID_VideoRenderer;
  }
  GstElementFactory* factory = gst_element_get_factory(element);
  return factory != nullptr ? FactoryClassId(GST_OBJECT_NAME(factory)) : GUID_NULL;
}

ElementFilter* FilterOf(GstElement* element) {
  {
    std::lock_guard<std::mutex> guard(FilterMarkLock());
    auto* existing = static_cast<ElementFilter*>(g_object_get_data(G_OBJECT(element), kFilterMark));
    // A filter object whose last reference is going is not handed out again.
    if (existing != nullptr && existing->CountUpIfAlive()) return existing;
  }
  return new ElementFilter(element, ClassIdOf(element));
}

HRESULT ElementPin::QueryPinInfo(PIN_INFO* pInfo) {
  if (pInfo == nullptr) return E_POINTER;
  *pInfo = PIN_INFO{};
  gchar* name = gst_pad_get_name(pad_);
  CopyName(WideFrom(name), pInfo->achName);
  g_free(name);
  pInfo->dir = GST_PAD_IS_SRC(pad_) ? PINDIR_OUTPUT : PINDIR_INPUT;
  GstElement* parent = gst_pad_get_parent_element(pad_);
  if (parent != nullptr) {
    pInfo->pFilter = FilterOf(parent);
    gst_object_unref(parent);
  }
  return S_OK;
}

// The graph whose pipeline holds the element at its top level, or null. Not counted.
FilterGraph* GraphOf(GstElement* element);

// A video renderer: our own filter over the renderer bin.
ElementFilter* MakeRendererFilter(bool mixing = false) {
  GstElement* bin = gst::MakeVideoRendererBin(mixing ? "Video Mixing Renderer 9" : "Video Renderer", mixing);
  return bin == nullptr ? nullptr : new ElementFilter(bin, ClassIdOf(bin));
}

// ---- the filter graph manager ----

class FilterGraph final : public IFilterGraph2,
                          public IMediaControl,
                          public IMediaEventEx,
                          public IMediaSeeking,
                          public IBasicAudio,
                          public IObjectWithSite,
                          public IServiceProvider,
                          public MediaObjectCount,
                          private gst::BuildObserver {
 public:
  FilterGraph() : pipeline_(MakePipeline()) {}
  ~FilterGraph() override {
    // The windows go first (they listen to the renderers' frames), then the streaming threads
    // stop before the objects they call go; an engine that holds on is left to end alone.
    while (!windows_.empty()) CloseRendererWindow(windows_.begin()->first);
    for (const auto& [pad, probe] : held_) {
      gst_pad_remove_probe(pad, probe);
      gst_object_unref(pad);
    }
    held_.clear();
    g_object_set_data(G_OBJECT(pipeline_->pipeline()), kGraphMark, nullptr);
    gst::MediaPipeline::Discard(std::move(pipeline_));
  }

  // Renders a DVD folder and gives its video a window; `failure` is the result the builder
  // answers when the render fails.
  gst::RenderOutcome RenderDvd(const std::string& folder, HRESULT failure) {
    const gst::RenderOutcome outcome = pipeline_->RenderDvd(folder);
    render_failure_ = failure;
    OpenRendererWindows();
    return outcome;
  }

  gst::MediaPipeline& pipeline() { return *pipeline_; }

  // Queues an event of one of the graph's filters, as the engine's own are queued.
  void NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2) { Queue(gst::EngineEvent{code, param1, param2}); }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    return AnswerGraphInterface(this, riid, ppv, [](const char*) { return true; });
  }
  ULONG AddRef() override { return CountUp(); }
  ULONG Release() override { return CountDown(); }

  // IFilterGraph
  HRESULT AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override {
    ElementFilter* filter = OurFilter(pFilter);
    if (filter == nullptr) return E_POINTER;
    if (GST_OBJECT_PARENT(filter->element()) == GST_OBJECT(pipeline_->pipeline())) return S_FALSE;
    if (pName != nullptr && *pName != 0) gst_object_set_name(GST_OBJECT(filter->element()), Utf16ToUtf8(pName).c_str());
    if (!pipeline_->AddElement(filter->element())) return VFW_E_NOT_FOUND;
    g_object_set_data(G_OBJECT(filter->element()), kAddedFilterMark, GINT_TO_POINTER(1));
    g_object_set_data(G_OBJECT(filter->element()), kLetGoMark, nullptr);
    filter->JoinFilterGraph(this, pName);
    HoldUnlinkedOutputs(filter->element());
    OpenRendererWindows();
    return S_OK;
  }

  HRESULT RemoveFilter(IBaseFilter* pFilter) override {
    ElementFilter* filter = OurFilter(pFilter);
    if (filter == nullptr) return E_POINTER;
    // The filter object may be the pipeline's only holder of the element: keep it alive.
    ComPtr<IBaseFilter> keep(pFilter);
    LetGoOfStuckEngine();
    if (LeftWithStuckEngine(filter->element())) {
      filter->JoinFilterGraph(nullptr, nullptr);
      return S_OK;
    }
    if (GST_OBJECT_PARENT(filter->element()) != GST_OBJECT(pipeline_->pipeline())) return VFW_E_NOT_FOUND;
    CloseRendererWindow(filter->element());
    ForgetHeldPads(filter->element());
    if (!pipeline_->RemoveElement(filter->element())) return VFW_E_TIMEOUT;
    g_object_set_data(G_OBJECT(filter->element()), kAddedFilterMark, nullptr);
    filter->JoinFilterGraph(nullptr, nullptr);
    // The halted streams' events still queued (a completion, an error) are not about what
    // the graph will play next.
    {
      std::lock_guard<std::mutex> guard(events_lock_);
      events_.clear();
    }
    return S_OK;
  }

  HRESULT EnumFilters(IEnumFilters** ppEnum) override {
    if (ppEnum == nullptr) return E_POINTER;
    std::vector<ComPtr<IBaseFilter>> filters;
    for (const gst::OwnedElement& element : pipeline_->Elements()) {
      ComPtr<IBaseFilter> filter;
      filter.Attach(FilterOf(element.get()));
      filters.push_back(filter);
    }
    *ppEnum = new SnapshotEnumerator<IBaseFilter, IEnumFilters>(std::move(filters), IID_IEnumFilters);
    return S_OK;
  }

  HRESULT FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override {
    if (pName == nullptr || ppFilter == nullptr) return E_POINTER;
    *ppFilter = nullptr;
    GstElement* element = gst_bin_get_by_name(GST_BIN(pipeline_->pipeline()), Utf16ToUtf8(pName).c_str());
    if (element == nullptr || GST_OBJECT_PARENT(element) != GST_OBJECT(pipeline_->pipeline())) {
      if (element != nullptr) gst_object_unref(element);
      return VFW_E_NOT_FOUND;
    }
    *ppFilter = FilterOf(element);
    gst_object_unref(element);
    return S_OK;
  }

  HRESULT Disconnect(IPin* ppin) override { return ppin == nullptr ? E_POINTER : ppin->Disconnect(); }

  // IGraphBuilder
  // Links two pins of the graph's filters, also while the graph is paused or runs: the output
  // that held its data since it was unlinked passes it on, and a paused graph whose outputs are
  // all linked again prerolls anew at its position.
  HRESULT Connect(IPin* ppinOut, IPin* ppinIn) override {
    if (ppinOut == nullptr || ppinIn == nullptr) return E_POINTER;
    GstPad* source = OurPad(ppinOut);
    GstPad* sink = OurPad(ppinIn);
    if (source == nullptr || sink == nullptr) return E_INVALIDARG;
    if (!GST_PAD_IS_SRC(source) || !GST_PAD_IS_SINK(sink)) return VFW_E_INVALID_DIRECTION;
    if (gst_pad_is_linked(source) || gst_pad_is_linked(sink)) return VFW_E_ALREADY_CONNECTED;
    const gst::ElementRef upstream(gst_pad_get_parent_element(source));
    const gst::ElementRef downstream(gst_pad_get_parent_element(sink));
    if (!upstream || !downstream || GraphOf(upstream.get()) != this || GraphOf(downstream.get()) != this) {
      return VFW_E_NOT_IN_GRAPH;
    }
    if (gst_pad_link(source, sink) != GST_PAD_LINK_OK) return VFW_E_CANNOT_CONNECT;
    if (gst::IsVideoRendererBin(downstream.get())) {
      gst::SetRendererOverlay(downstream.get(), gst::OverlayMixerStateOf(upstream.get()) != nullptr ? upstream.get() : nullptr);
    }
    gst_element_sync_state_with_parent(downstream.get());
    gst_element_sync_state_with_parent(upstream.get());
    ReleasePad(source);
    Repreroll();
    return S_OK;
  }

  // An output unlinked while the graph streams holds its data until it is linked again.
  void HoldPad(GstPad* pad) {
    if (!pipeline_->Live()) return;
    std::lock_guard<std::mutex> guard(held_lock_);
    if (held_.count(pad) != 0) return;
    const gulong probe = gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BLOCK_DOWNSTREAM, [](GstPad*, GstPadProbeInfo*, gpointer) { return GST_PAD_PROBE_OK; },
        nullptr, nullptr);
    held_.emplace(GST_PAD(gst_object_ref(pad)), probe);
  }

  HRESULT RenderFile(LPCWSTR lpcwstrFile, LPCWSTR) override {
    if (lpcwstrFile == nullptr) return E_POINTER;
    const std::string file = Utf16ToUtf8(lpcwstrFile);
    Log("RenderFile " + file);
    LetGoOfStuckEngine();
    const HRESULT result = ResultOf(pipeline_->RenderFile(file, this));
    render_failure_ = result;
    OpenRendererWindows();
    char code[16];
    std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(result));
    Log(std::string("RenderFile result 0x") + code);
    return result;
  }

  static HRESULT ResultOf(gst::RenderOutcome outcome) {
    switch (outcome) {
      case gst::RenderOutcome::kRendered: return S_OK;
      case gst::RenderOutcome::kPartlyRendered: return VFW_S_PARTIAL_RENDER;
      case gst::RenderOutcome::kNothingRendered: return VFW_E_CANNOT_RENDER;
      case gst::RenderOutcome::kFileNotFound: return VFW_E_FILE_NOT_FOUND_WIN32;
      case gst::RenderOutcome::kUnsupported: return VFW_E_UNSUPPORTED_STREAM;
      case gst::RenderOutcome::kTimedOut: return VFW_E_TIMEOUT;
      case gst::RenderOutcome::kFailed: break;
    }
    return E_FAIL;
  }

  HRESULT SetLogFile(DWORD_PTR hFile) override {
    if (hFile == 0) {
      log_.reset();
      return S_OK;
    }
    std::shared_ptr<GraphLogTarget> target = LookupHandleAs<GraphLogTarget>(reinterpret_cast<HANDLE>(hFile));
    if (!target) return E_HANDLE;
    log_ = std::move(target);
    return S_OK;
  }

  // IMediaControl
  // A graph whose render failed answers with that failure until the next render.
  HRESULT Run() override {
    Log("Run");
    if (const HRESULT failed = StandingRenderFailure(); FAILED(failed)) return failed;
    if (!pipeline_->Run()) return E_FAIL;
    return pipeline_->Transitioning(0) ? S_FALSE : S_OK;
  }
  HRESULT Pause() override {
    Log("Pause");
    if (const HRESULT failed = StandingRenderFailure(); FAILED(failed)) return failed;
    return pipeline_->Pause() ? S_OK : S_FALSE;
  }
  HRESULT Stop() override {
    Log("Stop");
    return pipeline_->Stop() ? S_OK : S_FALSE;
  }
  HRESULT GetState(LONG msTimeout, OAFilterState* pfs) override {
    if (pfs == nullptr) return E_POINTER;
    *pfs = static_cast<OAFilterState>(pipeline_->state());
    return pipeline_->Transitioning(std::clamp<LONG>(msTimeout, 0, 10000)) ? VFW_S_STATE_INTERMEDIATE : S_OK;
  }

  // IMediaEvent(Ex)
  HRESULT GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, LONG msTimeout) override {
    if (lEventCode == nullptr || lParam1 == nullptr || lParam2 == nullptr) return E_POINTER;
    std::unique_lock<std::mutex> guard(events_lock_);
    // A negative time-out waits at most a minute: no caller waits for ever here.
    const auto limit = std::chrono::milliseconds(msTimeout < 0 ? 60000 : msTimeout);
    if (!events_changed_.wait_for(guard, limit, [&] { return !events_.empty(); })) return E_ABORT;
    const gst::EngineEvent event = events_.front();
    events_.pop_front();
    *lEventCode = event.code;
    *lParam1 = event.param1;
    *lParam2 = event.param2;
    return S_OK;
  }
  // None of the events this graph sends carries allocated parameters.
  HRESULT FreeEventParams(LONG, LONG_PTR, LONG_PTR) override { return S_OK; }
  HRESULT SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData) override {
    std::lock_guard<std::mutex> guard(events_lock_);
    notify_window_ = hwnd;
    notify_message_ = lMsg;
    notify_instance_ = lInstanceData;
    return S_OK;
  }
  HRESULT SetNotifyFlags(LONG lNoNotifyFlags) override {
    if ((lNoNotifyFlags & ~AM_MEDIAEVENT_NONOTIFY) != 0) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(events_lock_);
    notify_flags_ = lNoNotifyFlags;
    if (notify_flags_ != 0) events_.clear();
    return S_OK;
  }
  HRESULT GetNotifyFlags(LONG* lplNoNotifyFlags) override {
    if (lplNoNotifyFlags == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> guard(events_lock_);
    *lplNoNotifyFlags = notify_flags_;
    return S_OK;
  }

  // IMediaSeeking, in 100-ns units
  HRESULT GetDuration(LONGLONG* pDuration) override {
    if (pDuration == nullptr) return E_POINTER;
    const std::optional<std::int64_t> duration = pipeline_->Duration();
    if (!duration) return E_FAIL;
    *pDuration = *duration / 100;
    return S_OK;
  }
  HRESULT GetCurrentPosition(LONGLONG* pCurrent) override {
    if (pCurrent == nullptr) return E_POINTER;
    const std::optional<std::int64_t> position = pipeline_->Position();
    if (!position) return E_FAIL;
    *pCurrent = *position / 100;
    return S_OK;
  }
  HRESULT GetStopPosition(LONGLONG* pStop) override {
    if (pStop == nullptr) return E_POINTER;
    const std::optional<std::int64_t> stop = pipeline_->StopPosition();
    const std::optional<std::int64_t> end = stop ? stop : pipeline_->Duration();
    if (!end) return E_FAIL;
    *pStop = *end / 100;
    return S_OK;
  }
  HRESULT SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop, DWORD dwStopFlags) override {
    const DWORD positioning = dwCurrentFlags & AM_SEEKING_PositioningBitsMask;
    const DWORD stop_positioning = dwStopFlags & AM_SEEKING_PositioningBitsMask;
    if (positioning == AM_SEEKING_NoPositioning && stop_positioning == AM_SEEKING_NoPositioning) return S_OK;
    if ((positioning != AM_SEEKING_NoPositioning && pCurrent == nullptr) ||
        (stop_positioning != AM_SEEKING_NoPositioning && pStop == nullptr)) {
      return E_POINTER;
    }
    if (const HRESULT failed = StandingRenderFailure(); FAILED(failed)) return failed;
    const LONGLONG now = pipeline_->Position().value_or(0) / 100;
    LONGLONG target = now;
    if (positioning != AM_SEEKING_NoPositioning && !Reposition(*pCurrent, positioning, now, &target)) {
      return E_INVALIDARG;
    }
    if (stop_positioning != AM_SEEKING_NoPositioning) {
      LONGLONG stop_now = 0;
      if (FAILED(GetStopPosition(&stop_now))) stop_now = 0;
      LONGLONG stop = 0;
      if (!Reposition(*pStop, stop_positioning, stop_now, &stop)) return E_INVALIDARG;
      pipeline_->SetStopPosition(stop * 100);
    }
    return pipeline_->Seek(target * 100) ? S_OK : E_FAIL;
  }
  HRESULT IsUsingTimeFormat(const GUID* pFormat) override {
    if (pFormat == nullptr) return E_POINTER;
    return *pFormat == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
  }
  HRESULT SetRate(double dRate) override { return pipeline_->SetRate(dRate) ? S_OK : E_INVALIDARG; }
  HRESULT GetRate(double* pdRate) override {
    if (pdRate == nullptr) return E_POINTER;
    *pdRate = pipeline_->rate();
    return S_OK;
  }

  // IBasicAudio: values are kept and applied to every audio branch, present or later.
  HRESULT put_Volume(LONG lVolume) override {
    if (lVolume < -10000 || lVolume > 0) return E_INVALIDARG;
    pipeline_->SetVolume(lVolume);
    return pipeline_->HasAudio() ? S_OK : E_NOTIMPL;
  }
  HRESULT get_Volume(LONG* plVolume) override {
    if (plVolume == nullptr) return E_POINTER;
    *plVolume = static_cast<LONG>(pipeline_->volume());
    return pipeline_->HasAudio() ? S_OK : E_NOTIMPL;
  }
  HRESULT put_Balance(LONG lBalance) override {
    if (lBalance < -10000 || lBalance > 10000) return E_INVALIDARG;
    pipeline_->SetBalance(lBalance);
    return pipeline_->HasAudio() ? S_OK : E_NOTIMPL;
  }
  HRESULT get_Balance(LONG* plBalance) override {
    if (plBalance == nullptr) return E_POINTER;
    *plBalance = static_cast<LONG>(pipeline_->balance());
    return pipeline_->HasAudio() ? S_OK : E_NOTIMPL;
  }

  // IObjectWithSite
  HRESULT SetSite(IUnknown* pUnkSite) override {
    site_ = ComPtr<IUnknown>(pUnkSite);
    return S_OK;
  }
  HRESULT GetSite(REFIID riid, void** ppvSite) override { return GetKeptSite(site_, riid, ppvSite); }

  // IServiceProvider: services come from the site.
  HRESULT QueryService(REFGUID guidService, REFIID riid, void** ppvObject) override {
    return QueryKeptSiteService(site_, guidService, riid, ppvObject);
  }

 private:
  template <class Callback>
  ComPtr<Callback> SiteCallback(const IID& iid) {
    ComPtr<Callback> callback;
    if (site_) site_->QueryInterface(iid, reinterpret_cast<void**>(callback.ReleaseAndGetAddressOf()));
    return callback;
  }

  // BuildObserver: the builder callbacks of the site, on the rendering thread.
  bool FactorySelected(GstElementFactory* factory) override {
    ComPtr<IAMGraphBuilderCallback> callback = SiteCallback<IAMGraphBuilderCallback>(IID_IAMGraphBuilderCallback);
    if (!callback) return true;
    ComPtr<IMoniker> moniker;
    moniker.Attach(CreateFactoryMoniker(GST_OBJECT_NAME(factory),
                                        gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_LONGNAME)));
    return SUCCEEDED(callback->SelectedFilter(moniker.Get()));
  }

  void ElementCreated(GstElement* element) override {
    ComPtr<IAMGraphBuilderCallback> callback = SiteCallback<IAMGraphBuilderCallback>(IID_IAMGraphBuilderCallback);
    if (!callback) return;
    ComPtr<IBaseFilter> filter;
    filter.Attach(FilterOf(element));
    // The decoding bin has placed the element already; a refusal cannot take it back.
    callback->CreatedFilter(filter.Get());
  }

  void PadUnrendered(GstPad* pad) override {
    ComPtr<IAMFilterGraphCallback> callback = SiteCallback<IAMFilterGraphCallback>(IID_IAMFilterGraphCallback);
    if (!callback) return;
    ComPtr<IPin> pin;
    pin.Attach(new ElementPin(pad));
    callback->UnableToRender(pin.Get());
  }

  std::unique_ptr<gst::MediaPipeline> MakePipeline() {
    auto pipeline = std::make_unique<gst::MediaPipeline>([this](const gst::EngineEvent& event) { Queue(event); },
                                                         [this] { return MakeDefaultRenderer(); });
    g_object_set_data(G_OBJECT(pipeline->pipeline()), kGraphMark, this);
    return pipeline;
  }

  // An engine stuck in a call past the settle limit may not come back for minutes, and until it
  // does every call that needs it would answer a time-out: the graph lets go of it. The filters a
  // client added move to a new pipeline; what a render made stays with the stuck one, whose worker
  // frees it once the engine returns (its thread is left to finish alone, holding the pipeline,
  // and calls nothing of the graph any more).
  void LetGoOfStuckEngine() {
    if (!pipeline_->EngineStuck()) return;
    Log("Engine stuck: the graph lets go of it");
    std::unique_ptr<gst::MediaPipeline> fresh = MakePipeline();
    for (const gst::OwnedElement& element : pipeline_->Elements()) {
      ForgetHeldPads(element.get());
      const bool added = g_object_get_data(G_OBJECT(element.get()), kAddedFilterMark) != nullptr;
      if (added && fresh->TakeOver(element.get())) continue;
      CloseRendererWindow(element.get());
      g_object_set_data(G_OBJECT(element.get()), kLetGoMark, reinterpret_cast<gpointer>(serial_));
    }
    g_object_set_data(G_OBJECT(pipeline_->pipeline()), kGraphMark, nullptr);
    gst::MediaPipeline::Discard(std::exchange(pipeline_, std::move(fresh)));
    std::lock_guard<std::mutex> guard(events_lock_);
    events_.clear();  // the stuck engine's news
  }

  // Whether the element stayed with an engine this graph let go of: it left the graph then
  // (and leaves that pipeline too once the engine returns and the pipeline is freed).
  bool LeftWithStuckEngine(GstElement* element) const {
    return g_object_get_data(G_OBJECT(element), kLetGoMark) == reinterpret_cast<gpointer>(serial_) &&
           !gst_object_has_as_parent(GST_OBJECT(element), GST_OBJECT(pipeline_->pipeline()));
  }

  static std::uintptr_t NextSerial() {
    static std::atomic<std::uintptr_t> last{0};
    return ++last;
  }

  GstElement* MakeDefaultRenderer() {
    ElementFilter* filter = MakeRendererFilter();
    if (filter == nullptr) return nullptr;
    GstElement* element = filter->element();
    // The pipeline takes its own reference when the element is added; the filter object is
    // made again from the element whenever someone asks for it.
    gst_object_ref(element);
    filter->Release();
    return element;
  }

  void Queue(const gst::EngineEvent& event) {
    OAHWND window = 0;
    LONG message = 0;
    LONG_PTR instance = 0;
    {
      std::lock_guard<std::mutex> guard(events_lock_);
      if (notify_flags_ != 0) return;
      events_.push_back(event);
      events_changed_.notify_all();
      window = notify_window_;
      message = notify_message_;
      instance = notify_instance_;
    }
    if (window != 0) PostGraphNotification(window, message, instance);
  }

  void ReleasePad(GstPad* pad) {
    std::lock_guard<std::mutex> guard(held_lock_);
    auto found = held_.find(pad);
    if (found == held_.end()) return;
    gst_pad_remove_probe(pad, found->second);
    gst_object_unref(found->first);
    held_.erase(found);
  }

  void HoldUnlinkedOutputs(GstElement* element) {
    GstIterator* pads = gst_element_iterate_src_pads(element);
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
      auto* pad = GST_PAD(g_value_get_object(&item));
      if (!gst_pad_is_linked(pad)) HoldPad(pad);
      g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(pads);
  }

  // The held outputs of a filter that leaves the graph go with it.
  void ForgetHeldPads(GstElement* element) {
    std::lock_guard<std::mutex> guard(held_lock_);
    for (auto it = held_.begin(); it != held_.end();) {
      if (gst_object_has_as_ancestor(GST_OBJECT(it->first), GST_OBJECT(element))) {
        gst_pad_remove_probe(it->first, it->second);
        gst_object_unref(it->first);
        it = held_.erase(it);
      } else {
        ++it;
      }
    }
  }

  // A paused graph whose outputs are all linked again prerolls anew where it stands.
  void Repreroll() {
    {
      std::lock_guard<std::mutex> guard(held_lock_);
      if (!held_.empty()) return;
    }
    if (!pipeline_->Paused()) return;
    pipeline_->Seek(pipeline_->Position().value_or(0));
  }

  // A position moved by seeking flags (absolute, or relative to `base`), clamped to what
  // nanoseconds can hold; false for unknown flags.
  static bool Reposition(LONGLONG value, DWORD positioning, LONGLONG base, LONGLONG* result) {
    // Larger values would overflow nanoseconds; no medium is that long.
    constexpr LONGLONG kLongest = INT64_MAX / 100;
    if (positioning == AM_SEEKING_AbsolutePositioning) {
      *result = std::clamp<LONGLONG>(value, 0, kLongest);
    } else if (positioning == AM_SEEKING_RelativePositioning) {
      const LONGLONG clamped = std::clamp<LONGLONG>(value, -kLongest, kLongest);
      *result = std::clamp<LONGLONG>(std::clamp<LONGLONG>(base, 0, kLongest) + clamped, 0, kLongest);
    } else {
      return false;
    }
    return true;
  }

  // The failure of the last render while it stands (until the next render), else S_OK.
  HRESULT StandingRenderFailure() const {
    if (!pipeline_->FailedRender()) return S_OK;
    return FAILED(render_failure_) ? render_failure_ : E_FAIL;
  }

  void Log(const std::string& line) {
    if (log_) log_->WriteLine(line);
  }

  // Every renderer of the pipeline gets a window, made on the thread that drives the graph.
  void OpenRendererWindows() {
    const auto [width, height] = pipeline_->VideoSize();
    for (const gst::OwnedElement& element : pipeline_->Elements()) {
      gst::VideoFrameStore* store = gst::RendererFrameStore(element.get());
      if (store == nullptr || windows_.count(element.get()) != 0) continue;
      auto window = std::make_unique<RendererWindow>(element.get(), width > 0 ? width : 320, height > 0 ? height : 240);
      g_object_set_data(G_OBJECT(element.get()), kWindowMark, window->handle());
      windows_.emplace(element.get(), std::move(window));
    }
  }

  void CloseRendererWindow(GstElement* element) {
    auto found = windows_.find(element);
    if (found == windows_.end()) return;
    g_object_set_data(G_OBJECT(element), kWindowMark, nullptr);
    windows_.erase(found);
  }

  // Tells the elements this graph left with a stuck engine from those other graphs left.
  const std::uintptr_t serial_ = NextSerial();
  std::unique_ptr<gst::MediaPipeline> pipeline_;
  HRESULT render_failure_ = S_OK;
  // Outputs unlinked while streaming, with the probe that holds their data (counted pads).
  std::mutex held_lock_;
  std::map<GstPad*, gulong> held_;
  ComPtr<IUnknown> site_;
  std::shared_ptr<GraphLogTarget> log_;
  // Windows of the renderers in the pipeline, by element (the pipeline holds the elements).
  std::map<GstElement*, std::unique_ptr<RendererWindow>> windows_;

  std::mutex events_lock_;
  std::condition_variable events_changed_;
  std::deque<gst::EngineEvent> events_;
  OAHWND notify_window_ = 0;
  LONG notify_message_ = 0;
  LONG_PTR notify_instance_ = 0;
  LONG notify_flags_ = 0;
};

FilterGraph* GraphOf(GstElement* element) {
  if (element == nullptr) return nullptr;
  GstObject* parent = gst_object_get_parent(GST_OBJECT(element));
  if (parent == nullptr) return nullptr;
  auto* graph = static_cast<FilterGraph*>(g_object_get_data(G_OBJECT(parent), kGraphMark));
  gst_object_unref(parent);
  return graph;
}

HRESULT ElementFilter::QueryFilterInfo(FILTER_INFO* pInfo) {
  if (pInfo == nullptr) return E_POINTER;
  *pInfo = FILTER_INFO{};
  CopyName(name_, pInfo->achName);
  if (FilterGraph* graph = GraphOf(element_)) {
    pInfo->pGraph = static_cast<IFilterGraph2*>(graph);
    pInfo->pGraph->AddRef();
  }
  return S_OK;
}

// Streaming through one element cannot end alone: the graph that holds it halts.
HRESULT ElementFilter::Stop() {
  if (FilterGraph* graph = GraphOf(element_)) return graph->pipeline().Halt() ? S_OK : VFW_E_TIMEOUT;
  return S_OK;
}

// The mixing renderer's first connection tells the graph which device draws its frames.
void OnMixingInputLinked(GstPad* pad, GstPad*, gpointer) {
  static const char kDeviceSetMark[] = "dashtune-render-device-set";
  GstElement* renderer = gst_pad_get_parent_element(pad);
  if (renderer == nullptr) return;
  FilterGraph* graph = GraphOf(renderer);
  if (graph != nullptr && g_object_get_data(G_OBJECT(renderer), kDeviceSetMark) == nullptr) {
    g_object_set_data(G_OBJECT(renderer), kDeviceSetMark, GINT_TO_POINTER(1));
    graph->NotifyEvent(EC_VMR_RENDERDEVICE_SET, VMR_RENDER_DEVICE_SYSMEM, 0);
  }
  gst_object_unref(renderer);
}

// Inputs a mixing renderer gains for more streams report their connection too.
void WatchMixingInput(GstElement*, GstPad* pad, gpointer) {
  if (GST_PAD_IS_SINK(pad)) g_signal_connect(pad, "linked", G_CALLBACK(&OnMixingInputLinked), nullptr);
}

// Unlinking while the graph streams leaves it streaming: the output holds its data until it is
// linked again. A renderer that loses its input loses its overlay mixer.
HRESULT ElementPin::Disconnect() {
  GstPad* peer = gst_pad_get_peer(pad_);
  if (peer == nullptr) return S_FALSE;
  GstPad* source = GST_PAD_IS_SRC(pad_) ? pad_ : peer;
  GstPad* sink = GST_PAD_IS_SRC(pad_) ? peer : pad_;
  const gst::ElementRef parent(gst_pad_get_parent_element(pad_));
  if (FilterGraph* graph = GraphOf(parent.get())) graph->HoldPad(source);
  const bool unlinked = gst_pad_unlink(source, sink);
  const gst::ElementRef downstream(gst_pad_get_parent_element(sink));
  if (unlinked && downstream && gst::IsVideoRendererBin(downstream.get())) gst::SetRendererOverlay(downstream.get(), nullptr);
  gst_object_unref(peer);
  return unlinked ? S_OK : E_FAIL;
}

// ---- the capture graph builder: holds the graph it was given ----

class CaptureGraphBuilder final : public ICaptureGraphBuilder2, public MediaObjectCount {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    return AnswerOwnInterface(static_cast<ICaptureGraphBuilder2*>(this), riid, ppv, {IID_ICaptureGraphBuilder2});
  }
  ULONG AddRef() override { return CountUp(); }
  ULONG Release() override { return CountDown(); }

  HRESULT SetFiltergraph(IGraphBuilder* pfg) override {
    if (pfg == nullptr) return E_POINTER;
    if (graph_) return E_UNEXPECTED;
    graph_ = ComPtr<IGraphBuilder>(pfg);
    return S_OK;
  }
  HRESULT GetFiltergraph(IGraphBuilder** ppfg) override {
    if (ppfg == nullptr) return E_POINTER;
    *ppfg = graph_.Get();
    if (*ppfg == nullptr) return E_UNEXPECTED;
    (*ppfg)->AddRef();
    return S_OK;
  }

 private:
  ComPtr<IGraphBuilder> graph_;
};

// ---- the DVD graph builder, with the DVD navigator's control and information ----

class DvdGraphBuilder final : public IDvdGraphBuilder, public IDvdControl2, public IDvdInfo2, public MediaObjectCount {
 public:
  DvdGraphBuilder() : graph_(new FilterGraph) {}
  ~DvdGraphBuilder() override { graph_->Release(); }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    return AnswerOwnInterface(static_cast<IDvdGraphBuilder*>(this), riid, ppv, {IID_IDvdGraphBuilder});
  }
  ULONG AddRef() override { return CountUp(); }
  ULONG Release() override { return CountDown(); }

  HRESULT GetFiltergraph(IGraphBuilder** ppGB) override {
    if (ppGB == nullptr) return E_POINTER;
    *ppGB = static_cast<IFilterGraph2*>(graph_);
    (*ppGB)->AddRef();
    return S_OK;
  }

  // The navigator's interfaces exist once a volume has been rendered.
  HRESULT GetDvdInterface(REFIID riid, void** ppvIF) override {
    if (ppvIF == nullptr) return E_POINTER;
    *ppvIF = nullptr;
    if (!rendered_) return E_NOINTERFACE;
    if (riid == IID_IDvdControl2) {
      *ppvIF = static_cast<IDvdControl2*>(this);
    } else if (riid == IID_IDvdInfo2) {
      *ppvIF = static_cast<IDvdInfo2*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

  HRESULT RenderDvdVideoVolume(LPCWSTR lpcwszPathName, DWORD, AM_DVD_RENDERSTATUS* pStatus) override {
    if (pStatus == nullptr) return E_POINTER;
    *pStatus = AM_DVD_RENDERSTATUS{};
    if (rendered_) return VFW_E_DVD_RENDERFAIL;
    const std::string folder = Narrow(lpcwszPathName);
    const gst::RenderOutcome outcome = graph_->RenderDvd(folder, VFW_E_DVD_RENDERFAIL);
    switch (outcome) {
      case gst::RenderOutcome::kRendered:
        rendered_ = true;
        return S_OK;
      case gst::RenderOutcome::kPartlyRendered:
        rendered_ = true;
        pStatus->iNumStreamsFailed = 1;
        return S_FALSE;
      case gst::RenderOutcome::kFileNotFound:
        pStatus->bDvdVolInvalid = TRUE;
        return VFW_E_DVD_RENDERFAIL;
      default:
        pStatus->bDvdVolUnknown = TRUE;
        return VFW_E_DVD_RENDERFAIL;
    }
  }

  // IDvdControl2 (reached through GetDvdInterface; counted on the builder)
  HRESULT SetOption(DVD_OPTION_FLAG flag, BOOL) override {
    return flag >= DVD_ResetOnStop && flag <= DVD_AudioDuringFFwdRew ? S_OK : E_INVALIDARG;
  }
  HRESULT PlayAtTime(DVD_HMSF_TIMECODE* pTime, DWORD, IDvdCmd** ppCmd) override {
    if (ppCmd != nullptr) *ppCmd = nullptr;
    if (pTime == nullptr) return E_POINTER;
    if (pTime->bMinutes > 59 || pTime->bSeconds > 59) return E_INVALIDARG;
    const int fps = graph_->pipeline().DvdFrameRate();
    if (pTime->bFrames >= fps) return E_INVALIDARG;
    const std::int64_t seconds = pTime->bHours * 3600LL + pTime->bMinutes * 60LL + pTime->bSeconds;
    const std::int64_t position = seconds * 1000000000LL + pTime->bFrames * 1000000000LL / fps;
    const std::optional<std::int64_t> length = graph_->pipeline().TitleDuration();
    if (length && position > *length) return E_INVALIDARG;
    return graph_->pipeline().Seek(position) ? S_OK : VFW_E_DVD_OPERATION_INHIBITED;
  }

  // IDvdInfo2
  HRESULT GetTotalTitleTime(DVD_HMSF_TIMECODE* pTotalTime, ULONG* ulTimeCodeFlags) override {
    if (pTotalTime == nullptr) return E_POINTER;
    const std::optional<std::int64_t> length = graph_->pipeline().TitleDuration();
    if (!length) return VFW_E_DVD_INVALIDDOMAIN;
    const int fps = graph_->pipeline().DvdFrameRate();
    const DWORD packed = gst::PackHmsf(*length, fps);
    pTotalTime->bHours = static_cast<BYTE>(packed & 0xFF);
    pTotalTime->bMinutes = static_cast<BYTE>((packed >> 8) & 0xFF);
    pTotalTime->bSeconds = static_cast<BYTE>((packed >> 16) & 0xFF);
    pTotalTime->bFrames = static_cast<BYTE>((packed >> 24) & 0xFF);
    if (ulTimeCodeFlags != nullptr) *ulTimeCodeFlags = fps == 30 ? DVD_TC_FLAG_30fps : DVD_TC_FLAG_25fps;
    return S_OK;
  }
  // The source names the language of the audio stream it plays (stream 0); other streams and
  // unnamed languages answer 0.
  HRESULT GetAudioLanguage(ULONG ulStream, LCID* pLanguage) override {
    const HRESULT result = CheckStream(ulStream, pLanguage);
    if (result == S_OK && ulStream == 0) *pLanguage = LocaleOfLanguageCode(graph_->pipeline().AudioLanguage());
    return result;
  }
  // The source reports no subpicture languages.
  HRESULT GetSubpictureLanguage(ULONG ulStream, LCID* pLanguage) override { return CheckStream(ulStream, pLanguage); }

 private:
  // A DVD has at most 8 audio and 32 subpicture streams.
  HRESULT CheckStream(ULONG stream, LCID* language) {
    if (language == nullptr) return E_POINTER;
    *language = 0;
    if (!rendered_) return VFW_E_DVD_GRAPHNOTREADY;
    return stream < 32 ? S_OK : E_INVALIDARG;
  }

  FilterGraph* graph_;
  bool rendered_ = false;
};

}  // namespace

HRESULT CreateFilterGraphObject(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  return AnswerNewObject(static_cast<IFilterGraph2*>(new FilterGraph), riid, ppv);
}

HRESULT CreateCaptureGraphBuilderObject(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  return AnswerNewObject(new CaptureGraphBuilder, riid, ppv);
}

HRESULT CreateDvdGraphBuilderObject(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  return AnswerNewObject(static_cast<IDvdGraphBuilder*>(new DvdGraphBuilder), riid, ppv);
}

HRESULT CreateVideoRendererObject(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  gst::EnsureStarted();
  ElementFilter* filter = MakeRendererFilter();
  if (filter == nullptr) return E_OUTOFMEMORY;
  return AnswerNewObject(static_cast<IBaseFilter*>(filter), riid, ppv);
}

HRESULT CreateVideoMixingRenderer9Object(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  gst::EnsureStarted();
  ElementFilter* filter = MakeRendererFilter(true);
  if (filter == nullptr) return E_OUTOFMEMORY;
  // The graph hears when the renderer's first input is connected, whichever input it is.
  GstPad* input = gst_element_get_static_pad(filter->element(), "Input");
  g_signal_connect(input, "linked", G_CALLBACK(&OnMixingInputLinked), nullptr);
  gst_object_unref(input);
  g_signal_connect(filter->element(), "pad-added", G_CALLBACK(&WatchMixingInput), nullptr);
  return AnswerNewObject(static_cast<IBaseFilter*>(filter), riid, ppv);
}

HRESULT CreateOverlayMixerObject(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  gst::EnsureStarted();
  GstElement* bin = gst::MakeOverlayMixerBin("Overlay Mixer");
  if (bin == nullptr) return E_OUTOFMEMORY;
  return AnswerNewObject(static_cast<IBaseFilter*>(new ElementFilter(bin, ClassIdOf(bin))), riid, ppv);
}

bool GetRendererFrame(IBaseFilter* renderer, gst::VideoFrame& frame) {
  ElementFilter* filter = OurFilter(renderer);
  if (filter == nullptr) return false;
  gst::VideoFrameStore* store = gst::RendererFrameStore(filter->element());
  return store != nullptr && store->Snapshot(frame);
}

bool GetOverlayMixerBalance(IBaseFilter* mixer, gst::BalanceValues& values) {
  ElementFilter* filter = OurFilter(mixer);
  const gst::OverlayMixerState* state = filter != nullptr ? gst::OverlayMixerStateOf(filter->element()) : nullptr;
  if (state == nullptr) return false;
  g_object_get(state->balance, "brightness", &values.brightness, "contrast", &values.contrast, "hue", &values.hue,
               "saturation", &values.saturation, nullptr);
  g_object_get(state->gamma, "gamma", &values.gamma, nullptr);
  return true;
}

HWND GetRendererWindow(IBaseFilter* renderer) {
  ElementFilter* filter = OurFilter(renderer);
  if (filter == nullptr) return nullptr;
  return static_cast<HWND>(g_object_get_data(G_OBJECT(filter->element()), kWindowMark));
}


}  // namespace win
