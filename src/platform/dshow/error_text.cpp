#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/dshow/dshow_results.h"

namespace win {

namespace {

struct ResultText {
  std::uint32_t code;
  const char* text;
};

// Our own wording for the results the media graph and its clients produce.
constexpr ResultText kResultTexts[] = {
    {0x00000000u, "The operation completed successfully."},
    {0x00000001u, "The operation completed, but not everything was done."},
    {0x00040237u, "The state change has not completed yet."},
    {0x00040242u, "Some of the streams in this file could not be rendered."},
    {0x0004027Eu, "The DVD position is not exact."},
    {0x80004001u, "This operation is not implemented."},
    {0x80004002u, "The object does not support this interface."},
    {0x80004003u, "A required pointer was null."},
    {0x80004005u, "The operation failed for an unspecified reason."},
    {0x8000FFFFu, "An unexpected failure occurred."},
    {0x80070002u, "The file could not be found."},
    {0x8007000Eu, "There is not enough memory for this operation."},
    {0x80070057u, "A parameter is not valid."},
    {0x80040154u, "The class is not registered."},
    {0x80040200u, "The media type is not valid."},
    {0x80040209u, "The pin is not connected."},
    {0x80040216u, "The object could not be found."},
    {0x80040218u, "No combination of filters could be found to render the stream."},
    {0x80040224u, "The graph must be stopped for this operation."},
    {0x80040225u, "The graph must be paused for this operation."},
    {0x80040226u, "The graph must be running for this operation."},
    {0x80040227u, "The filter graph is in the wrong state for this operation."},
    {0x80040256u, "No sound device could be opened."},
    {0x80040265u, "The source's format is not supported."},
    {0x8004026Eu, "The operation did not complete in time."},
    {0x80040276u, "The DVD operation is not allowed at this point."},
    {0x80040277u, "The DVD operation is not allowed in the current domain."},
    {0x80040278u, "The DVD menu has no such button."},
    {0x80040279u, "The DVD graph has not been built yet."},
    {0x8004027Au, "The DVD graph could not be built."},
    {0x8004027Bu, "The DVD decoders could not render every stream."},
};

}  // namespace

DWORD AMGetErrorTextA(HRESULT result, char* buffer, DWORD max_len) {
  if (buffer == nullptr || max_len == 0) return 0;
  buffer[0] = '\0';
  for (const ResultText& entry : kResultTexts) {
    if (entry.code != static_cast<std::uint32_t>(result)) continue;
    const std::size_t length = std::min<std::size_t>(std::strlen(entry.text), max_len - 1);
    std::memcpy(buffer, entry.text, length);
    buffer[length] = '\0';
    return static_cast<DWORD>(length);
  }
  return 0;
}

}  // namespace win
