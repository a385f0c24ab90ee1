// Open-to-preroll, seek and stop latencies through TFilterGraph next to a plain GStreamer
// pipeline doing the same work in the same run. Every timed step is checked on both sides (the
// render succeeded, the seek landed on the frame asked for, the stop reached its state); a failed
// check fails the program. Each benchmark reports our time as its time and the peer's time and
// the ratio (ours / peer) as counters, and a summary line per case follows; the goal is a ratio
// within 1.5.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

#include "bench_summary.h"
#include "classlib/forms.h"
#include "components/video/ds_util.h"
#include "components/video/filter_graph.h"
#include "platform/core/strings.h"
#include "platform/dshow/gst_runtime.h"

#include <gst/gst.h>

namespace {

using Clock = std::chrono::steady_clock;
using dashtune::bench::FailCheck;
using dashtune::TFilterGraph;

std::string clip_path;

// Seeks land on the frame asked for: the clip has 25 frames a second.
constexpr win::LONGLONG kFrame = 400000;  // 100 ns units
constexpr GstClockTime kStateWait = 10 * GST_SECOND;

double Seconds(Clock::duration elapsed) { return std::chrono::duration<double>(elapsed).count(); }

// Runs step and answers how long it took; a component exception becomes a failed check (kNone).
double TimedStep(benchmark::State& state, const char* what, const std::function<bool()>& step) {
  const auto start = Clock::now();
  bool succeeded = false;
  std::string problem = std::string(what) + " failed";
  try {
    succeeded = step();
  } catch (const dashtune::Exception& error) {
    problem += ": " + error.GetMessage();
  }
  const double elapsed = Seconds(Clock::now() - start);
  if (succeeded) return elapsed;
  FailCheck(state, problem);
  return dashtune::bench::kNone;
}

// The peer: the same decoding work with a plain pipeline (decodebin into synchronised sinks),
// prerolled; null when it did not preroll.
GstElement* OpenPlainPipeline() {
  const std::string description =
      "filesrc location=\"" + clip_path + "\" ! decodebin name=d d. ! queue ! videoconvert ! appsink sync=true "
      "d. ! queue ! audioconvert ! audioresample ! volume ! audiopanorama ! audioconvert ! fakesink sync=true";
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  if (pipeline == nullptr) return nullptr;
  gst_element_set_state(pipeline, GST_STATE_PAUSED);
  if (gst_element_get_state(pipeline, nullptr, nullptr, kStateWait) != GST_STATE_CHANGE_SUCCESS) {
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return nullptr;
  }
  return pipeline;
}

void ClosePlainPipeline(GstElement* pipeline) {
  if (pipeline == nullptr) return;
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
}

// Whether the pipeline settled in `wanted`.
bool ReachedState(GstElement* pipeline, GstState wanted) {
  GstState current = GST_STATE_VOID_PENDING;
  return gst_element_get_state(pipeline, &current, nullptr, kStateWait) == GST_STATE_CHANGE_SUCCESS &&
         current == wanted;
}

bool WithinAFrame(win::LONGLONG position, win::LONGLONG target) {
  return position >= target - kFrame && position <= target + kFrame;
}

// Our and the peer's seconds per iteration, by case.
struct Figures {
  double ours = dashtune::bench::kNone;
  double peer = dashtune::bench::kNone;
};
Figures open_figures, seek_figures, stop_figures;

void Report(benchmark::State& state, double ours, double peer, Figures& figures) {
  const auto iterations = static_cast<double>(state.iterations());
  if (state.error_occurred() || iterations == 0) return;
  figures = {ours / iterations, peer / iterations};
  state.counters["peer_ms"] = benchmark::Counter(peer * 1000.0 / iterations);
  state.counters["ratio"] = peer > 0 ? ours / peer : 0.0;
}

void BM_OpenToPreroll(benchmark::State& state) {
  double ours = 0;
  double peer = 0;
  for (auto _ : state) {
    double elapsed;
    {
      TFilterGraph graph(nullptr);
      elapsed = TimedStep(state, "TFilterGraph RenderFile", [&] {
        graph.SetActive(true);
        return graph.RenderFile(win::Utf8ToUtf16(clip_path)) == win::S_OK;
      });
    }
    if (state.error_occurred()) break;
    ours += elapsed;
    state.SetIterationTime(elapsed);
    const auto start = Clock::now();
    GstElement* pipeline = OpenPlainPipeline();
    peer += Seconds(Clock::now() - start);
    ClosePlainPipeline(pipeline);
    if (pipeline == nullptr) {
      FailCheck(state, "the plain pipeline did not preroll");
      break;
    }
  }
  Report(state, ours, peer, open_figures);
}
BENCHMARK(BM_OpenToPreroll)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_Seek(benchmark::State& state) {
  TFilterGraph graph(nullptr);
  graph.SetActive(true);
  if (graph.RenderFile(win::Utf8ToUtf16(clip_path)) != win::S_OK || !graph.Pause()) {
    FailCheck(state, "TFilterGraph did not render and pause the clip");
    return;
  }
  win::ComPtr<win::IMediaSeeking> seeking;
  graph.QueryInterface(win::IID_IMediaSeeking, reinterpret_cast<void**>(seeking.ReleaseAndGetAddressOf()));
  GstElement* pipeline = OpenPlainPipeline();
  if (!seeking || pipeline == nullptr) {
    FailCheck(state, "no seeking interface, or the plain pipeline did not preroll");
    ClosePlainPipeline(pipeline);
    return;
  }
  double ours = 0;
  double peer = 0;
  win::LONGLONG target = 0;
  for (auto _ : state) {
    target = target == 5000000 ? 15000000 : 5000000;
    const double elapsed = TimedStep(state, "IMediaSeeking SetPositions", [&] {
      return seeking->SetPositions(&target, win::AM_SEEKING_AbsolutePositioning, nullptr,
                                   win::AM_SEEKING_NoPositioning) == win::S_OK;
    });
    if (state.error_occurred()) break;
    win::LONGLONG position = -1;
    if (seeking->GetCurrentPosition(&position) != win::S_OK || !WithinAFrame(position, target)) {
      FailCheck(state, "TFilterGraph's seek to " + std::to_string(target) + " landed at " + std::to_string(position));
      break;
    }
    ours += elapsed;
    state.SetIterationTime(elapsed);
    const auto start = Clock::now();
    const bool sought = gst_element_seek_simple(pipeline, GST_FORMAT_TIME,
                                                static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                                target * 100) &&
                        ReachedState(pipeline, GST_STATE_PAUSED);
    peer += Seconds(Clock::now() - start);
    gint64 peer_position = -1;
    if (!sought || !gst_element_query_position(pipeline, GST_FORMAT_TIME, &peer_position) ||
        !WithinAFrame(peer_position / 100, target)) {
      FailCheck(state, "the plain pipeline's seek to " + std::to_string(target) + " landed at " +
                           std::to_string(peer_position / 100));
      break;
    }
  }
  ClosePlainPipeline(pipeline);
  Report(state, ours, peer, seek_figures);
}
BENCHMARK(BM_Seek)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_Stop(benchmark::State& state) {
  TFilterGraph graph(nullptr);
  graph.SetActive(true);
  GstElement* pipeline = OpenPlainPipeline();
  if (graph.RenderFile(win::Utf8ToUtf16(clip_path)) != win::S_OK || pipeline == nullptr) {
    FailCheck(state, "TFilterGraph did not render the clip, or the plain pipeline did not preroll");
    ClosePlainPipeline(pipeline);
    return;
  }
  double ours = 0;
  double peer = 0;
  for (auto _ : state) {
    if (!graph.Play()) {
      FailCheck(state, "TFilterGraph did not play");
      break;
    }
    const double elapsed = TimedStep(state, "TFilterGraph Stop", [&] { return graph.Stop(); });
    if (state.error_occurred()) break;
    if (graph.GetState() != dashtune::gsStopped) {
      FailCheck(state, "TFilterGraph did not reach the stopped state");
      break;
    }
    ours += elapsed;
    state.SetIterationTime(elapsed);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    const auto start = Clock::now();
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    const bool paused = ReachedState(pipeline, GST_STATE_PAUSED);
    peer += Seconds(Clock::now() - start);
    if (!paused) {
      FailCheck(state, "the plain pipeline did not reach the paused state");
      break;
    }
  }
  ClosePlainPipeline(pipeline);
  Report(state, ours, peer, stop_figures);
}
BENCHMARK(BM_Stop)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
  setenv("GST_REGISTRY", DASHTUNE_GST_REGISTRY, 0);
  win::gst::EnsureStarted();
  const std::string fixtures = DASHTUNE_MEDIA_FIXTURES;
  const std::string command = std::string("'") + DASHTUNE_MEDIA_FIXTURE_SCRIPT + "' '" + fixtures + "'";
  if (std::system(command.c_str()) != 0) return 1;
  clip_path = fixtures + "/clip.ogg";
  dashtune::TApplication application;
  application.Initialize();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const auto ms = [](double seconds) { return seconds * 1e3; };
  dashtune::bench::PrintSummary(
      "Wall-clock milliseconds per call, mean over all iterations; peer: a plain GStreamer pipeline; "
      "ratio = ours / peer (goal: at most 1.5)",
      {
          {"open to preroll [ms]", ms(open_figures.ours), ms(open_figures.peer)},
          {"seek while paused, landing within a frame [ms]", ms(seek_figures.ours), ms(seek_figures.peer)},
          {"stop from playing [ms]", ms(stop_figures.ours), ms(stop_figures.peer)},
      });
  return dashtune::bench::ExitCode();
}
