// System error texts: FormatMessage over the table of the errors this layer produces and those
// the components show.
#pragma once

#include "platform/core/types.h"

#include <string>

namespace win {

constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;

constexpr WORD LANG_NEUTRAL = 0x00;
constexpr WORD SUBLANG_DEFAULT = 0x01;
constexpr DWORD MAKELANGID(WORD primary, WORD sub) { return (static_cast<DWORD>(sub) << 10) | primary; }

// Only FORMAT_MESSAGE_FROM_SYSTEM is supported (inserts are never expanded). Copies the text of
// `message_id`, which ends in "\r\n" as the platform's do, into `buffer` of `size` characters
// and answers its length; 0 with ERROR_MR_MID_NOT_FOUND for a number without a text,
// ERROR_INSUFFICIENT_BUFFER when the text and its terminator do not fit, and
// ERROR_INVALID_PARAMETER for other sources. The language is ignored: every text is English.
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language, LPSTR buffer, DWORD size,
                     void* arguments);

// The table text of an error number, without the line end; empty when there is none.
std::string SystemErrorText(DWORD error);

}  // namespace win
