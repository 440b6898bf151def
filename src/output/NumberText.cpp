#include "NumberText.h"

#include <charconv>

char* writeShortest(char* at, float value)
{
    return std::to_chars(at, at + NumberTextRoom, value).ptr;
}

char* writeFit(char* at, double value)
{
    // A level line's angle is 0, never "-0".
    if (value == 0)
        value = 0;
    return std::to_chars(at, at + NumberTextRoom, value, std::chars_format::general, 10).ptr;
}

QByteArray shortestText(float value)
{
    char text[NumberTextRoom];
    return QByteArray(text, writeShortest(text, value) - text);
}

QByteArray fitText(double value)
{
    char text[NumberTextRoom];
    return QByteArray(text, writeFit(text, value) - text);
}
