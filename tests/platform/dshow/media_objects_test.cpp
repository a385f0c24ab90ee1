// Media objects: result texts, DVD languages, picture fitting, the running object table, monikers, playback.
#include "platform/dshow/media_objects.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "media_fixtures.h"
#include "platform/core/strings.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/dvd_language.h"
#include "platform/dshow/property_bag.h"
#include "platform/dshow/renderer_window.h"
#include "platform/user/surfaces.h"
#include "platform/user/window.h"
#include "platform/user/window_position.h"
#include "platform_test_support.h"

namespace win {
namespace {

using namespace std::chrono_literals;

TEST(MediaResultTextTest, HasTextsForTheGraphResultsAndTruncates) {
  char buffer[256];
  EXPECT_GT(AMGetErrorTextA(VFW_E_CANNOT_RENDER, buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "No combination of filters could be found to render the stream.");
  EXPECT_EQ(AMGetErrorTextA(static_cast<HRESULT>(0x8BADF00Du), buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "");
  char small[8];
  EXPECT_EQ(AMGetErrorTextA(E_FAIL, small, sizeof small), 7u);
  EXPECT_STREQ(small, "The ope");
  EXPECT_EQ(AMGetErrorTextA(E_FAIL, nullptr, 10), 0u);
}

TEST(DvdLanguageTest, MapsLanguageCodesToLocales) {
  const struct {
    const char* code;
    LCID locale;
  } cases[] = {{"en", 0x0409}, {"de", 0x0407}, {"FR", 0x040C}, {"ja", 0x0411},
               {"xx", 0}, {"", 0}, {"eng", 0}, {"e", 0}};
  for (const auto& test : cases) EXPECT_EQ(LocaleOfLanguageCode(test.code), test.locale) << test.code;
}

struct FitCase {
  int width, height, source_width, source_height;
  RECT expected;
};

class FitPictureTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitPictureTest, KeepsTheAspectAndCentres) {
  const FitCase& test = GetParam();
  const RECT fitted = FitPicture(test.width, test.height, test.source_width, test.source_height);
  EXPECT_EQ(fitted.left, test.expected.left);
  EXPECT_EQ(fitted.top, test.expected.top);
  EXPECT_EQ(fitted.right, test.expected.right);
  EXPECT_EQ(fitted.bottom, test.expected.bottom);
}

INSTANTIATE_TEST_SUITE_P(Table, FitPictureTest,
                         ::testing::Values(FitCase{640, 240, 320, 240, {160, 0, 480, 240}},
                                           FitCase{320, 480, 320, 240, {0, 120, 320, 360}},
                                           FitCase{320, 240, 320, 240, {0, 0, 320, 240}},
                                           FitCase{100, 100, 0, 240, {0, 0, 0, 0}},
                                           FitCase{0, 100, 320, 240, {0, 0, 0, 0}}));

TEST(RunningObjectTableTest, RegistersFindsAndRevokes) {
  ComPtr<IRunningObjectTable> table;
  ASSERT_EQ(GetRunningObjectTable(0, table.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IUnknown> graph;
  ASSERT_EQ(CreateCaptureGraphBuilderObject(IID_IUnknown, reinterpret_cast<void**>(graph.ReleaseAndGetAddressOf())), S_OK);
  ComPtr<IMoniker> name;
  ASSERT_EQ(CreateItemMoniker(u"!", u"FilterGraph test", name.ReleaseAndGetAddressOf()), S_OK);
  std::u16string display;
  name->GetDisplayName(nullptr, nullptr, &display);
  EXPECT_EQ(display, u"!FilterGraph test");

  DWORD id = 0;
  ASSERT_EQ(table->Register(0, graph.Get(), name.Get(), &id), S_OK);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(table->IsRunning(name.Get()), S_OK);
  ComPtr<IUnknown> found;
  ASSERT_EQ(table->GetObject(name.Get(), found.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(found.Get(), graph.Get());
  EXPECT_EQ(table->Revoke(id), S_OK);
  EXPECT_EQ(table->Revoke(id), E_INVALIDARG);
  EXPECT_EQ(table->IsRunning(name.Get()), S_FALSE);
  EXPECT_EQ(GetRunningObjectTable(1, table.ReleaseAndGetAddressOf()), E_INVALIDARG);
}

TEST(FactoryMonikerTest, BindsToAPropertyBagWithClassIdAndName) {
  ComPtr<IMoniker> moniker;
  moniker.Attach(CreateFactoryMoniker("theoradec", "Theora video decoder"));
  ComPtr<IPropertyBag> bag;
  ASSERT_EQ(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.ReleaseAndGetAddressOf())), S_OK);
  VARIANT name;
  ASSERT_EQ(bag->Read(u"FriendlyName", &name, nullptr), S_OK);
  EXPECT_EQ(name.bstrVal, u"Theora video decoder");
  VARIANT class_id;
  ASSERT_EQ(bag->Read(u"CLSID", &class_id, nullptr), S_OK);
  bool parsed = false;
  EXPECT_EQ(ParseGuid(Utf16ToUtf8(class_id.bstrVal), parsed), FactoryClassId("theoradec"));
  EXPECT_TRUE(parsed);
  EXPECT_FALSE(FactoryClassId("theoradec") == FactoryClassId("vorbisdec"));
  VARIANT other;
  EXPECT_EQ(bag->Read(u"Other", &other, nullptr), E_INVALIDARG);
}

// A site that answers the builder callbacks and hands itself out as a service.
class RecordingSite final : public IAMGraphBuilderCallback, public IAMFilterGraphCallback, public IServiceProvider {
 public:
  static constexpr GUID kService = MakeGuid("5B0E2D1A-9C61-4C1B-8E0B-3A9E1A7C2F10");

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IAMGraphBuilderCallback) {
      *ppv = static_cast<IAMGraphBuilderCallback*>(this);
    } else if (riid == IID_IAMFilterGraphCallback) {
      *ppv = static_cast<IAMFilterGraphCallback*>(this);
    } else if (riid == IID_IServiceProvider) {
      *ppv = static_cast<IServiceProvider*>(this);
    } else {
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }

  HRESULT SelectedFilter(IMoniker* moniker) override {
    ComPtr<IPropertyBag> bag;
    moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.ReleaseAndGetAddressOf()));
    VARIANT name;
    if (bag) bag->Read(u"FriendlyName", &name, nullptr);
    std::u16string display;
    moniker->GetDisplayName(nullptr, nullptr, &display);
    selected.push_back(Utf16ToUtf8(display));
    return display == rejected ? E_FAIL : S_OK;
  }
  HRESULT CreatedFilter(IBaseFilter* filter) override {
    ++created;
    FILTER_INFO info;
    if (SUCCEEDED(filter->QueryFilterInfo(&info)) && info.pGraph != nullptr) info.pGraph->Release();
    return S_OK;
  }
  HRESULT UnableToRender(IPin* pin) override {
    // Walk from the pin to its graph and back to this site, as the graph's clients do.
    PIN_INFO pin_info;
    if (FAILED(pin->QueryPinInfo(&pin_info)) || pin_info.pFilter == nullptr) return S_FALSE;
    ComPtr<IBaseFilter> filter;
    filter.Attach(pin_info.pFilter);
    FILTER_INFO filter_info;
    if (FAILED(filter->QueryFilterInfo(&filter_info)) || filter_info.pGraph == nullptr) {
      ++unrendered_outside_graph;
      return S_FALSE;
    }
    ComPtr<IFilterGraph> graph;
    graph.Attach(filter_info.pGraph);
    ComPtr<IServiceProvider> provider;
    graph->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(provider.ReleaseAndGetAddressOf()));
    void* self = nullptr;
    if (provider && SUCCEEDED(provider->QueryService(kService, kService, &self)) && self == this) ++unrendered_found_site;
    return S_OK;
  }
  HRESULT QueryService(REFGUID service, REFIID riid, void** ppv) override {
    if (service == kService && riid == kService) {
      *ppv = this;
      return S_OK;
    }
    return E_NOINTERFACE;
  }

  std::u16string rejected;
  std::vector<std::string> selected;
  int created = 0;
  int unrendered_found_site = 0;
  int unrendered_outside_graph = 0;
};

class MediaObjectsIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win::testing::PrepareGStreamer();
    RegisterMediaGraphClasses();
    fixtures_ = win::testing::MediaFixtureDirectory();
    ASSERT_FALSE(fixtures_.empty());
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                               reinterpret_cast<void**>(graph_.ReleaseAndGetAddressOf())),
              S_OK);
  }

  template <class Interface>
  ComPtr<Interface> As() {
    ComPtr<Interface> result;
    graph_->QueryInterface(Interface::iid, reinterpret_cast<void**>(result.ReleaseAndGetAddressOf()));
    return result;
  }

  // Reads events (waiting at most `limit` in all) until `code` arrives.
  bool WaitForEvent(LONG code, std::chrono::milliseconds limit, LONG_PTR* param1 = nullptr, LONG_PTR* param2 = nullptr) {
    ComPtr<IMediaEventEx> events = As<IMediaEventEx>();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      LONG event = 0;
      LONG_PTR p1 = 0;
      LONG_PTR p2 = 0;
      if (events->GetEvent(&event, &p1, &p2, 100) != S_OK) continue;
      events->FreeEventParams(event, p1, p2);
      if (event == code) {
        if (param1 != nullptr) *param1 = p1;
        if (param2 != nullptr) *param2 = p2;
        return true;
      }
    }
    return false;
  }

  // Waits (at most 5 s) for an event of the DVD builder's graph.
  bool WaitForBuilderEvent(IDvdGraphBuilder* builder, LONG code) {
    ComPtr<IGraphBuilder> dvd_graph;
    builder->GetFiltergraph(dvd_graph.ReleaseAndGetAddressOf());
    ComPtr<IFilterGraph2> saved = graph_;
    dvd_graph->QueryInterface(IID_IFilterGraph2, reinterpret_cast<void**>(graph_.ReleaseAndGetAddressOf()));
    const bool found = WaitForEvent(code, 5s);
    graph_ = saved;
    return found;
  }

  std::vector<std::string> FilterNames() {
    std::vector<std::string> names;
    ComPtr<IEnumFilters> filters;
    graph_->EnumFilters(filters.ReleaseAndGetAddressOf());
    IBaseFilter* filter = nullptr;
    while (filters->Next(1, &filter, nullptr) == S_OK) {
      FILTER_INFO info;
      filter->QueryFilterInfo(&info);
      names.push_back(Utf16ToUtf8(info.achName));
      if (info.pGraph != nullptr) info.pGraph->Release();
      filter->Release();
    }
    return names;
  }

  std::u16string Clip() const { return Utf8ToUtf16(fixtures_ + "/clip.ogg"); }

  std::string fixtures_;
  ComPtr<IFilterGraph2> graph_;
};

TEST_F(MediaObjectsIntegrationTest, RendersPlaysSeeksAndCompletes) {
  ASSERT_EQ(graph_->RenderFile(Clip().c_str(), nullptr), S_OK);
  const std::vector<std::string> names = FilterNames();
  ASSERT_GE(names.size(), 4u);
  EXPECT_EQ(names[0], "File Source");
  EXPECT_EQ(names[1], "Decoder");
  ComPtr<IBaseFilter> renderer;
  ASSERT_EQ(graph_->FindFilterByName(u"Video Renderer", renderer.ReleaseAndGetAddressOf()), S_OK);
  CLSID class_id;
  renderer->GetClassID(&class_id);
  EXPECT_EQ(class_id, CLSID_VideoRenderer);
  ComPtr<IPin> input;
  ASSERT_EQ(renderer->FindPin(u"Input", input.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IPin> peer;
  EXPECT_EQ(input->ConnectedTo(peer.ReleaseAndGetAddressOf()), S_OK);
  PIN_DIRECTION direction;
  peer->QueryDirection(&direction);
  EXPECT_EQ(direction, PINDIR_OUTPUT);

  ComPtr<IMediaSeeking> seeking = As<IMediaSeeking>();
  LONGLONG duration = 0;
  ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
  EXPECT_NEAR(static_cast<double>(duration), 20000000.0, 1000000.0);

  ComPtr<IMediaControl> control = As<IMediaControl>();
  OAFilterState state = -1;
  control->GetState(0, &state);
  EXPECT_EQ(state, State_Stopped);
  ASSERT_EQ(control->Pause(), S_OK);
  LONGLONG target = 12000000;
  ASSERT_EQ(seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  LONGLONG position = 0;
  ASSERT_EQ(seeking->GetCurrentPosition(&position), S_OK);
  EXPECT_NEAR(static_cast<double>(position), 12000000.0, 1000000.0);
  ASSERT_EQ(seeking->SetRate(2.0), S_OK);
  double rate = 0;
  seeking->GetRate(&rate);
  EXPECT_EQ(rate, 2.0);

  ComPtr<IBasicAudio> audio = As<IBasicAudio>();
  EXPECT_EQ(audio->put_Volume(-2499), S_OK);
  EXPECT_EQ(audio->put_Volume(1), E_INVALIDARG);
  EXPECT_EQ(audio->put_Balance(-10001), E_INVALIDARG);
  LONG volume = 0;
  audio->get_Volume(&volume);
  EXPECT_EQ(volume, -2499);

  EXPECT_TRUE(SUCCEEDED(control->Run()));
  EXPECT_TRUE(WaitForEvent(EC_COMPLETE, 10s));
  EXPECT_EQ(control->Stop(), S_OK);
  control->GetState(0, &state);
  EXPECT_EQ(state, State_Stopped);
  EXPECT_EQ(seeking->GetDuration(&duration), S_OK);
}

TEST_F(MediaObjectsIntegrationTest, RendererKeepsTheNewestFrame) {
  ComPtr<IBaseFilter> renderer;
  ASSERT_EQ(CoCreateInstance(CLSID_VideoRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             reinterpret_cast<void**>(renderer.ReleaseAndGetAddressOf())),
            S_OK);
  ASSERT_EQ(graph_->AddFilter(renderer.Get(), u"My Renderer"), S_OK);
  ASSERT_EQ(graph_->RenderFile(Clip().c_str(), nullptr), S_OK);
  // The renderer already in the graph took the video: no second one was made.
  ComPtr<IBaseFilter> other;
  EXPECT_EQ(graph_->FindFilterByName(u"Video Renderer", other.ReleaseAndGetAddressOf()), VFW_E_NOT_FOUND);
  gst::VideoFrame frame;
  ASSERT_TRUE(GetRendererFrame(renderer.Get(), frame));
  EXPECT_EQ(frame.width, 320);
  EXPECT_EQ(frame.height, 240);
  EXPECT_EQ(graph_->RemoveFilter(renderer.Get()), S_OK);
  EXPECT_EQ(graph_->RemoveFilter(renderer.Get()), VFW_E_NOT_FOUND);
}

// The seven bars of the test pattern's top rows, as 0x00RRGGBB.
constexpr std::uint32_t kBars[] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00, 0xFF00FF, 0xFF0000, 0x0000FF};

bool Near(std::uint32_t pixel, std::uint32_t expected) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int a = static_cast<int>((pixel >> shift) & 0xFF);
    const int b = static_cast<int>((expected >> shift) & 0xFF);
    if (std::abs(a - b) > 24) return false;
  }
  return true;
}

// Whether the window shows the bars in a picture `picture_width` wide starting at `left`.
bool ShowsBars(HWND window, int left, int picture_width) {
  WindowPixels pixels;
  if (!ReadWindowPixels(window, &pixels)) return false;
  for (int bar = 0; bar < 7; ++bar) {
    const int x = left + bar * picture_width / 7 + picture_width / 14;
    if (x >= pixels.width || !Near(pixels.At(x, 40), kBars[bar])) return false;
  }
  return true;
}

TEST_F(MediaObjectsIntegrationTest, RendererWindowShowsTheFramesAspectKept) {
  ASSERT_EQ(graph_->RenderFile(Clip().c_str(), nullptr), S_OK);
  ComPtr<IBaseFilter> renderer;
  ASSERT_EQ(graph_->FindFilterByName(u"Video Renderer", renderer.ReleaseAndGetAddressOf()), S_OK);
  const HWND window = GetRendererWindow(renderer.Get());
  ASSERT_NE(window, nullptr);
  char class_name[32] = {};
  GetClassNameA(window, class_name, sizeof class_name);
  EXPECT_STREQ(class_name, "VideoRenderer");
  // The preroll frame shows once the thread pumps.
  EXPECT_TRUE(dashtune::testing::PumpUntil([&] { return ShowsBars(window, 0, 320); }, 5s));

  // Wider than the picture: black on both sides, the picture centred at its own size.
  MoveWindow(window, 0, 0, 640, 240, TRUE);
  EXPECT_TRUE(dashtune::testing::PumpUntil([&] { return ShowsBars(window, 160, 320); }, 5s));
  WindowPixels pixels;
  ASSERT_TRUE(ReadWindowPixels(window, &pixels));
  EXPECT_EQ(pixels.At(80, 120), 0u);
  EXPECT_EQ(pixels.At(600, 120), 0u);

  // Playing keeps the newest frame on the window.
  ASSERT_TRUE(SUCCEEDED(As<IMediaControl>()->Run()));
  EXPECT_TRUE(WaitForEvent(EC_COMPLETE, 10s));
  dashtune::testing::PumpPending();
  EXPECT_TRUE(ShowsBars(window, 160, 320));
  EXPECT_EQ(graph_->RemoveFilter(renderer.Get()), S_OK);
  EXPECT_EQ(GetRendererWindow(renderer.Get()), nullptr);
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(MediaObjectsIntegrationTest, AsksTheSiteDuringRendering) {
  RecordingSite site;
  ComPtr<IObjectWithSite> with_site = As<IObjectWithSite>();
  ASSERT_EQ(with_site->SetSite(static_cast<IAMGraphBuilderCallback*>(&site)), S_OK);
  site.rejected = u"@device:gst:theoradec";
  EXPECT_EQ(graph_->RenderFile(Clip().c_str(), nullptr), VFW_S_PARTIAL_RENDER);
  EXPECT_NE(std::find(site.selected.begin(), site.selected.end(), "@device:gst:theoradec"), site.selected.end());
  EXPECT_GT(site.created, 0);
  EXPECT_EQ(site.unrendered_found_site + site.unrendered_outside_graph, 1);
  with_site->SetSite(nullptr);
}

TEST_F(MediaObjectsIntegrationTest, ReportsFilesThatCannotBeRendered) {
  EXPECT_EQ(graph_->RenderFile(u"/nonexistent/clip.ogg", nullptr), VFW_E_FILE_NOT_FOUND_WIN32);
  EXPECT_EQ(graph_->RenderFile(nullptr, nullptr), E_POINTER);
  ComPtr<IMediaEventEx> events = As<IMediaEventEx>();
  LONG code = 0;
  LONG_PTR p1 = 0;
  LONG_PTR p2 = 0;
  EXPECT_EQ(events->GetEvent(&code, &p1, &p2, 0), E_ABORT);
  EXPECT_EQ(events->SetNotifyFlags(2), E_INVALIDARG);
}

TEST_F(MediaObjectsIntegrationTest, DvdBuilderRendersAFolderWithTitleTimeAndTimeEvents) {
  ComPtr<IDvdGraphBuilder> builder;
  ASSERT_EQ(CoCreateInstance(CLSID_DvdGraphBuilder, nullptr, CLSCTX_INPROC_SERVER, IID_IDvdGraphBuilder,
                             reinterpret_cast<void**>(builder.ReleaseAndGetAddressOf())),
            S_OK);
  ComPtr<IDvdInfo2> info;
  EXPECT_EQ(builder->GetDvdInterface(IID_IDvdInfo2, reinterpret_cast<void**>(info.ReleaseAndGetAddressOf())), E_NOINTERFACE);
  AM_DVD_RENDERSTATUS status;
  const std::u16string missing = Utf8ToUtf16(fixtures_ + "/no-dvd");
  EXPECT_EQ(builder->RenderDvdVideoVolume(missing.c_str(), AM_DVD_HWDEC_PREFER, &status), VFW_E_DVD_RENDERFAIL);
  EXPECT_TRUE(status.bDvdVolInvalid);

  const std::u16string folder = Utf8ToUtf16(fixtures_ + "/dvd/VIDEO_TS");
  ASSERT_EQ(builder->RenderDvdVideoVolume(folder.c_str(), AM_DVD_HWDEC_PREFER, &status), S_OK);
  ASSERT_EQ(builder->GetDvdInterface(IID_IDvdInfo2, reinterpret_cast<void**>(info.ReleaseAndGetAddressOf())), S_OK);
  DVD_HMSF_TIMECODE total;
  ULONG flags = 0;
  ASSERT_EQ(info->GetTotalTitleTime(&total, &flags), S_OK);
  EXPECT_EQ(total.bHours, 0);
  EXPECT_EQ(total.bMinutes, 0);
  EXPECT_EQ(total.bSeconds, 4);
  EXPECT_EQ(flags, DVD_TC_FLAG_25fps);

  LCID language = 0;
  EXPECT_TRUE(WaitForBuilderEvent(builder.Get(), EC_DVD_AUDIO_STREAM_CHANGE));
  ASSERT_EQ(info->GetAudioLanguage(0, &language), S_OK);
  EXPECT_EQ(language, 0x0409u);
  EXPECT_EQ(info->GetAudioLanguage(40, &language), E_INVALIDARG);
  EXPECT_EQ(info->GetSubpictureLanguage(0, &language), S_OK);
  EXPECT_EQ(language, 0u);

  ComPtr<IDvdControl2> dvd;
  ASSERT_EQ(builder->GetDvdInterface(IID_IDvdControl2, reinterpret_cast<void**>(dvd.ReleaseAndGetAddressOf())), S_OK);
  EXPECT_EQ(dvd->SetOption(DVD_HMSF_TimeCodeEvents, TRUE), S_OK);
  DVD_HMSF_TIMECODE at{0, 0, 2, 0};
  EXPECT_EQ(dvd->PlayAtTime(&at, DVD_CMD_FLAG_Flush, nullptr), S_OK);
  DVD_HMSF_TIMECODE beyond{0, 5, 0, 0};
  EXPECT_EQ(dvd->PlayAtTime(&beyond, DVD_CMD_FLAG_Flush, nullptr), E_INVALIDARG);
  DVD_HMSF_TIMECODE bad_frame{0, 0, 1, 25};
  EXPECT_EQ(dvd->PlayAtTime(&bad_frame, DVD_CMD_FLAG_Flush, nullptr), E_INVALIDARG);

  ComPtr<IGraphBuilder> dvd_graph;
  ASSERT_EQ(builder->GetFiltergraph(dvd_graph.ReleaseAndGetAddressOf()), S_OK);
  dvd_graph->QueryInterface(IID_IFilterGraph2, reinterpret_cast<void**>(graph_.ReleaseAndGetAddressOf()));
  ComPtr<IMediaControl> control = As<IMediaControl>();
  ASSERT_TRUE(SUCCEEDED(control->Run()));
  LONG_PTR hmsf = 0;
  LONG_PTR time_code = 0;
  ASSERT_TRUE(WaitForEvent(EC_DVD_CURRENT_HMSF_TIME, 3s, &hmsf, &time_code));
  EXPECT_EQ(hmsf & 0xFF, 0);               // hours
  EXPECT_GE((hmsf >> 16) & 0xFF, 2);       // seconds: after the jump to 2 s
  EXPECT_EQ(time_code & 0x3, 1);           // 25 frames per second
  control->Stop();
}

}  // namespace
}  // namespace win
