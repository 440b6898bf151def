"""The names of the pictures to measure, as slopemeter-cli takes them: files and glob patterns
named on the command line, then the lines of a list, read as the run goes."""
import glob
import os
import sys

# The longest name a list line may hold (PATH_MAX less its NUL), as much of a longer line as its
# error shows, and the length past which a "list" is taken for something that holds no names.
LONGEST_NAME = 4095
SHOWN_BYTES = 60
MOST_LINE_BYTES = 64 << 20


class ListError(Exception):
    """A list that cannot be read on: the run stops there, as slopemeter-cli's does."""


def expand(arguments):
    """File names in order: each pattern replaced by its sorted matches, other names kept.
    A file whose name looks like a pattern, such as "scan[1].png", is taken as named."""
    for argument in arguments:
        is_pattern = glob.escape(argument) != argument and not os.path.lexists(argument)
        matches = sorted(glob.glob(argument)) if is_pattern else []
        # A pattern that matches nothing is kept, so that it is reported as a missing file.
        yield from matches or [argument]


def list_lines(stream, separator):
    """Each entry of a list as (its first LONGEST_NAME bytes, its whole length), read a block at
    a time so that neither a long list nor a long line is ever held whole."""
    head, length, number = b"", 0, 0
    read = getattr(stream, "read1", stream.read)
    while block := read(1 << 16):
        parts = block.split(separator)
        for part in parts[:-1]:
            number += 1
            yield (head + part[:LONGEST_NAME - len(head)]), length + len(part)
            head, length = b"", 0
        head += parts[-1][:LONGEST_NAME - len(head)]
        length += len(parts[-1])
        if length > MOST_LINE_BYTES:
            raise ListError(f"Cannot read the list of pictures: line {number + 1} is more than "
                            f"{MOST_LINE_BYTES} bytes long, so it is no list of names.")
    if length:
        yield head, length


def listed_entries(stream, null=False):
    """(name, None) for each name of a list, or (what the line shows, why) for a line that
    cannot be a name; the rules are slopemeter-cli's."""
    cr_line_ends = False
    for number, (line, length) in enumerate(list_lines(stream, b"\0" if null else b"\n"), 1):
        # A list written on Windows ends its lines in CR LF; its first line tells.
        if not null and number == 1:
            cr_line_ends = line.endswith(b"\r")
        if cr_line_ends and length == len(line) and line.endswith(b"\r"):
            line, length = line[:-1], length - 1
        if length == 0:
            continue
        where = f"Cannot read line {number} of the list"
        if length > len(line):
            yield (os.fsdecode(line[:SHOWN_BYTES]) + "...",
                   f"{where}: it is {length} bytes long, more than the {LONGEST_NAME} bytes of the "
                   "longest file name.")
        elif b"\0" in line:
            yield (os.fsdecode(line[:line.index(b"\0")]),
                   f"{where}: it holds a NUL byte, which no file name can; --null reads a list whose "
                   "names each end with one.")
        else:
            yield os.fsdecode(line), None


def entries(files=(), files_from=None, null=False):
    """The named files (patterns expanded), then those of the list, as (name, error or None).
    The list is opened at once, so that one that cannot be is refused before anything is done."""
    stream = None
    if files_from is not None:
        stream = sys.stdin.buffer if files_from == "-" else open(files_from, "rb")

    def generate():
        for name in expand(files):
            yield name, None
        if stream is not None:
            with stream:
                yield from listed_entries(stream, null)
    return generate()
