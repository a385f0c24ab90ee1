// What the folders hand out for dragging and dropping items: a data object carrying the items'
// "Shell IDList Array" (CIDA), and a drop target per folder that takes such a record and copies,
// moves or links what it names into the folder as "paste" does, never overwriting anything.
// Dropped into Trash, items are trashed (moving is the one effect it takes). Shell32's
// multi-file properties entry (export 716) shows the properties window for a data object's items.
#pragma once

#include "platform/ole/data_object.h"
#include "platform/ole/drag_drop.h"
#include "platform/shell/cida.h"
#include "platform/shell/file_operations.h"
#include "platform/shell/namespace_model.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace win {

inline constexpr WORD kShellExportMultiFileProperties = 716;

// A data object for `count` items of the folder at `folder` (lists relative to it, absolute for
// the desktop); E_INVALIDARG when one names nothing there.
HRESULT MakeItemsDataObject(LPCITEMIDLIST folder, const shell_model::Item& folder_item, UINT count,
                            LPCITEMIDLIST* lists, REFIID iid, void** object);

// The drop target of a folder; E_NOINTERFACE for an item nothing can be dropped into.
HRESULT MakeFolderDropTarget(const shell_model::Item& folder, REFIID iid, void** object);

namespace item_data {

// A copy of a global memory block's bytes; nothing when it cannot be locked.
std::optional<std::vector<BYTE>> BytesOf(HGLOBAL block);
// A new block holding the bytes; nullptr when there is no memory for it.
HGLOBAL GlobalWith(const void* bytes, std::size_t size);

// The record a data object carries, checked as paste checks the clipboard's; nothing when it
// carries none or a bad one.
std::optional<cida::Record> ReadRecord(IDataObject* data);

// The effect a drop into a folder takes: Ctrl and Shift link, Ctrl copies, Shift moves; without
// either the data's "Preferred DropEffect" when it offers one, else a move. An effect the source
// or the target does not allow gives way to the first allowed of move, copy and link.
DROPEFFECT ChooseEffect(DWORD key_state, DROPEFFECT allowed, std::optional<DROPEFFECT> preferred);

// Puts every source into the folder under its own or the first free numbered name; false (with
// `error`) when one could not go, the others still going.
bool TransferInto(const std::vector<shell_model::Item>& sources, const std::string& folder,
                  file_operations::Transfer how, DWORD& error);

}  // namespace item_data

// Shows the properties window for the items of the data object's record; E_INVALIDARG without
// a good record. `flags` must be 0.
HRESULT SHMultiFileProperties(IDataObject* data, DWORD flags);

}  // namespace win
