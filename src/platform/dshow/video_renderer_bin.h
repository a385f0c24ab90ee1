// The element behind the default video renderer filter: converts decoded video to 32-bit BGRx
// and hands every frame (the preroll frame included) to a frame store.
#pragma once

#include "platform/dshow/gst_forward.h"

#include <mutex>

#include "platform/com/com_ptr.h"
#include "platform/core/types.h"
#include "platform/dshow/video_frame_store.h"
#include "platform/dshow/video_interfaces.h"

namespace win::gst {

// How a renderer shows its frames; set through the renderer's interfaces on the thread that
// drives the graph and read by its window and its streaming thread.
struct RendererSettings {
  RendererSettings() = default;
  // Lets go of the overlay mixer.
  ~RendererSettings();
  RendererSettings(const RendererSettings&) = delete;
  RendererSettings& operator=(const RendererSettings&) = delete;

  mutable std::mutex lock;
  // The part of each frame that is shown (frame pixels); width 0: the whole frame.
  RECT source{};  // left, top, right, bottom
  // The picture keeps its aspect on black borders; otherwise it fills the window.
  bool keep_aspect = true;
  // Borders around a kept-aspect picture are painted (black).
  bool paint_borders = true;
  // The window shows itself when the first frame arrives (the graph paused or runs).
  bool auto_show = true;
  bool cursor_hidden = false;
  HWND message_drain = nullptr;
  // The mixing renderer 9.
  bool mixing = false;
  DWORD mode = VMR9Mode_Windowed;
  DWORD streams = 1;
  DWORD prefs = 0;
  // Windowless mode: frames go into this window at the destination rectangle.
  HWND clipping_window = nullptr;
  RECT destination{};
  // Renderless mode: frames go to this allocator.
  ComPtr<IVMRSurfaceAllocator9> allocator;
  DWORD_PTR allocator_user_id = 0;
  // The overlay mixer feeding the renderer (a counted reference), or null: while one feeds it,
  // the renderer paints the overlay's colour key and shows its frames on an overlay plane.
  GstElement* overlay_mixer = nullptr;
};

// Records which overlay mixer (null: none) feeds the renderer `renderer`.
void SetRendererOverlay(GstElement* renderer, GstElement* overlay_mixer);

// Makes a bin with one sink pad "Input" feeding an app sink, and a frame store that lives as
// long as the bin. The bin carries a mark so that rendering finds it as a video renderer already
// in a graph. Answers a floating reference, or null when an element is missing.
// With `mixing` the renderer is a mixing renderer 9 (windowed, stretching, until told otherwise).
GstElement* MakeVideoRendererBin(const char* name, bool mixing = false);

// Gives a mixing renderer `count` inputs: "Input", "Input1", "Input2" and so on. With more than
// one, the connected inputs are mixed by compositor, later streams over the first, into a frame of
// the first stream's size. An input takes part in the mix only while it is linked, so an input
// that stays unconnected never holds the others up. The mix, once made, keeps its inputs: false
// when it exists with another count, or when an element is missing (then nothing changed).
bool SetRendererStreams(GstElement* renderer, DWORD count);

// Whether any input of a renderer bin is linked.
bool RendererInputLinked(GstElement* renderer);
// The first unlinked input of a renderer bin (a counted pad), or null.
GstPad* FreeRendererInput(GstElement* renderer);

// The frame store of a bin made by MakeVideoRendererBin; null for any other element.
VideoFrameStore* RendererFrameStore(GstElement* element);
// The settings of such a bin; null for any other element.
RendererSettings* RendererSettingsOf(GstElement* element);
bool IsVideoRendererBin(GstElement* element);

}  // namespace win::gst
