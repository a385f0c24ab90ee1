// Interface plumbing shared by the media graph's objects and the test fakes that stand in for them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <string>

#include "platform/dshow/dshow.h"

namespace win {

// QueryInterface of an object with one interface: hands out `self` for IUnknown and the ids
// listed, counted.
template <class Interface>
HRESULT AnswerOwnInterface(Interface* self, REFIID riid, void** ppv, std::initializer_list<IID> ids) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && std::none_of(ids.begin(), ids.end(), [&](const IID& id) { return id == riid; })) {
    return E_NOINTERFACE;
  }
  *ppv = self;
  self->AddRef();
  return S_OK;
}

// QueryInterface of a filter graph manager: the graph's interfaces, each one handed out only
// while offered(name of the interface) holds (a test stand-in may hide some).
template <class Graph, class Offered>
HRESULT AnswerGraphInterface(Graph* graph, REFIID riid, void** ppv, Offered offered) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IFilterGraph || riid == IID_IGraphBuilder || riid == IID_IFilterGraph2) {
    *ppv = static_cast<IFilterGraph2*>(graph);
  } else if (riid == IID_IMediaControl && offered("IMediaControl")) {
    *ppv = static_cast<IMediaControl*>(graph);
  } else if ((riid == IID_IMediaEventEx || riid == IID_IMediaEvent) && offered("IMediaEventEx")) {
    *ppv = static_cast<IMediaEventEx*>(graph);
  } else if (riid == IID_IMediaSeeking && offered("IMediaSeeking")) {
    *ppv = static_cast<IMediaSeeking*>(graph);
  } else if (riid == IID_IBasicAudio && offered("IBasicAudio")) {
    *ppv = static_cast<IBasicAudio*>(graph);
  } else if (riid == IID_IObjectWithSite && offered("IObjectWithSite")) {
    *ppv = static_cast<IObjectWithSite*>(graph);
  } else if (riid == IID_IServiceProvider && offered("IServiceProvider")) {
    *ppv = static_cast<IServiceProvider*>(graph);
  } else {
    return E_NOINTERFACE;
  }
  graph->AddRef();
  return S_OK;
}

// Answers the interface asked of a newly made object and drops the maker's reference, so a
// refused interface deletes the object.
inline HRESULT AnswerNewObject(IUnknown* object, REFIID riid, void** ppv) {
  const HRESULT result = object->QueryInterface(riid, ppv);
  object->Release();
  return result;
}

// IObjectWithSite::GetSite over the site an object keeps.
inline HRESULT GetKeptSite(const ComPtr<IUnknown>& site, REFIID riid, void** ppvSite) {
  if (ppvSite == nullptr) return E_POINTER;
  *ppvSite = nullptr;
  return site ? site->QueryInterface(riid, ppvSite) : E_FAIL;
}

// IServiceProvider::QueryService: services come from the kept site's own provider.
inline HRESULT QueryKeptSiteService(const ComPtr<IUnknown>& site, REFGUID guidService, REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) return E_POINTER;
  *ppvObject = nullptr;
  ComPtr<IServiceProvider> provider;
  if (!site || FAILED(site->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(provider.ReleaseAndGetAddressOf())))) {
    return E_NOINTERFACE;
  }
  return provider->QueryService(guidService, riid, ppvObject);
}

// Wide text into a fixed array (a pin or filter name), truncated, always terminated.
template <std::size_t N>
void CopyName(const std::u16string& name, WCHAR (&target)[N]) {
  const std::size_t length = std::min(name.size(), N - 1);
  std::copy_n(name.begin(), length, target);
  target[length] = 0;
}

}  // namespace win
