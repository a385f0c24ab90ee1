// The GStreamer engine behind a filter graph: one pipeline whose top-level elements are the
// graph's filters. Rendering builds decoding branches synchronously; bus messages become graph
// events with the parameter layouts the graph's clients decode.
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
  ~MediaPipeline();
  MediaPipeline(const MediaPipeline&) = delete;
  MediaPipeline& operator=(const MediaPipeline&) = delete;

  GstElement* pipeline() const { return pipeline_; }

  // Filters: the pipeline's top-level elements.
  bool AddElement(GstElement* element);
  bool RemoveElement(GstElement* element);
  std::vector<OwnedElement> Elements() const;

  // Builds a decoding branch for a file and waits (bounded) for it to preroll. Video goes to a
  // free video renderer of the pipeline or else to a new default renderer; audio goes through
  // volume and balance to the sound card, or to a synchronised null sink when none opens.
  RenderOutcome RenderFile(const std::string& path, BuildObserver* observer);
  // Plays a DVD folder (empty: the default drive) through GStreamer's DVD source.
  RenderOutcome RenderDvd(const std::string& folder);

  // Playback state. Stop keeps the pipeline prerolled so that position and duration stay known.
  bool Run();
  // True when the pipeline reached the paused state within the bounded wait.
  bool Pause();
  bool Stop();
  PlayState state() const;
  // True while a state change has not completed after `timeout_ms`.
  bool Transitioning(int timeout_ms) const;

  // Times in nanoseconds.
  std::optional<std::int64_t> Duration() const;
  std::optional<std::int64_t> Position() const;
  bool Seek(std::int64_t position_ns);
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
  GstElement* FreeVideoRenderer();
  GstElement* MakeAudioRenderer();
  void ApplyAudioSettings();

  // Runs `question` on the rendering thread while a render waits; otherwise answers
  // `fallback` without asking.
  bool Ask(const std::function<bool()>& question, bool fallback);
  RenderOutcome WaitForPreroll();
  bool WaitForStateChange(int timeout_ms) const;
  void BeginRender();
  void Emit(LONG code, LONG_PTR param1, LONG_PTR param2);

  void StartDvdClock();
  void StopDvdClock();
  void DvdClockLoop();

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

  PlayState state_ = PlayState::kStopped;
  bool pause_requested_ = false;
  double rate_ = 1.0;
  long volume_ = 0;
  long balance_ = 0;
  std::vector<GstElement*> volume_elements_;    // owned by the pipeline
  std::vector<GstElement*> panorama_elements_;  // owned by the pipeline
  int video_width_ = 0;
  int video_height_ = 0;
  int video_fps_ = 0;
  bool dvd_ = false;
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
