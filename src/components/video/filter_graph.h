// TFilterGraph: the component that owns one media graph, builds it in normal, capture or DVD
// mode, renders files and DVDs, plays, pauses and stops, sets volume, balance and rate, and turns
// the graph's notifications into component events on the main thread. Visual controls take part
// as linked filters (their renderer joins the graph while it is active) and as listeners (they
// hear every graph event and every control step).
#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/classes.h"
#include "classlib/forms.h"
#include "classlib/messages.h"
#include "classlib/streams.h"
#include "platform/dshow/dshow.h"

namespace dashtune {

enum TGraphMode { gmNormal = 0, gmCapture = 1, gmDVD = 2 };

enum TLinkedFilterOperation { lfAdding = 0, lfAdded = 1, lfRemoving = 2, lfRemoved = 3 };

enum TGraphControlEvent {
  gcPlay = 0,
  gcPause = 1,
  gcStop = 2,
  gcFileRendering = 3,
  gcFileRendered = 4,
  gcDVDRendering = 5,
  gcDVDRendered = 6,
  gcActivation = 7,
};

// GetState's answers.
enum TFilterGraphState { gsUninitialized = 0, gsStopped = 1, gsPaused = 2, gsPlaying = 3 };

inline constexpr win::IID IID_ILinkedFilter = win::MakeGuid("DC8D6646-2695-4732-B065-D18F4CA7B5B1");
inline constexpr win::IID IID_IGraphListener = win::MakeGuid("724FE2F4-7905-4EB8-83C9-5190602F7EE5");
// Service and interface id under which a graph hands out its owning TFilterGraph.
inline constexpr win::GUID IID_IFilterGraphOwner = win::MakeGuid("0712D459-FCAB-4081-959F-99F4462415C0");

// A control that contributes a filter to the graph while the graph is active.
struct ILinkedFilter : win::IUnknown {
  static constexpr win::IID iid = IID_ILinkedFilter;

  // The control's filter, or nil.
  virtual win::ComPtr<win::IBaseFilter> GetFilter() = 0;
  // The name under which the filter joins the graph: the control's component name.
  virtual std::string GetFilterName() = 0;
  // Told of each step of the filter's joining and leaving; the graph passes 0 as param.
  virtual void NotifyFilter(TLinkedFilterOperation operation, int param) = 0;
};

// A control told of every graph event and every control step of the graph.
struct IGraphListener : win::IUnknown {
  static constexpr win::IID iid = IID_IGraphListener;
  virtual void GraphEvent(win::LONG Event, win::LONG_PTR Param1, win::LONG_PTR Param2) = 0;
  virtual void ControlEvent(TGraphControlEvent Event, win::LONG_PTR Param) = 0;
};


class TFilterGraph;

// Sound-device error kinds of EC_SNDDEV_IN_ERROR / EC_SNDDEV_OUT_ERROR.
enum _tagSND_DEVICE_ERROR {
  SNDDEV_ERROR_Open = 1,
  SNDDEV_ERROR_Close = 2,
  SNDDEV_ERROR_GetCaps = 3,
  SNDDEV_ERROR_PrepareHeader = 4,
  SNDDEV_ERROR_UnprepareHeader = 5,
  SNDDEV_ERROR_Reset = 6,
  SNDDEV_ERROR_Restart = 7,
  SNDDEV_ERROR_GetPosition = 8,
  SNDDEV_ERROR_Write = 9,
  SNDDEV_ERROR_Pause = 10,
  SNDDEV_ERROR_Stop = 11,
  SNDDEV_ERROR_Start = 12,
  SNDDEV_ERROR_AddBuffer = 13,
  SNDDEV_ERROR_Query = 14,
};

using TOnDSEvent = std::function<void(TObject* Sender, win::LONG Event, win::LONG_PTR Param1, win::LONG_PTR Param2)>;
using TOnDSResult = std::function<void(TObject* Sender, win::HRESULT Result)>;
using TOnGraphBufferingData = std::function<void(TObject* Sender, bool Buffering)>;
using TOnGraphComplete = std::function<void(TObject* Sender, win::HRESULT Result, win::IBaseFilter* Renderer)>;
using TOnGraphDeviceLost = std::function<void(TObject* Sender, win::IUnknown* Device, bool Removed)>;
using TOnGraphEndOfSegment = std::function<void(TObject* Sender, std::int64_t StreamTime, std::uint32_t NumSegment)>;
using TOnGraphFullscreenLost = std::function<void(TObject* Sender, win::IBaseFilter* Renderer)>;
using TOnGraphOleEvent = std::function<void(TObject* Sender, const std::u16string& String1, const std::u16string& String2)>;
using TOnGraphOpeningFile = std::function<void(TObject* Sender, bool opening)>;
using TOnGraphSNDDevError = std::function<void(TObject* Sender, _tagSND_DEVICE_ERROR OccurWhen, std::uint32_t ErrorCode)>;
using TOnGraphStreamControl = std::function<void(TObject* Sender, win::IPin* PinSender, std::uint32_t Cookie)>;
using TOnGraphStreamError = std::function<void(TObject* Sender, win::HRESULT Operation, std::uint32_t Value)>;
using TOnGraphVideoSizeChanged = std::function<void(TObject* Sender, std::uint16_t Width, std::uint16_t height)>;
using TOnGraphTimeCodeAvailable = std::function<void(TObject* Sender, win::IBaseFilter* From, std::uint32_t DeviceID)>;
using TOnGraphEXTDeviceModeChange = std::function<void(TObject* Sender, std::uint32_t NewMode, std::uint32_t DeviceID)>;
using TOnGraphVMRRenderDevice = std::function<void(TObject* Sender, int RenderDevice)>;
using TOnDVDAudioStreamChange = std::function<void(TObject* Sender, int stream, int lcid, const std::string& Lang)>;
using TOnDVDSubpictureStreamChange = std::function<void(TObject* Sender, int SubNum, int lcid, const std::string& Lang)>;
using TOnDVDCurrentTime = std::function<void(TObject* Sender, int Hours, int minutes, int seconds, int frames, int frate)>;
using TOnDVDTitleChange = std::function<void(TObject* Sender, int title)>;
using TOnDVDChapterStart = std::function<void(TObject* Sender, int chapter)>;
using TOnDVDValidUOPSChange = std::function<void(TObject* Sender, int UOPS)>;
using TOnDVDChange = std::function<void(TObject* Sender, int total, int current)>;
using TOnDVDStillOn = std::function<void(TObject* Sender, bool NoButtonAvailable, int seconds)>;
using TOnDVDPlaybackRateChange = std::function<void(TObject* Sender, float rate)>;
using TOnDVDParentalLevelChange = std::function<void(TObject* Sender, int level)>;
using TOnDVDAnglesAvailable = std::function<void(TObject* Sender, bool available)>;
using TOnDVDButtonAutoActivated = std::function<void(TObject* Sender, std::uint32_t Button)>;
using TOnDVDCMD = std::function<void(TObject* Sender, std::uint32_t CmdID)>;
using TOnDVDCurrentHMSFTime = std::function<void(TObject* Sender, const win::tagDVD_HMSF_TIMECODE& HMSFTimeCode,
                                                 const win::tagDVD_TIMECODE& TimeCode)>;
using TOnDVDKaraokeMode = std::function<void(TObject* Sender, bool Played)>;

using TOnSelectedFilter = std::function<bool(win::IMoniker* Moniker, const std::u16string& FilterName, const win::GUID& ClassID)>;
using TOnCreatedFilter = std::function<bool(win::IBaseFilter* Filter, const win::GUID& ClassID)>;
using TOnUnableToRender = std::function<bool(win::IPin* Pin)>;

// The graph's notification message to its hidden window.
constexpr win::UINT WM_GRAPHNOTIFY = 0x8001;

class TFilterGraph : public TComponent,
                     public win::IServiceProvider,
                     public win::IAMFilterGraphCallback,
                     public win::IAMGraphBuilderCallback {
 public:
  explicit TFilterGraph(TComponent* AOwner);
  ~TFilterGraph() override;

  void Loaded() override;

  // IUnknown: the component's own interfaces, then (while active) the graph's by mode. Counting
  // never frees the component: its owner does.
  win::HRESULT QueryInterface(win::REFIID riid, void** ppv) override;
  win::ULONG AddRef() override { return 2; }
  win::ULONG Release() override { return 1; }

  // Published properties.
  const std::string& GetLogFile() const { return log_file_name_; }
  void SetLogFile(const std::string& value);
  bool GetActive() const { return active_; }
  void SetActive(bool value);
  bool GetAutoCreate() const { return auto_create_; }
  void SetAutoCreate(bool value) { auto_create_ = value; }
  TGraphMode GetMode() const { return mode_; }
  void SetMode(TGraphMode value);
  bool GetGraphEdit() const { return graph_edit_; }
  void SetGraphEdit(bool value);
  bool GetLinearVolume() const { return linear_volume_; }
  void SetLinearVolume(bool value);

  // Public state.
  int GetVolume() const { return volume_; }
  void SetVolume(int value);
  int GetBalance() const { return balance_; }
  void SetBalance(int value);
  double GetRate() const { return rate_; }
  void SetRate(double value);

  bool Play();
  bool Pause();
  bool Stop();
  TFilterGraphState GetState();
  win::HRESULT RenderFile(const std::u16string& FileName);
  win::HRESULT RenderDVD(win::AM_DVD_RENDERSTATUS& status, const std::u16string& FileName, int Flags);
  void ClearGraph();
  void DisconnectAllPins();

  void AddLinkedFilter(ILinkedFilter* link);
  void RemoveLinkedFilter(ILinkedFilter* link);
  void AddListener(IGraphListener* listener);
  void RemoveListener(IGraphListener* listener);

  // Dispatches one graph event: listeners, OnDSEvent, then the event's own handler.
  virtual void HandleEvent(win::LONG Event, win::LONG_PTR Param1, win::LONG_PTR Param2);

  // Reports a failure that no caller can be given (a linked control's teardown in its
  // destructor): it reaches the handlers as the error event EC_ERRORABORT with the result, from
  // the message loop.
  void ReportError(win::HRESULT Result);

  // The hidden notification window (for tests and the controls that post to it).
  win::HWND GetNotifyWindow() const { return notify_window_; }

  // IServiceProvider
  win::HRESULT QueryService(win::REFGUID guidService, win::REFIID riid, void** ppvObject) override;
  // IAMFilterGraphCallback
  win::HRESULT UnableToRender(win::IPin* pPin) override;
  // IAMGraphBuilderCallback
  win::HRESULT SelectedFilter(win::IMoniker* pMon) override;
  win::HRESULT CreatedFilter(win::IBaseFilter* pFil) override;

  TNotifyEvent OnActivate;
  TOnSelectedFilter OnSelectedFilter;
  TOnCreatedFilter OnCreatedFilter;
  TOnUnableToRender OnUnableToRender;

  TOnDSEvent OnDSEvent;
  TOnGraphBufferingData OnGraphBufferingData;
  TNotifyEvent OnGraphClockChanged;
  TOnGraphComplete OnGraphComplete;
  TOnGraphDeviceLost OnGraphDeviceLost;
  TOnGraphEndOfSegment OnGraphEndOfSegment;
  TOnDSResult OnGraphErrorStillPlaying;
  TOnDSResult OnGraphErrorAbort;
  TOnGraphFullscreenLost OnGraphFullscreenLost;
  TNotifyEvent OnGraphChanged;
  TOnGraphOleEvent OnGraphOleEvent;
  TOnGraphOpeningFile OnGraphOpeningFile;
  TNotifyEvent OnGraphPaletteChanged;
  TOnDSResult OnGraphPaused;
  TNotifyEvent OnGraphQualityChange;
  TOnGraphSNDDevError OnGraphSNDDevInError;
  TOnGraphSNDDevError OnGraphSNDDevOutError;
  TNotifyEvent OnGraphStepComplete;
  TOnGraphStreamControl OnGraphStreamControlStarted;
  TOnGraphStreamControl OnGraphStreamControlStopped;
  TOnGraphStreamError OnGraphStreamErrorStillPlaying;
  TOnGraphStreamError OnGraphStreamErrorStopped;
  TNotifyEvent OnGraphUserAbort;
  TOnGraphVideoSizeChanged OnGraphVideoSizeChanged;
  TOnGraphTimeCodeAvailable OnGraphTimeCodeAvailable;
  TOnGraphEXTDeviceModeChange OnGraphEXTDeviceModeChange;
  TNotifyEvent OnGraphClockUnset;
  TOnGraphVMRRenderDevice OnGraphVMRRenderDevice;

  TOnDVDAudioStreamChange OnDVDAudioStreamChange;
  TOnDVDChange OnDVDAngleChange;
  TOnDVDChange OnDVDButtonChange;
  TOnDVDChapterStart OnDVDChapterStart;
  TOnDVDCurrentTime OnDVDCurrentTime;
  TNotifyEvent OnDVDDomainFirstPlay;
  TNotifyEvent OnDVDDomainVideoManagerMenu;
  TNotifyEvent OnDVDDomainVideoTitleSetMenu;
  TNotifyEvent OnDVDDomainTitle;
  TNotifyEvent OnDVDDomainStop;
  TNotifyEvent OnDVDErrorUnexpected;
  TNotifyEvent OnDVDErrorInvalidDVD1_0Disc;
  TNotifyEvent OnDVDErrorLowParentalLevel;
  TOnDVDParentalLevelChange OnDVDParentalLevelChange;
  TOnDVDPlaybackRateChange OnDVDPlaybackRateChange;
  TNotifyEvent OnDVDPlaybackStopped;
  TOnDVDAnglesAvailable OnDVDAnglesAvailable;
  TNotifyEvent OnDVDPlayPeriodAutoStop;
  TOnDVDButtonAutoActivated OnDVDButtonAutoActivated;
  TOnDVDCMD OnDVDCMDStart;
  TOnDVDCMD OnDVDCMDEnd;
  TNotifyEvent OnDVDDiscEjected;
  TNotifyEvent OnDVDDiscInserted;
  TOnDVDCurrentHMSFTime OnDVDCurrentHMSFTime;
  TOnDVDKaraokeMode OnDVDKaraokeMode;
  TNotifyEvent OnDVDStillOff;
  TOnDVDStillOn OnDVDStillOn;
  TOnDVDSubpictureStreamChange OnDVDSubpictureStreamChange;
  TOnDVDTitleChange OnDVDTitleChange;
  TOnDVDValidUOPSChange OnDVDValidUOPSChange;
  TNotifyEvent OnDVDChapterAutoStop;
  TNotifyEvent OnDVDNoFP_PGC;
  TNotifyEvent OnDVDWarningInvalidDVD1_0Disc;
  TNotifyEvent OnDVDWarningFormatNotSupported;
  TNotifyEvent OnDVDWarningIllegalNavCommand;
  TNotifyEvent OnDVDWarningOpen;
  TNotifyEvent OnDVDWarningSeek;
  TNotifyEvent OnDVDWarningRead;

 protected:
  void NotifyWindowProc(TMessage& Message);
  void PumpGraphEvents();

 private:
  template <class Interface>
  win::ComPtr<Interface> Ask(const win::IID& iid);

  void Activate();
  void Deactivate();
  void InsertAllLinkedFilters();
  void RemoveAllLinkedFilters();
  void InsertLinkedFilter(ILinkedFilter* link);
  void RemoveLinkedFilterFromGraph(ILinkedFilter* link);
  void NotifyGraphEvent(win::LONG Event, win::LONG_PTR Param1, win::LONG_PTR Param2);
  void NotifyControlEvent(TGraphControlEvent Event, win::LONG_PTR Param);
  void ReapplyAudioSettings();
  void DispatchGraphEvent(win::LONG Event, win::LONG_PTR Param1, win::LONG_PTR Param2);
  void DispatchDvdEvent(win::LONG Event, win::LONG_PTR Param1, win::LONG_PTR Param2);
  void RaiseStreamLanguage(win::LONG Event, win::LONG_PTR Param1);
  // Writes "<what> failed: <message>" into the graph's log while one is open.
  void LogFailure(const std::string& what, const std::exception_ptr& failure);

  std::string log_file_name_;
  bool active_ = false;
  bool auto_create_ = false;
  TGraphMode mode_ = gmNormal;
  bool graph_edit_ = false;
  bool linear_volume_ = true;
  int volume_ = 10000;
  int balance_ = 0;
  double rate_ = 1.0;

  win::HWND notify_window_ = nullptr;
  win::ComPtr<win::IFilterGraph2> graph_;
  win::ComPtr<win::ICaptureGraphBuilder2> capture_builder_;
  win::ComPtr<win::IDvdGraphBuilder> dvd_builder_;
  win::ComPtr<win::IMediaEventEx> media_event_;
  win::DWORD rot_id_ = 0;
  class LogTarget;
  void CloseLog();
  std::unique_ptr<TFileStream> log_stream_;
  std::shared_ptr<LogTarget> log_target_;  // entered in the handle table as log_handle_
  win::HANDLE log_handle_ = nullptr;
  // Made on the first add and dropped when the last one leaves.
  std::unique_ptr<std::vector<win::ComPtr<ILinkedFilter>>> linked_filters_;
  std::unique_ptr<std::vector<win::ComPtr<IGraphListener>>> listeners_;
  // Results reported through ReportError, waiting for the notification message.
  std::deque<win::HRESULT> pending_errors_;
};

namespace video {

// Moves a control from `graph` to `value`: its linked filter (when it has one) and its listener
// leave the old graph and join the new one, which tells it when it goes (free notification).
// A failure of the filter's leaving is raised once the control has moved.
void RelinkControl(TComponent* control, ILinkedFilter* filter, IGraphListener* listener, TFilterGraph*& graph,
                   TFilterGraph* value);
// Takes a control out of its graph from a destructor: a failure of its filter's leaving is
// reported to the graph (ReportError) instead of raised.
void UnlinkControlQuietly(TComponent* control, ILinkedFilter* filter, IGraphListener* listener, TFilterGraph*& graph);
// QueryInterface of a control that takes part in a graph: IUnknown and ILinkedFilter,
// IGraphListener, then (when held) its filter's interfaces. Not counted: the owner frees it.
win::HRESULT AnswerGraphControl(ILinkedFilter* filter, IGraphListener* listener, win::IBaseFilter* renderer,
                                win::REFIID riid, void** ppv);

}  // namespace video

}  // namespace dashtune
