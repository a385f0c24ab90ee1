// TAudioMixer: the sound card's mixer as a component. It opens one mixer device, mirrors its
// destination lines, their source lines (connections) and their controls as a tree, reads and
// writes volume and mute by destination and connection index (connection -1 is the destination
// line itself), treats a recording source's selection as its mute, and turns the device's change
// notifications into two events on the main thread. It never raises: operations answer false
// and values of -1.
#pragma once

#include "classlib/classes.h"
#include "classlib/messages.h"
#include "classlib/lists.h"
#include "platform/mixer/mixer.h"
#include "platform/user/window.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dashtune {

class TAudioMixer;

// Sender: the mixer component; MixerH: the device handle; ID: the line or control id.
using TMixerChange = std::function<void(TObject* Sender, std::intptr_t MixerH, int ID)>;

// A list of untyped pointers that frees its items through OnFreeItem when that is assigned.
class TPointerList : public TObject {
 public:
  using TFreeItemEvent = std::function<void(void* Item)>;

  TPointerList() = default;
  ~TPointerList() override;

  void Add(void* Item) { list_.Add(Item); }
  // Nil for an index outside 0..Count-1.
  void* GetItem(int Index) const;
  int Count() const { return list_.GetCount(); }
  // Frees the items in index order (when OnFreeItem is assigned), then empties the list.
  void Clear();

  TFreeItemEvent OnFreeItem;

 private:
  TList list_;
};

// The controls of one line: one block of records and a list pointing at them in order.
class TMixerControls : public TObject {
 public:
  TMixerControls(win::HMIXER mixer, const win::MIXERLINEA& line);
  ~TMixerControls() override;

  // Nil for an index outside 0..Count-1.
  win::MIXERCONTROLA* GetControl(int Index) const;
  int Count() const { return items_->Count(); }

 private:
  std::vector<win::MIXERCONTROLA> block_;
  std::unique_ptr<TPointerList> items_;
};

// One source line of a destination.
class TMixerConnection : public TObject {
 public:
  TMixerConnection(TAudioMixer* mixer, win::HMIXER handle, const win::MIXERLINEA& data);

  TAudioMixer* Mixer;  // not owned
  win::MIXERLINEA Data;
  std::unique_ptr<TMixerControls> Controls;
};

class TMixerConnections : public TObject {
 public:
  TMixerConnections(TAudioMixer* mixer, win::HMIXER handle, const win::MIXERLINEA& destination);

  TMixerConnection* GetConnection(int Index) const;
  int Count() const { return list_.Count(); }

 private:
  TAudioMixer* mixer_;  // not owned
  TPointerList list_;
};

// One destination line with its controls and connections.
class TMixerDestination : public TObject {
 public:
  TMixerDestination(TAudioMixer* mixer, win::HMIXER handle, const win::MIXERLINEA& data);
  ~TMixerDestination() override;

  TAudioMixer* Mixer;  // not owned
  win::MIXERLINEA Data;
  std::unique_ptr<TMixerControls> Controls;
  std::unique_ptr<TMixerConnections> Connections;
};

class TMixerDestinations : public TObject {
 public:
  // An empty tree.
  TMixerDestinations() = default;
  // The tree of an open device with `count` destinations; a destination that cannot be read is
  // left out and the later ones move down.
  TMixerDestinations(TAudioMixer* mixer, win::HMIXER handle, win::DWORD count);

  TMixerDestination* GetDestination(int Index) const;
  int Count() const { return list_.Count(); }

 private:
  void Own();

  TPointerList list_;
};

class TAudioMixer : public TComponent {
 public:
  // Opens device 0 when there is one.
  explicit TAudioMixer(TComponent* AOwner);
  ~TAudioMixer() override;

  // Owned; rebuilt whenever a device is opened, a snapshot in between.
  TMixerDestinations* GetDestinations() const { return destinations_.get(); }
  // Number of mixer devices, counted once at creation.
  int GetMixerCount() const { return mixer_count_; }

  win::DWORD GetDriverVersion() const { return driver_version_; }
  win::WORD GetProductId() const { return product_id_; }
  int GetNumberOfLine() const { return number_of_line_; }
  const std::string& GetManufacturer() const { return manufacturer_; }
  const std::string& GetProductName() const { return product_name_; }
  int GetMixerId() const { return mixer_id_; }
  // Opens device Value; ignored unless 0 <= Value < MixerCount.
  void SetMixerId(int Value);

  bool GetVolume(int DestId, int ConnId, int& LeftVol, int& RightVol, int& Mute, bool& Stereo,
                 bool& VolDisabled, bool& MuteDisabled, bool& MuteIsSelect);
  bool SetVolume(int DestId, int ConnId, int LeftVol, int RightVol, int Mute);
  bool GetMute(int DestId, int ConnId, bool& Mute);
  bool SetMute(int DestId, int ConnId, bool Mute);

  TMixerChange OnLineChange;
  TMixerChange OnControlChange;

 private:
  struct LineRef;

  void CloseDevice();
  void ReadCapabilities(int index);
  void WndProc(TMessage& Message);
  bool FindLine(int DestId, int ConnId, LineRef& ref) const;
  bool ReadDetails(const win::MIXERCONTROLA& control, win::DWORD channels, win::DWORD items,
                   std::vector<win::DWORD>& values) const;
  bool ReadListTexts(const win::MIXERCONTROLA& control, win::DWORD channels, win::DWORD items,
                     std::vector<win::MIXERCONTROLDETAILS_LISTTEXTA>& texts) const;
  bool WriteDetails(const win::MIXERCONTROLA& control, win::DWORD channels, win::DWORD items,
                    std::vector<win::DWORD>& values) const;
  bool FindLineControl(const win::MIXERLINEA& line, win::DWORD type,
                       win::MIXERCONTROLA& control) const;
  int FindSelection(const TMixerDestination& destination, const win::MIXERCONTROLA& control,
                    win::DWORD line_id, std::vector<win::DWORD>& values) const;
  enum class TSelectionResult { NotListed, Written, Failed };
  TSelectionResult SetSelection(const TMixerDestination& destination,
                                const win::MIXERCONTROLA& control, win::DWORD line_id, bool select,
                                bool write_unchanged) const;

  win::HWND window_ = nullptr;
  std::unique_ptr<TMixerDestinations> destinations_;
  int mixer_count_ = 0;
  win::HMIXER handle_ = nullptr;
  int mixer_id_ = -1;
  win::MIXERCAPSA caps_{};
  win::DWORD driver_version_ = 0;
  win::WORD product_id_ = 0;
  int number_of_line_ = 0;
  std::string manufacturer_;
  std::string product_name_;
};

}  // namespace dashtune
