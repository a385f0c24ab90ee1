#include "components/listview/dynamic_data.h"

#include "components/listview/stream_integers.h"

namespace dashtune {

using listview::ReadCount;
using listview::ReadInteger;
using listview::WriteInteger;

void TTouchDynamicDataHelper::LoadIntegers(TStream* S, std::vector<int>& array) {
  const std::int32_t count = ReadCount(S, 4);
  std::vector<int> loaded(static_cast<std::size_t>(count));
  for (int& value : loaded) value = ReadInteger(S);
  array = std::move(loaded);
}

void TTouchDynamicDataHelper::SaveIntegers(TStream* S, const std::vector<int>& array) {
  WriteInteger(S, static_cast<std::int32_t>(array.size()));
  for (int value : array) WriteInteger(S, value);
}

void TTouchDynamicDataHelper::LoadFromStream(TStream* S, int) {
  // Every caption takes at least its 4-byte length.
  const std::int32_t count = ReadCount(S, 4);
  std::vector<WideString> captions(static_cast<std::size_t>(count));
  for (WideString& caption : captions) {
    const std::int32_t length = ReadCount(S, 2);
    caption.resize(static_cast<std::size_t>(length));
    for (char16_t& unit : caption) {
      std::uint8_t bytes[2];
      S->ReadBuffer(bytes, 2);
      unit = static_cast<char16_t>(bytes[0] | (bytes[1] << 8));
    }
  }
  captions_ = std::move(captions);
  LoadIntegers(S, details_);
  LoadIntegers(S, image_indexes_);
  LoadIntegers(S, overlay_indexes_);
}

void TTouchDynamicDataHelper::SaveToStream(TStream* S) {
  WriteInteger(S, static_cast<std::int32_t>(captions_.size()));
  for (const WideString& caption : captions_) {
    WriteInteger(S, static_cast<std::int32_t>(caption.size()));
    std::vector<std::uint8_t> bytes;
    bytes.reserve(caption.size() * 2);
    for (char16_t unit : caption) {
      bytes.push_back(static_cast<std::uint8_t>(unit));
      bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    if (!bytes.empty()) S->WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
  }
  SaveIntegers(S, details_);
  SaveIntegers(S, image_indexes_);
  SaveIntegers(S, overlay_indexes_);
}

void TTouchItemDynamicDataHelper::LoadFromStream(TStream* S, int Version) {
  TTouchDynamicDataHelper::LoadFromStream(S, Version);
  LoadIntegers(S, group_keys_);
  if (Version > 2) LoadIntegers(S, state_image_indexes_);
}

void TTouchItemDynamicDataHelper::SaveToStream(TStream* S) {
  TTouchDynamicDataHelper::SaveToStream(S);
  SaveIntegers(S, group_keys_);
  SaveIntegers(S, state_image_indexes_);
}

}  // namespace dashtune
