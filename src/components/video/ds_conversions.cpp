#include "components/video/ds_conversions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/core/mul_div.h"

namespace dashtune::video {

namespace {

std::uint16_t last_control_word = 0x1372;

// Ln(v + 1) scaled so that 10000 maps to 0 dB; evaluated in extended precision.
constexpr long double kDecibelFactor = 1085.73L;

win::LONG ScaledLog(win::LONG magnitude) {
  // nearbyint rounds in the current mode, which is round-to-nearest-even.
  return static_cast<win::LONG>(std::nearbyint(std::log(static_cast<long double>(magnitude) + 1.0L) * kDecibelFactor));
}

}  // namespace

std::uint16_t LastFPUControlWord() { return last_control_word; }

void SetFPUControlWord(std::uint16_t word) {
  last_control_word = word;
#if defined(__x86_64__) || defined(__i386__)
  __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(word));
#endif
}

std::uint16_t GetFPUControlWord() {
#if defined(__x86_64__) || defined(__i386__)
  std::uint16_t word = 0;
  __asm__ __volatile__("fnstcw %0" : "=m"(word));
  return word;
#else
  return last_control_word;
#endif
}

std::int32_t RefTimeToMs(std::int64_t reference_time) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(reference_time / 10000)));
}

void FitRectKeepAspect(const win::RECT& destination, const win::RECT& source, win::RECT& result) {
  const win::LONG source_width = source.right - source.left;
  const win::LONG source_height = source.bottom - source.top;
  const win::LONG destination_width = destination.right - destination.left;
  const win::LONG destination_height = destination.bottom - destination.top;
  win::LONG width = 0;
  win::LONG height = 0;
  if (source_width != 0 && source_height != 0) {
    const double width_ratio = static_cast<double>(destination_width) / source_width;
    const double height_ratio = static_cast<double>(destination_height) / source_height;
    if (height_ratio <= width_ratio) {
      width = win::MulDiv(source_width, destination_height, source_height);
      height = win::MulDiv(source_height, destination_height, source_height);
    } else {
      width = win::MulDiv(source_width, destination_width, source_width);
      height = win::MulDiv(source_height, destination_width, source_width);
    }
  }
  const win::LONG left = (destination_width - width) / 2 + destination.left;
  const win::LONG top = (destination_height - height) / 2 + destination.top;
  result = win::RECT{left, top, left + width, top + height};
}

void SplitDVDTimeCode(win::DWORD time_code, win::tagDVD_TIMECODE& parts) {
  parts.Hours1 = static_cast<win::BYTE>((time_code >> 28) & 0xF);
  parts.Hours10 = static_cast<win::BYTE>((time_code >> 24) & 0xF);
  parts.Minutes1 = static_cast<win::BYTE>((time_code >> 20) & 0xF);
  parts.Minutes10 = static_cast<win::BYTE>((time_code >> 16) & 0xF);
  parts.Seconds1 = static_cast<win::BYTE>((time_code >> 12) & 0xF);
  parts.Seconds10 = static_cast<win::BYTE>((time_code >> 8) & 0xF);
  parts.Frames1 = static_cast<win::BYTE>((time_code >> 4) & 0xF);
  parts.Frames10 = static_cast<win::BYTE>((time_code >> 2) & 0x3);
  parts.FrameRateCode = static_cast<win::BYTE>(time_code & 0x3);
}

win::LONG LinearToDSVolume(win::LONG volume) {
  return ScaledLog(std::clamp<win::LONG>(volume, 0, 10000)) - 10000;
}

win::LONG LinearToDSBalance(win::LONG balance) {
  const win::LONG magnitude = ScaledLog(std::min<win::LONG>(std::labs(std::max<win::LONG>(balance, -10000)), 10000));
  return balance >= 0 ? -magnitude : magnitude;
}

}  // namespace dashtune::video
