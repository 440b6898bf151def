#pragma once

#include <cstdint>
#include <vector>

// The work on one row of a 24-bit picture (blue, green, red bytes), where a run spends its time.
namespace PixelRows {

// Each pixel becomes 0xFF in all three bytes when the sum of its bytes is at least threshold,
// 0x00 otherwise. in and out hold 3 * width bytes each and do not overlap. Uses the fastest
// reading this processor runs.
void Binarize(const std::uint8_t* in, std::uint8_t* out, int width, int threshold);

// One reading of Binarize. The vector readings give the same bytes as the plain one.
struct BinarizeReading {
    const char* Name;
    void (*Binarize)(const std::uint8_t* in, std::uint8_t* out, int width, int threshold);
};

// The readings this processor runs: the plain one first, the fastest last.
const std::vector<BinarizeReading>& BinarizeReadings();

// The leftmost white pixel (0xFF in all three bytes) in columns [0, end), or -1.
int FirstWhite(const std::uint8_t* row, int end);
// The rightmost white pixel in columns [begin, end), or -1.
int LastWhite(const std::uint8_t* row, int begin, int end);

}
