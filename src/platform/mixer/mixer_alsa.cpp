#include "platform/mixer/mixer_alsa.h"

#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

namespace win::mixer {
namespace {

constexpr DWORD kScaledMaximum = 65535;
constexpr const char* kDevicesVariable = "DASHTUNE_MIXER_DEVICES";

// Maps an ALSA range onto 0..65535 and back, rounding to nearest, so that a value read,
// written back and read again does not move.
DWORD ScaleVolume(long raw, long minimum, long maximum) {
  if (maximum <= minimum) return 0;
  const long long range = static_cast<long long>(maximum) - minimum;
  const long long offset = std::clamp<long long>(static_cast<long long>(raw) - minimum, 0, range);
  return static_cast<DWORD>((offset * kScaledMaximum + range / 2) / range);
}

long UnscaleVolume(DWORD scaled, long minimum, long maximum) {
  if (maximum <= minimum) return minimum;
  const long long range = static_cast<long long>(maximum) - minimum;
  return static_cast<long>(minimum + (static_cast<long long>(scaled) * range + kScaledMaximum / 2) /
                                         kScaledMaximum);
}

enum class Role {
  kPlaybackVolume,
  kPlaybackMute,
  kCaptureVolume,
  kCaptureMute,
  kSelect,      // one capture switch per item
  kEnumSelect,  // the items of one capture enumeration
};

// What lies behind one control: an element and its side, for a source list of switches one
// element per item whose capture switch is the item's selection, or a capture enumeration.
struct Binding {
  Role role;
  std::vector<snd_mixer_elem_t*> elements;
};

constexpr snd_mixer_selem_channel_id_t kChannels[2] = {SND_MIXER_SCHN_FRONT_LEFT,
                                                        SND_MIXER_SCHN_FRONT_RIGHT};

bool HasPlayback(snd_mixer_elem_t* e) {
  return snd_mixer_selem_has_playback_volume(e) || snd_mixer_selem_has_playback_switch(e);
}
bool HasCapture(snd_mixer_elem_t* e) {
  return snd_mixer_selem_has_capture_volume(e) || snd_mixer_selem_has_capture_switch(e);
}
bool IsCaptureEnumeration(snd_mixer_elem_t* e) {
  return snd_mixer_selem_is_enumerated(e) && snd_mixer_selem_is_enum_capture(e);
}

std::string ElementName(snd_mixer_elem_t* e) {
  std::string name = snd_mixer_selem_get_name(e);
  if (const unsigned index = snd_mixer_selem_get_index(e); index != 0) {
    name += ' ';
    name += std::to_string(index);
  }
  return name;
}

class AlsaSession : public Session {
 public:
  ~AlsaSession() override {
    if (mixer_) snd_mixer_close(mixer_);
  }

  MMRESULT Open(const std::string& name) {
    if (snd_mixer_open(&mixer_, 0) < 0) return MMSYSERR_NOMEM;
    if (snd_mixer_attach(mixer_, name.c_str()) < 0) return MMSYSERR_NODRIVER;
    if (snd_mixer_selem_register(mixer_, nullptr, nullptr) < 0) return MMSYSERR_NODRIVER;
    if (snd_mixer_load(mixer_) < 0) return MMSYSERR_NODRIVER;
    snd_hctl_t* hctl = nullptr;
    if (snd_mixer_get_hctl(mixer_, name.c_str(), &hctl) < 0) return MMSYSERR_NODRIVER;
    // Pending events are drained before every read; this must never block.
    snd_ctl_nonblock(snd_hctl_ctl(hctl), 1);
    ReadProductName(snd_hctl_ctl(hctl), name);
    BuildModel();
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_); e; e = snd_mixer_elem_next(e)) {
      snd_mixer_elem_set_callback(e, &AlsaSession::OnElementEvent);
      snd_mixer_elem_set_callback_private(e, this);
    }
    return MMSYSERR_NOERROR;
  }

  void StartWatching() { Snapshot(reported_); }

  const DeviceModel& Model() const override { return model_; }

  MMRESULT ReadValues(const LineModel& line, const ControlModel& control,
                      std::span<DWORD> values) override {
    if (HandleEvents() < 0) return MMSYSERR_NODRIVER;
    return Read(line, control, values);
  }

  MMRESULT WriteValues(const LineModel& line, const ControlModel& control,
                       std::span<const DWORD> values) override {
    if (HandleEvents() < 0) return MMSYSERR_NODRIVER;
    const Binding* binding = Bound(control);
    if (!binding) return MMSYSERR_NODRIVER;
    const DWORD channels = ValueChannels(line, control);
    int err = 0;
    switch (binding->role) {
      case Role::kPlaybackVolume:
      case Role::kCaptureVolume:
        err = WriteVolume(*binding, channels, values);
        break;
      case Role::kPlaybackMute:
      case Role::kCaptureMute:
        err = WriteMute(*binding, channels, values);
        break;
      case Role::kSelect:
        return WriteSelection(line, control, *binding, values);
      case Role::kEnumSelect:
        return WriteEnumeration(*binding, values);
    }
    return err < 0 ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
  }

  bool WaitForChanges(int stop_fd, ChangeSet& changes) override {
    for (;;) {
      const int count = snd_mixer_poll_descriptors_count(mixer_);
      if (count < 0) return false;
      std::vector<pollfd> fds(static_cast<std::size_t>(count) + 1);
      fds[0] = {stop_fd, POLLIN, 0};
      if (snd_mixer_poll_descriptors(mixer_, fds.data() + 1, static_cast<unsigned>(count)) < 0)
        return false;
      if (poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (fds[0].revents != 0) return false;
      unsigned short revents = 0;
      if (snd_mixer_poll_descriptors_revents(mixer_, fds.data() + 1, static_cast<unsigned>(count),
                                             &revents) < 0 ||
          (revents & (POLLERR | POLLHUP | POLLNVAL)))
        return false;
      if (HandleEvents() < 0) return false;
      CollectChanges(changes);
      if (!changes.line_ids.empty() || !changes.control_ids.empty()) return true;
    }
  }

 private:
  static int OnElementEvent(snd_mixer_elem_t* element, unsigned int mask) {
    auto* session = static_cast<AlsaSession*>(snd_mixer_elem_get_callback_private(element));
    if (mask == SND_CTL_EVENT_MASK_REMOVE) {
      session->removed_.insert(element);
    } else if (mask & (SND_CTL_EVENT_MASK_INFO | SND_CTL_EVENT_MASK_ADD)) {
      for (DWORD line_id : session->element_lines_[element]) session->changed_lines_.insert(line_id);
    }
    return 0;
  }

  int HandleEvents() { return snd_mixer_handle_events(mixer_); }

  void ReadProductName(snd_ctl_t* ctl, const std::string& fallback) {
    snd_ctl_card_info_t* info = nullptr;
    model_.product_name = fallback;
    if (snd_ctl_card_info_malloc(&info) < 0) return;
    if (snd_ctl_card_info(ctl, info) >= 0 && *snd_ctl_card_info_get_name(info))
      model_.product_name = snd_ctl_card_info_get_name(info);
    snd_ctl_card_info_free(info);
    model_.manufacturer_id = MM_UNMAPPED;
    model_.driver_version = (SND_LIB_MAJOR << 8) | SND_LIB_MINOR;
  }

  const Binding* Bound(const ControlModel& control) const {
    if (control.binding >= bindings_.size()) return nullptr;
    const Binding& binding = bindings_[control.binding];
    for (snd_mixer_elem_t* element : binding.elements)
      if (removed_.count(element)) return nullptr;
    return &binding;
  }

  // --- model ---

  void AddControl(LineModel& line, snd_mixer_elem_t* element, Role role, DWORD type, bool joined,
                  const std::string& suffix) {
    ControlModel control;
    control.type = type;
    control.flags = joined && line.channels > 1 ? MIXERCONTROL_CONTROLF_UNIFORM : 0;
    if (!snd_mixer_selem_is_active(element)) control.flags |= MIXERCONTROL_CONTROLF_DISABLED;
    control.name = line.name + " " + suffix;
    if (type == MIXERCONTROL_CONTROLTYPE_VOLUME) {
      long minimum = 0, maximum = 0;
      if (role == Role::kPlaybackVolume)
        snd_mixer_selem_get_playback_volume_range(element, &minimum, &maximum);
      else
        snd_mixer_selem_get_capture_volume_range(element, &minimum, &maximum);
      control.maximum = kScaledMaximum;
      control.steps = maximum > minimum ? static_cast<DWORD>(maximum - minimum) : 0;
    } else {
      control.maximum = 1;
      control.steps = 2;
    }
    control.binding = bindings_.size();
    bindings_.push_back({role, {element}});
    line.controls.push_back(std::move(control));
  }

  LineModel PlaybackLine(snd_mixer_elem_t* element, const std::string& name) {
    LineModel line;
    line.name = name;
    line.channels = snd_mixer_selem_is_playback_mono(element) ? 1 : 2;
    if (snd_mixer_selem_has_playback_volume(element))
      AddControl(line, element, Role::kPlaybackVolume, MIXERCONTROL_CONTROLTYPE_VOLUME,
                 snd_mixer_selem_has_playback_volume_joined(element), "Volume");
    if (snd_mixer_selem_has_playback_switch(element))
      AddControl(line, element, Role::kPlaybackMute, MIXERCONTROL_CONTROLTYPE_MUTE,
                 snd_mixer_selem_has_playback_switch_joined(element), "Mute");
    return line;
  }

  LineModel CaptureLine(snd_mixer_elem_t* element, const std::string& name, bool with_switch) {
    LineModel line;
    line.name = name;
    line.channels = snd_mixer_selem_is_capture_mono(element) ? 1 : 2;
    if (snd_mixer_selem_has_capture_volume(element))
      AddControl(line, element, Role::kCaptureVolume, MIXERCONTROL_CONTROLTYPE_VOLUME,
                 snd_mixer_selem_has_capture_volume_joined(element), "Volume");
    if (with_switch && snd_mixer_selem_has_capture_switch(element))
      AddControl(line, element, Role::kCaptureMute, MIXERCONTROL_CONTROLTYPE_MUTE,
                 snd_mixer_selem_has_capture_switch_joined(element), "Mute");
    return line;
  }

  static snd_mixer_elem_t* FindNamed(const std::vector<snd_mixer_elem_t*>& elements,
                                     const char* name, bool (*has)(snd_mixer_elem_t*)) {
    for (snd_mixer_elem_t* e : elements)
      if (std::string(snd_mixer_selem_get_name(e)) == name && has(e)) return e;
    return nullptr;
  }

  void BuildModel() {
    std::vector<snd_mixer_elem_t*> elements;
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_); e; e = snd_mixer_elem_next(e))
      elements.push_back(e);

    snd_mixer_elem_t* master = FindNamed(elements, "Master", HasPlayback);
    if (!master) {
      auto first = std::find_if(elements.begin(), elements.end(),
                                [](snd_mixer_elem_t* e) { return snd_mixer_selem_has_playback_volume(e) != 0; });
      if (first != elements.end()) master = *first;
    }
    DestinationModel playback;
    if (master) {
      playback.line = PlaybackLine(master, ElementName(master));
      element_lines_[master].push_back(DestinationLineId(0));
    } else {
      playback.line.name = "Playback";
      playback.line.channels = 2;
    }
    playback.line.component_type = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    for (snd_mixer_elem_t* e : elements) {
      if (e == master || !HasPlayback(e)) continue;
      element_lines_[e].push_back(SourceLineId(0, static_cast<DWORD>(playback.sources.size())));
      playback.sources.push_back(PlaybackLine(e, ElementName(e)));
      playback.sources.back().component_type = MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED;
    }
    model_.destinations.push_back(std::move(playback));

    snd_mixer_elem_t* capture_master = FindNamed(elements, "Capture", HasCapture);
    std::vector<snd_mixer_elem_t*> capture_sources, enumerations;
    for (snd_mixer_elem_t* e : elements) {
      if (e != capture_master && HasCapture(e)) capture_sources.push_back(e);
      if (IsCaptureEnumeration(e)) enumerations.push_back(e);
    }
    if (capture_master || !capture_sources.empty() || !enumerations.empty())
      BuildRecording(capture_master, capture_sources, enumerations);
    NumberModel(model_);
  }

  void BuildRecording(snd_mixer_elem_t* master, const std::vector<snd_mixer_elem_t*>& sources,
                      const std::vector<snd_mixer_elem_t*>& enumerations) {
    DestinationModel recording;
    if (master) {
      recording.line = CaptureLine(master, ElementName(master), true);
      element_lines_[master].push_back(DestinationLineId(1));
    } else {
      recording.line.name = "Capture";
      recording.line.channels = 2;
    }
    recording.line.component_type = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    std::map<int, std::vector<DWORD>> exclusive_groups;  // group → source indexes
    std::vector<DWORD> independent;
    for (DWORD s = 0; s < sources.size(); ++s) {
      snd_mixer_elem_t* e = sources[s];
      element_lines_[e].push_back(SourceLineId(1, s));
      recording.sources.push_back(CaptureLine(e, ElementName(e), false));
      recording.sources.back().component_type = MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED;
      if (!snd_mixer_selem_has_capture_switch(e)) continue;
      if (snd_mixer_selem_has_capture_switch_exclusive(e))
        exclusive_groups[snd_mixer_selem_get_capture_group(e)].push_back(s);
      else
        independent.push_back(s);
    }
    for (const auto& [group, members] : exclusive_groups)
      AddSourceList(recording, sources, members, MIXERCONTROL_CONTROLTYPE_MUX, "Capture Source");
    if (!independent.empty())
      AddSourceList(recording, sources, independent, MIXERCONTROL_CONTROLTYPE_MIXER,
                    "Capture Sources");
    for (snd_mixer_elem_t* e : enumerations) {
      element_lines_[e].push_back(DestinationLineId(1));
      AddEnumeration(recording, e);
    }
    model_.destinations.push_back(std::move(recording));
  }

  // A capture enumeration is a single-select list whose items are source lines: the capture
  // source of the same name, or a line of its own without controls.
  void AddEnumeration(DestinationModel& recording, snd_mixer_elem_t* e) {
    ControlModel control;
    control.type = MIXERCONTROL_CONTROLTYPE_MUX;
    control.flags = MIXERCONTROL_CONTROLF_UNIFORM | MIXERCONTROL_CONTROLF_MULTIPLE;
    control.name = ElementName(e);
    control.maximum = 1;
    control.steps = 2;
    const int count = std::max(snd_mixer_selem_get_enum_items(e), 0);
    for (int item = 0; item < count; ++item) {
      char text[MIXER_LONG_NAME_CHARS] = {};
      if (snd_mixer_selem_get_enum_item_name(e, static_cast<unsigned>(item), sizeof(text), text) < 0)
        snprintf(text, sizeof(text), "%s %d", control.name.c_str(), item);
      const std::string name(text, strnlen(text, sizeof(text)));
      auto found = std::find_if(recording.sources.begin(), recording.sources.end(),
                                [&](const LineModel& line) { return line.name == name; });
      const auto source = static_cast<DWORD>(found - recording.sources.begin());
      if (found == recording.sources.end()) {
        LineModel line;
        line.name = name;
        line.component_type = MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED;
        recording.sources.push_back(std::move(line));
      }
      control.items.push_back({SourceLineId(1, source), name});
    }
    control.binding = bindings_.size();
    bindings_.push_back({Role::kEnumSelect, {e}});
    recording.line.controls.push_back(std::move(control));
  }

  void AddSourceList(DestinationModel& recording, const std::vector<snd_mixer_elem_t*>& sources,
                     const std::vector<DWORD>& members, DWORD type, const std::string& name) {
    ControlModel control;
    control.type = type;
    control.flags = MIXERCONTROL_CONTROLF_UNIFORM | MIXERCONTROL_CONTROLF_MULTIPLE;
    control.name = name;
    control.maximum = 1;
    control.steps = 2;
    Binding binding{Role::kSelect, {}};
    for (DWORD s : members) {
      control.items.push_back({SourceLineId(1, s), recording.sources[s].name});
      binding.elements.push_back(sources[s]);
    }
    control.binding = bindings_.size();
    bindings_.push_back(std::move(binding));
    recording.line.controls.push_back(std::move(control));
  }

  // --- values ---

  MMRESULT Read(const LineModel& line, const ControlModel& control, std::span<DWORD> values) {
    const Binding* binding = Bound(control);
    if (!binding) return MMSYSERR_NODRIVER;
    const DWORD channels = ValueChannels(line, control);
    snd_mixer_elem_t* e = binding->elements.front();
    for (std::size_t i = 0; i < values.size(); ++i) {
      const snd_mixer_selem_channel_id_t channel = kChannels[i % channels];
      long raw = 0, minimum = 0, maximum = 0;
      int sw = 0, err = 0;
      switch (binding->role) {
        case Role::kPlaybackVolume:
          snd_mixer_selem_get_playback_volume_range(e, &minimum, &maximum);
          err = snd_mixer_selem_get_playback_volume(e, channel, &raw);
          values[i] = ScaleVolume(raw, minimum, maximum);
          break;
        case Role::kCaptureVolume:
          snd_mixer_selem_get_capture_volume_range(e, &minimum, &maximum);
          err = snd_mixer_selem_get_capture_volume(e, channel, &raw);
          values[i] = ScaleVolume(raw, minimum, maximum);
          break;
        case Role::kPlaybackMute:
          err = snd_mixer_selem_get_playback_switch(e, channel, &sw);
          values[i] = sw ? 0 : 1;
          break;
        case Role::kCaptureMute:
          err = snd_mixer_selem_get_capture_switch(e, channel, &sw);
          values[i] = sw ? 0 : 1;
          break;
        case Role::kSelect:
          err = snd_mixer_selem_get_capture_switch(binding->elements[i / channels],
                                                   SND_MIXER_SCHN_FRONT_LEFT, &sw);
          values[i] = sw ? 1 : 0;
          break;
        case Role::kEnumSelect: {
          unsigned int item = 0;
          err = snd_mixer_selem_get_enum_item(e, SND_MIXER_SCHN_FRONT_LEFT, &item);
          values[i] = i == item ? 1 : 0;
          break;
        }
      }
      if (err < 0) return MMSYSERR_ERROR;
    }
    return MMSYSERR_NOERROR;
  }

  static int WriteVolume(const Binding& binding, DWORD channels, std::span<const DWORD> values) {
    snd_mixer_elem_t* e = binding.elements.front();
    const bool playback = binding.role == Role::kPlaybackVolume;
    long minimum = 0, maximum = 0;
    if (playback)
      snd_mixer_selem_get_playback_volume_range(e, &minimum, &maximum);
    else
      snd_mixer_selem_get_capture_volume_range(e, &minimum, &maximum);
    if (channels == 1) {
      const long raw = UnscaleVolume(values[0], minimum, maximum);
      return playback ? snd_mixer_selem_set_playback_volume_all(e, raw)
                      : snd_mixer_selem_set_capture_volume_all(e, raw);
    }
    for (DWORD c = 0; c < channels; ++c) {
      const long raw = UnscaleVolume(values[c], minimum, maximum);
      const int err = playback ? snd_mixer_selem_set_playback_volume(e, kChannels[c], raw)
                               : snd_mixer_selem_set_capture_volume(e, kChannels[c], raw);
      if (err < 0) return err;
    }
    return 0;
  }

  static int WriteMute(const Binding& binding, DWORD channels, std::span<const DWORD> values) {
    snd_mixer_elem_t* e = binding.elements.front();
    const bool playback = binding.role == Role::kPlaybackMute;
    if (channels == 1) {
      const int on = values[0] ? 0 : 1;
      return playback ? snd_mixer_selem_set_playback_switch_all(e, on)
                      : snd_mixer_selem_set_capture_switch_all(e, on);
    }
    for (DWORD c = 0; c < channels; ++c) {
      const int on = values[c] ? 0 : 1;
      const int err = playback ? snd_mixer_selem_set_playback_switch(e, kChannels[c], on)
                               : snd_mixer_selem_set_capture_switch(e, kChannels[c], on);
      if (err < 0) return err;
    }
    return 0;
  }

  // Switches the selected sources on first (an exclusive group drops the others by itself),
  // then the rest off; a selection the device cannot hold (no source on an enumerated source
  // list) reads back differently and is refused.
  MMRESULT WriteSelection(const LineModel& line, const ControlModel& control,
                          const Binding& binding, std::span<const DWORD> values) {
    for (int pass = 1; pass >= 0; --pass) {
      for (std::size_t item = 0; item < binding.elements.size(); ++item) {
        if (static_cast<int>(values[item] != 0) != pass) continue;
        if (snd_mixer_selem_set_capture_switch_all(binding.elements[item], pass) < 0)
          return MMSYSERR_ERROR;
      }
    }
    std::vector<DWORD> now(values.size());
    if (MMRESULT result = Read(line, control, now)) return result;
    if (!std::equal(now.begin(), now.end(), values.begin(), values.end())) return MIXERR_INVALVALUE;
    return MMSYSERR_NOERROR;
  }

  // An enumeration always selects exactly one item; every channel takes it.
  static MMRESULT WriteEnumeration(const Binding& binding, std::span<const DWORD> values) {
    if (std::count(values.begin(), values.end(), 1u) != 1) return MIXERR_INVALVALUE;
    const auto item = static_cast<unsigned>(std::find(values.begin(), values.end(), 1u) - values.begin());
    snd_mixer_elem_t* e = binding.elements.front();
    if (snd_mixer_selem_set_enum_item(e, SND_MIXER_SCHN_FRONT_LEFT, item) < 0) return MMSYSERR_ERROR;
    for (int channel = SND_MIXER_SCHN_FRONT_LEFT + 1; channel <= SND_MIXER_SCHN_LAST; ++channel)
      if (snd_mixer_selem_set_enum_item(e, static_cast<snd_mixer_selem_channel_id_t>(channel), item) < 0)
        break;  // past the element's last channel
    return MMSYSERR_NOERROR;
  }

  // --- watching ---

  using Snapshot_t = std::map<DWORD, std::vector<DWORD>>;

  void Snapshot(Snapshot_t& out) {
    out.clear();
    auto take = [&](const LineModel& line) {
      for (const ControlModel& control : line.controls) {
        std::vector<DWORD> values(static_cast<std::size_t>(ValueChannels(line, control)) *
                                  ValueItems(control));
        if (Read(line, control, values) == MMSYSERR_NOERROR) out[control.id] = std::move(values);
      }
    };
    for (const DestinationModel& destination : model_.destinations) {
      take(destination.line);
      for (const LineModel& source : destination.sources) take(source);
    }
  }

  void CollectChanges(ChangeSet& changes) {
    Snapshot_t now;
    Snapshot(now);
    for (const auto& [id, values] : now) {
      auto previous = reported_.find(id);
      if (previous == reported_.end() || previous->second != values) changes.control_ids.push_back(id);
    }
    reported_ = std::move(now);
    changes.line_ids.assign(changed_lines_.begin(), changed_lines_.end());
    changed_lines_.clear();
  }

  snd_mixer_t* mixer_ = nullptr;
  DeviceModel model_;
  std::vector<Binding> bindings_;
  std::map<snd_mixer_elem_t*, std::vector<DWORD>> element_lines_;
  std::set<snd_mixer_elem_t*> removed_;
  std::set<DWORD> changed_lines_;
  Snapshot_t reported_;
};

class AlsaDevice : public Device {
 public:
  explicit AlsaDevice(std::string name) : name_(std::move(name)) {}

  MMRESULT Open(SessionUse use, std::unique_ptr<Session>& session) override {
    auto alsa = std::make_unique<AlsaSession>();
    if (MMRESULT result = alsa->Open(name_)) return result;
    if (use == SessionUse::kWatch) alsa->StartWatching();
    session = std::move(alsa);
    return MMSYSERR_NOERROR;
  }

 private:
  std::string name_;
};

}  // namespace

std::vector<std::shared_ptr<Device>> EnumerateAlsaDevices() {
  std::vector<std::shared_ptr<Device>> devices;
  int card = -1;
  while (snd_card_next(&card) >= 0 && card >= 0)
    devices.push_back(std::make_shared<AlsaDevice>("hw:" + std::to_string(card)));
  if (const char* named = std::getenv(kDevicesVariable)) {
    std::istringstream names(named);
    std::string name;
    while (names >> name) devices.push_back(std::make_shared<AlsaDevice>(name));
  }
  return devices;
}

}  // namespace win::mixer
