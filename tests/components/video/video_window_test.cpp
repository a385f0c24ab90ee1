// The video window on the scripted graph: the renderer's insertion in each mode and its edge
// cases, the mixing renderer's options, full screen before and after rendering, the x87 control
// word around the mixing renderer, the DVD renderer's adoption, and the faults built soundly
// (no renderer, renderer made only for a failing mixing renderer, unlinking before the options go).
#include "components/video/video_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "classlib/form.h"
#include "classlib/forms.h"
#include "classlib/menus.h"
#include "components/video/ds_conversions.h"
#include "components/video/ds_util.h"
#include "platform/com/com_init.h"
#include "platform/core/clock.h"
#include "platform/core/strings.h"
#include "platform/dshow/dshow_results.h"
#include "platform/dshow/event_codes.h"
#include "platform/dshow/fake_graph.h"
#include "platform/user/cursors.h"
#include "platform/user/menus.h"
#include "platform/user/messages.h"
#include "platform/user/system_metrics.h"

namespace dashtune {
namespace {

using Log = std::vector<std::string>;
using win::fake::FakeGraphScript;

// A renderless mode's allocator: records the hand-shake.
class TestAllocator final : public win::IVMRSurfaceAllocator9 {
 public:
  explicit TestAllocator(Log& log) : log_(log) {}
  win::HRESULT QueryInterface(win::REFIID riid, void** ppv) override {
    if (riid != win::IID_IUnknown && riid != win::IID_IVMRSurfaceAllocator9) return win::E_NOINTERFACE;
    *ppv = static_cast<win::IVMRSurfaceAllocator9*>(this);
    AddRef();
    return win::S_OK;
  }
  win::ULONG AddRef() override { return ++references_; }
  win::ULONG Release() override {
    const win::ULONG left = --references_;
    if (left == 0) {
      log_.push_back("allocator freed");
      delete this;
    }
    return left;
  }
  win::HRESULT AdviseNotify(win::IVMRSurfaceAllocatorNotify9* notify) override {
    log_.push_back(notify != nullptr ? "AdviseNotify" : "AdviseNotify nil");
    return win::S_OK;
  }
  win::HRESULT PresentImage(win::DWORD_PTR, const win::VMR9PresentationFrame*) override { return win::S_OK; }

 private:
  Log& log_;
  win::ULONG references_ = 1;
};

class VideoWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.SetName("Gallery");
    window_.SetBounds(10, 20, 320, 180);
  }
  FakeGraphScript& script() { return fake_.script(); }
  void Mark() { script().calls.clear(); }
  const Log& Calls() { return script().calls; }
  // Joins the renderer's input to a scripted decoder, as rendering a file does.
  void ConnectRenderer() {
    decoder_.Attach(win::fake::CreateFakeFilter(script(), "Decoder", {{"Out", win::PINDIR_OUTPUT}}));
    win::ComPtr<win::IBaseFilter> renderer = window_.GetFilter();
    ASSERT_TRUE(renderer);
    win::IEnumPins* pins = nullptr;
    ASSERT_EQ(renderer->EnumPins(&pins), win::S_OK);
    win::IPin* input = nullptr;
    ASSERT_EQ(pins->Next(1, &input, nullptr), win::S_OK);
    std::u16string id;
    input->QueryId(&id);
    win::fake::ConnectFakePins(decoder_.Get(), "Out", renderer.Get(), win::Narrow(id.c_str()));
    input->Release();
    pins->Release();
  }
  static std::string Number(win::HWND window) { return std::to_string(reinterpret_cast<std::uintptr_t>(window)); }

  win::ScopedFakeClock clock_;
  win::fake::ScopedFakeMediaGraph fake_;
  TFilterGraph graph_{nullptr};
  win::ComPtr<win::IBaseFilter> decoder_;
  // Last: leaves the graph before the graph goes.
  TVideoWindow window_{nullptr};
};

TEST_F(VideoWindowTest, StartsWithItsDefaults) {
  TVideoWindow fresh(nullptr);
  EXPECT_EQ(fresh.GetWidth(), 160);
  EXPECT_EQ(fresh.GetHeight(), 120);
  EXPECT_EQ(fresh.GetColor(), clBlack);
  EXPECT_TRUE(fresh.GetTabStop());
  EXPECT_EQ(fresh.GetMode(), vmNormal);
  EXPECT_FALSE(fresh.GetFullScreen());
  EXPECT_EQ(fresh.GetVMROptions()->GetMode(), vmrWindowed);
  EXPECT_EQ(fresh.GetVMROptions()->GetStreams(), 4u);
  EXPECT_EQ(fresh.GetVMROptions()->GetPreferences(), TVMRPreferences{vpForceMixer});
  EXPECT_TRUE(fresh.GetVMROptions()->GetKeepAspectRatio());
  EXPECT_FALSE(fresh.GetFilter());
}

TEST_F(VideoWindowTest, TheClassicRendererJoinsAtActivationAndLeavesStoppedAndDisconnected) {
  window_.SetFilterGraph(&graph_);
  Mark();
  graph_.SetActive(true);
  EXPECT_EQ(script().CallsStartingWith("Create"), (Log{"Create VideoRenderer"}));
  EXPECT_EQ(script().CallsStartingWith("AddFilter"), (Log{"AddFilter Gallery"}));
  ConnectRenderer();
  Mark();
  graph_.SetActive(false);
  EXPECT_EQ(Calls(), (Log{"Stop Gallery", "Disconnect Gallery.In", "RemoveFilter Gallery", "SetNotifyFlags 1",
                          "SetLogFile 0", "SetSite nil"}));
  EXPECT_FALSE(window_.GetFilter());
}

TEST_F(VideoWindowTest, LinkingToAnActiveGraphInsertsTheRendererAtOnce) {
  graph_.SetActive(true);
  Mark();
  window_.SetFilterGraph(&graph_);
  EXPECT_EQ(Calls(), (Log{"Create VideoRenderer", "AddFilter Gallery"}));
  EXPECT_TRUE(window_.GetFilter());
}

TEST_F(VideoWindowTest, AClassicRendererThatCannotBeMadeLeavesNothingToTouch) {
  script().uncreatable = {"VideoRenderer"};
  window_.SetFilterGraph(&graph_);
  graph_.SetActive(true);  // the graph adds a nil filter; taking its window must not fail
  EXPECT_FALSE(window_.GetFilter());
  Mark();
  graph_.SetActive(false);
  EXPECT_TRUE(script().CallsStartingWith("Stop").empty());
  EXPECT_TRUE(script().CallsStartingWith("Disconnect").empty());
}

TEST_F(VideoWindowTest, TheMixingRendererIsKeptOnlyWhereItCanBeMade) {
  script().uncreatable = {"VideoMixingRenderer9"};
  window_.SetMode(vmVMR);
  EXPECT_EQ(window_.GetMode(), vmNormal);
  script().uncreatable.clear();
  window_.SetMode(vmVMR);
  EXPECT_EQ(window_.GetMode(), vmVMR);
}

TEST_F(VideoWindowTest, TheWindowedMixingRendererIsConfiguredInItsOrder) {
  window_.SetMode(vmVMR);
  window_.SetFilterGraph(&graph_);
  Mark();
  graph_.SetActive(true);
  EXPECT_EQ(Calls(), (Log{"SetNotifyFlags 0", "SetNotifyWindow 32769", "SetSite", "SetSite", "SetLogFile 0",
                          "Create VideoMixingRenderer9", "SetRenderingMode 1", "AddFilter Gallery",
                          "SetNumberOfStreams 4", "SetRenderingPrefs 0", "SetAspectRatioMode 1"}));
  EXPECT_EQ(window_.GetVMROptions()->GetPreferences(), TVMRPreferences{vpForceMixer});
}

TEST_F(VideoWindowTest, StreamsOutsideOneToSixteenStoreOne) {
  TVMROptions* options = window_.GetVMROptions();
  for (std::uint32_t value : {0u, 17u, 100u}) {
    options->SetStreams(value);
    EXPECT_EQ(options->GetStreams(), 1u) << value;
  }
  options->SetStreams(16);
  EXPECT_EQ(options->GetStreams(), 16u);
}

TEST_F(VideoWindowTest, PreferencesReachTheRendererWithoutForceMixerWhichIsKept) {
  window_.SetMode(vmVMR);
  window_.SetFilterGraph(&graph_);
  TVMROptions* options = window_.GetVMROptions();
  options->SetPreferences({});
  Mark();
  graph_.SetActive(true);
  EXPECT_EQ(script().CallsStartingWith("SetRenderingPrefs"), (Log{"SetRenderingPrefs 0"}));
  EXPECT_TRUE(script().CallsStartingWith("SetNumberOfStreams").empty()) << "4 streams without vpForceMixer";
  EXPECT_EQ(options->GetPreferences(), TVMRPreferences{});

  Mark();
  options->SetPreferences({vpForceMixer, vpForceOverlays});  // the active graph gets a new renderer
  EXPECT_EQ(script().CallsStartingWith("SetRenderingPrefs"), (Log{"SetRenderingPrefs 2"}));
  EXPECT_EQ(options->GetPreferences(), (TVMRPreferences{vpForceMixer, vpForceOverlays}));
  EXPECT_EQ(script().CallsStartingWith("RemoveFilter"), (Log{"RemoveFilter Gallery"}));
}

TEST_F(VideoWindowTest, TheStreamsTheRendererKeptAreStored) {
  window_.SetMode(vmVMR);
  window_.GetVMROptions()->SetStreams(2);
  window_.SetFilterGraph(&graph_);
  graph_.SetActive(true);
  EXPECT_EQ(script().CallsStartingWith("SetNumberOfStreams"), (Log{"SetNumberOfStreams 2"}));
  EXPECT_EQ(window_.GetVMROptions()->GetStreams(), 2u);
}

TEST_F(VideoWindowTest, WindowlessModeClipsToTheControlAndFollowsItsSize) {
  window_.SetMode(vmVMR);
  window_.GetVMROptions()->SetMode(vmrWindowless);
  window_.SetFilterGraph(&graph_);
  Mark();
  graph_.SetActive(true);
  const win::HWND handle = window_.GetHandle();
  EXPECT_EQ(script().CallsStartingWith("SetRenderingMode"), (Log{"SetRenderingMode 2"}));
  EXPECT_EQ(script().CallsStartingWith("SetVideoClippingWindow"), (Log{"SetVideoClippingWindow " + Number(handle)}));
  EXPECT_EQ(script().CallsStartingWith("SetVideoPosition").back(), "SetVideoPosition nil 0 0 320 180");
  win::ComPtr<win::IVMRWindowlessControl9> windowless;
  EXPECT_EQ(window_.QueryInterface(win::IID_IVMRWindowlessControl9,
                                   reinterpret_cast<void**>(windowless.ReleaseAndGetAddressOf())),
            win::S_OK);
  Mark();
  window_.SetBounds(10, 20, 400, 300);
  EXPECT_EQ(script().CallsStartingWith("SetVideoPosition").back(), "SetVideoPosition nil 0 0 400 300");
  Mark();
  window_.GetVMROptions()->SetKeepAspectRatio(false);
  EXPECT_EQ(Calls(), (Log{"SetAspectRatioMode 0"}));
}

TEST_F(VideoWindowTest, RenderlessModeNeedsAnAllocatorClass) {
  window_.SetMode(vmVMR);
  window_.GetVMROptions()->SetMode(vmrRenderless);
  window_.SetFilterGraph(&graph_);
  try {
    graph_.SetActive(true);
    FAIL() << "no exception";
  } catch (const EDSMediaException& error) {
    EXPECT_EQ(error.GetMessage(), "Allocator class not set.");
  }
  EXPECT_FALSE(window_.GetFilter());
  EXPECT_TRUE(script().CallsStartingWith("AddFilter").empty());
}

TEST_F(VideoWindowTest, AFailingAllocatorRaisesWithItsResult) {
  window_.SetMode(vmVMR);
  window_.GetVMROptions()->SetMode(vmrRenderless);
  window_.SetAllocatorClass([](win::HRESULT& result, win::HWND, win::IUnknown*, win::IUnknown*) -> win::IUnknown* {
    result = win::E_OUTOFMEMORY;
    return nullptr;
  });
  window_.SetFilterGraph(&graph_);
  try {
    graph_.SetActive(true);
    FAIL() << "no exception";
  } catch (const EDSMediaException& error) {
    EXPECT_EQ(error.GetMessage(), "Error Creating Allocator");
    EXPECT_EQ(error.ErrorCode, win::E_OUTOFMEMORY);
  }
}

TEST_F(VideoWindowTest, RenderlessModeAdvisesTheAllocatorAndReleasesItWhenTheRendererLeaves) {
  Log allocator_log;
  win::HWND given = nullptr;
  window_.SetMode(vmVMR);
  window_.GetVMROptions()->SetMode(vmrRenderless);
  window_.SetAllocatorUserId(7);
  window_.SetAllocatorClass([&](win::HRESULT& result, win::HWND window, win::IUnknown*, win::IUnknown*) -> win::IUnknown* {
    result = win::S_OK;
    given = window;
    return new TestAllocator(allocator_log);
  });
  window_.SetFilterGraph(&graph_);
  graph_.SetActive(true);
  EXPECT_EQ(given, window_.GetHandle());
  EXPECT_EQ(script().CallsStartingWith("SetRenderingMode"), (Log{"SetRenderingMode 4"}));
  EXPECT_EQ(script().CallsStartingWith("AdviseSurfaceAllocator"), (Log{"AdviseSurfaceAllocator 7"}));
  EXPECT_EQ(allocator_log, (Log{"AdviseNotify"}));
  graph_.SetActive(false);
  EXPECT_EQ(allocator_log, (Log{"AdviseNotify", "allocator freed"}));
}

TEST_F(VideoWindowTest, TheControlWordIsLoadedBackAlsoWhenCreationRaises) {
  const std::uint16_t before_test = video::GetFPUControlWord();
  video::SetFPUControlWord(0x133F);
  const std::uint16_t before = video::GetFPUControlWord();
  EXPECT_EQ(before, 0x137F) << "the reserved bit reads back set";
  script().fpu_word_on_create = 0x027F;  // the renderer switches to double precision
  window_.SetMode(vmVMR);
  EXPECT_EQ(video::GetFPUControlWord(), before);
  window_.GetVMROptions()->SetMode(vmrRenderless);
  window_.SetFilterGraph(&graph_);
  EXPECT_THROW(graph_.SetActive(true), EDSMediaException);
  EXPECT_EQ(video::GetFPUControlWord(), before);
  video::SetFPUControlWord(before_test);
}

TEST_F(VideoWindowTest, FullScreenBeforeRenderingIsAppliedAtPlay) {
  window_.SetFilterGraph(&graph_);
  graph_.SetActive(true);
  Mark();
  window_.SetFullScreen(true);
  EXPECT_TRUE(Calls().empty()) << "nothing is connected yet";
  EXPECT_TRUE(window_.GetFullScreen());
  ConnectRenderer();
  Mark();
  graph_.Play();
  const std::string width = std::to_string(win::GetSystemMetrics(win::SM_CXSCREEN));
  const std::string height = std::to_string(win::GetSystemMetrics(win::SM_CYSCREEN));
  EXPECT_EQ(Calls(), (Log{"put_Owner 0", "put_WindowStyle 0", "put_WindowStyleEx 0",
                          "SetWindowPosition 0 0 " + width + " " + height, "put_Caption Gallery",
                          "put_MessageDrain " + Number(window_.GetHandle()), "Run"}));
}

TEST_F(VideoWindowTest, ARunTimeWindowLeavingFullScreenBecomesAClippedChildOfTheParent) {
  TCustomForm form(nullptr);
  form.SetBounds(0, 0, 640, 480);
  window_.SetParent(&form);
  window_.SetFullScreenTopMost(true);
  window_.SetFilterGraph(&graph_);
  graph_.SetActive(true);
  ConnectRenderer();
  window_.SetFullScreen(true);
  EXPECT_EQ(script().CallsStartingWith("put_WindowStyleEx"), (Log{"put_WindowStyleEx 8"}));
  Mark();
  window_.SetFullScreen(false);
  EXPECT_EQ(Calls(), (Log{"put_Owner " + Number(form.GetHandle()), "put_WindowStyle 44000000", "put_WindowStyleEx 0",
                          "SetWindowPosition 10 20 320 180"}));
  window_.SetParent(nullptr);
}

TEST_F(VideoWindowTest, PlayPlacesTheWindowAndResizingFollowsUnlessFullScreen) {
  window_.SetFilterGraph(&graph_);
  graph_.SetActive(true);
  ConnectRenderer();
  Mark();
  window_.SetBounds(0, 0, 200, 100);
  EXPECT_EQ(script().CallsStartingWith("SetWindowPosition").back(), "SetWindowPosition 0 0 200 100");
  window_.SetFullScreen(true);
  Mark();
  window_.SetBounds(5, 5, 50, 50);
  EXPECT_TRUE(script().CallsStartingWith("SetWindowPosition").empty());
}

TEST_F(VideoWindowTest, VisibilityReachesTheRendererWindow) {
  window_.SetFilterGraph(&graph_);
  graph_.SetActive(true);
  Mark();
  window_.SetVisible(false);
  window_.SetVisible(true);
  EXPECT_EQ(Calls(), (Log{"put_Visible 0", "put_Visible -1"}));
}

TEST_F(VideoWindowTest, APaletteChangePlacesAgainAndTheMixingRendererDeviceEventNamesTheWindow) {
  window_.SetMode(vmVMR);
  window_.SetFilterGraph(&graph_);
  graph_.SetActive(true);
  Mark();
  script().Fire(win::EC_VMR_RENDERDEVICE_SET, 4, 0);
  Application->ProcessMessages();
  EXPECT_EQ(Calls(), (Log{"put_Caption Gallery", "put_MessageDrain " + Number(window_.GetHandle())}));
  Mark();
  script().Fire(win::EC_PALETTE_CHANGED, 0, 0);
  Application->ProcessMessages();
  EXPECT_EQ(Calls(), (Log{"put_Caption Gallery", "put_MessageDrain " + Number(window_.GetHandle())}));
}

TEST_F(VideoWindowTest, AFailingPlacementRaisesTheGraphError) {
  window_.SetFilterGraph(&graph_);
  graph_.SetActive(true);
  ConnectRenderer();
  script().results["put_Owner"] = win::E_UNEXPECTED;
  try {
    window_.SetFullScreen(true);
    FAIL() << "no exception";
  } catch (const EDirectShowException& error) {
    EXPECT_EQ(error.ErrorCode, win::E_UNEXPECTED);
  }
}

TEST_F(VideoWindowTest, ADvdGraphsOwnRendererIsAdopted) {
  graph_.SetMode(gmDVD);
  graph_.SetActive(true);
  win::ComPtr<win::IBaseFilter> builder_renderer;
  ASSERT_EQ(win::CoCreateInstance(win::CLSID_VideoRenderer, nullptr, win::CLSCTX_INPROC_SERVER, win::IID_IBaseFilter,
                                  reinterpret_cast<void**>(builder_renderer.ReleaseAndGetAddressOf())),
            win::S_OK);
  win::ComPtr<win::IFilterGraph> filters;
  ASSERT_EQ(graph_.QueryInterface(win::IID_IFilterGraph, reinterpret_cast<void**>(filters.ReleaseAndGetAddressOf())),
            win::S_OK);
  filters->AddFilter(builder_renderer.Get(), u"Video Renderer");
  window_.SetFilterGraph(&graph_);
  // Our renderer is in the graph: nothing is adopted.
  window_.ControlEvent(gcDVDRendered, 0);
  EXPECT_NE(window_.GetFilter().Get(), builder_renderer.Get());
  filters->RemoveFilter(window_.GetFilter().Get());
  window_.ControlEvent(gcDVDRendered, 0);
  EXPECT_EQ(window_.GetFilter().Get(), builder_renderer.Get());
  Mark();
  window_.SetVisible(false);
  EXPECT_EQ(Calls(), (Log{"put_Visible 0"})) << "the adopted renderer's window";
  window_.SetFilterGraph(nullptr);
}

TEST_F(VideoWindowTest, DestroyingAWindowInAnActiveGraphTakesItsRendererOut) {
  auto* window = new TVideoWindow(nullptr);
  window->SetName("Late");
  window->SetMode(vmVMR);
  window->GetVMROptions()->SetMode(vmrRenderless);
  Log allocator_log;
  window->SetAllocatorClass([&](win::HRESULT& result, win::HWND, win::IUnknown*, win::IUnknown*) -> win::IUnknown* {
    result = win::S_OK;
    return new TestAllocator(allocator_log);
  });
  window->SetFilterGraph(&graph_);
  graph_.SetActive(true);
  Mark();
  delete window;  // the removal reads the options, which are still there
  EXPECT_EQ(Calls(), (Log{"Stop Late", "Disconnect Late.VMR Input0", "RemoveFilter Late"}));
  EXPECT_EQ(allocator_log, (Log{"AdviseNotify", "allocator freed"}));
}

// A renderer of a stalled engine: its Stop answers a time-out at once.
constexpr win::HRESULT kStalled = win::VFW_E_TIMEOUT;

std::string FileText(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST_F(VideoWindowTest, AStalledRendererLeavesTheGraphWhicheverIsFreedFirst) {
  for (const bool window_first : {true, false}) {
    SCOPED_TRACE(window_first ? "window freed first" : "graph freed first");
    const std::string log_path = ::testing::TempDir() + "stalled_graph.log";
    auto* graph = new TFilterGraph(nullptr);
    auto* window = new TVideoWindow(nullptr);
    window->SetName("Late");
    window->SetFilterGraph(graph);
    graph->SetLogFile(log_path);
    graph->SetActive(true);
    std::vector<win::HRESULT> errors;
    graph->OnGraphErrorAbort = [&](TObject*, win::HRESULT Result) { errors.push_back(Result); };
    script().results["FilterStop"] = kStalled;
    Mark();
    if (window_first) {
      EXPECT_NO_THROW(delete window);
      EXPECT_EQ(Calls(), (Log{"Stop Late", "Disconnect Late.In", "RemoveFilter Late"}));
      Application->ProcessMessages();
      EXPECT_EQ(errors, (std::vector<win::HRESULT>{kStalled})) << "reported as the graph's error event";
      EXPECT_NO_THROW(delete graph);
    } else {
      EXPECT_NO_THROW(delete graph);
      EXPECT_EQ(Calls(), (Log{"Stop Late", "Disconnect Late.In", "RemoveFilter Late", "SetNotifyFlags 1",
                              "SetLogFile 0", "SetSite nil"}));
      EXPECT_FALSE(window->GetFilter()) << "released although it did not stop";
      EXPECT_NE(FileText(log_path).find("Removing Late failed: "), std::string::npos) << FileText(log_path);
      EXPECT_NO_THROW(delete window);
    }
    script().results.clear();
    std::remove(log_path.c_str());
  }
}

TEST_F(VideoWindowTest, AStalledRendererRaisesToTheCallerAfterTheGraphWentInactive) {
  window_.SetFilterGraph(&graph_);
  graph_.SetActive(true);
  script().results["FilterStop"] = kStalled;
  try {
    graph_.SetActive(false);
    FAIL() << "no exception";
  } catch (const EDirectShowException& error) {
    EXPECT_EQ(error.ErrorCode, kStalled);
  }
  EXPECT_FALSE(graph_.GetActive());
  EXPECT_FALSE(window_.GetFilter());
  graph_.SetActive(true);
  EXPECT_THROW(window_.SetFilterGraph(nullptr), EDirectShowException);
  EXPECT_EQ(window_.GetFilterGraph(), nullptr) << "unlinked all the same";
  Mark();
  graph_.Play();
  EXPECT_EQ(Calls(), (Log{"Run"})) << "the graph no longer calls the window";
}

// What a program does at its end: the page frees its graph and the window linked to it while
// the engine is stalled. The child process must end normally, whichever goes first.
TEST(VideoWindowExitTest, AProgramFreeingAStalledGraphAndItsWindowExitsNormally) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const bool window_first : {true, false}) {
    EXPECT_EXIT(
        {
          win::fake::ScopedFakeMediaGraph fake;
          auto* graph = new TFilterGraph(nullptr);
          auto* window = new TVideoWindow(nullptr);
          window->SetName("Page");
          window->SetFilterGraph(graph);
          graph->SetActive(true);
          fake.script().results["FilterStop"] = kStalled;
          if (window_first) {
            delete window;
            delete graph;
          } else {
            delete graph;
            delete window;
          }
          std::exit(0);
        },
        ::testing::ExitedWithCode(0), "")
        << (window_first ? "window first" : "graph first");
  }
}

TEST_F(VideoWindowTest, InFullScreenTheMouseReportsTheCursorsScreenPosition) {
  std::vector<std::string> seen;
  window_.OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int X, int Y) {
    seen.push_back("down " + std::to_string(X) + " " + std::to_string(Y));
  };
  window_.OnMouseMove = [&](TObject*, TShiftState, int X, int Y) {
    seen.push_back("move " + std::to_string(X) + " " + std::to_string(Y));
  };
  window_.OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int X, int Y) {
    seen.push_back("up " + std::to_string(X) + " " + std::to_string(Y));
  };
  auto click = [&] {
    seen.clear();
    window_.Perform(win::WM_MOUSEMOVE, 0, win::MAKELPARAM(3, 4));
    window_.Perform(win::WM_LBUTTONDOWN, win::MK_LBUTTON, win::MAKELPARAM(3, 4));
    window_.Perform(win::WM_LBUTTONUP, 0, win::MAKELPARAM(3, 4));
    return seen;
  };
  const Log in_control{"move 3 4", "down 3 4", "up 3 4"};
  win::SetCursorPos(700, 500);
  window_.SetFilterGraph(&graph_);
  graph_.SetActive(true);
  window_.SetFullScreen(true);
  EXPECT_EQ(click(), in_control) << "nothing rendered yet: the renderer's window is not placed";
  ConnectRenderer();
  window_.SetFullScreen(true);
  EXPECT_EQ(click(), (Log{"move 700 500", "down 700 500", "up 700 500"}));
  window_.SetFullScreen(false);
  EXPECT_EQ(click(), in_control);
}

TEST_F(VideoWindowTest, AGraphThatGoesAwayIsForgotten) {
  auto* graph = new TFilterGraph(nullptr);
  window_.SetFilterGraph(graph);
  delete graph;
  EXPECT_EQ(window_.GetFilterGraph(), nullptr);
}

TEST_F(VideoWindowTest, InFullScreenTheContextMenuOpensAtTheCursorAndIsAnswered) {
  TPopupMenu menu(nullptr);
  auto* item = new TMenuItem(nullptr);
  item->SetCaption("Leave full screen");
  int clicks = 0;
  item->OnClick = [&](TObject*) { ++clicks; };
  menu.GetItems()->Add(item);
  window_.SetPopupMenu(&menu);
  win::POINT shown_at{};
  const win::MenuChooser previous = win::SetMenuChooser([&](win::HMENU, win::POINT at, win::HWND) {
    shown_at = at;
    return item->GetCommand();
  });
  win::SetCursorPos(123, 45);
  window_.SetFullScreen(true);
  EXPECT_EQ(window_.Perform(win::WM_CONTEXTMENU, 0, win::MAKELPARAM(1, 2)), 1);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(shown_at.x, 123);
  EXPECT_EQ(shown_at.y, 45);
  EXPECT_EQ(menu.GetPopupComponent(), &window_);
  win::SetMenuChooser(previous);
  window_.SetPopupMenu(nullptr);
}

}  // namespace
}  // namespace dashtune
