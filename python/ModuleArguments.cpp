#include "ModuleArguments.h"

#include <algorithm>

namespace py = pybind11;

std::string typeName(py::handle object)
{
    return py::str(py::type::handle_of(object).attr("__name__"));
}

// Levels outside [-1, 256] all give the same picture as the nearest end, so any integer is
// accepted and none overflows on its way to C++.
int levelOf(py::handle level)
{
    if (!PyIndex_Check(level.ptr()))
        throw py::type_error("level must be an integer, not " + typeName(level));
    const auto value = py::reinterpret_steal<py::object>(PyNumber_Index(level.ptr()));
    if (!value)
        throw py::error_already_set();
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow != 0)
        return overflow > 0 ? 256 : -1;
    return int(std::clamp(number, -1LL, 256LL));
}
