#include "classlib/strings.h"

#include <algorithm>

namespace dashtune {
namespace {

// Runs change between BeginUpdate and EndUpdate, ending the update also when change throws.
template <typename Change>
void WithinUpdate(TStrings& strings, const Change& change) {
  strings.BeginUpdate();
  try {
    change();
  } catch (...) {
    strings.EndUpdate();
    throw;
  }
  strings.EndUpdate();
}

int CompareText(std::string_view s1, std::string_view s2) {
  std::size_t n = std::min(s1.size(), s2.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char a = static_cast<unsigned char>(s1[i]);
    unsigned char b = static_cast<unsigned char>(s2[i]);
    if (a >= 'a' && a <= 'z') a = static_cast<unsigned char>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<unsigned char>(b - 32);
    if (a != b) return a < b ? -1 : 1;
  }
  return s1.size() == s2.size() ? 0 : (s1.size() < s2.size() ? -1 : 1);
}

int CompareStr(std::string_view s1, std::string_view s2) {
  int result = s1.compare(s2);
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

[[noreturn]] void ListIndexError(int index) {
  throw EStringListError(sysconst::SListIndexError, {index});
}

}  // namespace

void TStrings::Put(int index, const std::string& value) {
  TObject* object = GetObject(index);
  Delete(index);
  InsertObject(index, value, object);
}

TObject* TStrings::GetObject(int index) const {
  (void)index;
  return nullptr;
}

void TStrings::PutObject(int index, TObject* object) {
  (void)index;
  (void)object;
}

void TStrings::Exchange(int index1, int index2) {
  WithinUpdate(*this, [&] {
    std::string text1 = Get(index1);
    TObject* object1 = GetObject(index1);
    Put(index1, Get(index2));
    PutObject(index1, GetObject(index2));
    Put(index2, text1);
    PutObject(index2, object1);
  });
}

int TStrings::IndexOf(std::string_view value) const {
  for (int i = 0; i < GetCount(); ++i) {
    if (CompareStrings(Get(i), value) == 0) return i;
  }
  return -1;
}

int TStrings::Add(const std::string& value) {
  int index = GetCount();
  Insert(index, value);
  return index;
}

int TStrings::AddObject(const std::string& value, TObject* object) {
  int index = Add(value);
  PutObject(index, object);
  return index;
}

void TStrings::InsertObject(int index, const std::string& value, TObject* object) {
  Insert(index, value);
  PutObject(index, object);
}

void TStrings::AddStrings(const TStrings& strings) {
  WithinUpdate(*this, [&] {
    for (int i = 0; i < strings.GetCount(); ++i) AddObject(strings.Get(i), strings.GetObject(i));
  });
}

int TStrings::IndexOfObject(const TObject* object) const {
  for (int i = 0; i < GetCount(); ++i) {
    if (GetObject(i) == object) return i;
  }
  return -1;
}

std::string TStrings::GetText() const {
  std::string text;
  for (int i = 0; i < GetCount(); ++i) {
    text += Get(i);
    text += sLineBreak;
  }
  return text;
}

void TStrings::SetText(std::string_view text) {
  WithinUpdate(*this, [&] {
    Clear();
    std::size_t pos = 0;
    while (pos < text.size()) {
      std::size_t end = text.find_first_of("\r\n", pos);
      if (end == std::string_view::npos) end = text.size();
      Add(std::string(text.substr(pos, end - pos)));
      pos = end;
      if (pos < text.size() && text[pos] == '\r') ++pos;
      if (pos < text.size() && text[pos] == '\n') ++pos;
    }
  });
}

void TStrings::Assign(const TPersistent* Source) {
  if (const auto* strings = dynamic_cast<const TStrings*>(Source)) {
    if (strings == this) return;
    WithinUpdate(*this, [&] {
      Clear();
      AddStrings(*strings);
    });
    return;
  }
  TPersistent::Assign(Source);
}

void TStrings::BeginUpdate() {
  if (update_count_ == 0) SetUpdateState(true);
  ++update_count_;
}

void TStrings::EndUpdate() {
  if (update_count_ > 0 && --update_count_ == 0) SetUpdateState(false);
}

int TStrings::CompareStrings(std::string_view s1, std::string_view s2) const { return CompareText(s1, s2); }

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= GetCount()) ListIndexError(index);
}

std::string TStringList::Get(int index) const {
  CheckIndex(index);
  return items_[static_cast<std::size_t>(index)].text;
}

void TStringList::Put(int index, const std::string& value) {
  if (sorted_) throw EStringListError(std::string(sysconst::SSortedListError));
  CheckIndex(index);
  Changing();
  items_[static_cast<std::size_t>(index)].text = value;
  Changed();
}

TObject* TStringList::GetObject(int index) const {
  CheckIndex(index);
  return items_[static_cast<std::size_t>(index)].object;
}

void TStringList::PutObject(int index, TObject* object) {
  CheckIndex(index);
  Changing();
  items_[static_cast<std::size_t>(index)].object = object;
  Changed();
}

int TStringList::Add(const std::string& value) {
  int index = GetCount();
  if (sorted_ && Find(value, index)) {
    switch (duplicates_) {
      case TDuplicates::dupIgnore: return index;
      case TDuplicates::dupError: throw EStringListError(std::string(sysconst::SDuplicateString));
      case TDuplicates::dupAccept: break;
    }
  }
  InsertItem(index, value, nullptr);
  return index;
}

void TStringList::Insert(int index, const std::string& value) {
  if (sorted_) throw EStringListError(std::string(sysconst::SSortedListError));
  if (index < 0 || index > GetCount()) ListIndexError(index);
  InsertItem(index, value, nullptr);
}

void TStringList::InsertItem(int index, const std::string& value, TObject* object) {
  Changing();
  items_.insert(items_.begin() + index, Item{value, object});
  Changed();
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Changed();
}

void TStringList::Exchange(int index1, int index2) {
  if (sorted_) throw EStringListError(std::string(sysconst::SSortedListError));
  CheckIndex(index1);
  CheckIndex(index2);
  Changing();
  std::swap(items_[static_cast<std::size_t>(index1)], items_[static_cast<std::size_t>(index2)]);
  Changed();
}

int TStringList::IndexOf(std::string_view value) const {
  if (!sorted_) return TStrings::IndexOf(value);
  int index = 0;
  return Find(value, index) ? index : -1;
}

bool TStringList::Find(std::string_view value, int& index) const {
  int low = 0;
  int high = GetCount() - 1;
  bool found = false;
  while (low <= high) {
    int middle = low + (high - low) / 2;
    int result = CompareStrings(items_[static_cast<std::size_t>(middle)].text, value);
    if (result < 0) {
      low = middle + 1;
    } else {
      high = middle - 1;
      if (result == 0) {
        found = true;
        // With duplicates ignored the match is unique; otherwise keep looking for the first.
        if (duplicates_ != TDuplicates::dupAccept) low = middle;
      }
    }
  }
  index = low;
  return found;
}

void TStringList::Sort() {
  Changing();
  std::stable_sort(items_.begin(), items_.end(),
                   [this](const Item& a, const Item& b) { return CompareStrings(a.text, b.text) < 0; });
  Changed();
}

void TStringList::SetSorted(bool value) {
  if (sorted_ == value) return;
  if (value) Sort();
  sorted_ = value;
}

void TStringList::SetCaseSensitive(bool value) {
  if (case_sensitive_ == value) return;
  case_sensitive_ = value;
  if (sorted_) Sort();
}

void TStringList::SetUpdateState(bool updating) {
  if (updating) {
    Changing();
  } else {
    Changed();
  }
}

int TStringList::CompareStrings(std::string_view s1, std::string_view s2) const {
  return case_sensitive_ ? CompareStr(s1, s2) : CompareText(s1, s2);
}

void TStringList::Changing() {
  if (GetUpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::Changed() {
  if (GetUpdateCount() == 0 && OnChange) OnChange(this);
}

}  // namespace dashtune
