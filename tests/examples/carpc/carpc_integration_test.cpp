// The demo program as a user runs it: `carpc --script` headless in a temporary HOME (exit status,
// every step line, each screenshot read back with libpng: size, the tiles' captions, the video
// area after the play step); a folder with a broken picture, a broken video and files of other
// types, and a phone port that cannot be opened, shown as messages; a missing folder that stops
// the session at once; two sessions that leave the user's folder and the master volume as they
// were; a phone on a pseudo-terminal asked with AT at 9600 baud and its answer shown; the same
// session under Xvfb, where the X root window shows the last screenshot; and the page on Xvfb
// driven by xdotool: a folder tile opens its folder, a clip that stops puts the position bar back.
#include <gtest/gtest.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "pty_peer.h"
#include "carpc_test_support.h"
#include "temporary_home.h"
#include "test_plugin_setup.h"
#include "xvfb_server.h"
// Xlib after GoogleTest and the project's headers: its macros (None, Bool) clash with theirs.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 800;
constexpr int kHeight = 480;
// The page's areas (the tiles, the picture and video area), as the program lays them out.
struct Area {
  int left, top, right, bottom;
};
constexpr Area kTiles{0, 40, 528, 476};
constexpr Area kView{536, 8, 792, 200};
constexpr Area kTitle{12, 8, 528, 36};
constexpr Area kPositionBar{536, 204, 792, 232};
constexpr Area kPositionText{536, 236, 792, 256};
constexpr Area kVolume{536, 262, 792, 314};  // the label and the slider
constexpr std::uint32_t kPageColour = 0x181E28;
constexpr std::uint32_t kChosenColour = 0x2C4A70;  // the selection's
// The tiles: two to a row, 250 x 76 pixels from the list's top left corner.
constexpr int kTileWidth = 250;
constexpr int kTileHeight = 76;
// The sample folder's tiles: pictures and the clip by name, then the sub-folder.
constexpr int kClipTile = 2;     // City drive.ogv
constexpr int kPictureTile = 3;  // Dusk.png
constexpr int kFolderTile = 5;   // More pictures, holding one picture
// Below the sample folder's three rows of tiles.
constexpr Area kBelowTheTiles{0, 280, 520, 470};

Area TileArea(int index) {
  const int left = kTiles.left + index % 2 * kTileWidth, top = kTiles.top + index / 2 * kTileHeight;
  return {left, top, left + kTileWidth, top + kTileHeight};
}

const std::vector<std::string> kSteps = {"open", "tap", "play", "volume", "type-ahead", "rename"};

// An RGB image read with libpng.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0xRRGGBB
  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

bool ReadPng(const fs::path& path, Image& image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
  png.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr)) return false;
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  image.pixels.resize(rgb.size() / 3);
  for (std::size_t i = 0; i < image.pixels.size(); ++i)
    image.pixels[i] = std::uint32_t{rgb[3 * i]} << 16 | std::uint32_t{rgb[3 * i + 1]} << 8 | rgb[3 * i + 2];
  return true;
}

int DistinctColours(const Image& image, Area area) {
  std::set<std::uint32_t> colours;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) colours.insert(image.At(x, y));
  return static_cast<int>(colours.size());
}

int LitPixels(const Image& image, Area area) {
  int lit = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) lit += image.At(x, y) != 0;
  return lit;
}

bool Inside(Area area, int x, int y) { return x >= area.left && x < area.right && y >= area.top && y < area.bottom; }

int PixelsOf(const Image& image, Area area, std::uint32_t colour) {
  int count = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) count += image.At(x, y) == colour;
  return count;
}

// Pixels of the area that differ from `colour`.
int PixelsOtherThan(const Image& image, Area area, std::uint32_t colour) {
  int other = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) other += image.At(x, y) != colour;
  return other;
}

int DifferingPixels(const Image& a, const Image& b, Area area) {
  int differing = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) differing += a.At(x, y) != b.At(x, y);
  return differing;
}

// carpc started in a working folder of its own, its output read line by line.
class Carpc {
 public:
  Carpc(const fs::path& work, std::vector<std::string> arguments, const std::string& display = "") {
    fs::create_directories(work);
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    posix_spawn_file_actions_addchdir_np(&actions, work.c_str());
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
      if (std::string(*entry).rfind("DISPLAY=", 0) != 0) environment.push_back(*entry);
    if (!display.empty()) environment.push_back("DISPLAY=" + display);
    std::vector<char*> env;
    for (std::string& entry : environment) env.push_back(entry.data());
    env.push_back(nullptr);
    arguments.insert(arguments.begin(), DASHTUNE_CARPC_PATH);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, DASHTUNE_CARPC_PATH, &actions, nullptr, argv.data(), env.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    out_ = pipe_fds[0];
  }
  ~Carpc() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }

  bool Started() const { return pid_ > 0; }
  // Reads output until a line starting with `prefix` (true) or the end of the output or the
  // time-out (false).
  bool ReadUntil(const std::string& prefix, std::chrono::seconds timeout) {
    const auto until = Clock::now() + timeout;
    for (;;) {
      std::size_t start = 0;
      for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = pending_.substr(start, end - start);
        lines_.push_back(line);
        if (line.rfind(prefix, 0) == 0) {
          pending_.erase(0, end + 1);
          return true;
        }
      }
      pending_.erase(0, start);
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
      if (left.count() <= 0) return false;
      pollfd polled{out_, POLLIN, 0};
      if (poll(&polled, 1, static_cast<int>(left.count())) <= 0) return false;
      char buffer[4096];
      const ssize_t got = read(out_, buffer, sizeof buffer);
      if (got <= 0) return false;
      pending_.append(buffer, static_cast<std::size_t>(got));
    }
  }
  // Reads the rest of the output and answers the exit status (-1 after a signal or time-out).
  int Finish(std::chrono::seconds timeout) {
    ReadUntil("\x01 never printed", timeout);
    const auto until = Clock::now() + timeout;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() > until) return -1;
      std::this_thread::sleep_for(50ms);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::vector<std::string>& Lines() const { return lines_; }
  std::string Output() const {
    std::string all;
    for (const std::string& line : lines_) all += line + "\n";
    return all;
  }
  // The first line that starts with `prefix`, or "".
  std::string Line(const std::string& prefix) const {
    for (const std::string& line : lines_)
      if (line.rfind(prefix, 0) == 0) return line;
    return "";
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;
  std::vector<std::string> lines_;
};

std::string StepPrefix(std::size_t index) {
  return "[" + std::to_string(index + 1) + "/" + std::to_string(kSteps.size()) + "] " + kSteps[index] + ": ";
}

fs::path Screenshot(const fs::path& work, std::size_t index) {
  return work / "demo-out" / (std::to_string(index + 1) + "-" + kSteps[index] + ".png");
}

class CarpcIntegration : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { carpc_testing::PrepareProcess(); }
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    work_ = fs::path(dashtune::testing::TemporaryHome()) / info->name();
  }

  // The step lines, the exit status and every screenshot of a session on the sample folder.
  void CheckSession(Carpc& carpc, int status) {
    const std::string output = carpc.Output();
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(carpc.Line("first screenshot "), "") << output;
    EXPECT_NE(carpc.Line("session: 6 of 6 steps succeeded"), "") << output;
    std::vector<Image> shots(kSteps.size());
    for (std::size_t i = 0; i < kSteps.size(); ++i) {
      const std::string line = carpc.Line(StepPrefix(i));
      ASSERT_NE(line, "") << "no line for step " << kSteps[i] << "\n" << output;
      const bool failed = line.find(": FAILED: ") != std::string::npos;
      EXPECT_FALSE(failed) << line;
      ASSERT_TRUE(ReadPng(Screenshot(work_, i), shots[i])) << Screenshot(work_, i);
      EXPECT_EQ(shots[i].width, kWidth);
      EXPECT_EQ(shots[i].height, kHeight);
      EXPECT_GT(DistinctColours(shots[i], kTiles), 50) << "step " << kSteps[i] << ": the tiles show no captions";
    }
    const std::size_t play = 2;
    EXPECT_GT(LitPixels(shots[play], kView), (kView.right - kView.left) * (kView.bottom - kView.top) / 2)
        << "the video area is black after the play step";
    // The tile of the playing clip is marked as the chosen one, the tile tapped before no longer.
    EXPECT_GT(PixelsOf(shots[play], TileArea(kClipTile), kChosenColour), 5000);
    EXPECT_EQ(PixelsOf(shots[play], TileArea(1), kChosenColour), 0);
    EXPECT_GT(DifferingPixels(shots[4], shots[5], kTiles), 20) << "the renamed caption is not on its tile";
  }

  fs::path work_;
};

TEST_F(CarpcIntegration, ScriptHeadlessSavesEveryStep) {
  dashtune::testing::TestAlsaPlugin sound_card;
  Carpc carpc(work_, {"--script"});
  ASSERT_TRUE(carpc.Started());
  const int status = carpc.Finish(240s);
  CheckSession(carpc, status);
  EXPECT_NE(carpc.Line("progress: making the sample folder"), "") << carpc.Output();
  EXPECT_NE(carpc.Line("[4/6] volume: master line moved from 77 % to 30 %; the mixer reads 29 %"), "") << carpc.Output();
  const std::string tap = carpc.Line("[2/6] tap: tile 2 \"Blinker.gif\" chosen by a tap at ");
  // The animation's frames reach the page: the view area shows at least three pictures in a second.
  const std::string playing = ", its 8 frames playing: ";
  ASSERT_NE(tap.find(playing), std::string::npos) << carpc.Output();
  EXPECT_GE(std::atoi(tap.c_str() + tap.find(playing) + playing.size()), 3) << tap;
  // The sample folder's entry changes its name back and forth from one session to the next.
  const std::string rename = carpc.Line("[6/6] rename: tile 5 \"Evening");
  EXPECT_NE(rename.find(" renamed in place to \"Evening"), std::string::npos) << carpc.Output();
}

TEST_F(CarpcIntegration, BrokenFilesAndOtherTypesAreReportedOnThePage) {
  dashtune::testing::TestAlsaPlugin sound_card;
  const fs::path folder = work_ / "broken";
  fs::create_directories(folder);
  std::ofstream(folder / "a broken.png") << "\x89PNG\r\n\x1a\n but nothing more";
  std::ofstream(folder / "b broken.ogg") << "OggS, but no pages";
  std::ofstream(folder / "c photo.jpg") << "\xFF\xD8\xFF\xE0 not shown by the page";
  std::ofstream(folder / "d notes.txt") << "not shown either";
  {
    // A phone port that cannot be opened is a message too.
    setenv("DASHTUNE_COM1", (work_ / "no such device").c_str(), 1);
    Carpc carpc(work_, {"--script", folder.string()});
    unsetenv("DASHTUNE_COM1");
    ASSERT_TRUE(carpc.Started());
    EXPECT_EQ(carpc.Finish(240s), 1) << carpc.Output();
    EXPECT_NE(carpc.Line("message: a broken.png cannot be shown: "), "") << carpc.Output();
    EXPECT_NE(carpc.Line("[1/6] open: 2 items in a copy of " + folder.string() +
                         ": 0 pictures decoded in 0.0 ms, 1 video, 1 broken picture shown as a placeholder, "
                         "2 files of other types left out;"),
              "")
        << carpc.Output();
    EXPECT_NE(carpc.Line("message: b broken.ogg does not play: "), "") << carpc.Output();
    EXPECT_NE(carpc.Line("[3/6] play: FAILED: \"b broken.ogg\" does not play"), "") << carpc.Output();
    EXPECT_NE(carpc.Line("message: The phone's port COM1 cannot be used: "), "") << carpc.Output();
    // The broken picture's tile shows its placeholder: a red cross in the cover.
    Image open;
    ASSERT_TRUE(ReadPng(Screenshot(work_, 0), open));
    int red = 0;
    for (int y = kTiles.top; y < kTiles.top + 80; ++y)
      for (int x = 0; x < 80; ++x) red += open.At(x, y) == 0xFF6060;
    EXPECT_GT(red, 50);
  }
}

// Lines of the output that contain `text`.
int LinesWith(const Carpc& carpc, const std::string& text) {
  int count = 0;
  for (const std::string& line : carpc.Lines()) count += line.find(text) != std::string::npos;
  return count;
}

TEST_F(CarpcIntegration, AFolderThatCannotBeOpenedStopsTheSessionAtItsMessage) {
  dashtune::testing::TestAlsaPlugin sound_card;
  dashtune::testing::AlsaControlPeer mixer;
  mixer.Write("Master Playback Volume", {5, 9});
  const fs::path folder = work_ / "no such folder";
  Carpc missing(work_, {"--script", folder.string()});
  ASSERT_TRUE(missing.Started());
  EXPECT_EQ(missing.Finish(240s), 1) << missing.Output();
  EXPECT_NE(missing.Line("carpc: The folder " + folder.string() + " cannot be opened: it does not exist or is no folder."),
            "")
      << missing.Output();
  EXPECT_EQ(LinesWith(missing, "cannot be opened"), 1) << missing.Output();
  EXPECT_EQ(LinesWith(missing, "FAILED"), 0) << missing.Output();
  EXPECT_EQ(missing.Line("["), "") << missing.Output();
  EXPECT_FALSE(fs::exists(work_ / "demo-out"));
  EXPECT_EQ(mixer.Read("Master Playback Volume"), (std::vector<long>{5, 9}));
}

// Writes a small RGB picture with libpng.
void WritePng(const fs::path& path, std::uint8_t shade) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = 48;
  png.height = 32;
  png.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(png));
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(shade + i % 3 * 60);
  ASSERT_TRUE(png_image_write_to_file(&png, path.c_str(), 0, rgb.data(), 0, nullptr)) << path;
}

// Every file and folder under `folder` by its relative name, with a digest of each file's bytes.
std::map<std::string, std::uint64_t> Checksums(const fs::path& folder) {
  std::map<std::string, std::uint64_t> sums;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    std::uint64_t digest = 1469598103934665603ull;
    if (entry.is_regular_file()) {
      std::ifstream in(entry.path(), std::ios::binary);
      for (std::istreambuf_iterator<char> byte(in), end; byte != end; ++byte)
        digest = (digest ^ static_cast<unsigned char>(*byte)) * 1099511628211ull;
    }
    sums[fs::relative(entry.path(), folder).string()] = digest;
  }
  return sums;
}

TEST_F(CarpcIntegration, TwoSessionsLeaveTheFolderAndTheVolumeAsTheyWere) {
  dashtune::testing::TestAlsaPlugin sound_card;
  dashtune::testing::AlsaControlPeer mixer;
  // Uneven levels and a muted line: the volume step moves and unmutes it.
  mixer.Write("Master Playback Volume", {13, 20});
  mixer.Write("Master Playback Switch", {0, 0});
  const fs::path folder = work_ / "my pictures";
  fs::create_directories(folder / "older");
  for (const char* name : {"anna.png", "berta.png", "carla.png"}) WritePng(folder / name, static_cast<std::uint8_t>(name[0]));
  WritePng(folder / "older" / "dora.png", 40);
  std::ofstream(folder / "notes.txt") << "a file of another type";
  const auto before = Checksums(folder);
  for (int run = 1; run <= 2; ++run) {
    Carpc carpc(work_, {"--script", folder.string()});
    ASSERT_TRUE(carpc.Started());
    // The folder holds no clip, so the play step fails.
    EXPECT_EQ(carpc.Finish(240s), 1) << carpc.Output();
    EXPECT_NE(carpc.Line("progress: the session plays on a copy of " + folder.string() +
                         " in demo-out/folder (4 files, 0.0 MB)"),
              "")
        << carpc.Output();
    EXPECT_NE(carpc.Line("[1/6] open: 4 items in a copy of " + folder.string()), "") << carpc.Output();
    EXPECT_NE(carpc.Line("[1/6] open: ").find(", 1 file of another type left out;"), std::string::npos) << carpc.Output();
    EXPECT_NE(carpc.Line("[4/6] volume: master line moved from 42 % to 70 %; the mixer reads 71 % -> "), "")
        << carpc.Output();
    const std::string rename = carpc.Line("[6/6] rename: ");
    EXPECT_NE(rename.find(" renamed in place to "), std::string::npos) << carpc.Output();
    EXPECT_EQ(Checksums(folder), before) << "run " << run;
    EXPECT_EQ(mixer.Read("Master Playback Volume"), (std::vector<long>{13, 20})) << "run " << run;
    EXPECT_EQ(mixer.Read("Master Playback Switch"), (std::vector<long>{0, 0})) << "run " << run;
  }
  // The renaming happened in the copy, whose sub-folder is empty.
  std::set<std::string> copied;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(work_ / "demo-out" / "folder"))
    copied.insert(fs::relative(entry.path(), work_ / "demo-out" / "folder").string());
  EXPECT_EQ(copied.size(), before.size() - 1);
  EXPECT_EQ(copied.count("older"), 1u);
  EXPECT_EQ(copied.count("carla.png") + copied.count("berta.png") + copied.count("anna.png"), 2u);
}

TEST_F(CarpcIntegration, ThePhoneIsAskedWithATAndItsAnswerShows) {
  dashtune::testing::TestAlsaPlugin sound_card;
  dashtune::serial::PtyPeer phone(3);
  ASSERT_TRUE(phone.Started());
  const fs::path folder = work_ / "empty";
  fs::create_directories(folder);
  Carpc carpc(work_, {"--script", folder.string()});
  unsetenv("DASHTUNE_COM3");
  ASSERT_TRUE(carpc.Started());
  // The page opens the port while it starts; the peer waits 5 s at a time for its bytes.
  std::string asked;
  const auto until = Clock::now() + 60s;
  while (asked.rfind("data", 0) != 0 && Clock::now() < until) asked = phone.Command("read 3");
  EXPECT_EQ(asked, "data 41540D");
  EXPECT_EQ(phone.Command("termios").substr(0, 11), "speed 9600 ");
  EXPECT_EQ(phone.Command("write 0D0A4F4B0D0A"), "ok");
  EXPECT_EQ(carpc.Finish(240s), 1) << carpc.Output();
  EXPECT_NE(carpc.Line("[1/6] open: 0 items in a copy of " + folder.string() + ": 0 pictures decoded in 0.0 ms, 0 videos; "
                       "phone on COM3: answered OK"),
            "")
      << carpc.Output();
}

// The root window's pixels where the page shows, but for the volume's label and slider: the
// session puts the volume back after its last screenshot.
bool RootShows(Display* display, const Image& expected, int& differing) {
  XImage* shot = XGetImage(display, DefaultRootWindow(display), 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
  if (shot == nullptr) return false;
  differing = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      if (!Inside(kVolume, x, y)) differing += (XGetPixel(shot, x, y) & 0xFFFFFF) != expected.At(x, y);
  XDestroyImage(shot);
  return differing == 0;
}

// Sends Escape to the top-level X window at the screen's top left corner.
void PressEscape(Display* display) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable) continue;
    if (attributes.x != 0 || attributes.y != 0 || attributes.width != kWidth) continue;
    XKeyEvent key{};
    key.display = display;
    key.window = children[i];
    key.root = root;
    key.same_screen = True;
    key.keycode = XKeysymToKeycode(display, XK_Escape);
    for (int type : {KeyPress, KeyRelease}) {
      key.type = type;
      XSendEvent(display, children[i], True, type == KeyPress ? KeyPressMask : KeyReleaseMask,
                 reinterpret_cast<XEvent*>(&key));
    }
  }
  if (children != nullptr) XFree(children);
  XFlush(display);
}

TEST_F(CarpcIntegration, OnXvfbTheRootWindowShowsTheLastScreenshot) {
  dashtune::testing::XvfbServer server(1024, 768);
  ASSERT_TRUE(server.Running()) << "Xvfb could not be started";
  Display* peer = XOpenDisplay(server.Display().c_str());
  ASSERT_NE(peer, nullptr);
  dashtune::testing::TestAlsaPlugin sound_card;
  Carpc carpc(work_, {"--script"}, server.Display());
  ASSERT_TRUE(carpc.Started());
  ASSERT_TRUE(carpc.ReadUntil("showing the page until Escape", 240s)) << carpc.Output();
  Image last;
  ASSERT_TRUE(ReadPng(Screenshot(work_, kSteps.size() - 1), last));
  int differing = -1;
  const auto until = Clock::now() + 20s;
  while (!RootShows(peer, last, differing) && Clock::now() < until) std::this_thread::sleep_for(100ms);
  EXPECT_EQ(differing, 0) << "pixels of the root window that differ from the last screenshot";
  PressEscape(peer);
  const int status = carpc.Finish(60s);
  CheckSession(carpc, status);
  XCloseDisplay(peer);
}

// The page shown on a display of its own, run as a user runs it (no --script) on the sample folder
// and tapped with xdotool; the test's own connection reads the screen.
class PageOnScreen {
 public:
  PageOnScreen(const fs::path& work) : server_(1024, 768) {
    if (!server_.Running()) return;
    display_ = XOpenDisplay(server_.Display().c_str());
    if (display_ == nullptr) return;
    carpc_.emplace(work, std::vector<std::string>{}, server_.Display());
  }
  ~PageOnScreen() {
    if (carpc_) {
      PressEscape(display_);
      carpc_->Finish(60s);
    }
    if (display_ != nullptr) XCloseDisplay(display_);
  }

  // Waits until the page shows its tiles; false when it did not start or show.
  bool Shown() {
    if (!carpc_ || !carpc_->Started() || !carpc_->ReadUntil("showing the page until Escape", 240s)) return false;
    return WaitFor(
        [](const Image& page) {
          return PixelsOtherThan(page, kBelowTheTiles, kPageColour) == 0 &&
                 PixelsOtherThan(page, TileArea(0), kPageColour) > 500;
        },
        30s);
  }

  // Taps the picture of a tile (not its caption, where a second tap would start renaming).
  bool TapTile(int index) {
    const Area tile = TileArea(index);
    const std::string x = std::to_string(tile.left + 38), y = std::to_string((tile.top + tile.bottom) / 2);
    return dashtune::testing::RunXdotool(server_.Display(), {"mousemove", x, y, "click", "1"});
  }

  // Reads the screen until `shows` holds for it or `timeout` has passed; answers whether it held.
  bool WaitFor(const std::function<bool(const Image&)>& shows, std::chrono::seconds timeout) {
    const auto until = Clock::now() + timeout;
    for (;;) {
      if (Grab() && shows(last_)) return true;
      if (Clock::now() > until) return false;
      std::this_thread::sleep_for(50ms);
    }
  }

  const Image& Last() const { return last_; }
  std::string Output() const { return carpc_ ? carpc_->Output() : ""; }

 private:
  bool Grab() {
    XImage* shot = XGetImage(display_, DefaultRootWindow(display_), 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
    if (shot == nullptr) return false;
    last_.width = kWidth;
    last_.height = kHeight;
    last_.pixels.resize(static_cast<std::size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        last_.pixels[static_cast<std::size_t>(y) * kWidth + x] = XGetPixel(shot, x, y) & 0xFFFFFF;
    XDestroyImage(shot);
    return true;
  }

  dashtune::testing::XvfbServer server_;
  Display* display_ = nullptr;
  std::optional<Carpc> carpc_;
  Image last_;
};


TEST_F(CarpcIntegration, OnXvfbATappedFolderTileOpensTheFolder) {
  dashtune::testing::TestAlsaPlugin sound_card;
  PageOnScreen page(work_);
  ASSERT_TRUE(page.Shown()) << page.Output();
  const Image before = page.Last();
  ASSERT_TRUE(page.TapTile(kFolderTile));
  // One tile is left, the sub-folder's picture, where the first picture was, and the title names
  // the sub-folder.
  const bool opened = page.WaitFor(
      [&](const Image& shown) {
        return PixelsOtherThan(shown, TileArea(1), kPageColour) == 0 &&
               PixelsOtherThan(shown, TileArea(kFolderTile), kPageColour) == 0 &&
               PixelsOtherThan(shown, TileArea(0), kPageColour) > 500 && DifferingPixels(shown, before, TileArea(0)) > 500 &&
               DifferingPixels(shown, before, kTitle) > 20;
      },
      30s);
  EXPECT_TRUE(opened) << page.Output();
}

TEST_F(CarpcIntegration, OnXvfbAClipThatStopsPutsThePositionBarBack) {
  dashtune::testing::TestAlsaPlugin sound_card;
  PageOnScreen page(work_);
  ASSERT_TRUE(page.Shown()) << page.Output();
  const Image idle = page.Last();
  const auto playing = [](const Image& shown) { return PixelsOtherThan(shown, kPositionText, kPageColour) > 0; };
  const auto back_at_start = [&](const Image& shown) {
    return PixelsOtherThan(shown, kPositionText, kPageColour) == 0 && DifferingPixels(shown, idle, kPositionBar) == 0;
  };
  // Tapping a picture stops the clip.
  ASSERT_TRUE(page.TapTile(kClipTile));
  ASSERT_TRUE(page.WaitFor(playing, 60s)) << "no position under the clip\n" << page.Output();
  ASSERT_TRUE(page.TapTile(kPictureTile));
  EXPECT_TRUE(page.WaitFor(back_at_start, 30s)) << page.Output();
  // The tapped tile shows its selection; the clip's tile no longer does.
  EXPECT_GT(DifferingPixels(page.Last(), idle, TileArea(kPictureTile)), 200);
  EXPECT_EQ(DifferingPixels(page.Last(), idle, TileArea(kClipTile)), 0);
  // So does the clip's end.
  ASSERT_TRUE(page.TapTile(kClipTile));
  ASSERT_TRUE(page.WaitFor(playing, 60s)) << "no position under the clip\n" << page.Output();
  EXPECT_TRUE(page.WaitFor(back_at_start, 60s)) << "the bar stayed where the clip ended\n" << page.Output();
}

}  // namespace
