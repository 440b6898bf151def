#!/usr/bin/env bash
# Makes the GIF pictures the tests read, as Qt writes no GIF: a white line on a dark ground, and
# the same as the first of two frames. Run it again to make them anew.
set -euo pipefail
cd "$(dirname "$0")"
line() { convert -size 64x32 'xc:rgb(20,30,40)' -fill white -draw "line $1" -colors 4 "$2"; }
line "3,25 60,5" line.gif
line "5,5 50,30" second-frame.gif
convert -delay 10 line.gif second-frame.gif -loop 0 two-frames.gif
rm second-frame.gif
