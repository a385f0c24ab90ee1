// The overlay window and the position bar on GStreamer: colour controls landing on the real
// balance and gamma elements, colour off giving grey frames, the overlay inserted on a rendered
// clip and at play on a DVD, each playing to its end, and a released thumb seeking the clip.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "components/video/ds_track_bar.h"
#include "components/video/ds_util.h"
#include "components/video/overlay_window.h"
#include "media_fixtures.h"
#include "platform/core/strings.h"
#include "platform/dshow/media_objects.h"
#include "platform/dshow/overlay_mixer.h"
#include "platform/user/messages.h"
#include "platform_test_support.h"

namespace dashtune {
namespace {

using namespace std::chrono_literals;
using dashtune::testing::PumpUntil;
using win::ComPtr;

class OverlayMediaIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win::testing::PrepareGStreamer();
    fixtures_ = win::testing::MediaFixtureDirectory();
    ASSERT_FALSE(fixtures_.empty());
    graph_ = std::make_unique<TFilterGraph>(nullptr);
    window_ = std::make_unique<TDSVideoWindowEx2>(nullptr);
    window_->SetName("Overlay");
  }
  void TearDown() override {
    if (graph_) graph_->SetActive(false);
    bar_.reset();
    window_.reset();
    graph_.reset();
  }
  // The graph's overlay mixer.
  ComPtr<win::IBaseFilter> Mixer() {
    ComPtr<win::IFilterGraph> filters;
    graph_->QueryInterface(win::IID_IFilterGraph, reinterpret_cast<void**>(filters.ReleaseAndGetAddressOf()));
    TFilterList list(filters.Get());
    for (int index = 0; index < list.GetCount(); ++index) {
      win::CLSID class_id{};
      list.GetItem(index)->GetClassID(&class_id);
      if (class_id == win::CLSID_OverlayMixer) return list.GetItem(index);
    }
    return {};
  }
  void RenderClip() {
    window_->SetFilterGraph(graph_.get());
    graph_->SetActive(true);
    ASSERT_EQ(graph_->RenderFile(win::Utf8ToUtf16(fixtures_ + "/clip.ogg")), win::S_OK);
    ASSERT_TRUE(window_->GetOverlayActive());
  }
  // Whether the renderer's newest frame is grey across the colour bars.
  bool FramesGrey() {
    win::gst::VideoFrame frame;
    if (!win::GetRendererFrame(window_->GetFilter().Get(), frame)) return false;
    for (int x = 10; x < frame.width; x += 45) {
      const std::uint32_t pixel = frame.PixelAt(x, 40);
      const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
      if (std::abs(r - g) > 2 || std::abs(g - b) > 2) return false;
    }
    return true;
  }
  // Shows the paused graph's frame again, as it now passes the overlay.
  void ShowFrameAgain() {
    ComPtr<win::IMediaSeeking> seeking;
    graph_->QueryInterface(win::IID_IMediaSeeking, reinterpret_cast<void**>(seeking.ReleaseAndGetAddressOf()));
    win::LONGLONG start = 0;
    seeking->SetPositions(&start, win::AM_SEEKING_AbsolutePositioning, nullptr, 0);
  }

  std::string fixtures_;
  std::unique_ptr<TFilterGraph> graph_;
  std::unique_ptr<TDSVideoWindowEx2> window_;
  std::unique_ptr<TDSTrackBar> bar_;
};

TEST_F(OverlayMediaIntegrationTest, ColourControlsLandOnTheElementsAsMapped) {
  RenderClip();
  TColorControl* colors = window_->GetColorControl();
  EXPECT_FALSE(window_->GetCapabilities()->GetCanControlSharpness()) << "the overlay has no sharpness";
  EXPECT_TRUE(window_->GetCapabilities()->GetCanControlGamma());
  colors->SetBrightness(2750);
  colors->SetContrast(15000);
  colors->SetHue(90);
  colors->SetSaturation(5000);
  colors->SetGamma(51);
  colors->SetSharpness(9);
  win::gst::BalanceValues values{};
  ASSERT_TRUE(win::GetOverlayMixerBalance(Mixer().Get(), values));
  EXPECT_EQ(values.brightness, 0.2);
  EXPECT_EQ(values.contrast, 1.5);
  EXPECT_EQ(values.hue, 0.5);
  EXPECT_EQ(values.saturation, 0.5);
  EXPECT_EQ(values.gamma, 1.5);
  // Each reads back exactly; sharpness is kept though nothing shows it.
  EXPECT_EQ(colors->GetBrightness(), 2750);
  EXPECT_EQ(colors->GetContrast(), 15000);
  EXPECT_EQ(colors->GetHue(), 90);
  EXPECT_EQ(colors->GetSaturation(), 5000);
  EXPECT_EQ(colors->GetGamma(), 51);
  EXPECT_EQ(colors->GetSharpness(), 9);
}

TEST_F(OverlayMediaIntegrationTest, ColourOffOrNoSaturationGivesGreyFrames) {
  RenderClip();
  TColorControl* colors = window_->GetColorControl();
  colors->SetColorEnable(false);
  ShowFrameAgain();
  EXPECT_TRUE(PumpUntil([&] { return FramesGrey(); }, 10s));
  colors->SetColorEnable(true);
  ShowFrameAgain();
  EXPECT_TRUE(PumpUntil([&] { return !FramesGrey(); }, 10s));
  colors->SetSaturation(0);
  ShowFrameAgain();
  EXPECT_TRUE(PumpUntil([&] { return FramesGrey(); }, 10s));
}

TEST_F(OverlayMediaIntegrationTest, AClipPlaysToItsEndThroughTheOverlay) {
  bool complete = false;
  bool aborted = false;
  graph_->OnGraphComplete = [&](TObject*, win::HRESULT, win::IBaseFilter*) { complete = true; };
  graph_->OnGraphErrorAbort = [&](TObject*, win::HRESULT) { aborted = true; };
  RenderClip();
  ASSERT_TRUE(graph_->Play());
  EXPECT_TRUE(PumpUntil([&] { return complete || aborted; }, 20s));
  EXPECT_TRUE(complete);
  EXPECT_FALSE(aborted);
}

TEST_F(OverlayMediaIntegrationTest, ADvdPlaysToItsEndThroughTheOverlayInsertedAtPlay) {
  graph_->SetMode(gmDVD);
  window_->SetFilterGraph(graph_.get());
  graph_->SetActive(true);
  std::vector<int> seconds;
  bool complete = false;
  bool aborted = false;
  graph_->OnDVDCurrentHMSFTime = [&](TObject*, const win::tagDVD_HMSF_TIMECODE& time, const win::tagDVD_TIMECODE&) {
    seconds.push_back(time.bSeconds);
  };
  graph_->OnGraphComplete = [&](TObject*, win::HRESULT, win::IBaseFilter*) { complete = true; };
  graph_->OnGraphErrorAbort = [&](TObject*, win::HRESULT) { aborted = true; };
  win::AM_DVD_RENDERSTATUS status;
  ASSERT_EQ(graph_->RenderDVD(status, win::Utf8ToUtf16(fixtures_ + "/dvd/VIDEO_TS"), 1), win::S_OK);
  EXPECT_FALSE(window_->GetOverlayActive()) << "the overlay goes in at play";
  ASSERT_TRUE(graph_->Play());
  EXPECT_TRUE(window_->GetOverlayActive());
  // The fixture's first title lasts 4 s; the time-out only ends a hung test.
  EXPECT_TRUE(PumpUntil([&] { return complete || aborted; }, 60s));
  EXPECT_TRUE(complete);
  EXPECT_FALSE(aborted);
  ASSERT_FALSE(seconds.empty());
  EXPECT_GE(seconds.back(), 2) << "the time events followed the title";
  win::gst::VideoFrame frame;
  EXPECT_TRUE(win::GetRendererFrame(window_->GetFilter().Get(), frame));
  EXPECT_EQ(frame.width, 720);
}

TEST_F(OverlayMediaIntegrationTest, ReleasingTheThumbSeeksTheClip) {
  bar_ = std::make_unique<TDSTrackBar>(nullptr);
  bar_->SetFilterGraph(graph_.get());
  graph_->SetActive(true);
  ASSERT_EQ(graph_->RenderFile(win::Utf8ToUtf16(fixtures_ + "/clip.ogg")), win::S_OK);
  bar_->SetRangeSetting(rsAutomatic);
  ASSERT_NEAR(bar_->GetMax(), 2000, 50) << "the clip's length in milliseconds";
  ASSERT_TRUE(graph_->Pause());
  bar_->SetBounds(0, 0, 214, 30);
  bar_->HandleNeeded();
  // 150 of the channel's 200 pixels: three quarters of the clip.
  bar_->Perform(win::WM_LBUTTONDOWN, win::MK_LBUTTON, win::MAKELPARAM(7 + 150, 15));
  bar_->Perform(win::WM_LBUTTONUP, 0, win::MAKELPARAM(7 + 150, 15));
  const int thumb = bar_->GetPosition();
  EXPECT_EQ(thumb, bar_->GetMax() * 3 / 4);
  ComPtr<win::IMediaSeeking> seeking;
  graph_->QueryInterface(win::IID_IMediaSeeking, reinterpret_cast<void**>(seeking.ReleaseAndGetAddressOf()));
  win::LONGLONG position = 0;
  ASSERT_EQ(seeking->GetCurrentPosition(&position), win::S_OK);
  EXPECT_LE(std::llabs(position / 10000 - thumb), 100);
}

}  // namespace
}  // namespace dashtune
