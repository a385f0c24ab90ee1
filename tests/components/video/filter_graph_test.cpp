// TFilterGraph over the fake graph: modes, linked filters, listeners and events.
#include "components/video/filter_graph.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "components/video/ds_util.h"
#include "platform/core/clock.h"
#include "platform/core/strings.h"
#include "platform/dshow/fake_graph.h"
#include "platform/dshow/property_bag.h"
#include "platform/user/messages.h"

namespace dashtune {
namespace {

using win::ComPtr;
using win::fake::FakeGraphScript;

const char* const kControlNames[] = {"gcPlay", "gcPause", "gcStop", "gcFileRendering",
                                     "gcFileRendered", "gcDVDRendering", "gcDVDRendered", "gcActivation"};
const char* const kLinkNames[] = {"lfAdding", "lfAdded", "lfRemoving", "lfRemoved"};

// A control linked to the graph: contributes a fake renderer and records its notifications in
// the script's call log, so that the graph's calls and the control's steps share one order.
class TestLink final : public ILinkedFilter {
 public:
  TestLink(FakeGraphScript& script, const std::string& name) : script_(script), name_(name) {
    filter_.Attach(win::fake::CreateFakeFilter(script, name, {{"In", win::PINDIR_INPUT}}));
  }
  win::HRESULT QueryInterface(win::REFIID, void**) override { return win::E_NOINTERFACE; }
  win::ULONG AddRef() override { return 2; }
  win::ULONG Release() override { return 1; }

  ComPtr<win::IBaseFilter> GetFilter() override { return filter_; }
  std::string GetFilterName() override { return name_; }
  void NotifyFilter(TLinkedFilterOperation operation, int param) override {
    script_.calls.push_back(std::string(kLinkNames[operation]) + " " + name_ + " " + std::to_string(param));
  }

  ComPtr<win::IBaseFilter> filter_;

 private:
  FakeGraphScript& script_;
  std::string name_;
};

class TestListener final : public IGraphListener {
 public:
  explicit TestListener(FakeGraphScript& script) : script_(script) {}
  win::HRESULT QueryInterface(win::REFIID, void**) override { return win::E_NOINTERFACE; }
  win::ULONG AddRef() override { return 2; }
  win::ULONG Release() override { return 1; }

  void GraphEvent(win::LONG Event, win::LONG_PTR Param1, win::LONG_PTR Param2) override {
    script_.calls.push_back("GraphEvent " + std::to_string(Event) + " " + std::to_string(Param1) + " " +
                            std::to_string(Param2));
  }
  void ControlEvent(TGraphControlEvent Event, win::LONG_PTR Param) override {
    script_.calls.push_back(std::string(kControlNames[Event]) + " " + std::to_string(Param));
  }

 private:
  FakeGraphScript& script_;
};

class FilterGraphTest : public ::testing::Test {
 protected:
  FakeGraphScript& script() { return fake_.script(); }
  // Calls logged from now on.
  void Mark() { script().calls.clear(); }
  const std::vector<std::string>& Calls() { return script().calls; }

  // Delivers posted messages to their windows until none is left.
  static void PumpMessages() { Application->ProcessMessages(); }

  // The scripted graph never waits: everything here runs on the fake clock, which nobody moves.
  win::ScopedFakeClock clock_;
  win::fake::ScopedFakeMediaGraph fake_;
  TestLink link_{script(), "Renderer"};
  TestListener listener_{script()};
  // Last: goes first, while the controls it tells are still there.
  TFilterGraph graph_{nullptr};
};

using Log = std::vector<std::string>;

TEST_F(FilterGraphTest, StartsInactiveWithTheDefaults) {
  EXPECT_FALSE(graph_.GetActive());
  EXPECT_EQ(graph_.GetMode(), gmNormal);
  EXPECT_EQ(graph_.GetVolume(), 10000);
  EXPECT_EQ(graph_.GetBalance(), 0);
  EXPECT_EQ(graph_.GetRate(), 1.0);
  EXPECT_TRUE(graph_.GetLinearVolume());
  EXPECT_NE(graph_.GetNotifyWindow(), nullptr);
  EXPECT_EQ(graph_.GetState(), gsUninitialized);
}

TEST_F(FilterGraphTest, ActivationAndDeactivationFollowTheirOrder) {
  graph_.AddLinkedFilter(&link_);
  graph_.AddListener(&listener_);
  graph_.OnActivate = [this](TObject*) { script().calls.push_back("OnActivate"); };
  Mark();
  graph_.SetActive(true);
  EXPECT_EQ(Calls(), (Log{"SetNotifyFlags 0", "SetNotifyWindow 32769", "SetSite", "SetSite", "SetLogFile 0",
                          "lfAdding Renderer 0", "AddFilter Renderer", "lfAdded Renderer 0", "OnActivate",
                          "gcActivation 1"}));
  Mark();
  graph_.SetActive(true);
  EXPECT_TRUE(Calls().empty());

  graph_.SetActive(false);
  EXPECT_EQ(Calls(), (Log{"gcActivation 0", "lfRemoving Renderer 0", "RemoveFilter Renderer", "lfRemoved Renderer 0",
                          "SetNotifyFlags 1", "SetLogFile 0", "SetSite nil"}));
  Mark();
  graph_.SetActive(false);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(FilterGraphTest, LinkedFiltersJoinAndLeaveAnActiveGraphAtOnce) {
  graph_.SetActive(true);
  Mark();
  graph_.AddLinkedFilter(&link_);
  graph_.RemoveLinkedFilter(&link_);
  EXPECT_EQ(Calls(), (Log{"lfAdding Renderer 0", "AddFilter Renderer", "lfAdded Renderer 0", "lfRemoving Renderer 0",
                          "RemoveFilter Renderer", "lfRemoved Renderer 0"}));
  Mark();
  graph_.RemoveLinkedFilter(&link_);  // no longer linked: nothing
  graph_.SetActive(false);
  EXPECT_EQ(Calls(), (Log{"SetNotifyFlags 1", "SetLogFile 0", "SetSite nil"}));
}

TEST_F(FilterGraphTest, ModeChangePassesThroughInactive) {
  graph_.AddListener(&listener_);
  graph_.SetMode(gmDVD);  // inactive: only stored
  EXPECT_TRUE(Calls().empty());
  graph_.SetActive(true);
  Mark();
  graph_.SetMode(gmCapture);
  const std::vector<std::string> activation = script().CallsStartingWith("gcActivation");
  EXPECT_EQ(activation, (Log{"gcActivation 0", "gcActivation 1"}));
  EXPECT_EQ(script().CallsStartingWith("SetFiltergraph").size(), 1u);
  EXPECT_TRUE(graph_.GetActive());
  EXPECT_EQ(graph_.GetMode(), gmCapture);
}

TEST_F(FilterGraphTest, DvdModeTakesTheBuildersGraphAndRendersWithFlags) {
  graph_.AddListener(&listener_);
  graph_.SetMode(gmDVD);
  graph_.SetActive(true);
  EXPECT_EQ(script().CallsStartingWith("GetFiltergraph").size(), 1u);
  EXPECT_EQ(graph_.GetState(), gsStopped);  // the builder's graph answers
  Mark();
  win::AM_DVD_RENDERSTATUS status;
  EXPECT_EQ(graph_.RenderDVD(status, u"/media/dvd", 1), win::S_OK);
  EXPECT_EQ(Calls(), (Log{"gcDVDRendering 1", "RenderDvdVideoVolume /media/dvd 1", "gcDVDRendered 1",
                          "put_Volume 0", "put_Balance 0", "SetRate 1"}));
  Mark();
  EXPECT_EQ(graph_.RenderDVD(status, u"", 1), win::S_OK);
  EXPECT_EQ(Calls()[1], "RenderDvdVideoVolume (nil) 1");
}

TEST_F(FilterGraphTest, RenderDvdNeedsTheDvdBuilder) {
  win::AM_DVD_RENDERSTATUS status;
  EXPECT_EQ(graph_.RenderDVD(status, u"x", 1), static_cast<win::HRESULT>(0x8004027Au));
  graph_.SetActive(true);
  EXPECT_EQ(graph_.RenderDVD(status, u"x", 1), static_cast<win::HRESULT>(0x8004027Au));
  EXPECT_TRUE(script().CallsStartingWith("RenderDvd").empty());
}

TEST_F(FilterGraphTest, ClearGraphKeepsTheLinkedFiltersDisconnected) {
  graph_.AddLinkedFilter(&link_);
  graph_.AddListener(&listener_);
  graph_.SetActive(true);
  ComPtr<win::IBaseFilter> source;
  source.Attach(win::fake::CreateFakeFilter(script(), "Source", {{"Out", win::PINDIR_OUTPUT}}));
  ComPtr<win::IFilterGraph2> fake_graph;
  graph_.QueryInterface(win::IID_IFilterGraph2, reinterpret_cast<void**>(fake_graph.ReleaseAndGetAddressOf()));
  ASSERT_TRUE(fake_graph);
  fake_graph->AddFilter(source.Get(), u"Source");
  win::fake::ConnectFakePins(source.Get(), "Out", link_.filter_.Get(), "In");
  Mark();
  graph_.ClearGraph();
  EXPECT_EQ(Calls(), (Log{"gcStop 0", "Stop", "Disconnect Renderer.In", "Disconnect Source.Out", "RemoveFilter Source"}));
  TFilterList remaining(fake_graph.Get());
  ASSERT_EQ(remaining.GetCount(), 1);
  EXPECT_EQ(remaining.GetItem(0).Get(), link_.filter_.Get());
}

TEST_F(FilterGraphTest, ClearGraphRaisesAFailedRemoval) {
  graph_.SetActive(true);
  ComPtr<win::IBaseFilter> source;
  source.Attach(win::fake::CreateFakeFilter(script(), "Source", {}));
  ComPtr<win::IFilterGraph2> fake_graph;
  graph_.QueryInterface(win::IID_IFilterGraph2, reinterpret_cast<void**>(fake_graph.ReleaseAndGetAddressOf()));
  fake_graph->AddFilter(source.Get(), u"Source");
  script().results["RemoveFilter"] = win::E_FAIL;
  EXPECT_THROW(graph_.ClearGraph(), EDirectShowException);
}

struct VolumeCase {
  bool linear;
  int volume;
  int stored;
  const char* call;
};

class FilterGraphVolumeTest : public FilterGraphTest, public ::testing::WithParamInterface<VolumeCase> {};

TEST_P(FilterGraphVolumeTest, ClampsAndConverts) {
  const VolumeCase& test = GetParam();
  graph_.SetActive(true);
  graph_.SetLinearVolume(test.linear);
  Mark();
  graph_.SetVolume(test.volume);
  EXPECT_EQ(graph_.GetVolume(), test.stored);
  EXPECT_EQ(Calls(), (Log{test.call}));
}

INSTANTIATE_TEST_SUITE_P(Table, FilterGraphVolumeTest,
                         ::testing::Values(VolumeCase{true, 0, 0, "put_Volume -10000"},
                                           VolumeCase{true, 10000, 10000, "put_Volume 0"},
                                           VolumeCase{true, 20000, 10000, "put_Volume 0"},
                                           VolumeCase{true, -5, 0, "put_Volume -10000"},
                                           VolumeCase{true, 1000, 1000, "put_Volume -2499"},
                                           VolumeCase{false, 10000, 10000, "put_Volume 0"},
                                           VolumeCase{false, 0, 0, "put_Volume -10000"},
                                           VolumeCase{false, 2500, 2500, "put_Volume -7500"}));

struct BalanceCase {
  bool linear;
  int balance;
  int stored;
  const char* call;
};

class FilterGraphBalanceTest : public FilterGraphTest, public ::testing::WithParamInterface<BalanceCase> {};

TEST_P(FilterGraphBalanceTest, ClampsAndConverts) {
  const BalanceCase& test = GetParam();
  graph_.SetActive(true);
  graph_.SetLinearVolume(test.linear);
  Mark();
  graph_.SetBalance(test.balance);
  EXPECT_EQ(graph_.GetBalance(), test.stored);
  EXPECT_EQ(Calls(), (Log{test.call}));
}

INSTANTIATE_TEST_SUITE_P(Table, FilterGraphBalanceTest,
                         ::testing::Values(BalanceCase{true, 100, 100, "put_Balance -5011"},
                                           BalanceCase{true, -100, -100, "put_Balance 5011"},
                                           BalanceCase{true, 30000, 10000, "put_Balance -10000"},
                                           BalanceCase{true, -30000, -10000, "put_Balance 10000"},
                                           BalanceCase{false, 100, 100, "put_Balance 100"},
                                           BalanceCase{false, -20000, -10000, "put_Balance -10000"}));

TEST_F(FilterGraphTest, LinearVolumeSwitchAppliesVolumeAndBalanceAgain) {
  graph_.SetActive(true);
  graph_.SetVolume(5000);
  Mark();
  graph_.SetLinearVolume(false);
  EXPECT_EQ(Calls(), (Log{"put_Volume -5000", "put_Balance 0"}));
  Mark();
  graph_.SetLinearVolume(false);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(FilterGraphTest, RateIsPassedAsGiven) {
  graph_.SetRate(0.5);  // inactive: only stored
  EXPECT_TRUE(Calls().empty());
  graph_.SetActive(true);
  Mark();
  graph_.SetRate(-2.5);
  EXPECT_EQ(graph_.GetRate(), -2.5);
  EXPECT_EQ(Calls(), (Log{"SetRate -2.5"}));
}

TEST_F(FilterGraphTest, SettersOnlyStoreWithoutTheInterfaces) {
  script().hidden = {"IBasicAudio", "IMediaSeeking"};
  graph_.SetActive(true);
  Mark();
  graph_.SetVolume(300);
  graph_.SetBalance(-300);
  graph_.SetRate(2.0);
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(graph_.GetVolume(), 300);
  EXPECT_EQ(graph_.GetBalance(), -300);
  EXPECT_EQ(graph_.GetRate(), 2.0);
}

TEST_F(FilterGraphTest, PlayPauseAndStopSendTheirControlEventsFirst) {
  graph_.AddListener(&listener_);
  EXPECT_FALSE(graph_.Play());  // inactive: no event
  EXPECT_TRUE(Calls().empty());
  graph_.SetActive(true);
  Mark();
  script().results["Run"] = win::S_FALSE;
  EXPECT_TRUE(graph_.Play());
  EXPECT_EQ(graph_.GetState(), gsPlaying);
  script().results["Pause"] = win::S_FALSE;
  EXPECT_FALSE(graph_.Pause());
  script().results["Pause"] = win::S_OK;
  EXPECT_TRUE(graph_.Pause());
  EXPECT_EQ(graph_.GetState(), gsPaused);
  EXPECT_TRUE(graph_.Stop());
  EXPECT_EQ(graph_.GetState(), gsStopped);
  EXPECT_EQ(Calls(), (Log{"gcPlay 0", "Run", "GetState 0", "gcPause 0", "Pause", "gcPause 0", "Pause", "GetState 0",
                          "gcStop 0", "Stop", "GetState 0"}));
  script().results["Run"] = win::VFW_E_WRONG_STATE;
  EXPECT_THROW(graph_.Play(), EDirectShowException);
}

TEST_F(FilterGraphTest, RenderFileOrderAndFailure) {
  graph_.AddListener(&listener_);
  EXPECT_EQ(graph_.RenderFile(u"clip.ogg"), win::S_FALSE);  // no graph
  EXPECT_TRUE(Calls().empty());
  graph_.SetActive(true);
  graph_.SetVolume(0);
  Mark();
  script().results["RenderFile"] = win::VFW_S_PARTIAL_RENDER;
  EXPECT_EQ(graph_.RenderFile(u"clip.ogg"), win::VFW_S_PARTIAL_RENDER);
  EXPECT_EQ(Calls(), (Log{"gcFileRendering 0", "RenderFile clip.ogg", "put_Volume -10000", "put_Balance 0",
                          "SetRate 1", "gcFileRendered 0"}));
  Mark();
  script().results["RenderFile"] = win::VFW_E_CANNOT_RENDER;
  try {
    graph_.RenderFile(u"clip.ogg");
    FAIL() << "no exception";
  } catch (const EDirectShowException& error) {
    EXPECT_EQ(error.ErrorCode, win::VFW_E_CANNOT_RENDER);
  }
  EXPECT_EQ(Calls(), (Log{"gcFileRendering 0", "RenderFile clip.ogg"}));
}

TEST_F(FilterGraphTest, UncreatableObjectsAreNeverCalled) {
  script().uncreatable = {"FilterGraph", "CaptureGraphBuilder2", "DvdGraphBuilder"};
  graph_.AddLinkedFilter(&link_);
  graph_.AddListener(&listener_);
  for (TGraphMode mode : {gmNormal, gmCapture, gmDVD}) {
    graph_.SetMode(mode);
    graph_.SetActive(true);
    EXPECT_TRUE(graph_.GetActive());
    EXPECT_FALSE(graph_.Play());
    EXPECT_FALSE(graph_.Pause());
    EXPECT_FALSE(graph_.Stop());
    EXPECT_EQ(graph_.GetState(), gsUninitialized);
    EXPECT_EQ(graph_.RenderFile(u"clip.ogg"), win::S_FALSE);
    win::AM_DVD_RENDERSTATUS status;
    EXPECT_EQ(graph_.RenderDVD(status, u"", 1), static_cast<win::HRESULT>(0x8004027Au));
    graph_.ClearGraph();
    graph_.SetVolume(10);
    graph_.SetActive(false);
  }
  // Only the controls were told; no graph object was ever called.
  for (const std::string& call : Calls()) {
    EXPECT_TRUE(call.rfind("gc", 0) == 0 || call.rfind("lf", 0) == 0) << call;
  }
}

TEST_F(FilterGraphTest, GraphEditRegistersOnlyWhileActive) {
  graph_.SetGraphEdit(true);
  EXPECT_TRUE(graph_.GetGraphEdit());
  graph_.SetActive(true);
  ComPtr<win::IFilterGraph2> fake_graph;
  graph_.QueryInterface(win::IID_IFilterGraph2, reinterpret_cast<void**>(fake_graph.ReleaseAndGetAddressOf()));
  ComPtr<win::IRunningObjectTable> table;
  win::GetRunningObjectTable(0, table.ReleaseAndGetAddressOf());
  ComPtr<win::IMoniker> name;
  win::CreateItemMoniker(u"!", video::GraphItemName(fake_graph.Get()).c_str(), name.ReleaseAndGetAddressOf());
  EXPECT_EQ(table->IsRunning(name.Get()), win::S_OK);
  graph_.SetGraphEdit(false);
  EXPECT_EQ(table->IsRunning(name.Get()), win::S_FALSE);
  graph_.SetGraphEdit(true);
  EXPECT_EQ(table->IsRunning(name.Get()), win::S_OK);
  fake_graph.Reset();
  graph_.SetActive(false);
  EXPECT_EQ(table->IsRunning(name.Get()), win::S_FALSE);
}

TEST_F(FilterGraphTest, LogFileIsCreatedAndPassedWhileActive) {
  const std::string path = ::testing::TempDir() + "/graph.log";
  graph_.SetLogFile(path);  // inactive: only stored
  EXPECT_TRUE(Calls().empty());
  graph_.SetActive(true);
  EXPECT_EQ(script().CallsStartingWith("SetLogFile"), (Log{"SetLogFile 0", "SetLogFile handle"}));
  Mark();
  script().results["SetLogFile"] = win::E_FAIL;
  graph_.SetLogFile(path + ".other");
  EXPECT_EQ(Calls(), (Log{"SetLogFile 0", "SetLogFile handle", "SetLogFile 0"}));
  EXPECT_EQ(graph_.GetLogFile(), path);  // the old name stays
  script().results.erase("SetLogFile");
  graph_.SetLogFile("/nonexistent-directory/graph.log");
  EXPECT_EQ(graph_.GetLogFile(), path);
}

TEST_F(FilterGraphTest, QueryInterfaceAsksTheGraphOnlyWhileActive) {
  ComPtr<win::IMediaControl> control;
  EXPECT_EQ(graph_.QueryInterface(win::IID_IMediaControl, reinterpret_cast<void**>(control.ReleaseAndGetAddressOf())),
            win::E_NOINTERFACE);
  void* service = nullptr;
  EXPECT_EQ(graph_.QueryInterface(win::IID_IServiceProvider, &service), win::S_OK);
  graph_.SetMode(gmDVD);
  graph_.SetActive(true);
  ComPtr<win::IDvdInfo2> info;
  EXPECT_EQ(graph_.QueryInterface(win::IID_IDvdInfo2, reinterpret_cast<void**>(info.ReleaseAndGetAddressOf())), win::S_OK);
  EXPECT_EQ(graph_.QueryInterface(win::IID_IMediaControl, reinterpret_cast<void**>(control.ReleaseAndGetAddressOf())),
            win::S_OK);
}

TEST_F(FilterGraphTest, BuilderCallbacksReachTheHandlers) {
  void* self = nullptr;
  EXPECT_EQ(graph_.QueryService(IID_IFilterGraphOwner, IID_IFilterGraphOwner, &self), win::S_OK);
  EXPECT_EQ(self, &graph_);
  EXPECT_EQ(graph_.QueryService(IID_IFilterGraphOwner, win::IID_IUnknown, &self), win::E_NOINTERFACE);

  ComPtr<win::IMoniker> moniker;
  moniker.Attach(win::CreateFactoryMoniker("vorbisdec", "Vorbis audio decoder"));
  EXPECT_EQ(graph_.SelectedFilter(moniker.Get()), win::S_OK);  // no handler
  std::u16string seen_name;
  win::GUID seen_class;
  graph_.OnSelectedFilter = [&](win::IMoniker*, const std::u16string& name, const win::GUID& class_id) {
    seen_name = name;
    seen_class = class_id;
    return false;
  };
  EXPECT_EQ(graph_.SelectedFilter(moniker.Get()), win::E_FAIL);
  EXPECT_EQ(seen_name, u"Vorbis audio decoder");
  EXPECT_EQ(seen_class, win::FactoryClassId("vorbisdec"));

  graph_.OnCreatedFilter = [](win::IBaseFilter*, const win::GUID&) { return true; };
  EXPECT_EQ(graph_.CreatedFilter(link_.filter_.Get()), win::S_OK);
}

TEST_F(FilterGraphTest, UnableToRenderFindsTheOwningGraphThroughItsPin) {
  int asked = 0;
  graph_.OnUnableToRender = [&](win::IPin*) {
    ++asked;
    return true;
  };
  ComPtr<win::IPin> pin;
  link_.filter_->FindPin(u"In", pin.ReleaseAndGetAddressOf());
  EXPECT_EQ(graph_.UnableToRender(pin.Get()), win::S_FALSE);  // the filter is in no graph
  EXPECT_EQ(asked, 0);
  graph_.AddLinkedFilter(&link_);
  graph_.SetActive(true);
  EXPECT_EQ(graph_.UnableToRender(pin.Get()), win::S_OK);
  EXPECT_EQ(asked, 1);
  graph_.OnUnableToRender = [](win::IPin*) { return false; };
  EXPECT_EQ(graph_.UnableToRender(pin.Get()), win::S_FALSE);
  EXPECT_EQ(graph_.UnableToRender(nullptr), win::S_FALSE);
}

TEST_F(FilterGraphTest, LoadedActivatesWhenAutoCreateIsSet) {
  graph_.SetAutoCreate(true);
  graph_.Loaded();
  EXPECT_TRUE(graph_.GetActive());
  TFilterGraph designing(nullptr);
  designing.SetAutoCreate(true);
  designing.SetDesigning(true);
  designing.Loaded();
  EXPECT_FALSE(designing.GetActive());
}

// ---- events ----

TEST_F(FilterGraphTest, NotificationsArePumpedAndEveryEventIsFreedEvenWhenAHandlerRaises) {
  graph_.AddListener(&listener_);
  graph_.SetActive(true);
  std::vector<std::string> shown;
  Application->OnException = [&](TObject*, const Exception& error) { shown.push_back(error.GetMessage()); };
  int completions = 0;
  graph_.OnGraphErrorAbort = [](TObject*, win::HRESULT) { throw Exception("handler failed"); };
  graph_.OnGraphComplete = [&](TObject*, win::HRESULT, win::IBaseFilter*) { ++completions; };
  script().Fire(win::EC_ERRORABORT, win::E_FAIL, 0);
  script().Fire(win::EC_COMPLETE, win::S_OK, 0);
  PumpMessages();
  Application->OnException = nullptr;
  EXPECT_EQ(shown, (Log{"handler failed"}));
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(script().freed_events, 2);
  EXPECT_TRUE(script().events.empty());
}

TEST_F(FilterGraphTest, WithoutHandlersEveryPendingEventIsStillReadAndFreed) {
  graph_.SetActive(true);
  for (int i = 0; i < 5; ++i) script().Fire(win::EC_CLOCK_CHANGED, 0, 0);
  PumpMessages();
  EXPECT_EQ(script().freed_events, 5);
}

TEST_F(FilterGraphTest, MessagesAfterDeactivationReadNothing) {
  graph_.SetActive(true);
  script().Fire(win::EC_COMPLETE, 0, 0);
  graph_.SetActive(false);
  PumpMessages();
  EXPECT_EQ(script().freed_events, 0);
}

// Dispatch: every handler records what it received.
class FilterGraphEventTest : public FilterGraphTest {
 protected:
  void SetUp() override {
    graph_.AddListener(&listener_);
    graph_.SetMode(gmDVD);
    graph_.SetActive(true);
    auto add = [this](std::string text) { seen_.push_back(std::move(text)); };
    auto notify = [add](const char* name) { return [add, name](TObject*) { add(name); }; };
    graph_.OnDSEvent = [add](TObject*, win::LONG e, win::LONG_PTR, win::LONG_PTR) { add("OnDSEvent " + std::to_string(e)); };
    graph_.OnGraphComplete = [add](TObject*, win::HRESULT r, win::IBaseFilter* f) {
      add("Complete " + std::to_string(r) + (f == nullptr ? " nil" : " renderer"));
    };
    graph_.OnGraphUserAbort = notify("UserAbort");
    graph_.OnGraphErrorAbort = [add](TObject*, win::HRESULT r) { add("ErrorAbort " + std::to_string(r)); };
    graph_.OnGraphStreamErrorStopped = [add](TObject*, win::HRESULT o, std::uint32_t v) {
      add("StreamErrorStopped " + std::to_string(o) + " " + std::to_string(v));
    };
    graph_.OnGraphVideoSizeChanged = [add](TObject*, std::uint16_t w, std::uint16_t h) {
      add("VideoSize " + std::to_string(w) + "x" + std::to_string(h));
    };
    graph_.OnGraphOpeningFile = [add](TObject*, bool b) { add(std::string("OpeningFile ") + (b ? "true" : "false")); };
    graph_.OnGraphBufferingData = [add](TObject*, bool b) { add(std::string("Buffering ") + (b ? "true" : "false")); };
    graph_.OnGraphOleEvent = [add](TObject*, const std::u16string& a, const std::u16string& b) {
      add("Ole " + win::Utf16ToUtf8(a) + "|" + win::Utf16ToUtf8(b));
    };
    graph_.OnGraphEndOfSegment = [add](TObject*, std::int64_t t, std::uint32_t n) {
      add("EndOfSegment " + std::to_string(t) + " " + std::to_string(n));
    };
    graph_.OnGraphDeviceLost = [add](TObject*, win::IUnknown*, bool removed) {
      add(std::string("DeviceLost ") + (removed ? "true" : "false"));
    };
    graph_.OnGraphSNDDevOutError = [add](TObject*, _tagSND_DEVICE_ERROR w, std::uint32_t c) {
      add("SNDDevOut " + std::to_string(w) + " " + std::to_string(c));
    };
    graph_.OnGraphClockChanged = notify("ClockChanged");
    graph_.OnDVDDomainFirstPlay = notify("DomainFirstPlay");
    graph_.OnDVDDomainTitle = notify("DomainTitle");
    graph_.OnDVDDomainStop = notify("DomainStop");
    graph_.OnDVDTitleChange = [add](TObject*, int t) { add("Title " + std::to_string(t)); };
    graph_.OnDVDChapterStart = [add](TObject*, int c) { add("Chapter " + std::to_string(c)); };
    graph_.OnDVDAngleChange = [add](TObject*, int t, int c) { add("Angle " + std::to_string(t) + "/" + std::to_string(c)); };
    graph_.OnDVDStillOn = [add](TObject*, bool b, int s) {
      add(std::string("StillOn ") + (b ? "true " : "false ") + std::to_string(s));
    };
    graph_.OnDVDCurrentTime = [add](TObject*, int h, int m, int s, int f, int r) {
      add("Time " + std::to_string(h) + ":" + std::to_string(m) + ":" + std::to_string(s) + "." + std::to_string(f) +
          "@" + std::to_string(r));
    };
    graph_.OnDVDErrorInvalidDVD1_0Disc = notify("ErrorInvalidDisc");
    graph_.OnDVDWarningRead = notify("WarningRead");
    graph_.OnDVDPlaybackRateChange = [add](TObject*, float r) { add("Rate " + std::to_string(r)); };
    graph_.OnDVDAnglesAvailable = [add](TObject*, bool b) { add(std::string("Angles ") + (b ? "true" : "false")); };
    graph_.OnDVDKaraokeMode = [add](TObject*, bool b) { add(std::string("Karaoke ") + (b ? "true" : "false")); };
    graph_.OnDVDCMDEnd = [add](TObject*, std::uint32_t id) { add("CmdEnd " + std::to_string(id)); };
    graph_.OnDVDDiscEjected = notify("DiscEjected");
    graph_.OnDVDCurrentHMSFTime = [add](TObject*, const win::tagDVD_HMSF_TIMECODE& t, const win::tagDVD_TIMECODE& c) {
      add("HMSF " + std::to_string(t.bHours) + ":" + std::to_string(t.bMinutes) + ":" + std::to_string(t.bSeconds) +
          "." + std::to_string(t.bFrames) + " digits " + std::to_string(c.Minutes10) + std::to_string(c.Minutes1) +
          " rate " + std::to_string(c.FrameRateCode));
    };
    graph_.OnDVDAudioStreamChange = [add](TObject*, int s, int lcid, const std::string& lang) {
      add("Audio " + std::to_string(s) + " " + std::to_string(lcid) + " " + lang);
    };
    graph_.OnDVDSubpictureStreamChange = [add](TObject*, int s, int lcid, const std::string& lang) {
      add("Subpicture " + std::to_string(s) + " " + std::to_string(lcid) + " " + lang);
    };
    Mark();
  }

  std::vector<std::string> seen_;
};

struct EventCase {
  win::LONG code;
  win::LONG_PTR param1;
  win::LONG_PTR param2;
  const char* specific;  // the specific event's record, or null when only the first two are raised
};

class FilterGraphEventTableTest : public FilterGraphEventTest, public ::testing::WithParamInterface<EventCase> {};

TEST_P(FilterGraphEventTableTest, DecodesTheParameters) {
  const EventCase& test = GetParam();
  graph_.HandleEvent(test.code, test.param1, test.param2);
  // Listeners first, then OnDSEvent, then the specific event.
  ASSERT_EQ(Calls().size(), 1u);
  EXPECT_EQ(Calls()[0], "GraphEvent " + std::to_string(test.code) + " " + std::to_string(test.param1) + " " +
                            std::to_string(test.param2));
  Log expected{"OnDSEvent " + std::to_string(test.code)};
  if (test.specific != nullptr) expected.push_back(test.specific);
  EXPECT_EQ(seen_, expected);
}

const std::int64_t kStreamTime = 123456789012LL;

INSTANTIATE_TEST_SUITE_P(
    Graph, FilterGraphEventTableTest,
    ::testing::Values(EventCase{win::EC_COMPLETE, 0, 0, "Complete 0 nil"},
                      EventCase{win::EC_USERABORT, 0, 0, "UserAbort"},
                      EventCase{win::EC_ERRORABORT, win::E_FAIL, 0, "ErrorAbort -2147467259"},
                      EventCase{win::EC_STREAM_ERROR_STOPPED, 5, 7, "StreamErrorStopped 5 7"},
                      EventCase{win::EC_VIDEO_SIZE_CHANGED, (480 << 16) | 640, 0, "VideoSize 640x480"},
                      EventCase{win::EC_CLOCK_CHANGED, 0, 0, "ClockChanged"},
                      EventCase{win::EC_OPENING_FILE, 1, 0, "OpeningFile true"},
                      EventCase{win::EC_BUFFERING_DATA, 2, 0, "Buffering false"},
                      EventCase{win::EC_OLE_EVENT, reinterpret_cast<win::LONG_PTR>(u"verb"), 0, "Ole verb|"},
                      EventCase{win::EC_END_OF_SEGMENT, reinterpret_cast<win::LONG_PTR>(&kStreamTime), 3,
                                "EndOfSegment 123456789012 3"},
                      // The stream time is read through P1: a null P1 raises nothing specific.
                      EventCase{win::EC_END_OF_SEGMENT, 0, 3, nullptr},
                      EventCase{win::EC_DEVICE_LOST, 0, 1, "DeviceLost true"},
                      EventCase{win::EC_SNDDEV_OUT_ERROR, 9, 11, "SNDDevOut 9 11"},
                      EventCase{win::EC_TIME, 0, 0, nullptr}, EventCase{win::EC_REPAINT, 0, 0, nullptr},
                      EventCase{win::EC_LENGTH_CHANGED, 0, 0, nullptr}));

INSTANTIATE_TEST_SUITE_P(
    Dvd, FilterGraphEventTableTest,
    ::testing::Values(EventCase{win::EC_DVD_DOMAIN_CHANGE, 1, 0, "DomainFirstPlay"},
                      EventCase{win::EC_DVD_DOMAIN_CHANGE, 4, 0, "DomainTitle"},
                      EventCase{win::EC_DVD_DOMAIN_CHANGE, 5, 0, "DomainStop"},
                      EventCase{win::EC_DVD_DOMAIN_CHANGE, 6, 0, nullptr},
                      EventCase{win::EC_DVD_TITLE_CHANGE, 2, 0, "Title 2"},
                      EventCase{win::EC_DVD_CHAPTER_START, 3, 0, "Chapter 3"},
                      EventCase{win::EC_DVD_ANGLE_CHANGE, 4, 2, "Angle 4/2"},
                      EventCase{win::EC_DVD_STILL_ON, 1, 30, "StillOn true 30"},
                      // 01:23:45.12 at 25 frames per second.
                      EventCase{win::EC_DVD_CURRENT_TIME, 0x10325425, 0, "Time 1:23:45.12@25"},
                      EventCase{win::EC_DVD_CURRENT_TIME, 0x00000003, 0, "Time 0:0:0.0@30"},
                      EventCase{win::EC_DVD_CURRENT_TIME, 0x00000002, 0, "Time 0:0:0.0@0"},
                      EventCase{win::EC_DVD_ERROR, 3, 0, "ErrorInvalidDisc"},
                      EventCase{win::EC_DVD_ERROR, 2, 0, nullptr},
                      EventCase{win::EC_DVD_WARNING, 6, 0, "WarningRead"},
                      EventCase{win::EC_DVD_WARNING, 7, 0, nullptr},
                      EventCase{win::EC_DVD_PLAYBACK_RATE_CHANGE, 10000, 0, "Rate 1.000000"},
                      EventCase{win::EC_DVD_PLAYBACK_RATE_CHANGE, -20000, 0, "Rate -2.000000"},
                      EventCase{win::EC_DVD_ANGLES_AVAILABLE, 2, 0, "Angles false"},
                      EventCase{win::EC_DVD_KARAOKE_MODE, 2, 0, "Karaoke true"},
                      EventCase{win::EC_DVD_CMD_END, 77, 0, "CmdEnd 77"},
                      EventCase{win::EC_DVD_DISC_EJECTED, 0, 0, "DiscEjected"},
                      // Hours in the low byte of P1; P2's digits: minutes 2 and 3 at 25 frames.
                      EventCase{win::EC_DVD_CURRENT_HMSF_TIME, 0x0C2D1701, 0x10325425,
                                "HMSF 1:23:45.12 digits 23 rate 1"}));

TEST_F(FilterGraphEventTest, StreamLanguagesAreAskedOfTheDvdInformation) {
  graph_.HandleEvent(win::EC_DVD_AUDIO_STREAM_CHANGE, 1, 0);
  graph_.HandleEvent(win::EC_DVD_SUBPICTURE_STREAM_CHANGE, 2, 0);
  EXPECT_EQ(seen_, (Log{"OnDSEvent 260", "Audio 1 1033 English", "OnDSEvent 261", "Subpicture 2 1031 German"}));
  EXPECT_EQ(script().CallsStartingWith("Get"), (Log{"GetAudioLanguage 1", "GetSubpictureLanguage 2"}));
}

TEST_F(FilterGraphEventTest, AFailedAudioLanguageRaisesAndTheHandlerIsNotCalled) {
  script().results["GetAudioLanguage"] = win::E_FAIL;
  script().results["GetSubpictureLanguage"] = win::E_FAIL;
  EXPECT_THROW(graph_.HandleEvent(win::EC_DVD_AUDIO_STREAM_CHANGE, 1, 0), EDirectShowException);
  EXPECT_EQ(seen_, (Log{"OnDSEvent 260"}));
  // The subpicture language is not checked.
  graph_.HandleEvent(win::EC_DVD_SUBPICTURE_STREAM_CHANGE, 0, 0);
  EXPECT_EQ(seen_.back(), "Subpicture 0 1031 German");
}

TEST_F(FilterGraphEventTest, WithoutDvdInformationTheLanguageEventsRaiseNothing) {
  script().hidden = {"IDvdInfo2"};
  graph_.SetActive(false);
  graph_.SetActive(true);
  seen_.clear();
  graph_.HandleEvent(win::EC_DVD_AUDIO_STREAM_CHANGE, 1, 0);
  EXPECT_EQ(seen_, (Log{"OnDSEvent 260"}));
}

}  // namespace
}  // namespace dashtune
