// The overlay mixer on GStreamer: the colour controls' mapping onto the balance and gamma
// elements, connecting it into a prerolled graph (data held while unlinked, the graph prerolling
// anew), its native video properties and their callback, colour off giving grey frames, the
// renderer's key and overlay plane, and playing to the end through it.
#include "platform/dshow/overlay_mixer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "media_fixtures.h"
#include "platform/core/process.h"
#include "platform/core/strings.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/media_objects.h"
#include "platform/dshow/overlay_interfaces.h"
#include "platform/dshow/video_interfaces.h"
#include "platform/user/overlay_planes.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"
#include "platform_test_support.h"

namespace win {
namespace {

using namespace std::chrono_literals;
using dashtune::testing::PumpUntil;

TEST(OverlayMixerMapping, ColourControlsMapOntoTheElementsValues) {
  struct Case {
    DDCOLORCONTROL controls;
    gst::BalanceValues expected;
  };
  const Case cases[] = {
      {{40, 0x7F, 750, 10000, 0, 10000, 5, 1, 1, 0}, {0.0, 1.0, 0.0, 1.0, 1.0}},
      {{40, 0x7F, 0, 0, -180, 20000, 0, 500, 1, 0}, {-0.075, 0.0, -1.0, 2.0, 5.99}},
      {{40, 0x7F, 10000, 20000, 180, 5000, 10, 101, 0, 0}, {0.925, 2.0, 1.0, 0.0, 2.0}},
  };
  for (const Case& c : cases) {
    const gst::BalanceValues values = gst::MapColorControls(c.controls);
    EXPECT_DOUBLE_EQ(values.brightness, c.expected.brightness);
    EXPECT_DOUBLE_EQ(values.contrast, c.expected.contrast);
    EXPECT_DOUBLE_EQ(values.hue, c.expected.hue);
    EXPECT_DOUBLE_EQ(values.saturation, c.expected.saturation);
    EXPECT_DOUBLE_EQ(values.gamma, c.expected.gamma);
  }
}

// Counts the size notices and remembers the last.
class SizeCallback final : public IDDrawExclModeVideoCallback {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (riid != IID_IUnknown && riid != IID_IDDrawExclModeVideoCallback) return E_NOINTERFACE;
    *ppv = static_cast<IDDrawExclModeVideoCallback*>(this);
    return S_OK;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT OnUpdateOverlay(BOOL, DWORD, BOOL, const RECT*, const RECT*, BOOL, const RECT*, const RECT*) override {
    return S_OK;
  }
  HRESULT OnUpdateColorKey(const COLORKEY*, DWORD) override { return S_OK; }
  HRESULT OnUpdateSize(DWORD width, DWORD height, DWORD aspect_width, DWORD aspect_height) override {
    sizes.push_back({width, height, aspect_width, aspect_height});
    thread = GetCurrentThreadId();
    return S_OK;
  }
  std::vector<std::vector<DWORD>> sizes;
  DWORD thread = 0;
};

class OverlayMixerIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win::testing::PrepareGStreamer();
    RegisterMediaGraphClasses();
    clip_ = win::testing::MediaFixtureDirectory() + "/clip.ogg";
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                               reinterpret_cast<void**>(graph_.ReleaseAndGetAddressOf())),
              S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_VideoRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(renderer_.ReleaseAndGetAddressOf())),
              S_OK);
    ASSERT_EQ(graph_->AddFilter(renderer_.Get(), u"Renderer"), S_OK);
    ASSERT_EQ(graph_->RenderFile(Utf8ToUtf16(clip_).c_str(), nullptr), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_OverlayMixer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(mixer_.ReleaseAndGetAddressOf())),
              S_OK);
  }
  void TearDown() override {
    if (graph_) {
      ComPtr<IMediaControl> control = As<IMediaControl>(graph_.Get());
      if (control) control->Stop();
    }
    mixer_.Reset();
    renderer_.Reset();
    graph_.Reset();
  }
  template <class Interface>
  ComPtr<Interface> As(IUnknown* object) {
    ComPtr<Interface> result;
    object->QueryInterface(Interface::iid, reinterpret_cast<void**>(result.ReleaseAndGetAddressOf()));
    return result;
  }
  ComPtr<IPin> Pin(IBaseFilter* filter, const char16_t* id) {
    ComPtr<IPin> pin;
    filter->FindPin(id, pin.ReleaseAndGetAddressOf());
    return pin;
  }
  // Puts the mixer between the decoder and the renderer, as the overlay window does.
  void InsertMixer() {
    ASSERT_EQ(graph_->AddFilter(mixer_.Get(), u"Overlay Mixer"), S_OK);
    ComPtr<IPin> input = Pin(renderer_.Get(), u"Input");
    ComPtr<IPin> source;
    ASSERT_EQ(input->ConnectedTo(source.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(source->Disconnect(), S_OK);
    EXPECT_EQ(input->Disconnect(), S_FALSE) << "both ends let go at once";
    ASSERT_EQ(graph_->Connect(source.Get(), Pin(mixer_.Get(), u"Input0").Get()), S_OK);
    ASSERT_EQ(graph_->Connect(Pin(mixer_.Get(), u"Output").Get(), input.Get()), S_OK);
  }
  bool RendererFrame(gst::VideoFrame& frame) { return GetRendererFrame(renderer_.Get(), frame); }

  std::string clip_;
  ComPtr<IFilterGraph2> graph_;
  ComPtr<IBaseFilter> renderer_;
  ComPtr<IBaseFilter> mixer_;
};

TEST_F(OverlayMixerIntegrationTest, IsAFilterWithItsPinsAndInterfaces) {
  CLSID class_id{};
  mixer_->GetClassID(&class_id);
  EXPECT_EQ(class_id, CLSID_OverlayMixer);
  EXPECT_TRUE(Pin(mixer_.Get(), u"Input0"));
  EXPECT_TRUE(Pin(mixer_.Get(), u"Output"));
  EXPECT_TRUE(As<IDDrawExclModeVideo>(mixer_.Get()));
  EXPECT_TRUE(As<IMixerPinConfig2>(Pin(mixer_.Get(), u"Input0").Get()));
  EXPECT_FALSE(As<IMixerPinConfig2>(Pin(mixer_.Get(), u"Output").Get()));
  ComPtr<IMixerPinConfig2> config = As<IMixerPinConfig2>(Pin(mixer_.Get(), u"Input0").Get());
  COLORKEY key;
  DWORD color = 0;
  EXPECT_EQ(config->GetColorKey(&key, &color), S_OK);
  EXPECT_EQ(color, 0x00100010u) << "RGB(16, 0, 16)";
  DWORD width = 0, height = 0, aspect_width = 0, aspect_height = 0;
  EXPECT_EQ(As<IDDrawExclModeVideo>(mixer_.Get())->GetNativeVideoProps(&width, &height, &aspect_width, &aspect_height),
            VFW_E_NOT_CONNECTED);
}

TEST_F(OverlayMixerIntegrationTest, JoinsAPrerolledGraphAndReportsTheVideosProperties) {
  SizeCallback callback;
  ComPtr<IDDrawExclModeVideo> exclusive = As<IDDrawExclModeVideo>(mixer_.Get());
  ASSERT_EQ(exclusive->SetCallbackInterface(&callback, 0), S_OK);
  InsertMixer();
  DWORD width = 0, height = 0, aspect_width = 0, aspect_height = 0;
  ASSERT_TRUE(PumpUntil([&] {
    return exclusive->GetNativeVideoProps(&width, &height, &aspect_width, &aspect_height) == S_OK;
  }, 10s));
  EXPECT_EQ(std::vector<DWORD>({width, height, aspect_width, aspect_height}), std::vector<DWORD>({320, 240, 4, 3}));
  EXPECT_TRUE(PumpUntil([&] { return !callback.sizes.empty(); }, 5s));
  EXPECT_EQ(callback.sizes.front(), std::vector<DWORD>({320, 240, 4, 3}));
  EXPECT_EQ(callback.thread, GetCurrentThreadId()) << "called on the registering thread";
  EXPECT_EQ(exclusive->SetCallbackInterface(nullptr, 0), S_OK);
  // The graph prerolled anew through the mixer: the renderer has a frame of the clip.
  gst::VideoFrame frame;
  EXPECT_TRUE(PumpUntil([&] { return RendererFrame(frame); }, 10s));
}

TEST_F(OverlayMixerIntegrationTest, ColourControlsLandOnTheElementsAndColourOffGivesGrey) {
  InsertMixer();
  ComPtr<IMixerPinConfig2> config = As<IMixerPinConfig2>(Pin(mixer_.Get(), u"Input0").Get());
  DDCOLORCONTROL controls{40, 0x7F, 2750, 15000, 90, 5000, 9, 51, 1, 0};
  ASSERT_EQ(config->SetOverlaySurfaceColorControls(&controls), S_OK);
  gst::BalanceValues values{};
  ASSERT_TRUE(GetOverlayMixerBalance(mixer_.Get(), values));
  EXPECT_EQ(values.brightness, 0.2);
  EXPECT_EQ(values.contrast, 1.5);
  EXPECT_EQ(values.hue, 0.5);
  EXPECT_EQ(values.saturation, 0.5);
  EXPECT_EQ(values.gamma, 1.5);
  DDCOLORCONTROL read{};
  ASSERT_EQ(config->GetOverlaySurfaceColorControls(&read), S_OK);
  EXPECT_EQ(read.dwFlags, 0x6Fu) << "no sharpness";
  EXPECT_EQ(read.lSharpness, 9) << "its value kept";

  // Colour off: every pixel grey once the paused graph shows its frame again.
  DDCOLORCONTROL grey{40, 0x7F, 750, 10000, 0, 10000, 5, 1, 0, 0};
  ASSERT_EQ(config->SetOverlaySurfaceColorControls(&grey), S_OK);
  ComPtr<IMediaSeeking> seeking = As<IMediaSeeking>(graph_.Get());
  LONGLONG start = 0;
  ASSERT_EQ(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, 0), S_OK);
  auto is_grey = [](std::uint32_t pixel) {
    const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    return std::abs(r - g) <= 2 && std::abs(g - b) <= 2;
  };
  gst::VideoFrame frame;
  EXPECT_TRUE(PumpUntil([&] {
    if (!RendererFrame(frame)) return false;
    for (int x = 10; x < 320; x += 45) {
      if (!is_grey(frame.PixelAt(x, 40))) return false;
    }
    return true;
  }, 10s));
}

TEST_F(OverlayMixerIntegrationTest, TheRendererPaintsTheKeyAndShowsItsFramesOnAnOverlayPlane) {
  InsertMixer();
  const HWND window = GetRendererWindow(renderer_.Get());
  ASSERT_NE(window, nullptr);
  RECT rect{};
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(window) && GetWindowRect(window, &rect); }, 10s));
  // The window itself holds the key; the screen shows the first (white) bar there.
  EXPECT_TRUE(PumpUntil([&] {
    WindowPixels own;
    WindowPixels screen;
    if (!ReadWindowPixels(window, &own) || !ReadScreenPixels(rect, &screen)) return false;
    const std::uint32_t shown = screen.At(20, 40);
    return own.At(20, 40) == 0x100010u && ((shown >> 16) & 0xFF) > 200 && (shown & 0xFF) > 200;
  }, 10s));
}

TEST_F(OverlayMixerIntegrationTest, PlaysToTheEndThroughTheMixer) {
  InsertMixer();
  ComPtr<IMediaControl> control = As<IMediaControl>(graph_.Get());
  ASSERT_TRUE(SUCCEEDED(control->Run()));
  ComPtr<IMediaEventEx> events = As<IMediaEventEx>(graph_.Get());
  bool complete = false;
  const auto until = std::chrono::steady_clock::now() + 20s;
  while (!complete && std::chrono::steady_clock::now() < until) {
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    if (events->GetEvent(&code, &p1, &p2, 100) == S_OK) complete = code == EC_COMPLETE;
    EXPECT_NE(code, EC_ERRORABORT);
  }
  EXPECT_TRUE(complete);
}

}  // namespace
}  // namespace win
