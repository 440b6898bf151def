"""What the Dask command prints: results in slopemeter-cli's formats, by its own writers, errors
and names as it shows them on a terminal, and a progress line."""
import sys
import time

from slopemeter._slopemeter import _format

PROGRAM = "slopemeter.dask"


def formatted(result, style, fit=False):
    """One result as slopemeter-cli writes it, by the same writer."""
    return _format(result, style, fit).decode("utf-8", "surrogateescape")


def terminal_text(text):
    """Text as slopemeter-cli shows it on a terminal: control characters and bytes that are not
    UTF-8 as escapes, so that no name can move the cursor or look like another."""
    shown = []
    for character in text:
        code = ord(character)
        if code < 0x20 or code == 0x7F:
            shown.append(f"\\x{code:02X}")
        elif 0x80 <= code < 0xA0:
            shown.append(f"\\u00{code:02X}")
        elif 0xDC80 <= code <= 0xDCFF:
            shown.append(f"\\x{code - 0xDC00:02X}")
        else:
            shown.append(character)
    return "".join(shown)


class Progress:
    """A line on standard error, when it is a terminal: pictures done (of how many, when known),
    the rate, and the failures so far."""

    def __init__(self, total):
        self.total = total
        self.shown = sys.stderr.isatty()
        self.done = self.failed = 0
        self.start = self.drawn = time.monotonic()

    def advance(self, done, failed):
        self.done += done
        self.failed += failed
        now = time.monotonic()
        if self.shown and now - self.drawn >= 0.1:
            self.drawn = now
            of = f" of {self.total}" if self.total is not None else ""
            rate = f", {self.done / max(now - self.start, 1e-9):.0f}/s" if self.total is None else ""
            sys.stderr.write(f"\r\033[Kmeasured {self.done}{of} pictures{rate}, {self.failed} failed")
            sys.stderr.flush()

    def clear(self):
        if self.shown:
            sys.stderr.write("\r\033[K")


class Printer:
    """Writes results in one of slopemeter-cli's formats, in the order they are handed over."""

    def __init__(self, style, named, fit=False, progress=None):
        self.style = style
        self.named = named
        self.fit = fit
        self.progress = progress
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
                sys.stdout.write(("\n" if self.printed_any else "") + terminal_text(result["file"]) + "\n")
            sys.stdout.write(formatted(result, "captions", self.fit))
            self.printed_any = True
        if "error" in result:
            self.failure(result["error"])

    def failure(self, why):
        sys.stdout.flush()
        if self.progress:
            self.progress.clear()
        sys.stderr.write(f"{PROGRAM}: {terminal_text(why)}\n")
        sys.stderr.flush()
