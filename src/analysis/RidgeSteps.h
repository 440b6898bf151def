#pragma once

// The two steps of the line fit that touch every pixel: a row's pixels summed over their
// channels, and the pixels of a row of sums that stand out above two others. Each comes plain and
// in the vector instructions of this processor, which give the same answers.

#include <cstdint>
#include <vector>

namespace RidgeSteps {

// Writes the sum of each pixel's three colour bytes to sums[0, width): bytesPerPixel 3 (three
// colour bytes), 4 (three colour bytes, then one that is ignored) or 1 (grey, counted thrice).
using Sum = void (*)(const std::uint8_t* pixels, int bytesPerPixel, std::uint16_t* sums, int width);
// Writes to hits, in order, each i in [0, count) where mid[i] stands more than threshold above
// both a[i] and b[i], and returns how many there are.
using Find = int (*)(const std::uint16_t* mid, const std::uint16_t* a, const std::uint16_t* b, int count, int threshold,
                     std::int32_t* hits);

struct Reading {
    const char* Name;
    Sum SumRow;
    Find FindRidges;
};

// The readings this processor runs: the plain one first, the fastest last.
const std::vector<Reading>& Readings();

inline const Reading& Fastest()
{
    static const Reading& fastest = Readings().back();
    return fastest;
}

}
