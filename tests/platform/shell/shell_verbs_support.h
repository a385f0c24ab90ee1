// What the shell's verb tests share: owned lists, file bytes, running a verb of an items menu and
// the Trash's children.
#pragma once

#include "platform/com/com_init.h"
#include "platform/shell/context_menu.h"
#include "platform/shell/namespace_model.h"
#include "platform/shell/shell.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace win::shell_tests {

struct OwnedList {
  explicit OwnedList(LPITEMIDLIST value) : list(value) {}
  OwnedList(const OwnedList&) = delete;
  OwnedList& operator=(const OwnedList&) = delete;
  ~OwnedList() { CoTaskMemFree(list); }
  LPITEMIDLIST list;
};

inline std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs a verb of the items menu of `lists` in `folder`.
inline HRESULT RunItemsVerb(IShellFolder* folder, const std::vector<LPCITEMIDLIST>& lists, const char* verb) {
  ComPtr<IContextMenu> menu;
  const HRESULT made = folder->GetUIObjectOf(nullptr, static_cast<UINT>(lists.size()), const_cast<LPCITEMIDLIST*>(lists.data()),
                                             IContextMenu::iid, nullptr, reinterpret_cast<void**>(menu.GetAddressOf()));
  if (FAILED(made)) return made;
  CMINVOKECOMMANDINFO info;
  info.lpVerb = verb;
  return menu->InvokeCommand(&info);
}

// The Trash's children by parsing name, each with its relative list; `trash` is bound to the
// Trash folder they are relative to.
inline std::map<std::u16string, std::vector<BYTE>> TrashChildren(IShellFolder* desktop, ComPtr<IShellFolder>& trash) {
  const OwnedList trash_list(shell_model::ParseName(u"trash:///"));
  desktop->BindToObject(trash_list.list, nullptr, IShellFolder::iid, reinterpret_cast<void**>(trash.ReleaseAndGetAddressOf()));
  std::map<std::u16string, std::vector<BYTE>> children;
  ComPtr<IEnumIDList> enumerator;
  if (trash == nullptr || FAILED(trash->EnumObjects(nullptr, SHCONTF_NONFOLDERS, enumerator.GetAddressOf()))) return children;
  LPITEMIDLIST child = nullptr;
  while (enumerator->Next(1, &child, nullptr) == S_OK) {
    STRRET name;
    trash->GetDisplayNameOf(child, SHGDN_FORPARSING, &name);
    const auto* bytes = reinterpret_cast<const BYTE*>(child);
    children[std::u16string(name.pOleStr)] = std::vector<BYTE>(bytes, bytes + item_ids::ListSize(child));
    CoTaskMemFree(name.pOleStr);
    CoTaskMemFree(child);
  }
  return children;
}

}  // namespace win::shell_tests
