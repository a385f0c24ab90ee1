// The watcher of an open mixer: changes reach the callback window as posted messages, and
// closing the mixer ends the watcher.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/mixer/mixer.h"
#include "platform/mixer/mixer_emulated.h"
#include "platform/user/messages.h"
#include "platform/user/window.h"
#include "platform_test_support.h"

namespace win::mixer {
namespace {

struct Notification {
  UINT message;
  WPARAM mixer;
  LPARAM id;
};

std::vector<Notification>& Received() {
  static std::vector<Notification> received;
  return received;
}

LRESULT RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MM_MIXM_LINE_CHANGE || message == MM_MIXM_CONTROL_CHANGE) {
    Received().push_back({message, wParam, lParam});
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

class MixerNotifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Received().clear();
    WNDCLASSA window_class;
    window_class.lpfnWndProc = &RecordingProcedure;
    window_class.lpszClassName = "MixerNotifyTest";
    RegisterClassA(&window_class);
    window_ = CreateWindowExA(0, "MixerNotifyTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override { DestroyWindow(window_); }

  std::shared_ptr<EmulatedMixer> device_ = std::make_shared<EmulatedMixer>(EmulatedDeviceSpec{
      "Notifying", MM_UNMAPPED, 0, 0,
      {{{"Master", 1, {{MIXERCONTROL_CONTROLTYPE_VOLUME, 0, "Volume", {}, {0}}}}, {}}}});
  ScopedDeviceList devices_{{device_}};
  HWND window_ = nullptr;
};

TEST_F(MixerNotifyTest, ChangesArePostedUntilTheMixerCloses) {
  HMIXER handle = nullptr;
  ASSERT_EQ(mixerOpen(&handle, 0, reinterpret_cast<DWORD_PTR>(window_), 0, CALLBACK_WINDOW),
            MMSYSERR_NOERROR);
  EXPECT_EQ(device_->WatchingSessions(), 1);
  const DWORD volume = device_->ControlId(0, -1, 0);
  device_->SetValuesFromOutside(volume, {77});
  device_->SignalLineChange(DestinationLineId(0));
  ASSERT_TRUE(dashtune::testing::PumpUntil([] { return Received().size() >= 2; }));
  auto find = [](UINT message) {
    for (const Notification& n : Received())
      if (n.message == message) return n;
    return Notification{};
  };
  const Notification control = find(MM_MIXM_CONTROL_CHANGE);
  EXPECT_EQ(control.mixer, reinterpret_cast<WPARAM>(handle));
  EXPECT_EQ(control.id, static_cast<LPARAM>(volume));
  const Notification line = find(MM_MIXM_LINE_CHANGE);
  EXPECT_EQ(line.mixer, reinterpret_cast<WPARAM>(handle));
  EXPECT_EQ(line.id, static_cast<LPARAM>(DestinationLineId(0)));

  ASSERT_EQ(mixerClose(handle), MMSYSERR_NOERROR);
  EXPECT_EQ(device_->WatchingSessions(), 0) << "the watcher was joined";
  device_->SetValuesFromOutside(volume, {78});
  dashtune::testing::PumpPending();
  EXPECT_EQ(Received().size(), 2u);
}

TEST_F(MixerNotifyTest, OwnWritesAreReportedToo) {
  HMIXER handle = nullptr;
  ASSERT_EQ(mixerOpen(&handle, 0, reinterpret_cast<DWORD_PTR>(window_), 0, CALLBACK_WINDOW),
            MMSYSERR_NOERROR);
  DWORD value = 5;
  MIXERCONTROLDETAILS details;
  details.cbStruct = sizeof(details);
  details.dwControlID = device_->ControlId(0, -1, 0);
  details.cChannels = 1;
  details.cbDetails = sizeof(value);
  details.paDetails = &value;
  ASSERT_EQ(mixerSetControlDetails(reinterpret_cast<HMIXEROBJ>(handle), &details, 0), MMSYSERR_NOERROR);
  ASSERT_TRUE(dashtune::testing::PumpUntil([] { return !Received().empty(); }));
  EXPECT_EQ(Received()[0].id, static_cast<LPARAM>(details.dwControlID));
  EXPECT_EQ(mixerClose(handle), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace win::mixer
