// What the car PC program's tests share: setting up the test process and writing pictures with
// libpng, the independent peer of the program's decoder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

namespace carpc_testing {

// A temporary HOME for the process (made once), the build's GStreamer registry, and no phone
// port unless a test names one.
void PrepareProcess();

// Writes a width x height RGB PNG with libpng whose pixel (x, y) is colour(x, y), as 0xRRGGBB;
// false when libpng failed.
bool WriteRgbPng(const std::filesystem::path& path, int width, int height,
                 const std::function<std::uint32_t(int x, int y)>& colour);

}  // namespace carpc_testing
