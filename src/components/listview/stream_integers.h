// The 4-byte little-endian integers of the list view's stream records.
#pragma once

#include <cstdint>

#include "classlib/streams.h"

namespace dashtune::listview {

// Reads one integer; a short read raises EReadError.
std::int32_t ReadInteger(TStream* S);
void WriteInteger(TStream* S, std::int32_t Value);
// Reads a count of elements of ElementSize bytes each; a negative count or one whose elements
// cannot fit in the bytes left raises EReadError before anything is allocated.
std::int32_t ReadCount(TStream* S, std::int64_t ElementSize);
// Raises EReadError unless Count bytes are left in the stream.
void RequireBytesLeft(TStream* S, std::int64_t Count);

}  // namespace dashtune::listview
