#pragma once

#include <pybind11/pybind11.h>

#include <string>

// The name of an object's type, for the texts of errors.
std::string typeName(pybind11::handle object);

// A level as measure() takes it: any integer, clamped to [-1, 256], the levels that give pictures
// of their own.
int levelOf(pybind11::handle level);
