"""python3 -m slopemeter.dask on a local cluster prints exactly what slopemeter-cli prints."""
import csv
import glob
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import numpy as np
from distributed import LocalCluster

from clitools import DATA, line_picture, run_cli, write_bmp


def run_dask(*arguments):
    return subprocess.run([sys.executable, "-m", "slopemeter.dask", *arguments],
                          capture_output=True, text=True, timeout=240)


class DaskCommand(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        rng = np.random.default_rng(8786)
        for index in range(200):
            write_bmp(os.path.join(cls.folder, f"p{index:03}.bmp"), line_picture(rng, 30, 40))
        # Failures among the good ones, and a name that CSV must quote.
        shutil.copy(os.path.join(DATA, "bad", "text.bmp"), os.path.join(cls.folder, "p050-bad.bmp"))
        shutil.copy(os.path.join(DATA, "bad", "pixels-cut-short.bmp"),
                    os.path.join(cls.folder, "p150 cut, \"short\".bmp"))
        cls.pattern = os.path.join(cls.folder, "*.bmp")
        cls.files = sorted(glob.glob(cls.pattern))
        cls.cluster = LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=":0")

    @classmethod
    def tearDownClass(cls):
        cls.cluster.close()
        shutil.rmtree(cls.folder)

    def assertSameRun(self, ours, cli, stdout):
        self.assertEqual(ours.stdout, stdout)
        self.assertEqual(ours.stderr.replace("slopemeter.dask: ", ""),
                         cli.stderr.replace("slopemeter-cli: ", ""))
        self.assertEqual((ours.returncode, cli.returncode), (1, 1))

    def test_captions_and_json_as_the_cli_prints_them(self):
        for style in ([], ["--json"]):
            with self.subTest(style=style):
                ours = run_dask(*style, "--level", "60", "--scheduler", self.cluster.scheduler_address,
                                self.pattern)
                cli = run_cli(*style, "--level", "60", *self.files)
                self.assertSameRun(ours, cli, cli.stdout)

    def test_csv_reads_back_as_the_json_results(self):
        ours = run_dask("--csv", "--scheduler", self.cluster.scheduler_address, self.pattern)
        cli = run_cli("--csv", *self.files)
        self.assertSameRun(ours, cli, cli.stdout)
        rows = list(csv.reader(io.StringIO(ours.stdout, newline="")))
        self.assertEqual(rows[0], "file,frame,fr_x,fr_y,re_x,re_y,slope,angle,computed,error".split(","))
        results = [json.loads(line) for line in run_cli("--json", *self.files).stdout.splitlines()]
        for row, result in zip(rows[1:], results, strict=True):
            if "error" in result:
                self.assertEqual(row, [result["file"]] + [""] * 8 + [result["error"]])
            else:
                self.assertEqual(row[0], result["file"])
                self.assertEqual([int(n) for n in row[2:6]], result["fr"] + result["re"])
                self.assertEqual(float(row[6]), result["slope"])
                self.assertEqual(row[7], str(result.get("angle", "")) if row[7] else "")
                self.assertEqual(row[8], json.dumps(result["computed"]))

    def test_its_own_local_cluster_without_a_scheduler(self):
        files = self.files[45:55]
        cli = run_cli(*files)
        self.assertSameRun(run_dask(*files), cli, cli.stdout)
