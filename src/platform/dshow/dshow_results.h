// Result codes of the media graph services.
#pragma once

#include "platform/core/types.h"

namespace win {

constexpr HRESULT VFW_S_PARTIAL_RENDER = 0x00040242;
constexpr HRESULT VFW_S_STATE_INTERMEDIATE = 0x00040237;
constexpr HRESULT VFW_S_DVD_NOT_ACCURATE = 0x0004027E;
constexpr HRESULT VFW_E_INVALIDMEDIATYPE = static_cast<HRESULT>(0x80040200u);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = static_cast<HRESULT>(0x80040204u);
constexpr HRESULT VFW_E_INVALID_DIRECTION = static_cast<HRESULT>(0x80040208u);
constexpr HRESULT VFW_E_NOT_IN_GRAPH = static_cast<HRESULT>(0x8004020Fu);
constexpr HRESULT VFW_E_CANNOT_CONNECT = static_cast<HRESULT>(0x80040217u);
constexpr HRESULT VFW_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040209u);
constexpr HRESULT VFW_E_NOT_FOUND = static_cast<HRESULT>(0x80040216u);
constexpr HRESULT VFW_E_CANNOT_RENDER = static_cast<HRESULT>(0x80040218u);
constexpr HRESULT VFW_E_WRONG_STATE = static_cast<HRESULT>(0x80040227u);
constexpr HRESULT VFW_E_NO_AUDIO_HARDWARE = static_cast<HRESULT>(0x80040256u);
constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = static_cast<HRESULT>(0x80040265u);
constexpr HRESULT VFW_E_TIMEOUT = static_cast<HRESULT>(0x8004026Eu);
constexpr HRESULT VFW_E_DVD_OPERATION_INHIBITED = static_cast<HRESULT>(0x80040276u);
constexpr HRESULT VFW_E_DVD_INVALIDDOMAIN = static_cast<HRESULT>(0x80040277u);
constexpr HRESULT VFW_E_DVD_NO_BUTTON = static_cast<HRESULT>(0x80040278u);
constexpr HRESULT VFW_E_DVD_GRAPHNOTREADY = static_cast<HRESULT>(0x80040279u);
constexpr HRESULT VFW_E_DVD_RENDERFAIL = static_cast<HRESULT>(0x8004027Au);
constexpr HRESULT VFW_E_DVD_DECNOTENOUGH = static_cast<HRESULT>(0x8004027Bu);
constexpr HRESULT VFW_E_NOT_STOPPED = static_cast<HRESULT>(0x80040224u);
constexpr HRESULT VFW_E_NOT_PAUSED = static_cast<HRESULT>(0x80040225u);
constexpr HRESULT VFW_E_NOT_RUNNING = static_cast<HRESULT>(0x80040226u);
constexpr HRESULT VFW_E_FILE_NOT_FOUND_WIN32 = static_cast<HRESULT>(0x80070002u);

// The text for a result code, at most `max_len - 1` characters and a terminating zero. Answers
// the number of characters written, 0 when the code has no text (the buffer then holds "").
DWORD AMGetErrorTextA(HRESULT result, char* buffer, DWORD max_len);

}  // namespace win
