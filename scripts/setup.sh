#!/usr/bin/env bash
# Installs what the driver and the Printer Application need on a Debian 12 machine (when
# missing), then configures and builds into build/. Extra arguments go to the CMake configure
# step.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(cmake g++ make pkg-config libcups2-dev libcupsimage2-dev cups-filters ghostscript
          libgtest-dev libgmock-dev libbenchmark-dev libjbig-dev jbigkit-bin libpng-dev libjpeg-dev
          cups-ppdc cups-client cups-daemon cups clang libclang-rt-14-dev poppler-utils
          libpappl-dev cups-ipp-utils chromium libpam0g-dev libavahi-client-dev
          iproute2 curl passwd zlib1g-dev)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    echo "setup: installing ${missing[*]}"
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@"
cmake --build "$BUILD_DIR" -j"$(nproc)"
