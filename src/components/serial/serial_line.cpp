#include "components/serial/serial_line.h"

#include <algorithm>
#include <cstdint>

#include "components/serial/serial_errors.h"
#include "platform/comm/comm.h"
#include "platform/core/errors.h"

namespace dashtune::serial {

win::DWORD BaudFromCode(win::DWORD baud) {
  static constexpr win::DWORD kCodeRates[] = {110,   300, 600, 1200, 2400,   4800, 9600, 14400,
                                              19200, 0,   0,   38400, 0,      0,    0,    56000,
                                              0,     0,   0,   128000, 0,     0,    0,    256000};
  if (baud == 0xFEFF) return 115200;
  if (baud >= 0xFF10 && baud <= 0xFF27) {
    win::DWORD rate = kCodeRates[baud - 0xFF10];
    return rate != 0 ? rate : baud;
  }
  return baud;
}

win::DWORD DrainSettleMilliseconds(win::DWORD baud, int byteSize, int parity, int stopCode) {
  if (baud == 0) return 0;
  std::uint64_t bits = static_cast<std::uint64_t>(byteSize) + 2 + (parity != 0 ? 1 : 0) + (stopCode != 0 ? 1 : 0);
  std::uint64_t characterTime = (10000000 / baud) * bits;  // in units of 100 ns
  std::uint64_t wait = 18 * characterTime < 10000 ? 36 * characterTime : 18 * characterTime;
  return static_cast<win::DWORD>(std::min<std::uint64_t>((wait + 9999) / 10000, kMaxSettleMilliseconds));
}

int RefusedLineValue(std::int32_t baud, int parity, int dataBits) {
  constexpr int kKeepParity = 5;
  constexpr int kKeepDataBits = 9;
  if (baud < 0) return kErrBaudRate;
  bool dataBitsTaken = (dataBits >= 5 && dataBits <= 8) || dataBits == kKeepDataBits;
  bool parityTaken = parity >= win::NOPARITY && parity <= kKeepParity;
  if (!dataBitsTaken || !parityTaken) return -static_cast<int>(win::ERROR_INVALID_PARAMETER);
  return kOK;
}

}  // namespace dashtune::serial
