#!/usr/bin/env bash
# Makes the media fixtures of the graph tests in the directory given, once: a short clip with
# video and sound from GStreamer's test sources, a 16:9 solid-colour clip, a DVD folder with two
# titles and chapters, and one-second clips in the other formats a car PC meets (WebM, Matroska,
# MP4 when the encoder exists, MPEG program stream, WAV) plus a 0.4 s Ogg clip to play after them,
# a 2 s MPEG program stream, and a 2 s Matroska clip with a subtitle stream that no renderer takes.
# Several test processes may call it at once; the first makes the files, the others wait.
set -euo pipefail
out=$1
mkdir -p "$out"
exec 9>"$out/.lock"
flock 9
# The marker names the version of the fixtures: a change to them makes them again.
marker="$out/complete-7"
[ -f "$marker" ] && exit 0

work=$(mktemp -d "$out/tmp.XXXXXX")
trap 'rm -rf "$work"' EXIT

# 2 s of the colour-bar pattern at 320x240, 25 frames per second, with a 440 Hz tone.
gst-launch-1.0 -q videotestsrc num-buffers=50 pattern=smpte \
    ! video/x-raw,width=320,height=240,framerate=25/1 ! theoraenc ! queue ! oggmux name=mux \
    ! filesink location="$work/clip.ogg" \
  audiotestsrc num-buffers=100 samplesperbuffer=882 freq=440 \
    ! audio/x-raw,rate=44100,channels=2 ! audioconvert ! vorbisenc ! queue ! mux.

# 2 s of solid green at 640x360 (16:9) for the video windows' placement on screen.
gst-launch-1.0 -q videotestsrc num-buffers=50 pattern=solid-color foreground-color=0xff00c000 \
    ! video/x-raw,width=640,height=360,framerate=25/1 ! theoraenc ! oggmux ! filesink location="$work/wide.ogg"

# Two titles (4 s with a chapter at 2 s, 3 s with a chapter at 1 s) for a PAL DVD, English audio.
ffmpeg -loglevel error -nostdin -y -f lavfi -i testsrc2=size=720x576:rate=25:duration=4 \
  -f lavfi -i sine=frequency=440:duration=4:sample_rate=48000 -target pal-dvd -ac 2 "$work/title1.mpg"
ffmpeg -loglevel error -nostdin -y -f lavfi -i color=c=blue:size=720x576:rate=25:duration=3 \
  -f lavfi -i sine=frequency=660:duration=3:sample_rate=48000 -target pal-dvd -ac 2 "$work/title2.mpg"
cat >"$work/dvd.xml" <<XML
<dvdauthor dest="$work/dvd">
  <vmgm />
  <titleset>
    <titles>
      <audio lang="en" />
      <pgc><vob file="$work/title1.mpg" chapters="0,0:02" /></pgc>
      <pgc><vob file="$work/title2.mpg" chapters="0,0:01" /></pgc>
    </titles>
  </titleset>
</dvdauthor>
XML
VIDEO_FORMAT=PAL dvdauthor -x "$work/dvd.xml" >"$work/dvdauthor.log" 2>&1

# The formats at 160x120 and 25 frames per second, 1 s each, with a tone.
small() {
  ffmpeg -loglevel error -nostdin -y -f lavfi -i testsrc2=size=160x120:rate=25:duration="$1" \
    -f lavfi -i sine=frequency=440:duration="$1":sample_rate=44100 "${@:2}"
}
small 1 -c:v libvpx -b:v 200k -c:a libvorbis "$work/clip.webm"
small 1 -c:v libvpx -b:v 200k -c:a libvorbis "$work/clip.mkv"
encoders=$(ffmpeg -hide_banner -encoders 2>/dev/null)
if [[ "$encoders" == *libx264* ]]; then
  small 1 -c:v libx264 -profile:v baseline -pix_fmt yuv420p -c:a libmp3lame "$work/clip.mp4"
fi
small 1 -c:v mpeg2video -c:a mp2 -f vob "$work/clip.mpg"
small 2 -c:v mpeg2video -c:a mp2 -f vob "$work/long.mpg"
small 1 -vn -c:a pcm_s16le "$work/clip.wav"
small 0.4 -c:v libtheora -c:a libvorbis "$work/short.ogg"
# Subtitles early in the clip, which the demuxer reads ahead of the frames while prerolling.
cat >"$work/subtitles.srt" <<SRT
1
00:00:00,100 --> 00:00:00,300
first

2
00:00:00,400 --> 00:00:00,600
second

3
00:00:01,500 --> 00:00:01,900
third
SRT
small 2 -i "$work/subtitles.srt" -map 0 -map 1 -map 2 -c:v libvpx -b:v 200k -c:a libvorbis -c:s srt \
  "$work/subtitled.mkv"

for name in clip.ogg wide.ogg clip.webm clip.mkv clip.mp4 clip.mpg long.mpg clip.wav short.ogg subtitled.mkv dvd; do
  rm -rf "${out:?}/$name"
  if [ -e "$work/$name" ]; then mv "$work/$name" "$out/$name"; fi
done
touch "$marker"
