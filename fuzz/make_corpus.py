#!/usr/bin/env python3
"""Makes the fuzzer's starting corpus: one small, sound picture of every kind the loader meets.

Every BMP kind (1, 4, 8, 16, 24 and 32 bits, RLE4 and RLE8, bit-fields, top-down, the OS/2
header, the V4 and V5 headers), PNG of every colour type and depth, JPEG, GIF, XBM, XPM and
PPM/PGM pictures, each holding a bright tilted line so that a run measures something, and a few
that stop early while closing properly.

Usage: make_corpus.py FOLDER
"""
import struct
import sys
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "data"))
import picture_writers as pw  # noqa: E402

WIDTH, HEIGHT = 37, 23


def on_line(x, y):
    """A bright line from (3, 19) up to (33, 4), a pixel thick."""
    return 3 <= x <= 33 and y == 19 - (x - 3) // 2


def grey(x, y):
    return 255 if on_line(x, y) else (x * 7 + y * 3) % 60


def rgb(x, y):
    if on_line(x, y):
        return (255, 255, 255)
    return ((x * 5) % 70, (y * 9) % 70, (x + y) % 70)


def bgr24(x, y):
    r, g, b = rgb(x, y)
    return r << 16 | g << 8 | b


def index(colours):
    """Palette index: the last colour on the line, the others in stripes beside it."""
    return lambda x, y: colours - 1 if on_line(x, y) else (x // 3 + y // 4) % (colours - 1)


def palette(colours, entry_size=4):
    entries = [(i * 40 % 200, i * 70 % 200, i * 20 % 200) for i in range(colours - 1)]
    return pw.palette_bytes(entries + [(255, 255, 255)], entry_size)


def paletted(bits, top_down=False, colours=None):
    colours = colours or 1 << bits
    height = -HEIGHT if top_down else HEIGHT
    header = pw.info_header(WIDTH, height, bits, colours_used=colours if colours < 1 << bits else 0)
    pixels = pw.packed_rows(WIDTH, HEIGHT, bits, index(colours), top_down)
    return pw.bmp(header, pixels, palette(colours))


def run_length(bits):
    colours = 1 << bits
    coded = (pw.rle8 if bits == 8 else pw.rle4)(WIDTH, HEIGHT, index(colours))
    compression = pw.BI_RLE8 if bits == 8 else pw.BI_RLE4
    header = pw.info_header(WIDTH, HEIGHT, bits, compression, image_size=len(coded))
    return pw.bmp(header, coded, palette(colours))


def sixteen_bit(masks=None):
    """5-5-5 by default; with masks, bit-fields (5-6-5 when given so)."""
    red, green, blue = masks or (0x7C00, 0x03E0, 0x001F)

    def value(x, y):
        r, g, b = rgb(x, y)

        def scale(level, mask):
            shift = (mask & -mask).bit_length() - 1
            top = mask >> shift
            return (level * top // 255) << shift

        return scale(r, red) | scale(g, green) | scale(b, blue)

    pixels = pw.packed_rows(WIDTH, HEIGHT, 16, value)
    if not masks:
        return pw.bmp(pw.info_header(WIDTH, HEIGHT, 16), pixels)
    header = pw.info_header(WIDTH, HEIGHT, 16, pw.BI_BITFIELDS)
    return pw.bmp(header, pixels, masks=b"".join(m.to_bytes(4, "little") for m in masks))


def true_colour(bits, top_down=False, header_size=40, bit_fields=False):
    height = -HEIGHT if top_down else HEIGHT
    pixels = pw.packed_rows(WIDTH, HEIGHT, bits, bgr24, top_down)
    compression = pw.BI_BITFIELDS if bit_fields else pw.BI_RGB
    masks = (0xFF0000, 0xFF00, 0xFF)
    header = pw.info_header(WIDTH, height, bits, compression, size=header_size,
                            masks=masks if header_size > 40 else None)
    extra = b"".join(m.to_bytes(4, "little") for m in masks) if bit_fields and header_size == 40 else b""
    return pw.bmp(header, pixels, masks=extra)


def os2(bits):
    if bits == 24:
        return pw.bmp(pw.core_header(WIDTH, HEIGHT, 24), pw.packed_rows(WIDTH, HEIGHT, 24, bgr24))
    pixels = pw.packed_rows(WIDTH, HEIGHT, bits, index(1 << bits))
    return pw.bmp(pw.core_header(WIDTH, HEIGHT, bits), pixels, palette(1 << bits, entry_size=3))


def ycbcr_block(bx, by, c):
    """Blocks of a 48x32 picture: a bright diagonal of blocks on a dark, tinted ground."""
    if c > 0:
        return 128 + (10 if c == 1 else -10) * ((bx + by) % 2)
    return 250 if bx == 5 - by else 20 + 10 * bx


def scaled(value, depth):
    return value * ((1 << depth) - 1) // 255


def png_kinds():
    """Every colour type and depth a PNG may have, with and without transparency, interlaced."""
    def rgb_at(depth, alpha=False):
        def sample(x, y):
            r, g, b = rgb(x, y)
            extra = (scaled((x * 37 + y * 11) % 256, depth),) if alpha else ()
            if depth == 16:
                return tuple(min(v, 0xFFFF) for v in (r * 257 + x, g * 257 + y * 3, b * 257 + x * y % 251)) + extra
            return (r, g, b) + extra
        return sample

    def grey_at(depth, alpha=False):
        def sample(x, y):
            value = scaled(grey(x, y), depth) if depth < 16 else min(grey(x, y) * 257 + (x * 13 + y) % 256, 0xFFFF)
            return (value, scaled((x * 29 + y * 7) % 256, depth)) if alpha else (value,)
        return sample

    def index_at(colours):
        pick = index(colours)
        return lambda x, y: (pick(x, y),)

    colours16 = [(i * 40 % 200, i * 70 % 200, i * 20 % 200) for i in range(15)] + [(255, 255, 255)]
    colours256 = [(i, 255 - i, i * 7 % 256) for i in range(255)] + [(255, 255, 255)]
    yield "png-grey-1bit.png", pw.png_kind(WIDTH, HEIGHT, 0, 1, grey_at(1))
    yield "png-grey-2bit.png", pw.png_kind(WIDTH, HEIGHT, 0, 2, grey_at(2))
    yield "png-grey-4bit.png", pw.png_kind(WIDTH, HEIGHT, 0, 4, grey_at(4))
    yield "png-grey-8bit.png", pw.png_kind(WIDTH, HEIGHT, 0, 8, grey_at(8))
    yield "png-grey-16bit.png", pw.png_kind(WIDTH, HEIGHT, 0, 16, grey_at(16))
    yield "png-grey-transparent.png", pw.png_kind(WIDTH, HEIGHT, 0, 8, grey_at(8), trns=b"\x00\x1e")
    yield "png-grey-alpha-8bit.png", pw.png_kind(WIDTH, HEIGHT, 4, 8, grey_at(8, True))
    yield "png-grey-alpha-16bit.png", pw.png_kind(WIDTH, HEIGHT, 4, 16, grey_at(16, True))
    yield "png-rgb-16bit.png", pw.png_kind(WIDTH, HEIGHT, 2, 16, rgb_at(16))
    yield "png-rgb-transparent.png", pw.png_kind(WIDTH, HEIGHT, 2, 8, rgb_at(8), trns=b"\x00\x05\x00\x09\x00\x0e")
    yield "png-rgba-8bit.png", pw.png_kind(WIDTH, HEIGHT, 6, 8, rgb_at(8, True))
    yield "png-rgba-16bit.png", pw.png_kind(WIDTH, HEIGHT, 6, 16, rgb_at(16, True))
    yield "png-palette-4bit.png", pw.png_kind(WIDTH, HEIGHT, 3, 4, index_at(16), palette=colours16)
    yield "png-palette-8bit.png", pw.png_kind(WIDTH, HEIGHT, 3, 8, index_at(256), palette=colours256)
    yield "png-palette-transparent.png", pw.png_kind(WIDTH, HEIGHT, 3, 4, index_at(16), palette=colours16,
                                                     trns=bytes(range(0, 160, 10)))
    yield "png-rgb-interlaced.png", pw.png_kind(WIDTH, HEIGHT, 2, 8, rgb_at(8), interlaced=True)
    yield "png-grey-2bit-interlaced.png", pw.png_kind(WIDTH, HEIGHT, 0, 2, grey_at(2), interlaced=True)
    yield "png-rgba-16bit-interlaced.png", pw.png_kind(WIDTH, HEIGHT, 6, 16, rgb_at(16, True), interlaced=True)


def png16(width, height):
    """A 16-bit RGB PNG, which Qt decodes at 8 bytes a pixel."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw += b"".join(struct.pack(">H", level * 257) for level in rgb(x, y))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 16, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def netpbm(magic, maxval, value):
    wide = maxval > 255
    body = b"".join(struct.pack(">H" if wide else "B", v) for y in range(HEIGHT) for x in range(WIDTH)
                    for v in value(x, y))
    return b"%s\n%d %d\n%d\n" % (magic, WIDTH, HEIGHT, maxval) + body


def xbm(rows=HEIGHT):
    values = []
    for y in range(rows):
        for byte in range((WIDTH + 7) // 8):
            values.append(sum(1 << bit for bit in range(8) if on_line(byte * 8 + bit, y)))
    text = ", ".join("0x%02x" % v for v in values)
    return (b"#define line_width %d\n#define line_height %d\nstatic char line_bits[] = {\n%s };\n"
            % (WIDTH, HEIGHT, text.encode()))


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


def pictures():
    yield "bmp-1bit.bmp", paletted(1)
    yield "bmp-4bit.bmp", paletted(4)
    yield "bmp-4bit-short-palette.bmp", paletted(4, colours=6)
    yield "bmp-8bit.bmp", paletted(8)
    yield "bmp-8bit-short-palette.bmp", paletted(8, colours=20)
    yield "bmp-8bit-top-down.bmp", paletted(8, top_down=True)
    yield "bmp-rle4.bmp", run_length(4)
    yield "bmp-rle8.bmp", run_length(8)
    yield "bmp-16bit-555.bmp", sixteen_bit()
    yield "bmp-16bit-565-bitfields.bmp", sixteen_bit((0xF800, 0x07E0, 0x001F))
    yield "bmp-24bit.bmp", true_colour(24)
    yield "bmp-24bit-top-down.bmp", true_colour(24, top_down=True)
    yield "bmp-32bit.bmp", true_colour(32)
    yield "bmp-32bit-bitfields.bmp", true_colour(32, bit_fields=True)
    yield "bmp-32bit-v4-header.bmp", true_colour(32, header_size=108, bit_fields=True)
    yield "bmp-24bit-v5-header.bmp", true_colour(24, header_size=124)
    yield "bmp-os2-1bit.bmp", os2(1)
    yield "bmp-os2-8bit.bmp", os2(8)
    yield "bmp-os2-24bit.bmp", os2(24)
    yield "png-rgb.png", pw.png(WIDTH, HEIGHT, rgb)
    yield from png_kinds()
    yield "jpeg-grey.jpg", pw.jpeg(48, 32, lambda bx, by, c: ycbcr_block(bx, by, 0))
    yield "jpeg-colour.jpg", pw.jpeg(48, 32, ycbcr_block, components=3)
    yield "png-16bit.png", png16(WIDTH, HEIGHT)
    yield "ppm-rgb.ppm", netpbm(b"P6", 255, rgb)
    yield "pgm-16bit.pgm", netpbm(b"P5", 65535, lambda x, y: (grey(x, y) * 257,))
    yield "xbm-line.xbm", xbm()
    yield "xbm-stopped-early.xbm", xbm(rows=HEIGHT // 2)
    yield "xpm-line.xpm", xpm()
    yield "gif-line.gif", (Path(__file__).resolve().parent.parent / "tests" / "data" / "line.gif").read_bytes()
    yield "gif-stopped-early.gif", GIF_STOPPED_EARLY
    yield "gif-bare-screen.gif", GIF_BARE_SCREEN
    yield "bmp-8bit-cut.bmp", paletted(8, colours=20)[:-300]


def main(arguments):
    usage = __doc__.strip().splitlines()[-1].strip()
    if arguments in (["-h"], ["--help"]):
        print(usage)
        return 0
    # An option is never taken for a folder: "./-name" names a folder that starts with a dash.
    if len(arguments) != 1 or arguments[0].startswith("-"):
        print(usage, file=sys.stderr)
        return 2
    folder = Path(arguments[0])
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in pictures():
        (folder / name).write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
