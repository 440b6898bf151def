#!/usr/bin/env bash
# Builds the Debian package with scripts/package and checks it with lintian; as root, also
# installs it with apt-get, checks the programs, the manual pages and the completion where a
# user finds them, removes it and checks that nothing of it is left.
# Usage: deb-package.sh SOURCE_FOLDER WORK_FOLDER VERSION
# Exits 77 (skipped) after lintian when it cannot install: not root, or slopemeter already installed.
set -euo pipefail
root=$1
work=$2
version=$3
fail() { echo "FAILED: $*" >&2; exit 1; }

mkdir -p "$work/out"
rm -f "$work"/out/slopemeter_*.deb
SLOPEMETER_PACKAGE_BUILD_DIR=$work/build "$root/scripts/package" "$work/out" >"$work/package.log" 2>&1 ||
  { cat "$work/package.log"; fail "scripts/package"; }
package=$(ls "$work"/out/slopemeter_*.deb)
[ "$(basename "$package")" = "slopemeter_${version}_$(dpkg --print-architecture).deb" ] ||
  fail "the package is called $(basename "$package")"

lintian --fail-on error "$package" >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian"; }
cat "$work/lintian.log"
! grep -q '^E:' "$work/lintian.log" || fail "lintian reports errors"

# What the package holds is the installed tree's test; here, that dpkg computed the dependencies.
dpkg-deb -f "$package" Depends | grep -q libqt6widgets6 || fail "the dependencies were not computed from the programs"

if [ "$(id -u)" -ne 0 ] || dpkg-query -W -f='${Status}' slopemeter 2>/dev/null | grep -q 'ok installed'; then
  echo "SKIPPED installing the package: that needs root, and a machine where slopemeter is not installed already."
  exit 77
fi
command -v man >/dev/null || fail "man is missing (package man-db): scripts/setup installs it"

# Minimal images (Docker's debian:*-slim, for one) tell dpkg to leave out every manual page. The
# page is in the package all the same; it is let through here, so that the test still sees it
# installed where man looks, and the README says how a user gets it on such a machine.
dpkg_options=(-o "Dpkg::Options::=--path-include=/usr/share/man/man1/slopemeter*")
apt() { DEBIAN_FRONTEND=noninteractive apt-get -q -y -o DPkg::Lock::Timeout=300 "${dpkg_options[@]}" "$@"; }
remove() { apt remove --purge slopemeter >"$work/remove.log" 2>&1; }
trap 'remove || true' EXIT
apt install --no-install-recommends "$package" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "apt-get install $package"; }
installed=$(dpkg -L slopemeter)

[ "$(/usr/bin/slopemeter-cli --version)" = "slopemeter-cli $version" ] || fail "/usr/bin/slopemeter-cli --version"
/usr/bin/slopemeter-cli --json "$root/samples/test.bmp" | grep -q '"computed":true' ||
  fail "the installed slopemeter-cli does not measure"
for name in slopemeter slopemeter-cli; do
  [ "$(man -w "$name")" = "/usr/share/man/man1/$name.1.gz" ] || fail "man -w $name finds '$(man -w "$name" 2>&1)'"
done
# The loader answers 124, "ask again", once it has loaded a completion.
bash -c '. /usr/share/bash-completion/bash_completion; _completion_loader slopemeter-cli;
         complete -p slopemeter-cli' | grep -q _slopemeter_cli ||
  fail "bash does not find the completion of slopemeter-cli"
if grep -q '/dist-packages/slopemeter/' <<<"$installed"; then
  # Written bytecode too, as for any user: removing the package must take it away.
  (cd / && env -u PYTHONPATH -u PYTHONDONTWRITEBYTECODE /usr/bin/python3 -c \
     "import slopemeter; print(slopemeter.__version__)") |
    grep -qx "$version" || fail "/usr/bin/python3 does not import the installed slopemeter module"
fi
echo "installed: the programs, their manual pages, the completion and the Python module work"

remove || { cat "$work/remove.log"; fail "apt-get remove --purge slopemeter"; }
trap - EXIT
! dpkg-query -W -f='${Status}' slopemeter 2>/dev/null | grep -q installed || fail "slopemeter is still known to dpkg"
while IFS= read -r path; do
  if [ -d "$path" ]; then
    # Folders that other packages share stay, as do shared folders that hold other files; the
    # package's own folders go.
    [[ ${path##*/} != *slopemeter* ]] || fail "the folder $path is left, holding: $(ls -A "$path")"
    dpkg -S "$path" >/dev/null 2>&1 || [ -n "$(ls -A "$path")" ] || fail "the empty folder $path is left"
  elif [ -e "$path" ] || [ -L "$path" ]; then
    fail "$path is left after purging"
  fi
done <<<"$installed"
echo "removed: nothing of the package is left"
