// The window of a video renderer: a top-level window of class "VideoRenderer" that shows the
// renderer's newest frame as its settings say (source rectangle, aspect kept on black borders or
// stretched). It shows itself with the first frame (while auto-show is on), passes its mouse and
// key messages to the message drain and hides the cursor when asked. A windowless renderer's
// window stays hidden and draws each frame into the clipping window instead. Frames arrive on
// streaming threads; the window draws when the thread that made it pumps.
#pragma once

#include <atomic>
#include <memory>

#include "platform/core/types.h"
#include "platform/dshow/gst_forward.h"
#include "platform/dshow/video_frame_store.h"
#include "platform/dshow/video_renderer_bin.h"
#include "platform/user/overlay_planes.h"

namespace win {

class RendererWindow {
 public:
  // Makes the window of the renderer bin `renderer` on the calling thread, sized to `width` x
  // `height` (at least 1 x 1), and starts listening to its frames; the bin must outlive this
  // object.
  RendererWindow(GstElement* renderer, int width, int height);
  // Stops listening and destroys the window; call on the thread that made it.
  ~RendererWindow();
  RendererWindow(const RendererWindow&) = delete;
  RendererWindow& operator=(const RendererWindow&) = delete;

  HWND handle() const { return window_; }

 private:
  static LRESULT Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();
  void NewFrame();
  // Draws the newest frame (and, as the settings say, its borders) into `area` of `dc`.
  void DrawFrame(HDC dc, const RECT& area);
  // Fed by an overlay mixer: paints the colour key where the picture goes (black around it) and
  // shows the frames on an overlay plane there. False when no overlay mixer feeds the renderer.
  bool DrawOverlay(HDC dc, const RECT& client);
  void RemovePlane();
  bool ForwardToDrain(UINT message, WPARAM wParam, LPARAM lParam);

  GstElement* renderer_;  // not counted
  gst::VideoFrameStore* store_;
  gst::RendererSettings* settings_;
  HWND window_ = nullptr;
  bool shown_ = false;  // auto-show has shown the window once
  OverlayPlaneId plane_ = 0;  // the overlay plane while one is shown
  // Set while a repaint request is on its way, so a fast source posts one message per paint.
  std::shared_ptr<std::atomic<bool>> request_pending_ = std::make_shared<std::atomic<bool>>(false);
};

// The rectangle of a `source_width` x `source_height` picture fitted, aspect kept, into a
// `width` x `height` area and centred; empty for an empty picture or area.
RECT FitPicture(int width, int height, int source_width, int source_height);
// The part of a `width` x `height` frame a source rectangle shows: the rectangle clipped to the
// frame, the whole frame for an empty or disjoint rectangle.
RECT ClipSource(const RECT& source, int width, int height);
// Where a picture of display aspect `aspect_width` : `aspect_height` goes in a `width` x `height`
// area: the whole area (stretched, 0), fitted inside (letter-box, 1) or filling it and cut at
// the sides (crop, 2), centred.
RECT PlacePicture(int mode, int width, int height, int aspect_width, int aspect_height);

}  // namespace win
