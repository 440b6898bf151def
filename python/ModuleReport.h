#pragma once

#include <pybind11/pybind11.h>

#include <string>

struct Measurement;

// A result as measure() gives it, or {"file", "error"} for a picture that failed, as the Dask
// command's rows are; "frame" is kept when there is one. A result of another shape raises
// TypeError or ValueError, their texts starting with `what` ("result 3").
Measurement measurementOfResult(pybind11::handle result, const std::string& what);

// slopemeter._Report, the HTML report written a result at a time, and slopemeter.report().
void defineReport(pybind11::module_& module);
