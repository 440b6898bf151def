#include "ModuleReport.h"

#include "HtmlReport.h"
#include "Measurement.h"
#include "ModuleArguments.h"
#include "NameEscaping.h"
#include "ReportFile.h"

#include <QFileInfo>

#include <cerrno>
#include <limits>
#include <memory>
#include <utility>

namespace py = pybind11;

namespace {

// A text from Python as the writers carry names: bytes that are not UTF-8 (surrogate escapes,
// as os.fsdecode leaves them) become the stand-ins that NameFromBytes gives.
QString nameText(py::handle text)
{
    const py::bytes bytes = py::reinterpret_borrow<py::str>(text).attr("encode")("utf-8", "surrogateescape");
    return NameFromBytes(QByteArray::fromStdString(bytes));
}

py::handle member(const py::dict& dict, const char* key, const std::string& what)
{
    if (!dict.contains(key))
        throw py::value_error(what + " has no \"" + key + "\"");
    return dict[key];
}

template <typename Value>
Value valueOf(const py::dict& dict, const char* key, const std::string& what, const char* kind)
{
    const py::handle value = member(dict, key, what);
    try {
        return value.cast<Value>();
    } catch (const py::cast_error&) {
        throw py::type_error(what + "'s \"" + key + "\" must be " + kind + ", not " + typeName(value));
    }
}

using Point = std::pair<double, double>;

std::optional<FittedLine> fittedLineOf(py::handle object, const std::string& what)
{
    if (object.is_none())
        return std::nullopt;
    if (!py::isinstance<py::dict>(object))
        throw py::type_error(what + "'s \"fit\" must be a dict or None, not " + typeName(object));
    const auto dict = py::reinterpret_borrow<py::dict>(object);
    const std::string fitWhat = what + "'s fit";
    FittedLine fit;
    fit.angle = valueOf<double>(dict, "angle", fitWhat, "a number");
    if (!member(dict, "slope", fitWhat).is_none())
        fit.slope = valueOf<double>(dict, "slope", fitWhat, "a number or None");
    std::tie(fit.centreX, fit.centreY) = valueOf<Point>(dict, "centre", fitWhat, "a pair of numbers");
    const auto ends = valueOf<std::pair<Point, Point>>(dict, "ends", fitWhat, "two pairs of numbers");
    std::tie(fit.x1, fit.y1) = ends.first;
    std::tie(fit.x2, fit.y2) = ends.second;
    fit.rms = valueOf<double>(dict, "rms", fitWhat, "a number");
    fit.angleSd = valueOf<double>(dict, "angle_sd", fitWhat, "a number");
    fit.samples = valueOf<std::int64_t>(dict, "samples", fitWhat, "an integer");
    return fit;
}

[[noreturn]] void raiseFileExists(py::handle path)
{
    const py::object error = py::reinterpret_borrow<py::object>(PyExc_FileExistsError)(
        EEXIST, "the report is there already; overwrite=True replaces it", path);
    PyErr_SetObject(PyExc_FileExistsError, error.ptr());
    throw py::error_already_set();
}

[[noreturn]] void raiseNotWritten(const QString& why, py::handle path)
{
    const py::object name = py::module_::import("os").attr("fsdecode")(path);
    const std::string shown = name.attr("encode")("utf-8", "backslashreplace").cast<std::string>();
    PyErr_SetString(PyExc_OSError, ("cannot write the report '" + shown + "': " + why.toStdString()).c_str());
    throw py::error_already_set();
}

QString pathOf(py::handle path)
{
    const auto fsPath = py::reinterpret_steal<py::object>(PyOS_FSPath(path.ptr()));
    if (!fsPath)
        throw py::error_already_set();
    const std::string bytes = py::bytes(py::module_::import("os").attr("fsencode")(fsPath));
    if (bytes.find('\0') != std::string::npos)
        throw py::value_error("the path holds a null byte");
    return NameFromBytes(QByteArray::fromStdString(bytes));
}

// The report's file and its writer, fed one result at a time; see _Report's doc below.
class ModuleReport {
public:
    ModuleReport(py::handle path, py::handle level, bool fit, bool stream, bool overwrite)
    {
        path_ = py::reinterpret_borrow<py::object>(path);
        const QString fileName = pathOf(path);
        ReportSettings settings;
        settings.level = levelOf(level);
        settings.fit = fit;
        settings.stream = stream;
        file_ = std::make_unique<ReportFile>(fileName, overwrite);
        if (const QString why = file_->Error(); !why.isEmpty()) {
            const QFileInfo target(fileName);
            if (!overwrite && (target.exists() || target.isSymLink()))
                raiseFileExists(path);
            raiseNotWritten(why, path);
        }
        ReportFile* file = file_.get();
        report_ = std::make_unique<HtmlReport>(settings, [file](const QByteArray& text) { file->Write(text); });
    }

    void add(py::handle result)
    {
        checkOpen();
        report_->Add(measurementOfResult(result, "result " + std::to_string(added_)));
        ++added_;
        checkWritten();
    }

    void finish(double elapsedSeconds, bool cutShort)
    {
        checkOpen();
        finished_ = true;
        report_->Finish(elapsedSeconds, cutShort);
        checkWritten();
        if (const QString why = file_->Finish(); !why.isEmpty())
            raiseNotWritten(why, path_);
    }

private:
    void checkOpen() const
    {
        if (finished_)
            throw py::value_error("the report is finished already");
    }

    void checkWritten() const
    {
        if (const QString why = file_->Error(); !why.isEmpty())
            raiseNotWritten(why, path_);
    }

    py::object path_;
    // Declared before the writer so that it outlives it.
    std::unique_ptr<ReportFile> file_;
    std::unique_ptr<HtmlReport> report_;
    std::int64_t added_ = 0;
    bool finished_ = false;
};

void report(py::handle results, py::handle path, py::handle level, bool overwrite, py::handle seconds)
{
    if (py::isinstance<py::dict>(results))
        throw py::type_error("report takes a list of results, not one result");
    // Whether the fit shows is known only from the results, so all are looked at first.
    const py::list all(py::reinterpret_borrow<py::object>(results));
    bool fit = false;
    for (const py::handle result : all)
        fit = fit || (py::isinstance<py::dict>(result) && py::reinterpret_borrow<py::dict>(result).contains("fit"));
    ModuleReport writer(path, level, fit, false, overwrite);
    for (const py::handle result : all)
        writer.add(result);
    // A time not given is shown as not known rather than as a run that took none.
    writer.finish(seconds.is_none() ? std::numeric_limits<double>::quiet_NaN() : seconds.cast<double>(), false);
}

}

Measurement measurementOfResult(py::handle result, const std::string& what)
{
    if (!py::isinstance<py::dict>(result))
        throw py::type_error(what + " must be a dict, as measure() returns, not " + typeName(result));
    const auto dict = py::reinterpret_borrow<py::dict>(result);
    Measurement measurement;
    if (dict.contains("file"))
        measurement.file = NameFromBytes(QByteArray::fromStdString(
            py::bytes(py::module_::import("os").attr("fsencode")(dict["file"]))));
    if (dict.contains("frame"))
        measurement.frame = valueOf<std::int64_t>(dict, "frame", what, "an integer");
    if (dict.contains("error")) {
        if (!py::isinstance<py::str>(dict["error"]))
            throw py::type_error(what + "'s \"error\" must be a str, not " + typeName(dict["error"]));
        measurement.error = nameText(dict["error"]);
        return measurement;
    }
    ScanResult& scan = measurement.result;
    std::tie(scan.FrX, scan.FrY) = valueOf<std::pair<int, int>>(dict, "fr", what, "a pair of integers");
    std::tie(scan.ReX, scan.ReY) = valueOf<std::pair<int, int>>(dict, "re", what, "a pair of integers");
    scan.Slope = float(valueOf<double>(dict, "slope", what, "a number"));
    measurement.computed = valueOf<bool>(dict, "computed", what, "True or False");
    if (dict.contains("fit"))
        measurement.fit = fittedLineOf(dict["fit"], what);
    measurement.measured = true;
    return measurement;
}

void defineReport(py::module_& module)
{
    py::class_<ModuleReport>(module, "_Report",
                             R"doc(The HTML report of a run, written as the results come: report() and
`python3 -m slopemeter.dask --report` write through it. The page is written under a temporary
name beside path and put in place by finish(); a report never finished leaves nothing.)doc")
        .def(py::init<py::handle, py::handle, bool, bool, bool>(), py::arg("path"),
             py::arg("level") = DefaultLevel, py::arg("fit") = false, py::arg("stream") = false,
             py::arg("overwrite") = false)
        .def("add", &ModuleReport::add, py::arg("result"), "Adds a result, as report() takes them.")
        .def("finish", &ModuleReport::finish, py::arg("elapsed_seconds"), py::arg("cut_short") = false,
             "Writes the summary and the charts and puts the page in place; cut_short marks a run "
             "stopped before its end.");

    module.def("report", &report, py::arg("results"), py::arg("path"), py::arg("level") = DefaultLevel,
               py::arg("overwrite") = false, py::kw_only(), py::arg("seconds") = py::none(),
               R"doc(Writes the HTML report of results, as `slopemeter-cli --report` writes it of a run.

results is a list of dicts as measure() returns them; a result may also be {"file": name,
"error": why} for a picture that failed, as slopemeter.dask.measure_batch gives them. The page
shows the fitted line when any result has a "fit", level as the level measured at, and seconds
as the time the measuring took (not shown when not given).

One self-contained page: a summary, SVG charts and a table of every result, failed ones first,
that sorts and filters in the browser; nothing is loaded from anywhere.

Raises FileExistsError when path is there and overwrite is False, OSError when it cannot be
written, and TypeError or ValueError, naming the result's place in the list, for a result of
another shape. Nothing is left at path unless the whole page was written.)doc");
}
