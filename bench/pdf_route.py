#!/usr/bin/env python3
"""The two ways a PDF job reaches the filter, side by side in one run on the same long document:
the PDF route (FINAL_CONTENT_TYPE application/vnd.cups-pdf: the filter runs Ghostscript's raster
filter itself and reads its raster page by page) and the raster route (gstoraster | filter, as
CUPS chains them). For each: the time to the first byte of the printer stream, the total time,
and the peak use of the temporary directory (sampled every 20 ms), at 600 and 1200 dpi.

    pdf_route.py --repo REPO --build BUILD --work WORK [--copies 36] [--runs 1]

The document is the bundled three-page sample repeated --copies times (108 pages by default).
"""

import argparse
import os
import shutil
import statistics
import subprocess
import tempfile
import threading
import time
from pathlib import Path

GSTORASTER = "/usr/lib/cups/filter/gstoraster"


def dir_bytes(path):
    total = 0
    for root, _, files in os.walk(path):
        for f in files:
            try:
                total += os.lstat(os.path.join(root, f)).st_size
            except OSError:
                pass
    return total


class Sampler(threading.Thread):
    """Polls the size of a directory tree until stopped; keeps the peak."""

    def __init__(self, path):
        super().__init__(daemon=True)
        self.path, self.peak, self.stop = path, 0, threading.Event()

    def run(self):
        while not self.stop.is_set():
            self.peak = max(self.peak, dir_bytes(self.path))
            time.sleep(0.02)


def timed(cmd_stages, stdin_path, env):
    """Runs a pipeline of commands (the last one writes the printer stream) and returns (first
    byte s, total s, stream bytes, peak TMPDIR bytes)."""
    tmp = env["TMPDIR"]
    sampler = Sampler(tmp)
    sampler.start()
    start = time.monotonic()
    procs = []
    prev = open(stdin_path, "rb") if stdin_path else subprocess.DEVNULL
    for i, cmd in enumerate(cmd_stages):
        last = i == len(cmd_stages) - 1
        p = subprocess.Popen(cmd, stdin=prev, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             env=env)
        if prev not in (subprocess.DEVNULL,) and hasattr(prev, "close"):
            prev.close()
        prev = p.stdout
        procs.append(p)
    first = None
    total = 0
    while True:
        chunk = procs[-1].stdout.read1(65536) if hasattr(procs[-1].stdout, "read1") else procs[-1].stdout.read(65536)
        if not chunk:
            break
        if first is None:
            first = time.monotonic() - start
        total += len(chunk)
    for p in procs:
        p.wait()
    end = time.monotonic() - start
    sampler.stop.set()
    sampler.join()
    codes = [p.returncode for p in procs]
    if any(codes):
        raise SystemExit(f"pipeline {cmd_stages} failed: {codes}")
    return first or end, end, total, sampler.peak


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--repo", required=True)
    ap.add_argument("--build", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--copies", type=int, default=36)
    ap.add_argument("--runs", type=int, default=1)
    args = ap.parse_args()
    repo, build, work = Path(args.repo), Path(args.build), Path(args.work)
    work.mkdir(parents=True, exist_ok=True)
    doc = work / f"long-{args.copies * 3}.pdf"
    if not doc.exists():
        sample = repo / "tests/fixtures/docs/sample.pdf"
        subprocess.run(["pdfunite", *[str(sample)] * args.copies, str(doc)], check=True)
    filt = build / "filter/rastertoKelvra"
    raster_ppd = build / "ppd/ppd/kelvra-r10.ppd"
    pdf_ppd = build / "ppd/pdf/kelvra-r10.ppd"
    pdf_mb = doc.stat().st_size / 1e6
    print(f"Document: {doc.name}, {args.copies * 3} pages, {pdf_mb:.1f} MB; model Kelvra R10 "
          f"(platform C); median of {args.runs} run(s)")
    print(f"{'route':34} {'dpi':>5} {'first byte s':>13} {'total s':>9} {'stream MB':>10} "
          f"{'peak TMPDIR MB':>15}")
    for dpi in (600, 1200):
        options = f"Resolution={dpi}dpi"
        rows = {}
        for route in ("raster: gstoraster | filter", "PDF: filter (PDF on stdin)"):
            results = []
            for _ in range(args.runs):
                tmp = tempfile.mkdtemp(dir=work)
                env = dict(os.environ, TMPDIR=tmp, KELVRA_CMS_LIBRARY="")
                if route.startswith("raster"):
                    env["PPD"] = str(raster_ppd)
                    stages = [[GSTORASTER, "1", "bench", "doc", "1", options, str(doc)],
                              [str(filt), "1", "bench", "doc", "1", options]]
                    results.append(timed(stages, None, env))
                else:
                    env["PPD"] = str(pdf_ppd)
                    env["FINAL_CONTENT_TYPE"] = "application/vnd.cups-pdf"
                    stages = [[str(filt), "1", "bench", "doc", "1", options]]
                    results.append(timed(stages, doc, env))
                shutil.rmtree(tmp, ignore_errors=True)
            med = [statistics.median(r[i] for r in results) for i in range(4)]
            rows[route] = med
            print(f"{route:34} {dpi:>5} {med[0]:>13.2f} {med[1]:>9.2f} {med[2] / 1e6:>10.1f} "
                  f"{med[3] / 1e6:>15.1f}")
        raster, pdf = rows["raster: gstoraster | filter"], rows["PDF: filter (PDF on stdin)"]
        print(f"{'  PDF route / raster route':34} {dpi:>5} {pdf[0] / raster[0]:>13.2f} "
              f"{pdf[1] / raster[1]:>9.2f} {'':>10} {'PDF + ' + format((pdf[3] / 1e6) - pdf_mb, '.1f') + ' MB':>15}")


if __name__ == "__main__":
    main()
