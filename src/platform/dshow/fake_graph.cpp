#include "platform/dshow/fake_graph.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/core/strings.h"
#include "platform/dshow/com_plumbing.h"
#include "platform/dshow/media_objects.h"
#include "platform/dshow/notify.h"
#include "platform/dshow/snapshot_enumerator.h"

namespace win::fake {

namespace {

FakeGraphScript* active_script = nullptr;

// A wide argument as the call log shows it.
std::string Logged(LPCWSTR text) { return text == nullptr ? std::string("(nil)") : Narrow(text); }

class FakeFilter;

class FakePin final : public IPin {
 public:
  FakePin(FakeFilter* owner, std::string name, PIN_DIRECTION direction)
      : owner_(owner), name_(std::move(name)), direction_(direction) {}

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
  FakePin* peer_ = nullptr;

 private:
  FakeFilter* owner_;
  std::string name_;
  PIN_DIRECTION direction_;
};

class FakeGraph;

class FakeFilter final : public IBaseFilter, public MediaObjectCount {
 public:
  FakeFilter(FakeGraphScript& script, std::string name) : script_(script), name_(std::move(name)) {}
  ~FakeFilter() override {
    for (auto& pin : pins_) {
      if (pin->peer_ != nullptr) pin->peer_->peer_ = nullptr;
    }
  }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    return AnswerOwnInterface(static_cast<IBaseFilter*>(this), riid, ppv, {IID_IBaseFilter, IID_IPersist});
  }
  ULONG AddRef() override { return CountUp(); }
  ULONG Release() override { return CountDown(); }

  HRESULT GetClassID(CLSID* pClassID) override {
    if (pClassID == nullptr) return E_POINTER;
    *pClassID = GUID_NULL;
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
  HRESULT JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR) override {
    graph_ = pGraph;
    return S_OK;
  }

  void AddPin(const std::string& name, PIN_DIRECTION direction) {
    pins_.push_back(std::make_unique<FakePin>(this, name, direction));
  }
  FakePin* Pin(const std::string& name) {
    for (auto& pin : pins_) {
      if (pin->name() == name) return pin.get();
    }
    return nullptr;
  }

  FakeGraphScript& script_;
  std::string name_;
  IFilterGraph* graph_ = nullptr;  // not counted: the graph clears it when the filter leaves
  std::vector<std::unique_ptr<FakePin>> pins_;
};

HRESULT FakePin::QueryInterface(REFIID riid, void** ppv) {
  return AnswerOwnInterface(static_cast<IPin*>(this), riid, ppv, {IID_IPin});
}
ULONG FakePin::AddRef() { return owner_->AddRef(); }
ULONG FakePin::Release() { return owner_->Release(); }

HRESULT FakePin::Disconnect() {
  owner_->script_.calls.push_back("Disconnect " + owner_->name_ + "." + name_);
  const HRESULT result = owner_->script_.ResultOf("Disconnect");
  if (FAILED(result)) return result;
  if (peer_ == nullptr) return S_FALSE;
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
    filters_.emplace_back(pFilter);
    pFilter->JoinFilterGraph(this, pName);
    return script_.ResultOf("AddFilter");
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
  HRESULT Connect(IPin*, IPin*) override { return Record("Connect"); }
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
    *pDuration = 0;
    return Record("GetDuration");
  }
  HRESULT GetCurrentPosition(LONGLONG* pCurrent) override {
    if (pCurrent == nullptr) return E_POINTER;
    *pCurrent = 0;
    return Record("GetCurrentPosition");
  }
  HRESULT SetPositions(LONGLONG*, DWORD, LONGLONG*, DWORD) override { return Record("SetPositions"); }
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
  HRESULT PlayAtTime(DVD_HMSF_TIMECODE*, DWORD, IDvdCmd** ppCmd) override {
    if (ppCmd != nullptr) *ppCmd = nullptr;
    script_.calls.push_back("PlayAtTime");
    return script_.ResultOf("PlayAtTime");
  }
  HRESULT GetTotalTitleTime(DVD_HMSF_TIMECODE* time, ULONG*) override {
    if (time == nullptr) return E_POINTER;
    *time = DVD_HMSF_TIMECODE{};
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
                              const std::vector<std::pair<std::string, PIN_DIRECTION>>& pins) {
  auto* filter = new FakeFilter(script, name);
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
