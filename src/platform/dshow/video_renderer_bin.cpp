#include "platform/dshow/video_renderer_bin.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include "platform/dshow/gst_ref.h"

namespace win::gst {

namespace {

const char kRendererMark[] = "dashtune-video-renderer";

GstFlowReturn StoreSample(GstSample* sample, VideoFrameStore* store) {
  if (sample == nullptr) return GST_FLOW_ERROR;
  GstVideoInfo info;
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  GstCaps* caps = gst_sample_get_caps(sample);
  GstMapInfo map;
  if (buffer != nullptr && caps != nullptr && gst_video_info_from_caps(&info, caps) &&
      gst_buffer_map(buffer, &map, GST_MAP_READ)) {
    store->Store(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info),
                 GST_VIDEO_INFO_PLANE_STRIDE(&info, 0), map.data, map.size);
    gst_buffer_unmap(buffer, &map);
  }
  gst_sample_unref(sample);
  return GST_FLOW_OK;
}

GstFlowReturn OnPreroll(GstAppSink* sink, gpointer store) {
  return StoreSample(gst_app_sink_pull_preroll(sink), static_cast<VideoFrameStore*>(store));
}

GstFlowReturn OnSample(GstAppSink* sink, gpointer store) {
  return StoreSample(gst_app_sink_pull_sample(sink), static_cast<VideoFrameStore*>(store));
}

void DeleteStore(gpointer store) { delete static_cast<VideoFrameStore*>(store); }

}  // namespace

GstElement* MakeVideoRendererBin(const char* name) {
  GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
  GstElement* sink = gst_element_factory_make("appsink", nullptr);
  if (convert == nullptr || sink == nullptr) {
    if (convert != nullptr) gst_object_unref(gst_object_ref_sink(convert));
    if (sink != nullptr) gst_object_unref(gst_object_ref_sink(sink));
    return nullptr;
  }
  GstElement* bin = gst_bin_new(name);
  auto* store = new VideoFrameStore;
  // The store goes with the bin; the app sink inside stops calling before the bin is freed.
  g_object_set_data_full(G_OBJECT(bin), kRendererMark, store, &DeleteStore);
  gst_bin_add_many(GST_BIN(bin), convert, sink, nullptr);
  gst_element_link(convert, sink);

  CapsRef caps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr));
  g_object_set(sink, "caps", caps.get(), "sync", TRUE, "max-buffers", 2u, "drop", TRUE, nullptr);
  GstAppSinkCallbacks callbacks{};
  callbacks.new_preroll = OnPreroll;
  callbacks.new_sample = OnSample;
  gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, store, nullptr);

  PadRef target(gst_element_get_static_pad(convert, "sink"));
  gst_element_add_pad(bin, gst_ghost_pad_new("Input", target.get()));
  return bin;
}

VideoFrameStore* RendererFrameStore(GstElement* element) {
  if (element == nullptr) return nullptr;
  return static_cast<VideoFrameStore*>(g_object_get_data(G_OBJECT(element), kRendererMark));
}

bool IsVideoRendererBin(GstElement* element) { return RendererFrameStore(element) != nullptr; }

}  // namespace win::gst
