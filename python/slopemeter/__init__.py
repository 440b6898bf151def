"""Measures the tilt of a bright line in a picture, as slopemeter and slopemeter-cli do.

    import slopemeter
    result = slopemeter.measure("samples/test.bmp")  # or an array from OpenCV or Pillow
    print(result["slope"], result["computed"])        # 0.1891892 True
    print(*slopemeter.captions(result), sep="\\n")   # the window's three captions
    slopemeter.report([result], "report.html")       # a page of results, for a browser

measure() takes a path or a numpy uint8 array (H, W, 3), (H, W, 4) or (H, W), and returns a
dict like one line of `slopemeter-cli --json`. report() writes the HTML page of a list of such
results that `slopemeter-cli --report` writes of a run. `python3 -m slopemeter.dask` measures
many files on a Dask cluster.
"""
try:
    from ._slopemeter import DEFAULT_LEVEL, PictureError, _Report, __version__, captions, measure, report
except ModuleNotFoundError as missing:
    # The compiled part loads only into the interpreter it was built for, such as Debian's
    # /usr/bin/python3; another (a pyenv or venv one) finds none and would say only that.
    import glob as _glob
    import os as _os
    import sys as _sys

    _built = sorted(_os.path.basename(f).split(".")[1]
                    for f in _glob.glob(_os.path.join(_os.path.dirname(__file__), "_slopemeter.*")))
    raise ImportError(
        f"slopemeter's compiled module was built for {', '.join(_built) or 'another interpreter'}"
        f" (such as Debian's /usr/bin/python3), not for this Python {_sys.version.split()[0]}"
        f" at {_sys.executable}") from missing

__all__ = ["DEFAULT_LEVEL", "PictureError", "captions", "measure", "report", "__version__"]
