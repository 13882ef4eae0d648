#!/usr/bin/env bash
# Lists the job stream of every filter run in the test suite (test, order, hash, size) with the
# filter's clock fixed by libfaketime, so that the lists of two builds can be compared after a
# change that must keep every stream byte for byte:
#   scripts/record-streams.sh build before.txt   (then, after the change)
#   scripts/record-streams.sh build after.txt && diff before.txt after.txt
# Needs libfaketime (package libfaketime, or FAKETIME_LIB=/path/libfaketime.so.1).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?build directory}
out=$(realpath -m "${2:?output file}")
lib=${FAKETIME_LIB:-/usr/lib/$(gcc -print-multiarch)/faketime/libfaketime.so.1}
[ -e "$lib" ] || { echo "record-streams: no libfaketime at $lib" >&2; exit 1; }
rm -f "$out.unsorted"
KELVRA_RECORD_STREAMS="$out.unsorted" KELVRA_FILTER_PRELOAD="$lib" \
    FAKETIME="2026-01-01 12:00:00" FAKETIME_DONT_FAKE_MONOTONIC=1 \
    ctest --test-dir "$build" -R "${TESTS:-^(e2e|filter|spooler|ppd)\\.}" -j"$(nproc)" >/dev/null || {
    echo "record-streams: a test failed (ctest --test-dir $build --rerun-failed)" >&2
    exit 1
}
sort "$out.unsorted" >"$out" && rm -f "$out.unsorted"
echo "record-streams: $(wc -l <"$out") streams in $out"
