// The animation painter: frame timing on its own thread (or inside Draw), painting through
// buffers when frames restore what lay under them.
#include "components/imaging/gif/gif_painter.h"

#include <algorithm>

#include "components/imaging/gif/gif_picture.h"
#include "platform/core/clock.h"
#include "platform/core/mul_div.h"
#include "platform/core/sync.h"
#include "platform/core/wait.h"
#include "platform/gdi/gdi.h"
#include "platform/user/messages.h"
#include "platform/user/system_metrics.h"

namespace dashtune {
namespace {

// A wait at speed 0 or below without a thread of its own: a fixed 1000 units.
constexpr int kUnthreadedStillDelayMs = gif::kLongestUnthreadedDelay * gif::kMillisecondsPerDelayUnit;
// Half the time a paint came late is taken off the next delay; bounded so that the arithmetic of
// a long stall cannot overflow.
constexpr std::int64_t kLongestOvershootMs = std::int64_t{1} << 24;

bool IsDeviceContext(win::HDC dc) {
  const win::DWORD type = win::GetObjectType(dc);
  return type == win::OBJ_DC || type == win::OBJ_MEMDC;
}

std::unique_ptr<TBitmap> MakeBuffer(int width, int height, TColor brush) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetSize(width, height);
  bitmap->GetCanvas()->GetBrush()->SetColor(brush);
  bitmap->GetCanvas()->GetBrush()->SetStyle(TBrushStyle::bsSolid);
  return bitmap;
}

TColor BackgroundColorOf(TGIFPicture* Picture) {
  if (Picture->GetBackgroundColor() != clNone) return Picture->GetBackgroundColor();
  if (Picture->GetHeader()->GetColorMap()->GetCount() > 0) return Picture->GetHeader()->GetBackgroundColor();
  return static_cast<TColor>(win::GetSysColor(win::COLOR_WINDOW));
}

}  // namespace

// ---- Start, stop and end ----

TGIFPainter::TGIFPainter(TGIFPicture* Picture, TCanvas* Canvas, const win::RECT& Rect, TGIFDrawOptions Options)
    : TThread(/*CreateSuspended=*/true),
      picture_(Picture),
      canvas_(Canvas),
      rect_(Rect),
      options_(Options),
      threaded_(Options.Contains(doThreaded)),
      // A negative speed counts as 0: no timed advance.
      speed_(std::max(Picture->GetAnimationSpeed(), 0)),
      on_paint_start_(Picture->OnPaintStart),
      on_frame_paint_(Picture->OnFramePaint),
      on_frame_painted_(Picture->OnFramePainted),
      on_loop_restart_(Picture->OnLoopRestart),
      on_paint_end_(Picture->OnPaintEnd) {
  if (threaded_) {
    SetFreeOnTerminate(true);
    OnTerminate = [this](TObject*) { Finish(); };
    if (options_.Contains(doAnimate))
      wake_up_.Reset(gif::CheckWin32Result(win::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr)));
  }
  if (options_.Contains(doCheckCanvas)) checked_dc_ = canvas_->GetHandle();
  MakeBuffers(BackgroundColorOf(Picture));
}

TGIFPainter::~TGIFPainter() = default;

TGIFPainter* TGIFPainter::Start(TGIFPicture* Picture, TCanvas* Canvas, const win::RECT& Rect) {
  Picture->painter_ = nullptr;
  if (Picture->GetEmpty() || Rect.right <= Rect.left || Rect.bottom <= Rect.top) return nullptr;
  TGIFDrawOptions options = Picture->GetDrawOptions();
  if (Picture->GetImages()->GetCount() == 1) options = options - TGIFDrawOptions{doThreaded, doAnimate};
  std::unique_ptr<TGIFPainter> painter(new TGIFPainter(Picture, Canvas, Rect, options));
  Picture->painter_ = painter.get();
  Picture->painters_.Add(painter.get());
  if (!painter->threaded_) {
    try {
      painter->Execute();
    } catch (...) {
      painter->Finish();
      throw;
    }
    painter->Finish();
    return nullptr;
  }
  painter->SetPriority(Picture->GetThreadPriority());
  try {
    painter->Resume();
  } catch (...) {
    painter->Finish();
    throw;
  }
  return painter.release();  // frees itself once it has ended
}

void TGIFPainter::Stop() {
  Terminate();
  if (wake_up_) win::SetEvent(wake_up_.Get());
  if (threaded_ && GetPriority() != tpNormal) SetPriority(tpNormal);
}

void TGIFPainter::DetachPicture() {
  picture_ = nullptr;
  Stop();
}

void TGIFPainter::Finish() {
  if (picture_ != nullptr) {
    picture_->painters_.Remove(this);
    if (picture_->painter_ == this) picture_->painter_ = nullptr;
    picture_ = nullptr;
  }
  work_.reset();
  previous_.reset();
  background_.reset();
}

void TGIFPainter::MakeBuffers(TColor Background) {
  background_color_ = Background;
  bool restores_background = options_.Contains(doClearOnStart);
  bool restores_previous = false;
  TGIFFrameList* frames = picture_->GetImages();
  for (int i = 0; i < frames->GetCount(); ++i) {
    const TGIFGraphicControlExtension* gce = frames->GetFrame(i)->GetGraphicControlExtension();
    if (gce == nullptr) continue;
    restores_background = restores_background || gce->GetDisposal() == dmBackground;
    restores_previous = restores_previous || gce->GetDisposal() == dmPrevious;
  }
  const int width = rect_.right - rect_.left, height = rect_.bottom - rect_.top;
  const win::RECT whole{0, 0, width, height};
  if (restores_background && options_.Contains(doTransparent)) {
    background_ = MakeBuffer(width, height, Background);
    background_->GetCanvas()->CopyRect(whole, canvas_, rect_);
  }
  if (restores_background || restores_previous) {
    work_ = MakeBuffer(width, height, Background);
    work_->GetCanvas()->CopyRect(whole, canvas_, rect_);
    previous_ = MakeBuffer(width, height, Background);
    buffered_ = true;
  }
}

// ---- The play loop (on the painter's thread when threaded) ----

void TGIFPainter::OnMain(const std::function<void()>& Call) {
  if (!threaded_) {
    Call();
    return;
  }
  Synchronize([&] {
    in_synchronized_call_ = true;
    struct Reset {
      bool& flag;
      ~Reset() { flag = false; }
    } reset{in_synchronized_call_};
    Call();
  });
}

void TGIFPainter::Event(const TNotifyEvent& Handler) {
  if (Handler) OnMain([&] { Handler(this); });
}

// The animation starts once, from frame 0; nothing asks a running painter to start again.
void TGIFPainter::Execute() {
  if (!GetTerminated()) PlayPass();
  active_image_ = -1;
  Event(on_paint_end_);
}

void TGIFPainter::PlayPass() {
  active_image_ = 0;
  Event(on_paint_start_);
  int loops = 1;
  int loop_point = 0;
  bool loop_found = false;
  int delay = threaded_ ? 0 : 1;
  previous_disposal_ = dmNoDisposal;
  last_time_ = win::timeGetTime();
  timing_error_ = 0;
  // The first pass always plays; doLoop decides whether more passes follow.
  for (bool first = true; first || (options_.Contains(doAnimate) && options_.Contains(doLoop)); first = false) {
    if ((loops == 0 && !options_.Contains(doLoopForever)) || GetTerminated()) break;
    active_image_ = loop_point;
    if (painted_) Event(on_loop_restart_);
    while (options_.Contains(doAnimate) && !GetTerminated()) {
      bool shows_frame = false;
      OnMain([&] {
        if (picture_ == nullptr) return;
        TGIFFrameList* frames = picture_->GetImages();
        shows_frame = active_image_ >= 0 && active_image_ < frames->GetCount() &&
                      !frames->GetFrame(active_image_)->GetEmpty();
      });
      if (!shows_frame) break;
      WaitForDelay(delay);
      if (!GetTerminated()) {
        Event(on_frame_paint_);
        OnMain([&] { delay = ShowFrame(loop_found, loops, loop_point); });
      }
      const int shown = active_image_;
      Event(on_frame_painted_);
      if (!GetTerminated() && active_image_ == shown) ++active_image_;
    }
    if (loops > 0) --loops;
  }
}

// On the main thread: the frame's loop extension and disposal, the paint, and the frame's delay.
int TGIFPainter::ShowFrame(bool& LoopFound, int& Loops, int& LoopPoint) {
  if (picture_ == nullptr || active_image_ < 0 || active_image_ >= picture_->GetImages()->GetCount()) {
    Terminate();
    return 0;
  }
  TGIFSubImage* frame = picture_->GetImages()->GetFrame(active_image_);
  disposal_ = dmNoDisposal;
  TGIFExtensionList* extensions = frame->GetExtensions();
  for (int i = 0; i < extensions->GetCount(); ++i) {
    TGIFExtension* extension = extensions->GetExtension(i);
    if (const auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(extension)) {
      if (LoopFound) continue;
      LoopFound = true;
      Loops = loop->Loops;
      LoopPoint = active_image_;
      if ((loop->Loops == 0 || options_.Contains(doLoopForever)) && threaded_) Loops = -1;
    } else if (const auto* gce = dynamic_cast<const TGIFGraphicControlExtension*>(extension)) {
      disposal_ = gce->GetDisposal();
    }
  }
  PaintFrame(frame);
  previous_disposal_ = disposal_;
  if (GetTerminated()) return 0;
  const TGIFGraphicControlExtension* gce = frame->GetGraphicControlExtension();
  if (gce == nullptr || gce->GetDelay() == 0) return gif::kDefaultDelay;
  int delay = std::max<int>(gce->GetDelay(), gif::kShortestDelay);
  if (!threaded_) delay = std::min(delay, gif::kLongestUnthreadedDelay);
  return delay;
}

// ---- Waiting ----

void TGIFPainter::WaitForDelay(int& Delay) {
  if (Delay <= 0) {
    win::Sleep(0);
    return;
  }
  // The bitmap is made before the wait so that the paint after it is quick.
  OnMain([&] {
    if (picture_ != nullptr && active_image_ >= 0 && active_image_ < picture_->GetImages()->GetCount())
      picture_->GetImages()->GetFrame(active_image_)->GetBitmap();
  });
  const win::DWORD now = win::timeGetTime();
  int milliseconds = 0;
  if (speed_ >= 1) {
    const std::int64_t late = static_cast<std::int64_t>(now - last_time_) - timing_error_;
    const auto overshoot = static_cast<int>(std::clamp(late / 2, -kLongestOvershootMs, kLongestOvershootMs));
    milliseconds = win::MulDiv(Delay * gif::kMillisecondsPerDelayUnit - overshoot, 100, speed_);
    timing_error_ = milliseconds;
  } else {
    milliseconds = threaded_ ? -1 : kUnthreadedStillDelayMs;
  }
  last_time_ = now;
  if (threaded_) {
    if (milliseconds > 0 || speed_ == 0) WaitThreaded(milliseconds);
  } else {
    WaitUnthreaded(milliseconds);
  }
}

void TGIFPainter::WaitThreaded(int Milliseconds) {
  const win::DWORD timeout = Milliseconds < 0 ? win::INFINITE : static_cast<win::DWORD>(Milliseconds);
  if (win::WaitForSingleObject(wake_up_.Get(), timeout) == win::WAIT_OBJECT_0) {
    timing_error_ = 0;
    last_time_ = win::timeGetTime();
  }
}

// Sleeps in slices and keeps the thread's messages flowing; a quit message ends the painter and
// is posted again for the caller's loop.
void TGIFPainter::WaitUnthreaded(int Milliseconds) {
  std::int64_t left = std::max(Milliseconds, 1);
  while (left > 0 && !GetTerminated()) {
    const win::DWORD start = win::timeGetTime();
    win::Sleep(static_cast<win::DWORD>(std::min<std::int64_t>(left, gif::kUnthreadedWaitSlice)));
    left -= static_cast<std::int64_t>(win::timeGetTime() - start);
    win::MSG message{};
    while (win::PeekMessageA(&message, nullptr, 0, 0, win::PM_REMOVE)) {
      if (message.message == win::WM_QUIT) {
        win::PostQuitMessage(static_cast<win::INT>(message.wParam));
        Terminate();
        return;
      }
      win::TranslateMessage(&message);
      win::DispatchMessageA(&message);
    }
  }
}

// ---- Painting (on the main thread) ----

void TGIFPainter::PaintFrame(TGIFSubImage* Frame) {
  if (!buffered_) {
    Frame->Draw(canvas_, rect_, options_.Contains(doTransparent), options_.Contains(doTile));
    painted_ = true;
    return;
  }
  PaintBuffered(Frame);
}

void TGIFPainter::PaintBuffered(TGIFSubImage* Frame) {
  if (options_.Contains(doCheckCanvas) && !IsDeviceContext(checked_dc_)) {
    Terminate();
    return;
  }
  const win::RECT whole{0, 0, rect_.right - rect_.left, rect_.bottom - rect_.top};
  TCanvas* target = work_->GetCanvas();
  win::RECT area = whole;
  bool copy_to_canvas = true;
  if (disposal_ == dmPrevious) {
    if (previous_disposal_ == dmBackground || previous_disposal_ == dmPrevious) {
      // The canvas still shows the previous frame, the work bitmap what follows its disposal.
      previous_->GetCanvas()->CopyRect(whole, work_->GetCanvas(), whole);
      target = previous_->GetCanvas();
    } else {
      // The canvas equals the work bitmap, which keeps the state before this frame.
      target = canvas_;
      area = rect_;
      copy_to_canvas = false;
    }
  }
  const win::HDC dc = target->GetHandle();
  win::HPALETTE palette = Frame->GetPalette();
  if (palette == nullptr) palette = static_cast<win::HPALETTE>(win::GetStockObject(win::DEFAULT_PALETTE));
  const win::HPALETTE old_palette = win::SelectPalette(dc, palette, win::FALSE);
  win::RealizePalette(dc);
  if (options_.Contains(doClearOnStart) && active_image_ == 0) RestoreBackground(Frame);
  Frame->Draw(target, area, options_.Contains(doTransparent), options_.Contains(doTile));
  if (copy_to_canvas) canvas_->CopyRect(rect_, target, whole);
  if (old_palette != nullptr) win::SelectPalette(dc, old_palette, win::FALSE);
  if (disposal_ == dmBackground) RestoreBackground(Frame);
  painted_ = true;
}

// The frame's area in the work bitmap: in every tile when tiling a frame smaller than the
// picture (one tile for a picture of size 0), else scaled into the rectangle as the frame draws.
void TGIFPainter::ForEachFrameArea(TGIFSubImage* Frame, const std::function<void(const win::RECT&)>& Area) {
  const int width = rect_.right - rect_.left, height = rect_.bottom - rect_.top;
  const int picture_width = picture_->GetWidth(), picture_height = picture_->GetHeight();
  if (options_.Contains(doTile) && (Frame->GetWidth() < picture_width || Frame->GetHeight() < picture_height)) {
    for (int x = Frame->GetLeft(); x < width; x += picture_width) {
      for (int y = Frame->GetTop(); y < height; y += picture_height) {
        Area(win::RECT{x, y, x + Frame->GetWidth(), y + Frame->GetHeight()});
        if (picture_height <= 0) break;
      }
      if (picture_width <= 0) break;
    }
    return;
  }
  const int image_width = picture_width > 0 ? picture_width : Frame->GetLeft() + Frame->GetWidth();
  const int image_height = picture_height > 0 ? picture_height : Frame->GetTop() + Frame->GetHeight();
  Area(win::RECT{win::MulDiv(Frame->GetLeft(), width, image_width), win::MulDiv(Frame->GetTop(), height, image_height),
                 win::MulDiv(Frame->GetLeft() + Frame->GetWidth(), width, image_width),
                 win::MulDiv(Frame->GetTop() + Frame->GetHeight(), height, image_height)});
}

void TGIFPainter::RestoreBackground(TGIFSubImage* Frame) {
  TCanvas* work = work_->GetCanvas();
  ForEachFrameArea(Frame, [&](const win::RECT& area) {
    if (options_.Contains(doTransparent) && background_) {
      work->CopyRect(area, background_->GetCanvas(), area);
    } else {
      work->FillRect(area);
    }
  });
}

}  // namespace dashtune
