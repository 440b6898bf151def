#pragma once

#include <cstdint>
#include <vector>

// Which of 64 neighbouring pixels turn white, as the bits of one word (bit i for pixel i): a
// pixel is white when the sum of its three colour bytes is at least threshold (0 to 768).
namespace WhiteMask {

constexpr int BlockPixels = 64;

// pixels holds 64 pixels of bytesPerPixel bytes: three colour bytes, three colour bytes and
// one ignored, or one grey byte that counts for all three.
using Block = std::uint64_t (*)(const std::uint8_t* pixels, int threshold);

struct Reading {
    const char* Name;
    Block OneByte;
    Block ThreeBytes;
    Block FourBytes;
};

// The readings this processor runs: the plain one first, the fastest last. The vector readings
// give the same words as the plain one.
const std::vector<Reading>& Readings();

// The fastest reading's block for pixels of bytesPerPixel bytes.
Block FastestFor(int bytesPerPixel);

// Whether one pixel is white, for the few pixels outside whole blocks.
inline bool IsWhite(const std::uint8_t* pixel, int bytesPerPixel, int threshold)
{
    const int sum = bytesPerPixel == 1 ? 3 * pixel[0] : pixel[0] + pixel[1] + pixel[2];
    return sum >= threshold;
}

}
