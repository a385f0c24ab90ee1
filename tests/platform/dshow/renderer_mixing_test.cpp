// The mixing renderer with several streams on GStreamer: its inputs, the mix of test sources in
// the frame store (later streams over the first, at the first stream's size), inputs that stay
// unconnected or leave while paused, and a graph that plays one clip through a two-stream renderer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "media_fixtures.h"
#include "platform/core/strings.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/gst_ref.h"
#include "platform/dshow/media_objects.h"
#include "platform/dshow/video_interfaces.h"
#include "platform/dshow/video_renderer_bin.h"

// GStreamer last: its TRUE and FALSE are macros.
#include <gst/gst.h>

namespace win {
namespace {

using gst::ElementRef;
using gst::PadRef;

constexpr GstClockTime kEngineLimit = 20 * GST_SECOND;
constexpr std::uint32_t kRed = 0xFF0000;
// The first bars of the colour-bar pattern, as 0x00RRGGBB.
constexpr std::uint32_t kWhiteBar = 0xFFFFFF;
constexpr std::uint32_t kYellowBar = 0xFFFF00;
constexpr std::uint32_t kBlueBar = 0x0000FF;

bool Near(std::uint32_t pixel, std::uint32_t expected) {
  for (int shift = 0; shift < 24; shift += 8) {
    if (std::abs(static_cast<int>((pixel >> shift) & 0xFF) - static_cast<int>((expected >> shift) & 0xFF)) > 24) {
      return false;
    }
  }
  return true;
}

// A source bin with one output: `frames` frames of videotestsrc at the size given.
GstElement* TestSource(const std::string& pattern, int width, int height, int frames) {
  const std::string description = "videotestsrc " + pattern + " num-buffers=" + std::to_string(frames) +
                                  " ! capsfilter caps=\"video/x-raw,width=" + std::to_string(width) +
                                  ",height=" + std::to_string(height) + ",framerate=25/1\"";
  return gst_parse_bin_from_description(description.c_str(), TRUE, nullptr);
}

GstElement* Bars(int frames = 10) { return TestSource("pattern=smpte", 320, 240, frames); }
GstElement* RedPatch(int frames = 10) {
  return TestSource("pattern=solid-color foreground-color=0xffff0000", 160, 120, frames);
}

// Sources feeding the inputs of one mixing renderer in a pipeline of their own.
class MixingRendererTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win::testing::PrepareGStreamer();
    pipeline_.reset(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr))));
    renderer_ = gst::MakeVideoRendererBin("Mixer Test", true);
    ASSERT_NE(renderer_, nullptr);
    gst_bin_add(GST_BIN(pipeline_.get()), renderer_);
  }
  void TearDown() override { gst_element_set_state(pipeline_.get(), GST_STATE_NULL); }

  // Adds a source and links it to the renderer's input of that name.
  GstElement* Feed(GstElement* source, const char* input) {
    gst_bin_add(GST_BIN(pipeline_.get()), source);
    const PadRef output(gst_element_get_static_pad(source, "src"));
    const PadRef sink(gst_element_get_static_pad(renderer_, input));
    EXPECT_TRUE(sink) << input;
    if (sink) {
      EXPECT_EQ(gst_pad_link(output.get(), sink.get()), GST_PAD_LINK_OK) << input;
    }
    return source;
  }
  bool Preroll() {
    return gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE &&
           gst_element_get_state(pipeline_.get(), nullptr, nullptr, kEngineLimit) == GST_STATE_CHANGE_SUCCESS;
  }
  // Plays to the end; false on an error or when the end does not come.
  bool PlayToEnd() {
    gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
    const gst::BusRef bus(gst_element_get_bus(pipeline_.get()));
    GstMessage* end = gst_bus_timed_pop_filtered(bus.get(), kEngineLimit,
                                                 static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool reached = end != nullptr && GST_MESSAGE_TYPE(end) == GST_MESSAGE_EOS;
    if (end != nullptr) gst_message_unref(end);
    return reached;
  }
  gst::VideoFrame Frame() {
    gst::VideoFrame frame;
    EXPECT_TRUE(gst::RendererFrameStore(renderer_)->Snapshot(frame));
    return frame;
  }
  int CompositorInputs() {
    int inputs = -1;
    GstIterator* children = gst_bin_iterate_elements(GST_BIN(renderer_));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(children, &item) == GST_ITERATOR_OK) {
      auto* element = GST_ELEMENT(g_value_get_object(&item));
      GstElementFactory* factory = gst_element_get_factory(element);
      if (factory != nullptr && g_strcmp0(GST_OBJECT_NAME(factory), "compositor") == 0) inputs = element->numsinkpads;
      g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(children);
    return inputs;
  }

  ElementRef pipeline_;
  GstElement* renderer_ = nullptr;  // held by the pipeline
};

TEST_F(MixingRendererTest, TheStreamCountNamesTheInputsAndIsFixedOnceTheMixExists) {
  EXPECT_TRUE(gst::SetRendererStreams(renderer_, 1));
  EXPECT_EQ(CompositorInputs(), -1) << "one stream needs no mix";
  ASSERT_TRUE(gst::SetRendererStreams(renderer_, 3));
  for (const char* name : {"Input", "Input1", "Input2"}) {
    const PadRef input(gst_element_get_static_pad(renderer_, name));
    ASSERT_TRUE(input) << name;
    EXPECT_TRUE(GST_PAD_IS_SINK(input.get())) << name;
  }
  EXPECT_FALSE(PadRef(gst_element_get_static_pad(renderer_, "Input3")));
  EXPECT_EQ(CompositorInputs(), 0) << "unconnected inputs take no part in the mix";
  EXPECT_TRUE(gst::SetRendererStreams(renderer_, 3));
  EXPECT_FALSE(gst::SetRendererStreams(renderer_, 2));
  EXPECT_FALSE(gst::SetRendererStreams(renderer_, 1));
  EXPECT_EQ(gst::RendererSettingsOf(renderer_)->streams, 3u);
  EXPECT_FALSE(gst::RendererInputLinked(renderer_));
  const PadRef free_input(gst::FreeRendererInput(renderer_));
  ASSERT_TRUE(free_input);
  EXPECT_STREQ(GST_PAD_NAME(free_input.get()), "Input");
}

TEST_F(MixingRendererTest, TheSecondStreamLiesOverTheFirstInAFrameOfTheFirstStreamsSize) {
  ASSERT_TRUE(gst::SetRendererStreams(renderer_, 2));
  Feed(Bars(), "Input");
  Feed(RedPatch(), "Input1");
  EXPECT_TRUE(gst::RendererInputLinked(renderer_));
  EXPECT_FALSE(PadRef(gst::FreeRendererInput(renderer_)));
  ASSERT_TRUE(Preroll());
  const gst::VideoFrame frame = Frame();
  ASSERT_EQ(frame.width, 320);
  ASSERT_EQ(frame.height, 240);
  EXPECT_TRUE(Near(frame.PixelAt(80, 60), kRed));
  EXPECT_TRUE(Near(frame.PixelAt(22, 110), kRed));
  // Beside and below the patch the bars show: the last bar in its row, the first one below.
  EXPECT_TRUE(Near(frame.PixelAt(297, 40), kBlueBar));
  EXPECT_TRUE(Near(frame.PixelAt(22, 130), kWhiteBar));
  EXPECT_TRUE(PlayToEnd());
}

TEST_F(MixingRendererTest, ALaterStreamLargerThanTheFirstIsCutToTheFirstStreamsSize) {
  ASSERT_TRUE(gst::SetRendererStreams(renderer_, 2));
  Feed(RedPatch(), "Input");
  Feed(Bars(), "Input1");
  ASSERT_TRUE(Preroll());
  const gst::VideoFrame frame = Frame();
  EXPECT_EQ(frame.width, 160);
  EXPECT_EQ(frame.height, 120);
  EXPECT_TRUE(Near(frame.PixelAt(22, 40), kWhiteBar));
}

TEST_F(MixingRendererTest, InputsThatStayUnconnectedDoNotHoldTheMixUp) {
  ASSERT_TRUE(gst::SetRendererStreams(renderer_, 3));
  Feed(RedPatch(25), "Input1");
  ASSERT_TRUE(Preroll());
  EXPECT_EQ(CompositorInputs(), 1);
  const gst::VideoFrame frame = Frame();
  EXPECT_EQ(frame.width, 160) << "without a first stream the mix takes the size of what there is";
  EXPECT_TRUE(Near(frame.PixelAt(80, 60), kRed));
  EXPECT_TRUE(PlayToEnd());
  EXPECT_GT(gst::RendererFrameStore(renderer_)->FrameCount(), 1u);
}

TEST_F(MixingRendererTest, AStreamThatLeavesWhilePausedLeavesTheMix) {
  ASSERT_TRUE(gst::SetRendererStreams(renderer_, 2));
  Feed(Bars(50), "Input");
  GstElement* patch = Feed(RedPatch(50), "Input1");
  ASSERT_TRUE(Preroll());
  ASSERT_EQ(CompositorInputs(), 2);
  // Unlinked first, as the graph disconnects: the patch's thread waiting in the mix is let go.
  const PadRef output(gst_element_get_static_pad(patch, "src"));
  const PadRef input(gst_element_get_static_pad(renderer_, "Input1"));
  ASSERT_TRUE(gst_pad_unlink(output.get(), input.get()));
  EXPECT_EQ(CompositorInputs(), 1);
  gst_element_set_locked_state(patch, TRUE);
  gst_element_set_state(patch, GST_STATE_NULL);
  gst_bin_remove(GST_BIN(pipeline_.get()), patch);
  EXPECT_TRUE(gst::RendererInputLinked(renderer_));
  const PadRef free_input(gst::FreeRendererInput(renderer_));
  ASSERT_TRUE(free_input);
  EXPECT_STREQ(GST_PAD_NAME(free_input.get()), "Input1");
  // Prerolled again where it stands, the frame shows the bars alone.
  ASSERT_TRUE(gst_element_seek_simple(pipeline_.get(), GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, 0));
  ASSERT_EQ(gst_element_get_state(pipeline_.get(), nullptr, nullptr, kEngineLimit), GST_STATE_CHANGE_SUCCESS);
  EXPECT_TRUE(Near(Frame().PixelAt(80, 60), kYellowBar));
  EXPECT_TRUE(PlayToEnd());
}

// The graph's own renderer: a mixing renderer 9 told to take two streams before it connects.
class MixingRendererGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win::testing::PrepareGStreamer();
    RegisterMediaGraphClasses();
    clip_ = win::testing::MediaFixtureDirectory() + "/clip.ogg";
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                               reinterpret_cast<void**>(graph_.ReleaseAndGetAddressOf())),
              S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(renderer_.ReleaseAndGetAddressOf())),
              S_OK);
    renderer_->QueryInterface(IID_IVMRFilterConfig9, reinterpret_cast<void**>(config_.ReleaseAndGetAddressOf()));
    ASSERT_TRUE(config_);
    graph_->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(control_.ReleaseAndGetAddressOf()));
    graph_->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(events_.ReleaseAndGetAddressOf()));
  }
  void TearDown() override {
    if (renderer_) graph_->RemoveFilter(renderer_.Get());
  }
  // Names of the renderer's pins in order, each with "+" when connected.
  std::string Pins() {
    std::string names;
    ComPtr<IEnumPins> pins;
    renderer_->EnumPins(pins.ReleaseAndGetAddressOf());
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
      PIN_INFO info{};
      pin->QueryPinInfo(&info);
      if (info.pFilter != nullptr) info.pFilter->Release();
      ComPtr<IPin> peer;
      const bool connected = pin->ConnectedTo(peer.ReleaseAndGetAddressOf()) == S_OK;
      names += Utf16ToUtf8(info.achName) + (connected ? "+ " : " ");
    }
    return names;
  }
  bool WaitForEvent(LONG wanted) {
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (events_->GetEvent(&code, &p1, &p2, 20000) == S_OK) {
      if (code == wanted) return true;
    }
    return false;
  }

  std::string clip_;
  ComPtr<IFilterGraph2> graph_;
  ComPtr<IBaseFilter> renderer_;
  ComPtr<IVMRFilterConfig9> config_;
  ComPtr<IMediaControl> control_;
  ComPtr<IMediaEventEx> events_;
};

TEST_F(MixingRendererGraphTest, TwoStreamsWithOneConnectedPrerollAndPlayToTheEnd) {
  EXPECT_EQ(config_->SetNumberOfStreams(17), E_INVALIDARG);
  ASSERT_EQ(config_->SetNumberOfStreams(2), S_OK);
  DWORD streams = 0;
  EXPECT_EQ(config_->GetNumberOfStreams(&streams), S_OK);
  EXPECT_EQ(streams, 2u);
  ASSERT_EQ(graph_->AddFilter(renderer_.Get(), u"Video Mixing Renderer 9"), S_OK);
  ASSERT_EQ(graph_->RenderFile(Utf8ToUtf16(clip_).c_str(), nullptr), S_OK);
  EXPECT_EQ(Pins(), "Input+ Input1 ");
  EXPECT_EQ(config_->SetNumberOfStreams(2), VFW_E_WRONG_STATE) << "fixed once connected";
  gst::VideoFrame frame;
  ASSERT_TRUE(GetRendererFrame(renderer_.Get(), frame));
  EXPECT_EQ(frame.width, 320);
  EXPECT_TRUE(Near(frame.PixelAt(22, 40), kWhiteBar));
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  EXPECT_TRUE(WaitForEvent(EC_COMPLETE));
}

TEST_F(MixingRendererGraphTest, StopAndRemovalInEveryStateLeaveTheInputsFree) {
  ASSERT_EQ(config_->SetNumberOfStreams(2), S_OK);
  ASSERT_EQ(graph_->AddFilter(renderer_.Get(), u"Video Mixing Renderer 9"), S_OK);
  ASSERT_EQ(graph_->RenderFile(Utf8ToUtf16(clip_).c_str(), nullptr), S_OK);
  EXPECT_EQ(control_->Stop(), S_OK) << "stopped while prerolled";
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  EXPECT_EQ(control_->Pause(), S_OK);
  EXPECT_EQ(control_->Stop(), S_OK);
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  // Removed while it runs: the renderer leaves with every input free again.
  ASSERT_EQ(graph_->RemoveFilter(renderer_.Get()), S_OK);
  EXPECT_EQ(Pins(), "Input Input1 ");
  FILTER_INFO info{};
  renderer_->QueryFilterInfo(&info);
  EXPECT_EQ(info.pGraph, nullptr);
  // In a new graph it plays the clip again, through its first input.
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                             reinterpret_cast<void**>(graph_.ReleaseAndGetAddressOf())),
            S_OK);
  graph_->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(control_.ReleaseAndGetAddressOf()));
  graph_->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(events_.ReleaseAndGetAddressOf()));
  ASSERT_EQ(graph_->AddFilter(renderer_.Get(), u"Video Mixing Renderer 9"), S_OK);
  ASSERT_EQ(graph_->RenderFile(Utf8ToUtf16(clip_).c_str(), nullptr), S_OK);
  EXPECT_EQ(Pins(), "Input+ Input1 ");
  ASSERT_TRUE(SUCCEEDED(control_->Run()));
  EXPECT_TRUE(WaitForEvent(EC_COMPLETE));
}

}  // namespace
}  // namespace win
