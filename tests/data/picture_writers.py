"""Writes small pictures byte by byte: BMP of every kind, PNG and baseline JPEG.

Nothing here checks its arguments, on purpose: the same writers make the damaged pictures the
tests feed the loader, by being handed sizes, offsets and counts that do not fit.
"""
import struct
import zlib

BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS = 0, 1, 2, 3


def file_header(file_size, data_offset):
    return struct.pack("<2sIHHI", b"BM", file_size, 0, 0, data_offset)


def info_header(width, height, bits, compression=BI_RGB, image_size=0, colours_used=0,
                size=40, masks=None):
    """A BITMAPINFOHEADER (size 40), or a V4 (108) or V5 (124) header holding the masks."""
    header = struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, compression, image_size,
                         2835, 2835, colours_used, 0)
    if size > 40:
        red, green, blue, alpha = (masks or (0, 0, 0, 0)) + (0,) * (4 - len(masks or ()))
        header += struct.pack("<IIII", red, green, blue, alpha)
        header += b"BGRs" + bytes(36) + bytes(12)
        if size > 108:
            header += struct.pack("<IIII", 4, 0, 0, 0)
    return header


def core_header(width, height, bits):
    """The OS/2 1.x header: 16-bit sizes, palette entries of three bytes."""
    return struct.pack("<IHHHH", 12, width, height, 1, bits)


def bmp(header, pixels, palette=b"", masks=b"", data_offset=None):
    """A whole file: file header, the given header, masks, palette and pixel data."""
    offset = 14 + len(header) + len(masks) + len(palette)
    if data_offset is None:
        data_offset = offset
    return file_header(offset + len(pixels), data_offset) + header + masks + palette + pixels


def palette_bytes(colours, entry_size=4):
    """(r, g, b) colours as the palette stores them: blue, green, red (and a zero byte)."""
    return b"".join(bytes((b, g, r)) + bytes(entry_size - 3) for r, g, b in colours)


def packed_rows(width, height, bits, value, top_down=False):
    """Rows padded to four bytes, bottom row first unless top_down; value(x, y) gives a palette
    index or the pixel's bits, y = 0 being the top row."""
    rows = []
    order = range(height) if top_down else reversed(range(height))
    for y in order:
        row = bytearray()
        if bits < 8:
            per_byte = 8 // bits
            for start in range(0, width, per_byte):
                byte = 0
                for i in range(per_byte):
                    x = start + i
                    byte = byte << bits | (value(x, y) if x < width else 0)
                row.append(byte)
        else:
            for x in range(width):
                row += value(x, y).to_bytes(bits // 8, "little")
        row += bytes(-len(row) % 4)
        rows.append(bytes(row))
    return b"".join(rows)


def _stretches(row, longest):
    """Splits a row of indices into repeats (count, index) and unrepeated stretches [indices]."""
    x = 0
    while x < len(row):
        run = 1
        while x + run < len(row) and run < longest and row[x + run] == row[x]:
            run += 1
        if run >= 2:
            yield run, row[x]
            x += run
            continue
        end = x + 1
        while end < len(row) and end - x < longest and row[end] != row[end - 1]:
            end += 1
        if end < len(row) and end - x > 1:
            end -= 1  # leave the start of the next repeat to it
        yield list(row[x:end])
        x = end


def rle8(width, height, index):
    """Run-length coded 8-bit rows, bottom first: repeats as runs, the rest in absolute mode
    (stretches of fewer than three pixels as runs of one, as absolute mode needs three)."""
    data = bytearray()
    for y in reversed(range(height)):
        for part in _stretches([index(x, y) for x in range(width)], 255):
            if isinstance(part, tuple):
                data += bytes(part)
            elif len(part) < 3:
                data += b"".join(bytes((1, value)) for value in part)
            else:
                data += bytes((0, len(part))) + bytes(part) + bytes(len(part) % 2)
        data += b"\x00\x00"
    return bytes(data + b"\x00\x01")


def rle4(width, height, index):
    """Run-length coded 4-bit rows, bottom first, in the same way as rle8."""
    data = bytearray()
    for y in reversed(range(height)):
        for part in _stretches([index(x, y) for x in range(width)], 254):
            if isinstance(part, tuple):
                data += bytes((part[0], part[1] << 4 | part[1]))
            elif len(part) < 3:
                data += b"".join(bytes((1, value << 4)) for value in part)
            else:
                padded = part + [0] * (len(part) % 2)
                packed = bytes(padded[i] << 4 | padded[i + 1] for i in range(0, len(padded), 2))
                data += bytes((0, len(part))) + packed + bytes(len(packed) % 2)
        data += b"\x00\x00"
    return bytes(data + b"\x00\x01")


def png(width, height, rgb):
    """An 8-bit RGB PNG; rgb(x, y) gives (r, g, b)."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw += bytes(rgb(x, y))

    def chunk(kind, data):
        crc = zlib.crc32(kind + data) & 0xFFFFFFFF
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", crc)

    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def _huffman_codes(counts, symbols):
    """The canonical codes of a JPEG Huffman table, as {symbol: (code, length)}."""
    codes, code, at = {}, 0, 0
    for length, count in enumerate(counts, start=1):
        for _ in range(count):
            codes[symbols[at]] = (code, length)
            code += 1
            at += 1
        code <<= 1
    return codes


def jpeg(width, height, block_value, components=1):
    """A baseline JPEG whose 8x8 blocks are each of one colour: block_value(bx, by, c) gives
    component c's value (0..255) of the block; one component is grey, three are Y, Cb, Cr.
    Only DC coefficients are coded, which keeps the encoder to a few lines."""
    dc_counts = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
    dc_symbols = list(range(12))
    ac_counts = [1] + [0] * 15
    ac_symbols = [0x00]  # end of block, the only AC symbol used
    dc_codes = _huffman_codes(dc_counts, dc_symbols)
    end_of_block = _huffman_codes(ac_counts, ac_symbols)[0]

    def segment(marker, body):
        return struct.pack(">BBH", 0xFF, marker, len(body) + 2) + body

    out = bytearray(b"\xFF\xD8")
    out += segment(0xDB, b"\x00" + bytes([1] * 64))
    frame = struct.pack(">BHHB", 8, height, width, components)
    for c in range(components):
        frame += bytes((c + 1, 0x11, 0))
    out += segment(0xC0, frame)
    out += segment(0xC4, b"\x00" + bytes(dc_counts) + bytes(dc_symbols))
    out += segment(0xC4, b"\x10" + bytes(ac_counts) + bytes(ac_symbols))
    scan = bytes((components,)) + b"".join(bytes((c + 1, 0x00)) for c in range(components))
    out += segment(0xDA, scan + b"\x00\x3F\x00")

    bits = []

    def put(code, length):
        bits.extend((code >> (length - 1 - i)) & 1 for i in range(length))

    predictions = [0] * components
    for by in range((height + 7) // 8):
        for bx in range((width + 7) // 8):
            for c in range(components):
                dc = 8 * (block_value(bx, by, c) - 128)
                diff = dc - predictions[c]
                predictions[c] = dc
                category = abs(diff).bit_length()
                put(*dc_codes[category])
                if category:
                    put(diff if diff > 0 else diff + (1 << category) - 1, category)
                put(*end_of_block)
    bits.extend([1] * (-len(bits) % 8))
    for i in range(0, len(bits), 8):
        byte = int("".join(map(str, bits[i:i + 8])), 2)
        out.append(byte)
        if byte == 0xFF:
            out.append(0)
    return bytes(out + b"\xFF\xD9")


ADAM7 = ((0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2))
PNG_CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


def _png_row(samples, depth):
    if depth == 16:
        return b"".join(struct.pack(">H", s) for s in samples)
    if depth == 8:
        return bytes(samples)
    out, bits, filled = bytearray(), 0, 0
    for s in samples:
        bits, filled = bits << depth | s, filled + depth
        if filled == 8:
            out.append(bits)
            bits, filled = 0, 0
    if filled:
        out.append(bits << (8 - filled))
    return bytes(out)


def png_kind(width, height, colour_type, depth, sample, palette=None, trns=None, interlaced=False):
    """A PNG of any colour type and depth; sample(x, y) gives the tuple of a pixel's samples
    (one palette index, one grey, grey and alpha, r g b, or r g b a). Rows are unfiltered and,
    when interlaced, laid out in the seven Adam7 passes."""
    passes = ADAM7 if interlaced else ((0, 0, 1, 1),)
    raw = bytearray()
    for x0, y0, dx, dy in passes:
        columns = range(x0, width, dx)
        if not columns:
            continue
        for y in range(y0, height, dy):
            raw.append(0)
            raw += _png_row([s for x in columns for s in sample(x, y)], depth)

    def chunk(kind, data):
        crc = zlib.crc32(kind + data) & 0xFFFFFFFF
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", crc)

    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 1 if interlaced else 0)
    body = chunk(b"IHDR", header)
    if palette:
        body += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    if trns is not None:
        body += chunk(b"tRNS", trns)
    return b"\x89PNG\r\n\x1a\n" + body + chunk(b"IDAT", zlib.compress(bytes(raw), 6)) + chunk(b"IEND", b"")
