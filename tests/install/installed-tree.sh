#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks that the tree holds the two programs, the
# desktop entry, the icon, the manual pages, the bash completion, the AppStream metadata and the
# licence, and nothing else. Usage: installed-tree.sh BUILD_FOLDER VERSION SAMPLE
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
share/bash-completion/completions/slopemeter-cli
share/doc/slopemeter/changelog.gz
share/doc/slopemeter/copyright
share/icons/hicolor/32x32/apps/slopemeter.png
share/man/man1/slopemeter-cli.1.gz
share/man/man1/slopemeter.1.gz
share/metainfo/org.example.slopemeter.metainfo.xml"
# A temporary prefix is neither /usr nor /usr/local: the Python package goes where Python looks
# under ~/.local or a virtual environment.
site=""
if [ -d "$build/python/slopemeter" ]; then
  site=$(find "$prefix/lib" -maxdepth 2 -name site-packages -path "*/python3.*/*")
  [ -n "$site" ] || fail "the Python package was not installed in lib/python3.X/site-packages"
  module=$(cd "$build/python/slopemeter" && ls _slopemeter.*.so)
  expected=$(printf '%s\n' "$expected" ${site#$prefix/}/slopemeter/{__init__.py,__init__.pyi,dask.py,names.py,printing.py,py.typed,$module} | sort)
fi
held=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
[ "$held" = "$expected" ] || fail "the installed tree holds:"$'\n'"$held"

[ -x "$prefix/bin/slopemeter" ] && [ -x "$prefix/bin/slopemeter-cli" ] || fail "the programs are not executable"

desktop=$prefix/share/applications/slopemeter.desktop
grep -qx 'Exec=slopemeter %f' "$desktop" && grep -q '^MimeType=image/bmp;' "$desktop" && grep -qx 'Icon=slopemeter' "$desktop" ||
  fail "the desktop entry does not start slopemeter on a picture with its icon"
! command -v desktop-file-validate >/dev/null || desktop-file-validate "$desktop" || fail "the desktop entry is not valid"

[ "$(identify -format '%m %wx%h' "$prefix/share/icons/hicolor/32x32/apps/slopemeter.png")" = "PNG 32x32" ] || fail "the icon is not a 32x32 PNG"

# Manual pages that man shows without a complaint from either formatter.
for page in "$prefix"/share/man/man1/*.1.gz; do
  complaints=$( { zcat "$page" | groff -ww -man -Tutf8 -z; zcat "$page" | mandoc -T lint -W warning; } 2>&1) ||
    fail "$(basename "$page"): $complaints"
  [ -z "$complaints" ] || fail "$(basename "$page"):"$'\n'"$complaints"
  [ "$(gzip -l "$page" | awk 'NR == 2 {print $2}')" -gt 2000 ] || fail "$(basename "$page") is nearly empty"
done

# validate-tree also checks that the metadata's desktop entry is in the tree.
appstreamcli validate-tree --no-net --pedantic "$prefix" >/dev/null ||
  fail "the AppStream metadata: $(appstreamcli validate-tree --no-net --pedantic "$prefix")"

[ "$("$prefix/bin/slopemeter-cli" --version)" = "slopemeter-cli $version" ] || fail "slopemeter-cli --version"
"$prefix/bin/slopemeter-cli" --json "$sample" | grep -q '"computed":true' || fail "the installed slopemeter-cli does not measure"

if [ -n "$site" ]; then
  python=$(command -v /usr/bin/python3 python3 | head -n 1)
  result=$(cd "$prefix" && PYTHONPATH=$site "$python" -c 'import slopemeter, sys; print(slopemeter.measure(sys.argv[1])["computed"])' "$sample")
  [ "$result" = True ] || fail "the installed Python module does not measure"
fi

echo "installed tree: both programs, the desktop entry, the icon, the manual pages, the completion, the AppStream metadata, the licence and the Python package, and nothing else"
