#include "classlib/textfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "classlib/strings.h"

namespace dashtune {
namespace {

// The platform's error number for a failed open or write.
int IoCodeOf(int error, const std::string& file_name) {
  switch (error) {
    case ENOENT: {
      // A missing folder on the way is "path not found", a missing file "file not found".
      std::string::size_type slash = file_name.rfind('/');
      if (slash == std::string::npos || slash == 0) return kIoFileNotFound;
      struct stat info{};
      bool folder_exists = ::stat(file_name.substr(0, slash).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
      return folder_exists ? kIoFileNotFound : kIoPathNotFound;
    }
    case ENOTDIR: return kIoPathNotFound;
    case EACCES: case EPERM: case EROFS: case EISDIR: return kIoAccessDenied;
    case EMFILE: case ENFILE: return kIoTooManyOpenFiles;
    case ENOSPC: case EDQUOT: case EFBIG: return kIoDiskWriteError;
    default: return kIoDeviceError;
  }
}

}  // namespace

TTextFileWriter::~TTextFileWriter() {
  if (IsOpen()) Close();
}

void TTextFileWriter::Fail(int code) {
  if (io_result_ == 0) io_result_ = code;
}

void TTextFileWriter::Open(const std::string& file_name, int flags) {
  if (IsOpen()) Close();
  if (io_result_ != 0) return;
  descriptor_ = ::open(file_name.c_str(), flags | O_WRONLY | O_CLOEXEC, 0666);
  if (descriptor_ < 0) Fail(IoCodeOf(errno, file_name));
  used_ = 0;
}

void TTextFileWriter::Rewrite(const std::string& file_name) { Open(file_name, O_CREAT | O_TRUNC); }

void TTextFileWriter::Append(const std::string& file_name) { Open(file_name, O_APPEND); }

void TTextFileWriter::Flush() {
  std::size_t done = 0;
  while (done < used_) {
    ssize_t n = ::write(descriptor_, buffer_.data() + done, used_ - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Fail(n < 0 ? IoCodeOf(errno, {}) : kIoDiskWriteError);
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  used_ = 0;
}

void TTextFileWriter::Write(std::string_view text) {
  if (io_result_ != 0) return;
  if (!IsOpen()) {
    Fail(kIoFileNotOpen);
    return;
  }
  while (!text.empty() && io_result_ == 0) {
    std::size_t n = std::min(text.size(), buffer_.size() - used_);
    std::memcpy(buffer_.data() + used_, text.data(), n);
    used_ += n;
    text.remove_prefix(n);
    if (used_ == buffer_.size()) Flush();
  }
}

void TTextFileWriter::WriteLn(std::string_view text) {
  Write(text);
  Write(sLineBreak);
}

void TTextFileWriter::Close() {
  if (!IsOpen()) {
    Fail(kIoFileNotOpen);
    return;
  }
  if (io_result_ == 0) Flush();
  used_ = 0;
  if (::close(descriptor_) != 0) Fail(IoCodeOf(errno, {}));
  descriptor_ = -1;
}

int TTextFileWriter::IOResult() {
  int code = io_result_;
  io_result_ = 0;
  return code;
}

}  // namespace dashtune
