#include "platform/dshow/video_frame_store.h"

#include <cstring>

namespace win::gst {

namespace {
// Larger than any frame a car PC's sources produce; refuses absurd caps before allocating.
constexpr int kMaxDimension = 8192;
}  // namespace

void VideoFrameStore::SetListener(FrameListener listener) {
  std::lock_guard<std::mutex> guard(lock_);
  listener_ = std::move(listener);
}

bool VideoFrameStore::Store(int width, int height, int stride, const std::uint8_t* data,
                            std::size_t size) {
  if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension) return false;
  const std::size_t row_bytes = static_cast<std::size_t>(width) * 4;
  if (stride < 0 || static_cast<std::size_t>(stride) < row_bytes || data == nullptr) return false;
  const std::size_t needed = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height - 1) + row_bytes;
  if (size < needed) return false;

  FrameListener listener;
  {
    std::lock_guard<std::mutex> guard(lock_);
    newest_.width = width;
    newest_.height = height;
    newest_.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
      std::memcpy(newest_.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
                  data + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride), row_bytes);
    }
    ++count_;
    listener = listener_;
  }
  if (listener) listener();
  return true;
}

bool VideoFrameStore::Snapshot(VideoFrame& frame) const {
  std::lock_guard<std::mutex> guard(lock_);
  if (count_ == 0) return false;
  frame = newest_;
  return true;
}

bool VideoFrameStore::UseNewest(const std::function<void(const VideoFrame&)>& use) const {
  std::lock_guard<std::mutex> guard(lock_);
  if (count_ == 0) return false;
  use(newest_);
  return true;
}

bool VideoFrameStore::FrameSize(int* width, int* height) const {
  std::lock_guard<std::mutex> guard(lock_);
  if (count_ == 0) return false;
  *width = newest_.width;
  *height = newest_.height;
  return true;
}

std::uint64_t VideoFrameStore::FrameCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return count_;
}

void VideoFrameStore::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  newest_ = VideoFrame{};
  count_ = 0;
}

}  // namespace win::gst
