// The page on a private X server given folders that hold more than plain pictures: FIFOs,
// sockets, links to devices and to nothing, and files too large to be pictures never hold the
// page up (the window appears and Escape ends the program), a picture whose name is no UTF-8
// draws and such a folder opens, and a folder that cannot be opened ends the program with one
// message before any window shows. Everything is driven and read through X: xdotool for keys
// and taps, the root window's pixels for what shows.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "carpc_test_support.h"
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

// The covers of the first two tiles, side by side, the centre of the area that shows the chosen
// picture, and a point of the page outside every control, as the page lays them out.
constexpr int kFirstCoverLeft = 6, kSecondCoverLeft = 256, kFirstCoverTop = 46, kCoverSize = 64;
constexpr int kViewCentreX = (536 + 792) / 2, kViewCentreY = (8 + 200) / 2;
constexpr int kRestX = 300, kRestY = 20;

// A 48 x 32 PNG of one colour (0xRRGGBB).
void WritePng(const fs::path& path, std::uint32_t colour) {
  ASSERT_TRUE(carpc_testing::WriteRgbPng(path, 48, 32, [colour](int, int) { return colour; })) << path;
}

// Whether the output holds exactly this line.
bool HasLine(const std::string& output, const std::string& line) {
  return ("\n" + output).find("\n" + line + "\n") != std::string::npos;
}

int LinesWith(const std::string& output, const std::string& text) {
  int count = 0;
  std::size_t start = 0;
  for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1)
    count += output.substr(start, end - start).find(text) != std::string::npos;
  return count;
}

// carpc showing a folder on a display of its own, which has no other client until the program
// says the page shows; then the test's own connection reads the screen.
class PageOnDisplay {
 public:
  explicit PageOnDisplay(const fs::path& folder)
      : server_(1024, 768), carpc_(server_.Display(), {DASHTUNE_CARPC_PATH, folder.string()}) {}
  ~PageOnDisplay() {
    if (peer_ != nullptr) XCloseDisplay(peer_);
  }

  // Waits until the program says the page shows and connects; false when it never said so.
  bool WaitForPage() {
    if (!server_.Running() || !carpc_.ReadUntil("showing the page until Escape", 60s)) return false;
    peer_ = XOpenDisplay(server_.Display().c_str());
    return peer_ != nullptr;
  }
  bool XDoTool(std::vector<std::string> args) { return dashtune::testing::RunXdotool(server_.Display(), std::move(args)); }
  // Pixels of the square at (left, top) that the screen shows in `colour`.
  int PixelsOf(int left, int top, int size, std::uint32_t colour) {
    XImage* shot = XGetImage(peer_, DefaultRootWindow(peer_), left, top, static_cast<unsigned>(size),
                             static_cast<unsigned>(size), AllPlanes, ZPixmap);
    if (shot == nullptr) return 0;
    int count = 0;
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) count += (XGetPixel(shot, x, y) & 0xFFFFFF) == colour;
    XDestroyImage(shot);
    return count;
  }
  // Reads the screen until the square shows at least `wanted` pixels of `colour` (at most 20 s).
  bool WaitForPixels(int left, int top, int size, std::uint32_t colour, int wanted) {
    const auto until = Clock::now() + 20s;
    while (PixelsOf(left, top, size, colour) < wanted) {
      if (Clock::now() > until) return false;
      std::this_thread::sleep_for(50ms);
    }
    return true;
  }
  // Escape with the pointer on the page; answers the exit status (-1 when the program has not
  // ended within 10 s) and how long the end took after the key went.
  int Escape(Clock::duration& took) {
    if (!XDoTool({"mousemove", std::to_string(kRestX), std::to_string(kRestY), "key", "Escape"})) return -1;
    const auto sent = Clock::now();
    const int status = carpc_.Finish(10s);
    took = Clock::now() - sent;
    return status;
  }
  // Reads the program's output until a line that starts with `prefix` (at most 20 s).
  bool ReadUntil(const std::string& prefix) { return carpc_.ReadUntil(prefix, 20s); }
  const std::string& Output() const { return carpc_.Output(); }

 private:
  XvfbServer server_;
  DisplayProgram carpc_;
  Display* peer_ = nullptr;
};

class CarpcFolderFilesIntegration : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { carpc_testing::PrepareProcess(); }
  // An empty folder named after the test.
  static fs::path Folder() {
    const fs::path folder = fs::path(dashtune::testing::TemporaryHome()) /
                            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
  }
};

// Binds a listening Unix socket at `name` in `folder` (by a relative name: a socket's path is
// short); answers its descriptor, -1 on failure.
int BindSocket(const fs::path& folder, const std::string& name) {
  const fs::path was = fs::current_path();
  fs::current_path(folder);
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, name.c_str(), sizeof address.sun_path - 1);
  const bool bound = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, 1) == 0;
  fs::current_path(was);
  if (!bound && fd >= 0) close(fd);
  return bound ? fd : -1;
}

TEST_F(CarpcFolderFilesIntegration, FilesThatAreNoRegularFilesHoldNothingUpAndSayWhy) {
  const fs::path folder = Folder();
  constexpr std::uint32_t kGreen = 0x20C060;
  WritePng(folder / "A real picture.png", kGreen);
  ASSERT_EQ(mkfifo((folder / "fifo.gif").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo((folder / "b clip.ogv").c_str(), 0600), 0);
  fs::create_symlink(folder / "fifo.gif", folder / "link to fifo.png");
  fs::create_symlink("/dev/zero", folder / "zero.gif");
  fs::create_symlink(folder / "gone.png", folder / "nowhere.png");
  // Sparse: it takes no room on the disk, but a reader that took it whole would hold 257 MB.
  std::ofstream(folder / "huge.png").close();
  fs::resize_file(folder / "huge.png", std::uintmax_t{257} << 20);
  const int socket_fd = BindSocket(folder, "socket.png");
  ASSERT_GE(socket_fd, 0) << std::strerror(errno);
  PageOnDisplay page(folder);
  ASSERT_TRUE(page.WaitForPage()) << page.Output();
  // The real picture's cover is the first tile's: the page has drawn its tiles.
  EXPECT_TRUE(page.WaitForPixels(kFirstCoverLeft, kFirstCoverTop, kCoverSize, kGreen, 500)) << page.Output();
  // A tap on the clip's tile, the second: the page says why it does not play.
  ASSERT_TRUE(page.XDoTool({"mousemove", std::to_string(kSecondCoverLeft + 30), std::to_string(kFirstCoverTop + 30),
                            "click", "1"}));
  EXPECT_TRUE(page.ReadUntil("message: b clip.ogv does not play: it is a FIFO, not a regular file.")) << page.Output();
  Clock::duration took{};
  EXPECT_EQ(page.Escape(took), 0) << page.Output();
  std::cout << "Escape ended the program in "
            << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms" << std::endl;
  close(socket_fd);
  const std::string& output = page.Output();
  for (const char* line : {"message: fifo.gif cannot be shown: it is a FIFO, not a regular file.",
                           "message: link to fifo.png cannot be shown: it is a link to a FIFO, not a regular file.",
                           "message: socket.png cannot be shown: it is a socket, not a regular file.",
                           "message: zero.gif cannot be shown: it is a link to a character device, not a regular file.",
                           "message: nowhere.png cannot be shown: it cannot be read (No such file or directory).",
                           "message: huge.png cannot be shown: it is larger than 256 MB."})
    EXPECT_TRUE(HasLine(output, line)) << line << "\n" << output;
  EXPECT_EQ(LinesWith(output, "A real picture.png"), 0) << output;
}

TEST_F(CarpcFolderFilesIntegration, APictureWhoseNameIsNoUtf8Draws) {
  const fs::path folder = Folder();
  constexpr std::uint32_t kOrange = 0xE08020;
  WritePng(folder / "bad\xFF\xFE name.png", kOrange);
  PageOnDisplay page(folder);
  ASSERT_TRUE(page.WaitForPage()) << page.Output();
  EXPECT_TRUE(page.WaitForPixels(kFirstCoverLeft, kFirstCoverTop, kCoverSize, kOrange, 500))
      << "the tile shows no cover of the picture\n" << page.Output();
  // A tap on the cover shows the picture in the view area.
  ASSERT_TRUE(page.XDoTool({"mousemove", std::to_string(kFirstCoverLeft + 30), std::to_string(kFirstCoverTop + 30),
                            "click", "1", "mousemove", std::to_string(kRestX), std::to_string(kRestY)}));
  EXPECT_TRUE(page.WaitForPixels(kViewCentreX - 8, kViewCentreY - 8, 16, kOrange, 16 * 16))
      << "the view area does not show the picture\n" << page.Output();
  EXPECT_EQ(LinesWith(page.Output(), "cannot be shown"), 0) << page.Output();
  Clock::duration took{};
  EXPECT_EQ(page.Escape(took), 0) << page.Output();
}

TEST_F(CarpcFolderFilesIntegration, AFolderWhoseNameIsNoUtf8Opens) {
  const fs::path folder = Folder();
  constexpr std::uint32_t kBlue = 0x2040E0;
  fs::create_directory(folder / "sub\xFF\xFE");
  WritePng(folder / "sub\xFF\xFE" / "inside.png", kBlue);
  PageOnDisplay page(folder);
  ASSERT_TRUE(page.WaitForPage()) << page.Output();
  // The folder's tile is the only one; once it is tapped, the picture inside takes its place.
  ASSERT_TRUE(page.XDoTool({"mousemove", std::to_string(kFirstCoverLeft + 30), std::to_string(kFirstCoverTop + 30),
                            "click", "1", "mousemove", std::to_string(kRestX), std::to_string(kRestY)}));
  EXPECT_TRUE(page.WaitForPixels(kFirstCoverLeft, kFirstCoverTop, kCoverSize, kBlue, 500))
      << "the folder's picture does not show\n" << page.Output();
  EXPECT_EQ(LinesWith(page.Output(), "cannot be opened"), 0) << page.Output();
  Clock::duration took{};
  EXPECT_EQ(page.Escape(took), 0) << page.Output();
}

TEST_F(CarpcFolderFilesIntegration, AFolderThatCannotBeOpenedEndsTheProgramWithOneMessage) {
  const fs::path folder = Folder();
  std::ofstream(folder / "a file") << "no folder";
  ASSERT_EQ(mkfifo((folder / "a fifo").c_str(), 0600), 0);
  XvfbServer server(1024, 768);
  ASSERT_TRUE(server.Running());
  // A missing folder, and a file and a FIFO given as the folder.
  for (const fs::path& given : {folder / "missing", folder / "a file", folder / "a fifo"}) {
    SCOPED_TRACE(given);
    DisplayProgram carpc(server.Display(), {DASHTUNE_CARPC_PATH, given.string()});
    ASSERT_TRUE(carpc.Started());
    EXPECT_EQ(carpc.Finish(60s), 1) << carpc.Output();
    EXPECT_TRUE(HasLine(carpc.Output(),
                        "carpc: The folder " + given.string() + " cannot be opened: it does not exist or is no folder."))
        << carpc.Output();
    EXPECT_EQ(LinesWith(carpc.Output(), "cannot be opened"), 1) << carpc.Output();
    EXPECT_EQ(LinesWith(carpc.Output(), "showing the page"), 0) << carpc.Output();
  }
}

}  // namespace
