#pragma once

#include "PictureError.h"
#include "PictureKinds.h"

#include <cstddef>

class InputBuffer;

// Looks at the first bytes of the next frame; the input must not be at its end.
PictureKind nextFrameKind(InputBuffer& input);

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

// The whole length of the BMP or PNG frame at the front of the input, as its headers and chunks
// give it, with those bytes made available; StreamLost when the input ends first.
std::size_t bmpFrameLength(InputBuffer& input);
std::size_t pngFrameLength(InputBuffer& input);
