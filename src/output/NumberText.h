#pragma once

#include <QByteArray>

// The shortest text that reads back as the same 32-bit float.
QByteArray shortestText(float value);
// A fitted quantity to ten significant digits, more than any fit is sure of.
QByteArray fitText(double value);

// The same texts written at `at`, which must have room for NumberTextRoom characters; they
// return where the text ends. For writers that put out many numbers without a text each.
constexpr int NumberTextRoom = 32;
char* writeShortest(char* at, float value);
char* writeFit(char* at, double value);
