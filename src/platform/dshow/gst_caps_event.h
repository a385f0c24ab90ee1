// Reading the video format out of a caps event seen by a pad probe.
#pragma once

#include <gst/gst.h>
#include <gst/video/video.h>

namespace win::gst {

// The video format a probed caps event carries; false for any other event or caps.
inline bool VideoInfoOfCapsEvent(GstPadProbeInfo* info, GstVideoInfo* video) {
  GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
  if (event == nullptr || GST_EVENT_TYPE(event) != GST_EVENT_CAPS) return false;
  GstCaps* caps = nullptr;
  gst_event_parse_caps(event, &caps);
  return caps != nullptr && gst_video_info_from_caps(video, caps);
}

}  // namespace win::gst
