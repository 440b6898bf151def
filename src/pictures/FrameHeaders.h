#pragma once

#include "PictureError.h"
#include "PictureKinds.h"
#include "PnmHeader.h"

#include <cstddef>

class InputBuffer;

// Looks at the first bytes of the next frame; the input must not be at its end.
PictureKind nextFrameKind(InputBuffer& input);


// The whole length of the BMP, PNG or JPEG frame at the front of the input, as its headers,
// chunks or markers give it, with those bytes made available; StreamLost when the input ends first.
std::size_t bmpFrameLength(InputBuffer& input);
std::size_t pngFrameLength(InputBuffer& input);
std::size_t jpegFrameLength(InputBuffer& input);
