// Image lists: equally sized images with optional masks, drawn transparent, blended with a
// colour, or with an overlay image on top.
#pragma once

#include "platform/core/types.h"
#include "platform/gdi/gdi_types.h"

namespace win {

constexpr UINT ILC_MASK = 0x0001;
constexpr UINT ILC_COLOR = 0x0000;
constexpr UINT ILC_COLORDDB = 0x00FE;
constexpr UINT ILC_COLOR4 = 0x0004;
constexpr UINT ILC_COLOR8 = 0x0008;
constexpr UINT ILC_COLOR16 = 0x0010;
constexpr UINT ILC_COLOR24 = 0x0018;
constexpr UINT ILC_COLOR32 = 0x0020;

constexpr UINT ILD_NORMAL = 0x0000;
constexpr UINT ILD_TRANSPARENT = 0x0001;
constexpr UINT ILD_BLEND25 = 0x0002;
constexpr UINT ILD_BLEND50 = 0x0004;
constexpr UINT ILD_MASK = 0x0010;
constexpr UINT ILD_IMAGE = 0x0020;
constexpr UINT ILD_OVERLAYMASK = 0x0F00;
constexpr UINT ILD_FOCUS = ILD_BLEND25;
constexpr UINT ILD_SELECTED = ILD_BLEND50;
constexpr UINT ILD_BLEND = ILD_BLEND50;

constexpr COLORREF CLR_NONE = 0xFFFFFFFF;
constexpr COLORREF CLR_DEFAULT = 0xFF000000;

constexpr UINT INDEXTOOVERLAYMASK(UINT overlay) { return overlay << 8; }

HIMAGELIST ImageList_Create(int width, int height, UINT flags, int initial, int grow);
BOOL ImageList_Destroy(HIMAGELIST list);
int ImageList_GetImageCount(HIMAGELIST list);
BOOL ImageList_GetIconSize(HIMAGELIST list, int* width, int* height);
BOOL ImageList_SetIconSize(HIMAGELIST list, int width, int height);  // removes every image
// Adds one image per list width of the bitmap; answers the first new index or -1. A mask
// pixel that is 1 (white) marks a transparent pixel.
int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask);
// The mask is made from the pixels of `mask_colour`.
int ImageList_AddMasked(HIMAGELIST list, HBITMAP image, COLORREF mask_colour);
BOOL ImageList_Replace(HIMAGELIST list, int index, HBITMAP image, HBITMAP mask);
BOOL ImageList_Remove(HIMAGELIST list, int index);  // -1 removes all
COLORREF ImageList_SetBkColor(HIMAGELIST list, COLORREF colour);
COLORREF ImageList_GetBkColor(HIMAGELIST list);
// Makes image `image` overlay number `overlay` (1 to 15).
BOOL ImageList_SetOverlayImage(HIMAGELIST list, int image, int overlay);
BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style);
// `width`/`height` 0: the whole image. `background`: CLR_NONE draws transparent, CLR_DEFAULT
// the list's background colour. `foreground`: the blend colour (CLR_DEFAULT: the highlight
// colour, CLR_NONE: the destination). Blend 50: (image + colour) / 2; blend 25:
// (3 x image + colour) / 4, per channel, truncated. The overlay is drawn transparent on top.
BOOL ImageList_DrawEx(HIMAGELIST list, int index, HDC dc, int x, int y, int width, int height,
                      COLORREF background, COLORREF foreground, UINT style);

}  // namespace win
