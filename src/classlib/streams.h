// Streams: TStream (the abstract byte stream with checked reads and writes), TMemoryStream and
// TFileStream.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/sysutils.h"
#include "platform/core/types.h"

namespace dashtune {

namespace sysconst {
inline constexpr std::string_view SReadError = "Stream-Lesefehler";
inline constexpr std::string_view SWriteError = "Stream-Schreibfehler";
inline constexpr std::string_view SFCreateError = "Datei %s kann nicht erstellt werden";
inline constexpr std::string_view SFOpenError = "Datei %s kann nicht geöffnet werden";
inline constexpr std::string_view SMemoryStreamError = "Nicht genügend Speicher für die Erweiterung eines Memory-Streams";
inline constexpr std::string_view SStreamSetSize = "Stream-Größe kann nicht geändert werden";
}  // namespace sysconst

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};
class EFCreateError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EFilerError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EReadError : public EFilerError {
 public:
  using EFilerError::EFilerError;
};
class EWriteError : public EFilerError {
 public:
  using EFilerError::EFilerError;
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
 public:
  // Reads up to Count bytes; answers how many were read (0 at the end). Negative counts read 0.
  virtual int Read(void* buffer, int count) = 0;
  // Writes up to Count bytes; answers how many were written.
  virtual int Write(const void* buffer, int count) = 0;
  // Moves the position; answers the new position, or -1 when the stream cannot seek there.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  // Read and Write for exactly Count bytes: a short read raises EReadError, a short write
  // EWriteError.
  void ReadBuffer(void* buffer, int count);
  void WriteBuffer(const void* buffer, int count);

  std::int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
  virtual std::int64_t GetSize();
  // The base cannot change its size and raises EStreamError.
  virtual void SetSize(std::int64_t size);

  // Copies Count bytes from Source's position (Count 0: all of Source from its start); answers
  // the count. Short reads and writes raise as ReadBuffer and WriteBuffer.
  std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// A stream over a block of memory that grows as it is written.
class TMemoryStream : public TStream {
 public:
  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  // Positions beyond the end are allowed (a write there fills the gap with zeros); before the
  // start answers -1 and leaves the position.
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t GetSize() override { return static_cast<std::int64_t>(data_.size()); }
  // A position beyond the new size moves to the new end.
  void SetSize(std::int64_t size) override;

  // The bytes of the stream; valid until the size changes.
  std::uint8_t* GetMemory() { return data_.data(); }
  const std::uint8_t* GetMemory() const { return data_.data(); }
  void Clear();

  // Replace the contents with all of Stream (from its start) or of the file, position 0.
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& file_name);
  // Write all of the contents, whatever the position.
  void SaveToStream(TStream& stream);
  void SaveToFile(const std::string& file_name);

 private:
  std::vector<std::uint8_t> data_;
  std::int64_t position_ = 0;
};

// A stream over a kernel handle that ReadFile and WriteFile serve (a comm device): reads answer
// what the device holds, writes what it took. Devices cannot seek: Seek answers -1 (the
// position stays unknown) and the size cannot be set. The handle stays the caller's.
class THandleStream : public TStream {
 public:
  explicit THandleStream(win::HANDLE handle) : handle_(handle) {}

  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

  win::HANDLE GetHandle() const { return handle_; }

 private:
  win::HANDLE handle_;
};

// File modes of TFileStream: one access mode, optionally or-ed with a share mode, or fmCreate.
inline constexpr unsigned fmOpenRead = 0x0000;
inline constexpr unsigned fmOpenWrite = 0x0001;
inline constexpr unsigned fmOpenReadWrite = 0x0002;
inline constexpr unsigned fmShareExclusive = 0x0010;
inline constexpr unsigned fmShareDenyWrite = 0x0020;
inline constexpr unsigned fmShareDenyNone = 0x0040;
inline constexpr unsigned fmCreate = 0xFF00;

// A stream over a file. fmCreate creates the file anew (or empties it) for reading and writing;
// failure raises EFCreateError; the other modes open an existing file and raise EFOpenError.
// Share modes are accepted and not enforced.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& file_name, unsigned mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  // Failure raises EStreamError.
  void SetSize(std::int64_t size) override;

  const std::string& GetFileName() const { return file_name_; }

 private:
  std::string file_name_;
  int descriptor_ = -1;
};

}  // namespace dashtune
