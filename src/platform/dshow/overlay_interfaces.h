// The overlay mixer's interfaces: its input pin's colour key, aspect-ratio mode and colour
// controls (IMixerPinConfig2), and the filter's native video properties and update callback
// (IDDrawExclModeVideo); the class ids of the overlay mixer and the line-21 decoders.
#pragma once

#include "platform/dshow/dshow.h"

namespace win {

inline constexpr CLSID CLSID_OverlayMixer = MakeGuid("CD8743A1-3736-11D0-9E69-00C04FD7C15B");
inline constexpr CLSID CLSID_OverlayMixer2 = MakeGuid("A0025E90-E45B-11D1-ABE9-00A0C905F375");
inline constexpr CLSID CLSID_Line21Decoder = MakeGuid("6E8D4A20-310C-11D0-B79A-00AA003767A7");
inline constexpr CLSID CLSID_Line21Decoder2 = MakeGuid("E4206432-01A1-4BEE-B3E1-3702C8EDC574");

inline constexpr IID IID_IMixerPinConfig2 = MakeGuid("EBF47182-8764-11D1-9E69-00C04FD7C15B");
inline constexpr IID IID_IDDrawExclModeVideo = MakeGuid("153ACC21-D83B-11D1-82BF-00A0C9696C8F");
inline constexpr IID IID_IDDrawExclModeVideoCallback = MakeGuid("913C24A0-20AB-11D2-9038-00A0C9697298");

// Colour key kinds (KeyType bits).
constexpr DWORD CK_INDEX = 0x1;
constexpr DWORD CK_RGB = 0x2;

struct COLORKEY {
  DWORD KeyType = 0;
  DWORD PaletteIndex = 0;
  COLORREF LowColorValue = 0;
  COLORREF HighColorValue = 0;
};

// Aspect-ratio modes of an overlay pin.
enum AM_ASPECT_RATIO_MODE { AM_ARMODE_STRETCHED = 0, AM_ARMODE_LETTER_BOX = 1, AM_ARMODE_CROP = 2 };

// Flags of DDCOLORCONTROL: which adjustments the record carries (or a surface supports).
constexpr DWORD DDCOLOR_BRIGHTNESS = 0x01;
constexpr DWORD DDCOLOR_CONTRAST = 0x02;
constexpr DWORD DDCOLOR_HUE = 0x04;
constexpr DWORD DDCOLOR_SATURATION = 0x08;
constexpr DWORD DDCOLOR_SHARPNESS = 0x10;
constexpr DWORD DDCOLOR_GAMMA = 0x20;
constexpr DWORD DDCOLOR_COLORENABLE = 0x40;

struct DDCOLORCONTROL {
  DWORD dwSize = 0;
  DWORD dwFlags = 0;
  LONG lBrightness = 0;
  LONG lContrast = 0;
  LONG lHue = 0;
  LONG lSaturation = 0;
  LONG lSharpness = 0;
  LONG lGamma = 0;
  LONG lColorEnable = 0;
  DWORD dwReserved1 = 0;
};
static_assert(sizeof(DDCOLORCONTROL) == 40);

// On the overlay mixer's input pin.
struct IMixerPinConfig2 : IUnknown {
  static constexpr IID iid = IID_IMixerPinConfig2;
  virtual HRESULT SetColorKey(COLORKEY* color_key) = 0;
  virtual HRESULT GetColorKey(COLORKEY* color_key, DWORD* color) = 0;
  virtual HRESULT SetAspectRatioMode(AM_ASPECT_RATIO_MODE mode) = 0;
  virtual HRESULT GetAspectRatioMode(AM_ASPECT_RATIO_MODE* mode) = 0;
  virtual HRESULT SetOverlaySurfaceColorControls(DDCOLORCONTROL* controls) = 0;
  virtual HRESULT GetOverlaySurfaceColorControls(DDCOLORCONTROL* controls) = 0;
};

// Told by the overlay mixer of changes to its overlay (on the thread that registered it).
struct IDDrawExclModeVideoCallback : IUnknown {
  static constexpr IID iid = IID_IDDrawExclModeVideoCallback;
  virtual HRESULT OnUpdateOverlay(BOOL before, DWORD flags, BOOL old_visible, const RECT* old_source,
                                  const RECT* old_destination, BOOL new_visible, const RECT* new_source,
                                  const RECT* new_destination) = 0;
  virtual HRESULT OnUpdateColorKey(const COLORKEY* key, DWORD color) = 0;
  virtual HRESULT OnUpdateSize(DWORD width, DWORD height, DWORD aspect_width, DWORD aspect_height) = 0;
};

struct IDDrawExclModeVideo : IUnknown {
  static constexpr IID iid = IID_IDDrawExclModeVideo;
  // The native size and the display aspect of the video; VFW_E_NOT_CONNECTED before it is known.
  virtual HRESULT GetNativeVideoProps(DWORD* width, DWORD* height, DWORD* aspect_width, DWORD* aspect_height) = 0;
  // Null removes the callback.
  virtual HRESULT SetCallbackInterface(IDDrawExclModeVideoCallback* callback, DWORD flags) = 0;
};

}  // namespace win
