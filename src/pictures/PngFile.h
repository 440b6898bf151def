#pragma once

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <string>

class RowSink;

// PNG pictures a row at a time, as 8-bit rows: the common kinds through our own reader
// (PngRows), the rest through libspng. Every kind converts as Qt's reader and its conversion
// to 24 bits would: palettes and grey expanded, alpha and transparency dropped, 16-bit samples
// rounded to the nearest 8-bit value.
namespace PngFile {

// Decodes the PNG read from file (from its current position; fileLength bytes in all) into
// sink. Any fault raises a PictureError that says why.
void Decode(std::FILE* file, std::int64_t fileLength, RowSink& sink);

}
