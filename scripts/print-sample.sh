#!/usr/bin/env bash
# The main job: sets up and builds, then prints a bundled document through the filter on a
# bundled PPD and writes the printer job stream to out/sample.prn.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
mkdir -p out
PPD_FILE=${PPD_FILE:-tests/fixtures/ppd/platform_z.ppd}
RASTER=out/sample.ras
build/tools/make-sample-raster "$RASTER"
PPD="$PPD_FILE" build/filter/rastertoKelvra 1 "$USER" sample 1 "" "$RASTER" > out/sample.prn
echo "job stream: out/sample.prn ($(stat -c %s out/sample.prn) bytes)"
