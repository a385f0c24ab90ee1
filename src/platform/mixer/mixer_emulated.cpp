#include "platform/mixer/mixer_emulated.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace win::mixer {

// One subscriber per watching session: its queue of changes and the eventfd that wakes it.
struct Subscriber {
  int wake_fd = -1;
  ChangeSet pending;
};

struct EmulatedMixer::State {
  mutable std::mutex mutex;
  DeviceModel model;
  std::map<DWORD, std::vector<DWORD>> values;
  std::map<DWORD, int> writes;
  std::map<std::tuple<Query, DWORD, DWORD>, MMRESULT> failures;
  int failing_opens = 0;
  MMRESULT open_failure = MMSYSERR_NOERROR;
  int open_attempts = 0;
  std::set<Subscriber*> subscribers;

  // Caller holds the mutex.
  void Notify(bool line, DWORD id) {
    const std::uint64_t one = 1;
    for (Subscriber* subscriber : subscribers) {
      (line ? subscriber->pending.line_ids : subscriber->pending.control_ids).push_back(id);
      while (write(subscriber->wake_fd, &one, sizeof(one)) < 0 && errno == EINTR) {
      }
    }
  }
};

namespace {

using State = EmulatedMixer::State;

LineModel MakeLine(const EmulatedLine& spec, std::vector<const EmulatedControl*>& controls) {
  LineModel line;
  line.name = spec.name;
  line.channels = spec.channels;
  for (const EmulatedControl& control_spec : spec.controls) {
    ControlModel control;
    control.type = control_spec.type;
    control.flags = control_spec.flags;
    control.name = control_spec.name;
    control.items = control_spec.items;
    control.maximum = control.type == MIXERCONTROL_CONTROLTYPE_VOLUME ? 65535 : 1;
    line.controls.push_back(std::move(control));
    controls.push_back(&control_spec);
  }
  return line;
}

class EmulatedSession : public Session {
 public:
  EmulatedSession(std::shared_ptr<State> state, bool watch) : state_(std::move(state)) {
    if (!watch) return;
    subscriber_.wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::lock_guard lock(state_->mutex);
    state_->subscribers.insert(&subscriber_);
  }

  ~EmulatedSession() override {
    if (subscriber_.wake_fd < 0) return;
    {
      std::lock_guard lock(state_->mutex);
      state_->subscribers.erase(&subscriber_);
    }
    close(subscriber_.wake_fd);
  }

  bool CanWatch() const { return subscriber_.wake_fd >= 0; }

  const DeviceModel& Model() const override { return state_->model; }

  MMRESULT ReadValues(const LineModel&, const ControlModel& control,
                      std::span<DWORD> values) override {
    std::lock_guard lock(state_->mutex);
    const std::vector<DWORD>& stored = state_->values.at(control.id);
    if (stored.size() != values.size()) return MMSYSERR_ERROR;
    std::copy(stored.begin(), stored.end(), values.begin());
    return MMSYSERR_NOERROR;
  }

  MMRESULT WriteValues(const LineModel&, const ControlModel& control,
                       std::span<const DWORD> values) override {
    std::lock_guard lock(state_->mutex);
    std::vector<DWORD>& stored = state_->values.at(control.id);
    if (stored.size() != values.size()) return MMSYSERR_ERROR;
    stored.assign(values.begin(), values.end());
    ++state_->writes[control.id];
    state_->Notify(false, control.id);
    return MMSYSERR_NOERROR;
  }

  bool WaitForChanges(int stop_fd, ChangeSet& changes) override {
    if (subscriber_.wake_fd < 0) return false;
    for (;;) {
      pollfd fds[2] = {{stop_fd, POLLIN, 0}, {subscriber_.wake_fd, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (fds[0].revents != 0) return false;
      std::uint64_t count = 0;
      while (read(subscriber_.wake_fd, &count, sizeof(count)) < 0 && errno == EINTR) {
      }
      std::lock_guard lock(state_->mutex);
      changes = std::move(subscriber_.pending);
      subscriber_.pending = ChangeSet{};
      if (!changes.line_ids.empty() || !changes.control_ids.empty()) return true;
    }
  }

  MMRESULT ScriptedFailure(Query query, DWORD a, DWORD b) const override {
    std::lock_guard lock(state_->mutex);
    auto found = state_->failures.find({query, a, b});
    return found == state_->failures.end() ? MMSYSERR_NOERROR : found->second;
  }

 private:
  std::shared_ptr<State> state_;
  Subscriber subscriber_;
};

}  // namespace

EmulatedMixer::EmulatedMixer(const EmulatedDeviceSpec& spec) : state_(std::make_shared<State>()) {
  DeviceModel& model = state_->model;
  model.product_name = spec.product_name;
  model.manufacturer_id = spec.manufacturer_id;
  model.product_id = spec.product_id;
  model.driver_version = spec.driver_version;
  std::vector<const EmulatedControl*> controls;  // in numbering order
  for (const EmulatedDestination& destination : spec.destinations) {
    DestinationModel built;
    built.line = MakeLine(destination.line, controls);
    for (const EmulatedLine& source : destination.sources)
      built.sources.push_back(MakeLine(source, controls));
    model.destinations.push_back(std::move(built));
  }
  NumberModel(model);
  auto store = [&](const LineModel& line) {
    for (const ControlModel& control : line.controls) {
      const EmulatedControl& control_spec = *controls[control.id - 1];
      std::vector<DWORD> values(static_cast<std::size_t>(ValueChannels(line, control)) *
                                ValueItems(control));
      std::copy_n(control_spec.values.begin(), std::min(values.size(), control_spec.values.size()),
                  values.begin());
      state_->values[control.id] = std::move(values);
    }
  };
  for (const DestinationModel& destination : model.destinations) {
    store(destination.line);
    for (const LineModel& source : destination.sources) store(source);
  }
}

EmulatedMixer::~EmulatedMixer() = default;

MMRESULT EmulatedMixer::Open(SessionUse use, std::unique_ptr<Session>& session) {
  const bool watch = use == SessionUse::kWatch;
  {
    std::lock_guard lock(state_->mutex);
    if (use == SessionUse::kOpen) {
      ++state_->open_attempts;
      if (state_->failing_opens > 0) {
        --state_->failing_opens;
        return state_->open_failure;
      }
    }
  }
  auto emulated = std::make_unique<EmulatedSession>(state_, watch);
  if (watch && !emulated->CanWatch()) return MMSYSERR_NOMEM;
  session = std::move(emulated);
  return MMSYSERR_NOERROR;
}

DWORD EmulatedMixer::LineId(DWORD destination, int source) const {
  return source < 0 ? DestinationLineId(destination)
                    : SourceLineId(destination, static_cast<DWORD>(source));
}

DWORD EmulatedMixer::ControlId(DWORD destination, int source, std::size_t index) const {
  const DestinationModel& found = state_->model.destinations.at(destination);
  const LineModel& line = source < 0 ? found.line : found.sources.at(static_cast<std::size_t>(source));
  return line.controls.at(index).id;
}

std::vector<DWORD> EmulatedMixer::Values(DWORD control_id) const {
  std::lock_guard lock(state_->mutex);
  return state_->values.at(control_id);
}

void EmulatedMixer::SetValuesFromOutside(DWORD control_id, std::vector<DWORD> values) {
  std::lock_guard lock(state_->mutex);
  std::vector<DWORD>& stored = state_->values.at(control_id);
  values.resize(stored.size());
  stored = std::move(values);
  state_->Notify(false, control_id);
}

void EmulatedMixer::SignalLineChange(DWORD line_id) {
  std::lock_guard lock(state_->mutex);
  state_->Notify(true, line_id);
}

void EmulatedMixer::FailOpens(int count, MMRESULT result) {
  std::lock_guard lock(state_->mutex);
  state_->failing_opens = count;
  state_->open_failure = result;
}

void EmulatedMixer::FailQuery(Query query, DWORD a, DWORD b, MMRESULT result) {
  std::lock_guard lock(state_->mutex);
  state_->failures[{query, a, b}] = result;
}

int EmulatedMixer::OpenAttempts() const {
  std::lock_guard lock(state_->mutex);
  return state_->open_attempts;
}

int EmulatedMixer::WatchingSessions() const {
  std::lock_guard lock(state_->mutex);
  return static_cast<int>(state_->subscribers.size());
}

int EmulatedMixer::Writes(DWORD control_id) const {
  std::lock_guard lock(state_->mutex);
  auto found = state_->writes.find(control_id);
  return found == state_->writes.end() ? 0 : found->second;
}

}  // namespace win::mixer
