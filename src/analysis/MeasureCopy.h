#pragma once

#include "LineMeasure.h"
#include "PictureFile.h"
#include "Uprocess.h"

#include <string>

// A run as the buttons make it, for callers without a window: a copy of the picture is
// binarised at the level and scanned for the end points and the slope; the picture itself is
// only read, and its rows give the fit when the settings ask for one. The scanned copy is left
// in *scanned when one is given.
LineMeasurement MeasureCopy(const Graphics::TBitmap& picture, const MeasureSettings& settings,
                            Graphics::TBitmap* scanned = nullptr);

// A picture file measured without keeping it: JPEG, PNG and plain 24-bit BMP files a few rows at
// a time as they are decoded; the rest loaded whole and measured through MeasureCopy. What is
// held whole, by this program or by a decoder (a progressive JPEG, an interlaced PNG), is
// offered to checkSize once its size is known.
LineMeasurement MeasurePictureFile(const std::string& fileName, const MeasureSettings& settings,
                                   const PictureSizeCheck& checkSize = {});
