// TFilterGraph over GStreamer: rendering, playing, seeking and events on real clips.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>
#include <vector>

#include "components/video/ds_util.h"
#include "components/video/filter_graph.h"
#include "media_fixtures.h"
#include "platform/core/strings.h"
#include "platform/dshow/media_objects.h"
#include "platform/user/messages.h"
#include "platform/user/surfaces.h"
#include "platform/user/window.h"
#include "platform_test_support.h"

namespace dashtune {
namespace {

using namespace std::chrono_literals;
using win::ComPtr;

class FilterGraphIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win::testing::PrepareGStreamer();
    fixtures_ = win::testing::MediaFixtureDirectory();
    ASSERT_FALSE(fixtures_.empty());
  }

  template <class Interface>
  ComPtr<Interface> Ask() {
    ComPtr<Interface> result;
    graph_.QueryInterface(Interface::iid, reinterpret_cast<void**>(result.ReleaseAndGetAddressOf()));
    return result;
  }

  std::string fixtures_;
  TFilterGraph graph_{nullptr};
};

TEST_F(FilterGraphIntegrationTest, PlaysAClipToCompletionThroughThePump) {
  const std::string log_path = ::testing::TempDir() + "/graph-integration.log";
  graph_.SetGraphEdit(true);
  graph_.SetLogFile(log_path);
  graph_.ClearGraph();
  graph_.SetActive(true);
  std::vector<win::LONG> codes;
  graph_.OnDSEvent = [&](TObject*, win::LONG code, win::LONG_PTR, win::LONG_PTR) { codes.push_back(code); };
  ASSERT_EQ(graph_.RenderFile(win::Utf8ToUtf16(fixtures_ + "/clip.ogg")), win::S_OK);
  graph_.SetVolume(5000);
  EXPECT_EQ(graph_.GetState(), gsStopped);

  ComPtr<win::IMediaSeeking> seeking = Ask<win::IMediaSeeking>();
  ASSERT_TRUE(seeking);
  win::LONGLONG duration = 0;
  ASSERT_EQ(seeking->GetDuration(&duration), win::S_OK);
  EXPECT_NEAR(video::RefTimeToMs(duration), 2000, 100);

  EXPECT_TRUE(graph_.Pause());
  EXPECT_EQ(graph_.GetState(), gsPaused);
  win::LONGLONG target = 12000000;
  ASSERT_EQ(seeking->SetPositions(&target, win::AM_SEEKING_AbsolutePositioning, nullptr, 0), win::S_OK);
  win::LONGLONG position = 0;
  ASSERT_EQ(seeking->GetCurrentPosition(&position), win::S_OK);
  // Paused, the seek lands on the frame asked for (25 frames per second).
  EXPECT_NEAR(video::RefTimeToMs(position), 1200, 40);
  graph_.SetRate(1.5);
  double rate = 0;
  seeking->GetRate(&rate);
  EXPECT_EQ(rate, 1.5);

  ASSERT_TRUE(graph_.Play());
  EXPECT_EQ(graph_.GetState(), gsPlaying);
  const auto completed = [&] { return std::find(codes.begin(), codes.end(), win::EC_COMPLETE) != codes.end(); };
  EXPECT_TRUE(dashtune::testing::PumpUntil(completed, 10s));
  EXPECT_TRUE(graph_.Stop());
  EXPECT_EQ(graph_.GetState(), gsStopped);
  EXPECT_EQ(seeking->GetDuration(&duration), win::S_OK);

  // Cleared between files: only the renderers a control linked would stay.
  graph_.ClearGraph();
  TFilterList filters(ComPtr<win::IFilterGraph>(Ask<win::IFilterGraph2>()).Get());
  EXPECT_EQ(filters.GetCount(), 0);
  ASSERT_EQ(graph_.RenderFile(win::Utf8ToUtf16(fixtures_ + "/clip.ogg")), win::S_OK);
  graph_.SetActive(false);

  // The graph logged its steps into the component's file.
  std::ifstream log(log_path);
  const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("RenderFile " + fixtures_ + "/clip.ogg\nRenderFile result 0x00000000\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nRun\n"), std::string::npos);
}

TEST_F(FilterGraphIntegrationTest, TheDefaultRendererWindowShowsTheTestPattern) {
  graph_.SetActive(true);
  ASSERT_EQ(graph_.RenderFile(win::Utf8ToUtf16(fixtures_ + "/clip.ogg")), win::S_OK);
  ComPtr<win::IBaseFilter> renderer;
  ASSERT_EQ(Ask<win::IFilterGraph2>()->FindFilterByName(u"Video Renderer", renderer.ReleaseAndGetAddressOf()), win::S_OK);
  const win::HWND window = win::GetRendererWindow(renderer.Get());
  ASSERT_NE(window, nullptr);
  // White, yellow, cyan, green, magenta, red and blue bars, 0x00RRGGBB.
  const std::uint32_t bars[] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00, 0xFF00FF, 0xFF0000, 0x0000FF};
  const auto shows_bars = [&] {
    win::WindowPixels pixels;
    if (!win::ReadWindowPixels(window, &pixels) || pixels.width != 320) return false;
    for (int bar = 0; bar < 7; ++bar) {
      const std::uint32_t pixel = pixels.At(bar * 320 / 7 + 320 / 14, 60);
      for (int shift = 0; shift < 24; shift += 8) {
        const int difference = static_cast<int>((pixel >> shift) & 0xFF) - static_cast<int>((bars[bar] >> shift) & 0xFF);
        if (difference > 24 || difference < -24) return false;
      }
    }
    return true;
  };
  EXPECT_TRUE(dashtune::testing::PumpUntil(shows_bars, 5s));
  renderer.Reset();
  graph_.SetActive(false);
  EXPECT_FALSE(win::IsWindow(window));
}

// RenderFile adds to the graph: a second file gets a renderer of its own, numbered, and both play.
TEST_F(FilterGraphIntegrationTest, ASecondFileRenderedIntoTheGraphPlaysBesideTheFirst) {
  graph_.SetActive(true);
  std::vector<win::LONG> codes;
  graph_.OnDSEvent = [&](TObject*, win::LONG code, win::LONG_PTR, win::LONG_PTR) { codes.push_back(code); };
  ASSERT_EQ(graph_.RenderFile(win::Utf8ToUtf16(fixtures_ + "/clip.ogg")), win::S_OK);
  ASSERT_EQ(graph_.RenderFile(win::Utf8ToUtf16(fixtures_ + "/wide.ogg")), win::S_OK);
  ComPtr<win::IBaseFilter> first, second;
  ASSERT_EQ(Ask<win::IFilterGraph2>()->FindFilterByName(u"Video Renderer", first.ReleaseAndGetAddressOf()), win::S_OK);
  ASSERT_EQ(Ask<win::IFilterGraph2>()->FindFilterByName(u"Video Renderer 0001", second.ReleaseAndGetAddressOf()), win::S_OK);
  ASSERT_TRUE(graph_.Play());
  const auto completed = [&] { return std::find(codes.begin(), codes.end(), win::EC_COMPLETE) != codes.end(); };
  EXPECT_TRUE(dashtune::testing::PumpUntil(completed, 20s));
  first.Reset();
  second.Reset();
  graph_.SetActive(false);
}

TEST_F(FilterGraphIntegrationTest, RenderingAMissingFileRaises) {
  graph_.SetActive(true);
  try {
    graph_.RenderFile(u"/nonexistent/clip.ogg");
    FAIL() << "no exception";
  } catch (const EDirectShowException& error) {
    EXPECT_EQ(error.ErrorCode, static_cast<win::HRESULT>(0x80070002u));
    EXPECT_EQ(error.GetMessage(), "The file could not be found. ($80070002).");
  }
}

TEST_F(FilterGraphIntegrationTest, PlaysADvdFolderWithTitleTimeAndTimeEvents) {
  graph_.SetMode(gmDVD);
  graph_.SetLinearVolume(true);
  graph_.SetActive(true);
  std::vector<int> titles;
  std::vector<int> chapters;
  std::vector<int> seconds;
  graph_.OnDVDTitleChange = [&](TObject*, int title) { titles.push_back(title); };
  graph_.OnDVDChapterStart = [&](TObject*, int chapter) { chapters.push_back(chapter); };
  std::vector<std::string> languages;
  graph_.OnDVDAudioStreamChange = [&](TObject*, int stream, int lcid, const std::string& language) {
    languages.push_back(std::to_string(stream) + " " + std::to_string(lcid) + " " + language);
  };
  graph_.OnDVDCurrentHMSFTime = [&](TObject*, const win::tagDVD_HMSF_TIMECODE& time, const win::tagDVD_TIMECODE& code) {
    seconds.push_back(time.bSeconds);
    EXPECT_EQ(code.FrameRateCode, 1);
    EXPECT_EQ(code.Seconds1, time.bSeconds % 10);
  };
  win::AM_DVD_RENDERSTATUS status;
  ASSERT_EQ(graph_.RenderDVD(status, win::Utf8ToUtf16(fixtures_ + "/dvd/VIDEO_TS"), 1), win::S_OK);

  ComPtr<win::IDvdInfo2> info = Ask<win::IDvdInfo2>();
  ASSERT_TRUE(info);
  win::DVD_HMSF_TIMECODE total;
  win::ULONG flags = 0;
  ASSERT_EQ(info->GetTotalTitleTime(&total, &flags), win::S_OK);
  EXPECT_EQ(total.bSeconds, 4);
  ComPtr<win::IDvdControl2> control = Ask<win::IDvdControl2>();
  ASSERT_TRUE(control);
  win::DVD_HMSF_TIMECODE start{0, 0, 1, 0};
  EXPECT_EQ(control->PlayAtTime(&start, win::DVD_CMD_FLAG_Flush, nullptr), win::S_OK);

  ASSERT_TRUE(graph_.Play());
  EXPECT_TRUE(dashtune::testing::PumpUntil([&] { return seconds.size() >= 2; }, 5s));
  ASSERT_GE(seconds.size(), 2u);
  // The time runs on from where playing started, within the 4 s title.
  EXPECT_GE(seconds[0], 1);
  EXPECT_GE(seconds[1], seconds[0]);
  EXPECT_LE(seconds[1], 4);
  EXPECT_EQ(titles, std::vector<int>{1});
  // The first title's second chapter starts at 2 s.
  EXPECT_TRUE(dashtune::testing::PumpUntil(
      [&] { return std::find(chapters.begin(), chapters.end(), 2) != chapters.end(); }, 5s));
  EXPECT_EQ(chapters.front(), 1);
  EXPECT_EQ(languages, std::vector<std::string>{"0 1033 English"});
  graph_.Stop();
  graph_.SetActive(false);
}

}  // namespace
}  // namespace dashtune
