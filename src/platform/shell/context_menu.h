// Context menus of shell items: the menu interfaces, their flags and the invocation record.
#pragma once

#include "platform/shell/shell_types.h"

namespace win {

// QueryContextMenu flags (CMF_).
constexpr UINT CMF_NORMAL = 0x0000;
constexpr UINT CMF_DEFAULTONLY = 0x0001;
constexpr UINT CMF_VERBSONLY = 0x0002;
constexpr UINT CMF_EXPLORE = 0x0004;
constexpr UINT CMF_NOVERBS = 0x0008;
constexpr UINT CMF_CANRENAME = 0x0010;
constexpr UINT CMF_EXTENDEDVERBS = 0x0100;

// GetCommandString kinds (GCS_).
constexpr UINT GCS_VERBA = 0x0000;
constexpr UINT GCS_HELPTEXTA = 0x0001;
constexpr UINT GCS_VALIDATEA = 0x0002;
constexpr UINT GCS_VERBW = 0x0004;
constexpr UINT GCS_HELPTEXTW = 0x0005;
constexpr UINT GCS_VALIDATEW = 0x0006;
constexpr UINT GCS_UNICODE = 0x0004;

// Invocation record masks (CMIC_MASK_).
constexpr DWORD CMIC_MASK_HOTKEY = 0x00000020;
constexpr DWORD CMIC_MASK_ICON = 0x00000010;
constexpr DWORD CMIC_MASK_FLAG_NO_UI = 0x00000400;
constexpr DWORD CMIC_MASK_UNICODE = 0x00004000;
constexpr DWORD CMIC_MASK_NOASYNC = 0x00000100;
constexpr DWORD CMIC_MASK_SHIFT_DOWN = 0x10000000;
constexpr DWORD CMIC_MASK_CONTROL_DOWN = 0x40000000;
constexpr DWORD CMIC_MASK_PTINVOKE = 0x20000000;

// A verb field holds either text or, below 0x10000, a command offset.
constexpr bool IS_INTRESOURCE(const void* value) { return reinterpret_cast<UINT_PTR>(value) < 0x10000; }
inline LPCSTR MakeVerbOffsetA(UINT offset) { return reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(offset)); }
inline LPCWSTR MakeVerbOffsetW(UINT offset) { return reinterpret_cast<LPCWSTR>(static_cast<UINT_PTR>(offset)); }

struct CMINVOKECOMMANDINFO {
  DWORD cbSize = sizeof(CMINVOKECOMMANDINFO);
  DWORD fMask = 0;
  HWND hwnd = nullptr;
  LPCSTR lpVerb = nullptr;
  LPCSTR lpParameters = nullptr;
  LPCSTR lpDirectory = nullptr;
  int nShow = 0;
  DWORD dwHotKey = 0;
  HANDLE hIcon = nullptr;
};

// The wide fields are read when CMIC_MASK_UNICODE is set and cbSize covers them.
struct CMINVOKECOMMANDINFOEX : CMINVOKECOMMANDINFO {
  CMINVOKECOMMANDINFOEX() { cbSize = sizeof(CMINVOKECOMMANDINFOEX); }
  LPCSTR lpTitle = nullptr;
  LPCWSTR lpVerbW = nullptr;
  LPCWSTR lpParametersW = nullptr;
  LPCWSTR lpDirectoryW = nullptr;
  LPCWSTR lpTitleW = nullptr;
  POINT ptInvoke;
};

class IContextMenu : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("000214E4-0000-0000-C000-000000000046");
  // Inserts the menu's commands at `index` of `menu` with ids from `first_id` to `last_id`;
  // answers, as its code, the largest offset used plus one.
  virtual HRESULT QueryContextMenu(HMENU menu, UINT index, UINT first_id, UINT last_id, UINT flags) = 0;
  // The record is a CMINVOKECOMMANDINFO or, by its size, a CMINVOKECOMMANDINFOEX.
  virtual HRESULT InvokeCommand(CMINVOKECOMMANDINFO* info) = 0;
  // The verb or help text of an offset the menu added; `name` is WCHAR* for the wide kinds.
  virtual HRESULT GetCommandString(UINT_PTR command, UINT kind, UINT* reserved, LPSTR name, UINT size) = 0;
};

// Owner-drawn menus; the shell's own menus do not offer these.
class IContextMenu2 : public IContextMenu {
 public:
  static constexpr IID iid = MakeGuid("000214F4-0000-0000-C000-000000000046");
  virtual HRESULT HandleMenuMsg(UINT message, WPARAM wparam, LPARAM lparam) = 0;
};

class IContextMenu3 : public IContextMenu2 {
 public:
  static constexpr IID iid = MakeGuid("BCFCE0A0-EC17-11D0-8D10-00A0C90F2719");
  virtual HRESULT HandleMenuMsg2(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) = 0;
};

}  // namespace win
