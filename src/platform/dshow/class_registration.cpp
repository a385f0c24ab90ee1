#include <mutex>

#include "platform/dshow/fake_graph.h"
#include "platform/dshow/media_objects.h"

namespace win {

namespace {

// While a test installs the scripted graph, the graph classes make fakes.
HRESULT MakeFilterGraph(REFIID riid, void** ppv) {
  if (fake::FakeGraphScript* script = fake::ActiveScript()) return fake::CreateFakeFilterGraph(*script, riid, ppv);
  return CreateFilterGraphObject(riid, ppv);
}

HRESULT MakeCaptureGraphBuilder(REFIID riid, void** ppv) {
  if (fake::FakeGraphScript* script = fake::ActiveScript()) return fake::CreateFakeCaptureGraphBuilder(*script, riid, ppv);
  return CreateCaptureGraphBuilderObject(riid, ppv);
}

HRESULT MakeDvdGraphBuilder(REFIID riid, void** ppv) {
  if (fake::FakeGraphScript* script = fake::ActiveScript()) return fake::CreateFakeDvdGraphBuilder(*script, riid, ppv);
  return CreateDvdGraphBuilderObject(riid, ppv);
}

}  // namespace

void RegisterMediaGraphClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterComClass(CLSID_FilterGraph, &MakeFilterGraph);
    RegisterComClass(CLSID_CaptureGraphBuilder2, &MakeCaptureGraphBuilder);
    RegisterComClass(CLSID_DvdGraphBuilder, &MakeDvdGraphBuilder);
    RegisterComClass(CLSID_VideoRenderer, &CreateVideoRendererObject);
  });
}

}  // namespace win
