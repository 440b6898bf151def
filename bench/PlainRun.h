#pragma once

#include "Uprocess.h"

// The run as it reads at first sight, with nothing done for speed: a deep copy of the picture,
// each pixel's mean compared with the level, and the end points looked for column by column
// through the canvas. The benchmarks set the real run against it.
ResultCaptions PlainRun(const Graphics::TBitmap& picture, int level);
