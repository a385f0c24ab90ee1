// Critical-error boxes switched off for a call, and the caller's error mode put back afterwards
// on every path, however often the mode changed meanwhile.
#pragma once

#include "platform/shell/shell.h"

namespace dashtune::shell {

inline constexpr win::UINT kCriticalErrorsOff = win::SEM_FAILCRITICALERRORS | win::SEM_NOOPENFILEERRORBOX;

class ErrorModeScope {
 public:
  explicit ErrorModeScope(win::UINT mode = kCriticalErrorsOff) : previous_(win::SetErrorMode(mode)) {}
  ~ErrorModeScope() { win::SetErrorMode(previous_); }
  ErrorModeScope(const ErrorModeScope&) = delete;
  ErrorModeScope& operator=(const ErrorModeScope&) = delete;

 private:
  win::UINT previous_;
};

}  // namespace dashtune::shell
