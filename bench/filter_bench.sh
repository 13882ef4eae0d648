#!/bin/sh
# Times the whole filter on five-page A4 jobs: text-like and photo-like pages at 600 and at
# 1200 dpi, on a platform C, a platform Z and a platform M model. Builds a Release tree of its
# own, generates the raster files once, runs each job RUNS times and prints the median, minimum
# and maximum wall time, pages per second (at the median) and the peak resident memory.
#
#   bench/filter_bench.sh [RUNS]        (default 5; BUILD_DIR overrides build-bench)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build-bench}
RUNS=${1:-5}
PAGES=5
TIME=/usr/bin/time

if [ ! -x "$TIME" ]; then
    echo "filter_bench: $TIME is missing (Debian package 'time')" >&2
    exit 1
fi

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" -j2 --target rastertoKelvra make-sample-raster >/dev/null

FILTER=$BUILD/filter/rastertoKelvra
GEN=$BUILD/tools/make-sample-raster
DATA=$BUILD/bench-data
mkdir -p "$DATA"

# Raster files: five A4 pages each, compressed as the spooler's raster filter writes them.
for dpi in 600 1200; do
    for kind in text photo; do
        f=$DATA/a4-$kind-$dpi.ras
        if [ ! -s "$f" ]; then
            flag=""
            [ "$kind" = photo ] && flag="--photo"
            "$GEN" --pages $PAGES --dpi $dpi $flag --compressed "$f"
        fi
    done
done

# median / min / max of the numbers on standard input, one per line
stats() {
    sort -n | awk '{ v[NR] = $1 } END {
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%.3f %.3f %.3f\n", m, v[1], v[NR] }'
}

printf '%-10s %-6s %-5s %9s %9s %9s %9s %10s\n' model pages dpi median_s min_s max_s pages/s peak_MiB
for ppd in platform_c platform_z platform_m; do
    for dpi in 600 1200; do
        for kind in text photo; do
            f=$DATA/a4-$kind-$dpi.ras
            times=$DATA/times.txt
            : >"$times"
            peak=0
            i=0
            while [ $i -lt "$RUNS" ]; do
                PPD=$ROOT/tests/fixtures/ppd/$ppd.ppd KELVRA_CMS_LIBRARY= \
                    "$TIME" -f '%e %M' -o "$DATA/time.txt" \
                    "$FILTER" 1 bench bench 1 "" "$f" >"$DATA/out.bin" 2>"$DATA/err.txt" || {
                    echo "filter_bench: the filter failed on $f ($ppd)" >&2
                    tail -3 "$DATA/err.txt" >&2
                    exit 1
                }
                read -r secs kib <"$DATA/time.txt"
                echo "$secs" >>"$times"
                [ "$kib" -gt "$peak" ] && peak=$kib
                i=$((i + 1))
            done
            set -- $(stats <"$times")
            rate=$(awk -v p=$PAGES -v t="$1" 'BEGIN { printf "%.2f", (t > 0 ? p / t : 0) }')
            printf '%-10s %-6s %-5s %9s %9s %9s %9s %10.1f\n' "$ppd" "$kind" "$dpi" "$1" "$2" "$3" \
                "$rate" "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')"
        done
    done
done
