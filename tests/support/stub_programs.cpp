// Stub programs that record how they were started, and the stub application GIO offers.
#include "stub_programs.h"

#include "temporary_home.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace dashtune::testing {
namespace {

namespace fs = std::filesystem;

fs::path Bin() { return fs::path(TemporaryHome()) / "bin"; }
fs::path Records() { return fs::path(TemporaryHome()) / "records"; }

}  // namespace

void WriteRecordingProgram(const std::string& script, const std::string& record) {
  fs::create_directories(fs::path(script).parent_path());
  std::ofstream(script) << "#!/bin/sh\n"
                        << "{ pwd; for argument in \"$@\"; do printf '%s\\n' \"$argument\"; done; } > '" << record
                        << ".part' && mv '" << record << ".part' '" << record << "'\n";
  chmod(script.c_str(), 0755);
}

void InstallStubApplications() {
  fs::create_directories(Records());
  WriteRecordingProgram((Bin() / "stub-viewer").string(), StubViewerRecord());
  WriteRecordingProgram(StubOpener(), StubOpenerRecord());
  const fs::path applications = fs::path(TemporaryHome()) / ".local/share/applications";
  fs::create_directories(applications);
  std::ofstream(applications / "dashtune-stub-viewer.desktop")
      << "[Desktop Entry]\nType=Application\nName=Dashtune Stub Viewer\nExec=" << (Bin() / "stub-viewer").string()
      << " %f\nMimeType=image/png;\n";
  std::ofstream(fs::path(TemporaryHome()) / ".config/mimeapps.list")
      << "[Default Applications]\nimage/png=dashtune-stub-viewer.desktop\n"
      << "[Added Associations]\nimage/png=dashtune-stub-viewer.desktop;\n";
}

std::string StubViewerRecord() { return (Records() / "viewer").string(); }
std::string StubOpener() { return (Bin() / "stub-opener").string(); }
std::string StubOpenerRecord() { return (Records() / "opener").string(); }

RecordedStart WaitForRecord(const std::string& record, int timeout_seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  while (!fs::exists(record) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  RecordedStart start;
  std::ifstream in(record);
  std::getline(in, start.folder);
  for (std::string line; std::getline(in, line);) start.arguments.push_back(line);
  return start;
}

}  // namespace dashtune::testing
