#!/usr/bin/env bash
# Starts the real program under an X server (run by xvfb-run), clicks its buttons and checks
# what it shows. Usage: window.sh PATH/TO/slopemeter SCREENSHOT_FOLDER
set -euo pipefail
program=$1
shots=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$shots"
work=$(mktemp -d)
pid=""
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
start() { (cd "$1" && shift && exec "$program" "$@") & pid=$!; }
stop() { kill -0 "$pid" || fail "the program ended by itself"; kill "$pid"; wait "$pid" 2>/dev/null || true; pid=""; }

# xvfb-run can hand over before its server takes connections; wait until it answers.
for _ in $(seq 100); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done
xdpyinfo >/dev/null 2>&1 || fail "the X server on ${DISPLAY:-} does not answer"

# The first Qt program after the fonts were installed may spend a while building the font cache.
window_named() { # name [seconds]
  local deadline=$((SECONDS + ${2:-60})) id
  while [ $SECONDS -lt $deadline ]; do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

# The labels' area of the window, as a PNG, for comparing what they show.
labels_shot() { import -window "$1" -crop 600x70+290+290 +repage "$2"; }
same_picture() { [ "$(compare -metric AE "$1" "$2" null: 2>&1 || true)" = "0" ]; }
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }

# The labels' area once two shots in a row agree: the window has painted what it shows.
settled_shot() { # window file
  sleep 0.2
  labels_shot "$1" "$2"
  until sleep 0.3; labels_shot "$1" "$work/again.png"; same_picture "$2" "$work/again.png"; do
    cp "$work/again.png" "$2"
  done
}

# The labels' area once a click on the button at x has been measured and shown, from a fresh
# start of the program, with a screenshot named after the button. A loaded machine may take a
# while to measure and repaint: the labels must change within 30 seconds, and are settled once
# two shots in a row agree.
labels_after() { # x name [folder [picture]]
  start "${3:-$work/with}" ${4:+"$4"}
  local form deadline=$((SECONDS + 30))
  form=$(window_named Form1) || fail "no window titled Form1 appeared"
  settled_shot "$form" "$work/bare.png"
  click "$form" "$1" 300
  until labels_shot "$form" "$work/$2.png"; ! same_picture "$work/bare.png" "$work/$2.png"; do
    [ $SECONDS -lt $deadline ] || fail "the labels did not change after $2"
    sleep 0.3
  done
  settled_shot "$form" "$work/$2.png"
  import -window root "$shots/window-after-$2.png"
  stop
}

# 1. With a picture: the window appears, and "Form" and "Thread" each show the same result.
mkdir "$work/with" "$work/without"
cp "$here/../../samples/test.bmp" "$work/with/test.bmp"
labels_after 53 form
labels_after 141 thread
same_picture "$work/form.png" "$work/thread.png" || fail "Thread shows other labels than Form"
# Given a picture, as a file manager starts it, the window opens that one and no test.bmp.
labels_after 53 given "$work/without" "$work/with/test.bmp"
same_picture "$work/form.png" "$work/given.png" || fail "the picture given shows other labels than test.bmp"

# 2. Without a picture: a message box first, then the window with an empty picture area.
start "$work/without"
box=$(window_named slopemeter) || fail "no message box appeared"
window_named Form1 1 >/dev/null && fail "the window appeared before the message was dismissed"
import -window root "$shots/message-box.png"
xdotool windowfocus --sync "$box" 2>/dev/null || true
xdotool key Return
form=$(window_named Form1) || fail "no window after the message box"
settled_shot "$form" "$work/bare.png"
import -window root "$shots/window-without-picture.png"
click "$form" 53 300
sleep 0.5
stop

echo "end to end: window, buttons and message box behave; screenshots in $shots"
