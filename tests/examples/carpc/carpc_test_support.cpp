#include "carpc_test_support.h"

#include <png.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "temporary_home.h"

namespace carpc_testing {

void PrepareProcess() {
  if (dashtune::testing::TemporaryHome().empty()) dashtune::testing::UseTemporaryHome(DASHTUNE_TEST_HOME_ROOT);
  setenv("GST_REGISTRY", DASHTUNE_GST_REGISTRY, 0);
  for (int n = 1; n <= 99; ++n) unsetenv(("DASHTUNE_COM" + std::to_string(n)).c_str());
}

bool WriteRgbPng(const std::filesystem::path& path, int width, int height,
                 const std::function<std::uint32_t(int x, int y)>& colour) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(width);
  png.height = static_cast<png_uint_32>(height);
  png.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint32_t c = colour(x, y);
      rgb.insert(rgb.end(),
                 {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c)});
    }
  return png_image_write_to_file(&png, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

}  // namespace carpc_testing
