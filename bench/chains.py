#!/usr/bin/env python3
"""PDF to printer stream at 600 dpi on A4, chain by chain, side by side in one run on the same
two documents (a long text document and an image-heavy one, made here: chains_docs.py):

  Kelvra PDF route fast   rastertoKelvra given the PDF (FINAL_CONTENT_TYPE application/vnd.cups-pdf)
                          with KELVRA_FAST_ROUTE=1 (Ghostscript halftones with the job's screen)
  Kelvra PDF route 8-bit  the same with KELVRA_FAST_ROUTE=0 (Ghostscript renders 8-bit grey)
  Kelvra raster route     gstoraster | rastertoKelvra
  kelvra-printer-app      its own server, a file: device, the PDF sent with submit
  foo2zjs                 foo2zjs-wrapper (Ghostscript pbmraw, JBIG), options of a LaserJet 1020
  SpliX                   gstoraster | rastertoqpdl (Samsung ML-2010)
  brlaser                 gstoraster | rastertobrlaser (Brother HL-L2300D)

The filter chains run as CUPS runs them: argv (job, user, title, copies, options, file for the
first filter), the PPD variable naming each driver's own PPD (the peers' made with ppdc from
the .drv files their packages ship), content types and a private TMPDIR. Each chain runs under
measure_child in one bash: wall time to its end (the last byte), CPU time of every process of
the chain (children included), and peak memory as the resident set of the largest process of
the chain. For the app: submission to the last byte at the device, CPU of the server and of its
children (Ghostscript), and the largest of the server's peak during the job and its children's.
The chains take turns in every run; figures are medians of --runs runs.

    chains.py --repo REPO --build BUILD --work WORK [--runs N] [--json FILE]
              [--text-pages 100] [--image-pages 20]
"""

import argparse
import json
import os
import shlex
import shutil
import statistics
import subprocess
import sys
from pathlib import Path

import app_route
import chains_docs
import run_bench

FILTERS = Path("/usr/lib/cups/filter")
OPTIONS = "PageSize=A4 Resolution=600dpi"
PEER_DRV = {"brlaser": ("/usr/share/cups/drv/brlaser.drv", "brl2300d.ppd"),
            "splix": ("/usr/share/cups/drv/splix-samsung.drv", "ml2010.ppd")}
FOO2ZJS = ["foo2zjs-wrapper", "-z1", "-P", "-L0", "-r600x600", "-p9", "-m1", "-n1", "-d1", "-s7"]
BASES = ("brlaser", "splix")  # the chains every other chain is compared with
PACKAGES = {"rastertobrlaser": "printer-driver-brlaser", "rastertoqpdl": "printer-driver-splix",
            "foo2zjs-wrapper": "printer-driver-foo2zjs", "gstoraster": "cups-filters",
            "ps2pdf": "ghostscript", "ppdc": "cups-ppdc"}


def log(msg):
    print(msg, file=sys.stderr, flush=True)


def peer_ppd(work, name):
    """Compiles the peer's own .drv with ppdc (once) and returns the PPD of its model."""
    drv, ppd = PEER_DRV[name]
    out = work / "ppd" / name
    if not (out / ppd).exists():
        out.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["ppdc", "-d", str(out), "-I", str(Path(drv).parent), drv], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not (out / ppd).exists():
        raise SystemExit(f"ppdc made no {ppd} from {drv}")
    return out / ppd


class Chains:
    def __init__(self, args):
        self.repo = Path(args.repo).resolve()
        self.build = Path(args.build).resolve()
        self.work = Path(args.work).resolve()
        self.work.mkdir(parents=True, exist_ok=True)
        self.runs = args.runs
        self.filter = self.build / "filter/rastertoKelvra"
        self.model = args.model
        ppds = self.build / "ppd"
        self.kelvra_ppd = {"raster": ppds / "ppd" / f"kelvra-{args.model}.ppd",
                           "pdf": ppds / "pdf" / f"kelvra-{args.model}.ppd"}
        self.tmp = self.work / "tmp"
        self.out = self.work / "out"
        self.out.mkdir(exist_ok=True)

    def cups_argv(self, prog, doc=None):
        argv = [str(prog), "1", "bench", "chains", "1", OPTIONS]
        return argv + [str(doc)] if doc else argv

    def env(self, ppd, final_type, **extra):
        return dict(os.environ, PPD=str(ppd), CONTENT_TYPE="application/pdf",
                    FINAL_CONTENT_TYPE=final_type, TMPDIR=str(self.tmp), KELVRA_CMS_LIBRARY="",
                    **extra)

    def chains(self):
        """(key, label, stages, env) per chain: stages gives, for a document, the argvs piped in
        turn (None for the app, which runs in its own server)."""
        raster = "application/vnd.cups-raster"
        pdf_env = self.env(self.kelvra_ppd["pdf"], "application/vnd.cups-pdf")
        chains = [
            ("pdf", "Kelvra PDF route, KELVRA_FAST_ROUTE=1",
             lambda d: [self.cups_argv(self.filter, d)], dict(pdf_env, KELVRA_FAST_ROUTE="1")),
            ("pdf8", "Kelvra PDF route, KELVRA_FAST_ROUTE=0",
             lambda d: [self.cups_argv(self.filter, d)], dict(pdf_env, KELVRA_FAST_ROUTE="0")),
            ("raster", "gstoraster | rastertoKelvra",
             lambda d: [self.cups_argv(FILTERS / "gstoraster", d), self.cups_argv(self.filter)],
             self.env(self.kelvra_ppd["raster"], raster)),
            ("app", "kelvra-printer-app (submit to last byte)", None, None),
            ("foo2zjs", "foo2zjs-wrapper (LaserJet 1020)", lambda d: [FOO2ZJS + [str(d)]],
             dict(os.environ, TMPDIR=str(self.tmp))),
        ]
        peers = (("splix", "rastertoqpdl", "gstoraster | rastertoqpdl (SpliX, ML-2010)"),
                 ("brlaser", "rastertobrlaser", "gstoraster | rastertobrlaser (HL-L2300D)"))
        for key, prog, label in peers:
            chains.append((key, label,
                           lambda d, p=prog: [self.cups_argv(FILTERS / "gstoraster", d),
                                              self.cups_argv(FILTERS / p)],
                           self.env(peer_ppd(self.work, key), raster)))
        return chains

    def run_pipeline(self, key, stages, env):
        """Runs the stages as one pipeline under measure_child; (wall s, CPU s, peak MB, stream
        bytes). On a failure, runs it again unmeasured to show its error output."""
        out = self.out / f"{key}.out"
        script = " | ".join(shlex.join(s) for s in stages) + " > " + shlex.quote(str(out))
        shutil.rmtree(self.tmp, ignore_errors=True)
        self.tmp.mkdir()
        wall, cpu, rss, code = run_bench.run_measured(["bash", "-o", "pipefail", "-c", script],
                                                      env=env)
        size = out.stat().st_size if out.exists() else 0
        if code != 0 or size == 0:
            p = subprocess.run(["bash", "-o", "pipefail", "-c", script], env=env,
                               capture_output=True, text=True)
            errors = [l for l in p.stderr.splitlines() if not l.startswith(("DEBUG", "INFO"))]
            raise SystemExit(f"chain {key} failed ({code}, {size} bytes): {script}\n" +
                             "\n".join(errors[-10:]))
        return wall, cpu, rss, size

    def check_pages(self, key, pages):
        """A Kelvra stream must decode with kelvra-inspect and hold every page of the job."""
        inspect = self.build / "tools/kelvra-inspect"
        if not inspect.exists():
            return
        rep = subprocess.run([str(inspect), "--json", str(self.out / f"{key}.out")],
                             capture_output=True)
        if rep.returncode != 0:
            raise SystemExit(f"kelvra-inspect rejects the stream of {key}: {rep.stderr[:300]}")
        got = len(json.loads(rep.stdout)["pages"])
        if got != pages:
            raise SystemExit(f"the stream of {key} holds {got} pages, not {pages}")

    def run(self, docs):
        """Every chain on every document, --runs times in turn; returns the result records."""
        chains = self.chains()
        results = []
        server = app_route.AppServer(self.build, self.work)
        try:
            device = server.dir / "out"
            device.mkdir()
            server.run("add", "-d", "bench", "-m", f"kelvra-{self.model}", "-v", f"file://{device}")
            for doc_key, doc, pages in docs:
                got = {key: [] for key, *_ in chains}
                for run in range(self.runs):
                    for key, label, stages, env in chains:
                        log(f"{doc_key} run {run + 1}: {label}")
                        if key == "app":
                            job = app_route.app_job(server, "bench", device, doc,
                                                    ["-o", "print-quality=normal", "-o",
                                                     "media=iso_a4_210x297mm"])
                            got[key].append((job.last, job.cpu, max(job.peak, job.child_peak),
                                             job.size))
                            shutil.copy(next(device.iterdir()), self.out / "app.out")
                        else:
                            got[key].append(self.run_pipeline(key, stages(doc), env))
                        if key in ("pdf", "pdf8", "raster", "app"):
                            self.check_pages(key, pages)
                for key, label, *_ in chains:
                    runs = got[key]
                    results.append({
                        "document": doc_key, "pages": pages, "chain": key, "label": label,
                        "wall_s": [r[0] for r in runs], "cpu_s": [r[1] for r in runs],
                        "peak_rss_mb": [r[2] for r in runs], "stream_bytes": runs[-1][3]})
        finally:
            server.close()
        add_ratios(results)
        return results


def add_ratios(results):
    """Adds to each record its medians per page and its ratios to the base chains' medians on
    the same document (above 1: slower than the base)."""
    for r in results:
        r["wall_per_page_s"] = statistics.median(r["wall_s"]) / r["pages"]
        r["cpu_per_page_s"] = statistics.median(r["cpu_s"]) / r["pages"]
        r["peak_mb"] = max(r["peak_rss_mb"])
    for r in results:
        for base in BASES:
            b = next((x for x in results if x["document"] == r["document"] and x["chain"] == base),
                     None)
            if b:
                r[f"wall_x_{base}"] = r["wall_per_page_s"] / b["wall_per_page_s"]
                r[f"cpu_x_{base}"] = r["cpu_per_page_s"] / b["cpu_per_page_s"]


def targets(results):
    """The targets of the fast route, each as (text, met) with the figures it rests on."""
    def get(doc, chain, field):
        return next((r[field] for r in results if r["document"] == doc and r["chain"] == chain),
                    None)
    out = []
    for chain in ("pdf", "app"):
        checks = [("text", "wall_x_brlaser", 1.5, "<= 1.5 x brlaser"),
                  ("text", "wall_x_splix", 1.0, "< SpliX"),
                  ("images", "wall_x_splix", 1.0, "< SpliX")]
        for doc, field, limit, text in checks:
            v = get(doc, chain, field)
            if v is not None:
                met = v <= limit if limit != 1.0 else v < limit
                out.append((f"{chain} on {doc}: wall {text}: {v:.2f}x", met))
        v, f = get("images", chain, "wall_per_page_s"), get("images", "foo2zjs", "wall_per_page_s")
        if v is not None and f:
            out.append((f"{chain} on images: wall < foo2zjs: {v / f:.2f}x", v < f))
    return out


def per_page(values, pages):
    """The median per page, with the least and the largest beside it when there are several."""
    med = f"{statistics.median(values) / pages:.3f}"
    if len(values) < 2:
        return med
    return f"{med} ({min(values) / pages:.3f}-{max(values) / pages:.3f})"


def markdown(results, runs):
    head = ["document", "chain", "wall s/page (min-max)", "CPU s/page (min-max)", "peak MB",
            "stream MB", "wall x brlaser", "wall x SpliX", "CPU x brlaser", "CPU x SpliX"]
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for r in results:
        lines.append("| " + " | ".join([
            f"{r['document']} ({r['pages']} p.)", r["label"].replace("|", "\\|"),
            per_page(r["wall_s"], r["pages"]), per_page(r["cpu_s"], r["pages"]),
            f"{r['peak_mb']:.1f}", f"{r['stream_bytes'] / 1e6:.1f}",
            *(f"{r[k]:.2f}" if k in r else "" for k in
              ("wall_x_brlaser", "wall_x_splix", "cpu_x_brlaser", "cpu_x_splix"))]) + " |")
    lines.append("")
    lines.append(f"Medians of {runs} run(s), one chain after the other in every run. Peak MB: "
                 "the resident set of the largest process of the chain, Ghostscript on most (for "
                 "the app the larger of the server and its children). Ratios above 1: slower.")
    return "\n".join(lines)


def check_tools():
    """Every program of the chains must be there; names the Debian package of a missing one."""
    missing = sorted({pkg for prog, pkg in PACKAGES.items()
                      if not shutil.which(prog) and not (FILTERS / prog).exists()})
    if missing:
        raise SystemExit(f"chains.py: please install {' '.join(missing)}")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--repo", required=True)
    ap.add_argument("--build", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--model", default="r10")
    ap.add_argument("--text-pages", type=int, default=100)
    ap.add_argument("--image-pages", type=int, default=20)
    ap.add_argument("--json", help="where to write the results (default WORK/chains.json)")
    args = ap.parse_args()
    check_tools()
    bench = Chains(args)
    run_bench.build_measure(bench.repo, bench.work)
    docs_dir = bench.work / "docs"
    docs_dir.mkdir(exist_ok=True)
    log("making the documents")
    docs = [("text", chains_docs.text_document(docs_dir, args.text_pages), args.text_pages),
            ("images", chains_docs.image_document(docs_dir, args.image_pages), args.image_pages)]
    results = bench.run(docs)
    print(markdown(results, args.runs))
    print()
    for text, met in targets(results):
        print(f"- {'MET' if met else 'NOT MET'}: {text}")
    out = Path(args.json) if args.json else bench.work / "chains.json"
    out.write_text(json.dumps({"runs": args.runs, "options": OPTIONS, "model": args.model,
                               "documents": {k: str(d) for k, d, _ in docs},
                               "results": results,
                               "targets": [{"target": t, "met": m} for t, m in targets(results)]},
                              indent=1))
    log(f"results written to {out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
