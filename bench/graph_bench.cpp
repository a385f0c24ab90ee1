// Open-to-preroll, seek and stop latencies through TFilterGraph next to a plain GStreamer
// pipeline doing the same work in the same run. Each benchmark reports our time as its time and
// the peer's time and the ratio (ours / peer) as counters; the goal is a ratio within 1.5.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "classlib/forms.h"
#include "components/video/filter_graph.h"
#include "platform/core/strings.h"
#include "platform/dshow/gst_runtime.h"

#include <gst/gst.h>

namespace {

using Clock = std::chrono::steady_clock;
using dashtune::TFilterGraph;

std::string clip_path;

double Seconds(Clock::duration elapsed) { return std::chrono::duration<double>(elapsed).count(); }

// The peer: the same decoding work with a plain pipeline (decodebin into synchronised sinks).
GstElement* OpenPlainPipeline() {
  const std::string description =
      "filesrc location=\"" + clip_path + "\" ! decodebin name=d d. ! queue ! videoconvert ! appsink sync=true "
      "d. ! queue ! audioconvert ! audioresample ! volume ! audiopanorama ! audioconvert ! fakesink sync=true";
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  gst_element_set_state(pipeline, GST_STATE_PAUSED);
  gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND);
  return pipeline;
}

void ClosePlainPipeline(GstElement* pipeline) {
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
}

void Report(benchmark::State& state, double ours, double peer) {
  state.counters["peer_ms"] = benchmark::Counter(peer * 1000.0 / static_cast<double>(state.iterations()));
  state.counters["ratio"] = peer > 0 ? ours / peer : 0.0;
}

void BM_OpenToPreroll(benchmark::State& state) {
  double ours = 0;
  double peer = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    {
      TFilterGraph graph(nullptr);
      graph.SetActive(true);
      graph.RenderFile(win::Utf8ToUtf16(clip_path));
      const double elapsed = Seconds(Clock::now() - start);
      ours += elapsed;
      state.SetIterationTime(elapsed);
    }
    start = Clock::now();
    GstElement* pipeline = OpenPlainPipeline();
    peer += Seconds(Clock::now() - start);
    ClosePlainPipeline(pipeline);
  }
  Report(state, ours, peer);
}
BENCHMARK(BM_OpenToPreroll)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_Seek(benchmark::State& state) {
  TFilterGraph graph(nullptr);
  graph.SetActive(true);
  graph.RenderFile(win::Utf8ToUtf16(clip_path));
  graph.Pause();
  win::ComPtr<win::IMediaSeeking> seeking;
  graph.QueryInterface(win::IID_IMediaSeeking, reinterpret_cast<void**>(seeking.ReleaseAndGetAddressOf()));
  GstElement* pipeline = OpenPlainPipeline();
  double ours = 0;
  double peer = 0;
  win::LONGLONG target = 0;
  for (auto _ : state) {
    target = target == 5000000 ? 15000000 : 5000000;
    auto start = Clock::now();
    seeking->SetPositions(&target, win::AM_SEEKING_AbsolutePositioning, nullptr, win::AM_SEEKING_NoPositioning);
    const double elapsed = Seconds(Clock::now() - start);
    ours += elapsed;
    state.SetIterationTime(elapsed);
    start = Clock::now();
    gst_element_seek_simple(pipeline, GST_FORMAT_TIME,
                            static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), target * 100);
    gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND);
    peer += Seconds(Clock::now() - start);
  }
  ClosePlainPipeline(pipeline);
  Report(state, ours, peer);
}
BENCHMARK(BM_Seek)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_Stop(benchmark::State& state) {
  TFilterGraph graph(nullptr);
  graph.SetActive(true);
  graph.RenderFile(win::Utf8ToUtf16(clip_path));
  GstElement* pipeline = OpenPlainPipeline();
  double ours = 0;
  double peer = 0;
  for (auto _ : state) {
    graph.Play();
    auto start = Clock::now();
    graph.Stop();
    const double elapsed = Seconds(Clock::now() - start);
    ours += elapsed;
    state.SetIterationTime(elapsed);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    start = Clock::now();
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND);
    peer += Seconds(Clock::now() - start);
  }
  ClosePlainPipeline(pipeline);
  Report(state, ours, peer);
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
  return 0;
}
