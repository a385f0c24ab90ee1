// What the mixer API needs of a device backend (ALSA, or the emulated device of the tests): a
// model of its lines and controls with stable ids, and sessions that read, write and watch
// control values.
#pragma once

#include "platform/mixer/mixer.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace win::mixer {

struct ListItem {
  DWORD line_id = 0;  // the source line the item selects
  std::string name;
};

struct ControlModel {
  DWORD id = 0;
  DWORD type = 0;
  DWORD flags = 0;
  std::string name;
  DWORD minimum = 0;
  DWORD maximum = 0;
  DWORD steps = 0;
  std::vector<ListItem> items;  // one per item of a MULTIPLE control
  std::size_t binding = 0;      // the backend's own reference to what lies behind the control

  bool Uniform() const { return (flags & MIXERCONTROL_CONTROLF_UNIFORM) != 0; }
  bool Multiple() const { return (flags & MIXERCONTROL_CONTROLF_MULTIPLE) != 0; }
};

struct LineModel {
  DWORD id = 0;
  DWORD destination = 0;
  DWORD source = 0;
  bool is_source = false;
  DWORD component_type = 0;
  DWORD channels = 1;
  std::string name;
  std::vector<ControlModel> controls;
};

struct DestinationModel {
  LineModel line;
  std::vector<LineModel> sources;
};

struct DeviceModel {
  std::string product_name;
  WORD manufacturer_id = MM_UNMAPPED;
  WORD product_id = 0;
  MMVERSION driver_version = 0;
  std::vector<DestinationModel> destinations;
};

// Line ids: destination d is d, source s of destination d is (s + 1) << 16 | d.
constexpr DWORD DestinationLineId(DWORD destination) { return destination; }
constexpr DWORD SourceLineId(DWORD destination, DWORD source) {
  return ((source + 1) << 16) | destination;
}

// Gives every line its id, indexes and connection numbers, and every control an id (1, 2, ...
// in model order) so that ids depend only on the device's layout.
void NumberModel(DeviceModel& model);

// Values of one control, item by item with each item's channels side by side. `Channels` is 1
// for a uniform control, else the line's channel count.
DWORD ValueChannels(const LineModel& line, const ControlModel& control);
DWORD ValueItems(const ControlModel& control);

// The operations the API layer lets a backend fail on purpose (emulated device only).
enum class Query { kLineInfo, kLineControls, kReadValues, kListTexts, kWriteValues };

struct ChangeSet {
  std::vector<DWORD> line_ids;
  std::vector<DWORD> control_ids;
};

class Session {
 public:
  virtual ~Session() = default;
  virtual const DeviceModel& Model() const = 0;
  // `values` holds ValueChannels × ValueItems entries.
  virtual MMRESULT ReadValues(const LineModel& line, const ControlModel& control,
                              std::span<DWORD> values) = 0;
  virtual MMRESULT WriteValues(const LineModel& line, const ControlModel& control,
                               std::span<const DWORD> values) = 0;
  // Blocks until the device reports changes (answers true with them in `changes`) or until
  // stop_fd becomes readable or the device fails (answers false).
  virtual bool WaitForChanges(int stop_fd, ChangeSet& changes) = 0;
  // A scripted failure for the query on (a, b), or MMSYSERR_NOERROR.
  virtual MMRESULT ScriptedFailure(Query, DWORD /*a*/, DWORD /*b*/) const {
    return MMSYSERR_NOERROR;
  }
};

// What a session is opened for: one query on a device index, an open mixer's calls, or the
// watcher thread of an open mixer.
enum class SessionUse { kQuery, kOpen, kWatch };

class Device {
 public:
  virtual ~Device() = default;
  virtual MMRESULT Open(SessionUse use, std::unique_ptr<Session>& session) = 0;
};

// The devices the API offers now, in index order.
std::vector<std::shared_ptr<Device>> EnumerateDevices();

// Replaces the device list while installed, and puts the previous one back after; tests only.
class ScopedDeviceList {
 public:
  explicit ScopedDeviceList(std::vector<std::shared_ptr<Device>> devices);
  ~ScopedDeviceList();
  ScopedDeviceList(const ScopedDeviceList&) = delete;
  ScopedDeviceList& operator=(const ScopedDeviceList&) = delete;

 private:
  std::optional<std::vector<std::shared_ptr<Device>>> previous_;
};

}  // namespace win::mixer
