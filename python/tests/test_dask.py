"""python3 -m slopemeter.dask on a cluster started as the README tells users to start one (a
scheduler and two single-thread workers) prints exactly what slopemeter-cli --jobs 2 prints."""
import glob
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

import numpy as np
from distributed import Client

import slopemeter.dask
from clitools import CLI, DATA, line_picture, report_page, write_picture


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def close_quietly(descriptor):
    try:
        os.close(descriptor)
    except OSError:
        pass


def wait_for(condition, what, seconds=60):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError(f"gave up waiting for {what}")
        time.sleep(0.05)


class DaskCommand(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        rng = np.random.default_rng(8786)
        for index in range(200):
            write_picture(os.path.join(cls.folder, f"p{index:03}.bmp"), line_picture(rng, 30, 40))
        # Failures among the good ones, and names that CSV must quote or that are not UTF-8.
        shutil.copy(os.path.join(DATA, "bad", "text.bmp"), os.path.join(cls.folder, "p050-bad.bmp"))
        shutil.copy(os.path.join(DATA, "bad", "pixels-cut-short.bmp"),
                    os.path.join(cls.folder, "p150 cut, \"short\".bmp"))
        shutil.copy(os.path.join(cls.folder, "p007.bmp"), os.path.join(cls.folder.encode(), b"p\xff.bmp"))
        cls.pattern = os.path.join(cls.folder, "*.bmp")
        cls.files = [os.fsencode(name) for name in sorted(glob.glob(cls.pattern))]
        # A picture no one can read to its end while the test holds the pipe open: a run stops
        # there, mid-way.
        cls.fifo = os.path.join(cls.folder, "waits.pgm")
        os.mkfifo(cls.fifo)
        port = free_port()
        cls.address = f"tcp://127.0.0.1:{port}"
        quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
        cls.processes = [subprocess.Popen(["dask", "scheduler", "--host", "127.0.0.1", "--port", str(port),
                                           "--no-dashboard"], **quiet)]
        cls.processes += [subprocess.Popen(["dask", "worker", cls.address, "--nthreads", "1",
                                            "--no-dashboard"], **quiet) for _ in range(2)]
        cls.client = Client(cls.address, timeout=30)
        cls.client.wait_for_workers(2)

    @classmethod
    def tearDownClass(cls):
        cls.client.close()
        for process in cls.processes:
            process.terminate()
        for process in cls.processes:
            try:
                process.wait(20)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        shutil.rmtree(cls.folder)

    def list_file(self, content):
        path = os.path.join(self.folder, "list.txt")
        with open(path, "wb") as file:
            file.write(content)
        return path

    def dask_command(self, *arguments):
        return [sys.executable, "-m", "slopemeter.dask", "--scheduler", self.address, *arguments]

    def held_run(self, *arguments, **popen):
        """The command started on a list that holds the pipe, which the test holds open."""
        self.pipe = os.open(self.fifo, os.O_RDWR)
        self.addCleanup(close_quietly, self.pipe)
        process = subprocess.Popen(self.dask_command(*arguments), stdout=subprocess.PIPE, **popen)
        self.addCleanup(lambda: process.poll() is not None or (process.kill(), process.communicate()))
        return process

    def held_at_the_pipe(self):
        """The worker a run waits on, once the other has run out of work; its address."""
        def waiting():
            busy = [worker for worker, keys in self.client.processing().items() if keys]
            return busy[0] if len(busy) == 1 else None
        wait_for(lambda: waiting() and (time.sleep(0.3) or waiting()), "the run to reach the pipe")
        return waiting()

    def assertSameRun(self, arguments, stdin=None, status=1):
        cli = subprocess.run([CLI, "--jobs", "2", *arguments], input=stdin, capture_output=True)
        ours = subprocess.run(self.dask_command(*arguments), input=stdin, capture_output=True, timeout=120)
        self.assertEqual(ours.stdout, cli.stdout)
        self.assertEqual(ours.stderr.replace(b"slopemeter.dask: ", b""),
                         cli.stderr.replace(b"slopemeter-cli: ", b""))
        self.assertEqual((ours.returncode, cli.returncode), (status, status))
        return ours

    def test_prints_what_the_cli_prints(self):
        some = self.files[45:55]
        lines = b"\n".join(self.files[:60]) + b"\n"
        odd_lines = (b"\r\n".join([some[0], b"", some[1], b"nul\0inside", b"\xc3\xa9" * 40, some[2],
                                   b"x" * 5000, b"y" * 4095]) + b"\r\n")
        with self.subTest("captions of a pattern"):
            ours = subprocess.run(self.dask_command("--level", "60", self.pattern), capture_output=True)
            cli = subprocess.run([CLI, "--level", "60", *self.files], capture_output=True)
            self.assertEqual((ours.stdout, ours.returncode), (cli.stdout, cli.returncode))
        cases = [
            ("JSON of named files", ["--json", "--fit", *[os.fsdecode(f) for f in some]], None),
            ("CSV of named files, then a list", ["--csv", os.fsdecode(some[0]), "--files-from",
                                                 self.list_file(lines)], None),
            ("a CR LF list's odd lines", ["--json", "--files-from", self.list_file(odd_lines)], None),
            ("captions of a NUL list on standard input",
             ["--null", "--files-from", "-"], b"\0".join(some) + b"\0\0missing.bmp"),
        ]
        for what, arguments, stdin in cases:
            with self.subTest(what):
                self.assertSameRun(arguments, stdin)
        with self.subTest("an empty list"):
            self.assertSameRun(["--csv", "--files-from", "-"], b"\n\n", status=0)

    def test_report_is_the_clis_page(self):
        pages = [os.path.join(self.folder, name) for name in ("cli.html", "dask.html")]
        names = self.files[45:55] + [b"missing.bmp"]
        cli = subprocess.run([CLI, "--jobs", "2", "--fit", "--json", "--report", pages[0], "--", *names],
                             capture_output=True)
        ours = subprocess.run(self.dask_command("--fit", "--json", "--report", pages[1], "--", *names),
                              capture_output=True, timeout=120)
        self.assertEqual((ours.stdout, ours.returncode), (cli.stdout, 1))
        self.assertEqual(report_page(pages[1]), report_page(pages[0]))
        again = subprocess.run(self.dask_command("--report", pages[1], os.fsdecode(names[0])), capture_output=True)
        self.assertEqual(again.returncode, 2)
        self.assertIn(b"dask.html", again.stderr)
        for page in pages:
            os.remove(page)

    def test_a_worker_killed_mid_run_loses_and_doubles_nothing(self):
        names = [self.files[index % 200] for index in range(2000)]
        cli = subprocess.run([CLI, "--jobs", "2", "--json", "--files-from", self.list_file(b"\n".join(names))],
                             capture_output=True)
        expected = cli.stdout.splitlines(keepends=True)
        expected[1000] = expected[1000].replace(names[1000], os.fsencode(self.fifo))
        names[1000] = os.fsencode(self.fifo)
        listed = self.list_file(b"\n".join(names) + b"\n")
        ours = self.held_run("--json", "--files-from", listed, stderr=subprocess.PIPE)

        killed = self.held_at_the_pipe()
        os.kill(self.client.run(os.getpid, workers=[killed])[killed], signal.SIGKILL)
        wait_for(lambda: killed not in self.client.scheduler_info()["workers"], "the scheduler to see it gone")
        self.held_at_the_pipe()
        with open(self.files[1000 % 200], "rb") as picture:
            os.write(self.pipe, picture.read())
        os.close(self.pipe)
        stdout, stderr = ours.communicate(timeout=120)
        self.assertEqual(stdout, b"".join(expected))
        self.assertEqual(stderr.replace(b"slopemeter.dask: ", b""), cli.stderr.replace(b"slopemeter-cli: ", b""))
        self.assertEqual(ours.returncode, cli.returncode)
        self.client.wait_for_workers(2)

    def test_an_interrupt_prints_whole_lines_and_leaves_the_cluster_as_it_was(self):
        names = self.files[:300] + [os.fsencode(self.fifo)] + self.files[:300]
        listed = self.list_file(b"\n".join(names))
        cli = subprocess.run([CLI, "--json", "--", *self.files[:300]], capture_output=True)
        report = os.path.join(self.folder, "stopped.html")
        ours = self.held_run("--json", "--report", report, "--files-from", listed, stderr=subprocess.DEVNULL)
        self.held_at_the_pipe()
        ours.send_signal(signal.SIGINT)
        stdout, _ = ours.communicate(timeout=60)
        os.close(self.pipe)  # lets the worker go
        self.assertEqual(ours.returncode, 128 + signal.SIGINT)
        self.assertTrue(stdout.endswith(b"\n") and cli.stdout.startswith(stdout), stdout[-200:])
        # The page holds every result printed, and says that the run stopped short.
        with open(report, encoding="utf-8") as page:
            text = page.read()
        self.assertIn('id="cut-short"', text)
        printed = len(stdout.splitlines())
        self.assertRegex(text, f'data-key="pictures"><th>[^<]*</th><td>{printed}</td>')
        os.remove(report)
        wait_for(lambda: not self.client.run_on_scheduler(lambda dask_scheduler: len(dask_scheduler.tasks)),
                 "the scheduler to forget the run's tasks")

    def test_an_unreachable_scheduler_is_an_error_line(self):
        ours = subprocess.run([sys.executable, "-m", "slopemeter.dask", "--scheduler",
                               f"tcp://127.0.0.1:{free_port()}", os.fsdecode(self.files[0])],
                              capture_output=True, text=True, timeout=60)
        self.assertEqual(ours.returncode, 1)
        self.assertRegex(ours.stderr, r"\Aslopemeter\.dask: cannot reach the scheduler at tcp://127\.0\.0\.1:\d+: "
                                      r"[^\n]*\n\Z")

    def test_measure_gives_a_dataframe_of_the_csv_columns(self):
        listed = self.list_file(b"\n".join(self.files[45:55] + [b"missing.bmp"]))
        results, _ = slopemeter.dask.measure_batch(
            [(os.fsdecode(f), None) for f in self.files[45:55] + [b"missing.bmp"]], 50, True)
        expected = [slopemeter.dask.row(result, True) for result in results]
        for files in (listed, [os.fsdecode(f) for f in self.files[45:55]] + ["missing.bmp"]):
            with self.subTest(files=type(files).__name__):
                frame = slopemeter.dask.measure(files, fit=True, partition_size=4)
                self.assertEqual(frame.npartitions, 3)
                table = self.client.compute(frame).result()
                self.assertEqual(list(table.index), list(range(11)))
                self.assertEqual(dict(table.dtypes.astype(str)), slopemeter.dask.dtypes(fit=True))
                rows = [{k: (None if v is None or v is np.nan or str(v) == "<NA>" else v) for k, v in row.items()}
                        for row in table.to_dict("records")]
                self.assertEqual(rows, [dict(dict.fromkeys(table.columns), **row) for row in expected])
