#include "components/video/filter_graph.h"

#include <algorithm>

#include "components/video/ds_util.h"
#include "platform/core/locale.h"
#include "platform/core/strings.h"
#include "platform/dshow/graph_log.h"
#include "platform/dshow/media_objects.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"

namespace dashtune {

using win::ComPtr;
using win::HRESULT;
using win::LONG;
using win::LONG_PTR;
using video::CheckDSResult;

namespace {

// IMediaControl.GetState answers after at most this long; 0 asks for the state as it is.
constexpr LONG kStateQueryTimeout = 0;
// GetLocaleInfoA: the language's English name.
constexpr win::DWORD kLocaleEnglishLanguage = 0x1001;

bool IsOne(LONG_PTR value) { return value == 1; }

}  // namespace

// The graph's log goes into the component's file stream; the stream stays the component's.
class TFilterGraph::LogTarget final : public win::GraphLogTarget {
 public:
  explicit LogTarget(TFileStream* stream) : stream_(stream) {}
  void WriteLine(const std::string& line) override {
    if (stream_ == nullptr) return;
    const std::string text = line + "\n";
    try {
      stream_->WriteBuffer(text.data(), static_cast<int>(text.size()));
    } catch (const Exception&) {
      // A full disk ends the log, not the playback.
      stream_ = nullptr;
    }
  }
  void Detach() { stream_ = nullptr; }

 private:
  TFileStream* stream_;
};

TFilterGraph::TFilterGraph(TComponent* AOwner) : TComponent(AOwner) {
  win::RegisterMediaGraphClasses();
  notify_window_ = AllocateHWnd([this](TMessage& Message) { NotifyWindowProc(Message); });
  volume_ = 10000;
  balance_ = 0;
  rate_ = 1.0;
  linear_volume_ = true;
}

TFilterGraph::~TFilterGraph() {
  try {
    SetActive(false);
  } catch (...) {
    // The teardown went through and its failure is in the log: a graph that is freed cannot
    // report further.
  }
  DeallocateHWnd(notify_window_);
  notify_window_ = nullptr;
}

void TFilterGraph::Loaded() {
  if (auto_create_ && !GetComponentState().Contains(csDesigning)) SetActive(true);
  TComponent::Loaded();
}

// ---- interfaces ----

template <class Interface>
ComPtr<Interface> TFilterGraph::Ask(const win::IID& iid) {
  ComPtr<Interface> result;
  QueryInterface(iid, reinterpret_cast<void**>(result.ReleaseAndGetAddressOf()));
  return result;
}

HRESULT TFilterGraph::QueryInterface(win::REFIID riid, void** ppv) {
  if (ppv == nullptr) return win::E_POINTER;
  *ppv = nullptr;
  if (riid == win::IID_IUnknown || riid == win::IID_IServiceProvider) {
    *ppv = static_cast<win::IServiceProvider*>(this);
    return win::S_OK;
  }
  if (riid == win::IID_IAMFilterGraphCallback) {
    *ppv = static_cast<win::IAMFilterGraphCallback*>(this);
    return win::S_OK;
  }
  if (riid == win::IID_IAMGraphBuilderCallback) {
    *ppv = static_cast<win::IAMGraphBuilderCallback*>(this);
    return win::S_OK;
  }
  if (!active_) return win::E_NOINTERFACE;
  // Only objects that were created are asked.
  switch (mode_) {
    case gmNormal:
      break;
    case gmCapture:
      if (capture_builder_ && win::SUCCEEDED(capture_builder_->QueryInterface(riid, ppv))) return win::S_OK;
      break;
    case gmDVD:
      if (dvd_builder_) {
        if (win::SUCCEEDED(dvd_builder_->QueryInterface(riid, ppv))) return win::S_OK;
        if (win::SUCCEEDED(dvd_builder_->GetDvdInterface(riid, ppv))) return win::S_OK;
      }
      break;
  }
  if (graph_ && win::SUCCEEDED(graph_->QueryInterface(riid, ppv))) return win::S_OK;
  *ppv = nullptr;
  return win::E_NOINTERFACE;
}

// ---- activation ----

void TFilterGraph::SetActive(bool value) {
  if (value == active_) return;
  if (value) {
    Activate();
  } else {
    Deactivate();
  }
}

void TFilterGraph::Activate() {
  switch (mode_) {
    case gmNormal:
      win::CoCreateInstance(win::CLSID_FilterGraph, nullptr, win::CLSCTX_INPROC_SERVER, win::IID_IFilterGraph2,
                            reinterpret_cast<void**>(graph_.ReleaseAndGetAddressOf()));
      break;
    case gmCapture:
      win::CoCreateInstance(win::CLSID_CaptureGraphBuilder2, nullptr, win::CLSCTX_INPROC_SERVER,
                            win::IID_ICaptureGraphBuilder2,
                            reinterpret_cast<void**>(capture_builder_.ReleaseAndGetAddressOf()));
      win::CoCreateInstance(win::CLSID_FilterGraph, nullptr, win::CLSCTX_INPROC_SERVER, win::IID_IFilterGraph2,
                            reinterpret_cast<void**>(graph_.ReleaseAndGetAddressOf()));
      if (capture_builder_ && graph_) capture_builder_->SetFiltergraph(graph_.Get());
      break;
    case gmDVD: {
      win::CoCreateInstance(win::CLSID_DvdGraphBuilder, nullptr, win::CLSCTX_INPROC_SERVER, win::IID_IDvdGraphBuilder,
                            reinterpret_cast<void**>(dvd_builder_.ReleaseAndGetAddressOf()));
      if (dvd_builder_) {
        ComPtr<win::IGraphBuilder> builder_graph;
        dvd_builder_->GetFiltergraph(builder_graph.ReleaseAndGetAddressOf());
        if (builder_graph) {
          builder_graph->QueryInterface(win::IID_IFilterGraph2, reinterpret_cast<void**>(graph_.ReleaseAndGetAddressOf()));
        }
      }
      break;
    }
  }
  active_ = true;

  media_event_ = Ask<win::IMediaEventEx>(win::IID_IMediaEventEx);
  if (media_event_) {
    media_event_->SetNotifyFlags(0);
    media_event_->SetNotifyWindow(reinterpret_cast<win::OAHWND>(notify_window_), WM_GRAPHNOTIFY,
                                  reinterpret_cast<LONG_PTR>(media_event_.Get()));
  }

  if (ComPtr<win::IObjectWithSite> site = Ask<win::IObjectWithSite>(win::IID_IObjectWithSite)) {
    if (ComPtr<win::IAMGraphBuilderCallback> builder_callback =
            Ask<win::IAMGraphBuilderCallback>(win::IID_IAMGraphBuilderCallback)) {
      site->SetSite(builder_callback.Get());
    }
    if (ComPtr<win::IAMFilterGraphCallback> graph_callback =
            Ask<win::IAMFilterGraphCallback>(win::IID_IAMFilterGraphCallback)) {
      site->SetSite(graph_callback.Get());
    }
  }

  SetGraphEdit(graph_edit_);
  SetLogFile(log_file_name_);
  InsertAllLinkedFilters();
  if (OnActivate) OnActivate(this);
  NotifyControlEvent(gcActivation, 1);
}

// Every step runs even when one fails, so the graph never stays half active; the first failure
// is raised at the end.
void TFilterGraph::Deactivate() {
  std::exception_ptr failure;
  try {
    NotifyControlEvent(gcActivation, 0);
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    RemoveAllLinkedFilters();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (media_event_) {
    media_event_->SetNotifyFlags(win::AM_MEDIAEVENT_NONOTIFY);
    media_event_.Reset();
  }
  if (rot_id_ != 0) {
    video::UnregisterGraphFromROT(rot_id_);
    rot_id_ = 0;
  }
  if (graph_) graph_->SetLogFile(0);
  CloseLog();
  // The graph's site refers back to this component; a graph kept alive elsewhere must not call it.
  if (ComPtr<win::IObjectWithSite> site = Ask<win::IObjectWithSite>(win::IID_IObjectWithSite)) site->SetSite(nullptr);
  graph_.Reset();
  capture_builder_.Reset();
  dvd_builder_.Reset();
  active_ = false;
  if (failure) std::rethrow_exception(failure);
}

void TFilterGraph::SetMode(TGraphMode value) {
  if (value == mode_) return;
  const bool was_active = active_;
  SetActive(false);
  mode_ = value;
  SetActive(was_active);
}

void TFilterGraph::SetGraphEdit(bool value) {
  if (!value) {
    if (rot_id_ != 0) {
      video::UnregisterGraphFromROT(rot_id_);
      rot_id_ = 0;
    }
  } else if (active_ && graph_ && rot_id_ == 0) {
    video::RegisterGraphInROT(graph_.Get(), rot_id_);
  }
  graph_edit_ = value;
}

void TFilterGraph::SetLogFile(const std::string& value) {
  if (active_ && graph_) {
    graph_->SetLogFile(0);
    CloseLog();
    if (!value.empty()) {
      try {
        log_stream_ = std::make_unique<TFileStream>(value, fmCreate);
        log_target_ = std::make_shared<LogTarget>(log_stream_.get());
        log_handle_ = win::InsertHandle(log_target_);
        CheckDSResult(graph_->SetLogFile(reinterpret_cast<win::DWORD_PTR>(log_handle_)));
      } catch (const Exception&) {
        // A log that cannot be had is no reason to fail: the old name stays.
        graph_->SetLogFile(0);
        CloseLog();
        return;
      }
    }
  }
  log_file_name_ = value;
}

void TFilterGraph::CloseLog() {
  if (log_target_) log_target_->Detach();
  if (log_handle_ != nullptr) win::CloseHandle(log_handle_);
  log_handle_ = nullptr;
  log_target_.reset();
  log_stream_.reset();
}

// ---- linked filters and listeners ----

void TFilterGraph::InsertLinkedFilter(ILinkedFilter* link) {
  link->NotifyFilter(lfAdding, 0);
  const std::u16string name = win::Utf8ToUtf16(link->GetFilterName());
  ComPtr<win::IBaseFilter> filter = link->GetFilter();
  if (graph_) graph_->AddFilter(filter.Get(), name.c_str());
  link->NotifyFilter(lfAdded, 0);
}

// A filter whose preparation to leave fails (a stalled engine refuses to stop) still leaves and
// is released; the failure goes to the log and is raised afterwards.
void TFilterGraph::RemoveLinkedFilterFromGraph(ILinkedFilter* link) {
  std::exception_ptr failure;
  try {
    link->NotifyFilter(lfRemoving, 0);
  } catch (...) {
    failure = std::current_exception();
    LogFailure("Removing " + link->GetFilterName(), failure);
  }
  ComPtr<win::IBaseFilter> filter = link->GetFilter();
  if (graph_) graph_->RemoveFilter(filter.Get());
  link->NotifyFilter(lfRemoved, 0);
  if (failure) std::rethrow_exception(failure);
}

void TFilterGraph::InsertAllLinkedFilters() {
  if (!linked_filters_) return;
  // A snapshot: a control's notification may change the list.
  const std::vector<ComPtr<ILinkedFilter>> links = *linked_filters_;
  for (const ComPtr<ILinkedFilter>& link : links) InsertLinkedFilter(link.Get());
}

void TFilterGraph::RemoveAllLinkedFilters() {
  if (!linked_filters_) return;
  const std::vector<ComPtr<ILinkedFilter>> links = *linked_filters_;
  std::exception_ptr failure;
  for (const ComPtr<ILinkedFilter>& link : links) {
    try {
      RemoveLinkedFilterFromGraph(link.Get());
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void TFilterGraph::LogFailure(const std::string& what, const std::exception_ptr& failure) {
  if (!log_target_) return;
  std::string message = "unknown failure";
  try {
    std::rethrow_exception(failure);
  } catch (const Exception& error) {
    message = error.GetMessage();
  } catch (const std::exception& error) {
    message = error.what();
  } catch (...) {
  }
  log_target_->WriteLine(what + " failed: " + message);
}

void TFilterGraph::ReportError(HRESULT Result) {
  pending_errors_.push_back(Result);
  win::PostMessageA(notify_window_, WM_GRAPHNOTIFY, 0, 0);
}

void TFilterGraph::AddLinkedFilter(ILinkedFilter* link) {
  if (link == nullptr) return;
  if (!linked_filters_) linked_filters_ = std::make_unique<std::vector<ComPtr<ILinkedFilter>>>();
  linked_filters_->emplace_back(link);
  if (active_) InsertLinkedFilter(link);
}

void TFilterGraph::RemoveLinkedFilter(ILinkedFilter* link) {
  if (!linked_filters_) return;
  auto found = std::find_if(linked_filters_->begin(), linked_filters_->end(),
                            [link](const ComPtr<ILinkedFilter>& item) { return item.Get() == link; });
  if (found == linked_filters_->end()) return;
  ComPtr<ILinkedFilter> keep = *found;
  linked_filters_->erase(found);
  if (active_) RemoveLinkedFilterFromGraph(link);
  if (linked_filters_->empty()) linked_filters_.reset();
}

void TFilterGraph::AddListener(IGraphListener* listener) {
  if (listener == nullptr) return;
  if (!listeners_) listeners_ = std::make_unique<std::vector<ComPtr<IGraphListener>>>();
  listeners_->emplace_back(listener);
}

void TFilterGraph::RemoveListener(IGraphListener* listener) {
  if (!listeners_) return;
  auto found = std::find_if(listeners_->begin(), listeners_->end(),
                            [listener](const ComPtr<IGraphListener>& item) { return item.Get() == listener; });
  if (found != listeners_->end()) listeners_->erase(found);
  if (listeners_->empty()) listeners_.reset();
}

void TFilterGraph::NotifyGraphEvent(LONG Event, LONG_PTR Param1, LONG_PTR Param2) {
  if (!listeners_) return;
  const std::vector<ComPtr<IGraphListener>> listeners = *listeners_;
  for (const ComPtr<IGraphListener>& listener : listeners) listener->GraphEvent(Event, Param1, Param2);
}

void TFilterGraph::NotifyControlEvent(TGraphControlEvent Event, LONG_PTR Param) {
  if (!listeners_) return;
  const std::vector<ComPtr<IGraphListener>> listeners = *listeners_;
  for (const ComPtr<IGraphListener>& listener : listeners) listener->ControlEvent(Event, Param);
}

// ---- audio and rate ----

void TFilterGraph::SetLinearVolume(bool value) {
  if (value == linear_volume_) return;
  linear_volume_ = value;
  SetVolume(volume_);
  SetBalance(balance_);
}

void TFilterGraph::SetVolume(int value) {
  volume_ = std::clamp(value, 0, 10000);
  if (ComPtr<win::IBasicAudio> audio = Ask<win::IBasicAudio>(win::IID_IBasicAudio)) {
    audio->put_Volume(linear_volume_ ? video::LinearToDSVolume(volume_) : volume_ - 10000);
  }
}

void TFilterGraph::SetBalance(int value) {
  balance_ = std::clamp(value, -10000, 10000);
  if (ComPtr<win::IBasicAudio> audio = Ask<win::IBasicAudio>(win::IID_IBasicAudio)) {
    audio->put_Balance(linear_volume_ ? video::LinearToDSBalance(balance_) : balance_);
  }
}

void TFilterGraph::SetRate(double value) {
  rate_ = value;
  if (ComPtr<win::IMediaSeeking> seeking = Ask<win::IMediaSeeking>(win::IID_IMediaSeeking)) seeking->SetRate(rate_);
}

void TFilterGraph::ReapplyAudioSettings() {
  SetVolume(volume_);
  SetBalance(balance_);
  SetRate(rate_);
}

// ---- playback ----

bool TFilterGraph::Play() {
  ComPtr<win::IMediaControl> control = Ask<win::IMediaControl>(win::IID_IMediaControl);
  if (!control) return false;
  NotifyControlEvent(gcPlay, 0);
  return CheckDSResult(control->Run()) >= 0;
}

bool TFilterGraph::Pause() {
  ComPtr<win::IMediaControl> control = Ask<win::IMediaControl>(win::IID_IMediaControl);
  if (!control) return false;
  NotifyControlEvent(gcPause, 0);
  return CheckDSResult(control->Pause()) == win::S_OK;
}

bool TFilterGraph::Stop() {
  ComPtr<win::IMediaControl> control = Ask<win::IMediaControl>(win::IID_IMediaControl);
  if (!control) return false;
  NotifyControlEvent(gcStop, 0);
  return CheckDSResult(control->Stop()) == win::S_OK;
}

TFilterGraphState TFilterGraph::GetState() {
  ComPtr<win::IMediaControl> control = Ask<win::IMediaControl>(win::IID_IMediaControl);
  if (!control) return gsUninitialized;
  win::OAFilterState state = win::State_Stopped;
  control->GetState(kStateQueryTimeout, &state);
  switch (state) {
    case win::State_Stopped: return gsStopped;
    case win::State_Paused: return gsPaused;
    case win::State_Running: return gsPlaying;
    default: return gsUninitialized;
  }
}

HRESULT TFilterGraph::RenderFile(const std::u16string& FileName) {
  if (!graph_) return win::S_FALSE;
  NotifyControlEvent(gcFileRendering, 0);
  const HRESULT result = CheckDSResult(graph_->RenderFile(FileName.c_str(), nullptr));
  ReapplyAudioSettings();
  NotifyControlEvent(gcFileRendered, 0);
  return result;
}

HRESULT TFilterGraph::RenderDVD(win::AM_DVD_RENDERSTATUS& status, const std::u16string& FileName, int Flags) {
  if (!dvd_builder_) return win::VFW_E_DVD_RENDERFAIL;
  NotifyControlEvent(gcDVDRendering, Flags);
  const HRESULT result = CheckDSResult(dvd_builder_->RenderDvdVideoVolume(
      FileName.empty() ? nullptr : FileName.c_str(), static_cast<win::DWORD>(Flags), &status));
  if (result == win::S_OK || result == win::S_FALSE) {
    NotifyControlEvent(gcDVDRendered, Flags);
    ReapplyAudioSettings();
  }
  return result;
}

void TFilterGraph::DisconnectAllPins() {
  if (!graph_) return;
  TFilterList filters(graph_.Get());
  for (int i = 0; i < filters.GetCount(); ++i) {
    TPinList pins(filters.GetItem(i).Get());
    for (int j = 0; j < pins.GetCount(); ++j) {
      if (win::ComPtr<win::IPin> pin = pins.GetItem(j)) CheckDSResult(pin->Disconnect());
    }
  }
}

void TFilterGraph::ClearGraph() {
  if (!graph_) return;
  Stop();
  DisconnectAllPins();
  TFilterList filters(graph_.Get());
  if (linked_filters_) {
    for (const ComPtr<ILinkedFilter>& link : *linked_filters_) {
      ComPtr<win::IBaseFilter> filter = link->GetFilter();
      if (filter) filters.Remove(filter.Get());
    }
  }
  for (int i = 0; i < filters.GetCount(); ++i) CheckDSResult(graph_->RemoveFilter(filters.GetItem(i).Get()));
}

// ---- builder callbacks and services ----

HRESULT TFilterGraph::QueryService(win::REFGUID guidService, win::REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) return win::E_POINTER;
  *ppvObject = nullptr;
  if (guidService == IID_IFilterGraphOwner && riid == IID_IFilterGraphOwner) {
    *ppvObject = this;
    return win::S_OK;
  }
  return win::E_NOINTERFACE;
}

HRESULT TFilterGraph::UnableToRender(win::IPin* pPin) {
  if (pPin == nullptr) return win::S_FALSE;
  win::PIN_INFO pin_info;
  if (win::FAILED(pPin->QueryPinInfo(&pin_info)) || pin_info.pFilter == nullptr) return win::S_FALSE;
  ComPtr<win::IBaseFilter> filter;
  filter.Attach(pin_info.pFilter);
  win::FILTER_INFO filter_info;
  if (win::FAILED(filter->QueryFilterInfo(&filter_info)) || filter_info.pGraph == nullptr) return win::S_FALSE;
  ComPtr<win::IFilterGraph> graph;
  graph.Attach(filter_info.pGraph);
  ComPtr<win::IServiceProvider> provider;
  if (win::FAILED(graph->QueryInterface(win::IID_IServiceProvider, reinterpret_cast<void**>(provider.ReleaseAndGetAddressOf())))) {
    return win::S_FALSE;
  }
  void* owner = nullptr;
  if (win::FAILED(provider->QueryService(IID_IFilterGraphOwner, IID_IFilterGraphOwner, &owner)) || owner == nullptr) {
    return win::S_FALSE;
  }
  auto* owning_graph = static_cast<TFilterGraph*>(owner);
  if (owning_graph->OnUnableToRender && owning_graph->OnUnableToRender(pPin)) return win::S_OK;
  return win::S_FALSE;
}

HRESULT TFilterGraph::SelectedFilter(win::IMoniker* pMon) {
  if (!OnSelectedFilter) return win::S_OK;
  win::GUID class_id = win::GUID_NULL;
  std::u16string name;
  ComPtr<win::IPropertyBag> bag;
  if (pMon != nullptr &&
      win::SUCCEEDED(pMon->BindToStorage(nullptr, nullptr, win::IID_IPropertyBag, reinterpret_cast<void**>(bag.ReleaseAndGetAddressOf()))) &&
      bag) {
    win::VARIANT value;
    if (win::SUCCEEDED(bag->Read(u"CLSID", &value, nullptr)) && value.vt == win::VT_BSTR) {
      bool parsed = false;
      class_id = win::ParseGuid(win::Utf16ToUtf8(value.bstrVal), parsed);
    }
    win::VARIANT friendly;
    if (win::SUCCEEDED(bag->Read(u"FriendlyName", &friendly, nullptr)) && friendly.vt == win::VT_BSTR) {
      name = friendly.bstrVal;
    }
  }
  return OnSelectedFilter(pMon, name, class_id) ? win::S_OK : win::E_FAIL;
}

HRESULT TFilterGraph::CreatedFilter(win::IBaseFilter* pFil) {
  if (!OnCreatedFilter) return win::S_OK;
  win::GUID class_id = win::GUID_NULL;
  if (pFil != nullptr) pFil->GetClassID(&class_id);
  return OnCreatedFilter(pFil, class_id) ? win::S_OK : win::E_FAIL;
}

// ---- graph events ----

void TFilterGraph::NotifyWindowProc(TMessage& Message) {
  if (Message.Msg == WM_GRAPHNOTIFY) {
    try {
      PumpGraphEvents();
    } catch (...) {
      Application->HandleException(this);
    }
    Message.Result = 0;
  } else {
    Message.Result = win::DefWindowProcA(notify_window_, Message.Msg, Message.WParam, Message.LParam);
  }
}

void TFilterGraph::PumpGraphEvents() {
  // Failures reported by the graph's own clients come first, as error events.
  while (!pending_errors_.empty()) {
    const HRESULT result = pending_errors_.front();
    pending_errors_.pop_front();
    try {
      HandleEvent(win::EC_ERRORABORT, result, 0);
    } catch (...) {
      Application->HandleException(this);
    }
  }
  // Every queued event is handled and freed: a handler's exception goes to the application's
  // exception handling and the next event follows, so the completion never waits for another
  // notification.
  while (media_event_) {
    LONG code = 0;
    LONG_PTR param1 = 0;
    LONG_PTR param2 = 0;
    ComPtr<win::IMediaEventEx> events = media_event_;
    if (events->GetEvent(&code, &param1, &param2, 0) != win::S_OK) break;
    try {
      HandleEvent(code, param1, param2);
    } catch (...) {
      events->FreeEventParams(code, param1, param2);
      Application->HandleException(this);
      continue;
    }
    events->FreeEventParams(code, param1, param2);
  }
}

void TFilterGraph::HandleEvent(LONG Event, LONG_PTR Param1, LONG_PTR Param2) {
  NotifyGraphEvent(Event, Param1, Param2);
  if (OnDSEvent) OnDSEvent(this, Event, Param1, Param2);
  if (Event >= win::EC_DVD_DOMAIN_CHANGE && Event <= win::EC_DVD_KARAOKE_MODE) {
    DispatchDvdEvent(Event, Param1, Param2);
  } else {
    DispatchGraphEvent(Event, Param1, Param2);
  }
}

void TFilterGraph::DispatchGraphEvent(LONG Event, LONG_PTR Param1, LONG_PTR Param2) {
  const auto result1 = static_cast<HRESULT>(Param1);
  const auto value2 = static_cast<std::uint32_t>(Param2);
  switch (Event) {
    case win::EC_COMPLETE:
      if (OnGraphComplete) OnGraphComplete(this, result1, reinterpret_cast<win::IBaseFilter*>(Param2));
      break;
    case win::EC_USERABORT:
      if (OnGraphUserAbort) OnGraphUserAbort(this);
      break;
    case win::EC_ERRORABORT:
      if (OnGraphErrorAbort) OnGraphErrorAbort(this, result1);
      break;
    case win::EC_STREAM_ERROR_STOPPED:
      if (OnGraphStreamErrorStopped) OnGraphStreamErrorStopped(this, result1, value2);
      break;
    case win::EC_STREAM_ERROR_STILLPLAYING:
      if (OnGraphStreamErrorStillPlaying) OnGraphStreamErrorStillPlaying(this, result1, value2);
      break;
    case win::EC_ERROR_STILLPLAYING:
      if (OnGraphErrorStillPlaying) OnGraphErrorStillPlaying(this, result1);
      break;
    case win::EC_PALETTE_CHANGED:
      if (OnGraphPaletteChanged) OnGraphPaletteChanged(this);
      break;
    case win::EC_VIDEO_SIZE_CHANGED:
      if (OnGraphVideoSizeChanged) {
        OnGraphVideoSizeChanged(this, win::LOWORD(static_cast<win::DWORD_PTR>(Param1)),
                                win::HIWORD(static_cast<win::DWORD_PTR>(Param1)));
      }
      break;
    case win::EC_QUALITY_CHANGE:
      if (OnGraphQualityChange) OnGraphQualityChange(this);
      break;
    case win::EC_CLOCK_CHANGED:
      if (OnGraphClockChanged) OnGraphClockChanged(this);
      break;
    case win::EC_PAUSED:
      if (OnGraphPaused) OnGraphPaused(this, result1);
      break;
    case win::EC_OPENING_FILE:
      if (OnGraphOpeningFile) OnGraphOpeningFile(this, IsOne(Param1));
      break;
    case win::EC_BUFFERING_DATA:
      if (OnGraphBufferingData) OnGraphBufferingData(this, IsOne(Param1));
      break;
    case win::EC_FULLSCREEN_LOST:
      if (OnGraphFullscreenLost) OnGraphFullscreenLost(this, reinterpret_cast<win::IBaseFilter*>(Param2));
      break;
    case win::EC_OLE_EVENT:
      if (OnGraphOleEvent) {
        // The strings arrive as pointers; a missing one reads as empty.
        const auto* first = reinterpret_cast<const char16_t*>(Param1);
        const auto* second = reinterpret_cast<const char16_t*>(Param2);
        OnGraphOleEvent(this, first != nullptr ? std::u16string(first) : std::u16string(),
                        second != nullptr ? std::u16string(second) : std::u16string());
      }
      break;
    case win::EC_STREAM_CONTROL_STOPPED:
      if (OnGraphStreamControlStopped) OnGraphStreamControlStopped(this, reinterpret_cast<win::IPin*>(Param1), value2);
      break;
    case win::EC_STREAM_CONTROL_STARTED:
      if (OnGraphStreamControlStarted) OnGraphStreamControlStarted(this, reinterpret_cast<win::IPin*>(Param1), value2);
      break;
    case win::EC_END_OF_SEGMENT:
      // The stream time is read through a pointer: without one there is nothing to report.
      if (OnGraphEndOfSegment && Param1 != 0) {
        OnGraphEndOfSegment(this, *reinterpret_cast<const std::int64_t*>(Param1), value2);
      }
      break;
    case win::EC_DEVICE_LOST:
      if (OnGraphDeviceLost) OnGraphDeviceLost(this, reinterpret_cast<win::IUnknown*>(Param1), IsOne(Param2));
      break;
    case win::EC_STEP_COMPLETE:
      if (OnGraphStepComplete) OnGraphStepComplete(this);
      break;
    case win::EC_TIMECODE_AVAILABLE:
      if (OnGraphTimeCodeAvailable) OnGraphTimeCodeAvailable(this, reinterpret_cast<win::IBaseFilter*>(Param1), value2);
      break;
    case win::EC_EXTDEVICE_MODE_CHANGE:
      if (OnGraphEXTDeviceModeChange) OnGraphEXTDeviceModeChange(this, static_cast<std::uint32_t>(Param1), value2);
      break;
    case win::EC_GRAPH_CHANGED:
      if (OnGraphChanged) OnGraphChanged(this);
      break;
    case win::EC_CLOCK_UNSET:
      if (OnGraphClockUnset) OnGraphClockUnset(this);
      break;
    case win::EC_VMR_RENDERDEVICE_SET:
      if (OnGraphVMRRenderDevice) OnGraphVMRRenderDevice(this, static_cast<int>(Param1));
      break;
    case win::EC_SNDDEV_IN_ERROR:
      if (OnGraphSNDDevInError) OnGraphSNDDevInError(this, static_cast<_tagSND_DEVICE_ERROR>(Param1), value2);
      break;
    case win::EC_SNDDEV_OUT_ERROR:
      if (OnGraphSNDDevOutError) OnGraphSNDDevOutError(this, static_cast<_tagSND_DEVICE_ERROR>(Param1), value2);
      break;
    default:
      break;
  }
}

void TFilterGraph::RaiseStreamLanguage(LONG Event, LONG_PTR Param1) {
  ComPtr<win::IDvdInfo2> info = Ask<win::IDvdInfo2>(win::IID_IDvdInfo2);
  if (!info) return;
  win::LCID lcid = 0;
  const auto stream = static_cast<win::ULONG>(Param1);
  if (Event == win::EC_DVD_AUDIO_STREAM_CHANGE) {
    CheckDSResult(info->GetAudioLanguage(stream, &lcid));
  } else {
    info->GetSubpictureLanguage(stream, &lcid);
  }
  char language[260] = {};
  win::GetLocaleInfoA(lcid, kLocaleEnglishLanguage, language, sizeof language);
  if (Event == win::EC_DVD_AUDIO_STREAM_CHANGE) {
    OnDVDAudioStreamChange(this, static_cast<int>(Param1), static_cast<int>(lcid), language);
  } else {
    OnDVDSubpictureStreamChange(this, static_cast<int>(Param1), static_cast<int>(lcid), language);
  }
}

void TFilterGraph::DispatchDvdEvent(LONG Event, LONG_PTR Param1, LONG_PTR Param2) {
  const int value1 = static_cast<int>(Param1);
  const int value2 = static_cast<int>(Param2);
  auto raise = [this](const TNotifyEvent& handler) {
    if (handler) handler(this);
  };
  switch (Event) {
    case win::EC_DVD_DOMAIN_CHANGE:
      switch (Param1) {
        case win::DVD_DOMAIN_FirstPlay: raise(OnDVDDomainFirstPlay); break;
        case win::DVD_DOMAIN_VideoManagerMenu: raise(OnDVDDomainVideoManagerMenu); break;
        case win::DVD_DOMAIN_VideoTitleSetMenu: raise(OnDVDDomainVideoTitleSetMenu); break;
        case win::DVD_DOMAIN_Title: raise(OnDVDDomainTitle); break;
        case win::DVD_DOMAIN_Stop: raise(OnDVDDomainStop); break;
        default: break;
      }
      break;
    case win::EC_DVD_TITLE_CHANGE:
      if (OnDVDTitleChange) OnDVDTitleChange(this, value1);
      break;
    case win::EC_DVD_CHAPTER_START:
      if (OnDVDChapterStart) OnDVDChapterStart(this, value1);
      break;
    case win::EC_DVD_AUDIO_STREAM_CHANGE:
      if (OnDVDAudioStreamChange) RaiseStreamLanguage(Event, Param1);
      break;
    case win::EC_DVD_SUBPICTURE_STREAM_CHANGE:
      if (OnDVDSubpictureStreamChange) RaiseStreamLanguage(Event, Param1);
      break;
    case win::EC_DVD_ANGLE_CHANGE:
      if (OnDVDAngleChange) OnDVDAngleChange(this, value1, value2);
      break;
    case win::EC_DVD_BUTTON_CHANGE:
      if (OnDVDButtonChange) OnDVDButtonChange(this, value1, value2);
      break;
    case win::EC_DVD_VALID_UOPS_CHANGE:
      if (OnDVDValidUOPSChange) OnDVDValidUOPSChange(this, value1);
      break;
    case win::EC_DVD_STILL_ON:
      if (OnDVDStillOn) OnDVDStillOn(this, IsOne(Param1), value2);
      break;
    case win::EC_DVD_STILL_OFF:
      raise(OnDVDStillOff);
      break;
    case win::EC_DVD_CURRENT_TIME:
      if (OnDVDCurrentTime) {
        win::tagDVD_TIMECODE digits;
        video::SplitDVDTimeCode(static_cast<win::DWORD>(Param1), digits);
        const int frame_rate = digits.FrameRateCode == 1 ? 25 : digits.FrameRateCode == 3 ? 30 : 0;
        OnDVDCurrentTime(this, digits.Hours1 + 10 * digits.Hours10, digits.Minutes1 + 10 * digits.Minutes10,
                         digits.Seconds1 + 10 * digits.Seconds10, digits.Frames1 + 10 * digits.Frames10, frame_rate);
      }
      break;
    case win::EC_DVD_ERROR:
      switch (Param1) {
        case 1: raise(OnDVDErrorUnexpected); break;
        case 3: raise(OnDVDErrorInvalidDVD1_0Disc); break;
        case 5: raise(OnDVDErrorLowParentalLevel); break;
        default: break;
      }
      break;
    case win::EC_DVD_WARNING:
      switch (Param1) {
        case 1: raise(OnDVDWarningInvalidDVD1_0Disc); break;
        case 2: raise(OnDVDWarningFormatNotSupported); break;
        case 3: raise(OnDVDWarningIllegalNavCommand); break;
        case 4: raise(OnDVDWarningOpen); break;
        case 5: raise(OnDVDWarningSeek); break;
        case 6: raise(OnDVDWarningRead); break;
        default: break;
      }
      break;
    case win::EC_DVD_CHAPTER_AUTOSTOP:
      raise(OnDVDChapterAutoStop);
      break;
    case win::EC_DVD_NO_FP_PGC:
      raise(OnDVDNoFP_PGC);
      break;
    case win::EC_DVD_PLAYBACK_RATE_CHANGE:
      if (OnDVDPlaybackRateChange) OnDVDPlaybackRateChange(this, static_cast<float>(value1 / 10000.0));
      break;
    case win::EC_DVD_PARENTAL_LEVEL_CHANGE:
      if (OnDVDParentalLevelChange) OnDVDParentalLevelChange(this, value1);
      break;
    case win::EC_DVD_PLAYBACK_STOPPED:
      raise(OnDVDPlaybackStopped);
      break;
    case win::EC_DVD_ANGLES_AVAILABLE:
      if (OnDVDAnglesAvailable) OnDVDAnglesAvailable(this, IsOne(Param1));
      break;
    case win::EC_DVD_PLAYPERIOD_AUTOSTOP:
      raise(OnDVDPlayPeriodAutoStop);
      break;
    case win::EC_DVD_BUTTON_AUTO_ACTIVATED:
      if (OnDVDButtonAutoActivated) OnDVDButtonAutoActivated(this, static_cast<std::uint32_t>(Param1));
      break;
    case win::EC_DVD_CMD_START:
      if (OnDVDCMDStart) OnDVDCMDStart(this, static_cast<std::uint32_t>(Param1));
      break;
    case win::EC_DVD_CMD_END:
      if (OnDVDCMDEnd) OnDVDCMDEnd(this, static_cast<std::uint32_t>(Param1));
      break;
    case win::EC_DVD_DISC_EJECTED:
      raise(OnDVDDiscEjected);
      break;
    case win::EC_DVD_DISC_INSERTED:
      raise(OnDVDDiscInserted);
      break;
    case win::EC_DVD_CURRENT_HMSF_TIME:
      if (OnDVDCurrentHMSFTime) {
        const auto packed = static_cast<win::DWORD>(Param1);
        win::tagDVD_HMSF_TIMECODE hmsf;
        hmsf.bHours = static_cast<win::BYTE>(packed & 0xFF);
        hmsf.bMinutes = static_cast<win::BYTE>((packed >> 8) & 0xFF);
        hmsf.bSeconds = static_cast<win::BYTE>((packed >> 16) & 0xFF);
        hmsf.bFrames = static_cast<win::BYTE>((packed >> 24) & 0xFF);
        win::tagDVD_TIMECODE digits;
        video::SplitDVDTimeCode(static_cast<win::DWORD>(Param2), digits);
        OnDVDCurrentHMSFTime(this, hmsf, digits);
      }
      break;
    case win::EC_DVD_KARAOKE_MODE:
      if (OnDVDKaraokeMode) OnDVDKaraokeMode(this, Param1 != 0);
      break;
    default:
      break;
  }
}

namespace video {

void RelinkControl(TComponent* control, ILinkedFilter* filter, IGraphListener* listener, TFilterGraph*& graph,
                   TFilterGraph* value) {
  if (value == graph) return;
  std::exception_ptr failure;
  if (graph != nullptr) {
    // The filter has left (and been released) even when its leaving failed: the control leaves
    // the graph's lists in any case, so the graph never calls a control that has gone.
    try {
      if (filter != nullptr) graph->RemoveLinkedFilter(filter);
    } catch (...) {
      failure = std::current_exception();
    }
    graph->RemoveListener(listener);
    graph->RemoveFreeNotification(control);
  }
  if (value != nullptr) {
    if (filter != nullptr) value->AddLinkedFilter(filter);
    value->AddListener(listener);
    value->FreeNotification(control);
  }
  graph = value;
  if (failure) std::rethrow_exception(failure);
}

void UnlinkControlQuietly(TComponent* control, ILinkedFilter* filter, IGraphListener* listener, TFilterGraph*& graph) {
  TFilterGraph* const old = graph;
  try {
    RelinkControl(control, filter, listener, graph, nullptr);
  } catch (const EDirectShowException& error) {
    old->ReportError(error.ErrorCode);
  } catch (const EDSMediaException& error) {
    old->ReportError(error.ErrorCode != 0 ? error.ErrorCode : win::E_FAIL);
  } catch (...) {
    old->ReportError(win::E_FAIL);
  }
}

win::HRESULT AnswerGraphControl(ILinkedFilter* filter, IGraphListener* listener, win::IBaseFilter* renderer,
                                win::REFIID riid, void** ppv) {
  if (ppv == nullptr) return win::E_POINTER;
  *ppv = nullptr;
  if (riid == win::IID_IUnknown || riid == IID_ILinkedFilter) {
    *ppv = filter;
    return win::S_OK;
  }
  if (riid == IID_IGraphListener) {
    *ppv = listener;
    return win::S_OK;
  }
  return renderer != nullptr ? renderer->QueryInterface(riid, ppv) : win::E_NOINTERFACE;
}

}  // namespace video

}  // namespace dashtune
