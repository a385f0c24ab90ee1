#include "platform/shell/shell_columns.h"

#include "platform/core/strings.h"
#include "platform/shell/file_info.h"
#include "platform/shell/places.h"
#include "platform/shell/shell.h"
#include "platform/shell/shell_texts.h"

#include <sys/statvfs.h>

#include <cstdio>
#include <ctime>

namespace win::shell_columns {
namespace {

using shell_model::Item;
using shell_model::Place;

constexpr SHCOLSTATEF kShown = SHCOLSTATE_ONBYDEFAULT;
constexpr SHCOLSTATEF kText = SHCOLSTATE_TYPE_STR;
constexpr SHCOLSTATEF kNumber = SHCOLSTATE_TYPE_INT;
constexpr SHCOLSTATEF kDate = SHCOLSTATE_TYPE_DATE;

constexpr Column kName{ColumnKind::Name, u"Name", LVCFMT_LEFT, kText | kShown, 30};
constexpr Column kSize{ColumnKind::Size, u"Size", LVCFMT_RIGHT, kNumber | kShown, 10};
constexpr Column kType{ColumnKind::Type, u"Type", LVCFMT_LEFT, kText | kShown, 20};
constexpr Column kModified{ColumnKind::Modified, u"Modified", LVCFMT_LEFT, kDate | kShown, 18};

constexpr Column kFileFolderColumns[] = {
    kName, kSize, kType, kModified,
    {ColumnKind::Attributes, u"Attributes", LVCFMT_LEFT, kText | kShown, 10},
    {ColumnKind::Created, u"Created", LVCFMT_LEFT, kDate, 18},
    {ColumnKind::Accessed, u"Accessed", LVCFMT_LEFT, kDate, 18}};
constexpr Column kDesktopColumns[] = {kName, kSize, kType, kModified};
constexpr Column kComputerColumns[] = {
    kName, kType, {ColumnKind::TotalSize, u"Total Size", LVCFMT_RIGHT, kNumber | kShown, 12},
    {ColumnKind::FreeSpace, u"Free Space", LVCFMT_RIGHT, kNumber | kShown, 12}};
constexpr Column kTrashColumns[] = {
    kName, {ColumnKind::OriginalLocation, u"Original Location", LVCFMT_LEFT, kText | kShown, 30},
    {ColumnKind::DateDeleted, u"Date Deleted", LVCFMT_LEFT, kDate | kShown, 18}, kSize, kType, kModified};

// Days from 1601-01-01 to 1899-12-30, where dates count from.
constexpr double kDateEpochDays = 109205.0;
constexpr double kTicksPerDay = 864000000000.0;

bool HasFileData(const Item& item) { return item_ids::HasSnapshot(item.id.kind); }

std::optional<FILETIME> TimeOf(const Item& item, ColumnKind kind) {
  if (!HasFileData(item)) return std::nullopt;
  const item_ids::FileSnapshot& snapshot = item.id.snapshot;
  switch (kind) {
    case ColumnKind::Modified: return snapshot.last_write;
    case ColumnKind::Created: return snapshot.creation;
    case ColumnKind::Accessed: return snapshot.last_access;
    default: return std::nullopt;
  }
}

// "2026-12-07T09:30:00", local time, as info files write it.
std::optional<FILETIME> DeletionTime(const Item& item) {
  if (item.place != Place::TrashEntry) return std::nullopt;
  std::tm parts{};
  int consumed = 0;
  if (std::sscanf(item.deletion_date.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                  &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &consumed) != 6 ||
      static_cast<std::size_t>(consumed) != item.deletion_date.size())
    return std::nullopt;
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  parts.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&parts);
  if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
  return file_info::UnixTimeToFileTime(seconds, 0);
}

std::optional<FILETIME> DateOf(const Item& item, ColumnKind kind) {
  return kind == ColumnKind::DateDeleted ? DeletionTime(item) : TimeOf(item, kind);
}

std::optional<ULONGLONG> SizeOf(const Item& item, ColumnKind kind) {
  if (kind == ColumnKind::Size)
    return HasFileData(item) && !shell_model::IsContainer(item) ? std::optional(item.id.snapshot.size) : std::nullopt;
  if (item.place != Place::Volume) return std::nullopt;
  struct statvfs info {};
  if (statvfs(item.path.c_str(), &info) != 0) return std::nullopt;
  const ULONGLONG fragment = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
  return fragment * (kind == ColumnKind::TotalSize ? info.f_blocks : info.f_bavail);
}

std::u16string AttributeLetters(const Item& item) {
  if (!HasFileData(item) || item.place != Place::FileSystem) return {};
  constexpr struct {
    DWORD attribute;
    char16_t letter;
  } kLetters[] = {{FILE_ATTRIBUTE_ARCHIVE, u'A'}, {FILE_ATTRIBUTE_HIDDEN, u'H'}, {FILE_ATTRIBUTE_READONLY, u'R'},
                  {FILE_ATTRIBUTE_SYSTEM, u'S'}, {FILE_ATTRIBUTE_COMPRESSED, u'C'}};
  std::u16string text;
  for (const auto& letter : kLetters)
    if ((item.id.snapshot.attributes & letter.attribute) != 0) text += letter.letter;
  return text;
}

std::u16string OriginalFolder(const Item& item) {
  if (item.place != Place::TrashEntry) return {};
  const std::size_t slash = item.original_path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return Utf8ToUtf16(slash == 0 ? std::string("/") : item.original_path.substr(0, slash));
}

// The name an item's type is told from, as bytes.
std::string_view OwnName(const Item& item) {
  if (item.place != Place::TrashEntry) return item.id.name;
  const std::string_view path = item.original_path.empty() ? item.id.name : item.original_path;
  return path.substr(path.find_last_of('/') + 1);
}

bool IsSize(ColumnKind kind) {
  return kind == ColumnKind::Size || kind == ColumnKind::TotalSize || kind == ColumnKind::FreeSpace;
}
bool IsDate(ColumnKind kind) {
  return kind == ColumnKind::Modified || kind == ColumnKind::Created || kind == ColumnKind::Accessed ||
         kind == ColumnKind::DateDeleted;
}

}  // namespace

std::span<const Column> ColumnsOf(const Item& folder) {
  switch (folder.place) {
    case Place::Desktop: return kDesktopColumns;
    case Place::Computer: return kComputerColumns;
    case Place::Trash: return kTrashColumns;
    case Place::Home:
    case Place::Volume:
    case Place::FileSystem: return shell_model::IsContainer(folder) ? std::span<const Column>(kFileFolderColumns) : std::span<const Column>();
    case Place::TrashEntry: return {};
  }
  return {};
}

std::optional<ColumnKind> KindOf(const SHCOLUMNID& id) {
  if (id.fmtid != FMTID_DashtuneColumns || id.pid == 0 || id.pid > static_cast<DWORD>(ColumnKind::FreeSpace) + 1)
    return std::nullopt;
  return static_cast<ColumnKind>(id.pid - 1);
}

SHCOLUMNID IdOf(ColumnKind kind) { return SHCOLUMNID{FMTID_DashtuneColumns, static_cast<DWORD>(kind) + 1}; }

std::u16string TypeText(const Item& item) {
  switch (item.place) {
    case Place::Desktop:
    case Place::Computer:
    case Place::Home:
    case Place::Trash: return u"System Folder";
    default: break;
  }
  const std::u16string& description = TypeDescriptionOf(item).wide;
  if (!description.empty()) return description;
  const std::string_view name = OwnName(item);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return u"File";
  std::string extension(name.substr(dot));
  for (char& c : extension)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return Utf8ToUtf16(extension) + u" File";
}

const places::TypeName& TypeDescriptionOf(const Item& item) {
  return places::TypeDescription(OwnName(item), shell_model::IsContainer(item));
}

std::u16string TextOf(const Item& item, ColumnKind kind) {
  if (IsSize(kind)) {
    const std::optional<ULONGLONG> size = SizeOf(item, kind);
    return size ? shell_texts::Kilobytes(*size) : std::u16string();
  }
  if (IsDate(kind)) {
    const std::optional<FILETIME> time = DateOf(item, kind);
    return time ? shell_texts::Time(*time) : std::u16string();
  }
  switch (kind) {
    case ColumnKind::Name: return shell_model::DisplayName(item);
    case ColumnKind::Type: return TypeText(item);
    case ColumnKind::Attributes: return AttributeLetters(item);
    case ColumnKind::OriginalLocation: return OriginalFolder(item);
    default: return {};
  }
}

VARIANT ValueOf(const Item& item, ColumnKind kind) {
  VARIANT value;
  if (IsSize(kind)) {
    if (const std::optional<ULONGLONG> size = SizeOf(item, kind)) value.vt = VT_UI8, value.ullVal = *size;
    return value;
  }
  if (IsDate(kind)) {
    FILETIME local;
    const std::optional<FILETIME> time = DateOf(item, kind);
    if (time && file_info::FileTimeValue(*time) != 0 && FileTimeToLocalFileTime(&*time, &local)) {
      value.vt = VT_DATE;
      value.date = static_cast<double>(file_info::FileTimeValue(local)) / kTicksPerDay - kDateEpochDays;
    }
    return value;
  }
  value.vt = VT_BSTR;
  value.bstrVal = TextOf(item, kind);
  return value;
}

}  // namespace win::shell_columns
