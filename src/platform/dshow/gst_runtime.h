// One-time start of GStreamer for the media graph. The registry location comes from the
// GST_REGISTRY environment variable when it is set (the build keeps it in the build directory).
#pragma once

namespace win::gst {

// Initialises GStreamer once per process; later calls do nothing. Answers false when GStreamer
// could not start (no plugins can be found, for instance).
bool EnsureStarted();

}  // namespace win::gst
