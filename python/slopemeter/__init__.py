"""Measures the tilt of a bright line in a picture, as slopemeter and slopemeter-cli do.

    import slopemeter
    result = slopemeter.measure("samples/test.bmp")  # or an array from OpenCV or Pillow
    print(result["slope"], result["computed"])        # 0.1891892 True
    print(*slopemeter.captions(result), sep="\\n")   # the window's three captions

measure() takes a path or a numpy uint8 array (H, W, 3), (H, W, 4) or (H, W), and returns a
dict like one line of `slopemeter-cli --json`. `python3 -m slopemeter.dask` measures many files
on a Dask cluster.
"""
from ._slopemeter import DEFAULT_LEVEL, PictureError, __version__, captions, measure

__all__ = ["DEFAULT_LEVEL", "PictureError", "captions", "measure", "__version__"]
