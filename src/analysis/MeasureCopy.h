#pragma once

#include "Uprocess.h"

// A run as the buttons make it, for callers without a window: a copy of the picture is
// binarised at the level and scanned for the end points and the slope, which go to *result;
// the picture itself is only read. Returns whether a slope was computed. The scanned copy is
// left in *scanned when one is given.
bool MeasureCopy(const Graphics::TBitmap& picture, int level, ScanResult* result,
                 Graphics::TBitmap* scanned = nullptr);
