import os
from typing import Iterable, NotRequired, TypedDict, Union

import numpy as np
import numpy.typing as npt

__version__: str
# The level measure() binarises at unless told otherwise, as the window always does.
DEFAULT_LEVEL: int

class PictureError(ValueError):
    """A picture file that cannot be measured; the message names the file and says why."""

class Fit(TypedDict):
    angle: float
    slope: float | None
    centre: list[float]
    ends: list[list[float]]
    rms: float
    angle_sd: float
    samples: int

class Result(TypedDict):
    file: NotRequired[str]
    fr: list[int]
    re: list[int]
    slope: float
    angle: NotRequired[float]
    computed: bool
    fit: NotRequired[Fit | None]

class Failure(TypedDict):
    """A picture that could not be measured, as slopemeter.dask.measure_batch gives it."""
    file: str
    error: str

Picture = Union[str, bytes, os.PathLike[str], os.PathLike[bytes], npt.NDArray[np.uint8]]

def measure(picture: Picture, level: int = DEFAULT_LEVEL, fit: bool = False) -> Result:
    """Measures the tilt of the bright line in a picture file or a uint8 array (H, W, 3|4) or (H, W);
    with fit=True also a line fitted through its whole length."""

def captions(result: Result) -> tuple[str, str, str]:
    """The window's three captions for a result of measure()."""

Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]

def report(results: Iterable[Result | Failure], path: Path, level: int = DEFAULT_LEVEL,
           overwrite: bool = False, *, seconds: float | None = None) -> None:
    """Writes the HTML report of results, as slopemeter-cli --report does; with the fit when any
    result has one, and seconds as the time the measuring took. FileExistsError when path is there without overwrite, OSError when it cannot
    be written, TypeError or ValueError naming the place of a result of another shape."""

class _Report:
    """The report written a result at a time; nothing is left at path until finish()."""
    def __init__(self, path: Path, level: int = DEFAULT_LEVEL, fit: bool = False, stream: bool = False,
                 overwrite: bool = False) -> None: ...
    def add(self, result: Result | Failure) -> None: ...
    def finish(self, elapsed_seconds: float, cut_short: bool = False) -> None: ...
