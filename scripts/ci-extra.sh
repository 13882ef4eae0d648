#!/usr/bin/env bash
# Extra CI: the whole test suite in a Release build (build-release, as the README builds by
# hand), then built with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan), failing
# on any report; then every libFuzzer target (clang, build-fuzz) run for a short time on its
# seed corpus. Warnings are errors in every build. Run from anywhere; exits non-zero on the
# first failure.
#
#   FUZZ_SECONDS  seconds per fuzz target (default 30)
#   JOBS          parallel build and test jobs (default: number of cores)
#   SKIP_FUZZ=1   only the sanitizer test suite
set -euo pipefail
cd "$(dirname "$0")/.."

FUZZ_SECONDS=${FUZZ_SECONDS:-30}
JOBS=${JOBS:-$(nproc)}
FUZZ_TARGETS=(raster options pin_print jbig cms inspect)

# Any sanitizer report ends the process with a failure (-fno-sanitize-recover is in the flags).
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

start=$(date +%s)
stamp() { echo "ci-extra: $1 ($(($(date +%s) - start)) s)"; }

# 1. Release build and the whole CTest suite (setup.sh installs missing packages).
BUILD_DIR=build-release BUILD_TYPE=Release scripts/setup.sh -DKELVRA_WERROR=ON -DKELVRA_BENCH=OFF >/dev/null
stamp "build-release built"
ctest --test-dir build-release --output-on-failure -j"$JOBS"
stamp "Release test suite passed"

# 2. Sanitizer build and the whole CTest suite.
BUILD_DIR=build-asan scripts/setup.sh -DKELVRA_SANITIZE=ON -DKELVRA_WERROR=ON -DKELVRA_BENCH=OFF >/dev/null
stamp "build-asan built"
ctest --test-dir build-asan --output-on-failure -j"$JOBS"
stamp "sanitizer test suite passed"

[ "${SKIP_FUZZ:-0}" = 1 ] && exit 0

# 3. Fuzz targets: clang only, libFuzzer plus the sanitizers, only the fuzz targets built.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKELVRA_FUZZ=ON -DKELVRA_SANITIZE=ON -DKELVRA_WERROR=ON -DKELVRA_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$JOBS" --target "${FUZZ_TARGETS[@]/#/fuzz_}" >/dev/null
stamp "fuzz targets built"

# One target per core at a time; each writes new inputs to a scratch corpus (the committed
# seeds are read only) and hides the target's standard output (close_fd_mask).
fuzz_one() {
    local t=$1 work=$2
    mkdir -p "$work/corpus"
    local rc=0
    build-fuzz/tests/fuzz/fuzz_"$t" -max_total_time="$FUZZ_SECONDS" -timeout=60 \
        -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$work/" \
        "$work/corpus" "tests/fuzz/corpus/$t" >"$work/log" 2>&1 || rc=$?
    echo "$rc" >"$work/rc"
}
declare -A dirs
for t in "${FUZZ_TARGETS[@]}"; do
    dirs[$t]=$(mktemp -d)
    fuzz_one "$t" "${dirs[$t]}" &
    while [ "$(jobs -rp | wc -l)" -ge "$JOBS" ]; do sleep 1; done
done
wait

failed=0
for t in "${FUZZ_TARGETS[@]}"; do
    work=${dirs[$t]}
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    if [ "$(cat "$work/rc")" = 0 ]; then
        echo "ci-extra: fuzz_$t: ${runs:-?} inputs in ${FUZZ_SECONDS} s, no finding"
        rm -rf "$work"
        continue
    fi
    failed=1
    echo "ci-extra: fuzz_$t FAILED; its last output:"
    tail -n 60 "$work/log"
    for a in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
        [ -e "$a" ] && echo "ci-extra: reproducer $a: $(od -An -tx1 -v "$a" | tr -d ' \n' | head -c 400)"
    done
done
stamp "fuzzing done"
exit $failed
