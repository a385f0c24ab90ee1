// What the video controls share in handling the renderer they contribute to a TFilterGraph.
#pragma once

#include "components/video/filter_graph.h"
#include "platform/dshow/dshow.h"

namespace dashtune::video {

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

}  // namespace dashtune::video
