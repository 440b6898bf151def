#pragma once

#include <QByteArray>

#include <string>

// Puts bytes into the file at path whole, or leaves what was there: they go to a new file beside
// it that then takes its name, and a link at path is replaced, not followed. A device or pipe
// at path (such as /dev/null) is written to as it is. Returns why it failed, in one line, or an
// empty text.
std::string WriteFileWhole(const std::string& path, const QByteArray& bytes);

// Makes a folder and the folders above it that are missing; returns why it failed or an empty text.
std::string MakeFolders(const std::string& path);
