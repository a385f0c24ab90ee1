// Frames shown on X per second and CPU time per frame when a 10 s 720x576 25 fps clip plays in a
// 640x360 TVideoWindow and TDSVideoWindowEx2 on a private X server, next to a plain
// "decodebin ! videoconvert ! videoscale ! ximagesink" pipeline at that size in the same run, at
// rates 1 and 4. Ours counts the images the presenter puts on the X window, the peer the frames
// its sink rendered. Goals: at rate 1 at least 0.98 of the peer's frames at no more than 1.5
// times its CPU per frame; at rate 4 at least 0.8 of its frames.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <filesystem>
#include <memory>
#include <string>

#include "classlib/form.h"
#include "classlib/forms.h"
#include "components/video/overlay_window.h"
#include "components/video/video_window.h"
#include "platform/core/strings.h"
#include "platform/dshow/gst_runtime.h"
#include "platform/present/presenter.h"
#include "xvfb_server.h"

#include <gst/gst.h>
// Xlib last: its macros (None, Bool) clash with the names above.
#include <X11/Xlib.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string clip_path;
std::string display;
std::unique_ptr<dashtune::testing::XvfbServer> server;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Run {
  double frames = 0;
  double seconds = 0;
  double cpu_seconds = 0;
  double FramesPerSecond() const { return seconds > 0 ? frames / seconds : 0; }
  double CpuPerFrameMs() const { return frames > 0 ? cpu_seconds * 1000.0 / frames : 0; }
};

// The peer: a plain pipeline into ximagesink at 640x360, played to its end.
Run PlayPeer(double rate) {
  const std::string description = "filesrc location=\"" + clip_path +
                                  "\" ! decodebin ! videoconvert ! videoscale ! video/x-raw,width=640,height=360 "
                                  "! ximagesink name=sink sync=true display=" + display;
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  Run run;
  if (pipeline == nullptr) return run;
  gst_element_set_state(pipeline, GST_STATE_PAUSED);
  gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND);
  if (rate != 1.0) {
    gst_element_seek(pipeline, rate, GST_FORMAT_TIME, static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                     GST_SEEK_TYPE_SET, 0, GST_SEEK_TYPE_NONE, 0);
    gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND);
  }
  const double cpu = CpuSeconds();
  const auto start = Clock::now();
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* end = gst_bus_timed_pop_filtered(bus, 30 * GST_SECOND,
                                               static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.cpu_seconds = CpuSeconds() - cpu;
  if (end != nullptr) gst_message_unref(end);
  gst_object_unref(bus);
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
  GstStructure* stats = nullptr;
  g_object_get(sink, "stats", &stats, nullptr);
  guint64 rendered = 0;
  if (stats != nullptr) {
    gst_structure_get_uint64(stats, "rendered", &rendered);
    gst_structure_free(stats);
  }
  run.frames = static_cast<double>(rendered);
  gst_object_unref(sink);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  return run;
}

// Ours: the clip in a 640x360 control on a form, shown through the presenter, played to its end.
template <class Window>
Run PlayOurs(double rate) {
  auto presenter = win::present::X11Presenter::Open(display.c_str());
  Run run;
  if (!presenter) return run;
  dashtune::TForm form(nullptr);
  form.SetBounds(0, 0, 640, 360);
  form.Show();
  dashtune::TFilterGraph graph(nullptr);
  Window window(nullptr);
  window.SetName("Bench");
  window.SetParent(&form);
  window.SetBounds(0, 0, 640, 360);
  window.SetFilterGraph(&graph);
  graph.SetActive(true);
  bool complete = false;
  graph.OnGraphComplete = [&](dashtune::TObject*, win::HRESULT, win::IBaseFilter*) { complete = true; };
  graph.OnGraphErrorAbort = [&](dashtune::TObject*, win::HRESULT) { complete = true; };
  graph.RenderFile(win::Utf8ToUtf16(clip_path));
  graph.SetRate(rate);
  presenter->Flush();
  const std::uint64_t puts = presenter->ImagesPut();
  const double cpu = CpuSeconds();
  const auto start = Clock::now();
  graph.Play();
  const auto limit = start + 30s;
  while (!complete && Clock::now() < limit) {
    dashtune::Application->ProcessMessages();
    std::this_thread::sleep_for(2ms);
  }
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.cpu_seconds = CpuSeconds() - cpu;
  run.frames = static_cast<double>(presenter->ImagesPut() - puts);
  graph.SetActive(false);
  window.SetParent(nullptr);
  return run;
}

void Report(benchmark::State& state, const Run& ours, const Run& peer) {
  state.counters["frames_per_s"] = ours.FramesPerSecond();
  state.counters["peer_frames_per_s"] = peer.FramesPerSecond();
  state.counters["frame_ratio"] = peer.frames > 0 ? ours.frames / peer.frames : 0;
  state.counters["cpu_ms_per_frame"] = ours.CpuPerFrameMs();
  state.counters["peer_cpu_ms_per_frame"] = peer.CpuPerFrameMs();
  state.counters["cpu_ratio"] = peer.CpuPerFrameMs() > 0 ? ours.CpuPerFrameMs() / peer.CpuPerFrameMs() : 0;
}

template <class Window>
void BM_Play(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  for (auto _ : state) {
    const Run ours = PlayOurs<Window>(rate);
    const Run peer = PlayPeer(rate);
    state.SetIterationTime(ours.seconds);
    Report(state, ours, peer);
  }
}
BENCHMARK_TEMPLATE(BM_Play, dashtune::TVideoWindow)->Arg(1)->Arg(4)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_TEMPLATE(BM_Play, dashtune::TDSVideoWindowEx2)->Arg(1)->Arg(4)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

// The 10 s clip, made once: a moving ball at 720x576 and 25 frames per second.
bool MakeClip(const std::string& path) {
  if (std::filesystem::exists(path)) return true;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  const std::string made = path + ".part";
  const std::string command = "gst-launch-1.0 -q videotestsrc num-buffers=250 pattern=ball "
                              "! video/x-raw,width=720,height=576,framerate=25/1 ! theoraenc ! oggmux "
                              "! filesink location='" + made + "'";
  if (std::system(command.c_str()) != 0) return false;
  std::filesystem::rename(made, path);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("GST_REGISTRY", DASHTUNE_GST_REGISTRY, 0);
  win::gst::EnsureStarted();
  clip_path = std::string(DASHTUNE_BENCH_DIR) + "/video/ball-720x576-10s.ogg";
  if (!MakeClip(clip_path)) return 1;
  server = std::make_unique<dashtune::testing::XvfbServer>(640, 360);
  if (!server->Running()) return 1;
  display = server->Display();
  // A connection held for the whole run: Xvfb resets, refusing connections meanwhile, when its
  // last client leaves.
  Display* keeper = XOpenDisplay(display.c_str());
  if (keeper == nullptr) return 1;
  GstElementFactory* peer_sink = gst_element_factory_find("ximagesink");
  if (peer_sink == nullptr) {
    std::fprintf(stderr, "ximagesink is missing (gstreamer1.0-x)\n");
    return 1;
  }
  gst_object_unref(peer_sink);
  dashtune::TApplication application;
  application.Initialize();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  XCloseDisplay(keeper);
  server.reset();
  return 0;
}
