// The line settings a serial device applies through the kernel's termios2 interface, which
// carries any baud rate (BOTHER) where the classic interface knows only the standard ones.
#pragma once

#include <cstdint>

namespace win::comm {

enum class LineParity : std::uint8_t { None, Odd, Even, Mark, Space };
enum class LineStopBits : std::uint8_t { One, OneAndHalf, Two };

struct LineSettings {
  std::uint32_t baud = 9600;
  std::uint8_t dataBits = 8;
  LineParity parity = LineParity::None;
  LineStopBits stopBits = LineStopBits::One;
  bool rtsCtsFlow = false;    // hardware handshake in both directions
  bool xonXoffOutput = false;  // output stops on XOFF from the peer
  bool xonXoffInput = false;   // XOFF is sent to the peer when the input fills
  std::uint8_t xonChar = 0x11;
  std::uint8_t xoffChar = 0x13;
};

// Puts the device into raw mode: no echo, no line editing, no translation, reads that return at
// once with what is there. Answers 0 or an errno value.
int MakeRaw(int fd);
// Answers 0 or an errno value.
int ApplyLineSettings(int fd, const LineSettings& settings);
int ReadLineSettings(int fd, LineSettings& settings);
// Switches the UART's RS-485 mode, in which the kernel raises RTS while it sends and drops it
// once the transmitter is empty. Answers 0 or an errno value (ENOTTY from a device without it,
// such as a pseudo-terminal).
int SetRs485(int fd, bool on);

// The kernel's counts of line events since the device was opened.
struct LineCounters {
  std::uint32_t overrun = 0;
  std::uint32_t parity = 0;
  std::uint32_t frame = 0;
  std::uint32_t brk = 0;
  std::uint32_t bufferOverrun = 0;
};
// Answers false when the device keeps no counters (a pseudo-terminal).
bool ReadLineCounters(int fd, LineCounters& counters);

}  // namespace win::comm
