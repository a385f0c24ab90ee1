// The graph as a car PC uses it: ClearGraph in every state over clips of every format and damaged
// copies of them, failed renders that answer at once, and bounded waits on a file with an empty tail.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "components/video/ds_util.h"
#include "components/video/filter_graph.h"
#include "components/video/video_window.h"
#include "media_fixtures.h"
#include "platform/core/strings.h"
#include "platform/dshow/media_objects.h"
#include "platform/dshow/media_pipeline.h"
#include "platform_test_support.h"

namespace dashtune {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using win::ComPtr;
namespace fs = std::filesystem;

constexpr auto kSettleLimit = std::chrono::milliseconds(win::gst::MediaPipeline::kSettleLimitMs);
constexpr auto kPrerollLimit = std::chrono::milliseconds(win::gst::MediaPipeline::kPrerollLimitMs);
// A graph whose render failed answers from what it knows, without the engine: a call that waited
// for a stuck engine would take the settle limit, and half of it holds on a loaded machine.
constexpr auto kFailedCallBound = kSettleLimit / 2;

// The clips the fixture script makes; an absent one (no encoder for it) is skipped.
const char* const kClips[] = {"clip.ogg", "clip.webm", "clip.mkv", "clip.mp4", "clip.mpg", "clip.wav", "dvd"};

enum class ClearState { kAfterRender, kPlaying, kPaused, kStopped };
const ClearState kStates[] = {ClearState::kAfterRender, ClearState::kPlaying, ClearState::kPaused,
                              ClearState::kStopped};
const char* NameOf(ClearState state) {
  switch (state) {
    case ClearState::kAfterRender: return "after render";
    case ClearState::kPlaying: return "playing";
    case ClearState::kPaused: return "paused";
    case ClearState::kStopped: return "stopped";
  }
  return "?";
}

std::chrono::milliseconds TimeOf(const std::function<void()>& call) {
  const auto started = Clock::now();
  call();
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Damaged copies of a file, as worn media and interrupted copies leave them.
enum class Damage { kTruncatedTo10, kTruncatedTo50, kBytesFlipped, kHeaderZeroed };
const Damage kDamages[] = {Damage::kTruncatedTo10, Damage::kTruncatedTo50, Damage::kBytesFlipped,
                           Damage::kHeaderZeroed};

std::string Damaged(std::string bytes, Damage damage) {
  switch (damage) {
    case Damage::kTruncatedTo10: bytes.resize(bytes.size() / 10); break;
    case Damage::kTruncatedTo50: bytes.resize(bytes.size() / 2); break;
    case Damage::kBytesFlipped: {
      std::mt19937 random(20261207);
      std::uniform_int_distribution<std::size_t> at(0, bytes.size() - 1);
      for (std::size_t flip = 0; flip < bytes.size() / 100; ++flip) bytes[at(random)] ^= 0x5A;
      break;
    }
    case Damage::kHeaderZeroed: std::fill_n(bytes.begin(), std::min<std::size_t>(bytes.size(), 512), '\0'); break;
  }
  return bytes;
}

// Broken DVD folders: an empty VIDEO_TS, zeroed IFOs, and a truncated video manager IFO and BUP.
enum class DvdDamage { kEmpty, kIfosZeroed, kManagerTruncated };

void DamageDvd(const fs::path& video_ts, DvdDamage damage) {
  for (const fs::directory_entry& entry : fs::directory_iterator(video_ts)) {
    const std::string name = entry.path().filename().string();
    const bool info = name.ends_with(".IFO") || name.ends_with(".BUP");
    switch (damage) {
      case DvdDamage::kEmpty: fs::remove(entry.path()); break;
      case DvdDamage::kIfosZeroed:
        if (info) Write(entry.path(), std::string(fs::file_size(entry.path()), '\0'));
        break;
      case DvdDamage::kManagerTruncated:
        if (name.starts_with("VIDEO_TS.")) fs::resize_file(entry.path(), 100);
        break;
    }
  }
}

class FilterGraphInUseIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win::testing::PrepareGStreamer();
    fixtures_ = win::testing::MediaFixtureDirectory();
    ASSERT_FALSE(fixtures_.empty());
    scratch_ = fs::path(::testing::TempDir()) / ("graph-in-use-" + std::to_string(::getpid()));
    fs::create_directories(scratch_);
    graph_.OnDSEvent = [this](TObject*, win::LONG code, win::LONG_PTR, win::LONG_PTR) { codes_.push_back(code); };
  }
  void TearDown() override {
    graph_.SetActive(false);
    fs::remove_all(scratch_);
  }

  void Activate(TGraphMode mode) {
    graph_.SetActive(false);
    graph_.SetMode(mode);
    graph_.SetActive(true);
    codes_.clear();
  }

  template <class Interface>
  ComPtr<Interface> Ask() {
    ComPtr<Interface> result;
    graph_.QueryInterface(Interface::iid, reinterpret_cast<void**>(result.ReleaseAndGetAddressOf()));
    return result;
  }

  // Renders a file or a DVD folder; the result code, raised or returned.
  win::HRESULT Render(const fs::path& path, bool dvd) {
    try {
      if (!dvd) return graph_.RenderFile(win::Utf8ToUtf16(path.string()));
      win::AM_DVD_RENDERSTATUS status{};
      return graph_.RenderDVD(status, win::Utf8ToUtf16((path / "VIDEO_TS").string()), 1);
    } catch (const EDirectShowException& error) {
      return error.ErrorCode;
    }
  }

  bool Seen(win::LONG code) const { return std::find(codes_.begin(), codes_.end(), code) != codes_.end(); }

  std::int64_t PositionMs() {
    win::LONGLONG position = 0;
    ComPtr<win::IMediaSeeking> seeking = Ask<win::IMediaSeeking>();
    return seeking && seeking->GetCurrentPosition(&position) == win::S_OK ? video::RefTimeToMs(position) : -1;
  }

  // ClearGraph returns within the settle limit, and then the same graph renders a valid clip and
  // plays it to its end.
  void ExpectClearsAndPlaysOn(const std::string& what) {
    EXPECT_LE(TimeOf([&] { graph_.ClearGraph(); }), kSettleLimit) << what;
    codes_.clear();
    ASSERT_EQ(Render(fs::path(fixtures_) / "short.ogg", false), win::S_OK) << what;
    ASSERT_TRUE(graph_.Play()) << what;
    EXPECT_TRUE(testing::PumpUntil([&] { return Seen(win::EC_COMPLETE); }, 10s)) << what;
    EXPECT_FALSE(Seen(win::EC_ERRORABORT)) << what;
    graph_.ClearGraph();
  }

  // Every call of a graph whose render failed answers at once: playing, pausing and seeking
  // with the render's failure, stopping with success.
  void ExpectFailedRenderAnswersAtOnce(win::HRESULT failure, const std::string& what) {
    const auto answers = [&](const char* call, const std::function<bool()>& body) {
      bool raised = false;
      const auto spent = TimeOf([&] {
        try {
          body();
        } catch (const EDirectShowException& error) {
          raised = true;
          EXPECT_EQ(error.ErrorCode, failure) << what << ": " << call;
        }
      });
      EXPECT_LT(spent, kFailedCallBound) << what << ": " << call;
      return raised;
    };
    EXPECT_TRUE(answers("Play", [&] { return graph_.Play(); }));
    EXPECT_TRUE(answers("Pause", [&] { return graph_.Pause(); }));
    win::LONGLONG target = 5000000;
    ComPtr<win::IMediaSeeking> seeking = Ask<win::IMediaSeeking>();
    ASSERT_TRUE(seeking);
    answers("SetPositions", [&] {
      EXPECT_EQ(seeking->SetPositions(&target, win::AM_SEEKING_AbsolutePositioning, nullptr, 0), failure) << what;
      return true;
    });
    EXPECT_FALSE(answers("Stop", [&] { return graph_.Stop(); }));
    EXPECT_EQ(graph_.GetState(), gsStopped) << what;
  }

  std::string fixtures_;
  fs::path scratch_;
  TFilterGraph graph_{nullptr};
  std::vector<win::LONG> codes_;
};

class ClearGraphIntegrationTest : public FilterGraphInUseIntegrationTest,
                                  public ::testing::WithParamInterface<const char*> {};

TEST_P(ClearGraphIntegrationTest, ClearsInEveryStateAndPlaysTheNextClip) {
  const fs::path clip = fs::path(fixtures_) / GetParam();
  if (!fs::exists(clip)) GTEST_SKIP() << GetParam() << " could not be made here";
  const bool dvd = fs::is_directory(clip);
  for (ClearState state : kStates) {
    const std::string what = std::string(GetParam()) + ", " + NameOf(state);
    // A DVD graph builder renders one volume: each state gets a new graph.
    Activate(dvd ? gmDVD : gmNormal);
    ASSERT_EQ(Render(clip, dvd), win::S_OK) << what;
    switch (state) {
      case ClearState::kAfterRender: break;
      case ClearState::kPlaying:
        ASSERT_TRUE(graph_.Play()) << what;
        EXPECT_TRUE(testing::PumpUntil([&] { return PositionMs() >= 100 || Seen(win::EC_COMPLETE); })) << what;
        break;
      case ClearState::kPaused: EXPECT_TRUE(graph_.Pause()) << what; break;
      case ClearState::kStopped:
        ASSERT_TRUE(graph_.Play()) << what;
        EXPECT_TRUE(graph_.Stop()) << what;
        break;
    }
    ExpectClearsAndPlaysOn(what);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, ClearGraphIntegrationTest, ::testing::ValuesIn(kClips),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '.', '_');
                           return name;
                         });

class DamagedClipIntegrationTest : public FilterGraphInUseIntegrationTest,
                                   public ::testing::WithParamInterface<const char*> {};

// A damaged copy either fails to render, and then answers at once, or plays as far as it can;
// either way the graph clears and plays the next clip.
TEST_P(DamagedClipIntegrationTest, FailsOrPlaysAndTheGraphPlaysTheNextClip) {
  const fs::path clip = fs::path(fixtures_) / GetParam();
  if (!fs::exists(clip)) GTEST_SKIP() << GetParam() << " could not be made here";
  const std::string original = Read(clip);
  int index = 0;
  for (Damage damage : kDamages) {
    const std::string what = std::string(GetParam()) + ", damage " + std::to_string(index);
    const fs::path copy = scratch_ / ("damaged-" + std::to_string(index++) + clip.extension().string());
    Write(copy, Damaged(original, damage));
    Activate(gmNormal);
    const win::HRESULT result = Render(copy, false);
    if (win::FAILED(result)) {
      ExpectFailedRenderAnswersAtOnce(result, what);
    } else {
      graph_.Play();
      testing::PumpUntil([&] { return Seen(win::EC_COMPLETE) || Seen(win::EC_ERRORABORT); }, 300ms);
    }
    ExpectClearsAndPlaysOn(what);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, DamagedClipIntegrationTest,
                         ::testing::Values("clip.ogg", "clip.webm", "clip.mkv", "clip.mp4", "clip.mpg", "clip.wav"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '.', '_');
                           return name;
                         });

TEST_F(FilterGraphInUseIntegrationTest, BrokenDvdFoldersFailAndTheGraphPlaysAClip) {
  const DvdDamage damages[] = {DvdDamage::kEmpty, DvdDamage::kIfosZeroed, DvdDamage::kManagerTruncated};
  int index = 0;
  for (DvdDamage damage : damages) {
    const std::string what = "broken DVD " + std::to_string(index);
    const fs::path folder = scratch_ / ("dvd-" + std::to_string(index++));
    fs::copy(fs::path(fixtures_) / "dvd", folder, fs::copy_options::recursive);
    DamageDvd(folder / "VIDEO_TS", damage);
    Activate(gmDVD);
    const win::HRESULT result = Render(folder, true);
    EXPECT_EQ(result, win::VFW_E_DVD_RENDERFAIL) << what;
    ExpectFailedRenderAnswersAtOnce(result, what);
    ExpectClearsAndPlaysOn(what);
  }
}

// A program stream followed by zeros to 8 GiB, as a preallocated, partly written file looks:
// the engine's demuxer scans the empty tail for many seconds (in prerolling or seeking), and the
// graph waits for it no longer than its limits. The process then ends normally.
TEST_F(FilterGraphInUseIntegrationTest, RenderSeekAndTeardownOnAFileWithAnEmptyTailAreBounded) {
  const fs::path big = scratch_ / "preallocated.mpg";
  fs::copy_file(fs::path(fixtures_) / "clip.mpg", big);
  fs::resize_file(big, std::uintmax_t{8} << 30);
  Activate(gmNormal);
  win::HRESULT rendered = win::S_OK;
  EXPECT_LE(TimeOf([&] { rendered = Render(big, false); }), kPrerollLimit + kSettleLimit + 1s);
  if (win::FAILED(rendered)) {
    EXPECT_EQ(rendered, win::VFW_E_TIMEOUT);
    ExpectFailedRenderAnswersAtOnce(rendered, "empty tail");
  } else {
    ComPtr<win::IMediaSeeking> seeking = Ask<win::IMediaSeeking>();
    ASSERT_TRUE(seeking);
    win::LONGLONG target = 5000000;
    EXPECT_LE(TimeOf([&] { seeking->SetPositions(&target, win::AM_SEEKING_AbsolutePositioning, nullptr, 0); }),
              kSettleLimit + 1s);
  }
  EXPECT_LE(TimeOf([&] { graph_.SetActive(false); }), kSettleLimit + 1s);
}

// Two seconds of program stream followed by zeros to 8 GiB: a seek to the middle sends the
// demuxer scanning the zeros for far longer than the settle limit. The seek answers within the
// limit; then the graph lets go of the stuck engine: ClearGraph returns at once, and the next file
// renders and plays to its end, through the linked video window's renderer where there is one.
struct StuckEngineCase {
  const char* name;
  bool video_window;  // a video window linked to the graph, as the car PC's page has
  bool clear_first;   // ClearGraph before the next RenderFile, as the car PC does
};

void PrintTo(const StuckEngineCase& c, std::ostream* os) { *os << c.name; }

class StuckEngineIntegrationTest : public FilterGraphInUseIntegrationTest,
                                   public ::testing::WithParamInterface<StuckEngineCase> {};

TEST_P(StuckEngineIntegrationTest, TheGraphLetsGoOfTheEngineAndPlaysTheNextFile) {
  const StuckEngineCase& c = GetParam();
  const fs::path stuck = scratch_ / "stuck.mpg";
  fs::copy_file(fs::path(fixtures_) / "long.mpg", stuck);
  fs::resize_file(stuck, std::uintmax_t{8} << 30);
  std::unique_ptr<TVideoWindow> window;
  if (c.video_window) {
    window = std::make_unique<TVideoWindow>(nullptr);
    window->SetName("Video");
    window->SetFilterGraph(&graph_);
  }
  Activate(gmNormal);
  ASSERT_EQ(Render(stuck, false), win::S_OK);
  ComPtr<win::IMediaSeeking> seeking = Ask<win::IMediaSeeking>();
  ASSERT_TRUE(seeking);
  win::LONGLONG middle = 0;
  ASSERT_EQ(seeking->GetDuration(&middle), win::S_OK);
  middle /= 2;
  win::HRESULT seek = win::S_OK;
  EXPECT_LE(TimeOf([&] { seek = seeking->SetPositions(&middle, win::AM_SEEKING_AbsolutePositioning, nullptr, 0); }),
            kSettleLimit + 1s);
  ASSERT_EQ(seek, win::E_FAIL) << "the engine was not stuck: the test shows nothing";

  if (c.clear_first) {
    win::HRESULT cleared = win::S_OK;
    EXPECT_LE(TimeOf([&] {
                try {
                  graph_.ClearGraph();
                } catch (const EDirectShowException& error) {
                  cleared = error.ErrorCode;
                }
              }),
              kSettleLimit);
    EXPECT_EQ(cleared, win::S_OK);
  }
  codes_.clear();
  // A clip of another size than the stuck one: the window's renderer shows frames of this one.
  ASSERT_EQ(Render(fs::path(fixtures_) / "clip.ogg", false), win::S_OK);
  ASSERT_TRUE(graph_.Play());
  EXPECT_TRUE(testing::PumpUntil([&] { return Seen(win::EC_COMPLETE); }, 15s));
  EXPECT_FALSE(Seen(win::EC_ERRORABORT));
  if (window) {
    win::gst::VideoFrame frame;
    ASSERT_TRUE(win::GetRendererFrame(window->GetFilter().Get(), frame));
    EXPECT_EQ(frame.width, 320);
    // The window's renderer is the graph's only one: no default renderer was made instead.
    ComPtr<win::IFilterGraph> filters = Ask<win::IFilterGraph>();
    TFilterList list(filters.Get());
    int renderers = 0;
    for (int index = 0; index < list.GetCount(); ++index) {
      win::CLSID class_id{};
      list.GetItem(index)->GetClassID(&class_id);
      renderers += class_id == win::CLSID_VideoRenderer ? 1 : 0;
    }
    EXPECT_EQ(renderers, 1);
  }
  EXPECT_LE(TimeOf([&] { graph_.SetActive(false); }), kSettleLimit);
}

INSTANTIATE_TEST_SUITE_P(Uses, StuckEngineIntegrationTest,
                         ::testing::Values(StuckEngineCase{"VideoWindowClearGraph", true, true},
                                           StuckEngineCase{"PlainGraphRenderFile", false, false}),
                         [](const ::testing::TestParamInfo<StuckEngineCase>& info) { return info.param.name; });

}  // namespace
}  // namespace dashtune
