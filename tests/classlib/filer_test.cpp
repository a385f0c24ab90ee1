// The filer: binary properties in the class library's binary form, byte for byte, round trips
// through a writer and a reader, and hostile property lists.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "classlib/filer.h"

namespace dashtune {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(TMemoryStream& stream) {
  const std::uint8_t* data = stream.GetMemory();
  return Bytes(data, data + stream.GetSize());
}

Bytes ReadAll(TStream* stream) {
  Bytes bytes(static_cast<std::size_t>(stream->GetSize() - stream->GetPosition()));
  if (!bytes.empty()) stream->ReadBuffer(bytes.data(), static_cast<int>(bytes.size()));
  return bytes;
}

// An object with two binary properties, "Alpha" and "Beta"; an empty one is not stored.
class TTwoBlobs : public TPersistent {
 public:
  void DefineProperties(TFiler* Filer) override {
    Define(Filer, "Alpha", alpha);
    Define(Filer, "Beta", beta);
  }
  Bytes alpha, beta;
  std::vector<std::string> reads;

 private:
  void Define(TFiler* filer, const std::string& name, Bytes& value) {
    filer->DefineBinaryProperty(
        name,
        [this, name, &value](TStream* s) {
          reads.push_back(name);
          value = ReadAll(s);
        },
        [&value](TStream* s) {
          if (!value.empty()) s->WriteBuffer(value.data(), static_cast<int>(value.size()));
        },
        !value.empty());
  }
};

TEST(Filer, WritesNameTypeCountAndBytesThenTheEnd) {
  TTwoBlobs blobs;
  blobs.alpha = {1, 2, 3};
  TMemoryStream stream;
  TWriter(&stream).WriteProperties(&blobs);
  // "Beta" is empty and not stored.
  EXPECT_EQ(BytesOf(stream), (Bytes{5, 'A', 'l', 'p', 'h', 'a', 10, 3, 0, 0, 0, 1, 2, 3, 0}));
}

TEST(Filer, ReadsBackWhatWasWritten) {
  TTwoBlobs saved;
  saved.alpha = {7};
  saved.beta.assign(300, 0xAB);
  TMemoryStream stream;
  TWriter(&stream).WriteProperties(&saved);
  stream.WriteBuffer("tail", 4);
  stream.SetPosition(0);
  TTwoBlobs loaded;
  TReader(&stream).ReadProperties(&loaded);
  EXPECT_EQ(loaded.alpha, saved.alpha);
  EXPECT_EQ(loaded.beta, saved.beta);
  EXPECT_EQ(loaded.reads, (std::vector<std::string>{"Alpha", "Beta"}));
  // The reader stops at the end of the list.
  EXPECT_EQ(ReadAll(&stream), (Bytes{'t', 'a', 'i', 'l'}));
}

TEST(Filer, HostileListsRaiseTheReadError) {
  const struct {
    const char* name;
    Bytes bytes;
    const char* message;
  } cases[] = {
      {"unknown property", {5, 'G', 'a', 'm', 'm', 'a', 10, 0, 0, 0, 0, 0}, "Eigenschaft Gamma existiert nicht"},
      {"not binary", {4, 'B', 'e', 't', 'a', 2, 0, 0, 0, 0, 0}, "Ungültiger Eigenschaftswert"},
      {"count beyond the stream", {4, 'B', 'e', 't', 'a', 10, 4, 0, 0, 0, 1, 2, 3}, "Stream-Lesefehler"},
      {"negative count", {4, 'B', 'e', 't', 'a', 10, 0xFF, 0xFF, 0xFF, 0xFF, 0}, "Stream-Lesefehler"},
      {"no end", {4, 'B', 'e', 't', 'a', 10, 1, 0, 0, 0, 9}, "Stream-Lesefehler"},
      {"short name", {9, 'B', 'e'}, "Stream-Lesefehler"},
      {"empty stream", {}, "Stream-Lesefehler"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryStream stream;
    if (!c.bytes.empty()) stream.WriteBuffer(c.bytes.data(), static_cast<int>(c.bytes.size()));
    stream.SetPosition(0);
    TTwoBlobs loaded;
    try {
      TReader(&stream).ReadProperties(&loaded);
      ADD_FAILURE() << "no error";
    } catch (const EReadError& error) {
      EXPECT_EQ(error.GetMessage(), c.message);
    }
  }
}

TEST(Filer, AReadOperationSeesOnlyItsOwnBytes) {
  // "Alpha" holds two bytes; the next property's bytes are out of its reach.
  const Bytes list = {5, 'A', 'l', 'p', 'h', 'a', 10, 2, 0, 0, 0, 1, 2, 4, 'B', 'e', 't', 'a', 10, 1, 0, 0, 0, 3, 0};
  TMemoryStream stream;
  stream.WriteBuffer(list.data(), static_cast<int>(list.size()));
  stream.SetPosition(0);
  TTwoBlobs loaded;
  TReader(&stream).ReadProperties(&loaded);
  EXPECT_EQ(loaded.alpha, (Bytes{1, 2}));
  EXPECT_EQ(loaded.beta, (Bytes{3}));
}

TEST(Filer, NamesMustFitTheirLengthByte) {
  class TNamed : public TPersistent {
   public:
    explicit TNamed(std::string name) : name_(std::move(name)) {}
    void DefineProperties(TFiler* Filer) override {
      Filer->DefineBinaryProperty(name_, nullptr, [](TStream* s) { s->WriteBuffer("x", 1); }, true);
    }

   private:
    std::string name_;
  };
  for (const std::string& name : {std::string(), std::string(256, 'n')}) {
    TNamed named(name);
    TMemoryStream stream;
    EXPECT_THROW(TWriter(&stream).WriteProperties(&named), EWriteError) << name.size();
  }
  TNamed longest(std::string(255, 'n'));
  TMemoryStream stream;
  TWriter(&stream).WriteProperties(&longest);
  EXPECT_EQ(stream.GetSize(), 1 + 255 + 1 + 4 + 1 + 1);
}

}  // namespace
}  // namespace dashtune
