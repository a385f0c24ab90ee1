// Stub programs for the tests that start things: each records its working folder and then its
// arguments, one a line, into a record file, written whole (renamed into place) when it is done.
#pragma once

#include <string>
#include <vector>

namespace dashtune::testing {

struct RecordedStart {
  std::string folder;
  std::vector<std::string> arguments;
};

// Writes an executable script at `script` that records into `record`.
void WriteRecordingProgram(const std::string& script, const std::string& record);

// The stub application and opener of the temporary home (UseTemporaryHome first; install them
// before anything asks GIO for applications, which it reads once):
//   "Dashtune Stub Viewer" (dashtune-stub-viewer.desktop, Exec ".../stub-viewer %f"), the default
//   application for image/png in mimeapps.list; records into StubViewerRecord().
//   StubOpener(), a program to name in DASHTUNE_OPENER; records into StubOpenerRecord().
void InstallStubApplications();
std::string StubViewerRecord();
std::string StubOpener();
std::string StubOpenerRecord();

// The start recorded in `record`, waiting (real time, bounded) until it is there; nothing
// recorded gives an empty folder.
RecordedStart WaitForRecord(const std::string& record, int timeout_seconds = 10);

}  // namespace dashtune::testing
