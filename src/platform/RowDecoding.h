#pragma once

#include <QByteArray>

#include <cstdint>
#include <string>

class RowSink;

// The formats whose rows are decoded straight into a RowSink, known by their first bytes.
enum class RowFormat {
    None,
    Jpeg,
    Png
};

RowFormat RowFormatOf(const QByteArray& start);

// Decodes the picture in the file open as descriptor (length bytes, read from its start) or in
// bytes into sink. False, with nothing handed to the sink, for a kind left to Qt.
bool DecodeRows(RowFormat format, int descriptor, std::int64_t length, const std::string& fileName, RowSink& sink);
bool DecodeRows(RowFormat format, QByteArray bytes, const std::string& fileName, RowSink& sink);
