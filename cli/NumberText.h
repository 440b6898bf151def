#pragma once

#include <QByteArray>

// The shortest text that reads back as the same 32-bit float.
QByteArray shortestText(float value);

// The line's angle from the horizontal in degrees: atan of the slope, taken in double and kept
// as a 32-bit float like the slope it comes from.
float angleOf(float slope);
