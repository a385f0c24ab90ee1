// Interfaces a folder may offer for its items beyond the folder, icon, tip and menu interfaces:
// icon overlays, icon extraction, browser frame options, associations and categories. This
// platform's folders offer none of them: asking for one (QueryInterface, GetUIObjectOf,
// CreateViewObject) answers E_NOINTERFACE.
#pragma once

#include "platform/shell/details.h"
#include "platform/shell/shell_types.h"

namespace win {

// Registry keys: this platform has no registry, so a key is always null.
struct HKEY__;
using HKEY = HKEY__*;

class IShellIconOverlay : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("7D688A70-C613-11D0-999B-00C04FD655E1");
  virtual HRESULT GetOverlayIndex(LPCITEMIDLIST list, int* index) = 0;
  virtual HRESULT GetOverlayIconIndex(LPCITEMIDLIST list, int* icon_index) = 0;
};

// The icon extractors; the character type makes the wide and narrow forms.
template <class Char>
class IExtractIconT : public IUnknown {
 public:
  virtual HRESULT GetIconLocation(UINT flags, Char* icon_file, UINT size, int* index, UINT* out_flags) = 0;
  virtual HRESULT Extract(const Char* icon_file, UINT index, HICON* large, HICON* small, UINT icon_sizes) = 0;
};

class IExtractIconA : public IExtractIconT<CHAR> {
 public:
  static constexpr IID iid = MakeGuid("000214EB-0000-0000-C000-000000000046");
};

class IExtractIconW : public IExtractIconT<WCHAR> {
 public:
  static constexpr IID iid = MakeGuid("000214FA-0000-0000-C000-000000000046");
};

class IBrowserFrameOptions : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("10DF43C8-1DBE-11D3-8B34-006097DF5BD4");
  virtual HRESULT GetFrameOptions(DWORD mask, DWORD* options) = 0;
};

class IQueryAssociations : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("C46CA590-3C3F-11D2-BEE6-0000F805CA57");
  virtual HRESULT Init(DWORD flags, LPCWSTR association, HKEY program_key, HWND owner) = 0;
  virtual HRESULT GetString(DWORD flags, DWORD kind, LPCWSTR extra, LPWSTR out, DWORD* size) = 0;
  virtual HRESULT GetKey(DWORD flags, DWORD kind, LPCWSTR extra, HKEY* key) = 0;
  virtual HRESULT GetData(DWORD flags, DWORD kind, LPCWSTR extra, void* out, DWORD* size) = 0;
  virtual HRESULT GetEnum(DWORD flags, DWORD kind, LPCWSTR extra, REFIID iid, void** object) = 0;
};

class ICategoryProvider : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("9AF64809-5864-4C26-A720-C1F78C086EE3");
  virtual HRESULT CanCategorizeOnSCID(const SHCOLUMNID* column) = 0;
  virtual HRESULT GetDefaultCategory(GUID* category, SHCOLUMNID* column) = 0;
  virtual HRESULT GetCategoryForSCID(const SHCOLUMNID* column, GUID* category) = 0;
  virtual HRESULT EnumCategories(IUnknown** enumerator) = 0;
  virtual HRESULT GetCategoryName(const GUID* category, LPWSTR name, UINT size) = 0;
  virtual HRESULT CreateCategory(const GUID* category, REFIID iid, void** object) = 0;
};

}  // namespace win
