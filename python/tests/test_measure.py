"""slopemeter.measure and captions agree with slopemeter-cli, on files and on arrays."""
import concurrent.futures
import glob
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

import numpy as np

import slopemeter
from clitools import DATA, cli_results, line_picture, run_cli, write_picture

LEVELS = (20, 50, 54, 120, 200)


def without_file(result):
    return {key: value for key, value in result.items() if key != "file"}


class Files(unittest.TestCase):
    def test_every_kind_of_picture_as_the_cli_measures_it_named_by_str_bytes_or_path(self):
        files = sorted(glob.glob(os.path.join(DATA, "kinds", "*")))
        for file, expected in zip(files, cli_results(files), strict=True):
            with self.subTest(file=file):
                self.assertEqual(slopemeter.measure(file), expected)
        self.assertEqual([slopemeter.measure(name) for name in (os.fsencode(file), pathlib.Path(file))], [expected] * 2)

    def test_damaged_pictures_raise_picture_error_with_the_cli_message(self):
        files = sorted(glob.glob(os.path.join(DATA, "bad", "*"))) + ["no-such-file.bmp"]
        for file, expected in zip(files, cli_results(files), strict=True):
            with self.subTest(file=file), self.assertRaises(slopemeter.PictureError) as raised:
                slopemeter.measure(file)
            self.assertIsInstance(raised.exception, ValueError)
            self.assertEqual(str(raised.exception), expected["error"])

    def test_captions_are_the_cli_caption_lines(self):
        files = sorted(glob.glob(os.path.join(DATA, "kinds", "*.bmp")))[:4]
        blocks = run_cli(*files).stdout.split("\n\n")
        for file, block in zip(files, blocks, strict=True):
            self.assertEqual("\n".join(slopemeter.captions(slopemeter.measure(file))),
                             block.rstrip("\n").split("\n", 1)[1])


class Arrays(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        """Random pictures of every shape, with what the CLI makes of them written as bitmaps."""
        rng = np.random.default_rng(14)
        pictures = [line_picture(rng, *rng.integers(1, 50, 2), channels=(3, 4, 1)[index % 3])
                    for index in range(60)]
        cls.cases = []
        with tempfile.TemporaryDirectory() as folder:
            for index, level in enumerate(LEVELS):
                chosen = pictures[index::len(LEVELS)]
                paths = [os.path.join(folder, f"{level}-{n}.ppm") for n in range(len(chosen))]
                for path, pixels in zip(paths, chosen):
                    write_picture(path, pixels)
                results = map(without_file, cli_results(paths, level))
                cls.cases += zip(chosen, [level] * len(chosen), results, strict=True)

    def test_random_pictures_of_each_shape_as_the_cli_measures_them(self):
        for pixels, level, expected in self.cases:
            with self.subTest(shape=pixels.shape, level=level):
                self.assertEqual(slopemeter.measure(pixels, level=level), expected)

    def test_arrays_laid_out_otherwise_give_the_same_result(self):
        pixels, level, expected = next(case for case in self.cases if case[0].ndim == 3 and case[2]["computed"])
        wide = np.zeros((pixels.shape[0], pixels.shape[1] * 2 + 3, pixels.shape[2]), np.uint8)
        wide[:, 3::2] = pixels
        views = {"every other column": wide[:, 3::2], "channels reversed": pixels[:, :, ::-1],
                 "a crop of longer rows": np.pad(pixels, ((0, 0), (0, 5), (0, 0)))[:, :pixels.shape[1]],
                 "column order (Fortran)": np.asfortranarray(pixels),
                 "read-only": np.frombuffer(pixels.tobytes(), np.uint8).reshape(pixels.shape)}
        for name, view in views.items():
            with self.subTest(name):
                self.assertEqual(slopemeter.measure(view, level=level), expected)
        grey = np.ascontiguousarray(pixels[:, :, 0])
        for view in (pixels[::-1], grey.T, wide[:, 3:7:2]):
            self.assertEqual(slopemeter.measure(view, level=level),
                             slopemeter.measure(np.ascontiguousarray(view), level=level))
        # One pixel wide with its channels apart: only the three together make the pixel bright.
        column = np.zeros((8, 1, 3), np.uint8)
        column[5] = 60
        self.assertEqual(slopemeter.measure(np.asfortranarray(column))["fr"], [0, 5])

    def test_threads_measure_alongside_each_other(self):
        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            results = list(pool.map(lambda case: slopemeter.measure(case[0], case[1]), self.cases))
        self.assertEqual(results, [case[2] for case in self.cases])


class Mistakes(unittest.TestCase):
    def test_wrong_arguments_say_what_is_wrong(self):
        pixels = np.zeros((4, 5, 3), np.uint8)
        cases = [
            (pixels.astype(np.float32), TypeError, "uint8 values, not float32"),
            (pixels.astype(np.int8), TypeError, "uint8 values, not int8"),
            (pixels.astype(bool), TypeError, "uint8 values, not bool"),
            (np.zeros(5, np.uint8), ValueError, r"shape .* not \(5,\)"),
            (np.zeros((4, 5, 2), np.uint8), ValueError, r"not \(4, 5, 2\)"),
            # As slopemeter-cli refuses a picture without pixels.
            (np.zeros((0, 0, 3), np.uint8), ValueError, r"no pixels: \(0, 0, 3\)"),
            (np.zeros((0, 7), np.uint8), ValueError, r"no pixels: \(0, 7\)"),
            (np.zeros((4, 0, 4), np.uint8), ValueError, r"no pixels: \(4, 0, 4\)"),
            (np.zeros((1, 4, 5, 3), np.uint8), ValueError, r"not \(1, 4, 5, 3\)"),
            # Sides are counted in an int; a broadcast array of that size takes no memory.
            (np.broadcast_to(pixels[:1, :1], (2**31, 1, 3)), ValueError, r"\(2147483648, 1, 3\) is too large"),
            (np.broadcast_to(pixels[:1, :1], (1, 2**31, 3)), ValueError, r"\(1, 2147483648, 3\) is too large"),
            ([[0, 0]], TypeError, "path .* or a numpy uint8 array, not list"),
            (None, TypeError, "not NoneType"),
            ("a\0b", ValueError, "null"),
        ]
        for picture, error, message in cases:
            with self.subTest(message), self.assertRaisesRegex(error, message):
                slopemeter.measure(picture)
        for level in (50.0, "50", None):
            with self.subTest(level=level), self.assertRaisesRegex(TypeError, "level must be an integer"):
                slopemeter.measure(pixels, level=level)
        self.assertRaisesRegex(TypeError, "dict that measure returns", slopemeter.captions, [1, 2])

    def test_any_integer_level_measures(self):
        white = np.full((2, 3, 3), 255, np.uint8)
        self.assertEqual(slopemeter.measure(0 * white, level=np.int64(-(10**6)))["re"], [2, 1])
        self.assertEqual(slopemeter.measure(white, level=10**30)["fr"], [0, 0])
        self.assertEqual(slopemeter.measure(white, level=254)["fr"], [0, 1])

    # A module compiled for one interpreter, imported by another, says which one it needs.
    def test_another_interpreter_is_told_which_one_the_module_was_built_for(self):
        with tempfile.TemporaryDirectory() as folder:
            package = pathlib.Path(slopemeter.__file__).parent
            shutil.copytree(package, os.path.join(folder, "slopemeter"))
            for compiled in glob.glob(os.path.join(folder, "slopemeter", "_slopemeter.*")):
                os.rename(compiled, os.path.join(folder, "slopemeter", "_slopemeter.cpython-399-x86_64-linux-gnu.so"))
            failed = subprocess.run([sys.executable, "-c", "import slopemeter"], capture_output=True, text=True,
                                    env=dict(os.environ, PYTHONPATH=folder))
        self.assertIn("ImportError: slopemeter's compiled module was built for cpython-399", failed.stderr)
