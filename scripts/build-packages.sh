#!/usr/bin/env bash
# Builds the Debian packages printer-driver-kelvra and kelvra-printer-app from this tree on
# Debian 12: installs what debian/control names for the build when it is missing, runs
# `dpkg-buildpackage -us -uc -b` (a Release build with Debian's hardening flags, the whole test
# suite run by dh_auto_test unless DEB_BUILD_OPTIONS holds nocheck) and moves the packages, the
# .changes and .buildinfo files from the parent directory into out/packages/. Prints the
# .changes file's path last.
#
#   DEB_BUILD_OPTIONS  default parallel=<cores>
#   KELVRA_WERROR=ON   compiler warnings are errors (CI)
# Extra arguments go to dpkg-buildpackage.
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

profiles=${DEB_BUILD_PROFILES:-}
if ! command -v dpkg-checkbuilddeps >/dev/null ||
   ! dpkg-checkbuilddeps ${profiles:+-P"${profiles// /,}"} >/dev/null 2>&1; then
    echo "build-packages: installing the build dependencies"
    $SUDO apt-get update -q
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get install -y -q --no-install-recommends dpkg-dev
    $SUDO apt-get build-dep -y -q --no-install-recommends ${profiles:+-P "${profiles// /,}"} ./
fi

export DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-parallel=$(nproc)}
dpkg-buildpackage -us -uc -b "$@"

# dpkg-buildpackage writes into the parent directory; the .changes file lists what it wrote.
version=$(dpkg-parsechangelog -S Version)
changes=../kelvra_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).changes
mkdir -p out/packages
files=$(sed -n '/^Files:/,/^[^ ]/s/^ [0-9a-f]\{32\} [0-9]* [^ ]* [^ ]* //p' "$changes")
for f in $files; do mv -f "../$f" out/packages/; done
mv -f "$changes" out/packages/
ls -l out/packages/
echo "out/packages/${changes##*/}"
