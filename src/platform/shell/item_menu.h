// The context menus the folders hand out: for a set of items (GetUIObjectOf) and for a folder
// itself (CreateViewObject), with the verbs behind them.
//
// Items of a menu: "open" (default), "Open With <name>" per application GIO recommends for a
// single file, "cut", "copy", "paste" and "pastelink" on a folder one can write into, "delete",
// "rename" under CMF_CANRENAME (the caller does the renaming), "properties"; CMF_DEFAULTONLY
// adds "open" alone. Verbs run synchronously: "copy" and "cut" put the items' CIDA and the
// preferred drop effect on the clipboard; "paste" and "pastelink" copy, move or link what the
// clipboard's CIDA names into the folder (a pasted cut empties the clipboard); "delete" trashes
// files and removes trash entries; "properties" shows the properties window.
#pragma once

#include "platform/shell/context_menu.h"
#include "platform/shell/namespace_model.h"

namespace win {

// A menu for `count` items of the folder at `folder` (lists relative to it); E_INVALIDARG when
// one names nothing there. Answers IContextMenu only.
HRESULT MakeItemsMenu(LPCITEMIDLIST folder, const shell_model::Item& folder_item, UINT count, LPCITEMIDLIST* lists,
                      REFIID iid, void** object);

// The menu of the folder itself: "open", "paste", "pastelink", "properties".
HRESULT MakeFolderMenu(LPCITEMIDLIST folder, const shell_model::Item& folder_item, REFIID iid, void** object);

}  // namespace win
