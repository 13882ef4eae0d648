#!/usr/bin/env python3
"""Measures two builds of the filter side by side on the pages bench/run.sh rendered: the same
page through the old and the new filter in turn (the order alternates, so that load changes hit
both), median CPU and peak resident set of each, and the new/old ratio. For checking that a
change kept speed and memory:

    bench/run.sh --skip components,scaling          # renders the pages, builds measure_child
    bench/compare_builds.py --old OLD/build-perf --new build-perf --work build-perf/bench-work
"""
import argparse
import os
import statistics
import subprocess
from pathlib import Path

CASES = [("C-600", "platform_c.ppd", ""), ("Z-600", "platform_z.ppd", ""),
         ("M-600-2bit", "platform_m.ppd", "DPI1200=True")]
PAGES = ["sample-600-p1", "sample-600-p2", "sample-600-p3", "testpage-600-p1", "photo-600-p1"]


def measure(work, build, ppd, options, page):
    """CPU ms and peak MB of one filter run on one page."""
    env = dict(os.environ, PPD=str(ppd), KELVRA_CMS_LIBRARY="")
    argv = [str(work / "measure_child"), str(build / "filter/rastertoKelvra"), "1", "bench", "page",
            "1", options, str(work / f"{page}.ras")]
    p = subprocess.run(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    line = [l for l in p.stderr.decode().splitlines() if l.startswith("measure: ")]
    if p.returncode != 0 or not line:
        raise RuntimeError(f"measure_child failed on {argv}")
    _, user, sys_, rss, code = (int(v) for v in line[-1].split()[1:])
    if code != 0:
        raise RuntimeError(f"the filter failed on {argv} ({code})")
    return (user + sys_) / 1e3, rss / 1024.0


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--old", required=True, type=Path)
    ap.add_argument("--new", required=True, type=Path)
    ap.add_argument("--work", required=True, type=Path)
    ap.add_argument("--runs", type=int, default=11)
    a = ap.parse_args()
    ppds = Path(__file__).resolve().parent.parent / "tests/fixtures/ppd"
    print(f"{'case':28} {'old CPU ms':>10} {'new CPU ms':>10} {'new/old':>8} {'old MB':>7} {'new MB':>7}")
    for case, ppd, options in CASES:
        for page in PAGES:
            got = {"old": [], "new": []}
            for i in range(a.runs):
                for which in ("old", "new") if i % 2 == 0 else ("new", "old"):
                    build = a.old if which == "old" else a.new
                    got[which].append(measure(a.work, build, ppds / ppd, options, page))
            cpu = {k: statistics.median(x[0] for x in v) for k, v in got.items()}
            peak = {k: max(x[1] for x in v) for k, v in got.items()}
            print(f"{case + ' ' + page:28} {cpu['old']:10.1f} {cpu['new']:10.1f} "
                  f"{cpu['new'] / cpu['old']:8.2f} {peak['old']:7.1f} {peak['new']:7.1f}", flush=True)


if __name__ == "__main__":
    main()
