// Conversions of the media components: time, volume, balance, aspect-keeping rectangles, DVD
// time codes, and the processor's x87 control word.
#pragma once

#include <cstdint>

#include "platform/core/types.h"
#include "platform/dshow/dvd_types.h"

namespace dashtune::video {

// The x87 control word last loaded through SetFPUControlWord; 0x1372 before any call.
std::uint16_t LastFPUControlWord();
// Stores the word, clears pending x87 exceptions and loads it on the calling thread.
void SetFPUControlWord(std::uint16_t word);
std::uint16_t GetFPUControlWord();

// Reference time (100 ns units) to milliseconds, keeping the low 32 bits of the quotient.
std::int32_t RefTimeToMs(std::int64_t reference_time);

// The largest rectangle of the source's shape centred in the destination. A source without
// width or height gives an empty rectangle at the destination's centre.
void FitRectKeepAspect(const win::RECT& destination, const win::RECT& source, win::RECT& result);

// Splits a packed DVD time code into its nine digits (hours units first, frame-rate code last).
void SplitDVDTimeCode(win::DWORD time_code, win::tagDVD_TIMECODE& parts);

// Linear volume 0..10000 to hundredths of a decibel (0 is silence, -10000); values outside the
// range are clamped first.
win::LONG LinearToDSVolume(win::LONG volume);
// Linear balance -10000..10000 to hundredths of a decibel, the sign turned over.
win::LONG LinearToDSBalance(win::LONG balance);

}  // namespace dashtune::video
