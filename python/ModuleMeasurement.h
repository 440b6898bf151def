#pragma once

#include "LineMeasure.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Pixels held by someone else, such as a numpy array: row y starts at data + y * rowStride, and
// channel c of pixel x at x * pixelStride + c * channelStride within it. One channel is grey and
// counts as all three colour bytes; a fourth channel is ignored.
struct PixelArray {
    const std::uint8_t* data = nullptr;
    int height = 0;
    int width = 0;
    int channels = 3;
    std::ptrdiff_t rowStride = 0;
    std::ptrdiff_t pixelStride = 0;
    std::ptrdiff_t channelStride = 1;
};

// Loads and measures a picture file as slopemeter-cli does; a file that cannot be measured
// raises Exception with slopemeter-cli's message.
LineMeasurement measureFile(const std::string& fileName, const MeasureSettings& settings);

// Measures the pixels where they lie when each row's bytes follow one another, and through a
// copy of one row at a time otherwise.
LineMeasurement measureArray(const PixelArray& pixels, const MeasureSettings& settings);

// Has Qt load its image readers on the calling thread. Loaded first on a thread that ends
// before the interpreter does, as the threads of a pool do, they are torn down twice at exit.
void loadImageReaders();
