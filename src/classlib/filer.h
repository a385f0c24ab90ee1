// The filer of the class library's binary form: an object names its stored properties in
// DefineProperties, and a writer or a reader over a stream hands each one's bytes to the
// object's own write or read operation. Only properties of raw bytes are known here.
//
// The binary form of a property list: for each property its name (one length byte, 1 to 255,
// then the name's bytes), the value type kBinaryValue, a 4-byte little-endian byte count and the
// bytes; a zero length byte ends the list.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "classlib/classes.h"
#include "classlib/streams.h"

namespace dashtune {

namespace sysconst {
inline constexpr std::string_view SUnknownProperty = "Eigenschaft %s existiert nicht";
inline constexpr std::string_view SInvalidPropertyValue = "Ungültiger Eigenschaftswert";
inline constexpr std::string_view SInvalidPropertyName = "Ungültiger Eigenschaftsname %s";
}  // namespace sysconst

// Reads or writes the bytes of one binary property.
using TStreamProc = std::function<void(TStream* Stream)>;

class TFiler : public TObject {
 public:
  // The value type of a property of raw bytes.
  static constexpr std::uint8_t kBinaryValue = 10;

  explicit TFiler(TStream* Stream) : stream_(Stream) {}  // not owned; outlives the filer
  // A property kept as raw bytes: a writer writes it when HasData; a reader reads it when the
  // stream holds it.
  virtual void DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData,
                                    const TStreamProc& WriteData, bool HasData) = 0;

 protected:
  TStream* GetStream() const { return stream_; }

 private:
  TStream* stream_;
};

class TWriter : public TFiler {
 public:
  using TFiler::TFiler;
  // Writes the properties Instance defines, then the end of the list. A name that is empty or
  // longer than 255 bytes raises EWriteError.
  void WriteProperties(TPersistent* Instance);
  void DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData, const TStreamProc& WriteData,
                            bool HasData) override;
};

class TReader : public TFiler {
 public:
  using TFiler::TFiler;
  // Reads properties into Instance up to the end of the list. A property Instance does not
  // define, a value that is not raw bytes, or a byte count beyond the stream raises EReadError;
  // each read operation sees exactly its property's bytes.
  void ReadProperties(TPersistent* Instance);
  void DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData, const TStreamProc& WriteData,
                            bool HasData) override;

 private:
  std::string property_name_;  // the property whose value is next in the stream
  bool property_read_ = false;
};

}  // namespace dashtune
