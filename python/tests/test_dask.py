"""python3 -m slopemeter.dask on a local cluster prints exactly what slopemeter-cli prints."""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import numpy as np
from distributed import LocalCluster

from clitools import DATA, line_picture, run_cli, write_picture


def run_dask(*arguments):
    return subprocess.run([sys.executable, "-m", "slopemeter.dask", *arguments],
                          capture_output=True, text=True, timeout=240)


class DaskCommand(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        rng = np.random.default_rng(8786)
        for index in range(200):
            write_picture(os.path.join(cls.folder, f"p{index:03}.ppm"), line_picture(rng, 30, 40))
        # Failures among the good ones, and a name that CSV must quote.
        shutil.copy(os.path.join(DATA, "bad", "text.bmp"), os.path.join(cls.folder, "p050-bad.bmp"))
        shutil.copy(os.path.join(DATA, "bad", "pixels-cut-short.bmp"),
                    os.path.join(cls.folder, "p150 cut, \"short\".bmp"))
        cls.pattern = os.path.join(cls.folder, "p*")
        cls.files = sorted(glob.glob(cls.pattern))
        cls.cluster = LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=":0")

    @classmethod
    def tearDownClass(cls):
        cls.cluster.close()
        shutil.rmtree(cls.folder)

    def assertSameRun(self, ours, cli):
        self.assertEqual(ours.stdout, cli.stdout)
        self.assertEqual(ours.stderr.replace("slopemeter.dask: ", ""),
                         cli.stderr.replace("slopemeter-cli: ", ""))
        self.assertEqual((ours.returncode, cli.returncode), (1, 1))

    def test_captions_json_and_csv_as_the_cli_prints_them(self):
        for style in ([], ["--json"], ["--csv"]):
            with self.subTest(style=style):
                ours = run_dask(*style, "--level", "60", "--scheduler", self.cluster.scheduler_address,
                                self.pattern)
                self.assertSameRun(ours, run_cli(*style, "--level", "60", *self.files))

    def test_its_own_local_cluster_without_a_scheduler(self):
        self.assertSameRun(run_dask(*self.files[45:55]), run_cli(*self.files[45:55]))
