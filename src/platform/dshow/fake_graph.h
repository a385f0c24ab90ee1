// A scripted media graph for tests of the graph's clients: while a ScopedFakeMediaGraph lives,
// CoCreateInstance of the filter graph, capture graph builder and DVD graph builder gives fakes
// that record every call, answer injected results, hide chosen interfaces, and deliver injected
// events through the notification window like the real graph. Nothing in it waits.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/dshow/dshow.h"
#include "platform/dshow/overlay_interfaces.h"

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
  // Classes whose creation fails ("FilterGraph", "CaptureGraphBuilder2", "DvdGraphBuilder",
  // "VideoRenderer", "VideoMixingRenderer9", "OverlayMixer", "Line21Decoder").
  std::set<std::string> uncreatable;
  OAFilterState state = State_Stopped;
  // Seeking, in 100-ns units: what the graph answers; SetPositions moves them. A negative stop
  // position means none was set (GetStopPosition answers the duration).
  LONGLONG duration = 0;
  LONGLONG current_position = 0;
  LONGLONG stop_position = -1;
  // Whether IsUsingTimeFormat(TIME_FORMAT_MEDIA_TIME) answers S_OK (else S_FALSE).
  bool media_time_format = true;
  // The DVD title's length that GetTotalTitleTime answers.
  DVD_HMSF_TIMECODE total_title_time;
  // The native video size the scripted renderers report.
  LONG video_width = 720;
  LONG video_height = 576;
  // Whether a scripted renderer's cursor is hidden (HideCursor sets it).
  bool renderer_cursor_hidden = false;
  // The display aspect the scripted overlay mixer reports.
  DWORD aspect_width = 4;
  DWORD aspect_height = 3;
  // The scripted overlay mixer's colour key, surface colour controls and registered callback
  // (not counted; tests call it as the mixer would).
  COLORKEY overlay_color_key{CK_INDEX | CK_RGB, 0, 0x00100010, 0x00100010};
  DDCOLORCONTROL overlay_colors{40, 0x7F, 750, 10000, 0, 10000, 5, 1, 1, 0};
  IDDrawExclModeVideoCallback* overlay_callback = nullptr;
  // Connect calls so far; the call with this number (1-based) fails with E_FAIL (0: none).
  int connects = 0;
  int connect_failing_at = 0;
  // The x87 control word a scripted mixing renderer 9 loads when it is made, as the platform's
  // does (0: it leaves the word alone).
  std::uint16_t fpu_word_on_create = 0;
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
                              const std::vector<std::pair<std::string, PIN_DIRECTION>>& pins,
                              const CLSID& class_id = GUID_NULL);
void ConnectFakePins(IBaseFilter* output_filter, const std::string& output_pin, IBaseFilter* input_filter,
                     const std::string& input_pin);

// The script of the fake graph while one is installed, else null (used by the class registry).
FakeGraphScript* ActiveScript();
HRESULT CreateFakeFilterGraph(FakeGraphScript& script, REFIID riid, void** ppv);
// A scripted overlay mixer (pins "Input0", "Input1", "Output") or line-21 decoder (pins "In",
// "Out"), by class id ("Create OverlayMixer", "Create Line21Decoder", "Create Line21Decoder2").
HRESULT CreateFakeOverlayFilter(FakeGraphScript& script, const CLSID& class_id, REFIID riid, void** ppv);
// A scripted classic video renderer or mixing renderer 9 ("Create VideoRenderer" or
// "Create VideoMixingRenderer9" in the log; refused when that name is uncreatable).
HRESULT CreateFakeVideoRenderer(FakeGraphScript& script, const CLSID& class_id, REFIID riid, void** ppv);
HRESULT CreateFakeCaptureGraphBuilder(FakeGraphScript& script, REFIID riid, void** ppv);
HRESULT CreateFakeDvdGraphBuilder(FakeGraphScript& script, REFIID riid, void** ppv);

}  // namespace win::fake
