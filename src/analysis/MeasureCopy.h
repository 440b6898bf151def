#pragma once

#include "PictureFile.h"
#include "Uprocess.h"

#include <string>

// A run as the buttons make it, for callers without a window: a copy of the picture is
// binarised at the level and scanned for the end points and the slope, which go to *result;
// the picture itself is only read. Returns whether a slope was computed. The scanned copy is
// left in *scanned when one is given.
bool MeasureCopy(const Graphics::TBitmap& picture, int level, ScanResult* result,
                 Graphics::TBitmap* scanned = nullptr);

// A picture file measured without keeping it: JPEG, PNG and plain 24-bit BMP files a few rows at
// a time as they are decoded; the rest loaded whole, offered to checkSize once their size is
// known, and measured through MeasureCopy. Returns whether a slope was computed.
bool MeasurePictureFile(const std::string& fileName, int level, ScanResult* result,
                        const PictureSizeCheck& checkSize = {});
