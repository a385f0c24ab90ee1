#include "components/video/ds_util.h"

#include <cstdio>

#include "platform/core/process.h"
#include "platform/core/strings.h"

namespace dashtune {

namespace {

// The entry typed as the interface the list holds.
template <class Interface>
win::ComPtr<Interface> Typed(const TInterfaceList::Item& item) {
  win::ComPtr<Interface> typed;
  if (item) item->QueryInterface(Interface::iid, reinterpret_cast<void**>(typed.ReleaseAndGetAddressOf()));
  return typed;
}

}  // namespace

TFilterList::TFilterList(win::IFilterGraph* graph) : graph_(graph) { Update(); }

TFilterList::~TFilterList() {
  graph_.Reset();
  Clear();
}

void TFilterList::Update() {
  if (!graph_) return;
  win::ComPtr<win::IEnumFilters> filters;
  if (win::FAILED(graph_->EnumFilters(filters.ReleaseAndGetAddressOf())) || !filters) return;
  win::IBaseFilter* filter = nullptr;
  while (filters->Next(1, &filter, nullptr) == win::S_OK) {
    Add(filter);
    filter->Release();
  }
}

win::ComPtr<win::IBaseFilter> TFilterList::GetItem(int index) const { return Typed<win::IBaseFilter>(Get(index)); }

int TFilterList::Add(win::IBaseFilter* filter) { return TInterfaceList::Add(Item(filter)); }

int TFilterList::Remove(win::IBaseFilter* filter) { return TInterfaceList::Remove(Item(filter)); }

TPinList::TPinList(win::IBaseFilter* filter) : filter_(filter) { Update(); }

TPinList::~TPinList() {
  filter_.Reset();
  Clear();
}

void TPinList::Update() {
  Clear();
  if (!filter_) return;
  win::ComPtr<win::IEnumPins> pins;
  if (win::FAILED(filter_->EnumPins(pins.ReleaseAndGetAddressOf())) || !pins) return;
  win::IPin* pin = nullptr;
  while (pins->Next(1, &pin, nullptr) == win::S_OK) {
    Add(pin);
    pin->Release();
  }
}

win::ComPtr<win::IPin> TPinList::GetItem(int index) const { return Typed<win::IPin>(Get(index)); }

int TPinList::Add(win::IPin* pin) { return TInterfaceList::Add(Item(pin)); }

bool TPinList::Connected(int index) const {
  win::ComPtr<win::IPin> pin = GetItem(index);
  win::ComPtr<win::IPin> peer;
  if (pin) pin->ConnectedTo(peer.ReleaseAndGetAddressOf());
  return static_cast<bool>(peer);
}

namespace video {

std::u16string GraphItemName(const void* graph) {
  char name[64];
  std::snprintf(name, sizeof name, "FilterGraph %0*llX pid %X", static_cast<int>(sizeof(void*) * 2),
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(graph)),
                static_cast<unsigned>(win::GetCurrentProcessId()));
  return win::Utf8ToUtf16(name);
}

win::HRESULT RegisterGraphInROT(win::IUnknown* graph, win::DWORD& id) {
  win::ComPtr<win::IRunningObjectTable> table;
  win::HRESULT result = win::GetRunningObjectTable(0, table.ReleaseAndGetAddressOf());
  if (win::FAILED(result)) return result;
  const std::u16string item = GraphItemName(graph);
  win::ComPtr<win::IMoniker> moniker;
  result = win::CreateItemMoniker(u"!", item.c_str(), moniker.ReleaseAndGetAddressOf());
  if (win::FAILED(result)) return result;
  return table->Register(0, graph, moniker.Get(), &id);
}

win::HRESULT UnregisterGraphFromROT(win::DWORD id) {
  win::ComPtr<win::IRunningObjectTable> table;
  const win::HRESULT result = win::GetRunningObjectTable(0, table.ReleaseAndGetAddressOf());
  if (win::FAILED(result)) return result;
  return table->Revoke(id);
}

std::string GetDSErrorText(win::HRESULT result) {
  char buffer[256] = {};
  win::AMGetErrorTextA(result, buffer, 255);
  return buffer;
}

win::HRESULT CheckDSResult(win::HRESULT result) {
  if (result >= 0) return result;
  throw EDirectShowException(GetDSErrorText(result) + " ($" + IntToHex(static_cast<std::uint32_t>(result), 1) + ").",
                             result);
}

}  // namespace video

}  // namespace dashtune
