// The mixer services over ALSA, through the project's control plugin; values are checked with a
// second, independent ALSA handle.
#include "platform/mixer/mixer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/mixer/mixer_device.h"
#include "test_plugin_setup.h"

namespace win::mixer {
namespace {

using dashtune::testing::AlsaControlPeer;
using dashtune::testing::TestAlsaPlugin;

class MixerAlsaIntegrationTest : public ::testing::Test {
 protected:
  explicit MixerAlsaIntegrationTest(const std::string& source_enum = "") : plugin_(source_enum) {}

  void SetUp() override {
    const UINT count = mixerGetNumDevs();
    ASSERT_GE(count, 1u);
    device_ = count - 1;  // the named control devices follow the cards
    ASSERT_EQ(mixerOpen(&handle_, device_, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  }
  void TearDown() override {
    if (handle_) {
      EXPECT_EQ(mixerClose(handle_), MMSYSERR_NOERROR);
    }
  }

  HMIXEROBJ Object() const { return reinterpret_cast<HMIXEROBJ>(handle_); }

  MIXERLINEA Line(DWORD destination, int source) {
    MIXERLINEA line;
    line.cbStruct = sizeof(line);
    line.dwDestination = destination;
    line.dwSource = source < 0 ? 0 : static_cast<DWORD>(source);
    const DWORD flags = source < 0 ? MIXER_GETLINEINFOF_DESTINATION : MIXER_GETLINEINFOF_SOURCE;
    EXPECT_EQ(mixerGetLineInfoA(Object(), &line, flags), MMSYSERR_NOERROR);
    return line;
  }

  std::vector<MIXERCONTROLA> Controls(const MIXERLINEA& line) {
    std::vector<MIXERCONTROLA> controls(line.cControls);
    MIXERLINECONTROLSA request;
    request.cbStruct = sizeof(request);
    request.dwLineID = line.dwLineID;
    request.cControls = line.cControls;
    request.cbmxctrl = sizeof(MIXERCONTROLA);
    request.pamxctrl = controls.data();
    EXPECT_EQ(mixerGetLineControlsA(Object(), &request, MIXER_GETLINECONTROLSF_ALL), MMSYSERR_NOERROR);
    return controls;
  }

  MMRESULT Details(const MIXERCONTROLA& control, DWORD channels, std::vector<DWORD>& values,
                   bool write) {
    const DWORD items = control.cMultipleItems;
    values.resize(static_cast<std::size_t>(channels) * std::max<DWORD>(items, 1));
    MIXERCONTROLDETAILS details;
    details.cbStruct = sizeof(details);
    details.dwControlID = control.dwControlID;
    details.cChannels = channels;
    details.cMultipleItems = items;
    details.cbDetails = sizeof(DWORD);
    details.paDetails = values.data();
    return write ? mixerSetControlDetails(Object(), &details, MIXER_SETCONTROLDETAILSF_VALUE)
                 : mixerGetControlDetailsA(Object(), &details, MIXER_GETCONTROLDETAILSF_VALUE);
  }

  TestAlsaPlugin plugin_;
  UINT device_ = 0;
  HMIXER handle_ = nullptr;
};

TEST_F(MixerAlsaIntegrationTest, ListsThePluginsLinesAndControls) {
  MIXERCAPSA caps;
  ASSERT_EQ(mixerGetDevCapsA(device_, &caps, sizeof(caps)), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.wMid, MM_UNMAPPED);
  EXPECT_STREQ(caps.szPname, "Dashtune Test Mixer");
  ASSERT_EQ(caps.cDestinations, 2u);

  const MIXERLINEA playback = Line(0, -1);
  EXPECT_STREQ(playback.szName, "Master");
  EXPECT_EQ(playback.cChannels, 2u);
  std::vector<std::string> names;
  for (DWORD s = 0; s < playback.cConnections; ++s) names.push_back(Line(0, static_cast<int>(s)).szName);
  EXPECT_EQ(names, (std::vector<std::string>{"PCM", "Line", "CD", "Mic"}));
  EXPECT_EQ(Line(0, 3).cChannels, 1u) << "Mic is mono";
  const std::vector<MIXERCONTROLA> master = Controls(playback);
  ASSERT_EQ(master.size(), 2u);
  EXPECT_EQ(master[0].dwControlType, MIXERCONTROL_CONTROLTYPE_VOLUME);
  EXPECT_EQ(master[1].dwControlType, MIXERCONTROL_CONTROLTYPE_MUTE);

  const MIXERLINEA recording = Line(1, -1);
  EXPECT_STREQ(recording.szName, "Capture");
  names.clear();
  for (DWORD s = 0; s < recording.cConnections; ++s) names.push_back(Line(1, static_cast<int>(s)).szName);
  EXPECT_EQ(names, (std::vector<std::string>{"Line", "CD", "Mic"}));
  const std::vector<MIXERCONTROLA> capture = Controls(recording);
  ASSERT_EQ(capture.size(), 3u);
  EXPECT_EQ(capture[2].dwControlType, MIXERCONTROL_CONTROLTYPE_MUX);
  EXPECT_EQ(capture[2].cMultipleItems, 3u);

  std::vector<MIXERCONTROLDETAILS_LISTTEXTA> texts(3);
  MIXERCONTROLDETAILS details;
  details.cbStruct = sizeof(details);
  details.dwControlID = capture[2].dwControlID;
  details.cChannels = 1;
  details.cMultipleItems = 3;
  details.cbDetails = sizeof(texts[0]);
  details.paDetails = texts.data();
  ASSERT_EQ(mixerGetControlDetailsA(Object(), &details, MIXER_GETCONTROLDETAILSF_LISTTEXT), MMSYSERR_NOERROR);
  for (DWORD item = 0; item < 3; ++item) {
    EXPECT_EQ(texts[item].dwParam1, Line(1, static_cast<int>(item)).dwLineID);
    EXPECT_STREQ(texts[item].szName, names[item].c_str());
  }
}

TEST_F(MixerAlsaIntegrationTest, VolumesSurviveAReadWriteRoundTripAtEveryStep) {
  AlsaControlPeer peer;
  const std::vector<MIXERCONTROLA> line_controls = Controls(Line(0, 1));  // "Line", 0..31
  ASSERT_EQ(line_controls[0].dwControlType, MIXERCONTROL_CONTROLTYPE_VOLUME);
  for (long raw = 0; raw <= 31; ++raw) {
    peer.Write("Line Playback Volume", {raw, 31 - raw});
    std::vector<DWORD> scaled;
    ASSERT_EQ(Details(line_controls[0], 2, scaled, false), MMSYSERR_NOERROR);
    EXPECT_EQ(scaled[0], static_cast<DWORD>((raw * 65535 + 15) / 31));
    peer.Write("Line Playback Volume", {0, 0});
    ASSERT_EQ(Details(line_controls[0], 2, scaled, true), MMSYSERR_NOERROR);
    EXPECT_EQ(peer.Read("Line Playback Volume"), (std::vector<long>{raw, 31 - raw}));
  }
}

TEST_F(MixerAlsaIntegrationTest, MuteIsTheInverseOfThePlaybackSwitch) {
  AlsaControlPeer peer;
  const std::vector<MIXERCONTROLA> master = Controls(Line(0, -1));
  std::vector<DWORD> mute{1, 0};
  ASSERT_EQ(Details(master[1], 2, mute, true), MMSYSERR_NOERROR);
  EXPECT_EQ(peer.Read("Master Playback Switch"), (std::vector<long>{0, 1}));
  peer.Write("Master Playback Switch", {1, 0});
  ASSERT_EQ(Details(master[1], 2, mute, false), MMSYSERR_NOERROR);
  EXPECT_EQ(mute, (std::vector<DWORD>{0, 1}));
}

TEST_F(MixerAlsaIntegrationTest, TheSourceEnumerationIsASingleSelectList) {
  AlsaControlPeer peer;
  const MIXERCONTROLA mux = Controls(Line(1, -1))[2];
  std::vector<DWORD> selection{0, 1, 0};  // Line, CD, Mic
  ASSERT_EQ(Details(mux, 1, selection, true), MMSYSERR_NOERROR);
  EXPECT_EQ(peer.Read("Capture Source"), (std::vector<long>{1})) << "the CD item";
  peer.Write("Capture Source", {2});
  ASSERT_EQ(Details(mux, 1, selection, false), MMSYSERR_NOERROR);
  EXPECT_EQ(selection, (std::vector<DWORD>{1, 0, 0})) << "Line";
  selection = {0, 0, 0};
  EXPECT_EQ(Details(mux, 1, selection, true), MIXERR_INVALVALUE) << "an enumeration always selects one";
  EXPECT_EQ(peer.Read("Capture Source"), (std::vector<long>{2}));
}

// Runs amixer on the test device and answers its output ("" when it could not run).
std::string RunAmixer(const std::string& arguments) {
  const std::string command =
      std::string("amixer -D ") + TestAlsaPlugin::kDeviceName + " " + arguments + " 2>&1";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof(buffer), pipe)) output += buffer;
    if (pclose(pipe) != 0) output += "(failed)";
  }
  return output;
}

TEST_F(MixerAlsaIntegrationTest, AnotherProcessSeesAndMakesChanges) {
  const std::vector<MIXERCONTROLA> cd = Controls(Line(0, 2));
  std::vector<DWORD> volume{65535, 0};
  ASSERT_EQ(Details(cd[0], 2, volume, true), MMSYSERR_NOERROR);
  EXPECT_NE(RunAmixer("cget name='CD Playback Volume'").find(": values=31,0"), std::string::npos);
  const std::string set = RunAmixer("cset name='CD Playback Volume' 0,31");
  ASSERT_EQ(set.find("(failed)"), std::string::npos) << set;
  ASSERT_EQ(Details(cd[0], 2, volume, false), MMSYSERR_NOERROR);
  EXPECT_EQ(volume, (std::vector<DWORD>{0, 65535}));
}

// A source enumeration that the simple mixer keeps as one enumerated element.
class MixerAlsaEnumerationIntegrationTest : public MixerAlsaIntegrationTest {
 protected:
  MixerAlsaEnumerationIntegrationTest() : MixerAlsaIntegrationTest("Input Source") {}
};

TEST_F(MixerAlsaEnumerationIntegrationTest, TheEnumerationIsASingleSelectListOfItsItems) {
  AlsaControlPeer peer;
  const MIXERLINEA recording = Line(1, -1);
  std::vector<std::string> names;
  for (DWORD s = 0; s < recording.cConnections; ++s) names.push_back(Line(1, static_cast<int>(s)).szName);
  EXPECT_EQ(names, (std::vector<std::string>{"Mic", "CD", "Line"})) << "one source line per item";
  const std::vector<MIXERCONTROLA> controls = Controls(recording);
  ASSERT_EQ(controls.size(), 3u);
  const MIXERCONTROLA& mux = controls[2];
  EXPECT_EQ(mux.dwControlType, MIXERCONTROL_CONTROLTYPE_MUX);
  EXPECT_STREQ(mux.szName, "Input Source");
  std::vector<DWORD> selection{0, 0, 1};
  ASSERT_EQ(Details(mux, 1, selection, true), MMSYSERR_NOERROR);
  EXPECT_EQ(peer.Read("Input Source"), (std::vector<long>{2}));
  peer.Write("Input Source", {1});
  ASSERT_EQ(Details(mux, 1, selection, false), MMSYSERR_NOERROR);
  EXPECT_EQ(selection, (std::vector<DWORD>{0, 1, 0}));
  selection = {0, 0, 0};
  EXPECT_EQ(Details(mux, 1, selection, true), MIXERR_INVALVALUE);
}

}  // namespace
}  // namespace win::mixer
