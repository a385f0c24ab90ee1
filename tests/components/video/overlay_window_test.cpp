// The overlay video window on the scripted graph: the overlay insertion and its undoing at each
// failing step, an overlay mixer already present, the DVD's mixing renderer with its line-21
// decoder, zoom and aspect, the colour key painted in the video area, the overlay callback, the
// idle handler and the cursor auto-hide, and the colour controls and capabilities.
#include "components/video/overlay_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "classlib/form.h"
#include "classlib/forms.h"
#include "components/video/ds_util.h"
#include "platform/com/com_init.h"
#include "platform/core/clock.h"
#include "platform/core/strings.h"
#include "platform/dshow/event_codes.h"
#include "platform/dshow/fake_graph.h"
#include "platform/dshow/video_interfaces.h"
#include "platform/user/cursors.h"
#include "platform/user/messages.h"
#include "platform/user/surfaces.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"
#include "platform_test_support.h"

namespace dashtune {
namespace {

using Log = std::vector<std::string>;
using win::ComPtr;
using win::fake::FakeGraphScript;

std::string NameOf(win::IBaseFilter* filter) {
  win::FILTER_INFO info;
  filter->QueryFilterInfo(&info);
  if (info.pGraph != nullptr) info.pGraph->Release();
  return win::Narrow(info.achName);
}

std::string PinName(win::IPin* pin) {
  win::PIN_INFO info;
  pin->QueryPinInfo(&info);
  const std::string filter = NameOf(info.pFilter);
  info.pFilter->Release();
  return filter + "." + win::Narrow(info.achName);
}

class OverlayWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = new TDSVideoWindowEx2(nullptr);
    window_->SetName("DVD");
    window_->SetBounds(0, 0, 320, 240);
  }
  void TearDown() override { delete window_; }

  FakeGraphScript& script() { return fake_.script(); }
  void Mark() { script().calls.clear(); }
  const Log& Calls() { return script().calls; }
  ComPtr<win::IFilterGraph> Filters() {
    ComPtr<win::IFilterGraph> filters;
    graph_.QueryInterface(win::IID_IFilterGraph, reinterpret_cast<void**>(filters.ReleaseAndGetAddressOf()));
    return filters;
  }
  // The filters of the graph, in order.
  Log FilterNames() {
    Log names;
    TFilterList list(Filters().Get());
    for (int index = 0; index < list.GetCount(); ++index) names.push_back(NameOf(list.GetItem(index).Get()));
    return names;
  }
  // Every connection of the graph as "<filter>.<pin>-><filter>.<pin>", output side first, sorted.
  Log Connections() {
    Log links;
    TFilterList list(Filters().Get());
    for (int index = 0; index < list.GetCount(); ++index) {
      TPinList pins(list.GetItem(index).Get());
      for (int pin = 0; pin < pins.GetCount(); ++pin) {
        ComPtr<win::IPin> peer;
        win::PIN_DIRECTION direction = win::PINDIR_INPUT;
        pins.GetItem(pin)->QueryDirection(&direction);
        if (direction != win::PINDIR_OUTPUT || pins.GetItem(pin)->ConnectedTo(peer.ReleaseAndGetAddressOf()) != win::S_OK) {
          continue;
        }
        links.push_back(PinName(pins.GetItem(pin).Get()) + "->" + PinName(peer.Get()));
      }
    }
    std::sort(links.begin(), links.end());
    return links;
  }
  // A file graph: a decoder feeding the window's renderer.
  void BuildFileGraph() {
    window_->SetFilterGraph(&graph_);
    graph_.SetActive(true);
    decoder_.Attach(win::fake::CreateFakeFilter(script(), "Decoder", {{"Out", win::PINDIR_OUTPUT}}));
    Filters()->AddFilter(decoder_.Get(), u"Decoder");
    win::fake::ConnectFakePins(decoder_.Get(), "Out", window_->GetFilter().Get(), "In");
  }

  win::ScopedFakeClock clock_;
  win::fake::ScopedFakeMediaGraph fake_;
  TFilterGraph graph_{nullptr};
  ComPtr<win::IBaseFilter> decoder_;
  TDSVideoWindowEx2* window_ = nullptr;
};

TEST_F(OverlayWindowTest, StartsWithItsDefaults) {
  EXPECT_EQ(window_->GetWidth(), 320);
  EXPECT_EQ(window_->GetHeight(), 240);
  EXPECT_EQ(window_->GetColor(), clBlack);
  EXPECT_EQ(window_->GetColorKey(), 0x00100010u);
  EXPECT_EQ(window_->GetAspectRatio(), rmLetterBox);
  EXPECT_EQ(window_->GetDigitalZoom(), 0);
  EXPECT_FALSE(window_->GetOverlayActive());
  ASSERT_NE(window_->GetFullScreenForm(), nullptr);
  EXPECT_EQ(window_->GetFullScreenForm()->GetBorderStyle(), bsNone);
  bool can_close = true;
  window_->GetFullScreenForm()->OnCloseQuery(nullptr, can_close);
  EXPECT_FALSE(can_close) << "the form closes only with the window";
}

TEST_F(OverlayWindowTest, ARenderedFileIsRoutedThroughANewOverlayMixer) {
  BuildFileGraph();
  Mark();
  graph_.RenderFile(u"clip.ogg");
  EXPECT_TRUE(window_->GetOverlayActive());
  EXPECT_EQ(FilterNames(), (Log{"DVD", "Decoder", "Overlay Mixer"}));
  EXPECT_EQ(Connections(), (Log{"Decoder.Out->Overlay Mixer.Input0", "Overlay Mixer.Output->DVD.In"}));
  EXPECT_EQ(script().CallsStartingWith("SetCallbackInterface"), (Log{"SetCallbackInterface set 0"}));
  // The colour controls took the overlay's values and passed them back.
  EXPECT_EQ(script().CallsStartingWith("SetOverlaySurfaceColorControls"),
            (Log{"SetOverlaySurfaceColorControls 7F 750 10000 0 10000 5 1 1"}));
  EXPECT_TRUE(window_->GetCapabilities()->GetCanOverlayGraphic());
  // The renderer's window is placed over the control, named and drained to it.
  Log placement = script().CallsStartingWith("put_");
  placement.erase(placement.begin(), std::find(placement.begin(), placement.end(), "put_Owner 0"));
  EXPECT_EQ(placement, (Log{"put_Owner 0", "put_WindowStyle 44000000", "put_WindowStyleEx 0", "put_Caption DVD",
                            "put_MessageDrain " + std::to_string(reinterpret_cast<std::uintptr_t>(window_->GetHandle())),
                            "put_AutoShow -1"}));
}

TEST_F(OverlayWindowTest, EachFailingStepLeavesTheConnectionsAsTheyWere) {
  struct Failure {
    const char* what;
    std::function<void(FakeGraphScript&)> arrange;
  };
  const std::vector<Failure> failures = {
      {"no overlay mixer", [](FakeGraphScript& s) { s.uncreatable.insert("OverlayMixer"); }},
      {"adding it", [](FakeGraphScript& s) { s.results["AddFilter"] = win::E_FAIL; }},
      {"first connection", [](FakeGraphScript& s) { s.connect_failing_at = s.connects + 1; }},
      {"second connection", [](FakeGraphScript& s) { s.connect_failing_at = s.connects + 2; }},
      {"no exclusive-mode interface", [](FakeGraphScript& s) { s.hidden.insert("IDDrawExclModeVideo"); }},
  };
  for (const Failure& failure : failures) {
    BuildFileGraph();
    const Log before = Connections();
    const Log filters_before = FilterNames();
    failure.arrange(script());
    graph_.RenderFile(u"clip.ogg");
    EXPECT_FALSE(window_->GetOverlayActive()) << failure.what;
    EXPECT_EQ(Connections(), before) << failure.what;
    EXPECT_EQ(FilterNames(), filters_before) << failure.what;
    EXPECT_FALSE(window_->GetCapabilities()->GetCanOverlayGraphic()) << failure.what;
    script().uncreatable.clear();
    script().results.clear();
    script().hidden.clear();
    script().connect_failing_at = 0;
    window_->SetFilterGraph(nullptr);
    graph_.SetActive(false);
  }
}

TEST_F(OverlayWindowTest, AnOverlayMixerNotFeedingTheRendererLeavesTheOverlayOffAndChangesNothing) {
  BuildFileGraph();
  ComPtr<win::IBaseFilter> mixer;
  ASSERT_EQ(win::CoCreateInstance(win::CLSID_OverlayMixer, nullptr, win::CLSCTX_INPROC_SERVER, win::IID_IBaseFilter,
                                  reinterpret_cast<void**>(mixer.ReleaseAndGetAddressOf())),
            win::S_OK);
  Filters()->AddFilter(mixer.Get(), u"Overlay Mixer");
  const Log before = Connections();
  Mark();
  graph_.RenderFile(u"clip.ogg");
  EXPECT_FALSE(window_->GetOverlayActive());
  EXPECT_EQ(Connections(), before);
  EXPECT_TRUE(script().CallsStartingWith("Connect").empty());
  EXPECT_TRUE(script().CallsStartingWith("Disconnect").empty());
}

TEST_F(OverlayWindowTest, ADvdsMixingRendererGivesWayAndItsCaptionsGoThroughANewLine21Decoder) {
  graph_.SetMode(gmDVD);
  window_->SetFilterGraph(&graph_);
  graph_.SetActive(true);
  ComPtr<win::IBaseFilter> navigator;
  navigator.Attach(win::fake::CreateFakeFilter(script(), "Navigator",
                                               {{"Video", win::PINDIR_OUTPUT}, {"CC", win::PINDIR_OUTPUT}}));
  ComPtr<win::IBaseFilter> captions;
  captions.Attach(win::fake::CreateFakeFilter(script(), "Line21 Decoder 2", {{"In", win::PINDIR_INPUT}, {"Out", win::PINDIR_OUTPUT}},
                                              win::CLSID_Line21Decoder2));
  ComPtr<win::IBaseFilter> mixing;
  mixing.Attach(win::fake::CreateFakeFilter(script(), "VMR7", {{"VMR Input0", win::PINDIR_INPUT}, {"VMR Input1", win::PINDIR_INPUT}},
                                            win::CLSID_VideoMixingRenderer));
  for (auto* filter : {navigator.Get(), captions.Get(), mixing.Get()}) Filters()->AddFilter(filter, nullptr);
  win::fake::ConnectFakePins(navigator.Get(), "Video", mixing.Get(), "VMR Input0");
  win::fake::ConnectFakePins(navigator.Get(), "CC", captions.Get(), "In");
  win::fake::ConnectFakePins(captions.Get(), "Out", mixing.Get(), "VMR Input1");
  win::AM_DVD_RENDERSTATUS status;
  graph_.RenderDVD(status, u"", 1);
  graph_.Play();
  EXPECT_TRUE(window_->GetOverlayActive());
  EXPECT_EQ(FilterNames(), (Log{"DVD", "Navigator", "Overlay Mixer", "Line21 Decoder"}));
  EXPECT_EQ(Connections(), (Log{"Line21 Decoder.Out->Overlay Mixer.Input1", "Navigator.CC->Line21 Decoder.In",
                                "Navigator.Video->Overlay Mixer.Input0", "Overlay Mixer.Output->DVD.In"}));
}

// A renderer the graph has (the DVD graph builder's own, or one made here), counted.
ComPtr<win::IBaseFilter> MakeRenderer(FakeGraphScript& script, const win::CLSID& class_id) {
  ComPtr<win::IBaseFilter> renderer;
  EXPECT_EQ(win::fake::CreateFakeVideoRenderer(script, class_id, win::IID_IBaseFilter,
                                               reinterpret_cast<void**>(renderer.ReleaseAndGetAddressOf())),
            win::S_OK);
  return renderer;
}

TEST_F(OverlayWindowTest, ADvdGraphsOwnRendererIsAdoptedOrOursJoinsItsMixingRenderer) {
  struct Case {
    const char* what;
    win::CLSID builder_renderer;
    Log filters;
    Log connections;
    bool ours_kept;
  };
  const Case cases[] = {
      {"classic renderer: adopted", win::CLSID_VideoRenderer, {"Navigator", "Builder Renderer", "Overlay Mixer"},
       {"Navigator.Video->Overlay Mixer.Input0", "Overlay Mixer.Output->Builder Renderer.In"}, false},
      {"mixing renderer: ours joins and it gives way", win::CLSID_VideoMixingRenderer, {"Navigator", "DVD", "Overlay Mixer"},
       {"Navigator.Video->Overlay Mixer.Input0", "Overlay Mixer.Output->DVD.In"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    graph_.SetMode(gmDVD);
    window_->SetFilterGraph(&graph_);
    graph_.SetActive(true);
    const ComPtr<win::IBaseFilter> ours = window_->GetFilter();
    // The builder rendered the disc without our renderer.
    Filters()->RemoveFilter(ours.Get());
    ComPtr<win::IBaseFilter> navigator;
    navigator.Attach(win::fake::CreateFakeFilter(script(), "Navigator", {{"Video", win::PINDIR_OUTPUT}}));
    const ComPtr<win::IBaseFilter> builder = MakeRenderer(script(), c.builder_renderer);
    Filters()->AddFilter(navigator.Get(), u"Navigator");
    Filters()->AddFilter(builder.Get(), u"Builder Renderer");
    win::fake::ConnectFakePins(navigator.Get(), "Video", builder.Get(), "In");
    win::AM_DVD_RENDERSTATUS status;
    graph_.RenderDVD(status, u"", 1);
    EXPECT_TRUE(window_->GetOverlayActive());
    EXPECT_EQ(window_->GetFilter().Get(), c.ours_kept ? ours.Get() : builder.Get());
    EXPECT_EQ(FilterNames(), c.filters);
    EXPECT_EQ(Connections(), c.connections);
    window_->SetFilterGraph(nullptr);
    graph_.SetActive(false);
    graph_.SetMode(gmNormal);
  }
}

TEST_F(OverlayWindowTest, AFailedInsertionBeforeAMixingRendererLeavesTheVideoWithIt) {
  graph_.SetMode(gmDVD);
  window_->SetFilterGraph(&graph_);
  graph_.SetActive(true);
  ComPtr<win::IBaseFilter> navigator;
  navigator.Attach(win::fake::CreateFakeFilter(script(), "Navigator", {{"Video", win::PINDIR_OUTPUT}}));
  // A mixing renderer without a window or source rectangle of its own, unlike ours.
  ComPtr<win::IBaseFilter> mixing;
  mixing.Attach(win::fake::CreateFakeFilter(script(), "VMR7", {{"VMR Input0", win::PINDIR_INPUT}},
                                            win::CLSID_VideoMixingRenderer));
  Filters()->AddFilter(navigator.Get(), u"Navigator");
  Filters()->AddFilter(mixing.Get(), u"VMR7");
  win::fake::ConnectFakePins(navigator.Get(), "Video", mixing.Get(), "VMR Input0");
  // The mixer's output does not reach our renderer: the second connection fails.
  script().connect_failing_at = script().connects + 2;
  Mark();
  graph_.Play();
  EXPECT_FALSE(window_->GetOverlayActive());
  EXPECT_EQ(FilterNames(), (Log{"Navigator", "VMR7"})) << "ours and the overlay mixer left";
  EXPECT_EQ(Connections(), (Log{"Navigator.Video->VMR7.VMR Input0"}));
  // The mixing renderer is the window's renderer now: ours, which left, is not placed or zoomed.
  EXPECT_TRUE(script().CallsStartingWith("put_").empty());
  Mark();
  window_->SetDigitalZoom(50);
  EXPECT_EQ(window_->GetDigitalZoom(), 50);
  EXPECT_TRUE(script().CallsStartingWith("put_Source").empty());
}

// The renderer's window as the platform names it: class "VideoRenderer", titled with the
// component's name.
win::HWND MakeRendererWindow(win::HWND parent, const char* title) {
  win::WNDCLASSA window_class{};
  window_class.lpfnWndProc = &win::DefWindowProcA;
  window_class.lpszClassName = "VideoRenderer";
  win::RegisterClassA(&window_class);  // may be registered already
  const win::DWORD style = parent != nullptr ? win::WS_CHILD | win::WS_VISIBLE : win::WS_POPUP;
  return win::CreateWindowExA(0, "VideoRenderer", title, style, 0, 0, 32, 32, parent, nullptr, nullptr, nullptr);
}

TEST_F(OverlayWindowTest, TheClockChangeReadsTheColourKeyAndPutsTheRenderersWindowBehindTheControl) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 400, 300);
  window_->SetParent(&form);
  BuildFileGraph();
  graph_.RenderFile(u"clip.ogg");
  ASSERT_TRUE(window_->GetOverlayActive());
  int changes = 0;
  window_->OnColorKeyChanged = [&](TObject*) { ++changes; };
  script().overlay_color_key = win::COLORKEY{win::CK_INDEX | win::CK_RGB, 0, 0x00050005, 0x00070007};
  auto clock_change = [&] {
    Mark();
    script().Fire(win::EC_CLOCK_CHANGED, 0, 0);
    Application->ProcessMessages();
  };

  clock_change();
  EXPECT_TRUE(script().CallsStartingWith("GetColorKey").empty()) << "no renderer window: nothing read";
  EXPECT_EQ(window_->GetColorKey(), 0x00100010u);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(script().CallsStartingWith("SetAspectRatioMode"), (Log{"SetAspectRatioMode 1"})) << "re-applied all the same";

  const win::HWND renderer = MakeRendererWindow(form.GetHandle(), "DVD");
  ASSERT_NE(renderer, nullptr);
  win::SetWindowPos(renderer, win::HWND_TOP, 0, 0, 0, 0, win::SWP_NOMOVE | win::SWP_NOSIZE);
  clock_change();
  EXPECT_EQ(win::GetWindow(window_->GetHandle(), win::GW_HWNDNEXT), renderer) << "directly behind the control";
  EXPECT_EQ(script().CallsStartingWith("GetColorKey"), (Log{"GetColorKey"}));
  EXPECT_EQ(window_->GetColorKey(), 0x00070007u) << "the key's high value";
  EXPECT_EQ(changes, 1);
  win::DestroyWindow(renderer);

  // Without one among the parent's children, a top-level window of that name is taken.
  const win::HWND top_level = MakeRendererWindow(nullptr, "DVD");
  script().overlay_color_key.HighColorValue = 0x00090009;
  clock_change();
  EXPECT_EQ(window_->GetColorKey(), 0x00090009u);
  EXPECT_EQ(changes, 2);
  win::DestroyWindow(top_level);
  window_->SetParent(nullptr);
}

TEST_F(OverlayWindowTest, DigitalZoomCutsTheSourceRectangle) {
  try {
    window_->SetDigitalZoom(100);
    FAIL() << "no exception";
  } catch (const Exception& error) {
    EXPECT_EQ(error.GetMessage(), "Value 100 out of range. Value must bee between 0 -> 99");
  }
  EXPECT_THROW(window_->SetDigitalZoom(-1), Exception);
  window_->SetDigitalZoom(50);  // no graph renderer yet: stored only
  EXPECT_EQ(window_->GetDigitalZoom(), 50);
  BuildFileGraph();
  graph_.RenderFile(u"clip.ogg");
  struct Case {
    int zoom;
    Log calls;
  };
  const Case cases[] = {
      {50, {"SetDefaultSourcePosition", "put_SourceWidth 360", "put_SourceHeight 288", "put_SourceLeft 180",
            "put_SourceTop 144"}},
      {33, {"SetDefaultSourcePosition", "put_SourceWidth 482", "put_SourceHeight 385", "put_SourceLeft 118",
            "put_SourceTop 95"}},
      {0, {"SetDefaultSourcePosition", "put_SourceWidth 720", "put_SourceHeight 576", "put_SourceLeft 0",
           "put_SourceTop 0"}},
  };
  for (const Case& c : cases) {
    Mark();
    window_->SetDigitalZoom(c.zoom);
    EXPECT_EQ(Calls(), c.calls) << c.zoom;
  }
}

TEST_F(OverlayWindowTest, AnEmptySourceOnlyStoresTheZoom) {
  BuildFileGraph();
  graph_.RenderFile(u"clip.ogg");
  script().video_width = 0;
  Mark();
  window_->SetDigitalZoom(20);
  EXPECT_EQ(window_->GetDigitalZoom(), 20);
  EXPECT_TRUE(script().CallsStartingWith("put_Source").empty());
}

TEST_F(OverlayWindowTest, TheAspectRatioWaitsForTheOverlayAndIsAppliedAtTheClockChange) {
  window_->SetAspectRatio(rmStretched);
  EXPECT_EQ(window_->GetAspectRatio(), rmStretched);
  BuildFileGraph();
  graph_.RenderFile(u"clip.ogg");
  Mark();
  script().Fire(win::EC_CLOCK_CHANGED, 0, 0);
  Application->ProcessMessages();
  EXPECT_EQ(script().CallsStartingWith("SetAspectRatioMode"), (Log{"SetAspectRatioMode 0"}));
  script().results["SetAspectRatioMode"] = win::E_FAIL;
  window_->SetAspectRatio(rmCrop);
  EXPECT_EQ(window_->GetAspectRatio(), rmStretched) << "kept only when the overlay takes it";
}

TEST_F(OverlayWindowTest, PlayingPaintsTheColourKeyInTheLetterBoxedVideoArea) {
  script().aspect_width = 16;
  script().aspect_height = 9;
  TForm form(nullptr);
  form.SetBounds(0, 0, 320, 240);
  window_->SetParent(&form);
  window_->SetColor(clRed);
  form.Show();
  std::vector<bool> visible;
  window_->OnOverlayVisible = [&](TObject*, bool shown) { visible.push_back(shown); };
  BuildFileGraph();
  graph_.RenderFile(u"clip.ogg");
  graph_.Play();
  EXPECT_TRUE(window_->GetOverlayVisible());
  const win::RECT rect = window_->GetVideoRect();
  EXPECT_EQ(std::vector<int>({rect.left, rect.top, rect.right, rect.bottom}), std::vector<int>({0, 30, 320, 210}));
  win::WindowPixels pixels;
  ASSERT_TRUE(win::ReadWindowPixels(window_->GetHandle(), &pixels));
  EXPECT_EQ(pixels.At(160, 29), 0xFF0000u);
  EXPECT_EQ(pixels.At(160, 30), 0x100010u);
  EXPECT_EQ(pixels.At(160, 209), 0x100010u);
  EXPECT_EQ(pixels.At(160, 210), 0xFF0000u);
  EXPECT_EQ(window_->Perform(win::WM_ERASEBKGND, 0, 0), -1) << "no erasing under the overlay";
  graph_.Stop();
  ASSERT_TRUE(win::ReadWindowPixels(window_->GetHandle(), &pixels));
  EXPECT_EQ(pixels.At(160, 100), 0xFF0000u);
  EXPECT_EQ(visible, (std::vector<bool>{true, false}));
  window_->SetParent(nullptr);
}

TEST_F(OverlayWindowTest, TheOverlaysCallbackUpdatesTheKeyAndDoesNothingOnceTheWindowIsGone) {
  BuildFileGraph();
  graph_.RenderFile(u"clip.ogg");
  ComPtr<win::IDDrawExclModeVideoCallback> callback(script().overlay_callback);
  ASSERT_TRUE(callback);
  int changes = 0;
  window_->OnColorKeyChanged = [&](TObject*) { ++changes; };
  const win::COLORKEY key{win::CK_RGB, 0, 0x00050005, 0x00060006};
  EXPECT_EQ(callback->OnUpdateColorKey(&key, 0x00060006), win::S_OK);
  EXPECT_EQ(window_->GetColorKey(), 0x00060006u);
  EXPECT_EQ(changes, 1);
  Mark();
  delete window_;
  window_ = nullptr;
  EXPECT_EQ(script().CallsStartingWith("SetCallbackInterface"), (Log{"SetCallbackInterface nil 0"}));
  EXPECT_EQ(callback->OnUpdateColorKey(&key, 0), win::S_OK);
  EXPECT_EQ(callback->OnUpdateSize(720, 576, 4, 3), win::S_OK);
}

TEST_F(OverlayWindowTest, LeavingTheGraphRestoresTheColoursAndDisconnectsWhatIsHeld) {
  BuildFileGraph();
  graph_.RenderFile(u"clip.ogg");
  window_->GetColorControl()->SetBrightness(900);
  Mark();
  window_->SetFilterGraph(nullptr);
  EXPECT_EQ(script().CallsStartingWith("SetOverlaySurfaceColorControls"),
            (Log{"SetOverlaySurfaceColorControls 7F 750 10000 0 10000 5 1 1"}));
  EXPECT_EQ(script().CallsStartingWith("Stop"), (Log{"Stop DVD", "Stop DVD"}));
  EXPECT_EQ(script().CallsStartingWith("Disconnect Overlay Mixer"),
            (Log{"Disconnect Overlay Mixer.Input0", "Disconnect Overlay Mixer.Input1", "Disconnect Overlay Mixer.Output"}));
}

TEST_F(OverlayWindowTest, ARendererThatCannotBeMadeLeavesNothingToTouch) {
  script().uncreatable = {"VideoRenderer"};
  window_->SetFilterGraph(&graph_);
  graph_.SetActive(true);
  graph_.Play();
  Mark();
  graph_.SetActive(false);
  EXPECT_TRUE(script().CallsStartingWith("Stop ").empty());
  EXPECT_TRUE(script().CallsStartingWith("Disconnect").empty());
}

TEST_F(OverlayWindowTest, TheIdleHandlerIsClearedOnlyWhileItIsTheWindows) {
  ASSERT_TRUE(Application->OnIdle);
  delete window_;
  window_ = nullptr;
  EXPECT_FALSE(Application->OnIdle);

  window_ = new TDSVideoWindowEx2(nullptr);
  bool later_called = false;
  Application->OnIdle = [&](TObject*, bool& Done) {
    later_called = true;
    Done = true;
  };
  delete window_;
  window_ = nullptr;
  ASSERT_TRUE(Application->OnIdle) << "a handler set later stays";
  bool done = false;
  Application->OnIdle(nullptr, done);
  EXPECT_TRUE(later_called);
  Application->OnIdle = nullptr;
}

TEST_F(OverlayWindowTest, TheCursorHidesAfterTheIdleTimeAndShowsOnTheNextMove) {
  BuildFileGraph();
  graph_.RenderFile(u"clip.ogg");
  window_->SetAutoHideCursor(3000);
  std::vector<bool> shown;
  window_->OnCursorShowHide = [&](TObject*, bool visible) { shown.push_back(visible); };
  window_->Perform(win::WM_MOUSEMOVE, 0, win::MAKELPARAM(5, 5));
  bool done = false;
  dashtune::testing::AdvanceAndPump(2999);
  Application->OnIdle(nullptr, done);
  EXPECT_EQ(window_->GetCursor(), crDefault);
  dashtune::testing::AdvanceAndPump(1);
  Application->OnIdle(nullptr, done);
  EXPECT_TRUE(done);
  EXPECT_EQ(window_->GetCursor(), crNone);
  EXPECT_EQ(shown, (std::vector<bool>{false}));
  window_->Perform(win::WM_MOUSEMOVE, 0, win::MAKELPARAM(5, 5));
  EXPECT_EQ(window_->GetCursor(), crNone) << "the same position is no activity";
  window_->Perform(win::WM_MOUSEMOVE, 0, win::MAKELPARAM(6, 5));
  EXPECT_EQ(window_->GetCursor(), crDefault);
  EXPECT_EQ(shown, (std::vector<bool>{false, true}));
}

TEST_F(OverlayWindowTest, WithoutTheOverlayTheRenderersCursorHides) {
  script().uncreatable = {"OverlayMixer"};
  BuildFileGraph();
  graph_.RenderFile(u"clip.ogg");
  ASSERT_FALSE(window_->GetOverlayActive());
  window_->SetAutoHideCursor(100);
  dashtune::testing::AdvanceAndPump(100);
  Mark();
  bool done = false;
  Application->OnIdle(nullptr, done);
  EXPECT_EQ(Calls(), (Log{"HideCursor -1"}));
  Application->OnIdle(nullptr, done);
  EXPECT_EQ(Calls().size(), 1u) << "hidden already";
  window_->Perform(win::WM_LBUTTONDOWN, win::MK_LBUTTON, win::MAKELPARAM(1, 1));
  EXPECT_EQ(script().CallsStartingWith("HideCursor"), (Log{"HideCursor -1", "HideCursor 0"}));
}

TEST_F(OverlayWindowTest, NoScreenSaverRequestReachesTheDefaultHandling) {
  window_->SetNoScreenSaver(true);
  EXPECT_EQ(window_->Perform(win::WM_SYSCOMMAND, 0xF140, 0), 0);
  EXPECT_EQ(window_->Perform(win::WM_SYSCOMMAND, 0xF170, 2), 0);
}

// ---- colour control and capabilities ----

TEST_F(OverlayWindowTest, ColourSettersCheckTheirRanges) {
  TColorControl* colors = window_->GetColorControl();
  struct Case {
    std::function<void(int)> set;
    int value;
    const char* message;
  };
  const Case cases[] = {
      {[&](int v) { colors->SetBrightness(v); }, 10001, "Value 10001 out of range. Value must bee between 0 -> 10.000"},
      {[&](int v) { colors->SetContrast(v); }, -1, "Value -1 out of range. Value must bee between 0 -> 20.000"},
      {[&](int v) { colors->SetHue(v); }, 181, "Value 181 out of range. Value must bee between -180 -> 180"},
      {[&](int v) { colors->SetSaturation(v); }, 20001, "Value 20001 out of range. Value must bee between 0 -> 20.000"},
      {[&](int v) { colors->SetSharpness(v); }, 11, "Value 11 out of range. Value must bee between 0 -> 10"},
      {[&](int v) { colors->SetGamma(v); }, 0, "Value 0 out of range. Value must bee between 1 -> 500"},
  };
  for (const Case& c : cases) {
    try {
      c.set(c.value);
      ADD_FAILURE() << c.message;
    } catch (const Exception& error) {
      EXPECT_EQ(error.GetMessage(), c.message);
    }
  }
  colors->SetHue(-180);
  colors->SetHue(180);
  EXPECT_EQ(colors->GetHue(), 180) << "no graph: the stored value";
  EXPECT_EQ(colors->GetBrightness(), 750) << "a refused value leaves the stored one";
}

TEST_F(OverlayWindowTest, ARefusedReadGivesTheDefaults) {
  BuildFileGraph();
  graph_.RenderFile(u"clip.ogg");
  TColorControl* colors = window_->GetColorControl();
  colors->SetBrightness(100);
  colors->SetColorEnable(false);
  script().results["GetOverlaySurfaceColorControls"] = win::E_FAIL;
  EXPECT_EQ(colors->GetBrightness(), 750);
  EXPECT_EQ(colors->GetContrast(), 10000);
  EXPECT_EQ(colors->GetHue(), 0);
  EXPECT_EQ(colors->GetSaturation(), 10000);
  EXPECT_EQ(colors->GetSharpness(), 5);
  EXPECT_EQ(colors->GetGamma(), 1);
  EXPECT_TRUE(colors->GetColorEnable());
}

TEST_F(OverlayWindowTest, CapabilitiesFollowTheOverlaysFlags) {
  TDSVideoWindowEx2Caps* caps = window_->GetCapabilities();
  EXPECT_FALSE(caps->GetCanOverlayGraphic());
  EXPECT_TRUE(caps->GetCanControlBrigtness() && caps->GetCanControlContrast() && caps->GetCanControlHue() &&
              caps->GetCanControlSaturation() && caps->GetCanControlSharpness() && caps->GetCanControlGamma() &&
              caps->GetCanControlColorEnabled())
      << "every adjustment before the overlay's own flags are read";
  script().overlay_colors.dwFlags = 0x6F;  // no sharpness
  BuildFileGraph();
  graph_.RenderFile(u"clip.ogg");
  EXPECT_TRUE(caps->GetCanOverlayGraphic());
  EXPECT_FALSE(caps->GetCanControlSharpness());
  EXPECT_TRUE(caps->GetCanControlGamma());
}

}  // namespace
}  // namespace dashtune
