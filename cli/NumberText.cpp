#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <numbers>

QByteArray shortestText(float value)
{
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return QByteArray(text, written.ptr - text);
}

float angleOf(float slope)
{
    return static_cast<float>(std::atan(double(slope)) * 180.0 / std::numbers::pi);
}
