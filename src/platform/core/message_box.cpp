#include "platform/core/message_box.h"

#include "platform/core/strings.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>

namespace win {

namespace {

INT WriteToStandardError(HWND, std::string_view text, std::string_view caption, UINT type) {
  std::fprintf(stderr, "[%.*s] %.*s\n", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(text.size()), text.data());
  return DefaultMessageBoxAnswer(type);
}

struct SinkState {
  std::mutex mutex;
  MessageBoxSink sink = WriteToStandardError;
};

SinkState& State() {
  static SinkState state;
  return state;
}

MessageBoxSink CurrentSink() {
  std::lock_guard lock(State().mutex);
  return State().sink;
}

}  // namespace

MessageBoxSink SetMessageBoxSink(MessageBoxSink sink) {
  std::lock_guard lock(State().mutex);
  MessageBoxSink previous = std::move(State().sink);
  State().sink = sink ? std::move(sink) : MessageBoxSink(WriteToStandardError);
  return previous;
}

INT DefaultMessageBoxAnswer(UINT type) {
  static constexpr INT kButtons[][3] = {
      {IDOK, IDOK, IDOK},          {IDOK, IDCANCEL, IDCANCEL}, {IDABORT, IDRETRY, IDIGNORE},
      {IDYES, IDNO, IDCANCEL},     {IDYES, IDNO, IDNO},        {IDRETRY, IDCANCEL, IDCANCEL},
  };
  const UINT set = type & MB_TYPEMASK;
  const UINT button = std::min<UINT>((type & MB_DEFMASK) >> 8, 2);
  return set < std::size(kButtons) ? kButtons[set][button] : IDOK;
}

INT MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  return CurrentSink()(owner, text ? text : "", caption ? caption : "Error", type);
}

INT MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  const std::string narrow_text = Narrow(text);
  const std::string narrow_caption = caption ? Utf16ToUtf8(caption) : std::string("Error");
  return CurrentSink()(owner, narrow_text, narrow_caption, type);
}

}  // namespace win
