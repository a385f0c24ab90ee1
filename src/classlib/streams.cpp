#include "classlib/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/comm/comm.h"

namespace dashtune {

namespace {

// Repeats transfer(bytes done, bytes left) until `count` bytes have moved, the file ends or the
// call fails (an interrupted call is repeated); answers the bytes moved.
template <typename Transfer>
int TransferAll(int count, const Transfer& transfer) {
  int total = 0;
  while (total < count) {
    const ssize_t n = transfer(total, static_cast<std::size_t>(count - total));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += static_cast<int>(n);
  }
  return total;
}

}  // namespace

void TStream::ReadBuffer(void* buffer, int count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError(std::string(sysconst::SReadError));
}

void TStream::WriteBuffer(const void* buffer, int count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError(std::string(sysconst::SWriteError));
}

std::int64_t TStream::GetSize() {
  std::int64_t position = Seek(0, TSeekOrigin::soCurrent);
  std::int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(position, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(std::int64_t size) {
  (void)size;
  throw EStreamError(std::string(sysconst::SStreamSetSize));
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  constexpr int kChunk = 61440;
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  if (count < 0) throw EReadError(std::string(sysconst::SReadError));
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::int64_t>(count, kChunk)));
  for (std::int64_t left = count; left > 0;) {
    int chunk = static_cast<int>(std::min<std::int64_t>(left, kChunk));
    source.ReadBuffer(buffer.data(), chunk);
    WriteBuffer(buffer.data(), chunk);
    left -= chunk;
  }
  return count;
}

int TMemoryStream::Read(void* buffer, int count) {
  std::int64_t available = GetSize() - position_;
  if (count <= 0 || available <= 0) return 0;
  int n = static_cast<int>(std::min<std::int64_t>(count, available));
  std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

int TMemoryStream::Write(const void* buffer, int count) {
  if (count <= 0) return 0;
  std::int64_t end = position_ + count;
  if (end > GetSize()) SetSize(end);
  std::memcpy(data_.data() + position_, buffer, static_cast<std::size_t>(count));
  position_ = end;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = origin == TSeekOrigin::soBeginning ? 0 : (origin == TSeekOrigin::soCurrent ? position_ : GetSize());
  if (offset > std::numeric_limits<std::int32_t>::max() || offset < std::numeric_limits<std::int32_t>::min()) return -1;
  std::int64_t target = base + offset;
  if (target < 0 || target > std::numeric_limits<std::int32_t>::max()) return -1;
  position_ = target;
  return position_;
}

void TMemoryStream::SetSize(std::int64_t size) {
  if (size < 0 || size > std::numeric_limits<std::int32_t>::max()) {
    throw EStreamError(std::string(sysconst::SMemoryStreamError));
  }
  try {
    data_.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    throw EStreamError(std::string(sysconst::SMemoryStreamError));
  }
  position_ = std::min(position_, size);
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream) {
  stream.SetPosition(0);
  std::int64_t size = stream.GetSize();
  SetSize(size);
  if (size > 0) stream.ReadBuffer(data_.data(), static_cast<int>(size));
  position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& file_name) {
  TFileStream file(file_name, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TMemoryStream::SaveToStream(TStream& stream) {
  if (!data_.empty()) stream.WriteBuffer(data_.data(), static_cast<int>(data_.size()));
}

void TMemoryStream::SaveToFile(const std::string& file_name) {
  TFileStream file(file_name, fmCreate);
  SaveToStream(file);
}

int THandleStream::Read(void* buffer, int count) {
  if (count <= 0) return 0;
  win::DWORD read = 0;
  if (!win::ReadFile(handle_, buffer, static_cast<win::DWORD>(count), &read, nullptr)) return 0;
  return static_cast<int>(read);
}

int THandleStream::Write(const void* buffer, int count) {
  if (count <= 0) return 0;
  win::DWORD written = 0;
  if (!win::WriteFile(handle_, buffer, static_cast<win::DWORD>(count), &written, nullptr)) return 0;
  return static_cast<int>(written);
}

std::int64_t THandleStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  (void)offset;
  (void)origin;
  return -1;
}

TFileStream::TFileStream(const std::string& file_name, unsigned mode) : file_name_(file_name) {
  if (mode == fmCreate) {
    descriptor_ = ::open(file_name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor_ < 0) throw EFCreateError(sysconst::SFCreateError, {file_name});
    return;
  }
  int flags = O_CLOEXEC;
  switch (mode & 0x3) {
    case fmOpenWrite: flags |= O_WRONLY; break;
    case fmOpenReadWrite: flags |= O_RDWR; break;
    default: flags |= O_RDONLY; break;
  }
  descriptor_ = ::open(file_name.c_str(), flags);
  if (descriptor_ >= 0) {
    struct stat info{};
    // A folder opens for reading on this platform; it is no file, so refuse it here.
    if (::fstat(descriptor_, &info) != 0 || S_ISDIR(info.st_mode)) {
      ::close(descriptor_);
      descriptor_ = -1;
    }
  }
  if (descriptor_ < 0) throw EFOpenError(sysconst::SFOpenError, {file_name});
}

TFileStream::~TFileStream() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

int TFileStream::Read(void* buffer, int count) {
  return TransferAll(count, [&](int done, std::size_t left) {
    return ::read(descriptor_, static_cast<char*>(buffer) + done, left);
  });
}

int TFileStream::Write(const void* buffer, int count) {
  return TransferAll(count, [&](int done, std::size_t left) {
    return ::write(descriptor_, static_cast<const char*>(buffer) + done, left);
  });
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET : (origin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END);
  return static_cast<std::int64_t>(::lseek(descriptor_, static_cast<off_t>(offset), whence));
}

void TFileStream::SetSize(std::int64_t size) {
  if (size < 0 || ::ftruncate(descriptor_, static_cast<off_t>(size)) != 0) {
    throw EStreamError(std::string(sysconst::SStreamSetSize));
  }
  if (GetPosition() > size) Seek(size, TSeekOrigin::soBeginning);
}

}  // namespace dashtune
