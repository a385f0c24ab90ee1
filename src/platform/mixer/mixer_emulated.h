// An in-process mixer device for tests: tables of lines and controls, values changed from
// "outside" like a second program would, and failures scripted per query. Install it with
// ScopedDeviceList; nothing else selects it.
#pragma once

#include "platform/mixer/mixer_device.h"

#include <map>
#include <mutex>
#include <set>
#include <tuple>

namespace win::mixer {

struct EmulatedControl {
  DWORD type = 0;
  DWORD flags = 0;
  std::string name;
  std::vector<ListItem> items;  // a MULTIPLE control's items
  std::vector<DWORD> values;    // ValueChannels × ValueItems starting values; empty means zeros
};

struct EmulatedLine {
  std::string name;
  DWORD channels = 2;
  std::vector<EmulatedControl> controls;
};

struct EmulatedDestination {
  EmulatedLine line;
  std::vector<EmulatedLine> sources;
};

struct EmulatedDeviceSpec {
  std::string product_name = "Emulated Mixer";
  WORD manufacturer_id = MM_UNMAPPED;
  WORD product_id = 0;
  MMVERSION driver_version = 0;
  std::vector<EmulatedDestination> destinations;
};

// Second key of a scripted line-info failure that concerns the destination line itself.
constexpr DWORD kDestinationLine = 0xFFFFFFFF;

class EmulatedMixer : public Device {
 public:
  explicit EmulatedMixer(const EmulatedDeviceSpec& spec);
  ~EmulatedMixer() override;

  MMRESULT Open(SessionUse use, std::unique_ptr<Session>& session) override;

  // Ids as the device numbers them; source -1 names the destination line itself.
  DWORD LineId(DWORD destination, int source = -1) const;
  DWORD ControlId(DWORD destination, int source, std::size_t index) const;

  std::vector<DWORD> Values(DWORD control_id) const;
  // A change made by someone else: stored, and reported to every watching session.
  void SetValuesFromOutside(DWORD control_id, std::vector<DWORD> values);
  void SignalLineChange(DWORD line_id);

  // The next `count` mixerOpen calls fail with `result`.
  void FailOpens(int count, MMRESULT result = MMSYSERR_ALLOCATED);
  // The query on (a, b) fails with `result`: line info (destination, source or
  // kDestinationLine), line controls (line id), values, list texts or writes (control id).
  void FailQuery(Query query, DWORD a, DWORD b = 0, MMRESULT result = MMSYSERR_ERROR);
  int OpenAttempts() const;
  int WatchingSessions() const;
  int Writes(DWORD control_id) const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace win::mixer
