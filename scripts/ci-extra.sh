#!/usr/bin/env bash
# Extra CI: the Debian packages (their build is the Release build with Debian's hardening flags,
# without dh_auto_test: the suite has run in build/ and runs again under the sanitizers below,
# PACKAGE_CHECK=1 runs it there too; lintian; installed with apt, tested as installed by
# autopkgtest, purged without a trace), then the whole suite built with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan), failing on any report; then every libFuzzer target
# (clang, build-fuzz) run for a short time on its seed corpus. Warnings are errors in every
# build. Run from anywhere as root; exits non-zero on the first failure.
#
#   FUZZ_SECONDS  seconds per fuzz target (default 15)
#   PACKAGE_CHECK=1  the package build runs the whole suite in Release (dh_auto_test)
#   JOBS          parallel build and test jobs (default: number of cores)
#   SKIP_FUZZ=1   only the packages and the sanitizer test suite
#   PACKAGES_ONLY=1  only the packages
set -euo pipefail
cd "$(dirname "$0")/.."

FUZZ_SECONDS=${FUZZ_SECONDS:-15}
JOBS=${JOBS:-$(nproc)}
FUZZ_TARGETS=(raster options pin_print jbig cms inspect)

# Any sanitizer report ends the process with a failure (-fno-sanitize-recover is in the flags).
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

start=$(date +%s)
stamp() { echo "ci-extra: $1 ($(($(date +%s) - start)) s)"; }

# 1. The packages. Packages left installed by an earlier run that stopped half-way go first.
PACKAGES=(printer-driver-kelvra kelvra-printer-app)
dpkg --purge "${PACKAGES[@]}" >/dev/null 2>&1 || true
mkdir -p out
tools=()
for t in lintian autopkgtest; do
    dpkg-query -W -f='${Status}' "$t" 2>/dev/null | grep -q "install ok installed" || tools+=("$t")
done
if [ ${#tools[@]} -gt 0 ]; then
    { apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        "${tools[@]}"; } >out/apt-tools.log 2>&1 || { cat out/apt-tools.log; exit 1; }
fi
build_options="parallel=$JOBS"
[ "${PACKAGE_CHECK:-0}" = 1 ] || build_options+=" nocheck"
if ! KELVRA_WERROR=ON DEB_BUILD_OPTIONS="$build_options" scripts/build-packages.sh >out/build-packages.log 2>&1; then
    tail -n 200 out/build-packages.log
    echo "ci-extra: the package build failed (out/build-packages.log)"
    exit 1
fi
sed -n '/tests passed, /,/^Total Test time/p' out/build-packages.log
changes=$(tail -n 1 out/build-packages.log)
debs=()
for p in "${PACKAGES[@]}"; do debs+=(./out/packages/"${p}"_*.deb); done
du -k "${debs[@]}" | awk '{ print "ci-extra: " $2 ": " $1 " KiB" }'
stamp "packages built (Release build$([ "${PACKAGE_CHECK:-0}" = 1 ] && echo ", test suite passed"))"

# Lintian: no error, no warning (overrides carry their reason in debian/*.lintian-overrides).
lintian --fail-on error,warning "$changes"
stamp "lintian: no errors or warnings"

DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${debs[@]}" >out/apt-install.log 2>&1
dpkg -L "${PACKAGES[@]}" | sort -u >out/package-files
# autopkgtest copies the source tree it is given: only what the tests read, not the builds;
# -B: the tests use the installed packages, nothing is built.
rm -rf out/autopkgtest out/autopkgtest-src
mkdir -p out/autopkgtest-src/debian
cp -a debian/control debian/changelog debian/tests out/autopkgtest-src/debian/
cp -a tests out/autopkgtest-src/
autopkgtest -B --output-dir out/autopkgtest ./out/autopkgtest-src/ -- null >out/autopkgtest.log 2>&1 ||
    { tail -n 100 out/autopkgtest.log; cat out/autopkgtest/summary 2>/dev/null; exit 1; }
sed 's/^/ci-extra: autopkgtest /' out/autopkgtest/summary
stamp "autopkgtest passed on the installed packages"

# Purge: nothing of the packages stays (a directory may stay only while another package owns it,
# or as the system's own link, such as /lib to usr/lib),
# nor the files the app's server made for itself, and CUPS lists none of the models.
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "${PACKAGES[@]}" >out/apt-purge.log 2>&1
left=()
while read -r f; do
    [ -e "$f" ] || [ -L "$f" ] || continue
    [ -d "$f" ] && { [ "$f" = /. ] || [ -L "$f" ] || dpkg -S "$f" >/dev/null 2>&1; } && continue
    left+=("$f")
done < <(cat out/package-files; printf '%s\n' /var/lib/kelvra-printer-app.state \
    /var/spool/kelvra-printer-app /run/kelvra-printer-app.sock \
    /etc/systemd/system/multi-user.target.wants/kelvra-printer-app.service)
[ ${#left[@]} -eq 0 ] || { echo "ci-extra: left after the purge: ${left[*]}"; exit 1; }
cupsd_base=$(mktemp -d)
tests/support/private_cupsd.sh prepare "$cupsd_base"
tests/support/private_cupsd.sh run "$cupsd_base" &
cupsd_pid=$!
for _ in $(seq 100); do CUPS_SERVER=$cupsd_base/sock lpstat -r 2>/dev/null | grep -q "is running" && break; sleep 0.1; done
models=$(CUPS_SERVER=$cupsd_base/sock lpinfo -m) || { kill "$cupsd_pid"; echo "ci-extra: lpinfo -m failed"; exit 1; }
kill "$cupsd_pid"; wait "$cupsd_pid" || true; rm -rf "$cupsd_base"
if grep -qi kelvra <<<"$models"; then echo "ci-extra: lpinfo -m still lists: $(grep -i kelvra <<<"$models" | head -3)"; exit 1; fi
stamp "purged: $(wc -l <out/package-files) package paths gone, lpinfo -m lists no model"
[ "${PACKAGES_ONLY:-0}" = 1 ] && exit 0

# 2. Sanitizer build and the whole CTest suite. Line tables only (-g1): half the compile time
# of full debug information, and reports still name file and line.
BUILD_DIR=build-asan scripts/setup.sh -DKELVRA_SANITIZE=ON -DKELVRA_WERROR=ON -DKELVRA_BENCH=OFF \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" >/dev/null
stamp "build-asan built"
# The two catalogue walks (every PPD choice, every model and option through both front ends)
# repeat code paths the rest of the suite runs under the sanitizers; they take a third of its time.
ctest --test-dir build-asan --output-on-failure -j"$JOBS" -E '^(ppd\.choices|app\.same_as_filter)$'
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
