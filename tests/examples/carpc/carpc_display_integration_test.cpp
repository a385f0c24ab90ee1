// The car PC program started as a user starts it, on a private X server that has no other client
// until the program holds it: the program connects once, the page's window appears with its
// title on every start and goes with Escape; a display that cannot be opened is reported on
// standard error and ends the program with a failure. Keys typed on the display reach the tile
// list without a tap: arrows and type-ahead move its focus. A tapped animated GIF plays its
// frames in the view area.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "carpc_test_support.h"
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
// The centre of the area that shows the chosen picture.
constexpr int kViewCentreX = (536 + 792) / 2, kViewCentreY = (8 + 200) / 2;

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

// An 8 x 8 GIF of `colours.size()` frames, frame i all of colour i (0xRRGGBB), each shown for
// 10 hundredths of a second, looping for ever. Its LZW codes are 8 bits wide (minimum code size
// 7, a clear code before the 64 pixels of a frame), so each code is one byte.
std::vector<std::uint8_t> AnimatedGif(const std::vector<std::uint32_t>& colours) {
  std::vector<std::uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 8, 0, 8, 0, 0xF2, 0, 0};  // 8-entry global table
  for (std::size_t i = 0; i < 8; ++i) {
    const std::uint32_t c = i < colours.size() ? colours[i] : 0;
    gif.insert(gif.end(), {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c)});
  }
  const std::string loop = "NETSCAPE2.0";
  gif.insert(gif.end(), {0x21, 0xFF, 11});
  gif.insert(gif.end(), loop.begin(), loop.end());
  gif.insert(gif.end(), {3, 1, 0, 0, 0});  // loop for ever
  for (std::size_t i = 0; i < colours.size(); ++i) {
    gif.insert(gif.end(), {0x21, 0xF9, 4, 0x04, 10, 0, 0, 0});  // disposal 1, delay 10
    gif.insert(gif.end(), {0x2C, 0, 0, 0, 0, 8, 0, 8, 0, 0, 7, 66, 0x80});
    gif.insert(gif.end(), 64, static_cast<std::uint8_t>(i));
    gif.insert(gif.end(), {0x81, 0});
  }
  gif.push_back(0x3B);
  return gif;
}

// carpc showing a folder on a display of its own, which has no other client until the page is up;
// then the test's own connection to it. Escape ends the program when the test did not.
class PageOnDisplay {
 public:
  PageOnDisplay(const fs::path& folder, const std::string& audit_log = "")
      : server_(1024, 768, audit_log), carpc_(server_.Display(), {DASHTUNE_CARPC_PATH, folder.string()}) {}
  ~PageOnDisplay() {
    if (peer_ != nullptr) XCloseDisplay(peer_);
  }

  // Waits until the program says the page shows, then connects and waits for its window: its
  // titles as PageTitles gives them, "" when it never came.
  std::string WaitForPage() {
    if (!server_.Running() || !carpc_.ReadUntil("showing the page until Escape", 120s)) return "";
    peer_ = OpenPeer(server_.Display());
    if (peer_ == nullptr) return "";
    std::string titles;
    const auto until = Clock::now() + 10s;
    while ((titles = PageTitles(peer_)).empty() && Clock::now() < until) std::this_thread::sleep_for(50ms);
    return titles;
  }
  // Runs xdotool on the display; true when it succeeded.
  bool XDoTool(std::vector<std::string> args) { return dashtune::testing::RunXdotool(server_.Display(), std::move(args)); }
  // Escape with the pointer on the page; answers the program's exit status.
  int Close() {
    XDoTool({"mousemove", std::to_string(kRestX), std::to_string(kRestY), "key", "Escape"});
    return carpc_.Finish(60s);
  }

  Display* Peer() const { return peer_; }
  DisplayProgram& Carpc() { return carpc_; }

 private:
  XvfbServer server_;
  DisplayProgram carpc_;
  Display* peer_ = nullptr;
};

class CarpcDisplayIntegration : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { carpc_testing::PrepareProcess(); }
  // A new folder of the test's own.
  static fs::path Folder(const std::string& name) {
    const fs::path folder = fs::path(dashtune::testing::TemporaryHome()) / name;
    fs::create_directories(folder);
    return folder;
  }
};

TEST_F(CarpcDisplayIntegration, OnABareDisplayThePageAppearsWithItsTitleOnEveryStart) {
  // An empty folder: the page opens at once.
  const fs::path folder = Folder("empty-folder");
  const fs::path audit_log = folder.parent_path() / "xvfb-audit.log";
  constexpr int kStarts = 5;
  for (int start = 1; start <= kStarts; ++start) {
    SCOPED_TRACE("start " + std::to_string(start));
    PageOnDisplay page(folder, audit_log.string());
    EXPECT_EQ(page.WaitForPage(), "Dashtune (UTF8_STRING) | Dashtune (STRING)") << page.Carpc().Output();
    // One connection for the whole run: a second one may find the server resetting.
    EXPECT_EQ(ConnectionsOf(audit_log, page.Carpc().Pid()), 1);
    EXPECT_EQ(page.Close(), 0) << page.Carpc().Output();
  }
}

// A display number far above those a starting server takes, with neither socket nor lock file.
std::string DisplayNoServerHas() {
  for (int number = 4000;; ++number) {
    const std::string n = std::to_string(number);
    if (!fs::exists("/tmp/.X11-unix/X" + n) && !fs::exists("/tmp/.X" + n + "-lock")) return ":" + n;
  }
}

TEST_F(CarpcDisplayIntegration, ADisplayThatCannotBeOpenedIsReportedAndEndsTheProgram) {
  // Not the number of a server that just quit: tests beside this one start servers of their own
  // and take the lowest free number, so one of them could be listening there by now.
  const std::string gone = DisplayNoServerHas();
  DisplayProgram carpc(gone, {DASHTUNE_CARPC_PATH, Folder("empty-folder").string()});
  ASSERT_TRUE(carpc.Started());
  EXPECT_EQ(carpc.Finish(60s), 1);
  EXPECT_NE(carpc.Output().find("carpc: cannot open display \"" + gone + "\""), std::string::npos) << carpc.Output();
  EXPECT_EQ(carpc.Output().find("showing the page"), std::string::npos) << carpc.Output();
}

TEST_F(CarpcDisplayIntegration, ArrowKeysAndTypeAheadOnTheDisplayMoveTheTilesFocus) {
  const fs::path folder = Folder("four-pictures");
  ASSERT_TRUE(WritePng(folder / "Alpha.png", 200, 40, 40));
  ASSERT_TRUE(WritePng(folder / "Bravo.png", 40, 200, 40));
  ASSERT_TRUE(WritePng(folder / "Charlie.png", 40, 40, 200));
  ASSERT_TRUE(WritePng(folder / "Delta.png", 200, 200, 40));
  PageOnDisplay page(folder);
  ASSERT_NE(page.WaitForPage(), "") << page.Carpc().Output();
  Display* peer = page.Peer();
  const std::vector<unsigned long> at_start = SettledTiles(peer);
  ASSERT_FALSE(at_start.empty());
  // Keys go to the X window under the pointer: it rests on the page, away from the tiles.
  const auto keys = [&](const std::string& name) {
    return page.XDoTool({"mousemove", std::to_string(kRestX), std::to_string(kRestY), "key", name});
  };
  // The tiles once they show something else than `before` and have settled.
  const auto changed_from = [&](const std::vector<unsigned long>& before) {
    TilesOnceThey(peer, [&before](const std::vector<unsigned long>& shown) { return shown != before; });
    return SettledTiles(peer);
  };
  const auto equals = [](const std::vector<unsigned long>& wanted) {
    return [&wanted](const std::vector<unsigned long>& shown) { return shown == wanted; };
  };

  ASSERT_TRUE(keys("End"));
  const std::vector<unsigned long> on_last = changed_from(at_start);
  EXPECT_NE(on_last, at_start) << "End moved nothing";
  ASSERT_TRUE(keys("Home"));
  const std::vector<unsigned long> on_first = changed_from(on_last);
  EXPECT_NE(on_first, on_last) << "Home and End show the same tiles";
  ASSERT_TRUE(keys("Right"));
  EXPECT_NE(changed_from(on_first), on_first) << "Right moved nothing";
  ASSERT_TRUE(keys("Left"));
  EXPECT_EQ(TilesOnceThey(peer, equals(on_first)), on_first) << "Left did not come back to the first tile";
  // Type-ahead: "d" finds Delta, the last tile.
  ASSERT_TRUE(keys("d"));
  EXPECT_EQ(TilesOnceThey(peer, equals(on_last)), on_last) << "typing d did not reach Delta";
  EXPECT_EQ(page.Close(), 0) << page.Carpc().Output();
}

TEST_F(CarpcDisplayIntegration, ATappedAnimatedGifPlaysItsFramesInTheViewArea) {
  const std::vector<std::uint32_t> colours = {0xE01010, 0x10E010, 0x1010E0, 0xE0E010, 0x10E0E0, 0xE010E0};
  const fs::path folder = Folder("one-animation");
  const std::vector<std::uint8_t> gif = AnimatedGif(colours);
  std::ofstream(folder / "Flags.gif", std::ios::binary)
      .write(reinterpret_cast<const char*>(gif.data()), static_cast<std::streamsize>(gif.size()));
  PageOnDisplay page(folder);
  ASSERT_NE(page.WaitForPage(), "") << page.Carpc().Output();
  // A tap on the only tile; the picture shows fitted into the view area, around its centre.
  ASSERT_TRUE(page.XDoTool({"mousemove", "60", "60", "click", "1", "mousemove", std::to_string(kRestX),
                            std::to_string(kRestY)}));
  const auto frame_shown = [&] {
    XImage* shot = XGetImage(page.Peer(), DefaultRootWindow(page.Peer()), kViewCentreX, kViewCentreY, 1, 1, AllPlanes,
                             ZPixmap);
    if (shot == nullptr) return -1;
    const auto found = std::find(colours.begin(), colours.end(), XGetPixel(shot, 0, 0) & 0xFFFFFF);
    XDestroyImage(shot);
    return found == colours.end() ? -1 : static_cast<int>(found - colours.begin());
  };
  const auto shown_until = Clock::now() + 20s;
  while (frame_shown() < 0 && Clock::now() < shown_until) std::this_thread::sleep_for(10ms);
  // The frames of the first second after the picture showed, in the order they came.
  std::vector<int> frames;
  for (const auto start = Clock::now(); Clock::now() - start < 1s; std::this_thread::sleep_for(10ms))
    if (const int frame = frame_shown(); frame >= 0 && (frames.empty() || frames.back() != frame)) frames.push_back(frame);
  std::string order;
  for (const int frame : frames) order += std::to_string(frame) + " ";
  EXPECT_GE(frames.size(), 3u) << "frames shown: " << order;
  // The watch may miss a frame, never more; frames never go back.
  for (std::size_t i = 1; i < frames.size(); ++i) {
    const int step = (frames[i] - frames[i - 1] + static_cast<int>(colours.size())) % static_cast<int>(colours.size());
    EXPECT_TRUE(step == 1 || step == 2) << "frames shown: " << order;
  }
  EXPECT_EQ(page.Close(), 0) << page.Carpc().Output();
}

}  // namespace
