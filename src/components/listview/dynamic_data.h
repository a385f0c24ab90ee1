// The data record of stored items, groups and columns: growable per-column arrays with a
// default for every index beyond the end, streamed after the member's record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "classlib/streams.h"
#include "components/listview/listview_types.h"

namespace dashtune {

class TTouchDynamicDataHelper : public TObject {
 public:
  static constexpr int kNoImage = -1;

  WideString GetCaption(int Index) const { return Read(captions_, Index, WideString()); }
  void SetCaption(int Index, const WideString& Value) { Write(captions_, Index, Value, WideString()); }
  int GetDetail(int Index) const { return Read(details_, Index, 0); }
  void SetDetail(int Index, int Value) { Write(details_, Index, Value, 0); }
  int GetImageIndex(int Index) const { return Read(image_indexes_, Index, kNoImage); }
  void SetImageIndex(int Index, int Value) { Write(image_indexes_, Index, Value, kNoImage); }
  int GetOverlayIndex(int Index) const { return Read(overlay_indexes_, Index, kNoImage); }
  void SetOverlayIndex(int Index, int Value) { Write(overlay_indexes_, Index, Value, kNoImage); }
  int GetCaptionCount() const { return static_cast<int>(captions_.size()); }

  // Reads the arrays written by SaveToStream; each array takes the stored length. Counts and
  // lengths are checked against the bytes left first: a short or bad record raises EReadError.
  virtual void LoadFromStream(TStream* S, int Version);
  virtual void SaveToStream(TStream* S);

 protected:
  template <class T>
  static T Read(const std::vector<T>& array, int index, T fallback) {
    return index >= 0 && static_cast<std::size_t>(index) < array.size() ? array[static_cast<std::size_t>(index)]
                                                                          : fallback;
  }
  template <class T>
  static void Write(std::vector<T>& array, int index, const T& value, const T& fill) {
    if (index < 0) return;
    const auto at = static_cast<std::size_t>(index);
    if (array.size() <= at) array.resize(at + 1, fill);
    array[at] = value;
  }
  static void LoadIntegers(TStream* S, std::vector<int>& array);
  static void SaveIntegers(TStream* S, const std::vector<int>& array);

 private:
  std::vector<WideString> captions_;
  std::vector<int> details_;
  std::vector<int> image_indexes_;
  std::vector<int> overlay_indexes_;
};

// The item's record adds group keys and state image indexes.
class TTouchItemDynamicDataHelper : public TTouchDynamicDataHelper {
 public:
  static constexpr std::uint32_t kNoGroupKey = 0xFFFF;

  std::uint32_t GetGroupKey(int Index) const {
    return static_cast<std::uint32_t>(Read(group_keys_, Index, static_cast<int>(kNoGroupKey)));
  }
  void SetGroupKey(int Index, std::uint32_t Value) {
    Write(group_keys_, Index, static_cast<int>(Value), static_cast<int>(kNoGroupKey));
  }
  int GetStateImageIndex(int Index) const { return Read(state_image_indexes_, Index, kNoImage); }
  void SetStateImageIndex(int Index, int Value) { Write(state_image_indexes_, Index, Value, kNoImage); }

  // State image indexes are read only from records of a version above 2.
  void LoadFromStream(TStream* S, int Version) override;
  void SaveToStream(TStream* S) override;

 private:
  std::vector<int> group_keys_;
  std::vector<int> state_image_indexes_;
};

// The captions and image indexes of a stored member kept in its data record (Data), streamed
// after the member's record.
template <class Base, class Data = TTouchDynamicDataHelper>
class TTouchStoredData : public Base {
 public:
  using Base::Base;

  WideString GetCaptions(int Column) override { return data_.GetCaption(Column); }
  void SetCaptions(int Column, const WideString& Value) override {
    data_.SetCaption(Column, Value);
    this->Invalidate(false);
  }
  TCommonImageIndexInteger GetImageIndexes(int Column) override { return data_.GetImageIndex(Column); }
  void SetImageIndexes(int Column, TCommonImageIndexInteger Value) override {
    data_.SetImageIndex(Column, Value);
    this->Invalidate(false);
  }
  TCommonImageIndexInteger GetImageOverlayIndexes(int Column) override { return data_.GetOverlayIndex(Column); }
  void SetImageOverlayIndexes(int Column, TCommonImageIndexInteger Value) override {
    data_.SetOverlayIndex(Column, Value);
    this->Invalidate(false);
  }
  void LoadFromStream(TStream* S, int& Version) override {
    Base::LoadFromStream(S, Version);
    data_.LoadFromStream(S, Version);
  }
  void SaveToStream(TStream* S, int Version) override {
    Base::SaveToStream(S, Version);
    data_.SaveToStream(S);
  }
  const Data& GetDataHelper() const { return data_; }

 protected:
  Data data_;
};

}  // namespace dashtune
