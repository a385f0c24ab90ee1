#include "components/video/audio_mixer.h"

#include <algorithm>
#include <cstring>

namespace dashtune {

using namespace win;

namespace {

HMIXEROBJ AsObject(HMIXER handle) { return reinterpret_cast<HMIXEROBJ>(handle); }

bool HasFlag(const MIXERCONTROLA& control, DWORD flag) { return (control.fdwControl & flag) != 0; }

// Values per item of a control on a line of `line_channels` channels.
DWORD ChannelsOf(const MIXERCONTROLA& control, DWORD line_channels) {
  return HasFlag(control, MIXERCONTROL_CONTROLF_UNIFORM) ? 1 : std::max<DWORD>(line_channels, 1);
}

DWORD ItemsOf(const MIXERCONTROLA& control) {
  return HasFlag(control, MIXERCONTROL_CONTROLF_MULTIPLE) ? control.cMultipleItems : 0;
}

std::size_t EntryCount(DWORD channels, DWORD items) {
  return static_cast<std::size_t>(channels) * std::max<DWORD>(items, 1);
}

// The request for all entries of a control: `channels` entries per item, `entry_size` bytes each.
MIXERCONTROLDETAILS DetailsRequest(const MIXERCONTROLA& control, DWORD channels, DWORD items,
                                   DWORD entry_size, void* entries) {
  MIXERCONTROLDETAILS details;
  details.cbStruct = sizeof(details);
  details.dwControlID = control.dwControlID;
  details.cChannels = channels;
  details.cMultipleItems = items;
  details.cbDetails = entry_size;
  details.paDetails = entries;
  return details;
}

}  // namespace

// --- TPointerList ---

TPointerList::~TPointerList() { Clear(); }

void* TPointerList::GetItem(int Index) const {
  if (Index < 0 || Index >= list_.GetCount()) return nullptr;
  return list_.Get(Index);
}

void TPointerList::Clear() {
  if (OnFreeItem)
    for (int i = 0; i < list_.GetCount(); ++i) OnFreeItem(list_.Get(i));
  list_.Clear();
}

// --- the tree ---

TMixerControls::TMixerControls(HMIXER mixer, const MIXERLINEA& line)
    : block_(line.cControls), items_(std::make_unique<TPointerList>()) {
  MIXERLINECONTROLSA request;
  request.cbStruct = sizeof(request);
  request.dwLineID = line.dwLineID;
  request.cControls = line.cControls;
  request.cbmxctrl = sizeof(MIXERCONTROLA);
  request.pamxctrl = block_.data();
  if (mixerGetLineControlsA(AsObject(mixer), &request, MIXER_GETLINECONTROLSF_ALL) != MMSYSERR_NOERROR)
    return;
  for (MIXERCONTROLA& control : block_) items_->Add(&control);
}

TMixerControls::~TMixerControls() { items_.reset(); }

MIXERCONTROLA* TMixerControls::GetControl(int Index) const {
  return static_cast<MIXERCONTROLA*>(items_->GetItem(Index));
}

TMixerConnection::TMixerConnection(TAudioMixer* mixer, HMIXER handle, const MIXERLINEA& data)
    : Mixer(mixer), Data(data), Controls(std::make_unique<TMixerControls>(handle, data)) {}

TMixerConnections::TMixerConnections(TAudioMixer* mixer, HMIXER handle,
                                     const MIXERLINEA& destination)
    : mixer_(mixer) {
  list_.OnFreeItem = [](void* item) { delete static_cast<TMixerConnection*>(item); };
  for (DWORD source = 0; source < destination.cConnections; ++source) {
    MIXERLINEA line;
    line.cbStruct = sizeof(line);
    line.dwDestination = destination.dwDestination;
    line.dwSource = source;
    if (mixerGetLineInfoA(AsObject(handle), &line, MIXER_GETLINEINFOF_SOURCE) == MMSYSERR_NOERROR)
      list_.Add(new TMixerConnection(mixer_, handle, line));
  }
}

TMixerConnection* TMixerConnections::GetConnection(int Index) const {
  return static_cast<TMixerConnection*>(list_.GetItem(Index));
}

TMixerDestination::TMixerDestination(TAudioMixer* mixer, HMIXER handle, const MIXERLINEA& data)
    : Mixer(mixer), Data(data) {
  Connections = std::make_unique<TMixerConnections>(mixer, handle, data);
  Controls = std::make_unique<TMixerControls>(handle, data);
}

TMixerDestination::~TMixerDestination() {
  Controls.reset();
  Connections.reset();
}

TMixerDestinations::TMixerDestinations(TAudioMixer* mixer, HMIXER handle, DWORD count) {
  Own();
  for (DWORD destination = 0; destination < count; ++destination) {
    MIXERLINEA line;
    line.cbStruct = sizeof(line);
    line.dwDestination = destination;
    if (mixerGetLineInfoA(AsObject(handle), &line, MIXER_GETLINEINFOF_DESTINATION) == MMSYSERR_NOERROR)
      list_.Add(new TMixerDestination(mixer, handle, line));
  }
}

void TMixerDestinations::Own() {
  list_.OnFreeItem = [](void* item) { delete static_cast<TMixerDestination*>(item); };
}

TMixerDestination* TMixerDestinations::GetDestination(int Index) const {
  return static_cast<TMixerDestination*>(list_.GetItem(Index));
}

// --- TAudioMixer ---

struct TAudioMixer::LineRef {
  TMixerDestination* destination = nullptr;
  TMixerConnection* connection = nullptr;  // nil for the destination line or a missing one
};

TAudioMixer::TAudioMixer(TComponent* AOwner) : TComponent(AOwner) {
  window_ = AllocateHWnd([this](TMessage& Message) { WndProc(Message); });
  mixer_count_ = static_cast<int>(mixerGetNumDevs());
  mixer_id_ = -1;
  if (mixer_count_ > 0)
    SetMixerId(0);
  else
    destinations_ = std::make_unique<TMixerDestinations>();
}

TAudioMixer::~TAudioMixer() {
  CloseDevice();
  DeallocateHWnd(window_);
}

void TAudioMixer::CloseDevice() {
  if (mixer_id_ >= 0) {
    mixerClose(handle_);
    handle_ = nullptr;
    mixer_id_ = -1;
  }
  destinations_.reset();
}

void TAudioMixer::SetMixerId(int Value) {
  if (Value < 0 || Value >= mixer_count_) return;
  CloseDevice();
  const UINT index = static_cast<UINT>(Value);
  const DWORD_PTR window = reinterpret_cast<DWORD_PTR>(window_);
  HMIXER handle = nullptr;
  MMRESULT result = mixerOpen(&handle, index, window, 0, CALLBACK_WINDOW);
  if (result != MMSYSERR_NOERROR) result = mixerOpen(&handle, index, window, 0, CALLBACK_WINDOW);
  if (result != MMSYSERR_NOERROR) result = mixerOpen(&handle, index, 0, 0, 0);
  if (result != MMSYSERR_NOERROR) {
    mixer_id_ = -1;
    destinations_ = std::make_unique<TMixerDestinations>();
    return;
  }
  handle_ = handle;
  mixer_id_ = Value;
  ReadCapabilities(Value);
  destinations_ = std::make_unique<TMixerDestinations>(this, handle_, caps_.cDestinations);
}

void TAudioMixer::ReadCapabilities(int index) {
  caps_ = MIXERCAPSA{};
  mixerGetDevCapsA(static_cast<UINT_PTR>(index), &caps_, sizeof(caps_));
  manufacturer_ = caps_.wMid == MM_MICROSOFT ? "Microsoft" : std::to_string(caps_.wMid) + " = Unknown";
  driver_version_ = caps_.vDriverVersion;
  product_id_ = caps_.wPid;
  product_name_.assign(caps_.szPname, strnlen(caps_.szPname, sizeof(caps_.szPname)));
  number_of_line_ = static_cast<int>(caps_.cDestinations);
}

void TAudioMixer::WndProc(TMessage& Message) {
  if (Message.Msg == MM_MIXM_LINE_CHANGE || Message.Msg == MM_MIXM_CONTROL_CHANGE) {
    const TMixerChange& event = Message.Msg == MM_MIXM_LINE_CHANGE ? OnLineChange : OnControlChange;
    if (event)
      event(this, static_cast<std::intptr_t>(Message.WParam), static_cast<int>(Message.LParam));
    Message.Result = 0;
    return;
  }
  Message.Result = DefWindowProcA(window_, Message.Msg, Message.WParam, Message.LParam);
}

bool TAudioMixer::FindLine(int DestId, int ConnId, LineRef& ref) const {
  if (!destinations_) return false;
  ref.destination = destinations_->GetDestination(DestId);
  if (!ref.destination) return false;
  if (ConnId != -1) ref.connection = ref.destination->Connections->GetConnection(ConnId);
  return true;
}

bool TAudioMixer::ReadDetails(const MIXERCONTROLA& control, DWORD channels, DWORD items,
                              std::vector<DWORD>& values) const {
  values.assign(EntryCount(channels, items), 0);
  MIXERCONTROLDETAILS details =
      DetailsRequest(control, channels, items, sizeof(MIXERCONTROLDETAILS_UNSIGNED), values.data());
  return mixerGetControlDetailsA(AsObject(handle_), &details, MIXER_GETCONTROLDETAILSF_VALUE) ==
         MMSYSERR_NOERROR;
}

bool TAudioMixer::ReadListTexts(const MIXERCONTROLA& control, DWORD channels, DWORD items,
                                std::vector<MIXERCONTROLDETAILS_LISTTEXTA>& texts) const {
  texts.assign(EntryCount(channels, items), MIXERCONTROLDETAILS_LISTTEXTA{});
  MIXERCONTROLDETAILS details =
      DetailsRequest(control, channels, items, sizeof(MIXERCONTROLDETAILS_LISTTEXTA), texts.data());
  return mixerGetControlDetailsA(AsObject(handle_), &details, MIXER_GETCONTROLDETAILSF_LISTTEXT) ==
         MMSYSERR_NOERROR;
}

bool TAudioMixer::WriteDetails(const MIXERCONTROLA& control, DWORD channels, DWORD items,
                               std::vector<DWORD>& values) const {
  MIXERCONTROLDETAILS details =
      DetailsRequest(control, channels, items, sizeof(MIXERCONTROLDETAILS_UNSIGNED), values.data());
  return mixerSetControlDetails(AsObject(handle_), &details, MIXER_SETCONTROLDETAILSF_VALUE) ==
         MMSYSERR_NOERROR;
}

bool TAudioMixer::FindLineControl(const MIXERLINEA& line, DWORD type, MIXERCONTROLA& control) const {
  MIXERLINECONTROLSA request;
  request.cbStruct = sizeof(request);
  request.dwLineID = line.dwLineID;
  request.dwControlType = type;
  request.cControls = 1;
  request.cbmxctrl = sizeof(MIXERCONTROLA);
  request.pamxctrl = &control;
  return mixerGetLineControlsA(AsObject(handle_), &request, MIXER_GETLINECONTROLSF_ONEBYTYPE) ==
         MMSYSERR_NOERROR;
}

// Reads a source list of the destination and answers the entry of the line's item (the item's
// last channel: entries run item by item, channels side by side), or -1 when the list cannot be
// read or has no item for the line.
int TAudioMixer::FindSelection(const TMixerDestination& destination, const MIXERCONTROLA& control,
                               DWORD line_id, std::vector<DWORD>& values) const {
  const DWORD channels = ChannelsOf(control, destination.Data.cChannels);
  const DWORD items = ItemsOf(control);
  std::vector<MIXERCONTROLDETAILS_LISTTEXTA> texts;
  if (!ReadDetails(control, channels, items, values)) return -1;
  if (!ReadListTexts(control, channels, items, texts)) return -1;
  for (DWORD item = 0; item < items; ++item) {
    const std::size_t entry = static_cast<std::size_t>(item) * channels + channels - 1;
    if (texts[entry].dwParam1 == line_id) return static_cast<int>(entry);
  }
  return -1;
}

// Selects the line's item on the list (alone on a single-select list). Deselecting clears it on
// a single-select list and leaves a multi-select list's selection as it is (written back
// unchanged); the other items stay as they are.
TAudioMixer::TSelectionResult TAudioMixer::SetSelection(const TMixerDestination& destination,
                                                        const MIXERCONTROLA& control, DWORD line_id,
                                                        bool select, bool write_unchanged) const {
  std::vector<DWORD> values;
  const int entry = FindSelection(destination, control, line_id, values);
  if (entry < 0) return TSelectionResult::NotListed;
  const DWORD channels = ChannelsOf(control, destination.Data.cChannels);
  const std::vector<DWORD> before = values;
  const bool single_select = control.dwControlType == MIXERCONTROL_CONTROLTYPE_MUX;
  if (select && single_select) std::fill(values.begin(), values.end(), 0);
  const std::size_t first = static_cast<std::size_t>(entry) + 1 - channels;
  if (select || single_select)
    std::fill_n(values.begin() + static_cast<std::ptrdiff_t>(first), channels, select ? 1 : 0);
  if (values == before && !write_unchanged) return TSelectionResult::Written;
  return WriteDetails(control, channels, ItemsOf(control), values) ? TSelectionResult::Written
                                                                    : TSelectionResult::Failed;
}

bool TAudioMixer::GetVolume(int DestId, int ConnId, int& LeftVol, int& RightVol, int& Mute,
                            bool& Stereo, bool& VolDisabled, bool& MuteDisabled,
                            bool& MuteIsSelect) {
  LineRef ref;
  if (!FindLine(DestId, ConnId, ref)) return false;
  Stereo = false;
  MuteDisabled = true;
  VolDisabled = true;
  LeftVol = RightVol = Mute = -1;
  MuteIsSelect = false;
  TMixerDestination& destination = *ref.destination;

  if (ref.connection) {
    TMixerControls& controls = *destination.Controls;
    for (int i = 0; i < controls.Count() && Mute == -1; ++i) {
      const MIXERCONTROLA& control = *controls.GetControl(i);
      if (control.dwControlType != MIXERCONTROL_CONTROLTYPE_MUX) continue;
      std::vector<DWORD> values;
      const int entry = FindSelection(destination, control, ref.connection->Data.dwLineID, values);
      if (entry < 0) continue;
      Mute = static_cast<int>(values[static_cast<std::size_t>(entry)]);
      MuteDisabled = HasFlag(control, MIXERCONTROL_CONTROLF_DISABLED);
      MuteIsSelect = true;
    }
  }

  if (ConnId != -1 && !ref.connection) return true;
  const MIXERLINEA& line = ref.connection ? ref.connection->Data : destination.Data;
  TMixerControls& controls = ref.connection ? *ref.connection->Controls : *destination.Controls;
  for (int i = 0; i < controls.Count() && (LeftVol == -1 || Mute == -1); ++i) {
    const MIXERCONTROLA& control = *controls.GetControl(i);
    const bool volume = control.dwControlType == MIXERCONTROL_CONTROLTYPE_VOLUME && LeftVol == -1;
    const bool mute = control.dwControlType == MIXERCONTROL_CONTROLTYPE_MUTE && Mute == -1;
    if ((!volume && !mute) || HasFlag(control, MIXERCONTROL_CONTROLF_MULTIPLE)) continue;
    const DWORD channels = ChannelsOf(control, line.cChannels);
    std::vector<DWORD> values;
    if (!ReadDetails(control, channels, 0, values)) continue;
    if (volume) {
      VolDisabled = HasFlag(control, MIXERCONTROL_CONTROLF_DISABLED);
      LeftVol = static_cast<int>(values[0]);
      if (channels < 2) {
        RightVol = LeftVol;
      } else {
        RightVol = static_cast<int>(values[1]);
        Stereo = true;
      }
    } else {
      MuteDisabled = HasFlag(control, MIXERCONTROL_CONTROLF_DISABLED);
      Mute = values[0] != 0 ? 1 : 0;
    }
  }
  return true;
}

bool TAudioMixer::SetVolume(int DestId, int ConnId, int LeftVol, int RightVol, int Mute) {
  LineRef ref;
  if (!FindLine(DestId, ConnId, ref)) return false;
  bool volume_done = LeftVol == -1;
  bool mute_done = Mute == -1;
  TMixerDestination& destination = *ref.destination;

  // A recording source's mute is its selection: Mute selects it, 0 deselects only it.
  if (!mute_done && ref.connection) {
    TMixerControls& controls = *destination.Controls;
    for (int i = 0; i < controls.Count() && !mute_done; ++i) {
      const MIXERCONTROLA& control = *controls.GetControl(i);
      if (control.dwControlType != MIXERCONTROL_CONTROLTYPE_MUX) continue;
      mute_done = SetSelection(destination, control, ref.connection->Data.dwLineID, Mute != 0,
                               false) != TSelectionResult::NotListed;
    }
  }

  if (ConnId != -1 && !ref.connection) return true;
  const MIXERLINEA& line = ref.connection ? ref.connection->Data : destination.Data;
  TMixerControls& controls = ref.connection ? *ref.connection->Controls : *destination.Controls;
  for (int i = 0; i < controls.Count() && (!volume_done || !mute_done); ++i) {
    const MIXERCONTROLA* control = controls.GetControl(i);
    if (!control || HasFlag(*control, MIXERCONTROL_CONTROLF_MULTIPLE)) continue;
    const bool volume = control->dwControlType == MIXERCONTROL_CONTROLTYPE_VOLUME && !volume_done;
    const bool mute = control->dwControlType == MIXERCONTROL_CONTROLTYPE_MUTE && !mute_done;
    if (!volume && !mute) continue;
    const DWORD channels = ChannelsOf(*control, line.cChannels);
    std::vector<DWORD> values;
    if (volume) {
      const DWORD right = static_cast<DWORD>(RightVol == -1 ? LeftVol : RightVol);
      // Channels past the second keep their level when it can be read, else follow the right.
      if (!ReadDetails(*control, channels, 0, values)) values.assign(channels, right);
      values[0] = static_cast<DWORD>(LeftVol);
      if (channels > 1) values[1] = right;
      volume_done = true;
    } else {
      values.assign(channels, static_cast<DWORD>(Mute));
      mute_done = true;
    }
    WriteDetails(*control, channels, 0, values);
  }
  return true;
}

bool TAudioMixer::GetMute(int DestId, int ConnId, bool& Mute) {
  Mute = false;
  LineRef ref;
  if (!FindLine(DestId, ConnId, ref)) return false;
  if (ConnId != -1 && !ref.connection) return false;
  TMixerDestination& destination = *ref.destination;
  const MIXERLINEA& line = ref.connection ? ref.connection->Data : destination.Data;

  MIXERCONTROLA mute_control;
  if (FindLineControl(line, MIXERCONTROL_CONTROLTYPE_MUTE, mute_control)) {
    std::vector<DWORD> values;
    if (!ReadDetails(mute_control, 1, 0, values)) return false;
    Mute = values[0] == 1;
    return true;
  }
  if (!ref.connection) return false;
  TMixerControls& controls = *destination.Controls;
  for (int i = 0; i < controls.Count(); ++i) {
    const MIXERCONTROLA& control = *controls.GetControl(i);
    if (control.dwControlType != MIXERCONTROL_CONTROLTYPE_MIXER &&
        control.dwControlType != MIXERCONTROL_CONTROLTYPE_MUX)
      continue;
    std::vector<DWORD> values;
    const int entry = FindSelection(destination, control, ref.connection->Data.dwLineID, values);
    if (entry < 0) continue;
    Mute = values[static_cast<std::size_t>(entry)] != 0;
    return true;
  }
  return false;
}

bool TAudioMixer::SetMute(int DestId, int ConnId, bool Mute) {
  LineRef ref;
  if (!FindLine(DestId, ConnId, ref)) return false;
  if (ConnId != -1 && !ref.connection) return false;
  TMixerDestination& destination = *ref.destination;
  const MIXERLINEA& line = ref.connection ? ref.connection->Data : destination.Data;

  MIXERCONTROLA mute_control;
  if (FindLineControl(line, MIXERCONTROL_CONTROLTYPE_MUTE, mute_control)) {
    std::vector<DWORD> values(1, Mute ? 1 : 0);
    return WriteDetails(mute_control, 1, 0, values);
  }
  if (!ref.connection) return false;
  TMixerControls& controls = *destination.Controls;
  for (int i = 0; i < controls.Count(); ++i) {
    const MIXERCONTROLA& control = *controls.GetControl(i);
    if (control.dwControlType != MIXERCONTROL_CONTROLTYPE_MIXER &&
        control.dwControlType != MIXERCONTROL_CONTROLTYPE_MUX)
      continue;
    if (SetSelection(destination, control, ref.connection->Data.dwLineID, Mute, true) ==
        TSelectionResult::Written)
      return true;
  }
  return false;
}

}  // namespace dashtune
