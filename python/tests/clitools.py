"""What the module's tests share: slopemeter-cli's output, and pictures written for it to read."""
import json
import re
import os
import subprocess

import numpy as np

import slopemeter

CLI = os.environ["SLOPEMETER_CLI"]
DATA = os.environ["SLOPEMETER_TEST_DATA"]


def run_cli(*arguments):
    return subprocess.run([CLI, *arguments], capture_output=True, text=True)


def cli_results(files, level=slopemeter.DEFAULT_LEVEL):
    """The CLI's own --json results for files, as json.loads reads them."""
    output = run_cli("--json", "--level", str(level), "--", *files).stdout
    return [json.loads(line) for line in output.splitlines()]


def write_picture(path, pixels):
    """A PPM of the first three channels, or of the grey byte in all three."""
    pixels = np.repeat(pixels[:, :, None], 3, axis=2) if pixels.ndim == 2 else pixels[:, :, :3]
    with open(path, "wb") as file:
        file.write(b"P6 %d %d 255\n" % (pixels.shape[1], pixels.shape[0]) + np.ascontiguousarray(pixels).tobytes())


def line_picture(rng, height, width, channels=3):
    """A dark picture with a bright line of random tilt and a few bright specks."""
    shape = (height, width, channels) if channels > 1 else (height, width)
    pixels = rng.integers(0, 40, shape, dtype=np.uint8)
    x = np.arange(*np.sort(rng.integers(0, width + 1, 2)))
    y = (rng.uniform(0, height) + rng.uniform(-1, 1) * x).astype(int)
    inside = (y >= 0) & (y < height)
    pixels[y[inside], x[inside]] = 220
    specks = rng.integers(0, [height, width], (3, 2))
    pixels[specks[:, 0], specks[:, 1]] = rng.integers(45, 60, (3, *shape[2:]), dtype=np.uint8)
    return pixels


def report_page(path):
    """A report's page without the line that says how long the run took, which no two runs share."""
    with open(path, encoding="utf-8") as file:
        return re.sub(r'<tr data-key="time">.*?</tr>', "", file.read())
