// The GStreamer engine behind a filter graph: one pipeline whose top-level elements are the
// graph's filters. Rendering builds decoding branches synchronously; bus messages become graph
// events with the parameter layouts the graph's clients decode. The engine's blocking calls
// (state changes, seeks, teardown) run on a worker thread, so no caller waits on the engine for
// longer than the settle limit.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/core/types.h"
#include "platform/dshow/engine_worker.h"
#include "platform/dshow/gst_forward.h"

namespace win::gst {

struct ElementUnref {
  void operator()(GstElement* element) const;
};
using OwnedElement = std::unique_ptr<GstElement, ElementUnref>;

// One graph event: a code and two pointer-sized parameters.
struct EngineEvent {
  LONG code = 0;
  LONG_PTR param1 = 0;
  LONG_PTR param2 = 0;
};

// Questions asked while a decoding branch is built. They are answered on the thread that called
// RenderFile, one at a time, never on a streaming thread.
class BuildObserver {
 public:
  virtual ~BuildObserver() = default;
  // A decoder is about to be tried; false skips it and the next candidate is tried.
  virtual bool FactorySelected(GstElementFactory* factory) = 0;
  // A decoder element was made and placed.
  virtual void ElementCreated(GstElement* element) = 0;
  // No renderer takes this stream.
  virtual void PadUnrendered(GstPad* pad) = 0;
};

enum class PlayState { kStopped = 0, kPaused = 1, kRunning = 2 };

enum class RenderOutcome {
  kRendered,         // every stream reached a renderer
  kPartlyRendered,   // some streams had no renderer
  kNothingRendered,  // the source opened but no stream reached a renderer
  kFileNotFound,
  kUnsupported,      // no decoder for the source's format
  kTimedOut,         // preroll did not complete in time
  kFailed,
};

class MediaPipeline {
 public:
  // Receives every event, on any thread, outside the pipeline's locks.
  using EventSink = std::function<void(const EngineEvent&)>;
  // Makes the default video renderer when no free one is in the pipeline: a new reference
  // (floating or not) that the pipeline takes over, or null. Called on a streaming thread.
  using RendererFactory = std::function<GstElement*()>;

  MediaPipeline(EventSink sink, RendererFactory renderer_factory);
  // Waits for the engine to let go for as long as it takes; Discard bounds the wait.
  ~MediaPipeline();
  MediaPipeline(const MediaPipeline&) = delete;
  MediaPipeline& operator=(const MediaPipeline&) = delete;

  GstElement* pipeline() const { return pipeline_; }

  // Frees a pipeline, waiting at most the settle limit for the engine, and not at all for an
  // engine that is stuck already. The sink and the renderer factory are not called once this
  // begins. An engine that has not let go by then is left to the worker thread, which frees the
  // pipeline when the engine does.
  static void Discard(std::unique_ptr<MediaPipeline> pipeline);

  // Longest time a caller waits for the engine (a state change, a seek, a teardown).
  static constexpr int kSettleLimitMs = 5000;
  // Longest wait for a source to preroll; a file on local storage takes milliseconds.
  static constexpr int kPrerollLimitMs = 15000;

  // Filters: the pipeline's top-level elements. Removing one halts the pipeline first.
  bool AddElement(GstElement* element);
  bool RemoveElement(GstElement* element);
  // Moves an element out of the pipeline that holds it, whatever that pipeline's engine is doing,
  // into this one, ended and unlinked; a bounded engine call of this pipeline.
  bool TakeOver(GstElement* element);
  // True while an engine call that did not finish in time is still running: the engine is stuck.
  bool EngineStuck();
  // Ends every streaming thread (the engine's ready state), so that filters can be disconnected
  // and removed in any state; playback stops. False when the engine did not finish in time.
  bool Halt();
  std::vector<OwnedElement> Elements() const;
  // Whether the engine streams or stands prerolled (paused or playing, or on its way there).
  bool Live() const;
  // Whether the engine stands paused (not playing).
  bool Paused() const;

  // Builds a decoding branch for a file and waits (bounded) for it to preroll. Video goes to a
  // free video renderer of the pipeline or else to a new default renderer; audio goes through
  // volume and balance to the sound card, or to a synchronised null sink when none opens. The
  // name is a path, or a "file:" URI: the shell's name for a path whose bytes are no UTF-8.
  RenderOutcome RenderFile(const std::string& name, BuildObserver* observer);
  // Plays a DVD folder (empty: the default drive) through GStreamer's DVD source.
  RenderOutcome RenderDvd(const std::string& folder);

  // The failure of the last render while it stands (until the next render); nothing after a
  // successful one. A pipeline whose render failed answers Run, Pause and Seek with false at
  // once and Stop with true, and reports later engine errors as events.
  std::optional<RenderOutcome> FailedRender() const;

  // Playback state. Stop keeps the pipeline prerolled so that position and duration stay known.
  bool Run();
  // True when the pipeline reached the paused state within the bounded wait.
  bool Pause();
  bool Stop();
  PlayState state() const;
  // True while a state change has not completed after `timeout_ms`.
  bool Transitioning(int timeout_ms) const;

  // Times in nanoseconds. The position is that of the streams presented: streams that nothing
  // renders are discarded as they come and do not count.
  std::optional<std::int64_t> Duration() const;
  std::optional<std::int64_t> Position() const;
  // An accurate, flushing seek; returns once the pipeline has prerolled at the new position
  // (bounded by the settle limit). Read while paused, the position is then the target to the
  // frame. On a DVD the source finds the place through the title's time map: it lands on the
  // start of the video object unit (at most a second long) that holds the map's last entry at
  // or before the target, so up to one step of the map and one unit early. A seek that the engine does not finish in time answers false
  // and raises EC_ERRORABORT; until the engine finishes it, later engine calls answer false.
  bool Seek(std::int64_t position_ns);
  // Where playback ends (nanoseconds; nothing: the end of the medium). Applies from the next seek.
  void SetStopPosition(std::optional<std::int64_t> stop_ns);
  std::optional<std::int64_t> StopPosition() const;
  bool SetRate(double rate);
  double rate() const;

  // Volume in hundredths of a decibel (-10000..0), balance in hundredths of a decibel of
  // attenuation (-10000..10000, positive attenuates the left channel).
  void SetVolume(long volume);
  void SetBalance(long balance);
  long volume() const;
  long balance() const;
  bool HasAudio() const;

  // DVD: the title's length and a jump to a time within it.
  bool IsDvd() const;
  std::optional<std::int64_t> TitleDuration() const { return Duration(); }
  // Size of the video stream last seen (0 x 0 before any).
  std::pair<int, int> VideoSize() const;
  // ISO 639-1 code of the DVD's audio language, empty until the source names one.
  std::string AudioLanguage() const;
  // Frame rate of the DVD's video: 25 or 30 (0 when unknown).
  int DvdFrameRate() const;

 private:
  struct PendingQuestion;
  struct AudioBranch;

  friend struct PipelineSignals;

  void HandleBusMessage(GstMessage* message);
  void HandleTags(GstMessage* message);
  void HandleAudioLanguage(GstMessage* message, const GstTagList* tags);
  bool IsAudioBranch(GstObject* object) const;
  void RouteNewPad(GstPad* pad);
  bool LinkVideo(GstPad* pad);
  bool LinkAudio(GstPad* pad);
  void LinkToNullSink(GstPad* pad);
  // The first unlinked input of a video renderer in the pipeline (a counted pad), or null.
  GstPad* FreeVideoInput();
  void TakeFreeName(GstElement* element);
  GstElement* MakeDefaultRenderer();
  GstElement* MakeAudioRenderer();
  void ApplyAudioSettings();

  // Runs `question` on the rendering thread while a render waits; otherwise answers
  // `fallback` without asking.
  bool Ask(const std::function<bool()>& question, bool fallback);
  RenderOutcome WaitForPreroll();
  void EndRendering();
  RenderOutcome FinishRender(RenderOutcome outcome);
  bool WaitForStateChange(int timeout_ms) const;
  bool BeginRender();
  void Emit(LONG code, LONG_PTR param1, LONG_PTR param2);
  // Stops calls to the sink and the renderer factory, waiting for calls in progress.
  void DetachOwner();

  // Runs an engine call on the worker, bounded by the settle limit; false when it did not
  // finish in time or an earlier call is still stuck in the engine.
  bool EngineCall(std::function<void()> call);
  enum class EngineState { kReady, kPaused, kPlaying };
  bool ChangeState(EngineState target);

  void StartDvdClock();
  void StopDvdClock();
  void DvdClockLoop();

  // Declared first so that it goes last: its thread may still run engine calls.
  EngineWorker worker_;
  GstElement* pipeline_ = nullptr;
  EventSink sink_;
  RendererFactory renderer_factory_;

  mutable std::mutex lock_;
  std::condition_variable wake_;
  // Rendering in progress: questions from streaming threads wait here for the render thread.
  bool rendering_ = false;
  std::thread::id render_thread_;
  std::deque<PendingQuestion*> questions_;
  BuildObserver* observer_ = nullptr;
  int streams_rendered_ = 0;
  int streams_unrendered_ = 0;
  bool no_more_pads_ = false;
  std::uint64_t progress_ = 0;  // counts events that may complete a preroll
  RenderOutcome render_error_ = RenderOutcome::kRendered;
  bool render_failed_ = false;
  std::optional<RenderOutcome> failed_render_;
  // The owner's sink and factory: no more calls once detached; calls in progress are counted.
  bool owner_detached_ = false;
  int owner_calls_ = 0;
  std::condition_variable owner_calls_done_;
  // Errors while the pipeline is brought down on purpose are not news.
  bool halting_ = false;
  bool stalled_ = false;

  PlayState state_ = PlayState::kStopped;
  bool pause_requested_ = false;
  double rate_ = 1.0;
  std::optional<std::int64_t> stop_ns_;
  long volume_ = 0;
  long balance_ = 0;
  std::vector<GstElement*> volume_elements_;    // owned by the pipeline
  std::vector<GstElement*> panorama_elements_;  // owned by the pipeline
  int video_width_ = 0;
  int video_height_ = 0;
  int video_fps_ = 0;
  bool dvd_ = false;
  GstElement* dvd_source_ = nullptr;  // owned by the pipeline; only compared
  int dvd_title_ = 0;
  int dvd_chapter_ = 0;
  std::string audio_language_;

  std::thread dvd_clock_;
  bool dvd_clock_stop_ = false;
  std::condition_variable dvd_clock_wake_;
};

// The DVD time codes of a position: hours in the low byte, then minutes, seconds and frames;
// and the binary-coded digits as the DVD time events carry them.
DWORD PackHmsf(std::int64_t position_ns, int frames_per_second);
DWORD PackDvdTimeCode(std::int64_t position_ns, int frames_per_second);

}  // namespace win::gst
