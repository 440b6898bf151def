#!/usr/bin/env python3
"""slopemeter-cli with frames on standard input, name lists and CSV, run as a user runs it.

Usage: streams_test.py SLOPEMETER_CLI TEST_DATA_DIR. Needs only Python's standard library.
"""
import csv
import io
import json
import os
import random
import select
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

CLI = DATA = None
CSV_HEADER = "file,frame,fr_x,fr_y,re_x,re_y,slope,angle,computed,error"


def run(arguments, stdin=b"", cwd=None):
    process = subprocess.run([CLI] + arguments, input=stdin, capture_output=True, cwd=cwd)
    return process.returncode, process.stdout, process.stderr.decode()


def json_lines(out):
    return [json.loads(line) for line in out.decode().splitlines()]


def measured(result):
    return {key: value for key, value in result.items() if key not in ("file", "frame")}


def ppm(width, height, seed, maxval=255):
    """A dark, slightly noisy picture with a bright line."""
    rng = random.Random(seed)
    rows = [[rng.randrange(45) for _ in range(3 * width)] for _ in range(height)]
    x0, x1, y0, y1 = sorted((rng.randrange(width), rng.randrange(width))) + [rng.randrange(height) for _ in "ab"]
    for x in range(x0, x1 + 1):
        rows[y0 + (y1 - y0) * (x - x0) // max(1, x1 - x0)][3 * x:3 * x + 3] = [rng.randrange(140, 256)] * 3
    body = b"".join(struct.pack(">%d%s" % (len(row), "H" if maxval > 255 else "B"), *(v * maxval // 255 for v in row))
                    for row in rows)
    return b"P6\n# a comment\n%d %d\n%d\n" % (width, height, maxval) + body


def kind(name):
    with open(os.path.join(DATA, "kinds", name), "rb") as file:
        return file.read()


class Frames(unittest.TestCase):
    def test_a_stream_cut_inside_a_frame_reports_that_frame(self):
        for frame in (ppm(20, 10, 1), ppm(20, 10, 1, 65535), kind("bmp-24bit.bmp"), kind("png-rgb.png")):
            status, out, err = run(["--json", "-"], frame * 2 + frame[:len(frame) // 2])
            self.assertEqual((status, [r["frame"] for r in json_lines(out)]), (1, [0, 1, 2]))
            self.assertTrue(err.endswith("frame 2 of standard input: the stream ends inside it, so the frame is cut short.\n"))

    def test_a_damaged_frame_is_reported_and_the_frames_after_it_measured(self):
        good = ppm(30, 12, 2)
        with open(os.path.join(DATA, "bad", "palette-index-past-palette-8bit.bmp"), "rb") as file:
            bad_palette = file.read()
        png = bytearray(kind("png-rgb.png"))
        png[50] ^= 0xFF  # inside IDAT: the checksum no longer matches
        for frame in (bad_palette, bytes(png), b"P6 0 5 255\n"):
            status, out, err = run(["--json", "-"], good + frame + good + good)
            results = json_lines(out)
            self.assertEqual(status, 1)
            self.assertEqual([("error" in r) for r in results], [False, True, False, False], results)
            self.assertEqual(results[0]["fr"], results[3]["fr"])
            self.assertTrue(err.startswith("slopemeter-cli: Cannot read frame 1 of standard input: "), err)
            self.assertEqual(err.count("\n"), 1, err)
        # Bytes that start no frame, or a header that cannot be read, leave no way to the next frame.
        for lost in (b"GIF89a" + good, b"P5 2 1 0\n\0\0", b"P6 12 x 255\n" + good):
            status, out, err = run(["--csv", "-"], good + lost + good)
            rows = list(csv.DictReader(io.StringIO(out.decode(), newline="")))
            self.assertEqual((status, [row["frame"] for row in rows]), (1, ["0", "1"]))
            self.assertNotEqual(rows[1]["error"], "")

    # As from a camera: each result is there to read before the next frame comes.
    # With --fit too: a PNM frame is fitted as its rows come, and passed on at its end.
    def test_results_are_passed_on_while_the_stream_waits(self):
        for options, frame in ((["--json"], kind("png-rgb.png")), (["--fit", "--json"], ppm(20, 10, 3))):
            process = subprocess.Popen([CLI, *options, "-"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
            for number in range(3):
                process.stdin.write(frame)
                process.stdin.flush()
                self.assertTrue(select.select([process.stdout], [], [], 20)[0], "no result for frame %d" % number)
                self.assertEqual(json.loads(process.stdout.readline())["frame"], number)
            process.stdin.close()
            self.assertEqual(process.wait(), 0)
            process.stdout.close()

    # Headers with comments wherever the format lets them stand, a JPEG whose marker segment holds
    # the bytes of an end marker (as an embedded thumbnail does), and a PNG of more pixels than a
    # picture held whole: each read as a frame exactly as the same bytes are read as a file.
    def test_frames_are_read_as_the_same_files_are(self):
        white = b"\xff" * 6
        jpeg = kind("jpeg-colour.jpg")
        segment = b"Exif\0\0" + b"\xff\xd8\xff\xd9" * 4
        rows = zlib.compressobj(1)
        idat = b"".join(rows.compress(b"\0" + bytes(12999) + b"\xff") for _ in range(12000)) + rows.flush()
        chunk = lambda name, data: struct.pack(">I", len(data)) + name + data + struct.pack(">I", zlib.crc32(name + data))
        large_png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 13000, 12000, 8, 0, 0, 0, 0))
                     + chunk(b"IDAT", idat) + chunk(b"IEND", b""))
        for picture in (b"P6 2 1 255#x\n" + white, b"P6#c\n2 1\n255\n" + white, b"P6\n2 1#c\r255\n" + white, jpeg,
                        jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(segment) + 2) + segment + jpeg[2:], large_png):
            with tempfile.NamedTemporaryFile() as file:
                file.write(picture)
                file.flush()
                status, out, _ = run(["--json", file.name])
            self.assertEqual(status, 0, picture[:12])
            frames = run(["--json", "-"], picture * 2)
            self.assertEqual((frames[0], [measured(r) for r in json_lines(frames[1])]), (0, [measured(json_lines(out)[0])] * 2))

    def test_an_empty_stream_gives_no_results_and_no_failure(self):
        self.assertEqual(run(["--json", "-"]), (0, b"", ""))
        self.assertEqual(run(["--csv", "-"])[1], CSV_HEADER.encode() + b"\r\n")


class NameLists(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        self.names = ["plain.bmp", "with space.bmp", 'quote".bmp', "comma,and'apostrophe.bmp", "ünïcode 斜率.bmp",
                      "-dash.bmp", "-", "line\nbreak.bmp"]
        for i, name in enumerate(self.names):
            with open(os.path.join(self.folder.name, name), "wb") as file:
                file.write(ppm(25 + i, 15, 10 + i))
        self.names.insert(3, "missing.bmp")
        # On the command line "-" is standard input; in a list it is a file's name.
        arguments = ["./-" if name == "-" else name for name in self.names]
        self.expected = json_lines(self.run_here(["--json", "--"] + arguments)[1])

    def run_here(self, arguments, stdin=b""):
        return run(arguments, stdin, cwd=self.folder.name)

    def check(self, status, out, names):
        self.assertEqual(status, 1)  # missing.bmp
        expected = {name: measured(result) for name, result in zip(self.names, self.expected)}
        self.assertEqual([(r["file"], measured(r)) for r in json_lines(out)], [(name, expected[name]) for name in names])

    def test_names_come_from_a_list_in_the_lists_order(self):
        listed = b"\0".join(name.encode() for name in self.names) + b"\0"
        for jobs in ("1", "3"):
            self.check(*self.run_here(["--json", "--jobs", jobs, "--null", "--files-from", "-"], listed)[:2],
                       self.names)
        one_a_line = [name for name in self.names if "\n" not in name]
        with open(os.path.join(self.folder.name, "list.txt"), "wb") as list_file:
            list_file.write(b"\n".join(name.encode() for name in one_a_line) + b"\n\n")
        self.check(*self.run_here(["--json", "--files-from", "list.txt"])[:2], one_a_line)
        # Names on the command line come first, and a stream may stand among them.
        status, out, _ = self.run_here(["--json", self.names[0], "-", "--files-from", "list.txt"],
                                       ppm(9, 9, 5) * 2)
        results = json_lines(out)
        self.assertEqual([(r["file"], r.get("frame")) for r in results[:4]],
                         [(self.names[0], None), ("-", 0), ("-", 1), (one_a_line[0], None)])
        self.assertEqual(len(results), 3 + len(one_a_line))

    # A line that cannot be a name is an error for that line, and no name after it is lost.
    def test_lines_that_are_no_names_are_errors_and_windows_line_ends_are_read(self):
        cases = ((b"plain.bmp\0missing.bmp\0\n-dash.bmp\n", ["plain.bmp", "-dash.bmp"], "holds a NUL byte"),
                 (b"x" * 5000 + b"\nplain.bmp\n", ["x" * 60 + "...", "plain.bmp"], "5000 bytes long"),
                 (b"plain.bmp\r\nmissing.bmp\r\n\r\n-dash.bmp\r\n", ["plain.bmp", "missing.bmp", "-dash.bmp"], "missing.bmp"),
                 (b"plain.bmp\nmissing.bmp\r\n", ["plain.bmp", "missing.bmp\r"], "missing.bmp"))
        for listed, names, error in cases:
            status, out, err = self.run_here(["--json", "--files-from", "-"], listed)
            self.assertEqual((status, [r["file"] for r in json_lines(out)]), (1, names))
            self.assertIn(error, err)

    def test_csv_reads_back_whole_in_pythons_csv_module(self):
        listed = b"\0".join(name.encode() for name in self.names)
        status, out, _ = self.run_here(["--csv", "--null", "--files-from", "-"], listed)
        self.assertEqual(status, 1)
        rows = list(csv.reader(io.StringIO(out.decode(), newline="")))
        self.assertEqual(rows[0], CSV_HEADER.split(","))
        self.assertEqual(len(rows), 1 + len(self.names))
        for row, name, result in zip(rows[1:], self.names, self.expected):
            self.assertEqual(row[:2], [name, ""])
            if "error" in result:
                self.assertEqual(row[2:], [""] * 7 + [result["error"]])
                continue
            self.assertEqual(row[2:6], [str(value) for value in result["fr"] + result["re"]])
            self.assertEqual(float(row[6]), result["slope"])
            self.assertEqual(row[7] and float(row[7]), result.get("angle", ""))
            self.assertEqual(row[8:], [json.dumps(result["computed"]), ""])


# AddressSanitizer holds freed memory back for a while, so its runs grow with the work anyway.
@unittest.skipIf("ASAN_OPTIONS" in os.environ, "memory is not measured under the sanitizers")
class Memory(unittest.TestCase):
    def peak_kilobytes(self, arguments, entries, count, exit_status=0):
        with tempfile.TemporaryFile() as stream:
            for i in range(count):
                stream.write(entries[i % len(entries)])
            stream.seek(0)
            process = subprocess.Popen([CLI] + arguments, stdin=stream, stdout=subprocess.DEVNULL)
            _, status, usage = os.wait4(process.pid, 0)
        self.assertEqual(os.waitstatus_to_exitcode(status), exit_status)
        return usage.ru_maxrss

    # Noise aside (start-up varies by a few hundred KiB, threads add some), a long stream or list
    # holds no more than a short one; holding what it read would take megabytes.
    def check_flat(self, arguments, entries, few, many, noise_kilobytes):
        low = max(self.peak_kilobytes(arguments, entries, few) for _ in range(3))
        high = self.peak_kilobytes(arguments, entries, many)
        self.assertLessEqual(high, low + noise_kilobytes, "peak KiB for %d: %d, for %d: %d" % (few, low, many, high))

    def test_a_hundred_thousand_frames_take_no_more_memory_than_a_hundred(self):
        frames = [ppm(16, 8, 0), ppm(17, 8, 1, 1000), kind("bmp-24bit.bmp"), kind("png-rgb.png")]
        self.check_flat(["--csv", "-"], frames, 100, 100_000, 256)
        self.check_flat(["--fit", "--csv", "-"], frames, 100, 20_000, 256)

    def test_a_frame_that_claims_more_than_it_holds_takes_only_what_came(self):
        # 16-bit samples are read whole: this header claims 288 MB, then the stream ends.
        claim = b"P5 12000 12000 65535\n" + bytes(1000)
        low = self.peak_kilobytes(["--csv", "-"], [ppm(12, 6, 1)], 1)
        self.assertLess(self.peak_kilobytes(["--csv", "-"], [claim], 1, exit_status=1), low + 8 * 1024)

    def test_a_long_list_of_names_takes_no_more_memory_than_a_short_one(self):
        with tempfile.NamedTemporaryFile(suffix=".ppm") as picture:
            picture.write(ppm(12, 6, 1))
            picture.flush()
            self.check_flat(["--json", "--null", "--files-from", "-"], [picture.name.encode() + b"\0"], 100, 50_000,
                            1024)


if __name__ == "__main__":
    CLI, DATA = os.path.abspath(sys.argv[1]), sys.argv[2]
    unittest.main(argv=sys.argv[:1])
