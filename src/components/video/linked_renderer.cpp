#include "components/video/linked_renderer.h"

namespace dashtune {

win::HRESULT TLinkedVideoControl::QueryInterface(win::REFIID riid, void** ppv) {
  return video::AnswerGraphControl(this, this, renderer_.Get(), riid, ppv);
}

void TLinkedVideoControl::SetFilterGraph(TFilterGraph* Value) { video::RelinkControl(this, this, this, filter_graph_, Value); }

void TLinkedVideoControl::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent != nullptr && AComponent == filter_graph_) filter_graph_ = nullptr;
}

namespace video {

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

}  // namespace video

}  // namespace dashtune
