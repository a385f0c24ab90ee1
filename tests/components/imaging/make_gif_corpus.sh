#!/usr/bin/env bash
# Writes the GIF test corpus made by tools into the folder given: ImageMagick GIFs made from the
# committed PngSuite (tests/fixtures/png/pngsuite) and from seeded built-in images, with 2 to 256
# colours, interlaced, transparent, with local tables, every disposal method and loop counts; and
# giflib-tools layouts (gifbuild, giftool): frames beyond the screen, screens of size 0, comments,
# plain text, application blocks of size 10 and the "ANIMEXTS1.0" loop. giflib reads every file
# of the folder; the layouts it refuses are written into its subfolder "refused".
#   make_gif_corpus.sh OUTPUT_DIR [all|imagemagick|tools]
set -euo pipefail
out=$1
part=${2:-all}
suite=$(cd "$(dirname "$0")/../../fixtures/png/pngsuite" && pwd)
mkdir -p "$out"
cd "$out"

imagemagick_files() {
  # PngSuite images: palette, gray and true-colour sources, plain and interlaced; transparency.
  convert "$suite/basic/basn3p01.png" -write suite-p01.gif "$suite/basic/basn3p04.png" -write suite-p04.gif null:
  convert "$suite/basic/basn2c08.png" -colors 256 -write suite-c08.gif -interlace GIF suite-c08-interlaced.gif
  convert "$suite/basic/basn0g08.png" -colors 16 -interlace GIF suite-g08-16.gif
  convert "$suite/transparency/tbbn3p08.png" -write suite-transparent.gif \
    "$suite/transparency/tp1n3p08.png" suite-transparent-2.gif

  # Seeded built-in images at several colour counts.
  convert -seed 7 -size 64x48 plasma: -write plasma-256.gif -colors 2 plasma-2.gif
  convert -seed 11 -size 40x30 plasma: -colors 5 -interlace GIF plasma-5-interlaced.gif
  convert rose: -write rose.gif -colors 64 rose-64.gif
  convert logo: -resize 20% logo.gif

  # Animations: local tables (frames of different palettes), disposal methods 0 to 3, loops.
  # Offsets are given with -repage inside the parentheses: -page would set them for every frame.
  convert -delay 10 -loop 3 \
    -dispose None rose: \
    -dispose Background \( rose: -negate -resize 50% -repage +10+5 \) \
    -dispose Previous \( rose: -colors 8 -resize 40% -repage +20+10 \) \
    -dispose Undefined \( -seed 3 -size 30x20 plasma: -repage +5+5 \) \
    animation.gif
  convert -delay 5 -loop 0 -dispose Background \( -size 20x20 xc:red \) \
    \( -size 10x10 xc:none -fill blue -draw 'point 2,2' -repage +5+5 \) \( -size 8x8 xc:lime -repage +12+12 \) \
    animation-transparent.gif
}

# gifbuild attaches the extensions that follow a raster to the next image, and those after the last
# one to the trailer.
tools_files() {
  gifbuild > tools-extensions.gif <<'EOF'
screen width 8
screen height 6
screen colors 4
screen background 1
screen map
	rgb 000 000 000 is a
	rgb 255 000 000 is b
	rgb 000 255 000 is c
	rgb 000 000 255 is d
end
netscape loop 2
image
image left 4
image top 3
image bits 6 by 5
abcdab
bcdabc
cdabcd
dabcda
abcdab
comment
first comment line
second line
end
plaintext
\x00\x00\x00\x00\x08\x00\x06\x00\x04\x04\x01\x00
Hello
end
extension ff
SKINDATA01
\x01\x05\x00
end
extension ff
SKINDATA1.0
payload
end
graphics control
	disposal mode 2
	user input flag on
	delay 7
	transparent index 1
end
image
image interlaced
image bits 3 by 9
abc
bcd
cda
dab
abc
bcd
cda
dab
ddd
comment
after the last image
end
EOF

  gifbuild > tools-animexts.gif <<'EOF'
screen width 5
screen height 4
screen colors 2
screen map
	rgb 010 020 030 is a
	rgb 200 100 050 is b
end
extension ff
ANIMEXTS1.0
\x01\x03\x00
end
image
image bits 5 by 4
abbba
babab
abbba
aaaaa
graphics control
	disposal mode 1
	delay 3
end
image
image left 1
image top 1
image bits 2 by 2
bb
ab
EOF

  # A screen of size 0 holding frames at offsets.
  gifbuild > tools-zero-screen.gif <<'EOF'
screen width 0
screen height 0
screen colors 2
screen map
	rgb 010 020 030 is a
	rgb 200 100 050 is b
end
image
image left 2
image top 1
image bits 3 by 2
aba
bab
image
image bits 2 by 2
bb
ab
EOF

  # giftool rewrites the frames of a file (and leaves its extensions out): frames moved past the
  # screen, the screen set to 0 by 0, the interlace flag set on rows stored in order.
  giftool -p 300,200 < tools-extensions.gif > tools-moved-beyond.gif
  giftool -s 0,0 < tools-extensions.gif > tools-zero-screen-interlaced.gif
  giftool -i 1 < tools-animexts.gif > tools-interlace-flag.gif

  # A frame of width 0 (giflib refuses it) and the same file without that frame.
  mkdir -p refused
  zero_width_layout() {
    cat <<'EOF'
screen width 4
screen height 3
screen colors 2
screen map
	rgb 000 000 000 is a
	rgb 255 255 255 is b
end
EOF
    if [ "$1" = with ]; then printf 'image\nimage bits 0 by 1\n\n'; fi
    printf 'image\nimage left 1\nimage bits 2 by 2\nab\nba\n'
  }
  zero_width_layout with | gifbuild > refused/zero-width-frame.gif
  zero_width_layout without | gifbuild > refused/zero-width-frame-dropped.gif
}

case $part in
  all) imagemagick_files; tools_files ;;
  imagemagick) imagemagick_files ;;
  tools) tools_files ;;
  *) echo "make_gif_corpus.sh: unknown part '$part'" >&2; exit 2 ;;
esac
