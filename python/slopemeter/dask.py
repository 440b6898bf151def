"""Measures many picture files on a Dask cluster and prints the results as slopemeter-cli does.

    python3 -m slopemeter.dask PATTERN_OR_FILE... [--scheduler tcp://HOST:8786] [--csv|--json] [--level N] [--fit]

Each argument is a file name or a glob pattern ("pictures/*.png", quoted so that the shell
leaves it alone); a pattern's matches are taken in sorted order. Without --scheduler a local
cluster with one worker per processor core does the work. Every machine of a cluster must see
the files under the same names and have this package installed.
"""
import argparse
import glob
import logging
import math
import os
import sys

import slopemeter
from slopemeter._slopemeter import _format

PROGRAM = "slopemeter.dask"

# Tasks per worker thread: enough to even out pictures of different sizes, few enough that the
# scheduler's cost per task stays small beside the measuring.
TASKS_PER_THREAD = 4


def expand(arguments):
    """File names in order: each pattern replaced by its sorted matches, other names kept.
    A file whose name looks like a pattern, such as "scan[1].png", is taken as named."""
    files = []
    for argument in arguments:
        is_pattern = glob.escape(argument) != argument and not os.path.lexists(argument)
        matches = sorted(glob.glob(argument)) if is_pattern else []
        # A pattern that matches nothing is kept, so that it is reported as a missing file.
        files.extend(matches or [argument])
    return files


def measure_chunk(files, level, fit=False):
    """Runs on a worker: the result of each file, or {"file", "error"} for one that failed."""
    results = []
    for file in files:
        try:
            results.append(slopemeter.measure(file, level, fit=fit))
        except (slopemeter.PictureError, MemoryError) as error:
            results.append({"file": file, "error": str(error)})
    return results


def chunks(files, threads):
    """The files split into a few runs of neighbours for each worker thread."""
    size = max(1, math.ceil(len(files) / (threads * TASKS_PER_THREAD)))
    return [files[start:start + size] for start in range(0, len(files), size)]


def formatted(result, style, fit=False):
    """One result as slopemeter-cli writes it, by the same writer."""
    return _format(result, style, fit).decode("utf-8", "surrogateescape")


class Printer:
    """Writes results in one of slopemeter-cli's formats, in the order they are handed over."""

    def __init__(self, style, named, fit=False):
        self.style = style
        self.named = named
        self.fit = fit
        self.printed_any = False
        if style == "csv":
            sys.stdout.write(formatted({}, "csv-header", fit))

    def print(self, result):
        """Writes one result; a failed file also gets its line on standard error."""
        if self.style in ("json", "csv"):
            sys.stdout.write(formatted(result, self.style, self.fit))
        elif "error" not in result:
            # A caption block for a failed file would look like a result.
            if self.named:
                sys.stdout.write(("\n" if self.printed_any else "") + result["file"] + "\n")
            sys.stdout.write(formatted(result, "captions", self.fit))
            self.printed_any = True
        if "error" in result:
            sys.stdout.flush()
            print(f"{PROGRAM}: {result['error']}", file=sys.stderr, flush=True)


def parse_arguments(arguments):
    """The command line; a mistake in it ends the program with status 2, as slopemeter-cli's do."""
    parser = argparse.ArgumentParser(
        prog=f"python3 -m {PROGRAM}",
        description="Measures picture files on a Dask cluster; the results come in the order given, "
                    "as slopemeter-cli prints them.")
    parser.add_argument("files", nargs="+", metavar="PATTERN_OR_FILE",
                        help="a picture file, or a quoted glob pattern such as 'pictures/*.png'")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="a running Dask scheduler, e.g. tcp://HOST:8786 (default: a local "
                             "cluster with one worker per processor core)")
    output = parser.add_mutually_exclusive_group()
    output.add_argument("--json", action="store_true", help="one JSON object per file and line")
    output.add_argument("--csv", action="store_true", help="a header line, then one row per file")
    parser.add_argument("--level", type=int, default=slopemeter.DEFAULT_LEVEL, metavar="N",
                        help="a pixel is white when the mean of its three colour bytes is above N "
                             f"(default {slopemeter.DEFAULT_LEVEL})")
    parser.add_argument("--fit", action="store_true",
                        help="add a line fitted through the bright line's whole length, as "
                             "slopemeter-cli --fit does")
    return parser.parse_args(arguments)


def connect(scheduler):
    """A client of the scheduler at the address given, or of a local cluster of its own."""
    from distributed import Client, LocalCluster

    if scheduler:
        return Client(scheduler)
    # Threads rather than processes: the measurement runs without the interpreter lock, and
    # threads start in a fraction of the time.
    cluster = LocalCluster(n_workers=os.cpu_count() or 1, threads_per_worker=1, processes=False,
                           dashboard_address=":0", silence_logs=logging.ERROR)
    return Client(cluster)


def run(options):
    """Measures the files on the cluster and prints the results in order; returns the exit status."""
    files = expand(options.files)
    style = "json" if options.json else "csv" if options.csv else "captions"
    printer = Printer(style, named=len(files) > 1, fit=options.fit)
    all_well = True
    with connect(options.scheduler) as client:
        threads = sum(client.nthreads().values()) or 1
        futures = client.map(measure_chunk, chunks(files, threads), level=options.level, fit=options.fit,
                             pure=False)
        for future in futures:
            for result in future.result():
                printer.print(result)
                all_well = all_well and "error" not in result
            future.release()
    sys.stdout.flush()
    return 0 if all_well else 1


def main(arguments=None):
    """The command: python3 -m slopemeter.dask --help."""
    options = parse_arguments(arguments)
    # File names that are not UTF-8 come out as the bytes they are, as slopemeter-cli writes them.
    sys.stdout.reconfigure(errors="surrogateescape")
    try:
        return run(options)
    except OSError as error:
        print(f"{PROGRAM}: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
