#include "components/video/ds_util.h"

#include <cstdio>

#include "classlib/lists.h"
#include "platform/core/process.h"
#include "platform/core/strings.h"

namespace dashtune {

namespace {

void CheckListIndex(int index, int count) {
  if (index < 0 || index >= count) throw EListError(sysconst::SListIndexError, {index});
}

}  // namespace

TFilterList::TFilterList(win::IFilterGraph* graph) : graph_(graph) { Update(); }

TFilterList::~TFilterList() {
  graph_.Reset();
  items_.clear();
}

void TFilterList::Update() {
  if (!graph_) return;
  win::ComPtr<win::IEnumFilters> filters;
  if (win::FAILED(graph_->EnumFilters(filters.ReleaseAndGetAddressOf())) || !filters) return;
  win::IBaseFilter* filter = nullptr;
  while (filters->Next(1, &filter, nullptr) == win::S_OK) {
    win::ComPtr<win::IBaseFilter> held;
    held.Attach(filter);
    items_.push_back(held);
  }
}

win::IBaseFilter* TFilterList::GetItem(int index) const {
  CheckListIndex(index, GetCount());
  return items_[static_cast<std::size_t>(index)].Get();
}

int TFilterList::Add(win::IBaseFilter* filter) {
  items_.emplace_back(filter);
  return GetCount() - 1;
}

int TFilterList::Remove(win::IBaseFilter* filter) {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].Get() == filter) {
      items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
      return static_cast<int>(i);
    }
  }
  return -1;
}

TPinList::TPinList(win::IBaseFilter* filter) : filter_(filter) { Update(); }

TPinList::~TPinList() {
  filter_.Reset();
  items_.clear();
}

void TPinList::Update() {
  items_.clear();
  if (!filter_) return;
  win::ComPtr<win::IEnumPins> pins;
  if (win::FAILED(filter_->EnumPins(pins.ReleaseAndGetAddressOf())) || !pins) return;
  win::IPin* pin = nullptr;
  while (pins->Next(1, &pin, nullptr) == win::S_OK) {
    win::ComPtr<win::IPin> held;
    held.Attach(pin);
    items_.push_back(held);
  }
}

win::IPin* TPinList::GetItem(int index) const {
  CheckListIndex(index, GetCount());
  return items_[static_cast<std::size_t>(index)].Get();
}

int TPinList::Add(win::IPin* pin) {
  items_.emplace_back(pin);
  return GetCount() - 1;
}

bool TPinList::Connected(int index) const {
  win::ComPtr<win::IPin> peer;
  GetItem(index)->ConnectedTo(peer.ReleaseAndGetAddressOf());
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
