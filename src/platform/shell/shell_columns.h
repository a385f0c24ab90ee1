// The details columns of each folder kind and an item's text and value in them, from the item's
// ID snapshot (no file access), the trash's info files and the volumes' free space.
//   file folders: Name, Size, Type, Modified, Attributes (on by default), Created, Accessed
//   the desktop:  Name, Size, Type, Modified
//   Computer:     Name, Type, Total Size, Free Space
//   Trash:        Name, Original Location, Date Deleted, Size, Type, Modified
#pragma once

#include "platform/com/variant.h"
#include "platform/shell/details.h"
#include "platform/shell/namespace_model.h"
#include "platform/shell/places.h"

#include <span>
#include <string>

namespace win::shell_columns {

enum class ColumnKind : DWORD {
  Name,
  Size,
  Type,
  Modified,
  Attributes,
  Created,
  Accessed,
  OriginalLocation,
  DateDeleted,
  TotalSize,
  FreeSpace,
};

struct Column {
  ColumnKind kind;
  const char16_t* title;
  int format;         // LVCFMT_
  SHCOLSTATEF state;  // SHCOLSTATE_
  int width;          // in characters
};

// The columns of a folder; none for items that hold nothing.
std::span<const Column> ColumnsOf(const shell_model::Item& folder);

// The column kind an identifier names; nothing for identifiers of other property sets.
std::optional<ColumnKind> KindOf(const SHCOLUMNID& id);
SHCOLUMNID IdOf(ColumnKind kind);

// An item's text in a column: sizes in kilobytes and times as the shell writes them
// (shell_texts), empty where the item has no such detail.
std::u16string TextOf(const shell_model::Item& item, ColumnKind kind);
// An item's value in a column: a string, a byte count (VT_UI8) or a local date (VT_DATE); an
// empty variant where the item has no such detail.
VARIANT ValueOf(const shell_model::Item& item, ColumnKind kind);

// The type text of an item: the content type's description, "Folder" for folders, "System
// Folder" for the virtual ones, otherwise the extension in capitals and " File".
std::u16string TypeText(const shell_model::Item& item);

// The content type's description of an item ("" when its name does not tell, "Folder" for
// folders). Types come from the item's own name: a trash entry's is the name it had, not the path
// of its trashed file.
const places::TypeName& TypeDescriptionOf(const shell_model::Item& item);

}  // namespace win::shell_columns
