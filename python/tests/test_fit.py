"""measure(..., fit=True) and the Dask command's --fit give slopemeter-cli --fit's fit."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

import numpy as np

import slopemeter
from slopemeter._slopemeter import _format
from clitools import CLI, run_cli, write_picture


def line_pixels(angle, height=120, width=200):
    """A dim picture with a soft bright line through the middle, rising to the right at angle degrees."""
    y, x = np.mgrid[0:height, 0:width].astype(float)
    t = np.radians(angle)
    d = (y - height / 2) * np.cos(t) + (x - width / 2) * np.sin(t)
    grey = np.rint(20 + 200 * np.exp(-d * d / 2.5)).astype(np.uint8)
    return np.repeat(grey[:, :, None], 3, axis=2)


class Fit(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        cls.line = os.path.join(cls.folder, "line.ppm")
        cls.black = os.path.join(cls.folder, "black.ppm")
        write_picture(cls.line, line_pixels(9))
        write_picture(cls.black, np.zeros((20, 30, 3), np.uint8))
        output = run_cli("--fit", "--json", cls.line, cls.black).stdout
        cls.cli = [json.loads(line) for line in output.splitlines()]

    def test_files_and_arrays_give_the_cli_fit(self):
        self.assertAlmostEqual(self.cli[0]["fit"]["angle"], 9, delta=0.01)
        self.assertEqual(slopemeter.measure(self.line, fit=True), self.cli[0])
        self.assertEqual(slopemeter.measure(line_pixels(9), fit=True)["fit"], self.cli[0]["fit"])
        self.assertEqual(slopemeter.measure(self.black, fit=True), self.cli[1])
        self.assertIsNone(self.cli[1]["fit"])
        self.assertNotIn("fit", slopemeter.measure(self.line))

    def test_the_writers_put_back_the_cli_text(self):
        lines = run_cli("--fit", "--json", self.line, self.black).stdout.splitlines(keepends=True)
        for result, line in zip(self.cli, lines, strict=True):
            self.assertEqual(_format(result, "json", True).decode(), line)
        csv = subprocess.run([CLI, "--fit", "--csv", self.line], capture_output=True).stdout
        self.assertEqual(_format({}, "csv-header", True) + _format(self.cli[0], "csv", True), csv)

    def test_dask_command_fits_as_the_cli_does(self):
        command = [sys.executable, "-m", "slopemeter.dask", "--fit", "--json", self.line, self.black]
        output = subprocess.run(command, capture_output=True, text=True, timeout=240).stdout
        self.assertEqual(output, run_cli("--fit", "--json", self.line, self.black).stdout)
        captions = subprocess.run(command[:4] + [self.line], capture_output=True, text=True, timeout=240).stdout
        self.assertEqual(captions, run_cli("--fit", self.line).stdout)
