// Message boxes go to one replaceable sink: stderr by default, a capture in tests, the
// presenter's dialog when there is a display.
#pragma once

#include "platform/core/types.h"

#include <functional>
#include <string_view>

namespace win {

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_DEFBUTTON1 = 0x00000000;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_DEFBUTTON3 = 0x00000200;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_DEFMASK = 0x00000F00;

constexpr INT IDOK = 1;
constexpr INT IDCANCEL = 2;
constexpr INT IDABORT = 3;
constexpr INT IDRETRY = 4;
constexpr INT IDIGNORE = 5;
constexpr INT IDYES = 6;
constexpr INT IDNO = 7;

// Receives every message box: owner window, UTF-8 text and caption, MB_ flags; answers the
// button pressed.
using MessageBoxSink = std::function<INT(HWND owner, std::string_view text, std::string_view caption, UINT type)>;

// Installs a sink (an empty one restores the default) and answers the one it replaces.
MessageBoxSink SetMessageBoxSink(MessageBoxSink sink);

// The button the default sink answers: the default button of the box's button set.
INT DefaultMessageBoxAnswer(UINT type);

INT MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
INT MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

}  // namespace win
