// Line settings applied through termios: what the far side sees, raw mode, non-terminals refused.
#include "platform/comm/line_settings.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

namespace win::comm {
namespace {

// A pseudo-terminal pair: settings applied on the terminal side are read back from the
// controlling side, which shares them. A pseudo-terminal keeps speed, stop bits and flow
// control as given but always reports eight data bits without parity.
class PtyPair {
 public:
  PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
      slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
  }
  ~PtyPair() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }
  int Master() const { return master_; }
  int Slave() const { return slave_; }

 private:
  int master_ = -1;
  int slave_ = -1;
};

struct SettingsCase {
  std::uint32_t baud;
  std::uint8_t dataBits;
  LineParity parity;
  LineStopBits stopBits;
  bool rtsCts;
  bool xonOut;
  bool xonIn;
};

TEST(LineSettings, AppliedSettingsReachTheFarSide) {
  const SettingsCase cases[] = {
      {9600, 8, LineParity::None, LineStopBits::One, false, false, false},
      {115200, 8, LineParity::None, LineStopBits::One, false, false, false},
      {14400, 7, LineParity::Even, LineStopBits::Two, false, true, false},
      {56000, 8, LineParity::Odd, LineStopBits::One, true, false, false},
      {128000, 6, LineParity::Mark, LineStopBits::Two, false, true, true},
      {256000, 5, LineParity::Space, LineStopBits::One, true, false, true},
      {110, 8, LineParity::None, LineStopBits::Two, false, false, true},
  };
  PtyPair pty;
  ASSERT_GE(pty.Slave(), 0);
  ASSERT_EQ(MakeRaw(pty.Slave()), 0);
  for (const SettingsCase& c : cases) {
    LineSettings wanted;
    wanted.baud = c.baud;
    wanted.dataBits = c.dataBits;
    wanted.parity = c.parity;
    wanted.stopBits = c.stopBits;
    wanted.rtsCtsFlow = c.rtsCts;
    wanted.xonXoffOutput = c.xonOut;
    wanted.xonXoffInput = c.xonIn;
    wanted.xonChar = 0x21;
    wanted.xoffChar = 0x23;
    ASSERT_EQ(ApplyLineSettings(pty.Slave(), wanted), 0) << c.baud;
    LineSettings seen;
    ASSERT_EQ(ReadLineSettings(pty.Master(), seen), 0);
    EXPECT_EQ(seen.baud, c.baud);
    EXPECT_EQ(seen.stopBits, c.stopBits) << c.baud;
    EXPECT_EQ(seen.rtsCtsFlow, c.rtsCts) << c.baud;
    EXPECT_EQ(seen.xonXoffOutput, c.xonOut) << c.baud;
    EXPECT_EQ(seen.xonXoffInput, c.xonIn) << c.baud;
    EXPECT_EQ(seen.xonChar, 0x21);
    EXPECT_EQ(seen.xoffChar, 0x23);
  }
}

TEST(LineSettings, RawModePassesEveryByteUnchanged) {
  PtyPair pty;
  ASSERT_GE(pty.Slave(), 0);
  ASSERT_EQ(MakeRaw(pty.Slave()), 0);
  unsigned char sent[256];
  for (int i = 0; i < 256; ++i) sent[i] = static_cast<unsigned char>(i);
  ASSERT_EQ(write(pty.Master(), sent, sizeof sent), 256);
  unsigned char got[512];
  std::size_t total = 0;
  for (int tries = 0; tries < 200 && total < sizeof sent; ++tries) {
    ssize_t n = read(pty.Slave(), got + total, sizeof got - total);
    if (n > 0) total += static_cast<std::size_t>(n);
    if (n <= 0) usleep(1000);
  }
  ASSERT_EQ(total, sizeof sent);
  EXPECT_EQ(0, memcmp(sent, got, sizeof sent));
}

TEST(LineSettings, ANonTerminalIsRefused) {
  int fd = open("/dev/null", O_RDWR);
  ASSERT_GE(fd, 0);
  LineSettings settings;
  EXPECT_NE(MakeRaw(fd), 0);
  EXPECT_NE(ApplyLineSettings(fd, settings), 0);
  LineCounters counters;
  EXPECT_FALSE(ReadLineCounters(fd, counters));
  close(fd);
}

}  // namespace
}  // namespace win::comm
