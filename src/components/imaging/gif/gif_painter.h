// TGIFPainter: plays an animated GIF picture onto one canvas rectangle with the frames' delays,
// disposal methods and loop count, as a thread of its own or inside the Draw call that started it.
// Every paint, frame access and event runs on the main thread: a threaded painter hands them over
// through Synchronize and keeps only the timing for itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "classlib/bitmap.h"
#include "classlib/threads.h"
#include "components/imaging/gif/gif_picture.h"
#include "platform/core/handles.h"

namespace dashtune {

namespace gif {
// Timing of the painter, in the file's delay units: hundredths of a second.
inline constexpr int kMillisecondsPerDelayUnit = 10;
inline constexpr int kDefaultDelay = 10;         // no graphic control extension, or delay 0
inline constexpr int kShortestDelay = 3;
inline constexpr int kLongestUnthreadedDelay = 1000;
inline constexpr int kUnthreadedWaitSlice = 100;  // ms
}  // namespace gif

class TGIFPainter : public TThread {
 public:
  // Starts a painter for Picture (from TGIFPicture::Draw, on the main thread); answers it, or
  // nullptr for an empty picture or rectangle. A threaded painter runs once Resume is called; a
  // painter that is not threaded plays at once and is gone when Start returns (nullptr then).
  static TGIFPainter* Start(TGIFPicture* Picture, TCanvas* Canvas, const win::RECT& Rect);
  ~TGIFPainter() override;

  // Asks the painter to end; a threaded one leaves its delay at once.
  void Stop();
  // The picture goes first: the painter forgets it and touches none of its frames again.
  void DetachPicture();

  TCanvas* GetCanvas() const { return canvas_; }
  const win::RECT& GetRect() const { return rect_; }
  bool GetThreaded() const { return threaded_; }
  bool GetPainted() const { return painted_; }
  // Whether one of the painter's synchronised calls is running on the main thread now.
  bool GetInSynchronizedCall() const { return in_synchronized_call_; }
  // The frame being shown; -1 after the end. An OnFramePainted handler may set the next one.
  int GetActiveImage() const { return active_image_; }
  void SetActiveImage(int Value) { active_image_ = Value; }

 protected:
  void Execute() override;

 private:
  TGIFPainter(TGIFPicture* Picture, TCanvas* Canvas, const win::RECT& Rect, TGIFDrawOptions Options);
  // Runs Call on the main thread (at once when not threaded).
  void OnMain(const std::function<void()>& Call);
  void Event(const TNotifyEvent& Handler);
  void PlayPass();
  // Reads the frame's extensions (loop and disposal), paints it and answers its delay in units.
  int ShowFrame(bool& LoopFound, int& Loops, int& LoopPoint);
  void WaitForDelay(int& Delay);
  void WaitThreaded(int Milliseconds);
  void WaitUnthreaded(int Milliseconds);
  void PaintFrame(TGIFSubImage* Frame);
  void PaintBuffered(TGIFSubImage* Frame);
  void RestoreBackground(TGIFSubImage* Frame);
  void ForEachFrameArea(TGIFSubImage* Frame, const std::function<void(const win::RECT&)>& Area);
  void MakeBuffers(TColor Background);
  // Takes the painter out of its picture and frees its buffers (on the main thread).
  void Finish();

  TGIFPicture* picture_;  // not owned; nullptr once the picture is gone
  TCanvas* canvas_;       // not owned
  win::RECT rect_;
  TGIFDrawOptions options_;
  bool threaded_;
  int speed_;
  int active_image_ = 0;
  TDisposalMethod disposal_ = dmNoDisposal;
  TDisposalMethod previous_disposal_ = dmNoDisposal;
  bool buffered_ = false;
  std::unique_ptr<TBitmap> work_;
  std::unique_ptr<TBitmap> previous_;
  std::unique_ptr<TBitmap> background_;
  TColor background_color_ = 0;
  win::HDC checked_dc_ = nullptr;
  bool painted_ = false;
  bool in_synchronized_call_ = false;
  win::ScopedHandle wake_up_;
  // Timing, on the painter's own thread.
  win::DWORD last_time_ = 0;
  int timing_error_ = 0;
  TNotifyEvent on_paint_start_;
  TNotifyEvent on_frame_paint_;
  TNotifyEvent on_frame_painted_;
  TNotifyEvent on_loop_restart_;
  TNotifyEvent on_paint_end_;
};

}  // namespace dashtune
