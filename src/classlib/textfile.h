// A text file writer in the manner of the classic text-file routines: output goes through a
// 512-byte buffer, and failures do not raise but set an I/O result code that the caller reads
// with IOResult.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace dashtune {

// I/O result codes (the platform's error numbers).
inline constexpr int kIoFileNotFound = 2;
inline constexpr int kIoPathNotFound = 3;
inline constexpr int kIoTooManyOpenFiles = 4;
inline constexpr int kIoAccessDenied = 5;
inline constexpr int kIoDiskWriteError = 101;
inline constexpr int kIoFileNotOpen = 103;
inline constexpr int kIoDeviceError = 1117;

class TTextFileWriter {
 public:
  static constexpr std::size_t kBufferSize = 512;

  TTextFileWriter() = default;
  // Closes an open file; errors are lost then, so call Close to see them.
  ~TTextFileWriter();
  TTextFileWriter(const TTextFileWriter&) = delete;
  TTextFileWriter& operator=(const TTextFileWriter&) = delete;

  // Creates the file anew (emptying an existing one) for writing. An open file is closed first.
  void Rewrite(const std::string& file_name);
  // Opens an existing file for writing at its end; a missing file gives kIoFileNotFound.
  void Append(const std::string& file_name);
  // Text goes to the buffer, which is written out when full. Writing to a file that is not open
  // gives kIoFileNotOpen. After a failure, writes do nothing until IOResult is read.
  void Write(std::string_view text);
  void WriteLn(std::string_view text = {});
  // Writes out the buffer and closes the file; closing a file that is not open gives
  // kIoFileNotOpen.
  void Close();

  // The code of the first failure since the last call (0 for none), and clears it.
  int IOResult();
  bool IsOpen() const { return descriptor_ >= 0; }

 private:
  void Open(const std::string& file_name, int flags);
  void Flush();
  void Fail(int code);

  int descriptor_ = -1;
  std::array<char, kBufferSize> buffer_{};
  std::size_t used_ = 0;
  int io_result_ = 0;
};

}  // namespace dashtune
