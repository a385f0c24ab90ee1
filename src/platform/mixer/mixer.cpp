#include "platform/mixer/mixer.h"

#include "platform/core/handles.h"
#include "platform/mixer/mixer_alsa.h"
#include "platform/mixer/mixer_device.h"
#include "platform/mixer/mixer_watcher.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <system_error>

namespace win {
namespace mixer {
namespace {

std::mutex& DeviceListMutex() {
  static std::mutex mutex;
  return mutex;
}

// The device list that a test installed, if any.
std::optional<std::vector<std::shared_ptr<Device>>>& InstalledDevices() {
  static std::optional<std::vector<std::shared_ptr<Device>>> devices;
  return devices;
}

}  // namespace

std::vector<std::shared_ptr<Device>> EnumerateDevices() {
  {
    std::lock_guard lock(DeviceListMutex());
    if (InstalledDevices()) return *InstalledDevices();
  }
  return EnumerateAlsaDevices();
}

ScopedDeviceList::ScopedDeviceList(std::vector<std::shared_ptr<Device>> devices) {
  std::lock_guard lock(DeviceListMutex());
  previous_ = std::move(InstalledDevices());
  InstalledDevices() = std::move(devices);
}

ScopedDeviceList::~ScopedDeviceList() {
  std::lock_guard lock(DeviceListMutex());
  InstalledDevices() = std::move(previous_);
}

void NumberModel(DeviceModel& model) {
  DWORD next_control_id = 1;
  auto number_controls = [&](LineModel& line) {
    for (ControlModel& control : line.controls) control.id = next_control_id++;
  };
  for (DWORD d = 0; d < model.destinations.size(); ++d) {
    DestinationModel& destination = model.destinations[d];
    destination.line.id = DestinationLineId(d);
    destination.line.destination = d;
    destination.line.source = 0;
    destination.line.is_source = false;
    number_controls(destination.line);
    for (DWORD s = 0; s < destination.sources.size(); ++s) {
      LineModel& source = destination.sources[s];
      source.id = SourceLineId(d, s);
      source.destination = d;
      source.source = s;
      source.is_source = true;
      number_controls(source);
    }
  }
}

DWORD ValueChannels(const LineModel& line, const ControlModel& control) {
  return control.Uniform() ? 1 : std::max<DWORD>(line.channels, 1);
}

DWORD ValueItems(const ControlModel& control) {
  return control.Multiple() ? static_cast<DWORD>(control.items.size()) : 1;
}

namespace {

// An open mixer: the session the API calls use and, with a callback window, the watcher.
class MixerObject : public KernelObject {
 public:
  explicit MixerObject(std::unique_ptr<Session> session) : session_(std::move(session)) {}

  void StartWatcher(std::unique_ptr<Session> watch_session, HWND window, HMIXER handle) {
    watcher_ = std::make_unique<Watcher>(std::move(watch_session), window, handle);
  }

  void HandleClosed() override { watcher_.reset(); }

  std::mutex& Mutex() { return mutex_; }
  Session& GetSession() { return *session_; }

 private:
  std::mutex mutex_;  // one call at a time on the session
  std::unique_ptr<Session> session_;
  std::unique_ptr<Watcher> watcher_;
};

// The session a query works on: an open mixer's (held locked) or one opened for the query.
struct Target {
  std::shared_ptr<MixerObject> object;
  std::unique_lock<std::mutex> lock;
  std::unique_ptr<Session> own_session;
  Session* session = nullptr;
};

MMRESULT OpenForHandle(HANDLE handle, Target& target) {
  target.object = LookupHandleAs<MixerObject>(handle);
  if (!target.object) return MMSYSERR_INVALHANDLE;
  target.lock = std::unique_lock(target.object->Mutex());
  target.session = &target.object->GetSession();
  return MMSYSERR_NOERROR;
}

// A small value names a device, anything else an open mixer; device counts stay far below the
// first handle value.
MMRESULT ResolveTarget(UINT_PTR object, DWORD flags, Target& target) {
  const DWORD type = flags & MIXER_OBJECTF_TYPEMASK;
  if (type == MIXER_OBJECTF_HMIXER) return OpenForHandle(reinterpret_cast<HANDLE>(object), target);
  if (type != MIXER_OBJECTF_MIXER) return MMSYSERR_INVALFLAG;
  const std::vector<std::shared_ptr<Device>> devices = EnumerateDevices();
  if (object < devices.size()) {
    const MMRESULT result = devices[object]->Open(SessionUse::kQuery, target.own_session);
    target.session = target.own_session.get();
    return result;
  }
  const MMRESULT result = OpenForHandle(reinterpret_cast<HANDLE>(object), target);
  return result == MMSYSERR_INVALHANDLE ? MMSYSERR_BADDEVICEID : result;
}

void CopyName(CHAR* destination, std::size_t size, const std::string& name) {
  const std::size_t length = std::min(name.size(), size - 1);
  std::memcpy(destination, name.data(), length);
  std::memset(destination + length, 0, size - length);
}

const LineModel* FindLine(const DeviceModel& model, DWORD line_id) {
  for (const DestinationModel& destination : model.destinations) {
    if (destination.line.id == line_id) return &destination.line;
    for (const LineModel& source : destination.sources)
      if (source.id == line_id) return &source;
  }
  return nullptr;
}

struct ControlRef {
  const LineModel* line = nullptr;
  const ControlModel* control = nullptr;
};

ControlRef FindControl(const DeviceModel& model, DWORD control_id) {
  auto search = [&](const LineModel& line) -> ControlRef {
    for (const ControlModel& control : line.controls)
      if (control.id == control_id) return {&line, &control};
    return {};
  };
  for (const DestinationModel& destination : model.destinations) {
    if (ControlRef found = search(destination.line); found.control) return found;
    for (const LineModel& source : destination.sources)
      if (ControlRef found = search(source); found.control) return found;
  }
  return {};
}

void FillCaps(const DeviceModel& model, MIXERCAPSA& caps) {
  caps = MIXERCAPSA{};
  caps.wMid = model.manufacturer_id;
  caps.wPid = model.product_id;
  caps.vDriverVersion = model.driver_version;
  CopyName(caps.szPname, sizeof(caps.szPname), model.product_name);
  caps.cDestinations = static_cast<DWORD>(model.destinations.size());
}

void FillLine(const DeviceModel& model, const LineModel& line, DWORD connections,
              MIXERLINEA& out) {
  const DWORD cb_struct = out.cbStruct;
  out = MIXERLINEA{};
  out.cbStruct = cb_struct;
  out.dwDestination = line.destination;
  out.dwSource = line.is_source ? line.source : 0;
  out.dwLineID = line.id;
  out.fdwLine = MIXERLINE_LINEF_ACTIVE | (line.is_source ? MIXERLINE_LINEF_SOURCE : 0);
  out.dwComponentType = line.component_type;
  out.cChannels = line.channels;
  out.cConnections = connections;
  out.cControls = static_cast<DWORD>(line.controls.size());
  CopyName(out.szShortName, sizeof(out.szShortName), line.name);
  CopyName(out.szName, sizeof(out.szName), line.name);
  out.Target.wMid = model.manufacturer_id;
  out.Target.wPid = model.product_id;
  out.Target.vDriverVersion = model.driver_version;
  CopyName(out.Target.szPname, sizeof(out.Target.szPname), model.product_name);
}

void FillControl(const ControlModel& control, MIXERCONTROLA& out) {
  out = MIXERCONTROLA{};
  out.cbStruct = sizeof(MIXERCONTROLA);
  out.dwControlID = control.id;
  out.dwControlType = control.type;
  out.fdwControl = control.flags;
  out.cMultipleItems = control.Multiple() ? static_cast<DWORD>(control.items.size()) : 0;
  CopyName(out.szShortName, sizeof(out.szShortName), control.name);
  CopyName(out.szName, sizeof(out.szName), control.name);
  out.Bounds.dwMinimum = control.minimum;
  out.Bounds.dwMaximum = control.maximum;
  out.Metrics.cSteps = control.steps;
}

// Writes the records at the caller's stride (cbmxctrl, at least one record's size).
void StoreControl(const MIXERLINECONTROLSA& request, std::size_t index, const ControlModel& control) {
  MIXERCONTROLA record;
  FillControl(control, record);
  auto* base = reinterpret_cast<unsigned char*>(request.pamxctrl);
  std::memcpy(base + index * request.cbmxctrl, &record, sizeof(record));
}

// Checks a details request against the control; `entry_size` is the size one entry must have.
MMRESULT CheckDetails(const MIXERCONTROLDETAILS& request, const ControlRef& ref,
                      std::size_t entry_size) {
  const DWORD channels = ValueChannels(*ref.line, *ref.control);
  if (request.cChannels != 1 && request.cChannels != channels) return MMSYSERR_INVALPARAM;
  const DWORD items = ref.control->Multiple() ? ValueItems(*ref.control) : 0;
  if (request.cMultipleItems != items) return MMSYSERR_INVALPARAM;
  if (request.cbDetails != entry_size || request.paDetails == nullptr) return MMSYSERR_INVALPARAM;
  return MMSYSERR_NOERROR;
}

MMRESULT GetValues(Session& session, const MIXERCONTROLDETAILS& request, const ControlRef& ref) {
  if (MMRESULT failure = session.ScriptedFailure(Query::kReadValues, ref.control->id, 0))
    return failure;
  const DWORD channels = ValueChannels(*ref.line, *ref.control);
  const DWORD items = ValueItems(*ref.control);
  std::vector<DWORD> values(static_cast<std::size_t>(channels) * items);
  if (MMRESULT result = session.ReadValues(*ref.line, *ref.control, values)) return result;
  auto* out = static_cast<DWORD*>(request.paDetails);
  for (DWORD item = 0; item < items; ++item)
    for (DWORD channel = 0; channel < request.cChannels; ++channel)
      out[item * request.cChannels + channel] = values[item * channels + channel];
  return MMSYSERR_NOERROR;
}

MMRESULT GetListTexts(Session& session, const MIXERCONTROLDETAILS& request, const ControlRef& ref) {
  if (!ref.control->Multiple()) return MMSYSERR_INVALPARAM;
  if (MMRESULT failure = session.ScriptedFailure(Query::kListTexts, ref.control->id, 0))
    return failure;
  auto* out = static_cast<MIXERCONTROLDETAILS_LISTTEXTA*>(request.paDetails);
  for (std::size_t item = 0; item < ref.control->items.size(); ++item) {
    for (DWORD channel = 0; channel < request.cChannels; ++channel) {
      MIXERCONTROLDETAILS_LISTTEXTA& text = out[item * request.cChannels + channel];
      text = MIXERCONTROLDETAILS_LISTTEXTA{};
      text.dwParam1 = ref.control->items[item].line_id;
      CopyName(text.szName, sizeof(text.szName), ref.control->items[item].name);
    }
  }
  return MMSYSERR_NOERROR;
}

// A single-select list takes at most one selected item per channel.
bool ValidSelection(std::span<const DWORD> values, DWORD channels, DWORD items) {
  for (DWORD channel = 0; channel < channels; ++channel) {
    DWORD selected = 0;
    for (DWORD item = 0; item < items; ++item) selected += values[item * channels + channel];
    if (selected > 1) return false;
  }
  return true;
}

// Expands the caller's values to every channel and checks them against the control's range.
MMRESULT PrepareValues(const MIXERCONTROLDETAILS& request, const ControlRef& ref,
                       std::vector<DWORD>& values) {
  const DWORD channels = ValueChannels(*ref.line, *ref.control);
  const DWORD items = ValueItems(*ref.control);
  const bool is_volume = ref.control->type == MIXERCONTROL_CONTROLTYPE_VOLUME;
  const auto* in = static_cast<const DWORD*>(request.paDetails);
  values.assign(static_cast<std::size_t>(channels) * items, 0);
  for (DWORD item = 0; item < items; ++item) {
    for (DWORD channel = 0; channel < channels; ++channel) {
      const DWORD value = in[item * request.cChannels + (request.cChannels == 1 ? 0 : channel)];
      if (is_volume && (value < ref.control->minimum || value > ref.control->maximum))
        return MIXERR_INVALVALUE;
      values[item * channels + channel] = is_volume ? value : (value != 0 ? 1 : 0);
    }
  }
  if (ref.control->type == MIXERCONTROL_CONTROLTYPE_MUX &&
      !ValidSelection(values, channels, items))
    return MIXERR_INVALVALUE;
  return MMSYSERR_NOERROR;
}

}  // namespace
}  // namespace mixer

using namespace mixer;

UINT mixerGetNumDevs() { return static_cast<UINT>(EnumerateDevices().size()); }

MMRESULT mixerOpen(LPHMIXER phmx, UINT uMxId, DWORD_PTR dwCallback, DWORD_PTR /*dwInstance*/,
                   DWORD fdwOpen) {
  if (phmx == nullptr) return MMSYSERR_INVALPARAM;
  *phmx = nullptr;
  if ((fdwOpen & ~CALLBACK_TYPEMASK) != MIXER_OBJECTF_MIXER) return MMSYSERR_INVALFLAG;
  const DWORD callback = fdwOpen & CALLBACK_TYPEMASK;
  if (callback != CALLBACK_NULL && callback != CALLBACK_WINDOW) return MMSYSERR_INVALFLAG;
  const HWND window = reinterpret_cast<HWND>(dwCallback);
  if (callback == CALLBACK_WINDOW && !CanNotify(window)) return MMSYSERR_INVALPARAM;

  const std::vector<std::shared_ptr<Device>> devices = EnumerateDevices();
  if (uMxId >= devices.size()) return MMSYSERR_BADDEVICEID;
  std::unique_ptr<Session> session;
  if (MMRESULT result = devices[uMxId]->Open(SessionUse::kOpen, session)) return result;
  std::unique_ptr<Session> watch_session;
  if (callback == CALLBACK_WINDOW) {
    if (MMRESULT result = devices[uMxId]->Open(SessionUse::kWatch, watch_session)) return result;
  }
  auto object = std::make_shared<MixerObject>(std::move(session));
  ScopedHandle handle(InsertHandle(object));
  if (watch_session) {
    try {
      object->StartWatcher(std::move(watch_session), window, static_cast<HMIXER>(handle.Get()));
    } catch (const std::system_error&) {
      return MMSYSERR_NOMEM;
    }
  }
  *phmx = static_cast<HMIXER>(handle.Detach());
  return MMSYSERR_NOERROR;
}

MMRESULT mixerClose(HMIXER hmx) {
  if (!LookupHandleAs<MixerObject>(hmx)) return MMSYSERR_INVALHANDLE;
  return CloseHandle(hmx) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT mixerGetDevCapsA(UINT_PTR uMxId, MIXERCAPSA* pmxcaps, UINT cbmxcaps) {
  if (pmxcaps == nullptr) return MMSYSERR_INVALPARAM;
  Target target;
  if (MMRESULT result = ResolveTarget(uMxId, MIXER_OBJECTF_MIXER, target)) return result;
  MIXERCAPSA caps;
  FillCaps(target.session->Model(), caps);
  std::memcpy(pmxcaps, &caps, std::min<std::size_t>(cbmxcaps, sizeof(caps)));
  return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineInfoA(HMIXEROBJ hmxobj, MIXERLINEA* pmxl, DWORD fdwInfo) {
  if (pmxl == nullptr || pmxl->cbStruct < sizeof(MIXERLINEA)) return MMSYSERR_INVALPARAM;
  const DWORD query = fdwInfo & MIXER_GETLINEINFOF_QUERYMASK;
  if (query != MIXER_GETLINEINFOF_DESTINATION && query != MIXER_GETLINEINFOF_SOURCE)
    return MMSYSERR_INVALFLAG;
  Target target;
  if (MMRESULT result = ResolveTarget(reinterpret_cast<UINT_PTR>(hmxobj), fdwInfo, target))
    return result;
  const DeviceModel& model = target.session->Model();
  const DWORD destination = pmxl->dwDestination;
  const DWORD source = query == MIXER_GETLINEINFOF_SOURCE ? pmxl->dwSource : 0;
  if (destination >= model.destinations.size()) return MIXERR_INVALLINE;
  const DestinationModel& found = model.destinations[destination];
  if (query == MIXER_GETLINEINFOF_SOURCE && source >= found.sources.size()) return MIXERR_INVALLINE;
  if (MMRESULT failure = target.session->ScriptedFailure(
          Query::kLineInfo, destination,
          query == MIXER_GETLINEINFOF_SOURCE ? source : 0xFFFFFFFF))
    return failure;
  if (query == MIXER_GETLINEINFOF_DESTINATION)
    FillLine(model, found.line, static_cast<DWORD>(found.sources.size()), *pmxl);
  else
    FillLine(model, found.sources[source], 0, *pmxl);
  return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineControlsA(HMIXEROBJ hmxobj, MIXERLINECONTROLSA* pmxlc, DWORD fdwControls) {
  if (pmxlc == nullptr || pmxlc->cbStruct < sizeof(MIXERLINECONTROLSA) ||
      pmxlc->cbmxctrl < sizeof(MIXERCONTROLA))
    return MMSYSERR_INVALPARAM;
  const DWORD query = fdwControls & MIXER_GETLINECONTROLSF_QUERYMASK;
  if (query > MIXER_GETLINECONTROLSF_ONEBYTYPE) return MMSYSERR_INVALFLAG;
  Target target;
  if (MMRESULT result = ResolveTarget(reinterpret_cast<UINT_PTR>(hmxobj), fdwControls, target))
    return result;
  const DeviceModel& model = target.session->Model();

  if (query == MIXER_GETLINECONTROLSF_ONEBYID) {
    if (pmxlc->cControls != 1 || pmxlc->pamxctrl == nullptr) return MMSYSERR_INVALPARAM;
    const ControlRef ref = FindControl(model, pmxlc->dwControlID);
    if (!ref.control) return MIXERR_INVALCONTROL;
    pmxlc->dwLineID = ref.line->id;
    StoreControl(*pmxlc, 0, *ref.control);
    return MMSYSERR_NOERROR;
  }
  const LineModel* line = FindLine(model, pmxlc->dwLineID);
  if (!line) return MIXERR_INVALLINE;
  if (MMRESULT failure = target.session->ScriptedFailure(Query::kLineControls, line->id, 0))
    return failure;
  if (query == MIXER_GETLINECONTROLSF_ONEBYTYPE) {
    if (pmxlc->cControls != 1 || pmxlc->pamxctrl == nullptr) return MMSYSERR_INVALPARAM;
    auto found = std::find_if(line->controls.begin(), line->controls.end(),
                              [&](const ControlModel& c) { return c.type == pmxlc->dwControlType; });
    if (found == line->controls.end()) return MIXERR_INVALCONTROL;
    StoreControl(*pmxlc, 0, *found);
    return MMSYSERR_NOERROR;
  }
  if (pmxlc->cControls != line->controls.size()) return MMSYSERR_INVALPARAM;
  if (!line->controls.empty() && pmxlc->pamxctrl == nullptr) return MMSYSERR_INVALPARAM;
  for (std::size_t i = 0; i < line->controls.size(); ++i) StoreControl(*pmxlc, i, line->controls[i]);
  return MMSYSERR_NOERROR;
}

MMRESULT mixerGetControlDetailsA(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails) {
  if (pmxcd == nullptr || pmxcd->cbStruct < sizeof(MIXERCONTROLDETAILS)) return MMSYSERR_INVALPARAM;
  const DWORD query = fdwDetails & MIXER_GETCONTROLDETAILSF_QUERYMASK;
  if (query != MIXER_GETCONTROLDETAILSF_VALUE && query != MIXER_GETCONTROLDETAILSF_LISTTEXT)
    return MMSYSERR_INVALFLAG;
  Target target;
  if (MMRESULT result = ResolveTarget(reinterpret_cast<UINT_PTR>(hmxobj), fdwDetails, target))
    return result;
  const ControlRef ref = FindControl(target.session->Model(), pmxcd->dwControlID);
  if (!ref.control) return MIXERR_INVALCONTROL;
  if (query == MIXER_GETCONTROLDETAILSF_VALUE) {
    if (MMRESULT result = CheckDetails(*pmxcd, ref, sizeof(MIXERCONTROLDETAILS_UNSIGNED)))
      return result;
    return GetValues(*target.session, *pmxcd, ref);
  }
  if (MMRESULT result = CheckDetails(*pmxcd, ref, sizeof(MIXERCONTROLDETAILS_LISTTEXTA)))
    return result;
  return GetListTexts(*target.session, *pmxcd, ref);
}

MMRESULT mixerSetControlDetails(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails) {
  if (pmxcd == nullptr || pmxcd->cbStruct < sizeof(MIXERCONTROLDETAILS)) return MMSYSERR_INVALPARAM;
  if ((fdwDetails & MIXER_SETCONTROLDETAILSF_QUERYMASK) != MIXER_SETCONTROLDETAILSF_VALUE)
    return MMSYSERR_INVALFLAG;
  Target target;
  if (MMRESULT result = ResolveTarget(reinterpret_cast<UINT_PTR>(hmxobj), fdwDetails, target))
    return result;
  const ControlRef ref = FindControl(target.session->Model(), pmxcd->dwControlID);
  if (!ref.control) return MIXERR_INVALCONTROL;
  if (MMRESULT result = CheckDetails(*pmxcd, ref, sizeof(MIXERCONTROLDETAILS_UNSIGNED)))
    return result;
  std::vector<DWORD> values;
  if (MMRESULT result = PrepareValues(*pmxcd, ref, values)) return result;
  if (MMRESULT failure = target.session->ScriptedFailure(Query::kWriteValues, ref.control->id, 0))
    return failure;
  return target.session->WriteValues(*ref.line, *ref.control, values);
}

}  // namespace win
