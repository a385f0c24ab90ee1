// The video windows on GStreamer and a private X server, read back from the X root window: the
// overlay window's letter-boxed and stretched picture through the overlay mixer and its colour
// after Stop, the cursor hiding after AutoHideCursor; the video window's renderer placed over it
// with and without the kept aspect, windowless, and over the whole screen.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "classlib/form.h"
#include "classlib/forms.h"
#include "components/video/overlay_window.h"
#include "components/video/video_window.h"
#include "media_fixtures.h"
#include "platform/core/strings.h"
#include "platform/present/presenter.h"
#include "platform/user/cursors.h"
#include "platform_test_support.h"
#include "xvfb_suite.h"
// Xlib after GoogleTest and the project's headers: its macros (None, Bool) clash with theirs.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include "x_cursor.h"

namespace dashtune {
namespace {

using namespace std::chrono_literals;
using dashtune::testing::PumpUntil;

constexpr std::uint32_t kGreen = 0x00C000;
constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kKey = 0x100010;

bool Near(std::uint32_t pixel, std::uint32_t expected, int tolerance = 40) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int a = static_cast<int>((pixel >> shift) & 0xFF);
    const int b = static_cast<int>((expected >> shift) & 0xFF);
    if (std::abs(a - b) > tolerance) return false;
  }
  return true;
}

class VideoWindowsIntegrationTest : public dashtune::testing::XvfbSuite {
 protected:
  void SetUp() override {
    XvfbSuite::SetUp();
    if (HasFatalFailure()) return;
    win::testing::PrepareGStreamer();
    clip_ = win::testing::MediaFixtureDirectory() + "/wide.ogg";
    form_ = std::make_unique<TForm>(nullptr);
    form_->SetBounds(0, 0, 320, 240);
    form_->SetColor(clWhite);
    form_->Show();
    graph_ = std::make_unique<TFilterGraph>(nullptr);
  }
  void TearDown() override {
    if (graph_) graph_->SetActive(false);
    overlay_.reset();
    video_.reset();
    graph_.reset();
    form_.reset();
    XvfbSuite::TearDown();
    win::SetCursor(nullptr);
  }

  // The root window's pixel, as the X server shows it now.
  std::uint32_t Screen(int x, int y) {
    presenter_->Flush();
    XImage* shot = XGetImage(peer_, DefaultRootWindow(peer_), x, y, 1, 1, AllPlanes, ZPixmap);
    if (shot == nullptr) return 0xDEADBEEF;
    const std::uint32_t pixel = XGetPixel(shot, 0, 0) & 0xFFFFFF;
    XDestroyImage(shot);
    return pixel;
  }
  bool ScreenShows(int x, int y, std::uint32_t colour) {
    return PumpUntil([&] { return Near(Screen(x, y), colour); }, 15s);
  }
  bool ScreenHasNoKey() {
    presenter_->Flush();
    XImage* shot = XGetImage(peer_, DefaultRootWindow(peer_), 0, 0, 320, 240, AllPlanes, ZPixmap);
    if (shot == nullptr) return false;
    int keyed = 0;
    for (int y = 0; y < 240; ++y)
      for (int x = 0; x < 320; ++x) keyed += (XGetPixel(shot, x, y) & 0xFFFFFF) == kKey;
    XDestroyImage(shot);
    return keyed == 0;
  }
  void PlayOverlay(TRatioModes aspect) {
    overlay_ = std::make_unique<TDSVideoWindowEx2>(nullptr);
    overlay_->SetName("Overlay");
    overlay_->SetParent(form_.get());
    overlay_->SetBounds(0, 0, 320, 240);
    overlay_->SetColor(clRed);
    overlay_->SetAspectRatio(aspect);
    overlay_->SetFilterGraph(graph_.get());
    graph_->SetActive(true);
    ASSERT_EQ(graph_->RenderFile(win::Utf8ToUtf16(clip_)), win::S_OK);
    ASSERT_TRUE(overlay_->GetOverlayActive());
    ASSERT_TRUE(graph_->Play());
  }
  void PlayVideoWindow(TVideoMode mode, TVMRVideoMode vmr_mode, bool keep_aspect, win::RECT bounds) {
    video_ = std::make_unique<TVideoWindow>(nullptr);
    video_->SetName("Video");
    video_->SetParent(form_.get());
    video_->SetBounds(bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top);
    video_->SetMode(mode);
    video_->GetVMROptions()->SetMode(vmr_mode);
    video_->GetVMROptions()->SetKeepAspectRatio(keep_aspect);
    video_->SetFilterGraph(graph_.get());
    graph_->SetActive(true);
    ASSERT_EQ(graph_->RenderFile(win::Utf8ToUtf16(clip_)), win::S_OK);
    ASSERT_TRUE(graph_->Play());
  }

  std::string clip_;
  std::unique_ptr<TForm> form_;
  std::unique_ptr<TFilterGraph> graph_;
  std::unique_ptr<TDSVideoWindowEx2> overlay_;
  std::unique_ptr<TVideoWindow> video_;
};


TEST_F(VideoWindowsIntegrationTest, TheOverlayLetterBoxesAWidePictureBetweenTheControlsColour) {
  PlayOverlay(rmLetterBox);
  EXPECT_TRUE(ScreenShows(160, 120, kGreen));
  EXPECT_TRUE(ScreenShows(160, 31, kGreen));
  EXPECT_TRUE(ScreenShows(160, 208, kGreen));
  EXPECT_TRUE(ScreenShows(160, 10, kRed));
  EXPECT_TRUE(ScreenShows(160, 229, kRed));
  EXPECT_TRUE(ScreenHasNoKey());
  ASSERT_TRUE(graph_->Stop());
  EXPECT_TRUE(ScreenShows(160, 120, kRed)) << "stopped: the control's colour";
}

TEST_F(VideoWindowsIntegrationTest, AStretchedOverlayFillsTheControl) {
  PlayOverlay(rmStretched);
  EXPECT_TRUE(ScreenShows(160, 5, kGreen));
  EXPECT_TRUE(ScreenShows(160, 234, kGreen));
  EXPECT_TRUE(ScreenHasNoKey());
}

using dashtune::testing::CursorVisible;

TEST_F(VideoWindowsIntegrationTest, TheCursorGoesBlankAfterTheIdleTime) {
  PlayOverlay(rmLetterBox);
  overlay_->SetAutoHideCursor(300);
  // Only once the control is on screen: the pointer must move over it, since a window that
  // appears under a still pointer gets no move and so never sets its cursor.
  ASSERT_TRUE(ScreenShows(160, 120, kGreen));
  // The pointer over the control: the control's cursor shows.
  win::SetCursorPos(150, 100);
  EXPECT_TRUE(PumpUntil([&] { return CursorVisible(peer_); }, 10s));
  EXPECT_TRUE(PumpUntil([&] {
    bool done = false;
    if (Application->OnIdle) Application->OnIdle(nullptr, done);
    return !CursorVisible(peer_);
  }, 10s));
  EXPECT_EQ(overlay_->GetCursor(), crNone);
}

TEST_F(VideoWindowsIntegrationTest, TheClassicRendererShowsTheVideoInTheControlsPlaceAspectKept) {
  PlayVideoWindow(vmNormal, vmrWindowed, true, win::RECT{0, 0, 320, 240});
  EXPECT_TRUE(ScreenShows(160, 120, kGreen));
  EXPECT_TRUE(ScreenShows(160, 10, 0x000000)) << "black borders";
  EXPECT_TRUE(ScreenShows(160, 229, 0x000000));
}

TEST_F(VideoWindowsIntegrationTest, TheMixingRendererStretchesWithoutTheKeptAspect) {
  if (!TVideoWindow::IsVMR9Available()) GTEST_SKIP() << "no mixing renderer";
  PlayVideoWindow(vmVMR, vmrWindowed, false, win::RECT{0, 0, 320, 240});
  EXPECT_TRUE(ScreenShows(160, 10, kGreen));
  EXPECT_TRUE(ScreenShows(160, 229, kGreen));
}

TEST_F(VideoWindowsIntegrationTest, AWindowlessMixingRendererDrawsIntoTheControl) {
  PlayVideoWindow(vmVMR, vmrWindowless, true, win::RECT{0, 0, 320, 240});
  EXPECT_TRUE(ScreenShows(160, 120, kGreen));
  EXPECT_TRUE(ScreenShows(160, 10, 0x000000)) << "letter-boxed on black";
}

TEST_F(VideoWindowsIntegrationTest, FullScreenCoversTheScreen) {
  PlayVideoWindow(vmNormal, vmrWindowed, true, win::RECT{80, 60, 240, 180});
  EXPECT_TRUE(ScreenShows(160, 120, kGreen));
  EXPECT_TRUE(ScreenShows(20, 120, 0xFFFFFF)) << "the form beside the control";
  video_->SetFullScreen(true);
  EXPECT_TRUE(ScreenShows(20, 120, kGreen));
  EXPECT_TRUE(ScreenShows(160, 10, 0x000000));
  video_->SetFullScreen(false);
  EXPECT_TRUE(ScreenShows(20, 120, 0xFFFFFF));
}

}  // namespace
}  // namespace dashtune
