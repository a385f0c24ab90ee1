// The video renderers' interfaces: the renderer's window (IVideoWindow), its source rectangle
// (IBasicVideo2), the mixing renderer 9's configuration, aspect-ratio and windowless control and
// its renderless allocator hand-shake.
#pragma once

#include <cstdint>
#include <string>

#include "platform/dshow/dshow.h"

namespace win {

inline constexpr CLSID CLSID_VideoMixingRenderer9 = MakeGuid("51B4ABF3-748F-4E3B-A276-C828330E926A");
inline constexpr CLSID CLSID_VideoMixingRenderer = MakeGuid("B87BEB7B-8D29-423F-AE4D-6582C10175AC");

inline constexpr IID IID_IVideoWindow = MakeGuid("56A868B4-0AD4-11CE-B03A-0020AF0BA770");
inline constexpr IID IID_IBasicVideo = MakeGuid("56A868B5-0AD4-11CE-B03A-0020AF0BA770");
inline constexpr IID IID_IBasicVideo2 = MakeGuid("329BB360-F6EA-11D1-9038-00A0C9697298");
inline constexpr IID IID_IVMRFilterConfig9 = MakeGuid("5A804648-4F66-4867-9C43-4F5C822CF1B8");
inline constexpr IID IID_IVMRAspectRatioControl9 = MakeGuid("00D96C29-BBDE-4EFC-9901-BB5036392146");
inline constexpr IID IID_IVMRWindowlessControl9 = MakeGuid("8F537D09-F85E-4414-B23B-502E54C79927");
inline constexpr IID IID_IVMRSurfaceAllocatorNotify9 = MakeGuid("DCA3F5DF-BB3A-4D03-BD81-84614BFBFA0C");
inline constexpr IID IID_IVMRSurfaceAllocator9 = MakeGuid("8D5148EA-3F5D-46CF-9DF1-D1B896EEDB1F");

using OABOOL = LONG;
constexpr OABOOL OATRUE = -1;
constexpr OABOOL OAFALSE = 0;

// EC_VMR_RENDERDEVICE_SET's first parameter: the renderer draws from system memory.
constexpr LONG VMR_RENDER_DEVICE_SYSMEM = 4;

// Rendering modes of the mixing renderer 9.
constexpr DWORD VMR9Mode_Windowed = 0x1;
constexpr DWORD VMR9Mode_Windowless = 0x2;
constexpr DWORD VMR9Mode_Renderless = 0x4;

// Rendering preferences (bits 0 to 5 are kept; DoNotRenderBorder leaves the borders unpainted).
constexpr DWORD RenderPrefs9_DoNotRenderBorder = 0x00000008;
constexpr DWORD RenderPrefs9_Mask = 0x0000003F;

// Aspect-ratio modes (also those of the overlay mixer's pins).
constexpr DWORD VMR9ARMode_None = 0;
constexpr DWORD VMR9ARMode_LetterBox = 1;

// The cap on the mixing renderer's input streams.
constexpr DWORD MAX_MIXER_STREAMS = 16;

// The renderer's window.
struct IVideoWindow : IUnknown {
  static constexpr IID iid = IID_IVideoWindow;
  virtual HRESULT put_Caption(const std::u16string& caption) = 0;
  virtual HRESULT get_Caption(std::u16string* caption) = 0;
  virtual HRESULT put_WindowStyle(LONG style) = 0;
  virtual HRESULT get_WindowStyle(LONG* style) = 0;
  virtual HRESULT put_WindowStyleEx(LONG style) = 0;
  virtual HRESULT get_WindowStyleEx(LONG* style) = 0;
  // OATRUE: the window shows once the graph pauses or runs (the default).
  virtual HRESULT put_AutoShow(LONG auto_show) = 0;
  virtual HRESULT get_AutoShow(LONG* auto_show) = 0;
  virtual HRESULT put_Visible(LONG visible) = 0;
  virtual HRESULT get_Visible(LONG* visible) = 0;
  // The owner becomes the window's parent (0: a top-level window again).
  virtual HRESULT put_Owner(OAHWND owner) = 0;
  virtual HRESULT get_Owner(OAHWND* owner) = 0;
  // Mouse and key messages of the window are posted to the drain (0: none).
  virtual HRESULT put_MessageDrain(OAHWND drain) = 0;
  virtual HRESULT get_MessageDrain(OAHWND* drain) = 0;
  virtual HRESULT SetWindowPosition(LONG left, LONG top, LONG width, LONG height) = 0;
  virtual HRESULT GetWindowPosition(LONG* left, LONG* top, LONG* width, LONG* height) = 0;
  virtual HRESULT HideCursor(LONG hide) = 0;
  virtual HRESULT IsCursorHidden(LONG* hidden) = 0;
};

// The renderer's source rectangle: the part of each frame that is scaled into the window.
struct IBasicVideo2 : IUnknown {
  static constexpr IID iid = IID_IBasicVideo2;
  // The native frame size; VFW_E_NOT_CONNECTED before the first frame.
  virtual HRESULT get_VideoWidth(LONG* width) = 0;
  virtual HRESULT get_VideoHeight(LONG* height) = 0;
  virtual HRESULT put_SourceLeft(LONG left) = 0;
  virtual HRESULT get_SourceLeft(LONG* left) = 0;
  virtual HRESULT put_SourceTop(LONG top) = 0;
  virtual HRESULT get_SourceTop(LONG* top) = 0;
  virtual HRESULT put_SourceWidth(LONG width) = 0;
  virtual HRESULT get_SourceWidth(LONG* width) = 0;
  virtual HRESULT put_SourceHeight(LONG height) = 0;
  virtual HRESULT get_SourceHeight(LONG* height) = 0;
  // The whole frame.
  virtual HRESULT SetDefaultSourcePosition() = 0;
};

struct IVMRFilterConfig9 : IUnknown {
  static constexpr IID iid = IID_IVMRFilterConfig9;
  virtual HRESULT SetNumberOfStreams(DWORD max_streams) = 0;
  virtual HRESULT GetNumberOfStreams(DWORD* max_streams) = 0;
  virtual HRESULT SetRenderingPrefs(DWORD prefs) = 0;
  virtual HRESULT GetRenderingPrefs(DWORD* prefs) = 0;
  virtual HRESULT SetRenderingMode(DWORD mode) = 0;
  virtual HRESULT GetRenderingMode(DWORD* mode) = 0;
};

struct IVMRAspectRatioControl9 : IUnknown {
  static constexpr IID iid = IID_IVMRAspectRatioControl9;
  virtual HRESULT GetAspectRatioMode(DWORD* mode) = 0;
  virtual HRESULT SetAspectRatioMode(DWORD mode) = 0;
};

// Windowless mode: frames are drawn into the clipping window at the video position.
struct IVMRWindowlessControl9 : IUnknown {
  static constexpr IID iid = IID_IVMRWindowlessControl9;
  virtual HRESULT GetNativeVideoSize(LONG* width, LONG* height, LONG* aspect_width, LONG* aspect_height) = 0;
  // A null rectangle leaves that rectangle as it is; the source defaults to the whole frame.
  virtual HRESULT SetVideoPosition(const RECT* source, const RECT* destination) = 0;
  virtual HRESULT GetVideoPosition(RECT* source, RECT* destination) = 0;
  virtual HRESULT SetVideoClippingWindow(HWND window) = 0;
  virtual HRESULT RepaintVideo(HWND window, HDC dc) = 0;
};

struct IVMRSurfaceAllocator9;

// Renderless mode: the renderer hands its frames to an allocator the application supplies.
struct IVMRSurfaceAllocatorNotify9 : IUnknown {
  static constexpr IID iid = IID_IVMRSurfaceAllocatorNotify9;
  virtual HRESULT AdviseSurfaceAllocator(DWORD_PTR user_id, IVMRSurfaceAllocator9* allocator) = 0;
};

// A frame as a renderless renderer hands it over: 32-bit BGRx pixels, rows top-down, packed.
struct VMR9PresentationFrame {
  LONG width = 0;
  LONG height = 0;
  const std::uint32_t* pixels = nullptr;
};

struct IVMRSurfaceAllocator9 : IUnknown {
  static constexpr IID iid = IID_IVMRSurfaceAllocator9;
  virtual HRESULT AdviseNotify(IVMRSurfaceAllocatorNotify9* notify) = 0;
  // Each frame, on a streaming thread; the pixels are valid during the call only.
  virtual HRESULT PresentImage(DWORD_PTR user_id, const VMR9PresentationFrame* frame) = 0;
};

}  // namespace win
