#pragma once

#include <QString>
#include <string>

// Captions are written by the program as bytes in the ANSI code page, which is Big5 here.
QString AnsiToUnicode(const std::string& bytes);
// The same by the C library, for a Qt built without a Big5 codec.
QString AnsiToUnicodeWithIconv(const std::string& bytes);
