// The newest decoded video frame of a renderer, shared between the streaming thread that
// receives frames and the thread that draws them.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace win::gst {

// A frame in 32-bit BGRx pixels (blue in the lowest byte), top-down, rows packed.
struct VideoFrame {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t PixelAt(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

class VideoFrameStore {
 public:
  // Called after every stored frame, on the streaming thread, outside the store's lock.
  using FrameListener = std::function<void()>;

  void SetListener(FrameListener listener);

  // Copies a frame whose rows are `stride` bytes apart; frames with a bad geometry (empty,
  // too large, a stride shorter than a row or a buffer shorter than the rows) are refused.
  bool Store(int width, int height, int stride, const std::uint8_t* data, std::size_t size);

  // Copies the newest frame out; false while no frame has arrived.
  bool Snapshot(VideoFrame& frame) const;
  // Lets `use` read the newest frame in place, under the store's lock (a frame arriving
  // meanwhile waits); false, without a call, while no frame has arrived.
  bool UseNewest(const std::function<void(const VideoFrame&)>& use) const;
  // The newest frame's size; false while no frame has arrived.
  bool FrameSize(int* width, int* height) const;
  // Number of frames stored so far.
  std::uint64_t FrameCount() const;
  void Clear();

 private:
  mutable std::mutex lock_;
  VideoFrame newest_;
  std::uint64_t count_ = 0;
  FrameListener listener_;
};

}  // namespace win::gst
