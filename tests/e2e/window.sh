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

window_named() { # name [seconds]
  local deadline=$((SECONDS + ${2:-20}))
  while [ $SECONDS -lt $deadline ]; do
    local id
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

# The labels' area of the window, as a PNG, for comparing what they show.
labels_shot() { # window file
  import -window "$1" -crop 600x70+290+290 +repage "$2"
}

same_picture() { [ "$(compare -metric AE "$1" "$2" null: 2>&1 || true)" = "0" ]; }

click() { # window x y
  xdotool mousemove --window "$1" "$2" "$3" click 1
}

settle() { sleep 1.5; }

# 1. With a picture: the window appears, "Form" and "Thread" show the same result.
mkdir "$work/with"
cp "$here/../../samples/test.bmp" "$work/with/test.bmp"
(cd "$work/with" && exec "$program") &
pid=$!
form=$(window_named Form1) || fail "no window titled Form1 appeared"
settle
import -window root "$shots/window-started.png"
labels_shot "$form" "$work/bare.png"

click "$form" 53 300   # "Form"
settle
labels_shot "$form" "$work/by-form.png"
import -window root "$shots/window-after-form.png"
same_picture "$work/bare.png" "$work/by-form.png" && fail "the labels did not change after Form"

click "$form" 141 300  # "Thread"
settle
labels_shot "$form" "$work/by-thread.png"
import -window root "$shots/window-after-thread.png"
same_picture "$work/by-form.png" "$work/by-thread.png" || fail "Thread shows other labels than Form"
kill -0 "$pid" || fail "the program ended by itself"
kill "$pid"; wait "$pid" 2>/dev/null || true; pid=""

# 2. Without a picture: a message box first, then the window with an empty picture area.
mkdir "$work/without"
(cd "$work/without" && exec "$program") &
pid=$!
box=$(window_named slopemeter) || fail "no message box appeared"
window_named Form1 1 >/dev/null && fail "the window appeared before the message was dismissed"
import -window root "$shots/message-box.png"
xdotool windowfocus --sync "$box" 2>/dev/null || true
xdotool key Return
form=$(window_named Form1) || fail "no window after the message box"
settle
import -window root "$shots/window-without-picture.png"
click "$form" 53 300
settle
kill -0 "$pid" || fail "the program ended after Form on an empty picture"
kill "$pid"; wait "$pid" 2>/dev/null || true; pid=""

echo "end to end: window, buttons and message box behave; screenshots in $shots"
