// Streams: short reads and writes, memory, file and handle streams, open errors.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "classlib/streams.h"
#include "platform/comm/comm.h"
#include "platform/core/handles.h"

namespace dashtune {
namespace {

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "streams_" + std::to_string(::getpid()) + "_" + name;
}

// A stream that accepts or delivers at most Limit bytes per call: a device that is full or dry.
class TLimitedStream : public TMemoryStream {
 public:
  explicit TLimitedStream(int limit) : limit_(limit) {}
  int Read(void* buffer, int count) override { return TMemoryStream::Read(buffer, std::min(count, limit_)); }
  int Write(const void* buffer, int count) override {
    return TMemoryStream::Write(buffer, std::min(count, limit_));
  }

 private:
  int limit_;
};

TEST(StreamTest, ShortReadsRaiseReadError) {
  TMemoryStream stream;
  const char data[] = "abcdef";
  stream.WriteBuffer(data, 6);
  struct Case {
    std::int64_t position;
    int count;
    bool raises;
  };
  const Case cases[] = {{0, 6, false}, {0, 7, true}, {4, 2, false}, {5, 2, true}, {6, 1, true}, {100, 1, true}, {6, 0, false}};
  for (const Case& c : cases) {
    stream.SetPosition(c.position);
    char buffer[16] = {};
    if (c.raises) {
      try {
        stream.ReadBuffer(buffer, c.count);
        ADD_FAILURE() << "no exception at " << c.position << "+" << c.count;
      } catch (const EReadError& e) {
        EXPECT_EQ(e.GetMessage(), "Stream-Lesefehler");
      }
    } else {
      EXPECT_NO_THROW(stream.ReadBuffer(buffer, c.count));
      EXPECT_EQ(std::memcmp(buffer, data + c.position, static_cast<std::size_t>(c.count)), 0);
    }
  }
}

TEST(StreamTest, ShortWriteRaisesWriteError) {
  TLimitedStream stream(3);
  try {
    stream.WriteBuffer("abcdef", 6);
    FAIL();
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.GetMessage(), "Stream-Schreibfehler");
  }
  stream.SetPosition(0);
  char buffer[4];
  EXPECT_THROW(stream.ReadBuffer(buffer, 4), EReadError);  // only 3 delivered per call
}

TEST(MemoryStreamTest, SeekingAndGrowing) {
  TMemoryStream stream;
  EXPECT_EQ(stream.Seek(4, TSeekOrigin::soBeginning), 4);
  stream.WriteBuffer("xy", 2);
  EXPECT_EQ(stream.GetSize(), 6);
  EXPECT_EQ(std::vector<std::uint8_t>(stream.GetMemory(), stream.GetMemory() + 6),
            (std::vector<std::uint8_t>{0, 0, 0, 0, 'x', 'y'}));
  EXPECT_EQ(stream.Seek(-1, TSeekOrigin::soEnd), 5);
  EXPECT_EQ(stream.Seek(-10, TSeekOrigin::soCurrent), -1);
  EXPECT_EQ(stream.GetPosition(), 5);
  stream.SetSize(2);
  EXPECT_EQ(stream.GetPosition(), 2);
  EXPECT_THROW(stream.SetSize(-1), EStreamError);
}

TEST(MemoryStreamTest, CopyFromAndFileRoundTrip) {
  TMemoryStream source;
  std::vector<std::uint8_t> bytes(100000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  source.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
  TMemoryStream copy;
  EXPECT_EQ(copy.CopyFrom(source, 0), 100000);
  std::string path = TempPath("round_trip.bin");
  copy.SaveToFile(path);
  TMemoryStream loaded;
  loaded.LoadFromFile(path);
  ASSERT_EQ(loaded.GetSize(), 100000);
  EXPECT_EQ(std::memcmp(loaded.GetMemory(), bytes.data(), bytes.size()), 0);
  source.SetPosition(99990);
  EXPECT_THROW(copy.CopyFrom(source, 11), EReadError);
  std::remove(path.c_str());
}

TEST(FileStreamTest, OpenErrorsNameTheFile) {
  std::string missing = TempPath("missing/none.bin");
  try {
    TFileStream stream(missing, fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.GetMessage(), "Datei " + missing + " kann nicht geöffnet werden");
  }
  try {
    TFileStream stream(missing, fmCreate);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.GetMessage(), "Datei " + missing + " kann nicht erstellt werden");
  }
  EXPECT_THROW(TFileStream(::testing::TempDir(), fmOpenRead), EFOpenError);
}

TEST(FileStreamTest, WritesReadsAndTruncates) {
  std::string path = TempPath("file.bin");
  {
    TFileStream stream(path, fmCreate);
    stream.WriteBuffer("hello world", 11);
    EXPECT_EQ(stream.GetSize(), 11);
    stream.SetSize(5);
    EXPECT_EQ(stream.GetPosition(), 5);
  }
  std::ifstream peer(path, std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(peer)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "hello");
  TFileStream stream(path, fmOpenRead | fmShareDenyNone);
  char buffer[8] = {};
  EXPECT_EQ(stream.Read(buffer, 8), 5);
  EXPECT_THROW(stream.WriteBuffer("x", 1), EWriteError);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace dashtune

namespace dashtune {
namespace {

// A pseudo-terminal whose slave side the comm layer opens as COM port 77.
class HandleStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(::grantpt(master_), 0);
    ASSERT_EQ(::unlockpt(master_), 0);
    ::setenv("DASHTUNE_COM77", ::ptsname(master_), 1);
    handle_.Reset(win::CreateFileA("\\\\.\\COM77", win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr,
                                   win::OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(handle_);
  }
  void TearDown() override {
    handle_.Reset();
    ::unsetenv("DASHTUNE_COM77");
    if (master_ >= 0) ::close(master_);
  }

  // Reads from the master side until Count bytes came or two real seconds passed.
  std::string ReadMaster(std::size_t count) {
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
      pollfd fd{master_, POLLIN, 0};
      if (::poll(&fd, 1, 50) <= 0) continue;
      char buffer[64];
      ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }

  int master_ = -1;
  win::ScopedHandle handle_;
};

TEST_F(HandleStreamTest, IntegrationWritesReadsAndRaisesOnShortReads) {
  THandleStream stream(handle_.Get());
  stream.WriteBuffer("hello", 5);
  EXPECT_EQ(ReadMaster(5), "hello");

  ASSERT_EQ(::write(master_, "abc", 3), 3);
  std::string got;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (got.size() < 3 && std::chrono::steady_clock::now() < deadline) {
    char buffer[8];
    int n = stream.Read(buffer, static_cast<int>(sizeof buffer));
    got.append(buffer, static_cast<std::size_t>(n));
    if (n == 0) std::this_thread::yield();
  }
  EXPECT_EQ(got, "abc");
  char buffer[4];
  EXPECT_THROW(stream.ReadBuffer(buffer, 4), EReadError);  // nothing waiting
  EXPECT_EQ(stream.Seek(0, TSeekOrigin::soCurrent), -1);
}

TEST(HandleStreamClosedTest, InvalidHandleReadsAndWritesNothing) {
  THandleStream stream(win::INVALID_HANDLE_VALUE);
  char buffer[2] = {};
  EXPECT_EQ(stream.Read(buffer, 2), 0);
  EXPECT_THROW(stream.WriteBuffer("ab", 2), EWriteError);
}

}  // namespace
}  // namespace dashtune
