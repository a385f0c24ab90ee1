// The mixer services: the platform's mixer API over ALSA's simple mixer. Devices are the ALSA
// cards followed by the control devices named in DASHTUNE_MIXER_DEVICES (whitespace-separated
// ALSA control names). Destination 0 is playback, destination 1 (when the device can record) is
// recording; volumes are scaled to 0..65535.
//
// Multiple-item controls (MUX, MIXER) lay their values and list texts out item by item, the
// channels of one item side by side: entry = item * channels + channel.
#pragma once

#include "platform/core/types.h"

namespace win {

using MMRESULT = UINT;
using MMVERSION = UINT;
using LPHMIXER = HMIXER*;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MIXERR_INVALLINE = 1024;
constexpr MMRESULT MIXERR_INVALCONTROL = 1025;
constexpr MMRESULT MIXERR_INVALVALUE = 1026;

constexpr WORD MM_MICROSOFT = 1;
// Manufacturer id of every ALSA device (there is no registry of ALSA makers).
constexpr WORD MM_UNMAPPED = 0xFFFF;

constexpr UINT MM_MIXM_LINE_CHANGE = 0x3D0;
constexpr UINT MM_MIXM_CONTROL_CHANGE = 0x3D1;

constexpr DWORD CALLBACK_TYPEMASK = 0x00070000;
constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_WINDOW = 0x00010000;

constexpr DWORD MIXER_OBJECTF_HANDLE = 0x80000000;
constexpr DWORD MIXER_OBJECTF_MIXER = 0x00000000;
constexpr DWORD MIXER_OBJECTF_HMIXER = MIXER_OBJECTF_HANDLE | MIXER_OBJECTF_MIXER;
constexpr DWORD MIXER_OBJECTF_TYPEMASK = 0xF0000000;

constexpr DWORD MIXER_GETLINEINFOF_DESTINATION = 0x0;
constexpr DWORD MIXER_GETLINEINFOF_SOURCE = 0x1;
constexpr DWORD MIXER_GETLINEINFOF_QUERYMASK = 0xF;

constexpr DWORD MIXER_GETLINECONTROLSF_ALL = 0x0;
constexpr DWORD MIXER_GETLINECONTROLSF_ONEBYID = 0x1;
constexpr DWORD MIXER_GETLINECONTROLSF_ONEBYTYPE = 0x2;
constexpr DWORD MIXER_GETLINECONTROLSF_QUERYMASK = 0xF;

constexpr DWORD MIXER_GETCONTROLDETAILSF_VALUE = 0x0;
constexpr DWORD MIXER_GETCONTROLDETAILSF_LISTTEXT = 0x1;
constexpr DWORD MIXER_GETCONTROLDETAILSF_QUERYMASK = 0xF;
constexpr DWORD MIXER_SETCONTROLDETAILSF_VALUE = 0x0;
constexpr DWORD MIXER_SETCONTROLDETAILSF_QUERYMASK = 0xF;

constexpr DWORD MIXERLINE_LINEF_ACTIVE = 0x00000001;
constexpr DWORD MIXERLINE_LINEF_SOURCE = 0x80000000;

constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 0x0004;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 0x0007;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED = 0x1000;

constexpr DWORD MIXERCONTROL_CONTROLF_UNIFORM = 0x00000001;
constexpr DWORD MIXERCONTROL_CONTROLF_MULTIPLE = 0x00000002;
constexpr DWORD MIXERCONTROL_CONTROLF_DISABLED = 0x80000000;

constexpr DWORD MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_MUX = 0x70010001;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_MIXER = 0x71010001;

constexpr int MAXPNAMELEN = 32;
constexpr int MIXER_SHORT_NAME_CHARS = 16;
constexpr int MIXER_LONG_NAME_CHARS = 64;

struct MIXERCAPSA {
  WORD wMid = 0;
  WORD wPid = 0;
  MMVERSION vDriverVersion = 0;
  CHAR szPname[MAXPNAMELEN] = {};
  DWORD fdwSupport = 0;
  DWORD cDestinations = 0;
};

struct MIXERLINEA {
  DWORD cbStruct = 0;
  DWORD dwDestination = 0;
  DWORD dwSource = 0;
  DWORD dwLineID = 0;
  DWORD fdwLine = 0;
  DWORD_PTR dwUser = 0;
  DWORD dwComponentType = 0;
  DWORD cChannels = 0;
  DWORD cConnections = 0;
  DWORD cControls = 0;
  CHAR szShortName[MIXER_SHORT_NAME_CHARS] = {};
  CHAR szName[MIXER_LONG_NAME_CHARS] = {};
  struct {
    DWORD dwType = 0;
    DWORD dwDeviceID = 0;
    WORD wMid = 0;
    WORD wPid = 0;
    MMVERSION vDriverVersion = 0;
    CHAR szPname[MAXPNAMELEN] = {};
  } Target;
};

struct MIXERCONTROLA {
  DWORD cbStruct = 0;
  DWORD dwControlID = 0;
  DWORD dwControlType = 0;
  DWORD fdwControl = 0;
  DWORD cMultipleItems = 0;
  CHAR szShortName[MIXER_SHORT_NAME_CHARS] = {};
  CHAR szName[MIXER_LONG_NAME_CHARS] = {};
  struct {
    DWORD dwMinimum = 0;
    DWORD dwMaximum = 0;
    DWORD dwReserved[4] = {};
  } Bounds;
  struct {
    DWORD cSteps = 0;
    DWORD dwReserved[5] = {};
  } Metrics;
};

struct MIXERLINECONTROLSA {
  DWORD cbStruct = 0;
  DWORD dwLineID = 0;
  union {
    DWORD dwControlID;
    DWORD dwControlType = 0;
  };
  DWORD cControls = 0;
  DWORD cbmxctrl = 0;
  MIXERCONTROLA* pamxctrl = nullptr;
};

struct MIXERCONTROLDETAILS {
  DWORD cbStruct = 0;
  DWORD dwControlID = 0;
  DWORD cChannels = 0;
  union {
    HWND hwndOwner;
    DWORD cMultipleItems = 0;
  };
  DWORD cbDetails = 0;
  LPVOID paDetails = nullptr;
};

struct MIXERCONTROLDETAILS_LISTTEXTA {
  DWORD dwParam1 = 0;
  DWORD dwParam2 = 0;
  CHAR szName[MIXER_LONG_NAME_CHARS] = {};
};

struct MIXERCONTROLDETAILS_UNSIGNED {
  DWORD dwValue = 0;
};

struct MIXERCONTROLDETAILS_BOOLEAN {
  LONG fValue = 0;
};

static_assert(sizeof(MIXERCAPSA) == 48);
static_assert(sizeof(MIXERCONTROLA) == 148);
static_assert(sizeof(MIXERCONTROLDETAILS_LISTTEXTA) == 72);

// Number of mixer devices present now.
UINT mixerGetNumDevs();

// Opens device uMxId. With CALLBACK_WINDOW, dwCallback is the window that receives
// MM_MIXM_LINE_CHANGE and MM_MIXM_CONTROL_CHANGE (wParam: the mixer handle, lParam: the line or
// control id), posted by a watcher thread that runs until mixerClose.
MMRESULT mixerOpen(LPHMIXER phmx, UINT uMxId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                   DWORD fdwOpen);
MMRESULT mixerClose(HMIXER hmx);

// uMxId is a device index or an open mixer handle.
MMRESULT mixerGetDevCapsA(UINT_PTR uMxId, MIXERCAPSA* pmxcaps, UINT cbmxcaps);

// hmxobj is a device index or an open mixer handle (MIXER_OBJECTF_MIXER), or only a handle
// (MIXER_OBJECTF_HMIXER).
MMRESULT mixerGetLineInfoA(HMIXEROBJ hmxobj, MIXERLINEA* pmxl, DWORD fdwInfo);
MMRESULT mixerGetLineControlsA(HMIXEROBJ hmxobj, MIXERLINECONTROLSA* pmxlc, DWORD fdwControls);
MMRESULT mixerGetControlDetailsA(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails);
MMRESULT mixerSetControlDetails(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails);

}  // namespace win
