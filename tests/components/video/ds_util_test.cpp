// Media graph utilities: result checks with their texts and codes, over the fake graph.
#include "components/video/ds_util.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>


#include "platform/core/strings.h"
#include "platform/dshow/fake_graph.h"

namespace dashtune {
namespace {

using win::ComPtr;

struct ResultCase {
  win::HRESULT code;
  const char* message;  // null: a success code that passes unchanged
};

class CheckDSResultTest : public ::testing::TestWithParam<ResultCase> {};

TEST_P(CheckDSResultTest, PassesSuccessAndRaisesFailureWithTextAndCode) {
  const ResultCase& test = GetParam();
  if (test.message == nullptr) {
    EXPECT_EQ(video::CheckDSResult(test.code), test.code);
    return;
  }
  try {
    video::CheckDSResult(test.code);
    FAIL() << "no exception";
  } catch (const EDirectShowException& error) {
    EXPECT_EQ(error.GetMessage(), test.message);
    EXPECT_EQ(error.ErrorCode, test.code);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CheckDSResultTest,
    ::testing::Values(ResultCase{win::S_OK, nullptr}, ResultCase{win::S_FALSE, nullptr},
                      ResultCase{win::VFW_S_PARTIAL_RENDER, nullptr},
                      ResultCase{win::VFW_E_CANNOT_RENDER,
                                 "No combination of filters could be found to render the stream. ($80040218)."},
                      ResultCase{win::E_FAIL, "The operation failed for an unspecified reason. ($80004005)."},
                      ResultCase{win::VFW_E_DVD_RENDERFAIL, "The DVD graph could not be built. ($8004027A)."},
                      // A code without a text keeps only the code.
                      ResultCase{static_cast<win::HRESULT>(0x80000001u), " ($80000001)."}));

TEST(GetDSErrorTextTest, GivesThePlatformText) {
  EXPECT_EQ(video::GetDSErrorText(win::VFW_E_WRONG_STATE), "The filter graph is in the wrong state for this operation.");
  EXPECT_EQ(video::GetDSErrorText(static_cast<win::HRESULT>(0x80000001u)), "");
}

class Tracked : public TObject {
 public:
  Tracked(Tracked** variable, bool* variable_was_nil) : variable_(variable), variable_was_nil_(variable_was_nil) {}
  ~Tracked() override { *variable_was_nil_ = *variable_ == nullptr; }

 private:
  Tracked** variable_;
  bool* variable_was_nil_;
};

TEST(FreeAndNilObjectTest, ClearsTheVariableBeforeFreeing) {
  Tracked* object = nullptr;
  video::FreeAndNilObject(object);  // nil: nothing happens
  bool was_nil = false;
  object = new Tracked(&object, &was_nil);
  video::FreeAndNilObject(object);
  EXPECT_EQ(object, nullptr);
  EXPECT_TRUE(was_nil);
}

class FilterListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(win::CoCreateInstance(win::CLSID_FilterGraph, nullptr, win::CLSCTX_INPROC_SERVER, win::IID_IFilterGraph2,
                                    reinterpret_cast<void**>(graph_.ReleaseAndGetAddressOf())),
              win::S_OK);
    source_.Attach(win::fake::CreateFakeFilter(fake_.script(), "Source", {{"Out", win::PINDIR_OUTPUT}}));
    renderer_.Attach(win::fake::CreateFakeFilter(fake_.script(), "Renderer",
                                                 {{"In", win::PINDIR_INPUT}, {"Feedback", win::PINDIR_OUTPUT}}));
    graph_->AddFilter(source_.Get(), u"Source");
    graph_->AddFilter(renderer_.Get(), u"Renderer");
  }

  win::fake::ScopedFakeMediaGraph fake_;
  ComPtr<win::IFilterGraph2> graph_;
  ComPtr<win::IBaseFilter> source_;
  ComPtr<win::IBaseFilter> renderer_;
};

TEST_F(FilterListTest, ListsTheGraphsFiltersAndAppendsOnUpdate) {
  TFilterList filters(graph_.Get());
  ASSERT_EQ(filters.GetCount(), 2);
  EXPECT_EQ(filters.GetItem(0).Get(), source_.Get());
  EXPECT_EQ(filters.GetItem(1).Get(), renderer_.Get());
  filters.Update();
  EXPECT_EQ(filters.GetCount(), 4);
  EXPECT_EQ(filters.Remove(renderer_.Get()), 1);
  EXPECT_EQ(filters.GetCount(), 3);
  EXPECT_THROW(filters.GetItem(3), EListError);
  EXPECT_THROW(filters.GetItem(-1), EListError);
}

TEST_F(FilterListTest, ListsPinsAndTellsWhichAreConnected) {
  win::fake::ConnectFakePins(source_.Get(), "Out", renderer_.Get(), "In");
  TPinList pins(renderer_.Get());
  ASSERT_EQ(pins.GetCount(), 2);
  EXPECT_TRUE(pins.Connected(0));
  EXPECT_FALSE(pins.Connected(1));
  pins.Update();
  EXPECT_EQ(pins.GetCount(), 2);  // Update clears first
  TPinList none(nullptr);
  EXPECT_EQ(none.GetCount(), 0);
  EXPECT_THROW(none.Connected(0), EListError);
}

TEST(RunningObjectTableRegistrationTest, RegistersUnderTheGraphsNameAndRevokes) {
  win::fake::ScopedFakeMediaGraph fake;
  ComPtr<win::IFilterGraph2> graph;
  ASSERT_EQ(win::CoCreateInstance(win::CLSID_FilterGraph, nullptr, win::CLSCTX_INPROC_SERVER, win::IID_IFilterGraph2,
                                  reinterpret_cast<void**>(graph.ReleaseAndGetAddressOf())),
            win::S_OK);
  const std::string name = win::Utf16ToUtf8(video::GraphItemName(graph.Get()));
  EXPECT_THAT(name, ::testing::MatchesRegex("FilterGraph [0-9A-F]{16} pid [0-9A-F]+"));

  win::DWORD id = 0;
  ASSERT_EQ(video::RegisterGraphInROT(graph.Get(), id), win::S_OK);
  EXPECT_NE(id, 0u);
  ComPtr<win::IRunningObjectTable> table;
  win::GetRunningObjectTable(0, table.ReleaseAndGetAddressOf());
  ComPtr<win::IMoniker> moniker;
  win::CreateItemMoniker(u"!", video::GraphItemName(graph.Get()).c_str(), moniker.ReleaseAndGetAddressOf());
  EXPECT_EQ(table->IsRunning(moniker.Get()), win::S_OK);
  EXPECT_EQ(video::UnregisterGraphFromROT(id), win::S_OK);
  EXPECT_EQ(table->IsRunning(moniker.Get()), win::S_FALSE);
  EXPECT_EQ(video::UnregisterGraphFromROT(id), win::E_INVALIDARG);
}

}  // namespace
}  // namespace dashtune
