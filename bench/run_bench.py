#!/usr/bin/env python3
"""Measures the driver's components and the whole filter beside their references, in one run on
the same inputs, and prints one table. Called by bench/run.sh after the Release build.

Inputs: the bundled sample document and CUPS's default test page, rendered once per resolution
to 8-bit grey CUPS raster with gstoraster and split into one-page raster files. The filter codes
each page; kelvra-inspect decodes the filter's own output, and that bitmap (as PBM) is what
pbmtojbg85 and foo2zjs code, so all three code the same pixels.

Every figure is the median of --runs runs, with min and max beside it; times are wall clock and
CPU (user + system of the process, or the benchmark's CPU time), peak memory is the largest
resident set of the process. Ratios are taken on the CPU medians (the machine is shared; the
wall-clock ratio is shown as well).
"""

import argparse
import json
import os
import statistics
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

RASTER_HEADER = 1796  # bytes of a CUPS raster page header (v1-v3)
DOCS = {
    "sample": "tests/fixtures/docs/sample.pdf",
    "testpage": "/usr/share/cups/data/default-testpage.pdf",
    # a photo-like page from the project's raster generator: the hard case for JBIG
    "photo": "@make-sample-raster --photo",
}
# Whole-filter cases: name, PPD fixture, job options, raster resolution, colour library,
# 90-degree turn, description.
FILTER_CASES = [
    ("C-600-1bit", "platform_c.ppd", "", 600, False, False, "platform C, 600 dpi, 1 bit"),
    ("Z-600-1bit", "platform_z.ppd", "", 600, False, False, "platform Z (256-line bands), 600 dpi, 1 bit"),
    ("C-1200-1bit", "platform_c.ppd", "", 1200, False, False, "platform C, 1200 dpi, 1 bit"),
    ("M-600-2bit", "platform_m.ppd", "DPI1200=True", 600, False, False, "platform M, 600 dpi, 2 bits (own 2-bit screen)"),
    ("Mirodel-1200-2bit", "mirodel.ppd", "DPI1200=True", 1200, False, False, "Mirodel (M), 1200 dpi raster, 2 bits"),
    ("QV-600-2bit-turn90-cms", "qv.ppd", "", 600, True, True, "QV (Z), 600 dpi, 2 bits, long-edge turn by 90, colour library"),
]


def log(msg):
    print(msg, file=sys.stderr, flush=True)


MEASURE = None  # path of the compiled measure_child helper


def run_measured(argv, env=None, stdin=None):
    """Runs argv to completion through measure_child (so that the peak resident set is the
    command's own, not inherited from this Python process); returns (wall s, cpu s, peak RSS
    MB, exit status). The command's output is discarded."""
    p = subprocess.run([MEASURE, *map(str, argv)], env=env, stdin=stdin,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    line = [l for l in p.stderr.decode().splitlines() if l.startswith("measure: ")]
    if p.returncode != 0 or not line:
        raise RuntimeError(f"measure_child failed on {argv}")
    wall, user, sys_, rss, code = (int(v) for v in line[-1].split()[1:])
    return wall / 1e6, (user + sys_) / 1e6, rss / 1024.0, code


def build_measure(repo, work):
    global MEASURE
    MEASURE = str(work / "measure_child")
    subprocess.run(["cc", "-O2", "-o", MEASURE, str(repo / "bench/measure_child.c")], check=True)


def stats(values):
    return statistics.median(values), min(values), max(values)


def render(repo, work, doc, path, dpi, generator=None):
    """Renders the document to grey CUPS raster once (cached) and splits it into pages; with a
    generator, has it write a one-page raster instead."""
    out = work / f"{doc}-{dpi}.ras"
    ppd = repo / "tests/fixtures/ppd" / ("platform_z.ppd" if dpi == 600 else "platform_c.ppd")
    if generator:
        if not out.exists():
            log(f"generating {doc} at {dpi} dpi")
            subprocess.run([*generator, "--pages", "1", "--dpi", str(dpi), str(out)], check=True,
                           stdout=subprocess.DEVNULL)
    elif not out.exists() or out.stat().st_mtime < Path(path).stat().st_mtime:
        log(f"rendering {path} at {dpi} dpi")
        env = dict(os.environ, PPD=str(ppd))
        with open(out.with_suffix(".tmp"), "wb") as f:
            subprocess.run(["/usr/lib/cups/filter/gstoraster", "1", "bench", doc, "1",
                            f"Resolution={dpi}dpi", str(path)], env=env, stdout=f,
                           stderr=subprocess.DEVNULL, check=True)
        out.with_suffix(".tmp").rename(out)
    pages = []
    with open(out, "rb") as f:
        sync = f.read(4)
        n = 0
        while True:
            head = f.read(RASTER_HEADER)
            if len(head) < RASTER_HEADER:
                break
            height, = struct.unpack_from("<I", head, 376)
            bpl, = struct.unpack_from("<I", head, 392)
            data = f.read(bpl * height)
            n += 1
            page = work / f"{doc}-{dpi}-p{n}.ras"
            if not page.exists() or page.stat().st_size != 4 + RASTER_HEADER + len(data):
                page.write_bytes(sync + head + data)
            pages.append((f"{doc}-p{n}", page, struct.unpack_from("<II", head, 372)))
    return sync, pages


class Bench:
    def __init__(self, args):
        self.repo = Path(args.repo).resolve()
        self.build = Path(args.build).resolve()
        self.work = Path(args.work).resolve()
        self.work.mkdir(parents=True, exist_ok=True)
        self.runs = args.runs
        self.filter = self.build / "filter/rastertoKelvra"
        self.inspect = self.build / "tools/kelvra-inspect"
        self.cmslib = self.build / "cmslib/mirodelCMSLib-amd64.so"
        self.rows = []
        self.notes = []
        self.targets = []

    def row(self, section, case, subject, wall, cpu, rss, ratio="", target=""):
        self.rows.append((section, case, subject, wall, cpu, rss, ratio, target))

    def filter_env(self, ppd, cms):
        return dict(os.environ, PPD=str(self.repo / "tests/fixtures/ppd" / ppd),
                    KELVRA_CMS_LIBRARY=str(self.cmslib) if cms else "")

    def filter_argv(self, options, raster):
        return [str(self.filter), "1", "bench", "page", "1", options, str(raster)]

    # ---- inputs -------------------------------------------------------------------------------
    def inputs(self):
        self.pages = {600: [], 1200: []}
        self.sync = None
        for doc, rel in DOCS.items():
            if rel.startswith("@"):
                tool, *flags = rel[1:].split()
                exe = self.build / "tools" / tool
                if not exe.exists():
                    self.notes.append(f"{exe} is missing: {doc} not measured")
                    continue
                for dpi in (600, 1200):
                    self.sync, pages = render(self.repo, self.work, doc, None, dpi, [str(exe), *flags])
                    self.pages[dpi] += pages
                continue
            path = self.repo / rel if not rel.startswith("/") else Path(rel)
            if not path.exists():
                self.notes.append(f"{path} is missing: {doc} not measured")
                continue
            for dpi in (600, 1200):
                self.sync, pages = render(self.repo, self.work, doc, path, dpi)
                self.pages[dpi] += pages

    def bitmap_of(self, out, pbm):
        """Decodes page 1 of a job stream with kelvra-inspect and writes the coded bitmap as
        PBM (a 2-bit page as a 1-bit image of twice the width, as the encoder codes it)."""
        rep = subprocess.run([str(self.inspect), "--json", str(out)], capture_output=True)
        if rep.returncode != 0:
            raise RuntimeError(f"kelvra-inspect rejects {out}: {rep.stderr.decode()[:300]}")
        page = json.loads(rep.stdout)["pages"][0]
        raw = pbm.with_suffix(".raw")
        subprocess.run([str(self.inspect), "--dump-page", "1", str(raw), str(out)], check=True,
                       capture_output=True)
        data = raw.read_bytes()
        raw.unlink()
        width, height = page["coded_width"], page["height"]
        if len(data) != width // 8 * height:
            raise RuntimeError(f"{out}: decoded page has {len(data)} bytes, not {width // 8 * height}")
        pbm.write_bytes(b"P4\n%d %d\n" % (width, height) + data)
        return page

    def foo2zjs_same_pixels(self, pbm, width, height, dpi):
        """Codes the PBM with foo2zjs and decodes it with zjsdecode: True when the decoded plane
        holds exactly the PBM's pixels."""
        with tempfile.TemporaryDirectory(dir=self.work) as tmp:
            zjs = Path(tmp) / "page.zjs"
            with open(pbm, "rb") as fin, open(zjs, "wb") as fout:
                subprocess.run(self.foo2zjs_argv(width, height, dpi), stdin=fin, stdout=fout,
                               stderr=subprocess.DEVNULL, check=True)
            with open(zjs, "rb") as fin:
                subprocess.run(["zjsdecode", "-d", str(Path(tmp) / "dec")], stdin=fin,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            planes = sorted(Path(tmp).glob("dec*.pbm"))
            if len(planes) != 1:
                return False
            return pbm_pixels(planes[0]) == pbm_pixels(pbm)

    @staticmethod
    def foo2zjs_argv(width, height, dpi):
        return ["foo2zjs", f"-r{dpi}x{dpi}", f"-g{width}x{height}", "-p9"]

    # ---- component benchmarks -----------------------------------------------------------------
    def google_bench(self, exe, extra=()):
        """Runs a Google Benchmark executable with repetitions; returns ({name: (real list,
        cpu list)}, peak RSS MB of the process)."""
        out = self.work / (Path(exe).name + ".json")
        argv = [str(exe), f"--benchmark_repetitions={self.runs}", "--benchmark_format=json",
                f"--benchmark_out={out}", "--benchmark_out_format=json",
                "--benchmark_min_time=0.05", *extra]
        _, _, rss, code = run_measured(argv)
        if code != 0:
            raise RuntimeError(f"{exe} failed ({code})")
        results = {}
        for b in json.loads(out.read_text())["benchmarks"]:
            if b.get("run_type") != "iteration" or b.get("error_occurred"):
                continue
            scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b.get("time_unit", "ns")]
            name = b.get("run_name", b["name"])
            real, cpu = results.setdefault(name, ([], []))
            real.append(b["real_time"] * scale)
            cpu.append(b["cpu_time"] * scale)
        return results, rss

    def components(self):
        bench = self.build / "bench"
        # The bundled component benchmarks on their synthetic A4 pages.
        res, rss = self.google_bench(bench / "jbig_bench")
        for page in ("text600", "photo600", "white600", "text1200"):
            k, j = res.get(f"BM_Kelvra/{page}"), res.get(f"BM_Jbg85/{page}")
            if not k or not j:
                continue
            self.pair("encoder (jbig_bench)", page, "our encoder", k, "libjbig jbg85", j, rss,
                      1.5, "encoder >= 1.5x libjbig")
        res, rss = self.google_bench(bench / "halftone_bench")
        base = res.get("BM_Memcpy")
        for name, times in res.items():
            if name != "BM_Memcpy":
                self.versus("halftone_bench", "synthetic A4 4960x7016", times, "memcpy of page", base,
                            rss, name.replace("BM_", ""))
        if base:
            self.row("halftone_bench", "synthetic A4 4960x7016", "memcpy of page", fmt_ms(base[0]), fmt_ms(base[1]), f"{rss:.0f}")
        if (bench / "cmslib_bench").exists():
            res, rss = self.google_bench(bench / "cmslib_bench")
            base = res.get("BM_MemcpyGreyPage/real_time")
            for name, times in res.items():
                if not name.startswith("BM_Memcpy"):
                    self.versus("cmslib_bench", "synthetic A4 4960x7016", times, "memcpy of page",
                                base, rss, name.replace("BM_", "").replace("/real_time", ""))
            if base:
                self.row("cmslib_bench", "synthetic A4 4960x7016", "memcpy of page", fmt_ms(base[0]), fmt_ms(base[1]), f"{rss:.0f}")
        # The same components on the real pages.
        extra = [f"--cmslib={self.cmslib}"]
        for dpi in (600, 1200):
            for name, raster, _ in self.pages[dpi]:
                extra.append(f"--raster={name}@{dpi}={raster}")
        for (case, name), pbm in sorted(self.pbms.items()):
            extra.append(f"--pbm={name}@{case}={pbm}")
        res, rss = self.google_bench(bench / "pages_bench", extra)
        for (case, name), pbm in sorted(self.pbms.items()):
            k, j = res.get(f"encoder/{name}@{case}"), res.get(f"jbg85/{name}@{case}")
            if k and j:
                self.pair("encoder, real pages", f"{name} {case}", "our encoder", k, "libjbig jbg85",
                          j, rss, 1.5, "encoder >= 1.5x libjbig")
        for dpi in (600, 1200):
            for name, _, (w, h) in self.pages[dpi]:
                key = f"{name}@{dpi}"
                base = res.get(f"memcpy/{key}")
                for comp in ("halftone", "rotate180", "rotate90", "cmslib/0", "cmslib/1"):
                    nm = f"{comp}/{key}" if "/" not in comp else f"cmslib/{key}/{comp[-1]}"
                    if nm in res:
                        label = {"cmslib/0": "colour library 1 bit", "cmslib/1": "colour library 2 bits"}.get(comp, comp)
                        self.versus("components, real pages", f"{key} {w}x{h}", res[nm],
                                    "memcpy of page", base, rss, label)
                if base:
                    self.row("components, real pages", f"{key} {w}x{h}", "memcpy of page",
                             fmt_ms(base[0]), fmt_ms(base[1]), f"{rss:.0f}")

    def pair(self, section, case, ours_name, ours, ref_name, ref, rss, need, target):
        r_cpu = statistics.median(ref[1]) / statistics.median(ours[1])
        r_wall = statistics.median(ref[0]) / statistics.median(ours[0])
        met = r_cpu >= need
        self.row(section, case, ours_name, fmt_ms(ours[0]), fmt_ms(ours[1]), f"{rss:.0f}",
                 f"{r_cpu:.2f}x ({r_wall:.2f}x wall) faster", f"{'MET' if met else 'NOT MET'} ({target})")
        self.row(section, case, ref_name, fmt_ms(ref[0]), fmt_ms(ref[1]), f"{rss:.0f}")
        self.targets.append((target, f"{section} {case}", f"{r_cpu:.2f}x", met))

    def versus(self, section, case, times, base_name, base, rss, label=None):
        ratio = ""
        if base:
            ratio = (f"{statistics.median(times[1]) / statistics.median(base[1]):.2f}x {base_name} "
                     f"({statistics.median(times[0]) / statistics.median(base[0]):.2f}x wall)")
        self.row(section, case, label or case, fmt_ms(times[0]), fmt_ms(times[1]), f"{rss:.0f}", ratio)

    # ---- whole filter per page ----------------------------------------------------------------
    def prepare_filter_cases(self):
        """Runs every case once: its output must decode; its bitmap becomes the peers' PBM."""
        self.pbms = {}
        self.case_pages = []
        for case, ppd, opts, dpi, cms, turned, desc in FILTER_CASES:
            if cms and not self.cmslib.exists():
                self.notes.append(f"{case}: colour library not built, case skipped")
                continue
            env = self.filter_env(ppd, cms)
            for name, raster, (w, h) in self.pages[dpi]:
                out = self.work / f"{case}-{name}.out"
                with open(out, "wb") as f:
                    subprocess.run(self.filter_argv(opts, raster), env=env, stdout=f,
                                   stderr=subprocess.DEVNULL, check=True)
                pbm = self.work / f"{case}-{name}.pbm"
                page = self.bitmap_of(out, pbm)
                self.pbms[(case, name)] = pbm
                self.case_pages.append((case, desc, ppd, opts, dpi, cms, turned, name, raster, (w, h), page, pbm))

    def whole_filter(self):
        for case, desc, ppd, opts, dpi, cms, turned, name, raster, (rw, rh), page, pbm in self.case_pages:
            width, height = page["coded_width"], page["height"]
            same = self.foo2zjs_same_pixels(pbm, width, height, dpi)
            env = self.filter_env(ppd, cms)
            progs = {
                "filter": lambda: run_measured(self.filter_argv(opts, raster), env=env),
                "pbmtojbg85": lambda: run_measured(["pbmtojbg85", "-p", "72", "-m", "0", "-s", "256", str(pbm)]),
            }
            fin_path = str(pbm)

            def foo():
                with open(fin_path, "rb") as fin:
                    return run_measured(self.foo2zjs_argv(width, height, dpi), stdin=fin)
            progs["foo2zjs"] = foo
            got = {k: [] for k in progs}
            for _ in range(self.runs):  # round robin, so that load changes hit all three
                for k, fn in progs.items():
                    wall, cpu, rss, code = fn()
                    if code != 0:
                        raise RuntimeError(f"{k} failed on {case} {name} ({code})")
                    got[k].append((wall, cpu, rss))
            med = {k: (statistics.median(x[0] for x in v), statistics.median(x[1] for x in v))
                   for k, v in got.items()}
            label = f"{case} {name} ({width}x{height} coded, bpp {page['bpp']})"
            grey = page["width"] * page["height"]  # the grey page is the image before halftoning
            bitmap = width // 8 * height
            budget = 1.2 * (grey + bitmap) / 2**20 + 10 + (grey / 2**20 if turned else 0)
            peak = max(x[2] for x in got["filter"])
            mem_ok = peak <= budget
            ratios = []
            for peer in ("pbmtojbg85", "foo2zjs"):
                ratios.append(f"{med['filter'][1] / med[peer][1]:.2f}x {peer} ({med['filter'][0] / med[peer][0]:.2f}x wall)")
            speed_ok = med["filter"][1] <= med["pbmtojbg85"][1]
            self.row("whole filter per page", label, "filter (raster in, job out)",
                     fmt_ms([x[0] for x in got["filter"]]), fmt_ms([x[1] for x in got["filter"]]),
                     f"{peak:.0f} (budget {budget:.0f})", "; ".join(ratios),
                     f"time {'MET' if speed_ok else 'NOT MET'}, memory {'MET' if mem_ok else 'NOT MET'}")
            self.targets.append(("filter <= pbmtojbg85 (CPU)", label, f"{med['filter'][1] / med['pbmtojbg85'][1]:.2f}x", speed_ok))
            self.targets.append(("filter <= pbmtojbg85 (wall)", label, f"{med['filter'][0] / med['pbmtojbg85'][0]:.2f}x", med["filter"][0] <= med["pbmtojbg85"][0]))
            if dpi == 600:
                self.targets.append(("peak memory <= 1.2 x (grey + bitmap) + 10 MB" + (" + grey (turned)" if turned else ""),
                                     label, f"{peak:.1f} MB of {budget:.1f} MB", mem_ok))
            for peer in ("pbmtojbg85", "foo2zjs"):
                note = ""
                if peer == "foo2zjs":
                    note = "same pixels (zjsdecode)" if same else "DIFFERENT pixels"
                self.row("whole filter per page", label, peer, fmt_ms([x[0] for x in got[peer]]),
                         fmt_ms([x[1] for x in got[peer]]), f"{max(x[2] for x in got[peer]):.0f}", note)

    # ---- scaling ------------------------------------------------------------------------------
    def scaling(self, counts):
        """Jobs of 1, 10 and 100 copies of one page (the test page, the densest of the
        rendered pages) through the filter on platform C at 600 dpi: the CPU time per page
        must not grow with the job, nor the peak memory."""
        pages = [p for p in self.pages[600] if p[0] == "testpage-p1"] or self.pages[600]
        if not pages:
            return
        page = pages[0][1].read_bytes()[4:]
        per_page, peaks = {}, {}
        env = self.filter_env("platform_c.ppd", False)
        for n in counts:
            job = self.work / f"job-{n}.ras"
            with open(job, "wb") as f:
                f.write(self.sync)
                for _ in range(n):
                    f.write(page)
                f.flush()
                os.fsync(f.fileno())  # no write-back of the new file while it is measured
            got = []
            for _ in range(max(3, self.runs // 2) if n > 10 else self.runs):
                wall, cpu, rss, code = run_measured(self.filter_argv("", job), env=env)
                if code != 0:
                    raise RuntimeError(f"filter failed on the {n}-page job ({code})")
                got.append((wall / n, cpu / n, rss))
            job.unlink()
            # the least CPU time per page of the runs: other load on the machine only adds
            per_page[n] = min(x[1] for x in got)
            peaks[n] = max(x[2] for x in got)
            self.row("job length (C, 600 dpi, 1 bit)", f"{n} x {pages[0][0]}", "filter, per page",
                     fmt_ms([x[0] for x in got]), fmt_ms([x[1] for x in got]), f"{peaks[n]:.0f}",
                     f"least CPU per page {per_page[n] / per_page[counts[0]]:.2f}x the {counts[0]}-page job's")
        first, last = counts[0], counts[-1]
        flat = peaks[last] <= peaks[first] + 2
        self.targets.append(("memory flat over a long job (peak within 2 MB)", f"{first} vs {last} pages",
                             f"{peaks[first]:.1f} MB vs {peaks[last]:.1f} MB", flat))
        growth = max(per_page[b] / per_page[a] for a, b in zip(counts, counts[1:]))
        self.targets.append(("cost linear in page count (least CPU per page grows < 10%)",
                             " / ".join(f"{n}: {per_page[n] * 1e3:.1f} ms" for n in counts),
                             f"largest step {growth:.2f}x", growth <= 1.10))
        # page area: the same pages at 1200 dpi hold four times the pixels (sum over the pages
        # of each page's median CPU time)
        area = {}
        for dpi in (600, 1200):
            area[dpi] = 0.0
            for name, raster, _ in self.pages[dpi]:
                cpu = [run_measured(self.filter_argv("", raster), env=env)[1] for _ in range(self.runs)]
                area[dpi] += statistics.median(cpu)
        ratio = area[1200] / area[600]
        self.row("page area (C, 1 bit)", "all pages, 1200 vs 600 dpi (4x pixels)", "filter, 1-page jobs", "",
                 f"{area[600] * 1e3:.1f} -> {area[1200] * 1e3:.1f} ms", "", f"{ratio:.2f}x time for 4x area")
        self.targets.append(("cost linear in page area (at most 4.4x for 4x)", "1200 vs 600 dpi", f"{ratio:.2f}x for 4x area",
                             ratio <= 4.4))

    # ---- report -------------------------------------------------------------------------------
    def print_table(self):
        head = ("section", "case", "subject", "wall ms median [min-max]", "CPU ms median [min-max]",
                "peak MB", "ratio", "target")
        rows = [head] + [tuple(str(c) for c in r) for r in self.rows]
        widths = [max(len(r[i]) for r in rows) for i in range(len(head))]
        for i, r in enumerate(rows):
            print(" | ".join(c.ljust(widths[j]) for j, c in enumerate(r)).rstrip())
            if i == 0:
                print("-+-".join("-" * w for w in widths))
        print()
        print("Targets:")
        for target, case, value, met in self.targets:
            print(f"  {'MET    ' if met else 'NOT MET'}  {target}: {case}: {value}")
        for note in self.notes:
            print(f"  note: {note}")


def pbm_pixels(path):
    data = Path(path).read_bytes()
    fields, i = [], 0
    while len(fields) < 3:
        while data[i:i + 1].isspace():
            i += 1
        j = i
        while not data[j:j + 1].isspace():
            j += 1
        fields.append(data[i:j])
        i = j
    return int(fields[1]), int(fields[2]), data[i + 1:]


def fmt_ms(values):
    med, lo, hi = stats(values)
    return f"{med * 1e3:.1f} [{lo * 1e3:.1f}-{hi * 1e3:.1f}]"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--repo", required=True)
    ap.add_argument("--build", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--pages", default="1,10,100", help="job lengths of the scaling run")
    ap.add_argument("--skip", default="", help="comma list of sections to skip: components,filter,scaling")
    args = ap.parse_args()
    skip = set(filter(None, args.skip.split(",")))
    b = Bench(args)
    build_measure(b.repo, b.work)
    b.inputs()
    b.prepare_filter_cases()
    if "filter" not in skip:
        b.whole_filter()
    if "components" not in skip:
        b.components()
    if "scaling" not in skip:
        b.scaling([int(n) for n in args.pages.split(",")])
    b.print_table()
    return 0


if __name__ == "__main__":
    sys.exit(main())
