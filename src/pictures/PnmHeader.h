#pragma once

#include <QByteArray>

#include <cstddef>

class InputBuffer;

// The header of a binary PNM picture (P4, P5, P6), read by one grammar whether the picture is a
// file or a frame of a stream: numbers apart by blanks and comments ("#" to the end of the
// line, anywhere a blank may stand, also between the last number and the one blank that ends
// the header; the line break that ends such a comment is that blank).
struct PnmHeader {
    char kind = 0; // '4', '5' or '6'
    int width = 0;
    int height = 0;
    int maxval = 1;
    std::size_t headerBytes = 0;

    int samplesPerPixel() const { return kind == '6' ? 3 : 1; }
    std::size_t rowBytes() const;
    std::size_t frameBytes() const { return headerBytes + rowBytes() * std::size_t(height); }
};

// The header of the PNM frame at the front of the input, left unread. A header that cannot be
// read raises StreamLost; a size this program does not measure raises PictureError.
PnmHeader readPnmHeader(InputBuffer& input);

// A binary PNM picture's bytes with its header written plainly, as every reader reads it,
// before the same pixels; a header that cannot be read raises PictureError.
QByteArray PlainPnm(const QByteArray& picture);
