// Overlay planes: key-coloured pixels show the picture scaled by nearest pixels, pinned against a
// plain per-pixel reference over random pictures, parts, placements and screen areas.
#include "platform/user/overlay_planes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr std::uint32_t kKey = 0x100010;

struct Case {
  int picture_width, picture_height, stride;
  std::vector<std::uint32_t> picture;
  win::OverlayPlane plane;
  win::RECT screen;
  std::vector<std::uint32_t> pixels;  // of `screen`, packed
};

// What the plane must show: every key pixel inside the area and the picture rectangle takes the
// picture pixel at source + floor(offset x source size / target size), keeping its top byte.
std::vector<std::uint32_t> Reference(const Case& c) {
  std::vector<std::uint32_t> out = c.pixels;
  win::RECT source = c.plane.source;
  if (source.right <= source.left || source.bottom <= source.top) source = win::RECT{0, 0, c.picture_width, c.picture_height};
  const win::RECT& target = c.plane.picture_rect;
  const long long screen_width = c.screen.right - c.screen.left;
  for (long long y = c.screen.top; y < c.screen.bottom; ++y) {
    for (long long x = c.screen.left; x < c.screen.right; ++x) {
      if (x < c.plane.area.left || x >= c.plane.area.right || y < c.plane.area.top || y >= c.plane.area.bottom) continue;
      if (x < target.left || x >= target.right || y < target.top || y >= target.bottom) continue;
      std::uint32_t& pixel = out[static_cast<std::size_t>((y - c.screen.top) * screen_width + (x - c.screen.left))];
      if ((pixel & 0xFFFFFF) != kKey) continue;
      const long long sx = source.left + (x - target.left) * (source.right - source.left) / (target.right - target.left);
      const long long sy = source.top + (y - target.top) * (source.bottom - source.top) / (target.bottom - target.top);
      pixel = (pixel & 0xFF000000) | (c.picture[static_cast<std::size_t>(sy * c.stride + sx)] & 0xFFFFFF);
    }
  }
  return out;
}

win::RECT RandomRect(std::mt19937& random, int spread, int max_side) {
  std::uniform_int_distribution<int> at(-spread, spread), side(1, max_side);
  const int left = at(random), top = at(random);
  return win::RECT{left, top, left + side(random), top + side(random)};
}

Case RandomCase(std::mt19937& random) {
  std::uniform_int_distribution<int> side(1, 48), extra(0, 3), coin(0, 1);
  std::uniform_int_distribution<std::uint32_t> any;
  Case c;
  c.picture_width = side(random);
  c.picture_height = side(random);
  c.stride = c.picture_width + extra(random);
  for (int i = 0; i < c.stride * c.picture_height; ++i) c.picture.push_back(any(random) & 0x00FFFFFF);
  if (coin(random) == 1) {  // a part of the picture, as a zoom shows
    std::uniform_int_distribution<int> x(0, c.picture_width - 1), y(0, c.picture_height - 1);
    const int left = x(random), top = y(random);
    c.plane.source = win::RECT{left, top, std::uniform_int_distribution<int>(left + 1, c.picture_width)(random),
                               std::uniform_int_distribution<int>(top + 1, c.picture_height)(random)};
  }
  c.plane.picture_rect = RandomRect(random, 20, 96);
  c.plane.area = RandomRect(random, 30, 110);
  c.plane.key = kKey;
  c.screen = RandomRect(random, 40, 120);
  const std::size_t count = static_cast<std::size_t>(c.screen.right - c.screen.left) * static_cast<std::size_t>(c.screen.bottom - c.screen.top);
  for (std::size_t i = 0; i < count; ++i) c.pixels.push_back(coin(random) == 1 ? (any(random) & 0xFF000000) | kKey : any(random));
  return c;
}

TEST(OverlayPlanesTest, KeyPixelsShowTheNearestPicturePixelsAsThePlainRuleGives) {
  std::mt19937 random(20261207);
  for (int round = 0; round < 300; ++round) {
    Case c = RandomCase(random);
    const std::vector<std::uint32_t> expected = Reference(c);
    const std::vector<std::uint32_t> picture = c.picture;
    const int width = c.picture_width, height = c.picture_height, stride = c.stride;
    c.plane.picture = [&](const win::OverlayPictureUse& use) {
      use(win::OverlayPicture{width, height, static_cast<std::size_t>(stride), picture.data()});
      return true;
    };
    const win::OverlayPlaneId id = win::AddOverlayPlane(c.plane);
    win::ApplyOverlayPlanes(c.pixels.data(), static_cast<std::size_t>(c.screen.right - c.screen.left), c.screen);
    win::RemoveOverlayPlane(id);
    ASSERT_EQ(c.pixels, expected) << "round " << round;
  }
}

TEST(OverlayPlanesTest, APlaneWithoutAPictureOrWithABrokenOneChangesNothing) {
  const win::RECT screen{0, 0, 4, 1};
  const std::uint32_t shown[] = {kKey, kKey, 0x123456, kKey};
  const std::uint32_t one_pixel[] = {0xABCDEF};
  const win::OverlayPicture broken[] = {{0, 1, 1, one_pixel}, {1, 0, 1, one_pixel}, {1, 1, 1, nullptr}, {2, 1, 1, one_pixel}};
  for (const win::OverlayPicture& lent : broken) {
    win::OverlayPlane plane;
    plane.area = plane.picture_rect = screen;
    plane.key = kKey;
    plane.picture = [&](const win::OverlayPictureUse& use) {
      use(lent);
      return true;
    };
    const win::OverlayPlaneId id = win::AddOverlayPlane(plane);
    std::vector<std::uint32_t> pixels(std::begin(shown), std::end(shown));
    win::ApplyOverlayPlanes(pixels.data(), pixels.size(), screen);
    win::RemoveOverlayPlane(id);
    EXPECT_EQ(pixels, std::vector<std::uint32_t>(std::begin(shown), std::end(shown)));
  }
}

}  // namespace
