// What the video controls share in handling the renderer they contribute to a TFilterGraph.
#pragma once

#include <string>

#include "classlib/controls.h"
#include "components/video/filter_graph.h"
#include "platform/dshow/dshow.h"

namespace dashtune {

// A control that shows a TFilterGraph's video: it gives the graph its renderer filter
// (ILinkedFilter) and hears the graph's events (IGraphListener).
class TLinkedVideoControl : public TCustomControl, public ILinkedFilter, public IGraphListener {
 public:
  using TCustomControl::TCustomControl;

  // IUnknown: the control's own interfaces, then the renderer filter's. Counting never frees the
  // control: its owner does.
  win::HRESULT QueryInterface(win::REFIID riid, void** ppv) override;
  win::ULONG AddRef() override { return 2; }
  win::ULONG Release() override { return 1; }

  TFilterGraph* GetFilterGraph() const { return filter_graph_; }
  void SetFilterGraph(TFilterGraph* Value);

  // ILinkedFilter
  win::ComPtr<win::IBaseFilter> GetFilter() override { return renderer_; }
  std::string GetFilterName() override { return GetName(); }

 protected:
  // Forgets the graph when it goes.
  void Notification(TComponent* AComponent, TOperation Operation) override;

  TFilterGraph* filter_graph_ = nullptr;  // not owned
  win::ComPtr<win::IBaseFilter> renderer_;
};

namespace video {

// Asks an object for an interface (nil object: E_NOINTERFACE); `result` holds it on success.
template <class Interface>
win::HRESULT Ask(win::IUnknown* object, win::ComPtr<Interface>& result) {
  if (object == nullptr) return win::E_NOINTERFACE;
  return object->QueryInterface(Interface::iid, reinterpret_cast<void**>(result.ReleaseAndGetAddressOf()));
}

bool IsFilterClass(win::IBaseFilter* filter, const win::CLSID& class_id);

// After a DVD render the graph builder may have brought renderers of its own instead of taking the
// control's: answers the graph to look for them in, or nil while `own_renderer` belongs to a graph
// or there is no graph to look in.
win::ComPtr<win::IFilterGraph> GraphWithoutOwnRenderer(win::IBaseFilter* own_renderer, TFilterGraph* graph);

}  // namespace video

}  // namespace dashtune
