// The mixer services on the emulated device: records, ids, layouts and the checks of hostile
// requests.
#include "platform/mixer/mixer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "platform/mixer/mixer_emulated.h"

namespace win::mixer {
namespace {

constexpr DWORD kStereo = 2;

// Playback: "Master" (volume, mute) with "PCM" (uniform volume) and "Mic" (mono volume, mute).
// Recording: "Capture" (volume, a two-channel non-uniform source list of Mic and CD) with the
// sources "Mic" and "CD".
EmulatedDeviceSpec TestDevice() {
  EmulatedDeviceSpec spec;
  spec.product_name = "A product name that is longer than thirty-one characters";
  spec.manufacturer_id = 7;
  spec.product_id = 9;
  spec.driver_version = 0x0102;
  EmulatedDestination playback;
  playback.line = {"Master", kStereo,
                   {{MIXERCONTROL_CONTROLTYPE_VOLUME, 0, "Master Volume", {}, {100, 200}},
                    {MIXERCONTROL_CONTROLTYPE_MUTE, 0, "Master Mute", {}, {0, 1}}}};
  playback.sources = {
      {"PCM", kStereo, {{MIXERCONTROL_CONTROLTYPE_VOLUME, MIXERCONTROL_CONTROLF_UNIFORM, "PCM Volume", {}, {300}}}},
      {"Mic", 1,
       {{MIXERCONTROL_CONTROLTYPE_VOLUME, 0, "Mic Volume", {}, {400}},
        {MIXERCONTROL_CONTROLTYPE_MUTE, 0, "Mic Mute", {}, {1}}}}};
  EmulatedDestination recording;
  recording.line = {"Capture", kStereo,
                    {{MIXERCONTROL_CONTROLTYPE_VOLUME, 0, "Capture Volume", {}, {500, 600}},
                     {MIXERCONTROL_CONTROLTYPE_MUX, MIXERCONTROL_CONTROLF_MULTIPLE, "Capture Source",
                      {{SourceLineId(1, 0), "Mic"}, {SourceLineId(1, 1), "CD"}},
                      {0, 0, 1, 1}}}};
  recording.sources = {{"Mic", 1, {}}, {"CD", kStereo, {}}};
  spec.destinations = {playback, recording};
  return spec;
}

class MixerApiTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(mixerOpen(&handle_, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR); }
  void TearDown() override {
    if (handle_) {
      EXPECT_EQ(mixerClose(handle_), MMSYSERR_NOERROR);
    }
  }

  HMIXEROBJ Object() const { return reinterpret_cast<HMIXEROBJ>(handle_); }

  MMRESULT GetDetails(DWORD control, DWORD channels, DWORD items, void* data, DWORD size,
                      DWORD flags = MIXER_GETCONTROLDETAILSF_VALUE) {
    MIXERCONTROLDETAILS details;
    details.cbStruct = sizeof(details);
    details.dwControlID = control;
    details.cChannels = channels;
    details.cMultipleItems = items;
    details.cbDetails = size;
    details.paDetails = data;
    return mixerGetControlDetailsA(Object(), &details, flags);
  }

  MMRESULT SetDetails(DWORD control, DWORD channels, DWORD items, std::vector<DWORD> values) {
    MIXERCONTROLDETAILS details;
    details.cbStruct = sizeof(details);
    details.dwControlID = control;
    details.cChannels = channels;
    details.cMultipleItems = items;
    details.cbDetails = sizeof(DWORD);
    details.paDetails = values.data();
    return mixerSetControlDetails(Object(), &details, MIXER_SETCONTROLDETAILSF_VALUE);
  }

  std::shared_ptr<EmulatedMixer> device_ = std::make_shared<EmulatedMixer>(TestDevice());
  ScopedDeviceList devices_{{device_}};
  HMIXER handle_ = nullptr;
};

TEST_F(MixerApiTest, CapabilitiesByIndexAndByHandleTruncateTheName) {
  EXPECT_EQ(mixerGetNumDevs(), 1u);
  for (UINT_PTR id : {UINT_PTR{0}, reinterpret_cast<UINT_PTR>(handle_)}) {
    MIXERCAPSA caps;
    ASSERT_EQ(mixerGetDevCapsA(id, &caps, sizeof(caps)), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.wMid, 7);
    EXPECT_EQ(caps.wPid, 9);
    EXPECT_EQ(caps.vDriverVersion, 0x0102u);
    EXPECT_EQ(caps.cDestinations, 2u);
    EXPECT_STREQ(caps.szPname, "A product name that is longer t");
  }
  MIXERCAPSA partial;
  partial.cDestinations = 77;
  ASSERT_EQ(mixerGetDevCapsA(0, &partial, 4), MMSYSERR_NOERROR);
  EXPECT_EQ(partial.wMid, 7);
  EXPECT_EQ(partial.cDestinations, 77u) << "only the first cbmxcaps bytes are written";
  EXPECT_EQ(mixerGetDevCapsA(1, &partial, sizeof(partial)), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(mixerGetDevCapsA(0, nullptr, sizeof(partial)), MMSYSERR_INVALPARAM);
}

TEST_F(MixerApiTest, OpenAndCloseRejectBadArguments) {
  HMIXER other = nullptr;
  EXPECT_EQ(mixerOpen(nullptr, 0, 0, 0, 0), MMSYSERR_INVALPARAM);
  EXPECT_EQ(mixerOpen(&other, 1, 0, 0, 0), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(mixerOpen(&other, 0, 0, 0, 0x00030000), MMSYSERR_INVALFLAG) << "function callbacks";
  EXPECT_EQ(mixerOpen(&other, 0, 0x1234, 0, CALLBACK_WINDOW), MMSYSERR_INVALPARAM) << "no window";
  device_->FailOpens(1, MMSYSERR_ALLOCATED);
  EXPECT_EQ(mixerOpen(&other, 0, 0, 0, 0), MMSYSERR_ALLOCATED);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(mixerClose(nullptr), MMSYSERR_INVALHANDLE);
  ASSERT_EQ(mixerClose(handle_), MMSYSERR_NOERROR);
  EXPECT_EQ(mixerClose(handle_), MMSYSERR_INVALHANDLE) << "handles are not reused";
  handle_ = nullptr;
}

TEST_F(MixerApiTest, LineInfoOfDestinationsAndSources) {
  MIXERLINEA line;
  line.cbStruct = sizeof(line);
  line.dwDestination = 1;
  ASSERT_EQ(mixerGetLineInfoA(Object(), &line, MIXER_GETLINEINFOF_DESTINATION), MMSYSERR_NOERROR);
  EXPECT_EQ(line.dwLineID, DestinationLineId(1));
  EXPECT_EQ(line.cConnections, 2u);
  EXPECT_EQ(line.cControls, 2u);
  EXPECT_EQ(line.cChannels, 2u);
  EXPECT_STREQ(line.szName, "Capture");
  EXPECT_EQ(line.fdwLine & MIXERLINE_LINEF_SOURCE, 0u);

  line.dwDestination = 0;
  line.dwSource = 1;
  ASSERT_EQ(mixerGetLineInfoA(Object(), &line, MIXER_GETLINEINFOF_SOURCE), MMSYSERR_NOERROR);
  EXPECT_EQ(line.dwLineID, SourceLineId(0, 1));
  EXPECT_EQ(line.dwSource, 1u);
  EXPECT_EQ(line.cChannels, 1u);
  EXPECT_STREQ(line.szName, "Mic");
  EXPECT_NE(line.fdwLine & MIXERLINE_LINEF_SOURCE, 0u);

  struct Case {
    DWORD cb_struct, destination, source, flags;
    MMRESULT expected;
  };
  const Case cases[] = {
      {sizeof(MIXERLINEA), 2, 0, MIXER_GETLINEINFOF_DESTINATION, MIXERR_INVALLINE},
      {sizeof(MIXERLINEA), 0, 2, MIXER_GETLINEINFOF_SOURCE, MIXERR_INVALLINE},
      {sizeof(MIXERLINEA) - 1, 0, 0, MIXER_GETLINEINFOF_DESTINATION, MMSYSERR_INVALPARAM},
      {sizeof(MIXERLINEA), 0, 0, 4, MMSYSERR_INVALFLAG},
      {sizeof(MIXERLINEA), 0, 0, 0x40000000, MMSYSERR_INVALFLAG},
  };
  for (const Case& c : cases) {
    MIXERLINEA request;
    request.cbStruct = c.cb_struct;
    request.dwDestination = c.destination;
    request.dwSource = c.source;
    EXPECT_EQ(mixerGetLineInfoA(Object(), &request, c.flags), c.expected)
        << c.destination << "/" << c.source << " flags " << c.flags;
  }
  // A device index is not a handle.
  MIXERLINEA by_index;
  by_index.cbStruct = sizeof(by_index);
  EXPECT_EQ(mixerGetLineInfoA(nullptr, &by_index, MIXER_GETLINEINFOF_DESTINATION), MMSYSERR_NOERROR);
  EXPECT_EQ(mixerGetLineInfoA(nullptr, &by_index, MIXER_OBJECTF_HMIXER), MMSYSERR_INVALHANDLE);
}

TEST_F(MixerApiTest, LineControlsAllByIdAndByType) {
  struct Padded {
    MIXERCONTROLA control;
    char padding[12];
  } records[2];
  MIXERLINECONTROLSA request;
  request.cbStruct = sizeof(request);
  request.dwLineID = DestinationLineId(1);
  request.cControls = 2;
  request.cbmxctrl = sizeof(Padded);
  request.pamxctrl = &records[0].control;
  ASSERT_EQ(mixerGetLineControlsA(Object(), &request, MIXER_GETLINECONTROLSF_ALL), MMSYSERR_NOERROR);
  EXPECT_EQ(records[0].control.dwControlType, MIXERCONTROL_CONTROLTYPE_VOLUME);
  EXPECT_EQ(records[0].control.Bounds.dwMaximum, 65535u);
  EXPECT_EQ(records[1].control.dwControlType, MIXERCONTROL_CONTROLTYPE_MUX);
  EXPECT_EQ(records[1].control.cMultipleItems, 2u);
  EXPECT_STREQ(records[1].control.szName, "Capture Source");

  request.cControls = 1;
  EXPECT_EQ(mixerGetLineControlsA(Object(), &request, MIXER_GETLINECONTROLSF_ALL), MMSYSERR_INVALPARAM);

  MIXERCONTROLA one;
  request.cbmxctrl = sizeof(one);
  request.pamxctrl = &one;
  request.dwControlType = MIXERCONTROL_CONTROLTYPE_MUX;
  ASSERT_EQ(mixerGetLineControlsA(Object(), &request, MIXER_GETLINECONTROLSF_ONEBYTYPE), MMSYSERR_NOERROR);
  EXPECT_EQ(one.dwControlID, records[1].control.dwControlID);
  request.dwControlType = MIXERCONTROL_CONTROLTYPE_MUTE;
  EXPECT_EQ(mixerGetLineControlsA(Object(), &request, MIXER_GETLINECONTROLSF_ONEBYTYPE), MIXERR_INVALCONTROL);
  request.cControls = 0;
  EXPECT_EQ(mixerGetLineControlsA(Object(), &request, MIXER_GETLINECONTROLSF_ONEBYTYPE), MMSYSERR_INVALPARAM);

  request.cControls = 1;
  request.dwLineID = 0;
  request.dwControlID = device_->ControlId(0, 1, 1);
  ASSERT_EQ(mixerGetLineControlsA(Object(), &request, MIXER_GETLINECONTROLSF_ONEBYID), MMSYSERR_NOERROR);
  EXPECT_EQ(request.dwLineID, SourceLineId(0, 1));
  EXPECT_EQ(one.dwControlType, MIXERCONTROL_CONTROLTYPE_MUTE);

  request.dwLineID = 0x7777;
  EXPECT_EQ(mixerGetLineControlsA(Object(), &request, MIXER_GETLINECONTROLSF_ALL), MIXERR_INVALLINE);
  request.cbmxctrl = sizeof(MIXERCONTROLA) - 1;
  EXPECT_EQ(mixerGetLineControlsA(Object(), &request, MIXER_GETLINECONTROLSF_ALL), MMSYSERR_INVALPARAM);
}

TEST_F(MixerApiTest, MultipleItemValuesAndTextsRunItemByItem) {
  const DWORD mux = device_->ControlId(1, -1, 1);
  DWORD values[4] = {};
  ASSERT_EQ(GetDetails(mux, 2, 2, values, sizeof(DWORD)), MMSYSERR_NOERROR);
  EXPECT_EQ(std::vector<DWORD>(values, values + 4), (std::vector<DWORD>{0, 0, 1, 1}));
  MIXERCONTROLDETAILS_LISTTEXTA texts[4];
  ASSERT_EQ(GetDetails(mux, 2, 2, texts, sizeof(texts[0]), MIXER_GETCONTROLDETAILSF_LISTTEXT),
            MMSYSERR_NOERROR);
  const DWORD expected_lines[4] = {SourceLineId(1, 0), SourceLineId(1, 0), SourceLineId(1, 1),
                                   SourceLineId(1, 1)};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(texts[i].dwParam1, expected_lines[i]) << i;
  EXPECT_STREQ(texts[3].szName, "CD");
  DWORD first_channel[2] = {};
  ASSERT_EQ(GetDetails(mux, 1, 2, first_channel, sizeof(DWORD)), MMSYSERR_NOERROR);
  EXPECT_EQ(first_channel[1], 1u);
}

TEST_F(MixerApiTest, DetailRequestsThatDoNotFitTheControlAreRefused) {
  const DWORD volume = device_->ControlId(0, -1, 0);
  const DWORD uniform = device_->ControlId(0, 0, 0);
  const DWORD mux = device_->ControlId(1, -1, 1);
  DWORD buffer[8] = {};
  MIXERCONTROLDETAILS_LISTTEXTA texts[8];
  struct Case {
    const char* what;
    DWORD control, channels, items, size, flags;
    void* data;
    MMRESULT expected;
  };
  const Case cases[] = {
      {"three channels of a stereo line", volume, 3, 0, 4, 0, buffer, MMSYSERR_INVALPARAM},
      {"no channels", volume, 0, 0, 4, 0, buffer, MMSYSERR_INVALPARAM},
      {"two channels of a uniform control", uniform, 2, 0, 4, 0, buffer, MMSYSERR_INVALPARAM},
      {"items on a single-item control", volume, 2, 2, 4, 0, buffer, MMSYSERR_INVALPARAM},
      {"wrong item count", mux, 2, 3, 4, 0, buffer, MMSYSERR_INVALPARAM},
      {"wrong entry size", volume, 2, 0, 8, 0, buffer, MMSYSERR_INVALPARAM},
      {"no buffer", volume, 2, 0, 4, 0, nullptr, MMSYSERR_INVALPARAM},
      {"list texts of a volume", volume, 2, 0, sizeof(texts[0]), 1, texts, MMSYSERR_INVALPARAM},
      {"unknown control", 0x9999, 1, 0, 4, 0, buffer, MIXERR_INVALCONTROL},
      {"unknown query", volume, 2, 0, 4, 2, buffer, MMSYSERR_INVALFLAG},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GetDetails(c.control, c.channels, c.items, c.data, c.size, c.flags), c.expected) << c.what;
  for (DWORD value : buffer) EXPECT_EQ(value, 0u) << "nothing written on a refusal";
}

TEST_F(MixerApiTest, WritesSpreadOneChannelAndCheckValues) {
  const DWORD volume = device_->ControlId(0, -1, 0);
  const DWORD mute = device_->ControlId(0, -1, 1);
  const DWORD mux = device_->ControlId(1, -1, 1);
  EXPECT_EQ(SetDetails(volume, 1, 0, {700}), MMSYSERR_NOERROR);
  EXPECT_EQ(device_->Values(volume), (std::vector<DWORD>{700, 700}));
  EXPECT_EQ(SetDetails(volume, 2, 0, {1, 65536}), MIXERR_INVALVALUE);
  EXPECT_EQ(device_->Values(volume), (std::vector<DWORD>{700, 700}));
  EXPECT_EQ(SetDetails(mute, 2, 0, {5, 0}), MMSYSERR_NOERROR);
  EXPECT_EQ(device_->Values(mute), (std::vector<DWORD>{1, 0})) << "booleans are 0 or 1";
  EXPECT_EQ(SetDetails(mux, 2, 2, {1, 0, 1, 1}), MIXERR_INVALVALUE) << "two sources on channel 0";
  EXPECT_EQ(SetDetails(mux, 2, 2, {1, 1, 0, 0}), MMSYSERR_NOERROR);
  EXPECT_EQ(SetDetails(mux, 2, 2, {0, 0, 0, 0}), MMSYSERR_NOERROR) << "no source is allowed";
  device_->FailQuery(Query::kWriteValues, volume, 0, MMSYSERR_ERROR);
  EXPECT_EQ(SetDetails(volume, 1, 0, {5}), MMSYSERR_ERROR);
  EXPECT_EQ(device_->Values(volume), (std::vector<DWORD>{700, 700}));
}

TEST(MixerDevicesTest, NoDevicesAtAll) {
  ScopedDeviceList none({});
  EXPECT_EQ(mixerGetNumDevs(), 0u);
  HMIXER handle = nullptr;
  EXPECT_EQ(mixerOpen(&handle, 0, 0, 0, 0), MMSYSERR_BADDEVICEID);
  MIXERCAPSA caps;
  EXPECT_EQ(mixerGetDevCapsA(0, &caps, sizeof(caps)), MMSYSERR_BADDEVICEID);
}

}  // namespace
}  // namespace win::mixer
