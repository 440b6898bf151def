#pragma once

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <string>

class RowSink;

// JPEG pictures through libjpeg-turbo, each row decoded straight into the sink's row as blue,
// green, red bytes. Damage the library would only warn about (data cut short, stray bytes) is
// refused like any other fault.
namespace JpegFile {

// Decodes the JPEG read from file (from its current position; fileLength bytes in all) into
// sink. False, with nothing handed to the sink, for colour spaces left to Qt (CMYK and YCCK).
// Any fault raises a PictureError that says why.
bool Decode(std::FILE* file, std::int64_t fileLength, RowSink& sink);

}
