#!/usr/bin/env bash
# Asks the bash completion of slopemeter-cli for a few command lines, as bash would when Tab is
# pressed, and checks what it offers. Usage: completion.sh COMPLETION_FILE
set -uo pipefail
completion=$1
bash_completion=/usr/share/bash-completion/bash_completion
if [ ! -r "$bash_completion" ]; then
  echo "bash-completion is not installed: nothing to test the completion with"
  exit 77
fi
# shellcheck source=/dev/null
. "$bash_completion"
# shellcheck source=/dev/null
. "$completion"

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder" || exit 1
mkdir shots 'old runs'
touch line.bmp LASER.PNG frame.ppm photo.jpeg notes.txt list.txt shots/a.png

failures=0
# Completes the words given, the last one being the word under the cursor, and compares the
# sorted offers with the expected ones (one line each).
expect() {
  local expected=$1
  shift
  COMP_WORDS=(slopemeter-cli "$@")
  COMP_CWORD=$(($# ))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _slopemeter_cli slopemeter-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local offered
  offered=$(printf '%s\n' "${COMPREPLY[@]}" | sort)
  if [ "$offered" != "$expected" ]; then
    echo "FAILED: slopemeter-cli $* <Tab> offers:"$'\n'"$offered"$'\n'"instead of:"$'\n'"$expected"
    failures=$((failures + 1))
  fi
}

pictures=$'LASER.PNG\nframe.ppm\nline.bmp\nold runs\nphoto.jpeg\nshots'
expect "$pictures" --json ''
expect 'line.bmp' l
expect '--help' --jobs 2 --h
expect '--annotate' --json --ann
expect $'old runs\nshots' --annotate ''
expect $'old runs\nshots' --json --annotate=''
expect $'LASER.PNG\nframe.ppm\nline.bmp\nlist.txt\nnotes.txt\nold runs\nphoto.jpeg\nshots' --files-from ''
expect '' --memory ''
expect "$pictures" --jobs 2 ''
expect 'shots/a.png' shots/
# After "--", a word that starts with "-" is a picture's name, not an option.
expect '' -- --js

[ "$failures" -eq 0 ] || exit 1
echo "completion: options, pictures by extension, folders for --annotate, any file for --files-from"
