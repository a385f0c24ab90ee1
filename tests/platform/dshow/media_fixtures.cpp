// Media fixtures for the GStreamer tests: the registry and the generated clips and DVD folder.
#include "media_fixtures.h"

#include <cstdlib>
#include <mutex>

#include "platform/dshow/gst_runtime.h"

namespace win::testing {

void PrepareGStreamer() {
  setenv("GST_REGISTRY", DASHTUNE_GST_REGISTRY, 0);
  win::gst::EnsureStarted();
}

std::string MediaFixtureDirectory() {
  static std::once_flag once;
  static std::string directory;
  std::call_once(once, [] {
    const std::string out = DASHTUNE_MEDIA_FIXTURES;
    const std::string command = std::string("'") + DASHTUNE_MEDIA_FIXTURE_SCRIPT + "' '" + out + "'";
    if (std::system(command.c_str()) == 0) directory = out;
  });
  return directory;
}

}  // namespace win::testing
