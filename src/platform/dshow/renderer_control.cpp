#include "platform/dshow/renderer_control.h"

#include <algorithm>
#include <mutex>
#include <string>

#include "platform/core/strings.h"
#include "platform/dshow/com_plumbing.h"
#include "platform/dshow/media_objects.h"
#include "platform/dshow/video_interfaces.h"
#include "platform/dshow/video_renderer_bin.h"
#include "platform/gdi/gdi.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"

#include <gst/gst.h>

namespace win {

namespace {

using gst::RendererSettings;

class RendererControl final : public IVideoWindow,
                              public IBasicVideo2,
                              public IVMRFilterConfig9,
                              public IVMRAspectRatioControl9,
                              public IVMRWindowlessControl9,
                              public IVMRSurfaceAllocatorNotify9,
                              public MediaObjectCount {
 public:
  RendererControl(IBaseFilter* filter, GstElement* bin)
      : filter_(filter), bin_(GST_ELEMENT(gst_object_ref(bin))), settings_(*gst::RendererSettingsOf(bin)) {}
  ~RendererControl() override { gst_object_unref(bin_); }

  // The interfaces of this object; everything else is the filter's.
  HRESULT Answer(REFIID riid, void** ppv) {
    const bool mixing = settings_.mixing;
    if (riid == IID_IVideoWindow) {
      *ppv = static_cast<IVideoWindow*>(this);
    } else if (riid == IID_IBasicVideo2 || riid == IID_IBasicVideo) {
      *ppv = static_cast<IBasicVideo2*>(this);
    } else if (riid == IID_IVMRFilterConfig9 && mixing) {
      *ppv = static_cast<IVMRFilterConfig9*>(this);
    } else if (riid == IID_IVMRAspectRatioControl9 && mixing) {
      *ppv = static_cast<IVMRAspectRatioControl9*>(this);
    } else if (riid == IID_IVMRWindowlessControl9 && mixing) {
      *ppv = static_cast<IVMRWindowlessControl9*>(this);
    } else if (riid == IID_IVMRSurfaceAllocatorNotify9 && mixing) {
      *ppv = static_cast<IVMRSurfaceAllocatorNotify9*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (SUCCEEDED(Answer(riid, ppv))) return S_OK;
    return filter_->QueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return CountUp(); }
  ULONG Release() override { return CountDown(); }

  // ---- IVideoWindow: the window exists while the renderer is in a graph ----
  HRESULT put_Caption(const std::u16string& caption) override {
    return OnWindow([&](HWND window) { SetWindowTextA(window, Utf16ToUtf8(caption).c_str()); });
  }
  HRESULT get_Caption(std::u16string* caption) override {
    if (caption == nullptr) return E_POINTER;
    return OnWindow([&](HWND window) {
      char text[256] = {};
      GetWindowTextA(window, text, sizeof text);
      *caption = Utf8ToUtf16(text);
    });
  }
  // The window's visibility stays with put_Visible and AutoShow.
  HRESULT put_WindowStyle(LONG style) override {
    return OnWindow([&](HWND window) {
      const DWORD visible = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)) & WS_VISIBLE;
      SetWindowLongA(window, GWL_STYLE, static_cast<LONG>((static_cast<DWORD>(style) & ~WS_VISIBLE) | visible));
    });
  }
  HRESULT get_WindowStyle(LONG* style) override {
    if (style == nullptr) return E_POINTER;
    return OnWindow([&](HWND window) { *style = GetWindowLongA(window, GWL_STYLE); });
  }
  // A top-most extended style lifts the window above the others (and its absence lowers it).
  HRESULT put_WindowStyleEx(LONG style) override {
    return OnWindow([&](HWND window) {
      SetWindowLongA(window, GWL_EXSTYLE, style);
      const bool top_most = (static_cast<DWORD>(style) & WS_EX_TOPMOST) != 0;
      SetWindowPos(window, top_most ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    });
  }
  HRESULT get_WindowStyleEx(LONG* style) override {
    if (style == nullptr) return E_POINTER;
    return OnWindow([&](HWND window) { *style = GetWindowLongA(window, GWL_EXSTYLE); });
  }
  HRESULT put_AutoShow(LONG auto_show) override {
    std::lock_guard<std::mutex> guard(settings_.lock);
    settings_.auto_show = auto_show != OAFALSE;
    return S_OK;
  }
  HRESULT get_AutoShow(LONG* auto_show) override {
    if (auto_show == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> guard(settings_.lock);
    *auto_show = settings_.auto_show ? OATRUE : OAFALSE;
    return S_OK;
  }
  HRESULT put_Visible(LONG visible) override {
    return OnWindow([&](HWND window) { ShowWindow(window, visible != OAFALSE ? SW_SHOWNA : SW_HIDE); });
  }
  HRESULT get_Visible(LONG* visible) override {
    if (visible == nullptr) return E_POINTER;
    return OnWindow([&](HWND window) { *visible = IsWindowVisible(window) ? OATRUE : OAFALSE; });
  }
  HRESULT put_Owner(OAHWND owner) override {
    return OnWindow([&](HWND window) { SetParent(window, reinterpret_cast<HWND>(owner)); });
  }
  HRESULT get_Owner(OAHWND* owner) override {
    if (owner == nullptr) return E_POINTER;
    return OnWindow([&](HWND window) { *owner = reinterpret_cast<OAHWND>(GetParent(window)); });
  }
  HRESULT put_MessageDrain(OAHWND drain) override {
    std::lock_guard<std::mutex> guard(settings_.lock);
    settings_.message_drain = reinterpret_cast<HWND>(drain);
    return S_OK;
  }
  HRESULT get_MessageDrain(OAHWND* drain) override {
    if (drain == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> guard(settings_.lock);
    *drain = reinterpret_cast<OAHWND>(settings_.message_drain);
    return S_OK;
  }
  HRESULT SetWindowPosition(LONG left, LONG top, LONG width, LONG height) override {
    if (width < 0 || height < 0) return E_INVALIDARG;
    return OnWindow([&](HWND window) {
      SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    });
  }
  // In the parent's client coordinates (the screen's for a top-level window).
  HRESULT GetWindowPosition(LONG* left, LONG* top, LONG* width, LONG* height) override {
    if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
    return OnWindow([&](HWND window) {
      RECT rect{};
      GetWindowRect(window, &rect);
      POINT origin{rect.left, rect.top};
      if (HWND parent = GetParent(window)) ScreenToClient(parent, &origin);
      *left = origin.x;
      *top = origin.y;
      *width = rect.right - rect.left;
      *height = rect.bottom - rect.top;
    });
  }
  HRESULT HideCursor(LONG hide) override {
    std::lock_guard<std::mutex> guard(settings_.lock);
    settings_.cursor_hidden = hide != OAFALSE;
    return S_OK;
  }
  HRESULT IsCursorHidden(LONG* hidden) override {
    if (hidden == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> guard(settings_.lock);
    *hidden = settings_.cursor_hidden ? OATRUE : OAFALSE;
    return S_OK;
  }

  // ---- IBasicVideo2: the source rectangle in frame pixels ----
  HRESULT get_VideoWidth(LONG* width) override { return NativeSize(width, nullptr); }
  HRESULT get_VideoHeight(LONG* height) override { return NativeSize(nullptr, height); }
  HRESULT put_SourceLeft(LONG left) override {
    return ChangeSource([&](RECT& source) { OffsetRect(&source, left - source.left, 0); });
  }
  HRESULT get_SourceLeft(LONG* left) override { return ReadSource(left, [](const RECT& r) { return r.left; }); }
  HRESULT put_SourceTop(LONG top) override {
    return ChangeSource([&](RECT& source) { OffsetRect(&source, 0, top - source.top); });
  }
  HRESULT get_SourceTop(LONG* top) override { return ReadSource(top, [](const RECT& r) { return r.top; }); }
  HRESULT put_SourceWidth(LONG width) override {
    return ChangeSource([&](RECT& source) { source.right = source.left + width; });
  }
  HRESULT get_SourceWidth(LONG* width) override {
    return ReadSource(width, [](const RECT& r) { return r.right - r.left; });
  }
  HRESULT put_SourceHeight(LONG height) override {
    return ChangeSource([&](RECT& source) { source.bottom = source.top + height; });
  }
  HRESULT get_SourceHeight(LONG* height) override {
    return ReadSource(height, [](const RECT& r) { return r.bottom - r.top; });
  }
  HRESULT SetDefaultSourcePosition() override {
    {
      std::lock_guard<std::mutex> guard(settings_.lock);
      settings_.source = RECT{};
    }
    Repaint();
    return S_OK;
  }

  // ---- IVMRFilterConfig9 ----
  // The streams are fixed once an input is connected or the mix of several is made.
  HRESULT SetNumberOfStreams(DWORD count) override {
    if (count < 1 || count > MAX_MIXER_STREAMS) return E_INVALIDARG;
    if (InputConnected() || !gst::SetRendererStreams(bin_, count)) return VFW_E_WRONG_STATE;
    return S_OK;
  }
  HRESULT GetNumberOfStreams(DWORD* count) override { return Read(count, &RendererSettings::streams); }
  HRESULT SetRenderingPrefs(DWORD prefs) override {
    {
      std::lock_guard<std::mutex> guard(settings_.lock);
      settings_.prefs = prefs & RenderPrefs9_Mask;
      settings_.paint_borders = (settings_.prefs & RenderPrefs9_DoNotRenderBorder) == 0;
    }
    Repaint();
    return S_OK;
  }
  HRESULT GetRenderingPrefs(DWORD* prefs) override { return Read(prefs, &RendererSettings::prefs); }
  HRESULT SetRenderingMode(DWORD mode) override {
    if (mode != VMR9Mode_Windowed && mode != VMR9Mode_Windowless && mode != VMR9Mode_Renderless) return E_INVALIDARG;
    if (InputConnected()) return VFW_E_WRONG_STATE;
    std::lock_guard<std::mutex> guard(settings_.lock);
    settings_.mode = mode;
    return S_OK;
  }
  HRESULT GetRenderingMode(DWORD* mode) override { return Read(mode, &RendererSettings::mode); }

  // ---- IVMRAspectRatioControl9 ----
  HRESULT GetAspectRatioMode(DWORD* mode) override {
    if (mode == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> guard(settings_.lock);
    *mode = settings_.keep_aspect ? VMR9ARMode_LetterBox : VMR9ARMode_None;
    return S_OK;
  }
  HRESULT SetAspectRatioMode(DWORD mode) override {
    if (mode != VMR9ARMode_None && mode != VMR9ARMode_LetterBox) return E_INVALIDARG;
    {
      std::lock_guard<std::mutex> guard(settings_.lock);
      settings_.keep_aspect = mode == VMR9ARMode_LetterBox;
    }
    Repaint();
    return S_OK;
  }

  // ---- IVMRWindowlessControl9 ----
  HRESULT GetNativeVideoSize(LONG* width, LONG* height, LONG* aspect_width, LONG* aspect_height) override {
    if (width == nullptr || height == nullptr) return E_POINTER;
    const HRESULT result = NativeSize(width, height);
    if (SUCCEEDED(result) && aspect_width != nullptr && aspect_height != nullptr) {
      *aspect_width = *width;
      *aspect_height = *height;
    }
    return result;
  }
  HRESULT SetVideoPosition(const RECT* source, const RECT* destination) override {
    if (!Windowless()) return VFW_E_WRONG_STATE;
    {
      std::lock_guard<std::mutex> guard(settings_.lock);
      if (source != nullptr) settings_.source = *source;
      if (destination != nullptr) settings_.destination = *destination;
    }
    Repaint();
    return S_OK;
  }
  HRESULT GetVideoPosition(RECT* source, RECT* destination) override {
    if (!Windowless()) return VFW_E_WRONG_STATE;
    std::lock_guard<std::mutex> guard(settings_.lock);
    if (source != nullptr) *source = settings_.source;
    if (destination != nullptr) *destination = settings_.destination;
    return S_OK;
  }
  HRESULT SetVideoClippingWindow(HWND window) override {
    if (!Windowless()) return VFW_E_WRONG_STATE;
    if (!IsWindow(window)) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(settings_.lock);
    settings_.clipping_window = window;
    return S_OK;
  }
  HRESULT RepaintVideo(HWND, HDC) override {
    if (!Windowless()) return VFW_E_WRONG_STATE;
    Repaint();
    return S_OK;
  }

  // ---- IVMRSurfaceAllocatorNotify9 ----
  HRESULT AdviseSurfaceAllocator(DWORD_PTR user_id, IVMRSurfaceAllocator9* allocator) override {
    std::lock_guard<std::mutex> guard(settings_.lock);
    if (settings_.mode != VMR9Mode_Renderless) return VFW_E_WRONG_STATE;
    settings_.allocator = ComPtr<IVMRSurfaceAllocator9>(allocator);
    settings_.allocator_user_id = user_id;
    return S_OK;
  }

 private:
  template <class Action>
  HRESULT OnWindow(Action action) {
    HWND window = GetRendererWindow(filter_.Get());
    if (window == nullptr) return VFW_E_NOT_CONNECTED;
    action(window);
    return S_OK;
  }
  void Repaint() {
    if (HWND window = GetRendererWindow(filter_.Get())) InvalidateRect(window, nullptr, FALSE);
    HWND clipping = nullptr;
    {
      std::lock_guard<std::mutex> guard(settings_.lock);
      if (settings_.mode == VMR9Mode_Windowless) clipping = settings_.clipping_window;
    }
    if (clipping != nullptr && IsWindow(clipping)) InvalidateRect(clipping, nullptr, FALSE);
  }
  bool Windowless() const {
    std::lock_guard<std::mutex> guard(settings_.lock);
    return settings_.mode == VMR9Mode_Windowless;
  }
  bool InputConnected() const { return gst::RendererInputLinked(bin_); }
  HRESULT NativeSize(LONG* width, LONG* height) const {
    int frame_width = 0;
    int frame_height = 0;
    const gst::VideoFrameStore* store = gst::RendererFrameStore(bin_);
    if (store == nullptr || !store->FrameSize(&frame_width, &frame_height)) return VFW_E_NOT_CONNECTED;
    if (width != nullptr) *width = frame_width;
    if (height != nullptr) *height = frame_height;
    return S_OK;
  }
  // The source rectangle as it stands: the whole frame while none is set.
  RECT SourceLocked() const {
    if (settings_.source.right > settings_.source.left) return settings_.source;
    LONG width = 0;
    LONG height = 0;
    NativeSize(&width, &height);
    return RECT{0, 0, width, height};
  }
  template <class Change>
  HRESULT ChangeSource(Change change) {
    {
      std::lock_guard<std::mutex> guard(settings_.lock);
      RECT source = SourceLocked();
      change(source);
      if (source.left < 0 || source.top < 0 || source.right <= source.left || source.bottom <= source.top) {
        return E_INVALIDARG;
      }
      settings_.source = source;
    }
    Repaint();
    return S_OK;
  }
  template <class Field>
  HRESULT ReadSource(LONG* value, Field field) const {
    if (value == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> guard(settings_.lock);
    *value = field(SourceLocked());
    return S_OK;
  }
  HRESULT Read(DWORD* value, DWORD RendererSettings::*field) const {
    if (value == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> guard(settings_.lock);
    *value = settings_.*field;
    return S_OK;
  }

  ComPtr<IBaseFilter> filter_;
  GstElement* bin_;
  RendererSettings& settings_;  // lives with the bin, which this object holds
};

}  // namespace

HRESULT QueryRendererInterface(IBaseFilter* filter, GstElement* bin, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (filter == nullptr || gst::RendererSettingsOf(bin) == nullptr) return E_NOINTERFACE;
  auto* control = new RendererControl(filter, bin);
  const HRESULT result = control->Answer(riid, ppv);
  control->Release();
  return result;
}

}  // namespace win
