// Details columns of shell folders: the column records and the folder interfaces that answer them.
#pragma once

#include "platform/com/variant.h"
#include "platform/shell/shell_types.h"

namespace win {

// Column states (SHCOLSTATE_).
using SHCOLSTATEF = DWORD;
constexpr SHCOLSTATEF SHCOLSTATE_TYPE_STR = 0x0001;
constexpr SHCOLSTATEF SHCOLSTATE_TYPE_INT = 0x0002;
constexpr SHCOLSTATEF SHCOLSTATE_TYPE_DATE = 0x0003;
constexpr SHCOLSTATEF SHCOLSTATE_ONBYDEFAULT = 0x0010;
constexpr SHCOLSTATEF SHCOLSTATE_SLOW = 0x0020;
constexpr SHCOLSTATEF SHCOLSTATE_EXTENDED = 0x0040;
constexpr SHCOLSTATEF SHCOLSTATE_SECONDARYUI = 0x0080;
constexpr SHCOLSTATEF SHCOLSTATE_HIDDEN = 0x0100;

// Column alignment (LVCFMT_).
constexpr int LVCFMT_LEFT = 0;
constexpr int LVCFMT_RIGHT = 1;
constexpr int LVCFMT_CENTER = 2;

// A column's identifier: a property set and a property in it.
struct SHCOLUMNID {
  GUID fmtid{};
  DWORD pid = 0;
};
static_assert(sizeof(SHCOLUMNID) == 20);

// A column's title (for a null item) or an item's text in it.
struct SHELLDETAILS {
  int fmt = LVCFMT_LEFT;
  int cxChar = 0;
  STRRET str;
};

class IShellFolder2 : public IShellFolder {
 public:
  static constexpr IID iid = MakeGuid("93F2F68C-1D1B-11D3-A30E-00C04F79ABD1");
  virtual HRESULT GetDefaultSearchGUID(GUID* guid) = 0;
  virtual HRESULT EnumSearches(IUnknown** enumerator) = 0;
  virtual HRESULT GetDefaultColumn(DWORD reserved, ULONG* sort, ULONG* display) = 0;
  // Fails for a column past the folder's last.
  virtual HRESULT GetDefaultColumnState(UINT column, SHCOLSTATEF* flags) = 0;
  virtual HRESULT GetDetailsEx(LPCITEMIDLIST list, const SHCOLUMNID* column, VARIANT* value) = 0;
  // With a null list: the column's title and alignment.
  virtual HRESULT GetDetailsOf(LPCITEMIDLIST list, UINT column, SHELLDETAILS* details) = 0;
  virtual HRESULT MapColumnToSCID(UINT column, SHCOLUMNID* id) = 0;
};

class IShellDetails : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("000214EC-0000-0000-C000-000000000046");
  virtual HRESULT GetDetailsOf(LPCITEMIDLIST list, UINT column, SHELLDETAILS* details) = 0;
  virtual HRESULT ColumnClick(UINT column) = 0;
};

// The property set of this platform's column identifiers; the property is the column's kind
// (shell_columns::ColumnKind) plus one.
constexpr GUID FMTID_DashtuneColumns = MakeGuid("6D5C2A3E-8B1F-4E27-9A4D-3C0F51E7B2A9");

}  // namespace win
