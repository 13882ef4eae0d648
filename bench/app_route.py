#!/usr/bin/env python3
"""The Printer Application beside the filter's raster route, side by side in one run on the same
long PDF: the app (its server started here, a printer on a file: device, the PDF sent with the
submit sub-command) and gstoraster | rastertoKelvra as CUPS chains them. For each job: the time
from submission to the first byte at the device, to the last byte, and the peak resident set of
the app's server process during the job (of the filter process on the raster route). Ghostscript
runs as a process of its own on both routes and is counted on neither.

    app_route.py --repo REPO --build BUILD --work WORK [--pages 100] [--runs 2] [--dpi 600]
                 [--memory-jobs 100]

The document is the bundled three-page sample, its pages repeated in turn up to --pages pages.
Then --memory-jobs one-page jobs in a row on the same server: its resident set after the first,
the tenth and the last of them, to show that memory stays flat from job to job.
"""

import argparse
import collections
import http.client
import os
import shutil
import socket
import statistics
import struct
import subprocess
import time
from pathlib import Path

GSTORASTER = "/usr/lib/cups/filter/gstoraster"
POLL = 0.02  # seconds between two looks at the device file


def make_document(repo, work, pages):
    doc = work / f"long-{pages}.pdf"
    if doc.exists():
        return doc
    parts = work / "sample-pages"
    parts.mkdir(exist_ok=True)
    subprocess.run(["pdfseparate", str(repo / "tests/fixtures/docs/sample.pdf"),
                    str(parts / "p-%d.pdf")], check=True)
    singles = sorted(parts.glob("p-*.pdf"), key=lambda p: int(p.stem[2:]))
    subprocess.run(["pdfunite", *[str(singles[i % len(singles)]) for i in range(pages)], str(doc)],
                   check=True)
    return doc


def status_kb(pid, field):
    """VmRSS or VmHWM of a process in kB (0 when it cannot be read)."""
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def cpu_seconds(pid):
    """User and system CPU time of a process and of the children it has waited for, in seconds
    (0 when it cannot be read)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return 0.0
    return sum(int(v) for v in fields[11:15]) / os.sysconf("SC_CLK_TCK")


def children_peak_kb(pid):
    """The largest peak resident set (VmHWM) among the running children of a process, in kB."""
    peak = 0
    try:
        tasks = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return 0
    for task in tasks:
        try:
            with open(f"/proc/{pid}/task/{task}/children") as f:
                kids = f.read().split()
        except OSError:
            continue
        for kid in kids:
            peak = max(peak, status_kb(kid, "VmHWM"))
    return peak


def reset_peak(pid):
    """Restarts the process's peak resident set (VmHWM) from its current size; False when the
    kernel does not let us."""
    try:
        with open(f"/proc/{pid}/clear_refs", "w") as f:
            f.write("5")
        return True
    except OSError:
        return False


def ipp_attr(tag, name, value):
    name, value = name.encode(), value if isinstance(value, bytes) else value.encode()
    return (bytes([tag]) + struct.pack(">H", len(name)) + name + struct.pack(">H", len(value)) +
            value)


def job_state(port, printer, job_id):
    """job-state of a job, by Get-Job-Attributes (0 when there is no answer)."""
    uri = f"ipp://localhost:{port}/ipp/print/{printer}"
    body = (struct.pack(">BBHI", 2, 0, 0x0009, 1) + b"\x01" +
            ipp_attr(0x47, "attributes-charset", "utf-8") +
            ipp_attr(0x48, "attributes-natural-language", "en") +
            ipp_attr(0x45, "printer-uri", uri) +
            ipp_attr(0x21, "job-id", struct.pack(">i", job_id)) +
            ipp_attr(0x42, "requesting-user-name", "bench") +
            ipp_attr(0x44, "requested-attributes", "job-state") + b"\x03")
    try:
        conn = http.client.HTTPConnection("localhost", port, timeout=10)
        conn.request("POST", f"/ipp/print/{printer}", body, {"Content-Type": "application/ipp"})
        data = conn.getresponse().read()
        conn.close()
    except OSError:
        return 0
    i = 8
    while i < len(data):
        tag = data[i]
        i += 1
        if tag < 0x10:
            if tag == 0x03:
                break
            continue
        n = struct.unpack(">H", data[i:i + 2])[0]
        name = data[i + 2:i + 2 + n]
        i += 2 + n
        m = struct.unpack(">H", data[i:i + 2])[0]
        value = data[i + 2:i + 2 + m]
        i += 2 + m
        if name == b"job-state":
            return int.from_bytes(value, "big")
    return 0


class AppServer:
    """A private server of the app: a free loopback port, TLS off, its own spool directory, log
    and name (as root the server keeps /var/lib/NAME.state and /run/NAME.sock; removed at the
    end). Stopped with SIGTERM, then SIGKILL: its shutdown sub-command can take a minute."""

    def __init__(self, build, work):
        self.dir = work / "app"
        shutil.rmtree(self.dir, ignore_errors=True)
        (self.dir / "tmp").mkdir(parents=True)
        self.name = f"kelvra-bench-{os.getpid()}"
        self.prog = self.dir / self.name
        self.prog.symlink_to(build / "app/kelvra-printer-app")
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        d = str(self.dir)
        self.env = dict(os.environ, HOME=d, XDG_CONFIG_HOME=d, TMPDIR=str(self.dir / "tmp"),
                        KELVRA_CMS_LIBRARY="")
        self.proc = subprocess.Popen(
            [str(self.prog), "server", "-o", f"server-port={self.port}", "-o",
             "listen-hostname=localhost", "-o", "server-options=no-tls", "-o",
             f"spool-directory={d}/spool", "-o", f"log-file={d}/server.log", "-o",
             "log-level=warn"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env=self.env)
        for _ in range(200):
            try:
                socket.create_connection(("localhost", self.port), timeout=1).close()
                break
            except OSError:
                if self.proc.poll() is not None:
                    raise SystemExit(f"the app's server stopped; see {d}/server.log")
                time.sleep(0.1)
        time.sleep(1)  # a printer up for 0 s confuses its first job

    def run(self, *args):
        p = subprocess.run([str(self.prog), *args], env=self.env, capture_output=True, text=True)
        if p.returncode != 0:
            raise SystemExit(f"{self.name} {' '.join(args)} failed: {p.stderr.strip()}")
        return p.stdout

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        if os.getuid() == 0:
            for f in (f"/var/lib/{self.name}.state", f"/run/{self.name}.sock"):
                if os.path.exists(f):
                    os.unlink(f)


AppJob = collections.namedtuple("AppJob", "first last size peak before cpu child_peak")


def app_job(server, printer, out_dir, doc, options):
    """Submits the document and watches the device file: first byte s, last byte s, stream
    bytes, peak RSS MB of the server during the job, RSS MB before it, CPU s of the server and
    of the children it waited for (Ghostscript), the largest peak RSS MB of its children seen
    while polling."""
    for f in out_dir.iterdir():
        f.unlink()
    pid = server.proc.pid
    before = status_kb(pid, "VmRSS")
    exact = reset_peak(pid)
    sampled, child_peak = before, 0
    cpu_before = cpu_seconds(pid)
    start = time.monotonic()
    submit = subprocess.Popen([str(server.prog), "submit", "-d", printer, *options, str(doc)],
                              env=server.env, stdout=subprocess.PIPE, text=True)
    job_id, first, last, size, next_check = 0, None, None, 0, 0.0
    while True:
        now = time.monotonic() - start
        files = list(out_dir.iterdir())
        cur = files[0].stat().st_size if files else 0
        if cur > 0 and first is None:
            first = now
        if cur != size:
            size, last = cur, now
        sampled = max(sampled, status_kb(pid, "VmRSS"))
        child_peak = max(child_peak, children_peak_kb(pid))
        if not job_id and submit.poll() is not None:
            out = submit.stdout.read().strip()
            if submit.returncode != 0 or "-" not in out:
                raise SystemExit(f"submit failed: {out}")
            job_id = int(out.rsplit("-", 1)[1])
        if job_id and now >= next_check:
            state = job_state(server.port, printer, job_id)
            if state >= 7:  # canceled, aborted, completed
                if state != 9:
                    raise SystemExit(f"job {job_id} ended in state {state}")
                break
            next_check = now + 0.05
        time.sleep(POLL)
    # The file is closed when the job completes: its final size counts.
    files = list(out_dir.iterdir())
    if files and files[0].stat().st_size != size:
        size, last = files[0].stat().st_size, time.monotonic() - start
    peak = status_kb(pid, "VmHWM") if exact else sampled
    return AppJob(first, last, size, peak / 1024, before / 1024, cpu_seconds(pid) - cpu_before,
                  child_peak / 1024)


def filter_job(build, doc, ppd, options, work):
    """gstoraster | rastertoKelvra: (first byte s, last byte s, stream bytes, peak RSS MB of the
    filter process)."""
    tmp = work / "filter-tmp"
    shutil.rmtree(tmp, ignore_errors=True)
    tmp.mkdir()
    env = dict(os.environ, TMPDIR=str(tmp), KELVRA_CMS_LIBRARY="", PPD=str(ppd))
    start = time.monotonic()
    gs = subprocess.Popen([GSTORASTER, "1", "bench", "doc", "1", options, str(doc)],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
    filt = subprocess.Popen([str(build / "filter/rastertoKelvra"), "1", "bench", "doc", "1",
                             options],
                            stdin=gs.stdout, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            env=env)
    gs.stdout.close()
    first, size = None, 0
    while True:
        chunk = filt.stdout.read1(65536)
        if not chunk:
            break
        if first is None:
            first = time.monotonic() - start
        size += len(chunk)
    last = time.monotonic() - start
    _, status, usage = os.wait4(filt.pid, 0)
    filt.returncode = os.waitstatus_to_exitcode(status)
    gs.wait()
    if filt.returncode or gs.returncode:
        raise SystemExit(f"raster route failed: gstoraster {gs.returncode}, "
                         f"filter {filt.returncode}")
    shutil.rmtree(tmp, ignore_errors=True)
    return first, last, size, usage.ru_maxrss / 1024


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--repo", required=True)
    ap.add_argument("--build", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--pages", type=int, default=100)
    ap.add_argument("--runs", type=int, default=2)
    ap.add_argument("--dpi", type=int, nargs="+", default=[600], choices=[600, 1200])
    ap.add_argument("--model", default="r10")
    ap.add_argument("--memory-jobs", type=int, default=100)
    args = ap.parse_args()
    repo, build, work = Path(args.repo), Path(args.build).resolve(), Path(args.work).resolve()
    work.mkdir(parents=True, exist_ok=True)
    doc = make_document(repo, work, args.pages)
    ppd = build / f"ppd/ppd/kelvra-{args.model}.ppd"
    print(f"Document: {doc.name}, {args.pages} pages, {doc.stat().st_size / 1e6:.1f} MB; model "
          f"kelvra-{args.model}; {args.runs} job(s) per route, one after the other")
    print(f"{'route':36} {'dpi':>5} {'job':>4} {'first byte s':>13} {'last byte s':>12} "
          f"{'stream MB':>10} {'peak RSS MB':>12}")
    server = AppServer(build, work)
    try:
        out_dir = server.dir / "out"
        out_dir.mkdir()
        server.run("add", "-d", "bench", "-m", f"kelvra-{args.model}", "-v", f"file://{out_dir}")
        for dpi in args.dpi:
            quality = "normal" if dpi == 600 else "high"
            rows = {"app": [], "filter": []}
            for run in range(1, args.runs + 1):
                f, l, size, peak, before = app_job(server, "bench", out_dir, doc,
                                                   ["-o", f"print-quality={quality}"])[:5]
                rows["app"].append((f, l))
                print(f"{'app: submit, PDF filter, file: device':36} {dpi:>5} {run:>4} {f:>13.2f} "
                      f"{l:>12.2f} {size / 1e6:>10.1f} {peak:>12.1f}  "
                      f"(server before: {before:.1f})")
                f, l, size, peak = filter_job(build, doc, ppd, f"Resolution={dpi}dpi", work)
                rows["filter"].append((f, l))
                print(f"{'raster: gstoraster | filter':36} {dpi:>5} {run:>4} {f:>13.2f} {l:>12.2f} "
                      f"{size / 1e6:>10.1f} {peak:>12.1f}")
            med = {k: [statistics.median(r[i] for r in v) for i in range(2)]
                   for k, v in rows.items()}
            print(f"{'  app / raster route (medians)':36} {dpi:>5} {'':>4} "
                  f"{med['app'][0] / med['filter'][0]:>13.2f} "
                  f"{med['app'][1] / med['filter'][1]:>12.2f}")
        if args.memory_jobs:
            one_page = work / "sample-pages/p-1.pdf"
            rss = []
            for _ in range(args.memory_jobs):
                app_job(server, "bench", out_dir, one_page, [])
                rss.append(status_kb(server.proc.pid, "VmRSS") / 1024)
            marks = sorted({0, min(9, len(rss) - 1), len(rss) - 1})
            print(f"Server resident set over {len(rss)} one-page jobs: " +
                  ", ".join(f"after job {i + 1} {rss[i]:.1f} MB" for i in marks) +
                  (f"; jobs 10 to {len(rss)}: {(rss[-1] - rss[marks[1]]) * 1024 / max(1, len(rss) - 10):+.1f} kB per job"
                   if len(rss) > 10 else ""))
    finally:
        server.close()


if __name__ == "__main__":
    main()
