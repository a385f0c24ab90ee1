// The element behind the default video renderer filter: converts decoded video to 32-bit BGRx
// and hands every frame (the preroll frame included) to a frame store.
#pragma once

#include "platform/dshow/gst_forward.h"

#include "platform/dshow/video_frame_store.h"

namespace win::gst {

// Makes a bin with one sink pad "Input" feeding an app sink, and a frame store that lives as
// long as the bin. The bin carries a mark so that rendering finds it as a video renderer already
// in a graph. Answers a floating reference, or null when an element is missing.
GstElement* MakeVideoRendererBin(const char* name);

// The frame store of a bin made by MakeVideoRendererBin; null for any other element.
VideoFrameStore* RendererFrameStore(GstElement* element);
bool IsVideoRendererBin(GstElement* element);

}  // namespace win::gst
