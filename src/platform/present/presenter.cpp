#include "platform/present/presenter.h"

#include "platform/core/strings.h"
#include "platform/gdi/dc_access.h"
#include "platform/present/x11_input.h"
#include "platform/user/cursors.h"
#include "platform/user/input_state.h"
#include "platform/user/menu_window.h"
#include "platform/user/menus.h"
#include "platform/user/overlay_planes.h"
#include "platform/user/surfaces.h"
#include "platform/user/window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace win::present {

namespace {

// No exposures: each X window's background is a pixmap holding its picture, which the server
// paints from by itself whenever a part of the window comes into view.
constexpr long kInputEvents = ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                              KeyReleaseMask | FocusChangeMask;
// How long a new window may wait for its first paint before it shows all the same; how often the
// presenter looks again meanwhile, and while another client's grab keeps an open menu from its own.
constexpr auto kFirstPaintWait = std::chrono::seconds(1);
constexpr int kRetryPollMs = 20;
constexpr unsigned int kGrabbedPointerEvents = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;

// A copy of one top-level surface, taken under the window manager's lock.
struct SurfaceCopy {
  HWND window = nullptr;
  RECT rect;
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // blue, green, red, alpha bytes; rows top-down, packed
  std::string title;                  // UTF-8
  bool unfinished = false;            // being drawn, or awaiting a paint
};

std::vector<SurfaceCopy> CopySurfaces() {
  std::vector<SurfaceCopy> copies;
  VisitTopLevelSurfaces([&](const TopLevelSurface& surface) {
    SurfaceCopy copy;
    copy.window = surface.window;
    copy.rect = surface.screen_rect;
    copy.width = surface.width;
    copy.height = surface.height;
    copy.title = surface.title;
    copy.unfinished = surface.unfinished;
    copy.pixels.resize(static_cast<std::size_t>(surface.width) * surface.height);
    for (int y = 0; y < surface.height; ++y)
      std::memcpy(copy.pixels.data() + static_cast<std::size_t>(y) * surface.width,
                  surface.bits + y * surface.stride, static_cast<std::size_t>(surface.width) * 4);
    copies.push_back(std::move(copy));
  });
  // Overlays show where their colour key is, as the display's overlay hardware would show them.
  for (SurfaceCopy& copy : copies) ApplyOverlayPlanes(copy.pixels.data(), static_cast<std::size_t>(copy.width), copy.rect);
  return copies;
}

struct XWindowState {
  Window x_window = 0;
  Pixmap picture = 0;  // the window's background once pictured: its surface as last put
  bool pictured = false;  // a picture has been put
  int picture_width = 0;
  int picture_height = 0;
  RECT rect;
  std::string title;
  bool is_menu = false;  // an open menu's window, which takes the pointer and keyboard
};

bool IsMenuWindow(HWND window) {
  char name[sizeof MENU_WINDOW_CLASSA + 1] = {};
  return GetClassNameA(window, name, sizeof name) > 0 && std::string_view(name) == MENU_WINDOW_CLASSA;
}

// The text in Latin-1, or nothing when it holds a character beyond Latin-1.
std::optional<std::string> Latin1Of(std::string_view utf8) {
  std::string latin1;
  for (const char16_t c : Utf8ToUtf16(utf8)) {
    if (c > 0xFF) return std::nullopt;
    latin1 += static_cast<char>(c);
  }
  return latin1;
}

// The X font cursor of a system cursor id; the arrow for cursors without one.
unsigned int FontCursorShape(WORD id) {
  switch (id) {
    case 32513: return XC_xterm;               // I-beam
    case 32514: return XC_watch;               // wait
    case 32515: return XC_crosshair;           // cross
    case 32516: return XC_sb_up_arrow;         // up arrow
    case 32642: return XC_bottom_right_corner;  // size NW-SE
    case 32643: return XC_bottom_left_corner;   // size NE-SW
    case 32644: return XC_sb_h_double_arrow;   // size W-E
    case 32645: return XC_sb_v_double_arrow;   // size N-S
    case 32646: return XC_fleur;               // size all
    case 32648: return XC_X_cursor;            // no
    case 32649: return XC_hand2;               // hand
    case 32650: return XC_watch;               // app starting
    case 32651: return XC_question_arrow;      // help
    default: return XC_left_ptr;
  }
}

// One bit of a cursor plane: rows of 16-bit words, most significant bit first.
bool PlaneBit(const std::vector<BYTE>& plane, int row_bytes, int x, int y) {
  const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(row_bytes) + static_cast<std::size_t>(x / 8);
  return at < plane.size() && (plane[at] & (0x80 >> (x % 8))) != 0;
}

// A made cursor as the two X bitmaps of a pixmap cursor (rows of whole bytes, least significant bit
// first): `source` picks white over black, `mask` the pixels shown. X cursors cannot invert the
// screen, so pixels that would invert it show black.
struct CursorBitmaps {
  std::vector<char> source;
  std::vector<char> mask;
};

CursorBitmaps BitmapsOf(const CursorImage& image) {
  const int plane_row_bytes = (image.width + 15) / 16 * 2;
  const int x_row_bytes = (image.width + 7) / 8;
  CursorBitmaps bitmaps;
  bitmaps.source.assign(static_cast<std::size_t>(x_row_bytes) * static_cast<std::size_t>(image.height), 0);
  bitmaps.mask.assign(bitmaps.source.size(), 0);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const bool keep = PlaneBit(image.and_plane, plane_row_bytes, x, y);
      const bool flip = PlaneBit(image.xor_plane, plane_row_bytes, x, y);
      const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(x_row_bytes) + static_cast<std::size_t>(x / 8);
      const char bit = static_cast<char>(1 << (x % 8));
      if (keep && !flip) continue;  // transparent
      bitmaps.mask[at] = static_cast<char>(bitmaps.mask[at] | bit);
      if (!keep && flip) bitmaps.source[at] = static_cast<char>(bitmaps.source[at] | bit);  // white
    }
  }
  return bitmaps;
}

// Xlib calls this on the presenter's thread when the display connection breaks, and ends the
// process if it returns. Ending with exit() would run static destructors and atexit handlers
// while media and worker threads still post to windows and wait on the platform's tables, and
// the main thread may be deep in a modal loop or a wait that no hand-off could end in bounded
// time. So the message goes out in one write after what the program printed, and the process
// ends at once; what it held is the kernel's to take back.
[[noreturn]] int EndOnBrokenConnection(Display* display) {
  const std::string message = std::string(program_invocation_short_name) + ": X connection to " +
                              DisplayString(display) + " broken\n";
  std::fflush(nullptr);
  for (std::size_t written = 0; written < message.size();) {
    const ssize_t n = write(STDERR_FILENO, message.data() + written, message.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  _exit(1);
}

}  // namespace

class X11Presenter::Impl {
 public:
  Impl(Display* display, int wake_fd, gdi::VirtualScreen previous_screen)
      : display_(display), wake_fd_(wake_fd), previous_screen_(previous_screen) {
    previous_io_handler_ = XSetIOErrorHandler(&EndOnBrokenConnection);
    screen_ = DefaultScreen(display_);
    root_ = RootWindow(display_, screen_);
    gc_ = DefaultGC(display_, screen_);
    net_wm_name_ = XInternAtom(display_, "_NET_WM_NAME", False);
    utf8_string_ = XInternAtom(display_, "UTF8_STRING", False);
  }

  ~Impl() {
    SetMenuChooser(std::move(previous_chooser_));
    SetSurfaceListener(nullptr);
    SetCursorObserver({});
    stop_ = true;
    Wake();
    if (thread_.joinable()) thread_.join();
    for (auto& [window, state] : windows_) Forget(state);
    for (auto& [shape, cursor] : font_cursors_) XFreeCursor(display_, cursor);
    for (auto& [handle, cursor] : made_cursors_) XFreeCursor(display_, cursor);
    if (blank_cursor_ != 0) XFreeCursor(display_, blank_cursor_);
    XCloseDisplay(display_);
    XSetIOErrorHandler(previous_io_handler_);
    close(wake_fd_);
    gdi::SetVirtualScreen(previous_screen_);
  }

  void Start() {
    // Menus show on screen while the presenter runs.
    previous_chooser_ = SetMenuChooser(&ChooseFromMenuWindow);
    SetSurfaceListener([this](HWND) {
      dirty_ = true;
      Wake();
    });
    SetCursorObserver(CursorObserver{[this] {
                                        cursor_dirty_ = true;
                                        Wake();
                                      },
                                      [this](POINT point) {
                                        {
                                          std::lock_guard lock(warp_mutex_);
                                          warp_ = point;
                                        }
                                        Wake();
                                      }});
    dirty_ = true;
    cursor_dirty_ = true;
    // The loop waits before it looks at the flags: a page that no longer repaints is shown too.
    Wake();
    thread_ = std::thread([this] { Run(); });
  }

  std::uint64_t ImagesPut() const { return images_put_.load(); }

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
    // A write to a display that has gone raises SIGPIPE, which would end the program silently
    // and by a signal. Blocked on this thread, which does the talking to X, the write fails
    // instead and the I/O error handler ends the program with its one message.
    sigset_t broken_pipe;
    sigemptyset(&broken_pipe);
    sigaddset(&broken_pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &broken_pipe, nullptr);
    while (!stop_) {
      if (XPending(display_) == 0) {
        pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wake_fd_, POLLIN, 0}};
        poll(fds, 2, awaiting_paint_.empty() && !grab_failed_ ? -1 : kRetryPollMs);
      }
      std::uint64_t count;
      [[maybe_unused]] const ssize_t got = read(wake_fd_, &count, sizeof count);
      while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        HandleEvent(event);
      }
      SettleFocus();
      std::uint64_t requested;
      bool flushing;
      {
        std::lock_guard lock(flush_mutex_);
        requested = flush_requested_;
        flushing = flush_requested_ != flush_completed_;
      }
      if (!awaiting_paint_.empty()) dirty_ = true;
      if (dirty_.exchange(false))
        Show(CopySurfaces(), flushing);
      else if (grab_failed_)
        GrabForMenus();  // Show tries the grabs itself
      if (cursor_dirty_.exchange(false)) ShowProgramCursor();
      WarpPointer();
      {
        std::lock_guard lock(flush_mutex_);
        flush_completed_ = requested;
      }
      flush_done_.notify_all();
    }
  }

  void HandleEvent(XEvent& event) {
    if (event.type == MappingNotify) {
      // A new keyboard layout (setxkbmap): key lookups must use it from now on.
      XRefreshKeyboardMapping(&event.xmapping);
      return;
    }
    for (const auto& [window, state] : windows_) {
      if (state.x_window != event.xany.window) continue;
      if (event.type == FocusIn || event.type == FocusOut)
        NoteFocus(event.xfocus, window);
      else
        input_.Post(event, window);
      return;
    }
  }

  // Focus moving between two of our X windows comes as a focus-out and a focus-in in one batch of
  // events: only a batch that leaves none of ours holding the focus takes the activation away.
  void NoteFocus(const XFocusChangeEvent& focus, HWND window) {
    if (focus.detail == NotifyInferior || focus.mode == NotifyGrab || focus.mode == NotifyUngrab) return;
    if (focus.type == FocusIn) {
      if (focus_window_ == nullptr && !focus_lost_) RequestAppActivation(GetWindowThreadProcessId(window, nullptr), TRUE);
      focus_window_ = window;
      focus_lost_ = false;
    } else if (window == focus_window_) {
      focus_window_ = nullptr;
      focus_lost_ = true;
      focus_lost_thread_ = GetWindowThreadProcessId(window, nullptr);
    }
  }

  void SettleFocus() {
    if (!focus_lost_) return;
    focus_lost_ = false;
    if (focus_window_ == nullptr) RequestAppActivation(focus_lost_thread_, FALSE);
  }

  // Makes the X windows match the surfaces: one X window per surface, at its place, showing its
  // pixels, stacked as the windows are; windows whose surface went away are destroyed. A new
  // window is mapped at once, to take input, but shows what lay beneath it until its first paint
  // is done (or a flush asks for every surface as it is); from then on the server shows its
  // picture, which is put before it is first shown.
  void Show(const std::vector<SurfaceCopy>& surfaces, bool flushing) {
    std::unordered_map<HWND, XWindowState> shown;
    std::vector<Window> top_first;
    std::vector<Window> to_map;
    std::unordered_map<HWND, std::chrono::steady_clock::time_point> awaiting;
    for (const SurfaceCopy& surface : surfaces) {
      const bool is_new = windows_.find(surface.window) == windows_.end();
      XWindowState state = TakeOrCreate(surface);
      if (state.title != surface.title) {
        SetTitle(state.x_window, surface.title);
        state.title = surface.title;
      }
      const bool awaits_paint =
          !state.pictured && surface.unfinished && !flushing && StillAwaitingFirstPaint(surface.window, awaiting);
      if (!awaits_paint) PutPicture(state, surface);
      if (is_new) to_map.push_back(state.x_window);
      top_first.insert(top_first.begin(), state.x_window);
      shown.emplace(surface.window, state);
    }
    for (auto& [window, state] : windows_) Forget(state);
    windows_ = std::move(shown);
    awaiting_paint_ = std::move(awaiting);
    Restack(top_first);
    for (const Window x_window : to_map) XMapWindow(display_, x_window);
    GrabForMenus();
    XSync(display_, False);
  }

  // Whether a window not pictured yet, whose picture is unfinished, still waits for its first
  // paint; a window whose thread does not paint shows after kFirstPaintWait all the same.
  bool StillAwaitingFirstPaint(HWND window,
                               std::unordered_map<HWND, std::chrono::steady_clock::time_point>& awaiting) {
    const auto now = std::chrono::steady_clock::now();
    const auto found = awaiting_paint_.find(window);
    const auto since = found != awaiting_paint_.end() ? found->second : now;
    if (now - since >= kFirstPaintWait) return false;
    awaiting.emplace(window, since);
    return true;
  }

  void PutPicture(XWindowState& state, const SurfaceCopy& surface) {
    XImage* image = XCreateImage(display_, DefaultVisual(display_, screen_), 24, ZPixmap, 0,
                                 reinterpret_cast<char*>(const_cast<std::uint32_t*>(surface.pixels.data())),
                                 static_cast<unsigned>(surface.width), static_cast<unsigned>(surface.height), 32,
                                 surface.width * 4);
    if (image == nullptr) return;
    image->byte_order = LSBFirst;  // blue, green, red, alpha in memory
    XPutImage(display_, state.picture, gc_, image, 0, 0, 0, 0, static_cast<unsigned>(surface.width),
              static_cast<unsigned>(surface.height));
    ++images_put_;
    image->data = nullptr;  // the pixels belong to the copy
    XDestroyImage(image);
    // Set again after each put: a new size brings a new pixmap, which becomes the background
    // only once it holds the picture.
    XSetWindowBackgroundPixmap(display_, state.x_window, state.picture);
    state.pictured = true;
    XClearArea(display_, state.x_window, 0, 0, 0, 0, False);  // shows the new background
  }

  // Stacks our X windows as the windows are stacked (topmost first); only a change of order moves
  // them, since each move uncovers and repaints parts of the windows.
  void Restack(std::vector<Window>& top_first) {
    if (top_first == stacked_) return;
    if (!top_first.empty()) {
      XRaiseWindow(display_, top_first.front());
      XRestackWindows(display_, top_first.data(), static_cast<int>(top_first.size()));
    }
    stacked_ = top_first;
  }

  // While a menu is open it takes the pointer and the keyboard, as menus on X do, so that a click
  // or a key anywhere reaches it (the rest of the program's windows still get their own events).
  void GrabForMenus() {
    Window menu = 0;
    for (const auto& [window, state] : windows_)
      if (state.is_menu && (menu == 0 || state.x_window == grab_window_)) menu = state.x_window;
    grab_failed_ = false;
    if (menu == grab_window_) return;
    if (grab_window_ != 0) {
      XUngrabPointer(display_, CurrentTime);
      XUngrabKeyboard(display_, CurrentTime);
      grab_window_ = 0;
    }
    if (menu == 0) return;
    const int pointer = XGrabPointer(display_, menu, True, kGrabbedPointerEvents, GrabModeAsync, GrabModeAsync, 0, 0,
                                     CurrentTime);
    const int keyboard = XGrabKeyboard(display_, menu, True, GrabModeAsync, GrabModeAsync, CurrentTime);
    if (pointer == GrabSuccess && keyboard == GrabSuccess) {
      grab_window_ = menu;
      return;
    }
    // Another client holds a grab: try again shortly.
    if (pointer == GrabSuccess) XUngrabPointer(display_, CurrentTime);
    if (keyboard == GrabSuccess) XUngrabKeyboard(display_, CurrentTime);
    grab_failed_ = true;
  }

  void Forget(const XWindowState& state) {
    if (state.x_window == grab_window_) grab_window_ = 0;  // destroying the window ends its grabs
    XDestroyWindow(display_, state.x_window);
    XFreePixmap(display_, state.picture);
  }

  // The window's title for window managers and tools: _NET_WM_NAME in UTF-8, and WM_NAME in
  // Latin-1 where the title fits it (UTF-8 otherwise).
  void SetTitle(Window x_window, const std::string& title) {
    const auto put = [&](Atom property, Atom type, const std::string& bytes) {
      XChangeProperty(display_, x_window, property, type, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    };
    const std::optional<std::string> latin1 = Latin1Of(title);
    put(XA_WM_NAME, latin1 ? XA_STRING : utf8_string_, latin1 ? *latin1 : title);
    put(net_wm_name_, utf8_string_, title);
  }

  // The X cursor for the cursor the program shows: blank for none or a negative show count.
  Cursor XCursorOf(HCURSOR cursor) {
    if (cursor == nullptr) return BlankCursor();
    CursorImage image;
    if (GetCursorImage(cursor, image)) return MadeCursor(cursor, image);
    const unsigned int shape = FontCursorShape(SystemCursorId(cursor));
    auto found = font_cursors_.find(shape);
    if (found != font_cursors_.end()) return found->second;
    const Cursor made = XCreateFontCursor(display_, shape);
    font_cursors_.emplace(shape, made);
    return made;
  }

  Cursor BlankCursor() {
    if (blank_cursor_ != 0) return blank_cursor_;
    const char empty[1] = {0};
    const Pixmap pixmap = XCreateBitmapFromData(display_, root_, empty, 1, 1);
    XColor black{};
    blank_cursor_ = XCreatePixmapCursor(display_, pixmap, pixmap, &black, &black, 0, 0);
    XFreePixmap(display_, pixmap);
    return blank_cursor_;
  }

  // The X cursor of a cursor the program made from its own planes, made once per handle (handles
  // are never reused).
  Cursor MadeCursor(HCURSOR cursor, const CursorImage& image) {
    auto found = made_cursors_.find(cursor);
    if (found != made_cursors_.end()) return found->second;
    const CursorBitmaps bitmaps = BitmapsOf(image);
    const auto width = static_cast<unsigned>(image.width);
    const auto height = static_cast<unsigned>(image.height);
    const Pixmap source = XCreateBitmapFromData(display_, root_, bitmaps.source.data(), width, height);
    const Pixmap mask = XCreateBitmapFromData(display_, root_, bitmaps.mask.data(), width, height);
    XColor white{};
    white.red = white.green = white.blue = 0xFFFF;
    XColor black{};
    // X refuses a hot spot outside the cursor.
    const auto hot_x = static_cast<unsigned>(std::clamp(image.hot_x, 0, image.width - 1));
    const auto hot_y = static_cast<unsigned>(std::clamp(image.hot_y, 0, image.height - 1));
    const Cursor made = XCreatePixmapCursor(display_, source, mask, &white, &black, hot_x, hot_y);
    XFreePixmap(display_, source);
    XFreePixmap(display_, mask);
    made_cursors_.emplace(cursor, made);
    return made;
  }

  // Frees the X cursors of made cursors the program has destroyed, except the one shown.
  void ForgetDestroyedCursors() {
    CursorImage unused;
    std::erase_if(made_cursors_, [&](const auto& entry) {
      if (entry.second == shown_cursor_ || GetCursorImage(entry.first, unused)) return false;
      XFreeCursor(display_, entry.second);
      return true;
    });
  }

  void ShowProgramCursor() {
    shown_cursor_ = XCursorOf(GetShownCursor());
    ForgetDestroyedCursors();
    for (const auto& [window, state] : windows_) XDefineCursor(display_, state.x_window, shown_cursor_);
    XFlush(display_);
  }

  // A program moved the pointer: the real one goes there too.
  void WarpPointer() {
    std::optional<POINT> target;
    {
      std::lock_guard lock(warp_mutex_);
      target = std::exchange(warp_, std::nullopt);
    }
    if (!target) return;
    XWarpPointer(display_, None, root_, 0, 0, 0, 0, target->x, target->y);
    XFlush(display_);
  }

  // Gives the window a picture of the surface's size (X has no empty pixmaps: at least 1 x 1).
  // A background keeps the pixmap it was given even once that is freed, until PutPicture sets
  // the new one.
  void SizePicture(XWindowState& state, const SurfaceCopy& surface) {
    if (state.picture != 0 && state.picture_width == surface.width && state.picture_height == surface.height) return;
    if (state.picture != 0) XFreePixmap(display_, state.picture);
    state.picture_width = surface.width;
    state.picture_height = surface.height;
    state.picture = XCreatePixmap(display_, root_, static_cast<unsigned>(std::max(surface.width, 1)),
                                  static_cast<unsigned>(std::max(surface.height, 1)),
                                  static_cast<unsigned>(DefaultDepth(display_, screen_)));
  }

  // The X window of a surface, moved and sized to it, with a picture of the surface's size; a new
  // one is made unmapped.
  XWindowState TakeOrCreate(const SurfaceCopy& surface) {
    const int width = surface.rect.right - surface.rect.left;
    const int height = surface.rect.bottom - surface.rect.top;
    const auto found = windows_.find(surface.window);
    if (found != windows_.end()) {
      XWindowState state = found->second;
      windows_.erase(found);
      SizePicture(state, surface);
      if (std::memcmp(&state.rect, &surface.rect, sizeof(RECT)) != 0) {
        XMoveResizeWindow(display_, state.x_window, surface.rect.left, surface.rect.top, static_cast<unsigned>(width),
                          static_cast<unsigned>(height));
        state.rect = surface.rect;
      }
      return state;
    }
    XWindowState state;
    state.rect = surface.rect;
    state.is_menu = IsMenuWindow(surface.window);
    SizePicture(state, surface);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;  // placed exactly where the window says, no decorations
    attributes.event_mask = kInputEvents;
    attributes.background_pixmap = None;  // the server leaves what lies beneath until the picture comes
    attributes.cursor = shown_cursor_;
    state.x_window = XCreateWindow(display_, root_, surface.rect.left, surface.rect.top, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                   CWOverrideRedirect | CWEventMask | CWBackPixmap | CWCursor, &attributes);
    return state;
  }

  Display* display_;
  int wake_fd_;
  gdi::VirtualScreen previous_screen_;  // restored when the presenter goes
  MenuChooser previous_chooser_;        // likewise
  XIOErrorHandler previous_io_handler_ = nullptr;  // likewise
  int screen_ = 0;
  Window root_ = 0;
  GC gc_ = nullptr;
  Atom net_wm_name_ = 0;
  Atom utf8_string_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> dirty_{false};
  std::atomic<bool> cursor_dirty_{false};
  std::atomic<std::uint64_t> images_put_{0};
  std::mutex warp_mutex_;
  std::optional<POINT> warp_;  // guarded by warp_mutex_
  Cursor shown_cursor_ = 0;    // presenter thread only, as the cursors below
  Cursor blank_cursor_ = 0;
  std::unordered_map<unsigned int, Cursor> font_cursors_;
  std::unordered_map<HCURSOR, Cursor> made_cursors_;
  std::unordered_map<HWND, XWindowState> windows_;  // presenter thread only, as the two below
  std::vector<Window> stacked_;                      // the order last given to the X windows, topmost first
  Window grab_window_ = 0;                           // the menu window holding the grabs, 0 for none
  bool grab_failed_ = false;                         // a menu shows but could not take the grabs
  // New windows not shown yet while their first paint is awaited, and since when.
  std::unordered_map<HWND, std::chrono::steady_clock::time_point> awaiting_paint_;
  InputTranslator input_;                            // presenter thread only
  HWND focus_window_ = nullptr;  // our window holding the X input focus; presenter thread only
  bool focus_lost_ = false;      // it lost the focus in this batch of events
  DWORD focus_lost_thread_ = 0;  // the thread of the window that lost it
  std::mutex flush_mutex_;
  std::condition_variable flush_done_;
  std::uint64_t flush_requested_ = 0;
  std::uint64_t flush_completed_ = 0;
};

X11Presenter::X11Presenter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

X11Presenter::~X11Presenter() = default;

bool X11Presenter::Flush(std::chrono::milliseconds real_timeout) { return impl_->Flush(real_timeout); }

std::uint64_t X11Presenter::ImagesPut() const { return impl_->ImagesPut(); }

std::unique_ptr<X11Presenter> X11Presenter::Open(const char* display_name, std::string* failure) {
  const auto fail = [&](const std::string& why) {
    if (failure != nullptr) *failure = why;
    return nullptr;
  };
  const std::string name = XDisplayName(display_name);
  Display* display = XOpenDisplay(display_name);
  if (display == nullptr) return fail("cannot open display \"" + name + "\"");
  const int screen = DefaultScreen(display);
  const Visual* visual = DefaultVisual(display, screen);
  if (DefaultDepth(display, screen) != 24 || visual->red_mask != 0xFF0000 || visual->green_mask != 0xFF00 ||
      visual->blue_mask != 0xFF) {
    XCloseDisplay(display);
    return fail("display \"" + name + "\" has no 24-bit true colour visual");
  }
  const int wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd < 0) {
    XCloseDisplay(display);
    return fail("no event descriptor for the presenter");
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

std::unique_ptr<X11Presenter> StartPresenterIfDisplay(std::string* failure) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return nullptr;
  return X11Presenter::Open(display, failure);
}

}  // namespace win::present
