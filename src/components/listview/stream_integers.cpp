#include "components/listview/stream_integers.h"

namespace dashtune::listview {

std::int32_t ReadInteger(TStream* S) {
  std::uint8_t bytes[4];
  S->ReadBuffer(bytes, 4);
  const std::uint32_t value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
  return static_cast<std::int32_t>(value);
}

void WriteInteger(TStream* S, std::int32_t Value) {
  const auto value = static_cast<std::uint32_t>(Value);
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                 static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  S->WriteBuffer(bytes, 4);
}

void RequireBytesLeft(TStream* S, std::int64_t Count) {
  const std::int64_t position = S->GetPosition();
  const std::int64_t size = S->GetSize();
  if (Count < 0 || position < 0 || size - position < Count) throw EReadError(std::string(sysconst::SReadError));
}

std::int32_t ReadCount(TStream* S, std::int64_t ElementSize) {
  const std::int32_t count = ReadInteger(S);
  if (count < 0) throw EReadError(std::string(sysconst::SReadError));
  RequireBytesLeft(S, count * ElementSize);
  return count;
}

}  // namespace dashtune::listview
