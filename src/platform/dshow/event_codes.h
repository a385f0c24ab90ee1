// Graph event codes and the values some of their parameters take.
#pragma once

#include "platform/core/types.h"

namespace win {

constexpr LONG EC_COMPLETE = 0x01;
constexpr LONG EC_USERABORT = 0x02;
constexpr LONG EC_ERRORABORT = 0x03;
constexpr LONG EC_TIME = 0x04;
constexpr LONG EC_REPAINT = 0x05;
constexpr LONG EC_STREAM_ERROR_STOPPED = 0x06;
constexpr LONG EC_STREAM_ERROR_STILLPLAYING = 0x07;
constexpr LONG EC_ERROR_STILLPLAYING = 0x08;
constexpr LONG EC_PALETTE_CHANGED = 0x09;
constexpr LONG EC_VIDEO_SIZE_CHANGED = 0x0A;
constexpr LONG EC_QUALITY_CHANGE = 0x0B;
constexpr LONG EC_SHUTTING_DOWN = 0x0C;
constexpr LONG EC_CLOCK_CHANGED = 0x0D;
constexpr LONG EC_PAUSED = 0x0E;
constexpr LONG EC_OPENING_FILE = 0x10;
constexpr LONG EC_BUFFERING_DATA = 0x11;
constexpr LONG EC_FULLSCREEN_LOST = 0x12;
constexpr LONG EC_OLE_EVENT = 0x18;
constexpr LONG EC_NOTIFY_WINDOW = 0x19;
constexpr LONG EC_STREAM_CONTROL_STOPPED = 0x1A;
constexpr LONG EC_STREAM_CONTROL_STARTED = 0x1B;
constexpr LONG EC_END_OF_SEGMENT = 0x1C;
constexpr LONG EC_SEGMENT_STARTED = 0x1D;
constexpr LONG EC_LENGTH_CHANGED = 0x1E;
constexpr LONG EC_DEVICE_LOST = 0x1F;
constexpr LONG EC_STEP_COMPLETE = 0x24;
constexpr LONG EC_TIMECODE_AVAILABLE = 0x30;
constexpr LONG EC_EXTDEVICE_MODE_CHANGE = 0x31;
constexpr LONG EC_GRAPH_CHANGED = 0x50;
constexpr LONG EC_CLOCK_UNSET = 0x51;
constexpr LONG EC_VMR_RENDERDEVICE_SET = 0x53;
constexpr LONG EC_DVD_DOMAIN_CHANGE = 0x101;
constexpr LONG EC_DVD_TITLE_CHANGE = 0x102;
constexpr LONG EC_DVD_CHAPTER_START = 0x103;
constexpr LONG EC_DVD_AUDIO_STREAM_CHANGE = 0x104;
constexpr LONG EC_DVD_SUBPICTURE_STREAM_CHANGE = 0x105;
constexpr LONG EC_DVD_ANGLE_CHANGE = 0x106;
constexpr LONG EC_DVD_BUTTON_CHANGE = 0x107;
constexpr LONG EC_DVD_VALID_UOPS_CHANGE = 0x108;
constexpr LONG EC_DVD_STILL_ON = 0x109;
constexpr LONG EC_DVD_STILL_OFF = 0x10A;
constexpr LONG EC_DVD_CURRENT_TIME = 0x10B;
constexpr LONG EC_DVD_ERROR = 0x10C;
constexpr LONG EC_DVD_WARNING = 0x10D;
constexpr LONG EC_DVD_CHAPTER_AUTOSTOP = 0x10E;
constexpr LONG EC_DVD_NO_FP_PGC = 0x10F;
constexpr LONG EC_DVD_PLAYBACK_RATE_CHANGE = 0x110;
constexpr LONG EC_DVD_PARENTAL_LEVEL_CHANGE = 0x111;
constexpr LONG EC_DVD_PLAYBACK_STOPPED = 0x112;
constexpr LONG EC_DVD_ANGLES_AVAILABLE = 0x113;
constexpr LONG EC_DVD_PLAYPERIOD_AUTOSTOP = 0x114;
constexpr LONG EC_DVD_BUTTON_AUTO_ACTIVATED = 0x115;
constexpr LONG EC_DVD_CMD_START = 0x116;
constexpr LONG EC_DVD_CMD_END = 0x117;
constexpr LONG EC_DVD_DISC_EJECTED = 0x118;
constexpr LONG EC_DVD_DISC_INSERTED = 0x119;
constexpr LONG EC_DVD_CURRENT_HMSF_TIME = 0x11A;
constexpr LONG EC_DVD_KARAOKE_MODE = 0x11B;
constexpr LONG EC_SNDDEV_IN_ERROR = 0x200;
constexpr LONG EC_SNDDEV_OUT_ERROR = 0x201;

// EC_DVD_DOMAIN_CHANGE parameter 1.
constexpr LONG DVD_DOMAIN_FirstPlay = 1;
constexpr LONG DVD_DOMAIN_VideoManagerMenu = 2;
constexpr LONG DVD_DOMAIN_VideoTitleSetMenu = 3;
constexpr LONG DVD_DOMAIN_Title = 4;
constexpr LONG DVD_DOMAIN_Stop = 5;

// Frame-rate flags of DVD time codes.
constexpr DWORD DVD_TC_FLAG_25fps = 0x1;
constexpr DWORD DVD_TC_FLAG_30fps = 0x2;

}  // namespace win
