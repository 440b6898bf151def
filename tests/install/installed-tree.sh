#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks that the tree holds the two programs, the
# desktop entry and the icon, and nothing else. Usage: installed-tree.sh BUILD_FOLDER VERSION SAMPLE
set -euo pipefail
build=$1
version=$2
sample=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

expected="bin/slopemeter
bin/slopemeter-cli
share/applications/slopemeter.desktop
share/icons/hicolor/32x32/apps/slopemeter.png"
# A temporary prefix is neither /usr nor /usr/local: the Python package goes where Python looks
# under ~/.local or a virtual environment.
site=""
if [ -d "$build/python/slopemeter" ]; then
  site=$(find "$prefix/lib" -maxdepth 2 -name site-packages -path "*/python3.*/*")
  [ -n "$site" ] || fail "the Python package was not installed in lib/python3.X/site-packages"
  module=$(cd "$build/python/slopemeter" && ls _slopemeter.*.so)
  expected=$(printf '%s\n' "$expected" ${site#$prefix/}/slopemeter/{__init__.py,__init__.pyi,dask.py,py.typed,$module} | sort)
fi
held=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
[ "$held" = "$expected" ] || fail "the installed tree holds:"$'\n'"$held"

for program in slopemeter slopemeter-cli; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not executable"
done

desktop=$prefix/share/applications/slopemeter.desktop
grep -qx 'Exec=slopemeter' "$desktop" || fail "the desktop entry does not start slopemeter"
grep -qx 'Icon=slopemeter' "$desktop" || fail "the desktop entry does not name the icon slopemeter"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "the desktop entry is not valid"
fi

icon=$prefix/share/icons/hicolor/32x32/apps/slopemeter.png
[ "$(identify -format '%m %wx%h' "$icon")" = "PNG 32x32" ] || fail "the icon is not a 32x32 PNG"

[ "$("$prefix/bin/slopemeter-cli" --version)" = "slopemeter-cli $version" ] || fail "slopemeter-cli --version"
"$prefix/bin/slopemeter-cli" --json "$sample" | grep -q '"computed":true' || fail "the installed slopemeter-cli does not measure"

if [ -n "$site" ]; then
  python=$(command -v /usr/bin/python3 python3 | head -n 1)
  result=$(cd "$prefix" && PYTHONPATH=$site "$python" -c 'import slopemeter, sys; print(slopemeter.measure(sys.argv[1])["computed"])' "$sample")
  [ "$result" = True ] || fail "the installed Python module does not measure"
fi

echo "installed tree: both programs, the desktop entry and the icon, the Python package, and nothing else"
