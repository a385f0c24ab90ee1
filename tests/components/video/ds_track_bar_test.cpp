// The position bar on the scripted graph and the fake clock: its timer across play, pause and
// stop, ticks that move the thumb and report, the held thumb, seeking by file time and by DVD
// time, the range, and the time conversions.
#include "components/video/ds_track_bar.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "classlib/forms.h"
#include "classlib/sysutils.h"
#include "platform/core/clock.h"
#include "platform/dshow/event_codes.h"
#include "platform/dshow/fake_graph.h"
#include "platform/user/messages.h"
#include "platform_test_support.h"

namespace dashtune {
namespace {

using dashtune::testing::AdvanceAndPump;
using Log = std::vector<std::string>;

constexpr win::LONGLONG kSecond = 10000000;  // reference time units

win::LPARAM Point(int x, int y) { return win::MAKELPARAM(static_cast<win::WORD>(x), static_cast<win::WORD>(y)); }

class DSTrackBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bar_.SetFilterGraph(&graph_);
    bar_.SetOnTimer([this](TObject*, std::uint32_t current, std::uint32_t stop) {
      ticks_.push_back(std::to_string(current) + "/" + std::to_string(stop));
    });
  }
  win::fake::FakeGraphScript& script() { return fake_.script(); }
  // Activates the graph with a 100 s medium at 25 s and the bar's range at 0..1000.
  void Activate() {
    script().duration = 100 * kSecond;
    script().current_position = 25 * kSecond;
    graph_.SetActive(true);
    bar_.SetMax(1000);
  }
  std::vector<std::string> Seeks() { return script().CallsStartingWith("SetPositions"); }

  win::ScopedFakeClock clock_;
  win::fake::ScopedFakeMediaGraph fake_;
  TFilterGraph graph_{nullptr};
  std::vector<std::string> ticks_;
  // Last: leaves the graph before the graph goes.
  TDSTrackBar bar_{nullptr};
};

TEST_F(DSTrackBarTest, StartsWithItsDefaults) {
  EXPECT_EQ(bar_.GetTimerInterval(), 1000u);
  EXPECT_EQ(bar_.GetRangeSetting(), rsAutomatic);
  EXPECT_FALSE(bar_.GetTimerEnabled());
  EXPECT_EQ(bar_.GetMin(), 0);
  EXPECT_EQ(bar_.GetMax(), 10);
  EXPECT_NE(bar_.GetTimerWindow(), nullptr);
}

TEST_F(DSTrackBarTest, TheTimerRunsWhilePlayingOrPausedAndEachTickMovesTheThumbAndReports) {
  Activate();
  AdvanceAndPump(3000);
  EXPECT_TRUE(ticks_.empty()) << "no timer before play";

  graph_.Play();
  EXPECT_TRUE(bar_.GetTimerEnabled());
  AdvanceAndPump(1000);
  EXPECT_EQ(bar_.GetPosition(), 250);
  script().current_position = 50 * kSecond;
  AdvanceAndPump(1000);
  EXPECT_EQ(bar_.GetPosition(), 500);
  EXPECT_EQ(ticks_, (Log{"25000/100000", "50000/100000"}));

  graph_.Stop();
  EXPECT_FALSE(bar_.GetTimerEnabled());
  AdvanceAndPump(5000);
  EXPECT_EQ(ticks_.size(), 2u);

  graph_.Pause();
  EXPECT_TRUE(bar_.GetTimerEnabled()) << "pausing switches the timer on";
  AdvanceAndPump(1000);
  EXPECT_EQ(ticks_.size(), 3u);

  bar_.SetTimerInterval(0);
  AdvanceAndPump(5000);
  EXPECT_EQ(ticks_.size(), 3u) << "interval 0 stops the timer";
  bar_.SetTimerInterval(500);
  AdvanceAndPump(1000);
  EXPECT_EQ(ticks_.size(), 5u);
}

TEST_F(DSTrackBarTest, PlayLeavesTheTimerOffForADisabledBar) {
  Activate();
  bar_.SetEnabled(false);
  graph_.Play();
  EXPECT_FALSE(bar_.GetTimerEnabled());
  AdvanceAndPump(2000);
  EXPECT_TRUE(ticks_.empty());
}

TEST_F(DSTrackBarTest, OtherTimeFormatsReportTheRawLowBits) {
  Activate();
  script().media_time_format = false;
  script().duration = 0x100000123LL;
  script().current_position = 0x45;
  graph_.Play();
  AdvanceAndPump(1000);
  EXPECT_EQ(ticks_, (Log{"69/291"}));
}

TEST_F(DSTrackBarTest, AHeldThumbStopsTheTicksAndItsReleaseSeeks) {
  Activate();
  graph_.Play();
  bar_.SetBounds(0, 0, 214, 30);
  bar_.HandleNeeded();
  bar_.Perform(win::WM_LBUTTONDOWN, win::MK_LBUTTON, Point(7 + 150, 15));  // 750 of 1000
  EXPECT_EQ(bar_.GetPosition(), 750);
  AdvanceAndPump(3000);
  EXPECT_TRUE(ticks_.empty());
  EXPECT_EQ(bar_.GetPosition(), 750) << "ticks leave a held thumb alone";
  bar_.Perform(win::WM_LBUTTONUP, 0, Point(7 + 150, 15));
  EXPECT_EQ(Seeks(), (Log{"SetPositions 750000000 1 1000000000 0"}));
  AdvanceAndPump(1000);
  EXPECT_EQ(ticks_.size(), 1u) << "ticks go on after the release";
  // Another button neither holds the thumb nor seeks.
  bar_.Perform(win::WM_RBUTTONDOWN, win::MK_RBUTTON, Point(10, 15));
  bar_.Perform(win::WM_RBUTTONUP, 0, Point(10, 15));
  AdvanceAndPump(1000);
  EXPECT_EQ(ticks_.size(), 2u);
  EXPECT_EQ(Seeks().size(), 1u);
}

TEST_F(DSTrackBarTest, SeekToClampsIntoTheRangeAndSeeksThatShareOfTheDuration) {
  Activate();
  script().stop_position = 90 * kSecond;
  bar_.SeekTo(-5);
  EXPECT_EQ(bar_.GetPosition(), 0);
  bar_.SeekTo(5000);
  EXPECT_EQ(bar_.GetPosition(), 1000);
  bar_.SeekTo(333);
  EXPECT_EQ(Seeks(), (Log{"SetPositions 0 1 900000000 0", "SetPositions 1000000000 1 900000000 0",
                          "SetPositions 333000000 1 900000000 0"}));
  bar_.SetMax(0);
  script().calls.clear();
  bar_.SeekTo(0);
  EXPECT_TRUE(script().calls.empty()) << "Min = Max asks nothing of the graph";
}

TEST_F(DSTrackBarTest, SeekToAVeryLongMediumDoesNotOverflow) {
  Activate();
  // Ten hours in reference time, the range in milliseconds: d x Max is past 64 bits.
  script().duration = 36000 * kSecond;
  bar_.SetMax(36000000);
  bar_.SeekTo(36000000);
  bar_.SeekTo(18000000);
  EXPECT_EQ(Seeks(), (Log{"SetPositions 360000000000 1 360000000000 0", "SetPositions 180000000000 1 360000000000 0"}));
}

TEST_F(DSTrackBarTest, SeekToTheWidestRangeOfTheLongestDurationTakesExactShares) {
  Activate();
  script().duration = std::numeric_limits<std::int64_t>::max();
  script().stop_position = 7;
  bar_.SetMin(std::numeric_limits<int>::min());
  bar_.SetMax(std::numeric_limits<int>::max());
  bar_.SeekTo(std::numeric_limits<int>::min() + 1);
  bar_.SeekTo(0);
  bar_.SeekTo(std::numeric_limits<int>::max() - 1);
  bar_.SeekTo(std::numeric_limits<int>::max());
  // d x part / (2^32 - 1), truncated: part 1, 2^31, 2^32 - 2 and the whole span.
  EXPECT_EQ(Seeks(), (Log{"SetPositions 2147483648 1 7 0", "SetPositions 4611686019501129727 1 7 0",
                          "SetPositions 9223372034707292158 1 7 0", "SetPositions 9223372036854775807 1 7 0"}));
}

TEST_F(DSTrackBarTest, TheClockChangeRewindsAndTakesTheRangeFromTheDuration) {
  Activate();
  script().calls.clear();
  script().Fire(win::EC_CLOCK_CHANGED, 0, 0);
  Application->ProcessMessages();
  EXPECT_EQ(Seeks(), (Log{"SetPositions 0 1 1000000000 0"}));
  EXPECT_EQ(bar_.GetMin(), 0);
  EXPECT_EQ(bar_.GetMax(), 100000);

  bar_.SetRangeSetting(rsManual);
  bar_.SetMax(7);
  script().Fire(win::EC_CLOCK_CHANGED, 0, 0);
  Application->ProcessMessages();
  EXPECT_EQ(bar_.GetMax(), 7) << "a manual range is the user's";
}

TEST_F(DSTrackBarTest, ABarLinkedToAnActiveGraphWaitsForTheNextActivation) {
  TDSTrackBar late(nullptr);
  std::vector<std::string> late_ticks;
  late.SetOnTimer([&](TObject*, std::uint32_t current, std::uint32_t) { late_ticks.push_back(std::to_string(current)); });
  Activate();
  late.SetFilterGraph(&graph_);
  graph_.Play();
  AdvanceAndPump(1000);
  EXPECT_TRUE(late_ticks.empty());
  EXPECT_EQ(ticks_.size(), 1u);
  late.SetFilterGraph(nullptr);
}

TEST_F(DSTrackBarTest, ARaisingTimerHandlerReachesTheApplicationAndTheTicksGoOn) {
  std::vector<std::string> shown;
  Application->OnException = [&](TObject* sender, const Exception& error) {
    EXPECT_EQ(sender, &bar_);
    shown.push_back(error.GetMessage());
  };
  bar_.SetOnTimer([](TObject*, std::uint32_t, std::uint32_t) { throw Exception("tick failed"); });
  Activate();
  graph_.Play();
  AdvanceAndPump(1000);
  AdvanceAndPump(1000);
  Application->OnException = nullptr;
  EXPECT_EQ(shown, (Log{"tick failed", "tick failed"}));
  EXPECT_EQ(bar_.GetPosition(), 250);
}

// A bar made on another thread has its timer window there; the platform refuses this thread a
// timer on it, as it refuses one when none is left.
TEST(DSTrackBarTimerTest, ATimerThatCannotBeHadRaisesOutOfResources) {
  std::mutex mutex;
  std::condition_variable changed;
  TDSTrackBar* bar = nullptr;
  bool done = false;
  std::thread owner([&] {
    auto* made = new TDSTrackBar(nullptr);
    std::unique_lock lock(mutex);
    bar = made;
    changed.notify_all();
    changed.wait(lock, [&] { return done; });
    delete bar;
  });
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return bar != nullptr; });
  }
  try {
    bar->ControlEvent(gcPause, 0);
    ADD_FAILURE() << "no exception";
  } catch (const EOutOfResources& error) {
    EXPECT_EQ(error.GetMessage(), "Nicht genügend Timer verfügbar");
  }
  {
    std::lock_guard lock(mutex);
    done = true;
  }
  changed.notify_all();
  owner.join();
}

TEST_F(DSTrackBarTest, AGraphThatGoesAwayIsForgotten) {
  auto* owned = new TFilterGraph(nullptr);
  TDSTrackBar bar(nullptr);
  bar.SetFilterGraph(owned);
  delete owned;
  EXPECT_EQ(bar.GetFilterGraph(), nullptr);
}

class DSTrackBarDvdTest : public DSTrackBarTest {
 protected:
  void SetUp() override {
    DSTrackBarTest::SetUp();
    script().hidden = {"IMediaSeeking"};
    script().total_title_time = {1, 30, 0, 12};  // 1:30:00, frame 12
    graph_.SetMode(gmDVD);
    graph_.SetActive(true);
  }
};

TEST_F(DSTrackBarDvdTest, TheRangeIsTheTitleLengthAndTheThumbFollowsTheTimeEvents) {
  script().Fire(win::EC_CLOCK_CHANGED, 0, 0);
  Application->ProcessMessages();
  EXPECT_EQ(script().CallsStartingWith("SetOption"), (Log{"SetOption 3 -1"}));
  EXPECT_EQ(bar_.GetMin(), 0);
  EXPECT_EQ(bar_.GetMax(), 5400000);
  // 0:45:00 (hours in the low byte), a quarter of an hour later 1:00:00.
  script().Fire(win::EC_DVD_CURRENT_HMSF_TIME, 0x00002D00, 0);
  Application->ProcessMessages();
  EXPECT_EQ(bar_.GetPosition(), 2700000);
  script().Fire(win::EC_DVD_CURRENT_HMSF_TIME, 0x00000001, 0);
  Application->ProcessMessages();
  EXPECT_EQ(bar_.GetPosition(), 3600000);
}

TEST_F(DSTrackBarDvdTest, SeekingJumpsToTheTimeWithTheTitlesFrames) {
  bar_.SetRangeSetting(rsAutomatic);
  bar_.SetMax(1000);
  bar_.SeekTo(500);
  bar_.SeekTo(-1);
  EXPECT_EQ(script().CallsStartingWith("PlayAtTime"), (Log{"PlayAtTime 0:45:0.12 1", "PlayAtTime 0:0:0.12 1"}));
  EXPECT_EQ(bar_.GetPosition(), 0);
}

TEST_F(DSTrackBarDvdTest, WithoutTheNavigatorsInformationATimeEventPutsTheThumbAt0) {
  bar_.SetMax(1000);
  bar_.SetPosition(300);
  script().hidden.insert("IDvdInfo2");
  script().Fire(win::EC_DVD_CURRENT_HMSF_TIME, 0x00002D00, 0);
  Application->ProcessMessages();
  EXPECT_EQ(bar_.GetPosition(), 0);
}

TEST(DSTimeConversions, HoursMinutesAndSecondsToMillisecondsAndBack) {
  EXPECT_EQ(video::HMSToMs(1, 2, 3), 3723000u);
  EXPECT_EQ(video::HMSToMs(0, 0, 0), 0u);
  EXPECT_EQ(video::HMSToMs(255, 255, 255), (255u + 60u * 255u) * 60000u + 255000u);
  std::uint8_t h = 0, m = 0, s = 0;
  video::MsToHMS(3723999, h, m, s);
  EXPECT_EQ(std::vector<int>({h, m, s}), std::vector<int>({1, 2, 3}));
  video::MsToHMS(59999, h, m, s);
  EXPECT_EQ(std::vector<int>({h, m, s}), std::vector<int>({0, 0, 59}));
}

}  // namespace
}  // namespace dashtune
