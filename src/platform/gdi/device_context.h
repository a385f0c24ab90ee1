// Device contexts: what a drawing call draws into (a selected bitmap, or an externally owned
// 32-bit surface of a window), where (origins, clip), and with what (pen, brush, font,
// palette, colours and modes).
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/gdi/objects.h"

namespace win::gdi {

// The part of a device context that SaveDC saves.
struct DcState {
  HBITMAP bitmap_handle = nullptr;
  std::shared_ptr<BitmapObject> bitmap;
  HGDIOBJ pen_handle = nullptr;
  std::shared_ptr<PenObject> pen;
  HGDIOBJ brush_handle = nullptr;
  std::shared_ptr<BrushObject> brush;
  HGDIOBJ font_handle = nullptr;
  std::shared_ptr<GdiObject> font;
  HGDIOBJ palette_handle = nullptr;
  std::shared_ptr<PaletteObject> palette;

  COLORREF bk_colour = RGB(255, 255, 255);
  COLORREF text_colour = RGB(0, 0, 0);
  int bk_mode = OPAQUE;
  int stretch_mode = BLACKONWHITE;
  int rop2 = R2_COPYPEN;
  UINT text_align = TA_LEFT | TA_TOP | TA_NOUPDATECP;
  POINT window_org;
  POINT viewport_org;
  POINT position;
  std::optional<Region> clip;  // device coordinates
};

// Where a drawing call lands: the pixels, the offset from logical to surface coordinates and
// the clip in surface coordinates (never outside the surface).
struct DrawTarget {
  const Surface* surface = nullptr;
  POINT offset;  // surface x = logical x + offset.x
  const Region* clip = nullptr;
};

class DeviceContext final : public GdiObject {
 public:
  enum class Kind { kMemory, kScreen, kSurface };
  explicit DeviceContext(Kind kind) : kind(kind) {}
  ~DeviceContext() override;

  DWORD Type() const override { return kind == Kind::kMemory ? OBJ_MEMDC : OBJ_DC; }

  const Surface* CurrentSurface() const;
  DrawTarget Target();
  POINT LogicalToDevice() const;  // device = logical + this
  void ClipChanged() { clip_valid_ = false; }
  // The effective clip in device coordinates (surface area, base clip and clip region).
  Region DeviceClip();
  // The surface's whole area in device coordinates.
  Region DeviceArea() const;

  // Colour as the value the target stores, resolving palette indexes and RGB values.
  COLORREF ResolveColour(COLORREF colour) const;
  std::uint32_t ValueOf(COLORREF colour) const;

  Kind kind;
  DcState state;
  std::vector<DcState> saved;
  // Surface contexts: the window's pixels (not owned), the device origin inside them and the
  // visible area in device coordinates.
  Surface external;
  POINT surface_origin;
  std::optional<Region> base_clip;

 private:
  bool clip_valid_ = false;
  Region surface_clip_;  // surface coordinates
};

// The context of a handle, borrowed (see BorrowObject): hold the engine lock while using it.
DeviceContext* BorrowDC(HDC dc);
void SelectBitmapInto(DeviceContext& dc, HBITMAP handle, std::shared_ptr<BitmapObject> bitmap);
// Selects the stock objects and the default 1x1 monochrome bitmap (memory contexts).
void InitialiseDC(DeviceContext& dc);
HDC RegisterDC(const std::shared_ptr<DeviceContext>& dc);

// Colours of the system, read through the source user installs (classic defaults before).
COLORREF SystemColour(int index);

}  // namespace win::gdi
