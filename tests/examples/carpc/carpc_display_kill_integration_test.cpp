// The car PC program losing its display while a clip plays, as when the X server is killed: each
// run ends with one message and status 1, without a crash and without a report of the address or
// behaviour checkers that the program is built with.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "temporary_home.h"
#include "xvfb_server.h"
// Xlib after GoogleTest and the project's headers: its macros (None, Bool) clash with theirs.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using dashtune::testing::DisplayProgram;
using dashtune::testing::XvfbServer;

// The page's size, and the middle of the picture of its first tile.
constexpr int kPageWidth = 800, kPageHeight = 480;
constexpr int kFirstTileX = 38, kFirstTileY = 78;

// Ten seconds of moving colour bars, video only: every frame differs from the one before.
fs::path MakeClipFolder() {
  const fs::path folder = fs::path(dashtune::testing::TemporaryHome()) / "one-clip";
  const fs::path clip = folder / "Drive.ogv";
  if (fs::exists(clip)) return folder;
  fs::create_directories(folder);
  const std::string command =
      "gst-launch-1.0 -q videotestsrc num-buffers=250 pattern=smpte horizontal-speed=4 "
      "! video/x-raw,width=160,height=120,framerate=25/1 ! theoraenc ! oggmux ! filesink location='" +
      clip.string() + ".part' && mv '" + clip.string() + ".part' '" + clip.string() + "'";
  return std::system(command.c_str()) == 0 ? folder : fs::path();
}

// The page's area of the screen, as 0xRRGGBB pixels; empty when it cannot be read.
std::vector<unsigned long> Screen(Display* display) {
  std::vector<unsigned long> pixels;
  XImage* shot = XGetImage(display, DefaultRootWindow(display), 0, 0, kPageWidth, kPageHeight, AllPlanes, ZPixmap);
  if (shot == nullptr) return pixels;
  pixels.reserve(static_cast<std::size_t>(kPageWidth) * kPageHeight);
  for (int y = 0; y < kPageHeight; ++y)
    for (int x = 0; x < kPageWidth; ++x) pixels.push_back(XGetPixel(shot, x, y) & 0xFFFFFF);
  XDestroyImage(shot);
  return pixels;
}

// Waits (at most 30 s) until the screen has changed `changes` times in a row between looks 40 ms
// apart: something plays. Answers whether it did.
bool ScreenKeepsChanging(Display* display, int changes) {
  const auto until = Clock::now() + 30s;
  std::vector<unsigned long> before = Screen(display);
  for (int in_a_row = 0; in_a_row < changes;) {
    if (Clock::now() > until) return false;
    std::this_thread::sleep_for(40ms);
    std::vector<unsigned long> now = Screen(display);
    in_a_row = now != before ? in_a_row + 1 : 0;
    before = std::move(now);
  }
  return true;
}

// Waits (at most 30 s) until the first tile's picture shows something other than black.
bool FirstTileShown(Display* display) {
  const auto until = Clock::now() + 30s;
  for (;;) {
    const std::vector<unsigned long> shown = Screen(display);
    if (!shown.empty() && shown[static_cast<std::size_t>(kFirstTileY) * kPageWidth + kFirstTileX] != 0) return true;
    if (Clock::now() > until) return false;
    std::this_thread::sleep_for(50ms);
  }
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class CarpcDisplayKillIntegration : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (dashtune::testing::TemporaryHome().empty()) dashtune::testing::UseTemporaryHome(DASHTUNE_TEST_HOME_ROOT);
    setenv("GST_REGISTRY", DASHTUNE_GST_REGISTRY, 0);
    for (int n = 1; n <= 99; ++n) unsetenv(("DASHTUNE_COM" + std::to_string(n)).c_str());
  }
};

// One run: the page on a display of its own, the clip tapped, the server killed while it plays.
// Answers the program's exit status; its output goes to `output`.
int KillTheDisplayWhileTheClipPlays(const fs::path& folder, std::string& output) {
  std::optional<XvfbServer> server(std::in_place, 1024, 768);
  if (!server->Running()) return -2;
  DisplayProgram carpc(server->Display(), {DASHTUNE_CARPC_PATH, folder.string()});
  // The page is the display's first client; the test's own connection comes after it.
  if (!carpc.ReadUntil("showing the page until Escape", 120s)) {
    output = carpc.Output();
    return -3;
  }
  Display* peer = XOpenDisplay(server->Display().c_str());
  if (peer == nullptr) return -4;
  const bool tapped =
      FirstTileShown(peer) &&
      dashtune::testing::RunXdotool(server->Display(), {"mousemove", std::to_string(kFirstTileX),
                                                        std::to_string(kFirstTileY), "click", "1", "mousemove", "300", "20"});
  const bool playing = tapped && ScreenKeepsChanging(peer, 5);
  // The test's connection goes first: Xlib would end the test too when its server vanished.
  XCloseDisplay(peer);
  server.reset();
  const int status = carpc.Finish(60s);
  output = carpc.Output();
  return playing ? status : -5;
}

TEST_F(CarpcDisplayKillIntegration, KillingTheDisplayWhileAClipPlaysEndsTheProgramWithOneMessage) {
  const fs::path folder = MakeClipFolder();
  ASSERT_FALSE(folder.empty()) << "cannot make the clip";
  constexpr int kRuns = 30;
  for (int run = 1; run <= kRuns; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    std::string output;
    const int status = KillTheDisplayWhileTheClipPlays(folder, output);
    EXPECT_EQ(status, 1) << output;
    EXPECT_EQ(Occurrences(output, "X connection to"), 1u) << output;
    EXPECT_NE(output.find("carpc: X connection to :"), std::string::npos) << output;
    for (const char* report : {"Sanitizer", "runtime error", "Segmentation", "Aborted"})
      EXPECT_EQ(output.find(report), std::string::npos) << output;
    if (HasFailure()) break;  // one failed run tells it all
  }
}

}  // namespace
