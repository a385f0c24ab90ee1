// Starting ".desktop" links through ShellExecuteExA with real processes in the temporary home:
// the exact argument vector a program receives for each quoting case, the refusals and their
// texts, links to executables opened rather than run, the link's own working folder, and
// argument lists too long to start.
#include "platform/core/errors.h"
#include "platform/shell/shell.h"
#include "platform/shell/shell_execute.h"

#include "platform_test_support.h"
#include "stub_programs.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace win {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

struct Start {
  std::string folder;
  Strings argv;  // after the program
};

// A program that writes its working folder and then each argument, each ended by a NUL byte,
// so that arguments holding new lines arrive whole.
void WriteArgvRecorder(const fs::path& program, const fs::path& record) {
  std::ofstream(program) << "#!/bin/sh\n{ pwd; for a in \"$@\"; do printf '%s\\000' \"$a\"; done; } > '" << record.string() << ".part' && mv '"
                         << record.string() << ".part' '" << record.string() << "'\n";
  fs::permissions(program, fs::perms::owner_all);
}

std::optional<Start> WaitForStart(const fs::path& record) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!fs::exists(record) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::ifstream in(record, std::ios::binary);
  if (!in) return std::nullopt;
  Start start;
  std::getline(in, start.folder);
  for (std::string argument; std::getline(in, argument, '\0');) start.argv.push_back(argument);
  return start;
}

class LinkExecuteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    root_ = fs::path(getenv("HOME")) / ("links-" + std::to_string(++counter));
    fs::create_directories(root_ / "work");
    fs::create_directories(root_ / "elsewhere");
    program_ = root_ / "program";
    record_ = root_ / "record";
    WriteArgvRecorder(program_, record_);
    dashtune::testing::InstallStubApplications();
    setenv("DASHTUNE_OPENER", dashtune::testing::StubOpener().c_str(), 1);
    fs::remove(dashtune::testing::StubOpenerRecord());
  }
  void TearDown() override {
    unsetenv("DASHTUNE_OPENER");
    fs::remove_all(root_);
  }

  fs::path Link(const std::string& body) {
    const fs::path path = root_ / ("link-" + std::to_string(++links_) + ".desktop");
    std::ofstream(path, std::ios::binary) << "[Desktop Entry]\n" << body;
    return path;
  }

  // Runs `file` with the parameters and folder given; answers whether it started.
  bool Run(const fs::path& file, const std::string& parameters = "", const fs::path& folder = {}, ULONG mask = 0) {
    const std::string name = file.string();
    const std::string directory = folder.string();
    SHELLEXECUTEINFOA info;
    info.fMask = mask;
    info.lpFile = name.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    const BOOL started = ShellExecuteExA(&info);
    last_error_ = GetLastError();
    code_ = reinterpret_cast<INT_PTR>(info.hInstApp);
    return started != FALSE;
  }

  fs::path root_;
  fs::path program_;
  fs::path record_;
  int links_ = 0;
  DWORD last_error_ = 0;
  INT_PTR code_ = 0;
};

TEST_F(LinkExecuteTest, ProgramsReceiveTheExecLinesArgumentsExactly) {
  struct Case {
    const char* arguments;  // as written after the program on the Exec line
    const char* parameters;
    Strings argv;
  };
  const Case cases[] = {
      {R"(one "#two" three)", "", {"one", "#two", "three"}},
      {R"("a\nb")", "", {"a\nb"}},
      {R"("it's")", "", {"it's"}},
      {R"("C:\\\\dir")", "", {"C:\\dir"}},
      {R"("\\$HOME" "a;b" "x > y")", "", {"$HOME", "a;b", "x > y"}},
      {R"(--name=%c %i %f "50%%")", "", {"--name=Run Me", "--icon", "run-icon", "50%"}},
      {R"(--first %F)", "second 'third one'", {"--first", "second", "third one"}},
      {"", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    fs::remove(record_);
    const fs::path link = Link("Type=Application\nName=Run Me\nIcon=run-icon\nExec=" + program_.string() + " " +
                               c.arguments + "\n");
    ASSERT_TRUE(Run(link, c.parameters, root_ / "work")) << last_error_;
    const std::optional<Start> start = WaitForStart(record_);
    ASSERT_TRUE(start);
    EXPECT_EQ(start->argv, c.argv);
    EXPECT_EQ(start->folder, fs::canonical(root_ / "work").string());
  }
  // A plain name is found in PATH.
  const std::string path = getenv("PATH");
  setenv("PATH", (root_.string() + ":" + path).c_str(), 1);
  fs::remove(record_);
  const fs::path named = Link("Type=Application\nExec=program %k\n");
  const bool started = Run(named);
  setenv("PATH", path.c_str(), 1);
  ASSERT_TRUE(started);
  EXPECT_EQ(WaitForStart(record_)->argv, Strings{named.string()});
}

TEST_F(LinkExecuteTest, InvalidLinksStartNothingAndSayWhy) {
  const std::string exec = "Exec=" + program_.string();
  struct Case {
    std::string body;
    std::string reason;
  };
  const Case cases[] = {
      {"Type=Application\n" + exec + " %x\n", "Exec line: unknown field code %x"},
      {"Type=Application\n" + exec + " a|b\n", "Exec line: '|' must be quoted"},
      {"Type=Application\n" + exec + " it's\n", "Exec line: ''' must be quoted"},
      {"Type=Application\n" + exec + "\nExec=/bin/sh\n", "line 4: the key Exec appears twice in [Desktop Entry]"},
      {"Type=Application\n" + exec + "\n[Desktop Entry]\nExec=/bin/sh\n", "line 4: the group [Desktop Entry] appears twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    const fs::path link = Link(c.body);
    const dashtune::testing::MessageBoxCapture boxes;
    EXPECT_FALSE(Run(link));
    EXPECT_EQ(last_error_, ERROR_BAD_FORMAT);
    EXPECT_EQ(code_, static_cast<INT_PTR>(ERROR_BAD_FORMAT));
    EXPECT_EQ(boxes.Texts(), Strings{"The link \"" + link.string() + "\" is not valid: " + c.reason + "."});
  }
  EXPECT_FALSE(fs::exists(record_));
  EXPECT_FALSE(fs::exists(dashtune::testing::StubOpenerRecord())) << "an invalid link is no document to open";
  // Without UI the failure is only reported.
  const dashtune::testing::MessageBoxCapture boxes;
  EXPECT_FALSE(Run(Link("Type=Application\n" + exec + " %x\n"), "", {}, SEE_MASK_FLAG_NO_UI));
  EXPECT_EQ(last_error_, ERROR_BAD_FORMAT);
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(LinkExecuteTest, LinksRunOnlyExecutablePrograms) {
  std::ofstream(root_ / "notes.txt") << "not a program";
  fs::permissions(root_ / "notes.txt", fs::perms::owner_read | fs::perms::owner_write);
  struct Case {
    std::string program;
    DWORD error;
    std::string why;
  };
  const Case cases[] = {
      {(root_ / "work").string(), ERROR_ACCESS_DENIED, "it is a folder."},
      {(root_ / "notes.txt").string(), ERROR_ACCESS_DENIED, "it is not an executable program."},
      {(root_ / "missing").string(), ERROR_FILE_NOT_FOUND, "there is no such program."},
      {"dashtune-no-such-program", ERROR_FILE_NOT_FOUND, "there is no such program."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    const fs::path link = Link("Type=Application\nExec=" + c.program + " x\n");
    const dashtune::testing::MessageBoxCapture boxes;
    EXPECT_FALSE(Run(link));
    EXPECT_EQ(last_error_, c.error);
    EXPECT_EQ(boxes.Texts(), Strings{"The link \"" + link.string() + "\" cannot run \"" + c.program + "\": " + c.why});
  }
  EXPECT_FALSE(fs::exists(dashtune::testing::StubOpenerRecord())) << "nothing is handed to the opener";
}

TEST_F(LinkExecuteTest, UrlLinkToAnExecutableOpensItInsteadOfRunningIt) {
  ASSERT_TRUE(Run(Link("Type=Link\nURL=file://" + program_.string() + "\n")));
  const dashtune::testing::RecordedStart opener = dashtune::testing::WaitForRecord(dashtune::testing::StubOpenerRecord());
  EXPECT_EQ(opener.arguments, Strings{program_.string()});
  EXPECT_FALSE(fs::exists(record_)) << "the program itself never ran";
}

TEST_F(LinkExecuteTest, TheLinksWorkingFolderWinsOverTheCallers) {
  ASSERT_TRUE(Run(Link("Type=Application\nPath=" + (root_ / "work").string() + "\nExec=" + program_.string() + "\n"), "",
                  root_ / "elsewhere"));
  EXPECT_EQ(WaitForStart(record_)->folder, fs::canonical(root_ / "work").string());
  // Without a Path the caller's folder holds; a Path that does not exist starts nothing.
  fs::remove(record_);
  ASSERT_TRUE(Run(Link("Type=Application\nExec=" + program_.string() + "\n"), "", root_ / "elsewhere"));
  EXPECT_EQ(WaitForStart(record_)->folder, fs::canonical(root_ / "elsewhere").string());
  fs::remove(record_);
  EXPECT_FALSE(Run(Link("Type=Application\nPath=" + (root_ / "gone").string() + "\nExec=" + program_.string() + "\n"), "",
                   root_ / "elsewhere", SEE_MASK_FLAG_NO_UI));
  EXPECT_EQ(last_error_, ERROR_PATH_NOT_FOUND);
}

TEST_F(LinkExecuteTest, ARelativeProgramRunsThatFileNeverOneFoundInPath) {
  fs::copy_file(program_, root_ / "sh");
  const fs::path previous = fs::current_path();
  fs::current_path(root_);
  const bool started = Run("sh", "x", root_ / "elsewhere");
  fs::current_path(previous);
  ASSERT_TRUE(started);
  const std::optional<Start> start = WaitForStart(record_);
  ASSERT_TRUE(start);
  EXPECT_EQ(start->argv, Strings{"x"});
  EXPECT_EQ(start->folder, fs::canonical(root_ / "elsewhere").string());
}

TEST_F(LinkExecuteTest, ArgumentListsTooLongToStartAreReportedAsSuch) {
  // One argument longer than the system takes for a single one (32 pages).
  const std::string huge(200 * 1024, 'x');
  const std::string expected = "The argument list of \"" + program_.string() + "\" is too long to start it.";
  {
    const dashtune::testing::MessageBoxCapture boxes;
    EXPECT_FALSE(Run(program_, huge));
    EXPECT_EQ(last_error_, ERROR_BAD_ENVIRONMENT);
    EXPECT_EQ(code_, static_cast<INT_PTR>(ERROR_BAD_ENVIRONMENT));
    EXPECT_EQ(boxes.Texts(), Strings{expected});
  }
  const dashtune::testing::MessageBoxCapture boxes;
  EXPECT_FALSE(Run(Link("Type=Application\nExec=" + program_.string() + " " + std::string(140 * 1024, 'y') + "\n")));
  EXPECT_EQ(last_error_, ERROR_BAD_ENVIRONMENT);
  EXPECT_EQ(boxes.Texts(), Strings{expected});
  EXPECT_FALSE(fs::exists(record_));
}

}  // namespace
}  // namespace win
