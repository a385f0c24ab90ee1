#include "components/serial/serial_misc.h"

#include <sys/stat.h>

#include <algorithm>

#include "classlib/units.h"
#include "platform/core/clock.h"
#include "platform/user/messages.h"

namespace dashtune::serial {
namespace {

// Performance-counter ticks per millisecond, rounded; 0 when the counter is of no use.
win::DWORD CounterDivisor() {
  static const win::DWORD divisor = [] {
    win::LARGE_INTEGER frequency;
    if (!win::QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0 ||
        frequency.QuadPart > 0xFFFFFFFFLL) {
      return win::DWORD{0};
    }
    auto perMillisecond = static_cast<win::DWORD>(frequency.QuadPart / 1000);
    if (frequency.QuadPart % 1000 > 500) ++perMillisecond;
    return perMillisecond;
  }();
  return divisor;
}

// Unit start: the clock's divisor comes from the performance counter's frequency.
const TUnitRegistration kSerMiscUnit("SerMisc", 600, [] { CounterDivisor(); }, {});

}  // namespace

win::DWORD SerTimeGetTime() {
  win::DWORD divisor = CounterDivisor();
  win::LARGE_INTEGER counter;
  if (divisor == 0 || !win::QueryPerformanceCounter(&counter)) return win::timeGetTime();
  return static_cast<win::DWORD>(static_cast<std::uint64_t>(counter.QuadPart) / divisor);
}

win::DWORD CurrentTicks() { return SerTimeGetTime() / kTickMilliseconds; }

void NewTimer(EventTimer& timer, int ticks) { NewTimerAt(timer, CurrentTicks(), ticks); }

bool TimerExpired(const EventTimer& timer) { return TimerExpiredAt(timer, CurrentTicks()); }

win::DWORD SafeYield() {
  win::MSG message;
  if (!win::PeekMessageA(&message, nullptr, 0, 0, win::PM_REMOVE)) return 0;
  if (message.message == win::WM_QUIT) {
    win::PostQuitMessage(static_cast<int>(message.wParam));
  } else {
    win::TranslateMessage(&message);
    win::DispatchMessageA(&message);
  }
  return win::MAKELONG(static_cast<win::WORD>(message.message),
                       static_cast<win::WORD>(reinterpret_cast<std::uintptr_t>(message.hwnd)));
}

bool ExistFile(const std::string& name) {
  struct stat info {};
  return stat(name.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace dashtune::serial
