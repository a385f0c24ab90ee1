#include "platform/dshow/renderer_window.h"

#include <algorithm>
#include <mutex>

#include "platform/core/mul_div.h"
#include "platform/gdi/gdi.h"
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

RendererWindow::RendererWindow(gst::VideoFrameStore* store, int width, int height) : store_(store) {
  static std::once_flag registered;
  std::call_once(registered, [] {
    WNDCLASSA window_class;
    window_class.lpfnWndProc = &RendererWindow::Procedure;
    window_class.lpszClassName = kClassName;
    RegisterClassA(&window_class);
  });
  window_ = CreateWindowExA(0, kClassName, "Video Renderer", WS_POPUP | WS_VISIBLE, 0, 0, std::max(width, 1),
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
  InvalidateRect(window_, nullptr, FALSE);
}

RendererWindow::~RendererWindow() {
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
        InvalidateRect(window, nullptr, FALSE);
        return 0;
      case WM_ERASEBKGND:
        return 1;  // the frame and its black borders cover everything
      case WM_PAINT:
        self->Paint();
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void RendererWindow::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  if (dc == nullptr) return;
  RECT client;
  GetClientRect(window_, &client);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  gst::VideoFrame frame;
  if (store_->Snapshot(frame)) {
    const RECT target = FitPicture(client.right, client.bottom, frame.width, frame.height);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = frame.width;
    info.bmiHeader.biHeight = -frame.height;  // rows top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    StretchDIBits(dc, target.left, target.top, target.right - target.left, target.bottom - target.top, 0, 0,
                  frame.width, frame.height, frame.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
  }
  EndPaint(window_, &paint);
}

}  // namespace win
