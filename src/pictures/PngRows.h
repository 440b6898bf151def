#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class RowSink;

// The PNG pictures cameras and most programs write (8-bit grey or colour, colour with or without
// alpha, not interlaced) decoded by our own reader: Intel's ISA-L inflates, which is several times faster
// than zlib, and the row filters are undone a whole pixel at a time. Every other kind is left
// to libspng. Here the rows are undone and handed on; PngChunks reads and inflates the file.
namespace PngRows {

// Decodes the PNG read from file (from its current position; fileLength bytes in all) into
// sink, as grey or RGB rows, alpha dropped. False, with the file put back where it was and nothing
// handed to the sink, for a picture of another kind or one whose header is not sound. Any
// fault after that raises a PictureError that says why.
bool Decode(std::FILE* file, std::int64_t fileLength, RowSink& sink);

// Raises the "cut short" PictureError when a file of fileLength bytes is too short to hold
// filteredBytes of rows (with their filter-type bytes) however well they were compressed.
void CheckCompressedLength(std::int64_t fileLength, std::int64_t filteredBytes);

}
