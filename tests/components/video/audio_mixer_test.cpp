// TAudioMixer on the emulated mixer device.
#include "components/video/audio_mixer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/mixer/mixer_emulated.h"
#include "platform_test_support.h"

namespace dashtune {
namespace {

using win::DWORD;
using namespace win::mixer;

constexpr DWORD kVolume = win::MIXERCONTROL_CONTROLTYPE_VOLUME;
constexpr DWORD kMute = win::MIXERCONTROL_CONTROLTYPE_MUTE;
constexpr DWORD kUniform = win::MIXERCONTROL_CONTROLF_UNIFORM;
constexpr DWORD kMultiple = win::MIXERCONTROL_CONTROLF_MULTIPLE;
constexpr DWORD kDisabled = win::MIXERCONTROL_CONTROLF_DISABLED;

// Playback "Master" (stereo) with PCM (stereo, mute disabled), Line (mono) and CD (uniform
// controls on a stereo line). Recording "Capture" with a two-channel, non-uniform source list
// of Mic, CD and Line (Line selected) and the sources Mic (own volume), CD and Line.
EmulatedDeviceSpec CarDevice(win::WORD manufacturer = 2) {
  EmulatedDeviceSpec spec;
  spec.product_name = "Car Mixer";
  spec.manufacturer_id = manufacturer;
  spec.product_id = 42;
  spec.driver_version = 0x0501;
  EmulatedDestination playback;
  playback.line = {"Master", 2, {{kVolume, 0, "Master Volume", {}, {1000, 2000}}, {kMute, 0, "Master Mute", {}, {0, 0}}}};
  playback.sources = {
      {"PCM", 2, {{kVolume, 0, "PCM Volume", {}, {3000, 4000}}, {kMute, kDisabled, "PCM Mute", {}, {1, 1}}}},
      {"Line", 1, {{kVolume, 0, "Line Volume", {}, {5000}}, {kMute, 0, "Line Mute", {}, {0}}}},
      {"CD", 2, {{kVolume, kUniform, "CD Volume", {}, {6000}}, {kMute, kUniform, "CD Mute", {}, {0}}}}};
  EmulatedDestination recording;
  recording.line = {"Capture", 2,
                    {{kVolume, 0, "Capture Volume", {}, {7000, 7000}},
                     {win::MIXERCONTROL_CONTROLTYPE_MUX, kMultiple, "Capture Source",
                      {{SourceLineId(1, 0), "Mic"}, {SourceLineId(1, 1), "CD"}, {SourceLineId(1, 2), "Line"}},
                      {0, 0, 0, 0, 1, 1}}}};
  recording.sources = {{"Mic", 1, {{kVolume, 0, "Mic Volume", {}, {8000}}}}, {"CD", 2, {}}, {"Line", 2, {}}};
  spec.destinations = {playback, recording};
  return spec;
}

struct Volume {
  int left = 0, right = 0, mute = 0;
  bool stereo = false, vol_disabled = false, mute_disabled = false, mute_is_select = false;
  bool result = false;
};

Volume ReadVolume(TAudioMixer& mixer, int destination, int connection) {
  Volume v;
  v.result = mixer.GetVolume(destination, connection, v.left, v.right, v.mute, v.stereo,
                             v.vol_disabled, v.mute_disabled, v.mute_is_select);
  return v;
}

class AudioMixerTest : public ::testing::Test {
 protected:
  std::unique_ptr<TAudioMixer> Create() { return std::make_unique<TAudioMixer>(nullptr); }

  DWORD Mux() const { return device_->ControlId(1, -1, 1); }

  std::shared_ptr<EmulatedMixer> device_ = std::make_shared<EmulatedMixer>(CarDevice());
  std::unique_ptr<ScopedDeviceList> devices_ = std::make_unique<ScopedDeviceList>(
      std::vector<std::shared_ptr<Device>>{device_});
};

TEST_F(AudioMixerTest, WithoutADeviceTheTreeIsEmptyAndEveryOperationFails) {
  devices_.reset();
  ScopedDeviceList none({});
  auto mixer = Create();
  EXPECT_EQ(mixer->GetMixerCount(), 0);
  EXPECT_EQ(mixer->GetMixerId(), -1);
  ASSERT_NE(mixer->GetDestinations(), nullptr);
  EXPECT_EQ(mixer->GetDestinations()->Count(), 0);
  Volume v = ReadVolume(*mixer, 0, -1);
  EXPECT_FALSE(v.result);
  EXPECT_FALSE(mixer->SetVolume(0, -1, 1, 1, 0));
  bool mute = true;
  EXPECT_FALSE(mixer->GetMute(0, -1, mute));
  EXPECT_FALSE(mute);
  EXPECT_FALSE(mixer->SetMute(0, -1, true));
  mixer->SetMixerId(0);
  EXPECT_EQ(mixer->GetMixerId(), -1);
}

TEST(AudioMixerCapsTest, ManufacturerAndCapabilities) {
  struct Case {
    win::WORD mid;
    const char* text;
  };
  for (const Case& c : {Case{1, "Microsoft"}, Case{2, "2 = Unknown"}, Case{65535, "65535 = Unknown"}}) {
    auto device = std::make_shared<EmulatedMixer>(CarDevice(c.mid));
    ScopedDeviceList devices({device});
    TAudioMixer mixer(nullptr);
    EXPECT_EQ(mixer.GetManufacturer(), c.text);
    EXPECT_EQ(mixer.GetProductName(), "Car Mixer");
    EXPECT_EQ(mixer.GetProductId(), 42);
    EXPECT_EQ(mixer.GetDriverVersion(), 0x0501u);
    EXPECT_EQ(mixer.GetNumberOfLine(), 2);
  }
}

TEST_F(AudioMixerTest, TheTreeMirrorsLinesAndControls) {
  auto mixer = Create();
  EXPECT_EQ(mixer->GetMixerId(), 0);
  TMixerDestinations& destinations = *mixer->GetDestinations();
  ASSERT_EQ(destinations.Count(), 2);
  EXPECT_EQ(destinations.GetDestination(2), nullptr);
  EXPECT_EQ(destinations.GetDestination(-1), nullptr);
  TMixerDestination& playback = *destinations.GetDestination(0);
  EXPECT_STREQ(playback.Data.szName, "Master");
  ASSERT_EQ(playback.Connections->Count(), 3);
  EXPECT_STREQ(playback.Connections->GetConnection(2)->Data.szName, "CD");
  EXPECT_EQ(playback.Connections->GetConnection(3), nullptr);
  EXPECT_EQ(playback.Connections->GetConnection(-2), nullptr);
  ASSERT_EQ(playback.Controls->Count(), 2);
  EXPECT_EQ(playback.Controls->GetControl(1)->dwControlType, kMute);
  EXPECT_EQ(playback.Controls->GetControl(2), nullptr);
  TMixerDestination& recording = *destinations.GetDestination(1);
  EXPECT_EQ(recording.Controls->GetControl(1)->cMultipleItems, 3u);
  EXPECT_EQ(recording.Connections->GetConnection(0)->Controls->Count(), 1);
}

TEST_F(AudioMixerTest, UnreadableLinesAreLeftOutOfTheTree) {
  device_->FailQuery(Query::kLineInfo, 0, kDestinationLine);
  device_->FailQuery(Query::kLineInfo, 1, 1);
  device_->FailQuery(Query::kLineControls, SourceLineId(1, 0));
  auto mixer = Create();
  TMixerDestinations& destinations = *mixer->GetDestinations();
  ASSERT_EQ(destinations.Count(), 1);
  TMixerDestination& recording = *destinations.GetDestination(0);
  EXPECT_STREQ(recording.Data.szName, "Capture");
  ASSERT_EQ(recording.Connections->Count(), 2);
  EXPECT_STREQ(recording.Connections->GetConnection(1)->Data.szName, "Line");
  EXPECT_EQ(recording.Connections->GetConnection(0)->Controls->Count(), 0);
}

TEST_F(AudioMixerTest, MixerIdOutsideTheDevicesChangesNothing) {
  auto second = std::make_shared<EmulatedMixer>(EmulatedDeviceSpec{"Second", 2, 0, 0, {CarDevice().destinations[1]}});
  devices_.reset();
  devices_ = std::make_unique<ScopedDeviceList>(std::vector<std::shared_ptr<Device>>{device_, second});
  auto mixer = Create();
  ASSERT_EQ(mixer->GetMixerCount(), 2);
  for (int id : {-1, -7, 2, 100}) {
    mixer->SetMixerId(id);
    EXPECT_EQ(mixer->GetMixerId(), 0) << id;
    EXPECT_TRUE(ReadVolume(*mixer, 0, -1).result) << "the open device stays open";
  }
  EXPECT_EQ(device_->OpenAttempts(), 1);
  mixer->SetMixerId(1);
  EXPECT_EQ(mixer->GetMixerId(), 1);
  EXPECT_EQ(mixer->GetProductName(), "Second");
  EXPECT_EQ(mixer->GetDestinations()->Count(), 1);
  EXPECT_EQ(device_->WatchingSessions(), 0) << "the first device was closed";
}

TEST_F(AudioMixerTest, GetVolumeReportsEachKindOfLine) {
  auto mixer = Create();
  struct Case {
    const char* what;
    int destination, connection;
    Volume expected;
  };
  const Case cases[] = {
      {"stereo destination", 0, -1, {1000, 2000, 0, true, false, false, false, true}},
      {"disabled mute", 0, 0, {3000, 4000, 1, true, false, true, false, true}},
      {"mono line", 0, 1, {5000, 5000, 0, false, false, false, false, true}},
      {"uniform controls on a stereo line", 0, 2, {6000, 6000, 0, false, false, false, false, true}},
      {"recording source, not selected", 1, 0, {8000, 8000, 0, false, false, false, true, true}},
      {"recording source without controls", 1, 1, {-1, -1, 0, false, true, false, true, true}},
      {"selected source, last item of a two-channel list", 1, 2, {-1, -1, 1, false, true, false, true, true}},
      {"missing connection", 0, 3, {-1, -1, -1, false, true, true, false, true}},
      {"negative connection", 0, -2, {-1, -1, -1, false, true, true, false, true}},
  };
  for (const Case& c : cases) {
    const Volume v = ReadVolume(*mixer, c.destination, c.connection);
    const Volume& e = c.expected;
    EXPECT_EQ(v.result, e.result) << c.what;
    EXPECT_EQ(v.left, e.left) << c.what;
    EXPECT_EQ(v.right, e.right) << c.what;
    EXPECT_EQ(v.mute, e.mute) << c.what;
    EXPECT_EQ(v.stereo, e.stereo) << c.what;
    EXPECT_EQ(v.vol_disabled, e.vol_disabled) << c.what;
    EXPECT_EQ(v.mute_disabled, e.mute_disabled) << c.what;
    EXPECT_EQ(v.mute_is_select, e.mute_is_select) << c.what;
  }
  EXPECT_FALSE(ReadVolume(*mixer, 2, -1).result);
  EXPECT_FALSE(ReadVolume(*mixer, -1, -1).result);
}

TEST_F(AudioMixerTest, GetVolumeKeepsWhatAFailedReadCannotTell) {
  device_->FailQuery(Query::kReadValues, device_->ControlId(0, -1, 0));
  auto mixer = Create();
  const Volume v = ReadVolume(*mixer, 0, -1);
  EXPECT_TRUE(v.result);
  EXPECT_EQ(v.left, -1);
  EXPECT_TRUE(v.vol_disabled);
  EXPECT_EQ(v.mute, 0);
}

TEST_F(AudioMixerTest, SetVolumeChangesWhatIsNotMinusOne) {
  struct Case {
    const char* what;
    int left, right, mute;
    std::vector<DWORD> volume, muted;
  };
  const Case cases[] = {
      {"slider: both channels, mute off", 9000, 9000, 0, {9000, 9000}, {0, 0}},
      {"only the mute", -1, 123, 0, {3000, 4000}, {0, 0}},
      {"only the volume", 100, 200, -1, {100, 200}, {1, 1}},
      {"right follows left", 300, -1, -1, {300, 300}, {1, 1}},
  };
  for (const Case& c : cases) {
    auto device = std::make_shared<EmulatedMixer>(CarDevice());
    ScopedDeviceList devices({device});
    TAudioMixer mixer(nullptr);
    EXPECT_TRUE(mixer.SetVolume(0, 0, c.left, c.right, c.mute)) << c.what;
    EXPECT_EQ(device->Values(device->ControlId(0, 0, 0)), c.volume) << c.what;
    EXPECT_EQ(device->Values(device->ControlId(0, 0, 1)), c.muted) << c.what;
  }
  auto mixer = Create();
  EXPECT_TRUE(mixer->SetVolume(0, 1, 700, 800, 1)) << "a mono line takes the left volume";
  EXPECT_EQ(device_->Values(device_->ControlId(0, 1, 0)), (std::vector<DWORD>{700}));
  EXPECT_TRUE(mixer->SetVolume(0, 9, 1, 1, 1)) << "a missing connection changes nothing";
  EXPECT_FALSE(mixer->SetVolume(3, -1, 1, 1, 1));
}

TEST_F(AudioMixerTest, SetVolumeOnARecordingSourceKeepsTheOtherSelection) {
  auto mixer = Create();
  EXPECT_TRUE(mixer->SetVolume(1, 0, 9000, 9000, 0));
  EXPECT_EQ(device_->Values(device_->ControlId(1, 0, 0)), (std::vector<DWORD>{9000}));
  EXPECT_EQ(device_->Values(Mux()), (std::vector<DWORD>{0, 0, 0, 0, 1, 1})) << "Line stays selected";
  EXPECT_EQ(device_->Writes(Mux()), 0);
  EXPECT_TRUE(mixer->SetVolume(1, 0, -1, -1, 1));
  EXPECT_EQ(device_->Values(Mux()), (std::vector<DWORD>{1, 1, 0, 0, 0, 0})) << "Mic alone, both channels";
  const Volume v = ReadVolume(*mixer, 1, 0);
  EXPECT_EQ(v.mute, 1);
  EXPECT_TRUE(v.mute_is_select);
}

TEST_F(AudioMixerTest, MuteOfLinesAndSelectionOfRecordingSources) {
  auto mixer = Create();
  bool mute = false;
  EXPECT_TRUE(mixer->SetMute(0, -1, true));
  EXPECT_EQ(device_->Values(device_->ControlId(0, -1, 1)), (std::vector<DWORD>{1, 1}));
  EXPECT_TRUE(mixer->GetMute(0, -1, mute));
  EXPECT_TRUE(mute);

  EXPECT_TRUE(mixer->SetMute(1, 1, true));
  EXPECT_EQ(device_->Values(Mux()), (std::vector<DWORD>{0, 0, 1, 1, 0, 0}));
  EXPECT_TRUE(mixer->GetMute(1, 1, mute));
  EXPECT_TRUE(mute) << "CD is selected";
  EXPECT_TRUE(mixer->GetMute(1, 2, mute));
  EXPECT_FALSE(mute);
  EXPECT_TRUE(mixer->SetMute(1, 1, false));
  EXPECT_EQ(device_->Values(Mux()), (std::vector<DWORD>{0, 0, 0, 0, 0, 0}));

  EXPECT_FALSE(mixer->GetMute(1, -1, mute)) << "the recording line has no mute";
  EXPECT_FALSE(mixer->SetMute(1, -1, true));
  EXPECT_FALSE(mixer->GetMute(1, 5, mute));
  EXPECT_FALSE(mixer->SetMute(0, 5, true));
  device_->FailQuery(Query::kWriteValues, Mux());
  EXPECT_FALSE(mixer->SetMute(1, 0, true)) << "a failed write is reported";
}

TEST(AudioMixerMultiSelectTest, TrueAddsThisSourceAndFalseWritesTheSelectionBackUnchanged) {
  EmulatedDeviceSpec spec;
  EmulatedDestination recording;
  recording.line = {"Capture", 1,
                    {{win::MIXERCONTROL_CONTROLTYPE_MIXER, kMultiple | kUniform, "Sources",
                      {{SourceLineId(0, 0), "A"}, {SourceLineId(0, 1), "B"}},
                      {0, 1}}}};
  recording.sources = {{"A", 1, {}}, {"B", 1, {}}};
  spec.destinations = {recording};
  auto device = std::make_shared<EmulatedMixer>(spec);
  ScopedDeviceList devices({device});
  TAudioMixer mixer(nullptr);
  const DWORD list = device->ControlId(0, -1, 0);
  EXPECT_TRUE(mixer.SetMute(0, 0, true));
  EXPECT_EQ(device->Values(list), (std::vector<DWORD>{1, 1}));
  const int writes = device->Writes(list);
  EXPECT_TRUE(mixer.SetMute(0, 1, false));
  EXPECT_EQ(device->Values(list), (std::vector<DWORD>{1, 1}));
  EXPECT_EQ(device->Writes(list), writes + 1) << "written back";
  bool selected = false;
  EXPECT_TRUE(mixer.GetMute(0, 1, selected));
  EXPECT_TRUE(selected);
}

TEST(AudioMixerLargeListTest, SourceListsLongerThanAHundredValuesAreReadWhole) {
  constexpr int kSources = 60;  // two channels each: 120 values
  EmulatedDestination recording;
  recording.line = {"Capture", 2, {{win::MIXERCONTROL_CONTROLTYPE_MUX, kMultiple, "Capture Source", {}, {}}}};
  for (int s = 0; s < kSources; ++s) {
    recording.line.controls[0].items.push_back({SourceLineId(0, static_cast<DWORD>(s)), "In " + std::to_string(s)});
    recording.sources.push_back({"In " + std::to_string(s), 2, {}});
  }
  EmulatedDeviceSpec spec;
  spec.destinations = {recording};
  auto device = std::make_shared<EmulatedMixer>(spec);
  ScopedDeviceList devices({device});
  TAudioMixer mixer(nullptr);
  EXPECT_TRUE(mixer.SetMute(0, kSources - 1, true));
  const std::vector<DWORD> values = device->Values(device->ControlId(0, -1, 0));
  ASSERT_EQ(values.size(), 2u * kSources);
  EXPECT_EQ(values[2 * kSources - 1], 1u);
  EXPECT_EQ(values[2 * kSources - 2], 1u);
  bool selected = false;
  EXPECT_TRUE(mixer.GetMute(0, kSources - 1, selected));
  EXPECT_TRUE(selected);
  EXPECT_TRUE(mixer.GetMute(0, 0, selected));
  EXPECT_FALSE(selected);
}

TEST_F(AudioMixerTest, OpeningFallsBackToNoNotifications) {
  struct Case {
    int failures;
    int mixer_id, attempts, watching;
  };
  for (const Case& c : {Case{1, 0, 2, 1}, Case{2, 0, 3, 0}, Case{3, -1, 3, 0}}) {
    auto device = std::make_shared<EmulatedMixer>(CarDevice());
    ScopedDeviceList devices({device});
    device->FailOpens(c.failures);
    TAudioMixer mixer(nullptr);
    EXPECT_EQ(mixer.GetMixerId(), c.mixer_id) << c.failures;
    EXPECT_EQ(device->OpenAttempts(), c.attempts) << c.failures;
    EXPECT_EQ(device->WatchingSessions(), c.watching) << c.failures;
    EXPECT_EQ(mixer.GetDestinations()->Count(), c.mixer_id < 0 ? 0 : 2) << c.failures;
  }
}

TEST_F(AudioMixerTest, ChangesArriveAsEventsOnTheMainThread) {
  auto mixer = Create();
  struct Seen {
    TObject* sender = nullptr;
    std::intptr_t handle = 0;
    int id = 0;
    std::thread::id thread;
  };
  std::vector<Seen> lines, controls;
  mixer->OnLineChange = [&](TObject* sender, std::intptr_t handle, int id) {
    lines.push_back({sender, handle, id, std::this_thread::get_id()});
  };
  mixer->OnControlChange = [&](TObject* sender, std::intptr_t handle, int id) {
    controls.push_back({sender, handle, id, std::this_thread::get_id()});
  };
  const DWORD volume = device_->ControlId(0, 1, 0);
  device_->SetValuesFromOutside(volume, {1234});
  device_->SignalLineChange(SourceLineId(0, 2));
  ASSERT_TRUE(testing::PumpUntil([&] { return !controls.empty() && !lines.empty(); },
                                 std::chrono::seconds(5)));
  EXPECT_EQ(controls[0].sender, mixer.get());
  EXPECT_EQ(controls[0].id, static_cast<int>(volume));
  EXPECT_NE(controls[0].handle, 0);
  EXPECT_EQ(controls[0].thread, std::this_thread::get_id());
  EXPECT_EQ(lines[0].id, static_cast<int>(SourceLineId(0, 2)));
  EXPECT_EQ(lines[0].handle, controls[0].handle);
  mixer.reset();
  EXPECT_EQ(device_->WatchingSessions(), 0) << "the watcher ended with the component";
}

}  // namespace
}  // namespace dashtune
