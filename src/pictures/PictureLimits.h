#pragma once

#include "PictureError.h"

#include <cstdint>

// The largest picture held whole, in pixels. Qt's own default refuses anything over 128 MB of
// decoded pixels, which turns away ordinary 24-megapixel photographs; this limit admits the
// largest camera sensors while keeping a run (the picture, its copy and the copy's working
// buffer) within a few gigabytes.
constexpr std::int64_t MaxPicturePixels = 150'000'000;

// Raises the PictureError for a picture of more than MaxPicturePixels pixels.
void CheckPictureSize(std::int64_t width, std::int64_t height);
