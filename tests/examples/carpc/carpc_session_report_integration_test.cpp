// The scripted session's report as a user reads it, from `carpc --script FOLDER` run headless in a
// working folder of the test's own: a clip shorter than the play step's watch passes the step by
// what it showed, counts read "1 file" and "2 files", and a file name holding control
// characters keeps each step on one line and is never typed as keys.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "carpc_test_support.h"
#include "temporary_home.h"
#include "test_plugin_setup.h"
#include "xvfb_server.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using dashtune::testing::DisplayProgram;

void WritePng(const fs::path& path) {
  const auto shade = [](int x, int y) { return static_cast<std::uint32_t>(x * 0x050301 + y * 0x010507); };
  ASSERT_TRUE(carpc_testing::WriteRgbPng(path, 40, 30, shade)) << path;
}

// The output's lines.
std::vector<std::string> Lines(const std::string& output) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(output.substr(start, end - start));
  return lines;
}

// The first line that starts with `prefix`, or "".
std::string LineStarting(const std::string& output, const std::string& prefix) {
  for (const std::string& line : Lines(output))
    if (line.rfind(prefix, 0) == 0) return line;
  return "";
}

class CarpcSessionReportIntegration : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { carpc_testing::PrepareProcess(); }
  // The session writes demo-out/ where it runs: in a folder of the test's own.
  void SetUp() override {
    const fs::path work = fs::path(dashtune::testing::TemporaryHome()) /
                          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    folder_ = work / "folder";
    fs::remove_all(work);
    fs::create_directories(folder_);
    fs::current_path(work);
  }
  // Runs the session on the folder; answers its output.
  std::string RunSession() {
    DisplayProgram carpc("", {DASHTUNE_CARPC_PATH, "--script", folder_.string()});
    EXPECT_TRUE(carpc.Started());
    EXPECT_NE(carpc.Finish(240s), -1) << carpc.Output();
    return carpc.Output();
  }

  fs::path folder_;
};

TEST_F(CarpcSessionReportIntegration, AClipThatEndsWithinThePlayStepPassesByWhatItShowed) {
  dashtune::testing::TestAlsaPlugin sound_card;
  WritePng(folder_ / "Alpha.png");
  WritePng(folder_ / "Bravo.png");
  // One second of colour bars, made by GStreamer's own tool.
  DisplayProgram encoder("", {"gst-launch-1.0", "-q", "videotestsrc", "num-buffers=25", "pattern=smpte", "!",
                              "video/x-raw,width=160,height=120,framerate=25/1", "!", "theoraenc", "!", "oggmux", "!",
                              "filesink", "location=" + (folder_ / "Short.ogv").string()});
  ASSERT_EQ(encoder.Finish(60s), 0) << encoder.Output();
  const std::string output = RunSession();
  const std::string play = LineStarting(output, "[3/6] play: ");
  const std::string played = "[3/6] play: \"Short.ogv\" played to its end after ";
  ASSERT_EQ(play.rfind(played, 0), 0u) << output;
  // "... after 1.0 s, N frames shown in the video area -> ...": at least two frames showed.
  const std::size_t frames = play.find(" s, ", played.size());
  ASSERT_NE(frames, std::string::npos) << play;
  EXPECT_GE(std::atoi(play.c_str() + frames + 4), 2) << play;
  EXPECT_NE(play.find(" frames shown in the video area -> "), std::string::npos) << play;
}

TEST_F(CarpcSessionReportIntegration, CountsOfOneAreSingular) {
  const std::string copy_of = "progress: the session plays on a copy of " + folder_.string() + " in demo-out/folder ";
  const std::string opened = "[1/6] open: ";
  const struct {
    std::vector<std::string> pictures, undecodable;
    std::string copied;
    std::vector<std::string> open_parts;
  } cases[] = {
      {{"Only.png"},
       {},
       "(1 file, 0.0 MB)",
       {"1 item in a copy of " + folder_.string() + ": 1 picture decoded in ", ", 0 videos;"}},
      {{"a.png"},
       {"b.png", "c.ogg", "d.txt"},
       "(4 files, 0.0 MB)",
       {"3 items in a copy of " + folder_.string() + ": 1 picture decoded in ",
        ", 1 video, 1 broken picture shown as a placeholder, 1 file of another type left out;"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.copied);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    for (const std::string& name : c.pictures) WritePng(folder_ / name);
    for (const std::string& name : c.undecodable) std::ofstream(folder_ / name) << "nothing that decodes";
    const std::string output = RunSession();
    EXPECT_EQ(LineStarting(output, copy_of), copy_of + c.copied) << output;
    const std::string open = LineStarting(output, opened);
    EXPECT_EQ(open.find(c.open_parts[0]), opened.size()) << output;
    EXPECT_NE(open.find(c.open_parts[1]), std::string::npos) << output;
  }
}

TEST_F(CarpcSessionReportIntegration, ControlCharactersInNamesAreEscapedInTheReport) {
  WritePng(folder_ / "A first.png");
  std::ofstream(folder_ / "B\x1b[2J\nsecond\tline.png") << "nothing that decodes";
  WritePng(folder_ / "C third.png");
  const std::string output = RunSession();
  const std::string name = "B\\x1B[2J\\nsecond\\tline.png";
  EXPECT_NE(LineStarting(output, "message: " + name + " cannot be shown: "), "") << output;
  EXPECT_NE(LineStarting(output, "[2/6] tap: tile 2 \"" + name + "\" chosen by a tap at ("), "") << output;
  // Type-ahead types the keys the name begins with, up to the first that is no letter, digit or
  // blank: Escape would close the page.
  EXPECT_NE(LineStarting(output, "[5/6] type-ahead: typing \"b\" moved the focus to tile 2 \"" + name + "\" -> "), "")
      << output;
  EXPECT_NE(LineStarting(output, "session: "), "") << output;
  // Every line is a line the program began: no name starts one, no escape reaches the terminal.
  for (const std::string& line : Lines(output)) {
    EXPECT_NE(line.rfind("second", 0), 0u) << output;
    EXPECT_EQ(line.find('\x1b'), std::string::npos) << output;
    EXPECT_EQ(line.find('\t'), std::string::npos) << output;
  }
}

}  // namespace
