#include "platform/dshow/video_renderer_bin.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include "platform/dshow/gst_ref.h"

#include <utility>

namespace win::gst {

namespace {

const char kRendererMark[] = "dashtune-video-renderer";
const char kSettingsMark[] = "dashtune-renderer-settings";

// What a renderer's sink callbacks reach: its store and its settings (both live with the bin).
struct SinkTarget {
  VideoFrameStore* store;
  RendererSettings* settings;
};

// A renderless renderer hands each frame to its allocator instead of keeping it.
bool PresentToAllocator(RendererSettings& settings, int width, int height, int stride, const std::uint8_t* data) {
  ComPtr<IVMRSurfaceAllocator9> allocator;
  DWORD_PTR user_id = 0;
  {
    std::lock_guard<std::mutex> guard(settings.lock);
    if (settings.mode != VMR9Mode_Renderless || !settings.allocator) return false;
    allocator = settings.allocator;
    user_id = settings.allocator_user_id;
  }
  // Frames are handed over packed: BGRx rows of exactly width pixels.
  if (stride != width * 4) return true;
  const VMR9PresentationFrame frame{width, height, reinterpret_cast<const std::uint32_t*>(data)};
  allocator->PresentImage(user_id, &frame);
  return true;
}

GstFlowReturn StoreSample(GstSample* sample, const SinkTarget* target) {
  if (sample == nullptr) return GST_FLOW_ERROR;
  GstVideoInfo info;
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  GstCaps* caps = gst_sample_get_caps(sample);
  GstMapInfo map;
  if (buffer != nullptr && caps != nullptr && gst_video_info_from_caps(&info, caps) &&
      gst_buffer_map(buffer, &map, GST_MAP_READ)) {
    const int width = GST_VIDEO_INFO_WIDTH(&info);
    const int height = GST_VIDEO_INFO_HEIGHT(&info);
    const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    const bool whole = width > 0 && height > 0 && static_cast<std::size_t>(stride) * height <= map.size;
    if (!whole || !PresentToAllocator(*target->settings, width, height, stride, map.data)) {
      target->store->Store(width, height, stride, map.data, map.size);
    }
    gst_buffer_unmap(buffer, &map);
  }
  gst_sample_unref(sample);
  return GST_FLOW_OK;
}

GstFlowReturn OnPreroll(GstAppSink* sink, gpointer target) {
  return StoreSample(gst_app_sink_pull_preroll(sink), static_cast<SinkTarget*>(target));
}

GstFlowReturn OnSample(GstAppSink* sink, gpointer target) {
  return StoreSample(gst_app_sink_pull_sample(sink), static_cast<SinkTarget*>(target));
}

void DeleteStore(gpointer store) { delete static_cast<VideoFrameStore*>(store); }
void DeleteSettings(gpointer settings) { delete static_cast<RendererSettings*>(settings); }
void DeleteTarget(gpointer target) { delete static_cast<SinkTarget*>(target); }

}  // namespace

GstElement* MakeVideoRendererBin(const char* name, bool mixing) {
  GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
  GstElement* sink = gst_element_factory_make("appsink", nullptr);
  if (convert == nullptr || sink == nullptr) {
    if (convert != nullptr) gst_object_unref(gst_object_ref_sink(convert));
    if (sink != nullptr) gst_object_unref(gst_object_ref_sink(sink));
    return nullptr;
  }
  GstElement* bin = gst_bin_new(name);
  auto* store = new VideoFrameStore;
  auto* settings = new RendererSettings;
  settings->mixing = mixing;
  // The mixing renderer stretches until told to keep the aspect.
  settings->keep_aspect = !mixing;
  // Store and settings go with the bin; the app sink inside stops calling before the bin is freed.
  g_object_set_data_full(G_OBJECT(bin), kRendererMark, store, &DeleteStore);
  g_object_set_data_full(G_OBJECT(bin), kSettingsMark, settings, &DeleteSettings);
  gst_bin_add_many(GST_BIN(bin), convert, sink, nullptr);
  gst_element_link(convert, sink);

  CapsRef caps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr));
  g_object_set(sink, "caps", caps.get(), "sync", TRUE, "max-buffers", 2u, "drop", TRUE, nullptr);
  GstAppSinkCallbacks callbacks{};
  callbacks.new_preroll = OnPreroll;
  callbacks.new_sample = OnSample;
  gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, new SinkTarget{store, settings}, &DeleteTarget);

  PadRef target(gst_element_get_static_pad(convert, "sink"));
  gst_element_add_pad(bin, gst_ghost_pad_new("Input", target.get()));
  return bin;
}

VideoFrameStore* RendererFrameStore(GstElement* element) {
  if (element == nullptr) return nullptr;
  return static_cast<VideoFrameStore*>(g_object_get_data(G_OBJECT(element), kRendererMark));
}

RendererSettings::~RendererSettings() {
  if (overlay_mixer != nullptr) gst_object_unref(overlay_mixer);
}

void SetRendererOverlay(GstElement* renderer, GstElement* overlay_mixer) {
  RendererSettings* settings = RendererSettingsOf(renderer);
  if (settings == nullptr) return;
  GstElement* old = nullptr;
  {
    std::lock_guard<std::mutex> guard(settings->lock);
    old = std::exchange(settings->overlay_mixer,
                        overlay_mixer != nullptr ? GST_ELEMENT(gst_object_ref(overlay_mixer)) : nullptr);
  }
  if (old != nullptr) gst_object_unref(old);
}

RendererSettings* RendererSettingsOf(GstElement* element) {
  if (element == nullptr) return nullptr;
  return static_cast<RendererSettings*>(g_object_get_data(G_OBJECT(element), kSettingsMark));
}

bool IsVideoRendererBin(GstElement* element) { return RendererFrameStore(element) != nullptr; }

}  // namespace win::gst
