"""Measures many picture files on a Dask cluster and prints the results as slopemeter-cli does.

    python3 -m slopemeter.dask [--scheduler tcp://HOST:8786] [--csv|--json] [--level N] [--fit]
                               [--report FILE.html [--overwrite]] [--files-from LIST [--null]]
                               [PATTERN_OR_FILE...]

Each argument is a file name or a glob pattern ("pictures/*.png", quoted so that the shell
leaves it alone); a pattern's matches are taken in sorted order. --files-from reads a list of
names as slopemeter-cli does, as the run goes, so that a list of millions takes no more memory
than a short one. Without --scheduler a local cluster with one worker per processor core does
the work. Every machine of a cluster must see the files under the same names and have this
package installed. --report writes the HTML page of the run that slopemeter-cli --report writes.

As a library, measure(files) gives the results as a lazy dask DataFrame, one row per file.
"""
import argparse
import glob
import logging
import os
import signal
import sys
import time

import slopemeter
from slopemeter.names import ListError, entries, expand
from slopemeter.printing import PROGRAM, Printer, Progress, terminal_text

# A task should take long enough that the scheduler's cost for it (a few milliseconds) is small,
# and short enough that the last ones leave no worker idle for long.
TASK_SECONDS = 0.1
FIRST_BATCH, LARGEST_BATCH = 16, 4096
# Batches handed out per worker thread and not yet printed: one running, one queued behind it.
BATCHES_PER_THREAD = 2
SCHEDULER_TIMEOUT = 10

CSV_COLUMNS = ["file", "fr_x", "fr_y", "re_x", "re_y", "slope", "angle", "computed", "error"]
FIT_COLUMNS = ["fit_angle", "fit_slope", "fit_cx", "fit_cy", "fit_x1", "fit_y1", "fit_x2", "fit_y2",
               "fit_rms", "fit_angle_sd", "fit_samples"]


def measure_batch(batch, level, fit=False):
    """Runs on a worker: the result of each entry, or {"file", "error"} for one that failed, and
    the seconds it took. Nothing but the batch decides the results, so a batch run again after
    its worker was lost gives the same ones."""
    start = time.perf_counter()
    results = []
    for file, error in batch:
        if error is None:
            try:
                results.append(slopemeter.measure(file, level, fit=fit))
                continue
            except (slopemeter.PictureError, MemoryError) as failure:
                error = str(failure)
        results.append({"file": file, "error": error})
    return results, time.perf_counter() - start


def dtypes(fit=False):
    """The DataFrame's columns, those of --csv but frame, with types that hold a missing value."""
    types = {"file": "string", "fr_x": "Int64", "fr_y": "Int64", "re_x": "Int64", "re_y": "Int64",
             "slope": "Float64", "angle": "Float64", "computed": "boolean", "error": "string"}
    if fit:
        types.update({column: "Float64" for column in FIT_COLUMNS[:-1]}, fit_samples="Int64")
    return types


def row(result, fit):
    """One result as a row of the DataFrame's columns; None where there is no value."""
    values = {"file": result["file"], "error": result.get("error")}
    if "fr" in result:
        values.update(zip(("fr_x", "fr_y", "re_x", "re_y"), result["fr"] + result["re"]),
                      slope=result["slope"], angle=result.get("angle"), computed=result["computed"])
    line = result.get("fit")
    if fit and line:
        values.update(zip(FIT_COLUMNS, [line["angle"], line["slope"], *line["centre"], *line["ends"][0],
                                        *line["ends"][1], line["rms"], line["angle_sd"], line["samples"]]))
    return values


def frame_of(batch, start, level, fit):
    """Runs on a worker: a partition of measure()'s DataFrame, indexed by each file's place."""
    import pandas

    results, _ = measure_batch(batch, level, fit)
    types = dtypes(fit)
    frame = pandas.DataFrame([row(result, fit) for result in results], columns=list(types),
                             index=pandas.RangeIndex(start, start + len(results)))
    return frame.astype(types)


def measure(files, level=slopemeter.DEFAULT_LEVEL, fit=False, partition_size=1000):
    """The results of many files as a lazy dask DataFrame, one row per file in order, with the
    columns of slopemeter-cli --csv (but frame), and the fit_* ones with fit=True; a file that
    cannot be measured has only file and error.

    files is a list of names, a glob pattern (its matches sorted), or the path of a list of
    names, read as slopemeter-cli --files-from reads one. The names are read now and held in
    the task graph; each partition of partition_size files is measured when computed."""
    import dask.dataframe

    if isinstance(files, (str, bytes, os.PathLike)):
        path = os.fsdecode(files)
        is_pattern = glob.escape(path) != path and not os.path.lexists(path)
        source = entries([path]) if is_pattern else entries(files_from=path)
    else:
        source = ((os.fsdecode(file), None) for file in files)
    parts, starts = [], [0]
    pending, _ = batches(source, partition_size)
    for batch in pending:
        parts.append(batch)
        starts.append(starts[-1] + len(batch))
    if not parts:
        parts, starts = [[]], [0, 0]
    meta = frame_of([], 0, level, fit)
    divisions = starts[:-1] + [max(starts[-1] - 1, 0)]
    return dask.dataframe.from_map(frame_of, parts, starts[:-1], level=level, fit=fit, meta=meta,
                                   divisions=divisions, label="slopemeter-measure",
                                   enforce_metadata=False)


def parse_arguments(arguments):
    """The command line; a mistake in it ends the program with status 2, as slopemeter-cli's do."""
    parser = argparse.ArgumentParser(
        prog=f"python3 -m {PROGRAM}",
        description="Measures picture files on a Dask cluster; the results come in the order given, "
                    "as slopemeter-cli prints them. Work goes out in batches sized to take about "
                    f"{TASK_SECONDS} s each, at most {BATCHES_PER_THREAD} per worker thread ahead of "
                    "what is printed; the batches of a worker that dies are measured again elsewhere "
                    "and every result is printed once. Ctrl-C stops between two lines and cancels "
                    "what is left on the cluster.")
    parser.add_argument("files", nargs="*", metavar="PATTERN_OR_FILE",
                        help="a picture file, or a quoted glob pattern such as 'pictures/*.png'")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="a running Dask scheduler, e.g. tcp://HOST:8786 (default: a local "
                             "cluster with one worker per processor core); one that cannot be "
                             f"reached in {SCHEDULER_TIMEOUT} s is an error")
    output = parser.add_mutually_exclusive_group()
    output.add_argument("--json", action="store_true", help="one JSON object per file and line")
    output.add_argument("--csv", action="store_true", help="a header line, then one row per file")
    parser.add_argument("--level", type=int, default=slopemeter.DEFAULT_LEVEL, metavar="N",
                        help="a pixel is white when the mean of its three colour bytes is above N "
                             f"(default {slopemeter.DEFAULT_LEVEL})")
    parser.add_argument("--fit", action="store_true",
                        help="add a line fitted through the bright line's whole length, as "
                             "slopemeter-cli --fit does")
    parser.add_argument("--files-from", metavar="LIST",
                        help="also measure the files named in LIST (- for standard input), one a "
                             "line, after those named; read as the run goes, as slopemeter-cli "
                             "reads it (CR LF line ends, empty lines, lines that cannot be names)")
    parser.add_argument("--null", action="store_true",
                        help="the names in LIST each end with a NUL byte, as find -print0 writes them")
    parser.add_argument("--report", metavar="FILE",
                        help="also write an HTML page of the run to FILE, as slopemeter-cli --report "
                             "does; a run stopped by Ctrl-C leaves a page marked as cut short")
    parser.add_argument("--overwrite", action="store_true", help="let --report replace FILE")
    options = parser.parse_args(arguments)
    if not options.files and options.files_from is None:
        parser.error("no picture files given")
    if options.overwrite and options.report is None:
        parser.error("--overwrite is for --report")
    return options


def connect(scheduler):
    """A client of the scheduler at the address given, or of a local cluster of its own."""
    from distributed import Client, LocalCluster

    if scheduler:
        return Client(scheduler, timeout=SCHEDULER_TIMEOUT)
    # Threads rather than processes: the measurement runs without the interpreter lock, and
    # threads start in a fraction of the time.
    cluster = LocalCluster(n_workers=os.cpu_count() or 1, threads_per_worker=1, processes=False,
                           dashboard_address=":0", silence_logs=logging.ERROR)
    return Client(cluster)


class Stopped(Exception):
    """A signal to end the run, turned into an exception so that the cluster is cleaned up."""

    def __init__(self, number):
        super().__init__(number)
        self.number = number


def batches(source, first_size):
    """The entries in runs whose length the caller may change as it learns how long one takes."""
    size = [first_size]
    source = iter(source)

    def generate():
        while batch := [entry for _, entry in zip(range(size[0]), source)]:
            yield batch
    return generate(), size


def measure_in_order(client, source, options, on_batch):
    """Measures the entries in a window of batches and hands each batch's results to on_batch in
    input order. Returns when all are done; on an exception, cancels what is still out."""
    from distributed import as_completed

    threads = sum(client.nthreads().values()) or 1
    window = BATCHES_PER_THREAD * threads
    pending, size = batches(source, FIRST_BATCH)
    out = {}                      # sequence number -> future, until its results are printed
    done = {}                     # sequence number -> results come before their turn
    submitted = printed = 0
    completed = as_completed()

    def submit():
        nonlocal submitted
        while submitted - printed < window:
            batch = next(pending, None)
            if batch is None:
                return
            future = client.submit(measure_batch, batch, options.level, options.fit, pure=False)
            future.sequence, future.names = submitted, batch
            out[submitted] = future
            completed.add(future)
            submitted += 1

    try:
        submit()
        for future in completed:
            try:
                results, seconds = future.result()
            except Exception as failure:  # such as KilledWorker: every worker it ran on died
                results = [{"file": name, "error": error or f"Cannot measure \"{name}\": the worker "
                            f"measuring it was lost ({type(failure).__name__})."}
                           for name, error in future.names]
                seconds = 0
            if len(future.names) >= size[0] and seconds > 0:
                per_name = seconds / len(future.names)
                size[0] = max(FIRST_BATCH, min(LARGEST_BATCH, int(TASK_SECONDS / per_name)))
            done[future.sequence] = results
            future.release()
            while printed in done:
                on_batch(done.pop(printed))
                del out[printed]
                printed += 1
            submit()
    finally:
        if out:
            client.cancel(list(out.values()))


def open_report(options):
    """The report's writer, or None without --report; OSError when the file cannot be written."""
    if options.report is None:
        return None
    return slopemeter._Report(options.report, options.level, options.fit, overwrite=options.overwrite)


def run(options):
    """Measures the files on the cluster and prints the results in order; returns the exit status."""
    style = "json" if options.json else "csv" if options.csv else "captions"
    listed = options.files_from is not None
    files = list(expand(options.files))
    try:
        source = entries(files, options.files_from, options.null)
    except OSError as error:
        print(f"{PROGRAM}: cannot open the list \"{terminal_text(options.files_from)}\": "
              f"{os.strerror(error.errno) if error.errno else error}.", file=sys.stderr)
        return 2
    try:
        report = open_report(options)
    except FileExistsError:
        print(f"{PROGRAM}: '{terminal_text(options.report)}' is there already; --overwrite lets the "
              "report replace it.", file=sys.stderr)
        return 2
    except OSError as error:
        print(f"{PROGRAM}: {terminal_text(str(error))}", file=sys.stderr)
        return 1
    progress = Progress(None if listed else len(files))
    printer = Printer(style, named=len(files) > 1 or listed, fit=options.fit, progress=progress)
    failed = 0

    def on_batch(results):
        nonlocal failed
        progress.clear()
        errors = 0
        for result in results:
            printer.print(result)
            if report:
                report.add(result)
            errors += "error" in result
        failed += errors
        sys.stdout.flush()
        progress.advance(len(results), errors)

    start = time.monotonic()
    whole = False
    try:
        try:
            client = connect(options.scheduler)
        except (OSError, TimeoutError) as error:
            print(f"{PROGRAM}: cannot reach the scheduler at {options.scheduler}: {error}",
                  file=sys.stderr)
            # A run that measured nothing leaves no page; the unfinished one is removed.
            report = None
            return 1
        with client:
            measure_in_order(client, source, options, on_batch)
        whole = True
    except ListError as error:
        sys.stdout.flush()
        printer.failure(str(error))
        return 1
    finally:
        progress.clear()
        sys.stdout.flush()
        # A run that stopped before its end, on Ctrl-C or at a list it could not read on, leaves
        # a page of what was measured until then, which says so.
        if report:
            report.finish(time.monotonic() - start, not whole)
    return 0 if failed == 0 else 1


def main(arguments=None):
    """The command: python3 -m slopemeter.dask --help."""
    options = parse_arguments(arguments)
    # File names that are not UTF-8 come out as the bytes they are, as slopemeter-cli writes them.
    sys.stdout.reconfigure(errors="surrogateescape")

    def stop(number, frame):
        raise Stopped(number)
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, stop)
    # The client's own complaints about a scheduler it cannot reach would repeat ours.
    logging.getLogger("distributed").setLevel(logging.CRITICAL)
    try:
        return run(options)
    except Stopped as stopped:
        return 128 + stopped.number
    except OSError as error:
        print(f"{PROGRAM}: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
