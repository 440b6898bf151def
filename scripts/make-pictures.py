#!/usr/bin/env python3
"""Makes the pictures the repository ships: samples/test.bmp and the window icon.

Both are drawn by this script, deterministically, so they can be made again at any time:
    python3 scripts/make-pictures.py

With --large FILE it writes instead an 8000 x 6000 24-bit bitmap with a bright line on a dark
noisy background (144 MB), the size of a large camera's picture, for measuring speed and memory.
"""
import random
import struct
import sys
import zlib
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def bmp24(width, height, pixel):
    """A bottom-up 24-bit BMP; pixel(x, y) gives (r, g, b) with y = 0 the top row."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


def sample_picture():
    """A bright line rising to the right, three pixels thick, on a dark noisy background."""
    width, height = 889, 273
    rng = random.Random(20261206)
    x0, y0, x1, y1 = 37, 212, 851, 58
    noise = [[rng.randrange(0, 45) for _ in range(width)] for _ in range(height)]

    def pixel(x, y):
        n = noise[y][x]
        if x0 <= x <= x1:
            centre = y0 + (y1 - y0) * (x - x0) / (x1 - x0)
            if abs(y - centre) <= 1.5:
                return (235 + n % 20, 230 + n % 25, 200 + n)
        return (n, n // 2 + 10, n // 3 + 20)

    return bmp24(width, height, pixel)


def large_picture(path, width=8000, height=6000):
    """Written a row at a time: the noise is one random row, shifted from row to row."""
    stride = (width * 3 + 3) & ~3
    rng = random.Random(20261207)
    noise = bytes(rng.randrange(0, 45) for _ in range(2 * stride))
    x0, y0, x1, y1 = 100, 5000, width - 100, 1000
    line = {}
    for x in range(x0, x1):
        centre = y0 + (y1 - y0) * (x - x0) // (x1 - x0)
        for y in (centre - 1, centre, centre + 1):
            line.setdefault(y, []).append(x)
    with open(path, "wb") as out:
        out.write(struct.pack("<2sIHHI", b"BM", 54 + stride * height, 0, 0, 54))
        out.write(struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, stride * height, 2835, 2835, 0, 0))
        for y in reversed(range(height)):
            shift = (y * 7) % stride
            row = bytearray(noise[shift:shift + stride])
            for x in line.get(y, ()):
                row[3 * x:3 * x + 3] = b"\xd2\xeb\xf0"
            out.write(row)


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def icon():
    """32x32, 16 colours: a grey frame with a tilted yellow line and two red end points."""
    palette = [(0, 0, 0), (128, 128, 128), (192, 192, 192), (255, 255, 255), (255, 255, 0),
               (255, 0, 0), (0, 0, 128), (0, 128, 0)] + [(0, 0, 0)] * 8
    size = 32

    def index(x, y):
        if x in (0, size - 1) or y in (0, size - 1):
            return 1
        if (x - 6) ** 2 + (y - 24) ** 2 <= 5 or (x - 25) ** 2 + (y - 8) ** 2 <= 5:
            return 5
        centre = 24 - (x - 6) * 16 / 19
        if 6 <= x <= 25 and abs(y - centre) <= 1:
            return 4
        return 6

    raw = bytearray()
    for y in range(size):
        raw.append(0)
        for x in range(0, size, 2):
            raw.append(index(x, y) << 4 | index(x + 1, y))
    return (b"\x89PNG\r\n\x1a\n"
            + png_chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 4, 3, 0, 0, 0))
            + png_chunk(b"PLTE", bytes(c for colour in palette for c in colour))
            + png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + png_chunk(b"IEND", b""))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--large":
        large_picture(sys.argv[2])
        sys.exit(0)
    (ROOT / "samples" / "test.bmp").write_bytes(sample_picture())
    (ROOT / "src" / "window" / "slopemeter.png").write_bytes(icon())
