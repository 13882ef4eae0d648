"""Checks of the chains benchmark's own parts: its documents, the pipeline measurement, the app's
CPU and memory probes and the ratios. Run by hand:
    python3 -m unittest discover -s bench -p '*_test.py'"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

import app_route
import chains
import chains_docs
import run_bench

BURN = "import time\nt = time.process_time()\nwhile time.process_time() - t < 0.3: pass"
HOLD = "import sys\nb = bytearray({mb} << 20)\nb[::4096] = b'x' * len(b[::4096])\n{then}"


class ChainsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.work = Path(cls.dir.name)
        repo = Path(__file__).resolve().parent.parent
        run_bench.build_measure(repo, cls.work)
        args = argparse.Namespace(repo=repo, build=repo / "build-perf", work=cls.work, runs=1,
                                  model="r10")
        cls.bench = chains.Chains(args)

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def test_documents_are_a4_pages_of_text_and_8_bit_images(self):
        text = chains_docs.text_document(self.work, 3)
        images = chains_docs.image_document(self.work, 2)
        for pdf, pages in ((text, 3), (images, 2)):
            info = subprocess.run(["pdfinfo", str(pdf)], capture_output=True, text=True).stdout
            self.assertRegex(info, rf"Pages:\s+{pages}\n")
            self.assertRegex(info, r"Page size:\s+595 x 842 pts")
        words = subprocess.run(["pdftotext", "-f", "3", "-l", "3", str(text), "-"],
                               capture_output=True, text=True).stdout.split()
        self.assertGreater(len(words), 300)
        listing = subprocess.run(["pdfimages", "-list", str(images)], capture_output=True,
                                 text=True).stdout.splitlines()[2:]
        shapes = sorted((int(f[3]), int(f[4]), f[5], int(f[7])) for f in map(str.split, listing))
        self.assertEqual(shapes, sorted([(1000, 750, "gray", 8), (256, 1, "gray", 8),
                                         (1600, 1600, "gray", 8)] * 2))

    def test_a_pipeline_counts_every_process_and_fails_with_any_stage(self):
        py = sys.executable
        burn = [py, "-c", BURN]
        hold = [py, "-c", HOLD.format(mb=60, then="sys.stdout.write('x')")]
        cases = [  # stages, least CPU s, least peak MB, most peak MB
            ([burn + ["a"], burn + ["b"], ["echo", "x"]], 0.55, 0, 1000),
            ([hold, hold[:2] + [HOLD.format(mb=60, then="sys.stdout.write(sys.stdin.read())")]],
             0, 60, 110),
        ]
        for stages, cpu, low, high in cases:
            with self.subTest(stages=len(stages)):
                _, got_cpu, peak, size = self.bench.run_pipeline("t", stages, dict(os.environ))
                self.assertGreaterEqual(got_cpu, cpu)
                self.assertGreaterEqual(peak, low)  # the largest process, not their sum
                self.assertLess(peak, high)
        for stages in ([["false"], ["echo", "x"]], [["true"]]):
            with self.subTest(failing=stages), self.assertRaises(SystemExit):
                self.bench.run_pipeline("t", stages, dict(os.environ))

    def test_the_app_probes_see_children_cpu_and_memory(self):
        before = app_route.cpu_seconds(os.getpid())
        subprocess.run([sys.executable, "-c", BURN], check=True)
        self.assertGreaterEqual(app_route.cpu_seconds(os.getpid()) - before, 0.25)
        hold = HOLD.format(mb=50, then="print(1, flush=True)\nsys.stdin.read()")
        with subprocess.Popen([sys.executable, "-c", hold], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE) as child:
            child.stdout.readline()  # the memory is touched
            self.assertGreaterEqual(app_route.children_peak_kb(os.getpid()), 50 << 10)
            child.stdin.close()

    def test_each_peer_gets_its_own_600_dpi_a4_ppd_naming_the_filter_it_runs(self):
        for key, stages, env in ((k, s, e) for k, _, s, e in self.bench.chains() if k in
                                 chains.PEER_DRV):
            with self.subTest(peer=key):
                ppd = Path(env["PPD"]).read_text(errors="replace")
                self.assertIn("*DefaultResolution: 600dpi", ppd)
                self.assertRegex(ppd, r"\*PageSize A4[/:]")
                last = Path(stages(Path("doc.pdf"))[-1][0]).name
                self.assertRegex(ppd, rf'\*cupsFilter2?: "application/vnd.cups-raster .* {last}"')

    def test_ratios_are_taken_against_the_base_chains_of_the_same_document(self):
        def rec(doc, chain, wall, cpu, pages=10):
            return {"document": doc, "chain": chain, "pages": pages, "cpu_s": [cpu],
                    "wall_s": [wall, wall * 3, wall], "peak_rss_mb": [5, 7], "stream_bytes": 1}
        results = [rec("text", "brlaser", 1, 1), rec("text", "splix", 4, 2),
                   rec("text", "pdf", 1.4, 3), rec("images", "brlaser", 10, 1, 5),
                   rec("images", "splix", 20, 1, 5), rec("images", "foo2zjs", 19, 1, 5),
                   rec("images", "pdf", 19.5, 1, 5), rec("text", "app", 1.6, 1)]
        chains.add_ratios(results)
        pdf = results[2]
        for got, want in ((pdf["wall_x_brlaser"], 1.4), (pdf["wall_x_splix"], 0.35),
                          (pdf["cpu_x_splix"], 1.5), (pdf["peak_mb"], 7),
                          (results[6]["wall_x_brlaser"], 1.95)):
            self.assertAlmostEqual(got, want)
        met = {re.sub(r": [\d.]+x$", "", t): m for t, m in chains.targets(results)}
        self.assertEqual(met, {"pdf on text: wall <= 1.5 x brlaser": True,
                               "pdf on text: wall < SpliX": True,
                               "pdf on images: wall < SpliX": True,
                               "pdf on images: wall < foo2zjs": False,
                               "app on text: wall <= 1.5 x brlaser": False,
                               "app on text: wall < SpliX": True})
        self.assertIn("gstoraster \\| x", chains.markdown([dict(pdf, label="gstoraster | x")], 1))


if __name__ == "__main__":
    unittest.main()
