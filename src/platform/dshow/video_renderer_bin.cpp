#include "platform/dshow/video_renderer_bin.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include "platform/dshow/gst_caps_event.h"
#include "platform/dshow/gst_ref.h"

#include <string>
#include <utility>

namespace win::gst {

namespace {

const char kRendererMark[] = "dashtune-video-renderer";
const char kSettingsMark[] = "dashtune-renderer-settings";
const char kMixerMark[] = "dashtune-renderer-mixer";
// On a mixed input: the compositor pad it feeds while it is linked (counted).
const char kMixedPadMark[] = "dashtune-mixed-pad";
const char kConvertName[] = "convert";
const char kFirstInput[] = "Input";

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

// The stage that mixes the inputs of a renderer with several streams; both elements are children
// of the renderer bin.
struct Mixer {
  GstElement* compositor;
  GstElement* frame_size;  // a caps filter holding the first stream's size
};

void DeleteMixer(gpointer mixer) { delete static_cast<Mixer*>(mixer); }

Mixer* MixerOf(GstElement* renderer) {
  return static_cast<Mixer*>(g_object_get_data(G_OBJECT(renderer), kMixerMark));
}

void DropElement(GstElement* element) {
  if (element != nullptr) gst_object_unref(gst_object_ref_sink(element));
}

// The first stream's caps give the mixed frame its size.
GstPadProbeReturn OnFirstStreamCaps(GstPad*, GstPadProbeInfo* info, gpointer frame_size) {
  GstVideoInfo video;
  if (VideoInfoOfCapsEvent(info, &video)) {
    CapsRef size(gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, GST_VIDEO_INFO_WIDTH(&video), "height",
                                     G_TYPE_INT, GST_VIDEO_INFO_HEIGHT(&video), nullptr));
    g_object_set(frame_size, "caps", size.get(), nullptr);
  }
  return GST_PAD_PROBE_OK;
}

// A linked input joins the mix on a compositor pad of its own, above the streams before it.
void OnMixedInputLinked(GstPad* input, GstPad*, gpointer stream) {
  const ElementRef renderer(gst_pad_get_parent_element(input));
  const Mixer* mixer = renderer ? MixerOf(renderer.get()) : nullptr;
  if (mixer == nullptr || g_object_get_data(G_OBJECT(input), kMixedPadMark) != nullptr) return;
  GstPad* mixed = gst_element_request_pad_simple(mixer->compositor, "sink_%u");
  if (mixed == nullptr) return;
  const guint index = GPOINTER_TO_UINT(stream);
  g_object_set(mixed, "zorder", index, nullptr);
  if (index == 0) {
    gst_pad_add_probe(mixed, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &OnFirstStreamCaps,
                      gst_object_ref(mixer->frame_size), gst_object_unref);
  }
  gst_ghost_pad_set_target(GST_GHOST_PAD(input), mixed);
  g_object_set_data_full(G_OBJECT(input), kMixedPadMark, mixed, gst_object_unref);
}

// An unlinked input leaves the mix: the compositor waits for data on every pad it has.
void OnMixedInputUnlinked(GstPad* input, GstPad*, gpointer stream) {
  auto* mixed = static_cast<GstPad*>(g_object_steal_data(G_OBJECT(input), kMixedPadMark));
  if (mixed == nullptr) return;
  gst_ghost_pad_set_target(GST_GHOST_PAD(input), nullptr);
  if (const ElementRef compositor{gst_pad_get_parent_element(mixed)}) {
    gst_element_release_request_pad(compositor.get(), mixed);
  }
  gst_object_unref(mixed);
  const ElementRef renderer(gst_pad_get_parent_element(input));
  const Mixer* mixer = renderer ? MixerOf(renderer.get()) : nullptr;
  // Without its first stream the mix takes the size of what is left.
  if (mixer != nullptr && GPOINTER_TO_UINT(stream) == 0) g_object_set(mixer->frame_size, "caps", nullptr, nullptr);
}

void WatchMixedInput(GstPad* input, DWORD stream) {
  g_signal_connect(input, "linked", G_CALLBACK(&OnMixedInputLinked), GUINT_TO_POINTER(stream));
  g_signal_connect(input, "unlinked", G_CALLBACK(&OnMixedInputUnlinked), GUINT_TO_POINTER(stream));
}

// Puts compositor and the size filter in front of the converter; the first input, which fed the
// converter, now feeds the compositor while it is linked.
bool AddMixer(GstElement* renderer) {
  GstElement* compositor = gst_element_factory_make("compositor", nullptr);
  GstElement* frame_size = gst_element_factory_make("capsfilter", nullptr);
  const ElementRef convert(gst_bin_get_by_name(GST_BIN(renderer), kConvertName));
  const PadRef first(gst_element_get_static_pad(renderer, kFirstInput));
  if (compositor == nullptr || frame_size == nullptr || !convert || !first) {
    DropElement(compositor);
    DropElement(frame_size);
    return false;
  }
  // Parts of the frame that no stream covers stay black.
  gst_util_set_object_arg(G_OBJECT(compositor), "background", "black");
  gst_ghost_pad_set_target(GST_GHOST_PAD(first.get()), nullptr);
  gst_bin_add_many(GST_BIN(renderer), compositor, frame_size, nullptr);
  gst_element_link_many(compositor, frame_size, convert.get(), nullptr);
  g_object_set_data_full(G_OBJECT(renderer), kMixerMark, new Mixer{compositor, frame_size}, &DeleteMixer);
  WatchMixedInput(first.get(), 0);
  gst_element_sync_state_with_parent(frame_size);
  gst_element_sync_state_with_parent(compositor);
  return true;
}

void AddMixedInput(GstElement* renderer, DWORD stream) {
  const std::string name = kFirstInput + std::to_string(stream);
  GstPad* input = gst_ghost_pad_new_no_target(name.c_str(), GST_PAD_SINK);
  WatchMixedInput(input, stream);
  gst_element_add_pad(renderer, input);
}

DWORD CountInputs(GstElement* renderer) {
  GST_OBJECT_LOCK(renderer);
  const DWORD inputs = renderer->numsinkpads;
  GST_OBJECT_UNLOCK(renderer);
  return inputs;
}

}  // namespace

GstElement* MakeVideoRendererBin(const char* name, bool mixing) {
  GstElement* convert = gst_element_factory_make("videoconvert", kConvertName);
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
  gst_element_add_pad(bin, gst_ghost_pad_new(kFirstInput, target.get()));
  return bin;
}

bool SetRendererStreams(GstElement* renderer, DWORD count) {
  RendererSettings* settings = RendererSettingsOf(renderer);
  if (settings == nullptr || count < 1) return false;
  if (MixerOf(renderer) != nullptr) return count == CountInputs(renderer);
  if (count > 1) {
    if (!AddMixer(renderer)) return false;
    for (DWORD stream = 1; stream < count; ++stream) AddMixedInput(renderer, stream);
  }
  std::lock_guard<std::mutex> guard(settings->lock);
  settings->streams = count;
  return true;
}

bool RendererInputLinked(GstElement* renderer) {
  bool linked = false;
  GST_OBJECT_LOCK(renderer);
  for (GList* item = renderer->sinkpads; item != nullptr && !linked; item = item->next) {
    linked = gst_pad_is_linked(GST_PAD(item->data));
  }
  GST_OBJECT_UNLOCK(renderer);
  return linked;
}

GstPad* FreeRendererInput(GstElement* renderer) {
  if (!IsVideoRendererBin(renderer)) return nullptr;
  GstPad* found = nullptr;
  GST_OBJECT_LOCK(renderer);
  for (GList* item = renderer->sinkpads; item != nullptr && found == nullptr; item = item->next) {
    if (!gst_pad_is_linked(GST_PAD(item->data))) found = GST_PAD(gst_object_ref(item->data));
  }
  GST_OBJECT_UNLOCK(renderer);
  return found;
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
