// The video renderers' own interfaces on GStreamer: the classic renderer's window (owner, style,
// position, caption, message drain, cursor), its source rectangle as the pixels show it, and the
// mixing renderer 9 (its device event, stretching and letter-boxing, unpainted borders,
// windowless drawing into the clipping window and renderless frames handed to an allocator).
#include "platform/dshow/renderer_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>

#include "media_fixtures.h"
#include "platform/core/strings.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/media_objects.h"
#include "platform/dshow/video_interfaces.h"
#include "platform/user/messages.h"
#include "platform/user/paint.h"
#include "platform/user/surfaces.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"
#include "platform_test_support.h"

namespace win {
namespace {

using namespace std::chrono_literals;
using dashtune::testing::PumpUntil;

// The bars of the clip's test pattern, left to right, as 0x00RRGGBB.
constexpr std::uint32_t kBars[] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00, 0xFF00FF, 0xFF0000, 0x0000FF};

bool Near(std::uint32_t pixel, std::uint32_t expected) {
  for (int shift = 0; shift < 24; shift += 8) {
    if (std::abs(static_cast<int>((pixel >> shift) & 0xFF) - static_cast<int>((expected >> shift) & 0xFF)) > 24) {
      return false;
    }
  }
  return true;
}

// Whether row 40 of the window shows the seven bars in a picture `width` wide from `left`.
bool ShowsBars(HWND window, int left, int width) {
  WindowPixels pixels;
  if (!ReadWindowPixels(window, &pixels)) return false;
  for (int bar = 0; bar < 7; ++bar) {
    const int x = left + bar * width / 7 + width / 14;
    if (x >= pixels.width || !Near(pixels.At(x, 40), kBars[bar])) return false;
  }
  return true;
}

std::uint32_t PixelAt(HWND window, int x, int y) {
  WindowPixels pixels;
  if (!ReadWindowPixels(window, &pixels) || x >= pixels.width || y >= pixels.height) return 0xDEADBEEF;
  return pixels.At(x, y);
}

// A plain visible window: the owner, drain and clipping window of the tests.
LRESULT PlainProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_LBUTTONDOWN) SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakePlainWindow(int width, int height) {
  static const bool registered = [] {
    WNDCLASSA info;
    info.lpfnWndProc = PlainProcedure;
    info.lpszClassName = "RendererTestWindow";
    return RegisterClassA(&info) != 0;
  }();
  (void)registered;
  return CreateWindowExA(0, "RendererTestWindow", "plain", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                         nullptr, nullptr, nullptr);
}

// Counts the frames a renderless renderer hands over and keeps the first pixel of the last.
class CountingAllocator final : public IVMRSurfaceAllocator9 {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (riid != IID_IUnknown && riid != IID_IVMRSurfaceAllocator9) return E_NOINTERFACE;
    *ppv = static_cast<IVMRSurfaceAllocator9*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override {
    const ULONG left = --references;
    if (left == 0) delete this;
    return left;
  }
  HRESULT AdviseNotify(IVMRSurfaceAllocatorNotify9*) override { return S_OK; }
  HRESULT PresentImage(DWORD_PTR user_id, const VMR9PresentationFrame* frame) override {
    if (user_id == 42 && frame->width == 320 && frame->height == 240) first_pixel = frame->pixels[0] & 0xFFFFFF;
    ++frames;
    return S_OK;
  }
  std::atomic<ULONG> references{1};
  std::atomic<int> frames{0};
  std::atomic<std::uint32_t> first_pixel{0};
};

class RendererControlIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win::testing::PrepareGStreamer();
    RegisterMediaGraphClasses();
    clip_ = win::testing::MediaFixtureDirectory() + "/clip.ogg";
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                               reinterpret_cast<void**>(graph_.ReleaseAndGetAddressOf())),
              S_OK);
  }
  void TearDown() override {
    if (renderer_) graph_->RemoveFilter(renderer_.Get());
    renderer_.Reset();
    graph_.Reset();
    for (HWND window : windows_) DestroyWindow(window);
  }
  // Makes a renderer of the class, lets `configure` set it up, adds it and renders the clip.
  template <class Configure>
  void Render(const CLSID& class_id, Configure configure) {
    ASSERT_EQ(CoCreateInstance(class_id, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(renderer_.ReleaseAndGetAddressOf())),
              S_OK);
    configure();
    ASSERT_EQ(graph_->AddFilter(renderer_.Get(), u"Test Renderer"), S_OK);
    ASSERT_EQ(graph_->RenderFile(Utf8ToUtf16(clip_).c_str(), nullptr), S_OK);
  }
  void Render(const CLSID& class_id) {
    Render(class_id, [] {});
  }
  template <class Interface>
  ComPtr<Interface> As(IUnknown* object) {
    ComPtr<Interface> result;
    object->QueryInterface(Interface::iid, reinterpret_cast<void**>(result.ReleaseAndGetAddressOf()));
    return result;
  }
  HWND Window() { return GetRendererWindow(renderer_.Get()); }
  HWND Plain(int width, int height) {
    windows_.push_back(MakePlainWindow(width, height));
    return windows_.back();
  }

  std::string clip_;
  ComPtr<IFilterGraph2> graph_;
  ComPtr<IBaseFilter> renderer_;
  std::vector<HWND> windows_;
};

TEST_F(RendererControlIntegrationTest, TheClassicRenderersWindowTakesOwnerStylePositionAndCaption) {
  ASSERT_EQ(CoCreateInstance(CLSID_VideoRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             reinterpret_cast<void**>(renderer_.ReleaseAndGetAddressOf())),
            S_OK);
  ComPtr<IVideoWindow> video = As<IVideoWindow>(renderer_.Get());
  ASSERT_TRUE(video);
  EXPECT_FALSE(As<IVMRFilterConfig9>(renderer_.Get())) << "the classic renderer does not mix";
  EXPECT_EQ(video->put_Caption(u"early"), VFW_E_NOT_CONNECTED) << "no window outside a graph";
  ASSERT_EQ(graph_->AddFilter(renderer_.Get(), u"Test Renderer"), S_OK);
  ASSERT_EQ(graph_->RenderFile(Utf8ToUtf16(clip_).c_str(), nullptr), S_OK);
  // Auto-show: the first frame shows the window.
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(Window()) != FALSE; }, 5s));

  const HWND owner = Plain(400, 300);
  EXPECT_EQ(video->put_Owner(reinterpret_cast<OAHWND>(owner)), S_OK);
  EXPECT_EQ(video->put_WindowStyle(static_cast<LONG>(WS_CHILD | WS_CLIPSIBLINGS)), S_OK);
  EXPECT_EQ(video->SetWindowPosition(20, 30, 160, 120), S_OK);
  EXPECT_EQ(video->put_Caption(u"Gallery"), S_OK);
  EXPECT_EQ(GetParent(Window()), owner);
  EXPECT_EQ(FindWindowExA(owner, nullptr, "VideoRenderer", "Gallery"), Window());
  LONG left = 0, top = 0, width = 0, height = 0;
  EXPECT_EQ(video->GetWindowPosition(&left, &top, &width, &height), S_OK);
  EXPECT_EQ(std::vector<LONG>({left, top, width, height}), std::vector<LONG>({20, 30, 160, 120}));
  LONG style = 0;
  video->get_WindowStyle(&style);
  EXPECT_EQ(static_cast<DWORD>(style), WS_CHILD | WS_CLIPSIBLINGS | WS_VISIBLE) << "visibility stays as it was";
  // The picture shows inside the owner, where the renderer's window is.
  EXPECT_TRUE(PumpUntil([&] { return Near(PixelAt(owner, 20 + 11, 30 + 40), kBars[0]); }, 5s));

  EXPECT_EQ(video->put_Visible(OAFALSE), S_OK);
  EXPECT_FALSE(IsWindowVisible(Window()));
  EXPECT_EQ(video->put_Visible(OATRUE), S_OK);
  EXPECT_TRUE(IsWindowVisible(Window()));
  EXPECT_EQ(video->put_Owner(0), S_OK);
  EXPECT_EQ(GetParent(Window()), nullptr);
}

TEST_F(RendererControlIntegrationTest, MouseMessagesGoToTheDrainAndTheCursorHides) {
  Render(CLSID_VideoRenderer);
  ComPtr<IVideoWindow> video = As<IVideoWindow>(renderer_.Get());
  const HWND drain = Plain(50, 50);
  EXPECT_EQ(video->put_MessageDrain(reinterpret_cast<OAHWND>(drain)), S_OK);
  PostMessageA(Window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(7, 9));
  EXPECT_TRUE(PumpUntil([&] { return GetWindowLongPtrA(drain, GWLP_USERDATA) == MAKELPARAM(7, 9); }, 5s));
  LONG hidden = OATRUE;
  EXPECT_EQ(video->IsCursorHidden(&hidden), S_OK);
  EXPECT_EQ(hidden, OAFALSE);
  EXPECT_EQ(video->HideCursor(OATRUE), S_OK);
  video->IsCursorHidden(&hidden);
  EXPECT_EQ(hidden, OATRUE);
}

TEST_F(RendererControlIntegrationTest, TheSourceRectangleChoosesThePartOfTheFrameShown) {
  Render(CLSID_VideoRenderer);
  ComPtr<IBasicVideo2> basic = As<IBasicVideo2>(renderer_.Get());
  ASSERT_TRUE(basic);
  ASSERT_TRUE(PumpUntil([&] { return ShowsBars(Window(), 0, 320); }, 5s));
  LONG width = 0, height = 0;
  EXPECT_EQ(basic->get_VideoWidth(&width), S_OK);
  EXPECT_EQ(basic->get_VideoHeight(&height), S_OK);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);
  // The right half of the frame (three and a half bars), kept at its aspect: 160 wide, centred.
  EXPECT_EQ(basic->put_SourceWidth(160), S_OK);
  EXPECT_EQ(basic->put_SourceLeft(160), S_OK);
  LONG left = 0;
  basic->get_SourceLeft(&left);
  EXPECT_EQ(left, 160);
  EXPECT_TRUE(PumpUntil([&] { return Near(PixelAt(Window(), 80 + 150, 40), kBars[6]); }, 5s));
  EXPECT_EQ(PixelAt(Window(), 40, 40), 0u) << "black beside the narrower picture";
  EXPECT_EQ(basic->put_SourceWidth(0), E_INVALIDARG);
  EXPECT_EQ(basic->SetDefaultSourcePosition(), S_OK);
  basic->get_SourceWidth(&width);
  EXPECT_EQ(width, 320);
  EXPECT_TRUE(PumpUntil([&] { return ShowsBars(Window(), 0, 320); }, 5s));
}

TEST_F(RendererControlIntegrationTest, TheMixingRendererReportsItsDeviceAndStretchesOrLetterBoxes) {
  Render(CLSID_VideoMixingRenderer9, [&] {
    CLSID class_id{};
    renderer_->GetClassID(&class_id);
    EXPECT_EQ(class_id, CLSID_VideoMixingRenderer9);
    ComPtr<IVMRFilterConfig9> config = As<IVMRFilterConfig9>(renderer_.Get());
    ASSERT_TRUE(config);
    EXPECT_EQ(config->SetRenderingMode(VMR9Mode_Windowed), S_OK);
    EXPECT_EQ(config->SetRenderingMode(3), E_INVALIDARG);
    EXPECT_EQ(config->SetRenderingPrefs(0xFF), S_OK);
    DWORD prefs = 0;
    config->GetRenderingPrefs(&prefs);
    EXPECT_EQ(prefs, 0x3Fu) << "bits 0 to 5 are kept";
    EXPECT_EQ(config->SetRenderingPrefs(0), S_OK);
  });
  ComPtr<IMediaEventEx> events;
  graph_->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(events.ReleaseAndGetAddressOf()));
  bool device_set = false;
  LONG code = 0;
  LONG_PTR p1 = 0, p2 = 0;
  while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) device_set = device_set || (code == 0x53 && p1 == 4);
  EXPECT_TRUE(device_set);
  ComPtr<IVMRFilterConfig9> config = As<IVMRFilterConfig9>(renderer_.Get());
  EXPECT_EQ(config->SetRenderingMode(VMR9Mode_Windowless), VFW_E_WRONG_STATE) << "fixed once connected";

  MoveWindow(Window(), 0, 0, 640, 240, TRUE);
  EXPECT_TRUE(PumpUntil([&] { return ShowsBars(Window(), 0, 640); }, 5s)) << "stretched by default";
  ComPtr<IVMRAspectRatioControl9> aspect = As<IVMRAspectRatioControl9>(renderer_.Get());
  // Borders left unpainted: the stretched picture stays beside the letter-boxed one.
  EXPECT_EQ(config->SetRenderingPrefs(RenderPrefs9_DoNotRenderBorder), S_OK);
  EXPECT_EQ(aspect->SetAspectRatioMode(VMR9ARMode_LetterBox), S_OK);
  EXPECT_TRUE(PumpUntil([&] { return ShowsBars(Window(), 160, 320); }, 5s));
  EXPECT_TRUE(Near(PixelAt(Window(), 20, 40), kBars[0]));
  EXPECT_EQ(config->SetRenderingPrefs(0), S_OK);
  EXPECT_TRUE(PumpUntil([&] { return PixelAt(Window(), 20, 40) == 0; }, 5s)) << "painted borders are black";
}

TEST_F(RendererControlIntegrationTest, AWindowlessMixingRendererDrawsIntoTheClippingWindow) {
  const HWND clipping = Plain(300, 200);
  Render(CLSID_VideoMixingRenderer9, [&] {
    ComPtr<IVMRFilterConfig9> config = As<IVMRFilterConfig9>(renderer_.Get());
    ASSERT_EQ(config->SetRenderingMode(VMR9Mode_Windowless), S_OK);
    ComPtr<IVMRWindowlessControl9> windowless = As<IVMRWindowlessControl9>(renderer_.Get());
    ASSERT_TRUE(windowless);
    EXPECT_EQ(windowless->SetVideoClippingWindow(clipping), S_OK);
    const RECT destination{10, 20, 10 + 280, 20 + 160};
    EXPECT_EQ(windowless->SetVideoPosition(nullptr, &destination), S_OK);
  });
  ComPtr<IMediaControl> control;
  graph_->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(control.ReleaseAndGetAddressOf()));
  ASSERT_TRUE(SUCCEEDED(control->Run()));
  // Stretched over 280 pixels from x = 10, rows from y = 20.
  EXPECT_TRUE(PumpUntil([&] {
    WindowPixels pixels;
    if (!ReadWindowPixels(clipping, &pixels)) return false;
    for (int bar = 0; bar < 7; ++bar) {
      if (!Near(pixels.At(10 + bar * 40 + 20, 60), kBars[bar])) return false;
    }
    return true;
  }, 10s));
  EXPECT_FALSE(IsWindowVisible(Window())) << "the renderer's own window stays hidden";
  control->Stop();
}

TEST_F(RendererControlIntegrationTest, ARenderlessMixingRendererHandsItsFramesToTheAllocator) {
  // Counted: the renderer keeps it as long as it needs it.
  ComPtr<CountingAllocator> allocator;
  allocator.Attach(new CountingAllocator);
  Render(CLSID_VideoMixingRenderer9, [&] {
    ComPtr<IVMRFilterConfig9> config = As<IVMRFilterConfig9>(renderer_.Get());
    ComPtr<IVMRSurfaceAllocatorNotify9> notify = As<IVMRSurfaceAllocatorNotify9>(renderer_.Get());
    ASSERT_TRUE(notify);
    EXPECT_EQ(notify->AdviseSurfaceAllocator(42, allocator.Get()), VFW_E_WRONG_STATE) << "only renderless";
    ASSERT_EQ(config->SetRenderingMode(VMR9Mode_Renderless), S_OK);
    EXPECT_EQ(notify->AdviseSurfaceAllocator(42, allocator.Get()), S_OK);
  });
  EXPECT_TRUE(PumpUntil([&] { return allocator->frames.load() > 0; }, 10s));
  EXPECT_TRUE(Near(allocator->first_pixel.load(), kBars[0]));
  gst::VideoFrame frame;
  EXPECT_FALSE(GetRendererFrame(renderer_.Get(), frame)) << "frames go to the allocator only";
  EXPECT_FALSE(IsWindowVisible(Window()));
}

}  // namespace
}  // namespace win
