// The video frame store: frame geometry checks, keeping the newest frame and reading it in place.
#include "platform/dshow/video_frame_store.h"

#include <gtest/gtest.h>

#include <vector>

namespace win::gst {
namespace {

struct Geometry {
  int width;
  int height;
  int stride;
  std::size_t size;
  bool accepted;
};

class VideoFrameStoreGeometryTest : public ::testing::TestWithParam<Geometry> {};

TEST_P(VideoFrameStoreGeometryTest, RefusesFramesThatDoNotFitTheirBuffer) {
  const Geometry geometry = GetParam();
  std::vector<std::uint8_t> buffer(geometry.size, 0x5A);
  VideoFrameStore store;
  EXPECT_EQ(store.Store(geometry.width, geometry.height, geometry.stride, buffer.data(), buffer.size()),
            geometry.accepted);
  VideoFrame frame;
  EXPECT_EQ(store.Snapshot(frame), geometry.accepted);
}

INSTANTIATE_TEST_SUITE_P(Table, VideoFrameStoreGeometryTest,
                         ::testing::Values(Geometry{2, 2, 8, 16, true},
                                           Geometry{2, 2, 12, 20, true},   // last row needs no padding
                                           Geometry{2, 2, 12, 19, false},  // one byte short
                                           Geometry{2, 2, 7, 16, false},   // stride shorter than a row
                                           Geometry{0, 2, 8, 16, false}, Geometry{2, -1, 8, 16, false},
                                           Geometry{9000, 1, 36000, 36000, false}));

TEST(VideoFrameStoreTest, KeepsTheNewestFrameWithoutRowPadding) {
  VideoFrameStore store;
  int notified = 0;
  store.SetListener([&] { ++notified; });
  // Two rows of two pixels, rows 12 bytes apart.
  const std::uint8_t first[] = {1, 0, 0, 0, 2, 0, 0, 0, 9, 9, 9, 9, 3, 0, 0, 0, 4, 0, 0, 0};
  const std::uint8_t second[] = {5, 0, 0, 0};
  ASSERT_TRUE(store.Store(2, 2, 12, first, sizeof first));
  VideoFrame frame;
  ASSERT_TRUE(store.Snapshot(frame));
  EXPECT_EQ(frame.pixels, (std::vector<std::uint32_t>{1, 2, 3, 4}));
  ASSERT_TRUE(store.Store(1, 1, 4, second, sizeof second));
  ASSERT_TRUE(store.Snapshot(frame));
  EXPECT_EQ(frame.width, 1);
  EXPECT_EQ(frame.PixelAt(0, 0), 5u);
  EXPECT_EQ(store.FrameCount(), 2u);
  EXPECT_EQ(notified, 2);
}

TEST(VideoFrameStoreTest, UsesTheNewestFrameInPlaceOnlyOnceOneHasArrived) {
  VideoFrameStore store;
  int calls = 0;
  EXPECT_FALSE(store.UseNewest([&](const VideoFrame&) { ++calls; }));
  EXPECT_EQ(calls, 0);
  const std::uint8_t first[4] = {1, 2, 3, 4};
  const std::uint8_t second[8] = {5, 6, 7, 8, 9, 10, 11, 12};
  ASSERT_TRUE(store.Store(1, 1, 4, first, sizeof first));
  ASSERT_TRUE(store.Store(2, 1, 8, second, sizeof second));
  EXPECT_TRUE(store.UseNewest([&](const VideoFrame& frame) {
    ++calls;
    EXPECT_EQ(frame.width, 2);
    EXPECT_EQ(frame.PixelAt(1, 0), 0x0C0B0A09u);
  }));
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace win::gst
