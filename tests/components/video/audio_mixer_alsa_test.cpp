// TAudioMixer over ALSA and the project's control plugin; a second ALSA handle stands for the
// rest of the system.
#include "components/video/audio_mixer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform_test_support.h"
#include "test_plugin_setup.h"

namespace dashtune {
namespace {

using dashtune::testing::AlsaControlPeer;
using dashtune::testing::TestAlsaPlugin;

std::vector<std::string> ConnectionNames(const TMixerDestination& destination) {
  std::vector<std::string> names;
  for (int i = 0; i < destination.Connections->Count(); ++i)
    names.push_back(destination.Connections->GetConnection(i)->Data.szName);
  return names;
}

class AudioMixerAlsaIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mixer_ = std::make_unique<TAudioMixer>(nullptr);
    ASSERT_GE(mixer_->GetMixerCount(), 1);
    mixer_->SetMixerId(mixer_->GetMixerCount() - 1);  // the plugin follows the cards
    ASSERT_EQ(mixer_->GetMixerId(), mixer_->GetMixerCount() - 1);
  }

  TestAlsaPlugin plugin_;
  std::unique_ptr<TAudioMixer> mixer_;
};

TEST_F(AudioMixerAlsaIntegrationTest, ListsThePluginsLines) {
  EXPECT_EQ(mixer_->GetProductName(), "Dashtune Test Mixer");
  EXPECT_EQ(mixer_->GetManufacturer(), "65535 = Unknown");
  TMixerDestinations& destinations = *mixer_->GetDestinations();
  ASSERT_EQ(destinations.Count(), 2);
  EXPECT_STREQ(destinations.GetDestination(0)->Data.szName, "Master");
  EXPECT_EQ(ConnectionNames(*destinations.GetDestination(0)),
            (std::vector<std::string>{"PCM", "Line", "CD", "Mic"}));
  EXPECT_STREQ(destinations.GetDestination(1)->Data.szName, "Capture");
  EXPECT_EQ(ConnectionNames(*destinations.GetDestination(1)),
            (std::vector<std::string>{"Line", "CD", "Mic"}));
}

TEST_F(AudioMixerAlsaIntegrationTest, VolumeAndMuteReachAlsa) {
  AlsaControlPeer peer;
  EXPECT_TRUE(mixer_->SetVolume(0, 2, 65535, 0, 1));  // CD
  EXPECT_EQ(peer.Read("CD Playback Volume"), (std::vector<long>{31, 0}));
  EXPECT_EQ(peer.Read("CD Playback Switch"), (std::vector<long>{0, 0}));
  EXPECT_TRUE(mixer_->SetVolume(0, 3, 32768, -1, 0));  // Mic, mono
  EXPECT_EQ(peer.Read("Mic Playback Volume"), (std::vector<long>{8}));
  EXPECT_EQ(peer.Read("Mic Playback Switch"), (std::vector<long>{1}));
  EXPECT_TRUE(mixer_->SetMute(0, -1, true));
  EXPECT_EQ(peer.Read("Master Playback Switch"), (std::vector<long>{0, 0}));

  peer.Write("PCM Playback Volume", {51, 255});
  int left = 0, right = 0, mute = 0;
  bool stereo = false, vol_disabled = true, mute_disabled = true, mute_is_select = true;
  ASSERT_TRUE(mixer_->GetVolume(0, 0, left, right, mute, stereo, vol_disabled, mute_disabled,
                                mute_is_select));
  EXPECT_EQ(left, 13107);
  EXPECT_EQ(right, 65535);
  EXPECT_EQ(mute, 0);
  EXPECT_TRUE(stereo);
  EXPECT_FALSE(mute_is_select);
}

TEST_F(AudioMixerAlsaIntegrationTest, RecordingSourcesAreSelectedThroughMute) {
  AlsaControlPeer peer;
  EXPECT_TRUE(mixer_->SetMute(1, 2, true));  // Mic
  EXPECT_EQ(peer.Read("Capture Source"), (std::vector<long>{0}));
  EXPECT_TRUE(mixer_->SetMute(1, 1, true));  // CD
  EXPECT_EQ(peer.Read("Capture Source"), (std::vector<long>{1}));
  EXPECT_FALSE(mixer_->SetMute(1, 1, false)) << "the enumeration cannot select nothing";
  bool selected = false;
  EXPECT_TRUE(mixer_->GetMute(1, 1, selected));
  EXPECT_TRUE(selected);
  EXPECT_TRUE(mixer_->SetVolume(1, -1, 0, 65535, -1));
  EXPECT_EQ(peer.Read("Capture Volume"), (std::vector<long>{0, 63}));
}

TEST_F(AudioMixerAlsaIntegrationTest, AChangeFromOutsideRaisesOnControlChangeOnTheMainThread) {
  const win::DWORD pcm_volume =
      mixer_->GetDestinations()->GetDestination(0)->Connections->GetConnection(0)->Controls->GetControl(0)->dwControlID;
  std::vector<int> ids;
  std::thread::id thread;
  mixer_->OnControlChange = [&](TObject* sender, std::intptr_t, int id) {
    EXPECT_EQ(sender, mixer_.get());
    ids.push_back(id);
    thread = std::this_thread::get_id();
  };
  AlsaControlPeer peer;
  peer.Write("PCM Playback Volume", {1, 2});
  ASSERT_TRUE(testing::PumpUntil([&] { return !ids.empty(); }, std::chrono::seconds(10)));
  EXPECT_EQ(ids[0], static_cast<int>(pcm_volume));
  EXPECT_EQ(thread, std::this_thread::get_id());
}

}  // namespace
}  // namespace dashtune
