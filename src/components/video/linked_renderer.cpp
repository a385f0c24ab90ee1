#include "components/video/linked_renderer.h"

namespace dashtune::video {

bool IsFilterClass(win::IBaseFilter* filter, const win::CLSID& class_id) {
  win::CLSID actual{};
  return filter != nullptr && win::SUCCEEDED(filter->GetClassID(&actual)) && actual == class_id;
}

win::ComPtr<win::IFilterGraph> GraphWithoutOwnRenderer(win::IBaseFilter* own_renderer, TFilterGraph* graph) {
  if (own_renderer != nullptr) {
    win::FILTER_INFO info;
    if (win::SUCCEEDED(own_renderer->QueryFilterInfo(&info)) && info.pGraph != nullptr) {
      info.pGraph->Release();
      return nullptr;
    }
  }
  win::ComPtr<win::IFilterGraph> filter_graph;
  if (graph == nullptr ||
      win::FAILED(graph->QueryInterface(win::IID_IFilterGraph, reinterpret_cast<void**>(filter_graph.ReleaseAndGetAddressOf())))) {
    return nullptr;
  }
  return filter_graph;
}

}  // namespace dashtune::video
