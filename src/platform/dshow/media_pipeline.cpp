#include "platform/dshow/media_pipeline.h"
#include "platform/dshow/event_codes.h"
#include "platform/dshow/gst_caps_event.h"
#include "platform/dshow/gst_ref.h"
#include "platform/dshow/gst_runtime.h"
#include "platform/dshow/video_renderer_bin.h"

#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace win::gst {

namespace {

constexpr auto kPrerollLimit = std::chrono::milliseconds(MediaPipeline::kPrerollLimitMs);
constexpr auto kSettleLimit = std::chrono::milliseconds(MediaPipeline::kSettleLimitMs);
constexpr GstClockTime kMs = GST_MSECOND;
const char kAudioRendererMark[] = "dashtune-audio-renderer";
// Marks the sinks that discard the streams nothing renders.
const char kDiscardingSinkMark[] = "dashtune-discarding-sink";

// Results carried by error events: a generic failure and a missing file.
constexpr LONG_PTR kErrorAbortResult = static_cast<LONG_PTR>(static_cast<std::int32_t>(0x80004005u));
constexpr LONG_PTR kFileNotFoundResult = static_cast<LONG_PTR>(static_cast<std::int32_t>(0x80070002u));
// The result carried when the engine did not finish a call in time.
constexpr LONG_PTR kTimeoutResult = static_cast<LONG_PTR>(static_cast<std::int32_t>(0x8004026Eu));

bool CapsStartWith(GstCaps* caps, const char* prefix) {
  if (caps == nullptr || gst_caps_get_size(caps) == 0) return false;
  const char* name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
  return name != nullptr && std::strncmp(name, prefix, std::strlen(prefix)) == 0;
}

CapsRef PadCaps(GstPad* pad) {
  GstCaps* caps = gst_pad_get_current_caps(pad);
  if (caps == nullptr) caps = gst_pad_query_caps(pad, nullptr);
  return CapsRef(caps);
}

GstElement* MakeElement(const char* factory, const char* name = nullptr) {
  return gst_element_factory_make(factory, name);
}

// Decibels in hundredths to an amplitude factor; -10000 is silence.
double AmplitudeOf(long hundredths_db) {
  if (hundredths_db <= -10000) return 0.0;
  return std::pow(10.0, static_cast<double>(hundredths_db) / 2000.0);
}

// The simple panorama attenuates one channel by 1 - |p|: attenuating the left channel by
// `balance` hundredths of a decibel gives p = 1 - amplitude.
double PanoramaOf(long balance) {
  const double attenuation = 1.0 - AmplitudeOf(-std::labs(balance));
  return balance >= 0 ? attenuation : -attenuation;
}

// Sends an upstream event into one of the element's outputs. An event sent to the pipeline goes
// to every sink and upstream from each; the DVD source does not know the copies for one seek and
// would flush all its streams once per sink.
bool SendUpstreamOnce(GstElement* element, GstEvent* event) {
  GstPad* output = nullptr;
  GstIterator* pads = gst_element_iterate_src_pads(element);
  GValue item = G_VALUE_INIT;
  if (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) output = GST_PAD(g_value_dup_object(&item));
  g_value_unset(&item);
  gst_iterator_free(pads);
  if (output == nullptr) {
    gst_event_unref(event);
    return false;
  }
  const bool sent = gst_pad_send_event(output, event);
  gst_object_unref(output);
  return sent;
}

// Ends an element and takes it out of the bin that holds it (the caller holds a reference);
// locked meanwhile, so that the bin does not bring it back up. False when no bin held it.
bool EndAndTakeOut(GstElement* element) {
  gst_element_set_locked_state(element, TRUE);
  gst_element_set_state(element, GST_STATE_NULL);
  GstObject* parent = gst_object_get_parent(GST_OBJECT(element));
  const bool removed = parent != nullptr && gst_bin_remove(GST_BIN(parent), element);
  if (parent != nullptr) gst_object_unref(parent);
  gst_element_set_locked_state(element, FALSE);
  return removed;
}

// "Title 2, Chapter 3" as the DVD source tags its streams.
bool ParseDvdTitle(const char* text, int* title, int* chapter) {
  return text != nullptr && std::sscanf(text, "Title %d, Chapter %d", title, chapter) == 2;
}

// The local path a file name stands for: a "file:" URI decoded to its bytes, any other name as
// it is. Empty when the URI is malformed or names a file on another host.
std::string LocalPathOf(const std::string& name) {
  if (name.rfind("file:", 0) != 0) return name;
  gchar* host = nullptr;
  gchar* path = g_filename_from_uri(name.c_str(), &host, nullptr);
  const bool local = path != nullptr && (host == nullptr || std::strcmp(host, "localhost") == 0);
  std::string result = local ? std::string(path) : std::string();
  g_free(host);
  g_free(path);
  return result;
}

}  // namespace

// GStreamer's signal and probe callbacks, with access to the pipeline they serve.
struct PipelineSignals {
  static GstBusSyncReply OnBusMessage(GstBus* bus, GstMessage* message, gpointer self);
  static void OnPadAdded(GstElement* element, GstPad* pad, gpointer self);
  static void OnNoMorePads(GstElement* element, gpointer self);
  static void OnUnknownType(GstElement* element, GstPad* pad, GstCaps* caps, gpointer self);
  static gint OnAutoplugSelect(GstElement* bin, GstPad* pad, GstCaps* caps, GstElementFactory* factory,
                               gpointer self);
  static void OnElementAdded(GstBin* bin, GstElement* element, gpointer self);
  static GstPadProbeReturn OnVideoCaps(GstPad* pad, GstPadProbeInfo* info, gpointer self);
};

void ElementUnref::operator()(GstElement* element) const {
  if (element != nullptr) gst_object_unref(element);
}

struct MediaPipeline::PendingQuestion {
  std::function<bool()> question;
  bool answer = false;
  bool done = false;
};

DWORD PackHmsf(std::int64_t position_ns, int frames_per_second) {
  if (position_ns < 0) position_ns = 0;
  const std::int64_t seconds_total = position_ns / 1000000000;
  const std::int64_t fraction_ns = position_ns % 1000000000;
  const DWORD hours = static_cast<DWORD>(std::min<std::int64_t>(seconds_total / 3600, 99));
  const DWORD minutes = static_cast<DWORD>((seconds_total / 60) % 60);
  const DWORD seconds = static_cast<DWORD>(seconds_total % 60);
  const DWORD frames = frames_per_second > 0
                           ? static_cast<DWORD>(fraction_ns * frames_per_second / 1000000000)
                           : 0;
  return hours | (minutes << 8) | (seconds << 16) | (frames << 24);
}

DWORD PackDvdTimeCode(std::int64_t position_ns, int frames_per_second) {
  const DWORD hmsf = PackHmsf(position_ns, frames_per_second);
  const DWORD hours = hmsf & 0xFF;
  const DWORD minutes = (hmsf >> 8) & 0xFF;
  const DWORD seconds = (hmsf >> 16) & 0xFF;
  const DWORD frames = (hmsf >> 24) & 0xFF;
  const DWORD rate_code = frames_per_second == 25 ? 1 : frames_per_second == 30 ? 3 : 0;
  return ((hours % 10) << 28) | ((hours / 10) << 24) | ((minutes % 10) << 20) |
         ((minutes / 10) << 16) | ((seconds % 10) << 12) | ((seconds / 10) << 8) |
         ((frames % 10) << 4) | (((frames / 10) & 0x3) << 2) | rate_code;
}

MediaPipeline::MediaPipeline(EventSink sink, RendererFactory renderer_factory)
    : sink_(std::move(sink)), renderer_factory_(std::move(renderer_factory)) {
  EnsureStarted();
  pipeline_ = gst_pipeline_new(nullptr);
  gst_object_ref_sink(pipeline_);
  BusRef bus(gst_pipeline_get_bus(GST_PIPELINE(pipeline_)));
  gst_bus_set_sync_handler(bus.get(), &PipelineSignals::OnBusMessage, this, nullptr);
}

MediaPipeline::~MediaPipeline() {
  StopDvdClock();
  DetachOwner();
  GstElement* pipeline = pipeline_;
  worker_.Call([pipeline] { gst_element_set_state(pipeline, GST_STATE_NULL); }, std::nullopt);
  BusRef bus(gst_pipeline_get_bus(GST_PIPELINE(pipeline_)));
  gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
  gst_object_unref(pipeline_);
}

void MediaPipeline::Discard(std::unique_ptr<MediaPipeline> pipeline) {
  if (!pipeline) return;
  pipeline->StopDvdClock();
  pipeline->DetachOwner();
  {
    std::lock_guard<std::mutex> guard(pipeline->lock_);
    pipeline->halting_ = true;
  }
  GstElement* element = pipeline->pipeline_;
  // Behind a stuck call the teardown could only wait out the limit.
  if (!pipeline->EngineStuck() &&
      pipeline->worker_.Call([element] { gst_element_set_state(element, GST_STATE_NULL); }, kSettleLimit))
    return;
  // The engine holds on: the worker frees the pipeline after its last engine call returns.
  MediaPipeline* left = pipeline.release();
  left->worker_.Post([left] { delete left; });
}

void MediaPipeline::DetachOwner() {
  std::unique_lock<std::mutex> guard(lock_);
  owner_detached_ = true;
  owner_calls_done_.wait(guard, [&] { return owner_calls_ == 0; });
}

bool MediaPipeline::EngineStuck() {
  std::lock_guard<std::mutex> guard(lock_);
  if (stalled_ && !worker_.Busy()) stalled_ = false;
  return stalled_;
}

bool MediaPipeline::EngineCall(std::function<void()> call) {
  if (EngineStuck()) return false;
  if (worker_.Call(std::move(call), kSettleLimit)) return true;
  {
    std::lock_guard<std::mutex> guard(lock_);
    stalled_ = true;
  }
  Emit(EC_ERRORABORT, kTimeoutResult, 0);
  return false;
}

bool MediaPipeline::ChangeState(EngineState state) {
  const GstState target = state == EngineState::kReady    ? GST_STATE_READY
                          : state == EngineState::kPaused ? GST_STATE_PAUSED
                                                          : GST_STATE_PLAYING;
  auto result = std::make_shared<GstStateChangeReturn>(GST_STATE_CHANGE_FAILURE);
  GstElement* pipeline = pipeline_;
  if (!EngineCall([pipeline, target, result] { *result = gst_element_set_state(pipeline, target); })) return false;
  return *result != GST_STATE_CHANGE_FAILURE;
}

bool MediaPipeline::Halt() {
  GstState current = GST_STATE_VOID_PENDING;
  GstState pending = GST_STATE_VOID_PENDING;
  gst_element_get_state(pipeline_, &current, &pending, 0);
  {
    std::lock_guard<std::mutex> guard(lock_);
    state_ = PlayState::kStopped;
    pause_requested_ = false;
    halting_ = true;
  }
  const bool halted =
      (current <= GST_STATE_READY && pending == GST_STATE_VOID_PENDING) || ChangeState(EngineState::kReady);
  std::lock_guard<std::mutex> guard(lock_);
  halting_ = false;
  return halted;
}

// ---- filters ----

bool MediaPipeline::AddElement(GstElement* element) {
  if (element == nullptr || GST_OBJECT_PARENT(element) != nullptr) return false;
  if (!gst_bin_add(GST_BIN(pipeline_), element)) return false;
  gst_element_sync_state_with_parent(element);
  return true;
}

bool MediaPipeline::RemoveElement(GstElement* element) {
  if (element == nullptr || GST_OBJECT_PARENT(element) != GST_OBJECT(pipeline_)) return false;
  // A streaming thread may hold the element's pads while it waits in a paused renderer: only a
  // halted pipeline lets go of every element.
  if (!Halt()) return false;
  auto removed = std::make_shared<bool>(false);
  auto* held = GST_ELEMENT(gst_object_ref(element));
  const bool finished = EngineCall([held, removed] {
    *removed = EndAndTakeOut(held);
    gst_object_unref(held);
  });
  if (!finished || !*removed) return false;
  if (element == dvd_source_) {
    StopDvdClock();
    std::lock_guard<std::mutex> guard(lock_);
    dvd_ = false;
    dvd_source_ = nullptr;
  }
  std::lock_guard<std::mutex> guard(lock_);
  std::erase_if(volume_elements_, [&](GstElement* e) { return gst_object_has_as_ancestor(GST_OBJECT(e), GST_OBJECT(element)); });
  std::erase_if(panorama_elements_, [&](GstElement* e) { return gst_object_has_as_ancestor(GST_OBJECT(e), GST_OBJECT(element)); });
  return true;
}

bool MediaPipeline::TakeOver(GstElement* element) {
  if (element == nullptr) return false;
  auto moved = std::make_shared<bool>(false);
  GstElement* pipeline = pipeline_;
  auto* held = GST_ELEMENT(gst_object_ref(element));
  const bool finished = EngineCall([pipeline, held, moved] {
    if (EndAndTakeOut(held)) *moved = gst_bin_add(GST_BIN(pipeline), held);
    gst_object_unref(held);
  });
  return finished && *moved;
}

bool MediaPipeline::Live() const {
  GstState current = GST_STATE_VOID_PENDING;
  GstState pending = GST_STATE_VOID_PENDING;
  gst_element_get_state(pipeline_, &current, &pending, 0);
  return current >= GST_STATE_PAUSED || pending >= GST_STATE_PAUSED;
}

bool MediaPipeline::Paused() const {
  GstState current = GST_STATE_VOID_PENDING;
  GstState pending = GST_STATE_VOID_PENDING;
  gst_element_get_state(pipeline_, &current, &pending, 0);
  return current == GST_STATE_PAUSED && pending != GST_STATE_PLAYING;
}

std::vector<OwnedElement> MediaPipeline::Elements() const {
  std::vector<OwnedElement> elements;
  GST_OBJECT_LOCK(pipeline_);
  // The bin keeps its newest child first; the graph lists filters in the order they came.
  for (GList* item = GST_BIN_CHILDREN(pipeline_); item != nullptr; item = item->next) {
    elements.insert(elements.begin(), OwnedElement(GST_ELEMENT(gst_object_ref(item->data))));
  }
  GST_OBJECT_UNLOCK(pipeline_);
  return elements;
}

// ---- rendering ----

// Readies the pipeline for a new branch; false when the engine is stuck. A prerolled pipeline
// is only paused: its decoders keep their streams linked to their renderers (brought to the
// ready state, a decoder drops its streams and exposes them again as new pads, which would leave
// the renderers they fed unlinked, holding up every later preroll).
bool MediaPipeline::BeginRender() {
  if (Live()) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      state_ = PlayState::kStopped;
      pause_requested_ = false;
    }
    if (!ChangeState(EngineState::kPaused)) return false;
  } else if (!Halt()) {
    return false;
  }
  std::lock_guard<std::mutex> guard(lock_);
  failed_render_.reset();
  stop_ns_.reset();  // a new medium plays to its end
  rendering_ = true;
  render_thread_ = std::this_thread::get_id();
  streams_rendered_ = 0;
  streams_unrendered_ = 0;
  no_more_pads_ = false;
  render_failed_ = false;
  render_error_ = RenderOutcome::kRendered;
  return true;
}

// Ends a render: a failure stands until the next render.
RenderOutcome MediaPipeline::FinishRender(RenderOutcome outcome) {
  const bool failed = outcome != RenderOutcome::kRendered && outcome != RenderOutcome::kPartlyRendered;
  // A render that ended before its preroll wait still answers every question.
  EndRendering();
  std::lock_guard<std::mutex> guard(lock_);
  observer_ = nullptr;
  state_ = PlayState::kStopped;
  if (failed) failed_render_ = outcome;
  return outcome;
}

std::optional<RenderOutcome> MediaPipeline::FailedRender() const {
  std::lock_guard<std::mutex> guard(lock_);
  return failed_render_;
}

RenderOutcome MediaPipeline::RenderFile(const std::string& name, BuildObserver* observer) {
  const std::string path = LocalPathOf(name);
  if (path.empty() || !g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR)) return RenderOutcome::kFileNotFound;
  GstElement* source = MakeElement("filesrc", "File Source");
  GstElement* decoder = MakeElement("decodebin", "Decoder");
  if (source == nullptr || decoder == nullptr) {
    if (source != nullptr) gst_object_unref(gst_object_ref_sink(source));
    if (decoder != nullptr) gst_object_unref(gst_object_ref_sink(decoder));
    return RenderOutcome::kFailed;
  }
  // A second file in one graph takes generated names.
  if (ElementRef existing{gst_bin_get_by_name(GST_BIN(pipeline_), "File Source")}) {
    gst_object_set_name(GST_OBJECT(source), nullptr);
    gst_object_set_name(GST_OBJECT(decoder), nullptr);
  }
  g_object_set(source, "location", path.c_str(), nullptr);
  g_signal_connect(decoder, "pad-added", G_CALLBACK(&PipelineSignals::OnPadAdded), this);
  g_signal_connect(decoder, "no-more-pads", G_CALLBACK(&PipelineSignals::OnNoMorePads), this);
  g_signal_connect(decoder, "unknown-type", G_CALLBACK(&PipelineSignals::OnUnknownType), this);
  g_signal_connect(decoder, "autoplug-select", G_CALLBACK(&PipelineSignals::OnAutoplugSelect), this);
  g_signal_connect(decoder, "element-added", G_CALLBACK(&PipelineSignals::OnElementAdded), this);

  const std::optional<std::int64_t> resume_at = Live() ? Position() : std::nullopt;
  if (!BeginRender()) {
    gst_object_unref(gst_object_ref_sink(source));
    gst_object_unref(gst_object_ref_sink(decoder));
    return FinishRender(RenderOutcome::kTimedOut);
  }
  gst_bin_add_many(GST_BIN(pipeline_), source, decoder, nullptr);
  if (!gst_element_link(source, decoder)) return FinishRender(RenderOutcome::kFailed);
  {
    std::lock_guard<std::mutex> guard(lock_);
    observer_ = observer;
  }
  RenderOutcome outcome = ChangeState(EngineState::kPaused) ? WaitForPreroll() : RenderOutcome::kFailed;
  FinishRender(outcome);
  ApplyAudioSettings();
  // The graph has one position: a file joining prerolled ones starts where they stand.
  if (resume_at && (outcome == RenderOutcome::kRendered || outcome == RenderOutcome::kPartlyRendered)) Seek(*resume_at);
  return outcome;
}

RenderOutcome MediaPipeline::RenderDvd(const std::string& folder) {
  GstElement* source = MakeElement("rsndvdbin", "DVD Navigator");
  if (source == nullptr) return RenderOutcome::kFailed;
  std::string device = folder.empty() ? std::string("/dev/dvd") : folder;
  // The DVD reader wants the folder above VIDEO_TS.
  while (device.size() > 1 && device.back() == '/') device.pop_back();
  const std::string suffix = "VIDEO_TS";
  if (device.size() > suffix.size() &&
      g_ascii_strcasecmp(device.c_str() + device.size() - suffix.size(), suffix.c_str()) == 0) {
    device.resize(device.size() - suffix.size());
  }
  if (!folder.empty() && !g_file_test(device.c_str(), G_FILE_TEST_IS_DIR)) {
    gst_object_unref(gst_object_ref_sink(source));
    return RenderOutcome::kFileNotFound;
  }
  g_object_set(source, "device", device.c_str(), nullptr);
  g_signal_connect(source, "pad-added", G_CALLBACK(&PipelineSignals::OnPadAdded), this);
  g_signal_connect(source, "no-more-pads", G_CALLBACK(&PipelineSignals::OnNoMorePads), this);
  if (!BeginRender()) {
    gst_object_unref(gst_object_ref_sink(source));
    return FinishRender(RenderOutcome::kTimedOut);
  }
  gst_bin_add(GST_BIN(pipeline_), source);
  {
    std::lock_guard<std::mutex> guard(lock_);
    dvd_ = true;
    dvd_source_ = source;
    dvd_title_ = 0;
    dvd_chapter_ = 0;
    audio_language_.clear();
  }
  RenderOutcome outcome = ChangeState(EngineState::kPaused) ? WaitForPreroll() : RenderOutcome::kFailed;
  FinishRender(outcome);
  ApplyAudioSettings();
  if (outcome == RenderOutcome::kRendered || outcome == RenderOutcome::kPartlyRendered) {
    StartDvdClock();
  }
  return outcome;
}

RenderOutcome MediaPipeline::WaitForPreroll() {
  const auto deadline = std::chrono::steady_clock::now() + kPrerollLimit;
  RenderOutcome outcome = RenderOutcome::kTimedOut;
  for (;;) {
    PendingQuestion* pending = nullptr;
    {
      std::unique_lock<std::mutex> guard(lock_);
      // Woken by questions, failures, the last pad and completed state changes; the time-out
      // is only a backstop for a change that reports nothing.
      const std::uint64_t seen = progress_;
      wake_.wait_for(guard, std::chrono::milliseconds(50),
                     [&] { return !questions_.empty() || render_failed_ || progress_ != seen; });
      if (!questions_.empty()) {
        pending = questions_.front();
        questions_.pop_front();
      } else if (render_failed_) {
        outcome = render_error_;
        break;
      }
    }
    if (pending != nullptr) {
      const bool answer = pending->question();
      std::lock_guard<std::mutex> guard(lock_);
      pending->answer = answer;
      pending->done = true;
      wake_.notify_all();
      continue;
    }
    GstState current;
    GstState next;
    const GstStateChangeReturn ret = gst_element_get_state(pipeline_, &current, &next, 0);
    bool all_pads = false;
    {
      std::lock_guard<std::mutex> guard(lock_);
      all_pads = no_more_pads_;
    }
    // A pipeline whose source has not yet exposed its streams has no sink to wait for.
    if (all_pads && (ret == GST_STATE_CHANGE_SUCCESS || ret == GST_STATE_CHANGE_NO_PREROLL)) {
      std::lock_guard<std::mutex> guard(lock_);
      if (streams_rendered_ == 0) {
        outcome = RenderOutcome::kNothingRendered;
      } else {
        outcome = streams_unrendered_ > 0 ? RenderOutcome::kPartlyRendered : RenderOutcome::kRendered;
      }
      break;
    }
    if (ret == GST_STATE_CHANGE_FAILURE) {
      std::lock_guard<std::mutex> guard(lock_);
      outcome = render_failed_ ? render_error_ : RenderOutcome::kFailed;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
  }
  const bool failed = outcome != RenderOutcome::kRendered && outcome != RenderOutcome::kPartlyRendered;
  if (failed) {
    // The failed source's errors from here on are not news.
    std::lock_guard<std::mutex> guard(lock_);
    halting_ = true;
  }
  EndRendering();
  // A failed source is left stopped and quiet so that it produces no further events.
  if (failed) Halt();
  return outcome;
}

void MediaPipeline::EndRendering() {
  std::lock_guard<std::mutex> guard(lock_);
  rendering_ = false;
  // Questions still queued get their default answer; no streaming thread waits past here.
  for (PendingQuestion* pending : questions_) pending->done = true;
  questions_.clear();
  wake_.notify_all();
}

bool MediaPipeline::Ask(const std::function<bool()>& question, bool fallback) {
  PendingQuestion pending;
  pending.question = question;
  pending.answer = fallback;
  {
    std::unique_lock<std::mutex> guard(lock_);
    if (!rendering_ || observer_ == nullptr) return fallback;
    if (std::this_thread::get_id() == render_thread_) {
      guard.unlock();
      return question();
    }
    questions_.push_back(&pending);
    wake_.notify_all();
    wake_.wait(guard, [&] { return pending.done; });
  }
  return pending.answer;
}

gint PipelineSignals::OnAutoplugSelect(GstElement*, GstPad*, GstCaps*, GstElementFactory* factory,
                                     gpointer self) {
  auto* pipeline = static_cast<MediaPipeline*>(self);
  const bool use = pipeline->Ask(
      [pipeline, factory] { return pipeline->observer_->FactorySelected(factory); }, true);
  return use ? 0 /* GST_AUTOPLUG_SELECT_TRY */ : 2 /* GST_AUTOPLUG_SELECT_SKIP */;
}

void PipelineSignals::OnElementAdded(GstBin*, GstElement* element, gpointer self) {
  auto* pipeline = static_cast<MediaPipeline*>(self);
  pipeline->Ask(
      [pipeline, element] {
        pipeline->observer_->ElementCreated(element);
        return true;
      },
      true);
}

void PipelineSignals::OnUnknownType(GstElement*, GstPad* pad, GstCaps*, gpointer self) {
  auto* pipeline = static_cast<MediaPipeline*>(self);
  {
    std::lock_guard<std::mutex> guard(pipeline->lock_);
    ++pipeline->streams_unrendered_;
  }
  pipeline->Ask(
      [pipeline, pad] {
        pipeline->observer_->PadUnrendered(pad);
        return true;
      },
      true);
}

void PipelineSignals::OnNoMorePads(GstElement*, gpointer self) {
  auto* pipeline = static_cast<MediaPipeline*>(self);
  std::lock_guard<std::mutex> guard(pipeline->lock_);
  pipeline->no_more_pads_ = true;
  ++pipeline->progress_;
  pipeline->wake_.notify_all();
}

void PipelineSignals::OnPadAdded(GstElement*, GstPad* pad, gpointer self) {
  static_cast<MediaPipeline*>(self)->RouteNewPad(pad);
}

void MediaPipeline::RouteNewPad(GstPad* pad) {
  CapsRef caps = PadCaps(pad);
  bool linked = false;
  if (CapsStartWith(caps.get(), "subpicture/")) {
    // The DVD source draws subpictures into its video itself; the pad needs no renderer.
    LinkToNullSink(pad);
    return;
  }
  if (CapsStartWith(caps.get(), "video/")) {
    linked = LinkVideo(pad);
  } else if (CapsStartWith(caps.get(), "audio/")) {
    linked = LinkAudio(pad);
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (linked) {
      ++streams_rendered_;
    } else {
      ++streams_unrendered_;
    }
  }
  if (linked) return;
  Ask([this, pad] {
        observer_->PadUnrendered(pad);
        return true;
      },
      true);
  // An unlinked stream would stop the whole pipeline with "not linked".
  LinkToNullSink(pad);
}

GstPad* MediaPipeline::FreeVideoInput() {
  GstPad* found = nullptr;
  GST_OBJECT_LOCK(pipeline_);
  for (GList* item = GST_BIN_CHILDREN(pipeline_); item != nullptr && found == nullptr; item = item->next) {
    found = FreeRendererInput(GST_ELEMENT(item->data));
  }
  GST_OBJECT_UNLOCK(pipeline_);
  return found;
}

bool MediaPipeline::LinkVideo(GstPad* pad) {
  PadRef input(FreeVideoInput());
  if (!input) {
    GstElement* made = MakeDefaultRenderer();
    if (made == nullptr) return false;
    if (g_object_is_floating(made)) gst_object_ref_sink(made);
    const ElementRef renderer(made);
    if (GST_OBJECT_PARENT(made) == nullptr) {
      TakeFreeName(made);
      if (!gst_bin_add(GST_BIN(pipeline_), made)) return false;
    }
    input.reset(gst_element_get_static_pad(made, "Input"));
  }
  if (!input || gst_pad_link(pad, input.get()) != GST_PAD_LINK_OK) return false;
  // The video's size is that of a renderer's first stream; a mixing renderer's others go over it.
  if (g_strcmp0(GST_PAD_NAME(input.get()), "Input") == 0) {
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &PipelineSignals::OnVideoCaps, this, nullptr);
  }
  const ElementRef renderer(gst_pad_get_parent_element(input.get()));
  if (renderer) gst_element_sync_state_with_parent(renderer.get());
  return true;
}

// A second renderer of a name the pipeline holds already is numbered, "Video Renderer 0001".
void MediaPipeline::TakeFreeName(GstElement* element) {
  gchar* base = gst_object_get_name(GST_OBJECT(element));
  if (base == nullptr) return;
  std::string name = base;
  for (int number = 1; number <= 9999; ++number) {
    const ElementRef holder(gst_bin_get_by_name(GST_BIN(pipeline_), name.c_str()));
    if (!holder) break;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, " %04d", number);
    name = std::string(base) + suffix;
  }
  g_free(base);
  gst_object_set_name(GST_OBJECT(element), name.c_str());
}

GstElement* MediaPipeline::MakeDefaultRenderer() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (owner_detached_ || !renderer_factory_) return nullptr;
    ++owner_calls_;
  }
  GstElement* made = renderer_factory_();
  std::lock_guard<std::mutex> guard(lock_);
  if (--owner_calls_ == 0) owner_calls_done_.notify_all();
  return made;
}

GstElement* MediaPipeline::MakeAudioRenderer() {
  GstElement* bin = gst_bin_new(nullptr);
  GstElement* convert = MakeElement("audioconvert");
  GstElement* resample = MakeElement("audioresample");
  GstElement* volume = MakeElement("volume");
  GstElement* panorama = MakeElement("audiopanorama");
  GstElement* output = MakeElement("audioconvert");
  GstElement* sink = MakeElement("alsasink");
  if (sink != nullptr && gst_element_set_state(sink, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
    gst_element_set_state(sink, GST_STATE_NULL);
    gst_object_unref(gst_object_ref_sink(sink));
    sink = nullptr;
  }
  if (sink == nullptr) {
    sink = MakeElement("fakesink");
    if (sink != nullptr) g_object_set(sink, "sync", TRUE, nullptr);
  }
  GstElement* parts[] = {convert, resample, volume, panorama, output, sink};
  bool complete = true;
  for (GstElement* part : parts) complete = complete && part != nullptr;
  if (!complete) {
    for (GstElement* part : parts) {
      if (part != nullptr) gst_object_unref(gst_object_ref_sink(part));
    }
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  g_object_set(panorama, "method", 1 /* simple */, nullptr);
  gst_bin_add_many(GST_BIN(bin), convert, resample, volume, panorama, output, sink, nullptr);
  gst_element_link_many(convert, resample, volume, panorama, output, sink, nullptr);
  PadRef target(gst_element_get_static_pad(convert, "sink"));
  gst_element_add_pad(bin, gst_ghost_pad_new("Audio Input pin", target.get()));
  g_object_set_data(G_OBJECT(bin), kAudioRendererMark, GINT_TO_POINTER(1));
  std::lock_guard<std::mutex> guard(lock_);
  volume_elements_.push_back(volume);
  panorama_elements_.push_back(panorama);
  return bin;
}

bool MediaPipeline::LinkAudio(GstPad* pad) {
  GstElement* renderer = MakeAudioRenderer();
  if (renderer == nullptr) return false;
  gst_object_set_name(GST_OBJECT(renderer), nullptr);
  if (!gst_bin_add(GST_BIN(pipeline_), renderer)) return false;
  ApplyAudioSettings();
  PadRef input(gst_element_get_static_pad(renderer, "Audio Input pin"));
  if (gst_pad_link(pad, input.get()) != GST_PAD_LINK_OK) return false;
  gst_element_sync_state_with_parent(renderer);
  return true;
}

void MediaPipeline::LinkToNullSink(GstPad* pad) {
  GstElement* sink = MakeElement("fakesink");
  if (sink == nullptr) return;
  g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
  g_object_set_data(G_OBJECT(sink), kDiscardingSinkMark, GINT_TO_POINTER(1));
  if (!gst_bin_add(GST_BIN(pipeline_), sink)) return;
  PadRef input(gst_element_get_static_pad(sink, "sink"));
  gst_pad_link(pad, input.get());
  gst_element_sync_state_with_parent(sink);
}

GstPadProbeReturn PipelineSignals::OnVideoCaps(GstPad*, GstPadProbeInfo* info, gpointer self) {
  GstVideoInfo video;
  if (!VideoInfoOfCapsEvent(info, &video)) return GST_PAD_PROBE_OK;
  auto* pipeline = static_cast<MediaPipeline*>(self);
  const int width = GST_VIDEO_INFO_WIDTH(&video);
  const int height = GST_VIDEO_INFO_HEIGHT(&video);
  const int fps_n = GST_VIDEO_INFO_FPS_N(&video);
  const int fps_d = GST_VIDEO_INFO_FPS_D(&video);
  bool changed = false;
  {
    std::lock_guard<std::mutex> guard(pipeline->lock_);
    pipeline->video_fps_ = fps_d > 0 ? (fps_n + fps_d / 2) / fps_d : 0;
    changed = width != pipeline->video_width_ || height != pipeline->video_height_;
    pipeline->video_width_ = width;
    pipeline->video_height_ = height;
  }
  if (changed) {
    pipeline->Emit(EC_VIDEO_SIZE_CHANGED,
                   static_cast<LONG_PTR>(MAKELONG(static_cast<WORD>(width), static_cast<WORD>(height))), 0);
  }
  return GST_PAD_PROBE_OK;
}

// ---- bus ----

GstBusSyncReply PipelineSignals::OnBusMessage(GstBus*, GstMessage* message, gpointer self) {
  static_cast<MediaPipeline*>(self)->HandleBusMessage(message);
  // Nobody pops the bus: every message is handled here and dropped.
  gst_message_unref(message);
  return GST_BUS_DROP;
}

void MediaPipeline::HandleBusMessage(GstMessage* message) {
  switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_EOS:
      Emit(EC_COMPLETE, 0, 0);
      break;
    case GST_MESSAGE_ERROR: {
      GError* error = nullptr;
      gst_message_parse_error(message, &error, nullptr);
      const bool not_found =
          error != nullptr && error->domain == GST_RESOURCE_ERROR &&
          (error->code == GST_RESOURCE_ERROR_NOT_FOUND || error->code == GST_RESOURCE_ERROR_OPEN_READ);
      const bool unsupported =
          error != nullptr && error->domain == GST_STREAM_ERROR &&
          (error->code == GST_STREAM_ERROR_TYPE_NOT_FOUND || error->code == GST_STREAM_ERROR_CODEC_NOT_FOUND ||
           error->code == GST_STREAM_ERROR_WRONG_TYPE || error->code == GST_STREAM_ERROR_DECODE);
      if (error != nullptr) g_error_free(error);
      bool quiet = false;
      {
        std::lock_guard<std::mutex> guard(lock_);
        // A render reports its failure as its result, and a pipeline brought down on purpose
        // has nothing to report.
        quiet = rendering_ || halting_;
        if (rendering_ && !render_failed_) {
          render_failed_ = true;
          render_error_ = not_found     ? RenderOutcome::kFileNotFound
                          : unsupported ? RenderOutcome::kUnsupported
                                        : RenderOutcome::kFailed;
          wake_.notify_all();
        }
      }
      // A render reports its failure as its result; later failures stop playback with an event.
      if (!quiet) Emit(EC_ERRORABORT, not_found ? kFileNotFoundResult : kErrorAbortResult, 0);
      break;
    }
    case GST_MESSAGE_STATE_CHANGED:
      if (GST_MESSAGE_SRC(message) == GST_OBJECT(pipeline_)) {
        std::lock_guard<std::mutex> guard(lock_);
        ++progress_;
        wake_.notify_all();
      }
      break;
    case GST_MESSAGE_NEW_CLOCK:
      Emit(EC_CLOCK_CHANGED, 0, 0);
      break;
    case GST_MESSAGE_BUFFERING: {
      gint percent = 100;
      gst_message_parse_buffering(message, &percent);
      Emit(EC_BUFFERING_DATA, percent < 100 ? 1 : 0, 0);
      break;
    }
    case GST_MESSAGE_ASYNC_DONE: {
      if (GST_MESSAGE_SRC(message) != GST_OBJECT(pipeline_)) break;
      bool paused = false;
      {
        std::lock_guard<std::mutex> guard(lock_);
        paused = pause_requested_;
        pause_requested_ = false;
        ++progress_;
        wake_.notify_all();
      }
      if (paused) Emit(EC_PAUSED, 0, 0);
      break;
    }
    case GST_MESSAGE_TAG:
      HandleTags(message);
      break;
    default:
      break;
  }
}

void MediaPipeline::HandleTags(GstMessage* message) {
  GstTagList* tags = nullptr;
  gst_message_parse_tag(message, &tags);
  HandleAudioLanguage(message, tags);
  gchar* title_text = nullptr;
  int title = 0;
  int chapter = 0;
  const bool parsed = tags != nullptr && gst_tag_list_get_string(tags, GST_TAG_TITLE, &title_text) &&
                      ParseDvdTitle(title_text, &title, &chapter);
  g_free(title_text);
  if (tags != nullptr) gst_tag_list_unref(tags);
  if (!parsed) return;
  bool new_title = false;
  bool new_chapter = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!dvd_) return;
    new_title = title != dvd_title_;
    new_chapter = new_title || chapter != dvd_chapter_;
    dvd_title_ = title;
    dvd_chapter_ = chapter;
  }
  if (new_title) {
    Emit(EC_DVD_DOMAIN_CHANGE, DVD_DOMAIN_Title, 0);
    Emit(EC_DVD_TITLE_CHANGE, title, 0);
  }
  if (new_chapter) Emit(EC_DVD_CHAPTER_START, chapter, 0);
}

// The DVD source tags the audio stream with its language; a new language is a stream change.
void MediaPipeline::HandleAudioLanguage(GstMessage* message, const GstTagList* tags) {
  if (tags == nullptr || !IsAudioBranch(GST_MESSAGE_SRC(message))) return;
  gchar* code = nullptr;
  if (!gst_tag_list_get_string(tags, GST_TAG_LANGUAGE_CODE, &code)) return;
  const std::string language = code;
  g_free(code);
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!dvd_ || language == audio_language_) return;
    audio_language_ = language;
  }
  Emit(EC_DVD_AUDIO_STREAM_CHANGE, 0, 0);
}

bool MediaPipeline::IsAudioBranch(GstObject* object) const {
  for (GstObject* item = object; item != nullptr; item = GST_OBJECT_PARENT(item)) {
    if (g_object_get_data(G_OBJECT(item), kAudioRendererMark) != nullptr) return true;
  }
  return false;
}

std::string MediaPipeline::AudioLanguage() const {
  std::lock_guard<std::mutex> guard(lock_);
  return audio_language_;
}

void MediaPipeline::Emit(LONG code, LONG_PTR param1, LONG_PTR param2) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (owner_detached_ || !sink_) return;
    ++owner_calls_;
  }
  sink_(EngineEvent{code, param1, param2});
  std::lock_guard<std::mutex> guard(lock_);
  if (--owner_calls_ == 0) owner_calls_done_.notify_all();
}

// ---- playback ----

bool MediaPipeline::WaitForStateChange(int timeout_ms) const {
  const GstStateChangeReturn ret =
      gst_element_get_state(pipeline_, nullptr, nullptr, static_cast<GstClockTime>(timeout_ms) * kMs);
  return ret == GST_STATE_CHANGE_SUCCESS || ret == GST_STATE_CHANGE_NO_PREROLL;
}

bool MediaPipeline::Run() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (failed_render_) return false;
    state_ = PlayState::kRunning;
  }
  return ChangeState(EngineState::kPlaying);
}

bool MediaPipeline::Pause() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (failed_render_) return false;
    state_ = PlayState::kPaused;
    pause_requested_ = true;
  }
  auto change = std::make_shared<GstStateChangeReturn>(GST_STATE_CHANGE_FAILURE);
  GstElement* pipeline = pipeline_;
  if (!EngineCall([pipeline, change] { *change = gst_element_set_state(pipeline, GST_STATE_PAUSED); })) return false;
  if (*change == GST_STATE_CHANGE_FAILURE) return false;
  if (*change != GST_STATE_CHANGE_ASYNC) {
    // Already paused: no preroll follows to report the pause, so report it now.
    bool report = false;
    {
      std::lock_guard<std::mutex> guard(lock_);
      report = pause_requested_;
      pause_requested_ = false;
    }
    if (report) Emit(EC_PAUSED, 0, 0);
  }
  return WaitForStateChange(kSettleLimitMs);
}

bool MediaPipeline::Stop() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    state_ = PlayState::kStopped;
    // The failed render left the pipeline halted: stopped already.
    if (failed_render_) return true;
  }
  if (!ChangeState(EngineState::kPaused)) return false;
  return WaitForStateChange(kSettleLimitMs);
}

PlayState MediaPipeline::state() const {
  std::lock_guard<std::mutex> guard(lock_);
  return state_;
}

bool MediaPipeline::Transitioning(int timeout_ms) const {
  return gst_element_get_state(pipeline_, nullptr, nullptr,
                               static_cast<GstClockTime>(timeout_ms) * kMs) == GST_STATE_CHANGE_ASYNC;
}

std::optional<std::int64_t> MediaPipeline::Duration() const {
  gint64 duration = 0;
  if (!gst_element_query_duration(pipeline_, GST_FORMAT_TIME, &duration) || duration < 0) return std::nullopt;
  return duration;
}

// The pipeline's own position query answers the greatest position of all its sinks. A
// discarding sink does not wait for the clock: it takes what the source sends the moment it
// comes, so its position runs ahead of playback by as much as the source reads ahead (on a DVD,
// the gaps of the subpicture stream). The position is that of the sinks that present a stream.
std::optional<std::int64_t> MediaPipeline::Position() const {
  std::optional<std::int64_t> latest;
  GstIterator* sinks = gst_bin_iterate_sinks(GST_BIN(pipeline_));
  gst_iterator_foreach(
      sinks,
      [](const GValue* item, gpointer latest_position) {
        auto* element = GST_ELEMENT(g_value_get_object(item));
        if (g_object_get_data(G_OBJECT(element), kDiscardingSinkMark) != nullptr) return;
        gint64 position = 0;
        if (!gst_element_query_position(element, GST_FORMAT_TIME, &position) || position < 0) return;
        auto* latest = static_cast<std::optional<std::int64_t>*>(latest_position);
        *latest = std::max<std::int64_t>(latest->value_or(0), position);
      },
      &latest);
  gst_iterator_free(sinks);
  return latest;
}

bool MediaPipeline::Seek(std::int64_t position_ns) {
  if (FailedRender()) return false;
  if (position_ns < 0) position_ns = 0;
  const double rate = this->rate();
  // A stop of GST_CLOCK_TIME_NONE (-1) plays to the end, also after a stop was set before.
  const std::int64_t stop_ns = StopPosition().value_or(-1);
  const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
  auto done = std::make_shared<bool>(false);
  GstElement* pipeline = pipeline_;
  GstElement* dvd_source = nullptr;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (dvd_source_ != nullptr) dvd_source = GST_ELEMENT(gst_object_ref(dvd_source_));
  }
  const auto started = std::chrono::steady_clock::now();
  const bool answered = EngineCall([=] {
    GstEvent* seek = rate >= 0 ? gst_event_new_seek(rate, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, position_ns,
                                                    GST_SEEK_TYPE_SET, stop_ns)
                               : gst_event_new_seek(rate, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, 0,
                                                    GST_SEEK_TYPE_SET, position_ns);
    *done = dvd_source != nullptr ? SendUpstreamOnce(dvd_source, seek) : gst_element_send_event(pipeline, seek);
  });
  if (dvd_source != nullptr) gst_object_unref(dvd_source);
  if (!answered || !*done) return false;
  const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  WaitForStateChange(static_cast<int>(std::max<std::int64_t>(kSettleLimitMs - spent.count(), 0)));
  return true;
}

void MediaPipeline::SetStopPosition(std::optional<std::int64_t> stop_ns) {
  std::lock_guard<std::mutex> guard(lock_);
  stop_ns_ = stop_ns;
}

std::optional<std::int64_t> MediaPipeline::StopPosition() const {
  std::lock_guard<std::mutex> guard(lock_);
  return stop_ns_;
}

bool MediaPipeline::SetRate(double rate) {
  if (rate == 0.0 || !std::isfinite(rate)) return false;
  // The graph applies its rate after every render: the same rate needs no seek.
  if (rate == this->rate()) return true;
  const std::int64_t position = Position().value_or(0);
  {
    std::lock_guard<std::mutex> guard(lock_);
    rate_ = rate;
  }
  return Seek(position);
}

double MediaPipeline::rate() const {
  std::lock_guard<std::mutex> guard(lock_);
  return rate_;
}

void MediaPipeline::SetVolume(long volume) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    volume_ = std::clamp(volume, -10000L, 0L);
  }
  ApplyAudioSettings();
}

void MediaPipeline::SetBalance(long balance) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    balance_ = std::clamp(balance, -10000L, 10000L);
  }
  ApplyAudioSettings();
}

long MediaPipeline::volume() const {
  std::lock_guard<std::mutex> guard(lock_);
  return volume_;
}

long MediaPipeline::balance() const {
  std::lock_guard<std::mutex> guard(lock_);
  return balance_;
}

bool MediaPipeline::HasAudio() const {
  std::lock_guard<std::mutex> guard(lock_);
  return !volume_elements_.empty();
}

void MediaPipeline::ApplyAudioSettings() {
  std::lock_guard<std::mutex> guard(lock_);
  for (GstElement* volume : volume_elements_) g_object_set(volume, "volume", AmplitudeOf(volume_), nullptr);
  for (GstElement* panorama : panorama_elements_) {
    g_object_set(panorama, "panorama", static_cast<gfloat>(PanoramaOf(balance_)), nullptr);
  }
}

bool MediaPipeline::IsDvd() const {
  std::lock_guard<std::mutex> guard(lock_);
  return dvd_;
}

std::pair<int, int> MediaPipeline::VideoSize() const {
  std::lock_guard<std::mutex> guard(lock_);
  return {video_width_, video_height_};
}

int MediaPipeline::DvdFrameRate() const {
  std::lock_guard<std::mutex> guard(lock_);
  return video_fps_ == 30 || video_fps_ == 25 ? video_fps_ : (video_fps_ > 0 ? 30 : 25);
}

// ---- the DVD time events, once a second while playing ----

void MediaPipeline::StartDvdClock() {
  StopDvdClock();
  {
    std::lock_guard<std::mutex> guard(lock_);
    dvd_clock_stop_ = false;
  }
  dvd_clock_ = std::thread([this] { DvdClockLoop(); });
}

void MediaPipeline::StopDvdClock() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    dvd_clock_stop_ = true;
    dvd_clock_wake_.notify_all();
  }
  if (dvd_clock_.joinable()) dvd_clock_.join();
}

void MediaPipeline::DvdClockLoop() {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    dvd_clock_wake_.wait_for(guard, std::chrono::seconds(1), [&] { return dvd_clock_stop_; });
    if (dvd_clock_stop_) return;
    if (state_ != PlayState::kRunning) continue;
    guard.unlock();
    const std::optional<std::int64_t> position = Position();
    if (position) {
      const int fps = DvdFrameRate();
      Emit(EC_DVD_CURRENT_HMSF_TIME, static_cast<LONG_PTR>(PackHmsf(*position, fps)),
           static_cast<LONG_PTR>(PackDvdTimeCode(*position, fps)));
    }
    guard.lock();
  }
}

}  // namespace win::gst
