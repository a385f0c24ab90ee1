// The overlay mixer on GStreamer: a bin "videoconvert ! videobalance ! gamma" with the pins
// "Input0" and "Output". Its input pin answers the colour key, the aspect-ratio mode and the
// colour controls (mapped onto the balance and gamma elements); the filter answers the video's
// native size and display aspect, and tells a registered callback when they change, on the
// thread that registered it.
#pragma once

#include <mutex>

#include "platform/com/com_ptr.h"
#include "platform/dshow/gst_forward.h"
#include "platform/dshow/overlay_interfaces.h"

namespace win {

namespace gst {

// Settings and video properties of one overlay mixer; they live as long as its bin.
struct OverlayMixerState {
  mutable std::mutex lock;
  COLORKEY key{CK_INDEX | CK_RGB, 0, 0x00100010, 0x00100010};
  AM_ASPECT_RATIO_MODE aspect = AM_ARMODE_LETTER_BOX;
  // Sharpness has no element here: its flag is off and its value is only kept.
  DDCOLORCONTROL colors{sizeof(DDCOLORCONTROL), 0x6F, 750, 10000, 0, 10000, 5, 1, 1, 0};
  int width = 0;
  int height = 0;
  int aspect_width = 0;
  int aspect_height = 0;
  GstElement* balance = nullptr;  // owned by the bin
  GstElement* gamma = nullptr;    // owned by the bin
};

// A floating reference to a new overlay mixer bin, or null when an element is missing.
GstElement* MakeOverlayMixerBin(const char* name);
// The state of such a bin; null for any other element.
OverlayMixerState* OverlayMixerStateOf(GstElement* element);

// The colour controls' element values: brightness (B - 750) / 10000, contrast C / 10000, hue
// H / 180, saturation S / 10000 (0 while colour is off), gamma 1 + (G - 1) / 100.
struct BalanceValues {
  double brightness;
  double contrast;
  double hue;
  double saturation;
  double gamma;
};
BalanceValues MapColorControls(const DDCOLORCONTROL& controls);

}  // namespace gst

// IDDrawExclModeVideo of our overlay mixer filter `filter` over `bin`: a new counted object that
// keeps the filter; E_NOINTERFACE for other ids.
HRESULT QueryOverlayMixerInterface(IBaseFilter* filter, GstElement* bin, REFIID riid, void** ppv);
// IMixerPinConfig2 of the overlay mixer's input pin `pin` over `pad`; E_NOINTERFACE for other
// pins and ids.
HRESULT QueryMixerPinInterface(IPin* pin, GstPad* pad, REFIID riid, void** ppv);

}  // namespace win
