#include "RowScan.h"

#include "WhiteMask.h"

#include <algorithm>

using WhiteMask::BlockPixels;

RowScan::RowScan(int width, int level)
    : width_(std::max(width, 0)), threshold_(3 * (std::clamp(level, -1, 255) + 1))
{
}

// The leftmost white pixel in columns [0, end), or -1.
int RowScan::leftmostWhite(const std::uint8_t* pixels, int bytesPerPixel, int end) const
{
    const WhiteMask::Block block = WhiteMask::FastestFor(bytesPerPixel);
    int x = 0;
    for (; x + BlockPixels <= end; x += BlockPixels)
        if (const std::uint64_t mask = block(pixels + bytesPerPixel * x, threshold_))
            return x + __builtin_ctzll(mask);
    for (; x < end; ++x)
        if (WhiteMask::IsWhite(pixels + bytesPerPixel * x, bytesPerPixel, threshold_))
            return x;
    return -1;
}

// The rightmost white pixel in columns [begin, width), or -1.
int RowScan::rightmostWhite(const std::uint8_t* pixels, int bytesPerPixel, int begin) const
{
    const WhiteMask::Block block = WhiteMask::FastestFor(bytesPerPixel);
    int x = width_;
    for (; x - BlockPixels >= begin; x -= BlockPixels)
        if (const std::uint64_t mask = block(pixels + bytesPerPixel * (x - BlockPixels), threshold_))
            return x - 1 - __builtin_clzll(mask);
    for (--x; x >= begin; --x)
        if (WhiteMask::IsWhite(pixels + bytesPerPixel * x, bytesPerPixel, threshold_))
            return x;
    return -1;
}

// A white pixel in the column found so far, or further out, belongs to a lower row and wins;
// so each side need only look as far in as the column it holds. The right-hand side never
// looks at column 0.
void RowScan::addRow(const std::uint8_t* pixels, int bytesPerPixel)
{
    const int row = rows_++;
    const int leftEnd = left_.column < 0 ? width_ : left_.column + 1;
    const int leftmost = leftmostWhite(pixels, bytesPerPixel, leftEnd);
    if (leftmost >= 0)
        left_ = {leftmost, row};
    // A row that was searched whole from the left without a hit holds no white pixel.
    if (left_.column < 0)
        return;
    const int rightmost = rightmostWhite(pixels, bytesPerPixel, std::max(right_.column, 1));
    if (rightmost >= 0)
        right_ = {rightmost, row};
}

int RowScan::rows() const
{
    return rows_;
}

bool RowScan::finish(ScanResult* result) const
{
    return StoreEndPoints(left_.column, left_.row, right_.column, right_.row, result);
}
