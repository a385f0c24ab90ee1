// The objects behind the media graph's interfaces, on GStreamer: the filter graph manager, its
// filters and pins, the default video renderer, the capture and DVD graph builders.
#pragma once

#include <atomic>

#include "platform/dshow/dshow.h"
#include "platform/dshow/video_frame_store.h"

namespace win::gst {
struct BalanceValues;
}

namespace win {

// Intrusive counting for the objects of this area: the last Release deletes the object.
class MediaObjectCount {
 public:
  virtual ~MediaObjectCount() = default;

 protected:
  ULONG CountUp() { return ++references_; }
  // Counts up only while the object is alive (the count is not 0); false for a dying object.
  bool CountUpIfAlive() {
    ULONG current = references_.load();
    while (current != 0) {
      if (references_.compare_exchange_weak(current, current + 1)) return true;
    }
    return false;
  }
  ULONG CountDown() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> references_{1};
};

// Creation functions, one per class id; each answers the interface asked for.
HRESULT CreateFilterGraphObject(REFIID riid, void** ppv);
HRESULT CreateCaptureGraphBuilderObject(REFIID riid, void** ppv);
HRESULT CreateDvdGraphBuilderObject(REFIID riid, void** ppv);
HRESULT CreateVideoRendererObject(REFIID riid, void** ppv);
HRESULT CreateVideoMixingRenderer9Object(REFIID riid, void** ppv);
HRESULT CreateOverlayMixerObject(REFIID riid, void** ppv);

// Makes the graph classes known to CoCreateInstance (once; later calls do nothing).
void RegisterMediaGraphClasses();

// The newest frame a default video renderer received; false for other filters or before the
// first frame.
bool GetRendererFrame(IBaseFilter* renderer, gst::VideoFrame& frame);
// The window of a default video renderer in a graph (class "VideoRenderer"), or null.
HWND GetRendererWindow(IBaseFilter* renderer);
// The values an overlay mixer's balance and gamma elements hold; false for other filters.
bool GetOverlayMixerBalance(IBaseFilter* mixer, gst::BalanceValues& values);

}  // namespace win
