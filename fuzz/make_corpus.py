#!/usr/bin/env python3
"""Makes the fuzzer's starting corpus: one small, sound picture of every kind the loader meets.

The BMP, PNG and JPEG kinds are the tests' own (tests/data/kinds); beside them go PPM, PGM, XBM,
XPM and GIF pictures, each holding a bright tilted line so that a run measures something, and a
few that stop early while closing properly.

Usage: make_corpus.py FOLDER
"""
import shutil
import struct
import sys
from pathlib import Path

DATA = Path(__file__).resolve().parent.parent / "tests" / "data"
WIDTH, HEIGHT = 37, 23


def on_line(x, y):
    return 3 <= x <= 33 and y == 19 - (x - 3) // 2


def rgb(x, y):
    return (255, 255, 255) if on_line(x, y) else ((x * 5) % 70, (y * 9) % 70, (x + y) % 70)


def netpbm(magic, maxval, value):
    body = b"".join(struct.pack(">H" if maxval > 255 else "B", v) for y in range(HEIGHT) for x in range(WIDTH)
                    for v in value(x, y))
    return b"%s\n%d %d\n%d\n" % (magic, WIDTH, HEIGHT, maxval) + body


def xbm(rows=HEIGHT):
    values = [sum(1 << bit for bit in range(8) if on_line(byte * 8 + bit, y))
              for y in range(rows) for byte in range((WIDTH + 7) // 8)]
    return (b"#define line_width %d\n#define line_height %d\nstatic char line_bits[] = {\n%s };\n"
            % (WIDTH, HEIGHT, ", ".join("0x%02x" % v for v in values).encode()))


def xpm():
    rows = ['"%s"' % "".join("#" if on_line(x, y) else "." for x in range(WIDTH)) for y in range(HEIGHT)]
    return ('/* XPM */\nstatic char *line[] = {\n"%d %d 2 1",\n". c #202020",\n"# c #FFFFFF",\n%s\n};\n'
            % (WIDTH, HEIGHT, ",\n".join(rows))).encode()


# One pixel of an 8 x 8 image, its LZW data closed properly; and a 4000 x 4000 screen around one
# pixel, which the reader decodes whole.
GIF_STOPPED_EARLY = (b"GIF89a\x08\x00\x08\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff"
                     b"\x2c\x00\x00\x00\x00\x08\x00\x08\x00\x00\x02\x02\x4c\x01\x00\x3b")
GIF_BARE_SCREEN = (b"GIF89a\xa0\x0f\xa0\x0f\x80\x00\x00\x00\x00\x00\xff\xff\xff"
                   b"\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x4c\x01\x00\x3b")


def main(arguments):
    if len(arguments) != 1 or arguments[0].startswith("-"):
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    folder = Path(arguments[0])
    folder.mkdir(parents=True, exist_ok=True)
    for kind in (DATA / "kinds").iterdir():
        shutil.copyfile(kind, folder / kind.name)
    shutil.copyfile(DATA / "line.gif", folder / "gif-line.gif")
    pictures = {
        "ppm-rgb.ppm": netpbm(b"P6", 255, rgb),
        "pgm-16bit.pgm": netpbm(b"P5", 65535, lambda x, y: (sum(rgb(x, y)) // 3 * 257,)),
        "xbm-line.xbm": xbm(), "xbm-stopped-early.xbm": xbm(rows=HEIGHT // 2), "xpm-line.xpm": xpm(),
        "gif-stopped-early.gif": GIF_STOPPED_EARLY, "gif-bare-screen.gif": GIF_BARE_SCREEN,
        "bmp-8bit-cut.bmp": (DATA / "kinds" / "bmp-8bit-short-palette.bmp").read_bytes()[:-300],
    }
    for name, data in pictures.items():
        (folder / name).write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
