// The serial device layer's queue reads: data buffers and the status elements between them.
#include "components/serial/serial_win32.h"

#include <gtest/gtest.h>

#include <cstring>

namespace dashtune::serial {
namespace {

// The device layer's input queue, filled by the test instead of the I/O threads.
class QueueDispatcher : public TSerWin32Dispatcher {
 public:
  QueueDispatcher() : TSerWin32Dispatcher(nullptr) {}
  void PushData(const std::string& bytes) {
    auto buffer = std::make_unique<TDataBuffer>(256);
    std::memcpy(buffer->Data.get(), bytes.data(), bytes.size());
    buffer->BytesUsed = bytes.size();
    input_queue_.Push(std::move(buffer));
  }
  void PushStatus(win::DWORD mask) { input_queue_.Push(std::make_unique<TStatusBuffer>(mask)); }
  void PopFirst() { input_queue_.Pop(); }
};

std::string Read(QueueDispatcher& d, int count) {
  std::string bytes(static_cast<std::size_t>(count), '\0');
  int got = d.ReadCom(reinterpret_cast<std::uint8_t*>(bytes.data()), count);
  bytes.resize(static_cast<std::size_t>(got));
  return bytes;
}

TEST(SerialDeviceLayer, AStatusElementAtTheHeadHidesTheDataBehindIt) {
  QueueDispatcher d;
  d.PushStatus(win::EV_CTS);
  d.PushData("hello");
  EXPECT_EQ(d.InQueueCount(), 0);
  EXPECT_EQ(Read(d, 10), "");
  d.PopFirst();
  EXPECT_EQ(d.InQueueCount(), 5);
}

TEST(SerialDeviceLayer, ReadsSpanDataBuffersAndStopAtAStatusElement) {
  QueueDispatcher d;
  d.PushData("abc");
  d.PushData("defg");
  d.PushStatus(win::EV_RING);
  d.PushData("xyz");
  EXPECT_EQ(d.InQueueCount(), 7);
  EXPECT_EQ(Read(d, 2), "ab");
  EXPECT_EQ(d.InQueueCount(), 5);
  EXPECT_EQ(Read(d, 10), "cdefg");
  EXPECT_EQ(d.InQueueCount(), 0);
  d.PopFirst();
  EXPECT_EQ(Read(d, 10), "xyz");
}

TEST(SerialDeviceLayer, TheCountStopsAtWhatTheDispatchRingTakesAndReadsStillGetEverything) {
  QueueDispatcher d;
  std::string sent;
  for (int i = 0; i < 40; ++i) {
    std::string block(256, static_cast<char>('A' + i % 26));
    d.PushData(block);
    sent += block;
  }
  EXPECT_EQ(d.InQueueCount(), static_cast<int>(kDispatchBufferSize));
  std::string got = Read(d, 10000);
  got += Read(d, 1000);
  EXPECT_TRUE(got == sent);
  EXPECT_EQ(d.InQueueCount(), 0);
}

TEST(SerialDeviceLayer, AnEmptyQueueReadsNothing) {
  QueueDispatcher d;
  EXPECT_EQ(d.InQueueCount(), 0);
  EXPECT_EQ(Read(d, 4), "");
  EXPECT_EQ(d.OutBufUsed(), 0);
}

}  // namespace
}  // namespace dashtune::serial
