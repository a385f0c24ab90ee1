// The GStreamer media pipeline: DVD time codes, rendering, playing, seeking, missing files, DVD folders.
#include "platform/dshow/media_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "media_fixtures.h"
#include "platform/dshow/event_codes.h"
#include "platform/dshow/video_frame_store.h"
#include "platform/dshow/video_renderer_bin.h"

#include <gst/gst.h>

namespace win::gst {
namespace {

using namespace std::chrono_literals;

constexpr std::int64_t kNsPerMs = 1000000;
// One frame of PAL video (25 frames per second): the granularity of a position.
constexpr std::int64_t kPalFrameNs = 40 * kNsPerMs;
// A DVD's video object unit lasts at most a second.
constexpr std::int64_t kDvdUnitNs = 1000 * kNsPerMs;

TEST(DvdTimeCodeTest, PacksHoursMinutesSecondsAndFrames) {
  // 1 h 23 min 45 s and 12 frames at 25 frames per second.
  const std::int64_t position = ((1LL * 3600 + 23 * 60 + 45) * 1000 + 480) * 1000000LL;
  EXPECT_EQ(PackHmsf(position, 25), 0x0C2D1701u);
  // Digits: hours 1/0, minutes 3/2, seconds 5/4, frames 2/1, rate code 1 (25 frames).
  EXPECT_EQ(PackDvdTimeCode(position, 25), 0x10325425u);
  EXPECT_EQ(PackDvdTimeCode(0, 30) & 0x3u, 3u);
  EXPECT_EQ(PackHmsf(-5, 25), 0u);
}

// Collects engine events; waits are bounded in real time.
class EventLog {
 public:
  void Add(const EngineEvent& event) {
    std::lock_guard<std::mutex> guard(lock_);
    events_.push_back(event);
    changed_.notify_all();
  }
  bool WaitFor(LONG code, std::chrono::milliseconds limit, EngineEvent* found = nullptr) {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, limit, [&] {
      for (const EngineEvent& event : events_) {
        if (event.code == code) {
          if (found != nullptr) *found = event;
          return true;
        }
      }
      return false;
    });
  }
  std::vector<EngineEvent> Of(LONG code) {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<EngineEvent> matching;
    for (const EngineEvent& event : events_) {
      if (event.code == code) matching.push_back(event);
    }
    return matching;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<EngineEvent> events_;
};

class RecordingObserver : public BuildObserver {
 public:
  bool FactorySelected(GstElementFactory* factory) override {
    selected.push_back(GST_OBJECT_NAME(factory));
    return true;
  }
  void ElementCreated(GstElement*) override { ++created; }
  void PadUnrendered(GstPad*) override { ++unrendered; }

  std::vector<std::string> selected;
  int created = 0;
  int unrendered = 0;
};

class MediaPipelineIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win::testing::PrepareGStreamer();
    fixtures_ = win::testing::MediaFixtureDirectory();
    ASSERT_FALSE(fixtures_.empty()) << "media fixtures could not be made";
    pipeline_ = std::make_unique<MediaPipeline>([this](const EngineEvent& event) { events_.Add(event); },
                                                [this] {
                                                  GstElement* bin = MakeVideoRendererBin("Video Renderer");
                                                  frames_ = RendererFrameStore(bin);
                                                  return bin;
                                                });
  }
  void TearDown() override { pipeline_.reset(); }

  std::string fixtures_;
  EventLog events_;
  VideoFrameStore* frames_ = nullptr;  // owned by the renderer in the pipeline
  std::unique_ptr<MediaPipeline> pipeline_;
};

TEST_F(MediaPipelineIntegrationTest, RendersAFileAndPlaysItToCompletion) {
  RecordingObserver observer;
  ASSERT_EQ(pipeline_->RenderFile(fixtures_ + "/clip.ogg", &observer), RenderOutcome::kRendered);
  EXPECT_FALSE(observer.selected.empty());
  EXPECT_GT(observer.created, 0);
  EXPECT_EQ(observer.unrendered, 0);
  EXPECT_TRUE(pipeline_->HasAudio());
  EXPECT_EQ(pipeline_->state(), PlayState::kStopped);

  const std::optional<std::int64_t> duration = pipeline_->Duration();
  ASSERT_TRUE(duration.has_value());
  EXPECT_NEAR(static_cast<double>(*duration) / 1e9, 2.0, 0.1);

  EngineEvent size;
  ASSERT_TRUE(events_.WaitFor(EC_VIDEO_SIZE_CHANGED, 5s, &size));
  EXPECT_EQ(size.param1, static_cast<LONG_PTR>(MAKELONG(320, 240)));
  EXPECT_GE(frames_->FrameCount(), 1u);  // the preroll frame

  ASSERT_TRUE(pipeline_->Run());
  EXPECT_TRUE(events_.WaitFor(EC_COMPLETE, 10s));
  EXPECT_TRUE(pipeline_->Stop());
  EXPECT_EQ(pipeline_->state(), PlayState::kStopped);
  EXPECT_TRUE(pipeline_->Duration().has_value());
}

TEST_F(MediaPipelineIntegrationTest, SeeksPausedAndChangesRate) {
  ASSERT_EQ(pipeline_->RenderFile(fixtures_ + "/clip.ogg", nullptr), RenderOutcome::kRendered);
  ASSERT_TRUE(pipeline_->Pause());
  // Rendering left the pipeline prerolled: the pause completes at once and is reported once.
  EXPECT_TRUE(events_.WaitFor(EC_PAUSED, 2s));
  ASSERT_TRUE(pipeline_->Seek(1200 * kNsPerMs));
  EXPECT_EQ(events_.Of(EC_PAUSED).size(), 1u);
  // Paused, the seek lands on the frame asked for.
  const std::optional<std::int64_t> position = pipeline_->Position();
  ASSERT_TRUE(position.has_value());
  EXPECT_LE(std::llabs(*position - 1200 * kNsPerMs), kPalFrameNs);
  EXPECT_TRUE(pipeline_->SetRate(2.0));
  EXPECT_EQ(pipeline_->rate(), 2.0);
  EXPECT_FALSE(pipeline_->SetRate(0.0));
  ASSERT_TRUE(pipeline_->Run());
  EXPECT_TRUE(events_.WaitFor(EC_COMPLETE, 10s));
}

// Subtitles go to a sink that discards them the moment they come, ahead of the clock; the
// position is that of the streams presented, which play from the start when the graph runs.
TEST_F(MediaPipelineIntegrationTest, AStreamNothingRendersDoesNotMoveThePosition) {
  RecordingObserver observer;
  ASSERT_EQ(pipeline_->RenderFile(fixtures_ + "/subtitled.mkv", &observer), RenderOutcome::kPartlyRendered);
  EXPECT_EQ(observer.unrendered, 1);
  const auto run_started = std::chrono::steady_clock::now();
  ASSERT_TRUE(pipeline_->Run());
  const std::optional<std::int64_t> position = pipeline_->Position();
  const std::int64_t spent_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                    std::chrono::steady_clock::now() - run_started).count();
  ASSERT_TRUE(position.has_value());
  EXPECT_LE(*position, spent_ns + kPalFrameNs);
}

// A file rendered into a graph that holds one already joins it: both play to their ends.
struct FilePair {
  const char* name;
  const char* first;
  const char* second;
};
void PrintTo(const FilePair& pair, std::ostream* out) { *out << pair.first << " then " << pair.second; }

class SecondFileTest : public MediaPipelineIntegrationTest, public ::testing::WithParamInterface<FilePair> {};

TEST_P(SecondFileTest, JoinsTheGraphAndBothPlayToTheirEnds) {
  ASSERT_EQ(pipeline_->RenderFile(fixtures_ + "/" + GetParam().first, nullptr), RenderOutcome::kRendered);
  ASSERT_EQ(pipeline_->RenderFile(fixtures_ + "/" + GetParam().second, nullptr), RenderOutcome::kRendered);
  EXPECT_EQ(pipeline_->state(), PlayState::kStopped);
  ASSERT_TRUE(pipeline_->Run());
  EXPECT_TRUE(events_.WaitFor(EC_COMPLETE, 20s));
  EXPECT_TRUE(events_.Of(EC_ERRORABORT).empty());
  EXPECT_TRUE(pipeline_->Stop());
}

INSTANTIATE_TEST_SUITE_P(Pairs, SecondFileTest,
                         ::testing::Values(FilePair{"VideoAndSoundThenVideo", "clip.ogg", "wide.ogg"},
                                           FilePair{"OneStreamEach", "wide.ogg", "wide.ogg"},
                                           FilePair{"VideoAndSoundTwice", "clip.ogg", "clip.ogg"}),
                         [](const ::testing::TestParamInfo<FilePair>& info) { return std::string(info.param.name); });

TEST_F(MediaPipelineIntegrationTest, RendererShowsTheColourBars) {
  ASSERT_EQ(pipeline_->RenderFile(fixtures_ + "/clip.ogg", nullptr), RenderOutcome::kRendered);
  VideoFrame frame;
  ASSERT_TRUE(frames_->Snapshot(frame));
  ASSERT_EQ(frame.width, 320);
  ASSERT_EQ(frame.height, 240);
  // The seven bars of the top rows: white, yellow, cyan, green, magenta, red and blue, each
  // 320/7 pixels wide; BGRx pixels, red in bits 16-23.
  struct Bar {
    int red, green, blue;
  } bars[] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
              {255, 0, 255},   {255, 0, 0},   {0, 0, 255}};
  for (int index = 0; index < 7; ++index) {
    const Bar& bar = bars[index];
    const int x = index * 320 / 7 + 320 / 14;
    const std::uint32_t pixel = frame.PixelAt(x, 40);
    EXPECT_NEAR(static_cast<int>((pixel >> 16) & 0xFF), bar.red, 24) << "bar " << index;
    EXPECT_NEAR(static_cast<int>((pixel >> 8) & 0xFF), bar.green, 24) << "bar " << index;
    EXPECT_NEAR(static_cast<int>(pixel & 0xFF), bar.blue, 24) << "bar " << index;
  }
}

TEST_F(MediaPipelineIntegrationTest, ReportsMissingAndUndecodableFiles) {
  EXPECT_EQ(pipeline_->RenderFile(fixtures_ + "/no such file.ogg", nullptr), RenderOutcome::kFileNotFound);
  const std::string junk = ::testing::TempDir() + "/junk.bin";
  {
    std::ofstream out(junk, std::ios::binary);
    for (int i = 0; i < 4096; ++i) out.put(static_cast<char>((i * 37) & 0xFF));
  }
  const RenderOutcome outcome = pipeline_->RenderFile(junk, nullptr);
  EXPECT_TRUE(outcome == RenderOutcome::kUnsupported || outcome == RenderOutcome::kNothingRendered ||
              outcome == RenderOutcome::kFailed);
  EXPECT_TRUE(events_.Of(EC_ERRORABORT).empty());
}

// A file is named by its path or by a "file:" URI, the shell's name for a path whose bytes are
// no UTF-8; a URI that names no local file is a file not found.
struct FileNameCase {
  const char* label;
  std::string (*name)(const std::string& fixtures);
  RenderOutcome expected;
};

std::string UriOfPath(const std::string& path) {
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  std::string text = uri != nullptr ? uri : "";
  g_free(uri);
  return text;
}

// A copy of the clip under a name holding bytes that are no UTF-8.
std::string ClipWithNonUtf8Name(const std::string& fixtures) {
  const std::string copy = ::testing::TempDir() + "/clip \xFF\xFE name.ogg";
  std::ifstream in(fixtures + "/clip.ogg", std::ios::binary);
  std::ofstream out(copy, std::ios::binary | std::ios::trunc);
  out << in.rdbuf();
  return copy;
}

const FileNameCase kFileNameCases[] = {
    {"UriOfANameThatIsNoUtf8", [](const std::string& f) { return UriOfPath(ClipWithNonUtf8Name(f)); },
     RenderOutcome::kRendered},
    {"UriWithLocalhost",
     [](const std::string& f) { return "file://localhost" + UriOfPath(f + "/clip.ogg").substr(7); },
     RenderOutcome::kRendered},
    {"UriOfAMissingFile", [](const std::string& f) { return UriOfPath(f + "/missing \xFF.ogg"); },
     RenderOutcome::kFileNotFound},
    {"UriOnAnotherHost", [](const std::string& f) { return "file://elsewhere" + UriOfPath(f + "/clip.ogg").substr(7); },
     RenderOutcome::kFileNotFound},
    {"MalformedUri", [](const std::string&) { return std::string("file:///clip%zz.ogg"); },
     RenderOutcome::kFileNotFound},
};

class FileNameTest : public MediaPipelineIntegrationTest, public ::testing::WithParamInterface<FileNameCase> {};

TEST_P(FileNameTest, RendersWhatTheNameLeadsTo) {
  const std::string name = GetParam().name(fixtures_);
  ASSERT_NE(name, "");
  EXPECT_EQ(pipeline_->RenderFile(name, nullptr), GetParam().expected) << name;
  EXPECT_TRUE(events_.Of(EC_ERRORABORT).empty());
}

INSTANTIATE_TEST_SUITE_P(Uses, FileNameTest, ::testing::ValuesIn(kFileNameCases),
                         [](const ::testing::TestParamInfo<FileNameCase>& info) { return info.param.label; });

TEST_F(MediaPipelineIntegrationTest, PlaysADvdFolderWithTimeEvents) {
  ASSERT_EQ(pipeline_->RenderDvd(fixtures_ + "/dvd/VIDEO_TS"), RenderOutcome::kRendered);
  EXPECT_TRUE(pipeline_->IsDvd());
  EXPECT_EQ(pipeline_->DvdFrameRate(), 25);
  const std::optional<std::int64_t> title = pipeline_->TitleDuration();
  ASSERT_TRUE(title.has_value());
  EXPECT_NEAR(static_cast<double>(*title) / 1e9, 4.0, 0.2);
  EngineEvent event;
  ASSERT_TRUE(events_.WaitFor(EC_DVD_TITLE_CHANGE, 5s, &event));
  EXPECT_EQ(event.param1, 1);
  ASSERT_TRUE(events_.WaitFor(EC_DVD_AUDIO_STREAM_CHANGE, 5s, &event));
  EXPECT_EQ(event.param1, 0);
  EXPECT_EQ(pipeline_->AudioLanguage(), "en");
  ASSERT_TRUE(pipeline_->Run());
  ASSERT_TRUE(events_.WaitFor(EC_DVD_CURRENT_HMSF_TIME, 3s, &event));
  EXPECT_EQ(event.param1 & 0xFF, 0);  // hours
  EXPECT_EQ(event.param2 & 0x3, 1);   // 25 frames per second

  // Paused, a seek lands on the start of the video object unit that holds the time map's last
  // entry (one a second) at or before the target. The title's units last 0.6 s: on the frame
  // asked for where an entry and a unit start together (3 s), at most one unit earlier where an
  // entry lies inside a unit (2 s), and a step of the map earlier still where a unit starts
  // between two entries (1.8 s: the entry at 1 s lies in the unit from 0.6 s).
  ASSERT_TRUE(pipeline_->Pause());
  ASSERT_TRUE(pipeline_->Seek(3000 * kNsPerMs));
  std::optional<std::int64_t> position = pipeline_->Position();
  ASSERT_TRUE(position.has_value());
  EXPECT_LE(std::llabs(*position - 3000 * kNsPerMs), kPalFrameNs);
  ASSERT_TRUE(pipeline_->Seek(2000 * kNsPerMs));
  position = pipeline_->Position();
  ASSERT_TRUE(position.has_value());
  EXPECT_GE(*position, 2000 * kNsPerMs - kDvdUnitNs);
  EXPECT_LE(*position, 2000 * kNsPerMs);
  ASSERT_TRUE(pipeline_->Seek(1800 * kNsPerMs));
  position = pipeline_->Position();
  ASSERT_TRUE(position.has_value());
  EXPECT_LE(std::llabs(*position - 600 * kNsPerMs), kPalFrameNs);
  // Playing, the position runs on from where the seek landed once the pipeline has prerolled
  // there: no later than the time spent since the seek began. The subpicture stream's gaps,
  // which the source sends ahead and a sink discards at once, are not the position.
  ASSERT_TRUE(pipeline_->Run());
  const auto seek_started = std::chrono::steady_clock::now();
  ASSERT_TRUE(pipeline_->Seek(3000 * kNsPerMs));
  position = pipeline_->Position();
  const std::int64_t spent_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                    std::chrono::steady_clock::now() - seek_started).count();
  ASSERT_TRUE(position.has_value());
  EXPECT_GE(*position, 3000 * kNsPerMs - kPalFrameNs);
  EXPECT_LE(*position, 3000 * kNsPerMs + spent_ns + kPalFrameNs);
}

// Counts the flushes that leave an element: the flush-start events on each of its source pads.
class FlushCounter {
 public:
  explicit FlushCounter(GstElement* element) {
    GstIterator* pads = gst_element_iterate_src_pads(element);
    gst_iterator_foreach(
        pads,
        [](const GValue* item, gpointer self) {
          auto* counter = static_cast<FlushCounter*>(self);
          auto* pad = GST_PAD(gst_object_ref(g_value_get_object(item)));
          counter->probes_.emplace_back(
              pad, gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_FLUSH, &FlushCounter::Count, counter, nullptr));
        },
        this);
    gst_iterator_free(pads);
  }
  ~FlushCounter() {
    for (auto [pad, probe] : probes_) {
      gst_pad_remove_probe(pad, probe);
      gst_object_unref(pad);
    }
  }
  FlushCounter(const FlushCounter&) = delete;
  FlushCounter& operator=(const FlushCounter&) = delete;

  int pads() const { return static_cast<int>(probes_.size()); }
  int flushes() const { return flushes_.load(); }

 private:
  static GstPadProbeReturn Count(GstPad*, GstPadProbeInfo* info, gpointer self) {
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_FLUSH_START)
      ++static_cast<FlushCounter*>(self)->flushes_;
    return GST_PAD_PROBE_OK;
  }

  std::vector<std::pair<GstPad*, gulong>> probes_;
  std::atomic<int> flushes_{0};
};

TEST_F(MediaPipelineIntegrationTest, ADvdSeekFlushesTheSourceOnce) {
  ASSERT_EQ(pipeline_->RenderDvd(fixtures_ + "/dvd/VIDEO_TS"), RenderOutcome::kRendered);
  GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline_->pipeline()), "DVD Navigator");
  ASSERT_NE(source, nullptr);
  FlushCounter counter(source);
  gst_object_unref(source);
  // Video, audio and subpictures, each to its own sink.
  ASSERT_EQ(counter.pads(), 3);
  ASSERT_TRUE(pipeline_->Seek(2000 * kNsPerMs));
  EXPECT_EQ(counter.flushes(), counter.pads());
  ASSERT_TRUE(pipeline_->Run());
  ASSERT_TRUE(pipeline_->Seek(3000 * kNsPerMs));
  EXPECT_EQ(counter.flushes(), 2 * counter.pads());
  const std::optional<std::int64_t> position = pipeline_->Position();
  ASSERT_TRUE(position.has_value());
  EXPECT_GE(*position, 3000 * kNsPerMs - kPalFrameNs);
}

}  // namespace
}  // namespace win::gst
