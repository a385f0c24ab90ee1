// carpc: the car PC's page over the five libraries.
//   carpc [--script] [FOLDER]
// Without FOLDER it shows a sample folder that it makes once under the user's cache folder. With
// DISPLAY set it shows the page on X11 until Escape; headless, or with --script, it plays the fixed
// session, saves a screenshot of each step into demo-out/ and exits non-zero when a step failed.
// A folder or a DISPLAY that cannot be opened is reported on standard error and ends it with
// status 1.
// DASHTUNE_DEMO_STARTED (seconds since the epoch) is when scripts/demo started, for the time to
// the first screenshot.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>

#include "car_page.h"
#include "classlib/forms.h"
#include "sample_folder.h"
#include "session.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Arguments {
  bool script = false;
  std::string folder;
};

bool ParseArguments(int argc, char** argv, Arguments& arguments) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--script") {
      arguments.script = true;
    } else if (!argument.empty() && argument[0] == '-') {
      return false;
    } else if (arguments.folder.empty()) {
      arguments.folder = argument;
    } else {
      return false;
    }
  }
  return true;
}

// When the demo started: DASHTUNE_DEMO_STARTED when given, else now.
Clock::time_point StartTime(std::string& started_by) {
  started_by = "start";
  const char* given = std::getenv("DASHTUNE_DEMO_STARTED");
  if (given == nullptr) return Clock::now();
  char* end = nullptr;
  const double epoch_seconds = std::strtod(given, &end);
  if (end == given || epoch_seconds <= 0) return Clock::now();
  const auto since = std::chrono::system_clock::now().time_since_epoch() - std::chrono::duration<double>(epoch_seconds);
  started_by = "scripts/demo started";
  return Clock::now() - std::chrono::duration_cast<Clock::duration>(since);
}

fs::path ChooseFolder(const std::string& given) {
  if (!given.empty()) return given;
  const auto start = Clock::now();
  bool made = false;
  const fs::path folder = carpc::EnsureSampleFolder([&made](const std::string& line) {
    std::cout << "progress: " << carpc::OneLine(line) << std::endl;
    made = true;
  });
  if (made)
    std::cout << "progress: sample folder made in "
              << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count() << " ms" << std::endl;
  return folder;
}

int Run(const Arguments& arguments, Clock::time_point started, const std::string& started_by) {
  dashtune::TApplication application;
  application.Initialize();
  application.SetTitle("Dashtune");
  const fs::path folder = ChooseFolder(arguments.folder);
  if (const std::string why = carpc::WhyFolderCannotBeOpened(folder); !why.empty())
    throw std::runtime_error(carpc::FolderCannotBeOpened(folder, why));
  carpc::CarPage page(
      [](const std::string& message) { std::cout << "message: " << carpc::OneLine(message) << std::endl; });
  application.OnException = [&page](dashtune::TObject*, const dashtune::Exception& e) { page.ShowMessage(e.GetMessage()); };
  page.ConnectPhone();
  page.Form()->SetCaption("Dashtune");
  // Keys go to the tiles from the start.
  page.Form()->SetActiveControl(page.Tiles());
  page.Form()->Show();

  // The session shows on the display as it plays, when there is one, and the message loop goes on
  // showing the page over the same connection.
  const bool on_display = application.ShowOnDisplay() != nullptr;
  int failed = 0;
  if (arguments.script || !on_display) {
    failed = carpc::PlaySession(page, {folder, "demo-out", started, started_by}, std::cout);
    if (!on_display) return failed == 0 ? 0 : 1;
  } else {
    carpc::FolderReport report;
    page.OpenFolder(folder, report);
  }
  std::cout << "showing the page until Escape" << std::endl;
  application.Run();
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string started_by;
  const Clock::time_point started = StartTime(started_by);
  Arguments arguments;
  if (!ParseArguments(argc, argv, arguments)) {
    std::cerr << "usage: carpc [--script] [FOLDER]" << std::endl;
    return 2;
  }
  try {
    return Run(arguments, started, started_by);
  } catch (const std::exception& e) {
    std::cerr << "carpc: " << carpc::OneLine(e.what()) << std::endl;
    return 1;
  }
}
