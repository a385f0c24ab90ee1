// The window of the default video renderer: a visible top-level window of class
// "VideoRenderer" that shows the renderer's newest frame, aspect kept, on black. Frames arrive
// on streaming threads; the window repaints when the thread that made it pumps.
#pragma once

#include <atomic>
#include <memory>

#include "platform/core/types.h"
#include "platform/dshow/video_frame_store.h"

namespace win {

class RendererWindow {
 public:
  // Makes the window on the calling thread, sized to `width` x `height` (at least 1 x 1), and
  // starts listening to the store, which must outlive this object.
  RendererWindow(gst::VideoFrameStore* store, int width, int height);
  // Stops listening and destroys the window; call on the thread that made it.
  ~RendererWindow();
  RendererWindow(const RendererWindow&) = delete;
  RendererWindow& operator=(const RendererWindow&) = delete;

  HWND handle() const { return window_; }

 private:
  static LRESULT Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();

  gst::VideoFrameStore* store_;
  HWND window_ = nullptr;
  // Set while a repaint request is on its way, so a fast source posts one message per paint.
  std::shared_ptr<std::atomic<bool>> request_pending_ = std::make_shared<std::atomic<bool>>(false);
};

// The rectangle of a `source_width` x `source_height` picture fitted, aspect kept, into a
// `width` x `height` area and centred; empty for an empty picture or area.
RECT FitPicture(int width, int height, int source_width, int source_height);

}  // namespace win
