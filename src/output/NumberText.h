#pragma once

#include <QByteArray>

// The shortest text that reads back as the same 32-bit float.
QByteArray shortestText(float value);
// A fitted quantity to ten significant digits, more than any fit is sure of.
QByteArray fitText(double value);
