#!/usr/bin/env bash
# One command for every benchmark of the driver: builds in Release mode in its own build
# directory, then measures side by side, in one run and on the same pages, the JBIG encoder
# against libjbig's, halftoning, the page turns and the colour library against memcpy of the
# page, and the whole filter per page against pbmtojbg85 and foo2zjs; prints one table; then the
# PDF route against the raster route on a 108-page document, and the Printer Application against
# the raster route on a 100-page document (BENCH_SKIP_ROUTES=1 skips both). With --chains, only
# the chains from PDF to printer stream: the driver's routes beside foo2zjs, SpliX and brlaser,
# on a long text document and an image-heavy one (bench/chains.py).
#
#   bench/run.sh [--runs N] [--pages 1,10,100] [--skip components,filter,scaling]
#   bench/run.sh --chains [--runs N]
#
# Environment: BENCH_BUILD_DIR (default build-perf), BENCH_WORK_DIR (rendered pages and
# outputs; default BUILD/bench-work). Needs gstoraster (cups-filters), jbigkit-bin and
# printer-driver-foo2zjs (--chains: also printer-driver-brlaser, printer-driver-splix and
# cups-ppdc); a missing one is installed with apt-get when running as root.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_BUILD_DIR:-$repo/build-perf}"
work="${BENCH_WORK_DIR:-$build/bench-work}"
chains=
if [ "${1:-}" = --chains ]; then
    chains=1
    shift
fi

need=()
if [ -n "$chains" ]; then
    [ -x /usr/lib/cups/filter/rastertobrlaser ] || need+=(printer-driver-brlaser)
    [ -x /usr/lib/cups/filter/rastertoqpdl ] || need+=(printer-driver-splix)
    command -v ppdc >/dev/null || need+=(cups-ppdc)
fi
command -v pbmtojbg85 >/dev/null || need+=(jbigkit-bin)
command -v foo2zjs >/dev/null || need+=(printer-driver-foo2zjs)
[ -x /usr/lib/cups/filter/gstoraster ] || need+=(cups-filters)
if [ ${#need[@]} -gt 0 ]; then
    if [ "$(id -u)" = 0 ]; then
        apt-get install -y "${need[@]}" >/dev/null
    else
        echo "run.sh: please install ${need[*]}" >&2
        exit 2
    fi
fi

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
if [ -n "$chains" ]; then
    cmake --build "$build" -j"$(nproc)" --target rastertoKelvra kelvra-inspect kelvra_ppds \
        kelvra-printer-app >/dev/null
    exec python3 "$repo/bench/chains.py" --repo "$repo" --build "$build" --work "$work/chains" "$@"
fi
cmake --build "$build" -j"$(nproc)" --target rastertoKelvra kelvra-inspect make-sample-raster mirodelCMSLib kelvra_ppds \
    kelvra-printer-app \
    jbig_bench halftone_bench cmslib_bench pages_bench >/dev/null

python3 "$repo/bench/run_bench.py" --repo "$repo" --build "$build" --work "$work" "$@"
# The PDF route (the filter converts the PDF itself) beside the raster route on a long document.
[ -n "${BENCH_SKIP_ROUTES:-}" ] ||
    python3 "$repo/bench/pdf_route.py" --repo "$repo" --build "$build" --work "$work/routes"
# The Printer Application (its own server, a file: device) beside the raster route.
[ -n "${BENCH_SKIP_ROUTES:-}" ] ||
    python3 "$repo/bench/app_route.py" --repo "$repo" --build "$build" --work "$work/app-route"
