#include <mutex>

#include "platform/dshow/fake_graph.h"
#include "platform/dshow/media_objects.h"
#include "platform/dshow/overlay_interfaces.h"
#include "platform/dshow/video_interfaces.h"

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

HRESULT MakeVideoRenderer(REFIID riid, void** ppv) {
  if (fake::FakeGraphScript* script = fake::ActiveScript()) {
    return fake::CreateFakeVideoRenderer(*script, CLSID_VideoRenderer, riid, ppv);
  }
  return CreateVideoRendererObject(riid, ppv);
}

HRESULT MakeVideoMixingRenderer9(REFIID riid, void** ppv) {
  if (fake::FakeGraphScript* script = fake::ActiveScript()) {
    return fake::CreateFakeVideoRenderer(*script, CLSID_VideoMixingRenderer9, riid, ppv);
  }
  return CreateVideoMixingRenderer9Object(riid, ppv);
}

// No line-21 decoder exists here (the DVD source carries no caption stream): only the scripted
// graph has them.
template <const CLSID& kClass>
HRESULT MakeOverlayFilter(REFIID riid, void** ppv) {
  if (fake::FakeGraphScript* script = fake::ActiveScript()) return fake::CreateFakeOverlayFilter(*script, kClass, riid, ppv);
  if (ppv != nullptr) *ppv = nullptr;
  if (kClass == CLSID_OverlayMixer) return CreateOverlayMixerObject(riid, ppv);
  return REGDB_E_CLASSNOTREG;
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
    RegisterComClass(CLSID_VideoRenderer, &MakeVideoRenderer);
    RegisterComClass(CLSID_VideoMixingRenderer9, &MakeVideoMixingRenderer9);
    RegisterComClass(CLSID_OverlayMixer, &MakeOverlayFilter<CLSID_OverlayMixer>);
    RegisterComClass(CLSID_Line21Decoder, &MakeOverlayFilter<CLSID_Line21Decoder>);
    RegisterComClass(CLSID_Line21Decoder2, &MakeOverlayFilter<CLSID_Line21Decoder2>);
  });
}

}  // namespace win
