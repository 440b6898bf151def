#pragma once

#include <QByteArray>

// The shortest text that reads back as the same 32-bit float.
QByteArray shortestText(float value);
