#include "Uprocess.h"

#include "PixelRows.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <numbers>

namespace {

// 192 bytes of each row: three cache lines.
constexpr int columnsPerBlock = 64;

struct EndPoint {
    int Column = -1;
    int Row = 0;
};

// The bottom-most white pixel of the leftmost white column in [begin, end): further rows need
// only be searched up to the column found so far, and a later row in that column is lower.
EndPoint leftmostIn(const Graphics::TBitmap& bitmap, int begin, int end)
{
    EndPoint found;
    int last = end - 1;
    for (int y = 0; y < bitmap.Height(); ++y) {
        const int x = PixelRows::FirstWhite(bitmap.ScanLine(y) + 3 * begin, last + 1 - begin);
        if (x >= 0) {
            found = {begin + x, y};
            last = begin + x;
        }
    }
    return found;
}

// Likewise the bottom-most white pixel of the rightmost white column in [begin, end).
EndPoint rightmostIn(const Graphics::TBitmap& bitmap, int begin, int end)
{
    EndPoint found;
    int first = begin;
    for (int y = 0; y < bitmap.Height(); ++y) {
        const int x = PixelRows::LastWhite(bitmap.ScanLine(y), first, end);
        if (x >= 0) {
            found = {x, y};
            first = x;
        }
    }
    return found;
}

std::atomic<CaptionSink> captionSink{nullptr};

std::string format(const char* pattern, ...)
{
    va_list args;
    va_start(args, pattern);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string text(std::size_t(std::max(length, 0)), '\0');
    std::vsnprintf(text.data(), text.size() + 1, pattern, again);
    va_end(again);
    return text;
}

}

void Process::Binarize(Graphics::TBitmap* bitmap, int level)
{
    auto source = std::make_unique<Graphics::TBitmap>();
    source->Assign(bitmap);
    source->SetPixelFormat(pf24bit);
    // Every pixel is written below, so the bitmap's shared pixels need not be copied first.
    bitmap->ReplaceWithUnsetPixels(pf24bit);

    // floor(sum / 3) > level exactly when sum >= 3 * (level + 1); clamping first keeps the
    // product in range and gives all-white below 0 and all-black from 255 on.
    const int threshold = 3 * (std::clamp(level, -1, 255) + 1);
    const Graphics::TBitmap& input = *source;
    for (int r = 0; r < input.Height(); ++r)
        PixelRows::Binarize(input.ScanLine(r), bitmap->ScanLine(r), input.Width(), threshold);
}

bool ScanEndPoints(const Graphics::TBitmap& bitmap, ScanResult* result)
{
    // Column by column, as the end points are defined, but a block of columns at a time: each
    // row's share of a block is a run of neighbouring bytes, which the cache serves well where
    // single columns would miss on every pixel, and each side stops at the first block holding
    // a white pixel. The right-hand side never looks at column 0.
    const int width = bitmap.Width();
    EndPoint left;
    for (int begin = 0; begin < width && left.Column < 0; begin += columnsPerBlock)
        left = leftmostIn(bitmap, begin, std::min(begin + columnsPerBlock, width));
    // With no white pixel from the left there is none from the right either.
    EndPoint right;
    for (int end = width; end > 1 && left.Column >= 0 && right.Column < 0; end -= columnsPerBlock)
        right = rightmostIn(bitmap, std::max(end - columnsPerBlock, 1), end);
    return StoreEndPoints(left.Column, left.Row, right.Column, right.Row, result);
}

bool StoreEndPoints(int leftColumn, int leftRow, int rightColumn, int rightRow, ScanResult* result)
{
    if (leftColumn >= 0) {
        result->FrX = leftColumn;
        result->FrY = leftRow;
    }
    if (rightColumn >= 0) {
        result->ReX = rightColumn;
        result->ReY = rightRow;
    }
    const int dy = std::abs(result->ReY - result->FrY);
    const int dx = std::abs(result->ReX - result->FrX);
    if (dy == 0 || dx == 0)
        return false;
    result->Slope = float(std::fabs(double(dy) / double(dx)));
    return true;
}

ResultCaptions FormatCaptions(const ScanResult& result)
{
    return {
        FrCaptionPrefix + format("(%3d:%3d)", result.FrX, result.FrY),
        ReCaptionPrefix + format("(%3d:%3d)", result.ReX, result.ReY),
        SlopeCaptionPrefix + format("%3.5f", double(result.Slope)),
    };
}

bool Process::FindSlope(Graphics::TBitmap* bitmap, ScanResult* result)
{
    bitmap->SetPixelFormat(pf24bit);
    const bool computed = ScanEndPoints(*bitmap, result);
    if (const CaptionSink sink = captionSink.load())
        sink(FormatCaptions(*result));
    return computed;
}

void SetCaptionSink(CaptionSink sink)
{
    captionSink = sink;
}

float AngleOf(float slope)
{
    return static_cast<float>(std::atan(double(slope)) * 180.0 / std::numbers::pi);
}
