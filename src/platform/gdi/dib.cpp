// Bitmaps: device-dependent and monochrome bitmaps, DIB sections, and the copies between
// bitmaps and device-independent pixel buffers.
#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/gdi/dc_access.h"
#include "platform/gdi/device_context.h"
#include "platform/gdi/dib_layout.h"
#include "platform/gdi/gdi.h"

namespace win::gdi {
namespace {

constexpr DWORD kMaxColoursUsed = 256;

bool HeaderSizeKnown(DWORD size) { return size == 40 || size == 108 || size == 124; }

HBITMAP RegisterBitmap(std::shared_ptr<BitmapObject> bitmap) {
  return static_cast<HBITMAP>(RegisterObject(std::move(bitmap)));
}

// A device-dependent bitmap of the given depth: rows aligned to 2 bytes, top row first.
std::shared_ptr<BitmapObject> MakeDeviceBitmap(int width, int height, int bits_per_pixel) {
  auto bitmap = MakeBitmap(width, height, bits_per_pixel, 2, true);
  if (!bitmap) return nullptr;
  bitmap->surface.monochrome = bits_per_pixel == 1;
  if (bits_per_pixel > 1 && bits_per_pixel <= 8) bitmap->surface.colour_table = DefaultTable(bits_per_pixel);
  return bitmap;
}

int ScreenBitmapDepth() {
  const int depth = GetVirtualScreen().bits_per_pixel;
  if (depth == 16) return 32;
  return depth;
}

// Converts `count` pixels of one row between layouts through their colours.
void ConvertRow(const Surface& from, int from_y, const Surface& to, int to_y, int width) {
  for (int x = 0; x < width; ++x)
    WriteValue(to, x, to_y, ValueOfRgb(to, RgbOfValue(from, ReadValue(from, x, from_y))));
}

bool SameLayout(const Surface& a, const Surface& b) {
  if (a.bits_per_pixel != b.bits_per_pixel || a.monochrome != b.monochrome) return false;
  if (!a.Indexed() || a.monochrome) return true;
  if (a.colour_table.size() != b.colour_table.size()) return false;
  for (std::size_t i = 0; i < a.colour_table.size(); ++i)
    if (RgbOfQuad(a.colour_table[i]) != RgbOfQuad(b.colour_table[i])) return false;
  return true;
}

// Copies DIB rows [first, first + count) (in the DIB's own order) between a bitmap and a
// buffer laid out as `dib` whose memory starts at row `first`.
void CopyRows(const Surface& bitmap, Surface dib, int first, int count, bool to_dib) {
  const std::size_t row_bytes =
      (static_cast<std::size_t>(dib.width) * static_cast<std::size_t>(dib.bits_per_pixel) + 7) / 8;
  const bool same = SameLayout(bitmap, dib) && dib.width == bitmap.width;
  for (int i = 0; i < count; ++i) {
    // Rows count from the bitmap's top for a top-down DIB, from its bottom otherwise.
    const int dib_row = first + i;
    const int bitmap_row = dib.top_down ? dib_row : bitmap.height - 1 - dib_row;
    // A local view whose single row is the buffer row.
    Surface line = dib;
    line.height = 1;
    line.top_down = true;
    line.bits = dib.bits + static_cast<std::ptrdiff_t>(i) * dib.stride;
    if (same) {
      std::uint8_t* bitmap_bytes = bitmap.Row(bitmap_row);
      if (to_dib)
        std::memcpy(line.bits, bitmap_bytes, row_bytes);
      else
        std::memcpy(bitmap_bytes, line.bits, row_bytes);
    } else if (to_dib) {
      ConvertRow(bitmap, bitmap_row, line, 0, dib.width);
    } else {
      ConvertRow(line, 0, bitmap, bitmap_row, dib.width);
    }
  }
}

}  // namespace

bool DescribeDib(const BITMAPINFOHEADER& header, Surface* out) {
  if (!HeaderSizeKnown(header.biSize) || header.biPlanes != 1 || header.biCompression != BI_RGB)
    return false;
  if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == std::numeric_limits<LONG>::min())
    return false;
  const int bits = header.biBitCount;
  const int height = std::abs(header.biHeight);
  if (!SizeAllowed(header.biWidth, height, bits, 4)) return false;
  if (bits <= 8 && header.biClrUsed > (1u << bits)) return false;
  if (bits > 8 && header.biClrUsed > kMaxColoursUsed) return false;
  *out = Surface{};
  out->width = header.biWidth;
  out->height = height;
  out->bits_per_pixel = bits;
  out->top_down = header.biHeight < 0;
  out->stride = static_cast<std::ptrdiff_t>(DibRowStride(header.biWidth, bits));
  return true;
}

std::size_t DibImageSize(const Surface& layout) {
  return static_cast<std::size_t>(layout.stride) * static_cast<std::size_t>(layout.height);
}

std::vector<RGBQUAD> ReadColourTable(const BITMAPINFO* info, int bits_per_pixel) {
  std::vector<RGBQUAD> table;
  if (bits_per_pixel > 8) return table;
  const std::size_t full = std::size_t{1} << bits_per_pixel;
  const DWORD used = info->bmiHeader.biClrUsed;
  const std::size_t present = used == 0 ? full : std::min<std::size_t>(used, full);
  const auto* first = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const std::uint8_t*>(info) +
                                                       info->bmiHeader.biSize);
  table.assign(first, first + present);
  for (RGBQUAD& q : table) q.rgbReserved = 0;
  table.resize(full, RGBQUAD{});
  return table;
}

}  // namespace win::gdi

namespace win {

using namespace win::gdi;

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bits_per_pixel, LPCVOID bits) {
  if (planes != 1 || !IsSupportedDepth(static_cast<int>(bits_per_pixel))) return nullptr;
  EngineLock lock = LockEngine();
  auto bitmap = MakeDeviceBitmap(width, height, static_cast<int>(bits_per_pixel));
  if (!bitmap) return nullptr;
  if (bits != nullptr)
    std::memcpy(bitmap->surface.bits, bits,
                static_cast<std::size_t>(bitmap->surface.stride) * static_cast<std::size_t>(height));
  return RegisterBitmap(std::move(bitmap));
}

HBITMAP CreateBitmapIndirect(const BITMAP* bm) {
  if (bm == nullptr) return nullptr;
  return CreateBitmap(bm->bmWidth, bm->bmHeight, bm->bmPlanes, bm->bmBitsPixel, bm->bmBits);
}

HBITMAP CreateCompatibleBitmap(HDC handle, int width, int height) {
  EngineLock lock = LockEngine();
  auto dc = BorrowDC(handle);
  if (!dc) return nullptr;
  const Surface* current = dc->CurrentSurface();
  std::shared_ptr<BitmapObject> bitmap;
  if (dc->kind == DeviceContext::Kind::kMemory && current != nullptr && current->monochrome) {
    bitmap = MakeDeviceBitmap(width, height, 1);
  } else if (dc->kind == DeviceContext::Kind::kMemory && dc->state.bitmap && dc->state.bitmap->dib_section) {
    // A context on a DIB section makes DIB sections of the same format.
    bitmap = MakeBitmap(width, height, current->bits_per_pixel, 4, false);
    if (bitmap) {
      bitmap->surface.colour_table = current->colour_table;
      bitmap->dib_section = true;
      bitmap->dib_header = dc->state.bitmap->dib_header;
      bitmap->dib_header.biWidth = width;
      bitmap->dib_header.biHeight = height;
      bitmap->dib_header.biSizeImage = static_cast<DWORD>(DibImageSize(bitmap->surface));
    }
  } else {
    bitmap = MakeDeviceBitmap(width, height, ScreenBitmapDepth());
  }
  return bitmap ? RegisterBitmap(std::move(bitmap)) : nullptr;
}

HBITMAP CreateDIBSection(HDC handle, const BITMAPINFO* info, UINT usage, LPVOID* bits,
                         HANDLE section, DWORD offset) {
  if (bits != nullptr) *bits = nullptr;
  if (info == nullptr || usage != DIB_RGB_COLORS || section != nullptr || offset != 0) return nullptr;
  EngineLock lock = LockEngine();
  if (handle != nullptr && !BorrowDC(handle)) return nullptr;
  Surface layout;
  if (!DescribeDib(info->bmiHeader, &layout)) return nullptr;
  auto bitmap = MakeBitmap(layout.width, layout.height, layout.bits_per_pixel, 4, layout.top_down);
  if (!bitmap) return nullptr;
  bitmap->surface.colour_table = ReadColourTable(info, layout.bits_per_pixel);
  bitmap->dib_section = true;
  bitmap->dib_header = info->bmiHeader;
  bitmap->dib_header.biSize = sizeof(BITMAPINFOHEADER);
  bitmap->dib_header.biSizeImage = static_cast<DWORD>(DibImageSize(layout));
  if (bits != nullptr) *bits = bitmap->surface.bits;
  return RegisterBitmap(std::move(bitmap));
}

HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, LPCVOID bits,
                       const BITMAPINFO* info, UINT usage) {
  if (header == nullptr || header->biWidth <= 0 || header->biHeight == 0 ||
      header->biHeight == std::numeric_limits<LONG>::min())
    return nullptr;
  EngineLock lock = LockEngine();
  HBITMAP bitmap = CreateCompatibleBitmap(dc, header->biWidth, std::abs(header->biHeight));
  if (bitmap == nullptr) return nullptr;
  if ((init & CBM_INIT) != 0 && bits != nullptr) {
    if (SetDIBits(dc, bitmap, 0, static_cast<UINT>(std::abs(header->biHeight)), bits, info, usage) == 0) {
      DeleteObject(bitmap);
      return nullptr;
    }
  }
  return bitmap;
}

int GetDIBits(HDC dc, HBITMAP handle, UINT start, UINT lines, LPVOID bits, BITMAPINFO* info, UINT usage) {
  EngineLock lock = LockEngine();
  auto* bitmap = BorrowAs<BitmapObject>(handle);
  if (!BorrowDC(dc) || !bitmap || info == nullptr || usage != DIB_RGB_COLORS) return 0;
  const Surface& source = bitmap->surface;
  BITMAPINFOHEADER& header = info->bmiHeader;
  if (header.biBitCount == 0) {
    // Only the description of the bitmap is asked for.
    if (header.biSize < sizeof(BITMAPINFOHEADER)) return 0;
    header.biWidth = source.width;
    header.biHeight = bitmap->dib_section ? bitmap->dib_header.biHeight : source.height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(source.bits_per_pixel);
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(DibRowStride(source.width, source.bits_per_pixel) *
                                            static_cast<std::size_t>(source.height));
    header.biClrUsed = 0;
    header.biClrImportant = 0;
    return source.height;
  }
  Surface layout;
  if (!DescribeDib(header, &layout) || layout.width != source.width || layout.height > source.height)
    return 0;
  if (layout.Indexed()) {
    // The bitmap's own table when the depths agree, else the depth's default table.
    if (source.bits_per_pixel == layout.bits_per_pixel)
      layout.colour_table = source.monochrome ? MonochromeTable() : source.colour_table;
    if (layout.colour_table.size() != (std::size_t{1} << layout.bits_per_pixel))
      layout.colour_table = DefaultTable(layout.bits_per_pixel);
  }
  auto* table = reinterpret_cast<RGBQUAD*>(reinterpret_cast<std::uint8_t*>(info) + header.biSize);
  std::copy(layout.colour_table.begin(), layout.colour_table.end(), table);
  header.biSizeImage = static_cast<DWORD>(DibImageSize(layout));
  if (bits == nullptr) return layout.height;
  if (start >= static_cast<UINT>(layout.height)) return 0;
  const int count = static_cast<int>(std::min<UINT>(lines, static_cast<UINT>(layout.height) - start));
  layout.bits = static_cast<std::uint8_t*>(bits);
  CopyRows(source, layout, static_cast<int>(start), count, true);
  return count;
}

int SetDIBits(HDC dc, HBITMAP handle, UINT start, UINT lines, LPCVOID bits, const BITMAPINFO* info,
              UINT usage) {
  EngineLock lock = LockEngine();
  auto* bitmap = BorrowAs<BitmapObject>(handle);
  (void)dc;  // the bitmap's own format decides the conversion
  if (!bitmap || bits == nullptr || info == nullptr || usage != DIB_RGB_COLORS) return 0;
  Surface layout;
  if (!DescribeDib(info->bmiHeader, &layout) || layout.width != bitmap->surface.width ||
      layout.height > bitmap->surface.height)
    return 0;
  if (start >= static_cast<UINT>(layout.height)) return 0;
  layout.colour_table = ReadColourTable(info, layout.bits_per_pixel);
  layout.bits = static_cast<std::uint8_t*>(const_cast<void*>(bits));  // only read
  const int count = static_cast<int>(std::min<UINT>(lines, static_cast<UINT>(layout.height) - start));
  CopyRows(bitmap->surface, layout, static_cast<int>(start), count, false);
  return count;
}

namespace {

std::shared_ptr<BitmapObject> IndexedDibOf(HDC handle) {
  auto dc = BorrowDC(handle);
  if (!dc || !dc->state.bitmap || !dc->state.bitmap->dib_section || !dc->state.bitmap->surface.Indexed())
    return nullptr;
  return dc->state.bitmap;
}

}  // namespace

UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colors) {
  EngineLock lock = LockEngine();
  auto bitmap = IndexedDibOf(dc);
  if (!bitmap || colors == nullptr) return 0;
  const auto& table = bitmap->surface.colour_table;
  if (start >= table.size()) return 0;
  const UINT n = std::min<UINT>(count, static_cast<UINT>(table.size()) - start);
  std::copy_n(table.begin() + start, n, colors);
  return n;
}

UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colors) {
  EngineLock lock = LockEngine();
  auto bitmap = IndexedDibOf(dc);
  if (!bitmap || colors == nullptr) return 0;
  auto& table = bitmap->surface.colour_table;
  if (start >= table.size()) return 0;
  const UINT n = std::min<UINT>(count, static_cast<UINT>(table.size()) - start);
  std::copy_n(colors, n, table.begin() + start);
  return n;
}

}  // namespace win
