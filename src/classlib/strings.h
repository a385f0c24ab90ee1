// String lists: TStrings (the abstract list of strings with an object per line) and
// TStringList (the stored, optionally sorted list).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "classlib/classes.h"
#include "classlib/lists.h"

namespace dashtune {

// The line break of text produced by the class library.
inline constexpr std::string_view sLineBreak = "\n";

namespace sysconst {
inline constexpr std::string_view SDuplicateString = "Stringliste erlaubt keine Duplikate";
inline constexpr std::string_view SSortedListError = "Operation bei sortierten Stringlisten nicht erlaubt";
}  // namespace sysconst

class EStringListError : public Exception {
 public:
  using Exception::Exception;
};

class TStrings : public TPersistent {
 public:
  virtual int GetCount() const = 0;
  // An index outside 0..Count-1 raises EStringListError.
  virtual std::string Get(int index) const = 0;
  virtual void Put(int index, const std::string& value);
  // The object stored with a line (not owned); the base stores none and answers nil.
  virtual TObject* GetObject(int index) const;
  virtual void PutObject(int index, TObject* object);
  virtual void Insert(int index, const std::string& value) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual void Exchange(int index1, int index2);
  // Answers the index of the first line equal to Value (case-insensitively, or as the list
  // compares) or -1.
  virtual int IndexOf(std::string_view value) const;

  std::string operator[](int index) const { return Get(index); }

  // Appends a line and answers its index (a sorted list places it in order).
  virtual int Add(const std::string& value);
  int AddObject(const std::string& value, TObject* object);
  void InsertObject(int index, const std::string& value, TObject* object);
  void AddStrings(const TStrings& strings);
  int IndexOfObject(const TObject* object) const;

  // The lines, each followed by a line break. Setting splits at CR, LF or CR LF.
  std::string GetText() const;
  void SetText(std::string_view text);

  // Copies the lines and objects of another string list; other sources as TPersistent.
  void Assign(const TPersistent* Source) override;

  // Brackets of a bulk change; only the outermost pair tells the list (SetUpdateState).
  void BeginUpdate();
  void EndUpdate();
  int GetUpdateCount() const { return update_count_; }

 protected:
  virtual void SetUpdateState(bool updating) { (void)updating; }
  // Compares two lines as IndexOf does; the base ignores ASCII case.
  virtual int CompareStrings(std::string_view s1, std::string_view s2) const;

 private:
  int update_count_ = 0;
};

class TStringList : public TStrings {
 public:
  int GetCount() const override { return static_cast<int>(items_.size()); }
  std::string Get(int index) const override;
  void Put(int index, const std::string& value) override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* object) override;
  int Add(const std::string& value) override;
  // A sorted list refuses Insert, Put and Exchange with EStringListError.
  void Insert(int index, const std::string& value) override;
  void Delete(int index) override;
  void Clear() override;
  void Exchange(int index1, int index2) override;
  int IndexOf(std::string_view value) const override;

  // Binary search of a sorted list: true when found; Index is the match or the insertion point.
  bool Find(std::string_view value, int& index) const;
  void Sort();

  bool GetSorted() const { return sorted_; }
  void SetSorted(bool value);
  TDuplicates GetDuplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates value) { duplicates_ = value; }
  bool GetCaseSensitive() const { return case_sensitive_; }
  void SetCaseSensitive(bool value);

  // Raised around every change, unless inside BeginUpdate/EndUpdate; when assigned.
  TNotifyEvent OnChanging;
  TNotifyEvent OnChange;

 protected:
  void SetUpdateState(bool updating) override;
  int CompareStrings(std::string_view s1, std::string_view s2) const override;
  virtual void Changing();
  virtual void Changed();

 private:
  struct Item {
    std::string text;
    TObject* object = nullptr;  // not owned
  };
  void CheckIndex(int index) const;
  void InsertItem(int index, const std::string& value, TObject* object);

  std::vector<Item> items_;
  bool sorted_ = false;
  bool case_sensitive_ = false;
  TDuplicates duplicates_ = TDuplicates::dupIgnore;
};

}  // namespace dashtune
