#include "NumberText.h"

#include <charconv>

QByteArray shortestText(float value)
{
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return QByteArray(text, written.ptr - text);
}
