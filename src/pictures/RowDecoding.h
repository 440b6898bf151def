#pragma once

#include "PictureKinds.h"

#include <QByteArray>

#include <cstdint>

class RowSink;

// Whether pictures of this kind are decoded straight into a RowSink a row at a time.
bool DecodesRows(PictureKind kind);

// Decodes the picture in the file open as descriptor (length bytes, read from its start) or in
// bytes into sink. False, with nothing handed to the sink, for a picture left to Qt.
bool DecodeRows(PictureKind kind, int descriptor, std::int64_t length, RowSink& sink);
bool DecodeRows(PictureKind kind, QByteArray bytes, RowSink& sink);
