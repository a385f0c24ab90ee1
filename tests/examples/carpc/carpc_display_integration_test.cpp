// The car PC program started as a user starts it, on a private X server that has no other client
// until the program holds it: the program connects once, the page's window appears with its
// title on every start and goes with Escape; a display that cannot be opened is reported on
// standard error and ends the program with a failure. Keys typed on the display reach the tile
// list without a tap: arrows and type-ahead move its focus.
#include <gtest/gtest.h>
#include <png.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "temporary_home.h"
#include "xvfb_server.h"
// Xlib after GoogleTest and the project's headers: its macros (None, Bool) clash with theirs.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using dashtune::testing::DisplayProgram;
using dashtune::testing::XvfbServer;

constexpr int kPageWidth = 800;
constexpr int kPageHeight = 480;
// The tiles' area of the page, and a point of the page outside every control.
constexpr int kTilesLeft = 0, kTilesTop = 40, kTilesRight = 528, kTilesBottom = 476;
constexpr int kRestX = 300, kRestY = 20;

// A text property of a window as bytes, with its type's name; empty when it has none.
std::string TextProperty(Display* display, Window window, const char* property, std::string* type_name) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 1024, False, AnyPropertyType,
                         &type, &format, &count, &after, &data) != Success ||
      data == nullptr)
    return "";
  std::string text(reinterpret_cast<const char*>(data), count);
  XFree(data);
  if (type_name != nullptr && type != 0) {
    char* name = XGetAtomName(display, type);
    *type_name = name != nullptr ? name : "";
    if (name != nullptr) XFree(name);
  }
  return text;
}

// The mapped top-level window of the page's size: "_NET_WM_NAME (type) | WM_NAME (type)", or ""
// while there is none.
std::string PageTitles(Display* display) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int count = 0;
  std::string titles;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) return titles;
  for (unsigned int i = 0; i < count && titles.empty(); ++i) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, children[i], &attributes) == 0 || attributes.map_state != IsViewable ||
        attributes.width != kPageWidth || attributes.height != kPageHeight)
      continue;
    std::string net_type, type;
    const std::string net_name = TextProperty(display, children[i], "_NET_WM_NAME", &net_type);
    const std::string name = TextProperty(display, children[i], "WM_NAME", &type);
    titles = net_name + " (" + net_type + ") | " + name + " (" + type + ")";
  }
  if (children != nullptr) XFree(children);
  return titles;
}

// How many times the process connected, by the server's audit log.
int ConnectionsOf(const fs::path& audit_log, pid_t pid) {
  std::ifstream log(audit_log);
  const std::string mark = " pid=" + std::to_string(pid) + " )";
  int connections = 0;
  for (std::string line; std::getline(log, line);)
    connections += line.find(" connected from ") != std::string::npos && line.find(mark) != std::string::npos;
  return connections;
}

// A connection of the test's own, retried while the server might still be starting.
Display* OpenPeer(const std::string& name) {
  const auto until = Clock::now() + 10s;
  for (;;) {
    if (Display* display = XOpenDisplay(name.c_str())) return display;
    if (Clock::now() > until) return nullptr;
    std::this_thread::sleep_for(50ms);
  }
}

// The tiles' area as the display shows it.
std::vector<unsigned long> TilesOnScreen(Display* display) {
  std::vector<unsigned long> pixels;
  XImage* shot = XGetImage(display, DefaultRootWindow(display), kTilesLeft, kTilesTop, kTilesRight - kTilesLeft,
                           kTilesBottom - kTilesTop, AllPlanes, ZPixmap);
  if (shot == nullptr) return pixels;
  for (int y = 0; y < kTilesBottom - kTilesTop; ++y)
    for (int x = 0; x < kTilesRight - kTilesLeft; ++x) pixels.push_back(XGetPixel(shot, x, y) & 0xFFFFFF);
  XDestroyImage(shot);
  return pixels;
}

// Waits (at most 10 s) until the tiles' area satisfies `wanted`; answers what it shows then.
template <typename Wanted>
std::vector<unsigned long> TilesOnceThey(Display* display, const Wanted& wanted) {
  const auto until = Clock::now() + 10s;
  std::vector<unsigned long> shown = TilesOnScreen(display);
  while (!wanted(shown) && Clock::now() < until) {
    std::this_thread::sleep_for(50ms);
    shown = TilesOnScreen(display);
  }
  return shown;
}

// The tiles' area once it has stopped changing (two looks 200 ms apart agree, at most 10 s).
std::vector<unsigned long> SettledTiles(Display* display) {
  const auto until = Clock::now() + 10s;
  std::vector<unsigned long> shown = TilesOnScreen(display);
  for (;;) {
    std::this_thread::sleep_for(200ms);
    std::vector<unsigned long> again = TilesOnScreen(display);
    if (again == shown || Clock::now() > until) return again;
    shown = std::move(again);
  }
}

// A 24 x 16 PNG of one colour, written with libpng.
bool WritePng(const fs::path& path, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = 24;
  image.height = 16;
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb;
  for (int i = 0; i < 24 * 16; ++i) rgb.insert(rgb.end(), {red, green, blue});
  return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

class CarpcDisplayIntegration : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (dashtune::testing::TemporaryHome().empty()) dashtune::testing::UseTemporaryHome(DASHTUNE_TEST_HOME_ROOT);
    setenv("GST_REGISTRY", DASHTUNE_GST_REGISTRY, 0);
    for (int n = 1; n <= 99; ++n) unsetenv(("DASHTUNE_COM" + std::to_string(n)).c_str());
  }
  void SetUp() override {
    // An empty folder: the page opens at once.
    folder_ = fs::path(dashtune::testing::TemporaryHome()) / "empty-folder";
    fs::create_directories(folder_);
  }

  fs::path folder_;
};

TEST_F(CarpcDisplayIntegration, OnABareDisplayThePageAppearsWithItsTitleOnEveryStart) {
  constexpr int kStarts = 5;
  for (int start = 1; start <= kStarts; ++start) {
    SCOPED_TRACE("start " + std::to_string(start));
    const fs::path audit_log = folder_.parent_path() / "xvfb-audit.log";
    XvfbServer server(1024, 768, audit_log.string());
    ASSERT_TRUE(server.Running()) << "Xvfb could not be started";
    DisplayProgram carpc(server.Display(), {DASHTUNE_CARPC_PATH, folder_.string()});
    ASSERT_TRUE(carpc.Started());
    ASSERT_TRUE(carpc.ReadUntil("showing the page until Escape", 120s)) << carpc.Output();
    // Only now does the test connect: until here the program was the display's only client.
    Display* peer = OpenPeer(server.Display());
    ASSERT_NE(peer, nullptr);
    std::string titles;
    const auto until = Clock::now() + 10s;
    while ((titles = PageTitles(peer)).empty() && Clock::now() < until) std::this_thread::sleep_for(50ms);
    EXPECT_EQ(titles, "Dashtune (UTF8_STRING) | Dashtune (STRING)") << carpc.Output();
    // One connection for the whole run: a second one may find the server resetting.
    EXPECT_EQ(ConnectionsOf(audit_log, carpc.Pid()), 1);
    XCloseDisplay(peer);
    const pid_t escape = dashtune::testing::StartDisplayTool(
        server.Display(), {"xdotool", "mousemove", "100", "100", "key", "Escape"});
    EXPECT_EQ(dashtune::testing::WaitTool(escape), 0);
    EXPECT_EQ(carpc.Finish(60s), 0) << carpc.Output();
  }
}

TEST_F(CarpcDisplayIntegration, ADisplayThatCannotBeOpenedIsReportedAndEndsTheProgram) {
  std::string gone;
  {
    XvfbServer server;
    ASSERT_TRUE(server.Running()) << "Xvfb could not be started";
    gone = server.Display();
  }
  DisplayProgram carpc(gone, {DASHTUNE_CARPC_PATH, folder_.string()});
  ASSERT_TRUE(carpc.Started());
  EXPECT_EQ(carpc.Finish(60s), 1);
  EXPECT_NE(carpc.Output().find("carpc: cannot open display \"" + gone + "\""), std::string::npos) << carpc.Output();
  EXPECT_EQ(carpc.Output().find("showing the page"), std::string::npos) << carpc.Output();
}

}  // namespace

namespace {

TEST_F(CarpcDisplayIntegration, ArrowKeysAndTypeAheadOnTheDisplayMoveTheTilesFocus) {
  const fs::path folder = fs::path(dashtune::testing::TemporaryHome()) / "four-pictures";
  fs::create_directories(folder);
  ASSERT_TRUE(WritePng(folder / "Alpha.png", 200, 40, 40));
  ASSERT_TRUE(WritePng(folder / "Bravo.png", 40, 200, 40));
  ASSERT_TRUE(WritePng(folder / "Charlie.png", 40, 40, 200));
  ASSERT_TRUE(WritePng(folder / "Delta.png", 200, 200, 40));
  XvfbServer server(1024, 768);
  ASSERT_TRUE(server.Running()) << "Xvfb could not be started";
  DisplayProgram carpc(server.Display(), {DASHTUNE_CARPC_PATH, folder.string()});
  ASSERT_TRUE(carpc.Started());
  ASSERT_TRUE(carpc.ReadUntil("showing the page until Escape", 120s)) << carpc.Output();
  Display* peer = OpenPeer(server.Display());
  ASSERT_NE(peer, nullptr);
  const auto until = Clock::now() + 10s;
  while (PageTitles(peer).empty() && Clock::now() < until) std::this_thread::sleep_for(50ms);
  const std::vector<unsigned long> at_start = SettledTiles(peer);
  ASSERT_FALSE(at_start.empty());
  // Keys go to the X window under the pointer: it rests on the page, away from the tiles.
  const auto keys = [&](std::vector<std::string> names) {
    names.insert(names.begin(), {"xdotool", "mousemove", std::to_string(kRestX), std::to_string(kRestY), "key",
                                 "--delay", "50"});
    return dashtune::testing::WaitTool(dashtune::testing::StartDisplayTool(server.Display(), names)) == 0;
  };
  // The tiles once they show something else than `before` and have settled.
  const auto changed_from = [&](const std::vector<unsigned long>& before) {
    TilesOnceThey(peer, [&before](const std::vector<unsigned long>& shown) { return shown != before; });
    return SettledTiles(peer);
  };
  const auto equals = [](const std::vector<unsigned long>& wanted) {
    return [&wanted](const std::vector<unsigned long>& shown) { return shown == wanted; };
  };

  ASSERT_TRUE(keys({"End"}));
  const std::vector<unsigned long> on_last = changed_from(at_start);
  EXPECT_NE(on_last, at_start) << "End moved nothing";
  ASSERT_TRUE(keys({"Home"}));
  const std::vector<unsigned long> on_first = changed_from(on_last);
  EXPECT_NE(on_first, on_last) << "Home and End show the same tiles";
  ASSERT_TRUE(keys({"Right"}));
  const std::vector<unsigned long> on_second = changed_from(on_first);
  EXPECT_NE(on_second, on_first) << "Right moved nothing";
  ASSERT_TRUE(keys({"Left"}));
  EXPECT_EQ(TilesOnceThey(peer, equals(on_first)), on_first) << "Left did not come back to the first tile";
  // Type-ahead: "d" finds Delta, the last tile.
  ASSERT_TRUE(keys({"d"}));
  EXPECT_EQ(TilesOnceThey(peer, equals(on_last)), on_last) << "typing d did not reach Delta";
  XCloseDisplay(peer);
  ASSERT_TRUE(keys({"Escape"}));
  EXPECT_EQ(carpc.Finish(60s), 0) << carpc.Output();
}

}  // namespace
