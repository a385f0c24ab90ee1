#include "platform/present/presenter.h"

#include "platform/gdi/dc_access.h"
#include "platform/present/x11_input.h"
#include "platform/user/surfaces.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace win::present {

namespace {

constexpr long kInputEvents = ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                              KeyReleaseMask | ExposureMask;

// A copy of one top-level surface, taken under the window manager's lock.
struct SurfaceCopy {
  HWND window = nullptr;
  RECT rect;
  int width = 0;
  int height = 0;
  std::vector<char> pixels;  // 32-bit, rows top-down, width * 4 bytes each
};

std::vector<SurfaceCopy> CopySurfaces() {
  std::vector<SurfaceCopy> copies;
  VisitTopLevelSurfaces([&](const TopLevelSurface& surface) {
    SurfaceCopy copy;
    copy.window = surface.window;
    copy.rect = surface.screen_rect;
    copy.width = surface.width;
    copy.height = surface.height;
    copy.pixels.resize(static_cast<std::size_t>(surface.width) * surface.height * 4);
    for (int y = 0; y < surface.height; ++y)
      std::memcpy(copy.pixels.data() + static_cast<std::size_t>(y) * surface.width * 4,
                  surface.bits + y * surface.stride, static_cast<std::size_t>(surface.width) * 4);
    copies.push_back(std::move(copy));
  });
  return copies;
}

struct XWindowState {
  Window x_window = 0;
  RECT rect;
};

}  // namespace

class X11Presenter::Impl {
 public:
  Impl(Display* display, int wake_fd, gdi::VirtualScreen previous_screen)
      : display_(display), wake_fd_(wake_fd), previous_screen_(previous_screen) {
    screen_ = DefaultScreen(display_);
    root_ = RootWindow(display_, screen_);
    gc_ = DefaultGC(display_, screen_);
  }

  ~Impl() {
    SetSurfaceListener(nullptr);
    stop_ = true;
    Wake();
    if (thread_.joinable()) thread_.join();
    for (auto& [window, state] : windows_) XDestroyWindow(display_, state.x_window);
    XCloseDisplay(display_);
    close(wake_fd_);
    gdi::SetVirtualScreen(previous_screen_);
  }

  void Start() {
    SetSurfaceListener([this](HWND) {
      dirty_ = true;
      Wake();
    });
    dirty_ = true;
    thread_ = std::thread([this] { Run(); });
  }

  bool Flush(std::chrono::milliseconds real_timeout) {
    std::unique_lock lock(flush_mutex_);
    const std::uint64_t wanted = ++flush_requested_;
    dirty_ = true;
    Wake();
    return flush_done_.wait_for(lock, real_timeout, [&] { return flush_completed_ >= wanted; });
  }

 private:
  void Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wake_fd_, &one, sizeof one);
  }

  void Run() {
    while (!stop_) {
      if (XPending(display_) == 0) {
        pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wake_fd_, POLLIN, 0}};
        poll(fds, 2, -1);
      }
      std::uint64_t count;
      [[maybe_unused]] const ssize_t got = read(wake_fd_, &count, sizeof count);
      while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        HandleEvent(event);
      }
      std::uint64_t requested;
      {
        std::lock_guard lock(flush_mutex_);
        requested = flush_requested_;
      }
      if (dirty_.exchange(false)) Show(CopySurfaces());
      {
        std::lock_guard lock(flush_mutex_);
        flush_completed_ = requested;
      }
      flush_done_.notify_all();
    }
  }

  void HandleEvent(const XEvent& event) {
    if (event.type == Expose) {
      dirty_ = true;
      return;
    }
    for (const auto& [window, state] : windows_) {
      if (state.x_window == event.xany.window) {
        input_.Post(event, window);
        return;
      }
    }
  }

  // Makes the X windows match the surfaces: one mapped X window per surface, at its place,
  // showing its pixels; windows whose surface went away are destroyed.
  void Show(const std::vector<SurfaceCopy>& surfaces) {
    std::unordered_map<HWND, XWindowState> shown;
    for (const SurfaceCopy& surface : surfaces) {
      XWindowState state = TakeOrCreate(surface);
      XImage* image = XCreateImage(display_, DefaultVisual(display_, screen_), 24, ZPixmap, 0,
                                   const_cast<char*>(surface.pixels.data()), static_cast<unsigned>(surface.width),
                                   static_cast<unsigned>(surface.height), 32, surface.width * 4);
      if (image != nullptr) {
        image->byte_order = LSBFirst;  // blue, green, red, alpha in memory
        XPutImage(display_, state.x_window, gc_, image, 0, 0, 0, 0, static_cast<unsigned>(surface.width),
                  static_cast<unsigned>(surface.height));
        image->data = nullptr;  // the pixels belong to the copy
        XDestroyImage(image);
      }
      shown.emplace(surface.window, state);
    }
    for (const auto& [window, state] : windows_) XDestroyWindow(display_, state.x_window);
    windows_ = std::move(shown);
    XSync(display_, False);
  }

  XWindowState TakeOrCreate(const SurfaceCopy& surface) {
    const int width = surface.rect.right - surface.rect.left;
    const int height = surface.rect.bottom - surface.rect.top;
    const auto found = windows_.find(surface.window);
    if (found != windows_.end()) {
      XWindowState state = found->second;
      windows_.erase(found);
      if (std::memcmp(&state.rect, &surface.rect, sizeof(RECT)) != 0) {
        XMoveResizeWindow(display_, state.x_window, surface.rect.left, surface.rect.top, static_cast<unsigned>(width),
                          static_cast<unsigned>(height));
        state.rect = surface.rect;
      }
      XRaiseWindow(display_, state.x_window);
      return state;
    }
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;  // placed exactly where the window says, no decorations
    attributes.event_mask = kInputEvents;
    attributes.background_pixel = BlackPixel(display_, screen_);
    XWindowState state;
    state.rect = surface.rect;
    state.x_window = XCreateWindow(display_, root_, surface.rect.left, surface.rect.top, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                   CWOverrideRedirect | CWEventMask | CWBackPixel, &attributes);
    XMapRaised(display_, state.x_window);
    return state;
  }

  Display* display_;
  int wake_fd_;
  gdi::VirtualScreen previous_screen_;  // restored when the presenter goes
  int screen_ = 0;
  Window root_ = 0;
  GC gc_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> dirty_{false};
  std::unordered_map<HWND, XWindowState> windows_;  // presenter thread only
  InputTranslator input_;                            // presenter thread only
  std::mutex flush_mutex_;
  std::condition_variable flush_done_;
  std::uint64_t flush_requested_ = 0;
  std::uint64_t flush_completed_ = 0;
};

X11Presenter::X11Presenter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

X11Presenter::~X11Presenter() = default;

bool X11Presenter::Flush(std::chrono::milliseconds real_timeout) { return impl_->Flush(real_timeout); }

std::unique_ptr<X11Presenter> X11Presenter::Open(const char* display_name) {
  Display* display = XOpenDisplay(display_name);
  if (display == nullptr) return nullptr;
  const int screen = DefaultScreen(display);
  const Visual* visual = DefaultVisual(display, screen);
  if (DefaultDepth(display, screen) != 24 || visual->red_mask != 0xFF0000 || visual->green_mask != 0xFF00 ||
      visual->blue_mask != 0xFF) {
    XCloseDisplay(display);
    return nullptr;
  }
  const int wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd < 0) {
    XCloseDisplay(display);
    return nullptr;
  }
  const gdi::VirtualScreen previous_screen = gdi::GetVirtualScreen();
  gdi::VirtualScreen virtual_screen = previous_screen;
  virtual_screen.width = DisplayWidth(display, screen);
  virtual_screen.height = DisplayHeight(display, screen);
  gdi::SetVirtualScreen(virtual_screen);
  auto impl = std::make_unique<Impl>(display, wake_fd, previous_screen);
  impl->Start();
  return std::unique_ptr<X11Presenter>(new X11Presenter(std::move(impl)));
}

std::unique_ptr<X11Presenter> StartPresenterIfDisplay() {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return nullptr;
  return X11Presenter::Open(display);
}

}  // namespace win::present
