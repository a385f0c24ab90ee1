#include "classlib/filer.h"

namespace dashtune {

namespace {

void WriteByte(TStream* stream, std::uint8_t value) { stream->WriteBuffer(&value, 1); }

std::uint8_t ReadByte(TStream* stream) {
  std::uint8_t value = 0;
  stream->ReadBuffer(&value, 1);
  return value;
}

void WriteCount(TStream* stream, std::int64_t count) {
  if (count > INT32_MAX) throw EWriteError(std::string(sysconst::SWriteError));
  const auto value = static_cast<std::uint32_t>(count);
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                 static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  stream->WriteBuffer(bytes, 4);
}

// A byte count that the rest of the stream holds.
std::int32_t ReadCount(TStream* stream) {
  std::uint8_t bytes[4];
  stream->ReadBuffer(bytes, 4);
  const auto count = static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes[0]) | bytes[1] << 8 |
                                               bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24);
  if (count < 0 || stream->GetSize() - stream->GetPosition() < count)
    throw EReadError(std::string(sysconst::SReadError));
  return count;
}

}  // namespace

void TWriter::WriteProperties(TPersistent* Instance) {
  Instance->DefineProperties(this);
  WriteByte(GetStream(), 0);
}

void TWriter::DefineBinaryProperty(const std::string& Name, const TStreamProc&, const TStreamProc& WriteData,
                                   bool HasData) {
  if (!HasData) return;
  if (Name.empty() || Name.size() > 255) throw EWriteError(sysconst::SInvalidPropertyName, {Name});
  // The count goes before the bytes: they are gathered first.
  TMemoryStream data;
  WriteData(&data);
  TStream* stream = GetStream();
  WriteByte(stream, static_cast<std::uint8_t>(Name.size()));
  stream->WriteBuffer(Name.data(), static_cast<int>(Name.size()));
  WriteByte(stream, kBinaryValue);
  WriteCount(stream, data.GetSize());
  if (data.GetSize() > 0) stream->WriteBuffer(data.GetMemory(), static_cast<int>(data.GetSize()));
}

void TReader::ReadProperties(TPersistent* Instance) {
  TStream* stream = GetStream();
  for (std::uint8_t length = ReadByte(stream); length != 0; length = ReadByte(stream)) {
    property_name_.assign(length, '\0');
    stream->ReadBuffer(property_name_.data(), length);
    property_read_ = false;
    Instance->DefineProperties(this);
    if (!property_read_) throw EReadError(sysconst::SUnknownProperty, {property_name_});
  }
}

void TReader::DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData, const TStreamProc&, bool) {
  if (property_read_ || Name != property_name_) return;
  property_read_ = true;
  TStream* stream = GetStream();
  if (ReadByte(stream) != kBinaryValue) throw EReadError(std::string(sysconst::SInvalidPropertyValue));
  const std::int32_t count = ReadCount(stream);
  TMemoryStream data;
  data.SetSize(count);
  if (count > 0) stream->ReadBuffer(data.GetMemory(), count);
  data.SetPosition(0);
  ReadData(&data);
}

}  // namespace dashtune
