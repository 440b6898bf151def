#pragma once

#include <QString>
#include <string>

// Captions are written by the program as bytes in the ANSI code page, which is Big5 here.
QString AnsiToUnicode(const std::string& bytes);
