// Text files: writing, appending and rewriting, I/O result codes, a full device.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "classlib/textfile.h"

namespace dashtune {
namespace {

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "textfile_" + std::to_string(::getpid()) + "_" + name;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

long FileSize(const std::string& path) {
  struct stat info{};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

TEST(TextFileTest, WritesGoThroughA512ByteBuffer) {
  std::string path = TempPath("buffer.txt");
  TTextFileWriter file;
  file.Rewrite(path);
  file.Write(std::string(511, 'a'));
  EXPECT_EQ(FileSize(path), 0);
  file.Write("b");
  EXPECT_EQ(FileSize(path), 512);
  file.WriteLn("tail");
  EXPECT_EQ(FileSize(path), 512);
  file.Close();
  EXPECT_EQ(file.IOResult(), 0);
  EXPECT_EQ(ReadFile(path), std::string(511, 'a') + "b" + "tail\n");
  std::remove(path.c_str());
}

TEST(TextFileTest, AppendAddsAtTheEndAndRewriteStartsAnew) {
  std::string path = TempPath("append.txt");
  TTextFileWriter file;
  file.Rewrite(path);
  file.WriteLn("first");
  file.Close();
  file.Append(path);
  file.WriteLn("second");
  file.Close();
  EXPECT_EQ(ReadFile(path), "first\nsecond\n");
  file.Rewrite(path);
  file.Write("new");
  file.Close();
  EXPECT_EQ(file.IOResult(), 0);
  EXPECT_EQ(ReadFile(path), "new");
  std::remove(path.c_str());
}

TEST(TextFileTest, FailuresSetIoResultCodes) {
  struct Case {
    const char* what;
    std::function<void(TTextFileWriter&)> run;
    int code;
  };
  const std::string missing_file = TempPath("absent.txt");
  const std::string missing_folder = TempPath("no_such_folder/file.txt");
  const Case cases[] = {
      {"append to a missing file", [&](TTextFileWriter& f) { f.Append(missing_file); }, kIoFileNotFound},
      {"create in a missing folder", [&](TTextFileWriter& f) { f.Rewrite(missing_folder); }, kIoPathNotFound},
      {"create over a folder", [&](TTextFileWriter& f) { f.Rewrite(::testing::TempDir()); }, kIoAccessDenied},
      {"write to no file", [](TTextFileWriter& f) { f.Write("x"); }, kIoFileNotOpen},
      {"close no file", [](TTextFileWriter& f) { f.Close(); }, kIoFileNotOpen},
  };
  for (const Case& c : cases) {
    TTextFileWriter file;
    c.run(file);
    EXPECT_EQ(file.IOResult(), c.code) << c.what;
    EXPECT_EQ(file.IOResult(), 0) << c.what << ": reading the result clears it";
  }
}

TEST(TextFileTest, FullDeviceReportsWriteError) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  TTextFileWriter file;
  file.Append("/dev/full");
  file.Write(std::string(600, 'x'));
  file.Close();
  EXPECT_EQ(file.IOResult(), kIoDiskWriteError);
}

}  // namespace
}  // namespace dashtune
