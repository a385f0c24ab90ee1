// DVD time-code records.
#pragma once

#include "platform/core/types.h"

namespace win {

// Hours, minutes, seconds and frames, one byte each, hours first.
struct tagDVD_HMSF_TIMECODE {
  BYTE bHours = 0;
  BYTE bMinutes = 0;
  BYTE bSeconds = 0;
  BYTE bFrames = 0;
};
using DVD_HMSF_TIMECODE = tagDVD_HMSF_TIMECODE;

// The nine digits of a packed DVD time code: units before tens, then the frame-rate code.
struct tagDVD_TIMECODE {
  BYTE Hours1 = 0;
  BYTE Hours10 = 0;
  BYTE Minutes1 = 0;
  BYTE Minutes10 = 0;
  BYTE Seconds1 = 0;
  BYTE Seconds10 = 0;
  BYTE Frames1 = 0;
  BYTE Frames10 = 0;
  BYTE FrameRateCode = 0;
};
static_assert(sizeof(tagDVD_TIMECODE) == 9);
using DVD_TIMECODE = tagDVD_TIMECODE;

}  // namespace win
