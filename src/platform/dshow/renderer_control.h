// The interfaces of our video renderer filters beyond IBaseFilter: the renderer's window
// (IVideoWindow), its source rectangle (IBasicVideo2) and, for the mixing renderer 9, its
// configuration, aspect-ratio, windowless and renderless interfaces. They act on the renderer
// bin's settings and on the window the graph gives the renderer.
#pragma once

#include "platform/dshow/dshow.h"
#include "platform/dshow/gst_forward.h"

namespace win {

// Answers one of those interfaces for `filter`, our filter over the renderer bin `bin`: a new
// counted object that keeps the filter and answers every other interface through it.
// E_NOINTERFACE for other ids, and for the mixing renderer's ids on the classic renderer.
HRESULT QueryRendererInterface(IBaseFilter* filter, GstElement* bin, REFIID riid, void** ppv);

}  // namespace win
