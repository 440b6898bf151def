#include "AnsiText.h"
#include "Measurement.h"
#include "ModuleArguments.h"
#include "ModuleMeasurement.h"
#include "ModuleReport.h"
#include "NameEscaping.h"
#include "NumberText.h"
#include "ResultPrinter.h"
#include "SysUtils.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

namespace py = pybind11;

namespace {

// Made once at import and kept for the life of the interpreter.
PyObject* pictureError = nullptr;


// The value json.loads gives for that text: the digits read as a double, which is not always
// the float's own value.
double jsonNumber(float value)
{
    const QByteArray text = shortestText(value);
    double number = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

double jsonNumber(double value)
{
    const QByteArray text = fitText(value);
    double number = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

py::list pointList(double x, double y)
{
    return py::list(py::make_tuple(jsonNumber(x), jsonNumber(y)));
}

// The "fit" of slopemeter-cli --fit --json, as json.loads reads it.
py::object fitObject(const std::optional<FittedLine>& fit)
{
    if (!fit)
        return py::none();
    py::dict dict;
    dict["angle"] = jsonNumber(fit->angle);
    dict["slope"] = fit->slope ? py::object(py::float_(jsonNumber(*fit->slope))) : py::object(py::none());
    dict["centre"] = pointList(fit->centreX, fit->centreY);
    dict["ends"] = py::list(py::make_tuple(pointList(fit->x1, fit->y1), pointList(fit->x2, fit->y2)));
    dict["rms"] = jsonNumber(fit->rms);
    dict["angle_sd"] = jsonNumber(fit->angleSd);
    dict["samples"] = fit->samples;
    return dict;
}

py::dict resultDict(const LineMeasurement& outcome, bool withFit, const std::optional<py::str>& file)
{
    const ScanResult& result = outcome.result;
    py::dict dict;
    if (file)
        dict["file"] = *file;
    dict["fr"] = py::list(py::make_tuple(result.FrX, result.FrY));
    dict["re"] = py::list(py::make_tuple(result.ReX, result.ReY));
    dict["slope"] = jsonNumber(result.Slope);
    if (outcome.computed)
        dict["angle"] = jsonNumber(AngleOf(result.Slope));
    dict["computed"] = outcome.computed;
    if (withFit)
        dict["fit"] = fitObject(outcome.fit);
    return dict;
}

py::dict measurePath(py::handle picture, const MeasureSettings& settings)
{
    const auto path = py::reinterpret_steal<py::object>(PyOS_FSPath(picture.ptr()));
    if (!path)
        throw py::error_already_set();
    const py::module_ os = py::module_::import("os");
    const py::str file = os.attr("fsdecode")(path);
    const std::string fileName = py::bytes(os.attr("fsencode")(path));
    if (std::memchr(fileName.data(), '\0', fileName.size()))
        throw py::value_error("the path holds a null byte");

    LineMeasurement outcome;
    std::string failure;
    {
        py::gil_scoped_release released;
        try {
            outcome = measureFile(fileName, settings);
        } catch (const Exception& exception) {
            failure = exception.Message;
        }
    }
    if (!failure.empty()) {
        PyErr_SetString(pictureError, failure.c_str());
        throw py::error_already_set();
    }
    return resultDict(outcome, settings.fit, file);
}

std::string shapeText(const py::array& array)
{
    std::string text = "(";
    for (py::ssize_t axis = 0; axis < array.ndim(); ++axis)
        text += (axis ? ", " : "") + std::to_string(array.shape(axis));
    return text + (array.ndim() == 1 ? ",)" : ")");
}

PixelArray pixelArrayOf(const py::array& array)
{
    const py::dtype dtype = array.dtype();
    if (dtype.kind() != 'u' || dtype.itemsize() != 1)
        throw py::type_error("a picture array must hold uint8 values, not " + py::str(dtype.attr("name")).cast<std::string>());
    const bool colour = array.ndim() == 3 && (array.shape(2) == 3 || array.shape(2) == 4);
    if (array.ndim() != 2 && !colour)
        throw py::value_error("a picture array must have the shape (H, W, 3), (H, W, 4) or (H, W), not "
                              + shapeText(array));
    if (array.shape(0) == 0 || array.shape(1) == 0)
        throw py::value_error("the picture array has no pixels: " + shapeText(array));
    if (array.shape(0) > INT_MAX || array.shape(1) > INT_MAX)
        throw py::value_error("the picture array " + shapeText(array) + " is too large to measure");
    PixelArray pixels;
    pixels.data = static_cast<const std::uint8_t*>(array.data());
    pixels.height = int(array.shape(0));
    pixels.width = int(array.shape(1));
    pixels.channels = colour ? int(array.shape(2)) : 1;
    pixels.rowStride = array.strides(0);
    pixels.pixelStride = array.strides(1);
    pixels.channelStride = colour ? array.strides(2) : 1;
    return pixels;
}

py::dict measureArrayObject(const py::array& array, const MeasureSettings& settings)
{
    const PixelArray pixels = pixelArrayOf(array);
    LineMeasurement outcome;
    {
        py::gil_scoped_release released;
        outcome = measureArray(pixels, settings);
    }
    return resultDict(outcome, settings.fit, std::nullopt);
}

py::dict measure(py::handle picture, py::handle level, bool fit)
{
    MeasureSettings settings;
    settings.level = levelOf(level);
    settings.fit = fit;
    // Paths first: measuring files needs no numpy.
    if (PyUnicode_Check(picture.ptr()) || PyBytes_Check(picture.ptr()) || py::hasattr(picture, "__fspath__"))
        return measurePath(picture, settings);
    if (py::isinstance<py::array>(picture))
        return measureArrayObject(py::reinterpret_borrow<py::array>(picture), settings);
    throw py::type_error("picture must be a path (str, bytes or os.PathLike) or a numpy uint8 array, not "
                         + typeName(picture));
}

py::tuple captions(py::handle result)
{
    if (!py::isinstance<py::dict>(result))
        throw py::type_error("captions takes the dict that measure returns, not " + typeName(result));
    const auto dict = py::reinterpret_borrow<py::dict>(result);
    for (const char* key : {"fr", "re", "slope"})
        if (!dict.contains(key))
            throw py::value_error(std::string("the result has no \"") + key + "\"");
    ScanResult scan;
    try {
        std::tie(scan.FrX, scan.FrY) = dict["fr"].cast<std::pair<int, int>>();
        std::tie(scan.ReX, scan.ReY) = dict["re"].cast<std::pair<int, int>>();
        scan.Slope = float(dict["slope"].cast<double>());
    } catch (const py::cast_error&) {
        throw py::type_error("the result's \"fr\" and \"re\" must be pairs of integers and its \"slope\" a number");
    }
    const ResultCaptions texts = FormatCaptions(scan);
    return py::make_tuple(AnsiToUnicode(texts.Fr).toStdString(), AnsiToUnicode(texts.Re).toStdString(),
                          AnsiToUnicode(texts.Slope).toStdString());
}

py::bytes format(const py::dict& result, const std::string& style, bool fit)
{
    if (style == "csv-header")
        return py::bytes(ResultPrinter(ResultPrinter::Style::Csv, fit).Start().toStdString());
    if (style != "json" && style != "csv" && style != "captions")
        throw py::value_error("style must be \"json\", \"csv\", \"captions\" or \"csv-header\", not \"" + style + "\"");
    ResultPrinter printer(style == "json"      ? ResultPrinter::Style::Json
                              : style == "csv" ? ResultPrinter::Style::Csv
                                               : ResultPrinter::Style::Captions,
                          fit);
    return py::bytes(printer.Format(measurementOfResult(result, "the result")).toStdString());
}

}

PYBIND11_MODULE(_slopemeter, module)
{
    module.doc() = "The measurement of slopemeter, compiled; import it through the package slopemeter.";
    module.attr("__version__") = SLOPEMETER_VERSION;
    loadImageReaders();

    pictureError = PyErr_NewExceptionWithDoc(
        "slopemeter.PictureError",
        "A picture file that cannot be measured: missing, unreadable, not a picture, damaged or too "
        "large. The message names the file and says why, as slopemeter-cli does.",
        PyExc_ValueError, nullptr);
    if (!pictureError)
        throw py::error_already_set();
    module.attr("PictureError") = py::handle(pictureError);

    module.def("measure", &measure, py::arg("picture"), py::arg("level") = DefaultLevel, py::arg("fit") = false,
               R"doc(Measures the tilt of the bright line in a picture.

A pixel is white when the mean of its three colour bytes is above level; the end points are the
bottom-most white pixel of the first white column from the left and from the right (the scan
from the right never visits column 0), and the slope is |dy / dx| between them.

picture is a path (str, bytes or os.PathLike), loaded as slopemeter-cli loads it, or a numpy
uint8 array of shape (H, W, 3), (H, W, 4) or (H, W). The order of the colour bytes does not
matter, a fourth channel (alpha) is ignored and a grey byte counts as all three. A C-contiguous
array is read where it lies; others are copied one row at a time. The interpreter lock is
released while measuring, so threads measure in parallel.

Returns a dict with the keys and values of one line of `slopemeter-cli --json`: "file" (for a
path), "fr" and "re" ([x, y] of the points found from the left and from the right), "slope",
"angle" (degrees from the horizontal, only when computed) and "computed" (False when the points
share a row or a column; the slope is then 0).

With fit=True the dict also has "fit", as slopemeter-cli --fit --json writes it: a line fitted
through the bright line's whole length to a fraction of a pixel ("angle" in degrees, rising to
the right positive; "slope" dy/dx with y down, None for an upright line; "centre"; "ends";
"rms", in pixels; "angle_sd", the angle's standard error; "samples"), or None when no line is
found.

Raises PictureError (a ValueError) for a file that cannot be measured, TypeError for an
argument of the wrong type or dtype, and ValueError for an array of the wrong shape.)doc");

    module.attr("DEFAULT_LEVEL") = DefaultLevel;
    defineReport(module);
    module.def("_format", &format, py::arg("result"), py::arg("style"), py::arg("fit") = false,
               "One result as slopemeter-cli writes it with --json, --csv or neither (style \"json\", \"csv\" "
               "or \"captions\"), or the CSV header for style \"csv-header\", by the same code; fit as --fit.");

    module.def("captions", &captions, py::arg("result"),
               R"doc(The three captions the window shows for a result of measure(), as a tuple of str:
the point found from the left ("右邊座標:(x:y)"), the point found from the right ("左邊座標:(x:y)")
and the slope ("斜率:0.00000"), as slopemeter-cli prints them.)doc");
}
