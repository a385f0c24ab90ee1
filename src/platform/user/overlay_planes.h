// Overlay planes: a video picture shown where the screen has an overlay's colour key, inside a
// rectangle, as a display's overlay hardware shows it. The presenter applies the planes when it
// puts surfaces on the display; ReadScreenPixels gives the screen as it is composed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/core/types.h"
#include "platform/user/surfaces.h"

namespace win {

// A picture lent in place: 32-bit pixels, the colour in the low 24 bits (0x00RRGGBB), rows
// top-down, `stride` pixels apart.
struct OverlayPicture {
  int width = 0;
  int height = 0;
  std::size_t stride = 0;
  const std::uint32_t* pixels = nullptr;
};
using OverlayPictureUse = std::function<void(const OverlayPicture&)>;

struct OverlayPlane {
  RECT area{};          // screen coordinates: key-coloured pixels inside show the picture
  RECT picture_rect{};  // screen rectangle the picture's source part is scaled to
  RECT source{};        // the part of the picture shown (picture pixels); empty: all of it
  std::uint32_t key = 0;  // 0x00RRGGBB
  // Lends the newest picture to `use` for the length of the call; false, without calling it,
  // while there is none. Called on any thread, outside this layer's locks.
  std::function<bool(const OverlayPictureUse& use)> picture;
};

using OverlayPlaneId = std::uint64_t;

// Each change tells the surface listener, so that a presenter shows it.
OverlayPlaneId AddOverlayPlane(OverlayPlane plane);
void UpdateOverlayPlane(OverlayPlaneId id, OverlayPlane plane);
// The picture changed (a new frame): the planes are shown again.
void OverlayPictureChanged();
void RemoveOverlayPlane(OverlayPlaneId id);

// Replaces the key-coloured pixels of a screen area's pixels (the colour in the low 24 bits, the
// top byte kept) with the planes' pictures; `screen_rect` is where the pixels lie on the screen.
void ApplyOverlayPlanes(std::uint32_t* pixels, std::size_t stride_pixels, const RECT& screen_rect);

// The screen as composed: the visible top-level surfaces (black where there is none), overlay
// planes applied, as 0x00RRGGBB. FALSE for an empty area.
BOOL ReadScreenPixels(const RECT& area, WindowPixels* out);

}  // namespace win
