// The media graph's interfaces: graph builder, filters and pins, media control, events, seeking,
// audio, the capture and DVD graph builders, the builder callbacks, monikers and property bags,
// and the running object table. The objects behind them run on GStreamer (filter_graph.cpp).
#pragma once

#include "platform/com/com_init.h"
#include "platform/com/com_ptr.h"
#include "platform/com/persist.h"
#include "platform/com/variant.h"
#include "platform/core/types.h"
#include "platform/dshow/dshow_results.h"
#include "platform/dshow/dvd_types.h"
#include "platform/dshow/event_codes.h"

#include <string>

namespace win {

// ---- identifiers ----

inline constexpr CLSID CLSID_FilterGraph{0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr CLSID CLSID_CaptureGraphBuilder2{0xBF87B6E1, 0x8C27, 0x11D0, {0xB3, 0xF0, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5}};
inline constexpr CLSID CLSID_DvdGraphBuilder{0xFCC152B7, 0xF372, 0x11D0, {0x8E, 0x00, 0x00, 0xC0, 0x4F, 0xD7, 0xC0, 0x8B}};
inline constexpr CLSID CLSID_VideoRenderer{0x70E102B0, 0x5556, 0x11CE, {0x97, 0xC0, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

inline constexpr IID IID_IPropertyBag{0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
inline constexpr IID IID_IErrorLog{0x3127CA40, 0x446E, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
inline constexpr IID IID_IBindCtx{0x0000000E, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IMoniker{0x0000000F, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IRunningObjectTable{0x00000010, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IObjectWithSite{0xFC4801A3, 0x2BA9, 0x11CF, {0xA2, 0x29, 0x00, 0xAA, 0x00, 0x3D, 0x73, 0x52}};
inline constexpr IID IID_IServiceProvider{0x6D5140C1, 0x7436, 0x11CE, {0x80, 0x34, 0x00, 0xAA, 0x00, 0x60, 0x09, 0xFA}};
inline constexpr IID IID_IPin{0x56A86891, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IEnumPins{0x56A86892, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IMediaFilter{0x56A86899, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IBaseFilter{0x56A86895, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IEnumFilters{0x56A86893, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IFilterGraph{0x56A8689F, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IGraphBuilder{0x56A868A9, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IFilterGraph2{0x36B73882, 0xC2C8, 0x11CF, {0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60}};
inline constexpr IID IID_IMediaControl{0x56A868B1, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IMediaEvent{0x56A868B6, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IMediaEventEx{0x56A868C0, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IMediaSeeking{0x36B73880, 0xC2C8, 0x11CF, {0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60}};
inline constexpr IID IID_IBasicAudio{0x56A868B3, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_ICaptureGraphBuilder2{0x93E5A4E0, 0x2D50, 0x11D2, {0xAB, 0xFA, 0x00, 0xA0, 0xC9, 0xC6, 0xE3, 0x8D}};
inline constexpr IID IID_IDvdGraphBuilder{0xFCC152B6, 0xF372, 0x11D0, {0x8E, 0x00, 0x00, 0xC0, 0x4F, 0xD7, 0xC0, 0x8B}};
inline constexpr IID IID_IDvdCmd{0x5A4A97E4, 0x94EE, 0x4A55, {0x97, 0x51, 0x74, 0xB5, 0x64, 0x3A, 0xA2, 0x7D}};
inline constexpr IID IID_IDvdControl2{0x33BC7430, 0xEEC0, 0x11D2, {0x82, 0x01, 0x00, 0xA0, 0xC9, 0xD7, 0x48, 0x42}};
inline constexpr IID IID_IDvdInfo2{0x34151510, 0xEEC0, 0x11D2, {0x82, 0x01, 0x00, 0xA0, 0xC9, 0xD7, 0x48, 0x42}};
inline constexpr IID IID_IAMGraphBuilderCallback{0x4995F511, 0x9DDB, 0x4F12, {0xBD, 0x3B, 0xF0, 0x46, 0x11, 0x80, 0x7B, 0x79}};
inline constexpr IID IID_IAMFilterGraphCallback{0x56A868FD, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

// Time formats of IMediaSeeking.
inline constexpr GUID TIME_FORMAT_MEDIA_TIME{0x7B785574, 0x8C82, 0x11CF, {0xBC, 0x0C, 0x00, 0xAA, 0x00, 0xAC, 0x74, 0xF6}};
inline constexpr GUID TIME_FORMAT_FRAME{0x7B785570, 0x8C82, 0x11CF, {0xBC, 0x0C, 0x00, 0xAA, 0x00, 0xAC, 0x74, 0xF6}};

struct IBaseFilter;
struct IFilterGraph;
struct IMoniker;
struct IBindCtx;

using REFERENCE_TIME = LONGLONG;
using OAFilterState = LONG;
using OAHWND = LONG_PTR;
using LPCOLESTR = const WCHAR*;

constexpr OAFilterState State_Stopped = 0;
constexpr OAFilterState State_Paused = 1;
constexpr OAFilterState State_Running = 2;

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

constexpr int MAX_PIN_NAME = 128;
constexpr int MAX_FILTER_NAME = 128;

struct PIN_INFO {
  IBaseFilter* pFilter = nullptr;  // counted: the caller releases it
  PIN_DIRECTION dir = PINDIR_INPUT;
  WCHAR achName[MAX_PIN_NAME] = {};
};

struct FILTER_INFO {
  WCHAR achName[MAX_FILTER_NAME] = {};
  IFilterGraph* pGraph = nullptr;  // counted when not null: the caller releases it
};

// Seeking flags of SetPositions.
constexpr DWORD AM_SEEKING_NoPositioning = 0x0;
constexpr DWORD AM_SEEKING_AbsolutePositioning = 0x1;
constexpr DWORD AM_SEEKING_RelativePositioning = 0x2;
constexpr DWORD AM_SEEKING_PositioningBitsMask = 0x3;

// Notification flags of IMediaEventEx.
constexpr LONG AM_MEDIAEVENT_NONOTIFY = 0x01;

// Render status of the DVD graph builder.
struct AM_DVD_RENDERSTATUS {
  HRESULT hrVPEStatus = 0;
  BOOL bDvdVolInvalid = 0;
  BOOL bDvdVolUnknown = 0;
  BOOL bNoLine21In = 0;
  BOOL bNoLine21Out = 0;
  int iNumStreams = 0;
  int iNumStreamsFailed = 0;
  DWORD dwFailedStreamsFlag = 0;
};

constexpr DWORD AM_DVD_HWDEC_PREFER = 0x01;
constexpr DWORD AM_DVD_HWDEC_ONLY = 0x02;
constexpr DWORD AM_DVD_SWDEC_PREFER = 0x04;
constexpr DWORD AM_DVD_SWDEC_ONLY = 0x08;

enum DVD_OPTION_FLAG {
  DVD_ResetOnStop = 1,
  DVD_NotifyParentalLevelChange = 2,
  DVD_HMSF_TimeCodeEvents = 3,
  DVD_AudioDuringFFwdRew = 4,
};

constexpr DWORD DVD_CMD_FLAG_None = 0x0;
constexpr DWORD DVD_CMD_FLAG_Flush = 0x1;
constexpr DWORD DVD_CMD_FLAG_Block = 0x2;

// ---- property bags and monikers (what the builder callbacks read) ----

// Property bags fill variants (platform/com/variant.h) with empty or wide-string values.

struct IErrorLog : IUnknown {
  static constexpr IID iid = IID_IErrorLog;
};

struct IPropertyBag : IUnknown {
  static constexpr IID iid = IID_IPropertyBag;
  virtual HRESULT Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) = 0;
  virtual HRESULT Write(LPCOLESTR pszPropName, VARIANT* pVar) = 0;
};

struct IBindCtx : IUnknown {
  static constexpr IID iid = IID_IBindCtx;
};

struct IMoniker : IUnknown {
  static constexpr IID iid = IID_IMoniker;
  virtual HRESULT BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid, void** ppvObj) = 0;
  // The moniker's display name (for item monikers: the delimiter followed by the item).
  virtual HRESULT GetDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, std::u16string* name) = 0;
};

struct IRunningObjectTable : IUnknown {
  static constexpr IID iid = IID_IRunningObjectTable;
  virtual HRESULT Register(DWORD grfFlags, IUnknown* punkObject, IMoniker* pmkObjectName, DWORD* pdwRegister) = 0;
  virtual HRESULT Revoke(DWORD dwRegister) = 0;
  virtual HRESULT IsRunning(IMoniker* pmkObjectName) = 0;
  virtual HRESULT GetObject(IMoniker* pmkObjectName, IUnknown** ppunkObject) = 0;
};

HRESULT GetRunningObjectTable(DWORD reserved, IRunningObjectTable** pprot);
HRESULT CreateItemMoniker(LPCOLESTR lpszDelim, LPCOLESTR lpszItem, IMoniker** ppmk);

// ---- sites and services ----

struct IObjectWithSite : IUnknown {
  static constexpr IID iid = IID_IObjectWithSite;
  virtual HRESULT SetSite(IUnknown* pUnkSite) = 0;
  virtual HRESULT GetSite(REFIID riid, void** ppvSite) = 0;
};

struct IServiceProvider : IUnknown {
  static constexpr IID iid = IID_IServiceProvider;
  virtual HRESULT QueryService(REFGUID guidService, REFIID riid, void** ppvObject) = 0;
};

// ---- filters and pins ----

struct IEnumPins;

struct IPin : IUnknown {
  static constexpr IID iid = IID_IPin;
  virtual HRESULT ConnectedTo(IPin** pPin) = 0;
  virtual HRESULT Disconnect() = 0;
  virtual HRESULT QueryPinInfo(PIN_INFO* pInfo) = 0;
  virtual HRESULT QueryDirection(PIN_DIRECTION* pPinDir) = 0;
  virtual HRESULT QueryId(std::u16string* id) = 0;
};

struct IEnumPins : IUnknown {
  static constexpr IID iid = IID_IEnumPins;
  virtual HRESULT Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) = 0;
  virtual HRESULT Skip(ULONG cPins) = 0;
  virtual HRESULT Reset() = 0;
};

// A filter's own state (not only through the graph).
struct IMediaFilter : IPersist {
  static constexpr IID iid = IID_IMediaFilter;
  // Stops the filter: the graph it is in stops streaming through it.
  virtual HRESULT Stop() = 0;
};

struct IBaseFilter : IMediaFilter {
  static constexpr IID iid = IID_IBaseFilter;
  virtual HRESULT EnumPins(IEnumPins** ppEnum) = 0;
  virtual HRESULT FindPin(LPCWSTR Id, IPin** ppPin) = 0;
  virtual HRESULT QueryFilterInfo(FILTER_INFO* pInfo) = 0;
  virtual HRESULT JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) = 0;
};

struct IEnumFilters : IUnknown {
  static constexpr IID iid = IID_IEnumFilters;
  virtual HRESULT Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) = 0;
  virtual HRESULT Skip(ULONG cFilters) = 0;
  virtual HRESULT Reset() = 0;
};

struct IFilterGraph : IUnknown {
  static constexpr IID iid = IID_IFilterGraph;
  virtual HRESULT AddFilter(IBaseFilter* pFilter, LPCWSTR pName) = 0;
  virtual HRESULT RemoveFilter(IBaseFilter* pFilter) = 0;
  virtual HRESULT EnumFilters(IEnumFilters** ppEnum) = 0;
  virtual HRESULT FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) = 0;
  virtual HRESULT Disconnect(IPin* ppin) = 0;
};

struct IGraphBuilder : IFilterGraph {
  static constexpr IID iid = IID_IGraphBuilder;
  virtual HRESULT Connect(IPin* ppinOut, IPin* ppinIn) = 0;
  virtual HRESULT RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) = 0;
  // The log receives a line per rendering step; 0 stops logging. The handle stays the caller's.
  virtual HRESULT SetLogFile(DWORD_PTR hFile) = 0;
};

struct IFilterGraph2 : IGraphBuilder {
  static constexpr IID iid = IID_IFilterGraph2;
};

struct IMediaControl : IUnknown {
  static constexpr IID iid = IID_IMediaControl;
  virtual HRESULT Run() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT GetState(LONG msTimeout, OAFilterState* pfs) = 0;
};

struct IMediaEvent : IUnknown {
  static constexpr IID iid = IID_IMediaEvent;
  virtual HRESULT GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, LONG msTimeout) = 0;
  virtual HRESULT FreeEventParams(LONG lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) = 0;
};

struct IMediaEventEx : IMediaEvent {
  static constexpr IID iid = IID_IMediaEventEx;
  virtual HRESULT SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData) = 0;
  virtual HRESULT SetNotifyFlags(LONG lNoNotifyFlags) = 0;
  virtual HRESULT GetNotifyFlags(LONG* lplNoNotifyFlags) = 0;
};

struct IMediaSeeking : IUnknown {
  static constexpr IID iid = IID_IMediaSeeking;
  virtual HRESULT GetDuration(LONGLONG* pDuration) = 0;
  virtual HRESULT GetCurrentPosition(LONGLONG* pCurrent) = 0;
  // The stop position set last, or the duration while none is set.
  virtual HRESULT GetStopPosition(LONGLONG* pStop) = 0;
  // Each of current and stop moves by its own flags; a stop before the current position ends
  // playback there.
  virtual HRESULT SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop, DWORD dwStopFlags) = 0;
  // S_OK for the format in use, S_FALSE for another.
  virtual HRESULT IsUsingTimeFormat(const GUID* pFormat) = 0;
  virtual HRESULT SetRate(double dRate) = 0;
  virtual HRESULT GetRate(double* pdRate) = 0;
};

struct IBasicAudio : IUnknown {
  static constexpr IID iid = IID_IBasicAudio;
  virtual HRESULT put_Volume(LONG lVolume) = 0;
  virtual HRESULT get_Volume(LONG* plVolume) = 0;
  virtual HRESULT put_Balance(LONG lBalance) = 0;
  virtual HRESULT get_Balance(LONG* plBalance) = 0;
};

// ---- builders ----

struct ICaptureGraphBuilder2 : IUnknown {
  static constexpr IID iid = IID_ICaptureGraphBuilder2;
  virtual HRESULT SetFiltergraph(IGraphBuilder* pfg) = 0;
  virtual HRESULT GetFiltergraph(IGraphBuilder** ppfg) = 0;
};

struct IDvdGraphBuilder : IUnknown {
  static constexpr IID iid = IID_IDvdGraphBuilder;
  virtual HRESULT GetFiltergraph(IGraphBuilder** ppGB) = 0;
  virtual HRESULT GetDvdInterface(REFIID riid, void** ppvIF) = 0;
  virtual HRESULT RenderDvdVideoVolume(LPCWSTR lpcwszPathName, DWORD dwFlags, AM_DVD_RENDERSTATUS* pStatus) = 0;
};

struct IDvdCmd : IUnknown {
  static constexpr IID iid = IID_IDvdCmd;
};

struct IDvdControl2 : IUnknown {
  static constexpr IID iid = IID_IDvdControl2;
  virtual HRESULT SetOption(DVD_OPTION_FLAG flag, BOOL fState) = 0;
  virtual HRESULT PlayAtTime(DVD_HMSF_TIMECODE* pTime, DWORD dwFlags, IDvdCmd** ppCmd) = 0;
};

struct IDvdInfo2 : IUnknown {
  static constexpr IID iid = IID_IDvdInfo2;
  virtual HRESULT GetTotalTitleTime(DVD_HMSF_TIMECODE* pTotalTime, ULONG* ulTimeCodeFlags) = 0;
  virtual HRESULT GetAudioLanguage(ULONG ulStream, LCID* pLanguage) = 0;
  virtual HRESULT GetSubpictureLanguage(ULONG ulStream, LCID* pLanguage) = 0;
};

// ---- builder callbacks ----

struct IAMGraphBuilderCallback : IUnknown {
  static constexpr IID iid = IID_IAMGraphBuilderCallback;
  virtual HRESULT SelectedFilter(IMoniker* pMon) = 0;
  virtual HRESULT CreatedFilter(IBaseFilter* pFil) = 0;
};

struct IAMFilterGraphCallback : IUnknown {
  static constexpr IID iid = IID_IAMFilterGraphCallback;
  virtual HRESULT UnableToRender(IPin* pPin) = 0;
};

}  // namespace win
