// A scripted media graph for tests of the graph's clients: while a ScopedFakeMediaGraph lives,
// CoCreateInstance of the filter graph, capture graph builder and DVD graph builder gives fakes
// that record every call, answer injected results, hide chosen interfaces, and deliver injected
// events through the notification window like the real graph. Nothing in it waits.
#pragma once

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/dshow/dshow.h"

namespace win::fake {

struct FakeGraphScript {
  // Every call on the fakes, in order: "Run", "AddFilter Renderer", "put_Volume -10000",
  // "SetNotifyFlags 1", "Disconnect Source.Out", ...
  std::vector<std::string> calls;
  // The result a method answers (by its name), S_OK when not listed.
  std::map<std::string, HRESULT> results;
  // Interfaces the graph does not give ("IMediaEventEx", "IBasicAudio", "IMediaSeeking",
  // "IMediaControl", "IObjectWithSite", "IDvdInfo2", ...).
  std::set<std::string> hidden;
  // Classes whose creation fails ("FilterGraph", "CaptureGraphBuilder2", "DvdGraphBuilder").
  std::set<std::string> uncreatable;
  OAFilterState state = State_Stopped;
  LCID audio_language = 0x0409;
  LCID subpicture_language = 0x0407;
  // Pending events and the count of events whose parameters were freed.
  std::deque<std::vector<LONG_PTR>> events;
  int freed_events = 0;
  // The site the graph was given (the builder callbacks), not counted.
  IUnknown* site = nullptr;

  HRESULT ResultOf(const std::string& method) const;
  // Queues an event and posts the notification when a window is set and notifications are on.
  void Fire(LONG code, LONG_PTR param1, LONG_PTR param2);
  // Calls whose text starts with `prefix`, in order.
  std::vector<std::string> CallsStartingWith(const std::string& prefix) const;

  OAHWND notify_window = 0;
  LONG notify_message = 0;
  LONG_PTR notify_instance = 0;
  LONG notify_flags = 0;
};

class ScopedFakeMediaGraph {
 public:
  ScopedFakeMediaGraph();
  ~ScopedFakeMediaGraph();
  ScopedFakeMediaGraph(const ScopedFakeMediaGraph&) = delete;
  ScopedFakeMediaGraph& operator=(const ScopedFakeMediaGraph&) = delete;

  FakeGraphScript& script() { return script_; }

 private:
  FakeGraphScript script_;
};

// A fake filter with named pins ("In" input, "Out" output, ...), recording its calls in the
// script; answers a new counted object. Connect two pins with ConnectFakePins.
IBaseFilter* CreateFakeFilter(FakeGraphScript& script, const std::string& name,
                              const std::vector<std::pair<std::string, PIN_DIRECTION>>& pins);
void ConnectFakePins(IBaseFilter* output_filter, const std::string& output_pin, IBaseFilter* input_filter,
                     const std::string& input_pin);

// The script of the fake graph while one is installed, else null (used by the class registry).
FakeGraphScript* ActiveScript();
HRESULT CreateFakeFilterGraph(FakeGraphScript& script, REFIID riid, void** ppv);
HRESULT CreateFakeCaptureGraphBuilder(FakeGraphScript& script, REFIID riid, void** ppv);
HRESULT CreateFakeDvdGraphBuilder(FakeGraphScript& script, REFIID riid, void** ppv);

}  // namespace win::fake
