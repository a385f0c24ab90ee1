// The in-process clipboard: formats registered by name and data handles placed by format. The
// clipboard owns what is placed on it and frees it when it is emptied: bitmaps and palettes with
// DeleteObject, every other format with GlobalFree.
#pragma once

#include "platform/core/types.h"

namespace win {

constexpr UINT CF_TEXT = 1;
constexpr UINT CF_BITMAP = 2;
constexpr UINT CF_DIB = 8;
constexpr UINT CF_PALETTE = 9;
constexpr UINT CF_UNICODETEXT = 13;
// Registered formats are numbered from here upwards.
constexpr UINT kFirstRegisteredClipboardFormat = 0xC000;

// Same name (compared without regard to ASCII case) gives the same number; an empty name gives 0.
UINT RegisterClipboardFormatA(LPCSTR name);
UINT RegisterClipboardFormatW(LPCWSTR name);
// Copies the registered name (UTF-8) with its terminator; answers its length, 0 for unknown formats.
int GetClipboardFormatNameA(UINT format, LPSTR buffer, int max_count);

// One thread at a time may open the clipboard; opening it again from that thread succeeds.
BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
// Frees every handle on the clipboard; the opener becomes its owner. Needs the clipboard open.
BOOL EmptyClipboard();
// Places data of a format (replacing and freeing what was there); needs the clipboard open.
HANDLE SetClipboardData(UINT format, HANDLE data);
// The handle held for the format, still owned by the clipboard; needs the clipboard open.
HANDLE GetClipboardData(UINT format);
BOOL IsClipboardFormatAvailable(UINT format);
int CountClipboardFormats();
// The format after `format` in placing order (0 starts); 0 at the end.
UINT EnumClipboardFormats(UINT format);
HWND GetClipboardOwner();

}  // namespace win
