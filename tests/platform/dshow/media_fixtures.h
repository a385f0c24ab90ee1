// Media fixtures made at test time, and GStreamer prepared for tests.
#pragma once

#include <string>

namespace win::testing {

// Points GStreamer at the build directory's registry (unless the environment already names one)
// and starts it. Call before any pipeline is made.
void PrepareGStreamer();

// The directory holding "clip.ogg" (2 s of colour bars at 320x240 with a tone), "wide.ogg" (2 s
// of solid green at 640x360) and "dvd" (a PAL DVD folder with two titles of 4 s and 3 s). Empty
// when they could not be made.
std::string MediaFixtureDirectory();

}  // namespace win::testing
