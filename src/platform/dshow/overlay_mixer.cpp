#include "platform/dshow/overlay_mixer.h"

#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <numeric>
#include <utility>

#include "platform/dshow/com_plumbing.h"
#include "platform/dshow/gst_caps_event.h"
#include "platform/dshow/gst_ref.h"
#include "platform/dshow/media_objects.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"

namespace win {

namespace gst {

namespace {

const char kOverlayMark[] = "dashtune-overlay-mixer";
const char kNotifyClass[] = "OverlayMixerNotify";
// Posted to the notify window when the video's size or aspect changed.
constexpr UINT kSizeChangedMessage = WM_APP + 0x33;

// What the notify window reads when it calls the callback: shared by the mixer's state and the
// window, so that either may go first.
struct SizeNotice {
  std::mutex lock;
  ComPtr<IDDrawExclModeVideoCallback> callback;
  DWORD width = 0;
  DWORD height = 0;
  DWORD aspect_width = 0;
  DWORD aspect_height = 0;
};

LRESULT NotifyProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* notice = reinterpret_cast<std::shared_ptr<SizeNotice>*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == kSizeChangedMessage && notice != nullptr) {
    ComPtr<IDDrawExclModeVideoCallback> callback;
    DWORD width = 0, height = 0, aspect_width = 0, aspect_height = 0;
    {
      std::lock_guard<std::mutex> guard((*notice)->lock);
      callback = (*notice)->callback;
      width = (*notice)->width;
      height = (*notice)->height;
      aspect_width = (*notice)->aspect_width;
      aspect_height = (*notice)->aspect_height;
    }
    if (callback) callback->OnUpdateSize(width, height, aspect_width, aspect_height);
    return 0;
  }
  if (message == WM_NCDESTROY && notice != nullptr) {
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    delete notice;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// The notify window of the calling thread's registration.
HWND MakeNotifyWindow(const std::shared_ptr<SizeNotice>& notice) {
  static std::once_flag registered;
  std::call_once(registered, [] {
    WNDCLASSA window_class;
    window_class.lpfnWndProc = &NotifyProcedure;
    window_class.lpszClassName = kNotifyClass;
    RegisterClassA(&window_class);
  });
  HWND window = CreateWindowExA(0, kNotifyClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  if (window != nullptr) {
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new std::shared_ptr<SizeNotice>(notice)));
  }
  return window;
}

// A window of another thread closes on its own thread.
void CloseNotifyWindow(HWND window) {
  if (window != nullptr && IsWindow(window) && !DestroyWindow(window)) PostMessageA(window, WM_CLOSE, 0, 0);
}

struct MixerData {
  OverlayMixerState state;
  std::shared_ptr<SizeNotice> notice = std::make_shared<SizeNotice>();
  HWND notify_window = nullptr;
};

void DeleteMixerData(gpointer data) {
  auto* mixer = static_cast<MixerData*>(data);
  CloseNotifyWindow(mixer->notify_window);
  delete mixer;
}

MixerData* DataOf(GstElement* element) {
  if (element == nullptr) return nullptr;
  return static_cast<MixerData*>(g_object_get_data(G_OBJECT(element), kOverlayMark));
}

// The video's size and display aspect from the caps entering the mixer; a change is posted to
// the registered callback's thread.
GstPadProbeReturn OnInputCaps(GstPad*, GstPadProbeInfo* info, gpointer data) {
  GstVideoInfo video;
  if (!VideoInfoOfCapsEvent(info, &video)) return GST_PAD_PROBE_OK;
  const int width = GST_VIDEO_INFO_WIDTH(&video);
  const int height = GST_VIDEO_INFO_HEIGHT(&video);
  const long long display_width = static_cast<long long>(width) * std::max(GST_VIDEO_INFO_PAR_N(&video), 1);
  const long long display_height = static_cast<long long>(height) * std::max(GST_VIDEO_INFO_PAR_D(&video), 1);
  const long long divisor = std::max(std::gcd(display_width, display_height), 1LL);
  auto* mixer = static_cast<MixerData*>(data);
  HWND notify = nullptr;
  {
    std::lock_guard<std::mutex> guard(mixer->state.lock);
    const int aspect_width = static_cast<int>(display_width / divisor);
    const int aspect_height = static_cast<int>(display_height / divisor);
    OverlayMixerState& state = mixer->state;
    if (state.width == width && state.height == height && state.aspect_width == aspect_width &&
        state.aspect_height == aspect_height) {
      return GST_PAD_PROBE_OK;
    }
    state.width = width;
    state.height = height;
    state.aspect_width = aspect_width;
    state.aspect_height = aspect_height;
    notify = mixer->notify_window;
    std::lock_guard<std::mutex> notice_guard(mixer->notice->lock);
    mixer->notice->width = static_cast<DWORD>(width);
    mixer->notice->height = static_cast<DWORD>(height);
    mixer->notice->aspect_width = static_cast<DWORD>(aspect_width);
    mixer->notice->aspect_height = static_cast<DWORD>(aspect_height);
  }
  if (notify != nullptr) PostMessageA(notify, kSizeChangedMessage, 0, 0);
  return GST_PAD_PROBE_OK;
}

void ApplyColors(const OverlayMixerState& state) {
  const BalanceValues values = MapColorControls(state.colors);
  g_object_set(state.balance, "brightness", values.brightness, "contrast", values.contrast, "hue", values.hue,
               "saturation", values.saturation, nullptr);
  g_object_set(state.gamma, "gamma", values.gamma, nullptr);
}

}  // namespace

BalanceValues MapColorControls(const DDCOLORCONTROL& controls) {
  return BalanceValues{(controls.lBrightness - 750) / 10000.0, controls.lContrast / 10000.0, controls.lHue / 180.0,
                       controls.lColorEnable != 0 ? controls.lSaturation / 10000.0 : 0.0,
                       1.0 + (controls.lGamma - 1) / 100.0};
}

GstElement* MakeOverlayMixerBin(const char* name) {
  GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
  GstElement* balance = gst_element_factory_make("videobalance", nullptr);
  GstElement* gamma = gst_element_factory_make("gamma", nullptr);
  if (convert == nullptr || balance == nullptr || gamma == nullptr) {
    for (GstElement* element : {convert, balance, gamma}) {
      if (element != nullptr) gst_object_unref(gst_object_ref_sink(element));
    }
    return nullptr;
  }
  GstElement* bin = gst_bin_new(name);
  gst_bin_add_many(GST_BIN(bin), convert, balance, gamma, nullptr);
  gst_element_link_many(convert, balance, gamma, nullptr);
  auto* data = new MixerData;
  data->state.balance = balance;
  data->state.gamma = gamma;
  ApplyColors(data->state);
  g_object_set_data_full(G_OBJECT(bin), kOverlayMark, data, &DeleteMixerData);
  PadRef input(gst_element_get_static_pad(convert, "sink"));
  PadRef output(gst_element_get_static_pad(gamma, "src"));
  gst_pad_add_probe(input.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &OnInputCaps, data, nullptr);
  gst_element_add_pad(bin, gst_ghost_pad_new("Input0", input.get()));
  gst_element_add_pad(bin, gst_ghost_pad_new("Output", output.get()));
  return bin;
}

OverlayMixerState* OverlayMixerStateOf(GstElement* element) {
  MixerData* data = DataOf(element);
  return data != nullptr ? &data->state : nullptr;
}

}  // namespace gst

namespace {

// IDDrawExclModeVideo of an overlay mixer filter.
class ExclusiveModeVideo final : public IDDrawExclModeVideo, public MediaObjectCount {
 public:
  ExclusiveModeVideo(IBaseFilter* filter, GstElement* bin)
      : filter_(filter), bin_(GST_ELEMENT(gst_object_ref(bin))), data_(*gst::DataOf(bin)) {}
  ~ExclusiveModeVideo() override { gst_object_unref(bin_); }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IDDrawExclModeVideo) {
      *ppv = static_cast<IDDrawExclModeVideo*>(this);
      AddRef();
      return S_OK;
    }
    return filter_->QueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return CountUp(); }
  ULONG Release() override { return CountDown(); }

  HRESULT GetNativeVideoProps(DWORD* width, DWORD* height, DWORD* aspect_width, DWORD* aspect_height) override {
    if (width == nullptr || height == nullptr || aspect_width == nullptr || aspect_height == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> guard(data_.state.lock);
    if (data_.state.width == 0) return VFW_E_NOT_CONNECTED;
    *width = static_cast<DWORD>(data_.state.width);
    *height = static_cast<DWORD>(data_.state.height);
    *aspect_width = static_cast<DWORD>(data_.state.aspect_width);
    *aspect_height = static_cast<DWORD>(data_.state.aspect_height);
    return S_OK;
  }

  // The callback is called on the thread that registers it; null removes it.
  HRESULT SetCallbackInterface(IDDrawExclModeVideoCallback* callback, DWORD) override {
    HWND old_window = nullptr;
    HWND new_window = callback != nullptr ? gst::MakeNotifyWindow(data_.notice) : nullptr;
    if (callback != nullptr && new_window == nullptr) return E_OUTOFMEMORY;
    {
      std::lock_guard<std::mutex> guard(data_.state.lock);
      old_window = std::exchange(data_.notify_window, new_window);
      std::lock_guard<std::mutex> notice_guard(data_.notice->lock);
      data_.notice->callback = ComPtr<IDDrawExclModeVideoCallback>(callback);
    }
    gst::CloseNotifyWindow(old_window);
    return S_OK;
  }

 private:
  ComPtr<IBaseFilter> filter_;
  GstElement* bin_;
  gst::MixerData& data_;  // lives with the bin, which this object holds
};

// IMixerPinConfig2 of the overlay mixer's input pin.
class MixerPinConfig final : public IMixerPinConfig2, public MediaObjectCount {
 public:
  MixerPinConfig(IPin* pin, GstElement* bin)
      : pin_(pin), bin_(GST_ELEMENT(gst_object_ref(bin))), state_(*gst::OverlayMixerStateOf(bin)) {}
  ~MixerPinConfig() override { gst_object_unref(bin_); }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IMixerPinConfig2) {
      *ppv = static_cast<IMixerPinConfig2*>(this);
      AddRef();
      return S_OK;
    }
    return pin_->QueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return CountUp(); }
  ULONG Release() override { return CountDown(); }

  HRESULT SetColorKey(COLORKEY* key) override {
    if (key == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> guard(state_.lock);
    state_.key = *key;
    return S_OK;
  }
  HRESULT GetColorKey(COLORKEY* key, DWORD* color) override {
    std::lock_guard<std::mutex> guard(state_.lock);
    if (key != nullptr) *key = state_.key;
    if (color != nullptr) *color = state_.key.HighColorValue;
    return S_OK;
  }
  HRESULT SetAspectRatioMode(AM_ASPECT_RATIO_MODE mode) override {
    if (mode < AM_ARMODE_STRETCHED || mode > AM_ARMODE_CROP) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(state_.lock);
    state_.aspect = mode;
    return S_OK;
  }
  HRESULT GetAspectRatioMode(AM_ASPECT_RATIO_MODE* mode) override {
    if (mode == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> guard(state_.lock);
    *mode = state_.aspect;
    return S_OK;
  }
  // All seven values are kept; sharpness reaches no element.
  HRESULT SetOverlaySurfaceColorControls(DDCOLORCONTROL* controls) override {
    if (controls == nullptr) return E_POINTER;
    if (controls->dwSize != sizeof(DDCOLORCONTROL)) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(state_.lock);
    const DWORD flags = state_.colors.dwFlags;
    state_.colors = *controls;
    state_.colors.dwFlags = flags;
    gst::ApplyColors(state_);
    return S_OK;
  }
  HRESULT GetOverlaySurfaceColorControls(DDCOLORCONTROL* controls) override {
    if (controls == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> guard(state_.lock);
    *controls = state_.colors;
    return S_OK;
  }

 private:
  ComPtr<IPin> pin_;
  GstElement* bin_;
  gst::OverlayMixerState& state_;  // lives with the bin, which this object holds
};

}  // namespace

HRESULT QueryOverlayMixerInterface(IBaseFilter* filter, GstElement* bin, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IDDrawExclModeVideo || filter == nullptr || gst::DataOf(bin) == nullptr) return E_NOINTERFACE;
  *ppv = static_cast<IDDrawExclModeVideo*>(new ExclusiveModeVideo(filter, bin));
  return S_OK;
}

HRESULT QueryMixerPinInterface(IPin* pin, GstPad* pad, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IMixerPinConfig2 || pin == nullptr || pad == nullptr) return E_NOINTERFACE;
  gst::ElementRef parent(gst_pad_get_parent_element(pad));
  if (!parent || gst::DataOf(parent.get()) == nullptr || g_strcmp0(GST_PAD_NAME(pad), "Input0") != 0) {
    return E_NOINTERFACE;
  }
  *ppv = static_cast<IMixerPinConfig2*>(new MixerPinConfig(pin, parent.get()));
  return S_OK;
}

}  // namespace win
