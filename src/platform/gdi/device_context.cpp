#include "platform/gdi/device_context.h"

#include <algorithm>

#include "platform/gdi/dc_access.h"
#include "platform/gdi/gdi.h"

namespace win::gdi {
namespace {

// The bitmap every new memory context holds: 1x1 monochrome, shared and never drawn on
// by two contexts at once in a way that matters (it is one pixel of scratch).
std::shared_ptr<BitmapObject> DefaultBitmap(HBITMAP* handle) {
  struct Default {
    std::shared_ptr<BitmapObject> bitmap;
    HBITMAP handle;
  };
  static const Default* made = [] {  // lives for the whole process, as the object table does
    auto bitmap = MakeBitmap(1, 1, 1, 2, true);
    bitmap->surface.monochrome = true;
    bitmap->stock = true;
    const auto registered = static_cast<HBITMAP>(RegisterObject(bitmap));
    return new Default{std::move(bitmap), registered};
  }();
  *handle = made->handle;
  return made->bitmap;
}

COLORREF ClassicSystemColour(int index) {
  switch (index) {
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWFRAME: return RGB(0, 0, 0);
    case COLOR_HIGHLIGHT: return RGB(0, 0, 128);
    case COLOR_BTNFACE: return RGB(192, 192, 192);
    case COLOR_BTNSHADOW: return RGB(128, 128, 128);
    case COLOR_BTNHIGHLIGHT: return RGB(255, 255, 255);
    case COLOR_3DDKSHADOW: return RGB(0, 0, 0);
    case COLOR_3DLIGHT: return RGB(223, 223, 223);
    default: return RGB(0, 0, 0);
  }
}

SystemColourSource g_system_colours = nullptr;
VirtualScreen g_screen;

int Clamp(int v) {
  // Keeps coordinate arithmetic (origins, offsets) far from integer overflow.
  constexpr int kLimit = 1 << 27;
  return std::clamp(v, -kLimit, kLimit);
}

int MillimetresOf(int pixels, int dpi) { return dpi > 0 ? pixels * 254 / (dpi * 10) : 0; }

RECT LogicalRectToDevice(const DeviceContext& dc, int left, int top, int right, int bottom) {
  const POINT d = dc.LogicalToDevice();
  RECT r{Clamp(left) + d.x, Clamp(top) + d.y, Clamp(right) + d.x, Clamp(bottom) + d.y};
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  return r;
}

}  // namespace

DeviceContext::~DeviceContext() {
  if (state.bitmap && state.bitmap->selected_in == this) state.bitmap->selected_in = nullptr;
  for (DcState& s : saved)
    if (s.bitmap && s.bitmap->selected_in == this) s.bitmap->selected_in = nullptr;
}

const Surface* DeviceContext::CurrentSurface() const {
  switch (kind) {
    case Kind::kMemory: return state.bitmap ? &state.bitmap->surface : nullptr;
    case Kind::kSurface: return &external;
    case Kind::kScreen: return nullptr;
  }
  return nullptr;
}

POINT DeviceContext::LogicalToDevice() const {
  return POINT{state.viewport_org.x - state.window_org.x, state.viewport_org.y - state.window_org.y};
}

Region DeviceContext::DeviceClip() {
  Region clip = *Target().clip;
  clip.Offset(-surface_origin.x, -surface_origin.y);
  return clip;
}

Region DeviceContext::DeviceArea() const {
  const Surface* surface = CurrentSurface();
  if (surface == nullptr || surface->bits == nullptr) return Region();
  return Region(RECT{-surface_origin.x, -surface_origin.y, surface->width - surface_origin.x,
                     surface->height - surface_origin.y});
}

DrawTarget DeviceContext::Target() {
  const Surface* surface = CurrentSurface();
  if (!clip_valid_) {
    surface_clip_ = Region();
    if (surface != nullptr && surface->bits != nullptr) {
      surface_clip_ = Region(RECT{0, 0, surface->width, surface->height});
      if (base_clip) {
        Region base = *base_clip;
        base.Offset(surface_origin.x, surface_origin.y);
        surface_clip_ = Region::Combine(surface_clip_, base, Region::Op::kAnd);
      }
      if (state.clip) {
        Region user = *state.clip;
        user.Offset(surface_origin.x, surface_origin.y);
        surface_clip_ = Region::Combine(surface_clip_, user, Region::Op::kAnd);
      }
    }
    clip_valid_ = true;
  }
  const POINT d = LogicalToDevice();
  return DrawTarget{surface, POINT{d.x + surface_origin.x, d.y + surface_origin.y}, &surface_clip_};
}

COLORREF DeviceContext::ResolveColour(COLORREF colour) const {
  const DWORD form = colour >> 24;
  if (form == 0x01) {
    const auto& entries = state.palette ? state.palette->entries : DefaultPalette()->entries;
    const WORD index = static_cast<WORD>(colour & 0xFFFF);
    const PALETTEENTRY e = index < entries.size() ? entries[index] : entries.front();
    return RGB(e.peRed, e.peGreen, e.peBlue);
  }
  return colour & 0x00FFFFFF;
}

std::uint32_t DeviceContext::ValueOf(COLORREF colour) const {
  const Surface* surface = CurrentSurface();
  const std::uint32_t rgb = RgbFromColorref(ResolveColour(colour));
  return surface ? ValueOfRgb(*surface, rgb) : rgb;
}

DeviceContext* BorrowDC(HDC dc) { return BorrowAs<DeviceContext>(dc); }

void SelectBitmapInto(DeviceContext& dc, HBITMAP handle, std::shared_ptr<BitmapObject> bitmap) {
  if (dc.state.bitmap && dc.state.bitmap->selected_in == &dc) dc.state.bitmap->selected_in = nullptr;
  if (!bitmap->stock) bitmap->selected_in = &dc;
  dc.state.bitmap_handle = handle;
  dc.state.bitmap = std::move(bitmap);
  dc.ClipChanged();
}

void InitialiseDC(DeviceContext& dc) {
  DcState& s = dc.state;
  s.pen = SharedAs<PenObject>(StockObject(BLACK_PEN, &s.pen_handle));
  s.brush = SharedAs<BrushObject>(StockObject(WHITE_BRUSH, &s.brush_handle));
  s.font = StockObject(SYSTEM_FONT, &s.font_handle);
  s.palette = SharedAs<PaletteObject>(StockObject(DEFAULT_PALETTE, &s.palette_handle));
  if (dc.kind == DeviceContext::Kind::kMemory) {
    HBITMAP handle = nullptr;
    auto bitmap = DefaultBitmap(&handle);
    SelectBitmapInto(dc, handle, std::move(bitmap));
  }
}

HDC RegisterDC(const std::shared_ptr<DeviceContext>& dc) { return static_cast<HDC>(RegisterObject(dc)); }

COLORREF SystemColour(int index) {
  EngineLock lock = LockEngine();
  return g_system_colours ? g_system_colours(index) : ClassicSystemColour(index);
}

void SetSystemColourSource(SystemColourSource source) {
  EngineLock lock = LockEngine();
  g_system_colours = source;
}

bool SetVirtualScreen(const VirtualScreen& screen) {
  const bool depth_ok = screen.bits_per_pixel == 1 || screen.bits_per_pixel == 4 ||
                        screen.bits_per_pixel == 8 || screen.bits_per_pixel == 16 ||
                        screen.bits_per_pixel == 24 || screen.bits_per_pixel == 32;
  if (!depth_ok || screen.width <= 0 || screen.height <= 0 || screen.width > kMaxDimension ||
      screen.height > kMaxDimension || screen.dpi <= 0 || screen.dpi > 10000)
    return false;
  EngineLock lock = LockEngine();
  g_screen = screen;
  return true;
}

VirtualScreen GetVirtualScreen() {
  EngineLock lock = LockEngine();
  return g_screen;
}

HDC CreateSurfaceDC(const SurfaceDesc& surface, POINT origin, const Region* visible) {
  EngineLock lock = LockEngine();
  auto dc = std::make_shared<DeviceContext>(DeviceContext::Kind::kSurface);
  InitialiseDC(*dc);
  HDC handle = RegisterDC(dc);
  if (!SetSurfaceDCGeometry(handle, surface, origin, visible)) {
    UnregisterObject(handle);
    return nullptr;
  }
  return handle;
}

bool SetSurfaceDCGeometry(HDC handle, const SurfaceDesc& surface, POINT origin, const Region* visible) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc || dc->kind != DeviceContext::Kind::kSurface) return false;
  const bool empty = surface.bits == nullptr || surface.width <= 0 || surface.height <= 0;
  if (!empty && (surface.width > kMaxDimension || surface.height > kMaxDimension ||
                 surface.stride < static_cast<std::ptrdiff_t>(surface.width) * 4))
    return false;
  Surface& s = dc->external;
  s = Surface{};
  s.bits_per_pixel = 32;
  s.top_down = true;
  if (!empty) {
    s.width = surface.width;
    s.height = surface.height;
    s.stride = surface.stride;
    s.bits = surface.bits;
  }
  dc->surface_origin = POINT{Clamp(origin.x), Clamp(origin.y)};
  dc->base_clip.reset();
  if (visible) dc->base_clip = *visible;
  dc->ClipChanged();
  return true;
}

HDC CreateScreenDC() {
  EngineLock lock = LockEngine();
  auto dc = std::make_shared<DeviceContext>(DeviceContext::Kind::kScreen);
  InitialiseDC(*dc);
  return RegisterDC(dc);
}

bool GetTextState(HDC handle, TextState* out) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc || out == nullptr) return false;
  out->font = static_cast<HFONT>(dc->state.font_handle);
  out->text_colour = dc->ResolveColour(dc->state.text_colour);
  out->bk_colour = dc->ResolveColour(dc->state.bk_colour);
  out->bk_mode = dc->state.bk_mode;
  out->text_align = dc->state.text_align;
  out->position = dc->state.position;
  return true;
}

bool SetCurrentPosition(HDC handle, POINT position) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc) return false;
  dc->state.position = position;
  return true;
}


}  // namespace win::gdi

namespace win {

using namespace win::gdi;

HDC CreateCompatibleDC(HDC reference) {
  EngineLock lock = LockEngine();
  if (reference != nullptr && !BorrowDC(reference)) return nullptr;
  auto dc = std::make_shared<DeviceContext>(DeviceContext::Kind::kMemory);
  InitialiseDC(*dc);
  return RegisterDC(dc);
}

BOOL DeleteDC(HDC handle) {
  EngineLock lock = LockEngine();
  if (!BorrowDC(handle)) return FALSE;
  return UnregisterObject(handle) ? TRUE : FALSE;
}

int SaveDC(HDC handle) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  constexpr std::size_t kMaxSaved = 4096;
  if (!dc || dc->saved.size() >= kMaxSaved) return 0;
  dc->saved.push_back(dc->state);
  return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC handle, int saved) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc) return FALSE;
  const int count = static_cast<int>(dc->saved.size());
  const int level = saved < 0 ? count + 1 + saved : saved;
  if (level < 1 || level > count) return FALSE;
  DcState restored = dc->saved[static_cast<std::size_t>(level - 1)];
  dc->saved.resize(static_cast<std::size_t>(level - 1));
  if (restored.bitmap && restored.bitmap->selected_in != nullptr &&
      restored.bitmap->selected_in != dc)
    return FALSE;  // the saved bitmap now belongs to another context
  if (dc->state.bitmap && dc->state.bitmap->selected_in == dc) dc->state.bitmap->selected_in = nullptr;
  dc->state = std::move(restored);
  if (dc->state.bitmap && !dc->state.bitmap->stock) dc->state.bitmap->selected_in = dc;
  dc->ClipChanged();
  return TRUE;
}

HGDIOBJ SelectObject(HDC handle, HGDIOBJ object_handle) {
  EngineLock lock = LockEngine();
  DeviceContext* dc = BorrowDC(handle);
  // Shared: the context keeps what it selects.
  std::shared_ptr<GdiObject> object = FindObject(object_handle);
  if (!dc || !object) return nullptr;
  DcState& s = dc->state;
  HGDIOBJ previous = nullptr;
  if (IsA<PenObject>(object.get())) {
    previous = s.pen_handle;
    s.pen_handle = object_handle;
    s.pen = std::static_pointer_cast<PenObject>(std::move(object));
  } else if (IsA<BrushObject>(object.get())) {
    previous = s.brush_handle;
    s.brush_handle = object_handle;
    s.brush = std::static_pointer_cast<BrushObject>(std::move(object));
  } else if (IsA<BitmapObject>(object.get())) {
    auto bitmap = std::static_pointer_cast<BitmapObject>(std::move(object));
    if (dc->kind != DeviceContext::Kind::kMemory) return nullptr;
    if (bitmap->selected_in != nullptr && bitmap->selected_in != dc) return nullptr;
    previous = s.bitmap_handle;
    SelectBitmapInto(*dc, static_cast<HBITMAP>(object_handle), std::move(bitmap));
  } else if (IsA<RegionObject>(object.get())) {
    // Selecting a region sets the clip and answers the region's complexity.
    return reinterpret_cast<HGDIOBJ>(static_cast<std::intptr_t>(
        SelectClipRgn(handle, static_cast<HRGN>(object_handle))));
  } else if (object->Type() == OBJ_FONT) {
    previous = s.font_handle;
    s.font_handle = object_handle;
    s.font = std::move(object);
  } else {
    return nullptr;  // palettes go through SelectPalette; contexts cannot be selected
  }
  return previous;
}

HGDIOBJ GetCurrentObject(HDC handle, UINT type) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_PEN: return dc->state.pen_handle;
    case OBJ_BRUSH: return dc->state.brush_handle;
    case OBJ_PAL: return dc->state.palette_handle;
    case OBJ_FONT: return dc->state.font_handle;
    case OBJ_BITMAP: return dc->state.bitmap_handle;
    default: return nullptr;
  }
}

namespace {

template <class T, class Member>
T SwapState(HDC handle, Member member, T value, T failure) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc) return failure;
  T previous = dc->state.*member;
  dc->state.*member = value;
  return previous;
}

template <class T, class Member>
T ReadState(HDC handle, Member member, T failure) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  return dc ? dc->state.*member : failure;
}

BOOL MovePoint(HDC handle, POINT DcState::*member, int x, int y, bool relative, LPPOINT previous) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc) return FALSE;
  POINT& p = dc->state.*member;
  if (previous) *previous = p;
  p = relative ? POINT{Clamp(p.x + Clamp(x)), Clamp(p.y + Clamp(y))} : POINT{Clamp(x), Clamp(y)};
  return TRUE;
}

BOOL ReadPoint(HDC handle, POINT DcState::*member, LPPOINT out) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc || out == nullptr) return FALSE;
  *out = dc->state.*member;
  return TRUE;
}

}  // namespace

COLORREF SetBkColor(HDC dc, COLORREF color) { return SwapState<COLORREF>(dc, &DcState::bk_colour, color, CLR_INVALID); }
COLORREF GetBkColor(HDC dc) { return ReadState<COLORREF>(dc, &DcState::bk_colour, CLR_INVALID); }
COLORREF SetTextColor(HDC dc, COLORREF color) { return SwapState<COLORREF>(dc, &DcState::text_colour, color, CLR_INVALID); }
COLORREF GetTextColor(HDC dc) { return ReadState<COLORREF>(dc, &DcState::text_colour, CLR_INVALID); }

int SetBkMode(HDC dc, int mode) {
  if (mode != TRANSPARENT && mode != OPAQUE) return 0;
  return SwapState<int>(dc, &DcState::bk_mode, mode, 0);
}
int GetBkMode(HDC dc) { return ReadState<int>(dc, &DcState::bk_mode, 0); }

int SetStretchBltMode(HDC dc, int mode) {
  if (mode < BLACKONWHITE || mode > HALFTONE) return 0;
  return SwapState<int>(dc, &DcState::stretch_mode, mode, 0);
}
int GetStretchBltMode(HDC dc) { return ReadState<int>(dc, &DcState::stretch_mode, 0); }

int SetROP2(HDC dc, int mode) {
  if (mode < R2_BLACK || mode > R2_WHITE) return 0;
  return SwapState<int>(dc, &DcState::rop2, mode, 0);
}
int GetROP2(HDC dc) { return ReadState<int>(dc, &DcState::rop2, 0); }

UINT SetTextAlign(HDC dc, UINT align) { return SwapState<UINT>(dc, &DcState::text_align, align, GDI_ERROR); }
UINT GetTextAlign(HDC dc) { return ReadState<UINT>(dc, &DcState::text_align, GDI_ERROR); }

BOOL SetWindowOrgEx(HDC dc, int x, int y, LPPOINT previous) {
  return MovePoint(dc, &DcState::window_org, x, y, false, previous);
}
BOOL GetWindowOrgEx(HDC dc, LPPOINT origin) { return ReadPoint(dc, &DcState::window_org, origin); }
BOOL OffsetWindowOrgEx(HDC dc, int dx, int dy, LPPOINT previous) {
  return MovePoint(dc, &DcState::window_org, dx, dy, true, previous);
}
BOOL SetViewportOrgEx(HDC dc, int x, int y, LPPOINT previous) {
  return MovePoint(dc, &DcState::viewport_org, x, y, false, previous);
}
BOOL GetViewportOrgEx(HDC dc, LPPOINT origin) { return ReadPoint(dc, &DcState::viewport_org, origin); }
BOOL OffsetViewportOrgEx(HDC dc, int dx, int dy, LPPOINT previous) {
  return MovePoint(dc, &DcState::viewport_org, dx, dy, true, previous);
}
BOOL MoveToEx(HDC dc, int x, int y, LPPOINT previous) {
  return MovePoint(dc, &DcState::position, x, y, false, previous);
}
BOOL GetCurrentPositionEx(HDC dc, LPPOINT position) { return ReadPoint(dc, &DcState::position, position); }

// ---- Clipping ----

int SelectClipRgn(HDC handle, HRGN region) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc) return ERROR;
  if (region == nullptr) {
    dc->state.clip.reset();
  } else {
    auto object = FindAs<RegionObject>(region);
    if (!object) return ERROR;
    dc->state.clip = object->region;
  }
  dc->ClipChanged();
  return dc->DeviceClip().Complexity();
}

int GetClipRgn(HDC handle, HRGN region) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  auto object = FindAs<RegionObject>(region);
  if (!dc || !object) return -1;
  if (!dc->state.clip) return 0;
  object->region = *dc->state.clip;
  return 1;
}

namespace {

int CombineClipRect(HDC handle, int left, int top, int right, int bottom, Region::Op op) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc) return ERROR;
  const Region rect(LogicalRectToDevice(*dc, left, top, right, bottom));
  // Without a clip region, the whole surface is the starting area.
  const Region current = dc->state.clip ? *dc->state.clip : dc->DeviceArea();
  dc->state.clip = Region::Combine(current, rect, op);
  dc->ClipChanged();
  return dc->DeviceClip().Complexity();
}

}  // namespace

int IntersectClipRect(HDC dc, int left, int top, int right, int bottom) {
  return CombineClipRect(dc, left, top, right, bottom, Region::Op::kAnd);
}

int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom) {
  return CombineClipRect(dc, left, top, right, bottom, Region::Op::kDiff);
}

int GetClipBox(HDC handle, LPRECT box) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc || box == nullptr) return ERROR;
  const Region clip = dc->DeviceClip();
  RECT bounds = clip.Bounds();
  const POINT d = dc->LogicalToDevice();
  if (!clip.IsEmpty()) {
    bounds.left -= d.x;
    bounds.right -= d.x;
    bounds.top -= d.y;
    bounds.bottom -= d.y;
  }
  *box = bounds;
  return clip.Complexity();
}

// ---- Capabilities of the virtual screen ----

int GetDeviceCaps(HDC handle, int index) {
  EngineLock lock = LockEngine();
  if (!BorrowDC(handle)) return 0;
  const VirtualScreen screen = GetVirtualScreen();
  const bool palette_device = screen.bits_per_pixel <= 8;
  switch (index) {
    case DRIVERVERSION: return 0x4000;
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZSIZE: return MillimetresOf(screen.width, screen.dpi);
    case VERTSIZE: return MillimetresOf(screen.height, screen.dpi);
    case HORZRES: return screen.width;
    case VERTRES: return screen.height;
    case BITSPIXEL: return screen.bits_per_pixel;
    case PLANES: return 1;
    case NUMCOLORS: return palette_device ? 20 : -1;
    case RASTERCAPS:
      return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB |
             (palette_device ? RC_PALETTE : 0);
    case LOGPIXELSX:
    case LOGPIXELSY: return screen.dpi;
    case SIZEPALETTE: return palette_device ? 1 << screen.bits_per_pixel : 0;
    case NUMRESERVED: return palette_device ? 20 : 0;
    case COLORRES: return palette_device ? 18 : 24;
    case SHADEBLENDCAPS: return SB_CONST_ALPHA | SB_PIXEL_ALPHA;
    default: return 0;
  }
}

}  // namespace win
