#pragma once

#include "Uprocess.h"

// The measurement as it reads at first sight, with nothing done for speed: each pixel's mean
// compared with the level, and the end points looked for column by column through the canvas.
// The benchmarks set the real run against it.

void BinarizePlainly(Graphics::TBitmap& bitmap, int level);
bool FindSlopePlainly(Graphics::TBitmap& bitmap, ScanResult* result);

// The whole run plainly, from a deep copy of the picture to the captions.
ResultCaptions PlainRun(const Graphics::TBitmap& picture, int level);
