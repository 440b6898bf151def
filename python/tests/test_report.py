"""report() writes the page slopemeter-cli --report writes, from measure()'s results."""
import gc
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import numpy as np

import slopemeter
from clitools import CLI, line_picture, report_page, write_picture

HOSTILE = "<b onclick=\"x\">&'.ppm"


def summary(page):
    return dict(re.findall(r'<tr data-key="(\w+)"><th>[^<]*</th><td>([^<]*)</td></tr>', page))


class Report(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        rng = np.random.default_rng(5)
        cls.files = [os.path.join(cls.folder, name) for name in ("a.ppm", HOSTILE, "b.ppm")]
        for name in cls.files:
            write_picture(name, line_picture(rng, 30, 40))
        odd = os.path.join(cls.folder.encode(), b"c\xff.ppm")
        shutil.copy(cls.files[0], odd)
        cls.files += [os.path.join(cls.folder, "missing.ppm"), os.fsdecode(odd)]
        cls.results = []
        for name in cls.files:
            try:
                cls.results.append(slopemeter.measure(name, fit=True))
            except slopemeter.PictureError as failure:
                cls.results.append({"file": name, "error": str(failure)})

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def setUp(self):
        self.out = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.out)

    def test_the_page_is_the_clis(self):
        cli_page = os.path.join(self.out, "cli.html")
        run = subprocess.run([CLI, "--fit", "--report", cli_page, "--", *map(os.fsencode, self.files)],
                             capture_output=True)
        self.assertEqual(run.returncode, 1, run.stderr)
        ours = os.path.join(self.out, "ours.html")
        slopemeter.report(self.results, ours)
        page = report_page(ours)
        self.assertEqual(page, report_page(cli_page))
        self.assertEqual({key: summary(page)[key] for key in ("pictures", "measured", "failed", "fit")},
                         {"pictures": "5", "measured": "4", "failed": "1", "fit": "yes"})
        self.assertNotIn(HOSTILE, page)
        self.assertNotIn('id="cut-short"', page)
        with open(ours, encoding="utf-8") as file:
            self.assertEqual(summary(file.read())["time"], "–", "a time not given is not shown as none")
        # Without a fit in the results, none is shown.
        slopemeter.report([{k: v for k, v in r.items() if k != "fit"} for r in self.results], ours, overwrite=True)
        self.assertEqual(summary(report_page(ours))["fit"], "no")

    def test_an_existing_file_is_kept_unless_overwrite(self):
        path = os.path.join(self.out, "report.html")
        with open(path, "w") as file:
            file.write("kept")
        with self.assertRaises(FileExistsError):
            slopemeter.report(self.results, path)
        with open(path) as file:
            self.assertEqual(file.read(), "kept")
        slopemeter.report(self.results, path, overwrite=True)
        self.assertTrue(report_page(path).startswith("<!DOCTYPE html>"))
        with self.assertRaises(OSError) as raised:
            slopemeter.report(self.results, os.path.join(self.out, "no-such-folder", "report.html"))
        self.assertNotIsInstance(raised.exception, FileExistsError)
        self.assertEqual(os.listdir(self.out), ["report.html"])

    def test_a_result_of_another_shape_names_its_place(self):
        good = self.results[0]
        cases = [
            (["a.ppm"], TypeError, "result 0 must be a dict"),
            ([good, {"fr": [1, 2]}], ValueError, "result 1 has no \"re\""),
            ([good, good, dict(good, fr="ab")], TypeError, "result 2's \"fr\" must be a pair of integers"),
            ([dict(good, fit={"angle": 1.0})], ValueError, "result 0's fit has no \"slope\""),
            ([dict(good, error=3)], TypeError, "result 0's \"error\" must be a str"),
            (good, TypeError, "a list of results"),
        ]
        path = os.path.join(self.out, "report.html")
        for results, kind, text in cases:
            with self.subTest(text):
                with self.assertRaises(kind) as raised:
                    slopemeter.report(results, path)
                self.assertIn(text, str(raised.exception))
                self.assertEqual(os.listdir(self.out), [], "nothing is left of a report not written whole")

    def test_a_report_written_as_results_come(self):
        path = os.path.join(self.out, "stream.html")
        report = slopemeter._Report(path, level=60, stream=True)
        for frame, result in enumerate(self.results):
            report.add(dict(result, frame=frame))
        self.assertFalse(os.path.exists(path))
        report.finish(1.5, cut_short=True)
        page = report_page(path)
        self.assertIn('id="cut-short"', page)
        self.assertEqual((summary(page)["level"], summary(page)["failed"]), ("60", "1"))
        with self.assertRaises(ValueError):
            report.add(self.results[0])
        # Made with the defaults, a report is of pictures at the default level, without a fit, is
        # not cut short, and does not replace a page that is there.
        plain = os.path.join(self.out, "plain.html")
        slopemeter._Report(plain).finish(0)
        plain_page = report_page(plain)
        self.assertIn("<h2>Every picture</h2>", plain_page)
        self.assertNotIn('id="cut-short"', plain_page)
        self.assertEqual([summary(plain_page)[key] for key in ("level", "fit")], [str(slopemeter.DEFAULT_LEVEL), "no"])
        self.assertRaises(FileExistsError, slopemeter._Report, plain)
        # One dropped unfinished leaves nothing.
        slopemeter._Report(os.path.join(self.out, "dropped.html")).add(self.results[0])
        gc.collect()
        self.assertEqual(sorted(os.listdir(self.out)), ["plain.html", "stream.html"])
