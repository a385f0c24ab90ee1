// The folder object behind every IShellFolder of this platform.
#pragma once

#include "platform/shell/details.h"
#include "platform/shell/namespace_model.h"
#include "platform/shell/shell_types.h"

#include <cstdint>
#include <optional>

namespace win {

class ShellFolderObject : public ComObject<IShellFolder2, IShellIcon, IPersistFolder> {
 public:
  // Takes a copy of `absolute`; `item` is what it names.
  ShellFolderObject(LPCITEMIDLIST absolute, shell_model::Item item);

  HRESULT QueryInterface(REFIID iid, void** object) override;

  // IShellFolder
  HRESULT ParseDisplayName(HWND owner, IBindCtx* context, LPWSTR name, ULONG* eaten, LPITEMIDLIST* list,
                           ULONG* attributes) override;
  HRESULT EnumObjects(HWND owner, DWORD flags, IEnumIDList** enumerator) override;
  HRESULT BindToObject(LPCITEMIDLIST list, IBindCtx* context, REFIID iid, void** object) override;
  HRESULT BindToStorage(LPCITEMIDLIST list, IBindCtx* context, REFIID iid, void** object) override;
  HRESULT CompareIDs(LPARAM column, LPCITEMIDLIST first, LPCITEMIDLIST second) override;
  HRESULT CreateViewObject(HWND owner, REFIID iid, void** object) override;
  HRESULT GetAttributesOf(UINT count, LPCITEMIDLIST* lists, ULONG* attributes) override;
  HRESULT GetUIObjectOf(HWND owner, UINT count, LPCITEMIDLIST* lists, REFIID iid, UINT* reserved,
                        void** object) override;
  HRESULT GetDisplayNameOf(LPCITEMIDLIST list, DWORD flags, STRRET* name) override;
  HRESULT SetNameOf(HWND owner, LPCITEMIDLIST list, LPCWSTR name, DWORD flags, LPITEMIDLIST* new_list) override;

  // IShellFolder2: the columns of shell_columns.h; failures past the folder's last column.
  HRESULT GetDefaultSearchGUID(GUID* guid) override;
  HRESULT EnumSearches(IUnknown** enumerator) override;
  HRESULT GetDefaultColumn(DWORD reserved, ULONG* sort, ULONG* display) override;
  HRESULT GetDefaultColumnState(UINT column, SHCOLSTATEF* flags) override;
  HRESULT GetDetailsEx(LPCITEMIDLIST list, const SHCOLUMNID* column, VARIANT* value) override;
  HRESULT GetDetailsOf(LPCITEMIDLIST list, UINT column, SHELLDETAILS* details) override;
  HRESULT MapColumnToSCID(UINT column, SHCOLUMNID* id) override;

  // IShellIcon
  HRESULT GetIconOf(LPCITEMIDLIST list, UINT flags, int* icon_index) override;

  // IPersistFolder
  HRESULT GetClassID(CLSID* clsid) override;
  HRESULT Initialize(LPCITEMIDLIST list) override;

  LPCITEMIDLIST AbsoluteList() const { return absolute_; }
  const shell_model::Item& Item() const { return item_; }
  // What a list relative to this folder names (its last ID's item).
  std::optional<shell_model::Item> ResolveRelative(LPCITEMIDLIST relative) const;
  // The same, for the many questions about one item in a row (its name, attributes, find data,
  // every details column): below a file-system folder, whose children resolve from their IDs
  // alone, the item this thread resolved last answers again for the same ID bytes. Nil when the
  // list names nothing; valid until this thread's next call.
  const shell_model::Item* ResolveRelativeOnce(LPCITEMIDLIST relative) const;

 private:
  // A parsing name as a list relative to this folder (absolute for the desktop); nullptr with the
  // last error set when the name names nothing below it.
  LPITEMIDLIST ParseBelow(std::u16string_view name) const;

  ~ShellFolderObject() override;

  LPITEMIDLIST absolute_;  // task-allocated, owned
  shell_model::Item item_;
  std::uint64_t serial_;  // never reused, unlike the object's address
};

// A folder object for an absolute list; E_FAIL when the list names no folder.
HRESULT MakeShellFolder(LPCITEMIDLIST absolute, IShellFolder** folder);

// CLSID of this platform's folders (what IPersist::GetClassID answers).
constexpr CLSID CLSID_ShellFSFolder = MakeGuid("F3364BA0-65B9-11CE-A9BA-00AA004AE837");

}  // namespace win
