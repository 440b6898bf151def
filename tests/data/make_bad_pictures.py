#!/usr/bin/env python3
"""Makes the damaged and hostile pictures in tests/data/bad/, each a few bytes to a few KB.

Each must give a clear error and no picture. They are made from sound pictures by changing one
thing, so that each file shows one fault. The files are committed; make them again with
    python3 tests/data/make_bad_pictures.py
"""
import struct
from pathlib import Path

HERE = Path(__file__).resolve().parent
WIDTH, HEIGHT = 16, 8
BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS = 0, 1, 2, 3
WIDTH_AT, HEIGHT_AT, BITS_AT, OFFSET_AT = 18, 22, 28, 10


def bmp(width, height, bits, pixels, compression=BI_RGB, colours_used=0, extra=b"", image_size=0):
    """A whole file with a 40-byte header; extra is the masks or the palette."""
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, image_size, 2835, 2835,
                         colours_used, 0)
    offset = 14 + len(header) + len(extra)
    return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + header + extra + pixels


def rows(bits, value, width=WIDTH, height=HEIGHT):
    """Rows padded to four bytes, bottom row first; value(x, y) gives an index or a pixel's bits."""
    out = b""
    for y in reversed(range(height)):
        if bits < 8:
            per_byte = 8 // bits
            row = bytes(sum(value(start + i, y) << bits * (per_byte - 1 - i) for i in range(per_byte))
                        for start in range(0, width, per_byte))
        else:
            row = b"".join(value(x, y).to_bytes(bits // 8, "little") for x in range(width))
        out += row + bytes(-len(row) % 4)
    return out


def paletted(bits, colours, pixels, compression=BI_RGB, colours_used=None):
    grey = b"".join(bytes((i * 255 // max(colours - 1, 1),) * 3 + (0,)) for i in range(colours))
    return bmp(WIDTH, HEIGHT, bits, pixels, compression, colours if colours_used is None else colours_used, grey,
               len(pixels))


def with_u32(data, at, value, signed=False):
    return data[:at] + struct.pack("<i" if signed else "<I", value) + data[at + 4:]


def with_u16(data, at, value):
    return data[:at] + struct.pack("<H", value) + data[at + 2:]


def bit_fields(bits, masks):
    value = (lambda x, y: 0x1234 + x) if bits == 16 else (lambda x, y: 0x00123456 + x)
    return bmp(WIDTH, HEIGHT, bits, rows(bits, value), BI_BITFIELDS, extra=struct.pack("<3I", *masks))


def cut_in_middle_of(data, marker):
    """The file up to halfway between the marker and its end: for PNG and JPEG, a cut inside
    the coded pixels, which decoders tend to fill in rather than refuse."""
    start = data.index(marker)
    return data[:start + (len(data) - start) // 2]


def pictures():
    sound = bmp(WIDTH, HEIGHT, 24, rows(24, lambda x, y: (x * 16) << 16 | (y * 30) << 8 | 0x40))
    end_of_lines = b"\x00\x00" * HEIGHT
    rle8 = lambda coded: paletted(8, 4, coded, BI_RLE8)
    rle4 = lambda coded: paletted(4, 4, coded, BI_RLE4)
    # The headers of a huge picture and none of its pixels: a few dozen bytes that claim gigabytes.
    header_only = lambda width, height, bits=24: bmp(width, height, bits, b"")
    yield "empty.bmp", b""
    yield "text.bmp", b"This is a text file that someone named test.bmp.\n"
    yield "header-cut-in-file-header.bmp", sound[:10]
    yield "header-cut-in-info-header.bmp", sound[:30]
    yield "pixels-cut-short.bmp", sound[:len(sound) - 100]
    yield "pixel-offset-past-end.bmp", with_u32(sound, OFFSET_AT, 1 << 20)
    yield "width-zero.bmp", with_u32(sound, WIDTH_AT, 0)
    yield "height-zero.bmp", with_u32(sound, HEIGHT_AT, 0)
    yield "width-negative.bmp", with_u32(sound, WIDTH_AT, -WIDTH, signed=True)
    yield "height-int-min.bmp", with_u32(sound, HEIGHT_AT, -2**31, signed=True)
    yield "beyond-pixel-limit.bmp", header_only(20000, 10000)
    yield "beyond-int-range.bmp", header_only(70000, 70000)
    yield "beyond-int-range-widest.bmp", header_only(2**31 - 1, 2**31 - 1, bits=32)
    yield "palette-index-past-palette-8bit.bmp", paletted(8, 4, rows(8, lambda x, y: 200 + x))
    yield "palette-index-past-palette-4bit.bmp", paletted(4, 2, rows(4, lambda x, y: x % 16))
    yield "palette-size-huge.bmp", paletted(8, 4, rows(8, lambda x, y: (x + y) % 4), colours_used=0xFFFFFFFF)
    yield "rle8-run-past-row.bmp", rle8(bytes((200, 1)) + end_of_lines + b"\x00\x01")
    yield "rle8-absolute-past-row.bmp", rle8(b"\x00\x28" + bytes(range(40)) + end_of_lines + b"\x00\x01")
    yield "rle8-rows-past-picture.bmp", rle8(end_of_lines + b"\x00\x00" * 4 + bytes((8, 2)) + b"\x00\x01")
    yield "rle8-delta-past-picture.bmp", rle8(b"\x00\x02\x05\xF0" + bytes((8, 2)) + b"\x00\x01")
    yield "rle8-index-past-palette.bmp", rle8(bytes((WIDTH, 250)) * HEIGHT + b"\x00\x01")
    yield "rle8-cut-short.bmp", rle8(bytes((WIDTH, 1)) + b"\x00\x00" + bytes((WIDTH, 2)))
    yield "rle4-run-past-row.bmp", rle4(bytes((200, 0x12)) + end_of_lines + b"\x00\x01")
    yield "rle4-absolute-past-row.bmp", rle4(b"\x00\x28" + bytes(20) + end_of_lines + b"\x00\x01")
    yield "rle4-rows-past-picture.bmp", rle4(end_of_lines + b"\x00\x00" * 4 + bytes((8, 0x12)) + b"\x00\x01")
    yield "bitfields-masks-zero.bmp", bit_fields(16, (0, 0, 0))
    yield "bitfields-masks-overlap.bmp", bit_fields(32, (0x00FFFF00, 0x0000FFFF, 0x00FF00FF))
    yield "bits-per-pixel-0.bmp", with_u16(sound, BITS_AT, 0)
    yield "bits-per-pixel-7.bmp", with_u16(sound, BITS_AT, 7)
    yield "bits-per-pixel-64.bmp", with_u16(sound, BITS_AT, 64)
    yield "png-cut-short.png", cut_in_middle_of((HERE / "kinds" / "png-rgb.png").read_bytes(), b"IDAT")
    yield "jpeg-cut-short.jpg", cut_in_middle_of((HERE / "kinds" / "jpeg-colour.jpg").read_bytes(), b"\xFF\xDA")


if __name__ == "__main__":
    folder = HERE / "bad"
    folder.mkdir(exist_ok=True)
    for old in folder.iterdir():
        old.unlink()
    for name, data in pictures():
        (folder / name).write_bytes(data)
