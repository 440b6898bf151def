#include "NumberText.h"

#include <charconv>

QByteArray shortestText(float value)
{
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return QByteArray(text, written.ptr - text);
}

QByteArray fitText(double value)
{
    // A level line's angle is 0, never "-0".
    if (value == 0)
        value = 0;
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 10);
    return QByteArray(text, written.ptr - text);
}
