#include "platform/dshow/renderer_window.h"

#include <algorithm>
#include <mutex>

#include "platform/core/mul_div.h"
#include "platform/dshow/gst_ref.h"
#include "platform/dshow/overlay_mixer.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/scoped_gdi.h"
#include "platform/user/cursors.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"

namespace win {

namespace {

const char kClassName[] = "VideoRenderer";
// Posted by the streaming thread when a new frame is stored.
constexpr UINT kNewFrameMessage = WM_APP + 0x31;

}  // namespace

RECT FitPicture(int width, int height, int source_width, int source_height) {
  if (width <= 0 || height <= 0 || source_width <= 0 || source_height <= 0) return RECT{};
  int fitted_width = 0;
  int fitted_height = 0;
  // Compare the ratios without dividing: height / source_height <= width / source_width.
  if (static_cast<long long>(height) * source_width <= static_cast<long long>(width) * source_height) {
    fitted_width = MulDiv(source_width, height, source_height);
    fitted_height = height;
  } else {
    fitted_width = width;
    fitted_height = MulDiv(source_height, width, source_width);
  }
  const int left = (width - fitted_width) / 2;
  const int top = (height - fitted_height) / 2;
  return RECT{left, top, left + fitted_width, top + fitted_height};
}

RECT ClipSource(const RECT& source, int width, int height) {
  const RECT frame{0, 0, width, height};
  RECT clipped{};
  if (source.right <= source.left || source.bottom <= source.top || !IntersectRect(&clipped, &source, &frame)) {
    return frame;
  }
  return clipped;
}

RECT PlacePicture(int mode, int width, int height, int aspect_width, int aspect_height) {
  const RECT whole{0, 0, width, height};
  if (mode == 0 || aspect_width <= 0 || aspect_height <= 0 || width <= 0 || height <= 0) return whole;
  if (mode == 1) return FitPicture(width, height, aspect_width, aspect_height);
  // Crop: the side that fits less decides the scale.
  const bool wider = static_cast<long long>(width) * aspect_height > static_cast<long long>(height) * aspect_width;
  const int picture_width = wider ? width : MulDiv(aspect_width, height, aspect_height);
  const int picture_height = wider ? MulDiv(aspect_height, width, aspect_width) : height;
  const int left = (width - picture_width) / 2;
  const int top = (height - picture_height) / 2;
  return RECT{left, top, left + picture_width, top + picture_height};
}

namespace {

// A COLORREF (red in the low byte) as a screen pixel (0x00RRGGBB).
std::uint32_t PixelOf(COLORREF color) {
  return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
}

}  // namespace

RendererWindow::RendererWindow(GstElement* renderer, int width, int height)
    : renderer_(renderer), store_(gst::RendererFrameStore(renderer)), settings_(gst::RendererSettingsOf(renderer)) {
  static std::once_flag registered;
  std::call_once(registered, [] {
    WNDCLASSA window_class;
    window_class.lpfnWndProc = &RendererWindow::Procedure;
    window_class.lpszClassName = kClassName;
    RegisterClassA(&window_class);
  });
  // Hidden until the first frame shows it (auto-show) or the owner does.
  window_ = CreateWindowExA(0, kClassName, "Video Renderer", WS_POPUP, 0, 0, std::max(width, 1),
                            std::max(height, 1), nullptr, nullptr, nullptr, nullptr);
  if (window_ == nullptr) return;
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  // The listener runs on streaming threads and may outlive this object by one call: it holds
  // only the window handle (never reused) and the shared flag.
  const HWND window = window_;
  std::shared_ptr<std::atomic<bool>> pending = request_pending_;
  store_->SetListener([window, pending] {
    if (!pending->exchange(true)) PostMessageA(window, kNewFrameMessage, 0, 0);
  });
  // A frame that came before the window is shown at once.
  if (store_->FrameCount() > 0 && !pending->exchange(true)) PostMessageA(window, kNewFrameMessage, 0, 0);
}

RendererWindow::~RendererWindow() {
  RemovePlane();
  if (window_ == nullptr) return;
  store_->SetListener(nullptr);
  SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
}

LRESULT RendererWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<RendererWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self != nullptr) {
    switch (message) {
      case kNewFrameMessage:
        self->request_pending_->store(false);
        self->NewFrame();
        return 0;
      case WM_ERASEBKGND:
        return 1;  // the frame and its borders cover everything
      case WM_PAINT:
        self->Paint();
        return 0;
      case WM_SETCURSOR: {
        std::lock_guard<std::mutex> guard(self->settings_->lock);
        if (!self->settings_->cursor_hidden) break;
        SetCursor(nullptr);
        return TRUE;
      }
      default:
        if (self->ForwardToDrain(message, wParam, lParam)) return 0;
        break;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// Mouse and key messages go to the message drain, as if they had happened there.
bool RendererWindow::ForwardToDrain(UINT message, WPARAM wParam, LPARAM lParam) {
  const bool mouse = message >= WM_MOUSEMOVE && message <= WM_MOUSEWHEEL;
  const bool key = message >= WM_KEYDOWN && message <= WM_SYSCHAR;
  if (!mouse && !key) return false;
  HWND drain = nullptr;
  {
    std::lock_guard<std::mutex> guard(settings_->lock);
    drain = settings_->message_drain;
  }
  if (drain == nullptr || !IsWindow(drain)) return false;
  PostMessageA(drain, message, wParam, lParam);
  return true;
}

void RendererWindow::NewFrame() {
  bool auto_show = false;
  bool windowless = false;
  HWND clipping = nullptr;
  RECT destination{};
  {
    std::lock_guard<std::mutex> guard(settings_->lock);
    auto_show = settings_->auto_show;
    windowless = settings_->mode == VMR9Mode_Windowless;
    clipping = settings_->clipping_window;
    destination = settings_->destination;
  }
  if (windowless) {
    // Windowless: the frame goes into the clipping window at the video position.
    if (clipping == nullptr || !IsWindow(clipping) || IsRectEmpty(&destination)) return;
    HDC dc = GetDC(clipping);
    if (dc == nullptr) return;
    DrawFrame(dc, destination);
    ReleaseDC(clipping, dc);
    return;
  }
  if (auto_show && !shown_) {
    shown_ = true;
    ShowWindow(window_, SW_SHOWNA);
  }
  InvalidateRect(window_, nullptr, FALSE);
  // The overlay plane shows the new frame.
  if (plane_ != 0) OverlayPictureChanged();
}

void RendererWindow::RemovePlane() {
  if (plane_ == 0) return;
  RemoveOverlayPlane(plane_);
  plane_ = 0;
}

bool RendererWindow::DrawOverlay(HDC dc, const RECT& client) {
  GstElement* mixer = nullptr;
  RECT source{};
  {
    std::lock_guard<std::mutex> guard(settings_->lock);
    if (settings_->overlay_mixer == nullptr) return false;
    mixer = GST_ELEMENT(gst_object_ref(settings_->overlay_mixer));
    source = settings_->source;
  }
  const gst::ElementRef held(mixer);
  const gst::OverlayMixerState* state = gst::OverlayMixerStateOf(mixer);
  if (state == nullptr) return false;
  COLORREF key = 0;
  int mode = 0;
  int aspect_width = 0;
  int aspect_height = 0;
  int frame_width = 0;
  int frame_height = 0;
  {
    std::lock_guard<std::mutex> guard(state->lock);
    key = state->key.HighColorValue;
    mode = state->aspect;
    aspect_width = state->aspect_width;
    aspect_height = state->aspect_height;
    frame_width = state->width;
    frame_height = state->height;
  }
  // The source part keeps its share of the display aspect.
  const RECT shown = ClipSource(source, frame_width, frame_height);
  if (frame_width > 0 && frame_height > 0) {
    aspect_width = MulDiv(aspect_width * 1000, shown.right - shown.left, frame_width);
    aspect_height = MulDiv(aspect_height * 1000, shown.bottom - shown.top, frame_height);
  }
  const RECT picture = PlacePicture(mode, client.right, client.bottom, aspect_width, aspect_height);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  RECT keyed{};
  IntersectRect(&keyed, &picture, &client);
  const ScopedGdiObject<HBRUSH> key_brush(CreateSolidBrush(key));
  FillRect(dc, &keyed, key_brush.Get());

  OverlayPlane plane;
  GetWindowRect(window_, &plane.area);
  plane.picture_rect = picture;
  OffsetRect(&plane.picture_rect, plane.area.left, plane.area.top);
  plane.source = shown;
  plane.key = PixelOf(key);
  // The plane's picture is asked for on the presenter's thread: it keeps the renderer's element
  // (and with it the frame store) alive.
  std::shared_ptr<GstElement> keep(GST_ELEMENT(gst_object_ref(renderer_)), [](GstElement* e) { gst_object_unref(e); });
  // The newest frame is lent in place: a copy of every frame would cost as much as showing it.
  plane.picture = [keep](const OverlayPictureUse& use) {
    gst::VideoFrameStore* store = gst::RendererFrameStore(keep.get());
    return store != nullptr && store->UseNewest([&](const gst::VideoFrame& frame) {
      use(OverlayPicture{frame.width, frame.height, static_cast<std::size_t>(frame.width), frame.pixels.data()});
    });
  };
  if (plane_ == 0) {
    plane_ = AddOverlayPlane(std::move(plane));
  } else {
    UpdateOverlayPlane(plane_, std::move(plane));
  }
  return true;
}

void RendererWindow::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  if (dc == nullptr) return;
  RECT client;
  GetClientRect(window_, &client);
  if (!DrawOverlay(dc, client)) {
    RemovePlane();
    DrawFrame(dc, client);
  }
  EndPaint(window_, &paint);
}

namespace {

// Paints the window's area black outside the picture (all of it without one).
void PaintBorders(HDC dc, const RECT& area, const RECT* picture) {
  const ScopedGdiObject<HRGN> borders(CreateRectRgnIndirect(&area));
  if (picture != nullptr) {
    const ScopedGdiObject<HRGN> inside(CreateRectRgnIndirect(picture));
    CombineRgn(borders.Get(), borders.Get(), inside.Get(), RGN_DIFF);
  }
  FillRgn(dc, borders.Get(), static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

// Draws the part `shown` of a frame scaled into `target`.
void StretchFrame(HDC dc, const gst::VideoFrame& frame, const RECT& shown, const RECT& target) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = frame.width;
  info.bmiHeader.biHeight = -frame.height;  // rows top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  // Video is scaled by picking the nearest pixels: the default mode would AND together every
  // pixel of a shrunk block, darkening the picture at many times the cost.
  SetStretchBltMode(dc, COLORONCOLOR);
  // A top-down image counts its source rows from the top.
  StretchDIBits(dc, target.left, target.top, target.right - target.left, target.bottom - target.top, shown.left,
                shown.top, shown.right - shown.left, shown.bottom - shown.top, frame.pixels.data(), &info,
                DIB_RGB_COLORS, SRCCOPY);
}

}  // namespace

void RendererWindow::DrawFrame(HDC dc, const RECT& area) {
  RECT source{};
  bool keep_aspect = true;
  bool paint_borders = true;
  {
    std::lock_guard<std::mutex> guard(settings_->lock);
    source = settings_->source;
    keep_aspect = settings_->keep_aspect;
    paint_borders = settings_->paint_borders;
  }
  // Drawn from the store in place: a copy of every frame would cost as much as the drawing.
  const bool have_frame = store_->UseNewest([&](const gst::VideoFrame& frame) {
    const RECT shown = ClipSource(source, frame.width, frame.height);
    RECT target = area;
    if (keep_aspect) {
      target = FitPicture(area.right - area.left, area.bottom - area.top, shown.right - shown.left,
                          shown.bottom - shown.top);
      OffsetRect(&target, area.left, area.top);
    }
    if (paint_borders) PaintBorders(dc, area, &target);
    StretchFrame(dc, frame, shown, target);
  });
  // Without a frame the whole window is border.
  if (!have_frame) PaintBorders(dc, area, nullptr);
}

}  // namespace win
