// This file talks to the kernel's own termios2 structures, so it includes only the kernel's
// headers and not the C library's <termios.h>, whose definitions clash with them.
#include "platform/comm/line_settings.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace win::comm {
namespace {

int GetTermios(int fd, termios2& tio) { return ioctl(fd, TCGETS2, &tio) == 0 ? 0 : errno; }

int SetTermios(int fd, const termios2& tio) { return ioctl(fd, TCSETS2, &tio) == 0 ? 0 : errno; }

tcflag_t DataBitsFlag(std::uint8_t bits) {
  switch (bits) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

std::uint8_t DataBitsOf(tcflag_t cflag) {
  switch (cflag & CSIZE) {
    case CS5:
      return 5;
    case CS6:
      return 6;
    case CS7:
      return 7;
    default:
      return 8;
  }
}

tcflag_t ParityFlags(LineParity parity) {
  switch (parity) {
    case LineParity::Odd:
      return PARENB | PARODD;
    case LineParity::Even:
      return PARENB;
    case LineParity::Mark:
      return PARENB | CMSPAR | PARODD;
    case LineParity::Space:
      return PARENB | CMSPAR;
    case LineParity::None:
      break;
  }
  return 0;
}

LineParity ParityOf(tcflag_t cflag) {
  if ((cflag & PARENB) == 0) return LineParity::None;
  bool odd = (cflag & PARODD) != 0;
  if ((cflag & CMSPAR) != 0) return odd ? LineParity::Mark : LineParity::Space;
  return odd ? LineParity::Odd : LineParity::Even;
}

}  // namespace

int MakeRaw(int fd) {
  termios2 tio{};
  if (int error = GetTermios(fd, tio)) return error;
  tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
  tio.c_oflag &= ~OPOST;
  tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag |= CREAD | CLOCAL;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  return SetTermios(fd, tio);
}

int ApplyLineSettings(int fd, const LineSettings& settings) {
  termios2 tio{};
  if (int error = GetTermios(fd, tio)) return error;
  tio.c_cflag &= ~(CBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | DataBitsFlag(settings.dataBits) | ParityFlags(settings.parity);
  // termios has no one-and-a-half stop bits; the UART uses them for 5 data bits when asked for two.
  if (settings.stopBits != LineStopBits::One) tio.c_cflag |= CSTOPB;
  if (settings.rtsCtsFlow) tio.c_cflag |= CRTSCTS;
  tio.c_ispeed = settings.baud;
  tio.c_ospeed = settings.baud;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  if (settings.xonXoffOutput) tio.c_iflag |= IXON;
  if (settings.xonXoffInput) tio.c_iflag |= IXOFF;
  tio.c_cc[VSTART] = settings.xonChar;
  tio.c_cc[VSTOP] = settings.xoffChar;
  return SetTermios(fd, tio);
}

int ReadLineSettings(int fd, LineSettings& settings) {
  termios2 tio{};
  if (int error = GetTermios(fd, tio)) return error;
  settings.baud = tio.c_ospeed;
  settings.dataBits = DataBitsOf(tio.c_cflag);
  settings.parity = ParityOf(tio.c_cflag);
  settings.stopBits = (tio.c_cflag & CSTOPB) != 0 ? LineStopBits::Two : LineStopBits::One;
  settings.rtsCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
  settings.xonXoffOutput = (tio.c_iflag & IXON) != 0;
  settings.xonXoffInput = (tio.c_iflag & IXOFF) != 0;
  settings.xonChar = tio.c_cc[VSTART];
  settings.xoffChar = tio.c_cc[VSTOP];
  return 0;
}

int SetRs485(int fd, bool on) {
  serial_rs485 rs485{};
  if (on) rs485.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
  return ioctl(fd, TIOCSRS485, &rs485) == 0 ? 0 : errno;
}

bool ReadLineCounters(int fd, LineCounters& counters) {
  serial_icounter_struct icount{};
  if (ioctl(fd, TIOCGICOUNT, &icount) != 0) return false;
  counters.overrun = static_cast<std::uint32_t>(icount.overrun);
  counters.parity = static_cast<std::uint32_t>(icount.parity);
  counters.frame = static_cast<std::uint32_t>(icount.frame);
  counters.brk = static_cast<std::uint32_t>(icount.brk);
  counters.bufferOverrun = static_cast<std::uint32_t>(icount.buf_overrun);
  return true;
}

}  // namespace win::comm
