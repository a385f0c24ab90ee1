#!/usr/bin/env bash
# Writes the ImageMagick part of the GIF test corpus into the folder given: GIFs made from the
# PngSuite and from seeded built-in images, with 2 to 256 colours, interlaced, transparent, with
# local tables, every disposal method and loop counts.
#   make_gif_corpus.sh OUTPUT_DIR
set -euo pipefail
out=$1
suite=/usr/share/doc/libsixel-examples/examples/images/pngsuite
mkdir -p "$out"
cd "$out"

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
