// TNamespace's details columns: counts, titles, alignment and states of a folder's columns, and
// an item's cached texts in them.
#include "classlib/datetime.h"
#include "components/listview/common/common_shell.h"
#include "components/shell/error_mode.h"
#include "components/shell/namespace.h"
#include "components/shell/shell_utilities.h"
#include "platform/core/strings.h"
#include "platform/user/input_state.h"

#include <string>

namespace dashtune {
namespace {

// A count loop stops here; reaching it means the folder answers every index, which counts as 0.
constexpr int kMaxColumns = 1000;
constexpr int kDefaultColumnCount = 5;
constexpr const char16_t* kDefaultColumnTitles[] = {u"Name",     u"Size",     u"Type", u"Modified", u"Attributes",
                                                    u"Created",  u"Accessed", u"Path", u"DOS Name", u"Custom"};
constexpr char16_t kSystemFolder[] = u"System Folder";
constexpr char16_t kNoFileNameMark = 8;

template <class Answers>
int CountColumns(Answers answers) {
  int count = 0;
  while (count < kMaxColumns && answers(count)) ++count;
  return count == kMaxColumns ? 0 : count;
}

// Whether a details call succeeded; its text (freed from the record) when it did.
template <class Source>
bool DetailsText(Source* source, win::LPCITEMIDLIST list, int column, std::u16string* text, int* format = nullptr) {
  if (source == nullptr) return false;
  win::SHELLDETAILS details;
  if (win::FAILED(source->GetDetailsOf(list, static_cast<win::UINT>(column), &details))) return false;
  std::u16string value;
  const bool converted = common::StrRetToString(details.str, list, value);
  if (text != nullptr) *text = converted ? std::move(value) : std::u16string();
  if (format != nullptr) *format = details.fmt;
  return true;
}

TSHColumnStates StatesOf(win::SHCOLSTATEF flags) {
  TSHColumnStates states;
  const win::SHCOLSTATEF type = flags & win::SHCOLSTATE_TYPE_DATE;
  if ((flags & win::SHCOLSTATE_TYPE_STR) != 0) states.Include(TSHColumnState::csString);
  if ((flags & win::SHCOLSTATE_TYPE_INT) != 0) states.Include(TSHColumnState::csInteger);
  // The date type is both type bits together; either bit alone is a string or a number.
  if (type == win::SHCOLSTATE_TYPE_DATE) states.Include(TSHColumnState::csDate);
  if ((flags & win::SHCOLSTATE_ONBYDEFAULT) != 0) states.Include(TSHColumnState::csOnByDefault);
  if ((flags & win::SHCOLSTATE_SLOW) != 0) states.Include(TSHColumnState::csSlow);
  if ((flags & win::SHCOLSTATE_EXTENDED) != 0) states.Include(TSHColumnState::csExtended);
  if ((flags & win::SHCOLSTATE_SECONDARYUI) != 0) states.Include(TSHColumnState::csSecondaryUI);
  if ((flags & win::SHCOLSTATE_HIDDEN) != 0) states.Include(TSHColumnState::csHidden);
  return states;
}

std::u16string VariantText(const win::VARIANT& value) {
  switch (value.vt) {
    case win::VT_BSTR: return value.bstrVal;
    case win::VT_UI8: return win::Utf8ToUtf16(std::to_string(value.ullVal));
    case win::VT_DATE: return win::Utf8ToUtf16(FormatDateTime("", value.date));
    default: return {};
  }
}

template <class Interface>
win::ComPtr<Interface> QueryFolder(win::IShellFolder* folder) {
  win::ComPtr<Interface> result;
  if (folder != nullptr) folder->QueryInterface(Interface::iid, reinterpret_cast<void**>(result.GetAddressOf()));
  return result;
}

}  // namespace

win::ComPtr<win::IShellFolder2> TNamespace::ShellFolder2() {
  if (shell_folder2_ == nullptr && shell_folder2_possible_) {
    shell_folder2_ = QueryFolder<win::IShellFolder2>(ShellFolder());
    shell_folder2_possible_ = shell_folder2_ != nullptr;
  }
  return shell_folder2_;
}

win::ComPtr<win::IShellFolder2> TNamespace::ParentShellFolder2() {
  TNamespace* parent = ParentNamespace();
  return parent != nullptr ? parent->ShellFolder2() : nullptr;
}

win::ComPtr<win::IShellDetails> TNamespace::ShellDetailsInterface() {
  win::ComPtr<win::IShellDetails> details;
  if (win::IShellFolder* folder = ShellFolder())
    folder->CreateViewObject(win::GetActiveWindow(), win::IShellDetails::iid, reinterpret_cast<void**>(details.GetAddressOf()));
  return details;
}

win::ComPtr<win::IShellDetails> TNamespace::ParentShellDetailsInterface() {
  TNamespace* parent = ParentNamespace();
  return parent != nullptr ? parent->ShellDetailsInterface() : nullptr;
}

int TNamespace::DetailsSupportedColumns() {
  if (!column_count_) {
    int count = 0;
    if (const win::ComPtr<win::IShellFolder2> folder = ShellFolder2()) {
      count = CountColumns([&](int column) {
        win::SHCOLSTATEF flags = 0;
        return win::SUCCEEDED(folder->GetDefaultColumnState(static_cast<win::UINT>(column), &flags));
      });
      if (count < 1)
        count = CountColumns([&](int column) { return DetailsText(folder.Get(), nullptr, column, nullptr); });
    }
    if (count < 1) {
      if (const win::ComPtr<win::IShellDetails> details = ShellDetailsInterface())
        count = CountColumns([&](int column) { return DetailsText(details.Get(), nullptr, column, nullptr); });
    }
    column_count_ = count == 0 ? DetailsDefaultSupportedColumns() : count;
  }
  return *column_count_;
}

int TNamespace::DetailsDefaultSupportedColumns() { return kDefaultColumnCount; }

bool TNamespace::DetailsValidIndex(int Column) {
  TNamespace* parent = ParentNamespace();
  return Column >= 0 && parent != nullptr && Column < parent->DetailsSupportedColumns();
}

bool TNamespace::OwnColumnValid(int column) { return column >= 0 && column < DetailsSupportedColumns(); }

std::u16string TNamespace::DetailsColumnTitle(int Column) {
  if (!OwnColumnValid(Column)) return {};
  std::u16string title;
  const win::ComPtr<win::IShellFolder2> folder = ShellFolder2();
  if (DetailsText(folder.Get(), nullptr, Column, &title)) return title;
  const win::ComPtr<win::IShellDetails> details = ShellDetailsInterface();
  if (DetailsText(details.Get(), nullptr, Column, &title)) return title;
  return DetailsDefaultColumnTitle(Column);
}

std::u16string TNamespace::DetailsDefaultColumnTitle(int Column) {
  if (Column == -1) Column = 0;
  if (Column < 0 || Column >= static_cast<int>(std::size(kDefaultColumnTitles))) return {};
  return kDefaultColumnTitles[Column];
}

TAlignment TNamespace::DetailsAlignment(int Column) {
  if (!OwnColumnValid(Column)) return taLeftJustify;
  int format = win::LVCFMT_LEFT;
  const win::ComPtr<win::IShellFolder2> folder = ShellFolder2();
  const win::ComPtr<win::IShellDetails> details = ShellDetailsInterface();
  if (!DetailsText(folder.Get(), nullptr, Column, nullptr, &format) &&
      !DetailsText(details.Get(), nullptr, Column, nullptr, &format))
    return taLeftJustify;
  switch (format) {
    case win::LVCFMT_RIGHT: return taRightJustify;
    case win::LVCFMT_CENTER: return taCenter;
    default: return taLeftJustify;
  }
}

TSHColumnStates TNamespace::DetailsGetDefaultColumnState(int Column) {
  if (!OwnColumnValid(Column)) return {};
  column_states_.resize(static_cast<std::size_t>(DetailsSupportedColumns()));
  std::optional<TSHColumnStates>& cached = column_states_[static_cast<std::size_t>(Column)];
  if (!cached) {
    win::SHCOLSTATEF flags = 0;
    const win::ComPtr<win::IShellFolder2> folder = ShellFolder2();
    if (folder != nullptr && win::SUCCEEDED(folder->GetDefaultColumnState(static_cast<win::UINT>(Column), &flags)))
      cached = StatesOf(flags);
    else
      cached = TSHColumnStates{TSHColumnState::csOnByDefault};
  }
  return *cached;
}

std::vector<win::WORD> TNamespace::DetailsSupportedVisibleColumns() {
  std::vector<win::WORD> columns;
  const int count = DetailsSupportedColumns();
  for (int column = 0; column < count; ++column)
    if (DetailsGetDefaultColumnState(column).Contains(TSHColumnState::csOnByDefault) && !DetailsColumnTitle(column).empty())
      columns.push_back(static_cast<win::WORD>(column));
  return columns;
}

TNamespace::ColumnDetail* TNamespace::DetailRecord(int column) {
  if (!DetailsValidIndex(column)) return nullptr;
  if (!column_details_built_) {
    column_details_.assign(static_cast<std::size_t>(ParentNamespace()->DetailsSupportedColumns()), ColumnDetail{});
    column_details_built_ = true;
  }
  // The parent's count is cached, but a parent made anew (after InvalidateNamespace) may count
  // differently: never index past the records.
  if (static_cast<std::size_t>(column) >= column_details_.size()) return nullptr;
  return &column_details_[static_cast<std::size_t>(column)];
}

std::u16string TNamespace::DetailsOf(int Column) {
  if (file_gone_ || IsDesktop() || ParentShellFolder() == nullptr) return {};
  ColumnDetail* record = DetailRecord(Column);
  if (record == nullptr) return {};
  if (record->text_cached) return record->text;
  const shell::ErrorModeScope errors_off;
  std::u16string text;
  const win::ComPtr<win::IShellFolder2> folder2 = ParentShellFolder2();
  // The older details interface is only asked for when the folder's own answer is missing.
  if (!DetailsText(folder2.Get(), relative_pidl_, Column, &text)) {
    const win::ComPtr<win::IShellDetails> details = ParentShellDetailsInterface();
    // A folder offering only the older interface keeps its failed answer empty.
    if (!DetailsText(details.Get(), relative_pidl_, Column, &text) && (folder2 != nullptr || details == nullptr))
      text = DetailsDefaultOf(Column);
  }
  record->text = std::move(text);
  record->text_cached = true;
  return record->text;
}

std::u16string TNamespace::DetailsOfEx(int Column) {
  const win::ComPtr<win::IShellFolder2> folder2 = ParentShellFolder2();
  TNamespace* parent = ParentNamespace();
  if (file_gone_ || folder2 == nullptr || parent == nullptr) return {};
  const TSHColumnStates states = parent->DetailsGetDefaultColumnState(Column);
  win::SHCOLUMNID id;
  win::VARIANT value;
  if (Column < 0 || win::FAILED(folder2->MapColumnToSCID(static_cast<win::UINT>(Column), &id)) ||
      win::FAILED(folder2->GetDetailsEx(relative_pidl_, &id, &value)))
    return DetailsDefaultOf(Column);
  std::u16string text;
  if (states.Contains(TSHColumnState::csString)) text = VariantText(value);
  else if (states.Contains(TSHColumnState::csInteger) && value.vt == win::VT_UI8) text = VariantText(value);
  win::VariantClear(&value);
  return text;
}

std::u16string TNamespace::DetailsDefaultOf(int Column) {
  switch (Column) {
    case -1:
    case 0: return NameInFolder();
    case 1: return SizeOfFileKB();
    case 2: {
      const win::WIN32_FIND_DATAW* data = FindData();
      const bool named = data != nullptr && data->cFileName[0] != 0 && data->cFileName[0] != kNoFileNameMark;
      return named && FileSystem() ? FileType() : std::u16string(kSystemFolder);
    }
    case 3: return LastWriteTime();
    case 4: return AttributesString();
    default: return {};
  }
}

bool TNamespace::DetailsSupported() {
  if (ParentNamespace() == nullptr) return false;
  return ParentShellFolder2() != nullptr || ShellDetailsInterface() != nullptr;
}

bool TNamespace::ThreadedDetailLoaded(int Column) {
  const ColumnDetail* record = DetailRecord(Column);
  return record != nullptr && record->loaded;
}

bool TNamespace::ThreadedDetailLoading(int Column) {
  const ColumnDetail* record = DetailRecord(Column);
  return record != nullptr && record->loading;
}

void TNamespace::SetThreadedDetailLoaded(int Column, bool Value) {
  if (ColumnDetail* record = DetailRecord(Column)) record->loaded = Value;
}

void TNamespace::SetThreadedDetailLoading(int Column, bool Value) {
  if (ColumnDetail* record = DetailRecord(Column)) record->loading = Value;
}

}  // namespace dashtune
